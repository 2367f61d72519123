// Plane contours moved sideways by the tool's radius, trimmed and measured: lines and arcs in,
// lines and arcs out, so that a controller gets the arcs the feature has.
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "generate_section.h"

namespace varnholt::machining_detail {
namespace {


struct Piece {
  Vec2 from, to;
  bool arc = false;
  Vec2 c;
  bool cw = false;
  double Radius() const { return varnholt::Length(Sub(from, c)); }
  // The arc's turn from `from` to p in its own sense, 0..2 pi.
  double Angle(const Vec2& p) const {
    const Vec2 a = Sub(from, c), b = Sub(p, c);
    double t = std::atan2(Cross(a, b), Dot(a, b));
    if (cw) t = -t;
    if (t < 0) t += 2 * kPi;
    return t;
  }
  double Sweep() const {
    const double s = Angle(to);
    return s < 1e-12 ? 2 * kPi : s;
  }
  double Length() const { return arc ? Radius() * Sweep() : varnholt::Length(Sub(to, from)); }
  Vec2 Tangent(const Vec2& p) const {
    if (!arc) return Unit(Sub(to, from));
    const Vec2 v = Unit(Sub(p, c));
    return cw ? Vec2{v.y, -v.x} : Left(v);
  }
  // The point a fraction of the way along.
  Vec2 At(double f) const {
    if (!arc) return Add(from, Mul(Sub(to, from), f));
    const double phi = (cw ? -1 : 1) * Sweep() * f;
    const Vec2 a = Sub(from, c);
    return Add(c, {a.x * std::cos(phi) - a.y * std::sin(phi), a.x * std::sin(phi) + a.y * std::cos(phi)});
  }
  // How far along the piece p lies, as a fraction (p taken to be on its line or circle).
  double Fraction(const Vec2& p) const {
    if (!arc) {
      const Vec2 d = Sub(to, from);
      const double l2 = Dot(d, d);
      return l2 > 0 ? Dot(Sub(p, from), d) / l2 : 0;
    }
    double a = Angle(p) / Sweep();
    if (a > 1 + 1e-9 && Angle(p) > kPi + Sweep() / 2) a -= 2 * kPi / Sweep();  // just before the start
    return a;
  }
};

std::vector<Piece> Pieces(const Contour2& c) {
  std::vector<Piece> out;
  Vec2 at = c.start;
  for (const Segment2& s : c.segments) {
    Piece p{at, s.to, s.arc, s.center, s.clockwise};
    if (Length(Sub(s.to, at)) > 1e-9) out.push_back(p);
    at = s.to;
  }
  return out;
}

Contour2 FromPieces(const std::vector<Piece>& pieces, bool closed) {
  Contour2 c;
  c.closed = closed;
  if (pieces.empty()) return c;
  c.start = pieces.front().from;
  for (const Piece& p : pieces) c.segments.push_back({p.to, p.arc, p.c, p.cw});
  return c;
}

double DistanceToPiece(const Piece& p, const Vec2& q) {
  if (!p.arc) {
    const Vec2 d = Sub(p.to, p.from);
    const double l2 = Dot(d, d);
    const double t = l2 > 0 ? std::clamp(Dot(Sub(q, p.from), d) / l2, 0.0, 1.0) : 0;
    return Length(Sub(q, Add(p.from, Mul(d, t))));
  }
  if (p.Angle(q) <= p.Sweep()) return std::fabs(Length(Sub(q, p.c)) - p.Radius());
  return std::min(Length(Sub(q, p.from)), Length(Sub(q, p.to)));
}

// Where two offset pieces meet, the one nearest `near`.
std::optional<Vec2> Meet(const Piece& a, const Piece& b, const Vec2& near) {
  std::vector<Vec2> found;
  auto lineCircle = [&](const Piece& line, const Piece& circle) {
    const Vec2 d = Unit(Sub(line.to, line.from));
    const Vec2 f = Sub(line.from, circle.c);
    const double r = circle.Radius();
    const double bq = Dot(f, d), cq = Dot(f, f) - r * r;
    const double disc = bq * bq - cq;
    if (disc < -1e-12) return;
    const double s = std::sqrt(std::max(0.0, disc));
    found.push_back(Add(line.from, Mul(d, -bq - s)));
    found.push_back(Add(line.from, Mul(d, -bq + s)));
  };
  if (!a.arc && !b.arc) {
    const Vec2 da = Sub(a.to, a.from), db = Sub(b.to, b.from);
    const double den = Cross(da, db);
    if (std::fabs(den) < 1e-15) return std::nullopt;
    const double t = Cross(Sub(b.from, a.from), db) / den;
    found.push_back(Add(a.from, Mul(da, t)));
  } else if (!a.arc) {
    lineCircle(a, b);
  } else if (!b.arc) {
    lineCircle(b, a);
  } else {
    const double ra = a.Radius(), rb = b.Radius();
    const Vec2 d = Sub(b.c, a.c);
    const double l = Length(d);
    if (l < 1e-12) return std::nullopt;
    const double x = (l * l + ra * ra - rb * rb) / (2 * l);
    const double h2 = ra * ra - x * x;
    if (h2 < -1e-9) return std::nullopt;
    const double h = std::sqrt(std::max(0.0, h2));
    const Vec2 u = Mul(d, 1 / l), base = Add(a.c, Mul(u, x));
    found.push_back(Add(base, Mul(Left(u), h)));
    found.push_back(Add(base, Mul(Left(u), -h)));
  }
  if (found.empty()) return std::nullopt;
  return *std::min_element(found.begin(), found.end(),
                           [&](const Vec2& p, const Vec2& q) { return Length(Sub(p, near)) < Length(Sub(q, near)); });
}

}  // namespace

bool Offset(const Contour2& contour, double d, Contour2& out, std::string& why) {
  const std::vector<Piece> in = Pieces(contour);
  if (in.empty()) {
    why = "the contour has no length";
    return false;
  }
  std::vector<Piece> moved;
  for (const Piece& p : in) {
    Piece q = p;
    if (!p.arc) {
      const Vec2 n = Mul(Left(p.Tangent(p.from)), d);
      q.from = Add(p.from, n);
      q.to = Add(p.to, n);
    } else {
      const double r = p.Radius(), r2 = p.cw ? r + d : r - d;
      if (!(r2 > 1e-9)) {
        why = "an arc of the contour is too tight for the tool";
        return false;
      }
      q.from = Add(p.c, Mul(Sub(p.from, p.c), r2 / r));
      q.to = Add(p.c, Mul(Sub(p.to, p.c), r2 / r));
    }
    moved.push_back(q);
  }
  const bool closed = contour.closed && in.size() > 1;
  std::vector<Piece> result;
  const size_t n = moved.size();
  // Joins between piece i and the next; a closed contour's last join comes back to the first.
  std::vector<std::optional<Piece>> corner(n);
  for (size_t i = 0; i + 1 < n || (closed && i < n); ++i) {
    const size_t j = (i + 1) % n;
    Piece& a = moved[i];
    Piece& b = moved[j];
    if (Length(Sub(a.to, b.from)) < 1e-7) {
      b.from = a.to;
      continue;
    }
    const Vec2 vertex = in[i].to;
    const double turn = Cross(in[i].Tangent(in[i].to), in[j].Tangent(in[j].from));
    if (d * turn <= 0) {
      // Round the outer corner about the contour's corner.
      corner[i] = Piece{a.to, b.from, true, vertex, d > 0};
      continue;
    }
    const std::optional<Vec2> x = Meet(a, b, Mul(Add(a.to, b.from), 0.5));
    if (!x) {
      why = "the tool cannot turn an inner corner of the contour";
      return false;
    }
    const double fa = a.Fraction(*x), fb = b.Fraction(*x);
    if (!(fa > 1e-9 && fa < 1 + 1e-6) || !(fb > -1e-6 && fb < 1 - 1e-9)) {
      why = "an inner corner of the contour is too tight for the tool";
      return false;
    }
    a.to = *x;
    b.from = *x;
  }
  for (size_t i = 0; i < n; ++i) {
    result.push_back(moved[i]);
    if (corner[i]) result.push_back(*corner[i]);
  }
  out = FromPieces(result, closed);
  // What the joins cannot see: a stretch of the contour nearer than the distance to another.
  const double need = std::fabs(d) - 1e-6;
  for (const Piece& p : result) {
    const int steps = std::clamp(static_cast<int>(std::ceil(p.Length() / std::max(std::fabs(d) / 8, 1e-3))), 1, 4000);
    for (int k = 0; k <= steps; ++k) {
      const Vec2 q = p.At(static_cast<double>(k) / steps);
      for (const Piece& o : in)
        if (DistanceToPiece(o, q) < need) {
          why = "the contour is too tight for the tool";
          return false;
        }
    }
  }
  return true;
}


bool Trimmed(const Contour2& c, double head, double tail, Contour2& out) {
  std::vector<Piece> in = Pieces(c);
  double total = 0;
  for (const Piece& p : in) total += p.Length();
  if (!(total - head - tail > 1e-9)) return false;
  std::vector<Piece> kept;
  double at = 0;
  const double from = head, to = total - tail;
  for (const Piece& p : in) {
    const double l = p.Length(), a = at, b = at + l;
    at = b;
    if (b <= from || a >= to || l <= 0) continue;
    Piece q = p;
    if (a < from) q.from = p.At((from - a) / l);
    if (b > to) q.to = p.At((to - a) / l);
    kept.push_back(q);
  }
  out = FromPieces(kept, false);
  return !kept.empty();
}

double ContourLength(const Contour2& c) {
  double total = 0;
  for (const Piece& p : Pieces(c)) total += p.Length();
  return total;
}

Vec2 StartDirection(const Contour2& c) {
  const std::vector<Piece> in = Pieces(c);
  return in.empty() ? Vec2{1, 0} : in.front().Tangent(in.front().from);
}

double Turning(const Contour2& c) {
  const std::vector<Vec2> points = SampleContour(c, 1e-3);
  double area = 0;
  for (size_t i = 0; i < points.size(); ++i) area += Cross(points[i], points[(i + 1) % points.size()]);
  return area;
}

double DistanceTo(const Contour2& c, const Vec2& p) {
  double best = std::numeric_limits<double>::infinity();
  for (const Piece& q : Pieces(c)) best = std::min(best, DistanceToPiece(q, p));
  return best;
}

void Follow(MoveWriter& out, const Contour2& c, double z, double feed) {
  for (const Segment2& s : c.segments) {
    if (s.arc)
      out.Arc({s.to.x, s.to.y, z}, {s.center.x, s.center.y, z}, {0, 0, 1}, s.clockwise, feed);
    else
      out.Feed({s.to.x, s.to.y, z}, feed);
  }
}

}  // namespace varnholt::machining_detail

namespace varnholt {

Contour2 Reversed(const Contour2& c) {
  using namespace machining_detail;
  std::vector<Piece> in = Pieces(c), out;
  for (size_t i = in.size(); i-- > 0;) {
    Piece p = in[i];
    std::swap(p.from, p.to);
    p.cw = !p.cw;
    out.push_back(p);
  }
  return FromPieces(out, c.closed);
}

}  // namespace varnholt

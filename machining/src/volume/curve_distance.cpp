#include "curve_distance.h"

#include <atomic>
#include <cmath>
#include <limits>

namespace varnholt::volume {
namespace {

constexpr double kTiny = 1e-12;

double Angle(const Vec2& v) { return std::atan2(v.y, v.x); }

// std::hypot guards against overflow the sizes of a part never come near, at several times the
// cost: the distances below are asked millions of times.
double Norm(const Vec2& v) { return std::sqrt(v.x * v.x + v.y * v.y); }

}  // namespace

void Curve2::AddLine(const Vec2& a, const Vec2& b) {
  Piece p;
  p.a = a;
  p.b = b;
  p.length = varnholt::Distance(a, b);
  p.along = Mul(Sub(b, a), 1 / p.length);
  pieces_.push_back(p);
}

void Curve2::AddArc(const Vec2& a, const Vec2& b, const Vec2& center, double radius) {
  Piece p;
  p.arc = true;
  p.a = a;
  p.b = b;
  p.center = center;
  p.radius = radius;
  // Which side of the centre it runs on, from its middle: ends at the top or bottom of the
  // circle lie on neither.
  const Vec2 mid = Add(Sub(a, center), Sub(b, center));
  p.right = Length(mid) > kTiny ? mid.x > 0 : Cross(Sub(a, center), Sub(b, center)) < 0;
  pieces_.push_back(p);
}

bool Curve2::Build(const Contour2& contour, std::string& why) {
  static std::atomic<uint64_t> built{0};
  id_ = ++built;
  pieces_.clear();
  Vec2 from = contour.start;
  low = high = from;
  auto grow = [&](const Vec2& p) {
    low = {std::min(low.x, p.x), std::min(low.y, p.y)};
    high = {std::max(high.x, p.x), std::max(high.y, p.y)};
  };
  for (const Segment2& s : contour.segments) {
    const Vec2 to = s.to;
    if (!std::isfinite(to.x) || !std::isfinite(to.y) || (s.arc && !(std::isfinite(s.center.x) && std::isfinite(s.center.y)))) {
      why = "a point of the contour is not a number";
      return false;
    }
    if (!s.arc) {
      if (varnholt::Distance(from, to) < 1e-9) {
        from = to;  // a joint written twice: nothing to measure to
        continue;
      }
      AddLine(from, to);
      grow(to);
      from = to;
      continue;
    }
    const double r = varnholt::Distance(from, s.center);
    if (!(r > 1e-9) || std::fabs(varnholt::Distance(to, s.center) - r) > 1e-6 * std::max(1.0, r)) {
      why = "an arc's ends lie at different distances from its centre";
      return false;
    }
    // Counter-clockwise from A to B, the whole circle where they meet.
    const Vec2 A = s.clockwise ? to : from, B = s.clockwise ? from : to;
    const double tA = Angle(Sub(A, s.center));
    double sweep = Angle(Sub(B, s.center)) - tA;
    while (sweep <= 1e-12) sweep += 2 * kPi;
    if (varnholt::Distance(A, B) < 1e-9) sweep = 2 * kPi;
    // The box takes in the circle's extremes the arc passes.
    for (double q = std::ceil(tA / (kPi / 2) + 1e-12) * (kPi / 2); q < tA + sweep - 1e-12; q += kPi / 2)
      grow(Add(s.center, Vec2{r * std::cos(q), r * std::sin(q)}));
    // Split at the circle's top and bottom: each piece then rises or falls.
    Vec2 at = A;
    const double first = kPi / 2 + std::ceil((tA - kPi / 2) / kPi + 1e-12) * kPi;
    for (double cut = first; cut < tA + sweep - 1e-12; cut += kPi) {
      const bool top = std::fabs(std::remainder(cut - kPi / 2, 2 * kPi)) < 1e-6;
      const Vec2 q{s.center.x, s.center.y + (top ? r : -r)};
      if (varnholt::Distance(at, q) > 1e-12) AddArc(at, q, s.center, r);
      grow(q);
      at = q;
    }
    if (varnholt::Distance(at, B) > 1e-12) AddArc(at, B, s.center, r);
    grow(to);
    from = to;
  }
  if (pieces_.empty()) {
    why = "the contour has no length";
    return false;
  }
  return true;
}

double Curve2::Unsigned(const Vec2& p) const {
  // Squared distances, one root at the end: lines and arc ends need none, an arc's side one.
  double best2 = std::numeric_limits<double>::infinity();
  auto sq = [](double x, double y) { return x * x + y * y; };
  for (const Piece& s : pieces_) {
    if (s.arc) {
      const Vec2 v = Sub(p, s.center);
      if (Cross(Sub(s.a, s.center), v) >= 0 && Cross(v, Sub(s.b, s.center)) >= 0) {
        const double d = std::fabs(Norm(v) - s.radius);
        best2 = std::min(best2, d * d);
      } else {
        best2 = std::min({best2, sq(p.x - s.a.x, p.y - s.a.y), sq(p.x - s.b.x, p.y - s.b.y)});
      }
    } else {
      const double vx = p.x - s.a.x, vy = p.y - s.a.y;
      const double t = std::clamp(vx * s.along.x + vy * s.along.y, 0.0, s.length);
      best2 = std::min(best2, sq(vx - s.along.x * t, vy - s.along.y * t));
    }
  }
  return std::sqrt(best2);
}

namespace {
// The last answers of Signed on a thread, direct-mapped by the curve: a volume made of a few
// curves keeps one answer for each.
struct Kept {
  uint64_t id = 0;
  Vec2 p;
  double d = 0;
};
thread_local Kept kept[8];
}  // namespace

double Curve2::SignedAtMost(const Vec2& p) const {
  const Kept& k = kept[id_ & 7];
  if (id_ == 0 || k.id != id_) return std::numeric_limits<double>::infinity();
  const double dx = p.x - k.p.x, dy = p.y - k.p.y;
  return k.d + std::sqrt(dx * dx + dy * dy);
}

double Curve2::SignedAtLeast(const Vec2& p) const {
  const Kept& k = kept[id_ & 7];
  if (id_ == 0 || k.id != id_) return -std::numeric_limits<double>::infinity();
  const double dx = p.x - k.p.x, dy = p.y - k.p.y;
  return k.d - std::sqrt(dx * dx + dy * dy);
}

double Curve2::Signed(const Vec2& p) const {
  Kept& k = kept[id_ & 7];
  if (id_ != 0 && k.id == id_ && k.p.x == p.x && k.p.y == p.y) return k.d;
  const double d = Unsigned(p);
  const double out = Inside(p) ? -d : d;
  k = {id_, p, out};
  return out;
}

bool Curve2::Inside(const Vec2& p) const {
  if (p.x < low.x || p.x > high.x || p.y < low.y || p.y > high.y) return false;
  bool inside = false;
  for (const Piece& s : pieces_) {
    const double lo = std::min(s.a.y, s.b.y), hi = std::max(s.a.y, s.b.y);
    if (!(p.y >= lo && p.y < hi)) continue;
    double x;
    if (s.arc) {
      const double dy = p.y - s.center.y;
      const double w = std::sqrt(std::max(0.0, s.radius * s.radius - dy * dy));
      x = s.right ? s.center.x + w : s.center.x - w;
    } else {
      x = s.a.x + (p.y - s.a.y) * (s.b.x - s.a.x) / (s.b.y - s.a.y);
    }
    if (x > p.x) inside = !inside;
  }
  return inside;
}

double SignedArea(const Contour2& contour) {
  double twice = 0;
  Vec2 from = contour.start;
  for (const Segment2& s : contour.segments) {
    const Vec2& to = s.to;
    if (!s.arc) {
      twice += Cross(from, to);
    } else {
      const double r = varnholt::Distance(from, s.center);
      double sweep = Angle(Sub(to, s.center)) - Angle(Sub(from, s.center));
      if (s.clockwise) {
        while (sweep >= -1e-12) sweep -= 2 * kPi;
      } else {
        while (sweep <= 1e-12) sweep += 2 * kPi;
      }
      twice += r * r * sweep + s.center.x * (to.y - from.y) - s.center.y * (to.x - from.x);
    }
    from = to;
  }
  return twice / 2;
}

Contour2 RoundConvexCorners(const Contour2& closed, double radius, size_t only) {
  const size_t n = closed.segments.size();
  if (!(radius > 0) || n < 2) return closed;
  std::vector<Vec2> at(n + 1);
  at[0] = closed.start;
  for (size_t i = 0; i < n; ++i) at[i + 1] = closed.segments[i].to;
  const double sense = SignedArea(closed) >= 0 ? 1 : -1;
  struct Corner {
    bool round = false;
    Vec2 t1, t2, center;
  };
  std::vector<Corner> corners(n);  // corner k at at[k], between segment k-1 and segment k
  for (size_t k = 0; k < n; ++k) {
    const size_t in = (k + n - 1) % n, out = k;
    if (only > 0 && (k == 0 || k >= only)) continue;
    if (closed.segments[in].arc || closed.segments[out].arc) continue;
    const Vec2 p0 = at[in], p = at[k], p1 = at[out + 1];
    const double lin = varnholt::Distance(p0, p), lout = varnholt::Distance(p, p1);
    if (lin < 1e-9 || lout < 1e-9) continue;
    const Vec2 din = Mul(Sub(p, p0), 1 / lin), dout = Mul(Sub(p1, p), 1 / lout);
    const double turn = Cross(din, dout) * sense;
    if (turn <= 1e-12) continue;  // straight on or a concave corner
    const double half = std::atan2(std::fabs(Cross(din, dout)), Dot(din, dout)) / 2;
    double r = radius, t = r * std::tan(half);
    const double room = std::min(lin, lout) / 2;
    if (t > room) {
      t = room;
      r = t / std::tan(half);
    }
    Corner& c = corners[k];
    c.round = true;
    c.t1 = Sub(p, Mul(din, t));
    c.t2 = Add(p, Mul(dout, t));
    c.center = Add(c.t1, Mul(Left(din), r * sense));
  }
  Contour2 out;
  out.closed = true;
  out.start = corners[0].round ? corners[0].t2 : at[0];
  for (size_t i = 0; i < n; ++i) {
    const size_t k = (i + 1) % n;
    Segment2 s = closed.segments[i];
    if (!s.arc && corners[k].round) s.to = corners[k].t1;
    out.segments.push_back(s);
    if (corners[k].round) out.segments.push_back({corners[k].t2, true, corners[k].center, sense < 0});
  }
  return out;
}

Contour2 RoundedRectangle(double length, double width, double radius) {
  const double a = length / 2, b = width / 2;
  const double r = std::clamp(radius, 0.0, std::min(a, b));
  Contour2 c;
  c.closed = true;
  c.start = {a, -b + r};
  auto line = [&](const Vec2& to) {
    const Vec2 from = c.segments.empty() ? c.start : c.segments.back().to;
    if (varnholt::Distance(from, to) > 1e-12) c.segments.push_back({to, false, {}, false});
  };
  auto arc = [&](const Vec2& to, const Vec2& center) {
    if (r > 0) c.segments.push_back({to, true, center, false});
  };
  line({a, b - r});
  arc({a - r, b}, {a - r, b - r});
  line({-a + r, b});
  arc({-a, b - r}, {-a + r, b - r});
  line({-a, -b + r});
  arc({-a + r, -b}, {-a + r, -b + r});
  line({a - r, -b});
  arc({a, -b + r}, {a - r, -b + r});
  return c;
}

}  // namespace varnholt::volume

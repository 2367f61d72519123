// The solid a tool sweeps along one move, met by one ray. Nothing is sampled: per ray the
// covered interval is worked out in closed form where the move stays at one height (the common
// case), and otherwise by a branch and bound over the move's parameter whose bounds hold over
// every piece (the least distance to a piece of line or arc is exact), so that no material
// between two positions of the tool is missed.
#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

#include "stock.h"

namespace varnholt::simulate_detail {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
// Enough pieces for any ray; the bound is reached only by rays that graze the swept solid,
// where the best value found so far is within the tolerance of the true one anyway.
constexpr int kMostPieces = 600;

// std::hypot guards against overflow we cannot meet, at many times the cost.
inline double Hyp(double x, double y) { return std::sqrt(x * x + y * y); }

double Wrap(double a) {
  a = std::fmod(a, 2 * kPi);
  return a < 0 ? a + 2 * kPi : a;
}

}  // namespace

Vec3 Path::At(double t) const {
  if (!arc) return Add(a, Mul(Sub(b, a), t));
  const double phi = phi0 + dphi * t;
  return {cu + rho * std::cos(phi), cv + rho * std::sin(phi), w0 + dw * t};
}

double Path::MinDistance(double u, double v, double t0, double t1, double* at) const {
  if (!arc) {
    const double du = b.x - a.x, dv = b.y - a.y, l2 = du * du + dv * dv;
    // Standing still within the plane, the nearest place is the lowest one.
    double t = b.z < a.z ? t1 : t0;
    if (l2 > 0) t = std::clamp(((u - a.x) * du + (v - a.y) * dv) / l2, t0, t1);
    if (at) *at = t;
    return Hyp(u - (a.x + du * t), v - (a.y + dv * t));
  }
  const double d = Hyp(u - cu, v - cv);
  const double p0 = phi0 + dphi * t0, p1 = phi0 + dphi * t1;
  const double lo = std::min(p0, p1), span = std::fabs(p1 - p0);
  if (d > 0) {
    const double k = Wrap(std::atan2(v - cv, u - cu) - lo);
    if (k <= span) {
      if (at) *at = dphi != 0 ? std::clamp((lo + k - phi0) / dphi, t0, t1) : t0;
      return std::fabs(d - rho);
    }
  }
  const Vec3 e0 = At(t0), e1 = At(t1);
  const double d0 = Hyp(u - e0.x, v - e0.y), d1 = Hyp(u - e1.x, v - e1.y);
  if (at) *at = d0 <= d1 ? t0 : t1;
  return std::min(d0, d1);
}

void Path::Range(int c, double t0, double t1, double& lo, double& hi) const {
  const Vec3 e0 = At(t0), e1 = At(t1);
  lo = std::min(c == 0 ? e0.x : e0.y, c == 0 ? e1.x : e1.y);
  hi = std::max(c == 0 ? e0.x : e0.y, c == 0 ? e1.x : e1.y);
  if (!arc) return;
  // The extremes of cos (u) or sin (v) within the angles swept.
  const double p0 = phi0 + dphi * t0, p1 = phi0 + dphi * t1;
  const double from = std::min(p0, p1), span = std::fabs(p1 - p0);
  const double centre = c == 0 ? cu : cv;
  for (int q = 0; q < 4; ++q) {
    const double angle = q * kPi / 2;
    if ((c == 0) != (q % 2 == 0)) continue;
    if (Wrap(angle - from) > span) continue;
    const double value = centre + rho * (c == 0 ? std::cos(angle) : std::sin(angle));
    lo = std::min(lo, value);
    hi = std::max(hi, value);
  }
}

void SplitArc(const Path& arc, std::vector<Path>& out) {
  if (!arc.arc || arc.dphi == 0) {
    out.push_back(arc);
    return;
  }
  // Breaks at the quarter turns strictly inside the sweep.
  std::vector<double> cuts{0.0};
  const double quarter = kPi / 2;
  const double end = arc.phi0 + arc.dphi;
  if (arc.dphi > 0) {
    for (double q = std::floor(arc.phi0 / quarter + 1) * quarter; q < end - 1e-12; q += quarter)
      cuts.push_back((q - arc.phi0) / arc.dphi);
  } else {
    for (double q = std::ceil(arc.phi0 / quarter - 1) * quarter; q > end + 1e-12; q -= quarter)
      cuts.push_back((q - arc.phi0) / arc.dphi);
  }
  cuts.push_back(1.0);
  for (size_t k = 0; k + 1 < cuts.size(); ++k) {
    const double t0 = cuts[k], t1 = cuts[k + 1];
    if (t1 - t0 < 1e-12) continue;
    Path piece = arc;
    piece.phi0 = arc.phi0 + arc.dphi * t0;
    piece.dphi = arc.dphi * (t1 - t0);
    piece.w0 = arc.w0 + arc.dw * t0;
    piece.dw = arc.dw * (t1 - t0);
    out.push_back(piece);
  }
}

namespace {

// The parameters over which the tool's axis stands within r of (u, v) (within the plane): the
// first and the last. For a line the squared distance is a quadratic in t; for a piece of arc
// the distance falls as the angle nears the direction of (u, v) from the centre, so the tool
// stands over the ray within an angle alpha either side of that direction. False when never.
bool Reach(const Path& path, double u, double v, double r, double& first, double& last) {
  if (!path.arc) {
    const double du = path.b.x - path.a.x, dv = path.b.y - path.a.y;
    const double qu = u - path.a.x, qv = v - path.a.y;
    const double A = du * du + dv * dv, B = qu * du + qv * dv, C = qu * qu + qv * qv - r * r;
    if (A <= 0) {
      first = 0, last = 1;
      return C <= 0;
    }
    const double disc = B * B - A * C;
    if (disc < 0) return false;
    const double root = std::sqrt(disc);
    first = std::max(0.0, (B - root) / A);
    last = std::min(1.0, (B + root) / A);
    return first <= last;
  }
  const double d = Hyp(u - path.cu, v - path.cv);
  const double k = d > 0 ? (d * d + path.rho * path.rho - r * r) / (2 * d * path.rho) : (path.rho <= r ? -2 : 2);
  if (k > 1) return false;
  if (k <= -1 || path.dphi == 0) {
    // Everywhere on the circle, or a point: the least distance decides.
    first = 0, last = 1;
    return k <= -1 || path.MinDistance(u, v, 0, 1) <= r;
  }
  const double alpha = std::acos(k), sense = path.dphi > 0 ? 1 : -1, span = std::fabs(path.dphi);
  const double theta = std::atan2(v - path.cv, u - path.cu);
  // g: the angle from (u, v)'s direction, growing along the move; inside while within alpha.
  const double g0 = sense * (path.phi0 - theta), g1 = g0 + span;
  auto within = [&](double g) {
    const double x = Wrap(g + alpha);
    return x <= 2 * alpha;
  };
  first = within(g0) ? 0 : Wrap(-alpha - g0) / span;
  last = within(g1) ? 1 : 1 - Wrap(g1 - alpha) / span;
  if (first > 1 || last < 0) return false;
  first = std::min(first, 1.0);
  last = std::max(last, 0.0);
  return first <= last || within(g0) || within(g1);
}

}  // namespace

Cover AlongAxis(const Path& path, const ToolShape& tool, double u, double v, double tol, bool search) {
  Cover cover;
  const double r = tool.radius;
  double tm = 0;
  const double rmin = path.MinDistance(u, v, 0, 1, &tm);
  if (rmin > r) return cover;
  double best = path.W(tm) + tool.Lift(rmin);
  const bool level = path.Level();
  double tFirst = 0, tLast = 0;
  const bool reached = !level && !search && Reach(path, u, v, r, tFirst, tLast);
  // A flat end (no corner, no point) lifts nowhere: its lowest point over the move is where the
  // move is lowest while over the ray, at the first or last place it stands there.
  const bool flat = tool.corner <= 0 && tool.halfAngle <= 0;
  if (reached && flat) {
    best = std::min(best, std::min(path.W(tFirst), path.W(tLast)));
  } else if (!level) {
    // The lowest point of the end over the move: W(t) + Lift(r(t)); over a piece it is at
    // least the piece's lowest W plus the lift at its least distance. Depth first, each split
    // halves the piece, so the stack never holds more than one piece per halving.
    constexpr int kDepth = 128;
    std::pair<double, double> stack[kDepth];
    int top = 0;
    const double from = reached ? tFirst : 0.0, to = reached ? tLast : 1.0;
    stack[top++] = {from, to};
    int pieces = 0;
    while (top > 0 && ++pieces < kMostPieces) {
      const auto [t0, t1] = stack[--top];
      double at = t0;
      const double d = path.MinDistance(u, v, t0, t1, &at);
      if (d > r) continue;
      const double lift = tool.Lift(d);
      const double bound = std::min(path.W(t0), path.W(t1)) + lift;
      if (bound >= best - tol) continue;
      best = std::min(best, path.W(at) + lift);
      for (double t : {t0, t1}) {
        const Vec3 p = path.At(t);
        const double r2 = Hyp(u - p.x, v - p.y);
        if (r2 <= r) best = std::min(best, p.z + tool.Lift(r2));
      }
      if (top + 2 > kDepth) continue;
      const double mid = (t0 + t1) / 2;
      stack[top++] = {t0, mid};
      stack[top++] = {mid, t1};
    }
  }
  cover.cut = true;
  cover.cutLo = best;
  double wFirst = path.W(0), wLast = wFirst;
  if (reached) {
    wFirst = path.W(tFirst);
    wLast = path.W(tLast);
  } else if (!level) {
    // The first and last parameter where the tool stands over the ray, by bisection.
    const double eps = std::min(1e-3, tol / std::max(std::fabs(path.W(1) - path.W(0)), tol));
    auto inside = [&](double t) {
      const Vec3 p = path.At(t);
      return Hyp(u - p.x, v - p.y) <= r;
    };
    auto bisect = [&](bool first) {
      constexpr int kDepth = 128;
      std::pair<double, double> stack[kDepth];
      int top = 0;
      stack[top++] = {0.0, 1.0};
      double found = first ? 1 : 0;
      int pieces = 0;
      while (top > 0 && ++pieces < kMostPieces) {
        const auto [a, b] = stack[--top];
        if (first ? a >= found : b <= found) continue;
        if (path.MinDistance(u, v, a, b) > r) continue;
        const double edge = first ? a : b;
        if (inside(edge) || b - a < eps) {
          found = first ? std::min(found, edge) : std::max(found, edge);
          continue;
        }
        if (top + 2 > kDepth) continue;
        const double mid = (a + b) / 2;
        // The nearer half last, so that it is looked at first.
        if (first) {
          stack[top++] = {mid, b};
          stack[top++] = {a, mid};
        } else {
          stack[top++] = {a, mid};
          stack[top++] = {mid, b};
        }
      }
      return found;
    };
    wFirst = path.W(bisect(true));
    wLast = path.W(bisect(false));
  }
  cover.cutHi = std::max(wFirst, wLast) + tool.cutting;
  cover.cutLo = std::min(cover.cutLo, cover.cutHi);
  if (tool.top > tool.cutting) {
    cover.shank = true;
    cover.shankLo = std::min(wFirst, wLast) + tool.cutting;
    cover.shankHi = std::max(wFirst, wLast) + tool.top;
  }
  return cover;
}

namespace {

// The union of the disks of radius rho along a level line (a capsule, convex) on the line
// along coordinate c at `other`.
bool Capsule(const Path& path, int c, double other, double rho, double& lo, double& hi) {
  lo = kInf;
  hi = -kInf;
  const double ac = c == 0 ? path.a.x : path.a.y, ao = c == 0 ? path.a.y : path.a.x;
  const double bc = c == 0 ? path.b.x : path.b.y, bo = c == 0 ? path.b.y : path.b.x;
  for (const auto& [pc, po] : {std::pair{ac, ao}, std::pair{bc, bo}}) {
    const double d = other - po;
    if (std::fabs(d) > rho) continue;
    const double s = std::sqrt(rho * rho - d * d);
    lo = std::min(lo, pc - s);
    hi = std::max(hi, pc + s);
  }
  const double dc = bc - ac, dO = bo - ao, l2 = dc * dc + dO * dO;
  if (l2 > 0) {
    const double off = other - ao, l = std::sqrt(l2);
    // Along the segment: 0 <= ((x - ac) dc + off dO) / l2 <= 1.
    double x0 = -kInf, x1 = kInf;
    if (dc != 0) {
      double p = ac + (0 - off * dO) / dc, q = ac + (l2 - off * dO) / dc;
      if (p > q) std::swap(p, q);
      x0 = p, x1 = q;
    } else if (off * dO < 0 || off * dO > l2) {
      x0 = kInf;
    }
    // Across it: |(x - ac) dO - off dc| <= rho l.
    if (dO != 0) {
      double p = ac + (-rho * l + off * dc) / dO, q = ac + (rho * l + off * dc) / dO;
      if (p > q) std::swap(p, q);
      x0 = std::max(x0, p), x1 = std::min(x1, q);
    } else if (std::fabs(off * dc) > rho * l) {
      x0 = kInf;
    }
    if (x0 <= x1) {
      lo = std::min(lo, x0);
      hi = std::max(hi, x1);
    }
  }
  return lo <= hi;
}

// The same for a level arc of at most a quarter turn: the points within rho of the arc are the
// annular sector about it and the disks about its ends.
bool ArcBand(const Path& path, int c, double other, double rho, double& lo, double& hi) {
  lo = kInf;
  hi = -kInf;
  auto point = [&](double x) { return c == 0 ? Vec2{x, other} : Vec2{other, x}; };
  for (double t : {0.0, 1.0}) {
    const Vec3 e = path.At(t);
    const double d = other - (c == 0 ? e.y : e.x);
    if (std::fabs(d) > rho) continue;
    const double s = std::sqrt(rho * rho - d * d), pc = c == 0 ? e.x : e.y;
    lo = std::min(lo, pc - s);
    hi = std::max(hi, pc + s);
  }
  // The sector between the directions at its ends: two half-planes, each linear along the ray.
  const double p0 = std::min(path.phi0, path.phi0 + path.dphi), p1 = std::max(path.phi0, path.phi0 + path.dphi);
  const Vec2 e0{std::cos(p0), std::sin(p0)}, e1{std::cos(p1), std::sin(p1)};
  double x0 = -kInf, x1 = kInf;
  auto half = [&](const Vec2& a, bool left) {
    // cross(a, P - C) >= 0 (left) or <= 0, with P = point(x): value = k x + m.
    const Vec2 q0 = Sub(point(0), {path.cu, path.cv}), q1 = Sub(point(1), {path.cu, path.cv});
    double m = Cross(a, q0), k = Cross(a, q1) - m;
    if (!left) k = -k, m = -m;
    if (k == 0) {
      if (m < 0) x0 = kInf;
      return;
    }
    const double root = -m / k;
    if (k > 0) x0 = std::max(x0, root);
    else x1 = std::min(x1, root);
  };
  half(e0, true);
  half(e1, false);
  const double dO = other - (c == 0 ? path.cv : path.cu), ca = c == 0 ? path.cu : path.cv;
  const double outer = path.rho + rho, inner = std::max(0.0, path.rho - rho);
  if (x0 <= x1 && std::fabs(dO) <= outer) {
    const double far = std::sqrt(outer * outer - dO * dO);
    const double near = std::fabs(dO) < inner ? std::sqrt(inner * inner - dO * dO) : 0;
    for (const auto& [a, b] : {std::pair{ca - far, ca - near}, std::pair{ca + near, ca + far}}) {
      const double from = std::max(a, x0), to = std::min(b, x1);
      if (from <= to) {
        lo = std::min(lo, from);
        hi = std::max(hi, to);
      }
    }
  }
  return lo <= hi;
}

// The interval a part of the tool (heights [zLo, zHi] above the tip, radius `radius(z)`,
// never shrinking upwards) covers on the ray along c at `other` and height w, by a best-first
// search over the move's parameter.
template <class Radius>
bool Span(const Path& path, int c, double other, double w, double zLo, double zHi, Radius radius, double tol,
          double& lo, double& hi) {
  lo = kInf;
  hi = -kInf;
  if (path.Level()) {
    const double z = w - path.W(0);
    if (z < zLo || z > zHi) return false;
    const double rho = radius(z);
    if (rho < 0) return false;
    if (!path.arc) return Capsule(path, c, other, rho, lo, hi);
    if (std::fabs(path.dphi) <= kPi / 2 + 1e-9) return ArcBand(path, c, other, rho, lo, hi);
  }
  if (!path.arc && path.a.x == path.b.x && path.a.y == path.b.y) {
    // A plunge along the axis: the widest section the tool brings to this height.
    const double z = std::min(w - std::min(path.a.z, path.b.z), zHi);
    if (z < zLo || w - std::max(path.a.z, path.b.z) > zHi) return false;
    const double rho = radius(z), d = other - (c == 0 ? path.a.y : path.a.x);
    if (rho < 0 || std::fabs(d) > rho) return false;
    const double s = std::sqrt(rho * rho - d * d), pc = c == 0 ? path.a.x : path.a.y;
    lo = pc - s;
    hi = pc + s;
    return true;
  }
  auto eval = [&](double t) {
    const Vec3 p = path.At(t);
    const double z = w - p.z;
    if (z < zLo || z > zHi) return;
    const double rho = radius(z);
    const double d = other - (c == 0 ? p.y : p.x);
    if (rho < 0 || std::fabs(d) > rho) return;
    const double s = std::sqrt(rho * rho - d * d), pc = c == 0 ? p.x : p.y;
    lo = std::min(lo, pc - s);
    hi = std::max(hi, pc + s);
  };
  // Over a piece the tool reaches no further than its widest section at the piece's nearest
  // place across the ray, put at either end of the piece's range along the ray.
  auto bound = [&](double t0, double t1, double& reachLo, double& reachHi) {
    const double wa = path.W(t0), wb = path.W(t1);
    const double zMin = std::max(w - std::max(wa, wb), zLo), zMax = std::min(w - std::min(wa, wb), zHi);
    if (zMin > zMax) return false;
    const double rhoMax = radius(zMax);
    if (rhoMax < 0) return false;
    double oLo = 0, oHi = 0, cLo = 0, cHi = 0;
    path.Range(c == 0 ? 1 : 0, t0, t1, oLo, oHi);
    const double dMin = other < oLo ? oLo - other : other > oHi ? other - oHi : 0;
    if (dMin > rhoMax) return false;
    path.Range(c, t0, t1, cLo, cHi);
    const double sMax = std::sqrt(rhoMax * rhoMax - dMin * dMin);
    reachLo = cLo - sMax;
    reachHi = cHi + sMax;
    return true;
  };
  // Best first, once for each end: the piece that could reach furthest is split next, so the
  // search ends as soon as no piece can beat what was found by more than the tolerance. The
  // heap lives in one buffer per thread: a ray must not cost an allocation.
  using Piece = std::tuple<double, double, double>;  // how far it could reach (larger is further), t0, t1
  thread_local std::vector<Piece> heap;
  for (int side = 0; side < 2; ++side) {
    heap.clear();
    auto push = [&](double t0, double t1) {
      double a = 0, b = 0;
      if (!bound(t0, t1, a, b)) return;
      heap.emplace_back(side == 0 ? -a : b, t0, t1);
      std::push_heap(heap.begin(), heap.end());
    };
    push(0.0, 1.0);
    int pieces = 0;
    while (!heap.empty()) {
      const auto [reach, t0, t1] = heap.front();
      const double found = side == 0 ? -lo : hi;
      if (reach <= found + tol) break;
      if (++pieces > kMostPieces || t1 - t0 < 1e-12) {
        // As far as the search goes: the bound stands for what is left.
        if (side == 0) lo = std::min(lo, -reach);
        else hi = std::max(hi, reach);
        break;
      }
      std::pop_heap(heap.begin(), heap.end());
      heap.pop_back();
      eval(t0);
      eval(t1);
      const double mid = (t0 + t1) / 2;
      eval(mid);
      push(t0, mid);
      push(mid, t1);
    }
  }
  return lo <= hi;
}

// The same for a part of the tool of one radius rho over heights [zLo, zHi], in closed form:
// the tool's section at height w is a disk of that radius wherever the move puts w within the
// part, so the part sweeps on this plane the disks along the piece of the move between the two
// parameters where w - W(t) leaves [zLo, zHi]: a capsule about a piece of line, an annular
// sector about a piece of arc. False with `done` unset where it cannot say (an arc piece of more
// than a quarter turn).
bool ConstantSpan(const Path& path, int c, double other, double w, double zLo, double zHi, double rho, double& lo,
                  double& hi, bool& done) {
  lo = kInf;
  hi = -kInf;
  done = true;
  if (zLo > zHi || rho < 0) return false;
  const double w0 = path.W(0), w1 = path.W(1), dw = w1 - w0;
  double t0 = 0, t1 = 1;
  if (dw == 0) {
    if (w - w0 < zLo || w - w0 > zHi) return false;
  } else {
    // zLo <= w - W(t) <= zHi.
    double a = (w - zHi - w0) / dw, b = (w - zLo - w0) / dw;
    if (a > b) std::swap(a, b);
    t0 = std::max(0.0, a);
    t1 = std::min(1.0, b);
    if (t0 > t1) return false;
  }
  Path piece = path;
  if (!path.arc) {
    piece.a = path.At(t0);
    piece.b = path.At(t1);
    return Capsule(piece, c, other, rho, lo, hi);
  }
  if (std::fabs(path.dphi * (t1 - t0)) > kPi / 2 + 1e-9) {
    done = false;
    return false;
  }
  piece.phi0 = path.phi0 + path.dphi * t0;
  piece.dphi = path.dphi * (t1 - t0);
  return ArcBand(piece, c, other, rho, lo, hi);
}

}  // namespace

double SideFrom(const ToolShape& tool) {
  if (tool.halfAngle > 0) return tool.radius / std::tan(tool.halfAngle);
  return std::max(tool.corner, 0.0);
}

Cover AcrossAxis(const Path& path, const ToolShape& tool, int c, double other, double w, double tol, bool search) {
  Cover cover;
  double lo = 0, hi = 0;
  auto cutRadius = [&](double z) { return tool.RadiusAt(z); };
  if (search) {
    if (Span(path, c, other, w, 0.0, tool.cutting, cutRadius, tol, lo, hi)) {
      cover.cut = true;
      cover.cutLo = lo;
      cover.cutHi = hi;
    }
    if (tool.top > tool.cutting &&
        Span(path, c, other, w, tool.cutting, tool.top, [&](double) { return tool.radius; }, tol, lo, hi)) {
      cover.shank = true;
      cover.shankLo = lo;
      cover.shankHi = hi;
    }
    return cover;
  }
  // The end (a corner, a ball, a point) by the search, the rest in closed form: the two hulls'
  // hull is the whole part's.
  const double side = std::min(SideFrom(tool), tool.cutting);
  auto add = [&](bool any, double a, double b) {
    if (!any) return;
    if (!cover.cut) cover.cutLo = a, cover.cutHi = b;
    cover.cutLo = std::min(cover.cutLo, a);
    cover.cutHi = std::max(cover.cutHi, b);
    cover.cut = true;
  };
  bool done = true;
  bool any = ConstantSpan(path, c, other, w, side, tool.cutting, tool.radius, lo, hi, done);
  if (done) {
    add(any, lo, hi);
    if (side > 0) {
      any = Span(path, c, other, w, 0.0, side, cutRadius, tol, lo, hi);
      add(any, lo, hi);
    }
  } else {
    any = Span(path, c, other, w, 0.0, tool.cutting, cutRadius, tol, lo, hi);
    add(any, lo, hi);
  }
  if (tool.top > tool.cutting) {
    any = ConstantSpan(path, c, other, w, tool.cutting, tool.top, tool.radius, lo, hi, done);
    if (!done) any = Span(path, c, other, w, tool.cutting, tool.top, [&](double) { return tool.radius; }, tol, lo, hi);
    if (any) {
      cover.shank = true;
      cover.shankLo = lo;
      cover.shankHi = hi;
    }
  }
  return cover;
}

}  // namespace varnholt::simulate_detail

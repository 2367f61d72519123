// What the generators share: plane contours read from curves, and the ways into and out of
// the material.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "cct/instance.h"
#include "generate.h"

namespace varnholt::machining_detail {

namespace {

constexpr int kMaxDepth = 16;
constexpr double kFlat = 1e-6;  // how far a contour's points may leave its plane
constexpr long kMaxTurns = 10000;

double Dist(const Vec2& a, const Vec2& b) { return std::hypot(a.x - b.x, a.y - b.y); }

bool FromPoints(const std::vector<Vec3>& points, Contour2& out, std::string& why) {
  if (points.size() < 2) {
    why = "the curve has fewer than two points";
    return false;
  }
  for (const Vec3& p : points)
    if (std::fabs(p.z - points[0].z) > kFlat * std::max(1.0, std::fabs(points[0].z))) {
      why = "the curve does not lie in the feature's plane";
      return false;
    }
  out.start = {points[0].x, points[0].y};
  for (size_t i = 1; i < points.size(); ++i) out.segments.push_back({{points[i].x, points[i].y}, false, {}, false});
  return true;
}

bool Read(Reader& r, Geometry& g, const cct_Instance* curve, Contour2& out, std::string& why, int depth) {
  if (!curve) {
    why = "the curve is unset";
    return false;
  }
  if (depth > kMaxDepth) {
    why = "curves nest too deeply";
    return false;
  }
  if (r.Is(*curve, "composite_curve")) {
    std::vector<cct_Instance*> segments;
    r.Refs(*curve, "segments", segments);
    bool first = true;
    for (const cct_Instance* segment : segments) {
      Contour2 piece;
      if (!segment || !Read(r, g, r.Ref(*segment, "parent_curve"), piece, why, depth + 1)) {
        if (why.empty()) why = "a segment of the composite curve has no curve";
        return false;
      }
      bool same = true;
      r.Flag(*segment, "same_sense", same);
      if (!same) piece = Reversed(piece);
      if (first) {
        out.start = piece.start;
      } else if (Dist(out.segments.empty() ? out.start : out.segments.back().to, piece.start) > 1e-6) {
        out.segments.push_back({piece.start, false, {}, false});  // bridge a gap
      }
      first = false;
      out.segments.insert(out.segments.end(), piece.segments.begin(), piece.segments.end());
    }
    if (first) {
      why = "the composite curve has no segments";
      return false;
    }
  } else if (r.Is(*curve, "circle") || (r.Is(*curve, "trimmed_curve") && r.Ref(*curve, "basis_curve") &&
                                         r.Is(*r.Ref(*curve, "basis_curve"), "circle"))) {
    const cct_Instance* circle = r.Is(*curve, "circle") ? curve : r.Ref(*curve, "basis_curve");
    Placement frame;
    if (!g.Axis2(r.Ref(*circle, "position"), frame, circle, "the circle's position")) {
      why = "the circle has no position";
      return false;
    }
    const Vec3& n = frame.axis[2];
    if (std::fabs(std::fabs(n.z) - 1) > 1e-9) {
      why = "the circle does not lie in the feature's plane";
      return false;
    }
    std::vector<Vec3> points;
    if (!g.Curve(curve, points) || points.size() < 2) {
      why = "the circle cannot be read";
      return false;
    }
    const Vec2 centre{frame.origin.x, frame.origin.y};
    const Vec2 a{points.front().x, points.front().y}, b{points.back().x, points.back().y};
    // The sampled points say which way the arc runs; the plane's normal may point down.
    const Vec2 m{points[points.size() / 2].x, points[points.size() / 2].y};
    const double turn = (a.x - centre.x) * (m.y - centre.y) - (a.y - centre.y) * (m.x - centre.x);
    const bool clockwise = points.size() > 2 ? turn < 0 : n.z < 0;
    out.start = a;
    if (Dist(a, b) < 1e-9) {
      // A full circle: two halves, so that no arc has the same start and end.
      const Vec2 opposite{2 * centre.x - a.x, 2 * centre.y - a.y};
      out.segments.push_back({opposite, true, centre, clockwise});
      out.segments.push_back({a, true, centre, clockwise});
      out.closed = true;
    } else {
      out.segments.push_back({b, true, centre, clockwise});
    }
  } else {
    std::vector<Vec3> points;
    if (!g.Curve(curve, points)) {
      why = std::string("a curve of kind ") + (curve->TypeName() ? curve->TypeName() : "?") + " cannot be read";
      return false;
    }
    if (!FromPoints(points, out, why)) return false;
  }
  if (!out.segments.empty() && Dist(out.start, out.segments.back().to) < 1e-9) out.closed = true;
  return true;
}

Vec3 Lift(const Vec2& p, double z) { return {p.x, p.y, z}; }

}  // namespace

bool ReadContour(Reader& r, Geometry& g, const cct_Instance* curve, Contour2& out, std::string& why) {
  out = Contour2{};
  why.clear();
  return Read(r, g, curve, out, why, 0);
}

std::vector<Vec2> SampleContour(const Contour2& contour, double tolerance) {
  std::vector<Vec2> points{contour.start};
  Vec2 at = contour.start;
  for (const Segment2& s : contour.segments) {
    if (s.arc) {
      const double radius = Dist(at, s.center);
      double a0 = std::atan2(at.y - s.center.y, at.x - s.center.x);
      double a1 = std::atan2(s.to.y - s.center.y, s.to.x - s.center.x);
      double sweep = a1 - a0;
      if (s.clockwise) {
        if (sweep >= -1e-12) sweep -= 2 * kPi;
      } else if (sweep <= 1e-12) {
        sweep += 2 * kPi;
      }
      const double tol = std::max(tolerance, radius * 1e-9);
      const double step = tol >= radius ? kPi / 2 : 2 * std::acos(1 - tol / radius);
      const long count = std::clamp(static_cast<long>(std::ceil(std::fabs(sweep) / std::max(step, 1e-9))), 1L, 100000L);
      for (long k = 1; k < count; ++k) {
        const double phi = a0 + sweep * k / count;
        points.push_back({s.center.x + radius * std::cos(phi), s.center.y + radius * std::sin(phi)});
      }
    }
    points.push_back(s.to);
    at = s.to;
  }
  return points;
}

std::string Millimetres(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ec == std::errc() ? result.ptr : buffer) + " mm";
}

void Enter(MoveWriter& out, const Vec3& target, double topZ, double clearZ, const Plunge& approach,
           const Vec2& direction, double reach, double feed) {
  const Vec3 above{target.x, target.y, clearZ};
  const Vec3& at = out.At();
  if (std::fabs(at.x - above.x) > 1e-12 || std::fabs(at.y - above.y) > 1e-12 || std::fabs(at.z - above.z) > 1e-12)
    out.Rapid(above);
  // Down to where the material begins along the axis; only below it does the strategy matter.
  const double start = std::clamp(topZ, target.z, clearZ);
  if (start < clearZ) out.Feed({target.x, target.y, start}, feed);
  const double drop = start - target.z;
  const double slope = std::tan(approach.angle);
  const double length = std::hypot(direction.x, direction.y);
  const Vec2 d = length > 0 ? Vec2{direction.x / length, direction.y / length} : Vec2{1, 0};
  if (drop > 0 && slope > 0 && approach.kind == Plunge::Helix && approach.radius > 0) {
    // Turns about the target at the strategy's radius, in half turns (arcs a controller reads
    // without ambiguity), then in to the target.
    const double r = approach.radius;
    const long halves = std::min<long>(2 * kMaxTurns, std::max(1L, static_cast<long>(std::ceil(drop / (kPi * r * slope)))));
    const double fall = drop / static_cast<double>(halves);
    const Vec2 side{target.x + d.x * r, target.y + d.y * r};
    out.Feed({side.x, side.y, start}, feed);
    double z = start;
    for (long k = 0; k < halves; ++k) {
      const double sign = k % 2 == 0 ? -1 : 1;
      const Vec3 centre{target.x, target.y, z};
      z -= fall;
      out.Arc({target.x + sign * d.x * r, target.y + sign * d.y * r, z}, centre, {0, 0, 1}, false, feed);
    }
    out.Feed(target, feed);
    return;
  }
  const bool sloped = approach.kind == Plunge::Ramp || approach.kind == Plunge::Zigzag;
  double run = approach.kind == Plunge::Zigzag && approach.width > 0 ? std::min(approach.width, reach) : reach;
  if (drop > 0 && slope > 0 && sloped && run > 0) {
    // Down and back along the line of the first cut, an even number of legs so that the last
    // ends at the target; no leg steeper than the slope, none longer than the room there is.
    run = std::min(run, drop / slope);
    long legs = std::min<long>(2 * kMaxTurns, static_cast<long>(std::ceil(drop / (run * slope) - 1e-9)));
    legs += legs % 2;
    legs = std::max(legs, 2L);
    const double fall = drop / static_cast<double>(legs), leg = fall / slope;
    double z = start;
    for (long k = 0; k < legs; ++k) {
      z -= fall;
      const double along = k % 2 == 0 ? leg : 0;
      out.Feed({target.x + d.x * along, target.y + d.y * along, k + 1 == legs ? target.z : z}, feed);
    }
    return;
  }
  const Vec3& now = out.At();
  if (now.x != target.x || now.y != target.y || now.z != target.z) out.Feed(target, feed);
}

void Leave(MoveWriter& out, double clearZ, const Plunge& retract, const Vec2& direction, double feed) {
  const Vec3 at = out.At();
  if (at.z >= clearZ) return;
  if (retract.kind == Plunge::Ramp && std::tan(retract.angle) > 0) {
    const double length = std::hypot(direction.x, direction.y);
    if (length > 0) {
      // Up a ramp onwards along the direction, never farther than it takes to climb.
      const double run = std::min((clearZ - at.z) / std::tan(retract.angle), 1e6);
      out.Feed({at.x + direction.x / length * run, at.y + direction.y / length * run, clearZ}, feed);
      return;
    }
  }
  out.Rapid(Lift({at.x, at.y}, clearZ));
}

}  // namespace varnholt::machining_detail

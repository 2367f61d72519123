// Plane contours read from curves: circles and trimmed circles as arcs, composite curves piece
// by piece, other curves as the scene samples them.
#include <algorithm>
#include <cmath>

#include "cct/instance.h"
#include "read_geometry.h"

namespace varnholt::model_detail {

namespace {

constexpr int kMaxDepth = 16;
constexpr double kFlat = 1e-6;  // how far a contour's points may leave its plane

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
      } else if (Distance(out.segments.empty() ? out.start : out.segments.back().to, piece.start) > 1e-6) {
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
    if (Distance(a, b) < 1e-9) {
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
  if (!out.segments.empty() && Distance(out.start, out.segments.back().to) < 1e-9) out.closed = true;
  return true;
}


}  // namespace

bool ReadContour(Reader& r, Geometry& g, const cct_Instance* curve, Contour2& out, std::string& why) {
  out = Contour2{};
  why.clear();
  return Read(r, g, curve, out, why, 0);
}

bool SamePlacement(Reader& r, const cct_Instance* placement, const cct_Instance* holder) {
  if (!placement || !holder) return false;
  if (placement == holder) return true;
  // Read aside: whether it can be read is the caller's to say, where it reads it for use.
  std::vector<SceneProblem> ignored;
  scene_detail::Problems quiet(ignored);
  scene_detail::Budget budget;
  Geometry aside(r, quiet, budget);
  Placement a, b;
  if (!aside.Axis2(placement, a, nullptr, "") || !aside.Axis2(holder, b, nullptr, "")) return false;
  auto same = [](const Vec3& u, const Vec3& v) {
    return std::fabs(u.x - v.x) <= 1e-9 * std::max(1.0, std::fabs(v.x)) &&
           std::fabs(u.y - v.y) <= 1e-9 * std::max(1.0, std::fabs(v.y)) &&
           std::fabs(u.z - v.z) <= 1e-9 * std::max(1.0, std::fabs(v.z));
  };
  return same(a.origin, b.origin) && same(a.axis[0], b.axis[0]) && same(a.axis[1], b.axis[1]) &&
         same(a.axis[2], b.axis[2]);
}

}  // namespace varnholt::model_detail

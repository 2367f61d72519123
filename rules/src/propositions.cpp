// The informal propositions of the data model, tested as warnings: identifiers unique within
// the file, profiles planar and not self-intersecting, speed profiles positive and curves that belong together over the same parameter range.
#include <cmath>
#include <algorithm>
#include <map>

#include "cct/instance.h"
#include "checks.h"
#include "expr.h"
#include "model_read.h"
#include "propositions.h"
#include "varnholt/navigation.h"

namespace varnholt::rules {

namespace {

// ---- its_id unique (IP1, IP2) ----

void UniqueIds(CheckContext& context, const Rule& rule) {
  std::map<std::string, const cct_Instance*> first;
  for (const cct_Instance* i : context.OfType(rule.Entity())) {
    std::string id;
    if (!Text(i, "its_id", id)) continue;
    auto [it, inserted] = first.emplace(id, i);
    if (inserted) continue;
    context.Report(rule, *i, "its_id",
                   rule.description + "; found its_id '" + id + "' also on " + Label(it->second));
  }
}

// ---- profiles in a plane, not crossing themselves (IP3 to IP10) ----

enum class PlaneOf { XY, YZ, Any };

struct ProfileFinding {
  bool ok = true;
  std::string text;
};

double Coordinate(const Vec3& p, int axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }

// The plane the points span when they all lie in one; false when they do not.
bool InOnePlane(const std::vector<Vec3>& pts, double tolerance, size_t& offender) {
  if (pts.size() < 4) return true;
  // The normal of the first three points that span a triangle.
  Vec3 n{0, 0, 0};
  const Vec3& a = pts[0];
  for (size_t i = 1; i + 1 < pts.size() && n.x == 0 && n.y == 0 && n.z == 0; ++i)
    for (size_t j = i + 1; j < pts.size(); ++j) {
      const Vec3 u{pts[i].x - a.x, pts[i].y - a.y, pts[i].z - a.z}, v{pts[j].x - a.x, pts[j].y - a.y, pts[j].z - a.z};
      const Vec3 c{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
      const double length = std::sqrt(c.x * c.x + c.y * c.y + c.z * c.z);
      if (length > tolerance * tolerance) {
        n = {c.x / length, c.y / length, c.z / length};
        break;
      }
    }
  if (n.x == 0 && n.y == 0 && n.z == 0) return true;  // all on one line
  for (size_t k = 0; k < pts.size(); ++k) {
    const double d = (pts[k].x - a.x) * n.x + (pts[k].y - a.y) * n.y + (pts[k].z - a.z) * n.z;
    if (std::fabs(d) > tolerance) {
      offender = k;
      return false;
    }
  }
  return true;
}

double Cross2(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

// Two segments that cross or touch away from the ends they share.
bool SegmentsMeet(double ax, double ay, double bx, double by, double cx, double cy, double dx, double dy) {
  const double d1 = Cross2(dx - cx, dy - cy, ax - cx, ay - cy), d2 = Cross2(dx - cx, dy - cy, bx - cx, by - cy);
  const double d3 = Cross2(bx - ax, by - ay, cx - ax, cy - ay), d4 = Cross2(bx - ax, by - ay, dx - ax, dy - ay);
  return ((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0));
}

// The first pair of non-neighbouring segments that cross, in the plane's two coordinates.
bool SelfIntersects(const std::vector<Vec3>& pts, int u, int v, size_t& first, size_t& second) {
  const size_t n = pts.size();
  if (n < 4 || n > 2000) return false;
  const bool closed = std::fabs(Coordinate(pts[0], u) - Coordinate(pts[n - 1], u)) < 1e-9 &&
                      std::fabs(Coordinate(pts[0], v) - Coordinate(pts[n - 1], v)) < 1e-9;
  for (size_t i = 0; i + 1 < n; ++i)
    for (size_t j = i + 2; j + 1 < n; ++j) {
      if (closed && i == 0 && j + 2 == n) continue;  // the closing neighbours
      if (SegmentsMeet(Coordinate(pts[i], u), Coordinate(pts[i], v), Coordinate(pts[i + 1], u),
                       Coordinate(pts[i + 1], v), Coordinate(pts[j], u), Coordinate(pts[j], v),
                       Coordinate(pts[j + 1], u), Coordinate(pts[j + 1], v))) {
        first = i + 1;
        second = j + 1;
        return true;
      }
    }
  return false;
}

std::string PointText(const Vec3& p) { return "(" + Fmt(p.x) + ", " + Fmt(p.y) + ", " + Fmt(p.z) + ")"; }

// The points of a profile, path or curve in the feature's system: a profile's or path's own
// placement applied to its curve. False when it is of a kind whose shape is fixed by numbers
// (rectangles, circles, straight paths), which lies in its plane by construction.
bool ProfilePoints(const cct_Instance* shape, std::vector<Vec3>& points) {
  if (!shape) return false;
  const cct_Instance* curve = nullptr;
  for (const char* attribute : {"closed_profile_shape", "its_profile", "swept_path"})
    if (!curve) curve = Ref(shape, attribute);
  if (!curve) {
    curve = shape;  // a curve itself (a boss's boundary may be one)
  }
  std::vector<Vec3> local;
  if (!CurvePoints(curve, local)) return false;
  Placement placement;
  if (curve != shape && ReadPlacement(Ref(shape, "placement"), placement))
    for (Vec3& p : local) p = placement.Apply(p);
  points = std::move(local);
  return true;
}

void Profiles(CheckContext& context, const Rule& rule, const std::vector<const char*>& attributes, PlaneOf plane,
              bool mustClose) {
  for (const cct_Instance* feature : context.OfType(rule.Entity())) {
    for (const char* attribute : attributes) {
      std::vector<Vec3> pts;
      if (!ProfilePoints(Ref(feature, attribute), pts) || pts.size() < 2) continue;
      double scale = 1;
      for (const Vec3& p : pts) scale = std::max({scale, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
      const double tolerance = 1e-6 * scale;
      const std::string what = std::string(attribute) + " " + Label(Ref(feature, attribute));
      std::string problem;
      if (plane != PlaneOf::Any) {
        const int off = plane == PlaneOf::XY ? 2 : 0;
        for (size_t k = 0; k < pts.size() && problem.empty(); ++k)
          if (std::fabs(Coordinate(pts[k], off)) > tolerance)
            problem = "point " + std::to_string(k + 1) + " of " + what + " is " + PointText(pts[k]) + ", off the local " +
                      (plane == PlaneOf::XY ? "xy plane (z " : "yz plane (x ") + Fmt(Coordinate(pts[k], off)) + ")";
      } else {
        size_t k = 0;
        if (!InOnePlane(pts, tolerance, k))
          problem = "point " + std::to_string(k + 1) + " of " + what + " " + PointText(pts[k]) +
                    " is off the plane of the others";
      }
      size_t a = 0, b = 0;
      const int u = plane == PlaneOf::YZ ? 1 : 0, v = plane == PlaneOf::YZ ? 2 : 1;
      if (problem.empty() && SelfIntersects(pts, u, v, a, b))
        problem = what + " crosses itself: segment " + std::to_string(a) + " meets segment " + std::to_string(b);
      if (problem.empty() && mustClose) {
        const Vec3 &s = pts.front(), &e = pts.back();
        if (std::fabs(s.x - e.x) > tolerance || std::fabs(s.y - e.y) > tolerance || std::fabs(s.z - e.z) > tolerance)
          problem = what + " is not closed: it starts at " + PointText(s) + " and ends at " + PointText(e);
      }
      if (!problem.empty()) context.Report(rule, *feature, attribute, rule.description + "; found " + problem);
    }
  }
}

void PlanarFace(CheckContext& c, const Rule& r) { Profiles(c, r, {"removal_boundary", "face_boundary"}, PlaneOf::XY, false); }
void ClosedPocket(CheckContext& c, const Rule& r) { Profiles(c, r, {"feature_boundary"}, PlaneOf::XY, true); }
void Slot(CheckContext& c, const Rule& r) { Profiles(c, r, {"course_of_travel"}, PlaneOf::XY, false); }
void OutsideProfile(CheckContext& c, const Rule& r) { Profiles(c, r, {"feature_boundary"}, PlaneOf::XY, false); }
void Boss(CheckContext& c, const Rule& r) { Profiles(c, r, {"its_boundary"}, PlaneOf::Any, false); }
void GeneralProfile(CheckContext& c, const Rule& r) { Profiles(c, r, {"its_profile"}, PlaneOf::YZ, false); }

// The open boundary planar and simple, and closed by the wall boundary where both are curves.
void OpenPocket(CheckContext& context, const Rule& rule) {
  Profiles(context, rule, {"open_boundary"}, PlaneOf::XY, false);
  for (const cct_Instance* pocket : context.OfType(rule.Entity())) {
    std::vector<Vec3> open, wall;
    if (!ProfilePoints(Ref(pocket, "open_boundary"), open) || !ProfilePoints(Ref(pocket, "wall_boundary"), wall))
      continue;
    if (open.empty() || wall.empty()) continue;
    auto near = [](const Vec3& a, const Vec3& b) {
      return std::fabs(a.x - b.x) + std::fabs(a.y - b.y) + std::fabs(a.z - b.z) < 1e-6 * (1 + std::fabs(a.x) + std::fabs(a.y));
    };
    const bool closes = (near(open.front(), wall.back()) && near(open.back(), wall.front())) ||
                        (near(open.front(), wall.front()) && near(open.back(), wall.back()));
    if (!closes)
      context.Report(rule, *pocket, "wall_boundary",
                     rule.description + "; found open_boundary ending at " + PointText(open.front()) + " and " +
                         PointText(open.back()) + ", wall_boundary at " + PointText(wall.front()) + " and " +
                         PointText(wall.back()));
  }
}

// ---- speed profiles and parameter ranges (IP13 to IP16) ----

void SpeedPositive(CheckContext& context, const Rule& rule) {
  for (const cct_Instance* speed : context.OfType(rule.Entity())) {
    std::vector<Vec3> pts;
    if (!CurvePoints(Ref(speed, "speed"), pts)) continue;
    for (size_t k = 0; k < pts.size(); ++k)
      if (!(pts[k].x > 0)) {
        context.Report(rule, *speed, "speed",
                       rule.description + "; found " + Fmt(pts[k].x) + " at control point " + std::to_string(k + 1) +
                           " of " + Label(Ref(speed, "speed")));
        break;
      }
  }
}

// The parameter range of a curve where the curve fixes it: a B-spline's first and last knot,
// a polyline's 0 to n-1, a trimmed curve's parameter trims.
bool Range(const cct_Instance* curve, double& low, double& high) {
  if (!curve) return false;
  if (IsOfType(*curve, "b_spline_curve_with_knots")) {
    Value knots = FromModel(AttributeNamed(*curve, "knots"));
    if (knots.kind != Value::List || knots.list.size() < 2 || knots.list.front().kind != Value::Number ||
        knots.list.back().kind != Value::Number)
      return false;
    low = knots.list.front().number;
    high = knots.list.back().number;
    return true;
  }
  if (IsOfType(*curve, "polyline")) {
    const size_t n = RefCount(curve, "points");
    if (n < 2) return false;
    low = 0;
    high = static_cast<double>(n - 1);
    return true;
  }
  if (IsOfType(*curve, "trimmed_curve")) {
    double bounds[2];
    int found = 0;
    for (const char* trim : {"trim_1", "trim_2"}) {
      Value v = FromModel(AttributeNamed(*curve, trim));
      if (v.kind != Value::List) return false;
      for (const Value& m : v.list)
        if (m.kind == Value::Number) {
          bounds[found++] = m.number;
          break;
        }
    }
    if (found != 2) return false;
    low = bounds[0];
    high = bounds[1];
    return true;
  }
  return false;
}

void SameRange(CheckContext& context, const Rule& rule, const char* first, const char* second) {
  for (const cct_Instance* i : context.OfType(rule.Entity())) {
    const cct_Instance* a = Ref(i, first);
    const cct_Instance* b = Ref(i, second);
    // A contact trajectory's curve carries its normals; its own curve is the one meant.
    if (a && IsOfType(*a, "curve_with_normal_vector") && std::string(first) == "basiccurve") a = Ref(a, "basiccurve");
    double al, ah, bl, bh;
    // The second first: it is mostly unset, and the first is mostly a polyline of many points.
    if (!Range(b, bl, bh) || !Range(a, al, ah)) continue;
    const double tolerance = 1e-6 * std::max({1.0, std::fabs(al), std::fabs(ah), std::fabs(bl), std::fabs(bh)});
    if (std::fabs(al - bl) <= tolerance && std::fabs(ah - bh) <= tolerance) continue;
    context.Report(rule, *i, second,
                   rule.description + "; found " + first + " " + Label(a) + " over " + Fmt(al) + ".." + Fmt(ah) + ", " +
                       second + " " + Label(b) + " over " + Fmt(bl) + ".." + Fmt(bh));
  }
}

void ToolaxisRange(CheckContext& c, const Rule& r) { SameRange(c, r, "basiccurve", "its_toolaxis"); }
void NormalRange(CheckContext& c, const Rule& r) { SameRange(c, r, "basiccurve", "surface_normal"); }

}  // namespace

const std::vector<std::pair<const char*, CheckFunction>>& PropositionChecks() {
  static const std::vector<std::pair<const char*, CheckFunction>> checks = {
      {"project.IP1", UniqueIds},
      {"executable.IP2", UniqueIds},
      {"planar_face.IP3", PlanarFace},
      {"closed_pocket.IP4", ClosedPocket},
      {"open_pocket.IP5", OpenPocket},
      {"slot.IP6", Slot},
      {"general_outside_profile.IP8", OutsideProfile},
      {"boss.IP9", Boss},
      {"general_profile.IP10", GeneralProfile},
      {"toolpath_speed.IP13", SpeedPositive},
      {"cutter_location_trajectory.IP14", ToolaxisRange},
      {"cutter_contact_trajectory.IP15", ToolaxisRange},
      {"curve_with_normal_vector.IP16", NormalRange},
  };
  return checks;
}

}  // namespace varnholt::rules

// The outlines of machining features in their own coordinates: the boundary at the top (z 0 of
// the feature placement) and again at the depth, where the depth plane's location lies.
#include <algorithm>
#include <cmath>

#include "cct/instance.h"
#include "../scene_read.h"
#include "read_geometry.h"

namespace varnholt::scene_detail {
namespace {



std::string KindOf(const cct_Instance& instance) {
  return instance.TypeName() ? instance.TypeName() : "?";
}

class Outliner {
 public:
  Outliner(Reader& r, Geometry& g, Problems& p) : r_(r), g_(g), problems_(p) {}

  // A profile's lines in the coordinates of whatever holds it (its optional placement applied).
  bool Profile(const cct_Instance* profile, std::vector<Outline>& out) {
    if (!profile) return false;
    Placement frame;
    // Writers also give a profile the feature's own placement, meaning "at the feature".
    const cct_Instance* placement = r_.Ref(*profile, "placement");
    if (placement && !model_detail::SamePlacement(r_, placement, featurePlacement_) &&
        !g_.Axis2(placement, frame, profile, "the profile's placement"))
      return false;
    Outline line;
    double a = 0, b = 0;
    if (r_.Is(*profile, "rectangular_closed_profile") && r_.Number(*profile, "profile_length", a) &&
        r_.Number(*profile, "profile_width", b)) {
      // Centred on its placement, the length along x.
      line.points = {{-a / 2, -b / 2, 0}, {a / 2, -b / 2, 0}, {a / 2, b / 2, 0}, {-a / 2, b / 2, 0}};
      line.closed = true;
    } else if (r_.Is(*profile, "circular_closed_profile") && r_.Number(*profile, "diameter", a)) {
      Geometry::Arc(Placement{}, a / 2, 0, 2 * kPi, line.points);
      line.closed = true;
    } else if (r_.Is(*profile, "ngon_profile") && r_.Number(*profile, "diameter", a) &&
               r_.Number(*profile, "number_of_sides", b) && b >= 3 && b <= 1000) {
      bool circumscribed = true;
      r_.Flag(*profile, "circumscribed_or_across_flats", circumscribed);
      const int sides = static_cast<int>(b);
      const double radius = circumscribed ? a / 2 : a / 2 / std::cos(kPi / sides);
      for (int i = 0; i < sides; ++i)
        line.points.push_back({radius * std::cos(2 * kPi * i / sides), radius * std::sin(2 * kPi * i / sides), 0});
      line.closed = true;
    } else if (r_.Is(*profile, "general_closed_profile")) {
      if (!g_.Curve(r_.Ref(*profile, "closed_profile_shape"), line.points)) return Missing(*profile);
      line.closed = true;
    } else if (r_.Is(*profile, "general_profile")) {
      if (!g_.Curve(r_.Ref(*profile, "its_profile"), line.points)) return Missing(*profile);
    } else if (r_.Is(*profile, "linear_profile") && r_.Number(*profile, "profile_length", a)) {
      line.points = {{0, 0, 0}, {a, 0, 0}};
    } else if ((r_.Is(*profile, "square_u_profile") || r_.Is(*profile, "rounded_u_profile")) &&
               r_.Number(*profile, "width", a)) {
      // Its sides have no length of their own: drawn as deep as it is wide.
      line.points = {{-a / 2, a, 0}, {-a / 2, 0, 0}, {a / 2, 0, 0}, {a / 2, a, 0}};
    } else if (r_.Is(*profile, "partial_circular_profile") && r_.Number(*profile, "radius", a) &&
               r_.Number(*profile, "sweep_angle", b)) {
      const double half = std::clamp(b, -360.0, 360.0) * kPi / 360;
      Geometry::Arc(Placement{}, a, -kPi / 2 - half, -kPi / 2 + half, line.points);
    } else {
      problems_.Add(profile, "a profile of kind " + KindOf(*profile) +
                                 " (or with its sizes unset) cannot be drawn; a marker stands for it");
      return false;
    }
    for (Vec3& p : line.points) p = frame.Apply(p);
    out.push_back(std::move(line));
    return true;
  }

  // A travel path as its centre line: a straight path, a circle or a curve.
  bool Path(const cct_Instance* path, Outline& line) {
    if (!path) return false;
    Placement frame;
    // Writers also give a profile the feature's own placement, meaning "at the feature".
    const cct_Instance* placement = r_.Ref(*path, "placement");
    if (placement && !model_detail::SamePlacement(r_, placement, featurePlacement_) &&
        !g_.Axis2(placement, frame, path, "the path's placement"))
      return false;
    double a = 0;
    Vec3 direction;
    if (r_.Is(*path, "linear_path") && r_.Number(*path, "distance", a) &&
        g_.Direction(r_.Ref(*path, "its_direction"), direction)) {
      line.points = {{0, 0, 0}, Mul(direction, a)};
    } else if (r_.Is(*path, "circular_path") && r_.Number(*path, "radius", a)) {
      Geometry::Arc(Placement{}, a, 0, 2 * kPi, line.points);
      line.closed = true;
    } else if (r_.Is(*path, "general_path")) {
      if (!g_.Curve(r_.Ref(*path, "swept_path"), line.points)) return Missing(*path);
    } else {
      problems_.Add(path, "a path of kind " + KindOf(*path) +
                              " (or with its sizes unset) cannot be drawn; a marker stands for it");
      return false;
    }
    for (Vec3& p : line.points) p = frame.Apply(p);
    return true;
  }

  bool Missing(const cct_Instance& what) {
    problems_.Add(&what, "the curve of this " + KindOf(what) + " cannot be drawn; a marker stands for it");
    return false;
  }

  // The top lines, and the same lines moved down to the depth.
  static void AtTopAndDepth(std::vector<Outline>& lines, double depth) {
    const size_t count = lines.size();
    for (size_t i = 0; i < count; ++i) {
      Outline lower = lines[i];
      for (Vec3& p : lower.points) p.z += depth;
      lines.push_back(std::move(lower));
    }
  }

  static void Vertical(std::vector<Outline>& lines, const Vec3& p, double depth) {
    lines.push_back({{p, {p.x, p.y, p.z + depth}}, false});
  }

  bool Feature(const cct_Instance& feature, std::vector<Outline>& out) {
    featurePlacement_ = r_.Ref(feature, "feature_placement");
    // The depth plane's location is given in the feature's coordinates.
    double depth = 0;
    Placement plane;
    if (const cct_Instance* surface = r_.Ref(feature, "depth")) {
      if (g_.Axis2(r_.Ref(*surface, "position"), plane, surface, "the depth plane's position"))
        depth = plane.origin.z;
    }
    std::vector<Outline> lines;
    double a = 0;
    if (r_.Is(feature, "round_hole")) {
      if (!r_.Number(feature, "diameter", a) || !(a > 0)) return Unset(feature, "diameter");
      lines.emplace_back();
      Geometry::Arc(Placement{}, a / 2, 0, 2 * kPi, lines.back().points);
      lines.back().closed = true;
      AtTopAndDepth(lines, depth);
      Vertical(lines, {-a / 2, 0, 0}, depth);
      Vertical(lines, {a / 2, 0, 0}, depth);
    } else if (r_.Is(feature, "closed_pocket") || r_.Is(feature, "open_pocket") ||
               r_.Is(feature, "general_outside_profile")) {
      const char* boundary = r_.Is(feature, "open_pocket") ? "open_boundary" : "feature_boundary";
      if (!Profile(r_.Ref(feature, boundary), lines)) return false;
      AtTopAndDepth(lines, depth);
    } else if (r_.Is(feature, "planar_face")) {
      Outline travel;
      if (!Path(r_.Ref(feature, "course_of_travel"), travel) || travel.points.size() != 2) return false;
      const cct_Instance* boundary = r_.Ref(feature, "removal_boundary");
      if (!boundary || !r_.Number(*boundary, "profile_length", a)) return Unset(feature, "removal_boundary");
      // The width runs across the travel: along the placement's x axis, or its y axis when the
      // travel runs along x.
      const Vec3 along{travel.points[1].x - travel.points[0].x, travel.points[1].y - travel.points[0].y, 0};
      const Vec3 width = std::fabs(along.x) > std::fabs(along.y) ? Vec3{0, a, 0} : Vec3{a, 0, 0};
      const Vec3 start = travel.points[0], end = travel.points[1];
      lines.push_back({{start, end, Add(end, width), Add(start, width)}, true});
      AtTopAndDepth(lines, depth);
    } else if (r_.Is(feature, "slot")) {
      Outline centre;
      if (!Path(r_.Ref(feature, "course_of_travel"), centre)) return false;
      lines.push_back(centre);
      // A straight slot of known width is drawn with its sides.
      const cct_Instance* shape = r_.Ref(feature, "swept_shape");
      double width = 0;
      if (shape && !r_.Number(*shape, "width", width) && r_.Number(*shape, "radius", width)) width *= 2;
      if (width > 0 && centre.points.size() == 2 && !centre.closed) {
        const Vec3 d{centre.points[1].x - centre.points[0].x, centre.points[1].y - centre.points[0].y, 0};
        const double length = std::hypot(d.x, d.y);
        if (length > 0) {
          const Vec3 n{-d.y / length * width / 2, d.x / length * width / 2, 0};
          const Vec3 p0 = centre.points[0], p1 = centre.points[1];
          lines.push_back({{Add(p0, n), Add(p1, n), Add(p1, Mul(n, -1)), Add(p0, Mul(n, -1))}, true});
        }
      }
      AtTopAndDepth(lines, depth);
    } else if (r_.Is(feature, "step")) {
      Outline edge;
      if (!Path(r_.Ref(feature, "open_boundary"), edge) || edge.points.empty()) return false;
      const Vec3 first = edge.points.front(), last = edge.points.back();
      lines.push_back(std::move(edge));
      AtTopAndDepth(lines, depth);
      Vertical(lines, first, depth);
      Vertical(lines, last, depth);
    } else {
      return false;  // the builder places a marker for other kinds
    }
    for (Outline& line : lines) out.push_back(std::move(line));
    return true;
  }

 private:
  bool Unset(const cct_Instance& feature, const char* attribute) {
    problems_.Add(&feature, std::string("the ") + KindOf(feature) + "'s " + attribute +
                                " is unset or not positive; a marker stands for it");
    return false;
  }

  Reader& r_;
  Geometry& g_;
  Problems& problems_;
  const cct_Instance* featurePlacement_ = nullptr;
};

}  // namespace

bool FeatureOutlines(Reader& reader, Geometry& geometry, Problems& problems, const cct_Instance& feature,
                     std::vector<Outline>& out) {
  return Outliner(reader, geometry, problems).Feature(feature, out);
}

}  // namespace varnholt::scene_detail

// What the removal volumes share: the solids whose signed distances they combine, the frames of
// plane profiles, and the profiles of pockets as the area generator reads them. Internal to the
// volumes of machining/src/feature_volume.cpp and machining/src/volume/.
#ifndef VARNHOLT_VOLUME_SOLID_H
#define VARNHOLT_VOLUME_SOLID_H

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "../generate.h"
#include "../generate_section.h"
#include "varnholt/feature_along.h"
#include "varnholt/feature_area.h"
#include "varnholt/feature_hole.h"
#include "varnholt/feature_volume.h"
#include "curve_distance.h"

namespace varnholt::volume {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

inline bool Given(double v) { return !std::isnan(v); }

// The distance to where two solids meet whose surfaces stand square to each other (a wall and a
// floor): exact, the edge between them included.
inline double Meet(double a, double b) { return a > 0 && b > 0 ? std::sqrt(a * a + b * b) : std::max(a, b); }

// The same with the inner edge rounded by r: the fillet at the foot of a wall.
inline double MeetRound(double a, double b, double r) {
  if (!(r > 0)) return Meet(a, b);
  const double u = a + r, v = b + r;
  const double pu = std::max(u, 0.0), pv = std::max(v, 0.0);
  return std::sqrt(pu * pu + pv * pv) + std::min(std::max(u, v), 0.0) - r;
}

// The material a fillet of radius r leaves in a square corner, across the corner, and how far
// from the wall its centroid lies.
inline double FilletArea(double r) { return r * r * (1 - kPi / 4); }
inline double FilletCentroid(double r) { return r * (5.0 / 6 - kPi / 4) / (1 - kPi / 4); }

// A volume worked out in the feature's system and asked in the workpiece's.
class Solid : public FeatureVolume {
 public:
  double Distance(const Vec3& p) const final {
    const Vec3 d = Sub(p, frame_.origin);
    const Vec3 q{Dot(frame_.axis[0], d), Dot(frame_.axis[1], d), Dot(frame_.axis[2], d)};
    // Far outside its box it is at least that far away: the sampling of a whole stock mostly
    // asks there.
    const double ox = std::max({low_.x - q.x, q.x - high_.x, 0.0}), oy = std::max({low_.y - q.y, q.y - high_.y, 0.0}),
                 oz = std::max({low_.z - q.z, q.z - high_.z, 0.0});
    const double out = std::sqrt(ox * ox + oy * oy + oz * oz);
    if (out > margin_) return out;
    return Local(q);
  }
  double ExactVolume() const final { return exact_; }

  // Its box in the feature's system: taken as the bounds' too. `smallest` is the feature's
  // smallest size: beyond it from the box the distance may be the box's.
  void Place(const Placement& feature, const Vec3& low, const Vec3& high, double smallest) {
    frame_.origin = feature.origin;
    for (int k = 0; k < 3; ++k) frame_.axis[k] = Normalized(feature.axis[k]);
    low_ = low;
    high_ = high;
    margin_ = std::max(smallest, 1e-3);
    bounds = Box{};
    for (int i = 0; i < 8; ++i)
      bounds.Add(frame_.Apply({i & 1 ? high.x : low.x, i & 2 ? high.y : low.y, i & 4 ? high.z : low.z}));
  }
  double exact_ = kNaN;

 protected:
  virtual double Local(const Vec3& q) const = 0;

 private:
  Placement frame_;
  Vec3 low_, high_;
  double margin_ = 0;
};

// --- plane frames and profiles -----------------------------------------------------------

// The generators' frames of plane profiles: the volumes place their contours as they do.
using machining_detail::Frame2;
using machining_detail::Placed;

inline bool PlaneFrame(bool given, bool read, const Placement& p, const std::string& what, Frame2& out, std::string& why) {
  out = Frame2{};
  if (!given) return true;
  if (!read) {
    why = "the " + what + " cannot be read";
    return false;
  }
  if (std::fabs(std::fabs(p.axis[2].z) - 1) > 1e-9) {
    why = "the " + what + " is tilted out of the feature's plane";
    return false;
  }
  out.origin = {p.origin.x, p.origin.y};
  out.x = {p.axis[0].x, p.axis[0].y};
  out.y = {p.axis[1].x, p.axis[1].y};
  out.mirrored = p.axis[2].z < 0;
  return true;
}

// A closed area profile with its convex corners rounded by `corner`, in the coordinates of what
// holds it (through `frame`). `rect` gets the sizes of a rectangle or a circle, for the volume.
struct RectSizes {
  bool given = false;
  double length = 0, width = 0, radius = 0;
};

inline bool ClosedProfile(const AreaProfile& profile, const Frame2& frame, double corner, Contour2& out, RectSizes& rect,
                   std::string& why) {
  if (profile.kind == AreaProfile::Unset) {
    why = "the boundary is unset";
    return false;
  }
  Frame2 own;
  if (!PlaneFrame(profile.placement.given, profile.placement.read, profile.placement.placement, "profile's placement",
                  own, why))
    return false;
  const Frame2 place = own.Then(frame);
  Contour2 c;
  if (profile.kind == AreaProfile::Rectangle || profile.kind == AreaProfile::Circle) {
    const bool circle = profile.kind == AreaProfile::Circle;
    const double a = circle ? profile.diameter : profile.length, b = circle ? profile.diameter : profile.width;
    if (!Given(a) || !Given(b)) return why = "the profile's sizes are unset", false;
    if (!(a > 0 && b > 0)) return why = "the profile's sizes are not positive", false;
    rect.given = true;
    rect.length = a;
    rect.width = b;
    rect.radius = circle ? a / 2 : std::min({std::max(corner, 0.0), a / 2, b / 2});
    c = volume::RoundedRectangle(a, b, rect.radius);
  } else if (profile.kind == AreaProfile::Ngon && profile.diameter > 0 && profile.sides >= 3 && profile.sides <= 1000) {
    const int sides = static_cast<int>(profile.sides);
    const double radius = profile.circumscribed ? profile.diameter / 2 : profile.diameter / 2 / std::cos(kPi / sides);
    c.start = {radius, 0};
    for (int i = 1; i <= sides; ++i)
      c.segments.push_back({i == sides ? c.start : Vec2{radius * std::cos(2 * kPi * i / sides), radius * std::sin(2 * kPi * i / sides)},
                            false, {}, false});
    c.closed = true;
    c = volume::RoundConvexCorners(c, corner);
  } else if (profile.kind == AreaProfile::General) {
    if (!profile.curveRead) return why = "the boundary cannot be read: " + profile.why, false;
    if (!profile.curve.closed) return why = "the closed profile's curve does not close", false;
    c = volume::RoundConvexCorners(profile.curve, corner);
  } else {
    why = "a boundary of kind " + profile.type + " (or with its sizes unset) has no volume here";
    return false;
  }
  out = Placed(c, place);
  return true;
}


struct Boss {
  Curve2 plan;
  double top = 0, lean = 0, norm = 1;
};

// A plane area swept from its floor up past its top: a face or a pocket, with walls leaning in
// towards the floor by `lean` (the tangent of their slope) and a fillet at their foot, bosses
// standing in it. An outside profile keeps the area and removes what is around it.
class AreaSolid : public Solid {
 public:
  Curve2 plan;
  bool outside = false;
  Vec2 reachLow, reachHigh;  // how far around an outside profile the removal goes
  double lean = 0, norm = 1, floor = 0, fillet = 0, open = 0;
  std::vector<Boss> bosses;

 protected:
  double Local(const Vec3& q) const override {
    const Vec2 xy{q.x, q.y};
    double wall = plan.Signed(xy);
    if (outside) wall = -wall;
    double d;
    if (lean != 0) {
      // The walls lean from the outline at the top: at depth -z they stand -z·lean inside it.
      wall = (wall - std::min(q.z, 0.0) * lean) / norm;
      d = std::max(wall, floor - q.z);
    } else {
      d = MeetRound(wall, floor - q.z, fillet);
    }
    d = Meet(d, q.z - open);
    if (outside) {
      const double ox = std::max(reachLow.x - q.x, q.x - reachHigh.x), oy = std::max(reachLow.y - q.y, q.y - reachHigh.y);
      d = std::max(d, std::max(ox, oy));
    }
    for (const Boss& b : bosses) {
      double side = b.plan.Signed(xy);
      double boss;
      if (b.lean != 0) {
        side = (side - (b.top - std::min(q.z, b.top)) * b.lean) / b.norm;
        boss = std::max(side, q.z - b.top);
      } else {
        boss = Meet(side, q.z - b.top);
      }
      d = std::max(d, -boss);
    }
    return d;
  }
};

// The volumes of slots, steps and profiles (volume/along_volume.cpp).
std::unique_ptr<FeatureVolume> SlotVolume(const Model& model, const ModelFeature& mf, const AlongFeature& f, double open,
                                          std::string& why);
std::unique_ptr<FeatureVolume> StepVolume(const Model& model, const ModelFeature& mf, const AlongFeature& f, double open,
                                          std::string& why);
std::unique_ptr<FeatureVolume> ProfileVolume(const ModelFeature& mf, const AlongFeature& f, double open, std::string& why);

}  // namespace varnholt::volume

#endif

// The removal volumes of the features, as signed distances. Each is worked out in the feature's
// own system (top at z 0, material below, the tool coming from +z) and read the way the
// generators read the feature, so that a program that machines the feature as they do takes
// exactly the volume away. Solids are plane contours swept straight, turned about an axis or
// drawn along a path, met with half-spaces; their distances combine by min and max, which keeps
// the sign and never makes a distance larger than it is.
#include "varnholt/feature_volume.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "generate.h"
#include "generate_section.h"
#include "varnholt/feature_along.h"
#include "varnholt/feature_area.h"
#include "varnholt/feature_hole.h"
#include "volume/curve_distance.h"

namespace varnholt {
namespace {

using volume::Curve2;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool Given(double v) { return !std::isnan(v); }

// The distance to where two solids meet whose surfaces stand square to each other (a wall and a
// floor): exact, the edge between them included.
double Meet(double a, double b) { return a > 0 && b > 0 ? std::hypot(a, b) : std::max(a, b); }

// The same with the inner edge rounded by r: the fillet at the foot of a wall.
double MeetRound(double a, double b, double r) {
  if (!(r > 0)) return Meet(a, b);
  const double u = a + r, v = b + r;
  return std::hypot(std::max(u, 0.0), std::max(v, 0.0)) + std::min(std::max(u, v), 0.0) - r;
}

// The material a fillet of radius r leaves in a square corner, across the corner, and how far
// from the wall its centroid lies.
double FilletArea(double r) { return r * r * (1 - kPi / 4); }
double FilletCentroid(double r) { return r * (5.0 / 6 - kPi / 4) / (1 - kPi / 4); }

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

// A placement seen in the feature's plane; only one whose axis is the feature's (up or down)
// keeps a plane contour in it.
struct Frame2 {
  Vec2 origin, x{1, 0}, y{0, 1};
  bool mirrored = false;
  Vec2 Apply(const Vec2& p) const { return Add(origin, Add(Mul(x, p.x), Mul(y, p.y))); }
  Frame2 Then(const Frame2& outer) const {
    Frame2 f;
    f.origin = outer.Apply(origin);
    f.x = Sub(outer.Apply(x), outer.origin);
    f.y = Sub(outer.Apply(y), outer.origin);
    f.mirrored = mirrored != outer.mirrored;
    return f;
  }
};

bool PlaneFrame(bool given, bool read, const Placement& p, const std::string& what, Frame2& out, std::string& why) {
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

Contour2 Placed(const Contour2& c, const Frame2& f) {
  Contour2 out;
  out.closed = c.closed;
  out.start = f.Apply(c.start);
  for (Segment2 s : c.segments) {
    s.to = f.Apply(s.to);
    s.center = f.Apply(s.center);
    if (f.mirrored) s.clockwise = !s.clockwise;
    out.segments.push_back(s);
  }
  return out;
}

// A closed area profile with its convex corners rounded by `corner`, in the coordinates of what
// holds it (through `frame`). `rect` gets the sizes of a rectangle or a circle, for the volume.
struct RectSizes {
  bool given = false;
  double length = 0, width = 0, radius = 0;
};

bool ClosedProfile(const AreaProfile& profile, const Frame2& frame, double corner, Contour2& out, RectSizes& rect,
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

// --- faces and pockets -------------------------------------------------------------------

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

// The material a fillet of radius rf leaves along the foot of the walls of a rounded rectangle
// (a circle where the radius is half of both sides): the fillet's height over each distance w
// from the wall times the length of the outline that far in.
double FilletVolume(const RectSizes& r, double rf) {
  if (!(rf > 0)) return 0;
  const double L = r.length, W = r.width, rc = r.radius;
  auto g0 = [rf](double t) { return rf * t - (t * std::sqrt(std::max(0.0, rf * rf - t * t)) + rf * rf * std::asin(std::clamp(t / rf, -1.0, 1.0))) / 2; };
  auto g1 = [rf](double t) { return rf * t * t / 2 + std::pow(std::max(0.0, rf * rf - t * t), 1.5) / 3; };
  // Over w in [w0, w1], where the outline's length is alpha + beta·w; t = rf - w.
  auto part = [&](double w0, double w1, double alpha, double beta) {
    if (!(w1 > w0)) return 0.0;
    const double t0 = rf - w1, t1 = rf - w0;
    return (alpha + beta * rf) * (g0(t1) - g0(t0)) - beta * (g1(t1) - g1(t0));
  };
  const double round = std::min(rc, rf);
  return part(0, round, 2 * L + 2 * W - (8 - 2 * kPi) * rc, -2 * kPi) + part(round, rf, 2 * L + 2 * W, -8);
}

std::unique_ptr<FeatureVolume> AreaVolume(const ModelFeature& mf, const AreaFeature& f, double open, std::string& why) {
  auto solid = std::make_unique<AreaSolid>();
  AreaSolid& s = *solid;
  s.open = open;
  if (!f.hasDepth) return why = "the feature's depth is not a plane that can be read", nullptr;
  if (std::fabs(std::fabs(f.depth.axis[2].z) - 1) > 1e-9) return why = "the feature's depth plane is tilted", nullptr;
  const double depth = f.depth.origin.z;
  if (!(depth < -1e-9)) return why = "the feature's depth is not below its top", nullptr;
  s.floor = depth;
  Contour2 outline;
  RectSizes rect;
  bool through = false;
  double lean = 0;
  if (f.kind == AreaFeature::Face) {
    if (f.boundary.kind != AreaProfile::Unset) {
      if (!ClosedProfile(f.boundary, Frame2{}, 0, outline, rect, why)) return nullptr;
    } else {
      // Along the course of travel, as wide as the removal boundary, to the side the
      // generator takes.
      const double distance = f.travel.distance, width = f.removalWidth;
      if (!f.travel.given || !(distance > 0)) return why = "the face's course of travel is unset", nullptr;
      if (!(width > 0)) return why = "the face's removal boundary is unset or not positive", nullptr;
      Frame2 frame;
      if (!PlaneFrame(f.travel.placement.given, f.travel.placement.read, f.travel.placement.placement, "path's placement",
                      frame, why))
        return nullptr;
      const Vec3& dir = f.travel.direction;
      const Vec2 a = frame.Apply({0, 0}), b = frame.Apply({dir.x * distance, dir.y * distance});
      const Vec2 along = Sub(b, a);
      if (Length(along) < 1e-9) return why = "the face's course of travel does not lie in its plane", nullptr;
      const Vec2 across = std::fabs(along.x) > std::fabs(along.y) ? Vec2{0, width} : Vec2{width, 0};
      outline.start = a;
      for (const Vec2& p : {b, Add(b, across), Add(a, across), a}) outline.segments.push_back({p, false, {}, false});
      outline.closed = true;
      if (std::fabs(Dot(along, across)) < 1e-9) {
        rect.given = true;
        rect.length = Length(along);
        rect.width = width;
      }
    }
  } else {
    using Bottom = AreaFeature::Bottom;
    if (f.bottom.kind == Bottom::Other) return why = "a pocket bottom of kind " + f.bottom.type + " has no volume here", nullptr;
    through = f.bottom.kind == Bottom::Through;
    const double corner = Given(f.orthogonalRadius) ? f.orthogonalRadius : 0;
    if (corner < 0) return why = "the pocket's corner radius is negative", nullptr;
    const double fillet = Given(f.planarRadius) ? f.planarRadius : 0;
    if (fillet < 0) return why = "the pocket's floor radius is negative", nullptr;
    if (Given(f.slope) && std::fabs(f.slope) > 1e-12) {
      const double a = machining_detail::PlaneAngle(f.slope);
      if (!(std::fabs(a) < kPi / 2 - 1e-6)) return why = "the pocket's wall slope is not below a right angle", nullptr;
      lean = std::tan(a);
    }
    s.fillet = through ? 0 : fillet;
    if (f.kind == AreaFeature::OpenPocket) {
      const AreaProfile& p = f.openBoundary;
      if (p.kind == AreaProfile::Unset) return why = "the open pocket's boundary is unset", nullptr;
      if (p.kind != AreaProfile::General)
        return why = "an open boundary of kind " + p.type + " does not say how far its sides reach", nullptr;
      Frame2 own;
      if (!PlaneFrame(p.placement.given, p.placement.read, p.placement.placement, "profile's placement", own, why))
        return nullptr;
      if (!p.curveRead) return why = "the open boundary cannot be read: " + p.why, nullptr;
      if (p.curve.closed) return why = "the open pocket's boundary is closed: it has no open side", nullptr;
      // The walls closed across the open side, then carried `open` out beyond it.
      Contour2 walls = Placed(p.curve, own);
      Contour2 closed = walls;
      closed.segments.push_back({walls.start, false, {}, false});
      if (volume::SignedArea(closed) < 0) walls = Reversed(walls);
      const Vec2 a = walls.start, b = walls.segments.back().to;
      if (Distance(a, b) < 1e-9) return why = "the open boundary encloses nothing", nullptr;
      const Vec2 back = Sub(a, b), out = Unit(Vec2{back.y, -back.x});
      const size_t wallCount = walls.segments.size();
      walls.segments.push_back({Add(b, Mul(out, open)), false, {}, false});
      walls.segments.push_back({Add(a, Mul(out, open)), false, {}, false});
      walls.segments.push_back({a, false, {}, false});
      walls.closed = true;
      outline = volume::RoundConvexCorners(walls, corner, wallCount);
    } else if (!ClosedProfile(f.boundary, Frame2{}, corner, outline, rect, why)) {
      return nullptr;
    }
  }
  if (!s.plan.Build(outline, why)) return why = "the boundary: " + why, nullptr;
  s.lean = lean;
  s.norm = std::sqrt(1 + lean * lean);
  if (through) s.floor = depth - open;
  double smallest = std::min({s.plan.high.x - s.plan.low.x, s.plan.high.y - s.plan.low.y, -depth});
  if (!f.islands.empty() && !f.placed) return why = "the feature's placement cannot be read", nullptr;
  for (const AreaIsland& island : f.islands) {
    if (!island.given) return why = "an island is unset", nullptr;
    if (!island.placed) return why = "an island's placement cannot be read", nullptr;
    const Placement& p = island.placement;
    if (std::fabs(std::fabs(p.axis[2].z) - 1) > 1e-9) return why = "an island stands tilted in the feature", nullptr;
    Frame2 frame{{p.origin.x, p.origin.y}, {p.axis[0].x, p.axis[0].y}, {p.axis[1].x, p.axis[1].y}, p.axis[2].z < 0};
    Contour2 c;
    RectSizes unused;
    if (!ClosedProfile(island.boundary, frame, 0, c, unused, why)) return why = "an island's " + why, nullptr;
    Boss boss;
    if (!boss.plan.Build(c, why)) return why = "an island's boundary: " + why, nullptr;
    boss.top = p.origin.z;
    if (Given(island.slope) && std::fabs(island.slope) > 1e-12) {
      const double a = machining_detail::PlaneAngle(island.slope);
      if (!(std::fabs(a) < kPi / 2 - 1e-6)) return why = "an island's slope is not below a right angle", nullptr;
      boss.lean = std::tan(a);
      boss.norm = std::sqrt(1 + boss.lean * boss.lean);
    }
    smallest = std::min({smallest, boss.plan.high.x - boss.plan.low.x, boss.plan.high.y - boss.plan.low.y});
    s.bosses.push_back(std::move(boss));
  }
  // Worked out where the walls stand upright and nothing stands in the area.
  if (rect.given && lean == 0 && s.bosses.empty()) {
    const double area = rect.length * rect.width - (4 - kPi) * rect.radius * rect.radius;
    if (through)
      s.exact_ = area * (open - depth);
    else if (s.fillet <= std::min({rect.length / 2, rect.width / 2, -depth}))
      s.exact_ = area * -depth - FilletVolume(rect, s.fillet);
  }
  s.Place(mf.placement, {s.plan.low.x, s.plan.low.y, s.floor}, {s.plan.high.x, s.plan.high.y, open}, smallest);
  return solid;
}

// --- round holes --------------------------------------------------------------------------

// A contour in the plane through the axis (x the distance from it, y the height), symmetric,
// turned about the axis.
class TurnedSolid : public Solid {
 public:
  Curve2 profile;

 protected:
  double Local(const Vec3& q) const override { return profile.Signed({std::hypot(q.x, q.y), q.z}); }
};

std::unique_ptr<FeatureVolume> HoleVolume(const ModelFeature& mf, const HoleFeature& f, double open, std::string& why) {
  using machining_detail::PlaneAngle;
  const double d = f.diameter;
  if (!(d > 0)) return why = "the hole's diameter is unset or not positive", nullptr;
  if (std::isnan(f.depth)) return why = "the hole's depth plane is unset", nullptr;
  const double zb = f.depth, R = d / 2;
  if (!(zb < -1e-9)) return why = "the hole's depth plane does not lie below its top", nullptr;
  double rb = R;
  switch (f.taper.kind) {
    case HoleFeature::Taper::None: break;
    case HoleFeature::Taper::Diameter: rb = f.taper.finalDiameter / 2; break;
    case HoleFeature::Taper::Angle: {
      const double a = std::fabs(PlaneAngle(f.taper.angle));
      if (!(a < kPi / 2)) return why = "the hole's taper angle is not below a right angle", nullptr;
      rb = R + zb * std::tan(a);
      if (!(rb > 0)) return why = "the hole's taper closes before its depth", nullptr;
      break;
    }
    case HoleFeature::Taper::Unread: return why = "the hole's change in diameter is of a kind or with sizes not read", nullptr;
  }
  // The right half from the top down, the bottom from right to left, the left half back up.
  Contour2 c;
  c.closed = true;
  c.start = {R, open};
  auto line = [&](double x, double y) { c.segments.push_back({{x, y}, false, {}, false}); };
  auto arc = [&](double x, double y, double cx, double cy) { c.segments.push_back({{x, y}, true, {cx, cy}, true}); };
  line(R, 0);
  const double wall = kPi * -zb * (R * R + R * rb + rb * rb) / 3;  // the cylinder or frustum
  double exact = kNaN;
  const HoleFeature::Bottom& b = f.bottom;
  switch (b.kind) {
    case HoleFeature::Bottom::Unset: return why = "the hole's bottom condition is unset", nullptr;
    case HoleFeature::Bottom::Through:
      line(rb, zb);
      line(rb, zb - open);
      line(-rb, zb - open);
      line(-rb, zb);
      exact = wall + kPi * rb * rb * open;
      break;
    case HoleFeature::Bottom::Flat:
      line(rb, zb);
      line(-rb, zb);
      exact = wall;
      break;
    case HoleFeature::Bottom::FlatWithRadius: {
      const double rc = b.cornerRadius;
      if (!(rc >= 0) || rc > rb) return why = "the hole bottom's corner radius is unset or larger than the hole", nullptr;
      if (rc > 0) {
        // The generator rounds from an upright tangent: over a tapered wall a small step.
        line(R + (rb - R) * (zb + rc) / zb, zb + rc);
        line(rb, zb + rc);
        arc(rb - rc, zb, rb - rc, zb + rc);
        line(-(rb - rc), zb);
        arc(-rb, zb + rc, -(rb - rc), zb + rc);
        line(-(R + (rb - R) * (zb + rc) / zb), zb + rc);
      } else {
        line(rb, zb);
        line(-rb, zb);
      }
      if (rb == R) exact = wall - 2 * kPi * FilletArea(rc) * (rb - FilletCentroid(rc));
      break;
    }
    case HoleFeature::Bottom::Conical: {
      if (std::isnan(b.tipAngle)) return why = "the conical hole bottom's tip angle is unset", nullptr;
      const double half = PlaneAngle(b.tipAngle) / 2;
      if (!(half > 1e-6 && half < kPi / 2)) return why = "the conical hole bottom's tip angle is not between 0 and 180 degrees", nullptr;
      const double slope = 1 / std::tan(half);
      const double apex = zb - rb * slope;
      const double tip = b.tipRadius > 0 ? b.tipRadius : 0;
      const double centre = apex + tip / std::sin(half), touch = tip * std::cos(half);
      if (touch > rb) return why = "the conical hole bottom's tip radius is larger than the hole", nullptr;
      line(rb, zb);
      if (tip > 0) {
        line(touch, apex + touch * slope);
        arc(-touch, apex + touch * slope, 0, centre);
      } else {
        line(0, apex);
        exact = wall + kPi * rb * rb * (rb * slope) / 3;
      }
      line(-rb, zb);
      break;
    }
    case HoleFeature::Bottom::Spherical: {
      const double v = b.radius;
      if (!(v > 0)) return why = "the spherical hole bottom's radius is unset", nullptr;
      if (v < rb - 1e-9) return why = "the spherical hole bottom's radius is smaller than the hole's", nullptr;
      const double rs = std::max(v, rb);
      const double centre = zb + std::sqrt(std::max(0.0, rs * rs - rb * rb));
      line(rb, zb);
      arc(-rb, zb, 0, centre);
      const double h = rs - (centre - zb);
      exact = wall + kPi * h * h * (3 * rs - h) / 3;
      break;
    }
    case HoleFeature::Bottom::Other: return why = "a hole bottom of kind " + b.type + " has no volume here", nullptr;
  }
  line(-R, 0);
  line(-R, open);
  line(R, open);
  auto solid = std::make_unique<TurnedSolid>();
  if (!solid->profile.Build(c, why)) return why = "the hole's outline: " + why, nullptr;
  solid->exact_ = exact;
  const double r = std::max(R, rb), low = solid->profile.low.y;
  solid->Place(mf.placement, {-r, -r, low}, {r, r, open}, std::min(2 * rb, -zb));
  return solid;
}

// --- slots, steps and profiles -------------------------------------------------------------

// An end of a slot cut square across its path: beyond it the slot is its cross-section drawn
// on straight, met by the end's plane, its corners in plan rounded by `corner`.
struct EndCut {
  Vec2 at, out, across;  // the end, the way out of the slot there, across it
  double corner = 0, half = 0;
  bool straight = true;  // the path runs straight into the end: the plane stands square to it
};

// A cross-section (x across, y up; symmetric) drawn along a plane path, round about the path's
// ends except where they are cut square.
class SweptSolid : public Solid {
 public:
  Curve2 path, section;
  EndCut cuts[2];
  int cutCount = 0;

 protected:
  double Local(const Vec3& q) const override {
    const Vec2 xy{q.x, q.y};
    for (int k = 0; k < cutCount; ++k) {
      const EndCut& c = cuts[k];
      const Vec2 v = Sub(xy, c.at);
      const double e = Dot(v, c.out);
      if (e <= (c.corner > 0 ? -c.corner : 0)) continue;
      const double side = std::fabs(Dot(v, c.across));
      const double d = section.Signed({side, q.z});
      if (c.corner > 0) {
        const double u = e + c.corner, w = side - c.half + c.corner;
        const double plan = std::hypot(std::max(u, 0.0), std::max(w, 0.0)) + std::min(std::max(u, w), 0.0) - c.corner;
        return std::max(d, plan);
      }
      return c.straight ? Meet(d, e) : std::max(d, e);
    }
    return section.Signed({path.Unsigned(xy), q.z});
  }
};

Vec2 StartTangent(const Contour2& c) {
  const Segment2& s = c.segments.front();
  if (!s.arc) return Unit(Sub(s.to, c.start));
  const Vec2 r = Sub(c.start, s.center);
  return Unit(s.clockwise ? Vec2{r.y, -r.x} : Vec2{-r.y, r.x});
}
Vec2 EndTangent(const Contour2& c) {
  const Segment2& s = c.segments.back();
  const Vec2 from = c.segments.size() > 1 ? c.segments[c.segments.size() - 2].to : c.start;
  if (!s.arc) return Unit(Sub(s.to, from));
  const Vec2 r = Sub(s.to, s.center);
  return Unit(s.clockwise ? Vec2{r.y, -r.x} : Vec2{-r.y, r.x});
}

// A slot's cross-section as the generator reads it: the contour from the top of one wall down
// round the floor and up the other, carried `open` above the top; its half width at the top and
// its area and turned volume below the top where they have a closed form.
struct Section {
  Contour2 contour;
  double half = 0;
  double area = kNaN, turned = kNaN;  // turned: the half section swept once about the axis
};

bool SlotSection(const AlongShape& shape, double depth, bool hasDepth, double open, Section& out, std::string& why) {
  using machining_detail::PlaneAngle;
  if (shape.kind == AlongShape::Unset) return why = "the slot's swept shape is unset", false;
  const bool deep = hasDepth && depth < -1e-9;
  const char* noDepth = "the slot's depth plane is unset or does not lie below its top";
  Contour2& c = out.contour;
  c.closed = true;
  auto line = [&](double x, double y) { c.segments.push_back({{x, y}, false, {}, false}); };
  auto arc = [&](double x, double y, double cx, double cy) { c.segments.push_back({{x, y}, true, {cx, cy}, true}); };
  const double w = shape.width, D = -depth;
  double h = 0;
  if (shape.kind == AlongShape::SquareU) {
    if (!(w > 0)) return why = "the square U profile's width is unset", false;
    if (!deep) return why = noDepth, false;
    h = w / 2;
    const double r1 = shape.firstRadius > 0 ? shape.firstRadius : 0, r2 = shape.secondRadius > 0 ? shape.secondRadius : 0;
    const double rc = std::min({std::max(r1, r2), h, D});
    c.start = {h, open};
    line(h, depth + rc);
    if (rc > 0) arc(h - rc, depth, h - rc, depth + rc);
    if (h - rc > 0) line(-(h - rc), depth);
    if (rc > 0) arc(-h, depth + rc, -(h - rc), depth + rc);
    out.area = w * D - 2 * FilletArea(rc);
    out.turned = 2 * kPi * (h * h * D / 2 - FilletArea(rc) * (h - FilletCentroid(rc)));
  } else if (shape.kind == AlongShape::RoundedU) {
    if (!(w > 0)) return why = "the rounded U profile's width is unset", false;
    if (!deep) return why = noDepth, false;
    h = w / 2;
    c.start = {h, open};
    if (D >= h) {
      line(h, depth + h);
      arc(-h, depth + h, 0, depth + h);
      out.area = w * (D - h) + kPi * h * h / 2;
      out.turned = kPi * h * h * (D - h) + 2 * kPi * h * h * h / 3;
    } else {
      // Shallower than its round: the round cut off by the top.
      const double e = std::sqrt(h * h - (h - D) * (h - D));
      line(h, 0);
      line(e, 0);
      arc(-e, 0, 0, depth + h);
      line(-h, 0);
    }
  } else if (shape.kind == AlongShape::Vee) {
    const double radius = shape.profileRadius > 0 ? shape.profileRadius : 0;
    if (std::isnan(shape.angle)) return why = "the vee profile's angle is unset", false;
    if (!std::isnan(shape.tilt) && std::fabs(PlaneAngle(shape.tilt)) > 1e-6)
      return why = "a tilted vee profile has no volume here", false;
    if (!deep) return why = noDepth, false;
    const double halfAngle = PlaneAngle(shape.angle) / 2;
    if (!(halfAngle > 1e-6 && halfAngle < kPi / 2 - 1e-6)) return why = "the vee profile's angle is not between 0 and 180 degrees", false;
    const double m = 1 / std::tan(halfAngle);
    const double centre = depth + radius, apex = centre - radius * std::sqrt(1 + m * m);
    const double touch = radius * m / std::sqrt(1 + m * m);
    h = -apex / m;
    c.start = {h, open};
    line(h, 0);
    if (radius > 0) {
      line(touch, apex + m * touch);
      arc(-touch, apex + m * touch, 0, centre);
    } else {
      line(0, apex);
    }
    line(-h, 0);
  } else if (shape.kind == AlongShape::PartialCircular) {
    const double a = shape.radius;
    if (!(a > 0) || std::isnan(shape.sweep)) return why = "the partial circular profile's radius or sweep angle is unset", false;
    double centre = depth + a;
    if (shape.placement.read)
      centre = shape.placement.placement.origin.z;
    else if (!deep)
      return why = noDepth, false;
    const double sweep = std::fabs(PlaneAngle(shape.sweep));
    const double e = a * std::sin(std::min(sweep / 2, kPi / 2));
    if (!(centre - a < -1e-9)) return why = "the partial circular profile does not reach below the slot's top", false;
    double ze = centre - std::sqrt(std::max(0.0, a * a - e * e));
    if (ze > 0) {
      // Its ends stand above the top: the arc is cut off there, as the generator's floor is.
      const double u0 = std::sqrt(std::max(0.0, a * a - centre * centre));
      h = u0;
      c.start = {u0, open};
      line(u0, 0);
      arc(-u0, 0, 0, centre);
      line(-h, open);
      line(h, open);
      out.half = h;
      return true;
    }
    h = e;
    c.start = {e, open};
    line(e, ze);
    arc(-e, ze, 0, centre);
    auto root = [a](double u) { return std::sqrt(std::max(0.0, a * a - u * u)); };
    out.area = -2 * e * centre + (e * root(e) + a * a * std::asin(std::clamp(e / a, -1.0, 1.0)));
    out.turned = -kPi * e * e * centre + 2 * kPi * (a * a * a - std::pow(root(e), 3)) / 3;
  } else {
    return why = "a slot of swept shape " + shape.type + " has no volume here", false;
  }
  line(-h, open);
  line(h, open);
  out.half = h;
  return true;
}

std::unique_ptr<FeatureVolume> SlotVolume(const Model& model, const ModelFeature& mf, const AlongFeature& f, double open,
                                          std::string& why) {
  const ModelOperation none;
  std::vector<Move> moves;
  machining_detail::StepJob job(mf, none, moves);
  Contour2 course;
  if (!machining_detail::AlongCourse(job, course)) return why = job.reason, nullptr;
  if (course.segments.empty()) return why = "the slot's path has no length", nullptr;
  Section section;
  if (!SlotSection(f.shape, f.depth, f.hasDepth, open, section, why)) return nullptr;
  auto solid = std::make_unique<SweptSolid>();
  SweptSolid& s = *solid;
  // Its ends: an open one (outside the stock) carries the slot `open` further on; a flat one,
  // and an open one inside the stock, which the generator cuts as closed, cut it square at the
  // path's end; a radiused, a loop or an unset one leaves it round about the end.
  double extra = 0;
  int round = 0, flat = 0;
  bool flatCorners = false;
  const std::vector<OpenEndInStock> inStock = OpenEndsInStock(mf, StockOfFeature(model, mf));
  Contour2 path = course;
  if (!course.closed) {
    for (int k = 0; k < 2; ++k) {
      const AlongEnd e = k < static_cast<int>(f.ends.size()) ? f.ends[k] : AlongEnd{};
      const bool start = k == 0;
      bool stocked = false;
      for (const OpenEndInStock& o : inStock) stocked = stocked || o.start == start;
      const Vec2 at = start ? course.start : course.segments.back().to;
      const Vec2 out = start ? Mul(StartTangent(course), -1) : EndTangent(course);
      if (e.kind == AlongEnd::Open && !stocked) {
        extra += open;
        if (start) {
          Contour2 longer;
          longer.start = Add(at, Mul(out, open));
          longer.segments.push_back({at, false, {}, false});
          for (const Segment2& seg : path.segments) longer.segments.push_back(seg);
          path = longer;
        } else {
          path.segments.push_back({Add(at, Mul(out, open)), false, {}, false});
        }
      } else if (e.kind == AlongEnd::Flat || e.kind == AlongEnd::Open) {
        EndCut& cut = s.cuts[s.cutCount++];
        cut.at = at;
        cut.out = out;
        cut.across = Left(out);
        cut.half = section.half;
        if (e.kind == AlongEnd::Flat) {
          const double c1 = e.corner1 > 0 ? e.corner1 : 0, c2 = e.corner2 > 0 ? e.corner2 : 0;
          cut.corner = std::min(std::max(c1, c2), section.half);
        }
        const Segment2& seg = start ? course.segments.front() : course.segments.back();
        cut.straight = !seg.arc;
        flatCorners = flatCorners || cut.corner > 0;
        ++flat;
      } else if (e.kind == AlongEnd::Other) {
        return why = "a slot end of kind " + e.type + " has no volume here", nullptr;
      } else {
        ++round;
      }
    }
  }
  if (!s.path.Build(path, why)) return why = "the slot's path: " + why, nullptr;
  if (!s.section.Build(section.contour, why)) return why = "the slot's cross-section: " + why, nullptr;
  if (course.segments.size() == 1 && !course.segments[0].arc && !flatCorners && Given(section.area)) {
    const double length = Distance(course.start, course.segments[0].to);
    s.exact_ = section.area * (length + extra) + round * section.turned / 2;
  }
  const double h = section.half;
  s.Place(mf.placement, {s.path.low.x - h, s.path.low.y - h, s.section.low.y}, {s.path.high.x + h, s.path.high.y + h, open},
          std::min(2 * h, -s.section.low.y));
  return solid;
}

// The material between a step's wall and the workpiece's side: upright wall with a fillet at
// its foot, open along its boundary's ends and out past the side.
class StepSolid : public Solid {
 public:
  Vec2 at, along, toCut;
  double from = 0, to = 0, reach = 0, depth = 0, foot = 0, open = 0;

 protected:
  double Local(const Vec3& q) const override {
    const Vec2 v = Sub({q.x, q.y}, at);
    const double s = Dot(v, along), w = Dot(v, toCut);
    double d = MeetRound(-w, depth - q.z, foot);
    d = Meet(d, q.z - open);
    d = Meet(d, std::max(from - s, s - to));
    return Meet(d, w - reach);
  }
};

// How far from a point of the feature's plane (at height z) the block ends along a direction.
double BlockExit(const AlongBlock& b, const Vec2& from, const Vec2& direction, double z) {
  const Vec3 p = b.feature.Apply({from.x, from.y, z});
  const Vec3 q = b.feature.Apply({from.x + direction.x, from.y + direction.y, z});
  const Vec3 d = Sub(q, p);
  double exit = std::numeric_limits<double>::infinity();
  for (int k = 0; k < 3; ++k) {
    const Vec3& a = b.position.axis[k];
    const double at = Dot(a, Sub(p, b.position.origin)), along = Dot(a, d);
    if (std::fabs(along) < 1e-12) continue;
    exit = std::min(exit, along > 0 ? (b.size[k] - at) / along : -at / along);
  }
  return std::max(0.0, exit);
}

std::unique_ptr<FeatureVolume> StepVolume(const Model& model, const ModelFeature& mf, const AlongFeature& f, double open,
                                          std::string& why) {
  using machining_detail::PlaneAngle;
  const double depth = f.depth;
  if (!f.hasDepth || !(depth < -1e-9)) return why = "the step's depth plane is unset or does not lie below its top", nullptr;
  const ModelOperation none;
  std::vector<Move> moves;
  machining_detail::StepJob job(mf, none, moves);
  Contour2 edge;
  if (!machining_detail::AlongCourse(job, edge)) return why = job.reason, nullptr;
  if (edge.segments.size() != 1 || edge.segments.front().arc) return why = "the step's open boundary is not a straight line", nullptr;
  double foot = 0;
  if (const AlongShape& wall = f.wall; wall.kind != AlongShape::Unset) {
    if (wall.kind != AlongShape::Vee || std::isnan(wall.angle) || std::isnan(wall.tilt))
      return why = "the step's wall boundary cannot be read", nullptr;
    if (std::fabs(PlaneAngle(wall.angle) - kPi / 2) > 1e-6 || std::fabs(PlaneAngle(wall.tilt) - kPi / 2) > 1e-6)
      return why = "a step whose wall is not upright has no volume here", nullptr;
    foot = wall.profileRadius > 0 ? wall.profileRadius : 0;
  }
  const AlongBlock& b = f.block;
  if (!b.given || !(b.size[0] > 0 && b.size[1] > 0 && b.size[2] > 0))
    return why = "the step's width is given neither by the feature nor by a block of its workpiece", nullptr;
  const Vec2 a = edge.start, e = edge.segments.front().to;
  const double length = Distance(a, e);
  if (length < 1e-9) return why = "the step's open boundary has no length", nullptr;
  const Vec2 along = Mul(Sub(e, a), 1 / length), left = Left(along);
  const double z = depth / 2;
  const double leftWidth = std::max(BlockExit(b, a, left, z), BlockExit(b, e, left, z));
  const double rightWidth = std::max(BlockExit(b, a, Mul(left, -1), z), BlockExit(b, e, Mul(left, -1), z));
  if (std::fabs(leftWidth - rightWidth) < 1e-9) return why = "the step's boundary does not say which side is cut away", nullptr;
  const bool cutLeft = leftWidth < rightWidth;
  const double width = std::min(leftWidth, rightWidth);
  if (!(width > 1e-9)) return why = "the step's boundary lies on the workpiece's edge", nullptr;
  auto solid = std::make_unique<StepSolid>();
  StepSolid& s = *solid;
  s.at = a;
  s.along = along;
  s.toCut = cutLeft ? left : Mul(left, -1);
  s.depth = depth;
  s.foot = foot;
  s.open = open;
  s.reach = width + open;
  s.from = -open;
  s.to = length + open;
  for (const OpenEndInStock& o : OpenEndsInStock(mf, StockOfFeature(model, mf))) (o.start ? s.from : s.to) = o.start ? 0 : length;
  Box box;
  for (double t : {s.from, s.to})
    for (double w : {0.0, s.reach}) {
      const Vec2 p = Add(a, Add(Mul(along, t), Mul(s.toCut, w)));
      box.Add({p.x, p.y, depth});
    }
  if (foot == 0 && s.from == 0 && s.to == length) s.exact_ = length * width * -depth;
  s.Place(mf.placement, box.low, {box.high.x, box.high.y, open}, std::min(width, -depth));
  return solid;
}

std::unique_ptr<FeatureVolume> ProfileVolume(const ModelFeature& mf, const AlongFeature& f, double open, std::string& why) {
  if (f.kind != AlongFeature::OutsideProfile && f.kind != AlongFeature::ShapeProfile)
    return why = "a profile feature of kind " + mf.type + " has no volume here", nullptr;
  const ModelOperation none;
  std::vector<Move> moves;
  machining_detail::StepJob job(mf, none, moves);
  Contour2 boundary;
  if (!machining_detail::AlongCourse(job, boundary)) return why = job.reason, nullptr;
  if (!boundary.closed)
    return why = "an open profile does not say how far the material it removes reaches", nullptr;
  double depth = f.depth;
  if (!f.hasDepth || !(depth < -1e-9)) {
    if (!(f.sweptDepth > 0)) return why = "the profile's depth is unset", nullptr;
    depth = -f.sweptDepth;
  }
  auto solid = std::make_unique<AreaSolid>();
  AreaSolid& s = *solid;
  if (!s.plan.Build(boundary, why)) return why = "the profile: " + why, nullptr;
  // What lies around the boundary down to its depth: out to `open` beyond it.
  s.outside = true;
  s.floor = depth;
  s.open = open;
  s.reachLow = {s.plan.low.x - open, s.plan.low.y - open};
  s.reachHigh = {s.plan.high.x + open, s.plan.high.y + open};
  s.Place(mf.placement, {s.reachLow.x, s.reachLow.y, depth}, {s.reachHigh.x, s.reachHigh.y, open}, -depth);
  return solid;
}

}  // namespace

std::unique_ptr<FeatureVolume> MakeFeatureVolume(const Model& model, int index, std::string& why,
                                                 const FeatureVolumeOptions& options) {
  why.clear();
  if (index < 0 || index >= static_cast<int>(model.features.size())) {
    why = "there is no feature " + std::to_string(index);
    return nullptr;
  }
  const ModelFeature& f = model.features[index];
  if (!f.placed) {
    why = "the feature's placement cannot be read";
    return nullptr;
  }
  const double open = std::isfinite(options.open) && options.open >= 0 ? options.open : FeatureVolumeOptions{}.open;
  std::unique_ptr<FeatureVolume> out;
  std::string reason;
  if (f.area)
    out = AreaVolume(f, *f.area, open, reason);
  else if (f.hole)
    out = HoleVolume(f, *f.hole, open, reason);
  else if (f.along && f.along->kind == AlongFeature::Slot)
    out = SlotVolume(model, f, *f.along, open, reason);
  else if (f.along && f.along->kind == AlongFeature::Step)
    out = StepVolume(model, f, *f.along, open, reason);
  else if (f.along)
    out = ProfileVolume(f, *f.along, open, reason);
  else
    reason = "a feature of kind " + f.type + " is not one the milling generators read, so it has no removal volume here";
  if (!out) {
    why = reason.empty() ? "its geometry cannot be read" : reason;
    return nullptr;
  }
  out->feature = f.name;
  out->featureIndex = index;
  out->type = f.type;
  out->open = open;
  return out;
}

std::vector<std::unique_ptr<FeatureVolume>> MakeFeatureVolumes(const Model& model, std::vector<std::string>& whys,
                                                               const FeatureVolumeOptions& options) {
  std::vector<std::unique_ptr<FeatureVolume>> out;
  whys.assign(model.features.size(), std::string());
  for (size_t i = 0; i < model.features.size(); ++i)
    out.push_back(MakeFeatureVolume(model, static_cast<int>(i), whys[i], options));
  return out;
}

}  // namespace varnholt

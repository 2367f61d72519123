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

#include "volume/solid.h"

namespace varnholt {
namespace {

using namespace volume;
// --- faces and pockets -------------------------------------------------------------------

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
  double cap = 0, widest = 0;
  bool widens = false;  // wider at the bottom than at the top

 protected:
  // A hole that does not widen downwards holds, with every point, all points above it up to
  // the cap: its distance only falls upwards while the cap is further than its width.
  double FallsUpTo(const Column&) const override {
    return widens ? -std::numeric_limits<double>::infinity() : cap - 2 * widest - 1;
  }
  double Local(const Vec3& q) const override { return profile.Signed({std::sqrt(q.x * q.x + q.y * q.y), q.z}); }
  void Prepare(Column& col) const override { col.c[0] = std::sqrt(col.x * col.x + col.y * col.y); }
  double AtZ(const Column& col, double z) const override { return profile.Signed({col.c[0], z}); }
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
  solid->cap = open;
  solid->widest = r;
  solid->widens = rb > R + 1e-9;
  solid->Place(mf.placement, {-r, -r, low}, {r, r, open}, std::min(2 * rb, -zb));
  return solid;
}

}  // namespace

void FeatureVolume::Below(const Vec3& p, int axis, double lo, double hi, double level, double tol,
                          std::vector<Span>& out) const {
  const double base[3] = {p.x, p.y, p.z};
  MarchBelow(
      [&](double t) {
        double q[3] = {base[0], base[1], base[2]};
        q[axis] = t;
        return Distance({q[0], q[1], q[2]});
      },
      lo, hi, level, tol, out);
}

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

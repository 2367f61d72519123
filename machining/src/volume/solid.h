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

// The stretches of [lo, hi] where g(t) < level, for a g that changes no faster than t: steps as
// long as g's distance from the level allows (no crossing can lie within them), at least 8·tol
// (a line grazing a wall would otherwise creep along it); each crossing found within tol by
// halving the step it lies in. A dip below the level (or rise above it) narrower than 8·tol
// between two steps, and so no deeper than 4·tol, may be missed.
template <class G>
void MarchBelow(G&& g, double lo, double hi, double level, double tol, std::vector<FeatureVolume::Span>& out) {
  if (!(hi > lo)) return;
  tol = std::max(tol, 1e-9);
  double t = lo, v = g(t) - level;
  bool in = v < 0;
  double start = lo;
  while (t < hi) {
    const double next = std::min(t + std::max(std::fabs(v), 8 * tol), hi);
    const double w = g(next) - level;
    if ((w < 0) != in) {
      double a = t, b = next;
      while (b - a > tol / 2) {
        const double mid = (a + b) / 2;
        if ((g(mid) - level < 0) == in) a = mid;
        else b = mid;
      }
      const double at = (a + b) / 2;
      if (in) out.push_back({start, at});
      else start = at;
      in = !in;
    }
    t = next;
    v = w;
  }
  if (in) out.push_back({start, hi});
}

// The stretch of [lo, hi] where g(t) < level for a g that only falls or only rises over it: one
// crossing at most, found within tol by halving.
template <class G>
void MonotoneBelow(G&& g, double lo, double hi, double level, double tol, std::vector<FeatureVolume::Span>& out) {
  if (!(hi > lo)) return;
  const double gLo = g(lo) - level, gHi = g(hi) - level;
  const bool inLo = gLo < 0, inHi = gHi < 0;
  if (inLo && inHi) return out.push_back({lo, hi});
  if (!inLo && !inHi) return;
  // A few steps in from the end outside, each as long as the distance allows (a floor is met
  // at the first), then halving what is left between the last step and the other end.
  double a = lo, b = hi;
  if (inHi) {
    double v = gLo;
    for (int step = 0; step < 4 && v >= 0; ++step) {
      const double next = a + std::max(v, tol / 2);
      if (next >= b) break;
      v = g(next) - level;
      if (v < 0) b = next;
      else a = next;
    }
  } else {
    double v = gHi;
    for (int step = 0; step < 4 && v >= 0; ++step) {
      const double next = b - std::max(v, tol / 2);
      if (next <= a) break;
      v = g(next) - level;
      if (v < 0) a = next;
      else b = next;
    }
  }
  while (b - a > tol / 2) {
    const double mid = (a + b) / 2;
    if ((g(mid) < level) == inLo) a = mid;
    else b = mid;
  }
  const double at = (a + b) / 2;
  out.push_back(inLo ? FeatureVolume::Span{lo, at} : FeatureVolume::Span{at, hi});
}

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

  void Below(const Vec3& p, int axis, double lo, double hi, double level, double tol,
             std::vector<Span>& out) const final {
    // The line in the feature's system: q0 + t·dir.
    const Vec3 d = Sub(p, frame_.origin);
    const double a[3] = {frame_.axis[0].x, frame_.axis[0].y, frame_.axis[0].z};
    const double b[3] = {frame_.axis[1].x, frame_.axis[1].y, frame_.axis[1].z};
    const double c[3] = {frame_.axis[2].x, frame_.axis[2].y, frame_.axis[2].z};
    const double along = c[axis];
    if (std::fabs(a[axis]) > 1e-12 || std::fabs(b[axis]) > 1e-12 || std::fabs(std::fabs(along) - 1) > 1e-12)
      return FeatureVolume::Below(p, axis, lo, hi, level, tol, out);
    // Along the feature's axis: its place across the axis stays, only the height changes.
    const double base[3] = {p.x, p.y, p.z};
    Column col;
    col.x = Dot(frame_.axis[0], d) - a[axis] * base[axis];
    col.y = Dot(frame_.axis[1], d) - b[axis] * base[axis];
    const double z0 = Dot(frame_.axis[2], d) - along * base[axis];  // the height at t = 0
    // Nothing below the level lies further from the box than the level.
    const double ox = std::max({low_.x - col.x, col.x - high_.x, 0.0}), oy = std::max({low_.y - col.y, col.y - high_.y, 0.0});
    if (std::sqrt(ox * ox + oy * oy) >= std::max(level, 0.0) + tol) return;
    const double reach = std::max(level, 0.0) + tol;
    double zLo = low_.z - reach, zHi = high_.z + reach;
    // t for those heights, in order.
    double t0 = (zLo - z0) / along, t1 = (zHi - z0) / along;
    if (t0 > t1) std::swap(t0, t1);
    const double from = std::max(lo, t0), to = std::min(hi, t1);
    if (!(to > from)) return;
    Prepare(col);
    // Where the solid gives the heights below the level in closed form.
    double zIn = 0, zOut = 0;
    if (Heights(col, level, zIn, zOut)) {
      double t0 = (zIn - z0) / along, t1 = (zOut - z0) / along;
      if (t0 > t1) std::swap(t0, t1);
      t0 = std::max(t0, from);
      t1 = std::min(t1, to);
      if (t1 > t0) out.push_back({t0, t1});
      return;
    }
    auto g = [&](double t) { return AtZ(col, z0 + along * t); };
    // Below the height where the distance stops falling as the height grows, one crossing at
    // most: found by halving, however closely the line runs along a wall.
    const double tm = std::clamp((FallsUpTo(col) - z0) / along, from, to);
    const size_t first = out.size();
    if (along > 0) {
      MonotoneBelow(g, from, tm, level, tol, out);
      MarchBelow(g, tm, to, level, tol, out);
    } else {
      MarchBelow(g, from, tm, level, tol, out);
      MonotoneBelow(g, tm, to, level, tol, out);
    }
    // The two parts' stretches joined where they meet.
    for (size_t k = first + 1; k < out.size();)
      if (out[k].lo <= out[k - 1].hi) {
        out[k - 1].hi = std::max(out[k - 1].hi, out[k].hi);
        out.erase(out.begin() + static_cast<std::ptrdiff_t>(k));
      } else {
        ++k;
      }
  }

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
  // The box's larger side across the axis: no point lies deeper than that inside the walls.
  double Across() const { return std::max(high_.x - low_.x, high_.y - low_.y); }
  virtual double Local(const Vec3& q) const = 0;
  // A line along the feature's axis at (x, y): what a solid works out for it once (Prepare),
  // then its distance at a height (AtZ). Without them, Local at every height.
  struct Column {
    double x = 0, y = 0;
    double c[6] = {0, 0, 0, 0, 0, 0};
    int n = -1;
  };
  virtual void Prepare(Column&) const {}
  // Up to which height the distance along the column only falls as the height grows (or stays):
  // a solid open upwards, its walls upright or leaning in, far enough below where it is capped.
  virtual double FallsUpTo(const Column&) const { return -std::numeric_limits<double>::infinity(); }
  virtual double AtZ(const Column& col, double z) const { return Local({col.x, col.y, z}); }
  // The one stretch of heights (zIn, zOut) where the distance along the column is below the
  // level, where the solid can say it exactly (zIn >= zOut for none); false where it cannot.
  virtual bool Heights(const Column&, double, double&, double&) const { return false; }

 private:
  Placement frame_;
  Vec3 low_, high_;
  double margin_ = 0;
};

// --- plane frames and profiles -----------------------------------------------------------

// The generators' frames of plane profiles: the volumes place their contours as they do.
using machining_detail::Frame2;
using machining_detail::Placed;
using machining_detail::PlaneFrame;


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
  // The walls' distance (and how far outside the reach an outside profile is) stays along the
  // axis; so does each boss's side, for up to four bosses.
  void Prepare(Column& col) const override {
    if (bosses.size() > 4) return;
    const Vec2 xy{col.x, col.y};
    if (outside) {
      const double ox = std::max(reachLow.x - col.x, col.x - reachHigh.x), oy = std::max(reachLow.y - col.y, col.y - reachHigh.y);
      col.c[1] = std::max(ox, oy);
    }
    // Well within upright walls (beyond their fillet), as the last column asked showed: the
    // stretch below a level deeper than the walls' distance does not depend on how far within.
    // Kept as a bound (n = 2), for Heights; worked out where it does not do.
    if (lean == 0 && bosses.empty()) {
      const double bound = outside ? -plan.SignedAtLeast(xy) : plan.SignedAtMost(xy);
      if (bound <= -std::max(fillet, 0.0)) {
        col.c[0] = bound;
        col.n = 2;
        return;
      }
    }
    col.c[0] = outside ? -plan.Signed(xy) : plan.Signed(xy);
    for (size_t k = 0; k < bosses.size(); ++k) col.c[2 + k] = bosses[k].plan.Signed(xy);
    col.n = 1;
  }
  // The walls and floor only fall away upwards, the bosses' sides too, where nothing leans
  // outwards. The cap `open` above matters only where it is nearer than the floor (the
  // distance inside is never below floor - z) and than the walls (never further than the
  // box's side).
  double FallsUpTo(const Column&) const override {
    if (lean < 0) return -std::numeric_limits<double>::infinity();
    for (const Boss& b : bosses)
      if (b.lean < 0) return -std::numeric_limits<double>::infinity();
    return std::max((open + floor) / 2, open - Across() - fillet) - 1e-6;
  }
  // Upright walls and a floor with its fillet, capped at `open`, no bosses: in closed form.
  // Below the cap the distance is MeetRound(wall, floor - z, fillet), which only falls as z
  // grows; it is below the level above one height. Above the cap (a level above 0) it is the
  // walls' distance met with z - open, the walls' standing at least fillet above the floor.
  bool Heights(const Column& col, double level, double& zIn, double& zOut) const override {
    if (col.n < 0 || lean != 0 || !bosses.empty()) return false;
    const double r = std::max(fillet, 0.0);
    if (level > 0 && open < floor + r) return false;
    zIn = zOut = 0;
    if (outside && !(col.c[1] < level)) return true;
    if (col.n == 2 && col.c[0] < level) {
      zIn = floor - level;
      zOut = open + level;
      return true;
    }
    double wall = col.c[0];
    if (col.n == 2) wall = outside ? -plan.Signed({col.x, col.y}) : plan.Signed({col.x, col.y});
    const double u = wall + r, t = level + r;
    if (!(u < t)) return true;
    const double v = u <= 0 ? t : std::sqrt(t * t - u * u);
    zIn = floor + r - v;
    zOut = level <= 0 ? open + level : wall <= 0 ? open + level : open + std::sqrt(level * level - wall * wall);
    return true;
  }
  double AtZ(const Column& col, double z) const override {
    if (col.n != 1) return Local({col.x, col.y, z});
    double wall = col.c[0];
    double d;
    if (lean != 0) {
      wall = (wall - std::min(z, 0.0) * lean) / norm;
      d = std::max(wall, floor - z);
    } else {
      d = MeetRound(wall, floor - z, fillet);
    }
    d = Meet(d, z - open);
    if (outside) d = std::max(d, col.c[1]);
    for (size_t k = 0; k < bosses.size(); ++k) {
      const Boss& b = bosses[k];
      double side = col.c[2 + k];
      double boss;
      if (b.lean != 0) {
        side = (side - (b.top - std::min(z, b.top)) * b.lean) / b.norm;
        boss = std::max(side, z - b.top);
      } else {
        boss = Meet(side, z - b.top);
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

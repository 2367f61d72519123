// The removal volumes of slots, steps and profiles: a cross-section drawn along the path the
// along generator follows, with the ends the feature gives, and a step's wall out to the block.
#include <algorithm>
#include <cmath>
#include <limits>

#include "solid.h"

namespace varnholt::volume {
namespace {

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
  double cap = 0, half = 0;  // the section's top (`open`) and half width there

 protected:
  // A point is its column's at its height: which end it lies beyond, and how far across, are
  // worked out once for both.
  double Local(const Vec3& q) const override {
    Column col;
    col.x = q.x;
    col.y = q.y;
    Prepare(col);
    return AtZ(col, q.z);
  }
  // Every section here widens upwards or keeps its width (walls upright or leaning out, a
  // round or vee bottom below its widest), so with a point it holds all above it up to the
  // cap: the distance only falls upwards while the cap is further than the half width.
  double FallsUpTo(const Column&) const override { return cap - half - 1; }
  // Along the axis only the height changes: which end (if any) the point lies beyond, and how
  // far across the section it lies, stay.
  void Prepare(Column& col) const override {
    const Vec2 xy{col.x, col.y};
    for (int k = 0; k < cutCount; ++k) {
      const EndCut& c = cuts[k];
      const Vec2 v = Sub(xy, c.at);
      const double e = Dot(v, c.out);
      if (e <= (c.corner > 0 ? -c.corner : 0)) continue;
      col.n = k;
      col.c[0] = std::fabs(Dot(v, c.across));
      col.c[1] = e;
      if (c.corner > 0) {
        const double u = e + c.corner, w = col.c[0] - c.half + c.corner;
        const double pu = std::max(u, 0.0), pw = std::max(w, 0.0);
        col.c[2] = std::sqrt(pu * pu + pw * pw) + std::min(std::max(u, w), 0.0) - c.corner;
      }
      return;
    }
    col.n = cutCount;
    col.c[0] = path.Unsigned(xy);
  }
  double AtZ(const Column& col, double z) const override {
    const double d = section.Signed({col.c[0], z});
    if (col.n < 0 || col.n >= cutCount) return d;
    const EndCut& c = cuts[col.n];
    if (c.corner > 0) return std::max(d, col.c[2]);
    return c.straight ? Meet(d, col.c[1]) : std::max(d, col.c[1]);
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

}  // namespace


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
  s.cap = open;
  s.half = section.half;
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
  // As a pocket's: the wall only falls away upwards, and the cap matters only nearer than the
  // floor or the box's side.
  double FallsUpTo(const Column&) const override { return std::max((open + depth) / 2, open - Across() - foot) - 1e-6; }
  void Prepare(Column& col) const override {
    const Vec2 v = Sub({col.x, col.y}, at);
    col.c[0] = Dot(v, along);
    col.c[1] = Dot(v, toCut);
  }
  double AtZ(const Column& col, double z) const override {
    const double s = col.c[0], w = col.c[1];
    double d = MeetRound(-w, depth - z, foot);
    d = Meet(d, z - open);
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

}  // namespace varnholt::volume

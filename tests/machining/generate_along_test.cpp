// Slots, steps and profiles: the generator given the feature and the operation as numbers, its
// moves measured against the feature. No cut leaves the feature (less its allowances) for the
// tool's end, the floor is reached everywhere within the tool's radius, levels and passes are no
// farther apart than the operation allows, rapids stay above the clearance height, and what
// cannot be cut is a reason, the first the generator meets. The reader is tested on files: what
// the written feature gives is what the generator gets. Also every workingstep of the real files
// gets moves or a reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "generate_fixture.h"
#include "plain_job.h"
#include "support/real_files.h"
#include "varnholt/feature_along.h"
#include "varnholt/model_read.h"

using namespace gen;
using varnholt::AlongBoundary;
using varnholt::AlongEnd;
using varnholt::AlongFeature;
using varnholt::AlongPath;
using varnholt::AlongShape;
using varnholt::ModelOperation;
using varnholt::Placement;
using varnholt::Plunge;
using varnholt::Vec2;

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
constexpr double kFeed = 120;

// ---- The feature and the operation as numbers ----

// A part of the kind and entity given, its numbers unset.
template <typename Part>
Part Of(typename Part::Kind kind, const char* type) {
  Part part;
  part.kind = kind;
  part.type = type;
  return part;
}

AlongPath Line(double length, Vec3 direction) {
  AlongPath p = Of<AlongPath>(AlongPath::Linear, "linear_path");
  p.distance = length, p.hasDirection = true, p.direction = direction;
  return p;
}

AlongPath Ring(double radius) {
  AlongPath p = Of<AlongPath>(AlongPath::Circular, "complete_circular_path");
  p.radius = radius;
  return p;
}

varnholt::AlongCurve Polyline(const std::vector<Vec2>& points) {
  varnholt::AlongCurve c;
  c.read = true;
  c.contour.start = points.front();
  for (size_t k = 1; k < points.size(); ++k) c.contour.segments.push_back({points[k], false, {}, false});
  return c;
}

AlongPath Polypath(const std::vector<Vec2>& points) {
  AlongPath p = Of<AlongPath>(AlongPath::General, "general_path");
  p.curve = Polyline(points);
  return p;
}

// A placement of its own, turned about z by `turn` radians and moved to `origin`.
varnholt::AlongPlacement Own(Vec3 origin, double turn = 0) {
  varnholt::AlongPlacement p;
  p.own = p.read = true;
  p.placement.origin = origin;
  p.placement.axis[0] = {std::cos(turn), std::sin(turn), 0};
  p.placement.axis[1] = {-std::sin(turn), std::cos(turn), 0};
  return p;
}

AlongShape SquareU(double width, double corner = 0) {
  AlongShape s = Of<AlongShape>(AlongShape::SquareU, "square_u_profile");
  s.width = width, s.firstRadius = s.secondRadius = corner;
  return s;
}

AlongShape RoundedU(double width) {
  AlongShape s = Of<AlongShape>(AlongShape::RoundedU, "rounded_u_profile");
  s.width = width;
  return s;
}

// Angles in degrees, as most writers give them.
AlongShape Vee(double angle, double tilt = 0, double radius = 0) {
  AlongShape s = Of<AlongShape>(AlongShape::Vee, "vee_profile");
  s.angle = angle, s.tilt = tilt, s.profileRadius = radius;
  return s;
}

AlongShape PartialCircle(double radius, double sweep) {
  AlongShape s = Of<AlongShape>(AlongShape::PartialCircular, "partial_circular_profile");
  s.radius = radius, s.sweep = sweep;
  return s;
}

AlongEnd End(AlongEnd::Kind kind, double corner = kNone, const char* type = "") {
  AlongEnd e = Of<AlongEnd>(kind, type);
  e.corner1 = e.corner2 = corner;
  return e;
}

// A feature of the kind given whose depth plane lies `depth` below its top.
AlongFeature Feature(AlongFeature::Kind kind, double depth) {
  AlongFeature f;
  f.kind = kind;
  f.hasDepth = true;
  f.depth = -depth;
  return f;
}

AlongFeature Slot(AlongPath path, AlongShape shape, double depth,
                  std::vector<AlongEnd> ends = {End(AlongEnd::Open), End(AlongEnd::Open)}) {
  AlongFeature f = Feature(AlongFeature::Slot, depth);
  f.path = std::move(path), f.shape = std::move(shape), f.ends = std::move(ends);
  return f;
}

// A step of a 100 x 80 x 20 block, its boundary placed at `at` within the block.
AlongFeature Step(AlongPath path, double depth, Vec3 at) {
  AlongFeature f = Feature(AlongFeature::Step, depth);
  f.path = std::move(path), f.wall = Vee(90, 90);
  f.block.given = true;
  f.block.feature.origin = at;
  f.block.size[0] = 100, f.block.size[1] = 80, f.block.size[2] = 20;
  return f;
}

AlongBoundary CircleBoundary(double diameter) {
  AlongBoundary b = Of<AlongBoundary>(AlongBoundary::Circular, "circular_closed_profile");
  b.diameter = diameter;
  return b;
}

AlongBoundary RectangleBoundary(double length, double width) {
  AlongBoundary b = Of<AlongBoundary>(AlongBoundary::Rectangular, "rectangular_closed_profile");
  b.length = length, b.width = width;
  return b;
}

AlongBoundary OpenBoundary(const std::vector<Vec2>& points) {
  AlongBoundary b = Of<AlongBoundary>(AlongBoundary::General, "general_profile");
  b.curve = Polyline(points);
  return b;
}

AlongFeature Profile(AlongBoundary boundary, double depth, AlongFeature::Kind kind = AlongFeature::OutsideProfile) {
  AlongFeature f = Feature(kind, depth);
  f.boundary = std::move(boundary);
  return f;
}

ModelOperation Milling(double axial, double radial, double side, double bottom, const char* cutmode = "climb") {
  ModelOperation o;
  o.name = "#70";
  o.type = "bottom_and_side_rough_milling";
  o.milling = true;
  o.axialCuttingDepth = axial;
  o.radialCuttingDepth = radial;
  o.allowanceSide = side;
  o.allowanceBottom = bottom;
  o.strategy.cutmode = cutmode;
  return o;
}

Plunge Ramp(double degrees) {
  Plunge p;
  p.kind = Plunge::Ramp;
  p.angle = degrees * kPi / 180;
  return p;
}

const char* TypeOf(AlongFeature::Kind kind) {
  switch (kind) {
    case AlongFeature::Slot: return "slot";
    case AlongFeature::Step: return "step";
    case AlongFeature::OutsideProfile: return "general_outside_profile";
    case AlongFeature::ShapeProfile: return "general_shape_profile";
    case AlongFeature::OtherProfile: return "round_end_profile";
  }
  return "?";
}

/// The generator's moves for the feature (null: not read) in its own system.
StepRun Generate(const std::shared_ptr<const AlongFeature>& along, const char* type, const ModelOperation& operation,
                 const ToolSpec& tool, const Plunge& approach = {}) {
  varnholt::ModelFeature feature;
  feature.name = "#60";
  feature.type = type;
  feature.along = along;
  PlainJob plain(feature, operation);
  varnholt::machining_detail::StepJob& job = plain.job;
  job.tool.diameter = tool.diameter;
  job.tool.cornerRadius = tool.corner > 0 ? tool.corner : 0;
  job.tool.ballEnd = tool.body == "BALL_ENDMILL";
  job.feed = kFeed;
  job.clearZ = kClear;
  job.approach = approach;
  StepRun run;
  run.steps = 1;
  if (!varnholt::machining_detail::GenerateAlong(job)) {
    run.reason = job.reason;
    return run;
  }
  run.moves = plain.moves;
  if (!run.moves.empty()) run.start = run.moves.front().to;
  return run;
}

StepRun Generate(const AlongFeature& f, const ModelOperation& operation, const ToolSpec& tool, const Plunge& approach = {}) {
  return Generate(std::make_shared<AlongFeature>(f), TypeOf(f.kind), operation, tool, approach);
}

// ---- Measurements ----

// Where a tip lies across a feature's line: its signed offset, and whether it is within the
// feature's length along the line.
struct Across {
  double u = 0;
  bool along = true;
};

// Distance from p to the segment a-b, and the side (left of a->b positive); `lo` and `hi` are
// how far from its ends the tip must stay.
Across OnSegment(const Vec3& p, double ax, double ay, double bx, double by, double lo, double hi) {
  const double dx = bx - ax, dy = by - ay, l = std::hypot(dx, dy);
  const double t = ((p.x - ax) * dx + (p.y - ay) * dy) / l;
  const double u = (-(p.x - ax) * dy + (p.y - ay) * dx) / l;
  return {u, t >= lo - kTol && t <= l - hi + kTol};
}

// Floors across a slot of half width h: flat at -d, beyond the walls the top.
std::function<double(double)> FlatFloor(double h, double d) {
  return [h, d](double u) { return std::fabs(u) <= h + kTol ? -d : 0.0; };
}

std::vector<Vec3> Grid(double x0, double x1, double y0, double y1, double z, int nx = 30, int ny = 12) {
  std::vector<Vec3> out;
  for (int i = 0; i <= nx; ++i)
    for (int j = 0; j <= ny; ++j) out.push_back({x0 + (x1 - x0) * i / nx, y0 + (y1 - y0) * j / ny, z});
  return out;
}

// The values sorted, those within a micrometre of the one before left out.
std::vector<double> Distinct(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::vector<double> out;
  for (double v : values)
    if (out.empty() || v - out.back() > 1e-6) out.push_back(v);
  return out;
}

struct Row {
  Row(const char* n, AlongFeature f, ModelOperation o, ToolSpec t, Plunge a = {})
      : name(n), feature(std::move(f)), operation(std::move(o)), tool(std::move(t)), approach(a) {}
  const char* name;
  AlongFeature feature;
  ModelOperation operation;
  ToolSpec tool;
  Plunge approach;
  std::function<Across(const Vec3&)> across;  // null: `allowed` says
  std::function<double(double)> floor;        // the floor across, 0 beyond the walls
  std::function<bool(const Vec3&)> allowed;   // for features that are no section along a line
  std::vector<Vec3> covered;                  // floor points every one of which is reached
  double deepest = kNone;
};

std::vector<Row> Rows() {
  std::vector<Row> rows;
  const ToolSpec mill{"ENDMILL", 6}, ball{"BALL_ENDMILL", 6}, small{"ENDMILL", 4};
  const AlongPath straight = Line(60, {1, 0, 0});
  {
    // Sixty long, sixteen wide, six deep; half a millimetre left on the walls, 0.2 on the floor.
    Row r{"a square U slot with open ends", Slot(straight, SquareU(16), 6), Milling(2.5, 3, 0.5, 0.2), mill, Ramp(10)};
    r.across = [](const Vec3& p) { return OnSegment(p, 0, 0, 60, 0, 0, 0); };
    r.floor = FlatFloor(8 - 0.5, 6 - 0.2);
    r.covered = Grid(0, 60, -7.5, 7.5, -5.8);
    r.deepest = -5.8;
    rows.push_back(r);
  }
  {
    // The corners' radius of one millimetre is rounder than the flat end mill's: the walls
    // stand one in from where the tool could reach.
    Row r{"a square U slot with flat ends",
          Slot(straight, SquareU(16, 1), 6, {End(AlongEnd::Flat, 1), End(AlongEnd::Flat, 1)}), Milling(3, 4, 0, 0), mill,
          Ramp(10)};
    r.across = [](const Vec3& p) { return OnSegment(p, 0, 0, 60, 0, 3, 3); };
    // Flat to seven across, then the corners' round up to the walls at eight.
    r.floor = [](double u) {
      const double a = std::fabs(u);
      if (a > 8 + kTol) return 0.0;
      if (a <= 7) return -6.0;
      return -5 - std::sqrt(std::max(0.0, 1 - (a - 7) * (a - 7)));
    };
    r.covered = Grid(3, 57, -7, 7, -6);
    r.deepest = -6;
    rows.push_back(r);
  }
  {
    // A flat end whose corners are rounder than the tool keeps it farther from the end only
    // near the corners: its centre stays within the end less the tool's radius, corners of two.
    Row r{"a slot of flat ends rounder than the tool",
          Slot(straight, SquareU(16), 6, {End(AlongEnd::Flat, 5), End(AlongEnd::Open)}), Milling(3, 4, 0, 0), mill};
    r.allowed = [](const Vec3& p) {
      if (p.z < -6 - kTol || std::fabs(p.y) > 5 + kTol || p.x < 3 - kTol) return false;
      return p.x >= 5 || std::fabs(p.y) <= 3 || std::hypot(p.x - 5, std::fabs(p.y) - 3) <= 2 + kTol;
    };
    r.covered = Grid(3, 60, -5, 5, -6);
    for (double y : {-5.0, 5.0}) r.covered.push_back({5, y, -6});
    r.deepest = -6;
    rows.push_back(r);
  }
  {
    Row r{"a rounded U slot cut with a ball", Slot(straight, RoundedU(12), 8), Milling(3, 1.5, 0, 0), ball, Ramp(10)};
    r.across = [](const Vec3& p) { return OnSegment(p, 0, 0, 60, 0, 0, 0); };
    r.floor = [](double u) {
      return std::fabs(u) > 6 + kTol ? 0.0 : std::min(0.0, -8 + 6 - std::sqrt(std::max(0.0, 36 - u * u)));
    };
    r.deepest = -8;
    rows.push_back(r);
  }
  {
    Row r{"a vee slot cut with a flat end", Slot(straight, Vee(90), 6), Milling(2, 1, 0, 0), small, Ramp(10)};
    r.across = [](const Vec3& p) { return OnSegment(p, 0, 0, 60, 0, 0, 0); };
    r.floor = [](double u) { return std::min(0.0, -6 + std::fabs(u)); };
    r.deepest = -4;  // the flat end's edge touches the flanks two below the point
    rows.push_back(r);
  }
  // An arc of radius ten over 120 degrees, its lowest point four below the top: on the depth
  // plane, or by the profile's own placement ten above it.
  const auto partial = [](double u) { return std::fabs(u) > 8 ? 0.0 : std::min(0.0, 6 - std::sqrt(100 - u * u)); };
  {
    Row r{"a partial circular slot", Slot(straight, PartialCircle(10, 120), 4), Milling(2, 1, 0, 0), ball, Ramp(10)};
    r.across = [](const Vec3& p) { return OnSegment(p, 0, 0, 60, 0, 0, 0); };
    r.floor = partial;
    r.deepest = -4;
    rows.push_back(r);
  }
  {
    Row r{"a partial circular slot centred by its own placement", Slot(straight, PartialCircle(10, 120), 4),
          Milling(2, 1, 0, 0), ball};
    r.feature.hasDepth = false;
    r.feature.shape.placement = Own({0, 0, 6});
    r.across = [](const Vec3& p) { return OnSegment(p, 0, 0, 60, 0, 0, 0); };
    r.floor = partial;
    r.deepest = -4;
    rows.push_back(r);
  }
  {
    Row r{"a ring slot", Slot(Ring(20), SquareU(10), 4, {End(AlongEnd::Loop)}), Milling(4, 3, 0, 0), mill, Ramp(10)};
    r.across = [](const Vec3& p) { return Across{std::hypot(p.x, p.y) - 20, true}; };
    r.floor = FlatFloor(5, 4);
    for (int k = 0; k < 72; ++k)
      for (double u : {-5.0, -2.5, 0.0, 2.5, 5.0})
        r.covered.push_back({(20 + u) * std::cos(k * kPi / 36), (20 + u) * std::sin(k * kPi / 36), -4});
    r.deepest = -4;
    rows.push_back(r);
  }
  {
    // A ring placed off the feature's origin; its loop takes no ends.
    Row r{"a ring slot of its own placement", Slot(Ring(20), SquareU(10), 4, {End(AlongEnd::Other, kNone, "x")}),
          Milling(4, 3, 0, 0), mill};
    r.feature.path.placement = Own({5, -7, 0}, 0.3);
    r.across = [](const Vec3& p) { return Across{std::hypot(p.x - 5, p.y + 7) - 20, true}; };
    r.floor = FlatFloor(5, 4);
    for (int k = 0; k < 72; ++k) r.covered.push_back({5 + 20 * std::cos(k * kPi / 36), -7 + 20 * std::sin(k * kPi / 36), -4});
    r.deepest = -4;
    rows.push_back(r);
  }
  {
    // A line of its own placement: from (10, 5) along the placement's x, turned to the feature's y.
    Row r{"a slot along a placed line", Slot(Line(50, {1, 0, 0}), SquareU(12), 5), Milling(5, 3, 0, 0), mill};
    r.feature.path.placement = Own({10, 5, 0}, kPi / 2);
    r.across = [](const Vec3& p) { return OnSegment(p, 10, 5, 10, 55, 0, 0); };
    r.floor = FlatFloor(6, 5);
    r.covered = Grid(4, 16, 5, 55, -5, 6, 25);
    r.deepest = -5;
    rows.push_back(r);
  }
  {
    // Along (0,0) (40,0) (40,30): an outer and an inner corner.
    Row r{"a slot along a general path", Slot(Polypath({{0, 0}, {40, 0}, {40, 30}}), SquareU(12), 3),
          Milling(3, 3, 0, 0), mill, Ramp(10)};
    r.allowed = [](const Vec3& p) {
      const Across a = OnSegment(p, 0, 0, 40, 0, 0, 0), b = OnSegment(p, 40, 0, 40, 30, 0, 0);
      const double corner = std::hypot(p.x - 40, p.y);
      const bool nearA = a.along && std::fabs(a.u) <= 3 + kTol, nearB = b.along && std::fabs(b.u) <= 3 + kTol;
      return (nearA || nearB || corner <= 3 + kTol) && p.z >= -3 - kTol;
    };
    r.covered = Grid(0, 40, -6, 6, -3, 20, 6);
    for (const Vec3& p : Grid(34, 46, 0, 30, -3, 6, 15)) r.covered.push_back(p);
    r.deepest = -3;
    rows.push_back(r);
  }
  {
    // The boundary runs along y fifteen from the block's right edge: the step is the strip to
    // its right, the wall at its left.
    Row r{"a step", Step(Line(80, {0, 1, 0}), 5, {85, 0, 20}), Milling(2.5, 4, 0.3, 0), mill};
    r.allowed = [](const Vec3& p) { return p.x >= 3.3 - kTol && p.y >= -kTol && p.y <= 80 + kTol && p.z >= -5 - kTol; };
    r.covered = Grid(0.3, 15, 0, 80, -5, 10, 20);
    r.deepest = -5;
    rows.push_back(r);
  }
  {
    // The same boundary ten from the block's left edge: the strip to its left is cut.
    Row r{"a step on the block's other side", Step(Line(80, {0, 1, 0}), 5, {10, 0, 20}), Milling(5, 4, 0, 0.5), mill};
    r.allowed = [](const Vec3& p) { return p.x <= -3 + kTol && p.y >= -kTol && p.y <= 80 + kTol && p.z >= -4.5 - kTol; };
    r.covered = Grid(-10, 0, 0, 80, -4.5, 10, 20);
    r.deepest = -4.5;
    rows.push_back(r);
  }
  {
    Row r{"an outside profile round a circle", Profile(CircleBoundary(30), 4), Milling(2, kNone, 0.5, kNone), mill,
          Ramp(10)};
    r.allowed = [](const Vec3& p) { return std::hypot(p.x, p.y) >= 15.5 + 3 - kTol && p.z >= -4 - kTol; };
    for (int k = 0; k < 72; ++k) r.covered.push_back({15.5 * std::cos(k * kPi / 36), 15.5 * std::sin(k * kPi / 36), -4});
    r.deepest = -4;
    rows.push_back(r);
  }
  {
    // Its depth from the profile's sweep, the depth plane unset.
    Row r{"an outside profile round a rectangle", Profile(RectangleBoundary(40, 20), 4), Milling(4, kNone, 0, kNone),
          mill, Ramp(10)};
    r.feature.hasDepth = false;
    r.feature.sweptDepth = 4;
    r.allowed = [](const Vec3& p) {
      const double dx = std::max(0.0, std::fabs(p.x) - 20), dy = std::max(0.0, std::fabs(p.y) - 10);
      return std::hypot(dx, dy) >= 3 - kTol && p.z >= -4 - kTol;
    };
    for (double k = 0; k <= 40; ++k) r.covered.push_back({-20 + k, -10, -4}), r.covered.push_back({-20 + k, 10, -4});
    for (double k = 0; k <= 20; ++k) r.covered.push_back({-20, -10 + k, -4}), r.covered.push_back({20, -10 + k, -4});
    r.deepest = -4;
    rows.push_back(r);
  }
  for (const char* mode : {"climb", "conventional"}) {
    // An open line with the material removed below it: the tool goes there whichever way it runs.
    Row r{mode[1] == 'l' ? "a shape profile along an open line, climb" : "a shape profile along an open line, conventional",
          Profile(OpenBoundary({{0, 0}, {50, 0}}), 3, AlongFeature::ShapeProfile),
          Milling(3, kNone, 0, kNone, mode), mill, Ramp(10)};
    r.feature.hasRemoval = true;
    r.feature.removal = {0, -1, 0};
    r.allowed = [](const Vec3& p) { return p.y <= -3 + kTol && p.z >= -3 - kTol; };
    for (int k = 0; k <= 50; ++k) r.covered.push_back({static_cast<double>(k), 0, -3});
    r.deepest = -3;
    rows.push_back(r);
  }
  return rows;
}

// The cutting moves that run level along x (else along y), each as where it lies: the height,
// and the place across.
std::vector<Vec2> LevelCuts(const StepRun& run, bool alongX) {
  std::vector<Vec2> out;
  Vec3 at = run.start;
  for (const Move& m : run.moves) {
    const double along = alongX ? m.to.x - at.x : m.to.y - at.y, across = alongX ? m.to.y - at.y : m.to.x - at.x;
    if (Cutting(m) && std::fabs(m.to.z - at.z) < 1e-12 && std::fabs(along) > 1 && std::fabs(across) < 1e-9)
      out.push_back({m.to.z, alongX ? m.to.y : m.to.x});
    at = m.to;
  }
  return out;
}

}  // namespace

TEST(GenerateAlong, FeaturesAreCutWithinThemAndToTheirFloor) {
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.name);
    const StepRun run = Generate(row.feature, row.operation, row.tool, row.approach);
    ASSERT_FALSE(run.moves.empty()) << run.reason;
    ExpectSafeRapids(run, row.name);
    if (!std::isnan(row.deepest)) {
      EXPECT_NEAR(Deepest(run), row.deepest, 1e-6);
    }
    const double r = row.tool.diameter / 2;
    const auto lift = Lift(row.tool);
    if (row.allowed) {
      ExpectNoGouge(run, row.allowed, row.name);
    } else {
      ExpectNoGouge(run, [&](const Vec3& p) {
        const Across a = row.across(p);
        if (!a.along) return false;
        for (int k = -40; k <= 40; ++k) {
          const double s = r * k / 40;
          if (p.z + lift(s) < row.floor(a.u + s) - kTol) return false;
        }
        return true;
      }, row.name);
    }
    if (!row.covered.empty()) ExpectCovered(run, row.covered, r, row.name);
  }
}

// The levels go down no deeper apart than the axial depth, the last on the floor; the passes
// across a slot or a step lie no farther apart than the radial depth, and never farther than the
// tool's diameter.
TEST(GenerateAlong, LevelsAndPassesAreNoFartherApartThanTheOperationAllows) {
  struct Case {
    const char* name;
    AlongFeature feature;
    ModelOperation operation;
    double floor;       // where the last level lies
    bool alongX;        // passes side by side in y (else in x)
    double widthStep;   // the largest spacing of passes allowed
    size_t levels, passes;
  };
  const Case cases[] = {
      {"a slot in three levels of four passes", Slot(Line(60, {1, 0, 0}), SquareU(16), 6), Milling(2.5, 3, 0.5, 0.2),
       -5.8, true, 3, 3, 4},
      {"a slot in one level", Slot(Line(60, {1, 0, 0}), SquareU(16), 6), Milling(kNone, 3, 0, 0), -6, true, 3, 1, 5},
      {"a slot whose radial depth is wider than the tool", Slot(Line(60, {1, 0, 0}), SquareU(30), 2),
       Milling(2, 20, 0, 0), -2, true, 6, 1, 5},
      {"a slot without a radial depth: passes by the radius", Slot(Line(60, {1, 0, 0}), SquareU(18), 2),
       Milling(2, kNone, 0, 0), -2, true, 3, 1, 5},
      {"a step", Step(Line(80, {0, 1, 0}), 5, {85, 0, 20}), Milling(2.5, 4, 0.3, 0), -5, false, 4, 2, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const StepRun run = Generate(c.feature, c.operation, {"ENDMILL", 6});
    ASSERT_FALSE(run.moves.empty()) << run.reason;
    std::vector<double> zs, offsets;
    for (const Vec2& cut : LevelCuts(run, c.alongX)) {
      zs.push_back(cut.x);
      if (std::fabs(cut.x - c.floor) < 1e-9) offsets.push_back(cut.y);
    }
    const std::vector<double> levels = Distinct(zs), passes = Distinct(offsets);
    ASSERT_EQ(levels.size(), c.levels);
    EXPECT_NEAR(levels.front(), c.floor, 1e-9);
    const double axial = std::isnan(c.operation.axialCuttingDepth) ? 1e9 : c.operation.axialCuttingDepth;
    EXPECT_GE(levels.back(), -axial - 1e-9) << "the first level is no deeper than the axial depth";
    for (size_t k = 1; k < levels.size(); ++k) EXPECT_LE(levels[k] - levels[k - 1], axial + 1e-9);
    ASSERT_EQ(passes.size(), c.passes);
    for (size_t k = 1; k < passes.size(); ++k) EXPECT_LE(passes[k] - passes[k - 1], c.widthStep + 1e-9);
  }
}

// Climb milling keeps the material on the right of the travel: clockwise round an outside
// profile, and along a step with its wall on the right. An open profile runs as the strategy's
// feed direction says where nothing in the feature says which side is cut.
TEST(GenerateAlong, TheCutModeAndTheFeedDirectionSayWhichWayTheToolRuns) {
  ModelOperation along = Milling(4, kNone, 0, kNone), against = along;
  against.strategy.feedDirectionRead = true;
  against.strategy.feedDirection = {-1, 0, 0};
  struct Case {
    const char* name;
    AlongFeature feature;
    ModelOperation operation;
    const char* mode;
    double turning, dx, dy;  // the sign each should have
  };
  const AlongFeature ring = Profile(CircleBoundary(30), 4), step = Step(Line(80, {0, 1, 0}), 5, {85, 0, 20});
  const AlongFeature open = Profile(OpenBoundary({{0, 0}, {50, 0}}), 3);
  const Case cases[] = {
      {"climb round a part", ring, along, "climb", -1, 0, 0},
      {"conventional round a part", ring, along, "conventional", 1, 0, 0},
      {"climb along a step whose wall is at its left", step, along, "climb", 0, 0, -1},
      {"conventional along that step", step, along, "conventional", 0, 0, 1},
      {"an open profile along its line", open, along, "climb", 0, 1, 0},
      {"an open profile against its line", open, against, "climb", 0, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ModelOperation operation = c.operation;
    operation.strategy.cutmode = c.mode;
    const StepRun run = Generate(c.feature, operation, {"ENDMILL", 6});
    ASSERT_FALSE(run.moves.empty()) << run.reason;
    double turning = 0, dx = 0, dy = 0;
    Vec3 at = run.start;
    for (const Sample& s : Samples(run)) {
      if (Cutting(*s.move) && s.p.z < -1e-9 && std::fabs(at.z - s.p.z) < 1e-12) {
        turning += at.x * s.p.y - at.y * s.p.x;
        dx += s.p.x - at.x, dy += s.p.y - at.y;
      }
      at = s.p;
    }
    // Each as the case expects: the sign it gives, or none (0) where the case says nothing.
    EXPECT_GE(turning * c.turning, 0) << turning;
    EXPECT_GE(dx * c.dx, 0) << dx;
    EXPECT_GE(dy * c.dy, 0) << dy;
    EXPECT_GT(std::fabs(turning * c.turning) + std::fabs(dx * c.dx) + std::fabs(dy * c.dy), 1) << "a way is measured";
  }
}

TEST(GenerateAlong, ArcsOfTheFeatureStayArcs) {
  const StepRun run = Generate(Slot(Ring(20), SquareU(10), 4, {End(AlongEnd::Loop)}), Milling(kNone, 3, 0, 0), {"ENDMILL", 6});
  ASSERT_FALSE(run.moves.empty()) << run.reason;
  int arcs = 0, feedsAlong = 0;
  Vec3 at = run.start;
  for (const Move& m : run.moves) {
    if (m.kind == MoveKind::Arc) {
      ++arcs;
      EXPECT_NEAR(std::hypot(m.center.x, m.center.y), 0, 1e-9);
      EXPECT_NEAR(std::hypot(m.to.x, m.to.y), std::hypot(at.x, at.y), 1e-9) << "an arc about the ring's centre";
    } else if (m.kind == MoveKind::Feed && std::fabs(m.to.z - at.z) < 1e-12 &&
               std::fabs(std::hypot(m.to.x, m.to.y) - std::hypot(at.x, at.y)) < 1e-9) {
      ++feedsAlong;
    }
    at = m.to;
  }
  EXPECT_GT(arcs, 0);
  EXPECT_EQ(feedsAlong, 0) << "no arc of the ring is written as lines";
}

// What cannot be cut is said, and where a feature lacks several things the first the generator
// meets: the operation, then the path, then the cross-section, then its ends.
TEST(GenerateAlong, WhatCannotBeCutIsTheFirstReasonMet) {
  using F = AlongFeature;
  const ModelOperation rough = Milling(2, 3, 0, 0);
  const AlongPath line = Line(60, {1, 0, 0});
  const AlongShape u16 = SquareU(16);
  struct Case {
    const char* name;
    std::function<void(F&, ModelOperation&)> change;  // of a square U slot sixty long, 16 wide, 6 deep
    std::string reason;
  };
  auto slot = [&](std::function<void(F&)> f) { return [f](F& s, ModelOperation&) { f(s); }; };
  const Case cases[] = {
      {"a slot drilled", [](F& f, ModelOperation& o) { o.milling = false, o.type = "drilling", f.path = AlongPath{}; },
       "a slot is milled; a drilling is not generated for it"},
      {"no path, no shape", slot([](F& f) { f.path = AlongPath{}, f.shape = AlongShape{}; }), "the feature's path is unset"},
      {"a line of no length", slot([](F& f) { f.path.distance = 0; }), "the linear path's distance or direction is unset"},
      {"a line upwards", slot([](F& f) { f.path.direction = {0, 0, 1}; }), "the linear path does not lie in the feature's plane"},
      {"a ring whose placement cannot be read", slot([](F& f) { f.path = Ring(20), f.path.placement.own = true; }),
       "the complete_circular_path's placement cannot be read"},
      {"a ring tilted, of no radius",
       slot([](F& f) {
         f.path = Ring(kNone), f.path.placement = Own({0, 0, 0});
         f.path.placement.placement.axis[2] = {0, 1, 0};
       }),
       "the complete_circular_path's placement is tilted out of the feature's plane"},
      {"a ring of no radius", slot([](F& f) { f.path = Ring(kNone); }), "the circular path's radius is unset"},
      {"an arc path without a sweep",
       slot([](F& f) { f.path = Ring(20), f.path.kind = AlongPath::PartialCircular; }),
       "the partial circular path's sweep angle is unset"},
      {"a general path unread",
       slot([](F& f) { f.path = Polypath({{0, 0}, {1, 0}}), f.path.curve.read = false, f.path.curve.why = "the curve is unset"; }),
       "the general path: the curve is unset"},
      {"a path of another kind", slot([](F& f) { f.path.kind = AlongPath::Other, f.path.type = "helix_path"; }),
       "a path of kind helix_path is not one toolpaths are generated along"},
      {"no shape", slot([](F& f) { f.shape = AlongShape{}; }), "the slot's swept shape is unset"},
      {"a U of no width and no depth", slot([](F& f) { f.shape.width = kNone, f.hasDepth = false; }),
       "the square U profile's width is unset"},
      {"a U without a depth", slot([](F& f) { f.hasDepth = false; }),
       "the slot's depth plane is unset or does not lie below its top"},
      {"a vee of no angle and no depth", slot([](F& f) { f.shape = Vee(kNone), f.hasDepth = false; }),
       "the vee profile's angle is unset"},
      {"a tilted vee, no depth", slot([](F& f) { f.shape = Vee(90, 20), f.hasDepth = false; }),
       "a tilted vee profile is not one toolpaths are generated for"},
      {"a vee of a straight angle", slot([](F& f) { f.shape = Vee(180); }),
       "the vee profile's angle is not between 0 and 180 degrees"},
      {"an arc profile without a sweep", slot([](F& f) { f.shape = PartialCircle(10, kNone); }),
       "the partial circular profile's radius or sweep angle is unset"},
      {"an arc profile without a depth", slot([](F& f) { f.shape = PartialCircle(10, 120), f.hasDepth = false; }),
       "the slot's depth plane is unset or does not lie below its top"},
      {"an arc profile placed above the top",
       slot([](F& f) { f.shape = PartialCircle(10, 120), f.shape.placement = Own({0, 0, 20}); }),
       "the partial circular profile does not reach below the slot's top"},
      {"a shape of another kind", slot([](F& f) { f.shape.kind = AlongShape::Other, f.shape.type = "box"; }),
       "a slot of swept shape box is not one toolpaths are generated for"},
      {"a slot narrower than the tool and its allowance",
       [](F& f, ModelOperation& o) { f.shape = SquareU(6.8), o.allowanceSide = 0.5, f.ends = {End(AlongEnd::Other)}; },
       "the tool (diameter 6 mm) is wider than the slot less its allowance"},
      {"a second end of another kind", slot([](F& f) { f.ends[1] = End(AlongEnd::Other, kNone, "odd_end"); }),
       "a slot end of kind odd_end is not one toolpaths are generated for"},
      {"flat ends too close", slot([](F& f) { f.path.distance = 5.9, f.ends = {End(AlongEnd::Flat), End(AlongEnd::Flat)}; }),
       "the slot is too short for the tool between its ends"},
      {"a feature not read", [](F& f, ModelOperation&) { f.kind = F::OtherProfile; }, "the slot's geometry was not read"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    F feature = Slot(line, u16, 6);
    ModelOperation operation = rough;
    c.change(feature, operation);
    const bool unread = feature.kind == F::OtherProfile;
    const StepRun run = Generate(unread ? nullptr : std::make_shared<F>(feature), "slot", operation, {"ENDMILL", 6});
    EXPECT_TRUE(run.moves.empty());
    EXPECT_EQ(run.reason, c.reason);
  }
}

TEST(GenerateAlong, WhatCannotBeCutOfAStepOrAProfileIsTheFirstReasonMet) {
  using F = AlongFeature;
  struct Case {
    const char* name;
    F feature;
    ModelOperation operation;
    std::string reason;
  };
  const AlongPath edge = Line(80, {0, 1, 0});
  const F step = Step(edge, 5, {85, 0, 20}), ring = Profile(CircleBoundary(30), 4);
  const ModelOperation rough = Milling(2, 3, 0, 0);
  auto with = [](F f, std::function<void(F&)> change) { return change(f), f; };
  const Case cases[] = {
      {"a step without a depth or a path", with(step, [](F& f) { f.hasDepth = false, f.path = AlongPath{}; }), rough,
       "the step's depth plane is unset or does not lie below its top"},
      {"a step without a path", with(step, [](F& f) { f.path = AlongPath{}; }), rough, "the feature's path is unset"},
      {"a step along a ring", with(step, [](F& f) { f.path = Ring(20); }), rough,
       "the step's open boundary is not a straight line"},
      {"a step of a wall of another kind", with(step, [](F& f) { f.wall = SquareU(10), f.block.given = false; }), rough,
       "the step's wall boundary cannot be read"},
      {"a step of a leaning wall", with(step, [](F& f) { f.wall.angle = 60, f.block.given = false; }), rough,
       "a step whose wall is not upright is not one toolpaths are generated for"},
      {"a step without a block", with(step, [](F& f) { f.block.given = false; }), rough,
       "the step's width is given neither by the feature nor by a block of its workpiece"},
      {"a step of a block without a height", with(step, [](F& f) { f.block.size[2] = kNone; }), rough,
       "the step's width is given neither by the feature nor by a block of its workpiece"},
      {"a step through the block's middle", with(step, [](F& f) { f.block.feature.origin = {50, 0, 20}; }), rough,
       "the step's boundary does not say which side is cut away"},
      {"a step on the block's edge", with(step, [](F& f) { f.block.feature.origin = {100, 0, 20}; }), rough,
       "the step's boundary lies on the workpiece's edge"},
      {"a step all allowance", step, Milling(2, 3, 0, 5), "the bottom allowance leaves nothing of the step to cut"},
      {"a profile of another kind", with(ring, [](F& f) { f.kind = F::OtherProfile, f.boundary = AlongBoundary{}; }), rough,
       "a profile feature of kind round_end_profile is not one toolpaths are generated for"},
      {"a profile without a boundary", with(ring, [](F& f) { f.boundary = AlongBoundary{}, f.hasDepth = false; }), rough,
       "the profile feature's boundary is unset"},
      {"a profile tilted",
       with(ring, [](F& f) { f.boundary.placement = Own({0, 0, 0}), f.boundary.placement.placement.axis[2] = {1, 0, 0}; }),
       rough, "the circular_closed_profile's placement is tilted out of the feature's plane"},
      {"a closed profile unread",
       with(ring, [](F& f) { f.boundary = OpenBoundary({{0, 0}, {1, 0}}), f.boundary.kind = AlongBoundary::GeneralClosed,
                             f.boundary.curve.read = false, f.boundary.curve.why = "the curve is unset"; }),
       rough, "the closed profile: the curve is unset"},
      {"a closed profile that is open",
       with(ring, [](F& f) { f.boundary = OpenBoundary({{0, 0}, {10, 0}}), f.boundary.kind = AlongBoundary::GeneralClosed; }),
       rough, "the closed profile's curve does not close"},
      {"a rectangle without a width", with(ring, [](F& f) { f.boundary = RectangleBoundary(40, kNone); }), rough,
       "a profile of kind rectangular_closed_profile (or with its sizes unset) is not one toolpaths are generated along"},
      {"a profile without a depth or a sweep", with(ring, [](F& f) { f.hasDepth = false; }), rough,
       "the profile's depth is unset"},
      {"a profile all allowance", ring, Milling(2, 3, 0, 4), "the bottom allowance leaves nothing of the profile to cut"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const StepRun run = Generate(c.feature, c.operation, {"ENDMILL", 6});
    EXPECT_TRUE(run.moves.empty());
    EXPECT_EQ(run.reason, c.reason);
  }
}

// ---- The reader, on files ----

namespace {

struct ReadCase {
  const char* name;
  std::string feature;
  std::function<void(const AlongFeature&)> expect;
  double depth = 6;
};

const varnholt::AlongFeature* ReadAlongOf(const std::string& feature, double depth, varnholt::Model& model) {
  RegisterTypeNames();
  RegisterEntityNames();
  TempFile file(File(feature, Operation("BOTTOM_AND_SIDE_ROUGH_MILLING", "$,$,$,2.,3.,0.,0."), {"ENDMILL", 6},
                     {20, 40, 20}, depth));
  CDoc doc;
  if (!doc.OnOpenDocument(file.Path())) return nullptr;
  model = varnholt::ReadModel(*doc.Scope());
  model.source.reset();  // the population goes with the document
  return model.features.empty() ? nullptr : model.features.front().along.get();
}

const std::string kU16 = "#62=SQUARE_U_PROFILE($,#66,#67,0.,#67,0.);\n#66=" + Length(16) + ";\n#67=" + Length(1) + ";";

std::string SlotText(const std::string& path, const std::string& ends = "#63,#69",
                     const std::string& more = "#63=FLAT_SLOT_END_TYPE(#67,#67);\n#69=OPEN_SLOT_END_TYPE();") {
  return "#60=SLOT('slot',#10,(#70),#30,#32,#61,#62,(" + ends + "));\n#61=" + path + ";\n" + kU16 + "\n" + more +
         "\n#64=" + Length(60) + ";\n#65=DIRECTION('',(1.,0.,0.));";
}

}  // namespace

// The reader gives the generator the feature as written: each part's kind and numbers, NaN and
// unset kinds where the file gives none, and a path's placement that is the feature's own, the
// same instance or one of the same values, as none of its own.
TEST(ReadAlong, GivesEachPartAsWritten) {
  const std::string at = "#35=AXIS2_PLACEMENT_3D('',#36,#15,#16);\n#36=CARTESIAN_POINT('',(5.,6.,0.));";
  const ReadCase cases[] = {
      {"a slot along a line at the feature's placement", SlotText("LINEAR_PATH(#30,#64,#65)"),
       [](const AlongFeature& f) {
         EXPECT_EQ(f.kind, AlongFeature::Slot);
         EXPECT_TRUE(f.hasDepth);
         EXPECT_DOUBLE_EQ(f.depth, -6);
         EXPECT_EQ(f.path.kind, AlongPath::Linear);
         EXPECT_EQ(f.path.type, "linear_path");
         EXPECT_FALSE(f.path.placement.own);
         EXPECT_DOUBLE_EQ(f.path.distance, 60);
         EXPECT_TRUE(f.path.hasDirection);
         EXPECT_DOUBLE_EQ(f.path.direction.x, 1);
         EXPECT_EQ(f.shape.kind, AlongShape::SquareU);
         EXPECT_DOUBLE_EQ(f.shape.width, 16);
         EXPECT_DOUBLE_EQ(f.shape.firstRadius, 1);
         EXPECT_DOUBLE_EQ(f.shape.secondRadius, 1);
         ASSERT_EQ(f.ends.size(), 2u);
         EXPECT_EQ(f.ends[0].kind, AlongEnd::Flat);
         EXPECT_DOUBLE_EQ(f.ends[0].corner2, 1);
         EXPECT_EQ(f.ends[1].kind, AlongEnd::Open);
         EXPECT_TRUE(std::isnan(f.ends[1].corner1));
       }},
      {"a slot along a line of a placement of its own, alike in value", SlotText("LINEAR_PATH(#35,#64,#65)") + "\n" + at,
       [](const AlongFeature& f) {
         EXPECT_TRUE(f.path.placement.own);
         EXPECT_TRUE(f.path.placement.read);
         EXPECT_DOUBLE_EQ(f.path.placement.placement.origin.x, 5);
         EXPECT_DOUBLE_EQ(f.path.placement.placement.origin.y, 6);
       }},
      // The feature's placement written again as an instance of its own still says "at the
      // feature": composed once more, the slot would lie twice as far out.
      {"a slot along a line at the feature's placement written again", SlotText("LINEAR_PATH(#37,#64,#65)") +
           "\n#37=AXIS2_PLACEMENT_3D('',#38,#15,#16);\n#38=CARTESIAN_POINT('',(20.,40.,20.));",
       [](const AlongFeature& f) { EXPECT_FALSE(f.path.placement.own); }},
      {"a slot of nothing", "#60=SLOT('slot',#10,(#70),#30,$,$,$,());",
       [](const AlongFeature& f) {
         EXPECT_FALSE(f.hasDepth);
         EXPECT_EQ(f.path.kind, AlongPath::Unset);
         EXPECT_EQ(f.shape.kind, AlongShape::Unset);
         EXPECT_TRUE(f.ends.empty());
       }},
      {"a slot along an arc of a vee",
       "#60=SLOT('slot',#10,(#70),#30,#32,#61,#62,(#63));\n#61=PARTIAL_CIRCULAR_PATH($,#64,45.);\n"
       "#62=VEE_PROFILE($,#66,60.,$);\n#63=RADIUSED_SLOT_END_TYPE();\n#64=" + Length(20) + ";\n#66=" + Length(2) + ";",
       [](const AlongFeature& f) {
         EXPECT_EQ(f.path.kind, AlongPath::PartialCircular);
         EXPECT_DOUBLE_EQ(f.path.radius, 20);
         EXPECT_DOUBLE_EQ(f.path.sweep, 45);
         EXPECT_EQ(f.shape.kind, AlongShape::Vee);
         EXPECT_DOUBLE_EQ(f.shape.profileRadius, 2);
         EXPECT_DOUBLE_EQ(f.shape.angle, 60);
         EXPECT_TRUE(std::isnan(f.shape.tilt));
         ASSERT_EQ(f.ends.size(), 1u);
         EXPECT_EQ(f.ends[0].kind, AlongEnd::Radiused);
       }},
      {"a slot along a polyline of an arc profile placed",
       "#60=SLOT('slot',#10,(#70),#30,#32,#61,#62,());\n#61=GENERAL_PATH($,#68);\n#62=PARTIAL_CIRCULAR_PROFILE(#35,#66,90.);\n"
       "#66=" + Length(10) + ";\n#68=POLYLINE('',(#13,#80,#81));\n#80=CARTESIAN_POINT('',(40.,0.,0.));\n"
       "#81=CARTESIAN_POINT('',(40.,30.,0.));\n" + at,
       [](const AlongFeature& f) {
         EXPECT_EQ(f.path.kind, AlongPath::General);
         ASSERT_TRUE(f.path.curve.read) << f.path.curve.why;
         ASSERT_EQ(f.path.curve.contour.segments.size(), 2u);
         EXPECT_DOUBLE_EQ(f.path.curve.contour.segments[1].to.y, 30);
         EXPECT_EQ(f.shape.kind, AlongShape::PartialCircular);
         EXPECT_DOUBLE_EQ(f.shape.radius, 10);
         EXPECT_DOUBLE_EQ(f.shape.sweep, 90);
         EXPECT_TRUE(f.shape.placement.read);
       }},
      {"a slot along a general path of no curve",
       "#60=SLOT('slot',#10,(#70),#30,#32,#61,#62,());\n#61=GENERAL_PATH($,$);\n" + kU16,
       [](const AlongFeature& f) {
         EXPECT_EQ(f.path.kind, AlongPath::General);
         EXPECT_FALSE(f.path.curve.read);
         EXPECT_EQ(f.path.curve.why, "the curve is unset");
       }},
      {"a step of an upright wall in a block",
       "#60=STEP('step',#10,(#70),#30,#32,#61,#62,());\n#61=LINEAR_PATH($,#64,#17);\n#62=VEE_PROFILE($,#66,90.,90.);\n#64=" +
           Length(80) + ";\n#66=" + Length(1) + ";",
       [](const AlongFeature& f) {
         EXPECT_EQ(f.kind, AlongFeature::Step);
         EXPECT_EQ(f.path.kind, AlongPath::Linear);
         EXPECT_DOUBLE_EQ(f.path.direction.y, 1);
         EXPECT_EQ(f.wall.kind, AlongShape::Vee);
         EXPECT_DOUBLE_EQ(f.wall.tilt, 90);
         EXPECT_DOUBLE_EQ(f.wall.profileRadius, 1);
         EXPECT_TRUE(f.block.given);
         EXPECT_DOUBLE_EQ(f.block.feature.origin.x, 20);
         EXPECT_DOUBLE_EQ(f.block.feature.origin.y, 40);
         EXPECT_DOUBLE_EQ(f.block.size[0], 100);
         EXPECT_DOUBLE_EQ(f.block.size[1], 80);
         EXPECT_DOUBLE_EQ(f.block.size[2], 20);
       }},
      {"an outside profile of a circle, swept four deep",
       "#60=GENERAL_OUTSIDE_PROFILE('prof',#10,(#70),#30,#32,#61,#62);\n#61=LINEAR_PATH($,#64,#19);\n"
       "#62=CIRCULAR_CLOSED_PROFILE(#30,#66);\n#64=" + Length(4) + ";\n#66=" + Length(30) + ";",
       [](const AlongFeature& f) {
         EXPECT_EQ(f.kind, AlongFeature::OutsideProfile);
         EXPECT_EQ(f.boundary.kind, AlongBoundary::Circular);
         EXPECT_FALSE(f.boundary.placement.own);
         EXPECT_DOUBLE_EQ(f.boundary.diameter, 30);
         EXPECT_DOUBLE_EQ(f.sweptDepth, 4);
       }},
      {"an outside profile of a rectangle",
       "#60=GENERAL_OUTSIDE_PROFILE('prof',#10,(#70),#30,#32,$,#62);\n#62=RECTANGULAR_CLOSED_PROFILE(#35,#66,#67);\n#66=" +
           Length(20) + ";\n#67=" + Length(40) + ";\n" + at,
       [](const AlongFeature& f) {
         EXPECT_EQ(f.boundary.kind, AlongBoundary::Rectangular);
         EXPECT_TRUE(f.boundary.placement.own);
         EXPECT_DOUBLE_EQ(f.boundary.width, 20);
         EXPECT_DOUBLE_EQ(f.boundary.length, 40);
         EXPECT_TRUE(std::isnan(f.sweptDepth));
       }},
      {"a shape profile along a line, the material below",
       "#60=GENERAL_SHAPE_PROFILE('prof',#10,(#70),#30,#32,#61,#63,#81,#62);\n#61=LINEAR_PATH($,#64,#19);\n"
       "#62=GENERAL_PROFILE($,#68);\n#63=THROUGH_PROFILE_FLOOR();\n#64=" + Length(3) +
           ";\n#68=POLYLINE('',(#13,#80));\n#80=CARTESIAN_POINT('',(50.,0.,0.));\n#81=DIRECTION('',(0.,-1.,0.));",
       [](const AlongFeature& f) {
         EXPECT_EQ(f.kind, AlongFeature::ShapeProfile);
         EXPECT_EQ(f.boundary.kind, AlongBoundary::General);
         ASSERT_TRUE(f.boundary.curve.read) << f.boundary.curve.why;
         EXPECT_FALSE(f.boundary.curve.contour.closed);
         EXPECT_TRUE(f.hasRemoval);
         EXPECT_DOUBLE_EQ(f.removal.y, -1);
       }},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    varnholt::Model model;
    const AlongFeature* along = ReadAlongOf(c.feature, c.depth, model);
    ASSERT_NE(along, nullptr);
    c.expect(*along);
  }
}

// A slot along a b-spline follows it as closely as the program's tolerance asks: the reader of
// its path is given the tolerance the program is built with.
TEST(ReadAlong, ACurvedPathIsReadAtTheProgramsTolerance) {
  RegisterTypeNames();
  RegisterEntityNames();
  const std::string feature =
      "#60=SLOT('slot',#10,(#70),#30,#32,#61,#62,(#63,#63));\n#61=GENERAL_PATH($,#68);\n#63=OPEN_SLOT_END_TYPE();\n" + kU16 +
      "\n#68=B_SPLINE_CURVE_WITH_KNOTS('',2,(#13,#80,#81),.UNSPECIFIED.,.F.,.F.,(3,3),(0.,1.),.UNSPECIFIED.);\n"
      "#80=CARTESIAN_POINT('',(40.,0.,0.));\n#81=CARTESIAN_POINT('',(40.,40.,0.));";
  TempFile file(File(feature, Operation("BOTTOM_AND_SIDE_ROUGH_MILLING", "$,$,$,$,$,0.,0."), {"ENDMILL", 6},
                     {20, 20, 20}, 3));
  CDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(file.Path()));
  CDoc::LogRoute route(doc);
  size_t count[2] = {0, 0};
  const double tolerances[2] = {0.5, 0.0005};
  for (int k = 0; k < 2; ++k) {
    varnholt::ProgramOptions options;
    options.tolerance = tolerances[k];
    const varnholt::Program program = varnholt::BuildProgram(*doc.Scope(), options);
    ASSERT_EQ(program.steps.size(), 1u);
    ASSERT_FALSE(program.steps[0].moves.empty()) << program.steps[0].reason;
    count[k] = program.steps[0].moves.size();
  }
  EXPECT_GT(count[1], count[0]) << "the finer tolerance follows the curve in more moves";
}

// Every workingstep of the real files gets moves or says why not.
TEST(GenerateAlong, EveryWorkingstepOfTheRealFilesGetsMovesOrAReason) {
  const std::vector<std::filesystem::path> files = RealFiles({VARNHOLT_CORPUS_DIR});
  if (files.empty()) GTEST_SKIP() << "no corpus at " << VARNHOLT_CORPUS_DIR;
  RegisterTypeNames();
  RegisterEntityNames();
  for (const std::filesystem::path& path : files) {
    CDoc doc;
    if (!doc.OnOpenDocument(path.string().c_str())) continue;
    CDoc::LogRoute route(doc);
    const varnholt::Program program = varnholt::BuildProgram(*doc.Scope());
    int moved = 0;
    for (const varnholt::ProgramStep& step : program.steps) {
      EXPECT_TRUE(step.moves.empty() != step.reason.empty()) << path.filename() << " " << step.name;
      moved += !step.moves.empty();
    }
    std::cout << path.filename().string() << ": " << moved << " of " << program.steps.size()
              << " workingsteps have moves\n";
  }
}

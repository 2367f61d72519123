// Open ends of slots, steps and profiles against the workpiece's stock: the tool runs out past
// an open end only where no stock is there; at one inside the stock it stays within the
// feature, as at a closed end, and the workingstep says which end and where. The features are
// given as numbers in a 100 x 50 x 40 block (or a cylinder), the moves measured in the
// feature's system.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "generate_job.h"
#include "varnholt/feature_along.h"

using namespace gen;
using varnholt::AlongEnd;
using varnholt::AlongFeature;
using varnholt::AlongPath;
using varnholt::FeatureStock;
using varnholt::ModelOperation;
using varnholt::machining_detail::GenerateAlong;

namespace {

constexpr double kR = 3;  // the end mill's radius

FeatureStock Block(Vec3 featureAt, double turn = 0) {
  FeatureStock s;
  s.kind = FeatureStock::Block;
  s.feature.origin = featureAt;
  s.feature.axis[0] = {std::cos(turn), std::sin(turn), 0};
  s.feature.axis[1] = {-std::sin(turn), std::cos(turn), 0};
  s.size[0] = 100, s.size[1] = 50, s.size[2] = 40;
  return s;
}

// Radius 40 and 40 high, its axis upright through (50, 25).
FeatureStock Cylinder(Vec3 featureAt) {
  FeatureStock s;
  s.kind = FeatureStock::Cylinder;
  s.feature.origin = featureAt;
  s.position.origin = {50, 25, 0};
  s.size[0] = 40, s.size[2] = 40;
  return s;
}

AlongPath Line(double length, Vec3 direction) {
  AlongPath p;
  p.kind = AlongPath::Linear, p.type = "linear_path";
  p.distance = length, p.hasDirection = true, p.direction = direction;
  return p;
}

AlongEnd End(AlongEnd::Kind kind) {
  AlongEnd e;
  e.kind = kind;
  e.corner1 = e.corner2 = 0;
  return e;
}

// Ten wide and five deep along x.
AlongFeature Slot(double length, AlongEnd::Kind first = AlongEnd::Open, AlongEnd::Kind second = AlongEnd::Open) {
  AlongFeature f;
  f.kind = AlongFeature::Slot;
  f.hasDepth = true, f.depth = -5;
  f.path = Line(length, {1, 0, 0});
  f.shape.kind = varnholt::AlongShape::SquareU, f.shape.width = 10;
  f.ends = {End(first), End(second)};
  return f;
}

PlainStep Job(const AlongFeature& f, const char* type, const FeatureStock& stock) {
  PlainStep step;
  step.feature.name = "#60", step.feature.type = type;
  step.feature.along = std::make_shared<AlongFeature>(f);
  step.operation.milling = step.operation.bottomAndSideMilling = true;
  step.operation.radialCuttingDepth = 3;
  step.tool.diameter = 2 * kR;
  step.stock = stock;
  return step;
}

// How far along its line (x, else y) the tool's centre goes while cutting, least and most.
std::pair<double, double> Reach(const StepRun& run, bool alongX) {
  double lo = 1e9, hi = -1e9;
  Vec3 at = run.start;
  for (const Move& m : run.moves) {
    if (Cutting(m) && m.to.z < -1e-9 && at.z < -1e-9)
      for (const Vec3& p : {at, m.to}) {
        const double v = alongX ? p.x : p.y;
        lo = std::min(lo, v), hi = std::max(hi, v);
      }
    at = m.to;
  }
  return {lo, hi};
}

// The notes' sentences on open ends, in order: "start" or "end" each.
std::vector<std::string> Closed(const StepRun& run) {
  std::vector<std::string> out;
  for (const std::string& n : run.notes) {
    if (n.find("lies inside the stock") == std::string::npos) continue;
    out.push_back(n.rfind("its open start", 0) == 0 ? "start" : "end");
  }
  return out;
}

}  // namespace

// Along its line the tool's edge stays within a closed end and reaches an open one; the ends
// inside the stock are named, with where they are in the workpiece.
TEST(OpenEnds, AnOpenEndInsideTheStockIsCutAsAClosedOne) {
  struct Case {
    const char* what;
    AlongFeature slot;
    FeatureStock stock;
    bool startClosed, endClosed;
    const char* where;  // a note's text, where one is expected
  };
  const Case cases[] = {
      {"both ends inside the block", Slot(60), Block({20, 25, 40}), true, true, "at (80, 25, 40)"},
      {"both ends on the block's faces", Slot(100), Block({0, 25, 40}), false, false, ""},
      {"running out of the block at its start", Slot(60), Block({-10, 25, 40}), false, true, "at (50, 25, 40)"},
      {"its start beyond the block", Slot(60), Block({110, 25, 40}, kPi), false, true, "at (50, 25, 40)"},
      {"turned along the block's y", Slot(30), Block({50, 0, 40}, kPi / 2), false, true, "at (50, 30, 40)"},
      {"below the block's top, its depth inside", Slot(60), Block({20, 25, 30}), true, true, "at (80, 25, 30)"},
      {"above the block", Slot(60), Block({20, 25, 60}), false, false, ""},
      {"no stock read", Slot(60), FeatureStock{}, false, false, ""},
      {"inside a cylinder", Slot(60), Cylinder({20, 25, 40}), true, true, "at (80, 25, 40)"},
      {"through a cylinder", Slot(100), Cylinder({0, 25, 40}), false, false, ""},
      {"flat ends inside the block", Slot(60, AlongEnd::Flat, AlongEnd::Flat), Block({20, 25, 40}), true, true, ""},
      {"a flat start and an open end", Slot(60, AlongEnd::Flat, AlongEnd::Open), Block({20, 25, 40}), true, true,
       "at (80, 25, 40)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const double length = c.slot.path.distance;
    const StepRun run = Generate(GenerateAlong, Job(c.slot, "slot", c.stock));
    ASSERT_FALSE(run.moves.empty()) << run.reason;
    const auto [lo, hi] = Reach(run, true);
    // The tool's edge at a closed end stays within it and reaches it; at an open end the
    // centre runs out to it.
    EXPECT_NEAR(lo, c.startClosed ? kR : 0, 1e-6);
    EXPECT_NEAR(hi, c.endClosed ? length - kR : length, 1e-6);
    std::vector<std::string> want;
    const bool startNoted = c.startClosed && c.slot.ends[0].kind == AlongEnd::Open;
    const bool endNoted = c.endClosed && c.slot.ends[1].kind == AlongEnd::Open;
    if (startNoted) want.push_back("start");
    if (endNoted) want.push_back("end");
    EXPECT_EQ(Closed(run), want);
    if (*c.where) {
      ASSERT_FALSE(run.notes.empty());
      EXPECT_NE(run.notes.back().find(c.where), std::string::npos) << run.notes.back();
    }
    // The preflight names the same ends.
    varnholt::ModelFeature feature;
    feature.type = "slot";
    feature.along = std::make_shared<AlongFeature>(c.slot);
    const auto ends = varnholt::OpenEndsInStock(feature, c.stock);
    ASSERT_EQ(ends.size(), want.size());
    for (size_t k = 0; k < ends.size(); ++k) EXPECT_EQ(ends[k].start, want[k] == "start");
  }
}

// A step's boundary and an open profile are open at both ends by what they are.
TEST(OpenEnds, StepsAndOpenProfilesStopShortOfEndsInsideTheStock) {
  {
    // Along y from the block's front face to 30 inside it, the strip right of x 85 cut away.
    AlongFeature step;
    step.kind = AlongFeature::Step;
    step.hasDepth = true, step.depth = -5;
    step.path = Line(30, {0, 1, 0});
    step.block.given = true;
    step.block.feature.origin = {85, 0, 40};
    step.block.size[0] = 100, step.block.size[1] = 50, step.block.size[2] = 40;
    const StepRun run = Generate(GenerateAlong, Job(step, "step", Block({85, 0, 40})));
    ASSERT_FALSE(run.moves.empty()) << run.reason;
    const auto [lo, hi] = Reach(run, false);
    EXPECT_NEAR(lo, 0, 1e-6);
    EXPECT_NEAR(hi, 30 - kR, 1e-6);
    EXPECT_EQ(Closed(run), std::vector<std::string>{"end"});
    // Out of the block at both ends, as the file means it.
    step.path.distance = 50;
    const StepRun through = Generate(GenerateAlong, Job(step, "step", Block({85, 0, 40})));
    ASSERT_FALSE(through.moves.empty()) << through.reason;
    EXPECT_NEAR(Reach(through, false).second, 50, 1e-6);
    EXPECT_TRUE(through.notes.empty());
  }
  {
    // Fifty along x from (20, 25), the material removed on its -y side.
    AlongFeature profile;
    profile.kind = AlongFeature::ShapeProfile;
    profile.hasDepth = true, profile.depth = -5;
    profile.hasRemoval = true, profile.removal = {0, -1, 0};
    profile.boundary.kind = varnholt::AlongBoundary::General, profile.boundary.type = "general_profile";
    profile.boundary.curve.read = true;
    profile.boundary.curve.contour.segments.push_back({{50, 0}, false, {}, false});
    // Inside the block at both ends, or from its left face; either way round the tool runs.
    for (const char* mode : {"climb", "conventional"})
      for (double x : {20.0, 0.0}) {
        SCOPED_TRACE(std::string(mode) + " from x " + std::to_string(x));
        PlainStep job = Job(profile, "general_shape_profile", Block({x, 25, 40}));
        job.operation.strategy.cutmode = mode;
        const StepRun run = Generate(GenerateAlong, job);
        ASSERT_FALSE(run.moves.empty()) << run.reason;
        const auto [lo, hi] = Reach(run, true);
        EXPECT_NEAR(lo, x > 0 ? kR : 0, 1e-6);
        EXPECT_NEAR(hi, 50 - kR, 1e-6);
        EXPECT_EQ(Closed(run), x > 0 ? (std::vector<std::string>{"start", "end"}) : std::vector<std::string>{"end"});
      }
    const StepRun free = Generate(GenerateAlong, Job(profile, "general_shape_profile", FeatureStock{}));
    EXPECT_NEAR(Reach(free, true).first, 0, 1e-6);
  }
}

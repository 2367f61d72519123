// The material-removal simulation: small programs with one planted fault each, checked through
// the JSON the command prints; the sweeps against a dense sampling of the tool's positions; the
// STL against the volume it should enclose.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <tuple>
#include <vector>

#include "simulate/run.h"
#include "simulate/stock.h"
#include "volume/curve_distance.h"
#include "varnholt/gcode.h"
#include "varnholt/simulate.h"

namespace varnholt {
namespace {

using simulate_detail::AcrossAxis;
using simulate_detail::AlongAxis;
using simulate_detail::Path;
using simulate_detail::ToolShape;

constexpr double kH = 0.1;

// A pocket's removal volume: a box in x and y with rounded vertical edges, from z0 up to z1.
class RoundedBox : public FeatureVolume {
 public:
  RoundedBox(double x0, double y0, double x1, double y1, double z0, double z1, double corner)
      : x0_(x0), y0_(y0), x1_(x1), y1_(y1), z0_(z0), z1_(z1), r_(corner) {
    bounds.Add({x0, y0, z0});
    bounds.Add({x1, y1, z1});
  }
  double Distance(const Vec3& p) const override {
    const double qx = std::fabs(p.x - (x0_ + x1_) / 2) - ((x1_ - x0_) / 2 - r_);
    const double qy = std::fabs(p.y - (y0_ + y1_) / 2) - ((y1_ - y0_) / 2 - r_);
    const double d2 = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) - r_;
    const double dz = std::max(z0_ - p.z, p.z - z1_);
    return std::hypot(std::max(d2, 0.0), std::max(dz, 0.0)) + std::min(std::max(d2, dz), 0.0);
  }
  // Below the stock's top (30) only, as a feature's volume gives it.
  double ExactVolume() const override {
    return ((x1_ - x0_) * (y1_ - y0_) - (4 - kPi) * r_ * r_) * (std::min(z1_, 30.0) - std::max(z0_, 0.0));
  }

 private:
  double x0_, y0_, x1_, y1_, z0_, z1_, r_;
};

// A stock of 100 x 100 x 30 on one or two setups; tools, features and workingsteps added by
// the cases, with the feature volumes they give.
struct Job {
  Model model;
  Program program;
  std::map<int, std::function<std::unique_ptr<FeatureVolume>()>> volumes;

  Job() {
    ModelWorkpiece w;
    w.name = "#1";
    w.stock.kind = ModelStock::Block;
    w.stock.name = "#2";
    w.stock.x = 100, w.stock.y = 100, w.stock.z = 30;
    model.workpieces.push_back(w);
    AddSetup(Placement{});
  }
  // A setup of the workpiece placed by `frame`.
  void AddSetup(const Placement& frame) {
    ModelSetup s;
    s.name = "#" + std::to_string(5 + model.setups.size());
    s.workpieces.push_back({0, true, frame});
    model.setups.push_back(s);
    program.setups.push_back({s.name, "", Placement{}});
  }
  int Tool(double diameter, double cutting) {
    ModelTool t;
    t.name = "#" + std::to_string(10 + model.tools.size());
    t.diameter = diameter;
    t.cuttingEdgeLength = cutting;
    t.overallLength = 80;
    model.tools.push_back(t);
    return static_cast<int>(model.tools.size()) - 1;
  }
  // A workingstep on a feature (made when `feature` is -1) with these moves in the setup's
  // coordinates from `start`.
  int Step(int tool, int setup, int feature, const Vec3& start, const std::vector<Move>& moves,
           double allowance = kUnset) {
    if (feature < 0) {
      ModelFeature f;
      f.name = "#" + std::to_string(20 + model.features.size());
      f.type = "closed_pocket";
      f.workpiece = 0;
      f.placed = true;
      model.features.push_back(f);
      feature = static_cast<int>(model.features.size()) - 1;
    }
    ModelOperation o;
    o.name = "#" + std::to_string(30 + model.operations.size());
    o.tool = tool;
    o.allowanceSide = o.allowanceBottom = allowance;
    model.operations.push_back(o);
    ModelWorkingstep ws;
    ws.name = "#" + std::to_string(40 + model.workingsteps.size());
    ws.feature = feature;
    ws.operation = static_cast<int>(model.operations.size()) - 1;
    model.workingsteps.push_back(ws);
    ProgramStep p;
    p.name = ws.name;
    p.type = "machining_workingstep";
    p.setup = setup;
    p.feature = model.features[feature].name;
    p.featureType = "closed_pocket";
    p.operation = o.name;
    p.tool.name = model.tools[tool].name;
    p.tool.diameter = model.tools[tool].diameter;
    p.spindle = -3000;
    p.start = start;
    p.moves = moves;
    program.steps.push_back(p);
    return feature;
  }
  SimulateResult Run(bool withVolumes = true, double resolution = kH,
                     const std::function<void(SimulateOptions&)>& tweak = {}) const {
    const GcodeResult gcode = WriteGcode(program, SimulationGcodeOptions());
    SimulateOptions options;
    options.resolution = resolution;
    if (tweak) tweak(options);
    if (withVolumes)
      options.volumes = [this](const Model&, int index, std::string& why) -> std::unique_ptr<FeatureVolume> {
        auto found = volumes.find(index);
        if (found == volumes.end()) {
          why = "none given";
          return nullptr;
        }
        return found->second();
      };
    return Simulate(model, program, gcode, options);
  }
};

Move Rapid(double x, double y, double z) {
  Move m;
  m.kind = MoveKind::Rapid;
  m.to = {x, y, z};
  return m;
}
Move Feed(double x, double y, double z) {
  Move m;
  m.kind = MoveKind::Feed;
  m.to = {x, y, z};
  m.feed = 600;
  return m;
}

// Clears [20, 60] x [20, 50] down to z with a 10 mm end mill from above: rows 4 mm apart, then
// once around at the tool's radius inside. `to` (0 to 1) is how far along x the rows go.
std::vector<Move> PocketMoves(double z, double inset = 5, double to = 1) {
  std::vector<Move> m{Rapid(40, 35, 35), Feed(40, 35, z)};
  const double x0 = 20 + inset, x1 = x0 + (60 - inset - x0) * to;
  bool right = true;
  for (double y = 20 + inset; y <= 50 - inset + 1e-9; y += (30 - 2 * inset) / 5) {
    m.push_back(Feed(right ? x0 : x1, y, z));
    m.push_back(Feed(right ? x1 : x0, y, z));
    right = !right;
  }
  if (to >= 1) {
    for (const auto& [x, y] : std::vector<std::pair<double, double>>{
             {x0, 20 + inset}, {60 - inset, 20 + inset}, {60 - inset, 50 - inset}, {x0, 50 - inset}, {x0, 20 + inset}})
      m.push_back(Feed(x, y, z));
  }
  m.push_back(Rapid(m.back().to.x, m.back().to.y, 40));
  return m;
}

std::string Json(const SimulateResult& r) {
  std::ostringstream out;
  WriteSimulateJson(r, out);
  return out.str();
}

// The findings as the JSON gives them: kind, workingstep and depth.
std::vector<std::tuple<std::string, int, double>> Findings(const SimulateResult& r) {
  const std::string json = Json(r);
  std::vector<std::tuple<std::string, int, double>> out;
  const std::regex one(R"re(\{"kind": "([a-z_]+)", "severity": "[a-z]+", "workingstep": (\d+|null)[^}]*"depth": ([-0-9.e]+))re");
  for (auto it = std::sregex_iterator(json.begin(), json.end(), one); it != std::sregex_iterator(); ++it)
    out.emplace_back((*it)[1].str(), (*it)[2].str() == "null" ? -1 : std::stoi((*it)[2].str()),
                     std::stod((*it)[3].str()));
  return out;
}

const double kPocket = (40.0 * 30 - (4 - kPi) * 25) * 10;

Job SoundPocket(double z = 20) {
  Job job;
  const int mill = job.Tool(10, 25);
  job.Step(mill, 0, -1, {40, 35, 40}, PocketMoves(z));
  job.volumes[0] = [] { return std::make_unique<RoundedBox>(20, 20, 60, 50, 20, 1030, 5); };
  return job;
}

// One planted fault per program (or none), found as the kind it is, in its workingstep, as
// deep as it is within the resolution.
TEST(Simulate, PlantedFaultsAreFoundWhereAndAsDeepAsTheyAre) {
  struct Case {
    const char* name;
    Job job;
    std::vector<std::tuple<std::string, int, double>> expected;
  };
  std::vector<Case> cases;
  cases.push_back({"sound pocket", SoundPocket(), {}});
  cases.push_back({"floor 0.5 mm too deep", SoundPocket(19.5), {{"gouge", 40, 0.5}}});
  cases.push_back({"floor 0.25 mm too deep", SoundPocket(19.75), {{"gouge", 40, 0.25}}});
  {
    // The pocket's volume ends 2 mm below the stock's top: the material above it is the part's.
    Job job = SoundPocket();
    job.volumes[0] = [] { return std::make_unique<RoundedBox>(20, 20, 60, 50, 20, 28, 5); };
    cases.push_back({"pocket cut through the part above it", job, {{"gouge", 40, 2}}});
  }
  {
    Job job = SoundPocket();
    // Down to 25 at rapid through the uncut top, 5 mm into the material.
    job.program.steps[0].moves.insert(job.program.steps[0].moves.begin() + 1, Rapid(40, 35, 25));
    cases.push_back({"rapid through uncut material", job, {{"rapid_into_material", 40, 5}}});
  }
  {
    Job job;
    const int drill = job.Tool(6, 10);
    job.Step(drill, 0, -1, {80, 80, 40}, {Rapid(80, 80, 32), Feed(80, 80, 15), Rapid(80, 80, 40)});
    job.volumes[0] = [] { return std::make_unique<RoundedBox>(77, 77, 83, 83, 15, 1030, 3); };
    cases.push_back({"drill deeper than its flutes", job, {{"shank_in_material", 40, 5}}});
  }
  {
    Job job;
    const int mill = job.Tool(10, 25);
    // Roughing leaves 1 mm on the walls and the floor; the finish goes over half the floor.
    const int f = job.Step(mill, 0, -1, {40, 35, 40}, PocketMoves(21, 6), 1.0);
    job.Step(mill, 0, f, {40, 35, 40}, PocketMoves(20, 5, 0.5));
    job.volumes[0] = [] { return std::make_unique<RoundedBox>(20, 20, 60, 50, 20, 1030, 5); };
    // Deepest in the corners, where the roughing's corner and the pocket's lie sqrt(2) apart.
    cases.push_back({"finish over half its pocket", job, {{"material_left", 41, std::sqrt(2.0)}}});
  }
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SimulateResult r = c.job.Run();
    ASSERT_TRUE(r.ok) << r.error;
    const auto found = Findings(r);
    ASSERT_EQ(found.size(), c.expected.size()) << Json(r);
    for (size_t k = 0; k < found.size(); ++k) {
      EXPECT_EQ(std::get<0>(found[k]), std::get<0>(c.expected[k]));
      EXPECT_EQ(std::get<1>(found[k]), std::get<1>(c.expected[k]));
      EXPECT_NEAR(std::get<2>(found[k]), std::get<2>(c.expected[k]), kH) << Json(r);
    }
    // A floor cut too deep gouges the part (deeper than the resolution outside the pocket's
    // volume) under the pocket's outline: its area times the depth less the resolution.
    for (const SimFinding& f : r.findings)
      if (f.kind == "gouge") {
        const double expected = kPocket / 10 * (f.depth - kH);
        EXPECT_NEAR(f.volume, expected, 0.1 * expected) << Json(r);
      }
  }
}

// The shank's depth is measured along the tool's axis, where the rays are exact: a shank that
// starts a little too high shows.
TEST(Simulate, ShankDepthIsExactAlongTheAxis) {
  Job job;
  const int drill = job.Tool(6, 10);
  job.Step(drill, 0, -1, {80, 80, 40}, {Rapid(80, 80, 32), Feed(80, 80, 15), Rapid(80, 80, 40)});
  const SimulateResult r = job.Run(false);
  ASSERT_EQ(r.findings.size(), 1u);
  EXPECT_EQ(r.findings[0].kind, "shank_in_material");
  EXPECT_NEAR(r.findings[0].depth, 5.0, 0.01);
  EXPECT_EQ(r.findings[0].move, 1);
  EXPECT_GT(r.findings[0].gcodeLine, 0);
}

// A second setup holds the workpiece turned over and cuts from below into the pocket cut from
// above: it goes on from what the first setup left.
// The sound pocket, then the workpiece turned over in a second setup and a pocket designed 15
// deep from below cut 22 deep, 2 mm into the pocket above.
Job TurnedOver() {
  Job job = SoundPocket();
  Placement over;
  over.origin = {0, 100, 30};
  over.axis[1] = {0, -1, 0};
  over.axis[2] = {0, 0, -1};
  job.AddSetup(over);
  job.Step(0, 1, -1, {40, 65, 40},
           {Rapid(40, 65, 32), Feed(40, 65, 8), Feed(35, 65, 8), Feed(45, 65, 8), Rapid(45, 65, 40)});
  job.volumes[1] = [] { return std::make_unique<RoundedBox>(30, 30, 50, 40, -1000, 15, 5); };
  return job;
}

TEST(Simulate, SecondSetupFromBelowGoesOnFromTheFirst) {
  const SimulateResult r = TurnedOver().Run();
  ASSERT_TRUE(r.ok) << r.error;
  const auto found = Findings(r);
  ASSERT_EQ(found.size(), 1u) << Json(r);
  EXPECT_EQ(std::get<0>(found[0]), "gouge");
  EXPECT_EQ(std::get<1>(found[0]), 41);
  // Half way between the two pockets' floors (15 and 20) lies deepest in the part.
  EXPECT_NEAR(std::get<2>(found[0]), 2.5, kH);
  // The stock after both: the pocket from above, and from below all but what the first took.
  const double below = (20.0 * 10 - (4 - kPi) * 25) * 22, overlap = (20.0 * 10 - (4 - kPi) * 25) * 2;
  EXPECT_NEAR(r.stockVolumeAfter, 300000 - kPocket - below + overlap, 0.01 * (kPocket + below));
  EXPECT_NEAR(r.steps[1].removedVolume, below - overlap, 0.01 * below);
}

// A viewer steps through the stock after each workingstep from one run, and may stop a long one.
TEST(Simulate, StepsKeepTheirStockAndProgressCanStop) {
  Job job = TurnedOver();
  std::vector<int> told;
  const SimulateResult r = job.Run(true, 0.5, [&](SimulateOptions& o) {
    o.keepSteps = true;
    o.progress = [&](int percent) {
      told.push_back(percent);
      return true;
    };
  });
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_FALSE(r.cancelled);
  EXPECT_EQ(told, (std::vector<int>{0, 50}));
  ASSERT_EQ(r.steps.size(), 2u);
  ASSERT_TRUE(r.steps[0].stockAfter && r.steps[1].stockAfter);
  EXPECT_NE(r.steps[0].stockAfter, r.steps[1].stockAfter);
  EXPECT_EQ(r.steps[1].stockWorkpiece, 0);
  // The copy after the first step is not cut by the second.
  EXPECT_NEAR(r.stockVolume - r.steps[0].stockAfter->Volume(), r.steps[0].removedVolume, 1e-6 * r.stockVolume);
  EXPECT_NEAR(r.steps[1].stockAfter->Volume(), r.stockVolumeAfter, 1e-6 * r.stockVolume);

  // After the first step the gouge of the second is not there yet.
  SimulateResult first;
  ASSERT_TRUE(ResultAfterStep(r, 0, first));
  EXPECT_EQ(first.steps.size(), 1u);
  EXPECT_TRUE(first.findings.empty()) << Json(first);
  EXPECT_EQ(first.stock, r.steps[0].stockAfter);
  SimulateResult second;
  ASSERT_TRUE(ResultAfterStep(r, 1, second));
  EXPECT_EQ(second.findings.size(), r.findings.size());
  EXPECT_FALSE(ResultAfterStep(r, 2, second));
  // Without keepSteps there is nothing to step through.
  EXPECT_FALSE(ResultAfterStep(job.Run(true, 0.5), 0, second));

  const SimulateResult stopped = job.Run(true, 0.5, [](SimulateOptions& o) {
    o.keepSteps = true;
    o.progress = [](int percent) { return percent < 50; };
  });
  EXPECT_TRUE(stopped.cancelled);
  EXPECT_FALSE(stopped.ok);
  EXPECT_FALSE(stopped.error.empty());
  EXPECT_TRUE(stopped.steps.empty() && stopped.findings.empty() && !stopped.stock);
}

TEST(Simulate, PocketVolumesAgreeWithTheExactOnes) {
  const SimulateResult r = SoundPocket().Run();
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_NEAR(r.steps[0].removedVolume, kPocket, 0.01 * kPocket);
  EXPECT_NEAR(r.stockVolume - r.stockVolumeAfter, kPocket, 0.01 * kPocket);
  ASSERT_EQ(r.features.size(), 1u);
  EXPECT_NEAR(r.features[0].removedVolume, kPocket, 0.01 * kPocket);
  EXPECT_LT(r.features[0].leftVolume, 0.01 * kPocket);
  EXPECT_NEAR(r.steps[0].axialEngagement, 10, kH);
  EXPECT_NEAR(r.steps[0].radialEngagement, 10, kH);
}

// The rays of the three axes hold the same solid: a pocket cleared in two levels, then its floor
// finished 0.2 mm deeper, leaves each grid with the volume the others have. A sweep that passes
// over material just under the tool, or rays across the axis not looked at high enough, leaves
// one grid's material standing where the others' is gone.
TEST(Simulate, TheThreeAxesRaysAgreeAfterLevelsAndALightFinish) {
  Job job;
  const int mill = job.Tool(10, 25);
  std::vector<Move> moves = PocketMoves(25);
  const std::vector<Move> second = PocketMoves(20);
  moves.insert(moves.end(), second.begin(), second.end());
  job.Step(mill, 0, -1, {40, 35, 40}, moves);
  job.Step(mill, 0, 0, {40, 35, 40}, PocketMoves(19.8));
  job.volumes[0] = [] { return std::make_unique<RoundedBox>(20, 20, 60, 50, 19.8, 1030, 5); };
  const SimulateResult r = job.Run();
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_TRUE(r.stock);
  const double removed = (40.0 * 30 - (4 - kPi) * 25) * 10.2;
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE("rays along axis " + std::to_string(k));
    EXPECT_NEAR(r.stockVolume - r.stock->grid[k].Volume(), removed, 0.005 * removed);
  }
  EXPECT_TRUE(Findings(r).empty()) << Json(r);
}

// A spring pass 5 microns below a floor takes its 5 microns over the floor's area: the floor
// it finds is kept as floats, a hair off the level it was cut at, and is not passed over. (The
// rays across the axis see no slab between their rows: the rays along it tell.)
TEST(Simulate, ASpringPassTakesItsMicrons) {
  double along[2] = {0, 0};
  for (int passes = 1; passes <= 2; ++passes) {
    Job job;
    const int mill = job.Tool(10, 25);
    job.Step(mill, 0, -1, {40, 35, 40}, PocketMoves(25.3));
    if (passes == 2) job.Step(mill, 0, 0, {40, 35, 40}, PocketMoves(25.295));
    job.volumes[0] = [] { return std::make_unique<RoundedBox>(20, 20, 60, 50, 25.295, 1030, 5); };
    const SimulateResult r = job.Run();
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_TRUE(r.stock);
    along[passes - 1] = r.stock->grid[2].Volume();
    EXPECT_TRUE(Findings(r).empty()) << Json(r);
  }
  const double area = 40.0 * 30 - (4 - kPi) * 25;
  EXPECT_NEAR(along[0] - along[1], area * 0.005, 0.05 * area * 0.005);
}

// What is not simulated says why, and the rest goes on.
TEST(Simulate, WhatCannotBeSimulatedIsReported) {
  Job job = SoundPocket();
  job.model.workpieces[0].stock.kind = ModelStock::Other;
  job.model.workpieces[0].stock.type = "ngon_closed_profile";
  SimulateResult r = job.Run();
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("ngon_closed_profile"), std::string::npos);

  // Far too fine a resolution is refused before anything is allocated.
  Job big = SoundPocket();
  big.model.workpieces[0].stock.x = big.model.workpieces[0].stock.y = 5000;
  GcodeOptions g;
  g.allowPartial = true;
  g.acceptImplausible = true;  // the moves are what is proved here, not the feeds
  SimulateOptions options;
  options.resolution = 0.01;
  r = Simulate(big.model, big.program, WriteGcode(big.program, g), options);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("MiB"), std::string::npos);

  // A tool axis along none of the workpiece's axes leaves that workingstep out.
  Job tilted = SoundPocket();
  Placement turned;
  turned.axis[1] = {0, std::cos(0.3), std::sin(0.3)};
  turned.axis[2] = {0, -std::sin(0.3), std::cos(0.3)};
  tilted.model.setups[0].workpieces[0].frame = turned;
  r = tilted.Run();
  ASSERT_TRUE(r.ok);
  EXPECT_FALSE(r.steps[0].simulated);
  EXPECT_NE(r.steps[0].reason.find("axis"), std::string::npos);
}

// Every ray along the axis whose centre the swept disk covers is cut to the floor, every other
// one is left whole: a line out to the right, then a quarter arc counter-clockwise about (50, 50).
TEST(Simulate, RaysAlongTheAxisAreCutExactlyWhereTheToolPasses) {
  Job job;
  const int mill = job.Tool(6, 25);
  Move arc;
  arc.kind = MoveKind::Arc;
  arc.to = {50, 70, 25};
  arc.center = {50, 50, 25};
  arc.feed = 600;
  job.Step(mill, 0, -1, {30, 50, 40}, {Rapid(30, 50, 35), Feed(30, 50, 25), Feed(70, 50, 25), arc, Rapid(50, 70, 40)});
  const SimulateResult r = job.Run(false);
  ASSERT_TRUE(r.ok && r.stock) << r.error << (r.steps.empty() ? std::string() : r.steps[0].reason);
  const simulate_detail::DexelGrid& g = r.stock->grid[2];
  int wrong = 0, cut = 0;
  for (int j = 0; j < g.n2; ++j)
    for (int i = 0; i < g.n1; ++i) {
      const double x = g.C1(i), y = g.C2(j);
      const double line = y >= 47 && y <= 53 ? (x >= 30 && x <= 70 ? std::fabs(y - 50) : 1e9) : 1e9;
      const double ends = std::min(std::hypot(x - 30, y - 50), std::hypot(x - 70, y - 50));
      const double angle = std::atan2(y - 50, x - 50);
      const double ring = angle >= 0 && angle <= kPi / 2 ? std::fabs(std::hypot(x - 50, y - 50) - 20)
                                                          : std::hypot(x - 50, y - 70);
      const double d = std::min({line, ends, ring});
      if (std::fabs(d - 3) < 1e-6) continue;
      const double length = g.Length(g.Index(i, j));
      const bool inside = d < 3;
      if (inside) ++cut;
      if (inside ? std::fabs(length - 25) > 1e-4 : std::fabs(length - 30) > 1e-4) ++wrong;
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(cut, 3000);
}

// ---- the sweeps against the tool's positions sampled densely ----

Path Line(Vec3 a, Vec3 b) {
  Path p;
  p.a = a, p.b = b;
  return p;
}

// The interval the tool covers on a ray, from many positions along the path: each position's
// tool as a solid of revolution.
void Sampled(const Path& path, const ToolShape& tool, int along, double c1, double c2, double& lo, double& hi) {
  lo = 1e300, hi = -1e300;
  for (int k = 0; k <= 20000; ++k) {
    const Vec3 p = path.At(k / 20000.0);
    if (along == 2) {
      const double r = std::hypot(c1 - p.x, c2 - p.y);
      if (r > tool.radius) continue;
      lo = std::min(lo, p.z + tool.Lift(r));
      hi = std::max(hi, p.z + tool.cutting);
    } else {
      // Across: the ray along u (along 0) at v = c1, w = c2.
      const double z = c2 - p.z;
      if (z < 0 || z > tool.cutting) continue;
      const double rho = tool.RadiusAt(z), d = c1 - (along == 0 ? p.y : p.x);
      if (std::fabs(d) > rho) continue;
      const double s = std::sqrt(rho * rho - d * d), pc = along == 0 ? p.x : p.y;
      lo = std::min(lo, pc - s);
      hi = std::max(hi, pc + s);
    }
  }
}

TEST(Simulate, SweepsAgreeWithTheToolSampledAlongTheMove) {
  ToolShape ball;
  ball.radius = 3, ball.corner = 3, ball.cutting = 12, ball.top = 12;
  ToolShape bull = ball;
  bull.corner = 1;
  ToolShape drill = ball;
  drill.corner = 0, drill.halfAngle = 59 * kPi / 180;
  Path helix;
  helix.arc = true;
  helix.cu = 1, helix.cv = -2, helix.rho = 4, helix.phi0 = 0.3, helix.dphi = 1.2, helix.w0 = 2, helix.dw = -1.5;
  Path level = helix;
  level.dw = 0;
  level.dphi = -1.4;
  const std::vector<Path> paths{Line({-5, -1, 3}, {6, 2, 3}), Line({-4, 0, 5}, {5, 1, 0}), Line({0, 0, 6}, {0, 0, -2}),
                                helix, level};
  std::mt19937 random(7);
  std::uniform_real_distribution<double> spot(-9, 9), height(-3, 9);
  for (const ToolShape& tool : {ball, bull, drill})
    for (size_t k = 0; k < paths.size(); ++k) {
      int met = 0;
      for (int n = 0; n < 300; ++n) {
        const int along = n % 3 == 0 ? 2 : n % 3 == 1 ? 0 : 1;
        const double c1 = spot(random), c2 = along == 2 ? spot(random) : height(random);
        double lo, hi;
        Sampled(paths[k], tool, along, c1, c2, lo, hi);
        const simulate_detail::Cover c = along == 2 ? AlongAxis(paths[k], tool, c1, c2, 1e-4)
                                                    : AcrossAxis(paths[k], tool, along, c1, c2, 1e-4);
        SCOPED_TRACE("path " + std::to_string(k) + " ray " + std::to_string(along) + " at " + std::to_string(c1) +
                     ", " + std::to_string(c2));
        if (lo > hi) {
          // Sampling may miss a graze; the sweep may only reach a hair further.
          if (c.cut && along != 2) {
            EXPECT_LT(c.cutHi - c.cutLo, 0.05);
          }
          continue;
        }
        ++met;
        ASSERT_TRUE(c.cut);
        // The exact sweep never covers less than the sampled positions.
        EXPECT_LE(c.cutLo, lo + 1e-3);
        EXPECT_GE(c.cutHi, hi - 1e-3);
        EXPECT_NEAR(c.cutLo, lo, along == 2 ? 0.01 : 0.05);
        EXPECT_NEAR(c.cutHi, hi, along == 2 ? 0.01 : 0.05);
      }
      EXPECT_GT(met, 30);
    }
}

// The closed forms (the reach of a ramp or helix over a ray, the cylindrical part and the shank
// across the axis) against the searches over the whole move they stand for, on random moves:
// lines and helix pieces of every slope, each tool end, rays all about them.
TEST(Simulate, ClosedFormSweepsAgreeWithTheSearches) {
  ToolShape flat;
  flat.radius = 2.5, flat.cutting = 10, flat.top = 30;
  ToolShape ball = flat;
  ball.corner = 2.5;
  ToolShape bull = flat;
  bull.corner = 0.8;
  ToolShape drill = flat;
  drill.halfAngle = 59 * kPi / 180;
  std::mt19937 random(11);
  std::uniform_real_distribution<double> at(-8, 8), turn(-kPi / 2, kPi / 2), angle(-kPi, kPi), rise(-6, 6);
  int compared = 0, differ = 0;
  for (int n = 0; n < 400; ++n) {
    Path path;
    if (n % 2 == 0) {
      path = Line({at(random), at(random), rise(random)}, {at(random), at(random), rise(random)});
      if (n % 10 == 0) path.b.z = path.a.z;  // level lines too
    } else {
      // Pieces as SplitArc leaves them: at most a quarter turn.
      path.arc = true;
      path.cu = at(random) / 2, path.cv = at(random) / 2, path.rho = 1 + std::fabs(at(random)) / 2;
      path.phi0 = angle(random), path.dphi = turn(random), path.w0 = rise(random), path.dw = rise(random);
      if (n % 10 == 1) path.dw = 0;
    }
    const ToolShape& tool = n % 4 == 0 ? flat : n % 4 == 1 ? ball : n % 4 == 2 ? bull : drill;
    for (int k = 0; k < 40; ++k) {
      const int along = k % 3 == 0 ? 2 : k % 3 == 1 ? 0 : 1;
      const double c1 = at(random) * 1.3, c2 = along == 2 ? at(random) * 1.3 : rise(random) * 2;
      SCOPED_TRACE("move " + std::to_string(n) + " ray " + std::to_string(along) + " at " + std::to_string(c1) + ", " +
                   std::to_string(c2));
      const simulate_detail::Cover fast = along == 2 ? AlongAxis(path, tool, c1, c2, 1e-4)
                                                     : AcrossAxis(path, tool, along, c1, c2, 1e-4);
      const simulate_detail::Cover slow = along == 2 ? AlongAxis(path, tool, c1, c2, 1e-4, true)
                                                     : AcrossAxis(path, tool, along, c1, c2, 1e-4, true);
      // A ray the search finds only a graze on may be missed by a hair either way.
      if (fast.cut != slow.cut) {
        const simulate_detail::Cover& one = fast.cut ? fast : slow;
        EXPECT_LT(one.cutHi - one.cutLo, along == 2 ? 1e9 : 1e-3);
        if (along == 2) ADD_FAILURE() << "a ray along the axis is cut by one and not the other";
        continue;
      }
      if (!fast.cut) continue;
      ++compared;
      // The closed forms are exact; the searches stop within their tolerance (the bisection of
      // the reach within 1e-3 of the move).
      const double tol = along == 2 ? 2e-2 : 2e-3;
      EXPECT_NEAR(fast.cutLo, slow.cutLo, tol);
      EXPECT_NEAR(fast.cutHi, slow.cutHi, tol);
      if (std::fabs(fast.cutLo - slow.cutLo) > 1e-9 || std::fabs(fast.cutHi - slow.cutHi) > 1e-9) ++differ;
      ASSERT_EQ(fast.shank, slow.shank);
      if (fast.shank) {
        EXPECT_NEAR(fast.shankLo, slow.shankLo, tol);
        EXPECT_NEAR(fast.shankHi, slow.shankHi, tol);
      }
    }
  }
  EXPECT_GT(compared, 2000);
  EXPECT_GT(differ, 0);  // the two ways are not one
}

// The gouge check's stretches found clear, per ray and per tile of 64 rays: a tile holds only
// what all of its rays hold, and nothing while one of them has none.
TEST(Simulate, ClearStretchesOfATileAreWhatAllItsRaysShare) {
  simulate_detail::PartCache cache;
  cache.Prepare(100);  // a whole tile and part of one
  EXPECT_FALSE(cache.Within(5, 1, 2));
  for (size_t ray = 0; ray < 64; ++ray)
    cache.Set(ray, ray == 9 ? 3.0f : ray == 50 ? 4.0f : 0.0f, ray == 40 ? 8.0f : 10.0f);
  cache.Settle(0);
  EXPECT_TRUE(cache.Within(0, 4.5, 7.5));   // the tile's own
  EXPECT_TRUE(cache.Within(1, 0.5, 9.5));   // the ray's own, beyond the tile's
  EXPECT_FALSE(cache.Within(9, 0.5, 2.5));  // below ray 9's, within the others'
  EXPECT_FALSE(cache.Within(40, 8.5, 9));   // above ray 40's
  EXPECT_FALSE(cache.Within(3, 9, 11));
  // A ray of the tile with nothing found: the tile holds nothing, its rays still what they hold.
  cache.Set(20, 1.0f, 0.0f);
  cache.Settle(0);
  EXPECT_FALSE(cache.Within(20, 4, 5));
  EXPECT_TRUE(cache.Within(21, 4, 5));
  // The last tile, cut short by the grid's end, from the rays it has.
  for (size_t ray = 64; ray < 100; ++ray) cache.Set(ray, 2.0f, 6.0f);
  cache.Settle(1);
  EXPECT_TRUE(cache.Within(70, 2.5, 5.5));
  EXPECT_FALSE(cache.Within(70, 1.5, 5.5));
  EXPECT_FALSE(cache.Within(50, 2.5, 5.5));  // its tile's, not the next one's
}

// The sweep's shortcut for level lines gives the cover AlongAxis gives, for every kind of end,
// a line standing still, and rays at the edge of the tool's reach; it takes nothing else.
TEST(Simulate, LevelLinesCoverRaysAlongTheAxisAsTheGeneralSweepDoes) {
  ToolShape flat;
  flat.radius = 2.5, flat.cutting = 10, flat.top = 30;
  ToolShape ball = flat, bull = flat, drill = flat, bare = flat;
  ball.corner = 2.5;
  bull.corner = 0.8;
  drill.halfAngle = 59 * kPi / 180;
  bare.top = bare.cutting;  // no shank above the flutes
  std::mt19937 random(5);
  std::uniform_real_distribution<double> at(-8, 8);
  int cut = 0, missed = 0;
  for (int n = 0; n < 300; ++n) {
    const double w = at(random);
    Path path = Line({at(random), at(random), w}, {at(random), at(random), w});
    if (n % 7 == 0) path.b = path.a;
    const ToolShape* tools[] = {&flat, &ball, &bull, &drill, &bare};
    const ToolShape& tool = *tools[n % 5];
    const simulate_detail::LevelLine line(path, tool);
    ASSERT_TRUE(line.Ok());
    for (int k = 0; k < 40; ++k) {
      const double u = at(random) * 1.3, v = at(random) * 1.3;
      const simulate_detail::Cover want = AlongAxis(path, tool, u, v, 1e-4), got = line.At(u, v);
      ASSERT_EQ(got.cut, want.cut) << "move " << n << " at " << u << ", " << v;
      if (!got.cut) {
        ++missed;
        continue;
      }
      ++cut;
      EXPECT_NEAR(got.cutLo, want.cutLo, 1e-9);
      EXPECT_NEAR(got.cutHi, want.cutHi, 1e-9);
      ASSERT_EQ(got.shank, want.shank);
      if (got.shank) {
        EXPECT_NEAR(got.shankLo, want.shankLo, 1e-9);
        EXPECT_NEAR(got.shankHi, want.shankHi, 1e-9);
      }
    }
  }
  EXPECT_GT(cut, 1000);
  EXPECT_GT(missed, 1000);
  Path ramp = Line({0, 0, 0}, {5, 0, -1});
  EXPECT_FALSE(simulate_detail::LevelLine(ramp, flat).Ok());
}

// The reach of a helix over rays along its axis, worked out by hand: where the tool comes onto the
// ray and leaves it, and a ray the tool passes over at both ends of a piece but not between.
TEST(Simulate, HelixReachOverRaysAlongTheAxisIsWhereTheToolEntersAndLeaves) {
  ToolShape flat;
  flat.radius = 1, flat.cutting = 10, flat.top = 10;
  Path helix;
  helix.arc = true;
  helix.cu = 0, helix.cv = 0, helix.rho = 3, helix.phi0 = 0, helix.dphi = 1.5 * kPi, helix.w0 = 0, helix.dw = -3;
  std::vector<Path> pieces;
  simulate_detail::SplitArc(helix, pieces);
  ASSERT_EQ(pieces.size(), 3u);
  // The ray at angle 0 on the circle: the tool stands over it at the start of the first piece only.
  const simulate_detail::Cover first = AlongAxis(pieces[0], flat, 3, 0, 1e-4);
  ASSERT_TRUE(first.cut);
  EXPECT_NEAR(first.cutLo, 1 * -3.0 * (std::acos((9 + 9 - 1) / 18.0) / (1.5 * kPi)), 1e-9);
  EXPECT_NEAR(first.cutHi, 10, 1e-9);
  // A ray at 45 degrees, over which the helix passes once, inside the first piece.
  const double a = kPi / 4, alpha = std::acos((9 + 9 - 1) / 18.0);
  const simulate_detail::Cover mid = AlongAxis(pieces[0], flat, 3 * std::cos(a), 3 * std::sin(a), 1e-4);
  ASSERT_TRUE(mid.cut);
  const double wIn = -3 * (a - alpha) / (1.5 * kPi), wOut = -3 * (a + alpha) / (1.5 * kPi);
  EXPECT_NEAR(mid.cutLo, wOut, 1e-9);
  EXPECT_NEAR(mid.cutHi, wIn + 10, 1e-9);
  EXPECT_FALSE(mid.shank);
  // A tool of radius 4 about a piece of radius 3, on a ray 1.2 from the centre opposite the
  // piece's middle: over it at both ends, not at the middle. The cut runs from the lowest end up
  // to the cutting length above the highest.
  ToolShape wide = flat;
  wide.radius = 4;
  const double back = kPi / 4 + kPi;
  const simulate_detail::Cover both = AlongAxis(pieces[0], wide, 1.2 * std::cos(back), 1.2 * std::sin(back), 1e-4);
  ASSERT_TRUE(both.cut);
  EXPECT_NEAR(both.cutLo, pieces[0].W(1), 1e-9);
  EXPECT_NEAR(both.cutHi, pieces[0].W(0) + 10, 1e-9);
}

// A plan's signed distance keeps its last answers: asked again at the same point it must give
// what it gave, for each of several curves asked in turn, and a curve built anew at the same
// place in memory must not answer with what the old one kept.
TEST(Simulate, KeptPlanDistancesBelongToTheirCurve) {
  volume::Curve2 square, circle;
  std::string why;
  ASSERT_TRUE(square.Build(volume::RoundedRectangle(10, 10, 0), why)) << why;
  ASSERT_TRUE(circle.Build(volume::RoundedRectangle(4, 4, 2), why)) << why;
  const Vec2 p{1, 0.5};
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(square.Signed(p), -4, 1e-12);
    EXPECT_NEAR(circle.Signed(p), std::hypot(1, 0.5) - 2, 1e-12);
    EXPECT_NEAR(square.Signed({7, 0.5}), 2, 1e-12);
  }
  // Curves built one after another share the place their answers are kept in, every eighth:
  // asked in turn at one point, each must still give its own.
  std::vector<volume::Curve2> circles(12);
  for (size_t k = 0; k < circles.size(); ++k)
    ASSERT_TRUE(circles[k].Build(volume::RoundedRectangle(2.0 + k, 2.0 + k, 1.0 + k / 2.0), why)) << why;
  for (int round = 0; round < 2; ++round)
    for (size_t k = 0; k < circles.size(); ++k) EXPECT_NEAR(circles[k].Signed(p), std::hypot(1, 0.5) - (1.0 + k / 2.0), 1e-12);
  ASSERT_TRUE(square.Build(volume::RoundedRectangle(2, 2, 0), why)) << why;
  EXPECT_NEAR(square.Signed(p), 0, 1e-12);
  ASSERT_TRUE(square.Build(volume::RoundedRectangle(1, 1, 0), why)) << why;
  EXPECT_NEAR(square.Signed(p), std::hypot(0.5, 0), 1e-12);
}

// ---- the mesh ----

TEST(Simulate, StlIsClosedAndEnclosesTheStockAfter) {
  // Coarser than the other cases: meshing is what takes long here.
  const SimulateResult r = SoundPocket().Run(false, 0.25);
  std::ostringstream out;
  double volume = 0;
  std::string why;
  ASSERT_TRUE(WriteStockStl(r, out, volume, why)) << why;
  const std::string stl = out.str();
  ASSERT_GT(stl.size(), 84u);
  uint32_t count = 0;
  std::memcpy(&count, stl.data() + 80, 4);
  ASSERT_EQ(stl.size(), 84 + 50 * static_cast<size_t>(count));
  std::map<std::tuple<float, float, float>, int> ids;
  std::map<std::pair<int, int>, int> edges;
  double enclosed = 0;
  for (uint32_t t = 0; t < count; ++t) {
    float f[12];
    std::memcpy(f, stl.data() + 84 + 50 * t, 48);
    int id[3];
    double p[3][3];
    for (int k = 0; k < 3; ++k) {
      const auto key = std::make_tuple(f[3 + 3 * k], f[4 + 3 * k], f[5 + 3 * k]);
      id[k] = ids.emplace(key, static_cast<int>(ids.size())).first->second;
      for (int c = 0; c < 3; ++c) p[k][c] = f[3 + 3 * k + c];
    }
    for (int k = 0; k < 3; ++k) ++edges[{std::min(id[k], id[(k + 1) % 3]), std::max(id[k], id[(k + 1) % 3])}];
    enclosed += (p[0][0] * (p[1][1] * p[2][2] - p[1][2] * p[2][1]) - p[0][1] * (p[1][0] * p[2][2] - p[1][2] * p[2][0]) +
                 p[0][2] * (p[1][0] * p[2][1] - p[1][1] * p[2][0])) / 6;
  }
  size_t open = 0;
  for (const auto& e : edges) {
    if (e.second != 2) ++open;
  }
  EXPECT_EQ(open, 0u);
  EXPECT_NEAR(enclosed, volume, 1e-6 * volume + 1);
  EXPECT_NEAR(volume, r.stockVolumeAfter, 0.005 * r.stockVolumeAfter);
}

// The rays keep one or two intervals in place and more in a shared pool: random cuts, each
// held against a plain list, pass every ray through none, one, two and many intervals and
// back, and pool lists freed by one ray are taken up by another.
TEST(Simulate, RaysHoldWhatIsLeftThroughEveryNumberOfIntervals) {
  using simulate_detail::DexelGrid;
  using simulate_detail::Interval;
  DexelGrid g;
  const double corner[3] = {0, 0, 0};
  g.Init(2, corner, 1.0, 3, 2);
  std::vector<std::vector<Interval>> plain(g.Rays());
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 3; ++i) {
      g.Set(g.Index(i, j), {0, 100});
      plain[g.Index(i, j)] = {{0, 100}};
    }
  std::mt19937 random(7);
  std::uniform_real_distribution<double> at(-5, 105), width(0.1, 30);
  std::vector<Interval> got;
  size_t seen[4] = {0, 0, 0, 0};
  for (int cut = 0; cut < 20000; ++cut) {
    const size_t ray = g.Index(static_cast<int>(random() % 3), static_cast<int>(random() % 2));
    std::vector<Interval>& want = plain[ray];
    if (cut % 997 == 0) {  // a fresh block now and then, so the rays fill up again
      g.Set(ray, {0, 100});
      want = {{0, 100}};
      continue;
    }
    const double lo = at(random), hi = lo + (cut % 5 == 0 ? width(random) : width(random) / 20);
    std::vector<Interval> kept;
    double wantTaken = 0;
    for (const Interval& in : want) {
      const double cutLo = std::max<double>(in.lo, lo), cutHi = std::min<double>(in.hi, hi);
      if (cutHi > cutLo) wantTaken += cutHi - cutLo;
      if (in.hi <= lo || in.lo >= hi) {
        kept.push_back(in);
        continue;
      }
      if (in.lo < lo) kept.push_back({in.lo, static_cast<float>(lo)});
      if (in.hi > hi) kept.push_back({static_cast<float>(hi), in.hi});
    }
    double pieces = 0;
    const double taken = g.Subtract(ray, lo, hi, [&](double a, double b) {
      EXPECT_LT(a, b);
      pieces += b - a;
    });
    want = kept;
    ASSERT_NEAR(taken, wantTaken, 1e-9) << "cut " << cut;
    ASSERT_NEAR(pieces, taken, 1e-9) << "cut " << cut;
    g.Get(ray, got);
    ASSERT_EQ(got.size(), want.size()) << "cut " << cut;
    for (size_t k = 0; k < got.size(); ++k) {
      ASSERT_EQ(got[k].lo, want[k].lo) << "cut " << cut << " interval " << k;
      ASSERT_EQ(got[k].hi, want[k].hi) << "cut " << cut << " interval " << k;
    }
    ASSERT_EQ(g.Empty(ray), want.empty());
    ++seen[std::min<size_t>(want.size(), 3)];
  }
  for (size_t n : seen) EXPECT_GT(n, 100u);
  double length = 0;
  for (const auto& list : plain)
    for (const Interval& in : list) length += static_cast<double>(in.hi) - static_cast<double>(in.lo);
  EXPECT_NEAR(g.Volume(), length, 1e-6);

  // Two intervals in the ray, cut across the gap between them: the ends either side are left.
  const size_t ray = g.Index(0, 0);
  g.Set(ray, {0, 30});
  g.Subtract(ray, 10, 20, [](double, double) {});
  EXPECT_NEAR(g.Subtract(ray, 5, 25, [](double, double) {}), 10, 1e-9);
  g.Get(ray, got);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].lo, 0);
  EXPECT_EQ(got[0].hi, 5);
  EXPECT_EQ(got[1].lo, 25);
  EXPECT_EQ(got[1].hi, 30);
  // Split again, into three: into the pool.
  EXPECT_NEAR(g.Subtract(ray, 1, 2, [](double, double) {}), 1, 1e-9);
  g.Get(ray, got);
  EXPECT_EQ(got.size(), 3u);
}

}  // namespace
}  // namespace varnholt

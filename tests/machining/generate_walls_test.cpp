// Walls and floors to size: a pocket whose floor meets its walls in a fillet, a slot whose U
// has round corners, and slots of curved cross-section are measured after the generator for
// what they leave standing above the surface the feature defines, and for cuts below it. The
// measure is geometric: the lowest the tool's end comes over each point of a grid (or of a
// cross-section) from the cutting moves, held against the feature's surface there. The same
// measure is taken on the samples and on the corpus file with curved slots.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <cmath>
#include <functional>
#include <iostream>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "generate_fixture.h"
#include "plain_job.h"
#include "varnholt/feature_along.h"
#include "varnholt/feature_area.h"

using varnholt::AlongEnd;
using varnholt::AlongFeature;
using varnholt::AlongPath;
using varnholt::AlongShape;
using varnholt::AreaFeature;
using varnholt::AreaProfile;
using varnholt::kUnset;
using varnholt::ModelOperation;
using varnholt::Move;
using varnholt::MoveKind;
using varnholt::Vec3;

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// The tool's end: how far above its tip its surface lies at a distance from its axis.
struct End {
  double radius, corner;
  double Lift(double s) const {
    const double d = std::fabs(s) - (radius - corner);
    return d <= 0 ? 0.0 : corner - std::sqrt(std::max(0.0, corner * corner - d * d));
  }
};

// Points along the cutting moves, no farther apart than a tenth of a millimetre.
std::vector<Vec3> CutPoints(const Vec3& start, const std::vector<Move>& moves) {
  std::vector<Vec3> out;
  Vec3 at = start;
  for (const Move& m : moves) {
    if (m.kind == MoveKind::Dwell) continue;
    if (m.kind == MoveKind::Feed || m.kind == MoveKind::Arc) {
      const std::vector<Vec3> pts = varnholt::SampleMoves(at, {m}, 1e-4);
      for (size_t i = 1; i < pts.size(); ++i) {
        const Vec3 a = pts[i - 1], b = pts[i];
        const int n = std::max(1, static_cast<int>(std::ceil(std::hypot(b.x - a.x, b.y - a.y) / 0.1)));
        for (int k = 0; k <= n; ++k) {
          const double t = static_cast<double>(k) / n;
          out.push_back({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t});
        }
      }
    }
    at = m.to;
  }
  return out;
}

// The lowest the tool's end comes over points of the plane, from the cut points.
class Reach {
 public:
  Reach(std::vector<Vec3> cuts, End end) : cuts_(std::move(cuts)), end_(end) {
    for (size_t i = 0; i < cuts_.size(); ++i) bins_[Key(Cell(cuts_[i].x), Cell(cuts_[i].y))].push_back(i);
  }
  double Lowest(double x, double y) const {
    double low = std::numeric_limits<double>::infinity();
    for (long dx = -1; dx <= 1; ++dx)
      for (long dy = -1; dy <= 1; ++dy) {
        auto bin = bins_.find(Key(Cell(x) + dx, Cell(y) + dy));
        if (bin == bins_.end()) continue;
        for (size_t i : bin->second) {
          const double d = std::hypot(cuts_[i].x - x, cuts_[i].y - y);
          if (d <= end_.radius) low = std::min(low, cuts_[i].z + end_.Lift(d));
        }
      }
    return low;
  }

 private:
  long Cell(double v) const { return static_cast<long>(std::floor(v / end_.radius)); }
  // Shifted as unsigned: a cell left of or below the origin has a negative number.
  static unsigned long long Key(long a, long b) {
    return (static_cast<unsigned long long>(a) << 32) ^ (static_cast<unsigned long long>(b) & 0xffffffffULL);
  }
  std::vector<Vec3> cuts_;
  End end_;
  std::unordered_map<unsigned long long, std::vector<size_t>> bins_;
};

// A rectangular pocket, 2a by 2b about (cx, cy), its floor at `floor` meeting the walls in a
// fillet of radius rf: the height of its surface above a point, and the point's distance from
// the walls (negative outside).
struct FilletPocket {
  double cx, cy, a, b, floor, rf;
  double top = 0;  // above it the tool is in the air
  double Wall(double x, double y) const { return std::min(a - std::fabs(x - cx), b - std::fabs(y - cy)); }
  double Surface(double w) const {
    if (w >= rf || rf <= 0) return floor;
    return floor + rf - std::sqrt(std::max(0.0, rf * rf - (rf - w) * (rf - w)));
  }
  double Surface(double x, double y) const {
    // In a corner both walls' fillets stand: the higher counts.
    const double wx = a - std::fabs(x - cx), wy = b - std::fabs(y - cy);
    return std::max(Surface(wx), Surface(wy));
  }
};

// The floor's area (grid of half a millimetre) over which more than `tolerance` stands above
// the pocket's surface after the cuts; `corner` away from two walls at once where given (a
// round tool leaves the sharp corners, whatever it does along the walls).
double AreaLeft(const FilletPocket& p, const Reach& reach, double tolerance, double corner = 0) {
  const double cell = 0.5;
  double left = 0;
  for (double x = p.cx - p.a + cell / 2; x < p.cx + p.a; x += cell)
    for (double y = p.cy - p.b + cell / 2; y < p.cy + p.b; y += cell) {
      if (p.a - std::fabs(x - p.cx) < corner && p.b - std::fabs(y - p.cy) < corner) continue;
      if (reach.Lowest(x, y) > p.Surface(x, y) + tolerance) left += cell * cell;
    }
  return left;
}

// How deep any cut goes into the pocket's fillet: for each cut point, the tool's end over the
// points toward the nearest wall, held against the surface there.
double Gouge(const FilletPocket& p, const std::vector<Vec3>& cuts, End end) {
  double worst = 0;
  for (const Vec3& c : cuts) {
    if (c.z >= p.top) continue;
    const double w = p.Wall(c.x, c.y);
    for (int k = 0; k <= 40; ++k) {
      const double s = end.radius * k / 40, at = w - s;
      const double surface = at < 0 ? std::numeric_limits<double>::infinity() : p.Surface(at);
      worst = std::max(worst, surface - (c.z + end.Lift(s)));
    }
  }
  return worst;
}

// --- the pocket with a floor fillet, as numbers ----------------------------------------------

struct PocketRun {
  bool generated;
  std::string reason;
  std::vector<Vec3> cuts;
  std::vector<std::string> notes;
};

PocketRun CutPocket(double planarRadius, double toolCorner, double axial, double orthogonalRadius = kUnset) {
  AreaFeature f;
  f.kind = AreaFeature::ClosedPocket;
  f.hasDepth = true;
  f.depth.origin.z = -10;
  f.placed = true;
  f.bottom.kind = AreaFeature::Bottom::Planar;
  f.boundary.kind = AreaProfile::Rectangle;
  f.boundary.type = "rectangular_closed_profile";
  f.boundary.length = 60, f.boundary.width = 40;
  f.planarRadius = planarRadius;
  f.orthogonalRadius = orthogonalRadius;
  ModelOperation o;
  o.name = "#300";
  o.type = "bottom_and_side_finish_milling";
  o.milling = o.bottomAndSideMilling = true;
  o.axialCuttingDepth = axial;
  o.strategy.pattern = varnholt::ModelStrategy::Pattern::ContourParallel;
  o.strategy.overlap = 0.5;
  varnholt::ModelFeature model;
  model.area = std::make_shared<AreaFeature>(f);
  gen::PlainJob plain(model, o);
  plain.job.tool.diameter = 10;
  plain.job.tool.cornerRadius = toolCorner;
  plain.job.feed = 900;
  plain.job.clearZ = 5;
  PocketRun run;
  run.generated = varnholt::machining_detail::GenerateArea(plain.job);
  run.reason = plain.job.reason;
  run.notes = plain.job.notes;
  if (run.generated) run.cuts = CutPoints(plain.moves.front().to, plain.moves);
  return run;
}

// The nearest any cut at or above `z` comes to the walls, less the tool's radius.
double NearestWall(const FilletPocket& p, const std::vector<Vec3>& cuts, double z) {
  double nearest = std::numeric_limits<double>::infinity();
  for (const Vec3& c : cuts)
    if (c.z >= z - 1e-9 && c.z < 0) nearest = std::min(nearest, p.Wall(c.x, c.y) - 5);
  return nearest;
}

}  // namespace

// A finish in one level over a floor fillet: it steps up the fillet to the walls, never below
// the fillet's surface, with a flat end mill and with a bull nose; what is left of the floor is
// the corners' (a round tool's, sharp walls' meeting) and the steps' a flat tool leaves on the
// round, a few square millimetres.
TEST(GenerateWalls, APocketsFloorFilletIsSteppedUpToTheWalls) {
  const FilletPocket pocket{0, 0, 30, 20, -10, 6};
  struct Case {
    const char* name;
    double corner, left;  // the tool's corner radius; floor area left more than half a millimetre high
  } cases[] = {{"flat end mill", 0, 40}, {"bull nose of radius two", 2, 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PocketRun run = CutPocket(6, c.corner, 10);
    ASSERT_TRUE(run.generated) << run.reason;
    const End end{5, c.corner};
    EXPECT_LT(Gouge(pocket, run.cuts, end), 1e-6);
    EXPECT_LT(NearestWall(pocket, run.cuts, -10 + 6 - c.corner), 0.003) << "the walls are reached above the fillet";
    const double left = AreaLeft(pocket, Reach(run.cuts, end), 0.5, 11);
    std::cout << c.name << ": " << left << " mm² left, " << AreaLeft(pocket, Reach(run.cuts, end), 0.5) << " with the corners\n";
    EXPECT_LT(left, c.left);
    // The floor itself, where the fillet has run out: reached everywhere but in the corners.
    const Reach reach(run.cuts, end);
    for (double x = -22; x <= 22; x += 1)
      for (double y : {-12.0, 0.0, 12.0}) EXPECT_LE(reach.Lowest(x, y), -10 + 1e-6) << x << ", " << y;
    // The fillet is made; only the sharp corners (no corner radius given) are left at the tool's.
    ASSERT_EQ(run.notes.size(), 1u);
    EXPECT_NE(run.notes[0].find("corners are sharp"), std::string::npos) << run.notes[0];
  }
}

// What the tool's shape cannot make is said once, and the tool still goes as close as it may:
// a fillet tighter than its corner leaves the corner's round (the tool at the wall at every
// level), corners tighter than its radius leave its radius.
TEST(GenerateWalls, WhatTheToolsShapeCannotMakeIsNotedOnce) {
  const PocketRun tight = CutPocket(1, 2, 2.5, 8);
  ASSERT_TRUE(tight.generated) << tight.reason;
  ASSERT_EQ(tight.notes.size(), 1u);
  EXPECT_NE(tight.notes[0].find("floor radius 1 mm is smaller than the tool's corner radius 2 mm"), std::string::npos)
      << tight.notes[0];
  const FilletPocket pocket{0, 0, 30, 20, -10, 1};
  EXPECT_LT(Gouge(pocket, tight.cuts, End{5, 2}), 1e-6);
  EXPECT_LT(NearestWall(pocket, tight.cuts, -10), 0.003) << "the floor level goes to the walls";

  const PocketRun corners = CutPocket(kUnset, 0, 10, 3);
  ASSERT_TRUE(corners.generated) << corners.reason;
  ASSERT_EQ(corners.notes.size(), 1u);
  EXPECT_NE(corners.notes[0].find("corner radius 3 mm is smaller than the tool's radius 5 mm"), std::string::npos)
      << corners.notes[0];
  // A fillet the tool's corner fits, corners rounder than the tool: nothing to say.
  EXPECT_TRUE(CutPocket(6, 2, 10, 8).notes.empty());
}

// --- slots ----------------------------------------------------------------------------------

namespace {

struct SlotRun {
  std::string reason;
  std::vector<std::pair<double, double>> passes;  // (offset across, height) of the cuts along x
  std::vector<std::string> notes;
};

SlotRun CutSlot(const AlongShape& shape, double depth, double toolDiameter, double toolCorner, bool ball) {
  AlongFeature f;
  f.kind = AlongFeature::Slot;
  f.hasDepth = true;
  f.depth = -depth;
  f.path.kind = AlongPath::Linear;
  f.path.type = "linear_path";
  f.path.distance = 60, f.path.hasDirection = true, f.path.direction = {1, 0, 0};
  f.shape = shape;
  AlongEnd open;
  open.kind = AlongEnd::Open;
  f.ends = {open, open};
  ModelOperation o;
  o.name = "#70";
  o.type = "bottom_and_side_finish_milling";
  o.milling = true;
  o.axialCuttingDepth = 3;
  o.allowanceSide = o.allowanceBottom = 0;
  varnholt::ModelFeature model;
  model.type = "slot";
  model.along = std::make_shared<AlongFeature>(f);
  gen::PlainJob plain(model, o);
  plain.job.tool.diameter = toolDiameter;
  plain.job.tool.cornerRadius = toolCorner;
  plain.job.tool.ballEnd = ball;
  plain.job.feed = 120;
  SlotRun run;
  if (!varnholt::machining_detail::GenerateAlong(plain.job)) run.reason = plain.job.reason;
  Vec3 at{0, 0, plain.job.clearZ};
  for (const Move& m : plain.moves) {
    if (m.kind == MoveKind::Feed && std::fabs(m.to.z - at.z) < 1e-12 && std::fabs(m.to.y - at.y) < 1e-12 &&
        std::fabs(m.to.x - at.x) > 1)
      run.passes.push_back({m.to.y, m.to.z});
    at = m.to;
  }
  run.notes = plain.job.notes;
  return run;
}

// The most that stands above the cross-section's floor between `from` and `to` (offsets across)
// after the passes, the tool's end `end`.
double LeftOnSection(const SlotRun& run, End end, const std::function<double(double)>& floor, double from, double to) {
  double worst = 0;
  for (double x = from; x <= to + 1e-9; x += 0.01) {
    double low = 0;
    for (const auto& [u, z] : run.passes)
      if (std::fabs(x - u) <= end.radius) low = std::min(low, z + end.Lift(x - u));
    worst = std::max(worst, low - floor(x));
  }
  return worst;
}

double Gouged(const SlotRun& run, End end, const std::function<double(double)>& floor) {
  double worst = 0;
  for (const auto& [u, z] : run.passes)
    for (int k = -40; k <= 40; ++k) {
      const double s = end.radius * k / 40;
      worst = std::max(worst, floor(u + s) - (z + end.Lift(s)));
    }
  return worst;
}

}  // namespace

// A square U 10 wide with corners of half a millimetre, an 8 mm flat end mill: the walls are
// cut 10 apart (above the corners' round) and the floor 9 across (where the round begins).
TEST(GenerateWalls, ASlotsCornerRadiusNarrowsOnlyItsCorners) {
  AlongShape u;
  u.kind = AlongShape::SquareU, u.type = "square_u_profile";
  u.width = 10, u.firstRadius = u.secondRadius = 0.5;
  const SlotRun run = CutSlot(u, 6, 8, 0, false);
  ASSERT_TRUE(run.reason.empty()) << run.reason;
  double wide = 0, floorWide = 0;
  for (const auto& [y, z] : run.passes) {
    wide = std::max(wide, std::fabs(y) + 4);
    if (z <= -6 + 1e-9) floorWide = std::max(floorWide, std::fabs(y) + 4);
  }
  EXPECT_NEAR(wide, 5, 1e-6);
  EXPECT_NEAR(floorWide, 4.5, 1e-6);
  auto floor = [](double x) {
    const double a = std::fabs(x);
    if (a > 5) return 0.0;
    return a <= 4.5 ? -6.0 : -5.5 - std::sqrt(std::max(0.0, 0.25 - (a - 4.5) * (a - 4.5)));
  };
  EXPECT_LT(Gouged(run, End{4, 0}, floor), 1e-6);
  EXPECT_TRUE(run.notes.empty()) << "a flat tool makes no round, but it is not rounder than the corner";
  // A bull nose rounder than the U's corners leaves its own, said once.
  const SlotRun bull = CutSlot(u, 6, 8, 1, false);
  ASSERT_EQ(bull.notes.size(), 1u);
  EXPECT_LT(Gouged(bull, End{4, 1}, floor), 1e-6);
}

// Curved cross-sections, finished with a ball and with a flat end: the passes follow the round
// or the flanks closely enough that what stands on the walls between them is a scallop (measured
// upright, which on a steep wall is several times its thickness) or a flat end's small steps.
TEST(GenerateWalls, CurvedSlotsAreCutToTheirWalls) {
  AlongShape rounded;
  rounded.kind = AlongShape::RoundedU, rounded.type = "rounded_u_profile", rounded.width = 12;
  AlongShape arc;  // radius ten over 145 degrees, its lowest point seven below the top
  arc.kind = AlongShape::PartialCircular, arc.type = "partial_circular_profile", arc.radius = 10, arc.sweep = 145;
  AlongShape vee;
  vee.kind = AlongShape::Vee, vee.type = "vee_profile", vee.angle = 90, vee.tilt = 0, vee.profileRadius = 0;
  const auto roundedFloor = [](double x) {
    return std::fabs(x) > 6 ? 0.0 : std::min(0.0, -8 + 6 - std::sqrt(std::max(0.0, 36 - x * x)));
  };
  const double arcHalf = 10 * std::sin(72.5 * gen::kPi / 180);
  const auto arcFloor = [arcHalf](double x) {
    return std::fabs(x) > arcHalf ? 0.0 : std::min(0.0, 3 - std::sqrt(std::max(0.0, 100 - x * x)));
  };
  const auto veeFloor = [](double x) { return std::min(0.0, -6 + std::fabs(x)); };
  struct Case {
    const char* name;
    AlongShape shape;
    double depth;
    std::function<double(double)> floor;
    bool ball;
    double from, to;  // the part of the section measured: what the tool's shape reaches
    double left;      // the most allowed to stand there
  } cases[] = {
      {"rounded U, ball", rounded, 8, roundedFloor, true, -6, 6, 0.15},
      {"partial circle, ball", arc, 7, arcFloor, true, -9.2, 9.2, 0.15},
      {"partial circle, flat end", arc, 7, arcFloor, false, -9.5, 9.5, 0.35},
      {"vee, flat end (its edge reaches the flanks three above the point)", vee, 6, veeFloor, false, -6, 6, 0.35},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SlotRun run = CutSlot(c.shape, c.depth, 6, 0, c.ball);
    ASSERT_TRUE(run.reason.empty()) << run.reason;
    const End end{3, c.ball ? 3.0 : 0.0};
    EXPECT_LT(Gouged(run, end, c.floor), 1e-6);
    auto reachable = [&](double x) { return std::max(c.floor(x), c.ball ? -1e9 : c.floor(0) + 3); };
    EXPECT_LT(LeftOnSection(run, end, reachable, c.from, c.to), c.left);
  }
}

// --- the samples and the corpus -------------------------------------------------------------

namespace {

const varnholt::ProgramStep* StepNamed(const varnholt::Program& program, const std::string& label) {
  for (const varnholt::ProgramStep& s : program.steps)
    if (s.label == label) return &s;
  return nullptr;
}

bool Open(CDoc& doc, const std::string& path) {
  static const bool registered = [] {
    RegisterTypeNames();
    RegisterEntityNames();
    return true;
  }();
  (void)registered;
  std::error_code ec;
  return std::filesystem::exists(path, ec) && doc.OnOpenDocument(path.c_str());
}

}  // namespace

// The housing cover's pocket (60 x 40 about (70, 40), floor at 20, fillet 6) finished with a
// 10 mm flat end mill in one level: the floor left more than half a millimetre above its surface
// was 978 mm² when the floor level kept off the whole fillet and no level went to the walls.
TEST(GenerateWalls, TheSamplePocketsFinishLeavesAFifthOfTheFloorAtMost) {
  CDoc doc;
  ASSERT_TRUE(Open(doc, VARNHOLT_SOURCE_DIR "/samples/milling_project.stp"));
  CDoc::LogRoute route(doc);
  const varnholt::Program program = varnholt::BuildProgram(*doc.Scope());
  const varnholt::ProgramStep* step = StepNamed(program, "WS4 pocket finish");
  ASSERT_NE(step, nullptr);
  ASSERT_FALSE(step->moves.empty()) << step->reason;
  // The ways in count too: a ramp that runs out past the wall cuts into the part.
  const FilletPocket pocket{70, 40, 30, 20, 20, 6, 30};
  const std::vector<Vec3> cuts = CutPoints(step->start, step->moves);
  const double left = AreaLeft(pocket, Reach(cuts, End{5, 0}), 0.5);
  std::cout << "floor left over half a millimetre high: " << left << " mm²\n";
  EXPECT_LE(left, 978.0 / 5);
  EXPECT_LT(Gouge(pocket, cuts, End{5, 0}), 1e-6);
}

// The corpus's slot of partial circular section (radius 10 over 145 degrees, its centre 3 above
// the top) finished with a 10 mm ball: the round is left within a scallop wherever the ball
// reaches it (the last 0.6 mm below the top edge is beyond a ball of that size).
TEST(GenerateWalls, TheCorpusPartialCircularSlotIsFinishedToItsWalls) {
  CDoc doc;
  const std::string path = VARNHOLT_SOURCE_DIR "/../shared/corpus/jucsr__sanssouci__RanhuraPerfilCircularParcial.p21";
  if (!Open(doc, path)) GTEST_SKIP() << "the corpus is absent";
  CDoc::LogRoute route(doc);
  const varnholt::Program program = varnholt::BuildProgram(*doc.Scope());
  const varnholt::ProgramStep* step = StepNamed(program, "WS 2");
  ASSERT_NE(step, nullptr);
  ASSERT_FALSE(step->moves.empty()) << step->reason;
  // The slot runs along x at y 40, its top at z 50.
  SlotRun run;
  Vec3 at = step->start;
  for (const Move& m : step->moves) {
    if (m.kind == MoveKind::Feed && std::fabs(m.to.z - at.z) < 1e-12 && std::fabs(m.to.y - at.y) < 1e-12 &&
        std::fabs(m.to.x - at.x) > 1)
      run.passes.push_back({m.to.y - 40, m.to.z - 50});
    at = m.to;
  }
  const auto floor = [](double x) { return std::min(0.0, 3 - std::sqrt(std::max(0.0, 100 - x * x))); };
  const double left = LeftOnSection(run, End{5, 5}, floor, -9.0, 9.0);
  std::cout << "most left on the round: " << left << " mm\n";
  EXPECT_LT(left, 0.15);
  EXPECT_LT(Gouged(run, End{5, 5}, floor), 1e-6);
}

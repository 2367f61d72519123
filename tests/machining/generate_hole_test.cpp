// Round holes: every drilling kind and a milling operation, over every kind of bottom, measured
// on the moves the program gives: as deep as the bottom lets the tool go and never deeper, no
// cut outside the hole, pecks, dwells, feeds and the way out as the operation asks.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "generate_fixture.h"

using namespace gen;

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
const Vec3 kOrigin{40, 30, 20};

// The hole as the test sees it: a wall of radius R down to the depth plane and a bottom below.
struct Hole {
  enum Bottom { Flat, Cone, Sphere, Through, Fillet } bottom = Flat;
  double diameter = 10, depth = 12;
  double size = 0;  // the cone's full tip angle, the sphere's or the fillet's radius
  std::string Records() const {
    std::string b;
    switch (bottom) {
      case Flat: b = "FLAT_HOLE_BOTTOM()"; break;
      case Cone: b = "CONICAL_HOLE_BOTTOM(" + Num(size) + ",$)"; break;
      case Sphere: b = "SPHERICAL_HOLE_BOTTOM(#63)"; break;
      case Through: b = "THROUGH_BOTTOM_CONDITION()"; break;
      case Fillet: b = "FLAT_WITH_RADIUS_HOLE_BOTTOM(#63)"; break;
    }
    return "#60=ROUND_HOLE('hole',#10,(#70),#30,#32,#61,$,#62);\n#61=" + Length(diameter) + ";\n#62=" + b +
           ";\n#63=" + Length(size > 0 ? size : 1) + ";";
  }
  // The bottom's height at a distance from the axis (within the hole).
  double Floor(double p) const {
    const double r = diameter / 2, zb = -depth;
    switch (bottom) {
      case Flat: return zb;
      case Cone: return zb - (r - p) / std::tan(size / 2);
      case Sphere: return zb + std::sqrt(size * size - r * r) - std::sqrt(std::max(0.0, size * size - p * p));
      case Through: return -1e9;
      case Fillet: return p <= r - size ? zb : zb + size - std::sqrt(std::max(0.0, size * size - (p - r + size) * (p - r + size)));
    }
    return zb;
  }
};

struct Row {
  Row(const char* n, Hole h, ToolSpec t, std::string op, double deep, int dw = 0, bool out = false, double of = kNone)
      : name(n), hole(h), tool(std::move(t)), operation(std::move(op)), deepest(deep), dwells(dw), feedsOut(out), outFeed(of) {}
  const char* name;
  Hole hole;
  ToolSpec tool;
  std::string operation;
  double deepest;           // the tip's lowest point; NaN: only never below the bottom
  int dwells = 0;
  bool feedsOut = false;    // the last move out of the hole is a feed, not a rapid
  double outFeed = kNone;   // its feed, where the operation says
  double sideAllowance = 0, bottomAllowance = 0;
  bool milled = false;      // the floor is to be covered
  std::string reason;       // a fragment of the reason, for rows that give none
};

const ToolSpec kDrill{"TWIST_DRILL", 10, 1.0297442586766543};  // a 118 degree point
const ToolSpec kFlatDrill{"TWIST_DRILL", 10};                   // no point given
const ToolSpec kMill{"ENDMILL", 6};
const ToolSpec kBall{"BALL_ENDMILL", 6};

std::string Drilling(const std::string& kind, const std::string& depth, const std::string& dwell,
                     const std::string& retract, const std::string& strategy, const std::string& extra = "") {
  return Operation(kind, depth + ",$," + dwell + "," + retract + "," + strategy + extra);
}

std::string Milling(const std::string& allowances) {
  return Operation("BOTTOM_AND_SIDE_ROUGH_MILLING", "#72,$,#71,3.,2.," + allowances) +
         "\n#71=CONTOUR_PARALLEL($,$,$,.CLIMB.);\n#72=PLUNGE_HELIX($,2.,5.);";
}

const double kApex118 = -12 - 5 / std::tan(1.0297442586766543);

std::vector<Row> Rows() {
  const Hole flat{Hole::Flat, 10, 12, 0};
  const Hole cone{Hole::Cone, 10, 12, 2.0594885173533086};  // as pointed as the drill
  const Hole blunt{Hole::Cone, 10, 12, 2.6};                // blunter than the drill
  const Hole sphere{Hole::Sphere, 10, 12, 5};
  const Hole through{Hole::Through, 10, 20, 0};
  const Hole wide{Hole::Flat, 20, 8, 0};
  const Hole fillet{Hole::Fillet, 20, 8, 2};
  const Hole bowl{Hole::Sphere, 20, 6, 10};
  std::vector<Row> rows = {
      {"drilling a flat bottom stops the point on it", flat, kDrill, Drilling("DRILLING", "$", "$", "$", "$"), -12},
      {"drilling a cone of the drill's point reaches its apex", cone, kDrill, Drilling("DRILLING", "$", "$", "$", "$"), kApex118},
      {"drilling a blunter cone", blunt, kDrill, Drilling("DRILLING", "$", "$", "$", "$"), kNone},
      {"drilling a spherical bottom", sphere, kDrill, Drilling("DRILLING", "$", "$", "$", "$"), kNone},
      {"a drill of unknown point stops where the wall ends", sphere, kFlatDrill, Drilling("DRILLING", "$", "$", "$", "$"), -12},
      {"drilling through takes the full diameter past the bottom", through, kDrill, Drilling("DRILLING", "$", "$", "$", "$"),
       -20 - 5 / std::tan(1.0297442586766543) - 1},
      {"the cutting depth is kept", flat, kDrill, Drilling("DRILLING", "6.", "$", "$", "$"), -6},
      {"a cutting depth below the bottom is not", flat, kDrill, Drilling("DRILLING", "30.", "$", "$", "$"), -12},
      {"centre drilling", flat, {"CENTERDRILL", 3}, Drilling("CENTER_DRILLING", "2.", "$", "$", "$"), -2},
      {"multistep drilling", flat, kDrill, Drilling("MULTISTEP_DRILLING", "$", "1.", "$", "$", ",1.,4.,3.,0.5"), -12, 4},
      {"boring feeds out, slower at start and end", flat, {"BORING_TOOL", 10, -1, -1, ",.F."},
       Drilling("BORING", "$", "$", "$", "#71", ",.F.,$,$") + "\n#71=DRILLING_TYPE_STRATEGY($,0.5,2.,$,0.25,1.);", -12, 0, true,
       kFeedRate * 60},
      {"reaming feeds out at the ratio given", flat, {"REAMER", 10}, Drilling("REAMING", "$", "2.", "0.5", "$", ",.F.,$,$"), -12, 1,
       true, kFeedRate * 60 * 0.5},
      {"tapping feeds out", flat, {"TAP", 10}, Drilling("TAPPING", "$", "$", "$", "$", ",.F."), -12, 0, true, kFeedRate * 60},
      {"thread drilling feeds out", cone, kDrill, Drilling("THREAD_DRILLING", "$", "$", "$", "$", ",.F."), kApex118, 0, true},
      {"counter sinking", {Hole::Flat, 12, 3, 0}, {"COUNTERSINK", 16, 0.7853981633974483}, Drilling("COUNTER_SINKING", "$", "$", "$", "$"),
       -3},
      {"milling a flat hole", wide, kMill, Milling("0.5,0.2"), -8 + 0.2},
      {"milling a hole with a fillet at its floor", fillet, kMill, Milling("0.,0."), -8},
      {"milling a bowl with a ball", bowl, kBall, Milling("0.,0."), kNone},
      {"a drill wider than the hole", {Hole::Flat, 8, 12, 0}, kDrill, Drilling("DRILLING", "$", "$", "$", "$"), kNone},
      {"a mill wider than the hole less its allowance", {Hole::Flat, 7, 12, 0}, kMill, Milling("1.,0."), kNone},
      {"a multistep drilling without a step", flat, kDrill, Drilling("MULTISTEP_DRILLING", "$", "$", "$", "$", ",1.,4.,0.,$"), kNone},
  };
  rows[15].sideAllowance = 0.5, rows[15].bottomAllowance = 0.2, rows[15].milled = true;
  rows[16].milled = true;
  rows[18].reason = "wider than the hole";
  rows[19].reason = "wider than the hole";
  rows[20].reason = "depth of step";
  return rows;
}

// A rapid up from each peck, by the retract distance at least; each peck after the first no
// deeper than the depth of step below the one before.
void ExpectPecks(const StepRun& run, double first, double step, double back, const std::string& where) {
  std::vector<double> pecks;
  double deepest = 0;
  bool fresh = false;
  Vec3 at = run.start;
  for (const Move& m : run.moves) {
    if (Cutting(m) && m.to.z < deepest - 1e-9) deepest = m.to.z, fresh = true;
    if (m.kind == MoveKind::Rapid && m.to.z > at.z && fresh) {
      EXPECT_GE(m.to.z - deepest, std::min(back, kClear - deepest) - 1e-9) << where;
      pecks.push_back(deepest);
      fresh = false;
    }
    at = m.to;
  }
  ASSERT_GE(pecks.size(), 3u) << where;
  EXPECT_GE(pecks[0], -first - 1e-9) << where;
  for (size_t i = 1; i < pecks.size(); ++i) EXPECT_GE(pecks[i], pecks[i - 1] - step - 1e-9) << where << " peck " << i;
}

}  // namespace

TEST(GenerateHole, EveryKindReachesItsDepthAndNoFurther) {
  for (const Row& row : Rows()) {
    const StepRun run = Build(File(row.hole.Records(), row.operation, row.tool, kOrigin, row.hole.depth), kOrigin);
    ASSERT_EQ(run.steps, 1) << row.name;
    if (!row.reason.empty()) {
      EXPECT_TRUE(run.moves.empty()) << row.name;
      EXPECT_NE(run.reason.find(row.reason), std::string::npos) << row.name << ": " << run.reason;
      continue;
    }
    ASSERT_FALSE(run.moves.empty()) << row.name << ": " << run.reason;
    EXPECT_TRUE(run.reason.empty()) << row.name;
    const double deepest = Deepest(run);
    if (!std::isnan(row.deepest)) {
      EXPECT_NEAR(deepest, row.deepest, 1e-6) << row.name;
    }
    EXPECT_LT(deepest, -1) << row.name;
    ExpectSafeRapids(run, row.name);

    const double r = row.tool.diameter / 2, R = row.hole.diameter / 2 - row.sideAllowance;
    const auto lift = Lift(row.tool);
    const bool sink = row.tool.body == "COUNTERSINK";
    ExpectNoGouge(run, [&](const Vec3& p) {
      const double rho = std::hypot(p.x, p.y);
      if (sink) return rho < 1e-9 && -p.z * std::tan(row.tool.tipHalfAngle) <= R + kTol;
      if (rho > R - r + kTol) return false;
      for (int k = -40; k <= 40; ++k) {
        const double s = r * k / 40;
        if (p.z + lift(s) < row.hole.Floor(std::fabs(rho + s)) + row.bottomAllowance - kTol) return false;
      }
      return true;
    }, row.name);

    if (row.milled) {
      std::vector<Vec3> floor;
      const double flat = R - (row.hole.bottom == Hole::Fillet ? row.hole.size : 0);
      for (double p = 0; p <= flat + 1e-9; p += flat / 6)
        for (int k = 0; k < 24; ++k)
          floor.push_back({p * std::cos(k * kPi / 12), p * std::sin(k * kPi / 12), -row.hole.depth + row.bottomAllowance});
      ExpectCovered(run, floor, r, row.name);
      bool arcs = false;
      for (const Move& m : run.moves) arcs = arcs || m.kind == MoveKind::Arc;
      EXPECT_TRUE(arcs) << row.name << ": circles are written as arcs";
    }

    int dwells = 0;
    for (const Move& m : run.moves) dwells += m.kind == MoveKind::Dwell;
    EXPECT_EQ(dwells, row.dwells) << row.name;

    if (!row.milled) {
      // The move out of the hole: the last one before the program's rapid to the security plane.
      ASSERT_GE(run.moves.size(), 3u) << row.name;
      const Move& out = run.moves[run.moves.size() - 2];
      EXPECT_EQ(out.kind, row.feedsOut ? MoveKind::Feed : MoveKind::Rapid) << row.name;
      if (!std::isnan(row.outFeed)) {
      EXPECT_NEAR(out.feed, row.outFeed, 1e-9) << row.name;
    }
    }
  }
}

TEST(GenerateHole, MultistepDrillingPecksAndDwells) {
  const Hole hole{Hole::Flat, 10, 12, 0};
  const StepRun run = Build(File(hole.Records(), Drilling("MULTISTEP_DRILLING", "$", "1.", "$", "$", ",1.5,4.,3.,0.5"), kDrill,
                             kOrigin, hole.depth),
                        kOrigin);
  ASSERT_FALSE(run.moves.empty()) << run.reason;
  ExpectPecks(run, 4, 3, 1.5, "multistep");
  // A dwell of the step's time at each peck's bottom, the bottom's at the last.
  std::vector<double> seconds;
  for (const Move& m : run.moves)
    if (m.kind == MoveKind::Dwell) seconds.push_back(m.seconds);
  ASSERT_EQ(seconds.size(), 4u);
  EXPECT_DOUBLE_EQ(seconds.front(), 0.5);
  EXPECT_DOUBLE_EQ(seconds.back(), 1.0);
}

TEST(GenerateHole, ReducedFeedAtStartAndEnd) {
  const Hole hole{Hole::Flat, 10, 12, 0};
  const StepRun run = Build(File(hole.Records(),
                             Drilling("DRILLING", "$", "$", "$", "#71") + "\n#71=DRILLING_TYPE_STRATEGY($,0.5,2.,$,0.25,1.);",
                             kDrill, kOrigin, hole.depth),
                        kOrigin);
  ASSERT_FALSE(run.moves.empty()) << run.reason;
  const double f = kFeedRate * 60;
  Vec3 at = run.start;
  int slowStart = 0, slowEnd = 0;
  for (const Move& m : run.moves) {
    if (m.kind == MoveKind::Feed && m.to.z < at.z) {
      const double mid = (m.to.z + at.z) / 2;
      const double want = mid > 0 ? f : mid > -2 ? f * 0.5 : mid < -11 ? f * 0.25 : f;
      EXPECT_NEAR(m.feed, want, 1e-9) << "down to " << m.to.z;
      slowStart += mid < 0 && mid > -2;
      slowEnd += mid < -11;
      for (double edge : {0.0, -2.0, -11.0})
        EXPECT_FALSE(at.z > edge + 1e-9 && m.to.z < edge - 1e-9) << "a feed across the zone's edge at " << edge;
    }
    at = m.to;
  }
  EXPECT_EQ(slowStart, 1);
  EXPECT_EQ(slowEnd, 1);
}

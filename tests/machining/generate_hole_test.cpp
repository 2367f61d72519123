// Round holes: every drilling kind and a milling operation, over every kind of bottom, the hole
// and the operation given as numbers and measured on the moves the generator gives: as deep as
// the bottom lets the tool go and never deeper, no cut outside the hole, pecks, dwells, feeds,
// levels, the sense of the circles and the way out as the operation asks; why a hole is not
// machined. The reader of holes is tested on files, and a file's program against the same hole
// given as numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "generate_job.h"
#include "varnholt/doc.h"
#include "varnholt/feature_hole.h"
#include "varnholt/model_read.h"

using namespace gen;
using varnholt::HoleFeature;
using varnholt::ModelOperation;
using varnholt::Plunge;
using varnholt::machining_detail::GenerateHole;
using varnholt::machining_detail::Tool;

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
constexpr double kDegree = kPi / 180;

// Each kind of bottom of the test's holes as the model holds it and as a file writes it, its
// size (#63) where it has one; a cone's angle is written in its record. In the order of
// Hole::Bottom.
struct BottomKind {
  HoleFeature::Bottom::Kind model;
  const char* record;
};
const BottomKind kBottoms[] = {
    {HoleFeature::Bottom::Flat, "FLAT_HOLE_BOTTOM()"},
    {HoleFeature::Bottom::Conical, ""},
    {HoleFeature::Bottom::Spherical, "SPHERICAL_HOLE_BOTTOM(#63)"},
    {HoleFeature::Bottom::Through, "THROUGH_BOTTOM_CONDITION()"},
    {HoleFeature::Bottom::FlatWithRadius, "FLAT_WITH_RADIUS_HOLE_BOTTOM(#63)"}};

// The hole as the test sees it: a wall of radius R down to the depth plane and a bottom below.
struct Hole {
  enum Bottom { Flat, Cone, Sphere, Through, Fillet } bottom = Flat;
  double diameter = 10, depth = 12;
  double size = 0;  // the cone's full tip angle, the sphere's or the fillet's radius
  HoleFeature Feature() const {
    HoleFeature f;
    f.diameter = diameter;
    f.depth = -depth;
    f.bottom.kind = kBottoms[bottom].model;
    f.bottom.tipAngle = bottom == Cone ? size : kNone;
    f.bottom.radius = bottom == Sphere ? size : kNone;
    f.bottom.cornerRadius = bottom == Fillet ? size : kNone;
    return f;
  }
  // The same hole as a file writes it (records #60 to #63).
  std::string Records() const {
    const std::string b =
        bottom == Cone ? "CONICAL_HOLE_BOTTOM(" + Num(size) + ",$)" : kBottoms[bottom].record;
    return "#60=ROUND_HOLE('hole',#10,(#70),#30,#32,#61,$,#62);\n#61=" + Length(diameter) +
           ";\n#62=" + b + ";\n#63=" + Length(size > 0 ? size : 1) + ";";
  }
  // The bottom's height at a distance from the axis (within the hole).
  double Floor(double p) const {
    const double r = diameter / 2, zb = -depth;
    switch (bottom) {
      case Flat:
        return zb;
      case Cone:
        return zb - (r - p) / std::tan(size / 2);
      case Sphere:
        return zb + std::sqrt(size * size - r * r) - std::sqrt(std::max(0.0, size * size - p * p));
      case Through:
        return -1e9;
      case Fillet:
        return p <= r - size
                   ? zb
                   : zb + size -
                         std::sqrt(std::max(0.0, size * size - (p - r + size) * (p - r + size)));
    }
    return zb;
  }
};

Tool Cutter(double diameter, double tipHalfAngle = 0, bool drilling = false, bool pointed = false,
            bool ball = false, bool drill = false) {
  Tool t;
  t.diameter = diameter;
  t.tipHalfAngle = tipHalfAngle;
  t.drilling = drilling;
  t.pointed = pointed;
  t.ballEnd = ball;
  t.drill = drill;
  return t;
}

Tool Drill(double diameter, double tipHalfAngle) {
  return Cutter(diameter, tipHalfAngle, true, true, false, true);
}

const double kHalf118 = 1.0297442586766543;
const Tool kDrill = Drill(10, kHalf118);  // a 118 degree point
const Tool kFlatDrill = Drill(10, 0);     // no point given: the usual 118 degrees
const Tool kCentreDrill = Drill(3, 0);
const Tool kBore = Cutter(10, 0, true);  // boring tools, reamers, taps
const Tool kCountersink = Cutter(16, kPi / 4, true, true);
const Tool kMill = Cutter(6);
const Tool kBall = Cutter(6, 0, false, false, true);

// How far above its tip a tool's end is at a distance from its axis: pointed, rounded or flat.
std::function<double(double)> Lift(const Tool& tool) {
  const double r = tool.diameter / 2;
  if (tool.drill) {
    const double a = tool.tipHalfAngle > 0 ? tool.tipHalfAngle : kHalf118;
    return [a](double s) { return std::fabs(s) / std::tan(a); };
  }
  if (tool.pointed && tool.tipHalfAngle > 0)
    return [a = tool.tipHalfAngle](double s) { return std::fabs(s) / std::tan(a); };
  const double c = tool.ballEnd ? r : tool.cornerRadius;
  return [r, c](double s) {
    const double d = std::fabs(s) - (r - c);
    return d <= 0 ? 0.0 : c - std::sqrt(std::max(0.0, c * c - d * d));
  };
}

ModelOperation Drilling(double cuttingDepth = kNone, double dwellBottom = kNone,
                        double feedOnRetract = kNone) {
  ModelOperation o;
  o.drilling = true;
  o.cuttingDepth = cuttingDepth;
  o.dwellTimeBottom = dwellBottom;
  o.feedOnRetract = feedOnRetract;
  return o;
}

ModelOperation Multistep(double first, double step, double back, double dwellStep,
                         double dwellBottom) {
  ModelOperation o = Drilling(kNone, dwellBottom);
  o.multistepDrilling = true;
  o.firstDepth = first, o.depthOfStep = step, o.retractDistance = back, o.dwellTimeStep = dwellStep;
  return o;
}

// Slower over the first 2 mm (half the feed) and the last 1 mm (a quarter).
ModelOperation ReducedFeeds(ModelOperation o) {
  o.strategy.name = "#71", o.strategy.type = "drilling_type_strategy";
  o.strategy.reducedFeedAtStart = 0.5, o.strategy.depthOfStart = 2;
  o.strategy.reducedFeedAtEnd = 0.25, o.strategy.depthOfEnd = 1;
  return o;
}

ModelOperation Milling(double side, double bottom, double axial = 3, double radial = 2) {
  ModelOperation o;
  o.milling = o.bottomAndSideMilling = true;
  o.axialCuttingDepth = axial, o.radialCuttingDepth = radial;
  o.allowanceSide = side, o.allowanceBottom = bottom;
  o.strategy.name = "#71", o.strategy.type = "contour_parallel";
  o.strategy.pattern = varnholt::ModelStrategy::ContourParallel;
  o.strategy.cutmode = "climb";
  return o;
}

// The helix of the milling operations: radius 2, 5 degrees.
const Plunge kHelix{Plunge::Helix, 5 * kDegree, 2, 0};

PlainStep Step(const HoleFeature& hole, const ModelOperation& operation, const Tool& tool) {
  PlainStep step;
  step.feature.name = "#60", step.feature.type = "round_hole";
  step.feature.hole = std::make_shared<HoleFeature>(hole);
  step.operation = operation;
  step.tool = tool;
  if (operation.milling) step.approach = kHelix;
  return step;
}

StepRun Machine(const HoleFeature& hole, const ModelOperation& operation, const Tool& tool) {
  return Generate(GenerateHole, Step(hole, operation, tool));
}

struct Row {
  const char* name;
  Hole hole;
  Tool tool;
  ModelOperation operation;
  double deepest;  // the tip's lowest point; NaN: only never below the bottom
  int dwells = 0;
  bool feedsOut = false;   // the last move, out of the hole, is a feed, not a rapid
  double outFeed = kNone;  // its feed, where the operation says
  bool milled = false;     // the floor is to be covered
};

const double kApex118 = -12 - 5 / std::tan(1.0297442586766543);
const Hole kFlat{Hole::Flat, 10, 12, 0};
const Hole kCone{Hole::Cone, 10, 12, 2.0594885173533086};  // as pointed as the drill
const Hole kWide{Hole::Flat, 20, 8, 0};
const Hole kFillet{Hole::Fillet, 20, 8, 2};

std::vector<Row> Rows() {
  const double f = kFeedRate * 60;
  const Hole blunt{Hole::Cone, 10, 12, 2.6};  // blunter than the drill
  const Hole sphere{Hole::Sphere, 10, 12, 5};
  const Hole through{Hole::Through, 10, 20, 0};
  ModelOperation boring = ReducedFeeds(Drilling());
  boring.boring = true;
  ModelOperation tapping = Drilling(), threading = Drilling(), sinking = Drilling();
  tapping.tapping = true;
  threading.threadDrilling = true;
  sinking.counterSinking = true;
  return {
      {"drilling a flat bottom stops the point on it", kFlat, kDrill, Drilling(), -12},
      {"drilling a cone of the drill's point reaches its apex", kCone, kDrill, Drilling(),
       kApex118},
      {"drilling a blunter cone leaves the drill's point", blunt, kDrill, Drilling(), kApex118},
      {"drilling a spherical bottom", sphere, kDrill, Drilling(), kNone},
      {"a drill of unknown point has the usual one", sphere, kFlatDrill, Drilling(), kApex118},
      {"drilling through takes the full diameter past the bottom", through, kDrill, Drilling(),
       -20 - 5 / std::tan(1.0297442586766543) - 1},
      {"the cutting depth is kept", kFlat, kDrill, Drilling(6), -6},
      {"a cutting depth below the bottom is not", kFlat, kDrill, Drilling(30), -12},
      {"centre drilling", kFlat, kCentreDrill, Drilling(2), -2},
      {"multistep drilling", kFlat, kDrill, Multistep(4, 3, 1, 0.5, 1), -12, 4},
      {"boring feeds out, slower at start and end", kFlat, kBore, boring, -12, 0, true, f},
      {"reaming feeds out at the ratio given", kFlat, kBore, Drilling(kNone, 2, 0.5), -12, 1, true,
       f * 0.5},
      {"tapping feeds out", kFlat, kBore, tapping, -12, 0, true, f},
      {"thread drilling feeds out", kCone, kDrill, threading, kApex118, 0, true},
      {"counter sinking", {Hole::Flat, 12, 3, 0}, kCountersink, sinking, -3},
      {"milling a flat hole", kWide, kMill, Milling(0.5, 0.2), -8 + 0.2, 0, false, kNone, true},
      {"milling a hole with a fillet at its floor", kFillet, kMill, Milling(0, 0), -8, 0, false,
       kNone, true},
      {"milling a bowl with a ball", {Hole::Sphere, 20, 6, 10}, kBall, Milling(0, 0), kNone},
  };
}

// A rapid up from each peck, by the retract distance at least; each peck after the first no
// deeper than the depth of step below the one before.
void ExpectPecks(const StepRun& run, double first, double step, double back,
                 const std::string& where) {
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
  for (size_t i = 1; i < pecks.size(); ++i)
    EXPECT_GE(pecks[i], pecks[i - 1] - step - 1e-9) << where << " peck " << i;
}

// The arcs that keep their height (the circles, not the helix in), each with where it starts.
std::vector<std::pair<Vec3, Move>> Circles(const StepRun& run) {
  std::vector<std::pair<Vec3, Move>> out;
  Vec3 at = run.start;
  for (const Move& m : run.moves) {
    if (m.kind == MoveKind::Arc && std::fabs(m.to.z - at.z) < 1e-12) out.push_back({at, m});
    at = m.to;
  }
  return out;
}

// The heights of the circles, top down, once each.
std::vector<double> CircleLevels(const StepRun& run) {
  std::vector<double> levels;
  for (const auto& [from, m] : Circles(run))
    if (levels.empty() || std::fabs(levels.back() - m.to.z) > 1e-9) levels.push_back(m.to.z);
  return levels;
}

}  // namespace

TEST(GenerateHole, EveryKindReachesItsDepthAndNoFurther) {
  for (const Row& row : Rows()) {
    const StepRun run = Machine(row.hole.Feature(), row.operation, row.tool);
    ASSERT_FALSE(run.moves.empty()) << row.name << ": " << run.reason;
    const double deepest = Deepest(run);
    if (!std::isnan(row.deepest)) {
      EXPECT_NEAR(deepest, row.deepest, 1e-6) << row.name;
    }
    EXPECT_LT(deepest, -1) << row.name;
    ExpectSafeRapids(run, row.name);

    const double allowSide = row.operation.allowanceSide > 0 ? row.operation.allowanceSide : 0;
    const double allowBottom =
        row.operation.allowanceBottom > 0 ? row.operation.allowanceBottom : 0;
    const double r = row.tool.diameter / 2, R = row.hole.diameter / 2 - allowSide;
    const auto lift = Lift(row.tool);
    const bool sink = row.operation.counterSinking;
    // A drill makes a cone bottom with its own point, whatever the file's angle.
    Hole made = row.hole;
    if (made.bottom == Hole::Cone && row.tool.drill) made.size = 2 * kHalf118;
    ExpectNoGouge(
        run,
        [&](const Vec3& p) {
          const double rho = std::hypot(p.x, p.y);
          if (sink) return rho < 1e-9 && -p.z * std::tan(row.tool.tipHalfAngle) <= R + kTol;
          if (rho > R - r + kTol) return false;
          for (int k = -40; k <= 40; ++k) {
            const double s = r * k / 40;
            if (p.z + lift(s) < made.Floor(std::fabs(rho + s)) + allowBottom - kTol)
              return false;
          }
          return true;
        },
        row.name);

    if (row.milled) {
      std::vector<Vec3> floor;
      const double flat = R - (row.hole.bottom == Hole::Fillet ? row.hole.size : 0);
      for (double p = 0; p <= flat + 1e-9; p += flat / 6)
        for (int k = 0; k < 24; ++k)
          floor.push_back({p * std::cos(k * kPi / 12), p * std::sin(k * kPi / 12),
                           -row.hole.depth + allowBottom});
      ExpectCovered(run, floor, r, row.name);
    }

    int dwells = 0;
    for (const Move& m : run.moves) dwells += m.kind == MoveKind::Dwell;
    EXPECT_EQ(dwells, row.dwells) << row.name;

    if (!row.operation.milling) {
      const Move& out = run.moves.back();
      EXPECT_EQ(out.kind, row.feedsOut ? MoveKind::Feed : MoveKind::Rapid) << row.name;
      if (!std::isnan(row.outFeed)) {
        EXPECT_NEAR(out.feed, row.outFeed, 1e-9) << row.name;
      }
    }
  }
}

// A drill's depth comes from its own point: the angle its tool gives (radians, or degrees where
// only degrees can be meant), the usual 118 degrees where it gives none a drill can have. The
// tip goes down until the full diameter meets the depth plane of a cone bottom, whatever the
// cone's angle, stops on a flat bottom, and the full diameter never passes the depth plane; a
// cone the point does not make is noted.
TEST(GenerateHole, ADrillsPointSetsItsDepth) {
  struct Case {
    const char* what;
    double written;  // the tool's tip half angle as written; 0: none
    double point;    // the full angle the drill is taken to have, degrees
  };
  const Case points[] = {
      {"118 in degrees", 59, 118},
      {"135 in radians", 67.5 * kDegree, 135},
      {"90 in degrees", 45, 90},
      {"a flat end", 90, 180},
      {"none", 0, 118},
      {"one no drill has, in radians", 0.3490658503988659, 118},
      {"one no drill has, in degrees", 100, 118},
      {"a negative one", -59, 118},
  };
  struct Bottom {
    Hole hole;
    bool cone;
  };
  const Bottom bottoms[] = {{{Hole::Cone, 10, 12, 118 * kDegree}, true},
                            {{Hole::Cone, 10, 12, 70 * kDegree}, true},
                            {{Hole::Cone, 10, 12, 150}, true},  // in degrees
                            {kFlat, false},
                            {{Hole::Sphere, 10, 12, 5}, false},
                            {{Hole::Sphere, 10, 12, 9}, false}};
  for (const Case& c : points)
    for (const Bottom& b : bottoms)
      for (double diameter : {10.0, 6.0}) {
        const std::string what = std::string(c.what) + ", bottom " + std::to_string(b.hole.bottom) +
                                 " of " + std::to_string(b.hole.size) + ", drill D" + std::to_string(diameter);
        const StepRun run = Machine(b.hole.Feature(), Drilling(), Drill(diameter, c.written));
        ASSERT_FALSE(run.moves.empty()) << what << ": " << run.reason;
        const double length = c.point < 180 ? diameter / 2 / std::tan(c.point / 2 * kDegree) : 0;
        const double full = Deepest(run) + length;  // where the full diameter comes to
        EXPECT_GE(full, -12 - 1e-9) << what;
        if (b.cone) {
          EXPECT_NEAR(full, -12, 1e-9) << what;
        } else if (b.hole.bottom == Hole::Flat) {
          EXPECT_NEAR(Deepest(run), -12, 1e-9) << what;
        }
        const double cone = b.hole.size > 7 ? b.hole.size * kDegree : b.hole.size;
        const bool differs = b.cone && std::fabs(cone - c.point * kDegree) > 1e-6;
        // A pointed drill leaves its cone in a flat bottom, and says so.
        const bool flatByPoint = b.hole.bottom == Hole::Flat && c.point < 180;
        ASSERT_EQ(run.notes.size(), differs || flatByPoint ? 1u : 0u) << what;
        if (flatByPoint) {
          EXPECT_NE(run.notes[0].find("flat bottom is left as the drill's point"), std::string::npos) << run.notes[0];
        }
        if (differs) {
          EXPECT_NE(run.notes[0].find("conical bottom"), std::string::npos) << run.notes[0];
          EXPECT_NE(run.notes[0].find("of " + std::to_string(static_cast<int>(c.point)) + " degrees"),
                    std::string::npos)
              << run.notes[0];
        }
      }
  // Tools without a drill's point stay above the depth plane with their full diameter too.
  const Tool reamer = Cutter(8, 0, true);
  ModelOperation reaming = Drilling();
  reaming.boring = true;
  const StepRun run = Machine(Hole{Hole::Cone, 10, 12, 90 * kDegree}.Feature(), reaming, reamer);
  ASSERT_FALSE(run.moves.empty()) << run.reason;
  EXPECT_NEAR(Deepest(run), -12, 1e-9);
  EXPECT_TRUE(run.notes.empty());
}

// Why a hole is not machined, and which of several faults is named: the first the generator
// meets, the hole's sizes in order, then the tool against them.
TEST(GenerateHole, WhyAHoleIsNotMachined) {
  using B = HoleFeature::Bottom;
  using T = HoleFeature::Taper;
  struct Case {
    const char* what;
    void (*change)(HoleFeature& hole, ModelOperation& operation, Tool& tool);
    bool milled;
    std::string reason;
  };
  const Case cases[] = {
      {"no diameter", [](auto& h, auto&, auto&) { h.diameter = kNone; }, false,
       "the hole's diameter is unset or not positive"},
      {"a zero diameter before an unset depth",
       [](auto& h, auto&, auto&) { h.diameter = 0, h.depth = kNone; }, false,
       "the hole's diameter is unset or not positive"},
      {"no depth plane before no bottom",
       [](auto& h, auto&, auto&) { h.depth = kNone, h.bottom.kind = B::Unset; }, false,
       "the hole's depth plane is unset"},
      {"a depth plane above the top", [](auto& h, auto&, auto&) { h.depth = 1; }, false,
       "the hole's depth plane does not lie below its top"},
      {"a taper of no kind read", [](auto& h, auto&, auto&) { h.taper.kind = T::Unread; }, false,
       "the hole's change in diameter is of a kind or with sizes not read"},
      {"a taper of a right angle and more, in degrees",
       [](auto& h, auto&, auto&) { h.taper.kind = T::Angle, h.taper.angle = 100; }, false,
       "the hole's taper angle is not below a right angle"},
      {"a taper that closes",
       [](auto& h, auto&, auto&) { h.taper.kind = T::Angle, h.taper.angle = 30 * kDegree; }, false,
       "the hole's taper closes before its depth"},
      {"a side allowance as wide as the hole, before no bottom",
       [](auto& h, auto& o, auto&) { o.allowanceSide = 5, h.bottom.kind = B::Unset; }, true,
       "the side allowance leaves no hole"},
      {"no bottom", [](auto& h, auto&, auto&) { h.bottom.kind = B::Unset; }, false,
       "the hole's bottom condition is unset"},
      {"a fillet without a radius",
       [](auto& h, auto&, auto&) { h.bottom.kind = B::FlatWithRadius; }, false,
       "the hole bottom's corner radius is unset or larger than the hole"},
      {"a fillet wider than the hole",
       [](auto& h, auto&, auto&) {
         h.bottom.kind = B::FlatWithRadius, h.bottom.cornerRadius = 5.5;
       },
       false, "the hole bottom's corner radius is unset or larger than the hole"},
      {"a cone without its angle", [](auto& h, auto&, auto&) { h.bottom.kind = B::Conical; }, false,
       "the conical hole bottom's tip angle is unset"},
      {"a flat cone",
       [](auto& h, auto&, auto&) { h.bottom.kind = B::Conical, h.bottom.tipAngle = 180; }, false,
       "the conical hole bottom's tip angle is not between 0 and 180 degrees"},
      {"a cone's tip rounder than the hole",
       [](auto& h, auto&, auto&) {
         h.bottom.kind = B::Conical, h.bottom.tipAngle = 2, h.bottom.tipRadius = 20;
       },
       false, "the conical hole bottom's tip radius is larger than the hole"},
      {"a sphere without its radius", [](auto& h, auto&, auto&) { h.bottom.kind = B::Spherical; },
       false, "the spherical hole bottom's radius is unset"},
      {"a sphere narrower than the hole",
       [](auto& h, auto&, auto&) { h.bottom.kind = B::Spherical, h.bottom.radius = 4; }, false,
       "the spherical hole bottom's radius is smaller than the hole's"},
      {"a bottom of another kind",
       [](auto& h, auto&, auto&) {
         h.bottom.kind = B::Other, h.bottom.type = "blind_bottom_condition";
       },
       false,
       "a hole bottom of kind blind_bottom_condition is not one toolpaths are generated for"},
      {"a drill wider than the hole", [](auto& h, auto&, auto&) { h.diameter = 8; }, false,
       "the tool (diameter 10 mm) is wider than the hole"},
      {"a drill wider than the bottom of a tapered hole",
       [](auto& h, auto&, auto&) {
         h.diameter = 12, h.taper.kind = T::Diameter, h.taper.finalDiameter = 9;
       },
       false, "the tool (diameter 10 mm) is wider than the hole"},
      {"a mill wider than the hole less its allowance",
       [](auto& h, auto& o, auto&) { h.diameter = 7, o.allowanceSide = 1; }, true,
       "the tool (diameter 6 mm) is wider than the hole less its allowance"},
      {"a countersink without its angle",
       [](auto&, auto& o, auto& t) { o.counterSinking = true, t = kBore; }, false,
       "the countersink's tip angle is not given"},
      {"a multistep drilling without a step",
       [](auto&, auto& o, auto&) { o = Multistep(4, 0, 1, kNone, kNone); }, false,
       "the multistep drilling's first depth, depth of step or retract distance is unset or not "
       "positive"},
  };
  for (const Case& c : cases) {
    HoleFeature hole = kFlat.Feature();
    ModelOperation operation = c.milled ? Milling(0, 0) : Drilling();
    Tool tool = c.milled ? kMill : kDrill;
    c.change(hole, operation, tool);
    const StepRun run = Machine(hole, operation, tool);
    EXPECT_TRUE(run.moves.empty()) << c.what;
    EXPECT_EQ(run.reason, c.reason) << c.what;
  }
  PlainStep unread = Step(kFlat.Feature(), Drilling(), kDrill);
  unread.feature.hole = nullptr;
  EXPECT_EQ(Generate(GenerateHole, unread).reason, "the hole's geometry cannot be read");
}

// Climb milling keeps the material on the right of the travel, conventional milling on the
// left; without a cut mode a rotation the strategy names decides. In a hole the material is
// outside every circle.
TEST(GenerateHole, MilledCirclesRunAsTheCutModeAsks) {
  struct Case {
    const char* what;
    const char* cutmode;
    const char* spiralCutmode;
    const char* rotation;
    bool materialRight;
  };
  const Case cases[] = {
      {"climb", "climb", "", "", true},
      {"conventional", "conventional", "", "", false},
      {"conventional as written", "CONVENTIONAL", "", "", false},
      {"a spiral's conventional cut", "", "conventional", "", false},
      {"the cut mode before the rotation", "climb", "", "cw", true},
      {"clockwise without a cut mode", "", "", "cw", false},
      {"counter-clockwise without a cut mode", "", "", "ccw", true},
      {"no cut mode: climb", "", "", "", true},
  };
  for (const Case& c : cases) {
    ModelOperation operation = Milling(0, 0);
    operation.strategy.cutmode = c.cutmode;
    operation.strategy.spiralCutmode = c.spiralCutmode;
    operation.strategy.rotationDirection = c.rotation;
    const StepRun run = Machine(kWide.Feature(), operation, kMill);
    ASSERT_FALSE(run.moves.empty()) << c.what << ": " << run.reason;
    const auto circles = Circles(run);
    for (const auto& [at, m] : circles) {
      // The travel at the arc's start, and the side of it that faces away from the centre.
      const double ox = at.x - m.center.x, oy = at.y - m.center.y;
      const double tx = m.clockwise ? oy : -oy, ty = m.clockwise ? -ox : ox;
      const double right = ty * ox - tx * oy;
      EXPECT_EQ(right > 0, c.materialRight)
          << c.what << ": the arc to (" << m.to.x << "," << m.to.y << "," << m.to.z << ")";
      if (HasFailure()) break;
    }
    EXPECT_GT(circles.size(), 10u) << c.what;
  }
}

// The levels a hole is milled at: no farther apart than the axial depth, as few as that allows,
// the first within reach of the top and the last on the bottom.
TEST(GenerateHole, MilledLevels) {
  struct Case {
    double axial;
    size_t levels;
  };
  const Case cases[] = {{3, 3}, {2, 4}, {2.5, 4}, {8, 1}, {10, 1}, {kNone, 1}, {0, 1}};
  for (const Case& c : cases) {
    const std::string what = "axial depth " + std::to_string(c.axial);
    const StepRun run = Machine(kWide.Feature(), Milling(0, 0, c.axial), kMill);
    ASSERT_FALSE(run.moves.empty()) << what << ": " << run.reason;
    const std::vector<double> levels = CircleLevels(run);
    ASSERT_EQ(levels.size(), c.levels) << what;
    EXPECT_NEAR(levels.back(), -8, 1e-9) << what;
    double above = 0;
    for (double z : levels) {
      EXPECT_LT(z, above) << what;
      if (c.axial > 0) {
        EXPECT_LE(above - z, c.axial + 1e-9) << what;
      }
      above = z;
    }
  }
}

TEST(GenerateHole, MultistepDrillingPecksAndDwells) {
  const StepRun run = Machine(kFlat.Feature(), Multistep(4, 3, 1.5, 0.5, 1), kDrill);
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
  const StepRun run = Machine(kFlat.Feature(), ReducedFeeds(Drilling()), kDrill);
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
        EXPECT_FALSE(at.z > edge + 1e-9 && m.to.z < edge - 1e-9)
            << "a feed across the zone's edge at " << edge;
    }
    at = m.to;
  }
  EXPECT_EQ(slowStart, 1);
  EXPECT_EQ(slowEnd, 1);
}

namespace {

class HoleFile : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTypeNames();
    RegisterEntityNames();
  }
};

bool Same(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || std::fabs(a - b) < 1e-12;
}

const Vec3 kOrigin{40, 30, 20};
const std::string kFileDrilling = Operation("DRILLING", "$,$,$,$,$");
const std::string kFileMilling = "BOTTOM_AND_SIDE_ROUGH_MILLING";
const std::string kFileHelix = "\n#72=PLUNGE_HELIX($,2.,5.);";

}  // namespace

// The reader of holes: each part as the file gives it, NaN or unset where it gives none.
TEST_F(HoleFile, ReadsEveryPartAsGiven) {
  using B = HoleFeature::Bottom;
  using T = HoleFeature::Taper;
  struct Case {
    const char* what;
    std::string diameter, depth, taper, bottom, more;
    HoleFeature want;
  };
  auto hole = [](double diameter, double depth, T::Kind taper, double taperSize, B::Kind bottom,
                 double a = kNone, double b = kNone) {
    HoleFeature h;
    h.diameter = diameter, h.depth = depth;
    h.taper.kind = taper;
    (taper == T::Diameter ? h.taper.finalDiameter : h.taper.angle) = taperSize;
    h.bottom.kind = bottom;
    switch (bottom) {
      case B::FlatWithRadius:
        h.bottom.cornerRadius = a;
        break;
      case B::Conical:
        h.bottom.tipAngle = a, h.bottom.tipRadius = b;
        break;
      case B::Spherical:
        h.bottom.radius = a;
        break;
      default:
        break;
    }
    return h;
  };
  const Case cases[] = {
      {"a flat bottom", "#61", "#32", "$", "FLAT_HOLE_BOTTOM()", "",
       hole(10, -12, T::None, kNone, B::Flat)},
      {"through", "#61", "#32", "$", "THROUGH_BOTTOM_CONDITION()", "",
       hole(10, -12, T::None, kNone, B::Through)},
      {"a fillet", "#61", "#32", "$", "FLAT_WITH_RADIUS_HOLE_BOTTOM(#63)", "",
       hole(10, -12, T::None, kNone, B::FlatWithRadius, 2)},
      {"a cone with a round tip", "#61", "#32", "$", "CONICAL_HOLE_BOTTOM(118.,#63)", "",
       hole(10, -12, T::None, kNone, B::Conical, 118, 2)},
      {"a cone with a sharp tip", "#61", "#32", "$", "CONICAL_HOLE_BOTTOM(2.06,$)", "",
       hole(10, -12, T::None, kNone, B::Conical, 2.06)},
      {"a sphere", "#61", "#32", "$", "SPHERICAL_HOLE_BOTTOM(#63)", "",
       hole(10, -12, T::None, kNone, B::Spherical, 2)},
      {"a sphere without its radius", "#61", "#32", "$", "SPHERICAL_HOLE_BOTTOM($)", "",
       hole(10, -12, T::None, kNone, B::Spherical)},
      {"a bottom of another kind", "#61", "#32", "$", "BLIND_BOTTOM_CONDITION()", "",
       hole(10, -12, T::None, kNone, B::Other)},
      {"no bottom", "#61", "#32", "$", "#99", "", hole(10, -12, T::None, kNone, B::Unset)},
      {"no diameter, no depth plane", "$", "$", "$", "FLAT_HOLE_BOTTOM()", "",
       hole(kNone, kNone, T::None, kNone, B::Flat)},
      {"a final diameter", "#61", "#32", "#64", "FLAT_HOLE_BOTTOM()",
       "#64=DIAMETER_TAPER(#65);\n#65=" + Length(8) + ";", hole(10, -12, T::Diameter, 8, B::Flat)},
      {"a final diameter of 0", "#61", "#32", "#64", "FLAT_HOLE_BOTTOM()",
       "#64=DIAMETER_TAPER(#65);\n#65=" + Length(0) + ";",
       hole(10, -12, T::Unread, kNone, B::Flat)},
      {"a taper angle", "#61", "#32", "#64", "FLAT_HOLE_BOTTOM()", "#64=ANGLE_TAPER(5.);",
       hole(10, -12, T::Angle, 5, B::Flat)},
      {"a taper without its angle", "#61", "#32", "#64", "FLAT_HOLE_BOTTOM()",
       "#64=ANGLE_TAPER($);", hole(10, -12, T::Unread, kNone, B::Flat)},
  };
  for (const Case& c : cases) {
    // A bottom given as a reference names an instance the file does not have.
    const bool dangling = c.bottom[0] == '#';
    const std::string feature =
        "#60=ROUND_HOLE('hole',#10,(#70),#30," + c.depth + "," + c.diameter + "," + c.taper + "," +
        (dangling ? c.bottom : "#62") + ");\n#61=" + Length(10) + ";\n" +
        (dangling ? "" : "#62=" + c.bottom + ";\n") + "#63=" + Length(2) + ";\n" + c.more;
    TempFile file(File(feature, kFileDrilling, {"TWIST_DRILL", 10}, kOrigin, 12));
    CDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(file.Path())) << c.what;
    const varnholt::Model model = varnholt::ReadModel(*doc.Scope());
    ASSERT_EQ(model.features.size(), 1u) << c.what;
    ASSERT_TRUE(model.features[0].hole) << c.what;
    const HoleFeature& got = *model.features[0].hole;
    const HoleFeature& want = c.want;
    EXPECT_TRUE(Same(got.diameter, want.diameter)) << c.what << ": diameter " << got.diameter;
    EXPECT_TRUE(Same(got.depth, want.depth)) << c.what << ": depth " << got.depth;
    EXPECT_EQ(got.taper.kind, want.taper.kind) << c.what;
    EXPECT_TRUE(Same(got.taper.finalDiameter, want.taper.finalDiameter))
        << c.what << ": final diameter";
    EXPECT_TRUE(Same(got.taper.angle, want.taper.angle)) << c.what << ": taper angle";
    EXPECT_EQ(got.bottom.kind, want.bottom.kind) << c.what;
    EXPECT_TRUE(Same(got.bottom.cornerRadius, want.bottom.cornerRadius))
        << c.what << ": corner radius";
    EXPECT_TRUE(Same(got.bottom.tipAngle, want.bottom.tipAngle)) << c.what << ": tip angle";
    EXPECT_TRUE(Same(got.bottom.tipRadius, want.bottom.tipRadius)) << c.what << ": tip radius";
    EXPECT_TRUE(Same(got.bottom.radius, want.bottom.radius)) << c.what << ": sphere radius";
    if (want.bottom.kind == B::Other) {
      EXPECT_EQ(got.bottom.type, "blind_bottom_condition");
    }
  }
}

// A file's hole machined by the program is the hole given as numbers to the generator: the
// reader and the model give the generator what the numbers say.
TEST_F(HoleFile, TheProgramOfAFileIsTheGeneratorsOfItsNumbers) {
  struct Case {
    const char* what;
    Hole hole;
    std::string operation;
    ToolSpec tool;
    ModelOperation plain;
    Tool plainTool;
  };
  ModelOperation boring = ReducedFeeds(Drilling()), sinking = Drilling(), clockwise = Milling(0, 0);
  boring.boring = true;
  sinking.counterSinking = true;
  clockwise.strategy.cutmode = "", clockwise.strategy.rotationDirection = "cw";
  const Case cases[] = {
      {"drilling a cone",
       kCone,
       kFileDrilling,
       {"TWIST_DRILL", 10, 1.0297442586766543},
       Drilling(),
       kDrill},
      {"multistep drilling",
       kFlat,
       Operation("MULTISTEP_DRILLING", "$,$,1.,$,$,1.5,4.,3.,0.5"),
       {"TWIST_DRILL", 10, 1.0297442586766543},
       Multistep(4, 3, 1.5, 0.5, 1),
       kDrill},
      {"boring with reduced feeds",
       kFlat,
       Operation("BORING", "$,$,$,$,#71,.F.,$,$") +
           "\n#71=DRILLING_TYPE_STRATEGY($,0.5,2.,$,0.25,1.);",
       {"BORING_TOOL", 10, -1, -1, ",.F."},
       boring,
       kBore},
      {"counter sinking",
       {Hole::Flat, 12, 3, 0},
       Operation("COUNTER_SINKING", "$,$,$,$,$"),
       {"COUNTERSINK", 16, kPi / 4},
       sinking,
       kCountersink},
      {"milling a fillet with allowances",
       kFillet,
       Operation(kFileMilling, "#72,$,#71,3.,2.,0.5,0.2") +
           "\n#71=CONTOUR_PARALLEL($,$,$,.CLIMB.);" + kFileHelix,
       {"ENDMILL", 6},
       Milling(0.5, 0.2),
       kMill},
      {"milling clockwise",
       kWide,
       Operation(kFileMilling, "#72,$,#71,3.,2.,0.,0.") + "\n#71=CONTOUR_PARALLEL($,$,.CW.,$);" +
           kFileHelix,
       {"ENDMILL", 6},
       clockwise,
       kMill},
  };
  for (const Case& c : cases) {
    const StepRun file =
        Build(File(c.hole.Records(), c.operation, c.tool, kOrigin, c.hole.depth), kOrigin);
    const StepRun plain = Machine(c.hole.Feature(), c.plain, c.plainTool);
    ASSERT_FALSE(plain.moves.empty()) << c.what << ": " << plain.reason;
    // The program adds the way from the security plane and back to it.
    ASSERT_EQ(file.moves.size(), plain.moves.size() + 2) << c.what << ": " << file.reason;
    for (size_t k = 0; k < plain.moves.size(); ++k) {
      const Move& a = file.moves[k + 1];
      const Move& b = plain.moves[k];
      const bool same = a.kind == b.kind &&
                        std::hypot(a.to.x - b.to.x, a.to.y - b.to.y, a.to.z - b.to.z) < 1e-9 &&
                        a.clockwise == b.clockwise && Same(a.feed, b.feed) &&
                        a.seconds == b.seconds;
      EXPECT_TRUE(same) << c.what << ": move " << k << " to (" << a.to.x << "," << a.to.y << ","
                        << a.to.z << ") against (" << b.to.x << "," << b.to.y << "," << b.to.z
                        << ")";
      if (!same) break;
    }
  }
}

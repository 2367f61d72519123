// The program as motion: moves in the setup's system between visits to the security plane,
// the feed that applies to them, the tool as the file gives it, and a reason wherever a
// workingstep is left without moves.
#include "varnholt/program.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "cct/factory.h"
#include "cct/instance.h"
#include "cct/schema.h"
#include "cct/scope.h"
#include "support/cli_run.h"
#include "support/json_value.h"
#include "support/temp_file.h"
#include "varnholt/doc.h"

using varnholt::MoveKind;
using varnholt::Program;
using varnholt::ProgramStep;
using varnholt::Vec3;

namespace {

const std::string kData = std::string(VARNHOLT_SOURCE_DIR) + "/tests/data/";

double Distance(const Vec3& a, const Vec3& b) { return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z); }

class ProgramBuild : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTypeNames();
    RegisterEntityNames();
  }
  void Open(const std::string& name) {
    ASSERT_TRUE(doc_.OnOpenDocument((kData + name).c_str()));
  }
  Program Build(const varnholt::ProgramOptions& options = {}) {
    CDoc::LogRoute route(doc_);
    return varnholt::BuildProgram(*doc_.Scope(), options);
  }
  static const ProgramStep* Step(const Program& program, const std::string& name) {
    for (const ProgramStep& step : program.steps)
      if (step.name == name) return &step;
    return nullptr;
  }
  CDoc doc_;
};

// The polyline's point (1,2,3) of the pocket lies at (8,6,3) of the setup (the pocket at (5,0,0)
// of a workpiece setup at (10,0,0) turned a quarter); the machine's (108,206,3) is the scene's.
TEST_F(ProgramBuild, MovesAreInTheSetupsSystemFromTheSecurityPlaneBackToIt) {
  Open("scene_placements.stp");
  const Program program = Build();
  ASSERT_TRUE(program.hasProject);
  ASSERT_EQ(program.setups.size(), 1u);
  EXPECT_EQ(program.setups[0].name, "#20");
  EXPECT_NEAR(Distance(program.setups[0].origin.origin, {100, 200, 0}), 0, 1e-12);
  const ProgramStep* step = Step(program, "#100");
  ASSERT_TRUE(step);
  EXPECT_TRUE(step->explicitMoves);
  EXPECT_EQ(step->setup, 0);
  EXPECT_EQ(step->featureType, "closed_pocket");
  ASSERT_GE(step->moves.size(), 4u);
  EXPECT_NEAR(Distance(step->start, {8, 6, 50}), 0, 1e-9) << "above the first point on the plane";
  EXPECT_EQ(step->moves.front().kind, MoveKind::Rapid);
  EXPECT_NEAR(Distance(step->moves[1].to, {8, 6, 3}), 0, 1e-9);
  EXPECT_EQ(step->moves[1].kind, MoveKind::Feed) << "down to the first point at the feed, never rapid";
  EXPECT_EQ(step->moves.back().kind, MoveKind::Rapid);
  EXPECT_NEAR(step->moves.back().to.z, 50, 1e-9) << "back up to the plane";
  // Between them feeds, and the two arcs of the circle kept as arcs (the second against the
  // circle's sense), each from the toolpath it came from.
  std::vector<const varnholt::Move*> arcs;
  for (size_t i = 1; i + 1 < step->moves.size(); ++i) {
    const varnholt::Move& move = step->moves[i];
    if (move.kind == MoveKind::Arc) {
      arcs.push_back(&move);
      EXPECT_NEAR(Distance(step->moves[i - 1].to, move.center), 2, 1e-9);
      EXPECT_NEAR(Distance(move.to, move.center), 2, 1e-9);
    } else {
      EXPECT_EQ(move.kind, MoveKind::Feed);
    }
  }
  ASSERT_EQ(arcs.size(), 2u);
  EXPECT_FALSE(arcs[0]->clockwise);
  EXPECT_TRUE(arcs[1]->clockwise);
  EXPECT_EQ(arcs[0]->source, 1);
  EXPECT_EQ(arcs[1]->source, 3);
  ASSERT_EQ(step->toolpaths.size(), 5u);
  EXPECT_EQ(step->toolpaths[2], "#140");
}

// The b-spline's chords lie within the tolerance of the curve: (2t, 4t(1-t)) in the feature's
// system, which the setup's turns a quarter about z and moves to (10, 5).
TEST_F(ProgramBuild, ChordsOfACurveLieWithinTheTolerance) {
  Open("scene_placements.stp");
  for (const double tolerance : {0.001, 0.0001}) {
    SCOPED_TRACE(tolerance);
    varnholt::ProgramOptions options;
    options.tolerance = tolerance;
    const Program program = Build(options);
    const ProgramStep* step = Step(program, "#100");
    ASSERT_TRUE(step);
    std::vector<Vec3> points;
    for (const varnholt::Move& move : step->moves)
      if (move.source == 2) points.push_back({move.to.y - 5, 10 - move.to.x, move.to.z});
    ASSERT_GE(points.size(), 9u);
    EXPECT_NEAR(Distance(points.front(), {0, 0, 0}), 0, 1e-9);
    EXPECT_NEAR(Distance(points.back(), {2, 0, 0}), 0, 1e-9);
    double worst = 0;
    for (size_t i = 1; i < points.size(); ++i) {
      const Vec3 mid{(points[i - 1].x + points[i].x) / 2, (points[i - 1].y + points[i].y) / 2, 0};
      double nearest = 1e9;
      for (int k = 0; k <= 20000; ++k) {
        const double t = k / 20000.0;
        nearest = std::min(nearest, Distance(mid, {2 * t, 4 * t * (1 - t), 0}));
      }
      worst = std::max(worst, nearest);
    }
    EXPECT_LE(worst, tolerance * 1.01);
    EXPECT_GE(worst, tolerance / 8) << "no more chords than the tolerance asks for";
  }
}

// Feeds in mm/min: the technology's feedrate read in mm/s, else feed per tooth x teeth x the
// spindle's speed (its sign is the direction), the toolpath's own technology before the
// operation's, none where nothing gives one. The tool's sizes come from a tool_dimension the
// binding keeps as written.
TEST_F(ProgramBuild, FeedsAndToolsAreReadAsTheFileGivesThem) {
  Open("program_feeds.stp");
  const Program program = Build();
  struct Row {
    const char* step;
    double feed;  // NaN: none
  } const rows[] = {
      {"#100", 2.5 * 60},
      {"#200", 0.05 * 4 * 100 * 60},
      {"#300", std::nan("")},
      {"#400", 1.0 * 60},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.step);
    const ProgramStep* step = Step(program, row.step);
    ASSERT_TRUE(step);
    EXPECT_NEAR(Distance(step->start, {0, 10, 30}), 0, 1e-9);
    EXPECT_EQ(step->tool.name, "#40");
    EXPECT_EQ(step->tool.diameter, 8);
    EXPECT_TRUE(step->tool.hasCornerRadius);
    EXPECT_EQ(step->tool.cornerRadius, 0.5);
    EXPECT_EQ(step->tool.teeth, 4);
    for (const varnholt::Move& move : step->moves) {
      if (move.kind == MoveKind::Rapid) {
        EXPECT_TRUE(std::isnan(move.feed));
      } else if (std::isnan(row.feed)) {
        EXPECT_TRUE(std::isnan(move.feed));
      } else {
        EXPECT_NEAR(move.feed, row.feed, 1e-9);
      }
    }
  }
  const ProgramStep* kept = Step(program, "#600");
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->tool.diameter, 6) << "the dimension of a tool body kept as written";
  EXPECT_EQ(kept->tool.teeth, 2);
  const ProgramStep* turning = Step(program, "#500");
  ASSERT_TRUE(turning);
  EXPECT_TRUE(turning->moves.empty());
  EXPECT_NE(turning->reason.find("facing_rough"), std::string::npos) << turning->reason;
}

TEST_F(ProgramBuild, OneWorkingstepAloneAndTheFilesToolpathsLeftOut) {
  Open("program_feeds.stp");
  varnholt::ProgramOptions only;
  only.only = doc_.Scope()->FindEntry("300", 1)->instance;
  const Program one = Build(only);
  ASSERT_EQ(one.steps.size(), 1u);
  EXPECT_EQ(one.steps[0].name, "#300");
  EXPECT_FALSE(one.steps[0].moves.empty());
  varnholt::ProgramOptions generatedOnly;
  generatedOnly.explicitMoves = false;
  for (const ProgramStep& step : Build(generatedOnly).steps) {
    if (!step.explicitMoves) continue;
    EXPECT_TRUE(step.moves.empty()) << step.name;
    EXPECT_TRUE(step.reason.empty()) << step.name << ": " << step.reason;
  }
}

// A caller's progress hears of each workingstep in order and can stop the program between
// two: what it holds then is the workingsteps before, and it says it was stopped.
TEST_F(ProgramBuild, ProgressCountsTheWorkingstepsAndStopsBetweenThem) {
  Open("program_feeds.stp");
  const Program whole = Build();
  ASSERT_GE(whole.steps.size(), 2u);
  EXPECT_FALSE(whole.cancelled);
  std::vector<int> heard;
  varnholt::ProgramOptions listening;
  listening.progress = [&heard](int percent) {
    heard.push_back(percent);
    return true;
  };
  const Program told = Build(listening);
  EXPECT_FALSE(told.cancelled);
  EXPECT_EQ(told.steps.size(), whole.steps.size());
  ASSERT_EQ(heard.size(), whole.steps.size());
  EXPECT_EQ(heard.front(), 0);
  for (size_t k = 1; k < heard.size(); ++k) EXPECT_GE(heard[k], heard[k - 1]);
  EXPECT_LT(heard.back(), 100);
  for (size_t stopAt : {size_t{0}, size_t{1}}) {
    size_t calls = 0;
    varnholt::ProgramOptions stopping;
    stopping.progress = [&calls, stopAt](int) { return calls++ < stopAt; };
    const Program stopped = Build(stopping);
    EXPECT_TRUE(stopped.cancelled);
    ASSERT_EQ(stopped.steps.size(), stopAt);
    for (size_t k = 0; k < stopAt; ++k) EXPECT_EQ(stopped.steps[k].name, whole.steps[k].name);
  }
}

// What scene --format json prints: the document parses, numbers read back exactly, rapids
// carry no feed, and the log stays out of standard output.
TEST(SceneCommand, JsonIsOneDocumentWithTheMovesAndTheLogApart) {
  const CliResult r = RunCli({"scene", kData + "program_feeds.stp", "--format", "json"});
  ASSERT_EQ(r.status, 0) << r.err;
  bool ok = false;
  const Json doc = Json::Parse(r.out, ok);
  ASSERT_TRUE(ok) << r.out;
  EXPECT_EQ(doc["unit"].text, "mm");
  ASSERT_EQ(doc["setups"].items.size(), 1u);
  const Json& steps = doc["setups"].items[0]["workingsteps"];
  ASSERT_EQ(steps.items.size(), 6u);
  EXPECT_EQ(steps.items[0]["tool"]["diameter"].number, 8);
  EXPECT_EQ(steps.items[0]["moves"].items.at(1)["feed"].number, 150);
  EXPECT_EQ(steps.items[0]["moves"].items.at(0)["feed"].kind, Json::Null);
  EXPECT_EQ(steps.items[0]["generated"].kind, Json::Bool);
  EXPECT_FALSE(steps.items[0]["generated"].boolean);
  EXPECT_NE(steps.items.at(4)["reason"].text.find("facing_rough"), std::string::npos);
  EXPECT_NE(r.err.find("is open"), std::string::npos) << "the log goes to standard error";
  const CliResult text = RunCli({"scene", kData + "program_feeds.stp"});
  EXPECT_NE(text.out.find("#500 'WS turning' planar_face #30, facing_rough #80: no moves ("), std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("workingstep #500: no toolpaths: "), std::string::npos) << "and in the log";
}

}  // namespace

// Structures with more than one way through are followed one way, and say so: a selective
// element by its first alternative, a parallel one by its first branch.
TEST_F(ProgramBuild, ChoicesAndBranchesAreFollowedTheFirstWay) {
  TempDir dir;
  std::string text = ReadAll(kData + "program_feeds.stp");
  const std::string plan = "#2=WORKPLAN('main',(#100,#200,#300,#400,#500,#600),$,#20,$);";
  ASSERT_NE(text.find(plan), std::string::npos);
  text.replace(text.find(plan), plan.size(),
               "#2=WORKPLAN('main',(#7,#300,#8),$,#20,$);#7=SELECTIVE('choose',(#100,#200));"
               "#8=PARALLEL('both',(#400,#600));");
  const std::string path = dir.File("choices.stp");
  std::ofstream(path) << text;
  ASSERT_TRUE(doc_.OnOpenDocument(path.c_str()));
  const Program program = Build();
  std::vector<std::string> names;
  for (const ProgramStep& step : program.steps) names.push_back(step.name);
  EXPECT_EQ(names, (std::vector<std::string>{"#100", "#300", "#400"}));
  EXPECT_EQ(program.choices, (std::vector<std::string>{
                                 "#7: a selective element: only its first alternative is followed",
                                 "#8: a parallel element: only its first branch is followed"}));
}

// program_feeds.stp with the text `from` (which must be there) given as `to`, opened into `doc`
// and built.
bool BuildRewritten(CDoc& doc, const std::string& from, const std::string& to, Program& program) {
  std::string text = ReadAll(kData + "program_feeds.stp");
  const size_t at = text.find(from);
  if (at == std::string::npos) return false;
  text.replace(at, from.size(), to);
  TempFile file(text);
  if (!doc.OnOpenDocument(file.Path())) return false;
  CDoc::LogRoute route(doc);
  program = varnholt::BuildProgram(*doc.Scope());
  return true;
}

// A toolpath whose speed is the speed name RAPID moves as rapids, whether the file types the
// select's value (SPEED_NAME(.RAPID.)) or gives the literal bare; a save writes either as read.
TEST_F(ProgramBuild, ARapidSpeedMovesAsRapidsTypedOrBare) {
  const std::string path = "#54=CUTTER_LOCATION_TRAJECTORY(.T.,.TRAJECTORY_PATH.,$,";
  for (const std::string speed : {"SPEED_NAME(.RAPID.)", ".RAPID."}) {
    SCOPED_TRACE(speed);
    CDoc doc;
    Program program;
    ASSERT_TRUE(BuildRewritten(doc, path, "#54=CUTTER_LOCATION_TRAJECTORY(.T.,.TRAJECTORY_PATH.," + speed + ",", program));
    const ProgramStep* step = Step(program, "#100");
    ASSERT_TRUE(step);
    ASSERT_FALSE(step->moves.empty());
    for (const varnholt::Move& move : step->moves) EXPECT_EQ(move.kind, MoveKind::Rapid);
    TempFile saved("", ".stp");
    ASSERT_TRUE(doc.OnSaveDocument(saved.Path()));
    EXPECT_NE(ReadAll(saved.Path()).find("(.T.,.TRAJECTORY_PATH.," + speed + ","), std::string::npos);
  }
}

// An operation whose toolpath list is empty (as inserting one leaves it) takes its moves from
// the file, which gives none: the reason says so, and nothing is generated in their place.
TEST_F(ProgramBuild, AnEmptyToolpathListMeansNoMovesAndSaysSo) {
  CDoc doc;
  Program program;
  ASSERT_TRUE(BuildRewritten(doc, "#53=TOOLPATH_LIST((#54));", "#53=TOOLPATH_LIST(());", program));
  const ProgramStep* step = Step(program, "#100");
  ASSERT_TRUE(step);
  EXPECT_TRUE(step->explicitMoves);
  EXPECT_TRUE(step->moves.empty());
  EXPECT_EQ(step->reason, "its toolpath list is empty: its moves are the file's, which gives none, so none are generated");
}

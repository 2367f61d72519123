// G-code of programs: what each kind of move, tool change, spindle and coolant change writes;
// what is refused rather than guessed; the units feeds and speeds are read in; the machining
// time; and the command line's durable, all-or-nothing output.
#include "varnholt/gcode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cct/factory.h"
#include "cct/schema.h"
#include "support/cli_run.h"
#include "varnholt/rules.h"
#include "varnholt/doc.h"

using varnholt::GcodeOptions;
using varnholt::GcodeResult;
using varnholt::Move;
using varnholt::MoveKind;
using varnholt::Program;
using varnholt::ProgramStep;
using varnholt::Vec3;

namespace {

const std::string kData = std::string(VARNHOLT_SOURCE_DIR) + "/tests/data/";

Move Rapid(Vec3 to) {
  Move m;
  m.to = to;
  return m;
}
Move Feed(Vec3 to, double feed) {
  Move m;
  m.kind = MoveKind::Feed;
  m.to = to;
  m.feed = feed;
  return m;
}
Move Arc(Vec3 to, Vec3 center, Vec3 normal, bool clockwise, double feed) {
  Move m = Feed(to, feed);
  m.kind = MoveKind::Arc;
  m.center = center;
  m.normal = normal;
  m.clockwise = clockwise;
  return m;
}
Move Dwell(double seconds) {
  Move m;
  m.kind = MoveKind::Dwell;
  m.seconds = seconds;
  return m;
}

ProgramStep Step(const char* name, const char* label, const char* tool, double diameter, double spindle) {
  ProgramStep s;
  s.name = name;
  s.label = label;
  s.type = "machining_workingstep";
  s.operation = "#9";
  s.setup = 0;
  s.tool.name = tool;
  s.tool.id = std::string("T_") + tool;
  s.tool.diameter = diameter;
  s.spindle = spindle;
  return s;
}

// A line and an arc in each principal plane; a peck with a dwell under another tool, spindle
// sense and coolant; rapid moves without a tool; a workingstep without moves.
Program Sample() {
  Program p;
  p.hasProject = true;
  p.units.given = true;
  p.setups.resize(1);
  ProgramStep a = Step("#100", "line", "#40", 8, -3000);
  a.coolant.flood = true;
  a.start = {0, 0, 10};
  a.moves = {Rapid({0, 0, 10}),
             Feed({10, 0, -1}, 600),
             Arc({20, 10, -1}, {10, 10, -1}, {0, 0, 1}, false, 600),
             Arc({30, 10, -11}, {30, 10, -1}, {0, 1, 0}, true, 600),
             Arc({30, 20, -1}, {30, 10, -1}, {-1, 0, 0}, true, 600),
             Rapid({30, 20, 10})};
  ProgramStep b = Step("#200", "peck", "#41", 6, 2000);
  b.coolant.mist = true;
  b.start = {5, 5, 10};
  b.moves = {Rapid({5, 5, 10}), Feed({5, 5, -3}, 120), Rapid({5, 5, 1}), Feed({5, 5, -6}, 120), Dwell(0.5),
             Rapid({5, 5, 10})};
  ProgramStep c = Step("#300", "away", "", 0, std::nan(""));
  c.type = "rapid_movement";
  c.moves = {Rapid({0, 0, 50})};
  ProgramStep d = Step("#400", "none", "#40", 8, -3000);
  d.reason = "why";
  p.steps = {a, b, c, d};
  return p;
}

const char* const kSample =
    "(Varnholt G-code for LinuxCNC of t.stp)\n"
    "(units si: feed mm/s, cutting speed m/s, spindle rev/s, as given)\n"
    "(T1 #40 'T_#40' diameter 8 mm)\n"
    "(T2 #41 'T_#41' diameter 6 mm)\n"
    "G17 G21 G40 G49 G80 G90 G94\n"
    "G91.1\n"
    "(#100 machining_workingstep 'line')\n"
    "G54\n"
    "G53 G0 Z0\n"
    "T1 M6\n"
    "G43 H1\n"
    "S3000 M3\n"
    "M8\n"
    "G0 X0 Y0\n"
    "G0 X0 Y0 Z10\n"
    "G1 X10 Y0 Z-1 F600\n"
    "G3 X20 Y10 Z-1 I0 J10\n"
    "G18\n"
    "G2 X30 Y10 Z-11 I10 K0\n"
    "G19\n"
    "G3 X30 Y20 Z-1 J0 K10\n"
    "G0 X30 Y20 Z10\n"
    "(#200 machining_workingstep 'peck')\n"
    "M5 M9\n"
    "G53 G0 Z0\n"
    "T2 M6\n"
    "G43 H2\n"
    "S2000 M4\n"
    "M7\n"
    "G0 X5 Y5\n"
    "G0 X5 Y5 Z10\n"
    "G1 X5 Y5 Z-3 F120\n"
    "G0 X5 Y5 Z1\n"
    "G1 X5 Y5 Z-6\n"
    "G4 P0.5\n"
    "G0 X5 Y5 Z10\n"
    "(#300 rapid_movement 'away')\n"
    "G0 X0 Y0 Z50\n"
    "(#400 machining_workingstep 'none': no moves: why)\n"
    "M5 M9\n"
    "G53 G0 Z0\n"
    "M30\n";

GcodeResult Write(const Program& program, GcodeOptions options = {}) {
  options.source = "t.stp";
  return varnholt::WriteGcode(program, options);
}

size_t Count(const std::string& text, const std::string& word) {
  size_t n = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
}

TEST(Gcode, EveryKindOfMoveAndMachineChangeAsTheTableSays) {
  const GcodeResult result = Write(Sample());
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.text, kSample);
  ASSERT_EQ(result.tools.size(), 2u);
  EXPECT_EQ(result.tools[1].number, 2);
}

// The lines that prepare a workingstep: after its heading, before its first move (G0 to G3);
// empty when the heading is not in the text.
std::vector<std::string> PreparationAfter(const std::string& text, const std::string& heading) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line) && line != heading) {
  }
  std::vector<std::string> preparation;
  while (std::getline(lines, line) && !std::regex_search(line, std::regex("^G[0-3] ")))
    preparation.push_back(line);
  return preparation;
}

// Coolant through the spindle runs as flood; mist and flood together as both; a change from one
// to another stops the first.
TEST(Gcode, CoolantOfTheMachineFunctions) {
  Program program = Sample();
  program.steps.resize(2);
  program.steps[1].tool = program.steps[0].tool;
  program.steps[1].spindle = program.steps[0].spindle;
  struct Row {
    bool flood, mist, through;
    std::vector<std::string> lines;
  } const rows[] = {
      {false, false, true, {"M9", "M8"}},
      {true, true, false, {"M9", "M7 M8"}},
      {false, false, false, {"M9"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.lines));
    program.steps[1].coolant = {row.flood, row.mist, row.through};
    program.steps[0].coolant = {false, true, false};  // mist before
    const std::string text = Write(program).text;
    EXPECT_EQ(PreparationAfter(text, "(#100 machining_workingstep 'line')"),
              (std::vector<std::string>{"G54", "G53 G0 Z0", "T1 M6", "G43 H1", "S3000 M3", "M7"}))
        << text;
    // Same tool and spindle: only the coolant changes.
    EXPECT_EQ(PreparationAfter(text, "(#200 machining_workingstep 'peck')"), row.lines) << text;
  }
}

TEST(Gcode, FanucWritesPercentLinesAnONumberAndSecondsOfDwellAsX) {
  GcodeOptions options;
  options.dialect = varnholt::Dialect::Fanuc;
  const GcodeResult result = Write(Sample(), options);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.text.rfind("%\nO0001\n(Varnholt G-code for Fanuc of t.stp)\n", 0), 0u);
  const std::string end = "M5 M9\nG91 G28 Z0\nG90\nM30\n%\n";
  EXPECT_EQ(result.text.substr(result.text.size() - end.size()), end);
  // Before each tool change up to the machine's top too.
  EXPECT_EQ(Count(result.text, "G91 G28 Z0\nG90\nT"), 2u) << result.text;
  EXPECT_EQ(Count(result.text, "G53"), 0u);
  EXPECT_EQ(Count(result.text, "G91.1"), 0u);
  EXPECT_EQ(Count(result.text, "G4 X0.5\n"), 1u);
}

// Each source names the line's workingstep, operation and toolpath; one per line.
TEST(Gcode, TheMapHasALinePerLineOfTheProgram) {
  Program program = Sample();
  program.steps[0].toolpaths = {"#420"};
  for (Move& move : program.steps[0].moves) move.source = 0;
  const GcodeResult result = Write(program);
  ASSERT_EQ(result.lines.size(), static_cast<size_t>(Count(result.text, "\n")));
  std::istringstream lines(result.text);
  std::string line;
  for (size_t k = 0; std::getline(lines, line); ++k) {
    SCOPED_TRACE(line);
    if (line == "G1 X10 Y0 Z-1 F600") {
      EXPECT_EQ(result.lines[k].workingstep, "#100");
      EXPECT_EQ(result.lines[k].operation, "#9");
      EXPECT_EQ(result.lines[k].toolpath, "#420");
    }
    if (line == "G4 P0.5") {
      EXPECT_EQ(result.lines[k].workingstep, "#200");
    }
    if (line == "M30" || line == "G91.1") {
      EXPECT_EQ(result.lines[k].workingstep, "");
    }
  }
  std::ostringstream json;
  varnholt::WriteGcodeMap(result, json);
  EXPECT_NE(json.str().find("{\"line\": 16, \"workingstep\": 100, \"operation\": 9, \"toolpath\": 420}"),
            std::string::npos)
      << json.str();
}

// Numbers read back within 1e-6 mm, never in exponent form, with no trailing zeros.
TEST(Gcode, NumbersAreFixedPointToAMillionth) {
  Program program = Sample();
  program.steps.resize(1);
  program.steps[0].moves = {Rapid({1e-7, -1e-7, 1234567.1234567}), Rapid({9999999.9999996, 0.1 + 0.2, -2.5000004})};
  const GcodeResult result = Write(program);
  EXPECT_NE(result.text.find("G0 X0 Y0 Z1234567.123457\n"), std::string::npos);
  EXPECT_NE(result.text.find("G0 X10000000 Y0.3 Z-2.5\n"), std::string::npos);
  EXPECT_FALSE(std::regex_search(result.text, std::regex("[0-9][eE][-+0-9]"))) << "no exponent";
}

// An arc outside the principal planes is chords within the tolerance, ending where it ends.
TEST(Gcode, AnArcOutsideThePrincipalPlanesIsChordsWithinTheTolerance) {
  Program program = Sample();
  program.steps.resize(1);
  const double s = std::sqrt(0.5);
  program.steps[0].start = {10, 0, 0};
  program.steps[0].moves = {Rapid({10, 0, 0}), Arc({-10, 0, 0}, {0, 0, 0}, {0, s, s}, false, 100)};
  for (double tolerance : {0.01, 0.001}) {
    GcodeOptions options;
    options.tolerance = tolerance;
    const GcodeResult result = Write(program, options);
    EXPECT_EQ(Count(result.text, "G2 ") + Count(result.text, "G3 "), 0u);
    const size_t chords = Count(result.text, "G1 ");
    // A half turn of radius 10 needs pi / (2 acos(1 - t/10)) chords.
    EXPECT_EQ(chords, static_cast<size_t>(std::ceil(3.14159265358979 / (2 * std::acos(1 - tolerance / 10)))));
    EXPECT_NE(result.text.find("G1 X-10 Y0 Z0\n"), std::string::npos);
  }
}

// What a three-axis program cannot hold, or what would have to be guessed, ends the run
// naming the workingstep; asked for, the rest is written and the rest listed.
TEST(Gcode, WhatCannotBeWrittenIsRefusedOrLeftOutAndListed) {
  struct Case {
    const char* why;
    void (*spoil)(ProgramStep&);
  } const cases[] = {
      {"its tool axis (0, 1, 0) is not the setup's z axis, which a three-axis program cannot hold",
       [](ProgramStep& s) { s.axisProblem = "its tool axis (0, 1, 0) is not the setup's z axis"; }},
      {"its tool #41 has no diameter", [](ProgramStep& s) { s.tool.diameter = 0; }},
      {"it has no tool", [](ProgramStep& s) { s.tool.name.clear(); }},
      {"its technology gives no spindle speed", [](ProgramStep& s) { s.spindle = std::nan(""); }},
      {"its technology gives no feed rate", [](ProgramStep& s) { s.moves[3].feed = std::nan(""); }},
      {"it has no moves and no reason why", [](ProgramStep& s) { s.moves.clear(); }},
      {"its moves, feeds or speeds lie beyond what a controller takes (10 km, 10^9 mm/min, 10^7 rpm)",
       [](ProgramStep& s) { s.moves[2].to.y = 1e300; }},
      {"its moves, feeds or speeds lie beyond what a controller takes (10 km, 10^9 mm/min, 10^7 rpm)",
       [](ProgramStep& s) { s.moves[1].feed = 1e12; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    Program program = Sample();
    c.spoil(program.steps[1]);
    const GcodeResult refused = Write(program);
    EXPECT_FALSE(refused.ok);
    ASSERT_EQ(refused.problems.size(), 1u);
    EXPECT_EQ(refused.problems[0], std::string("workingstep #200 'peck': ") + c.why);
    GcodeOptions partial;
    partial.allowPartial = true;
    const GcodeResult written = Write(program, partial);
    ASSERT_TRUE(written.ok);
    EXPECT_NE(written.text.find(std::string("(left out: workingstep #200 'peck': ") + std::string(c.why).substr(0, 12)),
              std::string::npos)
        << written.text;
    EXPECT_EQ(Count(written.text, "G4 "), 0u) << "nothing of the workingstep left out";
    EXPECT_EQ(Count(written.text, "G2 X30"), 1u) << "the rest is there";
  }
}

// A workingstep is not run where an earlier one on its feature is not: a finish after a
// roughing that has no moves, or is left out, would take the whole stock at its full depth.
// Workingsteps of other features, and those after one that runs, are not touched.
TEST(Gcode, NoWorkingstepRunsWithoutTheEarlierOnesOnItsFeature) {
  struct Case {
    const char* what;
    void (*spoil)(ProgramStep&);  // done to the first workingstep on the feature
    const char* says;             // what the problem of the second says of the first; empty: none
  } const cases[] = {
      {"the roughing runs", [](ProgramStep&) {}, ""},
      {"the roughing has no moves", [](ProgramStep& s) { s.moves.clear(), s.reason = "a strategy not followed"; },
       "workingstep #200 'peck': its feature #77 is machined first by workingstep #100 'line', which has no moves"},
      {"the roughing is left out", [](ProgramStep& s) { s.spindle = std::nan(""); },
       "workingstep #200 'peck': its feature #77 is machined first by workingstep #100 'line', which is left out"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Program program = Sample();
    program.steps[0].feature = program.steps[1].feature = "#77";  // line, then peck, on one feature
    program.steps[3].feature = "#88";                             // another, after both
    c.spoil(program.steps[0]);
    const GcodeResult refused = Write(program);
    const std::string says = c.says;
    const bool found = std::any_of(refused.problems.begin(), refused.problems.end(),
                                   [&](const std::string& p) { return !says.empty() && p.rfind(says, 0) == 0; });
    EXPECT_EQ(found, !says.empty());
    EXPECT_EQ(refused.ok, program.steps[0].moves.empty() ? false : says.empty());
    GcodeOptions partial;
    partial.allowPartial = true;
    const GcodeResult written = Write(program, partial);
    ASSERT_TRUE(written.ok);
    EXPECT_EQ(Count(written.text, "G4 "), says.empty() ? 1u : 0u) << "the peck's dwell is written with its roughing only";
    EXPECT_NE(written.text.find("#400 machining_workingstep"), std::string::npos) << "another feature's step stays";
  }
}

TEST(Gcode, ToolNumbersComeFromTheToolTableByItsId) {
  std::istringstream table("; a LinuxCNC tool table\nT7 P7 D8 Z0 ;T_#40\n\nT3 P3 D6 Z0\n");
  GcodeOptions options;
  std::string why;
  ASSERT_TRUE(varnholt::ReadToolTable(table, options.toolNumbers, why)) << why;
  const GcodeResult result = Write(Sample(), options);
  EXPECT_NE(result.text.find("T7 M6\nG43 H7\n"), std::string::npos);
  EXPECT_NE(result.text.find("T8 M6\nG43 H8\n"), std::string::npos) << "after the highest number of the table";
  std::istringstream bad("T1 P1 D8\nP2 D6 ;no number\n");
  EXPECT_FALSE(varnholt::ReadToolTable(bad, options.toolNumbers, why));
  EXPECT_EQ(why.rfind("line 2: ", 0), 0u) << why;
}

// Up to the machine's top before each tool change and at the end; after a change across at
// that height, then down: never down and across in one rapid. A workingstep whose first move
// is no rapid is gone to across, then down to where it starts.
TEST(Gcode, AToolIsChangedAtTheMachinesTopAndLeftAcrossThenDown) {
  Program program = Sample();
  program.steps[1].moves.erase(program.steps[1].moves.begin());  // the peck begins with its feed
  program.steps[1].start = {5, 5, 10};
  for (const varnholt::Dialect dialect : {varnholt::Dialect::LinuxCnc, varnholt::Dialect::Fanuc}) {
    GcodeOptions options;
    options.dialect = dialect;
    const std::string retract = dialect == varnholt::Dialect::Fanuc ? "G91 G28 Z0\nG90\n" : "G53 G0 Z0\n";
    const std::string text = Write(program, options).text;
    EXPECT_NE(text.find(retract + "T1 M6\nG43 H1\nS3000 M3\nM8\nG0 X0 Y0\nG0 X0 Y0 Z10\n"), std::string::npos) << text;
    EXPECT_NE(text.find("M5 M9\n" + retract + "T2 M6\nG43 H2\nS2000 M4\nM7\nG0 X5 Y5\nG0 X5 Y5 Z10\nG1 X5 Y5 Z-3 F120\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("M5 M9\n" + retract + "M30\n"), std::string::npos) << text;
    EXPECT_EQ(Count(text, " M6\n"), Count(text, retract + "T"));
  }
}

// M3 for a right-hand tool, M4 for a left-hand one, whatever the sign of the file's speed; the
// sign decides for a tool of no hand or a neutral one. Where the sign says the other sense, the
// S line says so.
TEST(Gcode, TheSpindleTurnsAsTheToolCuts) {
  using varnholt::Hand;
  struct Row {
    Hand hand;
    double spindle;
    const char* note;  // how the file's technology gave the speed, where it did not
    const char* line;
  } const rows[] = {
      {Hand::Unknown, -3000, "", "S3000 M3"},
      {Hand::Unknown, 3000, "", "S3000 M4"},
      {Hand::Neutral, 3000, "", "S3000 M4"},
      {Hand::Right, -3000, "", "S3000 M3"},
      {Hand::Right, 3000, "", "S3000 M3 (as the right-hand tool cuts; the file's spindle 3000 says M4)"},
      {Hand::Left, 3000, "", "S3000 M4"},
      {Hand::Left, -3000, "", "S3000 M4 (as the left-hand tool cuts; the file's spindle -3000 says M3)"},
      {Hand::Left, 3000, "from cutspeed", "S3000 M4 (from cutspeed)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    Program program = Sample();
    program.steps.resize(1);
    program.steps[0].tool.hand = row.hand;
    program.steps[0].spindle = row.spindle;
    program.steps[0].spindleNote = row.note;
    EXPECT_EQ(varnholt::SpindleClockwise(program.steps[0]), std::string(row.line).rfind("S3000 M3", 0) == 0);
    EXPECT_EQ(varnholt::SpindleSignAgainstHand(program.steps[0]), std::string(row.line).find("says") != std::string::npos);
    const std::string text = Write(program).text;
    EXPECT_NE(text.find(std::string("\n") + row.line + "\n"), std::string::npos) << text;
  }
}

// A workingstep with implausible feeds or speeds refuses the whole program, partial or not,
// naming it and its values; accepted, it is written as given with a comment. One left out for
// another reason stops nothing.
TEST(Gcode, ImplausibleTechnologyStopsTheProgramUnlessAccepted) {
  Program program = Sample();
  program.steps[1].implausible = {
      {varnholt::Implausibility::Spindle, 90000, 60000, true, "spindle 90000 rpm, above 60000 rpm"},
      {varnholt::Implausibility::FeedLow, 0.5, 1, true, "feed 0.5 mm/min, below 1 mm/min"}};
  for (const bool partial : {false, true}) {
    GcodeOptions options;
    options.allowPartial = partial;
    const GcodeResult refused = Write(program, options);
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(refused.text.empty());
    EXPECT_TRUE(refused.problems.empty());
    EXPECT_EQ(refused.implausible, std::vector<std::string>{"workingstep #200 'peck': spindle 90000 rpm, above 60000 "
                                                            "rpm; feed 0.5 mm/min, below 1 mm/min"});
  }
  GcodeOptions accept;
  accept.acceptImplausible = true;
  const GcodeResult written = Write(program, accept);
  ASSERT_TRUE(written.ok);
  EXPECT_NE(written.text.find("(#200 machining_workingstep 'peck')\n(implausible, written as given: spindle 90000 rpm, "
                              "above 60000 rpm; feed 0.5 mm/min, below 1 mm/min)\nM5 M9\n"),
            std::string::npos)
      << written.text;
  program.steps[1].axisProblem = "its tool axis (0, 1, 0) is not the setup's z axis";
  GcodeOptions partial;
  partial.allowPartial = true;
  const GcodeResult left = Write(program, partial);
  EXPECT_TRUE(left.ok);
  EXPECT_TRUE(left.implausible.empty());
}

// Rapid moves at the rapid rate from where the last workingstep ended; cutting at the moves'
// feeds (arcs by their length); a tool change only where a cutting tool changes; dwells.
TEST(MachiningTime, LengthOverFeedPerMove) {
  const varnholt::ProgramTime time = varnholt::MachiningTime(Sample(), 5000, 5);
  ASSERT_EQ(time.steps.size(), 4u);
  EXPECT_FALSE(time.steps[3].run) << "listed, with why it has no moves";
  EXPECT_EQ(time.steps[3].reason, "no moves: why");
  const double pi = 3.14159265358979323846;
  const varnholt::StepTime& a = time.steps[0];
  EXPECT_NEAR(a.cutting, std::sqrt(221.0) + 3 * pi / 2 * 10, 1e-9);
  EXPECT_NEAR(a.cuttingSeconds, a.cutting / 600 * 60, 1e-9);
  EXPECT_NEAR(a.rapid, 11, 1e-9);
  EXPECT_TRUE(a.toolChange);
  const varnholt::StepTime& b = time.steps[1];
  EXPECT_NEAR(b.rapid, std::hypot(25, 15) + 4 + 16, 1e-9);
  EXPECT_NEAR(b.cuttingSeconds, 20.0 / 120 * 60, 1e-9);
  EXPECT_EQ(b.dwellSeconds, 0.5);
  EXPECT_EQ(b.feeds, std::vector<double>{120});
  EXPECT_NEAR(b.Total(), 10 + b.rapid / 5000 * 60 + 5 + 0.5, 1e-9);
  EXPECT_FALSE(time.steps[2].toolChange) << "rapid moves alone change no tool";
  EXPECT_NEAR(time.total.Total(), a.Total() + b.Total() + time.steps[2].Total(), 1e-9);
  EXPECT_EQ(varnholt::Duration(3725.25), "1 h 2 min 5 s");
  EXPECT_EQ(varnholt::Duration(75.25), "1 min 15.2 s");
}

// The time is that of the G-code: a workingstep it leaves out is listed with why, counts
// nothing and changes no tool; the totals are those of what it runs.
TEST(MachiningTime, WhatTheGcodeLeavesOutCountsNothing) {
  Program program = Sample();
  ProgramStep again = program.steps[0];
  again.name = "#500";
  again.label = "again";
  program.steps.push_back(again);  // T1 again, after the peck
  program.steps[1].axisProblem = "its tool axis (0, 1, 0) is not the setup's z axis";
  const varnholt::ProgramTime time = varnholt::MachiningTime(program, 5000, 5);
  ASSERT_EQ(time.steps.size(), 5u);
  const varnholt::StepTime& peck = time.steps[1];
  EXPECT_FALSE(peck.run);
  EXPECT_EQ(peck.reason, "left out: its tool axis (0, 1, 0) is not the setup's z axis, which a three-axis program cannot "
                         "hold");
  EXPECT_EQ(peck.Total(), 0);
  EXPECT_EQ(peck.cutting, 0);
  EXPECT_FALSE(peck.toolChange);
  EXPECT_TRUE(time.steps[4].run);
  EXPECT_FALSE(time.steps[4].toolChange) << "T1 is still in the spindle, as in the G-code";
  double total = 0, changes = 0;
  for (const varnholt::StepTime& t : time.steps) total += t.Total(), changes += t.toolChangeSeconds;
  EXPECT_NEAR(time.total.Total(), total, 1e-9);
  EXPECT_EQ(time.total.toolChangeSeconds, 5);
  GcodeOptions partial;
  partial.allowPartial = true;
  EXPECT_EQ(Count(Write(program, partial).text, " M6\n"), 1u);
  std::ostringstream json, text;
  varnholt::WriteTimeJson(time, json);
  EXPECT_NE(json.str().find("{\"instance\": 200, \"its_id\": \"peck\", \"run\": false, \"reason\": \"left out: its tool "
                            "axis (0, 1, 0) is not the setup's z axis, which a three-axis program cannot hold\", "
                            "\"implausible\": false, \"tool_change\": false,\n    \"cutting_length\": 0,"),
            std::string::npos)
      << json.str();
  EXPECT_NE(json.str().find("{\"instance\": 100, \"its_id\": \"line\", \"run\": true, \"implausible\": false, "
                            "\"tool_change\": true,"),
            std::string::npos)
      << json.str();
  varnholt::WriteTimeText(time, text);
  EXPECT_TRUE(std::regex_search(text.str(), std::regex("\n  #200 'peck' +not run: left out: its tool axis")))
      << text.str();
  EXPECT_TRUE(std::regex_search(text.str(), std::regex("\n  #400 'none' +not run: no moves: why\n"))) << text.str();
  EXPECT_NE(text.str().find("\nThe total is of the workingsteps the G-code runs; 2 are not run, as the G-code leaves "
                            "them out.\n"),
            std::string::npos)
      << text.str();
}

// A workingstep with implausible feeds or speeds is counted as the G-code runs it when they are
// accepted, and marked: true with its reason in the JSON, "!" in the table, explained below it.
TEST(MachiningTime, ImplausibleWorkingstepsAreMarked) {
  Program program = Sample();
  program.steps[1].implausible = {
      {varnholt::Implausibility::Spindle, 90000, 60000, true, "spindle 90000 rpm, above 60000 rpm"}};
  const varnholt::ProgramTime time = varnholt::MachiningTime(program, 5000, 5);
  ASSERT_EQ(time.steps.size(), 4u);
  EXPECT_TRUE(time.steps[1].run);
  EXPECT_TRUE(time.steps[1].implausible);
  EXPECT_EQ(time.steps[1].implausibleReason, "spindle 90000 rpm, above 60000 rpm");
  EXPECT_FALSE(time.steps[0].implausible);
  EXPECT_GT(time.steps[1].Total(), 0);
  std::ostringstream json, text;
  varnholt::WriteTimeJson(time, json);
  EXPECT_NE(json.str().find("\"its_id\": \"peck\", \"run\": true, \"implausible\": true, \"implausible_reason\": "
                            "\"spindle 90000 rpm, above 60000 rpm\", \"tool_change\": true"),
            std::string::npos)
      << json.str();
  varnholt::WriteTimeText(time, text);
  EXPECT_NE(text.str().find("\n! #200 'peck'  "), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("\n  #100 'line'  "), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("\n! implausible feeds or speeds: gcode writes this workingstep only with "
                            "--accept-implausible\n  #200 'peck': spindle 90000 rpm, above 60000 rpm\n"),
            std::string::npos)
      << text.str();
}

// The units of a file: a technology whose cutting speed and spindle speed agree with its tool's
// diameter says which system; the size of the spindle speed decides between them.
class Units : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTypeNames();
    RegisterEntityNames();
  }
  // program_feeds.stp with the first technology (feedrate 2.5 of a D8 tool) replaced; the
  // preflight's findings of plausible feeds into `findings` when asked.
  Program Build(const std::string& technology, const varnholt::ProgramOptions& options = {},
                std::vector<varnholt::rules::Finding>* findings = nullptr,
                const std::string& toolpath = "#50=POLYLINE('',(#51,#52));") {
    std::string text = ReadAll(kData + "program_feeds.stp");
    const std::string old = "#61=MILLING_TECHNOLOGY(2.5,.TCP.,$,$,$,.F.,.F.,.F.,$);";
    text.replace(text.find(old), old.size(), "#61=" + technology + ";");
    const std::string path50 = "#50=POLYLINE('',(#51,#52));";
    text.replace(text.find(path50), path50.size(), toolpath);
    const std::string path = dir_.File("units.stp");
    std::ofstream(path) << text;
    CDoc doc;
    EXPECT_TRUE(doc.OnOpenDocument(path.c_str()));
    CDoc::LogRoute route(doc);
    if (findings)
      for (const varnholt::rules::Finding& f : varnholt::rules::Check(*doc.Scope()).findings)
        if (f.rule == "preflight.feeds_plausible") findings->push_back(f);
    return varnholt::BuildProgram(*doc.Scope(), options);
  }
  static const ProgramStep& First(const Program& p) { return p.steps.front(); }
  TempDir dir_;
};

TEST_F(Units, TheSpindleSpeedOfAgreeingSpeedsDecides) {
  const double pi = 3.14159265358979323846;
  // 100 m/min at 3978.87 rpm with D8: per minute.
  const Program shop = Build("MILLING_TECHNOLOGY(600.0,.TCP.,100.0,-3978.8736,$,.F.,.F.,.F.,$)");
  EXPECT_EQ(shop.units.system, varnholt::UnitSystem::Shop);
  EXPECT_NE(shop.units.reason.find("technology #61 gives cutspeed 100 and spindle -3978.87 for tool #40"),
            std::string::npos)
      << shop.units.reason;
  EXPECT_EQ(First(shop).moves[1].feed, 600);
  EXPECT_NEAR(First(shop).spindle, -3978.8736, 1e-9);
  // 1.6667 m/s at 66.31 rev/s: per second.
  const Program si = Build("MILLING_TECHNOLOGY(10.0,.TCP.,1.6667,-66.3146,$,.F.,.F.,.F.,$)");
  EXPECT_EQ(si.units.system, varnholt::UnitSystem::Si);
  EXPECT_EQ(First(si).moves[1].feed, 600);
  EXPECT_NEAR(First(si).spindle, -66.3146 * 60, 1e-9);
  // 10 % off is no agreement.
  EXPECT_EQ(Build("MILLING_TECHNOLOGY(600.0,.TCP.,110.0,-3978.8736,$,.F.,.F.,.F.,$)").units.system,
            varnholt::UnitSystem::Si);
  // Speeds that disagree say nothing: millimetres and seconds.
  const Program none = Build("MILLING_TECHNOLOGY(10.0,.TCP.,100.0,-66.3146,$,.F.,.F.,.F.,$)");
  EXPECT_EQ(none.units.system, varnholt::UnitSystem::Si);
  EXPECT_EQ(none.units.reason.rfind("no technology gives", 0), 0u);
  // The user's word holds.
  varnholt::ProgramOptions given;
  given.unitsGiven = true;
  given.units = varnholt::UnitSystem::Shop;
  const Program forced = Build("MILLING_TECHNOLOGY(10.0,.TCP.,1.6667,-66.3146,$,.F.,.F.,.F.,$)", given);
  EXPECT_TRUE(forced.units.given);
  EXPECT_EQ(First(forced).moves[1].feed, 10);
  // A cutting speed without a spindle speed gives it through the diameter, clockwise for the
  // right-hand end mill.
  const Program derived = Build("MILLING_TECHNOLOGY(10.0,.TCP.,2.0,$,$,.F.,.F.,.F.,$)");
  EXPECT_NEAR(First(derived).spindle, -2.0 * 1000 / (pi * 8) * 60, 1e-9);
  EXPECT_NE(First(derived).spindleNote.find("right hand of cut"), std::string::npos);
}

// A segment of a composite curve against its sense runs its arc backwards: from the end of the
// quarter circle, clockwise, to its start (the face lies 20 above the setup's origin).
TEST_F(Units, AnArcOfASegmentAgainstItsSenseTurnsTheOtherWay) {
  const Program p = Build("MILLING_TECHNOLOGY(2.5,.TCP.,$,$,$,.F.,.F.,.F.,$)", {}, nullptr,
                          "#50=COMPOSITE_CURVE('',(#57),.F.);#57=COMPOSITE_CURVE_SEGMENT(.CONTINUOUS.,.F.,#58);"
                          "#58=TRIMMED_CURVE('',#59,(PARAMETER_VALUE(0.0)),(PARAMETER_VALUE(90.0)),.T.,.PARAMETER.);"
                          "#59=CIRCLE('',#12,10.0);");
  const ProgramStep& step = First(p);
  ASSERT_EQ(step.moves.size(), 4u);
  EXPECT_EQ(step.moves[1].kind, MoveKind::Feed);
  EXPECT_NEAR(std::hypot(step.moves[1].to.x - 0, step.moves[1].to.y - 10, step.moves[1].to.z - 20), 0, 1e-9);
  const Move& arc = step.moves[2];
  ASSERT_EQ(arc.kind, MoveKind::Arc);
  EXPECT_TRUE(arc.clockwise);
  EXPECT_NEAR(std::hypot(arc.to.x - 10, arc.to.y, arc.to.z - 20), 0, 1e-9);
  EXPECT_NEAR(std::hypot(arc.center.x, arc.center.y, arc.center.z - 20), 0, 1e-9);
  EXPECT_NEAR(varnholt::Lengths(step.start, step.moves).cutting, 5 * 3.14159265358979323846 + 10, 1e-9)
      << "a quarter turn, not three";
}

TEST_F(Units, AFeedOutsideOneMillimetreToAHundredMetresAMinuteIsReported) {
  std::vector<varnholt::rules::Finding> findings;
  const Program fast = Build("MILLING_TECHNOLOGY(2000.0,.TCP.,$,$,$,.F.,.F.,.F.,$)", {}, &findings);
  // The preflight says the same, at the technology's feed.
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].instance, 61);
  EXPECT_EQ(findings[0].attribute, "feedrate");
  ASSERT_EQ(fast.implausible.size(), 1u);
  EXPECT_EQ(fast.implausible[0].technology, "#61");
  EXPECT_EQ(fast.implausible[0].attribute, "feedrate");
  EXPECT_NE(fast.implausible[0].text.find("feedrate 2000 reads as 120000 mm/min in si units, which is implausible (above "
                                     "100 m/min)"),
            std::string::npos)
      << fast.implausible[0].text;
  const Program slow = Build("MILLING_TECHNOLOGY(0.01,.TCP.,$,$,$,.F.,.F.,.F.,$)");
  ASSERT_EQ(slow.implausible.size(), 1u);
  EXPECT_NE(slow.implausible[0].text.find("below 1 mm/min"), std::string::npos);
  findings.clear();
  EXPECT_TRUE(Build("MILLING_TECHNOLOGY(1.0,.TCP.,$,$,$,.F.,.F.,.F.,$)", {}, &findings).implausible.empty());
  EXPECT_TRUE(findings.empty());
}

// What of a workingstep's technology is implausible, in mm/min, rpm and m/min once the units
// are known (si here: feeds in mm/s, spindle speeds in rev/s, cutting speeds in m/s): its feed,
// its spindle speed, its cutting speed as given or from the spindle speed and the D8 tool's
// diameter, its feed per tooth as given or from the feed, the spindle speed and the 4 teeth.
TEST_F(Units, ImplausibleFeedsAndSpeedsOfAWorkingstepAreNamed) {
  struct Row {
    const char* technology;
    std::vector<std::string> found;
  } const rows[] = {
      {"MILLING_TECHNOLOGY(10.0,.TCP.,$,-50.0,$,.F.,.F.,.F.,$)", {}},
      {"MILLING_TECHNOLOGY(0.01,.TCP.,$,-50.0,$,.F.,.F.,.F.,$)", {"feed 0.6 mm/min, below 1 mm/min"}},
      {"MILLING_TECHNOLOGY(2000.0,.TCP.,$,-50.0,$,.F.,.F.,.F.,$)",
       {"feed 120000 mm/min, above 100 m/min",
        "feed per tooth 10 mm (120000 mm/min / (3000 rpm x 4 teeth)), above 2 mm"}},
      {"MILLING_TECHNOLOGY(10.0,.TCP.,$,-1500.0,$,.F.,.F.,.F.,$)",
       {"spindle 90000 rpm, above 60000 rpm", "cutting speed 2261.95 m/min (pi x 8 mm x 90000 rpm), above 2000 m/min"}},
      {"MILLING_TECHNOLOGY(10.0,.TCP.,40.0,$,$,.F.,.F.,.F.,$)",
       {"spindle 95493 rpm, above 60000 rpm", "cutting speed 2400 m/min, above 2000 m/min"}},
      {"MILLING_TECHNOLOGY($,.TCP.,$,-50.0,3.0,.F.,.F.,.F.,$)", {"feedrate_per_tooth 3 mm, above 2 mm"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.technology);
    const Program program = Build(row.technology);
    const ProgramStep& step = First(program);
    std::vector<std::string> found;
    for (const varnholt::Implausibility& value : step.implausible) found.push_back(value.text);
    EXPECT_EQ(found, row.found);
    // The G-code refuses it, naming the workingstep and its values.
    GcodeOptions partial;
    partial.allowPartial = true;
    const GcodeResult result = varnholt::WriteGcode(program, partial);
    EXPECT_EQ(result.ok, row.found.empty());
    EXPECT_EQ(std::count_if(result.implausible.begin(), result.implausible.end(),
                            [](const std::string& t) { return t.rfind("workingstep #100 'WS feedrate': ", 0) == 0; }),
              row.found.empty() ? 0 : 1);
  }
}

// A tool body of an entity the binding lacks, kept as written, gives its hand of cut too.
TEST_F(Units, AKeptToolBodyGivesItsHandOfCut) {
  const Program program = Build("MILLING_TECHNOLOGY(2.5,.TCP.,$,$,$,.F.,.F.,.F.,$)");
  const auto kept = std::find_if(program.steps.begin(), program.steps.end(),
                                 [](const ProgramStep& s) { return s.name == "#600"; });
  ASSERT_NE(kept, program.steps.end());
  EXPECT_EQ(kept->tool.hand, varnholt::Hand::Right);
}

// The command writes all or nothing, through a temporary file.
TEST(GcodeCommand, ARefusedProgramLeavesTheTargetAsItWas) {
  TempDir dir;
  const std::string out = dir.File("out.ngc");
  std::ofstream(out) << "old\n";
  // program_feeds.stp has a workingstep without a feed and one without a spindle speed.
  const CliResult refused = RunCli({"gcode", kData + "program_feeds.stp", out});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("cannot write workingstep #300 'WS no feed'"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("nothing written to"), std::string::npos);
  EXPECT_EQ(ReadAll(out), "old\n");
  const CliResult partial = RunCli({"gcode", kData + "program_feeds.stp", out, "--allow-partial", "--map",
                                    dir.File("out.json")});
  EXPECT_EQ(partial.status, 0) << partial.err;
  EXPECT_NE(ReadAll(out).find("(left out: workingstep #300 'WS no feed'"), std::string::npos);
  EXPECT_NE(ReadAll(dir.File("out.json")).find("{\"lines\": ["), std::string::npos);
  const CliResult time = RunCli({"time", kData + "program_feeds.stp", "--format", "json", "--rapid", "1000"});
  EXPECT_EQ(time.status, 0);
  EXPECT_NE(time.out.find("\"rapid_feed\": 1000"), std::string::npos) << time.out;
  EXPECT_EQ(RunCli({"gcode", kData + "program_feeds.stp", out, "--tolerance", "0"}).status, 2);
  EXPECT_EQ(RunCli({"time", kData + "program_feeds.stp", "--units", "imperial"}).status, 2);
}

// Implausible values: nothing written, status 1, the workingstep and its values on standard
// error; --accept-implausible writes them as given.
TEST(GcodeCommand, ImplausibleValuesWriteNothingUnlessAccepted) {
  TempDir dir;
  std::string text = ReadAll(kData + "program_feeds.stp");
  const std::string old = "#61=MILLING_TECHNOLOGY(2.5,.TCP.,$,$,$,.F.,.F.,.F.,$);";
  text.replace(text.find(old), old.size(), "#61=MILLING_TECHNOLOGY(0.01,.TCP.,$,-50.0,$,.F.,.F.,.F.,$);");
  const std::string in = dir.File("slow.stp");
  std::ofstream(in) << text;
  const std::string out = dir.File("slow.ngc");
  const CliResult refused = RunCli({"gcode", in, out, "--allow-partial"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("varnholt-cli: implausible: workingstep #100 'WS feedrate': feed 0.6 mm/min, below 1 mm/min\n"),
            std::string::npos)
      << refused.err;
  EXPECT_NE(refused.err.find("implausible feeds or speeds (--accept-implausible writes them as given)"), std::string::npos)
      << refused.err;
  EXPECT_FALSE(std::ifstream(out).good());
  const CliResult accepted = RunCli({"gcode", in, out, "--allow-partial", "--accept-implausible"});
  EXPECT_EQ(accepted.status, 0) << accepted.err;
  EXPECT_NE(ReadAll(out).find("(implausible, written as given: feed 0.6 mm/min, below 1 mm/min)"), std::string::npos);
  const CliResult time = RunCli({"time", in, "--format", "json"});
  EXPECT_NE(time.out.find("\"its_id\": \"WS feedrate\", \"run\": true, \"implausible\": true, \"implausible_reason\": "
                          "\"feed 0.6 mm/min, below 1 mm/min\""),
            std::string::npos)
      << time.out;
  EXPECT_NE(time.out.find("\"its_id\": \"WS no feed\", \"run\": false, \"reason\": \"left out: its technology gives no "
                          "spindle speed\""),
            std::string::npos)
      << time.out;
}

}  // namespace

// check --rules --simulate as CI runs it: the simulation's findings as rule findings in text,
// JSON and SARIF, on the workingstep they come from, gating --fail-on; and a check without
// --simulate that reads exactly as it did before the simulation existed.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/cli_run.h"
#include "support/json_value.h"

namespace {

// A 40 x 30 x 10 plate faced 1 mm deep by a D10 end mill in four passes along x, its points in
// the face's system.
const std::string kFaceJob = std::string(VARNHOLT_SOURCE_DIR) + "/tests/data/simulate_face.stp";
const char* const kThirdPassEnd = "(45.0,19.0,-1.0)";

// The job with its third pass ending at `depth` in the face's system (-1 the face's floor).
std::string FaceJob(const TempDir& dir, const std::string& name, const std::string& depth) {
  std::string text = ReadAll(kFaceJob);
  const size_t at = text.find(kThirdPassEnd);
  if (at == std::string::npos) return "";
  text.replace(at, std::string(kThirdPassEnd).size(), "(45.0,19.0," + depth + ")");
  const std::string path = dir.File(name);
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// The third pass ramps down to 3 mm below the top: 2 mm into the part, in workingstep #200.
std::string Gouged(const TempDir& dir) { return FaceJob(dir, "gouged.stp", "-3.0"); }

long LineOf(const std::string& path, const std::string& record) {
  const std::string text = ReadAll(path);
  const size_t at = text.find(record);
  long line = 1;
  for (size_t i = 0; i < at && i < text.size(); ++i) line += text[i] == '\n';
  return line;
}

std::vector<const Json*> OfRule(const Json& messages, const std::string& rule) {
  std::vector<const Json*> found;
  for (const Json& m : messages.items)
    if (m["rule"].text == rule) found.push_back(&m);
  return found;
}

}  // namespace

TEST(CheckSimulate, PlantedGougeInTextJsonAndSarif) {
  TempDir dir;
  const std::string gouged = Gouged(dir);
  ASSERT_FALSE(gouged.empty()) << kFaceJob << " changed: the test cannot plant its gouge";
  const long stepLine = LineOf(gouged, "#200=MACHINING_WORKINGSTEP");

  const CliResult json = RunCli({"check", "--rules", "--simulate", "--format", "json", gouged});
  ASSERT_EQ(json.status, 0) << json.err;
  bool ok = false;
  const Json document = Json::Parse(json.out, ok);
  ASSERT_TRUE(ok) << json.out.substr(0, 2000);
  const Json& file = document["files"].items.at(0);
  const std::vector<const Json*> gouges = OfRule(file["messages"], "simulate.gouge");
  ASSERT_EQ(gouges.size(), 1u) << json.out;
  const Json& g = *gouges[0];
  EXPECT_EQ(g["severity"].text, "error");
  EXPECT_EQ(g["instance"].number, 200);
  EXPECT_EQ(g["line"].number, stepLine);
  // The text names the workingstep, the move, the G-code line and the depth (2 mm deep, within
  // a cell of the resolution).
  const std::string& text = g["text"].text;
  EXPECT_NE(text.find("workingstep #200, move "), std::string::npos) << text;
  // The G-code line named is the move that ends 3 mm below the top (Z7).
  const size_t lineAt = text.find(", G-code line ");
  ASSERT_NE(lineAt, std::string::npos) << text;
  const long gcodeLine = std::stol(text.substr(lineAt + 14));
  ASSERT_EQ(RunCli({"gcode", gouged, dir.File("gouged.ngc")}).status, 0);
  const std::string gcode = ReadAll(dir.File("gouged.ngc"));
  size_t from = 0;
  for (long k = 1; k < gcodeLine && from != std::string::npos; ++k) from = gcode.find('\n', from) + 1;
  ASSERT_NE(from, std::string::npos);
  EXPECT_EQ(gcode.substr(from, gcode.find('\n', from) - from), "G1 X45 Y19 Z7") << text;
  const size_t depthAt = text.find(", depth ");
  ASSERT_NE(depthAt, std::string::npos) << text;
  const double depth = std::stod(text.substr(depthAt + 8));
  EXPECT_GT(depth, 1.5) << text;
  EXPECT_LT(depth, 2.5) << text;
  // The rules ran: none of them among the ones not evaluated.
  for (const Json& n : file["rules"]["not_evaluated"].items) EXPECT_NE(n["rule"].text.rfind("simulate.", 0), 0u);

  const CliResult sarif = RunCli({"check", "--rules", "--simulate", "--format", "sarif", gouged});
  ASSERT_EQ(sarif.status, 0) << sarif.err;
  const Json log = Json::Parse(sarif.out, ok);
  ASSERT_TRUE(ok) << sarif.out.substr(0, 2000);
  const Json& run = log["runs"].items.at(0);
  long gougeIndex = -1;
  const std::vector<Json>& rules = run["tool"]["driver"]["rules"].items;
  for (size_t i = 0; i < rules.size(); ++i)
    if (rules[i]["id"].text == "simulate.gouge") gougeIndex = static_cast<long>(i);
  ASSERT_GE(gougeIndex, 0);
  int results = 0;
  for (const Json& r : run["results"].items) {
    if (r["ruleId"].text != "simulate.gouge") continue;
    ++results;
    EXPECT_EQ(r["level"].text, "error");
    EXPECT_EQ(r["ruleIndex"].number, gougeIndex);
    EXPECT_EQ(r["locations"].items.at(0)["physicalLocation"]["region"]["startLine"].number, stepLine);
  }
  EXPECT_EQ(results, 1);

  const CliResult text_ = RunCli({"check", "--rules", "--simulate", gouged});
  EXPECT_NE(text_.out.find("Error: simulate.gouge at #200 (line " + std::to_string(stepLine) + "): "), std::string::npos)
      << text_.out;

  EXPECT_EQ(RunCli({"check", "--rules", "--simulate", "--fail-on", "error", gouged}).status, 3);
  // Without --simulate the gouge is not looked for, and the file passes.
  EXPECT_EQ(RunCli({"check", "--rules", "--fail-on", "error", gouged}).status, 0);
}

// The job as it should be cuts nothing the part keeps, leaves nothing, and passes the gate.
TEST(CheckSimulate, CleanProgramHasNoFindings) {
  TempDir dir;
  const std::string clean = FaceJob(dir, "clean.stp", "-1.0");
  EXPECT_EQ(RunCli({"check", "--rules", "--simulate", "--fail-on", "warning", clean}).status, 0);
  const CliResult json = RunCli({"check", "--rules", "--simulate", "--format", "json", clean});
  ASSERT_EQ(json.status, 0) << json.err;
  bool ok = false;
  const Json document = Json::Parse(json.out, ok);
  ASSERT_TRUE(ok);
  const Json& messages = document["files"].items.at(0)["messages"];
  for (const char* rule : {"simulate.gouge", "simulate.rapid_into_material", "simulate.shank_in_material",
                           "simulate.material_left"})
    EXPECT_TRUE(OfRule(messages, rule).empty()) << rule << "\n" << json.out;
}

// The third pass lifted clear of the plate leaves a strip of the face: a warning on the
// workingstep, which fails --fail-on warning but not --fail-on error.
TEST(CheckSimulate, LiftedPassLeavesMaterial) {
  TempDir dir;
  const std::string lifted = FaceJob(dir, "lifted.stp", "5.0");
  const CliResult json = RunCli({"check", "--rules", "--simulate", "--format", "json", lifted});
  ASSERT_EQ(json.status, 0) << json.err;
  bool ok = false;
  const Json document = Json::Parse(json.out, ok);
  ASSERT_TRUE(ok);
  const std::vector<const Json*> left = OfRule(document["files"].items.at(0)["messages"], "simulate.material_left");
  ASSERT_EQ(left.size(), 1u) << json.out;
  EXPECT_EQ((*left[0])["severity"].text, "warning");
  EXPECT_EQ((*left[0])["instance"].number, 200);
  EXPECT_NE((*left[0])["text"].text.find("workingstep #200, depth "), std::string::npos);
  EXPECT_TRUE(OfRule(document["files"].items.at(0)["messages"], "simulate.gouge").empty());
  EXPECT_EQ(RunCli({"check", "--rules", "--simulate", "--fail-on", "error", lifted}).status, 0);
  EXPECT_EQ(RunCli({"check", "--rules", "--simulate", "--fail-on", "warning", lifted}).status, 3);
}

// Without --simulate every output is what it was: the simulate rules are absent, not listed as
// not evaluated, and not in SARIF's rules.
TEST(CheckSimulate, WithoutTheOptionNothingChanges) {
  TempDir dir;
  const std::string gouged = Gouged(dir);
  ASSERT_FALSE(gouged.empty()) << kFaceJob << " changed: the test cannot plant its gouge";
  ASSERT_FALSE(gouged.empty());
  for (const char* format : {"text", "json", "sarif"}) {
    SCOPED_TRACE(format);
    const CliResult plain = RunCli({"check", "--rules", "--format", format, gouged});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out.find("simulate."), std::string::npos) << plain.out.substr(0, 3000);
    const CliResult simulated = RunCli({"check", "--rules", "--simulate", "--format", format, gouged});
    EXPECT_NE(simulated.out.find("simulate.gouge"), std::string::npos);
  }
  // The evaluated count grows by the four rules exactly.
  bool ok = false;
  const Json plain = Json::Parse(RunCli({"check", "--rules", "--format", "json", gouged}).out, ok);
  const Json simulated = Json::Parse(RunCli({"check", "--rules", "--simulate", "--format", "json", gouged}).out, ok);
  EXPECT_EQ(simulated["files"].items.at(0)["rules"]["evaluated"].number,
            plain["files"].items.at(0)["rules"]["evaluated"].number + 4);
}

// What cannot be simulated says so: the rules not evaluated, with the reason; --simulate alone
// is a usage error.
TEST(CheckSimulate, NothingToSimulateAndMisuse) {
  TempDir dir;
  const std::string bare = dir.File("bare.stp");
  std::ofstream(bare) << "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION((''),'2;1');\n"
                         "FILE_NAME('bare.stp','2026-01-01T00:00:00',(''),(''),'','','');\n"
                         "FILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\nDATA;\n#1=SETUP_INSTRUCTION('clamp',$);\n"
                         "ENDSEC;\nEND-ISO-10303-21;\n";
  const CliResult text = RunCli({"check", "--rules", "--simulate", "--fail-on", "error", bare});
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("simulate.gouge (not simulated: the file has no project"), std::string::npos) << text.out;

  const CliResult alone = RunCli({"check", "--simulate", bare});
  EXPECT_EQ(alone.status, 2);
  EXPECT_NE(alone.err.find("--simulate adds to the rule check: it needs --rules"), std::string::npos) << alone.err;
}

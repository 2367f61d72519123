// varnholt-cli edit: each valid edit changes exactly its record against a plain convert; each
// refused one names instance, attribute and reason, writes nothing and exits with 1.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_run.h"

namespace {

const std::string kSample = std::string(VARNHOLT_SOURCE_DIR) + "/samples/milling_project.stp";
// Its b-spline #613 holds two LOGICALs, closed_curve and self_intersect, both .F.
const std::string kToolpaths = std::string(VARNHOLT_SOURCE_DIR) + "/samples/toolpath_project.stp";

// The data-section lines of a saved file.
std::vector<std::string> DataLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text.substr(text.find("\nDATA;\n")));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct Case {
  std::vector<std::string> edits;  // --set/--unset pairs
  std::string record;              // the one record that differs from convert's, "" when refused
  std::string message;             // on standard error
  std::string sample = kSample;    // the file edited
};

TEST(CliEdit, EachEditChangesExactlyItsRecordOrIsRefused) {
  const Case cases[] = {
      {{"--set", "#66.spindle=15006.0374915216"},
       "#66=MILLING_TECHNOLOGY($,.TCP.,$,15006.0374915216,0.1000000000,.F.,.F.,.F.,$);",
       ""},
      {{"--set", "#66.feedrate_reference=CCP", "--set", "#66.inhibit_feedrate_override=true",
        "--unset", "#66.cutspeed"},
       "#66=MILLING_TECHNOLOGY($,.CCP.,$,51.0000000000,0.1000000000,.F.,.T.,.F.,$);", ""},
      {{"--set", "#30.coordinates[3]=-12.5"},
       "#30=CARTESIAN_POINT('security plane location',(0.0000000000,0.0000000000,-12.5000000000));", ""},
      {{"--set", "#14.standard_identifier=Stahl \xc3\xa4 'x'"},
       "#14=MATERIAL('Stahl \\X2\\00E4\\X0\\ ''x''','EN AW-6082 T6',(#15,#16));", ""},
      // Each of the three LOGICAL values is stored as the one named, also over another one.
      {{"--set", "#613.closed_curve=true", "--set", "#613.self_intersect=unknown"},
       "#613=B_SPLINE_CURVE_WITH_KNOTS('step wall',3,(#614,#615,#616,#617,#618),.UNSPECIFIED.,.T.,"
       ".U.,(4,1,4),(0.0000000000,0.5000000000,1.0000000000),.UNSPECIFIED.);",
       "", kToolpaths},
      {{"--set", "#613.closed_curve=unknown", "--set", "#613.self_intersect=true", "--set",
        "#613.self_intersect=false", "--set", "#613.self_intersect=true", "--set",
        "#613.closed_curve=false", "--set", "#613.self_intersect=unknown"},
       "#613=B_SPLINE_CURVE_WITH_KNOTS('step wall',3,(#614,#615,#616,#617,#618),.UNSPECIFIED.,.F.,"
       ".U.,(4,1,4),(0.0000000000,0.5000000000,1.0000000000),.UNSPECIFIED.);",
       "", kToolpaths},
      {{"--set", "#613.closed_curve=true", "--set", "#613.closed_curve=false", "--set",
        "#613.self_intersect=true"},
       "#613=B_SPLINE_CURVE_WITH_KNOTS('step wall',3,(#614,#615,#616,#617,#618),.UNSPECIFIED.,.F.,"
       ".T.,(4,1,4),(0.0000000000,0.5000000000,1.0000000000),.UNSPECIFIED.);",
       "", kToolpaths},
      {{"--set", "#613.closed_curve=maybe"}, "", "one of unknown, false, true", kToolpaths},
      // Refused: wrong forms, unknown names, elements out of range, unsettable elements.
      {{"--set", "#66.spindle=f\xc3\xbcnf"}, "", "#66 milling_technology.spindle: \"f\xc3\xbcnf\" is not taken (rot_speed_measure: a decimal number"},
      {{"--set", "#66.spindle=0,125"}, "", "#66 milling_technology.spindle: \"0,125\" is not taken"},
      {{"--set", "#66.spindle=inf"}, "", "\"inf\" is not taken"},
      {{"--set", "#66.spindle=1e999"}, "", "\"1e999\" is not taken"},
      {{"--set", "#66.spindle="}, "", "\"\" is not taken"},
      {{"--set", "#66.feedrate_reference=neutral"}, "", "is not taken (tool_reference_point: one of tcp, ccp)"},
      {{"--set", "#66.synchronize_spindle_with_feed=maybe"}, "", "one of false, true"},
      {{"--set", "#66.spindle=2", "--set", "#999.spindle=1"}, "", "there is no instance #999"},
      {{"--set", "#66.speed=1"}, "", "#66 milling_technology has no attribute \"speed\""},
      {{"--set", "#30.coordinates[4]=1"}, "", "#30 cartesian_point.coordinates has no element 4 (it holds 3)"},
      {{"--set", "#30.coordinates[0]=1"}, "", "elements are counted from 1"},
      {{"--unset", "#30.coordinates[1]"}, "", "#30 cartesian_point.coordinates[1]: an element of type length_measure cannot be unset"},
      {{"--set", "#66.spindle"}, "", "expected #N.attribute=VALUE"},
  };
  TempDir dir;
  std::map<std::string, std::vector<std::string>> plains;
  for (const std::string& sample : {kSample, kToolpaths}) {
    ASSERT_EQ(RunCli({"convert", sample, dir.File("plain.stp")}).status, 0) << sample;
    plains[sample] = DataLines(ReadAll(dir.File("plain.stp")));
  }
  for (const Case& c : cases) {
    const std::vector<std::string>& plain = plains.at(c.sample);
    const std::string out = dir.File("edited.stp");
    std::remove(out.c_str());
    std::vector<std::string> args{"edit", c.sample, out};
    args.insert(args.end(), c.edits.begin(), c.edits.end());
    const CliResult r = RunCli(args);
    const std::string shown = c.edits[1];
    if (c.record.empty()) {
      EXPECT_EQ(r.status, 1) << shown;
      EXPECT_NE(r.err.find("varnholt-cli: "), std::string::npos) << shown;
      EXPECT_NE(r.err.find(c.message), std::string::npos) << shown << "\n" << r.err;
      EXPECT_FALSE(std::ifstream(out).good()) << shown;
      continue;
    }
    ASSERT_EQ(r.status, 0) << shown << "\n" << r.err;
    const std::vector<std::string> edited = DataLines(ReadAll(out));
    ASSERT_EQ(edited.size(), plain.size()) << shown;
    std::vector<std::string> differing;
    for (size_t i = 0; i < plain.size(); ++i)
      if (plain[i] != edited[i]) differing.push_back(edited[i]);
    EXPECT_EQ(differing, std::vector<std::string>{c.record}) << shown;
  }
}

TEST(CliEdit, UnsetOfAMandatoryAttributeIsDoneAndWarned) {
  TempDir dir;
  const CliResult r = RunCli({"edit", kSample, dir.File("o.stp"), "--unset", "#66.synchronize_spindle_with_feed"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Warning: Unset non OPTIONAL attribute: #66 milling_technology."
                       "synchronize_spindle_with_feed is not OPTIONAL and is now unset ($)"),
            std::string::npos)
      << r.err;
  EXPECT_NE(ReadAll(dir.File("o.stp")).find("#66=MILLING_TECHNOLOGY($,.TCP.,$,51.0000000000,0.1000000000,$,"),
            std::string::npos);
}

}  // namespace

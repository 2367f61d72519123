// The comparison of two populations: what it pairs by structure, what it reports, and that
// cycles, shared instances and long chains neither hang it nor confuse it.
#include "varnholt/diff.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cct/schema.h"
#include "support/temp_file.h"
#include "varnholt/doc.h"

namespace {

std::string File(const std::string& data) {
  return "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION((''),'2;1');\n"
         "FILE_NAME('t.stp','2026-12-10T00:00:00',(''),(''),'','','');\n"
         "FILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\nDATA;\n" +
         data + "ENDSEC;\nEND-ISO-10303-21;\n";
}

struct Opened {
  explicit Opened(const std::string& data) : file(File(data)) { ok = doc.OnOpenDocument(file.Path()); }
  TempFile file;
  CDoc doc;
  bool ok = false;
};

std::string Differences(const std::string& a, const std::string& b, double tolerance = 0) {
  RegisterTypeNames();
  RegisterEntityNames();
  Opened x(a), y(b);
  if (!x.ok || !y.ok) return "(not opened)";
  varnholt::DiffOptions options;
  options.tolerance = tolerance;
  return varnholt::DifferencesText(varnholt::Compare(*x.doc.Scope(), *y.doc.Scope(), options));
}

const std::string kProject = "#1=PROJECT('P',#2,(),$,$,$);\n";
const std::string kSteps =
    "#10=MACHINING_WORKINGSTEP('WS1',$,#20,#30,$);\n"
    "#11=MACHINING_WORKINGSTEP('WS2',$,#21,#31,$);\n"
    "#12=MACHINING_WORKINGSTEP('WS3',$,#22,#32,$);\n"
    "#20=ROUND_HOLE('h1',$,(),#25,$,$,$,$);\n"
    "#21=ROUND_HOLE('h2',$,(),#25,$,$,$,$);\n"
    "#22=ROUND_HOLE('h3',$,(),#25,$,$,$,$);\n"
    "#25=CARTESIAN_POINT('c',(1.0,2.0,3.0));\n"
    "#30=DRILLING($,$,'d1',3.0,$,$,#40,$,$,15.0,$,0.5,2.0,$);\n"
    "#31=DRILLING($,$,'d2',3.0,$,$,#40,$,$,15.0,$,0.5,2.0,$);\n"
    "#32=DRILLING($,$,'d3',3.0,$,$,#41,$,$,15.0,$,0.5,2.0,$);\n"
    "#40=MILLING_TECHNOLOGY(3.0,.CCP.,1.2,$,$,.F.,.F.,.F.,$);\n"
    "#41=MILLING_TECHNOLOGY(4.0,.CCP.,1.2,$,$,.F.,.F.,.F.,$);\n";
const std::string kPlan = "#2=WORKPLAN('main',(#10,#11,#12),$,$,$);\n";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

struct Case {
  const char* what;
  std::string a, b;
  std::string differences;
};

TEST(Diff, PairsByStructureAndReportsWhatDiffers) {
  const std::string base = kProject + kPlan + kSteps;
  const std::string ws = "project 'P' / main_workplan 'main' / its_elements";
  const Case cases[] = {
      {"the same", base, base, "no differences\n"},
      {"a real list's element", base, Replace(base, "(1.0,2.0,3.0)", "(1.0,2.5,3.0)"),
       "changed " + ws + "[1] 'WS1' / its_feature 'h1' / feature_placement 'c'\n"
       "  coordinates[2]: 2.0000000000 -> 2.5000000000  (#25 / #25)\n1 difference\n"},
      // Two technologies shared by three operations: the one that changes is reported once,
      // where the walk first meets it.
      {"a shared instance", base, Replace(base, "#40=MILLING_TECHNOLOGY(3.0,", "#40=MILLING_TECHNOLOGY(3.5,"),
       "changed " + ws + "[1] 'WS1' / its_operation 'd1' / its_technology\n"
       "  feedrate: 3.0000000000 -> 3.5000000000  (#40 / #40)\n1 difference\n"},
      // WS3 in front and its technology changed: one move, one change on the new path.
      {"moved and changed", base,
       Replace(Replace(base, "(#10,#11,#12)", "(#12,#10,#11)"), "#41=MILLING_TECHNOLOGY(4.0,",
               "#41=MILLING_TECHNOLOGY(4.5,"),
       "moved   " + ws + "[1] 'WS3'\n  its_elements: from 3 to 1  (#12 / #12)\n"
       "changed " + ws + "[1] 'WS3' / its_operation 'd3' / its_technology\n"
       "  feedrate: 4.0000000000 -> 4.5000000000  (#41 / #41)\n2 differences\n"},
      // Renamed in its place: a change of its_id, not a removal and an addition.
      {"renamed in place", base, Replace(base, "'WS2',", "'WS2 new',"),
       "changed " + ws + "[2] 'WS2 new'\n  its_id: 'WS2' -> 'WS2 new'  (#11 / #11)\n1 difference\n"},
      // A swap of two: the longest run in order stays, the other one moved.
      {"two swapped", base, Replace(base, "(#10,#11,#12)", "(#11,#10,#12)"),
       "moved   " + ws + "[2] 'WS1'\n  its_elements: from 1 to 2  (#10 / #10)\n1 difference\n"},
      // The feature became one of another type: the reference changed, one went, one came.
      {"a reference to another type", base,
       Replace(Replace(base, "#10=MACHINING_WORKINGSTEP('WS1',$,#20,", "#10=MACHINING_WORKINGSTEP('WS1',$,#26,"),
               "#20=ROUND_HOLE('h1',$,(),#25,$,$,$,$);\n", "") +
           "#26=PLANAR_FACE('f',$,(),#25,$,$,$,$,());\n",
       "changed " + ws + "[1] 'WS1'\n  its_feature: #20 -> #26  (#10 / #10)\n"
       "removed " + ws + "[1] 'WS1' / its_feature 'h1'\n  #20=ROUND_HOLE('h1',$,(),#25,$,$,$,$);\n"
       "added   " + ws + "[1] 'WS1' / its_feature 'f'\n  #26=PLANAR_FACE('f',$,(),#25,$,$,$,$,());\n"
       "3 differences\n"},
      // Appended: the new workingstep comes with its feature and operation, listed once.
      {"an added element", base,
       Replace(base, "(#10,#11,#12)", "(#10,#11,#12,#13)") +
           "#13=MACHINING_WORKINGSTEP('WS4',$,#23,#33,$);\n#23=ROUND_HOLE('h4',$,(),#25,$,$,$,$);\n"
           "#33=DRILLING($,$,'d4',3.0,$,$,#41,$,$,15.0,$,0.5,2.0,$);\n",
       "added   " + ws + "[4] 'WS4'\n  #13=MACHINING_WORKINGSTEP('WS4',$,#23,#33,$);\n1 difference\n"},
      // Removed from the list, but still there: the list changed and nothing was removed.
      {"taken out of the list only", base + "#3=WORKPLAN('spare',(),$,$,$);\n",
       Replace(base, "(#10,#11,#12)", "(#10,#11)") + "#3=WORKPLAN('spare',(#12),$,$,$);\n",
       "changed project 'P' / main_workplan 'main'\n  its_elements: (#10,#11,#12) -> (#10,#11)  (#2 / #2)\n"
       "changed (unreached) workplan 'spare'\n  its_elements: () -> (#12)  (#3 / #3)\n2 differences\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Differences(c.a, c.b), c.differences) << c.what;
}

TEST(Diff, ProjectsPairByTheirIdsAndAReferenceToOnePairedElsewhereIsAChange) {
  // Two projects written the other way round: each pairs with the one of its its_id.
  const std::string a = "#1=PROJECT('P1',#2,(),$,$,$);\n#2=WORKPLAN('one',(),$,$,$);\n"
                        "#3=PROJECT('P2',#4,(),$,$,$);\n#4=WORKPLAN('two',(),$,$,$);\n";
  const std::string b = "#1=PROJECT('P2',#2,(),$,$,$);\n#2=WORKPLAN('two',(),$,$,$);\n"
                        "#3=PROJECT('P1',#4,(),$,$,$);\n#4=WORKPLAN('one',(),$,$,$);\n";
  EXPECT_EQ(Differences(a, b), "no differences\n");
  // In the second file both projects share one workplan: P2's reference leads to the one
  // paired with P1's already.
  const std::string shared = "#1=PROJECT('P1',#2,(),$,$,$);\n#2=WORKPLAN('one',(),$,$,$);\n"
                             "#3=PROJECT('P2',#2,(),$,$,$);\n";
  EXPECT_EQ(Differences(a, shared),
            "changed project 'P2'\n  main_workplan: #4 -> #2  (#3 / #3)\n"
            "removed project 'P2' / main_workplan 'two'\n  #4=WORKPLAN('two',(),$,$,$);\n2 differences\n");
}

TEST(Diff, RealsAreEqualAsDoublesOrWithinTheTolerance) {
  const std::string a = kProject + "#2=WORKPLAN('main',(),$,#3,$);\n#3=SETUP('s',#5,$,());\n"
                        "#5=AXIS2_PLACEMENT_3D('o',#4,$,$);\n#4=CARTESIAN_POINT('p',(0.1,0.2,0.30000000000000004));\n";
  // 0.30000000000000004 and 0.3 are two doubles; "0.1" and "1.E-1" one.
  const std::string b = Replace(Replace(a, "(0.1,", "(1.E-1,"), "0.30000000000000004", "0.3");
  EXPECT_NE(Differences(a, b).find("coordinates[3]"), std::string::npos);
  EXPECT_EQ(Differences(a, b, 1e-12), "no differences\n");
  EXPECT_EQ(Differences(a, Replace(a, "(0.1,", "(1.E-1,")), "no differences\n");
}

TEST(Diff, CyclesAndChainsEndAndKeepTheirPathsShort) {
  // Two workplans that hold each other, renumbered: the same; with a name changed, one change.
  const std::string a = kProject + "#2=WORKPLAN('main',(#3),$,$,$);\n#3=WORKPLAN('inner',(#2),$,$,$);\n";
  const std::string b = kProject + "#2=WORKPLAN('main',(#7),$,$,$);\n#7=WORKPLAN('inner',(#2),$,$,$);\n";
  EXPECT_EQ(Differences(a, b), "no differences\n");
  EXPECT_EQ(Differences(a, Replace(b, "'inner'", "'inner 2'")),
            "changed project 'P' / main_workplan 'main' / its_elements[1] 'inner 2'\n"
            "  its_id: 'inner' -> 'inner 2'  (#3 / #7)\n1 difference\n");
  // An added cycle that nothing refers to is one addition, not two.
  EXPECT_EQ(Differences(a, a + "#8=WORKPLAN('x',(#9),$,$,$);\n#9=WORKPLAN('y',(#8),$,$,$);\n"),
            "added   (unreached) workplan 'x'\n  #8=WORKPLAN('x',(#9),$,$,$);\n1 difference\n");
  // A chain of 200 workplans: the path of a change at its end names the project, how many
  // steps it leaves out, and the last 32.
  std::string chain = kProject;
  for (int i = 2; i < 202; ++i)
    chain += "#" + std::to_string(i) + "=WORKPLAN('w" + std::to_string(i) + "',(#" + std::to_string(i + 1) +
             "),$,$,$);\n";
  chain += "#202=PROGRAM_STOP('end');\n";
  const std::string text = Differences(chain, Replace(chain, "'end'", "'stop'"));
  EXPECT_EQ(text.rfind("changed project 'P' / ... (169 more) / its_elements[1] 'w171' / ", 0), 0u) << text;
  EXPECT_NE(text.find("its_elements[1] 'w201' / its_elements[1] 'stop'\n  its_id: 'end' -> 'stop'"),
            std::string::npos) << text;
}

TEST(Diff, WhatNoPathReachesIsPairedByContent) {
  const std::string a = kProject + "#2=WORKPLAN('main',(),$,$,$);\n"
                        "#5=CARTESIAN_POINT('p',(1.0,2.0,3.0));\n#6=CARTESIAN_POINT('q',(4.0,5.0,6.0));\n"
                        "#7=AXIS2_PLACEMENT_3D('a',#5,$,$);\n";
  // Renumbered and reordered: the same; the placement pairs its point by structure, so a
  // changed point under it is a change, and a changed lone point pairs by its name.
  const std::string b = kProject + "#2=WORKPLAN('main',(),$,$,$);\n"
                        "#9=AXIS2_PLACEMENT_3D('a',#8,$,$);\n#8=CARTESIAN_POINT('p',(1.0,2.0,3.0));\n"
                        "#7=CARTESIAN_POINT('q',(4.0,5.0,6.0));\n";
  EXPECT_EQ(Differences(a, b), "no differences\n");
  EXPECT_EQ(Differences(a, Replace(b, "(1.0,2.0,3.0)", "(1.0,2.0,3.5)")),
            "changed (unreached) axis2_placement_3d 'a' / location 'p'\n"
            "  coordinates[3]: 3.0000000000 -> 3.5000000000  (#5 / #8)\n1 difference\n");
  EXPECT_EQ(Differences(a, Replace(b, "(4.0,5.0,6.0)", "(4.0,5.0,6.5)")),
            "changed (unreached) cartesian_point 'q'\n"
            "  coordinates[3]: 6.0000000000 -> 6.5000000000  (#6 / #7)\n1 difference\n");
  // Without a name to go by, a changed lone point is one removed and one added.
  EXPECT_EQ(Differences(Replace(a, "'q'", "''"), Replace(Replace(b, "'q'", "''"), "(4.0,5.0,6.0)", "(4.0,5.0,6.5)")),
            "removed (unreached) cartesian_point\n  #6=CARTESIAN_POINT('',(4.0000000000,5.0000000000,"
            "6.0000000000));\nadded   (unreached) cartesian_point\n  #7=CARTESIAN_POINT('',"
            "(4.0000000000,5.0000000000,6.5000000000));\n2 differences\n");
}

// Unnamed placements alike but for the points they place, one below a feature and one that
// nothing refers to, in a file without a project: each pairs with its own, never crosswise
// (which would report both points as changed in a file compared with itself).
TEST(Diff, AlikeUnreachedInstancesPairByWhatTheyReferTo) {
  const std::string a =
      "#400=ROUND_HOLE('h',$,(),#401,$,$,$,$);\n"
      "#401=AXIS2_PLACEMENT_3D('',#402,$,$);\n#402=CARTESIAN_POINT('',(80.0,10.0,39.0));\n"
      "#461=AXIS2_PLACEMENT_3D('',#462,$,$);\n#462=CARTESIAN_POINT('',(40.0,10.0,39.0));\n"
      "#481=AXIS2_PLACEMENT_3D('',#422,$,$);\n#422=CARTESIAN_POINT('',(115.0,40.0,39.0));\n";
  EXPECT_EQ(Differences(a, a), "no differences\n");
  // Written in another order and renumbered: the same.
  const std::string b =
      "#9=AXIS2_PLACEMENT_3D('',#8,$,$);\n#8=CARTESIAN_POINT('',(115.0,40.0,39.0));\n"
      "#7=AXIS2_PLACEMENT_3D('',#6,$,$);\n#6=CARTESIAN_POINT('',(40.0,10.0,39.0));\n"
      "#1=ROUND_HOLE('h',$,(),#2,$,$,$,$);\n"
      "#2=AXIS2_PLACEMENT_3D('',#3,$,$);\n#3=CARTESIAN_POINT('',(80.0,10.0,39.0));\n";
  EXPECT_EQ(Differences(a, b), "no differences\n");
  EXPECT_EQ(Differences(b, a), "no differences\n");
  // Two placements the same in every value: the one nothing refers to pairs with its like,
  // leaving the one below the hole to pair through the hole.
  const std::string same =
      "#1=CARTESIAN_POINT('',(1.0,2.0,3.0));\n#2=AXIS2_PLACEMENT_3D('',#1,$,$);\n"
      "#3=ROUND_HOLE('h',$,(),#4,$,$,$,$);\n#4=AXIS2_PLACEMENT_3D('',#1,$,$);\n";
  // The placement nothing refers to first, renumbered.
  const std::string other =
      "#9=AXIS2_PLACEMENT_3D('',#1,$,$);\n#3=ROUND_HOLE('h',$,(),#4,$,$,$,$);\n"
      "#4=AXIS2_PLACEMENT_3D('',#1,$,$);\n#1=CARTESIAN_POINT('',(1.0,2.0,3.0));\n";
  EXPECT_EQ(Differences(same, other),
            "no differences\n");
}

TEST(Diff, RecordsTheSchemaDoesNotKnowCompareAsWritten) {
  const std::string a = kProject + "#2=WORKPLAN('main',(),$,$,$);\n#5=SOMETHING_ELSE('x',#2,1.5);\n";
  EXPECT_EQ(Differences(a, Replace(a, "#5=", "#50=")), "no differences\n");
  // Renumbered, the reference follows and a "#2" in a string stays text.
  const std::string b = kProject + "#2=WORKPLAN('main',(),$,$,$);\n#5=SOMETHING_ELSE('see #2',#2,1.5);\n";
  EXPECT_EQ(Differences(b, Replace(Replace(Replace(b, "#2=", "#7="), "'see #2',#2,", "'see #2',#7,"), "('P',#2,", "('P',#7,")),
            "no differences\n");
  EXPECT_EQ(Differences(a, Replace(a, "1.5)", "1.25)")),
            "removed (unreached) something_else\n  #5=SOMETHING_ELSE('x',#2,1.5);\n"
            "added   (unreached) something_else\n  #5=SOMETHING_ELSE('x',#2,1.25);\n2 differences\n");
}

TEST(Diff, JsonHoldsEveryFieldAndNullsForWhatIsNotThere) {
  RegisterTypeNames();
  RegisterEntityNames();
  Opened a(kProject + kPlan + kSteps);
  Opened b(Replace(kProject + kPlan + kSteps, "'d3',3.0", "'d3',4.0") + "#60=PROGRAM_STOP('x \"y\"');\n");
  ASSERT_TRUE(a.ok && b.ok);
  EXPECT_EQ(varnholt::DifferencesJson(varnholt::Compare(*a.doc.Scope(), *b.doc.Scope())),
            "{\"same\": false, \"differences\": [\n"
            "  {\"kind\": \"changed\", \"path\": \"project 'P' / main_workplan 'main' / its_elements[3] 'WS3' / "
            "its_operation 'd3'\", \"attribute\": \"retract_plane\", \"old\": \"3.0000000000\", \"new\": "
            "\"4.0000000000\", \"instance_a\": 32, \"instance_b\": 32},\n"
            "  {\"kind\": \"added\", \"path\": \"(unreached) program_stop 'x \\\"y\\\"'\", \"attribute\": null, "
            "\"old\": null, \"new\": \"#60=PROGRAM_STOP('x \\\"y\\\"');\", \"instance_a\": null, \"instance_b\": 60}\n"
            "]}\n");
  EXPECT_EQ(varnholt::DifferencesJson({}), "{\"same\": true, \"differences\": []}\n");
}

}  // namespace

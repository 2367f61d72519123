// Parameters the binding refuses, parameters beyond an entity's attributes and records that end
// early are the user's data: an open keeps them as written, a save writes them back in place,
// the tree shows them for what they are, edits replace them and undo brings them back. Each
// case is read both by the direct reader and by the parser, which must agree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cct/schema.h"
#include "cct/stepfile.h"
#include "support/cli_run.h"
#include "support/temp_file.h"
#include "varnholt/doc.h"
#include "varnholt/edit.h"
#include "varnholt/navigation.h"
#include "varnholt/treeview.h"

namespace {

// #6 and #7 stand on lines 8 and 9; the record of a case on line 10.
std::string File(const std::string& record) {
  return "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('kept'),'2;1');\n"
         "FILE_NAME('kept.stp','2024-01-01T00:00:00',('a'),('b'),'c','d','e');\n"
         "FILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\nDATA;\n"
         "#6=CARTESIAN_POINT('p',(1.,2.,3.));\n#7=APPROVAL_STATUS('s');\n" +
         record + "\nENDSEC;\nEND-ISO-10303-21;\n";
}

// The reports of the open (banner and closing line left out), the file's path as "F".
std::string OpenReports(const CDoc& doc, const std::string& path) {
  std::string log = doc.LogText();
  const size_t first = log.find("\nWarning: ") < log.find("\nError: ") ? log.find("\nWarning: ")
                                                                        : log.find("\nError: ");
  if (first == std::string::npos) return std::string();
  log = log.substr(first, log.find("\n\n\n***", first) - first);
  for (size_t at = log.find(path); at != std::string::npos; at = log.find(path, at))
    log.replace(at, path.size(), "F");
  return log;
}

// The line a save writes for #20.
std::string Saved(CDoc& doc) {
  TempDir dir;
  if (!doc.OnSaveDocument(dir.File("out.stp").c_str())) return "(save failed)";
  const std::string text = ReadAll(dir.File("out.stp"));
  const size_t at = text.find("\n#20=");
  return at == std::string::npos ? "(no record)" : text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

cct_Instance* Twenty(CDoc& doc) {
  cct_Instance* instance = doc.Scope()->FindInstance("20", 1);
  if (instance) instance->Release();
  return instance;
}

class AsWritten : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTypeNames();
    RegisterEntityNames();
  }
  void TearDown() override { cct_StepFile::SetDirectReading(true); }
};

const std::string kLine = "\"F\", line 10:  ";

TEST_F(AsWritten, RefusedParametersAreKeptReportedOnceAndShownAsWritten) {
  struct Case {
    const char* record;
    std::string reports;  // every report of the open
    const char* saved;
    long attribute;       // the tree row looked at: an attribute, or -(k+1) for extra k
    const char* label;
  };
  const std::string incompatible = "\nError: TestCompatibility() failed: " + kLine + "for entity ";
  const Case cases[] = {
      // A list element of the wrong kind: the whole list as written, no 0.0 made up.
      {"#20=CARTESIAN_POINT('p',(1.,2.,'x'));",
       "\nError: TestCompatibility() failed: (aggr) cct_AggregateType_1d::SetType() --- Can not "
       "insert a STRING into an aggregate that expects length_measure.",
       "#20=CARTESIAN_POINT('p',(1.,2.,'x'));", 1,
       "coordinates: (1.,2.,'x') (as written; not a list of length_measure)"},
      // A value of the wrong kind: no "$", and no "Unset non OPTIONAL" about it.
      {"#20=APPROVAL_STATUS(5);", incompatible + "approval_status::name := INTEGER.",
       "#20=APPROVAL_STATUS(5);", 0, "name: 5 (as written; not a label)"},
      {"#20=MILLING_TECHNOLOGY(100.,.TCP.,$,'fast',0.1,.F.,.F.,.F.,$);",
       incompatible + "milling_technology::spindle := STRING.",
       "#20=MILLING_TECHNOLOGY(100.0000000000,.TCP.,$,'fast',0.1000000000,.F.,.F.,.F.,$);", 3,
       "spindle: 'fast' (as written; not a rot_speed_measure)"},
      // An enumeration value the type lacks.
      {"#20=MILLING_TECHNOLOGY(100.,.XYZ.,$,$,0.1,.F.,.F.,.F.,$);",
       "\nWarning: Invalid assignment to EnumType: 'tool_reference_point'.\n  Value \"xyz\" is not "
       "in the Set of allowed entries.",
       "#20=MILLING_TECHNOLOGY(100.0000000000,.XYZ.,$,$,0.1000000000,.F.,.F.,.F.,$);", 1,
       "feedrate_reference: .XYZ. (as written; not a tool_reference_point)"},
      // Strings where references belong; the record also ends before its last attribute.
      {"#20=MACHINING_WORKINGSTEP('Outside profile','machining','','');",
       incompatible + "machining_workingstep::its_secplane := STRING." + incompatible +
           "machining_workingstep::its_feature := STRING." + incompatible +
           "machining_workingstep::its_operation := STRING.\nWarning: While reading STEP file: " +
           kLine + "The record of instance #20 ends after 4 parameters; not given: its_effect.",
       "#20=MACHINING_WORKINGSTEP('Outside profile','machining','','');", 2,
       "its_feature: '' (as written; not a manufacturing_feature)"},
      // Parameters beyond the last attribute, written after the others.
      {"#20=APPROVAL_STATUS('a','extra',(#6,#7));",
       "\nWarning: While reading STEP file: " + kLine + "Too many parameters for entity approval_status.",
       "#20=APPROVAL_STATUS('a','extra',(#6,#7));", -2,
       "(parameter 3): (#6,#7) (as written; approval_status has 1 attribute)"},
      // A record that ends early is written as long as it was; every attribute it leaves out
      // is named, the OPTIONAL one too.
      {"#20=MILLING_TECHNOLOGY(100.,.TCP.,$,$,0.1,.F.,.F.);",
       "\nWarning: While reading STEP file: " + kLine +
           "Not enough attributes for entity milling_technology.\nWarning: While reading STEP "
           "file: " + kLine + "The record of instance #20 ends after 7 parameters; not given: "
           "inhibit_spindle_override, its_adaptive_control.\nWarning: Unset non OPTIONAL "
           "attribute:  (BOOLEAN)\nmilling_technology::inhibit_spindle_override in instance 20",
       "#20=MILLING_TECHNOLOGY(100.0000000000,.TCP.,$,$,0.1000000000,.F.,.F.);", 6,
       "inhibit_feedrate_override: false"},
      {"#20=MILLING_TECHNOLOGY(100.,.TCP.,$,$,0.1,.F.,.F.,.F.);",
       "\nWarning: While reading STEP file: " + kLine + "The record of instance #20 ends after 8 "
       "parameters; not given: its_adaptive_control.",
       "#20=MILLING_TECHNOLOGY(100.0000000000,.TCP.,$,$,0.1000000000,.F.,.F.,.F.);", 0,
       "feedrate: 100.0"},
      // A list whose count is outside its bounds keeps what it has and says whose it is.
      {"#20=DIRECTION('d',(1.));",
       "\nWarning: While reading STEP file: " + kLine +
           "The list direction_ratios of instance #20 has 1 element; 2 to 3 are expected.",
       "#20=DIRECTION('d',(1.0000000000));", 0, "name: d"},
      // One report for a complex instance, naming it; it is kept whole.
      {"#20=(MEASURE_WITH_UNIT(LENGTH_MEASURE(10.),#6)NAMED_UNIT(*));",
       "\nError: While reading STEP file: " + kLine +
           "\n\tExternally mapped instances not implemented yet\n\tInstance #20 is a complex "
           "instance of 2 partial records; it is kept as written.",
       "#20=(MEASURE_WITH_UNIT(LENGTH_MEASURE(10.),#6)NAMED_UNIT(*));", -1, ""},
      // A token that is no parameter ("+") is passed over by the reader, but the text has it:
      // each parameter is kept in the text's own place, so that saves do not shift them.
      {"#20=APPROVAL_STATUS(+,5);", incompatible + "approval_status::name := INTEGER.",
       "#20=APPROVAL_STATUS(+,5);", -1,
       "(parameter 2): 5 (as written; approval_status has 1 attribute)"},
      // What fits costs nothing and shows as always.
      {"#20=APPROVAL_STATUS('fine');", "", "#20=APPROVAL_STATUS('fine');", 0, "name: fine"},
  };
  for (const Case& c : cases) {
    for (bool direct : {true, false}) {
      SCOPED_TRACE(std::string(c.record) + (direct ? " (direct)" : " (parser)"));
      cct_StepFile::SetDirectReading(direct);
      TempFile file(File(c.record));
      CDoc doc;
      ASSERT_TRUE(doc.OnOpenDocument(file.Path()));
      EXPECT_EQ(OpenReports(doc, file.Path()), c.reports);
      cct_Instance* twenty = Twenty(doc);
      ASSERT_NE(twenty, nullptr);
      if (c.attribute >= 0) {
        EXPECT_EQ(varnholt::CStpTreeView::AttributeLabel(*twenty, c.attribute), c.label);
      } else if (*c.label) {
        EXPECT_EQ(varnholt::CStpTreeView::ExtraParameterLabel(*twenty, static_cast<size_t>(-c.attribute - 1)),
                  c.label);
      }
      {
        CDoc::LogRoute route(doc);
        EXPECT_EQ(Saved(doc), c.saved);
      }
      // Nor does the save call a kept parameter unset.
      if (c.reports.find("Unset non OPTIONAL") == std::string::npos) {
        EXPECT_EQ(doc.LogText().find("Unset non OPTIONAL"), std::string::npos) << doc.LogText();
      }
      if (std::string(c.record) == "#20=APPROVAL_STATUS('fine');") {
        EXPECT_EQ(twenty->AsWritten(), nullptr);
      }
    }
  }
}

// References in kept parameters are references: who refers, what is reached, what is missing.
TEST_F(AsWritten, ReferencesInKeptParametersCount) {
  TempFile file(File("#20=APPROVAL_STATUS(#7,'x',#6,(#6,#99));"));
  CDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(file.Path()));
  EXPECT_NE(OpenReports(doc, file.Path())
                .find(" --- can not find instance '99'.\n   It is referred to by instance #20, "
                      "in its parameters."),
            std::string::npos)
      << doc.LogText();
  varnholt::Navigator navigator(*doc.Scope());
  std::vector<std::string> rows;
  for (const auto& r : navigator.ReferencesTo("6")) rows.push_back(r.Text());
  for (const auto& r : navigator.ReferencesTo("7")) rows.push_back(r.Text());
  EXPECT_EQ(rows, (std::vector<std::string>{"#20 (parameter 3)", "#20 (parameter 4)[1]", "#20 name"}));
  // A cartesian point cannot hold references by its type; one kept as written can.
  TempFile point(File("#20=CARTESIAN_POINT('p',(#7,0.,0.));"));
  CDoc second;
  ASSERT_TRUE(second.OnOpenDocument(point.Path()));
  varnholt::Navigator other(*second.Scope());
  ASSERT_EQ(other.ReferencesTo("7").size(), 1u);
  EXPECT_EQ(other.ReferencesTo("7")[0].Text(), "#20 coordinates[1]");
  EXPECT_TRUE(varnholt::HasText(*Twenty(doc), "X"));
}

// An edit replaces a kept parameter with a valid value, a clear with "$"; taking either back
// brings the text as written again.
TEST_F(AsWritten, EditsReplaceKeptTextAndUndoBringsItBack) {
  TempFile file(File("#20=APPROVAL_STATUS(5);"));
  CDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(file.Path()));
  cct_Instance* twenty = Twenty(doc);
  ASSERT_NE(twenty, nullptr);
  const varnholt::ValueSlot slot{twenty, 0, -1};
  const varnholt::SlotEditor before = varnholt::DescribeSlot(slot);
  EXPECT_TRUE(before.asWritten);
  EXPECT_EQ(before.keptText, "5");
  EXPECT_EQ(before.form, varnholt::ValueForm::String);

  CDoc::LogRoute route(doc);
  EXPECT_EQ(varnholt::SetValue(slot, "approved").status, varnholt::EditOutcome::kChanged);
  EXPECT_EQ(Saved(doc), "#20=APPROVAL_STATUS('approved');");
  EXPECT_EQ(varnholt::CStpTreeView::AttributeLabel(*twenty, 0), "name: approved");
  varnholt::RestoreSlot(slot, before);
  EXPECT_EQ(Saved(doc), "#20=APPROVAL_STATUS(5);");

  EXPECT_EQ(varnholt::ClearValue(slot).status, varnholt::EditOutcome::kChanged);
  EXPECT_EQ(Saved(doc), "#20=APPROVAL_STATUS($);");
  varnholt::RestoreSlot(slot, before);
  EXPECT_EQ(Saved(doc), "#20=APPROVAL_STATUS(5);");
  EXPECT_EQ(varnholt::CStpTreeView::AttributeLabel(*twenty, 0), "name: 5 (as written; not a label)");
}

// Giving a value to an attribute a short record left out writes the record in full again.
TEST_F(AsWritten, ShortRecordGrowsWhenALeftOutAttributeIsSet) {
  TempFile file(File("#20=MILLING_TECHNOLOGY(100.,.TCP.,$,$,0.1,.F.,.F.);"));
  CDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(file.Path()));
  CDoc::LogRoute route(doc);
  ASSERT_EQ(varnholt::SetValue({Twenty(doc), 7, -1}, "true").status, varnholt::EditOutcome::kChanged);
  EXPECT_EQ(Saved(doc), "#20=MILLING_TECHNOLOGY(100.0000000000,.TCP.,$,$,0.1000000000,.F.,.F.,.T.);");
}

// A complex instance is of a type when one of its partial records is of it or of a subtype;
// a typed parameter inside it is no partial record.
TEST_F(AsWritten, ComplexInstancesAreOfTheirPartialRecordsTypesOnly) {
  TempFile file(File("#20=(CARTESIAN_POINT('p',(0.,0.,0.))MEASURE_WITH_UNIT(LENGTH_MEASURE(1.),#6));"));
  CDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(file.Path()));
  cct_Instance* twenty = Twenty(doc);
  ASSERT_NE(twenty, nullptr);
  EXPECT_TRUE(varnholt::IsOfType(*twenty, "cartesian_point"));
  EXPECT_TRUE(varnholt::IsOfType(*twenty, "point"));  // a supertype of cartesian_point
  EXPECT_TRUE(varnholt::IsOfType(*twenty, "measure_with_unit"));
  EXPECT_FALSE(varnholt::IsOfType(*twenty, "length_measure"));
  EXPECT_FALSE(varnholt::IsOfType(*twenty, "direction"));
}

}  // namespace

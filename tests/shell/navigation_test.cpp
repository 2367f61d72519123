#include "varnholt/navigation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "cct/factory.h"
#include "cct/instance.h"
#include "cct/schema.h"
#include "cct/scope.h"
#include "support/cli_run.h"
#include "support/temp_file.h"
#include "support/real_files.h"
#include "varnholt/doc.h"
#include "varnholt/edit.h"

namespace fs = std::filesystem;

namespace {

// Counts "#N" references in the data section of a file's text, a plain scan of the text that
// knows nothing of the reader: definitions ("#N=") and strings and comments are passed over.
std::map<std::string, size_t> CountReferences(const std::string& text) {
  std::map<std::string, size_t> counts;
  size_t i = text.find("DATA;");
  for (; i < text.size(); ++i) {
    if (text[i] == '\'') {
      for (++i; i < text.size(); ++i) {
        if (text.compare(i, 3, "\\S\\") == 0) i += 3;
        else if (text.compare(i, 2, "''") == 0) ++i;
        else if (text[i] == '\'') break;
      }
    } else if (text.compare(i, 2, "/*") == 0) {
      i = text.find("*/", i + 2);
      if (i == std::string::npos) break;
      ++i;
    } else if (text[i] == '#') {
      size_t end = text.find_first_not_of("0123456789", i + 1);
      if (end == std::string::npos || end == i + 1) continue;
      size_t next = text.find_first_not_of(" \r\n\t", end);
      if (next != std::string::npos && text[next] != '=') ++counts[text.substr(i + 1, end - i - 1)];
      i = end - 1;
    }
  }
  return counts;
}

class Navigation : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTypeNames();
    RegisterEntityNames();
  }
};

}  // namespace

// Every reference a file holds is found, on the samples and the corpus of real files: the index
// agrees with a count over the text for every name the file defines.
TEST_F(Navigation, ReferencesAgreeWithACountOverTheText) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(std::string(VARNHOLT_SOURCE_DIR) + "/samples"))
    files.push_back(e.path());
  for (const fs::path& path : RealFiles({VARNHOLT_CORPUS_DIR})) files.push_back(path);
  for (const fs::path& path : files) {
    SCOPED_TRACE(path.string());
    CDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path.c_str()));
    varnholt::Navigator navigator(*doc.Scope());
    const std::map<std::string, size_t> expected = CountReferences(ReadAll(path.string()));
    size_t total = 0;
    for (cct_Scope::Entry* entry : doc.Scope()->EntriesInNameOrder()) {
      if (!entry->instance) continue;
      auto it = expected.find(entry->name);
      const size_t want = it == expected.end() ? 0 : it->second;
      EXPECT_EQ(navigator.ReferencesTo(entry->name).size(), want) << "#" << entry->name;
      total += want;
    }
    EXPECT_GT(total, 0u);
  }
}

namespace {

const char* const kSmall =
    "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('t'),'2;1');\n"
    "FILE_NAME('t.stp','2020-1-1T0-0-0',('a'),('o'),'p','s','x');\n"
    "FILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\nDATA;\n"
    "#1=PROJECT('P1',$,(#10),$,$,$);\n"                  // line 8
    "#6=AXIS2_PLACEMENT_3D('origin',#7,\n#8,$);\n"       // lines 9 and 10
    "#7=CARTESIAN_POINT('p',(1.,2.5));\n"                // line 11
    "#8=DIRECTION('z',(0.,1.));\n"                       // line 12
    "#10=WORKPIECE('WP',$,$,$,$,$,(#7,#7));\n"           // line 13
    "ENDSEC;\nEND-ISO-10303-21;\n";

}  // namespace

TEST_F(Navigation, DetailsNameLineRecordAndReferrers) {
  TempFile file(kSmall);
  CDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(file.Path())) << doc.LogText();
  varnholt::Navigator navigator(*doc.Scope());
  varnholt::InstanceDetails details;
  ASSERT_TRUE(navigator.Details("7", details));
  EXPECT_EQ(details.number, 7);
  EXPECT_EQ(details.type, "cartesian_point");
  EXPECT_EQ(details.line, 11);
  EXPECT_EQ(details.record, varnholt::RecordText(*doc.Scope()->FindInstance("7", 0)));
  std::vector<std::string> referrers;
  for (const varnholt::Referrer& r : details.referrers) referrers.push_back(r.Text());
  EXPECT_EQ(referrers, (std::vector<std::string>{"#6 location", "#10 clamping_positions[1]",
                                                 "#10 clamping_positions[2]"}));
  EXPECT_FALSE(navigator.Details("99", details));
}

// A search by number looks the name up; the other conditions still hold. Instances whose insert
// was undone are no longer part of the population: no search finds them.
TEST_F(Navigation, FindByNumber) {
  TempFile file(kSmall);
  CDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(file.Path())) << doc.LogText();
  cct_Instance* project = doc.Scope()->FindInstance("1", 1);
  ASSERT_NE(project, nullptr);
  project->Release();
  // A new workpiece in the project's list and a new release date, both undone.
  std::vector<std::string> undone;
  for (const auto& [attribute, entity] : {std::pair<long, const char*>{2, "workpiece"},
                                          std::pair<long, const char*>{4, "date_and_time"}}) {
    const varnholt::InsertResult done =
        varnholt::InsertValue(*doc.Scope(), *project, attribute, CreateEntityByName(entity));
    ASSERT_TRUE(done.done && done.registeredHere) << entity;
    undone.push_back(std::string("#") + done.chosen->InstanceName());
    varnholt::RevertInsert(*project, attribute, done);
  }
  varnholt::Navigator navigator(*doc.Scope());
  struct Case {
    varnholt::FindQuery query;
    size_t count;
  } const cases[] = {
      {{"#7", "", "", false}, 1},
      {{"7", "cartesian_point", "", false}, 1},
      {{"7", "direction", "", false}, 0},
      {{"#6", "", "ORIG", false}, 1},
      {{"#6", "", "", true}, 1},   // the project reaches nothing of it
      {{"#10", "", "", true}, 0},
      {{"#99", "", "", false}, 0},
      {{undone[0], "", "", false}, 0},
      {{undone[0], "", "", true}, 0},
      {{"", "workpiece", "", false}, 1},  // #10 only
      {{undone[1], "date_and_time", "", false}, 0},
      {{"", "date_and_time", "", false}, 0},
      {{"", "date_and_time", "", true}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query.name + " " + c.query.type + " " + c.query.text);
    EXPECT_EQ(navigator.Find(c.query).size(), c.count);
  }
}

// A log line leads to the record at the file line it reports, else to the instance it names.
TEST_F(Navigation, LogLinesLeadToTheirInstance) {
  TempFile file(kSmall);
  CDoc doc;
  ASSERT_TRUE(doc.OnOpenDocument(file.Path())) << doc.LogText();
  struct Case {
    const char* logLine;
    long line;
    const char* name;
    const char* leadsTo;  // "" for nowhere
  } const cases[] = {
      {"Error: Syntax: \"/tmp/a.stp\", line 11:  bad", 11, "", "7"},
      {"Instance \"8\" redeclared in STEP file line. 12.", 12, "", "8"},
      {"The enumeration value \"x\" in STEP file line10 is not member", 10, "", "6"},
      {"Access to aggregate \"c\"is out of aggregate bounds. (Line 13 ).", 13, "", "10"},
      {"   It is referred to by instance #10, attribute its_id.", 0, "10", "10"},
      {"\"/tmp/a.stp\", line 9:  can not find instance '99' of #6", 9, "6", "6"},
      {"Error in Header - Entity \"x\" expected. Line 3.", 3, "", ""},
      {" StepNC-File \"/tmp/online 3.stp\" is open", 0, "", ""},
      {"   It is referred to by instance #99", 0, "99", ""},
      {"**********", 0, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.logLine);
    const varnholt::LogTarget target = varnholt::FindLogTarget(c.logLine);
    EXPECT_EQ(target.line, c.line);
    EXPECT_EQ(target.name, c.name);
    cct_Instance* instance = varnholt::LogLineInstance(*doc.Scope(), c.logLine);
    EXPECT_EQ(instance ? std::string(instance->InstanceName()) : std::string(), c.leadsTo);
  }
}

// Entity tables: their rows, columns and cells over a fixture and a sample, CSV as RFC 4180
// writes it, xlsx sheet names, and writes that fail leaving the target as it was.
#include "varnholt/table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cct/factory.h"
#include "cct/schema.h"
#include "cct/stepfile.h"
#include "support/cli_run.h"
#include "support/temp_file.h"
#include "varnholt/doc.h"
#include "varnholt/save_io.h"

namespace {

const std::string kData = std::string(VARNHOLT_SOURCE_DIR) + "/tests/data/";
const std::string kValues = kData + "table_values.stp";

class Table : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTypeNames();
    RegisterEntityNames();
  }
  void TearDown() override { cct_StepFile::SetDirectReading(true); }
  void Open(const std::string& path) { ASSERT_TRUE(doc_.OnOpenDocument(path.c_str())) << doc_.LogText(); }
  std::string Csv(const std::string& entity, bool exact = false) { return Csv(doc_, entity, exact); }
  static std::string Csv(CDoc& doc, const std::string& entity, bool exact) {
    varnholt::EntityTable table;
    std::string why;
    if (!table.Build(*doc.Scope(), entity, exact, why)) return "(refused: " + why + ")";
    std::ostringstream out;
    varnholt::WriteCsv(table, out);
    return out.str();
  }
  CDoc doc_;
};

// Every kind of cell, in the order of the records in the file (#20 before #3, #33 last though
// #30 refers to it first); subtypes with the entity's columns only; a parameter the binding
// kept and a complex instance's partial records as written. The parser gives the same tables
// as the direct reader.
TEST_F(Table, RowsAndCellsOfTheFixture) {
  for (bool direct : {true, false}) {
    SCOPED_TRACE(direct ? "direct reader" : "parser");
    cct_StepFile::SetDirectReading(direct);
    CDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(kValues.c_str())) << doc.LogText();
    const struct {
      const char* entity;
      bool exact;
      std::string csv;
    } cases[] = {
        {"cartesian_point", false,
         "instance,type,name,coordinates\r\n"
         "20,cartesian_point,\"later number, earlier record\",\"(0.30000000000000004,0.0000100000,-2.5000000000)\"\r\n"
         "3,cartesian_point,\"say \"\"hi\"\"\",\"(1.0000000000,2.0000000000,3.0000000000)\"\r\n"
         "4,cartesian_point,\"line\nbreak\",\"(0.0000000000,0.0000000000)\"\r\n"
         "5,cartesian_point,,(1234.5678000000)\r\n"
         "6,cartesian_point,,(7.0000000000)\r\n"
         "7,cartesian_point,Stahl \xc3\xa4 it's,\"(1.0000000000,1.0000000000,1.0000000000)\"\r\n"
         "8,(cartesian_point geometric_representation_item point representation_item measure_with_unit),"
         "\"'complex, kept'\",\"(9.,8.,7.)\"\r\n"
         "33,cartesian_point,\"defined last, referred to first\",\"(4.0000000000,5.0000000000,6.0000000000)\"\r\n"},
        // Only what is exactly of the entity: no complex instance.
        {"CARTESIAN_POINT", true,
         "instance,type,name,coordinates\r\n"
         "20,cartesian_point,\"later number, earlier record\",\"(0.30000000000000004,0.0000100000,-2.5000000000)\"\r\n"
         "3,cartesian_point,\"say \"\"hi\"\"\",\"(1.0000000000,2.0000000000,3.0000000000)\"\r\n"
         "4,cartesian_point,\"line\nbreak\",\"(0.0000000000,0.0000000000)\"\r\n"
         "5,cartesian_point,,(1234.5678000000)\r\n"
         "6,cartesian_point,,(7.0000000000)\r\n"
         "7,cartesian_point,Stahl \xc3\xa4 it's,\"(1.0000000000,1.0000000000,1.0000000000)\"\r\n"
         "33,cartesian_point,\"defined last, referred to first\",\"(4.0000000000,5.0000000000,6.0000000000)\"\r\n"},
        {"technology", false,
         "instance,type,feedrate,feedrate_reference\r\n"
         "40,milling_technology,100.5,tcp\r\n"
         "41,milling_technology,'fast',ccp\r\n"
         "50,turning_technology,2,tcp\r\n"},
        {"technology", true, "instance,type,feedrate,feedrate_reference\r\n"},
        {"milling_technology", false,
         "instance,type,feedrate,feedrate_reference,cutspeed,spindle,feedrate_per_tooth,"
         "synchronize_spindle_with_feed,inhibit_feedrate_override,inhibit_spindle_override,its_adaptive_control\r\n"
         "40,milling_technology,100.5,tcp,,15006.0374915216,0.30000000000000004,true,false,false,\r\n"
         "41,milling_technology,'fast',ccp,0.25,,,false,true,true,#99\r\n"},
        {"turning_technology", false,
         "instance,type,feedrate,feedrate_reference,spindle_speed,feedrate_per_revolution,"
         "sync_spindle_and_z_feed,inhibit_feedrate_override,inhibit_spindle_override\r\n"
         "50,turning_technology,2,tcp,#51 const_spindle_speed,0.05,true,false,false\r\n"},
        {"placement", false,
         "instance,type,name,location\r\n"
         "30,axis2_placement_3d,frame,#33 cartesian_point\r\n"},
        {"block", false, "instance,type,name,position,x,y,z\r\n"},
        {"no_such_entity", false, "(refused: the schema knows no entity \"no_such_entity\")"},
        {"", false, "(refused: the schema knows no entity \"\")"},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.entity);
      EXPECT_EQ(Csv(doc, c.entity, c.exact), c.csv);
    }
  }
}

TEST_F(Table, SampleTableIsItsFixtureByteForByte) {
  Open(std::string(VARNHOLT_SOURCE_DIR) + "/samples/bracket_project.stp");
  EXPECT_EQ(Csv("machining_operation"), ReadAll(kData + "bracket_machining_operations.csv"));
}

TEST_F(Table, CellKindsTellNumbersFromText) {
  Open(kValues);
  varnholt::EntityTable table;
  std::string why;
  ASSERT_TRUE(table.Build(*doc_.Scope(), "milling_technology", false, why));
  ASSERT_EQ(table.RowCount(), 2u);
  varnholt::TableRow row;
  table.Row(0, row);
  using K = varnholt::CellKind;
  const std::vector<K> kinds = {K::Integer, K::Text, K::Real, K::Text, K::Text, K::Real,
                                K::Real,    K::Text, K::Text, K::Text, K::Text};
  ASSERT_EQ(row.cells.size(), kinds.size());
  for (size_t i = 0; i < kinds.size(); ++i) EXPECT_EQ(row.cells[i].kind, kinds[i]) << i;
  EXPECT_EQ(row.cells[0].number, 40);
  EXPECT_EQ(row.cells[5].number, 15006.0374915216);
  EXPECT_EQ(row.cells[6].number, 0.1 + 0.2);
  // A kept parameter is text, whatever the attribute would hold.
  table.Row(1, row);
  EXPECT_EQ(row.cells[2].kind, K::Text);
  EXPECT_EQ(row.CellText(2), "'fast'");
}

// One walk gives the tables of every entity that occurs, as a table of each alone does.
TEST_F(Table, AllEntitiesAreTheOwnTypesAsEachAloneGivesThem) {
  Open(kValues);
  size_t kept = 0;
  const std::vector<varnholt::EntityTable> tables = varnholt::EntityTable::AllEntities(*doc_.Scope(), &kept);
  EXPECT_EQ(kept, 1u);
  std::vector<std::string> entities;
  for (const varnholt::EntityTable& table : tables) {
    entities.push_back(table.Entity());
    std::ostringstream out;
    varnholt::WriteCsv(table, out);
    EXPECT_EQ(out.str(), Csv(table.Entity(), true)) << table.Entity();
  }
  EXPECT_EQ(entities, (std::vector<std::string>{"axis2_placement_3d", "cartesian_point", "const_spindle_speed",
                                                "direction", "milling_technology", "turning_technology"}));
}

TEST(TableSheets, NamesFitInThirtyOneCharactersAndDiffer) {
  const std::string a31 = "abcdefghijklmnopqrstuvwxyz_1234";  // 31 characters
  const struct {
    std::vector<std::string> entities;
    std::vector<std::string> sheets;
  } cases[] = {
      {{"cartesian_point", "direction"}, {"cartesian_point", "direction"}},
      {{a31}, {a31}},
      {{a31 + "5"}, {a31}},
      {{a31 + "_one", a31 + "_two", a31 + "_three"},
       {a31, "abcdefghijklmnopqrstuvwxyz_12~2", "abcdefghijklmnopqrstuvwxyz_12~3"}},
      // A cut name that meets a name given in full.
      {{a31, a31 + "x"}, {a31, "abcdefghijklmnopqrstuvwxyz_12~2"}},
      // Sheet names are alike whatever their case.
      {{"Point", "point"}, {"Point", "point~2"}},
      {{"point", "Point"}, {"point", "Point~2"}},
  };
  for (const auto& c : cases) {
    const std::vector<std::string> sheets = varnholt::SheetNames(c.entities);
    EXPECT_EQ(sheets, c.sheets);
    for (const std::string& sheet : sheets) EXPECT_LE(sheet.size(), 31u) << sheet;
  }
}

ssize_t FailingWrite(int, const void*, size_t) {
  errno = ENOSPC;
  return -1;
}

// The target keeps what it held whenever a table cannot be written whole: a full disk, a cell
// longer than xlsx takes, a folder that is not there.
TEST_F(Table, FailedWritesLeaveTheTargetAsItWas) {
  std::string text = ReadAll(kValues);
  const std::string longName(varnholt::kMaxCellLength + 1, 'x');
  text.replace(text.find("'say \"hi\"'"), 10, "'" + longName + "'");
  TempFile file(text);
  Open(file.Path());
  varnholt::EntityTable table, points;
  std::string why;
  ASSERT_TRUE(table.Build(*doc_.Scope(), "direction", false, why));
  ASSERT_TRUE(points.Build(*doc_.Scope(), "cartesian_point", false, why));
  TempDir dir;
  const struct {
    const char* name;
    const varnholt::EntityTable& table;
    std::string target;
    varnholt::TableFormat format;
    bool fullDisk;
    const char* why;
  } cases[] = {
      {"csv, full disk", table, dir.File("t.csv"), varnholt::TableFormat::Csv, true, "No space left on device"},
      {"xlsx, full disk", table, dir.File("t.xlsx"), varnholt::TableFormat::Xlsx, true, "No space left on device"},
      {"xlsx, a cell too long", points, dir.File("t.xlsx"), varnholt::TableFormat::Xlsx, false,
       "#3 cartesian_point.name holds 32768 characters, more than an xlsx cell holds (32767); CSV holds them"},
      {"csv, no folder", table, dir.File("missing/t.csv"), varnholt::TableFormat::Csv, false, "No such file or directory"},
  };
  varnholt::SaveIo& io = varnholt::SaveOperations();
  const varnholt::SaveIo system = io;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.target.find("missing") == std::string::npos) std::ofstream(c.target, std::ios::binary) << "old";
    if (c.fullDisk) io.write = FailingWrite;
    why.clear();
    const bool written = varnholt::WriteTableFile(c.table, c.target, c.format, why);
    io = system;
    EXPECT_FALSE(written);
    EXPECT_NE(why.find(c.why), std::string::npos) << why;
    if (c.target.find("missing") == std::string::npos) {
      EXPECT_EQ(ReadAll(c.target), "old");
    }
  }
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir.File("")))
    left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"t.csv", "t.xlsx"}));

  // The same tables written where nothing fails.
  ASSERT_TRUE(varnholt::WriteTableFile(table, dir.File("t.csv"), varnholt::TableFormat::Csv, why)) << why;
  std::ostringstream expected;
  varnholt::WriteCsv(table, expected);
  EXPECT_EQ(ReadAll(dir.File("t.csv")), expected.str());
}

TEST(TableFormat, TheEndingChoosesXlsx) {
  using F = varnholt::TableFormat;
  const std::pair<const char*, F> cases[] = {
      {"a.xlsx", F::Xlsx}, {"A.XLSX", F::Xlsx}, {"a.csv", F::Csv}, {"xlsx", F::Csv},
      {"a.xlsx.csv", F::Csv}, {"", F::Csv}};
  for (const auto& [path, format] : cases) EXPECT_EQ(varnholt::FormatOfPath(path), format) << path;
}

}  // namespace

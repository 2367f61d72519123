// varnholt-cli table: what goes to standard output and to -o, --all as a folder of CSV files,
// and every bad command line with its message and exit status, writing nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/cli_run.h"

namespace {

const std::string kValues = std::string(VARNHOLT_SOURCE_DIR) + "/tests/data/table_values.stp";
const std::string kBracket = std::string(VARNHOLT_SOURCE_DIR) + "/samples/bracket_project.stp";

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(CliTable, StandardOutputAndOutFileHoldTheSameTable) {
  TempDir dir;
  const CliResult printed = RunCli({"table", kBracket, "--type", "machining_operation"});
  EXPECT_EQ(printed.status, 0) << printed.err;
  EXPECT_EQ(printed.out, ReadAll(std::string(VARNHOLT_SOURCE_DIR) + "/tests/data/bracket_machining_operations.csv"));
  // The log goes to standard error, as tree's does.
  EXPECT_TRUE(Contains(printed.err, "is open")) << printed.err;
  const CliResult written = RunCli({"table", kBracket, "--type", "MACHINING_OPERATION", "-o", dir.File("ops.csv")});
  EXPECT_EQ(written.status, 0) << written.err;
  EXPECT_EQ(written.out, "");
  EXPECT_EQ(ReadAll(dir.File("ops.csv")), printed.out);
  // An entity without instances: the header alone.
  const CliResult empty = RunCli({"table", kBracket, "--type", "turning_technology"});
  EXPECT_EQ(empty.status, 0);
  EXPECT_EQ(empty.out,
            "instance,type,feedrate,feedrate_reference,spindle_speed,feedrate_per_revolution,"
            "sync_spindle_and_z_feed,inhibit_feedrate_override,inhibit_spindle_override\r\n");
}

TEST(CliTable, AllWritesOneCsvPerEntityOfExactlyThatType) {
  TempDir dir;
  const std::string folder = dir.File("tables");
  const CliResult r = RunCli({"table", kValues, "--all", "-o", folder});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(r.err, "varnholt-cli: 1 record of no entity of the schema (kept as written) left out\n")) << r.err;
  EXPECT_EQ(Names(folder),
            (std::vector<std::string>{"axis2_placement_3d.csv", "cartesian_point.csv", "const_spindle_speed.csv",
                                      "direction.csv", "milling_technology.csv", "turning_technology.csv"}));
  const std::string points = ReadAll(folder + "/cartesian_point.csv");
  EXPECT_FALSE(Contains(points, "complex")) << points;
  EXPECT_TRUE(Contains(points, "\r\n33,cartesian_point,")) << points;
  EXPECT_EQ(ReadAll(folder + "/direction.csv"),
            "instance,type,name,direction_ratios\r\n31,direction,z,\"(0.0000000000,0.0000000000,1.0000000000)\"\r\n");
}

TEST(CliTable, BadCommandLinesAreRefusedAndWriteNothing) {
  TempDir dir;
  const std::string folder = dir.File("");
  { std::ofstream(dir.File("keep.csv")) << "old"; }
  std::filesystem::create_directory(dir.File("sub"));
  const struct {
    std::vector<std::string> args;
    int status;
    std::string message;  // the end of standard error
  } cases[] = {
      {{"table", kValues, "--type", "no_such_entity"}, 1, "varnholt-cli: the schema knows no entity \"no_such_entity\"\n"},
      {{"table", kValues, "--type", ""}, 1, "varnholt-cli: the schema knows no entity \"\"\n"},
      {{"table", kValues}, 2, "varnholt-cli: table takes either --type ENTITY or --all\n"},
      {{"table", kValues, "--type", "point", "--all", "-o", dir.File("x.xlsx")}, 2,
       "varnholt-cli: table takes either --type ENTITY or --all\n"},
      {{"table", kValues, "--type", "point", "--format", "xlsx"}, 2,
       "varnholt-cli: --format xlsx writes a file: give it with -o OUT\n"},
      {{"table", kValues, "--all"}, 2,
       "varnholt-cli: --all writes a workbook (.xlsx) or a folder of CSV files: give it with -o OUT\n"},
      {{"table", kValues, "--type", "point", "--format", "ods", "-o", dir.File("x.ods")}, 2,
       "varnholt-cli: \"ods\" is no table format: csv or xlsx\n"},
      {{"table", kValues, "--type", "point", "-o"}, 2, ""},
      {{"table", "--type", "point"}, 2, ""},
      {{"table", dir.File("missing.stp"), "--type", "point", "-o", dir.File("x.csv")}, 1,
       "could not be opened\n"},
      // Unwritable targets: a folder that is not there, a folder named as the file, a file
      // named as the folder of --all.
      {{"table", kValues, "--type", "point", "-o", dir.File("missing/x.csv")}, 1,
       ("varnholt-cli: cannot write \"" + dir.File("missing/x.csv") + "\": No such file or directory\n")},
      {{"table", kValues, "--type", "point", "-o", dir.File("sub")}, 1,
       ("varnholt-cli: cannot write \"" + dir.File("sub") + "\": not a regular file\n")},
      {{"table", kValues, "--type", "point", "-o", dir.File("sub"), "--format", "xlsx"}, 1,
       ("varnholt-cli: cannot write \"" + dir.File("sub") + "\": not a regular file\n")},
      {{"table", kValues, "--all", "-o", dir.File("keep.csv")}, 1,
       ("varnholt-cli: \"" + dir.File("keep.csv") + "\" is no folder: --all --format csv writes one file per entity into -o\n")},
      {{"table", kValues, "--all", "-o", dir.File("missing/tables")}, 1,
       ("varnholt-cli: cannot make the folder \"" + dir.File("missing/tables") + "\": No such file or directory\n")},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    const CliResult r = RunCli(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.out, "");
    // The core's log, closed at the end of the process, may add two line ends.
    std::string err = r.err;
    if (err.size() >= 3 && err.compare(err.size() - 3, 3, "\n\n\n") == 0) err.resize(err.size() - 2);
    const std::string& message = c.message;
    EXPECT_TRUE(err.size() >= message.size() && err.compare(err.size() - message.size(), message.size(), message) == 0)
        << r.err;
    EXPECT_EQ(Contains(r.err, "Usage: varnholt-cli"), c.status == 2) << r.err;
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"keep.csv", "sub"}));
    EXPECT_EQ(ReadAll(dir.File("keep.csv")), "old");
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("sub")));
  }
}

}  // namespace

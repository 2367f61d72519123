// varnholt-cli render as a user runs it: what it writes, what it refuses, and that a refused or
// failed run leaves an existing OUT as it was.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/cli_run.h"

namespace {

const std::string kSample = std::string(VARNHOLT_SOURCE_DIR) + "/samples/toolpath_project.stp";
const std::string kNoProject = std::string(VARNHOLT_SOURCE_DIR) + "/tests/data/scene_no_project.stp";

}  // namespace

TEST(CliRender, OutcomesAndMessages) {
  TempDir dir;
  struct Row {
    std::string in, out;
    std::vector<std::string> options;
    int status;
    const char* message;  // in standard output for status 0, else in standard error
    bool written;         // OUT replaced (it held "old" before)
  } const rows[] = {
      {kSample, "a.svg", {}, 0, "is open", true},
      {kSample, "b.PNG", {"--view", "top", "--size", "320x200"}, 0, "is open", true},
      {kNoProject, "c.svg", {}, 0, "Warning: Message: The file holds no project: there is nothing to draw.", true},
      {kSample, "d.jpg", {}, 1, "the picture is written as .svg, .png or .pdf", false},
      {dir.File("missing.stp"), "e.svg", {}, 1, "could not be opened", false},
      {kSample, "f.svg", {"--size", "320x"}, 1, "is no size", false},
      {kSample, "g.svg", {"--size", "8x8"}, 1, "is no size", false},
      {kSample, "h.svg", {"--view", "diagonal"}, 1, "is no view", false},
      {kSample, "no-such-folder/i.svg", {}, 1, "cannot write", false},
      {kSample, "j.PDF", {"--view", "top"}, 0, "is open", true},
      {kNoProject, "k.pdf", {}, 0, "there is nothing to draw", true},
      {kSample, "l.pdf", {"--size", "320x200"}, 1, "a .pdf is an A4 page", false},
  };
  for (const Row& row : rows) {
    const std::string out = dir.File(row.out);
    { std::ofstream(out) << "old"; }
    std::vector<std::string> args{"render", row.in, out};
    args.insert(args.end(), row.options.begin(), row.options.end());
    const CliResult result = RunCli(args);
    EXPECT_EQ(result.status, row.status) << row.out << "\n" << result.err;
    EXPECT_NE((row.status == 0 ? result.out : result.err).find(row.message), std::string::npos)
        << row.out << "\n" << result.out << result.err;
    if (row.out.find('/') == std::string::npos) {
      EXPECT_EQ(ReadAll(out) != "old", row.written) << row.out;
    }
  }
  // A compressed RGB PNG of the size asked for, the SVG's document, the sheet named after the file.
  const std::string png = ReadAll(dir.File("b.PNG"));
  ASSERT_GE(png.size(), 26u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_EQ(png.substr(12, 4), "IHDR");
  auto u32 = [&](size_t at) {
    return uint32_t(uint8_t(png[at])) << 24 | uint32_t(uint8_t(png[at + 1])) << 16 |
           uint32_t(uint8_t(png[at + 2])) << 8 | uint8_t(png[at + 3]);
  };
  EXPECT_EQ(u32(16), 320u);
  EXPECT_EQ(u32(20), 200u);
  EXPECT_EQ(png[25], 2);  // RGB
  EXPECT_LT(png.size(), 320u * 200 * 3 / 10);
  EXPECT_EQ(ReadAll(dir.File("a.svg")).rfind("<?xml", 0), 0u);
  const std::string pdf = ReadAll(dir.File("j.PDF"));
  EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
  EXPECT_NE(pdf.find("/Title (toolpath_project.stp)"), std::string::npos);
  // Nothing but the picture is left beside it.
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.File(""))) ++files;
  EXPECT_EQ(files, 11u);  // the rows' OUT files but the one in a missing folder
}

// varnholt-cli check -j and help as a user runs them: -j prints what check prints, its N is
// checked, help and a subcommand's --help show that subcommand's part of the usage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/cli_run.h"
#include "support/real_files.h"

namespace fs = std::filesystem;

namespace {

const std::string kSamples = std::string(VARNHOLT_SOURCE_DIR) + "/samples/";

std::vector<std::string> With(std::vector<std::string> head, const std::vector<std::string>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

// Standard output and standard error into one file, as a log collected by a script has them.
std::string Together(const std::vector<std::string>& args) {
  TempDir dir;
  std::string command = Quote(VARNHOLT_CLI);
  for (const std::string& arg : args) command += " " + Quote(arg);
  command += " >" + Quote(dir.File("both")) + " 2>&1";
  if (std::system(command.c_str()) == -1) return "<not run>";
  return ReadAll(dir.File("both"));
}

bool StartsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

// -j 1 goes through the threads of the runner: its output must be check's, byte for byte,
// for files that open, one that does not, and an empty name.
TEST(CliCheck, OneThreadPrintsWhatCheckPrints) {
  const std::vector<std::vector<std::string>> lists = {
      {kSamples + "milling_project.stp"},
      {kSamples + "milling_project.stp", "/nonexistent-dir/missing.stp", kSamples + "toolpath_project.stp"},
      {kSamples + "milling_project.stp", "", kSamples + "mill_turn_project.stp"},
  };
  for (const auto& files : lists) {
    SCOPED_TRACE(files.size());
    const CliResult plain = RunCli(With({"check"}, files));
    const CliResult threaded = RunCli(With({"check", "-j", "1"}, files));
    EXPECT_EQ(threaded.status, plain.status);
    EXPECT_EQ(threaded.out, plain.out);
    EXPECT_EQ(threaded.err, plain.err);
    EXPECT_NE(plain.out.find("is open"), std::string::npos);
    const std::string together = Together(With({"check"}, files));
    EXPECT_EQ(Together(With({"check", "-j", "1"}, files)), together);
    // What check says about an empty name (whose log is empty) follows the log of the file
    // before it, also in one stream.
    if (files.size() > 1 && files[1].empty()) {
      EXPECT_LT(together.find("is open"), together.find("varnholt-cli: empty file name")) << together;
    }
  }
}

TEST(CliCheck, ThreadCountsThatAreNoneAreUsageErrors) {
  const std::string file = kSamples + "milling_project.stp";
  const struct {
    std::vector<std::string> args;
    const char* last;  // the last line of standard error; "" for the usage alone
  } rows[] = {
      {{"check", "-j", "0", file}, "varnholt-cli: \"0\" is no number of threads: -j takes a whole number from 1 up"},
      {{"check", "-j", "x", file}, "varnholt-cli: \"x\" is no number of threads: -j takes a whole number from 1 up"},
      {{"check", "-j", "2x", file}, "varnholt-cli: \"2x\" is no number of threads: -j takes a whole number from 1 up"},
      {{"check", "-j", "", file}, "varnholt-cli: \"\" is no number of threads: -j takes a whole number from 1 up"},
      {{"check", "-j"}, ""},
      {{"check", "-j", "2"}, ""},
      {{"help", "frobnicate"}, "varnholt-cli: \"frobnicate\" is no subcommand: check, convert, tree, refs, find, "
                               "show, edit, render, scene, gcode, simulate, time, table, diff, help, --help or --version"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args[row.args.size() - 1]);
    const CliResult r = RunCli(row.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(StartsWith(r.err, "Usage: varnholt-cli check FILE...\n")) << r.err;
    const std::string end = *row.last ? "names.\n\n" + std::string(row.last) + "\n" : "names.\n";
    EXPECT_TRUE(EndsWith(r.err, end) || EndsWith(r.err, end + "\n\n")) << r.err;
  }
}

TEST(CliHelp, ShowsOneSubcommandOrAll) {
  const CliResult all = RunCli({"--help"});
  const CliResult bare = RunCli({"help"});
  EXPECT_EQ(bare.status, 0);
  EXPECT_EQ(bare.out, all.out);
  const struct {
    const char* name;
    std::string out;
  } rows[] = {
      {"show", "Usage: varnholt-cli show FILE N\n\n"
               "  show FILE N      print the line of the file where #N is defined, then its record as\n"
               "                   a save writes it\n"},
      {"-h", "Usage: varnholt-cli --help\n\n  --help           show this text\n"},
  };
  for (const auto& row : rows) {
    const CliResult r = RunCli({"help", row.name});
    EXPECT_EQ(r.status, 0) << row.name;
    EXPECT_EQ(r.out, row.out);
    // Every line of a subcommand's help stands in the whole usage text as well.
    EXPECT_NE(all.out.find(row.out.substr(row.out.find("\n\n") + 2)), std::string::npos) << row.name;
  }
}

// "SUBCOMMAND --help" (and -h) prints what "help SUBCOMMAND" prints, on standard output with
// status 0, for every subcommand; after a file name it is a file name still.
TEST(CliHelp, EverySubcommandTakesHelpAsItsFirstWord) {
  const CliResult show = RunCli({"show", "--help"});
  EXPECT_EQ(show.status, 0);
  EXPECT_EQ(show.out, "Usage: varnholt-cli show FILE N\n\n"
                      "  show FILE N      print the line of the file where #N is defined, then its record as\n"
                      "                   a save writes it\n");
  for (const char* name : {"check", "convert", "tree", "refs", "find", "show", "edit", "render", "scene",
                           "gcode", "time", "table", "diff"}) {
    SCOPED_TRACE(name);
    const CliResult help = RunCli({"help", name});
    ASSERT_EQ(help.status, 0);
    EXPECT_TRUE(StartsWith(help.out, std::string("Usage: varnholt-cli ") + name + " ")) << help.out;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {name, "--help"}, {name, "-h"}, {name, "--help", "more", "words"}}) {
      SCOPED_TRACE(args.size() > 2 ? "with words after it" : args[1]);
      const CliResult r = RunCli(args);
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.out, help.out);
      EXPECT_EQ(r.err.find_first_not_of('\n'), std::string::npos) << r.err;  // the log's closing lines
    }
  }
  const CliResult file = RunCli({"check", kSamples + "milling_project.stp", "--help"});
  EXPECT_EQ(file.status, 1);
  EXPECT_EQ(file.out.find("Usage:"), std::string::npos) << file.out;
  EXPECT_NE(file.out.find("StepNC-File \"--help\" could not be opened"), std::string::npos) << file.out;
}

// Enabled once the reader and the log can take two files at once on two threads.
TEST(CliCheck, ParallelCheckPrintsWhatCheckPrints) {
  std::vector<std::string> files;
  for (const fs::path& path : RealFiles({VARNHOLT_CORPUS_DIR})) files.push_back(path.string());
  if (files.empty()) GTEST_SKIP() << "no corpus at " << VARNHOLT_CORPUS_DIR;
  const CliResult plain = RunCli(With({"check"}, files));
  const CliResult parallel = RunCli(With({"check", "-j", "2"}, files));
  EXPECT_EQ(parallel.status, plain.status);
  EXPECT_EQ(parallel.out, plain.out);
  EXPECT_EQ(parallel.err, plain.err);
}

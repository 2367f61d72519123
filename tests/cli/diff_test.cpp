// varnholt-cli diff: the fixtures' pairs give exactly their differences; a file against its own
// convert output gives none and against its edit output exactly the edited values; usage and
// open errors end with status 2.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/cli_run.h"
#include "support/json_value.h"
#include "support/real_files.h"

namespace {

const std::string kData = std::string(VARNHOLT_SOURCE_DIR) + "/tests/data/";
const std::string kBase = kData + "diff_base.stp";

struct Pair {
  const char* file;  // against diff_base.stp
  std::vector<std::string> options;
  int status;
  std::string out;
};

TEST(CliDiff, EachFixturePairGivesExactlyItsDifferences) {
  const std::string ws3 = "project 'P1' / main_workplan 'main' / its_elements[3] 'WS3 hole'";
  const Pair pairs[] = {
      {"diff_feed.stp", {"--format", "json"}, 1,
       "{\"same\": false, \"differences\": [\n"
       "  {\"kind\": \"changed\", \"path\": \"project 'P1' / main_workplan 'main' / its_elements[2] 'WS2 "
       "pocket' / its_operation 'pocket rough' / its_technology\", \"attribute\": \"feedrate\", \"old\": "
       "\"15.0000000000\", \"new\": \"12.5000000000\", \"instance_a\": 51, \"instance_b\": 51}\n"
       "]}\n"},
      // The feed is 2.5 off: a tolerance of 2.5 takes it as equal, one just below does not.
      {"diff_feed.stp", {"--tolerance", "2.5"}, 0, "no differences\n"},
      {"diff_feed.stp", {"--tolerance", "2.4999"}, 1,
       "changed project 'P1' / main_workplan 'main' / its_elements[2] 'WS2 pocket' / its_operation "
       "'pocket rough' / its_technology\n"
       "  feedrate: 15.0000000000 -> 12.5000000000  (#51 / #51)\n"
       "1 difference\n"},
      // The hole moved to the front: one move, nothing after it changed.
      {"diff_reordered.stp", {"--format", "json"}, 1,
       "{\"same\": false, \"differences\": [\n"
       "  {\"kind\": \"moved\", \"path\": \"project 'P1' / main_workplan 'main' / its_elements[1] 'WS3 hole'\", "
       "\"attribute\": \"its_elements\", \"old\": \"3\", \"new\": \"1\", \"instance_a\": 12, \"instance_b\": 12}\n"
       "]}\n"},
      // Every number another, the records shuffled, reals written otherwise: the same.
      {"diff_renumbered.stp", {"--format", "json"}, 0, "{\"same\": true, \"differences\": []}\n"},
      {"diff_renumbered.stp", {}, 0, "no differences\n"},
      // The drilling's tool is a new one: its reference changed, and the tool was added.
      {"diff_added_tool.stp", {"--format", "json"}, 1,
       "{\"same\": false, \"differences\": [\n"
       "  {\"kind\": \"changed\", \"path\": \"" + ws3 + " / its_operation 'drill'\", \"attribute\": "
       "\"its_tool\", \"old\": \"#41\", \"new\": \"#46\", \"instance_a\": 32, \"instance_b\": 32},\n"
       "  {\"kind\": \"added\", \"path\": \"" + ws3 + " / its_operation 'drill' / its_tool 'T3 drill'\", "
       "\"attribute\": null, \"old\": null, \"new\": \"#46=MILLING_CUTTING_TOOL('T3 drill',#47,(),"
       "117.0000000000,$,$);\", \"instance_a\": null, \"instance_b\": 46}\n"
       "]}\n"},
      // The hole's workingstep went with its feature, operation and technology: one removal.
      {"diff_removed_feature.stp", {"--format", "json"}, 1,
       "{\"same\": false, \"differences\": [\n"
       "  {\"kind\": \"removed\", \"path\": \"" + ws3 + "\", \"attribute\": null, \"old\": "
       "\"#12=MACHINING_WORKINGSTEP('WS3 hole',#8,#22,#32,$);\", \"new\": null, \"instance_a\": 12, "
       "\"instance_b\": null}\n"
       "]}\n"},
  };
  for (const Pair& pair : pairs) {
    std::vector<std::string> args{"diff", kBase, kData + pair.file};
    args.insert(args.end(), pair.options.begin(), pair.options.end());
    const CliResult result = RunCli(args);
    EXPECT_EQ(result.status, pair.status) << pair.file;
    EXPECT_EQ(result.out, pair.out) << pair.file;
  }
}

TEST(CliDiff, UsageAndOpenErrorsEndWithStatusTwo) {
  const struct {
    std::vector<std::string> args;
    std::string message;  // on standard error
  } cases[] = {
      {{"diff", kBase, kData + "no_such_file.stp"}, "could not be opened"},
      {{"diff", kData + "no_such_file.stp", kBase}, "could not be opened"},
      {{"diff", kBase}, "Usage:"},
      {{"diff", kBase, kBase, "--format", "xml"}, "\"xml\" is no format: text or json"},
      {{"diff", kBase, kBase, "--tolerance", "-1"}, "is no tolerance"},
      {{"diff", kBase, kBase, "--tolerance", "nan"}, "\"nan\" is no tolerance"},
      {{"diff", kBase, kBase, "--tolerance", "1e999"}, "\"1e999\" is no tolerance"},
  };
  for (const auto& c : cases) {
    const CliResult result = RunCli(c.args);
    EXPECT_EQ(result.status, 2) << c.args.back();
    EXPECT_NE(result.err.find(c.message), std::string::npos) << c.args.back() << "\n" << result.err;
    EXPECT_EQ(result.out, "");
  }
  // Of two files only the log of the one that did not open.
  const CliResult result = RunCli({"diff", kBase, kData + "no_such_file.stp"});
  EXPECT_EQ(result.err.find("diff_base.stp"), std::string::npos) << result.err;
}

std::vector<std::filesystem::path> RealAndSampleFiles() {
  std::vector<std::filesystem::path> files = RealFiles({VARNHOLT_CORPUS_DIR});
  for (const char* name : {"bracket_project.stp", "mill_turn_project.stp", "milling_project.stp",
                           "toolpath_project.stp"})
    files.push_back(std::string(VARNHOLT_SOURCE_DIR) + "/samples/" + name);
  return files;
}

TEST(CliDiff, AFileAndItsConvertOutputAreTheSame) {
  TempDir dir;
  for (const auto& file : RealAndSampleFiles()) {
    const std::string saved = dir.File("saved.stp");
    if (RunCli({"convert", file.string(), saved}).status != 0) continue;  // not a file we open
    const CliResult result = RunCli({"diff", file.string(), saved});
    EXPECT_EQ(result.status, 0) << file;
    EXPECT_EQ(result.out, "no differences\n") << file;
  }
}

// The file's records renumbered (each name shifted and reversed in order) and shuffled, kept
// records and their references too; strings are left alone. False for a file this cannot
// rewrite (no data section, a name inside a string is too hard to tell from one outside).
bool RenumberedAndShuffled(const std::string& text, std::string& out) {
  const size_t data = text.find("\nDATA;");
  const size_t end = text.find("\nENDSEC;", data == std::string::npos ? 0 : data + 1);
  if (data == std::string::npos || end == std::string::npos) return false;
  std::vector<std::string> records;
  std::string body = text.substr(data + 7, end - data - 7), current;
  bool quoted = false;
  for (char c : body) {
    if (c == '\'') quoted = !quoted;
    if (!quoted && (c == '\n' || c == '\r') && current.empty()) continue;
    current += c;
    if (!quoted && c == ';') {
      records.push_back(current);
      current.clear();
    }
  }
  auto rename = [](const std::string& record) {
    std::string renamed;
    bool inString = false;
    for (size_t i = 0; i < record.size(); ++i) {
      const char c = record[i];
      if (c == '\'') inString = !inString;
      if (inString || c != '#' || i + 1 >= record.size() || !std::isdigit(static_cast<unsigned char>(record[i + 1]))) {
        renamed += c;
        continue;
      }
      size_t j = i + 1;
      while (j < record.size() && std::isdigit(static_cast<unsigned char>(record[j]))) ++j;
      renamed += "#" + std::to_string(900000000 - std::stol(record.substr(i + 1, j - i - 1)));
      i = j - 1;
    }
    return renamed;
  };
  for (std::string& record : records) record = rename(record);
  // Every third record to the end, the rest reversed: a fixed shuffle.
  std::vector<std::string> shuffled;
  for (size_t i = records.size(); i-- > 0;)
    if (i % 3 != 0) shuffled.push_back(records[i]);
  for (size_t i = 0; i < records.size(); i += 3) shuffled.push_back(records[i]);
  out = text.substr(0, data + 7) + "\n";
  for (const std::string& record : shuffled) out += record + "\n";
  out += text.substr(end + 1);
  return true;
}

// A file and its copy with every record renumbered and the records shuffled are the same, either
// way round: what the walk from the project reaches pairs by structure, the rest (kept records
// among it) by content and what it refers to.
TEST(CliDiff, ARenumberedShuffledCopyIsTheSameEitherWay) {
  TempDir dir;
  size_t compared = 0;
  for (const auto& path : RealAndSampleFiles()) {
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string copy;
    if (text.find("#") == std::string::npos || !RenumberedAndShuffled(text, copy)) continue;
    const std::string shuffled = dir.File("shuffled.stp");
    std::ofstream(shuffled, std::ios::binary) << copy;
    const CliResult there = RunCli({"diff", path.string(), shuffled});
    if (there.status == 2) continue;  // one of them does not open
    EXPECT_EQ(there.out, "no differences\n") << path;
    EXPECT_EQ(RunCli({"diff", shuffled, path.string()}).out, "no differences\n") << path;
    ++compared;
  }
  EXPECT_GE(compared, 4u);
}

// The record's parameters as a save writes them (no nested lists or strings with commas in the
// records this is used on: technologies and points).
std::vector<std::string> Parameters(const std::string& record) {
  std::vector<std::string> out;
  const size_t open = record.find('(');
  std::string current;
  int depth = 0;
  for (size_t i = open + 1; i < record.size(); ++i) {
    const char c = record[i];
    if (depth == 0 && (c == ',' || c == ')')) {
      out.push_back(current);
      current.clear();
      if (c == ')') break;
      continue;
    }
    if (c == '(') ++depth;
    if (c == ')') --depth;
    current += c;
  }
  return out;
}

// The first instance of the type, and its record; empty when the file has none.
std::string First(const std::string& file, const std::string& type, std::string& record) {
  const CliResult found = RunCli({"find", file, "--type", type});
  const size_t equals = found.out.find('=');
  if (found.status != 0 || found.out.empty() || equals == std::string::npos) return "";
  const std::string number = found.out.substr(1, equals - 1);
  const CliResult shown = RunCli({"show", file, number});
  record = shown.out.substr(shown.out.find('\n') + 1);
  if (!record.empty() && record.back() == '\n') record.pop_back();
  return number;
}

TEST(CliDiff, AFileAndItsEditOutputDifferInExactlyTheEditedValues) {
  TempDir dir;
  size_t edited = 0;
  for (const auto& path : RealAndSampleFiles()) {
    const std::string file = path.string();
    struct Expected {
      std::string number, attribute, oldText, newText;
    };
    std::vector<Expected> expected;
    std::vector<std::string> edits;
    std::string record;
    const std::string point = First(file, "cartesian_point", record);
    if (!point.empty()) {
      const std::vector<std::string> p = Parameters(record);
      const std::vector<std::string> coordinates = Parameters(p.size() > 1 ? p[1] : "()");
      if (!coordinates.empty()) {
        edits.insert(edits.end(), {"--set", "#" + point + ".coordinates[1]=4321.125"});
        expected.push_back({point, "coordinates[1]", coordinates[0], "4321.1250000000"});
      }
    }
    const std::string technology = First(file, "milling_technology", record);
    if (!technology.empty()) {
      // feedrate, feedrate_reference, cutspeed, spindle, ...
      const std::vector<std::string> p = Parameters(record);
      edits.insert(edits.end(), {"--set", "#" + technology + ".spindle=2345.5", "--set",
                                 "#" + technology + ".feedrate=0.625"});
      if (p.size() > 3 && p[0] != "0.6250000000") expected.push_back({technology, "feedrate", p[0], "0.6250000000"});
      if (p.size() > 2 && p[2] != "$") {
        edits.insert(edits.end(), {"--unset", "#" + technology + ".cutspeed"});
        expected.push_back({technology, "cutspeed", p[2], "$"});
      }
      if (p.size() > 3 && p[3] != "2345.5000000000")
        expected.push_back({technology, "spindle", p[3], "2345.5000000000"});
    }
    if (edits.empty()) continue;
    const std::string out = dir.File("edited.stp");
    std::vector<std::string> args{"edit", file, out};
    args.insert(args.end(), edits.begin(), edits.end());
    if (RunCli(args).status != 0) continue;  // an edit the file's types refuse
    ++edited;
    const CliResult result = RunCli({"diff", file, out, "--format", "json"});
    bool ok = false;
    const Json json = Json::Parse(result.out, ok);
    ASSERT_TRUE(ok) << file << "\n" << result.out;
    EXPECT_EQ(result.status, expected.empty() ? 0 : 1) << file;
    const std::vector<Json>& found = json["differences"].items;
    ASSERT_EQ(found.size(), expected.size()) << file << "\n" << result.out;
    // In the order of the walk: within one instance by attribute, so compare as sets.
    for (const Expected& e : expected) {
      bool seen = false;
      for (const Json& d : found)
        if (d["kind"].text == "changed" && d["attribute"].text == e.attribute &&
            std::to_string(static_cast<long>(d["instance_a"].number)) == e.number &&
            std::to_string(static_cast<long>(d["instance_b"].number)) == e.number)
          seen = d["old"].text == e.oldText && d["new"].text == e.newText;
      EXPECT_TRUE(seen) << file << ": " << e.attribute << " of #" << e.number << "\n" << result.out;
    }
  }
  EXPECT_GE(edited, 4u);
}

}  // namespace

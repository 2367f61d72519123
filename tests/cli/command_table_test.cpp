// The command table: how it reads command lines (the way every subcommand always read its
// words), the texts it writes (usage rows, the manual's synopsis, the bash completion), the
// agreement of each entry's options with its texts, and the runner behind check -j.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "command_table.h"
#include "ordered_runner.h"
#include "support/cli_run.h"

namespace {

using Words = std::vector<std::string>;
using Options = std::vector<std::pair<std::string, std::string>>;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Shown(const Words& words) {
  std::string text;
  for (const std::string& w : words) text += "[" + w + "]";
  return text;
}

}  // namespace

TEST(CliTable, ReadsWordsAsTheCommandsAlwaysDid) {
  const struct {
    Words words;
    int status;
    const char* command;    // the entry found, for status 0
    Words positional;
    Options options;
    const char* message;    // part of the verdict's message; "" for none
  } rows[] = {
      {{}, 2, nullptr, {}, {}, ""},
      {{"frobnicate"}, 2, nullptr, {}, {}, ""},
      {{""}, 2, nullptr, {}, {}, ""},
      {{"check"}, 2, nullptr, {}, {}, ""},
      // --help right after a subcommand's name asks for its help, whatever follows; anywhere
      // else it is read as any word would be.
      {{"check", "--help", "-x"}, 0, "help", {"check"}, {}, ""},
      {{"edit", "-h"}, 0, "help", {"edit"}, {}, ""},
      {{"check", "a", "--help"}, 0, "check", {"a", "--help"}, {}, ""},
      {{"find", "f", "--help"}, 2, nullptr, {}, {}, ""},
      {{"check", "a", "-j", "2"}, 0, "check", {"a", "-j", "2"}, {}, ""},
      {{"check", "-j", "2", "a", "b"}, 0, "check", {"a", "b"}, {{"-j", "2"}}, ""},
      {{"check", "-j", "1", "-j", "3", "a"}, 0, "check", {"a"}, {{"-j", "1"}, {"-j", "3"}}, ""},
      {{"check", "-j", "0", "a"}, 2, nullptr, {}, {}, "\"0\" is no number of threads"},
      {{"check", "-j", "x", "a"}, 2, nullptr, {}, {}, "\"x\" is no number of threads"},
      {{"check", "-j", "-1", "a"}, 2, nullptr, {}, {}, "\"-1\" is no number of threads"},
      {{"check", "-j"}, 2, nullptr, {}, {}, ""},
      {{"check", "-j", "2"}, 2, nullptr, {}, {}, ""},
      {{"convert", "in"}, 2, nullptr, {}, {}, ""},
      {{"convert", "a", "b", "c"}, 2, nullptr, {}, {}, ""},
      {{"convert", "--set", "-j"}, 0, "convert", {"--set", "-j"}, {}, ""},
      {{"tree"}, 2, nullptr, {}, {}, ""},
      {{"tree", "a", "b"}, 2, nullptr, {}, {}, ""},
      {{"refs", "f"}, 2, nullptr, {}, {}, ""},
      {{"show", "f", "1", "2"}, 2, nullptr, {}, {}, ""},
      {{"find"}, 2, nullptr, {}, {}, ""},
      {{"find", "--type"}, 0, "find", {"--type"}, {}, ""},
      {{"find", "f", "--type"}, 2, nullptr, {}, {}, ""},
      {{"find", "f", "--bogus"}, 2, nullptr, {}, {}, ""},
      {{"find", "f", "--unreached", "--type", "a", "--text", "t", "--type", "b"}, 0, "find", {"f"},
       {{"--unreached", ""}, {"--type", "a"}, {"--text", "t"}, {"--type", "b"}}, ""},
      {{"edit", "in"}, 2, nullptr, {}, {}, ""},
      {{"edit", "in", "out"}, 0, "edit", {"in", "out"}, {}, ""},
      {{"edit", "--set", "x"}, 0, "edit", {"--set", "x"}, {}, ""},
      {{"edit", "in", "out", "--set"}, 2, nullptr, {}, {}, ""},
      {{"edit", "in", "out", "--bogus", "#1.a=1"}, 2, nullptr, {}, {}, ""},
      {{"edit", "in", "out", "--unset", "#1.b", "--set", "--unset"}, 0, "edit", {"in", "out"},
       {{"--unset", "#1.b"}, {"--set", "--unset"}}, ""},
      // render: a bad value before an unknown option is refused (1), an unknown option before
      // it is a usage error (2).
      {{"render", "f", "o.svg", "--view", "bad", "--bogus", "x"}, 1, nullptr, {}, {}, "\"bad\" is no view"},
      {{"render", "f", "o.svg", "--bogus", "x", "--view", "bad"}, 2, nullptr, {}, {}, ""},
      {{"render", "f", "o.svg", "--view", "bad", "--size"}, 2, nullptr, {}, {}, ""},
      // With flags among its options the words no longer pair up: --size is read as a view.
      {{"render", "f", "o.svg", "--view", "--size", "10x10"}, 1, nullptr, {}, {}, "\"--size\" is no view"},
      {{"render", "f", "o.svg", "--view", "top", "--size", "8x8"}, 1, nullptr, {}, {}, "\"8x8\" is no size"},
      {{"render", "f", "o.svg", "--size", "20x30", "--view", "side"}, 0, "render", {"f", "o.svg"},
       {{"--size", "20x30"}, {"--view", "side"}}, ""},
      {{"help"}, 0, "help", {}, {}, ""},
      {{"help", "find"}, 0, "help", {"find"}, {}, ""},
      {{"help", "-h"}, 0, "help", {"-h"}, {}, ""},
      {{"help", "--help"}, 0, "help", {"--help"}, {}, ""},
      {{"help", "nope"}, 2, nullptr, {}, {}, "\"nope\" is no subcommand: check, convert,"},
      {{"help", "find", "show"}, 2, nullptr, {}, {}, ""},
      {{"--help", "extra"}, 0, "--help", {}, {}, ""},
      {{"-h"}, 0, "--help", {}, {}, ""},
      {{"--version", "x", "y"}, 0, "--version", {}, {}, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Shown(row.words));
    const cli::Reading reading = cli::Read(cli::Commands(), row.words);
    EXPECT_EQ(reading.verdict.status, row.status);
    EXPECT_NE(reading.verdict.message.find(row.message), std::string::npos) << reading.verdict.message;
    if (!*row.message) {
      EXPECT_EQ(reading.verdict.message, "");
    }
    if (row.status != 0) continue;
    ASSERT_NE(reading.command, nullptr);
    EXPECT_STREQ(reading.command->name, row.command);
    EXPECT_EQ(reading.arguments.positional, row.positional);
    EXPECT_EQ(reading.arguments.options, row.options);
  }
}

// What the reader and the texts rely on: names and options unique, every option and positional
// named in its entry's synopsis (an option with its value), labels that start with the
// name, help texts that end their last line.
TEST(CliTable, EveryEntryAgreesWithItsTexts) {
  const std::vector<cli::Command>& commands = cli::Commands();
  for (const cli::Command& command : commands) {
    SCOPED_TRACE(command.name);
    EXPECT_EQ(cli::FindCommand(commands, command.name), &command);
    for (const char* alias : command.aliases) EXPECT_EQ(cli::FindCommand(commands, alias), &command);
    EXPECT_EQ(std::string(command.label).rfind(command.name, 0), 0u);
    const std::string help = command.help;
    ASSERT_FALSE(help.empty());
    EXPECT_EQ(help.back(), '\n');
    std::string synopsis;
    for (const char* form : command.synopsis) synopsis += std::string(form) + " ";
    EXPECT_LE(command.required, command.positionals.size());
    if (command.repeatLast) {
      EXPECT_FALSE(command.positionals.empty());
    }
    for (const cli::Positional& positional : command.positionals)
      EXPECT_NE(synopsis.find(positional.name), std::string::npos) << positional.name;
    for (size_t i = 0; i < command.options.size(); ++i) {
      const cli::Option& option = command.options[i];
      EXPECT_NE(synopsis.find(option.name), std::string::npos) << option.name;
      if (option.value) {
        EXPECT_NE(synopsis.find(std::string(option.name) + " " + option.value), std::string::npos);
      }
      for (size_t j = 0; j < i; ++j) EXPECT_STRNE(command.options[j].name, option.name);
      for (const char* choice : option.choices)
        EXPECT_EQ(option.check ? option.check(choice).status : 0, 0) << choice;
    }
  }
}

TEST(CliTable, UsageRowsAndSynopsisLines) {
  const std::vector<cli::Command> table = {
      {"copy", {}, {"IN OUT", "-n IN OUT"}, "copy IN OUT", "copies\nthe file\n",
       {{"IN", cli::Completion::File}, {"OUT", cli::Completion::File}}, 2, false, false, {}, nullptr},
      {"long", {}, {"[--with-a-long-name X]"}, "long --with-a-long-name", "one\n", {}, 0, false, false, {}, nullptr},
      {"wide", {}, {"W"}, "wide SIXTEEN-CHR", "two\n", {}, 0, false, false, {}, nullptr},
      {"edge", {}, {"E"}, "edge SEVENTEEN-CH", "three\n", {}, 0, false, false, {}, nullptr},
      {"--help", {"-h"}, {}, "--help", "this\n", {}, 0, false, true, {}, nullptr},
      {"--version", {}, {}, "--version", "that\n", {}, 0, false, true, {}, nullptr},
  };
  EXPECT_EQ(cli::UsageText(table),
            "Usage: varnholt-cli copy IN OUT\n"
            "       varnholt-cli copy -n IN OUT\n"
            "       varnholt-cli long [--with-a-long-name X]\n"
            "       varnholt-cli wide W\n"
            "       varnholt-cli edge E\n"
            "       varnholt-cli --help | --version\n" +
                std::string(cli::kDescription) +
                "  copy IN OUT      copies\n"
                "                   the file\n"
                "  long --with-a-long-name\n"
                "                   one\n"
                "  wide SIXTEEN-CHR two\n"
                "  edge SEVENTEEN-CH\n"
                "                   three\n"
                "  --help           this\n"
                "  --version        that\n" +
                cli::kEpilogue);
  EXPECT_EQ(cli::CommandHelp(table[0]),
            "Usage: varnholt-cli copy IN OUT\n"
            "       varnholt-cli copy -n IN OUT\n"
            "\n"
            "  copy IN OUT      copies\n"
            "                   the file\n");
  EXPECT_EQ(cli::CommandHelp(table[4]), "Usage: varnholt-cli --help\n\n  --help           this\n");
}

// Read back as text, the manual's synopsis says what the usage's synopsis lines say; options
// and choices are bold, the words the user fills in italic.
TEST(CliTable, ManualSynopsisSaysWhatTheUsageSays) {
  const std::string roff = cli::ManSynopsis(cli::Commands());
  std::string text;
  for (const std::string& line : Lines(roff)) {
    if (line == ".br") { text += "\n"; continue; }
    std::string plain = line;
    if (plain.rfind(".BR ", 0) == 0) {
      plain = std::regex_replace(plain.substr(4), std::regex(" \" \\| \" "), " | ");
    } else if (plain.rfind(".B ", 0) == 0) {
      plain = plain.substr(3);
    } else {
      ASSERT_EQ(plain.rfind("\\&", 0), 0u) << line;
    }
    plain = std::regex_replace(plain, std::regex(R"(\\f[BIR]|\\&)"), "");
    plain = std::regex_replace(plain, std::regex(R"(\\-)"), "-");
    text += (text.empty() || text.back() == '\n' ? "" : " ") + plain;
  }
  std::string usage;
  for (const std::string& line : Lines(cli::UsageText(cli::Commands()))) {
    if (line.empty()) break;
    const std::string rest = line.substr(7);  // "Usage: " or as many blanks
    if (rest.rfind("varnholt-cli", 0) == 0) usage += (usage.empty() ? "" : "\n") + rest;
    else usage += " " + rest.substr(rest.find_first_not_of(' '));
  }
  EXPECT_EQ(text, usage);
  for (const char* bold : {"\\fB\\-\\-type", "\\fB\\-j", "\\fBtop\\fR|\\fBfront", "|\\fBiso\\fR]", "\\fB\\-\\-unreached"})
    EXPECT_NE(roff.find(bold), std::string::npos) << bold;
  for (const char* italic : {"\\fIENTITY", "\\fIFILE\\fR...", "\\fIW", "\\fISUBCOMMAND"})
    EXPECT_NE(roff.find(italic), std::string::npos) << italic;
}

// The completion script as bash runs it: what it offers after the words typed so far.
TEST(CliTable, BashCompletionOffersTheTable) {
  TempDir dir;
  { std::ofstream(dir.File("completion")) << cli::BashCompletion(cli::Commands()); }
  const struct {
    Words words;  // the last one is the word being completed
    const char* offered;
  } rows[] = {
      {{"re"}, "refs render"},
      {{"--v"}, "--version"},
      {{"find", "f.stp", "--t"}, "--type --text"},
      {{"render", "f.stp", "o.png", "--view", ""}, "top front side iso"},
      {{"render", "f.stp", "o.png", "--view", "f"}, "front"},
      {{"render", "f.stp", "o.png", "-"}, "--view --size --generated --no-generated --stock --until"},
      {{"check", "-"}, "-j --rules --simulate --format --fail-on"},
      {{"check", "--format", ""}, "text json sarif"},
      {{"check", "--fail-on", "w"}, "warning"},
      {{"check", "-j", ""}, ""},
      {{"help", "sh"}, "show"},
      {{"edit", "in", "out", "--"}, "--set --unset"},
      {{"tree", "-"}, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Shown(row.words));
    std::string words = "varnholt-cli";
    for (const std::string& w : row.words) words += " " + Quote(w);
    const std::string script = "source " + Quote(dir.File("completion")) + "; COMP_WORDS=(" + words +
                               "); COMP_CWORD=" + std::to_string(row.words.size()) +
                               "; _varnholt_cli; echo \"${COMPREPLY[*]}\" >" + Quote(dir.File("reply"));
    { std::ofstream(dir.File("run")) << script; }
    ASSERT_EQ(std::system(("bash " + Quote(dir.File("run")) + " 2>/dev/null").c_str()), 0);
    EXPECT_EQ(ReadAll(dir.File("reply")), std::string(row.offered) + "\n");
  }
}

// check -j hands its files to this: results in the order of the items whatever order the work
// ends in, never more threads at once than asked for, a failure thrown where its turn comes.
TEST(CliCheckRunner, EmitsInOrderOnAtMostNThreads) {
  const struct {
    size_t count;
    unsigned threads;
    size_t expectedBusy;  // most items worked on at once
  } rows[] = {{0, 3, 0}, {1, 4, 1}, {5, 1, 1}, {6, 2, 2}, {7, 3, 3}, {3, 8, 3}, {4, 0, 1}};
  for (const auto& row : rows) {
    SCOPED_TRACE("count " + std::to_string(row.count) + ", threads " + std::to_string(row.threads));
    std::atomic<int> busy{0}, most{0};
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<bool> onCaller{false};
    std::vector<size_t> emitted;
    cli::RunInOrder<std::string>(
        row.count, row.threads,
        [&](size_t i) {
          const int now = ++busy;
          for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {}
          if (std::this_thread::get_id() == caller) onCaller = true;
          // Earlier items take longer, so that they end after later ones.
          std::this_thread::sleep_for(std::chrono::milliseconds(5 * (row.count - i) + 10));
          --busy;
          return "item " + std::to_string(i);
        },
        [&](size_t i, std::string& result) {
          EXPECT_EQ(std::this_thread::get_id(), caller);
          EXPECT_EQ(result, "item " + std::to_string(i));
          emitted.push_back(i);
        });
    std::vector<size_t> all;
    for (size_t i = 0; i < row.count; ++i) all.push_back(i);
    EXPECT_EQ(emitted, all);
    EXPECT_EQ(static_cast<size_t>(most), row.expectedBusy);
    EXPECT_EQ(onCaller, row.threads == 0 && row.count > 0);
  }
}

TEST(CliCheckRunner, AFailureIsThrownInItsTurn) {
  for (unsigned threads : {0u, 1u, 3u}) {
    SCOPED_TRACE(threads);
    std::vector<size_t> emitted;
    EXPECT_THROW(cli::RunInOrder<int>(
                     8, threads,
                     [](size_t i) {
                       if (i == 3) throw std::runtime_error("item 3");
                       return static_cast<int>(i);
                     },
                     [&](size_t i, int&) { emitted.push_back(i); }),
                 std::runtime_error);
    EXPECT_EQ(emitted, (std::vector<size_t>{0, 1, 2}));
  }
}

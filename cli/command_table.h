// The command line of varnholt-cli as data: one entry per subcommand (name, synopsis, help text,
// options, function). The usage text, --help, `help SUBCOMMAND`, the manual page's synopsis and
// the bash completion are all written from the table, and the words of a command line are
// read against it, so that no subcommand reads its own arguments.
#ifndef VARNHOLT_CLI_COMMAND_TABLE_H
#define VARNHOLT_CLI_COMMAND_TABLE_H

#include <cstddef>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace cli {

/// What a check of an option's value says: nothing (accepted), a refusal (status 1, the message
/// on standard error) or a usage error (status 2, the usage and then the message).
struct Verdict {
  int status = 0;
  std::string message;
  static Verdict Accept() { return {}; }
  static Verdict Refuse(std::string why) { return {1, std::move(why)}; }
  static Verdict Misuse(std::string why) { return {2, std::move(why)}; }
};

/// How the completion offers a word: a file name, one of the subcommands, or nothing.
enum class Completion { File, Command, None };

struct Option {
  const char* name;                   // "--type", "-j"
  const char* value;                  // its value's name in the synopsis ("ENTITY"); null for a flag
  std::vector<const char*> choices;   // the values the completion offers, if there is a fixed set
  Verdict (*check)(const std::string& value);  // null: any value is taken
  Completion completion = Completion::None;    // for a value outside `choices`
};

struct Positional {
  const char* name;  // "FILE", "N"
  Completion completion;
  Verdict (*check)(const std::string& value) = nullptr;  // null: any word is taken
};

/// The words of one command line, read against its command's entry: the positional words, and
/// every option with its value in the order given (an option given twice is there twice).
struct Arguments {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> options;
  /// The value of the last `name` given, or `fallback`.
  std::string Last(const std::string& name, const std::string& fallback = std::string()) const;
  bool Has(const std::string& name) const;
};

struct Command {
  const char* name;                    // "check"; program options are entries too ("--help")
  std::vector<const char*> aliases;    // other names it answers to, shown nowhere ("-h")
  // The forms of its synopsis line, each after "varnholt-cli NAME "; a form's own line breaks
  // continue it on the next line as written.
  std::vector<const char*> synopsis;
  const char* label;                   // the help row's left column ("check FILE...")
  const char* help;                    // the help row's right column, line by line
  std::vector<Positional> positionals;
  std::size_t required;                // how many of the positionals must be there
  bool repeatLast;                     // the last positional takes every word left (at least one)
  bool ignoreRest;                     // words after the name are not read at all
  std::vector<Option> options;
  int (*run)(const Arguments& arguments);
};

/// The program's table, in the order the usage text lists it.
const std::vector<Command>& Commands();
/// The texts around the table's rows in the usage text.
extern const char* const kProgram;
extern const char* const kDescription;
extern const char* const kEpilogue;

/// The whole usage text: synopsis lines, description, a row per entry, the epilogue.
std::string UsageText(const std::vector<Command>& commands);
/// What `help NAME` prints: the entry's synopsis lines and its row.
std::string CommandHelp(const Command& command);
/// The entry named `name` (or one of its aliases); null when there is none.
const Command* FindCommand(const std::vector<Command>& commands, const std::string& name);

/// The outcome of reading a command line: ok, or the status and message of a usage error or a
/// refused option value (the message may be empty: then only the usage is shown).
struct Reading {
  const Command* command = nullptr;
  Arguments arguments;
  Verdict verdict;
};
/// Reads the words after the program's name against the table.
Reading Read(const std::vector<Command>& commands, const std::vector<std::string>& words);

/// For a subcommand that finds its options do not go together: keeps the message for Run, which
/// shows it after the usage, as it shows the table's own usage errors; answers status 2.
int Misuse(const std::string& message);

/// Reads the command line and runs its entry; what a usage error or a refusal prints goes to
/// `err` (the usage text of `commands`).
int Run(const std::vector<Command>& commands, const std::vector<std::string>& words, std::ostream& err);

/// The SYNOPSIS section of the manual page (without its .SH line), in roff.
std::string ManSynopsis(const std::vector<Command>& commands);
/// A bash completion script for the program.
std::string BashCompletion(const std::vector<Command>& commands);

}  // namespace cli

#endif

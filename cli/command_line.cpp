// Reading a command line against the table, and the texts written from it.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <sstream>

#include "command_table.h"

namespace cli {

std::string Arguments::Last(const std::string& name, const std::string& fallback) const {
  for (auto it = options.rbegin(); it != options.rend(); ++it)
    if (it->first == name) return it->second;
  return fallback;
}

bool Arguments::Has(const std::string& name) const {
  for (const auto& option : options)
    if (option.first == name) return true;
  return false;
}

const Command* FindCommand(const std::vector<Command>& commands, const std::string& name) {
  for (const Command& command : commands) {
    if (name == command.name) return &command;
    for (const char* alias : command.aliases)
      if (name == alias) return &command;
  }
  return nullptr;
}

namespace {

const Option* FindOption(const Command& command, const std::string& name) {
  for (const Option& option : command.options)
    if (name == option.name) return &option;
  return nullptr;
}

bool EveryOptionTakesAValue(const Command& command) {
  for (const Option& option : command.options)
    if (!option.value) return false;
  return true;
}

// One option given on the line, with where its value stands.
struct Given {
  const Option* option;
  std::string value;
};

Reading Misuse(Reading reading, std::string message = std::string()) {
  reading.verdict = Verdict::Misuse(std::move(message));
  return reading;
}

}  // namespace

// The words are read in the order the synopsis gives them, which is the order every subcommand
// has always read them in: the fixed positional words first (so "find --type" looks for a file
// named "--type"), then the options. A command whose last positional repeats (check FILE...)
// takes its options before it, and the first word that is no option starts the positionals, so
// that every other word, whatever it looks like, is a file name. Where every option of a command
// takes a value, the words after the positionals go in pairs whatever their names, and an odd
// count is a usage error before any value is looked at. The values are checked in the order
// given; an unknown option name ends the reading, as a usage error, only once the values before
// it were checked: what a refused value says comes first.
//
// "SUBCOMMAND --help" (or -h) right after the name is read as "help SUBCOMMAND", whatever
// follows: asking a subcommand for its usage is what anyone tries first. Only there, so that
// every other word is read as before. (help itself reads its word as the entry to show, and
// --help is one.)
Reading Read(const std::vector<Command>& commands, const std::vector<std::string>& words) {
  Reading reading;
  if (words.empty()) return Misuse(reading);
  const Command* command = FindCommand(commands, words[0]);
  if (!command) return Misuse(reading);
  reading.command = command;
  if (command->ignoreRest) return reading;
  const Command* help = FindCommand(commands, "help");
  if (words.size() > 1 && help && command != help) {
    const Command* asked = FindCommand(commands, words[1]);
    if (asked && std::strcmp(asked->name, "--help") == 0) {
      reading.command = help;
      reading.arguments.positional = {command->name};
      return reading;
    }
  }

  const size_t end = words.size();
  size_t at = 1;
  const size_t fixed = command->positionals.size() - (command->repeatLast ? 1 : 0);
  while (at < end && reading.arguments.positional.size() < fixed)
    reading.arguments.positional.push_back(words[at++]);
  if (reading.arguments.positional.size() < std::min(fixed, command->required)) return Misuse(reading);

  const bool leading = command->repeatLast;
  const bool paired = EveryOptionTakesAValue(*command) && !command->options.empty();
  if (!leading && paired && (end - at) % 2 != 0) return Misuse(reading);
  std::vector<Given> given;
  bool unknown = false;
  while (at < end) {
    const Option* option = FindOption(*command, words[at]);
    if (!option) {
      unknown = !leading;
      break;
    }
    ++at;
    std::string value;
    if (option->value) {
      if (at == end) return Misuse(reading);
      value = words[at++];
    }
    given.push_back({option, value});
  }
  for (const Given& g : given) {
    if (g.option->check) {
      Verdict verdict = g.option->check(g.value);
      if (verdict.status != 0) {
        reading.verdict = std::move(verdict);
        return reading;
      }
    }
    reading.arguments.options.emplace_back(g.option->name, g.value);
  }
  if (unknown) return Misuse(reading);
  if (leading) {
    if (at == end) return Misuse(reading);
    while (at < end) reading.arguments.positional.push_back(words[at++]);
  }
  for (size_t i = 0; i < reading.arguments.positional.size(); ++i) {
    const Positional& p = command->positionals[std::min(i, command->positionals.size() - 1)];
    if (!p.check) continue;
    Verdict verdict = p.check(reading.arguments.positional[i]);
    if (verdict.status != 0) {
      reading.verdict = std::move(verdict);
      return reading;
    }
  }
  return reading;
}

namespace {
// What a subcommand said of its own usage error; Run shows it after the usage.
std::string& PendingMisuse() {
  static std::string message;
  return message;
}
}  // namespace

int Misuse(const std::string& message) {
  PendingMisuse() = message;
  return 2;
}

int Run(const std::vector<Command>& commands, const std::vector<std::string>& words, std::ostream& err) {
  const Reading reading = Read(commands, words);
  int status = reading.verdict.status;
  if (status == 1) {
    err << kProgram << ": " << reading.verdict.message << "\n";
    return 1;
  }
  if (status == 0) status = reading.command->run(reading.arguments);
  if (status == 2) {
    err << UsageText(commands);
    const std::string& message =
        reading.verdict.message.empty() ? PendingMisuse() : reading.verdict.message;
    if (!message.empty()) err << "\n" << kProgram << ": " << message << "\n";
  }
  PendingMisuse().clear();
  return status;
}

namespace {

// The help rows' text starts in this column; a longer label gets a line of its own.
constexpr size_t kHelpColumn = 19;

std::string Row(const Command& command) {
  std::string row = std::string("  ") + command.label;
  if (row.size() + 1 > kHelpColumn) row += "\n" + std::string(kHelpColumn, ' ');
  else row.append(kHelpColumn - row.size(), ' ');
  for (const char* c = command.help; *c; ++c) {
    row += *c;
    if (*c == '\n' && c[1]) row.append(kHelpColumn, ' ');
  }
  if (row.back() != '\n') row += '\n';
  return row;
}

// "varnholt-cli NAME FORM" for every form of every entry with a synopsis; the program options
// (entries without one) share the last line.
std::vector<std::string> SynopsisLines(const std::vector<Command>& commands) {
  std::vector<std::string> lines;
  std::string options;
  for (const Command& command : commands) {
    if (command.synopsis.empty()) {
      options += (options.empty() ? "" : " | ") + std::string(command.name);
      continue;
    }
    for (const char* form : command.synopsis)
      lines.push_back(std::string(kProgram) + " " + command.name + (*form ? " " : "") + form);
  }
  if (!options.empty()) lines.push_back(std::string(kProgram) + " " + options);
  return lines;
}

std::string UsageLines(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i == 0 ? "Usage: " : "       ") + lines[i] + "\n";
  return text;
}

}  // namespace

std::string UsageText(const std::vector<Command>& commands) {
  std::string text = UsageLines(SynopsisLines(commands)) + kDescription;
  for (const Command& command : commands) text += Row(command);
  return text + kEpilogue;
}

std::string CommandHelp(const Command& command) {
  Command alone = command;
  alone.aliases.clear();
  return UsageLines(SynopsisLines({alone})) + "\n" + Row(command);
}

namespace {

bool IsWordCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// A synopsis form in roff: options and the values of a choice ("top|front") in bold, the other
// words (what the user fills in) in italics, the punctuation upright. The form's own line
// breaks are only layout.
std::string RoffForm(const std::string& form) {
  std::string plain;
  for (char c : form) {
    const bool blank = c == ' ' || c == '\n';
    if (blank && (plain.empty() || plain.back() == ' ')) continue;
    plain += blank ? ' ' : c;
  }
  while (!plain.empty() && plain.back() == ' ') plain.pop_back();
  std::string out = "\\&";
  char font = 'R';
  auto use = [&](char wanted) {
    if (font != wanted) out += std::string("\\f") + wanted;
    font = wanted;
  };
  for (size_t i = 0; i < plain.size();) {
    const char c = plain[i];
    const bool startsOption = c == '-' && (i == 0 || std::strchr(" [|(", plain[i - 1])) && i + 1 < plain.size() &&
                              (plain[i + 1] == '-' || std::isalpha(static_cast<unsigned char>(plain[i + 1])));
    if (startsOption) {
      use('B');
      for (; i < plain.size() && (plain[i] == '-' || IsWordCharacter(plain[i])); ++i)
        out += plain[i] == '-' ? std::string("\\-") : std::string(1, plain[i]);
    } else if (IsWordCharacter(c)) {
      size_t j = i;
      while (j < plain.size() && IsWordCharacter(plain[j])) ++j;
      const bool choice = (i > 0 && plain[i - 1] == '|') || (j < plain.size() && plain[j] == '|');
      use(choice ? 'B' : 'I');
      out += plain.substr(i, j - i);
      i = j;
    } else {
      use('R');
      out += c == '-' ? std::string("\\-") : c == '\\' ? std::string("\\e") : std::string(1, c);
      ++i;
    }
  }
  use('R');
  return out;
}

std::string RoffName(const std::string& name) {
  std::string out;
  for (char c : name) out += c == '-' ? std::string("\\-") : std::string(1, c);
  return out;
}

}  // namespace

std::string ManSynopsis(const std::vector<Command>& commands) {
  std::vector<std::string> entries;
  std::string options;
  for (const Command& command : commands) {
    if (command.synopsis.empty()) {
      options += (options.empty() ? "" : " \" | \" ") + RoffName(command.name);
      continue;
    }
    for (const char* form : command.synopsis) {
      std::string entry = std::string(".B ") + kProgram + " " + RoffName(command.name) + "\n";
      if (*form) entry += RoffForm(form) + "\n";
      entries.push_back(entry);
    }
  }
  if (!options.empty()) entries.push_back(std::string(".B ") + kProgram + "\n.BR " + options + "\n");
  std::string text;
  for (size_t i = 0; i < entries.size(); ++i) text += (i ? ".br\n" : "") + entries[i];
  return text;
}

namespace {

std::string Words(const std::vector<const char*>& words) {
  std::string text;
  for (const char* word : words) text += (text.empty() ? "" : " ") + std::string(word);
  return text;
}

}  // namespace

std::string BashCompletion(const std::vector<Command>& commands) {
  std::vector<const char*> names;
  for (const Command& command : commands) names.push_back(command.name);
  std::ostringstream out;
  out << "# bash completion for " << kProgram << ", written from its command table\n"
      << "_varnholt_cli() {\n"
      << "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
      << "  local commands=\"" << Words(names) << "\"\n"
      << "  if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
      << "    COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\"))\n"
      << "    return\n"
      << "  fi\n"
      << "  local options=\n"
      << "  case ${COMP_WORDS[1]} in\n";
  for (const Command& command : commands) {
    if (command.ignoreRest) continue;
    std::vector<const char*> optionNames;
    for (const Option& option : command.options) optionNames.push_back(option.name);
    out << "    " << command.name << ")\n";
    bool valued = false;
    for (const Option& option : command.options) {
      if (!option.value) continue;
      if (!valued) out << "      case $prev in\n";
      valued = true;
      out << "        " << option.name << ") ";
      if (!option.choices.empty())
        out << "COMPREPLY=($(compgen -W \"" << Words(option.choices) << "\" -- \"$cur\")); return ;;\n";
      else if (option.completion == Completion::Command)
        out << "COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\")); return ;;\n";
      else if (option.completion == Completion::None)
        out << "compopt +o default 2>/dev/null; return ;;\n";
      else
        out << "return ;;\n";
    }
    if (valued) out << "      esac\n";
    out << "      options=\"" << Words(optionNames) << "\"\n";
    for (const Positional& positional : command.positionals)
      if (positional.completion == Completion::Command) {
        out << "      [[ $cur == -* ]] || { COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\")); return; }\n";
        break;
      }
    out << "      ;;\n";
  }
  out << "    *) return ;;\n"
      << "  esac\n"
      << "  if [[ $cur == -* && -n $options ]]; then\n"
      << "    COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
      << "  fi\n"
      << "}\n"
      << "complete -o default -F _varnholt_cli " << kProgram << "\n";
  return out.str();
}

}  // namespace cli

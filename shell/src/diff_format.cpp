// The two forms of a list of differences: JSON for programs, lines for people.
#include <string>
#include <vector>

#include "varnholt/diff.h"
#include "varnholt/json_quote.h"

namespace varnholt {

namespace {

std::string Instance(long number) { return number > 0 ? std::to_string(number) : "null"; }

std::string Named(const std::string& name) { return name.empty() ? std::string("-") : "#" + name; }

}  // namespace

std::string DifferencesJson(const std::vector<Difference>& differences) {
  std::string out = std::string("{\"same\": ") + (differences.empty() ? "true" : "false") + ", \"differences\": [";
  for (size_t i = 0; i < differences.size(); ++i) {
    const Difference& d = differences[i];
    out += i ? ",\n  " : "\n  ";
    out += std::string("{\"kind\": \"") + KindName(d.kind) + "\", \"path\": " + JsonQuoted(d.path);
    out += ", \"attribute\": " + (d.attribute.empty() ? std::string("null") : JsonQuoted(d.attribute));
    out += ", \"old\": " + (d.hasOld ? JsonQuoted(d.oldText) : std::string("null"));
    out += ", \"new\": " + (d.hasNew ? JsonQuoted(d.newText) : std::string("null"));
    out += ", \"instance_a\": " + Instance(d.instanceA) + ", \"instance_b\": " + Instance(d.instanceB) + "}";
  }
  out += differences.empty() ? "]}\n" : "\n]}\n";
  return out;
}

std::string DifferencesText(const std::vector<Difference>& differences) {
  std::string out;
  for (const Difference& d : differences) {
    switch (d.kind) {
      case DifferenceKind::Changed:
        out += "changed " + d.path + "\n  " + d.attribute + ": " + d.oldText + " -> " + d.newText + "  (" +
               Named(d.nameA) + " / " + Named(d.nameB) + ")\n";
        break;
      case DifferenceKind::Moved:
        out += "moved   " + d.path + "\n  " + d.attribute + ": from " + d.oldText + " to " + d.newText + "  (" +
               Named(d.nameA) + " / " + Named(d.nameB) + ")\n";
        break;
      case DifferenceKind::Removed:
        out += "removed " + d.path + "\n  " + d.oldText + "\n";
        break;
      case DifferenceKind::Added:
        out += "added   " + d.path + "\n  " + d.newText + "\n";
        break;
    }
  }
  if (differences.empty())
    out += "no differences\n";
  else
    out += std::to_string(differences.size()) + (differences.size() == 1 ? " difference\n" : " differences\n");
  return out;
}

}  // namespace varnholt

// diff: two files compared by their structure (shell/diff.h), as JSON or as lines.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <string>

#include "commands.h"
#include "varnholt/diff.h"
#include "varnholt/doc.h"

namespace cli {

namespace {

bool ReadTolerance(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text.c_str(), &end);
  return end && *end == '\0' && errno == 0 && std::isfinite(value) && value >= 0;
}

}  // namespace

Verdict DiffFormat(const std::string& value) {
  if (value == "text" || value == "json") return Verdict::Accept();
  return Verdict::Misuse("\"" + value + "\" is no format: text or json");
}

Verdict DiffTolerance(const std::string& value) {
  double v = 0;
  if (ReadTolerance(value, v)) return Verdict::Accept();
  return Verdict::Misuse("\"" + value + "\" is no tolerance: a number of at least 0");
}

int Diff(const Arguments& arguments) {
  varnholt::DiffOptions options;
  ReadTolerance(arguments.Last("--tolerance", "0"), options.tolerance);
  const bool json = arguments.Last("--format", "text") == "json";
  auto* a = new CDoc;
  auto* b = new CDoc;
  const bool openedA = a->OnOpenDocument(arguments.positional[0].c_str());
  const bool opened = openedA && b->OnOpenDocument(arguments.positional[1].c_str());
  std::string out;
  size_t count = 0;
  if (opened) {
    const std::vector<varnholt::Difference> differences = varnholt::Compare(*a->Scope(), *b->Scope(), options);
    count = differences.size();
    out = json ? varnholt::DifferencesJson(differences) : varnholt::DifferencesText(differences);
  } else {
    // Only the log of the file that did not open: it says why.
    std::cerr << (openedA ? b : a)->LogText();
  }
  // Both are the last of the process: freeing two large populations would take longer than
  // comparing them.
  CloseDocument(b, true);
  CloseDocument(a, true);
  std::cout << out;
  if (!opened) return 2;
  return count == 0 ? 0 : 1;
}

}  // namespace cli

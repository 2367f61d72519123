// check [-j N] [--rules [--simulate]] [--format text|json|sarif] [--fail-on error|warning] FILE...: every
// file opened and checked, its log printed in the order of the files; with --rules the rule
// check's findings follow each log.
#include <cstdio>
#include <iostream>
#include <string>

#include "cct/pool.h"
#include "commands.h"
#include "varnholt/diagnostics.h"
#include "ordered_runner.h"
#include "varnholt/doc.h"
#include "varnholt/rules.h"

namespace cli {

using varnholt::FileDiagnostics;

namespace {

// What checking one file gives: its log for standard output, what goes to standard error, and
// whether it failed.
struct FileCheck {
  std::string path;
  std::string log;        // the whole log, the rule check's lines included
  std::string coreLog;    // the log before the rule check
  std::string error;
  int status = 0;
  bool opened = false;
  bool ruled = false;
  varnholt::rules::Report rules;
};

// Opens and checks one file in a document of its own; nothing is printed, so that files
// checked at the same time cannot mix their output.
FileCheck CheckFile(const std::string& path, bool last, bool withRules, const varnholt::rules::CheckOptions& options) {
  FileCheck check;
  check.path = path;
  auto* doc = new CDoc;
  check.opened = doc->OnOpenDocument(path.c_str());
  if (!check.opened) check.status = 1;
  check.coreLog = doc->LogText();
  if (withRules && check.opened && doc->Scope()) {
    check.rules = varnholt::rules::Check(*doc->Scope(), varnholt::rules::Progress(), options);
    check.ruled = true;
    doc->Log() << varnholt::rules::LogText(check.rules);
  }
  check.log = doc->LogText();
  CloseDocument(doc, last);
  if (path.empty()) {
    check.error = "varnholt-cli: empty file name\n";
    check.status = 1;
  }
  return check;
}

}  // namespace

// Larger counts than anyone has threads for are kept as they are: the runner starts no more
// threads than there are files.
unsigned ParseThreadCount(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return 0;
  unsigned long count = 0;
  for (char c : text) {
    count = count * 10 + static_cast<unsigned long>(c - '0');
    if (count > 1000000) count = 1000000;
  }
  return static_cast<unsigned>(count);
}

// Without -j the files are checked on this thread, one after the other, as they always were;
// -j N (even 1) hands them to the runner's threads.
int Check(const Arguments& arguments) {
  const std::vector<std::string>& files = arguments.positional;
  const unsigned threads = arguments.Has("-j") ? ParseThreadCount(arguments.Last("-j")) : 0;
  const bool withRules = arguments.Has("--rules");
  varnholt::rules::CheckOptions options;
  options.simulate = arguments.Has("--simulate");
  if (options.simulate && !withRules) return Misuse("--simulate adds to the rule check: it needs --rules");
  const std::string format = arguments.Last("--format", "text");
  const std::string failOn = arguments.Last("--fail-on");
  // The core's storage serves one thread unless it is told before the second one starts.
  if (threads > 0) cct_PoolShareBetweenThreads();
  int status = 0;
  bool failed = false;
  std::vector<FileDiagnostics> all;
  std::vector<std::string> summaries;
  RunInOrder<FileCheck>(
      files.size(), threads,
      [&](std::size_t i) { return CheckFile(files[i], i + 1 == files.size(), withRules, options); },
      [&](std::size_t, FileCheck& check) {
        FileDiagnostics diagnostics = varnholt::Diagnose(check.path, check.opened, check.coreLog,
                                               check.ruled ? &check.rules : nullptr);
        if (varnholt::FailsOn(diagnostics, failOn)) failed = true;
        if (withRules) summaries.push_back(varnholt::SummaryLine(diagnostics));
        if (format == "text") {
          std::cout << check.log;
        } else {
          all.push_back(std::move(diagnostics));
        }
        // Standard output is flushed first, as std::cerr (tied to std::cout) always did, so
        // that both streams into one file keep their order.
        if (!check.error.empty()) {
          std::cout.flush();
          std::fwrite(check.error.data(), 1, check.error.size(), stderr);
        }
        if (check.status != 0) status = 1;
      });
  if (format == "json")
    std::cout << varnholt::JsonDocument(all);
  else if (format == "sarif")
    std::cout << varnholt::SarifDocument(all);
  else if (withRules && files.size() > 1)
    for (const std::string& line : summaries) std::cout << line << "\n";
  std::cout.flush();
  if (status == 0 && failed) status = 3;
  return status;
}

}  // namespace cli

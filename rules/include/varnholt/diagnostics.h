// A file's messages as data: the core's reports read back from the log text a document wrote
// (never written a second time), the rule check's findings beside them, and the forms others
// read — the JSON document and SARIF 2.1.0.
#ifndef VARNHOLT_DIAGNOSTICS_H
#define VARNHOLT_DIAGNOSTICS_H

#include <memory>
#include <string>
#include <vector>

#include "varnholt/rules.h"

namespace varnholt {

struct Message {
  bool error = false;
  int category = 0;        // the core's message number (1..21 warnings, 257..277 errors); 0 for rules
  std::string text;        // as the log writes it, continuation lines included
  long line = 0;           // the file line it names; 0 for none
  long instance = 0;       // the instance it is about; 0 for none
  std::string attribute;   // where known
  std::string rule;        // the rule id of a rule finding
};

struct FileDiagnostics {
  std::string path;
  bool opened = false;
  std::vector<Message> messages;
  bool ruled = false;                 // the rule check ran
  long rulesEvaluated = 0;
  std::vector<const rules::Rule*> notEvaluated;
  std::shared_ptr<const std::vector<rules::Rule>> unevaluated;  // what some of those point into
  bool simulated = false;             // the material-removal rules were asked for
  long errors = 0, warnings = 0, findings = 0;
};

/// The messages of a log (the core's part of it), then the findings of the report if given.
FileDiagnostics Diagnose(const std::string& path, bool opened, const std::string& log, const rules::Report* report);
/// The core's messages of a log text.
std::vector<Message> ParseLog(const std::string& log);

/// True when a message of that severity ("error", "warning") or worse was made; false for "".
bool FailsOn(const FileDiagnostics& file, const std::string& severity);
/// "FILE: E errors, W warnings, R rule findings".
std::string SummaryLine(const FileDiagnostics& file);

/// {"files": [...]} as docs/diagnostics.md describes it, with a line end.
std::string JsonDocument(const std::vector<FileDiagnostics>& files);
/// SARIF 2.1.0: one run, the rules that ran under tool.driver.rules, one result per message.
std::string SarifDocument(const std::vector<FileDiagnostics>& files);

}  // namespace varnholt

#endif

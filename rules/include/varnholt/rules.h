// The rule check of a population: the rules of the data file beside the schema (WHERE rules,
// rules on defined types) evaluated by one evaluator, plus the checks written in C++ that need
// geometry or several instances, each registered under its rule id. Only reads the model.
#ifndef VARNHOLT_RULES_H
#define VARNHOLT_RULES_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

class cct_Scope;
class cct_Instance;

namespace varnholt::rules {

enum class Severity { Error, Warning };

/// One rule as the data file gives it.
struct Rule {
  std::string id;           // entity.LABEL, e.g. milling_technology.WR1
  std::string kind;         // where, type, check (C++), skip (listed as not evaluated)
  Severity severity = Severity::Error;
  std::string condition;    // in the rule notation; empty for check and skip
  std::string description;  // what it requires; for skip, why it is not evaluated
  std::string Entity() const { return id.substr(0, id.find('.')); }
};

/// One violated rule on one instance.
struct Finding {
  std::string rule;
  Severity severity = Severity::Error;
  long instance = 0;       // the instance's number
  std::string attribute;   // where one is meant, else empty
  long line = 0;           // the file line of the instance's record, 0 when unknown
  std::string text;        // what is required and what was found
};

struct Report {
  std::vector<Finding> findings;
  std::vector<const Rule*> evaluated;
  std::vector<const Rule*> notEvaluated;
  /// The check was stopped by its progress function: the findings are those made until then.
  bool cancelled = false;
  /// The material-removal rules were asked for (they are absent from a report without them).
  bool simulated = false;
  /// Those rules as not evaluated, each with why (the simulation could not run); notEvaluated
  /// points into it, and copies of the report share it.
  std::shared_ptr<const std::vector<Rule>> unevaluated;

  long Errors() const {
    long errors = 0;
    for (const Finding& f : findings) errors += f.severity == Severity::Error;
    return errors;
  }
  long Warnings() const { return static_cast<long>(findings.size()) - Errors(); }
};

/// Told the percentage done now and then; returns false to stop the check.
using Progress = std::function<bool(int percent)>;

/// What the check does beyond the rules it always evaluates.
struct CheckOptions {
  /// Also run the project's program on its workpiece's stock and report the simulation's
  /// findings as the simulate.* rules; without it those rules are left out of the report
  /// altogether, so that it reads as it always did.
  bool simulate = false;
  /// The spacing of the stock's rays, mm; 0 lets the simulation choose it from the stock.
  double resolution = 0;
};

/// The rules of the data file, in its order. A data file that does not parse is a build
/// fault; it throws std::runtime_error naming the line.
const std::vector<Rule>& Rules();
/// Parses rules from text in the data file's format (for tests and the loader).
std::vector<Rule> ParseRules(const std::string& text);

/// Every rule on every instance of the scope; findings in file order.
Report Check(cct_Scope& scope);
/// The same, telling `progress` how far it is (a large file takes a while); it may stop it.
Report Check(cct_Scope& scope, const Progress& progress);
Report Check(cct_Scope& scope, const Progress& progress, const CheckOptions& options);
/// True for the rules only a check with CheckOptions::simulate evaluates.
bool OnRequest(const Rule& rule);

/// The lines the log gets: the heading, one per finding, the line naming what was not
/// evaluated; each ends in a line end.
std::string LogText(const Report& report);
/// One finding as its log line, without the line end.
std::string FindingText(const Finding& finding);

}  // namespace varnholt::rules

#endif

// Preflight checks over the machining model: the sense the spindle turns in against the hand
// of cut of the tool.
#include "preflight_machining.h"

#include <map>
#include <set>
#include <string>

#include "cct/instance.h"
#include "cct/scope.h"
#include "model_read.h"
#include "varnholt/program.h"

namespace varnholt::rules {

// The G-code turns the spindle as the tool cuts (M3 for a right-hand tool, M4 for a left-hand
// one); a file whose sign says the other sense is told, once per workingstep.
void SpindleHand(CheckContext& context, const Rule& rule) {
  const Model& model = context.ModelOfProject();
  ProgramOptions options;
  options.explicitMoves = options.generatedMoves = false;
  const Program program = BuildProgram(model, options);
  std::map<std::string, const ModelTechnology*> technologies;
  for (const ModelTechnology& technology : model.technologies) technologies.emplace(technology.name, &technology);
  std::set<std::string> told;
  for (const ProgramStep& step : program.steps) {
    if (!SpindleSignAgainstHand(step) || !told.insert(step.name).second) continue;
    const cct_Scope::Entry* entry = context.Scope().FindEntry(step.name.c_str() + 1, 1);
    if (!entry || !entry->instance) continue;
    const auto technology = technologies.find(step.technology);
    const double given = technology != technologies.end() ? technology->second->spindle : step.spindle;
    const bool left = step.tool.hand == Hand::Left;
    context.Report(rule, *entry->instance, "its_operation",
                   rule.description + "; found workingstep " + step.name +
                       (step.label.empty() ? "" : " '" + step.label + "'") + ": tool " + step.tool.name +
                       (step.tool.id.empty() ? "" : " '" + step.tool.id + "'") + " cuts " +
                       (left ? "left" : "right") + "-hand, technology " + step.technology + " gives spindle " +
                       Fmt(given) + ", the sign of the " + (left ? "right" : "left") + "-hand sense (" +
                       (left ? "M3" : "M4") + "); the G-code turns it " + (left ? "M4" : "M3") + ", as the tool cuts");
  }
}

}  // namespace varnholt::rules

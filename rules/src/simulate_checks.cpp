// The material-removal findings as rules, so that a rule check (and CI gating on it) sees them
// beside the preflight: the project's program is run once on its workpiece's stock, as the
// simulate command runs it, and each rule reports the findings of its kind on the workingstep
// they come from.
#include <cmath>
#include <cstdio>
#include <string>

#include "cct/instance.h"
#include "cct/scope.h"
#include "checks.h"
#include "propositions.h"
#include "varnholt/feature_volume.h"
#include "varnholt/gcode.h"
#include "varnholt/model_read.h"
#include "varnholt/program.h"

namespace varnholt::rules {

const SimulateResult* CheckContext::Simulation() {
  if (simulated_) return simulation_.get();
  simulated_ = true;
  // The model as the simulate command reads it (what the project reaches), not the check's
  // model of every workingstep: the stock sees only the moves the machine would make.
  const Model model = ReadModel(scope_);
  const Program program = BuildProgram(model);
  if (!program.hasProject) {
    simulationError_ = "the file has no project, so nothing is machined";
    return nullptr;
  }
  const GcodeResult gcode = WriteGcode(program, SimulationGcodeOptions());
  SimulateOptions options;
  options.resolution = resolution_;
  options.volumes = [](const Model& m, int index, std::string& why) { return MakeFeatureVolume(m, index, why); };
  auto result = std::make_unique<SimulateResult>(Simulate(model, program, gcode, options));
  if (!result->ok) {
    simulationError_ = result->error.empty() ? std::string("the simulation failed") : result->error;
    return nullptr;
  }
  // The stock's model is not needed for findings, and may be large.
  result->stock.reset();
  simulation_ = std::move(result);
  return simulation_.get();
}

namespace {

const cct_Instance* Named(cct_Scope& scope, const std::string& label) {
  if (label.size() < 2 || label[0] != '#') return nullptr;
  cct_Scope::Entry* entry = scope.FindEntry(label.c_str() + 1, 1);
  return entry && entry->instance && !entry->instance->IsKilled() ? entry->instance : nullptr;
}

std::string Mm(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", v);
  return text;
}

// Reports every finding of the rule's kind ("simulate.gouge": gouge) on its workingstep, or
// its feature where it names none, or else the project.
void Findings(CheckContext& context, const Rule& rule) {
  const SimulateResult* result = context.Simulation();
  if (!result) return;
  const std::string kind = rule.id.substr(rule.id.find('.') + 1);
  for (const SimFinding& f : result->findings) {
    if (f.kind != kind) continue;
    const cct_Instance* on = Named(context.Scope(), f.workingstep);
    if (!on) on = Named(context.Scope(), f.feature);
    if (!on && !context.OfType("project").empty()) on = context.OfType("project").front();
    if (!on) continue;
    std::string found = f.workingstep.empty() ? "feature " + f.feature : "workingstep " + f.workingstep;
    if (f.move >= 0) found += ", move " + std::to_string(f.move);
    if (f.gcodeLine > 0) found += ", G-code line " + std::to_string(f.gcodeLine);
    found += ", depth " + Mm(f.depth) + " mm";
    if (std::isfinite(f.volume)) found += ", " + Mm(f.volume) + " mm3";
    found += " at (" + Mm(f.at.x) + ", " + Mm(f.at.y) + ", " + Mm(f.at.z) + "): " + f.text;
    context.Report(rule, *on, "", rule.description + "; found " + found);
  }
}

}  // namespace

const std::vector<std::pair<const char*, CheckFunction>>& SimulateChecks() {
  static const std::vector<std::pair<const char*, CheckFunction>> checks = {
      {"simulate.rapid_into_material", Findings},
      {"simulate.shank_in_material", Findings},
      {"simulate.gouge", Findings},
      {"simulate.material_left", Findings},
  };
  return checks;
}

}  // namespace varnholt::rules

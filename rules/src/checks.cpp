// The registry of the checks written in C++.
#include "checks.h"

#include "varnholt/model_read.h"

#include "propositions.h"

namespace varnholt::rules {

CheckFunction FindCheck(const std::string& id) {
  for (const auto* table : {&PropositionChecks(), &PreflightChecks(), &ResourceChecks(), &SimulateChecks()})
    for (const auto& entry : *table)
      if (id == entry.first) return entry.second;
  return nullptr;
}

const ToolpathScene& CheckContext::ToolpathSceneOfProject() {
  // The file's own toolpaths are what the checks look at, not the ones we would generate.
  if (!scene_) scene_ = std::make_unique<ToolpathScene>(BuildToolpathScene(ModelOfProject()));
  return *scene_;
}

const Model& CheckContext::ModelOfProject() {
  if (!model_) {
    ModelOptions options;
    options.projects = &OfType("project");
    // The checks before machining look at every workingstep, operation and technology, reached
    // or not.
    options.population = [this](const char* entity) -> const std::vector<const cct_Instance*>& { return OfType(entity); };
    model_ = std::make_unique<Model>(ReadModel(scope_, options));
  }
  return *model_;
}

}  // namespace varnholt::rules

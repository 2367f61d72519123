// The registry of the checks written in C++.
#include "checks.h"

#include "propositions.h"

namespace varnholt::rules {

CheckFunction FindCheck(const std::string& id) {
  for (const auto* table : {&PropositionChecks(), &PreflightChecks(), &ResourceChecks()})
    for (const auto& entry : *table)
      if (id == entry.first) return entry.second;
  return nullptr;
}

const Scene& CheckContext::SceneOfProject() {
  if (!scene_) scene_ = std::make_unique<Scene>(BuildScene(scope_));
  return *scene_;
}

}  // namespace varnholt::rules

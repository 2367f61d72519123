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
  // The file's own toolpaths are what the checks look at, not the ones we would generate.
  if (!scene_) scene_ = std::make_unique<Scene>(BuildScene(scope_, {}, false));
  return *scene_;
}

}  // namespace varnholt::rules

// The preflight's checks over the features as the machining model reads them, so that they see
// the features exactly as the toolpath generators cut them.
#include "preflight_features.h"

#include "cct/instance.h"
#include "cct/scope.h"
#include "varnholt/feature_along.h"

namespace varnholt::rules {

namespace {

// The attribute that leaves the end open: a slot's end conditions, a step's open boundary, a
// profile's boundary.
const char* OpenBy(const AlongFeature& feature, const std::string& type) {
  switch (feature.kind) {
    case AlongFeature::Slot: return "end_conditions";
    case AlongFeature::Step: return "open_boundary";
    default: return type == "general_outside_profile" ? "feature_boundary" : "profile_boundary";
  }
}

}  // namespace

// An open end lets the tool run out past it, which is what the file means only where no
// material is there; inside the stock the generated toolpath stops short of it instead, and a
// toolpath the file gives may cut into what the part keeps.
void OpenEndInsideStock(CheckContext& context, const Rule& rule) {
  const Model& model = context.ModelOfProject();
  for (const ModelFeature& feature : model.features) {
    if (!feature.along) continue;
    const std::vector<OpenEndInStock> ends = OpenEndsInStock(feature, StockOfFeature(model, feature));
    if (ends.empty()) continue;
    const cct_Scope::Entry* entry = feature.name.size() > 1 ? context.Scope().FindEntry(feature.name.c_str() + 1, 1) : nullptr;
    if (!entry || !entry->instance) continue;
    std::string found;
    for (const OpenEndInStock& end : ends) found += (found.empty() ? "" : "; ") + OpenEndText(end);
    context.Report(rule, *entry->instance, OpenBy(*feature.along, feature.type),
                   rule.description + "; found " + feature.type + " " + feature.name + ": " + found);
  }
}

}  // namespace varnholt::rules

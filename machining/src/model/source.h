// The instances a machining model was read from, beside its plain values: what the library
// still reads through them (the curves of explicit toolpaths, the feature geometry the
// generators take) and what callers select by (a workingstep of the tree). Internal.
#ifndef VARNHOLT_MODEL_SOURCE_H
#define VARNHOLT_MODEL_SOURCE_H

#include <string>
#include <vector>

#include "varnholt/model.h"

class cct_Instance;
class cct_Scope;

namespace varnholt::model_detail {

struct Source {
  cct_Scope* scope = nullptr;
  const cct_Instance* project = nullptr;
  // Aligned with the model's vectors of the same names.
  std::vector<const cct_Instance*> setups, workpieces, workingsteps, features, operations, tools, technologies;
  /// Per operation, the curves of its toolpaths (null where a toolpath has none).
  std::vector<std::vector<const cct_Instance*>> toolpathCurves;
};

/// The source of a model, or null for a model not read from a population.
inline const Source* SourceOf(const Model& model) { return model.source.get(); }

}  // namespace varnholt::model_detail

#endif

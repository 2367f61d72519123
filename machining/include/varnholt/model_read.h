// The one reader of the machining model: it turns a population's instances into the plain
// values of varnholt/model.h, and is the only code of machining that names schema attributes.
#ifndef VARNHOLT_MODEL_READ_H
#define VARNHOLT_MODEL_READ_H

#include <functional>
#include <vector>

#include "varnholt/model.h"

class cct_Instance;
class cct_Scope;

namespace varnholt {

struct ModelOptions {
  /// The scope's instances of project where the caller has them at hand (a superset will do):
  /// with a single one among them, the walk over every name that finds the first is spared.
  const std::vector<const cct_Instance*>* projects = nullptr;
  /// How far the chords of a curve the features' contours are read from may lie from it (mm),
  /// as the program's tolerance: the generators follow those contours.
  double tolerance = 0.001;
  /// Where set, the instances of an entity (and its subtypes) in the population: the reader
  /// then also reads every workingstep, machining operation and technology the workplans do not
  /// reach, and the projects' workpieces (Model::population).
  std::function<const std::vector<const cct_Instance*>&(const char* entity)> population;
};

/// Reads the program of the scope's first project. The model refers to the scope's instances
/// for what it does not hold itself: it lives no longer than the population.
Model ReadModel(cct_Scope& scope, const ModelOptions& options = {});

/// The attribute names the reader asks for, to be checked against the binding.
const std::vector<const char*>& ModelAttributeNames();

}  // namespace varnholt

#endif

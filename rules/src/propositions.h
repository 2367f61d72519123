// The checks written in C++ by rule id: the informal propositions (IP1 to IP16), the CNC
// preflight, the resource rules that look at several instances, the material removal.
#ifndef VARNHOLT_RULES_PROPOSITIONS_H
#define VARNHOLT_RULES_PROPOSITIONS_H

#include <utility>
#include <vector>

#include "checks.h"

namespace varnholt::rules {

const std::vector<std::pair<const char*, CheckFunction>>& PropositionChecks();
const std::vector<std::pair<const char*, CheckFunction>>& PreflightChecks();
const std::vector<std::pair<const char*, CheckFunction>>& ResourceChecks();
/// The material-removal rules, evaluated only when the check is asked to simulate.
const std::vector<std::pair<const char*, CheckFunction>>& SimulateChecks();

}  // namespace varnholt::rules

#endif

// The checks of the informal propositions (IP1 to IP16) and of the CNC preflight, by rule id.
#ifndef VARNHOLT_RULES_PROPOSITIONS_H
#define VARNHOLT_RULES_PROPOSITIONS_H

#include <utility>
#include <vector>

#include "checks.h"

namespace varnholt::rules {

const std::vector<std::pair<const char*, CheckFunction>>& PropositionChecks();
const std::vector<std::pair<const char*, CheckFunction>>& PreflightChecks();

}  // namespace varnholt::rules

#endif

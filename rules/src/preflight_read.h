// What the preflight reads of the instances themselves rather than of the machining model: the
// elements of a workplan, for the check that walks who refers to whom back to the project.
// Everything else the checks take from the model.
#ifndef VARNHOLT_RULES_PREFLIGHT_READ_H
#define VARNHOLT_RULES_PREFLIGHT_READ_H

#include <vector>

class cct_Instance;

namespace varnholt::rules::preflight_read {

std::vector<const cct_Instance*> Elements(const cct_Instance* workplan);

}  // namespace varnholt::rules::preflight_read

#endif

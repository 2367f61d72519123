// The preflight's reading of the instances it walks.
#include "preflight_read.h"

#include "model_read.h"

namespace varnholt::rules::preflight_read {

std::vector<const cct_Instance*> Elements(const cct_Instance* workplan) { return Refs(workplan, "its_elements"); }

}  // namespace varnholt::rules::preflight_read

// Toolpaths for holes.
#include "generate.h"

namespace varnholt::machining_detail {

bool GenerateHole(StepJob& job) {
  job.reason = "toolpaths for holes are not generated yet";
  return false;
}

}  // namespace varnholt::machining_detail

// Toolpaths for planar faces and pockets.
#include "generate.h"

namespace varnholt::machining_detail {

bool GenerateArea(StepJob& job) {
  job.reason = "toolpaths for planar faces and pockets are not generated yet";
  return false;
}

}  // namespace varnholt::machining_detail

// Toolpaths for slots, steps and profiles.
#include "generate.h"

namespace varnholt::machining_detail {

bool GenerateAlong(StepJob& job) {
  job.reason = "toolpaths for slots, steps and profiles are not generated yet";
  return false;
}

}  // namespace varnholt::machining_detail

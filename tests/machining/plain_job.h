// A generator's job with no population behind it: the feature, the operation and the tool are
// given as numbers, the moves come out in the feature's own system.
#ifndef VARNHOLT_TEST_PLAIN_JOB_H
#define VARNHOLT_TEST_PLAIN_JOB_H

#include <vector>

#include "generate.h"

namespace gen {

class PlainJob {
 public:
  PlainJob(const varnholt::ModelFeature& feature, const varnholt::ModelOperation& operation)
      : job(feature, operation, moves) {}
  PlainJob(const PlainJob&) = delete;
  PlainJob& operator=(const PlainJob&) = delete;

  std::vector<varnholt::Move> moves;
  varnholt::machining_detail::StepJob job;
};

}  // namespace gen

#endif

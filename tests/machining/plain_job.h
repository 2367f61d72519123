// A generator's job with no population behind it: the feature, the operation and the tool are
// given as numbers, the moves come out in the feature's own system. The job's instance members
// are bound to an empty instance and a reader of nothing, which a generator that reads the model
// never asks.
#ifndef VARNHOLT_TEST_PLAIN_JOB_H
#define VARNHOLT_TEST_PLAIN_JOB_H

#include <vector>

#include "cct/instance.h"
#include "generate.h"

namespace gen {

class PlainJob {
 public:
  PlainJob(const varnholt::ModelFeature& feature, const varnholt::ModelOperation& operation) {
    job.featureModel = &feature;
    job.operationModel = &operation;
  }
  PlainJob(const PlainJob&) = delete;
  PlainJob& operator=(const PlainJob&) = delete;

 private:
  varnholt::scene_detail::Reader reader_;
  std::vector<varnholt::SceneProblem> seen_;
  varnholt::scene_detail::Problems problems_{seen_};
  varnholt::scene_detail::Budget budget_;
  varnholt::scene_detail::Geometry geometry_{reader_, problems_, budget_};
  cct_Instance none_;

 public:
  std::vector<varnholt::Move> moves;
  varnholt::machining_detail::StepJob job{reader_, geometry_, none_, none_, none_, moves};
};

}  // namespace gen

#endif

// A generator called with a workingstep given as plain values: the feature and the operation as
// the model holds them, the tool and the feed, without a file. The moves come back as the
// fixture's runs do, in the feature's own system, starting at the clearance height.
#ifndef VARNHOLT_TEST_GENERATE_JOB_H
#define VARNHOLT_TEST_GENERATE_JOB_H

#include <string>
#include <vector>

#include "generate_fixture.h"
#include "plain_job.h"

namespace gen {

struct PlainStep {
  varnholt::ModelFeature feature;
  varnholt::ModelOperation operation;
  varnholt::machining_detail::Tool tool;
  double feed = kFeedRate * 60;  // mm/min, as the program makes it of the technology's
  double clearZ = kClear;
  varnholt::Plunge approach, retract;
  varnholt::FeatureStock stock;  // none unless the test gives one
};

inline StepRun Generate(bool (*generator)(varnholt::machining_detail::StepJob&),
                        const PlainStep& step) {
  PlainJob plain(step.feature, step.operation);
  varnholt::machining_detail::StepJob& job = plain.job;
  job.tool = step.tool;
  job.feed = step.feed;
  job.clearZ = step.clearZ;
  job.approach = step.approach;
  job.retract = step.retract;
  job.stock = step.stock;
  StepRun run;
  run.steps = 1;
  run.start = {0, 0, step.clearZ};
  if (generator(job))
    run.moves = std::move(plain.moves);
  else
    run.reason = job.reason;
  run.notes = job.notes;
  return run;
}

}  // namespace gen

#endif

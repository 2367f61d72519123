// A generator called with a workingstep given as plain values: the feature and the operation as
// the model holds them, the tool and the feed, without a file. The job's instance members get
// empty stand-ins, which a generator of plain values does not read. The moves come back as the
// fixture's runs do, in the feature's own system, starting at the clearance height.
#ifndef VARNHOLT_TEST_GENERATE_JOB_H
#define VARNHOLT_TEST_GENERATE_JOB_H

#include <string>
#include <vector>

#include "cct/instance.h"
#include "generate.h"
#include "generate_fixture.h"

namespace gen {

struct PlainStep {
  varnholt::ModelFeature feature;
  varnholt::ModelOperation operation;
  varnholt::machining_detail::Tool tool;
  double feed = kFeedRate * 60;  // mm/min, as the program makes it of the technology's
  double clearZ = kClear;
  varnholt::Plunge approach, retract;
};

inline StepRun Generate(bool (*generator)(varnholt::machining_detail::StepJob&),
                        const PlainStep& step) {
  using namespace varnholt::machining_detail;
  Reader reader;
  std::vector<varnholt::SceneProblem> problemList;
  varnholt::scene_detail::Problems problems(problemList);
  varnholt::scene_detail::Budget budget;
  Geometry geometry(reader, problems, budget);
  const cct_Instance none;
  StepRun run;
  StepJob job(reader, geometry, none, none, none, run.moves);
  job.featureModel = &step.feature;
  job.operationModel = &step.operation;
  job.tool = step.tool;
  job.feed = step.feed;
  job.clearZ = step.clearZ;
  job.approach = step.approach;
  job.retract = step.retract;
  run.steps = 1;
  run.start = {0, 0, step.clearZ};
  if (!generator(job)) {
    run.reason = job.reason;
    run.moves.clear();
  }
  return run;
}

}  // namespace gen

#endif

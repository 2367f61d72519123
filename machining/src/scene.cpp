// The scene: walks the project's workplans and places what they machine (scene_builder.h), the
// toolpaths drawn. Toolpaths are given in their feature's coordinates (as real files write
// them), the feature within its workpiece setup, the workpiece setup within its setup.
#include <algorithm>
#include <memory>
#include <cmath>
#include <ostream>
#include <unordered_map>
#include <unordered_set>

#include "cct/errlog.h"
#include "cct/instance.h"
#include "cct/scope.h"
#include "scene_builder.h"
#include "scene_read.h"
#include "model/walk.h"
#include "varnholt/model_read.h"
#include "varnholt/program.h"
#include "varnholt/scene.h"

namespace varnholt {
namespace {

using namespace scene_detail;

// The scene: every curve drawn, with progress and a way to stop.
class Builder : public SceneBuilder {
 public:
  Builder(Scene& scene, const SceneProgress& progress) : SceneBuilder(scene, &scene.problems), progress_(progress) {}

  void Run(const Model& model) { Build(model); }

  bool WasCancelled() const { return cancelled_; }

 private:
  void Starting(size_t elements) override { topCount_ = std::max<size_t>(elements, 1); }

  bool Cancelled() {
    if (cancelled_ || !progress_) return cancelled_;
    const int percent = static_cast<int>(95.0 * std::min(topDone_, topCount_) / topCount_);
    if (percent != percent_) {
      percent_ = percent;
      cancelled_ = !progress_(percent);
    }
    return cancelled_;
  }

  bool Stop() override { return Cancelled() || budget_.exhausted; }
  void MainElementDone() override { ++topDone_; }

  void Toolpath(const cct_Instance& path, const cct_Instance& curve, const Placement& frame, int index) override {
    std::vector<Vec3> points;
    if (geometry_.Curve(&curve, points) && points.size() >= 2)
      Place(ShapeKind::Toolpath, points, false, frame, InstanceLabel(&path), index);
  }

  const SceneProgress& progress_;
  size_t topCount_ = 1, topDone_ = 0;
  int percent_ = -1;
  bool cancelled_ = false;
};

// The generated moves of the workingsteps the file gives no toolpaths for, placed in the
// machine's system as the setups place them: cutting runs and rapid runs as paths of their own.
void AddGenerated(Scene& scene, const Model& model) {
  ProgramOptions options;
  options.explicitMoves = false;
  const Program program = BuildProgram(model, options);
  // The program follows the model's walk of the workplans, which is the scene's: the k-th
  // workingstep of one is the k-th of the other.
  for (size_t k = 0; k < program.steps.size() && k < scene.workingsteps.size(); ++k) {
    const ProgramStep& step = program.steps[k];
    const int index = static_cast<int>(k);
    if (step.explicitMoves) continue;
    if (step.moves.empty()) {
      if (!step.reason.empty()) scene.problems.push_back({step.name, "no toolpaths are generated: " + step.reason});
      continue;
    }
    Placement frame;
    if (step.setup >= 0 && step.setup < static_cast<int>(program.setups.size())) frame = program.setups[step.setup].origin;
    SceneWorkingstep& info = scene.workingsteps[index];
    info.generatedMoves = step.moves.size();
    const MoveLengths lengths = Lengths(step.start, step.moves);
    info.cuttingLength = lengths.cutting;
    info.rapidLength = lengths.rapid;
    Vec3 at0 = step.start;
    size_t i = 0;
    while (i < step.moves.size()) {
      const bool rapid = step.moves[i].kind == MoveKind::Rapid;
      std::vector<Move> run;
      for (; i < step.moves.size() && (step.moves[i].kind == MoveKind::Rapid) == rapid; ++i)
        if (step.moves[i].kind != MoveKind::Dwell) run.push_back(Placed(step.moves[i], frame));
      if (run.empty()) continue;
      ScenePath path;
      path.kind = rapid ? ShapeKind::Rapid : ShapeKind::Generated;
      path.points = SampleMoves(frame.Apply(at0), run, 0.01);
      path.source = step.name;
      path.workingstep = index;
      at0 = step.moves[i - 1].to;
      bool finite = true;
      for (const Vec3& p : path.points) finite = finite && std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
      if (finite && path.points.size() >= 2) scene.paths.push_back(std::move(path));
    }
  }
}

}  // namespace

Scene BuildScene(cct_Scope& scope, const SceneProgress& progress, bool generated, const Model* model) {
  std::unique_ptr<Model> read;
  if (!model) {
    read = std::make_unique<Model>(ReadModel(scope));
    model = read.get();
  }
  Scene scene;
  Builder builder(scene, progress);
  builder.Run(*model);
  if (generated && scene.hasProject && !builder.WasCancelled()) AddGenerated(scene, *model);
  if (progress && !builder.WasCancelled()) progress(100);
  return scene;
}

void ReportSceneProblems(const Scene& scene, std::ostream& log) {
  // Through the core's log, so that the lines look like every other warning of the document.
  if (scene.hasProject && scene.problems.empty()) return;
  cct_LogScope scope(log);
  if (!scene.hasProject)
    cct_errlog(cct_Warning(cct_MESSAGE)) << "The file holds no project: there is nothing to draw.";
  for (const SceneProblem& problem : scene.problems)
    cct_errlog(cct_Warning(cct_MESSAGE)) << (problem.instance + ": " + problem.text + ".").c_str();
  log << '\n';
}

}  // namespace varnholt

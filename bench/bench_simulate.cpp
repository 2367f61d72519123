// Times the material-removal simulation on a large pocket: a 200 x 200 x 50 block, a 180 x 180
// pocket 5 mm deep cleared by a 1 mm end mill in levels of 1 mm, each row cut in pieces, about
// 10,000 moves in all, at 0.1 mm, with the pocket's volume for the gouge and material-left
// checks. Run by hand: varnholt-bench-simulate [resolution] [moves per row]; peak memory with
// /usr/bin/time -v.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "varnholt/gcode.h"
#include "varnholt/simulate.h"

using namespace varnholt;

namespace {

// The pocket's volume: a box, open 1 mm above the block's top.
class BoxVolume : public FeatureVolume {
 public:
  BoxVolume(const Vec3& low, const Vec3& high) : low_(low), high_(high) {
    bounds.Add(low);
    bounds.Add(high);
  }
  double Distance(const Vec3& p) const override {
    const double qx = std::max(low_.x - p.x, p.x - high_.x), qy = std::max(low_.y - p.y, p.y - high_.y),
                 qz = std::max(low_.z - p.z, p.z - high_.z);
    const double ox = std::max(qx, 0.0), oy = std::max(qy, 0.0), oz = std::max(qz, 0.0);
    return std::sqrt(ox * ox + oy * oy + oz * oz) + std::min(std::max({qx, qy, qz}), 0.0);
  }
  double ExactVolume() const override { return (high_.x - low_.x) * (high_.y - low_.y) * (50 - low_.z); }

 private:
  Vec3 low_, high_;
};

Move To(MoveKind kind, double x, double y, double z) {
  Move m;
  m.kind = kind;
  m.to = {x, y, z};
  m.feed = kind == MoveKind::Feed ? 600 : 0;
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  const double h = argc > 1 ? std::atof(argv[1]) : 0.1;
  const int pieces = argc > 2 ? std::atoi(argv[2]) : 9;
  Model model;
  ModelWorkpiece w;
  w.name = "#1";
  w.stock.kind = ModelStock::Block;
  w.stock.name = "#2";
  w.stock.x = 200, w.stock.y = 200, w.stock.z = 50;
  model.workpieces.push_back(w);
  ModelSetup setup;
  setup.name = "#5";
  setup.workpieces.push_back({0, true, Placement{}});
  model.setups.push_back(setup);
  Program program;
  program.setups.push_back({setup.name, "", Placement{}});
  ModelTool tool;
  tool.name = "#10";
  tool.diameter = 1;
  tool.cuttingEdgeLength = 8;
  tool.overallLength = 40;
  model.tools.push_back(tool);
  ModelFeature feature;
  feature.name = "#20";
  feature.type = "closed_pocket";
  feature.workpiece = 0;
  feature.placed = true;
  model.features.push_back(feature);
  ModelOperation op;
  op.name = "#30";
  op.tool = 0;
  model.operations.push_back(op);
  ModelWorkingstep ws;
  ws.name = "#40";
  ws.feature = 0;
  ws.operation = 0;
  model.workingsteps.push_back(ws);
  ProgramStep step;
  step.name = ws.name;
  step.type = "machining_workingstep";
  step.setup = 0;
  step.feature = feature.name;
  step.featureType = "closed_pocket";
  step.operation = op.name;
  step.tool.name = tool.name;
  step.tool.diameter = 1;
  step.spindle = -10000;
  step.start = {10.5, 10.5, 60};
  // Rows 0.9 mm apart across [10.5, 189.5], each cut in `pieces` moves, at five levels.
  const double x0 = 10.5, x1 = 189.5, y0 = 10.5, y1 = 189.5;
  for (int level = 1; level <= 5; ++level) {
    const double z = 50 - level;
    step.moves.push_back(To(MoveKind::Rapid, x0, y0, 51));
    step.moves.push_back(To(MoveKind::Feed, x0, y0, z));
    bool forth = true;
    for (double y = y0; y <= y1 + 1e-9; y += 0.9) {
      const double from = forth ? x0 : x1, to = forth ? x1 : x0;
      if (y > y0) step.moves.push_back(To(MoveKind::Feed, from, y, z));
      for (int k = 1; k <= pieces; ++k) step.moves.push_back(To(MoveKind::Feed, from + (to - from) * k / pieces, y, z));
      forth = !forth;
    }
    step.moves.push_back(To(MoveKind::Rapid, step.moves.back().to.x, step.moves.back().to.y, 60));
  }
  program.steps.push_back(step);
  GcodeOptions g;
  g.allowPartial = true;
  g.acceptImplausible = true;
  const auto start = std::chrono::steady_clock::now();
  const GcodeResult gcode = WriteGcode(program, g);
  SimulateOptions options;
  options.resolution = h;
  options.volumes = [&](const Model&, int, std::string&) -> std::unique_ptr<FeatureVolume> {
    return std::make_unique<BoxVolume>(Vec3{x0 - 0.5, y0 - 0.5, 45}, Vec3{x1 + 0.5, y1 + 0.5, 51});
  };
  const SimulateResult r = Simulate(model, program, gcode, options);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!r.ok) {
    std::printf("failed: %s\n", r.error.c_str());
    return 1;
  }
  std::printf("%zu moves at %.3g mm: %.2f s, removed %.0f mm3, %zu findings\n", step.moves.size(), h, seconds,
              r.steps.empty() ? 0.0 : r.steps[0].removedVolume, r.findings.size());
  for (const SimFinding& f : r.findings) std::printf("  %s: %s\n", f.kind.c_str(), f.text.c_str());
  for (const SimFeature& f : r.features)
    std::printf("  %s design %.0f removed %.0f left %.0f\n", f.instance.c_str(), f.designVolume, f.removedVolume,
                f.leftVolume);
  return 0;
}

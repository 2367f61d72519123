// The stock after the program as a picture shows it: the mesh placed where the scene draws its
// workpiece, and the triangles that lie on gouges. A triangle of the stock's surface lies on a
// gouge when the air beside it belongs to the part: its centre is clear of every feature's
// removal volume and of the stock's own surface, both by more than the mesh's own error.
#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "stock.h"
#include "varnholt/feature_volume.h"
#include "varnholt/simulate.h"

namespace varnholt {

namespace {

// Where the scene draws the workpiece: its frame in the first placed setup that clamps it,
// within that setup's origin. The workpiece's own system where no setup places it.
Placement WorkpieceInMachine(const Model& model, int workpiece) {
  for (const ModelSetup& setup : model.setups) {
    if (!setup.placed) continue;
    for (const ModelSetup::WorkpieceSetup& w : setup.workpieces)
      if (w.placed && w.workpiece == workpiece) return w.frame.Within(setup.origin);
  }
  return Placement{};
}

// True when `p` lies inside the stock as it was by more than `margin` along each of the
// workpiece's axes both ways.
bool DeepInStock(const ModelStock& stock, const Vec3& p, double margin) {
  static const Vec3 kAxes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (const Vec3& d : kAxes) {
    double lo = 0, hi = 0;
    if (!simulate_detail::RayInStock(stock, p, d, lo, hi) || lo > -margin || hi < margin) return false;
  }
  return true;
}

}  // namespace

bool StockPicture(const Model& model, const SimulateResult& result, StockTriangles& placed,
                  std::vector<bool>& gouged, std::string& note, std::string& why) {
  std::vector<int> leftAfter;
  return StockPicture(model, result, placed, gouged, leftAfter, note, why);
}

bool StockPicture(const Model& model, const SimulateResult& result, StockTriangles& placed,
                  std::vector<bool>& gouged, std::vector<int>& leftAfter, std::string& note, std::string& why) {
  gouged.clear();
  leftAfter.clear();
  note.clear();
  if (!StockMesh(result, placed, why)) return false;
  gouged.assign(placed.triangles.size(), false);
  leftAfter.assign(placed.triangles.size(), -1);
  const double cell = result.stock ? 2 * result.stock->h : 0;
  auto centre = [&](size_t t) {
    Vec3 c;
    for (int k : placed.triangles[t]) {
      const Vec3& v = placed.vertices[static_cast<size_t>(k)];
      c = {c.x + v.x / 3, c.y + v.y / 3, c.z + v.z / 3};
    }
    return c;
  };
  // Material left: the surface of the stock standing inside a feature's volume, where the
  // simulation found some in that feature, told by the last workingstep that machines it.
  for (const SimFinding& finding : result.findings) {
    if (finding.kind != "material_left" || finding.feature.empty() || !result.stock) continue;
    int last = -1;
    for (size_t k = 0; k < result.steps.size(); ++k)
      if (result.steps[k].feature == finding.feature && result.steps[k].simulated) last = static_cast<int>(k);
    int feature = -1;
    for (size_t k = 0; k < model.features.size(); ++k)
      if (model.features[k].name == finding.feature) feature = static_cast<int>(k);
    std::string missing;
    const std::unique_ptr<FeatureVolume> volume =
        last >= 0 && feature >= 0 ? MakeFeatureVolume(model, feature, missing) : nullptr;
    if (!volume) continue;
    const Box& b = volume->bounds;
    for (size_t t = 0; t < placed.triangles.size(); ++t) {
      if (leftAfter[t] >= 0) continue;
      const Vec3 c = centre(t);
      if (!b.empty && (c.x < b.low.x || c.x > b.high.x || c.y < b.low.y || c.y > b.high.y || c.z < b.low.z ||
                       c.z > b.high.z))
        continue;
      if (volume->Distance(c) < -cell) leftAfter[t] = last;
    }
  }
  const int workpiece = result.stockWorkpiece;
  const bool anyGouge = std::any_of(result.findings.begin(), result.findings.end(),
                                    [](const SimFinding& f) { return f.kind == "gouge"; });
  if (anyGouge && workpiece >= 0 && workpiece < static_cast<int>(model.workpieces.size()) && result.stock) {
    // The volumes of the workpiece's features; one missing leaves its removal unknown, and
    // then no triangle is marked rather than every one that feature's moves made.
    std::vector<std::unique_ptr<FeatureVolume>> volumes;
    for (size_t k = 0; k < model.features.size() && note.empty(); ++k) {
      if (model.features[k].workpiece != workpiece) continue;
      std::string missing;
      std::unique_ptr<FeatureVolume> volume = MakeFeatureVolume(model, static_cast<int>(k), missing);
      if (volume)
        volumes.push_back(std::move(volume));
      else
        note = "gouges are not marked: feature " + model.features[k].name + " has no removal volume (" + missing + ")";
    }
    if (note.empty()) {
      const double margin = 2 * result.stock->h;
      const ModelStock& shape = model.workpieces[static_cast<size_t>(workpiece)].stock;
      for (size_t t = 0; t < placed.triangles.size(); ++t) {
        const std::array<int, 3>& tri = placed.triangles[t];
        Vec3 c;
        for (int k : tri) {
          const Vec3& v = placed.vertices[static_cast<size_t>(k)];
          c = {c.x + v.x / 3, c.y + v.y / 3, c.z + v.z / 3};
        }
        if (!DeepInStock(shape, c, margin)) continue;
        bool clear = true;
        for (const auto& volume : volumes) {
          // Far outside a volume's box is far outside the volume: its distance is not asked.
          const Box& b = volume->bounds;
          if (!b.empty && (c.x < b.low.x - margin || c.x > b.high.x + margin || c.y < b.low.y - margin ||
                           c.y > b.high.y + margin || c.z < b.low.z - margin || c.z > b.high.z + margin))
            continue;
          if (volume->Distance(c) <= margin) {
            clear = false;
            break;
          }
        }
        gouged[t] = clear;
      }
    }
  }
  // From the workpiece's system to the machine's, as the scene draws it.
  const Placement where = WorkpieceInMachine(model, workpiece);
  for (Vec3& v : placed.vertices) v = where.Apply(v);
  return true;
}

}  // namespace varnholt

// The scene for a reader of every toolpath point: BuildToolpathScene follows the machining
// model's walk of the workplans and places what they machine as scene.cpp's Builder does, step for step
// (the scene test holds the two to the same result on every sample), without generated moves.
// It differs only where the Builder reads a toolpath's polyline: it takes what the scene asks
// before reading the points (two at least, room in the budget) and leaves the points for
// ToolpathPoints::Visit (model/read_points.cpp), which reads them straight from the coordinate
// arrays.
#include "varnholt/scene_toolpaths.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "cct/instance.h"
#include "cct/scope.h"
#include "scene_builder.h"
#include "scene_read.h"
#include "model/read_points.h"
#include "model/walk.h"
#include "varnholt/model_read.h"

namespace varnholt {
namespace {

using namespace scene_detail;


bool AllFinite(const std::vector<Vec3>& points) {
  for (const Vec3& p : points)
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
  return true;
}



class Builder : public SceneBuilder {
 public:
  explicit Builder(ToolpathScene& out) : SceneBuilder(out.scene, nullptr), out_(out) {}

  void Run(const Model& model) { Build(model); }

 private:
  void Toolpath(const cct_Instance& pathInstance, const cct_Instance& curveInstance, const Placement& frame,
                int index) override {
    const cct_Instance* path = &pathInstance;
    const cct_Instance* curve = &curveInstance;
    const long count = model_detail::PolylinePoints(r_, *curve);
    if (count >= 0) {
      // What the scene's polyline asks before it reads a point: two of them at least, and
      // room for all in the budget. The points themselves wait for the visit.
      if (count < 2 || !budget_.Take(count)) return;
      SceneToolpath toolpath;
      toolpath.source = InstanceLabel(path);
      toolpath.workingstep = index;
      toolpath.frame = frame;
      toolpath.polyline = curve;
      Keep(std::move(toolpath));
      return;
    }
    std::vector<Vec3> points;
    if (!geometry_.Curve(curve, points) || points.size() < 2) return;
    for (Vec3& p : points) p = frame.Apply(p);
    if (!AllFinite(points)) return;
    SceneToolpath toolpath;
    toolpath.source = InstanceLabel(path);
    toolpath.workingstep = index;
    toolpath.frame = frame;
    toolpath.points = std::move(points);
    Keep(std::move(toolpath));
  }

  void Keep(SceneToolpath toolpath) {
    out_.toolpaths.push_back(std::move(toolpath));
    drawnBefore_.push_back(scene_.paths.size());
  }

  // Without a workpiece the planes span everything drawn, the toolpaths' points included: as
  // Scene::Bounds goes over the scene's paths, the toolpaths in their places among the others
  // (of equal coordinates, the first met is the one kept: a 0 and a -0 print differently).
  bool BoundsOfAll(Vec3& low, Vec3& high) override {
    bool any = false;
    auto take = [&](Vec3& lo, Vec3& hi, bool& seen, const Vec3& p) {
      if (!seen) {
        lo = hi = p;
        seen = true;
        return;
      }
      lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
      hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    };
    ToolpathPoints reader;
    size_t next = 0;
    for (size_t i = 0; i <= scene_.paths.size(); ++i) {
      for (; next < out_.toolpaths.size() && drawnBefore_[next] == i; ++next) {
        bool seen = false;
        Vec3 lo, hi;
        const bool drawn = reader.Visit(out_.toolpaths[next], [&](const Vec3* points, size_t count) {
          for (size_t k = 0; k < count; ++k) take(lo, hi, seen, points[k]);
        });
        if (!drawn || !seen) continue;
        if (!any) {
          low = lo, high = hi, any = true;
          continue;
        }
        low = {std::min(low.x, lo.x), std::min(low.y, lo.y), std::min(low.z, lo.z)};
        high = {std::max(high.x, hi.x), std::max(high.y, hi.y), std::max(high.z, hi.z)};
      }
      if (i < scene_.paths.size())
        for (const Vec3& p : scene_.paths[i].points) take(low, high, any, p);
    }
    return any;
  }

  ToolpathScene& out_;
  std::vector<size_t> drawnBefore_;  // per toolpath, the number of scene paths drawn before it
};

}  // namespace

ToolpathScene BuildToolpathScene(const Model& model) {
  ToolpathScene out;
  Builder builder(out);
  builder.Run(model);
  return out;
}

ToolpathScene BuildToolpathScene(cct_Scope& scope, const std::vector<const cct_Instance*>* projects) {
  ModelOptions options;
  options.projects = projects;
  return BuildToolpathScene(ReadModel(scope, options));
}

}  // namespace varnholt

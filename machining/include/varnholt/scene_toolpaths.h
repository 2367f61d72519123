// The scene of a project for a reader that looks at every toolpath point once and keeps none:
// the same walk as BuildScene, the same placements and the same points, but the points of the
// polylines (where a file keeps nearly all of them) are read only when a toolpath is visited,
// straight from the coordinate arrays, and handed over in short runs. A file of a million
// points then needs neither a vector per point nor the million points at once.
#ifndef VARNHOLT_SCENE_TOOLPATHS_H
#define VARNHOLT_SCENE_TOOLPATHS_H

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "varnholt/scene.h"

class cct_Instance;
class cct_Scope;

namespace varnholt {

/// A toolpath as BuildScene places it, its points not yet read when its curve is a polyline.
struct SceneToolpath {
  std::string source;      // as ScenePath::source: the trajectory, "#N"
  int workingstep = -1;    // index into Scene::workingsteps
  Placement frame;         // from the curve's coordinates into the scene's
  /// The polyline whose points a visit reads; null when `points` holds them.
  const cct_Instance* polyline = nullptr;
  /// The placed points of a curve of another kind, as BuildScene draws it.
  std::vector<Vec3> points;
};

struct ToolpathScene {
  /// What BuildScene builds without generated moves, less the toolpaths (and its problems):
  /// workpieces, features, markers and security planes, the workingsteps, the length unit.
  Scene scene;
  /// The toolpaths in BuildScene's order. A polyline's points are not looked at before a visit:
  /// one with a point missing, without coordinates or not finite once placed is listed all the
  /// same, and its visit answers that BuildScene does not draw it.
  std::vector<SceneToolpath> toolpaths;
};

/// The scene BuildScene(scope, {}, false) builds of the scope's project (the file's own
/// toolpaths, none generated), its toolpaths to be visited. `projects`, where
/// the caller has them at hand, are the scope's instances of project (a superset will do): with
/// a single one among them, the walk over every name that finds the first project is spared.
ToolpathScene BuildToolpathScene(cct_Scope& scope, const std::vector<const cct_Instance*>* projects = nullptr);
/// The same of a machining model already read.
ToolpathScene BuildToolpathScene(const struct Model& model);

/// Reads the placed points of toolpaths. Remembers per entity type where the coordinates are,
/// so one reader is best used for every toolpath of a scene.
class ToolpathPoints {
 public:
  /// Receives `count` consecutive placed points of the path.
  using Take = std::function<void(const Vec3* points, size_t count)>;

  ToolpathPoints();
  ~ToolpathPoints();
  ToolpathPoints(const ToolpathPoints&) = delete;
  ToolpathPoints& operator=(const ToolpathPoints&) = delete;

  /// Hands the path's points to `take` in order, in runs of up to a few hundred. False when
  /// BuildScene does not draw the path; the runs handed over until that was found are then
  /// to be forgotten.
  bool Visit(const SceneToolpath& path, const Take& take);

 private:
  struct Cache;
  std::unique_ptr<Cache> cache_;
};

}  // namespace varnholt

#endif

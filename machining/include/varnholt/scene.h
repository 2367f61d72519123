// The machining program as geometry: the workpiece, each workingstep's feature, its toolpaths
// and its security plane, placed in the coordinates of the file's length unit. The scene builder
// walks the project once; the desktop program's 3D view and `varnholt-cli render` only draw what
// it built, through the same camera.
#ifndef VARNHOLT_SCENE_H
#define VARNHOLT_SCENE_H

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "varnholt/geometry.h"

class cct_Scope;

namespace varnholt {

/// Toolpath is a toolpath the file gives; Generated a cutting move generated from a feature,
/// Rapid a generated rapid move.
enum class ShapeKind { Workpiece, Feature, Marker, Toolpath, SecurityPlane, Generated, Rapid };

/// One drawn polyline, already placed.
struct ScenePath {
  ShapeKind kind = ShapeKind::Feature;
  std::vector<Vec3> points;
  bool closed = false;
  /// The instance it was drawn from, as the tree names it ("#123"): the feature, the toolpath,
  /// the workpiece or the workingstep (for its security plane).
  std::string source;
  /// Index into Scene::workingsteps, -1 for the workpiece.
  int workingstep = -1;
};

struct SceneWorkingstep {
  std::string name;   // the instance's name, "#45"
  std::string label;  // its its_id as written, e.g. "WS3 pocket rough"
  /// Its generated moves (none where the file gives toolpaths or nothing was generated) and
  /// the lengths of their cutting and rapid moves.
  size_t generatedMoves = 0;
  double cuttingLength = 0, rapidLength = 0;
};

/// What could not be placed, once per instance.
struct SceneProblem {
  std::string instance;  // "#N"
  std::string text;
};

struct Scene {
  bool hasProject = false;
  std::vector<ScenePath> paths;
  std::vector<SceneWorkingstep> workingsteps;  // in the order of the workplans
  std::vector<SceneProblem> problems;
  std::string lengthUnit;  // e.g. "mm"; empty when the file does not say

  /// The smallest box around every point; false for an empty scene.
  bool Bounds(Vec3& low, Vec3& high) const;
};

/// Called now and then with the share done (0 to 100); returning false stops the build, which
/// then returns what it has so far.
using SceneProgress = std::function<bool(int percent)>;

/// Builds the scene of the scope's project (the first project instance). A scope without a
/// project gives an empty scene with hasProject false.
/// With `generated`, a workingstep whose operation gives no toolpaths gets the ones generated
/// from its feature, or a problem saying why there are none.
/// The machining model of the scope is read for the generated moves, or `model` taken where the
/// caller has read it.
Scene BuildScene(cct_Scope& scope, const SceneProgress& progress = {}, bool generated = true,
                 const struct Model* model = nullptr);

/// Writes the scene's problems to the log, one line each, and a line for a scene without a
/// project.
void ReportSceneProblems(const Scene& scene, std::ostream& log);

// ---- the camera both front ends share ----

enum class ViewDirection { Top, Front, Side, Iso };

struct Point2 {
  double x = 0, y = 0;
};

/// An orthographic camera: turned by `yaw` about the world z axis and tilted by `pitch`, then
/// scaled and moved on the screen (pixels, y downwards).
struct Camera {
  double yaw = 0, pitch = 0;  // radians
  double scale = 1;           // pixels per length unit
  double offsetX = 0, offsetY = 0;

  Point2 Project(const Vec3& p) const;
  /// The depth of a point along the viewing direction (larger is nearer).
  double Depth(const Vec3& p) const;
  /// The camera looking from that side at the whole scene, fitted into w x h pixels with a
  /// margin.
  static Camera Fit(const Scene& scene, ViewDirection direction, int width, int height);
  /// Turns and tilts the camera (the tilt held between straight down and straight up) but
  /// keeps `pivot` where it is on the screen.
  void Orbit(double dyaw, double dpitch, const Vec3& pivot);
  /// Scales about the screen point (x, y).
  void Zoom(double factor, double x, double y);
};

/// A camera's projection as an affine map, for projecting many points: the projection is
/// linear, so its trigonometry is done once here instead of once per point.
struct ScreenMap {
  explicit ScreenMap(const Camera& camera);
  Point2 operator()(const Vec3& p) const {
    return {ox + ax * p.x + bx * p.y + cx * p.z, oy + ay * p.x + by * p.y + cy * p.z};
  }
  double ox, oy, ax, ay, bx, by, cx, cy;
};

/// The colour of a workingstep's toolpaths, as 0xRRGGBB; distinct for neighbouring indices.
unsigned WorkingstepColour(int index);

}  // namespace varnholt

#endif

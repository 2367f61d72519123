// What the scene reads of the instances behind the model when it draws them: a workpiece's
// bounding shape, a workingstep's parts, a feature's placement, the curves of an operation's
// toolpaths and a security plane's position, each asked where the scene draws it, with the
// problems the scene reports. Internal.
#ifndef VARNHOLT_MODEL_READ_SCENE_H
#define VARNHOLT_MODEL_READ_SCENE_H

#include <string>
#include <vector>

#include "../scene_read.h"

class cct_Instance;

namespace varnholt::model_detail {

using scene_detail::Geometry;
using scene_detail::Problems;
using scene_detail::Reader;

/// A workpiece's bounding shape: a cylinder by its axis (origin, direction), radius `x` and
/// height `z`; a block by its position and sizes.
struct StockShape {
  enum Kind { None, Cylinder, Block } kind = None;
  const cct_Instance* shape = nullptr;
  Vec3 origin, direction{0, 0, 1};
  Placement position;
  double x = 0, y = 0, z = 0;
};

/// A workingstep's parts as the scene draws them.
struct StepParts {
  std::string label;  // its_id
  const cct_Instance* feature = nullptr;
  const cct_Instance* operation = nullptr;  // a rapid movement is its own
  bool brokenFeature = false;               // its feature is unset or a name never defined
  const cct_Instance* secplane = nullptr;
};

/// One element of an operation's list of toolpaths: its curve to draw, or the problem it is.
struct PathCurve {
  const cct_Instance* path = nullptr;
  const cct_Instance* curve = nullptr;  // null: nothing to draw (a feedstop, or the problem)
  const cct_Instance* on = nullptr;     // the instance the problem is about
  std::string problem;
};

class SceneReading {
 public:
  SceneReading(Reader& r, Geometry& g, Problems& problems) : r_(r), g_(g), problems_(problems) {}

  /// The workpiece's bounding shape; None (with the problem said) where it cannot be drawn, and
  /// where it has none.
  StockShape Stock(const cct_Instance& workpiece);
  StepParts Step(const cct_Instance& step);
  bool HasToolpaths(const cct_Instance& operation);
  /// The feature's placement: false (said) where it is given but cannot be read, or where it
  /// is not given (`given` false, left to the caller to say).
  bool FeaturePlacement(const cct_Instance& feature, Placement& out, bool& given);
  /// The operation's list of toolpaths and its elements; null where it gives none.
  const cct_Instance* Toolpaths(const cct_Instance& operation, std::vector<PathCurve>& out);
  /// A security plane's position; false (said) where it cannot be read.
  bool PlanePosition(const cct_Instance& plane, Placement& out);

 private:
  Reader& r_;
  Geometry& g_;
  Problems& problems_;
};

}  // namespace varnholt::model_detail

#endif

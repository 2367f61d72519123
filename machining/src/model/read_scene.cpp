// The scene's reading of the instances it draws.
#include "read_scene.h"

#include "cct/instance.h"

namespace varnholt::model_detail {

using scene_detail::InstanceLabel;

StockShape SceneReading::Stock(const cct_Instance& workpiece) {
  StockShape out;
  const cct_Instance* shape = r_.Ref(workpiece, "its_bounding_geometry");
  if (!shape) return out;  // optional: a workpiece without a bounding shape draws nothing
  out.shape = shape;
  if (r_.Is(*shape, "right_circular_cylinder")) {
    // Its axis placement has a location and an axis only: the frame's x axis is arbitrary.
    const cct_Instance* axis = r_.Ref(*shape, "position");
    if (!axis || !g_.Point(r_.Ref(*axis, "location"), out.origin) || !r_.Number(*shape, "height", out.z) ||
        !r_.Number(*shape, "radius", out.x)) {
      problems_.Add(shape, "the cylinder's position, height or radius is unset; not drawn");
      return out;
    }
    g_.Direction(r_.Ref(*axis, "axis"), out.direction);
    out.kind = StockShape::Cylinder;
    return out;
  }
  if (!r_.Is(*shape, "block")) {
    problems_.Add(shape, "a workpiece shape of kind " + std::string(shape->TypeName()) +
                             " cannot be drawn (only a block or a cylinder)");
    return out;
  }
  if (!g_.Axis2(r_.Ref(*shape, "position"), out.position, shape, "the block's position")) return out;
  if (!r_.Number(*shape, "x", out.x) || !r_.Number(*shape, "y", out.y) || !r_.Number(*shape, "z", out.z)) {
    problems_.Add(shape, "the block's x, y or z is unset; not drawn");
    return out;
  }
  out.kind = StockShape::Block;
  return out;
}

StepParts SceneReading::Step(const cct_Instance& step) {
  StepParts out;
  out.label = r_.Text(step, "its_id");
  out.feature = r_.Ref(step, "its_feature");
  out.operation = r_.Ref(step, "its_operation");
  if (!out.operation && r_.Is(step, "operation")) out.operation = &step;  // a rapid movement is both
  out.brokenFeature = !out.feature && r_.Value(step, "its_feature");
  out.secplane = r_.Ref(step, "its_secplane");
  return out;
}

bool SceneReading::HasToolpaths(const cct_Instance& operation) { return r_.Ref(operation, "its_toolpath") != nullptr; }

bool SceneReading::FeaturePlacement(const cct_Instance& feature, Placement& out, bool& given) {
  given = r_.Value(feature, "feature_placement") != nullptr;
  return given && g_.Axis2(r_.Ref(feature, "feature_placement"), out, &feature, "the feature's placement");
}

const cct_Instance* SceneReading::Toolpaths(const cct_Instance& operation, std::vector<PathCurve>& out) {
  const cct_Instance* list = r_.Ref(operation, "its_toolpath");
  if (!list) return nullptr;
  std::vector<cct_Instance*> paths;
  r_.Refs(*list, "its_list", paths);
  for (const cct_Instance* path : paths) {
    PathCurve entry;
    entry.path = path;
    if (!path) {
      entry.on = list;
      entry.problem = "a toolpath of the list is missing (unset or a name never defined)";
    } else if (r_.Is(*path, "feedstop")) {
      // a pause: nothing to draw
    } else if (r_.Is(*path, "cutter_location_trajectory") || r_.Is(*path, "cutter_contact_trajectory")) {
      entry.curve = r_.Ref(*path, "basiccurve");
      // A contact curve may come with its normals: the curve itself is what is drawn.
      if (entry.curve && r_.Is(*entry.curve, "curve_with_normal_vector")) entry.curve = r_.Ref(*entry.curve, "basiccurve");
      if (!entry.curve) {
        entry.on = path;
        entry.problem = "the trajectory's curve is unset or a name never defined; not drawn";
      }
    } else {
      entry.on = path;
      entry.problem = "a toolpath of kind " + std::string(path->TypeName()) + " cannot be drawn";
    }
    out.push_back(std::move(entry));
  }
  return list;
}

bool SceneReading::PlanePosition(const cct_Instance& plane, Placement& out) {
  return g_.Axis2(r_.Ref(plane, "position"), out, &plane, "the security plane's position");
}

}  // namespace varnholt::model_detail

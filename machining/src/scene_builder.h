// What the two scene builders share: the walk's visitor that places workpieces, features,
// markers and security planes, and finds each toolpath's curve in its feature's system. The
// scene draws the curves; the scene of toolpaths for the rule check leaves polylines to be read
// when visited. Internal to the machining library.
#ifndef VARNHOLT_SCENE_BUILDER_H
#define VARNHOLT_SCENE_BUILDER_H

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "cct/instance.h"
#include "scene_read.h"
#include "varnholt/scene.h"
#include "model/read_scene.h"
#include "model/source.h"
#include "model/walk.h"
#include "varnholt/model.h"

namespace varnholt::scene_detail {

class SceneBuilder : protected WorkplanWalk::Visitor {
 public:
  /// Problems go to `problems`, or nowhere where it is null.
  SceneBuilder(Scene& scene, std::vector<SceneProblem>* problems)
      : scene_(scene), problems_(problems ? *problems : ignored_), geometry_(r_, problems_, budget_) {}

 protected:
  static constexpr double kMarkerLength = 10;  // the axis lines of a feature's marker

  /// Places what the project's workplans machine, following the model's walk of them step by
  /// step, then the security planes.
  void Build(const Model& model) {
    const model_detail::Source* source = model_detail::SourceOf(model);
    if (!model.hasProject || !source) return;
    scene_.hasProject = true;
    // The combined schema has no unit entities: ISO 14649 measures every length in millimetres.
    scene_.lengthUnit = "mm";
    if (!model.hasMainWorkplan) {
      problems_.Add(source->project, "the project has no main workplan; nothing to draw");
      return;
    }
    Starting(model.mainElements);
    std::vector<SetupFrames> setups(model.setups.size());
    for (const ModelWalkEvent& event : model.walk) {
      if (event.kind == ModelWalkEvent::Check) {
        if (Stop()) break;
      } else if (event.kind == ModelWalkEvent::Problem) {
        const SceneProblem& problem = model.problems[event.index];
        problems_.Add(problem.instance, problem.text);
      } else if (event.kind == ModelWalkEvent::Setup) {
        setups[event.index] = Frames(model, *source, event.index);
        Setup(setups[event.index]);
      } else if (event.kind == ModelWalkEvent::Step) {
        const ModelStep& step = model.order[event.index];
        Workingstep(*source->workingsteps[step.workingstep], step.setup >= 0 ? &setups[step.setup] : nullptr);
      } else {
        MainElementDone();
      }
    }
    SecurityPlanes();
    if (budget_.exhausted)
      problems_.Add(model.project, "the scene holds more points than can be drawn; the rest "
                                   "of the program is not drawn");
  }

  // A setup as the model read it, with the instances the drawing reads.
  static SetupFrames Frames(const Model& model, const model_detail::Source& source, size_t k) {
    const ModelSetup& setup = model.setups[k];
    SetupFrames frames;
    frames.setup = source.setups[k];
    frames.index = static_cast<int>(k);
    frames.placed = setup.placed;
    frames.origin = setup.origin;
    for (const ModelSetup::WorkpieceSetup& w : setup.workpieces)
      frames.workpieces.push_back({w.workpiece >= 0 ? source.workpieces[w.workpiece] : nullptr, w.placed, w.frame});
    return frames;
  }

  /// Before the walk, with the number of the main workplan's elements.
  virtual void Starting(size_t) {}
  /// One toolpath's curve, in the system `frame` places.
  virtual void Toolpath(const cct_Instance& path, const cct_Instance& curve, const Placement& frame, int index) = 0;
  /// What the security planes span where no workpiece is drawn.
  virtual bool BoundsOfAll(Vec3& low, Vec3& high) { return scene_.Bounds(low, high); }

  bool Stop() override { return budget_.exhausted; }

  // Each workpiece once, where its first placed setup puts it.
  void Setup(const SetupFrames& setup) override {
    for (const SetupFrames::Workpiece& w : setup.workpieces)
      if (setup.placed && w.placed && w.workpiece && drawnWorkpieces_.insert(w.workpiece).second)
        Workpiece(*w.workpiece, w.frame.Within(setup.origin));
  }

  void Workpiece(const cct_Instance& workpiece, const Placement& frame) {
    const model_detail::StockShape stock = reading_.Stock(workpiece);
    const std::string source = InstanceLabel(&workpiece);
    const double x = stock.x, y = stock.y, z = stock.z;
    if (stock.kind == model_detail::StockShape::Cylinder) {
      const Vec3 origin = stock.origin, direction = stock.direction;
      Placement local;
      local.origin = origin;
      local.axis[2] = direction;
      const Vec3 helper = std::fabs(direction.x) < 0.9 ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
      const double along = helper.x * direction.x + helper.y * direction.y + helper.z * direction.z;
      Vec3 across{helper.x - along * direction.x, helper.y - along * direction.y, helper.z - along * direction.z};
      const double length = std::sqrt(across.x * across.x + across.y * across.y + across.z * across.z);
      local.axis[0] = {across.x / length, across.y / length, across.z / length};
      local.axis[1] = {direction.y * local.axis[0].z - direction.z * local.axis[0].y,
                       direction.z * local.axis[0].x - direction.x * local.axis[0].z,
                       direction.x * local.axis[0].y - direction.y * local.axis[0].x};
      const Placement placed = local.Within(frame);
      for (double h : {0.0, z}) {
        Placement level = placed;
        level.origin = placed.Apply({0, 0, h});
        std::vector<Vec3> circle;
        Geometry::Arc(level, x, 0, 2 * 3.14159265358979323846, circle);
        Add(ShapeKind::Workpiece, std::move(circle), true, source, -1);
      }
      for (double side : {-x, x})
        Add(ShapeKind::Workpiece, {placed.Apply({side, 0, 0}), placed.Apply({side, 0, z})}, false, source, -1);
      return;
    }
    if (stock.kind != model_detail::StockShape::Block) return;
    const Placement& position = stock.position;
    const Placement box = position.Within(frame);
    for (double h : {0.0, z}) {
      Add(ShapeKind::Workpiece, {box.Apply({0, 0, h}), box.Apply({x, 0, h}), box.Apply({x, y, h}),
                                 box.Apply({0, y, h})},
          true, source, -1);
    }
    for (const Vec3& corner : {Vec3{0, 0, 0}, Vec3{x, 0, 0}, Vec3{x, y, 0}, Vec3{0, y, 0}})
      Add(ShapeKind::Workpiece, {box.Apply(corner), box.Apply({corner.x, corner.y, z})}, false, source, -1);
  }

  void Workingstep(const cct_Instance& step, const SetupFrames* setup) override {
    const int index = static_cast<int>(scene_.workingsteps.size());
    const model_detail::StepParts parts = reading_.Step(step);
    scene_.workingsteps.push_back({InstanceLabel(&step), parts.label});
    const cct_Instance* feature = parts.feature;
    const cct_Instance* operation = parts.operation;
    const bool brokenFeature = parts.brokenFeature;
    if (brokenFeature)
      problems_.Add(&step, "the workingstep's feature is unset or a name never defined; its "
                           "toolpaths are not drawn");

    // The workpiece's system, then (with a feature) the feature's: where the toolpaths lie.
    Placement frame;
    bool placed = !setup || setup->placed;
    if (const SetupFrames::Workpiece* clamped = setup ? setup->Clamping(r_, feature) : nullptr) {
      placed = placed && clamped->placed;
      frame = clamped->frame.Within(setup->origin);
    } else if (setup) {
      frame = setup->origin;
    }
    if (const cct_Instance* plane = parts.secplane)
      if (placed && planesSeen_.insert(plane).second)
        planes_.push_back({plane, frame, InstanceLabel(&step), index});
    if (placed && feature) placed = Feature(*feature, frame, index);
    if (!operation || brokenFeature) return;
    if (!placed) {
      if (HasToolpaths(*operation))
        problems_.Add(&step, "the workingstep cannot be placed, so its toolpaths are not drawn");
      return;
    }
    Toolpaths(*operation, frame, index);
  }

  bool HasToolpaths(const cct_Instance& operation) { return reading_.HasToolpaths(operation); }

  // Draws the feature once and turns `frame` into the feature's system; false when the feature
  // has no placement.
  bool Feature(const cct_Instance& feature, Placement& frame, int index) {
    auto known = features_.find(&feature);
    if (known != features_.end()) {
      if (known->second.first) frame = known->second.second;
      return known->second.first;
    }
    Placement placement;
    bool given = false;
    const bool placed = reading_.FeaturePlacement(feature, placement, given);
    if (!given)
      problems_.Add(&feature, "a feature of kind " + std::string(feature.TypeName()) +
                                  " has no placement; it and its toolpaths are not drawn");
    if (placed) {
      placement = placement.Within(frame);
      std::vector<Outline> lines;
      const std::string source = InstanceLabel(&feature);
      if (FeatureOutlines(r_, geometry_, problems_, feature, lines)) {
        for (Outline& line : lines) Place(ShapeKind::Feature, line.points, line.closed, placement, source, index);
      } else {
        for (const Vec3& axis : {Vec3{1, 0, 0}, Vec3{0, 1, 0}, Vec3{0, 0, 1}}) {
          std::vector<Vec3> marker{{0, 0, 0}, {axis.x * kMarkerLength, axis.y * kMarkerLength, axis.z * kMarkerLength}};
          Place(ShapeKind::Marker, marker, false, placement, source, index);
        }
      }
      frame = placement;
    }
    features_[&feature] = {placed, placement};
    return placed;
  }

  void Toolpaths(const cct_Instance& operation, const Placement& frame, int index) {
    std::vector<model_detail::PathCurve> paths;
    if (!reading_.Toolpaths(operation, paths)) return;
    for (const model_detail::PathCurve& path : paths) {
      if (budget_.exhausted) return;
      if (!path.problem.empty())
        problems_.Add(path.on, path.problem);
      else if (path.curve)
        Toolpath(*path.path, *path.curve, frame, index);
    }
  }

  // Each security plane once, as a rectangle in the plane around the workpiece (or, without
  // one, around everything drawn).
  void SecurityPlanes() {
    Vec3 low, high;
    Scene workpieces;
    for (const ScenePath& path : scene_.paths)
      if (path.kind == ShapeKind::Workpiece) workpieces.paths.push_back(path);
    if (!workpieces.Bounds(low, high) && !BoundsOfAll(low, high)) return;
    for (const PendingPlane& pending : planes_) {
      Placement plane;
      if (!reading_.PlanePosition(*pending.plane, plane)) continue;
      plane = plane.Within(pending.frame);
      double minX = 0, maxX = 0, minY = 0, maxY = 0;
      for (int corner = 0; corner < 8; ++corner) {
        const Vec3 p{corner & 1 ? high.x : low.x, corner & 2 ? high.y : low.y, corner & 4 ? high.z : low.z};
        const Vec3 d{p.x - plane.origin.x, p.y - plane.origin.y, p.z - plane.origin.z};
        const double u = d.x * plane.axis[0].x + d.y * plane.axis[0].y + d.z * plane.axis[0].z;
        const double v = d.x * plane.axis[1].x + d.y * plane.axis[1].y + d.z * plane.axis[1].z;
        if (corner == 0 || u < minX) minX = u;
        if (corner == 0 || u > maxX) maxX = u;
        if (corner == 0 || v < minY) minY = v;
        if (corner == 0 || v > maxY) maxY = v;
      }
      const double margin = 0.05 * std::max({maxX - minX, maxY - minY, 1.0});
      minX -= margin, minY -= margin, maxX += margin, maxY += margin;
      Place(ShapeKind::SecurityPlane, {{minX, minY, 0}, {maxX, minY, 0}, {maxX, maxY, 0}, {minX, maxY, 0}},
            true, plane, pending.source, pending.index);
    }
  }

  void Place(ShapeKind kind, std::vector<Vec3> points, bool closed, const Placement& frame,
             const std::string& source, int index) {
    for (Vec3& p : points) p = frame.Apply(p);
    Add(kind, std::move(points), closed, source, index);
  }

  void Add(ShapeKind kind, std::vector<Vec3> points, bool closed, const std::string& source, int index) {
    for (const Vec3& p : points)
      if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
        problems_.Add(source, "its coordinates are too large to place; not drawn");
        return;
      }
    ScenePath path;
    path.kind = kind;
    path.points = std::move(points);
    path.closed = closed;
    path.source = source;
    path.workingstep = index;
    scene_.paths.push_back(std::move(path));
  }

  struct PendingPlane {
    const cct_Instance* plane;
    Placement frame;
    std::string source;
    int index;
  };

  Scene& scene_;
  std::vector<SceneProblem> ignored_;
  Reader r_;
  Problems problems_;
  Budget budget_;
  Geometry geometry_;
  model_detail::SceneReading reading_{r_, geometry_, problems_};
  std::unordered_map<const cct_Instance*, std::pair<bool, Placement>> features_;
  std::unordered_set<const cct_Instance*> drawnWorkpieces_, planesSeen_;
  std::vector<PendingPlane> planes_;
};

}  // namespace varnholt::scene_detail

#endif

// The scene for a reader of every toolpath point: BuildToolpathScene walks the workplans with
// the scene's own walk and places what they machine as scene.cpp's Builder does, step for step
// (the scene test holds the two to the same result on every sample), without generated moves.
// It differs only where the Builder reads a toolpath's polyline: it takes what the scene asks
// before reading the points (two at least, room in the budget) and leaves the points for
// ToolpathPoints::Visit, which reads them straight from the coordinate arrays.
#include "varnholt/scene_toolpaths.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "cct/aggr.h"
#include "cct/instance.h"
#include "cct/scope.h"
#include "scene_read.h"
#include "walk.h"

namespace varnholt {
namespace {

using namespace scene_detail;

constexpr double kMarkerLength = 10;  // the axis lines of a feature's marker
constexpr size_t kRun = 256;          // points handed over at a time
// How far ahead a visit asks for the entries of points, their instances and their coordinates.
constexpr uint32_t kEntryAhead = 48, kInstanceAhead = 32, kCoordinatesAhead = 16;

bool AllFinite(const std::vector<Vec3>& points) {
  for (const Vec3& p : points)
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
  return true;
}

// A value as the scene reader takes a list: set, one-dimensional, with its element type known.
const cct_AggregateType_1d* List(const cct_Type* value) {
  if (!value || !value->IsSet() || value->Kind() != cct_KIND_AGGREGATE) return nullptr;
  const auto* aggregate = static_cast<const cct_AggregateType*>(value);
  if (aggregate->Dimensions() != 1 || !aggregate->BaseType()) return nullptr;
  return static_cast<const cct_AggregateType_1d*>(aggregate);
}

cct_Instance* Usable(cct_Instance* instance) {
  return instance && instance->Kind() == cct_KIND_INSTANCE && !instance->IsKilled() ? instance : nullptr;
}

class Builder : WorkplanWalk::Visitor {
 public:
  explicit Builder(ToolpathScene& out)
      : out_(out), scene_(out.scene), problems_(problemsSeen_), geometry_(r_, problems_, budget_) {}

  void Run(cct_Scope& scope, const std::vector<const cct_Instance*>* candidates) {
    const cct_Instance* project = Project(scope, candidates);
    if (!project) return;
    scene_.hasProject = true;
    // The combined schema has no unit entities: ISO 14649 measures every length in millimetres.
    scene_.lengthUnit = "mm";
    const cct_Instance* main = r_.Ref(*project, "main_workplan");
    if (!main) {
      problems_.Add(project, "the project has no main workplan; nothing to draw");
      return;
    }
    WorkplanWalk(r_, geometry_, problems_, *this).Run(*main);
    SecurityPlanes();
    if (budget_.exhausted)
      problems_.Add(InstanceLabel(project), "the scene holds more points than can be drawn; the rest "
                                            "of the program is not drawn");
  }

 private:
  // FirstProject, without its walk over every name where the projects are at hand and there is
  // one: which of several comes first is the name table's order, which only that walk tells.
  const cct_Instance* Project(cct_Scope& scope, const std::vector<const cct_Instance*>* candidates) {
    if (!candidates) return FirstProject(r_, scope);
    const cct_Instance* project = nullptr;
    size_t projects = 0;
    for (const cct_Instance* instance : *candidates)
      if (instance && instance->Kind() == cct_KIND_INSTANCE && !instance->IsKilled() && r_.Is(*instance, "project") &&
          ++projects == 1)
        project = instance;
    return projects > 1 ? FirstProject(r_, scope) : project;
  }

  bool Stop() override { return budget_.exhausted; }

  // Each workpiece once, where its first placed setup puts it.
  void Setup(const SetupFrames& setup) override {
    for (const SetupFrames::Workpiece& w : setup.workpieces)
      if (setup.placed && w.placed && w.workpiece && drawnWorkpieces_.insert(w.workpiece).second)
        Workpiece(*w.workpiece, w.frame.Within(setup.origin));
  }

  void Workpiece(const cct_Instance& workpiece, const Placement& frame) {
    const cct_Instance* shape = r_.Ref(workpiece, "its_bounding_geometry");
    if (!shape) return;  // optional: a workpiece without a bounding shape draws nothing
    double x = 0, y = 0, z = 0;
    Placement position;
    const std::string source = InstanceLabel(&workpiece);
    if (r_.Is(*shape, "right_circular_cylinder")) {
      // Its axis placement has a location and an axis only: the frame's x axis is arbitrary.
      const cct_Instance* axis = r_.Ref(*shape, "position");
      Vec3 origin, direction{0, 0, 1};
      if (!axis || !geometry_.Point(r_.Ref(*axis, "location"), origin) || !r_.Number(*shape, "height", z) ||
          !r_.Number(*shape, "radius", x)) {
        problems_.Add(shape, "the cylinder's position, height or radius is unset; not drawn");
        return;
      }
      geometry_.Direction(r_.Ref(*axis, "axis"), direction);
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
    if (!r_.Is(*shape, "block")) {
      problems_.Add(shape, "a workpiece shape of kind " + std::string(shape->TypeName()) +
                               " cannot be drawn (only a block or a cylinder)");
      return;
    }
    if (!geometry_.Axis2(r_.Ref(*shape, "position"), position, shape, "the block's position")) return;
    if (!r_.Number(*shape, "x", x) || !r_.Number(*shape, "y", y) || !r_.Number(*shape, "z", z)) {
      problems_.Add(shape, "the block's x, y or z is unset; not drawn");
      return;
    }
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
    scene_.workingsteps.push_back({InstanceLabel(&step), r_.Text(step, "its_id")});
    const cct_Instance* feature = r_.Ref(step, "its_feature");
    const cct_Instance* operation = r_.Ref(step, "its_operation");
    if (!operation && r_.Is(step, "operation")) operation = &step;  // a rapid movement is both
    const bool brokenFeature = !feature && r_.Value(step, "its_feature");
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
    if (const cct_Instance* plane = r_.Ref(step, "its_secplane"))
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

  bool HasToolpaths(const cct_Instance& operation) { return r_.Ref(operation, "its_toolpath") != nullptr; }

  // Draws the feature once and turns `frame` into the feature's system; false when the feature
  // has no placement.
  bool Feature(const cct_Instance& feature, Placement& frame, int index) {
    auto known = features_.find(&feature);
    if (known != features_.end()) {
      if (known->second.first) frame = known->second.second;
      return known->second.first;
    }
    Placement placement;
    bool placed = false;
    if (r_.Value(feature, "feature_placement"))
      placed = geometry_.Axis2(r_.Ref(feature, "feature_placement"), placement, &feature,
                               "the feature's placement");
    else
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
    const cct_Instance* list = r_.Ref(operation, "its_toolpath");
    if (!list) return;
    std::vector<cct_Instance*> paths;
    r_.Refs(*list, "its_list", paths);
    for (const cct_Instance* path : paths) {
      if (budget_.exhausted) return;
      if (!path) {
        problems_.Add(list, "a toolpath of the list is missing (unset or a name never defined)");
        continue;
      }
      if (r_.Is(*path, "feedstop")) continue;  // a pause: nothing to draw
      const cct_Instance* curve = nullptr;
      if (r_.Is(*path, "cutter_location_trajectory") || r_.Is(*path, "cutter_contact_trajectory")) {
        curve = r_.Ref(*path, "basiccurve");
        // A contact curve may come with its normals: the curve itself is what is drawn.
        if (curve && r_.Is(*curve, "curve_with_normal_vector")) curve = r_.Ref(*curve, "basiccurve");
        if (!curve) {
          problems_.Add(path, "the trajectory's curve is unset or a name never defined; not drawn");
          continue;
        }
      } else {
        problems_.Add(path, "a toolpath of kind " + std::string(path->TypeName()) + " cannot be drawn");
        continue;
      }
      if (r_.Is(*curve, "polyline")) {
        // What the scene's polyline asks before it reads a point: two of them at least, and
        // room for all in the budget. The points themselves wait for the visit.
        const cct_AggregateType_1d* list = List(r_.Value(*curve, "points"));
        const long count = list ? static_cast<long>(list->Count()) : 0;
        if (count < 2 || !budget_.Take(count)) continue;
        SceneToolpath toolpath;
        toolpath.source = InstanceLabel(path);
        toolpath.workingstep = index;
        toolpath.frame = frame;
        toolpath.polyline = curve;
        Keep(std::move(toolpath));
        continue;
      }
      std::vector<Vec3> points;
      if (!geometry_.Curve(curve, points) || points.size() < 2) continue;
      for (Vec3& p : points) p = frame.Apply(p);
      if (!AllFinite(points)) continue;
      SceneToolpath toolpath;
      toolpath.source = InstanceLabel(path);
      toolpath.workingstep = index;
      toolpath.frame = frame;
      toolpath.points = std::move(points);
      Keep(std::move(toolpath));
    }
  }

  void Keep(SceneToolpath toolpath) {
    out_.toolpaths.push_back(std::move(toolpath));
    drawnBefore_.push_back(scene_.paths.size());
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
      if (!geometry_.Axis2(r_.Ref(*pending.plane, "position"), plane, pending.plane,
                           "the security plane's position"))
        continue;
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

  // Without a workpiece the planes span everything drawn, the toolpaths' points included: as
  // Scene::Bounds goes over the scene's paths, the toolpaths in their places among the others
  // (of equal coordinates, the first met is the one kept: a 0 and a -0 print differently).
  bool BoundsOfAll(Vec3& low, Vec3& high) {
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

  void Add(ShapeKind kind, std::vector<Vec3> points, bool closed, const std::string& source, int index) {
    if (!AllFinite(points)) {
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

  ToolpathScene& out_;
  Scene& scene_;
  std::vector<SceneProblem> problemsSeen_;  // the scene's problems are not this reader's business
  Reader r_;
  Problems problems_;
  Budget budget_;
  Geometry geometry_;
  std::unordered_map<const cct_Instance*, std::pair<bool, Placement>> features_;
  std::unordered_set<const cct_Instance*> drawnWorkpieces_, planesSeen_;
  std::vector<PendingPlane> planes_;
  std::vector<size_t> drawnBefore_;  // per toolpath, the number of scene paths drawn before it
};

}  // namespace

ToolpathScene BuildToolpathScene(cct_Scope& scope, const std::vector<const cct_Instance*>* projects) {
  ToolpathScene out;
  Builder builder(out);
  builder.Run(scope, projects);
  return out;
}

// ---- the points ----

struct ToolpathPoints::Cache {
  Reader reader;
  std::vector<SceneProblem> problemsSeen;
  Problems problems{problemsSeen};
  Budget budget;
  Geometry geometry{reader, problems, budget};
  // Where an entity type keeps its coordinates: the points of one file are nearly all of one
  // type, so the last answer is almost always the one asked for.
  long lastType = -1;
  long lastPosition = -1;
  std::unordered_map<long, long> positions;

  long CoordinatesAt(const cct_Instance& point) {
    const long type = point.TypeID();
    if (type == lastType) return lastPosition;
    auto known = positions.find(type);
    if (known == positions.end()) {
      long position = -1;
      const long count = point.AttributeCount();
      for (long i = 0; i < count; ++i) {
        const char* name = point.AttributeName(i);
        if (name && std::strcmp(name, "coordinates") == 0) {
          position = i;
          break;
        }
      }
      known = positions.emplace(type, position).first;
    }
    lastType = type;
    return lastPosition = known->second;
  }

  // The coordinates of a point as the array of reals they are kept in (always, in practice):
  // null with `other` false when it has none, with `other` true when they are kept otherwise.
  const double* Reals(const cct_Instance& point, uint32_t& n, bool& other) {
    other = false;
    const long position = CoordinatesAt(point);
    if (position < 0) return nullptr;
    const cct_AggregateType_1d* list = List(point.Attribute(position));
    if (!list) return nullptr;
    n = list->Count();
    if (list->ElementDescriptor()->kind != cct_KIND_REAL || list->SizeOfElement() != sizeof(double) || n == 0) {
      other = true;
      return nullptr;
    }
    return static_cast<const double*>(list->Element(0));
  }

  // Geometry::Point, read from the array of reals Reals found, else through the scene reader
  // itself.
  bool Point(const cct_Instance& point, const double* c, uint32_t n, bool other, Vec3& out) {
    if (other) return geometry.Point(&point, out);
    if (!c) return false;
    for (uint32_t k = 0; k < n; ++k)
      if (!std::isfinite(c[k])) return false;
    out = {c[0], n > 1 ? c[1] : 0, n > 2 ? c[2] : 0};
    return true;
  }
  bool Point(const cct_Instance& point, Vec3& out) {
    uint32_t n = 0;
    bool other = false;
    const double* c = Reals(point, n, other);
    return Point(point, c, n, other, out);
  }
};

ToolpathPoints::ToolpathPoints() : cache_(std::make_unique<Cache>()) {}
ToolpathPoints::~ToolpathPoints() = default;

bool ToolpathPoints::Visit(const SceneToolpath& path, const Take& take) {
  if (!path.polyline) {
    if (!path.points.empty()) take(path.points.data(), path.points.size());
    return true;
  }
  Cache& c = *cache_;
  const cct_AggregateType_1d* list = List(c.reader.Value(*path.polyline, "points"));
  if (!list || list->Count() < 2) return false;
  Vec3 run[kRun];
  size_t filled = 0;
  auto put = [&](const Vec3& local) {
    const Vec3 p = path.frame.Apply(local);
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
    run[filled++] = p;
    if (filled == kRun) {
      take(run, filled);
      filled = 0;
    }
    return true;
  };
  if (list->ElementDescriptor()->kind != cct_KIND_ENTITY_REFERENCE) {
    // A list of selects or of anything: as the scene reader resolves its elements.
    std::vector<cct_Instance*> points;
    c.reader.Refs(*path.polyline, "points", points);
    for (const cct_Instance* point : points) {
      Vec3 local;
      if (!point || !c.Point(*point, local) || !put(local)) return false;
    }
  } else {
    const uint32_t count = list->Count(), size = list->SizeOfElement();
    const auto* raw = static_cast<const unsigned char*>(list->Element(0));
    if (!raw) return false;
    // Each point is three hops away (entry, instance, its array of coordinates), in memory laid
    // out by the reader rather than by the list: each hop of the points ahead is asked for a
    // little before the next needs it, so that the loads overlap instead of each waiting for
    // the last. Where the coordinates of a point ahead are is found once, kept until its turn.
    const bool viaEntry = (list->Flags() & cct_FLAG_VIA_ENTRY) != 0;
    auto held = [&](uint32_t i) -> const cct_Instance* {
      const void* p;
      std::memcpy(&p, raw + static_cast<size_t>(i) * size, sizeof p);
      if (viaEntry) return p ? static_cast<const cct_Scope::Entry*>(p)->instance : nullptr;
      return static_cast<const cct_Instance*>(p);
    };
    struct Ahead {
      const cct_Instance* point = nullptr;
      const double* coordinates = nullptr;
      uint32_t n = 0;
      bool other = false;
    } ahead[kCoordinatesAhead];
    auto look = [&](uint32_t i) {
      Ahead& a = ahead[i % kCoordinatesAhead];
      a = Ahead{};
      const cct_Instance* point = held(i);
      if (!point || point->Kind() != cct_KIND_INSTANCE) return;
      a.point = point;
      a.coordinates = c.Reals(*point, a.n, a.other);
      if (a.coordinates) __builtin_prefetch(a.coordinates);
    };
    for (uint32_t i = 0; i < kCoordinatesAhead && i < count; ++i) look(i);
    for (uint32_t i = 0; i < count; ++i) {
      if (viaEntry && i + kEntryAhead < count) {
        const void* entry;
        std::memcpy(&entry, raw + static_cast<size_t>(i + kEntryAhead) * size, sizeof entry);
        __builtin_prefetch(entry);
      }
      if (i + kInstanceAhead < count)
        if (const cct_Instance* next = held(i + kInstanceAhead)) {
          __builtin_prefetch(next);
          __builtin_prefetch(reinterpret_cast<const char*>(next) + 64);
        }
      const Ahead known = ahead[i % kCoordinatesAhead];
      if (i + kCoordinatesAhead < count) look(i + kCoordinatesAhead);
      const unsigned char* element = raw + static_cast<size_t>(i) * size;
      cct_Instance* point = nullptr;
      if (cct_Scope::Entry* entry = list->ElementEntry(element)) {
        if (!entry->instance && entry->scope) entry->scope->FindEntry(entry->name, 1);
        point = Usable(entry->instance);
      } else if (cct_Instance* held = list->ElementInstance(element)) {
        held->DropReference();  // the list keeps its own count; we only look
        point = Usable(held);
      }
      Vec3 local;
      if (!point) return false;
      const bool read = point == known.point ? c.Point(*point, known.coordinates, known.n, known.other, local)
                                             : c.Point(*point, local);
      if (!read || !put(local)) return false;
    }
  }
  if (filled) take(run, filled);
  return true;
}

}  // namespace varnholt

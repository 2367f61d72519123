// The scene for a reader of every toolpath point: BuildToolpathScene follows the machining
// model's walk of the workplans and places what they machine as scene.cpp's Builder does, step for step
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
#include "scene_builder.h"
#include "scene_read.h"
#include "model/walk.h"
#include "varnholt/model_read.h"

namespace varnholt {
namespace {

using namespace scene_detail;

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

class Builder : public SceneBuilder {
 public:
  explicit Builder(ToolpathScene& out) : SceneBuilder(out.scene, nullptr), out_(out) {}

  void Run(const Model& model) { Build(model); }

 private:
  void Toolpath(const cct_Instance& pathInstance, const cct_Instance& curveInstance, const Placement& frame,
                int index) override {
    const cct_Instance* path = &pathInstance;
    const cct_Instance* curve = &curveInstance;
    if (r_.Is(*curve, "polyline")) {
      // What the scene's polyline asks before it reads a point: two of them at least, and
      // room for all in the budget. The points themselves wait for the visit.
      const cct_AggregateType_1d* list = List(r_.Value(*curve, "points"));
      const long count = list ? static_cast<long>(list->Count()) : 0;
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

// The points of a toolpath's polyline, read straight from the coordinate arrays of its points
// when a visit asks for them (ToolpathPoints), and what the scene of toolpaths asks of a
// polyline before: how many points it has.
#include "read_points.h"

#include <cmath>
#include <cstring>
#include <unordered_map>

#include "cct/aggr.h"
#include "cct/instance.h"
#include "cct/scope.h"
#include "varnholt/scene_toolpaths.h"

namespace varnholt {
namespace {

using namespace scene_detail;

constexpr size_t kRun = 256;  // points handed over at a time
// How far ahead a visit asks for the entries of points, their instances and their coordinates.
constexpr uint32_t kEntryAhead = 48, kInstanceAhead = 32, kCoordinatesAhead = 16;

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

}  // namespace

long model_detail::PolylinePoints(Reader& r, const cct_Instance& curve) {
  if (!r.Is(curve, "polyline")) return -1;
  const cct_AggregateType_1d* list = List(r.Value(curve, "points"));
  return list ? static_cast<long>(list->Count()) : 0;
}


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

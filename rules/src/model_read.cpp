#include "model_read.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "checks.h"
#include "cct/aggr.h"
#include "cct/instance.h"
#include "expr.h"
#include "varnholt/navigation.h"

namespace varnholt::rules {

namespace {

constexpr size_t kMaxPoints = 20000;  // a curve of more is not looked at whole


bool Direction(const cct_Instance* direction, Vec3& out) {
  if (!direction) return false;
  Value ratios = FromModel(AttributeNamed(*direction, "direction_ratios"));
  if (ratios.kind != Value::List || ratios.list.size() < 2) return false;
  double c[3] = {0, 0, 0};
  for (size_t i = 0; i < ratios.list.size() && i < 3; ++i) {
    if (ratios.list[i].kind != Value::Number) return false;
    c[i] = ratios.list[i].number;
  }
  out = Normalized({c[0], c[1], c[2]});
  return out.x != 0 || out.y != 0 || out.z != 0;
}

bool Point(const cct_Instance* point, Vec3& out) {
  if (!point || !IsOfType(*point, "cartesian_point")) return false;
  Value coordinates = FromModel(AttributeNamed(*point, "coordinates"));
  if (coordinates.kind != Value::List || coordinates.list.empty()) return false;
  double c[3] = {0, 0, 0};
  for (size_t i = 0; i < coordinates.list.size() && i < 3; ++i) {
    if (coordinates.list[i].kind != Value::Number) return false;
    c[i] = coordinates.list[i].number;
  }
  out = {c[0], c[1], c[2]};
  return true;
}

}  // namespace

const cct_Instance* Ref(const cct_Instance* instance, const char* attribute) {
  if (!instance) return nullptr;
  Value v = FromModel(AttributeNamed(*instance, attribute));
  return v.kind == Value::Instance ? v.instance : nullptr;
}

std::vector<const cct_Instance*> Refs(const cct_Instance* instance, const char* attribute) {
  std::vector<const cct_Instance*> out;
  if (!instance) return out;
  Value v = FromModel(AttributeNamed(*instance, attribute));
  if (v.kind != Value::List) return out;
  for (const Value& m : v.list)
    if (m.kind == Value::Instance) out.push_back(m.instance);
  return out;
}

size_t RefCount(const cct_Instance* instance, const char* attribute) {
  if (!instance) return 0;
  const cct_Type* value = AttributeNamed(*instance, attribute);
  const auto* list = value && value->IsSet() && value->Kind() == cct_KIND_AGGREGATE
                         ? static_cast<const cct_AggregateType*>(value)
                         : nullptr;
  if (!list || !list->BaseType() || list->Dimensions() != 1 ||
      list->ElementDescriptor()->kind != cct_KIND_ENTITY_REFERENCE)
    return Refs(instance, attribute).size();
  // As FromModel reads a list of references: an element counts when it designates a live
  // instance (an entry without one stands for a name never defined).
  const auto* one = static_cast<const cct_AggregateType_1d*>(list);
  size_t count = 0;
  for (uint32_t i = 0; i < one->Count(); ++i) {
    const void* element = one->Element(i);
    const cct_Instance* target = nullptr;
    if (const cct_Scope::Entry* entry = one->ElementEntry(element))
      target = entry->instance;
    else if (!(one->Flags() & cct_FLAG_VIA_ENTRY))
      std::memcpy(&target, element, sizeof target);
    count += target && target->IsSet() && target->Kind() == cct_KIND_INSTANCE && !target->IsKilled();
  }
  return count;
}

bool Num(const cct_Instance* instance, const char* attribute, double& out) {
  if (!instance) return false;
  Value v = FromModel(AttributeNamed(*instance, attribute));
  if (v.kind == Value::Instance) v = FromModel(AttributeNamed(*v.instance, "theoretical_size"));
  if (v.kind != Value::Number) return false;
  out = v.number;
  return true;
}

bool Text(const cct_Instance* instance, const char* attribute, std::string& out) {
  if (!instance) return false;
  Value v = FromModel(AttributeNamed(*instance, attribute));
  if (v.kind != Value::Text) return false;
  out = v.text;
  return true;
}

std::string Label(const cct_Instance* instance) {
  const char* name = instance ? instance->InstanceName() : nullptr;
  return std::string("#") + (name ? name : "?");
}

std::string Fmt(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.6g", value);
  return buffer;
}

bool ReadPlacement(const cct_Instance* axis2, Placement& placement) {
  if (!axis2) return false;
  if (!Point(Ref(axis2, "location"), placement.origin)) return false;
  Vec3 z{0, 0, 1}, x{1, 0, 0};
  if (Ref(axis2, "axis") && !Direction(Ref(axis2, "axis"), z)) return false;
  if (Ref(axis2, "ref_direction") && !Direction(Ref(axis2, "ref_direction"), x)) return false;
  // x made perpendicular to z; one parallel to z is replaced as the resource schema does.
  double d = x.x * z.x + x.y * z.y + x.z * z.z;
  Vec3 px{x.x - d * z.x, x.y - d * z.y, x.z - d * z.z};
  if (std::sqrt(px.x * px.x + px.y * px.y + px.z * px.z) < 1e-12) {
    px = std::fabs(z.x) < 0.9 ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
    d = px.x * z.x + px.y * z.y + px.z * z.z;
    px = {px.x - d * z.x, px.y - d * z.y, px.z - d * z.z};
  }
  px = Normalized(px);
  const Vec3 y{z.y * px.z - z.z * px.y, z.z * px.x - z.x * px.z, z.x * px.y - z.y * px.x};
  placement.axis[0] = px;
  placement.axis[1] = y;
  placement.axis[2] = z;
  return true;
}

namespace {

// Curves within curves are followed a bounded number of times in all, so that composite curves
// that share or contain their parts cannot make the walk grow without end.
bool Points(const cct_Instance* curve, std::vector<Vec3>& points, int depth, long& budget);

}  // namespace

bool CurvePoints(const cct_Instance* curve, std::vector<Vec3>& points, int depth) {
  long budget = 10000;
  return Points(curve, points, depth, budget);
}

namespace {

bool Points(const cct_Instance* curve, std::vector<Vec3>& points, int depth, long& budget) {
  if (!curve || depth > 16 || points.size() > kMaxPoints || --budget < 0) return false;
  auto add = [&](const std::vector<const cct_Instance*>& list) {
    for (const cct_Instance* p : list) {
      Vec3 v;
      if (!Point(p, v)) return false;
      points.push_back(v);
    }
    return !list.empty();
  };
  if (IsOfType(*curve, "polyline")) return add(Refs(curve, "points"));
  if (IsOfType(*curve, "b_spline_curve")) return add(Refs(curve, "control_points_list"));
  if (IsOfType(*curve, "composite_curve")) {
    bool any = false;
    for (const cct_Instance* segment : Refs(curve, "segments")) {
      if (!Points(Ref(segment, "parent_curve"), points, depth + 1, budget)) return false;
      any = true;
    }
    return any;
  }
  if (IsOfType(*curve, "trimmed_curve")) {
    // The two trimming points, where the trims are given as points.
    for (const char* trim : {"trim_1", "trim_2"}) {
      bool found = false;
      for (const cct_Instance* p : Refs(curve, trim)) {
        Vec3 v;
        if (Point(p, v)) {
          points.push_back(v);
          found = true;
          break;
        }
      }
      if (!found) return false;
    }
    return true;
  }
  return false;
}

}  // namespace

bool ToolDiameter(const cct_Instance* tool, double& diameter) {
  const cct_Instance* body = Ref(tool, "its_tool_body");
  return Num(Ref(body, "dimension"), "diameter", diameter);
}

}  // namespace varnholt::rules

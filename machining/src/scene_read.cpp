// Attribute values, placements and curve points for the scene builder.
#include "scene_read.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "cct/aggr.h"
#include "cct/entitytype.h"
#include "cct/instance.h"
#include "cct/selecttype.h"

namespace varnholt::scene_detail {
namespace {

constexpr int kMaxCurveDepth = 16;        // composite curves within composite curves
constexpr int kMaxDegree = 25;            // well beyond what any writer uses
constexpr long kMaxSamplesPerCurve = 4096;



cct_Instance* Usable(cct_Type* value) {
  if (!value || value->Kind() != cct_KIND_INSTANCE) return nullptr;
  auto* instance = static_cast<cct_Instance*>(value);
  return instance->IsKilled() ? nullptr : instance;
}

// The instance a value designates, for references, selects and instances alike.
cct_Instance* Target(const cct_Type* value) {
  if (!value || !value->IsSet()) return nullptr;
  switch (value->Kind()) {
    case cct_KIND_ENTITY_REFERENCE: return Usable(static_cast<const cct_EntityType*>(value)->Get(0));
    case cct_KIND_SELECT: {
      const auto* select = static_cast<const cct_SelectType*>(value);
      if (select->HeldKind() != cct_KIND_INSTANCE) return nullptr;
      cct_Type* held = select->Get(0, 0);
      if (held && held->IsTemporary()) {  // never for an instance; guarded all the same
        delete held;
        return nullptr;
      }
      return Usable(held);
    }
    case cct_KIND_INSTANCE: return Usable(const_cast<cct_Type*>(value));
    default: return nullptr;
  }
}

const cct_AggregateType_1d* List(const cct_Type* value) {
  if (!value || !value->IsSet() || value->Kind() != cct_KIND_AGGREGATE) return nullptr;
  const auto* aggregate = static_cast<const cct_AggregateType*>(value);
  if (aggregate->Dimensions() != 1 || !aggregate->BaseType()) return nullptr;
  return static_cast<const cct_AggregateType_1d*>(aggregate);
}

}  // namespace

std::string InstanceLabel(const cct_Instance* instance) {
  const char* name = instance ? instance->InstanceName() : nullptr;
  return std::string("#") + (name ? name : "?");
}

// ---- Reader ----

const cct_Type* Reader::Value(const cct_Instance& instance, const char* name) {
  const Key key{instance.TypeID(), name};
  auto found = index_.find(key);
  if (found == index_.end()) {
    long position = -1;
    const long count = instance.AttributeCount();
    for (long i = 0; i < count; ++i) {
      const char* attribute = instance.AttributeName(i);
      if (attribute && std::strcmp(attribute, name) == 0) {
        position = i;
        break;
      }
    }
    // Kept records share the type number 0 and have no attributes: the answer holds for all.
    found = index_.emplace(key, position).first;
  }
  return found->second < 0 ? nullptr : instance.Attribute(found->second);
}

cct_Instance* Reader::Ref(const cct_Instance& instance, const char* name) {
  return Target(Value(instance, name));
}

bool Reader::Number(const cct_Type* value, double& out, int depth) {
  if (!value || !value->IsSet()) return false;
  double v = 0;
  switch (value->Kind()) {
    case cct_KIND_REAL:
    case cct_KIND_INTEGER: v = value->GetReal(); break;
    case cct_KIND_SELECT: {
      const auto* select = static_cast<const cct_SelectType*>(value);
      if (select->HeldKind() == cct_KIND_INSTANCE) return Number(Target(value), out, depth);
      if (select->HeldKind() != cct_KIND_REAL && select->HeldKind() != cct_KIND_INTEGER) return false;
      cct_Type* held = select->Get(0, 0);
      if (!held) return false;
      v = held->GetReal();
      if (held->IsTemporary()) delete held;
      break;
    }
    case cct_KIND_ENTITY_REFERENCE:
    case cct_KIND_INSTANCE: {
      // Measures with a tolerance or a unit carry the number one level down.
      const cct_Instance* measure = Target(value);
      if (!measure || depth > 2) return false;
      const cct_Type* inner = Value(*measure, "theoretical_size");
      if (!inner) inner = Value(*measure, "its_parameter_value");
      return Number(inner, out, depth + 1);
    }
    default: return false;
  }
  if (!std::isfinite(v)) return false;
  out = v;
  return true;
}

bool Reader::Number(const cct_Instance& instance, const char* name, double& out) {
  return Number(Value(instance, name), out);
}

bool Reader::Flag(const cct_Instance& instance, const char* name, bool& out) {
  const cct_Type* value = Value(instance, name);
  if (!value || !value->IsSet()) return false;
  if (value->Kind() != cct_KIND_BOOLEAN && value->Kind() != cct_KIND_LOGICAL) return false;
  const long v = value->GetInteger();
  if (v < 0 || v > 1) return false;  // unknown
  out = v == 1;
  return true;
}

std::string Reader::Text(const cct_Instance& instance, const char* name) {
  const cct_Type* value = Value(instance, name);
  if (!value || !value->IsSet()) return {};
  const long kind = value->Kind();
  if (kind != cct_KIND_STRING && kind != cct_KIND_ENUMERATION) return {};
  const char* text = value->GetString();
  return text ? text : "";
}

std::string Reader::HeldText(const cct_Type* value) {
  if (!value || !value->IsSet()) return {};
  const long kind = value->Kind();
  if (kind == cct_KIND_STRING || kind == cct_KIND_ENUMERATION) {
    const char* text = value->GetString();
    return text ? text : "";
  }
  if (kind != cct_KIND_SELECT) return {};
  const auto* select = static_cast<const cct_SelectType*>(value);
  if (select->HeldKind() != cct_KIND_STRING && select->HeldKind() != cct_KIND_ENUMERATION) return {};
  cct_Type* held = select->Get(0, 0);
  if (!held) return {};
  const char* text = held->GetString();
  std::string out = text ? text : "";
  if (held->IsTemporary()) delete held;
  return out;
}

bool Reader::Items(const cct_Instance& instance, const char* name, std::vector<Item>& out) {
  out.clear();
  const cct_AggregateType_1d* list = List(Value(instance, name));
  if (!list) return false;
  const long kind = list->ElementDescriptor()->kind;
  const uint32_t size = list->SizeOfElement();
  out.reserve(list->Count());
  for (uint32_t i = 0; i < list->Count(); ++i) {
    const void* raw = list->Element(i);
    Item item;
    if (kind == cct_KIND_ENTITY_REFERENCE) {
      if (cct_Scope::Entry* entry = list->ElementEntry(raw)) {
        if (!entry->instance && entry->scope) entry->scope->FindEntry(entry->name, 1);
        item.instance = Usable(entry->instance);
      } else if (cct_Instance* held = list->ElementInstance(raw)) {
        held->DropReference();  // the list keeps its own count; we only look
        item.instance = Usable(held);
      }
    } else if (kind == cct_KIND_REAL && size == sizeof(double)) {
      std::memcpy(&item.number, raw, sizeof(double));
      item.hasNumber = std::isfinite(item.number);
    } else if (kind == cct_KIND_INTEGER && size == sizeof(int32_t)) {
      int32_t v;
      std::memcpy(&v, raw, sizeof v);
      item.number = v;
      item.hasNumber = true;
    } else if (kind == cct_KIND_SELECT) {
      cct_Type* select = nullptr;
      std::memcpy(&select, raw, sizeof select);
      if (select) {
        item.instance = Target(select);
        if (!item.instance) item.hasNumber = Number(select, item.number);
      }
    } else {
      cct_Type* element = list->ElementObject(i);
      if (element) {
        item.instance = Target(element);
        if (!item.instance) item.hasNumber = Number(element, item.number);
        if (element->IsTemporary()) delete element;
      }
    }
    out.push_back(item);
  }
  return true;
}

bool Reader::Refs(const cct_Instance& instance, const char* name, std::vector<cct_Instance*>& out) {
  std::vector<Item> items;
  out.clear();
  if (!Items(instance, name, items)) return false;
  out.reserve(items.size());
  for (const Item& item : items) out.push_back(item.instance);
  return true;
}

bool Reader::Numbers(const cct_Instance& instance, const char* name, std::vector<double>& out) {
  std::vector<Item> items;
  out.clear();
  if (!Items(instance, name, items)) return false;
  for (const Item& item : items) {
    if (!item.hasNumber) return false;
    out.push_back(item.number);
  }
  return true;
}

bool Reader::Is(const cct_Instance& instance, const char* entity) {
  const Key key{instance.TypeID(), entity};
  auto found = isA_.find(key);
  if (found == isA_.end()) found = isA_.emplace(key, instance.HasSupertype(entity)).first;
  return found->second;
}

// ---- Problems ----

void Problems::Add(const cct_Instance* instance, const std::string& text) {
  Add(InstanceLabel(instance), text);
}

void Problems::Add(const std::string& instance, const std::string& text) {
  if (!seen_.insert(instance).second) return;
  out_.push_back({instance, text});
}

// ---- Geometry ----

bool Geometry::Point(const cct_Instance* point, Vec3& out) {
  std::vector<double> c;
  if (!point || !r_.Numbers(*point, "coordinates", c) || c.empty()) return false;
  out = {c[0], c.size() > 1 ? c[1] : 0, c.size() > 2 ? c[2] : 0};
  return true;
}

bool Geometry::Direction(const cct_Instance* direction, Vec3& out) {
  std::vector<double> c;
  if (!direction || !r_.Numbers(*direction, "direction_ratios", c) || c.size() < 2) return false;
  const Vec3 v{c[0], c[1], c.size() > 2 ? c[2] : 0};
  const double length = Length(v);
  if (!(length > 1e-12) || !std::isfinite(length)) return false;
  out = Mul(v, 1 / length);
  return true;
}

bool Geometry::Axis2(const cct_Instance* placement, Placement& out, const cct_Instance* owner,
                     const char* what) {
  Vec3 origin;
  if (!placement || !Point(r_.Ref(*placement, "location"), origin)) {
    problems_.Add(owner, std::string(what) + (placement ? " has no location" : " is missing") +
                             "; not drawn");
    return false;
  }
  Vec3 z{0, 0, 1}, x{1, 0, 0};
  Direction(r_.Ref(*placement, "axis"), z);
  const bool hasX = Direction(r_.Ref(*placement, "ref_direction"), x);
  // The reference direction is only a hint: what of it lies across the axis is the x axis.
  Vec3 across = Sub(x, Mul(z, Dot(x, z)));
  if (!hasX || Length(across) < 1e-9) {
    const Vec3 helper = std::fabs(z.x) < 0.9 ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
    across = Sub(helper, Mul(z, Dot(helper, z)));
  }
  x = Mul(across, 1 / Length(across));
  out.origin = origin;
  out.axis[0] = x;
  out.axis[1] = Cross(z, x);
  out.axis[2] = z;
  return true;
}

bool Geometry::Curve(const cct_Instance* curve, std::vector<Vec3>& out, int depth) {
  if (!curve) return false;
  if (depth > kMaxCurveDepth) {
    problems_.Add(curve, "curves nest too deeply (a reference cycle?); not drawn");
    return false;
  }
  if (r_.Is(*curve, "polyline")) return Polyline(*curve, out);
  if (r_.Is(*curve, "composite_curve")) return Composite(*curve, out, depth);
  if (r_.Is(*curve, "trimmed_curve")) return Trimmed(*curve, out, depth);
  if (r_.Is(*curve, "b_spline_curve")) return BSpline(*curve, out);
  if (r_.Is(*curve, "circle")) return Circle(*curve, out);
  problems_.Add(curve, std::string("a curve of kind ") + (curve->TypeName() ? curve->TypeName() : "?") +
                           " cannot be drawn");
  return false;
}

bool Geometry::Polyline(const cct_Instance& curve, std::vector<Vec3>& out) {
  std::vector<cct_Instance*> points;
  r_.Refs(curve, "points", points);
  if (points.size() < 2) {
    problems_.Add(&curve, "the polyline has fewer than two points; not drawn");
    return false;
  }
  if (!budget_.Take(static_cast<long>(points.size()))) return false;
  const size_t first = out.size();
  for (const cct_Instance* point : points) {
    Vec3 p;
    if (!Point(point, p)) {
      out.resize(first);
      problems_.Add(&curve, "a point of the polyline is missing or has no coordinates; not drawn");
      return false;
    }
    out.push_back(p);
  }
  return true;
}

bool Geometry::Composite(const cct_Instance& curve, std::vector<Vec3>& out, int depth) {
  std::vector<cct_Instance*> segments;
  r_.Refs(curve, "segments", segments);
  if (segments.empty()) {
    problems_.Add(&curve, "the composite curve has no segments; not drawn");
    return false;
  }
  const size_t first = out.size();
  for (const cct_Instance* segment : segments) {
    const cct_Instance* parent = segment ? r_.Ref(*segment, "parent_curve") : nullptr;
    std::vector<Vec3> piece;
    // A segment that cannot be drawn (named in the problems) is bridged by a straight line, so
    // that the rest of the path still shows.
    if (!parent) {
      problems_.Add(segment ? segment : &curve, "the segment of the composite curve has no curve; "
                                                "bridged by a straight line");
      continue;
    }
    if (!Curve(parent, piece, depth + 1)) continue;
    bool same = true;
    r_.Flag(*segment, "same_sense", same);
    if (!same) std::reverse(piece.begin(), piece.end());
    // Consecutive segments share their joint; keep it once.
    size_t skip = 0;
    if (out.size() > first && !piece.empty() && Length(Sub(out.back(), piece.front())) < 1e-9) skip = 1;
    out.insert(out.end(), piece.begin() + static_cast<long>(skip), piece.end());
  }
  return out.size() > first;
}

void Geometry::Arc(const Placement& frame, double radius, double a0, double a1, std::vector<Vec3>& out) {
  const double sweep = a1 - a0;
  const int steps = std::clamp(static_cast<int>(std::ceil(std::fabs(sweep) / (2 * kPi) * 72)), 2, 360);
  for (int i = 0; i <= steps; ++i) {
    const double a = a0 + sweep * i / steps;
    out.push_back(frame.Apply({radius * std::cos(a), radius * std::sin(a), 0}));
  }
}

bool Geometry::CirclePosition(const cct_Instance& circle, Placement& frame, double& radius) {
  if (!Axis2(r_.Ref(circle, "position"), frame, &circle, "the circle's position")) return false;
  if (!r_.Number(circle, "radius", radius) || !(radius > 0)) {
    problems_.Add(&circle, "the circle has no positive radius; not drawn");
    return false;
  }
  return true;
}

bool Geometry::Circle(const cct_Instance& curve, std::vector<Vec3>& out) {
  Placement frame;
  double radius = 0;
  if (!CirclePosition(curve, frame, radius)) return false;
  if (!budget_.Take(73)) return false;
  Arc(frame, radius, 0, 2 * kPi, out);
  return true;
}

bool Geometry::CircleArc(const cct_Instance& curve, ArcPiece& out) {
  if (r_.Is(curve, "circle")) {
    out.a0 = 0;
    out.sweep = 2 * kPi;
    return CirclePosition(curve, out.frame, out.radius);
  }
  if (!r_.Is(curve, "trimmed_curve")) return false;
  const cct_Instance* basis = r_.Ref(curve, "basis_curve");
  return basis && r_.Is(*basis, "circle") && TrimmedCircle(curve, *basis, out);
}

// Trimming: by the parameter where the master representation says so or where no point is
// given, else by the point. Circle parameters are angles in degrees, as ISO 14649 files give
// every plane angle.
bool Geometry::Trimmed(const cct_Instance& curve, std::vector<Vec3>& out, int depth) {
  const cct_Instance* basis = r_.Ref(curve, "basis_curve");
  if (!basis) {
    problems_.Add(&curve, "the trimmed curve has no basis curve; not drawn");
    return false;
  }
  if (r_.Is(*basis, "circle")) {
    ArcPiece arc;
    if (!TrimmedCircle(curve, *basis, arc)) return false;
    if (!budget_.Take(361)) return false;
    Arc(arc.frame, arc.radius, arc.a0, arc.a0 + arc.sweep, out);
    return true;
  }
  TrimEnd end[2];
  bool byParameter = false;
  if (!Trims(curve, end, byParameter)) return false;
  auto useParameter = [&](const TrimEnd& e) { return e.hasParameter && (byParameter || !e.hasPoint); };
  if (r_.Is(*basis, "line")) {
    Vec3 origin, direction;
    double magnitude = 1;
    const cct_Instance* vector = r_.Ref(*basis, "dir");
    if (!Point(r_.Ref(*basis, "pnt"), origin) || !vector ||
        !Direction(r_.Ref(*vector, "orientation"), direction) ||
        !r_.Number(*vector, "magnitude", magnitude) || magnitude == 0) {
      problems_.Add(basis, "the line lacks its point or its vector; not drawn");
      return false;
    }
    const Vec3 step = Mul(direction, magnitude);
    for (const TrimEnd& e : end) {
      if (!budget_.Take(1)) return false;
      out.push_back(useParameter(e) ? Add(origin, Mul(step, e.parameter)) : e.point);
    }
    return true;
  }
  // Any other basis: drawn whole when it is bounded, else named as what cannot be drawn.
  if (r_.Is(*basis, "bounded_curve")) return Curve(basis, out, depth + 1);
  problems_.Add(basis, std::string("a curve of kind ") + (basis->TypeName() ? basis->TypeName() : "?") +
                           " cannot be drawn as the basis of a trimmed curve; left out");
  return false;
}

Vec3 Geometry::DeBoor(int p, const std::vector<double>& t, const std::vector<Vec3>& c, double u) {
  const int n = static_cast<int>(c.size()) - 1;
  // The span k with t[k] <= u < t[k+1], kept within the valid spans p..n.
  int k = static_cast<int>(std::upper_bound(t.begin() + p, t.begin() + n + 1, u) - t.begin()) - 1;
  k = std::clamp(k, p, n);
  std::vector<Vec3> d(c.begin() + (k - p), c.begin() + (k + 1));
  for (int r = 1; r <= p; ++r)
    for (int j = p; j >= r; --j) {
      const double left = t[j + k - p], right = t[j + 1 + k - r];
      const double alpha = right > left ? (u - left) / (right - left) : 0;
      d[j] = Add(Mul(d[j - 1], 1 - alpha), Mul(d[j], alpha));
    }
  return d[p];
}

bool Geometry::Trims(const cct_Instance& curve, TrimEnd (&end)[2], bool& byParameter) {
  std::vector<Reader::Item> trim[2];
  r_.Items(curve, "trim_1", trim[0]);
  r_.Items(curve, "trim_2", trim[1]);
  byParameter = r_.Text(curve, "master_representation") == "parameter";
  for (int k = 0; k < 2; ++k)
    for (const Reader::Item& item : trim[k]) {
      if (item.hasNumber && !end[k].hasParameter) {
        end[k].hasParameter = true;
        end[k].parameter = item.number;
      } else if (item.instance && !end[k].hasPoint) {
        end[k].hasPoint = Point(item.instance, end[k].point);
      }
    }
  for (const TrimEnd& e : end)
    if (!e.hasPoint && !e.hasParameter) {
      problems_.Add(&curve, "a trim of the trimmed curve has neither a point nor a parameter; not drawn");
      return false;
    }
  return true;
}

bool Geometry::TrimmedCircle(const cct_Instance& curve, const cct_Instance& basis, ArcPiece& out) {
  TrimEnd end[2];
  bool byParameter = false;
  if (!Trims(curve, end, byParameter)) return false;
  bool sense = true;
  r_.Flag(curve, "sense_agreement", sense);
  if (!CirclePosition(basis, out.frame, out.radius)) return false;
  double angle[2];
  for (int k = 0; k < 2; ++k) {
    if (end[k].hasParameter && (byParameter || !end[k].hasPoint)) {
      angle[k] = end[k].parameter * kPi / 180;
    } else {
      const Vec3 d = Sub(end[k].point, out.frame.origin);
      angle[k] = std::atan2(Dot(d, out.frame.axis[1]), Dot(d, out.frame.axis[0]));
    }
  }
  // With the sense the arc runs counter-clockwise from the first trim to the second, against
  // it clockwise; equal ends make the full circle.
  if (!std::isfinite(angle[0]) || !std::isfinite(angle[1])) {
    problems_.Add(&curve, "the trims of the circle are not finite; not drawn");
    return false;
  }
  // The sweep taken modulo a turn, so that an absurd parameter costs no more than a sane one.
  double sweep = std::fmod(angle[1] - angle[0], 2 * kPi);
  if (!std::isfinite(sweep)) sweep = 0;
  if (sense && sweep <= 1e-12) sweep += 2 * kPi;
  if (!sense && sweep >= -1e-12) sweep -= 2 * kPi;
  out.a0 = angle[0];
  out.sweep = sweep;
  return true;
}

bool Geometry::BSpline(const cct_Instance& curve, std::vector<Vec3>& out) {
  long degree = 0;
  {
    double d = 0;
    if (r_.Number(curve, "degree", d) && d >= 0 && d <= kMaxDegree) degree = static_cast<long>(d);
  }
  std::vector<cct_Instance*> refs;
  r_.Refs(curve, "control_points_list", refs);
  std::vector<Vec3> points;
  points.reserve(refs.size());
  for (const cct_Instance* ref : refs) {
    Vec3 p;
    if (!Point(ref, p)) {
      problems_.Add(&curve, "a control point of the b-spline is missing; not drawn");
      return false;
    }
    points.push_back(p);
  }
  const long count = static_cast<long>(points.size());
  if (degree < 1 || degree > kMaxDegree || count < degree + 1) {
    problems_.Add(&curve, "the b-spline has degree " + std::to_string(degree) + " and " +
                              std::to_string(count) + " control points; not drawn");
    return false;
  }
  const int p = static_cast<int>(degree);
  std::vector<double> knots;
  const long needed = count + p + 1;
  if (r_.Is(curve, "b_spline_curve_with_knots")) {
    std::vector<double> values, multiplicities;
    r_.Numbers(curve, "knots", values);
    r_.Numbers(curve, "knot_multiplicities", multiplicities);
    bool ok = !values.empty() && values.size() == multiplicities.size();
    long total = 0;
    for (size_t i = 0; ok && i < values.size(); ++i) {
      // Each multiplicity is checked before expanding, so an absurd one costs nothing.
      ok = multiplicities[i] >= 1 && multiplicities[i] <= p + 1 && (i == 0 || values[i] > values[i - 1]);
      total += ok ? static_cast<long>(multiplicities[i]) : 0;
    }
    if (!ok || total != needed) {
      problems_.Add(&curve, "the b-spline's knots do not fit its degree and control points "
                            "(expected multiplicities summing to " +
                                std::to_string(needed) + ", increasing knots); not drawn");
      return false;
    }
    for (size_t i = 0; i < values.size(); ++i)
      knots.insert(knots.end(), static_cast<size_t>(multiplicities[i]), values[i]);
  } else {
    // The special forms without knots: clamped uniform spacing (bezier, quasi-uniform) or
    // uniform spacing throughout.
    const bool uniform = r_.Is(curve, "uniform_curve");
    for (long i = 0; i < needed; ++i) {
      if (uniform) knots.push_back(static_cast<double>(i - p));
      else knots.push_back(static_cast<double>(std::clamp(i - p, 0L, count - p)));
    }
  }
  const double u0 = knots[p], u1 = knots[count];
  if (!(u1 > u0)) {
    problems_.Add(&curve, "the b-spline's parameter range is empty; not drawn");
    return false;
  }
  const long samples = std::clamp((count - p) * std::max(8L, 4L * p), 8L, kMaxSamplesPerCurve);
  if (!budget_.Take(samples + 1)) return false;
  double previousU = u0;
  Vec3 previous;
  bool hasPrevious = false;
  for (long i = 0; i <= samples; ++i) {
    const double u = u0 + (u1 - u0) * i / samples;
    const Vec3 q = DeBoor(p, knots, points, u);
    if (!Finite(q)) continue;
    if (tolerance_ > 0 && hasPrevious) Refine(p, knots, points, previousU, previous, u, q, out, 0);
    out.push_back(q);
    previousU = u, previous = q, hasPrevious = true;
  }
  return true;
}

// Points between two samples until the chord between them lies within the tolerance of the
// curve at their middle: halving the span each time, at most 2^12 points per span.
void Geometry::Refine(int degree, const std::vector<double>& knots, const std::vector<Vec3>& points, double u0,
                      const Vec3& p0, double u1, const Vec3& p1, std::vector<Vec3>& out, int depth) {
  if (depth >= 12 || budget_.exhausted) return;
  const double um = (u0 + u1) / 2;
  const Vec3 m = DeBoor(degree, knots, points, um);
  if (!Finite(m)) return;
  const Vec3 chord = Sub(p1, p0), d = Sub(m, p0);
  const double chordLength = Length(chord);
  double off = Length(d);
  if (chordLength > 0) {
    const double along = std::clamp(Dot(d, chord) / (chordLength * chordLength), 0.0, 1.0);
    off = Length(Sub(d, Mul(chord, along)));
  }
  if (off <= tolerance_) return;
  if (!budget_.Take(1)) return;
  Refine(degree, knots, points, u0, p0, um, m, out, depth + 1);
  out.push_back(m);
  Refine(degree, knots, points, um, m, u1, p1, out, depth + 1);
}

}  // namespace varnholt::scene_detail

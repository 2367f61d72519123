// The reader of the hole family of features: a round hole's sizes, taper and bottom as the file
// gives them. Whether they make a hole a tool can cut is the generator's to say.
#include "cct/instance.h"
#include "read_features.h"
#include "varnholt/feature_hole.h"

// Every attribute the reader names, written once (see read_model.cpp).
#define VARNHOLT_HOLE_ATTRIBUTES(X)                                                      \
  X(diameter) X(depth) X(position) X(change_in_diameter) X(final_diameter) X(angle)      \
  X(bottom_condition) X(corner_radius) X(tip_angle) X(tip_radius) X(radius)

namespace varnholt::model_detail {
namespace {

namespace A {
#define VARNHOLT_NAME(n) constexpr const char* n = #n;
VARNHOLT_HOLE_ATTRIBUTES(VARNHOLT_NAME)
#undef VARNHOLT_NAME
}  // namespace A

// A number, or NaN where unset or not one.
double Number(Reader& r, const cct_Instance& instance, const char* name) {
  double v = 0;
  return r.Number(instance, name, v) ? v : kUnset;
}

void ReadTaper(Reader& r, const cct_Instance& taper, HoleFeature::Taper& out) {
  using T = HoleFeature::Taper;
  double v = 0;
  if (r.Is(taper, "diameter_taper") && r.Number(taper, A::final_diameter, v) && v > 0) {
    out.kind = T::Diameter;
    out.finalDiameter = v;
  } else if (r.Is(taper, "angle_taper") && r.Number(taper, A::angle, v)) {
    out.kind = T::Angle;
    out.angle = v;
  } else {
    out.kind = T::Unread;
  }
}

void ReadBottom(Reader& r, const cct_Instance& bottom, HoleFeature::Bottom& out) {
  using B = HoleFeature::Bottom;
  out.type = bottom.TypeName() ? bottom.TypeName() : "?";
  if (r.Is(bottom, "through_bottom_condition")) {
    out.kind = B::Through;
  } else if (r.Is(bottom, "flat_with_radius_hole_bottom")) {
    out.kind = B::FlatWithRadius;
    out.cornerRadius = Number(r, bottom, A::corner_radius);
  } else if (r.Is(bottom, "flat_hole_bottom")) {
    out.kind = B::Flat;
  } else if (r.Is(bottom, "conical_hole_bottom")) {
    out.kind = B::Conical;
    out.tipAngle = Number(r, bottom, A::tip_angle);
    out.tipRadius = Number(r, bottom, A::tip_radius);
  } else if (r.Is(bottom, "spherical_hole_bottom")) {
    out.kind = B::Spherical;
    out.radius = Number(r, bottom, A::radius);
  } else {
    out.kind = B::Other;
  }
}

}  // namespace

std::shared_ptr<const HoleFeature> ReadHole(FeatureReading& reading, const cct_Instance& feature) {
  Reader& r = reading.r;
  auto hole = std::make_shared<HoleFeature>();
  hole->diameter = Number(r, feature, A::diameter);
  Placement plane;
  const cct_Instance* surface = r.Ref(feature, A::depth);
  if (surface &&
      reading.g.Axis2(r.Ref(*surface, A::position), plane, surface, "the depth plane's position"))
    hole->depth = plane.origin.z;
  if (const cct_Instance* taper = r.Ref(feature, A::change_in_diameter))
    ReadTaper(r, *taper, hole->taper);
  if (const cct_Instance* bottom = r.Ref(feature, A::bottom_condition))
    ReadBottom(r, *bottom, hole->bottom);
  return hole;
}

const std::vector<const char*>& HoleAttributeNames() {
#define VARNHOLT_NAME(n) #n,
  static const std::vector<const char*> names = {VARNHOLT_HOLE_ATTRIBUTES(VARNHOLT_NAME)};
#undef VARNHOLT_NAME
  return names;
}

}  // namespace varnholt::model_detail

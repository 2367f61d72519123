// The reader of the along family of features: slots, steps and profiles. It reads every part the
// generator may ask for and keeps each part's kind as written, so that the generator, not the
// reader, decides what is unset and in which order it says so.
#include "cct/instance.h"
#include "read_features.h"
#include "varnholt/feature_along.h"

// Every attribute the reader names, written once: the reader asks through `A::name`, the test of
// the binding reads the list.
#define VARNHOLT_ALONG_ATTRIBUTES(X)                                                                             \
  X(depth) X(position) X(feature_placement) X(placement) X(course_of_travel) X(swept_shape) X(end_conditions)   \
  X(open_boundary) X(wall_boundary) X(its_workpiece) X(its_bounding_geometry) X(x) X(y) X(z) X(feature_boundary) \
  X(profile_boundary) X(removal_direction) X(profile_swept_shape) X(distance) X(its_direction) X(radius)         \
  X(sweep_angle) X(swept_path) X(width) X(first_radius) X(second_radius) X(profile_radius) X(profile_angle)     \
  X(tilt_angle) X(corner_radius1) X(corner_radius2) X(closed_profile_shape) X(its_profile) X(profile_length)    \
  X(profile_width) X(diameter)

namespace varnholt::model_detail {
namespace {

namespace A {
#define VARNHOLT_NAME(n) constexpr const char* n = #n;
VARNHOLT_ALONG_ATTRIBUTES(VARNHOLT_NAME)
#undef VARNHOLT_NAME
}  // namespace A

std::string Kind(const cct_Instance& i) { return i.TypeName() ? i.TypeName() : "?"; }

class AlongReader {
 public:
  AlongReader(FeatureReading& reading, const cct_Instance& feature)
      : r_(reading.r), g_(reading.g), feature_(feature), featurePlacement_(r_.Ref(feature, A::feature_placement)) {}

  std::shared_ptr<const AlongFeature> Read() {
    auto out = std::make_shared<AlongFeature>();
    const cct_Instance& f = feature_;
    if (const cct_Instance* surface = r_.Ref(f, A::depth)) {
      Placement plane;
      out->hasDepth = g_.Axis2(r_.Ref(*surface, A::position), plane, surface, "the depth plane's position");
      if (out->hasDepth) out->depth = plane.origin.z;
    }
    if (r_.Is(f, "slot")) {
      out->kind = AlongFeature::Slot;
      Path(r_.Ref(f, A::course_of_travel), out->path);
      Shape(r_.Ref(f, A::swept_shape), out->shape);
      std::vector<cct_Instance*> ends;
      r_.Refs(f, A::end_conditions, ends);
      for (const cct_Instance* e : ends) out->ends.push_back(End(e));
    } else if (r_.Is(f, "step")) {
      out->kind = AlongFeature::Step;
      Path(r_.Ref(f, A::open_boundary), out->path);
      Shape(r_.Ref(f, A::wall_boundary), out->wall);
      Block(out->block);
    } else {
      const bool outside = r_.Is(f, "general_outside_profile"), shape = !outside && r_.Is(f, "general_shape_profile");
      out->kind = outside ? AlongFeature::OutsideProfile : shape ? AlongFeature::ShapeProfile : AlongFeature::OtherProfile;
      if (outside) Boundary(r_.Ref(f, A::feature_boundary), out->boundary);
      if (shape) {
        Boundary(r_.Ref(f, A::profile_boundary), out->boundary);
        out->hasRemoval = g_.Direction(r_.Ref(f, A::removal_direction), out->removal);
      }
      if (const cct_Instance* sweep = r_.Ref(f, A::profile_swept_shape)) Number(*sweep, A::distance, out->sweptDepth);
    }
    return out;
  }

 private:
  void Number(const cct_Instance& instance, const char* name, double& out) {
    double value = 0;
    out = r_.Number(instance, name, value) ? value : kUnset;
  }

  void Own(const cct_Instance& holder, const char* what, AlongPlacement& out) {
    const cct_Instance* placement = r_.Ref(holder, A::placement);
    out.own = placement && !SamePlacement(r_, placement, featurePlacement_);
    out.read = out.own && g_.Axis2(placement, out.placement, &holder, what);
  }

  void Curve(const cct_Instance& holder, const char* attribute, AlongCurve& out) {
    out.read = ReadContour(r_, g_, r_.Ref(holder, attribute), out.contour, out.why);
  }

  void Path(const cct_Instance* path, AlongPath& out) {
    if (!path) return;
    out.type = Kind(*path);
    Own(*path, "the path's placement", out.placement);
    if (r_.Is(*path, "linear_path")) {
      out.kind = AlongPath::Linear;
      Number(*path, A::distance, out.distance);
      out.hasDirection = g_.Direction(r_.Ref(*path, A::its_direction), out.direction);
    } else if (r_.Is(*path, "circular_path")) {
      const bool partial = r_.Is(*path, "partial_circular_path");
      out.kind = partial ? AlongPath::PartialCircular : AlongPath::Circular;
      Number(*path, A::radius, out.radius);
      if (partial) Number(*path, A::sweep_angle, out.sweep);
    } else if (r_.Is(*path, "general_path")) {
      out.kind = AlongPath::General;
      Curve(*path, A::swept_path, out.curve);
    } else {
      out.kind = AlongPath::Other;
    }
  }

  void Shape(const cct_Instance* shape, AlongShape& out) {
    if (!shape) return;
    out.type = Kind(*shape);
    if (r_.Is(*shape, "square_u_profile")) {
      out.kind = AlongShape::SquareU;
      Number(*shape, A::width, out.width);
      Number(*shape, A::first_radius, out.firstRadius);
      Number(*shape, A::second_radius, out.secondRadius);
    } else if (r_.Is(*shape, "rounded_u_profile")) {
      out.kind = AlongShape::RoundedU;
      Number(*shape, A::width, out.width);
    } else if (r_.Is(*shape, "vee_profile")) {
      out.kind = AlongShape::Vee;
      Number(*shape, A::profile_radius, out.profileRadius);
      Number(*shape, A::profile_angle, out.angle);
      Number(*shape, A::tilt_angle, out.tilt);
    } else if (r_.Is(*shape, "partial_circular_profile")) {
      out.kind = AlongShape::PartialCircular;
      Number(*shape, A::radius, out.radius);
      Number(*shape, A::sweep_angle, out.sweep);
      Own(*shape, "the profile's placement", out.placement);
    } else {
      out.kind = AlongShape::Other;
    }
  }

  AlongEnd End(const cct_Instance* e) {
    AlongEnd out;
    if (!e) return out;
    out.type = Kind(*e);
    using K = AlongEnd::Kind;
    out.kind = r_.Is(*e, "open_slot_end_type")       ? K::Open
               : r_.Is(*e, "loop_slot_end_type")     ? K::Loop
               : r_.Is(*e, "radiused_slot_end_type") ? K::Radiused
               : r_.Is(*e, "flat_slot_end_type")     ? K::Flat
                                                     : K::Other;
    if (out.kind == K::Flat) {
      Number(*e, A::corner_radius1, out.corner1);
      Number(*e, A::corner_radius2, out.corner2);
    }
    return out;
  }

  void Block(AlongBlock& out) {
    const cct_Instance* workpiece = r_.Ref(feature_, A::its_workpiece);
    const cct_Instance* block = workpiece ? r_.Ref(*workpiece, A::its_bounding_geometry) : nullptr;
    if (!block || !r_.Is(*block, "block")) return;
    out.given = g_.Axis2(featurePlacement_, out.feature, &feature_, "the feature's placement") &&
                g_.Axis2(r_.Ref(*block, A::position), out.position, block, "the block's position");
    Number(*block, A::x, out.size[0]);
    Number(*block, A::y, out.size[1]);
    Number(*block, A::z, out.size[2]);
  }

  void Boundary(const cct_Instance* profile, AlongBoundary& out) {
    if (!profile) return;
    out.type = Kind(*profile);
    Own(*profile, "the placement", out.placement);
    if (r_.Is(*profile, "general_closed_profile")) {
      out.kind = AlongBoundary::GeneralClosed;
      Curve(*profile, A::closed_profile_shape, out.curve);
    } else if (r_.Is(*profile, "general_profile")) {
      out.kind = AlongBoundary::General;
      Curve(*profile, A::its_profile, out.curve);
    } else if (r_.Is(*profile, "rectangular_closed_profile")) {
      out.kind = AlongBoundary::Rectangular;
      Number(*profile, A::profile_length, out.length);
      Number(*profile, A::profile_width, out.width);
    } else if (r_.Is(*profile, "circular_closed_profile")) {
      out.kind = AlongBoundary::Circular;
      Number(*profile, A::diameter, out.diameter);
    } else {
      out.kind = AlongBoundary::Other;
    }
  }

  Reader& r_;
  Geometry& g_;
  const cct_Instance& feature_;
  const cct_Instance* featurePlacement_;
};

}  // namespace

std::shared_ptr<const AlongFeature> ReadAlong(FeatureReading& reading, const cct_Instance& feature) {
  return AlongReader(reading, feature).Read();
}

const std::vector<const char*>& AlongAttributeNames() {
#define VARNHOLT_NAME(n) #n,
  static const std::vector<const char*> names = {VARNHOLT_ALONG_ATTRIBUTES(VARNHOLT_NAME)};
#undef VARNHOLT_NAME
  return names;
}

}  // namespace varnholt::model_detail

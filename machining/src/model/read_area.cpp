// The reader of the area family of features: planar faces, closed and open pockets. It reads
// every part whatever the others hold and leaves the judging to the generator, which names the
// first part that stops it in its own order.
#include <cmath>

#include "cct/instance.h"
#include "read_features.h"
#include "varnholt/feature_area.h"

// Every attribute the reader names, written once: the reader asks through `A::name`, the test
// of the binding reads the list.
#define VARNHOLT_AREA_ATTRIBUTES(X)                                                                         \
  X(depth) X(position) X(its_boss) X(feature_placement) X(slope) X(its_boundary) X(placement)              \
  X(profile_length) X(profile_width) X(diameter) X(number_of_sides) X(circumscribed_or_across_flats)       \
  X(closed_profile_shape) X(face_boundary) X(course_of_travel) X(removal_boundary) X(distance)             \
  X(its_direction) X(bottom_condition) X(orthogonal_radius) X(planar_radius) X(feature_boundary)           \
  X(open_boundary) X(its_profile)

namespace varnholt::model_detail {
namespace {

namespace A {
#define VARNHOLT_NAME(n) constexpr const char* n = #n;
VARNHOLT_AREA_ATTRIBUTES(VARNHOLT_NAME)
#undef VARNHOLT_NAME
}  // namespace A

std::string TypeOf(const cct_Instance& instance) { return instance.TypeName() ? instance.TypeName() : "?"; }

class AreaReader {
 public:
  AreaReader(FeatureReading& reading, const cct_Instance& feature)
      : r_(reading.r), g_(reading.g), feature_(feature) {}

  std::shared_ptr<const AreaFeature> Run() {
    auto out = std::make_shared<AreaFeature>();
    const cct_Instance& f = feature_;
    const cct_Instance* surface = r_.Ref(f, A::depth);
    out->hasDepth = surface && r_.Is(*surface, "plane") && g_.Axis2(r_.Ref(*surface, A::position), out->depth, &f, "depth");
    const cct_Instance* placement = r_.Ref(f, A::feature_placement);
    Placement own;
    out->placed = g_.Axis2(placement, own, &f, "feature placement");
    Islands(own, out->islands);
    if (r_.Is(f, "planar_face")) {
      out->kind = AreaFeature::Face;
      out->boundary = Closed(r_.Ref(f, A::face_boundary), placement);
      Travel(placement, *out);
      return out;
    }
    out->slope = Number(f, A::slope);
    if (const cct_Instance* bottom = r_.Ref(f, A::bottom_condition)) {
      using B = AreaFeature::Bottom;
      out->bottom.type = TypeOf(*bottom);
      out->bottom.kind = r_.Is(*bottom, "planar_pocket_bottom_condition")    ? B::Planar
                         : r_.Is(*bottom, "through_pocket_bottom_condition") ? B::Through
                                                                             : B::Other;
    }
    out->orthogonalRadius = Number(f, A::orthogonal_radius);
    out->planarRadius = Number(f, A::planar_radius);
    if (r_.Is(f, "open_pocket")) {
      out->kind = AreaFeature::OpenPocket;
      out->openBoundary = Open(r_.Ref(f, A::open_boundary), placement);
    } else {
      out->kind = AreaFeature::ClosedPocket;
      out->boundary = Closed(r_.Ref(f, A::feature_boundary), placement);
    }
    return out;
  }

 private:
  double Number(const cct_Instance& instance, const char* name) {
    double value = 0;
    return r_.Number(instance, name, value) ? value : kUnset;
  }

  // A placement the holder's own placement does not already stand for.
  AreaPlacement Own(const cct_Instance* placement, const cct_Instance* holder, const char* what) {
    AreaPlacement out;
    if (!placement || SamePlacement(r_, placement, holder)) return out;
    out.given = true;
    out.read = g_.Axis2(placement, out.placement, &feature_, what);
    return out;
  }

  // Bosses are placed in the workpiece, as the feature is: seen from the feature's system.
  void Islands(const Placement& own, std::vector<AreaIsland>& out) {
    std::vector<cct_Instance*> bosses;
    r_.Refs(feature_, A::its_boss, bosses);
    auto turn = [&](const Vec3& v) { return Vec3{Dot(v, own.axis[0]), Dot(v, own.axis[1]), Dot(v, own.axis[2])}; };
    for (const cct_Instance* boss : bosses) {
      AreaIsland island;
      island.given = boss != nullptr;
      if (boss) {
        const cct_Instance* placement = r_.Ref(*boss, A::feature_placement);
        Placement p;
        island.placed = g_.Axis2(placement, p, &feature_, "boss placement");
        island.placement.origin = turn(Sub(p.origin, own.origin));
        for (int k = 0; k < 3; ++k) island.placement.axis[k] = turn(p.axis[k]);
        island.slope = Number(*boss, A::slope);
        island.boundary = Closed(r_.Ref(*boss, A::its_boundary), placement);
      }
      out.push_back(std::move(island));
    }
  }

  // A closed profile: a rectangle, a circle, an ngon or a general closed curve.
  AreaProfile Closed(const cct_Instance* profile, const cct_Instance* holderPlacement) {
    AreaProfile out;
    if (!profile) return out;
    const cct_Instance& p = *profile;
    out.type = TypeOf(p);
    out.placement = Own(r_.Ref(p, A::placement), holderPlacement, "profile's placement");
    if (r_.Is(p, "rectangular_closed_profile") || r_.Is(p, "circular_closed_profile")) {
      if (r_.Is(p, "circular_closed_profile")) {
        out.kind = AreaProfile::Circle;
        out.diameter = Number(p, A::diameter);
      } else {
        out.kind = AreaProfile::Rectangle;
        out.length = Number(p, A::profile_length);
        out.width = Number(p, A::profile_width);
      }
    } else if (r_.Is(p, "ngon_profile")) {
      out.kind = AreaProfile::Ngon;
      out.diameter = Number(p, A::diameter);
      out.sides = Number(p, A::number_of_sides);
      r_.Flag(p, A::circumscribed_or_across_flats, out.circumscribed);
    } else if (r_.Is(p, "general_closed_profile")) {
      out.kind = AreaProfile::General;
      out.curveRead = ReadContour(r_, g_, r_.Ref(p, A::closed_profile_shape), out.curve, out.why);
    } else {
      out.kind = AreaProfile::Other;
    }
    return out;
  }

  // An open pocket's walls: of the open profiles, only a general one says how far they reach.
  AreaProfile Open(const cct_Instance* profile, const cct_Instance* holderPlacement) {
    AreaProfile out;
    if (!profile) return out;
    out.type = TypeOf(*profile);
    if (!r_.Is(*profile, "general_profile")) {
      out.kind = AreaProfile::Other;
      return out;
    }
    out.kind = AreaProfile::General;
    out.placement = Own(r_.Ref(*profile, A::placement), holderPlacement, "profile's placement");
    out.curveRead = ReadContour(r_, g_, r_.Ref(*profile, A::its_profile), out.curve, out.why);
    return out;
  }

  // A face's extent: its course of travel and the width of its removal boundary.
  void Travel(const cct_Instance* placement, AreaFeature& out) {
    const cct_Instance* path = r_.Ref(feature_, A::course_of_travel);
    if (path && r_.Is(*path, "linear_path")) {
      out.travel.distance = Number(*path, A::distance);
      out.travel.given = g_.Direction(r_.Ref(*path, A::its_direction), out.travel.direction);
      out.travel.placement = Own(r_.Ref(*path, A::placement), placement, "path's placement");
    }
    if (const cct_Instance* removal = r_.Ref(feature_, A::removal_boundary))
      out.removalWidth = Number(*removal, A::profile_length);
  }

  Reader& r_;
  Geometry& g_;
  const cct_Instance& feature_;
};

}  // namespace

std::shared_ptr<const AreaFeature> ReadArea(FeatureReading& reading, const cct_Instance& feature) {
  return AreaReader(reading, feature).Run();
}

const std::vector<const char*>& AreaAttributeNames() {
#define VARNHOLT_NAME(n) #n,
  static const std::vector<const char*> names = {VARNHOLT_AREA_ATTRIBUTES(VARNHOLT_NAME)};
#undef VARNHOLT_NAME
  return names;
}

}  // namespace varnholt::model_detail

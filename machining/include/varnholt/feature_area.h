// A planar face or a pocket (closed or open) as the area generator clears it: its boundary,
// depth, islands, corner and floor radii, in the feature's own system (top at z 0, material
// below). Every part says where it is unset or cannot be read, so that the generator can name
// the first thing that stops it in the order it looks at them.
#ifndef VARNHOLT_FEATURE_AREA_H
#define VARNHOLT_FEATURE_AREA_H

#include <string>
#include <vector>

#include "varnholt/geometry.h"
#include "varnholt/model.h"

namespace varnholt {

/// A profile's or a path's own placement, in the coordinates of what holds it.
struct AreaPlacement {
  /// False where it is unset, and where it is the very placement of what holds it: that one
  /// places the holder, and places the profile nowhere further.
  bool given = false;
  bool read = false;  // given, and it can be read
  Placement placement;
};

/// A profile bounding an area, in its own coordinates, placed by `placement`.
struct AreaProfile {
  /// Ngon and General only where the profile's role allows them: a closed boundary's general
  /// profile is a general_closed_profile, an open boundary's a general_profile.
  enum Kind { Unset, Rectangle, Circle, Ngon, General, Other } kind = Unset;
  std::string type;  // its entity, for the reason that names a kind not cleared
  AreaPlacement placement;
  /// A rectangle's length (along its x axis) and width; a circle's or an ngon's diameter; an
  /// ngon's number of sides as written. NaN where unset.
  double length = kUnset, width = kUnset, diameter = kUnset, sides = kUnset;
  bool circumscribed = true;  // an ngon's diameter is its circumscribed circle's (else across flats)
  /// A general profile's curve; where it cannot be read, `curveRead` is false and `why` says why.
  bool curveRead = false;
  Contour2 curve;
  std::string why;
};

/// A boss standing in the area.
struct AreaIsland {
  bool given = false;   // false where the feature's list of bosses names nothing usable
  bool placed = false;  // its placement can be read
  /// Its placement seen from the feature: origin.z is its top.
  Placement placement;
  double slope = kUnset;
  AreaProfile boundary;
};

struct AreaFeature {
  enum Kind { Face, ClosedPocket, OpenPocket } kind = ClosedPocket;

  /// The depth plane's position in the feature's system; `hasDepth` false where the depth is
  /// no plane or its position cannot be read.
  bool hasDepth = false;
  Placement depth;

  /// The bosses, through the feature's own placement: `placed` false where that cannot be read.
  bool placed = false;
  std::vector<AreaIsland> islands;

  /// A face's boundary (Unset: the face's extent stands for it) or a closed pocket's.
  AreaProfile boundary;

  /// A face's extent: along its course of travel (`given` where that is a linear path with a
  /// direction that can be read), as wide as its removal boundary's length.
  struct Travel {
    bool given = false;
    Vec3 direction;
    double distance = kUnset;
    AreaPlacement placement;
  } travel;
  double removalWidth = kUnset;

  /// A pocket's wall slope, its bottom, its corner (orthogonal) and floor (planar) radii; NaN
  /// where unset.
  double slope = kUnset;
  struct Bottom {
    enum Kind { Unset, Planar, Through, Other } kind = Unset;
    std::string type;  // its entity
  } bottom;
  double orthogonalRadius = kUnset, planarRadius = kUnset;

  /// An open pocket's walls.
  AreaProfile openBoundary;
};

}  // namespace varnholt

#endif

// A round hole as the hole generator drills or mills it: its diameter, depth, taper and bottom, in
// the feature's own system (top at z 0, material below).
//
// The sizes are kept as the file gives them, NaN where a size is unset or does not read as a
// number: whether a size will do (a positive diameter, a depth below the top, a corner radius
// within the hole) depends on the tool and the allowances, so the generator judges it, and
// names the reason, when it makes the toolpath.
#ifndef VARNHOLT_FEATURE_HOLE_H
#define VARNHOLT_FEATURE_HOLE_H

#include <string>

#include "varnholt/model.h"

namespace varnholt {

struct HoleFeature {
  double diameter = kUnset;  // at the top
  /// The z of the depth plane, where the wall ends; NaN where the plane or its position is unset.
  double depth = kUnset;

  /// How the diameter changes from the top down to the depth plane.
  struct Taper {
    /// None: a cylinder. Diameter: a final diameter above 0 at the depth plane. Angle: the
    /// wall leans by an angle. Unread: a change of another kind or without its size.
    enum Kind { None, Diameter, Angle, Unread } kind = None;
    double finalDiameter = kUnset;
    double angle = kUnset;  // as written (writers give radians or degrees)
  } taper;

  /// What lies below the depth plane.
  struct Bottom {
    /// Unset: no bottom condition. Other: one of a kind not read, `type` its entity.
    enum Kind { Unset, Through, Flat, FlatWithRadius, Conical, Spherical, Other } kind = Unset;
    std::string type;
    double cornerRadius = kUnset;  // FlatWithRadius
    double tipAngle = kUnset;      // Conical: the full angle at the tip, as written
    double tipRadius = kUnset;     // Conical: a rounded tip
    double radius = kUnset;        // Spherical
  } bottom;
};

}  // namespace varnholt

#endif

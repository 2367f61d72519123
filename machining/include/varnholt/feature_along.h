// A slot, a step or a profile as the generator along a line machines it: its path, cross-section
// and ends, in the feature's own system (top at z 0, material below). Each part keeps what it
// was written as (its entity, numbers NaN where unset), so that the generator says why it cannot
// cut it in the same words and order whatever the part lacks.
#ifndef VARNHOLT_FEATURE_ALONG_H
#define VARNHOLT_FEATURE_ALONG_H

#include <string>
#include <vector>

#include "varnholt/geometry.h"
#include "varnholt/model.h"

namespace varnholt {

/// The placement a path or a profile gives itself. Writers also give it the feature's own
/// placement instance, meaning "at the feature": that counts as none of its own.
struct AlongPlacement {
  bool own = false;   // one of its own is given
  bool read = false;  // and can be read
  Placement placement;
};

/// A plane curve of the feature, as a contour in its owner's system, or why it cannot be read.
struct AlongCurve {
  bool read = false;
  Contour2 contour;
  std::string why;
};

/// A slot's course of travel or a step's open boundary.
struct AlongPath {
  enum Kind { Unset, Linear, Circular, PartialCircular, General, Other } kind = Unset;
  std::string type;  // its entity
  AlongPlacement placement;
  double distance = kUnset;  // linear: how long
  bool hasDirection = false;
  Vec3 direction;  // linear: normalised, in the path's placement
  double radius = kUnset, sweep = kUnset;  // circular; the sweep as written (radians or degrees)
  AlongCurve curve;  // general
};

/// A cross-section swept along a path: a slot's swept shape, a step's wall boundary.
struct AlongShape {
  enum Kind { Unset, SquareU, RoundedU, Vee, PartialCircular, Other } kind = Unset;
  std::string type;
  double width = kUnset, firstRadius = kUnset, secondRadius = kUnset;  // U
  double profileRadius = kUnset, angle = kUnset, tilt = kUnset;        // vee, angles as written
  double radius = kUnset, sweep = kUnset;                              // partial circular
  AlongPlacement placement;                                            // partial circular
};

/// An end of a slot, as its list of end conditions gives them.
struct AlongEnd {
  enum Kind { Unset, Open, Loop, Radiused, Flat, Other } kind = Unset;
  std::string type;
  double corner1 = kUnset, corner2 = kUnset;  // flat
};

/// A profile feature's boundary.
struct AlongBoundary {
  enum Kind { Unset, GeneralClosed, General, Rectangular, Circular, Other } kind = Unset;
  std::string type;
  AlongPlacement placement;
  AlongCurve curve;                          // general, closed or not
  double length = kUnset, width = kUnset;    // rectangular: along x and y of its placement
  double diameter = kUnset;                  // circular
};

/// The block of the feature's workpiece, for the width of a step: the feature's placement and
/// the block's, both in the workpiece's system, and the block's sizes along its axes.
struct AlongBlock {
  bool given = false;  // the workpiece has a block and both placements read
  Placement feature, position;
  double size[3] = {kUnset, kUnset, kUnset};
};

struct AlongFeature {
  enum Kind { Slot, Step, OutsideProfile, ShapeProfile, OtherProfile } kind = Slot;
  /// The height of its depth plane; hasDepth false where it has none that reads.
  bool hasDepth = false;
  double depth = 0;
  AlongPath path;              // slot: course of travel; step: open boundary
  AlongShape shape;            // slot: swept shape
  std::vector<AlongEnd> ends;  // slot: its end conditions in order
  AlongShape wall;             // step: its wall boundary
  AlongBlock block;            // step
  AlongBoundary boundary;      // profiles
  /// A shape profile's removal direction, where it reads.
  bool hasRemoval = false;
  Vec3 removal;
  /// How far a profile's sweep goes down: its profile swept shape's distance; NaN where unset.
  double sweptDepth = kUnset;
};

/// The stock of a feature's workpiece, seen from the feature: whether a point of the feature's
/// own system lies in the material the workpiece starts as. An end of a slot, a step or a
/// profile that the file leaves open lets the tool run out past it only where it lies outside.
struct FeatureStock {
  enum Kind { None, Block, Cylinder } kind = None;
  /// The feature's placement within its workpiece, which the stock is given in.
  Placement feature;
  /// The block's corner and axes, or the cylinder's base centre and axis (axis[2]).
  Placement position;
  double size[3] = {0, 0, 0};  // a block's sizes along its axes; a cylinder's radius, -, height
  /// The point (in the feature's system) lies inside, farther than `margin` from every face of
  /// the stock. Never where there is no stock that reads.
  bool Inside(const Vec3& point, double margin = 1e-6) const;
};

/// The stock of the feature's workpiece, where the workpiece gives a block or a cylinder that
/// reads and the feature is placed; else one of kind None.
FeatureStock StockOfFeature(const Model& model, const ModelFeature& feature);

/// An open end of a slot's course of travel, a step's open boundary or an open profile that
/// lies inside the stock: the tool running past it would cut what the feature does not remove.
/// A slot's end counts where its end condition says open; a step's and a profile's ends are
/// open by what they are.
struct OpenEndInStock {
  bool start = true;  // the path's start, else its end
  Vec3 at;            // the end, at the feature's top, in the workpiece's system
};

/// The ends of the feature that are open and lie inside the stock, start first; none for other
/// features, for closed paths and where the path or the stock cannot be read.
std::vector<OpenEndInStock> OpenEndsInStock(const ModelFeature& feature, const FeatureStock& stock);

/// "its open start at (100, 20, 39) lies inside the stock".
std::string OpenEndText(const OpenEndInStock& end);

}  // namespace varnholt

#endif

// What the hole and along generators share: the shape of the tool's end, the floor of a
// feature's cross-section and how deep the tool may go over it, and the few readings of
// attributes that both make. Internal to the machining library.
#ifndef VARNHOLT_GENERATE_SECTION_H
#define VARNHOLT_GENERATE_SECTION_H

#include <functional>
#include <string>
#include <vector>

#include "generate.h"

namespace varnholt::machining_detail {


/// Plane angles as writers give them: radians, unless larger than a full turn, which only
/// degrees can be (files of this kind are written both ways despite the degrees they should
/// carry).
double PlaneAngle(double angle);

/// The end of the tool: how far above its tip its surface lies at a distance from its axis.
/// How high above its tip a tool's end surface lies at `s` from its axis: a point of that half
/// angle, else a flat end with corners of that radius.
double EndLift(double radius, double corner, double halfAngle, double s);

struct ToolEnd {
  double radius = 0;
  double corner = 0;     // a torus or ball end; 0 for a flat end
  double halfAngle = 0;  // a pointed end (drills): the point's half angle from the axis; 0 for none
  bool drill = false;    // a drilling tool: its body is a drill, centre drill, reamer, tap or the like
  /// A drill's or centre drill's point, which makes a hole's bottom: its full angle (radians;
  /// pi for a flat end), and whether the tool gives it or it is the usual 118 degrees taken
  /// for a drill that gives none a drill can have. 0 for other tools.
  double pointAngle = 0;
  bool pointGiven = false;
  double Lift(double s) const;
  /// How long the point is: the height of the tool's end surface at its full radius.
  double PointLength() const { return Lift(radius); }
};

/// The full angle of a drill's point from its tool's tip half angle as written (radians, or
/// degrees where only degrees can be meant): where no drill can have it (not 60 to 180 degrees
/// in full, or not given), the usual 118 degrees, `given` false.
double DrillPointAngle(double tipHalfAngle, bool& given);

/// The tool's end from the job's tool and its body's kind.
ToolEnd ToolEndOf(StepJob& job);

/// A cross-section's floor: the z of the bottom of the feature at a signed offset across it
/// (for a hole: the distance from its axis), 0 where the material reaches the top, i.e. beyond
/// the walls. Never above 0.
using Floor = std::function<double(double)>;

/// The lowest tip height of a tool whose axis stands at offset `u` over the floor such that no
/// point of its end goes below the floor within [u - radius, u + radius]: the largest of
/// floor(u + s) - lift(|s|). `breaks` are offsets where the floor has corners or steps; they are
/// tried exactly, the rest is sampled and refined.
double Drop(const Floor& floor, const ToolEnd& tool, double u, const std::vector<double>& breaks);

/// Evenly spaced values from `from` to `to` (both included) no farther apart than `step`.
std::vector<double> Spaced(double from, double to, double step);

/// Axial levels below the top down to `bottom` (negative), no deeper apart than `step` (the
/// operation's axial_cutting_depth; NaN or not positive for one level), the last at `bottom`.
std::vector<double> Levels(double bottom, double step);

/// The cut mode the operation's strategy asks for: climb (the default) or conventional. Climb
/// milling with a cutter turning clockwise seen from above keeps the material on the right of
/// the travel. Empty `mode` when the strategy names none.
bool Climb(StepJob& job, std::string* mode = nullptr);

/// The contour moved sideways by `distance`, to the left of its travel where positive: lines
/// stay lines, arcs stay arcs about the same centres, and an outer corner is rounded by an arc
/// about it. False, with `why`, where the tool does not fit: an arc or a stretch too tight for
/// the distance, or a corner it cannot turn.
bool Offset(const Contour2& contour, double distance, Contour2& out, std::string& why);

/// The contour without its first `head` and last `tail` millimetres; false when nothing is left.
bool Trimmed(const Contour2& contour, double head, double tail, Contour2& out);

/// The length of the contour.
double ContourLength(const Contour2& contour);

/// The direction of travel at the start of the contour (unit; (1,0) for an empty one).
Vec2 StartDirection(const Contour2& contour);

/// Twice the signed area a closed contour encloses (arcs sampled): positive when it runs
/// counter-clockwise.
double Turning(const Contour2& contour);

/// The least distance from a point to the contour.
double DistanceTo(const Contour2& contour, const Vec2& p);

/// Writes the contour at height z as feeds and arcs, from where the writer is at its start.
void Follow(MoveWriter& out, const Contour2& contour, double z, double feed);

}  // namespace varnholt::machining_detail

#endif

// Distances to plane contours of lines and arcs, exact: the removal volumes are built from them
// (a pocket's outline, a slot's path and cross-section, a hole's profile turned about its axis),
// and the material-removal check asks them millions of times a run. Everything is worked out
// when the contour is built; asking allocates nothing.
#ifndef VARNHOLT_VOLUME_CURVE_DISTANCE_H
#define VARNHOLT_VOLUME_CURVE_DISTANCE_H

#include <cstdint>
#include <string>
#include <vector>

#include "varnholt/geometry.h"

namespace varnholt::volume {

/// A contour's pieces: straight lines, and arcs split where they turn in y so that each rises or
/// falls (and sweeps half a turn at most).
class Curve2 {
 public:
  /// False, with `why`, for a contour with no pieces, a piece of no length or an arc whose ends
  /// lie at different distances from its centre.
  bool Build(const Contour2& contour, std::string& why);
  /// The distance from p to the nearest point of the contour.
  double Unsigned(const Vec2& p) const;
  /// Whether p lies inside the closed contour (crossings of a ray to +x, each piece counted on
  /// its lower end only, so that a ray through a joint counts once).
  bool Inside(const Vec2& p) const;
  /// Negative inside a closed contour, positive outside. The last few answers are kept per
  /// thread: a ray along an extruded volume's axis asks the same point of its plan at every step.
  double Signed(const Vec2& p) const;
  /// A bound that Signed(p) does not exceed, from the last answer of Signed on this thread
  /// (the distance changes no faster than the point); +infinity where there is none.
  double SignedAtMost(const Vec2& p) const;
  /// The same from below: -infinity where there is none.
  double SignedAtLeast(const Vec2& p) const;
  Vec2 low, high;  // around the contour
  bool Empty() const { return pieces_.empty(); }

 private:
  struct Piece {
    Vec2 a, b;
    bool arc = false;
    Vec2 center;  // arcs run counter-clockwise from a to b about it
    double radius = 0;
    bool right = false;  // an arc on the +x side of its centre
    Vec2 along;          // a line's direction
    double length = 0;
  };
  void AddLine(const Vec2& a, const Vec2& b);
  void AddArc(const Vec2& a, const Vec2& b, const Vec2& center, double radius);
  std::vector<Piece> pieces_;
  uint64_t id_ = 0;  // new at every Build: what the kept answers are kept for
};

/// The signed area of a contour, arcs counted exactly: positive counter-clockwise.
double SignedArea(const Contour2& contour);

/// The closed contour with its convex corners between two straight pieces rounded by `radius`
/// (each rounding shrunk where the pieces are too short for it). Arcs keep their corners. With
/// `only` above 0, only the corners between the first `only` segments are rounded.
Contour2 RoundConvexCorners(const Contour2& closed, double radius, size_t only = 0);

/// A rectangle centred on the origin, `length` along x, with its corners rounded by `radius`;
/// a circle where the radius is half of both sides.
Contour2 RoundedRectangle(double length, double width, double radius);

}  // namespace varnholt::volume

#endif

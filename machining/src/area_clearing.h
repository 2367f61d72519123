// Plane regions for clearing areas: the places the tool's centre may be when it keeps a given
// distance from a boundary and from islands, as loops of lines and arcs to move along and as
// polygons to ask questions of. Offsets and clipping are Clipper's; rounded rectangles and
// circles without islands are offset exactly, so that their arcs stay arcs. Internal to the
// machining library.
#ifndef VARNHOLT_AREA_CLEARING_H
#define VARNHOLT_AREA_CLEARING_H

#include <polyclipping/clipper.hpp>

#include <vector>

#include "generate.h"

namespace varnholt::machining_detail::area {

/// A rectangle with rounded corners centred at `center`, its x half size along `axis` (a unit
/// vector); a circle when both half sizes equal the radius. radius <= min(halfX, halfY).
struct RoundRect {
  Vec2 center;
  Vec2 axis{1, 0};
  double halfX = 0, halfY = 0, radius = 0;
};

/// Closed loops, the outer ones counter-clockwise and holes clockwise, and the same loops as
/// integer polygons (their arcs as chords) for the questions below.
struct Region {
  std::vector<Contour2> loops;
  std::vector<bool> hole;  // per loop
  ClipperLib::Paths paths;

  bool Empty() const { return loops.empty(); }
  /// Inside or on the boundary.
  bool Contains(const Vec2& p) const;
  /// The straight line from a to b stays inside.
  bool Holds(const Vec2& a, const Vec2& b) const;
  /// How far one may go from `from` along the unit vector `d` before leaving (0 when outside).
  double Reach(const Vec2& from, const Vec2& d) const;
  /// The smallest and largest of x * d.x + y * d.y over the region (d a unit vector).
  void Extent(const Vec2& d, double& low, double& high) const;
  /// Its area, holes taken off.
  double Area() const;
};

/// The boundary a tool works within: an outer boundary (exact or a polygon), islands as
/// polygons, and, for a pocket open on one side, the walls alone.
struct Shape {
  bool exact = false;
  RoundRect rect;                            // when exact
  std::vector<Vec2> outer;                   // counter-clockwise, when not exact
  bool walled = false;                       // only `walls` bound it: the rest of `outer` is open
  std::vector<Vec2> walls;                   // an open polyline, when walled
  double cornerRadius = 0;                   // the outer boundary's convex corners rounded
  std::vector<std::vector<Vec2>> islands;    // counter-clockwise polygons

  /// Where the tool's centre may be when it keeps `outerDistance` inside the outer boundary (a
  /// negative distance: that far outside it) and `islandDistance` from every island. Polygons
  /// are offset a little farther than asked, so that their chords never come nearer.
  Region Offset(double outerDistance, double islandDistance) const;
};

/// Chords of sampled arcs and of Clipper's round joins stay within this of the true curve;
/// Clipper's offsets are made this much farther than asked.
constexpr double kChord = 0.0005;
constexpr double kMargin = 0.001;

/// The pieces of the line from a to b that lie inside the region, each from its end nearer a.
/// One entry per line, in the order given.
std::vector<std::vector<std::pair<Vec2, Vec2>>> ClipLines(const Region& region,
                                                          const std::vector<std::pair<Vec2, Vec2>>& lines);

/// The outline of a rounded rectangle, counter-clockwise from the middle of its lower side.
Contour2 Outline(const RoundRect& rect);

/// A closed contour starting at its `index`-th point (0: its start, k: the end of segment k-1).
Contour2 StartingAt(const Contour2& loop, size_t index);

}  // namespace varnholt::machining_detail::area

#endif

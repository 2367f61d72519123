// The moves of a machining program: what the tool's tip does between two points. Toolpaths
// written in a file and toolpaths generated from features both end up as these, so the scene,
// the JSON form and the G-code all read one kind of data.
#ifndef VARNHOLT_MOTION_H
#define VARNHOLT_MOTION_H

#include <cmath>
#include <limits>
#include <vector>

#include "varnholt/scene.h"

namespace varnholt {

enum class MoveKind { Rapid, Feed, Arc, Dwell };

/// One move of the tool's reference point to `to`. An arc turns about `center` in the plane
/// through it normal to `normal`; clockwise as seen looking against the normal (from where it
/// points). A dwell stays where the tool is for `seconds`.
struct Move {
  MoveKind kind = MoveKind::Rapid;
  Vec3 to;
  /// mm/min; NaN for rapids and where no technology gives a feed.
  double feed = std::numeric_limits<double>::quiet_NaN();
  Vec3 center;
  Vec3 normal{0, 0, 1};
  bool clockwise = false;
  double seconds = 0;
  /// The explicit toolpath it came from, as an index into its workingstep's; -1 when generated.
  int source = -1;
};

/// The move seen from outside the system it is written in.
Move Placed(const Move& move, const Placement& frame);

/// Points along the moves from `from`, arcs sampled so that no chord is farther than
/// `tolerance` from its arc; the first point is `from`.
std::vector<Vec3> SampleMoves(const Vec3& from, const std::vector<Move>& moves, double tolerance);

/// Length of the cutting moves (feeds and arcs) and of the rapid moves, from `from`.
struct MoveLengths {
  double cutting = 0, rapid = 0;
};
MoveLengths Lengths(const Vec3& from, const std::vector<Move>& moves);
/// The length of one move from `from` (an arc's along its helix); 0 for a dwell.
double MoveLength(const Vec3& from, const Move& move);

/// Appends moves and keeps track of where the tool is; generators write through it.
class MoveWriter {
 public:
  MoveWriter(std::vector<Move>& out, const Vec3& start) : out_(out), at_(start) {}
  const Vec3& At() const { return at_; }
  void Rapid(const Vec3& to);
  void Feed(const Vec3& to, double feed);
  /// An arc from where the tool is to `to` about `center` (the same distance from both, up to
  /// a helix's rise along the normal).
  void Arc(const Vec3& to, const Vec3& center, const Vec3& normal, bool clockwise, double feed);
  void Dwell(double seconds);

 private:
  std::vector<Move>& out_;
  Vec3 at_;
};

}  // namespace varnholt

#endif

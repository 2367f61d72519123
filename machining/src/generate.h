// Toolpath generation from features: what a generator is given for one workingstep, the plane
// contours it works with and the ways into and out of the material that all of them share.
// Internal to the machining library.
#ifndef VARNHOLT_GENERATE_H
#define VARNHOLT_GENERATE_H

#include <cmath>
#include <string>
#include <vector>

#include "varnholt/feature_along.h"
#include "varnholt/model.h"
#include "varnholt/motion.h"

namespace varnholt::machining_detail {


struct Tool {
  double diameter = 0;      // 0 when the tool gives none
  double cornerRadius = 0;  // edge_radius of its dimension
  int teeth = 0;            // 0 when not given
  double tipHalfAngle = 0;  // tool_tip_half_angle of its dimension as written; 0 when not given
  /// A ball end; a drilling tool; of those, one with a point; of those, a drill (see ModelTool).
  bool ballEnd = false, drilling = false, pointed = false, drill = false;
};

/// One workingstep as a generator sees it. All coordinates are the feature's own: its top at
/// z 0, material below, the tool coming from +z.
struct StepJob {
  StepJob(const ModelFeature& feature, const ModelOperation& operation, std::vector<Move>& m)
      : featureModel(&feature), operationModel(&operation), moves(m) {}
  /// The feature and the operation as the machining model holds them.
  const ModelFeature* featureModel;
  const ModelOperation* operationModel;
  Tool tool;
  double feed = std::numeric_limits<double>::quiet_NaN();  // mm/min, NaN when not given
  /// The height the tool goes up to between cuts and at the end: the operation's retract plane,
  /// else a little above the feature's top.
  double clearZ = 5;
  Plunge approach, retract;
  /// The workpiece's stock, seen from the feature: an open end inside it is cut as a closed one.
  FeatureStock stock;
  /// Where the moves go. The first is a rapid to a point at clearZ; the last ends at clearZ.
  std::vector<Move>& moves;
  /// Why nothing was generated, when a generator returns false.
  std::string reason;
  /// What the moves written do not make as the feature says (see ProgramStep::notes).
  std::vector<std::string> notes;
};

/// A placement of a path or profile seen in the feature's plane (only one whose axis is the
/// feature's, up or down, keeps a plane contour plane); `mirrored` where it looks from below.
struct Frame2 {
  Vec2 origin, x{1, 0}, y{0, 1};
  bool mirrored = false;
  Vec2 Apply(const Vec2& p) const { return Add(origin, Add(Mul(x, p.x), Mul(y, p.y))); }
  /// This frame within `outer`.
  Frame2 Then(const Frame2& outer) const {
    Frame2 f;
    f.origin = outer.Apply(origin);
    f.x = Sub(outer.Apply(x), outer.origin);
    f.y = Sub(outer.Apply(y), outer.origin);
    f.mirrored = mirrored != outer.mirrored;
    return f;
  }
};

/// A plane contour in the frame's outer coordinates, arcs turning the other way where mirrored.
Contour2 Placed(const Contour2& c, const Frame2& f);

/// The frame of a placement `what` ("profile's placement") in the feature's plane: the identity
/// where none is given; false, with `why`, where it cannot be read or is tilted out of the plane.
inline bool PlaneFrame(bool given, bool read, const Placement& p, const std::string& what, Frame2& out,
                       std::string& why) {
  out = Frame2{};
  if (!given) return true;
  if (!read) {
    why = "the " + what + " cannot be read";
    return false;
  }
  if (std::fabs(std::fabs(p.axis[2].z) - 1) > 1e-9) {
    why = "the " + what + " is tilted out of the feature's plane";
    return false;
  }
  out.origin = {p.origin.x, p.origin.y};
  out.x = {p.axis[0].x, p.axis[0].y};
  out.y = {p.axis[1].x, p.axis[1].y};
  out.mirrored = p.axis[2].z < 0;
  return true;
}

/// Each returns true when it wrote the workingstep's moves and false, with job.reason set, when
/// the case is not one it handles. A generator never guesses: an unset size is a reason.
bool GenerateArea(StepJob& job);     // planar_face, closed_pocket, open_pocket
bool GenerateHole(StepJob& job);     // round_hole
bool GenerateAlong(StepJob& job);    // slot, step, general_outside_profile, general_profile

/// A slot's course of travel, a step's open boundary or a profile's boundary in the feature's
/// system, as GenerateAlong cuts along it; false (job.reason set) where it cannot be read.
bool AlongCourse(StepJob& job, Contour2& out);

/// Whether the start (else the end) of an open path lies inside the stock, tried half way down
/// to the feature's depth (negative); `end` says where, for the workingstep's note.
bool EndInStock(const FeatureStock& stock, const Contour2& path, bool start, double depth, OpenEndInStock& end);

/// A length as a reason names it: the shortest text that reads back as the number ("32",
/// "8.5"), then " mm".
std::string Millimetres(double value);

/// Goes from where the writer is into the material at `target`: a rapid to clearZ above it
/// where not there, a feed down to `topZ` (where the material begins: the feature's top, or
/// the floor of the pass before), then as the approach strategy says: straight down; down and
/// back along `direction` (a unit vector in the plane, normally the first cut's) within `reach`
/// (how far the tool may go that way), a zigzag no wider than its width, a ramp as long as it
/// may be; or down a helix of the strategy's radius about the target, for which the generator
/// chooses a target where that circle plus the tool's radius fits.
void Enter(MoveWriter& out, const Vec3& target, double topZ, double clearZ, const Plunge& approach,
           const Vec2& direction, double reach, double feed);
/// Goes back up to clearZ from where the writer is: straight up, or along the retract strategy.
void Leave(MoveWriter& out, double clearZ, const Plunge& retract, const Vec2& direction, double feed);

}  // namespace varnholt::machining_detail

#endif

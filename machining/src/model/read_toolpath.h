// The moves along the curves of the toolpaths a file gives: lines as feeds, arcs of circles as
// arcs, other curves as chords within the program's tolerance, composite curves piece by piece
// (a piece against its sense run backwards). Read when the program asks for them, not with the
// model: the rule check and the scene never need them as moves. Internal.
#ifndef VARNHOLT_MODEL_READ_TOOLPATH_H
#define VARNHOLT_MODEL_READ_TOOLPATH_H

#include <vector>

#include "../scene_read.h"
#include "varnholt/motion.h"

class cct_Instance;

namespace varnholt::model_detail {

class ToolpathReader {
 public:
  explicit ToolpathReader(double tolerance);
  /// Appends the moves along `curve` from `at` (updated); the first point of the first curve
  /// (`first`) is where the tool starts: a feed to it of no length. False when the curve cannot
  /// be read or the budget of points is spent.
  bool Moves(const cct_Instance& curve, double feed, std::vector<Move>& out, Vec3& at, bool first);
  /// The budget of points is spent: a program of absurd size stops here.
  bool Exhausted() const { return budget_.exhausted; }

 private:
  bool CurveMoves(const cct_Instance& curve, double feed, std::vector<Move>& out, Vec3& at, bool first, int depth);

  scene_detail::Reader r_;
  std::vector<SceneProblem> problemList_;
  scene_detail::Problems problems_;
  scene_detail::Budget budget_;
  scene_detail::Geometry geometry_;
};

}  // namespace varnholt::model_detail

#endif

// The moves of the toolpaths a file gives, read from their curves when the program asks.
#include "read_toolpath.h"

#include <cmath>

#include "cct/instance.h"

namespace varnholt::model_detail {
namespace {

// To `to` from where the tool is, unless it is there; at the start a feed of no length that
// only says where the path begins.
void Join(std::vector<Move>& out, const Vec3& at, const Vec3& to, double feed, bool start = false) {
  if (!start && SamePoint(at, to)) return;
  MoveWriter(out, at).Feed(to, feed);
}

// Moves run backwards: a first feed to where they ended, then each move to where the one
// before it ended, arcs turning the other way.
void Reverse(std::vector<Move>& moves) {
  std::vector<Move> back;
  back.reserve(moves.size());
  Move begin = moves.back();
  begin.kind = MoveKind::Feed;
  back.push_back(begin);
  for (size_t k = moves.size() - 1; k >= 1; --k) {
    Move m = moves[k];
    m.to = moves[k - 1].to;
    m.clockwise = !m.clockwise;
    back.push_back(m);
  }
  moves.swap(back);
}

}  // namespace

ToolpathReader::ToolpathReader(double tolerance) : problems_(problemList_), geometry_(r_, problems_, budget_) {
  geometry_.SetTolerance(tolerance);
}

bool ToolpathReader::Moves(const cct_Instance& curve, double feed, std::vector<Move>& out, Vec3& at, bool first) {
  return CurveMoves(curve, feed, out, at, first, 0);
}

// The moves along one curve. The first point of the first curve is where the tool starts:
// a feed to it of no length. Arcs of circles stay arcs; the rest is chords.
bool ToolpathReader::CurveMoves(const cct_Instance& curve, double feed, std::vector<Move>& out, Vec3& at, bool first,
                                int depth) {
  if (depth > 16) return false;
  if (r_.Is(curve, "composite_curve")) {
    std::vector<cct_Instance*> segments;
    r_.Refs(curve, "segments", segments);
    bool any = false;
    for (const cct_Instance* segment : segments) {
      const cct_Instance* parent = segment ? r_.Ref(*segment, "parent_curve") : nullptr;
      if (!parent) continue;
      bool same = true;
      r_.Flag(*segment, "same_sense", same);
      const size_t before = out.size();
      if (same) {
        if (!CurveMoves(*parent, feed, out, at, first && !any, depth + 1)) continue;
      } else {
        // Against its sense: the segment's own moves, run backwards.
        std::vector<Move> piece;
        Vec3 start;
        if (!CurveMoves(*parent, feed, piece, start, true, depth + 1) || piece.empty()) continue;
        Reverse(piece);
        if (first && !any) out.push_back(piece.front());
        else Join(out, at, piece.front().to, feed);
        out.insert(out.end(), piece.begin() + 1, piece.end());
        at = out.back().to;
      }
      any = any || out.size() > before;
    }
    return any;
  }
  ArcPiece arc;
  if (geometry_.CircleArc(curve, arc)) {
    if (!budget_.Take(2)) return false;
    const Vec3 from = arc.frame.Apply({arc.radius * std::cos(arc.a0), arc.radius * std::sin(arc.a0), 0});
    const double a1 = arc.a0 + arc.sweep;
    const Vec3 to = arc.frame.Apply({arc.radius * std::cos(a1), arc.radius * std::sin(a1), 0});
    Join(out, at, from, feed, first);
    MoveWriter writer(out, from);
    // Clockwise as seen from where the normal points: against the counter-clockwise sweep.
    if (std::fabs(arc.sweep) >= 2 * kPi - 1e-12) {
      // A whole turn, as two halves: an arc that ends where it begins says no sweep.
      const Vec3 half = arc.frame.Apply({arc.radius * std::cos(arc.a0 + arc.sweep / 2),
                                         arc.radius * std::sin(arc.a0 + arc.sweep / 2), 0});
      writer.Arc(half, arc.frame.origin, arc.frame.axis[2], arc.sweep < 0, feed);
    }
    writer.Arc(to, arc.frame.origin, arc.frame.axis[2], arc.sweep < 0, feed);
    at = to;
    return true;
  }
  std::vector<Vec3> points;
  if (!geometry_.Curve(&curve, points) || points.empty()) return false;
  size_t k = 0;
  if (first) Join(out, at, points[k++], feed, true);
  else if (SamePoint(at, points[0])) k = 1;
  MoveWriter writer(out, at);
  for (; k < points.size(); ++k) writer.Feed(points[k], feed);
  if (!out.empty()) at = out.back().to;
  return true;
}

}  // namespace varnholt::model_detail

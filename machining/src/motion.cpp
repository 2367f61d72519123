// Moves: placing them, sampling them into points and measuring them.
#include "varnholt/motion.h"

#include <algorithm>

namespace varnholt {
namespace {

constexpr long kMaxArcSamples = 100000;  // a tolerance of zero must not ask for a billion points


Vec3 Rotate(const Placement& frame, const Vec3& v) {
  return Add(Add(Mul(frame.axis[0], v.x), Mul(frame.axis[1], v.y)), Mul(frame.axis[2], v.z));
}

// An arc taken apart: radius, the in-plane start direction u and its quarter turn w, the signed
// sweep (positive counter-clockwise about the normal) and the rise along the normal.
struct ArcParts {
  double radius = 0, sweep = 0, rise = 0;
  Vec3 u, w, n, center;
};

ArcParts Parts(const Vec3& from, const Move& arc) {
  ArcParts a;
  const double nl = Length(arc.normal);
  a.n = nl > 0 ? Mul(arc.normal, 1 / nl) : Vec3{0, 0, 1};
  a.center = arc.center;
  Vec3 s = Sub(from, arc.center), e = Sub(arc.to, arc.center);
  const double hs = Dot(s, a.n), he = Dot(e, a.n);
  s = Sub(s, Mul(a.n, hs));
  e = Sub(e, Mul(a.n, he));
  a.center = Add(arc.center, Mul(a.n, hs));
  a.rise = he - hs;
  a.radius = Length(s);
  if (!(a.radius > 0)) return a;
  a.u = Mul(s, 1 / a.radius);
  a.w = Cross(a.n, a.u);
  double angle = std::atan2(Dot(e, a.w), Dot(e, a.u));  // -pi..pi, counter-clockwise
  if (arc.clockwise) {
    angle = -angle;
    if (angle <= 1e-12) angle += 2 * kPi;
    a.sweep = -angle;
  } else {
    if (angle <= 1e-12) angle += 2 * kPi;
    a.sweep = angle;
  }
  return a;
}

Vec3 At(const ArcParts& a, double t) {
  const double phi = a.sweep * t;
  return Add(Add(a.center, Mul(a.n, a.rise * t)),
             Add(Mul(a.u, a.radius * std::cos(phi)), Mul(a.w, a.radius * std::sin(phi))));
}

}  // namespace

Move Placed(const Move& move, const Placement& frame) {
  Move placed = move;
  placed.to = frame.Apply(move.to);
  placed.center = frame.Apply(move.center);
  placed.normal = Rotate(frame, move.normal);
  return placed;
}

std::vector<Vec3> SampleMoves(const Vec3& from, const std::vector<Move>& moves, double tolerance) {
  std::vector<Vec3> points{from};
  Vec3 at = from;
  for (const Move& move : moves) {
    if (move.kind == MoveKind::Dwell) continue;
    if (move.kind == MoveKind::Arc) {
      const ArcParts a = Parts(at, move);
      if (a.radius > 0) {
        // The chord of an angle step d lies r (1 - cos(d/2)) from its arc.
        const double tol = std::max(tolerance, a.radius * 1e-9);
        const double step = tol >= a.radius ? kPi / 2 : 2 * std::acos(1 - tol / a.radius);
        const long count =
            std::clamp(static_cast<long>(std::ceil(std::fabs(a.sweep) / std::max(step, 1e-9))), 1L, kMaxArcSamples);
        for (long k = 1; k < count; ++k) points.push_back(At(a, static_cast<double>(k) / count));
      }
    }
    points.push_back(move.to);
    at = move.to;
  }
  return points;
}

double MoveLength(const Vec3& from, const Move& move) {
  if (move.kind == MoveKind::Dwell) return 0;
  if (move.kind == MoveKind::Arc) {
    const ArcParts a = Parts(from, move);
    if (a.radius > 0) return std::hypot(a.radius * a.sweep, a.rise);
  }
  return Length(Sub(move.to, from));
}

MoveLengths Lengths(const Vec3& from, const std::vector<Move>& moves) {
  MoveLengths lengths;
  Vec3 at = from;
  for (const Move& move : moves) {
    if (move.kind == MoveKind::Dwell) continue;
    (move.kind == MoveKind::Rapid ? lengths.rapid : lengths.cutting) += MoveLength(at, move);
    at = move.to;
  }
  return lengths;
}

void MoveWriter::Rapid(const Vec3& to) {
  Move move;
  move.kind = MoveKind::Rapid;
  move.to = to;
  out_.push_back(move);
  at_ = to;
}

void MoveWriter::Feed(const Vec3& to, double feed) {
  Move move;
  move.kind = MoveKind::Feed;
  move.to = to;
  move.feed = feed;
  out_.push_back(move);
  at_ = to;
}

void MoveWriter::Arc(const Vec3& to, const Vec3& center, const Vec3& normal, bool clockwise, double feed) {
  Move move;
  move.kind = MoveKind::Arc;
  move.to = to;
  move.center = center;
  move.normal = normal;
  move.clockwise = clockwise;
  move.feed = feed;
  out_.push_back(move);
  at_ = to;
}

void MoveWriter::Dwell(double seconds) {
  Move move;
  move.kind = MoveKind::Dwell;
  move.to = at_;
  move.seconds = seconds;
  out_.push_back(move);
}

}  // namespace varnholt

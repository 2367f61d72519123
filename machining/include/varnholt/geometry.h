// The small geometry every part of machining and the rule check works in: points and vectors in
// the plane and in space, rigid placements, boxes and arcs of circles, and one pi. Plain values
// with inline helpers, so that a generator, the scene and a rule all compute alike.
#ifndef VARNHOLT_GEOMETRY_H
#define VARNHOLT_GEOMETRY_H

#include <algorithm>
#include <cmath>
#include <vector>

namespace varnholt {

constexpr double kPi = 3.14159265358979323846;

struct Vec2 {
  double x = 0, y = 0;
};

struct Vec3 {
  double x = 0, y = 0, z = 0;
};

inline Vec2 Add(const Vec2& a, const Vec2& b) { return {a.x + b.x, a.y + b.y}; }
inline Vec2 Sub(const Vec2& a, const Vec2& b) { return {a.x - b.x, a.y - b.y}; }
inline Vec2 Mul(const Vec2& a, double s) { return {a.x * s, a.y * s}; }
inline double Dot(const Vec2& a, const Vec2& b) { return a.x * b.x + a.y * b.y; }
/// The z component of the cross product: positive when b lies counter-clockwise of a.
inline double Cross(const Vec2& a, const Vec2& b) { return a.x * b.y - a.y * b.x; }
inline double Length(const Vec2& a) { return std::hypot(a.x, a.y); }
inline double Distance(const Vec2& a, const Vec2& b) { return std::hypot(a.x - b.x, a.y - b.y); }
/// A quarter turn counter-clockwise.
inline Vec2 Left(const Vec2& a) { return {-a.y, a.x}; }
/// The direction of a; the x axis for a vector of no length.
inline Vec2 Unit(const Vec2& a) {
  const double l = Length(a);
  return l > 0 ? Vec2{a.x / l, a.y / l} : Vec2{1, 0};
}

inline Vec3 Add(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 Sub(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 Mul(const Vec3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(const Vec3& a) { return std::sqrt(Dot(a, a)); }
/// The direction of a; a itself when it has no length.
inline Vec3 Normalized(const Vec3& a) {
  const double l = Length(a);
  return l == 0 ? a : Vec3{a.x / l, a.y / l, a.z / l};
}
/// The same point, up to rounding.
inline bool SamePoint(const Vec3& a, const Vec3& b) {
  return std::fabs(a.x - b.x) < 1e-9 && std::fabs(a.y - b.y) < 1e-9 && std::fabs(a.z - b.z) < 1e-9;
}
inline bool Finite(const Vec3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

/// A rigid placement: the columns of `axis` are the local x, y and z directions in the outer
/// system, `origin` is the local origin there.
struct Placement {
  Vec3 origin;
  Vec3 axis[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  Vec3 Apply(const Vec3& local) const;
  /// The inverse of Apply: a point of the outer system in the local one.
  Vec3 Local(const Vec3& outer) const;
  /// This placement within `outer`: a point of the inner system, seen from outer's outside.
  Placement Within(const Placement& outer) const;
};

/// A piece of a plane contour ending at `to`: a straight line, or an arc about `center`.
struct Segment2 {
  Vec2 to;
  bool arc = false;
  Vec2 center;
  bool clockwise = false;
};

/// A contour in a plane: lines and arcs from `start`. A closed contour ends where it starts.
struct Contour2 {
  Vec2 start;
  std::vector<Segment2> segments;
  bool closed = false;
};

/// The contour run the other way: from its end to its start, arcs turning the other way.
Contour2 Reversed(const Contour2& loop);

/// Points of a contour, arcs sampled within `tolerance`; the first point is the start.
std::vector<Vec2> SampleContour(const Contour2& contour, double tolerance);

/// The smallest box around the points added to it.
struct Box {
  Vec3 low, high;
  bool empty = true;
  void Add(const Vec3& p) {
    if (empty) {
      low = high = p;
      empty = false;
      return;
    }
    low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
    high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
  }
};

/// An arc of a circle: from angle a0 (radians, in the frame's xy plane) by `sweep`, positive
/// counter-clockwise about the frame's z axis; a whole circle sweeps one turn.
struct ArcPiece {
  Placement frame;
  double radius = 0, a0 = 0, sweep = 0;
};

}  // namespace varnholt

#endif

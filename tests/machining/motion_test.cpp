// Moves: arcs sampled and measured the way they turn, placed through a frame, and the ways into
// the material that every generator uses.
#include "varnholt/motion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "generate.h"

using varnholt::Move;
using varnholt::MoveKind;
using varnholt::MoveWriter;
using varnholt::Vec3;
using varnholt::machining_detail::Enter;
using varnholt::machining_detail::Leave;
using varnholt::Plunge;
using varnholt::Vec2;

namespace {

constexpr double kPi = 3.14159265358979323846;

Move ArcTo(const Vec3& to, const Vec3& center, bool clockwise, const Vec3& normal = {0, 0, 1}) {
  Move m;
  m.kind = MoveKind::Arc;
  m.to = to;
  m.center = center;
  m.normal = normal;
  m.clockwise = clockwise;
  return m;
}

double Distance(const Vec3& a, const Vec3& b) { return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z); }

// Arcs run the way they say: a quarter from (1,0) to (0,1) counter-clockwise is a quarter, the
// same ends clockwise three quarters; every sample lies on the circle and no chord strays more
// than the tolerance from it.
TEST(Moves, ArcsAreSampledAndMeasuredTheWayTheyTurn) {
  struct Row {
    const char* name;
    Move arc;
    Vec3 from;
    double length;  // along the arc
    Vec3 middle;    // a point the arc passes
  } const rows[] = {
      {"quarter ccw", ArcTo({0, 1, 0}, {0, 0, 0}, false), {1, 0, 0}, kPi / 2, {std::sqrt(0.5), std::sqrt(0.5), 0}},
      {"three quarters cw", ArcTo({0, 1, 0}, {0, 0, 0}, true), {1, 0, 0}, 3 * kPi / 2, {0, -1, 0}},
      {"full circle", ArcTo({1, 0, 0}, {0, 0, 0}, false), {1, 0, 0}, 2 * kPi, {-1, 0, 0}},
      {"seen from below", ArcTo({0, 1, 0}, {0, 0, 0}, false, {0, 0, -1}), {1, 0, 0}, 3 * kPi / 2, {0, -1, 0}},
      {"half in the xz plane", ArcTo({-2, 0, 0}, {0, 0, 0}, false, {0, -1, 0}), {2, 0, 0}, 2 * kPi, {0, 0, 2}},
  };
  const double tolerance = 0.001;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<Vec3> points = varnholt::SampleMoves(row.from, {row.arc}, tolerance);
    ASSERT_GE(points.size(), 3u);
    const double radius = Distance(row.from, row.arc.center);
    double nearest = 1e9;
    for (size_t i = 0; i < points.size(); ++i) {
      EXPECT_NEAR(Distance(points[i], row.arc.center), radius, 1e-9);
      nearest = std::min(nearest, Distance(points[i], row.middle));
      if (i > 0) {
        const Vec3 mid{(points[i].x + points[i - 1].x) / 2, (points[i].y + points[i - 1].y) / 2,
                       (points[i].z + points[i - 1].z) / 2};
        EXPECT_LE(radius - Distance(mid, row.arc.center), tolerance + 1e-12);
      }
    }
    EXPECT_LT(nearest, 0.05) << "the arc does not pass where it turns";
    const varnholt::MoveLengths lengths = varnholt::Lengths(row.from, {row.arc});
    EXPECT_NEAR(lengths.cutting, row.length, 1e-9);
    EXPECT_EQ(lengths.rapid, 0);
  }
}

TEST(Moves, LengthsKeepRapidsApartAndAHelixRises) {
  std::vector<Move> moves;
  MoveWriter out(moves, {0, 0, 10});
  out.Rapid({0, 0, 2});
  out.Feed({3, 4, 2}, 100);
  out.Dwell(1.5);
  out.Arc({3, 4, 0}, {3, 0, 2}, {0, 0, 1}, false, 100);  // a full turn down 2 about (3,0)
  const varnholt::MoveLengths lengths = varnholt::Lengths({0, 0, 10}, moves);
  EXPECT_NEAR(lengths.rapid, 8, 1e-12);
  EXPECT_NEAR(lengths.cutting, 5 + std::hypot(2 * kPi * 4, 2), 1e-9);
  ASSERT_EQ(moves.size(), 4u);
  EXPECT_EQ(moves[2].kind, MoveKind::Dwell);
  EXPECT_EQ(moves[2].seconds, 1.5);
  EXPECT_TRUE(std::isnan(moves[0].feed)) << "a rapid has no feed";
  const std::vector<Vec3> points = varnholt::SampleMoves({0, 0, 10}, moves, 0.01);
  EXPECT_NEAR(points.back().z, 0, 1e-12);
  for (size_t i = 1; i < points.size(); ++i) EXPECT_LE(points[i].z, points[i - 1].z + 1e-12);
}

TEST(Moves, PlacingTurnsTheArcsPlaneWithIt) {
  varnholt::Placement frame;
  frame.origin = {10, 20, 30};
  frame.axis[0] = {0, 1, 0};
  frame.axis[1] = {-1, 0, 0};  // turned a quarter about z
  const Move placed = varnholt::Placed(ArcTo({0, 1, 0}, {0, 0, 0}, true, {0, 1, 0}), frame);
  EXPECT_NEAR(Distance(placed.to, {9, 20, 30}), 0, 1e-12);
  EXPECT_NEAR(Distance(placed.center, {10, 20, 30}), 0, 1e-12);
  EXPECT_NEAR(Distance(placed.normal, {-1, 0, 0}), 0, 1e-12);
  EXPECT_TRUE(placed.clockwise);
}

// Every way in ends at the target from above, never lower than it, no steeper than the
// strategy's slope, and within the room it was given along the first cut (or, for a helix,
// within its radius of the target).
TEST(Moves, EveryWayIntoTheMaterialKeepsItsSlopeAndRoom) {
  struct Row {
    const char* name;
    Plunge plunge;
    double reach;
  } const rows[] = {
      {"straight down", {Plunge::Axis, 0, 0, 0}, 10},
      {"ramp of 5 degrees", {Plunge::Ramp, 5 * kPi / 180, 0, 0}, 12},
      {"ramp with little room", {Plunge::Ramp, 5 * kPi / 180, 0, 0}, 2},
      {"zigzag 3 wide", {Plunge::Zigzag, 10 * kPi / 180, 0, 3}, 20},
      {"helix of radius 4", {Plunge::Helix, 3 * kPi / 180, 4, 0}, 0},
  };
  const Vec3 target{5, 5, -6};
  const double top = 0, clear = 5;
  const Vec2 direction{0, 1};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<Move> moves;
    MoveWriter out(moves, {0, 0, clear});
    Enter(out, target, top, clear, row.plunge, direction, row.reach, 100);
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.front().kind, MoveKind::Rapid);
    EXPECT_NEAR(moves.front().to.z, clear, 1e-12) << "first over the target at the clearance";
    EXPECT_NEAR(Distance(out.At(), target), 0, 1e-9);
    const std::vector<Vec3> points = varnholt::SampleMoves({0, 0, clear}, moves, 0.001);
    for (size_t i = 1; i < points.size(); ++i) {
      const Vec3& a = points[i - 1];
      const Vec3& b = points[i];
      EXPECT_GE(b.z, target.z - 1e-9);
      if (b.z >= top - 1e-12 || i == 1) continue;  // above the material anything goes
      const double run = std::hypot(b.x - a.x, b.y - a.y), fall = a.z - b.z;
      if (row.plunge.kind != Plunge::Axis && fall > 1e-9) {
        EXPECT_LE(fall, run * std::tan(row.plunge.angle) * (1 + 1e-6) + 1e-9) << "too steep at " << i;
      }
      if (row.plunge.kind == Plunge::Helix) {
        EXPECT_LE(std::hypot(b.x - target.x, b.y - target.y), row.plunge.radius + 1e-6);
      } else {
        // Along the line of the first cut, no farther than the room there is.
        EXPECT_NEAR(b.x, target.x, 1e-9);
        EXPECT_GE(b.y, target.y - 1e-9);
        const double room = row.plunge.kind == Plunge::Zigzag ? std::min(row.reach, row.plunge.width) : row.reach;
        EXPECT_LE(b.y - target.y, room + 1e-9);
      }
    }
  }
}

TEST(Moves, LeavingGoesUpToTheClearanceOnlyFromBelowIt) {
  std::vector<Move> moves;
  MoveWriter out(moves, {1, 2, -3});
  Leave(out, 5, Plunge{}, {1, 0}, 100);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].kind, MoveKind::Rapid);
  EXPECT_NEAR(Distance(moves[0].to, {1, 2, 5}), 0, 1e-12);
  Leave(out, 5, Plunge{}, {1, 0}, 100);
  EXPECT_EQ(moves.size(), 1u) << "already there";
  MoveWriter ramp(moves, {0, 0, -1});
  Leave(ramp, 1, {Plunge::Ramp, kPi / 4, 0, 0}, {0, 2}, 100);
  EXPECT_EQ(moves.back().kind, MoveKind::Feed);
  EXPECT_NEAR(Distance(moves.back().to, {0, 2, 1}), 0, 1e-9) << "up a 45 degree ramp onwards";
}

}  // namespace

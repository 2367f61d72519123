// The area generator on faces and pockets stated as numbers: the tool (a cylinder of its
// diameter) never enters the part, the floor is covered, the allowances are left, no level is
// deeper than the axial cutting depth, every rapid runs at the clear height, and what it does
// not handle it names, the first fault in the order it looks. The reader of faces and pockets
// is tested on file text: what it reads of each part, and what it leaves for the reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "cct/factory.h"
#include "cct/schema.h"
#include "plain_job.h"
#include "support/temp_file.h"
#include "varnholt/doc.h"
#include "varnholt/feature_area.h"
#include "varnholt/model_read.h"
#include "varnholt/program.h"

using varnholt::AreaFeature;
using varnholt::AreaIsland;
using varnholt::AreaProfile;
using varnholt::Contour2;
using varnholt::kUnset;
using varnholt::ModelOperation;
using varnholt::ModelStrategy;
using varnholt::Move;
using varnholt::MoveKind;
using varnholt::Placement;
using varnholt::Plunge;
using varnholt::Vec3;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kGouge = 1e-6;
constexpr double kClearZ = 5;
constexpr double kRadius = 5;  // the tool's

struct P2 {
  double x, y;
};
double Len(double x, double y) { return std::hypot(x, y); }

double SegmentDistance(const P2& p, const P2& a, const P2& b) {
  const double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
  double t = l2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / l2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return Len(p.x - a.x - t * dx, p.y - a.y - t * dy);
}
bool InPolygon(const P2& p, const std::vector<P2>& poly) {
  bool in = false;
  for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++)
    if ((poly[i].y > p.y) != (poly[j].y > p.y) &&
        p.x < (poly[j].x - poly[i].x) * (p.y - poly[i].y) / (poly[j].y - poly[i].y) + poly[i].x)
      in = !in;
  return in;
}
double PolylineDistance(const P2& p, const std::vector<P2>& line, bool closed) {
  double d = std::numeric_limits<double>::infinity();
  for (size_t i = 0; i + 1 < line.size(); ++i) d = std::min(d, SegmentDistance(p, line[i], line[i + 1]));
  if (closed) d = std::min(d, SegmentDistance(p, line.back(), line.front()));
  return d;
}

// How far a point is from the part's material at the walls: positive where the tool's centre
// may be, negative inside the material.
using Clearance = std::function<double(const P2&)>;

// A rounded rectangle centred at `c`, its x half size along the angle `turn`.
Clearance RoundRect(double hx, double hy, double r, P2 c = {0, 0}, double turn = 0) {
  return [=](const P2& p) {
    const double dx = p.x - c.x, dy = p.y - c.y;
    const double lx = dx * std::cos(turn) + dy * std::sin(turn), ly = -dx * std::sin(turn) + dy * std::cos(turn);
    const double qx = std::fabs(lx) - (hx - r), qy = std::fabs(ly) - (hy - r);
    const double sdf = Len(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) - r;
    return -sdf;
  };
}
Clearance Circle(double cx, double cy, double r, bool island) {
  return [=](const P2& p) { return island ? Len(p.x - cx, p.y - cy) - r : r - Len(p.x - cx, p.y - cy); };
}
Clearance Polygon(std::vector<P2> poly) {
  return [=](const P2& p) { return (InPolygon(p, poly) ? 1 : -1) * PolylineDistance(p, poly, true); };
}
// Walls along an open polyline; the pocket is open across from its last point to its first.
Clearance OpenWalls(std::vector<P2> walls, P2 outward) {
  return [=](const P2& p) {
    const double beyond = (p.x - walls.front().x) * outward.x + (p.y - walls.front().y) * outward.y;
    const bool free = beyond >= -1e-9 || InPolygon(p, walls);
    return (free ? 1 : -1) * PolylineDistance(p, walls, false);
  };
}

// --- faces and pockets as numbers ------------------------------------------------------------

// A profile of the kind and entity given, its numbers unset.
AreaProfile Of(AreaProfile::Kind kind, const char* type) {
  AreaProfile p;
  p.kind = kind;
  p.type = type;
  return p;
}
AreaProfile RectangleProfile(double length, double width) {
  AreaProfile p = Of(AreaProfile::Rectangle, "rectangular_closed_profile");
  p.length = length, p.width = width;
  return p;
}
// A circle, or given its number of sides an ngon, of the diameter given.
AreaProfile RoundProfile(double diameter, double sides = kUnset) {
  AreaProfile p = std::isnan(sides) ? Of(AreaProfile::Circle, "circular_closed_profile") : Of(AreaProfile::Ngon, "ngon_profile");
  p.diameter = diameter, p.sides = sides;
  return p;
}
Contour2 Polyline(const std::vector<P2>& points, bool close) {
  Contour2 c;
  c.start = {points[0].x, points[0].y};
  for (size_t i = 1; i < points.size(); ++i) c.segments.push_back({{points[i].x, points[i].y}, false, {}, false});
  if (close) c.segments.push_back({c.start, false, {}, false});
  c.closed = close;
  return c;
}
AreaProfile GeneralProfile(const Contour2& curve, const char* type = "general_closed_profile") {
  AreaProfile p = Of(AreaProfile::General, type);
  p.curveRead = true;
  p.curve = curve;
  return p;
}
// A placement in the plane: at (x, y), its x axis turned by `turn`.
varnholt::AreaPlacement Placed(double x, double y, double turn) {
  varnholt::AreaPlacement out;
  out.given = out.read = true;
  out.placement.origin = {x, y, 0};
  out.placement.axis[0] = {std::cos(turn), std::sin(turn), 0};
  out.placement.axis[1] = {-std::sin(turn), std::cos(turn), 0};
  return out;
}
// A boss from below the floor up to the top, a circle of diameter d at (x, y).
AreaIsland Boss(double x, double y, double d) {
  AreaIsland island;
  island.given = island.placed = true;
  island.placement.origin = {x, y, 0};
  island.boundary = RoundProfile(d);
  return island;
}
AreaFeature Area(AreaFeature::Kind kind, double depth) {
  AreaFeature f;
  f.kind = kind;
  f.hasDepth = true;
  f.depth.origin.z = depth;
  f.placed = true;
  if (kind != AreaFeature::Face) f.bottom.kind = AreaFeature::Bottom::Planar;
  return f;
}
AreaFeature Pocket(const AreaProfile& boundary, double depth = -8) {
  AreaFeature f = Area(AreaFeature::ClosedPocket, depth);
  f.boundary = boundary;
  return f;
}
AreaFeature OpenPocket(const std::vector<P2>& walls, double depth = -8) {
  AreaFeature f = Area(AreaFeature::OpenPocket, depth);
  f.openBoundary = GeneralProfile(Polyline(walls, false), "general_profile");
  return f;
}
// A face along x from the origin, `width` across.
AreaFeature Face(double length, double width, double depth = -3) {
  AreaFeature f = Area(AreaFeature::Face, depth);
  f.travel.given = true;
  f.travel.direction = {1, 0, 0};
  f.travel.distance = length;
  f.removalWidth = width;
  return f;
}

Plunge Helix() { return {Plunge::Helix, 5 * kPi / 180, 2, 0}; }
Plunge Ramp() { return {Plunge::Ramp, 5 * kPi / 180, 0, 0}; }

struct IslandModel {
  Clearance clearance;
  double top;
};

struct FeatureCase {
  const char* name;
  AreaFeature feature;
  Clearance walls;  // null for a face: open all round
  std::vector<IslandModel> islands;
  P2 low, high;             // the floor's extent
  std::vector<P2> corners;  // where a round tool leaves material standing
  Plunge approach;
  bool Face() const { return feature.kind == AreaFeature::Face; }
  double Floor() const { return feature.depth.origin.z; }
};

std::vector<FeatureCase> Features() {
  std::vector<FeatureCase> out;
  // A 60 x 40 pocket whose corners (radius 3) are tighter than the tool.
  AreaFeature rectangle = Pocket(RectangleProfile(60, 40));
  rectangle.orthogonalRadius = 3;
  out.push_back({"rectangle", rectangle, RoundRect(30, 20, 3), {}, {-30, -20}, {30, 20},
                 {{-30, -20}, {30, -20}, {30, 20}, {-30, 20}}, Helix()});
  // The same through a placement of its own: moved and turned by 30 degrees.
  AreaFeature turned = rectangle;
  const double turn = kPi / 6;
  turned.boundary.placement = Placed(5, -3, turn);
  std::vector<P2> turnedCorners;
  for (const P2& c : {P2{-30, -20}, P2{30, -20}, P2{30, 20}, P2{-30, 20}})
    turnedCorners.push_back({5 + c.x * std::cos(turn) - c.y * std::sin(turn), -3 + c.x * std::sin(turn) + c.y * std::cos(turn)});
  out.push_back({"placed rectangle", turned, RoundRect(30, 20, 3, {5, -3}, turn), {}, {-31, -34}, {41, 28},
                 turnedCorners, Plunge{}});
  out.push_back({"circle", Pocket(RoundProfile(50)), Circle(0, 0, 25, false), {}, {-25, -25}, {25, 25}, {}, Helix()});
  std::vector<P2> hexagon;
  for (int i = 0; i < 6; ++i) hexagon.push_back({25 * std::cos(kPi * i / 3), 25 * std::sin(kPi * i / 3)});
  out.push_back({"hexagon", Pocket(RoundProfile(50, 6)), Polygon(hexagon), {}, {-25, -22}, {25, 22}, hexagon, Plunge{}});
  const std::vector<P2> ell{{-30, -20}, {30, -20}, {30, 0}, {0, 0}, {0, 20}, {-30, 20}};
  out.push_back({"L-shaped polyline", Pocket(GeneralProfile(Polyline(ell, true))), Polygon(ell), {}, {-30, -20}, {30, 20},
                 {{-30, -20}, {30, -20}, {30, 0}, {0, 20}, {-30, 20}}, Ramp()});
  AreaFeature withIsland = Pocket(RectangleProfile(70, 50));
  withIsland.islands.push_back(Boss(5, 0, 14));
  out.push_back({"rectangle with a round island", withIsland, RoundRect(35, 25, 0), {{Circle(5, 0, 7, true), 0}},
                 {-35, -25}, {35, 25}, {{-35, -25}, {35, -25}, {35, 25}, {-35, 25}}, Ramp()});
  // Walls along three sides of a 60 x 40 rectangle, open at x = 30.
  const std::vector<P2> u{{30, -20}, {-30, -20}, {-30, 20}, {30, 20}};
  out.push_back({"open U", OpenPocket({{30, 20}, {-30, 20}, {-30, -20}, {30, -20}}), OpenWalls(u, {1, 0}), {},
                 {-30, -20}, {30, 20}, {{-30, -20}, {-30, 20}}, Plunge{}});
  out.push_back({"face", Face(80, 50), nullptr, {}, {0, 0}, {80, 50}, {}, Plunge{}});
  AreaFeature faceWithBoss = Face(80, 50);
  faceWithBoss.islands.push_back(Boss(40, 25, 16));
  out.push_back({"face with a boss", faceWithBoss, nullptr, {{Circle(40, 25, 8, true), 0}}, {0, 0}, {80, 50}, {}, Ramp()});
  return out;
}

struct StrategyCase {
  const char* name;
  ModelStrategy strategy;
};

std::vector<StrategyCase> Strategies() {
  using P = ModelStrategy::Pattern;
  auto make = [](const char* type, P pattern, double overlap) {
    ModelStrategy s;
    s.name = "#320";
    s.type = type;
    s.pattern = pattern;
    s.overlap = overlap;
    return s;
  };
  auto along = [](ModelStrategy s, const Vec3& direction) {
    s.hasFeedDirection = s.feedDirectionRead = true;
    s.feedDirection = direction;
    return s;
  };
  ModelStrategy parallel = make("contour_parallel", P::ContourParallel, 0.4);
  parallel.rotationDirection = "ccw";
  parallel.cutmode = "climb";
  ModelStrategy bidirectional = along(make("bidirectional", P::Bidirectional, 0.3), {1, 0, 0});
  bidirectional.stepoverDirection = "left";
  ModelStrategy unidirectional = along(make("unidirectional", P::Unidirectional, 0.5), {0, 1, 0});
  unidirectional.cutmode = "CONVENTIONAL";
  ModelStrategy bidirectionalContour = along(make("bidirectional_contour", P::BidirectionalContour, 0.25), {0, 1, 0});
  bidirectionalContour.stepoverDirection = "right";
  bidirectionalContour.rotationDirection = "cw";
  ModelStrategy contourBidirectional = along(make("contour_bidirectional", P::ContourBidirectional, 0.5), {1, 0, 0});
  contourBidirectional.stepoverDirection = "left";
  contourBidirectional.rotationDirection = "ccw";
  return {
      {"contour_parallel", parallel},
      {"bidirectional", bidirectional},
      {"unidirectional", unidirectional},
      {"bidirectional_contour", bidirectionalContour},
      {"contour_bidirectional", contourBidirectional},
      {"center_milling", make("center_milling", P::CenterMilling, 0.5)},
      {"unset", ModelStrategy{}},
  };
}

struct Operation {
  double axial, allowSide, allowBottom;  // NaN: not given
  bool finish;
};

ModelOperation OperationOf(const FeatureCase& f, const ModelStrategy& strategy, const Operation& op) {
  ModelOperation o;
  o.name = "#300";
  o.milling = true;
  if (f.Face()) {
    o.planeMilling = true;
    o.type = op.finish ? "plane_finish_milling" : "plane_rough_milling";
  } else {
    o.bottomAndSideMilling = true;
    o.type = op.finish ? "bottom_and_side_finish_milling" : "bottom_and_side_rough_milling";
    o.allowanceSide = op.allowSide;
  }
  o.axialCuttingDepth = op.axial;
  o.allowanceBottom = op.allowBottom;
  o.strategy = strategy;
  return o;
}

// What the generator gives: its moves from where the first rapid ends, or its reason.
struct Outcome {
  bool generated = false;
  std::string reason;
  Vec3 start;
  std::vector<Move> moves;
};

struct ToolSize {
  double diameter = 2 * kRadius, cornerRadius = 0;
};

Outcome Generate(const AreaFeature& feature, const ModelOperation& operation, const Plunge& approach, ToolSize tool = {}) {
  varnholt::ModelFeature model;
  model.area = std::make_shared<AreaFeature>(feature);
  gen::PlainJob plain(model, operation);
  plain.job.tool.diameter = tool.diameter;
  plain.job.tool.cornerRadius = tool.cornerRadius;
  plain.job.feed = 900;
  plain.job.clearZ = kClearZ;
  plain.job.approach = approach;
  Outcome run;
  run.generated = varnholt::machining_detail::GenerateArea(plain.job);
  run.reason = plain.job.reason;
  run.moves = plain.moves;
  if (!run.moves.empty()) run.start = run.moves.front().to;
  return run;
}

// Points along the moves no farther apart than `step`, each with the kind of move it is on.
struct Sample {
  Vec3 p;
  bool cutting;
};
std::vector<Sample> Walk(const Vec3& start, const std::vector<Move>& moves, double step) {
  std::vector<Sample> out;
  Vec3 at = start;
  for (const Move& m : moves) {
    const std::vector<Vec3> pts = varnholt::SampleMoves(at, {m}, 1e-4);
    const bool cutting = m.kind == MoveKind::Feed || m.kind == MoveKind::Arc;
    for (size_t i = 1; i < pts.size(); ++i) {
      const Vec3 a = pts[i - 1], b = pts[i];
      const double l = std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y) + (b.z - a.z) * (b.z - a.z));
      const int n = std::max(1, static_cast<int>(std::ceil(l / step)));
      for (int k = 0; k <= n; ++k) {
        const double t = static_cast<double>(k) / n;
        out.push_back({{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t}, cutting});
      }
    }
    if (m.kind != MoveKind::Dwell) at = m.to;
  }
  return out;
}

// The least clearance from the part of a tool centre at p (the walls and the islands standing there).
double PartClearance(const FeatureCase& f, const Vec3& p) {
  double c = f.walls ? f.walls({p.x, p.y}) : std::numeric_limits<double>::infinity();
  for (const IslandModel& island : f.islands)
    if (p.z < island.top) c = std::min(c, island.clearance({p.x, p.y}));
  return c;
}

// The measures every generated area must pass.
void Check(const FeatureCase& f, const Outcome& run, const Operation& given, const std::string& where) {
  ASSERT_TRUE(run.generated) << where << ": " << run.reason;
  ASSERT_FALSE(run.moves.empty()) << where;
  // Allowances not given are none.
  const double allowSide = std::isnan(given.allowSide) ? 0 : given.allowSide;
  const double allowBottom = std::isnan(given.allowBottom) ? 0 : given.allowBottom;
  const double bottom = f.Floor() + allowBottom;

  // Rapids only at the clear height.
  Vec3 at = run.start;
  for (const Move& m : run.moves) {
    if (m.kind == MoveKind::Rapid) {
      EXPECT_GE(m.to.z, kClearZ - 1e-9) << where << ": a rapid ends below the clear height";
      if (std::fabs(m.to.x - at.x) > 1e-9 || std::fabs(m.to.y - at.y) > 1e-9) {
        EXPECT_GE(at.z, kClearZ - 1e-9) << where << ": a rapid moves sideways below the clear height";
      }
    }
    at = m.to;
  }
  EXPECT_GE(at.z, kClearZ - 1e-9) << where << ": the moves end at the clear height";

  // No gouge: every cutting point keeps the tool's radius (plus the allowance) from the part
  // and stays above the floor's allowance; the walls are reached.
  double closest = std::numeric_limits<double>::infinity(), lowest = 0;
  std::vector<double> levels;
  std::vector<std::pair<P2, P2>> floorCuts;
  const std::vector<Sample> samples = Walk(run.start, run.moves, 0.02);
  for (size_t i = 0; i < samples.size(); ++i) {
    const Sample& q = samples[i];
    if (!q.cutting || q.p.z >= 0) continue;
    const double c = PartClearance(f, q.p) - kRadius;
    closest = std::min(closest, c);
    if (c < allowSide - kGouge) {
      ADD_FAILURE() << where << ": the tool enters the part at (" << q.p.x << ", " << q.p.y << ", " << q.p.z << ") by "
                    << allowSide - c;
      break;
    }
    lowest = std::min(lowest, q.p.z);
    if (i > 0 && samples[i - 1].cutting && std::fabs(samples[i - 1].p.z - q.p.z) < 1e-12) {
      levels.push_back(q.p.z);
      if (std::fabs(q.p.z - bottom) < 1e-9) floorCuts.push_back({{samples[i - 1].p.x, samples[i - 1].p.y}, {q.p.x, q.p.y}});
    }
  }
  EXPECT_NEAR(lowest, bottom, 1e-9) << where << ": the floor's allowance";
  if (!f.Face() || !f.islands.empty()) {
    EXPECT_LE(closest, allowSide + 0.003) << where << ": the last pass does not reach the side allowance";
  }

  // Levels: none deeper than the axial cutting depth below the one before.
  std::sort(levels.begin(), levels.end());
  levels.erase(std::unique(levels.begin(), levels.end(), [](double a, double b) { return std::fabs(a - b) < 1e-9; }),
               levels.end());
  double above = 0;
  for (size_t k = levels.size(); k-- > 0 && !std::isnan(given.axial);) {
    EXPECT_LE(above - levels[k], given.axial + 1e-9) << where << ": a level deeper than the axial cutting depth";
    above = levels[k];
  }

  // Floor coverage: every grid point of the floor (away from the allowances and the corners
  // a round tool cannot reach) within the tool's radius of a cut at the floor's height.
  const double cell = kRadius;
  std::unordered_map<unsigned long long, std::vector<size_t>> bins;
  // Cells counted from far below any coordinate, so that the shifted part is never negative.
  auto key = [&](double x, double y) {
    return (static_cast<unsigned long long>(std::floor(x / cell) + 1e6) << 32) ^
           static_cast<unsigned long long>(std::floor(y / cell) + 1e6);
  };
  for (size_t i = 0; i < floorCuts.size(); ++i) bins[key(floorCuts[i].first.x, floorCuts[i].first.y)].push_back(i);
  int uncovered = 0;
  for (double x = f.low.x; x <= f.high.x + 1e-9 && uncovered < 3; x += 0.5)
    for (double y = f.low.y; y <= f.high.y + 1e-9 && uncovered < 3; y += 0.5) {
      const P2 q{x, y};
      if (PartClearance(f, {x, y, bottom}) < allowSide + 0.01) continue;
      bool corner = false;
      for (const P2& c : f.corners) corner = corner || Len(q.x - c.x, q.y - c.y) < 1.5 * (kRadius + allowSide);
      if (corner) continue;
      bool covered = false;
      for (int dx = -2; dx <= 2 && !covered; ++dx)
        for (int dy = -2; dy <= 2 && !covered; ++dy) {
          auto bin = bins.find(key(x + dx * cell, y + dy * cell));
          if (bin == bins.end()) continue;
          for (size_t i : bin->second)
            if (SegmentDistance(q, floorCuts[i].first, floorCuts[i].second) <= kRadius + 1e-6) {
              covered = true;
              break;
            }
        }
      if (!covered) {
        ++uncovered;
        ADD_FAILURE() << where << ": the floor at (" << x << ", " << y << ") is left standing";
      }
    }
}

}  // namespace

// Every feature with every strategy, as a rough operation leaving allowances.
TEST(GenerateArea, FeaturesByStrategiesStayInsideCoverTheFloorAndLeaveTheAllowances) {
  for (const FeatureCase& f : Features())
    for (const StrategyCase& s : Strategies()) {
      const Operation op = f.Face() ? Operation{1.0, kUnset, 0.2, false} : Operation{2.5, 0.5, 0.3, false};
      Check(f, Generate(f.feature, OperationOf(f, s.strategy, op), f.approach), op,
            std::string(f.name) + " / " + s.name);
    }
}

// A finish operation stating no allowances goes to the walls and the floor, in one level
// where the axial depth allows it.
TEST(GenerateArea, FinishWithoutAllowancesReachesWallsAndFloor) {
  for (const FeatureCase& f : Features()) {
    const StrategyCase s = Strategies()[f.Face() ? 1 : 0];
    const Operation op{10.0, kUnset, kUnset, true};
    Check(f, Generate(f.feature, OperationOf(f, s.strategy, op), f.approach), op, std::string(f.name) + " finish");
  }
}

// Side milling takes the walls at the side allowance and leaves the floor's allowance unread:
// its cuts all keep to the walls, down to the floor itself.
TEST(GenerateArea, SideMillingGoesAlongTheWallsToTheFloor) {
  for (const FeatureCase& f : Features()) {
    if (f.Face()) continue;
    ModelOperation o = OperationOf(f, Strategies()[0].strategy, {3.0, 0.5, -1.0, false});
    o.bottomAndSideMilling = false;
    o.sideMilling = true;
    o.type = "side_rough_milling";
    const Outcome run = Generate(f.feature, o, Plunge{});
    ASSERT_TRUE(run.generated) << f.name << ": " << run.reason;
    double lowest = 0;
    for (const Sample& q : Walk(run.start, run.moves, 0.05)) {
      if (!q.cutting || q.p.z >= 0) continue;
      lowest = std::min(lowest, q.p.z);
      const double c = PartClearance(f, q.p) - kRadius;
      ASSERT_GE(c, 0.5 - kGouge) << f.name << ": a cut inside the side allowance at (" << q.p.x << ", " << q.p.y << ")";
      // Where the walls bend, the ring stays within a chord of the allowance; along them it is on it.
      if (f.walls && f.corners.empty() && f.islands.empty()) {
        EXPECT_NEAR(c, 0.5, 0.01) << f.name << ": a cut away from the walls at (" << q.p.x << ", " << q.p.y << ")";
      }
    }
    EXPECT_NEAR(lowest, f.Floor(), 1e-9) << f.name;
  }
}

// Levels are the depth shared out evenly in as few passes as the axial depth allows, down to
// the floor's allowance; a boss is gone round only in the levels below its top.
TEST(GenerateArea, LevelsShareTheDepthEvenly) {
  struct Case {
    double depth, axial, allowBottom;
    std::vector<double> levels;
  } const cases[] = {
      {-8, 2.5, 0.3, {-1.925, -3.85, -5.775, -7.7}},
      {-8, 4, 0, {-4, -8}},
      {-8, 8, 0, {-8}},
      {-8, 10, 0, {-8}},
      {-6, 2, 0, {-2, -4, -6}},
      {-8, kUnset, 0.5, {-7.5}},
  };
  for (const Case& c : cases)
    for (bool withBoss : {false, true}) {
      AreaFeature f = Pocket(RoundProfile(40), c.depth);
      FeatureCase fc{"circle", f, Circle(0, 0, 20, false), {}, {-20, -20}, {20, 20}, {}, Plunge{}};
      if (withBoss) {
        // Up to halfway down.
        fc.feature.islands.push_back(Boss(3, 2, 10));
        fc.feature.islands[0].placement.origin.z = c.depth / 2;
        fc.islands.push_back({Circle(3, 2, 5, true), c.depth / 2});
      }
      const Operation op{c.axial, 0, c.allowBottom, false};
      const Outcome run = Generate(fc.feature, OperationOf(fc, Strategies()[0].strategy, op), Plunge{});
      const std::string where = "depth " + std::to_string(c.depth) + " axial " + std::to_string(c.axial) +
                                (withBoss ? " around a boss" : "");
      ASSERT_TRUE(run.generated) << where << ": " << run.reason;
      // The heights of the cuts across.
      std::vector<double> levels;
      Vec3 at = run.start;
      for (const Move& m : run.moves) {
        if (m.kind != MoveKind::Rapid && m.to.z < 0 && std::fabs(m.to.z - at.z) < 1e-12 &&
            (levels.empty() || std::fabs(levels.back() - m.to.z) > 1e-9))
          levels.push_back(m.to.z);
        at = m.to;
      }
      ASSERT_EQ(levels.size(), c.levels.size()) << where;
      for (size_t k = 0; k < levels.size(); ++k) EXPECT_NEAR(levels[k], c.levels[k], 1e-9) << where << " level " << k;
      Check(fc, run, op, where);
    }
}

// What is not handled is said, and nothing is guessed: each fault's own reason, and where
// there are two, the one the generator looks at first.
TEST(GenerateArea, CasesNotHandledGiveTheirReasonInOrder) {
  const std::vector<FeatureCase> features = Features();
  const FeatureCase& rectangle = features[0];
  const FeatureCase& open = features[6];
  const FeatureCase& face = features[7];
  ASSERT_EQ(std::string(open.name), "open U");
  ASSERT_EQ(std::string(face.name), "face");
  struct Row {
    const char* what;
    const FeatureCase& base;
    std::function<void(AreaFeature&, ModelOperation&, ToolSize&)> change;
    std::string reason;
  };
  using F = AreaFeature;
  using O = ModelOperation;
  using T = ToolSize;
  const Row rows[] = {
      // The operation.
      {"a drilling operation", rectangle,
       [](F&, O& o, T&) { o.bottomAndSideMilling = false, o.type = "drilling"; },
       "an operation of kind drilling is not one faces and pockets are milled with (plane, bottom and side, or side milling)"},
      {"no axial depth", rectangle, [](F&, O& o, T&) { o.axialCuttingDepth = 0; }, "the axial cutting depth is not positive"},
      {"negative bottom allowance", rectangle, [](F&, O& o, T&) { o.allowanceBottom = -0.1; },
       "the bottom allowance is negative"},
      {"side milling leaves the bottom allowance unread", rectangle,
       [](F&, O& o, T&) {
         o.bottomAndSideMilling = false, o.sideMilling = true;
         o.allowanceBottom = -1, o.allowanceSide = -0.1;
       },
       "the side allowance is negative"},
      {"negative side allowance", rectangle, [](F&, O& o, T&) { o.allowanceSide = -0.1; }, "the side allowance is negative"},
      {"edge radius beyond the radius", rectangle, [](F&, O&, T& t) { t.cornerRadius = 5.1; },
       "the tool's edge radius is larger than its radius"},
      {"a spiral strategy", rectangle,
       [](F&, O& o, T&) { o.strategy.pattern = ModelStrategy::Other, o.strategy.type = "contour_spiral"; },
       "a strategy of kind contour_spiral is not one areas are cleared with"},
      {"a vertical feed direction", rectangle,
       [](F&, O& o, T&) {
         o.strategy.hasFeedDirection = o.strategy.feedDirectionRead = true;
         o.strategy.feedDirection = {0, 0, 1};
       },
       "the feed direction does not lie in the plane"},
      {"a feed direction that cannot be read", rectangle, [](F&, O& o, T&) { o.strategy.hasFeedDirection = true; },
       "the feed direction does not lie in the plane"},
      {"no radial depth", rectangle, [](F&, O& o, T&) { o.radialCuttingDepth = 0; },
       "the radial cutting depth is not positive"},
      {"a radial depth wider than the tool", rectangle, [](F&, O& o, T&) { o.radialCuttingDepth = 10.01; },
       "the radial cutting depth is wider than the tool"},
      {"an overlap that is no ratio", rectangle, [](F&, O& o, T&) { o.strategy.overlap = 1; },
       "the strategy's overlap is not a ratio between 0 and 1"},
      // The depth.
      {"no depth", rectangle, [](F& f, O&, T&) { f.hasDepth = false; },
       "the feature's depth is not a plane that can be read"},
      {"a tilted depth", rectangle, [](F& f, O&, T&) { f.depth.axis[2] = {0, 0.1, 0.995}; },
       "the feature's depth plane is tilted"},
      {"a depth at the top", rectangle, [](F& f, O&, T&) { f.depth.origin.z = 0; },
       "the feature's depth is not below its top"},
      // The islands.
      {"bosses in an unplaced feature", rectangle,
       [](F& f, O&, T&) { f.placed = false, f.islands.push_back(Boss(0, 0, 6)); },
       "the feature's placement cannot be read"},
      {"an unset boss", rectangle, [](F& f, O&, T&) { f.islands.push_back(AreaIsland{}); }, "an island is unset"},
      {"a boss without placement", rectangle,
       [](F& f, O&, T&) {
         f.islands.push_back(Boss(0, 0, 6));
         f.islands[0].placed = false;
       },
       "an island's placement cannot be read"},
      {"a tilted boss", rectangle,
       [](F& f, O&, T&) {
         f.islands.push_back(Boss(0, 0, 6));
         f.islands[0].placement.axis[2] = {0.1, 0, 0.995};
       },
       "an island stands tilted in the feature"},
      {"a sloped boss", rectangle,
       [](F& f, O&, T&) {
         f.islands.push_back(Boss(0, 0, 6));
         f.islands[0].slope = 0.1;
       },
       "an island with sloped sides is not cleared around"},
      {"a boss without boundary", rectangle,
       [](F& f, O&, T&) {
         f.islands.push_back(Boss(0, 0, 6));
         f.islands[0].boundary = AreaProfile{};
       },
       "an island's the boundary is unset"},
      {"a boss's second fault", rectangle,
       [](F& f, O&, T&) {
         f.islands.push_back(Boss(0, 0, 6));
         f.islands.push_back(Boss(10, 0, 6));
         f.islands[1].boundary.diameter = 0;
       },
       "an island's the profile's sizes are not positive"},
      // The pocket.
      {"sloped walls", rectangle, [](F& f, O&, T&) { f.slope = -0.1; }, "a pocket with sloped walls is not cleared"},
      {"a radiused bottom", rectangle,
       [](F& f, O&, T&) { f.bottom = {F::Bottom::Other, "radiused_pocket_bottom_condition"}; },
       "a pocket bottom of kind radiused_pocket_bottom_condition is not one a flat end mill clears"},
      {"a negative corner radius", rectangle, [](F& f, O&, T&) { f.orthogonalRadius = -1; },
       "the pocket's corner radius is negative"},
      {"a negative floor radius", rectangle, [](F& f, O&, T&) { f.planarRadius = -1; }, "the pocket's floor radius is negative"},
      // A closed boundary.
      {"no boundary", rectangle, [](F& f, O&, T&) { f.boundary = AreaProfile{}; }, "the boundary is unset"},
      {"a placement that cannot be read", rectangle, [](F& f, O&, T&) { f.boundary.placement.given = true; },
       "the profile's placement cannot be read"},
      {"a placement out of the plane", rectangle,
       [](F& f, O&, T&) {
         f.boundary.placement = Placed(0, 0, 0);
         f.boundary.placement.placement.axis[2] = {0, 1, 0};
       },
       "the profile's placement is tilted out of the feature's plane"},
      {"a rectangle without width", rectangle, [](F& f, O&, T&) { f.boundary.width = kUnset; }, "the profile's sizes are unset"},
      {"a rectangle of no length", rectangle, [](F& f, O&, T&) { f.boundary.length = 0; },
       "the profile's sizes are not positive"},
      {"a circle without diameter", rectangle, [](F& f, O&, T&) { f.boundary = RoundProfile(kUnset); },
       "the profile's sizes are unset"},
      {"a two-sided ngon", rectangle, [](F& f, O&, T&) { f.boundary = RoundProfile(40, 2); },
       "a boundary of kind ngon_profile (or with its sizes unset) is not one areas are cleared in"},
      {"an ngon of too many sides", rectangle, [](F& f, O&, T&) { f.boundary = RoundProfile(40, 1001); },
       "a boundary of kind ngon_profile (or with its sizes unset) is not one areas are cleared in"},
      {"an ngon without diameter", rectangle, [](F& f, O&, T&) { f.boundary = RoundProfile(kUnset, 6); },
       "a boundary of kind ngon_profile (or with its sizes unset) is not one areas are cleared in"},
      {"a curve that cannot be read", rectangle,
       [](F& f, O&, T&) {
         f.boundary = GeneralProfile({});
         f.boundary.curveRead = false;
         f.boundary.why = "the curve is unset";
       },
       "the boundary cannot be read: the curve is unset"},
      {"a curve that does not close", rectangle,
       [](F& f, O&, T&) { f.boundary = GeneralProfile(Polyline({{0, 0}, {20, 0}, {20, 20}}, false)); },
       "the closed profile's curve does not close"},
      {"a closed curve of two points", rectangle,
       [](F& f, O&, T&) { f.boundary = GeneralProfile(Polyline({{0, 0}, {20, 0}}, true)); },
       "the boundary has fewer than three points"},
      {"an open profile as a closed boundary", rectangle,
       [](F& f, O&, T&) { f.boundary = Of(AreaProfile::Other, "general_profile"); },
       "a boundary of kind general_profile (or with its sizes unset) is not one areas are cleared in"},
      {"a tool wider than the pocket", rectangle, [](F& f, O&, T&) { f.boundary = RoundProfile(9); },
       "the tool is wider than the pocket"},
      {"a helix wider than the pocket", rectangle, [](F& f, O&, T&) { f.boundary = RoundProfile(14); },
       "the approach helix does not fit in the area"},
      // An open pocket.
      {"no open boundary", open, [](F& f, O&, T&) { f.openBoundary = AreaProfile{}; }, "the open pocket's boundary is unset"},
      {"a U profile", open, [](F& f, O&, T&) { f.openBoundary = Of(AreaProfile::Other, "square_u_profile"); },
       "an open boundary of kind square_u_profile does not say how far its sides reach; only a general profile is cleared"},
      {"its placement cannot be read", open, [](F& f, O&, T&) { f.openBoundary.placement.given = true; },
       "the profile's placement cannot be read"},
      {"its curve cannot be read", open,
       [](F& f, O&, T&) {
         f.openBoundary.curveRead = false;
         f.openBoundary.why = "a curve of kind pcurve cannot be read";
       },
       "the open boundary cannot be read: a curve of kind pcurve cannot be read"},
      {"a closed curve", open, [](F& f, O&, T&) { f.openBoundary.curve = Polyline({{0, 0}, {20, 0}, {20, 20}}, true); },
       "the open pocket's boundary is closed: it has no open side"},
      {"a curve of two points", open, [](F& f, O&, T&) { f.openBoundary.curve = Polyline({{0, 0}, {20, 0}}, false); },
       "the open boundary has too few points to enclose anything"},
      {"an open side narrower than the tool", open,
       [](F& f, O&, T&) { f.openBoundary.curve = Polyline({{30, 4.9}, {-30, 4.9}, {-30, -4.9}, {30, -4.9}}, false); },
       "the open side is narrower than the tool"},
      // A face.
      {"side milling a face", face,
       [](F&, O& o, T&) { o.planeMilling = false, o.sideMilling = true; },
       "side milling needs walls; a planar face has none"},
      {"no course of travel", face, [](F& f, O&, T&) { f.travel.given = false; }, "the face's course of travel is unset"},
      {"a travel of no distance", face, [](F& f, O&, T&) { f.travel.distance = 0; }, "the face's course of travel is unset"},
      {"no removal boundary", face, [](F& f, O&, T&) { f.removalWidth = kUnset; },
       "the face's removal boundary is unset or not positive"},
      {"a path placed out of the plane", face,
       [](F& f, O&, T&) {
         f.travel.placement = Placed(0, 0, 0);
         f.travel.placement.placement.axis[2] = {1, 0, 0};
       },
       "the path's placement is tilted out of the feature's plane"},
      {"a travel along the tool", face, [](F& f, O&, T&) { f.travel.direction = {0, 0, 1}; },
       "the face's course of travel does not lie in its plane"},
      {"a face boundary stands for the extent", face,
       [](F& f, O&, T&) { f.travel.given = false, f.boundary = RectangleProfile(60, kUnset); },
       "the profile's sizes are unset"},
      // Two faults: the first looked at is named.
      {"the operation before the depth", rectangle,
       [](F& f, O& o, T&) { o.allowanceSide = -1, f.hasDepth = false; }, "the side allowance is negative"},
      {"the depth before the islands", rectangle,
       [](F& f, O&, T&) { f.depth.origin.z = 1, f.islands.push_back(AreaIsland{}); },
       "the feature's depth is not below its top"},
      {"the islands before the walls", rectangle,
       [](F& f, O&, T&) { f.islands.push_back(AreaIsland{}), f.slope = 1; }, "an island is unset"},
      {"the slope before the bottom", rectangle,
       [](F& f, O&, T&) { f.slope = 1, f.bottom = {F::Bottom::Other, "x"}; }, "a pocket with sloped walls is not cleared"},
      {"the radii before the boundary", rectangle,
       [](F& f, O&, T&) { f.planarRadius = -1, f.boundary = AreaProfile{}; }, "the pocket's floor radius is negative"},
      {"the placement before the sizes", rectangle,
       [](F& f, O&, T&) { f.boundary.placement.given = true, f.boundary.length = kUnset; },
       "the profile's placement cannot be read"},
      {"side milling before the extent", face,
       [](F& f, O& o, T&) { o.planeMilling = false, o.sideMilling = true, f.travel.given = false; },
       "side milling needs walls; a planar face has none"},
  };
  for (const Row& row : rows) {
    AreaFeature f = row.base.feature;
    ModelOperation o = OperationOf(row.base, Strategies()[0].strategy, {2.5, 0.5, 0.3, false});
    ToolSize tool;
    row.change(f, o, tool);
    const Outcome run = Generate(f, o, Helix(), tool);
    EXPECT_FALSE(run.generated) << row.what;
    EXPECT_EQ(run.reason, row.reason) << row.what;
  }
  // The feature's placement is asked for only where bosses are seen through it.
  AreaFeature unplaced = rectangle.feature;
  unplaced.placed = false;
  const Outcome run = Generate(unplaced, OperationOf(rectangle, Strategies()[0].strategy, {2.5, 0.5, 0.3, false}), Helix());
  EXPECT_TRUE(run.generated) << run.reason;
}

// Disabled until fixed, since the fix changes the programs written: in a pocket turned out of
// the axes, a ramp from the wall ring runs on past the region's corner (its reach misses the
// exit through a vertex that rounding puts just beside the ray), and a helix finds no start
// (the ring's points round to just outside the region).
TEST(GenerateArea, DISABLED_ATurnedPocketTakesRampsAndHelices) {
  const FeatureCase turned = Features()[1];
  ASSERT_EQ(std::string(turned.name), "placed rectangle");
  const Operation finish{10.0, kUnset, kUnset, true}, rough{2.5, 0.5, 0.3, false};
  Check(turned, Generate(turned.feature, OperationOf(turned, Strategies()[0].strategy, finish), Ramp()), finish, "ramp");
  Check(turned, Generate(turned.feature, OperationOf(turned, Strategies()[0].strategy, rough), Helix()), rough, "helix");
}

// Writers give overlaps that are no ratio; where the operation states its radial depth, that
// is the stepover and the overlap is not needed.
TEST(GenerateArea, ARadialDepthStandsInForAnOverlapThatIsNoRatio) {
  const FeatureCase f = Features()[0];
  ModelStrategy strategy = Strategies()[0].strategy;
  strategy.overlap = 2;
  const Operation op{2.5, 0.5, 0.3, false};
  ModelOperation o = OperationOf(f, strategy, op);
  o.radialCuttingDepth = 4;
  Check(f, Generate(f.feature, o, f.approach), op, "radial depth 4");
}

// ---- the reader ------------------------------------------------------------------------------

namespace {

const char* kHeader =
    "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('area reader test'),'2;1');\n"
    "FILE_NAME('area.stp','2024-01-01T00:00:00',(''),(''),'','','');\nFILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\nDATA;\n"
    "#1=PROJECT('area',#2,(#10),$,$,$);\n#2=WORKPLAN('main',(#100),$,#20,$);\n"
    "#10=WORKPIECE('part',$,$,$,$,#11,());\n#11=BLOCK('block',#12,200.0,200.0,50.0);\n"
    "#12=AXIS2_PLACEMENT_3D('',#13,#15,#16);\n#13=CARTESIAN_POINT('',(0.0,0.0,0.0));\n"
    "#15=DIRECTION('',(0.0,0.0,1.0));\n#16=DIRECTION('',(1.0,0.0,0.0));\n#17=DIRECTION('',(0.0,1.0,0.0));\n"
    "#18=DIRECTION('',(0.0,0.0,-1.0));\n"
    "#20=SETUP('setup',#12,#23,(#26));\n#23=PLANE('security plane',#24);\n#24=AXIS2_PLACEMENT_3D('',#25,#15,#16);\n"
    "#25=CARTESIAN_POINT('',(0.0,0.0,20.0));\n#26=WORKPIECE_SETUP(#10,#12,$,$,());\n"
    "#40=MILLING_CUTTING_TOOL('T2 end mill D10',#41,(#43),90.0,$,$);\n#41=ENDMILL(#42,3,.RIGHT.,.F.,$);\n"
    "#42=MILLING_TOOL_DIMENSION(10.0,0.0,$,22.0,0.0,$,$);\n#43=CUTTING_COMPONENT(90.0,#44,$,1800.0,$);\n"
    "#44=MATERIAL('ISO 513','HW-K10',());\n#45=MILLING_TECHNOLOGY(15.0,.TCP.,4.0,$,$,.F.,.F.,.F.,$);\n"
    "#46=MILLING_MACHINE_FUNCTIONS(.T.,$,.F.,.F.,$,(),.T.,$,$,());\n"
    "#100=MACHINING_WORKINGSTEP('WS',#23,#200,#300,$);\n"
    "#300=BOTTOM_AND_SIDE_ROUGH_MILLING($,$,'op',5.0,$,#40,#45,#46,$,$,$,#320,2.5,$,0.5,0.3);\n"
    "#320=CONTOUR_PARALLEL(0.4,.T.,.CCW.,.CLIMB.);\n"
    // The feature's placement: at (10, 20, 0), its x axis along the workpiece's y.
    "#190=AXIS2_PLACEMENT_3D('',#192,#15,#17);\n#192=CARTESIAN_POINT('',(10.0,20.0,0.0));\n"
    "#191=PLANAR_POCKET_BOTTOM_CONDITION();\n#193=RADIUSED_POCKET_BOTTOM_CONDITION(#13,#203);\n"
    "#195=PLANE('',#196);\n#196=AXIS2_PLACEMENT_3D('',#197,#15,#16);\n#197=CARTESIAN_POINT('',(0.0,0.0,-8.0));\n"
    "#199=PLUS_MINUS_VALUE(0.1,0.1,1);\n#201=TOLERANCED_LENGTH_MEASURE(3.0,#199);\n"
    "#203=TOLERANCED_LENGTH_MEASURE(40.0,#199);\n#204=TOLERANCED_LENGTH_MEASURE(60.0,#199);\n"
    // A placement of the same values as the feature's, but an instance of its own.
    "#210=AXIS2_PLACEMENT_3D('',#192,#15,#17);\n#211=AXIS2_PLACEMENT_3D('',#212,#15,#16);\n"
    "#212=CARTESIAN_POINT('',(5.0,-3.0,0.0));\n"
    "#270=CARTESIAN_POINT('',(30.0,20.0,0.0));\n#271=CARTESIAN_POINT('',(-30.0,20.0,0.0));\n"
    "#272=CARTESIAN_POINT('',(-30.0,-20.0,0.0));\n#273=CARTESIAN_POINT('',(30.0,-20.0,0.0));\n"
    "#260=POLYLINE('',(#270,#271,#272,#273));\n#261=POLYLINE('',(#270,#271,#272,#273,#270));\n";

// The model of a file of the header and `data`, and the area of its one feature.
struct ReadBack {
  varnholt::Model model;
  std::shared_ptr<const AreaFeature> area;
  std::string reason;  // the workingstep's, where it has no moves
};

ReadBack Read(const std::string& data, double tolerance = 0.001) {
  static const bool registered = [] {
    RegisterTypeNames();
    RegisterEntityNames();
    return true;
  }();
  (void)registered;
  TempFile file(kHeader + data + "ENDSEC;\nEND-ISO-10303-21;\n");
  ReadBack out;
  CDoc doc;
  if (!doc.OnOpenDocument(file.Path())) return out;
  CDoc::LogRoute route(doc);
  varnholt::ModelOptions options;
  options.tolerance = tolerance;
  out.model = varnholt::ReadModel(*doc.Scope(), options);
  if (out.model.features.size() == 1) out.area = out.model.features[0].area;
  varnholt::ProgramOptions program;
  program.tolerance = tolerance;
  const varnholt::Program built = varnholt::BuildProgram(*doc.Scope(), program);
  if (built.steps.size() == 1 && built.steps[0].moves.empty()) out.reason = built.steps[0].reason;
  return out;
}

void ExpectNear(const Vec3& a, const Vec3& b, const std::string& what) {
  EXPECT_NEAR(a.x, b.x, 1e-12) << what;
  EXPECT_NEAR(a.y, b.y, 1e-12) << what;
  EXPECT_NEAR(a.z, b.z, 1e-12) << what;
}

}  // namespace

// A closed pocket: its depth in its own system, its radii and bottom, a boundary placed by the
// feature's own placement instance (which places it nowhere further) or by one of its own.
TEST(ReadArea, AClosedPocketsPartsAndTheProfilesOwnPlacement) {
  struct Case {
    const char* what;
    const char* placement;  // the profile's
    bool given;
  } const cases[] = {{"the feature's own placement", "#190", false},
                     // Written again as an instance of its own, it still says "at the feature":
                     // composed once more, the pocket would lie twice as far out.
                     {"the feature's placement written again", "#210", false},
                     {"a placement of its own", "#211", true},
                     {"no placement", "$", false}};
  for (const Case& c : cases) {
    const ReadBack read = Read(std::string("#200=CLOSED_POCKET('pocket',#10,(#300),#190,#195,(),$,#191,$,#201,#202);\n") +
                               "#202=RECTANGULAR_CLOSED_PROFILE(" + c.placement + ",#203,#204);\n");
    ASSERT_TRUE(read.area) << c.what;
    const AreaFeature& f = *read.area;
    EXPECT_EQ(f.kind, AreaFeature::ClosedPocket) << c.what;
    EXPECT_TRUE(f.hasDepth) << c.what;
    EXPECT_EQ(f.depth.origin.z, -8) << c.what;
    EXPECT_TRUE(f.placed) << c.what;
    EXPECT_TRUE(f.islands.empty()) << c.what;
    EXPECT_EQ(f.orthogonalRadius, 3) << c.what;
    EXPECT_TRUE(std::isnan(f.planarRadius) && std::isnan(f.slope)) << c.what;
    EXPECT_EQ(f.bottom.kind, AreaFeature::Bottom::Planar) << c.what;
    EXPECT_EQ(f.boundary.kind, AreaProfile::Rectangle) << c.what;
    EXPECT_EQ(f.boundary.type, "rectangular_closed_profile") << c.what;
    EXPECT_EQ(f.boundary.length, 60) << c.what;
    EXPECT_EQ(f.boundary.width, 40) << c.what;
    EXPECT_EQ(f.boundary.placement.given, c.given) << c.what;
    EXPECT_EQ(f.boundary.placement.read, c.given) << c.what;
    if (c.given) {
      // Read as written, in the coordinates of the feature that holds it.
      ExpectNear(f.boundary.placement.placement.origin, {5, -3, 0}, c.what);
      ExpectNear(f.boundary.placement.placement.axis[0], {1, 0, 0}, c.what);
    }
    EXPECT_EQ(read.reason, "") << c.what;
  }
}

// Bosses are placed in the workpiece as the feature is, and read as the feature sees them; a
// boss's boundary placed by the boss's own placement instance is placed nowhere further.
TEST(ReadArea, BossesAreSeenFromTheFeature) {
  const ReadBack read = Read(
      "#200=CLOSED_POCKET('pocket',#10,(#300),#190,#195,(#250,#258),$,#191,$,$,#202);\n"
      "#202=CIRCULAR_CLOSED_PROFILE($,#204);\n"
      // At (12, 25, 1) in the workpiece, turned as the feature is.
      "#250=BOSS('boss',#10,(),#251,#253,#256,$);\n#251=AXIS2_PLACEMENT_3D('',#252,#15,#17);\n"
      "#252=CARTESIAN_POINT('',(12.0,25.0,-1.0));\n#253=PLANE('',#254);\n#254=AXIS2_PLACEMENT_3D('',#255,#15,#16);\n"
      "#255=CARTESIAN_POINT('',(0.0,0.0,-8.0));\n#256=CIRCULAR_CLOSED_PROFILE(#251,#257);\n"
      "#257=TOLERANCED_LENGTH_MEASURE(14.0,#199);\n"
      // Upside down at the feature's origin, with a slope.
      "#258=BOSS('boss',#10,(),#259,#253,#256,0.2);\n#259=AXIS2_PLACEMENT_3D('',#192,#18,#16);\n");
  ASSERT_TRUE(read.area);
  const AreaFeature& f = *read.area;
  ASSERT_EQ(f.islands.size(), 2u);
  const AreaIsland& a = f.islands[0];
  EXPECT_TRUE(a.given && a.placed);
  // (2, 5, -1) from the feature's origin, its x axis along the workpiece's y.
  ExpectNear(a.placement.origin, {5, -2, -1}, "origin");
  ExpectNear(a.placement.axis[0], {1, 0, 0}, "x axis");
  ExpectNear(a.placement.axis[1], {0, 1, 0}, "y axis");
  ExpectNear(a.placement.axis[2], {0, 0, 1}, "z axis");
  EXPECT_TRUE(std::isnan(a.slope));
  EXPECT_EQ(a.boundary.kind, AreaProfile::Circle);
  EXPECT_EQ(a.boundary.diameter, 14);
  EXPECT_FALSE(a.boundary.placement.given) << "the boss's own placement";
  const AreaIsland& b = f.islands[1];
  ExpectNear(b.placement.origin, {0, 0, 0}, "second origin");
  ExpectNear(b.placement.axis[2], {0, 0, -1}, "second z axis");
  EXPECT_EQ(b.slope, 0.2);
  EXPECT_TRUE(b.boundary.placement.given && b.boundary.placement.read) << "another boss's placement";
  EXPECT_EQ(read.reason, "an island with sloped sides is not cleared around");
}

// Faces and open pockets: the parts of their kind, what cannot be read with its reason, and
// a b-spline boundary sampled at the program's tolerance.
TEST(ReadArea, FacesOpenPocketsAndWhatCannotBeRead) {
  {
    const ReadBack read = Read(
        "#200=PLANAR_FACE('face',#10,(#300),#190,#195,#205,#207,$,());\n#205=LINEAR_PATH($,#206,#17);\n"
        "#206=TOLERANCED_LENGTH_MEASURE(80.0,#199);\n#207=LINEAR_PROFILE($,#208);\n"
        "#208=NUMERIC_PARAMETER('width',50.0,'mm');\n");
    ASSERT_TRUE(read.area);
    const AreaFeature& f = *read.area;
    EXPECT_EQ(f.kind, AreaFeature::Face);
    EXPECT_TRUE(f.travel.given);
    ExpectNear(f.travel.direction, {0, 1, 0}, "travel");
    EXPECT_EQ(f.travel.distance, 80);
    EXPECT_FALSE(f.travel.placement.given);
    EXPECT_EQ(f.removalWidth, 50);
    EXPECT_EQ(f.boundary.kind, AreaProfile::Unset);
    EXPECT_EQ(read.reason, "");
  }
  {
    const ReadBack read = Read(
        "#200=OPEN_POCKET('open',#10,(#300),#190,#195,(),$,#191,$,$,#202,$);\n#202=GENERAL_PROFILE(#190,#260);\n");
    ASSERT_TRUE(read.area);
    const AreaProfile& p = read.area->openBoundary;
    EXPECT_EQ(read.area->kind, AreaFeature::OpenPocket);
    EXPECT_EQ(p.kind, AreaProfile::General);
    EXPECT_FALSE(p.placement.given);
    ASSERT_TRUE(p.curveRead) << p.why;
    EXPECT_FALSE(p.curve.closed);
    EXPECT_EQ(p.curve.segments.size(), 3u);
    EXPECT_EQ(read.reason, "");
  }
  struct Case {
    const char* what;
    std::string data;
    std::function<void(const AreaFeature&)> expect;
    std::string reason;
  } const cases[] = {
      {"a U profile as an open boundary",
       "#200=OPEN_POCKET('open',#10,(#300),#190,#195,(),$,#191,$,$,#202,$);\n#202=SQUARE_U_PROFILE($,#203,#204,0.0,#204,0.0);\n",
       [](const AreaFeature& f) {
         EXPECT_EQ(f.openBoundary.kind, AreaProfile::Other);
         EXPECT_EQ(f.openBoundary.type, "square_u_profile");
       },
       "an open boundary of kind square_u_profile does not say how far its sides reach; only a general profile is cleared"},
      {"a closed profile of no curve",
       "#200=CLOSED_POCKET('pocket',#10,(#300),#190,#195,(),$,#193,$,$,#202);\n#202=GENERAL_CLOSED_PROFILE($,$);\n",
       [](const AreaFeature& f) {
         EXPECT_EQ(f.bottom.kind, AreaFeature::Bottom::Other);
         EXPECT_EQ(f.bottom.type, "radiused_pocket_bottom_condition");
         EXPECT_EQ(f.boundary.kind, AreaProfile::General);
         EXPECT_FALSE(f.boundary.curveRead);
         EXPECT_EQ(f.boundary.why, "the curve is unset");
       },
       "a pocket bottom of kind radiused_pocket_bottom_condition is not one a flat end mill clears"},
      {"a depth that is no plane, an ngon across flats",
       "#200=CLOSED_POCKET('pocket',#10,(#300),#190,#198,(),$,#191,$,$,#202);\n#198=SPHERICAL_SURFACE('',#196,5.0);\n"
       "#202=NGON_PROFILE($,#204,5,.F.);\n",
       [](const AreaFeature& f) {
         EXPECT_FALSE(f.hasDepth);
         EXPECT_EQ(f.boundary.kind, AreaProfile::Ngon);
         EXPECT_EQ(f.boundary.diameter, 60);
         EXPECT_EQ(f.boundary.sides, 5);
         EXPECT_FALSE(f.boundary.circumscribed);
       },
       "the feature's depth is not a plane that can be read"},
      {"a closed polyline in a closed pocket",
       "#200=CLOSED_POCKET('pocket',#10,(#300),#190,#195,(),$,#191,$,$,#202);\n#202=GENERAL_CLOSED_PROFILE($,#261);\n",
       [](const AreaFeature& f) {
         EXPECT_TRUE(f.boundary.curveRead);
         EXPECT_TRUE(f.boundary.curve.closed);
       },
       ""},
  };
  for (const Case& c : cases) {
    const ReadBack read = Read(c.data);
    ASSERT_TRUE(read.area) << c.what;
    c.expect(*read.area);
    EXPECT_EQ(read.reason, c.reason) << c.what;
  }
  // A b-spline boundary follows its curve within the tolerance it is read at.
  const std::string spline =
      "#200=CLOSED_POCKET('pocket',#10,(#300),#190,#195,(),$,#191,$,$,#202);\n#202=GENERAL_CLOSED_PROFILE($,#280);\n"
      "#280=B_SPLINE_CURVE_WITH_KNOTS('',3,(#281,#282,#283,#281),.UNSPECIFIED.,.T.,.F.,(4,4),(0.0,1.0),.UNSPECIFIED.);\n"
      "#281=CARTESIAN_POINT('',(0.0,-30.0,0.0));\n#282=CARTESIAN_POINT('',(-60.0,30.0,0.0));\n"
      "#283=CARTESIAN_POINT('',(60.0,30.0,0.0));\n";
  const ReadBack fine = Read(spline, 0.001), coarse = Read(spline, 0.5);
  ASSERT_TRUE(fine.area && coarse.area);
  ASSERT_TRUE(fine.area->boundary.curveRead) << fine.area->boundary.why;
  EXPECT_TRUE(fine.area->boundary.curve.closed);
  EXPECT_GT(fine.area->boundary.curve.segments.size(), coarse.area->boundary.curve.segments.size() + 10);
  EXPECT_EQ(varnholt::ModelOptions{}.tolerance, varnholt::ProgramOptions{}.tolerance);
}

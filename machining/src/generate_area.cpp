// Toolpaths for planar faces and pockets: the area inside the boundary and outside the islands
// cleared level by level, in rings parallel to the boundary or in parallel strokes, the last
// pass along the walls at the side allowance.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <memory>

#include "area_clearing.h"
#include "generate.h"
#include "varnholt/feature_area.h"

namespace varnholt::machining_detail {
namespace {

using area::Region;
using area::RoundRect;
using area::Shape;

constexpr double kClear = 1.0;         // how far past touching the tool goes beyond an open side
constexpr long kMaxPasses = 200000;    // rings or strokes of one level
constexpr long kMaxLevels = 10000;
constexpr size_t kMaxMoves = 2000000;  // about 200 MB of moves: beyond it a file asks too much
constexpr double kTiny = 1e-9;
// How far apart along a floor's fillet the levels that shape it are: a flat tool's steps there
// stand out of the round by a fraction of this.
constexpr double kFilletStep = 0.5;

using Pattern = ModelStrategy::Pattern;

double SignedArea(const std::vector<Vec2>& p) {
  double sum = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    const Vec2& a = p[i];
    const Vec2& b = p[(i + 1) % p.size()];
    sum += a.x * b.y - a.y * b.x;
  }
  return sum / 2;
}

bool Given(double value) { return !std::isnan(value); }

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A placement seen in the plane of the feature: where its origin and its x and y axes lie.
struct Frame2 {
  Vec2 origin, x{1, 0}, y{0, 1};
  Vec2 Apply(const Vec2& p) const { return {origin.x + x.x * p.x + y.x * p.y, origin.y + x.y * p.x + y.y * p.y}; }
};

// A closed boundary: exact when it is a rectangle or a circle, else a polygon.
struct Boundary {
  bool exact = false;
  RoundRect rect;
  std::vector<Vec2> polygon;  // counter-clockwise
  std::vector<Vec2> Points() const {
    if (!exact) return polygon;
    std::vector<Vec2> p = SampleContour(area::Outline(rect), area::kChord);
    p.pop_back();
    return p;
  }
};

struct Island {
  std::vector<Vec2> polygon;
  double top = 0;  // the boss's top in the feature's system
};

// The tool's way along one pass.
struct Pass {
  Contour2 path;
  bool stroke = false;  // a straight stroke (of unidirectional milling: up and back after each)
  bool wall = false;    // along the walls (and islands) at the side allowance
};

// What one level of a set of islands moves along.
struct Plan {
  Region link;                    // where a move between passes may go at feed
  double linkOuter = 0, linkIsland = 0;
  std::unique_ptr<Region> helix;  // where a helix of the approach fits, made when asked
  std::vector<Pass> passes;
};

class AreaGenerator {
 public:
  explicit AreaGenerator(StepJob& job) : job_(job) {}

  bool Run() {
    R_ = job_.tool.diameter / 2;
    if (!job_.operationModel) return Fail("the operation was not read");
    return Operation(*job_.operationModel) && Feature() && Write();
  }

 private:
  bool Fail(const std::string& why) {
    job_.reason = why;
    return false;
  }

  // --- the operation ---------------------------------------------------------------------

  bool Operation(const ModelOperation& o) {
    side_ = o.sideMilling;
    if (!o.planeMilling && !o.bottomAndSideMilling && !side_)
      return Fail("an operation of kind " + o.type +
                  " is not one faces and pockets are milled with (plane, bottom and side, or side milling)");
    if (Given(o.axialCuttingDepth)) {
      axial_ = o.axialCuttingDepth;
      if (!(axial_ > 0)) return Fail("the axial cutting depth is not positive");
    }
    // A finish operation states the allowance it leaves like a rough one; none given is none
    // left. Side milling leaves the floor as it is.
    if (!side_ && Given(o.allowanceBottom)) {
      allowBottom_ = o.allowanceBottom;
      if (allowBottom_ < 0) return Fail("the bottom allowance is negative");
    }
    if (Given(o.allowanceSide)) {
      allowSide_ = o.allowanceSide;
      if (allowSide_ < 0) return Fail("the side allowance is negative");
    }
    if (job_.tool.cornerRadius > R_ + kTiny) return Fail("the tool's edge radius is larger than its radius");

    const ModelStrategy& s = o.strategy;
    double overlap = 0.5;  // unset: half the tool's width, the usual stepover for clearing
    bool patterned = false, badOverlap = false;
    if (s.pattern != Pattern::None) {
      patterned = true;
      if (s.pattern == Pattern::CenterMilling) patterned = false;  // names no pattern for an area
      else if (s.pattern == Pattern::Other) return Fail("a strategy of kind " + s.type + " is not one areas are cleared with");
      else pattern_ = s.pattern;
      if (Given(s.overlap)) {
        overlap = s.overlap;
        badOverlap = !(overlap > 0 && overlap < 1);
      }
      if (s.hasFeedDirection) {
        const Vec3& v = s.feedDirection;
        if (!s.feedDirectionRead || std::hypot(v.x, v.y) < 1e-9) return Fail("the feed direction does not lie in the plane");
        feedDirection_ = Unit(Vec2{v.x, v.y});
        hasFeedDirection_ = true;
      }
      right_ = Lower(s.stepoverDirection) == "right";
      std::string rotation = Lower(s.rotationDirection);
      std::string mode = Lower(s.cutmode);
      if (mode.empty()) mode = Lower(s.spiralCutmode);
      if (rotation == "cw" || rotation == "ccw") rotation_ = rotation;
      conventional_ = mode == "conventional";
    }
    patterned_ = patterned;
    if (Given(o.radialCuttingDepth)) {
      const double radial = o.radialCuttingDepth;
      if (!(radial > 0)) return Fail("the radial cutting depth is not positive");
      if (radial > 2 * R_ + kTiny) return Fail("the radial cutting depth is wider than the tool");
      stepover_ = radial;
    } else if (badOverlap) {
      // Only where the operation gives no radial depth of its own is the overlap the stepover.
      return Fail("the strategy's overlap is not a ratio between 0 and 1");
    } else {
      stepover_ = 2 * R_ * (1 - overlap);
    }
    return true;
  }

  // --- the feature -----------------------------------------------------------------------

  bool Placement2(const AreaPlacement& given, Frame2& out, const char* what) {
    out = Frame2{};
    if (!given.given) return true;
    const Placement& p = given.placement;
    if (!given.read) return Fail(std::string("the ") + what + " cannot be read");
    if (std::fabs(std::fabs(p.axis[2].z) - 1) > 1e-9) return Fail(std::string("the ") + what + " is tilted out of the feature's plane");
    out.origin = {p.origin.x, p.origin.y};
    out.x = {p.axis[0].x, p.axis[0].y};
    out.y = {p.axis[1].x, p.axis[1].y};
    return true;
  }

  static void CounterClockwise(std::vector<Vec2>& p) {
    if (SignedArea(p) < 0) std::reverse(p.begin(), p.end());
  }

  // A closed profile in the coordinates of whatever holds it, through `frame`.
  bool Closed(const AreaProfile& profile, const Frame2& frame, double cornerRadius, Boundary& out) {
    if (profile.kind == AreaProfile::Unset) return Fail("the boundary is unset");
    Frame2 own;
    if (!Placement2(profile.placement, own, "profile's placement")) return false;
    auto place = [&](const Vec2& p) { return frame.Apply(own.Apply(p)); };
    if (profile.kind == AreaProfile::Rectangle || profile.kind == AreaProfile::Circle) {
      const bool circle = profile.kind == AreaProfile::Circle;
      const double a = circle ? profile.diameter : profile.length, b = circle ? profile.diameter : profile.width;
      if (!Given(a) || !Given(b)) return Fail("the profile's sizes are unset");
      if (!(a > 0 && b > 0)) return Fail("the profile's sizes are not positive");
      out.exact = true;
      // Centred on its placement, the length along its x axis.
      out.rect.center = place({0, 0});
      const Vec2 ex = place({1, 0});
      out.rect.axis = Unit(Vec2{ex.x - out.rect.center.x, ex.y - out.rect.center.y});
      out.rect.halfX = a / 2;
      out.rect.halfY = b / 2;
      out.rect.radius = circle ? a / 2 : std::min({cornerRadius, a / 2, b / 2});
      return true;
    }
    std::vector<Vec2> points;
    const double a = profile.diameter, b = profile.sides;
    if (profile.kind == AreaProfile::Ngon && Given(a) && Given(b) && b >= 3 && b <= 1000 && a > 0) {
      const int sides = static_cast<int>(b);
      const double radius = profile.circumscribed ? a / 2 : a / 2 / std::cos(kPi / sides);
      for (int i = 0; i < sides; ++i)
        points.push_back({radius * std::cos(2 * kPi * i / sides), radius * std::sin(2 * kPi * i / sides)});
    } else if (profile.kind == AreaProfile::General) {
      if (!profile.curveRead) return Fail("the boundary cannot be read: " + profile.why);
      if (!profile.curve.closed) return Fail("the closed profile's curve does not close");
      points = SampleContour(profile.curve, area::kChord);
      points.pop_back();
    } else {
      return Fail("a boundary of kind " + profile.type + " (or with its sizes unset) is not one areas are cleared in");
    }
    if (points.size() < 3) return Fail("the boundary has fewer than three points");
    for (Vec2& p : points) p = place(p);
    CounterClockwise(points);
    out.exact = false;
    out.polygon = std::move(points);
    return true;
  }

  bool Depth(const AreaFeature& f) {
    if (!f.hasDepth) return Fail("the feature's depth is not a plane that can be read");
    if (std::fabs(std::fabs(f.depth.axis[2].z) - 1) > 1e-9) return Fail("the feature's depth plane is tilted");
    floor_ = f.depth.origin.z;  // given in the feature's system
    if (!(floor_ < -kTiny)) return Fail("the feature's depth is not below its top");
    return true;
  }

  bool Islands(const AreaFeature& f) {
    if (f.islands.empty()) return true;
    if (!f.placed) return Fail("the feature's placement cannot be read");
    for (const AreaIsland& boss : f.islands) {
      if (!boss.given) return Fail("an island is unset");
      if (!boss.placed) return Fail("an island's placement cannot be read");
      const Vec3 &origin = boss.placement.origin, &x = boss.placement.axis[0], &y = boss.placement.axis[1];
      if (std::fabs(std::fabs(boss.placement.axis[2].z) - 1) > 1e-9) return Fail("an island stands tilted in the feature");
      if (Given(boss.slope) && std::fabs(boss.slope) > kTiny) return Fail("an island with sloped sides is not cleared around");
      Frame2 frame{{origin.x, origin.y}, {x.x, x.y}, {y.x, y.y}};
      Boundary b;
      if (!Closed(boss.boundary, frame, 0, b)) return Fail("an island's " + job_.reason);
      Island island{b.Points(), origin.z};
      CounterClockwise(island.polygon);
      if (island.top > floor_ + kTiny) islands_.push_back(std::move(island));
    }
    return true;
  }

  bool Feature() {
    const AreaFeature* area = job_.featureModel ? job_.featureModel->area.get() : nullptr;
    if (!area) return Fail("the feature is not read as a face or a pocket");
    const AreaFeature& f = *area;
    if (!Depth(f) || !Islands(f)) return false;
    Boundary boundary;
    if (f.kind == AreaFeature::Face) {
      face_ = true;
      if (side_) return Fail("side milling needs walls; a planar face has none");
      if (f.boundary.kind != AreaProfile::Unset) {
        if (!Closed(f.boundary, Frame2{}, 0, boundary)) return false;
      } else if (!FaceExtent(f, boundary)) {
        return false;
      }
    } else {
      if (Given(f.slope) && std::fabs(f.slope) > kTiny) return Fail("a pocket with sloped walls is not cleared");
      using Bottom = AreaFeature::Bottom;
      if (f.bottom.kind == Bottom::Other)
        return Fail("a pocket bottom of kind " + f.bottom.type + " is not one a flat end mill clears");
      const double corner = Given(f.orthogonalRadius) ? f.orthogonalRadius : 0;
      if (corner < 0) return Fail("the pocket's corner radius is negative");
      if (Given(f.planarRadius)) planarRadius_ = f.planarRadius;
      if (planarRadius_ < 0) return Fail("the pocket's floor radius is negative");
      // What the tool's shape cannot make is said once; the moves still go as close as the
      // tool allows without cutting into the part.
      if (Given(f.orthogonalRadius) && corner < R_ - kTiny)
        job_.notes.push_back("the pocket's corner radius " + Millimetres(corner) + " is smaller than the tool's radius " +
                             Millimetres(R_) + ": its corners are left at the tool's radius");
      else if (!Given(f.orthogonalRadius) && f.kind == AreaFeature::ClosedPocket &&
               (f.boundary.kind == AreaProfile::Rectangle || f.boundary.kind == AreaProfile::Ngon))
        job_.notes.push_back("the pocket's corners are sharp (it gives no corner radius): they are left at the tool's radius " +
                             Millimetres(R_));
      if (planarRadius_ > 0 && planarRadius_ < Corner() - kTiny)
        job_.notes.push_back("the pocket's floor radius " + Millimetres(planarRadius_) +
                             " is smaller than the tool's corner radius " + Millimetres(Corner()) +
                             ": the floor meets the walls at the tool's corner radius");
      if (f.kind == AreaFeature::OpenPocket) {
        if (!OpenBoundary(f.openBoundary)) return false;
        shape_.cornerRadius = corner;
      } else {
        if (!Closed(f.boundary, Frame2{}, corner, boundary)) return false;
        if (!boundary.exact) shape_.cornerRadius = corner;
      }
    }
    if (!open_) {
      shape_.exact = boundary.exact;
      shape_.rect = boundary.rect;
      shape_.outer = boundary.polygon;
      outline_ = boundary.Points();
    }
    if (!hasFeedDirection_) feedDirection_ = face_ ? travel_ : Vec2{1, 0};
    return true;
  }

  // The face as the scene draws it: along the course of travel, as wide as the removal boundary.
  bool FaceExtent(const AreaFeature& f, Boundary& out) {
    const double distance = f.travel.distance, width = f.removalWidth;
    const Vec3& direction = f.travel.direction;
    if (!f.travel.given || !(distance > 0)) return Fail("the face's course of travel is unset");
    if (!(width > 0)) return Fail("the face's removal boundary is unset or not positive");
    Frame2 frame;
    if (!Placement2(f.travel.placement, frame, "path's placement")) return false;
    const Vec2 start = frame.Apply({0, 0}), end = frame.Apply({direction.x * distance, direction.y * distance});
    const Vec2 along{end.x - start.x, end.y - start.y};
    if (std::hypot(along.x, along.y) < kTiny) return Fail("the face's course of travel does not lie in its plane");
    travel_ = Unit(along);
    const Vec2 across = std::fabs(along.x) > std::fabs(along.y) ? Vec2{0, width} : Vec2{width, 0};
    std::vector<Vec2> corners{start, end, {end.x + across.x, end.y + across.y}, {start.x + across.x, start.y + across.y}};
    CounterClockwise(corners);
    if (std::fabs(along.x * across.x + along.y * across.y) < kTiny) {
      out.exact = true;
      out.rect.center = {start.x + (along.x + across.x) / 2, start.y + (along.y + across.y) / 2};
      out.rect.axis = travel_;
      out.rect.halfX = std::hypot(along.x, along.y) / 2;
      out.rect.halfY = width / 2;
      out.rect.radius = 0;
    } else {
      out.exact = false;
      out.polygon = corners;
    }
    return true;
  }

  // An open pocket: its walls along the open boundary, open across from its end to its start.
  bool OpenBoundary(const AreaProfile& profile) {
    open_ = true;
    if (profile.kind == AreaProfile::Unset) return Fail("the open pocket's boundary is unset");
    if (profile.kind != AreaProfile::General)
      return Fail("an open boundary of kind " + profile.type +
                  " does not say how far its sides reach; only a general profile is cleared");
    Frame2 own;
    if (!Placement2(profile.placement, own, "profile's placement")) return false;
    if (!profile.curveRead) return Fail("the open boundary cannot be read: " + profile.why);
    if (profile.curve.closed) return Fail("the open pocket's boundary is closed: it has no open side");
    std::vector<Vec2> walls = SampleContour(profile.curve, area::kChord);
    for (Vec2& p : walls) p = own.Apply(p);
    if (walls.size() < 3) return Fail("the open boundary has too few points to enclose anything");
    CounterClockwise(walls);  // the walls, closed across the open side, counter-clockwise
    const Vec2 a = walls.front(), b = walls.back();
    if (Distance(a, b) < 2 * R_) return Fail("the open side is narrower than the tool");
    const Vec2 back{a.x - b.x, a.y - b.y};
    outward_ = Unit(Vec2{back.y, -back.x});
    chordA_ = a;
    const double w = R_ + 2 * kClear;
    shape_.walled = true;
    shape_.walls = walls;
    shape_.outer = walls;
    shape_.outer.push_back({b.x + outward_.x * w, b.y + outward_.y * w});
    shape_.outer.push_back({a.x + outward_.x * w, a.y + outward_.y * w});
    outline_ = walls;
    return true;
  }

  // --- the moves -------------------------------------------------------------------------

  // The tool touches no material there, at any level.
  bool InAir(const Vec2& p) {
    if (face_) {
      if (!touch_) {
        Shape s = shape_;
        s.islands.clear();
        touch_ = std::make_unique<Region>(s.Offset(-(R_ + 2 * area::kMargin), 0));
      }
      return !touch_->Contains(p);
    }
    if (open_) return (p.x - chordA_.x) * outward_.x + (p.y - chordA_.y) * outward_.y >= R_ + 2 * area::kMargin;
    return false;
  }

  // The tool's edge radius: a ball's is its radius.
  double Corner() const {
    const double rc = job_.tool.ballEnd && job_.tool.cornerRadius <= 0 ? R_ : job_.tool.cornerRadius;
    return std::clamp(rc, 0.0, R_);
  }

  // How far the tool's axis keeps from the walls with its tip at height z, over a floor that
  // meets the walls in a fillet. The fillet, seen across the wall, is a quarter circle of the
  // floor radius about a centre that far from the wall and above the floor; the tool's edge
  // (a quarter circle of its corner radius) may come no nearer to it than the side allowance.
  // Above the fillet the tool goes to the wall; below the fillet's own round it stays beyond
  // its foot. Where the fillet is tighter than the tool's edge, the edge's round is left.
  double WallDistance(double z) const {
    const double rf = planarRadius_, rc = Corner(), t = rc + allowSide_;
    const double hc = z - floor_ + rc;  // the edge's centre above the floor
    if (!(rf > 0) || hc >= rf) return R_ + allowSide_;
    const double rho = rf - t;
    double x;  // the edge's centre from the wall
    if (rho > 0 && rf - hc <= rho)
      x = rf - std::sqrt(std::max(0.0, rho * rho - (rf - hc) * (rf - hc)));
    else
      x = rf + std::sqrt(std::max(0.0, t * t - hc * hc));  // beside the fillet's foot
    return R_ - rc + std::max(x, t);
  }

  Plan& PlanFor(const std::vector<bool>& active, double wall) {
    // Distances within a nanometre are one plan.
    auto key = std::make_pair(active, std::llround(wall * 1e6));
    auto found = plans_.find(key);
    if (found != plans_.end()) return *found->second;
    auto plan = std::make_unique<Plan>();
    Shape shape = shape_;
    for (size_t i = 0; i < islands_.size(); ++i)
      if (active[i]) shape.islands.push_back(islands_[i].polygon);
    const double isle = R_ + allowSide_;
    ok_ = BuildPlan(shape, wall, isle, *plan);
    Plan& out = *plan;
    plans_.emplace(key, std::move(plan));
    return out;
  }

  std::vector<Contour2> Loops(const Region& region, bool holesOnly) const {
    std::vector<Contour2> out;
    for (size_t i = 0; i < region.loops.size(); ++i)
      if (!holesOnly || region.hole[i]) out.push_back(Oriented(region.loops[i]));
    return out;
  }

  // Climb milling with a right-hand spindle: the material on the tool's right, so a pocket's
  // rings run counter-clockwise and a face's (material inside) clockwise.
  Contour2 Oriented(const Contour2& loop) const {
    bool ccw = face_ ? conventional_ : !conventional_;
    if (rotation_ == "cw") ccw = false;
    if (rotation_ == "ccw") ccw = true;
    return ccw ? loop : Reversed(loop);
  }

  bool BuildPlan(const Shape& shape, double wall, double isle, Plan& plan) {
    const double s = stepover_;
    if (!(s > 1e-4)) return Fail("the stepover is too small to clear an area with");
    Region first = shape.Offset(face_ ? -(R_ - s) : wall, isle);
    if (first.Empty()) return Fail(face_ ? "the islands leave the tool no room on the face" : "the tool is wider than the pocket");
    plan.linkOuter = face_ ? -(R_ + 2 * kClear) : wall;
    plan.linkIsland = isle;
    plan.link = face_ ? shape.Offset(plan.linkOuter, isle) : first;
    Pattern pattern = pattern_;
    if (!patterned_) pattern = face_ ? Pattern::Bidirectional : Pattern::ContourParallel;  // the usual ways
    if (side_) {
      // Side milling takes the walls only: one ring along them at the side allowance.
      for (Contour2& loop : Loops(first, false)) plan.passes.push_back({loop, false, true});
      return true;
    }
    if (pattern == Pattern::ContourParallel) return Rings(shape, first, wall, isle, plan);
    const Region lines = face_ ? shape.Offset(-(R_ + kClear), isle) : first;
    std::vector<Pass> strokes;
    if (!Strokes(lines, pattern == Pattern::Unidirectional, strokes)) return false;
    std::vector<Contour2> walls = Loops(face_ ? lines : first, face_);
    if (face_ && pattern != Pattern::Unidirectional && pattern != Pattern::Bidirectional)
      for (Contour2& loop : Loops(first, false)) walls.push_back(loop);
    auto addWalls = [&] {
      for (Contour2& loop : walls) plan.passes.push_back({loop, false, !face_});
    };
    if (pattern == Pattern::ContourBidirectional) addWalls();
    for (Pass& p : strokes) plan.passes.push_back(std::move(p));
    if (pattern != Pattern::ContourBidirectional) addWalls();  // the walls last, at the allowance
    return true;
  }

  bool Rings(const Shape& shape, const Region& first, double wall, double isle, Plan& plan) {
    const double s = stepover_;
    std::vector<std::vector<Contour2>> rings;
    ClipperLib::Paths along;
    for (long k = 0;; ++k) {
      if (k >= kMaxPasses) return Fail("the area takes too many rings at this stepover");
      const double outer = (face_ ? -(R_ - s) : wall) + k * s;
      Region ring = k == 0 ? first : shape.Offset(outer, isle + k * s);
      if (ring.Empty()) break;
      along.insert(along.end(), ring.paths.begin(), ring.paths.end());
      rings.push_back(Loops(ring, false));
    }
    // Where rings are farther apart than the tool's radius, corners between them may be left
    // standing: what no ring passes within the radius of is gone round on its own.
    std::vector<Contour2> rest;
    // Rings a radius or less apart leave nothing: a point between two is nearer the outer one
    // than their distance. A face's islands and a fillet's wider walls break that measure.
    if (s > R_ * (1 + 1e-9) || (face_ && !shape.islands.empty()) || wall > isle + kTiny) {
      for (int round = 0; round < 3; ++round) {
        ClipperLib::ClipperOffset sweep;
        sweep.ArcTolerance = area::kChord * 1e6;
        sweep.AddPaths(along, ClipperLib::jtRound, ClipperLib::etClosedLine);
        ClipperLib::Paths swept;
        sweep.Execute(swept, (R_ - area::kMargin) * 1e6);
        ClipperLib::Clipper c;
        c.AddPaths(first.paths, ClipperLib::ptSubject, true);
        c.AddPaths(swept, ClipperLib::ptClip, true);
        ClipperLib::Paths left;
        c.Execute(ClipperLib::ctDifference, left, ClipperLib::pftNonZero, ClipperLib::pftNonZero);
        Region leftover;
        for (const ClipperLib::Path& p : left)
          if (std::fabs(ClipperLib::Area(p)) > 1e-4 * 1e12) {  // a hundredth of a millimetre square
            leftover.paths.push_back(p);
          }
        if (leftover.paths.empty()) break;
        for (const ClipperLib::Path& p : leftover.paths) {
          Contour2 loop;
          loop.start = {p[0].X / 1e6, p[0].Y / 1e6};
          for (size_t i = 1; i < p.size(); ++i) loop.segments.push_back({{p[i].X / 1e6, p[i].Y / 1e6}, false, {}, false});
          loop.segments.push_back({loop.start, false, {}, false});
          loop.closed = true;
          rest.push_back(loop);
          along.push_back(p);
        }
      }
    }
    // A pocket from the middle out, the walls last; a face from outside in.
    if (face_) {
      for (auto& ring : rings)
        for (Contour2& loop : ring) plan.passes.push_back({loop, false});
      for (Contour2& loop : rest) plan.passes.push_back({loop, false});
    } else {
      for (size_t k = rings.size(); k-- > 1;)
        for (Contour2& loop : rings[k]) plan.passes.push_back({loop, false});
      for (Contour2& loop : rest) plan.passes.push_back({loop, false});
      for (Contour2& loop : rings[0]) plan.passes.push_back({loop, false, true});
    }
    return true;
  }

  // Parallel strokes along the feed direction, stepping across to its left (or right).
  bool Strokes(const Region& region, bool oneWay, std::vector<Pass>& out) {
    const Vec2 u = feedDirection_;
    const Vec2 v = right_ ? Vec2{u.y, -u.x} : Vec2{-u.y, u.x};
    double lo = 0, hi = 0, ulo = 0, uhi = 0;
    region.Extent(u, ulo, uhi);
    if (face_) {
      // The first stroke takes a stepover's width of the face, the last reaches past its edge.
      double flo = std::numeric_limits<double>::infinity(), fhi = -flo;
      for (const Vec2& p : outline_) {
        flo = std::min(flo, p.x * v.x + p.y * v.y);
        fhi = std::max(fhi, p.x * v.x + p.y * v.y);
      }
      lo = flo - R_ + stepover_;
      hi = fhi + R_ - stepover_;
    } else {
      region.Extent(v, lo, hi);
      lo += 1e-4;  // not along the boundary itself: the wall pass goes there
      hi -= 1e-4;
    }
    long count = 1;
    if (hi > lo) count = static_cast<long>(std::ceil((hi - lo) / stepover_ - 1e-9)) + 1;
    if (count > kMaxPasses) return Fail("the area takes too many strokes at this stepover");
    std::vector<std::pair<Vec2, Vec2>> lines;
    for (long i = 0; i < count; ++i) {
      const double t = count == 1 ? (lo + hi) / 2 : lo + (hi - lo) * static_cast<double>(i) / static_cast<double>(count - 1);
      const Vec2 a{u.x * (ulo - 1) + v.x * t, u.y * (ulo - 1) + v.y * t};
      const Vec2 b{u.x * (uhi + 1) + v.x * t, u.y * (uhi + 1) + v.y * t};
      lines.push_back({a, b});
    }
    const auto pieces = area::ClipLines(region, lines);
    for (size_t i = 0; i < pieces.size(); ++i) {
      const bool back = !oneWay && i % 2 == 1;
      auto list = pieces[i];
      if (back) std::reverse(list.begin(), list.end());
      for (const auto& piece : list) {
        Pass p;
        p.stroke = oneWay;
        p.path.start = back ? piece.second : piece.first;
        p.path.segments.push_back({back ? piece.first : piece.second, false, {}, false});
        out.push_back(std::move(p));
      }
    }
    return true;
  }

  static Vec2 StartTangent(const Contour2& c) {
    if (c.segments.empty()) return {1, 0};
    const Segment2& s = c.segments.front();
    if (!s.arc) return Unit(Vec2{s.to.x - c.start.x, s.to.y - c.start.y});
    const Vec2 r{c.start.x - s.center.x, c.start.y - s.center.y};
    return Unit(s.clockwise ? Vec2{r.y, -r.x} : Vec2{-r.y, r.x});
  }
  static Vec2 EndTangent(const Contour2& c) {
    if (c.segments.empty()) return {1, 0};
    const Segment2& s = c.segments.back();
    const Vec2 from = c.segments.size() > 1 ? c.segments[c.segments.size() - 2].to : c.start;
    if (!s.arc) return Unit(Vec2{s.to.x - from.x, s.to.y - from.y});
    const Vec2 r{s.to.x - s.center.x, s.to.y - s.center.y};
    return Unit(s.clockwise ? Vec2{r.y, -r.x} : Vec2{-r.y, r.x});
  }

  // Up to clearZ; along the retract ramp only where it stays within the place the tool may be.
  void Up(MoveWriter& out, const Plan& plan) {
    const Vec3 at = out.At();
    if (at.z >= job_.clearZ) return;
    Plunge retract = job_.retract;
    if (retract.kind == Plunge::Ramp && std::tan(retract.angle) > 0) {
      const double run = (job_.clearZ - at.z) / std::tan(retract.angle);
      if (plan.link.Reach({at.x, at.y}, lastDirection_) < run) retract = Plunge{};
    }
    Leave(out, job_.clearZ, retract, lastDirection_, job_.feed);
  }

  const Region& HelixRegion(Plan& plan, double radius) {
    if (!plan.helix) {
      Shape shape = shape_;
      for (size_t i = 0; i < islands_.size(); ++i)
        if (active_[i]) shape.islands.push_back(islands_[i].polygon);
      plan.helix = std::make_unique<Region>(shape.Offset(plan.linkOuter + radius, plan.linkIsland + radius));
    }
    return *plan.helix;
  }

  // Into the material at the start of `path` at height z, the material beginning at topZ.
  bool In(MoveWriter& out, Plan& plan, Contour2& path, double z, double topZ) {
    const Plunge axis{};
    auto begin = [&](const Vec2& p) {
      if (job_.moves.empty()) out.Rapid({p.x, p.y, job_.clearZ});
    };
    // Where the tool can go down beside the material, it does.
    if (path.closed && !InAir(path.start)) {
      for (size_t i = 1; i < path.segments.size(); ++i)
        if (InAir(path.segments[i - 1].to)) {
          path = area::StartingAt(path, i);
          break;
        }
    }
    const Vec2 s = path.start, dir = StartTangent(path);
    if (InAir(s)) {
      begin(s);
      Enter(out, {s.x, s.y, z}, z, job_.clearZ, axis, dir, 0, job_.feed);
      return true;
    }
    if (face_ || open_) {
      const Vec2 away = open_ ? outward_ : Vec2{dir.y, -dir.x};
      for (double t = kClear / 2; t < 2 * R_ + 4 * kClear; t += kClear / 2) {
        const Vec2 p{s.x + away.x * t, s.y + away.y * t};
        if (InAir(p) && plan.link.Holds(p, s)) {
          begin(p);
          Enter(out, {p.x, p.y, z}, z, job_.clearZ, axis, away, 0, job_.feed);
          out.Feed({s.x, s.y, z}, job_.feed);
          return true;
        }
      }
    }
    const Plunge& approach = job_.approach;
    if (approach.kind == Plunge::Helix && approach.radius > 0 && approach.angle > 0) {
      const Region& room = HelixRegion(plan, approach.radius);
      Vec2 target = s;
      bool found = room.Contains(s);
      double best = std::numeric_limits<double>::infinity();
      if (!found)
        for (const Contour2& loop : room.loops)
          for (const Segment2& seg : loop.segments) {
            const double d = Distance(seg.to, s);
            if (d < best && plan.link.Holds(seg.to, s)) {
              best = d;
              target = seg.to;
              found = true;
            }
          }
      if (!found) return Fail("the approach helix does not fit in the area");
      begin(target);
      Enter(out, {target.x, target.y, z}, topZ, job_.clearZ, approach, dir, 0, job_.feed);
      if (Distance(target, s) > 0) out.Feed({s.x, s.y, z}, job_.feed);
      return true;
    }
    begin(s);
    const double reach = std::max(0.0, plan.link.Reach(s, dir) - 1e-6);
    Enter(out, {s.x, s.y, z}, topZ, job_.clearZ, approach, dir, reach, job_.feed);
    return true;
  }

  void Along(MoveWriter& out, const Contour2& path, double z) {
    for (const Segment2& seg : path.segments) {
      if (seg.arc)
        out.Arc({seg.to.x, seg.to.y, z}, {seg.center.x, seg.center.y, z}, {0, 0, 1}, seg.clockwise, job_.feed);
      else
        out.Feed({seg.to.x, seg.to.y, z}, job_.feed);
    }
    lastDirection_ = EndTangent(path);
  }

  // A closed loop started at its point nearest the tool.
  static Contour2 Nearest(const Contour2& loop, const Vec2& at) {
    size_t best = 0;
    double d = Distance(loop.start, at);
    for (size_t i = 0; i + 1 < loop.segments.size(); ++i) {
      const double e = Distance(loop.segments[i].to, at);
      if (e < d) d = e, best = i + 1;
    }
    return area::StartingAt(loop, best);
  }

  // Heights between the floor's allowance and the top at which a tool steps up a floor's
  // fillet: the centre of the tool's edge at even angles round the fillet, the last where it
  // reaches the wall. None where the tool's own edge makes the fillet (or a rounder one).
  std::vector<double> FilletLevels(double bottom) const {
    std::vector<double> out;
    if (face_ || !(planarRadius_ > 0)) return out;
    const double rho = planarRadius_ - Corner() - allowSide_;
    if (!(rho > kTiny)) return out;
    const int n = std::clamp(static_cast<int>(std::ceil(kPi / 2 * rho / kFilletStep - 1e-9)), 1, 90);
    for (int k = 1; k <= n; ++k) {
      const double phi = kPi / 2 * k / n;
      const double z = floor_ + planarRadius_ - Corner() - rho * std::cos(phi);
      if (z > bottom + 1e-6 && z < -1e-6) out.push_back(z);
    }
    return out;
  }

  bool Write() {
    const double bottom = floor_ + allowBottom_;
    if (!(bottom < -kTiny)) return Fail("the bottom allowance leaves nothing to remove");
    long levels = 1;
    if (axial_ > 0) levels = static_cast<long>(std::ceil(-bottom / axial_ - 1e-9));
    if (levels > kMaxLevels) return Fail("the depth takes too many axial passes");
    levels = std::max(levels, 1L);
    // Each level clears the area; levels added to shape a floor's fillet only go along the
    // walls, as close as the fillet allows at their height (the area inside is cleared by the
    // level below).
    std::vector<std::pair<double, bool>> heights;  // z, along the walls only
    for (long k = 1; k <= levels; ++k) heights.push_back({bottom * static_cast<double>(k) / static_cast<double>(levels), false});
    for (double z : FilletLevels(bottom)) {
      bool known = false;
      for (const auto& h : heights) known = known || std::fabs(h.first - z) < 1e-6;
      if (!known) heights.push_back({z, true});
    }
    std::sort(heights.begin(), heights.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    MoveWriter out(job_.moves, {0, 0, job_.clearZ});
    double top = 0;
    for (const auto& [z, wallsOnly] : heights) {
      active_.assign(islands_.size(), false);
      for (size_t i = 0; i < islands_.size(); ++i) active_[i] = islands_[i].top > z + kTiny;
      Plan& plan = PlanFor(active_, WallDistance(z));
      if (!ok_) return false;
      bool down = false;
      for (const Pass& pass : plan.passes) {
        if (wallsOnly && !pass.wall) continue;
        const Vec3 at = out.At();
        Contour2 path = pass.path.closed ? Nearest(pass.path, {at.x, at.y}) : pass.path;
        if (down && !pass.stroke && plan.link.Holds({at.x, at.y}, path.start)) {
          out.Feed({path.start.x, path.start.y, z}, job_.feed);
        } else {
          if (down) Up(out, plan);
          if (!In(out, plan, path, z, top)) return false;
        }
        down = true;
        Along(out, path, z);
        if (job_.moves.size() > kMaxMoves) return Fail("the area would take more moves than a program may hold");
      }
      Up(out, plan);
      // Where material begins for the next level's way in: a level along the walls only
      // leaves the area inside as the last full level did.
      if (!wallsOnly) top = z;
    }
    if (job_.moves.empty()) return Fail("nothing to clear");
    return true;
  }

  StepJob& job_;
  double R_ = 0;
  // the operation
  bool side_ = false;
  double axial_ = 0, allowBottom_ = 0, allowSide_ = 0, stepover_ = 0;
  Pattern pattern_ = Pattern::ContourParallel;
  bool patterned_ = false, hasFeedDirection_ = false, right_ = false, conventional_ = false;
  std::string rotation_;
  Vec2 feedDirection_{1, 0};
  // the feature
  bool face_ = false, open_ = false;
  double floor_ = 0, planarRadius_ = 0;
  Shape shape_;
  std::vector<Island> islands_;
  std::vector<Vec2> outline_;
  Vec2 travel_{1, 0}, chordA_, outward_;
  // the moves
  std::map<std::pair<std::vector<bool>, long long>, std::unique_ptr<Plan>> plans_;
  std::vector<bool> active_;
  bool ok_ = true;
  std::unique_ptr<Region> touch_;
  Vec2 lastDirection_{1, 0};
};

}  // namespace

bool GenerateArea(StepJob& job) { return AreaGenerator(job).Run(); }

}  // namespace varnholt::machining_detail

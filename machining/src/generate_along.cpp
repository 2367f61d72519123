// Toolpaths along a line of the feature: a slot along its course of travel, a step along its
// open boundary, a profile along its boundary. Passes side by side across the width and level
// by level down to the floor, each way in and out through Enter and Leave.
#include <algorithm>
#include <cmath>
#include <limits>

#include "generate_section.h"
#include "varnholt/feature_along.h"

namespace varnholt::machining_detail {
namespace {


bool Reason(StepJob& job, std::string why) {
  job.reason = std::move(why);
  return false;
}

// A size that cannot be less than nothing: unset or negative counts as none.
double NonNegative(double v) { return v > 0 ? v : 0; }

bool PlaneFrame(const AlongPlacement& given, const std::string& kind, Frame2& frame, std::string& why) {
  return machining_detail::PlaneFrame(given.own, given.read, given.placement, kind + "'s placement", frame, why);
}

// A whole circle as two halves, so that no arc starts where it ends.
Contour2 Circle(double radius) {
  Contour2 c;
  c.start = {radius, 0};
  c.segments.push_back({{-radius, 0}, true, {0, 0}, false});
  c.segments.push_back({{radius, 0}, true, {0, 0}, false});
  c.closed = true;
  return c;
}

// A travel path (or a step's open boundary) as a plane contour in the feature's system.
bool Travel(StepJob& job, const AlongPath& path, Contour2& out) {
  if (path.kind == AlongPath::Unset) return Reason(job, "the feature's path is unset");
  std::string why;
  const double a = path.kind == AlongPath::Linear ? path.distance : path.radius;
  if (path.kind == AlongPath::Linear) {
    if (!(a > 0) || !path.hasDirection) return Reason(job, "the linear path's distance or direction is unset");
    const Placement& p = path.placement.placement;
    const bool own = path.placement.read;
    const Vec3& direction = path.direction;
    Vec3 d = direction;
    if (own) {
      d = {p.axis[0].x * direction.x + p.axis[1].x * direction.y + p.axis[2].x * direction.z,
           p.axis[0].y * direction.x + p.axis[1].y * direction.y + p.axis[2].y * direction.z,
           p.axis[0].z * direction.x + p.axis[1].z * direction.y + p.axis[2].z * direction.z};
      // A path lies in the feature's plane. Writers who tilt its placement (its axis along the
      // travel) give the direction in the feature's system; read it so where the placement's
      // would leave the plane.
      if (std::fabs(d.z) > 1e-6) d = direction;
    }
    if (std::fabs(d.z) > 1e-6) return Reason(job, "the linear path does not lie in the feature's plane");
    const double l = std::hypot(d.x, d.y);
    out = Contour2{};
    out.start = own ? Vec2{p.origin.x, p.origin.y} : Vec2{0, 0};
    out.segments.push_back({Add(out.start, Mul(Vec2{d.x / l, d.y / l}, a)), false, {}, false});
    return true;
  }
  Frame2 frame;
  if (!PlaneFrame(path.placement, path.type, frame, why)) return Reason(job, why);
  if (path.kind == AlongPath::Circular || path.kind == AlongPath::PartialCircular) {
    if (!(a > 0)) return Reason(job, "the circular path's radius is unset");
    double sweep = 2 * kPi;
    if (path.kind == AlongPath::PartialCircular) {
      if (std::isnan(path.sweep)) return Reason(job, "the partial circular path's sweep angle is unset");
      sweep = std::clamp(PlaneAngle(path.sweep), -2 * kPi, 2 * kPi);
    }
    Contour2 c = Circle(a);
    if (std::fabs(sweep) < 2 * kPi - 1e-9) {
      c = Contour2{};
      c.start = {a, 0};
      const int halves = std::fabs(sweep) > kPi ? 2 : 1;
      for (int k = 1; k <= halves; ++k) {
        const double phi = sweep * k / halves;
        c.segments.push_back({{a * std::cos(phi), a * std::sin(phi)}, true, {0, 0}, sweep < 0});
      }
    }
    out = Placed(c, frame);
    return true;
  }
  if (path.kind == AlongPath::General) {
    if (!path.curve.read) return Reason(job, "the general path: " + path.curve.why);
    out = Placed(path.curve.contour, frame);
    return true;
  }
  return Reason(job, "a path of kind " + path.type + " is not one toolpaths are generated along");
}

// A cross-section across a slot: its floor over the offset from the centre line (left
// positive), the corners and steps of that floor, and how far out it is open at the top.
struct Section {
  Floor floor;
  std::vector<double> breaks;
  double half = 0;
  double corner = 0;  // the radius between a U's floor and its walls
};

bool ReadSection(StepJob& job, const AlongShape& shape, double depth, bool hasDepth, Section& out) {
  if (shape.kind == AlongShape::Unset) return Reason(job, "the slot's swept shape is unset");
  auto needDepth = [&]() {
    if (hasDepth && depth < -1e-9) return true;
    return Reason(job, "the slot's depth plane is unset or does not lie below its top");
  };
  const double w = shape.width;
  if (shape.kind == AlongShape::SquareU) {
    if (!(w > 0)) return Reason(job, "the square U profile's width is unset");
    if (!needDepth()) return false;
    // The corners' radii, the larger taken for both. Side angles lean the walls outwards; the
    // cut stays within the floor's width, inside them.
    const double r1 = NonNegative(shape.firstRadius), r2 = NonNegative(shape.secondRadius);
    const double half = w / 2, rc = std::min(std::max(r1, r2), half);
    out.half = half;
    out.corner = rc;
    out.floor = [half, rc, depth](double u) {
      const double p = std::min(std::fabs(u), half);
      if (std::fabs(u) > half + 1e-9) return 0.0;
      if (p <= half - rc) return depth;
      const double d = p - (half - rc);
      return std::min(0.0, depth + rc - std::sqrt(std::max(0.0, rc * rc - d * d)));
    };
    out.breaks = {-half, half, -(half - rc), half - rc};
  } else if (shape.kind == AlongShape::RoundedU) {
    if (!(w > 0)) return Reason(job, "the rounded U profile's width is unset");
    if (!needDepth()) return false;
    const double half = w / 2;
    out.half = half;
    out.floor = [half, depth](double u) {
      const double p = std::min(std::fabs(u), half);
      if (std::fabs(u) > half + 1e-9) return 0.0;
      return std::min(0.0, depth + half - std::sqrt(std::max(0.0, half * half - p * p)));
    };
    out.breaks = {-half, half};
  } else if (shape.kind == AlongShape::Vee) {
    const double radius = NonNegative(shape.profileRadius);
    if (std::isnan(shape.angle)) return Reason(job, "the vee profile's angle is unset");
    if (!std::isnan(shape.tilt) && std::fabs(PlaneAngle(shape.tilt)) > 1e-6)
      return Reason(job, "a tilted vee profile is not one toolpaths are generated for");
    if (!needDepth()) return false;
    const double halfAngle = PlaneAngle(shape.angle) / 2;
    if (!(halfAngle > 1e-6 && halfAngle < kPi / 2 - 1e-6)) return Reason(job, "the vee profile's angle is not between 0 and 180 degrees");
    const double m = 1 / std::tan(halfAngle);  // rise of a flank per offset
    const double centre = depth + radius, apex = centre - radius * std::sqrt(1 + m * m);
    const double touch = radius * m / std::sqrt(1 + m * m);
    const double half = -apex / m;
    out.half = half;
    out.floor = [=](double u) {
      const double p = std::min(std::fabs(u), half);
      if (std::fabs(u) > half + 1e-9) return 0.0;
      if (p < touch) return std::min(0.0, centre - std::sqrt(std::max(0.0, radius * radius - p * p)));
      return std::min(0.0, apex + m * p);
    };
    out.breaks = {-half, half, -touch, touch, 0};
  } else if (shape.kind == AlongShape::PartialCircular) {
    const double a = shape.radius;
    if (!(a > 0) || std::isnan(shape.sweep))
      return Reason(job, "the partial circular profile's radius or sweep angle is unset");
    // The arc hangs below its centre, symmetric about the vertical. The centre is the profile's
    // placement where it has one of its own (its height in the feature's system; writers
    // disagree on the plane's axes), else the arc's lowest point lies on the depth plane.
    double centre = depth + a;
    if (shape.placement.read)
      centre = shape.placement.placement.origin.z;
    else if (!needDepth())
      return false;
    const double sweep = std::fabs(PlaneAngle(shape.sweep));
    const double end = a * std::sin(std::min(sweep / 2, kPi / 2));
    if (!(centre - a < -1e-9)) return Reason(job, "the partial circular profile does not reach below the slot's top");
    out.half = end;
    out.floor = [a, centre, end](double u) {
      const double p = std::min(std::fabs(u), end);
      if (std::fabs(u) > end + 1e-9) return 0.0;
      return std::min(0.0, centre - std::sqrt(std::max(0.0, a * a - p * p)));
    };
    out.breaks = {-end, end};
  } else {
    return Reason(job, "a slot of swept shape " + shape.type + " is not one toolpaths are generated for");
  }
  return true;
}

struct Technology {
  double side = 0, bottom = 0, axial = std::numeric_limits<double>::quiet_NaN(), radial = 0;
};

Technology ReadTechnology(StepJob& job, const ToolEnd& tool) {
  const ModelOperation& o = *job.operationModel;
  Technology t;
  t.side = NonNegative(o.allowanceSide);
  t.bottom = NonNegative(o.allowanceBottom);
  t.axial = o.axialCuttingDepth;
  t.radial = o.radialCuttingDepth;
  // Without a radial depth the passes step by the tool's radius; never by more than its
  // diameter, which would leave ridges standing between them.
  if (!(t.radial > 0)) t.radial = tool.radius;
  t.radial = std::min(t.radial, 2 * tool.radius);
  return t;
}

// How the tool goes in at the start of a pass: a helix has no room beside a pass, so it
// becomes a ramp at its angle along the pass; a ramp runs along the pass's first stretch.
Plunge AlongPass(const Plunge& approach) {
  Plunge p = approach;
  if (p.kind == Plunge::Helix) p.kind = Plunge::Ramp;
  return p;
}

double FirstStraight(const Contour2& c) {
  if (c.segments.empty() || c.segments.front().arc) return 0;
  return std::hypot(c.segments.front().to.x - c.start.x, c.segments.front().to.y - c.start.y);
}

void In(StepJob& job, MoveWriter& out, const Contour2& pass, double z, double top) {
  Enter(out, {pass.start.x, pass.start.y, z}, top, job.clearZ, AlongPass(job.approach), StartDirection(pass),
        FirstStraight(pass), job.feed);
}

// Back up out of the material: a ramp runs back over the pass's last stretch, which is cut,
// where that stretch is long enough to reach the top; otherwise the tool goes straight up.
void Out(StepJob& job, MoveWriter& out, const Contour2& pass) {
  Plunge way = job.retract;
  const Contour2 back = Reversed(pass);
  const double room = FirstStraight(back);
  const double need = way.kind == Plunge::Ramp ? -out.At().z / std::tan(way.angle) : 0;
  if (way.kind != Plunge::Ramp || !(need <= room)) way = Plunge{};
  Leave(out, job.clearZ, way, StartDirection(back), job.feed);
}

// The offsets of the passes across a slot: no farther apart than the radial depth, and closer
// where the cross-section curves or steps. The lowest the tool's end comes over each point is
// held against the lowest any pass within the walls could come there: where more than
// kStanding of that stands, a pass goes between the two neighbouring passes either side of
// the offset that would take it, until they are kCloseness of the tool's radius apart (across
// and in depth).
std::vector<double> AcrossTheSection(const Floor& floor, const ToolEnd& tool, const std::vector<double>& breaks,
                                     double umax, double radial) {
  if (umax <= 1e-9) return {0};
  constexpr double kStanding = 0.05, kCloseness = 1.0 / 32, kStepAlongFloor = 0.2;
  constexpr int kGrid = 512, kRounds = 12;
  const double r = tool.radius, wall = umax + r;
  // A flat end steps up a round it cannot make: steps finer than this only multiply passes.
  const double closest = std::max(kCloseness * r, kStepAlongFloor);
  // The best that can be had: the lowest cut over a fine grid of points from passes on a fine
  // grid of offsets.
  std::vector<double> xs, best, by;  // by: the offset of the best pass over each point
  for (int k = 0; k <= kGrid; ++k) xs.push_back(-wall + 2 * wall * k / kGrid);
  std::vector<double> zs;  // the depth of each pass
  auto lower = [&](const std::vector<double>& us, std::vector<double>& cut, std::vector<double>* from) {
    cut.assign(xs.size(), 0.0);  // nothing is cut above the top
    if (from) from->assign(xs.size(), 0.0);
    zs.clear();
    for (double u : us) {
      const double z = Drop(floor, tool, u, breaks);
      zs.push_back(z);
      for (size_t k = 0; k < xs.size(); ++k) {
        const double at = z + tool.Lift(xs[k] - u);
        if (std::fabs(xs[k] - u) <= r && at < cut[k]) {
          cut[k] = at;
          if (from) (*from)[k] = u;
        }
      }
    }
  };
  // Finer than passes ever come across: near a steep wall a small step across is a long one
  // down.
  lower(Spaced(-umax, umax, 2 * umax / (4 * kGrid)), best, &by);
  // Evenly across, and where the tool's edge meets a corner or a step of the floor.
  std::vector<double> us = Spaced(-umax, umax, radial), cut;
  for (double b : breaks)
    for (double u : {b - r, b + r})
      if (std::fabs(b) > 1e-12 && std::fabs(u) < umax - 1e-9) us.push_back(u);
  std::sort(us.begin(), us.end());
  us.erase(std::unique(us.begin(), us.end(), [](double a, double b) { return b - a < 1e-9; }), us.end());
  for (int round = 0; round < kRounds; ++round) {
    lower(us, cut, nullptr);
    std::vector<bool> split(us.size(), false);
    for (size_t k = 0; k < xs.size(); ++k) {
      if (!(cut[k] - best[k] > kStanding)) continue;
      const size_t i = std::min<size_t>(std::upper_bound(us.begin(), us.end(), by[k]) - us.begin(), us.size() - 1);
      // Apart across and in depth: where the floor rises steeply, passes close across lie
      // far apart on it.
      if (i > 0 && std::hypot(us[i] - us[i - 1], zs[i] - zs[i - 1]) >= 2 * closest) split[i - 1] = true;
    }
    std::vector<double> more;
    for (size_t i = 0; i + 1 < us.size(); ++i)
      if (split[i]) more.push_back((us[i] + us[i + 1]) / 2);
    if (more.empty()) break;
    us.insert(us.end(), more.begin(), more.end());
    std::sort(us.begin(), us.end());
  }
  return us;
}

// The offsets out of `values` ordered from the middle outwards, alternately to each side.
std::vector<double> MiddleOut(std::vector<double> values) {
  std::sort(values.begin(), values.end(), [](double a, double b) {
    if (std::fabs(std::fabs(a) - std::fabs(b)) > 1e-12) return std::fabs(a) < std::fabs(b);
    return a > b;
  });
  return values;
}

// An end the file leaves open lets the tool run out past it, which is right only where no stock
// is there: an open end inside the stock is cut as a closed one, and the workingstep says so.
bool OpenEnd(StepJob& job, const Contour2& path, bool start, double depth) {
  OpenEndInStock end;
  if (!EndInStock(job.stock, path, start, depth, end)) return true;
  job.notes.push_back(OpenEndText(end) + ": it is cut as a closed end, the tool staying within the feature");
  return false;
}

bool Slot(StepJob& job, const AlongFeature& f) {
  const ToolEnd tool = ToolEndOf(job);
  const Technology t = ReadTechnology(job, tool);
  Contour2 centre;
  if (!Travel(job, f.path, centre)) return false;
  Section section;
  if (!ReadSection(job, f.shape, f.depth, f.hasDepth, section)) return false;
  // The floor less what is to stay: the walls in by the side allowance, the floor up by the
  // bottom allowance. The cross-sections are symmetric: the profile at |u| + side is the wall
  // moved in.
  const Floor base = section.floor;
  const double side = t.side, up = t.bottom;
  const Floor floor = [base, side, up](double u) {
    const double a = std::fabs(u) + (side > 0 ? side : 0);
    return std::min(0.0, base(a) + up);
  };
  std::vector<double> breaks{0};
  for (double b : section.breaks)
    if (std::fabs(b) > side) breaks.push_back(b - std::copysign(side, b));
  // The passes reach out to the walls at the top; each goes as deep as the cross-section lets
  // the tool's end there, so that a corner rounder than the tool narrows only the corner.
  const double umax = section.half - t.side - tool.radius;
  if (umax < -1e-9)
    return Reason(job, "the tool (diameter " + Millimetres(2 * tool.radius) + ") is wider than the slot less its allowance");
  if (section.corner > 0 && section.corner < tool.corner - 1e-9)
    job.notes.push_back("the slot's corner radius " + Millimetres(section.corner) + " is smaller than the tool's corner radius " +
                        Millimetres(tool.corner) + ": its floor meets the walls at the tool's corner radius");

  // The ends: an open end or a loop lets the tool run to the path's end; a flat end keeps it
  // its radius (and what a rounder corner needs) short of it; a radiused end is a half circle
  // about the path's end, which every pass within the width fits.
  double trim[2] = {0, 0};
  double endCorner[2] = {0, 0};  // how much rounder than the tool a flat end's corners are
  bool cornerNoted = false;
  if (!centre.closed) {
    for (size_t k = 0; k < f.ends.size() && k < 2; ++k) {
      const AlongEnd& e = f.ends[k];
      if (e.kind == AlongEnd::Open && !OpenEnd(job, centre, k == 0, f.depth)) {
        trim[k] = tool.radius + t.side;
        continue;
      }
      if (e.kind == AlongEnd::Unset || e.kind == AlongEnd::Open || e.kind == AlongEnd::Loop ||
          e.kind == AlongEnd::Radiused)
        continue;
      if (e.kind == AlongEnd::Flat) {
        const double c1 = std::isnan(e.corner1) ? 0 : e.corner1, c2 = std::isnan(e.corner2) ? 0 : e.corner2;
        trim[k] = tool.radius + t.side;
        endCorner[k] = std::max(0.0, std::max(c1, c2) - tool.radius);
        if (std::max(c1, c2) > 0 && std::max(c1, c2) < tool.radius - 1e-9 && !cornerNoted) {
          job.notes.push_back("the slot end's corner radius " + Millimetres(std::max(c1, c2)) +
                              " is smaller than the tool's radius " + Millimetres(tool.radius) +
                              ": its corners are left at the tool's radius");
          cornerNoted = true;
        }
        continue;
      }
      return Reason(job, "a slot end of kind " + e.type + " is not one toolpaths are generated for");
    }
    if ((trim[0] > 0 || trim[1] > 0) && !Trimmed(centre, trim[0], trim[1], centre))
      return Reason(job, "the slot is too short for the tool between its ends");
  }
  // A flat end's corners rounder than the tool keep only the passes near the walls back: the
  // tool's centre stays within the end's outline less its radius, whose corners are rounded by
  // what the end's corners exceed the tool's radius by.
  auto endShortfall = [&](int k, double u) {
    const double c = endCorner[k];
    if (!(c > 0)) return 0.0;
    const double into = std::fabs(u) - (umax - c);
    if (into <= 0) return 0.0;
    return c - std::sqrt(std::max(0.0, c * c - into * into));
  };

  struct Pass {
    double u, z;
    Contour2 path;
  };
  std::vector<Pass> passes;
  std::string why;
  for (double u : MiddleOut(AcrossTheSection(floor, tool, breaks, umax, t.radial))) {
    const double z = Drop(floor, tool, u, breaks);
    if (!(z < -1e-9)) continue;  // nothing to cut there
    Pass p{u, z, {}};
    if (std::fabs(u) < 1e-12)
      p.path = centre;
    else if (!Offset(centre, u, p.path, why))
      return Reason(job, "the slot's path: " + why);
    // Back from a flat end's rounded corners, each end by what the corner takes at this offset.
    const double head = endShortfall(0, u), tail = endShortfall(1, u);
    if ((head > 1e-9 || tail > 1e-9) && !Trimmed(p.path, head, tail, p.path)) continue;
    passes.push_back(std::move(p));
  }
  if (passes.empty()) return Reason(job, "the tool's end does not fit into the slot's cross-section");
  double bottom = 0;
  for (const Pass& p : passes) bottom = std::min(bottom, p.z);

  MoveWriter out(job.moves, {centre.start.x, centre.start.y, job.clearZ});
  out.Rapid(out.At());
  double top = 0;
  for (double level : Levels(bottom, t.axial)) {
    // Passes set close for a round below run level here side by side at this height: of those
    // only as many as the radial depth needs are taken (the outermost always).
    std::vector<size_t> flat;
    for (size_t i = 0; i < passes.size(); ++i)
      if (passes[i].z < top - 1e-9 && passes[i].z <= level) flat.push_back(i);
    std::sort(flat.begin(), flat.end(), [&](size_t a, size_t b) { return passes[a].u < passes[b].u; });
    std::vector<bool> skip(passes.size(), false);
    for (size_t j = 1, kept = 0; j + 1 < flat.size(); ++j) {
      if (passes[flat[j + 1]].u - passes[flat[kept]].u <= t.radial + 1e-9)
        skip[flat[j]] = true;
      else
        kept = j;
    }
    bool inside = false;
    int k = 0;
    Contour2 last;
    for (size_t i = 0; i < passes.size(); ++i) {
      const Pass& p = passes[i];
      if (!(p.z < top - 1e-9) || skip[i]) continue;  // reached already, or not needed at this height
      const double z = std::max(level, p.z);
      // Open paths are run back and forth; a loop always from its start.
      const Contour2 path = (!centre.closed && k % 2 == 1) ? Reversed(p.path) : p.path;
      ++k;
      if (!inside) {
        In(job, out, path, z, top);
        inside = true;
      } else {
        // Across to the next pass on the line through the path's end, above the higher floor.
        const Vec3 at = out.At();
        const double over = std::max(at.z, z);
        if (over > at.z) out.Feed({at.x, at.y, over}, job.feed);
        out.Feed({path.start.x, path.start.y, over}, job.feed);
        if (z < over) out.Feed({path.start.x, path.start.y, z}, job.feed);
      }
      Follow(out, path, z, job.feed);
      last = path;
    }
    if (inside) Out(job, out, last);
    top = level;
  }
  return true;
}

// The workpiece's block, where the workpiece has one: how far a horizontal line from a point of
// the feature runs inside it.
struct Block {
  Placement feature, block;
  double size[3] = {0, 0, 0};
  double Exit(const Vec2& from, const Vec2& direction, double z) const {
    const Vec3 p = feature.Apply({from.x, from.y, z});
    const Vec3 q = feature.Apply({from.x + direction.x, from.y + direction.y, z});
    const Vec3 d{q.x - p.x, q.y - p.y, q.z - p.z};
    double exit = std::numeric_limits<double>::infinity();
    for (int k = 0; k < 3; ++k) {
      const Vec3& a = block.axis[k];
      const double at = a.x * (p.x - block.origin.x) + a.y * (p.y - block.origin.y) + a.z * (p.z - block.origin.z);
      const double along = a.x * d.x + a.y * d.y + a.z * d.z;
      if (std::fabs(along) < 1e-12) continue;
      exit = std::min(exit, along > 0 ? (size[k] - at) / along : -at / along);
    }
    return std::max(0.0, exit);
  }
};

bool ReadBlock(const AlongBlock& given, Block& out) {
  if (!given.given || !(given.size[0] > 0 && given.size[1] > 0 && given.size[2] > 0)) return false;
  out.feature = given.feature;
  out.block = given.position;
  std::copy(given.size, given.size + 3, out.size);
  return true;
}

bool Step(StepJob& job, const AlongFeature& f) {
  const ToolEnd tool = ToolEndOf(job);
  const Technology t = ReadTechnology(job, tool);
  const double depth = f.depth;
  if (!f.hasDepth || !(depth < -1e-9)) return Reason(job, "the step's depth plane is unset or does not lie below its top");
  Contour2 edge;
  if (!Travel(job, f.path, edge)) return false;
  if (edge.segments.size() != 1 || edge.segments.front().arc) return Reason(job, "the step's open boundary is not a straight line");
  // Its wall: upright, with a radius at its foot. A wall at another angle is not cut.
  double foot = 0;
  if (const AlongShape& wall = f.wall; wall.kind != AlongShape::Unset) {
    if (wall.kind != AlongShape::Vee || std::isnan(wall.angle) || std::isnan(wall.tilt))
      return Reason(job, "the step's wall boundary cannot be read");
    if (std::fabs(PlaneAngle(wall.angle) - kPi / 2) > 1e-6 || std::fabs(PlaneAngle(wall.tilt) - kPi / 2) > 1e-6)
      return Reason(job, "a step whose wall is not upright is not one toolpaths are generated for");
    foot = NonNegative(wall.profileRadius);
  }
  // The step removes the material between its boundary and the workpiece's edge on one side;
  // the feature gives no width, the workpiece's block does: the side where the block ends
  // sooner is the one cut away, the other is the wall's.
  Block block;
  if (!ReadBlock(f.block, block))
    return Reason(job, "the step's width is given neither by the feature nor by a block of its workpiece");
  const Vec2 along = StartDirection(edge), left = Left(along);
  const Vec2 a = edge.start, b = edge.segments.front().to;
  const double z = depth / 2;
  const double leftWidth = std::max(block.Exit(a, left, z), block.Exit(b, left, z));
  const double rightWidth = std::max(block.Exit(a, Mul(left, -1), z), block.Exit(b, Mul(left, -1), z));
  if (std::fabs(leftWidth - rightWidth) < 1e-9) return Reason(job, "the step's boundary does not say which side is cut away");
  const bool cutLeft = leftWidth < rightWidth;
  const double width = std::min(leftWidth, rightWidth);
  if (!(width > 1e-9)) return Reason(job, "the step's boundary lies on the workpiece's edge");
  const double nearest = tool.radius + t.side + std::max(0.0, foot - tool.corner);
  std::vector<double> offsets = Spaced(std::max(width - tool.radius, nearest), nearest, t.radial);
  // Its ends are open; at one inside the stock every pass stops short of what lies beyond it.
  const double head = OpenEnd(job, edge, true, depth) ? 0 : tool.radius + t.side;
  const double tail = OpenEnd(job, edge, false, depth) ? 0 : tool.radius + t.side;
  // Climb milling keeps the wall (the material) on the right of the travel.
  const bool wallLeft = !cutLeft;
  const bool forward = Climb(job) ? !wallLeft : wallLeft;
  const double floorZ = std::min(0.0, depth + t.bottom);
  if (!(floorZ < -1e-9)) return Reason(job, "the bottom allowance leaves nothing of the step to cut");
  MoveWriter out(job.moves, {edge.start.x, edge.start.y, job.clearZ});
  out.Rapid(out.At());
  double top = 0;
  std::string why;
  for (double level : Levels(floorZ, t.axial)) {
    for (double w : offsets) {
      Contour2 pass;
      if (!Offset(edge, cutLeft ? w : -w, pass, why)) return Reason(job, "the step's boundary: " + why);
      if ((head > 0 || tail > 0) && !Trimmed(pass, head, tail, pass))
        return Reason(job, "the step is too short for the tool between its ends");
      if (!forward) pass = Reversed(pass);
      In(job, out, pass, level, top);
      Follow(out, pass, level, job.feed);
      Out(job, out, pass);
    }
    top = level;
  }
  return true;
}

// A profile's boundary as a contour in the feature's system.
bool Boundary(StepJob& job, const AlongBoundary& profile, Contour2& out) {
  using K = AlongBoundary::Kind;
  if (profile.kind == K::Unset) return Reason(job, "the profile feature's boundary is unset");
  Frame2 frame;
  std::string why;
  if (!PlaneFrame(profile.placement, profile.type, frame, why)) return Reason(job, why);
  Contour2 c = profile.curve.contour;
  const double a = profile.length, b = profile.width;
  if (profile.kind == K::GeneralClosed) {
    if (!profile.curve.read) return Reason(job, "the closed profile: " + profile.curve.why);
    if (!c.closed) return Reason(job, "the closed profile's curve does not close");
  } else if (profile.kind == K::General) {
    if (!profile.curve.read) return Reason(job, "the profile: " + profile.curve.why);
  } else if (profile.kind == K::Rectangular && a > 0 && b > 0) {
    // Centred on its placement, the length along x.
    c.start = {-a / 2, -b / 2};
    for (Vec2 p : {Vec2{a / 2, -b / 2}, Vec2{a / 2, b / 2}, Vec2{-a / 2, b / 2}, Vec2{-a / 2, -b / 2}})
      c.segments.push_back({p, false, {}, false});
    c.closed = true;
  } else if (profile.kind == K::Circular && profile.diameter > 0) {
    c = Circle(profile.diameter / 2);
  } else {
    return Reason(job, "a profile of kind " + profile.type + " (or with its sizes unset) is not one toolpaths are generated along");
  }
  out = Placed(c, frame);
  return true;
}

bool Profile(StepJob& job, const AlongFeature& f) {
  const ToolEnd tool = ToolEndOf(job);
  const Technology t = ReadTechnology(job, tool);
  if (f.kind != AlongFeature::OutsideProfile && f.kind != AlongFeature::ShapeProfile)
    return Reason(job, "a profile feature of kind " + job.featureModel->type + " is not one toolpaths are generated for");
  Contour2 boundary;
  if (!Boundary(job, f.boundary, boundary)) return false;
  const Vec3& removal = f.removal;
  const bool hasRemoval = f.kind == AlongFeature::ShapeProfile && f.hasRemoval && std::hypot(removal.x, removal.y) > 1e-9;
  double depth = f.depth;
  if (!f.hasDepth || !(depth < -1e-9)) {
    // The sweep of the profile says how deep it goes where the depth plane does not.
    if (!(f.sweptDepth > 0)) return Reason(job, "the profile's depth is unset");
    depth = -f.sweptDepth;
  }
  const double floorZ = std::min(0.0, depth + t.bottom);
  if (!(floorZ < -1e-9)) return Reason(job, "the bottom allowance leaves nothing of the profile to cut");
  const bool climb = Climb(job);
  const double reach = tool.radius + t.side;
  double offset = 0;
  Contour2 path = boundary;
  if (boundary.closed) {
    // The material is inside an outside profile: climb milling runs clockwise round it, the
    // tool on its left, outside.
    const bool ccw = Turning(boundary) > 0;
    if (ccw == climb) path = Reversed(boundary);
    offset = climb ? reach : -reach;
  } else {
    const ModelStrategy& s = job.operationModel->strategy;
    const Vec2 chord{(path.segments.back().to.x - path.start.x), (path.segments.back().to.y - path.start.y)};
    if (s.feedDirectionRead && Dot(Vec2{s.feedDirection.x, s.feedDirection.y}, chord) < 0) path = Reversed(path);
    if (hasRemoval) {
      // The tool goes where the material is removed; the cut mode then says which way it runs.
      const bool toolLeft = Dot(Vec2{removal.x, removal.y}, Left(StartDirection(path))) > 0;
      if (toolLeft != climb) path = Reversed(path);
      offset = climb ? reach : -reach;
    } else {
      // Nothing in the feature says where the material is: the operation's cut mode with its
      // direction of travel does.
      offset = climb ? reach : -reach;
    }
  }
  Contour2 pass;
  std::string why;
  if (!Offset(path, offset, pass, why)) return Reason(job, "the profile: " + why);
  if (!boundary.closed) {
    // Its ends are open; at one inside the stock the pass stops short of what lies beyond it.
    const bool turned = Distance(path.start, boundary.start) > 1e-9;
    const double first = OpenEnd(job, boundary, true, depth) ? 0 : reach;
    const double last = OpenEnd(job, boundary, false, depth) ? 0 : reach;
    if ((first > 0 || last > 0) && !Trimmed(pass, turned ? last : first, turned ? first : last, pass))
      return Reason(job, "the profile is too short for the tool between its ends");
  }
  MoveWriter out(job.moves, {pass.start.x, pass.start.y, job.clearZ});
  out.Rapid(out.At());
  double top = 0;
  for (double level : Levels(floorZ, t.axial)) {
    In(job, out, pass, level, top);
    Follow(out, pass, level, job.feed);
    Out(job, out, pass);
    top = level;
  }
  return true;
}

}  // namespace

bool GenerateAlong(StepJob& job) {
  if (!job.operationModel->milling)
    return Reason(job, "a " + job.featureModel->type + " is milled; a " + job.operationModel->type + " is not generated for it");
  const AlongFeature* f = job.featureModel->along.get();
  if (!f) return Reason(job, "the " + job.featureModel->type + "'s geometry was not read");
  if (f->kind == AlongFeature::Slot) return Slot(job, *f);
  if (f->kind == AlongFeature::Step) return Step(job, *f);
  return Profile(job, *f);
}

bool AlongCourse(StepJob& job, Contour2& out) {
  const AlongFeature* f = job.featureModel->along.get();
  if (!f) return false;
  if (f->kind == AlongFeature::Slot || f->kind == AlongFeature::Step) return Travel(job, f->path, out);
  return f->kind != AlongFeature::OtherProfile && Boundary(job, f->boundary, out);
}

}  // namespace varnholt::machining_detail

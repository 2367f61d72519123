// Toolpaths for round holes: the drilling cycles as plain moves, and milling a hole by a way in
// at its axis and circles outwards level by level.
//
// A hole's depth plane is where its cylindrical (or tapered) wall ends; a conical or spherical
// bottom lies below it, a flat one on it, and a through hole opens there. A tool goes as deep as
// its end allows without cutting below the bottom anywhere under it, and no drilling tool takes
// its full diameter below the depth plane of a blind hole: a drill stops with its tip on a flat
// bottom, and makes a conical bottom with its own point, down to where its full diameter meets
// the depth plane.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include "generate_section.h"
#include "varnholt/feature_hole.h"

namespace varnholt::machining_detail {
namespace {

// How far a drill's full diameter goes past the open end of a through hole, so that no burr of
// the wall is left standing.
constexpr double kBreakthrough = 1;
// How far above the depth reached by a peck the tool comes back down at rapid before it feeds.
constexpr double kPeckClearance = 0.5;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

struct Hole {
  double radius = 0;       // at the top
  double bottomRadius = 0; // where the wall ends, at `depth`
  double depth = 0;        // z of the depth plane, negative
  bool through = false;
  Floor floor;             // the bottom over the distance from the axis (beyond the wall: 0)
  std::vector<double> breaks;
  // The wall's radius at a height between the top and the depth plane.
  double Wall(double z) const {
    const double t = std::clamp(z / depth, 0.0, 1.0);
    return radius + (bottomRadius - radius) * t;
  }
  // The narrowest the wall is between the top and z: what a cylindrical tool reaching z must fit.
  double Narrowest(double z) const { return std::min(Wall(0), Wall(std::max(z, depth))); }
};

bool Reason(StepJob& job, std::string why) {
  job.reason = std::move(why);
  return false;
}

// The hole the tool is to leave: the model's sizes and bottom, judged as they are used, and
// shrunk by what is to stay (`allowSide`, `allowBottom`).
bool ShapeHole(StepJob& job, const ToolEnd& tool, double allowSide, double allowBottom, Hole& hole) {
  if (!job.featureModel->hole) return Reason(job, "the hole's geometry cannot be read");
  const HoleFeature& f = *job.featureModel->hole;
  const double d = f.diameter;
  if (!(d > 0)) return Reason(job, "the hole's diameter is unset or not positive");
  hole.radius = d / 2;
  hole.bottomRadius = hole.radius;
  if (std::isnan(f.depth)) return Reason(job, "the hole's depth plane is unset");
  hole.depth = f.depth;
  if (!(hole.depth < -1e-9)) return Reason(job, "the hole's depth plane does not lie below its top");
  switch (f.taper.kind) {
    case HoleFeature::Taper::None: break;
    case HoleFeature::Taper::Diameter: hole.bottomRadius = f.taper.finalDiameter / 2; break;
    case HoleFeature::Taper::Angle: {
      // The wall leans in by the angle towards the bottom, as a countersink's does.
      const double a = std::fabs(PlaneAngle(f.taper.angle));
      if (!(a < kPi / 2)) return Reason(job, "the hole's taper angle is not below a right angle");
      hole.bottomRadius = hole.radius + hole.depth * std::tan(a);
      if (!(hole.bottomRadius > 0)) return Reason(job, "the hole's taper closes before its depth");
      break;
    }
    case HoleFeature::Taper::Unread: return Reason(job, "the hole's change in diameter is of a kind or with sizes not read");
  }
  hole.radius -= allowSide;
  hole.bottomRadius -= allowSide;
  if (!(hole.bottomRadius > 0)) return Reason(job, "the side allowance leaves no hole");
  const double rb = hole.bottomRadius, zb = hole.depth;
  const HoleFeature::Bottom& bottom = f.bottom;
  Floor shape;
  std::vector<double> breaks{rb};
  switch (bottom.kind) {
    case HoleFeature::Bottom::Unset: return Reason(job, "the hole's bottom condition is unset");
    case HoleFeature::Bottom::Through: {
      hole.through = true;
      const double open = zb - tool.PointLength() - kBreakthrough;
      shape = [open](double) { return open; };
      break;
    }
    case HoleFeature::Bottom::FlatWithRadius: {
      const double rc = bottom.cornerRadius;
      if (!(rc >= 0) || rc > rb) return Reason(job, "the hole bottom's corner radius is unset or larger than the hole");
      shape = [zb, rb, rc](double p) {
        if (p <= rb - rc) return zb;
        const double d = p - (rb - rc);
        return zb + rc - std::sqrt(std::max(0.0, rc * rc - d * d));
      };
      breaks.push_back(rb - rc);
      break;
    }
    case HoleFeature::Bottom::Flat: shape = [zb](double) { return zb; }; break;
    case HoleFeature::Bottom::Conical: {
      if (std::isnan(bottom.tipAngle)) return Reason(job, "the conical hole bottom's tip angle is unset");
      const double half = PlaneAngle(bottom.tipAngle) / 2;
      if (!(half > 1e-6 && half < kPi / 2)) return Reason(job, "the conical hole bottom's tip angle is not between 0 and 180 degrees");
      const double slope = 1 / std::tan(half);  // rise per distance from the axis
      const double apex = zb - rb * slope;
      const double tip = bottom.tipRadius > 0 ? bottom.tipRadius : 0;
      // A rounded tip: the sphere touching the cone, its centre on the axis.
      const double centre = apex + tip / std::sin(half), touch = tip * std::cos(half);
      if (touch > rb) return Reason(job, "the conical hole bottom's tip radius is larger than the hole");
      shape = [apex, slope, tip, centre, touch](double p) {
        if (tip > 0 && p < touch) return centre - std::sqrt(std::max(0.0, tip * tip - p * p));
        return apex + p * slope;
      };
      breaks.push_back(touch);
      break;
    }
    case HoleFeature::Bottom::Spherical: {
      const double v = bottom.radius;
      if (!(v > 0)) return Reason(job, "the spherical hole bottom's radius is unset");
      if (v < rb - 1e-9) return Reason(job, "the spherical hole bottom's radius is smaller than the hole's");
      const double rs = std::max(v, rb);
      const double centre = zb + std::sqrt(std::max(0.0, rs * rs - rb * rb));
      shape = [rs, centre](double p) { return centre - std::sqrt(std::max(0.0, rs * rs - p * p)); };
      break;
    }
    case HoleFeature::Bottom::Other:
      return Reason(job, "a hole bottom of kind " + bottom.type + " is not one toolpaths are generated for");
  }
  hole.floor = [shape, rb, allowBottom](double u) {
    double p = std::fabs(u);
    if (p > rb + 1e-9) return 0.0;  // the wall: material up to the top
    if (p > rb) p = rb;
    return std::min(0.0, shape(p) + allowBottom);
  };
  for (double b : breaks) {
    hole.breaks.push_back(b);
    hole.breaks.push_back(-b);
  }
  hole.breaks.push_back(0);
  return true;
}

// Feeds down from where the writer is to z, slower where the strategy asks near the top and
// near the bottom of the cut.
struct Downfeed {
  double feed, startFeed, endFeed, startBelow, endAbove;
  void To(MoveWriter& out, double z) const {
    const Vec3 at = out.At();
    // The top first: above it the tool is in the air and feeds at the full rate.
    double cuts[] = {0, std::max(startBelow, endAbove), std::min(startBelow, endAbove)};
    double now = at.z;
    for (double c : cuts) {
      if (c < now - 1e-12 && c > z + 1e-12) {
        out.Feed({at.x, at.y, c}, FeedAt((now + c) / 2));
        now = c;
      }
    }
    if (now > z) out.Feed({at.x, at.y, z}, FeedAt((now + z) / 2));
  }
  double FeedAt(double z) const {
    if (z > 0) return feed;  // above the material
    if (z > startBelow) return startFeed;
    if (z < endAbove) return endFeed;
    return feed;
  }
};

// A number as the notes write it: the shortest text that reads back as it.
std::string Plain(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ec == std::errc() ? result.ptr : buffer);
}

// An angle in degrees, to a hundredth.
std::string Degrees(double radians) { return Plain(std::round(radians * 180 / kPi * 100) / 100) + " degrees"; }

// A cone bottom of another angle than the drill's point is not made: the workingstep says so.
void ConeNote(StepJob& job, const ToolEnd& tool) {
  const double cone = PlaneAngle(job.featureModel->hole->bottom.tipAngle);
  if (std::fabs(cone - tool.pointAngle) <= 0.5 * kPi / 180) return;
  std::string point = "the drill's point of " + Degrees(tool.pointAngle);
  if (!tool.pointGiven)
    point += job.tool.tipHalfAngle != 0
                 ? " (taken as usual: the tool's tip half angle " + Plain(job.tool.tipHalfAngle) + " is none a drill has)"
                 : " (taken as usual: the tool gives none)";
  job.notes.push_back("its conical bottom of " + Degrees(cone) + " is not " + point +
                      ": the bottom is left as the point makes it");
}

bool Drill(StepJob& job) {
  const ModelOperation& o = *job.operationModel;
  const ToolEnd tool = ToolEndOf(job);
  Hole hole;
  if (!ShapeHole(job, tool, 0, 0, hole)) return false;
  const bool sink = o.counterSinking;
  const double narrowest = std::min(hole.radius, hole.bottomRadius);
  if (!sink && tool.radius > narrowest + 1e-9)
    return Reason(job, "the tool (diameter " + Millimetres(2 * tool.radius) + ") is wider than the hole");
  double target = 0;
  if (sink) {
    // A countersink's cone makes the hole's top diameter where the cone is that wide.
    if (!(tool.halfAngle > 0)) return Reason(job, "the countersink's tip angle is not given");
    target = std::max(-hole.radius / std::tan(tool.halfAngle), hole.floor(0));
  } else if (job.featureModel->hole->bottom.kind == HoleFeature::Bottom::Conical && tool.pointAngle > 0) {
    // The cone a drill leaves is its point, whatever angle the file gives the bottom: going
    // down to the file's cone would take a blunter point's full diameter below the depth plane.
    target = hole.depth - tool.PointLength();
    ConeNote(job, tool);
  } else {
    target = Drop(hole.floor, tool, 0, hole.breaks);
    // A point cannot make a flat bottom: it stops on the bottom and leaves its cone standing
    // round the wall, which the workingstep says (a flat end mill or a boring tool makes it).
    const HoleFeature::Bottom::Kind bottom = job.featureModel->hole->bottom.kind;
    if (!hole.through && tool.pointAngle > 0 &&
        (bottom == HoleFeature::Bottom::Flat || bottom == HoleFeature::Bottom::FlatWithRadius) &&
        tool.PointLength() > 1e-6)
      job.notes.push_back("its flat bottom is left as the drill's point of " + Degrees(tool.pointAngle) +
                          " makes it: a cone " + Plain(std::round(tool.PointLength() * 1000) / 1000) +
                          " mm high at the wall");
  }
  // Below the depth plane a blind hole is as wide as its bottom, never as the tool: a tool
  // narrower than the hole would otherwise follow a cone or a sphere down past it.
  if (!sink && !hole.through) target = std::max(target, hole.depth - tool.PointLength());
  const double given = o.cuttingDepth;
  if (given > 0) target = std::max(target, -given);  // never deeper than the bottom allows
  if (!(target < -1e-9)) return Reason(job, "the hole leaves the tool no depth to drill");

  Downfeed down{job.feed, job.feed, job.feed, 0, target};
  // The reduced cut (a spindle speed) has no place in the moves; the reduced feed has. Without
  // a strategy its values are unset.
  const ModelStrategy& s = o.strategy;
  if (s.reducedFeedAtStart > 0 && s.depthOfStart > 0)
    down.startFeed = job.feed * s.reducedFeedAtStart, down.startBelow = std::max(-s.depthOfStart, target);
  if (s.reducedFeedAtEnd > 0 && s.depthOfEnd > 0)
    down.endFeed = job.feed * s.reducedFeedAtEnd, down.endAbove = std::min(target + s.depthOfEnd, 0.0);
  MoveWriter out(job.moves, {0, 0, job.clearZ});
  out.Rapid({0, 0, job.clearZ});
  if (o.multistepDrilling) {
    const double first = o.firstDepth, step = o.depthOfStep, back = o.retractDistance, dwell = o.dwellTimeStep;
    if (!(first > 0) || !(step > 0) || !(back > 0))
      return Reason(job, "the multistep drilling's first depth, depth of step or retract distance is unset or not positive");
    double z = std::max(-first, target);
    while (true) {
      down.To(out, z);
      if (z <= target + 1e-12) break;
      if (dwell > 0) out.Dwell(dwell);
      // Back up by the retract distance to break the chip, and down again inside what is cut.
      out.Rapid({0, 0, std::min(z + back, job.clearZ)});
      out.Rapid({0, 0, z + std::min(back, kPeckClearance)});
      z = std::max(z - step, target);
    }
  } else {
    down.To(out, target);
  }
  if (o.dwellTimeBottom > 0) out.Dwell(o.dwellTimeBottom);
  const double ratio = o.feedOnRetract;
  // Reamers, boring bars and taps finish the wall on the way out as on the way in: they feed.
  const bool feedsOut = o.boring || o.tapping || o.threadDrilling;
  if (ratio > 0)
    out.Feed({0, 0, job.clearZ}, job.feed * ratio);
  else if (feedsOut)
    out.Feed({0, 0, job.clearZ}, job.feed);
  else
    out.Rapid({0, 0, job.clearZ});
  return true;
}

// Which way the circles run. Climb milling (the cutter's right-hand turn taken with the feed)
// keeps the material on the right of the travel: counter-clockwise inside a hole.
bool Clockwise(StepJob& job, bool materialOutside) {
  std::string mode;
  const bool climb = Climb(job, &mode);
  const ModelStrategy& s = job.operationModel->strategy;
  if (mode.empty() && !s.type.empty()) {
    // Without a cut mode the strategy may still say which way its passes turn.
    const std::string turn = Lower(s.rotationDirection);
    if (turn == "cw" || turn == "ccw") return turn == "cw";
  }
  return materialOutside ? !climb : climb;
}

bool MillHole(StepJob& job) {
  const ModelOperation& o = *job.operationModel;
  const ToolEnd tool = ToolEndOf(job);
  double side = o.allowanceSide, bottomAllow = o.allowanceBottom;
  if (!(side > 0)) side = 0;
  if (!(bottomAllow > 0)) bottomAllow = 0;
  Hole hole;
  if (!ShapeHole(job, tool, side, bottomAllow, hole)) return false;
  if (tool.radius > std::min(hole.radius, hole.bottomRadius) + 1e-9)
    return Reason(job, "the tool (diameter " + Millimetres(2 * tool.radius) + ") is wider than the hole less its allowance");
  const double bottom = Drop(hole.floor, tool, 0, hole.breaks);
  if (!(bottom < -1e-9)) return Reason(job, "the hole leaves the tool no depth to mill");
  const double axial = o.axialCuttingDepth;
  double radial = o.radialCuttingDepth;
  // Without a radial depth the circles step by the tool's radius; never by more than its
  // diameter, which would leave rings standing.
  if (!(radial > 0)) radial = tool.radius;
  radial = std::min(radial, 2 * tool.radius);
  const bool clockwise = Clockwise(job, true);
  MoveWriter out(job.moves, {0, 0, job.clearZ});
  out.Rapid({0, 0, job.clearZ});
  double top = 0;
  for (double z : Levels(bottom, axial)) {
    // The widest circle at this level: inside the narrowest wall above it, and where the tool's
    // end stays above the bottom.
    double lo = 0, hi = std::max(0.0, hole.Narrowest(z) - tool.radius);
    if (Drop(hole.floor, tool, hi, hole.breaks) > z + 1e-9) {
      for (int i = 0; i < 60; ++i) {
        const double m = (lo + hi) / 2;
        (Drop(hole.floor, tool, m, hole.breaks) <= z + 1e-9 ? lo : hi) = m;
      }
      hi = lo;
    }
    Plunge way = job.approach;
    if (way.kind != Plunge::Axis) {
      // Every way in at an angle becomes a helix about the axis, as wide as the level allows.
      way.kind = Plunge::Helix;
      way.radius = way.radius > 0 ? std::min(way.radius, hi) : hi;
      if (!(way.radius > 1e-6)) way.kind = Plunge::Axis;
    }
    Enter(out, {0, 0, z}, top, job.clearZ, way, {1, 0}, hi, job.feed);
    for (double rho : Spaced(0, hi, radial)) {
      if (rho <= 1e-9) continue;
      out.Feed({rho, 0, z}, job.feed);
      out.Arc({-rho, 0, z}, {0, 0, z}, {0, 0, 1}, clockwise, job.feed);
      out.Arc({rho, 0, z}, {0, 0, z}, {0, 0, 1}, clockwise, job.feed);
    }
    if (hi > 1e-9) out.Feed({0, 0, z}, job.feed);
    // Straight up out of a hole: a ramp would run into its wall.
    Leave(out, job.clearZ, Plunge{}, {1, 0}, job.feed);
    top = z;
  }
  return true;
}

}  // namespace

bool GenerateHole(StepJob& job) {
  if (job.operationModel->drilling) return Drill(job);
  return MillHole(job);
}

}  // namespace varnholt::machining_detail

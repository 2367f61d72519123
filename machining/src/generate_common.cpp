// What the generators share: plane contours sampled, and the ways into and out of the material.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "generate.h"

namespace varnholt::machining_detail {

namespace {

constexpr long kMaxTurns = 10000;

Vec3 Lift(const Vec2& p, double z) { return {p.x, p.y, z}; }

}  // namespace

}  // namespace varnholt::machining_detail

namespace varnholt {

std::vector<Vec2> SampleContour(const Contour2& contour, double tolerance) {
  std::vector<Vec2> points{contour.start};
  Vec2 at = contour.start;
  for (const Segment2& s : contour.segments) {
    if (s.arc) {
      const double radius = Distance(at, s.center);
      double a0 = std::atan2(at.y - s.center.y, at.x - s.center.x);
      double a1 = std::atan2(s.to.y - s.center.y, s.to.x - s.center.x);
      double sweep = a1 - a0;
      if (s.clockwise) {
        if (sweep >= -1e-12) sweep -= 2 * kPi;
      } else if (sweep <= 1e-12) {
        sweep += 2 * kPi;
      }
      const double tol = std::max(tolerance, radius * 1e-9);
      const double step = tol >= radius ? kPi / 2 : 2 * std::acos(1 - tol / radius);
      const long count = std::clamp(static_cast<long>(std::ceil(std::fabs(sweep) / std::max(step, 1e-9))), 1L, 100000L);
      for (long k = 1; k < count; ++k) {
        const double phi = a0 + sweep * k / count;
        points.push_back({s.center.x + radius * std::cos(phi), s.center.y + radius * std::sin(phi)});
      }
    }
    points.push_back(s.to);
    at = s.to;
  }
  return points;
}

}  // namespace varnholt

namespace varnholt::machining_detail {

std::string Millimetres(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ec == std::errc() ? result.ptr : buffer) + " mm";
}

Contour2 Placed(const Contour2& c, const Frame2& f) {
  Contour2 out;
  out.closed = c.closed;
  out.start = f.Apply(c.start);
  for (Segment2 s : c.segments) {
    s.to = f.Apply(s.to);
    s.center = f.Apply(s.center);
    if (f.mirrored) s.clockwise = !s.clockwise;
    out.segments.push_back(s);
  }
  return out;
}

void Enter(MoveWriter& out, const Vec3& target, double topZ, double clearZ, const Plunge& approach,
           const Vec2& direction, double reach, double feed) {
  const Vec3 above{target.x, target.y, clearZ};
  const Vec3& at = out.At();
  if (std::fabs(at.x - above.x) > 1e-12 || std::fabs(at.y - above.y) > 1e-12 || std::fabs(at.z - above.z) > 1e-12)
    out.Rapid(above);
  // Down to where the material begins along the axis; only below it does the strategy matter.
  const double start = std::clamp(topZ, target.z, clearZ);
  if (start < clearZ) out.Feed({target.x, target.y, start}, feed);
  const double drop = start - target.z;
  const double slope = std::tan(approach.angle);
  const double length = std::hypot(direction.x, direction.y);
  const Vec2 d = length > 0 ? Vec2{direction.x / length, direction.y / length} : Vec2{1, 0};
  if (drop > 0 && slope > 0 && approach.kind == Plunge::Helix && approach.radius > 0) {
    // Turns about the target at the strategy's radius, in half turns (arcs a controller reads
    // without ambiguity), then in to the target.
    const double r = approach.radius;
    const long halves = std::min<long>(2 * kMaxTurns, std::max(1L, static_cast<long>(std::ceil(drop / (kPi * r * slope)))));
    const double fall = drop / static_cast<double>(halves);
    const Vec2 side{target.x + d.x * r, target.y + d.y * r};
    out.Feed({side.x, side.y, start}, feed);
    double z = start;
    for (long k = 0; k < halves; ++k) {
      const double sign = k % 2 == 0 ? -1 : 1;
      const Vec3 centre{target.x, target.y, z};
      z -= fall;
      out.Arc({target.x + sign * d.x * r, target.y + sign * d.y * r, z}, centre, {0, 0, 1}, false, feed);
    }
    out.Feed(target, feed);
    return;
  }
  const bool sloped = approach.kind == Plunge::Ramp || approach.kind == Plunge::Zigzag;
  double run = approach.kind == Plunge::Zigzag && approach.width > 0 ? std::min(approach.width, reach) : reach;
  if (drop > 0 && slope > 0 && sloped && run > 0) {
    // Down and back along the line of the first cut, an even number of legs so that the last
    // ends at the target; no leg steeper than the slope, none longer than the room there is.
    run = std::min(run, drop / slope);
    long legs = std::min<long>(2 * kMaxTurns, static_cast<long>(std::ceil(drop / (run * slope) - 1e-9)));
    legs += legs % 2;
    legs = std::max(legs, 2L);
    const double fall = drop / static_cast<double>(legs), leg = fall / slope;
    double z = start;
    for (long k = 0; k < legs; ++k) {
      z -= fall;
      const double along = k % 2 == 0 ? leg : 0;
      out.Feed({target.x + d.x * along, target.y + d.y * along, k + 1 == legs ? target.z : z}, feed);
    }
    return;
  }
  const Vec3& now = out.At();
  if (now.x != target.x || now.y != target.y || now.z != target.z) out.Feed(target, feed);
}

void Leave(MoveWriter& out, double clearZ, const Plunge& retract, const Vec2& direction, double feed) {
  const Vec3 at = out.At();
  if (at.z >= clearZ) return;
  if (retract.kind == Plunge::Ramp && std::tan(retract.angle) > 0) {
    const double length = std::hypot(direction.x, direction.y);
    if (length > 0) {
      // Up a ramp onwards along the direction, never farther than it takes to climb.
      const double run = std::min((clearZ - at.z) / std::tan(retract.angle), 1e6);
      out.Feed({at.x + direction.x / length * run, at.y + direction.y / length * run, clearZ}, feed);
      return;
    }
  }
  out.Rapid(Lift({at.x, at.y}, clearZ));
}

}  // namespace varnholt::machining_detail

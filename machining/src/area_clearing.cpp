// Plane regions for clearing areas, offset and clipped by Clipper (in integer nanometres) or,
// for a rounded rectangle without islands, exactly.
#include "area_clearing.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace varnholt::machining_detail::area {
namespace {

using ClipperLib::cInt;
using ClipperLib::IntPoint;
using ClipperLib::Path;
using ClipperLib::Paths;

constexpr double kScale = 1e6;  // Clipper's units per millimetre
constexpr double kTiny = 1e-9;

IntPoint ToInt(const Vec2& p) {
  return {static_cast<cInt>(std::llround(p.x * kScale)), static_cast<cInt>(std::llround(p.y * kScale))};
}
Vec2 ToMm(const IntPoint& p) { return {static_cast<double>(p.X) / kScale, static_cast<double>(p.Y) / kScale}; }

Path ToPath(const std::vector<Vec2>& points) {
  Path path;
  path.reserve(points.size());
  for (const Vec2& p : points) {
    const IntPoint q = ToInt(p);
    if (path.empty() || path.back().X != q.X || path.back().Y != q.Y) path.push_back(q);
  }
  while (path.size() > 1 && path.front().X == path.back().X && path.front().Y == path.back().Y) path.pop_back();
  return path;
}

Path Sampled(const Contour2& loop) { return ToPath(SampleContour(loop, kChord)); }


Paths OffsetPaths(const Paths& in, double delta, ClipperLib::EndType end) {
  ClipperLib::ClipperOffset offset;
  offset.ArcTolerance = kChord * kScale;
  offset.AddPaths(in, ClipperLib::jtRound, end);
  Paths out;
  offset.Execute(out, delta * kScale);
  return out;
}

Region FromPaths(const Paths& paths) {
  Region region;
  // Slivers thinner than a chord are no place to move in.
  const double smallest = kChord * kChord * kScale * kScale;
  for (const Path& path : paths) {
    if (path.size() < 3 || std::fabs(ClipperLib::Area(path)) < smallest) continue;
    Contour2 loop;
    loop.start = ToMm(path[0]);
    for (size_t i = 1; i < path.size(); ++i) loop.segments.push_back({ToMm(path[i]), false, {}, false});
    loop.segments.push_back({loop.start, false, {}, false});
    loop.closed = true;
    region.loops.push_back(std::move(loop));
    region.hole.push_back(!ClipperLib::Orientation(path));
    region.paths.push_back(path);
  }
  return region;
}

}  // namespace

Contour2 Outline(const RoundRect& rect) {
  const double hx = rect.halfX, hy = rect.halfY, r = std::clamp(rect.radius, 0.0, std::min(hx, hy));
  const Vec2 u = rect.axis, v{-rect.axis.y, rect.axis.x};
  auto at = [&](double x, double y) {
    return Vec2{rect.center.x + u.x * x + v.x * y, rect.center.y + u.y * x + v.y * y};
  };
  Contour2 loop;
  loop.start = at(0, -hy);
  loop.closed = true;
  Vec2 last{0, -hy};
  auto line = [&](double x, double y) {
    if (std::hypot(x - last.x, y - last.y) > kTiny) loop.segments.push_back({at(x, y), false, {}, false});
    last = {x, y};
  };
  auto arc = [&](double x, double y, double cx, double cy) {
    if (r > kTiny) loop.segments.push_back({at(x, y), true, at(cx, cy), false});
    last = {x, y};
  };
  line(hx - r, -hy);
  arc(hx, -hy + r, hx - r, -hy + r);
  line(hx, hy - r);
  arc(hx - r, hy, hx - r, hy - r);
  line(-hx + r, hy);
  arc(-hx, hy - r, -hx + r, hy - r);
  line(-hx, -hy + r);
  arc(-hx + r, -hy, -hx + r, -hy + r);
  line(0, -hy);
  if (!loop.segments.empty()) loop.segments.back().to = loop.start;
  return loop;
}

Contour2 StartingAt(const Contour2& loop, size_t index) {
  if (index == 0 || index >= loop.segments.size()) return loop;
  Contour2 out;
  out.closed = loop.closed;
  out.start = loop.segments[index - 1].to;
  out.segments.reserve(loop.segments.size());
  for (size_t k = 0; k < loop.segments.size(); ++k) out.segments.push_back(loop.segments[(index + k) % loop.segments.size()]);
  return out;
}

Region Shape::Offset(double outerDistance, double islandDistance) const {
  if (exact && islands.empty() && !walled) {
    RoundRect r = rect;
    r.halfX -= outerDistance;
    r.halfY -= outerDistance;
    r.radius = std::max(0.0, rect.radius - outerDistance);
    Region region;
    if (r.halfX <= kTiny || r.halfY <= kTiny) return region;
    region.loops.push_back(Outline(r));
    region.hole.push_back(false);
    region.paths.push_back(Sampled(region.loops.back()));
    return region;
  }
  const Paths base{exact ? Sampled(Outline(rect)) : ToPath(outer)};
  Paths inside;
  if (walled) {
    // Only the walls keep the tool away; beyond the open side it may go as far as `outer` reaches.
    const Paths band = OffsetPaths({ToPath(walls)}, outerDistance + kMargin, ClipperLib::etOpenRound);
    ClipperLib::Clipper c;
    c.AddPaths(base, ClipperLib::ptSubject, true);
    c.AddPaths(band, ClipperLib::ptClip, true);
    c.Execute(ClipperLib::ctDifference, inside, ClipperLib::pftNonZero, ClipperLib::pftNonZero);
  } else if (cornerRadius > outerDistance) {
    // Convex corners rounded by the radius: in by it and out again, then in by the distance.
    inside = OffsetPaths(OffsetPaths(base, -cornerRadius, ClipperLib::etClosedPolygon),
                         cornerRadius - outerDistance - kMargin, ClipperLib::etClosedPolygon);
  } else {
    inside = OffsetPaths(base, -outerDistance - kMargin, ClipperLib::etClosedPolygon);
  }
  if (islands.empty()) return FromPaths(inside);
  Paths isles;
  for (const std::vector<Vec2>& island : islands) isles.push_back(ToPath(island));
  isles = OffsetPaths(isles, islandDistance + kMargin, ClipperLib::etClosedPolygon);
  ClipperLib::Clipper c;
  c.AddPaths(inside, ClipperLib::ptSubject, true);
  c.AddPaths(isles, ClipperLib::ptClip, true);
  Paths out;
  c.Execute(ClipperLib::ctDifference, out, ClipperLib::pftNonZero, ClipperLib::pftNonZero);
  return FromPaths(out);
}

bool Region::Contains(const Vec2& p) const {
  const IntPoint q = ToInt(p);
  int winding = 0;
  for (size_t i = 0; i < paths.size(); ++i) {
    const int at = ClipperLib::PointInPolygon(q, paths[i]);  // 1 inside, -1 on it, 0 outside
    if (hole[i] ? at == 1 : at != 0) winding += hole[i] ? -1 : 1;
  }
  return winding > 0;
}

bool Region::Holds(const Vec2& a, const Vec2& b) const {
  if (!Contains(a) || !Contains(b) || !Contains({(a.x + b.x) / 2, (a.y + b.y) / 2})) return false;
  const Vec2 ab = Sub(b, a);
  const double length = std::hypot(ab.x, ab.y);
  if (length < kTiny) return true;
  const double eps = 1e-9 * kScale * kScale;
  for (const Path& path : paths)
    for (size_t i = 0; i < path.size(); ++i) {
      const Vec2 p = ToMm(path[i]), q = ToMm(path[(i + 1) % path.size()]);
      const Vec2 pq = Sub(q, p);
      const double d1 = Cross(ab, Sub(p, a)), d2 = Cross(ab, Sub(q, a));
      const double d3 = Cross(pq, Sub(a, p)), d4 = Cross(pq, Sub(b, p));
      const double tol = eps / (kScale * kScale) * std::max(1.0, length * std::hypot(pq.x, pq.y));
      if (((d1 > tol && d2 < -tol) || (d1 < -tol && d2 > tol)) && ((d3 > tol && d4 < -tol) || (d3 < -tol && d4 > tol)))
        return false;
    }
  return true;
}

double Region::Reach(const Vec2& from, const Vec2& d) const {
  if (!Contains(from)) return 0;
  // A point on the boundary (where a ring along the walls starts) lies a rounding off the
  // polygon's edges: an edge that ends just beside the line still stops it.
  constexpr double kSlack = 1e-6;
  bool found = false;
  double best = 0;
  for (const Path& path : paths)
    for (size_t i = 0; i < path.size(); ++i) {
      const Vec2 p = ToMm(path[i]), q = ToMm(path[(i + 1) % path.size()]);
      const Vec2 e = Sub(q, p);
      const double denom = Cross(d, e);
      if (std::fabs(denom) < 1e-15) continue;
      const Vec2 w = Sub(p, from);
      const double t = Cross(w, e) / denom, u = Cross(w, d) / denom;
      const double slack = kSlack / std::max(Length(e), kSlack);
      if (t > 1e-9 && u >= -slack && u <= 1 + slack && (!found || t < best)) {
        best = t;
        found = true;
      }
    }
  // A bounded region stops every line from within it; one that seems not to lies along its
  // boundary, where there is no room to go.
  return found ? best : 0;
}

void Region::Extent(const Vec2& d, double& low, double& high) const {
  low = std::numeric_limits<double>::infinity();
  high = -low;
  for (const Path& path : paths)
    for (const IntPoint& q : path) {
      const Vec2 p = ToMm(q);
      const double t = p.x * d.x + p.y * d.y;
      low = std::min(low, t);
      high = std::max(high, t);
    }
}

double Region::Area() const {
  double sum = 0;
  for (const Path& path : paths) sum += ClipperLib::Area(path);
  return sum / (kScale * kScale);
}

std::vector<std::vector<std::pair<Vec2, Vec2>>> ClipLines(const Region& region,
                                                          const std::vector<std::pair<Vec2, Vec2>>& lines) {
  std::vector<std::vector<std::pair<Vec2, Vec2>>> out(lines.size());
  if (lines.empty() || region.Empty()) return out;
  ClipperLib::Clipper c;
  for (const auto& line : lines) c.AddPath({ToInt(line.first), ToInt(line.second)}, ClipperLib::ptSubject, false);
  c.AddPaths(region.paths, ClipperLib::ptClip, true);
  ClipperLib::PolyTree tree;
  c.Execute(ClipperLib::ctIntersection, tree, ClipperLib::pftNonZero, ClipperLib::pftNonZero);
  Paths pieces;
  ClipperLib::OpenPathsFromPolyTree(tree, pieces);
  // The lines are parallel: a piece belongs to the line nearest across them.
  const Vec2 along = Sub(lines[0].second, lines[0].first);
  const double length = std::hypot(along.x, along.y);
  if (length < kTiny) return out;
  const Vec2 u{along.x / length, along.y / length}, n{-u.y, u.x};
  std::vector<std::pair<double, size_t>> across;
  for (size_t i = 0; i < lines.size(); ++i)
    across.push_back({n.x * lines[i].first.x + n.y * lines[i].first.y, i});
  std::sort(across.begin(), across.end());
  for (const Path& piece : pieces) {
    if (piece.size() < 2) continue;
    Vec2 a = ToMm(piece.front()), b = ToMm(piece.back());
    const double v = n.x * (a.x + b.x) / 2 + n.y * (a.y + b.y) / 2;
    auto it = std::lower_bound(across.begin(), across.end(), std::make_pair(v, size_t{0}));
    size_t best = it == across.end() ? across.back().second : it->second;
    if (it != across.begin() && (it == across.end() || std::fabs(std::prev(it)->first - v) < std::fabs(it->first - v)))
      best = std::prev(it)->second;
    const Vec2 origin = lines[best].first;
    // Back on the exact line: Clipper rounds its points to whole units.
    const double ta = (a.x - origin.x) * u.x + (a.y - origin.y) * u.y, tb = (b.x - origin.x) * u.x + (b.y - origin.y) * u.y;
    // A little short of the boundary at both ends, for the same rounding.
    const double t0 = std::min(ta, tb) + 2 / kScale, t1 = std::max(ta, tb) - 2 / kScale;
    if (t1 - t0 < kChord) continue;
    a = {origin.x + u.x * t0, origin.y + u.y * t0};
    b = {origin.x + u.x * t1, origin.y + u.y * t1};
    out[best].push_back({a, b});
  }
  for (auto& line : out)
    std::sort(line.begin(), line.end(), [&](const auto& p, const auto& q) {
      return (p.first.x - q.first.x) * u.x + (p.first.y - q.first.y) * u.y < 0;
    });
  return out;
}

}  // namespace varnholt::machining_detail::area

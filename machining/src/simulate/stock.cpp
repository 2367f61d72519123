// The tri-dexel stock and the tool's shape.
#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

#include "../generate_section.h"
#include "run.h"
#include "stock.h"


namespace varnholt::simulate_detail {

// ---- one grid of rays ----


void DexelGrid::Init(int axisIndex, const double corner[3], double spacing, int count1, int count2) {
  axis = axisIndex;
  for (int k = 0; k < 3; ++k) low[k] = corner[k];
  h = spacing;
  n1 = count1;
  n2 = count2;
  tiles1_ = static_cast<size_t>((n1 + 7) / 8);
  rays_.assign(tiles1_ * static_cast<size_t>((n2 + 7) / 8) * 64, Ray{});
  pool_.clear();
  free_.clear();
  // Room for a list on a quarter of the rays, reserved and not yet touched: growing the pool
  // move by move copied it over and over into fresh pages.
  pool_.reserve(rays_.size() / 4);
}

void DexelGrid::Store(size_t ray, std::vector<Interval>& list) {
  Ray& r = rays_[ray];
  const int32_t old = Coded(r) ? CodeOf(r) : kSingle;
  if (list.size() <= 2) {
    if (old >= 0) {
      pool_[static_cast<size_t>(old)].clear();
      free_.push_back(old);
    }
    if (list.empty()) {
      SetCode(r, kEmpty);
    } else if (list.size() == 1) {
      r.in[0] = list[0];
      SetCode(r, kSingle);
    } else {
      r.in[0] = list[0];
      r.in[1] = list[1];
    }
    return;
  }
  int32_t code = old;
  if (code < 0) {
    if (!free_.empty()) {
      code = free_.back();
      free_.pop_back();
    } else {
      code = static_cast<int32_t>(pool_.size());
      pool_.emplace_back();
    }
  }
  pool_[static_cast<size_t>(code)].assign(list.begin(), list.end());
  SetCode(r, code);
}

void DexelGrid::Set(size_t ray, const Interval& single) {
  Ray& r = rays_[ray];
  const int32_t old = Coded(r) ? CodeOf(r) : kSingle;
  if (old >= 0) {
    pool_[static_cast<size_t>(old)].clear();
    free_.push_back(old);
  }
  r.in[0] = single;
  SetCode(r, single.hi > single.lo ? kSingle : kEmpty);
}

void DexelGrid::Get(size_t ray, std::vector<Interval>& out) const {
  size_t count = 0;
  const Interval* in = Begin(ray, count);
  out.assign(in, in + count);
}

double DexelGrid::Length(size_t ray) const {
  size_t count = 0;
  const Interval* in = Begin(ray, count);
  double sum = 0;
  for (size_t k = 0; k < count; ++k) sum += static_cast<double>(in[k].hi) - static_cast<double>(in[k].lo);
  return sum;
}

double DexelGrid::Volume() const {
  double sum = 0;
  for (size_t r = 0; r < rays_.size(); ++r) sum += Length(r);
  return sum * h * h;
}

size_t DexelGrid::Bytes() const {
  size_t bytes = rays_.capacity() * sizeof(Ray);
  for (const auto& list : pool_) bytes += sizeof(list) + list.capacity() * sizeof(Interval);
  return bytes;
}

// ---- the stock ----

bool RayInStock(const ModelStock& stock, const Vec3& p, const Vec3& d, double& lo, double& hi) {
  const Placement& at = stock.position;
  Vec3 axis[3];
  for (int k = 0; k < 3; ++k) {
    // Asked for every ray of a feature's box: a unit axis (as nearly all are) is taken as it is.
    const Vec3& v = at.axis[k];
    axis[k] = v.x * v.x + v.y * v.y + v.z * v.z == 1 ? v : Normalized(v);
  }
  const Vec3 rel = Sub(p, at.origin);
  const Vec3 lp{Dot(rel, axis[0]), Dot(rel, axis[1]), Dot(rel, axis[2])};
  const Vec3 ld{Dot(d, axis[0]), Dot(d, axis[1]), Dot(d, axis[2])};
  lo = -std::numeric_limits<double>::infinity();
  hi = std::numeric_limits<double>::infinity();
  auto slab = [&](double p0, double d0, double a, double b) {
    if (std::fabs(d0) < 1e-15) return p0 >= a && p0 <= b;
    double s0 = (a - p0) / d0, s1 = (b - p0) / d0;
    if (s0 > s1) std::swap(s0, s1);
    lo = std::max(lo, s0);
    hi = std::min(hi, s1);
    return lo < hi;
  };
  if (stock.kind == ModelStock::Block)
    return slab(lp.x, ld.x, 0, stock.x) && slab(lp.y, ld.y, 0, stock.y) && slab(lp.z, ld.z, 0, stock.z);
  // A cylinder about the position's z axis, of radius x and height z.
  if (!slab(lp.z, ld.z, 0, stock.z)) return false;
  const double a = ld.x * ld.x + ld.y * ld.y, b = 2 * (lp.x * ld.x + lp.y * ld.y),
               c = lp.x * lp.x + lp.y * lp.y - stock.x * stock.x;
  if (a < 1e-15) return c <= 0;
  const double disc = b * b - 4 * a * c;
  if (disc <= 0) return false;
  const double root = std::sqrt(disc);
  lo = std::max(lo, (-b - root) / (2 * a));
  hi = std::min(hi, (-b + root) / (2 * a));
  return lo < hi;
}

bool Stock::Bounds(const ModelStock& stock, Box& out, std::string& why) {
  out = Box{};
  if (!stock.reason.empty()) {
    why = "its stock " + stock.name + " cannot be read: " + stock.reason;
    return false;
  }
  if (stock.kind == ModelStock::None) {
    why = "its workpiece gives no stock";
    return false;
  }
  if (stock.kind == ModelStock::Other) {
    why = "its stock " + stock.name + " is a " + stock.type + ", a shape the simulation does not read (only block and "
          "right_circular_cylinder)";
    return false;
  }
  const bool block = stock.kind == ModelStock::Block;
  if (!(stock.x > 0 && stock.z > 0 && (!block || stock.y > 0)) || !std::isfinite(stock.x) || !std::isfinite(stock.y) ||
      !std::isfinite(stock.z) || !Finite(stock.position.origin)) {
    why = "its stock " + stock.name + " has no size";
    return false;
  }
  const Placement& at = stock.position;
  Vec3 axis[3];
  for (int k = 0; k < 3; ++k) {
    // Asked for every ray of a feature's box: a unit axis (as nearly all are) is taken as it is.
    const Vec3& v = at.axis[k];
    axis[k] = v.x * v.x + v.y * v.y + v.z * v.z == 1 ? v : Normalized(v);
  }
  if (block) {
    for (int c = 0; c < 8; ++c)
      out.Add(Add(at.origin, Add(Add(Mul(axis[0], (c & 1) ? stock.x : 0), Mul(axis[1], (c & 2) ? stock.y : 0)),
                                 Mul(axis[2], (c & 4) ? stock.z : 0))));
  } else {
    const Vec3 top = Add(at.origin, Mul(axis[2], stock.z));
    const double r = stock.x;
    const double e[3] = {r * std::sqrt(std::max(0.0, 1 - axis[2].x * axis[2].x)),
                         r * std::sqrt(std::max(0.0, 1 - axis[2].y * axis[2].y)),
                         r * std::sqrt(std::max(0.0, 1 - axis[2].z * axis[2].z))};
    for (const Vec3& c : {at.origin, top})
      for (int s : {-1, 1}) out.Add({c.x + s * e[0], c.y + s * e[1], c.z + s * e[2]});
  }
  return true;
}

double Stock::EstimateBytes(const Box& box, double h) {
  const double n[3] = {std::ceil((box.high.x - box.low.x) / h), std::ceil((box.high.y - box.low.y) / h),
                       std::ceil((box.high.z - box.low.z) / h)};
  const double rays = n[0] * n[1] + n[1] * n[2] + n[2] * n[0];
  // 16 bytes a ray, a quarter again for the rays a program splits into more than two
  // intervals, and the 8 bytes a ray of what the gouge check found clear.
  return rays * (16 * 1.25 + 8);
}

bool Stock::Init(const ModelStock& stock, double spacing, std::string& why) {
  if (!Bounds(stock, box, why)) return false;
  shape = stock;
  h = spacing;
  const double low[3] = {box.low.x, box.low.y, box.low.z};
  const double high[3] = {box.high.x, box.high.y, box.high.z};
  int n[3];
  for (int k = 0; k < 3; ++k) n[k] = std::max(1, static_cast<int>(std::ceil((high[k] - low[k]) / h - 1e-9)));
  const Placement& at = stock.position;
  initial = 0;
  square = stock.kind == ModelStock::Block && at.axis[0].x == 1 && at.axis[0].y == 0 && at.axis[0].z == 0 &&
                      at.axis[1].x == 0 && at.axis[1].y == 1 && at.axis[1].z == 0 && at.axis[2].x == 0 &&
                      at.axis[2].y == 0 && at.axis[2].z == 1;
  for (int a = 0; a < 3; ++a) {
    DexelGrid& g = grid[a];
    const int c1 = (a + 1) % 3, c2 = (a + 2) % 3;
    g.Init(a, low, h, n[c1], n[c2]);
    Vec3 d{};
    (a == 0 ? d.x : a == 1 ? d.y : d.z) = 1;
    if (square) {
      // A block along the workpiece's axes: every ray runs through it from face to face.
      const Interval whole{static_cast<float>(low[a]), static_cast<float>(high[a])};
      for (int j = 0; j < g.n2; ++j)
        for (int i = 0; i < g.n1; ++i) g.Set(g.Index(i, j), whole);
      initial += static_cast<double>(g.n1) * g.n2 * (static_cast<double>(whole.hi) - whole.lo) * h * h / 3;
      continue;
    }
    for (int j = 0; j < g.n2; ++j)
      for (int i = 0; i < g.n1; ++i) {
        double p[3] = {0, 0, 0};
        p[c1] = g.C1(i);
        p[c2] = g.C2(j);
        double lo = 0, hi = 0;
        if (RayInStock(stock, {p[0], p[1], p[2]}, d, lo, hi))
          g.Set(g.Index(i, j), {static_cast<float>(lo), static_cast<float>(hi)});
      }
  }
  if (!square) initial = Volume();
  return true;
}

bool Stock::RayIn(const double p[3], int axis, double& lo, double& hi) const {
  if (square) {
    const double low[3] = {box.low.x, box.low.y, box.low.z}, high[3] = {box.high.x, box.high.y, box.high.z};
    for (int k = 0; k < 3; ++k)
      if (k != axis && !(p[k] >= low[k] && p[k] <= high[k])) return false;
    lo = low[axis];
    hi = high[axis];
    return lo < hi;
  }
  Vec3 d{};
  (axis == 0 ? d.x : axis == 1 ? d.y : d.z) = 1;
  return RayInStock(shape, {p[0], p[1], p[2]}, d, lo, hi);
}

// The three grids at once: each a walk over tens of megabytes.
double Stock::Volume() const {
  double v[3] = {0, 0, 0};
  std::thread others = TryThread([this, &v] { v[1] = grid[1].Volume(), v[2] = grid[2].Volume(); });
  if (!others.joinable()) v[1] = grid[1].Volume(), v[2] = grid[2].Volume();
  v[0] = grid[0].Volume();
  if (others.joinable()) others.join();
  return (v[0] + v[1] + v[2]) / 3;
}

// ---- the tool ----

// The same end as the hole generator's: a point, a corner radius or flat.
double ToolShape::Lift(double r) const { return machining_detail::EndLift(radius, corner, halfAngle, r); }

double ToolShape::RadiusAt(double z) const {
  if (z < 0) return -1;
  if (halfAngle > 0) return std::min(radius, z * std::tan(halfAngle));
  if (corner <= 0 || z >= corner) return radius;
  const double d = corner - z;
  return radius - corner + std::sqrt(std::max(0.0, corner * corner - d * d));
}

bool ToolShapeOf(const ModelTool& tool, ToolShape& shape, std::string& why) {
  if (!(tool.diameter > 0) || !std::isfinite(tool.diameter)) {
    why = "its tool " + tool.name + " has no diameter";
    return false;
  }
  shape = ToolShape{};
  shape.radius = tool.diameter / 2;
  shape.corner = std::clamp(tool.hasCornerRadius ? tool.cornerRadius : 0.0, 0.0, shape.radius);
  if (tool.ballEnd && shape.corner <= 0) shape.corner = shape.radius;
  // The point as the hole generator reads it, so that a drill reaches the depth it was sent to.
  if (tool.drilling && tool.drill) {
    bool given = false;
    const double point = machining_detail::DrillPointAngle(tool.tipHalfAngle, given);
    shape.halfAngle = point < kPi - 1e-9 ? point / 2 : 0;
    shape.corner = 0;
  } else if (tool.drilling) {
    const double half = machining_detail::PlaneAngle(tool.tipHalfAngle);
    if (tool.pointed && half > 1e-3 && half < kPi / 2 - 1e-3) {
      shape.halfAngle = half;
      shape.corner = 0;
    }
  }
  // A tool that gives no cutting length cuts over all of it; one without an overall length
  // has a shank reaching far up, where any holder would be.
  constexpr double kFar = 1e6;
  const bool cutGiven = std::isfinite(tool.cuttingEdgeLength) && tool.cuttingEdgeLength > 0;
  const bool allGiven = std::isfinite(tool.overallLength) && tool.overallLength > 0;
  shape.cutting = cutGiven ? tool.cuttingEdgeLength : allGiven ? tool.overallLength : kFar;
  shape.top = allGiven && tool.overallLength > shape.cutting ? tool.overallLength : cutGiven ? kFar : shape.cutting;
  return true;
}

}  // namespace varnholt::simulate_detail

// The pieces of the material-removal simulation: the tri-dexel stock, the tool as a solid of
// revolution and the swept solid of one move, intersected with a ray.
#ifndef VARNHOLT_SIMULATE_STOCK_H
#define VARNHOLT_SIMULATE_STOCK_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "varnholt/geometry.h"
#include "varnholt/model.h"

namespace varnholt::simulate_detail {

struct Interval {
  float lo, hi;
};

/// The rays along one workpiece axis: rays along `axis` at the centres of the cells of the
/// other two axes (`first` = axis+1, `second` = axis+2, cyclic), each a sorted list of
/// disjoint material intervals. Rays of one or two intervals hold them inline; the others hold
/// an index into a pool of lists.
// Each on cache lines of its own: the rays along the tool's axis and those across it are swept
// on two threads at once, and what a sweep writes into one grid (its scratch list) must not
// share a line with what the other thread reads of the next.
class alignas(64) DexelGrid {
 public:
  int axis = 2;
  double low[3] = {0, 0, 0};  // the grid's corner in the workpiece's system
  double h = 0.1;
  int n1 = 0, n2 = 0;  // cells along axis+1 and axis+2

  void Init(int axisIndex, const double corner[3], double spacing, int count1, int count2);
  /// As many as the tiles hold: those beyond n1 or n2 stay empty.
  size_t Rays() const { return rays_.size(); }
  /// The rays lie in memory in tiles of 8 x 8, row by row within a tile and tile by tile along
  /// axis+1: a tool's footprint then lies in a few pieces of memory whichever way it moves,
  /// where rows laid end to end put each of its rows a row's length apart.
  size_t Index(int i, int j) const {
    return ((static_cast<size_t>(j >> 3) * tiles1_ + static_cast<size_t>(i >> 3)) << 6) |
           (static_cast<size_t>(j & 7) << 3) | static_cast<size_t>(i & 7);
  }
  int I(size_t ray) const { return static_cast<int>((((ray >> 6) % tiles1_) << 3) | (ray & 7)); }
  int J(size_t ray) const { return static_cast<int>((((ray >> 6) / tiles1_) << 3) | ((ray >> 3) & 7)); }
  /// The centre of cell i along axis+1 and j along axis+2.
  double C1(int i) const { return low[(axis + 1) % 3] + (i + 0.5) * h; }
  double C2(int j) const { return low[(axis + 2) % 3] + (j + 0.5) * h; }
  /// The material intervals of a ray, in order.
  void Get(size_t ray, std::vector<Interval>& out) const;
  /// The first of a ray's `count` intervals (in the sweeps' inner loops: inline).
  const Interval* Begin(size_t ray, size_t& count) const {
    const Ray& r = rays_[ray];
    if (!Coded(r)) {
      count = 2;
      return r.in;
    }
    const int32_t code = CodeOf(r);
    if (code < 0) {
      count = code == kSingle ? 1 : 0;
      return r.in;
    }
    const std::vector<Interval>& list = pool_[static_cast<size_t>(code)];
    count = list.size();
    return list.data();
  }
  void Set(size_t ray, const Interval& single);
  /// Asks for the row of a tile that holds `ray` (8 rays, two cache lines) ahead of its use.
  void Prefetch(size_t ray) const {
    const Ray* r = &rays_[ray & ~size_t{7}];
    __builtin_prefetch(r);
    __builtin_prefetch(r + 4);
  }
  bool Empty(size_t ray) const { return Coded(rays_[ray]) && CodeOf(rays_[ray]) == kEmpty; }
  /// Takes [lo, hi] away; calls `removed(lo, hi)` for every piece of material taken.
  template <class F>
  double Subtract(size_t ray, double lo, double hi, F&& removed);
  /// The total length of material.
  double Length(size_t ray) const;
  double Volume() const;
  size_t Bytes() const;

 private:
  // A ray of one or two intervals holds them itself: most rays across a pocket's walls have
  // two, and a list kept apart costs two more reads from memory at every visit. Otherwise the
  // second interval's place holds a code: its low end a NaN of our own, its high end's bits
  // kEmpty, kSingle, or an index into pool_.
  struct Ray {
    Interval in[2];
    Ray() { SetCode(*this, kEmpty); }
  };
  static constexpr int32_t kEmpty = -2, kSingle = -1;
  static constexpr uint32_t kCodedBits = 0x7fc0c0deu;
  static bool Coded(const Ray& r) {
    uint32_t bits;
    std::memcpy(&bits, &r.in[1].lo, sizeof bits);
    return bits == kCodedBits;
  }
  static int32_t CodeOf(const Ray& r) {
    int32_t code;
    std::memcpy(&code, &r.in[1].hi, sizeof code);
    return code;
  }
  static void SetCode(Ray& r, int32_t code) {
    std::memcpy(&r.in[1].lo, &kCodedBits, sizeof kCodedBits);
    std::memcpy(&r.in[1].hi, &code, sizeof code);
  }
  void Store(size_t ray, std::vector<Interval>& list);
  std::vector<Ray> rays_;
  size_t tiles1_ = 0;  // tiles along axis+1
  std::vector<std::vector<Interval>> pool_;
  std::vector<int32_t> free_;
  std::vector<Interval> scratch_;
};

/// The parameter range of the line p + s d within the stock's solid; false when it misses.
bool RayInStock(const ModelStock& stock, const Vec3& p, const Vec3& d, double& lo, double& hi);

/// The stock as three grids of rays along the workpiece's x, y and z axes.
class Stock {
 public:
  /// The workpiece's stock at spacing `h`; false with `why` for a shape it cannot read.
  bool Init(const ModelStock& stock, double h, std::string& why);
  /// What a stock of that size at that spacing takes, bytes, without making it.
  static double EstimateBytes(const Box& box, double h);
  static bool Bounds(const ModelStock& stock, Box& box, std::string& why);
  DexelGrid grid[3];  // rays along x, y, z
  ModelStock shape;
  Box box;
  double h = 0.1;
  /// The volume, as the mean of what the three grids hold.
  double Volume() const;
  /// The stock's range along the ray through p along workpiece axis `axis`: RayInStock, at
  /// once for a block along the workpiece's axes (asked for every ray of a feature's box).
  bool RayIn(const double p[3], int axis, double& lo, double& hi) const;
  bool square = false;  // a block along the workpiece's axes
  double initial = 0;   // the volume as made
};

/// The tool as a solid of revolution about its axis, its tip at 0 and the axis pointing up:
/// the cutting part up to `cutting`, above it a shank of the tool's radius up to `top`.
struct ToolShape {
  double radius = 0;
  double corner = 0;     // a torus or ball end
  double halfAngle = 0;  // a pointed end (a drill's point), from the axis; 0 for none
  double cutting = 0, top = 0;
  /// How far above the tip the end's surface lies at distance r (at most the radius).
  double Lift(double r) const;
  /// The radius of the cutting part at height z above the tip (z from 0).
  double RadiusAt(double z) const;
};

/// The tool's shape from the model's tool; false with `why` where it has no diameter.
bool ToolShapeOf(const ModelTool& tool, ToolShape& shape, std::string& why);

/// One move in a system whose third axis is the tool's axis ("canonical"): a straight line, or
/// an arc of a helix about that axis. Parameter t runs from 0 to 1.
struct Path {
  bool arc = false;
  Vec3 a, b;                  // a line's ends
  double cu = 0, cv = 0, rho = 0, phi0 = 0, dphi = 0, w0 = 0, dw = 0;  // an arc's
  Vec3 At(double t) const;
  double W(double t) const { return arc ? w0 + dw * t : a.z + (b.z - a.z) * t; }
  bool Level() const { return arc ? dw == 0 : a.z == b.z; }
  /// The least and largest distance within the plane from (u, v) to the path over [t0, t1],
  /// and the parameter of the nearest point.
  double MinDistance(double u, double v, double t0, double t1, double* at = nullptr) const;
  /// The range of the path's coordinate `c` (0 u, 1 v) over [t0, t1].
  void Range(int c, double t0, double t1, double& lo, double& hi) const;
};

/// Splits an arc into pieces of at most a quarter turn between the axes' directions, so that
/// each piece's swept solid meets a ray across the axis in one interval.
void SplitArc(const Path& arc, std::vector<Path>& out);

/// What the tool sweeps along a path on one ray.
struct Cover {
  bool cut = false, shank = false;
  double cutLo = 0, cutHi = 0;      // the cutting part's interval along the ray
  double shankLo = 0, shankHi = 0;  // the shank's
};

/// On a ray along the tool's axis at (u, v); `tol` is how close the lowest point must be.
/// `search` finds by bisection what is otherwise worked out in closed form (for the tests).
Cover AlongAxis(const Path& path, const ToolShape& tool, double u, double v, double tol, bool search = false);
/// AlongAxis for a level straight move, set up once per move: the sweep asks it for every ray
/// under the tool, and most moves of a program are level lines.
class LevelLine {
 public:
  LevelLine(const Path& path, const ToolShape& tool) : tool_(tool) {
    ok_ = !path.arc && path.a.z == path.b.z;
    if (!ok_) return;
    ax_ = path.a.x, ay_ = path.a.y, du_ = path.b.x - ax_, dv_ = path.b.y - ay_;
    const double l2 = du_ * du_ + dv_ * dv_;
    inv_ = l2 > 0 ? 1 / l2 : 0;
    r2_ = tool.radius * tool.radius;
    w_ = path.a.z;
    flat_ = tool.corner <= 0 && tool.halfAngle <= 0;
    // Within the flat of a corner-radius end the end lies at the tip: most rays under a large
    // bull-nose cutter.
    const double flatPart = tool.halfAngle > 0 ? 0 : std::max(tool.radius - std::max(tool.corner, 0.0), 0.0);
    flat2_ = flatPart * flatPart;
  }
  bool Ok() const { return ok_; }
  Cover At(double u, double v) const {
    Cover cover;
    const double qu = u - ax_, qv = v - ay_;
    const double t = std::clamp((qu * du_ + qv * dv_) * inv_, 0.0, 1.0);
    const double eu = qu - du_ * t, ev = qv - dv_ * t, d2 = eu * eu + ev * ev;
    if (d2 > r2_) return cover;
    cover.cut = true;
    cover.cutHi = w_ + tool_.cutting;
    cover.cutLo = std::min(flat_ || d2 <= flat2_ ? w_ : w_ + tool_.Lift(std::sqrt(d2)), cover.cutHi);
    if (tool_.top > tool_.cutting) {
      cover.shank = true;
      cover.shankLo = cover.cutHi;
      cover.shankHi = w_ + tool_.top;
    }
    return cover;
  }

 private:
  const ToolShape& tool_;
  bool ok_ = false, flat_ = false;
  double ax_ = 0, ay_ = 0, du_ = 0, dv_ = 0, inv_ = 0, r2_ = 0, w_ = 0, flat2_ = 0;
};

/// On a ray across the axis: along coordinate `c` (0 u, 1 v) at `other` (the other one) and
/// height w. `search` searches over the whole move what is otherwise worked out in closed form.
/// Where the end's surface meets the side: from there up the cutting part is a cylinder.
double SideFrom(const ToolShape& tool);

Cover AcrossAxis(const Path& path, const ToolShape& tool, int c, double other, double w, double tol,
                 bool search = false);

// ---- DexelGrid::Subtract, inline for the sweep's inner loop ----

template <class F>
double DexelGrid::Subtract(size_t ray, double lo, double hi, F&& removed) {
  Ray& r = rays_[ray];
  if (!(hi > lo)) return 0;
  Interval* list = r.in;
  size_t count = 2;
  if (Coded(r)) {
    const int32_t code = CodeOf(r);
    if (code == kEmpty) return 0;
    if (code == kSingle) {
      const double a = r.in[0].lo, b = r.in[0].hi;
      if (hi <= a || lo >= b) return 0;
      const double cutLo = std::max(a, lo), cutHi = std::min(b, hi);
      removed(cutLo, cutHi);
      if (lo <= a && hi >= b) {
        SetCode(r, kEmpty);
      } else if (lo <= a) {
        r.in[0].lo = static_cast<float>(hi);
      } else if (hi >= b) {
        r.in[0].hi = static_cast<float>(lo);
      } else {
        // Split in two, both kept in the ray.
        r.in[1] = {static_cast<float>(hi), r.in[0].hi};
        r.in[0].hi = static_cast<float>(lo);
      }
      return cutHi - cutLo;
    }
    std::vector<Interval>& pooled = pool_[static_cast<size_t>(code)];
    list = pooled.data();
    count = pooled.size();
  }
  if (count == 0 || hi <= list[0].lo || lo >= list[count - 1].hi) return 0;
  {
    // Most cuts trim one end of one interval (a pass beside a wall), or take nothing from a
    // ray they come near: worked in place, without copying the list.
    size_t first = 0;
    while (first < count && list[first].hi <= lo) ++first;
    if (first == count || list[first].lo >= hi) return 0;
    Interval& in = list[first];
    const bool alone = first + 1 == count || list[first + 1].lo >= hi;
    if (alone && (lo <= in.lo) != (hi >= in.hi)) {
      const double cutLo = std::max<double>(in.lo, lo), cutHi = std::min<double>(in.hi, hi);
      removed(cutLo, cutHi);
      if (lo <= in.lo) in.lo = static_cast<float>(hi);
      else in.hi = static_cast<float>(lo);
      return cutHi - cutLo;
    }
  }
  scratch_.clear();
  double taken = 0;
  for (size_t k = 0; k < count; ++k) {
    const Interval in = list[k];
    if (in.hi <= lo || in.lo >= hi) {
      scratch_.push_back(in);
      continue;
    }
    const double cutLo = std::max<double>(in.lo, lo), cutHi = std::min<double>(in.hi, hi);
    if (cutHi > cutLo) {
      removed(cutLo, cutHi);
      taken += cutHi - cutLo;
    }
    if (in.lo < lo) scratch_.push_back({in.lo, static_cast<float>(lo)});
    if (in.hi > hi) scratch_.push_back({static_cast<float>(hi), in.hi});
  }
  if (taken > 0) Store(ray, scratch_);
  return taken;
}

}  // namespace varnholt::simulate_detail

#endif

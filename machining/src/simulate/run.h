// The run of a program on the stock: what simulate.cpp (the moves on the stock) and
// findings.cpp (gouges, material left, the features' figures) share. Internal to the simulation.
#ifndef VARNHOLT_SIMULATE_RUN_H
#define VARNHOLT_SIMULATE_RUN_H

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "stock.h"
#include "varnholt/simulate.h"

namespace varnholt::simulate_detail {

inline double Hyp(double x, double y) { return std::sqrt(x * x + y * y); }

// Runs body(k) for k in [0, n) on up to as many threads as the machine has cores, in contiguous
// runs of k: every k's work depends on k alone and is written to k's own place, so the result
// is the same whatever the number of threads.
template <class F>
void ParallelFor(size_t n, F&& body) {
  const size_t cores = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 8);
  const size_t parts = std::min(cores, n);
  if (parts <= 1) {
    for (size_t k = 0; k < n; ++k) body(k);
    return;
  }
  std::vector<std::thread> threads;
  auto run = [&](size_t part) {
    for (size_t k = n * part / parts; k < n * (part + 1) / parts; ++k) body(k);
  };
  size_t started = 1;
  // A part no thread could be started for runs here: where the system gives no more threads,
  // the work is slower, not lost.
  for (; started < parts; ++started) {
    try {
      threads.emplace_back(run, started);
    } catch (const std::system_error&) {
      break;
    }
  }
  for (size_t part = started; part < parts; ++part) run(part);
  run(0);
  for (std::thread& t : threads) t.join();
}

// A thread running `body`, or none (not joinable) where the system gives no more: the caller
// then does the work itself.
template <class F>
std::thread TryThread(F&& body) {
  try {
    return std::thread(std::forward<F>(body));
  } catch (const std::system_error&) {
    return std::thread();
  }
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Rays of a grid touch a surface they run along: a rapid or shank that reaches no further into
// the material than this is taken as touching it.
constexpr double kTouch = 1e-3;

inline std::string Mm(double v) {
  std::ostringstream out;
  out.precision(v != 0 && std::fabs(v) < 0.1 ? 2 : 3);
  out << std::fixed << v;
  std::string s = out.str();
  while (s.size() > 1 && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

// The workpiece's system seen from the tool: u, v across the axis and w up it. The tool's axis
// is one of the workpiece's axes, `a`, in sense `s`.
struct Canonical {
  Placement frame;  // the workpiece within the setup
  int a = 2, s = 1;
  Vec3 ToCanon(const Vec3& p) const {
    const double q[3] = {p.x, p.y, p.z};
    return {q[(a + 1) % 3], q[(a + 2) % 3], s * q[a]};
  }
  Vec3 FromCanon(const Vec3& c) const {
    double q[3];
    q[(a + 1) % 3] = c.x;
    q[(a + 2) % 3] = c.y;
    q[a] = s * c.z;
    return {q[0], q[1], q[2]};
  }
  Vec3 Canon(const Vec3& setupPoint) const { return ToCanon(frame.Local(setupPoint)); }
  Vec3 Setup(const Vec3& canon) const { return frame.Apply(FromCanon(canon)); }
};

// The G-code line (0-based) of the first line of every move, per workingstep; empty for a
// workingstep the G-code leaves out.
inline std::vector<std::vector<int>> MoveLines(const Program& program, const GcodeResult& gcode, double tolerance) {
  std::vector<std::string> text;
  {
    std::istringstream in(gcode.text);
    std::string line;
    while (std::getline(in, line)) text.push_back(line);
  }
  const size_t count = std::min(text.size(), gcode.lines.size());
  std::vector<std::vector<int>> out(program.steps.size());
  size_t at = 0;
  auto isMove = [&](size_t k) {
    const std::string& s = text[k];
    return s.size() > 3 && s[0] == 'G' && s[1] >= '0' && s[1] <= '4' && s[2] == ' ';
  };
  for (size_t k = 0; k < program.steps.size(); ++k) {
    const ProgramStep& step = program.steps[k];
    const std::string title = "(" + step.name + " ";
    size_t find = at;
    while (find < count && !(gcode.lines[find].workingstep == step.name && text[find].rfind(title, 0) == 0)) ++find;
    if (find >= count) continue;
    size_t end = find + 1;
    while (end < count && gcode.lines[end].workingstep == step.name && text[end].rfind(title, 0) != 0) ++end;
    at = end;
    std::vector<int> lines;
    size_t cursor = find + 1;
    Vec3 from = step.start;
    for (const Move& move : step.moves) {
      // After a tool change the tool first goes across at the machine's top, a rapid of x and y
      // alone that is none of the step's moves (every move of the step names all three axes).
      while (cursor < end && (!isMove(cursor) || (lines.empty() && text[cursor].find(" Z") == std::string::npos)))
        ++cursor;
      if (cursor >= end) break;
      lines.push_back(static_cast<int>(cursor));
      size_t used = 1;
      if (move.kind == MoveKind::Arc && text[cursor][1] == '1') {
        const size_t chords = SampleMoves(from, {move}, tolerance).size();
        used = chords > 1 ? chords - 1 : 1;
      }
      cursor += used;
      if (move.kind != MoveKind::Dwell) from = move.to;
    }
    if (lines.size() == step.moves.size()) out[k] = std::move(lines);
  }
  return out;
}

struct Worst {
  bool any = false;
  double depth = -1;
  Vec3 at;  // in the setup's system
  int move = -1;
  size_t count = 0;
  int lastMove = -1;
  double volume = 0;
  void Note(double d, const Vec3& where, int m) {
    any = true;
    if (m != lastMove) {
      ++count;
      lastMove = m;
    }
    if (d > depth) {
      depth = d;
      at = where;
      move = m;
    }
  }
};

// A piece of material a move took along a ray, for the gouge check.
// Small, as millions of them are written by the sweep and read by the gouge check: the ray's
// index within its grid, and the ends the ray keeps anyway as floats.
struct Cut {
  uint32_t ray;
  float lo, hi;
  int32_t move;
};
// The deepest gouge of one cut.
struct Deepest {
  bool any = false;
  double depth = -1;
  Vec3 at;
};
// As many as are held before they are checked: enough to keep the cores busy, few enough that
// a long program's cuts never pile up.
constexpr size_t kCutsHeld = 1 << 16;

// The part's own intervals along a ray, lazily: where it lies deeper than the tolerance
// outside every feature's volume.
struct PartCache {
  std::vector<uint32_t> start;
  std::vector<float> pool;  // per ray: count, then lo, hi pairs
  // Per ray, a stretch already found to lie wholly within the resolution of the volumes, its
  // two ends packed in one word (0: none): most cuts of a program fall in one already found,
  // and cost nothing then. Written by the gouge check while the sweep reads it, a word at a
  // time, so that a reader sees a whole stretch, old or new.
  std::unique_ptr<std::atomic<uint64_t>[]> clear;
  // The same for a tile of 64 rays (as the grid lays them out): the stretch all of them have.
  // A few hundred kilobytes, where the rays' take as many megabytes: the sweep asks it first,
  // and mostly finds its answer without a read from memory.
  std::unique_ptr<std::atomic<uint64_t>[]> tileClear;
  size_t rays = 0;
  void Prepare(size_t count) {
    if (clear) return;
    clear.reset(new std::atomic<uint64_t>[count]);
    for (size_t k = 0; k < count; ++k) clear[k].store(0, std::memory_order_relaxed);
    const size_t tiles = (count + 63) / 64;
    tileClear.reset(new std::atomic<uint64_t>[tiles]);
    for (size_t k = 0; k < tiles; ++k) tileClear[k].store(0, std::memory_order_relaxed);
    rays = count;
  }
  // The tile's stretch again, from its rays': none while one of them has none. A stretch once
  // found stays true (the volumes do not change), so a reader may see an old one.
  void Settle(size_t tile) {
    float lo = -std::numeric_limits<float>::infinity(), hi = std::numeric_limits<float>::infinity();
    for (size_t ray = tile * 64; ray < std::min(rays, tile * 64 + 64); ++ray) {
      const auto [a, b] = Get(ray);
      if (!(a < b)) return tileClear[tile].store(0, std::memory_order_relaxed);
      lo = std::max(lo, a);
      hi = std::min(hi, b);
    }
    tileClear[tile].store(lo < hi ? Pack(lo, hi) : 0, std::memory_order_relaxed);
  }
  static uint64_t Pack(float lo, float hi) {
    uint32_t a, b;
    std::memcpy(&a, &lo, 4);
    std::memcpy(&b, &hi, 4);
    return (uint64_t{a} << 32) | b;
  }
  // Whether [lo, hi] lies within the stretch kept for the ray.
  bool Within(size_t ray, double lo, double hi) const {
    return Holds(tileClear[ray >> 6].load(std::memory_order_relaxed), lo, hi) ||
           Holds(clear[ray].load(std::memory_order_relaxed), lo, hi);
  }
  static bool Holds(uint64_t w, double lo, double hi) {
    if (w == 0) return false;
    float a, b;
    const uint32_t x = static_cast<uint32_t>(w >> 32), y = static_cast<uint32_t>(w);
    std::memcpy(&a, &x, 4);
    std::memcpy(&b, &y, 4);
    return a <= lo && hi <= b;
  }
  std::pair<float, float> Get(size_t ray) const {
    const uint64_t w = clear[ray].load(std::memory_order_relaxed);
    if (w == 0) return {1.0f, 0.0f};
    float a, b;
    const uint32_t x = static_cast<uint32_t>(w >> 32), y = static_cast<uint32_t>(w);
    std::memcpy(&a, &x, 4);
    std::memcpy(&b, &y, 4);
    return {a, b};
  }
  void Prefetch(size_t ray) const {
    if (clear) __builtin_prefetch(&clear[ray & ~size_t{7}]);
  }
  void Set(size_t ray, float lo, float hi) { clear[ray].store(Pack(lo, hi), std::memory_order_relaxed); }
};

// Jobs handed from one thread to another, in order; at most `most` waiting, so that the thread
// handing them on waits rather than piling them up.
template <class T>
class Queue {
 public:
  explicit Queue(size_t most) : most_(most) {}
  void Push(T&& job) {
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [&] { return jobs_.size() < most_; });
    jobs_.push_back(std::move(job));
    ready_.notify_one();
  }
  bool Pop(T& job) {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [&] { return !jobs_.empty() || finished_; });
    if (jobs_.empty()) return false;
    job = std::move(jobs_.front());
    jobs_.pop_front();
    room_.notify_one();
    return true;
  }
  void Finish() {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    ready_.notify_all();
  }

 private:
  size_t most_;
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::deque<T> jobs_;
  bool finished_ = false;
};

class Run {
 public:
  Run(const Model& model, const Program& program, const GcodeResult& gcode, const SimulateOptions& options,
      SimulateResult& out)
      : model_(model), program_(program), gcode_(gcode), options_(options), out_(out) {}

  void Go();

 private:
  // Nothing of a stopped run is kept: half a program's findings would read as its verdict.
  void Stop();

  // A copy of the stock after the workingstep just run: the first workpiece's that has one, as
  // the result's stock is. A step that cut nothing shares the copy before it; the copies stop
  // once they would take more than the memory limit.
  void Keep();

  // 0.1 mm up to a part of 300 mm; beyond, coarser in proportion, so that the rays stay as
  // many as those of a 300 mm part.
  bool ChooseResolution();

  void MakeVolumes();

  Stock* StockOf(int workpiece, std::string& why);

  // The workpiece a workingstep cuts and where it is clamped, as the program places it.
  bool Place(const ProgramStep& step, int& workpiece, Canonical& canon, std::string& why);

  void Paths(const Canonical& canon, const Vec3& from, const Move& move, std::vector<Path>& out) const;

  void Step(size_t k);

  // The part's intervals on a ray: the initial stock where it lies more than the resolution
  // outside every volume near the ray, as lo, hi pairs. Reads nothing that changes, so rays
  // may be worked out on several threads.
  std::vector<float> PartPieces(const Stock& stock, int axis, size_t ray) const;

  // The gouge check of the cuts held: the part's intervals of the rays not seen before, then
  // the deepest point of each cut, on all cores; gathered in the cuts' order, so that what is
  // found is what one pass in that order finds.
  void Gouges(int workpiece, const Stock& stock, int axis, const Canonical& canon, std::vector<Cut>& cuts, Worst& worst);

  // Whether every point of a cut lies within the resolution of some volume: the stretches of
  // its ray within the resolution of the workingstep's own volume, else of all volumes near
  // it, joined. On true, [lo, hi] is the stretch that holds the cut, for the cuts after it on
  // the same ray.
  bool WithinVolumes(const Stock& stock, int axis, const Cut& cut, float& lo, float& hi) const;
  // The gouge check's lists per batch of cuts, kept from batch to batch: fresh ones of a
  // batch's size came from the system zeroed page by page each time.
  std::vector<char> gougeClear_;
  std::vector<std::pair<float, float>> gougeFound_;
  std::vector<Deepest> gougeDeepest_;
  std::vector<uint32_t> gougeTiles_;

  // The deepest point of a cut where it meets the part, by its distance to the nearest volume.
  void Gouge(const PartCache& cache, const Stock& stock, int axis, size_t ray, double lo, double hi,
             const Canonical& canon, int move, Worst& worst) const;

  // Material left in a feature's volume after the last workingstep on it.
  void Left(size_t k);

  void Features();

  struct FeatureFigures {
    double design = 0, removed = 0, left = 0;
  };

  const Model& model_;
  const Program& program_;
  const GcodeResult& gcode_;
  const SimulateOptions& options_;
  SimulateResult& out_;
  std::map<std::string, int> stepIndex_, featureIndex_;
  std::vector<std::vector<int>> lines_;
  std::vector<std::shared_ptr<Stock>> stocks_;
  std::map<int, std::vector<PartCache>> parts_;
  std::vector<std::unique_ptr<FeatureVolume>> volumes_;
  // The volume of the feature of the workingstep being run: asked first, as its moves mostly
  // cut within it.
  const FeatureVolume* ownVolume_ = nullptr;
  std::vector<std::string> volumeWhy_;
  std::set<std::string> reported_;
  std::map<size_t, Canonical> lastCanon_;
  std::map<size_t, int> lastWorkpiece_;
  std::map<size_t, ToolShape> lastTool_;
  std::map<std::string, FeatureFigures> figures_;
  bool untilFound_ = false;
  size_t keptBytes_ = 0;
};

}  // namespace varnholt::simulate_detail

#endif

// The program run on the stock: workingsteps in machining order, setups one after another on
// the same stock, every move swept exactly; what the moves meet and leave is gathered into one
// finding per workingstep (or feature) and kind, at its worst place.
#include "varnholt/simulate.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "stock.h"

namespace varnholt {

using simulate_detail::Cover;
using simulate_detail::DexelGrid;
using simulate_detail::Interval;
using simulate_detail::Path;
using simulate_detail::Stock;
using simulate_detail::ToolShape;

size_t SimulateResult::Errors() const {
  return static_cast<size_t>(std::count_if(findings.begin(), findings.end(),
                                           [](const SimFinding& f) { return f.severity == "error"; }));
}
size_t SimulateResult::Warnings() const {
  return static_cast<size_t>(std::count_if(findings.begin(), findings.end(),
                                           [](const SimFinding& f) { return f.severity == "warning"; }));
}

namespace {

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
  for (size_t part = 1; part < parts; ++part) threads.emplace_back(run, part);
  run(0);
  for (std::thread& t : threads) t.join();
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Rays of a grid touch a surface they run along: a rapid or shank that reaches no further into
// the material than this is taken as touching it.
constexpr double kTouch = 1e-3;

std::string Mm(double v) {
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
std::vector<std::vector<int>> MoveLines(const Program& program, const GcodeResult& gcode, double tolerance) {
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
struct Cut {
  size_t ray;
  double lo, hi;
  int move;
};
// As many as are held before they are checked: enough to keep the cores busy, few enough that
// a long program's cuts never pile up.
constexpr size_t kCutsHeld = 1 << 16;

// The part's own intervals along a ray, lazily: where it lies deeper than the tolerance
// outside every feature's volume.
struct PartCache {
  std::vector<uint32_t> start;
  std::vector<float> pool;  // per ray: count, then lo, hi pairs
};

class Run {
 public:
  Run(const Model& model, const Program& program, const GcodeResult& gcode, const SimulateOptions& options,
      SimulateResult& out)
      : model_(model), program_(program), gcode_(gcode), options_(options), out_(out) {}

  void Go() {
    for (size_t k = 0; k < model_.workingsteps.size(); ++k) stepIndex_[model_.workingsteps[k].name] = static_cast<int>(k);
    for (size_t k = 0; k < model_.features.size(); ++k) featureIndex_[model_.features[k].name] = static_cast<int>(k);
    lines_ = MoveLines(program_, gcode_, options_.gcodeTolerance);
    if (!ChooseResolution()) return;
    MakeVolumes();
    // The last workingstep on each feature: material left is looked for after it.
    std::map<std::string, size_t> last;
    for (size_t k = 0; k < program_.steps.size(); ++k)
      if (!program_.steps[k].feature.empty() && !lines_[k].empty()) last[program_.steps[k].feature] = k;
    const size_t count = program_.steps.size();
    for (size_t k = 0; k < count; ++k) {
      if (options_.progress && !options_.progress(static_cast<int>(100 * k / count))) {
        Stop();
        return;
      }
      const ProgramStep& step = program_.steps[k];
      Step(k);
      auto found = step.feature.empty() ? last.end() : last.find(step.feature);
      if (found != last.end() && found->second == k) Left(k);
      if (options_.keepSteps) Keep();
      if (!options_.until.empty() && (step.name == options_.until || step.label == options_.until)) {
        untilFound_ = true;
        break;
      }
    }
    if (!options_.until.empty() && !untilFound_)
      out_.notes.push_back("no workingstep " + options_.until + " in the program: all of it was simulated");
    Features();
    for (const auto& stock : stocks_)
      if (stock) out_.stockVolumeAfter += stock->Volume();
    for (size_t w = 0; w < stocks_.size(); ++w)
      if (stocks_[w]) {
        out_.stock = stocks_[w];
        out_.stockWorkpiece = static_cast<int>(w);
        break;
      }
    out_.ok = true;
  }

 private:
  // Nothing of a stopped run is kept: half a program's findings would read as its verdict.
  void Stop() {
    out_ = SimulateResult{};
    out_.cancelled = true;
    out_.error = "the simulation was stopped";
  }

  // A copy of the stock after the workingstep just run: the first workpiece's that has one, as
  // the result's stock is. A step that cut nothing shares the copy before it; the copies stop
  // once they would take more than the memory limit.
  void Keep() {
    SimStep& row = out_.steps.back();
    for (size_t w = 0; w < stocks_.size(); ++w) {
      if (!stocks_[w]) continue;
      row.stockWorkpiece = static_cast<int>(w);
      const SimStep* before = out_.steps.size() > 1 ? &out_.steps[out_.steps.size() - 2] : nullptr;
      if (before && before->stockAfter && before->stockWorkpiece == row.stockWorkpiece &&
          (!row.simulated || row.removedVolume <= 0)) {
        row.stockAfter = before->stockAfter;
        return;
      }
      const Stock& stock = *stocks_[w];
      const size_t bytes = stock.grid[0].Bytes() + stock.grid[1].Bytes() + stock.grid[2].Bytes();
      if (keptBytes_ + bytes > options_.memoryLimit) return;
      keptBytes_ += bytes;
      row.stockAfter = std::make_shared<const Stock>(stock);
      return;
    }
  }

  // 0.1 mm up to a part of 300 mm; beyond, coarser in proportion, so that the rays stay as
  // many as those of a 300 mm part.
  bool ChooseResolution() {
    double size = 0;
    bool any = false;
    for (const ModelWorkpiece& w : model_.workpieces) {
      Box box;
      std::string why;
      if (!Stock::Bounds(w.stock, box, why)) continue;
      any = true;
      size = std::max({size, box.high.x - box.low.x, box.high.y - box.low.y, box.high.z - box.low.z});
    }
    if (!any) {
      std::string why = "no workpiece";
      Box none;
      if (!model_.workpieces.empty()) Stock::Bounds(model_.workpieces.front().stock, none, why);
      out_.error = "nothing can be simulated: " + why;
      return false;
    }
    double h = options_.resolution;
    if (h > 0) {
      out_.resolutionNote = "as given";
    } else if (size <= 300) {
      h = 0.1;
      out_.resolutionNote = "0.1 mm for a stock up to 300 mm";
    } else {
      h = std::ceil(0.1 * size / 300 * 100) / 100;
      out_.resolutionNote = "coarser than 0.1 mm for a stock of " + Mm(size) + " mm";
    }
    out_.resolution = h;
    double bytes = 0;
    for (const ModelWorkpiece& w : model_.workpieces) {
      Box box;
      std::string why;
      if (Stock::Bounds(w.stock, box, why)) bytes += Stock::EstimateBytes(box, h);
    }
    if (bytes > static_cast<double>(options_.memoryLimit)) {
      out_.error = "the stock at " + Mm(h) + " mm would take about " + Mm(bytes / (1 << 20)) + " MiB, more than the " +
                   Mm(static_cast<double>(options_.memoryLimit) / (1 << 20)) +
                   " MiB allowed: choose a coarser --resolution";
      return false;
    }
    stocks_.resize(model_.workpieces.size());
    return true;
  }

  void MakeVolumes() {
    volumes_.resize(model_.features.size());
    volumeWhy_.resize(model_.features.size());
    if (!options_.volumes) {
      out_.notes.push_back("no feature volumes: gouges and material left are not looked for");
      return;
    }
    for (const ProgramStep& step : program_.steps) {
      auto found = featureIndex_.find(step.feature);
      if (found == featureIndex_.end()) continue;
      const int f = found->second;
      if (volumes_[f] || !volumeWhy_[f].empty()) continue;
      std::string why;
      volumes_[f] = options_.volumes(model_, f, why);
      if (!volumes_[f]) volumeWhy_[f] = why.empty() ? "it has no volume" : why;
    }
  }

  Stock* StockOf(int workpiece, std::string& why) {
    if (workpiece < 0 || workpiece >= static_cast<int>(stocks_.size())) {
      why = "its workpiece is not known";
      return nullptr;
    }
    if (!stocks_[workpiece]) {
      auto stock = std::make_shared<Stock>();
      if (!stock->Init(model_.workpieces[workpiece].stock, out_.resolution, why)) {
        why = "workpiece " + model_.workpieces[workpiece].name + ": " + why;
        return nullptr;
      }
      out_.stockVolume += stock->Volume();
      stocks_[workpiece] = stock;
      parts_[workpiece].resize(3);
    }
    return stocks_[workpiece].get();
  }

  // The workpiece a workingstep cuts and where it is clamped, as the program places it.
  bool Place(const ProgramStep& step, int& workpiece, Canonical& canon, std::string& why) {
    auto ws = stepIndex_.find(step.name);
    const ModelWorkingstep* w = ws != stepIndex_.end() ? &model_.workingsteps[ws->second] : nullptr;
    const ModelFeature* feature = w && w->feature >= 0 ? &model_.features[w->feature] : nullptr;
    workpiece = feature ? feature->workpiece : -1;
    if (workpiece < 0 && model_.workpieces.size() == 1) workpiece = 0;
    canon.frame = Placement{};
    if (step.setup >= 0 && step.setup < static_cast<int>(model_.setups.size())) {
      const ModelSetup& setup = model_.setups[step.setup];
      const ModelSetup::WorkpieceSetup* clamped = nullptr;
      for (const auto& c : setup.workpieces)
        if (workpiece >= 0 && c.workpiece == workpiece) clamped = &c;
      if (!clamped && !setup.workpieces.empty()) clamped = &setup.workpieces.front();
      if (clamped) {
        canon.frame = clamped->frame;
        if (clamped->workpiece >= 0) workpiece = clamped->workpiece;
      }
    }
    // The setup's z axis in the workpiece's system.
    const Vec3 axis{canon.frame.axis[0].z, canon.frame.axis[1].z, canon.frame.axis[2].z};
    const double q[3] = {axis.x, axis.y, axis.z};
    for (int k = 0; k < 3; ++k)
      if (std::fabs(std::fabs(q[k]) - 1) < 1e-9) {
        canon.a = k;
        canon.s = q[k] > 0 ? 1 : -1;
        return true;
      }
    why = "its tool axis is along none of the workpiece's axes";
    return false;
  }

  void Paths(const Canonical& canon, const Vec3& from, const Move& move, std::vector<Path>& out) const {
    out.clear();
    if (move.kind == MoveKind::Arc) {
      const Vec3 n = Normalized(move.normal);
      const Vec3 c{move.center.x, move.center.y, from.z};
      const double rho = Hyp(from.x - c.x, from.y - c.y);
      if (std::fabs(std::fabs(n.z) - 1) < 1e-9 && rho > 1e-9) {
        const double a0 = std::atan2(from.y - c.y, from.x - c.x), a1 = std::atan2(move.to.y - c.y, move.to.x - c.x);
        const bool ccw = (n.z > 0) != move.clockwise;
        double d = ccw ? a1 - a0 : a0 - a1;
        d = std::fmod(d, 2 * kPi);
        if (d < 0) d += 2 * kPi;
        if (d <= 1e-12) d += 2 * kPi;
        // The sense within the canonical plane: the setup's x and y may come out mirrored.
        const Vec3 o = canon.Canon(c), ex = Sub(canon.Canon(Add(c, {1, 0, 0})), o),
                   ey = Sub(canon.Canon(Add(c, {0, 1, 0})), o);
        const double det = ex.x * ey.y - ex.y * ey.x;
        Path p;
        p.arc = true;
        const Vec3 s = canon.Canon(from), e = canon.Canon(move.to);
        p.cu = o.x;
        p.cv = o.y;
        p.rho = rho;
        p.phi0 = std::atan2(s.y - o.y, s.x - o.x);
        p.dphi = (ccw ? d : -d) * (det > 0 ? 1 : -1);
        p.w0 = s.z;
        p.dw = e.z - s.z;
        simulate_detail::SplitArc(p, out);
        return;
      }
      // An arc about another axis is followed by chords well within the resolution.
      const std::vector<Vec3> points = SampleMoves(from, {move}, out_.resolution / 50);
      for (size_t k = 1; k < points.size(); ++k) {
        Path p;
        p.a = canon.Canon(points[k - 1]);
        p.b = canon.Canon(points[k]);
        out.push_back(p);
      }
      return;
    }
    Path p;
    p.a = canon.Canon(from);
    p.b = canon.Canon(move.to);
    out.push_back(p);
  }

  void Step(size_t k) {
    const ProgramStep& step = program_.steps[k];
    SimStep row;
    row.instance = step.name;
    row.label = step.label;
    row.feature = step.feature;
    row.moves = step.moves.size();
    auto done = [&](const std::string& why) {
      row.reason = why;
      out_.steps.push_back(row);
    };
    if (lines_[k].empty()) {
      std::string why = step.reason.empty() ? "the G-code leaves it out" : "no moves: " + step.reason;
      const std::string prefix = "workingstep " + step.name;
      for (const std::string& problem : gcode_.problems)
        if (problem.rfind(prefix + ":", 0) == 0 || problem.rfind(prefix + " '", 0) == 0) {
          const size_t colon = problem.find(": ", prefix.size());
          why = "left out: " + (colon == std::string::npos ? problem : problem.substr(colon + 2));
        }
      return done(why);
    }
    auto ws = stepIndex_.find(step.name);
    if (ws == stepIndex_.end()) return done("the workingstep is not in the model");
    const ModelWorkingstep& w = model_.workingsteps[ws->second];
    const int opIndex = w.operation;
    const int toolIndex = opIndex >= 0 ? model_.operations[opIndex].tool : -1;
    if (toolIndex < 0) return done("its operation has no tool");
    ToolShape tool;
    std::string why;
    if (!simulate_detail::ToolShapeOf(model_.tools[toolIndex], tool, why)) return done(why);
    int workpiece = -1;
    Canonical canon;
    if (!Place(step, workpiece, canon, why)) return done(why);
    Stock* stock = StockOf(workpiece, why);
    if (!stock) {
      if (reported_.insert(why).second) out_.notes.push_back(why + "; its workingsteps are not simulated");
      return done(why);
    }
    row.simulated = true;
    const double h = stock->h, tol = h / 10;
    // The lowest point of a ramp is found within tol: less is taken as touching.
    const double touch = kTouch + tol;
    // The volumes the gouge check holds the removal against; none where the workingstep's
    // own feature has none (its removal could not be told from a gouge).
    auto fi = featureIndex_.find(step.feature);
    const bool checkGouge = options_.volumes && fi != featureIndex_.end() && volumes_[fi->second];
    if (options_.volumes && !checkGouge && !step.feature.empty())
      out_.notes.push_back("workingstep " + step.name + ": its feature " + step.feature + " has no volume (" +
                           (fi != featureIndex_.end() ? volumeWhy_[fi->second] : std::string("unknown")) +
                           "), so its gouges are not looked for");

    Worst rapid, shank, gouge;
    double removed[3] = {0, 0, 0};
    double cuttingMinutes = 0;
    bool timed = true;
    const int a = canon.a, U = (a + 1) % 3, V = (a + 2) % 3;
    DexelGrid& gw = stock->grid[a];
    DexelGrid& gu = stock->grid[U];
    DexelGrid& gv = stock->grid[V];
    const double lowC[3] = {stock->box.low.x, stock->box.low.y, stock->box.low.z};
    const double highC[3] = {stock->box.high.x, stock->box.high.y, stock->box.high.z};
    // The stock's range of w.
    const double wLo = canon.s > 0 ? lowC[a] : -highC[a], wHi = canon.s > 0 ? highC[a] : -lowC[a];
    std::vector<Path> paths;
    // What the moves take along the axis, held for the gouge check (done for many at once).
    std::vector<Cut> cuts;
    Vec3 from = step.start;
    for (size_t m = 0; m < step.moves.size(); ++m) {
      const Move& move = step.moves[m];
      if (move.kind == MoveKind::Dwell) continue;
      const bool isRapid = move.kind == MoveKind::Rapid;
      if (!isRapid) {
        if (move.feed > 0) cuttingMinutes += MoveLength(from, move) / move.feed;
        else timed = false;
      }
      Paths(canon, from, move, paths);
      from = move.to;
      double axial = 0, offLo = 1e300, offHi = -1e300;
      for (const Path& path : paths) {
        double uLo, uHi, vLo, vHi;
        path.Range(0, 0, 1, uLo, uHi);
        path.Range(1, 0, 1, vLo, vHi);
        const double pwLo = std::min(path.W(0), path.W(1)), pwHi = std::max(path.W(0), path.W(1));
        if (pwLo > wHi) continue;  // wholly above the stock
        const double R = tool.radius;
        // Rays along the axis.
        {
          const int i0 = std::max(0, static_cast<int>(std::floor((uLo - R - gw.low[U]) / h - 0.5)));
          const int i1 = std::min(gw.n1 - 1, static_cast<int>(std::ceil((uHi + R - gw.low[U]) / h - 0.5)));
          const int j0 = std::max(0, static_cast<int>(std::floor((vLo - R - gw.low[V]) / h - 0.5)));
          const int j1 = std::min(gw.n2 - 1, static_cast<int>(std::ceil((vHi + R - gw.low[V]) / h - 0.5)));
          for (int j = j0; j <= j1; ++j)
            for (int i = i0; i <= i1; ++i) {
              const size_t ray = gw.Index(i, j);
              if (gw.Empty(ray)) continue;
              const double u = gw.C1(i), v = gw.C2(j);
              const Cover c = simulate_detail::AlongAxis(path, tool, u, v, tol);
              if (!c.cut) continue;
              const double top = c.shank ? std::max(c.cutHi, c.shankHi) : c.cutHi;
              size_t count = 0;
              const Interval* in = gw.Begin(ray, count);
              // Before this move takes it: what the rapid or the shank meets.
              for (size_t q = 0; q < count; ++q) {
                const double lo = canon.s > 0 ? in[q].lo : -in[q].hi, hi = canon.s > 0 ? in[q].hi : -in[q].lo;
                if (isRapid) {
                  const double depth = std::min(hi, top) - std::max(lo, c.cutLo);
                  if (depth > touch) rapid.Note(depth, canon.Setup({u, v, std::max(lo, c.cutLo)}), static_cast<int>(m));
                }
                if (c.shank) {
                  const double depth = std::min(hi, c.shankHi) - std::max(lo, c.shankLo);
                  if (depth > touch)
                    shank.Note(std::min(hi, c.shankHi) - c.shankLo, canon.Setup({u, v, std::min(hi, c.shankHi)}),
                               static_cast<int>(m));
                }
              }
              const double rLo = canon.s > 0 ? c.cutLo : -top, rHi = canon.s > 0 ? top : -c.cutLo;
              const double taken = gw.Subtract(ray, rLo, rHi, [&](double lo, double hi) {
                if (!checkGouge) return;
                cuts.push_back({ray, lo, hi, static_cast<int>(m)});
                if (cuts.size() >= kCutsHeld) Gouges(workpiece, *stock, a, canon, cuts, gouge);
              });
              if (taken > 0) {
                removed[a] += taken;
                axial = std::max(axial, taken);
                double off = 0;
                if (path.arc) {
                  off = Hyp(u - path.cu, v - path.cv) - path.rho;
                } else {
                  const double du = path.b.x - path.a.x, dv = path.b.y - path.a.y, l = Hyp(du, dv);
                  off = l > 1e-9 ? ((u - path.a.x) * dv - (v - path.a.y) * du) / l : u - path.a.x;
                }
                offLo = std::min(offLo, off);
                offHi = std::max(offHi, off);
              }
            }
        }
        // Rays across the axis: along u (grid U) at (v, w), along v (grid V) at (w, u).
        const double reachLo = std::max(pwLo, wLo), reachHi = std::min(pwHi + tool.top, wHi);
        if (reachLo > reachHi) continue;
        for (int c = 0; c < 2; ++c) {
          DexelGrid& g = c == 0 ? gu : gv;
          const int other = c == 0 ? V : U;  // the across coordinate's workpiece axis
          const double oLo = c == 0 ? vLo : uLo, oHi = c == 0 ? vHi : uHi;
          const double aLo = c == 0 ? uLo : vLo, aHi = c == 0 ? uHi : vHi;
          // Grid U: i along V, j along a. Grid V: i along a, j along U.
          auto wOf = [&](int idx) { return canon.s * (lowC[a] + (idx + 0.5) * h); };
          const int nA = c == 0 ? g.n2 : g.n1, nO = c == 0 ? g.n1 : g.n2;
          // Cells of the workpiece's axis a whose w lies within reach.
          const double x0 = canon.s > 0 ? reachLo : -reachHi, x1 = canon.s > 0 ? reachHi : -reachLo;
          const int k0 = std::max(0, static_cast<int>(std::floor((x0 - lowC[a]) / h - 0.5)));
          const int k1 = std::min(nA - 1, static_cast<int>(std::ceil((x1 - lowC[a]) / h - 0.5)));
          const int o0 = std::max(0, static_cast<int>(std::floor((oLo - R - lowC[other]) / h - 0.5)));
          const int o1 = std::min(nO - 1, static_cast<int>(std::ceil((oHi + R - lowC[other]) / h - 0.5)));
          for (int kk = k0; kk <= k1; ++kk)
            for (int oo = o0; oo <= o1; ++oo) {
              const size_t ray = c == 0 ? g.Index(oo, kk) : g.Index(kk, oo);
              if (g.Empty(ray)) continue;
              size_t count = 0;
              const Interval* in = g.Begin(ray, count);
              // Only rays with material within the move's reach along them: a ray through a
              // pocket already cleared has material on both sides and none in between.
              bool near = false;
              for (size_t q = 0; q < count && !near; ++q) near = in[q].hi >= aLo - R && in[q].lo <= aHi + R;
              if (!near) continue;
              const double w = wOf(kk), o = lowC[other] + (oo + 0.5) * h;
              const Cover cv = simulate_detail::AcrossAxis(path, tool, c, o, w, tol);
              if (cv.cut) removed[c == 0 ? U : V] += g.Subtract(ray, cv.cutLo, cv.cutHi, [](double, double) {});
              if (cv.shank) removed[c == 0 ? U : V] += g.Subtract(ray, cv.shankLo, cv.shankHi, [](double, double) {});
            }
        }
      }
      row.axialEngagement = std::max(row.axialEngagement, axial);
      if (offHi >= offLo) row.radialEngagement = std::max(row.radialEngagement, std::min(2 * tool.radius, offHi - offLo + h));
    }
    Gouges(workpiece, *stock, a, canon, cuts, gouge);
    row.removedVolume = (removed[0] + removed[1] + removed[2]) / 3 * h * h;
    if (timed && cuttingMinutes > 0) row.removalRate = row.removedVolume / cuttingMinutes;
    const size_t before = out_.findings.size();
    auto finding = [&](const Worst& worst, const char* kind, const std::string& text) {
      if (!worst.any) return;
      SimFinding f;
      f.kind = kind;
      f.severity = "error";
      f.workingstep = step.name;
      f.feature = step.feature;
      f.move = worst.move;
      f.gcodeLine = worst.move >= 0 ? lines_[k][static_cast<size_t>(worst.move)] + 1 : -1;
      f.at = worst.at;
      f.depth = worst.depth;
      f.count = worst.count;
      if (worst.volume > 0) f.volume = worst.volume;
      f.text = text;
      out_.findings.push_back(f);
    };
    finding(rapid, "rapid_into_material",
            "a rapid move runs " + Mm(rapid.depth) + " mm into material (" + std::to_string(rapid.count) +
                (rapid.count == 1 ? " move)" : " moves)"));
    finding(shank, "shank_in_material",
            "the tool meets material " + Mm(shank.depth) + " mm above its cutting length of " + Mm(tool.cutting) +
                " mm (" + std::to_string(shank.count) + (shank.count == 1 ? " move)" : " moves)"));
    gouge.volume *= h * h;
    finding(gouge, "gouge",
            "the moves cut " + Mm(gouge.depth) + " mm into the part, " + Mm(gouge.volume) + " mm³ of it (" +
                std::to_string(gouge.count) + (gouge.count == 1 ? " move)" : " moves)"));
    row.findings = out_.findings.size() - before;
    out_.steps.push_back(row);
    lastCanon_[k] = canon;
    lastWorkpiece_[k] = workpiece;
    lastTool_[k] = tool;
  }

  // The part's intervals on a ray: the initial stock where it lies more than the resolution
  // outside every volume near the ray, as lo, hi pairs. Reads nothing that changes, so rays
  // may be worked out on several threads.
  std::vector<float> PartPieces(const Stock& stock, int axis, size_t ray) const {
    std::vector<float> pieces;
    const DexelGrid& g = stock.grid[axis];
    const int c1 = (axis + 1) % 3, c2 = (axis + 2) % 3;
    const int i = static_cast<int>(ray % static_cast<size_t>(g.n1)), j = static_cast<int>(ray / static_cast<size_t>(g.n1));
    double p[3] = {0, 0, 0};
    p[c1] = g.C1(i);
    p[c2] = g.C2(j);
    Vec3 d{};
    (axis == 0 ? d.x : axis == 1 ? d.y : d.z) = 1;
    double lo = 0, hi = 0;
    if (!simulate_detail::RayInStock(stock.shape, {p[0], p[1], p[2]}, d, lo, hi)) return pieces;
    std::vector<const FeatureVolume*> near;
    const double h = stock.h;
    for (const auto& v : volumes_) {
      if (!v) continue;
      const double b[2][3] = {{v->bounds.low.x, v->bounds.low.y, v->bounds.low.z},
                              {v->bounds.high.x, v->bounds.high.y, v->bounds.high.z}};
      if (p[c1] < b[0][c1] - 2 * h || p[c1] > b[1][c1] + 2 * h || p[c2] < b[0][c2] - 2 * h || p[c2] > b[1][c2] + 2 * h) continue;
      near.push_back(v.get());
    }
    auto design = [&](double t) {
      double q[3] = {p[0], p[1], p[2]};
      q[axis] = t;
      double best = 1e300;
      for (const FeatureVolume* v : near) best = std::min(best, v->Distance({q[0], q[1], q[2]}));
      return best;
    };
    double t = lo;
    bool in = false;
    double begin = lo;
    while (t < hi) {
      const double dist = design(t);
      const bool part = dist > h;
      if (part && !in) begin = t;
      if (!part && in) pieces.push_back(static_cast<float>(begin)), pieces.push_back(static_cast<float>(t));
      in = part;
      t += std::max(std::fabs(dist - h), h / 20);
    }
    if (in) pieces.push_back(static_cast<float>(begin)), pieces.push_back(static_cast<float>(hi));
    return pieces;
  }

  // The gouge check of the cuts held: the part's intervals of the rays not seen before, then
  // the deepest point of each cut, on all cores; gathered in the cuts' order, so that what is
  // found is what one pass in that order finds.
  void Gouges(int workpiece, const Stock& stock, int axis, const Canonical& canon, std::vector<Cut>& cuts, Worst& worst) {
    if (cuts.empty()) return;
    PartCache& cache = parts_[workpiece][static_cast<size_t>(axis)];
    if (cache.start.empty()) cache.start.assign(stock.grid[axis].Rays(), UINT32_MAX);
    // Most cuts lie well inside a volume: where every point of one is within the resolution of
    // some volume it meets no part, and its ray's intervals need not be worked out for it (once
    // they are, a cut that meets none of them costs nothing).
    std::vector<char> clear(cuts.size());
    ParallelFor(cuts.size(), [&](size_t k) {
      clear[k] = cache.start[cuts[k].ray] == UINT32_MAX && WithinVolumes(stock, axis, cuts[k]);
    });
    std::vector<size_t> fresh;
    for (size_t k = 0; k < cuts.size(); ++k)
      if (const Cut& c = cuts[k]; !clear[k] && cache.start[c.ray] == UINT32_MAX) {
        cache.start[c.ray] = UINT32_MAX - 1;  // taken, worked out below
        fresh.push_back(c.ray);
      }
    std::vector<std::vector<float>> pieces(fresh.size());
    ParallelFor(fresh.size(), [&](size_t k) { pieces[k] = PartPieces(stock, axis, fresh[k]); });
    for (size_t k = 0; k < fresh.size(); ++k) {
      cache.start[fresh[k]] = static_cast<uint32_t>(cache.pool.size());
      cache.pool.push_back(static_cast<float>(pieces[k].size() / 2));
      cache.pool.insert(cache.pool.end(), pieces[k].begin(), pieces[k].end());
    }
    struct Deepest {
      bool any = false;
      double depth = -1;
      Vec3 at;
    };
    std::vector<Deepest> deepest(cuts.size());
    ParallelFor(cuts.size(), [&](size_t k) {
      const Cut& c = cuts[k];
      if (clear[k]) return;
      Worst one;
      Gouge(cache, stock, axis, c.ray, c.lo, c.hi, canon, c.move, one);
      deepest[k] = {one.any, one.depth, one.at};
    });
    for (size_t k = 0; k < cuts.size(); ++k) {
      const Cut& c = cuts[k];
      if (clear[k]) continue;
      const float* part = &cache.pool[cache.start[c.ray]];
      const int n = static_cast<int>(part[0]);
      for (int q = 0; q < n; ++q) {
        const double a = std::max<double>(c.lo, part[1 + 2 * q]), b = std::min<double>(c.hi, part[2 + 2 * q]);
        if (b > a) worst.volume += b - a;
      }
      if (deepest[k].any) worst.Note(deepest[k].depth, deepest[k].at, c.move);
    }
    cuts.clear();
  }

  // Whether every point of a cut lies within the resolution of some volume, by steps along it
  // as far as the distance allows (a distance never changes faster than the point moves); false
  // where it cannot tell in a few steps.
  bool WithinVolumes(const Stock& stock, int axis, const Cut& cut) const {
    const DexelGrid& g = stock.grid[axis];
    const int c1 = (axis + 1) % 3, c2 = (axis + 2) % 3;
    double q[3] = {0, 0, 0};
    q[c1] = g.C1(static_cast<int>(cut.ray % static_cast<size_t>(g.n1)));
    q[c2] = g.C2(static_cast<int>(cut.ray / static_cast<size_t>(g.n1)));
    // Only the volumes whose box the ray passes within the resolution of: the others lie
    // further away than that all along it.
    const FeatureVolume* near[16];
    int count = 0;
    for (const auto& v : volumes_) {
      if (!v) continue;
      const double b[2][3] = {{v->bounds.low.x, v->bounds.low.y, v->bounds.low.z},
                              {v->bounds.high.x, v->bounds.high.y, v->bounds.high.z}};
      if (q[c1] < b[0][c1] - stock.h || q[c1] > b[1][c1] + stock.h || q[c2] < b[0][c2] - stock.h ||
          q[c2] > b[1][c2] + stock.h)
        continue;
      if (count == 16) return false;
      near[count++] = v.get();
    }
    double t = cut.lo;
    for (int step = 0; step < 16; ++step) {
      q[axis] = t;
      double dist = 1e300;
      for (int k = 0; k < count; ++k) dist = std::min(dist, near[k]->Distance({q[0], q[1], q[2]}));
      if (!(dist <= stock.h)) return false;
      t += stock.h - dist;
      if (t >= cut.hi) return true;
    }
    return false;
  }

  // The deepest point of a cut where it meets the part, by its distance to the nearest volume.
  void Gouge(const PartCache& cache, const Stock& stock, int axis, size_t ray, double lo, double hi,
             const Canonical& canon, int move, Worst& worst) const {
    const float* part = &cache.pool[cache.start[ray]];
    const int n = static_cast<int>(part[0]);
    if (n == 0) return;
    const DexelGrid& g = stock.grid[axis];
    const int c1 = (axis + 1) % 3, c2 = (axis + 2) % 3;
    const int i = static_cast<int>(ray % static_cast<size_t>(g.n1)), j = static_cast<int>(ray / static_cast<size_t>(g.n1));
    for (int k = 0; k < n; ++k) {
      const double a = std::max<double>(lo, part[1 + 2 * k]), b = std::min<double>(hi, part[2 + 2 * k]);
      if (!(b > a)) continue;
      const int samples = std::clamp(static_cast<int>((b - a) / stock.h) + 2, 2, 64);
      for (int s = 0; s < samples; ++s) {
        double q[3] = {0, 0, 0};
        q[c1] = g.C1(i);
        q[c2] = g.C2(j);
        q[axis] = a + (b - a) * s / (samples - 1);
        const Vec3 point{q[0], q[1], q[2]};
        double dist = 1e300;
        for (const auto& v : volumes_)
          if (v) dist = std::min(dist, v->Distance(point));
        if (dist > stock.h) worst.Note(dist, canon.frame.Apply(point), move);
      }
    }
  }

  // Material left in a feature's volume after the last workingstep on it.
  void Left(size_t k) {
    const ProgramStep& step = program_.steps[k];
    auto fi = featureIndex_.find(step.feature);
    if (fi == featureIndex_.end() || !volumes_[fi->second] || !lastCanon_.count(k)) return;
    const FeatureVolume& volume = *volumes_[fi->second];
    const int workpiece = lastWorkpiece_[k];
    const Stock& stock = *stocks_[workpiece];
    const Canonical& canon = lastCanon_[k];
    const ToolShape& tool = lastTool_[k];
    const int axis = canon.a;
    const DexelGrid& g = stock.grid[axis];
    const double h = stock.h;
    // What the workingstep leaves on purpose.
    double allowance = 0;
    auto ws = stepIndex_.find(step.name);
    if (ws != stepIndex_.end() && model_.workingsteps[ws->second].operation >= 0) {
      const ModelOperation& o = model_.operations[model_.workingsteps[ws->second].operation];
      for (double v : {o.allowanceSide, o.allowanceBottom})
        if (std::isfinite(v) && v > 0) allowance = std::max(allowance, v);
    }
    const double limit = h + allowance;
    const int c1 = (axis + 1) % 3, c2 = (axis + 2) % 3;
    const double bl[3] = {volume.bounds.low.x, volume.bounds.low.y, volume.bounds.low.z};
    const double bh[3] = {volume.bounds.high.x, volume.bounds.high.y, volume.bounds.high.z};
    const int i0 = std::max(0, static_cast<int>(std::floor((bl[c1] - g.low[c1]) / h - 0.5)));
    const int i1 = std::min(g.n1 - 1, static_cast<int>(std::ceil((bh[c1] - g.low[c1]) / h - 0.5)));
    const int j0 = std::max(0, static_cast<int>(std::floor((bl[c2] - g.low[c2]) / h - 0.5)));
    const int j1 = std::min(g.n2 - 1, static_cast<int>(std::ceil((bh[c2] - g.low[c2]) / h - 0.5)));
    Worst worst;
    double left = 0, leftAll = 0, design = 0;
    Vec3 d{};
    (axis == 0 ? d.x : axis == 1 ? d.y : d.z) = 1;
    // Row by row on all cores, each row's sums and deepest point its own; gathered in order
    // below, so that the first deepest point wins as it would in one pass.
    struct Row {
      Worst worst;
      double left = 0, leftAll = 0, design = 0;
    };
    std::vector<Row> rows(j1 >= j0 ? static_cast<size_t>(j1 - j0 + 1) : 0);
    ParallelFor(rows.size(), [&](size_t row) {
      const int j = j0 + static_cast<int>(row);
      Row& out = rows[row];
      std::vector<Interval> list;
      for (int i = i0; i <= i1; ++i) {
        double p[3] = {0, 0, 0};
        p[c1] = g.C1(i);
        p[c2] = g.C2(j);
        auto at = [&](double t) {
          double q[3] = {p[0], p[1], p[2]};
          q[axis] = t;
          return Vec3{q[0], q[1], q[2]};
        };
        // The length of [lo, hi] deeper inside the volume than `depth`, and its deepest point.
        auto inside = [&](double lo, double hi, double depth, bool note) {
          lo = std::max(lo, bl[axis]);
          hi = std::min(hi, bh[axis]);
          double sum = 0, t = lo;
          while (t < hi) {
            const double dist = volume.Distance(at(t));
            const double step = std::max(std::fabs(dist + depth), h / 20);
            if (dist < -depth) {
              sum += std::min(step, hi - t);
              if (note) out.worst.Note(-dist, canon.frame.Apply(at(t)), 0);
            }
            t += step;
          }
          return sum;
        };
        double lo = 0, hi = 0;
        if (simulate_detail::RayInStock(stock.shape, {p[0], p[1], p[2]}, d, lo, hi)) out.design += inside(lo, hi, 0, false);
        g.Get(g.Index(i, j), list);
        for (const Interval& in : list) {
          out.left += inside(in.lo, in.hi, limit, true);
          out.leftAll += inside(in.lo, in.hi, 0, false);
        }
      }
    });
    for (const Row& row : rows) {
      design += row.design;
      left += row.left;
      leftAll += row.leftAll;
      if (row.worst.any) worst.Note(row.worst.depth, row.worst.at, 0);
    }
    FeatureFigures figures;
    figures.design = design * h * h;
    figures.left = leftAll * h * h;
    figures.removed = figures.design - figures.left;
    figures_[step.feature] = figures;
    if (!worst.any) return;
    SimFinding f;
    f.kind = "material_left";
    f.severity = "warning";
    f.workingstep = step.name;
    f.feature = step.feature;
    f.at = worst.at;
    f.depth = worst.depth;
    f.volume = left * h * h;
    f.count = 1;
    const bool shape = !step.notes.empty() && worst.depth <= tool.radius + allowance + h;
    f.text = "material is left in the volume of " + step.feature + " after " + step.name + ", up to " + Mm(worst.depth) +
             " mm deep, " + Mm(f.volume) + " mm³: " +
             (shape ? "the tool's shape cannot reach it (" + step.notes.front() + ")"
                    : std::string("the program does not go there"));
    out_.findings.push_back(f);
  }

  void Features() {
    std::map<std::string, bool> seen;
    for (const ProgramStep& step : program_.steps) {
      if (step.feature.empty() || seen[step.feature]) continue;
      seen[step.feature] = true;
      SimFeature row;
      row.instance = step.feature;
      row.type = step.featureType;
      auto fi = featureIndex_.find(step.feature);
      auto figures = figures_.find(step.feature);
      if (!options_.volumes) {
        row.note = "no feature volumes";
      } else if (fi == featureIndex_.end() || !volumes_[fi->second]) {
        row.note = fi != featureIndex_.end() && !volumeWhy_[fi->second].empty() ? volumeWhy_[fi->second] : "it has no volume";
      } else if (figures == figures_.end()) {
        row.note = "no workingstep on it was simulated";
      } else {
        const double exact = volumes_[fi->second]->ExactVolume();
        row.designVolume = std::isfinite(exact) ? exact : figures->second.design;
        row.removedVolume = figures->second.removed;
        row.leftVolume = figures->second.left;
      }
      out_.features.push_back(row);
    }
  }

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
  std::vector<std::string> volumeWhy_;
  std::set<std::string> reported_;
  std::map<size_t, Canonical> lastCanon_;
  std::map<size_t, int> lastWorkpiece_;
  std::map<size_t, ToolShape> lastTool_;
  std::map<std::string, FeatureFigures> figures_;
  bool untilFound_ = false;
  size_t keptBytes_ = 0;
};

}  // namespace

GcodeOptions SimulationGcodeOptions() {
  GcodeOptions options;
  options.allowPartial = true;
  options.acceptImplausible = true;
  return options;
}

SimulateResult Simulate(const Model& model, const Program& program, const GcodeResult& gcode,
                        const SimulateOptions& options) {
  SimulateResult result;
  if (options.resolution < 0 || !std::isfinite(options.resolution)) {
    result.error = "the resolution must be a length above 0";
    return result;
  }
  Run(model, program, gcode, options, result).Go();
  return result;
}

bool ResultAfterStep(const SimulateResult& result, size_t step, SimulateResult& after) {
  if (!result.ok || step >= result.steps.size() || !result.steps[step].stockAfter) return false;
  after = SimulateResult{};
  after.ok = true;
  after.resolution = result.resolution;
  after.resolutionNote = result.resolutionNote;
  after.stockVolume = result.stockVolume;
  after.steps.assign(result.steps.begin(), result.steps.begin() + static_cast<std::ptrdiff_t>(step) + 1);
  std::set<std::string> done;
  for (const SimStep& s : after.steps) done.insert(s.instance);
  for (const SimFinding& f : result.findings)
    if (!f.workingstep.empty() && done.count(f.workingstep)) after.findings.push_back(f);
  after.stock = result.steps[step].stockAfter;
  after.stockWorkpiece = result.steps[step].stockWorkpiece;
  after.stockVolumeAfter = after.stock->Volume();
  return true;
}

}  // namespace varnholt

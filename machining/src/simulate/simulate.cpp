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
#include <condition_variable>
#include <deque>
#include <mutex>

#include "run.h"
#include "stock.h"

namespace varnholt {

using simulate_detail::Run;


size_t SimulateResult::Errors() const {
  return static_cast<size_t>(std::count_if(findings.begin(), findings.end(),
                                           [](const SimFinding& f) { return f.severity == "error"; }));
}
size_t SimulateResult::Warnings() const {
  return static_cast<size_t>(std::count_if(findings.begin(), findings.end(),
                                           [](const SimFinding& f) { return f.severity == "warning"; }));
}

namespace simulate_detail {

constexpr int kTile = 8;
constexpr double kInf = std::numeric_limits<double>::infinity();
// Well above a float's rounding of a workpiece's coordinates, well below any resolution.
constexpr double kHair = 1e-4;

// The highest material of a tile of rays along the axis, in w (the sense s up): -inf for none.
double TileTop(const DexelGrid& g, int s, int ti, int tj) {
  double top = -kInf;
  for (int j = tj * kTile; j < std::min(g.n2, tj * kTile + kTile); ++j)
    for (int i = ti * kTile; i < std::min(g.n1, ti * kTile + kTile); ++i) {
      const size_t ray = g.Index(i, j);
      if (g.Empty(ray)) continue;
      size_t count = 0;
      const Interval* in = g.Begin(ray, count);
      top = std::max(top, s > 0 ? static_cast<double>(in[count - 1].hi) : -static_cast<double>(in[0].lo));
    }
  return top;
}

// A path handed to the rays across the axis, with what the rays along it found under it.
struct AcrossJob {
  Path path;
  double uLo = 0, uHi = 0, vLo = 0, vHi = 0, pwLo = 0, pwHi = 0;
  int i0 = 0, j0 = 0;
  std::vector<double> topU, topV;
};

void Run::Go() {
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

// Nothing of a stopped run is kept: half a program's findings would read as its verdict.
void Run::Stop() {
  out_ = SimulateResult{};
  out_.cancelled = true;
  out_.error = "the simulation was stopped";
}

// A copy of the stock after the workingstep just run: the first workpiece's that has one, as
// the result's stock is. A step that cut nothing shares the copy before it; the copies stop
// once they would take more than the memory limit.
void Run::Keep() {
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
bool Run::ChooseResolution() {
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

void Run::MakeVolumes() {
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

Stock* Run::StockOf(int workpiece, std::string& why) {
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
    out_.stockVolume += stock->initial;
    stocks_[workpiece] = stock;
    parts_[workpiece].resize(3);
  }
  return stocks_[workpiece].get();
}

// The workpiece a workingstep cuts and where it is clamped, as the program places it.
bool Run::Place(const ProgramStep& step, int& workpiece, Canonical& canon, std::string& why) {
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

void Run::Paths(const Canonical& canon, const Vec3& from, const Move& move, std::vector<Path>& out) const {
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

void Run::Step(size_t k) {
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
  ownVolume_ = checkGouge ? volumes_[fi->second].get() : nullptr;
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
  std::vector<double> topU, topV;
  // The highest material (in w) of each tile of kTile x kTile rays along the axis, or above it:
  // NaN until a path first comes over the tile.
  const size_t tilesAcross = static_cast<size_t>((gw.n1 + kTile - 1) / kTile);
  std::vector<float> tileTop(tilesAcross * static_cast<size_t>((gw.n2 + kTile - 1) / kTile),
                             std::numeric_limits<float>::quiet_NaN());
  std::vector<double> tileNew;
  std::vector<Path> paths;
  PartCache& partCache = parts_[workpiece][static_cast<size_t>(a)];
  if (checkGouge) partCache.Prepare(gw.Rays());
  // The gouge check of each batch of cuts, on a thread of its own while the sweep goes on:
  // it reads of the stock only where its rays lie, and the sweep reads of what it writes only
  // the stretches found clear, a whole stretch at a time. It takes the batches in order.
  Queue<std::vector<Cut>> batches(4);
  // Batches the check is done with come back to be filled again: each fresh one of some
  // megabytes came from the system zeroed, page by page.
  std::mutex spareMutex;
  std::vector<std::vector<Cut>> spare;
  std::thread checker;
  bool checkerTried = false;
  auto check = [&](std::vector<Cut>& held) {
    if (!checkerTried) {
      checkerTried = true;
      checker = TryThread([this, &batches, &spareMutex, &spare, workpiece, stock, a, canon, &gouge] {
        std::vector<Cut> batch;
        while (batches.Pop(batch)) {
          Gouges(workpiece, *stock, a, canon, batch, gouge);
          std::lock_guard<std::mutex> lock(spareMutex);
          spare.push_back(std::move(batch));
          batch = std::vector<Cut>();
        }
      });
    }
    if (!checker.joinable()) return Gouges(workpiece, *stock, a, canon, held, gouge);
    batches.Push(std::move(held));
    held = std::vector<Cut>();
    {
      std::lock_guard<std::mutex> lock(spareMutex);
      if (!spare.empty()) {
        held = std::move(spare.back());
        spare.pop_back();
      }
    }
    held.clear();
    held.reserve(kCutsHeld);
  };
  // One path's work on the rays across the axis (along u, grid U, at (v, w); along v, grid V,
  // at (w, u)): on a thread of its own while the rays along the axis take the next paths, as the
  // two touch different rays. The tops of the rows come from the rays along the axis before the
  // path took them.
  // The worker has copies of all it reads, and writes its sums on a line of their own: read
  // through references into this frame, or written beside it, they would be on the lines this
  // thread writes ray by ray, and the two cores would pass them back and forth.
  struct alignas(64) Sums {
    double v = 0;
  } acrossSums[2];
  // Grid U's work (c = 0) or grid V's (c = 1) for one path: each grid on a thread of its own,
  // so that the system shares the two cores between them and the rays along the axis as each
  // has work; a grid's paths are taken in order.
  auto acrossPart = [a, U, V, canon, &gu, &gv, h, lowC, tol, tool, wHi, wLo](const AcrossJob& job, int c, Sums* sums) {
    const Path& path = job.path;
    const double uLo = job.uLo, uHi = job.uHi, vLo = job.vLo, vHi = job.vHi, pwLo = job.pwLo, pwHi = job.pwHi;
    const int i0 = job.i0, j0 = job.j0;
    const std::vector<double>& topU = job.topU;
    const std::vector<double>& topV = job.topV;
    const double R = tool.radius;
    // Summed here and added once: a total written ray by ray from this thread would share its
    // cache line with what the other threads write.
    double took = 0;
      const double reachLo = std::max(pwLo, wLo), reachHi = std::min(pwHi + tool.top, wHi);
      const bool level = path.Level();
      const double pathW = path.W(0), side = simulate_detail::SideFrom(tool);
      if (reachLo > reachHi) return;
      {
        DexelGrid& g = c == 0 ? gu : gv;
        const int other = c == 0 ? V : U;  // the across coordinate's workpiece axis
        const double oLo = c == 0 ? vLo : uLo, oHi = c == 0 ? vHi : uHi;
        const double aLo = c == 0 ? uLo : vLo, aHi = c == 0 ? uHi : vHi;
        // Grid U: i along V, j along a. Grid V: i along a, j along U.
        auto wOf = [&](int idx) { return canon.s * (lowC[a] + (idx + 0.5) * h); };
        const int nA = c == 0 ? g.n2 : g.n1, nO = c == 0 ? g.n1 : g.n2;
        // Cells of the workpiece's axis a whose w lies within reach.
        const double x0 = canon.s > 0 ? reachLo : -reachHi, x1 = canon.s > 0 ? reachHi : -reachLo;
        // The tool reaches no lower than its path and no higher than its top: rows whose centre
        // lies beyond are not met (the rows' tops below keep their margin).
        const int k0 = std::max(0, static_cast<int>(std::ceil((x0 - lowC[a]) / h - 0.5 - 1e-9)));
        const int k1 = std::min(nA - 1, static_cast<int>(std::floor((x1 - lowC[a]) / h - 0.5 + 1e-9)));
        const int o0 = std::max(0, static_cast<int>(std::floor((oLo - R - lowC[other]) / h - 0.5)));
        const int o1 = std::min(nO - 1, static_cast<int>(std::ceil((oHi + R - lowC[other]) / h - 0.5)));
        // The rows' tops: grid U's rows run at a v (the rays along the axis' j), grid V's at a u (their i).
        const std::vector<double>& tops = c == 0 ? topV : topU;
        const int first = c == 0 ? j0 : i0;
        for (int oo = o0; oo <= o1; ++oo) {
          const size_t at = static_cast<size_t>(oo - first);
          if (oo < first || at >= tops.size() || !std::isfinite(tops[at])) continue;
          const double top = tops[at] + h;
          const double y1 = canon.s > 0 ? std::min(x1, top) : x1, y0 = canon.s > 0 ? x0 : std::max(x0, -top);
          const int kTo = std::min(k1, static_cast<int>(std::ceil((y1 - lowC[a]) / h - 0.5)));
          const int kFrom = std::max(k0, static_cast<int>(std::floor((y0 - lowC[a]) / h - 0.5)));
          // Along a level path the tool's section is the same disk at every height of its
          // cylinder, and of its shank: the cover found at one such height serves the next.
          int zoneBefore = -2;
          Cover cv;
          for (int kk = kFrom; kk <= kTo; ++kk) {
            const size_t ray = c == 0 ? g.Index(oo, kk) : g.Index(kk, oo);
            size_t count = 0;
            const Interval* in = g.Begin(ray, count);
            if (count == 0) continue;
            // Only rays with material within the move's reach along them: a ray through a
            // pocket already cleared has material on both sides and none in between.
            bool near = false;
            for (size_t q = 0; q < count && !near; ++q) near = in[q].hi >= aLo - R && in[q].lo <= aHi + R;
            if (!near) continue;
            const double w = wOf(kk), o = lowC[other] + (oo + 0.5) * h;
            int zone = -1;
            if (level) {
              const double z = w - pathW;
              zone = z > side && z < tool.cutting ? 1 : z > tool.cutting && z < tool.top ? 2 : -1;
            }
            if (zone < 0 || zone != zoneBefore) cv = simulate_detail::AcrossAxis(path, tool, c, o, w, tol);
            zoneBefore = zone;
            if (cv.cut) took += g.Subtract(ray, cv.cutLo, cv.cutHi, [](double, double) {});
            if (cv.shank) took += g.Subtract(ray, cv.shankLo, cv.shankHi, [](double, double) {});
          }
        }
      }
    sums->v += took;
  };
  Queue<std::shared_ptr<const AcrossJob>> queues[2] = {Queue<std::shared_ptr<const AcrossJob>>(256),
                                                       Queue<std::shared_ptr<const AcrossJob>>(256)};
  std::thread workers[2];
  // Threads are worth their start where the step has many moves or a wide tool.
  if (step.moves.size() >= 16 || tool.radius >= 20 * h)
    for (int c = 0; c < 2; ++c)
      workers[c] = TryThread([fn = acrossPart, queue = &queues[c], c, sums = &acrossSums[c]] {
        std::shared_ptr<const AcrossJob> job;
        while (queue->Pop(job)) fn(*job, c, sums);
      });
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
      // The highest material (in w) under the tool's reach before this move, per row of the
      // rays along the axis either way, from those rays: across the axis, no ray above it holds
      // material in that row (to within the resolution), so those rays need not be looked at.
      const int i0 = std::max(0, static_cast<int>(std::floor((uLo - R - gw.low[U]) / h - 0.5)));
      const int i1 = std::min(gw.n1 - 1, static_cast<int>(std::ceil((uHi + R - gw.low[U]) / h - 0.5)));
      const int j0 = std::max(0, static_cast<int>(std::floor((vLo - R - gw.low[V]) / h - 0.5)));
      const int j1 = std::min(gw.n2 - 1, static_cast<int>(std::ceil((vHi + R - gw.low[V]) / h - 0.5)));
      topU.assign(static_cast<size_t>(std::max(0, i1 - i0 + 1)), -std::numeric_limits<double>::infinity());
      tileNew.assign(static_cast<size_t>(std::max(0, i1 / kTile - i0 / kTile + 1)), -kInf);
      topV.assign(static_cast<size_t>(std::max(0, j1 - j0 + 1)), -std::numeric_limits<double>::infinity());
      // Rays along the axis, a band of tiles at a time; the rays of a band in rows, each row in
      // order, so that what is found is what one pass row by row finds. A tile whose highest
      // material lies no higher than the path is passed over whole.
      const simulate_detail::LevelLine line(path, tool);
      // A ray's place across a straight move, for the radial engagement.
      const double sideU = path.b.x - path.a.x, sideV = path.b.y - path.a.y, sideLength = Hyp(sideU, sideV);
      auto sweepRay = [&](int i, int j) -> double {
          const size_t ray = gw.Index(i, j);
          size_t count = 0;
          const Interval* in = gw.Begin(ray, count);
          if (count == 0) return -kInf;
          const double highest = canon.s > 0 ? static_cast<double>(in[count - 1].hi) : -static_cast<double>(in[0].lo);
          double& tu = topU[static_cast<size_t>(i - i0)];
          double& tv = topV[static_cast<size_t>(j - j0)];
          tu = std::max(tu, highest);
          tv = std::max(tv, highest);
          // No part of the tool comes lower than the path: material no higher is not met. A ray
          // the path's level cut before ends at that level rounded to a float, which may lie a
          // hair above it: not worth a cut.
          if (highest <= pwLo + kHair) return highest;
          const double u = gw.C1(i), v = gw.C2(j);
          const Cover c = line.Ok() ? line.At(u, v) : simulate_detail::AlongAxis(path, tool, u, v, tol);
          if (!c.cut) return highest;
          const double top = c.shank ? std::max(c.cutHi, c.shankHi) : c.cutHi;
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
            // A cut within a stretch already found clear needs no check.
            if (partCache.Within(ray, lo, hi)) return;
            cuts.push_back({static_cast<uint32_t>(ray), static_cast<float>(lo), static_cast<float>(hi), static_cast<int32_t>(m)});
            if (cuts.size() >= kCutsHeld) check(cuts);
          });
          if (taken > 0) {
            removed[a] += taken;
            axial = std::max(axial, taken);
            const double off = path.arc ? Hyp(u - path.cu, v - path.cv) - path.rho
                                        : sideLength > 1e-9 ? ((u - path.a.x) * sideV - (v - path.a.y) * sideU) / sideLength
                                                            : u - path.a.x;
            offLo = std::min(offLo, off);
            offHi = std::max(offHi, off);
          }
          // What of the ray is left lies no higher than where this cut began, if it took the top.
          return top >= highest ? std::min(highest, c.cutLo) : highest;
      };
      for (int tj = j0 / kTile; tj <= j1 / kTile; ++tj) {
        const int ja = std::max(j0, tj * kTile), jb = std::min(j1, tj * kTile + kTile - 1);
        const bool fullJ = ja == tj * kTile && jb == std::min(gw.n2 - 1, tj * kTile + kTile - 1);
        const int ti0 = i0 / kTile, ti1 = i1 / kTile;
        for (int ti = ti0; ti <= ti1; ++ti) {
          float& bound = tileTop[static_cast<size_t>(tj) * tilesAcross + static_cast<size_t>(ti)];
          if (std::isnan(bound)) bound = static_cast<float>(TileTop(gw, canon.s, ti, tj));
          tileNew[static_cast<size_t>(ti - ti0)] = -kInf;
        }
        for (int j = ja; j <= jb; ++j)
          for (int ti = ti0; ti <= ti1; ++ti) {
            const float bound = tileTop[static_cast<size_t>(tj) * tilesAcross + static_cast<size_t>(ti)];
            const int ia = std::max(i0, ti * kTile), ib = std::min(i1, ti * kTile + kTile - 1);
            if (bound <= pwLo + kHair) {
              // Nothing here reaches the tool; the rows' tops are no higher than the bound.
              double& tv = topV[static_cast<size_t>(j - j0)];
              tv = std::max<double>(tv, bound);
              if (j == ja)
                for (int i = ia; i <= ib; ++i) {
                  double& tu = topU[static_cast<size_t>(i - i0)];
                  tu = std::max<double>(tu, bound);
                }
              continue;
            }
            // The next tile's row is a kilobyte on: asked for ahead, as the processor does not
            // guess it.
            if (ti + 2 <= ti1) {
              const size_t next = gw.Index((ti + 2) * kTile, j);
              gw.Prefetch(next);
              if (checkGouge) partCache.Prefetch(next);
            }
            double& fresh = tileNew[static_cast<size_t>(ti - ti0)];
            for (int i = ia; i <= ib; ++i) fresh = std::max(fresh, sweepRay(i, j));
          }
        // A tile swept whole has its new bound; one swept in part keeps the old, still above.
        for (int ti = ti0; ti <= ti1; ++ti) {
          float& bound = tileTop[static_cast<size_t>(tj) * tilesAcross + static_cast<size_t>(ti)];
          const int ia = std::max(i0, ti * kTile), ib = std::min(i1, ti * kTile + kTile - 1);
          const bool full = fullJ && ia == ti * kTile && ib == std::min(gw.n1 - 1, ti * kTile + kTile - 1);
          if (full && bound > pwLo + kHair) bound = static_cast<float>(tileNew[static_cast<size_t>(ti - ti0)]);
        }
      }
      // Rays across the axis, on the worker: it takes the paths in order, each with the tops
      // found above.
      AcrossJob job;
      job.path = path;
      job.uLo = uLo, job.uHi = uHi, job.vLo = vLo, job.vHi = vHi, job.pwLo = pwLo, job.pwHi = pwHi;
      job.i0 = i0, job.j0 = j0;
      job.topU = std::move(topU);
      job.topV = std::move(topV);
      auto shared = std::make_shared<const AcrossJob>(std::move(job));
      for (int c = 0; c < 2; ++c) {
        if (workers[c].joinable()) queues[c].Push(std::shared_ptr<const AcrossJob>(shared));
        else acrossPart(*shared, c, &acrossSums[c]);
      }
    }
    row.axialEngagement = std::max(row.axialEngagement, axial);
    if (offHi >= offLo) row.radialEngagement = std::max(row.radialEngagement, std::min(2 * tool.radius, offHi - offLo + h));
  }
  for (int c = 0; c < 2; ++c)
    if (workers[c].joinable()) {
      queues[c].Finish();
      workers[c].join();
    }
  removed[U] += acrossSums[0].v;
  removed[V] += acrossSums[1].v;
  if (checker.joinable()) {
    batches.Finish();
    checker.join();
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
}  // namespace simulate_detail

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

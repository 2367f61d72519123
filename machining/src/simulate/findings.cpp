// What the run finds after the moves: material the part keeps that a move took (gouges), the
// features' volumes left standing after their last workingstep, and each feature's figures.
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "run.h"

namespace varnholt::simulate_detail {

// The part's intervals on a ray: the initial stock where it lies more than the resolution
// outside every volume near the ray, as lo, hi pairs. Reads nothing that changes, so rays
// may be worked out on several threads.
std::vector<float> Run::PartPieces(const Stock& stock, int axis, size_t ray) const {
  std::vector<float> pieces;
  const DexelGrid& g = stock.grid[axis];
  const int c1 = (axis + 1) % 3, c2 = (axis + 2) % 3;
  const int i = g.I(ray), j = g.J(ray);
  double p[3] = {0, 0, 0};
  p[c1] = g.C1(i);
  p[c2] = g.C2(j);
  double lo = 0, hi = 0;
  if (!stock.RayIn(p, axis, lo, hi)) return pieces;
  const double h = stock.h;
  // Where the ray lies within h of some volume near it, joined; the part is the rest.
  std::vector<FeatureVolume::Span> spans;
  for (const auto& v : volumes_) {
    if (!v) continue;
    const double b[2][3] = {{v->bounds.low.x, v->bounds.low.y, v->bounds.low.z},
                            {v->bounds.high.x, v->bounds.high.y, v->bounds.high.z}};
    if (p[c1] < b[0][c1] - 2 * h || p[c1] > b[1][c1] + 2 * h || p[c2] < b[0][c2] - 2 * h || p[c2] > b[1][c2] + 2 * h) continue;
    v->Below({p[0], p[1], p[2]}, axis, lo, hi, h, h / 16, spans);
  }
  std::sort(spans.begin(), spans.end(), [](const FeatureVolume::Span& x, const FeatureVolume::Span& y) { return x.lo < y.lo; });
  double at = lo;
  for (const FeatureVolume::Span& sp : spans) {
    if (sp.lo > at) pieces.push_back(static_cast<float>(at)), pieces.push_back(static_cast<float>(sp.lo));
    at = std::max(at, sp.hi);
  }
  if (hi > at) pieces.push_back(static_cast<float>(at)), pieces.push_back(static_cast<float>(hi));
  return pieces;
}

// The gouge check of the cuts held: the part's intervals of the rays not seen before, then
// the deepest point of each cut, on all cores; gathered in the cuts' order, so that what is
// found is what one pass in that order finds.
void Run::Gouges(int workpiece, const Stock& stock, int axis, const Canonical& canon, std::vector<Cut>& cuts, Worst& worst) {
  if (cuts.empty()) return;
  PartCache& cache = parts_[workpiece][static_cast<size_t>(axis)];
  if (cache.start.empty()) cache.start.assign(stock.grid[axis].Rays(), UINT32_MAX);
  cache.Prepare(stock.grid[axis].Rays());
  // Most cuts lie well inside a volume: where every point of one is within the resolution of
  // some volume it meets no part, and its ray's intervals need not be worked out for it (once
  // they are, a cut that meets none of them costs nothing).
  std::vector<char>& clear = gougeClear_;
  std::vector<std::pair<float, float>>& found = gougeFound_;
  clear.assign(cuts.size(), 0);
  found.assign(cuts.size(), {1.0f, 0.0f});
  ParallelFor(cuts.size(), [&](size_t k) {
    const Cut& c = cuts[k];
    if (cache.start[c.ray] != UINT32_MAX) return;
    if (cache.Within(c.ray, c.lo, c.hi)) {
      clear[k] = 1;
      return;
    }
    clear[k] = WithinVolumes(stock, axis, c, found[k].first, found[k].second);
  });
  std::vector<size_t> fresh;
  std::vector<uint32_t>& tiles = gougeTiles_;
  tiles.clear();
  for (size_t k = 0; k < cuts.size(); ++k) {
    const Cut& c = cuts[k];
    if (clear[k]) {
      if (tiles.empty() || tiles.back() != c.ray >> 6) tiles.push_back(c.ray >> 6);
      // The stretches found, joined where they meet: in the cuts' order, so that the
      // stretches kept do not hang on the threads.
      const auto kept = cache.Get(c.ray);
      const auto& add = found[k];
      if (add.first > add.second) continue;
      if (kept.first > kept.second || add.second < kept.first || add.first > kept.second)
        cache.Set(c.ray, add.first, add.second);
      else
        cache.Set(c.ray, std::min(kept.first, add.first), std::max(kept.second, add.second));
      continue;
    }
    if (cache.start[c.ray] == UINT32_MAX) {
      cache.start[c.ray] = UINT32_MAX - 1;  // taken, worked out below
      fresh.push_back(c.ray);
    }
  }
  std::sort(tiles.begin(), tiles.end());
  tiles.erase(std::unique(tiles.begin(), tiles.end()), tiles.end());
  for (uint32_t tile : tiles) cache.Settle(tile);
  std::vector<std::vector<float>> pieces(fresh.size());
  ParallelFor(fresh.size(), [&](size_t k) { pieces[k] = PartPieces(stock, axis, fresh[k]); });
  for (size_t k = 0; k < fresh.size(); ++k) {
    cache.start[fresh[k]] = static_cast<uint32_t>(cache.pool.size());
    cache.pool.push_back(static_cast<float>(pieces[k].size() / 2));
    cache.pool.insert(cache.pool.end(), pieces[k].begin(), pieces[k].end());
  }
  std::vector<Deepest>& deepest = gougeDeepest_;
  deepest.resize(cuts.size());  // written and read for the cuts not found clear only
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

// Whether every point of a cut lies within the resolution of some volume: the stretches of its
// ray within the resolution of the workingstep's own volume, else of all volumes near it.
bool Run::WithinVolumes(const Stock& stock, int axis, const Cut& cut, float& clearLo, float& clearHi) const {
  const DexelGrid& g = stock.grid[axis];
  const int c1 = (axis + 1) % 3, c2 = (axis + 2) % 3;
  double q[3] = {0, 0, 0};
  q[c1] = g.C1(g.I(cut.ray));
  q[c2] = g.C2(g.J(cut.ray));
  // The stretches of the ray within h of the volumes, over the stock's length (beyond it by 2h
  // at either end, so that a cut up to the stock's face lies within a stretch): the own
  // volume's alone mostly cover the cut; else all of them near the ray, joined.
  const double from[3] = {stock.box.low.x - 2 * stock.h, stock.box.low.y - 2 * stock.h, stock.box.low.z - 2 * stock.h};
  const double to[3] = {stock.box.high.x + 2 * stock.h, stock.box.high.y + 2 * stock.h, stock.box.high.z + 2 * stock.h};
  const double tol = stock.h / 16;
  // Kept from cut to cut: asked for every cut, a list of its own would cost more than the rest.
  thread_local std::vector<FeatureVolume::Span> spans, joined;
  spans.clear();
  auto covering = [&](const std::vector<FeatureVolume::Span>& list) {
    for (const FeatureVolume::Span& sp : list)
      if (sp.lo + tol <= cut.lo && cut.hi <= sp.hi - tol) {
        // Kept as floats, rounded inwards.
        clearLo = std::nextafter(static_cast<float>(sp.lo + tol), std::numeric_limits<float>::infinity());
        clearHi = std::nextafter(static_cast<float>(sp.hi - tol), -std::numeric_limits<float>::infinity());
        return true;
      }
    return false;
  };
  // Only the volumes whose box the ray passes within the resolution of: the others lie
  // further away than that all along it.
  auto near = [&](const FeatureVolume* v) {
    const double b[2][3] = {{v->bounds.low.x, v->bounds.low.y, v->bounds.low.z},
                            {v->bounds.high.x, v->bounds.high.y, v->bounds.high.z}};
    return !(q[c1] < b[0][c1] - stock.h || q[c1] > b[1][c1] + stock.h || q[c2] < b[0][c2] - stock.h ||
             q[c2] > b[1][c2] + stock.h);
  };
  const Vec3 at{q[0], q[1], q[2]};
  if (ownVolume_ && near(ownVolume_)) {
    ownVolume_->Below(at, axis, from[axis], to[axis], stock.h, tol, spans);
    if (covering(spans)) return true;
  }
  const size_t own = spans.size();
  int count = 0;
  for (const auto& v : volumes_)
    if (v && v.get() != ownVolume_ && near(v.get())) {
      if (++count > 16) return false;
      v->Below(at, axis, from[axis], to[axis], stock.h, tol, spans);
    }
  if (spans.size() == own) return false;
  std::sort(spans.begin(), spans.end(), [](const FeatureVolume::Span& x, const FeatureVolume::Span& y) { return x.lo < y.lo; });
  joined.clear();
  for (const FeatureVolume::Span& sp : spans) {
    if (!joined.empty() && sp.lo <= joined.back().hi) joined.back().hi = std::max(joined.back().hi, sp.hi);
    else joined.push_back(sp);
  }
  return covering(joined);
}

// The deepest point of a cut where it meets the part, by its distance to the nearest volume.
void Run::Gouge(const PartCache& cache, const Stock& stock, int axis, size_t ray, double lo, double hi,
           const Canonical& canon, int move, Worst& worst) const {
  const float* part = &cache.pool[cache.start[ray]];
  const int n = static_cast<int>(part[0]);
  if (n == 0) return;
  const DexelGrid& g = stock.grid[axis];
  const int c1 = (axis + 1) % 3, c2 = (axis + 2) % 3;
  const int i = g.I(ray), j = g.J(ray);
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
void Run::Left(size_t k) {
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
    std::vector<FeatureVolume::Span> inside, deep, deeper;
    for (int i = i0; i <= i1; ++i) {
      double p[3] = {0, 0, 0};
      p[c1] = g.C1(i);
      p[c2] = g.C2(j);
      auto at = [&](double t) {
        double q[3] = {p[0], p[1], p[2]};
        q[axis] = t;
        return Vec3{q[0], q[1], q[2]};
      };
      double lo = 0, hi = 0;
      if (!stock.RayIn(p, axis, lo, hi)) continue;
      inside.clear();
      volume.Below({p[0], p[1], p[2]}, axis, lo, hi, 0, h / 16, inside);
      if (inside.empty()) continue;
      for (const FeatureVolume::Span& sp : inside) out.design += sp.hi - sp.lo;
      size_t count = 0;
      const Interval* list = g.Begin(g.Index(i, j), count);
      // The material within the volume, then within it deeper than the allowance.
      auto overlap = [&](const std::vector<FeatureVolume::Span>& spans, auto&& each) {
        double sum = 0;
        size_t q = 0;
        for (const FeatureVolume::Span& sp : spans)
          for (; q < count; ++q) {
            const double a = std::max<double>(sp.lo, list[q].lo), b = std::min<double>(sp.hi, list[q].hi);
            if (b > a) sum += b - a, each(a, b);
            if (list[q].hi > sp.hi) break;
          }
        return sum;
      };
      const double all = overlap(inside, [](double, double) {});
      if (!(all > 0)) continue;
      out.leftAll += all;
      deep.clear();
      volume.Below({p[0], p[1], p[2]}, axis, lo, hi, -limit, h / 16, deep);
      out.left += overlap(deep, [&](double a, double b) {
        // Its deepest point: where the piece lies deeper than the deepest found so far, if
        // anywhere, the middle of that stretch, until none is deeper (by an eighth of h).
        for (int round = 0; round < 16; ++round) {
          const double floor = std::max(limit, out.worst.any ? out.worst.depth : 0.0) + h / 8;
          deeper.clear();
          volume.Below({p[0], p[1], p[2]}, axis, a, b, -floor, h / 16, deeper);
          if (deeper.empty()) break;
          for (const FeatureVolume::Span& sp : deeper) {
            const Vec3 q = at((sp.lo + sp.hi) / 2);
            const double depth = -volume.Distance(q);
            if (depth > limit) out.worst.Note(depth, canon.frame.Apply(q), 0);
          }
        }
      });
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

void Run::Features() {
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
}  // namespace varnholt::simulate_detail

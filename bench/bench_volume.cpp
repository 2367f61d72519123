// Times the removal volumes' distance, which the material-removal check asks millions of times a
// run: a filleted pocket with a boss, a cone-bottomed hole and a slot along an arc, each sampled
// over a box twice its bounds (so that the early way out of the far points counts as it does in
// a real run). Run by hand: varnholt-bench-volume [samples].
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

#include "varnholt/feature_along.h"
#include "varnholt/feature_area.h"
#include "varnholt/feature_hole.h"
#include "varnholt/feature_volume.h"

using namespace varnholt;

namespace {

void Time(const char* what, const ModelFeature& feature, long samples) {
  Model model;
  model.features.push_back(feature);
  std::string why;
  const auto volume = MakeFeatureVolume(model, 0, why);
  if (!volume) {
    std::printf("%s: %s\n", what, why.c_str());
    return;
  }
  const Box& b = volume->bounds;
  // Without the `open` reach above: a box twice the part below the top.
  const Vec3 lo = b.low, hi{b.high.x, b.high.y, feature.placement.origin.z};
  const Vec3 mid = Mul(Add(lo, hi), 0.5), half = Sub(hi, mid);
  std::mt19937_64 random(1);
  std::uniform_real_distribution<double> unit(-2, 2);
  std::vector<Vec3> points(1 << 16);
  for (Vec3& p : points) p = {mid.x + half.x * unit(random), mid.y + half.y * unit(random), mid.z + half.z * unit(random)};
  double sum = 0;
  const auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < samples; ++i) sum += volume->Distance(points[i & (points.size() - 1)]);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-28s %8.1f ns a distance (%.3g)\n", what, seconds / samples * 1e9, sum);
}

}  // namespace

int main(int argc, char** argv) {
  const long samples = argc > 1 ? std::atol(argv[1]) : 10000000;
  ModelFeature pocket;
  pocket.placed = true;
  pocket.type = "closed_pocket";
  auto area = std::make_shared<AreaFeature>();
  area->hasDepth = true;
  area->depth.origin = {0, 0, -10};
  area->placed = true;
  area->boundary.kind = AreaProfile::Rectangle;
  area->boundary.length = 80;
  area->boundary.width = 50;
  area->orthogonalRadius = 6;
  area->planarRadius = 2;
  area->bottom.kind = AreaFeature::Bottom::Planar;
  AreaIsland boss;
  boss.given = boss.placed = true;
  boss.placement.origin = {10, 5, -3};
  boss.boundary.kind = AreaProfile::Circle;
  boss.boundary.diameter = 12;
  area->islands.push_back(boss);
  pocket.area = area;
  Time("pocket with fillet and boss", pocket, samples);

  ModelFeature hole;
  hole.placed = true;
  hole.type = "round_hole";
  auto h = std::make_shared<HoleFeature>();
  h->diameter = 12;
  h->depth = -30;
  h->bottom.kind = HoleFeature::Bottom::Conical;
  h->bottom.tipAngle = 118;
  hole.hole = h;
  Time("hole with cone", hole, samples);

  ModelFeature slot;
  slot.placed = true;
  slot.type = "slot";
  auto s = std::make_shared<AlongFeature>();
  s->hasDepth = true;
  s->depth = -8;
  s->path.kind = AlongPath::PartialCircular;
  s->path.radius = 40;
  s->path.sweep = 120;
  s->shape.kind = AlongShape::SquareU;
  s->shape.width = 10;
  s->shape.firstRadius = 2;
  s->ends.resize(2);
  s->ends[0].kind = AlongEnd::Flat;
  s->ends[1].kind = AlongEnd::Radiused;
  slot.along = s;
  Time("slot along an arc", slot, samples);
  return 0;
}

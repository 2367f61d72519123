// The removal volumes of the features: distances at points whose distance is known by hand for
// each kind of surface, volumes counted by sampling against the closed forms, and every
// feature of the real files given a volume around its drawn outline or a reason.
#include "varnholt/feature_volume.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cct/schema.h"
#include "support/real_files.h"
#include "varnholt/doc.h"
#include "varnholt/feature_along.h"
#include "varnholt/feature_area.h"
#include "varnholt/feature_hole.h"
#include "varnholt/model_read.h"
#include "varnholt/scene.h"

namespace {

using varnholt::AlongEnd;
using varnholt::AlongFeature;
using varnholt::AlongPath;
using varnholt::AlongShape;
using varnholt::AreaFeature;
using varnholt::AreaIsland;
using varnholt::AreaProfile;
using varnholt::FeatureVolume;
using varnholt::FeatureVolumeOptions;
using varnholt::HoleFeature;
using varnholt::Model;
using varnholt::ModelFeature;
using varnholt::Placement;
using varnholt::Vec3;

// Turned a quarter about z and moved: distances must not depend on where the feature stands.
Placement Somewhere() {
  Placement p;
  p.origin = {10, 20, 30};
  p.axis[0] = {0, 1, 0};
  p.axis[1] = {-1, 0, 0};
  return p;
}

Placement DepthAt(double z) {
  Placement p;
  p.origin = {0, 0, z};
  return p;
}

struct Built {
  Model model;
  std::unique_ptr<FeatureVolume> volume;
  std::string why;
};

template <typename F>
std::unique_ptr<Built> Make(F feature, const char* type, double open = 1000, const Placement& at = Somewhere()) {
  auto out = std::make_unique<Built>();
  ModelFeature f;
  f.name = "#1";
  f.type = type;
  f.placed = true;
  f.placement = at;
  using T = typename F::element_type;
  if constexpr (std::is_same_v<T, AreaFeature>) f.area = feature;
  if constexpr (std::is_same_v<T, HoleFeature>) f.hole = feature;
  if constexpr (std::is_same_v<T, AlongFeature>) f.along = feature;
  out->model.features.push_back(f);
  FeatureVolumeOptions options;
  options.open = open;
  out->volume = varnholt::MakeFeatureVolume(out->model, 0, out->why, options);
  return out;
}

AreaProfile Rectangle(double length, double width) {
  AreaProfile p;
  p.kind = AreaProfile::Rectangle;
  p.type = "rectangular_closed_profile";
  p.length = length;
  p.width = width;
  return p;
}

AreaProfile Circle(double diameter) {
  AreaProfile p;
  p.kind = AreaProfile::Circle;
  p.type = "circular_closed_profile";
  p.diameter = diameter;
  return p;
}

std::shared_ptr<AreaFeature> Pocket(const AreaProfile& boundary, double depth, double corner, double floor) {
  auto a = std::make_shared<AreaFeature>();
  a->kind = AreaFeature::ClosedPocket;
  a->hasDepth = true;
  a->depth = DepthAt(depth);
  a->placed = true;
  a->boundary = boundary;
  a->bottom.kind = AreaFeature::Bottom::Planar;
  a->orthogonalRadius = corner;
  a->planarRadius = floor;
  return a;
}

std::shared_ptr<HoleFeature> Hole(double diameter, double depth, HoleFeature::Bottom::Kind bottom) {
  auto h = std::make_shared<HoleFeature>();
  h->diameter = diameter;
  h->depth = depth;
  h->bottom.kind = bottom;
  return h;
}

std::shared_ptr<AlongFeature> Slot(double length, const AlongShape& shape, double depth, AlongEnd::Kind first,
                                   AlongEnd::Kind second) {
  auto s = std::make_shared<AlongFeature>();
  s->kind = AlongFeature::Slot;
  s->hasDepth = true;
  s->depth = depth;
  s->path.kind = AlongPath::Linear;
  s->path.type = "linear_path";
  s->path.distance = length;
  s->path.hasDirection = true;
  s->path.direction = {1, 0, 0};
  s->shape = shape;
  AlongEnd a, b;
  a.kind = first;
  b.kind = second;
  s->ends = {a, b};
  return s;
}

AlongShape SquareU(double width, double radius) {
  AlongShape s;
  s.kind = AlongShape::SquareU;
  s.type = "square_u_profile";
  s.width = width;
  s.firstRadius = s.secondRadius = radius;
  return s;
}

struct Point {
  const char* what;
  Vec3 local;  // in the feature's system
  double distance;
};

void ExpectDistances(const Built& b, const std::vector<Point>& points) {
  ASSERT_TRUE(b.volume) << b.why;
  const Placement& at = b.model.features[0].placement;
  for (const Point& p : points)
    EXPECT_NEAR(b.volume->Distance(at.Apply(p.local)), p.distance, 1e-6) << p.what;
}

// --- distances known by hand --------------------------------------------------------------

TEST(FeatureVolume, PocketWallsCornersFloorAndFillet) {
  // 40 by 20, 10 deep, corners rounded by 5 about (±15, ±5), a fillet of 2 at the floor.
  auto b = Make(Pocket(Rectangle(40, 20), -10, 5, 2), "closed_pocket", 5);
  ExpectDistances(*b, {
                          {"middle, the floor nearest", {0, 0, -5}, -5},
                          {"below the floor", {0, 0, -11}, 1},
                          {"beside a long wall", {0, 12, -5}, 2},
                          {"beside a short wall", {-23, 0, -5}, 3},
                          {"at the sharp corner the radius cuts off", {20, 10, -5}, std::sqrt(50.0) - 5},
                          {"inside the rounded corner", {17, 7, -5}, -(5 - std::sqrt(8.0))},
                          {"in the fillet's material", {0, 9.5, -9.5}, std::sqrt(4.5) - 2},
                          {"at the fillet's centre", {0, 8, -8}, -2},
                          {"above the open top", {0, 0, 6}, 1},
                          {"in the open top", {0, 0, 3}, -2},
                          // The fillet turns round the corner: a torus about (15, 5).
                          {"in the torus", {15 + 4.6 / std::sqrt(2.0), 5 + 4.6 / std::sqrt(2.0), -9.6}, std::hypot(1.6, 1.6) - 2},
                      });
  EXPECT_EQ(b->volume->type, "closed_pocket");
  EXPECT_EQ(b->volume->feature, "#1");
}

TEST(FeatureVolume, PocketSlopedWallsBossesAndThroughBottom) {
  auto sloped = Pocket(Circle(20), -10, 0, 0);
  sloped->slope = 45;  // degrees: the wall narrows by the depth towards the floor
  ExpectDistances(*Make(sloped, "closed_pocket"), {
                                                      {"on the axis, nearest the cone", {0, 0, -5}, -5 / std::sqrt(2.0)},
                                                      {"outside the cone", {8, 0, -5}, 3 / std::sqrt(2.0)},
                                                  });
  auto bossed = Pocket(Rectangle(40, 20), -10, 0, 0);
  AreaIsland boss;
  boss.given = boss.placed = true;
  boss.placement.origin = {0, 0, -4};
  boss.boundary = Circle(6);
  bossed->islands.push_back(boss);
  ExpectDistances(*Make(bossed, "closed_pocket"), {
                                                      {"in the boss", {0, 0, -7}, 3},
                                                      {"above the boss", {0, 0, -2}, -2},
                                                      {"beside the boss", {5, 0, -7}, -2},
                                                  });
  auto through = Pocket(Rectangle(40, 20), -10, 0, 3);
  through->bottom.kind = AreaFeature::Bottom::Through;
  ExpectDistances(*Make(through, "closed_pocket", 5), {
                                                          {"below the depth", {0, 0, -12}, -3},
                                                          {"past the open bottom", {0, 0, -16}, 1},
                                                      });
}

TEST(FeatureVolume, HoleBottoms) {
  auto cone = Hole(10, -20, HoleFeature::Bottom::Conical);
  cone->bottom.tipAngle = 118;
  const double apex = -20 - 5 / std::tan(59 * varnholt::kPi / 180);
  ExpectDistances(*Make(cone, "round_hole"), {
                                                 {"on the axis, the wall nearest", {0, 0, -10}, -5},
                                                 {"below the tip", {0, 0, apex - 1}, 1},
                                                 {"beside the wall", {7, 0, -10}, 2},
                                             });
  auto round = Hole(10, -20, HoleFeature::Bottom::FlatWithRadius);
  round->bottom.cornerRadius = 2;
  ExpectDistances(*Make(round, "round_hole"), {
                                                  {"in the torus's material", {4.5, 0, -19.5}, std::sqrt(4.5) - 2},
                                                  {"on the flat floor", {0, 0, -19}, -1},
                                              });
  auto sphere = Hole(10, -20, HoleFeature::Bottom::Spherical);
  sphere->bottom.radius = 5;
  ExpectDistances(*Make(sphere, "round_hole"), {
                                                   {"below the ball", {0, 0, -26}, 1},
                                                   {"in the ball", {0, 3, -21}, std::hypot(3.0, 1.0) - 5},
                                               });
  auto taper = Hole(10, -20, HoleFeature::Bottom::Flat);
  taper->taper.kind = HoleFeature::Taper::Diameter;
  taper->taper.finalDiameter = 6;
  // The wall from radius 5 at the top to 3 at the depth: a cone leaning by 2 in 20.
  const double lean = std::atan2(2.0, 20.0);
  ExpectDistances(*Make(taper, "round_hole"), {
                                                  {"beside the tapered wall", {6, 0, -10}, 2 * std::cos(lean)},
                                              });
}

TEST(FeatureVolume, SlotEndsOpenFlatAndRound) {
  // Along x from 0 to 50, 10 wide, 5 deep, corner radius 1 at the floor.
  auto flatRound = Slot(50, SquareU(10, 1), -5, AlongEnd::Flat, AlongEnd::Radiused);
  ExpectDistances(*Make(flatRound, "slot", 5),
                  {
                      {"in the middle", {25, 0, -2.5}, -2.5},
                      {"beyond the flat end", {-1, 0, -2.5}, 1},
                      {"beyond the flat end's edge", {-1, 6, -2.5}, std::sqrt(2.0)},
                      {"in the round end", {54, 0, -1}, -1},
                      {"beyond the round end", {56, 0, -2.5}, 1},
                      {"beside a wall", {25, 6, -2.5}, 1},
                      {"in the floor's corner", {25, 4.8, -4.8}, std::hypot(0.8, 0.8) - 1},
                  });
  auto open = Slot(50, SquareU(10, 0), -5, AlongEnd::Open, AlongEnd::Flat);
  open->ends[1].corner1 = open->ends[1].corner2 = 3;
  ExpectDistances(*Make(open, "slot", 5), {
                                              {"past the open start", {-4, 0, -2.5}, -2.5},
                                              {"beyond the open start's reach", {-11, 0, -2.5}, 1},
                                              {"outside the flat end's rounded corner", {49.5, 4.5, -2.5}, std::sqrt(12.5) - 3},
                                              {"inside the flat end", {49, 0, -2.5}, -1},
                                          });
  // 10 wide and 5 deep: its floor a half circle about the top's middle, its ends half balls.
  auto round = Slot(50, AlongShape{}, -5, AlongEnd::Radiused, AlongEnd::Radiused);
  round->shape.kind = AlongShape::RoundedU;
  round->shape.width = 10;
  ExpectDistances(*Make(round, "slot", 5), {
                                               {"below the round floor", {25, 0, -6}, 1},
                                               {"in the ball about the round end", {-3, 0, -2}, std::sqrt(13.0) - 5},
                                           });
}

TEST(FeatureVolume, KindsWithoutAVolumeSayWhy) {
  Model model;
  ModelFeature turned;
  turned.name = "#5";
  turned.type = "outer_diameter";
  turned.placed = true;
  model.features.push_back(turned);
  std::string why;
  EXPECT_EQ(varnholt::MakeFeatureVolume(model, 0, why), nullptr);
  EXPECT_NE(why.find("outer_diameter"), std::string::npos) << why;
  EXPECT_EQ(varnholt::MakeFeatureVolume(model, 3, why), nullptr);
  EXPECT_FALSE(why.empty());
  // A pocket without a depth, a hole with its bottom unset: their reasons, not a volume.
  auto shallow = Pocket(Rectangle(40, 20), 0, 0, 0);
  EXPECT_EQ(Make(shallow, "closed_pocket")->volume, nullptr);
  EXPECT_NE(Make(shallow, "closed_pocket")->why.find("depth"), std::string::npos);
  auto bottomless = Hole(10, -20, HoleFeature::Bottom::Unset);
  EXPECT_NE(Make(bottomless, "round_hole")->why.find("bottom"), std::string::npos);
  auto wide = Hole(10, -20, HoleFeature::Bottom::FlatWithRadius);
  wide->bottom.cornerRadius = 6;
  EXPECT_EQ(Make(wide, "round_hole")->volume, nullptr);
}

// --- volumes by sampling --------------------------------------------------------------------

double Sampled(const FeatureVolume& v, int samples) {
  std::mt19937_64 random(42);
  std::uniform_real_distribution<double> unit(0, 1);
  const Vec3 lo = v.bounds.low, hi = v.bounds.high;
  long inside = 0;
  for (int i = 0; i < samples; ++i) {
    const Vec3 p{lo.x + (hi.x - lo.x) * unit(random), lo.y + (hi.y - lo.y) * unit(random), lo.z + (hi.z - lo.z) * unit(random)};
    if (v.Inside(p)) ++inside;
  }
  return (hi.x - lo.x) * (hi.y - lo.y) * (hi.z - lo.z) * static_cast<double>(inside) / samples;
}

TEST(FeatureVolume, ClosedFormVolumesAgreeWithSampling) {
  std::vector<std::pair<std::string, std::unique_ptr<Built>>> cases;
  const Placement home;
  cases.emplace_back("rounded rectangle with a fillet", Make(Pocket(Rectangle(40, 20), -10, 5, 2), "closed_pocket", 0, home));
  cases.emplace_back("sharp rectangle with a fillet", Make(Pocket(Rectangle(30, 12), -6, 0, 4), "closed_pocket", 0, home));
  cases.emplace_back("circle with a fillet", Make(Pocket(Circle(20), -8, 0, 3), "closed_pocket", 0, home));
  // A fillet nearly as large as the pocket: most of the fillet runs round a curved wall.
  cases.emplace_back("small circle, large fillet", Make(Pocket(Circle(10), -4, 0, 4), "closed_pocket", 0, home));
  auto through = Pocket(Rectangle(30, 12), -6, 2, 0);
  through->bottom.kind = AreaFeature::Bottom::Through;
  cases.emplace_back("through pocket", Make(through, "closed_pocket", 0, home));
  auto cone = Hole(10, -20, HoleFeature::Bottom::Conical);
  cone->bottom.tipAngle = 90;
  cases.emplace_back("hole with a cone", Make(cone, "round_hole", 0, home));
  auto ball = Hole(10, -15, HoleFeature::Bottom::Spherical);
  ball->bottom.radius = 8;
  cases.emplace_back("hole with a ball", Make(ball, "round_hole", 0, home));
  auto corner = Hole(10, -15, HoleFeature::Bottom::FlatWithRadius);
  corner->bottom.cornerRadius = 3;
  cases.emplace_back("hole with a rounded floor", Make(corner, "round_hole", 0, home));
  auto taper = Hole(10, -15, HoleFeature::Bottom::Flat);
  taper->taper.kind = HoleFeature::Taper::Diameter;
  taper->taper.finalDiameter = 4;
  cases.emplace_back("tapered hole", Make(taper, "round_hole", 0, home));
  cases.emplace_back("square U, round ends", Make(Slot(40, SquareU(10, 2), -6, AlongEnd::Radiused, AlongEnd::Radiused), "slot", 0, home));
  cases.emplace_back("square U, flat ends", Make(Slot(40, SquareU(10, 2), -6, AlongEnd::Flat, AlongEnd::Flat), "slot", 0, home));
  auto partial = Slot(30, AlongShape{}, -4, AlongEnd::Flat, AlongEnd::Radiused);
  partial->shape.kind = AlongShape::PartialCircular;
  partial->shape.radius = 6;
  partial->shape.sweep = 120;
  cases.emplace_back("partial circle, one round end", Make(partial, "slot", 0, home));
  auto rounded = Slot(30, AlongShape{}, -8, AlongEnd::Radiused, AlongEnd::Flat);
  rounded->shape.kind = AlongShape::RoundedU;
  rounded->shape.width = 8;
  cases.emplace_back("rounded U", Make(rounded, "slot", 0, home));
  for (const auto& [what, b] : cases) {
    SCOPED_TRACE(what);
    ASSERT_TRUE(b->volume) << b->why;
    const double exact = b->volume->ExactVolume();
    ASSERT_TRUE(std::isfinite(exact));
    EXPECT_NEAR(Sampled(*b->volume, 400000), exact, 0.01 * exact);
  }
  // Where no closed form is known the volume says so.
  auto bossed = Pocket(Rectangle(40, 20), -10, 0, 0);
  AreaIsland boss;
  boss.given = boss.placed = true;
  boss.boundary = Circle(6);
  bossed->islands.push_back(boss);
  EXPECT_TRUE(std::isnan(Make(bossed, "closed_pocket")->volume->ExactVolume()));
}

// --- the stretches of a line below a level -------------------------------------------------

// Below against the distance asked every 0.01 mm along lines of each of the workpiece's axes:
// a point clearly below the level lies in a stretch, one clearly above in none. Lines along the
// feature's own axis take the column's way (and its halving where the distance only falls);
// the others march. The feature stands upright and upside down.
void ExpectBelowAgrees(const FeatureVolume& v, double zSpan, std::mt19937& random) {
  constexpr double kTol = 1e-3, kStep = 0.01;
  const double low[3] = {v.bounds.low.x, v.bounds.low.y, v.bounds.low.z};
  const double high[3] = {v.bounds.high.x, v.bounds.high.y, v.bounds.high.z};
  std::uniform_real_distribution<double> unit(0, 1);
  for (int line = 0; line < 60; ++line) {
    const int axis = line % 3;
    double p[3];
    for (int k = 0; k < 3; ++k) p[k] = low[k] - 1 + unit(random) * (std::min(high[k], low[k] + zSpan) - low[k] + 2);
    const double lo = low[axis] - 1, hi = std::min(high[axis], low[axis] + zSpan) + 1;
    for (double level : {0.1, 0.0, -0.3}) {
      std::vector<FeatureVolume::Span> spans;
      v.Below({p[0], p[1], p[2]}, axis, lo, hi, level, kTol, spans);
      for (size_t k = 1; k < spans.size(); ++k) ASSERT_LT(spans[k - 1].hi, spans[k].lo) << "in order, apart";
      for (double t = lo; t <= hi; t += kStep) {
        double q[3] = {p[0], p[1], p[2]};
        q[axis] = t;
        const double d = v.Distance({q[0], q[1], q[2]});
        bool in = false;
        for (const FeatureVolume::Span& sp : spans) in = in || (t >= sp.lo - kTol && t <= sp.hi + kTol);
        if (d < level - 4 * kTol) {
          ASSERT_TRUE(in) << "axis " << axis << " at " << t << " distance " << d << " level " << level;
        }
        if (d > level + 4 * kTol) {
          bool near = false;
          for (const FeatureVolume::Span& sp : spans) near = near || (t > sp.lo + kTol && t < sp.hi - kTol);
          ASSERT_FALSE(near) << "axis " << axis << " at " << t << " distance " << d << " level " << level;
        }
      }
    }
  }
}

TEST(FeatureVolume, StretchesBelowALevelAgreeWithTheDistanceAlongTheAxesLines) {
  Placement down;
  down.origin = {5, -5, 40};
  down.axis[0] = {1, 0, 0};
  down.axis[1] = {0, -1, 0};
  down.axis[2] = {0, 0, -1};
  auto filleted = Pocket(Rectangle(40, 20), -10, 4, 2);
  auto sloped = Pocket(Circle(20), -10, 0, 0);
  sloped->slope = 30;
  AreaIsland boss;
  boss.given = boss.placed = true;
  boss.placement.origin = {2, 0, -4};
  boss.boundary = Circle(6);
  sloped->islands.push_back(boss);
  auto through = Pocket(Rectangle(30, 12), -8, 3, 0);
  through->bottom.kind = AreaFeature::Bottom::Through;
  auto cone = Hole(10, -20, HoleFeature::Bottom::Conical);
  cone->bottom.tipAngle = 118;
  auto rounded = Hole(12, -15, HoleFeature::Bottom::FlatWithRadius);
  rounded->bottom.cornerRadius = 2;
  auto narrowing = Hole(10, -20, HoleFeature::Bottom::Flat);
  narrowing->taper.kind = HoleFeature::Taper::Diameter;
  narrowing->taper.finalDiameter = 6;
  auto widening = Hole(6, -20, HoleFeature::Bottom::Flat);
  widening->taper.kind = HoleFeature::Taper::Diameter;
  widening->taper.finalDiameter = 10;
  auto slot = Slot(50, SquareU(8, 2), -6, AlongEnd::Radiused, AlongEnd::Flat);
  slot->ends[1].corner1 = slot->ends[1].corner2 = 1;
  // Every other section, each widening upwards in its own way.
  AlongShape rounded_u;
  rounded_u.kind = AlongShape::RoundedU;
  rounded_u.width = 10;
  AlongShape vee;
  vee.kind = AlongShape::Vee;
  vee.angle = 60;
  vee.profileRadius = 1;
  AlongShape arc, deep_arc;
  arc.kind = deep_arc.kind = AlongShape::PartialCircular;
  arc.radius = 6;
  arc.sweep = 120;
  deep_arc.radius = 5;
  deep_arc.sweep = 300;
  auto round_slot = Slot(40, rounded_u, -7, AlongEnd::Radiused, AlongEnd::Radiused);
  auto vee_slot = Slot(40, vee, -5, AlongEnd::Flat, AlongEnd::Radiused);
  auto arc_slot = Slot(40, arc, -4, AlongEnd::Radiused, AlongEnd::Flat);
  auto deep_arc_slot = Slot(40, deep_arc, -8, AlongEnd::Flat, AlongEnd::Flat);
  std::mt19937 random(7);
  for (const Placement& at : {Somewhere(), down}) {
    for (double open : {5.0, 1000.0}) {
      SCOPED_TRACE(std::string(at.axis[2].z < 0 ? "upside down" : "upright") + ", open " + std::to_string(open));
      std::vector<std::unique_ptr<Built>> built;
      built.push_back(Make(filleted, "closed_pocket", open, at));
      built.push_back(Make(sloped, "closed_pocket", open, at));
      built.push_back(Make(through, "closed_pocket", open, at));
      built.push_back(Make(cone, "round_hole", open, at));
      built.push_back(Make(rounded, "round_hole", open, at));
      built.push_back(Make(narrowing, "round_hole", open, at));
      built.push_back(Make(widening, "round_hole", open, at));
      built.push_back(Make(slot, "slot", open, at));
      built.push_back(Make(round_slot, "slot", open, at));
      built.push_back(Make(vee_slot, "slot", open, at));
      built.push_back(Make(arc_slot, "slot", open, at));
      built.push_back(Make(deep_arc_slot, "slot", open, at));
      for (size_t k = 0; k < built.size(); ++k) {
        SCOPED_TRACE("volume " + std::to_string(k));
        ASSERT_TRUE(built[k]->volume) << built[k]->why;
        ExpectBelowAgrees(*built[k]->volume, 40, random);
      }
    }
  }
}

// --- the real files -------------------------------------------------------------------------

// The same of every volume of the samples: outside profiles, steps and the other kinds as
// files give them.
TEST(FeatureVolume, StretchesBelowALevelAgreeOnTheSamples) {
  RegisterTypeNames();
  RegisterEntityNames();
  std::mt19937 random(11);
  size_t checked = 0;
  for (const std::filesystem::path& path : RealFiles({VARNHOLT_SOURCE_DIR "/samples"})) {
    SCOPED_TRACE(path.string());
    CDoc doc;
    if (!doc.OnOpenDocument(path.c_str())) continue;
    CDoc::LogRoute route(doc);
    const Model model = varnholt::ReadModel(*doc.Scope());
    std::vector<std::string> whys;
    FeatureVolumeOptions options;
    options.open = 20;
    for (const auto& v : varnholt::MakeFeatureVolumes(model, whys, options)) {
      if (!v) continue;
      SCOPED_TRACE(v->feature + " " + v->type);
      ExpectBelowAgrees(*v, 60, random);
      ++checked;
    }
  }
  EXPECT_GT(checked, 10u);
}

// Every feature of the samples and the corpus has a volume or a reason; a volume's bounds (with
// nothing open beyond the feature) hold the outline the scene draws of the feature.
TEST(FeatureVolume, EveryFeatureOfTheRealFilesHasAVolumeAroundItsOutlineOrAReason) {
  RegisterTypeNames();
  RegisterEntityNames();
  size_t volumes = 0, reasons = 0, checked = 0;
  for (const std::filesystem::path& path :
       RealFiles({VARNHOLT_SOURCE_DIR "/samples", VARNHOLT_SOURCE_DIR "/../shared/corpus"})) {
    SCOPED_TRACE(path.string());
    CDoc doc;
    if (!doc.OnOpenDocument(path.c_str())) continue;
    CDoc::LogRoute route(doc);
    const Model model = varnholt::ReadModel(*doc.Scope());
    const varnholt::Scene scene = varnholt::BuildScene(*doc.Scope(), {}, false, &model);
    std::vector<std::string> whys;
    FeatureVolumeOptions tight;
    tight.open = 0;
    const auto all = varnholt::MakeFeatureVolumes(model, whys, tight);
    ASSERT_EQ(all.size(), model.features.size());
    for (size_t i = 0; i < all.size(); ++i) {
      const ModelFeature& f = model.features[i];
      SCOPED_TRACE(f.name + " " + f.type);
      if (!all[i]) {
        EXPECT_FALSE(whys[i].empty());
        ++reasons;
        continue;
      }
      ++volumes;
      const FeatureVolume& v = *all[i];
      ASSERT_FALSE(v.bounds.empty);
      ASSERT_TRUE(varnholt::Finite(v.bounds.low) && varnholt::Finite(v.bounds.high));
      EXPECT_TRUE(std::isfinite(v.Distance(f.placement.origin)));
      // The scene draws the feature in the machine's system through one of the setups: back
      // into the workpiece's, its points lie within the bounds.
      std::vector<Vec3> drawn;
      for (const varnholt::ScenePath& p : scene.paths)
        if (p.kind == varnholt::ShapeKind::Feature && p.source == f.name) drawn.insert(drawn.end(), p.points.begin(), p.points.end());
      if (drawn.empty()) continue;
      std::vector<Placement> frames{Placement{}};
      for (const varnholt::ModelSetup& s : model.setups) {
        frames.push_back(s.origin);
        for (const auto& w : s.workpieces)
          if (w.workpiece == f.workpiece) frames.push_back(w.frame.Within(s.origin));
      }
      const double size = std::max({v.bounds.high.x - v.bounds.low.x, v.bounds.high.y - v.bounds.low.y, 1.0});
      // The scene draws a partial circular slot as wide as its circle, where the arc cut off by
      // the top is narrower: a hundredth of the size passes that and catches a misplaced solid.
      const double tolerance = 1e-2 * size;
      bool fits = false;
      for (const Placement& frame : frames) {
        bool all_in = true;
        const Placement feature = f.placement.Within(frame);
        for (const Vec3& p : drawn) {
          // A path whose placement is tilted is drawn out of the feature's plane, where the
          // generators (and the volume) read it in the plane: those points stand above the top.
          if (feature.Local(p).z > tolerance) continue;
          const Vec3 q = frame.Local(p);
          all_in = all_in && q.x > v.bounds.low.x - tolerance && q.x < v.bounds.high.x + tolerance &&
                   q.y > v.bounds.low.y - tolerance && q.y < v.bounds.high.y + tolerance &&
                   q.z > v.bounds.low.z - tolerance && q.z < v.bounds.high.z + tolerance;
        }
        fits = fits || all_in;
      }
      EXPECT_TRUE(fits) << "bounds (" << v.bounds.low.x << ", " << v.bounds.low.y << ", " << v.bounds.low.z << ") - ("
                        << v.bounds.high.x << ", " << v.bounds.high.y << ", " << v.bounds.high.z << ") drawn to (" << drawn.back().x
                        << ", " << drawn.back().y << ", " << drawn.back().z << ")";
      ++checked;
    }
  }
  std::cerr << volumes << " volumes, " << reasons << " reasons, " << checked << " against their outlines\n";
  EXPECT_GT(volumes, 10u);
}

}  // namespace

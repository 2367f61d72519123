// Slots, steps and profiles: the moves the program gives, measured against the feature. No cut
// leaves the feature (less its allowances) for the tool's end, the floor is reached everywhere
// within the tool's radius, rapids stay above the clearance height, and what cannot be cut is a
// reason. Also every workingstep of the real files gets moves or a reason.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <iostream>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "generate_fixture.h"
#include "support/real_files.h"

using namespace gen;

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// Where a tip lies across a feature's line: its signed offset, and whether it is within the
// feature's length along the line.
struct Across {
  double u = 0;
  bool along = true;
};

// Distance from p to the segment a-b, and the side (left of a->b positive).
Across OnSegment(const Vec3& p, double ax, double ay, double bx, double by, double lo, double hi) {
  const double dx = bx - ax, dy = by - ay, l = std::hypot(dx, dy);
  const double t = ((p.x - ax) * dx + (p.y - ay) * dy) / l;
  const double u = (-(p.x - ax) * dy + (p.y - ay) * dx) / l;
  return {u, t >= lo - kTol && t <= l - hi + kTol};
}

struct Row {
  Row(const char* n, std::string f, std::string op, ToolSpec t, Vec3 o, double d)
      : name(n), feature(std::move(f)), operation(std::move(op)), tool(std::move(t)), origin(o), depth(d) {}
  const char* name;
  std::string feature, operation;
  ToolSpec tool;
  Vec3 origin;
  double depth;
  std::function<Across(const Vec3&)> across;  // null: `allowed` says
  std::function<double(double)> floor;        // the floor across, 0 beyond the walls
  std::function<bool(const Vec3&)> allowed;   // for features that are no section along a line
  std::vector<Vec3> covered;                  // floor points every one of which is reached
  double deepest = kNone;
  std::string reason;
};

std::string Milling(const std::string& kind, const std::string& tail) {
  return Operation(kind, tail) + "\n#71=CONTOUR_PARALLEL($,$,$,.CLIMB.);\n#72=PLUNGE_RAMP($,10.);";
}
const std::string kRough = "BOTTOM_AND_SIDE_ROUGH_MILLING";

std::string Slot(const std::string& path, const std::string& shape, const std::string& ends = "#63,#63",
                 const std::string& endRecord = "#63=OPEN_SLOT_END_TYPE();") {
  return "#60=SLOT('slot',#10,(#70),#30,#32,#61,#62,(" + ends + "));\n#61=" + path + ";\n#62=" + shape + ";\n" + endRecord +
         "\n#64=" + Length(60) + ";\n#65=DIRECTION('',(1.,0.,0.));";
}

// Floors across a slot of half width h: flat at -d, beyond the walls the top.
std::function<double(double)> FlatFloor(double h, double d) {
  return [h, d](double u) { return std::fabs(u) <= h + kTol ? -d : 0.0; };
}

std::vector<Vec3> Grid(double x0, double x1, double y0, double y1, double z, int nx = 30, int ny = 12) {
  std::vector<Vec3> out;
  for (int i = 0; i <= nx; ++i)
    for (int j = 0; j <= ny; ++j) out.push_back({x0 + (x1 - x0) * i / nx, y0 + (y1 - y0) * j / ny, z});
  return out;
}

std::vector<Row> Rows() {
  std::vector<Row> rows;
  const ToolSpec mill{"ENDMILL", 6}, ball{"BALL_ENDMILL", 6}, small{"ENDMILL", 4};
  const Vec3 at{20, 40, 20};
  const std::string straight = "LINEAR_PATH($,#64,#65)";
  {
    // Sixty long, sixteen wide, six deep; half a millimetre left on the walls, 0.2 on the floor.
    Row r{"a square U slot with open ends", Slot(straight, "SQUARE_U_PROFILE($,#66,#67,0.,#67,0.)") + "\n#66=" + Length(16) +
                                                 ";\n#67=" + Length(0) + ";",
          Milling(kRough, "#72,$,#71,2.5,3.,0.5,0.2"), mill, at, 6};
    r.across = [](const Vec3& p) { return OnSegment(p, 0, 0, 60, 0, 0, 0); };
    r.floor = FlatFloor(8 - 0.5, 6 - 0.2);
    r.covered = Grid(0, 60, -7.5, 7.5, -5.8);
    r.deepest = -5.8;
    rows.push_back(r);
  }
  {
    Row r{"a square U slot with flat ends",
          Slot(straight, "SQUARE_U_PROFILE($,#66,#67,0.,#67,0.)", "#63,#63", "#63=FLAT_SLOT_END_TYPE(#67,#67);") + "\n#66=" +
              Length(16) + ";\n#67=" + Length(1) + ";",
          Milling(kRough, "#72,$,#71,3.,4.,0.,0."), mill, at, 6};
    r.across = [](const Vec3& p) { return OnSegment(p, 0, 0, 60, 0, 3, 3); };
    // The corners' radius of one millimetre is rounder than the flat end mill's.
    r.floor = FlatFloor(8 - 1, 6);
    r.covered = Grid(3, 57, -7, 7, -6);
    r.deepest = -6;
    rows.push_back(r);
  }
  {
    Row r{"a rounded U slot cut with a ball", Slot(straight, "ROUNDED_U_PROFILE($,#66)") + "\n#66=" + Length(12) + ";",
          Milling(kRough, "#72,$,#71,3.,1.5,0.,0."), ball, at, 8};
    r.across = [](const Vec3& p) { return OnSegment(p, 0, 0, 60, 0, 0, 0); };
    r.floor = [](double u) {
      return std::fabs(u) > 6 + kTol ? 0.0 : std::min(0.0, -8 + 6 - std::sqrt(std::max(0.0, 36 - u * u)));
    };
    r.deepest = -8;
    rows.push_back(r);
  }
  {
    Row r{"a vee slot cut with a flat end", Slot(straight, "VEE_PROFILE($,#66,90.,0.)") + "\n#66=" + Length(0) + ";",
          Milling(kRough, "#72,$,#71,2.,1.,0.,0."), small, at, 6};
    r.across = [](const Vec3& p) { return OnSegment(p, 0, 0, 60, 0, 0, 0); };
    r.floor = [](double u) { return std::min(0.0, -6 + std::fabs(u)); };
    r.deepest = -4;  // the flat end's edge touches the flanks two below the point
    rows.push_back(r);
  }
  {
    // An arc of radius ten over 120 degrees, its lowest point on the depth plane.
    Row r{"a partial circular slot", Slot(straight, "PARTIAL_CIRCULAR_PROFILE($,#66,120.)") + "\n#66=" + Length(10) + ";",
          Milling(kRough, "#72,$,#71,2.,1.,0.,0."), ball, at, 4};
    r.across = [](const Vec3& p) { return OnSegment(p, 0, 0, 60, 0, 0, 0); };
    r.floor = [](double u) { return std::fabs(u) > 8 ? 0.0 : std::min(0.0, 6 - std::sqrt(100 - u * u)); };
    r.deepest = -4;
    rows.push_back(r);
  }
  {
    Row r{"a ring slot", Slot("COMPLETE_CIRCULAR_PATH($,#64)", "SQUARE_U_PROFILE($,#66,#67,0.,#67,0.)", "#63", "#63=LOOP_SLOT_END_TYPE();") +
                             "\n#66=" + Length(10) + ";\n#67=" + Length(0) + ";\n#68=" + Length(20) + ";",
          Milling(kRough, "#72,$,#71,4.,3.,0.,0."), mill, {50, 40, 20}, 4};
    r.feature.replace(r.feature.find("COMPLETE_CIRCULAR_PATH($,#64)"), 29, "COMPLETE_CIRCULAR_PATH($,#68)");
    r.across = [](const Vec3& p) { return Across{std::hypot(p.x, p.y) - 20, true}; };
    r.floor = FlatFloor(5, 4);
    for (int k = 0; k < 72; ++k)
      for (double u : {-5.0, -2.5, 0.0, 2.5, 5.0})
        r.covered.push_back({(20 + u) * std::cos(k * kPi / 36), (20 + u) * std::sin(k * kPi / 36), -4});
    r.deepest = -4;
    rows.push_back(r);
  }
  {
    // Along (0,0) (40,0) (40,30): an outer and an inner corner.
    Row r{"a slot along a general path",
          Slot("GENERAL_PATH($,#68)", "SQUARE_U_PROFILE($,#66,#67,0.,#67,0.)") + "\n#66=" + Length(12) + ";\n#67=" + Length(0) +
              ";\n#68=POLYLINE('',(#13,#80,#81));\n#80=CARTESIAN_POINT('',(40.,0.,0.));\n#81=CARTESIAN_POINT('',(40.,30.,0.));",
          Milling(kRough, "#72,$,#71,3.,3.,0.,0."), mill, {10, 20, 20}, 3};
    r.allowed = [](const Vec3& p) {
      const Across a = OnSegment(p, 0, 0, 40, 0, 0, 0), b = OnSegment(p, 40, 0, 40, 30, 0, 0);
      const double corner = std::hypot(p.x - 40, p.y);
      const bool nearA = a.along && std::fabs(a.u) <= 3 + kTol, nearB = b.along && std::fabs(b.u) <= 3 + kTol;
      return (nearA || nearB || corner <= 3 + kTol) && p.z >= -3 - kTol;
    };
    r.covered = Grid(0, 40, -6, 6, -3, 20, 6);
    for (const Vec3& p : Grid(34, 46, 0, 30, -3, 6, 15)) r.covered.push_back(p);
    r.deepest = -3;
    rows.push_back(r);
  }
  {
    // The boundary runs along y fifteen from the block's right edge: the step is the strip to
    // its right, the wall at its left.
    Row r{"a step",
          "#60=STEP('step',#10,(#70),#30,#32,#61,#62,());\n#61=LINEAR_PATH($,#64,#65);\n#62=VEE_PROFILE($,#66,90.,90.);\n#64=" +
              Length(80) + ";\n#65=DIRECTION('',(0.,1.,0.));\n#66=" + Length(0) + ";",
          Milling(kRough, "$,$,#71,2.5,4.,0.3,0."), mill, {85, 0, 20}, 5};
    r.allowed = [](const Vec3& p) { return p.x >= 3.3 - kTol && p.y >= -kTol && p.y <= 80 + kTol && p.z >= -5 - kTol; };
    r.covered = Grid(0.3, 15, 0, 80, -5, 10, 20);
    r.deepest = -5;
    rows.push_back(r);
  }
  {
    Row r{"an outside profile round a circle",
          "#60=GENERAL_OUTSIDE_PROFILE('prof',#10,(#70),#30,#32,#61,#62);\n#61=LINEAR_PATH($,#64,#19);\n#62=CIRCULAR_CLOSED_PROFILE($,#66);\n#64=" +
              Length(4) + ";\n#66=" + Length(30) + ";",
          Milling("SIDE_ROUGH_MILLING", "#72,$,#71,2.,$,0.5"), mill, {50, 40, 20}, 4};
    r.allowed = [](const Vec3& p) { return std::hypot(p.x, p.y) >= 15.5 + 3 - kTol && p.z >= -4 - kTol; };
    for (int k = 0; k < 72; ++k) r.covered.push_back({15.5 * std::cos(k * kPi / 36), 15.5 * std::sin(k * kPi / 36), -4});
    r.deepest = -4;
    rows.push_back(r);
  }
  {
    Row r{"an outside profile round a rectangle",
          "#60=GENERAL_OUTSIDE_PROFILE('prof',#10,(#70),#30,#32,#61,#62);\n#61=LINEAR_PATH($,#64,#19);\n#62=RECTANGULAR_CLOSED_PROFILE($,#66,#67);\n#64=" +
              Length(4) + ";\n#66=" + Length(20) + ";\n#67=" + Length(40) + ";",
          Milling("SIDE_ROUGH_MILLING", "#72,$,#71,4.,$,0."), mill, {50, 40, 20}, 4};
    r.allowed = [](const Vec3& p) {
      const double dx = std::max(0.0, std::fabs(p.x) - 20), dy = std::max(0.0, std::fabs(p.y) - 10);
      return std::hypot(dx, dy) >= 3 - kTol && p.z >= -4 - kTol;
    };
    for (double k = 0; k <= 40; ++k) r.covered.push_back({-20 + k, -10, -4}), r.covered.push_back({-20 + k, 10, -4});
    for (double k = 0; k <= 20; ++k) r.covered.push_back({-20, -10 + k, -4}), r.covered.push_back({20, -10 + k, -4});
    r.deepest = -4;
    rows.push_back(r);
  }
  {
    // An open line with the material removed below it.
    Row r{"a shape profile along an open line",
          "#60=GENERAL_SHAPE_PROFILE('prof',#10,(#70),#30,#32,#61,#63,#19,#62);\n#61=LINEAR_PATH($,#64,#19);\n#62=GENERAL_PROFILE($,#68);\n"
          "#63=THROUGH_PROFILE_FLOOR();\n#64=" + Length(3) + ";\n#68=POLYLINE('',(#13,#80));\n#80=CARTESIAN_POINT('',(50.,0.,0.));",
          Milling("SIDE_ROUGH_MILLING", "#72,$,#71,3.,$,0."), mill, {20, 40, 20}, 3};
    r.feature.replace(r.feature.find(",#19,#62);"), 10, ",#81,#62);\n#81=DIRECTION('',(0.,-1.,0.));");
    r.allowed = [](const Vec3& p) { return p.y <= -3 + kTol && p.z >= -3 - kTol; };
    for (int k = 0; k <= 50; ++k) r.covered.push_back({static_cast<double>(k), 0, -3});
    r.deepest = -3;
    rows.push_back(r);
  }
  {
    Row r{"a slot narrower than the tool", Slot(straight, "SQUARE_U_PROFILE($,#66,#67,0.,#67,0.)") + "\n#66=" + Length(5) +
                                               ";\n#67=" + Length(0) + ";",
          Milling(kRough, "$,$,#71,2.,3.,0.,0."), mill, at, 6};
    r.reason = "wider than the slot";
    rows.push_back(r);
  }
  {
    Row r{"a slot of a tilted vee", Slot(straight, "VEE_PROFILE($,#66,90.,20.)") + "\n#66=" + Length(0) + ";",
          Milling(kRough, "$,$,#71,2.,3.,0.,0."), mill, at, 6};
    r.reason = "tilted vee";
    rows.push_back(r);
  }
  {
    Row r{"a slot drilled", Slot(straight, "ROUNDED_U_PROFILE($,#66)") + "\n#66=" + Length(12) + ";",
          Operation("DRILLING", "$,$,$,$,$"), mill, at, 6};
    r.reason = "is milled";
    rows.push_back(r);
  }
  return rows;
}

}  // namespace

TEST(GenerateAlong, FeaturesAreCutWithinThemAndToTheirFloor) {
  for (const Row& row : Rows()) {
    const StepRun run = Build(File(row.feature, row.operation, row.tool, row.origin, row.depth), row.origin);
    ASSERT_EQ(run.steps, 1) << row.name;
    if (!row.reason.empty()) {
      EXPECT_TRUE(run.moves.empty()) << row.name;
      EXPECT_NE(run.reason.find(row.reason), std::string::npos) << row.name << ": " << run.reason;
      continue;
    }
    ASSERT_FALSE(run.moves.empty()) << row.name << ": " << run.reason;
    ExpectSafeRapids(run, row.name);
    if (!std::isnan(row.deepest)) {
      EXPECT_NEAR(Deepest(run), row.deepest, 1e-6) << row.name;
    }
    const double r = row.tool.diameter / 2;
    const auto lift = Lift(row.tool);
    if (row.allowed) {
      ExpectNoGouge(run, row.allowed, row.name);
    } else {
      ExpectNoGouge(run, [&](const Vec3& p) {
        const Across a = row.across(p);
        if (!a.along) return false;
        for (int k = -40; k <= 40; ++k) {
          const double s = r * k / 40;
          if (p.z + lift(s) < row.floor(a.u + s) - kTol) return false;
        }
        return true;
      }, row.name);
    }
    if (!row.covered.empty()) ExpectCovered(run, row.covered, r, row.name);
  }
}

// Climb milling keeps the material on the right of the travel: clockwise round an outside
// profile, and along a step with its wall on the right.
TEST(GenerateAlong, ClimbAndConventionalRunOppositeWays) {
  for (const char* mode : {".CLIMB.", ".CONVENTIONAL."}) {
    const std::string profile =
        "#60=GENERAL_OUTSIDE_PROFILE('prof',#10,(#70),#30,#32,#61,#62);\n#61=LINEAR_PATH($,#64,#19);\n"
        "#62=CIRCULAR_CLOSED_PROFILE($,#66);\n#64=" + Length(4) + ";\n#66=" + Length(30) + ";";
    const std::string op = Operation("SIDE_ROUGH_MILLING", "$,$,#71,4.,$,0.") + "\n#71=CONTOUR_PARALLEL($,$,$," + mode + ");";
    const StepRun run = Build(File(profile, op, {"ENDMILL", 6}, {50, 40, 20}, 4), {50, 40, 20});
    ASSERT_FALSE(run.moves.empty()) << run.reason;
    double turning = 0;
    Vec3 at = run.start;
    for (const Sample& s : Samples(run)) {
      if (Cutting(*s.move) && s.p.z < -1e-9 && at.z < -1e-9) turning += at.x * s.p.y - at.y * s.p.x;
      at = s.p;
    }
    if (std::string(mode) == ".CLIMB.")
      EXPECT_LT(turning, 0) << "climb runs clockwise round the part";
    else
      EXPECT_GT(turning, 0) << "conventional runs counter-clockwise round the part";
  }
}

TEST(GenerateAlong, ArcsOfTheFeatureStayArcs) {
  const std::string ring = "#60=SLOT('slot',#10,(#70),#30,#32,#61,#62,(#63));\n#61=COMPLETE_CIRCULAR_PATH($,#64);\n"
                           "#62=SQUARE_U_PROFILE($,#66,#67,0.,#67,0.);\n#63=LOOP_SLOT_END_TYPE();\n#64=" + Length(20) +
                           ";\n#66=" + Length(10) + ";\n#67=" + Length(0) + ";";
  const StepRun run = Build(File(ring, Operation(kRough, "$,$,$,4.,3.,0.,0."), {"ENDMILL", 6}, {50, 40, 20}, 4), {50, 40, 20});
  ASSERT_FALSE(run.moves.empty()) << run.reason;
  int arcs = 0, feedsAlong = 0;
  Vec3 at = run.start;
  for (const Move& m : run.moves) {
    if (m.kind == MoveKind::Arc) {
      ++arcs;
      EXPECT_NEAR(std::hypot(m.center.x, m.center.y), 0, 1e-9);
      EXPECT_NEAR(std::hypot(m.to.x, m.to.y), std::hypot(at.x, at.y), 1e-9) << "an arc about the ring's centre";
    } else if (m.kind == MoveKind::Feed && std::fabs(m.to.z - at.z) < 1e-12 &&
               std::fabs(std::hypot(m.to.x, m.to.y) - std::hypot(at.x, at.y)) < 1e-9) {
      ++feedsAlong;
    }
    at = m.to;
  }
  EXPECT_GT(arcs, 0);
  EXPECT_EQ(feedsAlong, 0) << "no arc of the ring is written as lines";
}

// Every workingstep of the real files gets moves or says why not.
TEST(GenerateAlong, EveryWorkingstepOfTheRealFilesGetsMovesOrAReason) {
  const std::vector<std::filesystem::path> files = RealFiles({VARNHOLT_CORPUS_DIR});
  if (files.empty()) GTEST_SKIP() << "no corpus at " << VARNHOLT_CORPUS_DIR;
  RegisterTypeNames();
  RegisterEntityNames();
  for (const std::filesystem::path& path : files) {
    CDoc doc;
    if (!doc.OnOpenDocument(path.string().c_str())) continue;
    CDoc::LogRoute route(doc);
    const varnholt::Program program = varnholt::BuildProgram(*doc.Scope());
    int moved = 0;
    for (const varnholt::ProgramStep& step : program.steps) {
      EXPECT_TRUE(step.moves.empty() != step.reason.empty()) << path.filename() << " " << step.name;
      moved += !step.moves.empty();
    }
    std::cout << path.filename().string() << ": " << moved << " of " << program.steps.size()
              << " workingsteps have moves\n";
  }
}

// Generated toolpaths of faces and pockets, measured on the moves BuildProgram gives: the tool
// (a cylinder of its diameter) never enters the part, the floor is covered, the allowances are
// left, no level is deeper than the axial cutting depth and every rapid runs at the clear height.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include <unistd.h>

#include "cct/factory.h"
#include "cct/schema.h"
#include "varnholt/doc.h"
#include "varnholt/program.h"

namespace fs = std::filesystem;
using varnholt::Move;
using varnholt::MoveKind;
using varnholt::Vec3;

namespace {

constexpr double kGouge = 1e-6;
constexpr double kClearZ = 5;

struct P2 {
  double x, y;
};
double Len(double x, double y) { return std::hypot(x, y); }

double SegmentDistance(const P2& p, const P2& a, const P2& b) {
  const double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
  double t = l2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / l2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return Len(p.x - a.x - t * dx, p.y - a.y - t * dy);
}
bool InPolygon(const P2& p, const std::vector<P2>& poly) {
  bool in = false;
  for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++)
    if ((poly[i].y > p.y) != (poly[j].y > p.y) &&
        p.x < (poly[j].x - poly[i].x) * (p.y - poly[i].y) / (poly[j].y - poly[i].y) + poly[i].x)
      in = !in;
  return in;
}
double PolylineDistance(const P2& p, const std::vector<P2>& line, bool closed) {
  double d = std::numeric_limits<double>::infinity();
  for (size_t i = 0; i + 1 < line.size(); ++i) d = std::min(d, SegmentDistance(p, line[i], line[i + 1]));
  if (closed) d = std::min(d, SegmentDistance(p, line.back(), line.front()));
  return d;
}

// How far a point is from the part's material at the walls: positive where the tool's centre
// may be, negative inside the material.
using Clearance = std::function<double(const P2&)>;

Clearance RoundRect(double hx, double hy, double r) {
  return [=](const P2& p) {
    const double qx = std::fabs(p.x) - (hx - r), qy = std::fabs(p.y) - (hy - r);
    const double sdf = Len(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) - r;
    return -sdf;
  };
}
Clearance Circle(double cx, double cy, double r, bool island) {
  return [=](const P2& p) { return island ? Len(p.x - cx, p.y - cy) - r : r - Len(p.x - cx, p.y - cy); };
}
Clearance Polygon(std::vector<P2> poly) {
  return [=](const P2& p) { return (InPolygon(p, poly) ? 1 : -1) * PolylineDistance(p, poly, true); };
}
// Walls along an open polyline; the pocket is open across from its last point to its first.
Clearance OpenWalls(std::vector<P2> walls, P2 outward) {
  return [=](const P2& p) {
    const double beyond = (p.x - walls.front().x) * outward.x + (p.y - walls.front().y) * outward.y;
    const bool free = beyond >= -1e-9 || InPolygon(p, walls);
    return (free ? 1 : -1) * PolylineDistance(p, walls, false);
  };
}

struct IslandModel {
  Clearance clearance;
  double top;
};

// One feature: its entities (instances from #200 on, its placement #190 at the origin) and
// the volume they describe.
struct FeatureCase {
  const char* name;
  std::string entities;  // defines #200 as the feature; its_operations (#300)
  bool face;
  Clearance walls;       // null for a face: open all round
  std::vector<IslandModel> islands;
  double floor;
  P2 low, high;                 // the floor's extent
  std::vector<P2> corners;      // where a round tool leaves material standing
  std::string approach;         // #310
};

struct StrategyCase {
  const char* name;
  std::string entity;  // #320, or $ for none
};

const char* kHeader =
    "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('generated area test'),'2;1');\n"
    "FILE_NAME('area.stp','2024-01-01T00:00:00',(''),(''),'','','');\nFILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\nDATA;\n"
    "#1=PROJECT('area',#2,(#10),$,$,$);\n#2=WORKPLAN('main',(#100),$,#20,$);\n"
    "#10=WORKPIECE('part',$,$,$,$,#11,());\n#11=BLOCK('block',#12,200.0,200.0,50.0);\n"
    "#12=AXIS2_PLACEMENT_3D('',#13,#15,#16);\n#13=CARTESIAN_POINT('',(0.0,0.0,0.0));\n"
    "#15=DIRECTION('',(0.0,0.0,1.0));\n#16=DIRECTION('',(1.0,0.0,0.0));\n#17=DIRECTION('',(0.0,1.0,0.0));\n"
    "#18=DIRECTION('',(0.0,0.0,-1.0));\n"
    "#20=SETUP('setup',#12,#23,(#26));\n#23=PLANE('security plane',#24);\n#24=AXIS2_PLACEMENT_3D('',#25,#15,#16);\n"
    "#25=CARTESIAN_POINT('',(0.0,0.0,20.0));\n#26=WORKPIECE_SETUP(#10,#12,$,$,());\n"
    "#40=MILLING_CUTTING_TOOL('T2 end mill D10',#41,(#43),90.0,$,$);\n#41=ENDMILL(#42,3,.RIGHT.,.F.,$);\n"
    "#42=MILLING_TOOL_DIMENSION(10.0,0.0,$,22.0,0.0,$,$);\n#43=CUTTING_COMPONENT(90.0,#44,$,1800.0,$);\n"
    "#44=MATERIAL('ISO 513','HW-K10',());\n#45=MILLING_TECHNOLOGY(15.0,.TCP.,4.0,$,$,.F.,.F.,.F.,$);\n"
    "#46=MILLING_MACHINE_FUNCTIONS(.T.,$,.F.,.F.,$,(),.T.,$,$,());\n"
    "#100=MACHINING_WORKINGSTEP('WS',#23,#200,#300,$);\n"
    "#190=AXIS2_PLACEMENT_3D('',#13,#15,#16);\n#191=PLANAR_POCKET_BOTTOM_CONDITION();\n";

std::string Length(int id, double v) {
  return "#" + std::to_string(id) + "=TOLERANCED_LENGTH_MEASURE(" + std::to_string(v) + ",#199);\n";
}
std::string Depth(double z) {
  return "#195=PLANE('',#196);\n#196=AXIS2_PLACEMENT_3D('',#197,#15,#16);\n#197=CARTESIAN_POINT('',(0.0,0.0," +
         std::to_string(z) + "));\n#199=PLUS_MINUS_VALUE(0.1,0.1,1);\n";
}
// A boss standing from the pocket's floor to z 0: a circle of diameter d at (x, y).
std::string Boss(double x, double y, double d) {
  return "#250=BOSS('boss',#10,(),#251,#253,#256,$);\n#251=AXIS2_PLACEMENT_3D('',#252,#15,#16);\n"
         "#252=CARTESIAN_POINT('',(" + std::to_string(x) + "," + std::to_string(y) + ",0.0));\n"
         "#253=PLANE('',#254);\n#254=AXIS2_PLACEMENT_3D('',#255,#15,#16);\n#255=CARTESIAN_POINT('',(0.0,0.0,-8.0));\n"
         "#256=CIRCULAR_CLOSED_PROFILE($,#257);\n" + Length(257, d);
}
std::string Polyline(const std::vector<P2>& points, bool close) {
  std::string refs, out;
  int id = 270;
  for (const P2& p : points) {
    out += "#" + std::to_string(id) + "=CARTESIAN_POINT('',(" + std::to_string(p.x) + "," + std::to_string(p.y) + ",0.0));\n";
    refs += (refs.empty() ? "#" : ",#") + std::to_string(id++);
  }
  if (close) refs += ",#270";
  return out + "#260=POLYLINE('',(" + refs + "));\n";
}

const char* kHelix = "#310=PLUNGE_HELIX(#18,2.0,5.0);\n";
const char* kRamp = "#310=PLUNGE_RAMP(#18,5.0);\n";
const char* kAxis = "#310=PLUNGE_TOOLAXIS(#18);\n";

std::vector<FeatureCase> Features() {
  std::vector<FeatureCase> out;
  const std::string pocket = "#200=CLOSED_POCKET('pocket',#10,(#300),#190,#195,";
  // A 60 x 40 pocket whose corners (radius 3) are tighter than the tool.
  out.push_back({"rectangle", pocket + "(),$,#191,$,#201,#202);\n" + Length(201, 3) +
                                  "#202=RECTANGULAR_CLOSED_PROFILE(#190,#203,#204);\n" + Length(203, 40) + Length(204, 60) + Depth(-8),
                 false, RoundRect(30, 20, 3), {}, -8, {-30, -20}, {30, 20}, {{-30, -20}, {30, -20}, {30, 20}, {-30, 20}}, kHelix});
  out.push_back({"circle", pocket + "(),$,#191,$,$,#202);\n#202=CIRCULAR_CLOSED_PROFILE($,#203);\n" + Length(203, 50) + Depth(-8),
                 false, Circle(0, 0, 25, false), {}, -8, {-25, -25}, {25, 25}, {}, kHelix});
  const std::vector<P2> ell{{-30, -20}, {30, -20}, {30, 0}, {0, 0}, {0, 20}, {-30, 20}};
  out.push_back({"L-shaped polyline", pocket + "(),$,#191,$,$,#202);\n#202=GENERAL_CLOSED_PROFILE($,#260);\n" + Polyline(ell, true) + Depth(-8),
                 false, Polygon(ell), {}, -8, {-30, -20}, {30, 20}, {{-30, -20}, {30, -20}, {30, 0}, {0, 20}, {-30, 20}}, kRamp});
  out.push_back({"rectangle with a round island",
                 pocket + "(#250),$,#191,$,$,#202);\n#202=RECTANGULAR_CLOSED_PROFILE(#190,#203,#204);\n" + Length(203, 50) +
                     Length(204, 70) + Depth(-8) + Boss(5, 0, 14),
                 false, RoundRect(35, 25, 0), {{Circle(5, 0, 7, true), 0}}, -8, {-35, -25}, {35, 25},
                 {{-35, -25}, {35, -25}, {35, 25}, {-35, 25}}, kRamp});
  // Walls along three sides of a 60 x 40 rectangle, open at x = 30.
  const std::vector<P2> u{{30, -20}, {-30, -20}, {-30, 20}, {30, 20}};
  out.push_back({"open U", "#200=OPEN_POCKET('open',#10,(#300),#190,#195,(),$,#191,$,$,#202,$);\n#202=GENERAL_PROFILE($,#260);\n" +
                               Polyline({{30, 20}, {-30, 20}, {-30, -20}, {30, -20}}, false) + Depth(-8),
                 false, OpenWalls(u, {1, 0}), {}, -8, {-30, -20}, {30, 20}, {{-30, -20}, {-30, 20}}, kAxis});
  const std::string face = "#200=PLANAR_FACE('face',#10,(#300),#190,#195,#205,#207,$,";
  const std::string extent = "#205=LINEAR_PATH($,#206,#16);\n" + Length(206, 80) +
                             "#207=LINEAR_PROFILE($,#208);\n#208=NUMERIC_PARAMETER('width',50.0,'mm');\n";
  out.push_back({"face", face + "());\n" + extent + Depth(-3), true, nullptr, {}, -3, {0, 0}, {80, 50}, {}, kAxis});
  out.push_back({"face with a boss", face + "(#250));\n" + extent + Depth(-3) + Boss(40, 25, 16), true, nullptr,
                 {{Circle(40, 25, 8, true), 0}}, -3, {0, 0}, {80, 50}, {}, kRamp});
  return out;
}

std::vector<StrategyCase> Strategies() {
  return {
      {"contour_parallel", "#320=CONTOUR_PARALLEL(0.4,.T.,.CCW.,.CLIMB.);\n"},
      {"bidirectional", "#320=BIDIRECTIONAL(0.3,.T.,#16,.LEFT.,$);\n"},
      {"unidirectional", "#320=UNIDIRECTIONAL(0.5,.T.,#17,.CONVENTIONAL.);\n"},
      {"bidirectional_contour", "#320=BIDIRECTIONAL_CONTOUR(0.25,.T.,#17,.RIGHT.,.CW.,$);\n"},
      {"contour_bidirectional", "#320=CONTOUR_BIDIRECTIONAL(0.5,.T.,#16,.LEFT.,.CCW.,$);\n"},
      {"center_milling", "#320=CENTER_MILLING(0.5,.T.);\n"},
      {"unset", ""},
  };
}

struct Operation {
  double axial, allowSide, allowBottom;
  bool finish;
};

std::string OperationText(const FeatureCase& f, const StrategyCase& s, const Operation& op) {
  const std::string strategy = s.entity.empty() ? "$" : "#320";
  const std::string common = "($,$,'op',5.0,$,#40,#45,#46,$,#310,$," + strategy + ",";
  auto num = [](double v) { return v < 0 ? std::string("$") : std::to_string(v); };
  if (f.face)
    return std::string("#300=") + (op.finish ? "PLANE_FINISH_MILLING" : "PLANE_ROUGH_MILLING") + common + num(op.axial) + "," +
           num(op.allowBottom) + ");\n";
  return std::string("#300=") + (op.finish ? "BOTTOM_AND_SIDE_FINISH_MILLING" : "BOTTOM_AND_SIDE_ROUGH_MILLING") + common +
         num(op.axial) + ",$," + num(op.allowSide) + "," + num(op.allowBottom) + ");\n";
}

class GenerateArea : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTypeNames();
    RegisterEntityNames();
  }
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) / ("generate_area_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  varnholt::Program Build(const std::string& data) {
    const fs::path path = dir_ / "area.stp";
    std::ofstream(path) << kHeader << data << "ENDSEC;\nEND-ISO-10303-21;\n";
    CDoc doc;
    if (!doc.OnOpenDocument(path.string().c_str())) return {};
    CDoc::LogRoute route(doc);
    return varnholt::BuildProgram(*doc.Scope());
  }

  fs::path dir_;
};

// Points along the moves no farther apart than `step`, each with the kind of move it is on.
struct Sample {
  Vec3 p;
  bool cutting;
};
std::vector<Sample> Walk(const Vec3& start, const std::vector<Move>& moves, double step) {
  std::vector<Sample> out;
  Vec3 at = start;
  for (const Move& m : moves) {
    const std::vector<Vec3> pts = varnholt::SampleMoves(at, {m}, 1e-4);
    const bool cutting = m.kind == MoveKind::Feed || m.kind == MoveKind::Arc;
    for (size_t i = 1; i < pts.size(); ++i) {
      const Vec3 a = pts[i - 1], b = pts[i];
      const double l = std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y) + (b.z - a.z) * (b.z - a.z));
      const int n = std::max(1, static_cast<int>(std::ceil(l / step)));
      for (int k = 0; k <= n; ++k) {
        const double t = static_cast<double>(k) / n;
        out.push_back({{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t}, cutting});
      }
    }
    if (m.kind != MoveKind::Dwell) at = m.to;
  }
  return out;
}

// The least clearance from the part of a tool centre at p (the walls and the islands standing there).
double PartClearance(const FeatureCase& f, const Vec3& p) {
  double c = f.walls ? f.walls({p.x, p.y}) : std::numeric_limits<double>::infinity();
  for (const IslandModel& island : f.islands)
    if (p.z < island.top) c = std::min(c, island.clearance({p.x, p.y}));
  return c;
}


// The measures every generated area must pass.
void Check(const FeatureCase& f, const varnholt::ProgramStep& step, const Operation& op, const std::string& where) {
  const double radius = 5;
  ASSERT_FALSE(step.moves.empty()) << where << ": " << step.reason;
  const double bottom = f.floor + op.allowBottom;

  // Rapids only at the clear height (or on the security plane above it).
  Vec3 at = step.start;
  for (const Move& m : step.moves) {
    if (m.kind == MoveKind::Rapid) {
      EXPECT_GE(m.to.z, kClearZ - 1e-9) << where << ": a rapid ends below the clear height";
      if (std::fabs(m.to.x - at.x) > 1e-9 || std::fabs(m.to.y - at.y) > 1e-9) {
        EXPECT_GE(at.z, kClearZ - 1e-9) << where << ": a rapid moves sideways below the clear height";
      }
    }
    at = m.to;
  }

  // No gouge: every cutting point keeps the tool's radius (plus the allowance) from the part
  // and stays above the floor's allowance; the walls are reached.
  double closest = std::numeric_limits<double>::infinity(), lowest = 0;
  std::vector<double> levels;
  std::vector<std::pair<P2, P2>> floorCuts;
  const std::vector<Sample> samples = Walk(step.start, step.moves, 0.02);
  for (size_t i = 0; i < samples.size(); ++i) {
    const Sample& q = samples[i];
    if (!q.cutting || q.p.z >= 0) continue;
    const double c = PartClearance(f, q.p) - radius;
    closest = std::min(closest, c);
    if (c < op.allowSide - kGouge) {
      ADD_FAILURE() << where << ": the tool enters the part at (" << q.p.x << ", " << q.p.y << ", " << q.p.z << ") by "
                    << op.allowSide - c;
      break;
    }
    lowest = std::min(lowest, q.p.z);
    if (i > 0 && samples[i - 1].cutting && std::fabs(samples[i - 1].p.z - q.p.z) < 1e-12) {
      levels.push_back(q.p.z);
      if (std::fabs(q.p.z - bottom) < 1e-9) floorCuts.push_back({{samples[i - 1].p.x, samples[i - 1].p.y}, {q.p.x, q.p.y}});
    }
  }
  EXPECT_NEAR(lowest, bottom, 1e-9) << where << ": the floor's allowance";
  if (!f.face || !f.islands.empty()) {
    EXPECT_LE(closest, op.allowSide + 0.003) << where << ": the last pass does not reach the side allowance";
  }

  // Levels: none deeper than the axial cutting depth below the one before.
  std::sort(levels.begin(), levels.end());
  levels.erase(std::unique(levels.begin(), levels.end(), [](double a, double b) { return std::fabs(a - b) < 1e-9; }),
               levels.end());
  double above = 0;
  for (size_t k = levels.size(); k-- > 0;) {
    EXPECT_LE(above - levels[k], op.axial + 1e-9) << where << ": a level deeper than the axial cutting depth";
    above = levels[k];
  }

  // Floor coverage: every grid point of the floor (away from the allowances and the corners
  // a round tool cannot reach) within the tool's radius of a cut at the floor's height.
  const double cell = radius;
  std::unordered_map<unsigned long long, std::vector<size_t>> bins;
  // Cells counted from far below any coordinate, so that the shifted part is never negative.
  auto key = [&](double x, double y) {
    return (static_cast<unsigned long long>(std::floor(x / cell) + 1e6) << 32) ^
           static_cast<unsigned long long>(std::floor(y / cell) + 1e6);
  };
  for (size_t i = 0; i < floorCuts.size(); ++i) bins[key(floorCuts[i].first.x, floorCuts[i].first.y)].push_back(i);
  int uncovered = 0;
  for (double x = f.low.x; x <= f.high.x + 1e-9 && uncovered < 3; x += 0.5)
    for (double y = f.low.y; y <= f.high.y + 1e-9 && uncovered < 3; y += 0.5) {
      const P2 q{x, y};
      if (PartClearance(f, {x, y, bottom}) < op.allowSide + 0.01) continue;
      bool corner = false;
      for (const P2& c : f.corners) corner = corner || Len(q.x - c.x, q.y - c.y) < 1.5 * (radius + op.allowSide);
      if (corner) continue;
      bool covered = false;
      for (int dx = -2; dx <= 2 && !covered; ++dx)
        for (int dy = -2; dy <= 2 && !covered; ++dy) {
          auto bin = bins.find(key(x + dx * cell, y + dy * cell));
          if (bin == bins.end()) continue;
          for (size_t i : bin->second)
            if (SegmentDistance(q, floorCuts[i].first, floorCuts[i].second) <= radius + 1e-6) {
              covered = true;
              break;
            }
        }
      if (!covered) {
        ++uncovered;
        ADD_FAILURE() << where << ": the floor at (" << x << ", " << y << ") is left standing";
      }
    }
}

}  // namespace

// Every feature with every strategy, as a rough operation leaving allowances.
TEST_F(GenerateArea, FeaturesByStrategiesStayInsideCoverTheFloorAndLeaveTheAllowances) {
  for (const FeatureCase& f : Features())
    for (const StrategyCase& s : Strategies()) {
      const Operation op = f.face ? Operation{1.0, 0, 0.2, false} : Operation{2.5, 0.5, 0.3, false};
      const varnholt::Program program = Build(f.entities + f.approach + s.entity + OperationText(f, s, op));
      ASSERT_EQ(program.steps.size(), 1u);
      Check(f, program.steps[0], op, std::string(f.name) + " / " + s.name);
    }
}

// A finish operation stating no allowances goes to the walls and the floor, in one level
// where the axial depth allows it.
TEST_F(GenerateArea, FinishWithoutAllowancesReachesWallsAndFloor) {
  for (const FeatureCase& f : Features()) {
    const StrategyCase s = Strategies()[f.face ? 1 : 0];
    const Operation op{10.0, 0, 0, true};
    const varnholt::Program program =
        Build(f.entities + f.approach + s.entity + OperationText(f, s, {10.0, -1, -1, true}));
    ASSERT_EQ(program.steps.size(), 1u);
    Check(f, program.steps[0], op, std::string(f.name) + " finish");
  }
}

// What is not handled is said, and nothing is guessed.
TEST_F(GenerateArea, CasesNotHandledGiveTheirReason) {
  const std::vector<FeatureCase> features = Features();
  const FeatureCase& rectangle = features[0];
  const StrategyCase parallel = Strategies()[0];
  const Operation op{2.5, 0.5, 0.3, false};
  struct Row {
    const char* what;
    std::string data;
    const char* reason;
  } const rows[] = {
      {"tool wider than the pocket",
       "#200=CLOSED_POCKET('pocket',#10,(#300),#190,#195,(),$,#191,$,$,#202);\n#202=CIRCULAR_CLOSED_PROFILE($,#203);\n" +
           Length(203, 9) + Depth(-8) + kAxis + parallel.entity + OperationText(rectangle, parallel, op),
       "wider"},
      {"open pocket of a U profile",
       "#200=OPEN_POCKET('open',#10,(#300),#190,#195,(),$,#191,$,$,#202,$);\n#202=SQUARE_U_PROFILE($,#203,#204,0.0,#204,0.0);\n" +
           Length(203, 40) + Length(204, 1) + Depth(-8) + kAxis + parallel.entity + OperationText(rectangle, parallel, op),
       "square_u_profile"},
      {"radiused floor",
       "#200=CLOSED_POCKET('pocket',#10,(#300),#190,#195,(),$,#192,$,$,#202);\n#192=RADIUSED_POCKET_BOTTOM_CONDITION(#13,#203);\n"
       "#202=CIRCULAR_CLOSED_PROFILE($,#203);\n" +
           Length(203, 40) + Depth(-8) + kAxis + parallel.entity + OperationText(rectangle, parallel, op),
       "radiused_pocket_bottom_condition"},
      {"spiral strategy", rectangle.entities + kAxis + "#320=CONTOUR_SPIRAL(0.5,.T.,.CCW.,.CLIMB.);\n" +
                              OperationText(rectangle, parallel, op),
       "contour_spiral"},
      {"overlap that is no ratio, and no radial depth",
       rectangle.entities + kAxis + "#320=CONTOUR_PARALLEL(2.0,.T.,.CCW.,.CLIMB.);\n" + OperationText(rectangle, parallel, op),
       "overlap"},
      {"helix wider than the pocket",
       "#200=CLOSED_POCKET('pocket',#10,(#300),#190,#195,(),$,#191,$,$,#202);\n#202=CIRCULAR_CLOSED_PROFILE($,#203);\n" +
           Length(203, 14) + Depth(-8) + kHelix + parallel.entity + OperationText(rectangle, parallel, op),
       "helix"},
  };
  for (const Row& row : rows) {
    const varnholt::Program program = Build(row.data);
    ASSERT_EQ(program.steps.size(), 1u) << row.what;
    EXPECT_TRUE(program.steps[0].moves.empty()) << row.what;
    EXPECT_NE(program.steps[0].reason.find(row.reason), std::string::npos) << row.what << ": " << program.steps[0].reason;
  }
}

// Writers give overlaps that are no ratio; where the operation states its radial depth, that
// is the stepover and the overlap is not needed.
TEST_F(GenerateArea, ARadialDepthStandsInForAnOverlapThatIsNoRatio) {
  const std::vector<FeatureCase> features = Features();
  const FeatureCase& rectangle = features[0];
  const std::string operation =
      "#300=BOTTOM_AND_SIDE_ROUGH_MILLING($,$,'op',5.0,$,#40,#45,#46,$,#310,$,#320,2.5,4.0,0.3,0.5);\n";
  const varnholt::Program program =
      Build(rectangle.entities + kAxis + "#320=CONTOUR_PARALLEL(2.0,.T.,.CCW.,.CLIMB.);\n" + operation);
  ASSERT_EQ(program.steps.size(), 1u);
  EXPECT_FALSE(program.steps[0].moves.empty()) << program.steps[0].reason;
}

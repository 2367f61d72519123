// What the generator tests share: a one-workingstep file written into the temporary folder from
// a feature, an operation and a tool, the program built from it in the feature's own system,
// and measurements on its moves that hold for any correct toolpath.
#ifndef VARNHOLT_TEST_GENERATE_FIXTURE_H
#define VARNHOLT_TEST_GENERATE_FIXTURE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cct/factory.h"
#include "cct/schema.h"
#include "support/temp_file.h"
#include "varnholt/doc.h"
#include "varnholt/program.h"

namespace gen {

using varnholt::Move;
using varnholt::MoveKind;
using varnholt::Vec3;

constexpr double kTol = 1e-6;
constexpr double kPi = 3.14159265358979323846;
constexpr double kClear = 5;      // every operation's retract plane
constexpr double kFeedRate = 2;   // mm/s in the file, 120 mm/min in the moves

inline std::string Num(double v) {
  std::ostringstream s;
  s.precision(12);
  s << v;
  std::string t = s.str();
  if (t.find_first_of(".eE") == std::string::npos) t += ".";
  return t;
}

struct ToolSpec {
  ToolSpec(std::string b, double d, double tip = -1, double c = -1, std::string more = "")
      : body(std::move(b)), diameter(d), tipHalfAngle(tip), corner(c), extra(std::move(more)) {}
  std::string body = "ENDMILL";
  double diameter = 6;
  double tipHalfAngle = -1;  // radians; negative: not given
  double corner = -1;        // negative: not given
  std::string extra;         // attributes a body has beyond the common ones, e.g. ",.F."
};

/// A file with one workingstep: `feature` written as records #60..#69 (#60 the feature, its
/// operations (#70), placement #30 at `origin`, depth plane #32 at `depth` below the top) and
/// `operation` as #70 with strategies in #71..#79; the tool is #43.
inline std::string File(const std::string& feature, const std::string& operation, const ToolSpec& tool,
                        const Vec3& origin, double depth) {
  std::ostringstream f;
  f << "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('generator test'),'2;1');\n"
       "FILE_NAME('t.stp','2024-01-01T00:00:00',(''),(''),'','','');\nFILE_SCHEMA(('COMBINED_SCHEMA'));\nENDSEC;\nDATA;\n"
       "#1=PROJECT('t',#2,(#10),$,$,$);\n#2=WORKPLAN('main',(#50),$,#20,$);\n"
       "#10=WORKPIECE('part',$,$,$,$,#11,());\n#11=BLOCK('block',#12,100.,80.,20.);\n"
       "#12=AXIS2_PLACEMENT_3D('',#13,#15,#16);\n#13=CARTESIAN_POINT('',(0.,0.,0.));\n"
       "#15=DIRECTION('',(0.,0.,1.));\n#16=DIRECTION('',(1.,0.,0.));\n#17=DIRECTION('',(0.,1.,0.));\n"
       "#18=DIRECTION('',(-1.,0.,0.));\n#19=DIRECTION('',(0.,0.,-1.));\n"
       "#20=SETUP('setup',#12,#23,(#26));\n#23=PLANE('security plane',#24);\n#24=AXIS2_PLACEMENT_3D('',#25,#15,#16);\n"
       "#25=CARTESIAN_POINT('',(0.,0.,40.));\n#26=WORKPIECE_SETUP(#10,#12,$,$,());\n"
       "#30=AXIS2_PLACEMENT_3D('',#31,#15,#16);\n#31=CARTESIAN_POINT('',("
    << Num(origin.x) << "," << Num(origin.y) << "," << Num(origin.z) << "));\n"
    << "#32=PLANE('',#33);\n#33=AXIS2_PLACEMENT_3D('',#34,#15,#16);\n#34=CARTESIAN_POINT('',(0.,0.," << Num(-depth)
    << "));\n#40=MILLING_TECHNOLOGY(" << Num(kFeedRate) << ",.TCP.,$,100.,$,.F.,.F.,.F.,$);\n"
    << "#41=MILLING_MACHINE_FUNCTIONS(.F.,$,$,.F.,$,(),.F.,$,$,());\n#42=CUTTING_COMPONENT(50.,$,$,$,$);\n"
    << "#43=MILLING_CUTTING_TOOL('tool',#44,(#42),$,$,$);\n#44=" << tool.body << "(#45,2,$,$,$" << tool.extra << ");\n"
    << "#45=MILLING_TOOL_DIMENSION(" << Num(tool.diameter) << ","
    << (tool.tipHalfAngle >= 0 ? Num(tool.tipHalfAngle) : "$") << ",$,30.,"
    << (tool.corner >= 0 ? Num(tool.corner) : "$") << ",$,$);\n"
    << "#50=MACHINING_WORKINGSTEP('ws',#23,#60,#70,$);\n#59=PLUS_MINUS_VALUE(0.01,0.01,3);\n"
    << feature << "\n" << operation << "\nENDSEC;\nEND-ISO-10303-21;\n";
  return f.str();
}

/// A length as the features write them.
inline std::string Length(double v) { return "TOLERANCED_LENGTH_MEASURE(" + Num(v) + ",#59)"; }

/// `kind`(...) of a drilling or milling operation: the attributes common to all, then `tail`.
inline std::string Operation(const std::string& kind, const std::string& tail) {
  return "#70=" + kind + "($,$,'op'," + Num(kClear) + ",$,#43,#40,#41,$," + tail + ");";
}

/// The workingstep's program in the feature's system (the file's placements are translations).
struct StepRun {
  std::string reason;
  std::vector<std::string> notes;  // what the moves do not make as the feature says
  Vec3 start;
  std::vector<Move> moves;
  int steps = 0;
};

inline StepRun Build(const std::string& text, const Vec3& origin) {
  static const bool registered = [] {
    RegisterTypeNames();
    RegisterEntityNames();
    return true;
  }();
  (void)registered;
  TempFile file(text);
  StepRun run;
  CDoc doc;
  if (!doc.OnOpenDocument(file.Path())) {
    run.reason = "the file did not open";
    return run;
  }
  CDoc::LogRoute route(doc);
  const varnholt::Program program = varnholt::BuildProgram(*doc.Scope());
  run.steps = static_cast<int>(program.steps.size());
  if (program.steps.empty()) return run;
  const varnholt::ProgramStep& step = program.steps.front();
  run.reason = step.reason;
  auto local = [&](Vec3 p) { return Vec3{p.x - origin.x, p.y - origin.y, p.z - origin.z}; };
  run.start = local(step.start);
  for (Move m : step.moves) {
    m.to = local(m.to);
    m.center = local(m.center);
    run.moves.push_back(m);
  }
  return run;
}

/// One sampled point of a move, with the move it belongs to.
struct Sample {
  Vec3 p;
  const Move* move;
};

inline std::vector<Sample> Samples(const StepRun& run) {
  std::vector<Sample> out;
  Vec3 at = run.start;
  for (const Move& m : run.moves) {
    if (m.kind == MoveKind::Dwell) continue;
    const std::vector<Vec3> points = varnholt::SampleMoves(at, {m}, 1e-5);
    if (m.kind == MoveKind::Arc) {
      // Points on the arc itself, not on its chords.
      for (size_t i = 1; i < points.size(); ++i) out.push_back({points[i], &m});
    } else {
      // Lines sampled finely, so that a point check sees their middles.
      const Vec3 b = m.to;
      const double l = std::sqrt((b.x - at.x) * (b.x - at.x) + (b.y - at.y) * (b.y - at.y) + (b.z - at.z) * (b.z - at.z));
      const int n = std::max(1, std::min(4000, static_cast<int>(std::ceil(l / 0.25))));
      for (int k = 1; k <= n; ++k) {
        const double t = static_cast<double>(k) / n;
        out.push_back({{at.x + (b.x - at.x) * t, at.y + (b.y - at.y) * t, at.z + (b.z - at.z) * t}, &m});
      }
    }
    at = m.to;
  }
  return out;
}

inline bool Cutting(const Move& m) { return m.kind == MoveKind::Feed || m.kind == MoveKind::Arc; }

/// The lowest tip height of the cutting moves.
inline double Deepest(const StepRun& run) {
  double z = 1e9;
  for (const Sample& s : Samples(run))
    if (Cutting(*s.move)) z = std::min(z, s.p.z);
  return z;
}

/// Every rapid below the clearance height goes straight up or down where the tool has already
/// cut at least as deep: a rapid never moves into material.
inline void ExpectSafeRapids(const StepRun& run, const std::string& where) {
  std::vector<Vec3> cut;
  Vec3 at = run.start;
  for (const Move& m : run.moves) {
    if (m.kind == MoveKind::Rapid && std::min(at.z, m.to.z) < kClear - 1e-9) {
      const bool vertical = std::hypot(m.to.x - at.x, m.to.y - at.y) < 1e-9;
      bool inside = false;
      for (const Vec3& c : cut)
        if (std::hypot(c.x - m.to.x, c.y - m.to.y) < 1e-6 && c.z <= std::min(at.z, m.to.z) + 1e-9) inside = true;
      EXPECT_TRUE(vertical && inside) << where << ": a rapid below the clearance height to (" << m.to.x << ","
                                      << m.to.y << "," << m.to.z << ")";
      if (!(vertical && inside)) return;
    }
    if (Cutting(m)) {
      for (const Vec3& p : varnholt::SampleMoves(at, {m}, 1e-3)) cut.push_back(p);
    }
    at = m.to;
  }
  EXPECT_GE(run.start.z, kClear - 1e-9) << where;
  EXPECT_GE(at.z, kClear - 1e-9) << where << ": the moves end at the clearance height or above";
}

/// How far above its tip a tool's end is at a distance from its axis: flat, rounded or pointed.
inline std::function<double(double)> Lift(const ToolSpec& tool) {
  const double r = tool.diameter / 2;
  if (tool.tipHalfAngle > 0 && tool.body.find("DRILL") != std::string::npos)
    return [a = tool.tipHalfAngle](double s) { return std::fabs(s) / std::tan(a); };
  double c = tool.corner > 0 ? tool.corner : 0;
  if (tool.body == "BALL_ENDMILL" && c <= 0) c = r;
  return [r, c](double s) {
    const double d = std::fabs(s) - (r - c);
    return d <= 0 ? 0.0 : c - std::sqrt(std::max(0.0, c * c - d * d));
  };
}

/// No cutting point lies where the tool would cut what is to stay: `allowed` says, for a tip
/// at p, whether the tool's end there lies within the feature (each given the tool's end as
/// the offsets across it and their lifts).
inline void ExpectNoGouge(const StepRun& run, const std::function<bool(const Vec3&)>& allowed, const std::string& where) {
  for (const Sample& s : Samples(run)) {
    if (!Cutting(*s.move) || s.p.z >= -1e-9) continue;
    if (!allowed(s.p)) {
      ADD_FAILURE() << where << ": a cut at (" << s.p.x << "," << s.p.y << "," << s.p.z << ") leaves the feature";
      return;
    }
  }
}

/// Every one of `floor` is within the tool's radius of a cutting move at its height or below
/// (arcs measured on their chords, which are within 1e-5 of them).
inline void ExpectCovered(const StepRun& run, const std::vector<Vec3>& floor, double radius, const std::string& where) {
  struct Piece {
    Vec3 a, b;
  };
  std::vector<Piece> cut;
  const std::vector<Sample> samples = Samples(run);
  for (size_t i = 1; i < samples.size(); ++i)
    if (Cutting(*samples[i].move)) cut.push_back({samples[i - 1].p, samples[i].p});
  for (const Vec3& f : floor) {
    bool reached = false;
    for (const Piece& c : cut) {
      if (c.a.z > f.z + 1e-6 || c.b.z > f.z + 1e-6) continue;
      const double dx = c.b.x - c.a.x, dy = c.b.y - c.a.y, l2 = dx * dx + dy * dy;
      const double t = l2 > 0 ? std::clamp(((f.x - c.a.x) * dx + (f.y - c.a.y) * dy) / l2, 0.0, 1.0) : 0;
      if (std::hypot(c.a.x + dx * t - f.x, c.a.y + dy * t - f.y) <= radius + 2e-5) {
        reached = true;
        break;
      }
    }
    if (!reached) {
      ADD_FAILURE() << where << ": the floor at (" << f.x << "," << f.y << "," << f.z << ") is not reached";
      return;
    }
  }
}

}  // namespace gen

#endif

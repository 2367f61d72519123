// The program builder: walks the project's workplans as the scene does and gives each
// workingstep its moves in its setup's coordinates, read from the file's toolpaths or
// generated from its feature.
#include "varnholt/program.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "cct/instance.h"
#include "cct/rawrecord.h"
#include "cct/scope.h"
#include "generate.h"
#include "walk.h"

namespace varnholt {
namespace {

using namespace scene_detail;
using namespace machining_detail;

constexpr double kDefaultClear = 5;  // above the feature's top, where nothing says how far

double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Sub(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 Add(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 Mul(const Vec3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }

// Plane angles: writers give radians (most tool angles) or degrees (most strategy angles); an
// angle of a plunge below one is taken as radians, since a slope of less than a degree is no
// ramp anyone writes.
double Radians(double angle) { return std::fabs(angle) < 1 ? angle : angle * 3.14159265358979323846 / 180; }

class ProgramBuilder : WorkplanWalk::Visitor {
 public:
  ProgramBuilder(Program& program, const ProgramOptions& options)
      : program_(program), options_(options), problems_(problemList_), geometry_(r_, problems_, budget_) {}

  void Run(cct_Scope& scope) {
    const cct_Instance* project = FirstProject(r_, scope);
    if (!project) return;
    scope_ = &scope;
    program_.hasProject = true;
    // What cannot be placed the scene names; the program only says why a workingstep has no
    // moves.
    if (const cct_Instance* main = r_.Ref(*project, "main_workplan")) WorkplanWalk(r_, geometry_, problems_, *this).Run(*main);
  }

 private:
  bool Stop() override { return budget_.exhausted; }

  void Setup(const SetupFrames& setup) override {
    ProgramSetup out;
    out.name = InstanceLabel(setup.setup);
    out.label = r_.Text(*setup.setup, "its_id");
    out.origin = setup.origin;
    program_.setups.push_back(out);
  }

  ProgramTool Tool(const cct_Instance* tool, machining_detail::Tool& job) {
    ProgramTool out;
    if (!tool) return out;
    out.name = InstanceLabel(tool);
    job.instance = tool;
    const cct_Instance* body = r_.Ref(*tool, "its_tool_body");
    if (!body) body = Kept(*tool, "its_tool_body");
    if (!body) return out;
    double d = 0, e = 0, tip = 0, teeth = 0;
    bool hasEdge = false;
    const auto* rawBody = dynamic_cast<const cct_RawInstance*>(body);
    // A tool body of an entity our binding lacks (center_drill of the earlier schema) is kept
    // as written; its parameters begin as every milling tool body's: the dimension, the teeth.
    const cct_Instance* dimension = rawBody ? Named(Parameter(*rawBody, 0)) : r_.Ref(*body, "dimension");
    if (!dimension && !rawBody) dimension = Kept(*body, "dimension");
    if (const auto* raw = dynamic_cast<const cct_RawInstance*>(dimension)) {
      // The earlier schema's tool_dimension has a milling_tool_dimension's parameters.
      if (std::strcmp(raw->TypeName(), "tool_dimension") == 0) {
        if (!Number(Parameter(*raw, 0), d)) d = 0;
        hasEdge = Number(Parameter(*raw, 4), e) && e >= 0;
        if (!Number(Parameter(*raw, 1), tip)) tip = 0;
      }
    } else if (dimension) {
      if (!r_.Number(*dimension, "diameter", d)) d = 0;
      hasEdge = r_.Number(*dimension, "edge_radius", e) && e >= 0;
      if (!r_.Number(*dimension, "tool_tip_half_angle", tip)) tip = 0;
    }
    if (tip > 0) job.tipHalfAngle = tip;
    if (d > 0) out.diameter = job.diameter = d;
    if (hasEdge) {
      out.hasCornerRadius = true;
      out.cornerRadius = job.cornerRadius = e;
    }
    const bool hasTeeth = rawBody ? Number(Parameter(*rawBody, 1), teeth) : r_.Number(*body, "number_of_teeth", teeth);
    if (hasTeeth && teeth > 0 && teeth < 1e6) out.teeth = job.teeth = static_cast<int>(teeth);
    return out;
  }

  // The instance a parameter the binding refused names ("#36"), as kept in its place.
  const cct_Instance* Kept(const cct_Instance& owner, const char* attribute) {
    const long count = owner.AttributeCount();
    for (long i = 0; i < count; ++i) {
      const char* name = owner.AttributeName(i);
      if (name && std::strcmp(name, attribute) == 0) {
        const std::string* text = owner.AsWrittenText(i);
        return text ? Named(*text) : nullptr;
      }
    }
    return nullptr;
  }

  const cct_Instance* Named(std::string_view text) {
    if (text.size() < 2 || text[0] != '#' || !scope_) return nullptr;
    const cct_Scope::Entry* entry = scope_->FindEntry(std::string(text.substr(1)).c_str(), 1);
    return entry && entry->instance && !entry->instance->IsKilled() ? entry->instance : nullptr;
  }

  static std::string_view Parameter(const cct_RawInstance& raw, size_t k) {
    const std::vector<std::string_view> parameters = cct_SplitParameters(raw.Record());
    return k < parameters.size() ? parameters[k] : std::string_view();
  }

  static bool Number(std::string_view text, double& out) {
    const std::string word(text);
    char* end = nullptr;
    out = std::strtod(word.c_str(), &end);
    return !word.empty() && end != word.c_str() && *end == 0 && std::isfinite(out);
  }

  // The feed in mm/min: the technology's feedrate, else feed per tooth x teeth x spindle speed.
  // Feeds are read as millimetres per second and spindle speeds as revolutions per second,
  // the ISO convention of millimetres and seconds.
  double Feed(const cct_Instance* technology, int teeth) {
    if (!technology) return std::numeric_limits<double>::quiet_NaN();
    double f = 0;
    if (r_.Number(*technology, "feedrate", f) && f > 0) return f * 60;
    double perTooth = 0, spindle = 0;
    if (teeth > 0 && r_.Number(*technology, "feedrate_per_tooth", perTooth) && perTooth > 0 &&
        r_.Number(*technology, "spindle", spindle) && spindle != 0)
      return perTooth * teeth * std::fabs(spindle) * 60;
    return std::numeric_limits<double>::quiet_NaN();
  }

  Plunge Strategy(const cct_Instance* strategy) {
    Plunge p;
    if (!strategy) return p;
    double a = 0;
    if (r_.Is(*strategy, "plunge_ramp") && r_.Number(*strategy, "angle", a)) {
      p.kind = Plunge::Ramp;
      p.angle = Radians(a);
    } else if (r_.Is(*strategy, "plunge_helix") && r_.Number(*strategy, "angle", a) &&
               r_.Number(*strategy, "radius", p.radius)) {
      p.kind = Plunge::Helix;
      p.angle = Radians(a);
    } else if (r_.Is(*strategy, "plunge_zigzag") && r_.Number(*strategy, "angle", a) &&
               r_.Number(*strategy, "width", p.width)) {
      p.kind = Plunge::Zigzag;
      p.angle = Radians(a);
    }
    if (!(p.angle > 0 && p.angle < 1.5707963267948966)) p.kind = Plunge::Axis;
    return p;
  }

  void Workingstep(const cct_Instance& step, const SetupFrames* setup) override {
    if (options_.only && options_.only != &step) return;
    ProgramStep out;
    out.name = InstanceLabel(&step);
    out.label = r_.Text(step, "its_id");
    out.setup = setup ? setup->index : -1;
    const cct_Instance* feature = r_.Ref(step, "its_feature");
    const cct_Instance* operation = r_.Ref(step, "its_operation");
    if (!operation && r_.Is(step, "operation")) operation = &step;
    if (feature) out.feature = InstanceLabel(feature), out.featureType = feature->TypeName();
    if (operation) out.operation = InstanceLabel(operation), out.operationType = operation->TypeName();
    machining_detail::Tool tool;
    out.tool = Tool(operation ? r_.Ref(*operation, "its_tool") : nullptr, tool);
    Moves(step, setup, feature, operation, tool, out);
    const bool sought = out.explicitMoves ? options_.explicitMoves : options_.generatedMoves;
    if (sought && out.moves.empty() && out.reason.empty()) out.reason = "the workingstep gives nothing to move along";
    program_.steps.push_back(std::move(out));
  }

  void Moves(const cct_Instance& step, const SetupFrames* setup, const cct_Instance* feature,
             const cct_Instance* operation, const machining_detail::Tool& tool, ProgramStep& out) {
    if (!operation) {
      out.reason = "the workingstep has no operation";
      return;
    }
    out.explicitMoves = r_.Ref(*operation, "its_toolpath") != nullptr;
    if (out.explicitMoves ? !options_.explicitMoves : !options_.generatedMoves) return;
    // The workpiece's system within the setup, then the feature's.
    Placement frame;
    bool placed = !setup || setup->placed;
    const SetupFrames::Workpiece* clamped = setup ? setup->Clamping(r_, feature) : nullptr;
    if (clamped) {
      placed = placed && clamped->placed;
      frame = clamped->frame;
    }
    if (!placed) {
      out.reason = "the workingstep's setup cannot be placed";
      return;
    }
    const Placement workpieceFrame = frame;
    if (feature) {
      Placement placement;
      if (!geometry_.Axis2(r_.Ref(*feature, "feature_placement"), placement, feature, "the feature's placement")) {
        out.reason = "the feature has no placement";
        return;
      }
      frame = placement.Within(frame);
    }
    // The security plane is given in the workpiece's system.
    Placement plane;
    bool hasPlane = false;
    if (const cct_Instance* secplane = r_.Ref(step, "its_secplane"))
      if (r_.Is(*secplane, "plane") && geometry_.Axis2(r_.Ref(*secplane, "position"), plane, secplane, "the security plane's position")) {
        plane = plane.Within(workpieceFrame);
        hasPlane = true;
      }
    const Vec3& axis = frame.axis[2];
    // The height of the security plane in the feature's system, along its axis.
    double planeZ = std::numeric_limits<double>::quiet_NaN();
    if (hasPlane) {
      const double across = Dot(axis, plane.axis[2]);
      if (std::fabs(across) > 1e-9) planeZ = Dot(Sub(plane.origin, frame.origin), plane.axis[2]) / across;
    }
    const cct_Instance* technology = r_.Ref(*operation, "its_technology");
    const double feed = Feed(technology, tool.teeth);

    std::vector<Move> local;
    if (out.explicitMoves) {
      if (!Explicit(*operation, feed, tool.teeth, local)) {
        out.reason = "the toolpaths the file gives cannot be read";
        return;
      }
    } else {
      if (!feature) {
        out.reason = "the workingstep has no feature to generate toolpaths from";
        return;
      }
      StepJob job(r_, geometry_, step, *feature, *operation, local);
      job.tool = tool;
      job.feed = feed;
      double retract = 0;
      const bool hasRetract = r_.Number(*operation, "retract_plane", retract) && retract > 0;
      job.clearZ = hasRetract ? retract : kDefaultClear;
      if (std::isfinite(planeZ) && planeZ > 0 && (!hasRetract || planeZ < job.clearZ)) job.clearZ = planeZ;
      job.approach = Strategy(r_.Ref(*operation, "approach"));
      job.retract = Strategy(r_.Ref(*operation, "retract"));
      if (!Generate(job)) {
        out.reason = job.reason;
        local.clear();
        return;
      }
    }
    if (local.empty()) return;
    for (Move& move : local) move = Placed(move, frame);
    // In from the security plane above the first point, out to it above the last.
    const Vec3 begin = local.front().to, end = local.back().to;
    auto onPlane = [&](const Vec3& p) {
      if (!hasPlane) return Add(p, Mul(axis, 0));
      const double across = Dot(axis, plane.axis[2]);
      if (std::fabs(across) < 1e-9) return p;
      return Add(p, Mul(axis, Dot(Sub(plane.origin, p), plane.axis[2]) / across));
    };
    out.start = onPlane(begin);
    out.moves.reserve(local.size() + 2);
    auto same = [](const Vec3& a, const Vec3& b) {
      return std::fabs(a.x - b.x) < 1e-9 && std::fabs(a.y - b.y) < 1e-9 && std::fabs(a.z - b.z) < 1e-9;
    };
    MoveWriter writer(out.moves, out.start);
    writer.Rapid(out.start);
    // A generator's first rapid to its clearance height is no move where that is the plane.
    const bool first = local.front().kind == MoveKind::Rapid && same(local.front().to, out.start);
    out.moves.insert(out.moves.end(), local.begin() + (first ? 1 : 0), local.end());
    if (!same(onPlane(end), end)) writer.Rapid(onPlane(end));
  }

  bool Generate(StepJob& job) {
    const cct_Instance& f = job.feature;
    const cct_Instance& o = job.operation;
    if (!r_.Is(o, "milling_type_operation") && !r_.Is(o, "drilling_type_operation")) {
      job.reason = std::string("an operation of kind ") + o.TypeName() +
                   " is not one toolpaths are generated for (only milling and drilling)";
      return false;
    }
    if (r_.Is(o, "freeform_operation")) {
      job.reason = "a freeform operation needs its surface; toolpaths are not generated for it";
      return false;
    }
    if (!(job.tool.diameter > 0)) {
      job.reason = "the operation's tool has no diameter";
      return false;
    }
    if (r_.Is(f, "planar_face") || r_.Is(f, "closed_pocket") || r_.Is(f, "open_pocket")) return GenerateArea(job);
    if (r_.Is(f, "round_hole")) return GenerateHole(job);
    if (r_.Is(f, "slot") || r_.Is(f, "step") || r_.Is(f, "profile_feature")) return GenerateAlong(job);
    job.reason = std::string("a feature of kind ") + f.TypeName() + " is not one toolpaths are generated for";
    return false;
  }

  // The file's toolpaths as feed moves in the feature's system, one polyline after another.
  bool Explicit(const cct_Instance& operation, double feed, int teeth, std::vector<Move>& out) {
    const cct_Instance* list = r_.Ref(operation, "its_toolpath");
    std::vector<cct_Instance*> paths;
    if (list) r_.Refs(*list, "its_list", paths);
    bool any = false;
    for (const cct_Instance* path : paths) {
      if (!path || r_.Is(*path, "feedstop")) continue;
      const cct_Instance* curve = nullptr;
      if (r_.Is(*path, "cutter_location_trajectory") || r_.Is(*path, "cutter_contact_trajectory")) {
        curve = r_.Ref(*path, "basiccurve");
        if (curve && r_.Is(*curve, "curve_with_normal_vector")) curve = r_.Ref(*curve, "basiccurve");
      }
      std::vector<Vec3> points;
      if (!curve || !geometry_.Curve(curve, points) || points.empty()) continue;
      double pathFeed = Feed(r_.Ref(*path, "its_technology"), teeth);
      if (!std::isfinite(pathFeed)) pathFeed = feed;
      MoveWriter writer(out, points.front());
      for (const Vec3& p : points) writer.Feed(p, pathFeed);
      any = true;
    }
    return any;
  }

  Program& program_;
  const ProgramOptions& options_;
  cct_Scope* scope_ = nullptr;
  Reader r_;
  std::vector<SceneProblem> problemList_;
  Problems problems_;
  Budget budget_;
  Geometry geometry_;
};

}  // namespace

Program BuildProgram(cct_Scope& scope, const ProgramOptions& options) {
  Program program;
  ProgramBuilder(program, options).Run(scope);
  return program;
}

}  // namespace varnholt

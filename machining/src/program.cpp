// The program builder: walks the project's workplans as the scene does and gives each
// workingstep its moves in its setup's coordinates, read from the file's toolpaths or
// generated from its feature.
#include "varnholt/program.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include <cstdio>
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

constexpr double kDefaultClear = 5;
constexpr double kPi = 3.14159265358979323846;
constexpr double kSpindleBetweenSystems = 387.3;  // 3000 / sqrt(60)  // above the feature's top, where nothing says how far

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
      : program_(program), options_(options), problems_(problemList_), geometry_(r_, problems_, budget_) {
    geometry_.SetTolerance(options.tolerance);
  }

  void Run(cct_Scope& scope) {
    const cct_Instance* project = FirstProject(r_, scope, options_.projects);
    if (!project) return;
    scope_ = &scope;
    program_.hasProject = true;
    // What cannot be placed the scene names; the program only says why a workingstep has no
    // moves.
    if (const cct_Instance* main = r_.Ref(*project, "main_workplan")) WorkplanWalk(r_, geometry_, problems_, *this).Run(*main);
    Convert();
  }

 private:
  bool Stop() override { return budget_.exhausted; }

  void Choice(const cct_Instance& element, const char* why) override {
    program_.choices.push_back(InstanceLabel(&element) + ": " + why);
  }

  // Feeds and spindle speeds are gathered as the file gives them (per second or per minute)
  // and converted once the system is known, since the whole file decides it.
  void Convert() {
    program_.units = options_.unitsGiven ? Given() : Chosen();
    const UnitSystem system = program_.units.system;
    for (ProgramStep& step : program_.steps) {
      if (std::isfinite(step.spindle)) step.spindle = SpindleRpm(step.spindle, system);
      for (Move& move : step.moves)
        if (std::isfinite(move.feed)) move.feed = FeedPerMinute(move.feed, system);
    }
    for (const Rate& rate : rates_) {
      const double perMinute = FeedPerMinute(rate.value, system);
      if (perMinute >= kLeastPlausibleFeed && perMinute <= kMostPlausibleFeed) continue;
      program_.implausible.push_back(
          {rate.technology, rate.attribute,
           "technology " + rate.technology + ": " + rate.what + " " + Text(rate.value) + " reads as " +
               Text(perMinute) + " mm/min in " + UnitName(system) + " units, which is implausible (" +
               (perMinute < kLeastPlausibleFeed ? "below 1 mm/min" : "above 100 m/min") + ")"});
    }
  }

  UnitChoice Given() const {
    UnitChoice choice;
    choice.system = options_.units;
    choice.given = true;
    choice.reason = std::string("given: ") + UnitDescription(choice.system);
    return choice;
  }

  // v = pi*d*n holds alike with m/s and rev/s or m/min and rpm, so agreement only says that a
  // technology's cutting speed and spindle speed are of one system; their size says which. A
  // milling spindle turns at hundreds to tens of thousands of rpm: read per minute, a speed
  // above 387 (3000 / sqrt 60, where both readings are equally far from a typical 3000 rpm)
  // lies nearer to that than read per second.
  UnitChoice Chosen() const {
    UnitChoice choice;
    const Vote* first[2] = {nullptr, nullptr};
    int count[2] = {0, 0};
    for (const Vote& vote : votes_) {
      const int k = std::fabs(vote.spindle) > kSpindleBetweenSystems ? 1 : 0;
      if (!first[k]) first[k] = &vote;
      ++count[k];
    }
    if (!first[0] && !first[1]) {
      choice.reason = "no technology gives a cutting speed and a spindle speed that agree with its tool's "
                      "diameter (v = pi*d*n within 5 %), so feeds and speeds are read in millimetres and seconds";
      return choice;
    }
    const int k = count[1] > count[0] || (count[1] == count[0] && first[1] && first[1]->order < first[0]->order) ? 1 : 0;
    choice.system = k ? UnitSystem::Shop : UnitSystem::Si;
    const Vote& v = *first[k];
    const double n = std::fabs(v.spindle);
    choice.reason = "technology " + v.technology + " gives cutspeed " + Text(v.cutspeed) + " and spindle " +
                    Text(v.spindle) + " for tool " + v.tool + " of diameter " + Text(v.diameter) +
                    " mm, which agree (v = pi*d*n) in either system; " +
                    (k ? Text(n) + " rpm is a milling spindle speed where " + Text(n) + " rev/s (" + Text(n * 60) +
                             " rpm) is none"
                       : Text(n) + " rev/s (" + Text(n * 60) + " rpm) is a milling spindle speed where " + Text(n) +
                             " rpm is none") +
                    " (" + std::to_string(count[k]) + " of " + std::to_string(count[0] + count[1]) +
                    " such technologies agree)";
    return choice;
  }

  static std::string Text(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6g", v);
    return buffer;
  }

  // What the file says of a technology's speeds, for choosing the system.
  void Gather(const cct_Instance* technology, const cct_Instance* tool, double diameter, ProgramStep& out) {
    if (!technology) return;
    out.technology = InstanceLabel(technology);
    double n = 0, v = 0;
    const bool hasSpindle = r_.Number(*technology, "spindle", n) && n != 0;
    const bool hasCutspeed = r_.Number(*technology, "cutspeed", v) && v > 0;
    if (hasSpindle) {
      out.spindle = n;
    } else if (hasCutspeed && diameter > 0) {
      // The cutting speed and the tool's diameter give the spindle speed exactly; the turning
      // sense is the tool's hand of cut: the usual cutting sense (a negative speed, M3) for
      // right-hand tools and where the tool does not say.
      const cct_Instance* body = tool ? r_.Ref(*tool, "its_tool_body") : nullptr;
      const bool left = body && r_.Text(*body, "hand_of_cut") == "left";
      out.spindle = (left ? 1 : -1) * v * 1000 / (kPi * diameter);
      out.spindleNote = "spindle from cutspeed " + Text(v) + " and diameter " + Text(diameter) + " mm" +
                        (left ? ", left hand of cut" : body && r_.Text(*body, "hand_of_cut") == "right"
                                                           ? ", right hand of cut"
                                                           : ", in the usual cutting sense");
    }
    if (!seenTechnologies_.insert(technology).second) return;
    double f = 0;
    if (r_.Number(*technology, "feedrate", f) && f > 0) rates_.push_back({out.technology, "feedrate", "feedrate", f});
    if (!hasSpindle || !hasCutspeed || !(diameter > 0)) return;
    const double expected = kPi * diameter / 1000 * std::fabs(n);
    if (std::fabs(v - expected) > 0.05 * expected) return;
    votes_.push_back({out.technology, InstanceLabel(tool), v, n, diameter, votes_.size()});
  }

  // Flood, mist and through-spindle coolant of the operation's machine functions.
  void Coolant(const cct_Instance* operation, ProgramStep& out) {
    const cct_Instance* functions = operation ? r_.Ref(*operation, "its_machine_functions") : nullptr;
    if (!functions) return;
    bool on = false;
    if (r_.Flag(*functions, "coolant", on)) out.coolant.flood = on;
    if (r_.Flag(*functions, "mist", on)) out.coolant.mist = on;
    if (r_.Flag(*functions, "through_spindle_coolant", on)) out.coolant.throughSpindle = on;
  }

  // A tool direction other than the setup's z axis needs axes a three-axis program lacks.
  void Axes(const cct_Instance* operation, const Placement& frame, ProgramStep& out) {
    auto along = [](const Vec3& d) { return std::fabs(d.x) < 1e-9 && std::fabs(d.y) < 1e-9 && d.z > 0; };
    const Vec3& axis = frame.axis[2];
    if (!along(axis)) {
      out.axisProblem = "its tool axis (" + Text(axis.x) + ", " + Text(axis.y) + ", " + Text(axis.z) +
                        ") is not the setup's z axis";
      return;
    }
    const cct_Instance* direction = operation ? r_.Ref(*operation, "its_tool_direction") : nullptr;
    if (!direction || r_.Is(*direction, "three_axes") || r_.Is(*direction, "two_axes")) return;
    if (r_.Is(*direction, "three_axes_tilted_tool")) {
      Vec3 d;
      if (geometry_.Direction(r_.Ref(*direction, "its_tool_direction"), d)) {
        const Vec3 placed = Add(Add(Mul(frame.axis[0], d.x), Mul(frame.axis[1], d.y)), Mul(frame.axis[2], d.z));
        if (along(placed)) return;
      }
      out.axisProblem = "its tool direction (" + InstanceLabel(direction) + ", three_axes_tilted_tool) is tilted";
      return;
    }
    double tilt = 0, yaw = 0;
    if (r_.Is(*direction, "five_axes_const_tilt_yaw") && r_.Number(*direction, "tilt_angle", tilt) &&
        r_.Number(*direction, "yaw_angle", yaw) && tilt == 0)
      return;
    out.axisProblem = std::string("its tool direction (") + InstanceLabel(direction) + ", " + direction->TypeName() +
                      ") needs five axes";
  }

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
    out.id = r_.Text(*tool, "its_id");
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

  // The feed as the file gives it, per second or per minute (Convert makes it mm/min): the
  // technology's feedrate, else feed per tooth x teeth x spindle speed.
  double Feed(const cct_Instance* technology, int teeth) {
    if (!technology) return std::numeric_limits<double>::quiet_NaN();
    double f = 0;
    if (r_.Number(*technology, "feedrate", f) && f > 0) return f;
    double perTooth = 0, spindle = 0;
    if (teeth > 0 && r_.Number(*technology, "feedrate_per_tooth", perTooth) && perTooth > 0 &&
        r_.Number(*technology, "spindle", spindle) && spindle != 0) {
      const double feed = perTooth * teeth * std::fabs(spindle);
      if (seenPerTooth_.insert(technology).second)
        rates_.push_back({InstanceLabel(technology), "feedrate_per_tooth", "feedrate_per_tooth x teeth x spindle", feed});
      return feed;
    }
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
    out.type = step.TypeName() ? step.TypeName() : "workingstep";
    out.setup = setup ? setup->index : -1;
    const cct_Instance* feature = r_.Ref(step, "its_feature");
    const cct_Instance* operation = r_.Ref(step, "its_operation");
    if (!operation && r_.Is(step, "operation")) operation = &step;
    if (feature) out.feature = InstanceLabel(feature), out.featureType = feature->TypeName();
    if (operation) out.operation = InstanceLabel(operation), out.operationType = operation->TypeName();
    machining_detail::Tool tool;
    const cct_Instance* toolInstance = operation ? r_.Ref(*operation, "its_tool") : nullptr;
    out.tool = Tool(toolInstance, tool);
    Gather(operation ? r_.Ref(*operation, "its_technology") : nullptr, toolInstance, out.tool.diameter, out);
    Coolant(operation, out);
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
    Axes(operation, frame, out);
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
      if (!Explicit(*operation, feed, tool.teeth, local, out)) {
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
    MoveWriter writer(out.moves, out.start);
    writer.Rapid(out.start);
    // A generator's first rapid to its clearance height is no move where that is the plane.
    const bool first = local.front().kind == MoveKind::Rapid && Same(local.front().to, out.start);
    out.moves.insert(out.moves.end(), local.begin() + (first ? 1 : 0), local.end());
    if (!Same(onPlane(end), end)) writer.Rapid(onPlane(end));
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

  // The file's toolpaths in the feature's system, one after another: lines as feeds, arcs of
  // circles as arcs, other curves as the chords the scene draws. A toolpath's own speed is a
  // rapid or a share of the technology's feed; a speed curve along the path is read as its
  // technology's feed.
  bool Explicit(const cct_Instance& operation, double feed, int teeth, std::vector<Move>& out, ProgramStep& step) {
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
        if (step.axisProblem.empty() && r_.Ref(*path, "its_toolaxis"))
          step.axisProblem = "its toolpath " + InstanceLabel(path) + " gives the tool axis along it";
      }
      if (!curve) continue;
      double pathFeed = Feed(r_.Ref(*path, "its_technology"), teeth);
      if (!std::isfinite(pathFeed)) pathFeed = feed;
      // A rapid movement's paths are rapid by what it is; other paths say it by their speed.
      bool rapid = r_.Is(operation, "rapid_movement");
      if (const cct_Type* speed = r_.Value(*path, "its_speed")) {
        double ratio = 0;
        if (r_.Number(speed, ratio) && ratio > 0) pathFeed *= ratio;
        else if (r_.Text(*path, "its_speed") == "rapid") rapid = true;
      }
      const size_t before = out.size();
      Vec3 at = out.empty() ? Vec3{} : out.back().to;
      if (!CurveMoves(*curve, pathFeed, out, at, out.empty(), 0)) {
        out.resize(before);
        continue;
      }
      if (out.size() == before) continue;
      const int source = static_cast<int>(step.toolpaths.size());
      step.toolpaths.push_back(InstanceLabel(path));
      for (size_t k = before; k < out.size(); ++k) {
        out[k].source = source;
        if (rapid && out[k].kind != MoveKind::Dwell) {
          out[k].kind = MoveKind::Rapid;
          out[k].feed = std::numeric_limits<double>::quiet_NaN();
        }
      }
      any = true;
    }
    return any;
  }

  // The moves along one curve. The first point of the first curve is where the tool starts:
  // a feed to it of no length. Arcs of circles stay arcs; the rest is chords.
  bool CurveMoves(const cct_Instance& curve, double feed, std::vector<Move>& out, Vec3& at, bool first, int depth) {
    if (depth > 16) return false;
    if (r_.Is(curve, "composite_curve")) {
      std::vector<cct_Instance*> segments;
      r_.Refs(curve, "segments", segments);
      bool any = false;
      for (const cct_Instance* segment : segments) {
        const cct_Instance* parent = segment ? r_.Ref(*segment, "parent_curve") : nullptr;
        if (!parent) continue;
        bool same = true;
        r_.Flag(*segment, "same_sense", same);
        const size_t before = out.size();
        if (same) {
          if (!CurveMoves(*parent, feed, out, at, first && !any, depth + 1)) continue;
        } else {
          // Against its sense: the segment's own moves, run backwards.
          std::vector<Move> piece;
          Vec3 start;
          if (!CurveMoves(*parent, feed, piece, start, true, depth + 1) || piece.empty()) continue;
          Reverse(piece);
          if (first && !any) out.push_back(piece.front());
          else Join(out, at, piece.front().to, feed);
          out.insert(out.end(), piece.begin() + 1, piece.end());
          at = out.back().to;
        }
        any = any || out.size() > before;
      }
      return any;
    }
    ArcPiece arc;
    if (geometry_.CircleArc(curve, arc)) {
      if (!budget_.Take(2)) return false;
      const Vec3 from = arc.frame.Apply({arc.radius * std::cos(arc.a0), arc.radius * std::sin(arc.a0), 0});
      const double a1 = arc.a0 + arc.sweep;
      const Vec3 to = arc.frame.Apply({arc.radius * std::cos(a1), arc.radius * std::sin(a1), 0});
      Join(out, at, from, feed, first);
      MoveWriter writer(out, from);
      // Clockwise as seen from where the normal points: against the counter-clockwise sweep.
      if (std::fabs(arc.sweep) >= 2 * kPi - 1e-12) {
        // A whole turn, as two halves: an arc that ends where it begins says no sweep.
        const Vec3 half = arc.frame.Apply({arc.radius * std::cos(arc.a0 + arc.sweep / 2),
                                           arc.radius * std::sin(arc.a0 + arc.sweep / 2), 0});
        writer.Arc(half, arc.frame.origin, arc.frame.axis[2], arc.sweep < 0, feed);
      }
      writer.Arc(to, arc.frame.origin, arc.frame.axis[2], arc.sweep < 0, feed);
      at = to;
      return true;
    }
    std::vector<Vec3> points;
    if (!geometry_.Curve(&curve, points) || points.empty()) return false;
    size_t k = 0;
    if (first) Join(out, at, points[k++], feed, true);
    else if (Same(at, points[0])) k = 1;
    MoveWriter writer(out, at);
    for (; k < points.size(); ++k) writer.Feed(points[k], feed);
    if (!out.empty()) at = out.back().to;
    return true;
  }

  static bool Same(const Vec3& a, const Vec3& b) {
    return std::fabs(a.x - b.x) < 1e-9 && std::fabs(a.y - b.y) < 1e-9 && std::fabs(a.z - b.z) < 1e-9;
  }

  // To `to` from where the tool is, unless it is there; at the start a feed of no length that
  // only says where the path begins.
  static void Join(std::vector<Move>& out, const Vec3& at, const Vec3& to, double feed, bool start = false) {
    if (!start && Same(at, to)) return;
    MoveWriter(out, at).Feed(to, feed);
  }

  // Moves run backwards: a first feed to where they ended, then each move to where the one
  // before it ended, arcs turning the other way.
  static void Reverse(std::vector<Move>& moves) {
    std::vector<Move> back;
    back.reserve(moves.size());
    Move begin = moves.back();
    begin.kind = MoveKind::Feed;
    back.push_back(begin);
    for (size_t k = moves.size() - 1; k >= 1; --k) {
      Move m = moves[k];
      m.to = moves[k - 1].to;
      m.clockwise = !m.clockwise;
      back.push_back(m);
    }
    moves.swap(back);
  }

  Program& program_;
  const ProgramOptions& options_;
  cct_Scope* scope_ = nullptr;
  Reader r_;
  std::vector<SceneProblem> problemList_;
  Problems problems_;
  Budget budget_;
  Geometry geometry_;
  struct Vote {
    std::string technology, tool;
    double cutspeed, spindle, diameter;
    size_t order;
  };
  struct Rate {
    std::string technology, attribute, what;
    double value;
  };
  std::vector<Vote> votes_;
  std::vector<Rate> rates_;
  std::unordered_set<const cct_Instance*> seenTechnologies_, seenPerTooth_;
};

}  // namespace

Program BuildProgram(cct_Scope& scope, const ProgramOptions& options) {
  Program program;
  ProgramBuilder(program, options).Run(scope);
  return program;
}

}  // namespace varnholt

namespace varnholt {

const char* UnitName(UnitSystem system) { return system == UnitSystem::Si ? "si" : "shop"; }

const char* UnitDescription(UnitSystem system) {
  return system == UnitSystem::Si ? "feed mm/s, cutting speed m/s, spindle rev/s"
                                  : "feed mm/min, cutting speed m/min, spindle rpm";
}

bool ParseUnits(const std::string& text, UnitSystem& out) {
  if (text == "si") out = UnitSystem::Si;
  else if (text == "shop") out = UnitSystem::Shop;
  else return false;
  return true;
}

UnitChoice ChooseUnits(cct_Scope& scope) {
  ProgramOptions options;
  options.explicitMoves = options.generatedMoves = false;
  return BuildProgram(scope, options).units;
}

}  // namespace varnholt

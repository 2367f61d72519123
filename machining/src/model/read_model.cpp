// The reader of the machining model: one walk of the project's workplans in machining order,
// and each setup, workpiece, workingstep, feature, operation, tool and technology it meets read
// once into plain values. The attribute names it asks for are the table below, which a test
// checks against the binding.
#include "varnholt/model_read.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string_view>
#include <unordered_map>

#include "cct/instance.h"
#include "cct/rawrecord.h"
#include "cct/scope.h"
#include "read_features.h"
#include "source.h"
#include "walk.h"

// Every attribute the reader names, written once: the reader asks for them through `A::name`,
// the test of the binding reads the list.
#define VARNHOLT_MODEL_ATTRIBUTES(X)                                                                        \
  X(main_workplan) X(its_id) X(its_feature) X(its_operation) X(its_secplane) X(position) X(its_tool)        \
  X(its_technology) X(its_machine_functions) X(coolant) X(mist) X(through_spindle_coolant) X(its_toolpath) \
  X(retract_plane) X(approach) X(retract) X(angle) X(radius) X(width) X(its_tool_direction) X(tilt_angle)   \
  X(yaw_angle) X(its_tool_body) X(dimension) X(diameter) X(edge_radius) X(tool_tip_half_angle)              \
  X(cutting_edge_length) X(overall_assembly_length) X(number_of_teeth) X(hand_of_cut) X(feedrate)           \
  X(feedrate_per_tooth) X(cutspeed) X(spindle) X(its_workpiece) X(feature_placement)                        \
  X(its_bounding_geometry) X(location) X(axis) X(height) X(x) X(y) X(z) X(its_list) X(basiccurve)           \
  X(its_toolaxis) X(its_speed) X(its_elements) X(clamping_positions) X(its_machining_strategy) X(overlap) X(feed_direction) X(stepover_direction)     \
  X(rotation_direction) X(cutmode) X(spiral_cutmode) X(reduced_feed_at_start) X(depth_of_start)               \
  X(reduced_feed_at_end) X(depth_of_end) X(axial_cutting_depth) X(radial_cutting_depth) X(allowance_side)       \
  X(allowance_bottom) X(cutting_depth) X(first_depth) X(depth_of_step) X(retract_distance) X(dwell_time_step)  \
  X(dwell_time_bottom) X(feed_on_retract) X(its_features) X(feedrate_per_revolution) X(spindle_speed) X(rot_speed)  \
  X(speed) X(implicit_tolerance) X(upper_limit) X(lower_limit) X(its_workpieces) X(swept_shape)                 \
  X(feature_boundary) X(open_boundary) X(profile_width) X(profile_length)

namespace varnholt {
namespace {

namespace A {
#define VARNHOLT_NAME(n) constexpr const char* n = #n;
VARNHOLT_MODEL_ATTRIBUTES(VARNHOLT_NAME)
#undef VARNHOLT_NAME
}  // namespace A

using namespace scene_detail;
using model_detail::Source;
using namespace model_detail;

// Plane angles of a plunge: writers give radians (most tool angles) or degrees (most strategy
// angles); an angle below one is taken as radians, since a slope of less than a degree is no
// ramp anyone writes.
double PlungeRadians(double angle) { return std::fabs(angle) < 1 ? angle : angle * kPi / 180; }

class ModelReader : WorkplanWalk::Visitor {
 public:
  ModelReader(Model& model, Source& source, cct_Scope& scope)
      : model_(model),
        source_(source),
        scope_(scope),
        walkProblems_(model.problems),
        walkGeometry_(r_, walkProblems_, budget_),
        problems_(readProblems_),
        geometry_(r_, problems_, budget_) {}

  void Run(const ModelOptions& options) {
    source_.scope = &scope_;
    geometry_.SetTolerance(options.tolerance);
    Walk(options);
    if (options.population) Population(options.population);
  }

 private:
  void Walk(const ModelOptions& options) {
    const cct_Instance* project = FirstProject(r_, scope_, options.projects);
    if (!project) return;
    source_.project = project;
    model_.hasProject = true;
    model_.project = InstanceLabel(project);
    const cct_Instance* main = r_.Ref(*project, A::main_workplan);
    if (!main) return;
    model_.hasMainWorkplan = true;
    std::vector<cct_Instance*> top;
    r_.Refs(*main, A::its_elements, top);
    model_.mainElements = top.size();
    WorkplanWalk(r_, walkGeometry_, walkProblems_, *this).Run(*main);
    Flush();
  }

  // What the workplans do not reach is read as what they do, once each.
  void Population(const std::function<const std::vector<const cct_Instance*>&(const char*)>& ofType) {
    ModelPopulation& out = model_.population;
    out.read = true;
    for (const cct_Instance* step : ofType("workingstep"))
      if (step) out.workingsteps.push_back(Workingstep(*step));
    for (const cct_Instance* operation : ofType("machining_operation")) out.operations.push_back(Operation(operation));
    for (const cct_Instance* technology : ofType("technology")) out.technologies.push_back(Technology(technology));
    std::unordered_map<int, bool> named;
    for (const cct_Instance* project : ofType("project")) {
      if (!project) continue;
      out.hasProject = true;
      std::vector<cct_Instance*> workpieces;
      r_.Refs(*project, A::its_workpieces, workpieces);
      for (const cct_Instance* workpiece : workpieces) {
        const int k = Workpiece(workpiece);
        if (k >= 0 && named.emplace(k, true).second) out.projectWorkpieces.push_back(k);
      }
    }
  }

  // The walk's problems since the last event, as events of their own: they come between the
  // visits in the order the walk met them.
  void Flush() {
    for (; told_ < model_.problems.size(); ++told_) model_.walk.push_back({ModelWalkEvent::Problem, told_});
  }

  void Event(ModelWalkEvent::Kind kind, size_t index) {
    Flush();
    model_.walk.push_back({kind, index});
  }

  bool Stop() override {
    Event(ModelWalkEvent::Check, 0);
    return false;
  }

  void MainElementDone() override { Event(ModelWalkEvent::MainElementDone, 0); }

  // The tree: each executable a node, under the structure the walk is in.
  size_t Node(const cct_Instance& element, ModelExecutable::Kind kind) {
    using K = ModelExecutable::Kind;
    if (kind == K::Other)
      kind = r_.Is(element, "workplan")          ? K::Workplan
             : r_.Is(element, "selective")       ? K::Selective
             : r_.Is(element, "parallel")        ? K::Parallel
             : r_.Is(element, "if_statement")    ? K::If
             : r_.Is(element, "while_statement") ? K::While
             : r_.Is(element, "program_stop")    ? K::ProgramStop
             : r_.Is(element, "nc_function")     ? K::NcFunction
                                                 : K::Other;
    ModelExecutable node;
    node.kind = kind;
    node.name = InstanceLabel(&element);
    node.label = r_.Text(element, A::its_id);
    node.type = element.TypeName() ? element.TypeName() : "?";
    model_.executables.push_back(std::move(node));
    const size_t k = model_.executables.size() - 1;
    if (!open_.empty()) model_.executables[open_.back()].elements.push_back(k);
    return k;
  }

  void Open(const cct_Instance& structure) override { open_.push_back(Node(structure, ModelExecutable::Other)); }
  void Close() override { open_.pop_back(); }
  void Other(const cct_Instance& element) override { Node(element, ModelExecutable::Other); }

  void Choice(const cct_Instance& element, const char* why) override {
    model_.choices.push_back({InstanceLabel(&element) + ": " + why, model_.order.size()});
  }

  void Cycle(const cct_Instance& plan, const cct_Instance& through) override {
    model_.cycles.push_back({InstanceLabel(&plan), plan.TypeName() ? plan.TypeName() : "?", InstanceLabel(&through)});
  }

  void Setup(const SetupFrames& frames) override {
    ModelSetup setup;
    setup.name = InstanceLabel(frames.setup);
    setup.label = r_.Text(*frames.setup, A::its_id);
    setup.placed = frames.placed;
    setup.origin = frames.origin;
    for (const SetupFrames::Workpiece& w : frames.workpieces)
      setup.workpieces.push_back({Workpiece(w.workpiece), w.placed, w.frame});
    model_.setups.push_back(std::move(setup));
    source_.setups.push_back(frames.setup);
    Event(ModelWalkEvent::Setup, model_.setups.size() - 1);
  }

  void Workingstep(const cct_Instance& step, const SetupFrames* setup) override {
    Event(ModelWalkEvent::Step, model_.order.size());
    model_.executables[Node(step, ModelExecutable::Workingstep)].step = static_cast<int>(model_.order.size());
    model_.order.push_back({Workingstep(step), setup ? setup->index : -1, model_.setups.size()});
  }

  // Each object once, however often the workplans reach it.
  template <typename T>
  static int Known(std::unordered_map<const cct_Instance*, int>& index, const cct_Instance* instance,
                   std::vector<T>& objects, std::vector<const cct_Instance*>& sources, bool& fresh) {
    fresh = false;
    if (!instance) return -1;
    auto [at, inserted] = index.emplace(instance, static_cast<int>(objects.size()));
    if (inserted) {
      objects.emplace_back();
      sources.push_back(instance);
      fresh = true;
    }
    return at->second;
  }

  int Workingstep(const cct_Instance& step) {
    bool fresh = false;
    const int k = Known(workingsteps_, &step, model_.workingsteps, source_.workingsteps, fresh);
    if (!fresh) return k;
    ModelWorkingstep out;
    out.name = InstanceLabel(&step);
    out.label = r_.Text(step, A::its_id);
    out.type = step.TypeName() ? step.TypeName() : "workingstep";
    const cct_Instance* operation = r_.Ref(step, A::its_operation);
    // An operation that is its own workingstep names itself.
    if (!operation && r_.Is(step, "operation")) operation = &step;
    out.feature = Feature(r_.Ref(step, A::its_feature));
    std::vector<cct_Instance*> listed;
    r_.Refs(step, A::its_features, listed);
    for (const cct_Instance* feature : listed)
      if (feature) out.listedFeatures.push_back(Feature(feature));
    out.operation = Operation(operation);
    if (const cct_Instance* secplane = r_.Ref(step, A::its_secplane)) {
      out.securityPlaneName = InstanceLabel(secplane);
      out.securityPositionRead = geometry_.Axis2(r_.Ref(*secplane, A::position), out.securityPlane, secplane,
                                                 "the security plane's position");
      out.hasSecurityPlane = r_.Is(*secplane, "plane") && out.securityPositionRead;
    }
    model_.workingsteps[k] = std::move(out);
    return k;
  }

  int Feature(const cct_Instance* feature) {
    bool fresh = false;
    const int k = Known(features_, feature, model_.features, source_.features, fresh);
    if (!fresh) return k;
    ModelFeature out;
    out.name = InstanceLabel(feature);
    out.type = feature->TypeName() ? feature->TypeName() : "?";
    out.workpiece = Workpiece(r_.Ref(*feature, A::its_workpiece));
    out.placed = geometry_.Axis2(r_.Ref(*feature, A::feature_placement), out.placement, feature, "the feature's placement");
    FeatureReading reading{r_, geometry_};
    if (r_.Is(*feature, "planar_face") || r_.Is(*feature, "closed_pocket") || r_.Is(*feature, "open_pocket"))
      out.area = ReadArea(reading, *feature);
    else if (r_.Is(*feature, "round_hole"))
      out.hole = ReadHole(reading, *feature);
    else if (r_.Is(*feature, "slot") || r_.Is(*feature, "step") || r_.Is(*feature, "profile_feature"))
      out.along = ReadAlong(reading, *feature);
    Sizes(*feature, out);
    model_.features[k] = std::move(out);
    return k;
  }

  // The sizes a tool must fit: the narrowest width of a slot or pocket, a hole's diameter with
  // its tolerance.
  void Sizes(const cct_Instance& feature, ModelFeature& out) {
    auto width = [&](const cct_Instance* profile) {
      if (!profile) return;
      double r = 0, w = 0, l = 0;
      if (r_.Is(*profile, "partial_circular_profile")) {
        if (r_.Number(*profile, A::radius, r)) out.width = 2 * r;
      } else if (r_.Is(*profile, "rectangular_closed_profile")) {
        if (r_.Number(*profile, A::profile_width, w) && r_.Number(*profile, A::profile_length, l)) out.width = std::min(w, l);
      } else if (r_.Is(*profile, "circular_closed_profile")) {
        Number(*profile, A::diameter, out.width);
      } else {
        Number(*profile, A::width, out.width);  // square and rounded U, tee
      }
    };
    if (r_.Is(feature, "slot")) width(r_.Ref(feature, A::swept_shape));
    else if (r_.Is(feature, "closed_pocket")) width(r_.Ref(feature, A::feature_boundary));
    else if (r_.Is(feature, "open_pocket")) width(r_.Ref(feature, A::open_boundary));
    if (!r_.Is(feature, "round_hole")) return;
    const cct_Instance* measure = r_.Ref(feature, A::diameter);
    Number(feature, A::diameter, out.diameter);
    const cct_Instance* tolerance = measure ? r_.Ref(*measure, A::implicit_tolerance) : nullptr;
    out.toleranced = tolerance && r_.Is(*tolerance, "plus_minus_value") &&
                     r_.Number(*tolerance, A::upper_limit, out.upperLimit) &&
                     r_.Number(*tolerance, A::lower_limit, out.lowerLimit);
    if (!out.toleranced) out.upperLimit = out.lowerLimit = 0;
  }

  int Workpiece(const cct_Instance* workpiece) {
    bool fresh = false;
    const int k = Known(workpieces_, workpiece, model_.workpieces, source_.workpieces, fresh);
    if (!fresh) return k;
    ModelWorkpiece out;
    out.name = InstanceLabel(workpiece);
    out.id = r_.Text(*workpiece, A::its_id);
    Stock(r_.Ref(*workpiece, A::its_bounding_geometry), out.stock);
    std::vector<cct_Instance*> clamps;
    r_.Refs(*workpiece, A::clamping_positions, clamps);
    for (const cct_Instance* clamp : clamps) {
      Vec3 p;
      if (clamp && geometry_.Point(clamp, p)) out.clampingPositions.push_back(p);
    }
    model_.workpieces[k] = std::move(out);
    return k;
  }

  void Stock(const cct_Instance* shape, ModelStock& out) {
    if (!shape) return;
    out.name = InstanceLabel(shape);
    out.type = shape->TypeName() ? shape->TypeName() : "?";
    if (r_.Is(*shape, "right_circular_cylinder")) {
      out.kind = ModelStock::Cylinder;
      const cct_Instance* axis = r_.Ref(*shape, A::position);
      Vec3 direction{0, 0, 1};
      if (!axis || !geometry_.Point(r_.Ref(*axis, A::location), out.position.origin) ||
          !r_.Number(*shape, A::height, out.z) || !r_.Number(*shape, A::radius, out.x)) {
        out.reason = "the cylinder's position, height or radius is unset";
        return;
      }
      geometry_.Direction(r_.Ref(*axis, A::axis), direction);
      out.position.axis[2] = direction;
      return;
    }
    if (!r_.Is(*shape, "block")) {
      out.kind = ModelStock::Other;
      out.reason = "a workpiece shape of kind " + out.type + " is not read (only a block or a cylinder)";
      return;
    }
    out.kind = ModelStock::Block;
    if (!geometry_.Axis2(r_.Ref(*shape, A::position), out.position, shape, "the block's position"))
      out.reason = "the block's position cannot be read";
    else if (!r_.Number(*shape, A::x, out.x) || !r_.Number(*shape, A::y, out.y) || !r_.Number(*shape, A::z, out.z))
      out.reason = "the block's x, y or z is unset";
  }

  int Operation(const cct_Instance* operation) {
    bool fresh = false;
    const int k = Known(operations_, operation, model_.operations, source_.operations, fresh);
    if (!fresh) return k;
    ModelOperation out;
    const cct_Instance& o = *operation;
    out.name = InstanceLabel(operation);
    out.type = o.TypeName() ? o.TypeName() : "?";
    out.milling = r_.Is(o, "milling_type_operation");
    out.drilling = r_.Is(o, "drilling_type_operation");
    out.freeform = r_.Is(o, "freeform_operation");
    out.rapid = r_.Is(o, "rapid_movement");
    out.drill = r_.Is(o, "drilling");
    const cct_Instance* toolpaths = r_.Ref(o, A::its_toolpath);
    out.explicitToolpaths = toolpaths != nullptr;
    source_.toolpathCurves.resize(model_.operations.size());
    if (toolpaths) Toolpaths(*toolpaths, out, source_.toolpathCurves[k]);
    Number(o, A::retract_plane, out.retractPlane);
    out.approach = Strategy(r_.Ref(o, A::approach));
    out.retract = Strategy(r_.Ref(o, A::retract));
    if (const cct_Instance* functions = r_.Ref(o, A::its_machine_functions)) {
      bool on = false;
      if (r_.Flag(*functions, A::coolant, on)) out.coolant.flood = on;
      if (r_.Flag(*functions, A::mist, on)) out.coolant.mist = on;
      if (r_.Flag(*functions, A::through_spindle_coolant, on)) out.coolant.throughSpindle = on;
    }
    Direction(r_.Ref(o, A::its_tool_direction), out.direction);
    out.sideMilling = r_.Is(o, "side_milling");
    out.planeMilling = r_.Is(o, "plane_milling");
    out.bottomAndSideMilling = r_.Is(o, "bottom_and_side_milling");
    out.counterSinking = r_.Is(o, "counter_sinking");
    out.multistepDrilling = r_.Is(o, "multistep_drilling");
    out.boring = r_.Is(o, "boring_operation");
    out.tapping = r_.Is(o, "tapping");
    out.threadDrilling = r_.Is(o, "thread_drilling");
    Number(o, A::axial_cutting_depth, out.axialCuttingDepth);
    Number(o, A::radial_cutting_depth, out.radialCuttingDepth);
    Number(o, A::allowance_side, out.allowanceSide);
    Number(o, A::allowance_bottom, out.allowanceBottom);
    Number(o, A::cutting_depth, out.cuttingDepth);
    Number(o, A::first_depth, out.firstDepth);
    Number(o, A::depth_of_step, out.depthOfStep);
    Number(o, A::retract_distance, out.retractDistance);
    Number(o, A::dwell_time_step, out.dwellTimeStep);
    Number(o, A::dwell_time_bottom, out.dwellTimeBottom);
    Number(o, A::feed_on_retract, out.feedOnRetract);
    if (const cct_Instance* strategy = r_.Ref(o, A::its_machining_strategy)) Strategy(*strategy, out.strategy);
    const cct_Instance* tool = r_.Ref(o, A::its_tool);
    out.tool = Tool(tool);
    out.technology = Technology(r_.Ref(o, A::its_technology));
    model_.operations[k] = std::move(out);
    return k;
  }

  // The trajectories of a toolpath list with what the program asks of each.
  void Toolpaths(const cct_Instance& list, ModelOperation& out, std::vector<const cct_Instance*>& curves) {
    std::vector<cct_Instance*> paths;
    r_.Refs(list, A::its_list, paths);
    out.listed = paths.size();
    for (const cct_Instance* path : paths) {
      if (!path || r_.Is(*path, "feedstop")) continue;
      if (!r_.Is(*path, "cutter_location_trajectory") && !r_.Is(*path, "cutter_contact_trajectory")) continue;
      ModelToolpath toolpath;
      toolpath.name = InstanceLabel(path);
      const cct_Instance* curve = r_.Ref(*path, A::basiccurve);
      if (curve && r_.Is(*curve, "curve_with_normal_vector")) curve = r_.Ref(*curve, A::basiccurve);
      toolpath.toolAxis = r_.Ref(*path, A::its_toolaxis) != nullptr;
      toolpath.hasCurve = curve != nullptr;
      if (curve) {
        toolpath.technology = Technology(r_.Ref(*path, A::its_technology));
        if (const cct_Type* speed = r_.Value(*path, A::its_speed)) {
          double ratio = 0;
          if (r_.Number(speed, ratio) && ratio > 0) toolpath.speedRatio = ratio;
          else if (r_.HeldText(speed) == "rapid") toolpath.rapidSpeed = true;  // bare or typed
        }
      }
      out.toolpaths.push_back(std::move(toolpath));
      curves.push_back(curve);
    }
  }

  void Strategy(const cct_Instance& s, ModelStrategy& out) {
    using P = ModelStrategy::Pattern;
    out.name = InstanceLabel(&s);
    out.type = s.TypeName() ? s.TypeName() : "?";
    out.pattern = r_.Is(s, "unidirectional")          ? P::Unidirectional
                  : r_.Is(s, "bidirectional")         ? P::Bidirectional
                  : r_.Is(s, "contour_parallel")      ? P::ContourParallel
                  : r_.Is(s, "bidirectional_contour") ? P::BidirectionalContour
                  : r_.Is(s, "contour_bidirectional") ? P::ContourBidirectional
                  : r_.Is(s, "center_milling")        ? P::CenterMilling
                                                      : P::Other;
    Number(s, A::overlap, out.overlap);
    if (const cct_Instance* direction = r_.Ref(s, A::feed_direction)) {
      out.hasFeedDirection = true;
      out.feedDirectionRead = geometry_.Direction(direction, out.feedDirection);
    }
    out.stepoverDirection = r_.Text(s, A::stepover_direction);
    out.rotationDirection = r_.Text(s, A::rotation_direction);
    out.cutmode = r_.Text(s, A::cutmode);
    out.spiralCutmode = r_.Text(s, A::spiral_cutmode);
    Number(s, A::reduced_feed_at_start, out.reducedFeedAtStart);
    Number(s, A::depth_of_start, out.depthOfStart);
    Number(s, A::reduced_feed_at_end, out.reducedFeedAtEnd);
    Number(s, A::depth_of_end, out.depthOfEnd);
  }

  Plunge Strategy(const cct_Instance* strategy) {
    Plunge p;
    if (!strategy) return p;
    double a = 0;
    if (r_.Is(*strategy, "plunge_ramp") && r_.Number(*strategy, A::angle, a)) {
      p.kind = Plunge::Ramp;
      p.angle = PlungeRadians(a);
    } else if (r_.Is(*strategy, "plunge_helix") && r_.Number(*strategy, A::angle, a) &&
               r_.Number(*strategy, A::radius, p.radius)) {
      p.kind = Plunge::Helix;
      p.angle = PlungeRadians(a);
    } else if (r_.Is(*strategy, "plunge_zigzag") && r_.Number(*strategy, A::angle, a) &&
               r_.Number(*strategy, A::width, p.width)) {
      p.kind = Plunge::Zigzag;
      p.angle = PlungeRadians(a);
    }
    if (!(p.angle > 0 && p.angle < kPi / 2)) p.kind = Plunge::Axis;
    return p;
  }

  void Direction(const cct_Instance* direction, ModelOperation::Direction& out) {
    if (!direction || r_.Is(*direction, "three_axes") || r_.Is(*direction, "two_axes")) return;
    out.name = InstanceLabel(direction);
    out.type = direction->TypeName() ? direction->TypeName() : "?";
    if (r_.Is(*direction, "three_axes_tilted_tool")) {
      out.kind = ModelOperation::Direction::Tilted;
      out.hasVector = geometry_.Direction(r_.Ref(*direction, A::its_tool_direction), out.vector);
      return;
    }
    if (r_.Is(*direction, "five_axes_const_tilt_yaw")) {
      out.kind = ModelOperation::Direction::ConstantTiltYaw;
      out.hasAngles = r_.Number(*direction, A::tilt_angle, out.tilt) && r_.Number(*direction, A::yaw_angle, out.yaw);
      return;
    }
    out.kind = ModelOperation::Direction::Other;
  }

  int Tool(const cct_Instance* tool) {
    bool fresh = false;
    const int k = Known(tools_, tool, model_.tools, source_.tools, fresh);
    if (!fresh) return k;
    ModelTool out;
    out.name = InstanceLabel(tool);
    out.id = r_.Text(*tool, A::its_id);
    Number(*tool, A::overall_assembly_length, out.overallLength);
    const cct_Instance* given = r_.Ref(*tool, A::its_tool_body);
    if (given) {
      const std::string hand = r_.Text(*given, A::hand_of_cut);
      out.hand = hand == "right" ? Hand::Right : hand == "left" ? Hand::Left : hand == "neutral" ? Hand::Neutral : Hand::Unknown;
      // The kind of a body kept as written is not known: its end is taken as flat.
      out.ballEnd = r_.Is(*given, "ball_endmill");
      out.drill = r_.Is(*given, "drill") || r_.Is(*given, "centerdrill");
      out.pointed = out.drill || r_.Is(*given, "countersink");
      out.drilling = out.pointed || r_.Is(*given, "reamer") || r_.Is(*given, "tap") || r_.Is(*given, "boring_tool") ||
                     r_.Is(*given, "counterbore");
    }
    const cct_Instance* body = given ? given : Kept(*tool, A::its_tool_body);
    if (body) ToolBody(*body, out);
    if (body != given) out.bodyDiameter = kUnset;  // a body kept as written gives the checks none
    model_.tools[k] = std::move(out);
    return k;
  }

  void ToolBody(const cct_Instance& body, ModelTool& out) {
    out.bodyType = body.TypeName() ? body.TypeName() : "";
    double d = 0, e = 0, tip = 0, teeth = 0;
    bool hasEdge = false;
    const auto* rawBody = dynamic_cast<const cct_RawInstance*>(&body);
    // A tool body of an entity our binding lacks (center_drill of the earlier schema) is kept
    // as written; its parameters begin as every milling tool body's: the dimension, the teeth.
    const cct_Instance* dimension = rawBody ? Named(Parameter(*rawBody, 0)) : r_.Ref(body, A::dimension);
    const bool built = dimension && !rawBody;
    if (!dimension && !rawBody) dimension = Kept(body, A::dimension);
    if (const auto* raw = dynamic_cast<const cct_RawInstance*>(dimension)) {
      // The earlier schema's tool_dimension has a milling_tool_dimension's parameters.
      if (std::strcmp(raw->TypeName(), "tool_dimension") == 0) {
        if (!Number(Parameter(*raw, 0), d)) d = 0;
        hasEdge = Number(Parameter(*raw, 4), e) && e >= 0;
        if (!Number(Parameter(*raw, 1), tip)) tip = 0;
        double length = 0;
        if (Number(Parameter(*raw, 3), length)) out.cuttingEdgeLength = length;
      }
    } else if (dimension) {
      if (built) Number(*dimension, A::diameter, out.bodyDiameter);
      if (!r_.Number(*dimension, A::diameter, d)) d = 0;
      hasEdge = r_.Number(*dimension, A::edge_radius, e) && e >= 0;
      if (!r_.Number(*dimension, A::tool_tip_half_angle, tip)) tip = 0;
      Number(*dimension, A::cutting_edge_length, out.cuttingEdgeLength);
    }
    if (tip > 0) out.tipHalfAngle = tip;
    if (d > 0) out.diameter = d;
    if (hasEdge) {
      out.hasCornerRadius = true;
      out.cornerRadius = e;
    }
    const bool hasTeeth = rawBody ? Number(Parameter(*rawBody, 1), teeth) : r_.Number(body, A::number_of_teeth, teeth);
    if (hasTeeth && teeth > 0 && teeth < 1e6) out.teeth = static_cast<int>(teeth);
    if (rawBody) {
      // Then the hand of cut, an enumeration value as written.
      std::string hand(Parameter(*rawBody, 2));
      for (char& c : hand) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (hand == ".right.") out.hand = Hand::Right;
      else if (hand == ".left.") out.hand = Hand::Left;
      else if (hand == ".neutral.") out.hand = Hand::Neutral;
    }
  }

  int Technology(const cct_Instance* technology) {
    bool fresh = false;
    const int k = Known(technologies_, technology, model_.technologies, source_.technologies, fresh);
    if (!fresh) return k;
    ModelTechnology out;
    out.name = InstanceLabel(technology);
    out.type = technology->TypeName() ? technology->TypeName() : "?";
    out.milling = r_.Is(*technology, "milling_technology");
    Number(*technology, A::feedrate, out.feedrate);
    Number(*technology, A::feedrate_per_tooth, out.feedratePerTooth);
    Number(*technology, A::cutspeed, out.cutspeed);
    Number(*technology, A::spindle, out.spindle);
    Number(*technology, A::feedrate_per_revolution, out.feedratePerRevolution);
    if (const cct_Instance* speed = r_.Ref(*technology, A::spindle_speed)) {
      out.spindleSpeed = InstanceLabel(speed);
      Number(*speed, A::rot_speed, out.rotSpeed);
      Number(*speed, A::speed, out.speed);
    }
    model_.technologies[k] = std::move(out);
    return k;
  }

  // A number, or NaN where unset or not one.
  void Number(const cct_Instance& instance, const char* name, double& out) {
    double value = 0;
    out = r_.Number(instance, name, value) ? value : kUnset;
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
    if (text.size() < 2 || text[0] != '#') return nullptr;
    const cct_Scope::Entry* entry = scope_.FindEntry(std::string(text.substr(1)).c_str(), 1);
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

  Model& model_;
  Source& source_;
  cct_Scope& scope_;
  Reader r_;
  Budget budget_;
  // The walk's problems are the model's; what reading the objects meets is the scene's and the
  // generators' to say, where they draw or use them.
  Problems walkProblems_;
  Geometry walkGeometry_;
  std::vector<SceneProblem> readProblems_;
  Problems problems_;
  Geometry geometry_;
  size_t told_ = 0;
  std::vector<size_t> open_;  // the structures the walk is in
  std::unordered_map<const cct_Instance*, int> workingsteps_, features_, workpieces_, operations_, tools_,
      technologies_;
};

}  // namespace

Model ReadModel(cct_Scope& scope, const ModelOptions& options) {
  Model model;
  auto source = std::make_shared<model_detail::Source>();
  ModelReader(model, *source, scope).Run(options);
  model.source = std::move(source);
  model.units = ChooseUnits(model);
  model.unitsChosen = true;
  return model;
}

const std::vector<const char*>& ModelAttributeNames() {
  static const std::vector<const char*> names = [] {
#define VARNHOLT_NAME(n) #n,
    std::vector<const char*> all = {VARNHOLT_MODEL_ATTRIBUTES(VARNHOLT_NAME)};
#undef VARNHOLT_NAME
    for (const auto* family : {&AreaAttributeNames(), &HoleAttributeNames(), &AlongAttributeNames()})
      all.insert(all.end(), family->begin(), family->end());
    return all;
  }();
  return names;
}

std::string CycleText(const ModelCycle& cycle) {
  return "contains itself" +
         (cycle.through == cycle.structure ? std::string(" as one of its own elements") : " through " + cycle.through) +
         "; the walk enters it once, so nothing in it is machined twice";
}

}  // namespace varnholt

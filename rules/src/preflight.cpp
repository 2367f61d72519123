// The CNC preflight: what a machine would trip over before the first cut — a tool wider than
// its feature, a drill that does not make its hole, a security plane inside the stock, toolpaths
// that leave it, speeds that contradict the tool, feeds that are no feeds, features of no
// workpiece of the project, steps the project never reaches. Warnings, each with its numbers.
#include <algorithm>
#include <cmath>
#include <deque>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "cct/scope.h"
#include "cct/instance.h"
#include "cct/references.h"
#include "checks.h"
#include "model_read.h"
#include "preflight_features.h"
#include "preflight_machining.h"
#include "preflight_read.h"
#include "propositions.h"
#include "referrers.h"
#include "varnholt/navigation.h"
#include "varnholt/model_read.h"
#include "varnholt/program.h"
#include "varnholt/scene.h"
#include "varnholt/scene_toolpaths.h"

namespace varnholt::rules {

namespace {

namespace read = preflight_read;


std::string Unit(const Scene& scene) { return scene.lengthUnit.empty() ? "mm" : scene.lengthUnit; }

const cct_Instance* Named(cct_Scope& scope, const std::string& label) {
  if (label.size() < 2 || label[0] != '#') return nullptr;
  cct_Scope::Entry* entry = scope.FindEntry(label.c_str() + 1, 1);
  return entry && entry->instance && !entry->instance->IsKilled() ? entry->instance : nullptr;
}

// The model's objects by the instances they were read from, for reports that name them.
class Instances {
 public:
  explicit Instances(CheckContext& context) : model_(context.ModelOfProject()), scope_(context.Scope()) {}
  const Model& model() const { return model_; }
  const cct_Instance* operator()(const std::string& name) const { return Named(scope_, name); }
  const ModelTool* Tool(const ModelOperation& operation) const {
    return operation.tool >= 0 ? &model_.tools[operation.tool] : nullptr;
  }
  const ModelOperation* Operation(const ModelWorkingstep& step) const {
    return step.operation >= 0 ? &model_.operations[step.operation] : nullptr;
  }
  // The diameter a tool's body gives, as the checks read it; false where none.
  static bool Diameter(const ModelTool* tool, double& d) {
    if (!tool || !std::isfinite(tool->bodyDiameter)) return false;
    d = tool->bodyDiameter;
    return true;
  }

 private:
  const Model& model_;
  cct_Scope& scope_;
};

void ToolFitsFeature(CheckContext& context, const Rule& rule) {
  const Instances named(context);
  const Model& model = named.model();
  for (int k : model.population.workingsteps) {
    const ModelWorkingstep& step = model.workingsteps[k];
    const cct_Instance* instance = named(step.name);
    if (!instance || !IsOfType(*instance, "machining_workingstep") || step.feature < 0) continue;
    const ModelFeature& feature = model.features[step.feature];
    const ModelOperation* operation = named.Operation(step);
    const ModelTool* tool = operation ? named.Tool(*operation) : nullptr;
    double d;
    if (!operation || !Instances::Diameter(tool, d)) continue;
    const std::string toolText = "tool " + tool->name + " diameter " + Fmt(d) + " mm";
    if (std::isfinite(feature.width)) {
      const cct_Instance* of = named(feature.name);
      const std::string what = of && IsOfType(*of, "slot") ? "slot " + feature.name + " width"
                                                           : "pocket " + feature.name + " smallest width";
      if (d > feature.width * (1 + 1e-9))
        context.Report(rule, *instance, "its_operation",
                       rule.description + "; found " + toolText + " > " + what + " " + Fmt(feature.width) + " mm");
      continue;
    }
    if (!std::isfinite(feature.diameter)) continue;
    const double hole = feature.diameter, upper = feature.upperLimit, lower = feature.lowerLimit;
    const bool toleranced = feature.toleranced;
    const double slack = 1e-6 * std::max(1.0, hole);
    const std::string holeText = "hole " + feature.name + " diameter " + Fmt(hole) + " mm";
    if (operation->drill) {
      if (toleranced ? (d < hole - lower - slack || d > hole + upper + slack) : std::fabs(d - hole) > slack)
        context.Report(rule, *instance, "its_operation",
                       rule.description + "; found drill " + toolText.substr(5) + " for " + holeText +
                           (toleranced ? " +" + Fmt(upper) + "/-" + Fmt(lower) + " mm" : " (no tolerance)"));
    } else if (d > hole + upper + slack) {
      context.Report(rule, *instance, "its_operation", rule.description + "; found " + toolText + " > " + holeText);
    }
  }
}

// The corners of a workpiece's stock in the workpiece's own system: a block's, or the box
// around a cylinder; false where it has none that can be read.
bool StockCorners(const ModelWorkpiece* workpiece, std::vector<Vec3>& corners) {
  if (!workpiece || !workpiece->stock.reason.empty()) return false;
  const ModelStock& stock = workpiece->stock;
  double lo[3], hi[3];
  if (stock.kind == ModelStock::Block) {
    lo[0] = lo[1] = lo[2] = 0;
    hi[0] = stock.x, hi[1] = stock.y, hi[2] = stock.z;
  } else if (stock.kind == ModelStock::Cylinder) {
    lo[0] = lo[1] = -stock.x, lo[2] = 0;
    hi[0] = hi[1] = stock.x, hi[2] = stock.z;
  } else {
    return false;
  }
  for (int c = 0; c < 8; ++c)
    corners.push_back(stock.position.Apply({c & 1 ? hi[0] : lo[0], c & 2 ? hi[1] : lo[1], c & 4 ? hi[2] : lo[2]}));
  return true;
}

const ModelWorkpiece* FirstProjectWorkpiece(const Model& model) {
  const auto& named = model.population.projectWorkpieces;
  return named.empty() ? nullptr : &model.workpieces[named.front()];
}

// The box around every workpiece the scene drew; false when it drew none.
bool WorkpieceBox(const Scene& scene, Vec3& low, Vec3& high) {
  bool any = false;
  for (const ScenePath& path : scene.paths) {
    if (path.kind != ShapeKind::Workpiece) continue;
    for (const Vec3& p : path.points) {
      if (!any) low = high = p;
      any = true;
      low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
      high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
  }
  return any;
}

std::string Point(const Vec3& p) { return "(" + Fmt(p.x) + ", " + Fmt(p.y) + ", " + Fmt(p.z) + ")"; }

std::string Extent(const Vec3& low, const Vec3& high) {
  return "x " + Fmt(low.x) + ".." + Fmt(high.x) + ", y " + Fmt(low.y) + ".." + Fmt(high.y) + ", z " + Fmt(low.z) + ".." +
         Fmt(high.z);
}

// The box around the stock in the scene's system: every workpiece the scene placed (then
// `placedByScene`); else, without a setup, the first project workpiece's in its own system, the
// one the scene then draws in. False where neither gives one.
bool StockBox(const Model& model, const Scene& scene, Vec3& low, Vec3& high, bool& placedByScene) {
  placedByScene = WorkpieceBox(scene, low, high);
  if (placedByScene) return true;
  std::vector<Vec3> corners;
  for (int w : model.population.projectWorkpieces)
    if (corners.empty()) StockCorners(&model.workpieces[w], corners);
  if (corners.empty()) return false;
  low = high = corners[0];
  for (const Vec3& p : corners) {
    low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
    high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
  }
  return true;
}

// The model's workingsteps by name.
std::unordered_map<std::string, const ModelWorkingstep*> StepsByName(const Model& model) {
  std::unordered_map<std::string, const ModelWorkingstep*> steps;
  for (const ModelWorkingstep& step : model.workingsteps) steps.emplace(step.name, &step);
  return steps;
}

// The height of each security plane the scene placed (drawn once, for its first workingstep),
// by the plane's instance; along the tool axis, the scene's z.
std::map<std::string, double> PlaneHeights(const Scene& scene,
                                           const std::unordered_map<std::string, const ModelWorkingstep*>& steps) {
  std::map<std::string, double> heights;
  for (const ScenePath& path : scene.paths) {
    if (path.kind != ShapeKind::SecurityPlane || path.points.empty()) continue;
    auto step = steps.find(path.source);
    if (step == steps.end() || step->second->securityPlaneName.empty()) continue;
    double z = path.points[0].z;
    for (const Vec3& p : path.points) z = std::min(z, p.z);
    heights.emplace(step->second->securityPlaneName, z);
  }
  return heights;
}

// The security plane and the stock are both given in the workpiece's system; the tool comes
// from the side the plane's normal points to, so every corner of the stock must lie below the
// plane along that normal.
void SecplaneAboveWorkpiece(CheckContext& context, const Rule& rule) {
  const Instances named(context);
  const Model& model = named.model();
  for (int k : model.population.workingsteps) {
    const ModelWorkingstep& step = model.workingsteps[k];
    if (!step.hasSecurityPlane) continue;
    const Placement& at = step.securityPlane;
    const int of = step.feature >= 0 ? model.features[step.feature].workpiece : -1;
    const ModelWorkpiece* workpiece = of >= 0 ? &model.workpieces[of] : FirstProjectWorkpiece(model);
    std::vector<Vec3> corners;
    const cct_Instance* instance = named(step.name);
    if (!instance || !StockCorners(workpiece, corners)) continue;
    const Vec3& n = at.axis[2];
    double top = -1e300;
    for (const Vec3& c : corners) top = std::max(top, c.x * n.x + c.y * n.y + c.z * n.z);
    const double height = at.origin.x * n.x + at.origin.y * n.y + at.origin.z * n.z;
    if (height > top + 1e-9 * std::max(1.0, std::fabs(top))) continue;
    context.Report(rule, *instance, "its_secplane",
                   rule.description + "; found security plane " + step.securityPlaneName + " at " + Fmt(height) +
                       " mm along its normal (" + Fmt(n.x) + ", " + Fmt(n.y) + ", " + Fmt(n.z) + "), the top of workpiece " +
                       workpiece->name + " at " + Fmt(top) + " mm");
  }
}

void RetractPlanePositive(CheckContext& context, const Rule& rule) {
  const Instances named(context);
  for (int k : named.model().population.operations) {
    const ModelOperation& operation = named.model().operations[k];
    const cct_Instance* instance = named(operation.name);
    if (instance && std::isfinite(operation.retractPlane) && !(operation.retractPlane > 0))
      context.Report(rule, *instance, "retract_plane",
                     rule.description + "; found retract_plane " + Fmt(operation.retractPlane) + " mm");
  }
}

void ToolpathWithinWorkpiece(CheckContext& context, const Rule& rule) {
  // The scene's placements, the points of its polylines read one toolpath at a time and tested
  // as they come: a file of a million points keeps none of them.
  const ToolpathScene& placed = context.ToolpathSceneOfProject();
  const Instances named(context);
  const Model& model = named.model();
  const Scene& scene = placed.scene;
  Vec3 low, high;
  bool placedByScene = false;
  if (!StockBox(model, scene, low, high, placedByScene)) return;
  const auto steps = StepsByName(model);
  const auto heights = PlaneHeights(scene, steps);
  std::set<std::string> done;
  ToolpathPoints points;
  for (const SceneToolpath& path : placed.toolpaths) {
    if (path.workingstep < 0 || path.workingstep >= static_cast<int>(scene.workingsteps.size())) continue;
    const cct_Instance* toolpath = named(path.source);
    const std::string& stepName = scene.workingsteps[path.workingstep].name;
    auto found = steps.find(stepName);
    const std::string key = path.source + "/" + stepName;
    // Each pair once, the first the scene draws; one the scene does not draw is no first.
    if (!toolpath || found == steps.end() || done.count(key)) continue;
    const ModelWorkingstep& step = *found->second;
    const ModelOperation* operation = named.Operation(step);
    double d = 0;
    Instances::Diameter(operation ? named.Tool(*operation) : nullptr, d);
    const double r = d / 2;
    double top = high.z;
    auto plane = heights.find(step.securityPlaneName);
    if (!step.securityPlaneName.empty() && plane != heights.end())
      top = std::max(top, plane->second);
    else if (!placedByScene && step.securityPositionRead)
      top = std::max(top, step.securityPlane.origin.z);
    const Vec3 lo{low.x - r, low.y - r, low.z - r}, hi{high.x + r, high.y + r, top + r};
    const double slack = 1e-6 * std::max({1.0, std::fabs(lo.x), std::fabs(hi.x), std::fabs(lo.y), std::fabs(hi.y),
                                          std::fabs(lo.z), std::fabs(hi.z)});
    const Vec3 min{lo.x - slack, lo.y - slack, lo.z - slack}, max{hi.x + slack, hi.y + slack, hi.z + slack};
    size_t count = 0, outside = 0, first = 0;
    Vec3 p;
    const Placement frame = path.frame;
    const bool drawn = points.Visit(path, [&](const Vec3* run, size_t n) {
      for (size_t k = 0; k < n; ++k, ++count) {
        const Vec3& q = run[k];
        if (q.x < min.x || q.x > max.x || q.y < min.y || q.y > max.y || q.z < min.z || q.z > max.z) {
          if (outside++ == 0) first = count, p = q;
        }
      }
    });
    if (!drawn) continue;
    done.insert(key);
    if (outside == 0) continue;
    const std::string unit = " " + Unit(scene);
    context.Report(rule, *toolpath, "",
                   rule.description + "; found point " + std::to_string(first + 1) + " " + Point(p) + " in the setup, " +
                       Point(frame.Local(p)) + " as the file writes it, of workingstep " + step.name + " outside x " + Fmt(lo.x) + ".." +
                       Fmt(hi.x) + ", y " + Fmt(lo.y) + ".." + Fmt(hi.y) + ", z " + Fmt(lo.z) + ".." + Fmt(hi.z) + unit +
                       " (tool radius " + Fmt(r) + unit + "); " + std::to_string(outside) + " of " +
                       std::to_string(count) + " points outside");
  }
}

// A feature the stock does not hold is cut in air, or placed where the writer did not mean it:
// either way the program does not make the part. Compared where both are drawn, in the setup.
void FeatureWithinStock(CheckContext& context, const Rule& rule) {
  const ToolpathScene& placed = context.ToolpathSceneOfProject();
  const Scene& scene = placed.scene;
  const Instances named(context);
  const Model& model = named.model();
  Vec3 low, high;
  bool placedByScene = false;
  if (!StockBox(model, scene, low, high, placedByScene)) return;
  const auto steps = StepsByName(model);
  const auto heights = PlaneHeights(scene, steps);
  struct Box {
    Vec3 low, high;
  };
  std::vector<std::string> drawn;
  std::map<std::string, Box> boxes;
  for (const ScenePath& path : scene.paths) {
    if (path.kind != ShapeKind::Feature) continue;
    for (const Vec3& p : path.points) {
      auto [at, fresh] = boxes.emplace(path.source, Box{p, p});
      if (fresh) drawn.push_back(path.source);
      Box& b = at->second;
      b.low = {std::min(b.low.x, p.x), std::min(b.low.y, p.y), std::min(b.low.z, p.z)};
      b.high = {std::max(b.high.x, p.x), std::max(b.high.y, p.y), std::max(b.high.z, p.z)};
    }
  }
  std::unordered_map<std::string, int> features;
  for (size_t k = 0; k < model.features.size(); ++k) features.emplace(model.features[k].name, static_cast<int>(k));
  const double slack = std::max(1e-4, 1e-6 * std::max({std::fabs(low.x), std::fabs(low.y), std::fabs(low.z),
                                                      std::fabs(high.x), std::fabs(high.y), std::fabs(high.z)}));
  for (const std::string& name : drawn) {
    const Box& box = boxes[name];
    const bool partly = box.low.x < low.x - slack || box.low.y < low.y - slack || box.low.z < low.z - slack ||
                        box.high.x > high.x + slack || box.high.y > high.y + slack || box.high.z > high.z + slack;
    const cct_Instance* instance = named(name);
    auto found = features.find(name);
    if (!partly || !instance || found == features.end()) continue;
    const bool wholly = box.high.x <= low.x + slack || box.high.y <= low.y + slack || box.high.z <= low.z + slack ||
                        box.low.x >= high.x - slack || box.low.y >= high.y - slack || box.low.z >= high.z - slack;
    const ModelFeature& feature = model.features[found->second];
    std::string machined, below;
    for (const ModelWorkingstep& step : model.workingsteps) {
      const bool listed = std::find(step.listedFeatures.begin(), step.listedFeatures.end(), found->second) !=
                          step.listedFeatures.end();
      if (step.feature != found->second && !listed) continue;
      machined += (machined.empty() ? "" : ", ") + step.name;
      auto plane = heights.find(step.securityPlaneName);
      if (below.empty() && !step.securityPlaneName.empty() && plane != heights.end() &&
          plane->second < box.high.z - slack && box.high.z > high.z + slack)
        below = "; its top lies above the stock and the security plane " + step.securityPlaneName + " of workingstep " +
                step.name + " at z " + Fmt(plane->second) + " below it";
    }
    std::string text = rule.description + "; found " + feature.type + " " + name + (wholly ? " wholly" : " partly") +
                       " outside the stock: " + Extent(box.low, box.high) + (placedByScene ? " in the setup" : " in the workpiece's system") + ", where the stock is " +
                       Extent(low, high);
    if (feature.placed)
      text += "; the file places it at " + Point(feature.placement.origin) +
              (feature.workpiece >= 0 ? " in workpiece " + model.workpieces[feature.workpiece].name : std::string());
    text += machined.empty() ? "; no workingstep machines it" : "; machined by workingstep " + machined;
    context.Report(rule, *instance, "feature_placement", text + below);
  }
}

// v = pi d n: with d in metres, v in m/s and n in rev/s read alike as v in m/min and n in rpm.
void SpeedsAgree(CheckContext& context, const Rule& rule) {
  const Instances named(context);
  const Model& model = named.model();
  for (int k : model.population.operations) {
    const ModelOperation& operation = model.operations[k];
    if (operation.technology < 0) continue;
    const ModelTechnology& technology = model.technologies[operation.technology];
    const ModelTool* tool = named.Tool(operation);
    const double v = technology.cutspeed, n = technology.spindle;
    double d;
    const cct_Instance* instance = named(operation.name);
    if (!technology.milling || !std::isfinite(v) || !std::isfinite(n) || !Instances::Diameter(tool, d) || !instance)
      continue;
    const double expected = kPi * d / 1000 * std::fabs(n);
    if (expected > 0 && std::fabs(std::fabs(v) - expected) <= 0.05 * expected) continue;
    context.Report(rule, *instance, "its_technology",
                   rule.description + "; found cutspeed " + Fmt(v) + " and spindle " + Fmt(n) + " of " +
                       technology.name + " with tool " + tool->name + " diameter " + Fmt(d) +
                       " mm, where pi*d*n gives " + Fmt(expected));
  }
}

// A spindle speed's sign gives the direction of rotation (negative: counter-clockwise), as real
// files write it; only its magnitude must be above 0.
bool IsSpindleSpeed(const char* attribute) {
  return std::strcmp(attribute, "spindle") == 0 || std::strcmp(attribute, "rot_speed") == 0;
}

// Feeds carry no unit: read in the system the program reads them in, as gcode and time do.
void FeedsPlausible(CheckContext& context, const Rule& rule) {
  ProgramOptions options;
  options.explicitMoves = options.generatedMoves = false;
  const Program program = BuildProgram(context.ModelOfProject(), options);
  for (const Program::Implausible& feed : program.implausible) {
    const cct_Scope::Entry* entry = context.Scope().FindEntry(feed.technology.c_str() + 1, 1);
    if (!entry || !entry->instance) continue;
    context.Report(rule, *entry->instance, feed.attribute,
                   rule.description + "; found " + feed.text + "; units " + UnitName(program.units.system) + ": " +
                       program.units.reason);
  }
}

// A workplan within itself has no end as written; the walk enters it once and says so.
void WorkplanCycle(CheckContext& context, const Rule& rule) {
  for (const ModelCycle& cycle : context.ModelOfProject().cycles) {
    const cct_Scope::Entry* entry = context.Scope().FindEntry(cycle.structure.c_str() + 1, 1);
    if (!entry || !entry->instance) continue;
    context.Report(rule, *entry->instance, "its_elements",
                   rule.description + "; found " + entry->instance->TypeName() + " " + cycle.structure + ", which " +
                       CycleText(cycle));
  }
}

void FeedsSpeedsPositive(CheckContext& context, const Rule& rule) {
  const Instances named(context);
  for (int k : named.model().population.technologies) {
    const ModelTechnology& technology = named.model().technologies[k];
    const cct_Instance* instance = named(technology.name);
    if (!instance) continue;
    const std::pair<const char*, double> given[] = {{"feedrate", technology.feedrate},
                                                    {"cutspeed", technology.cutspeed},
                                                    {"spindle", technology.spindle},
                                                    {"feedrate_per_tooth", technology.feedratePerTooth},
                                                    {"feedrate_per_revolution", technology.feedratePerRevolution}};
    for (const auto& [attribute, value] : given)
      if (std::isfinite(value) && !((IsSpindleSpeed(attribute) ? std::fabs(value) : value) > 0))
        context.Report(rule, *instance, attribute, rule.description + "; found " + attribute + " " + Fmt(value));
    if (technology.spindleSpeed.empty()) continue;
    const std::pair<const char*, double> speeds[] = {{"rot_speed", technology.rotSpeed}, {"speed", technology.speed}};
    for (const auto& [attribute, value] : speeds)
      if (std::isfinite(value) && !((IsSpindleSpeed(attribute) ? std::fabs(value) : value) > 0))
        context.Report(rule, *instance, "spindle_speed",
                       rule.description + "; found " + attribute + " " + Fmt(value) + " of " + technology.spindleSpeed);
  }
}

void FeatureInProjectWorkpiece(CheckContext& context, const Rule& rule) {
  const Instances named(context);
  const Model& model = named.model();
  if (!model.population.hasProject) return;
  std::set<int> workpieces(model.population.projectWorkpieces.begin(), model.population.projectWorkpieces.end());
  std::string names;
  for (int w : model.population.projectWorkpieces) names += (names.empty() ? "" : ", ") + model.workpieces[w].name;
  for (int k : model.population.workingsteps) {
    const ModelWorkingstep& step = model.workingsteps[k];
    std::vector<int> features = step.listedFeatures;
    if (step.feature >= 0) features.push_back(step.feature);
    const bool single = features.size() == 1 && step.feature >= 0;
    const cct_Instance* instance = named(step.name);
    if (!instance) continue;
    for (int f : features) {
      const ModelFeature& feature = model.features[f];
      if (feature.workpiece >= 0 && workpieces.count(feature.workpiece)) continue;
      context.Report(rule, *instance, single ? "its_feature" : "its_features",
                     rule.description + "; found feature " + feature.name +
                         (feature.workpiece >= 0 ? " of workpiece " + model.workpieces[feature.workpiece].name
                                                 : std::string(" of no workpiece")) +
                         ", the project's workpieces being " + (names.empty() ? "none" : names));
    }
  }
}

void ExecutablesReached(CheckContext& context, const Rule& rule) {
  if (context.OfType("project").empty()) return;
  // Walked backwards from each executable through who refers to whom, until a project: that
  // visits the program's structure above it only, never the geometry a forward walk from the
  // project would go through (a million points of a toolpath). Through instances only, as a
  // forward walk goes: a kept record leads nowhere.
  std::vector<std::pair<const cct_Instance*, const cct_Instance*>> executables;  // with their workplan
  std::vector<const cct_Scope::Entry*> starts;
  for (const cct_Instance* workplan : context.OfType("workplan"))
    for (const cct_Instance* executable : read::Elements(workplan)) {
      executables.emplace_back(executable, workplan);
      if (const cct_Scope::Entry* entry = executable->GetEntry()) starts.push_back(entry);
    }
  // The referrers of the executables and of whatever holds references, where they can be told
  // without the index of every reference; else the index.
  const std::unique_ptr<Referrers> referrers = Referrers::Make(context.Scope(), starts, context.TypesAsNoted());
  std::unique_ptr<Navigator> navigator;
  if (!referrers) navigator = std::make_unique<Navigator>(context.Scope());
  std::vector<const cct_Scope::Entry*> from;
  auto referring = [&](const cct_Scope::Entry* entry) -> const std::vector<const cct_Scope::Entry*>& {
    if (referrers) return referrers->To(entry);
    from.clear();
    for (const cct_ReferenceIndex::Reference& r : navigator->Index().To(entry)) from.push_back(r.from);
    return from;
  };
  auto isInstance = [](const cct_Instance* i) { return i && i->Kind() == cct_KIND_INSTANCE; };
  auto reached = [&](const cct_Instance* executable) {
    const cct_Scope::Entry* start = executable->GetEntry();
    if (!start) return false;
    std::unordered_set<const cct_Scope::Entry*> seen{start};
    std::deque<const cct_Scope::Entry*> next{start};
    while (!next.empty()) {
      const cct_Scope::Entry* entry = next.front();
      next.pop_front();
      if (isInstance(entry->instance) && entry->instance->HasSupertype("project")) return true;
      for (const cct_Scope::Entry* r : referring(entry))
        if (isInstance(r->instance) && seen.insert(r).second) next.push_back(r);
    }
    return false;
  };
  std::set<const cct_Instance*> told;
  for (const auto& [executable, workplan] : executables)
    if (told.insert(executable).second && !reached(executable))
      context.Report(rule, *executable, "",
                     rule.description + "; found " + executable->TypeName() + " " + Label(executable) +
                         " in workplan " + Label(workplan) + ", which no path from the project reaches");
}

}  // namespace

const std::vector<std::pair<const char*, CheckFunction>>& PreflightChecks() {
  static const std::vector<std::pair<const char*, CheckFunction>> checks = {
      {"preflight.tool_fits_feature", ToolFitsFeature},
      {"preflight.secplane_above_workpiece", SecplaneAboveWorkpiece},
      {"preflight.retract_plane_positive", RetractPlanePositive},
      {"preflight.toolpath_within_workpiece", ToolpathWithinWorkpiece},
      {"preflight.feature_within_stock", FeatureWithinStock},
      {"preflight.speeds_agree", SpeedsAgree},
      {"preflight.feeds_plausible", FeedsPlausible},
      {"preflight.feeds_speeds_positive", FeedsSpeedsPositive},
      {"preflight.feature_in_project_workpiece", FeatureInProjectWorkpiece},
      {"preflight.executables_reached", ExecutablesReached},
      {"preflight.workplan_cycle", WorkplanCycle},
      {"preflight.open_end_inside_stock", OpenEndInsideStock},
      {"preflight.spindle_hand", SpindleHand},
  };
  return checks;
}

}  // namespace varnholt::rules

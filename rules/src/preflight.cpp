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
#include <unordered_set>

#include "cct/scope.h"
#include "cct/instance.h"
#include "cct/references.h"
#include "checks.h"
#include "model_read.h"
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

void ToolFitsFeature(CheckContext& context, const Rule& rule) {
  for (const cct_Instance* step : context.OfType("machining_workingstep")) {
    const cct_Instance* feature = read::Feature(step);
    const cct_Instance* operation = read::Operation(step);
    const cct_Instance* tool = read::Tool(operation);
    double d;
    if (!feature || !operation || !ToolDiameter(tool, d)) continue;
    const std::string toolText = "tool " + Label(tool) + " diameter " + Fmt(d) + " mm";
    double width;
    std::string what;
    if (read::FeatureWidth(feature, width, what)) {
      if (d > width * (1 + 1e-9))
        context.Report(rule, *step, "its_operation",
                       rule.description + "; found " + toolText + " > " + what + " " + Fmt(width) + " mm");
      continue;
    }
    double hole = 0, upper = 0, lower = 0;
    bool toleranced = false;
    if (!read::HoleSize(feature, hole, toleranced, upper, lower)) continue;
    const double slack = 1e-6 * std::max(1.0, hole);
    const std::string holeText = "hole " + Label(feature) + " diameter " + Fmt(hole) + " mm";
    if (IsOfType(*operation, "drilling")) {
      if (toleranced ? (d < hole - lower - slack || d > hole + upper + slack) : std::fabs(d - hole) > slack)
        context.Report(rule, *step, "its_operation",
                       rule.description + "; found drill " + toolText.substr(5) + " for " + holeText +
                           (toleranced ? " +" + Fmt(upper) + "/-" + Fmt(lower) + " mm" : " (no tolerance)"));
    } else if (d > hole + upper + slack) {
      context.Report(rule, *step, "its_operation", rule.description + "; found " + toolText + " > " + holeText);
    }
  }
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

// The height of each security plane the scene placed (drawn once, for its first workingstep),
// by the plane instance; along the tool axis, the scene's z.
std::map<const cct_Instance*, double> PlaneHeights(CheckContext& context, const Scene& scene) {
  std::map<const cct_Instance*, double> heights;
  for (const ScenePath& path : scene.paths) {
    if (path.kind != ShapeKind::SecurityPlane || path.points.empty()) continue;
    const cct_Instance* plane = read::SecurityPlane(Named(context.Scope(), path.source));
    if (!plane) continue;
    double z = path.points[0].z;
    for (const Vec3& p : path.points) z = std::min(z, p.z);
    heights.emplace(plane, z);
  }
  return heights;
}

// The security plane and the stock are both given in the workpiece's system; the tool comes
// from the side the plane's normal points to, so every corner of the stock must lie below the
// plane along that normal.
void SecplaneAboveWorkpiece(CheckContext& context, const Rule& rule) {
  std::vector<const cct_Instance*> projectWorkpieces;
  for (const cct_Instance* project : context.OfType("project"))
    for (const cct_Instance* w : read::ProjectWorkpieces(project)) projectWorkpieces.push_back(w);
  for (const cct_Instance* step : context.OfType("workingstep")) {
    const cct_Instance* plane = read::SecurityPlane(step);
    Placement at;
    if (!plane || !read::SurfacePosition(plane, true, at)) continue;
    const cct_Instance* workpiece = read::Workpiece(read::Feature(step));
    if (!workpiece && !projectWorkpieces.empty()) workpiece = projectWorkpieces.front();
    std::vector<Vec3> corners;
    if (!read::StockCorners(workpiece, corners)) continue;
    const Vec3& n = at.axis[2];
    double top = -1e300;
    for (const Vec3& c : corners) top = std::max(top, c.x * n.x + c.y * n.y + c.z * n.z);
    const double height = at.origin.x * n.x + at.origin.y * n.y + at.origin.z * n.z;
    if (height > top + 1e-9 * std::max(1.0, std::fabs(top))) continue;
    context.Report(rule, *step, "its_secplane",
                   rule.description + "; found security plane " + Label(plane) + " at " + Fmt(height) +
                       " mm along its normal (" + Fmt(n.x) + ", " + Fmt(n.y) + ", " + Fmt(n.z) + "), the top of workpiece " +
                       Label(workpiece) + " at " + Fmt(top) + " mm");
  }
}

void RetractPlanePositive(CheckContext& context, const Rule& rule) {
  for (const cct_Instance* operation : context.OfType("machining_operation")) {
    double plane;
    if (read::RetractPlane(operation, plane) && !(plane > 0))
      context.Report(rule, *operation, "retract_plane", rule.description + "; found retract_plane " + Fmt(plane) + " mm");
  }
}

void ToolpathWithinWorkpiece(CheckContext& context, const Rule& rule) {
  // The scene's placements, the points of its polylines read one toolpath at a time and tested
  // as they come: a file of a million points keeps none of them.
  const ToolpathScene& placed = context.ToolpathSceneOfProject();
  const Scene& scene = placed.scene;
  Vec3 low, high;
  const bool placedByScene = WorkpieceBox(scene, low, high);
  if (!placedByScene) {
    // Without a setup the scene does not place the stock; the workpiece's system is then the
    // one the toolpaths are given in.
    std::vector<Vec3> corners;
    for (const cct_Instance* project : context.OfType("project"))
      for (const cct_Instance* w : read::ProjectWorkpieces(project))
        if (corners.empty()) read::StockCorners(w, corners);
    if (corners.empty()) return;
    low = high = corners[0];
    for (const Vec3& p : corners) {
      low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
      high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
  }
  const auto heights = PlaneHeights(context, scene);
  std::set<std::string> done;
  ToolpathPoints points;
  for (const SceneToolpath& path : placed.toolpaths) {
    if (path.workingstep < 0 || path.workingstep >= static_cast<int>(scene.workingsteps.size())) continue;
    const cct_Instance* toolpath = Named(context.Scope(), path.source);
    const cct_Instance* step = Named(context.Scope(), scene.workingsteps[path.workingstep].name);
    const std::string key = path.source + "/" + scene.workingsteps[path.workingstep].name;
    // Each pair once, the first the scene draws; one the scene does not draw is no first.
    if (!toolpath || !step || done.count(key)) continue;
    const cct_Instance* operation = read::Operation(step, true);
    double d = 0;
    ToolDiameter(read::Tool(operation), d);
    const double r = d / 2;
    double top = high.z;
    auto plane = heights.find(read::SecurityPlane(step));
    Placement at;
    if (plane != heights.end())
      top = std::max(top, plane->second);
    else if (!placedByScene && read::SurfacePosition(read::SecurityPlane(step), false, at))
      top = std::max(top, at.origin.z);
    const Vec3 lo{low.x - r, low.y - r, low.z - r}, hi{high.x + r, high.y + r, top + r};
    const double slack = 1e-6 * std::max({1.0, std::fabs(lo.x), std::fabs(hi.x), std::fabs(lo.y), std::fabs(hi.y),
                                          std::fabs(lo.z), std::fabs(hi.z)});
    const Vec3 min{lo.x - slack, lo.y - slack, lo.z - slack}, max{hi.x + slack, hi.y + slack, hi.z + slack};
    size_t count = 0, outside = 0, first = 0;
    Vec3 p;
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
                   rule.description + "; found point " + std::to_string(first + 1) + " (" + Fmt(p.x) + ", " + Fmt(p.y) +
                       ", " + Fmt(p.z) + ") of workingstep " + Label(step) + " outside x " + Fmt(lo.x) + ".." +
                       Fmt(hi.x) + ", y " + Fmt(lo.y) + ".." + Fmt(hi.y) + ", z " + Fmt(lo.z) + ".." + Fmt(hi.z) + unit +
                       " (tool radius " + Fmt(r) + unit + "); " + std::to_string(outside) + " of " +
                       std::to_string(count) + " points outside");
  }
}

// v = pi d n: with d in metres, v in m/s and n in rev/s read alike as v in m/min and n in rpm.
void SpeedsAgree(CheckContext& context, const Rule& rule) {
  for (const cct_Instance* operation : context.OfType("machining_operation")) {
    const cct_Instance* technology = read::Technology(operation);
    const cct_Instance* tool = read::Tool(operation);
    double v, n, d;
    if (!read::Speeds(technology, v, n) || !ToolDiameter(tool, d))
      continue;
    const double expected = kPi * d / 1000 * std::fabs(n);
    if (expected > 0 && std::fabs(std::fabs(v) - expected) <= 0.05 * expected) continue;
    context.Report(rule, *operation, "its_technology",
                   rule.description + "; found cutspeed " + Fmt(v) + " and spindle " + Fmt(n) + " of " +
                       Label(technology) + " with tool " + Label(tool) + " diameter " + Fmt(d) +
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
  for (const cct_Instance* technology : context.OfType("technology")) {
    for (const auto& [attribute, value] : read::FeedsAndSpeeds(technology))
      if (!((IsSpindleSpeed(attribute) ? std::fabs(value) : value) > 0))
        context.Report(rule, *technology, attribute, rule.description + "; found " + attribute + " " + Fmt(value));
    const cct_Instance* speed = nullptr;
    for (const auto& [attribute, value] : read::SpindleSpeeds(technology, speed))
      if (!((IsSpindleSpeed(attribute) ? std::fabs(value) : value) > 0))
        context.Report(rule, *technology, "spindle_speed",
                       rule.description + "; found " + attribute + " " + Fmt(value) + " of " + Label(speed));
  }
}

void FeatureInProjectWorkpiece(CheckContext& context, const Rule& rule) {
  std::set<const cct_Instance*> workpieces;
  std::string names;
  const auto projects = context.OfType("project");
  if (projects.empty()) return;
  for (const cct_Instance* project : projects)
    for (const cct_Instance* w : read::ProjectWorkpieces(project))
      if (workpieces.insert(w).second) names += (names.empty() ? "" : ", ") + Label(w);
  for (const cct_Instance* step : context.OfType("workingstep")) {
    bool single = false;
    const std::vector<const cct_Instance*> features = read::StepFeatures(step, single);
    for (const cct_Instance* feature : features) {
      const cct_Instance* workpiece = read::Workpiece(feature);
      if (workpiece && workpieces.count(workpiece)) continue;
      context.Report(rule, *step, single ? "its_feature" : "its_features",
                     rule.description + "; found feature " + Label(feature) +
                         (workpiece ? " of workpiece " + Label(workpiece) : std::string(" of no workpiece")) +
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
      {"preflight.speeds_agree", SpeedsAgree},
      {"preflight.feeds_plausible", FeedsPlausible},
      {"preflight.feeds_speeds_positive", FeedsSpeedsPositive},
      {"preflight.feature_in_project_workpiece", FeatureInProjectWorkpiece},
      {"preflight.executables_reached", ExecutablesReached},
      {"preflight.workplan_cycle", WorkplanCycle},
      {"preflight.spindle_hand", SpindleHand},
  };
  return checks;
}

}  // namespace varnholt::rules

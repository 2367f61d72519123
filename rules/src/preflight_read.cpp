// The preflight's reading of the instances it checks.
#include "preflight_read.h"

#include <algorithm>

#include "cct/instance.h"
#include "model_read.h"
#include "varnholt/navigation.h"

namespace varnholt::rules::preflight_read {

const cct_Instance* Feature(const cct_Instance* step) { return Ref(step, "its_feature"); }

const cct_Instance* Operation(const cct_Instance* step, bool itself) {
  const cct_Instance* operation = Ref(step, "its_operation");
  if (!operation && itself && step && IsOfType(*step, "operation")) operation = step;
  return operation;
}

const cct_Instance* Tool(const cct_Instance* operation) { return Ref(operation, "its_tool"); }

const cct_Instance* Technology(const cct_Instance* operation) { return Ref(operation, "its_technology"); }

const cct_Instance* SecurityPlane(const cct_Instance* step) { return Ref(step, "its_secplane"); }

std::vector<const cct_Instance*> StepFeatures(const cct_Instance* step, bool& single) {
  std::vector<const cct_Instance*> features = Refs(step, "its_features");
  const cct_Instance* feature = Ref(step, "its_feature");
  if (feature) features.push_back(feature);
  single = features.size() == 1 && feature;
  return features;
}

const cct_Instance* Workpiece(const cct_Instance* feature) { return Ref(feature, "its_workpiece"); }

std::vector<const cct_Instance*> ProjectWorkpieces(const cct_Instance* project) { return Refs(project, "its_workpieces"); }

std::vector<const cct_Instance*> Elements(const cct_Instance* workplan) { return Refs(workplan, "its_elements"); }

// The smallest width a tool has to pass through in a feature, and what it is called.
bool FeatureWidth(const cct_Instance* feature, double& width, std::string& what) {
  auto profileWidth = [&](const cct_Instance* profile) {
    if (!profile) return false;
    double r;
    if (IsOfType(*profile, "partial_circular_profile") && Num(profile, "radius", r)) {
      width = 2 * r;
      return true;
    }
    if (IsOfType(*profile, "rectangular_closed_profile")) {
      double w, l;
      if (!Num(profile, "profile_width", w) || !Num(profile, "profile_length", l)) return false;
      width = std::min(w, l);
      return true;
    }
    if (IsOfType(*profile, "circular_closed_profile")) return Num(profile, "diameter", width);
    return Num(profile, "width", width);  // square and rounded U, tee
  };
  if (IsOfType(*feature, "slot")) {
    what = "slot " + Label(feature) + " width";
    return profileWidth(Ref(feature, "swept_shape"));
  }
  if (IsOfType(*feature, "closed_pocket")) {
    what = "pocket " + Label(feature) + " smallest width";
    return profileWidth(Ref(feature, "feature_boundary"));
  }
  if (IsOfType(*feature, "open_pocket")) {
    what = "pocket " + Label(feature) + " smallest width";
    return profileWidth(Ref(feature, "open_boundary"));
  }
  return false;
}


// The corners of a workpiece's bounding geometry in the workpiece's own system: a block's,
// or the box around a cylinder.
bool StockCorners(const cct_Instance* workpiece, std::vector<Vec3>& corners) {
  const cct_Instance* shape = Ref(workpiece, "its_bounding_geometry");
  if (!shape) return false;
  Placement at;
  if (!ReadPlacement(Ref(shape, "position"), at)) return false;
  double lo[3], hi[3];
  if (IsOfType(*shape, "block")) {
    double x, y, z;
    if (!Num(shape, "x", x) || !Num(shape, "y", y) || !Num(shape, "z", z)) return false;
    lo[0] = lo[1] = lo[2] = 0;
    hi[0] = x, hi[1] = y, hi[2] = z;
  } else if (IsOfType(*shape, "right_circular_cylinder")) {
    double h, r;
    if (!Num(shape, "height", h) || !Num(shape, "radius", r)) return false;
    lo[0] = lo[1] = -r, lo[2] = 0;
    hi[0] = hi[1] = r, hi[2] = h;
  } else {
    return false;
  }
  for (int c = 0; c < 8; ++c)
    corners.push_back(at.Apply({c & 1 ? hi[0] : lo[0], c & 2 ? hi[1] : lo[1], c & 4 ? hi[2] : lo[2]}));
  return true;
}


bool HoleSize(const cct_Instance* feature, double& diameter, bool& toleranced, double& upper, double& lower) {
  if (!IsOfType(*feature, "round_hole")) return false;
  const cct_Instance* measure = Ref(feature, "diameter");
  if (!Num(measure, "theoretical_size", diameter)) return false;
  const cct_Instance* tolerance = Ref(measure, "implicit_tolerance");
  upper = lower = 0;
  toleranced = tolerance && IsOfType(*tolerance, "plus_minus_value") && Num(tolerance, "upper_limit", upper) &&
               Num(tolerance, "lower_limit", lower);
  return true;
}

bool SurfacePosition(const cct_Instance* surface, bool plane, Placement& at) {
  if (!surface || (plane && !IsOfType(*surface, "plane"))) return false;
  return ReadPlacement(Ref(surface, "position"), at);
}

bool RetractPlane(const cct_Instance* operation, double& plane) { return Num(operation, "retract_plane", plane); }

bool Speeds(const cct_Instance* technology, double& cutspeed, double& spindle) {
  return technology && IsOfType(*technology, "milling_technology") && Num(technology, "cutspeed", cutspeed) &&
         Num(technology, "spindle", spindle);
}

std::vector<std::pair<const char*, double>> FeedsAndSpeeds(const cct_Instance* technology) {
  std::vector<std::pair<const char*, double>> out;
  double value;
  for (const char* attribute : {"feedrate", "cutspeed", "spindle", "feedrate_per_tooth", "feedrate_per_revolution"})
    if (Num(technology, attribute, value)) out.emplace_back(attribute, value);
  return out;
}

std::vector<std::pair<const char*, double>> SpindleSpeeds(const cct_Instance* technology, const cct_Instance*& speed) {
  std::vector<std::pair<const char*, double>> out;
  speed = Ref(technology, "spindle_speed");
  if (!speed) return out;
  double value;
  for (const char* attribute : {"rot_speed", "speed"})
    if (Num(speed, attribute, value)) out.emplace_back(attribute, value);
  return out;
}

}  // namespace varnholt::rules::preflight_read

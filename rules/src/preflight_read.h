// What the preflight reads of the instances it checks, with the rule evaluator's reading of
// values (a measure's theoretical size for a number, as the data rules read it): the parts of
// a workingstep, the widths a tool passes through, a hole's size and tolerance, the corners of
// a workpiece's stock, planes, feeds and speeds. The checks themselves name no attribute.
#ifndef VARNHOLT_RULES_PREFLIGHT_READ_H
#define VARNHOLT_RULES_PREFLIGHT_READ_H

#include <string>
#include <utility>
#include <vector>

#include "varnholt/geometry.h"

class cct_Instance;

namespace varnholt::rules::preflight_read {

const cct_Instance* Feature(const cct_Instance* step);
/// The workingstep's operation; with `itself`, a step that is an operation (a rapid movement)
/// is its own.
const cct_Instance* Operation(const cct_Instance* step, bool itself = false);
const cct_Instance* Tool(const cct_Instance* operation);
const cct_Instance* Technology(const cct_Instance* operation);
const cct_Instance* SecurityPlane(const cct_Instance* step);
/// Its features: its_feature, else its_features; `single` when it is the one of its_feature.
std::vector<const cct_Instance*> StepFeatures(const cct_Instance* step, bool& single);
const cct_Instance* Workpiece(const cct_Instance* feature);
std::vector<const cct_Instance*> ProjectWorkpieces(const cct_Instance* project);
std::vector<const cct_Instance*> Elements(const cct_Instance* workplan);

/// The smallest width a tool has to pass through in a slot or pocket, and what it is called.
bool FeatureWidth(const cct_Instance* feature, double& width, std::string& what);
/// A round hole's diameter and, where a plus-minus tolerance gives them, its limits.
bool HoleSize(const cct_Instance* feature, double& diameter, bool& toleranced, double& upper, double& lower);
/// The corners of a workpiece's stock in the workpiece's own system: a block's, or the box
/// around a cylinder.
bool StockCorners(const cct_Instance* workpiece, std::vector<Vec3>& corners);
/// The position of a surface (a security plane's); `plane` asks that it be a plane.
bool SurfacePosition(const cct_Instance* surface, bool plane, Placement& at);
bool RetractPlane(const cct_Instance* operation, double& plane);
/// A milling technology's cutting and spindle speeds.
bool Speeds(const cct_Instance* technology, double& cutspeed, double& spindle);
/// The feeds and speeds a technology gives (feedrate, cutspeed, spindle, per tooth, per
/// revolution), by attribute name, and those of its spindle speed (`speed` set where it has one).
std::vector<std::pair<const char*, double>> FeedsAndSpeeds(const cct_Instance* technology);
std::vector<std::pair<const char*, double>> SpindleSpeeds(const cct_Instance* technology, const cct_Instance*& speed);

}  // namespace varnholt::rules::preflight_read

#endif

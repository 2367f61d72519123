// Reading the model for the checks written in C++: references, numbers (measures with a
// tolerance carry theirs one level down), lists, placements and the points of curves.
#ifndef VARNHOLT_RULES_MODEL_READ_H
#define VARNHOLT_RULES_MODEL_READ_H

#include <string>
#include <vector>

#include "varnholt/scene.h"

class cct_Instance;

namespace varnholt::rules {

const cct_Instance* Ref(const cct_Instance* instance, const char* attribute);
std::vector<const cct_Instance*> Refs(const cct_Instance* instance, const char* attribute);
/// Refs(instance, attribute).size(), without making a value of every element.
size_t RefCount(const cct_Instance* instance, const char* attribute);
/// A REAL or INTEGER attribute, or the theoretical_size of the measure it refers to.
bool Num(const cct_Instance* instance, const char* attribute, double& out);
bool Text(const cct_Instance* instance, const char* attribute, std::string& out);
/// "#N".
std::string Label(const cct_Instance* instance);
/// A number as a person writes it: 12, 12.5, 0.001.
std::string Fmt(double value);

/// An axis2_placement_3d as a placement; false when it cannot be read.
bool ReadPlacement(const cct_Instance* axis2, Placement& placement);
/// The points a bounded curve runs through or is spanned by (polyline points, B-spline control
/// points, the parts of a composite curve, the trimming points of a trimmed curve), in order;
/// false for a curve of another kind.
bool CurvePoints(const cct_Instance* curve, std::vector<Vec3>& points, int depth = 0);
/// The diameter of a milling tool (its body's dimension), false when it gives none.
bool ToolDiameter(const cct_Instance* tool, double& diameter);

}  // namespace varnholt::rules

#endif

// A round hole as the hole generator drills or mills it: its diameter, depth, taper and bottom, in the feature's own system (top at z 0, material below).
#ifndef VARNHOLT_FEATURE_HOLE_H
#define VARNHOLT_FEATURE_HOLE_H

#include <string>
#include <vector>

#include "varnholt/geometry.h"
#include "varnholt/model.h"

namespace varnholt {

struct HoleFeature {
};

}  // namespace varnholt

#endif

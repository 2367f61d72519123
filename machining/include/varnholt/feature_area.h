// A planar face or a pocket (closed or open) as the area generator clears it: its boundary, depth, islands, corner and floor radii, in the feature's own system (top at z 0, material below).
#ifndef VARNHOLT_FEATURE_AREA_H
#define VARNHOLT_FEATURE_AREA_H

#include <string>
#include <vector>

#include "varnholt/geometry.h"
#include "varnholt/model.h"

namespace varnholt {

struct AreaFeature {
};

}  // namespace varnholt

#endif

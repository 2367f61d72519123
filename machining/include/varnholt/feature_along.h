// A slot, a step or a profile as the generator along a line machines it: its path, cross-section and ends, in the feature's own system (top at z 0, material below).
#ifndef VARNHOLT_FEATURE_ALONG_H
#define VARNHOLT_FEATURE_ALONG_H

#include <string>
#include <vector>

#include "varnholt/geometry.h"
#include "varnholt/model.h"

namespace varnholt {

struct AlongFeature {
};

}  // namespace varnholt

#endif

// The readers of the feature families the generators know: each turns a feature's instances
// into the plain geometry of its family header, with the reason where a part cannot be read.
// Internal to the machining library's model.
#ifndef VARNHOLT_MODEL_READ_FEATURES_H
#define VARNHOLT_MODEL_READ_FEATURES_H

#include <memory>
#include <vector>

#include "read_geometry.h"
#include "varnholt/model.h"

class cct_Instance;

namespace varnholt::model_detail {

/// What a feature's reader reads with.
struct FeatureReading {
  Reader& r;
  Geometry& g;
};

std::shared_ptr<const AreaFeature> ReadArea(FeatureReading& reading, const cct_Instance& feature);
std::shared_ptr<const HoleFeature> ReadHole(FeatureReading& reading, const cct_Instance& feature);
std::shared_ptr<const AlongFeature> ReadAlong(FeatureReading& reading, const cct_Instance& feature);

/// The attribute names each reader asks for, for the test against the binding.
const std::vector<const char*>& AreaAttributeNames();
const std::vector<const char*>& HoleAttributeNames();
const std::vector<const char*>& AlongAttributeNames();

}  // namespace varnholt::model_detail

#endif

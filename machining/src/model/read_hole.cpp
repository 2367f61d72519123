// The reader of the hole family of features.
#include "cct/instance.h"
#include "read_features.h"
#include "varnholt/feature_hole.h"

namespace varnholt::model_detail {

std::shared_ptr<const HoleFeature> ReadHole(FeatureReading&, const cct_Instance&) { return nullptr; }

const std::vector<const char*>& HoleAttributeNames() {
  static const std::vector<const char*> names;
  return names;
}

}  // namespace varnholt::model_detail

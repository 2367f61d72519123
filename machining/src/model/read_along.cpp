// The reader of the along family of features.
#include "cct/instance.h"
#include "read_features.h"
#include "varnholt/feature_along.h"

namespace varnholt::model_detail {

std::shared_ptr<const AlongFeature> ReadAlong(FeatureReading&, const cct_Instance&) { return nullptr; }

const std::vector<const char*>& AlongAttributeNames() {
  static const std::vector<const char*> names;
  return names;
}

}  // namespace varnholt::model_detail

// The reader of the area family of features.
#include "cct/instance.h"
#include "read_features.h"
#include "varnholt/feature_area.h"

namespace varnholt::model_detail {

std::shared_ptr<const AreaFeature> ReadArea(FeatureReading&, const cct_Instance&) { return nullptr; }

const std::vector<const char*>& AreaAttributeNames() {
  static const std::vector<const char*> names;
  return names;
}

}  // namespace varnholt::model_detail

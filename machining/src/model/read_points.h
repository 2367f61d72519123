// What the scene of toolpaths asks of a polyline before it visits its points. Internal.
#ifndef VARNHOLT_MODEL_READ_POINTS_H
#define VARNHOLT_MODEL_READ_POINTS_H

#include "../scene_read.h"

class cct_Instance;

namespace varnholt::model_detail {

/// The number of points of a polyline (0 where its list is unset); -1 for any other curve.
long PolylinePoints(scene_detail::Reader& r, const cct_Instance& curve);

}  // namespace varnholt::model_detail

#endif

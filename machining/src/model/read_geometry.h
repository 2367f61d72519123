// What the readers of features share: the reader of attributes and geometry, and plane
// contours read from curves. Internal to the machining library's model.
#ifndef VARNHOLT_MODEL_READ_GEOMETRY_H
#define VARNHOLT_MODEL_READ_GEOMETRY_H

#include <string>

#include "../scene_read.h"
#include "varnholt/geometry.h"

class cct_Instance;

namespace varnholt::model_detail {

using scene_detail::Geometry;
using scene_detail::Reader;

/// Reads a curve into a plane contour in the curve's own coordinates (z dropped): circles and
/// trimmed circles as arcs, everything else as the scene samples it. False, with `why`, when it
/// cannot be read or does not lie in a plane of constant z.
bool ReadContour(Reader& r, Geometry& g, const cct_Instance* curve, Contour2& out, std::string& why);

/// True when a placement stands for its holder's own: the same instance, or another with the
/// same location and axes. Writers give a profile or path "the feature's placement" both ways;
/// composed once more, the second would move it by the feature's offset again.
bool SamePlacement(Reader& r, const cct_Instance* placement, const cct_Instance* holder);

}  // namespace varnholt::model_detail

#endif

// The preflight's checks over the features as the machining model reads them.
#ifndef VARNHOLT_RULES_PREFLIGHT_FEATURES_H
#define VARNHOLT_RULES_PREFLIGHT_FEATURES_H

#include "checks.h"

namespace varnholt::rules {

/// preflight.open_end_inside_stock: an end of a slot, a step or a profile left open lies
/// inside the workpiece's stock, so the tool cannot run out past it.
void OpenEndInsideStock(CheckContext& context, const Rule& rule);

}  // namespace varnholt::rules

#endif

// Preflight checks over the machining model alone (context.ModelOfProject()): what the program
// builder and the G-code make of a workingstep's tool and technology.
#ifndef VARNHOLT_RULES_PREFLIGHT_MACHINING_H
#define VARNHOLT_RULES_PREFLIGHT_MACHINING_H

#include "checks.h"

namespace varnholt::rules {

/// preflight.spindle_hand: the sign of a technology's spindle speed says the sense the
/// workingstep's tool cuts in (negative for a right-hand tool, positive for a left-hand one).
void SpindleHand(CheckContext& context, const Rule& rule);

}  // namespace varnholt::rules

#endif

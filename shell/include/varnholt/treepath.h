// Where an instance shows in the instance tree: the way from the project down to it, reference
// by reference, so that a front end can expand exactly that way and select it.
#ifndef VARNHOLT_TREEPATH_H
#define VARNHOLT_TREEPATH_H

#include <functional>
#include <vector>

class cct_Instance;
class cct_Scope;

namespace varnholt {

/// One step of the way: `instance` is shown under attribute `attribute` of the previous step's
/// instance (-1 for the project, where the way starts).
struct TreeStep {
  long attribute;
  cct_Instance* instance;
};

/// The way from the tree's project to where the instance first appears: the fewest steps, and
/// among ways of equal length the one met first in the tree's order (breadth first over what
/// the tree shows). Empty when no such way exists (not reached, hidden, no project) or when
/// `cancelled` answered true.
std::vector<TreeStep> TreePathTo(cct_Scope& scope, const cct_Instance& target,
                                 const std::function<bool()>& cancelled = {});

}  // namespace varnholt

#endif

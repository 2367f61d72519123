#include "varnholt/treepath.h"

#include <algorithm>
#include <deque>
#include <unordered_map>

#include "cct/cct.h"
#include "varnholt/treeview.h"

namespace varnholt {

std::vector<TreeStep> TreePathTo(cct_Scope& scope, const cct_Instance& target,
                                 const std::function<bool()>& cancelled) {
  std::vector<TreeStep> path;
  cct_Instance* root = CStpTreeView::Root(scope);
  if (!root || CStpTreeView::IsHidden(*root)) return path;
  // Each instance met remembers the step that met it first; breadth first, so that is the
  // shallowest place, and the first of equals in the order the tree lists its children.
  std::unordered_map<const cct_Instance*, TreeStep> cameFrom;
  cameFrom.emplace(root, TreeStep{-1, nullptr});
  std::deque<cct_Instance*> next{root};
  bool found = root == &target;
  size_t visited = 0;
  while (!found && !next.empty()) {
    if (cancelled && ++visited % 4096 == 0 && cancelled()) return path;
    cct_Instance* instance = next.front();
    next.pop_front();
    const long count = instance->AttributeCount();
    for (long i = 0; i < count && !found; ++i) {
      CStpTreeView::ForEachShownTarget(&scope, *instance, i, [&](cct_Instance* shown) {
        if (found || CStpTreeView::IsHidden(*shown)) return;
        if (!cameFrom.emplace(shown, TreeStep{i, instance}).second) return;
        if (shown == &target)
          found = true;
        else
          next.push_back(shown);
      });
    }
  }
  if (!found) return path;
  for (const cct_Instance* at = &target; at;) {
    const TreeStep& step = cameFrom.at(at);
    path.push_back(TreeStep{step.attribute, const_cast<cct_Instance*>(at)});
    at = step.instance;
  }
  std::reverse(path.begin(), path.end());
  return path;
}

}  // namespace varnholt

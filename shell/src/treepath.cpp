#include "varnholt/treepath.h"

#include <algorithm>
#include <deque>
#include <cstdint>

#include "cct/cct.h"
#include "varnholt/treeview.h"

namespace varnholt {

namespace {

// The step that met each instance first. Open addressing in one array: a walk over a large file
// meets a million instances, and a node per instance would cost more than the walk itself.
class CameFrom {
 public:
  CameFrom() : slots_(1024) {}
  /// False when the instance was met before.
  bool Add(const cct_Instance* instance, TreeStep step) {
    if (2 * (count_ + 1) > slots_.size()) Grow();
    Slot& slot = slots_[IndexOf(slots_, instance)];
    if (slot.key) return false;
    slot = Slot{instance, step};
    ++count_;
    return true;
  }
  const TreeStep& At(const cct_Instance* instance) const {
    return slots_[IndexOf(slots_, instance)].step;
  }

 private:
  struct Slot {
    const cct_Instance* key = nullptr;
    TreeStep step{-1, nullptr};
  };
  static size_t IndexOf(const std::vector<Slot>& slots, const cct_Instance* key) {
    const size_t mask = slots.size() - 1;
    size_t at = static_cast<size_t>((reinterpret_cast<uintptr_t>(key) >> 4) * 0x9E3779B97F4A7C15ull >> 20) & mask;
    while (slots[at].key && slots[at].key != key) at = (at + 1) & mask;
    return at;
  }
  void Grow() {
    std::vector<Slot> bigger(slots_.size() * 2);
    for (const Slot& slot : slots_)
      if (slot.key) bigger[IndexOf(bigger, slot.key)] = slot;
    slots_.swap(bigger);
  }
  std::vector<Slot> slots_;
  size_t count_ = 0;
};

}  // namespace

std::vector<TreeStep> TreePathTo(cct_Scope& scope, const cct_Instance& target,
                                 const std::function<bool()>& cancelled) {
  std::vector<TreeStep> path;
  cct_Instance* root = CStpTreeView::Root(scope);
  if (!root || CStpTreeView::IsHidden(*root)) return path;
  // Each instance met remembers the step that met it first; breadth first, so that is the
  // shallowest place, and the first of equals in the order the tree lists its children.
  CameFrom cameFrom;
  cameFrom.Add(root, TreeStep{-1, nullptr});
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
        if (!cameFrom.Add(shown, TreeStep{i, instance})) return;
        if (shown == &target)
          found = true;
        else
          next.push_back(shown);
      });
    }
  }
  if (!found) return path;
  for (const cct_Instance* at = &target; at;) {
    const TreeStep& step = cameFrom.At(at);
    path.push_back(TreeStep{step.attribute, const_cast<cct_Instance*>(at)});
    at = step.instance;
  }
  std::reverse(path.begin(), path.end());
  return path;
}

}  // namespace varnholt

// The comparison's index of one population (entries by creation ordinal, the pair each is in,
// how a walk from the projects first met it) and the questions of type and hash both sides
// share. Internal to the comparison (diff*.cpp).
#ifndef VARNHOLT_DIFF_SIDE_H
#define VARNHOLT_DIFF_SIDE_H

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "cct/instance.h"
#include "cct/scope.h"

namespace varnholt::diff_detail {

using Entry = cct_Scope::Entry;

constexpr int32_t kNone = -1;

/// One population as the comparison indexes it: its entries by creation ordinal, and per
/// ordinal the pair it is in.
class Side {
 public:
  explicit Side(cct_Scope& scope) {
    cct_Scope::ListCursor cursor;
    for (Entry* entry = scope.ListFirst(cursor); entry; entry = scope.ListNext(cursor)) {
      const long ordinal = cursor.ordinal - 1;
      if (ordinal % cct_Scope::kBlockSize == 0) inOrder_.push_back(entry);
      size_ = static_cast<size_t>(ordinal) + 1;
    }
    for (size_t k = 0; k < inOrder_.size(); ++k)
      blocks_.emplace_back(inOrder_[k], static_cast<uint32_t>(k * cct_Scope::kBlockSize));
    std::sort(blocks_.begin(), blocks_.end(), [](const auto& x, const auto& y) {
      return std::less<const Entry*>()(x.first, y.first);
    });
    pairOf.assign(size_, kNone);
  }

  /// The creation ordinal of an entry of this scope; -1 for another.
  long Ordinal(const Entry* entry) const {
    auto it = std::upper_bound(blocks_.begin(), blocks_.end(), entry, [](const Entry* e, const auto& block) {
      return std::less<const Entry*>()(e, block.first);
    });
    if (it == blocks_.begin()) return -1;
    --it;
    const long offset = entry - it->first;
    if (offset < 0 || offset >= cct_Scope::kBlockSize) return -1;
    const long ordinal = static_cast<long>(it->second) + offset;
    return ordinal < static_cast<long>(size_) ? ordinal : -1;
  }
  size_t Size() const { return size_; }
  // The scope keeps its entries in blocks of kBlockSize in creation order, so an ordinal is a
  // block and a place in it: no table of a pointer per entry.
  Entry* At(size_t ordinal) const {
    return inOrder_[ordinal / cct_Scope::kBlockSize] + ordinal % cct_Scope::kBlockSize;
  }
  /// The instance of an entry, when it is one of the population.
  static cct_Instance* Valid(const Entry* entry) {
    cct_Instance* instance = entry ? entry->instance : nullptr;
    // What Kind() and IsKilled() ask, without the call through the table.
    return instance && !(instance->Flags() & (cct_FLAG_PLACEHOLDER | cct_FLAG_KILLED)) ? instance : nullptr;
  }

  std::vector<int32_t> pairOf;
  /// How the walk from the side's projects first met each instance; made when an added or
  /// removed instance needs a path.
  struct Link {
    int32_t parent = kNone;  // ordinal; kNone: not reached (or a project: depth 0)
    int32_t attribute = 0;
    int32_t element = -1;
    int32_t depth = -1;  // -1: not reached
    int32_t root = kNone;
  };
  std::vector<Link> links;

 private:
  size_t size_ = 0;
  std::vector<Entry*> inOrder_;                      // the first entry of each block
  std::vector<std::pair<Entry*, uint32_t>> blocks_;  // and its first ordinal, by address
};

inline bool SameType(const cct_Instance& a, const cct_Instance& b) {
  if (a.TypeID() != b.TypeID()) return false;
  return a.TypeID() != 0 || std::strcmp(a.TypeName(), b.TypeName()) == 0;
}

inline uint64_t Mix(uint64_t h, uint64_t v) {
  h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
  return h;
}

inline uint64_t HashText(std::string_view text) {
  uint64_t h = 1469598103934665603ULL;
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ULL;
  return h;
}

inline uint64_t TypeKey(const cct_Instance& instance) {
  return instance.TypeID() != 0 ? static_cast<uint64_t>(instance.TypeID()) : HashText(instance.TypeName());
}

}  // namespace varnholt::diff_detail

#endif

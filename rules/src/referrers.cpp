#include "referrers.h"

#include <algorithm>

#include "cct/instance.h"
#include "cct/references.h"

namespace varnholt::rules {

namespace {

// The creation ordinal of an entry of the scope from its address, as the index finds it: by the
// block of entries it lies in. The block of the last answer is tried first (a list's references
// go to neighbours).
class Ordinals {
 public:
  void Add(const cct_Scope::Entry* entry, long ordinal) {
    const size_t block = static_cast<size_t>(ordinal / cct_Scope::kBlockSize);
    if (block < seen_.size() && seen_[block]) return;
    if (seen_.size() <= block) seen_.resize(block + 1, false);
    seen_[block] = true;
    starts_.push_back({Address(entry - ordinal % cct_Scope::kBlockSize), block});
  }
  void Close(long count) {
    std::sort(starts_.begin(), starts_.end(), [](const Start& a, const Start& b) { return a.address < b.address; });
    count_ = count;
  }
  long Of(const cct_Scope::Entry* entry) {
    const uintptr_t at = Address(entry);
    if (!last_ || at < last_->address || at - last_->address >= kBlockBytes) {
      auto it = std::upper_bound(starts_.begin(), starts_.end(), at,
                                 [](uintptr_t a, const Start& s) { return a < s.address; });
      if (it == starts_.begin()) return -1;
      last_ = &*(it - 1);
      if (at - last_->address >= kBlockBytes) return -1;
    }
    const long ordinal = static_cast<long>(last_->block) * cct_Scope::kBlockSize +
                         static_cast<long>((at - last_->address) / sizeof(cct_Scope::Entry));
    return ordinal < count_ ? ordinal : -1;
  }

 private:
  static constexpr uintptr_t kBlockBytes = sizeof(cct_Scope::Entry) * cct_Scope::kBlockSize;
  static uintptr_t Address(const cct_Scope::Entry* entry) { return reinterpret_cast<uintptr_t>(entry); }
  struct Start {
    uintptr_t address;
    size_t block;
  };
  std::vector<Start> starts_;
  std::vector<bool> seen_;
  const Start* last_ = nullptr;
  long count_ = 0;
};

}  // namespace

std::unique_ptr<Referrers> Referrers::Make(cct_Scope& scope, const std::vector<const cct_Scope::Entry*>& starts,
                                           bool typesAsNoted) {
  if (!typesAsNoted) return nullptr;
  std::unique_ptr<Referrers> made(new Referrers);
  // First which instances the index looks into, decided as it decides (by the type noted for
  // the record, judged once per type): only references to those, or to the starts, are kept.
  // With every instance of its noted type, that decision does not depend on the order of the
  // walk, so one pass tells what both of the index's passes do.
  const bool anyKept = scope.AsWrittenCount() > 0;
  cct_ReferenceHolders holders;
  Ordinals ordinals;
  std::vector<bool> holds(static_cast<size_t>(std::max(0L, scope.EntryCount())), false);
  std::vector<cct_Scope::Entry*> from;
  cct_Scope::ListCursor cursor;
  for (cct_Scope::Entry* entry = scope.ListFirst(cursor); entry; entry = scope.ListNext(cursor)) {
    const long ordinal = cursor.ordinal - 1;
    ordinals.Add(entry, ordinal);
    const int known = holders.Known(entry->typeId);
    if (known == 0 && !anyKept) continue;
    cct_Instance* instance = entry->instance;
    if (!instance || instance->Kind() != cct_KIND_INSTANCE) continue;
    const bool passOver = !(instance->Flags() & cct_FLAG_AS_WRITTEN) &&
                          (known == 0 || (known < 0 && !holders.MayHold(*instance, entry->typeId)));
    if (passOver) continue;
    if (static_cast<size_t>(ordinal) < holds.size()) holds[static_cast<size_t>(ordinal)] = true;
    from.push_back(entry);
  }
  ordinals.Close(static_cast<long>(holds.size()));
  const std::unordered_set<const cct_Scope::Entry*> wanted(starts.begin(), starts.end());
  for (cct_Scope::Entry* entry : from)
    cct_ForEachReference(*entry->instance, [&](const cct_ReferenceSite& site) {
      if (!site.to) return;
      const long to = ordinals.Of(site.to);
      if (to < 0) return;
      if (holds[static_cast<size_t>(to)] || wanted.count(site.to)) made->to_[site.to].push_back(entry);
    });
  return made;
}

const std::vector<const cct_Scope::Entry*>& Referrers::To(const cct_Scope::Entry* entry) const {
  static const std::vector<const cct_Scope::Entry*> none;
  auto it = to_.find(entry);
  return it == to_.end() ? none : it->second;
}

}  // namespace varnholt::rules

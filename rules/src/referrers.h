// Who refers to a few instances, and to those, and so on: what a walk backwards from them asks
// of the reference index, without the index's entry for every reference of the file (a file of
// a million points has a million, and each new megabyte costs more than reading it).
#ifndef VARNHOLT_RULES_REFERRERS_H
#define VARNHOLT_RULES_REFERRERS_H

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "cct/scope.h"

namespace varnholt::rules {

class Referrers {
 public:
  /// The referrers the reference index of the scope would give for each of `starts` and for
  /// every instance that holds references. Null when it cannot be sure to give the same: when
  /// some instance is not of the type the reader noted for its record (`typesAsNoted` false),
  /// the index passes over instances by that note.
  static std::unique_ptr<Referrers> Make(cct_Scope& scope, const std::vector<const cct_Scope::Entry*>& starts,
                                         bool typesAsNoted);
  /// The entries whose instances refer to that entry, in creation order (one per reference).
  const std::vector<const cct_Scope::Entry*>& To(const cct_Scope::Entry* entry) const;

 private:
  Referrers() = default;
  std::unordered_map<const cct_Scope::Entry*, std::vector<const cct_Scope::Entry*>> to_;
};

}  // namespace varnholt::rules

#endif

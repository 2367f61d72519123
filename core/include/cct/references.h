// Who refers to whom: every reference an instance holds, in its attributes, in the selects and
// lists it holds, or in the text of a record kept as read.
#ifndef CCT_REFERENCES_H
#define CCT_REFERENCES_H

#include <functional>
#include <cstdint>
#include <memory>
#include <vector>

#include "cct/cctype.h"
#include "cct/scope.h"

class cct_Instance;
class cct_StepFile;
class cct_Type;

/// One reference held by an instance.
struct cct_ReferenceSite {
  cct_Instance* from;
  /// Index of the attribute that holds it; -1 in a record kept as read (no attributes); for a
  /// parameter after the entity's last attribute, kept as written, its position in the record.
  long attribute;
  /// Position in the list that holds it, from 0 over all its elements (row by row); in a kept
  /// record, the reference's position among the record's references; -1 for a single value.
  long element;
  /// The value that decides which instances are admitted: the attribute, the select element of
  /// a list, or null where nothing is known about the type (records kept as read, lists of
  /// any value).
  const cct_Type* holder;
  /// The scope entry of the name referred to; null when the scope has none.
  cct_Scope::Entry* to;
  /// The name referred to.
  const char* name;
};

/// Calls `visit` with every reference `instance` holds through a scope entry, attribute by
/// attribute, in element order.
void cct_ForEachReference(cct_Instance& instance,
                          const std::function<void(const cct_ReferenceSite&)>& visit);

/// Whether instances of this class may hold references at all, judged once per entity type
/// from the kinds of its attributes: a walk over a file of points then passes over the points
/// without looking at them.
class cct_ReferenceHolders {
 public:
  /// False when no attribute of the instance's class can hold a reference.
  bool MayHold(const cct_Instance& instance, long typeId);
  /// What is known of an entity type without looking at an instance: 1 may hold references,
  /// 0 cannot, -1 not judged yet (or no entity type of the schema).
  int Known(long typeId) const {
    const size_t at = static_cast<size_t>(typeId - cct_ENTITY_ID_BASE);
    return typeId >= cct_ENTITY_ID_BASE && at < known_.size() ? known_[at] : -1;
  }

 private:
  std::vector<int8_t> known_;  // by type id from cct_ENTITY_ID_BASE: -1 not judged, 0 no, 1 yes
};

/// Who refers to whom over a whole scope, built once when first asked (after the file is read):
/// the references that lead to an instance, through attributes, list elements, selects and kept
/// records. Held as one array per target in creation order (offsets into one list of
/// references), 12 bytes per reference and 4 per name.
class cct_ReferenceIndex {
 public:
  struct Reference {
    cct_Scope::Entry* from;
    int32_t attribute;  // as in cct_ReferenceSite
    int32_t element;
  };
  /// Walks every instance the scope holds.
  explicit cct_ReferenceIndex(cct_Scope& scope);
  /// The references to an entry of the scope, in creation order of the referring instances.
  std::vector<Reference> To(const cct_Scope::Entry* entry) const;
  size_t Count() const { return items_.size(); }
  size_t MemoryBytes() const;

 private:
  struct Item {
    uint32_t from;  // creation ordinal
    int32_t attribute;
    int32_t element;
  };
  /// The creation ordinal of an entry of the scope; -1 for another.
  long Ordinal(const cct_Scope::Entry* entry) const;
  cct_Scope::Entry* EntryAt(uint32_t ordinal) const;
  template <class Use>
  void Walk(cct_Scope& scope, cct_ReferenceHolders& holders, const Use& use) const;

  std::vector<cct_Scope::Entry*> blocks_;  // first entry of each block, in creation order
  std::vector<std::pair<const cct_Scope::Entry*, uint32_t>> byAddress_;  // block starts sorted
  std::vector<uint32_t> offsets_;  // per ordinal, and one past the last
  std::vector<Item> items_;
};

/// The check of every reference of a file's instances once all are read: names never defined,
/// and instances their attribute does not admit, reported at the line of the referring record,
/// in the order of the file. An instance is best given to Collect right after it was read,
/// while it is at hand; references to instances still to be read are judged by the entity type
/// the scan found, or at the end.
class cct_ReferenceCheck {
 public:
  explicit cct_ReferenceCheck(cct_StepFile& file);
  ~cct_ReferenceCheck();
  cct_ReferenceCheck(const cct_ReferenceCheck&) = delete;
  cct_ReferenceCheck& operator=(const cct_ReferenceCheck&) = delete;

  void Collect(cct_Scope::Entry* entry);
  /// Reports what was found; answers the number of reports.
  long Report();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

#endif

#include "cct/references.h"

#include <algorithm>
#include <ostream>
#include <string>
#include <typeinfo>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cct/aggr.h"
#include "cct/entitytype.h"
#include "cct/errlog.h"
#include "cct/instance.h"
#include "cct/rawrecord.h"
#include "cct/selecttype.h"
#include "cct/stepfile.h"

namespace {

template <class Visit>
void Site(cct_Instance& from, long attribute, long element, const cct_Type* holder,
          cct_Scope::Entry* entry, const Visit& visit) {
  if (entry) visit(cct_ReferenceSite{&from, attribute, element, holder, entry, entry->name});
}

// The entry an element object of a list designates: a select held through an entry, or an
// instance or placeholder bound to one.
template <class Visit>
void Element(cct_Instance& from, long attribute, long position, const cct_AggregateType& list,
             const void* element, const Visit& visit) {
  cct_Type* object = list.MakeElementObject(element, list.ElementDescriptor());
  if (!object) return;
  const long kind = object->Kind();
  if (kind == cct_KIND_SELECT) {
    Site(from, attribute, position, object, static_cast<cct_SelectType*>(object)->GetEntry(),
         visit);
  } else if (kind == cct_KIND_INSTANCE || kind == cct_KIND_PLACEHOLDER) {
    Site(from, attribute, position, &list, static_cast<cct_Instance*>(object)->GetEntry(), visit);
  }
  if (object->IsTemporary()) delete object;
}

template <class Visit>
void List(cct_Instance& from, long attribute, cct_AggregateType& list, const Visit& visit) {
  const long kind = list.ElementDescriptor()->kind;
  if (kind != cct_KIND_ENTITY_REFERENCE && kind != cct_KIND_SELECT && kind != cct_KIND_NONE)
    return;
  if (list.Dimensions() == 1) {
    auto& one = static_cast<cct_AggregateType_1d&>(list);
    if (kind == cct_KIND_ENTITY_REFERENCE && (list.Flags() & cct_FLAG_VIA_ENTRY)) {
      // The usual case, long lists of points among them: the entries straight from storage.
      for (uint32_t i = 0; i < one.Count(); ++i)
        Site(from, attribute, i, &list, list.ElementEntry(one.Element(i)), visit);
      return;
    }
    for (uint32_t i = 0; i < one.Count(); ++i)
      Element(from, attribute, i, list, one.Element(i), visit);
  } else {
    // Elements are counted over all rows, each row as long as it was given.
    auto& two = static_cast<cct_AggregateType_2d&>(list);
    long position = 0;
    for (uint32_t i = 0; i < two.Rows(); ++i)
      for (uint32_t j = 0; j < two.RowLength(i); ++j)
        Element(from, attribute, position++, list, two.Element(i, j), visit);
  }
}

// The references in a text kept as read: a kept record's (attribute -1), or a parameter kept in
// an attribute's place. Nothing is known about the types they admit.
template <class Visit>
void Text(cct_Instance& instance, long attribute, std::string_view text, long& position,
          const Visit& visit) {
  cct_Scope* scope = instance.GetScope();
  cct_ForEachNameIn(text, [&](std::string_view name) {
    const std::string copy(name);
    cct_Scope::Entry* entry = scope ? scope->FindEntry(copy.c_str(), 0) : nullptr;
    if (entry)
      Site(instance, attribute, position, nullptr, entry, visit);
    else
      visit(cct_ReferenceSite{&instance, attribute, position, nullptr, nullptr, copy.c_str()});
    ++position;
  });
}

template <class Visit>
void Parameter(cct_Instance& instance, long attribute, const std::string& text, const Visit& visit) {
  long position = 0;
  if (!text.empty() && text[0] == '(') {
    Text(instance, attribute, text, position, visit);
    return;
  }
  Text(instance, attribute, text, position, [&](const cct_ReferenceSite& site) {
    cct_ReferenceSite one = site;
    one.element = -1;
    visit(one);
  });
}

// The parameters an instance keeps as written, in attributes' places and then after the last
// attribute (numbered on from it, as positions of the record). A list's text counts its
// references as elements; a single value's one is no element.
template <class Visit>
void AsWritten(cct_Instance& instance, const cct_AsWritten& kept, const Visit& visit) {
  for (const cct_AsWritten::Parameter& p : kept.refused)
    Parameter(instance, p.attribute, p.text, visit);
  if (kept.extra.empty()) return;
  long attributes = 0;
  while (instance.Attribute(attributes)) ++attributes;
  for (size_t k = 0; k < kept.extra.size(); ++k)
    Parameter(instance, attributes + static_cast<long>(k), kept.extra[k], visit);
}

// The walk itself, without a call through std::function for each reference.
template <class Visit>
void ForEach(cct_Instance& instance, const Visit& visit) {
  // Only a record kept as read has no type identifier; the others need no cast.
  auto* raw = instance.TypeID() == 0 ? dynamic_cast<cct_RawInstance*>(&instance) : nullptr;
  if (raw) {
    long position = 0;  // the references of a kept record are counted in their order
    Text(instance, -1, raw->Record(), position, visit);
    return;
  }
  for (long i = 0;; ++i) {
    cct_Type* value = instance.Attribute(i);
    if (!value) break;
    if (!value->IsSet()) continue;
    switch (value->Kind()) {
      case cct_KIND_ENTITY_REFERENCE:
        Site(instance, i, -1, value, static_cast<cct_EntityType*>(value)->GetEntry(), visit);
        break;
      case cct_KIND_SELECT:
        Site(instance, i, -1, value, static_cast<cct_SelectType*>(value)->GetEntry(), visit);
        break;
      case cct_KIND_AGGREGATE: List(instance, i, *static_cast<cct_AggregateType*>(value), visit);
        break;
      default: break;
    }
  }
  if (instance.Flags() & cct_FLAG_AS_WRITTEN)
    if (const cct_AsWritten* kept = instance.AsWritten()) AsWritten(instance, *kept, visit);
}

// Whether a walk may pass over an instance without looking at its references: its type holds
// none, and it keeps no parameter as written (only then is it looked at).
bool PassOver(cct_ReferenceHolders& holders, const cct_Instance& instance, long typeId,
              int known) {
  if (instance.Flags() & cct_FLAG_AS_WRITTEN) return false;
  return known == 0 || (known < 0 && !holders.MayHold(instance, typeId));
}

}  // namespace

void cct_ForEachReference(cct_Instance& instance,
                          const std::function<void(const cct_ReferenceSite&)>& visit) {
  ForEach(instance, visit);
}

bool cct_ReferenceHolders::MayHold(const cct_Instance& instance, long typeId) {
  if (typeId < cct_ENTITY_ID_BASE || typeId >= cct_ENTITY_ID_BASE + cct_ENTITY_ID_ROOM ||
      instance.TypeID() != typeId)
    return true;
  const size_t at = static_cast<size_t>(typeId - cct_ENTITY_ID_BASE);
  if (at >= known_.size()) known_.resize(at + 1, -1);
  if (known_[at] < 0) {
    int8_t holds = 0;
    for (long i = 0; const cct_Type* value = instance.Attribute(i); ++i) {
      const long kind = value->Kind();
      if (kind == cct_KIND_ENTITY_REFERENCE || kind == cct_KIND_SELECT) holds = 1;
      if (kind == cct_KIND_AGGREGATE) {
        const long element = static_cast<const cct_AggregateType*>(value)->ElementDescriptor()->kind;
        if (element == cct_KIND_ENTITY_REFERENCE || element == cct_KIND_SELECT ||
            element == cct_KIND_NONE)
          holds = 1;
      }
    }
    known_[at] = holds;
  }
  return known_[at] != 0;
}

template <class Use>
void cct_ReferenceIndex::Walk(cct_Scope& scope, cct_ReferenceHolders& holders,
                              const Use& use) const {
  // Only a file with parameters kept as written has instances whose type does not tell.
  const bool anyKept = scope.AsWrittenCount() > 0;
  cct_Scope::ListCursor cursor;
  for (cct_Scope::Entry* entry = scope.ListFirst(cursor); entry; entry = scope.ListNext(cursor)) {
    // The entity type the scan noted decides without a look at the instance (in a file of
    // points that look would be a cache miss for every point).
    const int known = holders.Known(entry->typeId);
    if (known == 0 && !anyKept) continue;
    cct_Instance* from = entry->instance;
    if (!from || from->Kind() != cct_KIND_INSTANCE) continue;
    if (PassOver(holders, *from, entry->typeId, known)) continue;
    const uint32_t ordinal = static_cast<uint32_t>(cursor.ordinal - 1);
    ForEach(*from, [&](const cct_ReferenceSite& site) {
      const long to = site.to ? Ordinal(site.to) : -1;
      if (to >= 0) use(static_cast<uint32_t>(to), ordinal, site);
    });
  }
}

cct_ReferenceIndex::cct_ReferenceIndex(cct_Scope& scope) {
  const long count = scope.EntryCount();
  cct_Scope::ListCursor cursor;
  for (cct_Scope::Entry* entry = scope.ListFirst(cursor); entry; entry = scope.ListNext(cursor)) {
    const long ordinal = cursor.ordinal - 1;
    const size_t block = static_cast<size_t>(ordinal / cct_Scope::kBlockSize);
    if (blocks_.size() <= block) {
      blocks_.resize(block + 1, nullptr);
      blocks_[block] = entry - ordinal % cct_Scope::kBlockSize;
    }
  }
  for (size_t b = 0; b < blocks_.size(); ++b)
    if (blocks_[b]) byAddress_.emplace_back(blocks_[b], static_cast<uint32_t>(b));
  std::sort(byAddress_.begin(), byAddress_.end(), [](const auto& a, const auto& b) {
    return std::less<const void*>()(a.first, b.first);
  });

  // Counted first, then filled: the list is allocated once, at its final size.
  cct_ReferenceHolders holders;
  offsets_.assign(static_cast<size_t>(count) + 1, 0);
  Walk(scope, holders, [&](uint32_t to, uint32_t, const cct_ReferenceSite&) { ++offsets_[to + 1]; });
  for (size_t i = 1; i < offsets_.size(); ++i) offsets_[i] += offsets_[i - 1];
  items_.resize(offsets_.back());
  std::vector<uint32_t> next(offsets_.begin(), offsets_.end() - 1);
  Walk(scope, holders, [&](uint32_t to, uint32_t from, const cct_ReferenceSite& site) {
    items_[next[to]++] = Item{from, static_cast<int32_t>(site.attribute),
                              static_cast<int32_t>(site.element)};
  });
}

long cct_ReferenceIndex::Ordinal(const cct_Scope::Entry* entry) const {
  auto it = std::upper_bound(byAddress_.begin(), byAddress_.end(), entry,
                             [](const cct_Scope::Entry* e, const auto& block) {
                               return std::less<const void*>()(e, block.first);
                             });
  if (it == byAddress_.begin()) return -1;
  --it;
  const long within = entry - it->first;
  if (within < 0 || within >= cct_Scope::kBlockSize) return -1;
  const long ordinal = static_cast<long>(it->second) * cct_Scope::kBlockSize + within;
  return ordinal + 1 < static_cast<long>(offsets_.size()) || offsets_.empty() ? ordinal : -1;
}

cct_Scope::Entry* cct_ReferenceIndex::EntryAt(uint32_t ordinal) const {
  return blocks_[ordinal / cct_Scope::kBlockSize] + ordinal % cct_Scope::kBlockSize;
}

std::vector<cct_ReferenceIndex::Reference> cct_ReferenceIndex::To(
    const cct_Scope::Entry* entry) const {
  std::vector<Reference> found;
  const long ordinal = Ordinal(entry);
  if (ordinal < 0) return found;
  for (uint32_t i = offsets_[static_cast<size_t>(ordinal)];
       i < offsets_[static_cast<size_t>(ordinal) + 1]; ++i)
    found.push_back(Reference{EntryAt(items_[i].from), items_[i].attribute, items_[i].element});
  return found;
}

size_t cct_ReferenceIndex::MemoryBytes() const {
  return items_.capacity() * sizeof(Item) + offsets_.capacity() * sizeof(uint32_t) +
         blocks_.capacity() * sizeof(void*) + byAddress_.capacity() * sizeof(byAddress_[0]);
}

struct cct_ReferenceCheck::State {
  explicit State(cct_StepFile& f) : file(f) {}

  struct Finding {
    cct_Scope::Entry* from;
    long attribute;
    std::string name;      // the name referred to
    const char* typeName;  // the type of an instance not admitted; null for a missing one
  };
  // A reference to an instance not read yet, whose type could not be judged by the scan's note.
  struct Later {
    cct_Scope::Entry* from;
    long attribute;
    const cct_Type* holder;
    cct_Scope::Entry* to;
  };
  struct PairHash {
    size_t operator()(const std::pair<const void*, long>& p) const {
      return std::hash<const void*>()(p.first) ^
             (static_cast<size_t>(p.second) * 0x9E3779B97F4A7C15u);
    }
  };

  // Whether a holder admits an instance depends only on the holder's class (for a list, on its
  // element descriptor) and on the instance's entity type, which the scan noted in its entry.
  static const void* Key(const cct_Type& holder) {
    if (holder.Kind() == cct_KIND_AGGREGATE)
      return static_cast<const cct_AggregateType&>(holder).ElementDescriptor();
    return &typeid(holder);
  }

  // 1 admitted, 0 not, -1 not known yet. Neighbouring references are mostly of one pair (the
  // points of a polyline): the last answer is tried first.
  int Known(const cct_Type& holder, long typeId) {
    if (typeId < cct_ENTITY_ID_BASE) return -1;
    if (&holder == lastHolder && typeId == lastTypeId) return lastAnswer;
    auto it = admitted.find({Key(holder), typeId});
    if (it == admitted.end()) return -1;
    lastHolder = &holder;
    lastTypeId = typeId;
    lastAnswer = it->second;
    return lastAnswer;
  }

  bool Judge(const cct_Type& holder, cct_Instance& target, long typeId) {
    const int known = Known(holder, typeId);
    if (known >= 0) return known != 0;
    const bool result = holder.TestCompatibility(&target) != 0;
    if (typeId >= cct_ENTITY_ID_BASE) admitted.emplace(std::make_pair(Key(holder), typeId), result);
    return result;
  }

  const cct_Type* lastHolder = nullptr;
  long lastTypeId = 0;
  int lastAnswer = -1;

  void Missing(cct_Scope::Entry* from, long attribute, const char* name) {
    if (!file.DefinedOutsideData(name)) findings.push_back(Finding{from, attribute, name, nullptr});
  }

  // `last`: every instance has been read; a name without one now is missing.
  void Target(cct_Scope::Entry* from, long attribute, const cct_Type* holder,
              cct_Scope::Entry* to, const char* name, bool last) {
    cct_Instance* target = to ? to->instance : nullptr;
    if (!target) {
      if (!to || to->fileOffset == 0 || last)
        Missing(from, attribute, name);
      else if (holder && Known(*holder, to->typeId) != 1)
        later.push_back(Later{from, attribute, holder, to});
      return;
    }
    if (holder && target->Kind() == cct_KIND_INSTANCE && !Judge(*holder, *target, to->typeId))
      findings.push_back(Finding{from, attribute, name, target->TypeName()});
  }

  cct_StepFile& file;
  cct_ReferenceHolders holders;
  std::vector<Finding> findings;
  std::vector<Later> later;
  std::unordered_map<std::pair<const void*, long>, bool, PairHash> admitted;
};

cct_ReferenceCheck::cct_ReferenceCheck(cct_StepFile& file) : state_(new State(file)) {}

cct_ReferenceCheck::~cct_ReferenceCheck() = default;

void cct_ReferenceCheck::Collect(cct_Scope::Entry* entry) {
  cct_Instance* from = entry ? entry->instance : nullptr;
  if (!from || from->Kind() != cct_KIND_INSTANCE) return;
  if (PassOver(state_->holders, *from, entry->typeId, -1)) return;
  cct_CompatibilityScope mode(2);
  ForEach(*from, [&](const cct_ReferenceSite& site) {
    state_->Target(entry, site.attribute, site.holder, site.to, site.name, false);
  });
}

long cct_ReferenceCheck::Report() {
  State& s = *state_;
  std::vector<State::Later> later;
  later.swap(s.later);
  {
    cct_CompatibilityScope mode(2);
    for (const State::Later& l : later) s.Target(l.from, l.attribute, l.holder, l.to, l.to->name, true);
  }

  // In the order of the file, as a reader of the log goes through it.
  std::stable_sort(s.findings.begin(), s.findings.end(),
                   [](const State::Finding& a, const State::Finding& b) {
                     return a.from->fileOffset < b.from->fileOffset;
                   });
  cct_StepFile& file = s.file;
  const long line = file.Line();
  for (const State::Finding& f : s.findings) {
    // Reports name the place of the referring record.
    file.SetLine(f.from->line);
    cct_Instance* from = f.from->instance;
    const char* attribute = f.attribute >= 0 ? from->AttributeName(f.attribute) : nullptr;
    if (!f.typeName) {
      cct_errlog(cct_Error(cct_PROGRAM_BUG))
          << file << " --- can not find instance '" << f.name.c_str() << "'.";
      std::ostream& os = cct_errlog(cct_CONTINUE)
                         << "\n   It is referred to by instance #" << f.from->name;
      if (attribute)
        os << ", attribute " << attribute << ".";
      else
        os << ", in its parameters.";
      file.NoteReportedMissing(f.name.c_str());
    } else {
      cct_errlog(cct_Error(cct_TEST_COMPATIBILITY_FAILED))
          << file << "for entity " << from->TypeName() << "::" << (attribute ? attribute : "")
          << " := " << f.typeName << ".";
    }
  }
  file.SetLine(line);
  const long count = static_cast<long>(s.findings.size());
  s.findings.clear();
  return count;
}

// The comparison of two populations by structure: projects paired with projects, then what
// their attributes refer to paired along the way, each pair's values compared as atoms, lists
// of references aligned by type and its_id. What this walk does not reach is paired in
// diff_unreached.cpp; the paths of what is reported are made in diff_paths.cpp.
#include "varnholt/diff.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cct/factory.h"
#include "cct/instance.h"
#include "cct/rawrecord.h"
#include "cct/scope.h"
#include "diff_atoms.h"
#include "diff_comparer.h"
#include "diff_side.h"
#include "varnholt/navigation.h"

namespace varnholt {

namespace diff_detail {

namespace {

// How far ahead instances are asked for before they are looked at.
constexpr size_t kAhead = 8;

const char* StringAt(const cct_Instance& instance, int32_t attribute) {
  if (attribute < 0) return nullptr;
  const cct_Type* value = instance.Attribute(attribute);
  if (!value || !value->IsSet() || value->Kind() != cct_KIND_STRING) return nullptr;
  // An empty name, as many writers give every point, names nothing.
  const char* text = value->GetString();
  return text && *text ? text : nullptr;
}

bool ListOfReferences(const Atoms& atoms) {
  for (uint32_t k = 0; k < atoms.count; ++k)
    if (atoms.starts[k + 1] - atoms.starts[k] != 1 || atoms.list[atoms.starts[k]].tag != Tag::Ref) return false;
  return true;
}

}  // namespace

std::vector<Difference> Comparer::Run() {
  // Grown by doubling, the pairs of a large file would be copied and their pages touched
  // twice; at most the smaller population is paired.
  pairs_.reserve(std::min(a_.Size(), b_.Size()));
  MatchProjects();
  Drain();
  MatchUnreached();
  for (const Pending& pending : pending_) CheckPending(pending);
  std::vector<Difference> out = std::move(changes_);
  Unmatched(true, out);
  Unmatched(false, out);
  return out;
}

const Comparer::Naming* Comparer::NamingOf(long typeId, const cct_Instance& instance) {
  if (typeId < cct_ENTITY_ID_BASE || typeId >= cct_ENTITY_ID_BASE + cct_ENTITY_ID_ROOM) return nullptr;
  const size_t at = static_cast<size_t>(typeId - cct_ENTITY_ID_BASE);
  if (naming_.size() <= at) naming_.resize(at + 1);
  Naming& naming = naming_[at];
  if (naming.id == -2) {
    if (instance.TypeID() != typeId) return nullptr;
    naming.id = naming.name = -1;
    for (long i = 0; instance.Attribute(i); ++i) {
      const char* name = instance.AttributeName(i);
      if (name && naming.id < 0 && std::strcmp(name, "its_id") == 0) naming.id = static_cast<int32_t>(i);
      if (name && naming.name < 0 && std::strcmp(name, "name") == 0) naming.name = static_cast<int32_t>(i);
    }
  }
  return &naming;
}

/// The its_id, else the name, of an instance, as paths show it; null when it has neither
/// (or it is unset or empty).
const char* Comparer::NameOf(const cct_Instance& instance) {
  const Naming* naming = NamingOf(instance.TypeID(), instance);
  if (!naming) return nullptr;
  return StringAt(instance, naming->id >= 0 ? naming->id : naming->name);
}

/// The its_id alone: what list elements are matched by.
const char* Comparer::IdOf(const cct_Instance& instance) {
  const Naming* naming = NamingOf(instance.TypeID(), instance);
  return naming ? StringAt(instance, naming->id) : nullptr;
}

/// True when the entry's type, as the scan noted it, has no its_id: then its instance need
/// not be looked at to match it in a list (the points of a polyline).
bool Comparer::WithoutId(const Entry* entry) {
  if (!entry->instance || entry->typeId < cct_ENTITY_ID_BASE) return false;
  const size_t at = static_cast<size_t>(entry->typeId - cct_ENTITY_ID_BASE);
  if (at < naming_.size() && naming_[at].id != -2) return naming_[at].id < 0;
  const Naming* naming = NamingOf(entry->typeId, *entry->instance);
  return naming && naming->id < 0;
}

std::vector<uint32_t> Comparer::Projects(Side& side) {
  std::vector<uint32_t> found;
  if (projectType_ == 0) {
    cct_Instance* made = CreateEntityByName("project");
    projectType_ = made ? made->TypeID() : -1;
    delete made;
  }
  if (projectType_ < 0) return found;
  for (size_t o = 0; o < side.Size(); ++o) {
    const Entry* entry = side.At(o);
    // The scan's type spares a look at every instance of a large file.
    if (entry->typeId != 0 && entry->typeId != projectType_) continue;
    const cct_Instance* instance = Side::Valid(entry);
    if (instance && instance->HasSupertype(projectType_)) found.push_back(static_cast<uint32_t>(o));
  }
  return found;
}

int32_t Comparer::AddPair(uint32_t oa, uint32_t ob, int32_t parent, long attribute, long elementA,
                          long elementB) {
  const int32_t index = static_cast<int32_t>(pairs_.size());
  Pair pair{oa, ob, parent, static_cast<int32_t>(attribute), static_cast<int32_t>(elementA),
            static_cast<int32_t>(elementB), 0, index, true};
  if (parent != kNone) {
    const Pair& from = pairs_[static_cast<size_t>(parent)];
    pair.depth = from.depth + 1;
    pair.root = from.root;
    pair.reached = from.reached;
  }
  pairs_.push_back(pair);
  a_.pairOf[oa] = index;
  b_.pairOf[ob] = index;
  return index;
}

void Comparer::MatchProjects() {
  const std::vector<uint32_t> inA = Projects(a_), inB = Projects(b_);
  // By its_id first, then the first left of one with the first left of the other.
  for (uint32_t oa : inA) {
    const char* name = NameOf(*Side::Valid(a_.At(oa)));
    if (!name) continue;
    for (uint32_t ob : inB) {
      const char* other = b_.pairOf[ob] == kNone ? NameOf(*Side::Valid(b_.At(ob))) : nullptr;
      if (other && std::strcmp(name, other) == 0) {
        AddPair(oa, ob, kNone, 0, -1, -1);
        break;
      }
    }
  }
  auto b = inB.begin();
  for (uint32_t oa : inA) {
    if (a_.pairOf[oa] != kNone) continue;
    while (b != inB.end() && b_.pairOf[*b] != kNone) ++b;
    if (b == inB.end()) break;
    AddPair(oa, *b, kNone, 0, -1, -1);
  }
}

/// Whether the two entries referred to from pair `parent` are the same instance of the two
/// populations: already paired with each other, or both unpaired and of one type, which
/// pairs them.
Comparer::Result Comparer::TryPair(Entry* ea, Entry* eb, int32_t parent, long attribute,
                                   long elementA, long elementB) {
  cct_Instance* ia = Side::Valid(ea);
  cct_Instance* ib = Side::Valid(eb);
  if (!ia || !ib)
    return !ia && !ib && ea && eb && ea->name && eb->name && std::strcmp(ea->name, eb->name) == 0
               ? Result::Same
               : Result::Conflict;
  const long oa = a_.Ordinal(ea), ob = b_.Ordinal(eb);
  if (oa < 0 || ob < 0) return Result::Conflict;
  const int32_t pa = a_.pairOf[static_cast<size_t>(oa)];
  if (pa != kNone) return pairs_[static_cast<size_t>(pa)].b == static_cast<uint32_t>(ob) ? Result::Same : Result::Conflict;
  if (b_.pairOf[static_cast<size_t>(ob)] != kNone || !SameType(*ia, *ib)) return Result::Conflict;
  AddPair(static_cast<uint32_t>(oa), static_cast<uint32_t>(ob), parent, attribute, elementA, elementB);
  return Result::Same;
}

/// Whether atoms [xb, xe) of x and [yb, ye) of y are the same value; their references are
/// paired on the way (from pair p's attribute) when everything else is the same.
bool Comparer::SameRange(const Atoms& x, size_t xb, size_t xe, const Atoms& y, size_t yb, size_t ye,
                         int32_t p, long attribute) {
  if (xe - xb != ye - yb) return false;
  for (size_t k = 0; k < xe - xb; ++k)
    if (!SameAtom(x, x.list[xb + k], y, y.list[yb + k])) return false;
  bool same = true;
  for (size_t k = 0; k < xe - xb; ++k) {
    const Atom& ax = x.list[xb + k];
    if (ax.tag != Tag::Ref) continue;
    const Atom& ay = y.list[yb + k];
    const long ea = ax.element == kNoElement ? -1 : static_cast<long>(ax.element);
    const long eb = ay.element == kNoElement ? -1 : static_cast<long>(ay.element);
    if (TryPair(ax.ref, ay.ref, p, attribute, ea, eb) == Result::Conflict) same = false;
  }
  return same;
}

void Comparer::Drain() {
  while (next_ < pairs_.size()) {
    // The instances of the pairs a little ahead are asked for early: a large file's
    // instances lie all over memory, and waiting for each in turn is most of the time.
    if (next_ + kAhead < pairs_.size()) {
      const Pair& ahead = pairs_[next_ + kAhead];
      __builtin_prefetch(a_.At(ahead.a)->instance);
      __builtin_prefetch(b_.At(ahead.b)->instance);
    }
    ComparePair(static_cast<int32_t>(next_++));
  }
}

void Comparer::Change(int32_t p, std::string attribute, std::string oldText, std::string newText) {
  Difference d;
  d.kind = DifferenceKind::Changed;
  d.path = PairPath(p, false);
  d.attribute = std::move(attribute);
  d.hasOld = d.hasNew = true;
  d.oldText = std::move(oldText);
  d.newText = std::move(newText);
  SetInstances(d, p);
  changes_.push_back(std::move(d));
}

void Comparer::SetInstances(Difference& d, int32_t p) {
  const Entry* ea = a_.At(pairs_[static_cast<size_t>(p)].a);
  const Entry* eb = b_.At(pairs_[static_cast<size_t>(p)].b);
  d.nameA = ea->name ? ea->name : "";
  d.nameB = eb->name ? eb->name : "";
  d.instanceA = NameNumber(ea->name);
  d.instanceB = NameNumber(eb->name);
}

void Comparer::ComparePair(int32_t p) {
  cct_Instance& ia = InstanceA(p);
  cct_Instance& ib = InstanceB(p);
  if (ia.TypeID() == 0) {
    const auto* ra = dynamic_cast<const cct_RawInstance*>(&ia);
    const auto* rb = dynamic_cast<const cct_RawInstance*>(&ib);
    if (ra && rb) {
      x_.Clear();
      y_.Clear();
      TextAtoms(ia.GetScope(), ra->Record(), x_);
      TextAtoms(ib.GetScope(), rb->Record(), y_);
      if (!SameRange(x_, 0, x_.list.size(), y_, 0, y_.list.size(), p, -1))
        Change(p, "(record)", RecordText(ia), RecordText(ib));
      return;
    }
  }
  long count = 0;
  for (; ia.Attribute(count); ++count) CompareAttribute(p, ia, ib, count);
  if ((ia.Flags() | ib.Flags()) & cct_FLAG_AS_WRITTEN) CompareExtra(p, ia, ib, count);
}

void Comparer::CompareExtra(int32_t p, cct_Instance& ia, cct_Instance& ib, long count) {
  static const std::vector<std::string> none;
  const cct_AsWritten* ka = ia.AsWritten();
  const cct_AsWritten* kb = ib.AsWritten();
  const std::vector<std::string>& xa = ka ? ka->extra : none;
  const std::vector<std::string>& xb = kb ? kb->extra : none;
  for (size_t k = 0; k < std::max(xa.size(), xb.size()); ++k) {
    x_.Clear();
    y_.Clear();
    if (k < xa.size()) TextAtoms(ia.GetScope(), xa[k], x_);
    if (k < xb.size()) TextAtoms(ib.GetScope(), xb[k], y_);
    const long attribute = count + static_cast<long>(k);
    if (k >= xa.size() || k >= xb.size() ||
        !SameRange(x_, 0, x_.list.size(), y_, 0, y_.list.size(), p, attribute))
      Change(p, AttributeName(ia, attribute), k < xa.size() ? xa[k] : "", k < xb.size() ? xb[k] : "");
  }
}

void Comparer::CompareAttribute(int32_t p, cct_Instance& ia, cct_Instance& ib, long i) {
  AttributeAtoms(ia, i, x_);
  AttributeAtoms(ib, i, y_);
  if (x_.isList && y_.isList) {
    if (ListOfReferences(x_) && ListOfReferences(y_)) return AlignReferences(p, ia, ib, i);
    if (x_.count == y_.count) {
      for (uint32_t k = 0; k < x_.count; ++k)
        if (!SameRange(x_, x_.starts[k], x_.starts[k + 1], y_, y_.starts[k], y_.starts[k + 1], p, i))
          Change(p, AttributeName(ia, i) + "[" + std::to_string(k + 1) + "]", AttributeText(ia, i, k),
                 AttributeText(ib, i, k));
      return;
    }
  }
  if (!SameRange(x_, 0, x_.list.size(), y_, 0, y_.list.size(), p, i))
    Change(p, AttributeName(ia, i), AttributeText(ia, i), AttributeText(ib, i));
}

/// Lists of references: elements paired by type and its_id where those are unique (the
/// longest run of them in the same order stays, the others have moved), the rest by their
/// place between those; what is left over was added or removed.
void Comparer::AlignReferences(int32_t p, cct_Instance& ia, cct_Instance& ib, long i) {
  const uint32_t n = x_.count, m = y_.count;
  std::vector<Entry*> ra(n), rb(m);
  for (uint32_t k = 0; k < n; ++k) ra[k] = x_.list[x_.starts[k]].ref;
  for (uint32_t k = 0; k < m; ++k) rb[k] = y_.list[y_.starts[k]].ref;
  auto elementChange = [&](uint32_t ka, uint32_t kb) {
    Change(p, AttributeName(ia, i) + "[" + std::to_string(kb + 1) + "]", AttributeText(ia, i, ka),
           AttributeText(ib, i, kb));
  };
  auto sameKey = [&](Entry* ea, Entry* eb) {
    if (ea->typeId != 0 && ea->typeId == eb->typeId && WithoutId(ea) && WithoutId(eb)) return true;
    const cct_Instance* xa = Side::Valid(ea);
    const cct_Instance* xb = Side::Valid(eb);
    if (!xa || !xb) return !xa && !xb;
    if (!SameType(*xa, *xb)) return false;
    const char* na = IdOf(*xa);
    const char* nb = IdOf(*xb);
    return (!na && !nb) || (na && nb && std::strcmp(na, nb) == 0);
  };
  if (n == m) {
    bool aligned = true;
    for (uint32_t k = 0; k < n && aligned; ++k) {
      if (k + 2 * kAhead < n) {
        __builtin_prefetch(ra[k + 2 * kAhead]);
        __builtin_prefetch(rb[k + 2 * kAhead]);
      }
      aligned = sameKey(ra[k], rb[k]);
    }
    if (aligned) {
      for (uint32_t k = 0; k < n; ++k) {
        if (k + kAhead < n) {
          __builtin_prefetch(ra[k + kAhead]->instance);
          __builtin_prefetch(rb[k + kAhead]->instance);
        }
        if (TryPair(ra[k], rb[k], p, i, k, k) == Result::Conflict) elementChange(k, k);
      }
      return;
    }
  }
  // Keys that name one element on each side.
  struct Seen {
    int32_t a = -1, b = -1;
    int32_t countA = 0, countB = 0;
  };
  std::unordered_map<std::string, Seen> keys;
  auto keyOf = [&](Entry* entry, std::string& key) {
    const cct_Instance* instance = Side::Valid(entry);
    const char* name = instance ? IdOf(*instance) : nullptr;
    if (!name) return false;
    key = std::to_string(TypeKey(*instance)) + ":" + name;
    return true;
  };
  std::string key;
  for (uint32_t k = 0; k < n; ++k)
    if (keyOf(ra[k], key)) {
      Seen& seen = keys[key];
      seen.a = static_cast<int32_t>(k);
      ++seen.countA;
    }
  for (uint32_t k = 0; k < m; ++k)
    if (keyOf(rb[k], key)) {
      Seen& seen = keys[key];
      seen.b = static_cast<int32_t>(k);
      ++seen.countB;
    }
  std::vector<std::pair<int32_t, int32_t>> unique;
  for (const auto& [text, seen] : keys)
    if (seen.countA == 1 && seen.countB == 1) unique.emplace_back(seen.a, seen.b);
  std::sort(unique.begin(), unique.end());
  // The longest run increasing on both sides (patience sorting): those stay in place.
  std::vector<int32_t> tails, previous(unique.size(), -1);
  std::vector<int32_t> tailIndex;
  for (size_t u = 0; u < unique.size(); ++u) {
    const int32_t b = unique[u].second;
    auto it = std::lower_bound(tails.begin(), tails.end(), b);
    const size_t at = static_cast<size_t>(it - tails.begin());
    if (at > 0) previous[u] = tailIndex[at - 1];
    if (it == tails.end()) {
      tails.push_back(b);
      tailIndex.push_back(static_cast<int32_t>(u));
    } else {
      *it = b;
      tailIndex[at] = static_cast<int32_t>(u);
    }
  }
  std::vector<bool> stays(unique.size(), false);
  for (int32_t u = tailIndex.empty() ? -1 : tailIndex.back(); u >= 0; u = previous[static_cast<size_t>(u)])
    stays[static_cast<size_t>(u)] = true;

  std::vector<int32_t> partnerA(n, -1), partnerB(m, -1);
  std::vector<std::pair<int32_t, int32_t>> anchors;
  for (size_t u = 0; u < unique.size(); ++u) {
    const auto [ka, kb] = unique[u];
    partnerA[static_cast<size_t>(ka)] = kb;
    partnerB[static_cast<size_t>(kb)] = ka;
    const Result result = TryPair(ra[static_cast<size_t>(ka)], rb[static_cast<size_t>(kb)], p, i, ka, kb);
    if (result == Result::Conflict) {
      elementChange(static_cast<uint32_t>(ka), static_cast<uint32_t>(kb));
    } else if (!stays[u]) {
      Difference d;
      d.kind = DifferenceKind::Moved;
      d.path = PairPath(p, false) + " / " +
               Step(ib, i, kb, *Side::Valid(rb[static_cast<size_t>(kb)]));
      d.attribute = AttributeName(ib, i);
      d.hasOld = d.hasNew = true;
      d.oldText = std::to_string(ka + 1);
      d.newText = std::to_string(kb + 1);
      const Entry* ea = ra[static_cast<size_t>(ka)];
      const Entry* eb = rb[static_cast<size_t>(kb)];
      d.nameA = ea->name;
      d.nameB = eb->name;
      d.instanceA = NameNumber(ea->name);
      d.instanceB = NameNumber(eb->name);
      changes_.push_back(std::move(d));
    }
    if (stays[u]) anchors.push_back(unique[u]);
  }
  // Between two elements that stay, the others pair by their order there.
  anchors.emplace_back(static_cast<int32_t>(n), static_cast<int32_t>(m));
  Pending pending{p, i, {}, {}};
  int32_t fromA = 0, fromB = 0;
  for (const auto& [toA, toB] : anchors) {
    std::vector<int32_t> gapA, gapB;
    for (int32_t k = fromA; k < toA; ++k)
      if (partnerA[static_cast<size_t>(k)] < 0) gapA.push_back(k);
    for (int32_t k = fromB; k < toB; ++k)
      if (partnerB[static_cast<size_t>(k)] < 0) gapB.push_back(k);
    for (size_t t = 0; t < std::max(gapA.size(), gapB.size()); ++t) {
      Entry* ea = t < gapA.size() ? ra[static_cast<size_t>(gapA[t])] : nullptr;
      Entry* eb = t < gapB.size() ? rb[static_cast<size_t>(gapB[t])] : nullptr;
      const cct_Instance* xa = Side::Valid(ea);
      const cct_Instance* xb = Side::Valid(eb);
      if (ea && eb && ((xa && xb && SameType(*xa, *xb)) || (!xa && !xb))) {
        if (TryPair(ea, eb, p, i, gapA[t], gapB[t]) == Result::Conflict)
          elementChange(static_cast<uint32_t>(gapA[t]), static_cast<uint32_t>(gapB[t]));
        continue;
      }
      if (ea) pending.a.push_back(ea);
      if (eb) pending.b.push_back(eb);
    }
    fromA = toA + 1;
    fromB = toB + 1;
  }
  if (!pending.a.empty() || !pending.b.empty()) pending_.push_back(std::move(pending));
}

void Comparer::CheckPending(const Pending& pending) {
  auto pairedElsewhere = [](Side& side, const std::vector<Entry*>& entries) {
    for (Entry* entry : entries) {
      const long o = Side::Valid(entry) ? side.Ordinal(entry) : -1;
      if (o < 0 || side.pairOf[static_cast<size_t>(o)] != kNone) return true;
    }
    return false;
  };
  if (!pairedElsewhere(a_, pending.a) && !pairedElsewhere(b_, pending.b)) return;
  cct_Instance& ia = InstanceA(pending.pair);
  cct_Instance& ib = InstanceB(pending.pair);
  Change(pending.pair, AttributeName(ia, pending.attribute), AttributeText(ia, pending.attribute),
         AttributeText(ib, pending.attribute));
}

}  // namespace diff_detail

const char* KindName(DifferenceKind kind) {
  switch (kind) {
    case DifferenceKind::Changed: return "changed";
    case DifferenceKind::Added: return "added";
    case DifferenceKind::Removed: return "removed";
    case DifferenceKind::Moved: return "moved";
  }
  return "changed";
}

std::vector<Difference> Compare(cct_Scope& a, cct_Scope& b, const DiffOptions& options) {
  return diff_detail::Comparer(a, b, options).Run();
}

}  // namespace varnholt

#include "varnholt/diff.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cct/factory.h"
#include "cct/instance.h"
#include "cct/rawrecord.h"
#include "cct/references.h"
#include "cct/scope.h"
#include "diff_atoms.h"
#include "diff_side.h"
#include "varnholt/navigation.h"

namespace varnholt {

namespace {

using namespace diff_detail;
using Entry = cct_Scope::Entry;

// A path longer than this many steps shows its project, then the count of the steps left
// out, then the last of them: a chain of a million references has no readable path anyway.
constexpr int32_t kPathSteps = 32;
// How many candidates of the same type and content key an unreached instance is tried
// against: keys that coincide (unnamed instances with a tolerance) must not make it quadratic.
constexpr size_t kBucketTries = 256;
// How deep two unreached instances are compared through the unpaired instances they refer to,
// so that two unnamed placements alike but for their points are told apart by the points.
constexpr int kContentDepth = 4;
// How far ahead instances are asked for before they are looked at.
constexpr size_t kAhead = 8;

struct Pair {
  uint32_t a, b;
  int32_t parent;     // the pair whose attribute led here; kNone for a root
  int32_t attribute;  // of the parent's instances
  int32_t elementA, elementB;  // in that attribute's list, from 0; -1 for a single value
  int32_t depth;
  int32_t root;
  bool reached;  // the root is a pair of projects (not a pair made by content)
};

/// The attribute of a pair whose list elements could not all be paired: once everything is
/// matched, it is a change of the list when one of them was paired elsewhere after all.
struct Pending {
  int32_t pair;
  long attribute;
  std::vector<Entry*> a, b;
};

class Comparer {
 public:
  Comparer(cct_Scope& a, cct_Scope& b, const DiffOptions& options)
      : a_(a), b_(b), tolerance_(options.tolerance > 0 ? options.tolerance : 0) {}

  std::vector<Difference> Run() {
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

 private:
  enum class Result { Same, Conflict };

  // ---- names and paths ----------------------------------------------------------------------

  /// Where an entity's its_id and name are; computed from an instance of it.
  struct Naming {
    int32_t id = -2, name = -2;  // attribute positions; -1 none, -2 not looked up
  };
  const Naming* NamingOf(long typeId, const cct_Instance& instance) {
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

  static const char* StringAt(const cct_Instance& instance, int32_t attribute) {
    if (attribute < 0) return nullptr;
    const cct_Type* value = instance.Attribute(attribute);
    if (!value || !value->IsSet() || value->Kind() != cct_KIND_STRING) return nullptr;
    // An empty name, as many writers give every point, names nothing.
    const char* text = value->GetString();
    return text && *text ? text : nullptr;
  }

  /// The its_id, else the name, of an instance, as paths show it; null when it has neither
  /// (or it is unset or empty).
  const char* NameOf(const cct_Instance& instance) {
    const Naming* naming = NamingOf(instance.TypeID(), instance);
    if (!naming) return nullptr;
    return StringAt(instance, naming->id >= 0 ? naming->id : naming->name);
  }
  /// The its_id alone: what list elements are matched by.
  const char* IdOf(const cct_Instance& instance) {
    const Naming* naming = NamingOf(instance.TypeID(), instance);
    return naming ? StringAt(instance, naming->id) : nullptr;
  }
  /// True when the entry's type, as the scan noted it, has no its_id: then its instance need
  /// not be looked at to match it in a list (the points of a polyline).
  bool WithoutId(const Entry* entry) {
    if (!entry->instance || entry->typeId < cct_ENTITY_ID_BASE) return false;
    const size_t at = static_cast<size_t>(entry->typeId - cct_ENTITY_ID_BASE);
    if (at < naming_.size() && naming_[at].id != -2) return naming_[at].id < 0;
    const Naming* naming = NamingOf(entry->typeId, *entry->instance);
    return naming && naming->id < 0;
  }

  std::string Named(const cct_Instance& instance) {
    const char* name = NameOf(instance);
    if (!name) return std::string();
    std::string quoted = " '";
    for (const char* c = name; *c; ++c) quoted += *c == '\'' ? std::string("''") : std::string(1, *c);
    return quoted + "'";
  }

  static std::string AttributeName(const cct_Instance& instance, long attribute) {
    if (attribute < 0) return "(record)";
    long count = 0;
    while (instance.Attribute(count)) ++count;
    if (attribute >= count) return "(parameter " + std::to_string(attribute + 1) + ")";
    const char* name = instance.AttributeName(attribute);
    return name ? name : "(parameter " + std::to_string(attribute + 1) + ")";
  }

  std::string Step(const cct_Instance& parent, long attribute, long element, const cct_Instance& to) {
    std::string step = AttributeName(parent, attribute);
    if (element >= 0) step += "[" + std::to_string(element + 1) + "]";
    return step + Named(to);
  }

  std::string Root(const cct_Instance& instance, bool reached) {
    return std::string(reached ? "" : "(unreached) ") + instance.TypeName() + Named(instance);
  }

  /// Joins the steps gathered from the bottom up below the root.
  static std::string Join(std::string root, std::vector<std::string>& steps, long skipped) {
    if (skipped > 0) root += " / ... (" + std::to_string(skipped) + " more)";
    for (auto it = steps.rbegin(); it != steps.rend(); ++it) root += " / " + *it;
    return root;
  }

  std::string PairPath(int32_t p, bool sideA) {
    Side& side = sideA ? a_ : b_;
    auto instance = [&](int32_t q) {
      return Side::Valid(side.At(sideA ? pairs_[static_cast<size_t>(q)].a : pairs_[static_cast<size_t>(q)].b));
    };
    std::vector<std::string> steps;
    int32_t q = p;
    while (pairs_[static_cast<size_t>(q)].parent != kNone && static_cast<int32_t>(steps.size()) < kPathSteps) {
      const Pair& pair = pairs_[static_cast<size_t>(q)];
      steps.push_back(Step(*instance(pair.parent), pair.attribute, sideA ? pair.elementA : pair.elementB,
                           *instance(q)));
      q = pair.parent;
    }
    const Pair& last = pairs_[static_cast<size_t>(q)];
    const long skipped = last.parent != kNone ? last.depth : 0;
    const Pair& root = pairs_[static_cast<size_t>(pairs_[static_cast<size_t>(p)].root)];
    return Join(Root(*instance(pairs_[static_cast<size_t>(p)].root), root.reached), steps, skipped);
  }

  void MakeLinks(Side& side) {
    if (!side.links.empty()) return;
    side.links.assign(side.Size(), Side::Link{});
    std::deque<uint32_t> next;
    for (uint32_t o : Projects(side)) {
      side.links[o].depth = 0;
      side.links[o].root = static_cast<int32_t>(o);
      next.push_back(o);
    }
    // Breadth first with a queue of its own: a chain of a million references needs no stack.
    while (!next.empty()) {
      const uint32_t o = next.front();
      next.pop_front();
      cct_Instance* from = Side::Valid(side.At(o));
      cct_ForEachReference(*from, [&](const cct_ReferenceSite& site) {
        if (!Side::Valid(site.to)) return;
        const long t = side.Ordinal(site.to);
        if (t < 0 || side.links[static_cast<size_t>(t)].depth >= 0) return;
        Side::Link& link = side.links[static_cast<size_t>(t)];
        link.parent = static_cast<int32_t>(o);
        link.attribute = static_cast<int32_t>(site.attribute);
        link.element = static_cast<int32_t>(site.element);
        link.depth = side.links[o].depth + 1;
        link.root = side.links[o].root;
        next.push_back(static_cast<uint32_t>(t));
      });
    }
  }

  std::string UnmatchedPath(Side& side, uint32_t o) {
    MakeLinks(side);
    const cct_Instance& instance = *Side::Valid(side.At(o));
    if (side.links[o].depth < 0) return Root(instance, false);
    std::vector<std::string> steps;
    uint32_t q = o;
    while (side.links[q].parent != kNone && static_cast<int32_t>(steps.size()) < kPathSteps) {
      const Side::Link& link = side.links[q];
      steps.push_back(Step(*Side::Valid(side.At(static_cast<size_t>(link.parent))), link.attribute, link.element,
                           *Side::Valid(side.At(q))));
      q = static_cast<uint32_t>(link.parent);
    }
    const long skipped = side.links[q].parent != kNone ? side.links[q].depth : 0;
    return Join(Root(*Side::Valid(side.At(static_cast<size_t>(side.links[o].root))), true), steps, skipped);
  }

  // ---- pairing ------------------------------------------------------------------------------

  std::vector<uint32_t> Projects(Side& side) {
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

  int32_t AddPair(uint32_t oa, uint32_t ob, int32_t parent, long attribute, long elementA, long elementB) {
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

  void MatchProjects() {
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
  Result TryPair(Entry* ea, Entry* eb, int32_t parent, long attribute, long elementA, long elementB) {
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

  bool SameAtom(const Atoms& x, const Atom& ax, const Atoms& y, const Atom& ay) const {
    if (ax.tag != ay.tag) return false;
    switch (ax.tag) {
      case Tag::Unset:
      case Tag::Close:
      case Tag::Ref: return true;
      case Tag::Real:
        return ax.real == ay.real || (tolerance_ > 0 && std::fabs(ax.real - ay.real) <= tolerance_);
      case Tag::Integer:
      case Tag::Logical:
      case Tag::Boolean:
      case Tag::Select:
      case Tag::Open: return ax.integer == ay.integer;
      default: return x.TextOf(ax) == y.TextOf(ay);
    }
  }

  /// Whether atoms [xb, xe) of x and [yb, ye) of y are the same value; their references are
  /// paired on the way (from pair p's attribute) when everything else is the same.
  bool SameRange(const Atoms& x, size_t xb, size_t xe, const Atoms& y, size_t yb, size_t ye, int32_t p,
                 long attribute) {
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

  void Drain() {
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

  cct_Instance& InstanceA(int32_t p) { return *Side::Valid(a_.At(pairs_[static_cast<size_t>(p)].a)); }
  cct_Instance& InstanceB(int32_t p) { return *Side::Valid(b_.At(pairs_[static_cast<size_t>(p)].b)); }

  void Change(int32_t p, std::string attribute, std::string oldText, std::string newText) {
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

  void SetInstances(Difference& d, int32_t p) {
    const Entry* ea = a_.At(pairs_[static_cast<size_t>(p)].a);
    const Entry* eb = b_.At(pairs_[static_cast<size_t>(p)].b);
    d.nameA = ea->name ? ea->name : "";
    d.nameB = eb->name ? eb->name : "";
    d.instanceA = NameNumber(ea->name);
    d.instanceB = NameNumber(eb->name);
  }

  void ComparePair(int32_t p) {
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

  void CompareExtra(int32_t p, cct_Instance& ia, cct_Instance& ib, long count) {
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

  static bool ListOfReferences(const Atoms& atoms) {
    for (uint32_t k = 0; k < atoms.count; ++k)
      if (atoms.starts[k + 1] - atoms.starts[k] != 1 || atoms.list[atoms.starts[k]].tag != Tag::Ref) return false;
    return true;
  }

  void CompareAttribute(int32_t p, cct_Instance& ia, cct_Instance& ib, long i) {
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
  void AlignReferences(int32_t p, cct_Instance& ia, cct_Instance& ib, long i) {
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

  void CheckPending(const Pending& pending) {
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

  // ---- what no path reaches -----------------------------------------------------------------

  std::vector<uint32_t> UnpairedOf(Side& side) {
    std::vector<uint32_t> out;
    for (size_t o = 0; o < side.Size(); ++o)
      if (side.pairOf[o] == kNone && Side::Valid(side.At(o))) out.push_back(static_cast<uint32_t>(o));
    return out;
  }

  /// The unpaired instances of `side` in `unpaired` that no other unpaired one refers to are
  /// marked in `root`.
  void MarkRoots(Side& side, const std::vector<uint32_t>& unpaired, std::vector<bool>& root) {
    root.assign(side.Size(), false);
    for (uint32_t o : unpaired) root[o] = true;
    std::vector<bool> referred(side.Size(), false);
    for (uint32_t o : unpaired)
      cct_ForEachReference(*Side::Valid(side.At(o)), [&](const cct_ReferenceSite& site) {
        const long t = Side::Valid(site.to) ? side.Ordinal(site.to) : -1;
        if (t >= 0 && static_cast<uint32_t>(t) != o) referred[static_cast<size_t>(t)] = true;
      });
    for (uint32_t o : unpaired)
      if (referred[o]) root[o] = false;
  }

  /// A key of type and content that two instances equal by content share: references count
  /// by the type of what they refer to, reals not at all where a tolerance makes nearby ones
  /// equal.
  uint64_t ContentKey(const cct_Instance& instance, Atoms& atoms) {
    uint64_t h = TypeKey(instance);
    auto add = [&](const Atoms& all) {
      for (const Atom& atom : all.list) {
        h = Mix(h, static_cast<uint64_t>(atom.tag));
        switch (atom.tag) {
          case Tag::Real:
            if (tolerance_ == 0) {
              const double v = atom.real == 0 ? 0.0 : atom.real;
              uint64_t bits;
              std::memcpy(&bits, &v, sizeof bits);
              h = Mix(h, bits);
            }
            break;
          case Tag::Ref: {
            const cct_Instance* to = Side::Valid(atom.ref);
            h = Mix(h, to ? TypeKey(*to) : HashText(atom.ref->name ? atom.ref->name : ""));
            break;
          }
          case Tag::Integer:
          case Tag::Logical:
          case Tag::Boolean:
          case Tag::Select:
          case Tag::Open: h = Mix(h, static_cast<uint64_t>(atom.integer)); break;
          case Tag::Unset:
          case Tag::Close: break;
          default: h = Mix(h, HashText(all.TextOf(atom)));
        }
      }
    };
    if (const auto* raw = instance.TypeID() == 0 ? dynamic_cast<const cct_RawInstance*>(&instance) : nullptr) {
      atoms.Clear();
      TextAtoms(instance.GetScope(), raw->Record(), atoms);
      add(atoms);
      return h;
    }
    for (long i = 0; instance.Attribute(i); ++i) {
      AttributeAtoms(instance, i, atoms);
      add(atoms);
    }
    return h;
  }

  /// Same type and content: references to instances paired with each other, or to unpaired
  /// ones of the same content in turn (to a depth; below it, of one type).
  bool SameContent(const cct_Instance& ia, const cct_Instance& ib, int depth = 0) {
    if (!SameType(ia, ib)) return false;
    Atoms& x = scratch_[static_cast<size_t>(depth)].first;
    Atoms& y = scratch_[static_cast<size_t>(depth)].second;
    auto sameAtoms = [&](const Atoms& x, const Atoms& y) {
      if (x.list.size() != y.list.size()) return false;
      for (size_t k = 0; k < x.list.size(); ++k) {
        const Atom& ax = x.list[k];
        const Atom& ay = y.list[k];
        if (!SameAtom(x, ax, y, ay)) return false;
        if (ax.tag != Tag::Ref) continue;
        const cct_Instance* ta = Side::Valid(ax.ref);
        const cct_Instance* tb = Side::Valid(ay.ref);
        if (!ta || !tb) {
          if (ta || tb || !ax.ref->name || !ay.ref->name || std::strcmp(ax.ref->name, ay.ref->name) != 0)
            return false;
          continue;
        }
        const long oa = a_.Ordinal(ax.ref), ob = b_.Ordinal(ay.ref);
        if (oa < 0 || ob < 0) return false;
        const int32_t pa = a_.pairOf[static_cast<size_t>(oa)];
        if (pa != kNone) {
          if (pairs_[static_cast<size_t>(pa)].b != static_cast<uint32_t>(ob)) return false;
        } else if (b_.pairOf[static_cast<size_t>(ob)] != kNone || !SameType(*ta, *tb)) {
          return false;
        } else if (depth + 1 < kContentDepth && ta != &ia && !SameContent(*ta, *tb, depth + 1)) {
          return false;
        }
      }
      return true;
    };
    const auto* rawA = ia.TypeID() == 0 ? dynamic_cast<const cct_RawInstance*>(&ia) : nullptr;
    const auto* rawB = ib.TypeID() == 0 ? dynamic_cast<const cct_RawInstance*>(&ib) : nullptr;
    if (rawA || rawB) {
      if (!rawA || !rawB) return false;
      x.Clear();
      y.Clear();
      TextAtoms(ia.GetScope(), rawA->Record(), x);
      TextAtoms(ib.GetScope(), rawB->Record(), y);
      return sameAtoms(x, y);
    }
    for (long i = 0; ia.Attribute(i); ++i) {
      AttributeAtoms(ia, i, x);
      AttributeAtoms(ib, i, y);
      if (!sameAtoms(x, y)) return false;
    }
    return true;
  }

  void MatchUnreached() {
    const std::vector<uint32_t> inA = UnpairedOf(a_);
    std::vector<uint32_t> inB = UnpairedOf(b_);
    if (inA.empty() || inB.empty()) return;
    Atoms atoms;
    struct Bucket {
      std::vector<uint32_t> candidates;
      size_t start = 0;  // before it: paired already
    };
    // The tops of what is left first, so that their references pair what lies below them by
    // structure, as from the projects. A top pairs with a top where it can: were it paired by
    // content with an instance below another one (two unnamed placements alike but for the
    // points they place), what both place would be paired crosswise.
    std::vector<bool> rootA, rootB;
    MarkRoots(a_, inA, rootA);
    MarkRoots(b_, inB, rootB);
    std::unordered_map<uint64_t, Bucket> tops, below;
    for (uint32_t o : inA)
      (rootA[o] ? tops : below)[ContentKey(*Side::Valid(a_.At(o)), atoms)].candidates.push_back(o);
    std::stable_partition(inB.begin(), inB.end(), [&](uint32_t o) { return rootB[o]; });
    // Pairs `ob` with an unpaired instance of the bucket of `key` equal in content, if any.
    auto pairFrom = [&](std::unordered_map<uint64_t, Bucket>& buckets, uint64_t key, uint32_t ob,
                        const cct_Instance& ib) {
      auto it = buckets.find(key);
      if (it == buckets.end()) return;
      // Those paired already are moved to the front of the bucket and passed over from then
      // on: no removal from the middle of a vector, which would make many equal keys quadratic.
      Bucket& bucket = it->second;
      size_t tried = 0;
      for (size_t c = bucket.start; c < bucket.candidates.size() && tried < kBucketTries; ++c) {
        const uint32_t oa = bucket.candidates[c];
        if (a_.pairOf[oa] == kNone) {
          ++tried;
          if (!SameContent(*Side::Valid(a_.At(oa)), ib)) continue;
          const int32_t pair = AddPair(oa, ob, kNone, 0, -1, -1);
          pairs_[static_cast<size_t>(pair)].reached = false;
        }
        std::swap(bucket.candidates[c], bucket.candidates[bucket.start++]);
        if (a_.pairOf[oa] != kNone && b_.pairOf[ob] != kNone) break;
      }
    };
    for (uint32_t ob : inB) {
      if (b_.pairOf[ob] != kNone) continue;
      const cct_Instance& ib = *Side::Valid(b_.At(ob));
      const uint64_t key = ContentKey(ib, atoms);
      pairFrom(rootB[ob] ? tops : below, key, ob, ib);
      if (b_.pairOf[ob] == kNone) pairFrom(rootB[ob] ? below : tops, key, ob, ib);
      Drain();
    }
    PairUnreachedByName(inA, inB);
  }

  /// What content did not pair, type and name do where both are unique among what is left: an
  /// unreached workplan whose list changed is still that workplan.
  void PairUnreachedByName(const std::vector<uint32_t>& inA, const std::vector<uint32_t>& inB) {
    struct Seen {
      uint32_t a = 0, b = 0;
      int countA = 0, countB = 0;
    };
    std::unordered_map<std::string, Seen> names;
    auto key = [&](const cct_Instance& instance, std::string& out) {
      const char* name = NameOf(instance);
      if (!name) return false;
      out = std::to_string(TypeKey(instance)) + ":" + name;
      return true;
    };
    std::string k;
    for (uint32_t oa : inA)
      if (a_.pairOf[oa] == kNone && key(*Side::Valid(a_.At(oa)), k)) {
        Seen& seen = names[k];
        seen.a = oa;
        ++seen.countA;
      }
    if (names.empty()) return;
    for (uint32_t ob : inB)
      if (b_.pairOf[ob] == kNone && key(*Side::Valid(b_.At(ob)), k)) {
        auto it = names.find(k);
        if (it == names.end()) continue;
        it->second.b = ob;
        ++it->second.countB;
      }
    for (uint32_t ob : inB) {
      if (b_.pairOf[ob] != kNone || !key(*Side::Valid(b_.At(ob)), k)) continue;
      auto it = names.find(k);
      if (it == names.end() || it->second.countA != 1 || it->second.countB != 1) continue;
      if (a_.pairOf[it->second.a] != kNone) continue;
      const int32_t pair = AddPair(it->second.a, ob, kNone, 0, -1, -1);
      pairs_[static_cast<size_t>(pair)].reached = false;
      Drain();
    }
  }

  void Unmatched(bool removed, std::vector<Difference>& out) {
    Side& side = removed ? a_ : b_;
    const std::vector<uint32_t> unpaired = UnpairedOf(side);
    if (unpaired.empty()) return;
    std::vector<bool> root;
    MarkRoots(side, unpaired, root);
    // What a root takes with it is covered; a cycle of unpaired instances that no root reaches
    // is given by its first instance.
    std::vector<bool> covered(side.Size(), false);
    std::vector<uint32_t> listed;
    auto cover = [&](uint32_t start) {
      std::deque<uint32_t> next{start};
      covered[start] = true;
      while (!next.empty()) {
        const uint32_t o = next.front();
        next.pop_front();
        cct_ForEachReference(*Side::Valid(side.At(o)), [&](const cct_ReferenceSite& site) {
          const long t = Side::Valid(site.to) ? side.Ordinal(site.to) : -1;
          if (t < 0 || covered[static_cast<size_t>(t)] || side.pairOf[static_cast<size_t>(t)] != kNone) return;
          covered[static_cast<size_t>(t)] = true;
          next.push_back(static_cast<uint32_t>(t));
        });
      }
    };
    for (uint32_t o : unpaired)
      if (root[o]) {
        listed.push_back(o);
        cover(o);
      }
    for (uint32_t o : unpaired)
      if (!covered[o]) {
        listed.push_back(o);
        cover(o);
      }
    std::vector<Difference> found;
    for (uint32_t o : listed) {
      const Entry* entry = side.At(o);
      Difference d;
      d.kind = removed ? DifferenceKind::Removed : DifferenceKind::Added;
      d.path = UnmatchedPath(side, o);
      (removed ? d.hasOld : d.hasNew) = true;
      (removed ? d.oldText : d.newText) = RecordText(*Side::Valid(entry));
      (removed ? d.nameA : d.nameB) = entry->name ? entry->name : "";
      (removed ? d.instanceA : d.instanceB) = NameNumber(entry->name);
      found.push_back(std::move(d));
    }
    std::stable_sort(found.begin(), found.end(), [&](const Difference& x, const Difference& y) {
      return removed ? x.instanceA < y.instanceA : x.instanceB < y.instanceB;
    });
    for (Difference& d : found) out.push_back(std::move(d));
  }

  Side a_, b_;
  double tolerance_;
  std::vector<Pair> pairs_;
  size_t next_ = 0;
  std::vector<Difference> changes_;
  std::vector<Pending> pending_;
  std::vector<Naming> naming_;  // by entity id from the base
  long projectType_ = 0;
  Atoms x_, y_;
  // SameContent's atoms, one pair per level it compares at.
  std::array<std::pair<Atoms, Atoms>, kContentDepth> scratch_;
};

}  // namespace

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
  return Comparer(a, b, options).Run();
}

}  // namespace varnholt

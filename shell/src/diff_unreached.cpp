// What the walk from the projects does not reach: unpaired instances paired by content, then
// by type and name, and what is left over reported as added or removed.
#include "diff_comparer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cct/instance.h"
#include "cct/rawrecord.h"
#include "cct/references.h"
#include "varnholt/navigation.h"

namespace varnholt::diff_detail {

namespace {

// How many candidates of the same type and content key an unreached instance is tried
// against: keys that coincide (unnamed instances with a tolerance) must not make it quadratic.
constexpr size_t kBucketTries = 256;

}  // namespace

std::vector<uint32_t> Comparer::UnpairedOf(Side& side) {
  std::vector<uint32_t> out;
  for (size_t o = 0; o < side.Size(); ++o)
    if (side.pairOf[o] == kNone && Side::Valid(side.At(o))) out.push_back(static_cast<uint32_t>(o));
  return out;
}

/// The unpaired instances of `side` in `unpaired` that no other unpaired one refers to are
/// marked in `root`.
void Comparer::MarkRoots(Side& side, const std::vector<uint32_t>& unpaired,
                         std::vector<bool>& root) {
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
uint64_t Comparer::ContentKey(const cct_Instance& instance, Atoms& atoms) {
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
bool Comparer::SameContent(const cct_Instance& ia, const cct_Instance& ib, int depth) {
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

void Comparer::MatchUnreached() {
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
void Comparer::PairUnreachedByName(const std::vector<uint32_t>& inA,
                                   const std::vector<uint32_t>& inB) {
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

void Comparer::Unmatched(bool removed, std::vector<Difference>& out) {
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

}  // namespace varnholt::diff_detail

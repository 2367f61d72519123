// The comparison of two populations: the pairs it finds, walking from the projects and then by
// content among what the walk did not reach, and the differences it reports. Internal to the
// comparison; the walk and the comparison of values are in diff.cpp, the paths in
// diff_paths.cpp, what no path reaches in diff_unreached.cpp.
#ifndef VARNHOLT_DIFF_COMPARER_H
#define VARNHOLT_DIFF_COMPARER_H

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "cct/instance.h"
#include "cct/scope.h"
#include "diff_atoms.h"
#include "diff_side.h"
#include "varnholt/diff.h"

namespace varnholt::diff_detail {

// How deep two unreached instances are compared through the unpaired instances they refer to,
// so that two unnamed placements alike but for their points are told apart by the points.
constexpr int kContentDepth = 4;

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

  std::vector<Difference> Run();

 private:
  enum class Result { Same, Conflict };

  /// Where an entity's its_id and name are; computed from an instance of it.
  struct Naming {
    int32_t id = -2, name = -2;  // attribute positions; -1 none, -2 not looked up
  };

  // ---- names (diff.cpp) and paths (diff_paths.cpp) ----
  const Naming* NamingOf(long typeId, const cct_Instance& instance);
  const char* NameOf(const cct_Instance& instance);
  const char* IdOf(const cct_Instance& instance);
  bool WithoutId(const Entry* entry);
  std::string Named(const cct_Instance& instance);
  static std::string AttributeName(const cct_Instance& instance, long attribute);
  std::string Step(const cct_Instance& parent, long attribute, long element, const cct_Instance& to);
  std::string Root(const cct_Instance& instance, bool reached);
  std::string PairPath(int32_t p, bool sideA);
  void MakeLinks(Side& side);
  std::string UnmatchedPath(Side& side, uint32_t o);

  // ---- pairing by structure and the comparison of pairs (diff.cpp) ----
  std::vector<uint32_t> Projects(Side& side);
  int32_t AddPair(uint32_t oa, uint32_t ob, int32_t parent, long attribute, long elementA, long elementB);
  void MatchProjects();
  Result TryPair(Entry* ea, Entry* eb, int32_t parent, long attribute, long elementA, long elementB);
  // Here rather than in diff.cpp: the comparison by content asks it for every atom too.
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
  bool SameRange(const Atoms& x, size_t xb, size_t xe, const Atoms& y, size_t yb, size_t ye, int32_t p,
                 long attribute);
  void Drain();
  cct_Instance& InstanceA(int32_t p) { return *Side::Valid(a_.At(pairs_[static_cast<size_t>(p)].a)); }
  cct_Instance& InstanceB(int32_t p) { return *Side::Valid(b_.At(pairs_[static_cast<size_t>(p)].b)); }
  void Change(int32_t p, std::string attribute, std::string oldText, std::string newText);
  void SetInstances(Difference& d, int32_t p);
  void ComparePair(int32_t p);
  void CompareExtra(int32_t p, cct_Instance& ia, cct_Instance& ib, long count);
  void CompareAttribute(int32_t p, cct_Instance& ia, cct_Instance& ib, long i);
  void AlignReferences(int32_t p, cct_Instance& ia, cct_Instance& ib, long i);
  void CheckPending(const Pending& pending);

  // ---- what no path reaches (diff_unreached.cpp) ----
  std::vector<uint32_t> UnpairedOf(Side& side);
  void MarkRoots(Side& side, const std::vector<uint32_t>& unpaired, std::vector<bool>& root);
  uint64_t ContentKey(const cct_Instance& instance, Atoms& atoms);
  bool SameContent(const cct_Instance& ia, const cct_Instance& ib, int depth = 0);
  void MatchUnreached();
  void PairUnreachedByName(const std::vector<uint32_t>& inA, const std::vector<uint32_t>& inB);
  void Unmatched(bool removed, std::vector<Difference>& out);

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

}  // namespace varnholt::diff_detail

#endif

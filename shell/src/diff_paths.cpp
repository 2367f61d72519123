// The comparison's paths: how a difference says where it is, from a project (or an unreached
// top) down through the attributes and list elements that lead to the instance.
#include "diff_comparer.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "cct/instance.h"
#include "cct/references.h"

namespace varnholt::diff_detail {

namespace {

// A path longer than this many steps shows its project, then the count of the steps left
// out, then the last of them: a chain of a million references has no readable path anyway.
constexpr int32_t kPathSteps = 32;

/// Joins the steps gathered from the bottom up below the root.
std::string Join(std::string root, std::vector<std::string>& steps, long skipped) {
  if (skipped > 0) root += " / ... (" + std::to_string(skipped) + " more)";
  for (auto it = steps.rbegin(); it != steps.rend(); ++it) root += " / " + *it;
  return root;
}

}  // namespace

std::string Comparer::Named(const cct_Instance& instance) {
  const char* name = NameOf(instance);
  if (!name) return std::string();
  std::string quoted = " '";
  for (const char* c = name; *c; ++c) quoted += *c == '\'' ? std::string("''") : std::string(1, *c);
  return quoted + "'";
}

std::string Comparer::AttributeName(const cct_Instance& instance, long attribute) {
  if (attribute < 0) return "(record)";
  long count = 0;
  while (instance.Attribute(count)) ++count;
  if (attribute >= count) return "(parameter " + std::to_string(attribute + 1) + ")";
  const char* name = instance.AttributeName(attribute);
  return name ? name : "(parameter " + std::to_string(attribute + 1) + ")";
}

std::string Comparer::Step(const cct_Instance& parent, long attribute, long element,
                           const cct_Instance& to) {
  std::string step = AttributeName(parent, attribute);
  if (element >= 0) step += "[" + std::to_string(element + 1) + "]";
  return step + Named(to);
}

std::string Comparer::Root(const cct_Instance& instance, bool reached) {
  return std::string(reached ? "" : "(unreached) ") + instance.TypeName() + Named(instance);
}

std::string Comparer::PairPath(int32_t p, bool sideA) {
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

void Comparer::MakeLinks(Side& side) {
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

std::string Comparer::UnmatchedPath(Side& side, uint32_t o) {
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

}  // namespace varnholt::diff_detail

// The walk through the workplans.
#include "walk.h"

#include <algorithm>

#include "cct/instance.h"
#include "cct/scope.h"

namespace varnholt::scene_detail {
namespace {

constexpr int kMaxNesting = 64;  // workplans within workplans

}  // namespace

const SetupFrames::Workpiece* SetupFrames::Clamping(Reader& r, const cct_Instance* feature) const {
  if (workpieces.empty()) return nullptr;
  const cct_Instance* workpiece = feature ? r.Ref(*feature, "its_workpiece") : nullptr;
  for (const Workpiece& w : workpieces)
    if (workpiece && w.workpiece == workpiece) return &w;
  return &workpieces.front();
}

const cct_Instance* FirstProject(Reader& r, cct_Scope& scope) {
  for (cct_Scope::Entry* entry : scope.EntriesInNameOrder()) {
    const cct_Instance* instance = entry ? entry->instance : nullptr;
    if (instance && instance->Kind() == cct_KIND_INSTANCE && !instance->IsKilled() && r.Is(*instance, "project"))
      return instance;
  }
  return nullptr;
}

const cct_Instance* FirstProject(Reader& r, cct_Scope& scope, const std::vector<const cct_Instance*>* candidates) {
  if (!candidates) return FirstProject(r, scope);
  const cct_Instance* project = nullptr;
  size_t projects = 0;
  for (const cct_Instance* instance : *candidates)
    if (instance && instance->Kind() == cct_KIND_INSTANCE && !instance->IsKilled() && r.Is(*instance, "project") &&
        ++projects == 1)
      project = instance;
  return projects > 1 ? FirstProject(r, scope) : project;
}

bool WorkplanWalk::Enter(const cct_Instance& structure) {
  if (std::find(path_.begin(), path_.end(), &structure) == path_.end()) return true;
  visitor_.Cycle(structure, *path_.back());
  return false;
}

void WorkplanWalk::Workplan(const cct_Instance& plan, const SetupFrames* setup, int depth, bool isMain) {
  const bool inside = !Enter(plan);
  if (inside || depth > kMaxNesting || !plans_.insert(&plan).second) {
    problems_.Add(&plan, "the workplan is nested within itself or too deeply; its second "
                         "appearance is not drawn");
    return;
  }
  path_.push_back(&plan);
  visitor_.Open(plan);
  struct Leave {
    std::vector<const cct_Instance*>& path;
    Visitor& visitor;
    ~Leave() {
      path.pop_back();
      visitor.Close();
    }
  } leave{path_, visitor_};
  if (const cct_Instance* own = r_.Ref(plan, "its_setup")) setup = &Setup(*own);
  std::vector<cct_Instance*> elements;
  r_.Refs(plan, "its_elements", elements);
  for (const cct_Instance* element : elements) {
    if (visitor_.Stop()) return;
    if (!element)
      problems_.Add(&plan, "an element of the workplan is missing (unset or a name never defined)");
    else
      Executable(*element, setup, depth);
    if (isMain) visitor_.MainElementDone();
  }
}

void WorkplanWalk::Executable(const cct_Instance& element, const SetupFrames* setup, int depth) {
  if (r_.Is(element, "workingstep")) {
    visitor_.Workingstep(element, setup);
    return;
  }
  // Structures that choose among their elements, or run them side by side or repeatedly, have
  // no one order a tool can follow: the first way through is taken and the choice said.
  const char* branch = nullptr;
  const char* why = nullptr;
  if (r_.Is(element, "selective")) {
    branch = "its_elements";
    why = "a selective element: only its first alternative is followed";
  } else if (r_.Is(element, "parallel")) {
    branch = "branches";
    why = "a parallel element: only its first branch is followed";
  } else if (r_.Is(element, "if_statement")) {
    branch = "true_branch";
    why = "an if statement: its condition is not evaluated, its true branch is followed";
  } else if (r_.Is(element, "while_statement")) {
    branch = "body";
    why = "a while statement: its condition is not evaluated, its body is followed once";
  }
  if (branch) {
    problems_.Add(&element, why);
    visitor_.Choice(element, why);
    const cct_Instance* first = r_.Ref(element, branch);
    if (!first) {
      std::vector<cct_Instance*> list;
      r_.Refs(element, branch, list);
      if (!list.empty()) first = list.front();
    }
    if (!first) return;
    const bool inside = !Enter(element);
    if (inside || depth + 1 > kMaxNesting || !plans_.insert(&element).second) {
      problems_.Add(&element, "the element is nested within itself or too deeply; its second "
                              "appearance is not drawn");
      return;
    }
    path_.push_back(&element);
    visitor_.Open(element);
    Executable(*first, setup, depth + 1);
    visitor_.Close();
    path_.pop_back();
  } else if (r_.Value(element, "its_elements")) {
    // Workplans and non-sequential sets: every executable they hold, in the order listed.
    Workplan(element, setup, depth + 1, false);
  } else {
    // Other executables (NC functions, conditions) place nothing.
    visitor_.Other(element);
  }
}

const SetupFrames& WorkplanWalk::Setup(const cct_Instance& setup) {
  auto found = setups_.find(&setup);
  if (found != setups_.end()) return found->second;
  SetupFrames& info = setups_[&setup];
  info.setup = &setup;
  info.index = static_cast<int>(setups_.size()) - 1;
  if (const cct_Instance* origin = r_.Ref(setup, "its_origin"))
    info.placed = g_.Axis2(origin, info.origin, &setup, "the setup's origin");
  std::vector<cct_Instance*> list;
  r_.Refs(setup, "its_workpiece_setup", list);
  for (const cct_Instance* item : list) {
    if (!item) {
      problems_.Add(&setup, "a workpiece setup of the setup is missing");
      continue;
    }
    SetupFrames::Workpiece w;
    w.workpiece = r_.Ref(*item, "its_workpiece");
    w.placed = info.placed && g_.Axis2(r_.Ref(*item, "its_origin"), w.frame, item, "the workpiece setup's origin");
    info.workpieces.push_back(w);
  }
  visitor_.Setup(info);
  return info;
}

}  // namespace varnholt::scene_detail

// The walk through a project's workplans in machining order that the scene and the program
// share: workingsteps in the order the workplans give them, nested plans followed where they
// stand, each setup's origin and workpiece setups worked out once.
#ifndef VARNHOLT_WALK_H
#define VARNHOLT_WALK_H

#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "../scene_read.h"

class cct_Scope;

namespace varnholt::scene_detail {

/// A setup's origin (in the machine) and its workpiece setups (within the setup).
struct SetupFrames {
  const cct_Instance* setup = nullptr;
  int index = -1;  // in the order the walk first meets the setups
  bool placed = true;
  Placement origin;
  struct Workpiece {
    const cct_Instance* workpiece = nullptr;
    bool placed = false;
    Placement frame;
  };
  std::vector<Workpiece> workpieces;
  /// The workpiece setup a feature's workpiece is clamped in, else the setup's first one; null
  /// for a setup without any.
  const Workpiece* Clamping(Reader& r, const cct_Instance* feature) const;
};

/// The first project of the scope in the order of the names; null for none.
const cct_Instance* FirstProject(Reader& r, cct_Scope& scope);
/// The same, without its walk over every name where the caller has the projects at hand
/// (`candidates`, a superset will do) and there is one: which of several comes first is the
/// name table's order, which only that walk tells.
const cct_Instance* FirstProject(Reader& r, cct_Scope& scope, const std::vector<const cct_Instance*>* candidates);

class WorkplanWalk {
 public:
  struct Visitor {
    virtual ~Visitor() = default;
    /// Once per setup, when the walk first meets it.
    virtual void Setup(const SetupFrames&) {}
    /// Each time a workplan lists the workingstep; `setup` null outside any setup.
    virtual void Workingstep(const cct_Instance& step, const SetupFrames* setup) = 0;
    /// Where a structure is followed by one way through only (selective, parallel, if, while).
    virtual void Choice(const cct_Instance&, const char*) {}
    /// Asked before each element; true ends the walk.
    virtual bool Stop() { return false; }
    /// After each element of the main workplan, for progress.
    virtual void MainElementDone() {}
    /// A workplan (or structure) met again within itself: `through` is the element that lists
    /// it, itself where it lists itself. The walk does not enter it again.
    virtual void Cycle(const cct_Instance& /*plan*/, const cct_Instance& /*through*/) {}
    /// A structure entered (a workplan, or the one way followed through another) and left;
    /// an executable that is neither a structure nor a workingstep (an NC function).
    virtual void Open(const cct_Instance&) {}
    virtual void Close() {}
    virtual void Other(const cct_Instance&) {}
  };

  WorkplanWalk(Reader& reader, Geometry& geometry, Problems& problems, Visitor& visitor)
      : r_(reader), g_(geometry), problems_(problems), visitor_(visitor) {}
  void Run(const cct_Instance& main) { Workplan(main, nullptr, 0, true); }

 private:
  void Workplan(const cct_Instance& plan, const SetupFrames* setup, int depth, bool isMain);
  void Executable(const cct_Instance& element, const SetupFrames* setup, int depth);
  const SetupFrames& Setup(const cct_Instance& setup);

  Reader& r_;
  Geometry& g_;
  Problems& problems_;
  Visitor& visitor_;
  std::unordered_map<const cct_Instance*, SetupFrames> setups_;
  /// Enters a structure: false, with the cycle told, when it is already being walked.
  bool Enter(const cct_Instance& structure);
  std::unordered_set<const cct_Instance*> plans_;
  /// The structures being walked, outermost first: what a cycle comes back to.
  std::vector<const cct_Instance*> path_;
};

}  // namespace varnholt::scene_detail

#endif

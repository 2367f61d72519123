// The checks written in C++, each registered under the rule id the data file lists it by:
// the ones that need geometry or look at several instances at once.
#ifndef VARNHOLT_RULES_CHECKS_H
#define VARNHOLT_RULES_CHECKS_H

#include <map>
#include <memory>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "varnholt/model.h"
#include "varnholt/rules.h"
#include "varnholt/scene.h"
#include "varnholt/scene_toolpaths.h"
#include "varnholt/simulate.h"

class cct_Instance;

namespace varnholt::rules {

/// What a check sees: the instances of the file by entity type, and where findings go.
class CheckContext {
 public:
  /// Asked once per entity type of the file, with its first instance: whether the pass over the
  /// file must keep all instances of that type at hand. Of the others it keeps a few thousand;
  /// the instances of a type that has more (in a file of points nearly all of them) are found
  /// again by another pass when a check asks for them after all.
  using Keep = std::function<bool(const cct_Instance& first)>;

  /// An entity type of the file (kept records: type 0, one per record).
  struct Type {
    const cct_Instance* first = nullptr;
    size_t count = 0;
    bool kept = false;    // its instances are at hand
    bool needed = false;  // as Keep answered
    std::vector<const cct_Instance*> instances;  // when kept, in creation order
    std::vector<uint32_t> places;                // theirs among all instances of the file
  };
  /// An instance and its place among all instances of the file in creation order.
  struct Placed {
    uint32_t place;
    const cct_Instance* instance;
  };

  /// Without `keep`, every type is kept.
  explicit CheckContext(cct_Scope& scope, const Keep& keep = {});
  cct_Scope& Scope() const { return scope_; }
  /// How many instances the file has (killed ones left out).
  size_t Count() const { return count_; }
  /// The types of the file by type number, in no particular order.
  const std::unordered_map<long, Type>& Types() const { return types_; }
  /// The instances of those types, in creation order.
  std::vector<Placed> InstancesOf(const std::vector<long>& types) const;
  /// The instances of that entity or one of its subtypes.
  const std::vector<const cct_Instance*>& OfType(const std::string& entity) const;
  /// True when every instance is of the entity type the reader noted for its record when it
  /// scanned the file (the reference index passes over instances by that note).
  bool TypesAsNoted() const { return typesAsNoted_; }
  void Report(const Rule& rule, const cct_Instance& instance, const std::string& attribute, const std::string& text);
  std::vector<Finding>& Findings() { return findings_; }
  /// The scene of the file's project (placed workpieces, security planes, the toolpaths to be
  /// visited), built on first use.
  const ToolpathScene& ToolpathSceneOfProject();
  /// The machining model of the file's project, read on first use.
  const Model& ModelOfProject();
  /// The resolution the material-removal simulation runs at (0: its own choice).
  void SetSimulation(double resolution) { resolution_ = resolution; }
  /// The project's program run on its workpiece's stock, on first use; null when it could not
  /// run, SimulationError() then saying why.
  const SimulateResult* Simulation();
  const std::string& SimulationError() const { return simulationError_; }

 private:
  static constexpr size_t kAtHand = 4096;  // instances kept of a type not needed
  static constexpr size_t kAhead = 16;     // entries the pass over the file looks ahead

  /// Makes the types kept, by a pass over the file.
  void Collect(const std::vector<long>& types) const;

  std::unique_ptr<ToolpathScene> scene_;
  std::unique_ptr<Model> model_;
  double resolution_ = 0;
  bool simulated_ = false;
  std::unique_ptr<SimulateResult> simulation_;
  std::string simulationError_;
  mutable std::map<std::string, std::vector<const cct_Instance*>> ofType_;
  cct_Scope& scope_;
  mutable std::unordered_map<long, Type> types_;
  size_t count_ = 0;
  bool typesAsNoted_ = true;
  std::vector<Finding> findings_;
};

using CheckFunction = void (*)(CheckContext& context, const Rule& rule);
/// The function registered under the id; null for none.
CheckFunction FindCheck(const std::string& id);

/// The instance's number, 0 for a name that is none.
long Number(const cct_Instance& instance);

}  // namespace varnholt::rules

#endif

// The checks written in C++, each registered under the rule id the data file lists it by:
// the ones that need geometry or look at several instances at once.
#ifndef VARNHOLT_RULES_CHECKS_H
#define VARNHOLT_RULES_CHECKS_H

#include <map>
#include <memory>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "varnholt/rules.h"
#include "varnholt/scene.h"
#include "varnholt/scene_toolpaths.h"

class cct_Instance;

namespace varnholt::rules {

/// What a check sees: every instance of the file (creation order) and where findings go.
class CheckContext {
 public:
  explicit CheckContext(cct_Scope& scope);
  cct_Scope& Scope() const { return scope_; }
  const std::vector<const cct_Instance*>& Instances() const { return instances_; }
  /// The instances of that entity or one of its subtypes.
  const std::vector<const cct_Instance*>& OfType(const std::string& entity) const;
  void Report(const Rule& rule, const cct_Instance& instance, const std::string& attribute, const std::string& text);
  std::vector<Finding>& Findings() { return findings_; }
  /// The scene of the file's project (placed workpieces, security planes, the toolpaths to be
  /// visited), built on first use.
  const ToolpathScene& ToolpathSceneOfProject();

 private:
  std::unique_ptr<ToolpathScene> scene_;
  mutable std::map<std::string, std::vector<const cct_Instance*>> ofType_;
  cct_Scope& scope_;
  std::vector<const cct_Instance*> instances_;
  // The places in instances_ of the instances of each entity type (kept records: type 0).
  std::unordered_map<long, std::vector<uint32_t>> placesByType_;
  std::vector<Finding> findings_;
};

using CheckFunction = void (*)(CheckContext& context, const Rule& rule);
/// The function registered under the id; null for none.
CheckFunction FindCheck(const std::string& id);

/// The instance's number, 0 for a name that is none.
long Number(const cct_Instance& instance);

}  // namespace varnholt::rules

#endif

// The resource rules that look at several instances: what representations use an item (the
// items of a representation and every representation item they refer to), the dimension of
// points and directions in their geometric context, mappings without cycles.
#include <map>
#include <set>

#include "cct/instance.h"
#include "checks.h"
#include "expr.h"
#include "model_read.h"
#include "propositions.h"
#include "varnholt/navigation.h"

namespace varnholt::rules {

namespace {

constexpr size_t kMaxVisits = 200000;  // per representation: a huge shape is looked at in part

void Referenced(const Value& v, std::vector<const cct_Instance*>& out) {
  if (v.kind == Value::Instance) out.push_back(v.instance);
  if (v.kind == Value::List)
    for (const Value& m : v.list) Referenced(m, out);
}

// The instances an instance refers to through its attributes.
std::vector<const cct_Instance*> References(const cct_Instance& instance) {
  std::vector<const cct_Instance*> out;
  const long count = instance.AttributeCount();
  for (long i = 0; i < count; ++i) Referenced(FromModel(instance.Attribute(i)), out);
  return out;
}

// For every representation item, the representations that use it, directly among their items
// or through the representation items those refer to.
class Usage {
 public:
  explicit Usage(CheckContext& context) {
    for (const cct_Instance* representation : context.OfType("representation")) {
      std::set<const cct_Instance*> seen;
      std::vector<const cct_Instance*> stack = Refs(representation, "items");
      while (!stack.empty() && seen.size() < kMaxVisits) {
        const cct_Instance* item = stack.back();
        stack.pop_back();
        if (!IsOfType(*item, "representation_item") || !seen.insert(item).second) continue;
        using_[item].push_back(representation);
        for (const cct_Instance* next : References(*item)) stack.push_back(next);
      }
    }
  }
  const std::vector<const cct_Instance*>& Of(const cct_Instance* item) const {
    static const std::vector<const cct_Instance*> none;
    auto it = using_.find(item);
    return it == using_.end() ? none : it->second;
  }
  const std::map<const cct_Instance*, std::vector<const cct_Instance*>>& All() const { return using_; }

 private:
  std::map<const cct_Instance*, std::vector<const cct_Instance*>> using_;
};

void GeometricContext(CheckContext& context, const Rule& rule) {
  const Usage usage(context);
  for (const auto& [item, representations] : usage.All()) {
    if (!IsOfType(*item, "geometric_representation_item")) continue;
    for (const cct_Instance* representation : representations) {
      const cct_Instance* c = Ref(representation, "context_of_items");
      if (!c || IsOfType(*c, "geometric_representation_context")) continue;
      context.Report(rule, *item, "",
                     rule.description + "; found representation " + Label(representation) + " with context " +
                         Label(c) + ", a " + c->TypeName());
      break;
    }
  }
}

void CompatibleDimension(CheckContext& context, const Rule& rule, const char* entity, const char* list) {
  const Usage usage(context);
  for (const auto& [item, representations] : usage.All()) {
    if (!IsOfType(*item, entity)) continue;
    Value members = FromModel(AttributeNamed(*item, list));
    if (members.kind != Value::List) continue;
    for (const cct_Instance* representation : representations) {
      const cct_Instance* c = Ref(representation, "context_of_items");
      Value dimension = c ? FromModel(AttributeNamed(*c, "coordinate_space_dimension")) : Value{};
      if (!c || !IsOfType(*c, "geometric_representation_context") || dimension.kind != Value::Number) continue;
      if (static_cast<double>(members.list.size()) == dimension.number) continue;
      context.Report(rule, *item, list,
                     rule.description + "; found " + std::to_string(members.list.size()) + " in representation " +
                         Label(representation) + ", whose context " + Label(c) + " has coordinate_space_dimension " +
                         Fmt(dimension.number));
      break;
    }
  }
}

void PointDimension(CheckContext& c, const Rule& r) { CompatibleDimension(c, r, "cartesian_point", "coordinates"); }
void DirectionDimension(CheckContext& c, const Rule& r) { CompatibleDimension(c, r, "direction", "direction_ratios"); }

// A mapped item whose mapped representation contains, directly or through further mappings,
// the mapped item itself.
void AcyclicMapping(CheckContext& context, const Rule& rule) {
  const Usage usage(context);
  std::map<const cct_Instance*, std::vector<const cct_Instance*>> itemsOf;  // representation -> its mapped items
  for (const auto& [item, representations] : usage.All())
    if (IsOfType(*item, "mapped_item"))
      for (const cct_Instance* r : representations) itemsOf[r].push_back(item);
  for (const cct_Instance* self : context.OfType("mapped_item")) {
    std::set<const cct_Instance*> seen;
    std::vector<const cct_Instance*> stack{Ref(Ref(self, "mapping_source"), "mapped_representation")};
    bool cycle = false;
    while (!stack.empty() && !cycle) {
      const cct_Instance* representation = stack.back();
      stack.pop_back();
      if (!representation || !seen.insert(representation).second) continue;
      for (const cct_Instance* m : itemsOf[representation]) {
        if (m == self) cycle = true;
        stack.push_back(Ref(Ref(m, "mapping_source"), "mapped_representation"));
      }
    }
    if (cycle)
      context.Report(rule, *self, "mapping_source",
                     rule.description + "; found " + Label(self) + " inside what it maps, " +
                         Label(Ref(Ref(self, "mapping_source"), "mapped_representation")));
  }
}

void OriginInContext(CheckContext& context, const Rule& rule) {
  const Usage usage(context);
  for (const cct_Instance* map : context.OfType("representation_map")) {
    const cct_Instance* origin = Ref(map, "mapping_origin");
    const cct_Instance* wanted = Ref(Ref(map, "mapped_representation"), "context_of_items");
    if (!origin || !wanted) continue;
    bool found = false;
    for (const cct_Instance* r : usage.Of(origin)) found = found || Ref(r, "context_of_items") == wanted;
    if (!found)
      context.Report(rule, *map, "mapping_origin",
                     rule.description + "; found mapping_origin " + Label(origin) +
                         " in no representation of context " + Label(wanted));
  }
}

}  // namespace

const std::vector<std::pair<const char*, CheckFunction>>& ResourceChecks() {
  static const std::vector<std::pair<const char*, CheckFunction>> checks = {
      {"geometric_representation_item.WR1", GeometricContext},
      {"compatible_dimension.WR1", PointDimension},
      {"compatible_dimension.WR2", DirectionDimension},
      {"mapped_item.WR1", AcyclicMapping},
      {"representation_map.WR1", OriginInContext},
  };
  return checks;
}

}  // namespace varnholt::rules

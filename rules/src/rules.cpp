// The rules as data, read once from the file the build embeds, and the one pass that applies
// them: WHERE rules to every instance of their entity and its subtypes, type rules to every
// value of their defined type (attributes, list members, values a select holds), and the
// registered C++ checks.
#include "varnholt/rules.h"

#include <algorithm>
#include <climits>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <unordered_map>

#include "cct/aggr.h"
#include "cct/instance.h"
#include "cct/scope.h"
#include "cct/selecttype.h"
#include "checks.h"
#include "expr.h"
#include "varnholt/navigation.h"

namespace varnholt::rules {

extern const char* const kRulesData;  // the data file, embedded at build time

namespace {

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

std::vector<std::string> SplitBars(const std::string& line) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t bar = line.find(" | ", start);
    parts.push_back(Trim(line.substr(start, bar == std::string::npos ? std::string::npos : bar - start)));
    if (bar == std::string::npos) return parts;
    start = bar + 3;
  }
}

// The conditions parsed once per rule (by id), next to the rules they belong to.
struct Compiled {
  const Rule* rule;
  Condition condition;
};

const std::vector<Compiled>& CompiledRules() {
  static const std::vector<Compiled> compiled = [] {
    std::vector<Compiled> all;
    for (const Rule& rule : Rules())
      if (rule.kind == "where" || rule.kind == "type") all.push_back({&rule, Condition(rule.condition)});
    return all;
  }();
  return compiled;
}

std::string FoundText(const std::vector<std::pair<std::string, std::string>>& found) {
  std::string text;
  for (const auto& f : found) text += (text.empty() ? "" : ", ") + f.first + " = " + f.second;
  return text;
}

// Asks the progress function every few thousand instances of the file, whether a pass looks at
// them or passes over them: true while the check goes on.
class Pacer {
 public:
  Pacer(const Progress& progress, int from, int to, size_t count)
      : progress_(progress), from_(from), to_(to), count_(count ? count : 1) {}
  /// Before the instance at that place in creation order (the file's size at the end).
  bool At(size_t place) {
    if (!progress_) return true;
    while (asked_ + kEvery <= place + 1 && asked_ + kEvery <= count_) {
      asked_ += kEvery;
      if (!progress_(from_ + static_cast<int>((to_ - from_) * static_cast<double>(asked_) / count_))) return false;
    }
    return true;
  }

 private:
  static constexpr size_t kEvery = 4096;
  const Progress& progress_;
  int from_, to_;
  size_t count_, asked_ = 0;
};

// The where rules that apply to an entity, found from one of its instances: every instance of
// it has the same.
std::vector<const Compiled*> WhereRulesOf(const cct_Instance& first) {
  std::vector<const Compiled*> apply;
  for (const Compiled& c : CompiledRules())
    if (c.rule->kind == "where" && IsOfType(first, c.rule->Entity())) apply.push_back(&c);
  return apply;
}

bool WhereRules(CheckContext& context, Pacer pacer) {
  // Only the instances of entities some rule applies to are looked at, in creation order.
  std::unordered_map<long, std::vector<const Compiled*>> byEntity;
  std::vector<long> types;
  for (const auto& [type, of] : context.Types()) {
    if (type == 0) continue;  // kept records: their attributes are not known
    std::vector<const Compiled*> apply = WhereRulesOf(*of.first);
    if (apply.empty()) continue;
    byEntity.emplace(type, std::move(apply));
    types.push_back(type);
  }
  for (const CheckContext::Placed& at : context.InstancesOf(types)) {
    if (!pacer.At(at.place)) return false;
    const cct_Instance* instance = at.instance;
    for (const Compiled* rule : byEntity.find(instance->TypeID())->second) {
      const Compiled& c = *rule;
      Value self;
      self.kind = Value::Instance;
      self.instance = instance;
      if (c.condition.Evaluate(self) != Logic::False) continue;
      std::vector<std::pair<std::string, std::string>> found;
      c.condition.Evaluate(self, &found);
      const std::vector<std::string>& attributes = c.condition.Attributes();
      context.Report(*c.rule, *instance, attributes.size() == 1 ? attributes[0] : "",
                     c.rule->description + "; found " + (found.empty() ? "no value" : FoundText(found)));
    }
  }
  return pacer.At(context.Count());
}

// Type rules by the defined type's name.
std::multimap<std::string, const Compiled*> TypeRules() {
  std::multimap<std::string, const Compiled*> byType;
  for (const Compiled& c : CompiledRules())
    if (c.rule->kind == "type") byType.emplace(c.rule->Entity(), &c);
  return byType;
}

void TypeValue(CheckContext& context, const std::multimap<std::string, const Compiled*>& byType,
               const cct_Instance& instance, const char* attribute, const char* typeName, const cct_Type& value,
               long element) {
  if (!typeName || !value.IsSet()) return;
  auto range = byType.equal_range(typeName);
  if (range.first == range.second) return;
  const Value self = FromModel(&value);
  if (self.kind == Value::Indeterminate) return;
  for (auto it = range.first; it != range.second; ++it) {
    if (it->second->condition.Evaluate(self) != Logic::False) continue;
    std::string where = attribute;
    if (element > 0) where += "[" + std::to_string(element) + "]";
    context.Report(*it->second->rule, instance, attribute,
                   it->second->rule->description + "; found " + where + " = " + Show(self));
  }
}

// Which attributes of an entity type can hold a value a type rule is about, found from one of
// its instances: the same for each of them (a file of a million points asks it once).
std::vector<long> TypeRuleAttributes(const cct_Instance& first, const std::multimap<std::string, const Compiled*>& byType) {
  auto mayMatter = [&](const cct_Type* value) {
    switch (value->Kind()) {
      case cct_KIND_SELECT: return true;
      case cct_KIND_AGGREGATE: {
        const auto* list = static_cast<const cct_AggregateType*>(value);
        const char* element = list->Dimensions() == 1 && list->BaseType() ? list->ElementDescriptor()->elementTypeName : nullptr;
        return element && byType.find(element) != byType.end();
      }
      case cct_KIND_INTEGER:
      case cct_KIND_REAL:
      case cct_KIND_STRING: return value->TypeName() && byType.find(value->TypeName()) != byType.end();
      default: return false;
    }
  };
  std::vector<long> indices;
  const long count = first.AttributeCount();
  for (long i = 0; i < count; ++i)
    if (const cct_Type* value = first.Attribute(i); value && mayMatter(value)) indices.push_back(i);
  return indices;
}

bool TypeRulesOn(CheckContext& context, Pacer pacer) {
  const auto byType = TypeRules();
  if (byType.empty()) return true;
  // Kept records, which share type 0, are looked at whole, each by itself.
  std::unordered_map<long, std::vector<long>> relevantByType;
  std::vector<long> types;
  for (const auto& [type, of] : context.Types()) {
    if (type != 0) {
      std::vector<long> indices = TypeRuleAttributes(*of.first, byType);
      if (indices.empty()) continue;
      relevantByType.emplace(type, std::move(indices));
    }
    types.push_back(type);
  }
  std::vector<long> every;
  for (const CheckContext::Placed& at : context.InstancesOf(types)) {
    if (!pacer.At(at.place)) return false;
    const cct_Instance* instance = at.instance;
    const long count = instance->AttributeCount();
    const std::vector<long>* relevant = nullptr;
    if (instance->TypeID() != 0) {
      relevant = &relevantByType.find(instance->TypeID())->second;
    } else {
      every.clear();
      for (long i = 0; i < count; ++i) every.push_back(i);
      relevant = &every;
    }
    for (long i : *relevant) {
      const cct_Type* value = instance->Attribute(i);
      if (!value || !value->IsSet()) continue;
      const char* name = instance->AttributeName(i);
      if (!name) continue;
      switch (value->Kind()) {
        case cct_KIND_AGGREGATE: {
          const auto* list = static_cast<const cct_AggregateType*>(value);
          if (list->Dimensions() != 1 || !list->BaseType()) break;
          const char* elementType = list->ElementDescriptor()->elementTypeName;
          if (!elementType || byType.find(elementType) == byType.end()) break;
          const auto* one = static_cast<const cct_AggregateType_1d*>(list);
          for (uint32_t k = 0; k < one->Count(); ++k) {
            cct_Type* member = one->ElementObject(k);
            if (member) TypeValue(context, byType, *instance, name, elementType, *member, static_cast<long>(k) + 1);
            if (member && member->IsTemporary()) delete member;
          }
          break;
        }
        case cct_KIND_SELECT: {
          cct_Type* held = static_cast<const cct_SelectType*>(value)->Get(0, 0);
          if (held && held->IsTemporary()) {
            TypeValue(context, byType, *instance, name, held->TypeName(), *held, 0);
            delete held;
          }
          break;
        }
        case cct_KIND_INTEGER:
        case cct_KIND_REAL:
        case cct_KIND_STRING: TypeValue(context, byType, *instance, name, value->TypeName(), *value, 0); break;
        default: break;
      }
    }
  }
  return pacer.At(context.Count());
}

}  // namespace

std::vector<Rule> ParseRules(const std::string& text) {
  std::vector<Rule> rules;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    auto fail = [&](const std::string& why) {
      throw std::runtime_error("rules line " + std::to_string(number) + ": " + why);
    };
    std::vector<std::string> parts = SplitBars(line);
    std::istringstream head(parts[0]);
    Rule rule;
    std::string severity;
    head >> rule.kind >> rule.id >> severity;
    if (rule.id.find('.') == std::string::npos) fail("a rule id is entity.LABEL");
    if (rule.kind == "where" || rule.kind == "type" || rule.kind == "check") {
      if (severity == "warning")
        rule.severity = Severity::Warning;
      else if (severity != "error")
        fail("the severity is error or warning");
      if (rule.kind == "check") {
        if (parts.size() != 2) fail("check ID SEVERITY | TEXT");
        rule.description = parts[1];
      } else {
        if (parts.size() != 3) fail("KIND ID SEVERITY | CONDITION | TEXT");
        rule.condition = parts[1];
        rule.description = parts[2];
        try {
          Condition check(rule.condition);
        } catch (const std::exception& e) {
          fail(e.what());
        }
      }
    } else if (rule.kind == "skip") {
      if (parts.size() != 2 || !severity.empty()) fail("skip ID | WHY");
      rule.description = parts[1];
    } else {
      fail("unknown kind " + rule.kind);
    }
    if (rule.description.empty()) fail("a rule needs its text");
    rules.push_back(std::move(rule));
  }
  return rules;
}

const std::vector<Rule>& Rules() {
  static const std::vector<Rule> rules = ParseRules(kRulesData);
  return rules;
}

Report Check(cct_Scope& scope) { return Check(scope, Progress()); }

Report Check(cct_Scope& scope, const Progress& progress) { return Check(scope, progress, CheckOptions()); }

bool OnRequest(const Rule& rule) { return rule.id.rfind("simulate.", 0) == 0; }

Report Check(cct_Scope& scope, const Progress& progress, const CheckOptions& options) {
  // The pass over the file keeps the instances the where and type rules will look at; those of
  // other types, mostly the points, only when a check asks for them.
  const auto byType = TypeRules();
  CheckContext context(scope, [&](const cct_Instance& first) {
    return !WhereRulesOf(first).empty() || (!byType.empty() && !TypeRuleAttributes(first, byType).empty());
  });
  context.SetSimulation(options.resolution);
  Report report;
  report.simulated = options.simulate;
  std::vector<Rule> unevaluated;
  const size_t count = context.Count();
  report.cancelled = !WhereRules(context, Pacer(progress, 0, 45, count)) ||
                     !TypeRulesOn(context, Pacer(progress, 45, 90, count));
  for (const Rule& rule : Rules()) {
    // Not asked for, the material-removal rules are not there at all: the report, and the
    // progress told, are what they were before those rules existed.
    if (OnRequest(rule) && !options.simulate) continue;
    if (!report.cancelled && progress && rule.kind == "check" && !progress(90)) report.cancelled = true;
    if (rule.kind == "skip") {
      report.notEvaluated.push_back(&rule);
      continue;
    }
    if (rule.kind == "check") {
      CheckFunction check = FindCheck(rule.id);
      if (!check) {
        report.notEvaluated.push_back(&rule);
        continue;
      }
      if (!report.cancelled) check(context, rule);
      if (OnRequest(rule) && !context.SimulationError().empty()) {
        // Nothing was simulated: the rule is not evaluated, and the log says why.
        unevaluated.push_back(rule);
        unevaluated.back().description = "not simulated: " + context.SimulationError();
        continue;
      }
    }
    report.evaluated.push_back(&rule);
  }
  if (!unevaluated.empty()) {
    auto held = std::make_shared<const std::vector<Rule>>(std::move(unevaluated));
    for (const Rule& rule : *held) report.notEvaluated.push_back(&rule);
    report.unevaluated = std::move(held);
  }
  report.findings = std::move(context.Findings());
  std::stable_sort(report.findings.begin(), report.findings.end(), [](const Finding& a, const Finding& b) {
    const long la = a.line > 0 ? a.line : LONG_MAX, lb = b.line > 0 ? b.line : LONG_MAX;
    if (la != lb) return la < lb;
    return a.instance < b.instance;
  });
  return report;
}

std::string FindingText(const Finding& f) {
  std::string text = f.severity == Severity::Error ? "Error: " : "Warning: ";
  text += f.rule + " at #" + std::to_string(f.instance);
  if (!f.attribute.empty()) text += "." + f.attribute;
  if (f.line > 0) text += " (line " + std::to_string(f.line) + ")";
  return text + ": " + f.text;
}

std::string LogText(const Report& report) {
  const long errors = report.Errors(), warnings = report.Warnings();
  std::string text = "Rule check: " + std::to_string(errors) + (errors == 1 ? " error, " : " errors, ") +
                     std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings") + "\n";
  for (const Finding& f : report.findings) text += FindingText(f) + "\n";
  text += std::to_string(report.evaluated.size()) + " rules evaluated; not evaluated: ";
  for (size_t i = 0; i < report.notEvaluated.size(); ++i)
    text += (i ? "; " : "") + report.notEvaluated[i]->id + " (" + report.notEvaluated[i]->description + ")";
  if (report.notEvaluated.empty()) text += "none";
  return text + "\n";
}

// ---- the checks' context ----

CheckContext::CheckContext(cct_Scope& scope, const Keep& keep) : scope_(scope) {
  // Consecutive instances are mostly of one type (a run of points): the type looked up last is
  // tried first.
  long lastType = -1;
  Type* last = nullptr;
  // The entries come in creation order, their instances wherever the reader put them: the
  // instance a few entries ahead is asked for early, so that the loads overlap.
  cct_Scope::ListCursor ahead;
  cct_Scope::Entry* next = scope.ListFirst(ahead);
  for (size_t k = 0; k < kAhead && next; ++k) next = scope.ListNext(ahead);
  cct_Scope::ListCursor cursor;
  for (cct_Scope::Entry* e = scope.ListFirst(cursor); e; e = scope.ListNext(cursor)) {
    if (next) {
      if (next->instance) __builtin_prefetch(next->instance);
      next = scope.ListNext(ahead);
    }
    const cct_Instance* instance = e->instance;
    if (!instance) continue;
    const long type = instance->TypeID();
    if (type != e->typeId) typesAsNoted_ = false;
    if (instance->IsKilled()) continue;
    if (!last || type != lastType) {
      auto [it, fresh] = types_.try_emplace(type);
      last = &it->second;
      lastType = type;
      if (fresh) {
        last->first = instance;
        last->kept = true;
        last->needed = type == 0 || !keep || keep(*instance);
      }
    }
    ++last->count;
    if (last->kept) {
      if (!last->needed && last->instances.size() == kAtHand) {
        // Many of a type no rule is about: found again when asked for, not kept here.
        last->kept = false;
        std::vector<const cct_Instance*>().swap(last->instances);
        std::vector<uint32_t>().swap(last->places);
      } else {
        last->instances.push_back(instance);
        last->places.push_back(static_cast<uint32_t>(count_));
      }
    }
    ++count_;
  }
}

void CheckContext::Collect(const std::vector<long>& types) const {
  std::unordered_map<long, Type*> wanted;
  for (long type : types) {
    auto it = types_.find(type);
    if (it != types_.end() && !it->second.kept) wanted.emplace(type, &it->second);
  }
  if (wanted.empty()) return;
  // The same pass as the constructor's, for these types only.
  uint32_t place = 0;
  long lastType = -1;
  Type* last = nullptr;
  cct_Scope::ListCursor cursor;
  for (cct_Scope::Entry* e = scope_.ListFirst(cursor); e; e = scope_.ListNext(cursor)) {
    const cct_Instance* instance = e->instance;
    if (!instance || instance->IsKilled()) continue;
    const long type = instance->TypeID();
    if (type != lastType) {
      auto it = wanted.find(type);
      last = it == wanted.end() ? nullptr : it->second;
      lastType = type;
    }
    if (last) {
      last->instances.push_back(instance);
      last->places.push_back(place);
    }
    ++place;
  }
  for (auto& [type, of] : wanted) of->kept = true;
}

std::vector<CheckContext::Placed> CheckContext::InstancesOf(const std::vector<long>& types) const {
  Collect(types);
  std::vector<Placed> all;
  for (long type : types) {
    auto it = types_.find(type);
    if (it == types_.end()) continue;
    const Type& of = it->second;
    for (size_t k = 0; k < of.instances.size(); ++k) all.push_back({of.places[k], of.instances[k]});
  }
  std::sort(all.begin(), all.end(), [](const Placed& a, const Placed& b) { return a.place < b.place; });
  return all;
}

const std::vector<const cct_Instance*>& CheckContext::OfType(const std::string& entity) const {
  auto cached = ofType_.find(entity);
  if (cached != ofType_.end()) return cached->second;
  // Asked once per entity type of the file, not once per instance: every instance of a type
  // answers alike (kept records, which share type 0, are asked one by one).
  std::vector<long> types;
  for (const auto& [type, of] : types_)
    if (type != 0 && IsOfType(*of.first, entity)) types.push_back(type);
  std::vector<Placed> found = InstancesOf(types);
  auto records = types_.find(0);
  if (records != types_.end()) {
    const Type& of = records->second;
    for (size_t k = 0; k < of.instances.size(); ++k)
      if (IsOfType(*of.instances[k], entity)) found.push_back({of.places[k], of.instances[k]});
    std::sort(found.begin(), found.end(), [](const Placed& a, const Placed& b) { return a.place < b.place; });
  }
  std::vector<const cct_Instance*> of;
  of.reserve(found.size());
  for (const Placed& at : found) of.push_back(at.instance);
  return ofType_.emplace(entity, std::move(of)).first->second;
}

void CheckContext::Report(const Rule& rule, const cct_Instance& instance, const std::string& attribute,
                          const std::string& text) {
  Finding f;
  f.rule = rule.id;
  f.severity = rule.severity;
  f.instance = Number(instance);
  f.attribute = attribute;
  const cct_Scope::Entry* entry = instance.GetEntry();
  f.line = entry ? entry->line : 0;
  f.text = text;
  findings_.push_back(std::move(f));
}

long Number(const cct_Instance& instance) { return NameNumber(instance.InstanceName()); }

}  // namespace varnholt::rules

#include "varnholt/navigation.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <regex>
#include <sstream>

#include "cct/aggr.h"
#include "cct/factory.h"
#include "cct/ascii.h"
#include "cct/instance.h"
#include "cct/rawrecord.h"
#include "cct/scope.h"
#include "cct/selecttype.h"

namespace varnholt {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = cct_AsciiLower(c);
  return text;
}

bool Contains(const char* value, const std::string& lowerNeedle) {
  return value && Lower(value).find(lowerNeedle) != std::string::npos;
}

// True when some string the value holds (itself, its list's elements, what its select holds)
// contains the text.
bool ValueHasText(const cct_Type& value, const std::string& needle) {
  if (!value.IsSet()) return false;
  switch (value.Kind()) {
    case cct_KIND_STRING: return Contains(value.GetString(), needle);
    case cct_KIND_SELECT: {
      cct_Type* held = static_cast<const cct_SelectType&>(value).Get(0, 0);
      const bool found = held && held->Kind() == cct_KIND_STRING && Contains(held->GetString(), needle);
      if (held && held->IsTemporary()) delete held;
      return found;
    }
    case cct_KIND_AGGREGATE: {
      const auto& list = static_cast<const cct_AggregateType&>(value);
      const long kind = list.ElementDescriptor()->kind;
      if (kind != cct_KIND_STRING && kind != cct_KIND_SELECT) return false;
      if (list.Dimensions() != 1) return false;
      const auto& one = static_cast<const cct_AggregateType_1d&>(list);
      for (uint32_t i = 0; i < one.Count(); ++i) {
        cct_Type* element = one.ElementObject(i);
        const bool found = element && ValueHasText(*element, needle);
        if (element && element->IsTemporary()) delete element;
        if (found) return true;
      }
      return false;
    }
    default: return false;
  }
}

}  // namespace

std::string Referrer::Text() const {
  std::string text = "#" + name + " " + attributeName;
  if (element > 0) text += "[" + std::to_string(element) + "]";
  return text;
}

long NameNumber(const char* name) {
  if (!name || !*name) return 0;
  char* end = nullptr;
  const long number = std::strtol(name, &end, 10);
  return end && *end == '\0' ? number : 0;
}

std::string RecordText(cct_Instance& instance) {
  std::ostringstream out;
  instance.WriteP21Instance(out);
  std::string text = out.str();
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// Whether the entity of the schema named `name` is `entity` or one of its subtypes; false for a
// name the schema does not know.
static bool IsSubtypeOf(const std::string& name, const std::string& entity) {
  if (name.empty() || name[0] == '!') return false;
  cct_Instance* made = CreateEntityByName(name.c_str());
  const bool is = made && made->HasSupertype(entity.c_str());
  delete made;
  return is;
}

bool IsOfType(const cct_Instance& instance, const std::string& entity) {
  const std::string wanted = Lower(entity);
  if (const auto* raw = dynamic_cast<const cct_RawInstance*>(&instance)) {
    // "tool_dimension", "!name" or "(a b c)": any of its keywords, or a subtype of the entity
    // asked for among them.
    std::string name;
    for (const char* c = raw->TypeName();; ++c) {
      if (*c && *c != ' ' && *c != '(' && *c != ')') {
        name += *c;
        continue;
      }
      if (name == wanted || IsSubtypeOf(name, wanted)) return true;
      name.clear();
      if (!*c) return false;
    }
  }
  return instance.HasSupertype(wanted.c_str());
}

bool HasText(const cct_Instance& instance, const std::string& text) {
  const std::string needle = Lower(text);
  for (long i = 0;; ++i) {
    const cct_Type* value = instance.Attribute(i);
    if (!value) break;
    if (ValueHasText(*value, needle)) return true;
  }
  // Parameters kept as written are searched as they stand, quotes and all.
  if (const cct_AsWritten* kept = instance.AsWritten()) {
    for (const cct_AsWritten::Parameter& p : kept->refused)
      if (Contains(p.text.c_str(), needle)) return true;
    for (const std::string& extra : kept->extra)
      if (Contains(extra.c_str(), needle)) return true;
  }
  return false;
}

const cct_ReferenceIndex& Navigator::Index() {
  if (!index_) index_ = std::make_unique<cct_ReferenceIndex>(scope_);
  return *index_;
}

std::vector<Referrer> Navigator::ReferencesTo(const std::string& name) {
  std::vector<Referrer> found;
  const cct_Scope::Entry* entry = scope_.FindEntry(name.c_str(), 0);
  if (!entry) return found;
  for (const cct_ReferenceIndex::Reference& r : Index().To(entry)) {
    Referrer row;
    row.name = r.from->name ? r.from->name : "";
    row.number = NameNumber(r.from->name);
    row.attribute = r.attribute;
    const char* attribute =
        r.attribute >= 0 && r.from->instance ? r.from->instance->AttributeName(r.attribute) : nullptr;
    if (attribute)
      row.attributeName = attribute;
    else if (r.attribute >= 0)
      row.attributeName = "(parameter " + std::to_string(r.attribute + 1) + ")";
    else
      row.attributeName = "(record)";
    row.element = r.element >= 0 ? r.element + 1 : 0;
    found.push_back(std::move(row));
  }
  std::sort(found.begin(), found.end(), [](const Referrer& a, const Referrer& b) {
    if (a.number != b.number) return a.number < b.number;
    if (a.name != b.name) return a.name < b.name;
    if (a.attribute != b.attribute) return a.attribute < b.attribute;
    return a.element < b.element;
  });
  return found;
}

std::unordered_set<const cct_Instance*> Navigator::Reached() {
  std::unordered_set<const cct_Instance*> reached;
  std::deque<cct_Instance*> next;
  for (cct_Scope::Entry* entry : scope_.EntriesInNameOrder()) {
    cct_Instance* instance = entry->instance;
    if (instance && instance->Kind() == cct_KIND_INSTANCE && instance->HasSupertype("project") &&
        reached.insert(instance).second)
      next.push_back(instance);
  }
  // Breadth first with a queue of its own: a chain of a million references needs no stack.
  while (!next.empty()) {
    cct_Instance* instance = next.front();
    next.pop_front();
    cct_ForEachReference(*instance, [&](const cct_ReferenceSite& site) {
      cct_Instance* target = site.to ? site.to->instance : nullptr;
      if (target && target->Kind() == cct_KIND_INSTANCE && reached.insert(target).second)
        next.push_back(target);
    });
  }
  return reached;
}

bool IsInstanceNumber(const std::string& text) {
  const size_t from = !text.empty() && text[0] == '#' ? 1 : 0;
  if (text.size() <= from) return false;
  for (size_t i = from; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

std::vector<cct_Instance*> Navigator::Find(const FindQuery& query,
                                           const std::function<bool()>& cancelled) {
  std::unordered_set<const cct_Instance*> reached;
  if (query.unreached) reached = Reached();
  std::vector<cct_Instance*> found;
  auto matches = [&](cct_Instance* instance) {
    if (!instance || instance->Kind() != cct_KIND_INSTANCE || instance->IsKilled()) return false;
    if (!query.type.empty() && !IsOfType(*instance, query.type)) return false;
    if (!query.text.empty() && !HasText(*instance, query.text)) return false;
    return !(query.unreached && reached.count(instance));
  };
  if (!query.name.empty()) {
    // Only a number names an instance; anything else finds nothing and is no error of the file.
    // A number the file does not define is looked up without loading, which would report it.
    const std::string name = query.name[0] == '#' ? query.name.substr(1) : query.name;
    if (!IsInstanceNumber(query.name)) return found;
    cct_Scope::Entry* entry = scope_.FindEntry(name.c_str(), 0);
    if (entry && !entry->instance) entry = scope_.FindEntry(name.c_str(), 1);
    if (entry && matches(entry->instance)) found.push_back(entry->instance);
    return found;
  }
  // Sorted by keys made once: asking an instance for its name costs more than the comparison.
  std::vector<std::pair<long, cct_Scope::Entry*>> keyed;
  size_t visited = 0;
  for (cct_Scope::Entry* entry : scope_.EntriesInNameOrder()) {
    if (cancelled && ++visited % 4096 == 0 && cancelled()) break;
    if (matches(entry->instance)) keyed.emplace_back(NameNumber(entry->name), entry);
  }
  std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return std::strcmp(a.second->name ? a.second->name : "", b.second->name ? b.second->name : "") < 0;
  });
  found.reserve(keyed.size());
  for (const auto& k : keyed) found.push_back(k.second->instance);
  return found;
}

bool Navigator::Details(const std::string& name, InstanceDetails& details) {
  cct_Scope::Entry* entry = scope_.FindEntry(name.c_str(), 1);
  if (!entry || !entry->instance || entry->instance->Kind() != cct_KIND_INSTANCE) return false;
  cct_Instance& instance = *entry->instance;
  details.name = name;
  details.number = NameNumber(name.c_str());
  details.type = instance.TypeName() ? instance.TypeName() : "";
  details.line = entry->line;
  details.record = RecordText(instance);
  details.referrers = ReferencesTo(name);
  return true;
}

cct_Instance* InstanceAtLine(cct_Scope& scope, long line) {
  if (line <= 0) return nullptr;
  cct_Scope::Entry* best = nullptr;
  cct_Scope::ListCursor cursor;
  for (cct_Scope::Entry* e = scope.ListFirst(cursor); e; e = scope.ListNext(cursor)) {
    // Instances made since the file was read have no line.
    if (e->line <= 0 || e->line > line || !e->instance || e->instance->IsKilled()) continue;
    if (!best || e->line > best->line) best = e;
  }
  return best ? best->instance : nullptr;
}

LogTarget FindLogTarget(const std::string& logLine) {
  // The reports say "line 12", "line. 12", "line12", "Line 12" and "(Line 12 )"; the banner
  // lines hold no such word.
  static const std::regex kLine("(?:^|[^A-Za-z])[Ll]ine\\.? ?([0-9]+)");
  static const std::regex kName("#([0-9]+)");
  LogTarget target;
  std::smatch match;
  if (std::regex_search(logLine, match, kLine)) target.line = std::atol(match[1].str().c_str());
  if (std::regex_search(logLine, match, kName)) target.name = match[1].str();
  return target;
}

cct_Instance* LogLineInstance(cct_Scope& scope, const std::string& logLine) {
  const LogTarget target = FindLogTarget(logLine);
  // The line is where the report was made, the record to look at; a name may be one the
  // record refers to that does not exist.
  if (cct_Instance* at = InstanceAtLine(scope, target.line)) return at;
  if (target.name.empty()) return nullptr;
  cct_Scope::Entry* entry = scope.FindEntry(target.name.c_str(), 1);
  return entry && entry->instance && !entry->instance->IsKilled() ? entry->instance : nullptr;
}

}  // namespace varnholt

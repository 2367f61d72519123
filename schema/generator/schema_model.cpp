#include "schema_model.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>

namespace bindgen {
namespace {

std::vector<std::string> Split(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

bool IsName(const std::string& s) {
  if (s.empty() || !(std::islower(static_cast<unsigned char>(s[0])))) return false;
  return std::all_of(s.begin(), s.end(), [](char c) {
    return std::islower(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) ||
           c == '_';
  });
}

bool IsBaseType(const std::string& s) {
  return s == "INTEGER" || s == "REAL" || s == "STRING" || s == "BOOLEAN" || s == "LOGICAL";
}

bool ParseLong(const std::string& s, long& out) {
  if (s.empty() || !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  out = std::stol(s);
  return true;
}

/// "[l:u]" with u a number or "?".
bool ParseBounds(const std::string& s, Bounds& b) {
  if (s.size() < 5 || s.front() != '[' || s.back() != ']') return false;
  const auto colon = s.find(':');
  if (colon == std::string::npos) return false;
  long lower = 0;
  long upper = kUnbounded;
  if (!ParseLong(s.substr(1, colon - 1), lower)) return false;
  const std::string u = s.substr(colon + 1, s.size() - colon - 2);
  if (u != "?" && !ParseLong(u, upper)) return false;
  if (lower > upper || upper > kUnbounded) return false;
  b.lower = static_cast<int32_t>(lower);
  b.upper = static_cast<int32_t>(upper);
  return true;
}

/// "[OPTIONAL] t" or "[OPTIONAL] [l:u] OF t" or "[OPTIONAL] [l:u] OF [l:u] OF t".
bool ParseAttributeType(const std::vector<std::string>& words, size_t i, Attribute& a) {
  if (i < words.size() && words[i] == "OPTIONAL") {
    a.optional = true;
    ++i;
  }
  AttributeType& t = a.type;
  while (i < words.size() && words[i].front() == '[') {
    if (t.dimensions == 2 || i + 2 >= words.size() || words[i + 1] != "OF") return false;
    if (!ParseBounds(words[i], t.dimensions == 0 ? t.outer : t.inner)) return false;
    ++t.dimensions;
    i += 2;
  }
  if (i + 1 != words.size()) return false;
  t.element = words[i];
  return IsName(t.element) || IsBaseType(t.element);
}

std::string At(int line) { return "line " + std::to_string(line) + ": "; }

}  // namespace

bool Schema::Read(std::istream& in, std::vector<std::string>& errors) {
  const size_t before = errors.size();
  Entity* current = nullptr;
  int lineNo = 0;
  for (std::string line; std::getline(in, line);) {
    ++lineNo;
    const std::vector<std::string> w = Split(line);
    if (w.empty() || w[0][0] == '#') continue;
    const bool indented = line[0] == ' ' || line[0] == '\t';
    if (indented) {
      if (!current) {
        errors.push_back(At(lineNo) + "indented line outside an entity");
        continue;
      }
      if (w[0] == "subtype-order") {
        current->subtypeOrder.assign(w.begin() + 1, w.end());
        continue;
      }
      Attribute a;
      a.line = lineNo;
      a.name = w[0];
      if (a.name.size() < 2 || a.name.back() != ':' || !IsName(a.name.substr(0, a.name.size() - 1)) ||
          !ParseAttributeType(w, 1, a)) {
        errors.push_back(At(lineNo) + "malformed attribute");
        continue;
      }
      a.name.pop_back();
      current->own.push_back(a);
      continue;
    }
    current = nullptr;
    if (w[0] == "schema" && w.size() == 2 && IsName(w[1])) {
      name = w[1];
      continue;
    }
    long id = 0;
    if (w.size() < 3 || !ParseLong(w[1], id) || !IsName(w[2])) {
      errors.push_back(At(lineNo) + "malformed declaration");
      continue;
    }
    if (w[0] == "entity") {
      Entity e;
      e.id = id;
      e.name = w[2];
      e.line = lineNo;
      if (w.size() > 3 && (w[3] != ":" || w.size() == 4)) {
        errors.push_back(At(lineNo) + "malformed supertype list");
        continue;
      }
      for (size_t i = 4; i < w.size(); ++i) e.supertypeNames.push_back(w[i]);
      entities.push_back(e);
      current = &entities.back();
      continue;
    }
    NamedType t;
    t.id = id;
    t.name = w[2];
    t.line = lineNo;
    const std::vector<std::string> rest(w.begin() + 3, w.end());
    if (w[0] == "type" && rest.size() == 1 &&
        (rest[0] == "INTEGER" || rest[0] == "REAL" || rest[0] == "STRING")) {
      t.kind = TypeKind::Defined;
      t.base = rest[0];
    } else if (w[0] == "enumeration" && !rest.empty()) {
      t.kind = TypeKind::Enumeration;
      t.values = rest;
    } else if (w[0] == "select" && rest.size() == 2 && rest[0] == ":") {
      t.kind = TypeKind::Select;
      t.derivedFrom = rest[1];
    } else if (w[0] == "select" && !rest.empty() && rest[0] != ":") {
      t.kind = TypeKind::Select;
      t.alternatives = rest;
    } else {
      errors.push_back(At(lineNo) + "malformed declaration");
      continue;
    }
    types.push_back(t);
  }
  if (name.empty()) errors.push_back("the data file names no schema");
  return errors.size() == before;
}

const NamedType* Schema::FindType(const std::string& n) const {
  auto it = typeIndex_.find(n);
  return it == typeIndex_.end() ? nullptr : &types[it->second];
}

const Entity* Schema::FindEntity(const std::string& n) const {
  auto it = entityIndex_.find(n);
  return it == entityIndex_.end() ? nullptr : &entities[it->second];
}

bool Schema::Resolve(std::vector<std::string>& errors) {
  const size_t before = errors.size();
  // Identifiers are dense and in file order, so that the factories can switch on them and the
  // user interface can enumerate the entities by counting.
  for (size_t i = 0; i < types.size(); ++i) {
    if (types[i].id != 1001 + static_cast<long>(i))
      errors.push_back(At(types[i].line) + "type identifiers must run densely from 1001");
    if (!typeIndex_.emplace(types[i].name, i).second)
      errors.push_back(At(types[i].line) + "duplicate type " + types[i].name);
  }
  for (size_t i = 0; i < entities.size(); ++i) {
    if (entities[i].id != 3002 + static_cast<long>(i))
      errors.push_back(At(entities[i].line) + "entity identifiers must run densely from 3002");
    if (!entityIndex_.emplace(entities[i].name, i).second || FindType(entities[i].name))
      errors.push_back(At(entities[i].line) + "duplicate name " + entities[i].name);
  }
  if (errors.size() != before) return false;
  ResolveEntities(errors);
  ResolveSelects(errors);
  return errors.size() == before;
}

bool Schema::ResolveEntities(std::vector<std::string>& errors) {
  const size_t before = errors.size();
  for (Entity& e : entities) {
    for (const std::string& s : e.supertypeNames) {
      const Entity* super = FindEntity(s);
      if (!super || super == &e) {
        errors.push_back(At(e.line) + e.name + ": unknown supertype " + s);
        continue;
      }
      if (std::find(e.supertypes.begin(), e.supertypes.end(), super) != e.supertypes.end())
        errors.push_back(At(e.line) + e.name + ": supertype " + s + " listed twice");
      e.supertypes.push_back(super);
    }
  }
  for (Entity& e : entities)  // in identifier order: the default visiting order
    for (const Entity* super : e.supertypes)
      entities[entityIndex_[super->name]].subtypes.push_back(&e);
  for (Entity& e : entities) {
    if (e.subtypeOrder.empty()) continue;
    std::vector<const Entity*> ordered;
    for (const std::string& s : e.subtypeOrder) ordered.push_back(FindEntity(s));
    std::vector<const Entity*> a = ordered;
    std::vector<const Entity*> b = e.subtypes;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    if (a != b)
      errors.push_back(At(e.line) + e.name + ": subtype-order must list the direct subtypes once each");
    else
      e.subtypes = ordered;
  }
  if (errors.size() != before) return false;

  std::vector<const Entity*> stack;
  for (Entity& e : entities) Ancestry(e, stack, errors);
  if (errors.size() != before) return false;

  // Ancestry lists every ancestor before its descendants, so walking it completes the
  // supertypes' attribute lists before they are copied.
  std::vector<bool> listed(entities.size(), false);
  for (Entity& e : entities) {
    for (const Entity* a : e.ancestry) {
      Entity& x = entities[static_cast<size_t>(a->id - 3002)];
      if (listed[static_cast<size_t>(x.id - 3002)]) continue;
      listed[static_cast<size_t>(x.id - 3002)] = true;
      for (const Entity* s : x.supertypes)
        x.attributes.insert(x.attributes.end(), s->attributes.begin(), s->attributes.end());
      x.inheritedCount = x.attributes.size();
      for (Attribute& at : x.own) {
        at.owner = &x;
        x.attributes.push_back(&at);
      }
    }
  }
  for (Entity& e : entities) {
    std::set<std::string> names;
    for (const Attribute* at : e.attributes)
      if (!names.insert(at->name).second)
        errors.push_back(At(e.line) + e.name + ": attribute " + at->name + " reached twice");
    for (const Attribute& at : e.own) {
      const std::string& t = at.type.element;
      if (!IsBaseType(t) && !FindType(t) && !FindEntity(t))
        errors.push_back(At(at.line) + "unknown type " + t);
      else if (at.type.dimensions == 1 && Element(t).aggregateClass.empty())
        errors.push_back(At(at.line) + "no aggregate class for elements of type " + t);
    }
    std::vector<bool> seen(entities.size(), false);
    PostOrder(e, e.allowedIds, seen);
  }
  return errors.size() == before;
}

void Schema::Ancestry(Entity& e, std::vector<const Entity*>& stack, std::vector<std::string>& errors) {
  if (!e.ancestry.empty()) return;
  if (std::find(stack.begin(), stack.end(), &e) != stack.end()) {
    errors.push_back(At(e.line) + e.name + ": the supertype graph has a cycle");
    return;
  }
  stack.push_back(&e);
  for (const Entity* s : e.supertypes) {
    Entity& super = entities[entityIndex_[s->name]];
    Ancestry(super, stack, errors);
    for (const Entity* a : super.ancestry)
      if (std::find(e.ancestry.begin(), e.ancestry.end(), a) == e.ancestry.end())
        e.ancestry.push_back(a);
  }
  stack.pop_back();
  e.ancestry.push_back(&e);
}

void Schema::PostOrder(const Entity& e, std::vector<long>& out, std::vector<bool>& seen) const {
  // An entity reached on two paths is listed at its first visit only.
  const size_t index = static_cast<size_t>(e.id - 3002);
  if (seen[index]) return;
  seen[index] = true;
  for (const Entity* s : e.subtypes) PostOrder(*s, out, seen);
  out.push_back(e.id);
}

bool Schema::ResolveSelects(std::vector<std::string>& errors) {
  const size_t before = errors.size();
  // A select's list depends on the lists of the selects among its alternatives; resolve until
  // nothing changes, which also finds cycles (they never resolve).
  std::vector<bool> done(types.size(), false);
  for (size_t i = 0; i < types.size(); ++i) done[i] = types[i].kind != TypeKind::Select;
  for (bool progress = true; progress;) {
    progress = false;
    for (size_t i = 0; i < types.size(); ++i) {
      if (done[i]) continue;
      NamedType& t = types[i];
      std::vector<long> list;
      bool ready = true;
      bool bad = false;
      if (!t.derivedFrom.empty()) {
        const NamedType* base = FindType(t.derivedFrom);
        // The base class must be declared first: the classes are written in identifier order.
        if (!base || base->kind != TypeKind::Select || !base->derivedFrom.empty() || base->id > t.id) {
          errors.push_back(At(t.line) + t.name + ": " + t.derivedFrom + " is no plain select");
          bad = true;
        } else if (!done[typeIndex_[base->name]]) {
          ready = false;
        } else {
          list = base->allowedTypes;
        }
      }
      for (const std::string& a : t.alternatives) {
        if (const Entity* e = FindEntity(a)) {
          list.insert(list.end(), e->allowedIds.begin(), e->allowedIds.end());
        } else if (const NamedType* at = FindType(a)) {
          list.push_back(at->id);
          if (at->kind == TypeKind::Defined) {
            list.push_back(at->base == "INTEGER" ? 2 : at->base == "REAL" ? 3 : 6);
          } else if (at->kind == TypeKind::Enumeration) {
            list.push_back(8);
          } else if (!done[typeIndex_[a]]) {
            ready = false;
          } else {
            list.insert(list.end(), at->allowedTypes.begin(), at->allowedTypes.end());
            list.push_back(9);
          }
        } else {
          errors.push_back(At(t.line) + t.name + ": unknown alternative " + a);
          bad = true;
        }
      }
      if (bad) {
        done[i] = true;
      } else if (ready) {
        t.allowedTypes = list;
        done[i] = progress = true;
      }
    }
  }
  for (size_t i = 0; i < types.size(); ++i)
    if (!done[i]) errors.push_back(At(types[i].line) + types[i].name + ": selects refer to each other in a cycle");
  return errors.size() == before;
}

ElementInfo Schema::Element(const std::string& t) const {
  const std::string ns = "::" + name + "::";
  if (t == "INTEGER") return {5, "", 2, "::cct_IntegerType", ns + "IntegerAggregate"};
  if (t == "REAL") return {6, "", 3, "::cct_RealType", ns + "RealAggregate"};
  if (t == "STRING") return {9, "", 6, "::cct_StringType", ns + "StringAggregate"};
  if (t == "BOOLEAN") return {17, "", 5, "::cct_BooleanType", ""};
  if (t == "LOGICAL") return {7, "", 4, "::cct_LogicalType", ""};
  if (const NamedType* nt = FindType(t)) {
    switch (nt->kind) {
      case TypeKind::Defined: {
        ElementInfo base = Element(nt->base);
        return {base.kind, t, nt->id, ns + t, base.aggregateClass};
      }
      case TypeKind::Enumeration: return {8, t, nt->id, ns + t, ""};
      case TypeKind::Select: return {16, t, nt->id, ns + t, ns + "SelectAggregate"};
    }
  }
  if (const Entity* e = FindEntity(t)) return {18, t, e->id, ns + t + "_Reference", ns + t + "_Aggregate"};
  return {};
}

std::vector<const Entity*> Schema::ReferencedEntities() const {
  std::set<long> ids;
  for (const Entity& e : entities)
    for (const Attribute& a : e.own)
      if (a.type.dimensions == 0)
        if (const Entity* t = FindEntity(a.type.element)) ids.insert(t->id);
  std::vector<const Entity*> out;
  for (long id : ids) out.push_back(&entities[static_cast<size_t>(id - 3002)]);
  return out;
}

std::vector<const Entity*> Schema::AggregatedEntities() const {
  std::set<long> ids;
  for (const Entity& e : entities)
    for (const Attribute& a : e.own)
      if (a.type.dimensions == 1)
        if (const Entity* t = FindEntity(a.type.element)) ids.insert(t->id);
  std::vector<const Entity*> out;
  for (long id : ids) out.push_back(&entities[static_cast<size_t>(id - 3002)]);
  return out;
}

}  // namespace bindgen

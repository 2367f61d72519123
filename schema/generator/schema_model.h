// The schema as the binding generator sees it: the declarations read from the data file and
// everything derived from them (ancestor lists, attribute order, subtype lists, select lists).
#ifndef VARNHOLT_BINDGEN_SCHEMA_MODEL_H
#define VARNHOLT_BINDGEN_SCHEMA_MODEL_H

#include <cstdint>
#include <istream>
#include <map>
#include <string>
#include <vector>

namespace bindgen {

constexpr int32_t kUnbounded = 2147483647;

enum class TypeKind { Defined, Enumeration, Select };

struct NamedType {
  long id = 0;
  std::string name;
  TypeKind kind = TypeKind::Defined;
  std::string base;                       // Defined: INTEGER, REAL or STRING
  std::vector<std::string> values;        // Enumeration
  std::vector<std::string> alternatives;  // Select
  std::string derivedFrom;                // Select whose class derives from another select
  int line = 0;

  std::vector<long> allowedTypes;  // Select: admissible type ids, without the closing 0
};

struct Bounds {
  int32_t lower = 0;
  int32_t upper = kUnbounded;
};

/// An attribute's type: a scalar (dimensions 0) or an aggregate of one or two levels.
struct AttributeType {
  int dimensions = 0;
  Bounds outer;
  Bounds inner;         // two-dimensional aggregates only
  std::string element;  // base type, schema type or entity name
};

struct Entity;

struct Attribute {
  std::string name;
  bool optional = false;
  AttributeType type;
  const Entity* owner = nullptr;
  int line = 0;
};

struct Entity {
  long id = 0;
  std::string name;
  std::vector<std::string> supertypeNames;
  std::vector<Attribute> own;
  std::vector<std::string> subtypeOrder;  // visiting order of the direct subtypes, when given
  int line = 0;

  // Derived by Resolve.
  std::vector<const Entity*> supertypes;  // direct, in declaration order
  std::vector<const Entity*> subtypes;    // direct, in visiting order
  std::vector<const Entity*> ancestry;    // ancestors first, then the entity itself
  std::vector<const Attribute*> attributes;  // inherited ones first
  std::vector<long> allowedIds;  // subtypes in post-order, then the entity itself
  size_t inheritedCount = 0;
};

/// How a value of a named element type is represented.
struct ElementInfo {
  int kind = 0;            // Kind code of the values
  std::string typeName;    // empty for a bare base type
  long typeId = 0;
  std::string valueClass;  // class of a single value (scalar attribute)
  std::string aggregateClass;  // class of a one-dimensional aggregate of it; empty if none
};

class Schema {
 public:
  std::string name;
  std::vector<NamedType> types;
  std::vector<Entity> entities;

  /// Reads the data file; syntax errors go to `errors` as "line N: text".
  bool Read(std::istream& in, std::vector<std::string>& errors);
  /// Checks names, identifiers and the supertype graph and derives every list.
  bool Resolve(std::vector<std::string>& errors);

  const NamedType* FindType(const std::string& n) const;
  const Entity* FindEntity(const std::string& n) const;
  /// Representation of a base type, schema type or entity used as an attribute or element type.
  ElementInfo Element(const std::string& typeName) const;

  /// Entities that some attribute refers to directly (not as an aggregate element), by id.
  std::vector<const Entity*> ReferencedEntities() const;
  /// Element entities of one-dimensional aggregate attributes, by id.
  std::vector<const Entity*> AggregatedEntities() const;

 private:
  bool ResolveEntities(std::vector<std::string>& errors);
  bool ResolveSelects(std::vector<std::string>& errors);
  void Ancestry(Entity& e, std::vector<const Entity*>& stack, std::vector<std::string>& errors);
  void PostOrder(const Entity& e, std::vector<long>& out, std::vector<bool>& seen) const;

  std::map<std::string, size_t> typeIndex_;
  std::map<std::string, size_t> entityIndex_;
};

}  // namespace bindgen

#endif

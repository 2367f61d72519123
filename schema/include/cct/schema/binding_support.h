// What the generated entity classes share: the class-level table each of them answers its
// attribute operations from, the helpers that read it, and the typed aggregates of simple and
// select elements. The entity classes themselves are generated (cct/schema/entities.h).
#ifndef CCT_SCHEMA_BINDING_SUPPORT_H
#define CCT_SCHEMA_BINDING_SUPPORT_H

#include <cstdint>

#include "cct/aggr.h"
#include "cct/cctype.h"

namespace combined_schema {

/// Where one attribute's value object lives inside an instance, and what construction does to it.
struct AttributeSlot {
  uint32_t offset;    // bytes from the start of the instance object
  uint32_t optional;  // 1: the value object carries cct_FLAG_OPTIONAL
  const cct_BaseTypeDescriptor* descriptor;  // aggregates: handed to BaseType on construction
};

/// Class-level data of one entity class. Lists are closed by "", 0 or null as noted.
struct EntityTable {
  const char* name;
  long id;
  const char* const* supertypeNames;  // ancestors (each once, ancestors first), own name, ""
  const long* supertypeIds;           // the same entities' identifiers, 0
  const long* allowedEntityIds;       // all subtypes in post-order, own id, 0
  const long* directSupertypeIds;     // direct supertypes in declaration order, 0
  const char* const* attributeNames;  // all attributes, inherited ones first, null
  const AttributeSlot* slots;         // one per attribute, same order; null when there are none
  long attributeCount;
  long inheritedAttributeCount;
};

/// Prepares a fresh instance's value objects: descriptors for aggregates, OPTIONAL flags.
/// `instance` is the address of the complete instance object.
void SetUpAttributes(void* instance, const EntityTable& table);
/// The value object of attribute i, or null outside 0..count-1.
cct_Type* AttributeAt(const void* instance, const EntityTable& table, long i);
const char* AttributeNameAt(const EntityTable& table, long i);
/// The table of an entity by canonical identifier (3002 and up); null for any other number.
const EntityTable* FindEntityTable(long id);

/// Name i of an enumeration's value list of `count` names; null outside it.
inline const char* EnumerationValue(const char* const* names, long count, long i) {
  return i >= 0 && i < count ? names[i] : nullptr;
}

// Aggregates whose elements are not entity references; the element type, the bounds and the
// nesting come from the descriptor, not from the class.
class IntegerAggregate : public cct_AggregateType_1d {
 public:
  using cct_AggregateType_1d::cct_AggregateType_1d;
  ~IntegerAggregate() override;
};

class RealAggregate : public cct_AggregateType_1d {
 public:
  using cct_AggregateType_1d::cct_AggregateType_1d;
  ~RealAggregate() override;
};

class StringAggregate : public cct_AggregateType_1d {
 public:
  using cct_AggregateType_1d::cct_AggregateType_1d;
  ~StringAggregate() override;
};

class SelectAggregate : public cct_AggregateType_1d {
 public:
  using cct_AggregateType_1d::cct_AggregateType_1d;
  ~SelectAggregate() override;
};

}  // namespace combined_schema

#endif

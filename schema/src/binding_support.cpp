#include "cct/schema/binding_support.h"

namespace combined_schema {
namespace {

cct_Type* ValueAt(const void* instance, const AttributeSlot& slot) {
  // Every value class has cct_Type as its first, primary base, so the member's address is the
  // address of its cct_Type part.
  auto* bytes = static_cast<unsigned char*>(const_cast<void*>(instance));
  return reinterpret_cast<cct_Type*>(bytes + slot.offset);
}

}  // namespace

void SetUpAttributes(void* instance, const EntityTable& table) {
  for (long i = 0; i < table.attributeCount; ++i) {
    const AttributeSlot& slot = table.slots[i];
    cct_Type* value = ValueAt(instance, slot);
    // No supertype constructor runs for an instance class, so every aggregate, inherited or
    // not, is set up here.
    if (slot.descriptor) static_cast<cct_AggregateType*>(value)->BaseType(slot.descriptor);
    if (slot.optional) value->SetFlags(cct_FLAG_OPTIONAL);
  }
}

cct_Type* AttributeAt(const void* instance, const EntityTable& table, long i) {
  if (i < 0 || i >= table.attributeCount) return nullptr;
  return ValueAt(instance, table.slots[i]);
}

const char* AttributeNameAt(const EntityTable& table, long i) {
  if (i < 0 || i >= table.attributeCount) return nullptr;
  return table.attributeNames[i];
}

IntegerAggregate::~IntegerAggregate() = default;
RealAggregate::~RealAggregate() = default;
StringAggregate::~StringAggregate() = default;
SelectAggregate::~SelectAggregate() = default;

}  // namespace combined_schema

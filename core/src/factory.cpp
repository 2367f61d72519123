#include "cct/factory.h"

#include "cct/cctype.h"
#include "cct/enumtype.h"
#include "cct/instance.h"

namespace {
const cct_SchemaBinding* binding = nullptr;
constexpr long kNameTableSizeHint = 8192;
}  // namespace

cct_HashTable TypeNameTable(kNameTableSizeHint);
cct_HashTable EntityNameTable(kNameTableSizeHint);

void cct_SetSchemaBinding(const cct_SchemaBinding* b) { binding = b; }

const cct_SchemaBinding* cct_GetSchemaBinding() { return binding; }

const char* SchemaName() { return "combined_schema"; }

cct_Type* CreateType(long id) {
  if (id > 2000) return CreateEntity(id);
  switch (id) {
    case 2: return new cct_IntegerType;
    case 3: return new cct_RealType;
    case 4: return new cct_LogicalType;
    case 5: return new cct_BooleanType;
    case 6: return new cct_StringType;
    case 7: return new cct_BinaryType;
    case 8: return new cct_EnumType;
    default: break;
  }
  if (id > cct_TYPE_ID_BASE && binding && binding->createType) return binding->createType(id);
  return nullptr;
}

cct_Instance* CreateEntity(long id) {
  long n = id;
  if (id > cct_ENTITY_ID_BASE)
    n = id - cct_ENTITY_ID_BASE;
  else if (id > 2000)
    n = id - 2000;
  if (n < 1 || n > 999 || !binding || !binding->createEntity) return nullptr;
  return binding->createEntity(cct_ENTITY_ID_BASE + n);
}

long cct_LookupTypeId(const cct_HashTable& table, const char* name) {
  const auto* entry = static_cast<const TypeIdEntry*>(table.Find(name));
  return entry ? entry->id : 0;
}

cct_Type* CreateTypeByName(const char* name) {
  if (const auto* entry = static_cast<const TypeIdEntry*>(TypeNameTable.Find(name)))
    return CreateType(entry->id);
  return CreateEntityByName(name);
}

cct_Instance* CreateEntityByName(const char* name) {
  const auto* entry = static_cast<const TypeIdEntry*>(EntityNameTable.Find(name));
  return entry ? CreateEntity(entry->id) : nullptr;
}

namespace {
void Fill(cct_HashTable& table, const TypeIdEntry* entries) {
  for (const TypeIdEntry* e = entries; e && e->id != 0; ++e)
    table.Insert(e->name, const_cast<TypeIdEntry*>(e));
}
}  // namespace

cct_HashTable* RegisterTypeNames() {
  if (binding) Fill(TypeNameTable, binding->types);
  return &TypeNameTable;
}

cct_HashTable* RegisterEntityNames() {
  if (binding) Fill(EntityNameTable, binding->entities);
  return &EntityNameTable;
}

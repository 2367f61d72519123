// Type identifiers, the two schema name tables and the factories that make a value object or an
// instance from an identifier or a name. The core knows the built-in types; the schema binding
// plugs its own types and entities in through cct_SetSchemaBinding.
#ifndef CCT_FACTORY_H
#define CCT_FACTORY_H

#include "cct/hashtab.h"

class cct_Type;
class cct_Instance;

/// A schema name and its identifier.
struct TypeIdEntry {
  const char* name;
  long id;
};

/// What a schema binding supplies.
struct cct_SchemaBinding {
  const TypeIdEntry* types;     // in identifier order, closed by {"NULLTYPE", 0}
  const TypeIdEntry* entities;  // in identifier order, closed by {"NULLENTITY", 0}
  cct_Type* (*createType)(long id);        // a schema type's value object, or null
  cct_Instance* (*createEntity)(long id);  // a new instance for a canonical id (3000 + n), or null
};

/// Installs the binding the factories use (null removes it).
void cct_SetSchemaBinding(const cct_SchemaBinding* binding);
const cct_SchemaBinding* cct_GetSchemaBinding();

extern cct_HashTable TypeNameTable;
extern cct_HashTable EntityNameTable;

/// "combined_schema".
const char* SchemaName();

/// A new object of the type (entities for ids above 2000), or null. The caller owns it.
cct_Type* CreateType(long id);
/// A new, empty instance; accepts 3000 + n, 2000 + n and n.
cct_Instance* CreateEntity(long id);
cct_Type* CreateTypeByName(const char* name);
cct_Instance* CreateEntityByName(const char* name);
cct_HashTable* RegisterTypeNames();
cct_HashTable* RegisterEntityNames();
/// The identifier of a name in a name table without creating anything; 0 when unknown.
long cct_LookupTypeId(const cct_HashTable& table, const char* name);

#endif

#include "cct/factory.h"
#include "cct/schema.h"

bool cct_BindCombinedSchema() {
  // Only a pointer is stored: the core keeps it in constant-initialised storage, so this is
  // safe before any dynamic initialisation of the core has run.
  cct_SetSchemaBinding(&combined_schema::kBinding);
  return true;
}

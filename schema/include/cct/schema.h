// The ISO 14649 combined schema bound to the core: every named type, entity, typed reference and
// aggregate class, the header entities, and the binding the core's factories use.
//
// Including this header installs the binding before main runs, so CreateType and CreateEntity
// know the schema from the start. The name tables are filled by RegisterTypeNames and
// RegisterEntityNames, which the application calls once it has started: they belong to the core
// and may not exist yet while static objects are being initialised.
#ifndef CCT_SCHEMA_H
#define CCT_SCHEMA_H

#include "cct/cct.h"
#include "cct/schema/binding_support.h"
#include "cct/schema/entities.h"
#include "cct/schema/types.h"

/// Installs the combined schema's binding in the core's factories; safe to call more than once
/// and during static initialisation. Answers true.
bool cct_BindCombinedSchema();

// One per translation unit that includes this header, in the manner of the stream library's
// initialiser: whatever runs first installs the binding.
[[maybe_unused]] static const bool cct_schemaBound = cct_BindCombinedSchema();

#endif

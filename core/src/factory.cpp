#include "cct/factory.h"

const char* SchemaName() { return "combined_schema"; }

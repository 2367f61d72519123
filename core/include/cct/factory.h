// The schema this system binds, as the core needs to know it.
#ifndef CCT_FACTORY_H
#define CCT_FACTORY_H

/// "combined_schema": the name written into FILE_SCHEMA and answered by every entity class.
const char* SchemaName();

#endif

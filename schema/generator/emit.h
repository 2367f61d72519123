// Writes the binding's C++ sources from a resolved schema.
#ifndef VARNHOLT_BINDGEN_EMIT_H
#define VARNHOLT_BINDGEN_EMIT_H

#include <map>
#include <string>

#include "schema_model.h"

namespace bindgen {

/// Relative path -> file text. `chunks` is the number of files the entity classes are spread
/// over (entities_1.cpp ...), so that a parallel build can compile them side by side.
/// `dataFile` is named in the banner of every file.
std::map<std::string, std::string> Emit(const Schema& schema, int chunks, const std::string& dataFile);

}  // namespace bindgen

#endif

// What both fuzz targets set up alike.
#ifndef VARNHOLT_FUZZ_SUPPORT_H
#define VARNHOLT_FUZZ_SUPPORT_H

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "cct/schema.h"

namespace fuzz {

/// A folder of this process's own, in memory where there is one (every save flushes to disk):
/// the saves write temporary files beside their targets.
inline std::string OwnFolder(const char* name) {
  const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  std::string pattern = std::string(base) + "/" + name + "-XXXXXX";
  if (!mkdtemp(&pattern[0])) std::abort();
  return pattern;
}

/// The schema's names, and one instant for every save, so that the headers of two saves agree.
inline void Initialize() {
  RegisterTypeNames();
  RegisterEntityNames();
  setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
}

}  // namespace fuzz

#endif

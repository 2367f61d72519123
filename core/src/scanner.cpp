#include "scanner.h"

#include <cstring>

namespace cct_scan {

Reserved ReservedWord(const char* word, size_t length) {
  // By length first: the direct reader asks this of every keyword it meets.
  switch (length) {
    case 4: return std::memcmp(word, "DATA", 4) == 0 ? Reserved::kData : Reserved::kNone;
    case 6:
      if (std::memcmp(word, "ENDSEC", 6) == 0) return Reserved::kEndsec;
      return std::memcmp(word, "HEADER", 6) == 0 ? Reserved::kHeader : Reserved::kNone;
    case 8: return std::memcmp(word, "ENDSCOPE", 8) == 0 ? Reserved::kEndscope : Reserved::kNone;
    default: return Reserved::kNone;
  }
}

}  // namespace cct_scan


#include "scanner.h"

#include <cstring>

#include "cct/lexer.h"

namespace cct_scan {

int ReservedToken(const char* word, size_t length) {
  // By length first: the direct reader asks this of every keyword it meets.
  switch (length) {
    case 4: return std::memcmp(word, "DATA", 4) == 0 ? cct_TOKEN_DATA : 0;
    case 6:
      if (std::memcmp(word, "ENDSEC", 6) == 0) return cct_TOKEN_ENDSEC;
      return std::memcmp(word, "HEADER", 6) == 0 ? cct_TOKEN_HEADER : 0;
    case 8: return std::memcmp(word, "ENDSCOPE", 8) == 0 ? cct_TOKEN_ENDSCOPE : 0;
    default: return 0;
  }
}

}  // namespace cct_scan


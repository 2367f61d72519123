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

namespace cct_scan {

bool QuickReal(const NumberForm& n, bool negative, double& value) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (!n.exact || n.decimals < 0 || n.decimals > 22) return false;
  value = static_cast<double>(n.mantissa) / kPowers[n.decimals];
  if (negative) value = -value;
  return true;
}

}  // namespace cct_scan

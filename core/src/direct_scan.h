// The direct reader's view of the lexical rules: the tokens of a plain record split straight
// from the read buffer, the scan of a plain definition, and the grammar check of a record's
// tokens. The rules themselves are the scanner's; what cannot be taken exactly as the parser
// would take it is left to the parser.
#ifndef CCT_DIRECT_SCAN_H
#define CCT_DIRECT_SCAN_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "scanner.h"

namespace cct_direct {

enum class Tok : uint8_t {
  kKeyword,
  kLeft,
  kRight,
  kComma,
  kSemicolon,
  kMissing,
  kStar,
  kInteger,
  kReal,
  kLogical,
  kEnum,
  kString,
  kReference,
};

struct Token {
  Tok kind;
  bool pairs;  // a string holding doubled apostrophes
  uint32_t length;
  const char* text;
  union {
    long integer;
    double real;
  };
};

constexpr int kMaxDepth = 64;

using cct_scan::IsDigit;
using cct_scan::IsUpper;
using cct_scan::IsWordChar;
inline bool IsReserved(const char* word, size_t n) {
  return cct_scan::ReservedWord(word, n) != cct_scan::Reserved::kNone;
}

enum class Split { kDone, kOther, kShort };

// A processor hint for a spin-wait loop.
inline void Pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

// Splits one record into tokens up to its semicolon: kOther for anything the direct reader
// leaves to the parser, kShort when the window ended first. `stop` is then just past the
// semicolon.
Split Tokenize(const char* p, const char* end, std::vector<Token>& tokens, const char*& stop);

// One definition "#digits=KEYWORD(...);" of the usual form, as the direct scan indexes it.
struct Definition {
  const char* name;
  size_t nameLength;
  const char* keyword;
  size_t keywordLength;
  size_t equalsAt;      // from the start to just past the "="
  int32_t linesBefore;  // line ends before the "#"
  size_t consumed;      // the definition with the blank or line end the parser takes after it
  int32_t lines;        // line ends in what is consumed
};

constexpr size_t kMaxScannedName = 31;

// Indexes one definition of the usual form at the start of [begin, end) exactly as the parser's
// scan would: kOther for anything the parser must read, kShort when the text ended first.
Split ScanDefinition(const char* begin, const char* end, Definition& d);

// Checks the grammar of a parameter starting at token i; answers the token after it, or -1.

// "(" parameters ")" with at least `min` of them; answers the token after ")" or -1.
long CheckList(const std::vector<Token>& t, long i, int depth);

long CheckParameter(const std::vector<Token>& t, long i, int depth);

}  // namespace cct_direct

#endif

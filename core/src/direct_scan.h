// The lexical layer of the direct reader: the tokens of a plain record split straight from the
// read buffer, the scan of a plain definition, and the grammar check of a record's tokens. The
// direct reader, its helper threads and the direct scan share it; what it cannot take exactly
// as the parser would is left to the parser.
#ifndef CCT_DIRECT_SCAN_H
#define CCT_DIRECT_SCAN_H

#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

inline bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// Letters, digits and the underscore, by table: keywords are the longest words of a file.
constexpr struct WordChars {
  bool is[256] = {};
  constexpr WordChars() {
    for (int c = 'A'; c <= 'Z'; ++c) is[c] = true;
    for (int c = '0'; c <= '9'; ++c) is[c] = true;
    is[static_cast<int>('_')] = true;
  }
} kWordChars;
inline bool IsWordChar(char c) { return kWordChars.is[static_cast<unsigned char>(c)]; }

// The first of ( ) ' / line end or NUL at or after p, or end: what the scan of a definition's
// parameters has to look at. Numbers and names in between are passed over sixteen at a time.
inline const char* SkipPlain(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i open = _mm_set1_epi8('(');
  const __m128i close = _mm_set1_epi8(')');
  const __m128i quote = _mm_set1_epi8('\'');
  const __m128i slash = _mm_set1_epi8('/');
  const __m128i newline = _mm_set1_epi8('\n');
  const __m128i nul = _mm_setzero_si128();
  while (end - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hit = _mm_or_si128(
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, open), _mm_cmpeq_epi8(v, close)),
                     _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, slash))),
        _mm_or_si128(_mm_cmpeq_epi8(v, newline), _mm_cmpeq_epi8(v, nul)));
    const int mask = _mm_movemask_epi8(hit);
    if (mask) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
#endif
  while (p < end && *p != '(' && *p != ')' && *p != '\'' && *p != '/' && *p != '\n' && *p != '\0')
    ++p;
  return p;
}

/// The reserved words that are tokens of their own (DATA, ENDSEC, HEADER, ENDSCOPE).
bool IsReserved(const char* word, size_t n);

/// A short decimal read exactly with one division; false when it needs the general reading.
bool ExactReal(const char* from, const char* to, double& value);

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

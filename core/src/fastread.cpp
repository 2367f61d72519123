// The direct scan and the direct reader of plain records. Nearly every definition in a real
// file is a single line "#n=KEYWORD(parameters);" of numbers, strings, enumerations,
// references and lists. Such a definition is indexed, and its record read, straight from the
// read buffer, without the lexer's character-by-character interface and the parser's tables,
// and becomes exactly the index entry, objects and messages the grammar would make: the values
// come from the same builders, in the same order. Anything else (a comment, a record spanning
// lines or buffers, a string with a directive, a number out of range, a syntax error, ...) is
// left untouched for the parser, which then reads it as always.
#include <atomic>
#include <charconv>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "cct/aggr.h"
#include "cct/cctype.h"
#include "cct/errlog.h"
#include "cct/factory.h"
#include "cct/instance.h"
#include "cct/p21text.h"
#include "cct/stepfile.h"
#include "page_cache.h"
#include "parsed_values.h"

namespace {

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

bool IsReserved(const char* word, size_t n) {
  return (n == 4 && std::memcmp(word, "DATA", 4) == 0) ||
         (n == 6 && (std::memcmp(word, "ENDSEC", 6) == 0 || std::memcmp(word, "HEADER", 6) == 0)) ||
         (n == 8 && std::memcmp(word, "ENDSCOPE", 8) == 0);
}

// A real of at most 15 digits and at most 22 decimals (after the exponent is taken into
// account) is its digits as an integer divided by a power of ten: both are exact doubles, so
// the one division rounds correctly and gives what from_chars gives, much sooner.
constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr uint64_t kExactDigitsLimit = 100000000000000u;  // no sixteenth digit

bool ExactReal(const char* from, const char* to, double& value) {
  const char* c = from;
  const bool negative = *c == '-';
  if (negative) ++c;
  uint64_t digits = 0;
  long decimals = 0;
  bool point = false;
  for (; c < to && *c != 'E'; ++c) {
    if (*c == '.') {
      point = true;
      continue;
    }
    if (digits >= kExactDigitsLimit) return false;
    digits = digits * 10 + static_cast<uint64_t>(*c - '0');
    if (point) ++decimals;
  }
  if (c < to) {
    long exponent = 0;
    bool negativeExponent = false;
    ++c;
    if (*c == '+' || *c == '-') negativeExponent = *c++ == '-';
    for (; c < to; ++c) {
      if (exponent > 1000) return false;
      exponent = exponent * 10 + (*c - '0');
    }
    decimals += negativeExponent ? exponent : -exponent;
  }
  if (decimals < 0 || decimals > 22) return false;
  value = static_cast<double>(digits) / kPowers[decimals];
  if (negative) value = -value;
  return true;
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
Split Tokenize(const char* p, const char* end, std::vector<Token>& tokens, const char*& stop) {
  tokens.clear();
  for (;;) {
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\r')) ++p;
    if (p == end) return Split::kShort;
    const char c = *p;
    // Made in place: a token made aside and copied in is read back before its parts are
    // written, which stalls the copy.
    Token& t = tokens.emplace_back();
    t.text = p;
    switch (c) {
      case '(': t.kind = Tok::kLeft; ++p; break;
      case ')': t.kind = Tok::kRight; ++p; break;
      case ',': t.kind = Tok::kComma; ++p; break;
      case '$': t.kind = Tok::kMissing; ++p; break;
      case ';':
        t.kind = Tok::kSemicolon;
        stop = p + 1;
        return Split::kDone;
      case '*':
        if (p + 1 == end) return Split::kShort;
        if (p[1] == '/') return Split::kOther;
        t.kind = Tok::kStar;
        ++p;
        break;
      case '#': {
        const char* d = ++p;
        while (p < end && IsDigit(*p)) ++p;
        if (p == end) return Split::kShort;
        if (p == d) return Split::kOther;
        t.kind = Tok::kReference;
        t.text = d;
        t.length = static_cast<uint32_t>(p - d);
        break;
      }
      case '\'': {
        const char* body = ++p;
        for (;;) {
          if (p == end) return Split::kShort;
          if (*p == '\n' || *p == '\\' || *p == '\0') return Split::kOther;
          if (*p == '\'') {
            if (p + 1 == end) return Split::kShort;
            if (p[1] != '\'') break;
            t.pairs = true;
            p += 2;
            continue;
          }
          ++p;
        }
        t.kind = Tok::kString;
        t.text = body;
        t.length = static_cast<uint32_t>(p - body);
        ++p;
        break;
      }
      case '.': {
        const char* w = ++p;
        if (p == end) return Split::kShort;
        if (!IsUpper(*p)) return Split::kOther;
        while (p < end && IsWordChar(*p)) ++p;
        if (p == end) return Split::kShort;
        if (*p != '.') return Split::kOther;
        const size_t n = static_cast<size_t>(p - w);
        ++p;
        if (n == 1 && (*w == 'F' || *w == 'U' || *w == 'T')) {
          t.kind = Tok::kLogical;
          t.integer = *w == 'T' ? 1 : (*w == 'F' ? 0 : -1);
        } else {
          t.kind = Tok::kEnum;
          t.text = w;
          t.length = static_cast<uint32_t>(n);
        }
        break;
      }
      default: {
        if (IsUpper(c)) {
          const char* w = p;
          while (p < end && IsWordChar(*p)) ++p;
          const size_t n = static_cast<size_t>(p - w);
          if (p == end) return Split::kShort;
          if (*p == '-' || IsReserved(w, n)) return Split::kOther;
          t.kind = Tok::kKeyword;
          t.length = static_cast<uint32_t>(n);
          break;
        }
        if (c != '+' && c != '-' && !IsDigit(c)) return Split::kOther;
        const char* number = p;
        if (c == '+' || c == '-') ++p;
        // The digits are gathered as they are passed: a short decimal needs nothing more (see
        // ExactReal, which gives the same).
        const char* digits = p;
        uint64_t mantissa = 0;
        bool exact = true;
        for (; p < end && IsDigit(*p); ++p) {
          if (mantissa >= kExactDigitsLimit)
            exact = false;
          else
            mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
        }
        if (p == end) return Split::kShort;
        if (p == digits) return Split::kOther;
        const char* from = number + (c == '+' ? 1 : 0);
        if (*p != '.') {
          long v = 0;
          auto [ptr, ec] = std::from_chars(from, p, v);
          if (ec != std::errc() || ptr != p || v > INT32_MAX || v < INT32_MIN) return Split::kOther;
          t.kind = Tok::kInteger;
          t.integer = v;
          break;
        }
        ++p;
        long decimals = 0;
        for (; p < end && IsDigit(*p); ++p) {
          if (mantissa >= kExactDigitsLimit) {
            exact = false;
          } else {
            mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
            ++decimals;
          }
        }
        if (p == end) return Split::kShort;
        double v = 0;
        if (*p == 'E') {
          const char* e = p + 1;
          if (e < end && (*e == '+' || *e == '-')) ++e;
          if (e == end) return Split::kShort;
          if (!IsDigit(*e)) return Split::kOther;
          p = e;
          while (p < end && IsDigit(*p)) ++p;
          if (p == end) return Split::kShort;
          exact = ExactReal(from, p, v);
        } else if (exact && decimals <= 22) {
          v = static_cast<double>(mantissa) / kPowers[decimals];
          if (c == '-') v = -v;
        } else {
          exact = false;
        }
        if (!exact) {
          auto [ptr, ec] = std::from_chars(from, p, v);
          if (ec != std::errc() || ptr != p) return Split::kOther;
        }
        t.kind = Tok::kReal;
        t.real = v;
        break;
      }
    }
  }
}

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
Split ScanDefinition(const char* begin, const char* end, Definition& d) {
  const char* p = begin;
  int32_t lines = 0;
  // Blanks, line ends and comments before the definition, as the lexer passes over them.
  for (;;) {
    while (p < end && (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t')) lines += *p++ == '\n';
    if (p == end || *p != '/') break;
    if (p + 1 == end) return Split::kShort;
    if (p[1] != '*') return Split::kOther;
    p += 2;
    for (;;) {
      if (p + 1 >= end) return Split::kShort;
      char s = *p++;
      if (s == '\n') ++lines;
      if (s == '\0') return Split::kOther;
      if (s == '*' && *p == '/') {
        ++p;
        break;
      }
    }
  }
  d.linesBefore = lines;
  // "#digits=KEYWORD(" with nothing in between.
  if (p == end) return Split::kShort;
  if (*p != '#') return Split::kOther;
  const char* name = ++p;
  while (p < end && IsDigit(*p)) ++p;
  if (p == end) return Split::kShort;
  if (p == name || *p != '=') return Split::kOther;
  d.name = name;
  d.nameLength = static_cast<size_t>(p - name);
  if (d.nameLength > kMaxScannedName) return Split::kOther;
  ++p;
  d.equalsAt = static_cast<size_t>(p - begin);
  const char* keyword = p;
  if (p == end) return Split::kShort;
  if (!IsUpper(*p)) return Split::kOther;
  while (p < end && IsWordChar(*p)) ++p;
  if (p == end) return Split::kShort;
  if (*p != '(') return Split::kOther;
  d.keyword = keyword;
  d.keywordLength = static_cast<size_t>(p - keyword);
  // The reserved words are tokens of their own: the parser reads such a definition.
  if (IsReserved(keyword, d.keywordLength)) return Split::kOther;
  // Parameters are skipped as the lexer skips them: nested parentheses, strings and comments; the end of the file or a NUL character is left to the parser.
  int depth = 1;
  ++p;
  while (depth > 0) {
    p = SkipPlain(p, end);
    if (p == end) return Split::kShort;
    char c = *p++;
    switch (c) {
      case '(': ++depth; break;
      case ')': --depth; break;
      case '\n': ++lines; break;
      case '\0': return Split::kOther;
      case '\'':
        for (;;) {
          if (p == end) return Split::kShort;
          char s = *p++;
          // A string goes on over line ends; a directive may hide an apostrophe ("\S\'"):
          // such strings are left to the parser.
          if (s == '\n') {
            ++lines;
            continue;
          }
          if (s == '\0' || s == '\\') return Split::kOther;
          if (s == '\'') {
            if (p == end) return Split::kShort;
            if (*p != '\'') break;
            ++p;
          }
        }
        break;
      case '/':
        if (p == end) return Split::kShort;
        if (*p == '*') {
          ++p;
          for (;;) {
            if (p + 1 >= end) return Split::kShort;
            char s = *p++;
            if (s == '\n') ++lines;
            if (s == '\0') return Split::kOther;
            if (s == '*' && *p == '/') {
              ++p;
              break;
            }
          }
        }
        break;
      default: break;
    }
  }
  // ");" and the one blank or line end the parser takes after a definition.
  if (p == end) return Split::kShort;
  if (*p != ';') return Split::kOther;
  if (p + 1 == end) return Split::kShort;
  ++p;
  // (A NUL there goes too: the reader takes it for the end of the file and cannot put that
  // back.)
  if (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\0') lines += *p++ == '\n';
  d.consumed = static_cast<size_t>(p - begin);
  d.lines = lines;
  return Split::kDone;
}

// Checks the grammar of a parameter starting at token i; answers the token after it, or -1.
long CheckParameter(const std::vector<Token>& t, long i, int depth);

// "(" parameters ")" with at least `min` of them; answers the token after ")" or -1.
long CheckList(const std::vector<Token>& t, long i, int depth) {
  if (t[static_cast<size_t>(i)].kind != Tok::kLeft) return -1;
  ++i;
  if (t[static_cast<size_t>(i)].kind == Tok::kRight) return i + 1;
  for (;;) {
    i = CheckParameter(t, i, depth + 1);
    if (i < 0) return -1;
    Tok k = t[static_cast<size_t>(i)].kind;
    if (k == Tok::kRight) return i + 1;
    if (k != Tok::kComma) return -1;
    ++i;
  }
}

long CheckParameter(const std::vector<Token>& t, long i, int depth) {
  if (depth > kMaxDepth) return -1;
  switch (t[static_cast<size_t>(i)].kind) {
    case Tok::kMissing:
    case Tok::kStar:
    case Tok::kInteger:
    case Tok::kReal:
    case Tok::kLogical:
    case Tok::kEnum:
    case Tok::kString:
    case Tok::kReference: return i + 1;
    case Tok::kKeyword: {
      // A typed parameter holds exactly one parameter.
      if (t[static_cast<size_t>(i) + 1].kind != Tok::kLeft) return -1;
      long next = CheckParameter(t, i + 2, depth + 1);
      if (next < 0 || t[static_cast<size_t>(next)].kind != Tok::kRight) return -1;
      return next + 1;
    }
    case Tok::kLeft: return CheckList(t, i, depth);
    default: return -1;
  }
}

// Lower-case copy of a word into a buffer of the caller (or the heap for a long word).
class LowerWord {
 public:
  LowerWord(const char* text, size_t n) {
    char* out = n < sizeof small_ ? small_ : (heap_ = new char[n + 1]);
    for (size_t k = 0; k < n; ++k) {
      char c = text[k];
      out[k] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    out[n] = '\0';
    text_ = out;
  }
  ~LowerWord() { delete[] heap_; }
  LowerWord(const LowerWord&) = delete;
  LowerWord& operator=(const LowerWord&) = delete;
  const char* get() const { return text_; }

 private:
  char small_[96];
  char* heap_ = nullptr;
  const char* text_;
};

class Builder {
 public:
  Builder(const std::vector<Token>& tokens, cct_Scope& scope) : t_(tokens), scope_(scope) {}

  // A flat list of reals at token i given to an aggregate attribute of REAL elements goes into
  // the attribute straight away when that can neither fail nor report (stored set, answer
  // null), else becomes a list of raw reals, which the attribute takes over without an object
  // per element. Null (and i unchanged) for anything else.
  cct_Type* RealList(size_t& i, cct_Type* attribute, bool& stored) {
    stored = false;
    if (!attribute || CompatibilityMode != 2 || t_[i].kind != Tok::kLeft) return nullptr;
    // Only aggregate values answer the aggregate kind, and the one-dimensional ones are all
    // cct_AggregateType_1d.
    if (attribute->Kind() != cct_KIND_AGGREGATE) return nullptr;
    auto* aggregate = static_cast<cct_AggregateType*>(attribute);
    if (aggregate->Dimensions() != 1 || aggregate->ElementDescriptor()->kind != cct_KIND_REAL)
      return nullptr;
    static std::vector<double> values;
    values.clear();
    size_t k = i + 1;
    for (;; k += 2) {
      // Whole numbers among them are reals too, as an aggregate of reals takes them.
      if (t_[k].kind == Tok::kReal)
        values.push_back(t_[k].real);
      else if (t_[k].kind == Tok::kInteger)
        values.push_back(static_cast<double>(t_[k].integer));
      else
        return nullptr;
      if (t_[k + 1].kind == Tok::kRight) break;
    }
    i = k + 2;
    // (The attribute would take the list as the first thing done with it after the build; the
    // direct way makes no message, so nothing tells the two apart.)
    if (static_cast<cct_AggregateType_1d*>(aggregate)->TakeReals(values.data(),
                                                                  static_cast<uint32_t>(values.size()))) {
      stored = true;
      return nullptr;
    }
    return cct_parsed::RealList(values.data(), values.size());
  }

  // A flat list of references at token i given to an aggregate attribute of entity references
  // goes into the attribute straight away, as the entries of the names, when that can neither
  // fail nor report (stored set, answer null); else it becomes the list value the parser
  // makes. Null (and i unchanged) for anything else.
  cct_Type* ReferenceList(size_t& i, cct_Type* attribute, bool& stored) {
    stored = false;
    if (!attribute || CompatibilityMode != 2 || t_[i].kind != Tok::kLeft) return nullptr;
    if (attribute->Kind() != cct_KIND_AGGREGATE) return nullptr;
    auto* aggregate = static_cast<cct_AggregateType*>(attribute);
    if (aggregate->Dimensions() != 1 ||
        aggregate->ElementDescriptor()->kind != cct_KIND_ENTITY_REFERENCE)
      return nullptr;
    size_t k = i + 1;
    for (;; k += 2) {
      if (t_[k].kind != Tok::kReference) return nullptr;
      if (t_[k + 1].kind == Tok::kRight) break;
    }
    // Every name must be known already: a new one would be entered only when the attribute
    // is given its value, after the whole record is read.
    static std::vector<cct_Scope::Entry*> entries;
    entries.clear();
    bool known = true;
    for (size_t r = i + 1; r <= k && known; r += 2) {
      char name[16];
      cct_Scope::Entry* entry = nullptr;
      if (t_[r].length < sizeof name) {
        std::memcpy(name, t_[r].text, t_[r].length);
        name[t_[r].length] = '\0';
        entry = scope_.FindEntry(name, 0);
      }
      known = entry != nullptr;
      entries.push_back(entry);
    }
    if (known && static_cast<cct_AggregateType_1d*>(aggregate)->TakeEntries(
                     entries.data(), static_cast<uint32_t>(entries.size()))) {
      i = k + 2;
      stored = true;
      return nullptr;
    }
    return Parameter(i);
  }

  // A string at token i given to a string attribute that takes a string goes into it straight
  // away (stored set): what the attribute does with the parser's string value, without the
  // value.
  void PlainString(size_t& i, cct_Type* attribute, bool& stored) {
    stored = false;
    if (!attribute || t_[i].kind != Tok::kString || attribute->Kind() != cct_KIND_STRING) return;
    // Whether a string attribute takes a string depends on the two types only.
    static const cct_StringType kProbe;
    if (attribute->TestCompatibility(&kProbe) == 0) return;
    static_cast<cct_StringType*>(attribute)->Set(StringValue(t_[i]), cct_AdoptText{});
    ++i;
    stored = true;
  }

  // Builds the parameter at token i (already checked) and moves i past it. What was built
  // before a throw has been released.
  cct_Type* Parameter(size_t& i) {
    const Token& token = t_[i++];
    switch (token.kind) {
      case Tok::kMissing: return nullptr;
      case Tok::kStar: return cct_parsed::Star();
      case Tok::kInteger: return cct_parsed::Integer(token.integer);
      case Tok::kReal: return cct_parsed::Real(token.real);
      case Tok::kLogical: return cct_parsed::Logical(token.integer);
      case Tok::kEnum: {
        LowerWord text(token.text, token.length);
        return cct_parsed::Enumeration(text.get());
      }
      case Tok::kString: return cct_parsed::String(StringValue(token));
      case Tok::kReference: {
        char name[16];
        if (token.length < sizeof name) {
          std::memcpy(name, token.text, token.length);
          name[token.length] = '\0';
          return cct_parsed::Reference(scope_, name);
        }
        std::string longName(token.text, token.length);
        return cct_parsed::Reference(scope_, longName.c_str());
      }
      case Tok::kKeyword: {
        LowerWord keyword(token.text, token.length);
        ++i;  // "("
        cct_Type* parameter = Parameter(i);
        ++i;  // ")"
        cct_Type* typed = nullptr;
        try {
          typed = cct_parsed::Typed(keyword.get(), parameter);
        } catch (...) {
          cct_parsed::ReleaseValue(parameter);
          throw;
        }
        cct_parsed::ReleaseValue(parameter);
        return typed;
      }
      case Tok::kLeft: {
        std::vector<cct_Type*>& entries = Entries();
        entries.clear();
        struct Level {
          int& depth;
          ~Level() { --depth; }
        } level{++depth_};
        try {
          if (t_[i].kind == Tok::kRight) {
            ++i;
            return cct_parsed::List(nullptr, 0);
          }
          for (;;) {
            entries.push_back(Parameter(i));
            if (t_[i++].kind == Tok::kRight) break;
          }
          return cct_parsed::List(entries.data(), entries.size());
        } catch (...) {
          for (cct_Type* v : entries) cct_parsed::ReleaseValue(v);
          throw;
        }
      }
      default: return nullptr;  // not reached: the tokens were checked
    }
  }

 private:
  // One list of entries per nesting level, kept from record to record.
  // (The checks allow no deeper nesting than kMaxDepth.)
  std::vector<cct_Type*>& Entries() {
    static std::vector<cct_Type*> levels[kMaxDepth + 3];
    return levels[depth_ + 1];
  }
  int depth_ = 0;

  // The text of a string as the lexer makes it: doubled apostrophes become one.
  static char* StringValue(const Token& token) {
    if (!token.pairs) {
      if (token.length == 0) return cct_CopyText("");
      char* copy = new char[token.length + 1];
      std::memcpy(copy, token.text, token.length);
      copy[token.length] = '\0';
      return copy;
    }
    const std::string decoded = cct_DecodeP21Text(std::string_view(token.text, token.length), nullptr);
    return cct_CopyText(decoded.c_str());
  }

  const std::vector<Token>& t_;
  cct_Scope& scope_;
};

// The counters between a thread that fills the slots of a ring one after the other and the
// reader that takes them in the same order. Each side keeps a copy of the other's counter and
// reads the shared one only when its copy falls short: every reading of it is a trip to the
// other core.
class Handoff {
 public:
  explicit Handoff(size_t slots) : slots_(slots) {}
  /// Stops the thread and waits for it.
  ~Handoff() {
    Stop();
    if (thread_.joinable()) thread_.join();
  }
  Handoff(const Handoff&) = delete;
  Handoff& operator=(const Handoff&) = delete;

  /// Runs the thread's side. (Whatever it uses must be made before, and go after, this object.)
  template <class Run>
  void Start(Run run) {
    thread_ = std::thread(run);
  }

  // The reader's side.

  /// Gives the slots before k back to the thread.
  void Release(size_t k) { released_.store(k, std::memory_order_release); }
  /// Whether slot k is filled, as far as the reader knows without asking.
  bool Filled(size_t k) const { return k < filledHere_; }
  /// Waits until slot k is filled.
  void WaitFor(size_t k) {
    if (k >= filledHere_) filledHere_ = filled_.load(std::memory_order_acquire);
    // The thread is mostly just a little behind when it is: a short spin saves the sleep and
    // the wake-up.
    for (int spin = 0; k >= filledHere_ && spin < 4000; ++spin) {
      Pause();
      filledHere_ = filled_.load(std::memory_order_acquire);
    }
    if (k < filledHere_) return;
    // (Sequentially consistent: the reader says it sleeps and then looks at the counter, the
    // thread stores the counter and then looks whether the reader sleeps; weaker orders could
    // let both miss each other.)
    std::unique_lock<std::mutex> lock(mutex_);
    readerWaiting_ = true;
    wake_.wait(lock, [&] { return filled_ > k; });
    readerWaiting_ = false;
    filledHere_ = filled_;
  }
  void Stop() { stop_ = true; }

  // The thread's side.

  /// Waits until slot k may be filled; false when the reader has stopped the thread. With every
  /// slot filled, the thread naps until half of them are free again: the reader never has to
  /// wake it.
  bool WaitForRoom(size_t k) {
    if (k >= releasedHere_ + slots_) {
      while (k + slots_ / 2 > releasedHere_ + slots_) {
        if (stop_) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        releasedHere_ = released_.load(std::memory_order_acquire);
      }
    }
    return !stop_;
  }
  bool ReaderWaiting() const { return readerWaiting_.load(std::memory_order_relaxed); }
  /// The slots before `count` are filled.
  void Publish(size_t count) {
    filled_ = count;
    if (readerWaiting_) {
      std::lock_guard<std::mutex> lock(mutex_);
      wake_.notify_all();
    }
  }

 private:
  // Each side's own counter and copy in a cache line of its own: sharing a line, one side's
  // writes would take it from the other each time.
  const size_t slots_;
  alignas(64) std::atomic<size_t> filled_{0};  // slots [0, filled_) are filled
  size_t releasedHere_ = 0;                    // the thread's copy of released_
  alignas(64) std::atomic<size_t> released_{0};  // slots [0, released_) are given back
  size_t filledHere_ = 0;                        // the reader's copy of filled_
  alignas(64) std::atomic<bool> readerWaiting_{false};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
};

}  // namespace

// The second thread of a full read: it walks the entries in the order they will be read and, a
// stretch ahead of the reader, fetches each record (through a page cache of its own), splits it
// into tokens and checks its grammar, exactly as FastEvaluate does with the record in its
// window. The reader takes the prepared record when it reads that entry; a record the thread
// could not prepare (unusual, long, damaged) is read by the reader itself as always. The thread
// touches nothing but the file, the entries' offsets and its own slots.
class cct_StepFile::ReadAhead {
 public:
  struct Slot {
    std::vector<Token> tokens;
    size_t consumed = 0;  // the record with the blank after it
    bool ready = false;
    char text[cct_PageCache::kSpill];
    std::vector<char> longText;  // a record longer than text
  };

  ReadAhead(int fd, const std::vector<cct_Scope::Entry*>& order)
      : fd_(fd), order_(order), slots_(kSlots), handoff_(kSlots) {
    handoff_.Start([this] { Run(); });
  }

  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  /// The prepared record of an entry about to be read in the planned order; null when it is not
  /// among the next planned ones or could not be prepared. Valid until the next Take.
  const Slot* Take(const cct_Scope::Entry* entry) {
    size_t k = next_;
    const size_t last = std::min(order_.size(), next_ + kLookAhead);
    while (k < last && order_[k] != entry) ++k;
    if (k == last) return nullptr;
    // The slots before k will not be asked for: they go back to the thread with the previous
    // one; slot k stays the reader's until the next take.
    handoff_.Release(k);
    next_ = k + 1;
    handoff_.WaitFor(k);
    // What the records a little further on need is fetched from the other core while this one
    // is built: the head of a slot, then (its head now here) its tokens and text.
    if (handoff_.Filled(k + 4)) __builtin_prefetch(&slots_[(k + 4) % kSlots]);
    if (handoff_.Filled(k + 2)) {
      const Slot& next = slots_[(k + 2) % kSlots];
      const char* tokens = reinterpret_cast<const char*>(next.tokens.data());
      const size_t bytes = std::min<size_t>(next.tokens.size() * sizeof(Token), 320);
      for (size_t at = 0; at < bytes; at += 64) __builtin_prefetch(tokens + at);
      __builtin_prefetch(next.text);
    }
    const Slot& slot = slots_[k % kSlots];
    return slot.ready ? &slot : nullptr;
  }

 private:
  static constexpr size_t kSlots = 1024;
  static constexpr size_t kLookAhead = 64;
  static constexpr size_t kKeptTokens = 256;

  void Run() {
    for (size_t k = 0; k < order_.size(); ++k) {
      if (!handoff_.WaitForRoom(k)) return;
      // The entries lie scattered in memory: the one needed a few records on is fetched
      // meanwhile.
      if (k + 16 < order_.size()) __builtin_prefetch(order_[k + 16]);
      Prepare(slots_[k % kSlots], order_[k]->fileOffset);
      if ((k + 1) % 8 == 0 || k + 1 == order_.size() || handoff_.ReaderWaiting()) handoff_.Publish(k + 1);
    }
  }

  void Prepare(Slot& slot, long offset) {
    slot.ready = false;
    // A slot that held a long record gives its room back: kept, every slot would in time
    // hold as much as the longest record, a thousand times over.
    if (slot.tokens.capacity() > kKeptTokens) std::vector<Token>().swap(slot.tokens);
    if (slot.longText.capacity() > 0) std::vector<char>().swap(slot.longText);
    if (offset <= 0) return;
    try {
      const char* bytes = nullptr;
      const ssize_t n = pages_.Find(fd_, offset, sizeof slot.text, bytes);
      if (n <= 0) return;
      const char* stop = nullptr;
      Split split = Tokenize(bytes, bytes + n, slot.tokens, stop);
      const char* base = bytes;
      if (split == Split::kShort && static_cast<size_t>(n) == sizeof slot.text) {
        // A long record (a list of many points): read with the larger window the reader would
        // widen to.
        wide_.resize(kWideWindow);
        ssize_t w;
        do {
          w = pread(fd_, wide_.data(), kWideWindow, offset);
        } while (w < 0 && errno == EINTR);
        if (w <= 0) return;
        base = wide_.data();
        split = Tokenize(base, base + w, slot.tokens, stop);
      }
      if (split != Split::kDone) return;
      const std::vector<Token>& t = slot.tokens;
      if (t.size() < 4 || t[0].kind != Tok::kKeyword) return;
      const long next = CheckList(t, 1, 0);
      if (next < 0 || static_cast<size_t>(next) != t.size() - 1) return;
      // The record's own copy, which its tokens then point into: the page may be gone when the
      // reader gets to it.
      slot.consumed = static_cast<size_t>(stop - base);
      char* kept = slot.text;
      if (slot.consumed > sizeof slot.text) {
        slot.longText.resize(slot.consumed);
        kept = slot.longText.data();
      }
      std::memcpy(kept, base, slot.consumed);
      for (Token& token : slot.tokens) token.text = kept + (token.text - base);
      slot.ready = true;
    } catch (...) {
      slot.ready = false;  // (out of memory) the reader reads it itself
    }
  }

  // As large as the window the reader widens to for a long record.
  static constexpr size_t kWideWindow = 1 << 16;

  const int fd_;
  const std::vector<cct_Scope::Entry*>& order_;
  std::vector<char> wide_;
  std::vector<Slot> slots_;
  cct_PageCache pages_;
  Handoff handoff_;  // (last but one: its thread ends before what it uses goes)
  size_t next_ = 0;  // the reader's: the planned position it expects next
};

// The second thread of a scan: it indexes the definitions of the usual form from a place in the
// file on, in file order, exactly as the direct scan does, a stretch ahead of the scan, which
// takes each definition and enters it. At the first definition it cannot index itself (a
// comment, a long or unusual definition, the end of the data) it stops and says where, and the
// scan goes on from there as always. The thread touches nothing but the file and its ring.
class cct_StepFile::ScanAhead {
 public:
  // What the scan reads of a definition lies in its first 64 bytes; the keyword, in the next
  // ones, is written (and read) only when it differs from the one before.
  struct alignas(64) Found {
    long equalsOffset;
    long endOffset;  // past the definition, or where the thread stopped
    int32_t equalsLine;
    int32_t endLine;
    bool last;  // no definition: the thread stopped at endOffset, endLine
    bool sameKeyword;
    uint8_t nameLength;
    uint8_t keywordLength;
    char name[kMaxScannedName + 1];
    char keyword[84];
  };

  ScanAhead(int fd, long offset, int32_t line)
      : fd_(fd), start_(offset), startLine_(line), buffer_(kBuffer), found_(kSlots), handoff_(kSlots) {
    handoff_.Start([this] { Run(); });
  }

  ScanAhead(const ScanAhead&) = delete;
  ScanAhead& operator=(const ScanAhead&) = delete;

  /// The next definition (or the place where the thread stopped, the last); valid until the
  /// next call.
  const Found& Next() {
    handoff_.Release(next_);
    handoff_.WaitFor(next_);
    if (handoff_.Filled(next_ + 4)) __builtin_prefetch(&found_[(next_ + 4) % kSlots]);
    return found_[next_++ % kSlots];
  }

  size_t Taken() const { return next_; }

 private:
  static constexpr size_t kSlots = 4096;
  static constexpr size_t kBatch = 32;
  static constexpr size_t kBuffer = 1 << 18;

  // (Nothing in here throws: what it needs was made before it started.)
  void Run() {
    std::vector<char>& buffer = buffer_;
    long bufferStart = start_;  // the file offset of buffer[0]
    size_t have = 0;
    size_t at = 0;
    bool ended = false;
    int32_t line = startLine_;
    char keyword[sizeof(Found::keyword)];  // of the definition before
    size_t keywordLength = 0;
    for (size_t k = 0;; ++k) {
      if (!handoff_.WaitForRoom(k)) return;
      Found& f = found_[k % kSlots];
      Split split;
      Definition d;
      for (;;) {
        split = ScanDefinition(buffer.data() + at, buffer.data() + have, d);
        if (split != Split::kShort || ended || (at == 0 && have == buffer.size())) break;
        // The definition runs past what is read: the rest moves to the front and more follows.
        std::memmove(buffer.data(), buffer.data() + at, have - at);
        bufferStart += static_cast<long>(at);
        have -= at;
        at = 0;
        ssize_t n;
        do {
          n = pread(fd_, buffer.data() + have, buffer.size() - have, bufferStart + static_cast<long>(have));
        } while (n < 0 && errno == EINTR);
        if (n <= 0)
          ended = true;
        else
          have += static_cast<size_t>(n);
      }
      f.last = split != Split::kDone || d.keywordLength >= sizeof f.keyword;
      if (!f.last) {
        f.equalsOffset = bufferStart + static_cast<long>(at + d.equalsAt);
        f.equalsLine = line + d.linesBefore;
        f.nameLength = static_cast<uint8_t>(d.nameLength);
        std::memcpy(f.name, d.name, d.nameLength);
        f.sameKeyword = k > 0 && d.keywordLength == keywordLength &&
                        std::memcmp(d.keyword, keyword, d.keywordLength) == 0;
        if (!f.sameKeyword) {
          f.keywordLength = static_cast<uint8_t>(d.keywordLength);
          std::memcpy(f.keyword, d.keyword, d.keywordLength);
          std::memcpy(keyword, d.keyword, d.keywordLength);
          keywordLength = d.keywordLength;
        }
        at += d.consumed;
        line += d.lines;
      }
      f.endOffset = bufferStart + static_cast<long>(at);
      f.endLine = line;
      // Told in batches: telling costs the thread a wait for all it has written.
      if (f.last || (k + 1) % kBatch == 0 || handoff_.ReaderWaiting()) handoff_.Publish(k + 1);
      if (f.last) return;
    }
  }

  const int fd_;
  const long start_;
  const int32_t startLine_;
  std::vector<char> buffer_;
  std::vector<Found> found_;
  Handoff handoff_;  // (last but one: its thread ends before what it uses goes)
  size_t next_ = 0;  // the scan's: the next slot it takes
};

bool cct_StepFile::TakeScannedAhead() {
  if (!scanAhead_) return false;
  const ScanAhead::Found& f = scanAhead_->Next();
  if (f.last) {
    // The scan goes on from where the thread stopped, by itself.
    Seek(f.endOffset);
    SetLine(f.endLine);
    scanAheadTaken_ = scanAhead_->Taken();
    scanAhead_.reset();
    return false;
  }
  const long typeId = f.sameKeyword ? scanned_.typeId : KeywordTypeId(f.keyword, f.keywordLength);
  TakeDefinition(f.name, f.nameLength, typeId, f.equalsOffset, f.equalsLine);
  // (What the scan reports is told at the line reached, as it would be.)
  SetLine(f.endLine);
  scanAheadOffset_ = f.endOffset;
  return true;
}

void cct_StepFile::StartScanAhead() {
  // A thread pays off on a long stretch of plain definitions; after a few short runs (a file
  // full of what the thread leaves alone) the scan goes on by itself.
  if (scanAhead_ || !directReading || !stream_ || unputCount_ > 0) return;
  if (scanAheadRuns_ >= 4 && scanAheadTaken_ < 4096) return;
  ++scanAheadRuns_;
  try {
    scanAhead_.reset(new ScanAhead(fileno(stream_), Tell(), static_cast<int32_t>(line_)));
  } catch (...) {
    // (No thread to be had, or no memory for it: the scan goes on by itself.)
  }
}

void cct_StepFile::EndScanAhead::operator()(ScanAhead* scanAhead) const { delete scanAhead; }

void cct_StepFile::StartReadAhead(const std::vector<cct_Scope::Entry*>& order) {
  StopReadAhead();
  if (!directReading || !stream_ || order.empty()) return;
  try {
    readAhead_.reset(new ReadAhead(fileno(stream_), order));
  } catch (...) {
    // (No thread to be had, or no memory for it: every record is read as it is asked for.)
  }
}

void cct_StepFile::EndReadAhead::operator()(ReadAhead* readAhead) const { delete readAhead; }

void cct_StepFile::StopReadAhead() { readAhead_.reset(); }

bool cct_StepFile::FastScan() {
  if (!directReading) return false;
  const char* begin;
  const char* end;
  if (!Window(begin, end)) return false;
  Definition d;
  if (ScanDefinition(begin, end, d) != Split::kDone) return false;
  TakeDefinition(d.name, d.nameLength, KeywordTypeId(d.keyword, d.keywordLength),
                 Tell() + static_cast<long>(d.equalsAt), line_ + d.linesBefore);
  Consume(d.consumed, d.lines);
  return true;
}

void cct_StepFile::TakeDefinition(const char* name, size_t nameLength, long typeId,
                                  long equalsOffset, int32_t equalsLine) {
  std::memcpy(scanName_, name, nameLength);
  scanName_[nameLength] = '\0';
  BorrowCurrentName(scanName_);
  scanned_ = DefinitionPosition{equalsOffset, equalsLine, 0, static_cast<int32_t>(typeId)};
}

long cct_StepFile::KeywordTypeId(const char* keyword, size_t length) {
  // Most records repeat the keyword of the one before: its identifier is kept, as long as the
  // schema binding and its name table are the ones it was looked up in.
  const cct_SchemaBinding* binding = cct_GetSchemaBinding();
  const long names = EntityNameTable.KeyCount();
  if (length != lastEntity_.length || length >= sizeof lastEntity_.keyword ||
      std::memcmp(keyword, lastEntity_.keyword, length) != 0 || binding != lastEntity_.binding ||
      names != lastEntity_.names) {
    LowerWord lower(keyword, length);
    lastEntity_.id = cct_LookupTypeId(EntityNameTable, lower.get());
    lastEntity_.length = length < sizeof lastEntity_.keyword ? length : 0;
    std::memcpy(lastEntity_.keyword, keyword, lastEntity_.length);
    lastEntity_.binding = binding;
    lastEntity_.names = names;
  }
  return lastEntity_.id;
}

bool cct_StepFile::FastEvaluate() {
  if (!directReading) return false;
  const char* begin;
  const char* end;
  const ReadAhead::Slot* prepared =
      readAhead_ && unputCount_ == 0 ? readAhead_->Take(readingEntry_) : nullptr;
  static std::vector<Token> own;
  const std::vector<Token>& tokens = prepared ? prepared->tokens : own;
  if (prepared) {
    // From here on the record is read: the same state as a parse of it.
    Seek(Tell() + static_cast<long>(prepared->consumed));
  } else {
    if (!Window(begin, end)) return false;
    const char* stop = nullptr;
    Split split = Tokenize(begin, end, own, stop);
    if (split == Split::kShort && WidenWindow() && Window(begin, end))
      split = Tokenize(begin, end, own, stop);
    if (split != Split::kDone) return false;
    // KEYWORD "(" parameters ")" ";" and nothing else.
    if (own.size() < 4 || own[0].kind != Tok::kKeyword) return false;
    long next = CheckList(own, 1, 0);
    if (next < 0 || static_cast<size_t>(next) != own.size() - 1) return false;
    Consume(static_cast<size_t>(stop - begin), 0);
  }
  struct Parse {
    cct_StepFile* file;
    int mode;
    cct_InputFile* input;
    cct_StepFile* parser;
    bool parsing;
    explicit Parse(cct_StepFile* f)
        : file(f), mode(f->parseMode_), input(cct_currentInputFile), parser(cct_parserFile),
          parsing(cct_StepFile::parsing) {
      f->parseMode_ = kEvaluate;
      cct_currentInputFile = f;
      cct_parserFile = f;
      cct_StepFile::parsing = true;
    }
    ~Parse() {
      file->parseMode_ = mode;
      cct_currentInputFile = input;
      cct_parserFile = parser;
      cct_StepFile::parsing = parsing;
    }
  } parse(this);

  // The instance is made first (silently: a missing entity is reported where the parser
  // reports it, after the parameters), so that a parameter can be built for its attribute.
  const long entityId = KeywordTypeId(tokens[0].text, tokens[0].length);
  cct_Instance* instance = entityId ? CreateEntity(entityId) : nullptr;
  Builder builder(tokens, scope_);
  // One list serves every record; it is emptied when the record is done.
  static cct_ParameterList parameters;
  cct_ParameterList* list = &parameters;
  size_t i = 2;
  long missing = 0;
  try {
    if (tokens[i].kind == Tok::kRight) {
      ++i;
    } else {
      long attribute = instance && instance->Kind() == 19 ? instance->FirstOwnAttribute() : 0;
      for (;; ++attribute) {
        bool stored = false;
        cct_Type* target = instance ? instance->Attribute(attribute) : nullptr;
        // "$" leaves a LOGICAL unset, not at the unknown a new one starts with.
        if (target && tokens[i].kind == Tok::kMissing && target->Kind() == cct_KIND_LOGICAL)
          target->Unset();
        cct_Type* value = builder.RealList(i, target, stored);
        if (!value && !stored) value = builder.ReferenceList(i, target, stored);
        if (!value && !stored) builder.PlainString(i, target, stored);
        if (!value && !stored) value = builder.Parameter(i);
        // Leading missing values (and values already given) are only counted: a list of
        // nothing but them needs no list.
        if (!value && !list->FirstNode()) {
          ++missing;
        } else {
          for (; missing > 0; --missing) cct_parsed::Append(list, nullptr);
          cct_parsed::Append(list, value);
        }
        if (tokens[i++].kind == Tok::kRight) break;
      }
    }
  } catch (...) {
    delete instance;
    cct_parsed::EmptyList(*list);
    throw;
  }

  if (instance) {
    try {
      if (!list->FirstNode())
        instance->ProcessMissingAttributes(missing, *this);
      else
        instance->ProcessAttributeList(*list, *this);
    } catch (...) {
      delete instance;
      cct_parsed::EmptyList(*list);
      throw;
    }
  } else {
    LowerWord keyword(tokens[0].text, tokens[0].length);
    cct_errlog(cct_Error(cct_PROGRAM_BUG)) << *this << "\n   The entity '" << keyword.get()
                                           << "' is not defined"
                                           << "\n   in the underlying EXPRESS schema.";
  }
  cct_parsed::EmptyList(*list);

  try {
    scope_.RegisterName(currentName_, instance);
  } catch (...) {
    if (instance && !instance->IsRegistered()) delete instance;
    throw;
  }
  if (instance && !instance->IsRegistered()) {
    // The name was locked by another instance: this one has no owner.
    delete instance;
    instance = nullptr;
  }
  AdoptCurrentName(nullptr);
  currentInstance_ = instance;
  return true;
}

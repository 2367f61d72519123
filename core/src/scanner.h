// The lexical rules of exchange files, written once: the character classes, the reserved words,
// and the forms that are passed over whole (layout, comments, strings, a definition's
// parameters). The rules are templates over where the characters come from: the input file
// with its push-back (the lexer that feeds the grammar, the reading of kept records and
// sections) or a window of the read buffer (the scan and the direct reader, which leave to the
// parser anything that does not fit their window or holds a NUL character).
#ifndef CCT_SCANNER_H
#define CCT_SCANNER_H

#include <cstddef>
#include <cstdint>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cct_scan {

// ---- character classes ----

enum : uint8_t { kUpper = 1, kDigit = 2, kUnderscore = 4, kHex = 8, kLayout = 16 };

constexpr struct CharClasses {
  uint8_t of[256] = {};
  constexpr CharClasses() {
    for (int c = 'A'; c <= 'Z'; ++c) of[c] |= kUpper;
    for (int c = '0'; c <= '9'; ++c) of[c] |= kDigit | kHex;
    for (int c = 'A'; c <= 'F'; ++c) of[c] |= kHex;
    of[static_cast<int>('_')] |= kUnderscore;
    of[static_cast<int>(' ')] |= kLayout;
    of[static_cast<int>('\t')] |= kLayout;
    of[static_cast<int>('\r')] |= kLayout;
    of[static_cast<int>('\n')] |= kLayout;
  }
} kClasses;

// Characters come as int (0..255, or a reader's end marker below 0) or as char.
inline uint8_t ClassOf(int c) { return c >= 0 && c < 256 ? kClasses.of[c] : 0; }
// (A reader's end marker, below 0, is far beyond 'Z' and '9' as unsigned.)
inline bool IsUpper(int c) { return static_cast<unsigned>(c - 'A') < 26u; }
inline bool IsDigit(int c) { return static_cast<unsigned>(c - '0') < 10u; }
inline bool IsHexDigit(int c) { return ClassOf(c) & kHex; }
/// Letters, digits and the underscore: what keywords and the words of enumerations are made of.
inline bool IsWordChar(int c) { return ClassOf(c) & (kUpper | kDigit | kUnderscore); }
/// Blanks, tabs, carriage returns and line ends between tokens.
inline bool IsLayout(int c) { return ClassOf(c) & kLayout; }
// A char needs no range check: the loops over a window's characters use these.
inline uint8_t ClassOf(char c) { return kClasses.of[static_cast<unsigned char>(c)]; }
inline bool IsUpper(char c) { return static_cast<unsigned char>(c - 'A') < 26; }
inline bool IsDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }
inline bool IsWordChar(char c) { return ClassOf(c) & (kUpper | kDigit | kUnderscore); }

/// The reserved words, which are tokens of their own and no keywords.
enum class Reserved : uint8_t { kNone, kData, kEndscope, kEndsec, kHeader };
Reserved ReservedWord(const char* word, size_t length);

// The rules a window runs through character by character are merged into their caller.
#if defined(__GNUC__)
#define CCT_SCAN_INLINE __attribute__((always_inline)) inline
#else
#define CCT_SCAN_INLINE inline
#endif

// ---- readers ----

/// What a reader's Get gives when its window is used up (never for a file, which gives 0).
constexpr int kWindowEnd = -1;

/// Reads a window of the buffer: NUL characters are data (0), the end is kWindowEnd. Counts the
/// line ends it passes when asked to.
template <bool kCountLines>
struct BasicWindowReader {
  const char* p;
  const char* end;
  int32_t lines = 0;

  int Get() {
    if (p == end) return kWindowEnd;
    const char c = *p++;
    if (kCountLines && c == '\n') ++lines;  // rare: a branch costs less than an add
    return static_cast<unsigned char>(c);
  }
  /// Gives back the character the last Get gave (never kWindowEnd).
  void Unget(int) {
    --p;
    if (kCountLines && *p == '\n') --lines;
  }
  /// Moves to the next character a skipped list has to look at: ( ) ' / a line end or NUL.
  /// Numbers and names in between are passed over sixteen at a time.
  void PassPlain() {
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
      if (mask) {
        p += __builtin_ctz(static_cast<unsigned>(mask));
        return;
      }
      p += 16;
    }
#endif
    while (p < end && *p != '(' && *p != ')' && *p != '\'' && *p != '/' && *p != '\n' && *p != '\0')
      ++p;
  }
};

using WindowReader = BasicWindowReader<true>;
/// For a record's tokens, which the direct reader takes only when they stand on one line.
using LineReader = BasicWindowReader<false>;

/// Reads an input file (anything with GetChar and Unput): 0 is the end of the input, which a
/// NUL character also is; pushing back a 0 does nothing, so a NUL read past stays passed.
template <class File>
struct FileReader {
  File* file;
  int Get() { return file->GetChar(); }
  void Unget(int c) { file->Unput(c); }
  void PassPlain() {}
};
template <class File>
FileReader<File> ReadFrom(File& file) {
  return FileReader<File>{&file};
}

/// Runs `rule` on a copy of the reader held in the rule's own variables and then hands the
/// copy's state back: a window's position and line count then stay in registers over a long
/// run of characters instead of going through memory at each one.
template <class Reader, class Rule>
auto OnLocalCopy(Reader& outer, Rule&& rule) {
  Reader in = outer;
  const auto result = rule(in);
  outer = in;
  return result;
}

/// A reader that also keeps every character it passes in `text` (a section kept as read).
template <class Inner>
struct KeepingReader {
  Inner inner;
  std::string* text;
  int Get() {
    const int c = inner.Get();
    if (c > 0) text->push_back(static_cast<char>(c));
    return c;
  }
  void Unget(int c) {
    if (c > 0) text->pop_back();
    inner.Unget(c);
  }
  void PassPlain() {}
};

// ---- forms passed over whole ----

enum class Outcome : uint8_t {
  kDone,   // the form was complete
  kEnded,  // the input ended in it (the end of a file, or a NUL character)
  kShort,  // the window ended in it
};

inline Outcome EndedBy(int c) { return c == 0 ? Outcome::kEnded : Outcome::kShort; }

/// After a reverse solidus in a string: "\\" and the page directive "\S\c" are taken whole,
/// so that neither "\\'" nor "\S\'" ends the string. `keep` gets what belongs to the string.
template <class Reader, class Keep>
CCT_SCAN_INLINE Outcome PassEscape(Reader& in, Keep&& keep) {
  keep('\\');
  const int c = in.Get();
  if (c <= 0) return EndedBy(c);
  if (c == 'S') {
    const int solidus = in.Get();
    if (solidus == '\\') {
      const int page = in.Get();
      if (page <= 0) return EndedBy(page);
      keep('S');
      keep('\\');
      keep(static_cast<char>(page));
      return Outcome::kDone;
    }
    if (solidus == kWindowEnd) return Outcome::kShort;
    in.Unget(solidus);
  }
  if (c == '\\')
    keep('\\');
  else
    in.Unget(c);
  return Outcome::kDone;
}

/// After "/*": the rest of a comment, with its "*/".
template <class Reader>
CCT_SCAN_INLINE Outcome PassComment(Reader& in) {
  for (;;) {
    const int c = in.Get();
    if (c <= 0) return EndedBy(c);
    if (c != '*') continue;
    const int next = in.Get();
    if (next == '/') return Outcome::kDone;
    if (next == kWindowEnd) return Outcome::kShort;
    in.Unget(next);
  }
}

/// After the opening apostrophe: the rest of a string, with its closing apostrophe. Doubled
/// apostrophes and escapes stay inside; line ends do too (writers wrap long strings).
template <class Reader>
CCT_SCAN_INLINE Outcome PassString(Reader& in) {
  for (;;) {
    const int c = in.Get();
    if (c <= 0) return EndedBy(c);
    if (c == '\\') {
      const Outcome o = PassEscape(in, [](char) {});
      if (o != Outcome::kDone) return o;
      continue;
    }
    if (c != '\'') continue;
    const int next = in.Get();
    if (next <= 0) return EndedBy(next);
    if (next != '\'') {
      in.Unget(next);
      return Outcome::kDone;
    }
  }
}

/// Blanks, line ends and comments up to the next token, which is given back.
template <class Reader>
CCT_SCAN_INLINE Outcome PassLayout(Reader& in) {
  for (;;) {
    const int c = in.Get();
    if (IsLayout(c)) continue;
    if (c == kWindowEnd) return Outcome::kShort;
    if (c == '/') {
      const int next = in.Get();
      if (next == '*') {
        const Outcome o = PassComment(in);
        if (o != Outcome::kDone) return o;
        continue;
      }
      if (next == kWindowEnd) return Outcome::kShort;
      in.Unget(next);
    }
    in.Unget(c);
    return Outcome::kDone;
  }
}

template <class Reader>
CCT_SCAN_INLINE Outcome PassParameterList(Reader& in, int& depth);

/// Inside a parameter list that is passed over (the scan does not read parameters): nested
/// lists, strings and comments, up to and with the ")" that brings `depth` to 0.
template <class Reader>
Outcome PassParameters(Reader& outer, int& outerDepth) {
  return OnLocalCopy(outer, [&outerDepth](Reader& in) {
    int depth = outerDepth;
    const Outcome o = PassParameterList(in, depth);
    outerDepth = depth;
    return o;
  });
}

template <class Reader>
CCT_SCAN_INLINE Outcome PassParameterList(Reader& in, int& depth) {
  for (;;) {
    in.PassPlain();
    const int c = in.Get();
    switch (c) {
      case kWindowEnd: return Outcome::kShort;
      case 0: return Outcome::kEnded;
      case '(': ++depth; break;
      case ')':
        if (--depth <= 0) {
          depth = 0;
          return Outcome::kDone;
        }
        break;
      case '\'': {
        const Outcome o = PassString(in);
        if (o != Outcome::kDone) return o;
        break;
      }
      case '/': {
        const int next = in.Get();
        if (next == '*') {
          const Outcome o = PassComment(in);
          if (o != Outcome::kDone) return o;
        } else if (next == kWindowEnd) {
          return Outcome::kShort;
        } else {
          in.Unget(next);
        }
        break;
      }
      default: break;
    }
  }
}

// ---- token forms ----

/// Passes over letters, digits and underscores, handing each to `keep`; answers the character
/// that ended the run (read, not given back).
template <class Reader, class Keep>
CCT_SCAN_INLINE int PassWord(Reader& in, Keep&& keep) {
  int c;
  while (IsWordChar(c = in.Get())) keep(static_cast<char>(c));
  return c;
}

/// Passes over digits the same way (an instance name after its "#").
template <class Reader, class Keep>
CCT_SCAN_INLINE int PassDigits(Reader& in, Keep&& keep) {
  int c;
  while (IsDigit(c = in.Get())) keep(static_cast<char>(c));
  return c;
}

/// The value of a logical literal's word (T, F, U), or false for an enumeration's.
inline bool LogicalValue(const char* word, size_t length, long& value) {
  if (length != 1 || (*word != 'T' && *word != 'F' && *word != 'U')) return false;
  value = *word == 'T' ? 1 : (*word == 'F' ? 0 : -1);
  return true;
}

/// What the number rule learnt besides the characters.
struct NumberForm {
  bool real = false;
  /// Not written as exchange files write numbers (".05", "+ 1", "1E3", "1.5e3", "1.5f"), but
  /// its value is evident.
  bool odd = false;
  /// The digits as an integer, the decimals after the exponent is applied; exact while there
  /// are at most fifteen digits and the exponent is small.
  bool exact = true;
  uint64_t mantissa = 0;
  long decimals = 0;
};

enum class NumberEnd : uint8_t { kNumber, kLoneSign, kShort };

constexpr uint64_t kExactDigitsLimit = 100000000000000u;  // no sixteenth digit

/// What ReadSign answers when no number follows the sign.
constexpr int kNoNumber = -2;

/// After a sign: the blanks a writer may have put between it and its digits (odd, but the
/// value is evident). Answers the first character of the number, kNoNumber when none follows
/// (everything after the sign is then given back), or kWindowEnd.
template <class Reader, class Texts>
CCT_SCAN_INLINE int ReadSign(Reader& in, int sign, Texts& t, NumberForm& n) {
  t.Found(static_cast<char>(sign));
  if (sign == '-') t.Keep('-');
  char gap[64];
  int gapLength = 0;
  int c = in.Get();
  while (IsLayout(c) && gapLength < 64) {
    gap[gapLength++] = static_cast<char>(c);
    c = in.Get();
  }
  if (c == kWindowEnd) return kWindowEnd;
  bool starts = IsDigit(c);
  if (c == '.') {
    const int next = in.Get();
    if (next == kWindowEnd) return kWindowEnd;
    in.Unget(next);
    starts = IsDigit(next);
  }
  if (!starts) {
    in.Unget(c);
    while (gapLength > 0) in.Unget(gap[--gapLength]);
    return kNoNumber;
  }
  if (gapLength > 0) n.odd = true;
  for (int i = 0; i < gapLength; ++i) t.Found(gap[i]);
  return c;
}

/// A number starting with `first` (a sign, a digit, or a point before a digit). Keep gets the
/// text in the form std::from_chars reads ("0.05", "1.E3"), Found the text as it stands. A
/// sign with no number after it is dropped (kLoneSign; what followed it is given back);
/// lower-case letters glued to the end are passed over with the number. The character after
/// the number is given back.
template <class Reader, class Texts>
CCT_SCAN_INLINE NumberEnd ReadNumber(Reader& in, int first, Texts& t, NumberForm& n) {
  auto digit = [&n](int c, bool decimal) {
    if (n.mantissa >= kExactDigitsLimit) {
      n.exact = false;
      return;
    }
    n.mantissa = n.mantissa * 10 + static_cast<uint64_t>(c - '0');
    n.decimals += decimal;
  };
  auto both = [&t](int c) {
    t.Keep(static_cast<char>(c));
    t.Found(static_cast<char>(c));
  };
  int c = first;
  if (c == '+' || c == '-') {
    c = ReadSign(in, c, t, n);
    if (c == kWindowEnd) return NumberEnd::kShort;
    if (c == kNoNumber) return NumberEnd::kLoneSign;
  }
  bool whole = false;
  for (; IsDigit(c); c = in.Get()) {
    whole = true;
    both(c);
    digit(c, false);
  }
  if (c == kWindowEnd) return NumberEnd::kShort;
  if (c == '.') {
    if (!whole) {
      t.Keep('0');  // a point with no digit before it: its value is evident
      n.odd = true;
    }
    n.real = true;
    both('.');
    while (IsDigit(c = in.Get())) {
      both(c);
      digit(c, true);
    }
    if (c == kWindowEnd) return NumberEnd::kShort;
  }
  // An exponent; without a point before it ("1E5") the number is evidently a real as well.
  if (c == 'E' || c == 'e') {
    const int e = c;
    const int sign = in.Get();
    if (sign == kWindowEnd) return NumberEnd::kShort;
    int first = sign;
    if (sign == '+' || sign == '-') first = in.Get();
    if (first == kWindowEnd) return NumberEnd::kShort;
    if (IsDigit(first)) {
      n.odd = n.odd || e == 'e' || !n.real;
      if (!n.real) t.Keep('.');
      n.real = true;
      t.Keep('E');
      t.Found(static_cast<char>(e));
      if (first != sign) both(sign);
      long exponent = 0;
      for (c = first; IsDigit(c); c = in.Get()) {
        both(c);
        if (exponent > 1000)
          n.exact = false;
        else
          exponent = exponent * 10 + (c - '0');
      }
      if (c == kWindowEnd) return NumberEnd::kShort;
      n.decimals += sign == '-' ? exponent : -exponent;
    } else {
      in.Unget(first);
      if (first != sign) in.Unget(sign);
      c = e;
    }
  }
  // Lower-case letters glued to the end belong to no token. (Capitals start a keyword, which
  // the grammar judges.)
  if (c >= 'a' && c <= 'z') {
    n.odd = true;
    while ((c >= 'a' && c <= 'z') || IsDigit(c) || c == '_') {
      t.Found(static_cast<char>(c));
      c = in.Get();
    }
    if (c == kWindowEnd) return NumberEnd::kShort;
  }
  in.Unget(c);
  return NumberEnd::kNumber;
}

/// The value of a real the number rule found exact: its digits as an integer divided by a power
/// of ten. Both are exact doubles, so the one division rounds correctly and gives what
/// std::from_chars gives, much sooner. False when the general reading is needed.
inline bool QuickReal(const NumberForm& n, bool negative, double& value) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (!n.exact || n.decimals < 0 || n.decimals > 22) return false;
  value = static_cast<double>(n.mantissa) / kPowers[n.decimals];
  if (negative) value = -value;
  return true;
}

enum class StringEnd : uint8_t {
  kClosed,   // its closing apostrophe was read
  kUnusual,  // (plain bodies only) a line end, an escape or a NUL: left to the full rule
  kShort,    // the window ended
  kNul,      // a NUL character or the end of the input stands in it
  kOpen,     // an escape could not be read to its end
};

/// After the opening apostrophe: a string up to and with its closing apostrophe. The body gets
/// its characters: Add for one, Pair for a doubled apostrophe, LineEnd for a line end (layout,
/// not part of the value); Mark is called before each character is read. A body that is
/// kPlain takes only strings without line ends, escapes and NUL characters.
template <class Reader, class Body>
CCT_SCAN_INLINE StringEnd ReadString(Reader& in, Body& body) {
  for (;;) {
    body.Mark();
    const int c = in.Get();
    if (c == '\'') {
      const int next = in.Get();
      if (next == '\'') {
        body.Pair();
        continue;
      }
      if (next == kWindowEnd) return StringEnd::kShort;
      in.Unget(next);
      return StringEnd::kClosed;
    }
    if (c == kWindowEnd) return StringEnd::kShort;
    if (Body::kPlain && (c == '\n' || c == '\\' || c == 0)) return StringEnd::kUnusual;
    if (c == '\n') {
      body.LineEnd();
      continue;
    }
    if (c == '\\') {
      if (PassEscape(in, [&body](char kept) { body.Add(kept); }) == Outcome::kDone) continue;
      return StringEnd::kOpen;
    }
    if (c == 0) return StringEnd::kNul;
    body.Add(static_cast<char>(c));
  }
}

}  // namespace cct_scan

#endif

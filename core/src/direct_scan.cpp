#include "direct_scan.h"

#include <charconv>
#include <climits>
#include <cstring>

namespace cct_direct {

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

// Indexes one definition of the usual form at the start of [begin, end) exactly as the parser's
// scan would: kOther for anything the parser must read, kShort when the text ended first.
Split ScanDefinition(const char* begin, const char* end, Definition& d) {
  using cct_scan::Outcome;
  // The window's NUL characters and anything the parser reads with a recovery are its to read.
  auto split = [](Outcome o) { return o == Outcome::kShort ? Split::kShort : Split::kOther; };
  cct_scan::WindowReader in{begin, end};
  if (Outcome o = cct_scan::PassLayout(in); o != Outcome::kDone) return split(o);
  d.linesBefore = in.lines;
  // "#digits=KEYWORD(" with nothing in between.
  const char* p = in.p;
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
  // The parameters are passed over as the lexer passes over them when it scans.
  in.p = p + 1;
  int depth = 1;
  if (Outcome o = cct_scan::PassParameters(in, depth); o != Outcome::kDone) return split(o);
  // ";" and the one blank or line end the parser takes after a definition.
  p = in.p;
  if (p == end) return Split::kShort;
  if (*p != ';') return Split::kOther;
  if (p + 1 == end) return Split::kShort;
  ++p;
  // (A NUL there goes too: the reader takes it for the end of the file and cannot put that
  // back.)
  int32_t lines = in.lines;
  if (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\0') lines += *p++ == '\n';
  d.consumed = static_cast<size_t>(p - begin);
  d.lines = lines;
  return Split::kDone;
}

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

}  // namespace cct_direct

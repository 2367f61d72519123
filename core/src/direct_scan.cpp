#include "direct_scan.h"

#include <charconv>
#include <climits>
#include <cstring>

namespace cct_direct {

namespace {

using cct_scan::LineReader;

// The number rule's texts are the window itself here: a number whose text differs from what it
// stands as is odd, and odd numbers are the parser's.
struct InPlace {
  void Keep(char) {}
  void Found(char) {}
};

// A string body the direct reader takes: no line end, escape or NUL in it.
struct PlainBody {
  static constexpr bool kPlain = true;
  bool pairs = false;
  void Mark() {}
  void Add(char) {}
  void Pair() { pairs = true; }
  void LineEnd() {}
};

CCT_SCAN_INLINE Split Number(LineReader& in, int first, Token& t) {
  cct_scan::NumberForm n;
  InPlace texts;
  switch (cct_scan::ReadNumber(in, first, texts, n)) {
    case cct_scan::NumberEnd::kShort: return Split::kShort;
    case cct_scan::NumberEnd::kLoneSign: return Split::kOther;
    case cct_scan::NumberEnd::kNumber: break;
  }
  if (n.odd) return Split::kOther;
  const char* from = t.text + (first == '+' ? 1 : 0);
  if (!n.real) {
    long v = 0;
    auto [ptr, ec] = std::from_chars(from, in.p, v);
    if (ec != std::errc() || ptr != in.p || v > INT32_MAX || v < INT32_MIN) return Split::kOther;
    t.kind = Tok::kInteger;
    t.integer = v;
    return Split::kDone;
  }
  double v = 0;
  if (!cct_scan::QuickReal(n, first == '-', v)) {
    auto [ptr, ec] = std::from_chars(from, in.p, v);
    if (ec != std::errc() || ptr != in.p) return Split::kOther;
  }
  t.kind = Tok::kReal;
  t.real = v;
  return Split::kDone;
}

// One token starting with `c` (already read); kDone with the token made.
CCT_SCAN_INLINE Split NextToken(LineReader& in, int c, Token& t) {
  switch (c) {
    case '(': t.kind = Tok::kLeft; return Split::kDone;
    case ')': t.kind = Tok::kRight; return Split::kDone;
    case ',': t.kind = Tok::kComma; return Split::kDone;
    case '$': t.kind = Tok::kMissing; return Split::kDone;
    case '*': {
      const int next = in.Get();
      if (next == cct_scan::kWindowEnd) return Split::kShort;
      if (next == '/') return Split::kOther;
      in.Unget(next);
      t.kind = Tok::kStar;
      return Split::kDone;
    }
    case '#': {
      const char* digits = in.p;
      const int end = cct_scan::PassDigits(in, [](char) {});
      if (end == cct_scan::kWindowEnd) return Split::kShort;
      in.Unget(end);
      if (in.p == digits) return Split::kOther;
      t.kind = Tok::kReference;
      t.text = digits;
      t.length = static_cast<uint32_t>(in.p - digits);
      return Split::kDone;
    }
    case '\'': {
      PlainBody body;
      const char* text = in.p;
      switch (cct_scan::ReadString(in, body)) {
        case cct_scan::StringEnd::kClosed: break;
        case cct_scan::StringEnd::kShort: return Split::kShort;
        default: return Split::kOther;
      }
      t.kind = Tok::kString;
      t.pairs = body.pairs;
      t.text = text;
      t.length = static_cast<uint32_t>(in.p - 1 - text);
      return Split::kDone;
    }
    case '.': {
      const char* word = in.p;
      const int letter = in.Get();
      if (letter == cct_scan::kWindowEnd) return Split::kShort;
      if (!IsUpper(letter)) return Split::kOther;
      const int end = cct_scan::PassWord(in, [](char) {});
      if (end == cct_scan::kWindowEnd) return Split::kShort;
      if (end != '.') return Split::kOther;
      const size_t n = static_cast<size_t>(in.p - 1 - word);
      if (cct_scan::LogicalValue(word, n, t.integer)) {
        t.kind = Tok::kLogical;
      } else {
        t.kind = Tok::kEnum;
        t.text = word;
        t.length = static_cast<uint32_t>(n);
      }
      return Split::kDone;
    }
    default: break;
  }
  if (IsUpper(c)) {
    const int end = cct_scan::PassWord(in, [](char) {});
    if (end == cct_scan::kWindowEnd) return Split::kShort;
    in.Unget(end);
    const size_t n = static_cast<size_t>(in.p - t.text);
    // The hyphenated literals and the reserved words are the parser's.
    if (end == '-' || IsReserved(t.text, n)) return Split::kOther;
    t.kind = Tok::kKeyword;
    t.length = static_cast<uint32_t>(n);
    return Split::kDone;
  }
  if (c != '+' && c != '-' && !IsDigit(c)) return Split::kOther;
  return Number(in, c, t);
}

}  // namespace

Split Tokenize(const char* p, const char* end, std::vector<Token>& tokens, const char*& stop) {
  tokens.clear();
  LineReader in{p, end};
  for (;;) {
    int c;
    do c = in.Get();
    while (c == ' ' || c == '\t' || c == '\r');
    if (c == cct_scan::kWindowEnd) return Split::kShort;
    // Made in place: a token made aside and copied in is read back before its parts are
    // written, which stalls the copy.
    Token& t = tokens.emplace_back();
    t.text = in.p - 1;
    if (c == ';') {
      t.kind = Tok::kSemicolon;
      stop = in.p;
      return Split::kDone;
    }
    const Split split = NextToken(in, c, t);
    if (split != Split::kDone) return split;
  }
}

// Indexes one definition of the usual form at the start of [begin, end) exactly as the parser's
// scan would: kOther for anything the parser must read, kShort when the text ended first.
Split ScanDefinition(const char* begin, const char* end, Definition& d) {
  using cct_scan::Outcome;
  // The window's NUL characters and anything the parser reads with a recovery are its to read.
  auto split = [](Outcome o) { return o == Outcome::kShort ? Split::kShort : Split::kOther; };
  cct_scan::WindowReader in{begin, end};
  // Nearly every definition follows the line end taken with the one before it.
  if (begin == end || *begin != '#')
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

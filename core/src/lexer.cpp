#include "cct/lexer.h"

#include <charconv>
#include <ostream>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cct/ascii.h"
#include "cct/cctype.h"
#include "cct/errlog.h"
#include "cct/exchgfls.h"
#include "cct/p21text.h"
#include "scanner.h"

namespace {

using cct_scan::IsDigit;
using cct_scan::IsHexDigit;
using cct_scan::IsUpper;
using cct_scan::IsWordChar;
using cct_scan::Outcome;

// Gives back characters in reverse order of reading, so they come again in reading order.
void PushBack(cct_InputFile& f, const std::string& chars, size_t from = 0) {
  for (size_t i = chars.size(); i > from; --i) f.Unput(static_cast<unsigned char>(chars[i - 1]));
}

// Reads a run of word characters into `text` (after what it holds) and answers the character
// that ended it, which has been read but not kept.
int ReadWord(cct_InputFile& f) {
  std::string& text = f.Lexer().text;
  auto in = cct_scan::ReadFrom(f);
  return cct_scan::PassWord(in, [&text](char c) { text.push_back(c); });
}

// Tries to read `literal` (after what was already matched); on a mismatch gives back what it read.
bool ReadLiteral(cct_InputFile& f, const char* literal) {
  std::string read;
  for (const char* l = literal; *l; ++l) {
    int c = f.GetChar();
    if (c != 0) read.push_back(static_cast<char>(c));
    if (c != static_cast<unsigned char>(*l)) {
      PushBack(f, read);
      return false;
    }
  }
  return true;
}

int ReservedOrKeyword(cct_InputFile& f, cct_TokenValue& value) {
  const std::string& text = f.Lexer().text;
  switch (cct_scan::ReservedWord(text.data(), text.size())) {
    case cct_scan::Reserved::kData: return cct_TOKEN_DATA;
    case cct_scan::Reserved::kEndscope: return cct_TOKEN_ENDSCOPE;
    case cct_scan::Reserved::kEndsec: return cct_TOKEN_ENDSEC;
    case cct_scan::Reserved::kHeader: return cct_TOKEN_HEADER;
    case cct_scan::Reserved::kNone: break;
  }
  value.text = cct_LowerCopy(text.data(), text.size());
  return cct_TOKEN_KEYWORD;
}

// The value of a terminated string: its body with the escapes and directives decoded. What
// cannot be decoded stays in the text and is reported at the line where the string ends.
char* Unescape(cct_InputFile& f, const std::string& body) {
  std::vector<std::string> problems;
  const std::string decoded = cct_DecodeP21Text(body, &problems);
  for (const std::string& problem : problems)
    cct_errlog(cct_Warning(cct_READING_STEP_FILE)) << f << problem.c_str();
  return cct_CopyText(decoded.c_str());
}

inline bool IsBlank(int c) { return cct_scan::IsLayout(c); }

// Says that a number was not written as exchange files write numbers, and what is read instead.
void OddNumber(cct_InputFile& f, const std::string& found, const std::string& read) {
  if (f.ParseMode() != cct_InputFile::kEvaluate) return;
  std::string shown;
  for (char c : found) shown += c == '\n' ? std::string("\\n") : std::string(1, c);
  cct_errlog(cct_Warning(cct_READING_STEP_FILE))
      << f << "The number '" << shown.c_str() << "' is not well formed; " << read.c_str()
      << " is read.";
}

// Whether a character starts no token and vanishes.
bool Vanishes(int c) {
  if (c == 0 || IsBlank(c) || IsUpper(c) || IsDigit(c)) return false;
  return std::strchr("/.!#+-'\"&=;,()$*\\", c) == nullptr;
}

// Characters that start no token are passed over; reading a record, the reader says which, in
// one warning for a run of them.
void Stray(cct_InputFile& f, int first) {
  std::string run(1, static_cast<char>(first));
  for (int c = f.GetChar();; c = f.GetChar()) {
    if (!Vanishes(c)) {
      f.Unput(c);
      break;
    }
    run.push_back(static_cast<char>(c));
  }
  if (f.ParseMode() != cct_InputFile::kEvaluate) return;
  if (run.size() > 40) run = run.substr(0, 40) + "...";
  cct_errlog(cct_Warning(cct_READING_STEP_FILE))
      << f << "Characters that belong to no token are passed over: '" << run.c_str() << "'.";
}

// A number. A text that is not quite one but whose value is evident (".05", "+.5", a sign apart
// from its digits, letters glued to its end, a lower-case exponent) is read as that value and
// said so; -1 when no number follows a sign (the sign is dropped).
int Number(cct_InputFile& f, int first, cct_TokenValue& value) {
  std::string& text = f.Lexer().text;
  struct Texts {
    void Keep(char c) { text.push_back(c); }
    void Found(char c) { found.push_back(c); }
    std::string& text;   // the number's characters as read
    std::string found;  // the text as it stands
  } texts{text, {}};
  text.clear();
  cct_scan::NumberForm form;
  auto in = cct_scan::ReadFrom(f);
  if (cct_scan::ReadNumber(in, first, texts, form) == cct_scan::NumberEnd::kLoneSign) return -1;
  const std::string& found = texts.found;
  const bool odd = form.odd;
  const bool real = form.real;
  if (!real) {
    long v = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    (void)ptr;
    if (ec == std::errc::result_out_of_range) v = text[0] == '-' ? LONG_MIN : LONG_MAX;
    // INTEGER values are 32 bits wide: a larger number is read as the nearest one that fits, and
    // said so, instead of wrapping around silently.
    if (v > INT32_MAX || v < INT32_MIN) {
      v = v > 0 ? INT32_MAX : INT32_MIN;
      if (f.ParseMode() == cct_InputFile::kEvaluate)
        cct_errlog(cct_Warning(cct_READING_STEP_FILE))
            << f << "The integer " << found.c_str() << " is out of range; " << v << " is read.";
    } else if (odd) {
      OddNumber(f, found, std::to_string(v));
    }
    value.integer = v;
    return cct_TOKEN_INTEGER;
  }
  // Independent of the process locale: a desktop locale with a decimal comma must not matter.
  double v = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  (void)ptr;
  if (ec == std::errc::result_out_of_range) {
    v = std::strtod(text.c_str(), nullptr);  // underflow gives a tiny value or zero, which is fine
    // An overflow would be infinity, which no exchange file can hold: the largest real is read.
    if (std::isinf(v)) {
      v = v > 0 ? DBL_MAX : -DBL_MAX;
      if (f.ParseMode() == cct_InputFile::kEvaluate)
        cct_errlog(cct_Warning(cct_READING_STEP_FILE))
            << f << "The real " << found.c_str() << " is out of range; the largest real is read.";
    }
  }
  if (odd) {
    char shortest[64];
    auto [end, error] = std::to_chars(shortest, shortest + sizeof shortest, v);
    std::string read(shortest, error == std::errc() ? static_cast<size_t>(end - shortest) : 0);
    if (read.find_first_of(".e") == std::string::npos) read += '.';
    OddNumber(f, found, read);
  }
  value.real = v;
  return cct_TOKEN_REAL;
}

// What the string rule hands the lexer: the value's characters, and what recovery needs.
struct StringBody {
  static constexpr bool kPlain = false;
  cct_InputFile& f;
  std::string& text;
  long before = 0;     // the reading position before the latest character
  long lastPair = -1;  // where the first apostrophe of the latest doubled pair stands
  bool overLines = false;
  void Mark() { before = f.Tell(); }
  void Add(char c) { text.push_back(c); }
  void Pair() {
    lastPair = static_cast<long>(text.size());
    text += "''";
  }
  void LineEnd() {
    // Writers wrap long strings; the line end (and a carriage return before it) is layout.
    if (!text.empty() && text.back() == '\r') text.pop_back();
    overLines = true;
  }
};

// A string after its opening apostrophe. Answers the token, or -1 when no string rule matches
// (the apostrophe is then dropped and what followed it is read again).
int String(cct_InputFile& f, bool evaluate, cct_TokenValue& value) {
  std::string& text = f.Lexer().text;
  StringBody body{f, text};
  const long startLine = f.Line();
  text.clear();
  auto in = cct_scan::ReadFrom(f);
  const cct_scan::StringEnd end = cct_scan::ReadString(in, body);
  if (end == cct_scan::StringEnd::kClosed) {
    if (body.overLines && evaluate)
      cct_errlog(cct_Warning(cct_READING_STEP_FILE))
          << f << "The string that starts in line " << startLine
          << " goes on over a line end; the line end is not part of its value.";
    if (evaluate) value.text = Unescape(f, text);
    return cct_TOKEN_STRING;
  }
  // A NUL character (the reading position moved past it, as it does not at the end of the
  // file) ends the input here as it does outside a string: the parser then reports a syntax
  // error at this line. Looking for a shorter string would read on beyond it.
  if (end == cct_scan::StringEnd::kNul && f.Tell() != body.before) return cct_TOKEN_END;
  if (body.lastPair >= 0 && !body.overLines) {
    // The longest string that did end here closed at the first apostrophe of that pair.
    PushBack(f, text, static_cast<size_t>(body.lastPair) + 1);
    text.resize(static_cast<size_t>(body.lastPair));
    if (evaluate) value.text = Unescape(f, text);
    return cct_TOKEN_STRING;
  }
  // No apostrophe closes it: the input ends (or a NUL stands) inside the string.
  cct_errlog(cct_Error(cct_READING_STEP_FILE))
      << "Unterminated String in STEP-File Line " << startLine << "\n";
  return cct_TOKEN_END;
}

int Binary(cct_InputFile& f, bool evaluate, cct_TokenValue& value) {
  std::string& text = f.Lexer().text;
  int c = f.GetChar();
  if (c < '0' || c > '3') {
    f.Unput(c);
    return -1;
  }
  text.assign(1, static_cast<char>(c));
  while (IsHexDigit(c = f.GetChar())) text.push_back(static_cast<char>(c));
  if (c != '"') {
    if (c != 0) text.push_back(static_cast<char>(c));
    PushBack(f, text);
    return -1;
  }
  if (evaluate) value.text = cct_CopyText(text.c_str());
  return cct_TOKEN_BINARY;
}

// Passes over the rest of a parameter list the scan does not read.
int Skip(cct_InputFile& f) {
  cct_LexerState& lexer = f.Lexer();
  auto in = cct_scan::ReadFrom(f);
  if (cct_scan::PassParameters(in, lexer.skipDepth) != Outcome::kDone) return cct_TOKEN_END;
  lexer.skipping = false;
  return cct_TOKEN_RIGHT_PAREN;
}

}  // namespace

char* cct_LowerCopy(const char* source, unsigned long length) {
  char* copy = new char[length + 1];
  for (unsigned long i = 0; i < length; ++i) {
    copy[i] = cct_AsciiLower(source[i]);
  }
  copy[length] = '\0';
  return copy;
}

void cct_ResetLexer(cct_InputFile& file) {
  file.Lexer().skipping = false;
  file.Lexer().skipDepth = 0;
}

namespace {

constexpr int kReadOn = -1;  // what a token rule answers when it made no token

// After a dot: an enumeration or a logical, or ".05"; without a closing dot the dot is dropped.
int AfterDot(cct_InputFile& f, bool evaluate, cct_TokenValue& value) {
  std::string& text = f.Lexer().text;
  int next = f.GetChar();
  if (IsDigit(next)) {
    // ".05": a real without the digit before its point.
    f.Unput(next);
    return Number(f, '.', value);
  }
  if (!IsUpper(next)) {
    f.Unput(next);
    Stray(f, '.');
    return kReadOn;  // a lone dot is dropped
  }
  text.assign(1, static_cast<char>(next));
  int end = ReadWord(f);
  if (end == '.') {
    if (cct_scan::LogicalValue(text.data(), text.size(), value.integer)) return cct_TOKEN_LOGICAL;
    if (evaluate) value.text = cct_LowerCopy(text.data(), text.size());
    return cct_TOKEN_ENUM;
  }
  // No closing dot: the dot is dropped and the word is read again as whatever it is. That is
  // the keyword it spells, unless it starts one of the two hyphenated literals.
  f.Unput(end);
  if (end == '-' && (text == "ISO" || text == "END")) {
    PushBack(f, text);
    return kReadOn;
  }
  return ReservedOrKeyword(f, value);
}

// The character after `lead` when it can start what `lead` begins; else that character goes
// back, `lead` is passed over as a stray character, and the answer is kReadOn.
int StartAfter(cct_InputFile& f, char lead, bool (*starts)(int)) {
  const int next = f.GetChar();
  if (starts(next)) return next;
  f.Unput(next);
  Stray(f, lead);
  return kReadOn;
}

// After "!": a user-defined keyword.
int UserDefined(cct_InputFile& f, bool evaluate, cct_TokenValue& value) {
  const int next = StartAfter(f, '!', IsUpper);
  if (next == kReadOn) return kReadOn;
  std::string& text = f.Lexer().text;
  text.assign(1, static_cast<char>(next));
  f.Unput(ReadWord(f));
  if (evaluate) value.text = cct_LowerCopy(text.data(), text.size());
  return cct_TOKEN_USER_DEFINED_KEYWORD;
}

// After "#": an instance name.
int InstanceName(cct_InputFile& f, bool keep, cct_TokenValue& value) {
  const int next = StartAfter(f, '#', IsDigit);
  if (next == kReadOn) return kReadOn;
  std::string& text = f.Lexer().text;
  text.assign(1, static_cast<char>(next));
  auto in = cct_scan::ReadFrom(f);
  f.Unput(cct_scan::PassDigits(in, [&text](char d) { text.push_back(d); }));
  if (keep) value.text = cct_CopyText(text.c_str());
  return cct_TOKEN_ENTITY_NAME;
}

// A word from its first capital: a keyword, a reserved word or a hyphenated literal.
int Word(cct_InputFile& f, int first, cct_TokenValue& value) {
  std::string& text = f.Lexer().text;
  text.assign(1, static_cast<char>(first));
  int end = ReadWord(f);
  if (end == '-' && (text == "ISO" || text == "END")) {
    if (ReadLiteral(f, text == "ISO" ? "10303-21" : "ISO-10303-21"))
      return text == "ISO" ? cct_TOKEN_ISO_10303_21 : cct_TOKEN_END_ISO_10303_21;
  }
  f.Unput(end);
  return ReservedOrKeyword(f, value);
}

// Any other character: punctuation, comments, strings, binaries; what starts no token vanishes.
int Other(cct_InputFile& f, int c, int mode, cct_TokenValue& value) {
  const bool evaluate = mode == cct_InputFile::kEvaluate;
  const bool scan = mode == cct_InputFile::kScanToName || mode == cct_InputFile::kScanAll;
  switch (c) {
    case ' ':
    case '\t':
    case '\n': return kReadOn;
    case '/': {
      int next = f.GetChar();
      if (next == '*') {
        auto in = cct_scan::ReadFrom(f);
        return cct_scan::PassComment(in) == Outcome::kDone ? kReadOn : cct_TOKEN_END;
      }
      f.Unput(next);
      return cct_TOKEN_SLASH;
    }
    case '.': return AfterDot(f, evaluate, value);
    case '!': return UserDefined(f, evaluate, value);
    case '#': return InstanceName(f, evaluate || scan, value);
    case '\'': return String(f, evaluate, value);
    case '"': return Binary(f, evaluate, value);
    case '&':
      if (ReadLiteral(f, "SCOPE")) return cct_TOKEN_SCOPE;
      Stray(f, '&');
      return kReadOn;
    case '=':
      if (scan) value.position = new DefinitionPosition{f.Tell(), static_cast<int32_t>(f.Line()), 0, 0};
      return cct_TOKEN_EQUALS;
    case ';': return cct_TOKEN_SEMICOLON;
    case ',': return cct_TOKEN_COMMA;
    case '(':
      if (scan) {
        ++f.Lexer().skipDepth;
        f.Lexer().skipping = true;
      }
      return cct_TOKEN_LEFT_PAREN;
    case ')': return cct_TOKEN_RIGHT_PAREN;
    case '$': return cct_TOKEN_MISSING;
    case '*': {
      int next = f.GetChar();
      if (next == '/') return kReadOn;  // a stray comment end is ignored
      f.Unput(next);
      return cct_TOKEN_REDEFINE;
    }
    case '\\': {
      int letter = f.GetChar();
      if (letter == 'N' || letter == 'F') {
        int close = f.GetChar();
        if (close == '\\') return kReadOn;
        f.Unput(close);
      }
      f.Unput(letter);
      return kReadOn;
    }
    default:
      // Carriage returns vanish; lower-case letters and anything else vanish too, said so.
      if (c != '\r' && c != '\f' && c != '\v') Stray(f, c);
      return kReadOn;
  }
}

}  // namespace

int cct_Lex(cct_InputFile& f, cct_TokenValue& value) {
  value.text = nullptr;
  for (;;) {
    if (f.Lexer().skipping) return Skip(f);
    const int c = f.GetChar();
    if (c == 0) return cct_TOKEN_END;
    int token;
    if (IsDigit(c) || c == '+' || c == '-')
      token = Number(f, c, value);
    else if (IsUpper(c))
      token = Word(f, c, value);
    else
      token = Other(f, c, f.ParseMode(), value);
    if (token != kReadOn) return token;
  }
}

// The scanner of exchange files: every token kind with its value in the evaluate and scan modes,
// the characters that vanish, string unescaping, skipping parameter lists while scanning, and
// how look-ahead, saved positions and the lexer's own state fit together.
#include "cct/lexer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cct/cctype.h"
#include "cct/errlog.h"
#include "cct/exchgfls.h"
#include "support/capture.h"
#include "support/temp_file.h"

namespace {

// The input file's parse modes, by the names it gives them.
constexpr int kScanToName = cct_InputFile::kScanToName;
constexpr int kEvaluate = cct_InputFile::kEvaluate;
constexpr int kScanAll = cct_InputFile::kScanAll;

using Tokens = std::vector<std::string>;

// Names of the token codes 257 and up, in code order.
const char* const kTokenNames[] = {
    "ENTITY_NAME", "ENUM",     "KEYWORD",     "STRING", "BINARY",           "USER_DEFINED_KEYWORD",
    "INTEGER",     "LOGICAL",  "REAL",        "EQUALS", "COMMA",            "DATA",
    "ENDSCOPE",    "ENDSEC",   "END_ISO_10303_21",      "HEADER",           "LEFT_PAREN",
    "SEMICOLON",   "MISSING",  "REDEFINE",    "RIGHT_PAREN", "SCOPE",       "SLASH",
    "ISO_10303_21"};

// One token with its value as text, taking over (and freeing) any heap value:
// "KEYWORD(abc)" for a text, "STRING" for a text token without a value, "INTEGER 7",
// "REAL 1.5", "EQUALS@12:3" for a definition position (offset and line).
std::string Describe(int token, cct_TokenValue& value) {
  if (token < cct_TOKEN_ENTITY_NAME || token > cct_TOKEN_ISO_10303_21) return "?";
  std::string name = kTokenNames[token - cct_TOKEN_ENTITY_NAME];
  char number[64];
  switch (token) {
    case cct_TOKEN_INTEGER:
    case cct_TOKEN_LOGICAL:
      return name + " " + std::to_string(value.integer);
    case cct_TOKEN_REAL:
      std::snprintf(number, sizeof number, " %.15g", value.real);
      return name + number;
    case cct_TOKEN_EQUALS: {
      DefinitionPosition* p = value.position;
      if (!p) return name;
      EXPECT_EQ(p->spare, 0);
      EXPECT_EQ(p->typeId, 0);
      name += "@" + std::to_string(p->offset) + ":" + std::to_string(p->line);
      delete p;
      return name;
    }
    case cct_TOKEN_ENTITY_NAME:
    case cct_TOKEN_ENUM:
    case cct_TOKEN_KEYWORD:
    case cct_TOKEN_STRING:
    case cct_TOKEN_BINARY:
    case cct_TOKEN_USER_DEFINED_KEYWORD:
      if (value.text) {
        name += "(" + std::string(value.text) + ")";
        cct_FreeText(value.text);
      }
      return name;
    default:
      return name;
  }
}

// A file with `content`, made the lexer's current input in `mode`; a fresh parse resets the lexer.
struct LexFile {
  LexFile(const std::string& content, int mode, bool reset = true)
      : temp(content), file(temp.Path()) {
    file.SetParseMode(mode);
    cct_currentInputFile = &file;
    if (reset) cct_ResetLexer(file);
  }
  ~LexFile() { cct_currentInputFile = nullptr; }
  TempFile temp;
  cct_InputFile file;
};

// Reads tokens from the current input until the end of input (or `limit` tokens).
Tokens LexOn(size_t limit = 100000) {
  Tokens tokens;
  while (tokens.size() < limit) {
    cct_TokenValue value;
    int token = cct_Lex(*cct_currentInputFile, value);
    if (token == cct_TOKEN_END) break;
    tokens.push_back(Describe(token, value));
  }
  return tokens;
}

struct LexResult {
  Tokens tokens;
  std::string log;
};

// Reads all tokens of `content` in `mode` as a fresh parse would, with what was reported.
LexResult LexWithLog(const std::string& content, int mode) {
  LexFile in(content, mode);
  CerrCapture capture;
  LexResult result;
  result.tokens = LexOn();
  result.log = capture.Text();
  return result;
}

// Same, for inputs that must not report anything.
Tokens Lex(const std::string& content, int mode = kEvaluate) {
  LexResult r = LexWithLog(content, mode);
  EXPECT_EQ(r.log, "") << "while reading: " << content;
  return r.tokens;
}

// Tokens of an input whose vanishing characters are reported; only the tokens count here.
Tokens Read(const std::string& content, int mode = kEvaluate) {
  return LexWithLog(content, mode).tokens;
}

// ---- the file frame ----------------------------------------------------------------------------

TEST(LexerFrame, HeaderAndEndLines) {
  EXPECT_EQ(Lex("ISO-10303-21;\nHEADER;\nENDSEC;\nDATA;\nENDSEC;\nEND-ISO-10303-21;\n"),
            (Tokens{"ISO_10303_21", "SEMICOLON", "HEADER", "SEMICOLON", "ENDSEC", "SEMICOLON",
                    "DATA", "SEMICOLON", "ENDSEC", "SEMICOLON", "END_ISO_10303_21",
                    "SEMICOLON"}));
}

TEST(LexerFrame, ReservedWordsAreExactWords) {
  EXPECT_EQ(Lex("HEADERS END_ISO ENDSCOPE DATA_ DATA2 ENDSE HEADER"),
            (Tokens{"KEYWORD(headers)", "KEYWORD(end_iso)", "ENDSCOPE", "KEYWORD(data_)",
                    "KEYWORD(data2)", "KEYWORD(endse)", "HEADER"}));
  // Lower case is no word at all: every letter vanishes.
  EXPECT_EQ(Read("header data;"), (Tokens{"SEMICOLON"}));
}

TEST(LexerFrame, HyphenatedLiteralsNeedTheWholeText) {
  EXPECT_EQ(Lex("ISO-10303-21X"), (Tokens{"ISO_10303_21", "KEYWORD(x)"}));
  EXPECT_EQ(Lex("END-ISO-10303-21END-ISO-10303-21"),
            (Tokens{"END_ISO_10303_21", "END_ISO_10303_21"}));
  // Broken off: the word, then what the rest spells on its own.
  EXPECT_EQ(Lex("ISO-10303-2;"),
            (Tokens{"KEYWORD(iso)", "INTEGER -10303", "INTEGER -2", "SEMICOLON"}));
  EXPECT_EQ(Lex("END-ISO;"), (Tokens{"KEYWORD(end)", "KEYWORD(iso)", "SEMICOLON"}));
  EXPECT_EQ(Lex("END-ISO-10303"), (Tokens{"KEYWORD(end)", "KEYWORD(iso)", "INTEGER -10303"}));
  EXPECT_EQ(Lex("XISO-10303-21"), (Tokens{"KEYWORD(xiso)", "INTEGER -10303", "INTEGER -21"}));
}

TEST(LexerFrame, ScopeMarks) {
  EXPECT_EQ(Lex("&SCOPE\n#1=A;\nENDSCOPE;"),
            (Tokens{"SCOPE", "ENTITY_NAME(1)", "EQUALS", "KEYWORD(a)", "SEMICOLON", "ENDSCOPE",
                    "SEMICOLON"}));
  EXPECT_EQ(Read("&SCOPEX &SCO; & ;&scope"),
            (Tokens{"SCOPE", "KEYWORD(x)", "KEYWORD(sco)", "SEMICOLON", "SEMICOLON"}));
}

TEST(LexerFrame, Punctuation) {
  EXPECT_EQ(Lex("=;,()/$*"), (Tokens{"EQUALS", "SEMICOLON", "COMMA", "LEFT_PAREN", "RIGHT_PAREN",
                                     "SLASH", "MISSING", "REDEFINE"}));
}

// ---- names, keywords, enumerations, logicals -------------------------------------------------

TEST(LexerWords, EntityNames) {
  EXPECT_EQ(Lex("#12="), (Tokens{"ENTITY_NAME(12)", "EQUALS"}));
  EXPECT_EQ(Lex("#00012 #0"), (Tokens{"ENTITY_NAME(00012)", "ENTITY_NAME(0)"}));
  // Names are delivered while scanning too.
  EXPECT_EQ(Lex("#00012", kScanAll), (Tokens{"ENTITY_NAME(00012)"}));
  EXPECT_EQ(Lex("#7", kScanToName), (Tokens{"ENTITY_NAME(7)"}));
}

TEST(LexerWords, KeywordsAreLowerCasedInEveryMode) {
  for (int mode : {kEvaluate, kScanToName, kScanAll}) {
    EXPECT_EQ(Lex("CARTESIAN_POINT2 A", mode),
              (Tokens{"KEYWORD(cartesian_point2)", "KEYWORD(a)"}))
        << "mode " << mode;
  }
  // A word starts with an upper-case letter; a lower-case letter or digit ends it.
  EXPECT_EQ(Read("ABcD 12AB _X"),
            (Tokens{"KEYWORD(ab)", "KEYWORD(d)", "INTEGER 12", "KEYWORD(ab)", "KEYWORD(x)"}));
}

TEST(LexerWords, EachKeywordCarriesItsOwnText) {
  LexFile in("POINT(LINE)", kEvaluate);
  cct_TokenValue first, paren, second;
  ASSERT_EQ(cct_Lex(in.file, first), cct_TOKEN_KEYWORD);
  ASSERT_EQ(cct_Lex(in.file, paren), cct_TOKEN_LEFT_PAREN);
  ASSERT_EQ(cct_Lex(in.file, second), cct_TOKEN_KEYWORD);
  EXPECT_STREQ(first.text, "point");
  EXPECT_STREQ(second.text, "line");
  cct_FreeText(first.text);
  cct_FreeText(second.text);
}

TEST(LexerWords, Logicals) {
  EXPECT_EQ(Lex(".T. .F. .U."), (Tokens{"LOGICAL 1", "LOGICAL 0", "LOGICAL -1"}));
  // Numeric values come in every mode.
  EXPECT_EQ(Lex(".T.,.U.", kScanAll), (Tokens{"LOGICAL 1", "COMMA", "LOGICAL -1"}));
  // Lower case: all three characters vanish.
  EXPECT_EQ(Read(".t. .f.;"), (Tokens{"SEMICOLON"}));
}

TEST(LexerWords, Enumerations) {
  EXPECT_EQ(Lex(".TRUE. .ENUM_VAL. .A1_. .TT."),
            (Tokens{"ENUM(true)", "ENUM(enum_val)", "ENUM(a1_)", "ENUM(tt)"}));
  for (int mode : {kScanToName, kScanAll}) {
    EXPECT_EQ(Lex(".TRUE. .T.", mode), (Tokens{"ENUM", "LOGICAL 1"})) << "mode " << mode;
  }
}

TEST(LexerWords, DotWithoutClosingDotReadsTheKeyword) {
  EXPECT_EQ(Lex(".ABC DEF"), (Tokens{"KEYWORD(abc)", "KEYWORD(def)"}));
  EXPECT_EQ(Lex(".T,.F"), (Tokens{"KEYWORD(t)", "COMMA", "KEYWORD(f)"}));
  EXPECT_EQ(Lex(".HEADER;"), (Tokens{"HEADER", "SEMICOLON"}));
  EXPECT_EQ(Lex(".AB-.CD"), (Tokens{"KEYWORD(ab)", "KEYWORD(cd)"}));
  EXPECT_EQ(Lex(".ISO-10303-21;.END-ISO-10303-21;"),
            (Tokens{"ISO_10303_21", "SEMICOLON", "END_ISO_10303_21", "SEMICOLON"}));
  EXPECT_EQ(Lex(".ABC", kScanAll), (Tokens{"KEYWORD(abc)"}));
  // A long word after the dot is read whole.
  std::string word(300, 'W');
  EXPECT_EQ(Lex("." + word + ";"), (Tokens{"KEYWORD(" + std::string(300, 'w') + ")", "SEMICOLON"}));
}

TEST(LexerWords, UserDefinedKeywords) {
  EXPECT_EQ(Lex("!MY_KEY2(1)"),
            (Tokens{"USER_DEFINED_KEYWORD(my_key2)", "LEFT_PAREN", "INTEGER 1", "RIGHT_PAREN"}));
  for (int mode : {kScanToName, kScanAll}) {
    EXPECT_EQ(Lex("!MY_KEY;", mode), (Tokens{"USER_DEFINED_KEYWORD", "SEMICOLON"}))
        << "mode " << mode;
  }
  EXPECT_EQ(Read("!my ! ;!1"), (Tokens{"SEMICOLON", "INTEGER 1"}));
}

// ---- numbers -----------------------------------------------------------------------------------

TEST(LexerNumbers, RealsAndIntegers) {
  // %g writes the sign of a negative zero.
  EXPECT_EQ(Lex("1. -0.0 +12 007 -5 2147483647"),
            (Tokens{"REAL 1", "REAL -0", "INTEGER 12", "INTEGER 7", "INTEGER -5",
                    "INTEGER 2147483647"}));
  EXPECT_EQ(Lex("1.5E3 -2.5E-2 3.E+2 +4.25"),
            (Tokens{"REAL 1500", "REAL -0.025", "REAL 300", "REAL 4.25"}));
}

TEST(LexerNumbers, ExponentWithoutDigitsIsGivenBack) {
  // An exponent without digits is given back character by character.
  EXPECT_EQ(Lex("2.5E+X"), (Tokens{"REAL 2.5", "KEYWORD(e)", "KEYWORD(x)"}));
  EXPECT_EQ(Lex("2.5E-,"), (Tokens{"REAL 2.5", "KEYWORD(e)", "COMMA"}));
  EXPECT_EQ(Lex("2.5EX"), (Tokens{"REAL 2.5", "KEYWORD(ex)"}));
  EXPECT_EQ(Lex("2.5E"), (Tokens{"REAL 2.5", "KEYWORD(e)"}));
  EXPECT_EQ(Read("+ - . # ;+"), (Tokens{"SEMICOLON"}));
  EXPECT_EQ(Lex("--1 +-2"), (Tokens{"INTEGER -1", "INTEGER -2"}));
}

TEST(LexerNumbers, EvidentValuesOfMalformedNumbersAreReadAndSaid) {
  const struct {
    const char* input;
    Tokens tokens;
    const char* said;  // the text the warning quotes and the value it reads; "" for none
  } cases[] = {
      {".05", {"REAL 0.05"}, "'.05' is not well formed; 0.05 is read."},
      {"+.5", {"REAL 0.5"}, "'+.5' is not well formed; 0.5 is read."},
      {"-.5,", {"REAL -0.5", "COMMA"}, "'-.5' is not well formed; -0.5 is read."},
      {"- 0.5", {"REAL -0.5"}, "'- 0.5' is not well formed; -0.5 is read."},
      {"-\n12,", {"INTEGER -12", "COMMA"}, "'-\\n12' is not well formed; -12 is read."},
      {"1.5f)", {"REAL 1.5", "RIGHT_PAREN"}, "'1.5f' is not well formed; 1.5 is read."},
      {"7mm", {"INTEGER 7"}, "'7mm' is not well formed; 7 is read."},
      {"1.5e3", {"REAL 1500"}, "'1.5e3' is not well formed; 1500. is read."},
      {"1E3", {"REAL 1000"}, "'1E3' is not well formed; 1000. is read."},
      {"1.2.3", {"REAL 1.2", "REAL 0.3"}, "'.3' is not well formed; 0.3 is read."},
      {"(1,?2)", {"LEFT_PAREN", "INTEGER 1", "COMMA", "INTEGER 2", "RIGHT_PAREN"},
       "Characters that belong to no token are passed over: '?'."},
      {"(1,abc)", {"LEFT_PAREN", "INTEGER 1", "COMMA", "RIGHT_PAREN"},
       "Characters that belong to no token are passed over: 'abc'."},
      {"1.5 -2. +3", {"REAL 1.5", "REAL -2", "INTEGER 3"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    LexResult r = LexWithLog(c.input, kEvaluate);
    EXPECT_EQ(r.tokens, c.tokens);
    if (*c.said)
      EXPECT_NE(r.log.find(c.said), std::string::npos) << r.log;
    else
      EXPECT_EQ(r.log, "");
    // Scanning reads the same tokens and says nothing: evaluation reports.
    EXPECT_EQ(LexWithLog(c.input, kScanAll).log, "");
  }
}

TEST(LexerNumbers, NumericValuesInScanModes) {
  // Outside a parameter list nothing is skipped, and numbers keep their values.
  EXPECT_EQ(Lex("12 -1.5", kScanAll), (Tokens{"INTEGER 12", "REAL -1.5"}));
  EXPECT_EQ(Lex("12 -1.5", kScanToName), (Tokens{"INTEGER 12", "REAL -1.5"}));
}

// ---- binaries ----------------------------------------------------------------------------------

TEST(LexerBinary, HexadecimalDigitsAfterAZeroToThree) {
  EXPECT_EQ(Lex("\"3F0\" \"0\" \"1ABCDEF09\""),
            (Tokens{"BINARY(3F0)", "BINARY(0)", "BINARY(1ABCDEF09)"}));
  EXPECT_EQ(Lex("\"3F0\"", kScanAll), (Tokens{"BINARY"}));
}

TEST(LexerBinary, NotBinaryDropsTheQuotes) {
  EXPECT_EQ(Lex("\"FF\""), (Tokens{"KEYWORD(ff)"}));
  EXPECT_EQ(Lex("\"4A\""), (Tokens{"INTEGER 4", "KEYWORD(a)"}));
  EXPECT_EQ(Read("\"3a\""), (Tokens{"INTEGER 3"}));
  EXPECT_EQ(Lex("\"2G\";"), (Tokens{"INTEGER 2", "KEYWORD(g)", "SEMICOLON"}));
  EXPECT_EQ(Lex("\"1AB"), (Tokens{"INTEGER 1", "KEYWORD(ab)"}));
  EXPECT_EQ(Lex("\"\"\"0\""), (Tokens{"BINARY(0)"}));
}

// ---- strings -----------------------------------------------------------------------------------

TEST(LexerStrings, Unescaping) {
  EXPECT_EQ(Lex("'it''s'"), (Tokens{"STRING(it's)"}));
  EXPECT_EQ(Lex("'a\\b'"), (Tokens{"STRING(a\\b)"}));
  EXPECT_EQ(Lex("'a\\\\b'"), (Tokens{"STRING(a\\b)"}));
  EXPECT_EQ(Lex("'x\\\\N\\\\y'"), (Tokens{"STRING(xy)"}));
  EXPECT_EQ(Lex("'x\\\\F\\\\y' 'x\\\\n\\\\y' 'x\\\\f\\\\'"),
            (Tokens{"STRING(xy)", "STRING(xy)", "STRING(x)"}));
  EXPECT_EQ(Lex("'\\\\N\\'"), (Tokens{"STRING(\\N\\)"}));
  EXPECT_EQ(Lex("'\\N\\'"), (Tokens{"STRING(\\N\\)"}));
  EXPECT_EQ(Lex("'' '''' 'a''''b'"), (Tokens{"STRING()", "STRING(')", "STRING(a''b)"}));
  // Everything else is kept as it is, blanks, lower case and parentheses included.
  EXPECT_EQ(Lex("'A b (c); /* d */ #1'"), (Tokens{"STRING(A b (c); /* d */ #1)"}));
}

TEST(LexerStrings, NoValueWhileScanning) {
  for (int mode : {kScanToName, kScanAll}) {
    EXPECT_EQ(Lex("'abc' 'it''s'", mode), (Tokens{"STRING", "STRING"})) << "mode " << mode;
  }
}

TEST(LexerStrings, LongStringIsReadWhole) {
  std::string body;
  for (int i = 0; i < 10000; ++i) body.push_back(static_cast<char>('a' + i % 26));
  EXPECT_EQ(Lex("'" + body + "';"), (Tokens{"STRING(" + body + ")", "SEMICOLON"}));
  std::string word(5000, 'K');
  EXPECT_EQ(Lex(word), (Tokens{"KEYWORD(" + std::string(5000, 'k') + ")"}));
}

TEST(LexerStrings, LineEndsInsideStringsAndStringsThatNeverEnd) {
  const std::string unterminated =
      "\nError: While reading STEP file: Unterminated String in STEP-File Line ";
  const struct {
    const char* input;
    int mode;
    Tokens tokens;
    std::string log;  // the whole log, "" for none; a path placeholder is not needed here
  } cases[] = {
      // A line end (with its carriage return) is layout: dropped, and said once per string.
      {"A;\n\n'abc''de\r\nf'B", kEvaluate,
       {"KEYWORD(a)", "SEMICOLON", "STRING(abc'def)", "KEYWORD(b)"}, "goes on over a line end"},
      {"'x\n'y\n", kScanAll, {"STRING"}, ""},
      // A page directive may carry an apostrophe; an escaped solidus before one does not.
      {"'a\\S\\'b' 'c\\\\' D", kEvaluate, {"STRING(a\xc2\xa7" "b)", "STRING(c\\)", "KEYWORD(d)"}, ""},
      {"'a\\S\\'b' 'c\\\\' D", kScanAll, {"STRING", "STRING", "KEYWORD(d)"}, ""},
      // No apostrophe ends it: reported with the line it starts in, and the input ends there.
      {"A\n'BC\nD", kEvaluate, {"KEYWORD(a)"}, unterminated + "2\n"},
      {"'AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"
       "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA", kEvaluate, {}, unterminated + "1\n"},
      // The longest string that does end closes at the first apostrophe of the last pair.
      {"'A''B''C", kEvaluate, {"STRING(A'B)"}, unterminated + "1\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    LexResult r = LexWithLog(c.input, c.mode);
    EXPECT_EQ(r.tokens, c.tokens);
    if (c.log.empty() || c.log[0] == '\n')
      EXPECT_EQ(r.log, c.log);
    else
      EXPECT_NE(r.log.find(c.log), std::string::npos) << r.log;
  }
}

TEST(LexerStrings, NulInsideAStringEndsTheInput) {
  // Unlike the end of the file, a NUL character is passed when it is read: whatever a string
  // does at it must not go on reading what stands beyond it.
  const struct {
    std::string content;
    int mode;
    Tokens tokens;
  } cases[] = {
      {std::string("X('A\0B');\nY;", 12), kEvaluate, {"KEYWORD(x)", "LEFT_PAREN"}},
      {std::string("X('A''B\0C''D');Y;", 18), kEvaluate, {"KEYWORD(x)", "LEFT_PAREN"}},
      {std::string("X('\0');Y;", 10), kEvaluate, {"KEYWORD(x)", "LEFT_PAREN"}},
      // Skipped parameter lists: the list does not close beyond the NUL.
      {std::string("X('A\0)Y;", 9), kScanAll, {"KEYWORD(x)", "LEFT_PAREN"}},
      {std::string("X('A''\0)Y;", 11), kScanAll, {"KEYWORD(x)", "LEFT_PAREN"}},
      {std::string("X('A'\0)Y;", 10), kScanToName, {"KEYWORD(x)", "LEFT_PAREN"}},
  };
  for (const auto& c : cases) {
    LexFile in(c.content, c.mode);
    CerrCapture log;
    EXPECT_EQ(LexOn(), c.tokens) << c.content.size();
    EXPECT_EQ(log.Text(), "");
  }
}

// ---- what vanishes -----------------------------------------------------------------------------

TEST(LexerIgnored, CommentsAndEscapes) {
  EXPECT_EQ(Lex("/* ) */"), Tokens{});
  EXPECT_EQ(Lex("A/* x ** y / * */B"), (Tokens{"KEYWORD(a)", "KEYWORD(b)"}));
  EXPECT_EQ(Lex("A/**/B/***/C"), (Tokens{"KEYWORD(a)", "KEYWORD(b)", "KEYWORD(c)"}));
  EXPECT_EQ(Lex("A */ B"), (Tokens{"KEYWORD(a)", "KEYWORD(b)"}));
  EXPECT_EQ(Lex("/* never closed ; A"), Tokens{});
  EXPECT_EQ(Read("\\N\\;\\F\\;\\X\\;\\N;\\n\\"),
            (Tokens{"SEMICOLON", "SEMICOLON", "KEYWORD(x)", "SEMICOLON", "KEYWORD(n)",
                    "SEMICOLON"}));
}

TEST(LexerIgnored, BlanksControlCharactersAndLowerCase) {
  EXPECT_EQ(Read(" \t\r\n;\r\n\x01\xff?@%abc;"), (Tokens{"SEMICOLON", "SEMICOLON"}));
  EXPECT_EQ(Read("#x #;"), (Tokens{"SEMICOLON"}));
}

TEST(LexerIgnored, NulEndsTheInput) {
  EXPECT_EQ(Lex(std::string("A;\0B;", 5)), (Tokens{"KEYWORD(a)", "SEMICOLON"}));
}

// ---- scanning: parameter lists are skipped -----------------------------------------------------

TEST(LexerScan, ParameterListArrivesEmpty) {
  const std::string record = "#1=A('a(b',(1,2)),B;";
  for (int mode : {kScanToName, kScanAll}) {
    EXPECT_EQ(Lex(record, mode), (Tokens{"ENTITY_NAME(1)", "EQUALS@3:1", "KEYWORD(a)",
                                         "LEFT_PAREN", "RIGHT_PAREN", "COMMA", "KEYWORD(b)",
                                         "SEMICOLON"}))
        << "mode " << mode;
  }
  // Evaluating delivers everything.
  EXPECT_EQ(Lex(record), (Tokens{"ENTITY_NAME(1)", "EQUALS", "KEYWORD(a)", "LEFT_PAREN",
                                 "STRING(a(b)", "COMMA", "LEFT_PAREN", "INTEGER 1", "COMMA",
                                 "INTEGER 2", "RIGHT_PAREN", "RIGHT_PAREN", "COMMA",
                                 "KEYWORD(b)", "SEMICOLON"}));
}

TEST(LexerScan, StringsAndCommentsDoNotCountParentheses) {
  EXPECT_EQ(Lex("A('it''s )(', /* ) */ 'x)') B", kScanAll),
            (Tokens{"KEYWORD(a)", "LEFT_PAREN", "RIGHT_PAREN", "KEYWORD(b)"}));
  EXPECT_EQ(Lex("A(/* ( */ 1) B", kScanAll),
            (Tokens{"KEYWORD(a)", "LEFT_PAREN", "RIGHT_PAREN", "KEYWORD(b)"}));
  // A slash or star alone is ordinary skipped text.
  EXPECT_EQ(Lex("A(1/2, *, 3*/) B", kScanAll),
            (Tokens{"KEYWORD(a)", "LEFT_PAREN", "RIGHT_PAREN", "KEYWORD(b)"}));
  EXPECT_EQ(Lex("A(1/)B", kScanAll),
            (Tokens{"KEYWORD(a)", "LEFT_PAREN", "RIGHT_PAREN", "KEYWORD(b)"}));
}

TEST(LexerScan, DeepNestingAndSeveralRecords) {
  EXPECT_EQ(Lex("#1=A(((((1)))),(2));\n#2=B((3));", kScanAll),
            (Tokens{"ENTITY_NAME(1)", "EQUALS@3:1", "KEYWORD(a)", "LEFT_PAREN", "RIGHT_PAREN",
                    "SEMICOLON", "ENTITY_NAME(2)", "EQUALS@24:2", "KEYWORD(b)", "LEFT_PAREN",
                    "RIGHT_PAREN", "SEMICOLON"}));
}

TEST(LexerScan, EqualsMarksWhereTheRightHandSideStarts) {
  const std::string content = "DATA;\n#10 = \n  POINT(1.,'a');\n#20=LINE(#10);\n";
  // "#10 =" ends at offset 11 on line 2; "#20=" at offset 34 on line 4.
  ASSERT_EQ(content.substr(0, 11), "DATA;\n#10 =");
  ASSERT_EQ(content.substr(0, 34), "DATA;\n#10 = \n  POINT(1.,'a');\n#20=");
  LexFile in(content, kScanAll);
  EXPECT_EQ(LexOn(), (Tokens{"DATA", "SEMICOLON", "ENTITY_NAME(10)", "EQUALS@11:2",
                             "KEYWORD(point)", "LEFT_PAREN", "RIGHT_PAREN", "SEMICOLON",
                             "ENTITY_NAME(20)", "EQUALS@34:4", "KEYWORD(line)", "LEFT_PAREN",
                             "RIGHT_PAREN", "SEMICOLON"}));

  // Evaluating from that position reads the right-hand side, on the right line.
  in.file.Seek(11);
  in.file.SetLine(2);
  in.file.SetParseMode(kEvaluate);
  cct_ResetLexer(in.file);
  EXPECT_EQ(LexOn(7), (Tokens{"KEYWORD(point)", "LEFT_PAREN", "REAL 1", "COMMA", "STRING(a)",
                              "RIGHT_PAREN", "SEMICOLON"}));
  EXPECT_EQ(in.file.Line(), 3);
}

TEST(LexerScan, LeftParenInEvaluateModeSkipsNothing) {
  EXPECT_EQ(Lex("((1),$)"), (Tokens{"LEFT_PAREN", "LEFT_PAREN", "INTEGER 1", "RIGHT_PAREN",
                                    "COMMA", "MISSING", "RIGHT_PAREN"}));
}

// ---- state across calls and parses -------------------------------------------------------------

TEST(LexerState, LookAheadIsCoveredBySavedPositions) {
  LexFile in("12AB 7", kEvaluate);
  EXPECT_EQ(LexOn(1), (Tokens{"INTEGER 12"}));  // "A" was read ahead and given back
  in.file.SaveFilePosition();
  EXPECT_EQ(LexOn(), (Tokens{"KEYWORD(ab)", "INTEGER 7"}));
  in.file.RestoreFilePosition();
  EXPECT_EQ(LexOn(), (Tokens{"KEYWORD(ab)", "INTEGER 7"}));
}

TEST(LexerState, StateSurvivesUntilReset) {
  // A comment left open ends its input; it does not swallow the start of the next one, reset
  // or not (a stray comment end is passed over).
  {
    LexFile first("A /* open", kEvaluate);
    EXPECT_EQ(LexOn(), (Tokens{"KEYWORD(a)"}));
  }
  {
    LexFile second("B */ C", kEvaluate, /*reset=*/false);
    EXPECT_EQ(LexOn(), (Tokens{"KEYWORD(b)", "KEYWORD(c)"}));
  }

  // A scan abandoned inside a nested parameter list leaves nothing behind either.
  EXPECT_EQ(Lex("A((1,", kScanAll), (Tokens{"KEYWORD(a)", "LEFT_PAREN"}));
  EXPECT_EQ(Lex("B(1),C", kEvaluate),
            (Tokens{"KEYWORD(b)", "LEFT_PAREN", "INTEGER 1", "RIGHT_PAREN", "COMMA",
                    "KEYWORD(c)"}));
  EXPECT_EQ(Lex("A((1,", kScanAll), (Tokens{"KEYWORD(a)", "LEFT_PAREN"}));
  EXPECT_EQ(Lex("B(1),C", kScanAll),
            (Tokens{"KEYWORD(b)", "LEFT_PAREN", "RIGHT_PAREN", "COMMA", "KEYWORD(c)"}));
}

}  // namespace

TEST(LexerNumbers, BeyondRangeIsClampedAndReported) {
  // INTEGER values are 32 bits: the nearest one that fits is read (and, when evaluating, the
  // log says so; the file tests check that text).
  EXPECT_EQ(Lex("2147483648 -99999999999999999999999", kScanAll),
            (Tokens{"INTEGER 2147483647", "INTEGER -2147483648"}));
}

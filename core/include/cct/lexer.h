// The scanner of exchange files. It reads through the input file it is given and gives back
// every character it looked ahead over through Unput, so saved file positions cover its
// look-ahead. Its state belongs to that file, so files can be read on several threads at once.
#ifndef CCT_LEXER_H
#define CCT_LEXER_H

#include <cstdint>
#include <string>

class cct_InputFile;

/// Where the right-hand side of a definition starts; made with the "=" token while scanning.
struct DefinitionPosition {
  long offset;  // wide enough for files beyond 2 GiB
  int32_t line;
  int32_t spare;
  int32_t typeId;  // filled in by the parser
};

/// What the lexer keeps between tokens of one file: whether the scan is passing over a parameter
/// list (and how deep it is in it), and the text of the token being matched (it grows as
/// needed, so no token is too long).
struct cct_LexerState {
  bool skipping = false;
  int skipDepth = 0;
  std::string text;
};

/// Token codes of the parser.
enum cct_Token : int {
  cct_TOKEN_END = 0,
  cct_TOKEN_ENTITY_NAME = 257,
  cct_TOKEN_ENUM,
  cct_TOKEN_KEYWORD,
  cct_TOKEN_STRING,
  cct_TOKEN_BINARY,
  cct_TOKEN_USER_DEFINED_KEYWORD,
  cct_TOKEN_INTEGER,
  cct_TOKEN_LOGICAL,
  cct_TOKEN_REAL,
  cct_TOKEN_EQUALS,
  cct_TOKEN_COMMA,
  cct_TOKEN_DATA,
  cct_TOKEN_ENDSCOPE,
  cct_TOKEN_ENDSEC,
  cct_TOKEN_END_ISO_10303_21,
  cct_TOKEN_HEADER,
  cct_TOKEN_LEFT_PAREN,
  cct_TOKEN_SEMICOLON,
  cct_TOKEN_MISSING,
  cct_TOKEN_REDEFINE,
  cct_TOKEN_RIGHT_PAREN,
  cct_TOKEN_SCOPE,
  cct_TOKEN_SLASH,
  cct_TOKEN_ISO_10303_21,
};

/// The value a token carries.
union cct_TokenValue {
  long integer;
  double real;
  char* text;
  DefinitionPosition* position;
};

/// The next token of the file; its value goes to `value` (null pointers for tokens without one).
int cct_Lex(cct_InputFile& file, cct_TokenValue& value);

/// Back to the state of a fresh scanner (NORMAL, no open parentheses). Every parse starts here,
/// so a read abandoned inside a comment or a skipped list cannot disturb the next one.
void cct_ResetLexer(cct_InputFile& file);

/// Lower-cased heap copy (cct_CopyText ownership).
char* cct_LowerCopy(const char* text, unsigned long length);

#endif

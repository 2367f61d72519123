// The scanner of exchange files. It reads through cct_currentInputFile and gives back every
// character it looked ahead over through Unput, so saved file positions cover its look-ahead.
#ifndef CCT_LEXER_H
#define CCT_LEXER_H

#include <cstdint>

/// Where the right-hand side of a definition starts; made with the "=" token while scanning.
struct DefinitionPosition {
  long offset;  // wide enough for files beyond 2 GiB
  int32_t line;
  int32_t spare;
  int32_t typeId;  // filled in by the parser
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

/// The next token; its value goes to `value` (null pointers for tokens without one).
int cct_Lex(cct_TokenValue& value);

/// Back to the state of a fresh scanner (NORMAL, no open parentheses). Every parse starts here,
/// so a read abandoned inside a comment or a skipped list cannot disturb the next one.
void cct_ResetLexer();

/// Lower-cased heap copy (cct_CopyText ownership).
char* cct_LowerCopy(const char* text, unsigned long length);

#endif

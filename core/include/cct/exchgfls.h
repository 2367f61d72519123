// An open exchange file seen as a stream of characters, with its line counter and the file scope
// in which every instance read from it is registered. Reading operations for the lexer come with
// the reader; this holds what the log, the scope and the instances need today.
#ifndef CCT_EXCHGFLS_H
#define CCT_EXCHGFLS_H

#include <cstdint>
#include <cstdio>
#include <iosfwd>

#include "cct/scope.h"

class cct_Instance;

class cct_InputFile {
 public:
  /// Opens the file for reading in binary mode. A missing name or a file that cannot be opened
  /// is reported (error 263) and throws cct_GenericException.
  explicit cct_InputFile(const char* name);
  virtual ~cct_InputFile();
  cct_InputFile(const cct_InputFile&) = delete;
  cct_InputFile& operator=(const cct_InputFile&) = delete;

  /// Removing an instance from a file is not supported here: reported, nothing else.
  virtual void Kill(cct_Instance* instance);
  virtual void ScanFile();
  virtual void WriteP21(std::ostream& os);

  const char* Name() const { return name_; }
  void SetName(const char* name);
  long Line() const { return line_; }
  void SetLine(long line) { line_ = line; }
  /// 1 for a STEP exchange file.
  int FileKind() const { return fileKind_; }
  cct_FileScope& Scope() { return scope_; }
  const cct_FileScope& Scope() const { return scope_; }
  int ParseMode() const { return parseMode_; }
  void SetParseMode(int mode) { parseMode_ = mode; }

 protected:
  char* name_ = nullptr;
  int fileKind_ = 0;
  int32_t line_ = 1;
  cct_FileScope scope_;
  int parseMode_ = 3;
  std::FILE* stream_ = nullptr;
};

#endif

// An open exchange file seen as a stream of characters for the lexer: the current line for
// messages, a small buffer of characters pushed back by the lexer, byte-offset seeking, and a
// stack of saved reading positions so that an instance elsewhere in the file can be read and the
// reader can come back. It also contains the file scope of the file.
#ifndef CCT_EXCHGFLS_H
#define CCT_EXCHGFLS_H

#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <memory>
#include <vector>

#include "cct/errlog.h"
#include "cct/lexer.h"
#include "cct/lnklst.h"
#include "cct/scope.h"

class cct_Instance;
class cct_PageCache;

/// One saved reading position.
struct cct_FileStatus {
  long offset = 0;
  int unputCount = 0;
  int* unputCopy = nullptr;
  int32_t line = 1;
  int parseMode = 3;
};

class cct_InputFile {
 public:
  /// Supplies an already opened stream for a file name (the address of the name is passed), or
  /// null.
  using StreamProvider = std::FILE* (*)(const char** name);

  static constexpr int kUnputSize = 100;
  static constexpr int kFileKindStep = 1;
  static constexpr int kIdleParseMode = 3;
  /// Parse modes: index definitions until a name, read a record, index all definitions.
  enum Mode : int { kScanToName = 0, kEvaluate = 1, kScanAll = 5 };

  /// Opens the file for reading in binary mode. A missing name or a file that cannot be opened
  /// is reported (error 263) and throws cct_GenericException.
  explicit cct_InputFile(const char* name, StreamProvider first = nullptr,
                         StreamProvider second = nullptr);
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
  void SetLine(long line) { line_ = static_cast<int32_t>(line); }
  /// 1 for a STEP exchange file.
  int FileKind() const { return fileKind_; }
  cct_FileScope& Scope() { return scope_; }
  const cct_FileScope& Scope() const { return scope_; }
  int ParseMode() const { return parseMode_; }
  void SetParseMode(int mode) { parseMode_ = mode; }
  bool FullyIndexed() const { return fullyIndexed_; }

  /// The next character (0..255), pushed-back ones first; 0 at the end of the file.
  int GetChar() {
    while (unputCount_ > 0) {
      int c = unput_[--unputCount_];
      if (c != 0) return c;
    }
    Block& b = blocks_[current_];
    if (pos_ == b.length && !Fill()) return 0;
    int c = static_cast<unsigned char>(blocks_[current_].data[pos_++]);
    if (c == '\n') ++line_;
    return c;
  }
  /// Pushes a character back; fatal beyond 100 pending characters.
  void Unput(int c);
  /// Byte offset of the stream; pushed-back characters are not accounted for.
  long Tell() const { return blocks_[current_].start + static_cast<long>(pos_); }
  /// Positions the stream and forgets pushed-back characters; the line is the caller's business.
  void Seek(long offset);
  void SaveFilePosition();
  void RestoreFilePosition();

  /// What the record being read gave that its attributes did not take, noted while its
  /// parameters are offered to them and kept as written once the instance is registered.
  struct Misfits {
    std::vector<long> refused;  // attributes whose parameter the binding refused
    long extraFrom = -1;        // the first parameter after the last attribute
    long given = -1;            // parameters of a record that ended before its last attribute
    long taken = -1;            // parameters the reader offered the instance
    // The instance and attribute being given a parameter, for reports that name them.
    const cct_Instance* taking = nullptr;
    long attribute = -1;
    long notices = 0;  // reports of a value taken as given (a list's count), not of a refusal
    bool Any() const { return !refused.empty() || extraFrom >= 0 || given >= 0; }
    void Clear() {
      refused.clear();
      extraFrom = given = taken = -1;
      taking = nullptr;
    }
  };
  Misfits& RecordMisfits() const { return misfits_; }
  /// The lexer's state while this file is read.
  cct_LexerState& Lexer() { return lexer_; }
  /// The name of the instance whose record is being read; null when none is.
  virtual const char* RecordName() const { return nullptr; }

 protected:
  bool Fill();
  /// The unread characters of the current block, read ahead when it is used up; false when
  /// characters are pushed back (they come first) or the file has ended.
  bool Window(const char*& begin, const char*& end) {
    if (unputCount_ > 0) return false;
    if (pos_ == blocks_[current_].length && !Fill()) return false;
    const Block& b = blocks_[current_];
    begin = b.data + pos_;
    end = b.data + b.length;
    return true;
  }
  /// Reads a whole block from the reading position on, for a window that ended before what it
  /// was asked for; false when no more of the file could be had that way.
  bool WidenWindow();
  /// Moves past n characters of the window that held `lines` line ends.
  void Consume(size_t n, int32_t lines) {
    pos_ += n;
    line_ += lines;
  }

  char* name_ = nullptr;
  int fileKind_ = 0;
  int32_t line_ = 1;
  cct_FileScope scope_;
  int parseMode_ = kIdleParseMode;
  std::FILE* stream_ = nullptr;
  int* unput_ = nullptr;
  int unputCount_ = 0;
  std::vector<cct_FileStatus> fileStatusStack_;
  bool fullyIndexed_ = false;
  mutable Misfits misfits_;
  cct_LexerState lexer_;

 private:
  // Two blocks of the file are kept: reading an instance elsewhere in the file and coming back
  // (the on-demand read) then costs one small read instead of two large ones.
  struct Block {
    char* data = nullptr;
    long start = 0;     // file offset of data[0]
    size_t length = 0;  // bytes held
    bool fresh = true;  // no read since it was pointed at a new place
  };
  static constexpr size_t kBlockSize = 1 << 16;
  static constexpr size_t kFirstRead = 1 << 9;

  Block blocks_[2];
  // The small reads after a seek go through a cache of recently read pages: reading every
  // instance in name order jumps about the file, but mostly among a few nearby places.
  std::unique_ptr<cct_PageCache> pages_;
  int current_ = 0;
  size_t pos_ = 0;  // in the current block
};

/// Writes the quoted file name and its current line: "\"a.stp\", line 12:  ". (Beside the input
/// file rather than the log, so that the log depends on nothing else of the core.)
cct_ErrorLog& operator<<(cct_ErrorLog& log, const cct_InputFile& file);

/// The file being read on this thread, set for every read of a record: value types name its
/// place in their reports. Each thread reads its own file.
extern thread_local cct_InputFile* cct_currentInputFile;

#endif

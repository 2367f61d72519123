#include "cct/exchgfls.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ostream>

#include "cct/cctype.h"
#include "cct/errlog.h"
#include "cct/instance.h"
#include "page_cache.h"

namespace {
constexpr const char* kModule = "exchgfls";
}

thread_local cct_InputFile* cct_currentInputFile = nullptr;


cct_InputFile::cct_InputFile(const char* name, StreamProvider first, StreamProvider second) {
  scope_.SetInputFile(this);
  unput_ = new int[kUnputSize];
  for (Block& b : blocks_) b.data = new char[kBlockSize];
  const char* given = name;
  if (first) {
    if (std::FILE* s = first(&given)) {
      stream_ = s;
      SetName(given);
      return;
    }
  }
  if (!name && !second) {
    cct_errlog(cct_Error(cct_IO_ERROR)) << "Missing filename for input file";
    delete[] unput_;
    for (Block& b : blocks_) delete[] b.data;
    throw cct_GenericException();
  }
  if (name) {
    stream_ = std::fopen(name, "rb");
    if (stream_) {
      SetName(name);
      return;
    }
  }
  if (second) {
    if (std::FILE* s = second(&given)) {
      stream_ = s;
      SetName(given);
      return;
    }
  }
  cct_errlog(cct_Error(cct_IO_ERROR)) << "Can't open input file '" << (name_ ? name_ : (name ? name : ""))
                                      << "'.";
  delete[] unput_;
  for (Block& b : blocks_) delete[] b.data;
  cct_FreeText(name_);
  throw cct_GenericException();
}

cct_InputFile::~cct_InputFile() {
  // Objects that no scope entry owns as a registered instance are deleted here; registered
  // instances are left to the scope.
  cct_Scope::ListCursor cursor;
  for (cct_Scope::Entry* e = scope_.ListFirst(cursor); e; e = scope_.ListNext(cursor)) {
    cct_Instance* held = e->instance;
    if (!held) continue;
    long kind = held->Kind();
    bool stray = kind != cct_KIND_INSTANCE && kind != cct_KIND_PLACEHOLDER;
    if (!stray && !held->InstanceName() && !held->IsRegistered()) stray = true;
    if (stray) {
      delete held;
      e->instance = nullptr;
    }
  }
  if (stream_) std::fclose(stream_);
  delete[] unput_;
  for (Block& b : blocks_) delete[] b.data;
  cct_FreeText(name_);
  for (cct_FileStatus& status : fileStatusStack_) delete[] status.unputCopy;
}

void cct_InputFile::SetName(const char* name) {
  char* copy = cct_CopyText(name);
  cct_FreeText(name_);
  name_ = copy;
}

bool cct_InputFile::Fill() {
  if (!stream_) return false;
  Block& b = blocks_[current_];
  // Right after a seek only a little is read: an instance read on demand is short, while a
  // sequential read soon asks for more and then gets whole blocks.
  const size_t want = b.fresh ? kFirstRead : kBlockSize;
  const long next = b.start + static_cast<long>(b.length);
  ssize_t n;
  static_assert(cct_PageCache::kSpill >= kFirstRead, "a first read fits in a cached page");
  if (b.fresh && next >= 0) {
    if (!pages_) pages_ = std::make_unique<cct_PageCache>();
    n = pages_->Read(fileno(stream_), next, b.data, want);
  } else {
    do {
      n = pread(fileno(stream_), b.data, want, next);
    } while (n < 0 && errno == EINTR);
  }
  if (n <= 0) return false;
  b.start = next;
  b.length = static_cast<size_t>(n);
  b.fresh = false;
  pos_ = 0;
  return true;
}

bool cct_InputFile::WidenWindow() {
  if (!stream_ || unputCount_ > 0) return false;
  Block& b = blocks_[current_];
  if (pos_ == 0 && b.length == kBlockSize) return false;  // holds all that one block can
  const long from = Tell();
  ssize_t n;
  do {
    n = pread(fileno(stream_), b.data, kBlockSize, from);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return false;
  const bool more = static_cast<size_t>(n) > b.length - pos_;
  b.start = from;
  b.length = static_cast<size_t>(n);
  b.fresh = false;
  pos_ = 0;
  return more;
}

void cct_InputFile::Unput(int c) {
  if (c == 0) return;
  if (unputCount_ == kUnputSize) {
    cct_errlog(cct_Error(cct_PROGRAM_BUG)) << *this << "(exchgfls)cct_InputFile::Unput"
                                           << "\n\tOverflow of the unput buffer for the lex parser";
    throw cct_GenericException();
  }
  unput_[unputCount_++] = c;
}

void cct_InputFile::Seek(long offset) {
  unputCount_ = 0;
  for (int k : {current_, 1 - current_}) {
    Block& b = blocks_[k];
    if (offset >= b.start && offset <= b.start + static_cast<long>(b.length)) {
      current_ = k;
      pos_ = static_cast<size_t>(offset - b.start);
      return;
    }
  }
  // Neither block holds it: the one not in use is pointed there and filled on the next read.
  current_ = 1 - current_;
  Block& b = blocks_[current_];
  b.start = offset < 0 ? 0 : offset;
  b.length = 0;
  b.fresh = true;
  pos_ = 0;
}

void cct_InputFile::SaveFilePosition() {
  cct_FileStatus status;
  status.offset = Tell();
  status.unputCount = unputCount_;
  if (unputCount_ > 0) {
    status.unputCopy = new int[unputCount_];
    std::memcpy(status.unputCopy, unput_, sizeof(int) * static_cast<size_t>(unputCount_));
  }
  status.line = line_;
  status.parseMode = parseMode_;
  fileStatusStack_.push_back(status);
}

void cct_InputFile::RestoreFilePosition() {
  if (fileStatusStack_.empty()) {
    cct_errlog(cct_Error(cct_PROGRAM_BUG)) << "(exchgfls)cct_InputFile::RestoreFilePosition()"
                                           << "\t\nAlready at top of FileStatusStack";
    return;
  }
  cct_FileStatus status = fileStatusStack_.back();
  fileStatusStack_.pop_back();
  Seek(status.offset);
  unputCount_ = status.unputCount;
  if (unputCount_ > 0)
    std::memcpy(unput_, status.unputCopy, sizeof(int) * static_cast<size_t>(unputCount_));
  line_ = status.line;
  parseMode_ = status.parseMode;
  delete[] status.unputCopy;
}

void cct_InputFile::Kill(cct_Instance*) {
  cct_errlog(cct_Warning(cct_UNIMPLEMENTED)) << "cct_InputFile::Kill()";
}

void cct_InputFile::ScanFile() {
  cct_errlog(cct_Error(cct_VIRTUAL_UNDEFINED)) << "(" << kModule << ") "
                                               << "cct_InputFile::ScanFile (ostream &)";
}

void cct_InputFile::WriteP21(std::ostream&) {
  cct_errlog(cct_Error(cct_VIRTUAL_UNDEFINED)) << "(" << kModule << ") "
                                               << "cct_InputFile::WriteP21 (ostream &)";
}

cct_ErrorLog& operator<<(cct_ErrorLog& log, const cct_InputFile& file) {
  log.Stream() << '"';
  log << file.Name() << "\", line " << file.Line() << ":  ";
  return log;
}

// Durable saves. The file operations of a save that can still fail once the temporary file exists. A save
// calls them through this table so that a test can make one of them fail (as a full disk, a
// failing disk or a refused rename would) and see that the user's file stays as it was; nothing
// but tests replaces them.
#ifndef VARNHOLT_SAVE_IO_H
#define VARNHOLT_SAVE_IO_H

#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <streambuf>
#include <string>
#include <vector>

namespace varnholt {

struct SaveIo {
  ssize_t (*write)(int fd, const void* data, std::size_t size);
  int (*fsync)(int fd);  // the temporary file's, then the folder's after the rename
  int (*rename)(const char* from, const char* to);
};

/// The table every save uses; the system calls unless a test replaced one.
SaveIo& SaveOperations();

/// Writes through the save's write operation into a descriptor, so that a write that fails
/// half-way (a full disk, a file-size limit) is seen with its reason instead of being lost in a
/// stream; counts what it wrote.
class DescriptorBuffer : public std::streambuf {
 public:
  explicit DescriptorBuffer(int fd) : fd_(fd), buffer_(1 << 16) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
  }
  /// The errno of the first failed write, 0 while none failed.
  int Error() const { return error_; }
  long long Written() const { return written_; }

 protected:
  int_type overflow(int_type c) override {
    if (!Drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override { return Drain() ? 0 : -1; }

 private:
  bool Drain() {
    if (error_) return false;
    const char* p = pbase();
    size_t left = static_cast<size_t>(pptr() - pbase());
    while (left > 0) {
      const ssize_t n = varnholt::SaveOperations().write(fd_, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        // A write that takes nothing without an error would loop for ever: the disk is full.
        error_ = n < 0 ? errno : ENOSPC;
        return false;
      }
      p += n;
      written_ += n;
      left -= static_cast<size_t>(n);
    }
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return true;
  }

  int fd_;
  std::vector<char> buffer_;
  int error_ = 0;
  long long written_ = 0;
};

/// Replaces the regular file at `path` (following a link), or makes it, with what `write`
/// writes: into a temporary file beside it, flushed to disk, then renamed over it. `write`
/// answers an empty text, or the reason to give up. False with the reason in `why` when
/// anything failed; the target then holds what it held before (a device or folder named as
/// the target is refused). Only the final flush of the folder can fail after the rename.
bool ReplaceFile(const std::string& path, const std::function<std::string(std::ostream&)>& write,
                 std::string& why);

}  // namespace varnholt

#endif

// Recently read pages of a file, for the small reads of instances read one at a time.
#ifndef CCT_PAGE_CACHE_H
#define CCT_PAGE_CACHE_H

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>

// Reading every instance in name order jumps about the file, but mostly among a few nearby
// places: a cache of a few megabytes answers almost every read without a system call. Each page
// is kept with the first bytes of the next one, so that a read of up to kSpill bytes starting
// anywhere in a page is served whole from that page. Four ways per set, the least recently used
// goes. A read is answered exactly as a pread of the same size at the same offset would be.
class cct_PageCache {
 public:
  static constexpr size_t kPage = 4096;
  static constexpr size_t kSpill = 512;
  static constexpr size_t kSets = 256;
  static constexpr size_t kWays = 4;

  cct_PageCache() : data_(new char[kSets * kWays * (kPage + kSpill)]) {}

  /// Where at most `want` (<= kSpill) bytes at `offset` are: their count (0 at the end of the
  /// file, -1 on an error) and their address, valid until the next Find.
  ssize_t Find(int fd, long offset, size_t want, const char*& bytes) {
    const long page = offset / static_cast<long>(kPage);
    Way* set = &ways_[(static_cast<size_t>(page) % kSets) * kWays];
    Way* way = nullptr;
    for (size_t k = 0; k < kWays && !way; ++k)
      if (set[k].page == page) way = &set[k];
    if (!way) {
      way = set;
      for (size_t k = 1; k < kWays; ++k)
        if (set[k].used < way->used) way = &set[k];
      way->page = -1;
      ssize_t n;
      do {
        n = pread(fd, Data(way), kPage + kSpill, page * static_cast<long>(kPage));
      } while (n < 0 && errno == EINTR);
      if (n < 0) return -1;
      way->page = page;
      way->length = static_cast<size_t>(n);
    }
    way->used = ++clock_;
    const size_t at = static_cast<size_t>(offset - page * static_cast<long>(kPage));
    bytes = Data(way) + at;
    return way->length > at ? static_cast<ssize_t>(std::min(want, way->length - at)) : 0;
  }

  /// As Find, copying the bytes to `out`.
  ssize_t Read(int fd, long offset, char* out, size_t want) {
    const char* bytes = nullptr;
    ssize_t n = Find(fd, offset, want, bytes);
    if (n > 0) std::memcpy(out, bytes, static_cast<size_t>(n));
    return n;
  }

 private:
  struct Way {
    long page = -1;
    size_t length = 0;
    uint64_t used = 0;
  };
  char* Data(const Way* way) {
    return data_.get() + static_cast<size_t>(way - ways_) * (kPage + kSpill);
  }

  std::unique_ptr<char[]> data_;
  Way ways_[kSets * kWays];
  uint64_t clock_ = 0;
};

#endif

// The two helper threads of a full read, as the exchange-file object holds them: scan-ahead
// (indexes plain definitions ahead of the scan) and read-ahead (fetches and tokenizes the records
// in the order the document reads them). Internal to the core's reading code.
#ifndef CCT_DIRECT_THREADS_H
#define CCT_DIRECT_THREADS_H

#include <unistd.h>

#include <cstring>
#include <vector>

#include "cct/stepfile.h"
#include "direct_scan.h"
#include "handoff.h"
#include "page_cache.h"

using namespace cct_direct;  // an internal header of the reading code only

// The second thread of a full read: it walks the entries in the order they will be read and, a
// stretch ahead of the reader, fetches each record (through a page cache of its own), splits it
// into tokens and checks its grammar, exactly as FastEvaluate does with the record in its
// window. The reader takes the prepared record when it reads that entry; a record the thread
// could not prepare (unusual, long, damaged) is read by the reader itself as always. The thread
// touches nothing but the file, the entries' offsets and its own slots.
class cct_StepFile::ReadAhead {
 public:
  struct Slot {
    std::vector<Token> tokens;
    size_t consumed = 0;  // the record with the blank after it
    bool ready = false;
    char text[cct_PageCache::kSpill];
    std::vector<char> longText;  // a record longer than text
  };

  ReadAhead(int fd, const cct_Scope::Order& order)
      : fd_(fd), order_(order), slots_(kSlots), handoff_(kSlots) {
    handoff_.Start([this] { Run(); });
  }

  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  /// The prepared record of an entry about to be read in the planned order; null when it is not
  /// among the next planned ones or could not be prepared. Valid until the next Take.
  const Slot* Take(const cct_Scope::Entry* entry) {
    size_t k = next_;
    const size_t last = std::min(order_.size(), next_ + kLookAhead);
    while (k < last && order_[k] != entry) ++k;
    if (k == last) return nullptr;
    // The slots before k will not be asked for: they go back to the thread with the previous
    // one; slot k stays the reader's until the next take.
    handoff_.Release(k);
    next_ = k + 1;
    handoff_.WaitFor(k);
    // What the records a little further on need is fetched from the other core while this one
    // is built: the head of a slot, then (its head now here) its tokens and text.
    if (handoff_.Filled(k + 4)) __builtin_prefetch(&slots_[(k + 4) % kSlots]);
    if (handoff_.Filled(k + 2)) {
      const Slot& next = slots_[(k + 2) % kSlots];
      const char* tokens = reinterpret_cast<const char*>(next.tokens.data());
      const size_t bytes = std::min<size_t>(next.tokens.size() * sizeof(Token), 320);
      for (size_t at = 0; at < bytes; at += 64) __builtin_prefetch(tokens + at);
      __builtin_prefetch(next.text);
    }
    const Slot& slot = slots_[k % kSlots];
    return slot.ready ? &slot : nullptr;
  }

 private:
  static constexpr size_t kSlots = 1024;
  static constexpr size_t kLookAhead = 64;
  static constexpr size_t kKeptTokens = 256;

  void Run() {
    for (size_t k = 0; k < order_.size(); ++k) {
      if (!handoff_.WaitForRoom(k)) return;
      // The entries lie scattered in memory: the one needed a few records on is fetched
      // meanwhile.
      if (k + 16 < order_.size()) __builtin_prefetch(order_[k + 16]);
      Prepare(slots_[k % kSlots], order_[k]->fileOffset);
      if ((k + 1) % 8 == 0 || k + 1 == order_.size() || handoff_.ReaderWaiting()) handoff_.Publish(k + 1);
    }
  }

  void Prepare(Slot& slot, long offset) {
    slot.ready = false;
    // A slot that held a long record gives its room back: kept, every slot would in time
    // hold as much as the longest record, a thousand times over.
    if (slot.tokens.capacity() > kKeptTokens) std::vector<Token>().swap(slot.tokens);
    if (slot.longText.capacity() > 0) std::vector<char>().swap(slot.longText);
    if (offset <= 0) return;
    try {
      const char* bytes = nullptr;
      const ssize_t n = pages_.Find(fd_, offset, sizeof slot.text, bytes);
      if (n <= 0) return;
      const char* stop = nullptr;
      Split split = Tokenize(bytes, bytes + n, slot.tokens, stop);
      const char* base = bytes;
      if (split == Split::kShort && static_cast<size_t>(n) == sizeof slot.text) {
        // A long record (a list of many points): read with the larger window the reader would
        // widen to.
        wide_.resize(kWideWindow);
        ssize_t w;
        do {
          w = pread(fd_, wide_.data(), kWideWindow, offset);
        } while (w < 0 && errno == EINTR);
        if (w <= 0) return;
        base = wide_.data();
        split = Tokenize(base, base + w, slot.tokens, stop);
      }
      if (split != Split::kDone) return;
      const std::vector<Token>& t = slot.tokens;
      if (t.size() < 4 || t[0].kind != Tok::kKeyword) return;
      const long next = CheckList(t, 1, 0);
      if (next < 0 || static_cast<size_t>(next) != t.size() - 1) return;
      // The record's own copy, which its tokens then point into: the page may be gone when the
      // reader gets to it.
      slot.consumed = static_cast<size_t>(stop - base);
      char* kept = slot.text;
      if (slot.consumed > sizeof slot.text) {
        slot.longText.resize(slot.consumed);
        kept = slot.longText.data();
      }
      std::memcpy(kept, base, slot.consumed);
      for (Token& token : slot.tokens) token.text = kept + (token.text - base);
      slot.ready = true;
    } catch (...) {
      slot.ready = false;  // (out of memory) the reader reads it itself
    }
  }

  // As large as the window the reader widens to for a long record.
  static constexpr size_t kWideWindow = 1 << 16;

  const int fd_;
  const cct_Scope::Order& order_;
  std::vector<char> wide_;
  std::vector<Slot> slots_;
  cct_PageCache pages_;
  Handoff handoff_;  // (last but one: its thread ends before what it uses goes)
  size_t next_ = 0;  // the reader's: the planned position it expects next
};

// The second thread of a scan: it indexes the definitions of the usual form from a place in the
// file on, in file order, exactly as the direct scan does, a stretch ahead of the scan, which
// takes each definition and enters it. At the first definition it cannot index itself (a
// comment, a long or unusual definition, the end of the data) it stops and says where, and the
// scan goes on from there as always. The thread touches nothing but the file and its ring.
class cct_StepFile::ScanAhead {
 public:
  // What the scan reads of a definition lies in its first 64 bytes; the keyword, in the next
  // ones, is written (and read) only when it differs from the one before.
  struct alignas(64) Found {
    long equalsOffset;
    long endOffset;  // past the definition, or where the thread stopped
    int32_t equalsLine;
    int32_t endLine;
    bool last;  // no definition: the thread stopped at endOffset, endLine
    bool sameKeyword;
    uint8_t nameLength;
    uint8_t keywordLength;
    char name[kMaxScannedName + 1];
    char keyword[84];
  };

  ScanAhead(int fd, long offset, int32_t line)
      : fd_(fd), start_(offset), startLine_(line), buffer_(kBuffer), found_(kSlots), handoff_(kSlots) {
    handoff_.Start([this] { Run(); });
  }

  ScanAhead(const ScanAhead&) = delete;
  ScanAhead& operator=(const ScanAhead&) = delete;

  /// The next definition (or the place where the thread stopped, the last); valid until the
  /// next call.
  const Found& Next() {
    handoff_.Release(next_);
    handoff_.WaitFor(next_);
    if (handoff_.Filled(next_ + 4)) __builtin_prefetch(&found_[(next_ + 4) % kSlots]);
    return found_[next_++ % kSlots];
  }

  size_t Taken() const { return next_; }

 private:
  static constexpr size_t kSlots = 4096;
  static constexpr size_t kBatch = 32;
  static constexpr size_t kBuffer = 1 << 18;

  // (Nothing in here throws: what it needs was made before it started.)
  void Run() {
    std::vector<char>& buffer = buffer_;
    long bufferStart = start_;  // the file offset of buffer[0]
    size_t have = 0;
    size_t at = 0;
    bool ended = false;
    int32_t line = startLine_;
    char keyword[sizeof(Found::keyword)];  // of the definition before
    size_t keywordLength = 0;
    for (size_t k = 0;; ++k) {
      if (!handoff_.WaitForRoom(k)) return;
      Found& f = found_[k % kSlots];
      Split split;
      Definition d;
      for (;;) {
        split = ScanDefinition(buffer.data() + at, buffer.data() + have, d);
        if (split != Split::kShort || ended || (at == 0 && have == buffer.size())) break;
        // The definition runs past what is read: the rest moves to the front and more follows.
        std::memmove(buffer.data(), buffer.data() + at, have - at);
        bufferStart += static_cast<long>(at);
        have -= at;
        at = 0;
        ssize_t n;
        do {
          n = pread(fd_, buffer.data() + have, buffer.size() - have, bufferStart + static_cast<long>(have));
        } while (n < 0 && errno == EINTR);
        if (n <= 0)
          ended = true;
        else
          have += static_cast<size_t>(n);
      }
      f.last = split != Split::kDone || d.keywordLength >= sizeof f.keyword;
      if (!f.last) {
        f.equalsOffset = bufferStart + static_cast<long>(at + d.equalsAt);
        f.equalsLine = line + d.linesBefore;
        f.nameLength = static_cast<uint8_t>(d.nameLength);
        std::memcpy(f.name, d.name, d.nameLength);
        f.sameKeyword = k > 0 && d.keywordLength == keywordLength &&
                        std::memcmp(d.keyword, keyword, d.keywordLength) == 0;
        if (!f.sameKeyword) {
          f.keywordLength = static_cast<uint8_t>(d.keywordLength);
          std::memcpy(f.keyword, d.keyword, d.keywordLength);
          std::memcpy(keyword, d.keyword, d.keywordLength);
          keywordLength = d.keywordLength;
        }
        at += d.consumed;
        line += d.lines;
      }
      f.endOffset = bufferStart + static_cast<long>(at);
      f.endLine = line;
      // Told in batches: telling costs the thread a wait for all it has written.
      if (f.last || (k + 1) % kBatch == 0 || handoff_.ReaderWaiting()) handoff_.Publish(k + 1);
      if (f.last) return;
    }
  }

  const int fd_;
  const long start_;
  const int32_t startLine_;
  std::vector<char> buffer_;
  std::vector<Found> found_;
  Handoff handoff_;  // (last but one: its thread ends before what it uses goes)
  size_t next_ = 0;  // the scan's: the next slot it takes
};

#endif

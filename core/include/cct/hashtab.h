// String-keyed table of pointers using Larson's linear hashing: it grows one bucket at a time,
// so no insertion ever rehashes the whole table. Its iteration order decides the order in which
// a scope writes its instances, so the hash, the split rule and the sizes are fixed behaviour.
#ifndef CCT_HASHTAB_H
#define CCT_HASHTAB_H

#include <atomic>
#include <cstdint>

class cct_HashTable {
 public:
  /// One key/data pair. The table stores the key pointer; the caller keeps the text alive.
  struct Entry {
    const char* key;
    void* data;
    Entry* next;
  };

  /// Position of an iteration; several may run at once over an unchanged table.
  struct Cursor {
    long bucket = 0;
    Entry* entry = nullptr;
  };

  static constexpr long kSegmentSize = 16384;
  static constexpr long kDirectorySize = 16384;
  static constexpr long kMaxBuckets = kSegmentSize * kDirectorySize;
  static constexpr long kMaxLoadFactor = 5;
  static constexpr long kPoolBlockSize = 16384;

  explicit cct_HashTable(long sizeHint = 0);
  ~cct_HashTable();
  cct_HashTable(const cct_HashTable&) = delete;
  cct_HashTable& operator=(const cct_HashTable&) = delete;

  /// Data stored under key, or null.
  void* Find(const char* key) const;
  /// The entry of key, or null.
  Entry* FindEntry(const char* key) const;
  /// Adds key -> data and answers null; an existing key answers its entry and changes nothing.
  Entry* Insert(const char* key, void* data);
  /// Unlinks the key's entry and answers it (its storage stays in the pool); null when missing.
  Entry* Remove(const char* key);

  /// Iteration bucket by bucket, each chain from head to tail.
  Entry* First(Cursor& cursor) const;
  Entry* Next(Cursor& cursor) const;

  long KeyCount() const { return keyCount_; }
  long BucketCount() const { return maxp_ + p_; }

  /// The hash of Larson's scheme before the bucket mask is applied (may be negative).
  static int32_t Hash(const char* key);

 private:
  long BucketOf(const char* key) const;
  Entry** Bucket(long index) const { return &directory_[index / kSegmentSize][index % kSegmentSize]; }
  Entry* NewEntry();
  void Split();

  long p_ = 0;
  long maxp_;
  long keyCount_ = 0;
  long growthDivisor_;
  Entry*** directory_;
  long segmentCount_;
  Entry** poolBlocks_ = nullptr;  // array of blocks of kPoolBlockSize entries
  long poolBlockCount_ = 0;
  long poolBlockCapacity_ = 0;
  long poolUsed_ = kPoolBlockSize;  // entries used in the newest block
  // The entry found last: a name is often looked up several times in a row.
  // The entry found last, tried first. Atomic: the schema's name tables are looked up by every
  // thread that reads a file (a relaxed load is a plain load).
  mutable std::atomic<Entry*> recent_{nullptr};
};

#endif

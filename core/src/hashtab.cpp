#include "cct/hashtab.h"

#include <cstring>

cct_HashTable::cct_HashTable(long sizeHint) {
  long buckets = kSegmentSize;
  while (buckets < sizeHint && buckets < kMaxBuckets) buckets *= 2;
  maxp_ = buckets;
  segmentCount_ = buckets / kSegmentSize;
  growthDivisor_ = segmentCount_;
  directory_ = new Entry**[kDirectorySize]();
  for (long i = 0; i < segmentCount_; ++i) directory_[i] = new Entry*[kSegmentSize]();
}

cct_HashTable::~cct_HashTable() {
  for (long i = 0; i < poolBlockCount_; ++i) delete[] poolBlocks_[i];
  delete[] poolBlocks_;
  for (long i = 0; i < kDirectorySize; ++i) delete[] directory_[i];
  delete[] directory_;
}

int32_t cct_HashTable::Hash(const char* key) {
  // Signed 32-bit arithmetic that wraps: done in unsigned to keep it defined.
  uint32_t h = 0;
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(key); *c; ++c)
    h = (h * 37u) ^ static_cast<uint32_t>(static_cast<int>(*c) - 32);
  return static_cast<int32_t>(h) % 1048583;
}

long cct_HashTable::BucketOf(const char* key) const {
  int32_t h = Hash(key);
  long bucket = h & (maxp_ - 1);
  if (bucket < p_) bucket = h & (2 * maxp_ - 1);
  return bucket;
}

namespace {
// Keys in one chain mostly differ in their first characters; comparing inline spares a call
// per chain entry.
inline bool SameKey(const char* a, const char* b) {
  while (*a == *b) {
    if (!*a) return true;
    ++a;
    ++b;
  }
  return false;
}
}  // namespace

cct_HashTable::Entry* cct_HashTable::FindEntry(const char* key) const {
  if (!key) return nullptr;
  Entry* recent = recent_.load(std::memory_order_relaxed);
  if (recent && SameKey(recent->key, key)) return recent;
  for (Entry* e = *Bucket(BucketOf(key)); e; e = e->next)
    if (SameKey(e->key, key)) {
      recent_.store(e, std::memory_order_relaxed);
      return e;
    }
  return nullptr;
}

void* cct_HashTable::Find(const char* key) const {
  Entry* e = FindEntry(key);
  return e ? e->data : nullptr;
}

cct_HashTable::Entry* cct_HashTable::NewEntry() {
  if (poolUsed_ == kPoolBlockSize) {
    if (poolBlockCount_ == poolBlockCapacity_) {
      long capacity = poolBlockCapacity_ ? 2 * poolBlockCapacity_ : 8;
      Entry** blocks = new Entry*[capacity];
      for (long i = 0; i < poolBlockCount_; ++i) blocks[i] = poolBlocks_[i];
      delete[] poolBlocks_;
      poolBlocks_ = blocks;
      poolBlockCapacity_ = capacity;
    }
    poolBlocks_[poolBlockCount_++] = new Entry[kPoolBlockSize];
    poolUsed_ = 0;
  }
  return &poolBlocks_[poolBlockCount_ - 1][poolUsed_++];
}

cct_HashTable::Entry* cct_HashTable::Insert(const char* key, void* data) {
  if (!key) return nullptr;
  Entry** link = Bucket(BucketOf(key));
  for (; *link; link = &(*link)->next)
    if (SameKey((*link)->key, key)) return *link;
  Entry* e = NewEntry();
  *e = Entry{key, data, nullptr};
  *link = e;
  ++keyCount_;
  if (keyCount_ / (growthDivisor_ * kSegmentSize) > kMaxLoadFactor) Split();
  return nullptr;
}

cct_HashTable::Entry* cct_HashTable::Remove(const char* key) {
  if (!key) return nullptr;
  for (Entry** link = Bucket(BucketOf(key)); *link; link = &(*link)->next) {
    Entry* e = *link;
    if (SameKey(e->key, key)) {
      if (e == recent_.load(std::memory_order_relaxed)) recent_.store(nullptr, std::memory_order_relaxed);
      *link = e->next;
      e->next = nullptr;
      --keyCount_;
      return e;
    }
  }
  return nullptr;
}

void cct_HashTable::Split() {
  long newBucket = maxp_ + p_;
  if (newBucket >= kMaxBuckets) return;
  if (newBucket % kSegmentSize == 0) {
    directory_[newBucket / kSegmentSize] = new Entry*[kSegmentSize]();
    ++segmentCount_;
  }
  long oldBucket = p_;
  if (++p_ == maxp_) {
    maxp_ *= 2;
    p_ = 0;
  }
  ++growthDivisor_;

  Entry** keep = Bucket(oldBucket);
  Entry** moveTail = Bucket(newBucket);
  while (*moveTail) moveTail = &(*moveTail)->next;
  while (Entry* e = *keep) {
    if (BucketOf(e->key) == newBucket) {
      *keep = e->next;
      e->next = nullptr;
      *moveTail = e;
      moveTail = &e->next;
    } else {
      keep = &e->next;
    }
  }
}

cct_HashTable::Entry* cct_HashTable::First(Cursor& cursor) const {
  cursor.bucket = -1;
  cursor.entry = nullptr;
  return Next(cursor);
}

cct_HashTable::Entry* cct_HashTable::Next(Cursor& cursor) const {
  if (cursor.entry && cursor.entry->next) return cursor.entry = cursor.entry->next;
  const long buckets = maxp_ + p_;
  while (++cursor.bucket < buckets) {
    if (Entry* e = *Bucket(cursor.bucket)) return cursor.entry = e;
  }
  cursor.bucket = buckets;
  return cursor.entry = nullptr;
}

// The linear-hashing string table: its hash, the bucket of a key, iteration order, the split
// rule and the initial sizes. The scope writes instances in iteration order, so the expected
// orders here are computed from an independent model of the table.
#include "cct/hashtab.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr long kSegment = 16384;

// Wraps a wide intermediate into signed 32 bits, as the table's arithmetic does.
int32_t Wrap32(int64_t v) {
  int64_t low = v & 0xFFFFFFFFLL;
  if (low >= (int64_t{1} << 31)) low -= int64_t{1} << 32;
  return static_cast<int32_t>(low);
}

// h = (h * 37) XOR (c - 32) over the unsigned bytes, then h mod 1048583 keeping h's sign.
int32_t ModelHash(const std::string& key) {
  int32_t h = 0;
  for (unsigned char c : key) {
    int32_t product = Wrap32(static_cast<int64_t>(h) * 37);
    h = product ^ (static_cast<int32_t>(c) - 32);
  }
  int64_t rem = static_cast<int64_t>(h) % 1048583;  // truncating: the dividend's sign
  return static_cast<int32_t>(rem);
}

long ModelBucket(const std::string& key, long maxp, long p) {
  int64_t h = ModelHash(key);
  long bucket = static_cast<long>(h & (maxp - 1));
  if (bucket < p) bucket = static_cast<long>(h & (2 * maxp - 1));
  return bucket;
}

// Every chain keeps insertion order (appends go to the tail, splits move entries in chain
// order), so iteration is: by bucket, then by insertion.
std::vector<std::string> ModelOrder(const std::vector<std::string>& inserted, long maxp, long p) {
  std::vector<std::pair<long, size_t>> order;
  for (size_t i = 0; i < inserted.size(); ++i)
    order.emplace_back(ModelBucket(inserted[i], maxp, p), i);
  std::sort(order.begin(), order.end());
  std::vector<std::string> keys;
  for (auto& o : order) keys.push_back(inserted[o.second]);
  return keys;
}

std::vector<std::string> Iterate(const cct_HashTable& table) {
  std::vector<std::string> keys;
  cct_HashTable::Cursor cursor;
  for (auto* e = table.First(cursor); e; e = table.Next(cursor)) keys.push_back(e->key);
  return keys;
}

// Many distinct keys whose texts stay put while the table uses them.
std::vector<std::string> MakeKeys(size_t n, const std::string& prefix = "#") {
  std::vector<std::string> keys;
  keys.reserve(n);
  for (size_t i = 0; i < n; ++i) keys.push_back(prefix + std::to_string(i + 1));
  return keys;
}

void InsertRange(cct_HashTable& table, const std::vector<std::string>& keys, size_t from,
                 size_t to) {
  for (size_t i = from; i < to; ++i)
    ASSERT_EQ(table.Insert(keys[i].c_str(), const_cast<std::string*>(&keys[i])), nullptr) << i;
}

// First key of the form prefix<n> that lands in bucket b of a fresh one-segment table.
std::string KeyInBucket(long b, const std::string& prefix, int skip = 0) {
  for (int n = 0;; ++n) {
    std::string key = prefix + std::to_string(n);
    if (ModelBucket(key, kSegment, 0) == b && skip-- == 0) return key;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Hash

TEST(HashTableHash, SmallKeysByHand) {
  EXPECT_EQ(cct_HashTable::Hash(""), 0);
  EXPECT_EQ(cct_HashTable::Hash(" "), 0);
  EXPECT_EQ(cct_HashTable::Hash("A"), 33);
  EXPECT_EQ(cct_HashTable::Hash("AB"), (33 * 37) ^ 34);  // 1255
  EXPECT_EQ(cct_HashTable::Hash("#1"), (3 * 37) ^ 17);   // 126
}

TEST(HashTableHash, BytesAreUnsignedAndBelowBlankGoNegative) {
  EXPECT_EQ(cct_HashTable::Hash("\xff"), 223);
  EXPECT_EQ(cct_HashTable::Hash("\x80"), 96);
  EXPECT_EQ(cct_HashTable::Hash("\x01"), -31);
  EXPECT_EQ(cct_HashTable::Hash("\x1f"), -1);
}

TEST(HashTableHash, MatchesModelIncludingOverflowAndNegativeRemainders) {
  std::vector<std::string> keys = {
      "CARTESIAN_POINT",
      "#123456789",
      "ADVANCED_BREP_SHAPE_REPRESENTATION_WITH_A_VERY_LONG_NAME",
      "\x01\x01\x01\x01\x01\x01\x01\x01",
      "\xfe\xfd\xfc\xfb\xfa\xf9\xf8\xf7\xf6\xf5",
      "mixed \x7f\x80\x1b text",
  };
  for (const std::string& k : MakeKeys(2000)) keys.push_back(k);
  bool sawNegative = false;
  bool sawWrap = false;
  for (const std::string& key : keys) {
    SCOPED_TRACE(key);
    int32_t expected = ModelHash(key);
    EXPECT_EQ(cct_HashTable::Hash(key.c_str()), expected);
    EXPECT_GT(expected, -1048583);
    EXPECT_LT(expected, 1048583);
    if (expected < 0) sawNegative = true;
    if (key.size() > 7) sawWrap = true;
  }
  EXPECT_TRUE(sawNegative);
  EXPECT_TRUE(sawWrap);
}

// ---------------------------------------------------------------------------------------------
// Find, Insert, Remove

TEST(HashTable, EmptyTableFindsNothing) {
  cct_HashTable table;
  EXPECT_EQ(table.Find("x"), nullptr);
  EXPECT_EQ(table.Find(""), nullptr);
  EXPECT_EQ(table.Find(nullptr), nullptr);
  EXPECT_EQ(table.KeyCount(), 0);
  cct_HashTable::Cursor cursor;
  EXPECT_EQ(table.First(cursor), nullptr);
}

TEST(HashTable, FindComparesWholeKeysCaseSensitively) {
  cct_HashTable table;
  int a = 1, b = 2, c = 3, d = 4;
  EXPECT_EQ(table.Insert("abc", &a), nullptr);
  EXPECT_EQ(table.Insert("ABC", &b), nullptr);
  EXPECT_EQ(table.Insert("ab", &c), nullptr);
  EXPECT_EQ(table.Insert("", &d), nullptr);
  EXPECT_EQ(table.KeyCount(), 4);
  EXPECT_EQ(table.Find("abc"), &a);
  EXPECT_EQ(table.Find("ABC"), &b);
  EXPECT_EQ(table.Find("ab"), &c);
  EXPECT_EQ(table.Find(""), &d);
  EXPECT_EQ(table.Find("Abc"), nullptr);
  EXPECT_EQ(table.Find("abcd"), nullptr);
  EXPECT_EQ(table.Find("a"), nullptr);
  // Keys are compared by text, not by pointer.
  std::string copy = "abc";
  EXPECT_EQ(table.Find(copy.c_str()), &a);
}

TEST(HashTable, InsertKeepsTheFirstData) {
  cct_HashTable table;
  int first = 1, second = 2;
  const char* key = "NAME";
  std::string equal = "NAME";
  EXPECT_EQ(table.Insert(key, &first), nullptr);
  cct_HashTable::Entry* existing = table.Insert(equal.c_str(), &second);
  ASSERT_NE(existing, nullptr);
  EXPECT_EQ(existing->key, key);  // the stored pointer, not a copy
  EXPECT_EQ(existing->data, &first);
  EXPECT_EQ(table.Find("NAME"), &first);
  EXPECT_EQ(table.KeyCount(), 1);
  EXPECT_EQ(Iterate(table).size(), 1u);
}

TEST(HashTable, KeysSharingABucketAreAllFound) {
  cct_HashTable table;
  std::vector<std::string> keys;
  for (int i = 0; i < 6; ++i) keys.push_back(KeyInBucket(77, "k", i));
  for (size_t i = 0; i < keys.size(); ++i)
    EXPECT_EQ(table.Insert(keys[i].c_str(), &keys[i]), nullptr);
  for (size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(table.Find(keys[i].c_str()), &keys[i]);
  EXPECT_EQ(Iterate(table), keys);  // one chain, in insertion order
}

TEST(HashTable, RemoveUnlinksFromAnywhereInTheChain) {
  cct_HashTable table;
  std::vector<std::string> keys;
  for (int i = 0; i < 5; ++i) keys.push_back(KeyInBucket(9, "r", i));
  for (size_t i = 0; i < keys.size(); ++i) table.Insert(keys[i].c_str(), &keys[i]);

  for (size_t victim : {2u, 0u, 4u}) {  // middle, head, tail
    SCOPED_TRACE(victim);
    cct_HashTable::Entry* removed = table.Remove(keys[victim].c_str());
    ASSERT_NE(removed, nullptr);
    EXPECT_EQ(removed->key, keys[victim].c_str());
    EXPECT_EQ(removed->data, &keys[victim]);
    EXPECT_EQ(table.Find(keys[victim].c_str()), nullptr);
    EXPECT_EQ(table.Remove(keys[victim].c_str()), nullptr);
  }
  EXPECT_EQ(table.KeyCount(), 2);
  EXPECT_EQ(table.Find(keys[1].c_str()), &keys[1]);
  EXPECT_EQ(table.Find(keys[3].c_str()), &keys[3]);
  EXPECT_EQ(Iterate(table), (std::vector<std::string>{keys[1], keys[3]}));

  // A removed key can come back; it joins the chain at the tail with its new data.
  int again = 0;
  EXPECT_EQ(table.Insert(keys[0].c_str(), &again), nullptr);
  EXPECT_EQ(table.Find(keys[0].c_str()), &again);
  EXPECT_EQ(Iterate(table), (std::vector<std::string>{keys[1], keys[3], keys[0]}));
  EXPECT_EQ(table.KeyCount(), 3);
}

TEST(HashTable, RemoveOfMissingKeyChangesNothing) {
  cct_HashTable table;
  int a = 0;
  table.Insert("present", &a);
  EXPECT_EQ(table.Remove("absent"), nullptr);
  EXPECT_EQ(table.Remove("Present"), nullptr);
  EXPECT_EQ(table.KeyCount(), 1);
  EXPECT_EQ(table.Find("present"), &a);
}

// ---------------------------------------------------------------------------------------------
// Iteration

TEST(HashTable, IterationGoesBucketByBucketEachChainHeadToTail) {
  cct_HashTable table;
  // Single characters hash to c - 32: "#" is bucket 3, "!" bucket 1.
  const std::string a3 = "#", b3 = KeyInBucket(3, "x"), c3 = KeyInBucket(3, "x", 1);
  const std::string a1 = "!", b1 = KeyInBucket(1, "y");
  const std::string high = "\x01";  // negative hash: bucket 16353
  ASSERT_EQ(ModelBucket(a3, kSegment, 0), 3);
  ASSERT_EQ(ModelBucket(a1, kSegment, 0), 1);
  ASSERT_EQ(ModelBucket(high, kSegment, 0), 16353);
  int data = 0;
  for (const std::string* k : {&high, &a3, &b3, &a1, &c3, &b1}) table.Insert(k->c_str(), &data);
  EXPECT_EQ(Iterate(table), (std::vector<std::string>{a1, b1, a3, b3, c3, high}));
}

TEST(HashTable, IterationVisitsEveryEntryOnceAndCursorsAreIndependent) {
  cct_HashTable table;
  std::vector<std::string> keys = MakeKeys(50000, "name");
  InsertRange(table, keys, 0, keys.size());
  std::vector<std::string> order = Iterate(table);
  EXPECT_EQ(order, ModelOrder(keys, kSegment, 0));

  cct_HashTable::Cursor one, two;
  auto* e1 = table.First(one);
  auto* e2 = table.First(two);
  e2 = table.Next(two);
  e1 = table.Next(one);
  EXPECT_EQ(e1, e2);
  EXPECT_EQ(std::string(table.Next(one)->key), order[2]);
  EXPECT_EQ(std::string(table.Next(two)->key), order[2]);
}

// ---------------------------------------------------------------------------------------------
// Sizes and growth

TEST(HashTable, SizeHintRoundsUpToPowerOfTwoOfSegments) {
  struct Case {
    long hint;
    long buckets;
  };
  for (Case c : {Case{0, 16384}, Case{1, 16384}, Case{8192, 16384}, Case{16384, 16384},
                 Case{16385, 32768}, Case{100000, 131072}, Case{131072, 131072},
                 Case{131073, 262144}}) {
    SCOPED_TRACE(c.hint);
    cct_HashTable table(c.hint);
    EXPECT_EQ(table.BucketCount(), c.buckets);
    EXPECT_EQ(table.KeyCount(), 0);
  }
}

TEST(HashTable, LargeTableUsesAllItsBucketsFromTheStart) {
  cct_HashTable table(131072);
  // Keys whose hashes differ only above bit 14 still go to different buckets of this table.
  std::vector<std::string> keys = MakeKeys(3000, "big");
  InsertRange(table, keys, 0, keys.size());
  EXPECT_EQ(Iterate(table), ModelOrder(keys, 131072, 0));
  EXPECT_EQ(table.BucketCount(), 131072);
}

TEST(HashTable, FirstSplitComesWithKey98304) {
  cct_HashTable table;
  std::vector<std::string> keys = MakeKeys(98304);
  InsertRange(table, keys, 0, 98303);
  EXPECT_EQ(table.KeyCount(), 98303);
  EXPECT_EQ(table.BucketCount(), 16384);
  std::vector<std::string> before(keys.begin(), keys.begin() + 98303);
  EXPECT_EQ(Iterate(table), ModelOrder(before, kSegment, 0));

  InsertRange(table, keys, 98303, 98304);
  EXPECT_EQ(table.KeyCount(), 98304);
  EXPECT_EQ(table.BucketCount(), 16385);

  // Bucket 0 was split into 0 and 16384; make sure both halves are populated so this checks
  // something.
  std::vector<std::string> zero, high;
  for (const std::string& k : keys) {
    long b = ModelBucket(k, kSegment, 1);
    if (b == 0) zero.push_back(k);
    if (b == 16384) high.push_back(k);
  }
  ASSERT_FALSE(zero.empty());
  ASSERT_FALSE(high.empty());

  std::vector<std::string> order = Iterate(table);
  EXPECT_EQ(order, ModelOrder(keys, kSegment, 1));
  // Bucket 0 leads, the new bucket 16384 closes the iteration, each in insertion order.
  EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + zero.size()), zero);
  EXPECT_EQ(std::vector<std::string>(order.end() - high.size(), order.end()), high);
  for (const std::string& k : keys) ASSERT_EQ(table.Find(k.c_str()), &k) << k;
}

TEST(HashTable, RemovedKeysDelayTheSplit) {
  cct_HashTable table;
  std::vector<std::string> keys = MakeKeys(98305);
  InsertRange(table, keys, 0, 98303);
  ASSERT_NE(table.Remove(keys[5].c_str()), nullptr);
  InsertRange(table, keys, 98303, 98304);  // 98303 keys again
  EXPECT_EQ(table.BucketCount(), 16384);
  InsertRange(table, keys, 98304, 98305);  // the 98304th present key
  EXPECT_EQ(table.BucketCount(), 16385);
}

TEST(HashTable, DuplicateInsertDoesNotCountTowardsTheSplit) {
  cct_HashTable table;
  std::vector<std::string> keys = MakeKeys(98304);
  InsertRange(table, keys, 0, 98303);
  int other = 0;
  EXPECT_NE(table.Insert(keys[0].c_str(), &other), nullptr);
  EXPECT_EQ(table.KeyCount(), 98303);
  EXPECT_EQ(table.BucketCount(), 16384);
}

TEST(HashTable, GrowthDivisorStartsAtTheSegmentCount) {
  // Two segments: the first split needs 196608 keys (196608 / 32768 = 6 > 5).
  cct_HashTable table(32768);
  std::vector<std::string> keys = MakeKeys(196608);
  InsertRange(table, keys, 0, 196607);
  EXPECT_EQ(table.BucketCount(), 32768);
  InsertRange(table, keys, 196607, 196608);
  EXPECT_EQ(table.BucketCount(), 32769);
  EXPECT_EQ(Iterate(table), ModelOrder(keys, 32768, 1));
}

TEST(HashTable, EverySplitRaisesTheDivisorSoSplitsGetRarer) {
  // With one segment split k comes with key 98304 * k: the divisor grows with every split.
  cct_HashTable table;
  std::vector<std::string> keys = MakeKeys(300000, "e");
  InsertRange(table, keys, 0, 98304);
  EXPECT_EQ(table.BucketCount(), 16385);
  InsertRange(table, keys, 98304, 196607);
  EXPECT_EQ(table.BucketCount(), 16385);
  InsertRange(table, keys, 196607, 196608);
  EXPECT_EQ(table.BucketCount(), 16386);
  InsertRange(table, keys, 196608, 294911);
  EXPECT_EQ(table.BucketCount(), 16386);
  InsertRange(table, keys, 294911, 300000);
  EXPECT_EQ(table.BucketCount(), 16387);
  EXPECT_EQ(table.KeyCount(), 300000);

  // Buckets 0, 1 and 2 have been split; every entry sits where the model puts it.
  EXPECT_EQ(Iterate(table), ModelOrder(keys, kSegment, 3));
  for (const std::string& k : keys) ASSERT_EQ(table.Find(k.c_str()), &k) << k;
  EXPECT_EQ(table.Find("e0"), nullptr);
  EXPECT_EQ(table.Find("e300001"), nullptr);

  // Entries in split buckets can still be removed and come back.
  for (size_t i = 0; i < keys.size(); i += 1000) ASSERT_NE(table.Remove(keys[i].c_str()), nullptr);
  EXPECT_EQ(table.KeyCount(), 300000 - 300);
  for (size_t i = 0; i < keys.size(); ++i) {
    void* expected = i % 1000 == 0 ? nullptr : const_cast<std::string*>(&keys[i]);
    ASSERT_EQ(table.Find(keys[i].c_str()), expected) << keys[i];
  }
}

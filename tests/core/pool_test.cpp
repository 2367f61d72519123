#include "cct/pool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "cct/cctype.h"
#include "cct/lnklst.h"

namespace {

// Objects of many sizes made and dropped in an interleaved order: every block keeps its bytes
// until it is given back, and emptied slabs are returned.
TEST(Pool, BlocksKeepTheirContentsAndEmptySlabsGoBack) {
  const std::size_t slabsBefore = cct_PoolSlabCount();
  struct Block {
    unsigned char* data;
    std::size_t size;
    unsigned char fill;
  };
  std::vector<Block> blocks;
  uint32_t state = 12345;
  for (int i = 0; i < 200000; ++i) {
    state = state * 1103515245u + 12345u;
    const std::size_t size = 1 + (state >> 8) % 700;  // some beyond the pooled sizes
    auto* data = static_cast<unsigned char*>(cct_PoolAllocate(size));
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(data) % 8, 0u);
    const auto fill = static_cast<unsigned char>(i);
    std::memset(data, fill, size);
    blocks.push_back({data, size, fill});
    if (i % 3 == 2) {  // drop one from the middle
      Block& b = blocks[(state >> 4) % blocks.size()];
      for (std::size_t k = 0; k < b.size; ++k) ASSERT_EQ(b.data[k], b.fill);
      cct_PoolFree(b.data, b.size);
      b = blocks.back();
      blocks.pop_back();
    }
  }
  for (const Block& b : blocks) {
    for (std::size_t k = 0; k < b.size; ++k) ASSERT_EQ(b.data[k], b.fill);
    cct_PoolFree(b.data, b.size);
  }
  // At most one empty slab per size stays for reuse.
  EXPECT_LE(cct_PoolSlabCount(), slabsBefore + 64);
}

// Values and list nodes come from the pool through their classes, including the forms the
// factories and the tests use (no-throw and placement).
TEST(Pool, ClassAllocationForms) {
  auto* real = new cct_RealType;
  real->Set(2.5);
  auto* quiet = new (std::nothrow) cct_StringType;
  ASSERT_NE(quiet, nullptr);
  quiet->Set("text");
  alignas(cct_IntegerType) unsigned char buffer[sizeof(cct_IntegerType)];
  auto* placed = new (buffer) cct_IntegerType;
  placed->Set(7);
  auto* node = new cct_ListNode(real);
  EXPECT_EQ(static_cast<cct_RealType*>(node->Data())->Get(), 2.5);
  EXPECT_STREQ(quiet->Get(), "text");
  EXPECT_EQ(placed->Get(), 7);
  placed->~cct_IntegerType();
  delete node;
  delete quiet;
  cct_Type* base = real;
  delete base;  // through the root: the dynamic size goes back
  cct_PoolFreeUnsized(nullptr);
}

}  // namespace

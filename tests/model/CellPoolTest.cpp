// The cell allocator's own pool. The tests run under AddressSanitizer, where
// cells bypass the pool, so a pool of the tests' own is exercised here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "model/CellPool.h"

namespace {

constexpr size_t kBlock = 80;
constexpr size_t kPerSlab = CellPool::TPool::kSlabBytes / kBlock;

uintptr_t SlabOf(const void* p) {
  return reinterpret_cast<uintptr_t>(p) & ~static_cast<uintptr_t>(CellPool::TPool::kSlabBytes - 1);
}

// If emptied slabs were given back or left unused instead of reused, the
// second table would make the pool grow; if empty batches were kept, the
// freed table's memory would stay reserved.
TEST(CellPool, ReusesEmptiedSlabsAndGivesMemoryBack) {
  CellPool::TPool pool(kBlock);
  std::vector<void*> blocks(200 * kPerSlab);
  for (void*& b : blocks) b = pool.Allocate();
  const size_t full = pool.BytesReserved();
  EXPECT_GE(full, blocks.size() * kBlock);

  // Every block of every other slab freed: half the slabs empty, none of
  // the batches.
  std::vector<void*> kept;
  for (void* b : blocks) {
    if ((SlabOf(b) / CellPool::TPool::kSlabBytes) % 2) pool.Free(b);
    else kept.push_back(b);
  }
  std::vector<void*> again(blocks.size() - kept.size());
  for (void*& b : again) b = pool.Allocate();
  EXPECT_EQ(pool.BytesReserved(), full);

  for (void* b : kept) pool.Free(b);
  for (void* b : again) pool.Free(b);
  EXPECT_LE(pool.BytesReserved(), 256u * 1024);
}

// If a block were handed out twice or a free list were corrupted, one
// block's bytes would overwrite another's.
TEST(CellPool, BlocksStayDistinctThroughChurn) {
  CellPool::TPool pool(kBlock);
  std::mt19937 random(7);
  std::vector<std::pair<unsigned char*, unsigned char>> live;
  unsigned char next = 0;
  for (int step = 0; step < 200000; ++step) {
    // Growing at first, then shrinking to nothing.
    const bool grow = live.empty() || random() % 100 < (step < 120000 ? 60u : 30u);
    if (grow) {
      auto* p = static_cast<unsigned char*>(pool.Allocate());
      std::memset(p, ++next, kBlock);
      live.emplace_back(p, next);
    } else {
      const size_t i = random() % live.size();
      auto [p, mark] = live[i];
      ASSERT_EQ(std::count(p, p + kBlock, mark), static_cast<long>(kBlock)) << "step " << step;
      pool.Free(p);
      live[i] = live.back();
      live.pop_back();
    }
  }
  for (auto [p, mark] : live) {
    ASSERT_EQ(std::count(p, p + kBlock, mark), static_cast<long>(kBlock));
    pool.Free(p);
  }
  EXPECT_LE(pool.BytesReserved(), 256u * 1024);
}

}  // namespace

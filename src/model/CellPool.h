#pragma once
// Fixed-size block allocator for table cells. Blocks come from 64 KiB slabs,
// slabs from batches mapped from the system:
//
// - an emptied slab is reused before any fresh memory is touched, so that
//   closing one table and opening another costs no new pages;
// - batches grow with the pool (256 KiB up to 8 MiB), and from 2 MiB on they
//   are huge-page aligned and filled in one step, so that a million-cell
//   table takes a few dozen page faults rather than twenty thousand, while a
//   small table touches only the few pages it uses;
// - a batch whose slabs are all empty goes back to the system (one small one
//   is kept for the next table), so a closed large table gives its memory
//   back.
//
// Under AddressSanitizer the cells bypass the pool and each one is a heap
// block of its own, so that a use of a freed cell is reported instead of
// landing in a recycled block.
#include <cstddef>

namespace CellPool {

void* Allocate(size_t size);
void Free(void* p) noexcept;
// Bytes currently mapped for cells (for the memory benchmarks).
size_t BytesReserved();

struct TState;

// A pool apart from the cells' one, for the tests (which run under
// AddressSanitizer, where the cells do not use the pool). Not thread-safe,
// like the cells' pool.
class TPool {
 public:
  explicit TPool(size_t blockSize);
  ~TPool();  // gives every batch back, whatever is still allocated
  TPool(const TPool&) = delete;
  TPool& operator=(const TPool&) = delete;

  void* Allocate();
  void Free(void* p) noexcept;
  size_t BytesReserved() const;
  static constexpr size_t kSlabBytes = 64 * 1024;

 private:
  TState* FState;
};

}  // namespace CellPool

#pragma once
// Fixed-size block allocator for table cells. Blocks come from aligned slabs;
// a slab is returned to the system as soon as its last block is freed, so a
// closed million-cell table gives its memory back.
#include <cstddef>

namespace CellPool {
void* Allocate(size_t size);
void Free(void* p) noexcept;
// Bytes currently held in slabs (for the memory benchmarks).
size_t BytesReserved();
}  // namespace CellPool

#pragma once
// Fixed-size block allocator for table cells. Blocks come from aligned slabs
// mapped from the system; an empty slab goes back to the system (one is kept
// as a spare), so a closed million-cell table gives its memory back.
#include <cstddef>

namespace CellPool {
void* Allocate(size_t size);
void Free(void* p) noexcept;
// Bytes currently held in slabs (for the memory benchmarks).
size_t BytesReserved();
}  // namespace CellPool

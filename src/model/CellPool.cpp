#include "model/CellPool.h"

#include <cstdint>
#include <new>

#include <sys/mman.h>

#include "model/Tables.h"

#if !defined(__SANITIZE_ADDRESS__)
namespace {

constexpr size_t kSlabBytes = 64 * 1024;  // a power of two: slab = address & ~(kSlabBytes - 1)
constexpr size_t kBlock = (sizeof(TCell) + alignof(TCell) - 1) / alignof(TCell) * alignof(TCell);

struct FreeBlock {
  FreeBlock* Next;
};

// Header at the start of every slab. Slabs with at least one free block are
// kept on a doubly linked list so that allocation never searches.
struct Slab {
  Slab* Prev;
  Slab* Next;
  FreeBlock* FreeList;
  size_t Used;
  size_t Fresh;  // blocks never handed out, taken from the end of the slab
  bool OnList;
};

constexpr size_t kHeader = (sizeof(Slab) + 15) / 16 * 16;
constexpr size_t kBlocksPerSlab = (kSlabBytes - kHeader) / kBlock;

Slab* gAvailable = nullptr;  // slabs with a free block
Slab* gSpare = nullptr;      // one empty slab kept back, so that a small table
                             // created and freed in a loop does not map and
                             // unmap a slab every time
size_t gSlabCount = 0;

// Slabs are carved from large batches mapped straight from the system (an
// aligned heap block would cost the allocator twice its size). A batch is
// aligned for huge pages and asks for them: building a million-cell table
// then takes a few dozen page faults instead of twenty thousand.
constexpr size_t kHugePage = 2 * 1024 * 1024;
constexpr size_t kBatchBytes = 2 * kHugePage;
uintptr_t gBatchNext = 0;  // next unused slab of the current batch
uintptr_t gBatchEnd = 0;

void* MapAligned(size_t bytes, size_t alignment) {
  void* mem = mmap(nullptr, bytes + alignment, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mem == MAP_FAILED) throw std::bad_alloc();
  const uintptr_t base = reinterpret_cast<uintptr_t>(mem);
  const uintptr_t aligned = (base + alignment - 1) & ~static_cast<uintptr_t>(alignment - 1);
  if (aligned > base) munmap(mem, aligned - base);
  const uintptr_t tail = aligned + bytes;
  const uintptr_t end = base + bytes + alignment;
  if (end > tail) munmap(reinterpret_cast<void*>(tail), end - tail);
  return reinterpret_cast<void*>(aligned);
}

Slab* MapSlab() {
  if (gBatchNext == gBatchEnd) {
    void* batch = MapAligned(kBatchBytes, kHugePage);
    madvise(batch, kBatchBytes, MADV_HUGEPAGE);
    gBatchNext = reinterpret_cast<uintptr_t>(batch);
    gBatchEnd = gBatchNext + kBatchBytes;
  }
  Slab* s = reinterpret_cast<Slab*>(gBatchNext);
  gBatchNext += kSlabBytes;
  ++gSlabCount;
  return s;
}

void UnmapSlab(Slab* s) {
  --gSlabCount;
  munmap(s, kSlabBytes);
}

void Link(Slab* s) {
  s->Prev = nullptr;
  s->Next = gAvailable;
  if (gAvailable) gAvailable->Prev = s;
  gAvailable = s;
  s->OnList = true;
}

void Unlink(Slab* s) {
  if (s->Prev) s->Prev->Next = s->Next;
  else gAvailable = s->Next;
  if (s->Next) s->Next->Prev = s->Prev;
  s->OnList = false;
}

char* BlockBase(Slab* s) { return reinterpret_cast<char*>(s) + kHeader; }

}  // namespace
#endif

namespace CellPool {

#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer every cell is a heap block of its own, so that a use
// of a freed cell is reported instead of landing in a recycled slab block.
void* Allocate(size_t size) { return ::operator new(size); }
void Free(void* p) noexcept { ::operator delete(p); }
size_t BytesReserved() { return 0; }
#else
void* Allocate(size_t size) {
  (void)size;  // always sizeof(TCell): only TCell's operator new calls this
  if (!gAvailable) {
    Slab* s = gSpare ? gSpare : MapSlab();
    gSpare = nullptr;
    s->FreeList = nullptr;
    s->Used = 0;
    s->Fresh = 0;
    Link(s);
  }
  Slab* s = gAvailable;
  void* block;
  if (s->FreeList) {
    block = s->FreeList;
    s->FreeList = s->FreeList->Next;
  } else {
    block = BlockBase(s) + s->Fresh * kBlock;
    ++s->Fresh;
  }
  ++s->Used;
  if (!s->FreeList && s->Fresh == kBlocksPerSlab) Unlink(s);
  return block;
}

void Free(void* p) noexcept {
  if (!p) return;
  Slab* s = reinterpret_cast<Slab*>(reinterpret_cast<uintptr_t>(p) & ~static_cast<uintptr_t>(kSlabBytes - 1));
  FreeBlock* b = static_cast<FreeBlock*>(p);
  b->Next = s->FreeList;
  s->FreeList = b;
  --s->Used;
  if (s->Used == 0) {
    if (s->OnList) Unlink(s);
    if (gSpare) UnmapSlab(gSpare);
    gSpare = s;
    return;
  }
  if (!s->OnList) Link(s);
}

size_t BytesReserved() { return gSlabCount * kSlabBytes; }
#endif

}  // namespace CellPool

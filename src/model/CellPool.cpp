#include "model/CellPool.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include <sys/mman.h>

#include "model/Tables.h"

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14; older kernels refuse it and the pages come by faults
#endif

namespace CellPool {

namespace {

constexpr size_t kSlabBytes = TPool::kSlabBytes;  // a power of two: slab = address & ~(kSlabBytes - 1)
constexpr size_t kHugePage = 2 * 1024 * 1024;
constexpr size_t kFirstBatch = 256 * 1024;
constexpr size_t kLargestBatch = 8 * 1024 * 1024;

struct TBatch;

struct FreeBlock {
  FreeBlock* Next;
};

// Header at the start of every slab. A slab with a free block is on the
// pool's list of available slabs, an empty one on its list of free slabs,
// so that neither allocating nor freeing ever searches.
struct Slab {
  Slab* Prev;
  Slab* Next;
  TBatch* Owner;
  FreeBlock* FreeList;
  size_t Used;
  size_t Fresh;  // blocks never handed out, taken from the end of the slab
  bool OnList;   // on the list of available slabs
};

constexpr size_t kHeader = (sizeof(Slab) + 15) / 16 * 16;

// A run of slabs mapped in one piece. Slabs are carved from its front as
// they are first needed.
struct TBatch {
  uintptr_t Begin;
  size_t Bytes;
  size_t Carved;  // bytes of slabs carved so far
  size_t Live;    // carved slabs that are not empty
  TBatch* Prev;
  TBatch* Next;
};

char* BlockBase(Slab* s) { return reinterpret_cast<char*>(s) + kHeader; }

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

}  // namespace

// Everything a pool holds. Trivially destructible and constant-initialised,
// so that the cells' pool costs the program nothing before its first cell.
struct TState {
  size_t Block;            // block size, a multiple of the cell's alignment
  size_t BlocksPerSlab;
  Slab* Available = nullptr;  // slabs with a free block
  Slab* FreeSlabs = nullptr;  // empty slabs, reused before fresh ones
  TBatch* Batches = nullptr;
  TBatch* Carving = nullptr;  // the batch fresh slabs come from
  TBatch* Spare = nullptr;    // an empty small batch kept for the next table
  size_t Reserved = 0;        // bytes of all batches

  constexpr explicit TState(size_t size)
      : Block((size + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) * alignof(std::max_align_t)),
        BlocksPerSlab((kSlabBytes - kHeader) / Block) {}

  void LinkAvailable(Slab* s) {
    s->Prev = nullptr;
    s->Next = Available;
    if (Available) Available->Prev = s;
    Available = s;
    s->OnList = true;
  }
  void UnlinkAvailable(Slab* s) {
    if (s->Prev) s->Prev->Next = s->Next;
    else Available = s->Next;
    if (s->Next) s->Next->Prev = s->Prev;
    s->OnList = false;
  }
  void LinkFree(Slab* s) {
    s->Prev = nullptr;
    s->Next = FreeSlabs;
    if (FreeSlabs) FreeSlabs->Prev = s;
    FreeSlabs = s;
  }
  void UnlinkFree(Slab* s) {
    if (s->Prev) s->Prev->Next = s->Next;
    else FreeSlabs = s->Next;
    if (s->Next) s->Next->Prev = s->Prev;
  }

  // A new batch, as large as the pool so far within the bounds: the pool
  // doubles, and at most one batch's worth of memory is ever unused.
  TBatch* MapBatch() {
    size_t bytes = kFirstBatch;
    while (bytes < Reserved && bytes < kLargestBatch) bytes *= 2;
    TBatch* b = new TBatch{0, bytes, 0, 0, nullptr, Batches};
    void* mem;
    try {
      mem = MapAligned(bytes, bytes >= kHugePage ? kHugePage : kSlabBytes);
    } catch (...) {
      delete b;
      throw;
    }
    if (bytes >= kHugePage) {
      // Huge pages, and all of them at once: one call instead of a fault
      // per page, and the table that asked for this much will use it.
      madvise(mem, bytes, MADV_HUGEPAGE);
      madvise(mem, bytes, MADV_POPULATE_WRITE);
    }
    b->Begin = reinterpret_cast<uintptr_t>(mem);
    if (Batches) Batches->Prev = b;
    Batches = b;
    Reserved += bytes;
    return b;
  }

  void UnmapBatch(TBatch* b) {
    for (size_t at = 0; at < b->Carved; at += kSlabBytes) UnlinkFree(reinterpret_cast<Slab*>(b->Begin + at));
    if (b->Prev) b->Prev->Next = b->Next;
    else Batches = b->Next;
    if (b->Next) b->Next->Prev = b->Prev;
    if (Carving == b) Carving = nullptr;
    if (Spare == b) Spare = nullptr;
    Reserved -= b->Bytes;
    munmap(reinterpret_cast<void*>(b->Begin), b->Bytes);
    delete b;
  }

  Slab* TakeSlab() {
    Slab* s = FreeSlabs;
    if (s) {
      UnlinkFree(s);
    } else {
      if (!Carving || Carving->Carved == Carving->Bytes) Carving = MapBatch();
      s = reinterpret_cast<Slab*>(Carving->Begin + Carving->Carved);
      Carving->Carved += kSlabBytes;
      s->Owner = Carving;
    }
    if (s->Owner->Live++ == 0 && s->Owner == Spare) Spare = nullptr;
    s->FreeList = nullptr;
    s->Used = 0;
    s->Fresh = 0;
    return s;
  }

  void ReleaseSlab(Slab* s) {
    LinkFree(s);
    TBatch* b = s->Owner;
    if (--b->Live > 0) return;
    // A small empty batch is kept, so that a small table created and freed
    // in a loop does not map and unmap every time; any other goes back.
    if (!Spare && b->Bytes == kFirstBatch) {
      Spare = b;
      return;
    }
    UnmapBatch(b);
  }

  void* Allocate() {
    if (!Available) LinkAvailable(TakeSlab());
    Slab* s = Available;
    void* block;
    if (s->FreeList) {
      block = s->FreeList;
      s->FreeList = s->FreeList->Next;
    } else {
      block = BlockBase(s) + s->Fresh * Block;
      ++s->Fresh;
    }
    ++s->Used;
    if (!s->FreeList && s->Fresh == BlocksPerSlab) UnlinkAvailable(s);
    return block;
  }

  void Free(void* p) noexcept {
    if (!p) return;
    Slab* s = reinterpret_cast<Slab*>(reinterpret_cast<uintptr_t>(p) & ~static_cast<uintptr_t>(kSlabBytes - 1));
    FreeBlock* b = static_cast<FreeBlock*>(p);
    b->Next = s->FreeList;
    s->FreeList = b;
    if (--s->Used == 0) {
      if (s->OnList) UnlinkAvailable(s);
      ReleaseSlab(s);
      return;
    }
    if (!s->OnList) LinkAvailable(s);
  }

  // Every batch, whatever is still allocated in it.
  void UnmapAll() {
    while (TBatch* b = Batches) {
      Batches = b->Next;
      munmap(reinterpret_cast<void*>(b->Begin), b->Bytes);
      delete b;
    }
    *this = TState(Block);
  }
};

TPool::TPool(size_t blockSize) : FState(new TState(std::max(blockSize, sizeof(FreeBlock)))) {}
TPool::~TPool() {
  FState->UnmapAll();
  delete FState;
}
void* TPool::Allocate() { return FState->Allocate(); }
void TPool::Free(void* p) noexcept { FState->Free(p); }
size_t TPool::BytesReserved() const { return FState->Reserved; }

#if defined(__SANITIZE_ADDRESS__)
void* Allocate(size_t size) { return ::operator new(size); }
void Free(void* p) noexcept { ::operator delete(p); }
size_t BytesReserved() { return 0; }
#else
namespace {
constinit TState gCells(sizeof(TCell));
}
void* Allocate(size_t size) {
  (void)size;  // always sizeof(TCell): only TCell's operator new calls this
  return gCells.Allocate();
}
void Free(void* p) noexcept { gCells.Free(p); }
size_t BytesReserved() { return gCells.Reserved; }
#endif

}  // namespace CellPool

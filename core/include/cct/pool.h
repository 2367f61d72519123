// Storage of value objects, instances and list nodes. A file of a million points holds several
// million small objects of a few sizes, and reading it makes and drops as many temporaries:
// kept in large slabs per size, they cost no per-object bookkeeping, and making and dropping
// them is a few instructions. Freed slabs go back to the system.
//
// The pool serves one thread, without locks. A program that reads files on several threads
// calls cct_PoolShareBetweenThreads first, while it has one thread: from then on new objects come
// from the system's allocator (which every thread may use) and only what the slabs already hold
// goes back to them, under a lock.
#ifndef CCT_POOL_H
#define CCT_POOL_H

#include <cstddef>
#include <new>

/// Storage for one object of `size` bytes (8-byte aligned); throws std::bad_alloc.
void* cct_PoolAllocate(std::size_t size);
/// Gives back what cct_PoolAllocate(size) answered.
void cct_PoolFree(void* p, std::size_t size) noexcept;
/// The same where the size is not known (only after a constructor failed).
void cct_PoolFreeUnsized(void* p) noexcept;
/// Makes the pool safe for several threads; call it before a second thread uses the core.
void cct_PoolShareBetweenThreads() noexcept;
/// Slabs the pool holds at the moment (for tests and measurements).
std::size_t cct_PoolSlabCount() noexcept;

/// The allocation functions of a class whose objects live in the pool.
#define CCT_POOLED_CLASS                                                                      \
  static void* operator new(std::size_t size) { return cct_PoolAllocate(size); }              \
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept {               \
    try {                                                                                     \
      return cct_PoolAllocate(size);                                                          \
    } catch (...) {                                                                           \
      return nullptr;                                                                         \
    }                                                                                         \
  }                                                                                           \
  static void* operator new(std::size_t, void* where) noexcept { return where; }              \
  static void operator delete(void* p, std::size_t size) noexcept { cct_PoolFree(p, size); }  \
  static void operator delete(void* p, const std::nothrow_t&) noexcept {                      \
    cct_PoolFreeUnsized(p);                                                                   \
  }                                                                                           \
  static void operator delete(void*, void*) noexcept {}

#endif

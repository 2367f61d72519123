#include "cct/pool.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <unordered_set>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPooled = false;  // the sanitizer sees each object's lifetime only on the heap
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kPooled = false;
#else
constexpr bool kPooled = true;
#endif
#else
constexpr bool kPooled = true;
#endif

constexpr std::size_t kSlabSize = std::size_t{1} << 18;
constexpr std::size_t kGranule = 8;
constexpr std::size_t kMaxPooled = 512;
constexpr std::size_t kClasses = kMaxPooled / kGranule;

struct FreeNode {
  FreeNode* next;
};

// The head of a slab; its objects follow.
struct Slab {
  Slab* previous;  // in the list of slabs of its size that have room
  Slab* next;
  FreeNode* free;
  char* bump;
  char* end;
  std::uint32_t live;
  std::uint32_t objectSize;
  std::uint32_t sizeClass;
  bool listed;
};
constexpr std::size_t kFirstObject = (sizeof(Slab) + 15) & ~std::size_t{15};

Slab* withRoom[kClasses];
std::unordered_set<std::uintptr_t>* slabs;  // every slab, for frees of unknown size
std::size_t slabCount = 0;

// Set once, before a second thread runs; from then on the slabs only take back what they hold
// (and are never given back, so the set of slabs no longer changes and is read without a lock).
std::atomic<bool> shared{false};
std::mutex sharedSlabs;

bool InSlab(void* p);

Slab* SlabOf(void* p) {
  return reinterpret_cast<Slab*>(reinterpret_cast<std::uintptr_t>(p) & ~(kSlabSize - 1));
}

void List(Slab* s) {
  Slab*& head = withRoom[s->sizeClass];
  s->previous = nullptr;
  s->next = head;
  if (head) head->previous = s;
  head = s;
  s->listed = true;
}

void Unlist(Slab* s) {
  if (s->previous)
    s->previous->next = s->next;
  else
    withRoom[s->sizeClass] = s->next;
  if (s->next) s->next->previous = s->previous;
  s->previous = s->next = nullptr;
  s->listed = false;
}

Slab* NewSlab(std::size_t sizeClass) {
  // An aligned slab: twice the size is mapped and what lies outside the aligned part returned.
  void* raw = mmap(nullptr, 2 * kSlabSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                   -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kSlabSize - 1) & ~(kSlabSize - 1);
  if (aligned > start) munmap(raw, aligned - start);
  const std::uintptr_t tail = aligned + kSlabSize;
  if (tail < start + 2 * kSlabSize) munmap(reinterpret_cast<void*>(tail), start + 2 * kSlabSize - tail);
  if (!slabs) slabs = new std::unordered_set<std::uintptr_t>;
  try {
    slabs->insert(aligned);
  } catch (...) {
    munmap(reinterpret_cast<void*>(aligned), kSlabSize);
    throw;
  }
  auto* s = reinterpret_cast<Slab*>(aligned);
  s->free = nullptr;
  s->bump = reinterpret_cast<char*>(aligned) + kFirstObject;
  s->end = reinterpret_cast<char*>(aligned) + kSlabSize;
  s->live = 0;
  s->objectSize = static_cast<std::uint32_t>((sizeClass + 1) * kGranule);
  s->sizeClass = static_cast<std::uint32_t>(sizeClass);
  List(s);
  ++slabCount;
  return s;
}

void ReleaseSlab(Slab* s) {
  Unlist(s);
  slabs->erase(reinterpret_cast<std::uintptr_t>(s));
  munmap(s, kSlabSize);
  --slabCount;
}

void FreeInSlab(Slab* s, void* p) {
  auto* node = static_cast<FreeNode*>(p);
  node->next = s->free;
  s->free = node;
  --s->live;
  if (!s->listed) List(s);
  // An empty slab goes back unless it is the only one of its size with room: a single object
  // made and dropped over and over must not map and unmap a slab each time.
  if (s->live == 0 && (withRoom[s->sizeClass] != s || s->next) &&
      !shared.load(std::memory_order_relaxed))
    ReleaseSlab(s);
}

bool InSlab(void* p) {
  return slabs && slabs->count(reinterpret_cast<std::uintptr_t>(SlabOf(p))) != 0;
}

// A free once the pool is shared: into its slab under the lock, or to the system.
void FreeShared(void* p) {
  if (InSlab(p)) {
    std::lock_guard<std::mutex> lock(sharedSlabs);
    FreeInSlab(SlabOf(p), p);
    return;
  }
  ::operator delete(p);
}

}  // namespace

void cct_PoolShareBetweenThreads() noexcept { shared.store(true, std::memory_order_relaxed); }

void* cct_PoolAllocate(std::size_t size) {
  if (!kPooled || size > kMaxPooled || size == 0 || shared.load(std::memory_order_relaxed))
    return ::operator new(size);
  const std::size_t sizeClass = (size + kGranule - 1) / kGranule - 1;
  Slab* s = withRoom[sizeClass];
  if (!s) s = NewSlab(sizeClass);
  void* p;
  if (s->free) {
    p = s->free;
    s->free = s->free->next;
  } else {
    p = s->bump;
    s->bump += s->objectSize;
  }
  ++s->live;
  if (!s->free && s->bump + s->objectSize > s->end) Unlist(s);
  return p;
}

void cct_PoolFree(void* p, std::size_t size) noexcept {
  if (!p) return;
  if (!kPooled || size > kMaxPooled || size == 0) {
    ::operator delete(p);
    return;
  }
  if (shared.load(std::memory_order_relaxed)) {
    FreeShared(p);
    return;
  }
  FreeInSlab(SlabOf(p), p);
}

void cct_PoolFreeUnsized(void* p) noexcept {
  if (!p) return;
  if (kPooled && shared.load(std::memory_order_relaxed)) {
    FreeShared(p);
    return;
  }
  if (kPooled && InSlab(p)) {
    FreeInSlab(SlabOf(p), p);
    return;
  }
  ::operator delete(p);
}

std::size_t cct_PoolSlabCount() noexcept { return slabCount; }

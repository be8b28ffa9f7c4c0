// Assimp's .x parser sizes its arrays from the counts a file declares, and
// relies on the allocation failing for absurd ones: it catches bad_alloc and
// reports a failed import. Under the address sanitizer an oversized request
// aborts instead of throwing, and many large ones exhaust the fuzzer's
// memory limit, so this operator new gives out at most 512 MB in all, the
// way a smaller system would. Linked into the mesh fuzzer and the tests that
// replay its corpus.

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <malloc.h>
#include <new>

namespace {

constexpr std::size_t heapLimit = std::size_t(512) << 20;
std::atomic<std::size_t> live{0};

void *tryAllocate(std::size_t size) noexcept {
  if (size > heapLimit ||
      live.load(std::memory_order_relaxed) + size > heapLimit)
    return nullptr;
  void *p = std::malloc(size ? size : 1);
  if (p)
    live.fetch_add(malloc_usable_size(p), std::memory_order_relaxed);
  return p;
}

void *allocate(std::size_t size) {
  if (void *p = tryAllocate(size))
    return p;
  throw std::bad_alloc();
}

void release(void *p) noexcept {
  if (!p)
    return;
  live.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
  std::free(p);
}

} // namespace

void *operator new(std::size_t size) { return allocate(size); }
void *operator new[](std::size_t size) { return allocate(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
  return tryAllocate(size);
}
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept {
  return tryAllocate(size);
}
void operator delete(void *p) noexcept { release(p); }
void operator delete[](void *p) noexcept { release(p); }
void operator delete(void *p, std::size_t) noexcept { release(p); }
void operator delete[](void *p, std::size_t) noexcept { release(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { release(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { release(p); }

#include "imaging/allocation_probe.h"

#include <atomic>
#include <cstddef>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define VANTREL_SANITIZER_ALLOCATOR 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VANTREL_SANITIZER_ALLOCATOR 1
#endif

namespace {

std::atomic<bool> g_counting{false};
std::atomic<size_t> g_largest{0};

void Note(size_t bytes) {
  if (!g_counting.load(std::memory_order_relaxed)) return;
  size_t seen = g_largest.load(std::memory_order_relaxed);
  while (bytes > seen && !g_largest.compare_exchange_weak(seen, bytes, std::memory_order_relaxed)) {
  }
}

}  // namespace

#ifdef VANTREL_SANITIZER_ALLOCATOR

extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                                         void (*free_hook)(const volatile void*));

namespace {

void MallocHook(const volatile void*, size_t bytes) { Note(bytes); }
void FreeHook(const volatile void*) {}

// The sanitizer takes a handful of hooks for the life of the process.
void InstallOnce() {
  static const bool installed = __sanitizer_install_malloc_and_free_hooks(MallocHook, FreeHook) != 0;
  (void)installed;
}

}  // namespace

#else

// The C library's own entry points, which these stand in front of: every block
// still comes from (and goes back to) the same allocator.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);

void* malloc(size_t bytes) {
  Note(bytes);
  return __libc_malloc(bytes);
}

void* calloc(size_t count, size_t size) {
  size_t bytes = 0;
  Note(__builtin_mul_overflow(count, size, &bytes) ? static_cast<size_t>(-1) : bytes);
  return __libc_calloc(count, size);
}

void* realloc(void* block, size_t bytes) {
  Note(bytes);
  return __libc_realloc(block, bytes);
}
}

namespace {
void InstallOnce() {}
}  // namespace

#endif

namespace vantrel::test {

LargestAllocation::LargestAllocation() {
  InstallOnce();
  g_largest.store(0, std::memory_order_relaxed);
  g_counting.store(true, std::memory_order_seq_cst);
}

LargestAllocation::~LargestAllocation() { g_counting.store(false, std::memory_order_seq_cst); }

size_t LargestAllocation::Bytes() const { return g_largest.load(std::memory_order_relaxed); }

}  // namespace vantrel::test

#include "vantrel/global_memory.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

// The bytes follow the bookkeeping, aligned for any scalar type. The lock
// count is atomic so that counting stays exact for callers on several threads;
// reading a block's address (GmAddress) never touches it.
struct GmBlock {
  size_t size;
  std::atomic<int> locks;
};

namespace {
constexpr size_t kHeaderBytes = (sizeof(GmBlock) + alignof(std::max_align_t) - 1) /
                                alignof(std::max_align_t) * alignof(std::max_align_t);

unsigned char* BytesOf(GmBlock* b) { return reinterpret_cast<unsigned char*>(b) + kHeaderBytes; }
}  // namespace

extern "C" {

GmHandle GmAlloc(size_t size) {
  if (size > SIZE_MAX - kHeaderBytes) return nullptr;
  void* raw = std::calloc(1, kHeaderBytes + size);
  if (!raw) return nullptr;
  GmBlock* b = new (raw) GmBlock{size, 0};
  return b;
}

void* GmLock(GmHandle h) {
  if (!h) return nullptr;
  h->locks.fetch_add(1, std::memory_order_relaxed);
  return BytesOf(h);
}

void* GmAddress(GmHandle h) { return h ? BytesOf(h) : nullptr; }

int GmUnlock(GmHandle h) {
  if (!h) return 0;
  int n = h->locks.load(std::memory_order_relaxed);
  while (n > 0 && !h->locks.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) {
  }
  return n > 0 ? n - 1 : 0;
}

int GmLockCount(GmHandle h) { return h ? h->locks.load(std::memory_order_relaxed) : 0; }

size_t GmSize(GmHandle h) { return h ? h->size : 0; }

void GmFree(GmHandle h) {
  if (!h) return;
  h->~GmBlock();
  std::free(h);
}

}  // extern "C"

#include "vantrel/global_memory.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

// The bytes follow the bookkeeping, aligned for any scalar type.
struct GmBlock {
  size_t size;
  int locks;
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
  ++h->locks;
  return BytesOf(h);
}

int GmUnlock(GmHandle h) {
  if (!h) return 0;
  if (h->locks > 0) --h->locks;
  return h->locks;
}

int GmLockCount(GmHandle h) { return h ? h->locks : 0; }

size_t GmSize(GmHandle h) { return h ? h->size : 0; }

void GmFree(GmHandle h) {
  if (!h) return;
  h->~GmBlock();
  std::free(h);
}

}  // extern "C"

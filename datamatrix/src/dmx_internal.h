// The reader object and the pieces of the Data Matrix library that are worth
// testing on their own: the working-area plan, the text filter, the line
// intersections of the outline and the sharpening kernel.
#ifndef VANTREL_DATAMATRIX_DMX_INTERNAL_H
#define VANTREL_DATAMATRIX_DMX_INTERNAL_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "vantrel/OvoDmx.h"
#include "vantrel/dib.h"

// A point on one edge of the symbol (picture pixels, y downward) and the
// edge's angle in whole degrees as the region search reports it.
struct DmxEdgeLine {
  int32_t x = 0;
  int32_t y = 0;
  int32_t angle = 0;
};

// The settings may be changed from the window thread while a decode runs on
// the capture thread, so each parameter is an atomic word; a decode takes one
// snapshot of them at its start.
class CDataMatCtrl {
 public:
  virtual ~CDataMatCtrl() = default;

  DmxEdgeLine left;
  DmxEdgeLine top;
  DmxEdgeLine right;
  DmxEdgeLine bottom;
  std::atomic<int32_t> maxTime{1000};
  std::atomic<int32_t> areaLeft{10};
  std::atomic<int32_t> areaTop{10};
  std::atomic<int32_t> areaRight{50};
  std::atomic<int32_t> areaBottom{50};
  std::atomic<double> radius{7.0};
  std::atomic<double> amount{2.0};
  std::atomic<int32_t> threshold{0};
  std::atomic<int32_t> fullSearch{0};

  // The last successful decode (written by the decode, read after it on the
  // same thread).
  bool decoded = false;
  std::string bytes;
  OvoDmxSymbolInfo info{};

  DibRect Area() const {
    return DibRect{areaLeft.load(std::memory_order_relaxed), areaTop.load(std::memory_order_relaxed),
                   areaRight.load(std::memory_order_relaxed),
                   areaBottom.load(std::memory_order_relaxed)};
  }
};

// One decode's driver of the region search; it lives for one OvoDmxDecode.
class COvoDmtx {
 public:
  virtual ~COvoDmtx() = default;
  int32_t Decode(CDataMatCtrl* reader, DibImage image, char* text, int32_t capacity);
};

namespace vantrel::dmx {

// libdmtx computes deadlines in int microseconds: longer limits wrap around.
constexpr int32_t kMaxTimeLimit = 2147483;

// The part of the picture that is searched: the stored area clipped to the
// picture, inclusive. 0, or -3 for a stored area that is invalid or lies
// outside the picture.
int32_t PlanWorkArea(const DibRect& stored, int32_t width, int32_t height, DibRect* out);

// Calls into the Data Matrix library that try to read something (a region
// decoded from given corners, a region search step): tests bound them.
extern std::atomic<int64_t> g_libraryAttempts;
// Tests set this to leave the sizes the library reads to the library alone
// (our own sampling otherwise goes first), so that its path is exercised.
extern std::atomic<bool> g_libraryOnly;

// Keeps the bytes of a decoded message that belong in the text. 0 with the
// text and its NUL written; -2 when nothing but a NUL would be kept or the text
// needs more than capacity bytes (then nothing is written).
int32_t FilterText(const uint8_t* bytes, size_t count, char* text, int32_t capacity,
                   int32_t* kept);

// Corner where line A (through a at angle aAngle) meets line B; isP selects the
// fall-backs of corner P, otherwise those of Q. tx, rx: the top and right edge
// points' x. False when the lines are both horizontal or both vertical.
bool IntersectEdges(int32_t ax, int32_t ay, int32_t aAngle, int32_t bx, int32_t by, int32_t bAngle,
                    bool isP, int32_t tx, int32_t rx, OvoDmxPoint* out);

// True when the codewords of a rows x cols symbol (data then check words,
// interleaved over its blocks) form Reed-Solomon code words.
bool CodewordsAreConsistent(int32_t rows, int32_t cols, const uint8_t* code, size_t codeSize);

// The normalized blur kernel for a radius; its length is odd.
std::vector<double> UnsharpKernel(double radius);

// Work memory of the sharpening. Tests make the n-th request fail (counting
// from 0; -1, the default, lets every request through) to see that a refusal
// leaves the destination untouched.
extern std::atomic<int32_t> g_failWorkAllocation;
// Lanes per blur step: 0 as the processor allows (32 with AVX2, else 16);
// 16 forces the narrow path so that tests cover both.
extern std::atomic<int32_t> g_unsharpLanes;
void* AllocateWork(size_t bytes);  // throws std::bad_alloc
void ReleaseWork(void* p) noexcept;

template <typename T>
struct WorkAllocator {
  using value_type = T;
  WorkAllocator() = default;
  template <typename U>
  WorkAllocator(const WorkAllocator<U>&) {}
  T* allocate(size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(AllocateWork(n * sizeof(T)));
  }
  void deallocate(T* p, size_t) noexcept { ReleaseWork(p); }
  template <typename U>
  bool operator==(const WorkAllocator<U>&) const { return true; }
};
template <typename T>
using WorkVector = std::vector<T, WorkAllocator<T>>;

}  // namespace vantrel::dmx

#endif

// FrameRing: the four picture slots between the camera and whoever shows and
// reads its frames (the station's window and reading cycle).
//
// The capture thread writes each frame into the slot after the displayed one
// and then makes it the displayed slot; the window paints, saves, loads and
// trial-decodes the displayed slot. A slot is only ever touched through a
// lease, and the ring never hands out a slot that another thread is writing,
// nor lets anyone write a slot that is leased. The capture side never waits:
// when the next slot is leased it moves on to the one after.
#ifndef VANTREL_FRAME_RING_H
#define VANTREL_FRAME_RING_H

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "vantrel/dib.h"

namespace vantrel {

// One frame as the capture back end delivers it: rows top line first, bytes
// blue, green, red, `stride` bytes from the start of one row to the next
// (at least 3 * width; a buffer with its own row padding may have more), and
// `bytes` readable from `bits` on. A camera's buffer need not hold what its
// format promises, so the length is part of the frame: a frame whose rows
// would run past it is refused, never read beyond.
struct FrameView {
  const uint8_t* bits = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;
  size_t bytes = 0;
};

// The bytes a frame's rows cover: (height - 1) * stride + 3 * width; 0 for an
// empty or impossible geometry.
size_t FrameExtent(int32_t width, int32_t height, int32_t stride);

class FrameRing {
 public:
  static constexpr int32_t kSlots = 4;
  // Larger frames than this are refused rather than allocated.
  static constexpr int32_t kMaxSide = 16384;

  enum Status : int32_t {
    kOk = 0,
    kBadSize = -1,   // width or height outside 1 ... kMaxSide
    kNoMemory = -2,  // the pixel buffers or their images could not be had
    kBusy = -3,      // a lease is still held; the ring is left as it was
  };

  FrameRing() = default;
  ~FrameRing();
  FrameRing(const FrameRing&) = delete;
  FrameRing& operator=(const FrameRing&) = delete;

  // Four slots of width x height pixels, 24 bits, rows padded to 4 bytes, each
  // an image that owns its pixels; both indexes become 0. Replaces the slots
  // there were. Never while the caller itself holds a lease.
  int32_t Allocate(int32_t width, int32_t height);
  // Releases the slots (kBusy while a lease is held).
  int32_t Free();

  bool Allocated() const;
  int32_t Width() const;
  int32_t Height() const;
  int32_t Stride() const;      // bytes per slot row
  int32_t frameBytes() const;  // Stride() * Height()

  int32_t writeIndex() const;
  int32_t displayIndex() const;

  // A slot held for reading (shared with other readers) or for writing (alone).
  // Released when the lease goes out of scope. An empty lease holds nothing.
  class Lease {
   public:
    Lease() = default;
    Lease(Lease&& other) noexcept;
    Lease& operator=(Lease&& other) noexcept;
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease() { Release(); }

    explicit operator bool() const { return ring_ != nullptr; }
    DibImage image() const { return image_; }
    int32_t slot() const { return slot_; }
    bool exclusive() const { return exclusive_; }
    void Release();

   private:
    friend class FrameRing;
    Lease(FrameRing* ring, int32_t slot, DibImage image, bool exclusive)
        : ring_(ring), slot_(slot), image_(image), exclusive_(exclusive) {}
    FrameRing* ring_ = nullptr;
    int32_t slot_ = -1;
    DibImage image_ = nullptr;
    bool exclusive_ = false;
  };

  // The displayed slot for painting, saving or a trial decode. Empty when the
  // ring holds no slots. May wait while the window itself writes the slot.
  Lease ReadDisplayed();
  // The displayed slot for writing (loading a picture into it). Waits until the
  // capture thread has finished decoding it; the capture thread writes other
  // slots meanwhile. Empty when the ring holds no slots.
  Lease WriteDisplayed();

  // Capture thread: advances writeIndex to the next slot that nobody holds,
  // copies the frame into it top line first, makes it the displayed slot and
  // returns it leased for reading (the decoders' turn). Empty, with the ring
  // unchanged, when the frame does not have the ring's geometry, its rows run
  // past its bytes, or every other slot is held. Never waits for another
  // thread's lease.
  Lease Store(const FrameView& frame);

  // Leases now held (readers and writers together), for checks in tests.
  int32_t LeasesHeld() const;

 private:
  // Readers share the slot's one image: reading an image writes nothing in it.
  struct Slot {
    DibPtr image;
    int32_t readers = 0;
    bool writer = false;
  };

  void ReleaseLease(int32_t slot, bool exclusive);
  void FreeLocked();
  int32_t HeldLocked() const;

  mutable std::mutex mutex_;
  std::condition_variable released_;
  Slot slots_[kSlots];
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t stride_ = 0;
  int32_t writeIndex_ = 0;
  int32_t displayIndex_ = 0;
};

}  // namespace vantrel

#endif

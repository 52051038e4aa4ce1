#include "vantrel/frame_ring.h"

#include <cstring>
#include <utility>

namespace vantrel {

size_t FrameExtent(int32_t width, int32_t height, int32_t stride) {
  if (width < 1 || height < 1 || stride < 1) return 0;
  return static_cast<size_t>(height - 1) * static_cast<size_t>(stride) + static_cast<size_t>(width) * 3;
}

FrameRing::~FrameRing() {
  std::lock_guard<std::mutex> lock(mutex_);
  FreeLocked();
}

FrameRing::Lease::Lease(Lease&& other) noexcept
    : ring_(std::exchange(other.ring_, nullptr)),
      slot_(std::exchange(other.slot_, -1)),
      image_(std::exchange(other.image_, nullptr)),
      exclusive_(std::exchange(other.exclusive_, false)) {}

FrameRing::Lease& FrameRing::Lease::operator=(Lease&& other) noexcept {
  if (this != &other) {
    Release();
    ring_ = std::exchange(other.ring_, nullptr);
    slot_ = std::exchange(other.slot_, -1);
    image_ = std::exchange(other.image_, nullptr);
    exclusive_ = std::exchange(other.exclusive_, false);
  }
  return *this;
}

void FrameRing::Lease::Release() {
  if (ring_ != nullptr) {
    ring_->ReleaseLease(slot_, exclusive_);
    ring_ = nullptr;
    slot_ = -1;
    image_ = nullptr;
    exclusive_ = false;
  }
}

void FrameRing::ReleaseLease(int32_t slot, bool exclusive) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Slot& s = slots_[slot];
    if (exclusive) {
      s.writer = false;
    } else if (s.readers > 0) {
      --s.readers;
    }
  }
  released_.notify_all();
}

int32_t FrameRing::HeldLocked() const {
  int32_t held = 0;
  for (const Slot& s : slots_) held += s.readers + (s.writer ? 1 : 0);
  return held;
}

void FrameRing::FreeLocked() {
  for (Slot& s : slots_) s = Slot{};
  width_ = height_ = stride_ = 0;
  writeIndex_ = displayIndex_ = 0;
}

int32_t FrameRing::Allocate(int32_t width, int32_t height) {
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return kBadSize;
  std::lock_guard<std::mutex> lock(mutex_);
  if (HeldLocked() != 0) return kBusy;
  FreeLocked();
  for (Slot& s : slots_) {
    s.image.reset(DibCreate(width, height, 3, 4));
    if (!s.image) {
      FreeLocked();
      return kNoMemory;
    }
  }
  width_ = width;
  height_ = height;
  stride_ = DibGetStride(slots_[0].image.get());
  writeIndex_ = displayIndex_ = 0;
  return kOk;
}

int32_t FrameRing::Free() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (HeldLocked() != 0) return kBusy;
  FreeLocked();
  return kOk;
}

bool FrameRing::Allocated() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return width_ > 0;
}

int32_t FrameRing::Width() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return width_;
}

int32_t FrameRing::Height() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return height_;
}

int32_t FrameRing::Stride() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stride_;
}

int32_t FrameRing::frameBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stride_ * height_;
}

int32_t FrameRing::writeIndex() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return writeIndex_;
}

int32_t FrameRing::displayIndex() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return displayIndex_;
}

int32_t FrameRing::LeasesHeld() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return HeldLocked();
}

FrameRing::Lease FrameRing::ReadDisplayed() {
  std::unique_lock<std::mutex> lock(mutex_);
  released_.wait(lock, [this] { return width_ == 0 || !slots_[displayIndex_].writer; });
  if (width_ == 0) return Lease();
  Slot& s = slots_[displayIndex_];
  ++s.readers;
  return Lease(this, displayIndex_, s.image.get(), false);
}

FrameRing::Lease FrameRing::WriteDisplayed() {
  std::unique_lock<std::mutex> lock(mutex_);
  released_.wait(lock, [this] {
    if (width_ == 0) return true;
    const Slot& s = slots_[displayIndex_];
    return s.readers == 0 && !s.writer;
  });
  if (width_ == 0) return Lease();
  Slot& s = slots_[displayIndex_];
  s.writer = true;
  return Lease(this, displayIndex_, s.image.get(), true);
}

FrameRing::Lease FrameRing::Store(const FrameView& frame) {
  int32_t slot = -1;
  uint8_t* destination = nullptr;
  int32_t stride = 0;
  int32_t height = 0;
  size_t rowBytes = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (width_ == 0 || frame.bits == nullptr || frame.width != width_ || frame.height != height_ ||
        frame.stride < frame.width * 3 || frame.bytes < FrameExtent(frame.width, frame.height, frame.stride)) {
      return Lease();
    }
    // The slot after the last one written, unless someone holds it; the
    // displayed slot is never overwritten.
    for (int32_t step = 1; step <= kSlots; ++step) {
      const int32_t candidate = (writeIndex_ + step) % kSlots;
      const Slot& s = slots_[candidate];
      if (candidate != displayIndex_ && s.readers == 0 && !s.writer) {
        slot = candidate;
        break;
      }
    }
    if (slot < 0) return Lease();
    writeIndex_ = slot;
    slots_[slot].writer = true;
    destination = DibGetBits(slots_[slot].image.get());
    stride = stride_;
    height = height_;
    rowBytes = static_cast<size_t>(width_) * 3;
  }

  // Row by row, because the frame's row pitch need not be the slot's.
  const uint8_t* source = frame.bits;
  for (int32_t row = 0; row < height; ++row) {
    std::memcpy(destination + static_cast<size_t>(row) * stride,
                source + static_cast<size_t>(row) * static_cast<size_t>(frame.stride), rowBytes);
  }

  DibImage image = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Slot& s = slots_[slot];
    s.writer = false;
    ++s.readers;
    displayIndex_ = slot;
    image = s.image.get();
  }
  released_.notify_all();
  return Lease(this, slot, image, false);
}

}  // namespace vantrel

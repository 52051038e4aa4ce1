#include "vantrel/reading_cycle.h"

#include <cstdio>
#include <cstring>
#include <utility>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "vantrel/overlay.h"
#include "vantrel/text_convert.h"

namespace vantrel {

namespace {

// The decoders take their working storage on the streaming thread and free
// it there; the C library keeps freed pages resident in the arena they came
// from. Once a stop has waited for the last frame, the decoders hold none of
// them: they go back to the system, so that a station idle after hours of
// reading does not keep the peak of its readings.
void ReturnFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

// Copies a NUL-terminated text into a fixed field, cutting it to the field.
template <size_t N>
void CopyText(char (&field)[N], const char* text) {
  const size_t length = strnlen(text, N - 1);
  std::memcpy(field, text, length);
  field[length] = '\0';
}

}  // namespace

void ShareHeapBetweenThreads() {
#if defined(__GLIBC__)
  mallopt(M_ARENA_MAX, 2);
#endif
}

std::string FormatResultText(const ReadResult& result) {
  const std::string data = DecodedBytesToUtf8(std::string_view(result.data, strnlen(result.data, sizeof result.data)));
  switch (result.kind) {
    case 1:
      return std::string("種類：") + std::string(result.typeName, strnlen(result.typeName, sizeof result.typeName)) +
             "\r\n\r\n" + data;
    case 2:
      return std::string("バージョン：") +
             std::string(result.qrVersion, strnlen(result.qrVersion, sizeof result.qrVersion)) +
             "\r\nレベル：" + std::string(result.qrLevel, strnlen(result.qrLevel, sizeof result.qrLevel)) +
             "\r\n\r\n" + data;
    case 3:
      return data;
    default:
      return std::string();
  }
}

ReadingCycle::ReadingCycle(FrameRing& ring, CycleCallbacks callbacks)
    : ring_(ring), callbacks_(std::move(callbacks)) {}

ReadingCycle::~ReadingCycle() {
  std::unique_lock<std::mutex> lock(flightMutex_);
  stopping_.store(true);
  flightDone_.wait(lock, [this] { return inFlight_ == 0; });
}

void ReadingCycle::SetStream(CaptureStream* stream) { stream_ = stream; }

SettingsRecord ReadingCycle::CurrentSettings() const {
  return callbacks_.settings ? callbacks_.settings() : SettingsRecord{};
}

void ReadingCycle::SetPreviewTopLeft(int32_t left, int32_t top) {
  std::lock_guard<std::mutex> lock(viewMutex_);
  previewLeft_ = left;
  previewTop_ = top;
}

void ReadingCycle::StreamConnected(int32_t, int32_t, double scale) {
  DrawSetScale(scale, scale, nullptr, nullptr);
  OverlaySetScale(scale, scale, nullptr, nullptr);
  std::lock_guard<std::mutex> lock(viewMutex_);
  scaleX_ = scale;
  scaleY_ = scale;
}

void ReadingCycle::SizeChangeEnded() {
  OverlayClear();
  RepaintWindow();
}

OverlayOrigin ReadingCycle::CurrentOverlayOrigin() const {
  std::lock_guard<std::mutex> lock(viewMutex_);
  return OverlayOriginFor(previewLeft_, previewTop_, scaleX_, scaleY_);
}

ReadResult ReadingCycle::PendingResult() const {
  std::lock_guard<std::mutex> lock(resultMutex_);
  return readResult_;
}

bool ReadingCycle::ResultCommandPending() const {
  std::lock_guard<std::mutex> lock(resultMutex_);
  return commandPending_;
}

bool ReadingCycle::StoreResult(const Reading& reading) {
  const std::string shown = ShownText(reading);
  const auto readAt = std::chrono::system_clock::now();
  std::lock_guard<std::mutex> lock(resultMutex_);
  // After a stop was asked for (or a shown result stopped the reading) a decode
  // that was still running must not replace what the window shows.
  if (stopping_.load()) return false;
  pendingReading_ = reading;
  pendingAt_ = readAt;
  readResult_.kind = static_cast<int32_t>(reading.kind);
  CopyText(readResult_.data, shown.c_str());
  switch (reading.kind) {
    case CodeKind::kBarcode:
      CopyText(readResult_.typeName, reading.symbology.c_str());
      break;
    case CodeKind::kQrCode:
      std::snprintf(readResult_.qrVersion, sizeof readResult_.qrVersion, "%d", static_cast<int>(reading.qrVersion));
      CopyText(readResult_.qrLevel, QrLevelText(reading.qrLevel));
      break;
    default:
      break;
  }
  return true;
}

void ReadingCycle::PostIfWaiting() {
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(resultMutex_);
    // One command at a time: a command that is still queued shows the newest
    // result when it runs, so a second one would only empty the box again.
    if (readResult_.kind != 0 && !commandPending_ && callbacks_.postResultCommand) {
      commandPending_ = true;
      post = true;
    }
  }
  if (post) callbacks_.postResultCommand();
}

void ReadingCycle::HandleFrame(const FrameView& frame) {
  if (stopping_.load(std::memory_order_acquire)) return;
  {
    std::lock_guard<std::mutex> lock(flightMutex_);
    if (stopping_.load()) return;
    ++inFlight_;
  }
  struct FlightEnd {
    ReadingCycle* cycle;
    ~FlightEnd() {
      {
        std::lock_guard<std::mutex> lock(cycle->flightMutex_);
        --cycle->inFlight_;
      }
      cycle->flightDone_.notify_all();
    }
  } flightEnd{this};

  FrameRing::Lease slot = ring_.Store(frame);
  if (!slot) return;
  framesHandled_.fetch_add(1);

  const SettingsRecord settings = CurrentSettings();
  // With every kind off, frames are shown but never read.
  double decodeMs = 0.0;
  const CodeKinds kinds = EnabledKinds(settings);
  if (kinds != 0) {
    const std::vector<Reading> readings =
        ReadPicture(slot.image(), settings, kinds, ReadControl{&DecoderMutex(), &stopping_});
    const Reading& first = readings.front();
    decodeMs = first.milliseconds;
    if (first.ok()) {
      DrawReadingOutline(first, CurrentOverlayOrigin());
      StoreResult(first);
    }
  }
  slot.Release();
  figures_.Add(ReadingFigures::Clock::now(), decodeMs, kinds != 0);

  if (callbacks_.repaintPreview) callbacks_.repaintPreview();
  PostIfWaiting();
}

void ReadingCycle::StreamFailed(const std::string& device, const std::string& error) {
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(flightMutex_);
    if (stopping_.load()) return;
    // Close the door at once: frames still coming from a failing device are
    // not taken, and a decode still running stores nothing.
    stopping_.store(true);
    std::lock_guard<std::mutex> failureLock(failureMutex_);
    // The first failure of a reading says what happened; what follows from it
    // (the pipeline's own "stream stopped" and the like) says less. One of an
    // earlier reading that the window has not taken yet gives way: only a
    // failure of this reading stops it.
    if (!failure_.failed || failure_.session != session_) {
      post = !failure_.failed;
      failure_ = PendingFailure{true, device, error, session_};
    }
  }
  if (post && callbacks_.postStreamFailure) callbacks_.postStreamFailure();
}

StreamFailureOutcome ReadingCycle::OnStreamFailure() {
  StreamFailureOutcome outcome;
  PendingFailure taken;
  {
    std::lock_guard<std::mutex> lock(failureMutex_);
    taken = std::exchange(failure_, PendingFailure{});
  }
  if (!taken.failed) return outcome;
  outcome.failed = true;
  outcome.device = std::move(taken.device);
  outcome.error = std::move(taken.error);
  bool current = false;
  {
    std::lock_guard<std::mutex> lock(flightMutex_);
    current = taken.session == session_;
  }
  // A reading started after the failure (the operator pressed "停止" and
  // "読取開始" before this came) is left alone; the failure is still told.
  if (current && running_.load()) {
    StopReading();
    outcome.stoppedReading = true;
  }
  return outcome;
}

ResultCommandOutcome ReadingCycle::OnResultCommand() {
  const SettingsRecord settings = CurrentSettings();
  ReadResult taken;
  ResultCommandOutcome outcome;
  {
    std::lock_guard<std::mutex> lock(resultMutex_);
    taken = readResult_;
    if (taken.kind >= 1 && taken.kind <= 3) {
      outcome.reading = std::move(pendingReading_);
      outcome.readAt = pendingAt_;
    }
    pendingReading_ = Reading{};
    readResult_.kind = 0;
    commandPending_ = false;
    // With "読取後に停止する" the shown result is the last one: close the door on
    // results of frames still being decoded before the stream is stopped.
    if (taken.kind >= 1 && taken.kind <= 3 && settings.OneDecode != 0) stopping_.store(true);
  }
  outcome.shown = taken.kind >= 1 && taken.kind <= 3;
  outcome.text = FormatResultText(taken);
  if (outcome.shown && settings.OneDecode != 0) {
    StopReading();
    outcome.stoppedReading = true;
  }
  return outcome;
}

int32_t ReadingCycle::StartReading() {
  if (running_.load()) return 0;
  {
    std::lock_guard<std::mutex> lock(flightMutex_);
    stopping_.store(false);
    ++session_;
  }
  figures_.Reset(ReadingFigures::Clock::now());
  const int32_t status = stream_ != nullptr ? stream_->RunStream() : -1;
  if (status != 0) {
    StopReading();
    return status;
  }
  running_.store(true);
  return 0;
}

void ReadingCycle::StopReading() {
  const bool wasRunning = running_.exchange(false);
  {
    std::lock_guard<std::mutex> lock(flightMutex_);
    stopping_.store(true);
  }
  if (stream_ != nullptr) stream_->StopStream();
  // The stream may stop without waiting for its streaming thread; the ring
  // must not be reallocated under a frame that is still being handled.
  {
    std::unique_lock<std::mutex> lock(flightMutex_);
    flightDone_.wait(lock, [this] { return inFlight_ == 0; });
  }
  if (wasRunning) ReturnFreedMemory();
}

void ReadingCycle::RepaintWindow() {
  if (callbacks_.repaintWindow) callbacks_.repaintWindow();
}

bool ReadingCycle::ToggleReading() {
  if (running_.load()) {
    StopReading();
    return false;
  }
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(resultMutex_);
    readResult_.kind = 0;
    if (!commandPending_ && callbacks_.postResultCommand) {
      commandPending_ = true;
      post = true;
    }
  }
  if (post) callbacks_.postResultCommand();
  OverlayClear();
  RepaintWindow();
  return StartReading() == 0;
}

}  // namespace vantrel

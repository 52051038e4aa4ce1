// The reading cycle: every camera frame goes into the next FrameRing slot, is
// read with the enabled kinds (ReadPicture: barcode, QR code, Data Matrix; the
// first success wins), its outline goes into the overlay store and a result
// waits in ReadResult until the window shows it. The cycle is the capture
// controller's FrameSink.
//
// Threads: HandleFrame runs on the capture thread; everything else on the
// window thread. The capture thread never waits for the window thread: it
// reaches it only through the queued callbacks below. Shared state is guarded
// here (the result, the ring's slots, decoder use), so the window never sees a
// half-written result and never paints a slot that is being written.
#ifndef VANTREL_READING_CYCLE_H
#define VANTREL_READING_CYCLE_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "vantrel/decode_calls.h"
#include "vantrel/frame_ring.h"
#include "vantrel/frame_sink.h"
#include "vantrel/reading.h"
#include "vantrel/reading_figures.h"
#include "vantrel/settings.h"

namespace vantrel {

// Command ids of the main window that the cycle deals with.
constexpr int32_t kReadStartCommandId = 1025;  // read-start toggle "読取開始"
constexpr int32_t kResultCommandId = 1028;     // hidden button "INVALID_DATA": a result waits

// The station's QR capacity: the data of a QR code shows up to 99 bytes.
constexpr int32_t kStationQrCapacity = 100;

// The result waiting for display. kind: 0 none, 1 barcode, 2 QR code, 3 Data
// Matrix. A kind writes only its own texts; the others keep what they held.
struct ReadResult {
  int32_t kind = 0;
  char data[4192] = {};     // the data as shown (ShownText), NUL-terminated
  char typeName[20] = {};   // kind 1
  char qrVersion[50] = {};  // kind 2
  char qrLevel[50] = {};    // kind 2
};

// The text the result box shows for a result, in UTF-8: the data converted
// first (UTF-8 as it is, else Shift JIS, else Latin-1), then put after the
// labels. Kind 0 gives the empty text.
std::string FormatResultText(const ReadResult& result);

// Cuts an incomplete multibyte character from the end of a text of `length`
// bytes (a fixed-capacity copy may have cut it in two): the trailing bytes of a
// UTF-8 sequence that the text would otherwise be valid UTF-8 without, or a
// Shift JIS lead byte left alone. Returns the new length; writes the NUL.
int32_t DropCutCharacter(char* text, int32_t length);

// The data the station shows for a reading (the result box, the pages' data
// boxes), UTF-8: a QR code's first 99 bytes without a character the cut broke
// in two, anything else its whole text.
std::string ShownText(const Reading& reading);

// For programs that run the cycle for long (the station, the soak): keeps the
// C library from giving each new thread a heap arena of its own. The cycle
// decodes on the capture pipeline's streaming thread, which is a new thread
// after every stop and start; each arena keeps the decoder storage that was
// freed in it resident (about 0.8 MB), so hours of starting and stopping
// would collect arenas up to the library's limit (8 per core). With this the
// threads share one arena beside the main one, and what a stop hands back
// (StopReading returns the freed pages) stays handed back. Call once, early,
// before threads start; nothing on other C libraries.
void ShareHeapBetweenThreads();

// What the window supplies. Each may be empty.
struct CycleCallbacks {
  // The settings in force, as a copy. Called on the capture thread once per
  // frame and on the window thread by the result handler, so it must be safe
  // against the window's own edits (e.g. copy under the window's lock).
  std::function<SettingsRecord()> settings;
  // Queues the result command (id kResultCommandId) to the window thread, which
  // then calls OnResultCommand. Called on the capture thread and by
  // ToggleReading on the window thread; must never wait for the window thread.
  std::function<void()> postResultCommand;
  // Capture thread, after every frame: queue a repaint of previewRect without
  // erasing the background. Must never wait for the window thread.
  std::function<void()> repaintPreview;
  // Window thread, when reading starts: repaint the whole window, erasing it.
  std::function<void()> repaintWindow;
  // Queues a call of OnStreamFailure to the window thread. Called on a
  // streaming thread, or on the window thread while reading starts; must
  // never wait for the window thread.
  std::function<void()> postStreamFailure;
};

// What the window does after the result command.
struct ResultCommandOutcome {
  bool shown = false;           // a result was taken (kind 1, 2 or 3)
  std::string text;             // the result box's new text; empty empties it
  bool stoppedReading = false;  // OneDecode: release the read-start button, caption "読取開始"
  // The reading behind a shown result, whole (the box may show a QR code's
  // data cut), and when the capture thread read it; empty when none was shown.
  Reading reading;
  std::chrono::system_clock::time_point readAt{};
};

// What the window does after a stream failure.
struct StreamFailureOutcome {
  bool failed = false;          // a failure was waiting: tell the operator
  std::string device;           // the device's name, as listed
  std::string error;            // what the device or the pipeline said
  bool stoppedReading = false;  // release the read-start button, caption "読取開始"
};

class ReadingCycle : public FrameSink {
 public:
  ReadingCycle(FrameRing& ring, CycleCallbacks callbacks);
  ~ReadingCycle() override;
  ReadingCycle(const ReadingCycle&) = delete;
  ReadingCycle& operator=(const ReadingCycle&) = delete;

  // The back end that StartReading and StopReading drive.
  void SetStream(CaptureStream* stream) override;

  // Capture thread: one frame. Returns at once while reading is stopped or
  // stopping; refuses frames without the ring's geometry.
  void HandleFrame(const FrameView& frame) override;

  // Any thread. The stream failed while reading was on or starting: from now
  // on no frame is taken and no result stored, and the window is asked (once
  // per failure) to call OnStreamFailure, which stops the stream. A failure
  // while reading is off is not the cycle's to report.
  void StreamFailed(const std::string& device, const std::string& error) override;
  // Window thread. Takes the waiting failure and, when it belongs to the
  // reading now on, stops reading. Nothing when no failure waits.
  StreamFailureOutcome OnStreamFailure();

  // Window thread. The result command handler: takes the waiting result,
  // formats it and, when a result was taken and OneDecode is set, stops reading.
  ResultCommandOutcome OnResultCommand();
  // Window thread. The read-start toggle: stops reading when it is on;
  // otherwise empties the result (through a result command), clears the
  // overlays, repaints the window and starts reading. True when reading is on
  // afterwards (caption "停止"), false otherwise (caption "読取開始").
  bool ToggleReading();
  // The bare start and stop sequences (the size change uses them too). Start
  // gives 0 or the stream's code. Stop returns only when no HandleFrame runs.
  int32_t StartReading() override;
  void StopReading() override;
  bool running() const override { return running_.load(); }
  // False from the moment a stop is asked for until the next start: frames
  // that come meanwhile are not even worth mapping.
  bool AcceptingFrames() const override { return !stopping_.load(); }
  // Asks the window to repaint itself whole, erasing it (after a reading
  // starts or the frame size changed).
  void RepaintWindow();

  // At every connection: the preview scale becomes the drawing layer's and the
  // overlay store's scale, and places the outlines.
  void StreamConnected(int32_t width, int32_t height, double scale) override;
  // After a size change: the outlines are emptied and the window repaints whole.
  void SizeChangeEnded() override;

  // Where overlay outlines go: previewRect's top-left corner in the window
  // (set by the window) and the preview scale (set at every connection).
  void SetPreviewTopLeft(int32_t left, int32_t top);
  OverlayOrigin CurrentOverlayOrigin() const;

  FrameRing& ring() { return ring_; }
  // A copy of the waiting result, taken under its lock.
  ReadResult PendingResult() const;
  // True while a result command is queued and not yet handled.
  bool ResultCommandPending() const;
  // Frames that went through HandleFrame since construction (tests, benchmarks).
  uint64_t FramesHandled() const { return framesHandled_.load(); }
  // Frames per second and decode times since the last start of reading.
  const ReadingFigures& figures() const { return figures_; }

 private:
  SettingsRecord CurrentSettings() const;
  // Stores a decoded result unless stopping; true when stored.
  bool StoreResult(const Reading& reading);
  void PostIfWaiting();

  FrameRing& ring_;
  CycleCallbacks callbacks_;
  CaptureStream* stream_ = nullptr;

  std::atomic<bool> running_{false};
  // Set before the stream is stopped: a late frame returns at once and a
  // decode that is still running stores nothing.
  std::atomic<bool> stopping_{true};
  std::mutex flightMutex_;
  std::condition_variable flightDone_;
  int32_t inFlight_ = 0;
  // Counts the starts, so that a failure is told apart from a later reading's.
  uint64_t session_ = 0;

  struct PendingFailure {
    bool failed = false;
    std::string device;
    std::string error;
    uint64_t session = 0;
  };
  std::mutex failureMutex_;
  PendingFailure failure_;

  mutable std::mutex resultMutex_;
  ReadResult readResult_;
  bool commandPending_ = false;
  // Beside readResult_, for the window's history: the whole reading.
  Reading pendingReading_;
  std::chrono::system_clock::time_point pendingAt_{};

  mutable std::mutex viewMutex_;
  int32_t previewLeft_ = 0;
  int32_t previewTop_ = 0;
  double scaleX_ = 1.0;
  double scaleY_ = 1.0;

  std::atomic<uint64_t> framesHandled_{0};
  ReadingFigures figures_;
};

}  // namespace vantrel

#endif

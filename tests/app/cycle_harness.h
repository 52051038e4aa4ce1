// A stand-in for the station window in the reading-cycle tests: a thread of its
// own that runs queued calls in order (as the window's event loop would), the
// result box, the read-start button and a settings record guarded the way the
// window must guard it.
#ifndef VANTREL_TESTS_CYCLE_HARNESS_H
#define VANTREL_TESTS_CYCLE_HARNESS_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sys/types.h>
#include <unistd.h>

#include "vantrel/decode_calls.h"
#include "vantrel/decoder_libraries.h"
#include "vantrel/dib.h"
#include "vantrel/draw_context.h"
#include "vantrel/frame_ring.h"
#include "vantrel/overlay.h"
#include "vantrel/ovoutil.h"
#include "vantrel/reading_cycle.h"
#include "vantrel/settings.h"

namespace vantrel::test {

// Polls until the condition holds; false when it still does not after the
// timeout. Waiting, not timing: the bound only keeps a broken build from hanging.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::milliseconds(20000)) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// The calling thread's id in the kernel, for ThreadSleeps.
inline pid_t KernelThreadId() { return gettid(); }

// True while the thread (its kernel id) sleeps, as one blocked on a lock does:
// a test that holds a lock can wait until another thread waits for it, rather
// than until it has merely passed some earlier point.
inline bool ThreadSleeps(pid_t tid) {
  if (tid <= 0) return false;
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string line;
  std::getline(stat, line);
  // The state follows the command name, which is in parentheses and may hold any character.
  const size_t close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'S';
}

class WindowThread {
 public:
  WindowThread() : thread_([this] { Loop(); }) {}
  ~WindowThread() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

  // Queues a call; never waits.
  void Post(std::function<void()> call) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(std::move(call));
    }
    wake_.notify_all();
  }

  // Runs a call on the window thread and waits for it.
  void Run(const std::function<void()>& call) {
    std::promise<void> done;
    Post([&] {
      call();
      done.set_value();
    });
    done.get_future().wait();
  }

  // Runs a call on the window thread without waiting; the future tells when it ended.
  std::future<void> Start(std::function<void()> call) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> f = done->get_future();
    Post([call = std::move(call), done] {
      call();
      done->set_value();
    });
    return f;
  }

  // Waits until every call queued so far has run.
  void Drain() {
    Run([] {});
  }

  bool OnItsThread() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  void Loop() {
    for (;;) {
      std::function<void()> call;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return quit_ || !queue_.empty(); });
        if (queue_.empty()) return;
        call = std::move(queue_.front());
        queue_.pop_front();
      }
      call();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> queue_;
  bool quit_ = false;
  std::thread thread_;
};

// The window's side of the cycle: result box, read-start button, settings.
class FakeStation {
 public:
  FakeStation() = default;

  // Callbacks for a cycle; Bind must follow once the cycle exists.
  CycleCallbacks Callbacks() {
    CycleCallbacks c;
    c.settings = [this] {
      if (!window.OnItsThread()) readerThread_.store(KernelThreadId());
      std::lock_guard<std::mutex> lock(settingsMutex_);
      return settings_;
    };
    c.postResultCommand = [this] {
      commandsPosted_.fetch_add(1);
      window.Post([this] { OnResultCommand(); });
    };
    c.repaintPreview = [this] {
      if (previewHook) previewHook();
      previewRepaints_.fetch_add(1);
    };
    c.repaintWindow = [this] { windowRepaints_.fetch_add(1); };
    c.postStreamFailure = [this] {
      failuresPosted_.fetch_add(1);
      window.Post([this] { OnStreamFailure(); });
    };
    return c;
  }
  void Bind(ReadingCycle* cycle) { cycle_ = cycle; }

  void EditSettings(const std::function<void(SettingsRecord&)>& edit) {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    edit(settings_);
  }
  SettingsRecord Settings() {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    return settings_;
  }

  // The read-start button pressed, on the window thread.
  void PressReadStart() {
    window.Run([this] {
      const bool on = cycle_->ToggleReading();
      std::lock_guard<std::mutex> lock(stateMutex_);
      buttonPressed_ = on;
      caption_ = on ? "停止" : "読取開始";
    });
  }

  std::string Box() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return box_;
  }
  std::vector<std::string> Shown() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return shown_;
  }
  // The readings behind the shown results, with the time each was read.
  std::vector<std::pair<Reading, std::chrono::system_clock::time_point>> ShownReadings() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return readings_;
  }
  int32_t CommandsHandled() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return commandsHandled_;
  }
  bool ButtonPressed() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return buttonPressed_;
  }
  std::string Caption() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return caption_;
  }
  // The stream failures the window was told of, as it took them.
  std::vector<StreamFailureOutcome> Failures() {
    std::lock_guard<std::mutex> lock(stateMutex_);
    return failures_;
  }
  int32_t FailuresPosted() const { return failuresPosted_.load(); }
  int32_t CommandsPosted() const { return commandsPosted_.load(); }
  int32_t PreviewRepaints() const { return previewRepaints_.load(); }
  int32_t WindowRepaints() const { return windowRepaints_.load(); }
  void SetBox(const std::string& text) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    box_ = text;
  }

  // Called on the capture thread before each preview repaint request.
  std::function<void()> previewHook;

  // The kernel id of the thread that last asked for the settings away from the
  // window: the one reading frames, which asks right after taking a frame.
  pid_t ReaderThread() const { return readerThread_.load(); }

  WindowThread window;

 private:
  void OnResultCommand() {
    const ResultCommandOutcome outcome = cycle_->OnResultCommand();
    std::lock_guard<std::mutex> lock(stateMutex_);
    ++commandsHandled_;
    box_.clear();
    box_ = outcome.text;
    if (outcome.shown) {
      shown_.push_back(outcome.text);
      readings_.emplace_back(outcome.reading, outcome.readAt);
    }
    if (outcome.stoppedReading) {
      buttonPressed_ = false;
      caption_ = "読取開始";
    }
  }

  // As the window does: the button follows the reading, the failure is told.
  void OnStreamFailure() {
    const StreamFailureOutcome outcome = cycle_->OnStreamFailure();
    if (!outcome.failed) return;
    const bool on = cycle_->running();
    std::lock_guard<std::mutex> lock(stateMutex_);
    failures_.push_back(outcome);
    buttonPressed_ = on;
    caption_ = on ? "停止" : "読取開始";
  }

  ReadingCycle* cycle_ = nullptr;
  std::mutex settingsMutex_;
  SettingsRecord settings_;
  std::mutex stateMutex_;
  std::string box_;
  std::vector<std::string> shown_;
  std::vector<std::pair<Reading, std::chrono::system_clock::time_point>> readings_;
  int32_t commandsHandled_ = 0;
  bool buttonPressed_ = false;
  std::string caption_ = "読取開始";
  std::vector<StreamFailureOutcome> failures_;
  std::atomic<int32_t> failuresPosted_{0};
  std::atomic<pid_t> readerThread_{0};
  std::atomic<int32_t> commandsPosted_{0};
  std::atomic<int32_t> previewRepaints_{0};
  std::atomic<int32_t> windowRepaints_{0};
};

// Counts the lines the overlay store draws.
class LineCounter : public DrawContext {
 public:
  int32_t SetBackgroundMode(int32_t) override { return kBackgroundTransparent; }
  int32_t SetRasterOp(int32_t) override { return kRasterCopyPen; }
  Pen SelectPen(const Pen&) override { return Pen{}; }
  void MoveTo(int32_t, int32_t) override {}
  void LineTo(int32_t, int32_t) override { ++lines; }
  void FillRect(int32_t, int32_t, int32_t, int32_t, uint32_t) override {}
  int32_t DrawPixels(const DibPixels&, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                     int32_t) override {
    return 1;
  }
  int32_t lines = 0;
};

inline int32_t OverlayLines() {
  LineCounter counter;
  OverlayDrawAll(&counter);
  return counter.lines;
}

// Brings up what the readings need (the utility library's overlay store, the
// QR library and the Data Matrix reader) for a whole test program.
class DecoderLibraries : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_EQ(libraries_.Start(), 0); }
  void TearDown() override { libraries_.Stop(); }

 private:
  vantrel::DecoderLibraries libraries_{vantrel::DecoderLibraries::QrParameterFile::kNone};
};

// A frame view over a 24-bit picture.
inline FrameView ViewOf(DibImage picture) {
  FrameView v;
  v.bits = DibGetBits(picture);
  v.width = DibGetWidth(picture);
  v.height = DibGetHeight(picture);
  v.stride = DibGetStride(picture);
  v.bytes = static_cast<size_t>(v.stride) * static_cast<size_t>(v.height);
  return v;
}

}  // namespace vantrel::test

#endif

// vantrel-soak: the reading cycle on the replay source for a long time, with
// all three decoders on, to show what hours of reading do to memory, file
// descriptors and results.
//
//   vantrel-soak SECONDS [--restart=S] [--report=S] [--rate=FPS]
//
// The replay source plays a set of pictures (codes of every kind and frames
// without any) through the real capture pipeline as fast as the cycle takes
// them (or at --rate frames a second), and the cycle reads every frame with
// the barcode, QR and Data Matrix decoders, as the station does with all three
// enabled. Every --restart seconds reading is stopped and started again, as an
// operator does. Each result is taken the moment the cycle posts it, so that
// every frame can be held to its own result: each picture carries a grey
// marker in its top-left corner, outside the processing range, that names it.
//
// Every --report seconds a line gives the frames, the reads, the resident
// memory, the C library's heap (in use, and held from the system), the open
// file descriptors and the threads; at the end a summary.
// A result is lost when a frame with a code gives none (frames cut short by a
// stop are counted apart: the stop cancels their decode on purpose); it is
// wrong when its text is not the one the picture reads to alone. Exit status
// 0 when nothing was lost or wrong and the descriptors are as at the start,
// 1 otherwise, 2 for a bad command line or a pipeline that does not run.
#include <dirent.h>
#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "symbol_render.h"
#include "vantrel/decoder_libraries.h"
#include "vantrel/dib_file.h"
#include "vantrel/img_acq_ctrl.h"
#include "vantrel/reading_cycle.h"

namespace {

using vantrel::test::DibPtr;
using Clock = std::chrono::steady_clock;

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;

// The marker: an 8 x 8 block at the top-left corner, grey level 8 + 24 n for
// picture n; the default processing range starts well inside it.
constexpr int32_t kMarkerSide = 8;
uint8_t MarkerLevel(size_t n) { return static_cast<uint8_t>(8 + 24 * n); }
int32_t PictureOfLevel(uint8_t level) {
  const int32_t n = (static_cast<int32_t>(level) - 8 + 12) / 24;
  return n >= 0 ? n : -1;
}

struct SoakPicture {
  const char* what;
  DibPtr picture;
  std::optional<std::string> expected;  // the result box's text; none for a frame without a code
};

DibPtr Symbol(const std::vector<std::string>& zint, const std::string& data, double module, int32_t quiet,
              double angle, double noise, uint32_t seed) {
  vantrel::test::ModuleMatrix m;
  std::string error;
  if (!vantrel::test::ZintModules(zint, data, &m, &error)) {
    std::fprintf(stderr, "vantrel-soak: zint: %s\n", error.c_str());
    return nullptr;
  }
  vantrel::test::RenderOptions o;
  o.moduleSize = module;
  o.quietZone = quiet;
  o.barHeight = 40;
  o.angleDeg = angle;
  DibPtr picture = vantrel::test::RenderSymbol(m, o, kWidth, kHeight, 3);
  if (noise > 0) vantrel::test::AddNoise(picture.get(), noise, seed);
  return picture;
}

DibPtr Plain(uint8_t level, double noise) {
  DibPtr picture(DibCreate(kWidth, kHeight, 3, 4));
  vantrel::test::FillGrey(picture.get(), level);
  if (noise > 0) vantrel::test::AddNoise(picture.get(), noise, 11);
  return picture;
}

std::vector<SoakPicture> MakePictures() {
  std::vector<SoakPicture> set;
  set.push_back({"CODE 128", Symbol({"-b", "CODE128"}, "SOAK-128-0001", 2, 10, 0, 3, 1), {}});
  set.push_back({"JAN-13", Symbol({"-b", "EANX"}, "490123456789", 2.5, 10, 0, 3, 2), {}});
  set.push_back({"QR code", Symbol({"-b", "QRCODE", "--secure=2"}, "https://example.com/soak/0003", 4, 4, 0, 3, 3), {}});
  set.push_back({"QR code, Kanji", Symbol({"-b", "QRCODE", "--binary", "--vers=2", "--secure=4"},
                                          "\x8a\xbf\x8e\x9a\x83\x65\x83\x58\x83\x67", 4, 4, 8, 3, 4), {}});
  set.push_back({"Data Matrix", Symbol({"-b", "DATAMATRIX", "--square"}, "SOAK-DMX-0005", 6, 4, 0, 3, 5), {}});
  set.push_back({"Data Matrix, turned", Symbol({"-b", "DATAMATRIX", "--square"}, "SOAK-DMX-0006", 6, 4, 17, 3, 6), {}});
  set.push_back({"plain grey", Plain(200, 0), {}});
  set.push_back({"grey with noise", Plain(160, 12), {}});
  for (size_t n = 0; n < set.size(); ++n) {
    if (!set[n].picture) return {};
    uint8_t* bits = DibGetBits(set[n].picture.get());
    const int32_t stride = DibGetStride(set[n].picture.get());
    for (int32_t y = 0; y < kMarkerSide; ++y) std::memset(bits + y * stride, MarkerLevel(n), kMarkerSide * 3);
  }
  return set;
}

vantrel::SettingsRecord SoakSettings() {
  vantrel::SettingsRecord s;  // the station's defaults, range and all
  s.BarCodeEnable = s.QRCodeEnable = s.DmxCodeEnable = 1;
  s.OneDecode = 0;
  return s;
}

// What each picture reads to alone: one frame of it through a cycle of its
// own, the way the station's cycle handles a frame.
bool ReadAlone(std::vector<SoakPicture>* set) {
  struct Stream : vantrel::CaptureStream {
    int32_t RunStream() override { return 0; }
    void StopStream() override {}
  } stream;
  vantrel::FrameRing ring;
  if (ring.Allocate(kWidth, kHeight) != vantrel::FrameRing::kOk) return false;
  std::optional<std::string> text;
  vantrel::CycleCallbacks callbacks;
  const vantrel::SettingsRecord settings = SoakSettings();
  vantrel::ReadingCycle* cycle = nullptr;
  callbacks.settings = [&] { return settings; };
  callbacks.postResultCommand = [&] {
    const vantrel::ResultCommandOutcome outcome = cycle->OnResultCommand();
    if (outcome.shown) text = outcome.text;
  };
  vantrel::ReadingCycle alone(ring, callbacks);
  cycle = &alone;
  alone.SetStream(&stream);
  alone.StartReading();
  for (SoakPicture& p : *set) {
    text.reset();
    DibImage image = p.picture.get();
    const int32_t stride = DibGetStride(image);
    alone.HandleFrame(vantrel::FrameView{DibGetBits(image), kWidth, kHeight, stride,
                                         static_cast<size_t>(stride) * kHeight});
    p.expected = text;
  }
  alone.StopReading();
  return true;
}

// ---- the process's own figures

int64_t ResidentKb() {
  std::ifstream statm("/proc/self/statm");
  int64_t size = 0;
  int64_t resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The C library's heap: bytes in use by the program (a leak grows this) and
// bytes the allocator holds from the system (what it keeps after frees grows
// only this). -1 where the library cannot say.
int64_t HeapInUseKb() {
#if defined(__GLIBC__)
  const struct mallinfo2 m = mallinfo2();
  return static_cast<int64_t>((m.uordblks + m.hblkhd) / 1024);
#else
  return -1;
#endif
}
int64_t HeapHeldKb() {
#if defined(__GLIBC__)
  const struct mallinfo2 m = mallinfo2();
  return static_cast<int64_t>((m.arena + m.hblkhd) / 1024);
#else
  return -1;
#endif
}

int32_t OpenDescriptors() {
  int32_t n = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (const dirent* e = readdir(dir)) {
      if (e->d_name[0] != '.') ++n;
    }
    closedir(dir);
  }
  return n - 1;  // the listing's own
}

int32_t Threads() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Threads:", 0) == 0) return std::atoi(line.c_str() + 8);
  }
  return 0;
}

// ---- the verdict on every frame

class Tally {
 public:
  explicit Tally(const std::vector<SoakPicture>& set) : set_(set) {}

  // The capture thread, when frame k is in the ring and read (before its
  // result, if any, is posted).
  void FrameRead(int32_t picture, bool cutShort) {
    std::lock_guard<std::mutex> lock(mutex_);
    CloseFrame();
    ++frames_;
    current_ = picture;
    cutShort_ = cutShort;
    gotResult_ = false;
    if (picture < 0 || picture >= static_cast<int32_t>(set_.size())) ++unknown_;
  }
  // The capture thread: the result of the current frame.
  void Result(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++reads_;
    if (gotResult_) ++wrong_;  // two results for one frame
    gotResult_ = true;
    const bool known = current_ >= 0 && current_ < static_cast<int32_t>(set_.size());
    if (!known || !set_[static_cast<size_t>(current_)].expected || *set_[static_cast<size_t>(current_)].expected != text) {
      ++wrong_;
      if (wrongExample_.empty()) wrongExample_ = (known ? set_[static_cast<size_t>(current_)].what : "?") + std::string(": ") + text;
    }
  }
  void Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    CloseFrame();
  }

  struct Figures {
    uint64_t frames, reads, withCode, lost, wrong, cut, unknown;
    std::string wrongExample;
  };
  Figures Now() {
    std::lock_guard<std::mutex> lock(mutex_);
    return Figures{frames_, reads_, withCode_, lost_, wrong_, cut_, unknown_, wrongExample_};
  }

 private:
  void CloseFrame() {
    if (current_ < 0 || current_ >= static_cast<int32_t>(set_.size())) {
      current_ = -1;
      return;
    }
    if (set_[static_cast<size_t>(current_)].expected) {
      ++withCode_;
      if (!gotResult_) ++(cutShort_ ? cut_ : lost_);
    }
    current_ = -1;
  }

  const std::vector<SoakPicture>& set_;
  std::mutex mutex_;
  int32_t current_ = -1;
  bool cutShort_ = false;
  bool gotResult_ = false;
  uint64_t frames_ = 0, reads_ = 0, withCode_ = 0, lost_ = 0, wrong_ = 0, cut_ = 0, unknown_ = 0;
  std::string wrongExample_;
};

std::atomic<bool> interrupted{false};
void OnSignal(int) { interrupted.store(true); }

bool SecondsOption(const char* arg, const char* name, double* value) {
  const size_t n = std::strlen(name);
  if (std::strncmp(arg, name, n) != 0 || arg[n] != '=') return false;
  char* end = nullptr;
  *value = std::strtod(arg + n + 1, &end);
  return end != arg + n + 1 && *end == '\0' && *value >= 0;
}

int Usage() {
  std::fputs("usage: vantrel-soak SECONDS [--restart=S] [--report=S] [--rate=FPS]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // As the station does, before any thread starts.
  vantrel::ShareHeapBetweenThreads();
  double seconds = -1;
  double restart = 60;
  double report = 60;
  double rate = 0;
  for (int i = 1; i < argc; ++i) {
    double v = 0;
    if (SecondsOption(argv[i], "--restart", &v)) {
      restart = v;
    } else if (SecondsOption(argv[i], "--report", &v)) {
      report = v;
    } else if (SecondsOption(argv[i], "--rate", &v)) {
      rate = v;
    } else if (seconds < 0 && argv[i][0] != '-') {
      char* end = nullptr;
      seconds = std::strtod(argv[i], &end);
      if (*end != '\0' || seconds <= 0) return Usage();
    } else {
      return Usage();
    }
  }
  if (seconds <= 0) return Usage();
  if (report <= 0) report = 60;

  vantrel::DecoderLibraries libraries;
  if (libraries.Start() != 0) {
    std::fputs("vantrel-soak: the decoder libraries do not start\n", stderr);
    return 2;
  }
  std::vector<SoakPicture> set = MakePictures();
  if (set.empty() || !ReadAlone(&set)) return 2;
  size_t withCode = 0;
  for (const SoakPicture& p : set) withCode += p.expected ? 1 : 0;

  char folder[] = "/tmp/vantrel-soak-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    std::perror("vantrel-soak: temporary folder");
    return 2;
  }
  for (size_t n = 0; n < set.size(); ++n) {
    char name[64];
    std::snprintf(name, sizeof name, "/%02zu.bmp", n);
    if (DibSaveFile((std::string(folder) + name).c_str(), set[n].picture.get()) != 1) {
      std::fprintf(stderr, "vantrel-soak: cannot write %s%s\n", folder, name);
      return 2;
    }
  }

  Tally tally(set);
  const vantrel::SettingsRecord settings = SoakSettings();
  vantrel::CImgAcqCtrl ctrl;
  vantrel::ReadingCycle* cyclePtr = nullptr;
  std::atomic<uint64_t> failures{0};
  vantrel::CycleCallbacks callbacks;
  callbacks.settings = [&] { return settings; };
  callbacks.repaintPreview = [&] {
    // The displayed slot is the frame just read: this thread alone writes.
    vantrel::FrameRing::Lease slot = ctrl.Ring().ReadDisplayed();
    const int32_t picture = slot ? PictureOfLevel(DibGetBits(slot.image())[3 * DibGetStride(slot.image()) + 9]) : -1;
    tally.FrameRead(picture, !cyclePtr->AcceptingFrames());
  };
  // The window's part, at once: every frame's result is held to its frame.
  callbacks.postResultCommand = [&] {
    const vantrel::ResultCommandOutcome outcome = cyclePtr->OnResultCommand();
    if (outcome.shown) tally.Result(outcome.text);
  };
  callbacks.postStreamFailure = [&] { failures.fetch_add(1); };
  vantrel::ReadingCycle cycle(ctrl.Ring(), callbacks);
  cyclePtr = &cycle;
  ctrl.AttachSink(&cycle);
  vantrel::SetCameraReplay(folder, rate);
  ctrl.Xsize = kWidth;
  ctrl.Ysize = kHeight;
  ctrl.EnumerateDevices();
  auto cleanUp = [&] {
    ctrl.TeardownGraph();
    ctrl.AttachSink(nullptr);
    vantrel::SetCameraReplay("");
    std::filesystem::remove_all(folder);
  };
  if (ctrl.BuildGraph() != 0 || cycle.StartReading() != 0) {
    std::fprintf(stderr, "vantrel-soak: the pipeline does not run: %s\n", ctrl.LastError().c_str());
    cleanUp();
    return 2;
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);

  std::printf("vantrel-soak: %.0f s, %zu pictures (%zu with a code) at %d x %d, barcode, QR and Data Matrix on,"
              " restart every %.0f s, %s\n",
              seconds, set.size(), withCode, kWidth, kHeight, restart,
              rate > 0 ? (std::to_string(rate) + " frames a second").c_str() : "frames as fast as they are read");
  std::printf("%8s %9s %9s %9s %9s %9s %5s %7s %5s %5s %4s\n", "time s", "frames", "reads", "rss kB", "heap kB",
              "held kB", "fds", "threads", "lost", "wrong", "cut");
  std::fflush(stdout);

  const Clock::time_point start = Clock::now();
  // The start figures once the stream runs and the first frames went through.
  while (tally.Now().frames < 3 && Clock::now() - start < std::chrono::seconds(30)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const int64_t rssStart = ResidentKb();
  const int64_t heapStart = HeapInUseKb();
  const int32_t fdsStart = OpenDescriptors();
  int64_t rssMinute = -1;
  int64_t heapMinute = -1;
  int32_t fdsMax = fdsStart;
  int32_t fdsMin = fdsStart;
  auto line = [&](double t) {
    const Tally::Figures f = tally.Now();
    const int32_t fds = OpenDescriptors();
    fdsMax = std::max(fdsMax, fds);
    fdsMin = std::min(fdsMin, fds);
    std::printf("%8.0f %9llu %9llu %9lld %9lld %9lld %5d %7d %5llu %5llu %4llu\n", t,
                static_cast<unsigned long long>(f.frames), static_cast<unsigned long long>(f.reads),
                static_cast<long long>(ResidentKb()), static_cast<long long>(HeapInUseKb()),
                static_cast<long long>(HeapHeldKb()), fds, Threads(),
                static_cast<unsigned long long>(f.lost), static_cast<unsigned long long>(f.wrong),
                static_cast<unsigned long long>(f.cut));
    std::fflush(stdout);
  };
  line(0);

  double nextReport = report;
  double nextRestart = restart > 0 ? restart : seconds + 1;
  bool minuteTaken = false;
  uint64_t restarts = 0;
  bool stalled = false;
  uint64_t lastFrames = 0;
  Clock::time_point lastProgress = Clock::now();
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const double t = std::chrono::duration<double>(Clock::now() - start).count();
    if (!minuteTaken && t >= 60) {
      rssMinute = ResidentKb();
      heapMinute = HeapInUseKb();
      minuteTaken = true;
    }
    if (t >= seconds || interrupted.load()) break;
    if (t >= nextRestart) {
      cycle.StopReading();
      if (cycle.StartReading() != 0) {
        std::fprintf(stderr, "vantrel-soak: reading does not start again: %s\n", ctrl.LastError().c_str());
        break;
      }
      ++restarts;
      nextRestart += restart;
    }
    if (t >= nextReport) {
      line(t);
      nextReport += report;
    }
    const uint64_t frames = tally.Now().frames;
    if (frames != lastFrames) {
      lastFrames = frames;
      lastProgress = Clock::now();
    } else if (Clock::now() - lastProgress > std::chrono::seconds(60)) {
      std::fputs("vantrel-soak: no frame for a minute\n", stderr);
      stalled = true;
      break;
    }
  }
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  cycle.StopReading();
  tally.Close();
  line(elapsed);
  const int64_t rssEnd = ResidentKb();
  const int64_t heapEnd = HeapInUseKb();
  const int32_t fdsEnd = OpenDescriptors();
  const Tally::Figures f = tally.Now();
  const uint64_t refused = ctrl.FramesRefused();
  cleanUp();

  std::printf("\nran %.0f s, %llu restarts\n", elapsed, static_cast<unsigned long long>(restarts));
  std::printf("frames %llu (%.1f a second), frames with a code %llu, reads %llu\n",
              static_cast<unsigned long long>(f.frames), f.frames / elapsed,
              static_cast<unsigned long long>(f.withCode), static_cast<unsigned long long>(f.reads));
  std::printf("lost results %llu, wrong results %llu, cut short by a stop %llu, unknown frames %llu,"
              " refused frames %llu, stream failures %llu\n",
              static_cast<unsigned long long>(f.lost), static_cast<unsigned long long>(f.wrong),
              static_cast<unsigned long long>(f.cut), static_cast<unsigned long long>(f.unknown),
              static_cast<unsigned long long>(refused), static_cast<unsigned long long>(failures.load()));
  if (!f.wrongExample.empty()) std::printf("first wrong result: %s\n", f.wrongExample.c_str());
  std::printf("resident memory: start %lld kB, after the first minute %s kB, end %lld kB",
              static_cast<long long>(rssStart), rssMinute >= 0 ? std::to_string(rssMinute).c_str() : "-",
              static_cast<long long>(rssEnd));
  if (rssMinute >= 0) std::printf(", growth after the first minute %+lld kB", static_cast<long long>(rssEnd - rssMinute));
  std::printf("\nheap in use: start %lld kB, after the first minute %s kB, end %lld kB (reading stopped)\n",
              static_cast<long long>(heapStart), heapMinute >= 0 ? std::to_string(heapMinute).c_str() : "-",
              static_cast<long long>(heapEnd));
  std::printf("open descriptors: start %d, end %d (between %d and %d)\n", fdsStart, fdsEnd, fdsMin, fdsMax);
  const bool ok = f.lost == 0 && f.wrong == 0 && f.unknown == 0 && fdsEnd == fdsStart && !stalled &&
                  failures.load() == 0;
  return ok ? 0 : 1;
}

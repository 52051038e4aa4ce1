// The reading cycle's rate: frames per second through the real pipeline (the
// replay source playing as fast as the cycle takes frames) with each decoder
// on 640 x 480 frames, the reading alone on the same frame, and the time a
// frame spends outside the decoders (copy into the ring and the hand-off),
// without a code and with one in every frame, the window's history off and on.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>

#include "symbol_render.h"
#include "vantrel/decoder_libraries.h"
#include "vantrel/dib_file.h"
#include "vantrel/img_acq_ctrl.h"
#include "vantrel/reading.h"
#include "vantrel/reading_cycle.h"
#include "vantrel/reading_history.h"

namespace {

using vantrel::test::DibPtr;

// kDataMatrixEmpty: the Data Matrix decoder on frames without a symbol, the
// frames a camera shows most of the day.
enum Decoder { kNone = 0, kBarcode = 1, kQr = 2, kDataMatrix = 3, kDataMatrixEmpty = 4 };

const char* DecoderName(int d) {
  static const char* const kNames[] = {"none", "barcode", "qrcode", "datamatrix", "datamatrix-empty"};
  return kNames[d];
}

DibPtr Picture(int decoder) {
  vantrel::test::ModuleMatrix m;
  vantrel::test::RenderOptions o;
  switch (decoder) {
    case kBarcode:
      vantrel::test::ZintModules({"-b", "CODE128"}, "VANTREL-0001", &m);
      o.moduleSize = 2;
      o.barHeight = 40;
      break;
    case kQr:
      vantrel::test::ZintModules({"-b", "QRCODE", "--secure=2"}, "https://example.com/vantrel/0001", &m);
      o.moduleSize = 4;
      o.quietZone = 4;
      break;
    case kDataMatrix:
      vantrel::test::ZintModules({"-b", "DATAMATRIX", "--square"}, "VANTREL-DMX-0001", &m);
      o.moduleSize = 6;
      o.quietZone = 4;
      break;
    default: {
      DibPtr blank(DibCreate(640, 480, 3, 4));
      vantrel::test::FillGrey(blank.get(), 200);
      if (decoder == kDataMatrixEmpty) vantrel::test::AddNoise(blank.get(), 3.0, 7);
      return blank;
    }
  }
  DibPtr picture = vantrel::test::RenderSymbol(m, o, 640, 480, 3);
  vantrel::test::AddNoise(picture.get(), 3.0, 7);
  return picture;
}

vantrel::SettingsRecord SettingsFor(int decoder) {
  vantrel::SettingsRecord s;
  s.BarCodeEnable = decoder == kBarcode;
  s.QRCodeEnable = decoder == kQr;
  s.DmxCodeEnable = decoder == kDataMatrix || decoder == kDataMatrixEmpty;
  s.OneDecode = 0;
  return s;
}

void Libraries() {
  static vantrel::DecoderLibraries libraries(vantrel::DecoderLibraries::QrParameterFile::kNone);
  libraries.Start();
}

// Frames per second that the whole cycle sustains: replay source, conversion,
// frame callback, copy into the ring, the enabled decoder, hand-off.
void BM_CycleThroughPipeline(benchmark::State& state) {
  Libraries();
  const int decoder = static_cast<int>(state.range(0));
  state.SetLabel(DecoderName(decoder));
  char folder[] = "/tmp/vantrel-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string file = std::string(folder) + "/frame.bmp";
  {
    DibPtr picture = Picture(decoder);
    if (DibSaveFile(file.c_str(), picture.get()) != 1) {
      state.SkipWithError("cannot write the replay picture");
      return;
    }
  }

  std::mutex mutex;
  std::condition_variable frame;
  uint64_t frames = 0;
  uint64_t results = 0;
  const vantrel::SettingsRecord settings = SettingsFor(decoder);

  vantrel::CImgAcqCtrl ctrl;
  vantrel::CycleCallbacks callbacks;
  callbacks.settings = [&] { return settings; };
  callbacks.repaintPreview = [&] {
    {
      std::lock_guard<std::mutex> lock(mutex);
      ++frames;
    }
    frame.notify_all();
  };
  vantrel::ReadingCycle* cyclePtr = nullptr;
  // The window's part: take each result as it comes.
  callbacks.postResultCommand = [&] {
    cyclePtr->OnResultCommand();
    std::lock_guard<std::mutex> lock(mutex);
    ++results;
  };
  vantrel::ReadingCycle cycle(ctrl.Ring(), callbacks);
  cyclePtr = &cycle;
  ctrl.AttachSink(&cycle);
  vantrel::SetCameraReplay(file, 0);
  ctrl.Xsize = 640;
  ctrl.Ysize = 480;
  ctrl.EnumerateDevices();
  if (ctrl.BuildGraph() != 0 || cycle.StartReading() != 0) {
    state.SkipWithError(("pipeline: " + ctrl.LastError()).c_str());
    ctrl.TeardownGraph();
    ctrl.AttachSink(nullptr);
    std::filesystem::remove_all(folder);
    return;
  }
  auto waitFrames = [&](uint64_t n) {
    std::unique_lock<std::mutex> lock(mutex);
    frame.wait(lock, [&] { return frames >= n; });
  };
  waitFrames(3);  // past the start

  uint64_t start = 0;
  {
    std::lock_guard<std::mutex> lock(mutex);
    start = frames;
  }
  uint64_t next = start;
  for (auto _ : state) waitFrames(++next);
  uint64_t decoded = 0;
  {
    std::lock_guard<std::mutex> lock(mutex);
    decoded = results;
  }
  cycle.StopReading();
  state.SetItemsProcessed(static_cast<int64_t>(next - start));
  state.counters["fps"] = benchmark::Counter(static_cast<double>(next - start), benchmark::Counter::kIsRate);
  state.counters["results"] = static_cast<double>(decoded);
  ctrl.TeardownGraph();
  ctrl.AttachSink(nullptr);
  vantrel::SetCameraReplay("");
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_CycleThroughPipeline)
    ->Arg(kNone)
    ->Arg(kBarcode)
    ->Arg(kQr)
    ->Arg(kDataMatrix)
    ->Arg(kDataMatrixEmpty)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// The reading alone on the same frame (what the cycle runs for a frame), for
// the difference to the above.
void BM_DecodeCallAlone(benchmark::State& state) {
  Libraries();
  const int decoder = static_cast<int>(state.range(0));
  state.SetLabel(DecoderName(decoder));
  DibPtr picture = Picture(decoder);
  const vantrel::SettingsRecord settings = SettingsFor(decoder);
  const vantrel::CodeKinds kinds = vantrel::EnabledKinds(settings);
  int32_t status = 0;
  for (auto _ : state) {
    status = vantrel::ReadPicture(picture.get(), settings, kinds).front().status;
    benchmark::DoNotOptimize(status);
  }
  if ((status == 0) != (decoder != kDataMatrixEmpty)) {
    state.SkipWithError(status == 0 ? "an empty frame decoded" : "the frame did not decode");
  }
}
BENCHMARK(BM_DecodeCallAlone)->Arg(kBarcode)->Arg(kQr)->Arg(kDataMatrix)->Arg(kDataMatrixEmpty)->Unit(benchmark::kMillisecond);

// A stream that delivers nothing by itself: the benchmark hands the frames in.
struct IdleStream : vantrel::CaptureStream {
  int32_t RunStream() override { return 0; }
  void StopStream() override {}
};

// One frame through HandleFrame with every decoder off: the copy into the next
// slot, the leases, the settings copy and the hand-off to the window.
void BM_HandleFrameOutsideDecoders(benchmark::State& state) {
  Libraries();
  DibPtr picture = Picture(kBarcode);
  vantrel::FrameRing ring;
  ring.Allocate(640, 480);
  IdleStream stream;
  vantrel::CycleCallbacks callbacks;
  const vantrel::SettingsRecord settings = SettingsFor(kNone);
  callbacks.settings = [&] { return settings; };
  callbacks.repaintPreview = [] {};
  vantrel::ReadingCycle cycle(ring, callbacks);
  cycle.SetStream(&stream);
  cycle.StartReading();
  vantrel::FrameView view{DibGetBits(picture.get()), 640, 480, DibGetStride(picture.get()),
                          static_cast<size_t>(DibGetStride(picture.get())) * 480};
  for (auto _ : state) cycle.HandleFrame(view);
  cycle.StopReading();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * DibGetStride(picture.get()) * 480);
}
BENCHMARK(BM_HandleFrameOutsideDecoders)->Unit(benchmark::kMicrosecond);

// One frame with a code through HandleFrame and the window's part on the same
// thread: the result command, and with the history on (argument 1) the entry,
// the repeat filter and the append, as the window thread does them. The
// counter outside_us is the time per frame minus the decoders' own time.
void BM_HandleFrameWithResult(benchmark::State& state) {
  Libraries();
  const bool history = state.range(0) != 0;
  state.SetLabel(history ? "history on" : "history off");
  DibPtr picture = Picture(kBarcode);
  vantrel::FrameRing ring;
  ring.Allocate(640, 480);
  IdleStream stream;
  vantrel::CycleCallbacks callbacks;
  vantrel::SettingsRecord settings = SettingsFor(kBarcode);
  settings.RepeatSeconds = 2.0;
  callbacks.settings = [&] { return settings; };
  callbacks.repaintPreview = [] {};
  vantrel::ReadingCycle* cyclePtr = nullptr;
  vantrel::ReadingHistory store;
  vantrel::RepeatFilter repeats;
  double decoderMs = 0;
  int64_t results = 0;
  callbacks.postResultCommand = [&] {
    vantrel::ResultCommandOutcome outcome = cyclePtr->OnResultCommand();
    if (!outcome.shown) return;
    ++results;
    decoderMs += outcome.reading.milliseconds;
    if (!history) return;
    vantrel::HistoryEntry entry = vantrel::MakeHistoryEntry(
        outcome.reading, vantrel::EpochMilliseconds(outcome.readAt), std::string(), vantrel::ReadingOrigin::kCycle);
    if (repeats.Admit(entry, vantrel::RepeatFilter::Clock::now(), settings.RepeatSeconds))
      store.Append(std::move(entry));
  };
  vantrel::ReadingCycle cycle(ring, callbacks);
  cyclePtr = &cycle;
  cycle.SetStream(&stream);
  cycle.StartReading();
  vantrel::FrameView view{DibGetBits(picture.get()), 640, 480, DibGetStride(picture.get())};
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) cycle.HandleFrame(view);
  const double wallUs = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
  cycle.StopReading();
  if (results != state.iterations()) {
    state.SkipWithError("a frame did not decode");
    return;
  }
  state.counters["outside_us"] = (wallUs - decoderMs * 1000.0) / static_cast<double>(state.iterations());
  state.counters["decoder_us"] = decoderMs * 1000.0 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_HandleFrameWithResult)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

// OvoQrcDecode on 640 x 480 24-bit frames, the whole frame as the area: a
// version-2 symbol, a version-10 symbol, four symbols, a frame without one and
// a dim grey symbol that only the robust reading finds, each with the robust
// reading off (the strict decoder alone) and on. The frames are lightly
// blurred and noisy, as from a camera. The peers' times on the same kind of
// frames: vantrel-bench --peers.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "symbol_render.h"
#include "vantrel/OvoQrc.h"

namespace {

using vantrel::test::DibPtr;

enum Frame { kVersion2, kVersion10, kFourSymbols, kNoSymbol, kDim, kFrames };
const char* const kFrameNames[kFrames] = {"version 2", "version 10", "four symbols", "no symbol", "dim"};
const int kSymbolsIn[kFrames] = {1, 1, 4, 0, 1};

// What the decoder reads of the frame: the dim symbol only with robust reading.
int ExpectedSymbols(int kind, bool robust) { return kind == kDim && !robust ? 0 : kSymbolsIn[kind]; }

void Paint(DibImage frame, int32_t version, const std::string& data, double module, double x, double y,
           double angle, uint8_t dark = 0, uint8_t light = 255) {
  vantrel::test::ModuleMatrix m;
  vantrel::test::ZintModules({"-b", "QRCODE", "--vers=" + std::to_string(version), "--secure=2"}, data, &m);
  vantrel::test::RenderOptions o;
  o.moduleSize = module;
  o.quietZone = 4;
  o.centreX = x;
  o.centreY = y;
  o.angleDeg = angle;
  o.dark = dark;
  o.light = light;
  vantrel::test::PaintSymbol(frame, m, o);
}

DibImage MakeFrame(int kind) {
  static DibPtr frames[kFrames];
  if (frames[kind]) return frames[kind].get();
  DibPtr f(DibCreate(640, 480, 3, 4));
  // A shaded background, brighter to the right.
  uint8_t* bits = DibGetBits(f.get());
  for (int32_t y = 0; y < 480; ++y)
    for (int32_t x = 0; x < 640 * 3; ++x) bits[y * DibGetStride(f.get()) + x] = static_cast<uint8_t>(190 + x / 3 / 12);
  switch (kind) {
    case kVersion2: Paint(f.get(), 2, "https://vantrel.example/2", 4, 320.3, 240.2, 0); break;
    case kVersion10:
      Paint(f.get(), 10, "VANTREL READING STATION 0123456789 QR VERSION TEN WITH SOME DATA IN IT", 3, 320.3,
            240.2, 0);
      break;
    case kFourSymbols:
      Paint(f.get(), 2, "FIRST", 3, 160.3, 120.2, 0);
      Paint(f.get(), 3, "SECOND SYMBOL", 3, 480.2, 120.3, 0);
      Paint(f.get(), 4, "THIRD SYMBOL 345", 3, 160.2, 360.3, 0);
      Paint(f.get(), 5, "FOURTH SYMBOL 6789", 3, 480.3, 360.2, 0);
      break;
    case kDim: Paint(f.get(), 3, "GREY ON GREY", 4, 320.3, 240.2, 8, 150, 230); break;
    default: break;
  }
  vantrel::test::GaussianBlur(f.get(), 0.6);
  vantrel::test::AddNoise(f.get(), 4, 7);
  frames[kind] = std::move(f);
  return frames[kind].get();
}

void BM_OvoQrcDecode(benchmark::State& state) {
  static const bool started = [] {
    if (OvoQrcInitialize() != 0) return false;
    OvoQrcSetParameterFile(nullptr);  // a benchmark leaves nothing behind
    return true;
  }();
  const int kind = static_cast<int>(state.range(0));
  const bool robust = state.range(1) != 0;
  DibImage frame = MakeFrame(kind);
  const int32_t area[4] = {0, 0, 639, 479};
  for (auto _ : state) {
    OvoQrcSetImage(frame);
    OvoQrcSetArea(area);
    OvoQrcSetColor(0);
    OvoQrcSetThreshold(128, 1);
    OvoQrcSetRobust(robust ? 1 : 0);
    int32_t count = 0;
    const int32_t status = OvoQrcDecode(&count);
    if (!started || count != ExpectedSymbols(kind, robust) || (status == 0) != (count > 0)) {
      state.SkipWithError("not the expected number of symbols");
      break;
    }
    uint8_t data[256];
    int32_t length = sizeof data;
    if (count > 0) OvoQrcGetData(0, &length, data);
    benchmark::DoNotOptimize(data);
  }
  state.SetLabel(std::string(kFrameNames[kind]) + (robust ? ", robust" : ""));
}
BENCHMARK(BM_OvoQrcDecode)
    ->ArgsProduct({benchmark::CreateDenseRange(0, kFrames - 1, 1), {0, 1}})
    ->ArgNames({"frame", "robust"})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

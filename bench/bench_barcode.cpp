// OvoBcdDecode on 640 x 480 24-bit frames: a symbol through the range's centre
// with the station's default scan (level 1, 90 degrees), frames without a
// symbol searched completely (level 4, 10 degrees), each with AutoBin off and on.
// The peers' times on the same kind of frames: vantrel-bench --peers.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "symbol_render.h"
#include "vantrel/OvoBcd.h"

namespace {

using vantrel::test::DibPtr;

struct BenchSymbol {
  const char* name;
  std::vector<std::string> zint;
  std::string data;
};

// The station's six symbologies, texts within the default length bounds.
const BenchSymbol kSymbols[] = {
    {"JAN-13", {"-b", "EANX"}, "490123456789"}, {"JAN-8", {"-b", "EANX"}, "4901234"},
    {"ITF", {"-b", "3"}, "12345678"},            {"CODE39", {"-b", "CODE39"}, "AB12"},
    {"CODE128", {"-b", "CODE128"}, "Ab12"},      {"NW-7", {"-b", "CODABAR"}, "A1234B"},
};
constexpr int kSymbolCount = sizeof kSymbols / sizeof kSymbols[0];

// Defaults of the station's settings, the robust reading on; the check fields
// are never set.
const OvoBcdParams kParams = {1, 1, 1, 4, 32, 0, 1, 4, 32, 0, 1, 4, 32, 0, 1, 4, 32, 1};
const OvoBcdRange kRange = {79, 59, 559, 419};

// A symbol centred in the frame at 2-pixel modules, slightly blurred.
DibImage SymbolFrame(int index) {
  static DibPtr frames[kSymbolCount];
  if (!frames[index]) {
    vantrel::test::ModuleMatrix m;
    vantrel::test::ZintModules(kSymbols[index].zint, kSymbols[index].data, &m);
    vantrel::test::RenderOptions o;
    o.moduleSize = 2;
    const double span = (m.width + 2.0 * o.quietZone) * o.moduleSize;
    o.centreX = static_cast<int>(320 - span / 2) + span / 2;
    o.centreY = 240;
    frames[index] = vantrel::test::RenderSymbol(m, o);
    vantrel::test::GaussianBlur(frames[index].get(), 0.7);
  }
  return frames[index].get();
}

// Frames without any symbol: a blank page, a shaded and slightly noisy wall
// (what a camera sees with nothing in front of it), and a page of random
// stripes (text, edges, a fence).
enum EmptyKind { kBlank, kShadedWall, kStripes, kEmptyKinds };
const char* const kEmptyNames[] = {"blank", "shaded wall", "stripes"};

DibImage EmptyFrame(int kind) {
  static DibPtr frames[kEmptyKinds];
  if (!frames[kind]) {
    DibPtr p(DibCreate(640, 480, 3, 4));
    uint8_t* bits = DibGetBits(p.get());
    const int32_t stride = DibGetStride(p.get());
    std::mt19937 rng(42);
    std::vector<uint8_t> stripe(640);
    for (int32_t x = 0; x < 640;) {
      const int32_t w = 1 + static_cast<int32_t>(rng() % 9);
      const uint8_t v = rng() % 2 ? 30 : 230;
      for (int32_t i = x; i < std::min(640, x + w); ++i) stripe[i] = v;
      x += w;
    }
    for (int32_t y = 0; y < 480; ++y)
      for (int32_t x = 0; x < 640; ++x) {
        uint8_t v = 255;
        if (kind == kShadedWall) v = static_cast<uint8_t>(150 + x / 16 - y / 12);
        if (kind == kStripes) v = stripe[x];
        for (int c = 0; c < 3; ++c) bits[y * stride + x * 3 + c] = v;
      }
    if (kind == kShadedWall) vantrel::test::AddNoise(p.get(), 2.0, 7);
    frames[kind] = std::move(p);
  }
  return frames[kind].get();
}

void BM_OvoBcdSymbolAtCentre(benchmark::State& state) {
  const int index = static_cast<int>(state.range(0));
  const bool binarize = state.range(1) != 0;
  DibImage frame = SymbolFrame(index);
  int32_t type = -1, length = 0, pos[4];
  char text[OVOBCD_TEXT_BYTES];
  for (auto _ : state) {
    const int32_t st = OvoBcdDecode(frame, &kParams, &kRange, binarize, 1, 90.0, pos, &type, &length, text);
    if (st != 0) {
      state.SkipWithError("symbol not read");
      break;
    }
    benchmark::DoNotOptimize(text);
  }
  state.SetLabel(std::string(kSymbols[index].name) + (binarize ? ", AutoBin on" : ", AutoBin off"));
}
BENCHMARK(BM_OvoBcdSymbolAtCentre)
    ->ArgsProduct({{0, 1, 2, 3, 4, 5}, {0, 1}})
    ->ArgNames({"symbol", "autobin"})
    ->Unit(benchmark::kMicrosecond);

void BM_OvoBcdWholeSearch(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const bool binarize = state.range(1) != 0;
  DibImage frame = EmptyFrame(kind);
  int32_t type = -1;
  for (auto _ : state) {
    const int32_t st = OvoBcdDecode(frame, &kParams, &kRange, binarize, 4, 10.0, nullptr, &type, nullptr, nullptr);
    if (st != -4) {
      state.SkipWithError("read a symbol in a frame without one: not the whole search");
      break;
    }
  }
  state.SetLabel(std::string(kEmptyNames[kind]) + (binarize ? ", AutoBin on" : ", AutoBin off") +
                 ", 1615 lines");
}
BENCHMARK(BM_OvoBcdWholeSearch)
    ->ArgsProduct({{kBlank, kShadedWall, kStripes}, {0, 1}})
    ->ArgNames({"frame", "autobin"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

// OvoBcdDecode on 640 x 480 24-bit frames: a symbol through the range's centre
// with the station's default scan (level 1, 90 degrees), frames without a
// symbol searched completely (level 4, 10 degrees), each with AutoBin off and on.
//
// With VANTREL_BENCH_ZXING and/or VANTREL_BENCH_ZBAR defined (and the library
// linked), the same frames also go through zxing-cpp and ZBar, restricted to
// the station's six symbologies, for comparison.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "symbol_render.h"
#include "vantrel/OvoBcd.h"

// ZBar's C++ classes must come before zxing-cpp's error macros.
#if defined(VANTREL_BENCH_ZBAR) && !__has_include(<zbar.h>)
#undef VANTREL_BENCH_ZBAR
#endif
#if defined(VANTREL_BENCH_ZXING) && !__has_include(<ZXing/ReadBarcode.h>)
#undef VANTREL_BENCH_ZXING
#endif
#ifdef VANTREL_BENCH_ZBAR
#include <zbar.h>
#endif
#ifdef VANTREL_BENCH_ZXING
#include <ZXing/ReadBarcode.h>
#endif

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

#ifdef VANTREL_BENCH_ZXING
ZXing::DecodeHints PeerHints() {
  using F = ZXing::BarcodeFormat;
  ZXing::DecodeHints h;
  h.setFormats(F::EAN8 | F::EAN13 | F::ITF | F::Code39 | F::Code128 | F::Codabar);
  return h;
}

void ZXingRead(benchmark::State& state, DibImage frame, bool expectSymbol) {
  const ZXing::ImageView view(DibGetBits(frame), DibGetWidth(frame), DibGetHeight(frame),
                              ZXing::ImageFormat::BGR, DibGetStride(frame));
  const ZXing::DecodeHints hints = PeerHints();
  for (auto _ : state) {
    const ZXing::Result r = ZXing::ReadBarcode(view, hints);
    if (r.isValid() != expectSymbol) {
      state.SkipWithError(expectSymbol ? "symbol not read" : "read a symbol in a frame without one");
      break;
    }
    benchmark::DoNotOptimize(r);
  }
}

void BM_ZXingSymbolAtCentre(benchmark::State& state) {
  const int index = static_cast<int>(state.range(0));
  ZXingRead(state, SymbolFrame(index), true);
  state.SetLabel(kSymbols[index].name);
}
BENCHMARK(BM_ZXingSymbolAtCentre)->DenseRange(0, kSymbolCount - 1)->ArgName("symbol")->Unit(benchmark::kMicrosecond);

void BM_ZXingNoSymbol(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  ZXingRead(state, EmptyFrame(kind), false);
  state.SetLabel(kEmptyNames[kind]);
}
BENCHMARK(BM_ZXingNoSymbol)->DenseRange(0, kEmptyKinds - 1)->ArgName("frame")->Unit(benchmark::kMillisecond);
#endif

#ifdef VANTREL_BENCH_ZBAR
using namespace zbar;  // its C interface lives there in C++

// ZBar takes grey pictures: the conversion is part of every read, as it is of ours.
void ZBarRead(benchmark::State& state, DibImage frame, bool expectSymbol) {
  zbar_image_scanner_t* scanner = zbar_image_scanner_create();
  zbar_image_scanner_set_config(scanner, ZBAR_NONE, ZBAR_CFG_ENABLE, 0);
  for (zbar_symbol_type_t t : {ZBAR_EAN8, ZBAR_EAN13, ZBAR_I25, ZBAR_CODE39, ZBAR_CODE128, ZBAR_CODABAR})
    zbar_image_scanner_set_config(scanner, t, ZBAR_CFG_ENABLE, 1);
  const int32_t w = DibGetWidth(frame), h = DibGetHeight(frame), stride = DibGetStride(frame);
  const uint8_t* bits = DibGetBits(frame);
  std::vector<uint8_t> grey(static_cast<size_t>(w) * h);
  zbar_image_t* image = zbar_image_create();
  zbar_image_set_format(image, zbar_fourcc('Y', '8', '0', '0'));
  zbar_image_set_size(image, w, h);
  for (auto _ : state) {
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const uint8_t* p = bits + y * stride + x * 3;
        grey[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>((299 * p[2] + 587 * p[1] + 114 * p[0] + 500) / 1000);
      }
    zbar_image_set_data(image, grey.data(), grey.size(), nullptr);
    const int n = zbar_scan_image(scanner, image);
    if ((n > 0) != expectSymbol) {
      state.SkipWithError(expectSymbol ? "symbol not read" : "read a symbol in a frame without one");
      break;
    }
  }
  zbar_image_destroy(image);
  zbar_image_scanner_destroy(scanner);
}

void BM_ZBarSymbolAtCentre(benchmark::State& state) {
  const int index = static_cast<int>(state.range(0));
  ZBarRead(state, SymbolFrame(index), true);
  state.SetLabel(kSymbols[index].name);
}
BENCHMARK(BM_ZBarSymbolAtCentre)->DenseRange(0, kSymbolCount - 1)->ArgName("symbol")->Unit(benchmark::kMicrosecond);

void BM_ZBarNoSymbol(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  ZBarRead(state, EmptyFrame(kind), false);
  state.SetLabel(kEmptyNames[kind]);
}
BENCHMARK(BM_ZBarNoSymbol)->DenseRange(0, kEmptyKinds - 1)->ArgName("frame")->Unit(benchmark::kMillisecond);
#endif

}  // namespace

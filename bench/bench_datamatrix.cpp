// Data Matrix reader on camera-sized frames, and the unsharp mask against its
// plain per-line form (which it must match byte for byte).
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "unsharp_reference.h"
#include "symbol_render.h"
#include "vantrel/OvoDmx.h"

namespace {

using vantrel::test::DibPtr;
using vantrel::test::ModuleMatrix;
using vantrel::test::RenderOptions;

struct Reader {
  Reader() { OvoDmxInitialize(); }
  CDataMatCtrl* get() const { return OvoDmxGetReader(); }
};
CDataMatCtrl* TheReader() {
  static Reader r;
  return r.get();
}

DibPtr SymbolFrame(double angle, std::vector<std::string> options = {"--vers=7"}, double module = 5,
                   const char* data = "VANTREL-0042-DM", int32_t width = 640, int32_t height = 480) {
  ModuleMatrix m;
  options.insert(options.begin(), {"-b", "DATAMATRIX"});
  vantrel::test::ZintModules(options, data, &m);
  RenderOptions o;
  o.moduleSize = module;
  o.angleDeg = angle;
  DibPtr pic = vantrel::test::RenderSymbol(m, o, width, height, 3);
  vantrel::test::GaussianBlur(pic.get(), 0.7);
  vantrel::test::AddNoise(pic.get(), 3.0, 5);
  return pic;
}

DibPtr TexturedFrame(int32_t bpp, int32_t width = 640, int32_t height = 480) {
  DibPtr pic(DibCreate(width, height, bpp, 4));
  vantrel::test::FillGrey(pic.get(), 128);
  vantrel::test::AddNoise(pic.get(), 50.0, 9);
  vantrel::test::GaussianBlur(pic.get(), 1.5);
  return pic;
}

// Also counts the Data Matrix library's tries per frame: the finder's
// candidates decoded from their corners and any region search steps.
void Decode(benchmark::State& state, DibImage pic, int32_t maxTime) {
  CDataMatCtrl* reader = TheReader();
  const DibRect whole{0, 0, DibGetWidth(pic) - 1, DibGetHeight(pic) - 1};
  OvoDmxSetArea(&whole);
  OvoDmxSetMaxTime(maxTime);
  char text[4196];
  int32_t status = 0;
  const int64_t before = OvoDmxLibraryAttempts();
  for (auto _ : state) {
    status = OvoDmxDecode(reader, pic, text, sizeof text);
    benchmark::DoNotOptimize(status);
  }
  state.counters["library tries"] = benchmark::Counter(
      static_cast<double>(OvoDmxLibraryAttempts() - before), benchmark::Counter::kAvgIterations);
  state.SetLabel("status " + std::to_string(status));
}

void BM_DmxDecode22x22Upright(benchmark::State& state) {
  DibPtr pic = SymbolFrame(0);
  Decode(state, pic.get(), 1000);
}
BENCHMARK(BM_DmxDecode22x22Upright)->Unit(benchmark::kMillisecond);

void BM_DmxDecode22x22Rotated(benchmark::State& state) {
  DibPtr pic = SymbolFrame(37);
  Decode(state, pic.get(), 1000);
}
BENCHMARK(BM_DmxDecode22x22Rotated)->Unit(benchmark::kMillisecond);

void BM_DmxDecodeExtension24x64(benchmark::State& state) {
  DibPtr pic = SymbolFrame(12, {"--vers=45", "--dmre"}, 4, "VANTREL-0042-DM EXTENSION");
  Decode(state, pic.get(), 1000);
}
BENCHMARK(BM_DmxDecodeExtension24x64)->Unit(benchmark::kMillisecond);

void BM_DmxDecode144x144(benchmark::State& state) {
  DibPtr pic = SymbolFrame(0, {"--vers=24"}, 3, "VANTREL-0042-DM 144", 640, 480);
  Decode(state, pic.get(), 1000);
}
BENCHMARK(BM_DmxDecode144x144)->Unit(benchmark::kMillisecond);

// Frames without a symbol: the finder gives up after its scan, far inside
// the time limit.
void BM_DmxDecodeNoSymbolTextured(benchmark::State& state) {
  const int32_t w = static_cast<int32_t>(state.range(0)), h = static_cast<int32_t>(state.range(1));
  DibPtr pic = TexturedFrame(3, w, h);
  Decode(state, pic.get(), 1000);
}
BENCHMARK(BM_DmxDecodeNoSymbolTextured)->Args({640, 480})->Args({1280, 720})->Args({1920, 1080})
    ->Unit(benchmark::kMillisecond);

void BM_DmxDecodeNoSymbolFlat(benchmark::State& state) {
  DibPtr pic(DibCreate(640, 480, 3, 4));
  vantrel::test::FillGrey(pic.get(), 200);
  Decode(state, pic.get(), 1000);
}
BENCHMARK(BM_DmxDecodeNoSymbolFlat)->Unit(benchmark::kMillisecond);

// Arguments: radius times 10, bytes per pixel.
void Unsharp(benchmark::State& state, bool reference) {
  const double radius = state.range(0) / 10.0;
  const int32_t bpp = static_cast<int32_t>(state.range(1));
  CDataMatCtrl* reader = TheReader();
  const DibRect whole{0, 0, 639, 479};
  OvoDmxSetArea(&whole);
  OvoDmxSetRadius(radius);
  OvoDmxSetAmount(2.0);
  OvoDmxSetThreshold(0);
  DibPtr src = TexturedFrame(bpp);
  DibPtr dst(DibCreate(640, 480, bpp, 4));
  int32_t status = 0;
  for (auto _ : state) {
    status = reference ? vantrel::test::ReferenceUnsharp(src.get(), dst.get(), radius, 2.0, 0, whole)
                       : OvoDmxUnsharp(reader, src.get(), dst.get());
    benchmark::DoNotOptimize(status);
  }
  // The comparison the figures rest on: both give the same bytes.
  DibPtr check(DibCreate(640, 480, bpp, 4));
  if (reference) {
    OvoDmxUnsharp(reader, src.get(), check.get());
  } else {
    vantrel::test::ReferenceUnsharp(src.get(), check.get(), radius, 2.0, 0, whole);
  }
  const bool same = std::memcmp(DibGetBits(check.get()), DibGetBits(dst.get()),
                                static_cast<size_t>(DibGetStride(dst.get())) * 480) == 0;
  state.SetLabel(std::string(same ? "same bytes" : "BYTES DIFFER") + ", status " + std::to_string(status));
  state.SetBytesProcessed(state.iterations() * int64_t{640} * 480 * bpp);
}

void BM_DmxUnsharpFast(benchmark::State& state) { Unsharp(state, false); }
void BM_DmxUnsharpReference(benchmark::State& state) { Unsharp(state, true); }

void UnsharpArgs(benchmark::internal::Benchmark* b) {
  for (int64_t bpp : {3, 1})
    for (int64_t r10 : {1, 70, 1200}) b->Args({r10, bpp});
  b->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_DmxUnsharpFast)->Apply(UnsharpArgs);
BENCHMARK(BM_DmxUnsharpReference)->Apply(UnsharpArgs);

}  // namespace

// Fuzz target: the QR decoder on pictures made from the input. Even first
// bytes make a picture of its own (raw pixels or runs of dark and light, which
// breed finder-like structures); odd ones take a rendered symbol and paint the
// input's rectangles over it. The robust reading is on unless the input turns
// it off. Every call must return a status, never crash, and results must stay
// within their records.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "symbol_render.h"
#include "vantrel/OvoQrc.h"

namespace {

std::vector<vantrel::test::DibPtr>& Bases() {
  static std::vector<vantrel::test::DibPtr> bases;
  return bases;
}

void MakeBases() {
  const struct {
    const char* version;
    const char* data;
    double module, angle;
    int32_t bytesPerPixel;
  } symbols[] = {{"--vers=1", "FUZZ 1", 3, 0, 1}, {"--vers=3", "fuzzing the grid", 2, 0, 3},
                 {"--vers=7", "SEVEN 0123456789", 2, 90, 1}, {"--vers=2", "TURNED", 3, 30, 1}};
  for (const auto& s : symbols) {
    vantrel::test::ModuleMatrix m;
    if (!vantrel::test::ZintModules({"-b", "QRCODE", s.version}, s.data, &m)) continue;
    vantrel::test::RenderOptions o;
    o.moduleSize = s.module;
    o.angleDeg = s.angle;
    o.quietZone = 4;
    const int32_t side = static_cast<int32_t>((m.width + 8) * s.module * 1.5) + 4;
    o.centreX = side / 2.0 + 0.3;  // off the half-pixel grid, where small modules read
    o.centreY = side / 2.0 + 0.2;
    Bases().push_back(vantrel::test::RenderSymbol(m, o, side, side, s.bytesPerPixel));
  }
}

void Decode(DibImage picture, const uint8_t* p, size_t n) {
  auto at = [&](size_t i) -> int32_t { return i < n ? p[i] : 0; };
  OvoQrcSetImage(picture);
  const int32_t w = DibGetWidth(picture), h = DibGetHeight(picture);
  int32_t area[4] = {0, 0, w - 1, h - 1};
  if (at(1) & 0x80) {  // an area partly outside the picture, or inside out
    area[0] = at(2) - 40;
    area[1] = at(3) - 40;
    area[2] = w - at(4) + 40;
    area[3] = h - at(5) + 40;
  }
  OvoQrcSetArea(area);
  OvoQrcSetThreshold((at(1) & 0x40) ? at(6) : 128, (at(1) & 0x20) ? 0 : 1);
  OvoQrcSetColor(at(7) % 4);
  OvoQrcSetRobust((at(1) & 0x10) ? 0 : 1);
  int32_t count = -1;
  const int32_t status = OvoQrcDecode(&count);
  if ((status == 0) != (count > 0)) std::abort();
  for (int32_t i = -1; i <= count; ++i) {
    uint8_t buf[9000];
    int32_t len = static_cast<int32_t>(sizeof buf);
    const int32_t s = OvoQrcGetData(i, &len, buf);
    const bool valid = i >= 0 && i < count;
    if ((s == 0) != valid) std::abort();
    if (valid && (len < 1 || len > 8880 || buf[len] != 0)) std::abort();
    int32_t version = 0, level = -1;
    if (valid && (OvoQrcGetVersion(i, &version) != 0 || version < 1 || version > 40)) std::abort();
    if (valid && (OvoQrcGetLevel(i, &level) != 0 || level < 0 || level > 3)) std::abort();
    int32_t modifier = 0, encoding = -1, mirrored = -1;
    if (valid && (OvoQrcGetSymbolInfo(i, &modifier, &encoding, &mirrored) != 0 || modifier < 1 || modifier > 6 ||
                  encoding < 0 || encoding > 2 || (mirrored != 0 && mirrored != 1)))
      std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The parameter file is read here and never written.
  if (OvoQrcInitialize() != 0) std::abort();
  OvoQrcSetParameterFile(nullptr);
  MakeBases();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  if ((data[0] & 1) == 0 || Bases().empty()) {
    // Runs repeat with the picture's width and can breed 128 finders and
    // thousands of candidates, which take long: those pictures stay small.
    const int32_t span = (data[4] & 2) ? 90 : 160;
    const int32_t w = 21 + data[2] % span, h = 21 + data[3] % span;
    const int32_t bpp = (data[4] & 1) ? 3 : 1;
    vantrel::test::DibPtr pic(DibCreate(w, h, bpp, 4));
    if (!pic) return 0;
    uint8_t* bits = DibGetBits(pic.get());
    const int32_t stride = DibGetStride(pic.get());
    const uint8_t* src = data + 8;
    const size_t n = size - 8;
    size_t k = 0;
    bool dark = false;
    int32_t run = 0;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w * bpp; ++x) {
        uint8_t v = 255;
        if (n == 0) {
          v = 255;
        } else if (data[4] & 2) {  // runs
          if (run == 0) {
            const uint8_t b = src[k++ % n];
            run = (b & 15) + 1;
            dark = (b & 16) != 0;
          }
          --run;
          v = dark ? 0 : 255;
        } else {
          v = src[k++ % n];
        }
        bits[y * stride + x] = v;
      }
    Decode(pic.get(), data, size);
  } else {
    const vantrel::test::DibPtr& base = Bases()[data[2] % Bases().size()];
    vantrel::test::DibPtr pic(DibDuplicate(base.get()));
    if (!pic) return 0;
    const int32_t w = DibGetWidth(pic.get()), h = DibGetHeight(pic.get());
    const int32_t bpp = DibGetBitCount(pic.get()) / 8, stride = DibGetStride(pic.get());
    uint8_t* bits = DibGetBits(pic.get());
    for (size_t i = 8; i + 4 <= size; i += 4) {
      const int32_t x0 = data[i] * w / 256, y0 = data[i + 1] * h / 256;
      const int32_t side = 1 + data[i + 2] % 9;
      const uint8_t v = data[i + 3];
      for (int32_t y = y0; y < std::min(h, y0 + side); ++y)
        for (int32_t x = x0; x < std::min(w, x0 + side); ++x)
          for (int32_t c = 0; c < bpp; ++c) bits[y * stride + x * bpp + c] = v;
    }
    Decode(pic.get(), data, size);
  }
  return 0;
}

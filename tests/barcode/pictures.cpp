#include "pictures.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace vantrel::bcdtest {

const std::vector<SymbolSpec>& StationSymbols() {
  static const std::vector<SymbolSpec> symbols = {
      {"Jan13", {"-b", "EANX"}, "490123456789", 1, "4901234567894"},
      {"Jan8", {"-b", "EANX"}, "4901234", 0, "49012347"},
      {"Itf", {"-b", "3"}, "12345678", 2, "12345678"},
      {"Code39", {"-b", "CODE39"}, "AB12", 3, "AB12"},
      {"Code128", {"-b", "CODE128"}, "Ab12", 4, "Ab12"},
      {"Nw7", {"-b", "CODABAR"}, "A1234B", 5, "A1234B"},
  };
  return symbols;
}

test::ModuleMatrix Modules(const SymbolSpec& s) {
  static std::map<std::string, test::ModuleMatrix> cache;
  std::string key;
  for (const auto& o : s.zint) key += o + "\x1f";
  key += s.data;
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  test::ModuleMatrix m;
  test::ZintModules(s.zint, s.data, &m);
  cache[key] = m;
  return m;
}

Frame StationFrame(const SymbolSpec& s, double module, double angleDeg, const Effects& fx,
                   int32_t width, int32_t height, int32_t bytesPerPixel, double centreX,
                   double centreY) {
  const test::ModuleMatrix m = Modules(s);
  test::RenderOptions o;
  o.moduleSize = module;
  o.angleDeg = angleDeg;
  if (fx.dim) {
    o.dark = 60;
    o.light = 170;
    o.background = 170;
  }
  // Put the module edges on pixel edges: the quiet-zone box's corner on a whole pixel.
  const double along = (m.width + 2.0 * o.quietZone) * module;
  const double across = (o.barHeight + 2.0 * o.quietZone) * module;
  const bool vertical = std::fmod(std::fabs(angleDeg), 180.0) == 90.0;
  const double spanX = vertical ? across : along, spanY = vertical ? along : across;
  const double cx = centreX < 0 ? width / 2.0 : centreX, cy = centreY < 0 ? height / 2.0 : centreY;
  o.centreX = std::round(cx - spanX / 2) + spanX / 2;
  o.centreY = std::round(cy - spanY / 2) + spanY / 2;
  Frame f;
  f.picture = test::RenderSymbol(m, o, width, height, bytesPerPixel);
  const double centre = vertical ? o.centreY : o.centreX;
  f.first = centre - m.width * module / 2;
  f.last = centre + m.width * module / 2;
  if (fx.blur > 0) test::GaussianBlur(f.picture.get(), fx.blur);
  if (fx.noise > 0) test::AddNoise(f.picture.get(), fx.noise, 1234);
  return f;
}

test::DibPtr GainFrame(const SymbolSpec& s, double module, double gain, double blur) {
  const test::ModuleMatrix m = Modules(s);
  constexpr int32_t kWidth = 640, kHeight = 480;
  test::DibPtr pic(DibCreate(kWidth, kHeight, 3, 4));
  test::FillGrey(pic.get(), 235);
  const double left = std::round(kWidth / 2.0 - m.width * module / 2.0);
  // How much of pixel column x the bars, widened by half the gain on either
  // side, cover.
  std::vector<double> ink(kWidth, 0.0);
  for (int32_t a = 0; a < m.width;) {
    if (!m.At(a, 0)) {
      ++a;
      continue;
    }
    int32_t b = a;
    while (b < m.width && m.At(b, 0)) ++b;
    const double x0 = left + a * module - gain / 2, x1 = left + b * module + gain / 2;
    for (int32_t x = std::max(0, static_cast<int32_t>(std::floor(x0))); x < std::min(kWidth, static_cast<int32_t>(std::ceil(x1))); ++x)
      ink[x] += std::max(0.0, std::min<double>(x + 1, x1) - std::max<double>(x, x0));
    a = b;
  }
  const int32_t half = static_cast<int32_t>(30 * module);
  uint8_t* bits = DibGetBits(pic.get());
  const int32_t stride = DibGetStride(pic.get());
  for (int32_t y = kHeight / 2 - half; y < kHeight / 2 + half; ++y)
    for (int32_t x = 0; x < kWidth; ++x) {
      const auto v = static_cast<uint8_t>(std::lround(235 - 205 * std::min(1.0, ink[x])));
      for (int32_t c = 0; c < 3; ++c) bits[y * stride + x * 3 + c] = v;
    }
  if (blur > 0) test::GaussianBlur(pic.get(), blur);
  test::AddNoise(pic.get(), 2.0, 77);
  return pic;
}

}  // namespace vantrel::bcdtest

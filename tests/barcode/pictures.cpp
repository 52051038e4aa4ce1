#include "pictures.h"

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

}  // namespace vantrel::bcdtest

// Pictures of real symbols for the decoder tests. zint (a real encoder) gives
// the module pattern; the renderer lays it into a picture at any module size,
// angle and position, with the blur, noise, contrast and perspective of a camera.
#ifndef VANTREL_TESTS_SYMBOL_RENDER_H
#define VANTREL_TESTS_SYMBOL_RENDER_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vantrel/dib.h"

namespace vantrel::test {

using vantrel::DibPtr;

// Module pattern, row-major, 1 = dark. A 1D symbol has one row.
struct ModuleMatrix {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> dark;
  bool At(int32_t x, int32_t y) const { return dark[static_cast<size_t>(y) * width + x] != 0; }
};

// Runs `zint --dump` with the given options (e.g. {"-b", "QRCODE", "--vers=3"}) on
// the data (any bytes). False with a message when zint refuses.
bool ZintModules(const std::vector<std::string>& options, const std::string& data, ModuleMatrix* out,
                 std::string* error = nullptr);

struct RenderOptions {
  double moduleSize = 2.0;   // pixels per module
  double angleDeg = 0.0;     // counter-clockwise as seen on screen
  double centreX = -1;       // symbol centre in the picture; -1 = picture centre
  double centreY = -1;
  int32_t quietZone = 10;    // light modules around the symbol
  double barHeight = 60;     // modules; 1D symbols only
  uint8_t dark = 0;
  uint8_t light = 255;
  uint8_t background = 255;  // outside the quiet zone
  double perspective = 0.0;  // keystone: the top edge is (1 - p) times the bottom edge
  bool invert = false;       // light modules on dark
};

// A new picture (bytesPerPixel 1 or 3) of the given size with one symbol.
DibPtr RenderSymbol(const ModuleMatrix& m, const RenderOptions& o, int32_t width = 640,
                    int32_t height = 480, int32_t bytesPerPixel = 3);
// Paints the symbol and its quiet zone into an existing 8- or 24-bit picture.
void PaintSymbol(DibImage picture, const ModuleMatrix& m, const RenderOptions& o);
// Fills the picture with one grey level.
void FillGrey(DibImage picture, uint8_t level);
void GaussianBlur(DibImage picture, double sigma);
void AddNoise(DibImage picture, double sigma, uint32_t seed = 1);

}  // namespace vantrel::test

#endif

// Frames with zint-made symbols for the picture tests and the benchmark.
#ifndef VANTREL_TESTS_BARCODE_PICTURES_H
#define VANTREL_TESTS_BARCODE_PICTURES_H

#include <cstdint>
#include <string>
#include <vector>

#include "symbol_render.h"

namespace vantrel::bcdtest {

struct SymbolSpec {
  const char* name;
  std::vector<std::string> zint;  // zint options
  std::string data;               // handed to zint
  int32_t type;
  std::string text;               // what the reader reports
};

// One symbol of each symbology, with texts inside the default length bounds
// (4 to 32; NW-7 counts its start and stop letters) and short enough to fit
// the default processing range at 4-pixel modules.
const std::vector<SymbolSpec>& StationSymbols();

struct Effects {
  double blur = 0;      // Gaussian sigma
  bool dim = false;     // dark 60 on light 170
  double noise = 0;     // Gaussian sigma
};

struct Frame {
  test::DibPtr picture;
  // Where the symbol's bars begin and end along its reading direction, in
  // picture pixels (x for horizontal symbols, y for vertical ones).
  double first = 0;
  double last = 0;
};

// The symbol centred in a width x height frame, turned counter-clockwise by a
// multiple of 90 degrees, with its module edges on pixel edges.
Frame StationFrame(const SymbolSpec& s, double module, double angleDeg, const Effects& fx = {},
                   int32_t width = 640, int32_t height = 480, int32_t bytesPerPixel = 3,
                   double centreX = -1, double centreY = -1);

test::ModuleMatrix Modules(const SymbolSpec& s);

// A horizontal symbol centred in a 640 x 480 frame as it prints and photographs:
// every bar `gain` pixels wider than its modules (narrower when negative, the
// spaces between taking the difference), then blurred with a Gaussian of `blur`
// pixels and given a little sensor noise. Modules of `module` pixels; quiet
// zones of 10 modules; bars 60 modules tall.
test::DibPtr GainFrame(const SymbolSpec& s, double module, double gain, double blur);

}  // namespace vantrel::bcdtest

#endif

// Run lists for feeding the symbology decoders directly: built from element
// widths or from zint's module pattern, in buffers of exactly the size the
// decoders are promised (k + 3 spaces, k + 2 bars), so that a read past them
// shows under AddressSanitizer.
#ifndef VANTREL_TESTS_BARCODE_RUN_LISTS_H
#define VANTREL_TESTS_BARCODE_RUN_LISTS_H

#include <cstdint>
#include <string>
#include <vector>

#include "barcode/src/bcd_decoder.h"
#include "barcode/src/run_widths.h"
#include "symbol_render.h"

namespace vantrel::bcdtest {

// Widths along a line, light first: S[0], B[0], S[1], ... A list of even length
// ends dark.
using Widths = std::vector<float>;

struct RunLine {
  std::vector<float> S;
  std::vector<float> B;
  int32_t k = 0;
  int32_t n = 0;  // samples: the widths' sum, rounded
};

RunLine FromWidths(const Widths& w);

// Element widths of zint's pattern for the data, bar first (no quiet zones).
// Fails the current test when zint refuses.
Widths ZintElements(const std::vector<std::string>& options, const std::string& data);
// Element widths of a module row, bar first.
Widths ElementsOf(const test::ModuleMatrix& m);

// lead, elements scaled by `module`, trail.
Widths Line(const Widths& elements, float module = 1.0f, float lead = 12.0f, float trail = 12.0f);
Widths Reversed(Widths w);  // the line read from its other end
Widths Concat(const Widths& a, const Widths& b);  // b's leading light joins a's trailing light

// Every symbology on, length bounds 1 to 48, no optional checks.
OvoBcdParams AllOn();
OvoBcdParams Only(int32_t type);  // one symbology on, bounds as AllOn

using DecoderFn = int32_t (*)(bcd::BcdDecoder&, int32_t);

struct Read {
  int32_t accepted = 0;
  int32_t type = -1;
  std::string text;  // `length` characters, embedded NULs kept
  int32_t length = 0;
  float startPos = 0;
  float endPos = 0;
};

Read RunOne(DecoderFn fn, const Widths& w, const OvoBcdParams& params);
Read RunAll(const Widths& w, const OvoBcdParams& params);  // DecodeRuns, both directions
Read RunAllRobust(const Widths& w, const OvoBcdParams& params);  // DecodeRunsRobust, both directions

}  // namespace vantrel::bcdtest

#endif

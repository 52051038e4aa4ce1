// Grey samples along one scan line and the light and dark run widths they make.
#ifndef VANTREL_BARCODE_RUN_WIDTHS_H
#define VANTREL_BARCODE_RUN_WIDTHS_H

#include <cstdint>

#include "vantrel/OvoBcd.h"

namespace vantrel::bcd {

// Pixel rows of a picture as the sampler reads them: 1 byte per pixel is the grey
// value itself, 3 or 4 bytes are b, g, r (the fourth byte unread).
struct PixelRows {
  const uint8_t* bits = nullptr;
  int64_t stride = 0;
  int32_t bytesPerPixel = 0;
};

// Fills samples[0 .. n-1] with the grey values at the points and returns the
// threshold (darkest + lightest) / 2.
int32_t SampleLine(const PixelRows& rows, const OvoBcdPoint* points, int32_t n, uint8_t* samples);

// Both measures zero SpaceListSize(n) spaces and BarListSize(n) bars first and
// return k (see bcd_decoder.h).

// Samples at most T are dark: binarizes them in place (1 dark, 0 light) and
// counts whole-sample runs; the widths add up to n.
int32_t MeasureRunsBinarized(uint8_t* samples, int32_t n, int32_t threshold, float* spaces,
                             float* bars);

// Runs between interpolated threshold crossings; the widths add up to n - 1
// (positions count from the centre of the first sample).
int32_t MeasureRunsSubpixel(const uint8_t* samples, int32_t n, int32_t threshold, float* spaces,
                            float* bars);

}  // namespace vantrel::bcd

#endif

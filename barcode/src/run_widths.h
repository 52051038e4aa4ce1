// Grey samples along one scan line and the light and dark run widths they make.
#ifndef VANTREL_BARCODE_RUN_WIDTHS_H
#define VANTREL_BARCODE_RUN_WIDTHS_H

#include <cstdint>
#include <vector>

#include "scan_lines.h"
#include "vantrel/OvoBcd.h"

namespace vantrel::bcd {

// Pixel rows of a picture as the sampler reads them: 1 byte per pixel is the grey
// value itself, 3 or 4 bytes are b, g, r (the fourth byte unread). The rows may
// start at (originX, originY) of the picture rather than at its corner.
struct PixelRows {
  const uint8_t* bits = nullptr;
  int64_t stride = 0;
  int32_t bytesPerPixel = 0;
  int64_t originX = 0;
  int64_t originY = 0;
};

// Where the samples of a line come from: the picture's rows, or once the search
// is dense, grey planes of the range in two layouts, so that shallow lines read
// along the rows of one and steep lines along the rows of the other.
class LineSampler {
 public:
  explicit LineSampler(const PixelRows& picture) : shallow_(picture), steep_(picture) {}

  // Turns the range of a 3- or 4-byte picture grey once; samples are the same.
  // Throws std::bad_alloc when the planes do not fit.
  void UseGreyPlanes(const OvoBcdRange& range);
  bool UsesGreyPlanes() const { return !rows_.empty(); }

  // Fills samples[0 .. line.n - 1] and returns the threshold (darkest + lightest) / 2.
  int32_t Sample(const LineSpan& line, uint8_t* samples) const;

 private:
  PixelRows shallow_;
  PixelRows steep_;       // for steep lines: rows are columns when transposed_
  bool transposed_ = false;
  std::vector<uint8_t> rows_;
  std::vector<uint8_t> columns_;
};

// Fills samples[0 .. n-1] with the grey values at the points and returns the
// threshold (darkest + lightest) / 2.
int32_t SampleLine(const PixelRows& rows, const OvoBcdPoint* points, int32_t n, uint8_t* samples);
// The same for the pixels of a line, without listing them first.
int32_t SampleLine(const PixelRows& rows, const LineSpan& line, uint8_t* samples);

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

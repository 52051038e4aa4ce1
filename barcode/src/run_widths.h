// Grey samples along one scan line and the light and dark run widths they make.
#ifndef VANTREL_BARCODE_RUN_WIDTHS_H
#define VANTREL_BARCODE_RUN_WIDTHS_H

#include <cstdint>
#include <memory>
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
// is dense, a grey copy of the range in tiles of 8 x 8 pixels (64 bytes, one
// cache line), so that each pixel is turned grey once and a line at any angle
// meets few cache lines.
class LineSampler {
 public:
  explicit LineSampler(const PixelRows& picture) : picture_(picture) {}

  // Copies the range grey into the tiles; samples are the same. Throws
  // std::bad_alloc when they do not fit; does nothing for a range of 2^31
  // pixels or more, whose lines are then read from the picture.
  void UseGreyPlanes(const OvoBcdRange& range);
  bool UsesGreyPlanes() const { return tiles_ != nullptr; }
  // Room for lines of n pixels, so that sampling them allocates nothing.
  void Reserve(int32_t n);

  // Fills samples[0 .. line.n - 1] and returns the threshold (darkest + lightest) / 2;
  // the darkest and lightest sample in *lo and *hi (255 and 0 for a line without pixels).
  int32_t Sample(const LineSpan& line, uint8_t* samples, int32_t* lo, int32_t* hi) const;
  int32_t Sample(const LineSpan& line, uint8_t* samples) const;

 private:
  PixelRows picture_;
  std::unique_ptr<uint8_t[]> tileStore_;
  uint8_t* tiles_ = nullptr;           // in tileStore_, on a cache line
  int64_t x0_ = 0, y0_ = 0;           // the range's corner
  int32_t tileRowBytes_ = 0;            // bytes of one row of tiles
  mutable std::vector<int32_t> across_;  // scratch: the byte of each pixel of a line
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

// The runs MeasureRunsBinarized (binarize) or MeasureRunsSubpixel measure, the
// same widths, for the search over many lines: the samples stay as they are,
// and of the lists only the entries the decoders may read past the runs are
// zeroed (valid are k + 3 spaces and k + 2 bars; later entries keep what they
// held).
//
// With room for a line's crossings, where the processor allows, they are all
// found first and then placed eight at a time: fewer branches the processor
// cannot foresee on lines with many of them. The widths are the same.
struct Crossings {
  // Room for lines of up to n samples.
  void Reserve(int32_t n);
  std::vector<int32_t> at;  // the samples that start a run, in order
  std::vector<float> pos;   // their interpolated positions
};
int32_t MeasureRuns(const uint8_t* samples, int32_t n, int32_t threshold, bool binarize, float* spaces,
                    float* bars, Crossings* room = nullptr);

}  // namespace vantrel::bcd

#endif

// The two entry points: the search over scan lines, and the guide geometry.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "bcd_decoder.h"
#include "run_widths.h"
#include "scan_lines.h"
#include "vantrel/OvoBcd.h"

namespace vantrel::bcd {
namespace {

// The scan arguments shared by both calls; NaN angles are refused with the rest.
bool ScanArgumentsValid(int32_t scanLevels, double angleStep) {
  return scanLevels >= 1 && scanLevels <= OVOBCD_MAX_SCAN_LEVELS && angleStep >= 0.0 &&
         angleStep <= 180.0;
}

double EffectiveAngleStep(double angleStep) { return angleStep < 0.001 ? 180.0 : angleStep; }

// Pixel number along a line of n pixels (n >= 1) for a position in samples. A
// position just outside the line (n, or -1 from the reversed pass) names the
// line's last or first pixel.
int32_t PixelIndex(float pos, int32_t n) {
  if (!(pos >= 1.0f)) return 0;  // trunc of anything below 1, and NaN
  if (pos >= static_cast<float>(n - 1)) return n - 1;
  return static_cast<int32_t>(pos);
}

int32_t Decode(DibImage image, const OvoBcdParams& params, const OvoBcdRange* range, bool binarize,
               int32_t scanLevels, double angleStep, int32_t position[4], int32_t* type,
               int32_t* length, char* text) {
  const int32_t width = DibGetWidth(image);
  const int32_t height = DibGetHeight(image);
  const int32_t stride = DibGetStride(image);
  const uint8_t* bits = DibGetBits(image);
  int32_t bytesPerPixel = 0;
  switch (DibGetBitCount(image)) {
    case 8: bytesPerPixel = 1; break;
    case 24: bytesPerPixel = 3; break;
    case 32: bytesPerPixel = 4; break;
    default: return OVOBCD_NOT_FOUND;
  }
  if (!bits || width <= 0 || height <= 0 || int64_t{stride} < int64_t{width} * bytesPerPixel)
    return OVOBCD_NOT_FOUND;

  OvoBcdRange r{0, 0, width, height};
  if (range) {
    r = *range;
    if (r.x1 < r.x0) std::swap(r.x0, r.x1);
    if (r.y1 < r.y0) std::swap(r.y0, r.y1);
    r.x0 = std::max(r.x0, 0);
    r.y0 = std::max(r.y0, 0);
    r.x1 = std::min(r.x1, width);
    r.y1 = std::min(r.y1, height);
  }
  const int32_t maxLine = std::max(r.x1 - r.x0, r.y1 - r.y0);
  if (r.x1 <= r.x0 || r.y1 <= r.y0 || maxLine <= 0) return OVOBCD_NOT_FOUND;

  // Sized once for the longest line of the range and reused by every line.
  std::vector<uint8_t> samples(static_cast<size_t>(maxLine));
  std::vector<float> spaces(static_cast<size_t>(SpaceListSize(maxLine)));
  std::vector<float> bars(static_cast<size_t>(BarListSize(maxLine)));
  // Dense levels sample each pixel of the range several times: from the first
  // level whose lines alone would sample as many pixels as the range holds,
  // colour pixels are turned grey once.
  LineSampler sampler(PixelRows{bits, stride, bytesPerPixel});
  const int64_t area = (int64_t{r.x1} - r.x0) * (int64_t{r.y1} - r.y0);

  BcdDecoder dec(params);
  dec.spaces = spaces.data();
  dec.bars = bars.data();
  ScanLineGenerator gen;
  for (int32_t level = 0; level < scanLevels; ++level) {
    gen.Reset(r, level, angleStep);
    if (bytesPerPixel != 1 && !sampler.UsesGreyPlanes() && gen.LineCount() * maxLine >= area)
      sampler.UseGreyPlanes(r);
    LineSpan line;
    while (gen.Next(&line)) {
      const int32_t n = line.n;
      const int32_t threshold = sampler.Sample(line, samples.data());
      const int32_t k = binarize ? MeasureRunsBinarized(samples.data(), n, threshold, dec.spaces, dec.bars)
                                 : MeasureRunsSubpixel(samples.data(), n, threshold, dec.spaces, dec.bars);
      if (!DecodeRuns(dec, n, k)) continue;
      const OvoBcdPoint start = line.At(PixelIndex(dec.startPos, n));
      const OvoBcdPoint end = line.At(PixelIndex(dec.endPos, n));
      if (position) {
        position[0] = start.x;
        position[1] = start.y;
        position[2] = end.x;
        position[3] = end.y;
      }
      if (type) *type = dec.type;
      if (length) *length = dec.length;
      if (text) {
        const int32_t bytes = std::clamp(dec.length, 0, int32_t{OVOBCD_MAX_TEXT}) + 1;
        std::memcpy(text, dec.text, static_cast<size_t>(bytes));
        text[bytes - 1] = '\0';
      }
      return OVOBCD_OK;
    }
  }
  return OVOBCD_NOT_FOUND;
}

int32_t ScanLines(const OvoBcdRange& range, int32_t scanLevels, double angleStep, int32_t* count,
                  OvoBcdPoint* starts, OvoBcdPoint* ends) {
  const int64_t capacity = *count;
  int64_t j = 0;
  if (!starts && !ends) {
    // Only the number is wanted: count the lines without laying them.
    const int64_t perCentre = ScanLineGenerator::AnglesPerCentre(angleStep);
    for (int32_t level = 0; level < scanLevels && j < capacity; ++level)
      j = std::min(capacity, j + ScanLineGenerator::CentreCount(range, level) * perCentre);
  } else {
    ScanLineGenerator gen;
    for (int32_t level = 0; level < scanLevels && j < capacity; ++level) {
      gen.Reset(range, level, angleStep);
      OvoBcdPoint first, last;
      while (j < capacity && gen.NextEnds(&first, &last)) {
        if (starts) starts[j] = first;
        if (ends) ends[j] = last;
        ++j;
      }
    }
  }
  *count = static_cast<int32_t>(j);
  return OVOBCD_OK;
}

}  // namespace
}  // namespace vantrel::bcd

extern "C" int32_t OvoBcdDecode(DibImage image, const OvoBcdParams* params, const OvoBcdRange* range,
                                bool binarize, int32_t scanLevels, double angleStep,
                                int32_t position[4], int32_t* type, int32_t* length, char* text) {
  using namespace vantrel::bcd;
  if (!image) return OVOBCD_ERR_ARGUMENT;
  if (!params) return OVOBCD_ERR_PARAMS;
  if (!ScanArgumentsValid(scanLevels, angleStep)) return OVOBCD_ERR_SCAN;
  try {
    return Decode(image, *params, range, binarize, scanLevels, EffectiveAngleStep(angleStep),
                  position, type, length, text);
  } catch (...) {
    return OVOBCD_NOT_FOUND;
  }
}

extern "C" int32_t OvoBcdGetScanLines(const OvoBcdRange* range, int32_t scanLevels, double angleStep,
                                      int32_t* count, OvoBcdPoint* starts, OvoBcdPoint* ends) {
  using namespace vantrel::bcd;
  if (!range || !count) return OVOBCD_ERR_ARGUMENT;
  if (!ScanArgumentsValid(scanLevels, angleStep) || *count < 1) return OVOBCD_ERR_SCAN;
  try {
    return ScanLines(*range, scanLevels, EffectiveAngleStep(angleStep), count, starts, ends);
  } catch (...) {
    // Only the centres of a level take memory; without them no line is reported.
    return OVOBCD_NOT_FOUND;
  }
}

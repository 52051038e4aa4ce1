#include "run_widths.h"

#include <algorithm>

#include "bcd_decoder.h"

namespace vantrel::bcd {

namespace {

void ZeroRunLists(int32_t n, float* spaces, float* bars) {
  std::fill(spaces, spaces + SpaceListSize(n), 0.0f);
  std::fill(bars, bars + BarListSize(n), 0.0f);
}

}  // namespace

int32_t SampleLine(const PixelRows& rows, const OvoBcdPoint* points, int32_t n, uint8_t* samples) {
  int32_t lo = 255;
  int32_t hi = 0;
  if (rows.bytesPerPixel == 1) {
    for (int32_t i = 0; i < n; ++i) {
      const uint8_t v = rows.bits[points[i].y * rows.stride + points[i].x];
      samples[i] = v;
      lo = std::min<int32_t>(lo, v);
      hi = std::max<int32_t>(hi, v);
    }
  } else {
    const int64_t bpp = rows.bytesPerPixel;
    for (int32_t i = 0; i < n; ++i) {
      const uint8_t* p = rows.bits + points[i].y * rows.stride + points[i].x * bpp;
      // Luminance rounded to the nearest whole number.
      const int32_t v = (299 * p[2] + 587 * p[1] + 114 * p[0] + 500) / 1000;
      samples[i] = static_cast<uint8_t>(v);
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  }
  return (lo + hi) / 2;
}

int32_t MeasureRunsBinarized(uint8_t* samples, int32_t n, int32_t threshold, float* spaces,
                             float* bars) {
  ZeroRunLists(n, spaces, bars);
  for (int32_t i = 0; i < n; ++i) samples[i] = samples[i] <= threshold ? 1 : 0;
  int32_t k = 0;
  int32_t i = 0;
  // Whole runs at a time: the widths are counts, exact in single precision.
  while (i < n) {
    int32_t start = i;
    while (i < n && samples[i] == 0) ++i;
    spaces[k] += static_cast<float>(i - start);
    if (i == n) break;
    start = i;
    while (i < n && samples[i] == 1) ++i;
    bars[k] += static_cast<float>(i - start);
    if (i == n) break;
    ++k;
  }
  return k;
}

int32_t MeasureRunsSubpixel(const uint8_t* g, int32_t n, int32_t threshold, float* spaces,
                            float* bars) {
  ZeroRunLists(n, spaces, bars);
  if (n <= 0) return 0;
  int32_t k = 0;
  float prev = 0.0f;
  bool dark = g[0] <= threshold;
  for (int32_t i = 1; i < n; ++i) {
    const int32_t p = g[i - 1];
    const int32_t s = g[i];
    if (dark == (s <= threshold)) continue;
    // The crossing between the two samples, in double precision, kept as a float.
    const float e = static_cast<float>(static_cast<double>(i - 1) +
                                       static_cast<double>(p - threshold) / static_cast<double>(p - s));
    if (!dark) {
      spaces[k] = e - prev;
    } else {
      bars[k] = e - prev;
      ++k;
    }
    prev = e;
    dark = !dark;
  }
  const float last = static_cast<float>(n - 1) - prev;
  if (dark) bars[k] = last;
  else spaces[k] = last;
  return k;
}

}  // namespace vantrel::bcd

#include "run_widths.h"

#include <algorithm>

#include "bcd_decoder.h"

namespace vantrel::bcd {

namespace {

// Luminance of b, g, r rounded to the nearest whole number.
inline int32_t Grey(const uint8_t* p) { return (299 * p[2] + 587 * p[1] + 114 * p[0] + 500) / 1000; }

// kAlongX: the line's step value indexes the rows' pixels and its other
// coordinate the rows (a shallow line on a picture, or a steep line on rows
// that are the picture's columns).
template <int32_t kBytes, bool kAlongX>
int32_t SampleSpan(const PixelRows& rows, const LineSpan& line, uint8_t* samples) {
  int32_t lo = 255;
  int32_t hi = 0;
  // Locals: the stores into samples could alias any field.
  const uint8_t* const bits = rows.bits;
  const int64_t stride = rows.stride;
  const int64_t ox = rows.originX;
  const int64_t oy = rows.originY;
  const double slope = line.slope;
  const double offset = line.offset;
  const int64_t first = line.first;
  const int32_t n = line.n;
  for (int32_t i = 0; i < n; ++i) {
    const int64_t v = first + i;
    const int64_t c = static_cast<int64_t>(static_cast<double>(v) * slope + offset);
    const int64_t x = (kAlongX ? v : c) - ox;
    const int64_t y = (kAlongX ? c : v) - oy;
    const uint8_t* p = bits + y * stride + x * kBytes;
    const int32_t g = kBytes == 1 ? p[0] : Grey(p);
    samples[i] = static_cast<uint8_t>(g);
    lo = std::min(lo, g);
    hi = std::max(hi, g);
  }
  return (lo + hi) / 2;
}

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
      const uint8_t v = rows.bits[(points[i].y - rows.originY) * rows.stride + points[i].x - rows.originX];
      samples[i] = v;
      lo = std::min<int32_t>(lo, v);
      hi = std::max<int32_t>(hi, v);
    }
  } else {
    const int64_t bpp = rows.bytesPerPixel;
    for (int32_t i = 0; i < n; ++i) {
      const uint8_t* p = rows.bits + (points[i].y - rows.originY) * rows.stride + (points[i].x - rows.originX) * bpp;
      const int32_t v = Grey(p);
      samples[i] = static_cast<uint8_t>(v);
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  }
  return (lo + hi) / 2;
}

int32_t SampleLine(const PixelRows& rows, const LineSpan& line, uint8_t* samples) {
  switch (rows.bytesPerPixel) {
    case 1: return line.alongX ? SampleSpan<1, true>(rows, line, samples) : SampleSpan<1, false>(rows, line, samples);
    case 3: return line.alongX ? SampleSpan<3, true>(rows, line, samples) : SampleSpan<3, false>(rows, line, samples);
    default: return line.alongX ? SampleSpan<4, true>(rows, line, samples) : SampleSpan<4, false>(rows, line, samples);
  }
}

void LineSampler::UseGreyPlanes(const OvoBcdRange& range) {
  const int64_t w = int64_t{range.x1} - range.x0;
  const int64_t h = int64_t{range.y1} - range.y0;
  const PixelRows& pic = shallow_;
  rows_.resize(static_cast<size_t>(w * h));
  columns_.resize(static_cast<size_t>(w * h));
  const int64_t bpp = pic.bytesPerPixel;
  for (int64_t y = 0; y < h; ++y) {
    const uint8_t* p = pic.bits + (range.y0 + y - pic.originY) * pic.stride + (range.x0 - pic.originX) * bpp;
    uint8_t* g = rows_.data() + y * w;
    for (int64_t x = 0; x < w; ++x, p += bpp) g[x] = static_cast<uint8_t>(Grey(p));
  }
  // The transposed copy, in tiles that stay in cache.
  constexpr int64_t kTile = 32;
  for (int64_t ty = 0; ty < h; ty += kTile)
    for (int64_t tx = 0; tx < w; tx += kTile)
      for (int64_t x = tx; x < std::min(w, tx + kTile); ++x)
        for (int64_t y = ty; y < std::min(h, ty + kTile); ++y) columns_[x * h + y] = rows_[y * w + x];
  shallow_ = PixelRows{rows_.data(), w, 1, range.x0, range.y0};
  // Steep lines step along y: on the columns, y indexes the pixels of a row
  // and x the rows.
  steep_ = PixelRows{columns_.data(), h, 1, range.y0, range.x0};
  transposed_ = true;
}

int32_t LineSampler::Sample(const LineSpan& line, uint8_t* samples) const {
  if (line.alongX) return SampleLine(shallow_, line, samples);
  if (transposed_) return SampleSpan<1, true>(steep_, line, samples);
  return SampleLine(steep_, line, samples);
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

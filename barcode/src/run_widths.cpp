#include "run_widths.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "bcd_decoder.h"

namespace vantrel::bcd {

namespace {

// Luminance of b, g, r rounded to the nearest whole number.
inline int32_t Grey(const uint8_t* p) { return (299 * p[2] + 587 * p[1] + 114 * p[0] + 500) / 1000; }

// x / 1000 for the weighted sums of Grey (at most 255500) in 32-bit lanes the
// compiler can vectorise: x / 8, then / 125 as a multiplication and a shift.
constexpr uint32_t Div1000(uint32_t x) { return ((x >> 3) * 134218u) >> 24; }
constexpr bool Div1000Exact(uint32_t from, uint32_t to) {
  for (uint32_t x = from; x < to; ++x)
    if (Div1000(x) != x / 1000u) return false;
  return true;
}
// In pieces, to stay inside the compiler's limits on constant evaluation.
static_assert(Div1000Exact(0, 64000) && Div1000Exact(64000, 128000));
static_assert(Div1000Exact(128000, 192000) && Div1000Exact(192000, 255501));

// Loops over whole rows and lines use the widest vectors the processor offers.
// The clones are chosen by a resolver that runs while the program is loaded,
// before the thread sanitizer's runtime is up; its instrumented code crashes
// there, so sanitized builds keep the one portable version.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define VANTREL_WIDE_VECTORS __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define VANTREL_WIDE_VECTORS
#endif

template <int32_t kBytes>
inline void GreyRowOf(const uint8_t* __restrict p, int64_t w, uint8_t* __restrict g) {
  for (int64_t x = 0; x < w; ++x) {
    const uint32_t b = p[x * kBytes], gr = p[x * kBytes + 1], r = p[x * kBytes + 2];
    g[x] = static_cast<uint8_t>(Div1000(299u * r + 587u * gr + 114u * b + 500u));
  }
}
VANTREL_WIDE_VECTORS void GreyRow3(const uint8_t* p, int64_t w, uint8_t* g) { GreyRowOf<3>(p, w, g); }
VANTREL_WIDE_VECTORS void GreyRow4(const uint8_t* p, int64_t w, uint8_t* g) { GreyRowOf<4>(p, w, g); }

// kAlongX: the line's step value indexes the rows' pixels and its other
// coordinate the rows (a shallow line); otherwise the other way round.
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

// The grey copy of the range is kept in tiles of 8 x 8 pixels, row by row
// within a tile and tile by tile within a row of tiles: pixel (x, y) of the
// range is byte (y / 8) * rowBytes + (y % 8) * 8 + (x / 8) * 64 + x % 8.
constexpr int64_t kTile = 8;

// The byte in the tiles of each of the line's pixels. The other coordinate is
// trunc(v * slope + offset) for the step values v = first, first + 1, ...: the
// same products and sums as pixel by pixel (the step values are whole
// numbers, exact as doubles); every value lies inside the range, so 32 bits
// hold it and the conversion truncates as trunc does. One loop the compiler
// can vectorise, as wide as the processor allows.
VANTREL_WIDE_VECTORS void TileAddresses(const LineSpan& line, int32_t x0, int32_t y0, int32_t rowBytes,
                                        int32_t* __restrict out) {
  const double first = static_cast<double>(line.first);
  const double slope = line.slope;
  const double offset = line.offset;
  const int32_t n = line.n;
  const int32_t v0 = static_cast<int32_t>(line.first) - (line.alongX ? x0 : y0);
  const int32_t c0 = line.alongX ? y0 : x0;
  if (line.alongX) {
    for (int32_t i = 0; i < n; ++i) {
      const int32_t y = static_cast<int32_t>((first + static_cast<double>(i)) * slope + offset) - c0;
      const int32_t x = v0 + i;
      out[i] = (y >> 3) * rowBytes + ((y & 7) << 3) + ((x >> 3) << 6) + (x & 7);
    }
  } else {
    for (int32_t i = 0; i < n; ++i) {
      const int32_t x = static_cast<int32_t>((first + static_cast<double>(i)) * slope + offset) - c0;
      const int32_t y = v0 + i;
      out[i] = (y >> 3) * rowBytes + ((y & 7) << 3) + ((x >> 3) << 6) + (x & 7);
    }
  }
}

void Extremes(const uint8_t* samples, int32_t n, int32_t* lo, int32_t* hi) {
  uint8_t a = 255, b = 0;
  for (int32_t i = 0; i < n; ++i) {
    a = std::min(a, samples[i]);
    b = std::max(b, samples[i]);
  }
  *lo = a;
  *hi = b;
}

constexpr uintptr_t kCacheLine = 64;
// A line crosses many tiles of a copy larger than the cache: the pixel this
// far ahead is fetched early, its address known.
constexpr int32_t kAhead = 48;

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
  const int64_t tilesAcross = (w + kTile - 1) / kTile;
  const int64_t tilesDown = (h + kTile - 1) / kTile;
  // Pixels are addressed in 32 bits.
  if (tilesAcross * tilesDown * kTile * kTile >= (int64_t{1} << 31)) return;
  // Every byte that is ever read is written below: no need to clear them first.
  // The tiles start on a cache line.
  const size_t bytes = static_cast<size_t>(tilesAcross * tilesDown * kTile * kTile);
  tileStore_.reset(new uint8_t[bytes + kCacheLine]);
  tiles_ = tileStore_.get() + (kCacheLine - reinterpret_cast<uintptr_t>(tileStore_.get()) % kCacheLine) % kCacheLine;
  tileRowBytes_ = static_cast<int32_t>(tilesAcross * kTile * kTile);
  x0_ = range.x0;
  y0_ = range.y0;
  // A band of kTile rows at a time, turned grey and then dealt out to its tiles
  // while it is still in the cache.
  std::vector<uint8_t> band(static_cast<size_t>(kTile * tilesAcross * kTile));
  const PixelRows& pic = picture_;
  const int64_t bpp = pic.bytesPerPixel;
  for (int64_t ty = 0; ty < tilesDown; ++ty) {
    const int64_t rows = std::min(kTile, h - ty * kTile);
    for (int64_t r = 0; r < rows; ++r) {
      const int64_t y = ty * kTile + r;
      const uint8_t* p = pic.bits + (range.y0 + y - pic.originY) * pic.stride + (range.x0 - pic.originX) * bpp;
      uint8_t* g = band.data() + r * tilesAcross * kTile;
      if (bpp == 3) GreyRow3(p, w, g);
      else if (bpp == 4) GreyRow4(p, w, g);
      else std::memcpy(g, p, static_cast<size_t>(w));
    }
    uint8_t* out = tiles_ + ty * tilesAcross * kTile * kTile;
    for (int64_t tx = 0; tx < tilesAcross; ++tx)
      for (int64_t r = 0; r < rows; ++r)
        std::memcpy(out + (tx * kTile + r) * kTile, band.data() + r * tilesAcross * kTile + tx * kTile, kTile);
  }
}

void LineSampler::Reserve(int32_t n) {
  if (across_.size() < static_cast<size_t>(n)) across_.resize(static_cast<size_t>(n));
}

int32_t LineSampler::Sample(const LineSpan& line, uint8_t* samples, int32_t* lo, int32_t* hi) const {
  if (tiles_ == nullptr) {
    // Straight from the picture: the search is sparse.
    const int32_t t = SampleLine(picture_, line, samples);
    Extremes(samples, line.n, lo, hi);
    return t;
  }
  const int32_t n = line.n;
  if (across_.size() < static_cast<size_t>(n)) across_.resize(static_cast<size_t>(n));
  int32_t* at = across_.data();
  TileAddresses(line, static_cast<int32_t>(x0_), static_cast<int32_t>(y0_), tileRowBytes_, at);
  const uint8_t* t = tiles_;
  int32_t i = 0;
  for (; i + kAhead < n; ++i) {
    __builtin_prefetch(t + at[i + kAhead]);
    samples[i] = t[at[i]];
  }
  for (; i < n; ++i) samples[i] = t[at[i]];
  Extremes(samples, n, lo, hi);
  return (*lo + *hi) / 2;
}

int32_t LineSampler::Sample(const LineSpan& line, uint8_t* samples) const {
  int32_t lo, hi;
  return Sample(line, samples, &lo, &hi);
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

namespace {

// Calls at(i, wasDark) for every i in 1 .. n - 1 where sample i is on the
// other side of the threshold than sample i - 1 (dark: at most t), in order;
// wasDark tells the side of sample i - 1. Sixteen samples at a time where the
// processor allows: lines are long and their transitions few.
template <typename At>
void ForEachTransition(const uint8_t* g, int32_t n, uint8_t t, At&& at) {
  int32_t i = 0;
  bool dark = g[0] <= t;
#if defined(__SSE2__)
  const __m128i tv = _mm_set1_epi8(static_cast<char>(t));
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + i));
    const uint32_t m = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(v, tv), v)));
    uint32_t change = (m ^ ((m << 1) | (dark ? 1u : 0u))) & 0xffffu;
    if (i == 0) change &= ~1u;  // sample 0 has none before it
    while (change != 0) {
      const int32_t j = __builtin_ctz(change);
      change &= change - 1;
      at(i + j, ((m >> j) & 1u) == 0);
    }
    dark = (m >> 15) & 1u;
  }
#endif
  for (i = std::max(i, 1); i < n; ++i) {
    const bool d = g[i] <= t;
    if (d != dark) at(i, dark);
    dark = d;
  }
}

}  // namespace

int32_t MeasureRuns(const uint8_t* g, int32_t n, int32_t threshold, bool binarize, float* spaces,
                    float* bars) {
  spaces[0] = 0.0f;  // a line that starts dark
  int32_t k = 0;
  if (n <= 0) {
    bars[0] = 0.0f;
  } else {
    // Every sample is dark at a threshold of 255 or more and none below 0.
    const uint8_t t = static_cast<uint8_t>(std::clamp(threshold, 0, 255));
    const bool never = threshold < 0;
    const bool endsDark = !never && g[n - 1] <= t;
    if (binarize) {
      // Whole runs between the samples where the colour changes.
      int32_t prev = 0;
      if (!never) {
        ForEachTransition(g, n, t, [&](int32_t i, bool wasDark) {
          const float width = static_cast<float>(i - prev);
          if (wasDark) bars[k++] = width;
          else spaces[k] = width;
          prev = i;
        });
      }
      const float last = static_cast<float>(n - prev);
      if (endsDark) {
        bars[k] = last;
      } else {
        spaces[k] = last;
        bars[k] = 0.0f;
      }
    } else {
      // Crossings interpolated between the two samples on either side, as in
      // MeasureRunsSubpixel, term for term.
      float prev = 0.0f;
      if (!never) {
        ForEachTransition(g, n, t, [&](int32_t i, bool wasDark) {
          const int32_t p = g[i - 1];
          const int32_t s = g[i];
          const float e = static_cast<float>(static_cast<double>(i - 1) +
                                             static_cast<double>(p - threshold) / static_cast<double>(p - s));
          if (wasDark) bars[k++] = e - prev;
          else spaces[k] = e - prev;
          prev = e;
        });
      }
      const float last = static_cast<float>(n - 1) - prev;
      if (endsDark) {
        bars[k] = last;
      } else {
        spaces[k] = last;
        bars[k] = 0.0f;
      }
    }
  }
  spaces[k + 1] = 0.0f;
  spaces[k + 2] = 0.0f;
  bars[k + 1] = 0.0f;
  return k;
}

}  // namespace vantrel::bcd

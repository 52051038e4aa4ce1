#include "run_widths.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "bcd_decoder.h"
#include "wide_kernels.h"

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

// That byte, for x and y counted from the range's corner.
inline int32_t TileByte(int32_t x, int32_t y, int32_t rowBytes) {
  return (y >> 3) * rowBytes + ((y & 7) << 3) + ((x >> 3) << 6) + (x & 7);
}

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
      out[i] = TileByte(x, y, rowBytes);
    }
  } else {
    for (int32_t i = 0; i < n; ++i) {
      const int32_t x = static_cast<int32_t>((first + static_cast<double>(i)) * slope + offset) - c0;
      const int32_t y = v0 + i;
      out[i] = TileByte(x, y, rowBytes);
    }
  }
}

#if defined(VANTREL_WIDE_KERNELS)
// The same samples, eight at a time, where the processor can pick bytes out of
// two cache lines in one instruction. Eight pixels of a line whose step values
// share their tile column (or row, for a steep line) lie in at most two tiles:
// the other coordinate moves by less than 8 over them, as the line is no
// steeper than 45 degrees to its step axis, and monotonically. So the two
// tiles of the group's first and last pixel hold all eight, and one
// permutation over the two picks them. A group where that does not hold (it
// cannot, but the check is cheap) and the pixels before the first whole group
// and after the last are read one by one. The addresses come from the same
// double products and sums, lane by lane, as above. The darkest and lightest
// sample come along.
VANTREL_WIDE_TARGET void SampleTilesByGroup(
    const uint8_t* tiles, const LineSpan& line, int32_t x0, int32_t y0, int32_t rowBytes, uint8_t* samples,
    int32_t* lo, int32_t* hi) {
  const int32_t n = line.n;
  const bool alongX = line.alongX;
  const int32_t v0 = static_cast<int32_t>(line.first) - (alongX ? x0 : y0);
  const int32_t c0 = alongX ? y0 : x0;
  const double first = static_cast<double>(line.first);
  const double slope = line.slope;
  const double offset = line.offset;
  auto addressOf = [&](int32_t i) {
    const int32_t c = static_cast<int32_t>((first + static_cast<double>(i)) * slope + offset) - c0;
    const int32_t v = v0 + i;
    const int32_t x = alongX ? v : c;
    const int32_t y = alongX ? c : v;
    return TileByte(x, y, rowBytes);
  };
  uint8_t darkest = 255, lightest = 0;
  auto one = [&](int32_t i) {
    const uint8_t s = tiles[addressOf(i)];
    samples[i] = s;
    darkest = std::min(darkest, s);
    lightest = std::max(lightest, s);
  };
  int32_t i = 0;
  const int32_t head = std::min(n, (8 - (v0 & 7)) & 7);
  for (; i < head; ++i) one(i);
  const __m512d slopeV = _mm512_set1_pd(slope);
  const __m512d offsetV = _mm512_set1_pd(offset);
  const __m512d lanesD = _mm512_setr_pd(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  const __m256i seven = _mm256_set1_epi32(7);
  const __m256i eight = _mm256_set1_epi32(8);
  // The tile after the first along the other coordinate.
  const int32_t nextTile = alongX ? rowBytes : 64;
  // Of the lanes, the first eight hold the darkest and lightest so far.
  __m512i dark = _mm512_set1_epi8(static_cast<char>(0xff));
  __m512i light = _mm512_setzero_si512();
  for (; i + 8 <= n; i += 8) {
    const __m512d at = _mm512_add_pd(_mm512_set1_pd(first + static_cast<double>(i)), lanesD);
    const __m256i c = _mm512_maskz_cvttpd_epi32(0xff, _mm512_add_pd(_mm512_mul_pd(at, slopeV), offsetV));
    const int32_t cFirst = _mm256_cvtsi256_si32(c) - c0, cLast = _mm256_extract_epi32(c, 7) - c0;
    const int32_t cBase = std::min(cFirst, cLast) & ~7;
    const int32_t span = std::max(cFirst, cLast) - cBase;
    if (span >= 16) {
      for (int32_t j = i; j < i + 8; ++j) one(j);
      continue;
    }
    const int32_t v = v0 + i;  // a multiple of 8
    const int32_t x = alongX ? v : cBase, y = alongX ? cBase : v;
    const int32_t tile = TileByte(x, y, rowBytes);  // the group's first tile: x and y are multiples of 8
    // Each pixel's byte in the two tiles taken as 128 bytes, with r = c - cBase
    // (0..15): a shallow line's pixel lies in row r of the pair (rows 8..15 are
    // the second tile's), column `lane`, byte 8 r + lane; a steep line's in row
    // `lane`, column r, byte 64 (r / 8) + 8 lane + r % 8.
    const __m256i rel = _mm256_sub_epi32(c, _mm256_set1_epi32(cBase + c0));
    const __m256i pick = alongX ? _mm256_add_epi32(_mm256_slli_epi32(rel, 3), lanes)
                                : _mm256_add_epi32(_mm256_slli_epi32(_mm256_add_epi32(lanes, _mm256_and_si256(rel, eight)), 3),
                                                   _mm256_and_si256(rel, seven));
    const __m512i first64 = _mm512_load_si512(tiles + tile);
    // The second tile only where the group reaches into it (it may lie past
    // the copy's end otherwise); chosen without a branch.
    const __m512i second64 = _mm512_load_si512(tiles + tile + (span >= 8 ? nextTile : 0));
    const __m512i picked =
        _mm512_permutex2var_epi8(first64, _mm512_zextsi128_si512(_mm256_maskz_cvtepi32_epi8(0xff, pick)), second64);
    _mm512_mask_storeu_epi8(samples + i, 0xff, picked);
    dark = _mm512_mask_min_epu8(dark, 0xff, dark, picked);
    light = _mm512_mask_max_epu8(light, 0xff, light, picked);
  }
  for (; i < n; ++i) one(i);
  alignas(64) uint8_t d[64], l[64];
  _mm512_store_si512(d, dark);
  _mm512_store_si512(l, light);
  for (int32_t j = 0; j < 8; ++j) {
    darkest = std::min(darkest, d[j]);
    lightest = std::max(lightest, l[j]);
  }
  *lo = darkest;
  *hi = lightest;
}

// Word 2 q of a permutation's result holds pixel q's r, word 2 q + 1 its g
// (rg), or its b and nothing (bz); the high bytes of the words are zeroed.
struct GreyPicks {
  alignas(64) uint8_t rg[64];
  alignas(64) uint8_t bz[64];
  constexpr explicit GreyPicks(int32_t bytesPerPixel) : rg(), bz() {
    for (int32_t q = 0; q < 16; ++q) {
      rg[4 * q] = static_cast<uint8_t>(bytesPerPixel * q + 2);
      rg[4 * q + 2] = static_cast<uint8_t>(bytesPerPixel * q + 1);
      bz[4 * q] = static_cast<uint8_t>(bytesPerPixel * q);
    }
  }
};
constexpr GreyPicks kGreyPicks3(3), kGreyPicks4(4);

// GreyRow3 and GreyRow4, sixteen pixels at a time: one permutation lays each
// pixel's r and g side by side as 16-bit words, another its b, and two
// multiply-adds weigh them; then the same rounding and division as there.
VANTREL_WIDE_TARGET void GreyRowWide(const uint8_t* p, int64_t w, int32_t bytesPerPixel, uint8_t* g) {
  const GreyPicks& picks = bytesPerPixel == 3 ? kGreyPicks3 : kGreyPicks4;
  const __m512i pickRg = _mm512_load_si512(picks.rg), pickB = _mm512_load_si512(picks.bz);
  constexpr __mmask64 kLowBytes = 0x5555555555555555ull;
  const __m512i weightsRg = _mm512_set1_epi32((587 << 16) | 299);
  const __m512i weightsB = _mm512_set1_epi32(114);
  const __m512i half = _mm512_set1_epi32(500);
  const __m512i divide = _mm512_set1_epi32(134218);
  for (int64_t x = 0; x < w; x += 16) {
    const int64_t left = std::min<int64_t>(16, w - x);
    const __mmask64 bytes = left * bytesPerPixel >= 64 ? ~__mmask64{0} : (__mmask64{1} << (left * bytesPerPixel)) - 1;
    // Whole 64 bytes where they lie inside the row (masked loads are slow on
    // some processors), masked at its end.
    const __m512i v = (w - x) * bytesPerPixel >= 64 ? _mm512_loadu_si512(p + x * bytesPerPixel)
                                                    : _mm512_maskz_loadu_epi8(bytes, p + x * bytesPerPixel);
    const __m512i sum = _mm512_add_epi32(
        _mm512_add_epi32(_mm512_madd_epi16(_mm512_maskz_permutexvar_epi8(kLowBytes, pickRg, v), weightsRg),
                         _mm512_madd_epi16(_mm512_maskz_permutexvar_epi8(kLowBytes, pickB, v), weightsB)),
        half);
    const __m512i grey =
        _mm512_maskz_srli_epi32(0xffff, _mm512_mullo_epi32(_mm512_maskz_srli_epi32(0xffff, sum, 3), divide), 24);
    _mm_mask_storeu_epi8(g + x, static_cast<__mmask16>((1u << left) - 1), _mm512_maskz_cvtepi32_epi8(0xffff, grey));
  }
}
#endif

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
      if (bpp == 1) std::memcpy(g, p, static_cast<size_t>(w));
#if defined(VANTREL_WIDE_KERNELS)
      else if (WideKernels()) GreyRowWide(p, w, static_cast<int32_t>(bpp), g);
#endif
      else if (bpp == 3) GreyRow3(p, w, g);
      else GreyRow4(p, w, g);
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
#if defined(VANTREL_WIDE_KERNELS)
  if (WideKernels()) {
    SampleTilesByGroup(tiles_, line, static_cast<int32_t>(x0_), static_cast<int32_t>(y0_), tileRowBytes_, samples, lo, hi);
    return (*lo + *hi) / 2;
  }
#endif
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

#if defined(VANTREL_WIDE_KERNELS)
// The samples 1 .. n - 1 on the other side of the threshold t than the one
// before, in order, into at (room for n + 16); returns how many. Sixty-four
// samples are compared at a time and their changes packed sixteen at a time,
// without a branch per change.
VANTREL_WIDE_TARGET int32_t FindCrossings(const uint8_t* g, int32_t n, uint8_t t, int32_t* at) {
  const __m512i tv = _mm512_set1_epi8(static_cast<char>(t));
  const __m512i iota = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  int32_t m = 0;
  uint64_t before = g[0] <= t ? 1u : 0u;  // sample 0 has no change of its own
  for (int32_t i = 0; i < n; i += 64) {
    const int32_t left = n - i;
    const __mmask64 valid = left >= 64 ? ~__mmask64{0} : (__mmask64{1} << left) - 1;
    // Masked loads are slow on some processors: only at the line's end.
    const __m512i v = left >= 64 ? _mm512_loadu_si512(g + i) : _mm512_maskz_loadu_epi8(valid, g + i);
    const uint64_t dark = _mm512_mask_cmple_epu8_mask(valid, v, tv);
    const uint64_t change = (dark ^ ((dark << 1) | before)) & valid;
    before = dark >> 63;
    for (int32_t q = 0; q < 64 && (change >> q) != 0; q += 16) {
      const __mmask16 some = static_cast<__mmask16>(change >> q);
      _mm512_storeu_si512(at + m, _mm512_maskz_compress_epi32(some, _mm512_add_epi32(iota, _mm512_set1_epi32(i + q))));
      m += __builtin_popcount(some);
    }
  }
  return m;
}

// pos[j] for the m crossings at[j]: between samples at[j] - 1 and at[j], in
// double precision as one sample at a time does, kept as floats.
VANTREL_WIDE_TARGET void PlaceCrossings(const uint8_t* g, const int32_t* at, int32_t m, int32_t threshold,
                                        float* pos) {
  const __m256i one = _mm256_set1_epi32(1);
  const __m256i thresholdV = _mm256_set1_epi32(threshold);
  int32_t j = 0;
  for (; j + 8 <= m; j += 8) {
    const __m256i i = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + j));
    alignas(32) int32_t before[8], after[8];
    for (int32_t q = 0; q < 8; ++q) {
      before[q] = g[at[j + q] - 1];
      after[q] = g[at[j + q]];
    }
    const __m256i p = _mm256_load_si256(reinterpret_cast<const __m256i*>(before));
    const __m256i s = _mm256_load_si256(reinterpret_cast<const __m256i*>(after));
    const __m512d share = _mm512_div_pd(_mm512_maskz_cvtepi32_pd(0xff, _mm256_sub_epi32(p, thresholdV)),
                                        _mm512_maskz_cvtepi32_pd(0xff, _mm256_sub_epi32(p, s)));
    const __m512d e = _mm512_add_pd(_mm512_maskz_cvtepi32_pd(0xff, _mm256_sub_epi32(i, one)), share);
    _mm256_storeu_ps(pos + j, _mm512_maskz_cvtpd_ps(0xff, e));
  }
  for (; j < m; ++j) {
    const int32_t i = at[j], p = g[i - 1], s = g[i];
    pos[j] = static_cast<float>(static_cast<double>(i - 1) +
                                static_cast<double>(p - threshold) / static_cast<double>(p - s));
  }
}

// The runs between the m crossings: the first ends a bar when the line starts
// dark. Returns k.
int32_t RunsBetween(const float* pos, int32_t m, bool startsDark, bool endsDark, float end, float* spaces,
                    float* bars) {
  int32_t k = 0;
  float prev = 0.0f;
  bool dark = startsDark;
  for (int32_t j = 0; j < m; ++j) {
    const float e = pos[j];
    if (dark) bars[k++] = e - prev;
    else spaces[k] = e - prev;
    prev = e;
    dark = !dark;
  }
  const float last = end - prev;
  if (endsDark) {
    bars[k] = last;
  } else {
    spaces[k] = last;
    bars[k] = 0.0f;
  }
  return k;
}
#endif

}  // namespace

void Crossings::Reserve(int32_t n) {
  const size_t room = static_cast<size_t>(std::max(n, 0)) + 16;
  if (at.size() < room) {
    at.resize(room);
    pos.resize(room);
  }
}

int32_t MeasureRuns(const uint8_t* g, int32_t n, int32_t threshold, bool binarize, float* spaces,
                    float* bars, [[maybe_unused]] Crossings* room) {
#if defined(VANTREL_WIDE_KERNELS)
  if (room != nullptr && n > 0 && threshold >= 0 && WideKernels() &&
      room->at.size() >= static_cast<size_t>(n) + 16) {
    spaces[0] = 0.0f;  // a line that starts dark
    const uint8_t t = static_cast<uint8_t>(std::min(threshold, 255));
    const int32_t m = FindCrossings(g, n, t, room->at.data());
    float* pos = room->pos.data();
    const int32_t* at = room->at.data();
    if (binarize) {
      for (int32_t j = 0; j < m; ++j) pos[j] = static_cast<float>(at[j]);
    } else {
      PlaceCrossings(g, at, m, threshold, pos);
    }
    const int32_t k = RunsBetween(pos, m, g[0] <= t, g[n - 1] <= t, static_cast<float>(binarize ? n : n - 1),
                                  spaces, bars);
    spaces[k + 1] = 0.0f;
    spaces[k + 2] = 0.0f;
    bars[k + 1] = 0.0f;
    return k;
  }
#endif

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

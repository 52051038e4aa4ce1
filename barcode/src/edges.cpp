#include "edges.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "bcd_decoder.h"
#include "wide_kernels.h"

namespace vantrel::bcd {

namespace {

// The contrast around a place: darkest to lightest over its block of kBlock
// samples and kReach blocks on either side.
constexpr int32_t kBlock = 32;
constexpr int32_t kReach = 1;
// An edge must change the grey value by at least kFloor between two samples,
// and by at least kShare of the contrast around it: weaker wiggles are noise
// or print texture.
constexpr int32_t kFloor = 5;
constexpr float kShare = 0.07f;
constexpr int32_t kNoEdge = 256;  // a floor no difference reaches

// Bit j set where D(j) = p[j + 1] - p[j], for the 16 places j from p (p[-1] to
// p[17] readable), is a local extreme at least f strong: the falling ones
// (D(j) <= -f, D(j) <= D(j - 1), D(j) < D(j + 1)) and the rising ones alike.
uint32_t ExtremesOf16(const uint8_t* p, int32_t f) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p - 1));
  const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i a2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
  const __m128i a3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2));
  const __m128i belowNeg = _mm_set1_epi16(static_cast<int16_t>(1 - f));  // D < 1 - f: D <= -f
  const __m128i aboveF = _mm_set1_epi16(static_cast<int16_t>(f - 1));    // D > f - 1: D >= f
  auto half = [&](__m128i x0, __m128i x1, __m128i x2, __m128i x3) {
    const __m128i before = _mm_sub_epi16(x1, x0);
    const __m128i at = _mm_sub_epi16(x2, x1);
    const __m128i after = _mm_sub_epi16(x3, x2);
    const __m128i fall = _mm_andnot_si128(_mm_cmpgt_epi16(at, before),
                                          _mm_and_si128(_mm_cmplt_epi16(at, belowNeg), _mm_cmplt_epi16(at, after)));
    const __m128i rise = _mm_andnot_si128(_mm_cmplt_epi16(at, before),
                                          _mm_and_si128(_mm_cmpgt_epi16(at, aboveF), _mm_cmpgt_epi16(at, after)));
    return _mm_or_si128(fall, rise);
  };
  const __m128i lo = half(_mm_unpacklo_epi8(a0, zero), _mm_unpacklo_epi8(a1, zero), _mm_unpacklo_epi8(a2, zero),
                          _mm_unpacklo_epi8(a3, zero));
  const __m128i hi = half(_mm_unpackhi_epi8(a0, zero), _mm_unpackhi_epi8(a1, zero), _mm_unpackhi_epi8(a2, zero),
                          _mm_unpackhi_epi8(a3, zero));
  return static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(lo, hi)));
#else
  uint32_t bits = 0;
  for (int32_t j = 0; j < 16; ++j) {
    const int32_t before = p[j] - p[j - 1], at = p[j + 1] - p[j], after = p[j + 2] - p[j + 1];
    const bool fall = at <= -f && at <= before && at < after;
    const bool rise = at >= f && at >= before && at > after;
    if (fall || rise) bits |= 1u << j;
  }
  return bits;
#endif
}

uint32_t ExtremesOfBlock(const uint8_t* p, int32_t f) { return ExtremesOf16(p, f) | (ExtremesOf16(p + 16, f) << 16); }

void ExtremesOfValues(const uint8_t* p, uint8_t* lo, uint8_t* hi) {
#if defined(__SSE2__)
  const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  __m128i a = _mm_min_epu8(p0, p1);
  __m128i z = _mm_max_epu8(p0, p1);
  a = _mm_min_epu8(a, _mm_srli_si128(a, 8));
  z = _mm_max_epu8(z, _mm_srli_si128(z, 8));
  a = _mm_min_epu8(a, _mm_srli_si128(a, 4));
  z = _mm_max_epu8(z, _mm_srli_si128(z, 4));
  a = _mm_min_epu8(a, _mm_srli_si128(a, 2));
  z = _mm_max_epu8(z, _mm_srli_si128(z, 2));
  a = _mm_min_epu8(a, _mm_srli_si128(a, 1));
  z = _mm_max_epu8(z, _mm_srli_si128(z, 1));
  *lo = static_cast<uint8_t>(_mm_cvtsi128_si32(a));
  *hi = static_cast<uint8_t>(_mm_cvtsi128_si32(z));
#else
  uint8_t a = 255, z = 0;
  for (int32_t i = 0; i < kBlock; ++i) {
    a = std::min(a, p[i]);
    z = std::max(z, p[i]);
  }
  *lo = a;
  *hi = z;
#endif
}

// The greatest difference between neighbouring samples of the n samples
// from p (p[n + 15] readable, the samples repeated past the last).
int32_t LineStep(const uint8_t* p, int32_t n) {
#if defined(__SSE2__)
  __m128i z = _mm_setzero_si128();
  for (int32_t i = 0; i < n - 1; i += 16) {
    const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
    z = _mm_max_epu8(z, _mm_or_si128(_mm_subs_epu8(a1, a0), _mm_subs_epu8(a0, a1)));
  }
  z = _mm_max_epu8(z, _mm_srli_si128(z, 8));
  z = _mm_max_epu8(z, _mm_srli_si128(z, 4));
  z = _mm_max_epu8(z, _mm_srli_si128(z, 2));
  z = _mm_max_epu8(z, _mm_srli_si128(z, 1));
  return _mm_cvtsi128_si32(z) & 0xff;
#else
  int32_t z = 0;
  for (int32_t i = 0; i < n - 1; ++i) z = std::max(z, std::abs(p[i + 1] - p[i]));
  return z;
#endif
}

// The same over the kBlock places from p (p[kBlock] readable).
inline int32_t StepOfBlock(const uint8_t* p) { return LineStep(p, kBlock + 1); }

// Lightest less darkest sample over the blocks.
int32_t LineRange(const uint8_t* lo, const uint8_t* hi, int32_t blocks) {
  int32_t a = 255, z = 0;
  for (int32_t b = 0; b < blocks; ++b) {
    a = std::min<int32_t>(a, lo[b]);
    z = std::max<int32_t>(z, hi[b]);
  }
  return z - a;
}

// The weakest edge that counts where the contrast around is c.
struct FloorTable {
  int16_t of[256];
  constexpr FloorTable() : of() {
    for (int32_t c = 0; c < 256; ++c) {
      // Where the grey values hardly change there is no symbol, only noise.
      const int32_t share = static_cast<int32_t>(kShare * static_cast<float>(c) + 0.5f);
      of[c] = static_cast<int16_t>(c < EdgeRuns::kMinContrast ? kNoEdge : (share > kFloor ? share : kFloor));
    }
  }
};
constexpr FloorTable kFloorOf;

// 1 / c, for the contrasts c.
struct InverseTable {
  float of[256];
  constexpr InverseTable() : of() {
    for (int32_t c = 1; c < 256; ++c) of[c] = 1.0f / static_cast<float>(c);
  }
};
constexpr InverseTable kInverse;

// contrast[b] = lightest - darkest over the blocks b - kReach .. b + kReach.
void ContrastAround(const uint8_t* __restrict lo, const uint8_t* __restrict hi, int32_t blocks,
                    uint8_t* __restrict contrast) {
  for (int32_t b = 0; b < blocks; ++b) {
    uint8_t a = lo[b - kReach], z = hi[b - kReach];
    for (int32_t r = 1 - kReach; r <= kReach; ++r) {
      a = lo[b + r] < a ? lo[b + r] : a;
      z = hi[b + r] > z ? hi[b + r] : z;
    }
    contrast[b] = static_cast<uint8_t>(z - a);
  }
}

// The darkest and lightest sample over the blocks b - kReach .. b + kReach.
void AroundBlocks(const uint8_t* __restrict lo, const uint8_t* __restrict hi, int32_t blocks,
                  uint8_t* __restrict aroundLo, uint8_t* __restrict aroundHi) {
  for (int32_t b = 0; b < blocks; ++b) {
    uint8_t a = lo[b - kReach], z = hi[b - kReach];
    for (int32_t r = 1 - kReach; r <= kReach; ++r) {
      a = lo[b + r] < a ? lo[b + r] : a;
      z = hi[b + r] > z ? hi[b + r] : z;
    }
    aroundLo[b] = a;
    aroundHi[b] = z;
  }
}

// ---------------------------------------------------------------------------
// Elements narrower than the blur.
//
// Blurred with a Gaussian of sigma, an element w wide between wide neighbours
// of the other colour reaches erf(w / (2 sqrt(2) sigma)) of the contrast, and
// its edges' extremes lie max(w, about 2 sigma) apart. At w = 3 sigma it
// reaches 0.866 and its extremes lie 3.06 sigma apart: below both, the
// extremes no longer tell the width, the reach does.
constexpr float kMergedSigmas = 3.0f;
constexpr float kMergedReach = 0.866f;
// The steepest edges around a block (over the same blocks as its contrast)
// give the blur there: the second steepest, so that one odd edge does not. An
// element's edges move by less than this when it is narrowed: that is within
// the edges' own error, and the runs stay as they are.
constexpr float kLeastChange = 0.25f;
// A symbol whose narrowest elements blur past their level has many of them
// (every character of every symbology has several): a line with fewer faint
// elements than this is print or texture, and is not read again.
constexpr int32_t kLeastNarrowed = 4;
// Below a blur of one sample an element's reach depends on where it falls
// between the samples more than on its width (a parabola through three samples
// misses the top of such a narrow profile by 10 % and more): it tells nothing.
constexpr float kLeastSigma = 1.0f;
constexpr float kInvSqrt2Pi = 0.3989422804f;
constexpr float kSoftest = kInvSqrt2Pi / kLeastSigma;  // the steepest step (over the contrast) such a blur leaves
static_assert(kReach == 1, "the blur is found over three blocks");

// The steepest step that such a blur leaves where the grey ranges over c.
struct SoftStepTable {
  int16_t of[256];
  constexpr SoftStepTable() : of() {
    for (int32_t c = 0; c < 256; ++c) of[c] = static_cast<int16_t>(kSoftest * static_cast<float>(c));
  }
};
constexpr SoftStepTable kSoftStep;

// erf(x) by its series, at compile time (converges fast for the x <= 1.5 used).
constexpr double SeriesErf(double x) {
  double term = x, sum = x;
  for (int32_t n = 1; n < 40; ++n) {
    term *= -x * x / n;
    sum += term / (2 * n + 1);
  }
  return sum * 1.1283791670955126;  // 2 / sqrt(pi)
}

// The width in sigmas of an element that reaches `reach` of the contrast, for
// reach in [0, kMergedReach], at kWidthSteps + 1 evenly spaced reaches.
constexpr int32_t kWidthSteps = 64;
constexpr float kReachTop = 0.875f;
struct WidthTable {
  float of[kWidthSteps + 1];
  constexpr WidthTable() : of() {
    for (int32_t i = 0; i <= kWidthSteps; ++i) {
      const double reach = kReachTop * i / kWidthSteps;
      double lo = 0.0, hi = 6.0;  // sigmas
      for (int32_t it = 0; it < 50; ++it) {
        const double mid = (lo + hi) / 2;
        if (SeriesErf(mid / 2.8284271247461903) < reach) lo = mid;
        else hi = mid;
      }
      of[i] = static_cast<float>((lo + hi) / 2);
    }
  }
  constexpr float At(float reach) const {
    const float x = reach * (kWidthSteps / kReachTop);
    const auto i = static_cast<int32_t>(x);
    if (i >= kWidthSteps) return of[kWidthSteps];
    return of[i] + (of[i + 1] - of[i]) * (x - static_cast<float>(i));
  }
};
constexpr WidthTable kWidthOf;
static_assert(kWidthOf.of[0] < 1e-6f);
// An element 2 sigma wide reaches erf(1 / sqrt 2) = 0.6827; 3 sigma, 0.8664.
static_assert(kWidthOf.At(0.682689f) > 1.999f && kWidthOf.At(0.682689f) < 2.001f);
static_assert(kWidthOf.At(0.866386f) > 2.999f && kWidthOf.At(0.866386f) < 3.001f);
static_assert(kMergedReach < kReachTop);

// The run after the last edge (of direction lastEdge, 0 for none) and the
// zeros past it; returns k.
int32_t CloseRuns(float* spaces, float* bars, int32_t k, float last, int32_t lastEdge) {
  if (lastEdge >= 0) {  // ends light
    spaces[k] = last;
    bars[k] = 0.0f;
  } else {
    bars[k] = last;
  }
  spaces[k + 1] = 0.0f;
  spaces[k + 2] = 0.0f;
  bars[k + 1] = 0.0f;
  return k;
}

#if defined(VANTREL_WIDE_KERNELS)
// ExtremesOfBlock, the 32 places at once.
VANTREL_WIDE_TARGET inline uint32_t ExtremesOfBlockWide(const uint8_t* p, int32_t f) {
  const __m512i a0 = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p - 1)));
  const __m512i a1 = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
  const __m512i a2 = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1)));
  const __m512i a3 = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 2)));
  const __m512i before = _mm512_sub_epi16(a1, a0);
  const __m512i at = _mm512_sub_epi16(a2, a1);
  const __m512i after = _mm512_sub_epi16(a3, a2);
  const __mmask32 fall = _mm512_cmple_epi16_mask(at, _mm512_set1_epi16(static_cast<int16_t>(-f))) &
                         _mm512_cmple_epi16_mask(at, before) & _mm512_cmplt_epi16_mask(at, after);
  const __mmask32 rise = _mm512_cmpge_epi16_mask(at, _mm512_set1_epi16(static_cast<int16_t>(f))) &
                         _mm512_cmpge_epi16_mask(at, before) & _mm512_cmpgt_epi16_mask(at, after);
  return static_cast<uint32_t>(fall | rise);
}

// The edges Measure finds one extreme at a time, found in three sweeps without
// a branch the processor cannot foresee: the extremes of every block with
// contrast enough, packed sixteen at a time into at (their differences into
// step); their positions, sixteen at a time, in the same single-precision
// steps; and the alternation, the stronger of same-direction extremes in a row
// kept by selection. at, step and pos have room for n + 32 entries, edges for
// n. Returns the edges' count, their direction in *firstSign (0 for none).
VANTREL_WIDE_TARGET int32_t EdgesWide(const uint8_t* p, int32_t n, int32_t blocks, const uint8_t* contrast,
                                      int32_t* at, int32_t* step, float* pos, float* edges, int32_t* firstSign) {
  const __m512i iota = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  int32_t m = 0;
  for (int32_t b = 0; b < blocks; ++b) {
    const int32_t f = kFloorOf.of[contrast[b]];
    if (f >= kNoEdge) continue;
    const int32_t j0 = b * kBlock;
    uint32_t bits = ExtremesOfBlockWide(p + j0, f);
    if (n - 1 - j0 < kBlock) bits &= (1u << (n - 1 - j0)) - 1;  // differences up to n - 2 only
    for (int32_t h = 0; h < kBlock; h += 16) {
      const auto some = static_cast<__mmask16>(bits >> h);
      _mm512_storeu_si512(at + m, _mm512_maskz_compress_epi32(some, _mm512_add_epi32(iota, _mm512_set1_epi32(j0 + h))));
      m += __builtin_popcount(some);
    }
  }
  // Past the last, places whose samples are readable (the padding before the first).
  _mm512_storeu_si512(at + m, _mm512_setzero_si512());
  const __m512 half = _mm512_set1_ps(0.5f);
  for (int32_t q = 0; q < m; q += 16) {
    alignas(64) int32_t before[16], here[16], after[16];
    for (int32_t r = 0; r < 16; ++r) {
      const uint8_t* s = p + at[q + r];
      before[r] = s[0] - s[-1];
      here[r] = s[1] - s[0];
      after[r] = s[2] - s[1];
    }
    const __m512i b = _mm512_load_si512(before), a = _mm512_load_si512(here), c = _mm512_load_si512(after);
    const __m512i num = _mm512_sub_epi32(b, c);
    const __m512i den = _mm512_add_epi32(_mm512_sub_epi32(b, _mm512_add_epi32(a, a)), c);
    const __m512 off = _mm512_div_ps(_mm512_mul_ps(half, _mm512_maskz_cvtepi32_ps(0xffff, num)), _mm512_maskz_cvtepi32_ps(0xffff, den));
    const __m512 j = _mm512_maskz_cvtepi32_ps(0xffff, _mm512_loadu_si512(at + q));
    _mm512_storeu_ps(pos + q, _mm512_add_ps(_mm512_add_ps(j, half), off));
    _mm512_storeu_si512(step + q, a);
  }
  int32_t count = 0;
  int32_t lastSign = 0;
  int32_t lastStrength = 0;
  float lastPos = 0.0f;
  for (int32_t q = 0; q < m; ++q) {
    const int32_t d = step[q];
    const int32_t sign = d < 0 ? -1 : 1;
    const int32_t strength = d < 0 ? -d : d;
    const bool turn = sign != lastSign;
    edges[count] = lastPos;
    count += (turn && lastSign != 0) ? 1 : 0;
    const bool take = turn || strength > lastStrength;
    lastPos = take ? pos[q] : lastPos;
    lastStrength = take ? strength : lastStrength;
    lastSign = sign;
  }
  if (lastSign != 0) edges[count++] = lastPos;
  *firstSign = m > 0 ? (step[0] < 0 ? -1 : 1) : 0;
  return count;
}
#endif

}  // namespace

// The element from edge a to edge b (light when `light`): true with its
// narrowed edges in *left, *right when it is fainter and narrower than its
// blur lets its edges show.
bool EdgeRuns::Narrowed(const uint8_t* p, int32_t n, float a, float b, bool light, float* left,
                        float* right) const {
  const float m = b - a;
  const int32_t home = std::min(static_cast<int32_t>(a) / kBlock, blocks_);  // a >= 0
  const float sigma = sigma_[static_cast<size_t>(home)];
  if (!(m < kMergedSigmas * sigma)) return false;
  // The element's extreme sample.
  int32_t i0 = static_cast<int32_t>(std::ceil(a)), i1 = static_cast<int32_t>(b);
  if (i1 < i0) i0 = i1 = static_cast<int32_t>(std::lround((a + b) / 2.0f));
  i0 = std::clamp(i0, 0, n - 1);
  i1 = std::clamp(i1, 0, n - 1);
  int32_t at = i0;
  for (int32_t i = i0 + 1; i <= i1; ++i)
    if (light ? p[i] > p[at] : p[i] < p[at]) at = i;
  const int32_t block = at / kBlock;
  const int32_t dark = aroundLo_[static_cast<size_t>(block)], bright = aroundHi_[static_cast<size_t>(block)];
  const int32_t contrast = bright - dark;
  if (contrast < kMinContrast) return false;
  // Most elements reach their colour: one comparison turns them away.
  const float full = kMergedReach * static_cast<float>(contrast);
  if (static_cast<float>(light ? p[at] - dark : bright - p[at]) >= full) return false;
  // The extreme between samples, from a parabola through the three around it.
  float peak = p[at], centre = static_cast<float>(at);
  {
    const int32_t y0 = p[at - 1], y1 = p[at], y2 = p[at + 1];  // the padding makes both readable
    const int32_t den = y0 - 2 * y1 + y2;
    if (den != 0) {
      const float t = 0.5f * static_cast<float>(y0 - y2) / static_cast<float>(den);
      if (std::fabs(t) <= 0.5f) {
        peak = static_cast<float>(y1) - static_cast<float>((y0 - y2) * (y0 - y2)) / (8.0f * static_cast<float>(den));
        centre += t;
      }
    }
  }
  const float reach = (light ? peak - static_cast<float>(dark) : static_cast<float>(bright) - peak) /
                      static_cast<float>(contrast);
  if (!(reach >= 0.0f && reach < kMergedReach)) return false;
  const float w = sigma * kWidthOf.At(reach);
  if (!(w < m - kLeastChange)) return false;
  const float c = std::clamp(centre, a + w / 2.0f, b - w / 2.0f);
  *left = c - w / 2.0f;
  *right = c + w / 2.0f;
  return true;
}

void EdgeRuns::Reserve(int32_t n) {
  const size_t blocks = static_cast<size_t>(std::max(n, 0)) / kBlock + 2;
  if (aroundLo_.size() < blocks) {
    blockLo_.resize(blocks + 2 * kReach);
    blockHi_.resize(blocks + 2 * kReach);
    aroundLo_.resize(blocks);
    contrast_.resize(blocks);
    aroundHi_.resize(blocks);
  }
  if (steepest_.size() < blocks) {
    blockStep_.resize(blocks);
    steepest_.resize(blocks);
    sigma_.resize(blocks);
  }
  const size_t edges = static_cast<size_t>(std::max(n, 0));
  if (edgePos_.size() < edges) edgePos_.resize(edges);
  if (extremeAt_.size() < edges + 32) {
    extremeAt_.resize(edges + 32);
    extremeStep_.resize(edges + 32);
    extremePos_.resize(edges + 32);
  }
}

int32_t EdgeRuns::Measure(uint8_t* g, int32_t n, float* spaces, float* bars) {
  spaces[0] = 0.0f;
  count_ = 0;
  int32_t k = 0;
  if (n < 3) {
    spaces[0] = n > 1 ? static_cast<float>(n - 1) : 0.0f;
    bars[0] = 0.0f;
    spaces[1] = spaces[2] = bars[1] = 0.0f;
    return 0;
  }
  // The first and last sample repeated outwards: the differences before the
  // first sample and after the last are 0, and whole blocks can be read.
  const int32_t blocks = (n - 1 + kBlock - 1) / kBlock;  // blocks of the n - 1 differences
  uint8_t* p = g;
  std::memset(p - kPadding, g[0], kPadding);
  std::memset(p + n, g[n - 1], kPadding);

  // The contrast around each block, and the weakest edge that counts there.
  // The block extremes are kept with kReach neutral entries on either side.
  uint8_t* lo = blockLo_.data() + kReach;
  uint8_t* hi = blockHi_.data() + kReach;
  for (int32_t b = 0; b < blocks; ++b) ExtremesOfValues(p + b * kBlock, &lo[b], &hi[b]);
  for (int32_t r = 1; r <= kReach; ++r) {
    lo[-r] = lo[blocks - 1 + r] = 255;
    hi[-r] = hi[blocks - 1 + r] = 0;
  }
  uint8_t* contrast = contrast_.data();
  ContrastAround(lo, hi, blocks, contrast);

  float* edges = edgePos_.data();
#if defined(VANTREL_WIDE_KERNELS)
  if (WideKernels()) {
    int32_t firstSign = 0;
    const int32_t count = EdgesWide(p, n, blocks, contrast, extremeAt_.data(), extremeStep_.data(),
                                    extremePos_.data(), edges, &firstSign);
    samples_ = p;
    n_ = n;
    blocks_ = blocks;
    count_ = count;
    firstSign_ = firstSign;
    // Each edge lies between the two samples of its difference, and they come
    // in order: Runs' floor of 0 on the widths changes none of them.
    return Runs(spaces, bars);
  }
#endif
  // Edges in order, alternating; positions in samples from the first one.
  int32_t count = 0;
  float prevPos = 0.0f;
  float lastPos = 0.0f;
  int32_t firstSign = 0;
  int32_t lastSign = 0;  // 0: no edge yet
  int32_t lastStrength = 0;
  auto emit = [&](float pos, int32_t sign) {
    // The run that the edge ends: light before a falling edge, dark before a rising one.
    const float width = pos - prevPos;
    if (sign < 0) spaces[k] = width;
    else bars[k++] = width;
    prevPos = pos;
    edges[count++] = pos;
  };
  // The edge between samples j and j + 1.
  auto visit = [&](int32_t j) {
    const int32_t before = p[j] - p[j - 1], at = p[j + 1] - p[j], after = p[j + 2] - p[j + 1];
    const int32_t strength = at < 0 ? -at : at;
    const int32_t sign = at < 0 ? -1 : 1;
    // The extreme of a parabola through the three differences. At an extreme
    // (strictly beyond the difference after it) the denominator is not 0 and
    // the offset lies within half a sample.
    const float off = 0.5f * static_cast<float>(before - after) / static_cast<float>(before - 2 * at + after);
    const float pos = static_cast<float>(j) + 0.5f + off;
    if (sign == lastSign) {
      if (strength > lastStrength) {
        lastPos = pos;
        lastStrength = strength;
      }
      return;
    }
    if (lastSign != 0) emit(lastPos, lastSign);  // a line that starts dark keeps spaces[0] = 0
    else firstSign = sign;
    lastSign = sign;
    lastPos = pos;
    lastStrength = strength;
  };
  for (int32_t b = 0; b < blocks; ++b) {
    const int32_t f = kFloorOf.of[contrast[b]];
    if (f >= kNoEdge) continue;
    uint32_t bits = ExtremesOfBlock(p + b * kBlock, f);
    while (bits != 0) {
      const int32_t j = b * kBlock + __builtin_ctz(bits);
      bits &= bits - 1;
      if (j < n - 1) visit(j);
    }
  }
  if (lastSign != 0) emit(lastPos, lastSign);

  samples_ = p;
  n_ = n;
  blocks_ = blocks;
  count_ = count;
  firstSign_ = firstSign;
  return CloseRuns(spaces, bars, k, static_cast<float>(n - 1) - prevPos, lastSign);
}

int32_t EdgeRuns::Narrow(float* spaces, float* bars) {
  float* pos = edgePos_.data();
  const int32_t count = count_;
  count_ = 0;  // narrowed once only
  if (count < 2) return -1;
  // Only a line whose steepest step is soft enough for a blur of kLeastSigma
  // over its range of grey can have elements to narrow: most end here.
  if (LineStep(samples_, n_) > kSoftStep.of[LineRange(blockLo_.data() + kReach, blockHi_.data() + kReach, blocks_)])
    return -1;
  // The steepest step of each block that has edges and spans most of the
  // contrast around it (one of faint noise beside print would tell of a blur
  // that is not there); at least one must be soft enough for such a blur.
  const uint8_t* p = samples_;
  const uint8_t* lo = blockLo_.data() + kReach;
  const uint8_t* hi = blockHi_.data() + kReach;
  const uint8_t* contrast = contrast_.data();
  uint8_t* step = blockStep_.data();
  bool soft = false;
  for (int32_t b = 0; b < blocks_; ++b) {
    const int32_t range = hi[b] - lo[b], around = contrast[b], f = kFloorOf.of[around];
    int32_t s = 0;
    if (f < kNoEdge && 2 * range >= around) {
      s = StepOfBlock(p + b * kBlock);
      if (s < f) s = 0;
    }
    step[b] = static_cast<uint8_t>(s);
    soft = soft || (s > 0 && s <= kSoftStep.of[range]);
  }
  if (!soft) return -1;
  AroundBlocks(lo, hi, blocks_, aroundLo_.data(), aroundHi_.data());
  // The last sample belongs to the last block of differences.
  aroundLo_[static_cast<size_t>(blocks_)] = aroundLo_[static_cast<size_t>(blocks_ - 1)];
  aroundHi_[static_cast<size_t>(blocks_)] = aroundHi_[static_cast<size_t>(blocks_ - 1)];
  // The steepest step of each block over the block's own range of grey, where
  // it has an edge: an edge of a symbol rises over all of the range or is one
  // of several that do, a wiggle of noise over little more than its own step.
  float* steepest = steepest_.data();
  steepest[blocks_] = 0.0f;  // the last sample's block, past the last difference
  for (int32_t r = 0; r < blocks_; ++r) steepest[r] = static_cast<float>(step[r]) * kInverse.of[hi[r] - lo[r]];
  // The blur around each block, from the second steepest of it and its
  // neighbours, so that one odd edge does not decide it; none where that is
  // narrower than a sample.
  bool blurred = false;
  for (int32_t b = 0; b <= blocks_; ++b) {
    const int32_t l = std::max(b - 1, 0), r = std::min(b + 1, blocks_);  // kReach = 1
    const float x = steepest[l], y = steepest[b], z = steepest[r];
    float second;
    if (l == b) second = r == b ? 0.0f : std::min(y, z);
    else if (r == b) second = std::min(x, y);
    else second = std::max(std::min(x, y), std::min(std::max(x, y), z));
    // sigma = 1 / (sqrt(2 pi) second), at least kLeastSigma
    const bool wide = second > 0.0f && second <= kSoftest;
    sigma_[static_cast<size_t>(b)] = wide ? kInvSqrt2Pi / second : 0.0f;
    blurred = blurred || wide;
  }
  if (!blurred) return -1;
  // Each edge between two narrowed elements goes halfway between what either
  // makes of it. The original position of an edge is kept until the element
  // after it is measured.
  int32_t narrowedCount = 0;
  float pending = 0.0f;  // the element before's position for edge e
  bool hasPending = false;
  float original = count > 0 ? pos[0] : 0.0f;
  for (int32_t e = 0; e + 1 < count; ++e) {
    const float a = original, b = pos[e + 1];
    const bool light = ((e % 2 == 0) ? firstSign_ : -firstSign_) > 0;  // a rising edge opens a light element
    float left, right;
    const bool narrowed = Narrowed(samples_, n_, a, b, light, &left, &right);
    if (narrowed) pos[e] = hasPending ? (pending + left) / 2.0f : left;
    else if (hasPending) pos[e] = pending;
    narrowedCount += narrowed ? 1 : 0;
    hasPending = narrowed;
    pending = right;
    original = b;
  }
  if (hasPending) pos[count - 1] = pending;
  if (narrowedCount < kLeastNarrowed) return -1;
  count_ = count;
  const int32_t k = Runs(spaces, bars);
  count_ = 0;  // narrowed once only
  return k;
}

int32_t EdgeRuns::Runs(float* spaces, float* bars) const {
  const float* pos = edgePos_.data();
  spaces[0] = 0.0f;
  int32_t k = 0;
  float prevPos = 0.0f;
  int32_t sign = firstSign_;
  for (int32_t e = 0; e < count_; ++e) {
    const float width = std::max(pos[e] - prevPos, 0.0f);
    if (sign < 0) spaces[k] = width;
    else bars[k++] = width;
    prevPos = pos[e];
    sign = -sign;
  }
  return CloseRuns(spaces, bars, k, static_cast<float>(n_ - 1) - prevPos, count_ == 0 ? 0 : -sign);
}

}  // namespace vantrel::bcd

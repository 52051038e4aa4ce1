#include "edges.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "bcd_decoder.h"

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

// contrast[b] = lightest - darkest over the blocks b - kReach .. b + kReach.
void AroundBlocks(const uint8_t* __restrict lo, const uint8_t* __restrict hi, int32_t blocks,
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

}  // namespace

void EdgeRuns::Reserve(int32_t n) {
  const size_t blocks = static_cast<size_t>(std::max(n, 0)) / kBlock + 2;
  if (contrast_.size() < blocks) {
    blockLo_.resize(blocks + 2 * kReach);
    blockHi_.resize(blocks + 2 * kReach);
    contrast_.resize(blocks);
  }
}

int32_t EdgeRuns::Measure(uint8_t* g, int32_t n, float* spaces, float* bars) {
  spaces[0] = 0.0f;
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
  AroundBlocks(lo, hi, blocks, contrast);

  // Edges in order, alternating; positions in samples from the first one.
  float prevPos = 0.0f;
  float lastPos = 0.0f;
  int32_t lastSign = 0;  // 0: no edge yet
  int32_t lastStrength = 0;
  auto emit = [&](float pos, int32_t sign) {
    // The run that the edge ends: light before a falling edge, dark before a rising one.
    const float width = pos - prevPos;
    if (sign < 0) spaces[k] = width;
    else bars[k++] = width;
    prevPos = pos;
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

  const float last = static_cast<float>(n - 1) - prevPos;
  if (lastSign >= 0) {  // ends light
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

}  // namespace vantrel::bcd

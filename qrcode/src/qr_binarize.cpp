// Binarization, block statistics and the block-threshold image.
//
// A 24-bit row is first split into the selected channel and the colour-blind
// grey (the mean of the three channels); both then go through the same compare and
// statistics loop as an 8-bit row. Column minima and maxima gather over the
// eight rows of a band of blocks and are folded into block values at the end
// of the band; sums gather straight into the blocks (SSE2 sums groups of eight
// bytes, which are exactly the blocks' rows).
#include "qr_binarize.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <new>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VANTREL_QR_X86 1
#endif

namespace vantrel::qr {

namespace {

bool g_plainLoops = false;

bool UseSsse3() {
#if VANTREL_QR_X86
  static const bool has = __builtin_cpu_supports("ssse3");
  return has && !g_plainLoops;
#else
  return false;
#endif
}

// Per-band accumulators of the statistics, one entry per column or block.
struct Band {
  std::vector<uint8_t> colMin, colMax;
  std::vector<uint32_t> sum, set;  // set counts 255 per pixel in the SIMD loop, 1 in the plain one
  void Reset() {
    std::fill(colMin.begin(), colMin.end(), 255);
    std::fill(colMax.begin(), colMax.end(), 0);
    std::fill(sum.begin(), sum.end(), 0);
    std::fill(set.begin(), set.end(), 0);
  }
};

// Splits one 24-bit row into the channel at `offset` and the mean of the three.
void SplitRowPlain(const uint8_t* src, int32_t offset, int32_t from, int32_t width, uint8_t* sel,
                   uint8_t* grey) {
  for (int32_t x = from; x < width; ++x) {
    const uint8_t* p = src + static_cast<ptrdiff_t>(x) * 3;
    sel[x] = p[offset];
    grey[x] = static_cast<uint8_t>((p[0] + p[1] + p[2]) / 3);
  }
}

// Compares sel with the threshold into dst and adds grey and the set pixels
// to the band, for columns [from, width).
void RowPlain(const uint8_t* sel, const uint8_t* grey, int32_t from, int32_t width, int32_t threshold,
              bool dark, uint8_t* dst, Band* band, bool stats) {
  for (int32_t x = from; x < width; ++x) {
    const bool set = dark ? sel[x] <= threshold : sel[x] > threshold;
    dst[x] = set ? 0xFF : 0;
    if (!stats) continue;
    const uint8_t g = grey[x];
    band->colMin[x] = std::min(band->colMin[x], g);
    band->colMax[x] = std::max(band->colMax[x], g);
    band->sum[x / kBlockSide] += g;
    band->set[x / kBlockSide] += set ? 255u : 0u;
  }
}

#if VANTREL_QR_X86

// pshufb masks taking byte 3i + k of 48 bytes (three registers) into lane i.
struct SplitMasks {
  std::array<std::array<std::array<int8_t, 16>, 3>, 3> m;  // [channel][register][lane]
};
constexpr SplitMasks MakeSplitMasks() {
  SplitMasks s{};
  for (int k = 0; k < 3; ++k)
    for (int r = 0; r < 3; ++r)
      for (int i = 0; i < 16; ++i) {
        const int byte = 3 * i + k - 16 * r;
        s.m[k][r][i] = (byte >= 0 && byte < 16) ? static_cast<int8_t>(byte) : static_cast<int8_t>(-128);
      }
  return s;
}
constexpr SplitMasks kSplit = MakeSplitMasks();

__attribute__((target("ssse3"))) int32_t SplitRowSsse3(const uint8_t* src, int32_t offset, int32_t width,
                                                      uint8_t* sel, uint8_t* grey) {
  __m128i m[3][3];
  for (int k = 0; k < 3; ++k)
    for (int r = 0; r < 3; ++r)
      m[k][r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kSplit.m[k][r].data()));
  int32_t x = 0;
  for (; x + 16 <= width; x += 16) {
    const uint8_t* p = src + static_cast<ptrdiff_t>(x) * 3;
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    __m128i ch[3];
    for (int k = 0; k < 3; ++k)
      ch[k] = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, m[k][0]), _mm_shuffle_epi8(b, m[k][1])),
                           _mm_shuffle_epi8(c, m[k][2]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sel + x), ch[offset]);
    // The mean of the three: sums in 16 bits, times 21846 / 65536 is the
    // exact floor of a third for sums up to 765.
    const __m128i zero = _mm_setzero_si128(), third = _mm_set1_epi16(21846);
    const __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(ch[0], zero), _mm_unpacklo_epi8(ch[1], zero)),
                                     _mm_unpacklo_epi8(ch[2], zero));
    const __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(ch[0], zero), _mm_unpackhi_epi8(ch[1], zero)),
                                     _mm_unpackhi_epi8(ch[2], zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(grey + x),
                     _mm_packus_epi16(_mm_mulhi_epu16(lo, third), _mm_mulhi_epu16(hi, third)));
  }
  return x;
}

// The compare and statistics loop over whole groups of 16 columns; returns
// where the plain loop takes over.
int32_t RowSse2(const uint8_t* sel, const uint8_t* grey, int32_t width, int32_t threshold, bool dark,
                uint8_t* dst, Band* band, bool stats) {
  const __m128i t = _mm_set1_epi8(static_cast<char>(threshold));
  const __m128i flip = dark ? _mm_setzero_si128() : _mm_set1_epi8(-1);
  const __m128i zero = _mm_setzero_si128();
  int32_t x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sel + x));
    const __m128i atOrBelow = _mm_cmpeq_epi8(_mm_min_epu8(v, t), v);
    const __m128i set = _mm_xor_si128(atOrBelow, flip);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), set);
    if (!stats) continue;
    const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(grey + x));
    __m128i* mn = reinterpret_cast<__m128i*>(band->colMin.data() + x);
    __m128i* mx = reinterpret_cast<__m128i*>(band->colMax.data() + x);
    _mm_storeu_si128(mn, _mm_min_epu8(_mm_loadu_si128(mn), g));
    _mm_storeu_si128(mx, _mm_max_epu8(_mm_loadu_si128(mx), g));
    const __m128i sums = _mm_sad_epu8(g, zero);
    const __m128i sets = _mm_sad_epu8(set, zero);
    const int32_t b = x / kBlockSide;
    band->sum[b] += static_cast<uint32_t>(_mm_cvtsi128_si32(sums));
    band->sum[b + 1] += static_cast<uint32_t>(_mm_extract_epi16(sums, 4));
    band->set[b] += static_cast<uint32_t>(_mm_cvtsi128_si32(sets));
    band->set[b + 1] += static_cast<uint32_t>(_mm_extract_epi16(sets, 4));
  }
  return x;
}

// dst = grey compared with a threshold per column: set where grey <= t.
int32_t ThresholdRowSse2(const uint8_t* grey, const uint8_t* t, int32_t width, uint8_t* dst) {
  int32_t x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(grey + x));
    const __m128i th = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm_cmpeq_epi8(_mm_min_epu8(v, th), v));
  }
  return x;
}

#endif

// The colour-blind grey of one row: a pointer into the picture for 8-bit
// rows, the split row otherwise (sel receives the selected channel).
const uint8_t* GreyRow(const QrSourceArea& s, int32_t y, uint8_t* sel, uint8_t* grey, const uint8_t** selected) {
  const uint8_t* row = s.bits + static_cast<ptrdiff_t>(s.top + y) * s.stride +
                       static_cast<ptrdiff_t>(s.left) * s.bytesPerPixel;
  if (s.bytesPerPixel == 1) {
    if (selected) *selected = row;
    return row;
  }
  int32_t from = 0;
#if VANTREL_QR_X86
  if (UseSsse3()) from = SplitRowSsse3(row, s.byteOffset, s.width, sel, grey);
#endif
  SplitRowPlain(row, s.byteOffset, from, s.width, sel, grey);
  if (selected) *selected = sel;
  return grey;
}

}  // namespace

int32_t QrBlockStats::Pixels(int32_t bx, int32_t by, int32_t w, int32_t h) const {
  return std::min(kBlockSide, w - bx * kBlockSide) * std::min(kBlockSide, h - by * kBlockSide);
}

void ForcePlainBinarizeLoops(bool plain) { g_plainLoops = plain; }

bool Binarize(const QrSourceArea& s, int32_t threshold, int32_t darkModules, std::vector<uint8_t>* out,
              QrBlockStats* stats) {
  const int32_t w = s.width, h = s.height;
  const int32_t bw = (w + kBlockSide - 1) / kBlockSide, bh = (h + kBlockSide - 1) / kBlockSide;
  std::vector<uint8_t> selBuf, greyBuf;
  Band band;
  try {
    out->resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    if (s.bytesPerPixel != 1) {
      selBuf.resize(static_cast<size_t>(w));
      greyBuf.resize(static_cast<size_t>(w));
    }
    if (stats) {
      stats->blocksAcross = bw;
      stats->blocksDown = bh;
      const size_t blocks = static_cast<size_t>(bw) * static_cast<size_t>(bh);
      stats->min.assign(blocks, 0);
      stats->max.assign(blocks, 0);
      stats->sum.assign(blocks, 0);
      stats->set.assign(blocks, 0);
      stats->setPixels = 0;
      band.colMin.resize(static_cast<size_t>(w));
      band.colMax.resize(static_cast<size_t>(w));
      band.sum.resize(static_cast<size_t>(bw) + 1);
      band.set.resize(static_cast<size_t>(bw) + 1);
    }
  } catch (const std::bad_alloc&) {
    out->clear();
    return false;
  }
  const bool dark = darkModules != 0;
  const bool wide = UseSsse3();
  const bool withStats = stats != nullptr;
  if (withStats) band.Reset();
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* sel = nullptr;
    const uint8_t* grey = nullptr;
    if (s.bytesPerPixel == 1) {
      sel = grey = s.bits + static_cast<ptrdiff_t>(s.top + y) * s.stride + s.left;
    } else if (withStats) {
      grey = GreyRow(s, y, selBuf.data(), greyBuf.data(), &sel);
    } else {
      // Without statistics only the selected channel is needed.
      const uint8_t* row = s.bits + static_cast<ptrdiff_t>(s.top + y) * s.stride + static_cast<ptrdiff_t>(s.left) * 3;
      int32_t from = 0;
#if VANTREL_QR_X86
      if (wide) from = SplitRowSsse3(row, s.byteOffset, w, selBuf.data(), greyBuf.data());
#endif
      for (int32_t x = from; x < w; ++x) selBuf[x] = row[static_cast<ptrdiff_t>(x) * 3 + s.byteOffset];
      sel = grey = selBuf.data();
    }
    uint8_t* dst = out->data() + static_cast<size_t>(y) * static_cast<size_t>(w);
    int32_t from = 0;
#if VANTREL_QR_X86
    // SSE2 is part of every x86-64 processor.
    if (!g_plainLoops) from = RowSse2(sel, grey, w, threshold, dark, dst, &band, withStats);
#endif
    RowPlain(sel, grey, from, w, threshold, dark, dst, &band, withStats);

    if (withStats && (y % kBlockSide == kBlockSide - 1 || y == h - 1)) {
      const int32_t by = y / kBlockSide;
      for (int32_t bx = 0; bx < bw; ++bx) {
        const int32_t x0 = bx * kBlockSide, x1 = std::min(w, x0 + kBlockSide);
        uint8_t mn = 255, mx = 0;
        for (int32_t x = x0; x < x1; ++x) {
          mn = std::min(mn, band.colMin[x]);
          mx = std::max(mx, band.colMax[x]);
        }
        const size_t b = static_cast<size_t>(by) * static_cast<size_t>(bw) + static_cast<size_t>(bx);
        stats->min[b] = mn;
        stats->max[b] = mx;
        stats->sum[b] = static_cast<uint16_t>(band.sum[bx]);
        const uint32_t setCount = band.set[bx] / 255u;
        stats->set[b] = static_cast<uint8_t>(setCount);
        stats->setPixels += setCount;
      }
      band.Reset();
    }
  }
  return true;
}

int32_t FlattenedBlocks(const QrBlockStats& st, int32_t w, int32_t h, int32_t contrast) {
  int32_t n = 0;
  for (int32_t by = 0; by < st.blocksDown; ++by)
    for (int32_t bx = 0; bx < st.blocksAcross; ++bx) {
      const size_t b = static_cast<size_t>(by) * static_cast<size_t>(st.blocksAcross) + static_cast<size_t>(bx);
      if (st.max[b] - st.min[b] < contrast) continue;
      if (st.set[b] == 0 || st.set[b] == st.Pixels(bx, by, w, h)) ++n;
    }
  return n;
}

bool BinarizeLocal(const QrSourceArea& s, const QrBlockStats& st, int32_t darkModules, std::vector<uint8_t>* out) {
  const int32_t w = s.width, h = s.height, bw = st.blocksAcross, bh = st.blocksDown;
  const bool dark = darkModules != 0;
  std::vector<uint8_t> point, threshold, tRow, selBuf, greyBuf, inverted, edged;
  try {
    out->resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    point.resize(static_cast<size_t>(bw) * static_cast<size_t>(bh));
    threshold.resize(point.size());
    edged.resize(point.size());
    tRow.resize(static_cast<size_t>(w));
    selBuf.resize(static_cast<size_t>(w));
    greyBuf.resize(static_cast<size_t>(w));
    inverted.resize(static_cast<size_t>(w));
  } catch (const std::bad_alloc&) {
    out->clear();
    return false;
  }
  // The block's dark point in the grey where the wanted modules are the dark
  // ones (the grey turned over for light modules): the mean of a block with
  // contrast; for a flat block a little below its minimum (light ground: the
  // 5 x 5 average keeps near a dim symbol's edge a threshold above its dark
  // modules), unless its neighbours say it lies within dark modules.
  for (int32_t by = 0; by < bh; ++by)
    for (int32_t bx = 0; bx < bw; ++bx) {
      const size_t b = static_cast<size_t>(by) * static_cast<size_t>(bw) + static_cast<size_t>(bx);
      const int32_t n = st.Pixels(bx, by, w, h);
      const int32_t mn = dark ? st.min[b] : 255 - st.max[b];
      const int32_t mx = dark ? st.max[b] : 255 - st.min[b];
      const int32_t sum = dark ? st.sum[b] : 255 * n - st.sum[b];
      int32_t p = sum / n;
      edged[b] = mx - mn > 24;
      if (mx - mn <= 24) {
        p = std::max(0, mn - 24);
        if (bx > 0 && by > 0) {
          const int32_t around = (point[b - static_cast<size_t>(bw)] + 2 * point[b - 1] +
                                  point[b - static_cast<size_t>(bw) - 1]) / 4;
          if (mn < around) p = around;
        }
      }
      point[b] = static_cast<uint8_t>(p);
    }
  for (int32_t by = 0; by < bh; ++by)
    for (int32_t bx = 0; bx < bw; ++bx) {
      const int32_t cx = std::clamp(bx, 2, std::max(2, bw - 3)), cy = std::clamp(by, 2, std::max(2, bh - 3));
      // The blocks with contrast around decide; flat ones only where there are none.
      int32_t sum = 0, n = 0, edgeSum = 0, edges = 0;
      for (int32_t y = cy - 2; y <= cy + 2; ++y)
        for (int32_t x = cx - 2; x <= cx + 2; ++x)
          if (x >= 0 && y >= 0 && x < bw && y < bh) {
            const size_t k = static_cast<size_t>(y) * static_cast<size_t>(bw) + static_cast<size_t>(x);
            sum += point[k];
            ++n;
            if (edged[k]) {
              edgeSum += point[k];
              ++edges;
            }
          }
      threshold[static_cast<size_t>(by) * static_cast<size_t>(bw) + static_cast<size_t>(bx)] =
          static_cast<uint8_t>(edges > 0 ? edgeSum / edges : sum / n);
    }
  for (int32_t y = 0; y < h; ++y) {
    if (y % kBlockSide == 0) {
      const uint8_t* t = threshold.data() + static_cast<size_t>(y / kBlockSide) * static_cast<size_t>(bw);
      for (int32_t x = 0; x < w; ++x) tRow[x] = t[x / kBlockSide];
    }
    const uint8_t* grey = GreyRow(s, y, selBuf.data(), greyBuf.data(), nullptr);
    if (!dark) {
      for (int32_t x = 0; x < w; ++x) inverted[x] = static_cast<uint8_t>(255 - grey[x]);
      grey = inverted.data();
    }
    uint8_t* dst = out->data() + static_cast<size_t>(y) * static_cast<size_t>(w);
    int32_t from = 0;
#if VANTREL_QR_X86
    if (!g_plainLoops) from = ThresholdRowSse2(grey, tRow.data(), w, dst);
#endif
    for (int32_t x = from; x < w; ++x) dst[x] = grey[x] <= tRow[x] ? 0xFF : 0;
  }
  return true;
}

void InvertBinary(const std::vector<uint8_t>& in, std::vector<uint8_t>* out) {
  out->resize(in.size());
  for (size_t i = 0; i < in.size(); ++i) (*out)[i] = static_cast<uint8_t>(~in[i]);
}

}  // namespace vantrel::qr

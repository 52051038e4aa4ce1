// Binarization, block statistics and the block-threshold image.
//
// The global binarization works a band of eight rows (one row of blocks) at
// a time: a 24-bit row is first split into the selected channel and, on the
// rows the statistics look at, the colour-blind grey; then each strip of 16
// columns (two blocks) is compared row by row while the blocks' extremes and
// sums gather in registers (SSE2 sums groups of eight bytes, which are exactly
// the blocks' rows).
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

// The colour-blind grey of a B, G, R pixel: (B + 2 G + R) / 4 as two
// rounding averages, which is what the vector loop computes.
inline uint8_t GreyOf(const uint8_t* p) {
  const int32_t br = (p[0] + p[2] + 1) >> 1;
  return static_cast<uint8_t>((br + p[1] + 1) >> 1);
}

// Splits one 24-bit row into the channel at `offset` (when sel is not null)
// and the colour-blind grey (when grey is not null), from column `from` on.
void SplitRowPlain(const uint8_t* src, int32_t offset, int32_t from, int32_t width, uint8_t* sel,
                   uint8_t* grey) {
  for (int32_t x = from; x < width; ++x) {
    const uint8_t* p = src + static_cast<ptrdiff_t>(x) * 3;
    if (sel) sel[x] = p[offset];
    if (grey) grey[x] = GreyOf(p);
  }
}

// The statistics of one block over its even rows, and its binary pixels, the
// plain way: columns [x0, x1) of the band's rows.
struct BandRows {
  const uint8_t* sel[kBlockSide];
  const uint8_t* grey[kBlockSide];
  uint8_t* dst[kBlockSide];
  int32_t rows;
};

void BlockPlain(const BandRows& band, int32_t x0, int32_t x1, int32_t threshold, bool dark, QrBlockStats* st,
                size_t b) {
  uint8_t mn = 255, mx = 0;
  uint32_t sum = 0, set = 0;
  for (int32_t r = 0; r < band.rows; ++r)
    for (int32_t x = x0; x < x1; ++x) {
      const bool on = dark ? band.sel[r][x] <= threshold : band.sel[r][x] > threshold;
      band.dst[r][x] = on ? 0xFF : 0;
      if (!st || r % 2 != 0) continue;
      const uint8_t g = band.grey[r][x];
      mn = std::min(mn, g);
      mx = std::max(mx, g);
      sum += g;
      set += on;
    }
  if (!st) return;
  st->min[b] = mn;
  st->max[b] = mx;
  st->sum[b] = static_cast<uint16_t>(sum);
  st->set[b] = static_cast<uint8_t>(set);
  st->setPixels += set;
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

// sel (when not null) receives the channel at `offset`, grey (when not null)
// the colour-blind grey, for whole groups of 16 pixels; returns where the
// plain loop takes over.
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
#define VANTREL_QR_CHANNEL(k)                                                                   \
  _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, m[k][0]), _mm_shuffle_epi8(b, m[k][1])), \
               _mm_shuffle_epi8(c, m[k][2]))
    if (!grey) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(sel + x), VANTREL_QR_CHANNEL(offset));
      continue;
    }
    const __m128i ch0 = VANTREL_QR_CHANNEL(0), ch1 = VANTREL_QR_CHANNEL(1), ch2 = VANTREL_QR_CHANNEL(2);
#undef VANTREL_QR_CHANNEL
    if (sel) _mm_storeu_si128(reinterpret_cast<__m128i*>(sel + x), offset == 0 ? ch0 : offset == 1 ? ch1 : ch2);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(grey + x), _mm_avg_epu8(_mm_avg_epu8(ch0, ch2), ch1));
  }
  return x;
}


// Two blocks (16 columns from x) of the band: compares every row, and on the
// even rows gathers both blocks' extremes, sums and set pixels.
void StripSse2(const BandRows& band, int32_t x, int32_t threshold, bool dark, QrBlockStats* st, size_t b) {
  const __m128i t = _mm_set1_epi8(static_cast<char>(threshold));
  const __m128i flip = dark ? _mm_setzero_si128() : _mm_set1_epi8(-1);
  const __m128i zero = _mm_setzero_si128();
  __m128i mn = _mm_set1_epi8(-1), mx = zero, sum = zero, set = zero;
  for (int32_t r = 0; r < band.rows; ++r) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(band.sel[r] + x));
    const __m128i on = _mm_xor_si128(_mm_cmpeq_epi8(_mm_min_epu8(v, t), v), flip);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(band.dst[r] + x), on);
    if (!st || r % 2 != 0) continue;
    const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(band.grey[r] + x));
    mn = _mm_min_epu8(mn, g);
    mx = _mm_max_epu8(mx, g);
    sum = _mm_add_epi64(sum, _mm_sad_epu8(g, zero));
    set = _mm_add_epi64(set, _mm_sad_epu8(on, zero));
  }
  if (!st) return;
  // Fold each half's eight bytes: the low byte of each 64-bit lane ends up
  // with the half's extreme.
  for (int32_t shift : {8, 16, 32}) {
    mn = _mm_min_epu8(mn, _mm_srli_epi64(mn, shift));
    mx = _mm_max_epu8(mx, _mm_srli_epi64(mx, shift));
  }
  const uint32_t sets[2] = {static_cast<uint32_t>(_mm_cvtsi128_si32(set)) / 255u,
                            static_cast<uint32_t>(_mm_extract_epi16(set, 4)) / 255u};
  st->min[b] = static_cast<uint8_t>(_mm_cvtsi128_si32(mn));
  st->min[b + 1] = static_cast<uint8_t>(_mm_extract_epi16(mn, 4));
  st->max[b] = static_cast<uint8_t>(_mm_cvtsi128_si32(mx));
  st->max[b + 1] = static_cast<uint8_t>(_mm_extract_epi16(mx, 4));
  st->sum[b] = static_cast<uint16_t>(_mm_cvtsi128_si32(sum));
  st->sum[b + 1] = static_cast<uint16_t>(_mm_extract_epi16(sum, 4));
  st->set[b] = static_cast<uint8_t>(sets[0]);
  st->set[b + 1] = static_cast<uint8_t>(sets[1]);
  st->setPixels += sets[0] + sets[1];
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
// rows, the row worked out into grey otherwise.
const uint8_t* GreyRow(const QrSourceArea& s, int32_t y, uint8_t* grey) {
  const uint8_t* row = s.bits + static_cast<ptrdiff_t>(s.top + y) * s.stride +
                       static_cast<ptrdiff_t>(s.left) * s.bytesPerPixel;
  if (s.bytesPerPixel == 1) return row;
  int32_t from = 0;
#if VANTREL_QR_X86
  if (UseSsse3()) from = SplitRowSsse3(row, s.byteOffset, s.width, nullptr, grey);
#endif
  for (int32_t x = from; x < s.width; ++x) grey[x] = GreyOf(row + static_cast<ptrdiff_t>(x) * 3);
  return grey;
}

}  // namespace

int32_t QrBlockStats::Pixels(int32_t bx, int32_t by, int32_t w, int32_t h) const {
  const int32_t rows = std::min(kBlockSide, h - by * kBlockSide);  // from an even row on
  return std::min(kBlockSide, w - bx * kBlockSide) * ((rows + 1) / 2);
}

void ForcePlainBinarizeLoops(bool plain) { g_plainLoops = plain; }

bool Binarize(const QrSourceArea& s, int32_t threshold, int32_t darkModules, std::vector<uint8_t>* out,
              QrBlockStats* stats) {
  const int32_t w = s.width, h = s.height;
  const int32_t bw = (w + kBlockSide - 1) / kBlockSide, bh = (h + kBlockSide - 1) / kBlockSide;
  const bool split = s.bytesPerPixel != 1;
  std::vector<uint8_t> selRows, greyRows;
  try {
    out->resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    if (split) {
      selRows.resize(static_cast<size_t>(w) * kBlockSide);
      if (stats) greyRows.resize(static_cast<size_t>(w) * kBlockSide);
    }
    if (stats) {
      stats->blocksAcross = bw;
      stats->blocksDown = bh;
      const size_t blocks = static_cast<size_t>(bw) * static_cast<size_t>(bh);
      stats->min.resize(blocks);
      stats->max.resize(blocks);
      stats->sum.resize(blocks);
      stats->set.resize(blocks);
      stats->setPixels = 0;
      stats->sampledPixels = 0;
    }
  } catch (const std::bad_alloc&) {
    out->clear();
    return false;
  }
  const bool dark = darkModules != 0;
  const bool ssse3 = UseSsse3();
  for (int32_t by = 0; by < bh; ++by) {
    BandRows band;
    band.rows = std::min(kBlockSide, h - by * kBlockSide);
    for (int32_t r = 0; r < band.rows; ++r) {
      const int32_t y = by * kBlockSide + r;
      const uint8_t* row = s.bits + static_cast<ptrdiff_t>(s.top + y) * s.stride +
                           static_cast<ptrdiff_t>(s.left) * s.bytesPerPixel;
      band.dst[r] = out->data() + static_cast<size_t>(y) * static_cast<size_t>(w);
      if (!split) {
        band.sel[r] = band.grey[r] = row;
        continue;
      }
      // The statistics look at every other row: half the work, and a block's
      // extremes and mean come out all but the same.
      uint8_t* sel = selRows.data() + static_cast<size_t>(r) * static_cast<size_t>(w);
      uint8_t* grey = stats && r % 2 == 0 ? greyRows.data() + static_cast<size_t>(r) * static_cast<size_t>(w) : nullptr;
      int32_t from = 0;
#if VANTREL_QR_X86
      if (ssse3) from = SplitRowSsse3(row, s.byteOffset, w, sel, grey);
#endif
      SplitRowPlain(row, s.byteOffset, from, w, sel, grey);
      band.sel[r] = sel;
      band.grey[r] = grey ? grey : sel;
    }
    const size_t first = static_cast<size_t>(by) * static_cast<size_t>(bw);
    int32_t x = 0;
#if VANTREL_QR_X86
    // SSE2 is part of every x86-64 processor.
    if (!g_plainLoops)
      for (; x + 16 <= w; x += 16) StripSse2(band, x, threshold, dark, stats, first + static_cast<size_t>(x / kBlockSide));
#endif
    for (int32_t bx = x / kBlockSide; bx < bw; ++bx)
      BlockPlain(band, bx * kBlockSide, std::min(w, (bx + 1) * kBlockSide), threshold, dark, stats,
                 first + static_cast<size_t>(bx));
    if (stats) stats->sampledPixels += static_cast<int64_t>(w) * ((band.rows + 1) / 2);
  }
  (void)ssse3;
  return true;
}

int32_t FlattenedBlocks(const QrBlockStats& st, int32_t w, int32_t h, int32_t contrast, int32_t* withContrast) {
  int32_t n = 0, high = 0;
  for (int32_t by = 0; by < st.blocksDown; ++by)
    for (int32_t bx = 0; bx < st.blocksAcross; ++bx) {
      const size_t b = static_cast<size_t>(by) * static_cast<size_t>(st.blocksAcross) + static_cast<size_t>(bx);
      if (st.max[b] - st.min[b] < contrast) continue;
      ++high;
      if (st.set[b] == 0 || st.set[b] == st.Pixels(bx, by, w, h)) ++n;
    }
  if (withContrast) *withContrast = high;
  return n;
}

bool BinarizeLocal(const QrSourceArea& s, const QrBlockStats& st, int32_t darkModules, std::vector<uint8_t>* out) {
  const int32_t w = s.width, h = s.height, bw = st.blocksAcross, bh = st.blocksDown;
  const bool dark = darkModules != 0;
  std::vector<uint8_t> point, threshold, tRow, greyBuf, inverted, edged;
  std::vector<int32_t> all, edgeSum, edgeCount;
  try {
    out->resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    point.resize(static_cast<size_t>(bw) * static_cast<size_t>(bh));
    threshold.resize(point.size());
    edged.resize(point.size());
    const size_t sums = (static_cast<size_t>(bw) + 1) * (static_cast<size_t>(bh) + 1);
    all.assign(sums, 0);
    edgeSum.assign(sums, 0);
    edgeCount.assign(sums, 0);
    tRow.resize(static_cast<size_t>(w));
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
  // Sums over the 5 x 5 blocks around each block (kept inside the area) from
  // running sums: of all points, and of the points and number of the blocks
  // with contrast, which decide where there are any.
  const size_t stride = static_cast<size_t>(bw) + 1;
  for (int32_t by = 0; by < bh; ++by)
    for (int32_t bx = 0; bx < bw; ++bx) {
      const size_t b = static_cast<size_t>(by) * static_cast<size_t>(bw) + static_cast<size_t>(bx);
      const size_t k = static_cast<size_t>(by + 1) * stride + static_cast<size_t>(bx + 1);
      all[k] = point[b] + all[k - 1] + all[k - stride] - all[k - stride - 1];
      edgeSum[k] = (edged[b] ? point[b] : 0) + edgeSum[k - 1] + edgeSum[k - stride] - edgeSum[k - stride - 1];
      edgeCount[k] = edged[b] + edgeCount[k - 1] + edgeCount[k - stride] - edgeCount[k - stride - 1];
    }
  auto box = [&](const std::vector<int32_t>& t, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    return t[static_cast<size_t>(y1) * stride + static_cast<size_t>(x1)] - t[static_cast<size_t>(y0) * stride + static_cast<size_t>(x1)] -
           t[static_cast<size_t>(y1) * stride + static_cast<size_t>(x0)] + t[static_cast<size_t>(y0) * stride + static_cast<size_t>(x0)];
  };
  for (int32_t by = 0; by < bh; ++by)
    for (int32_t bx = 0; bx < bw; ++bx) {
      const int32_t cx = std::clamp(bx, 2, std::max(2, bw - 3)), cy = std::clamp(by, 2, std::max(2, bh - 3));
      const int32_t x0 = std::max(0, cx - 2), x1 = std::min(bw, cx + 3), y0 = std::max(0, cy - 2), y1 = std::min(bh, cy + 3);
      const int32_t edges = box(edgeCount, x0, y0, x1, y1);
      const int32_t t = edges > 0 ? box(edgeSum, x0, y0, x1, y1) / edges
                                  : box(all, x0, y0, x1, y1) / ((x1 - x0) * (y1 - y0));
      threshold[static_cast<size_t>(by) * static_cast<size_t>(bw) + static_cast<size_t>(bx)] = static_cast<uint8_t>(t);
    }
  for (int32_t y = 0; y < h; ++y) {
    if (y % kBlockSide == 0) {
      const uint8_t* t = threshold.data() + static_cast<size_t>(y / kBlockSide) * static_cast<size_t>(bw);
      for (int32_t x = 0; x < w; ++x) tRow[x] = t[x / kBlockSide];
    }
    const uint8_t* grey = GreyRow(s, y, greyBuf.data());
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

// Finder search.
//
// The run test walks outwards from a set pixel: leftwards (upwards) over the
// core, the inner light ring and the outer dark ring, rightwards (downwards)
// over the core, the far light ring and the far dark ring, and accepts the five
// widths when they fit 1:1:3:1:1 with generous bounds. The two sides treat the
// image edge differently on purpose: an outer dark run may start at column
// (row) 0, which is never examined, but a far run that reaches the last column
// (row) fails.
#include "qr_finder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace vantrel::qr {

namespace {

// The run test along one line of the image: pixel(i) for i in [0, len) is
// line[i * step]; pos is the tested pixel on it.
bool RunTest(const uint8_t* line, ptrdiff_t step, int32_t len, int32_t pos, QrRunRecord* r,
             float* centre) {
  auto set = [&](int32_t i) { return line[i * step] != 0; };

  int32_t i = pos - 1;
  while (i >= 1 && set(i)) --i;
  if (i < 1) return false;
  const int32_t s3 = i + 1;

  while (i >= 1 && !set(i)) --i;
  if (i < 1) return false;
  const int32_t s2 = i + 1;

  while (i >= 1 && set(i)) --i;
  const int32_t s1 = i >= 1 ? i + 1 : 0;

  i = pos + 1;
  while (i < len - 1 && set(i)) ++i;
  if (i >= len - 1) return false;
  const int32_t e4 = i;

  ++i;
  while (i < len - 1 && !set(i)) ++i;
  if (i >= len - 1) return false;
  const int32_t e5 = i;

  ++i;
  while (i < len - 1 && set(i)) ++i;
  if (i >= len - 1) return false;
  const int32_t e6 = i;

  const float u = static_cast<float>(e6 - s1) / 7;
  if (u == 0) return false;
  const int32_t d1 = s2 - s1, d2 = s3 - s2, d3 = e4 - s3, d4 = e5 - e4, d5 = e6 - e5;
  if (d1 == 0 || d2 == 0 || d3 == 0 || d4 == 0 || d5 == 0) return false;
  const double lo = 0.399 * u, hi = 1.5 * u;
  for (int32_t d : {d1, d2, d4, d5})
    if (d < lo || d > hi) return false;
  if (d3 < 2.499 * u || d3 > 3.5 * u) return false;

  if (r) *r = QrRunRecord{s1, s2, s3, e4, e5, e6};
  if (centre) *centre = static_cast<float>((e6 - s1) * 0.5 + s1);
  return true;
}

}  // namespace

bool HorizontalRunTest(const QrBinaryImage& img, int32_t x, int32_t y, QrRunRecord* runs,
                       float* centre) {
  if (!(x < img.w - 1 && y < img.h - 1 && img.Set(x, y))) return false;
  const uint8_t* row = img.bits + static_cast<size_t>(y) * static_cast<size_t>(img.w);
  return RunTest(row, 1, img.w, x, runs, centre);
}

bool VerticalRunTest(const QrBinaryImage& img, int32_t x, int32_t y, QrRunRecord* runs,
                     float* centre) {
  if (!(x < img.w - 1 && y < img.h - 1 && img.Set(x, y))) return false;
  return RunTest(img.bits + x, img.w, img.h, y, runs, centre);
}

namespace {

// Where the colour changes along a row: every i in [1, w) with
// row[i] != row[i - 1], ascending. Returns their number.
int32_t RowEdges(const uint8_t* row, int32_t w, int32_t* edges) {
  int32_t n = 0, i = 1;
#if defined(__x86_64__) || defined(__i386__)
  for (; i + 16 <= w; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i - 1));
    uint32_t changes = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b))) ^ 0xFFFFu;
    while (changes) {
      edges[n++] = i + __builtin_ctz(changes);
      changes &= changes - 1;
    }
  }
#endif
  for (; i < w; ++i)
    if (row[i] != row[i - 1]) edges[n++] = i;
  return n;
}

// The relaxed test of five runs dark, light, dark, light, dark with the
// widths d[0..4]: proportions that blur, a threshold off the middle, rounded
// corners or a cut at the picture's edge leave of 1:1:3:1:1.
bool RelaxedProportions(const int32_t d[5]) {
  const int32_t total = d[0] + d[1] + d[2] + d[3] + d[4];
  if (total < 7) return false;
  const float u = static_cast<float>(total) / 7;
  for (int32_t k : {0, 4})
    if (d[k] < 0.4f * u || d[k] > 2.0f * u) return false;
  for (int32_t k : {1, 3})
    if (d[k] < 0.25f * u || d[k] > 1.8f * u) return false;
  if (d[2] < 2.0f * u || d[2] > 4.8f * u) return false;
  return d[2] > d[1] && d[2] > d[3];
}

// Relaxed hits of one row: every set run with two set runs on either side,
// the picture's surroundings reading as light.
void AddRowHits(const int32_t* bounds, int32_t runs, bool firstSet, int32_t y, std::vector<QrRowHit>* hits) {
  if (static_cast<int32_t>(hits->size()) >= kMaxRowHits) return;
  for (int32_t k = firstSet ? 2 : 3; k + 2 < runs; k += 2) {
    int32_t d[5];
    for (int32_t m = 0; m < 5; ++m) d[m] = bounds[k - 2 + m + 1] - bounds[k - 2 + m];
    if (!RelaxedProportions(d)) continue;
    // The centre from the midpoints of the core and of the light ring.
    const float core = 0.5f * static_cast<float>(bounds[k] + bounds[k + 1]);
    const float ring = 0.5f * static_cast<float>(bounds[k - 1] + bounds[k + 2]);
    hits->push_back(QrRowHit{0.5f * (core + ring), y, static_cast<float>(bounds[k + 3] - bounds[k - 2])});
    if (static_cast<int32_t>(hits->size()) >= kMaxRowHits) return;
  }
}

}  // namespace

bool CollectRowHits(const QrBinaryImage& img, std::vector<QrRowHit>* hits) {
  hits->clear();
  std::vector<int32_t> bounds;
  try {
    bounds.resize(static_cast<size_t>(img.w) + 2);
    hits->reserve(kMaxRowHits);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int32_t y = 2; y < img.h - 2; y += 2) {
    const uint8_t* row = img.bits + static_cast<size_t>(y) * static_cast<size_t>(img.w);
    bounds[0] = 0;
    const int32_t runs = RowEdges(row, img.w, bounds.data() + 1) + 1;
    bounds[static_cast<size_t>(runs)] = img.w;
    AddRowHits(bounds.data(), runs, row[0] != 0, y, hits);
    if (static_cast<int32_t>(hits->size()) >= kMaxRowHits) break;
  }
  return true;
}

bool FindFinders(const QrBinaryImage& img, std::vector<QrFinder>* finders, std::vector<QrRowHit>* hits) {
  finders->clear();
  if (hits) hits->clear();
  // Run boundaries of one row: 0, the colour changes, w.
  std::vector<int32_t> bounds;
  try {
    bounds.resize(static_cast<size_t>(img.w) + 2);
    if (hits) hits->reserve(kMaxRowHits);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int32_t y = 2; y < img.h - 2; y += 2) {
    const uint8_t* row = img.bits + static_cast<size_t>(y) * static_cast<size_t>(img.w);
    bounds[0] = 0;
    const int32_t changes = RowEdges(row, img.w, bounds.data() + 1);
    const int32_t runs = changes + 1;
    bounds[static_cast<size_t>(runs)] = img.w;
    const bool firstSet = row[0] != 0;

    if (hits) AddRowHits(bounds.data(), runs, row[0] != 0, y, hits);

    // The strict search visits each set run once, at its first even
    // column from 2 on: every scan position on the same run gives the same
    // run record and so the same finder or a duplicate of it.
    for (int32_t k = firstSet ? 0 : 1; k < runs; k += 2) {
      const int32_t a = bounds[k], b = bounds[k + 1];
      const int32_t here = std::max(a, 2) + (std::max(a, 2) & 1);
      if (here >= b || here >= img.w - 2) continue;
      float cx = 0, cy = 0;
      if (!HorizontalRunTest(img, here, y, nullptr, &cx)) continue;
      if (!VerticalRunTest(img, QrRound(cx), y, nullptr, &cy)) continue;

      // Re-centre on the pattern's middle row and column until the centre stays put.
      bool dropped = false;
      for (int iteration = 0; iteration < 8; ++iteration) {
        float cx2 = 0, cy2 = 0;
        if (!HorizontalRunTest(img, QrRound(cx), QrRound(cy), nullptr, &cx2) ||
            !VerticalRunTest(img, QrRound(cx2), QrRound(cy), nullptr, &cy2)) {
          dropped = true;
          break;
        }
        const bool settled = cx2 == cx && cy2 == cy;
        cx = cx2;
        cy = cy2;
        if (settled) break;
      }
      if (dropped) continue;

      bool known = false;
      for (const QrFinder& f : *finders)
        if (std::fabs(f.x - cx) < 1 && std::fabs(f.y - cy) < 1) {
          known = true;
          break;
        }
      if (known) continue;

      try {
        finders->push_back(QrFinder{cx, cy, 0});
      } catch (const std::bad_alloc&) {
        finders->clear();
        return false;
      }
      if (static_cast<int32_t>(finders->size()) >= kMaxFinders) return true;
    }
  }
  return true;
}

}  // namespace vantrel::qr

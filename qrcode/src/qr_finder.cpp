// Binarization and finder search.
//
// The run test walks outwards from a set pixel: leftwards (upwards) over the
// core, the inner light ring and the outer dark ring, rightwards (downwards)
// over the core, the far light ring and the far dark ring, and accepts the five
// widths when they fit 1:1:3:1:1 with generous bounds. The two sides treat the
// image edge differently on purpose: an outer dark run may start at column
// (row) 0, which is never examined, but a far run that reaches the last column
// (row) fails.
#include "qr_finder.h"

#include <cmath>
#include <cstddef>
#include <new>

namespace vantrel::qr {

namespace {

// One row through a table of the 256 values: a lookup per pixel beats any
// comparison the compiler can vectorize for three-byte pixels.
void BinarizeRow(const uint8_t* __restrict src, size_t bpp, uint8_t* __restrict dst, int32_t width,
                 const uint8_t* __restrict table) {
  if (bpp == 1) {
    for (int32_t x = 0; x < width; ++x) dst[x] = table[src[x]];
  } else {
    for (int32_t x = 0; x < width; ++x) dst[x] = table[src[static_cast<size_t>(x) * 3]];
  }
}

}  // namespace

bool Binarize(const QrSourceArea& s, int32_t threshold, int32_t darkModules,
              std::vector<uint8_t>* out) {
  try {
    out->resize(static_cast<size_t>(s.width) * static_cast<size_t>(s.height));
  } catch (const std::bad_alloc&) {
    out->clear();
    return false;
  }
  uint8_t table[256];
  for (int32_t v = 0; v < 256; ++v) {
    const bool set = darkModules ? (v <= threshold) : (v > threshold);
    table[v] = set ? 0xFF : 0;
  }
  const size_t bpp = s.bytesPerPixel == 1 ? 1 : 3;
  for (int32_t y = 0; y < s.height; ++y) {
    const uint8_t* src = s.bits + static_cast<ptrdiff_t>(s.top + y) * s.stride +
                         static_cast<ptrdiff_t>(s.left) * s.bytesPerPixel + s.byteOffset;
    BinarizeRow(src, bpp, out->data() + static_cast<size_t>(y) * static_cast<size_t>(s.width), s.width, table);
  }
  return true;
}

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

bool FindFinders(const QrBinaryImage& img, std::vector<QrFinder>* finders) {
  finders->clear();
  for (int32_t y = 2; y < img.h - 2; y += 2) {
    const uint8_t* row = img.bits + static_cast<size_t>(y) * static_cast<size_t>(img.w);
    for (int32_t x = 2; x < img.w - 2; x += 2) {
      if (!row[x]) continue;  // the run test fails at once on a clear pixel
      // Every scan position on the same set run gives the same run record,
      // centre and refinement, and so the same finder or a duplicate of it:
      // the rest of the run is passed over.
      int32_t runEnd = x + 1;
      while (runEnd < img.w && row[runEnd]) ++runEnd;
      const int32_t here = x;
      x = (runEnd + 1) / 2 * 2 - 2;  // the loop's step lands on the first even position past the run
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

#include "vantrel/picture_open.h"

#include <algorithm>
#include <cstring>

namespace vantrel {

namespace {

// The picture's blue, green and red at (x, y).
inline void Pixel(const uint8_t* row, int32_t bytesPerPixel, int32_t x, uint32_t* b, uint32_t* g, uint32_t* r) {
  const uint8_t* p = row + static_cast<ptrdiff_t>(x) * bytesPerPixel;
  if (bytesPerPixel == 1) {
    *b = *g = *r = p[0];
  } else {
    *b = p[0];
    *g = p[1];
    *r = p[2];
  }
}

}  // namespace

DibImage ReadPictureForSlot(const char* path, int32_t* status) {
  int32_t why = kDibReadCannotOpen;
  DibImage picture = DibReadPictureFile(path, &why);
  if (status) *status = picture ? kPictureOpened : why;
  return picture;
}

bool FitPictureIntoSlot(DibImage picture, DibImage slot) {
  if (!picture || !slot || DibGetBitCount(slot) != 24) return false;
  const int32_t bits = DibGetBitCount(picture);
  if (bits != 8 && bits != 24 && bits != 32) return false;
  const int32_t pw = DibGetWidth(picture), ph = DibGetHeight(picture);
  const int32_t sw = DibGetWidth(slot), sh = DibGetHeight(slot);
  if (pw <= 0 || ph <= 0 || sw <= 0 || sh <= 0) return false;
  const int32_t bpp = bits / 8;
  const uint8_t* src = DibGetBits(picture);
  const int32_t srcStride = DibGetStride(picture);
  uint8_t* dst = DibGetBits(slot);
  const int32_t dstStride = DibGetStride(slot);

  // The size on the slot: the picture's own, or shrunk by the one factor that
  // fits both sides (never below one pixel).
  int32_t dw = pw, dh = ph;
  if (pw > sw || ph > sh) {
    if (int64_t{pw} * sh >= int64_t{ph} * sw) {
      dw = sw;
      dh = static_cast<int32_t>(std::max<int64_t>(1, int64_t{ph} * sw / pw));
    } else {
      dh = sh;
      dw = static_cast<int32_t>(std::max<int64_t>(1, int64_t{pw} * sh / ph));
    }
  }

  for (int32_t y = 0; y < sh; ++y) std::memset(dst + static_cast<ptrdiff_t>(y) * dstStride, 0xFF, static_cast<size_t>(sw) * 3);

  if (dw == pw && dh == ph) {
    for (int32_t y = 0; y < ph; ++y) {
      const uint8_t* row = src + static_cast<ptrdiff_t>(y) * srcStride;
      uint8_t* out = dst + static_cast<ptrdiff_t>(y) * dstStride;
      for (int32_t x = 0; x < pw; ++x) {
        uint32_t b, g, r;
        Pixel(row, bpp, x, &b, &g, &r);
        out[3 * x] = static_cast<uint8_t>(b);
        out[3 * x + 1] = static_cast<uint8_t>(g);
        out[3 * x + 2] = static_cast<uint8_t>(r);
      }
    }
    return true;
  }

  // Each slot pixel is the mean of the block of picture pixels it covers:
  // columns [x * pw / dw, (x + 1) * pw / dw), rows likewise. Every picture
  // pixel is read once and nothing is allocated.
  for (int32_t y = 0; y < dh; ++y) {
    const int32_t y0 = static_cast<int32_t>(int64_t{y} * ph / dh);
    const int32_t y1 = std::max(y0 + 1, static_cast<int32_t>(int64_t{y + 1} * ph / dh));
    uint8_t* out = dst + static_cast<ptrdiff_t>(y) * dstStride;
    for (int32_t x = 0; x < dw; ++x) {
      const int32_t x0 = static_cast<int32_t>(int64_t{x} * pw / dw);
      const int32_t x1 = std::max(x0 + 1, static_cast<int32_t>(int64_t{x + 1} * pw / dw));
      uint64_t b = 0, g = 0, r = 0;
      for (int32_t yy = y0; yy < y1; ++yy) {
        const uint8_t* row = src + static_cast<ptrdiff_t>(yy) * srcStride;
        for (int32_t xx = x0; xx < x1; ++xx) {
          uint32_t pb, pg, pr;
          Pixel(row, bpp, xx, &pb, &pg, &pr);
          b += pb;
          g += pg;
          r += pr;
        }
      }
      const uint64_t n = uint64_t(x1 - x0) * uint64_t(y1 - y0);
      out[3 * x] = static_cast<uint8_t>((b + n / 2) / n);
      out[3 * x + 1] = static_cast<uint8_t>((g + n / 2) / n);
      out[3 * x + 2] = static_cast<uint8_t>((r + n / 2) / n);
    }
  }
  return true;
}

}  // namespace vantrel

#include "vantrel/dib.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "vantrel/draw_context.h"

namespace {

// The wrapper's fields are pointer-sized on 64-bit systems; only the tag at the
// start is fixed, and it is what tells a wrapper from a packed bitmap.
struct DibWrapperRecord {
  uint32_t tag;  // kDibWrapperTag
  GmHandle header;
  uintptr_t reserved0;
  void* bits;
  uintptr_t reserved[5];
};

constexpr uint64_t kMaxPixelBlock = UINT32_MAX;  // biSizeImage is 32 bits

struct Geometry {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bitCount = 0;
  uint32_t colours = 0;
  uint32_t pixelBytes = 0;
};

// Validates the creation arguments and works out the header values; false for
// anything whose sizes would not fit the header fields.
bool ComputeGeometry(int32_t width, int32_t height, int32_t bytesPerPixel, int32_t alignment,
                     Geometry* g) {
  if (width == 0 || height == 0 || width == INT32_MIN || height == INT32_MIN) return false;
  if (alignment < 0) return false;
  uint32_t n = static_cast<uint32_t>(bytesPerPixel);
  uint64_t bits = (n <= 1) ? 8 : 8ull * n;
  if (bits > UINT16_MAX) return false;
  uint64_t w = static_cast<uint64_t>(std::abs(width));
  uint64_t h = static_cast<uint64_t>(std::abs(height));
  uint64_t bpp = (bits + 7) / 8;
  uint64_t rowBytes = w * bpp;  // at most 2^31 * 8191, no overflow in 64 bits
  uint64_t stride = rowBytes;
  if (alignment > 0) stride = (rowBytes + alignment - 1) / alignment * alignment;
  uint64_t stride4 = (rowBytes + 3) / 4 * 4;  // what DibGetStride will report
  // Every reader of the rows steps by the 4-byte stride; a block laid out with a
  // smaller alignment would be read past its end.
  if (stride < stride4) stride = stride4;
  if (stride4 > INT32_MAX || stride > kMaxPixelBlock) return false;
  if (h > kMaxPixelBlock / std::max<uint64_t>(stride, 1)) return false;
  g->width = static_cast<int32_t>(w);
  g->height = static_cast<int32_t>(h);
  g->bitCount = static_cast<int32_t>(bits);
  g->colours = bits <= 8 ? (1u << bits) : 0;
  g->pixelBytes = static_cast<uint32_t>(stride * h);
  return true;
}

void WriteHeader(uint8_t* block, const Geometry& g) {
  BitmapInfoHeader hdr{};
  hdr.biSize = kBitmapInfoHeaderSize;
  hdr.biWidth = g.width;
  hdr.biHeight = -g.height;
  hdr.biPlanes = 1;
  hdr.biBitCount = static_cast<uint16_t>(g.bitCount);
  hdr.biCompression = kBitmapUncompressed;
  hdr.biSizeImage = g.pixelBytes;
  hdr.biClrUsed = g.colours;
  std::memcpy(block, &hdr, sizeof hdr);
  RgbQuad* table = reinterpret_cast<RgbQuad*>(block + sizeof hdr);
  for (uint32_t i = 0; i < g.colours; ++i) {
    uint8_t v = static_cast<uint8_t>(i * 255 / (g.colours - 1));
    table[i] = RgbQuad{v, v, v, 0};
  }
}

// Blocks never move: their bytes are read in place, without a lock.
uint32_t TagOf(DibImage image) {
  uint32_t tag = 0;
  if (const void* p = GmAddress(image)) std::memcpy(&tag, p, sizeof tag);
  return tag;
}

DibWrapperRecord* WrapperOf(DibImage image) { return static_cast<DibWrapperRecord*>(GmAddress(image)); }

// Number of colour table entries as a reader of the header sees it.
uint32_t ColourEntries(const BitmapInfoHeader* h) {
  if (h->biClrUsed != 0) return h->biClrUsed;
  switch (h->biBitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
  }
}

int32_t BytesPerPixel(int32_t bitCount) { return (bitCount + 7) / 8; }

}  // namespace

extern "C" {

DibImage DibCreate(int32_t width, int32_t height, int32_t bytesPerPixel, int32_t alignment) {
  Geometry g;
  if (!ComputeGeometry(width, height, bytesPerPixel, alignment, &g)) return nullptr;
  size_t size = kBitmapInfoHeaderSize + size_t{g.colours} * 4 + g.pixelBytes;
  GmHandle h = GmAlloc(size);
  if (!h) return nullptr;
  // Locked for the image's whole life: DibGetBits and DibGetInfo addresses stay valid.
  WriteHeader(static_cast<uint8_t*>(GmLock(h)), g);
  return h;
}

DibImage DibCreateOverBits(void* bits, int32_t width, int32_t height, int32_t bytesPerPixel,
                           int32_t alignment) {
  if (!bits) return nullptr;
  Geometry g;
  if (!ComputeGeometry(width, height, bytesPerPixel, alignment, &g)) return nullptr;
  GmHandle header = GmAlloc(kBitmapInfoHeaderSize + size_t{g.colours} * 4);
  if (!header) return nullptr;
  GmHandle record = GmAlloc(sizeof(DibWrapperRecord));
  if (!record) {
    GmFree(header);
    return nullptr;
  }
  WriteHeader(static_cast<uint8_t*>(GmLock(header)), g);
  auto* w = static_cast<DibWrapperRecord*>(GmLock(record));
  w->tag = kDibWrapperTag;
  w->header = header;
  w->bits = bits;
  return record;
}

void DibFree(DibImage image) {
  if (!image) return;
  // GmFree releases a block whatever locks its users left on it.
  if (TagOf(image) == kDibWrapperTag) GmFree(WrapperOf(image)->header);
  GmFree(image);
}

BitmapInfoHeader* DibGetInfo(DibImage image) {
  if (!image) return nullptr;
  if (TagOf(image) == kDibWrapperTag) return static_cast<BitmapInfoHeader*>(GmAddress(WrapperOf(image)->header));
  return static_cast<BitmapInfoHeader*>(GmAddress(image));
}

int32_t DibGetWidth(DibImage image) {
  const BitmapInfoHeader* h = DibGetInfo(image);
  return h ? h->biWidth : 0;
}

int32_t DibGetHeight(DibImage image) {
  const BitmapInfoHeader* h = DibGetInfo(image);
  if (!h || h->biHeight == INT32_MIN) return 0;
  return h->biHeight < 0 ? -h->biHeight : h->biHeight;
}

int32_t DibGetBitCount(DibImage image) {
  const BitmapInfoHeader* h = DibGetInfo(image);
  return h ? h->biBitCount : 0;
}

int32_t DibGetStride(DibImage image) {
  const BitmapInfoHeader* h = DibGetInfo(image);
  if (!h) return 0;
  int64_t row = int64_t{h->biWidth < 0 ? 0 : h->biWidth} * BytesPerPixel(h->biBitCount);
  return static_cast<int32_t>((row + 3) / 4 * 4);
}

uint8_t* DibGetBits(DibImage image) {
  if (!image) return nullptr;
  if (TagOf(image) == kDibWrapperTag) return static_cast<uint8_t*>(WrapperOf(image)->bits);
  auto* h = DibGetInfo(image);
  return reinterpret_cast<uint8_t*>(h) + kBitmapInfoHeaderSize + size_t{ColourEntries(h)} * 4;
}

DibView DibGetView(DibImage image) {
  DibView v{};
  const BitmapInfoHeader* h = DibGetInfo(image);
  if (!h) return v;
  v.bits = DibGetBits(image);
  v.width = h->biWidth;
  v.height = DibGetHeight(image);
  v.bitCount = h->biBitCount;
  v.stride = DibGetStride(image);
  return v;
}

int32_t DibCopyPixels(DibImage destination, DibImage source) {
  if (!destination || !source) return 1;
  const int32_t rows = std::min(DibGetHeight(destination), DibGetHeight(source));
  const int32_t cols = std::min(DibGetWidth(destination), DibGetWidth(source));
  if (rows <= 0 || cols <= 0) return 1;
  const int32_t s = DibGetBitCount(source) / 8;
  const int32_t d = DibGetBitCount(destination) / 8;
  const int32_t sStride = DibGetStride(source);
  const int32_t dStride = DibGetStride(destination);
  const uint8_t* sBits = DibGetBits(source);
  uint8_t* dBits = DibGetBits(destination);
  for (int32_t y = 0; y < rows; ++y) {
    const uint8_t* sp = sBits + static_cast<ptrdiff_t>(y) * sStride;
    uint8_t* dp = dBits + static_cast<ptrdiff_t>(y) * dStride;
    if (s == 1 && d == 1) {
      std::memmove(dp, sp, static_cast<size_t>(cols));
    } else if (s == 1 && (d == 3 || d == 4)) {
      for (int32_t x = 0; x < cols; ++x, dp += d) dp[0] = dp[1] = dp[2] = sp[x];
    } else if (s == d) {
      std::memmove(dp, sp, static_cast<size_t>(cols) * static_cast<size_t>(s));
    } else if ((s == 3 || s == 4) && d == 1) {
      for (int32_t x = 0; x < cols; ++x, sp += s) {
        dp[x] = static_cast<uint8_t>(0.587 * sp[1] + 0.299 * sp[2] + 0.114 * sp[0]);
      }
    } else {
      const int32_t n = std::min(s, d);
      for (int32_t x = 0; x < cols; ++x, sp += s, dp += d) std::memcpy(dp, sp, static_cast<size_t>(n));
    }
  }
  return 1;
}

DibImage DibDuplicate(DibImage source) {
  if (!source) return nullptr;
  DibImage copy = DibCreate(DibGetWidth(source), DibGetHeight(source), DibGetBitCount(source) / 8, 4);
  if (!copy) return nullptr;
  std::memcpy(DibGetBits(copy), DibGetBits(source),
              static_cast<size_t>(DibGetStride(source)) * static_cast<size_t>(DibGetHeight(source)));
  return copy;
}

DibImage DibCrop(DibImage source, const DibRect* rect) {
  if (!source) return nullptr;
  const int32_t w = DibGetWidth(source);
  const int32_t h = DibGetHeight(source);
  DibRect r = rect ? *rect : DibRect{0, 0, w - 1, h - 1};
  const int64_t left = std::min(r.left, r.right), right = std::max(r.left, r.right);
  const int64_t top = std::min(r.top, r.bottom), bottom = std::max(r.top, r.bottom);
  const int64_t cw = right - left + 1, ch = bottom - top + 1;
  if (cw > INT32_MAX || ch > INT32_MAX) return nullptr;
  const int32_t bytes = DibGetBitCount(source) / 8;
  DibImage out = DibCreate(static_cast<int32_t>(cw), static_cast<int32_t>(ch), bytes, 4);
  if (!out) return nullptr;
  const int64_t l2 = std::max<int64_t>(left, 0), t2 = std::max<int64_t>(top, 0);
  const int64_t r2 = std::min<int64_t>(right, w - 1), b2 = std::min<int64_t>(bottom, h - 1);
  if (l2 > r2 || t2 > b2) return out;
  const int32_t bpp = BytesPerPixel(DibGetBitCount(source));
  const int32_t sStride = DibGetStride(source), dStride = DibGetStride(out);
  const uint8_t* sBits = DibGetBits(source);
  uint8_t* dBits = DibGetBits(out);
  const size_t n = static_cast<size_t>(r2 - l2 + 1) * bpp;
  for (int64_t y = t2; y <= b2; ++y) {
    std::memcpy(dBits + (y - top) * dStride + (l2 - left) * bpp, sBits + y * sStride + l2 * bpp, n);
  }
  return out;
}

DibImage DibRotate(DibImage source, int32_t degreesClockwise) {
  if (!source) return nullptr;
  const int32_t turn = degreesClockwise == 0 ? 0 : degreesClockwise == 90 ? 1 : degreesClockwise == 180 ? 2
                     : degreesClockwise == 270 ? 3 : -1;
  if (turn < 0) return nullptr;
  const int32_t w = DibGetWidth(source), h = DibGetHeight(source);
  const int32_t bpp = BytesPerPixel(DibGetBitCount(source));
  const bool swap = (turn & 1) != 0;
  DibImage out = DibCreate(swap ? h : w, swap ? w : h, DibGetBitCount(source) / 8, 4);
  if (!out) return nullptr;
  const int32_t sStride = DibGetStride(source), dStride = DibGetStride(out);
  const uint8_t* sBits = DibGetBits(source);
  uint8_t* dBits = DibGetBits(out);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* sp = sBits + static_cast<ptrdiff_t>(y) * sStride;
    for (int32_t x = 0; x < w; ++x, sp += bpp) {
      int32_t dx = x, dy = y;
      switch (turn) {
        case 1: dx = h - 1 - y; dy = x; break;          // the left column becomes the top row
        case 2: dx = w - 1 - x; dy = h - 1 - y; break;
        case 3: dx = y; dy = w - 1 - x; break;
        default: break;
      }
      std::memcpy(dBits + static_cast<ptrdiff_t>(dy) * dStride + static_cast<ptrdiff_t>(dx) * bpp, sp,
                  static_cast<size_t>(bpp));
    }
  }
  return out;
}

}  // extern "C"

int32_t DibDraw(vantrel::DrawContext* dc, DibImage image, const DibRect* destination,
                const DibRect* source) {
  if (!dc || !image) return 0;
  const int32_t w = DibGetWidth(image), h = DibGetHeight(image);
  const DibRect whole{0, 0, w - 1, h - 1};
  const DibRect d = destination ? *destination : whole;
  const DibRect s = source ? *source : whole;
  const DibView px = DibGetView(image);
  const int64_t dw = int64_t{d.right} - d.left + 1, dh = int64_t{d.bottom} - d.top + 1;
  const int64_t sw = int64_t{s.right} - s.left + 1, sh = int64_t{s.bottom} - s.top + 1;
  if (dw > INT32_MAX || dh > INT32_MAX || sw > INT32_MAX || sh > INT32_MAX ||
      dw < INT32_MIN || dh < INT32_MIN || sw < INT32_MIN || sh < INT32_MIN) {
    return 0;
  }
  return dc->DrawPixels(px, d.left, d.top, static_cast<int32_t>(dw), static_cast<int32_t>(dh), s.left,
                        s.top, static_cast<int32_t>(sw), static_cast<int32_t>(sh));
}

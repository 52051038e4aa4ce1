#include "vantrel/dib_file.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bmp_internal.h"

namespace vantrel::detail {
namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool ReadExactly(FILE* f, void* buf, size_t n) { return n == 0 || std::fread(buf, 1, n, f) == n; }

// The usual masks of a 32-bit file: blue, green and red in bytes 0, 1 and 2.
bool UsualMasks(uint32_t red, uint32_t green, uint32_t blue) {
  return red == 0x00FF0000u && green == 0x0000FF00u && blue == 0x000000FFu;
}

uint8_t GreyOf(uint8_t b, uint8_t g, uint8_t r) {
  double v = 0.2989 * r + 0.5866 * g + 0.1145 * b;
  if (v <= 0) return 0;
  if (v >= 255) return 255;
  return static_cast<uint8_t>(v);
}

enum class Rule { kNone, kCopy, kGreyToColour, kColourToGrey, kThreeBytes, kPalette };

Rule RuleFor(int32_t g, int32_t h, bool applyPalette) {
  const bool colourImage = (h == 24 || h == 32);
  if ((g == 1 || g == 4 || (g == 8 && applyPalette)) && (h == 8 || colourImage)) return Rule::kPalette;
  if (g == h && g >= 8) return Rule::kCopy;
  if (g == 8 && colourImage) return Rule::kGreyToColour;
  if ((g == 24 || g == 32) && h == 8) return Rule::kColourToGrey;
  if ((g == 24 && h == 32) || (g == 32 && h == 24)) return Rule::kThreeBytes;
  return Rule::kNone;
}

}  // namespace

int32_t ParseBmpHeader(FILE* f, BmpHeader* out, uint64_t maxPixels) {
  *out = BmpHeader{};
  const off_t start = ftello(f);
  if (start < 0) return kDibReadBroken;

  uint8_t fileHeader[kBitmapFileHeaderSize];
  size_t got = std::fread(fileHeader, 1, sizeof fileHeader, f);
  uint32_t offBits = 0;
  if (got >= 2 && fileHeader[0] == 'B' && fileHeader[1] == 'M') {
    if (got < sizeof fileHeader) return kDibReadBroken;
    offBits = Le32(fileHeader + 10);
  } else if (fseeko(f, start, SEEK_SET) != 0) {
    return kDibReadBroken;
  }

  uint8_t raw[124] = {};
  if (!ReadExactly(f, raw, 4)) return kDibReadBroken;
  const uint32_t size = Le32(raw);
  BitmapInfoHeader& h = out->info;
  const bool core = size == kBitmapCoreHeaderSize;
  if (core) {
    if (!ReadExactly(f, raw + 4, 8)) return kDibReadBroken;
    h.biWidth = Le16(raw + 4);
    h.biHeight = Le16(raw + 6);
    h.biPlanes = Le16(raw + 8);
    h.biBitCount = Le16(raw + 10);
  } else if (size == kBitmapInfoHeaderSize || size == 108 || size == 124) {
    // The larger headers that current programs write begin with the 40 bytes
    // of the ordinary one; what follows (masks, colour space) is not needed.
    if (!ReadExactly(f, raw + 4, size - 4)) return kDibReadBroken;
    std::memcpy(&h, raw, sizeof h);
  } else {
    return size < kBitmapCoreHeaderSize || size > 4096 ? kDibReadBroken : kDibReadUnsupported;
  }
  h.biSize = kBitmapInfoHeaderSize;

  const int32_t bits = h.biBitCount;
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN || bits == 0) return kDibReadBroken;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    return kDibReadUnsupported;

  if (h.biCompression == kBitmapBitFields) {
    uint32_t red, green, blue;
    if (size == kBitmapInfoHeaderSize) {
      uint8_t masks[12];
      if (!ReadExactly(f, masks, sizeof masks)) return kDibReadBroken;
      red = Le32(masks), green = Le32(masks + 4), blue = Le32(masks + 8);
    } else {
      red = Le32(raw + 40), green = Le32(raw + 44), blue = Le32(raw + 48);
    }
    if (bits != 32 || !UsualMasks(red, green, blue)) return kDibReadUnsupported;
  } else if (h.biCompression != kBitmapUncompressed) {
    return kDibReadUnsupported;
  }

  uint32_t colours = h.biClrUsed;
  if (colours == 0) colours = bits <= 8 ? (1u << bits) : 0;
  if (colours > 256) return kDibReadBroken;

  const uint64_t height = h.biHeight < 0 ? uint64_t(-int64_t{h.biHeight}) : uint64_t(h.biHeight);
  const uint64_t rowBytes = (uint64_t(bits) * uint64_t(h.biWidth) + 31) / 32 * 4;
  if (uint64_t(h.biWidth) * height > EffectiveMaxPixels(maxPixels)) return kDibReadTooLarge;
  if (rowBytes * height > kMaxPictureBytes) return kDibReadTooLarge;

  const size_t entry = core ? 3 : 4;
  uint8_t table[256 * 4];
  if (!ReadExactly(f, table, colours * entry)) return kDibReadBroken;
  for (uint32_t i = 0; i < colours; ++i) {
    const uint8_t* e = table + i * entry;
    out->table[i] = RgbQuad{e[0], e[1], e[2], 0};
  }
  out->colours = colours;
  h.biClrUsed = colours;
  if (core) h.biClrImportant = colours;
  if (h.biSizeImage == 0) h.biSizeImage = static_cast<uint32_t>(rowBytes * height);

  if (offBits != 0 && fseeko(f, start + off_t{offBits}, SEEK_SET) != 0) return kDibReadBroken;
  return 0;
}

int32_t ReadBmpRows(FILE* f, const BmpHeader& header, DibImage image, bool applyPalette) {
  const BitmapInfoHeader& fh = header.info;
  const int32_t g = fh.biBitCount;
  const int32_t h = DibGetBitCount(image);
  const Rule rule = RuleFor(g, h, applyPalette);
  if (rule == Rule::kNone) return 1;

  const int64_t fileW = fh.biWidth;
  const bool topDown = fh.biHeight < 0;
  const int64_t fileH = topDown ? -int64_t{fh.biHeight} : fh.biHeight;
  const int64_t imgW = DibGetWidth(image), imgH = DibGetHeight(image);
  const int32_t stride = DibGetStride(image);
  uint8_t* bits = DibGetBits(image);
  if (!bits || imgW <= 0 || imgH <= 0) return 1;

  const int64_t cols = std::min(fileW, imgW);
  const int64_t rowBytes = (int64_t{g} * fileW + 31) / 32 * 4;
  // Only the part of each row that lands in the picture is read; the rest is
  // skipped, so the buffer never exceeds what the picture itself holds.
  const int64_t need = cols == fileW ? rowBytes : (int64_t{g} * cols + 7) / 8;
  const int64_t skip = rowBytes - need;
  std::vector<uint8_t> row(static_cast<size_t>(need));

  const int64_t rows = std::min(fileH, imgH);
  // Bottom-up files start with the rows that fall below the picture.
  if (!topDown && fileH > rows && fseeko(f, off_t(rowBytes * (fileH - rows)), SEEK_CUR) != 0) return 0;

  const int32_t d = h / 8;
  const int32_t s = g / 8;
  for (int64_t i = 0; i < rows; ++i) {
    if (std::fread(row.data(), 1, row.size(), f) != row.size()) break;  // a short file: the rest stays
    if (skip > 0 && i + 1 < rows && fseeko(f, off_t(skip), SEEK_CUR) != 0) break;
    const int64_t y = topDown ? i : rows - 1 - i;
    uint8_t* dst = bits + y * stride;
    const uint8_t* src = row.data();
    switch (rule) {
      case Rule::kCopy:
        std::memcpy(dst, src, static_cast<size_t>(cols * s));
        break;
      case Rule::kGreyToColour:
        for (int64_t x = 0; x < cols; ++x, dst += d) dst[0] = dst[1] = dst[2] = src[x];
        break;
      case Rule::kColourToGrey:
        for (int64_t x = 0; x < cols; ++x, src += s) dst[x] = GreyOf(src[0], src[1], src[2]);
        break;
      case Rule::kThreeBytes:
        for (int64_t x = 0; x < cols; ++x, src += s, dst += d) std::memcpy(dst, src, 3);
        break;
      case Rule::kPalette:
        for (int64_t x = 0; x < cols; ++x) {
          uint32_t index;
          if (g == 1) index = (src[x >> 3] >> (7 - (x & 7))) & 1;
          else if (g == 4) index = (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
          else index = src[x];
          // An index past the table's end has no colour: black.
          RgbQuad c = index < header.colours ? header.table[index] : RgbQuad{0, 0, 0, 0};
          if (d == 1) {
            dst[x] = (c.rgbBlue == c.rgbGreen && c.rgbGreen == c.rgbRed && applyPalette)
                         ? c.rgbBlue
                         : GreyOf(c.rgbBlue, c.rgbGreen, c.rgbRed);
          } else {
            uint8_t* p = dst + x * d;
            p[0] = c.rgbBlue;
            p[1] = c.rgbGreen;
            p[2] = c.rgbRed;
          }
        }
        break;
      case Rule::kNone:
        break;
    }
  }
  return 0;
}

void RemovePartialFile(const char* path) {
  // Only a regular file can hold a half-written picture; a device or a link's
  // target that is not one is left alone.
  struct stat st;
  if (::stat(path, &st) == 0 && S_ISREG(st.st_mode)) std::remove(path);
}

std::string LowerExtension(const char* path) {
  const char* name = std::strrchr(path, '/');
  name = name ? name + 1 : path;
  const char* dot = std::strrchr(name, '.');
  std::string ext = dot ? dot : "";
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}

}  // namespace vantrel::detail

using namespace vantrel::detail;

extern "C" {

const DibCodecExtension CodecExtensionTable[kCodecExtensionCount] = {
    {".bmp", "image/bmp"}, {".jpg", "image/jpeg"}, {".jpeg", "image/jpeg"},
    {".gif", "image/gif"}, {".tiff", "image/tiff"}, {".png", "image/png"},
};

int32_t DibLoadFile(const char* path, DibImage image) {
  if (!path || !*path) return 1;
  if (!image) return 2;
  if (LowerExtension(path) != ".bmp") return 0;
  return DibReadBmp(path, image);
}

int32_t DibSaveFile(const char* path, DibImage image) {
  if (!path || !*path || !image) return 0;
  if (LowerExtension(path) == ".bmp") return DibWriteBmp(path, image);
  return DibSaveWithCodec(path, image);
}

GmHandle DibReadBmpHeader(FILE* file) {
  if (!file) return nullptr;
  BmpHeader header;
  if (ParseBmpHeader(file, &header, 0) != 0) return nullptr;
  GmHandle block = GmAlloc(kBitmapInfoHeaderSize + size_t{header.colours} * 4);
  if (!block) return nullptr;
  auto* p = static_cast<uint8_t*>(GmLock(block));
  std::memcpy(p, &header.info, sizeof header.info);
  std::memcpy(p + kBitmapInfoHeaderSize, header.table, size_t{header.colours} * 4);
  GmUnlock(block);
  return block;
}

int32_t DibReadBmpStream(FILE* file, DibImage image) {
  if (!file || !image) return 1;
  BmpHeader header;
  if (ParseBmpHeader(file, &header, 0) != 0) return 1;
  return ReadBmpRows(file, header, image, false);
}

int32_t DibReadBmp(const char* path, DibImage image) {
  if (!path || !image) return 1;
  FILE* f = std::fopen(path, "rb");
  if (!f) return 1;
  int32_t status = DibReadBmpStream(f, image);
  std::fclose(f);
  return status;
}

int32_t DibWriteBmp(const char* path, DibImage image) {
  if (!path || !*path || !image) return 0;
  BitmapInfoHeader* info = DibGetInfo(image);
  const uint8_t* bits = DibGetBits(image);
  if (!info || !bits) return 0;
  uint32_t colours = info->biClrUsed;
  if (colours == 0 && info->biBitCount <= 8) colours = 1u << info->biBitCount;
  const uint32_t headerBytes = info->biSize + 4 * colours;
  const int32_t height = DibGetHeight(image);
  const int32_t stride = DibGetStride(image);

  FILE* f = std::fopen(path, "wb");
  if (!f) return 0;
  uint8_t fileHeader[kBitmapFileHeaderSize] = {'B', 'M'};
  auto put32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) fileHeader[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(2, info->biSizeImage + headerBytes + kBitmapFileHeaderSize);
  put32(10, headerBytes + kBitmapFileHeaderSize);
  bool ok = std::fwrite(fileHeader, 1, sizeof fileHeader, f) == sizeof fileHeader;

  // The file stores rows bottom-up: the height is written positive.
  BitmapInfoHeader onDisk = *info;
  onDisk.biHeight = height;
  ok = ok && std::fwrite(&onDisk, 1, sizeof onDisk, f) == sizeof onDisk;
  const uint8_t* rest = reinterpret_cast<const uint8_t*>(info) + sizeof onDisk;
  ok = ok && std::fwrite(rest, 1, headerBytes - sizeof onDisk, f) == headerBytes - sizeof onDisk;
  for (int32_t y = height - 1; ok && y >= 0; --y)
    ok = std::fwrite(bits + static_cast<ptrdiff_t>(y) * stride, 1, static_cast<size_t>(stride), f) ==
         static_cast<size_t>(stride);
  if (std::fclose(f) != 0) ok = false;
  // A full disk leaves no half-written picture behind.
  if (!ok) RemovePartialFile(path);
  return ok ? 1 : 0;
}

int32_t DibFindEncoder(const char* path, DibEncoderId* id) {
  if (!path) return -1;
  const std::string ext = LowerExtension(path);
  static const struct {
    const char* mime;
    DibPictureFormat format;
  } kEncoders[] = {{"image/bmp", kDibFormatBmp},
                   {"image/jpeg", kDibFormatJpeg},
                   {"image/gif", kDibFormatGif},
                   {"image/tiff", kDibFormatTiff},
                   {"image/png", kDibFormatPng}};
  for (const auto& row : CodecExtensionTable) {
    if (ext != row.extension) continue;
    for (int32_t i = 0; i < static_cast<int32_t>(sizeof kEncoders / sizeof kEncoders[0]); ++i) {
      if (std::strcmp(kEncoders[i].mime, row.mimeType) == 0) {
        if (id) *id = DibEncoderId{kEncoders[i].format, kEncoders[i].mime};
        return i;
      }
    }
    return -1;
  }
  return -1;
}

}  // extern "C"

/* Bitmap file structures as they lie in a BMP file and in a packed image block.
 * Little-endian, no padding: the sizes are part of the file format. */
#ifndef VANTREL_BITMAP_HEADERS_H
#define VANTREL_BITMAP_HEADERS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 1)

typedef struct BitmapFileHeader {
  uint16_t bfType; /* 0x4D42, "BM" */
  uint32_t bfSize;
  uint16_t bfReserved1;
  uint16_t bfReserved2;
  uint32_t bfOffBits;
} BitmapFileHeader;

typedef struct BitmapInfoHeader {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight; /* negative: rows stored top line first */
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
} BitmapInfoHeader;

typedef struct BitmapCoreHeader {
  uint32_t bcSize;
  uint16_t bcWidth;
  uint16_t bcHeight;
  uint16_t bcPlanes;
  uint16_t bcBitCount;
} BitmapCoreHeader;

typedef struct RgbQuad {
  uint8_t rgbBlue;
  uint8_t rgbGreen;
  uint8_t rgbRed;
  uint8_t rgbReserved;
} RgbQuad;

#pragma pack(pop)

enum {
  kBitmapInfoHeaderSize = 40,
  kBitmapCoreHeaderSize = 12,
  kBitmapFileHeaderSize = 14,
  kBitmapUncompressed = 0, /* BI_RGB */
  kBitmapBitFields = 3     /* BI_BITFIELDS */
};

#ifdef __cplusplus
}
static_assert(sizeof(BitmapFileHeader) == 14, "file header is 14 bytes on disk");
static_assert(sizeof(BitmapInfoHeader) == 40, "info header is 40 bytes on disk");
static_assert(sizeof(BitmapCoreHeader) == 12, "core header is 12 bytes on disk");
static_assert(sizeof(RgbQuad) == 4, "colour table entries are 4 bytes");
#endif

#endif

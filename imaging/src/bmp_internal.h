// What the BMP reader shares between the station's loader and the picture
// reader of the tools.
#ifndef VANTREL_IMAGING_BMP_INTERNAL_H
#define VANTREL_IMAGING_BMP_INTERNAL_H

#include <cstdint>
#include <cstdio>
#include <string>

#include "vantrel/bitmap_headers.h"
#include "vantrel/dib.h"

namespace vantrel::detail {

constexpr uint64_t kMaxPictureBytes = uint64_t{1} << 30;  // 1 GiB

struct BmpHeader {
  BitmapInfoHeader info{};  // biClrUsed and biSizeImage filled in
  uint32_t colours = 0;
  RgbQuad table[256]{};
};

// Reads the headers and the colour table and leaves the file at the first row.
// 0, or a DibReadStatus value saying why the file is refused; with
// kDibReadTooLarge (more than maxPixels pixels) biWidth and biHeight are the
// file's.
int32_t ParseBmpHeader(FILE* file, BmpHeader* header, uint64_t maxPixels);

// The pixel limit for a caller's value (0: the library's).
uint64_t EffectiveMaxPixels(uint64_t maxPixels);

// Reads the rows into the picture. With applyPalette, 8-bit files go through
// their colour table as 1- and 4-bit files always do (the station takes an 8-bit
// file's indices as grey levels). 0, or 1 for a depth pair without a rule.
int32_t ReadBmpRows(FILE* file, const BmpHeader& header, DibImage image, bool applyPalette);

// Removes what a failed write left at path, if it is a regular file.
void RemovePartialFile(const char* path);

// The extension of the path's file name: its last dot and what follows, lower-cased.
std::string LowerExtension(const char* path);

}  // namespace vantrel::detail

#endif

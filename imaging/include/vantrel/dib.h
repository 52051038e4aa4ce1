/* DibImage: the one picture type of the station.
 *
 * A handle of a plain memory block in one of two layouts, told apart by the
 * block's first 32-bit field:
 *   40  packed bitmap: BitmapInfoHeader, colour table (8 bits or fewer), rows,
 *       all owned by the image;
 *   36  wrapper: a record pointing to a header block and to pixel rows that
 *       belong to whoever created the wrapper.
 * Rows are stored top line first (biHeight is negative) and padded to 4 bytes.
 * Blocks never move: the accessors read them in place and take no lock, so any
 * number of threads may read one image at once (writers are kept apart by the
 * owner, e.g. the frame ring's leases). Every operation accepts the null handle
 * and then does nothing.
 *
 * Code that only reads pixels (the decoders, the drawing layer) takes a
 * DibView: the rows without ownership. */
#ifndef VANTREL_DIB_H
#define VANTREL_DIB_H

#include <stdint.h>

#include "vantrel/bitmap_headers.h"
#include "vantrel/global_memory.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef GmHandle DibImage;

/* Picture-pixel rectangle; right and bottom are inclusive. */
typedef struct DibRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
} DibRect;

enum { kDibPackedTag = 40, kDibWrapperTag = 36 };

/* The pixels of a picture without ownership: row y starts y * stride bytes
 * after bits (row 0 is the top line); bitCount bits a pixel (8 grey, 24 blue,
 * green, red). Valid while the picture it was taken from lives and keeps its
 * size; a view of no picture is all zero. */
typedef struct DibView {
  const uint8_t* bits;
  int32_t width;
  int32_t height;
  int32_t bitCount;
  int32_t stride;
} DibView;

DibView DibGetView(DibImage image);

DibImage DibCreate(int32_t width, int32_t height, int32_t bytesPerPixel, int32_t alignment);
DibImage DibCreateOverBits(void* bits, int32_t width, int32_t height, int32_t bytesPerPixel,
                           int32_t alignment);
void DibFree(DibImage image);

int32_t DibGetWidth(DibImage image);
int32_t DibGetHeight(DibImage image);
int32_t DibGetBitCount(DibImage image);
int32_t DibGetStride(DibImage image);
uint8_t* DibGetBits(DibImage image);
BitmapInfoHeader* DibGetInfo(DibImage image);

int32_t DibCopyPixels(DibImage destination, DibImage source);
DibImage DibDuplicate(DibImage source);
DibImage DibCrop(DibImage source, const DibRect* rect);
/* A new packed image of the source turned clockwise by 0, 90, 180 or 270
 * degrees (any other angle gives null); same depth. */
DibImage DibRotate(DibImage source, int32_t degreesClockwise);

#ifdef __cplusplus
}

#include <memory>

namespace vantrel {
// An image that frees itself.
struct DibDeleter {
  void operator()(GmBlock* image) const { DibFree(image); }
};
using DibPtr = std::unique_ptr<GmBlock, DibDeleter>;
}  // namespace vantrel
#endif

#endif

/* DibImage: the one picture type of the station.
 *
 * A handle of a movable block in one of two layouts, told apart by the block's
 * first 32-bit field:
 *   40  packed bitmap: BitmapInfoHeader, colour table (8 bits or fewer), rows;
 *   36  wrapper: a record pointing to a header block and to pixel rows that
 *       belong to whoever created the wrapper.
 * Rows are stored top line first (biHeight is negative) and padded to 4 bytes.
 * Every operation accepts the null handle and then does nothing. */
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
#endif

#endif

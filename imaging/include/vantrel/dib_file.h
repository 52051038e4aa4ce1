/* Picture files.
 *
 * The station loads BMP files into the picture it shows (an existing DibImage
 * whose size and depth stay as they are) and saves the shown picture as BMP, by
 * its own code, or as JPEG, GIF, TIFF or PNG through the codec libraries, chosen
 * by the file's extension. Tools read any of the five formats into a new picture.
 *
 * Paths are narrow strings of any length. */
#ifndef VANTREL_DIB_FILE_H
#define VANTREL_DIB_FILE_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "vantrel/dib.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The extensions the codec path accepts and the encoder each one selects.
 * Extensions are compared after lower-casing. */
typedef struct DibCodecExtension {
  const char* extension;
  const char* mimeType;
} DibCodecExtension;

enum { kCodecExtensionCount = 6 };
extern const DibCodecExtension CodecExtensionTable[kCodecExtensionCount];

/* The encoders there are, in this order: BMP, JPEG, GIF, TIFF, PNG. */
typedef enum DibPictureFormat {
  kDibFormatBmp = 0,
  kDibFormatJpeg = 1,
  kDibFormatGif = 2,
  kDibFormatTiff = 3,
  kDibFormatPng = 4
} DibPictureFormat;

/* What identifies an encoder. */
typedef struct DibEncoderId {
  int32_t format;       /* DibPictureFormat */
  const char* mimeType; /* "image/png" ... */
} DibEncoderId;

/* 0 loaded, or nothing to do because the extension is not ".bmp"; 1 the file
 * was not read (also a picture of more than DibMaxPixels()); 2 no picture given. */
int32_t DibLoadFile(const char* path, DibImage image);
/* 1 saved, 0 not saved. */
int32_t DibSaveFile(const char* path, DibImage image);

/* Reads the file header (when there is one) and the bitmap header at the file's
 * position and leaves the position at the first pixel row. A new block holding a
 * 40-byte BitmapInfoHeader and the colour table (biClrUsed entries of four
 * bytes), or null for a header that cannot be read or that describes a picture
 * this reader refuses: compressed rows, a width or height of 0, a bit count
 * other than 1, 4, 8, 16, 24 or 32, more than 256 colours, more pixels than
 * DibMaxPixels(), or rows of more than 1 GiB. A top-down file keeps its
 * negative biHeight. */
GmHandle DibReadBmpHeader(FILE* file);
/* 0 read, 1 failure. The picture's top-left pixel lands on the image's top-left
 * pixel; what does not fit is dropped, what the file does not cover keeps its
 * content. */
int32_t DibReadBmp(const char* path, DibImage image);
/* DibReadBmp on a file that is already open, from its current position. */
int32_t DibReadBmpStream(FILE* file, DibImage image);
/* 1 written, 0 failure. */
int32_t DibWriteBmp(const char* path, DibImage image);
/* 1 saved, 0 failure: an unknown extension, a bit count no format takes (8, 16,
 * 24, 32, 48 and 64 do), or a file that could not be written completely (it is
 * then removed). PNG and TIFF keep every bit: grey for 8 and 16 bits, RGB for 24
 * and 48, RGB with alpha (the fourth byte or word) for 32 and 64. JPEG receives
 * 8-bit grey or RGB (the high bytes of 16-bit samples, no alpha); GIF 256 grey
 * levels, or a picture's own colours when it has at most 256, else 256 chosen
 * by median cut. */
int32_t DibSaveWithCodec(const char* path, DibImage image);
/* Index of the encoder for the path's extension, with its id filled in, or -1. */
int32_t DibFindEncoder(const char* path, DibEncoderId* id);

/* Reading any picture file into a new picture, for tools: 24-bit, or 8-bit for
 * grey pictures. The format is told by the file's first bytes, not its name. */
typedef enum DibReadStatus {
  kDibReadOk = 0,
  kDibReadCannotOpen = 1,    /* missing, unreadable, or not a regular file */
  kDibReadUnknownFormat = 2, /* none of BMP, PNG, JPEG, TIFF, GIF */
  kDibReadBroken = 3,        /* damaged or truncated beyond reading */
  kDibReadUnsupported = 4,   /* a valid file of a kind not read (compressed BMP, 16-bit BMP...) */
  kDibReadTooLarge = 5,      /* more pixels than the limit, or more than 1 GiB of pixels or of file */
  kDibReadNoMemory = 6
} DibReadStatus;

/* Every reader (these, DibLoadFile and the BMP readers above) refuses a picture
 * of more than a limit of pixels (width x height) from its header, before any
 * pixel memory is taken: a small compressed file can declare a picture of
 * gigabytes. The limit a caller does not give is DibMaxPixels(): the whole
 * number in the environment variable VANTREL_MAX_PIXELS when it holds one above
 * 0, else kDibDefaultMaxPixels; the variable is read at every call. */
enum { kDibDefaultMaxPixels = 100000000 };
uint64_t DibMaxPixels(void);

/* What a reading tells besides the picture. */
typedef struct DibReadReport {
  int32_t status;  /* DibReadStatus */
  uint32_t width;  /* the size the file declares, once its header was read; 0 before */
  uint32_t height;
} DibReadReport;

/* maxPixels 0 means DibMaxPixels(). report may be null. Any thread. */
DibImage DibReadPictureFileLimited(const char* path, uint64_t maxPixels, DibReadReport* report);
DibImage DibReadPictureMemoryLimited(const uint8_t* data, size_t size, uint64_t maxPixels,
                                     DibReadReport* report);
/* The same with the limit of DibMaxPixels(). */
DibImage DibReadPictureFile(const char* path, int32_t* status);
DibImage DibReadPictureMemory(const uint8_t* data, size_t size, int32_t* status);
/* "cannot open", "unknown format", ... */
const char* DibReadStatusText(int32_t status);

#ifdef __cplusplus
}
#endif

#endif

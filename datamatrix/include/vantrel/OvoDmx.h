/* OvoDmx: the Data Matrix reader.
 *
 * One process-wide reader object holds the search rectangle, the time limit and
 * the sharpening parameters, and after a successful decode the four edge lines
 * of the symbol found. OvoDmxInitialize creates it, OvoDmxTerminate deletes it;
 * OvoDmxGetReader hands it to the calls that take a reader.
 *
 * Status codes: OvoDmxStatus below; each call says which it gives.
 * Out-parameters may be null. No call throws. */
#ifndef VANTREL_OVODMX_H
#define VANTREL_OVODMX_H

#include <stdint.h>

#include "vantrel/dib.h"

#ifdef __cplusplus
class CDataMatCtrl;
extern "C" {
#else
typedef struct CDataMatCtrl CDataMatCtrl;
#endif

/* What the calls return; the unsharp mask gives the first three for its
 * radius, amount and threshold. */
enum OvoDmxStatus {
  OVODMX_OK = 0,
  OVODMX_NOT_FOUND = -1,      /* nothing found (in time), a value refused, a corner undefined;
                                 the mask: radius refused */
  OVODMX_NOT_DECODED = -2,    /* found but not decoded, or the text does not fit; the mask: amount */
  OVODMX_ERR_AREA = -3,       /* invalid area; the mask: threshold */
  OVODMX_ERR_NO_PICTURE = -4, /* the mask: source or destination null */
  OVODMX_ERR_RECTANGLE = -5,  /* the mask: rectangle outside the picture */
  OVODMX_ERR_MEMORY = -6,     /* the mask: no memory */
  OVODMX_ERR_PICTURE = -7,    /* the mask: destination unlike the source; no memory for the reader */
  OVODMX_ERR_NO_READER = -8
};

typedef struct OvoDmxPoint {
  int32_t x;
  int32_t y;
} OvoDmxPoint;

/* 0; -7 when the reader cannot be allocated. A second call keeps the reader
 * that exists, with its settings. */
int32_t OvoDmxInitialize(void);
/* Deletes the reader, if there is one. */
void OvoDmxTerminate(void);
/* The reader, or null before OvoDmxInitialize and after OvoDmxTerminate. */
CDataMatCtrl* OvoDmxGetReader(void);

/* Setters keep the previous value when they refuse: 0 stored, -1 refused,
 * -8 no reader. */
int32_t OvoDmxSetMaxTime(int32_t milliseconds); /* stored when > 0 */
int32_t OvoDmxGetMaxTime(int32_t* milliseconds);
int32_t OvoDmxSetThreshold(int32_t threshold); /* stored when 0..255 */
int32_t OvoDmxGetThreshold(int32_t* threshold); /* -1 when the stored value is outside 0..255 */
int32_t OvoDmxSetRadius(double radius);         /* 0.1..120 */
int32_t OvoDmxGetRadius(double* radius);
int32_t OvoDmxSetAmount(double amount); /* 0..10 */
int32_t OvoDmxGetAmount(double* amount);
/* Search rectangle, right and bottom inclusive: -1 for a null pointer, any
 * negative coordinate, left >= right or top >= bottom. */
int32_t OvoDmxSetArea(const DibRect* area);
/* The stored search rectangle. 0; -1 area null; -8 no reader. */
int32_t OvoDmxGetArea(DibRect* area);

/* Whether a decode that found nothing by its own finder lets the region
 * search of the Data Matrix library comb the whole rectangle for the rest of
 * the time limit (1), or gives up (0, the default). */
int32_t OvoDmxSetFullSearch(int32_t on); /* 0 or 1; -1 refused */
int32_t OvoDmxGetFullSearch(int32_t* on);

/* Finds and decodes one symbol inside the search rectangle of an 8-bit or
 * 24-bit picture (24-bit pixels are read by their red byte) within the time
 * limit. The text receives the decoded bytes without LF, CR, 0x1D, 0x1F and
 * 0xFF (a NUL only as the last byte), then a NUL; a text that needs more than
 * capacity bytes is refused with -2. Text in an ECI character set is given as
 * UTF-8. 0 read; -1 nothing found in time, or an unsuitable picture; -2 found
 * but not decoded (also when its codewords cannot be corrected, or hold text
 * in a character set that cannot be converted); -3 invalid area; -8 no
 * reader. The time limit is capped at 2,147,483 ms; it is checked between the
 * steps of the search, so a limit shorter than making the grey copy and its
 * threshold map is overrun by that much. */
int32_t OvoDmxDecode(CDataMatCtrl* reader, DibImage image, char* text, int32_t capacity);

/* After a successful decode: the decoded bytes exactly, before the text's
 * filter (FNC1 between fields as 0x1D, line breaks, NULs; the 05/06 macros'
 * header and trailer; ECI text as UTF-8; no leading FNC1). *length receives
 * their count; bytes may be null to ask for it. 0; -1 nothing decoded yet;
 * -2 more than capacity bytes (nothing copied); -8 no reader. */
int32_t OvoDmxGetBytes(uint8_t* bytes, int32_t capacity, int32_t* length);

typedef struct OvoDmxSymbolInfo {
  int32_t rows;          /* modules */
  int32_t cols;
  char identifier[4];    /* symbology identifier: "]d1" plain, "]d2" GS1 (leading FNC1),
                            "]d3" FNC1 after an application indicator; 3 more with an ECI */
  int32_t gs1;           /* 1: FNC1 in the first position */
  int32_t eci;           /* 1: the symbol holds an ECI */
  int32_t readerInit;    /* 1: reader programming */
  int32_t macro;         /* 5 or 6: the 05/06 macro; 0 none */
  int32_t appendIndex;   /* structured append: this symbol is part appendIndex ... */
  int32_t appendCount;   /* ... of appendCount (0 unknown); both 0 without */
  int32_t appendFileId;  /* structured append: the file identification (two codewords) */
  int32_t mirrored;      /* 1: read as the mirror image */
  int32_t inverted;      /* 1: light modules on a dark ground */
} OvoDmxSymbolInfo;
/* After a successful decode: what the symbol was. 0; -1 nothing decoded yet;
 * -8 no reader. */
int32_t OvoDmxGetSymbolInfo(OvoDmxSymbolInfo* info);

/* After a successful decode: the stored top-edge and right-edge points and the
 * corners P (right edge meets top edge) and Q (left edge meets bottom edge), in
 * picture pixels. 0; -1 when P or Q is undefined (T and R are still given, and
 * P when only Q is undefined); -8 no reader. */
int32_t OvoDmxGetCorners(OvoDmxPoint* top, OvoDmxPoint* right, OvoDmxPoint* p, OvoDmxPoint* q);

/* Unsharp mask of the search rectangle from source into destination (which
 * may be the source itself; otherwise only the rectangle's pixels are written).
 * 0 done; -1 radius, -2 amount, -3 threshold out of range; -4 source or
 * destination null; -5 bad rectangle (also when it lies outside the picture);
 * -6 no memory; -7 destination of another size or depth than the source, or a
 * depth that is not whole bytes; -8 no reader. Nothing is written on failure. */
int32_t OvoDmxUnsharp(CDataMatCtrl* reader, DibImage source, DibImage destination);

/* How many times the region library was asked to read (a region decoded from
 * given corners, a region search step) since the program started, over every
 * decode: benchmarks report it per frame to show the work the finder saves. */
int64_t OvoDmxLibraryAttempts(void);

#ifdef __cplusplus
}
#endif

#endif

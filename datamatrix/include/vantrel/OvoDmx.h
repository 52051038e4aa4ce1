/* OvoDmx: the Data Matrix reader.
 *
 * One process-wide reader object holds the search rectangle, the time limit and
 * the sharpening parameters, and after a successful decode the four edge lines
 * of the symbol found. OvoDmxInitialize creates it, OvoDmxTerminate deletes it;
 * OvoDmxGetReader hands it to the calls that take a reader.
 *
 * Status codes: 0 success; -1 nothing found / value refused / undefined corner;
 * -2 found but not decoded (also: the text does not fit the buffer); -3 invalid
 * area; -4..-7 see OvoDmxUnsharp; -7 also: the reader cannot be allocated;
 * -8 no reader. Out-parameters may be null. No call throws. */
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

/* Finds and decodes one symbol inside the search rectangle of an 8-bit or
 * 24-bit picture within the time limit. The text receives the decoded bytes
 * without LF, CR, 0x1D, 0x1F and 0xFF (a NUL only as the last byte), then a
 * NUL; a text that needs more than capacity bytes is refused with -2.
 * 0 read; -1 nothing found in time, or an unsuitable picture; -2 found but
 * not decoded (also when its corrected codewords fail the Reed-Solomon check);
 * -3 invalid area; -8 no reader. The time limit is capped at 2,147,483 ms. */
int32_t OvoDmxDecode(CDataMatCtrl* reader, DibImage image, char* text, int32_t capacity);

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

#ifdef __cplusplus
}
#endif

#endif

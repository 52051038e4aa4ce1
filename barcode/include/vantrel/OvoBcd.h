/* OvoBcd: one-dimensional barcode reader.
 *
 * Reads JAN-8, JAN-13, ITF, CODE 39, CODE 128 and NW-7 symbols from a picture
 * by laying straight scan lines over a processing range and decoding the light
 * and dark run widths along each line. The first line on which a symbol is
 * accepted ends the search (see Robust below for the one exception).
 *
 * The library keeps no state between calls and needs no initialization; calls
 * on different threads with different pictures are independent. No exception
 * leaves any function of this header. */
#ifndef VANTREL_OVOBCD_H
#define VANTREL_OVOBCD_H

#include <stdbool.h>
#include <stdint.h>

#include "vantrel/dib.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Decoding parameters, eighteen int32 in this order. Enable fields: nonzero
 * decodes the symbology. Min and max: inclusive bounds on the number of
 * characters of the text (NW-7 counts its start and stop letters). Check fields:
 * exactly 1 verifies the optional check character; any other value does not.
 * CODE 128's check symbol is always verified.
 *
 * Robust (the last field, so that callers who zero the record or fill only the
 * first seventeen fields keep the plain reading): nonzero adds a second reading
 * of every scan line that no decoder accepted, from the edges of its grey
 * profile with decoders that tolerate bar gain, blur, changing module widths and
 * quiet zones cut by the line's end. An ITF, CODE 39 or NW-7 text without a
 * verified check character is then accepted only when a parallel line 2 or 4
 * pixels away reads the same text, and only at the end of the search, when no
 * symbol with a verified check character (JAN, CODE 128, or one of the three
 * with its check on) was found on a later line. 0: only the plain reading, the
 * first line that reads ends the search. */
typedef struct OvoBcdParams {
  int32_t JAN8;
  int32_t JAN13;
  int32_t ITF;
  int32_t ITF_Min;
  int32_t ITF_Max;
  int32_t ITF_Check;
  int32_t CODE39;
  int32_t CODE39_Min;
  int32_t CODE39_Max;
  int32_t CODE39_Check;
  int32_t NW7;
  int32_t NW7_Min;
  int32_t NW7_Max;
  int32_t NW7_Check;
  int32_t CODE128;
  int32_t CODE128_Min;
  int32_t CODE128_Max;
  int32_t Robust;
} OvoBcdParams;

/* Processing range in picture pixels, read half-open: columns x0 <= x < x1 and
 * rows y0 <= y < y1 are scanned. */
typedef struct OvoBcdRange {
  int32_t x0;
  int32_t y0;
  int32_t x1;
  int32_t y1;
} OvoBcdRange;

typedef struct OvoBcdPoint {
  int32_t x;
  int32_t y;
} OvoBcdPoint;

/* Type codes of the result. */
enum {
  OVOBCD_JAN8 = 0,
  OVOBCD_JAN13 = 1,
  OVOBCD_ITF = 2,
  OVOBCD_CODE39 = 3,
  OVOBCD_CODE128 = 4,
  OVOBCD_NW7 = 5
};

/* Status codes. */
enum {
  OVOBCD_OK = 0,
  OVOBCD_ERR_ARGUMENT = -1, /* image null (decode); range or count null (scan lines) */
  OVOBCD_ERR_PARAMS = -2,   /* params null */
  OVOBCD_ERR_SCAN = -3,     /* scanLevels outside 1..8, angleStep outside 0..180, capacity < 1 */
  OVOBCD_NOT_FOUND = -4     /* no symbol found, or the search could not be carried out */
};

enum {
  OVOBCD_MAX_SCAN_LEVELS = 8,
  OVOBCD_MAX_TEXT = 48,   /* characters of a result text */
  OVOBCD_TEXT_BYTES = 49  /* the text buffer, terminating NUL included */
};

/* Searches the picture (8, 24 or 32 bits per pixel; 32-bit pixels are read by
 * their first three bytes, other depths give OVOBCD_NOT_FOUND) for one symbol.
 *
 * range: null for the whole picture; corners in either order; clipped to the
 * picture. binarize: true measures whole-sample runs against the line's
 * threshold, false interpolates sub-pixel threshold crossings. scanLevels: level
 * i lays 2^i x 2^i line centres over the range. angleStep: degrees between the
 * lines through one centre, 0 to 180 (below 0.001 means one horizontal line).
 *
 * Outputs (each may be null) are written only on OVOBCD_OK: position = start x,
 * start y, end x, end y of the symbol along the line that read it (the start in
 * reading order, so an upside-down symbol starts at the line's later end); type;
 * length = characters decoded (a CODE 128 text may hold a NUL, so this can
 * exceed strlen); text = length characters and a NUL, at most
 * OVOBCD_TEXT_BYTES bytes. */
int32_t OvoBcdDecode(DibImage image, const OvoBcdParams* params, const OvoBcdRange* range,
                     bool binarize, int32_t scanLevels, double angleStep, int32_t position[4],
                     int32_t* type, int32_t* length, char* text);

/* Reports where the scan lines of a decode call over this range would lie, for
 * drawing them as guides. The range is taken as it is (not reordered, not
 * clipped). count: in, the capacity (at least 1) of starts and ends; out, the
 * number of lines reported (at most the capacity). starts and ends (each may be
 * null) receive the first and the last pixel of each line, in search order; a
 * line without any pixel in the range reports its centre as both ends.
 * OVOBCD_NOT_FOUND only when memory for the line centres cannot be had. */
int32_t OvoBcdGetScanLines(const OvoBcdRange* range, int32_t scanLevels, double angleStep,
                           int32_t* count, OvoBcdPoint* starts, OvoBcdPoint* ends);

#ifdef __cplusplus
}
#endif

#endif

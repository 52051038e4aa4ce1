/* OvoQrc: the station's QR code decoder (Model 2, versions 1 to 40, levels L,
 * M, Q and H).
 *
 * One decoder instance serves the whole process: OvoQrcInitialize creates it,
 * the setters give it a picture and its parameters, OvoQrcDecode finds and
 * decodes every symbol in the processing area, and the getters read the
 * results, which stay until the next decode. OvoQrcTerminate releases the
 * instance. Calls must not overlap.
 *
 * Between initialization and termination the decoder keeps its parameters in
 * OvoQrc.ini (section "QR_CODE_PARAMETER") in the current directory: read at
 * initialization, written at termination. OvoQrcSetParameterFile names
 * another file, or none (command-line tools, tests and benchmarks leave
 * nothing behind).
 *
 * Robust reading (on unless OvoQrcSetRobust(0)): when the strict decoding
 * reads nothing, further passes look again with a projective geometry, a
 * virtual quiet zone, a block threshold, the other polarity and the mirror
 * image, within a fixed amount of work per decode; and the data may hold ECI
 * designators, FNC1 (GS1) and Hanzi. With robust reading off the decoder reads
 * exactly what the strict decoding reads.
 *
 * Every decode does a bounded amount of work whatever the picture: the
 * candidate triples, the sampled modules, the error correction and the robust
 * passes each stop at a fixed budget, which ordinary pictures do not reach.
 *
 * Status codes: OvoQrcStatus below.
 *
 * Decoded data are the symbol's bytes: digits and the 45 alphanumeric
 * characters as ASCII, 8-bit bytes unchanged, Kanji as two-byte Shift JIS
 * codes (encoding 0 of OvoQrcGetSymbolInfo). Robust reading changes that only
 * for symbols the strict decoding refuses:
 * - a symbol with an ECI designator or a Hanzi (GB 2312) segment gives UTF-8
 *   text (encoding 1): byte segments converted from the character set their
 *   ECI names, Kanji from Shift JIS, Hanzi from GB 2312; a segment that cannot
 *   be converted (an unknown ECI, bytes that are no text in their character
 *   set, bytes above 0x7F under no ECI) makes the symbol unreadable rather
 *   than give a wrong text;
 * - ECI 899 (binary data) keeps every byte as it stands (encoding 2);
 * - with FNC1 (GS1) the field separator '%' of alphanumeric segments becomes
 *   the byte 0x1D and the leading FNC1 gives nothing; FNC1 in second position
 *   puts its application indicator (two digits or a letter) first. The
 *   symbology identifier ]Q3 / ]Q5 is reported apart (OvoQrcGetSymbolInfo).
 * The longest data, converted, is 8880 bytes.
 *
 * Corner points are processing-area pixels: 0 the outer corner of the
 * top-left finder pattern, 1 of the top-right one, 2 the symbol's bottom-right
 * corner, 3 the outer corner of the bottom-left finder pattern (in the
 * symbol's own orientation); in an upright picture they run clockwise. */
#ifndef VANTREL_OVOQRC_H
#define VANTREL_OVOQRC_H

#include <stdint.h>

#include "vantrel/dib.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The longest data of a symbol, converted text included (see above). */
enum { OVOQRC_MAX_DATA = 8880 };

/* What the calls return. */
enum OvoQrcStatus {
  OVOQRC_OK = 0,
  OVOQRC_ERR_ARGUMENT = -1,        /* no image, or an index, length or capacity refused */
  OVOQRC_ERR_DEPTH = -2,           /* not 8 or 24 bits a pixel */
  OVOQRC_ERR_AREA = -3,            /* processing area narrower or lower than 31 pixels */
  OVOQRC_NOT_FOUND = -4,           /* no symbol decoded */
  OVOQRC_ERR_MEMORY = -7,          /* the decoder could not be allocated */
  OVOQRC_ERR_NOT_INITIALIZED = -8,
  OVOQRC_ERR_CONTEXT_MEMORY = 1    /* initialization only: no first decode context */
};

/* 0; -7 no memory for the decoder; 1 no memory for its first decode context.
 * A second call replaces the instance. */
int32_t OvoQrcInitialize(void);
/* Writes the parameter file and releases the instance; nothing when not initialized. */
void OvoQrcTerminate(void);

/* The picture of the next decode (8-bit grey or 24-bit B,G,R, not owned):
 * 0; -1 null image; -8 not initialized. */
int32_t OvoQrcSetImage(DibImage image);
/* left, top, right, bottom (inclusive), stored unchecked and clamped to the
 * picture at the next decode. A null pointer changes nothing. */
void OvoQrcSetArea(const int32_t* area);
/* threshold clamped to 0..255. darkModules nonzero: pixels at or below the
 * threshold are the symbol's dark modules; zero: pixels above it are (a light
 * symbol on a dark ground). */
void OvoQrcSetThreshold(int32_t threshold, int32_t darkModules);
/* Colour channel read from 24-bit pictures, clamped to 0..2: 0 red, 1 green, 2 blue. */
void OvoQrcSetColor(int32_t channel);
/* Robust reading: nonzero on (the default), zero the strict decoder alone. */
void OvoQrcSetRobust(int32_t robust);
/* The parameter file OvoQrcTerminate writes (a copy of the path is kept);
 * null or empty: none is written. Initialization has read OvoQrc.ini of the
 * current directory already. */
void OvoQrcSetParameterFile(const char* path);

/* 0 at least one symbol; -1 no image; -2 not 8 or 24 bits; -3 area narrower or
 * lower than 31 pixels; -4 no symbol; -8 not initialized. count (may be null)
 * receives the number of symbols, 0 on every failure. Every symbol found is
 * in the result list, index 0 .. count - 1, ordered by rows of the picture,
 * top row first, and left to right within a row. */
int32_t OvoQrcDecode(int32_t* count);

/* length: in, the buffer's capacity in bytes (at least 1); out, the bytes
 * copied: the whole data, or capacity - 1 bytes when it does not fit, followed
 * by a zero byte. -1 for an index outside 0 .. count - 1, a null length or a
 * capacity below 1; a null buffer copies nothing and still returns 0. */
int32_t OvoQrcGetData(int32_t index, int32_t* length, uint8_t* buffer);
/* The symbol's version, 1 to 40 (a null pointer is skipped). */
int32_t OvoQrcGetVersion(int32_t index, int32_t* version);
/* The symbol's error-correction level: 0 L, 1 M, 2 Q, 3 H (a null pointer is skipped). */
int32_t OvoQrcGetLevel(int32_t index, int32_t* level);
/* modifier: m of the symbology identifier "]Qm": 1 plain, 2 with ECI, 3 GS1
 * (FNC1 first), 4 GS1 with ECI, 5 FNC1 in second position, 6 the same with
 * ECI. encoding: 0 the symbol's own bytes, 1 UTF-8 converted text, 2 binary
 * bytes (ECI 899). mirrored: 1 when the symbol was read as its mirror image.
 * Null pointers are skipped. */
int32_t OvoQrcGetSymbolInfo(int32_t index, int32_t* modifier, int32_t* encoding, int32_t* mirrored);
/* The four corner points (null pointers are skipped). */
int32_t OvoQrcGetPosition(int32_t index, int32_t* x0, int32_t* y0, int32_t* x1, int32_t* y1,
                          int32_t* x2, int32_t* y2, int32_t* x3, int32_t* y3);

#ifdef __cplusplus
}
#endif

#endif

// The three decode calls between the station and its decoder libraries: each
// hands one picture with the current settings and the clamped processing range
// to its library, turns the result into the texts the station shows and stores
// the code's outline in the overlay store. Each is one decoder's turn of the
// reading entry (reading.h) with its result written into caller buffers;
// everything in the station reads through ReadPicture.
//
// They return 0 on success or the library's status unchanged; on failure the
// overlays and the outputs stay as they were. Callers serialize them (the QR and
// Data Matrix libraries keep one state each).
#ifndef VANTREL_DECODE_CALLS_H
#define VANTREL_DECODE_CALLS_H

#include <cstdint>

#include "vantrel/dib.h"
#include "vantrel/settings.h"

namespace vantrel {

// Data buffers handed to the decode calls hold this many bytes.
constexpr int32_t kDecodeDataBytes = 4196;

// Offset added to every overlay point: the preview's top-left corner in picture
// pixels, so that the drawing layer's scaling puts outlines over the preview.
struct OverlayOrigin {
  int32_t x = 0;
  int32_t y = 0;
};
OverlayOrigin OverlayOriginFor(int32_t previewLeft, int32_t previewTop, double scaleX, double scaleY);

// Area clamped to a width x height picture (inclusive; the order of start and end is kept).
DibRect ClampedRange(const SettingsRecord& settings, int32_t width, int32_t height);

const char* BarcodeTypeName(int32_t type);  // "JAN-8" ... "NW-7", "Unknown Code"
const char* QrLevelText(int32_t level);     // "L(7％)" ... "H(30％)", "" otherwise

// typeName: 20 bytes; position: start and end of the reading line; data: at least
// kDecodeDataBytes bytes, NUL-terminated; length: characters decoded.
int32_t DecodeBarcode(DibImage picture, const SettingsRecord& settings, OverlayOrigin origin,
                      char* typeName, int32_t* length, int32_t position[4], char* data);

// version and level: 50 bytes each; position: the four corners in picture
// coordinates; data: capacity bytes, at most capacity - 1 of them decoded bytes
// and a NUL; length: bytes copied.
int32_t DecodeQrCode(DibImage picture, const SettingsRecord& settings, OverlayOrigin origin,
                     int32_t capacity, char* version, char* level, int32_t position[8], char* data,
                     int32_t* length);

// data: capacity bytes (the station passes kDecodeDataBytes); a text that does not
// fit is refused, never cut. position: the four outline points; length: bytes of text.
int32_t DecodeDataMatrix(DibImage picture, const SettingsRecord& settings, OverlayOrigin origin,
                         char* data, int32_t capacity, int32_t position[8], int32_t* length);

// Bring up the QR library (without a parameter file) and the one Data Matrix
// reader, and take them down again, one at a time (the decoders' tests).
// Programs keep a DecoderLibraries guard instead.
int32_t StartQrLibrary();
void StopQrLibrary();
int32_t StartDataMatrixReader();
void StopDataMatrixReader();

}  // namespace vantrel

#endif

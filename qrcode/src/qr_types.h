// Types and conventions shared by every stage of the QR pipeline: points in
// binary-image pixels, the pixel test, the rounding rule, and the records that
// pass from one stage to the next.
#ifndef VANTREL_QRCODE_QR_TYPES_H
#define VANTREL_QRCODE_QR_TYPES_H

#include <cstddef>
#include <cstdint>

namespace vantrel::qr {

// A real coordinate pair. Coordinates are 32-bit floats throughout: the
// positions the decoder settles on depend on float rounding, so every stage
// stores what it computes as float.
struct QrPoint {
  float x = 0;
  float y = 0;
};

inline QrPoint operator+(QrPoint a, QrPoint b) { return {a.x + b.x, a.y + b.y}; }
inline QrPoint operator-(QrPoint a, QrPoint b) { return {a.x - b.x, a.y - b.y}; }
inline QrPoint operator*(QrPoint a, float s) { return {a.x * s, a.y * s}; }
inline QrPoint operator*(float s, QrPoint a) { return {a.x * s, a.y * s}; }
inline QrPoint operator/(QrPoint a, float s) { return {a.x / s, a.y / s}; }

// Pixel position.
struct QrPixel {
  int32_t x = 0;
  int32_t y = 0;
};

// What round() gives for a coordinate that is not finite or lies beyond 2^30:
// far outside any picture, and still small enough that the few pixels of
// arithmetic done on a rounded value cannot overflow.
constexpr int32_t kOutsidePixel = -(1 << 30) - 8;

// round(v) = v + 0.499999, truncated toward zero, in double precision (a float
// is widened first; in float, x.5 would round up from 32 on and move every
// finder centre, which lies on x.5). Lines that nearly meet at infinity give
// huge or non-finite values; they count as outside the picture.
inline int32_t QrRound(double v) {
  if (!(v > -1073741824.0 && v < 1073741824.0)) return kOutsidePixel;
  return static_cast<int32_t>(v + 0.499999);
}

// Binary image: w x h bytes, row 0 at the top; nonzero = set (a dark module's
// pixel once the polarity is applied).
struct QrBinaryImage {
  const uint8_t* bits = nullptr;
  int32_t w = 0;
  int32_t h = 0;

  // Positions outside the image are clear.
  bool Set(int32_t x, int32_t y) const {
    return static_cast<uint32_t>(x) < static_cast<uint32_t>(w) &&
           static_cast<uint32_t>(y) < static_cast<uint32_t>(h) &&
           bits[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] != 0;
  }
  bool Inside(int32_t x, int32_t y) const {
    return static_cast<uint32_t>(x) < static_cast<uint32_t>(w) &&
           static_cast<uint32_t>(y) < static_cast<uint32_t>(h);
  }
};

// One finder-pattern candidate: the centre of a 1:1:3:1:1 structure.
struct QrFinder {
  float x = 0;
  float y = 0;
  int32_t used = 0;  // 1 once the finder belongs to a decoded symbol
};

constexpr int32_t kMaxFinders = 128;

// Three finder patterns that may be one symbol's top-left (A), top-right (B)
// and bottom-left (C) patterns, with the twelve corners of the three patterns:
// P0..P3 of A, P4..P7 of B, P8..P11 of C, each running (0,0) (7,0) (7,7) (0,7)
// in the pattern's own module edges (see the table in qr_candidates.h).
struct QrCandidate {
  int32_t finderA = 0;
  int32_t finderB = 0;
  int32_t finderC = 0;
  QrPoint P[12];
  int32_t version = 0;
  int32_t level = 0;
  int32_t mask = 0;
};

// Module matrix of the symbol being read, indexed by (column, row); only the
// N x N corner is used. Bit 0 is the module's colour (1 dark), kFunctionModule
// marks finder, separator, timing, alignment, format and version modules.
constexpr int32_t kMatrixSide = 177;
constexpr uint8_t kFunctionModule = 0x10;
struct QrModuleMatrix {
  uint8_t cells[kMatrixSide * kMatrixSide] = {};
  uint8_t& At(int32_t column, int32_t row) { return cells[row * kMatrixSide + column]; }
  uint8_t At(int32_t column, int32_t row) const { return cells[row * kMatrixSide + column]; }
};

constexpr int32_t kMaxContentBytes = 7089;  // the longest content as the symbol holds it
// Converted to UTF-8 a byte can become three (a version 40-L symbol holds at
// most 2953 bytes).
constexpr int32_t kMaxConvertedBytes = 8880;
constexpr int32_t kMaxDataBytes = 8896;  // room for either and a zero

// One decoded symbol.
struct QrResult {
  int32_t version = 0;
  int32_t level = 0;
  int32_t length = 0;
  uint8_t data[kMaxDataBytes] = {};
  int32_t corners[8] = {};  // x0 y0 .. x3 y3 in processing-area pixels
  int32_t modifier = 1;     // of the symbology identifier ]Q1 .. ]Q6
  int32_t encoding = 0;     // QrEncoding of the data
  int32_t mirrored = 0;     // read as its mirror image
};

}  // namespace vantrel::qr

#endif

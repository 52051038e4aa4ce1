// Format information (level and mask) and version information, read straight
// from the binary image beside the finder patterns of a candidate, before any
// sampling grid exists. Every module is addressed from a finder centre with
// module vectors measured on that finder's corner points, so the reads need
// neither the version nor a grid.
#ifndef VANTREL_QRCODE_QR_INFO_H
#define VANTREL_QRCODE_QR_INFO_H

#include <cstdint>

#include "qr_types.h"

namespace vantrel::qr {

constexpr uint32_t kFormatMask = 0x5412;
constexpr uint32_t kFormatGenerator = 0x537;    // x^10 + x^8 + x^5 + x^4 + x^2 + x + 1
constexpr uint32_t kVersionGenerator = 0x1F25;  // x^12 + x^11 + x^10 + x^9 + x^8 + x^5 + x^2 + 1

// Remainder of value divided by generator over GF(2).
constexpr uint32_t Gf2Remainder(uint32_t value, uint32_t generator) {
  int32_t degree = 0;
  while ((generator >> (degree + 1)) != 0) ++degree;
  for (int32_t bit = 31; bit >= degree; --bit)
    if (value & (1u << bit)) value ^= generator << (bit - degree);
  return value;
}

// The 15-bit codeword of the five data bits m (before the 0x5412 mask).
constexpr uint32_t FormatCodeword(uint32_t m) {
  return m * 1024 + Gf2Remainder(m * 1024, kFormatGenerator);
}
// The 18-bit codeword of version b.
constexpr uint32_t VersionCodeword(uint32_t b) {
  return b * 4096 + Gf2Remainder(b * 4096, kVersionGenerator);
}

struct QrFormat {
  int32_t level = 0;  // 0 L, 1 M, 2 Q, 3 H
  int32_t mask = 0;
};

// Decodes an unmasked format word: the first codeword m = 0..31 within two bits
// wins. Three wrong bits are refused even where the code could still correct them.
bool DecodeFormatWord(uint32_t word, QrFormat* format);
// Decodes a version word: the first version 7..40 within two bits wins.
bool DecodeVersionWord(uint32_t word, int32_t* version);

// P: the candidate's twelve corner points; A, B, C: the centres of its top-left,
// top-right and bottom-left finder patterns. A module outside the image fails
// the whole read at once.
bool ReadFormat(const QrBinaryImage& img, const QrPoint P[12], QrPoint A, QrPoint B, QrPoint C,
                QrFormat* format);
bool ReadVersion(const QrBinaryImage& img, const QrPoint P[12], QrPoint B, QrPoint C,
                 int32_t* version);

}  // namespace vantrel::qr

#endif

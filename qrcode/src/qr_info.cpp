// Format and version information.
//
// The first format copy lies around the top-left finder (column 8 and row 8
// beside it); the second is split between the top-right finder (row 8, bits
// 0-7) and the bottom-left finder (column 8, bits 8-14). The version blocks sit
// beside the top-right finder (first copy) and the bottom-left one (second).
// A finder centre is the centre of module (3, 3) of its own 7 x 7 square.
#include "qr_info.h"


namespace vantrel::qr {

namespace {

// Reads the module at round(p); false when it lies outside the image.
bool ReadModule(const QrBinaryImage& img, QrPoint p, uint32_t* bit) {
  const int32_t x = QrRound(p.x), y = QrRound(p.y);
  if (!img.Inside(x, y)) return false;
  *bit = img.Set(x, y) ? 1u : 0u;
  return true;
}

// Bits set in v (the standard library's count needs a processor option to be
// one instruction).
int32_t BitCount(uint32_t v) {
  v = v - ((v >> 1) & 0x55555555u);
  v = (v & 0x33333333u) + ((v >> 2) & 0x33333333u);
  return static_cast<int32_t>((((v + (v >> 4)) & 0x0F0F0F0Fu) * 0x01010101u) >> 24);
}

}  // namespace

bool DecodeFormatWord(uint32_t word, QrFormat* format) {
  for (uint32_t m = 0; m < 32; ++m) {
    const uint32_t f = FormatCodeword(m);
    if (BitCount((f ^ word) & 0x7FFFu) <= 2) {
      static constexpr int32_t kLevelOfIndicator[4] = {1, 0, 3, 2};  // 00 M, 01 L, 10 H, 11 Q
      format->level = kLevelOfIndicator[(f >> 13) & 3];
      format->mask = static_cast<int32_t>((f >> 10) & 7);
      return true;
    }
  }
  return false;
}

bool DecodeVersionWord(uint32_t word, int32_t* version) {
  for (uint32_t b = 7; b <= 40; ++b) {
    if (BitCount((VersionCodeword(b) ^ word) & 0x3FFFFu) <= 2) {
      *version = static_cast<int32_t>(b);
      return true;
    }
  }
  return false;
}

bool ReadFormat(const QrBinaryImage& img, const QrPoint P[12], QrPoint A, QrPoint B, QrPoint C,
                QrFormat* format) {
  // First copy, around A: both sides of A averaged.
  const QrPoint uA = ((P[1] - P[0]) + (P[2] - P[3])) / 14;
  const QrPoint vA = ((P[3] - P[0]) + (P[2] - P[1])) / 14;
  auto aroundA = [&](int32_t c, int32_t r) {
    return A + static_cast<float>(c - 3) * uA + static_cast<float>(r - 3) * vA;
  };
  static constexpr int32_t kFirstCopy[15][2] = {
      {8, 0}, {8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 7}, {8, 8},
      {7, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}, {0, 8}};
  uint32_t word = 0;
  for (int32_t i = 0; i < 15; ++i) {
    uint32_t bit = 0;
    if (!ReadModule(img, aroundA(kFirstCopy[i][0], kFirstCopy[i][1]), &bit)) return false;
    word |= bit << i;
  }
  if (DecodeFormatWord(word ^ kFormatMask, format)) return true;

  // Second copy: bits 0-7 along B's inner side, bits 8-14 along C's.
  const QrPoint vB = ((P[6] - P[5]) + (P[7] - P[4])) / 14;
  const QrPoint uB = (P[6] - P[7]) / 7;
  const QrPoint uC = ((P[10] - P[11]) + (P[9] - P[8])) / 14;
  const QrPoint vC = (P[10] - P[9]) / 7;
  word = 0;
  for (int32_t i = 0; i < 8; ++i) {
    uint32_t bit = 0;
    if (!ReadModule(img, B + 5.0f * vB + static_cast<float>(3 - i) * uB, &bit)) return false;
    word |= bit << i;
  }
  for (int32_t i = 0; i < 7; ++i) {
    uint32_t bit = 0;
    if (!ReadModule(img, C + 5.0f * uC + static_cast<float>(i - 3) * vC, &bit)) return false;
    word |= bit << (8 + i);
  }
  return DecodeFormatWord(word ^ kFormatMask, format);
}

bool ReadVersion(const QrBinaryImage& img, const QrPoint P[12], QrPoint B, QrPoint C,
                 int32_t* version) {
  // First copy, left of B: module (N - 11 + s, r) carries bit 3r + s.
  const QrPoint uB = ((P[6] - P[7]) + (P[5] - P[4])) / 14;
  const QrPoint vB = (P[7] - P[4]) / 7;
  uint32_t word = 0;
  for (int32_t r = 0; r < 6; ++r)
    for (int32_t s = 0; s < 3; ++s) {
      uint32_t bit = 0;
      const QrPoint p = B + static_cast<float>(s - 7) * uB + static_cast<float>(r - 3) * vB;
      if (!ReadModule(img, p, &bit)) return false;
      word |= bit << (3 * r + s);
    }
  if (DecodeVersionWord(word, version)) return true;

  // Second copy, above C: module (c, N - 11 + s) carries bit 3c + s.
  const QrPoint uC = (P[9] - P[8]) / 7;
  const QrPoint vC = ((P[11] - P[8]) + (P[10] - P[9])) / 14;
  word = 0;
  for (int32_t c = 0; c < 6; ++c)
    for (int32_t s = 0; s < 3; ++s) {
      uint32_t bit = 0;
      const QrPoint p = C + static_cast<float>(c - 3) * uC + static_cast<float>(s - 7) * vC;
      if (!ReadModule(img, p, &bit)) return false;
      word |= bit << (3 * c + s);
    }
  return DecodeVersionWord(word, version);
}

}  // namespace vantrel::qr

// Reed-Solomon check and correction of one error-correction block over
// GF(256) (primitive polynomial x^8 + x^4 + x^3 + x^2 + 1, alpha = 2). A block
// is checked by division by the generator polynomial; only a block that fails
// is corrected, by solving the syndrome equations for an increasing assumed
// number of errors (Peterson-Gorenstein-Zierler).
#ifndef VANTREL_QRCODE_QR_REED_SOLOMON_H
#define VANTREL_QRCODE_QR_REED_SOLOMON_H

#include <cstdint>

namespace vantrel::qr {

constexpr int32_t kMaxCorrectable = 15;
constexpr int32_t kMaxBlockBytes = 255;

// Work areas reused from block to block.
struct QrRsWork {
  uint8_t syndromes[2 * kMaxCorrectable] = {};
  int32_t positions[kMaxCorrectable] = {};
  uint8_t system[kMaxCorrectable][kMaxCorrectable + 1] = {};  // s rows, s + 1 columns
  uint8_t working[kMaxCorrectable][kMaxCorrectable + 1] = {};
  uint8_t solution[kMaxCorrectable] = {};
  uint8_t copy[kMaxBlockBytes] = {};
};

uint8_t GfMul(uint8_t a, uint8_t b);
uint8_t GfDiv(uint8_t a, uint8_t b);  // b nonzero
uint8_t GfPow(int32_t power);         // alpha^power, any power >= 0

// c bytes, the first the coefficient of the highest power; k of them data.
bool RsCheck(const uint8_t* block, int32_t c, int32_t k, QrRsWork* work);
// Corrects up to t errors in place; on failure the block is left unchanged.
bool RsCorrect(uint8_t* block, int32_t c, int32_t k, int32_t t, QrRsWork* work);
// Solves work->system (s rows, the last column the right side) into
// work->solution[0 .. s-1]; false when the final pivot is zero. The system is
// consumed.
bool RsSolve(QrRsWork* work, int32_t s);

}  // namespace vantrel::qr

#endif

// Reed-Solomon check and correction of one error-correction block over
// GF(256) (primitive polynomial x^8 + x^4 + x^3 + x^2 + 1, alpha = 2). A block
// is checked by division by the generator polynomial; only a block that fails
// is corrected: its first 2t syndromes give the error locator by
// Berlekamp-Massey, a locator of degree above t is refused before any error is
// located, the roots among the block's positions locate the errors and
// Forney's formula gives their values. The corrected block must pass the check
// again. Every block with at most t errors is corrected; a block with more is
// refused or, rarely, turned into another valid codeword.
#ifndef VANTREL_QRCODE_QR_REED_SOLOMON_H
#define VANTREL_QRCODE_QR_REED_SOLOMON_H

#include <cstdint>

namespace vantrel::qr {

constexpr int32_t kMaxCorrectable = 15;
constexpr int32_t kMaxBlockBytes = 255;

// Work areas reused from block to block, and the work they have done: one
// unit per field operation of the check, the syndromes, the locator and the
// root search. A correction is refused without being tried once `spent` has
// reached `budget`; the caller sets the budget and reads the spending.
struct QrRsWork {
  uint8_t syndromes[2 * kMaxCorrectable] = {};
  int32_t positions[kMaxCorrectable] = {};
  uint8_t copy[kMaxBlockBytes] = {};
  int64_t spent = 0;
  int64_t budget = INT64_MAX;
  bool Exhausted() const { return spent >= budget; }
};

uint8_t GfMul(uint8_t a, uint8_t b);
uint8_t GfDiv(uint8_t a, uint8_t b);  // b nonzero
uint8_t GfPow(int32_t power);         // alpha^power, any power >= 0

// c bytes, the first the coefficient of the highest power; k of them data.
bool RsCheck(const uint8_t* block, int32_t c, int32_t k, QrRsWork* work);
// Corrects up to t errors in place; on failure the block is left unchanged.
bool RsCorrect(uint8_t* block, int32_t c, int32_t k, int32_t t, QrRsWork* work);

}  // namespace vantrel::qr

#endif

#include <utility>

#include "bcd_decoder.h"

namespace vantrel::bcd {

void SetSymbolPosition(BcdDecoder& d, int32_t f, int32_t l) {
  const float* S = d.spaces;
  const float* B = d.bars;
  float sum = 0.0f;
  for (int32_t j = 0; j < f; ++j) {
    sum += S[j];
    sum += B[j];
  }
  sum += S[f];
  d.startPos = sum;
  sum += B[f];
  for (int32_t j = f + 1; j <= l; ++j) {
    sum += S[j];
    sum += B[j];
  }
  d.endPos = sum;
}

namespace {

// The fixed order in which the symbologies are tried on every line.
int32_t OfferRuns(BcdDecoder& d, int32_t k) {
  const OvoBcdParams& p = d.params;
  if (p.JAN8 != 0 && DecodeJan8(d, k)) return 1;
  if (p.JAN13 != 0 && DecodeJan13(d, k)) return 1;
  if (p.CODE128 != 0 && DecodeCode128(d, k)) return 1;
  if (p.CODE39 != 0 && DecodeCode39(d, k)) return 1;
  if (p.NW7 != 0 && DecodeNw7(d, k)) return 1;
  if (p.ITF != 0 && DecodeItf(d, k)) return 1;
  return 0;
}

}  // namespace

int32_t DecodeRuns(BcdDecoder& d, int32_t n, int32_t k) {
  if (k < 0) return 0;
  if (OfferRuns(d, k)) return 1;

  // Reversed line: S'[0] = 0, S'[j] = S[k + 1 - j], B'[j] = B[k - j]; it begins
  // with an empty light run and the final bar B[k] (0 unless the line ended dark).
  float* S = d.spaces;
  float* B = d.bars;
  for (int32_t a = 0, b = k + 1; a < b; ++a, --b) std::swap(S[a], S[b]);
  S[0] = 0.0f;
  for (int32_t a = 0, b = k; a < b; ++a, --b) std::swap(B[a], B[b]);
  if (!OfferRuns(d, k + 1)) return 0;
  const float last = static_cast<float>(n);
  d.startPos = last - d.startPos - 1.0f;
  d.endPos = last - d.endPos - 1.0f;
  return 1;
}

}  // namespace vantrel::bcd

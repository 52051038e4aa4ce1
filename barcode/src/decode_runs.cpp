#include <utility>

#include "bcd_decoder.h"
#include "robust.h"

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

bool NeedsConfirmation(const BcdDecoder& d) {
  const OvoBcdParams& p = d.params;
  switch (d.type) {
    case OVOBCD_ITF: return p.ITF_Check != 1;
    case OVOBCD_CODE39: return p.CODE39_Check != 1;
    case OVOBCD_NW7: return p.NW7_Check != 1;
    default: return false;
  }
}

namespace {

using Decoder = int32_t (*)(BcdDecoder&, int32_t);

struct Decoders {
  Decoder jan8, jan13, code128, code39, nw7, itf;
};
constexpr Decoders kStrict{DecodeJan8, DecodeJan13, DecodeCode128, DecodeCode39, DecodeNw7, DecodeItf};
constexpr Decoders kRobust{RobustJan8, RobustJan13, RobustCode128, RobustCode39, RobustNw7, RobustItf};

bool Accepted(BcdDecoder& d, int32_t k, Decoder fn, const ReadCheck* check) {
  if (!fn(d, k)) return false;
  return !check || !(check->every || NeedsConfirmation(d)) || check->confirm(check->context, d);
}

// The fixed order in which the symbologies are tried on every line.
int32_t OfferRuns(BcdDecoder& d, int32_t k, const Decoders& fn, const ReadCheck* check) {
  const OvoBcdParams& p = d.params;
  if (p.JAN8 != 0 && Accepted(d, k, fn.jan8, check)) return 1;
  if (p.JAN13 != 0 && Accepted(d, k, fn.jan13, check)) return 1;
  if (p.CODE128 != 0 && Accepted(d, k, fn.code128, check)) return 1;
  if (p.CODE39 != 0 && Accepted(d, k, fn.code39, check)) return 1;
  if (p.NW7 != 0 && Accepted(d, k, fn.nw7, check)) return 1;
  if (p.ITF != 0 && Accepted(d, k, fn.itf, check)) return 1;
  return 0;
}

int32_t OfferBothWays(BcdDecoder& d, int32_t n, int32_t k, const Decoders& fn, const ReadCheck* check) {
  if (k < 0) return 0;
  if (OfferRuns(d, k, fn, check)) return 1;

  // Reversed line: S'[0] = 0, S'[j] = S[k + 1 - j], B'[j] = B[k - j]; it begins
  // with an empty light run and the final bar B[k] (0 unless the line ended dark).
  float* S = d.spaces;
  float* B = d.bars;
  for (int32_t a = 0, b = k + 1; a < b; ++a, --b) std::swap(S[a], S[b]);
  S[0] = 0.0f;
  for (int32_t a = 0, b = k; a < b; ++a, --b) std::swap(B[a], B[b]);
  if (!OfferRuns(d, k + 1, fn, check)) return 0;
  const float last = static_cast<float>(n);
  d.startPos = last - d.startPos - 1.0f;
  d.endPos = last - d.endPos - 1.0f;
  return 1;
}

}  // namespace

int32_t DecodeRuns(BcdDecoder& d, int32_t n, int32_t k, const ReadCheck* check) {
  return OfferBothWays(d, n, k, kStrict, check);
}

int32_t DecodeRunsRobust(BcdDecoder& d, int32_t n, int32_t k, const ReadCheck* check) {
  return OfferBothWays(d, n, k, kRobust, check);
}

}  // namespace vantrel::bcd

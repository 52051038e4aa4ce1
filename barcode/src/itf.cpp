// ITF (Interleaved 2 of 5).
#include "bcd_decoder.h"

namespace vantrel::bcd {

namespace {

// Two wide (1) and three narrow elements per digit, first element most significant.
constexpr uint32_t kItfDigits[10] = {0b00110, 0b10001, 0b01001, 0b11000, 0b00101,
                                     0b10100, 0b01100, 0b00011, 0b10010, 0b01010};

constexpr float kWide = 1.6f;      // wider than this many modules is a wide element
constexpr float kTooWide = 3.2f;   // wider than this ends the data
constexpr float kEndWide = 1.5f;   // end pattern: wide bar above, narrow elements below
constexpr float kQuiet = 5.0f;     // quiet zones, in narrow spaces
constexpr int32_t kPairModules = 7;
constexpr int32_t kMaxPairs = 64;

int32_t FindDigit(uint32_t pattern) {
  for (int32_t i = 0; i < 10; ++i)
    if (pattern == kItfDigits[i]) return i;
  return -1;
}

}  // namespace

int32_t DecodeItf(BcdDecoder& d, int32_t k) {
  if (k < 10) return 0;
  const float* S = d.spaces;
  const float* B = d.bars;
  const OvoBcdParams& prm = d.params;
  for (int32_t i = 0; i <= k - 9; ++i) {
    int32_t p = 0;
    int32_t digits = 0;
    float mb = 0.0f;
    float ms = 0.0f;

    // Start pattern: two narrow bars and two narrow spaces of like widths, and a
    // quiet zone of at least five start spaces.
    if (!(2.0f * B[i] <= 3.0f * B[i + 1] && 3.0f * B[i] >= 2.0f * B[i + 1])) continue;
    if (!(2.0f * S[i + 2] <= 3.0f * S[i + 1] && 3.0f * S[i + 2] >= 2.0f * S[i + 1])) continue;
    if (!(S[i] >= kQuiet * S[i + 1])) continue;
    d.ClearText();  // each candidate that starts writes from an empty text

    bool rejected = false;
    while (i + 7 + 5 * p < k && p < kMaxPairs) {
      const float* bar = B + i + 2 + 5 * p;
      const float* space = S + i + 3 + 5 * p;
      float tb = 0.0f;
      float ts = 0.0f;
      for (int32_t e = 0; e < 5; ++e) tb += bar[e];
      for (int32_t e = 0; e < 5; ++e) ts += space[e];
      mb = tb / static_cast<float>(kPairModules);
      ms = ts / static_cast<float>(kPairModules);
      if (2.0f * ms < mb || 2.0f * mb < ms) break;
      bool tooWide = false;
      for (int32_t e = 0; e < 5; ++e)
        if (bar[e] > kTooWide * mb || space[e] > kTooWide * ms) tooWide = true;
      if (tooWide) break;
      uint32_t bp = 0;
      uint32_t sp = 0;
      for (int32_t e = 0; e < 5; ++e) {
        bp = (bp << 1) | (bar[e] > kWide * mb ? 1u : 0u);
        sp = (sp << 1) | (space[e] > kWide * ms ? 1u : 0u);
      }
      const int32_t first = FindDigit(bp);
      const int32_t second = FindDigit(sp);
      if (first < 0 || second < 0) break;
      if (digits >= OVOBCD_MAX_TEXT) {
        rejected = true;
        break;
      }
      d.text[digits++] = static_cast<char>('0' + first);
      d.text[digits++] = static_cast<char>('0' + second);
      ++p;
    }
    if (rejected) continue;

    // End pattern where the data ended: wide bar, narrow space, narrow bar, and a
    // trailing quiet zone of more than five of its narrow spaces.
    const int32_t e = i + 2 + 5 * p;
    if (!(B[e] > kEndWide * mb && S[e + 1] < kEndWide * ms && B[e + 1] < kEndWide * mb &&
          S[e + 2] > kQuiet * S[e + 1]))
      continue;
    if (digits < prm.ITF_Min || digits > prm.ITF_Max) continue;
    if (prm.ITF_Check == 1) {
      // No digit to verify in an empty symbol: it cannot pass a check.
      if (digits < 1) continue;
      int32_t sum = 0;
      for (int32_t j = 0; j <= digits - 2; ++j) sum += (d.text[j] - '0') * ((j % 2 == 0) ? 3 : 1);
      if ((10 - sum % 10) % 10 != d.text[digits - 1] - '0') continue;
    }
    d.type = OVOBCD_ITF;
    d.length = digits;
    SetSymbolPosition(d, i, i + 5 * p + 3);
    return 1;
  }
  return 0;
}

}  // namespace vantrel::bcd

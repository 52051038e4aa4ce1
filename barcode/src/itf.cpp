// ITF (Interleaved 2 of 5).
#include "bcd_decoder.h"
#include "robust.h"

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

// ---------------------------------------------------------------------------
// Robust reading: in each pair the five bars and the five spaces are split into
// two wide and three narrow apart, so that ink spread does not matter.

namespace {

constexpr float kStep = 1.2f;          // wide elements at least this much wider than narrow ones
constexpr float kNarrowSpread = 1.5f;  // the start pattern's narrow bars (spaces) within this factor
constexpr float kPairStep = 1.3f;      // neighbouring pairs within this factor in width
constexpr float kNarrowStep = 1.5f;    // ... and in narrow width of each colour
constexpr float kQuietModules = 8.0f;  // quiet zones, in narrow modules
// A light run reaching the line's end counts when wider than any element
// inside a symbol (3 modules).
constexpr float kQuietAtEdge = 2.5f;

int32_t RobustItfAt(BcdDecoder& d, int32_t k, int32_t i) {
  const float* S = d.spaces;
  const float* B = d.bars;
  const OvoBcdParams& prm = d.params;
  if (!Within(B[i], B[i + 1], kNarrowSpread) || !Within(S[i + 1], S[i + 2], kNarrowSpread)) return 0;
  float narrowBar = (B[i] + B[i + 1]) / 2.0f;
  float narrowSpace = (S[i + 1] + S[i + 2]) / 2.0f;
  float module = (narrowBar + narrowSpace) / 2.0f;
  if (!QuietBefore(S, B, i, kQuietModules * module, kQuietAtEdge * module)) return 0;
  float wideBar = 0.0f;
  float prevWidth = 0.0f;
  char text[OVOBCD_MAX_TEXT];
  int32_t digits = 0;
  int32_t p = 0;
  for (; i + 7 + 5 * p < k && p < kMaxPairs; ++p) {
    const float* bar = B + i + 2 + 5 * p;
    const float* space = S + i + 3 + 5 * p;
    NarrowWide nb, ns;
    if (!SplitNarrowWide(bar, 5, 1u << 2, kStep, &nb) || !SplitNarrowWide(space, 5, 1u << 2, kStep, &ns)) break;
    if (!Within(nb.narrow, narrowBar, kNarrowStep) || !Within(ns.narrow, narrowSpace, kNarrowStep)) break;
    float width = 0.0f;
    for (int32_t e = 0; e < 5; ++e) width += bar[e] + space[e];
    if (p > 0 && !Within(width, prevWidth, kPairStep)) break;
    uint32_t bp = 0, sp = 0;
    for (int32_t e = 0; e < 5; ++e) {
      bp = (bp << 1) | ((nb.wide >> e) & 1u);
      sp = (sp << 1) | ((ns.wide >> e) & 1u);
    }
    const int32_t first = FindDigit(bp), second = FindDigit(sp);
    if (first < 0 || second < 0) break;
    if (digits >= OVOBCD_MAX_TEXT) return 0;
    text[digits++] = static_cast<char>('0' + first);
    text[digits++] = static_cast<char>('0' + second);
    narrowBar = nb.narrow;
    narrowSpace = ns.narrow;
    wideBar = nb.wide_;
    module = (narrowBar + narrowSpace) / 2.0f;
    prevWidth = width;
  }
  if (p == 0) return 0;
  // End pattern: wide bar, narrow space, narrow bar, quiet zone.
  const int32_t e = i + 2 + 5 * p;
  if (e + 1 > k) return 0;
  if (!Within(B[e], wideBar, kNarrowStep) || !(B[e] >= kStep * narrowBar)) return 0;
  if (!Within(S[e + 1], narrowSpace, kNarrowSpread) || !Within(B[e + 1], narrowBar, kNarrowSpread)) return 0;
  if (!QuietAfter(S, B, e + 1, k, kQuietModules * module, kQuietAtEdge * module)) return 0;
  if (digits < prm.ITF_Min || digits > prm.ITF_Max) return 0;
  if (prm.ITF_Check == 1) {
    int32_t sum = 0;
    for (int32_t j = 0; j <= digits - 2; ++j) sum += (text[j] - '0') * ((j % 2 == 0) ? 3 : 1);
    if ((10 - sum % 10) % 10 != text[digits - 1] - '0') return 0;
  }
  d.ClearText();
  for (int32_t j = 0; j < digits; ++j) d.text[j] = text[j];
  d.type = OVOBCD_ITF;
  d.length = digits;
  SetSymbolPosition(d, i, e + 1);
  return 1;
}

}  // namespace

int32_t RobustItf(BcdDecoder& d, int32_t k) {
  const float* S = d.spaces;
  const float* B = d.bars;
  for (int32_t i = 0; i + 10 <= k; ++i) {
    // Most places fail the quiet zone, which costs a few additions to test.
    const float module = (B[i] + S[i + 1] + B[i + 1] + S[i + 2]) / 4.0f;
    if (!(S[i] >= kQuietModules * module) && !OpensLine(S, B, i)) continue;
    if (RobustItfAt(d, k, i)) return 1;
  }
  return 0;
}

}  // namespace vantrel::bcd

// JAN-13 and JAN-8 (EAN-13 / EAN-8).
#include "bcd_decoder.h"

namespace vantrel::bcd {

namespace {

constexpr uint32_t kEanL[10] = {13, 25, 19, 61, 35, 49, 47, 59, 55, 11};
constexpr uint32_t kEanG[10] = {39, 51, 27, 33, 29, 57, 5, 17, 9, 23};
constexpr uint32_t kEanR[10] = {114, 102, 108, 66, 92, 78, 80, 68, 72, 116};
constexpr uint32_t kEanParity[10] = {0, 11, 13, 14, 19, 25, 28, 21, 22, 26};

constexpr float kGuardLow = 0.66f;
constexpr float kGuardHigh = 1.5f;
constexpr float kDigitLow = 0.9f;
constexpr float kDigitHigh = 1.1f;
constexpr int32_t kDigitModules = 7;

// Bar and space module sizes of the candidate whose start guard begins at B[m],
// after the guard test. False when a guard element is off.
struct Measures {
  float ba;
  float sa;
  float x;
};

bool MeasureGuards(const float* S, const float* B, int32_t m, int32_t centre, int32_t end,
                   Measures* out) {
  // Guard bars: start B[m], B[m+1]; centre B[c], B[c+1]; end B[e], B[e+1].
  // Guard spaces: S[m+1]; S[c], S[c+1], S[c+2]; S[e+1].
  const float gb[6] = {B[m], B[m + 1], B[centre], B[centre + 1], B[end], B[end + 1]};
  const float gs[5] = {S[m + 1], S[centre], S[centre + 1], S[centre + 2], S[end + 1]};
  float sb = 0.0f;
  for (float v : gb) sb += v;
  float ss = 0.0f;
  for (float v : gs) ss += v;
  const float ba = sb / 6.0f;
  const float sa = ss / 5.0f;
  const float x = (ba + sa) / 2.0f;
  const float lo = kGuardLow * x;
  const float hi = kGuardHigh * x;
  for (float v : gb)
    if (!(lo < v && v < hi)) return false;
  for (float v : gs)
    if (!(lo < v && v < hi)) return false;
  *out = Measures{ba, sa, x};
  return true;
}

// The width test of one digit: its four elements add up to about 7 modules of X.
bool DigitWidthOk(float e0, float e1, float e2, float e3, float x) {
  float sum = e0;
  sum += e1;
  sum += e2;
  sum += e3;
  const float xd = sum / static_cast<float>(kDigitModules);
  return kDigitLow * xd <= x && x <= kDigitHigh * xd;
}

// Left digit at S[a], B[a], S[a+1], B[a+1]: the leading space is not measured,
// its modules are the pattern's leading zeros. -1 when the pattern grows too long.
int32_t LeftPattern(const float* S, const float* B, int32_t a, const Measures& me) {
  uint32_t p = 0;
  int32_t bits = 0;
  if (!AppendModules(&p, &bits, ModuleCount(B[a] / me.ba), true, kDigitModules)) return -1;
  if (!AppendModules(&p, &bits, ModuleCount(S[a + 1] / me.sa), false, kDigitModules)) return -1;
  if (!AppendModules(&p, &bits, ModuleCount(B[a + 1] / me.ba), true, kDigitModules)) return -1;
  return static_cast<int32_t>(p);
}

// Right digit at B[a], S[a+1], B[a+1], S[a+2].
int32_t RightPattern(const float* S, const float* B, int32_t a, const Measures& me) {
  uint32_t p = 0;
  int32_t bits = 0;
  if (!AppendModules(&p, &bits, ModuleCount(B[a] / me.ba), true, kDigitModules)) return -1;
  if (!AppendModules(&p, &bits, ModuleCount(S[a + 1] / me.sa), false, kDigitModules)) return -1;
  if (!AppendModules(&p, &bits, ModuleCount(B[a + 1] / me.ba), true, kDigitModules)) return -1;
  if (!AppendModules(&p, &bits, ModuleCount(S[a + 2] / me.sa), false, kDigitModules)) return -1;
  return static_cast<int32_t>(p);
}

int32_t FindIn(const uint32_t (&table)[10], int32_t pattern) {
  for (int32_t i = 0; i < 10; ++i)
    if (pattern == static_cast<int32_t>(table[i])) return i;
  return -1;
}

// Reads `digits` right digits starting at B[first] into text[pos ...].
bool ReadRightHalf(const float* S, const float* B, int32_t first, int32_t digits,
                   const Measures& me, char* text) {
  for (int32_t d = 0; d < digits; ++d) {
    const int32_t a = first + 2 * d;
    if (!DigitWidthOk(B[a], S[a + 1], B[a + 1], S[a + 2], me.x)) return false;
    const int32_t v = FindIn(kEanR, RightPattern(S, B, a, me));
    if (v < 0) return false;
    text[d] = static_cast<char>('0' + v);
  }
  return true;
}

}  // namespace

int32_t DecodeJan13(BcdDecoder& d, int32_t k) {
  if (k < 30) return 0;
  d.ClearText();
  const float* S = d.spaces;
  const float* B = d.bars;
  for (int32_t m = 0; m <= k - 30; ++m) {
    Measures me;
    if (!MeasureGuards(S, B, m, m + 14, m + 28, &me)) continue;
    bool ok = true;
    int32_t parity = 0;
    for (int32_t dg = 0; dg < 6 && ok; ++dg) {
      const int32_t a = m + 2 + 2 * dg;
      if (!DigitWidthOk(S[a], B[a], S[a + 1], B[a + 1], me.x)) {
        ok = false;
        break;
      }
      const int32_t pattern = LeftPattern(S, B, a, me);
      int32_t digit = -1;
      for (int32_t i = 0; i < 10; ++i) {
        if (pattern == static_cast<int32_t>(kEanL[i])) {
          digit = i;
          parity <<= 1;
          break;
        }
        if (pattern == static_cast<int32_t>(kEanG[i])) {
          digit = i;
          parity = (parity << 1) | 1;
          break;
        }
      }
      if (digit < 0) ok = false;
      else d.text[1 + dg] = static_cast<char>('0' + digit);
    }
    if (!ok || !ReadRightHalf(S, B, m + 16, 6, me, d.text + 7)) continue;
    const int32_t first = FindIn(kEanParity, parity);
    if (first < 0) continue;
    d.text[0] = static_cast<char>('0' + first);
    int32_t sum = 0;
    for (int32_t j = 0; j < 12; ++j) sum += (d.text[j] - '0') * ((j % 2 == 0) ? 1 : 3);
    if ((10 - sum % 10) % 10 != d.text[12] - '0') continue;
    d.type = OVOBCD_JAN13;
    d.length = 13;
    SetSymbolPosition(d, m, m + 29);
    return 1;
  }
  return 0;
}

int32_t DecodeJan8(BcdDecoder& d, int32_t k) {
  if (k < 22) return 0;
  const float* S = d.spaces;
  const float* B = d.bars;
  for (int32_t m = 0; m <= k - 22; ++m) {
    Measures me;
    if (!MeasureGuards(S, B, m, m + 10, m + 20, &me)) continue;
    d.ClearText();  // each candidate starts from an empty text
    bool ok = true;
    for (int32_t dg = 0; dg < 4; ++dg) {
      const int32_t a = m + 2 + 2 * dg;
      if (!DigitWidthOk(S[a], B[a], S[a + 1], B[a + 1], me.x)) {
        ok = false;
        break;
      }
      const int32_t v = FindIn(kEanL, LeftPattern(S, B, a, me));
      if (v < 0) {
        ok = false;
        break;
      }
      d.text[dg] = static_cast<char>('0' + v);
    }
    if (!ok || !ReadRightHalf(S, B, m + 12, 4, me, d.text + 4)) continue;
    int32_t sum = 0;
    for (int32_t j = 0; j < 7; ++j) sum += (d.text[j] - '0') * ((j % 2 == 0) ? 3 : 1);
    if ((10 - sum % 10) % 10 != d.text[7] - '0') continue;
    d.type = OVOBCD_JAN8;
    d.length = 8;
    SetSymbolPosition(d, m, m + 21);
    return 1;
  }
  return 0;
}

}  // namespace vantrel::bcd

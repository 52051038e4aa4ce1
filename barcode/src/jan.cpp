// JAN-13 and JAN-8 (EAN-13 / EAN-8).
#include "bcd_decoder.h"
#include "robust.h"

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

// ---------------------------------------------------------------------------
// Robust reading: every digit by the distances between like edges.

namespace {

// A digit's four elements e0..e3 (7 modules) give two distances between like
// edges, t1 = e0 + e1 and t2 = e1 + e2, each 2 to 5 modules; ink spread and
// blur leave them alone. They name the digit and its set, except that 1 and 7,
// and 2 and 8, share them in every set: those differ in their dark modules.
struct E2eEntry {
  int8_t digit[2] = {-1, -1};
  int8_t dark[2] = {0, 0};  // dark modules of each
};
struct E2eTable {
  E2eEntry at[16];  // (t1 - 2) * 4 + (t2 - 2)
};

constexpr int32_t DarkModules(uint32_t code) {
  int32_t n = 0;
  for (int32_t b = 0; b < 7; ++b) n += (code >> b) & 1u;
  return n;
}

// Element widths of a 7-module code, first module most significant.
constexpr void Elements(uint32_t code, int32_t e[4]) {
  int32_t j = 0;
  for (int32_t b = 6; b >= 0; --b) {
    const bool v = (code >> b) & 1u;
    if (b != 6 && v == (((code >> (b + 1)) & 1u) != 0)) ++e[j - 1];
    else if (j < 4) e[j++] = 1;
  }
}

constexpr E2eTable MakeE2e(const uint32_t (&codes)[10]) {
  E2eTable t{};
  for (int32_t digit = 0; digit < 10; ++digit) {
    int32_t e[4] = {0, 0, 0, 0};
    Elements(codes[digit], e);
    E2eEntry& x = t.at[(e[0] + e[1] - 2) * 4 + (e[1] + e[2] - 2)];
    const int32_t slot = x.digit[0] < 0 ? 0 : 1;
    x.digit[slot] = static_cast<int8_t>(digit);
    x.dark[slot] = static_cast<int8_t>(DarkModules(codes[digit]));
  }
  return t;
}

constexpr E2eTable kE2eL = MakeE2e(kEanL);
constexpr E2eTable kE2eG = MakeE2e(kEanG);
constexpr E2eTable kE2eR = MakeE2e(kEanR);
// 1 (3 dark modules) shares its distances with 7 (5), 2 (3) with 8 (5) in set A.
static_assert(kE2eL.at[2 * 4 + 2].digit[0] == 1 && kE2eL.at[2 * 4 + 2].digit[1] == 7);
static_assert(kE2eL.at[2 * 4 + 2].dark[0] == 3 && kE2eL.at[2 * 4 + 2].dark[1] == 5);
static_assert(kE2eL.at[1 * 4 + 1].digit[0] == 2 && kE2eL.at[1 * 4 + 1].digit[1] == 8);
static_assert(kE2eR.at[2 * 4 + 2].dark[0] == 4 && kE2eR.at[2 * 4 + 2].dark[1] == 2);

constexpr bool E2eSetsApart() {
  for (int32_t i = 0; i < 16; ++i) {
    const bool l = kE2eL.at[i].digit[0] >= 0, g = kE2eG.at[i].digit[0] >= 0;
    if (l == g) return false;  // every pair of distances belongs to exactly one of the sets A and B
  }
  return true;
}
static_assert(E2eSetsApart());

constexpr float kPairSlack = 0.25f;      // guard pairs: 2 modules within 25 %
constexpr float kDigitSlack = 0.15f;     // digit width within 15 % of 7 local modules
constexpr float kModuleSlack = 0.45f;    // a distance within 0.45 modules of a whole number
constexpr float kGuardSpread = 1.5f;     // module widths of the three guards within this factor
constexpr float kQuietModules = 5.0f;    // quiet zones, in modules
constexpr float kQuietAtEdge = 0.0f;     // ... when reaching the line's end
constexpr float kDarkMargin = 0.2f;      // 1/7 and 2/8: dark modules this far from the middle

// Guard elements alternating bar, space, bar ... (a bar first when barFirst),
// one module each, so that every neighbouring pair spans two modules. The
// module width comes from the pairs from..to - 1 alone: the pair that reaches
// the quiet zone has an edge that blur drags outwards.
bool MeasureGuard(const float* e, int32_t n, int32_t from, int32_t to, float* x) {
  float pairs = 0.0f;
  for (int32_t j = from; j < to; ++j) pairs += e[j] + e[j + 1];
  const float module = pairs / static_cast<float>(2 * (to - from));
  if (!(module > 0.0f)) return false;
  for (int32_t j = 0; j + 1 < n; ++j)
    if (std::fabs(e[j] + e[j + 1] - 2.0f * module) > kPairSlack * 2.0f * module) return false;
  *x = module;
  return true;
}

// What the distances between like edges make of one digit.
struct DigitRead {
  const E2eEntry* entry;  // the candidates
  int32_t set;            // 0: set A (or C on the right), 1: set B
  float module;           // the digit's own module width
  float bars;             // its two bars' widths together
};

// One digit of four elements, e0 first in reading order (a bar first in the
// right half), expected 7 modules of x wide.
bool ReadDigit(const float e[4], bool rightHalf, float x, DigitRead* out) {
  const float w = e[0] + e[1] + e[2] + e[3];
  if (!(std::fabs(w - 7.0f * x) <= kDigitSlack * 7.0f * x)) return false;
  const float module = w / 7.0f;
  const int32_t t1 = RoundModules(e[0] + e[1], module, 2, 5, kModuleSlack);
  const int32_t t2 = RoundModules(e[1] + e[2], module, 2, 5, kModuleSlack);
  if (t1 < 0 || t2 < 0) return false;
  const int32_t at = (t1 - 2) * 4 + (t2 - 2);
  DigitRead r{nullptr, 0, module, rightHalf ? e[0] + e[2] : e[1] + e[3]};
  if (rightHalf) {
    r.entry = &kE2eR.at[at];
  } else if (kE2eL.at[at].digit[0] >= 0) {
    r.entry = &kE2eL.at[at];
  } else {
    r.entry = &kE2eG.at[at];
    r.set = 1;
  }
  *out = r;
  return true;
}

// A JAN-13 (digits 6) or JAN-8 (digits 4) candidate whose start guard begins at B[m].
int32_t RobustJanAt(BcdDecoder& d, int32_t k, int32_t m, int32_t digits) {
  const float* S = d.spaces;
  const float* B = d.bars;
  const int32_t centre = m + 2 + 2 * digits;  // first space of the centre guard
  const int32_t end = centre + 2 + 2 * digits;  // first bar of the end guard
  float xs, xc, xe;
  const float start[3] = {B[m], S[m + 1], B[m + 1]};
  if (!MeasureGuard(start, 3, 1, 2, &xs)) return 0;
  if (!QuietBefore(S, B, m, kQuietModules * xs, kQuietAtEdge * xs)) return 0;
  const float mid[5] = {S[centre], B[centre], S[centre + 1], B[centre + 1], S[centre + 2]};
  if (!MeasureGuard(mid, 5, 0, 4, &xc)) return 0;
  const float fin[3] = {B[end], S[end + 1], B[end + 1]};
  if (!MeasureGuard(fin, 3, 0, 1, &xe)) return 0;
  if (!Within(xs, xc, kGuardSpread) || !Within(xe, xc, kGuardSpread)) return 0;
  if (!QuietAfter(S, B, end + 1, k, kQuietModules * xe, kQuietAtEdge * xe)) return 0;

  DigitRead read[12];
  // How much wider than its modules a bar prints (ink spread, blur), from the
  // digits whose distances leave no doubt: it tells 1 from 7 and 2 from 8.
  float gainSum = 0.0f;
  int32_t gainCount = 0;
  for (int32_t dg = 0; dg < 2 * digits; ++dg) {
    const bool right = dg >= digits;
    const int32_t h = right ? dg - digits : dg;
    // The module width expected here, between the guards on either side of the half.
    const float f = (static_cast<float>(h) + 0.5f) / static_cast<float>(digits);
    const float x = right ? xc + (xe - xc) * f : xs + (xc - xs) * f;
    float e[4];
    if (right) {
      const int32_t j = centre + 2 + 2 * h;
      e[0] = B[j]; e[1] = S[j + 1]; e[2] = B[j + 1]; e[3] = S[j + 2];
    } else {
      const int32_t j = m + 2 + 2 * h;
      e[0] = S[j]; e[1] = B[j]; e[2] = S[j + 1]; e[3] = B[j + 1];
    }
    if (!ReadDigit(e, right, x, &read[dg])) return 0;
    if (digits == 4 && read[dg].set != 0) return 0;  // JAN-8: set A only
    const E2eEntry& en = *read[dg].entry;
    if (en.digit[1] < 0) {
      gainSum += (read[dg].bars - static_cast<float>(en.dark[0]) * read[dg].module) / 2.0f;
      ++gainCount;
    }
  }
  const float gain = gainCount > 0 ? gainSum / static_cast<float>(gainCount) : 0.0f;

  char text[13];
  int32_t parity = 0;
  const int32_t textStart = digits == 6 ? 1 : 0;
  for (int32_t dg = 0; dg < 2 * digits; ++dg) {
    const DigitRead& r = read[dg];
    const E2eEntry& en = *r.entry;
    int32_t v = en.digit[0];
    if (en.digit[1] >= 0) {
      // The two candidates differ by two dark modules: count them, less the gain of both bars.
      const float dark = (r.bars - 2.0f * gain) / r.module;
      const float middle = static_cast<float>(en.dark[0] + en.dark[1]) / 2.0f;
      if (std::fabs(dark - middle) < kDarkMargin) return 0;
      v = ((dark < middle) == (en.dark[0] < en.dark[1])) ? en.digit[0] : en.digit[1];
    }
    if (dg < digits) parity = (parity << 1) | r.set;
    text[textStart + dg] = static_cast<char>('0' + v);
  }
  if (digits == 6) {
    const int32_t first = FindIn(kEanParity, parity);
    if (first < 0) return 0;
    text[0] = static_cast<char>('0' + first);
  }
  const int32_t len = digits == 6 ? 13 : 8;
  int32_t sum = 0;
  for (int32_t j = 0; j < len - 1; ++j) {
    const bool light = (len - 1 - j) % 2 == 0;  // weight 1 for the digits an even distance before the check digit
    sum += (text[j] - '0') * (light ? 1 : 3);
  }
  if ((10 - sum % 10) % 10 != text[len - 1] - '0') return 0;
  d.ClearText();
  for (int32_t j = 0; j < len; ++j) d.text[j] = text[j];
  d.type = digits == 6 ? OVOBCD_JAN13 : OVOBCD_JAN8;
  d.length = len;
  SetSymbolPosition(d, m, end + 1);
  return 1;
}

// Most places fail the quiet zone before the start guard, which costs a few
// additions to test.
bool MayStartJan(const float* S, const float* B, int32_t m) {
  const float x = (B[m] + 2.0f * S[m + 1] + B[m + 1]) / 4.0f;
  return S[m] >= kQuietModules * x || OpensLine(S, B, m);
}

}  // namespace

int32_t RobustJan13(BcdDecoder& d, int32_t k) {
  for (int32_t m = 0; m <= k - 30; ++m)
    if (MayStartJan(d.spaces, d.bars, m) && RobustJanAt(d, k, m, 6)) return 1;
  return 0;
}

int32_t RobustJan8(BcdDecoder& d, int32_t k) {
  for (int32_t m = 0; m <= k - 22; ++m)
    if (MayStartJan(d.spaces, d.bars, m) && RobustJanAt(d, k, m, 4)) return 1;
  return 0;
}

}  // namespace vantrel::bcd

// CODE 128.
#include <algorithm>

#include "bcd_decoder.h"
#include "robust.h"

namespace vantrel::bcd {

namespace {

// Element widths in modules (bar, space, bar, space, bar, space) of the values 0 to 105.
constexpr const char* kCode128Widths[106] = {
    "212222", "222122", "222221", "121223", "121322", "131222", "122213", "122312", "132212",
    "221213", "221312", "231212", "112232", "122132", "122231", "113222", "123122", "123221",
    "223211", "221132", "221231", "213212", "223112", "312131", "311222", "321122", "321221",
    "312212", "322112", "322211", "212123", "212321", "232121", "111323", "131123", "131321",
    "112313", "132113", "132311", "211313", "231113", "231311", "112133", "112331", "132131",
    "113123", "113321", "133121", "313121", "211331", "231131", "213113", "213311", "213131",
    "311123", "311321", "331121", "312113", "312311", "332111", "314111", "221411", "431111",
    "111224", "111422", "121124", "121421", "141122", "141221", "112214", "112412", "122114",
    "122411", "142112", "142211", "241211", "221114", "413111", "241112", "134111", "111242",
    "121142", "121241", "114212", "124112", "124211", "411212", "421112", "421211", "212141",
    "214121", "412121", "111143", "111341", "131141", "114113", "114311", "411113", "411311",
    "113141", "114131", "311141", "411131", "211412", "211214", "211232"};

constexpr uint32_t PatternOf(const char* widths) {
  uint32_t p = 0;
  for (int32_t e = 0; e < 6; ++e) {
    const int32_t n = widths[e] - '0';
    p = (p << n) | (e % 2 == 0 ? ((1u << n) - 1u) : 0u);
  }
  return p;
}

struct Code128Table {
  uint32_t pattern[106];
  constexpr Code128Table() : pattern() {
    for (int32_t i = 0; i < 106; ++i) pattern[i] = PatternOf(kCode128Widths[i]);
  }
};
constexpr Code128Table kTable;
static_assert(kTable.pattern[0] == 0b11011001100);
static_assert(kTable.pattern[103] == 0b11010000100);
static_assert(kTable.pattern[104] == 0b11010010000);
static_assert(kTable.pattern[105] == 0b11010011100);

constexpr int32_t kSymbolModules = 11;
constexpr int32_t kStopModules = 13;
constexpr int32_t kMaxSymbols = 64;
constexpr int32_t kStartA = 103;

// Stop pattern windows, in stop modules: 2 3 3 1 1 1 2 modules, each element
// above the lower and at most the upper bound.
constexpr float kStopLow[7] = {1.5f, 2.5f, 2.5f, 0.5f, 0.5f, 0.5f, 1.5f};
constexpr float kStopHigh[7] = {2.5f, 3.5f, 3.5f, 1.5f, 1.5f, 1.5f, 2.5f};

enum CodeSet { kSetA, kSetB, kSetC };

// Expands the data values into text; false when the text would pass 48 characters.
//
// FNC4 marks extended (Latin-1) characters: one FNC4 adds 128 to the next data
// character of set A or B, two in a row switch that on for every character
// until the next two, and a single one meanwhile exempts the next character.
// Dropping it would turn "ó" into "s" and report the wrong text as read.
bool Expand(const int32_t* values, int32_t count, CodeSet set, char* text, int32_t* length) {
  int32_t n = 0;
  bool shifted = false;
  bool extendedLatch = false;
  bool fnc4Pending = false;
  auto put = [&](int32_t ch) {
    if (n >= OVOBCD_MAX_TEXT) return false;
    if (extendedLatch != fnc4Pending) ch += 128;
    fnc4Pending = false;
    text[n++] = static_cast<char>(ch);
    return true;
  };
  auto fnc4 = [&] {
    if (fnc4Pending) {
      extendedLatch = !extendedLatch;
      fnc4Pending = false;
    } else {
      fnc4Pending = true;
    }
  };
  for (int32_t j = 0; j < count; ++j) {
    const int32_t v = values[j];
    CodeSet in = set;
    if (shifted) {
      // The shifted value is read in the set the shift selected; then the set
      // before the shift resumes.
      shifted = false;
      set = (set == kSetA) ? kSetB : kSetA;
    }
    switch (in) {
      case kSetA:
        if (v <= 63) {
          if (!put(v + 32)) return false;
        } else if (v <= 95) {
          if (!put(v - 64)) return false;
        } else if (v == 98) {
          set = kSetB;
          shifted = true;
        } else if (v == 99) {
          set = kSetC;
        } else if (v == 100) {
          set = kSetB;
        } else if (v == 101) {
          fnc4();
        }
        break;
      case kSetB:
        if (v <= 95) {
          if (!put(v + 32)) return false;
        } else if (v == 98) {
          set = kSetA;
          shifted = true;
        } else if (v == 99) {
          set = kSetC;
        } else if (v == 101) {
          set = kSetA;
        } else if (v == 100) {
          fnc4();
        }
        break;
      case kSetC:
        if (v <= 99) {
          // Digit pairs are never extended; a pending FNC4 waits for set A or B.
          const bool pending = fnc4Pending;
          const bool latch = extendedLatch;
          extendedLatch = fnc4Pending = false;
          if (!put('0' + v / 10) || !put('0' + v % 10)) return false;
          extendedLatch = latch;
          fnc4Pending = pending;
        } else if (v == 100) {
          set = kSetB;
        } else if (v == 101) {
          set = kSetA;
        }
        break;
    }
  }
  *length = n;
  return true;
}

}  // namespace

int32_t DecodeCode128(BcdDecoder& d, int32_t k) {
  if (k < 13) return 0;
  const float* S = d.spaces;
  const float* B = d.bars;
  const OvoBcdParams& prm = d.params;
  int32_t values[kMaxSymbols];
  // Every start symbol begins with 2, 1 and 1 modules: a coarse test with a
  // tenth of a module to spare turns away most places before the exact one.
  // It is made for a block of places at a time, in a loop without branches
  // that the compiler vectorises; most blocks of a line have no place left.
  constexpr int32_t kBlock = 64;
  uint8_t maybe[kBlock];
  for (int32_t i = 0; i <= k - 13; ++i) {
    if (i % kBlock == 0) {
      const int32_t m = std::min(kBlock, k - 12 - i);
      for (int32_t q = 0; q < m; ++q) {
        const int32_t p = i + q;
        const float t = B[p] + S[p + 1] + B[p + 1] + S[p + 2] + B[p + 2] + S[p + 3];
        maybe[q] = (11.0f * B[p] > 1.4f * t) & (11.0f * B[p] < 2.6f * t) & (11.0f * S[p + 1] < 1.6f * t) &
                   (11.0f * B[p + 1] < 1.6f * t);
      }
    }
    if (!maybe[i % kBlock]) continue;
    int32_t c = 0;
    bool stopFound = false;
    while (c < kMaxSymbols) {
      const int32_t j = i + 3 * c;
      const float e[7] = {B[j], S[j + 1], B[j + 1], S[j + 2], B[j + 2], S[j + 3], B[j + 3]};
      float t = e[0];
      for (int32_t q = 1; q < 6; ++q) t += e[q];
      const float x = t / static_cast<float>(kSymbolModules);
      const float xs = (t + e[6]) / static_cast<float>(kStopModules);
      if (c >= 2) {
        bool stop = true;
        for (int32_t q = 0; q < 7 && stop; ++q)
          stop = kStopLow[q] * xs < e[q] && e[q] <= kStopHigh[q] * xs;
        if (stop) {
          stopFound = true;
          break;
        }
      }
      uint32_t pattern = 0;
      int32_t bits = 0;
      bool fits = true;
      for (int32_t q = 0; q < 6 && fits; ++q) {
        const int32_t n = ModuleCount(e[q] / x);
        // Every start pattern begins with 2, 1 and 1 modules: anything else
        // cannot become one.
        if (c == 0 && q < 3 && n != (q == 0 ? 2 : 1)) fits = false;
        else fits = AppendModules(&pattern, &bits, n, q % 2 == 0, kSymbolModules);
      }
      int32_t v = -1;
      if (fits) {
        const int32_t lo = c == 0 ? kStartA : 0;
        const int32_t hi = c == 0 ? 105 : 102;
        for (int32_t t2 = lo; t2 <= hi; ++t2)
          if (pattern == kTable.pattern[t2]) {
            v = t2;
            break;
          }
      }
      if (v < 0) break;
      values[c++] = v;
      if (i + 3 * c + 3 > k) break;
    }
    if (!stopFound) continue;

    int32_t sum = values[0];
    for (int32_t j = 1; j <= c - 2; ++j) sum += j * values[j];
    if (sum % 103 != values[c - 1]) continue;
    int32_t length = 0;
    d.ClearText();
    if (!Expand(values + 1, c - 2, static_cast<CodeSet>(values[0] - kStartA), d.text, &length))
      continue;
    if (length < prm.CODE128_Min || length > prm.CODE128_Max) continue;
    d.type = OVOBCD_CODE128;
    d.length = length;
    SetSymbolPosition(d, i, i + 3 * c + 3);
    return 1;
  }
  return 0;
}

bool ExpandCode128(const int32_t* values, int32_t count, char* text, int32_t* length) {
  if (values[0] < kStartA || values[0] > kStartA + 2) return false;
  return Expand(values + 1, count, static_cast<CodeSet>(values[0] - kStartA), text, length);
}

// ---------------------------------------------------------------------------
// Robust reading: CODE 128 is made to be read by the distances between like
// edges. A symbol's six elements (11 modules) give four such distances of 2 to
// 7 modules, which name every value and the stop pattern apart.

namespace {

constexpr int32_t kStop = 106;
constexpr const char* kStopWidths = "233111";  // and a final bar of 2 modules

struct E2eIndex {
  int8_t value[6 * 6 * 6 * 6];  // (t0 - 2) * 216 + (t1 - 2) * 36 + (t2 - 2) * 6 + (t3 - 2); -1: none
};

constexpr int32_t E2eKey(const char* widths) {
  int32_t key = 0;
  for (int32_t q = 0; q < 4; ++q) key = key * 6 + (widths[q] - '0') + (widths[q + 1] - '0') - 2;
  return key;
}

constexpr E2eIndex MakeE2eIndex() {
  E2eIndex t{};
  for (auto& v : t.value) v = -1;
  for (int32_t v = 0; v < 106; ++v) t.value[E2eKey(kCode128Widths[v])] = static_cast<int8_t>(v);
  t.value[E2eKey(kStopWidths)] = kStop;
  return t;
}
constexpr E2eIndex kE2e = MakeE2eIndex();

constexpr bool E2eApart() {
  for (int32_t a = 0; a < 106; ++a) {
    if (E2eKey(kCode128Widths[a]) == E2eKey(kStopWidths)) return false;
    for (int32_t b = a + 1; b < 106; ++b)
      if (E2eKey(kCode128Widths[a]) == E2eKey(kCode128Widths[b])) return false;
  }
  return true;
}
static_assert(E2eApart(), "every value and the stop pattern have their own distances");

constexpr float kModuleSlack = 0.45f;  // a distance within 0.45 modules of a whole number
constexpr float kWidthStep = 1.3f;     // neighbouring symbols within this factor in width
constexpr float kQuietModules = 5.0f;  // quiet zones, in modules
constexpr float kQuietAtEdge = 0.0f;   // ... when reaching the line's end

// The value of the six elements from B[j] (or the stop pattern's first six), or -1.
int32_t E2eValue(const float* S, const float* B, int32_t j, float* width) {
  const float e[6] = {B[j], S[j + 1], B[j + 1], S[j + 2], B[j + 2], S[j + 3]};
  float w = 0.0f;
  for (float v : e) w += v;
  *width = w;
  if (!(w > 0.0f)) return -1;
  const float module = w / static_cast<float>(kSymbolModules);
  int32_t key = 0;
  for (int32_t q = 0; q < 4; ++q) {
    const int32_t t = RoundModules(e[q] + e[q + 1], module, 2, 7, kModuleSlack);
    if (t < 0) return -1;
    key = key * 6 + t - 2;
  }
  return kE2e.value[key];
}

int32_t RobustCode128At(BcdDecoder& d, int32_t k, int32_t i) {
  const float* S = d.spaces;
  const float* B = d.bars;
  const OvoBcdParams& prm = d.params;
  float width = 0.0f;
  const int32_t start = E2eValue(S, B, i, &width);
  if (start < kStartA || start > kStop - 1) return 0;
  const float module0 = width / static_cast<float>(kSymbolModules);
  if (!QuietBefore(S, B, i, kQuietModules * module0, kQuietAtEdge * module0)) return 0;
  int32_t values[kMaxSymbols];
  values[0] = start;
  int32_t c = 1;
  float prevWidth = width;
  for (;; ++c) {
    const int32_t j = i + 3 * c;
    if (c >= kMaxSymbols || j + 3 > k) return 0;
    const int32_t v = E2eValue(S, B, j, &width);
    if (v < 0 || !Within(width, prevWidth, kWidthStep)) return 0;
    prevWidth = width;
    if (v == kStop) break;
    if (v > 102) return 0;  // a second start
    values[c] = v;
  }
  // The stop pattern's last bar: 1 + 2 modules with the space before it.
  const int32_t j = i + 3 * c;
  const float module = width / static_cast<float>(kSymbolModules);
  if (RoundModules(S[j + 3] + B[j + 3], module, 3, 3, kModuleSlack) != 3) return 0;
  if (!QuietAfter(S, B, j + 3, k, kQuietModules * module, kQuietAtEdge * module)) return 0;
  if (c < 3) return 0;  // start, check symbol
  int32_t sum = values[0];
  for (int32_t q = 1; q <= c - 2; ++q) sum += q * values[q];
  if (sum % 103 != values[c - 1]) return 0;
  int32_t length = 0;
  d.ClearText();
  if (!ExpandCode128(values, c - 2, d.text, &length)) return 0;
  if (length < prm.CODE128_Min || length > prm.CODE128_Max) return 0;
  d.type = OVOBCD_CODE128;
  d.length = length;
  SetSymbolPosition(d, i, j + 3);
  return 1;
}

}  // namespace

int32_t RobustCode128(BcdDecoder& d, int32_t k) {
  const float* S = d.spaces;
  const float* B = d.bars;
  for (int32_t i = 0; i + 9 <= k; ++i) {
    // Most places fail the quiet zone, which costs a few additions to test.
    const float w = B[i] + S[i + 1] + B[i + 1] + S[i + 2] + B[i + 2] + S[i + 3];
    if (!(S[i] * static_cast<float>(kSymbolModules) >= kQuietModules * w) && !OpensLine(S, B, i)) continue;
    if (RobustCode128At(d, k, i)) return 1;
  }
  return 0;
}

}  // namespace vantrel::bcd

// CODE 39.
#include "bcd_decoder.h"
#include "robust.h"

namespace vantrel::bcd {

namespace {

// Characters in the order of their check values, then the star.
constexpr char kCode39Chars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%*";
constexpr int32_t kStar = 43;

// Which of the nine elements (bar, space, bar, ... bar) are wide.
constexpr const char* kCode39Wide[44] = {
    "000110100", "100100001", "001100001", "101100000", "000110001", "100110000", "001110000",
    "000100101", "100100100", "001100100", "100001001", "001001001", "101001000", "000011001",
    "100011000", "001011000", "000001101", "100001100", "001001100", "000011100", "100000011",
    "001000011", "101000010", "000010011", "100010010", "001010010", "000000111", "100000110",
    "001000110", "000010110", "110000001", "011000001", "111000000", "010010001", "110010000",
    "011010000", "010000101", "110000100", "011000100", "010101000", "010100010", "010001010",
    "000101010", "010010100"};

// The pattern as module bits: a narrow element one module, a wide one two, bars 1.
constexpr uint32_t PatternOf(const char* wide) {
  uint32_t p = 0;
  for (int32_t e = 0; e < 9; ++e) {
    const int32_t n = wide[e] == '1' ? 2 : 1;
    const bool bar = e % 2 == 0;
    p = (p << n) | (bar ? ((1u << n) - 1u) : 0u);
  }
  return p;
}

struct Code39Table {
  uint32_t pattern[44];
  constexpr Code39Table() : pattern() {
    for (int32_t i = 0; i < 44; ++i) pattern[i] = PatternOf(kCode39Wide[i]);
  }
};
constexpr Code39Table kTable;
static_assert(kTable.pattern[0] == 0b101001101101);
static_assert(kTable.pattern[kStar] == 0b100101101101);
static_assert(kTable.pattern[39] == 0b100100100101);

constexpr float kWide = 1.6f;
constexpr float kQuiet = 5.0f;
constexpr int32_t kMaxCharacters = 66;

// Value of a character in the modulo-43 check; 43 for any other character.
int32_t Code39CharValue(char c) {
  for (int32_t i = 0; i < kStar; ++i)
    if (kCode39Chars[i] == c) return i;
  return kStar;
}

// Dollar, slash, plus and percent: three wide spaces and no wide bar.
bool IsWideSpaceCharacter(char c) { return c == '$' || c == '/' || c == '+' || c == '%'; }

}  // namespace

int32_t DecodeCode39(BcdDecoder& d, int32_t k) {
  if (k < 15) return 0;
  const float* S = d.spaces;
  const float* B = d.bars;
  const OvoBcdParams& prm = d.params;
  for (int32_t i = 0; i <= k - 16; ++i) {
    bool started = false;
    int32_t length = 0;
    float mb = 0.0f;
    float ms = 0.0f;
    for (int32_t c = 0; i + 5 * c + 4 <= k && c < kMaxCharacters; ++c) {
      const int32_t b0 = i + 5 * c;
      float tb = 0.0f;
      for (int32_t e = 0; e < 5; ++e) tb += B[b0 + e];
      float ts = 0.0f;
      for (int32_t e = 1; e <= 4; ++e) ts += S[b0 + e];
      if (!started) {
        mb = tb / 7.0f;
        ms = ts / 5.0f;
      }
      uint32_t pattern = 0;
      for (int32_t e = 0; e < 9; ++e) {
        const bool bar = e % 2 == 0;
        const float w = bar ? B[b0 + e / 2] : S[b0 + 1 + e / 2];
        const int32_t n = w > kWide * (bar ? mb : ms) ? 2 : 1;
        pattern = (pattern << n) | (bar ? ((1u << n) - 1u) : 0u);
      }
      if (pattern == kTable.pattern[kStar]) {
        if (!started) {
          if (!(S[b0] > kQuiet * ms)) break;
          started = true;
          d.ClearText();  // each started candidate writes from an empty text
          continue;
        }
        // Stop character.
        if (!(S[b0 + 5] > kQuiet * ms) || length < 1) break;
        if (length < prm.CODE39_Min || length > prm.CODE39_Max) break;
        if (prm.CODE39_Check == 1) {
          int32_t sum = 0;
          for (int32_t j = 0; j < length - 1; ++j) sum += Code39CharValue(d.text[j]);
          if (Code39CharValue(d.text[length - 1]) != sum % 43) break;
        }
        d.type = OVOBCD_CODE39;
        d.length = length;
        SetSymbolPosition(d, i, i + 5 * length + 9);
        return 1;
      }
      if (!started || length >= OVOBCD_MAX_TEXT) break;
      int32_t v = -1;
      for (int32_t t = 0; t < kStar; ++t)
        if (pattern == kTable.pattern[t]) {
          v = t;
          break;
        }
      if (v < 0) break;
      const char ch = kCode39Chars[v];
      d.text[length++] = ch;
      if (IsWideSpaceCharacter(ch)) {
        mb = tb / 5.0f;
        ms = ts / 7.0f;
      } else {
        mb = tb / 7.0f;
        ms = ts / 5.0f;
      }
    }
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Robust reading: narrow and wide decided within each character, for its bars
// and its spaces apart, so that ink spread (which widens all bars alike) and a
// module width that changes along the symbol do not matter.

namespace {

// The nine elements' wide bits, element 0 (a bar) most significant.
constexpr uint32_t WideBits(const char* wide) {
  uint32_t p = 0;
  for (int32_t e = 0; e < 9; ++e) p = (p << 1) | (wide[e] == '1' ? 1u : 0u);
  return p;
}

struct WideTable {
  uint32_t bits[44];
  constexpr WideTable() : bits() {
    for (int32_t i = 0; i < 44; ++i) bits[i] = WideBits(kCode39Wide[i]);
  }
};
constexpr WideTable kWideTable;

constexpr float kStep = 1.2f;          // wide elements at least this much wider than narrow ones
constexpr float kWidthStep = 1.4f;     // neighbouring characters within this factor in width
constexpr float kMaxGap = 0.5f;        // gap between characters: at most half a character
constexpr float kQuietModules = 5.0f;  // quiet zones, in narrow modules
constexpr float kQuietAtEdge = 0.0f;   // ... when reaching the line's end

struct Character {
  int32_t index;  // into kCode39Chars; kStar for the star
  float width;    // of its nine elements
  float module;   // narrow width, bars and spaces averaged (ink spread cancels)
};

// The character whose first bar is B[b0], or index -1.
Character ReadCharacter(const float* S, const float* B, int32_t b0) {
  Character ch{-1, 0.0f, 0.0f};
  const float bars[5] = {B[b0], B[b0 + 1], B[b0 + 2], B[b0 + 3], B[b0 + 4]};
  const float spaces[4] = {S[b0 + 1], S[b0 + 2], S[b0 + 3], S[b0 + 4]};
  // One wide space goes with two wide bars, three with none: the spaces decide.
  NarrowWide nb, ns;
  if (!SplitNarrowWide(spaces, 4, (1u << 1) | (1u << 3), kStep, &ns)) return ch;
  if (!SplitNarrowWide(bars, 5, ns.count == 1 ? 1u << 2 : 1u << 0, kStep, &nb)) return ch;
  uint32_t wide = 0;
  for (int32_t e = 0; e < 9; ++e) {
    const bool bit = (e % 2 == 0) ? ((nb.wide >> (e / 2)) & 1u) : ((ns.wide >> (e / 2)) & 1u);
    wide = (wide << 1) | (bit ? 1u : 0u);
  }
  for (int32_t t = 0; t < 44; ++t)
    if (kWideTable.bits[t] == wide) ch.index = t;
  for (float v : bars) ch.width += v;
  for (float v : spaces) ch.width += v;
  ch.module = (nb.narrow + ns.narrow) / 2.0f;
  return ch;
}

int32_t RobustCode39At(BcdDecoder& d, int32_t k, int32_t i) {
  const float* S = d.spaces;
  const float* B = d.bars;
  const OvoBcdParams& prm = d.params;
  Character prev = ReadCharacter(S, B, i);
  if (prev.index != kStar) return 0;
  if (!QuietBefore(S, B, i, kQuietModules * prev.module, kQuietAtEdge * prev.module)) return 0;
  char text[OVOBCD_MAX_TEXT];
  int32_t length = 0;
  for (int32_t c = 1;; ++c) {
    const int32_t b0 = i + 5 * c;
    if (b0 + 4 > k || c >= kMaxCharacters) return 0;
    if (!(S[b0] <= kMaxGap * prev.width)) return 0;
    const Character ch = ReadCharacter(S, B, b0);
    if (ch.index < 0 || !Within(ch.width, prev.width, kWidthStep)) return 0;
    if (ch.index == kStar) {
      if (length < 1 || length < prm.CODE39_Min || length > prm.CODE39_Max) return 0;
      if (!QuietAfter(S, B, b0 + 4, k, kQuietModules * ch.module, kQuietAtEdge * ch.module)) return 0;
      if (prm.CODE39_Check == 1) {
        int32_t sum = 0;
        for (int32_t j = 0; j < length - 1; ++j) sum += Code39CharValue(text[j]);
        if (Code39CharValue(text[length - 1]) != sum % 43) return 0;
      }
      d.ClearText();
      for (int32_t j = 0; j < length; ++j) d.text[j] = text[j];
      d.type = OVOBCD_CODE39;
      d.length = length;
      SetSymbolPosition(d, i, b0 + 4);
      return 1;
    }
    if (length >= OVOBCD_MAX_TEXT) return 0;
    text[length++] = kCode39Chars[ch.index];
    prev = ch;
  }
}

}  // namespace

int32_t RobustCode39(BcdDecoder& d, int32_t k) {
  const float* S = d.spaces;
  const float* B = d.bars;
  for (int32_t i = 0; i + 14 <= k; ++i) {
    // Most places fail the quiet zone, which costs a few additions to test: a
    // character is at most 16 narrow modules wide (wide elements of 3.3).
    float w = 0.0f;
    for (int32_t e = 0; e < 5; ++e) w += B[i + e];
    for (int32_t e = 1; e < 5; ++e) w += S[i + e];
    if (!(16.0f * S[i] >= kQuietModules * w) && !OpensLine(S, B, i)) continue;
    if (RobustCode39At(d, k, i)) return 1;
  }
  return 0;
}

}  // namespace vantrel::bcd

// NW-7.
#include "bcd_decoder.h"
#include "robust.h"

namespace vantrel::bcd {

namespace {

struct Nw7Char {
  char ch;
  uint32_t pattern;  // modules, first most significant, 1 for a bar module
};

// Each class of characters, by the number of its wide elements.
constexpr Nw7Char kOneWideBar[] = {
    {'0', 0b101010011}, {'1', 0b101011001}, {'2', 0b101001011}, {'3', 0b110010101},
    {'4', 0b101101001}, {'5', 0b110101001}, {'6', 0b100101011}, {'7', 0b100101101},
    {'8', 0b100110101}, {'9', 0b110100101}, {'-', 0b101001101}, {'$', 0b101100101}};
constexpr Nw7Char kThreeWideBars[] = {
    {':', 0b1101011011}, {'/', 0b1101101011}, {'.', 0b1101101101}, {'+', 0b1011011011}};
constexpr Nw7Char kStartStop[] = {
    {'A', 0b1011001001}, {'B', 0b1001001011}, {'C', 0b1010010011}, {'D', 0b1010011001}};

enum Nw7Class { kClassOneWideBar, kClassThreeWideBars, kClassStartStop };

struct ClassShape {
  int32_t wideBars;
  int32_t wideSpaces;
  float barModules;    // G = tB / barModules
  float spaceModules;  // H = tS / spaceModules
};
constexpr ClassShape kShapes[3] = {{1, 1, 5.0f, 4.0f}, {3, 0, 7.0f, 3.0f}, {1, 2, 5.0f, 5.0f}};

constexpr float kWide = 1.6f;
constexpr float kTooWide = 3.2f;
constexpr float kWideBefore = 1.5f;   // against the previous character's modules
constexpr float kNarrowEnd = 1.2f;    // a narrow end space of a start/stop letter
constexpr float kMaxRatio = 2.0f;     // between bar and space modules
constexpr float kQuiet = 3.0f;        // quiet zones, in space modules
constexpr int32_t kMaxCharacters = 64;
constexpr int32_t kMinCharacters = 3;  // start, at least one character, stop

int32_t Nw7CharValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  switch (c) {
    case '-': return 10;
    case '$': return 11;
    case ':': return 12;
    case '/': return 13;
    case '.': return 14;
    case '+': return 15;
    case 'A': return 16;
    case 'B': return 17;
    case 'C': return 18;
    case 'D': return 19;
    default: return 0;
  }
}

template <size_t N>
char FindIn(const Nw7Char (&table)[N], uint32_t pattern) {
  for (const Nw7Char& c : table)
    if (c.pattern == pattern) return c.ch;
  return 0;
}

}  // namespace

int32_t DecodeNw7(BcdDecoder& d, int32_t k) {
  if (k < 13) return 0;
  const float* S = d.spaces;
  const float* B = d.bars;
  const OvoBcdParams& prm = d.params;
  for (int32_t i = 0; i <= k - 13; ++i) {
    bool started = false;
    int32_t length = 0;
    float prevG = 0.0f;
    float prevH = 0.0f;
    for (int32_t j = 0; i + 4 * j + 3 <= k && j < kMaxCharacters; ++j) {
      const int32_t b0 = i + 4 * j;
      const float bar[4] = {B[b0], B[b0 + 1], B[b0 + 2], B[b0 + 3]};
      const float space[3] = {S[b0 + 1], S[b0 + 2], S[b0 + 3]};
      float tb = bar[0];
      for (int32_t e = 1; e < 4; ++e) tb += bar[e];
      float ts = space[0];
      for (int32_t e = 1; e < 3; ++e) ts += space[e];
      const float g = space[0], h = space[1], o = space[2];

      Nw7Class cls = kClassStartStop;
      if (started) {
        int32_t wideBars = 0;
        for (float v : bar)
          if (v > kWideBefore * prevG) ++wideBars;
        bool wideSpace = false;
        for (float v : space)
          if (v >= kWideBefore * prevH) wideSpace = true;
        if (wideBars == 3 && !wideSpace) {
          cls = kClassThreeWideBars;
        } else {
          const float dm = ts / 5.0f;
          const float em = kWide * dm;
          const bool startStop =
              h > em && ((g > em && o < kNarrowEnd * dm) || (o > em && g < kNarrowEnd * dm));
          cls = startStop ? kClassStartStop : kClassOneWideBar;
        }
      }
      const ClassShape& shape = kShapes[cls];
      const float G = tb / shape.barModules;
      const float H = ts / shape.spaceModules;
      int32_t wideBars = 0;
      int32_t wideSpaces = 0;
      for (float v : bar)
        if (v > kWide * G) ++wideBars;
      for (float v : space)
        if (v > kWide * H) ++wideSpaces;
      if (wideBars != shape.wideBars || wideSpaces != shape.wideSpaces) break;
      if (G / H > kMaxRatio || H / G > kMaxRatio) break;
      bool tooWide = false;
      for (float v : bar)
        if (v > kTooWide * G) tooWide = true;
      for (float v : space)
        if (v > kTooWide * H) tooWide = true;
      if (tooWide) break;

      uint32_t pattern = 0;
      for (int32_t e = 0; e < 7; ++e) {
        const bool isBar = e % 2 == 0;
        const float v = isBar ? bar[e / 2] : space[e / 2];
        const int32_t n = v > kWide * (isBar ? G : H) ? 2 : 1;
        pattern = (pattern << n) | (isBar ? ((1u << n) - 1u) : 0u);
      }
      char ch = 0;
      switch (cls) {
        case kClassOneWideBar: ch = FindIn(kOneWideBar, pattern); break;
        case kClassThreeWideBars: ch = FindIn(kThreeWideBars, pattern); break;
        case kClassStartStop: ch = FindIn(kStartStop, pattern); break;
      }
      if (ch == 0 || length >= OVOBCD_MAX_TEXT) break;
      if (length == 0) d.ClearText();  // each candidate writes from an empty text
      d.text[length++] = ch;

      if (cls == kClassStartStop) {
        if (!started) {
          if (!(S[b0] > kQuiet * H)) break;
          started = true;
        } else {
          if (!(S[b0 + 4] > kQuiet * H) || length < kMinCharacters) break;
          if (length < prm.NW7_Min || length > prm.NW7_Max) break;
          if (prm.NW7_Check == 1) {
            int32_t sum = 0;
            for (int32_t q = 0; q < length; ++q)
              if (q != length - 2) sum += Nw7CharValue(d.text[q]);
            if ((16 - sum % 16) % 16 != Nw7CharValue(d.text[length - 2])) break;
          }
          d.type = OVOBCD_NW7;
          d.length = length;
          SetSymbolPosition(d, i, i + 4 * length - 1);
          return 1;
        }
      }
      prevG = G;
      prevH = H;
    }
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Robust reading: narrow and wide decided within each character, for its bars
// and its spaces apart; the class follows from how many of each are wide.

namespace {

constexpr float kStep = 1.2f;          // wide elements at least this much wider than narrow ones
constexpr float kMaxModuleRatio = 3.0f;  // bar and space modules within this factor
constexpr float kWidthStep = 1.4f;     // neighbouring characters within this factor in width
constexpr float kMaxGap = 0.5f;        // gap between characters: at most half a character
constexpr float kQuietModules = 4.0f;  // quiet zones, in narrow modules
constexpr float kQuietAtEdge = 0.0f;   // ... when reaching the line's end

struct Character {
  char ch;        // 0: none
  bool startStop;
  float width;    // of its seven elements
  float module;   // narrow width, bars and spaces averaged
};

Character ReadCharacter(const float* S, const float* B, int32_t b0) {
  Character r{0, false, 0.0f, 0.0f};
  const float bars[4] = {B[b0], B[b0 + 1], B[b0 + 2], B[b0 + 3]};
  const float spaces[3] = {S[b0 + 1], S[b0 + 2], S[b0 + 3]};
  // Three wide bars go with no wide space, one with one or two: the bars
  // decide. Ink spread and blur can bring a character's narrow and wide bars
  // so close that they step clearly both after the narrowest and before the
  // widest: read either way it can be a valid character (4 or +, 7 or .), its
  // spaces even enough for both, and nothing tells which is right. Bars that
  // split both ways read nothing.
  NarrowWide nb, ns, other;
  if (!SplitNarrowWide(bars, 4, (1u << 1) | (1u << 3), kStep, &nb)) return r;
  if (SplitNarrowWide(bars, 4, nb.count == 3 ? 1u << 1 : 1u << 3, kStep, &other)) return r;
  if (!SplitNarrowWide(spaces, 3, nb.count == 3 ? 1u << 0 : (1u << 1) | (1u << 2), kStep, &ns)) return r;
  float tb = 0.0f, ts = 0.0f;
  for (float v : bars) tb += v;
  for (float v : spaces) ts += v;
  // Bar and space modules, each element counted narrow 1 and wide 2.
  if (!Within(tb / static_cast<float>(4 + nb.count), ts / static_cast<float>(3 + ns.count), kMaxModuleRatio)) return r;
  uint32_t pattern = 0;
  for (int32_t e = 0; e < 7; ++e) {
    const bool isBar = e % 2 == 0;
    const bool wide = isBar ? ((nb.wide >> (e / 2)) & 1u) : ((ns.wide >> (e / 2)) & 1u);
    const int32_t n = wide ? 2 : 1;
    pattern = (pattern << n) | (isBar ? ((1u << n) - 1u) : 0u);
  }
  if (nb.count == 1 && ns.count == 1) {
    r.ch = FindIn(kOneWideBar, pattern);
  } else if (nb.count == 3 && ns.count == 0) {
    r.ch = FindIn(kThreeWideBars, pattern);
  } else if (nb.count == 1 && ns.count == 2) {
    r.ch = FindIn(kStartStop, pattern);
    r.startStop = true;
  }
  r.width = tb + ts;
  r.module = (nb.narrow + ns.narrow) / 2.0f;
  return r;
}

int32_t RobustNw7At(BcdDecoder& d, int32_t k, int32_t i) {
  const float* S = d.spaces;
  const float* B = d.bars;
  const OvoBcdParams& prm = d.params;
  Character prev = ReadCharacter(S, B, i);
  if (prev.ch == 0 || !prev.startStop) return 0;
  if (!QuietBefore(S, B, i, kQuietModules * prev.module, kQuietAtEdge * prev.module)) return 0;
  char text[OVOBCD_MAX_TEXT];
  int32_t length = 0;
  text[length++] = prev.ch;
  for (int32_t j = 1;; ++j) {
    const int32_t b0 = i + 4 * j;
    if (b0 + 3 > k || j >= kMaxCharacters) return 0;
    if (!(S[b0] <= kMaxGap * prev.width)) return 0;
    const Character ch = ReadCharacter(S, B, b0);
    if (ch.ch == 0 || !Within(ch.width, prev.width, kWidthStep)) return 0;
    if (length >= OVOBCD_MAX_TEXT) return 0;
    text[length++] = ch.ch;
    if (ch.startStop) {
      if (length < kMinCharacters || length < prm.NW7_Min || length > prm.NW7_Max) return 0;
      if (!QuietAfter(S, B, b0 + 3, k, kQuietModules * ch.module, kQuietAtEdge * ch.module)) return 0;
      if (prm.NW7_Check == 1) {
        int32_t sum = 0;
        for (int32_t q = 0; q < length; ++q)
          if (q != length - 2) sum += Nw7CharValue(text[q]);
        if ((16 - sum % 16) % 16 != Nw7CharValue(text[length - 2])) return 0;
      }
      d.ClearText();
      for (int32_t q = 0; q < length; ++q) d.text[q] = text[q];
      d.type = OVOBCD_NW7;
      d.length = length;
      SetSymbolPosition(d, i, b0 + 3);
      return 1;
    }
    prev = ch;
  }
}

}  // namespace

int32_t RobustNw7(BcdDecoder& d, int32_t k) {
  const float* S = d.spaces;
  const float* B = d.bars;
  for (int32_t i = 0; i + 11 <= k; ++i) {
    // Most places fail the quiet zone, which costs a few additions to test: a
    // start letter is at most 13 narrow modules wide (wide elements of 3.3).
    float w = 0.0f;
    for (int32_t e = 0; e < 4; ++e) w += B[i + e];
    for (int32_t e = 1; e < 4; ++e) w += S[i + e];
    if (!(13.0f * S[i] >= kQuietModules * w) && !OpensLine(S, B, i)) continue;
    if (RobustNw7At(d, k, i)) return 1;
  }
  return 0;
}

}  // namespace vantrel::bcd

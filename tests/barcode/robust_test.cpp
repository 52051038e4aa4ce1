// The robust reading: its decoders on run lists of symbols printed with bar
// gain, with a module width that changes along the symbol and with cut quiet
// zones; the runs it takes from edges; and the search's run measurement, which
// must give exactly the runs of the plain threshold measure.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "barcode/src/edges.h"
#include "barcode/src/robust.h"
#include "barcode/src/wide_kernels.h"
#include "run_lists.h"

namespace vantrel::bcdtest {
namespace {

using bcd::RobustCode128;
using bcd::RobustCode39;
using bcd::RobustItf;
using bcd::RobustJan13;
using bcd::RobustJan8;
using bcd::RobustNw7;

struct Symbol {
  const char* name;
  std::vector<std::string> zint;
  std::string data;
  int32_t type;
  std::string text;
  DecoderFn robust;
  DecoderFn strict;
};

const std::vector<Symbol>& Symbols() {
  static const std::vector<Symbol> symbols = {
      {"Jan13", {"-b", "EANX"}, "978020137962", OVOBCD_JAN13, "9780201379624", RobustJan13, bcd::DecodeJan13},
      {"Jan8", {"-b", "EANX"}, "4901234", OVOBCD_JAN8, "49012347", RobustJan8, bcd::DecodeJan8},
      {"Itf", {"-b", "3"}, "0123456789", OVOBCD_ITF, "0123456789", RobustItf, bcd::DecodeItf},
      {"Code39", {"-b", "CODE39"}, "AB$1/2", OVOBCD_CODE39, "AB$1/2", RobustCode39, bcd::DecodeCode39},
      {"Code128", {"-b", "CODE128"}, "Vantrel-0042", OVOBCD_CODE128, "Vantrel-0042", RobustCode128,
       bcd::DecodeCode128},
      // Without the characters of three wide bars: at bars 0.6 modules fat their
      // bar modules pass three times their space modules, too far for NW-7.
      {"Nw7", {"-b", "CODABAR"}, "A12-$5B", OVOBCD_NW7, "A12-$5B", RobustNw7, bcd::DecodeNw7},
  };
  return symbols;
}

// The elements as printed: module widths growing linearly from x0 at the first
// element to x1 at the last, every bar `gain` modules wider and every space as
// much narrower (of the quiet zones half as much, their edge on one side only).
Widths Printed(const Widths& elements, float x0, float x1, float gain, float lead, float trail) {
  float total = 0;
  for (float e : elements) total += e;
  Widths w{lead * x0 - gain * x0 / 2};
  float at = 0;
  for (size_t i = 0; i < elements.size(); ++i) {
    const float x = x0 + (x1 - x0) * (at + elements[i] / 2) / total;
    const bool bar = i % 2 == 0;  // the elements start with a bar
    w.push_back(elements[i] * x + (bar ? gain * x : -gain * x));
    at += elements[i];
  }
  w.push_back(trail * x1 - gain * x1 / 2);
  return w;
}

Read Robust(DecoderFn fn, const Widths& w) { return RunOne(fn, w, AllOn()); }

void ExpectRead(const Read& r, const Symbol& s) {
  ASSERT_TRUE(r.accepted);
  EXPECT_EQ(r.type, s.type);
  EXPECT_EQ(r.text, s.text);
}

// Ink spread adds the same width to every bar and takes it from every space;
// the robust decoders compare like edges or decide narrow and wide within one
// colour, so they read from bars 0.4 modules thinner to 0.6 modules fatter.
// The strict JAN decoders give up beyond about a third of a module.
TEST(RobustDecoderTest, BarGain) {
  for (const Symbol& s : Symbols()) {
    const Widths elements = ZintElements(s.zint, s.data);
    for (float gain : {-0.4f, -0.2f, 0.0f, 0.2f, 0.4f, 0.6f}) {
      SCOPED_TRACE(std::string(s.name) + " gain " + std::to_string(gain));
      const Widths w = Printed(elements, 3.0f, 3.0f, gain, 12, 12);
      ExpectRead(Robust(s.robust, w), s);
      ExpectRead(RunAllRobust(Reversed(w), AllOn()), s);  // printed right to left
      if (s.type == OVOBCD_JAN13 && std::fabs(gain) >= 0.4f) {
        EXPECT_FALSE(RunOne(s.strict, w, AllOn()).accepted);
      }
    }
  }
}

// A label curving away or seen at an angle: the module width changes by a
// third from one end of the symbol to the other. The robust decoders follow it
// (JAN interpolates between its guards); the strict JAN decoders hold one
// module width for the whole symbol.
TEST(RobustDecoderTest, ModuleWidthChangingAlongTheSymbol) {
  for (const Symbol& s : Symbols()) {
    const Widths elements = ZintElements(s.zint, s.data);
    for (auto [x0, x1] : {std::pair{2.4f, 3.2f}, std::pair{3.2f, 2.4f}}) {
      SCOPED_TRACE(std::string(s.name) + " " + std::to_string(x0) + " to " + std::to_string(x1));
      const Widths w = Printed(elements, x0, x1, 0.1f, 12, 12);
      ExpectRead(Robust(s.robust, w), s);
      if (s.type == OVOBCD_JAN13) {
        EXPECT_FALSE(RunOne(s.strict, w, AllOn()).accepted);
      }
    }
  }
}

// Quiet zones: a light run between another bar and the symbol counts from its
// symbology's width on (in modules: JAN and CODE 128 5, CODE 39 5, NW-7 4, ITF
// 8); a light run that reaches the end of the line counts whatever its width
// (ITF: 2.5 modules, wider than any space inside a symbol, so that a symbol
// cut by the line's end cannot pass for a shorter one).
TEST(RobustDecoderTest, QuietZones) {
  struct Need {
    int32_t type;
    float inside;  // modules, between a bar and the symbol
    float atEdge;  // modules, reaching the line's end
  };
  const Need needs[] = {{OVOBCD_JAN13, 5, 0}, {OVOBCD_JAN8, 5, 0},   {OVOBCD_ITF, 8, 2.5f},
                        {OVOBCD_CODE39, 5, 0}, {OVOBCD_CODE128, 5, 0}, {OVOBCD_NW7, 4, 0}};
  for (const Symbol& s : Symbols()) {
    const Need& need = needs[&s - Symbols().data()];
    ASSERT_EQ(need.type, s.type);
    const Widths elements = ZintElements(s.zint, s.data);
    const Widths bar = {20, 6};  // light, then a bar 6 modules wide, next to the quiet zone
    for (float delta : {-0.3f, 0.3f}) {
      SCOPED_TRACE(std::string(s.name) + " " + std::to_string(delta));
      const float q = need.inside + delta;
      Widths before = bar;
      for (float w : Printed(elements, 1, 1, 0, q, 15)) before.push_back(w);
      Widths after = Printed(elements, 1, 1, 0, 15, q);
      after.insert(after.end(), {6, 20});
      EXPECT_EQ(Robust(s.robust, before).accepted, delta > 0);
      EXPECT_EQ(Robust(s.robust, after).accepted, delta > 0);
      // The same light run at the end of the line.
      const float e = std::max(need.atEdge + delta, 0.0f);
      EXPECT_EQ(Robust(s.robust, Printed(elements, 1, 1, 0, e, 15)).accepted, need.atEdge == 0 || delta > 0);
      EXPECT_EQ(Robust(s.robust, Printed(elements, 1, 1, 0, 15, e)).accepted, need.atEdge == 0 || delta > 0);
    }
    // A symbol that begins and ends on the line's first and last samples.
    const Widths flush = Printed(elements, 1, 1, 0, 0, 0);
    EXPECT_EQ(Robust(s.robust, flush).accepted, need.atEdge == 0) << s.name;
  }
}

// NW-7: bars much thinner than spaces (bar modules up to a third of space
// modules) read; characters must follow one another closely and keep their
// width, which keeps chance patterns out.
TEST(RobustDecoderTest, Nw7ThinBarsGapsAndCharacterWidths) {
  const Symbol& s = Symbols()[5];
  ASSERT_EQ(s.type, OVOBCD_NW7);
  const Widths elements = ZintElements(s.zint, s.data);
  const Widths thin = Printed(elements, 3, 3, -0.5f, 12, 12);  // bar modules about half the space modules
  ExpectRead(Robust(RobustNw7, thin), s);
  EXPECT_FALSE(RunOne(bcd::DecodeNw7, thin, AllOn()).accepted);
  EXPECT_FALSE(Robust(RobustNw7, Printed(elements, 3, 3, -0.7f, 12, 12)).accepted);  // a third

  // Characters are 7 elements and a gap: the second character is elements 8
  // to 14, the gap after it element 15.
  float character = 0;
  for (int32_t e = 8; e < 15; ++e) character += elements[static_cast<size_t>(e)];
  for (auto [gap, reads] : {std::pair{0.4f, true}, std::pair{0.6f, false}}) {
    Widths wide = elements;
    wide[15] = gap * character;
    EXPECT_EQ(Robust(RobustNw7, Line(wide, 3)).accepted, reads) << gap;
  }
  for (auto [scale, reads] : {std::pair{1.3f, true}, std::pair{1.5f, false}}) {
    Widths grown = elements;
    for (int32_t e = 16; e < 23; ++e) grown[static_cast<size_t>(e)] *= scale;  // the third character
    EXPECT_EQ(Robust(RobustNw7, Line(grown, 3)).accepted, reads) << scale;
  }
}

// NW-7 lines as the edges measured them on blurred pictures of "A1234B" with
// bars fattened or thinned: the 4's bars step about as clearly after the
// narrowest as before the widest, so it reads as a character of one wide bar
// (4) or of three (+), and its spaces are even enough for either. Such a
// character reads nothing, in either direction; the same line with a clear 4
// reads.
TEST(RobustDecoderTest, Nw7CharactersThatSplitTwoWaysReadNothing) {
  using Character = std::vector<float>;  // bar, space, bar, space, bar, space, bar
  struct Case {
    const char* label;
    std::vector<Character> characters;
    float gap;  // between characters
    bool reads;
  };
  const Character a1 = {3.18f, 2.83f, 5.01f, 4.01f, 3.73f, 3.95f, 3.13f};
  const Character one1 = {2.47f, 2.41f, 2.64f, 2.87f, 4.90f, 4.03f, 3.25f};
  const Character two1 = {2.51f, 2.48f, 2.97f, 3.96f, 3.04f, 2.47f, 4.58f};
  const Character three1 = {5.06f, 3.94f, 3.23f, 2.35f, 2.54f, 2.44f, 2.34f};
  const Character b1 = {3.17f, 3.81f, 3.77f, 3.79f, 3.12f, 2.92f, 4.94f};
  const Character a2 = {2.39f, 2.57f, 3.36f, 3.70f, 2.75f, 3.31f, 2.42f};
  const Character one2 = {1.98f, 2.00f, 1.95f, 2.50f, 3.48f, 3.91f, 2.18f};
  const Character two2 = {2.09f, 1.97f, 2.27f, 3.51f, 2.07f, 2.53f, 3.04f};
  const Character three2 = {3.21f, 3.77f, 2.57f, 1.89f, 2.08f, 2.04f, 2.01f};
  const Character b2 = {2.48f, 3.10f, 2.78f, 3.30f, 2.28f, 2.48f, 3.47f};
  const Case cases[] = {
      // 2.5-pixel modules, bars 0.4 modules fat, blur 1.5 pixels
      {"fat", {a1, one1, two1, three1, {2.48f, 2.70f, 4.30f, 2.78f, 3.25f, 3.81f, 3.31f}, b1}, 2.6f, false},
      {"fat, clear 4", {a1, one1, two1, three1, {2.60f, 2.50f, 4.90f, 2.50f, 2.60f, 4.00f, 2.60f}, b1}, 2.6f, true},
      // 2-pixel modules, bars 0.4 modules thin, blur 1.25 pixels, narrowed
      {"thin", {a2, one2, two2, three2, {1.84f, 2.66f, 3.10f, 2.39f, 2.42f, 3.11f, 2.45f}, b2}, 2.2f, false},
      {"thin, clear 4", {a2, one2, two2, three2, {2.00f, 2.10f, 3.40f, 2.10f, 2.00f, 3.60f, 2.00f}, b2}, 2.2f, true},
  };
  for (const Case& c : cases) {
    Widths w{40.0f};
    for (size_t i = 0; i < c.characters.size(); ++i) {
      if (i > 0) w.push_back(c.gap);
      w.insert(w.end(), c.characters[i].begin(), c.characters[i].end());
    }
    w.push_back(40.0f);
    for (const Widths& line : {w, Reversed(w)}) {
      const Read r = RunAllRobust(line, Only(OVOBCD_NW7));
      EXPECT_EQ(r.accepted != 0, c.reads) << c.label << " " << r.text;
      if (r.accepted) {
        EXPECT_EQ(r.text, "A1234B") << c.label;
      }
    }
  }
}

// Narrow and wide within one colour of one character.
TEST(RobustDecoderTest, SplitNarrowWide) {
  struct Case {
    std::vector<float> w;
    uint32_t allowed;
    bool ok;
    uint32_t wide;
  };
  const Case cases[] = {
      {{1, 1, 2.5f, 1, 2.5f}, 1u << 2, true, 0b10100},
      {{1, 1.3f, 2.5f, 1, 2.2f}, 1u << 2, true, 0b10100},   // uneven, still clearly two wide
      {{1, 1.5f, 1.6f, 2.0f, 2.1f}, 1u << 2, false, 0},     // the narrow ones spread 1.6 apart
      {{1, 1.1f, 1, 1.2f, 1}, 1u << 0, true, 0},            // none wide: all within 1.45
      {{1, 1.1f, 1, 1.6f, 1}, 1u << 0, false, 0},
      {{2.4f, 1, 2.6f, 2.5f}, (1u << 1) | (1u << 3), true, 0b1101},  // three of four
      {{2.4f, 1, 1.1f, 1}, (1u << 1) | (1u << 3), true, 0b0001},    // one of four
      {{1, 1, 0, 2, 1}, 1u << 2, false, 0},                 // a width of 0
      {{1, 1, std::nanf(""), 2, 2}, 1u << 2, false, 0},
  };
  for (const Case& c : cases) {
    bcd::NarrowWide r;
    const bool ok = bcd::SplitNarrowWide(c.w.data(), static_cast<int32_t>(c.w.size()), c.allowed, 1.2f, &r);
    EXPECT_EQ(ok, c.ok) << c.w[0] << " " << c.w[1] << " " << c.w[2];
    if (ok && c.ok) {
      EXPECT_EQ(r.wide, c.wide);
    }
  }
}

// ---------------------------------------------------------------------------
// Runs from edges.

// A JAN-13 at 3-pixel modules, its bars a third of a module fat and blurred
// until its narrow spaces stay darker than the line's middle grey: one
// threshold for the line merges them into the bars, the edges find every
// element, and the robust decoder reads them.
TEST(EdgeRunsTest, BlurredNarrowSpacesAreFound) {
  const Symbol& s = Symbols()[0];
  const Widths elements = ZintElements(s.zint, s.data);
  constexpr float kModule = 3.0f, kGain = 1.0f, kSigma = 1.6f;
  // How much of each sample the bars cover, 30 light samples either side.
  float total = 0;
  for (float e : elements) total += e;
  std::vector<float> ink(static_cast<size_t>(60 + total * kModule), 0.0f);
  float at = 30;
  for (size_t e = 0; e < elements.size(); ++e) {
    const float from = at, to = at + elements[e] * kModule;
    at = to;
    if (e % 2 != 0) continue;
    const float a = from - kGain / 2, b = to + kGain / 2;
    for (int32_t x = static_cast<int32_t>(a); x < static_cast<int32_t>(std::ceil(b)); ++x)
      ink[static_cast<size_t>(x)] += std::max(0.0f, std::min<float>(x + 1, b) - std::max<float>(x, a));
  }
  const int32_t n = static_cast<int32_t>(ink.size());
  std::vector<uint8_t> store(static_cast<size_t>(n + 2 * bcd::EdgeRuns::kPadding));
  uint8_t* g = store.data() + bcd::EdgeRuns::kPadding;
  int32_t lo = 255, hi = 0;
  for (int32_t i = 0; i < n; ++i) {
    float sum = 0, weight = 0;
    for (int32_t j = std::max(0, i - 8); j <= std::min(n - 1, i + 8); ++j) {
      const float k = std::exp(-0.5f * (j - i) * (j - i) / (kSigma * kSigma));
      sum += k * std::min(1.0f, ink[static_cast<size_t>(j)]);
      weight += k;
    }
    g[i] = static_cast<uint8_t>(std::lround(230 - 200 * sum / weight));
    lo = std::min<int32_t>(lo, g[i]);
    hi = std::max<int32_t>(hi, g[i]);
  }
  std::vector<float> S(static_cast<size_t>(bcd::SpaceListSize(n))), B(static_cast<size_t>(bcd::BarListSize(n)));
  const int32_t threshold = (lo + hi) / 2;
  const int32_t kThreshold = bcd::MeasureRuns(g, n, threshold, false, S.data(), B.data());
  EXPECT_LT(kThreshold, 29);  // spaces merged: too few bars for a JAN-13
  const OvoBcdParams params = AllOn();
  bcd::BcdDecoder d(params);
  d.spaces = S.data();
  d.bars = B.data();
  EXPECT_FALSE(bcd::DecodeRuns(d, n, kThreshold));

  bcd::EdgeRuns edges;
  edges.Reserve(n);
  const int32_t k = edges.Measure(g, n, S.data(), B.data());
  EXPECT_EQ(k, 30);  // every bar, each followed by light
  float modules = 0;
  for (float e : elements) modules += e;
  float spanned = 0;
  for (int32_t j = 0; j < 30; ++j) spanned += B[j] + S[j + 1];
  EXPECT_NEAR(spanned - S[30], modules * kModule + kGain, 2.0);  // from the first bar's edge to the last one's
  const Read r = [&] {
    bcd::BcdDecoder rd(params);
    rd.spaces = S.data();
    rd.bars = B.data();
    Read out;
    out.accepted = RobustJan13(rd, k);
    out.text.assign(rd.text, 13);
    return out;
  }();
  ASSERT_TRUE(r.accepted);
  EXPECT_EQ(r.text, s.text);
}

// Noise on a flat stretch gives no edges; a clean step gives one, between the
// samples where it lies; the runs cover the line.
TEST(EdgeRunsTest, NoiseStepsAndCoverage) {
  std::mt19937 rng(5);
  const int32_t n = 300;
  std::vector<uint8_t> store(static_cast<size_t>(n + 2 * bcd::EdgeRuns::kPadding));
  uint8_t* g = store.data() + bcd::EdgeRuns::kPadding;
  std::normal_distribution<float> noise(0, 3);
  for (int32_t i = 0; i < n; ++i) g[i] = static_cast<uint8_t>(std::lround(150 + noise(rng)));
  std::vector<float> S(static_cast<size_t>(bcd::SpaceListSize(n)), -1), B(static_cast<size_t>(bcd::BarListSize(n)), -1);
  bcd::EdgeRuns edges;
  edges.Reserve(n);
  EXPECT_EQ(edges.Measure(g, n, S.data(), B.data()), 0);
  EXPECT_FLOAT_EQ(S[0], n - 1.0f);

  // Light, a dark bar from sample 100 to 160, light again.
  for (int32_t i = 0; i < n; ++i) g[i] = (i >= 100 && i < 160) ? 30 : 220;
  const int32_t k = edges.Measure(g, n, S.data(), B.data());
  ASSERT_EQ(k, 1);
  EXPECT_FLOAT_EQ(S[0], 99.5f);
  EXPECT_FLOAT_EQ(B[0], 60.0f);
  EXPECT_FLOAT_EQ(S[1], n - 1 - 159.5f);
  EXPECT_EQ(S[2], 0.0f);
  EXPECT_EQ(B[1], 0.0f);

  // Random lines: widths positive, covering the line, lists zero past the runs.
  for (int trial = 0; trial < 200; ++trial) {
    const int32_t m = 3 + static_cast<int32_t>(rng() % 290);
    for (int32_t i = 0; i < m; ++i) g[i] = static_cast<uint8_t>(rng() % 3 == 0 ? rng() : (rng() % 2) * 200 + 20);
    const int32_t kk = edges.Measure(g, m, S.data(), B.data());
    ASSERT_LE(kk, m / 2);
    double sum = 0;
    for (int32_t i = 0; i <= kk; ++i) {
      sum += S[i] + B[i];
      if (i > 0) {
        ASSERT_GT(S[i], 0.0f);
      }
      if (i < kk) {
        ASSERT_GT(B[i], 0.0f);
      }
    }
    EXPECT_NEAR(sum, m - 1, 1e-3);
    EXPECT_EQ(S[kk + 1], 0.0f);
    EXPECT_EQ(S[kk + 2], 0.0f);
    EXPECT_EQ(B[kk + 1], 0.0f);
  }
}

// The portable loops for as long as it lives, for comparing them with the wide
// ones (where the processor has no wide loops, both runs are portable).
class PortableLoops {
 public:
  PortableLoops() { bcd::SetWideKernels(false); }
  ~PortableLoops() { bcd::SetWideKernels(true); }
  PortableLoops(const PortableLoops&) = delete;
  PortableLoops& operator=(const PortableLoops&) = delete;
};

// A line's samples with the edges' padding around them, in one of the shapes a
// search meets: noise over the whole range, bars and spaces of a few widths
// blurred, a flat stretch with a little noise, and print beside a flat field.
std::vector<uint8_t> Profile(std::mt19937& rng, int32_t n, int style) {
  std::vector<uint8_t> store(static_cast<size_t>(n + 2 * bcd::EdgeRuns::kPadding));
  uint8_t* g = store.data() + bcd::EdgeRuns::kPadding;
  std::vector<float> level(static_cast<size_t>(n));
  bool dark = rng() % 2;
  for (int32_t i = 0; i < n;) {
    const int32_t run = 1 + static_cast<int32_t>(rng() % 7);
    for (int32_t j = i; j < std::min(n, i + run); ++j) level[static_cast<size_t>(j)] = dark ? 40.0f : 210.0f;
    dark = !dark;
    i += run;
  }
  for (int32_t i = 0; i < n; ++i) {
    float v = 0;
    switch (style) {
      case 0: v = static_cast<float>(rng() % 256); break;
      case 1: {
        float sum = 0, weight = 0;
        for (int32_t j = std::max(0, i - 3); j <= std::min(n - 1, i + 3); ++j) {
          const float k = std::exp(-0.5f * static_cast<float>((j - i) * (j - i)) / 1.44f);
          sum += k * level[static_cast<size_t>(j)];
          weight += k;
        }
        v = sum / weight + static_cast<float>(rng() % 5);
        break;
      }
      case 2: v = 120.0f + static_cast<float>(rng() % 9); break;
      default: v = i < n / 2 ? level[static_cast<size_t>(i)] : 150.0f + static_cast<float>(rng() % 3); break;
    }
    g[i] = static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f));
  }
  return store;
}

// The edges the wide loops find are the portable loops' edges, to the bit, and
// so are the narrowed runs made from them; whatever the lists held before.
TEST(EdgeRunsTest, WideLoopsFindThePortableEdges) {
  std::mt19937 rng(21);
  for (int trial = 0; trial < 600; ++trial) {
    const int32_t n = static_cast<int32_t>(rng() % 700);
    const std::vector<uint8_t> store = Profile(rng, n, trial % 4);
    const size_t spaces = static_cast<size_t>(bcd::SpaceListSize(n)), bars = static_cast<size_t>(bcd::BarListSize(n));
    struct Result {
      int32_t k = 0, narrowed = 0;
      std::vector<float> S, B, NS, NB;
    };
    auto measure = [&] {
      std::vector<uint8_t> work = store;
      uint8_t* g = work.data() + bcd::EdgeRuns::kPadding;
      bcd::EdgeRuns edges;
      edges.Reserve(n);
      Result r;
      r.S.assign(spaces, 77.0f);
      r.B.assign(bars, 77.0f);
      r.k = edges.Measure(g, n, r.S.data(), r.B.data());
      r.NS = r.S;
      r.NB = r.B;
      r.narrowed = edges.Narrow(r.NS.data(), r.NB.data());
      return r;
    };
    const Result wide = measure();
    Result portable;
    {
      PortableLoops only;
      portable = measure();
    }
    ASSERT_EQ(wide.k, portable.k) << trial;
    ASSERT_EQ(wide.narrowed, portable.narrowed) << trial;
    for (int32_t i = 0; i < wide.k + 3; ++i) ASSERT_EQ(wide.S[i], portable.S[i]) << trial << " S" << i;
    for (int32_t i = 0; i < wide.k + 2; ++i) ASSERT_EQ(wide.B[i], portable.B[i]) << trial << " B" << i;
    for (int32_t i = 0; i < wide.narrowed + 3; ++i) ASSERT_EQ(wide.NS[i], portable.NS[i]) << trial << " NS" << i;
    for (int32_t i = 0; i < wide.narrowed + 2; ++i) ASSERT_EQ(wide.NB[i], portable.NB[i]) << trial << " NB" << i;
  }
}

// The search measures runs its own way, for speed: the widths must be exactly
// those of the plain threshold measure, in both modes, whatever the lists held
// before; with room for the crossings (the wide loops where the processor has
// them) and without, and at thresholds outside the grey values too.
TEST(SearchRunsTest, SameRunsAsStrict) {
  std::mt19937 rng(8);
  for (int trial = 0; trial < 400; ++trial) {
    const int32_t n = static_cast<int32_t>(rng() % 400);
    std::vector<uint8_t> g(static_cast<size_t>(n));
    const int style = trial % 3;
    for (auto& v : g) {
      if (style == 0) v = static_cast<uint8_t>(rng());
      else if (style == 1) v = static_cast<uint8_t>((rng() % 2) * 200 + 20);
      else v = static_cast<uint8_t>(100 + rng() % 5);  // a flat line, the threshold inside it
    }
    int32_t lo = 255, hi = 0;
    for (uint8_t v : g) lo = std::min<int32_t>(lo, v), hi = std::max<int32_t>(hi, v);
    const int32_t odd[] = {-1, 0, 255, 300};
    const int32_t t = trial < 4 ? odd[trial] : (lo + hi) / 2;
    bcd::Crossings room;
    room.Reserve(n);
    for (bool binarize : {false, true}) {
      std::vector<float> S(static_cast<size_t>(bcd::SpaceListSize(n))), B(static_cast<size_t>(bcd::BarListSize(n)));
      std::vector<uint8_t> work = g;
      const int32_t k = binarize ? bcd::MeasureRunsBinarized(work.data(), n, t, S.data(), B.data())
                                 : bcd::MeasureRunsSubpixel(work.data(), n, t, S.data(), B.data());
      for (bcd::Crossings* with : {static_cast<bcd::Crossings*>(nullptr), &room}) {
        std::vector<float> S2(S.size(), 77.0f), B2(B.size(), 77.0f);
        const int32_t k2 = bcd::MeasureRuns(g.data(), n, t, binarize, S2.data(), B2.data(), with);
        ASSERT_EQ(k2, k) << n << " " << binarize << " " << (with != nullptr);
        for (int32_t i = 0; i < k + 3; ++i) ASSERT_EQ(S2[i], S[i]) << "S" << i;
        for (int32_t i = 0; i < k + 2; ++i) ASSERT_EQ(B2[i], B[i]) << "B" << i;
      }
    }
  }
}

}  // namespace
}  // namespace vantrel::bcdtest

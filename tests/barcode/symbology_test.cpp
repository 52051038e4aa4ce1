// Run widths fed straight into the symbology decoders: symbols from zint, and
// hand-made widths at the tolerance edges that decide what reads.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "run_lists.h"

namespace vantrel::bcdtest {
namespace {

using bcd::DecodeCode128;
using bcd::DecodeCode39;
using bcd::DecodeItf;
using bcd::DecodeJan13;
using bcd::DecodeJan8;
using bcd::DecodeNw7;

Widths FromModuleString(const std::string& modules) {
  Widths out;
  for (size_t i = 0; i < modules.size();) {
    size_t j = i;
    while (j < modules.size() && modules[j] == modules[i]) ++j;
    out.push_back(static_cast<float>(j - i));
    i = j;
  }
  return out;
}

// ---------------------------------------------------------------------------
// Every symbology, from a real encoder, forward and printed right to left.

struct ZintCase {
  const char* name;
  std::vector<std::string> options;
  std::string data;
  int32_t type;
  std::string text;
};

const std::vector<ZintCase>& ZintCases() {
  static const std::vector<ZintCase> cases = {
      {"Jan13", {"-b", "EANX"}, "490123456789", OVOBCD_JAN13, "4901234567894"},
      {"Jan13Zeros", {"-b", "EANX"}, "000000000000", OVOBCD_JAN13, "0000000000000"},
      {"Jan13AllParities", {"-b", "EANX"}, "978020137962", OVOBCD_JAN13, "9780201379624"},
      {"Jan8", {"-b", "EANX"}, "4901234", OVOBCD_JAN8, "49012347"},
      {"Jan8Nines", {"-b", "EANX"}, "9999999", OVOBCD_JAN8, "99999995"},
      {"Itf", {"-b", "3"}, "1234", OVOBCD_ITF, "1234"},
      {"ItfAllDigits", {"-b", "3"}, "01234567899876543210", OVOBCD_ITF, "01234567899876543210"},
      {"Code39", {"-b", "CODE39"}, "AB-12", OVOBCD_CODE39, "AB-12"},
      {"Code39AllCharacters", {"-b", "CODE39"}, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%",
       OVOBCD_CODE39, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%"},
      {"Code128B", {"-b", "CODE128"}, "Ab", OVOBCD_CODE128, "Ab"},
      {"Code128C", {"-b", "CODE128"}, "12345678", OVOBCD_CODE128, "12345678"},
      {"Code128OddDigits", {"-b", "CODE128"}, "1234567", OVOBCD_CODE128, "1234567"},
      {"Code128Controls", {"-b", "CODE128", "--esc"}, "A\\tB\\x01c", OVOBCD_CODE128,
       std::string("A\tB\x01" "c")},
      {"Code128Printable", {"-b", "CODE128"}, " !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~", OVOBCD_CODE128,
       " !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~"},
      {"Code128Latin1", {"-b", "CODE128", "--binary"}, "\xF3\xF3" "ab\xE9", OVOBCD_CODE128,
       "\xF3\xF3" "ab\xE9"},
      {"Nw7", {"-b", "CODABAR"}, "A123B", OVOBCD_NW7, "A123B"},
      {"Nw7AllCharacters", {"-b", "CODABAR"}, "C0123456789-$:/.+D", OVOBCD_NW7,
       "C0123456789-$:/.+D"},
  };
  return cases;
}

class ZintRunsTest : public ::testing::TestWithParam<ZintCase> {};

TEST_P(ZintRunsTest, ReadsForwardAndRightToLeftAtSeveralModuleWidths) {
  const ZintCase& c = GetParam();
  const Widths elements = ZintElements(c.options, c.data);
  ASSERT_FALSE(elements.empty());
  float symbolModules = 0;
  for (float e : elements) symbolModules += e;
  for (float module : {1.0f, 2.5f, 4.0f}) {
    SCOPED_TRACE(module);
    const float lead = 15 * module, trail = 13 * module;
    const Widths forward = Line(elements, module, lead, trail);
    const Read f = RunAll(forward, AllOn());
    ASSERT_TRUE(f.accepted);
    EXPECT_EQ(f.type, c.type);
    EXPECT_EQ(f.text, c.text);
    EXPECT_EQ(f.length, static_cast<int32_t>(c.text.size()));
    EXPECT_FLOAT_EQ(f.startPos, lead);
    EXPECT_FLOAT_EQ(f.endPos, lead + symbolModules * module);

    // Printed right to left: found by the reversed pass only; the start lies at
    // the line's later end, on the symbol's first bar in reading order.
    const Widths backward = Reversed(forward);
    const float n = static_cast<float>(FromWidths(backward).n);
    const Read b = RunAll(backward, AllOn());
    ASSERT_TRUE(b.accepted);
    EXPECT_EQ(b.type, c.type);
    EXPECT_EQ(b.text, c.text);
    EXPECT_FLOAT_EQ(b.startPos, n - lead - 1);
    EXPECT_FLOAT_EQ(b.endPos, n - (lead + symbolModules * module) - 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Symbols, ZintRunsTest, ::testing::ValuesIn(ZintCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Only the symbology whose enable field is set reads; with none, nothing does.
TEST(DecodeRunsTest, EnableFieldsSelectTheDecoders) {
  for (const ZintCase& c : ZintCases()) {
    SCOPED_TRACE(c.name);
    const Widths w = Line(ZintElements(c.options, c.data));
    for (int32_t t = 0; t <= 5; ++t) {
      const Read r = RunAll(w, Only(t));
      EXPECT_EQ(r.accepted, t == c.type ? 1 : 0) << "enabled " << t;
    }
    OvoBcdParams none = AllOn();
    none.JAN8 = none.JAN13 = none.ITF = none.CODE39 = none.CODE128 = none.NW7 = 0;
    EXPECT_FALSE(RunAll(w, none).accepted);
  }
}

// The decoders are tried in a fixed order on the whole line: a CODE 128 symbol
// wins over an ITF symbol that lies before it, and JAN-8 over JAN-13.
TEST(DecodeRunsTest, FixedOrderDecidesBetweenSymbolsOnOneLine) {
  const Widths itf = Line(ZintElements({"-b", "3"}, "1234"));
  const Widths code128 = Line(ZintElements({"-b", "CODE128"}, "Ab12"));
  const Widths jan13 = Line(ZintElements({"-b", "EANX"}, "490123456789"));
  const Widths jan8 = Line(ZintElements({"-b", "EANX"}, "4901234"));
  struct Case {
    Widths line;
    OvoBcdParams params;
    int32_t type;
  };
  OvoBcdParams no128 = AllOn();
  no128.CODE128 = 0;
  OvoBcdParams noJan8 = AllOn();
  noJan8.JAN8 = 0;
  const Case cases[] = {{Concat(itf, code128), AllOn(), OVOBCD_CODE128},
                        {Concat(itf, code128), no128, OVOBCD_ITF},
                        {Concat(jan13, jan8), AllOn(), OVOBCD_JAN8},
                        {Concat(jan13, jan8), noJan8, OVOBCD_JAN13}};
  for (const Case& c : cases) EXPECT_EQ(RunAll(c.line, c.params).type, c.type);
}

// A line that changes colour at every sample has the most runs a line can have;
// the reversed pass must stay inside the lists (checked under AddressSanitizer).
TEST(DecodeRunsTest, ReversedPassOfTheBusiestLineStaysInsideTheLists) {
  for (int32_t n : {2, 3, 30, 31, 61, 64}) {
    for (bool startDark : {false, true}) {
      std::vector<uint8_t> samples(static_cast<size_t>(n));
      for (int32_t i = 0; i < n; ++i) samples[i] = ((i % 2 == 0) == startDark) ? 0 : 255;
      std::vector<float> S(static_cast<size_t>(bcd::SpaceListSize(n)));
      std::vector<float> B(static_cast<size_t>(bcd::BarListSize(n)));
      std::vector<uint8_t> work = samples;
      const int32_t k = bcd::MeasureRunsBinarized(work.data(), n, 127, S.data(), B.data());
      // The reversed runs (k + 1 of them) read B'[k + 1] and S'[k + 2].
      EXPECT_GE(static_cast<int32_t>(S.size()), k + 3);
      EXPECT_GE(static_cast<int32_t>(B.size()), k + 2);
      const OvoBcdParams p = AllOn();
      bcd::BcdDecoder d(p);
      d.spaces = S.data();
      d.bars = B.data();
      EXPECT_EQ(bcd::DecodeRuns(d, n, k), 0);
      std::vector<float> S2(static_cast<size_t>(bcd::SpaceListSize(n)));
      std::vector<float> B2(static_cast<size_t>(bcd::BarListSize(n)));
      const int32_t k2 = bcd::MeasureRunsSubpixel(samples.data(), n, 127, S2.data(), B2.data());
      d.spaces = S2.data();
      d.bars = B2.data();
      EXPECT_EQ(bcd::DecodeRuns(d, n, k2), 0);
    }
  }
}

// ---------------------------------------------------------------------------
// JAN-13 and JAN-8, from the standard number sets: L as listed, R its
// complement, G the reverse of R.

const char* const kEanL[10] = {"0001101", "0011001", "0010011", "0111101", "0100011",
                               "0110001", "0101111", "0111011", "0110111", "0001011"};
const char* const kEanParity[10] = {"LLLLLL", "LLGLGG", "LLGGLG", "LLGGGL", "LGLLGG",
                                    "LGGLLG", "LGGGLL", "LGLGLG", "LGLGGL", "LGGLGL"};

std::string EanR(int d) {
  std::string r = kEanL[d];
  for (char& c : r) c = c == '0' ? '1' : '0';
  return r;
}
std::string EanG(int d) {
  std::string g = EanR(d);
  return std::string(g.rbegin(), g.rend());
}

std::string Jan13Modules(const std::string& digits) {
  std::string m = "101";
  for (int i = 1; i <= 6; ++i) {
    const int d = digits[i] - '0';
    m += kEanParity[digits[0] - '0'][i - 1] == 'L' ? kEanL[d] : EanG(d);
  }
  m += "01010";
  for (int i = 7; i <= 12; ++i) m += EanR(digits[i] - '0');
  return m + "101";
}

std::string Jan8Modules(const std::string& digits, bool leftInG = false) {
  std::string m = "101";
  for (int i = 0; i < 4; ++i) m += leftInG ? EanG(digits[i] - '0') : kEanL[digits[i] - '0'];
  m += "01010";
  for (int i = 4; i < 8; ++i) m += EanR(digits[i] - '0');
  return m + "101";
}

std::string ZintModuleString(const std::vector<std::string>& options, const std::string& data) {
  test::ModuleMatrix m;
  EXPECT_TRUE(test::ZintModules(options, data, &m));
  std::string s;
  for (int32_t x = 0; x < m.width; ++x) s += m.At(x, 0) ? '1' : '0';
  return s;
}

TEST(JanTest, TestEncoderAgreesWithZint) {
  EXPECT_EQ(Jan13Modules("4901234567894"), ZintModuleString({"-b", "EANX"}, "490123456789"));
  EXPECT_EQ(Jan13Modules("9780201379624"), ZintModuleString({"-b", "EANX"}, "978020137962"));
  EXPECT_EQ(Jan8Modules("49012347"), ZintModuleString({"-b", "EANX"}, "4901234"));
}

TEST(JanTest, OnlyTheRightCheckDigitReads) {
  for (int d = 0; d <= 9; ++d) {
    const std::string jan13 = "490123456789" + std::to_string(d);
    EXPECT_EQ(RunOne(DecodeJan13, Line(FromModuleString(Jan13Modules(jan13))), AllOn()).accepted,
              d == 4 ? 1 : 0)
        << jan13;
    const std::string jan8 = "4901234" + std::to_string(d);
    EXPECT_EQ(RunOne(DecodeJan8, Line(FromModuleString(Jan8Modules(jan8))), AllOn()).accepted,
              d == 7 ? 1 : 0)
        << jan8;
  }
}

TEST(JanTest, Jan8LeftHalfMustUseTheLSet) {
  EXPECT_TRUE(RunOne(DecodeJan8, Line(FromModuleString(Jan8Modules("49012347"))), AllOn()).accepted);
  EXPECT_FALSE(
      RunOne(DecodeJan8, Line(FromModuleString(Jan8Modules("49012347", true))), AllOn()).accepted);
}

// Bars and spaces are each counted against their own kind's guard average, so a
// print with uniformly thick (or thin) bars reads, as far as the digits' widths
// stay within the width test.
TEST(JanTest, UniformlyThickOrThinBarsRead) {
  const Widths modules = FromModuleString(Jan13Modules("4901234567894"));
  for (auto [barGain, reads] : {std::pair{1.2f, true}, std::pair{0.8f, true}, std::pair{1.3f, false}}) {
    Widths w;
    for (size_t i = 0; i < modules.size(); ++i)
      w.push_back(modules[i] * (i % 2 == 0 ? barGain : 2.0f - barGain));
    const Read r = RunOne(DecodeJan13, Line(w), AllOn());
    EXPECT_EQ(r.accepted, reads ? 1 : 0) << barGain;
    if (r.accepted) {
      EXPECT_EQ(r.text, "4901234567894");
    }
  }
}

// Guard bars 1.2 and spaces 0.8 make X = 1: a bar of 2.2 then counts 2 modules
// (2.2 / 1.2 = 1.83) and a space of 1.8 counts 2 (1.8 / 0.8 = 2.25).
TEST(JanTest, ElementsCountAgainstTheirOwnKind) {
  const Widths modules = FromModuleString(Jan13Modules("4901234567894"));
  Widths w;
  for (size_t i = 0; i < modules.size(); ++i) w.push_back(modules[i] * (i % 2 == 0 ? 1.2f : 0.8f));
  // The first two-module bar and space after the start guard.
  int bar2 = -1, space2 = -1;
  for (size_t i = 3; i < modules.size() && (bar2 < 0 || space2 < 0); ++i) {
    if (modules[i] == 2 && i % 2 == 0 && bar2 < 0) bar2 = static_cast<int>(i);
    if (modules[i] == 2 && i % 2 == 1 && space2 < 0 && i > 3) space2 = static_cast<int>(i);
  }
  ASSERT_GE(bar2, 0);
  ASSERT_GE(space2, 0);
  w[bar2] = 2.2f;
  w[space2] = 1.8f;
  const Read r = RunOne(DecodeJan13, Line(w), AllOn());
  ASSERT_TRUE(r.accepted);
  EXPECT_EQ(r.text, "4901234567894");
}

// Guards of width 1 except the start guard's space E: the guard test is strict
// at both ends, in single precision.
TEST(JanTest, GuardLimitsAreStrict) {
  const Widths modules = FromModuleString(Jan13Modules("4901234567894"));
  struct Case {
    const char* what;
    float startSpace;
    float otherGuardSpaces;
    bool reads;
  };
  // 0x1.459e6ep-1 with the other guard elements 1 makes X = 0.9635974 and
  // 0.66 x X exactly this value in single precision.
  const Case cases[] = {
      {"1.5 X exactly", 1.5f, 0.875f, false},
      {"just below 1.5 X", 1.49f, 0.875f, true},
      {"0.66 X exactly", 0x1.459e6ep-1f, 1.0f, false},
      {"just above 0.66 X", 0x1.459e6ep-1f + 0.001f, 1.0f, true},
  };
  // Guard spaces among the elements (element 0 is the first bar): the start
  // guard's space, the centre guard's three spaces, the end guard's space.
  std::vector<size_t> guardSpaces;
  guardSpaces.push_back(1);                        // start guard: bar, space, bar
  for (size_t e : {27u, 29u, 31u}) guardSpaces.push_back(e);  // centre guard spaces
  guardSpaces.push_back(modules.size() - 2);       // end guard: bar, space, bar
  for (size_t e : guardSpaces) ASSERT_EQ(modules[e], 1.0f) << e;
  for (const Case& c : cases) {
    Widths w = modules;
    for (size_t e : guardSpaces) w[e] = c.otherGuardSpaces;
    w[1] = c.startSpace;
    EXPECT_EQ(RunOne(DecodeJan13, Line(w), AllOn()).accepted, c.reads ? 1 : 0) << c.what;
  }
}

// A digit's elements must add up to 7 modules of X within 0.9 .. 1.1.
TEST(JanTest, DigitWidthTest) {
  const Widths modules = FromModuleString(Jan13Modules("4901234567894"));
  // Element 3 is the leading space of the first left digit: not measured by
  // itself, only through the digit's width.
  for (auto [extra, reads] : {std::pair{1.0f, false}, std::pair{0.7f, true}, std::pair{-0.5f, true}}) {
    Widths w = modules;
    w[3] += extra;
    EXPECT_EQ(RunOne(DecodeJan13, Line(w), AllOn()).accepted, reads ? 1 : 0) << extra;
  }
}

// A symbol whose end guard ends the line (no light after it) leaves k one short:
// it is not read. Printed upside down and starting the line, it is read by the
// reversed pass, whose k is one larger; its end position then falls one sample
// before the line.
TEST(JanTest, SymbolTouchingTheLineEnd) {
  struct Case {
    std::string digits;
    DecoderFn fn;
    int32_t bars;
  };
  for (const Case& c : {Case{"4901234567894", DecodeJan13, 30}, Case{"49012347", DecodeJan8, 22}}) {
    const std::string& digits = c.digits;
    const DecoderFn fn = c.fn;
    const int32_t bars = c.bars;
    const std::string modules = digits.size() == 13 ? Jan13Modules(digits) : Jan8Modules(digits);
    Widths w = Line(FromModuleString(modules));
    w.pop_back();  // no trailing light
    EXPECT_EQ(FromWidths(w).k, bars - 1);
    EXPECT_FALSE(RunOne(fn, w, AllOn()).accepted);
    EXPECT_FALSE(RunAll(w, AllOn()).accepted);
    const Widths upsideDown = Reversed(w);
    const Read r = RunAll(upsideDown, AllOn());
    ASSERT_TRUE(r.accepted);
    EXPECT_EQ(r.text, digits);
    EXPECT_FLOAT_EQ(r.startPos, static_cast<float>(FromWidths(upsideDown).n) - 12.0f - 1.0f);
    EXPECT_FLOAT_EQ(r.endPos, -1.0f);
  }
}

TEST(JanTest, UpsideDownFailsForwardAndReadsReversed) {
  const Widths w = Reversed(Line(FromModuleString(Jan13Modules("4901234567894"))));
  EXPECT_FALSE(RunOne(DecodeJan13, w, AllOn()).accepted);
  const Read r = RunAll(w, AllOn());
  ASSERT_TRUE(r.accepted);
  EXPECT_EQ(r.text, "4901234567894");
  EXPECT_GT(r.startPos, r.endPos);
}

// ---------------------------------------------------------------------------
// ITF, built from the 2-of-5 digit patterns with any wide-to-narrow ratio.

const char* const kTwoOfFive[10] = {"nnwwn", "wnnnw", "nwnnw", "wwnnn", "nnwnw",
                                    "wnwnn", "nwwnn", "nnnww", "wnnwn", "nwnwn"};

Widths ItfElements(const std::string& digits, float wide = 3.0f) {
  Widths w = {1, 1, 1, 1};
  for (size_t i = 0; i + 1 < digits.size(); i += 2) {
    const char* bars = kTwoOfFive[digits[i] - '0'];
    const char* spaces = kTwoOfFive[digits[i + 1] - '0'];
    for (int e = 0; e < 5; ++e) {
      w.push_back(bars[e] == 'w' ? wide : 1.0f);
      w.push_back(spaces[e] == 'w' ? wide : 1.0f);
    }
  }
  w.push_back(wide);
  w.push_back(1);
  w.push_back(1);
  return w;
}

TEST(ItfTest, TestEncoderAgreesWithZint) {
  EXPECT_EQ(ItfElements("1234"), ZintElements({"-b", "3"}, "1234"));
  EXPECT_EQ(ItfElements("90817263"), ZintElements({"-b", "3"}, "90817263"));
}

TEST(ItfTest, LengthBoundsAndCheckDigit) {
  struct Case {
    std::string digits;
    int32_t min, max, check;
    bool reads;
  };
  const Case cases[] = {
      {"1234", 1, 48, 0, true},  {"1234", 4, 4, 0, true},    {"1234", 6, 48, 0, false},
      {"1234", 1, 2, 0, false},  {"1236", 1, 48, 1, true},   {"1235", 1, 48, 1, false},
      {"1235", 1, 48, 0, true},  {"1235", 1, 48, 2, true},   {"0000", 1, 48, 1, true},
      {"00", 1, 48, 0, false},  // one pair alone is too few runs for any candidate
      {"12345670", 1, 48, 1, true}, {"12345671", 1, 48, 1, false},
  };
  for (const Case& c : cases) {
    OvoBcdParams p = AllOn();
    p.ITF_Min = c.min;
    p.ITF_Max = c.max;
    p.ITF_Check = c.check;
    const Read r = RunOne(DecodeItf, Line(ItfElements(c.digits)), p);
    EXPECT_EQ(r.accepted, c.reads ? 1 : 0) << c.digits << " " << c.min << "-" << c.max << " check " << c.check;
    if (r.accepted) {
      EXPECT_EQ(r.text, c.digits);
      EXPECT_EQ(r.length, static_cast<int32_t>(c.digits.size()));
    }
  }
}

// A start and end pattern without any pair reads as nothing even when the
// bounds would allow it, and cannot pass a check.
TEST(ItfTest, EmptySymbolWithCheckIsRejected) {
  OvoBcdParams p = AllOn();
  p.ITF_Min = 0;
  p.ITF_Check = 1;
  Widths w = Line(ItfElements(""));
  w = Concat(w, Line(ItfElements("1236")));  // enough runs for a candidate at the empty one
  const Read r = RunOne(DecodeItf, w, p);
  ASSERT_TRUE(r.accepted);
  EXPECT_EQ(r.text, "1236");
}

TEST(ItfTest, QuietZones) {
  struct Case {
    float lead;  // in narrow elements
    float trail;
    bool reads;
  };
  const Case cases[] = {{5.0f, 5.01f, true}, {4.99f, 10.0f, false}, {10.0f, 5.0f, false},
                        {10.0f, 4.0f, false}, {30.0f, 30.0f, true}};
  for (const Case& c : cases) {
    EXPECT_EQ(RunOne(DecodeItf, Line(ItfElements("1234"), 2.0f, 2.0f * c.lead, 2.0f * c.trail), AllOn()).accepted,
              c.reads ? 1 : 0)
        << c.lead << " " << c.trail;
  }
}

TEST(ItfTest, WideToNarrowRatiosFromTwoToThreeRead) {
  for (float wide : {2.0f, 2.25f, 2.5f, 2.75f, 3.0f}) {
    const Read r = RunOne(DecodeItf, Line(ItfElements("0123456789"), 1.5f, 20, 20), AllOn());
    const Read r2 = RunOne(DecodeItf, Line(ItfElements("0123456789", wide), 1.5f, 20, 20), AllOn());
    EXPECT_TRUE(r.accepted);
    ASSERT_TRUE(r2.accepted) << wide;
    EXPECT_EQ(r2.text, "0123456789");
  }
}

TEST(ItfTest, AtMostFortyEightDigits) {
  std::string d48, d50;
  for (int i = 0; i < 48; ++i) d48 += static_cast<char>('0' + i % 10);
  d50 = d48 + "12";
  OvoBcdParams p = AllOn();
  p.ITF_Max = 9999;
  const Read r = RunOne(DecodeItf, Line(ItfElements(d48)), p);
  ASSERT_TRUE(r.accepted);
  EXPECT_EQ(r.text, d48);
  EXPECT_FALSE(RunOne(DecodeItf, Line(ItfElements(d50)), p).accepted);
}

// Cut by the edge of the range: the pairs decode, but there is no end pattern.
TEST(ItfTest, SymbolWithoutEndPatternIsNotRead) {
  Widths w = ItfElements("123456");
  w.resize(w.size() - 3);  // drop the end pattern
  EXPECT_FALSE(RunOne(DecodeItf, Line(w), AllOn()).accepted);
  w.resize(w.size() - 1);  // the line ends on the last pair's last bar
  EXPECT_FALSE(RunAll(Line(w, 1.0f, 12.0f, 0.0f), AllOn()).accepted);
}

// ---------------------------------------------------------------------------
// CODE 39.

OvoBcdParams Code39Params(int32_t min, int32_t max, int32_t check) {
  OvoBcdParams p = AllOn();
  p.CODE39_Min = min;
  p.CODE39_Max = max;
  p.CODE39_Check = check;
  return p;
}

TEST(Code39Test, LengthBoundsAndCheckCharacter) {
  struct Case {
    std::string data;
    int32_t min, max, check;
    bool reads;
  };
  // ABC has values 10 + 11 + 12 = 33: its check character is X.
  const Case cases[] = {
      {"AB-12", 1, 48, 0, true}, {"AB-12", 5, 5, 0, true}, {"AB-12", 6, 48, 0, false},
      {"AB-12", 1, 4, 0, false}, {"ABCX", 1, 48, 1, true}, {"ABCY", 1, 48, 1, false},
      {"ABCY", 1, 48, 0, true},  {"ABCX", 1, 48, 0, true}, {"%$/+-. %", 1, 48, 1, false},
      {"Z0Z0%", 1, 48, 1, false}, {"A%", 1, 48, 1, false}, {"A A", 1, 48, 1, false},
      {"55A", 1, 48, 1, true},
  };
  for (const Case& c : cases) {
    const Read r = RunOne(DecodeCode39, Line(ZintElements({"-b", "CODE39"}, c.data)),
                          Code39Params(c.min, c.max, c.check));
    EXPECT_EQ(r.accepted, c.reads ? 1 : 0) << c.data;
    if (r.accepted) {
      EXPECT_EQ(r.text, c.data);
    }
  }
}

// Junk bars after the symbol give the line enough runs for every start position.
Widths WithJunkAfter(const Widths& line) {
  Widths junk = {30};
  for (int i = 0; i < 8; ++i) {
    junk.push_back(1);
    junk.push_back(1);
  }
  junk.push_back(30);
  return Concat(line, junk);
}

TEST(Code39Test, StartAndStopAloneAreRejected) {
  Widths elements = ZintElements({"-b", "CODE39"}, "A");
  ASSERT_EQ(elements.size(), 29u);  // star, gap, A, gap, star
  Widths empty(elements.begin(), elements.begin() + 10);
  empty.insert(empty.end(), elements.begin() + 20, elements.end());
  EXPECT_FALSE(RunOne(DecodeCode39, WithJunkAfter(Line(empty)), Code39Params(0, 48, 0)).accepted);
  EXPECT_TRUE(RunOne(DecodeCode39, WithJunkAfter(Line(elements)), Code39Params(1, 48, 0)).accepted);
}

// The last start position is never tried: a one-character symbol alone on its
// line has its start at bar k - 15 and is not read in either direction; any bar
// after it makes room.
TEST(Code39Test, StartAtBarKMinus15IsNotTried) {
  const Widths line = Line(ZintElements({"-b", "CODE39"}, "A"));
  EXPECT_EQ(FromWidths(line).k, 15);
  EXPECT_FALSE(RunOne(DecodeCode39, line, Code39Params(1, 48, 0)).accepted);
  EXPECT_FALSE(RunAll(line, Code39Params(1, 48, 0)).accepted);
  EXPECT_FALSE(RunAll(Reversed(line), Code39Params(1, 48, 0)).accepted);
  const Read r = RunOne(DecodeCode39, WithJunkAfter(line), Code39Params(1, 48, 0));
  ASSERT_TRUE(r.accepted);
  EXPECT_EQ(r.text, "A");
}

TEST(Code39Test, QuietZonesMustExceedFiveSpaceModules) {
  const Widths elements = ZintElements({"-b", "CODE39"}, "AB-12");
  // The start character's spaces are 2 + 1 + 1 + 1 modules: ms = 1 at module 1.
  struct Case {
    float lead, trail;
    bool reads;
  };
  const Case cases[] = {{5.0f, 10.0f, false}, {5.001f, 10.0f, true}, {10.0f, 5.0f, false},
                        {10.0f, 5.001f, true}};
  for (const Case& c : cases)
    EXPECT_EQ(RunOne(DecodeCode39, Line(elements, 1.0f, c.lead, c.trail), AllOn()).accepted,
              c.reads ? 1 : 0)
        << c.lead << " " << c.trail;
}

TEST(Code39Test, AtMostFortyEightDataCharacters) {
  std::string d48;
  for (int i = 0; i < 48; ++i) d48 += "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[i % 36];
  const Read r = RunOne(DecodeCode39, Line(ZintElements({"-b", "CODE39"}, d48)), Code39Params(1, 9999, 0));
  ASSERT_TRUE(r.accepted);
  EXPECT_EQ(r.text, d48);
  EXPECT_FALSE(RunOne(DecodeCode39, Line(ZintElements({"-b", "CODE39"}, d48 + "Z")),
                      Code39Params(1, 9999, 0))
                   .accepted);
}

// After $, /, + and % (three wide spaces) the next character is measured with
// their own proportions; a gradual change of scale is followed.
TEST(Code39Test, MeasuresCarryFromCharacterToCharacter) {
  const Widths elements = ZintElements({"-b", "CODE39"}, "A$B/C+D%E");
  EXPECT_EQ(RunOne(DecodeCode39, Line(elements), AllOn()).text, "A$B/C+D%E");
  // Scale growing by 2 % per character: too much for one measure, fine for a carried one.
  const Widths grown = ZintElements({"-b", "CODE39"}, "0123456789ABCDEFGHIJ");
  Widths w;
  for (size_t i = 0; i < grown.size(); ++i) w.push_back(grown[i] * std::pow(1.02f, static_cast<float>(i / 10)));
  const Read r = RunOne(DecodeCode39, Line(w, 2.0f, 30, 60), AllOn());
  ASSERT_TRUE(r.accepted);
  EXPECT_EQ(r.text, "0123456789ABCDEFGHIJ");
}

// ---------------------------------------------------------------------------
// CODE 128, with every value's pattern taken from zint's symbols.

// Value -> element widths (6 elements), learnt from zint's data and check symbols.
const std::map<int32_t, Widths>& Code128Values() {
  static const std::map<int32_t, Widths> values = [] {
    std::map<int32_t, Widths> out;
    auto symbols = [](const std::string& data, bool esc) {
      std::vector<std::string> opts = {"-b", "CODE128"};
      if (esc) opts.push_back("--esc");
      test::ModuleMatrix m;
      EXPECT_TRUE(test::ZintModules(opts, data, &m));
      std::vector<std::string> syms;
      for (int32_t x = 0; x + 11 <= m.width - 13; x += 11) {
        std::string s;
        for (int32_t i = 0; i < 11; ++i) s += m.At(x + i, 0) ? '1' : '0';
        syms.push_back(s);
      }
      return syms;
    };
    const std::map<std::string, int32_t> starts = {
        {"11010000100", 103}, {"11010010000", 104}, {"11010011100", 105}};
    auto learn = [&](int32_t value, const std::string& modules) {
      out[value] = FromModuleString(modules);
    };
    // One printable character c: start, value c - 32 (in set A or B), check.
    for (int c = 32; c <= 126; ++c) {
      if (c >= '0' && c <= '9') continue;  // digits alone may go to set C
      const std::string data(1, static_cast<char>(c));
      const auto s = symbols(c == '\\' ? "\\\\" : data, true);
      EXPECT_EQ(s.size(), 3u);
      const int32_t start = starts.at(s[0]);
      learn(start, s[0]);
      learn(c - 32, s[1]);
      learn((start + c - 32) % 103, s[2]);
    }
    {
      const auto s = symbols("\\x01", true);  // a control character: start A
      EXPECT_EQ(s.size(), 3u);
      learn(starts.at(s[0]), s[0]);
      const auto c = symbols("1234", false);  // digits: start C
      learn(starts.at(c[0]), c[0]);
    }
    for (int c = '0'; c <= '9'; ++c) {
      const auto s = symbols(std::string(1, static_cast<char>(c)) + "a", false);
      learn(c - 32, s[1]);
    }
    // Check symbols of values 95 to 102: data "xb" in set B, x chosen so that
    // (104 + v(x) + 2 * v('b')) mod 103 hits the value.
    for (int32_t t = 95; t <= 102; ++t) {
      const int32_t v1 = (t + 103 - 1 - 2 * ('b' - 32) % 103 + 103 * 3) % 103;
      const std::string data = {static_cast<char>(v1 + 32), 'b'};
      const auto s = symbols(data, false);
      EXPECT_EQ(starts.at(s[0]), 104);
      learn(t, s[3]);
    }
    return out;
  }();
  return values;
}

const Widths kCode128Stop = {2, 3, 3, 1, 1, 1, 2};

// Start value, data values; the check symbol and stop are added.
Widths Code128Elements(const std::vector<int32_t>& values) {
  Widths w;
  int32_t sum = values[0];
  for (size_t j = 0; j < values.size(); ++j) {
    if (j > 0) sum += static_cast<int32_t>(j) * values[j];
    const Widths& e = Code128Values().at(values[j]);
    w.insert(w.end(), e.begin(), e.end());
  }
  const Widths& check = Code128Values().at(sum % 103);
  w.insert(w.end(), check.begin(), check.end());
  w.insert(w.end(), kCode128Stop.begin(), kCode128Stop.end());
  return w;
}

TEST(Code128Test, EveryValueIsKnownToTheEncoder) {
  for (int32_t v = 0; v <= 105; ++v) {
    ASSERT_TRUE(Code128Values().count(v)) << v;
    float modules = 0;
    for (float e : Code128Values().at(v)) modules += e;
    EXPECT_EQ(modules, 11.0f) << v;
  }
  // Every data value read back through the decoder, in groups, in set B (values
  // 96 to 102 are functions there, so they are read in a check position).
  for (int32_t v = 0; v <= 95; v += 5) {
    std::vector<int32_t> values = {104};
    std::string text;
    for (int32_t j = v; j < v + 5 && j <= 95; ++j) {
      values.push_back(j);
      text += static_cast<char>(j + 32);
    }
    const Read r = RunOne(DecodeCode128, Line(Code128Elements(values)), AllOn());
    ASSERT_TRUE(r.accepted) << v;
    EXPECT_EQ(r.text, text);
  }
}

TEST(Code128Test, ExpansionThroughTheCodeSets) {
  struct Case {
    const char* what;
    std::vector<int32_t> values;
    std::string text;
  };
  const Case cases[] = {
      {"start B, A, b", {104, 33, 66}, "Ab"},
      {"set C pair 07", {105, 7}, "07"},
      {"set C odd digits via CODE B", {105, 12, 34, 100, 21}, "12345"},
      {"set A NUL", {103, 64, 33}, std::string("\0A", 2)},
      {"set A controls", {103, 95, 65, 0}, std::string("\x1f\x01 ")},
      {"set B CODE A then 65", {104, 33, 101, 65}, "A\x01"},
      {"set B SHIFT", {104, 65, 98, 65, 65}, std::string("a\x01" "a")},
      {"set A SHIFT", {103, 33, 98, 65, 65}, "Aa\x01"},
      {"set C to A", {105, 99, 101, 65}, std::string("99\x01")},
      {"functions produce nothing", {104, 102, 33, 97, 96, 34, 100}, "AB"},
      {"set A 96, 97, 102 nothing", {103, 96, 97, 102, 33}, "A"},
      {"set B FNC4 extends the next character", {104, 100, 83, 33}, "\xF3" "A"},
      {"set A FNC4 on a control", {103, 101, 64, 33}, std::string("\x80" "A")},
      {"FNC4 waits over a set C pair", {104, 100, 99, 12, 100, 33}, "12\xC1"},
      {"two FNC4 latch, one exempts, two unlatch",
       {104, 100, 100, 83, 83, 100, 33, 100, 100, 33}, "\xF3\xF3" "AA"},
      {"set C 102 nothing", {105, 102, 1, 2}, "0102"},
      {"set B to C", {104, 17, 99, 42}, "142"},
  };
  for (const Case& c : cases) {
    const Read r = RunOne(DecodeCode128, Line(Code128Elements(c.values)), AllOn());
    ASSERT_TRUE(r.accepted) << c.what;
    EXPECT_EQ(r.text, c.text) << c.what;
    EXPECT_EQ(r.length, static_cast<int32_t>(c.text.size())) << c.what;
  }
}

TEST(Code128Test, CheckSymbolIsAlwaysVerified) {
  Widths w = Code128Elements({104, 33, 66});
  // Replace the check symbol (value 63) by value 64.
  const Widths& wrong = Code128Values().at(64);
  std::copy(wrong.begin(), wrong.end(), w.begin() + 18);
  EXPECT_FALSE(RunOne(DecodeCode128, Line(w), AllOn()).accepted);
}

TEST(Code128Test, LengthBoundsAndTheFortyEightCharacterLimit) {
  std::vector<int32_t> c24 = {105}, c25 = {105};
  std::string digits48;
  for (int i = 0; i < 24; ++i) {
    c24.push_back(i * 4);
    digits48 += std::to_string(i * 4 / 10) + std::to_string(i * 4 % 10);
  }
  c25 = c24;
  c25.push_back(7);
  struct Case {
    std::vector<int32_t> values;
    int32_t min, max;
    bool reads;
  };
  const Case cases[] = {
      {{104}, 1, 48, false},        {{104}, 0, 48, true},  {c24, 1, 48, true},
      {c24, 1, 47, false},          {c25, 1, 9999, false}, {{104, 33, 66}, 3, 48, false},
      {{104, 33, 66}, 2, 2, true},
  };
  for (const Case& c : cases) {
    OvoBcdParams p = AllOn();
    p.CODE128_Min = c.min;
    p.CODE128_Max = c.max;
    // Start, check and stop alone are too few runs for a candidate: junk after
    // them makes room.
    const Read r = RunOne(DecodeCode128, WithJunkAfter(Line(Code128Elements(c.values))), p);
    EXPECT_EQ(r.accepted, c.reads ? 1 : 0) << c.values.size() << " " << c.min << "-" << c.max;
  }
  OvoBcdParams p = AllOn();
  EXPECT_EQ(RunOne(DecodeCode128, Line(Code128Elements(c24)), p).text, digits48);
}

TEST(Code128Test, ElementRoundingToNothingCountsOneModule) {
  Widths w = Code128Elements({104, 33, 66, 17});
  // The last element of value 33 ('A', 1 1 1 3 2 3) is a space of 3; its first
  // bar is 1 module: shrink that to 0.3.
  ASSERT_EQ(w[6], 1.0f);
  w[6] = 0.3f;
  const Read r = RunOne(DecodeCode128, Line(w), AllOn());
  ASSERT_TRUE(r.accepted);
  EXPECT_EQ(r.text, "Ab1");
}

// The stop pattern's windows: above the lower bound, at most the upper.
TEST(Code128Test, StopPatternWindows) {
  struct Case {
    Widths stop;
    bool reads;
  };
  const Case cases[] = {
      {{2, 3, 3, 1, 1, 1, 2}, true},
      {{2.5f, 2.75f, 2.75f, 1, 1, 1, 2}, true},        // upper bound included
      {{1.5f, 3.25f, 3.25f, 1, 1, 1, 2}, false},       // lower bound excluded
      {{2, 3.5f, 2.75f, 0.75f, 1, 1, 2}, true},
      {{2, 3, 3, 0.5f, 1.25f, 1.25f, 2}, false},
      {{2, 3, 3, 1, 1, 1.5f, 1.5f}, false},
      {{2, 3, 2.75f, 1.5f, 1, 1, 1.75f}, true},
  };
  for (const Case& c : cases) {
    Widths w = Code128Elements({104, 33, 66});
    std::copy(c.stop.begin(), c.stop.end(), w.end() - 7);
    EXPECT_EQ(RunOne(DecodeCode128, Line(w), AllOn()).accepted, c.reads ? 1 : 0)
        << c.stop[0] << " " << c.stop[1] << " " << c.stop[2] << " " << c.stop[3];
  }
}

// No quiet zone is needed around a CODE 128 symbol; one whose stop pattern ends
// the line gives an end position one past the line, and the reversed read of
// one that starts the line a position just before it.
TEST(Code128Test, SymbolTouchingTheLineEnds) {
  const Widths elements = Code128Elements({104, 33, 66, 17, 18});
  Widths tight = {0};
  tight.insert(tight.end(), elements.begin(), elements.end());
  const RunLine line = FromWidths(tight);
  const Read r = RunAll(tight, AllOn());
  ASSERT_TRUE(r.accepted);
  EXPECT_EQ(r.text, "Ab12");
  EXPECT_FLOAT_EQ(r.startPos, 0.0f);
  EXPECT_FLOAT_EQ(r.endPos, static_cast<float>(line.n));
  const Read b = RunAll(Reversed(Line(elements, 1.0f, 5.0f, 0.0f)), AllOn());
  ASSERT_TRUE(b.accepted);
  EXPECT_FLOAT_EQ(b.endPos, -1.0f);
}

// ---------------------------------------------------------------------------
// NW-7.

OvoBcdParams Nw7Params(int32_t min, int32_t max, int32_t check) {
  OvoBcdParams p = AllOn();
  p.NW7_Min = min;
  p.NW7_Max = max;
  p.NW7_Check = check;
  return p;
}

TEST(Nw7Test, LengthBoundsAndCheckCharacter) {
  struct Case {
    std::string data;
    int32_t min, max, check;
    bool reads;
  };
  // A, 1, 2, check, B: 16 + 1 + 2 + 17 = 36, check value 12 = ':'.
  const Case cases[] = {
      {"A123B", 1, 48, 0, true},  {"A123B", 5, 5, 0, true},   {"A123B", 6, 48, 0, false},
      {"A123B", 1, 4, 0, false},  {"A12:B", 1, 48, 1, true},  {"A12-B", 1, 48, 1, false},
      {"A12-B", 1, 48, 0, true},  {"A1B", 1, 48, 0, true},    {"D0000D", 1, 48, 1, false},
      {"C+C", 1, 48, 1, false},   {"B9+C", 1, 48, 1, false},  {"A$B", 1, 48, 1, false},
  };
  for (const Case& c : cases) {
    const Read r = RunOne(DecodeNw7, WithJunkAfter(Line(ZintElements({"-b", "CODABAR"}, c.data))),
                          Nw7Params(c.min, c.max, c.check));
    EXPECT_EQ(r.accepted, c.reads ? 1 : 0) << c.data;
    if (r.accepted) {
      EXPECT_EQ(r.text, c.data);
    }
  }
}

TEST(Nw7Test, StartAndStopAloneAreRejected) {
  const Widths a1b = ZintElements({"-b", "CODABAR"}, "A1B");
  ASSERT_EQ(a1b.size(), 23u);  // A, gap, 1, gap, B
  Widths ab(a1b.begin(), a1b.begin() + 8);
  ab.insert(ab.end(), a1b.begin() + 16, a1b.end());
  EXPECT_FALSE(RunOne(DecodeNw7, WithJunkAfter(Line(ab)), Nw7Params(0, 48, 0)).accepted);
  EXPECT_TRUE(RunOne(DecodeNw7, WithJunkAfter(Line(a1b)), Nw7Params(0, 48, 0)).accepted);
}

TEST(Nw7Test, QuietZonesMustExceedThreeSpaceModules) {
  const Widths elements = ZintElements({"-b", "CODABAR"}, "A123B");
  // The start letter A has spaces 1 + 2 + 2: H = 1 at module 1.
  struct Case {
    float lead, trail;
    bool reads;
  };
  const Case cases[] = {{3.0f, 10.0f, false}, {3.001f, 10.0f, true}, {10.0f, 3.0f, false},
                        {10.0f, 3.001f, true}};
  for (const Case& c : cases)
    EXPECT_EQ(RunOne(DecodeNw7, Line(elements, 1.0f, c.lead, c.trail), AllOn()).accepted, c.reads ? 1 : 0)
        << c.lead << " " << c.trail;
}

TEST(Nw7Test, AtMostFortyEightCharacters) {
  std::string d48 = "A";
  while (d48.size() < 47) d48 += "0123456789-$:/.+"[d48.size() % 16];
  d48 += "B";
  std::string d49 = d48;
  d49.insert(1, "7");
  const Read r = RunOne(DecodeNw7, Line(ZintElements({"-b", "CODABAR"}, d48)), Nw7Params(1, 9999, 0));
  ASSERT_TRUE(r.accepted);
  EXPECT_EQ(r.text, d48);
  EXPECT_FALSE(RunOne(DecodeNw7, Line(ZintElements({"-b", "CODABAR"}, d49)), Nw7Params(1, 9999, 0)).accepted);
}

// 2, 9, - and $ have their wide space in the middle: one wide bar, not start/stop.
TEST(Nw7Test, MiddleWideSpaceIsNotAStopLetter) {
  const Read r = RunOne(DecodeNw7, Line(ZintElements({"-b", "CODABAR"}, "A29-$29B")), AllOn());
  ASSERT_TRUE(r.accepted);
  EXPECT_EQ(r.text, "A29-$29B");
}

// The first start/stop letter after the start ends the symbol: two symbols one
// gap apart do not read as one, and neither has its quiet zone.
TEST(Nw7Test, FirstStopLetterEndsTheSymbol) {
  const Widths first = ZintElements({"-b", "CODABAR"}, "A12B");
  const Widths second = ZintElements({"-b", "CODABAR"}, "C34D");
  Widths joined = first;
  joined.push_back(1);  // the ordinary gap between characters
  joined.insert(joined.end(), second.begin(), second.end());
  EXPECT_FALSE(RunOne(DecodeNw7, Line(joined), AllOn()).accepted);
  EXPECT_EQ(RunOne(DecodeNw7, Line(first), AllOn()).text, "A12B");
}

}  // namespace
}  // namespace vantrel::bcdtest

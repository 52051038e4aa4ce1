// The codeword layer on its own: sizes, module placement, Reed-Solomon
// correction and the interpretation of data codewords, on small fixtures
// written out by hand (the encodations' packing is spelled out below, not
// taken from the reader).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "datamatrix/src/dmx_codewords.h"
#include "datamatrix/src/dmx_symbol.h"
#include "symbol_render.h"

namespace vantrel::test {
namespace {

using dmx::Message;
using dmx::SymbolSize;

// Three C40/Text/X12 values in two codewords.
std::vector<uint8_t> Triple(int a, int b, int c) {
  const int v = 1600 * a + 40 * b + c + 1;
  return {static_cast<uint8_t>(v / 256), static_cast<uint8_t>(v % 256)};
}

// Four 6-bit EDIFACT values in three codewords.
std::vector<uint8_t> Edifact(int a, int b, int c, int d) {
  const uint32_t v = (a << 18) | (b << 12) | (c << 6) | d;
  return {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

// A Base 256 byte as it stands at 1-based codeword position p.
uint8_t Rand255(int value, int p) { return static_cast<uint8_t>((value + (149 * p) % 255 + 1) % 256); }

std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(Codewords, EachEncodationAndItsWayBackToAscii) {
  using namespace std::string_literals;
  struct Case {
    const char* what;
    std::vector<uint8_t> words;
    std::string bytes;
  };
  const Case cases[] = {
      {"ASCII and digit pairs", {66, 67, 142, 130, 229}, "AB120099"},
      {"upper shift", {235, 66, 66}, "\xc1" "A"},
      {"pad ends the data", {66, 129, 175, 66}, "A"},
      {"C40 then unlatch", Cat({{230}, Triple(14, 22, 26), {254, 66}}), "AIMA"},
      {"C40 shifts: control, punctuation, lower case", Cat({{230}, Triple(0, 13, 1), Triple(0, 2, 3)}), "\r!c"},
      {"C40 upper shift", Cat({{230}, Triple(1, 30, 14)}), "\xc1"},
      {"C40 ends with one ASCII codeword", Cat({{230}, Triple(14, 15, 16), {67}}), "ABCB"},
      {"Text", Cat({{239}, Triple(14, 22, 26), Triple(1, 1, 3)}), "aim\" "},
      {"Text shift 3 gives capitals", Cat({{239}, Triple(2, 1, 3)}), "A "},
      {"X12", Cat({{238}, Triple(14, 1, 2), Triple(0, 3, 4), {254, 66}}), "A*>\r 0A"},
      {"EDIFACT with unlatch", Cat({{240}, Edifact(1, 2, 3, 31), {66}}), "ABCA"},
      {"EDIFACT unlatch in the first value", {240, 31 << 2, 66, 67}, "AB"},
      {"EDIFACT ends in ASCII without unlatch", Cat({{240}, Edifact(1, 2, 32, 49), {66}}), "AB 1A"},
      {"Base 256 with a length", {231, Rand255(2, 2), Rand255(0, 3), Rand255(0xff, 4), 66}, "\0\xff" "A"s},
      {"Base 256 to the end", {231, Rand255(0, 2), Rand255('x', 3), Rand255('y', 4)}, "xy"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Message m;
    ASSERT_EQ(dmx::InterpretCodewords(c.words.data(), c.words.size(), &m), 0);
    EXPECT_EQ(m.bytes, c.bytes);
    EXPECT_STREQ(m.identifier, "]d1");
  }
}

TEST(Codewords, FunctionCodewords) {
  using namespace std::string_literals;
  struct Case {
    const char* what;
    std::vector<uint8_t> words;
    std::string bytes;
    const char* identifier;
    bool gs1, readerInit;
    int32_t macro, saIndex, saCount, saFileId;
  };
  const Case cases[] = {
      {"leading FNC1: GS1, not in the text", {232, 142, 232, 66}, "12\x1d" "A", "]d2", true, false, 0, 0, 0, 0},
      {"FNC1 after an application indicator", {66, 232, 67}, "AB", "]d3", false, false, 0, 0, 0, 0},
      {"FNC1 inside C40", Cat({{230}, Triple(1, 27, 14)}), "\x1d" "A", "]d1", false, false, 0, 0, 0, 0},
      {"05 macro", {236, 66}, "[)>\x1e" "05\x1d" "A\x1e\x04", "]d1", false, false, 5, 0, 0, 0},
      {"06 macro", {237, 142}, "[)>\x1e" "06\x1d" "12\x1e\x04", "]d1", false, false, 6, 0, 0, 0},
      {"reader programming", {234, 37, 74}, "$I", "]d1", false, true, 0, 0, 0, 0},
      {"structured append, part 2 of 3", {233, (1 << 4) | (17 - 3), 12, 34, 66}, "A", "]d1", false, false, 0, 2, 3,
       12 * 256 + 34},
      {"structured append with a count out of range", {233, (2 << 4) | 0, 1, 1, 66}, "A", "]d1", false, false, 0, 3, 0,
       257},
      {"GS1 after a structured-append header", {233, 0x0f, 5, 6, 232, 142}, "12", "]d2", true, false, 0, 1, 2, 1286},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Message m;
    ASSERT_EQ(dmx::InterpretCodewords(c.words.data(), c.words.size(), &m), 0);
    EXPECT_EQ(m.bytes, c.bytes);
    EXPECT_STREQ(m.identifier, c.identifier);
    EXPECT_EQ(m.gs1, c.gs1);
    EXPECT_EQ(m.readerInit, c.readerInit);
    EXPECT_EQ(m.macro, c.macro);
    EXPECT_EQ(m.saIndex, c.saIndex);
    EXPECT_EQ(m.saCount, c.saCount);
    EXPECT_EQ(m.saFileId, c.saFileId);
  }
}

TEST(Codewords, EciTextBecomesUtf8AndAnUnknownSetIsNoText) {
  struct Case {
    const char* what;
    std::vector<uint8_t> words;
    int32_t status;
    std::string bytes;
    const char* identifier;
  };
  const Case cases[] = {
      // ECI 3 (Latin-1): e-acute 0xE9 by upper shift.
      {"Latin-1", {241, 4, 235, 0xe9 - 127}, 0, "\xc3\xa9", "]d4"},
      // ECI 26 (UTF-8): the bytes stay.
      {"UTF-8", {241, 27, 235, 0xc3 - 127, 235, 0xa9 - 127}, 0, "\xc3\xa9", "]d4"},
      // ECI 20 (Shift JIS): 0x93 0x5F is the Kanji for "point"; a backslash stays a backslash.
      {"Shift JIS", {241, 21, 235, 0x93 - 127, 0x5f + 1, '\\' + 1}, 0, "\xe7\x82\xb9\\", "]d4"},
      // Text before the first ECI is Latin-1 and converted with the rest.
      {"Latin-1, then Cyrillic", {235, 0xb6 - 127, 241, 8, 235, 0xb6 - 127}, 0, "\xc2\xb6\xd0\x96", "]d4"},
      {"ECI with GS1", {232, 241, 27, 66, 232, 67}, 0, "A\x1d" "B", "]d5"},
      // Three-codeword ECI value: 810900 has no character set.
      {"unknown ECI", {241, 204, 81, 6, 66}, -2, "", "]d1"},
      {"ECI 900 (two codewords), unknown", {241, 131, 12, 66}, -2, "", "]d1"},
      {"binary ECI 899 keeps the bytes", {241, 131, 11, 235, 0xff - 127, 66}, 0, "\xff" "A", "]d4"},
      // Bytes that are no UTF-8 under ECI 26.
      {"broken UTF-8", {241, 27, 235, 0xc3 - 127, 66}, -2, "", "]d1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Message m;
    ASSERT_EQ(dmx::InterpretCodewords(c.words.data(), c.words.size(), &m), c.status);
    EXPECT_EQ(m.bytes, c.bytes);
    EXPECT_STREQ(m.identifier, c.identifier);
    EXPECT_EQ(m.eci, c.status == 0);
  }
}

TEST(Codewords, StreamsNoEncoderWritesAreRefused) {
  const std::vector<std::vector<uint8_t>> cases = {
      {0},                               // codeword 0 means nothing
      {66, 242},                         // 242 ... 253 are unused in ASCII
      {255},
      {235},                             // upper shift at the end
      {235, 142},                        // upper shift before digits
      {66, 233, 1, 2, 3},                // structured append only first
      {66, 234},                         // reader programming only first
      {66, 236},                         // a macro only first
      {233, 1},                          // header cut short
      {241},                             // ECI without its value
      {241, 200, 5},                     // three-codeword ECI cut short
      Cat({{230}, {254 - 1, 255}}),      // C40 value above 39
      {231, Rand255(5, 2), 1, 2},        // Base 256 longer than the symbol
      {231},                             // Base 256 without a length
  };
  for (const auto& words : cases) {
    SCOPED_TRACE(::testing::PrintToString(words));
    Message m;
    m.bytes = "stale";
    EXPECT_EQ(dmx::InterpretCodewords(words.data(), words.size(), &m), -2);
    EXPECT_EQ(m.bytes, "");
  }
}

// ---------------------------------------------------------------------------
// Sizes, placement and correction against the independent encoder

TEST(SymbolLayer, EverySizeOfTheEncoderReadsBackAndCorrectsItsCapacity) {
  int checked = 0;
  for (const SymbolSize& s : dmx::kSymbolSizes) {
    const int version = static_cast<int>(&s - dmx::kSymbolSizes) + 1;
    std::vector<std::string> options = {"-b", "DATAMATRIX", "--vers=" + std::to_string(version)};
    if (s.libraryIndex < 0) options.push_back("--dmre");
    ModuleMatrix m;
    std::string error;
    ASSERT_TRUE(ZintModules(options, "DM", &m, &error)) << error;
    SCOPED_TRACE(std::to_string(s.rows) + "x" + std::to_string(s.cols));
    ASSERT_EQ(m.height, s.rows);
    ASSERT_EQ(m.width, s.cols);
    dmx::ModuleGrid grid;
    grid.rows = m.height;
    grid.cols = m.width;
    grid.on = m.dark;
    const std::vector<uint8_t> words = dmx::ReadCodewords(grid, s);
    ASSERT_TRUE(dmx::CodewordsConsistent(s, words.data(), words.size()));
    // Placement is its own inverse, finder, timing and corner pattern included.
    EXPECT_EQ(dmx::PlaceCodewords(words, s).on, grid.on);
    Message msg;
    ASSERT_EQ(dmx::InterpretCodewords(words.data(), static_cast<size_t>(s.dataWords), &msg), 0);
    EXPECT_EQ(msg.bytes, "DM");

    // As many wrong words in every block as its check words can correct
    // (data word b + k * blocks is in block b).
    std::vector<uint8_t> damaged = words;
    std::mt19937 rng(static_cast<uint32_t>(version));
    const int32_t perBlock = s.ecWords / s.blocks / 2;
    for (int32_t b = 0; b < s.blocks; ++b)
      for (int32_t k = 0; k < perBlock; ++k) damaged[static_cast<size_t>(b + k * s.blocks)] ^= static_cast<uint8_t>(1 + rng() % 255);
    int32_t corrected = 0;
    ASSERT_TRUE(dmx::CorrectCodewords(s, damaged.data(), damaged.size(), &corrected));
    EXPECT_EQ(damaged, words);
    EXPECT_GT(corrected, 0);
    ++checked;
  }
  EXPECT_EQ(checked, static_cast<int>(dmx::kSymbolSizeCount));
}

TEST(SymbolLayer, OwnEncodingOfEverySizeAndTheLimitsOfCorrection) {
  for (const SymbolSize& s : dmx::kSymbolSizes) {
    SCOPED_TRACE(std::to_string(s.rows) + "x" + std::to_string(s.cols));
    std::vector<uint8_t> data = {66, 67, 129};
    while (data.size() < static_cast<size_t>(s.dataWords)) data.push_back(129);
    std::vector<uint8_t> words = data;
    const std::vector<uint8_t> ec = dmx::EncodeCheckWords(s, data);
    words.insert(words.end(), ec.begin(), ec.end());
    ASSERT_TRUE(dmx::CodewordsConsistent(s, words.data(), words.size()));
    const dmx::ModuleGrid grid = dmx::PlaceCodewords(words, s);
    EXPECT_EQ(dmx::ReadCodewords(grid, s), words);

    // One error more than block 0 can correct: refused, nothing changed.
    std::vector<uint8_t> damaged = words;
    const int32_t n = s.ecWords / s.blocks;
    for (int32_t k = 0; k <= n / 2 && k * s.blocks < s.dataWords; ++k) damaged[static_cast<size_t>(k * s.blocks)] ^= 0x5a;
    if (n / 2 * s.blocks < s.dataWords) {
      const std::vector<uint8_t> before = damaged;
      int32_t corrected = -1;
      EXPECT_FALSE(dmx::CorrectCodewords(s, damaged.data(), damaged.size(), &corrected));
      EXPECT_EQ(damaged, before);
      EXPECT_EQ(corrected, -1);
    }
  }
}

TEST(SymbolLayer, TheLargestSymbolReadsWithEitherLayoutOfItsCheckWords) {
  // 144 x 144: the standard lays the check words from block 8 on (its last two
  // blocks hold one data word less); some encoders lay them from block 0.
  const SymbolSize& s = *dmx::FindSymbolSize(144, 144);
  std::vector<uint8_t> data(static_cast<size_t>(s.dataWords), 129);
  data[0] = 66;
  const std::vector<uint8_t> standard = dmx::EncodeCheckWords(s, data);
  // The other layout: the same blocks' check words, rotated by two blocks.
  std::vector<uint8_t> other(standard.size());
  for (size_t e = 0; e < standard.size(); ++e) other[(e + 8) % 10 + e / 10 * 10] = standard[e];
  for (const std::vector<uint8_t>* ec : {&standard, const_cast<const std::vector<uint8_t>*>(&other)}) {
    std::vector<uint8_t> words = data;
    words.insert(words.end(), ec->begin(), ec->end());
    EXPECT_TRUE(dmx::CodewordsConsistent(s, words.data(), words.size()));
    words[3] ^= 1;
    words[1600] ^= 0x80;
    int32_t corrected = 0;
    ASSERT_TRUE(dmx::CorrectCodewords(s, words.data(), words.size(), &corrected));
    EXPECT_EQ(corrected, 2);
    EXPECT_EQ(words[3], data[3]);
  }
  EXPECT_NE(standard, other);
}

}  // namespace
}  // namespace vantrel::test

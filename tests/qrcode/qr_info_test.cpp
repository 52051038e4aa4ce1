// The per-version table, the format and version words and their reading from
// the binary image.
#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

#include "qr_test_support.h"
#include "qrcode/src/qr_codewords.h"
#include "qrcode/src/qr_info.h"
#include "qrcode/src/qr_version_table.h"

namespace vantrel::qr {
namespace {

using qrtest::BinaryCanvas;

int32_t MisdecodeProtection(int32_t version, int32_t level) {
  if (version == 1) return level == 0 ? 3 : level == 1 ? 2 : 1;
  if (version == 2 && level == 0) return 2;
  if (version == 3 && level == 0) return 1;
  return 0;
}

TEST(QrVersionTable, EveryRowKeepsTheTablesOwnRules) {
  for (int32_t v = 1; v <= 40; ++v) {
    SCOPED_TRACE(::testing::Message() << "version " << v);
    const QrVersionInfo& row = QrVersionTable[v - 1];
    EXPECT_EQ(row.version, v);
    for (int32_t level = 0; level < 4; ++level) {
      SCOPED_TRACE(::testing::Message() << "level " << level);
      const QrBlockGroup& g1 = row.group1[level];
      const QrBlockGroup& g2 = row.group2[level];
      EXPECT_GT(g1.blocks, 0);
      EXPECT_EQ(g1.blocks * g1.codewords + g2.blocks * g2.codewords, row.totalCodewords);
      EXPECT_EQ(g1.blocks * g1.dataCodewords + g2.blocks * g2.dataCodewords, row.dataCodewords[level]);
      if (g2.blocks > 0) {
        EXPECT_EQ(g2.codewords, g1.codewords + 1);
        EXPECT_EQ(g2.dataCodewords, g1.dataCodewords + 1);
        EXPECT_EQ(g2.correctable, g1.correctable);
      } else {
        EXPECT_EQ(g2.codewords, 0);
        EXPECT_EQ(g2.dataCodewords, 0);
        EXPECT_EQ(g2.correctable, 0);
      }
      EXPECT_EQ(g1.correctable, (g1.codewords - g1.dataCodewords - MisdecodeProtection(v, level)) / 2);
      EXPECT_LE(g1.correctable, 15);
      if (level > 0) {
        EXPECT_LT(row.dataCodewords[level], row.dataCodewords[level - 1]);
      }
    }
    // Alignment coordinates: 0 for version 1, then one more every seven
    // versions; ascending, the last N - 7 away from the edge, equal even steps
    // after the first.
    const int32_t expectedCount = v == 1 ? 0 : v / 7 + 1;
    ASSERT_EQ(row.alignmentCount, expectedCount);
    if (row.alignmentCount == 0) continue;
    EXPECT_EQ(row.alignment[row.alignmentCount - 1], 4 * v + 10);
    EXPECT_GT(row.alignment[0], 6);
    for (int32_t i = 1; i < row.alignmentCount; ++i) {
      EXPECT_LT(row.alignment[i - 1], row.alignment[i]);
      EXPECT_EQ((row.alignment[i] - row.alignment[i - 1]) % 2, 0);
      if (i >= 2) {
        EXPECT_EQ(row.alignment[i] - row.alignment[i - 1], row.alignment[1] - row.alignment[0]);
      }
    }
    for (int32_t i = row.alignmentCount; i < 6; ++i) EXPECT_EQ(row.alignment[i], 0);
  }
}

TEST(QrVersionTable, CodewordsFillTheModulesLeftByTheFunctionMap) {
  // The remainder bits of ISO/IEC 18004 per version.
  static constexpr int32_t kRemainder[40] = {0, 7, 7, 7, 7, 7, 0, 0, 0, 0, 0, 0, 0, 3,
                                             3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 3,
                                             3, 3, 3, 3, 3, 3, 0, 0, 0, 0, 0, 0};
  auto matrix = std::make_unique<QrModuleMatrix>();
  for (int32_t v = 1; v <= 40; ++v) {
    LayFunctionMap(v, matrix.get());
    const int32_t N = 4 * v + 17;
    int32_t free = 0;
    for (int32_t r = 0; r < N; ++r)
      for (int32_t c = 0; c < N; ++c) free += (matrix->At(c, r) & kFunctionModule) ? 0 : 1;
    EXPECT_EQ(free, 8 * QrVersionTable[v - 1].totalCodewords + kRemainder[v - 1]) << "version " << v;
  }
}

TEST(QrVersionTable, TellingRows) {
  struct Group {
    int32_t n, c, k, t;
  };
  struct Row {
    int32_t version, total, data[4];
    std::vector<int32_t> alignment;
    Group g1[4], g2[4];
  };
  const Row rows[] = {
      {1, 26, {19, 16, 13, 9}, {}, {{1, 26, 19, 2}, {1, 26, 16, 4}, {1, 26, 13, 6}, {1, 26, 9, 8}}, {}},
      {5, 134, {108, 86, 62, 46}, {30},
       {{1, 134, 108, 13}, {2, 67, 43, 12}, {2, 33, 15, 9}, {2, 33, 11, 11}},
       {{0, 0, 0, 0}, {0, 0, 0, 0}, {2, 34, 16, 9}, {2, 34, 12, 11}}},
      {7, 196, {156, 124, 88, 66}, {22, 38},
       {{2, 98, 78, 10}, {4, 49, 31, 9}, {2, 32, 14, 9}, {4, 39, 13, 13}},
       {{0, 0, 0, 0}, {0, 0, 0, 0}, {4, 33, 15, 9}, {1, 40, 14, 13}}},
      {40, 3706, {2956, 2334, 1666, 1276}, {30, 58, 86, 114, 142, 170},
       {{19, 148, 118, 15}, {18, 75, 47, 14}, {34, 54, 24, 15}, {20, 45, 15, 15}},
       {{6, 149, 119, 15}, {31, 76, 48, 14}, {34, 55, 25, 15}, {61, 46, 16, 15}}},
  };
  for (const Row& want : rows) {
    SCOPED_TRACE(want.version);
    const QrVersionInfo& row = QrVersionTable[want.version - 1];
    EXPECT_EQ(row.totalCodewords, want.total);
    ASSERT_EQ(row.alignmentCount, static_cast<int32_t>(want.alignment.size()));
    for (size_t i = 0; i < want.alignment.size(); ++i) EXPECT_EQ(row.alignment[i], want.alignment[i]);
    for (int32_t l = 0; l < 4; ++l) {
      EXPECT_EQ(row.dataCodewords[l], want.data[l]);
      const QrBlockGroup& g1 = row.group1[l];
      const QrBlockGroup& g2 = row.group2[l];
      EXPECT_EQ((std::vector<int32_t>{g1.blocks, g1.codewords, g1.dataCodewords, g1.correctable}),
                (std::vector<int32_t>{want.g1[l].n, want.g1[l].c, want.g1[l].k, want.g1[l].t}));
      EXPECT_EQ((std::vector<int32_t>{g2.blocks, g2.codewords, g2.dataCodewords, g2.correctable}),
                (std::vector<int32_t>{want.g2[l].n, want.g2[l].c, want.g2[l].k, want.g2[l].t}));
    }
  }
}

TEST(QrFormatWord, CodewordsOfTheStandard) {
  // Masked format words of ISO/IEC 18004 (indicator, mask): L 0..7, M 0, M 1, Q 0, H 0.
  const struct {
    uint32_t m, masked;
  } known[] = {{0b01000, 0x77C4}, {0b01001, 0x72F3}, {0b01010, 0x7DAA}, {0b01011, 0x789D},
               {0b01100, 0x662F}, {0b01101, 0x6318}, {0b01110, 0x6C41}, {0b01111, 0x6976},
               {0b00000, 0x5412}, {0b00001, 0x5125}, {0b11000, 0x355F}, {0b10000, 0x1689}};
  for (const auto& k : known) EXPECT_EQ(FormatCodeword(k.m) ^ kFormatMask, k.masked) << k.m;
  EXPECT_EQ(VersionCodeword(7), 0x07C94u);
  EXPECT_EQ(VersionCodeword(8), 0x085BCu);
  EXPECT_EQ(VersionCodeword(10), 0x0A4D3u);
  EXPECT_EQ(VersionCodeword(40), 0x28C69u);
}

TEST(QrFormatWord, LevelAndMaskFromTheIndicator) {
  const struct {
    uint32_t indicator;
    int32_t level;
  } levels[] = {{0b00, 1}, {0b01, 0}, {0b10, 3}, {0b11, 2}};
  for (const auto& l : levels)
    for (uint32_t mask = 0; mask < 8; ++mask) {
      QrFormat f;
      ASSERT_TRUE(DecodeFormatWord(FormatCodeword(l.indicator << 3 | mask), &f));
      EXPECT_EQ(f.level, l.level);
      EXPECT_EQ(f.mask, static_cast<int32_t>(mask));
    }
}

// Every word one to three bits away from each codeword: up to two wrong bits
// are corrected; three are refused, although the code itself could correct
// them.
TEST(QrFormatWord, TwoWrongBitsCorrectedThreeRejected) {
  for (uint32_t m = 0; m < 32; ++m) {
    QrFormat want;
    ASSERT_TRUE(DecodeFormatWord(FormatCodeword(m), &want));
    for (uint32_t e = 1; e < (1u << 15); ++e) {
      const int32_t wrong = std::popcount(e);
      if (wrong > 3) continue;
      QrFormat got;
      const bool ok = DecodeFormatWord(FormatCodeword(m) ^ e, &got);
      if (wrong <= 2) {
        ASSERT_TRUE(ok) << m << " " << e;
        EXPECT_EQ(got.level, want.level);
        EXPECT_EQ(got.mask, want.mask);
      } else {
        ASSERT_FALSE(ok) << m << " " << e;
      }
    }
  }
}

TEST(QrVersionWord, TwoWrongBitsCorrectedThreeRejected) {
  for (uint32_t b = 7; b <= 40; ++b)
    for (uint32_t i = 0; i < 18; ++i)
      for (uint32_t j = i + 1; j < 18; ++j) {
        int32_t v = 0;
        ASSERT_TRUE(DecodeVersionWord(VersionCodeword(b) ^ (1u << i) ^ (1u << j), &v));
        EXPECT_EQ(v, static_cast<int32_t>(b));
        for (uint32_t k = j + 1; k < 18; ++k)
          ASSERT_FALSE(DecodeVersionWord(VersionCodeword(b) ^ (1u << i) ^ (1u << j) ^ (1u << k), &v));
      }
  int32_t v = 0;
  EXPECT_FALSE(DecodeVersionWord(VersionCodeword(6), &v));   // versions below 7 carry no word
  EXPECT_FALSE(DecodeVersionWord(VersionCodeword(41), &v));
}

// A crisp symbol with square modules; the corner points and finder centres
// are exact.
struct CrispSymbol {
  test::ModuleMatrix m;
  int32_t N = 0, module = 0, ox = 0, oy = 0;
  BinaryCanvas canvas{1, 1};
  QrPoint P[12];
  QrPoint A, B, C;

  CrispSymbol(const test::ModuleMatrix& matrix, int32_t moduleSize, int32_t x, int32_t y, int32_t w,
              int32_t h)
      : m(matrix), N(matrix.width), module(moduleSize), ox(x), oy(y), canvas(w, h) {
    canvas.Paint(m, module, ox, oy);
    qrtest::CrispCorners(N, module, ox, oy, P);
    A = Centre(3, 3);
    B = Centre(N - 4, 3);
    C = Centre(3, N - 4);
  }
  QrPoint Centre(int32_t c, int32_t r) const {
    return {ox + (c + 0.5f) * module, oy + (r + 0.5f) * module};
  }
  void Flip(int32_t c, int32_t r) {
    const bool dark = canvas.Get(ox + c * module + module / 2, oy + r * module + module / 2);
    canvas.Fill(ox + c * module, oy + r * module, ox + (c + 1) * module - 1, oy + (r + 1) * module - 1,
                !dark);
  }
};

// Module positions of the first format copy, bit 0 first, and of the second.
constexpr int32_t kFormatCopy1[15][2] = {{8, 0}, {8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 7}, {8, 8},
                                         {7, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}, {0, 8}};
void FormatCopy2(int32_t N, int32_t bit, int32_t* c, int32_t* r) {
  if (bit < 8) {
    *c = N - 1 - bit;
    *r = 8;
  } else {
    *c = 8;
    *r = N - 7 + (bit - 8);
  }
}

TEST(QrReadFormat, EveryLevelAndMaskOfTheEncoder) {
  for (int32_t secure = 1; secure <= 4; ++secure)
    for (int32_t mask = 0; mask < 8; ++mask) {
      SCOPED_TRACE(::testing::Message() << "secure " << secure << " mask " << mask);
      CrispSymbol s(qrtest::ZintQr({"--vers=1", "--secure=" + std::to_string(secure),
                                    "--mask=" + std::to_string(mask)},
                                   "FORMAT"),
                    4, 20, 20, 160, 160);
      QrFormat f;
      ASSERT_TRUE(ReadFormat(s.canvas.Image(), s.P, s.A, s.B, s.C, &f));
      EXPECT_EQ(f.level, secure - 1);
      EXPECT_EQ(f.mask, mask);
    }
}

TEST(QrReadFormat, WrongBitsInEitherCopy) {
  const test::ModuleMatrix m = qrtest::ZintQr({"--vers=2", "--secure=3", "--mask=5"}, "COPIES");
  struct Case {
    std::vector<int32_t> copy1, copy2;  // bits flipped
    bool readable;
    const char* why;
  };
  const Case cases[] = {
      {{}, {}, true, "clean"},
      {{0, 14}, {}, true, "two wrong bits in the first copy"},
      {{1, 7, 12}, {}, true, "three wrong bits in the first copy: the second is read"},
      {{1, 7, 12}, {3, 9}, true, "three and two"},
      {{1, 7, 12}, {0, 8, 14}, false, "three wrong bits in both copies"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    CrispSymbol s(m, 3, 15, 15, 120, 120);
    for (int32_t bit : c.copy1) s.Flip(kFormatCopy1[bit][0], kFormatCopy1[bit][1]);
    for (int32_t bit : c.copy2) {
      int32_t col = 0, row = 0;
      FormatCopy2(s.N, bit, &col, &row);
      s.Flip(col, row);
    }
    QrFormat f;
    ASSERT_EQ(ReadFormat(s.canvas.Image(), s.P, s.A, s.B, s.C, &f), c.readable);
    if (!c.readable) continue;
    EXPECT_EQ(f.level, 2);
    EXPECT_EQ(f.mask, 5);
  }
}

TEST(QrReadFormat, FirstCopyOutsideTheImageFailsAtOnce) {
  // The symbol's leftmost module column lies left of the picture: the first
  // copy reaches outside, and the second, although inside, is not tried.
  const test::ModuleMatrix m = qrtest::ZintQr({"--vers=1"}, "EDGE");
  CrispSymbol inside(m, 4, 4, 20, 140, 140);
  QrFormat f;
  ASSERT_TRUE(ReadFormat(inside.canvas.Image(), inside.P, inside.A, inside.B, inside.C, &f));
  CrispSymbol cut(m, 4, -4, 20, 140, 140);
  EXPECT_FALSE(ReadFormat(cut.canvas.Image(), cut.P, cut.A, cut.B, cut.C, &f));
}

TEST(QrReadVersion, EncoderSymbolsAndWrongBits) {
  for (int32_t v : {7, 8, 13, 21, 32, 40}) {
    SCOPED_TRACE(v);
    const test::ModuleMatrix m = qrtest::ZintQr({"--vers=" + std::to_string(v)}, "VERSION");
    const int32_t N = 4 * v + 17;
    auto copy1 = [&](int32_t bit, int32_t* c, int32_t* r) { *c = N - 11 + bit % 3, *r = bit / 3; };
    auto copy2 = [&](int32_t bit, int32_t* c, int32_t* r) { *c = bit / 3, *r = N - 11 + bit % 3; };
    struct Case {
      std::vector<int32_t> copy1, copy2;
      bool readable;
    };
    const Case cases[] = {{{}, {}, true}, {{2, 17}, {}, true}, {{0, 5, 11}, {}, true},
                          {{0, 5, 11}, {1, 6, 16}, false}};
    for (const Case& c : cases) {
      CrispSymbol s(m, 2, 10, 10, 2 * N + 20, 2 * N + 20);
      for (int32_t bit : c.copy1) {
        int32_t col = 0, row = 0;
        copy1(bit, &col, &row);
        s.Flip(col, row);
      }
      for (int32_t bit : c.copy2) {
        int32_t col = 0, row = 0;
        copy2(bit, &col, &row);
        s.Flip(col, row);
      }
      int32_t read = 0;
      ASSERT_EQ(ReadVersion(s.canvas.Image(), s.P, s.B, s.C, &read), c.readable);
      if (c.readable) {
        EXPECT_EQ(read, v);
      }
    }
  }
}

}  // namespace
}  // namespace vantrel::qr

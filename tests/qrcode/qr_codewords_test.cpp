// Function map, masks, codeword placement and blocks; the whole chain from a
// module matrix of the encoder to the data bytes, for every version and level.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "qr_test_support.h"
#include "qrcode/src/qr_codewords.h"
#include "qrcode/src/qr_info.h"
#include "qrcode/src/qr_segments.h"

namespace vantrel::qr {
namespace {

bool IsFunction(const QrModuleMatrix& m, int32_t c, int32_t r) { return (m.At(c, r) & kFunctionModule) != 0; }

TEST(QrFunctionMap, AlignmentSquaresOverlappingAFinderAreSkipped) {
  auto m = std::make_unique<QrModuleMatrix>();
  LayFunctionMap(7, m.get());  // N = 45, alignment coordinates 22 and 38
  EXPECT_TRUE(IsFunction(*m, 20, 4));    // square around (22, 6), laid before the timing row
  EXPECT_TRUE(IsFunction(*m, 4, 20));    // and around (6, 22)
  EXPECT_FALSE(IsFunction(*m, 36, 8));   // (38, 6) lies in the top-right finder's area: skipped
  EXPECT_FALSE(IsFunction(*m, 8, 36));   // likewise (6, 38)
  EXPECT_TRUE(IsFunction(*m, 36, 36));   // (38, 38) is laid
  EXPECT_TRUE(IsFunction(*m, 20, 40));   // (22, 38)
  EXPECT_TRUE(IsFunction(*m, 34, 0));    // version blocks
  EXPECT_TRUE(IsFunction(*m, 5, 36));
  EXPECT_TRUE(IsFunction(*m, 8, 37));    // format area with the dark module
  EXPECT_FALSE(IsFunction(*m, 9, 9));

  LayFunctionMap(6, m.get());  // no version blocks below version 7
  EXPECT_FALSE(IsFunction(*m, 30, 0));
  EXPECT_FALSE(IsFunction(*m, 0, 30));
}

TEST(QrFunctionMap, ClearsWhatAnEarlierCandidateLeft) {
  auto m = std::make_unique<QrModuleMatrix>();
  LayFunctionMap(40, m.get());
  for (auto& cell : m->cells) cell |= 1;
  LayFunctionMap(1, m.get());
  for (int32_t r = 0; r < 21; ++r)
    for (int32_t c = 0; c < 21; ++c) EXPECT_EQ(m->At(c, r) & 1, 0) << c << "," << r;
  EXPECT_FALSE(IsFunction(*m, 20, 20));
}

TEST(QrMasks, ConditionsOfTheStandard) {
  // (mask, row i, column j, flipped). Mask 4 halves the row and thirds the
  // column: (2, 0) is not flipped, (0, 3) neither, (0, 2) is.
  const struct {
    int32_t mask, i, j;
    bool flipped;
  } cases[] = {{0, 0, 0, true},  {0, 0, 1, false}, {1, 2, 1, true},  {1, 3, 0, false},
               {2, 5, 3, true},  {2, 0, 1, false}, {3, 1, 2, true},  {3, 1, 1, false},
               {4, 2, 0, false}, {4, 0, 3, false}, {4, 0, 2, true},  {4, 3, 5, true}, 
               {5, 0, 7, true},  {5, 2, 3, true},  {5, 1, 1, false}, {6, 1, 1, true},
               {6, 2, 2, false}, {6, 1, 5, false}, {6, 1, 2, true},  {7, 1, 2, false},
               {7, 0, 1, false}, {7, 1, 3, true},  {7, 0, 0, true}};
  for (const auto& c : cases)
    EXPECT_EQ(MaskCondition(c.mask, c.i, c.j), c.flipped) << c.mask << " " << c.i << " " << c.j;
  // Function modules keep their colour.
  auto m = std::make_unique<QrModuleMatrix>();
  LayFunctionMap(1, m.get());
  Unmask(21, 0, m.get());
  EXPECT_EQ(m->At(0, 0) & 1, 0);
  EXPECT_EQ(m->At(10, 10) & 1, 1);
  EXPECT_EQ(m->At(10, 11) & 1, 0);
}

TEST(QrPlacement, FirstCodewordRunsUpTheRightEdge) {
  auto m = std::make_unique<QrModuleMatrix>();
  LayFunctionMap(1, m.get());
  // Codeword 0: (20,20) (19,20) (20,19) (19,19) ... its first module is the MSB.
  m->At(20, 20) |= 1;
  m->At(19, 17) |= 1;
  uint8_t stream[kMaxCodewords] = {};
  ReadPlacement(*m, 1, stream);
  EXPECT_EQ(stream[0], 0x81);
  for (int32_t i = 1; i < 26; ++i) EXPECT_EQ(stream[i], 0) << i;
}

// A zint symbol laid straight into the module matrix (no picture): unmasked,
// read, corrected and decoded back to the encoder's input.
std::string ReadEncoderMatrix(const test::ModuleMatrix& zm, int32_t version, int32_t level,
                              int32_t mask, int32_t flips, uint32_t seed, bool* ok) {
  auto m = std::make_unique<QrModuleMatrix>();
  const int32_t N = 4 * version + 17;
  LayFunctionMap(version, m.get());
  std::mt19937 rng(seed);
  for (int32_t r = 0; r < N; ++r)
    for (int32_t c = 0; c < N; ++c)
      if (!IsFunction(*m, c, r)) m->At(c, r) = zm.At(c, r) ? 1 : 0;
  for (int32_t k = 0; k < flips;) {
    const int32_t c = static_cast<int32_t>(rng() % N), r = static_cast<int32_t>(rng() % N);
    if (IsFunction(*m, c, r)) continue;
    m->At(c, r) ^= 1;
    ++k;
  }
  Unmask(N, mask, m.get());
  uint8_t stream[kMaxCodewords], scratch[kMaxCodewords];
  QrRsWork rs;
  int32_t D = 0;
  *ok = false;
  if (!ReadCodewords(*m, version, level, stream, scratch, &rs, &D)) return "<uncorrectable>";
  EXPECT_EQ(D, QrVersionTable[version - 1].dataCodewords[level]);
  std::vector<uint8_t> out(8000);
  int32_t len = 0;
  if (!DecodeSegments(stream, D, version, false, out.data(), 7089, &len)) return "<undecodable>";
  *ok = true;
  return std::string(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(len));
}

TEST(QrCodewords, EveryVersionAndLevelOfTheEncoder) {
  std::mt19937 rng(4242);
  for (int32_t v = 1; v <= 40; ++v)
    for (int32_t level = 0; level < 4; ++level) {
      SCOPED_TRACE(::testing::Message() << "version " << v << " level " << level);
      // Byte data nearly filling the symbol, so that every block carries data.
      const QrVersionInfo& row = QrVersionTable[v - 1];
      const int32_t bytes = std::min(row.dataCodewords[level] - 4, 255 + (v >= 10 ? 2000 : 0));
      std::string data;
      for (int32_t i = 0; i < bytes; ++i) data += static_cast<char>('a' + rng() % 26);
      const int32_t mask = (v + level) % 8;
      const test::ModuleMatrix zm =
          qrtest::ZintQr({"--vers=" + std::to_string(v), "--secure=" + std::to_string(level + 1),
                          "--mask=" + std::to_string(mask)},
                         data);
      ASSERT_EQ(zm.width, 4 * v + 17);
      bool ok = false;
      EXPECT_EQ(ReadEncoderMatrix(zm, v, level, mask, 0, 0, &ok), data);
      // Two wrong modules damage at most two codewords: within every block's reach.
      EXPECT_EQ(ReadEncoderMatrix(zm, v, level, mask, 2, static_cast<uint32_t>(v * 4 + level), &ok), data);
    }
}

TEST(QrCodewords, AnUncorrectableBlockFailsTheReading) {
  const test::ModuleMatrix zm = qrtest::ZintQr({"--vers=1", "--secure=1", "--mask=3"}, "12345678901234567");
  bool ok = true;
  ReadEncoderMatrix(zm, 1, 0, 3, 60, 11, &ok);
  EXPECT_FALSE(ok);
}

}  // namespace
}  // namespace vantrel::qr

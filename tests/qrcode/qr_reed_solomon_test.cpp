// Reed-Solomon check and correction against blocks made by an encoder of the
// test's own (GF(256) by shifts and 0x11D, generator roots alpha^0 ...).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "qrcode/src/qr_reed_solomon.h"

namespace vantrel::qr {
namespace {

uint8_t Mul(uint8_t a, uint8_t b) {
  uint32_t r = 0, x = a;
  for (int i = 0; i < 8; ++i, x <<= 1) {
    if (x & 0x100) x ^= 0x11D;
    if (b & (1 << i)) r ^= x;
  }
  return static_cast<uint8_t>(r);
}

// Systematic codeword: k data bytes followed by c - k check bytes.
std::vector<uint8_t> Encode(const std::vector<uint8_t>& data, int32_t c) {
  const int32_t k = static_cast<int32_t>(data.size()), e = c - k;
  std::vector<uint8_t> g{1};  // g[0] the highest power
  uint8_t root = 1;
  for (int32_t i = 0; i < e; ++i) {
    std::vector<uint8_t> next(g.size() + 1, 0);
    for (size_t j = 0; j < g.size(); ++j) {
      next[j] ^= g[j];
      next[j + 1] ^= Mul(g[j], root);
    }
    g = next;
    root = Mul(root, 2);
  }
  std::vector<uint8_t> r(data);
  r.resize(static_cast<size_t>(c), 0);
  std::vector<uint8_t> work(r);
  for (int32_t i = 0; i < k; ++i) {
    const uint8_t f = work[i];
    if (f)
      for (int32_t j = 0; j <= e; ++j) work[i + j] ^= Mul(g[j], f);
  }
  for (int32_t j = 0; j < e; ++j) r[k + j] = work[k + j];
  return r;
}

std::vector<uint8_t> RandomData(std::mt19937& rng, int32_t k) {
  std::vector<uint8_t> d(static_cast<size_t>(k));
  for (auto& b : d) b = static_cast<uint8_t>(rng());
  return d;
}

// errors at distinct positions within [first, last), each a nonzero change.
void Damage(std::vector<uint8_t>* block, std::mt19937& rng, int32_t errors, int32_t first, int32_t last) {
  std::vector<int32_t> pos;
  for (int32_t i = first; i < last; ++i) pos.push_back(i);
  std::shuffle(pos.begin(), pos.end(), rng);
  for (int32_t i = 0; i < errors; ++i) (*block)[pos[i]] ^= static_cast<uint8_t>(1 + rng() % 255);
}

struct BlockShape {
  int32_t c, k, t;
};
// Block shapes of the version table: 1-L, 1-H, 5-Q, 10-M, 40-L (group 2), 40-H.
const BlockShape kShapes[] = {{26, 19, 2}, {26, 9, 8}, {33, 15, 9}, {69, 43, 13}, {149, 119, 15}, {46, 16, 15}};

TEST(QrGaloisField, TablesOfTheStandardsField) {
  EXPECT_EQ(GfPow(0), 1);
  EXPECT_EQ(GfPow(8), 0x1D);
  EXPECT_EQ(GfPow(255), 1);
  for (int a = 1; a < 256; a += 7)
    for (int b = 1; b < 256; b += 5) {
      EXPECT_EQ(GfMul(static_cast<uint8_t>(a), static_cast<uint8_t>(b)), Mul(static_cast<uint8_t>(a), static_cast<uint8_t>(b)));
      EXPECT_EQ(GfDiv(GfMul(static_cast<uint8_t>(a), static_cast<uint8_t>(b)), static_cast<uint8_t>(b)), a);
    }
  EXPECT_EQ(GfMul(0, 77), 0);
}

TEST(QrReedSolomon, CleanBlocksPassUnchanged) {
  std::mt19937 rng(7);
  QrRsWork work;
  for (const BlockShape& s : kShapes) {
    std::vector<uint8_t> block = Encode(RandomData(rng, s.k), s.c);
    const std::vector<uint8_t> original = block;
    EXPECT_TRUE(RsCheck(block.data(), s.c, s.k, &work));
    EXPECT_TRUE(RsCorrect(block.data(), s.c, s.k, s.t, &work));
    EXPECT_EQ(block, original);
    block[s.c / 2] ^= 0x40;
    EXPECT_FALSE(RsCheck(block.data(), s.c, s.k, &work));
  }
}

// The solver makes no row exchanges and only rotates the rows, so a few
// blocks with many (but at most t) errors are refused; a block it accepts is
// always the original.
TEST(QrReedSolomon, UpToTErrorsAreCorrected) {
  std::mt19937 rng(20240601);
  QrRsWork work;
  int32_t trials = 0, refused = 0;
  for (const BlockShape& s : kShapes)
    for (int32_t errors = 1; errors <= s.t; ++errors)
      for (int32_t trial = 0; trial < 6; ++trial) {
        SCOPED_TRACE(::testing::Message() << "c " << s.c << " k " << s.k << " errors " << errors);
        const std::vector<uint8_t> original = Encode(RandomData(rng, s.k), s.c);
        std::vector<uint8_t> block = original;
        Damage(&block, rng, errors, 0, s.c);
        const std::vector<uint8_t> damaged = block;
        ++trials;
        if (RsCorrect(block.data(), s.c, s.k, s.t, &work)) {
          ASSERT_EQ(block, original);
        } else {
          ASSERT_EQ(block, damaged);
          ASSERT_GT(errors, s.t / 2);
          ++refused;
        }
      }
  EXPECT_LE(refused * 20, trials);  // at most 5 %
}

TEST(QrReedSolomon, ErrorsInTheCheckBytesAlone) {
  std::mt19937 rng(99);
  QrRsWork work;
  for (const BlockShape& s : kShapes) {
    const std::vector<uint8_t> original = Encode(RandomData(rng, s.k), s.c);
    std::vector<uint8_t> block = original;
    Damage(&block, rng, std::min(s.t, s.c - s.k), s.k, s.c);
    ASSERT_TRUE(RsCorrect(block.data(), s.c, s.k, s.t, &work));
    EXPECT_EQ(block, original);
  }
}

TEST(QrReedSolomon, OneErrorTooManyIsRefused) {
  // t + 1 errors fail with the block unchanged, or now and then turn into
  // another valid codeword; never into the original.
  std::mt19937 rng(31337);
  QrRsWork work;
  for (const BlockShape& s : kShapes) {
    int32_t refused = 0;
    const int32_t trials = 20;
    for (int32_t trial = 0; trial < trials; ++trial) {
      const std::vector<uint8_t> original = Encode(RandomData(rng, s.k), s.c);
      std::vector<uint8_t> block = original;
      Damage(&block, rng, s.t + 1, 0, s.c);
      const std::vector<uint8_t> damaged = block;
      if (!RsCorrect(block.data(), s.c, s.k, s.t, &work)) {
        EXPECT_EQ(block, damaged);
        ++refused;
      } else {
        EXPECT_NE(block, original);
        EXPECT_TRUE(RsCheck(block.data(), s.c, s.k, &work));
      }
    }
    EXPECT_GE(refused, trials - 2) << "c " << s.c;
  }
}

TEST(QrReedSolomon, SmallestSymbolCorrectsTwoDespiteSevenCheckBytes) {
  std::mt19937 rng(5);
  QrRsWork work;
  for (int32_t trial = 0; trial < 10; ++trial) {
    const std::vector<uint8_t> original = Encode(RandomData(rng, 19), 26);
    std::vector<uint8_t> two = original, three = original;
    Damage(&two, rng, 2, 0, 26);
    Damage(&three, rng, 3, 0, 26);
    EXPECT_TRUE(RsCorrect(two.data(), 26, 19, 2, &work));
    EXPECT_EQ(two, original);
    std::vector<uint8_t> copy = three;
    if (RsCorrect(three.data(), 26, 19, 2, &work)) EXPECT_NE(three, original);
    else EXPECT_EQ(three, copy);
  }
}

TEST(QrSolve, AZeroPivotNeedsAnotherRowOrder) {
  // x0 + x1 + x2, 2 x0 + x2 and x1 + 3 x2 over GF(256). With the equation
  // whose first coefficient is 0 last, the first elimination pass loses the
  // other two; the rotation that puts it in the middle is solved.
  const uint8_t x[3] = {0x11, 0x5A, 0xC3};
  const uint8_t rows[3][3] = {{1, 1, 1}, {2, 0, 1}, {0, 1, 3}};
  auto fill = [&](QrRsWork* w, const int order[3]) {
    for (int r = 0; r < 3; ++r) {
      const uint8_t* a = rows[order[r]];
      for (int c = 0; c < 3; ++c) w->system[r][c] = a[c];
      w->system[r][3] = Mul(a[0], x[0]) ^ Mul(a[1], x[1]) ^ Mul(a[2], x[2]);
    }
  };
  QrRsWork w;
  const int zeroLast[3] = {0, 1, 2};
  fill(&w, zeroLast);
  EXPECT_FALSE(RsSolve(&w, 3));
  const int rotated[3] = {1, 2, 0};
  fill(&w, rotated);
  ASSERT_TRUE(RsSolve(&w, 3));
  EXPECT_EQ(w.solution[0], x[0]);
  EXPECT_EQ(w.solution[1], x[1]);
  EXPECT_EQ(w.solution[2], x[2]);
}

}  // namespace
}  // namespace vantrel::qr

// Reed-Solomon check and correction against blocks made by an encoder of the
// test's own (GF(256) by shifts and 0x11D, generator roots alpha^0 ...).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
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

// Every block with at most t errors comes back as the original, whatever
// the arrangement of its errors.
TEST(QrReedSolomon, UpToTErrorsAreCorrected) {
  std::mt19937 rng(20240601);
  QrRsWork work;
  for (const BlockShape& s : kShapes)
    for (int32_t errors = 1; errors <= s.t; ++errors)
      for (int32_t trial = 0; trial < 6; ++trial) {
        SCOPED_TRACE(::testing::Message() << "c " << s.c << " k " << s.k << " errors " << errors);
        const std::vector<uint8_t> original = Encode(RandomData(rng, s.k), s.c);
        std::vector<uint8_t> block = original;
        Damage(&block, rng, errors, 0, s.c);
        ASSERT_TRUE(RsCorrect(block.data(), s.c, s.k, s.t, &work));
        ASSERT_EQ(block, original);
      }
}

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

// Blocks with exactly t errors that a solver without row exchanges (rotating
// the rows of the locator system only) refused as uncorrectable.
TEST(QrReedSolomon, BlocksARotatingSolverRefusedAreCorrected) {
  const struct {
    int32_t c, k, t;
    const char* original;
    const char* damaged;
  } kBlocks[] = {
      {26, 9, 8,
       "b9bad9fe247441c7c9ecbe8e2040ab860bee602d3f498ff03e35",
       "b9bad9112434411ec9fcbe8e204072860bee652d7d948ff03e35"},
      {44, 16, 14,
       "9caccb8d74a8c2faf0e2088a78799ee5aad4885b9feea6fb436a2ac8b2c66b7d57150fdd1c67a891e893cc35",
       "9cace74d74a8c2faf03276117888cae58ffb88e69feea6fb436a87c8b2c66b7d5715addd1c65a8911d93cc35"},
      {33, 15, 9,
       "fc788c51fcfa11469bdc3c365be06cf28f7a97c27a492453e5d32e62fcab67a769",
       "62788c729cfa11439b513c365be06cf2c27a9bc27a4924d0e5f32e62fcab67a769"},
      {46, 16, 15,
       "34374197e06fe780325c47fb941db152b2b98414ef7d67ce5d593393d376f6f8a12fed5a34b266323649e479f4d7",
       "3437412ce06fe780328847fb944bb1cc9f208414ef7d67ce84878f6cd33df671a12fed5a61b266323649e45ef4bc"},
      {149, 119, 15,
       "862974db30a55c5965250ea391c522df46bfdf640ee766ba98c8af4aa979a175a711f5604ca561db13640327e8c468f1"
       "7ea5e97a07453d730338ae84425885ddef92de8f10ec1ac5242cd268991691f0be33147f59555467d7438909ec0c8f7f"
       "4ec8c351a9600f878da890866f488cb5dad972dc89f78dab194eb5371b8731a191293560390db20a9e20f0e3374adba8"
       "c6f35ed737",
       "862974db30a55c5965256fa3911c226446bfdfec0ee7666c85c8af4aa979a175a711f5604ca561db13640327e8c468f1"
       "7ea5e97a07453d730338ae844280855fef92de8f60ec1ac5242cd268991691f0be1b147f59555467d7438909840c8f7f"
       "4ec8c351a9600f878da890866f728cb5dad972b889f78dab194eb5f81b8731a191293560390d550a9e20f0e3374adba8"
       "c6f35ed737"},
  };
  QrRsWork work;
  for (const auto& b : kBlocks) {
    SCOPED_TRACE(::testing::Message() << "c " << b.c << " k " << b.k);
    const std::vector<uint8_t> original = FromHex(b.original);
    std::vector<uint8_t> block = FromHex(b.damaged);
    ASSERT_EQ(static_cast<int32_t>(block.size()), b.c);
    int32_t errors = 0;
    for (int32_t i = 0; i < b.c; ++i) errors += block[i] != original[i];
    EXPECT_EQ(errors, b.t);
    EXPECT_TRUE(RsCheck(original.data(), b.c, b.k, &work));
    ASSERT_TRUE(RsCorrect(block.data(), b.c, b.k, b.t, &work));
    EXPECT_EQ(block, original);
  }
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

}  // namespace
}  // namespace vantrel::qr

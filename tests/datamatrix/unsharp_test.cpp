#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "datamatrix/dmx_test_support.h"
#include "unsharp_reference.h"
#include "symbol_render.h"
#include "vantrel/OvoDmx.h"

namespace vantrel::test {
namespace {

// Each test sets the reader's filter and range itself.
class UnsharpTest : public DmxReaderTest {
 protected:
  void Configure(double radius, double amount, int32_t theta, DibRect area) {
    reader_->radius = radius;
    reader_->amount = amount;
    reader_->threshold = theta;
    reader_->areaLeft = area.left;
    reader_->areaTop = area.top;
    reader_->areaRight = area.right;
    reader_->areaBottom = area.bottom;
  }
};

DibPtr RandomPicture(int32_t w, int32_t h, int32_t bpp, uint32_t seed) {
  // Patches of one level (some black, some white, some grey), half of them
  // with noise. Flat patches matter most: there every sum lands within a
  // rounding error of a whole number, so any change in the order or kind of
  // the floating operations shows in the bytes.
  DibPtr pic(DibCreate(w, h, bpp, 4));
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> level(0, 255), noise(-25, 25), pick(0, 5), patch(2, 14);
  const int32_t cell = patch(rng);
  const int32_t gw = w / cell + 1, gh = h / cell + 1;
  std::vector<int> levels(static_cast<size_t>(gw) * gh * bpp), noisy(levels.size());
  for (size_t i = 0; i < levels.size(); ++i) {
    const int kind = pick(rng);
    levels[i] = kind == 0 ? 0 : kind == 1 ? 255 : level(rng);
    noisy[i] = kind >= 4;
  }
  uint8_t* bits = DibGetBits(pic.get());
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      for (int32_t c = 0; c < bpp; ++c) {
        const size_t g = (static_cast<size_t>(y / cell) * gw + x / cell) * bpp + c;
        const int v = levels[g] + (noisy[g] ? noise(rng) : 0);
        bits[static_cast<size_t>(y) * DibGetStride(pic.get()) + x * bpp + c] =
            static_cast<uint8_t>(std::clamp(v, 0, 255));
      }
  return pic;
}

bool SameBytes(DibImage a, DibImage b, std::string* where) {
  const int32_t h = DibGetHeight(a), rowBytes = DibGetWidth(a) * DibGetBitCount(a) / 8;
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* pa = DibGetBits(a) + static_cast<ptrdiff_t>(y) * DibGetStride(a);
    const uint8_t* pb = DibGetBits(b) + static_cast<ptrdiff_t>(y) * DibGetStride(b);
    for (int32_t i = 0; i < rowBytes; ++i) {
      if (pa[i] != pb[i]) {
        *where = "row " + std::to_string(y) + " byte " + std::to_string(i) + ": " +
                 std::to_string(pa[i]) + " vs " + std::to_string(pb[i]);
        return false;
      }
    }
  }
  return true;
}

TEST(UnsharpKernel, ValuesLengthsAndAgreementWithThePlainConstruction) {
  struct Case {
    double radius;
    size_t length;
    std::vector<double> firstToCentre;  // empty: only the length is checked
  };
  const Case cases[] = {
      {1.0, 9, {0.018471, 0.070133, 0.129673, 0.187681, 0.188084}},
      {0.1, 5, {0.074882, 0.282704, 0.284826}},
      {7.0, 33, {}},
      {120.0, 485, {}},
      {2.5, 2 * 7 + 1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("radius " + std::to_string(c.radius));
    const std::vector<double> k = dmx::UnsharpKernel(c.radius);
    ASSERT_EQ(k.size(), c.length);
    EXPECT_EQ(k, ReferenceKernel(c.radius));  // bit for bit
    double total = 0;
    for (size_t i = 0; i < k.size(); ++i) {
      total += k[i];
      EXPECT_EQ(k[i], k[k.size() - 1 - i]);
    }
    EXPECT_NEAR(total, 1.0, 1e-12);
    for (size_t i = 0; i < c.firstToCentre.size(); ++i) EXPECT_NEAR(k[i], c.firstToCentre[i], 1e-6);
  }
}

// The byte-for-byte comparisons run on both blur paths: 16 lanes (any x86-64)
// and, where the processor has AVX2, 32 lanes.
class UnsharpPathTest : public UnsharpTest, public ::testing::WithParamInterface<int32_t> {
 protected:
  void SetUp() override {
    UnsharpTest::SetUp();
    dmx::g_unsharpLanes = GetParam();
  }
  void TearDown() override {
    dmx::g_unsharpLanes = 0;
    UnsharpTest::TearDown();
  }
};
INSTANTIATE_TEST_SUITE_P(Lanes, UnsharpPathTest, ::testing::Values(16, 0),
                         [](const ::testing::TestParamInfo<int32_t>& i) {
                           return i.param == 16 ? std::string("Narrow") : std::string("Widest");
                         });

TEST_P(UnsharpPathTest, FastFilterMatchesThePlainOneByteForByte) {
  struct Case {
    int32_t w, h, bpp;
    double radius, amount;
    int32_t theta;
    DibRect area;
    bool inPlace;
  };
  // Sizes below, around and above the kernel lengths (5, 9, 33, 485), every
  // depth, areas inside, at and beyond the picture's edges, odd lane counts.
  const Case cases[] = {
      {64, 48, 1, 0.1, 2.0, 0, {0, 0, 63, 47}, false},
      {64, 48, 3, 1.0, 3.5, 10, {5, 7, 40, 30}, false},
      {37, 29, 4, 7.0, 2.0, 0, {0, 0, 500, 500}, true},
      {100, 90, 3, 7.0, 10.0, 3, {2, 3, 98, 88}, false},
      {33, 40, 1, 7.0, 1.0, 0, {0, 0, 32, 39}, true},      // line length = kernel length
      {34, 32, 1, 7.0, 1.0, 0, {0, 0, 33, 31}, false},     // one longer than the kernel
      {32, 70, 3, 7.0, 1.0, 0, {0, 0, 31, 69}, false},     // one shorter: short-line rule on rows
      {200, 60, 2, 120.0, 2.0, 20, {0, 0, 199, 59}, false},
      {490, 12, 1, 120.0, 4.0, 0, {0, 0, 489, 11}, false},  // rows just longer than 485
      {131, 77, 3, 3.3, 0.0, 0, {10, 10, 120, 70}, true},
      {131, 77, 3, 3.3, 6.0, 255, {10, 10, 120, 70}, false},
      {19, 23, 3, 0.4, 7.5, 1, {18, 0, 40, 22}, false},     // one column wide after clipping
      {50, 50, 1, 2.0, 9.9, 2, {0, 48, 49, 200}, true},     // two rows
  };
  uint32_t seed = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + "x" + std::to_string(c.bpp) +
                 " radius " + std::to_string(c.radius) + (c.inPlace ? " in place" : ""));
    Configure(c.radius, c.amount, c.theta, c.area);
    DibPtr src = RandomPicture(c.w, c.h, c.bpp, seed++);
    DibPtr expected(DibDuplicate(src.get()));
    DibPtr actual(DibDuplicate(src.get()));
    if (c.inPlace) {
      ASSERT_EQ(ReferenceUnsharp(expected.get(), expected.get(), c.radius, c.amount, c.theta, c.area), 0);
      ASSERT_EQ(OvoDmxUnsharp(reader_, actual.get(), actual.get()), 0);
    } else {
      std::memset(DibGetBits(expected.get()), 0, static_cast<size_t>(DibGetStride(expected.get())) * c.h);
      std::memset(DibGetBits(actual.get()), 0, static_cast<size_t>(DibGetStride(actual.get())) * c.h);
      ASSERT_EQ(ReferenceUnsharp(src.get(), expected.get(), c.radius, c.amount, c.theta, c.area), 0);
      ASSERT_EQ(OvoDmxUnsharp(reader_, src.get(), actual.get()), 0);
    }
    std::string where;
    EXPECT_TRUE(SameBytes(expected.get(), actual.get(), &where)) << where;
  }
}

TEST_P(UnsharpPathTest, RandomPicturesAndParametersAgreeWithThePlainFilter) {
  std::mt19937 rng(20240501);
  std::uniform_int_distribution<int> size(1, 90), depth(1, 4), coin(0, 1), theta(0, 255);
  std::uniform_real_distribution<double> radius(0.1, 12.0), amount(0.0, 10.0);
  for (int round = 0; round < 30; ++round) {
    const int32_t w = size(rng) + 1, h = size(rng) + 1, bpp = depth(rng);
    const DibRect area{std::uniform_int_distribution<int>(0, w - 1)(rng) / 2,
                       std::uniform_int_distribution<int>(0, h - 1)(rng) / 2,
                       std::uniform_int_distribution<int>(w / 2 + 1, w + 20)(rng),
                       std::uniform_int_distribution<int>(h / 2 + 1, h + 20)(rng)};
    const double r = round % 7 == 0 ? 120.0 : radius(rng);
    const double a = amount(rng);
    const int32_t t = coin(rng) ? 0 : theta(rng);
    SCOPED_TRACE("round " + std::to_string(round));
    Configure(r, a, t, area);
    DibPtr src = RandomPicture(w, h, bpp, 1000 + round);
    DibPtr expected(DibCreate(w, h, bpp, 4)), actual(DibCreate(w, h, bpp, 4));
    ASSERT_EQ(ReferenceUnsharp(src.get(), expected.get(), r, a, t, area), 0);
    ASSERT_EQ(OvoDmxUnsharp(reader_, src.get(), actual.get()), 0);
    std::string where;
    EXPECT_TRUE(SameBytes(expected.get(), actual.get(), &where)) << where;
  }
}

TEST_P(UnsharpPathTest, AFullFrameAtTheLargestRadiusAgrees) {
  // Rows longer than the kernel, columns shorter: both line rules at full size.
  Configure(120.0, 2.0, 4, DibRect{0, 0, 639, 479});
  DibPtr src = RandomPicture(640, 480, 1, 77);
  DibPtr expected(DibCreate(640, 480, 1, 4)), actual(DibCreate(640, 480, 1, 4));
  ASSERT_EQ(ReferenceUnsharp(src.get(), expected.get(), 120.0, 2.0, 4, DibRect{0, 0, 639, 479}), 0);
  ASSERT_EQ(OvoDmxUnsharp(reader_, src.get(), actual.get()), 0);
  std::string where;
  EXPECT_TRUE(SameBytes(expected.get(), actual.get(), &where)) << where;
}

TEST_P(UnsharpPathTest, AZeroWeightSumIsTakenAsItStands) {
  // Found by fuzzing: a 42 x 1 picture at radius 117.25. The kernel's first
  // entry is 0, and the one-pixel columns weigh their pixel by it alone; the
  // plain filter divided 0 by 0 there. Both filters take the sum of zero
  // weights as it is, so every blurred byte is 0 and each pixel moves by
  // amount times itself unless it is within half the threshold of 0.
  const double radius = 0.05 + 247 * (121.0 / 255.0);
  const double amount = 240 * (11.0 / 255.0) - 0.5;
  const int32_t theta = 27;
  const DibRect area{0, 0, 55, 1};
  ASSERT_EQ(dmx::UnsharpKernel(radius)[0], 0.0);
  ASSERT_EQ(ReferenceKernel(radius)[0], 0.0);
  const uint8_t levels[] = {212, 139, 251, 1, 13, 14};
  DibPtr src(DibCreate(42, 1, 1, 4));
  for (int32_t x = 0; x < 42; ++x) DibGetBits(src.get())[x] = levels[x % 6];
  Configure(radius, amount, theta, area);
  DibPtr expected(DibCreate(42, 1, 1, 4)), actual(DibCreate(42, 1, 1, 4));
  ASSERT_EQ(ReferenceUnsharp(src.get(), expected.get(), radius, amount, theta, area), 0);
  ASSERT_EQ(OvoDmxUnsharp(reader_, src.get(), actual.get()), 0);
  std::string where;
  EXPECT_TRUE(SameBytes(expected.get(), actual.get(), &where)) << where;
  for (int32_t x = 0; x < 42; ++x) {
    const int s = levels[x % 6];
    const int moved = 2 * s < theta ? s : std::min(255, static_cast<int>(s + amount * s));
    EXPECT_EQ(DibGetBits(actual.get())[x], moved) << "x " << x;
  }
}

TEST_F(UnsharpTest, AmountZeroAndFullThresholdLeaveTheSourceValues) {
  // Levels between 90 and 170: no byte differs from its blur by 128 or more.
  DibPtr src = RandomPicture(80, 60, 3, 5);
  for (size_t i = 0; i < static_cast<size_t>(DibGetStride(src.get())) * 60; ++i)
    DibGetBits(src.get())[i] = static_cast<uint8_t>(90 + DibGetBits(src.get())[i] * 80 / 255);
  struct Case {
    double amount;
    int32_t theta;
  };
  for (const Case& c : {Case{0.0, 0}, Case{10.0, 255}}) {
    SCOPED_TRACE("amount " + std::to_string(c.amount));
    Configure(7.0, c.amount, c.theta, DibRect{0, 0, 79, 59});
    DibPtr dst(DibCreate(80, 60, 3, 4));
    ASSERT_EQ(OvoDmxUnsharp(reader_, src.get(), dst.get()), 0);
    std::string where;
    EXPECT_TRUE(SameBytes(src.get(), dst.get(), &where)) << where;
  }
}

TEST_F(UnsharpTest, FullThresholdStillSharpensDifferencesOf128AndMore) {
  // A white dot on black: the dot differs from its blur by far more than 127.
  DibPtr src(DibCreate(40, 40, 1, 4));
  DibGetBits(src.get())[20 * DibGetStride(src.get()) + 20] = 200;
  DibGetBits(src.get())[20 * DibGetStride(src.get()) + 21] = 1;  // tiny difference: kept as it is
  Configure(0.1, 1.0, 255, DibRect{0, 0, 39, 39});
  DibPtr dst(DibCreate(40, 40, 1, 4));
  ASSERT_EQ(OvoDmxUnsharp(reader_, src.get(), dst.get()), 0);
  const uint8_t* d = DibGetBits(dst.get()) + 20 * DibGetStride(dst.get());
  EXPECT_EQ(d[20], 255);
  EXPECT_EQ(d[21], 1);
}

TEST_F(UnsharpTest, PixelsOutsideTheAreaKeepTheirValuesInPlaceAndStayBlackInAFreshPicture) {
  DibPtr src = RandomPicture(60, 50, 3, 9);
  DibPtr original(DibDuplicate(src.get()));
  const DibRect area{10, 12, 40, 35};
  Configure(2.0, 3.0, 0, area);
  DibPtr fresh(DibCreate(60, 50, 3, 4));
  ASSERT_EQ(OvoDmxUnsharp(reader_, src.get(), fresh.get()), 0);
  ASSERT_EQ(OvoDmxUnsharp(reader_, src.get(), src.get()), 0);
  int changedInside = 0;
  for (int32_t y = 0; y < 50; ++y) {
    for (int32_t x = 0; x < 60; ++x) {
      const bool inside = x >= area.left && x <= area.right && y >= area.top && y <= area.bottom;
      for (int c = 0; c < 3; ++c) {
        const size_t at = static_cast<size_t>(y) * DibGetStride(src.get()) + x * 3 + c;
        const uint8_t before = DibGetBits(original.get())[at];
        const uint8_t inPlace = DibGetBits(src.get())[at];
        const uint8_t out = DibGetBits(fresh.get())[at];
        if (inside) {
          EXPECT_EQ(inPlace, out) << x << "," << y;
          changedInside += inPlace != before;
        } else {
          EXPECT_EQ(inPlace, before) << x << "," << y;
          EXPECT_EQ(out, 0) << x << "," << y;
        }
      }
    }
  }
  EXPECT_GT(changedInside, 100);
}

TEST_F(UnsharpTest, ColourChannelsAreFilteredOnTheirOwn) {
  // Red on the left half, green on the right, blue nowhere: blue stays 0,
  // each colour is clamped at 0 on its dark side and overshoots next to its
  // edge. Then, on a random picture, every channel of the colour result must
  // equal the grey result of that channel alone.
  DibPtr src(DibCreate(40, 20, 3, 4));
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 40; ++x)
      DibGetBits(src.get())[y * DibGetStride(src.get()) + x * 3 + (x < 20 ? 2 : 1)] = x < 20 ? 150 : 100;
  Configure(1.0, 2.0, 0, DibRect{0, 0, 39, 19});
  DibPtr dst(DibCreate(40, 20, 3, 4));
  ASSERT_EQ(OvoDmxUnsharp(reader_, src.get(), dst.get()), 0);
  for (int32_t y = 0; y < 20; ++y) {
    SCOPED_TRACE("row " + std::to_string(y));
    const uint8_t* row = DibGetBits(dst.get()) + y * DibGetStride(dst.get());
    for (int32_t x = 0; x < 40; ++x) {
      EXPECT_EQ(row[x * 3 + 0], 0) << x;
      EXPECT_EQ(row[x * 3 + (x < 20 ? 1 : 2)], 0) << x;
    }
    EXPECT_GT(row[19 * 3 + 2], row[5 * 3 + 2] + 20);
    EXPECT_GT(row[20 * 3 + 1], row[34 * 3 + 1] + 20);
  }

  DibPtr colour = RandomPicture(53, 31, 3, 17);
  Configure(2.5, 3.0, 6, DibRect{3, 2, 50, 29});
  DibPtr colourOut(DibCreate(53, 31, 3, 4));
  ASSERT_EQ(OvoDmxUnsharp(reader_, colour.get(), colourOut.get()), 0);
  for (int c = 0; c < 3; ++c) {
    DibPtr grey(DibCreate(53, 31, 1, 4)), greyOut(DibCreate(53, 31, 1, 4));
    for (int32_t y = 0; y < 31; ++y)
      for (int32_t x = 0; x < 53; ++x)
        DibGetBits(grey.get())[y * DibGetStride(grey.get()) + x] =
            DibGetBits(colour.get())[y * DibGetStride(colour.get()) + x * 3 + c];
    ASSERT_EQ(OvoDmxUnsharp(reader_, grey.get(), greyOut.get()), 0);
    for (int32_t y = 0; y < 31; ++y)
      for (int32_t x = 0; x < 53; ++x)
        ASSERT_EQ(DibGetBits(greyOut.get())[y * DibGetStride(greyOut.get()) + x],
                  DibGetBits(colourOut.get())[y * DibGetStride(colourOut.get()) + x * 3 + c])
            << "channel " << c << " at " << x << "," << y;
  }
}

TEST_F(UnsharpTest, ShortRowsUseTheKernelEntriesAtTheSampleIndex) {
  // A 20-pixel row is shorter than the 33 taps of radius 7. Each output is
  // the k[j]-weighted mean of the samples j within reach, so a ramp's blur
  // can be worked out by hand from the kernel.
  DibPtr src(DibCreate(20, 2, 1, 4));
  for (int32_t x = 0; x < 20; ++x)
    for (int32_t y = 0; y < 2; ++y) DibGetBits(src.get())[y * DibGetStride(src.get()) + x] = static_cast<uint8_t>(x * 10);
  const std::vector<double> k = dmx::UnsharpKernel(7.0);
  const int h = 16;
  std::vector<int> blurred(20);
  for (int p = 0; p < 20; ++p) {
    double scale = 0, sum = 0;
    for (int j = 0; j < 20; ++j) {
      if (j + h - p >= 0 && j + h - p < 33) {
        scale += k[j];
        sum += (j * 10.0) * k[j];
      }
    }
    blurred[p] = static_cast<int>(std::floor(sum / scale));
  }
  // The columns, two rows long, are shorter than the kernel too: both rows
  // take k[0] and k[1]. Amount 1: v = s + (s - f).
  Configure(7.0, 1.0, 0, DibRect{0, 0, 19, 1});
  DibPtr dst(DibCreate(20, 2, 1, 4));
  ASSERT_EQ(OvoDmxUnsharp(reader_, src.get(), dst.get()), 0);
  int differsFromOffsetWeights = 0;
  for (int p = 0; p < 20; ++p) {
    const double b = blurred[p];
    const int f = static_cast<int>(std::floor((b * k[0] + b * k[1]) / (k[0] + k[1])));
    const int s = p * 10;
    EXPECT_EQ(DibGetBits(dst.get())[p], std::clamp(s + (s - f), 0, 255)) << "x " << p;
    // Weighting each sample by its distance from p would give another blur.
    double scale = 0, sum = 0;
    for (int j = 0; j < 20; ++j) {
      if (std::abs(j - p) <= h) {
        scale += k[j - p + h];
        sum += (j * 10.0) * k[j - p + h];
      }
    }
    differsFromOffsetWeights += static_cast<int>(std::floor(sum / scale)) != blurred[p];
  }
  EXPECT_GT(differsFromOffsetWeights, 5);
}

TEST_F(UnsharpTest, RefusalsComeInOrderAndWriteNothing) {
  DibPtr src = RandomPicture(30, 30, 1, 3);
  DibPtr small(DibCreate(29, 30, 1, 4));
  DibPtr grey(DibCreate(30, 30, 3, 4));
  struct Case {
    const char* what;
    double radius, amount;
    int32_t theta;
    DibRect area;
    bool nullSource, nullDestination;
    DibImage destination;  // null: a fresh picture of the source's kind
    int32_t status;
  };
  const DibRect ok{0, 0, 29, 29};
  const Case cases[] = {
      {"radius 0.05", 0.05, 2, 0, ok, false, false, nullptr, -1},
      {"radius 121", 121, 2, 0, ok, false, false, nullptr, -1},
      {"amount 11", 7, 11, 0, ok, false, false, nullptr, -2},
      {"amount -0.5", 7, -0.5, 0, ok, false, false, nullptr, -2},
      {"threshold 256", 7, 2, 256, ok, false, false, nullptr, -3},
      {"threshold -1", 7, 2, -1, ok, false, false, nullptr, -3},
      {"radius before amount", 0.05, 11, 256, ok, true, false, nullptr, -1},
      {"null source", 7, 2, 0, ok, true, false, nullptr, -4},
      {"null destination", 7, 2, 0, ok, false, true, nullptr, -4},
      {"left = right", 7, 2, 0, {5, 0, 5, 29}, false, false, nullptr, -5},
      {"top > bottom", 7, 2, 0, {0, 9, 29, 3}, false, false, nullptr, -5},
      {"negative", 7, 2, 0, {-1, 0, 29, 29}, false, false, nullptr, -5},
      {"beyond the picture", 7, 2, 0, {30, 0, 60, 29}, false, false, nullptr, -5},
      {"narrower destination", 7, 2, 0, ok, false, false, small.get(), -7},
      {"other depth", 7, 2, 0, ok, false, false, grey.get(), -7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Configure(c.radius, c.amount, c.theta, c.area);
    DibPtr fresh(DibCreate(30, 30, 1, 4));
    std::memset(DibGetBits(fresh.get()), 0x5A, static_cast<size_t>(DibGetStride(fresh.get())) * 30);
    DibImage dst = c.destination ? c.destination : fresh.get();
    DibPtr before(DibDuplicate(dst));
    EXPECT_EQ(OvoDmxUnsharp(reader_, c.nullSource ? nullptr : src.get(), c.nullDestination ? nullptr : dst),
              c.status);
    std::string where;
    EXPECT_TRUE(SameBytes(before.get(), dst, &where)) << where;
  }
  EXPECT_EQ(OvoDmxUnsharp(nullptr, src.get(), src.get()), -8);
}

TEST_F(UnsharpTest, NoMemoryForTheWorkGives6AndWritesNothing) {
  // Every work request in turn is refused, for in-place work and for a fresh
  // destination; each refusal must leave the pictures as they were.
  DibPtr src = RandomPicture(700, 40, 3, 21);  // large enough for the merge table
  Configure(3.0, 2.0, 0, DibRect{0, 0, 699, 39});
  for (bool inPlace : {false, true}) {
    int32_t failing = 0;
    for (;; ++failing) {
      SCOPED_TRACE((inPlace ? "in place, request " : "fresh, request ") + std::to_string(failing));
      DibPtr work(DibDuplicate(src.get()));
      DibPtr fresh(DibCreate(700, 40, 3, 4));
      DibPtr workBefore(DibDuplicate(work.get())), freshBefore(DibDuplicate(fresh.get()));
      dmx::g_failWorkAllocation = failing;
      const int32_t status =
          OvoDmxUnsharp(reader_, work.get(), inPlace ? work.get() : fresh.get());
      const bool allGranted = dmx::g_failWorkAllocation.load() >= 0;
      dmx::g_failWorkAllocation = -1;
      std::string where;
      if (allGranted) {
        EXPECT_EQ(status, 0);
        break;
      }
      EXPECT_EQ(status, -6);
      EXPECT_TRUE(SameBytes(workBefore.get(), work.get(), &where)) << where;
      EXPECT_TRUE(SameBytes(freshBefore.get(), fresh.get(), &where)) << where;
    }
    EXPECT_GE(failing, 5);  // kernel, plans, sample and result buffers, row results
  }
}

}  // namespace
}  // namespace vantrel::test

// Binarization and block statistics: the vector loops against the plain ones
// and against statistics worked out here, on areas of awkward sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "qrcode/src/qr_binarize.h"

namespace vantrel::qr {
namespace {

struct Picture {
  int32_t w, h, bpp, stride;
  std::vector<uint8_t> bits;
};

Picture RandomPicture(int32_t w, int32_t h, int32_t bpp, uint32_t seed) {
  Picture p{w, h, bpp, w * bpp + 5, {}};
  p.bits.resize(static_cast<size_t>(p.stride) * h);
  std::mt19937 rng(seed);
  // Smooth areas and edges, so that blocks of every kind occur.
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < p.stride; ++x)
      p.bits[static_cast<size_t>(y) * p.stride + x] =
          static_cast<uint8_t>(((x / 7 + y / 5) % 3 == 0 ? 40 : 200) + rng() % 30);
  return p;
}

QrSourceArea Area(const Picture& p, int32_t left, int32_t top, int32_t w, int32_t h, int32_t channel) {
  QrSourceArea s;
  s.bits = p.bits.data();
  s.stride = p.stride;
  s.bytesPerPixel = p.bpp;
  s.byteOffset = p.bpp == 3 ? 2 - channel : 0;
  s.left = left;
  s.top = top;
  s.width = w;
  s.height = h;
  return s;
}

class PlainLoops {
 public:
  explicit PlainLoops(bool plain) { ForcePlainBinarizeLoops(plain); }
  ~PlainLoops() { ForcePlainBinarizeLoops(false); }
};

TEST(QrBinarize, VectorAndPlainLoopsAgree) {
  for (int32_t bpp : {1, 3})
    for (int32_t w : {31, 47, 64, 101})
      for (int32_t dark : {1, 0}) {
        SCOPED_TRACE(::testing::Message() << bpp << " bytes, width " << w << ", dark " << dark);
        const Picture p = RandomPicture(w + 9, 45, bpp, static_cast<uint32_t>(w * 7 + bpp));
        const QrSourceArea s = Area(p, 3, 2, w, 37, 1);
        std::vector<uint8_t> fast, plain, fastLocal, plainLocal;
        QrBlockStats fs, ps;
        ASSERT_TRUE(Binarize(s, 120, dark, &fast, &fs));
        ASSERT_TRUE(BinarizeLocal(s, fs, dark, &fastLocal));
        {
          PlainLoops force(true);
          ASSERT_TRUE(Binarize(s, 120, dark, &plain, &ps));
          ASSERT_TRUE(BinarizeLocal(s, ps, dark, &plainLocal));
        }
        EXPECT_EQ(fast, plain);
        EXPECT_EQ(fastLocal, plainLocal);
        EXPECT_EQ(fs.min, ps.min);
        EXPECT_EQ(fs.max, ps.max);
        EXPECT_EQ(fs.sum, ps.sum);
        EXPECT_EQ(fs.set, ps.set);
        EXPECT_EQ(fs.setPixels, ps.setPixels);
        // Without statistics the binary image is the same.
        std::vector<uint8_t> bare;
        ASSERT_TRUE(Binarize(s, 120, dark, &bare));
        EXPECT_EQ(bare, fast);
      }
}

TEST(QrBinarize, ThresholdChannelAndStatistics) {
  const Picture p = RandomPicture(53, 29, 3, 11);
  const QrSourceArea s = Area(p, 2, 1, 50, 27, 0);  // red: byte 2 of each pixel
  std::vector<uint8_t> out;
  QrBlockStats st;
  ASSERT_TRUE(Binarize(s, 100, 1, &out, &st));
  ASSERT_EQ(st.blocksAcross, 7);
  ASSERT_EQ(st.blocksDown, 4);
  int64_t set = 0, sampled = 0;
  for (int32_t by = 0; by < 4; ++by)
    for (int32_t bx = 0; bx < 7; ++bx) {
      int32_t mn = 255, mx = 0, sum = 0, count = 0, n = 0;
      for (int32_t y = by * 8; y < std::min(27, by * 8 + 8); y += 2)  // the even rows
        for (int32_t x = bx * 8; x < std::min(50, bx * 8 + 8); ++x) {
          const uint8_t* px = p.bits.data() + static_cast<size_t>(1 + y) * p.stride + (2 + x) * 3;
          const int32_t grey = (((px[0] + px[2] + 1) >> 1) + px[1] + 1) >> 1;
          mn = std::min(mn, grey);
          mx = std::max(mx, grey);
          sum += grey;
          count += px[2] <= 100;
          ++n;
        }
      const size_t b = static_cast<size_t>(by * 7 + bx);
      EXPECT_EQ(st.min[b], mn) << b;
      EXPECT_EQ(st.max[b], mx) << b;
      EXPECT_EQ(st.sum[b], sum) << b;
      EXPECT_EQ(st.set[b], count) << b;
      EXPECT_EQ(st.Pixels(bx, by, 50, 27), n) << b;
      set += count;
      sampled += n;
    }
  EXPECT_EQ(st.setPixels, set);
  EXPECT_EQ(st.sampledPixels, sampled);
  for (int32_t y = 0; y < 27; ++y)
    for (int32_t x = 0; x < 50; ++x) {
      const uint8_t red = p.bits[static_cast<size_t>(1 + y) * p.stride + (2 + x) * 3 + 2];
      ASSERT_EQ(out[static_cast<size_t>(y) * 50 + x], red <= 100 ? 0xFF : 0) << x << "," << y;
    }
}

TEST(QrBinarize, TheBlockThresholdFollowsUnevenLight) {
  // Dark and light stripes four pixels wide under light that falls from 255
  // to 60 across the area: one threshold keeps only one side's stripes, the
  // block threshold both, in either polarity.
  const int32_t w = 240, h = 40;
  Picture p{w, h, 1, w, std::vector<uint8_t>(static_cast<size_t>(w) * h)};
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const double light = 255 - 195.0 * x / (w - 1);
      p.bits[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>((x / 4) % 2 ? light : light * 0.3);
    }
  const QrSourceArea s = Area(p, 0, 0, w, h, 0);
  std::vector<uint8_t> global, local;
  QrBlockStats st;
  ASSERT_TRUE(Binarize(s, 128, 1, &global, &st));
  EXPECT_GT(FlattenedBlocks(st, w, h, 40), 0);
  for (int32_t dark : {1, 0}) {
    SCOPED_TRACE(dark);
    ASSERT_TRUE(BinarizeLocal(s, st, dark, &local));
    int32_t wrong = 0;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const bool darkStripe = (x / 4) % 2 == 0;
        wrong += (local[static_cast<size_t>(y) * w + x] != 0) != (darkStripe == (dark != 0));
      }
    EXPECT_EQ(wrong, 0);
  }
  int32_t lostOnTheRight = 0;
  for (int32_t x = w - 16; x < w; ++x) lostOnTheRight += global[static_cast<size_t>(x)] != 0 && (x / 4) % 2;
  EXPECT_GT(lostOnTheRight, 0);  // the global threshold darkens the dim light stripes
}

}  // namespace
}  // namespace vantrel::qr

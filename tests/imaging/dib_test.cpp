#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "vantrel/dib.h"

namespace {

struct DibDeleter {
  void operator()(GmBlock* h) const { DibFree(h); }
};
using DibPtr = std::unique_ptr<GmBlock, DibDeleter>;

TEST(DibCreate, FrameLayout) {
  DibPtr img(DibCreate(640, 480, 3, 4));
  ASSERT_TRUE(img);
  EXPECT_EQ(DibGetStride(img.get()), 1920);
  EXPECT_EQ(DibGetHeight(img.get()), 480);
  const BitmapInfoHeader* h = DibGetInfo(img.get());
  EXPECT_EQ(h->biSizeImage, 1920u * 480u);
  EXPECT_EQ(h->biHeight, -480);
  EXPECT_EQ(h->biClrUsed, 0u);
  EXPECT_EQ(DibGetBits(img.get()), reinterpret_cast<uint8_t*>(DibGetInfo(img.get())) + 40);
}

TEST(DibCreate, GreyImageHasColourTable) {
  DibPtr img(DibCreate(10, 10, 1, 4));
  ASSERT_TRUE(img);
  EXPECT_EQ(DibGetStride(img.get()), 12);
  const BitmapInfoHeader* h = DibGetInfo(img.get());
  EXPECT_EQ(h->biClrUsed, 256u);
  EXPECT_EQ(DibGetBits(img.get()) - reinterpret_cast<const uint8_t*>(h), 1064);
  const RgbQuad* table = reinterpret_cast<const RgbQuad*>(h + 1);
  EXPECT_EQ(table[77].rgbBlue, 77);
  EXPECT_EQ(table[77].rgbRed, 77);
  EXPECT_EQ(table[77].rgbReserved, 0);
}

TEST(DibCreate, SizesAndDepths) {
  DibPtr neg(DibCreate(-5, 3, 3, 4));
  ASSERT_TRUE(neg);
  EXPECT_EQ(DibGetWidth(neg.get()), 5);
  EXPECT_EQ(DibGetHeight(neg.get()), 3);
  EXPECT_EQ(DibCreate(0, 3, 3, 4), nullptr);
  DibPtr zero(DibCreate(2, 2, 0, 4));
  EXPECT_EQ(DibGetBitCount(zero.get()), 8);
  DibPtr six(DibCreate(2, 2, 6, 4));
  EXPECT_EQ(DibGetBitCount(six.get()), 48);
}

TEST(DibCreate, RefusesSizesThatOverflow) {
  EXPECT_EQ(DibCreate(INT32_MAX, INT32_MAX, 4, 4), nullptr);
  EXPECT_EQ(DibCreate(65536, 65536, 3, 4), nullptr);  // 12 GiB: more than the header can say
  EXPECT_EQ(DibCreate(10, 10, 8192, 4), nullptr);      // 65536 bits do not fit biBitCount
  EXPECT_EQ(DibCreate(10, 10, -1, 4), nullptr);
  EXPECT_EQ(DibCreate(INT32_MIN, 1, 1, 4), nullptr);
}

TEST(DibCopyPixels, ColourToGreyTruncates) {
  DibPtr src(DibCreate(1, 1, 3, 4)), dst(DibCreate(1, 1, 1, 4));
  uint8_t* p = DibGetBits(src.get());
  p[0] = 10; p[1] = 20; p[2] = 30;
  EXPECT_EQ(DibCopyPixels(dst.get(), src.get()), 1);
  EXPECT_EQ(DibGetBits(dst.get())[0], 21);
}

TEST(DibCopyPixels, KeepsWhatIsNotCopied) {
  DibPtr src(DibCreate(2, 2, 3, 4)), dst(DibCreate(3, 3, 4, 4));
  std::memset(DibGetBits(src.get()), 0x11, 8 * 2);
  std::memset(DibGetBits(dst.get()), 0xEE, 12 * 3);
  DibCopyPixels(dst.get(), src.get());
  const uint8_t* d = DibGetBits(dst.get());
  EXPECT_EQ(d[0], 0x11);
  EXPECT_EQ(d[2], 0x11);
  EXPECT_EQ(d[3], 0xEE);   // fourth byte keeps its value
  EXPECT_EQ(d[8], 0xEE);   // third column untouched
  EXPECT_EQ(d[24], 0xEE);  // third row untouched
  EXPECT_EQ(DibCopyPixels(nullptr, src.get()), 1);
}

TEST(DibCrop, OutsidePartsStayBlackAndCornersAreOrdered) {
  DibPtr src(DibCreate(4, 4, 1, 4));
  uint8_t* s = DibGetBits(src.get());
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) s[y * 4 + x] = static_cast<uint8_t>(1 + y * 4 + x);
  for (DibRect r : {DibRect{-2, -2, 1, 1}, DibRect{1, 1, -2, -2}}) {
    DibPtr c(DibCrop(src.get(), &r));
    ASSERT_TRUE(c);
    ASSERT_EQ(DibGetWidth(c.get()), 4);
    ASSERT_EQ(DibGetHeight(c.get()), 4);
    const uint8_t* d = DibGetBits(c.get());
    EXPECT_EQ(d[0], 0);
    EXPECT_EQ(d[1 * 4 + 1], 0);
    EXPECT_EQ(d[2 * 4 + 2], s[0]);
    EXPECT_EQ(d[3 * 4 + 3], s[1 * 4 + 1]);
  }
}

TEST(DibWrapper, FreeLeavesPixelsAndDescribesThem) {
  std::vector<uint8_t> pixels(12 * 3, 0x5A);
  DibImage w = DibCreateOverBits(pixels.data(), 4, 3, 3, 4);
  ASSERT_TRUE(w);
  uint32_t tag;
  std::memcpy(&tag, GmLock(w), 4);
  GmUnlock(w);
  EXPECT_EQ(tag, 36u);
  EXPECT_EQ(DibGetBits(w), pixels.data());
  EXPECT_EQ(DibGetInfo(w)->biSize, 40u);
  EXPECT_EQ(DibGetStride(w), 12);
  DibPtr dup(DibDuplicate(w));
  EXPECT_EQ(DibGetBits(dup.get())[5], 0x5A);
  DibFree(w);
  EXPECT_EQ(pixels[35], 0x5A);
  EXPECT_EQ(DibCreateOverBits(pixels.data(), 4, 3, 3, -4), nullptr);
}

TEST(DibImage, CreationLocksOnceAndAccessorsBalance) {
  DibPtr img(DibCreate(3, 3, 3, 4));
  EXPECT_EQ(GmLockCount(img.get()), 1);
  (void)DibGetBits(img.get());
  (void)DibGetStride(img.get());
  EXPECT_EQ(GmLockCount(img.get()), 1);
}

TEST(DibImage, NullHandleIsHarmless) {
  EXPECT_EQ(DibGetWidth(nullptr), 0);
  EXPECT_EQ(DibGetBits(nullptr), nullptr);
  EXPECT_EQ(DibDuplicate(nullptr), nullptr);
  EXPECT_EQ(DibCrop(nullptr, nullptr), nullptr);
  DibFree(nullptr);
}

}  // namespace

namespace {

TEST(DibCreate, SmallAlignmentsStillHoldEveryRow) {
  // Rows are always read with the 4-byte stride, so the block must hold them.
  for (int32_t alignment : {0, 1, 2, 3, 4}) {
    DibPtr img(DibCreate(5, 3, 3, alignment));
    ASSERT_TRUE(img) << alignment;
    EXPECT_EQ(DibGetStride(img.get()), 16);
    EXPECT_GE(DibGetInfo(img.get())->biSizeImage, 16u * 3u) << alignment;
    std::memset(DibGetBits(img.get()), 0x7F, 16 * 3);  // under ASan: inside the block
  }
  DibPtr wide(DibCreate(5, 3, 3, 16));
  EXPECT_EQ(DibGetInfo(wide.get())->biSizeImage, 16u * 3u);
  DibPtr wider(DibCreate(5, 3, 3, 32));
  EXPECT_EQ(DibGetInfo(wider.get())->biSizeImage, 32u * 3u);
}

TEST(DibCopyPixels, EveryRule) {
  auto pixel = [](DibImage img, int32_t x) { return DibGetBits(img) + x * (DibGetBitCount(img) / 8); };
  // grey into colour: blue, green and red take the grey value; a fourth byte keeps its own.
  DibPtr grey(DibCreate(2, 1, 1, 4)), bgra(DibCreate(2, 1, 4, 4));
  DibGetBits(grey.get())[0] = 200;
  std::memset(DibGetBits(bgra.get()), 0x33, 8);
  DibCopyPixels(bgra.get(), grey.get());
  EXPECT_EQ(std::vector<uint8_t>(pixel(bgra.get(), 0), pixel(bgra.get(), 0) + 4),
            (std::vector<uint8_t>{200, 200, 200, 0x33}));
  // grey into grey: bytes as they are.
  DibPtr grey2(DibCreate(3, 1, 1, 4));
  DibCopyPixels(grey2.get(), grey.get());
  EXPECT_EQ(DibGetBits(grey2.get())[0], 200);
  // 32-bit into grey uses the same weights as 24-bit.
  DibPtr g32(DibCreate(1, 1, 1, 4));
  uint8_t* p = pixel(bgra.get(), 1);
  p[0] = 10; p[1] = 20; p[2] = 30; p[3] = 255;
  DibPtr one(DibCreate(1, 1, 4, 4));
  std::memcpy(DibGetBits(one.get()), p, 4);
  DibCopyPixels(g32.get(), one.get());
  EXPECT_EQ(DibGetBits(g32.get())[0], 21);
  // 32-bit into 24-bit: the first three bytes.
  DibPtr bgr(DibCreate(1, 1, 3, 4));
  DibCopyPixels(bgr.get(), one.get());
  EXPECT_EQ(std::vector<uint8_t>(DibGetBits(bgr.get()), DibGetBits(bgr.get()) + 3),
            (std::vector<uint8_t>{10, 20, 30}));
  // 16-bit into 24-bit: two bytes copied, the third kept.
  DibPtr s16(DibCreate(1, 1, 2, 4)), d24(DibCreate(1, 1, 3, 4));
  DibGetBits(s16.get())[0] = 1;
  DibGetBits(s16.get())[1] = 2;
  DibGetBits(d24.get())[2] = 9;
  DibCopyPixels(d24.get(), s16.get());
  EXPECT_EQ(std::vector<uint8_t>(DibGetBits(d24.get()), DibGetBits(d24.get()) + 3),
            (std::vector<uint8_t>{1, 2, 9}));
}

TEST(DibFree, RemovesLocksThatRemain) {
  // Under the leak checker: the blocks go whatever locks callers left behind.
  DibImage img = DibCreate(4, 4, 3, 4);
  GmLock(img);
  GmLock(img);
  EXPECT_EQ(GmLockCount(img), 3);
  DibFree(img);
  std::vector<uint8_t> pixels(16 * 4);
  DibImage w = DibCreateOverBits(pixels.data(), 4, 4, 4, 4);
  GmLock(w);
  DibFree(w);
}

}  // namespace

namespace {

TEST(DibRotate, TurnsClockwise) {
  // 3 x 2 grey picture:  1 2 3
  //                      4 5 6
  DibPtr src(DibCreate(3, 2, 1, 4));
  uint8_t* s = DibGetBits(src.get());
  const int32_t ss = DibGetStride(src.get());
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) s[y * ss + x] = static_cast<uint8_t>(1 + y * 3 + x);
  const struct {
    int32_t degrees;
    int32_t w, h;
    std::vector<uint8_t> rows;  // row-major
  } cases[] = {
      {0, 3, 2, {1, 2, 3, 4, 5, 6}},
      {90, 2, 3, {4, 1, 5, 2, 6, 3}},
      {180, 3, 2, {6, 5, 4, 3, 2, 1}},
      {270, 2, 3, {3, 6, 2, 5, 1, 4}},
  };
  for (const auto& c : cases) {
    DibPtr r(DibRotate(src.get(), c.degrees));
    ASSERT_TRUE(r) << c.degrees;
    ASSERT_EQ(DibGetWidth(r.get()), c.w);
    ASSERT_EQ(DibGetHeight(r.get()), c.h);
    std::vector<uint8_t> got;
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) got.push_back(DibGetBits(r.get())[y * DibGetStride(r.get()) + x]);
    EXPECT_EQ(got, c.rows) << c.degrees;
  }
  EXPECT_EQ(DibRotate(src.get(), 45), nullptr);
  EXPECT_EQ(DibRotate(src.get(), -90), nullptr);
  EXPECT_EQ(DibRotate(nullptr, 90), nullptr);
  // Colour pixels move whole.
  DibPtr colour(DibCreate(2, 1, 3, 4));
  const uint8_t px[6] = {1, 2, 3, 4, 5, 6};
  std::memcpy(DibGetBits(colour.get()), px, 6);
  DibPtr turned(DibRotate(colour.get(), 90));
  EXPECT_EQ(DibGetBitCount(turned.get()), 24);
  EXPECT_EQ(DibGetBits(turned.get())[DibGetStride(turned.get()) + 2], 6);
}

}  // namespace

namespace {

TEST(DibView, DescribesThePixelsWithoutOwningThemOrCountingLocks) {
  DibPtr packed(DibCreate(5, 3, 3, 4));
  const DibView p = DibGetView(packed.get());
  EXPECT_EQ(p.bits, DibGetBits(packed.get()));
  EXPECT_EQ(p.width, 5);
  EXPECT_EQ(p.height, 3);
  EXPECT_EQ(p.bitCount, 24);
  EXPECT_EQ(p.stride, 16);
  EXPECT_EQ(GmLockCount(packed.get()), 1);  // only creation's own lock

  std::vector<uint8_t> pixels(12 * 2, 7);
  DibImage wrapper = DibCreateOverBits(pixels.data(), 10, 2, 1, 4);
  const DibView w = DibGetView(wrapper);
  EXPECT_EQ(w.bits, pixels.data());
  EXPECT_EQ(w.bitCount, 8);
  EXPECT_EQ(w.stride, 12);
  DibFree(wrapper);

  const DibView none = DibGetView(nullptr);
  EXPECT_EQ(none.bits, nullptr);
  EXPECT_EQ(none.width, 0);
  EXPECT_EQ(none.height, 0);
  EXPECT_EQ(none.bitCount, 0);
  EXPECT_EQ(none.stride, 0);
}

}  // namespace

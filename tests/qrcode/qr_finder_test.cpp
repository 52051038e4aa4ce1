// Binarization, the 1:1:3:1:1 run tests and the finder search.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qr_test_support.h"
#include "qrcode/src/qr_finder.h"

namespace vantrel::qr {
namespace {

using qrtest::BinaryCanvas;

// A row of runs dark, light, dark (core), light, dark with `margin` clear
// pixels before it; the canvas is three rows high with the runs in row 1.
struct RunRow {
  BinaryCanvas canvas;
  int32_t s1, s2, s3, e4, e5, e6;
};
RunRow MakeRunRow(const std::vector<int32_t>& widths, int32_t margin, int32_t after, bool vertical) {
  int32_t len = margin + after;
  for (int32_t wd : widths) len += wd;
  BinaryCanvas c(vertical ? 3 : len, vertical ? len : 3);
  int32_t pos = margin;
  int32_t edges[6] = {};
  for (size_t i = 0; i < widths.size(); ++i) {
    edges[i] = pos;
    for (int32_t k = 0; k < widths[i]; ++k, ++pos)
      if (i % 2 == 0) vertical ? c.Set(1, pos) : c.Set(pos, 1);
  }
  edges[5] = pos;
  return {c, edges[0], edges[1], edges[2], edges[3], edges[4], edges[5]};
}

struct RunCase {
  std::vector<int32_t> widths;
  bool passes;
  const char* why;
};

TEST(QrRunTest, AcceptsOnlyTheFinderProportions) {
  const RunCase cases[] = {
      {{1, 1, 3, 1, 1}, true, "one-pixel modules (u = 1)"},
      {{2, 1, 3, 1, 1}, false, "d1 = 2 exceeds 1.5 u with u = 8/7"},
      {{3, 3, 9, 3, 3}, true, "three-pixel modules"},
      {{3, 2, 6, 2, 1}, true, "d1 = 1.5 u exactly, d5 above 0.399 u"},
      {{4, 2, 6, 2, 1}, false, "d1 above 1.5 u"},
      {{1, 1, 2, 1, 1}, false, "core below 2.499 u"},
      {{2, 2, 5, 2, 2}, true, "core 5 of u = 13/7"},
      {{2, 2, 4, 2, 2}, false, "core 4 of u = 12/7"},
      {{1, 3, 3, 1, 1}, false, "inner light run above 1.5 u"},
      {{5, 5, 15, 5, 5}, true, "five-pixel modules"},
  };
  for (bool vertical : {false, true})
    for (const RunCase& rc : cases) {
      SCOPED_TRACE(std::string(rc.why) + (vertical ? " (vertical)" : " (horizontal)"));
      RunRow row = MakeRunRow(rc.widths, 3, 3, vertical);
      const QrBinaryImage img = row.canvas.Image();
      const int32_t core = row.s3 + rc.widths[2] / 2;
      QrRunRecord r;
      float centre = 0;
      const bool ok = vertical ? VerticalRunTest(img, 1, core, &r, &centre)
                               : HorizontalRunTest(img, core, 1, &r, &centre);
      ASSERT_EQ(ok, rc.passes);
      if (!ok) continue;
      EXPECT_EQ(r.s1, row.s1);
      EXPECT_EQ(r.s2, row.s2);
      EXPECT_EQ(r.s3, row.s3);
      EXPECT_EQ(r.e4, row.e4);
      EXPECT_EQ(r.e5, row.e5);
      EXPECT_EQ(r.e6, row.e6);
      EXPECT_FLOAT_EQ(centre, (row.e6 - row.s1) * 0.5f + row.s1);
    }
}

TEST(QrRunTest, ImageEdgesAreTreatedDifferently) {
  // The outer dark run may start at column 0, which is never examined; a far
  // run that reaches the last column fails.
  for (bool vertical : {false, true}) {
    SCOPED_TRACE(vertical ? "vertical" : "horizontal");
    RunRow left = MakeRunRow({2, 2, 6, 2, 2}, 0, 2, vertical);
    RunRow right = MakeRunRow({2, 2, 6, 2, 2}, 2, 0, vertical);
    QrRunRecord r;
    float centre = 0;
    const bool leftOk = vertical ? VerticalRunTest(left.canvas.Image(), 1, 6, &r, &centre)
                                 : HorizontalRunTest(left.canvas.Image(), 6, 1, &r, &centre);
    ASSERT_TRUE(leftOk);
    EXPECT_EQ(r.s1, 0);
    EXPECT_FLOAT_EQ(centre, 7.0f);
    EXPECT_FALSE(vertical ? VerticalRunTest(right.canvas.Image(), 1, 8, &r, &centre)
                          : HorizontalRunTest(right.canvas.Image(), 8, 1, &r, &centre));
  }
}

TEST(QrRunTest, StartsOnlyOnASetPixelInsideTheImage) {
  RunRow row = MakeRunRow({1, 1, 3, 1, 1}, 3, 3, false);
  const QrBinaryImage img = row.canvas.Image();
  QrRunRecord r;
  EXPECT_FALSE(HorizontalRunTest(img, row.s2, 1, &r, nullptr));   // a light pixel
  EXPECT_FALSE(HorizontalRunTest(img, row.s3 + 1, 2, &r, nullptr));  // the last row
  EXPECT_FALSE(HorizontalRunTest(img, -1, 1, &r, nullptr));
  EXPECT_TRUE(HorizontalRunTest(img, row.s3 + 1, 1, &r, nullptr));
}

TEST(QrBinarize, PolarityAndThresholdBoundary) {
  const uint8_t values[] = {0, 127, 128, 129, 255};
  uint8_t pixels[8] = {};
  for (int32_t i = 0; i < 5; ++i) pixels[i] = values[i];
  QrSourceArea src{pixels, 8, 1, 0, 0, 0, 5, 1};
  std::vector<uint8_t> out;
  ASSERT_TRUE(Binarize(src, 128, 1, &out));
  EXPECT_EQ(out, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0, 0}));  // dark: v <= t
  ASSERT_TRUE(Binarize(src, 128, 0, &out));
  EXPECT_EQ(out, (std::vector<uint8_t>{0, 0, 0, 0xFF, 0xFF}));  // light symbol: v > t
}

TEST(QrBinarize, ReadsTheAreaAndTheChosenByte) {
  // 4 x 3 pixels of B,G,R; only the green byte is dark at (2, 1) and (3, 2).
  const int32_t stride = 12;
  std::vector<uint8_t> pic(static_cast<size_t>(stride) * 3, 200);
  pic[1 * stride + 2 * 3 + 1] = 10;
  pic[2 * stride + 3 * 3 + 1] = 10;
  QrSourceArea src{pic.data(), stride, 3, 1, 2, 1, 2, 2};
  std::vector<uint8_t> out;
  ASSERT_TRUE(Binarize(src, 128, 1, &out));
  EXPECT_EQ(out, (std::vector<uint8_t>{0xFF, 0, 0, 0xFF}));
  src.byteOffset = 2;  // red
  ASSERT_TRUE(Binarize(src, 128, 1, &out));
  EXPECT_EQ(out, (std::vector<uint8_t>(4, 0)));
}

TEST(QrFinderSearch, FindsOnePatternOnceWithItsCentre) {
  for (int32_t module : {1, 2, 3, 5}) {
    SCOPED_TRACE(module);
    BinaryCanvas c(20 * module + 20, 20 * module + 20);
    c.PaintFinder(module, 11, 13);
    std::vector<QrFinder> finders;
    ASSERT_TRUE(FindFinders(c.Image(), &finders));
    ASSERT_EQ(finders.size(), 1u);  // met again at many scan positions, kept once
    EXPECT_FLOAT_EQ(finders[0].x, 11 + 3.5f * module);
    EXPECT_FLOAT_EQ(finders[0].y, 13 + 3.5f * module);
    EXPECT_EQ(finders[0].used, 0);
  }
}

TEST(QrFinderSearch, PolarityDecidesWhichSymbolIsFound) {
  // A grey picture with a dark-on-light finder; light-on-dark is the same picture inverted.
  BinaryCanvas c(60, 60);
  c.PaintFinder(4, 10, 12);
  for (bool inverted : {false, true}) {
    std::vector<uint8_t> grey(60 * 60);
    for (int32_t y = 0; y < 60; ++y)
      for (int32_t x = 0; x < 60; ++x)
        grey[y * 60 + x] = (c.Get(x, y) != inverted) ? 30 : 220;
    QrSourceArea src{grey.data(), 60, 1, 0, 0, 0, 60, 60};
    for (int32_t darkModules : {0, 1}) {
      SCOPED_TRACE(::testing::Message() << "inverted " << inverted << " darkModules " << darkModules);
      std::vector<uint8_t> bin;
      ASSERT_TRUE(Binarize(src, 128, darkModules, &bin));
      std::vector<QrFinder> finders;
      ASSERT_TRUE(FindFinders(QrBinaryImage{bin.data(), 60, 60}, &finders));
      EXPECT_EQ(finders.size(), (darkModules == 1) != inverted ? 1u : 0u);
    }
  }
}

TEST(QrFinderSearch, KeepsTheFirst128InScanOrder) {
  // 12 x 12 patterns of one-pixel modules, 10 pixels apart.
  BinaryCanvas c(12 * 10 + 4, 12 * 10 + 4);
  for (int32_t j = 0; j < 12; ++j)
    for (int32_t i = 0; i < 12; ++i) c.PaintFinder(1, 3 + 10 * i, 3 + 10 * j);
  std::vector<QrFinder> finders;
  ASSERT_TRUE(FindFinders(c.Image(), &finders));
  ASSERT_EQ(finders.size(), 128u);
  for (size_t k = 0; k < finders.size(); ++k) {
    const int32_t i = static_cast<int32_t>(k % 12), j = static_cast<int32_t>(k / 12);
    EXPECT_FLOAT_EQ(finders[k].x, 3 + 10 * i + 3.5f) << k;
    EXPECT_FLOAT_EQ(finders[k].y, 3 + 10 * j + 3.5f) << k;
  }
}

}  // namespace
}  // namespace vantrel::qr

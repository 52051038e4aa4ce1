// The preview's drawing layer on QPainter, pixel by pixel on a QImage: the
// picture copied and stretched by nearest neighbour (clipped to the picture),
// solid and dotted pens of one and two pixels, XOR outlines, fills, and the
// overlay operations through it.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <vector>

#include "gui/qt_test_app.h"
#include "imaging/test_contexts.h"
#include "vantrel/dib.h"
#include "vantrel/overlay.h"
#include "vantrel/ovoutil.h"
#include "vantrel/qt_draw_context.h"

namespace vantrel::test {
namespace {

[[maybe_unused]] const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

constexpr uint32_t kMarker = MakeColour(10, 20, 30);
constexpr uint32_t kGreen = MakeColour(0, 255, 0);
constexpr uint32_t kRed = MakeColour(255, 0, 0);

uint32_t At(const QImage& img, int x, int y) { return ui::FromQColor(QColor(img.pixel(x, y))); }

QImage Canvas(int w, int h, uint32_t colour = kMarker) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(ui::ToQColor(colour));
  return img;
}

// A picture whose every pixel tells where it is.
struct Picture {
  Picture(int32_t w, int32_t h, int32_t bytesPerPixel) : image(DibCreate(w, h, bytesPerPixel, 4)) {
    for (int32_t y = 0; y < h; ++y) {
      uint8_t* row = DibGetBits(image) + y * DibGetStride(image);
      for (int32_t x = 0; x < w; ++x) {
        if (bytesPerPixel == 1) {
          row[x] = static_cast<uint8_t>(x * 16 + y);
        } else {
          row[x * 3 + 0] = static_cast<uint8_t>(y * 10);      // blue
          row[x * 3 + 1] = static_cast<uint8_t>(x * 10);      // green
          row[x * 3 + 2] = static_cast<uint8_t>(x + y + 1);   // red
        }
      }
    }
  }
  ~Picture() { DibFree(image); }
  DibPixels View() const {
    return DibPixels{DibGetBits(image), DibGetWidth(image), DibGetHeight(image), DibGetBitCount(image),
                     DibGetStride(image)};
  }
  DibImage image;
};

// The reference layer of the imaging tests paints the same calls into its
// own raster; the Qt layer must leave the same pixels.
void ExpectSameAsReference(const Picture& p, int32_t dx, int32_t dy, int32_t dw, int32_t dh, int32_t sx,
                           int32_t sy, int32_t sw, int32_t sh) {
  const int W = 40, H = 30;
  QImage img = Canvas(W, H);
  {
    QPainter painter(&img);
    ui::QtDrawContext dc(painter);
    EXPECT_EQ(dc.DrawPixels(p.View(), dx, dy, dw, dh, sx, sy, sw, sh), 1);
  }
  RasterContext ref(W, H);
  ref.Fill(kMarker);
  ref.DrawPixels(p.View(), dx, dy, dw, dh, sx, sy, sw, sh);
  int differing = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) differing += At(img, x, y) != ref.At(x, y);
  EXPECT_EQ(differing, 0) << "dest " << dx << "," << dy << " " << dw << "x" << dh << " <- src " << sx << "," << sy
                          << " " << sw << "x" << sh << " bits " << p.View().bitCount;
}

TEST(QtDrawPixels, CopiesAndStretchesByNearestNeighbourAndDropsWhatLiesOutsideThePicture) {
  struct Case {
    int32_t dx, dy, dw, dh, sx, sy, sw, sh;
  };
  const Case cases[] = {
      {2, 3, 8, 6, 0, 0, 8, 6},      // 1:1
      {0, 0, 16, 12, 0, 0, 8, 6},    // twice the size
      {0, 0, 4, 3, 0, 0, 8, 6},      // half the size
      {1, 1, 13, 7, 0, 0, 8, 6},     // uneven factors
      {5, 5, 6, 4, 2, 1, 3, 2},      // a part of the picture
      {0, 0, 12, 10, -4, -2, 12, 10},  // the source starts left of and above the picture
      {0, 0, 12, 10, 4, 3, 12, 10},    // the source reaches past its right and bottom
      {0, 0, 24, 20, -4, -2, 12, 10},  // both, stretched
      {30, 20, 20, 20, 0, 0, 8, 6},    // the destination leaves the canvas
      {-5, -5, 16, 12, 0, 0, 8, 6},    // and starts before it
  };
  const Picture colour(8, 6, 3), grey(8, 6, 1);
  for (const Case& c : cases) {
    ExpectSameAsReference(colour, c.dx, c.dy, c.dw, c.dh, c.sx, c.sy, c.sw, c.sh);
    ExpectSameAsReference(grey, c.dx, c.dy, c.dw, c.dh, c.sx, c.sy, c.sw, c.sh);
  }
}

TEST(QtDrawPixels, ExactColoursOfBothDepths) {
  const Picture colour(8, 6, 3), grey(8, 6, 1);
  QImage img = Canvas(8, 6);
  QPainter painter(&img);
  ui::QtDrawContext dc(painter);
  ASSERT_EQ(dc.DrawPixels(colour.View(), 0, 0, 8, 6, 0, 0, 8, 6), 1);
  EXPECT_EQ(At(img, 3, 2), MakeColour(3 + 2 + 1, 30, 20));
  ASSERT_EQ(dc.DrawPixels(grey.View(), 0, 0, 8, 6, 0, 0, 8, 6), 1);
  EXPECT_EQ(At(img, 3, 2), MakeColour(50, 50, 50));
}

TEST(QtDrawPixels, RefusesWhatItCannotDrawAndLeavesTheCanvas) {
  const Picture colour(8, 6, 3);
  DibPixels deep = colour.View();
  deep.bitCount = 32;
  DibPixels empty{};
  DibPixels narrowStride = colour.View();
  narrowStride.stride = 4;
  struct Case {
    DibPixels view;
    int32_t dw, dh, sw, sh;
  };
  const Case cases[] = {
      {deep, 8, 6, 8, 6},         {empty, 8, 6, 8, 6},  {narrowStride, 8, 6, 8, 6},
      {colour.View(), 0, 6, 8, 6}, {colour.View(), 8, -1, 8, 6}, {colour.View(), 8, 6, 0, 6},
      {colour.View(), 8, 6, 8, -6},
  };
  for (const Case& c : cases) {
    QImage img = Canvas(8, 6);
    QPainter painter(&img);
    ui::QtDrawContext dc(painter);
    EXPECT_EQ(dc.DrawPixels(c.view, 0, 0, c.dw, c.dh, 0, 0, c.sw, c.sh), 0);
    painter.end();
    EXPECT_EQ(img, Canvas(8, 6));
  }
}

TEST(QtDrawPixels, AHugeDestinationIsDrawnOnlyWhereTheCanvasIs) {
  const Picture colour(8, 6, 3);
  QImage img = Canvas(20, 20);
  QPainter painter(&img);
  ui::QtDrawContext dc(painter);
  // Millions of pixels wide; only the 20 x 20 on the canvas are worked out.
  ASSERT_EQ(dc.DrawPixels(colour.View(), -1000000, 0, 2000000, 20, 0, 0, 8, 6), 1);
  painter.end();
  EXPECT_EQ(At(img, 0, 0), At(img, 19, 0));  // all from column 4 of the picture
  EXPECT_NE(At(img, 0, 0), kMarker);
}

// ---------------------------------------------------------------- pens

struct LineResult {
  QImage img;
  std::vector<int> drawnX;  // columns of row `row` in the pen's colour
};

LineResult DrawHorizontal(const Pen& pen, int32_t background, int row = 5) {
  LineResult r{Canvas(24, 12), {}};
  {
    QPainter painter(&r.img);
    ui::QtDrawContext dc(painter);
    dc.SetBackgroundMode(background);
    dc.SelectPen(pen);
    dc.MoveTo(2, row);
    dc.LineTo(14, row);
  }
  for (int x = 0; x < 24; ++x)
    if (At(r.img, x, row) == pen.colour) r.drawnX.push_back(x);
  return r;
}

TEST(QtPens, SolidLinesLeaveOutTheirEndPoint) {
  const LineResult r = DrawHorizontal(Pen{kPenSolid, 1, kRed}, kBackgroundTransparent);
  std::vector<int> expected;
  for (int x = 2; x < 14; ++x) expected.push_back(x);
  EXPECT_EQ(r.drawnX, expected);
  // One pixel wide: the rows beside it stay.
  for (int x = 0; x < 24; ++x) {
    EXPECT_EQ(At(r.img, x, 4), kMarker);
    EXPECT_EQ(At(r.img, x, 6), kMarker);
  }
}

TEST(QtPens, DottedPensAreOneOnOneOffInPenWidthsWithFlatCaps) {
  struct Case {
    int32_t width;
    std::vector<int> drawn;  // columns drawn on the line's row
  };
  const Case cases[] = {
      {1, {2, 4, 6, 8, 10, 12}},
      {2, {2, 3, 6, 7, 10, 11}},
  };
  for (const Case& c : cases) {
    const LineResult r = DrawHorizontal(Pen{kPenDot, c.width, kGreen}, kBackgroundTransparent);
    EXPECT_EQ(r.drawnX, c.drawn) << "width " << c.width;
    // Transparent background: the gaps keep the picture.
    EXPECT_EQ(At(r.img, c.width == 1 ? 3 : 4, 5), kMarker);
  }
}

TEST(QtPens, AnOpaqueBackgroundFillsTheGapsOfADottedLine) {
  const LineResult r = DrawHorizontal(Pen{kPenDot, 1, kGreen}, kBackgroundOpaque);
  EXPECT_EQ(At(r.img, 2, 5), kGreen);
  EXPECT_EQ(At(r.img, 3, 5), MakeColour(255, 255, 255));
}

TEST(QtPens, TwoPixelPensCoverTwoRows) {
  const LineResult r = DrawHorizontal(Pen{kPenSolid, 2, kRed}, kBackgroundTransparent);
  int rows = 0;
  for (int y = 0; y < 12; ++y) rows += At(r.img, 8, y) == kRed;
  EXPECT_EQ(rows, 2);
}

TEST(QtPens, SelectPenAndTheModesReturnWhatWasSetBefore) {
  QImage img = Canvas(4, 4);
  QPainter painter(&img);
  ui::QtDrawContext dc(painter);
  const Pen first{kPenDot, 2, kRed};
  EXPECT_EQ(dc.SelectPen(first), Pen{});
  EXPECT_EQ(dc.SelectPen(Pen{}), first);
  EXPECT_EQ(dc.SetBackgroundMode(kBackgroundTransparent), kBackgroundOpaque);
  EXPECT_EQ(dc.SetBackgroundMode(kBackgroundOpaque), kBackgroundTransparent);
  EXPECT_EQ(dc.SetRasterOp(kRasterXorPen), kRasterCopyPen);
  EXPECT_EQ(dc.SetRasterOp(kRasterCopyPen), kRasterXorPen);
  EXPECT_EQ(ui::ToQPen(Pen{kPenSolid, 0, 0}).width(), 1);
}

// ---------------------------------------------------------------- XOR, fills, overlay operations

class QtOverlayDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(OvoUtilInitialize(), 0);
    DrawSetScale(1.0, 1.0, nullptr, nullptr);
    OverlaySetScale(1.0, 1.0, nullptr, nullptr);
    DrawSetLineStyle(0);
  }
  void TearDown() override { OvoUtilTerminate(); }
};

TEST_F(QtOverlayDrawing, AnXorOutlineDrawnTwiceLeavesThePictureAsItWas) {
  // A picture of many colours, so that XOR changes every pixel it touches.
  const Picture colour(24, 16, 3);
  QImage img = Canvas(24, 16);
  QPainter painter(&img);
  ui::QtDrawContext dc(painter);
  dc.DrawPixels(colour.View(), 0, 0, 24, 16, 0, 0, 24, 16);
  const QImage before = img.copy();
  DrawRect(&dc, 1, 3, 2, 18, 12, kGreen);
  const QImage once = img.copy();
  DrawRect(&dc, 1, 3, 2, 18, 12, kGreen);
  painter.end();
  EXPECT_EQ(img, before);
  // The first drawing changed the four sides, corners included (each side
  // leaves out its end, so no corner is drawn twice and cancelled).
  for (auto [x, y] : {std::pair{3, 2}, {18, 2}, {18, 12}, {3, 12}, {10, 2}, {3, 7}}) {
    EXPECT_EQ(At(once, x, y), At(before, x, y) ^ kGreen) << x << "," << y;
  }
  EXPECT_EQ(At(once, 10, 7), At(before, 10, 7));
}

TEST_F(QtOverlayDrawing, AFillLeavesOutTheRightColumnAndBottomRowAndIgnoresXor) {
  QImage img = Canvas(16, 16);
  QPainter painter(&img);
  ui::QtDrawContext dc(painter);
  dc.SetRasterOp(kRasterXorPen);
  DrawRect(&dc, 2, 0, 0, 10, 10, kRed);
  painter.end();
  int filled = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) filled += At(img, x, y) == kRed;
  EXPECT_EQ(filled, 100);
  EXPECT_EQ(At(img, 9, 9), kRed);
  EXPECT_EQ(At(img, 10, 9), kMarker);
}

TEST_F(QtOverlayDrawing, TheOverlayIsDrawnScaledWithATransparentBackground) {
  OverlaySetScale(2.0, 2.0, nullptr, nullptr);
  OverlayClear();
  ASSERT_EQ(OverlayAddLine(1, 1, 6, 1, kRed), 1);
  QImage img = Canvas(20, 8);
  QPainter painter(&img);
  ui::QtDrawContext dc(painter);
  OverlayDrawAll(&dc);
  painter.end();
  for (int x = 0; x < 20; ++x) EXPECT_EQ(At(img, x, 2) == kRed, x >= 2 && x < 12) << x;
  OverlayClear();
}

TEST_F(QtOverlayDrawing, GuideLinesInTheDottedModeAreDottedAndTheModeGoesBack) {
  QImage img = Canvas(20, 8);
  QPainter painter(&img);
  ui::QtDrawContext dc(painter);
  EXPECT_EQ(DrawSetLineStyle(2), 0);
  DrawLine(&dc, 0, 3, 10, 3, kGreen);
  EXPECT_EQ(DrawSetLineStyle(0), 2);
  DrawLine(&dc, 0, 5, 10, 5, kGreen);
  painter.end();
  for (int x = 0; x < 10; ++x) {
    EXPECT_EQ(At(img, x, 3) == kGreen, x % 2 == 0) << x;
    EXPECT_EQ(At(img, x, 3) == kMarker, x % 2 == 1) << x;  // the background stays transparent
    EXPECT_EQ(At(img, x, 5), kGreen) << x;
  }
}

}  // namespace
}  // namespace vantrel::test

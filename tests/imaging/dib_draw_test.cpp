#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "imaging/test_contexts.h"
#include "vantrel/dib.h"
#include "vantrel/draw_context.h"

namespace {

using vantrel::MakeColour;
using vantrel::test::RasterContext;
using vantrel::test::RecordingContext;

struct DibDeleter {
  void operator()(GmBlock* h) const { DibFree(h); }
};
using DibPtr = std::unique_ptr<GmBlock, DibDeleter>;

TEST(DibDraw, PicksCopyOrStretchFromTheRectangles) {
  DibPtr img(DibCreate(10, 5, 3, 4));
  const struct {
    const char* name;
    const DibRect* dest;
    const DibRect* src;
    const char* call;
  } cases[] = {
      {"whole picture 1:1", nullptr, nullptr, "pixels 0 0 10 5 <- 0 0 10 5 bits 24"},
      {"moved 1:1", new DibRect{20, 30, 29, 34}, nullptr, "pixels 20 30 10 5 <- 0 0 10 5 bits 24"},
      {"stretched", new DibRect{0, 0, 19, 9}, nullptr, "pixels 0 0 20 10 <- 0 0 10 5 bits 24"},
      {"part 1:1", new DibRect{10, 10, 13, 12}, new DibRect{2, 1, 5, 3},
       "pixels 10 10 4 3 <- 2 1 4 3 bits 24"},
      {"part into the whole", nullptr, new DibRect{2, 1, 3, 2}, "pixels 0 0 10 5 <- 2 1 2 2 bits 24"},
      {"source reaching outside", new DibRect{0, 0, 29, 14}, new DibRect{-5, -5, 24, 9},
       "pixels 0 0 30 15 <- -5 -5 30 15 bits 24"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingContext dc;
    EXPECT_EQ(DibDraw(&dc, img.get(), c.dest, c.src), 1);
    ASSERT_EQ(dc.calls.size(), 1u);
    EXPECT_EQ(dc.calls[0], c.call);
    EXPECT_EQ(dc.lastBits, DibGetBits(img.get()));  // drawn from the picture's own rows
    delete c.dest;
    delete c.src;
  }
}

TEST(DibDraw, FailuresGiveZero) {
  DibPtr img(DibCreate(4, 4, 1, 4));
  RecordingContext dc;
  EXPECT_EQ(DibDraw(nullptr, img.get(), nullptr, nullptr), 0);
  EXPECT_EQ(DibDraw(&dc, nullptr, nullptr, nullptr), 0);
  EXPECT_TRUE(dc.calls.empty());
  dc.pixelsResult = 0;  // the drawing layer's failure is passed on
  EXPECT_EQ(DibDraw(&dc, img.get(), nullptr, nullptr), 0);
  EXPECT_EQ(dc.calls[0], "pixels 0 0 4 4 <- 0 0 4 4 bits 8");
  dc.pixelsResult = 1;
  const DibRect huge{INT32_MIN, 0, INT32_MAX, 0};
  EXPECT_EQ(DibDraw(&dc, img.get(), &huge, nullptr), 0);  // a width beyond 32 bits
  EXPECT_EQ(dc.calls.size(), 1u);
}

TEST(DibDraw, WrappedFramesDrawTheirOwnMemory) {
  std::vector<uint8_t> frame(8 * 2, 0);
  DibImage w = DibCreateOverBits(frame.data(), 2, 2, 4, 4);
  RecordingContext dc;
  EXPECT_EQ(DibDraw(&dc, w, nullptr, nullptr), 1);
  EXPECT_EQ(dc.lastBits, frame.data());
  EXPECT_EQ(dc.calls[0], "pixels 0 0 2 2 <- 0 0 2 2 bits 32");
  DibFree(w);
}

TEST(DibDraw, TopLineStaysOnTop) {
  // A 2 x 2 picture stretched to 4 x 4: each pixel becomes a 2 x 2 block, row 0 on top.
  DibPtr img(DibCreate(2, 2, 3, 4));
  uint8_t* b = DibGetBits(img.get());
  const int32_t stride = DibGetStride(img.get());
  auto put = [&](int x, int y, uint8_t r, uint8_t g, uint8_t bl) {
    uint8_t* p = b + y * stride + x * 3;
    p[0] = bl; p[1] = g; p[2] = r;
  };
  put(0, 0, 255, 0, 0);
  put(1, 0, 0, 255, 0);
  put(0, 1, 0, 0, 255);
  put(1, 1, 255, 255, 255);
  RasterContext dc(4, 4);
  const DibRect dest{0, 0, 3, 3};
  ASSERT_EQ(DibDraw(&dc, img.get(), &dest, nullptr), 1);
  EXPECT_EQ(dc.At(0, 0), MakeColour(255, 0, 0));
  EXPECT_EQ(dc.At(1, 1), MakeColour(255, 0, 0));
  EXPECT_EQ(dc.At(3, 0), MakeColour(0, 255, 0));
  EXPECT_EQ(dc.At(0, 3), MakeColour(0, 0, 255));
  EXPECT_EQ(dc.At(2, 2), MakeColour(255, 255, 255));
}

}  // namespace

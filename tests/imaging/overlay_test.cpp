#include "vantrel/overlay.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "imaging/test_contexts.h"
#include "vantrel/ovoutil.h"

namespace {

using vantrel::DrawContext;
using vantrel::Pen;
using vantrel::test::RasterContext;
using vantrel::test::RecordingContext;
using Calls = std::vector<std::string>;

constexpr uint32_t kRed = vantrel::MakeColour(255, 0, 0);  // 0x0000ff

class Overlay : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(OvoUtilInitialize(), 0); }
  void TearDown() override {
    DrawSetLineStyle(0);
    OvoUtilTerminate();
  }
};

TEST_F(Overlay, PenModes) {
  const struct {
    int32_t mode;
    const char* pen;
  } cases[] = {{0, "pen 0 1 0000ff"}, {1, "pen 0 2 0000ff"}, {2, "pen 2 1 0000ff"},
               {3, "pen 2 2 0000ff"}, {7, "pen 0 1 0000ff"}, {-1, "pen 0 1 0000ff"}};
  for (const auto& c : cases) {
    DrawSetLineStyle(c.mode);
    RecordingContext dc;
    DrawLine(&dc, 1, 2, 3, 4, kRed);
    EXPECT_EQ(dc.calls[1], c.pen) << c.mode;
  }
  DrawSetLineStyle(3);
  EXPECT_EQ(DrawSetLineStyle(7), 3);  // the previous mode comes back...
  EXPECT_EQ(DrawSetLineStyle(0), 0);  // ...and 7 stored 0
}

TEST_F(Overlay, DrawLineRestoresTheContext) {
  RecordingContext dc;
  dc.pen = Pen{vantrel::kPenDot, 5, 0x123456};
  DrawLine(&dc, 1, 2, 3, 4, kRed);
  EXPECT_EQ(dc.calls, (Calls{"bk 1", "pen 0 1 0000ff", "move 1 2", "line 3 4", "pen 2 5 123456", "bk 2"}));
  EXPECT_EQ(dc.background, vantrel::kBackgroundOpaque);
  DrawLine(nullptr, 1, 2, 3, 4, kRed);  // nothing to draw into
}

TEST_F(Overlay, DirectScaleRoundsHalvesUp) {
  double px = 0, py = 0;
  DrawSetScale(0.5, 0.5, &px, &py);
  EXPECT_EQ(px, 1.0);
  RecordingContext dc;
  DrawLine(&dc, 3, 3, 10, 5, kRed);
  EXPECT_EQ(dc.Lines(), Calls{"2,2-5,3"});  // 1.5 -> 2, 2.5 -> 3

  DrawSetScale(2.0, 3.0, &px, &py);
  EXPECT_EQ(px, 0.5);
  EXPECT_EQ(py, 0.5);
  RecordingContext dc2;
  DrawLine(&dc2, -3, 1, 4, -2, kRed);
  EXPECT_EQ(dc2.Lines(), Calls{"-6,3-8,-6"});

  // At scale 1 points are used exactly as given, even where scaling would overflow.
  DrawSetScale(1.0, 1.0, nullptr, nullptr);
  RecordingContext dc3;
  DrawLine(&dc3, INT32_MAX, INT32_MIN, 0, 0, kRed);
  EXPECT_EQ(dc3.Lines(), Calls{"2147483647,-2147483648-0,0"});
}

TEST_F(Overlay, RectangleKinds) {
  RecordingContext outline;
  DrawRect(&outline, 0, 1, 2, 5, 7, kRed);
  EXPECT_EQ(outline.Lines(), (Calls{"1,2-1,7", "1,7-5,7", "5,7-5,2", "5,2-1,2"}));
  EXPECT_EQ(outline.calls.front(), "bk 1");
  EXPECT_EQ(outline.calls.back(), "bk 2");
  EXPECT_EQ(outline.rop, vantrel::kRasterCopyPen);

  RecordingContext xored;
  DrawRect(&xored, 1, 1, 2, 5, 7, kRed);
  EXPECT_EQ(xored.calls[1], "pen 0 1 0000ff");
  EXPECT_EQ(xored.calls[2], "rop 7");
  EXPECT_EQ(xored.rop, vantrel::kRasterCopyPen);  // restored afterwards
  EXPECT_EQ(xored.Lines().size(), 4u);

  DrawSetScale(2.0, 2.0, nullptr, nullptr);
  RecordingContext filled;
  DrawRect(&filled, 2, 0, 1, 5, 5, 0x00ff00);
  EXPECT_EQ(filled.calls, (Calls{"bk 1", "fill 0 2 10 10 00ff00", "bk 2"}));

  for (int32_t kind : {-1, 3, 100}) {
    RecordingContext none;
    DrawRect(&none, kind, 0, 0, 5, 5, kRed);
    EXPECT_TRUE(none.calls.empty()) << kind;
  }
}

TEST_F(Overlay, RectanglesOnPixels) {
  // An XOR outline drawn twice leaves the picture as it was, for every pen.
  for (int32_t mode = 0; mode <= 3; ++mode) {
    RasterContext dc(40, 30);
    for (int32_t y = 0; y < 30; ++y)
      for (int32_t x = 0; x < 40; ++x) dc.Set(x, y, static_cast<uint32_t>(x * 7 + y * 131));
    const auto before = dc.Pixels();
    DrawSetLineStyle(mode);
    DrawRect(&dc, 1, 3, 4, 30, 20, 0x00ffffff);
    EXPECT_NE(dc.Pixels(), before) << mode;
    DrawRect(&dc, 1, 3, 4, 30, 20, 0x00ffffff);
    EXPECT_EQ(dc.Pixels(), before) << mode;
  }
  DrawSetLineStyle(0);

  // A filled rectangle from (0, 0) to (10, 10) covers pixels 0 to 9 both ways.
  RasterContext dc(20, 20);
  DrawRect(&dc, 2, 0, 0, 10, 10, kRed);
  EXPECT_EQ(dc.Count(kRed), 100);
  EXPECT_EQ(dc.At(9, 9), kRed);
  EXPECT_EQ(dc.At(10, 9), 0u);
  EXPECT_EQ(dc.At(9, 10), 0u);

  // A plain outline touches every border pixel of the rectangle and nothing inside.
  RasterContext box(20, 20);
  DrawRect(&box, 0, 2, 3, 8, 9, kRed);
  EXPECT_EQ(box.Count(kRed), 4 * 7 - 4);  // the border of a 7 x 7 box
  EXPECT_EQ(box.At(8, 9), kRed);
  EXPECT_EQ(box.At(5, 5), 0u);
}

TEST_F(Overlay, StoreFillsUpAt5000) {
  for (int32_t i = 0; i < 5000; ++i) ASSERT_EQ(OverlayAddLine(i, 0, i, 1, kRed), 1) << i;
  EXPECT_EQ(OverlayAddLine(9999, 9999, 9999, 9999, kRed), 0);
  RecordingContext dc;
  OverlayDrawAll(&dc);
  auto lines = dc.Lines();
  ASSERT_EQ(lines.size(), 5000u);
  EXPECT_EQ(lines.front(), "0,0-0,1");
  EXPECT_EQ(lines.back(), "4999,0-4999,1");
  OverlayClear();
  EXPECT_EQ(OverlayAddLine(1, 1, 2, 2, kRed), 1);
}

TEST_F(Overlay, DrawAllScalesAndRestores) {
  RecordingContext empty;
  OverlayDrawAll(&empty);
  EXPECT_EQ(empty.background, vantrel::kBackgroundOpaque);

  double px = 0, py = 0;
  OverlaySetScale(0.5, 2.0, &px, &py);
  EXPECT_EQ(px, 1.0);
  EXPECT_EQ(py, 1.0);
  DrawSetLineStyle(3);  // the direct-drawing pen mode does not reach the overlay
  OverlayAddLine(3, 1, -3, 0, kRed);
  OverlayAddLine(5, 5, 6, 6, 0x00ff00);
  RecordingContext dc;
  dc.pen = Pen{vantrel::kPenDot, 9, 0x111111};
  OverlayDrawAll(&dc);
  EXPECT_EQ(dc.calls, (Calls{"bk 1", "pen 0 1 0000ff", "move 2 2", "line -1 0", "pen 2 9 111111",
                             "pen 0 1 00ff00", "move 3 10", "line 3 12", "pen 2 9 111111", "bk 2"}));
  OverlayDrawAll(nullptr);

  OverlayClear();
  RecordingContext cleared;
  OverlayDrawAll(&cleared);
  EXPECT_TRUE(cleared.Lines().empty());
}

// The decoders clear and fill the store on the capture thread while the window
// draws it: every line drawn must be one that was added whole.
class CheckingContext : public DrawContext {
 public:
  int32_t SetBackgroundMode(int32_t m) override { return m; }
  int32_t SetRasterOp(int32_t op) override { return op; }
  Pen SelectPen(const Pen& p) override {
    colour_ = p.colour;
    return Pen{};
  }
  void MoveTo(int32_t x, int32_t y) override {
    x_ = x;
    y_ = y;
  }
  void LineTo(int32_t x, int32_t y) override {
    // Every line of generation g runs from (g, g) to (g + 1, g + 2) in colour g.
    if (x_ != y_ || x != x_ + 1 || y != y_ + 2 || colour_ != static_cast<uint32_t>(x_)) torn++;
    drawn++;
  }
  void FillRect(int32_t, int32_t, int32_t, int32_t, uint32_t) override {}
  int32_t DrawPixels(const vantrel::DibPixels&, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                     int32_t, int32_t) override {
    return 0;
  }
  int64_t torn = 0;
  int64_t drawn = 0;

 private:
  int32_t x_ = 0, y_ = 0;
  uint32_t colour_ = 0;
};

TEST_F(Overlay, FillingWhileDrawingNeverTearsAnEntry) {
  std::atomic<bool> stop{false};
  std::atomic<int64_t> rounds{0};
  std::thread capture([&] {
    for (int32_t g = 1; !stop.load(); g = g % 100000 + 1) {
      OverlayClear();
      for (int k = 0; k < 5; ++k) OverlayAddLine(g, g, g + 1, g + 2, static_cast<uint32_t>(g));
      ++rounds;
    }
  });
  CheckingContext dc;
  while (rounds.load() == 0) std::this_thread::yield();
  // Bounded by time, not by a count of draws: on a loaded machine the capture
  // thread may sit preempted between a clear and its adds for a long while,
  // and every draw meanwhile finds the store empty.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while ((dc.drawn < 20000 || rounds.load() < 2000) && std::chrono::steady_clock::now() < giveUp) {
    const int64_t before = dc.drawn;
    OverlayDrawAll(&dc);
    if (dc.drawn == before) std::this_thread::yield();
  }
  stop = true;
  capture.join();
  EXPECT_EQ(dc.torn, 0);
  EXPECT_GT(dc.drawn, 0);
}

}  // namespace

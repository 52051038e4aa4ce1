#include "page_fixture.h"

#include <QApplication>

#include <cstring>

#include "vantrel/decode_calls.h"
#include "vantrel/draw_context.h"
#include "vantrel/overlay.h"
#include "vantrel/ovoutil.h"

namespace vantrel::test {

namespace {

// One application object and the decoder libraries for the whole run.
class QtApp : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "settings_pages_tests";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
    ASSERT_EQ(OvoUtilInitialize(), 0);
    ASSERT_EQ(StartQrLibrary(), 0);
  }
  void TearDown() override {
    StopQrLibrary();
    OvoUtilTerminate();
    app_.reset();
  }

 private:
  std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] const auto* const kApp = ::testing::AddGlobalTestEnvironment(new QtApp);

}  // namespace

DibPtr SymbolFrame(const std::vector<std::string>& options, const std::string& data, double moduleSize,
                   int32_t width, int32_t height) {
  if (options.empty()) {
    DibPtr paper(DibCreate(width, height, 3, 4));
    FillGrey(paper.get(), 235);
    return paper;
  }
  ModuleMatrix m;
  std::string error;
  EXPECT_TRUE(ZintModules(options, data, &m, &error)) << error;
  RenderOptions o;
  o.moduleSize = moduleSize;
  o.barHeight = 40;
  return RenderSymbol(m, o, width, height, 3);
}

bool SamePixels(DibImage a, DibImage b) {
  if (!a || !b) return a == b;
  const int32_t w = DibGetWidth(a), h = DibGetHeight(a), bits = DibGetBitCount(a);
  if (w != DibGetWidth(b) || h != DibGetHeight(b) || bits != DibGetBitCount(b)) return false;
  const size_t row = static_cast<size_t>(w) * (bits / 8);
  for (int32_t y = 0; y < h; ++y) {
    if (std::memcmp(DibGetBits(a) + static_cast<size_t>(y) * DibGetStride(a),
                    DibGetBits(b) + static_cast<size_t>(y) * DibGetStride(b), row) != 0) {
      return false;
    }
  }
  return true;
}

namespace {

class LineCounter : public DrawContext {
 public:
  int32_t SetBackgroundMode(int32_t) override { return 0; }
  int32_t SetRasterOp(int32_t) override { return 0; }
  Pen SelectPen(const Pen&) override { return Pen{}; }
  void MoveTo(int32_t, int32_t) override {}
  void LineTo(int32_t, int32_t) override { ++lines; }
  void FillRect(int32_t, int32_t, int32_t, int32_t, uint32_t) override {}
  int32_t DrawPixels(const DibPixels&, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                     int32_t) override {
    return 1;
  }
  int32_t lines = 0;
};

}  // namespace

int32_t OverlayLineCount() {
  LineCounter c;
  OverlayDrawAll(&c);
  return c.lines;
}

PageBench::PageBench(DibImage picture) {
  EXPECT_EQ(ring.Allocate(DibGetWidth(picture), DibGetHeight(picture)), 0);
  cycle = std::make_unique<ReadingCycle>(ring, CycleCallbacks{});
  host = std::make_unique<BasicPageHost>(ring, *cycle, &frame);
  frame.resize(400, 500);
  Show(picture);
  OverlayClear();
}

PageBench::~PageBench() { OverlayClear(); }

void PageBench::Show(DibImage picture) {
  FrameRing::Lease slot = ring.WriteDisplayed();
  ASSERT_TRUE(slot);
  DibCopyPixels(slot.image(), picture);
}

DibPtr PageBench::Displayed() {
  FrameRing::Lease slot = ring.ReadDisplayed();
  return DibPtr(slot ? DibDuplicate(slot.image()) : nullptr);
}

}  // namespace vantrel::test

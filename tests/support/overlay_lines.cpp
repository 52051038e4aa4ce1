#include "overlay_lines.h"

#include <cstdio>

#include "vantrel/draw_context.h"
#include "vantrel/overlay.h"

namespace vantrel::test {

namespace {

class LineRecorder : public DrawContext {
 public:
  int32_t SetBackgroundMode(int32_t mode) override { return mode; }
  int32_t SetRasterOp(int32_t op) override { return op; }
  Pen SelectPen(const Pen& pen) override {
    const Pen old = pen_;
    pen_ = pen;
    return old;
  }
  void MoveTo(int32_t x, int32_t y) override {
    x_ = x;
    y_ = y;
  }
  void LineTo(int32_t x, int32_t y) override {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%d,%d-%d,%d %06x", x_, y_, x, y, pen_.colour);
    lines.emplace_back(buf);
    x_ = x;
    y_ = y;
  }
  void FillRect(int32_t, int32_t, int32_t, int32_t, uint32_t) override {}
  int32_t DrawPixels(const DibPixels&, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                     int32_t) override {
    return 1;
  }
  std::vector<std::string> lines;

 private:
  Pen pen_{};
  int32_t x_ = 0, y_ = 0;
};

}  // namespace

std::vector<std::string> OverlayLines() {
  LineRecorder r;
  OverlayDrawAll(&r);
  return r.lines;
}

}  // namespace vantrel::test

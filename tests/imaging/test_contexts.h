// Two drawing layers for the tests: one that records every call, and one that
// really draws into a 24-bit picture (lines without their end point, 2-pixel
// pens, dotted pens, XOR, fills without the right column and bottom row,
// nearest-neighbour stretching), so that what a drawing leaves behind can be
// checked pixel by pixel.
#ifndef VANTREL_TESTS_IMAGING_TEST_CONTEXTS_H
#define VANTREL_TESTS_IMAGING_TEST_CONTEXTS_H

#include <cstdint>
#include <string>
#include <vector>

#include "vantrel/draw_context.h"

namespace vantrel::test {

class RecordingContext : public DrawContext {
 public:
  int32_t SetBackgroundMode(int32_t mode) override;
  int32_t SetRasterOp(int32_t op) override;
  Pen SelectPen(const Pen& pen) override;
  void MoveTo(int32_t x, int32_t y) override;
  void LineTo(int32_t x, int32_t y) override;
  void FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour) override;
  int32_t DrawPixels(const DibPixels& image, int32_t dx, int32_t dy, int32_t dw, int32_t dh,
                     int32_t sx, int32_t sy, int32_t sw, int32_t sh) override;

  // One text per call, e.g. "pen 2 1 0000ff", "move 3 4", "line 5 6", "bk 1",
  // "rop 7", "fill 0 0 10 10 00ff00", "pixels 0 0 4 4 <- 0 0 4 4 bits 24".
  std::vector<std::string> calls;
  // Only the move and line calls, as "x,y" pairs.
  std::vector<std::string> Points() const;
  std::vector<std::string> Lines() const;  // "x1,y1-x2,y2" of each move+line pair

  int32_t background = kBackgroundOpaque;
  int32_t rop = kRasterCopyPen;
  Pen pen{};
  int32_t pixelsResult = 1;
  const uint8_t* lastBits = nullptr;

 private:
  int32_t lastX_ = 0, lastY_ = 0;
};

// Draws into a 24-bit, top-down picture of its own.
class RasterContext : public DrawContext {
 public:
  RasterContext(int32_t width, int32_t height);

  int32_t SetBackgroundMode(int32_t mode) override;
  int32_t SetRasterOp(int32_t op) override;
  Pen SelectPen(const Pen& pen) override;
  void MoveTo(int32_t x, int32_t y) override;
  void LineTo(int32_t x, int32_t y) override;
  void FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour) override;
  int32_t DrawPixels(const DibPixels& image, int32_t dx, int32_t dy, int32_t dw, int32_t dh,
                     int32_t sx, int32_t sy, int32_t sw, int32_t sh) override;

  uint32_t At(int32_t x, int32_t y) const;  // 0x00BBGGRR
  void Set(int32_t x, int32_t y, uint32_t colour);
  void Fill(uint32_t colour);
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  const std::vector<uint32_t>& Pixels() const { return pixels_; }
  int32_t Count(uint32_t colour) const;

 private:
  void Plot(int32_t x, int32_t y);
  int32_t width_, height_;
  std::vector<uint32_t> pixels_;
  int32_t rop_ = kRasterCopyPen;
  int32_t background_ = kBackgroundOpaque;
  Pen pen_{};
  int32_t x_ = 0, y_ = 0;
  int32_t dotPhase_ = 0;
};

}  // namespace vantrel::test

#endif

// The reader's working picture: an 8-bit grey copy of the search rectangle
// inside a light margin, its half-size version for large frames, and the
// geometry that maps a symbol's module grid onto it.
//
// Pure data and functions; each decode makes its own.
#ifndef VANTREL_DATAMATRIX_DMX_IMAGE_H
#define VANTREL_DATAMATRIX_DMX_IMAGE_H

#include <cstdint>
#include <vector>

#include "vantrel/dib.h"

namespace vantrel::dmx {

// Pixels around the copied rectangle, as light as the lightest border pixel
// near them: symbols that touch the picture's border still have their outer
// edge inside the working picture.
constexpr int32_t kMargin = 4;
constexpr uint8_t kMarginLevel = 255;

struct GreyImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;  // row-major, no padding
  uint8_t At(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  // Bilinear value at a point (pixel centres on whole numbers); points
  // outside take the nearest border pixel.
  double Sample(double x, double y) const;
};

// The rectangle (inclusive, already clipped to the picture) of an 8-bit or
// 24-bit picture as grey levels with a light margin of kMargin pixels;
// 24-bit pixels give their red byte, the colour component the QR decoder
// reads by default. False for other depths or when memory runs out.
bool MakeWorkingGrey(const DibView& picture, const DibRect& rect, GreyImage* out);

// Every 2 x 2 block averaged: pixel (x, y) of the result covers (2x, 2y) ...
// (2x + 1, 2y + 1) of the source.
bool HalveGrey(const GreyImage& in, GreyImage* out);

struct PointF {
  double x = 0;
  double y = 0;
};

// Outer corners of a symbol in working-picture pixels: p00 where the two solid
// legs meet, p10 the far end of the leg that runs along the bottom as printed,
// p01 the far end of the left leg, p11 the corner opposite p00.
struct Quad {
  PointF p00, p10, p11, p01;
};

// The projective map of the unit square onto a quad: (0,0) -> p00,
// (1,0) -> p10, (1,1) -> p11, (0,1) -> p01.
class Projection {
 public:
  // False when the quad is degenerate.
  bool Set(const Quad& q);
  PointF Map(double u, double v) const;
  // Centre of module (row, col) of a rows x cols symbol, row 0 the top row as
  // printed (the one farthest from the bottom leg).
  PointF Module(int32_t row, int32_t col, int32_t rows, int32_t cols) const {
    return Map((col + 0.5) / cols, 1.0 - (row + 0.5) / rows);
  }

 private:
  double a_ = 0, b_ = 0, c_ = 0, d_ = 0, e_ = 0, f_ = 0, g_ = 0, h_ = 0;
};

}  // namespace vantrel::dmx

#endif

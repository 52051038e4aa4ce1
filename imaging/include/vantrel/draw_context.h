// The drawing layer under the preview: what the image buffer and the overlay
// need of a device context, and nothing more. The station implements it on
// QPainter; tests implement it by recording the calls.
#ifndef VANTREL_DRAW_CONTEXT_H
#define VANTREL_DRAW_CONTEXT_H

#include <cstdint>

#include "vantrel/dib.h"

namespace vantrel {

// Colours are 0x00BBGGRR, as the overlay entries store them.
constexpr uint32_t MakeColour(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<uint32_t>(r) | (static_cast<uint32_t>(g) << 8) | (static_cast<uint32_t>(b) << 16);
}

// Pen styles keep the values the overlay entries and settings have always stored.
enum PenStyle : int32_t { kPenSolid = 0, kPenDot = 2 };
enum BackgroundMode : int32_t { kBackgroundTransparent = 1, kBackgroundOpaque = 2 };
enum RasterOp : int32_t { kRasterXorPen = 7, kRasterCopyPen = 13 };

struct Pen {
  int32_t style = kPenSolid;
  int32_t width = 1;
  uint32_t colour = 0;
  bool operator==(const Pen&) const = default;
};

// The pixel rows the drawing layer copies: the picture's view (dib.h).
using DibPixels = ::DibView;

class DrawContext {
 public:
  virtual ~DrawContext() = default;

  virtual int32_t SetBackgroundMode(int32_t mode) = 0;  // returns the previous mode
  virtual int32_t SetRasterOp(int32_t op) = 0;          // returns the previous operation
  virtual Pen SelectPen(const Pen& pen) = 0;            // returns the previous pen
  virtual void MoveTo(int32_t x, int32_t y) = 0;
  virtual void LineTo(int32_t x, int32_t y) = 0;
  // Fills left..right-1 by top..bottom-1 (the right column and bottom row stay out).
  virtual void FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom,
                        uint32_t colour) = 0;
  // Copies the source rectangle (sx, sy, sw, sh; top-down rows) onto the destination
  // rectangle, 1:1 when the sizes agree and by nearest neighbour otherwise. Parts of
  // the source outside the picture are not drawn. Nonzero on success.
  virtual int32_t DrawPixels(const DibPixels& image, int32_t dx, int32_t dy, int32_t dw,
                             int32_t dh, int32_t sx, int32_t sy, int32_t sw, int32_t sh) = 0;
};

}  // namespace vantrel

// Draws the picture (or its source rectangle) onto the destination rectangle.
// Null rectangles stand for the whole picture; a null context draws nothing and gives 0.
int32_t DibDraw(vantrel::DrawContext* dc, DibImage image, const DibRect* destination,
                const DibRect* source);

#endif

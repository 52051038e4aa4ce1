// The drawing layer of the preview on QPainter.
//
// Lines follow the station's long-standing pen rules, laid out pixel by pixel
// rather than by the toolkit's stroker: no anti-aliasing; the end point of a
// line left out in every direction (so that the four sides of an XOR outline
// meet without cancelling their corners); a two-pixel pen two pixels across
// the line's main direction; dotted pens `width` pixels on and `width` off,
// flat at both ends of each dot; with an opaque background the gaps take the
// background colour. The XOR raster operation needs the raster paint engine
// (widgets and QImage).
#ifndef VANTREL_QT_DRAW_CONTEXT_H
#define VANTREL_QT_DRAW_CONTEXT_H

#include <cstdint>

#include <QColor>
#include <QPainter>
#include <QPen>

#include "vantrel/draw_context.h"

namespace vantrel::ui {

// 0x00BBGGRR to QColor and back.
QColor ToQColor(uint32_t colour);
uint32_t FromQColor(const QColor& colour);
// The nearest QPen to a pen of the drawing interface, for painting outside
// this layer (style kPenDot is dotted with flat caps, any other style solid;
// width below 1 counts as 1).
QPen ToQPen(const Pen& pen);

class QtDrawContext : public DrawContext {
 public:
  // The painter must outlive the context. The painter's state is changed
  // (pen, composition mode, background mode) and left so.
  explicit QtDrawContext(QPainter& painter);

  int32_t SetBackgroundMode(int32_t mode) override;
  int32_t SetRasterOp(int32_t op) override;
  Pen SelectPen(const Pen& pen) override;
  void MoveTo(int32_t x, int32_t y) override;
  void LineTo(int32_t x, int32_t y) override;
  void FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour) override;
  // Destination pixel (dx + i, dy + j) shows source pixel
  // (sx + i * sw / dw, sy + j * sh / dh) (integer division): 1:1 when the sizes
  // agree, nearest neighbour otherwise. Source pixels outside the picture are
  // not drawn. 8-bit pictures are grey, 24-bit ones blue, green, red. 0 for
  // other depths, an empty view or a non-positive size.
  int32_t DrawPixels(const DibPixels& image, int32_t dx, int32_t dy, int32_t dw, int32_t dh,
                     int32_t sx, int32_t sy, int32_t sw, int32_t sh) override;

  QPainter& painter() { return painter_; }

 private:
  void ApplyPen();
  QPainter& painter_;
  int32_t background_ = kBackgroundOpaque;
  int32_t rop_ = kRasterCopyPen;
  Pen pen_{};
  int32_t x_ = 0, y_ = 0;
};

}  // namespace vantrel::ui

#endif

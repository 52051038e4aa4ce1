#include "vantrel/qt_draw_context.h"

#include <QImage>
#include <QPaintDevice>
#include <QTransform>

#include <algorithm>
#include <climits>
#include <vector>

namespace vantrel::ui {

QColor ToQColor(uint32_t colour) {
  return QColor(static_cast<int>(colour & 0xff), static_cast<int>((colour >> 8) & 0xff),
                static_cast<int>((colour >> 16) & 0xff));
}

uint32_t FromQColor(const QColor& colour) {
  return MakeColour(static_cast<uint8_t>(colour.red()), static_cast<uint8_t>(colour.green()),
                    static_cast<uint8_t>(colour.blue()));
}

QPen ToQPen(const Pen& pen) {
  QPen q(ToQColor(pen.colour));
  q.setWidth(std::max<int32_t>(pen.width, 1));
  q.setCapStyle(Qt::FlatCap);
  q.setJoinStyle(Qt::MiterJoin);
  if (pen.style == kPenDot) {
    // One on, one off, counted in pen widths.
    q.setDashPattern({1.0, 1.0});
  } else {
    q.setStyle(Qt::SolidLine);
  }
  return q;
}

QtDrawContext::QtDrawContext(QPainter& painter) : painter_(painter) {
  painter_.setRenderHint(QPainter::Antialiasing, false);
  painter_.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter_.setBackgroundMode(Qt::OpaqueMode);
  painter_.setBackground(Qt::white);
  painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
  ApplyPen();
}

void QtDrawContext::ApplyPen() {
  // Lines are laid out pixel by pixel here (see LineTo); the painter only
  // ever plots single pixels.
  QPen plot(ToQColor(pen_.colour));
  plot.setWidth(1);
  plot.setCosmetic(true);
  plot.setCapStyle(Qt::SquareCap);
  painter_.setPen(plot);
  painter_.setBrush(Qt::NoBrush);
}

int32_t QtDrawContext::SetBackgroundMode(int32_t mode) {
  const int32_t previous = background_;
  background_ = mode;
  painter_.setBackgroundMode(mode == kBackgroundTransparent ? Qt::TransparentMode : Qt::OpaqueMode);
  return previous;
}

int32_t QtDrawContext::SetRasterOp(int32_t op) {
  const int32_t previous = rop_;
  rop_ = op;
  painter_.setCompositionMode(op == kRasterXorPen ? QPainter::RasterOp_SourceXorDestination
                                                  : QPainter::CompositionMode_SourceOver);
  return previous;
}

Pen QtDrawContext::SelectPen(const Pen& pen) {
  const Pen previous = pen_;
  pen_ = pen;
  ApplyPen();
  return previous;
}

void QtDrawContext::MoveTo(int32_t x, int32_t y) {
  x_ = x;
  y_ = y;
}

void QtDrawContext::LineTo(int32_t x, int32_t y) {
  // The toolkit's own line drawing leaves out one end or the other depending
  // on the direction, which would cancel XOR corners; so the line is laid
  // out here: every pixel from the start up to, not including, the end, the
  // pen's width across the line's main direction, and for a dotted pen
  // `width` pixels on and `width` off along it.
  const int64_t x0 = x_, y0 = y_, x1 = x, y1 = y;
  x_ = x;
  y_ = y;
  const int64_t dx = x1 > x0 ? x1 - x0 : x0 - x1, dy = y1 > y0 ? y1 - y0 : y0 - y1;
  const int64_t steps = std::max(dx, dy);
  if (steps == 0) return;
  const int32_t width = std::max<int32_t>(pen_.width, 1);
  const bool dotted = pen_.style == kPenDot;
  const bool mostlyHorizontal = dx >= dy;

  // Only the part of the line near the device is laid out.
  int64_t clipLeft = INT32_MIN, clipTop = INT32_MIN, clipRight = INT32_MAX, clipBottom = INT32_MAX;
  if (QPaintDevice* device = painter_.device()) {
    bool invertible = false;
    const QTransform inverse = painter_.combinedTransform().inverted(&invertible);
    if (invertible) {
      const QRect visible = inverse.mapRect(QRect(0, 0, device->width(), device->height()));
      clipLeft = int64_t{visible.left()} - width;
      clipTop = int64_t{visible.top()} - width;
      clipRight = int64_t{visible.right()} + width;
      clipBottom = int64_t{visible.bottom()} + width;
    }
  }

  std::vector<QPoint> on, off;
  const int64_t sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  int64_t err = dx - dy, px = x0, py = y0;
  for (int64_t i = 0; i < steps; ++i) {
    if (px >= clipLeft && px <= clipRight && py >= clipTop && py <= clipBottom) {
      std::vector<QPoint>& target = !dotted || (i / width) % 2 == 0 ? on : off;
      for (int32_t k = 0; k < width; ++k) {
        target.emplace_back(static_cast<int>(mostlyHorizontal ? px : px + k),
                            static_cast<int>(mostlyHorizontal ? py + k : py));
      }
    }
    // Bresenham's step towards the end.
    const int64_t e2 = 2 * err;
    if (e2 > -dy) {
      err -= dy;
      px += sx;
    }
    if (e2 < dx) {
      err += dx;
      py += sy;
    }
  }
  if (!on.empty()) painter_.drawPoints(on.data(), static_cast<int>(on.size()));
  if (!off.empty() && background_ == kBackgroundOpaque) {
    const QPen pen = painter_.pen();
    QPen gap = pen;
    gap.setColor(painter_.background().color());
    painter_.setPen(gap);
    painter_.drawPoints(off.data(), static_cast<int>(off.size()));
    painter_.setPen(pen);
  }
}

void QtDrawContext::FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom,
                             uint32_t colour) {
  if (right <= left || bottom <= top) return;
  // A fill is a plain copy whatever raster operation the lines use.
  const QPainter::CompositionMode mode = painter_.compositionMode();
  painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter_.fillRect(QRect(left, top, right - left, bottom - top), ToQColor(colour));
  painter_.setCompositionMode(mode);
}

namespace {
// The first destination offset i in 0 .. extent whose source s + i * ss / extent
// is at least `limit` (extent when none).
int64_t FirstAtLeast(int64_t s, int64_t ss, int64_t extent, int64_t limit) {
  int64_t lo = 0, hi = extent;
  while (lo < hi) {
    const int64_t mid = lo + (hi - lo) / 2;
    if (s + mid * ss / extent >= limit)
      hi = mid;
    else
      lo = mid + 1;
  }
  return lo;
}
}  // namespace

int32_t QtDrawContext::DrawPixels(const DibPixels& image, int32_t dx, int32_t dy, int32_t dw,
                                  int32_t dh, int32_t sx, int32_t sy, int32_t sw, int32_t sh) {
  if (!image.bits || image.width <= 0 || image.height <= 0) return 0;
  if (image.bitCount != 8 && image.bitCount != 24) return 0;
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return 0;
  const int32_t bytesPerPixel = image.bitCount / 8;
  if (image.stride < static_cast<int64_t>(image.width) * bytesPerPixel) return 0;

  // Destination offsets whose source lies inside the picture: a contiguous run
  // on each axis, since the mapping only grows.
  const int64_t x0 = FirstAtLeast(sx, sw, dw, 0), x1 = FirstAtLeast(sx, sw, dw, image.width);
  const int64_t y0 = FirstAtLeast(sy, sh, dh, 0), y1 = FirstAtLeast(sy, sh, dh, image.height);
  int64_t left = x0, right = x1, top = y0, bottom = y1;

  // Only what can reach the device is converted.
  if (QPaintDevice* device = painter_.device()) {
    bool invertible = false;
    // The painter's own transform: a widget painter's redirection into its
    // window's backing store is not part of the device's coordinates.
    const QTransform inverse = painter_.combinedTransform().inverted(&invertible);
    if (invertible) {
      const QRect visible = inverse.mapRect(QRect(0, 0, device->width(), device->height()));
      left = std::max<int64_t>(left, int64_t{visible.left()} - dx);
      right = std::min<int64_t>(right, int64_t{visible.right()} + 1 - dx);
      top = std::max<int64_t>(top, int64_t{visible.top()} - dy);
      bottom = std::min<int64_t>(bottom, int64_t{visible.bottom()} + 1 - dy);
    }
  }
  if (right <= left || bottom <= top) return 1;  // nothing visible is not a failure

  const int32_t outW = static_cast<int32_t>(right - left), outH = static_cast<int32_t>(bottom - top);
  QImage out(outW, outH, QImage::Format_RGB32);
  if (out.isNull()) return 0;
  std::vector<int32_t> columns(static_cast<size_t>(outW));
  for (int32_t i = 0; i < outW; ++i)
    columns[static_cast<size_t>(i)] = static_cast<int32_t>(sx + (left + i) * int64_t{sw} / dw);
  for (int32_t j = 0; j < outH; ++j) {
    const int64_t srcY = sy + (top + j) * int64_t{sh} / dh;
    const uint8_t* row = image.bits + srcY * image.stride;
    auto* dst = reinterpret_cast<QRgb*>(out.scanLine(j));
    if (bytesPerPixel == 1) {
      for (int32_t i = 0; i < outW; ++i) {
        const uint8_t g = row[columns[static_cast<size_t>(i)]];
        dst[i] = qRgb(g, g, g);
      }
    } else {
      for (int32_t i = 0; i < outW; ++i) {
        const uint8_t* p = row + static_cast<ptrdiff_t>(columns[static_cast<size_t>(i)]) * 3;
        dst[i] = qRgb(p[2], p[1], p[0]);
      }
    }
  }
  const QPainter::CompositionMode mode = painter_.compositionMode();
  painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter_.drawImage(QPoint(static_cast<int>(dx + left), static_cast<int>(dy + top)), out);
  painter_.setCompositionMode(mode);
  return 1;
}

}  // namespace vantrel::ui

#include "imaging/test_contexts.h"

#include <algorithm>
#include <cstdio>
#include <cstdarg>
#include <cstdlib>

namespace vantrel::test {

namespace {
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* fmt, ...) {
  char buf[256];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return buf;
}
}  // namespace

int32_t RecordingContext::SetBackgroundMode(int32_t mode) {
  calls.push_back(Format("bk %d", mode));
  std::swap(background, mode);
  return mode;
}

int32_t RecordingContext::SetRasterOp(int32_t op) {
  calls.push_back(Format("rop %d", op));
  std::swap(rop, op);
  return op;
}

Pen RecordingContext::SelectPen(const Pen& p) {
  calls.push_back(Format("pen %d %d %06x", p.style, p.width, p.colour));
  Pen old = pen;
  pen = p;
  return old;
}

void RecordingContext::MoveTo(int32_t x, int32_t y) {
  calls.push_back(Format("move %d %d", x, y));
  lastX_ = x;
  lastY_ = y;
}

void RecordingContext::LineTo(int32_t x, int32_t y) {
  calls.push_back(Format("line %d %d", x, y));
  lastX_ = x;
  lastY_ = y;
}

void RecordingContext::FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom,
                                uint32_t colour) {
  calls.push_back(Format("fill %d %d %d %d %06x", left, top, right, bottom, colour));
}

int32_t RecordingContext::DrawPixels(const DibPixels& image, int32_t dx, int32_t dy, int32_t dw,
                                     int32_t dh, int32_t sx, int32_t sy, int32_t sw, int32_t sh) {
  calls.push_back(Format("pixels %d %d %d %d <- %d %d %d %d bits %d", dx, dy, dw, dh, sx, sy, sw, sh,
                         image.bitCount));
  lastBits = image.bits;
  return pixelsResult;
}

std::vector<std::string> RecordingContext::Points() const {
  std::vector<std::string> out;
  for (const auto& c : calls) {
    int x, y;
    if (std::sscanf(c.c_str(), "move %d %d", &x, &y) == 2 || std::sscanf(c.c_str(), "line %d %d", &x, &y) == 2)
      out.push_back(Format("%d,%d", x, y));
  }
  return out;
}

std::vector<std::string> RecordingContext::Lines() const {
  std::vector<std::string> out;
  int mx = 0, my = 0;
  for (const auto& c : calls) {
    int x, y;
    if (std::sscanf(c.c_str(), "move %d %d", &x, &y) == 2) {
      mx = x;
      my = y;
    } else if (std::sscanf(c.c_str(), "line %d %d", &x, &y) == 2) {
      out.push_back(Format("%d,%d-%d,%d", mx, my, x, y));
      mx = x;
      my = y;
    }
  }
  return out;
}

RasterContext::RasterContext(int32_t width, int32_t height)
    : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height, 0) {}

int32_t RasterContext::SetBackgroundMode(int32_t mode) {
  std::swap(background_, mode);
  return mode;
}

int32_t RasterContext::SetRasterOp(int32_t op) {
  std::swap(rop_, op);
  return op;
}

Pen RasterContext::SelectPen(const Pen& pen) {
  Pen old = pen_;
  pen_ = pen;
  return old;
}

void RasterContext::MoveTo(int32_t x, int32_t y) {
  x_ = x;
  y_ = y;
  dotPhase_ = 0;
}

uint32_t RasterContext::At(int32_t x, int32_t y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }

void RasterContext::Set(int32_t x, int32_t y, uint32_t colour) {
  if (x >= 0 && y >= 0 && x < width_ && y < height_) pixels_[static_cast<size_t>(y) * width_ + x] = colour;
}

void RasterContext::Fill(uint32_t colour) { std::fill(pixels_.begin(), pixels_.end(), colour); }

int32_t RasterContext::Count(uint32_t colour) const {
  return static_cast<int32_t>(std::count(pixels_.begin(), pixels_.end(), colour));
}

void RasterContext::Plot(int32_t x, int32_t y) {
  // A dotted pen draws every other pixel of a line; a wide pen a square.
  bool draw = pen_.style != kPenDot || (dotPhase_ % 2 == 0);
  ++dotPhase_;
  if (!draw) return;
  for (int32_t dy = 0; dy < pen_.width; ++dy) {
    for (int32_t dx = 0; dx < pen_.width; ++dx) {
      int32_t px = x + dx, py = y + dy;
      if (px < 0 || py < 0 || px >= width_ || py >= height_) continue;
      uint32_t& p = pixels_[static_cast<size_t>(py) * width_ + px];
      p = rop_ == kRasterXorPen ? (p ^ pen_.colour) : pen_.colour;
    }
  }
}

void RasterContext::LineTo(int32_t x, int32_t y) {
  // Bresenham without the end point, as the platform's line drawing does.
  int32_t x0 = x_, y0 = y_;
  int32_t dx = std::abs(x - x0), sx = x0 < x ? 1 : -1;
  int32_t dy = -std::abs(y - y0), sy = y0 < y ? 1 : -1;
  int32_t err = dx + dy;
  while (x0 != x || y0 != y) {
    Plot(x0, y0);
    int32_t e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
  x_ = x;
  y_ = y;
}

void RasterContext::FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour) {
  for (int32_t y = std::max(top, 0); y < std::min(bottom, height_); ++y)
    for (int32_t x = std::max(left, 0); x < std::min(right, width_); ++x) pixels_[static_cast<size_t>(y) * width_ + x] = colour;
}

int32_t RasterContext::DrawPixels(const DibPixels& image, int32_t dx, int32_t dy, int32_t dw,
                                  int32_t dh, int32_t sx, int32_t sy, int32_t sw, int32_t sh) {
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return 0;
  const int32_t bpp = image.bitCount / 8;
  for (int32_t y = 0; y < dh; ++y) {
    int32_t srcY = sy + static_cast<int32_t>(static_cast<int64_t>(y) * sh / dh);
    if (srcY < 0 || srcY >= image.height) continue;
    for (int32_t x = 0; x < dw; ++x) {
      int32_t srcX = sx + static_cast<int32_t>(static_cast<int64_t>(x) * sw / dw);
      if (srcX < 0 || srcX >= image.width) continue;
      const uint8_t* p = image.bits + static_cast<ptrdiff_t>(srcY) * image.stride + srcX * bpp;
      uint32_t c = bpp == 1 ? MakeColour(p[0], p[0], p[0]) : MakeColour(p[2], p[1], p[0]);
      Set(dx + x, dy + y, c);
    }
  }
  return 1;
}

}  // namespace vantrel::test

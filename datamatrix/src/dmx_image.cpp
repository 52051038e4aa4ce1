#include "datamatrix/src/dmx_image.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace vantrel::dmx {

double GreyImage::Sample(double x, double y) const {
  if (width < 1 || height < 1) return 0;
  x = std::clamp(x, 0.0, static_cast<double>(width - 1));
  y = std::clamp(y, 0.0, static_cast<double>(height - 1));
  const int32_t x0 = static_cast<int32_t>(x), y0 = static_cast<int32_t>(y);
  const int32_t x1 = std::min(x0 + 1, width - 1), y1 = std::min(y0 + 1, height - 1);
  const double fx = x - x0, fy = y - y0;
  const double top = At(x0, y0) + (At(x1, y0) - At(x0, y0)) * fx;
  const double bottom = At(x0, y1) + (At(x1, y1) - At(x0, y1)) * fx;
  return top + (bottom - top) * fy;
}

namespace {

// The margin takes the lightest picture pixel near it (along the border and
// a few pixels in): light where a symbol runs into the border, so that its
// outer edge shows, and no step where the picture's ground is grey, which
// would look like an edge all along the border.
void FillMargin(int32_t w, int32_t h, GreyImage* g) {
  constexpr int32_t kReach = 8;
  auto at = [&](int32_t x, int32_t y) -> uint8_t& {
    return g->pixels[static_cast<size_t>(y + kMargin) * g->width + x + kMargin];
  };
  // Lightest pixel of the band of depth kReach along one side, around each position.
  auto band = [&](int32_t n, int32_t depth, auto value) {
    std::vector<uint8_t> deep(static_cast<size_t>(n)), m(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
      uint8_t v = 0;
      for (int32_t d = 0; d < depth; ++d) v = std::max(v, value(i, d));
      deep[i] = v;
    }
    for (int32_t i = 0; i < n; ++i) {
      uint8_t v = 0;
      for (int32_t j = std::max(0, i - kReach); j <= std::min(n - 1, i + kReach); ++j) v = std::max(v, deep[j]);
      m[i] = v;
    }
    return m;
  };
  const int32_t dh = std::min(kReach, h), dw = std::min(kReach, w);
  const std::vector<uint8_t> top = band(w, dh, [&](int32_t x, int32_t d) { return at(x, d); });
  const std::vector<uint8_t> bottom = band(w, dh, [&](int32_t x, int32_t d) { return at(x, h - 1 - d); });
  const std::vector<uint8_t> left = band(h, dw, [&](int32_t y, int32_t d) { return at(d, y); });
  const std::vector<uint8_t> right = band(h, dw, [&](int32_t y, int32_t d) { return at(w - 1 - d, y); });
  for (int32_t y = -kMargin; y < h + kMargin; ++y) {
    const bool inside = y >= 0 && y < h;
    for (int32_t x = -kMargin; x < w + kMargin; ++x) {
      if (inside && x == 0) x = w;  // the picture's own pixels
      const int32_t xc = std::clamp(x, 0, w - 1), yc = std::clamp(y, 0, h - 1);
      uint8_t v;
      if (y < 0) v = top[xc];
      else if (y >= h) v = bottom[xc];
      else if (x < 0) v = left[yc];
      else v = right[yc];
      at(x, y) = v;
    }
  }
}

}  // namespace

bool MakeWorkingGrey(const DibView& picture, const DibRect& rect, GreyImage* out) {
  const int32_t depth = picture.bitCount;
  if (depth != 8 && depth != 24) return false;
  const uint8_t* bits = picture.bits;
  if (!bits) return false;
  const int32_t stride = picture.stride;
  const int32_t w = rect.right - rect.left + 1, h = rect.bottom - rect.top + 1;
  if (w < 1 || h < 1) return false;
  try {
    out->width = w + 2 * kMargin;
    out->height = h + 2 * kMargin;
    out->pixels.assign(static_cast<size_t>(out->width) * out->height, kMarginLevel);
  } catch (const std::bad_alloc&) {
    return false;
  }
  const int32_t bpp = depth / 8;
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* src = bits + static_cast<ptrdiff_t>(rect.top + y) * stride + static_cast<ptrdiff_t>(rect.left) * bpp;
    uint8_t* dst = out->pixels.data() + static_cast<size_t>(y + kMargin) * out->width + kMargin;
    if (bpp == 1) {
      std::copy(src, src + w, dst);
    } else {
      for (int32_t x = 0; x < w; ++x) dst[x] = src[3 * x + 2];
    }
  }
  FillMargin(w, h, out);
  return true;
}

bool HalveGrey(const GreyImage& in, GreyImage* out) {
  const int32_t w = in.width / 2, h = in.height / 2;
  if (w < 1 || h < 1) return false;
  try {
    out->width = w;
    out->height = h;
    out->pixels.resize(static_cast<size_t>(w) * h);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* a = in.pixels.data() + static_cast<size_t>(2 * y) * in.width;
    const uint8_t* b = a + in.width;
    uint8_t* d = out->pixels.data() + static_cast<size_t>(y) * w;
    for (int32_t x = 0; x < w; ++x)
      d[x] = static_cast<uint8_t>((a[2 * x] + a[2 * x + 1] + b[2 * x] + b[2 * x + 1] + 2) >> 2);
  }
  return true;
}

bool Projection::Set(const Quad& q) {
  // Unit square to quadrilateral: x = (a u + b v + c) / (g u + h v + 1),
  // y = (d u + e v + f) / (g u + h v + 1).
  const double x0 = q.p00.x, y0 = q.p00.y, x1 = q.p10.x, y1 = q.p10.y;
  const double x2 = q.p11.x, y2 = q.p11.y, x3 = q.p01.x, y3 = q.p01.y;
  const double sx = x0 - x1 + x2 - x3, sy = y0 - y1 + y2 - y3;
  if (std::fabs(sx) < 1e-9 && std::fabs(sy) < 1e-9) {
    a_ = x1 - x0;
    b_ = x3 - x0;
    c_ = x0;
    d_ = y1 - y0;
    e_ = y3 - y0;
    f_ = y0;
    g_ = h_ = 0;
  } else {
    const double dx1 = x1 - x2, dx2 = x3 - x2, dy1 = y1 - y2, dy2 = y3 - y2;
    const double den = dx1 * dy2 - dx2 * dy1;
    if (std::fabs(den) < 1e-12) return false;
    g_ = (sx * dy2 - dx2 * sy) / den;
    h_ = (dx1 * sy - sx * dy1) / den;
    a_ = x1 - x0 + g_ * x1;
    b_ = x3 - x0 + h_ * x3;
    c_ = x0;
    d_ = y1 - y0 + g_ * y1;
    e_ = y3 - y0 + h_ * y3;
    f_ = y0;
  }
  return std::isfinite(a_ + b_ + d_ + e_ + g_ + h_);
}

PointF Projection::Map(double u, double v) const {
  const double w = g_ * u + h_ * v + 1.0;
  if (std::fabs(w) < 1e-12) return PointF{c_, f_};
  return PointF{(a_ * u + b_ * v + c_) / w, (d_ * u + e_ * v + f_) / w};
}

}  // namespace vantrel::dmx

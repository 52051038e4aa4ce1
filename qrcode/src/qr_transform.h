// A projective transform from symbol module coordinates to picture
// coordinates, fixed by four point pairs. Module coordinates are module edges
// (the symbol covers 0 .. N both ways, the centre of module (c, r) lies at
// (c + 0.5, r + 0.5)); picture coordinates are pixel edges (pixel (x, y)
// covers [x, x + 1) x [y, y + 1)).
#ifndef VANTREL_QRCODE_QR_TRANSFORM_H
#define VANTREL_QRCODE_QR_TRANSFORM_H

#include <cmath>

#include "qr_types.h"

namespace vantrel::qr {

class QrTransform {
 public:
  // Maps src[i] onto dst[i]; false when three of either four points lie on a
  // line (or nearly so).
  bool Fit(const QrPoint src[4], const QrPoint dst[4]) {
    double a[9], b[9];
    if (!SquareTo(dst, a) || !SquareTo(src, b)) return false;
    // src -> square is the adjugate of square -> src.
    const double inv[9] = {b[4] * b[8] - b[5] * b[7], b[2] * b[7] - b[1] * b[8], b[1] * b[5] - b[2] * b[4],
                           b[5] * b[6] - b[3] * b[8], b[0] * b[8] - b[2] * b[6], b[2] * b[3] - b[0] * b[5],
                           b[3] * b[7] - b[4] * b[6], b[1] * b[6] - b[0] * b[7], b[0] * b[4] - b[1] * b[3]};
    // m = a * inv (3 x 3, row-major, column vectors (x, y, w)).
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) m_[r * 3 + c] = a[r * 3] * inv[c] + a[r * 3 + 1] * inv[3 + c] + a[r * 3 + 2] * inv[6 + c];
    for (double v : m_)
      if (!std::isfinite(v)) return false;
    return true;
  }

  QrPoint Map(double u, double v) const {
    const double w = m_[6] * u + m_[7] * v + m_[8];
    if (!(std::fabs(w) > 1e-12)) return {-1e9f, -1e9f};
    return {static_cast<float>((m_[0] * u + m_[1] * v + m_[2]) / w),
            static_cast<float>((m_[3] * u + m_[4] * v + m_[5]) / w)};
  }

  // The three rows of the matrix, for incremental mapping along a line.
  const double* Matrix() const { return m_; }

 private:
  // The transform taking the unit square's corners (0,0) (1,0) (1,1) (0,1)
  // onto q[0] q[1] q[3] q[2] in that order: q holds the images of
  // (0,0) (1,0) (0,1) (1,1).
  static bool SquareTo(const QrPoint q[4], double* t) {
    const double x0 = q[0].x, y0 = q[0].y, x1 = q[1].x, y1 = q[1].y;
    const double x3 = q[2].x, y3 = q[2].y, x2 = q[3].x, y2 = q[3].y;
    const double sx = x0 - x1 + x2 - x3, sy = y0 - y1 + y2 - y3;
    double g = 0, h = 0;
    if (std::fabs(sx) > 1e-9 || std::fabs(sy) > 1e-9) {
      const double dx1 = x1 - x2, dx2 = x3 - x2, dy1 = y1 - y2, dy2 = y3 - y2;
      const double den = dx1 * dy2 - dx2 * dy1;
      if (std::fabs(den) < 1e-9) return false;
      g = (sx * dy2 - dx2 * sy) / den;
      h = (dx1 * sy - sx * dy1) / den;
    }
    t[0] = x1 - x0 + g * x1;
    t[1] = x3 - x0 + h * x3;
    t[2] = x0;
    t[3] = y1 - y0 + g * y1;
    t[4] = y3 - y0 + h * y3;
    t[5] = y0;
    t[6] = g;
    t[7] = h;
    t[8] = 1;
    const double det = t[0] * (t[4] * t[8] - t[5] * t[7]) - t[1] * (t[3] * t[8] - t[5] * t[6]) +
                       t[2] * (t[3] * t[7] - t[4] * t[6]);
    return std::fabs(det) > 1e-9;
  }

  double m_[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
};

}  // namespace vantrel::qr

#endif

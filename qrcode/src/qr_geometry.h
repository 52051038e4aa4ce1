// Geometric primitives shared by the candidate, grid and decoding stages.
// Coordinates are binary-image pixels, x to the right and y downwards; angles
// are measured counter-clockwise as seen in an upright picture.
#ifndef VANTREL_QRCODE_QR_GEOMETRY_H
#define VANTREL_QRCODE_QR_GEOMETRY_H

#include <cstdint>

#include "qr_types.h"

namespace vantrel::qr {

// Direction from p to q in radians, in [0, 2 pi).
double Angle(QrPoint p, QrPoint q);
float Distance(QrPoint p, QrPoint q);

// Intersection of the line through p1, p2 with the line through q1, q2; false
// when both are vertical or their slopes are equal.
bool Intersect(QrPoint p1, QrPoint p2, QrPoint q1, QrPoint q2, QrPoint* out);

// The same in two halves, for a line met by many others: a line through two
// points as slope and intercept (or as the x of a vertical line), and the
// meeting of two such lines, with exactly the arithmetic of Intersect.
struct QrLine {
  bool vertical = false;
  float x = 0;  // vertical lines
  float s = 0, t = 0;
};
inline QrLine LineThrough(QrPoint a, QrPoint b) {
  QrLine l;
  if (a.x == b.x) {
    l.vertical = true;
    l.x = a.x;
  } else {
    l.s = (b.y - a.y) / (b.x - a.x);
    l.t = a.y - l.s * a.x;
  }
  return l;
}
bool Meet(const QrLine& p, const QrLine& q, QrPoint* out);

// From a finder centre, walks in direction a across the set core, the clear
// ring and the set outer ring, and gives the pixel where the outer ring ends.
bool RayToEdge(const QrBinaryImage& img, QrPoint centre, double a, QrPixel* edge);

// Follows the outer boundary of a finder's outer ring from the pixel where a
// ray met it, towards smaller (direction -1) or larger (+1) coordinates along
// the side, until the boundary turns away.
QrPixel TraceEdge(const QrBinaryImage& img, QrPoint centre, QrPixel start, int32_t direction);

inline QrPoint ToPoint(QrPixel p) { return {static_cast<float>(p.x), static_cast<float>(p.y)}; }

}  // namespace vantrel::qr

#endif

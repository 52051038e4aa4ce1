// Angle, distance, line intersection, the ray from a finder centre to its outer
// edge and the edge follower.
#include "qr_geometry.h"

#include <cmath>

namespace vantrel::qr {

namespace {
constexpr double kDegreesPerRadian = 57.29577951308232;
}

double Angle(QrPoint p, QrPoint q) {
  const float dx = q.x - p.x, dy = q.y - p.y;
  double degrees = 0;
  if (dy == 0) {
    degrees = dx > 0 ? 0 : 180;
  } else {
    // Float rounding can put |dy| a hair above the distance; asin would give NaN.
    double ratio = std::fabs(static_cast<double>(dy)) / Distance(p, q);
    if (ratio > 1) ratio = 1;
    const double c = std::asin(ratio) * kDegreesPerRadian;
    if (dx > 0) degrees = dy <= 0 ? c : 360 - c;
    else degrees = dy <= 0 ? 180 - c : 180 + c;
  }
  return degrees / kDegreesPerRadian;
}

float Distance(QrPoint p, QrPoint q) {
  const float dx = q.x - p.x, dy = q.y - p.y;
  return std::sqrt(dx * dx + dy * dy);
}

bool Intersect(QrPoint p1, QrPoint p2, QrPoint q1, QrPoint q2, QrPoint* out) {
  return Meet(LineThrough(p1, p2), LineThrough(q1, q2), out);
}

bool Meet(const QrLine& p, const QrLine& q, QrPoint* out) {
  if (p.vertical && q.vertical) return false;
  if (p.vertical || q.vertical) {
    const QrLine& sloped = p.vertical ? q : p;
    const float x = p.vertical ? p.x : q.x;
    *out = {x, sloped.s * x + sloped.t};
    return true;
  }
  if (p.s == q.s) return false;
  const float x = (q.t - p.t) / (p.s - q.s);
  // The flatter line gives the steadier y.
  const float y = std::fabs(p.s) <= std::fabs(q.s) ? p.s * x + p.t : q.s * x + q.t;
  *out = {x, y};
  return true;
}

bool RayToEdge(const QrBinaryImage& img, QrPoint centre, double a, QrPixel* edge) {
  enum class Kind { kVertical, kSteep, kFlat };
  const int32_t x0 = QrRound(centre.x), y0 = QrRound(centre.y);
  Kind kind = Kind::kVertical;
  double g = 0, base = 0;  // cross = round(base + g * stepping coordinate)
  const double cosine = std::cos(a), sine = std::sin(a);
  if (!(std::fabs(cosine) < 0.00001)) {
    const double t = std::tan(a);
    if (QrRound(std::fabs(t) * 10000) > 10000) {
      kind = Kind::kSteep;
      g = -1 / t;
      base = centre.x - g * centre.y;
    } else {
      kind = Kind::kFlat;
      g = -t;
      base = centre.y - g * centre.x;
    }
  }
  const bool stepsInX = kind == Kind::kFlat;
  int32_t dir = 0;
  if (stepsInX) dir = cosine >= 0 ? 1 : -1;
  else dir = sine > 0 ? -1 : 1;  // up the picture for angles above the x axis
  const int32_t size = stepsInX ? img.w : img.h;
  const int32_t crossSize = stepsInX ? img.h : img.w;
  auto crossAt = [&](int32_t pos) {
    return kind == Kind::kVertical ? x0 : QrRound(base + g * pos);
  };
  auto setAt = [&](int32_t pos, int32_t cross) {
    return stepsInX ? img.Set(pos, cross) : img.Set(cross, pos);
  };

  int32_t pos = (stepsInX ? x0 : y0) + dir;
  // Phases 1 and 2: over the set core, then over the clear ring. Meeting the
  // first or last line fails; leaving sideways only ends the phase.
  for (int32_t phase = 0; phase < 2; ++phase) {
    const bool want = phase == 0;
    for (;;) {
      if (pos <= 0 || pos >= size - 1) return false;
      const int32_t cross = crossAt(pos);
      if (kind != Kind::kVertical && (cross < 1 || cross > crossSize - 1)) break;
      if (setAt(pos, cross) != want) break;
      pos += dir;
    }
  }
  // Phase 3: over the set outer ring.
  bool leftImage = false;
  for (;;) {
    if (pos <= 0 || pos >= size - 1) {
      leftImage = true;
      break;
    }
    const int32_t cross = crossAt(pos);
    if (kind != Kind::kVertical && (cross < 1 || cross > crossSize - 1)) {
      leftImage = true;
      break;
    }
    if (!setAt(pos, cross)) break;
    pos += dir;
  }
  int32_t result = 0;
  if (leftImage) result = dir < 0 ? 0 : size - 1;
  else if (dir < 0) result = pos + 1;             // the last set pixel
  else if (kind == Kind::kSteep) result = pos - 1;  // steep rays downwards: the last set pixel too
  else result = pos;                              // the first clear pixel after the ring
  const int32_t cross = crossAt(result);
  QrPixel p = stepsInX ? QrPixel{result, cross} : QrPixel{cross, result};
  if (p.x < 0 || p.x > img.w || p.y < 0 || p.y > img.h) return false;
  *edge = p;
  return true;
}

QrPixel TraceEdge(const QrBinaryImage& img, QrPoint centre, QrPixel start, int32_t direction) {
  const bool alongX = std::fabs(start.y - centre.y) > std::fabs(start.x - centre.x);
  // Outwards across the side: up for the top side, left for the left side.
  const int32_t out = alongX ? (start.y < centre.y ? -1 : 1) : (start.x <= centre.x ? -1 : 1);
  auto setAt = [&](int32_t along, int32_t across) {
    return alongX ? img.Set(along, across) : img.Set(across, along);
  };
  const int32_t alongSize = alongX ? img.w : img.h;
  const int32_t startAcross = alongX ? start.y : start.x;
  int32_t along = alongX ? start.x : start.y;
  int32_t b = startAcross;
  if (!setAt(along, b)) b -= out;

  while (along > 0 && along < alongSize - 1) {
    const int32_t next = along + direction;
    if (setAt(next, b)) {
      along = next;
      for (int32_t k = 0; k < 2 && setAt(along, b + out); ++k) b += out;
    } else {
      if ((b - startAcross) * out > 0) break;  // already outside where the ray met the edge
      if (setAt(next, b - out)) {
        along = next;
        b -= out;
      } else if (setAt(next, b - 2 * out)) {
        along = next;
        b -= 2 * out;
      } else {
        break;
      }
    }
  }
  const int32_t across = out > 0 ? b + 1 : b;
  return alongX ? QrPixel{along, across} : QrPixel{across, along};
}

}  // namespace vantrel::qr

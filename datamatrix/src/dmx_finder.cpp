#include "datamatrix/src/dmx_finder.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace vantrel::dmx {

namespace {

constexpr int32_t kMinContrast = 24;  // grey levels a block must span to have an edge
constexpr int32_t kMinSide = 8;       // pixels: the shortest symbol edge the finder takes
constexpr int32_t kScanStep = 6;      // pixels between scan lines (less than kMinSide)
constexpr int32_t kMaxHullSides = 12; // more sides after simplification: too round for a symbol

// Border fit a candidate needs: the legs must be there nearly all along, the
// timing edges mostly (a blurred or damaged module here and there).
constexpr double kMinLegFit = 0.8;
constexpr double kMinTimingFit = 0.7;
constexpr double kMinTotalFit = 0.82;

// Neighbours clockwise as seen on screen (y downward), starting east.
constexpr int32_t kDx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int32_t kDy[8] = {0, 1, 1, 1, 0, -1, -1, -1};
constexpr int32_t kDirOf[3][3] = {{5, 6, 7}, {4, -1, 0}, {3, 2, 1}};  // [dy + 1][dx + 1]
constexpr int32_t kWest = 4, kNorth = 6;

PointF Sub(PointF a, PointF b) { return {a.x - b.x, a.y - b.y}; }
PointF Add(PointF a, PointF b) { return {a.x + b.x, a.y + b.y}; }
PointF Scale(PointF a, double s) { return {a.x * s, a.y * s}; }
double Dot(PointF a, PointF b) { return a.x * b.x + a.y * b.y; }
double Cross(PointF a, PointF b) { return a.x * b.y - a.y * b.x; }
double Length(PointF a) { return std::sqrt(Dot(a, a)); }
PointF Unit(PointF a) {
  const double l = Length(a);
  return l > 0 ? Scale(a, 1.0 / l) : PointF{};
}

// A line through p along the unit direction d.
struct FitLine {
  PointF p, d;
};

// Total least squares through the points.
bool FitPoints(const std::vector<PointF>& pts, FitLine* out) {
  if (pts.size() < 2) return false;
  double mx = 0, my = 0;
  for (const PointF& p : pts) {
    mx += p.x;
    my += p.y;
  }
  mx /= pts.size();
  my /= pts.size();
  double sxx = 0, syy = 0, sxy = 0;
  for (const PointF& p : pts) {
    sxx += (p.x - mx) * (p.x - mx);
    syy += (p.y - my) * (p.y - my);
    sxy += (p.x - mx) * (p.y - my);
  }
  if (sxx + syy <= 1e-12) return false;
  const double angle = 0.5 * std::atan2(2 * sxy, sxx - syy);
  out->p = {mx, my};
  out->d = {std::cos(angle), std::sin(angle)};
  return true;
}

// Fit, drop the points farther than tol from the line, fit again.
bool FitRobust(std::vector<PointF>* pts, double tol, FitLine* out) {
  if (!FitPoints(*pts, out)) return false;
  const PointF n{-out->d.y, out->d.x};
  std::vector<PointF> kept;
  for (const PointF& p : *pts)
    if (std::fabs(Dot(Sub(p, out->p), n)) <= tol) kept.push_back(p);
  if (kept.size() < 2 || kept.size() == pts->size()) return true;
  *pts = kept;
  return FitPoints(*pts, out);
}

bool Intersect(const FitLine& a, const FitLine& b, PointF* out) {
  const double den = Cross(a.d, b.d);
  if (std::fabs(den) < 1e-9) return false;
  const double t = Cross(Sub(b.p, a.p), b.d) / den;
  *out = Add(a.p, Scale(a.d, t));
  return std::isfinite(out->x) && std::isfinite(out->y);
}

// Where the grey along p + s n (s from +reach down to -reach) first turns to
// the symbol's colour: the outer edge of a module whose outside is along +n.
// The level is the middle of the profile's own darkest and lightest samples.
bool EdgeAlong(const GreyImage& grey, PointF p, PointF n, double reach, bool inverted, double* s) {
  constexpr int32_t kMaxSamples = 128;
  double v[kMaxSamples];
  const double step = std::max(std::clamp(reach / 8, 0.25, 0.5), 2 * reach / (kMaxSamples - 1));
  const int32_t count = std::min(static_cast<int32_t>(2 * reach / step) + 1, kMaxSamples);
  double lo = 255, hi = 0;
  for (int32_t i = 0; i < count; ++i) {
    const double t = reach - i * step;
    v[i] = grey.Sample(p.x + t * n.x, p.y + t * n.y);
    lo = std::min(lo, v[i]);
    hi = std::max(hi, v[i]);
  }
  if (hi - lo < 16) return false;
  const double level = (lo + hi) / 2;
  auto inside = [&](double g) { return inverted ? g > level : g < level; };
  if (inside(v[0])) return false;  // no ground outside the edge
  for (int32_t i = 1; i < count; ++i) {
    if (!inside(v[i])) continue;
    const double f = (v[i - 1] - level) / (v[i - 1] - v[i]);
    *s = reach - (i - 1 + f) * step;
    return true;
  }
  return false;
}

// The outer of two interleaved sets of edge points: the line through all of
// them, then again and again through those on its outer side. A timing edge
// shows its dark modules' outer edges on the line and, at its light modules,
// edges a module deeper.
bool FitOuterEnvelope(std::vector<PointF> pts, PointF outward, FitLine* out) {
  for (int32_t round = 0; round < 3; ++round) {
    if (!FitPoints(pts, out)) return false;
    PointF n{-out->d.y, out->d.x};
    if (Dot(n, outward) < 0) n = Scale(n, -1);
    std::vector<double> r;
    for (const PointF& p : pts) r.push_back(Dot(Sub(p, out->p), n));
    std::vector<double> sorted = r;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double median = sorted[sorted.size() / 2];
    std::vector<PointF> kept;
    for (size_t i = 0; i < pts.size(); ++i)
      if (r[i] >= median - 0.5) kept.push_back(pts[i]);
    if (kept.size() < 3 || kept.size() == pts.size()) break;
    pts = kept;
  }
  return FitPoints(pts, out);
}

bool ConvexQuad(const Quad& q) {
  const PointF c[4] = {q.p00, q.p10, q.p11, q.p01};
  double sign = 0;
  for (int32_t i = 0; i < 4; ++i) {
    const double z = Cross(Sub(c[(i + 1) % 4], c[i]), Sub(c[(i + 2) % 4], c[(i + 1) % 4]));
    if (!std::isfinite(z) || std::fabs(z) < 1e-6) return false;
    if (sign == 0) sign = z;
    else if ((z > 0) != (sign > 0)) return false;
  }
  return true;
}

Quad Mirror(const Quad& q) { return Quad{q.p00, q.p01, q.p11, q.p10}; }

// A quad a symbol can make through a lens: convex, corners between 40 and
// 140 degrees, opposite sides within a factor of two, inside the picture.
bool PlausibleQuad(const Quad& q, int32_t width, int32_t height) {
  if (!ConvexQuad(q)) return false;
  const PointF c[4] = {q.p00, q.p10, q.p11, q.p01};
  for (int32_t i = 0; i < 4; ++i) {
    const PointF p = c[i];
    if (!(p.x >= -1 && p.y >= -1 && p.x <= width && p.y <= height)) return false;
    const PointF a = Sub(c[(i + 3) % 4], p), b = Sub(c[(i + 1) % 4], p);
    const double la = Length(a), lb = Length(b);
    if (la < 1 || lb < 1 || std::fabs(Dot(a, b)) / (la * lb) > 0.77) return false;
  }
  for (int32_t i = 0; i < 2; ++i) {
    const double l1 = Length(Sub(c[i + 1], c[i])), l2 = Length(Sub(c[(i + 3) % 4], c[i + 2]));
    if (l1 > 2 * l2 || l2 > 2 * l1) return false;
  }
  return true;
}

// Solve the 3 x 3 system m x = r (Cramer); false when singular.
bool Solve3(const double m[3][3], const double r[3], double x[3]) {
  auto det = [](const double a[3][3]) {
    return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  };
  const double d = det(m);
  if (std::fabs(d) < 1e-12) return false;
  for (int32_t k = 0; k < 3; ++k) {
    double a[3][3];
    for (int32_t i = 0; i < 3; ++i)
      for (int32_t j = 0; j < 3; ++j) a[i][j] = j == k ? r[i] : m[i][j];
    x[k] = det(a) / d;
  }
  return true;
}

// A plane g = x0 + x1 u + x2 v through samples (u, v, g) by least squares.
struct PlaneFit {
  double m[3][3] = {};
  double r[3] = {};
  int32_t n = 0;
  void Add(double u, double v, double g) {
    const double f[3] = {1, u, v};
    for (int32_t i = 0; i < 3; ++i) {
      for (int32_t j = 0; j < 3; ++j) m[i][j] += f[i] * f[j];
      r[i] += f[i] * g;
    }
    ++n;
  }
  bool Solve(double x[3]) const { return n >= 3 && Solve3(m, r, x); }
};

}  // namespace

// ---------------------------------------------------------------------------
// Binarization

uint8_t Binarized::ThresholdAt(int32_t x, int32_t y) const {
  x = std::clamp(x, 0, width - 1);
  y = std::clamp(y, 0, height - 1);
  return threshold[static_cast<size_t>(y / kBlock) * blocksAcross + x / kBlock];
}

bool Binarize(const GreyImage& grey, Binarized* out) {
  const int32_t W = grey.width, H = grey.height, B = Binarized::kBlock;
  if (W < 1 || H < 1) return false;
  const int32_t bw = (W + B - 1) / B, bh = (H + B - 1) / B;
  out->width = W;
  out->height = H;
  out->blocksAcross = bw;
  out->blocksDown = bh;
  std::vector<int32_t> mean(static_cast<size_t>(bw) * bh);
  std::vector<uint8_t> edge(mean.size());
  // Column minima, maxima and sums over each band of block rows first (the
  // loops run along rows), then over each block's columns.
  std::vector<uint8_t> colMin(static_cast<size_t>(W)), colMax(static_cast<size_t>(W));
  std::vector<uint16_t> colSum(static_cast<size_t>(W));
  for (int32_t by = 0; by < bh; ++by) {
    const int32_t y0 = by * B, y1 = std::min(y0 + B, H);
    std::fill(colMin.begin(), colMin.end(), 255);
    std::fill(colMax.begin(), colMax.end(), 0);
    std::fill(colSum.begin(), colSum.end(), 0);
    for (int32_t y = y0; y < y1; ++y) {
      const uint8_t* row = grey.pixels.data() + static_cast<size_t>(y) * W;
      uint8_t* mn = colMin.data();
      uint8_t* mx = colMax.data();
      uint16_t* sm = colSum.data();
      for (int32_t x = 0; x < W; ++x) {
        mn[x] = std::min(mn[x], row[x]);
        mx[x] = std::max(mx[x], row[x]);
        sm[x] = static_cast<uint16_t>(sm[x] + row[x]);
      }
    }
    for (int32_t bx = 0; bx < bw; ++bx) {
      const int32_t x0 = bx * B, x1 = std::min(x0 + B, W);
      int32_t lo = 255, hi = 0, sum = 0;
      for (int32_t x = x0; x < x1; ++x) {
        lo = std::min<int32_t>(lo, colMin[x]);
        hi = std::max<int32_t>(hi, colMax[x]);
        sum += colSum[x];
      }
      const size_t b = static_cast<size_t>(by) * bw + bx;
      mean[b] = sum / ((x1 - x0) * (y1 - y0));
      edge[b] = hi - lo >= kMinContrast;
    }
  }
  // Sums over the 5 x 5 blocks around each block, from prefix sums.
  std::vector<int32_t> ps(static_cast<size_t>(bw + 1) * (bh + 1), 0), pc(ps.size(), 0);
  auto at = [&](std::vector<int32_t>& v, int32_t x, int32_t y) -> int32_t& {
    return v[static_cast<size_t>(y) * (bw + 1) + x];
  };
  for (int32_t by = 0; by < bh; ++by)
    for (int32_t bx = 0; bx < bw; ++bx) {
      const size_t b = static_cast<size_t>(by) * bw + bx;
      at(ps, bx + 1, by + 1) = at(ps, bx, by + 1) + at(ps, bx + 1, by) - at(ps, bx, by) + (edge[b] ? mean[b] : 0);
      at(pc, bx + 1, by + 1) = at(pc, bx, by + 1) + at(pc, bx + 1, by) - at(pc, bx, by) + (edge[b] ? 1 : 0);
    }
  out->threshold.assign(mean.size(), 0);
  for (int32_t by = 0; by < bh; ++by)
    for (int32_t bx = 0; bx < bw; ++bx) {
      const int32_t xa = std::max(0, bx - 2), xb = std::min(bw, bx + 3);
      const int32_t ya = std::max(0, by - 2), yb = std::min(bh, by + 3);
      const int32_t s = at(ps, xb, yb) - at(ps, xa, yb) - at(ps, xb, ya) + at(ps, xa, ya);
      const int32_t c = at(pc, xb, yb) - at(pc, xa, yb) - at(pc, xb, ya) + at(pc, xa, ya);
      // Flat surroundings: nothing is dark (0 is below every grey level).
      out->threshold[static_cast<size_t>(by) * bw + bx] = static_cast<uint8_t>(c > 0 ? (s + c / 2) / c : 0);
    }
  out->dark.resize(static_cast<size_t>(W) * H);
  std::vector<uint8_t>& levels = colMin;  // each pixel's threshold along one band
  for (int32_t y = 0; y < H; ++y) {
    if (y % B == 0) {
      const uint8_t* t = out->threshold.data() + static_cast<size_t>(y / B) * bw;
      for (int32_t x = 0; x < W; ++x) levels[x] = t[x / B];
    }
    const uint8_t* row = grey.pixels.data() + static_cast<size_t>(y) * W;
    uint8_t* d = out->dark.data() + static_cast<size_t>(y) * W;
    const uint8_t* l = levels.data();
    for (int32_t x = 0; x < W; ++x) d[x] = row[x] < l[x];
  }
  return true;
}

// ---------------------------------------------------------------------------
// Border fit, refinement and sampling

BorderFit FitBorder(const GreyImage& grey, const Binarized& bin, const Quad& quad, const SymbolSize& size,
                    bool inverted) {
  BorderFit fit;
  Projection proj;
  if (!proj.Set(quad)) return fit;
  const int32_t R = size.rows, C = size.cols;
  double onSum = 0, offSum = 0;
  int32_t onCount = 0, offCount = 0;
  auto test = [&](int32_t r, int32_t c, bool wantOn) {
    const PointF p = proj.Module(r, c, R, C);
    if (!(p.x >= 0 && p.y >= 0 && p.x <= grey.width - 1 && p.y <= grey.height - 1)) return false;
    const double v = grey.Sample(p.x, p.y);
    const bool dark = v < bin.ThresholdAt(static_cast<int32_t>(p.x + 0.5), static_cast<int32_t>(p.y + 0.5));
    const bool on = dark != inverted;
    if (on != wantOn) return false;
    if (on) {
      onSum += v;
      ++onCount;
    } else {
      offSum += v;
      ++offCount;
    }
    return true;
  };
  int32_t left = 0, bottom = 0, top = 0, right = 0;
  for (int32_t r = 0; r < R; ++r) left += test(r, 0, true);
  for (int32_t c = 1; c < C; ++c) bottom += test(R - 1, c, true);
  for (int32_t c = 1; c < C; ++c) top += test(0, c, c % 2 == 0);
  for (int32_t r = 1; r < R - 1; ++r) right += test(r, C - 1, (R - 1 - r) % 2 == 0);
  fit.left = static_cast<double>(left) / R;
  fit.bottom = static_cast<double>(bottom) / (C - 1);
  fit.top = static_cast<double>(top) / (C - 1);
  fit.right = static_cast<double>(right) / (R - 2);
  fit.total = static_cast<double>(left + bottom + top + right) / (2 * R + 2 * C - 4);
  fit.onLevel = onCount ? onSum / onCount : 0;
  fit.offLevel = offCount ? offSum / offCount : 0;
  return fit;
}

bool RefineQuad(const GreyImage& grey, const SymbolSize& size, bool inverted, Quad* quad) {
  Projection proj;
  if (!proj.Set(*quad)) return false;
  const int32_t R = size.rows, C = size.cols;
  const double pitch = std::min((Length(Sub(quad->p10, quad->p00)) + Length(Sub(quad->p11, quad->p01))) / (2.0 * C),
                                (Length(Sub(quad->p01, quad->p00)) + Length(Sub(quad->p11, quad->p10))) / (2.0 * R));
  const double reach = std::clamp(0.75 * pitch, 1.5, 12.0);
  const PointF centre = proj.Map(0.5, 0.5);
  FitLine lines[4];  // left, bottom, right, top
  for (int32_t side = 0; side < 4; ++side) {
    std::vector<PointF> pts;
    const int32_t n = side % 2 == 0 ? R : C;
    for (int32_t i = 1; i + 1 < n; ++i) {
      double u = 0, v = 0;
      bool dark = true;
      switch (side) {
        case 0: u = 0; v = 1.0 - (i + 0.5) / R; break;                      // left leg, row i
        case 1: u = (i + 0.5) / C; v = 0; break;                            // bottom leg, column i
        case 2: u = 1; v = 1.0 - (i + 0.5) / R; dark = (R - 1 - i) % 2 == 0; break;  // right timing
        case 3: u = (i + 0.5) / C; v = 1; dark = i % 2 == 0; break;         // top timing
      }
      if (!dark) continue;
      const PointF p = proj.Map(u, v);
      // Outward: along the side's normal, away from the centre.
      const PointF along = side % 2 == 0 ? Sub(proj.Map(u, std::min(1.0, v + 0.01)), proj.Map(u, std::max(0.0, v - 0.01)))
                                         : Sub(proj.Map(std::min(1.0, u + 0.01), v), proj.Map(std::max(0.0, u - 0.01), v));
      PointF nrm = Unit(PointF{-along.y, along.x});
      if (Dot(nrm, Sub(p, centre)) < 0) nrm = Scale(nrm, -1);
      double s = 0;
      if (EdgeAlong(grey, p, nrm, reach, inverted, &s)) pts.push_back(Add(p, Scale(nrm, s)));
    }
    if (pts.size() < 2) return false;
    if (!FitRobust(&pts, std::max(1.0, 0.35 * pitch), &lines[side])) return false;
  }
  Quad q;
  if (!Intersect(lines[0], lines[1], &q.p00) || !Intersect(lines[1], lines[2], &q.p10) ||
      !Intersect(lines[2], lines[3], &q.p11) || !Intersect(lines[3], lines[0], &q.p01)) {
    return false;
  }
  if (!ConvexQuad(q)) return false;
  const double limit = 2.0 * pitch + 2.0;
  if (Length(Sub(q.p00, quad->p00)) > limit || Length(Sub(q.p10, quad->p10)) > limit ||
      Length(Sub(q.p11, quad->p11)) > limit || Length(Sub(q.p01, quad->p01)) > limit) {
    return false;
  }
  *quad = q;
  return true;
}

bool SampleModules(const GreyImage& grey, const Quad& quad, const SymbolSize& size, bool inverted,
                   ModuleGrid* out) {
  Projection proj;
  if (!proj.Set(quad)) return false;
  const int32_t R = size.rows, C = size.cols;
  std::vector<double> v(static_cast<size_t>(R) * C);
  for (int32_t r = 0; r < R; ++r)
    for (int32_t c = 0; c < C; ++c) {
      const PointF p = proj.Module(r, c, R, C);
      v[static_cast<size_t>(r) * C + c] = grey.Sample(p.x, p.y);
    }
  auto uOf = [&](int32_t c) { return (c + 0.5) / C; };
  auto vOf = [&](int32_t r) { return 1.0 - (r + 0.5) / R; };
  // The finder's level from the legs, the ground's from the light timing
  // modules: planes, so that light falling off across the symbol is followed.
  PlaneFit on, off;
  for (int32_t r = 0; r < R; ++r) on.Add(uOf(0), vOf(r), v[static_cast<size_t>(r) * C]);
  for (int32_t c = 1; c < C; ++c) on.Add(uOf(c), vOf(R - 1), v[static_cast<size_t>(R - 1) * C + c]);
  for (int32_t c = 1; c < C; c += 2) off.Add(uOf(c), vOf(0), v[static_cast<size_t>(c)]);
  for (int32_t r = 0; r < R - 1; ++r)
    if ((R - 1 - r) % 2 == 1) off.Add(uOf(C - 1), vOf(r), v[static_cast<size_t>(r) * C + C - 1]);
  double a[3], b[3];
  if (!on.Solve(a) || !off.Solve(b)) return false;
  if (std::fabs((a[0] + 0.5 * a[1] + 0.5 * a[2]) - (b[0] + 0.5 * b[1] + 0.5 * b[2])) < 10) return false;
  out->rows = R;
  out->cols = C;
  out->on.assign(v.size(), 0);
  for (int32_t r = 0; r < R; ++r)
    for (int32_t c = 0; c < C; ++c) {
      const double u = uOf(c), w = vOf(r);
      const double level = 0.5 * ((a[0] + a[1] * u + a[2] * w) + (b[0] + b[1] * u + b[2] * w));
      const double g = v[static_cast<size_t>(r) * C + c];
      out->on[static_cast<size_t>(r) * C + c] = (inverted ? g > level : g < level) ? 1 : 0;
    }
  return true;
}

// ---------------------------------------------------------------------------
// The finder

Finder::Finder(const GreyImage& grey, const Binarized& bin, std::vector<uint8_t>* visited)
    : grey_(grey), bin_(bin), visited_(*visited) {
  visited_.assign(static_cast<size_t>(grey.width) * grey.height, 0);
  const int32_t cy = grey.height / 2, cx = grey.width / 2;
  // Rows and columns by their distance from the middle, a row before a column.
  for (int32_t k = 0;; ++k) {
    bool any = false;
    for (int32_t sign : {1, -1}) {
      if (k == 0 && sign < 0) continue;
      const int32_t y = cy + sign * k * kScanStep, x = cx + sign * k * kScanStep;
      if (y >= 0 && y < grey.height) {
        lines_.push_back(Line{false, y});
        any = true;
      }
      // Columns at twice the spacing: they only add the few outlines that
      // no row crossed.
      if (x >= 0 && x < grey.width && k % 2 == 0) {
        lines_.push_back(Line{true, x});
        any = true;
      } else if (x >= 0 && x < grey.width) {
        any = true;
      }
    }
    if (!any) break;
  }
}

bool Finder::Fg(int32_t x, int32_t y, bool inverted) const {
  if (x < 0 || y < 0 || x >= bin_.width || y >= bin_.height) return false;
  return bin_.Dark(x, y) != inverted;
}

bool Finder::Covered(int32_t x, int32_t y) const {
  const PointF p{static_cast<double>(x), static_cast<double>(y)};
  for (const Quad& q : covered_) {
    const PointF c[4] = {q.p00, q.p10, q.p11, q.p01};
    int32_t pos = 0, neg = 0;
    for (int32_t i = 0; i < 4; ++i) {
      const double z = Cross(Sub(c[(i + 1) % 4], c[i]), Sub(p, c[i]));
      (z >= 0 ? pos : neg)++;
    }
    if (pos == 4 || neg == 4) return true;
  }
  return false;
}

void Finder::Cover(const Quad& q) { covered_.push_back(q); }

// Follows the outline of the region of (x, y) clockwise (Moore neighbours),
// backDir pointing at a neighbour outside the region. False when the outline
// is longer than any symbol's could be.
bool Finder::Trace(int32_t sx, int32_t sy, int32_t backDir, bool inverted) {
  ++stats_.traced;
  contour_.clear();
  const uint8_t bit = inverted ? 2 : 1;
  const int32_t maxLength = 16 * (grey_.width + grey_.height);
  int32_t x = sx, y = sy, back = backDir, first = -1;
  for (int32_t step = 0; step < maxLength; ++step) {
    visited_[static_cast<size_t>(y) * grey_.width + x] |= bit;
    int32_t next = -1;
    for (int32_t k = 1; k <= 8; ++k) {
      const int32_t d = (back + k) & 7;
      if (Fg(x + kDx[d], y + kDy[d], inverted)) {
        next = d;
        break;
      }
    }
    if (next < 0) {  // a single pixel
      contour_.push_back(x);
      contour_.push_back(y);
      return true;
    }
    if (x == sx && y == sy) {
      if (first < 0) {
        first = next;
      } else if (next == first) {
        return true;
      }
    }
    contour_.push_back(x);
    contour_.push_back(y);
    const int32_t b = (next + 7) & 7;
    const int32_t bx = x + kDx[b], by = y + kDy[b];
    x += kDx[next];
    y += kDy[next];
    back = kDirOf[by - y + 1][bx - x + 1];
  }
  return false;
}

bool Finder::Next(Candidate* out, const Deadline& deadline) {
  while (line_ < static_cast<int32_t>(lines_.size())) {
    // The middle row is always searched: a limit shorter than making the
    // working picture still reads a symbol that lies there.
    if (pos_ == 1 && line_ > 0 && deadline.Passed()) return false;
    const Line l = lines_[line_];
    const int32_t length = l.vertical ? grey_.height : grey_.width;
    for (; pos_ < length; ++pos_) {
      const int32_t x = l.vertical ? l.index : pos_, y = l.vertical ? pos_ : l.index;
      const int32_t px = l.vertical ? x : x - 1, py = l.vertical ? y - 1 : y;
      const bool here = bin_.Dark(x, y);
      if (here == bin_.Dark(px, py)) continue;
      const bool inverted = !here;  // entering light: a light region's outline
      const uint8_t bit = inverted ? 2 : 1;
      if (visited_[static_cast<size_t>(y) * grey_.width + x] & bit) continue;
      if (!covered_.empty() && Covered(x, y)) continue;
      if (!Trace(x, y, l.vertical ? kNorth : kWest, inverted)) continue;
      if (Evaluate(inverted, out)) {
        ++pos_;
        return true;
      }
    }
    ++line_;
    pos_ = 1;
  }
  return false;
}

bool Finder::Evaluate(bool inverted, Candidate* out) {
  const size_t n = contour_.size() / 2;
  if (n < 3 * kMinSide) return false;
  int32_t minX = contour_[0], maxX = minX, minY = contour_[1], maxY = minY;
  double area2 = 0;
  for (size_t i = 0; i < n; ++i) {
    const int32_t x = contour_[2 * i], y = contour_[2 * i + 1];
    minX = std::min(minX, x);
    maxX = std::max(maxX, x);
    minY = std::min(minY, y);
    maxY = std::max(maxY, y);
    const size_t j = (i + 1) % n;
    area2 += static_cast<double>(x) * contour_[2 * j + 1] - static_cast<double>(contour_[2 * j]) * y;
  }
  // Too small, or a hole (wound the other way round).
  // Every symbol, at any angle, is at least kMinSide across both ways.
  if (std::min(maxX - minX, maxY - minY) + 1 < kMinSide - 1) return false;
  if (area2 <= 0) return false;

  // Convex hull (monotone chain), clockwise on screen like the outline. Only
  // the top and bottom outline pixel of each column can be on it, and taken
  // column by column they come sorted.
  const int32_t columns = maxX - minX + 1;
  colTop_.assign(static_cast<size_t>(columns), INT32_MAX);
  colBottom_.assign(static_cast<size_t>(columns), INT32_MIN);
  for (size_t i = 0; i < n; ++i) {
    const size_t c = static_cast<size_t>(contour_[2 * i] - minX);
    colTop_[c] = std::min(colTop_[c], contour_[2 * i + 1]);
    colBottom_[c] = std::max(colBottom_[c], contour_[2 * i + 1]);
  }
  std::vector<std::pair<int32_t, int32_t>> pts;
  pts.reserve(2 * static_cast<size_t>(columns));
  for (int32_t c = 0; c < columns; ++c) {
    if (colTop_[c] == INT32_MAX) continue;
    pts.emplace_back(minX + c, colTop_[c]);
    if (colBottom_[c] != colTop_[c]) pts.emplace_back(minX + c, colBottom_[c]);
  }
  if (pts.size() < 3) return false;
  std::vector<PointF> hull(2 * pts.size());
  size_t k = 0;
  auto turn = [](PointF o, PointF a, std::pair<int32_t, int32_t> b) {
    return Cross(Sub(a, o), PointF{b.first - o.x, b.second - o.y});
  };
  for (size_t i = 0; i < pts.size(); ++i) {
    while (k >= 2 && turn(hull[k - 2], hull[k - 1], pts[i]) <= 0) --k;
    hull[k++] = PointF{static_cast<double>(pts[i].first), static_cast<double>(pts[i].second)};
  }
  for (size_t i = pts.size() - 1, lower = k + 1; i-- > 0;) {
    while (k >= lower && turn(hull[k - 2], hull[k - 1], pts[i]) <= 0) --k;
    hull[k++] = PointF{static_cast<double>(pts[i].first), static_cast<double>(pts[i].second)};
  }
  hull.resize(k - 1);
  if (hull.size() < 3) return false;
  double hullArea2 = 0;
  for (size_t i = 0; i < hull.size(); ++i) hullArea2 += Cross(hull[i], hull[(i + 1) % hull.size()]);
  // The outline of a symbol fills most of its hull; stray shapes and
  // labyrinths of texture do not.
  if (hullArea2 <= 0 || area2 < 0.25 * hullArea2) return false;

  // The hull's long sides: Douglas-Peucker on the closed polygon, split at the
  // vertex farthest from the first one.
  const double size = std::max(maxX - minX, maxY - minY);
  const double eps = std::max(1.0, 0.02 * size);
  size_t far = 0;
  for (size_t i = 1; i < hull.size(); ++i)
    if (Length(Sub(hull[i], hull[0])) > Length(Sub(hull[far], hull[0]))) far = i;
  std::vector<uint8_t> keep(hull.size(), 0);
  keep[0] = keep[far] = 1;
  std::vector<std::pair<size_t, size_t>> stack = {{0, far}, {far, hull.size()}};
  while (!stack.empty()) {
    const auto [a, b] = stack.back();
    stack.pop_back();
    const PointF pa = hull[a], pb = hull[b % hull.size()];
    const PointF d = Unit(Sub(pb, pa));
    double worst = 0;
    size_t at = 0;
    for (size_t i = a + 1; i < b; ++i) {
      const double dist = std::fabs(Cross(d, Sub(hull[i], pa)));
      if (dist > worst) {
        worst = dist;
        at = i;
      }
    }
    if (worst > eps) {
      keep[at] = 1;
      stack.push_back({a, at});
      stack.push_back({at, b});
    }
  }
  std::vector<PointF> poly;
  for (size_t i = 0; i < hull.size(); ++i)
    if (keep[i]) poly.push_back(hull[i]);
  // A leg bent a little by the lens is still one side.
  for (bool merged = true; merged && poly.size() > 3;) {
    merged = false;
    for (size_t i = 0; i < poly.size() && poly.size() > 3; ++i) {
      const PointF a = poly[(i + poly.size() - 1) % poly.size()], b = poly[i], c = poly[(i + 1) % poly.size()];
      if (Dot(Unit(Sub(b, a)), Unit(Sub(c, b))) > std::cos(10 * M_PI / 180)) {
        poly.erase(poly.begin() + static_cast<std::ptrdiff_t>(i));
        merged = true;
      }
    }
  }
  const size_t m = poly.size();
  if (m < 3 || m > kMaxHullSides) return false;

  // Each side: its length and how much of it the outline runs along.
  struct Side {
    PointF a, b, d, out;  // ends, unit direction, outward normal
    double length = 0, cover = 0;
    std::vector<PointF> along;  // outline pixels on the side
  };
  std::vector<Side> sides(m);
  std::vector<uint8_t> bins;
  std::vector<PointF> near;
  for (size_t i = 0; i < m; ++i) {
    Side& s = sides[i];
    s.a = poly[i];
    s.b = poly[(i + 1) % m];
    s.length = Length(Sub(s.b, s.a));
    s.d = Unit(Sub(s.b, s.a));
    s.out = PointF{s.d.y, -s.d.x};
    if (s.length < kMinSide - 1) continue;
    // The outline pixels near the hull side. Where few of them lie on it, a
    // speck on the edge may have tilted the hull side away from the edge:
    // the line through them decides then.
    near.clear();
    for (size_t j = 0; j < n; ++j) {
      const PointF p{static_cast<double>(contour_[2 * j]), static_cast<double>(contour_[2 * j + 1])};
      const PointF r = Sub(p, s.a);
      const double t = Dot(r, s.d);
      if (t < 0 || t > s.length || std::fabs(Dot(r, s.out)) > 3.0) continue;
      near.push_back(p);
    }
    // Bins of 1.5 pixels: along a slanted edge neighbouring outline pixels
    // lie up to 1.41 pixels apart.
    constexpr double kBin = 1.5;
    auto cover = [&](const FitLine& line) {
      const PointF out{line.d.y, -line.d.x};
      bins.assign(static_cast<size_t>(s.length / kBin) + 1, 0);
      s.along.clear();
      for (const PointF& p : near) {
        if (std::fabs(Dot(Sub(p, line.p), out)) > 1.2) continue;
        const double t = Dot(Sub(p, s.a), s.d);
        bins[static_cast<size_t>(std::clamp(t, 0.0, s.length) / kBin)] = 1;
        s.along.push_back(p);
      }
      // The middle of the side: blur rounds its ends.
      const size_t from = bins.size() / 10, to = bins.size() - bins.size() / 10;
      int32_t hit = 0;
      for (size_t k = from; k < to; ++k) hit += bins[k];
      return static_cast<double>(hit) / static_cast<double>(to - from);
    };
    s.cover = cover(FitLine{s.a, s.d});
    if (s.cover >= 0.15 && s.cover < 0.7 && near.size() >= 3) {
      std::vector<PointF> pts = near;
      FitLine line;
      if (FitRobust(&pts, 1.0, &line)) {
        if (Dot(line.d, s.d) < 0) line.d = Scale(line.d, -1);
        const std::vector<PointF> before = s.along;
        const double c = cover(line);
        if (c > s.cover) {
          s.cover = c;
        } else {
          s.along = before;
        }
      }
    }
  }

  // A side's line: through the outline pixels along it, half a pixel out to
  // their outer edge.
  auto sideLine = [&](const Side& s) {
    FitLine line{Add(s.a, Scale(s.out, 0.5)), s.d};
    std::vector<PointF> pts = s.along;
    if (pts.size() >= 3 && FitRobust(&pts, 1.0, &line)) {
      if (Dot(line.d, s.d) < 0) line.d = Scale(line.d, -1);
      line.p = Add(line.p, Scale(s.out, 0.5));
    }
    return line;
  };

  // The L: two long sides that the outline follows nearly all along, meeting
  // at about a right angle, perhaps with a short bevel between them where
  // blur rounds the corner. Every such corner is a reading to try: blur can
  // make the timing edges look solid too.
  struct Corner {
    size_t in, out;  // sides into and out of the corner
    double weight;
  };
  std::vector<Corner> corners;
  auto solid = [&](const Side& s) { return s.length >= kMinSide - 1 && s.cover >= 0.7; };
  for (size_t i = 0; i < m; ++i) {
    const Side& a = sides[i];
    if (!solid(a)) continue;
    for (size_t gap = 1; gap <= 2; ++gap) {
      const Side& b = sides[(i + gap) % m];
      if (!solid(b)) continue;
      if (gap == 2 && sides[(i + 1) % m].length > 0.2 * std::min(a.length, b.length)) continue;
      const double cosAngle = -Dot(a.d, b.d);  // interior angle between the legs
      if (std::fabs(cosAngle) > 0.55) continue;
      const double ratio = a.length / b.length;
      if (ratio > 20 || ratio < 1.0 / 20) continue;
      corners.push_back(Corner{i, (i + gap) % m, a.length * a.cover + b.length * b.cover});
    }
  }
  if (corners.empty()) return false;
  ++stats_.legs;
  std::sort(corners.begin(), corners.end(), [](const Corner& a, const Corner& b) { return a.weight > b.weight; });
  if (corners.size() > 4) corners.resize(4);

  // Quick looks at a quad in the usual turn before any fitting: a symbol is
  // partly dark inside, and its two far sides change colour again and again
  // just inside their edge. The changes along each far side estimate its
  // module count.
  const auto fgAt = [&](PointF p) {
    const int32_t x = static_cast<int32_t>(p.x + 0.5), y = static_cast<int32_t>(p.y + 0.5);
    return Fg(x, y, inverted);
  };
  auto looksLikeSymbol = [&](const Quad& q, int32_t* across, int32_t* down) {
    Projection proj;
    if (!proj.Set(q)) return false;
    int32_t fg = 0;
    for (int32_t i = 0; i < 8; ++i)
      for (int32_t j = 0; j < 8; ++j) fg += fgAt(proj.Map(0.1 + 0.8 * i / 7, 0.1 + 0.8 * j / 7));
    if (fg < 10 || fg > 56) return false;
    // Along the top (v = 1) and the right (u = 1) sides, a little inside.
    int32_t changes[2] = {0, 0};
    for (int32_t side = 0; side < 2; ++side) {
      const PointF a = side == 0 ? q.p01 : q.p10, b = q.p11;
      const double len = Length(Sub(b, a));
      const double other = side == 0 ? Length(Sub(q.p01, q.p00)) : Length(Sub(q.p10, q.p00));
      const double step = len < 150 ? 0.5 : 1.0;
      const int32_t samples = static_cast<int32_t>(len / step);
      for (double inset : {0.7, 1.5, 3.0}) {
        if (inset > other / 8) break;
        const double f = inset / other;
        // A change counts once it holds for a pixel: the steps of a slanted
        // edge must not count.
        const int32_t hold = step < 1.0 ? 2 : 1;
        int32_t count = 0, run = 0;
        bool state = false;
        for (int32_t k = 0; k <= samples; ++k) {
          const double t = (k + 0.5) / (samples + 1);
          const PointF p = side == 0 ? proj.Map(t, 1 - f) : proj.Map(1 - f, t);
          const bool now = fgAt(p);
          if (k == 0) {
            state = now;
          } else if (now == state) {
            run = 0;
          } else if (++run >= hold) {
            state = now;
            run = 0;
            ++count;
          }
        }
        changes[side] = std::max(changes[side], count);
      }
    }
    if (changes[0] < 4 || changes[1] < 4) return false;
    *across = changes[0] + 1;
    *down = changes[1] + 1;
    return true;
  };

  bool found = false;
  Candidate best;
  // Sizes and readings for a quad in the usual turn: the best border fit,
  // leniently on the dark/light map at first (the corners may still be off by
  // a pixel or two), then strictly on the grey after the corners were fitted
  // to the border modules.
  auto classify = [&](const Quad& q, int32_t across, int32_t down) {
    const double bottomLen = (Length(Sub(q.p10, q.p00)) + Length(Sub(q.p11, q.p01))) / 2;
    const double leftLen = (Length(Sub(q.p01, q.p00)) + Length(Sub(q.p11, q.p10))) / 2;
    Candidate c;
    bool any = false;
    for (int32_t reading = 0; reading < 2; ++reading) {
      const Quad rq = reading == 0 ? q : Mirror(q);
      const double acrossLen = reading == 0 ? bottomLen : leftLen, downLen = reading == 0 ? leftLen : bottomLen;
      const int32_t cols = reading == 0 ? across : down, rows = reading == 0 ? down : across;
      Projection proj;
      if (!proj.Set(rq)) continue;
      for (const SymbolSize& s : kSymbolSizes) {
        const double px = acrossLen / s.cols, py = downLen / s.rows;
        if (px < 0.8 || py < 0.8 || px / py > 1.6 || py / px > 1.6) continue;
        // Blur can hide changes, a spot can add one: the counts are a guide.
        if (std::abs(s.cols - cols) > std::max(3, s.cols / 3) || std::abs(s.rows - rows) > std::max(3, s.rows / 3))
          continue;
        int32_t hit = 0, total = 0, top = 0, right = 0;
        auto test = [&](int32_t r, int32_t col, bool want) {
          ++total;
          const bool ok = fgAt(proj.Module(r, col, s.rows, s.cols)) == want;
          hit += ok;
          return ok;
        };
        for (int32_t r = 0; r < s.rows; ++r) test(r, 0, true);
        for (int32_t col = 1; col < s.cols; ++col) test(s.rows - 1, col, true);
        if (hit < (kMinLegFit - 0.1) * total) continue;
        for (int32_t col = 1; col < s.cols; ++col) top += test(0, col, col % 2 == 0);
        for (int32_t r = 1; r < s.rows - 1; ++r) right += test(r, s.cols - 1, (s.rows - 1 - r) % 2 == 0);
        if (top < (kMinTimingFit - 0.15) * (s.cols - 1) || right < (kMinTimingFit - 0.15) * (s.rows - 2)) continue;
        const double score = static_cast<double>(hit) / total;
        // A square's border reads the same both ways round: the first reading
        // stands, and the decoder tries the other when it fails.
        if (score < kMinTotalFit - 0.1 || (any && score <= c.score)) continue;
        any = true;
        c.quad = rq;
        c.size = &s;
        c.mirrored = reading == 1;
        c.score = score;
      }
    }
    if (!any) return;
    Quad refined = c.quad;
    for (int32_t pass = 0; pass < 3; ++pass) {
      Quad next = refined;
      if (!RefineQuad(grey_, *c.size, inverted, &next)) break;
      refined = next;
    }
    if (!PlausibleQuad(refined, grey_.width, grey_.height)) return;
    const BorderFit f = FitBorder(grey_, bin_, refined, *c.size, inverted);
    if (f.left < kMinLegFit || f.bottom < kMinLegFit || f.top < kMinTimingFit || f.right < kMinTimingFit ||
        f.total < kMinTotalFit) {
      return;
    }
    if (found && f.total <= best.score) return;
    found = true;
    best = c;
    best.quad = refined;
    best.inverted = inverted;
    best.score = f.total;
    best.onLevel = f.onLevel;
    best.offLevel = f.offLevel;
  };
  auto tryQuad = [&](const Quad& q) {
    int32_t across = 0, down = 0;
    if (PlausibleQuad(q, grey_.width, grey_.height) && looksLikeSymbol(q, &across, &down)) classify(q, across, down);
  };
  // The usual turn: the bottom leg to the left leg is counter-clockwise as
  // printed (negative in y-down coordinates).
  auto usualTurn = [](PointF p00, PointF pb, PointF p11, PointF pa) {
    return Cross(Sub(pb, p00), Sub(pa, p00)) > 0 ? Quad{p00, pa, p11, pb} : Quad{p00, pb, p11, pa};
  };
  // Fitting the far sides anew is the finder's dearest step: twice per
  // outline at most (a box of solid sides has four corners to offer).
  int32_t refits = 2;
  for (const Corner& c : corners) {
    const Side& legA = sides[c.in];
    const Side& legB = sides[c.out];
    const FitLine la = sideLine(legA), lb = sideLine(legB);
    PointF p00;
    if (!Intersect(la, lb, &p00)) continue;
    // The legs' far ends: the hull's vertices there, on the fitted lines and
    // half a pixel out to the outer edge of their last pixels.
    auto farEnd = [&](const FitLine& l, PointF v) {
      PointF d = l.d;
      if (Dot(d, Sub(v, p00)) < 0) d = Scale(d, -1);
      return Add(p00, Scale(d, Dot(Sub(v, p00), d) + 0.5));
    };
    const PointF pa = farEnd(la, legA.a), pb = farEnd(lb, legB.b);
    if (std::min(Length(Sub(pa, p00)), Length(Sub(pb, p00))) < kMinSide - 1) continue;
    // Solid just inside both legs: worth fitting the far sides anew when the
    // first quads do not fit (the fitting is the finder's dearest step).
    bool legs = true;
    for (const PointF& end : {pa, pb}) {
      const PointF other = Length(Sub(end, pa)) < 1e-9 ? pb : pa;
      const PointF d = Sub(end, p00), inward = Scale(Unit(Sub(other, p00)), 0.6);
      int32_t solidCount = 0;
      for (int32_t k = 1; k <= 16; ++k) solidCount += fgAt(Add(Add(p00, Scale(d, (k - 0.5) / 16)), inward));
      legs = legs && solidCount >= 12;
    }

    // The sides across from the legs, when the outline runs round them: the
    // first long hull side after leg B and the last long one before leg A.
    size_t sc = m, sa = m;
    for (size_t j = 1; j < m; ++j) {
      const size_t i = (c.out + j) % m;
      if (i == c.in) break;
      if (sides[i].length >= 0.3 * legA.length) {
        sc = i;
        break;
      }
    }
    for (size_t j = 1; j < m; ++j) {
      const size_t i = (c.in + m - j) % m;
      if (i == c.out) break;
      if (sides[i].length >= 0.3 * legB.length) {
        sa = i;
        break;
      }
    }
    // The sides across, fitted anew to the outer edges of the dark modules
    // along them, starting from the lines through pa and pb to a guess of the
    // fourth corner.
    auto farSides = [&](PointF fa, PointF fb, PointF g11, Quad* q) {
      if (refits-- <= 0) return false;
      FitLine far[2];  // through fa (across leg B's end) and through fb (across leg A's end)
      for (int32_t k = 0; k < 2; ++k) {
        const PointF from = k == 0 ? fa : fb;
        const PointF dir = Sub(g11, from);
        const double len = Length(dir);
        const PointF d = Unit(dir);
        PointF outward{-d.y, d.x};
        if (Dot(outward, Sub(from, p00)) < 0) outward = Scale(outward, -1);
        const double reach = std::max(3.0, 0.15 * Length(Sub(from, p00)));
        std::vector<PointF> edge;
        const int32_t steps = std::clamp(static_cast<int32_t>(len / 2), 8, 120);
        for (int32_t i = 0; i <= steps; ++i) {
          const double t = len * (0.05 + 0.9 * i / steps);
          const PointF a = Add(from, Scale(d, t));
          double off = 0;
          if (EdgeAlong(grey_, a, outward, reach, inverted, &off)) edge.push_back(Add(a, Scale(outward, off)));
        }
        if (edge.size() < 6 || !FitOuterEnvelope(edge, outward, &far[k])) return false;
      }
      PointF qa, qb, q11;
      if (!Intersect(la, far[0], &qa) || !Intersect(lb, far[1], &qb) || !Intersect(far[0], far[1], &q11)) return false;
      *q = usualTurn(p00, qb, q11, qa);
      return true;
    };
    int32_t across = 0, down = 0;
    if (sc != m && sa != m && sc != sa) {
      const FitLine lc = sideLine(sides[sc]), lac = sideLine(sides[sa]);
      PointF qb, qa, q11;
      if (Intersect(lb, lc, &qb) && Intersect(la, lac, &qa) && Intersect(lc, lac, &q11)) {
        const Quad hullQuad = usualTurn(p00, qb, q11, qa);
        if (PlausibleQuad(hullQuad, grey_.width, grey_.height) && looksLikeSymbol(hullQuad, &across, &down)) {
          classify(hullQuad, across, down);
          // The hull's far sides can be tilted by a module or two where
          // timing modules hang together with data modules.
          Quad q;
          if (!found && legs && farSides(qa, qb, q11, &q)) tryQuad(q);
          if (found) continue;
        }
      }
    }
    if (found) continue;
    // The timing modules need not hang together with the L: the sides across
    // are then looked for from the legs' ends, starting from the
    // parallelogram the legs span.
    const PointF g11 = Sub(Add(pa, pb), p00);
    const Quad guess = usualTurn(p00, pb, g11, pa);
    if (!PlausibleQuad(guess, grey_.width, grey_.height) || !looksLikeSymbol(guess, &across, &down)) continue;
    classify(guess, across, down);
    Quad q;
    if (!found && legs && farSides(pa, pb, g11, &q)) tryQuad(q);
  }
  if (!found) return false;
  if (best.size->rows == best.size->cols) {
    const BorderFit other = FitBorder(grey_, bin_, Mirror(best.quad), *best.size, inverted);
    if (other.total >= best.score - 0.02) best.ambiguous = true;
  }
  const PointF c[4] = {best.quad.p00, best.quad.p10, best.quad.p11, best.quad.p01};
  double x0 = c[0].x, x1 = c[0].x, y0 = c[0].y, y1 = c[0].y;
  for (const PointF& p : c) {
    x0 = std::min(x0, p.x);
    x1 = std::max(x1, p.x);
    y0 = std::min(y0, p.y);
    y1 = std::max(y1, p.y);
  }
  best.box = DibRect{static_cast<int32_t>(std::floor(x0)), static_cast<int32_t>(std::floor(y0)),
                     static_cast<int32_t>(std::ceil(x1)), static_cast<int32_t>(std::ceil(y1))};
  ++stats_.candidates;
  *out = best;
  return true;
}

}  // namespace vantrel::dmx

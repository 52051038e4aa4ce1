#include "scan_lines.h"

#include <cmath>

namespace vantrel::bcd {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kQuarterPi = 0.7853981633974483;
constexpr double kThreeQuarterPi = 2.356194490192345;

double StepRadians(double angleStepDeg) { return angleStepDeg * kPi / 180.0; }

// Visits the grid of cell middles of a level, row by row, left to right.
template <typename Visit>
void ForEachCentre(const OvoBcdRange& r, int32_t level, Visit&& visit) {
  const double w = static_cast<double>(int64_t{r.x1} - r.x0);
  const double h = static_cast<double>(int64_t{r.y1} - r.y0);
  const double cells = std::ldexp(1.0, level);
  const double dx = w / cells;
  const double dy = h / cells;
  for (double y = dy / 2; y < h; y += dy)
    for (double x = dx / 2; x < w; x += dx)
      visit(static_cast<int32_t>(r.x0 + static_cast<int64_t>(std::trunc(x + 0.5))),
            static_cast<int32_t>(r.y0 + static_cast<int64_t>(std::trunc(y + 0.5))));
}

}  // namespace

int64_t ScanLineGenerator::AnglesPerCentre(double angleStepDeg) {
  if (!(angleStepDeg >= 0.001)) angleStepDeg = 180.0;
  const double step = StepRadians(angleStepDeg);
  int64_t n = 0;
  for (double theta = 0; theta < kPi; theta += step) ++n;
  return n;
}

int64_t ScanLineGenerator::CentreCount(const OvoBcdRange& range, int32_t level) {
  int64_t n = 0;
  ForEachCentre(range, level, [&](int32_t, int32_t) { ++n; });
  return n;
}

void ScanLineGenerator::Reset(const OvoBcdRange& range, int32_t level, double angleStepDeg) {
  // Callers have replaced small steps already; a step that does not advance
  // would never leave the first centre.
  if (!(angleStepDeg >= 0.001)) angleStepDeg = 180.0;
  x0_ = range.x0;
  y0_ = range.y0;
  x1_ = range.x1;
  y1_ = range.y1;
  step_ = StepRadians(angleStepDeg);
  theta_ = 0;
  centreIndex_ = 0;
  centres_.clear();
  ForEachCentre(range, level, [&](int32_t x, int32_t y) { centres_.push_back(OvoBcdPoint{x, y}); });
  anglesPerCentre_ = AnglesPerCentre(angleStepDeg);
}

bool ScanLineGenerator::Advance(Line* line, OvoBcdPoint* centre) {
  if (centreIndex_ >= centres_.size()) return false;
  *centre = centres_[centreIndex_];
  const double cx = centre->x;
  const double cy = centre->y;
  const double theta = theta_;
  if (theta < kQuarterPi || theta > kThreeQuarterPi) {
    const double t = std::tan(theta);
    *line = Line{true, t, cy - cx * t};
  } else {
    const double q = std::cos(theta) / std::sin(theta);
    *line = Line{false, q, cx - cy * q};
  }
  theta_ += step_;
  if (!(theta_ < kPi)) {
    theta_ = 0;
    ++centreIndex_;
  }
  return true;
}

namespace {

// The pixels of a line form one unbroken stretch of step values: the computed
// coordinate is monotone in the step value (the product, the sum and trunc are
// all monotone), so its values inside the range are contiguous. The stretch's
// ends are found by bisection, which keeps any range, however large, cheap and
// free of overflow.
bool LineExtent(int64_t x0, int64_t y0, int64_t x1, int64_t y1, bool alongX, double slope, double offset,
                int64_t* first, int64_t* last) {
  const int64_t vBegin = alongX ? x0 : y0;
  const int64_t vEnd = alongX ? x1 : y1;
  const double cLo = static_cast<double>(alongX ? y0 : x0);
  const double cHi = static_cast<double>(alongX ? y1 : x1);
  if (vBegin >= vEnd) return false;
  auto coord = [&](int64_t v) { return std::trunc(static_cast<double>(v) * slope + offset); };
  // Smallest v in [vBegin, vEnd) where pred turns true (pred false then true);
  // vEnd if never. Where the line meets `bound` gives the answer to within a
  // step or two, which a few evaluations confirm; bisection when they do not.
  auto lowerBound = [&](double bound, auto pred) {
    const double guess = std::ceil((bound - offset) / slope);
    if (std::isfinite(guess)) {
      int64_t v = guess <= static_cast<double>(vBegin) ? vBegin
                  : guess >= static_cast<double>(vEnd) ? vEnd
                                                        : static_cast<int64_t>(guess);
      for (int32_t tries = 0; tries < 4; ++tries) {
        if (v > vBegin && pred(coord(v - 1))) --v;
        else if (v < vEnd && !pred(coord(v))) ++v;
        else return v;
      }
    }
    int64_t lo = vBegin, hi = vEnd;
    while (lo < hi) {
      const int64_t mid = lo + (hi - lo) / 2;
      if (pred(coord(mid))) hi = mid;
      else lo = mid + 1;
    }
    return lo;
  };
  int64_t a, b;
  if (slope >= 0) {  // coordinate grows with v
    a = lowerBound(cLo, [&](double c) { return c >= cLo; });
    b = lowerBound(cHi, [&](double c) { return c >= cHi; }) - 1;
  } else {
    a = lowerBound(cHi, [&](double c) { return c < cHi; });
    b = lowerBound(cLo, [&](double c) { return c < cLo; }) - 1;
  }
  if (a > b) return false;
  *first = a;
  *last = b;
  return true;
}

}  // namespace

LineSpan ParallelLine(const LineSpan& line, double shift, const OvoBcdRange& range) {
  LineSpan p{line.alongX, line.slope, line.offset + shift, 0, 0};
  int64_t first, last;
  if (LineExtent(range.x0, range.y0, range.x1, range.y1, p.alongX, p.slope, p.offset, &first, &last)) {
    p.first = first;
    p.n = static_cast<int32_t>(last - first + 1);
  }
  return p;
}

bool ScanLineGenerator::Extent(const Line& line, int64_t* first, int64_t* last) const {
  return LineExtent(x0_, y0_, x1_, y1_, line.alongX, line.slope, line.offset, first, last);
}

bool ScanLineGenerator::Next(LineSpan* span) {
  Line line;
  OvoBcdPoint centre;
  if (!Advance(&line, &centre)) return false;
  *span = LineSpan{line.alongX, line.slope, line.offset, 0, 0};
  int64_t first, last;
  if (Extent(line, &first, &last)) {
    span->first = first;
    span->n = static_cast<int32_t>(last - first + 1);
  }
  return true;
}

bool ScanLineGenerator::Next(OvoBcdPoint* points, int32_t* n) {
  LineSpan span;
  *n = 0;
  if (!Next(&span)) return false;
  for (int32_t i = 0; i < span.n; ++i) points[i] = span.At(i);
  *n = span.n;
  return true;
}

bool ScanLineGenerator::NextEnds(OvoBcdPoint* first, OvoBcdPoint* last) {
  Line line;
  OvoBcdPoint centre;
  if (!Advance(&line, &centre)) return false;
  int64_t a, b;
  if (!Extent(line, &a, &b)) {
    *first = *last = centre;
    return true;
  }
  const LineSpan span{line.alongX, line.slope, line.offset, a, 0};
  *first = span.At(0);
  *last = span.At(b - a);
  return true;
}

}  // namespace vantrel::bcd

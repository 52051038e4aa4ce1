// Scan-line geometry, grey sampling and run measurement, and the guide call.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "barcode/src/bcd_decoder.h"
#include "barcode/src/run_widths.h"
#include "barcode/src/scan_lines.h"
#include "barcode/src/wide_kernels.h"
#include "symbol_render.h"
#include "vantrel/OvoBcd.h"

// The point type is the C interface's, in the global namespace.
inline bool operator==(const OvoBcdPoint& a, const OvoBcdPoint& b) { return a.x == b.x && a.y == b.y; }
inline std::ostream& operator<<(std::ostream& os, const OvoBcdPoint& p) {
  return os << "(" << p.x << ", " << p.y << ")";
}

namespace vantrel::bcd {
namespace {

std::vector<OvoBcdPoint> P(std::initializer_list<std::pair<int32_t, int32_t>> l) {
  std::vector<OvoBcdPoint> v;
  for (auto [x, y] : l) v.push_back(OvoBcdPoint{x, y});
  return v;
}

// All lines of one level, pixel by pixel.
std::vector<std::vector<OvoBcdPoint>> AllLines(const OvoBcdRange& r, int32_t level, double step) {
  ScanLineGenerator g;
  g.Reset(r, level, step);
  const int64_t longest = std::max<int64_t>(int64_t{r.x1} - r.x0, int64_t{r.y1} - r.y0);
  std::vector<OvoBcdPoint> buf(static_cast<size_t>(std::max<int64_t>(longest, 1)));
  std::vector<std::vector<OvoBcdPoint>> lines;
  int32_t n = 0;
  while (g.Next(buf.data(), &n)) lines.emplace_back(buf.begin(), buf.begin() + n);
  return lines;
}

TEST(ScanLineGeneratorTest, CentresAreCellMiddlesRowByRow) {
  struct Case {
    OvoBcdRange range;
    int32_t level;
    std::vector<OvoBcdPoint> centres;
  };
  std::vector<OvoBcdPoint> level2;
  for (int32_t y : {60, 180, 300, 420})
    for (int32_t x : {80, 240, 400, 560}) level2.push_back(OvoBcdPoint{x, y});
  const Case cases[] = {
      {{0, 0, 640, 480}, 0, P({{320, 240}})},
      {{0, 0, 640, 480}, 1, P({{160, 120}, {480, 120}, {160, 360}, {480, 360}})},
      {{0, 0, 640, 480}, 2, level2},
      {{0, 0, 5, 5}, 1, P({{1, 1}, {4, 1}, {1, 4}, {4, 4}})},  // 1.25 and 3.75 rounded half up
      {{100, 50, 101, 51}, 0, P({{101, 51}})},                 // 0.5 rounds up, onto the edge
      {{10, 10, 10, 20}, 0, {}},                               // no columns
      {{20, 20, 10, 10}, 1, {}},                               // inverted: no centres
  };
  for (const Case& c : cases) {
    ScanLineGenerator g;
    g.Reset(c.range, c.level, 90);
    EXPECT_EQ(g.Centres(), c.centres) << c.range.x0 << "," << c.range.y0 << " level " << c.level;
    EXPECT_EQ(ScanLineGenerator::CentreCount(c.range, c.level), static_cast<int64_t>(c.centres.size()));
  }
}

// Angles are summed in double precision while below 180 degrees: for these
// steps the sum ends a hair below, which gives one more, almost horizontal line.
TEST(ScanLineGeneratorTest, LinesPerCentre) {
  const std::pair<double, int64_t> cases[] = {{180, 1}, {90, 2}, {45, 4}, {30, 7},
                                              {10, 19}, {5, 37}, {3, 61}, {1, 181}};
  for (auto [step, lines] : cases) {
    EXPECT_EQ(ScanLineGenerator::AnglesPerCentre(step), lines) << step;
    EXPECT_EQ(AllLines({0, 0, 64, 48}, 0, step).size(), static_cast<size_t>(lines)) << step;
  }
}

TEST(ScanLineGeneratorTest, FortyFiveDegreesGivesOneShallowAndThreeSteepLines) {
  const auto lines = AllLines({0, 0, 640, 480}, 0, 45);
  ASSERT_EQ(lines.size(), 4u);
  // 0 degrees: one pixel per column, left to right, through the centre.
  ASSERT_EQ(lines[0].size(), 640u);
  EXPECT_EQ(lines[0].front(), (OvoBcdPoint{0, 240}));
  EXPECT_EQ(lines[0].back(), (OvoBcdPoint{639, 240}));
  // 45, 90 and 135 degrees: one pixel per row, top to bottom. Angles turn
  // clockwise on the screen, so 45 degrees runs down to the right.
  for (size_t l = 1; l < 4; ++l) {
    ASSERT_EQ(lines[l].size(), 480u) << l;
    for (size_t i = 0; i < lines[l].size(); ++i) ASSERT_EQ(lines[l][i].y, static_cast<int32_t>(i));
  }
  // cos/sin of the 45-degree step is a hair above 1: the line's offset comes out
  // a hair below 80, and trunc takes it to column 79.
  EXPECT_EQ(lines[1].front(), (OvoBcdPoint{79, 0}));
  EXPECT_EQ(lines[1].back(), (OvoBcdPoint{559, 479}));
  EXPECT_EQ(lines[2].front(), (OvoBcdPoint{320, 0}));
  EXPECT_EQ(lines[2].back(), (OvoBcdPoint{320, 479}));
  EXPECT_GT(lines[3].front().x, lines[3].back().x);
  // Every line passes through its centre.
  for (const auto& line : lines) EXPECT_NE(std::find(line.begin(), line.end(), OvoBcdPoint{320, 240}), line.end());
}

// Pixels whose row falls outside the range are left out; trunc puts a computed
// row of -0.5 into row 0.
TEST(ScanLineGeneratorTest, ShallowLinesLoseTheirPixelsOutsideTheRange) {
  const auto lines = AllLines({0, 0, 640, 100}, 0, 30);  // 30 degrees through (320, 50)
  ASSERT_EQ(lines.size(), 7u);
  const auto& l30 = lines[1];
  ASSERT_FALSE(l30.empty());
  for (const OvoBcdPoint& p : l30) {
    EXPECT_GE(p.y, 0);
    EXPECT_LT(p.y, 100);
  }
  EXPECT_LT(l30.size(), 640u);
  for (size_t i = 1; i < l30.size(); ++i) EXPECT_EQ(l30[i].x, l30[i - 1].x + 1);
}

// The ends reported without visiting the pixels are the first and last pixel of
// the line, and a line without pixels reports its centre.
TEST(ScanLineGeneratorTest, EndsAgreeWithThePixelsOfEveryLine) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int32_t> coord(-40, 80);
  const double steps[] = {180, 90, 45, 30, 17.5, 10, 7, 1};
  int empties = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const OvoBcdRange r{coord(rng), coord(rng), coord(rng), coord(rng)};
    const int32_t level = trial % 4;
    const double step = steps[trial % 8];
    ScanLineGenerator a, b;
    a.Reset(r, level, step);
    b.Reset(r, level, step);
    const int64_t longest = std::max<int64_t>({int64_t{r.x1} - r.x0, int64_t{r.y1} - r.y0, 1});
    std::vector<OvoBcdPoint> buf(static_cast<size_t>(longest));
    int32_t n = 0;
    size_t line = 0;
    while (a.Next(buf.data(), &n)) {
      OvoBcdPoint first, last;
      ASSERT_TRUE(b.NextEnds(&first, &last));
      const OvoBcdPoint centre = a.Centres()[line / static_cast<size_t>(ScanLineGenerator::AnglesPerCentre(step))];
      if (n == 0) {
        ++empties;
        EXPECT_EQ(first, centre);
        EXPECT_EQ(last, centre);
      } else {
        EXPECT_EQ(first, buf[0]);
        EXPECT_EQ(last, buf[n - 1]);
      }
      for (int32_t i = 0; i < n; ++i) {
        ASSERT_TRUE(buf[i].x >= r.x0 && buf[i].x < r.x1 && buf[i].y >= r.y0 && buf[i].y < r.y1);
      }
      ++line;
    }
    OvoBcdPoint f, l;
    EXPECT_FALSE(b.NextEnds(&f, &l));
    EXPECT_EQ(static_cast<int64_t>(line), a.LineCount());
  }
  EXPECT_GT(empties, 0);
}

// A line's pixels are all the step values whose other coordinate falls in the
// range, none left out at either end: checked against every step value of
// small ranges, at angles where the line's ends fall between pixels.
TEST(ScanLineGeneratorTest, LinesHoldEveryPixelInTheRange) {
  std::mt19937 rng(17);
  std::uniform_int_distribution<int32_t> coord(-40, 80);
  const double steps[] = {90, 45, 30, 17.5, 10, 7, 1, 44.9};
  for (int trial = 0; trial < 200; ++trial) {
    const OvoBcdRange r{coord(rng), coord(rng), coord(rng), coord(rng)};
    ScanLineGenerator g;
    g.Reset(r, trial % 4, steps[trial % 8]);
    LineSpan line;
    while (g.Next(&line)) {
      const int64_t vBegin = line.alongX ? r.x0 : r.y0, vEnd = line.alongX ? r.x1 : r.y1;
      const int64_t cLo = line.alongX ? r.y0 : r.x0, cHi = line.alongX ? r.y1 : r.x1;
      for (int64_t v = vBegin; v < vEnd; ++v) {
        const int64_t c = line.Across(v);
        const bool inside = c >= cLo && c < cHi;
        const bool listed = v >= line.first && v < line.first + line.n;
        ASSERT_EQ(inside, listed) << "range " << r.x0 << "," << r.y0 << "," << r.x1 << "," << r.y1 << " v " << v;
      }
    }
  }
}

// ---------------------------------------------------------------------------

TEST(GetScanLinesTest, OneLevelOfNinetyDegreesOverAFullFrame) {
  const OvoBcdRange r{0, 0, 640, 480};
  int32_t count = 10;
  OvoBcdPoint starts[10], ends[10];
  ASSERT_EQ(OvoBcdGetScanLines(&r, 1, 90.0, &count, starts, ends), 0);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(starts[0], (OvoBcdPoint{0, 240}));
  EXPECT_EQ(ends[0], (OvoBcdPoint{639, 240}));
  EXPECT_EQ(starts[1], (OvoBcdPoint{320, 0}));
  EXPECT_EQ(ends[1], (OvoBcdPoint{320, 479}));
}

TEST(GetScanLinesTest, CountsPerLevelAndAngle) {
  const OvoBcdRange r{79, 59, 559, 419};
  struct Case {
    int32_t levels;
    double step;
    int32_t lines;
  };
  const Case cases[] = {{1, 90, 2},   {2, 90, 10},  {3, 90, 42},  {4, 90, 170},
                        {4, 10, 1615}, {1, 0, 1},   {2, 180, 5},  {1, 0.0005, 1},
                        {1, 0.001, 180000}, {8, 180, 21845}};
  for (const Case& c : cases) {
    int32_t count = INT32_MAX;
    ASSERT_EQ(OvoBcdGetScanLines(&r, c.levels, c.step, &count, nullptr, nullptr), 0);
    EXPECT_EQ(count, c.lines) << c.levels << " " << c.step;
    if (c.lines > 2000) continue;
    // Laying the lines gives the same number.
    std::vector<OvoBcdPoint> starts(static_cast<size_t>(c.lines) + 1);
    int32_t laid = c.lines + 1;
    ASSERT_EQ(OvoBcdGetScanLines(&r, c.levels, c.step, &laid, starts.data(), nullptr), 0);
    EXPECT_EQ(laid, c.lines);
  }
}

TEST(GetScanLinesTest, StopsAtTheCapacity) {
  const OvoBcdRange r{0, 0, 640, 480};
  OvoBcdPoint starts[6], ends[6];
  for (auto& p : starts) p = OvoBcdPoint{-7, -7};
  for (auto& p : ends) p = OvoBcdPoint{-7, -7};
  int32_t count = 3;
  ASSERT_EQ(OvoBcdGetScanLines(&r, 2, 90, &count, starts, ends), 0);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(starts[2], (OvoBcdPoint{0, 120}));  // level 1, first centre, 0 degrees
  EXPECT_EQ(ends[2], (OvoBcdPoint{639, 120}));
  EXPECT_EQ(starts[3], (OvoBcdPoint{-7, -7}));
  EXPECT_EQ(ends[3], (OvoBcdPoint{-7, -7}));
  count = 3;  // only one of the arrays
  ASSERT_EQ(OvoBcdGetScanLines(&r, 2, 90, &count, nullptr, ends), 0);
  EXPECT_EQ(count, 3);
}

TEST(GetScanLinesTest, RefusedArguments) {
  const OvoBcdRange r{0, 0, 640, 480};
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const OvoBcdRange* range;
    int32_t levels;
    double step;
    int32_t capacity;
    bool nullCount;
    int32_t status;
  };
  const Case cases[] = {
      {nullptr, 1, 90, 10, false, -1}, {&r, 1, 90, 10, true, -1}, {nullptr, 0, -5, 0, true, -1},
      {&r, 0, 90, 10, false, -3},      {&r, 9, 90, 10, false, -3}, {&r, -1, 90, 10, false, -3},
      {&r, 1, -1, 10, false, -3},      {&r, 1, 180.5, 10, false, -3}, {&r, 1, nan, 10, false, -3},
      {&r, 1, 90, 0, false, -3},       {&r, 1, 90, -5, false, -3},
      {&r, 8, 180, 10, false, 0},      {&r, 1, 180, 10, false, 0},   {&r, 1, 0, 10, false, 0},
  };
  for (const Case& c : cases) {
    int32_t count = c.capacity;
    OvoBcdPoint starts[10];
    for (auto& p : starts) p = OvoBcdPoint{-7, -7};
    EXPECT_EQ(OvoBcdGetScanLines(c.range, c.levels, c.step, c.nullCount ? nullptr : &count, starts, nullptr),
              c.status)
        << c.levels << " " << c.step << " " << c.capacity;
    if (c.status != 0) {
      EXPECT_EQ(count, c.capacity);
      EXPECT_EQ(starts[0], (OvoBcdPoint{-7, -7}));
    }
  }
}

TEST(GetScanLinesTest, AngleZeroAndTinyStepsMeanOneHorizontalLine) {
  const OvoBcdRange r{79, 59, 559, 419};
  auto lines = [&](double step) {
    int32_t count = 100;
    std::vector<OvoBcdPoint> s(100), e(100);
    EXPECT_EQ(OvoBcdGetScanLines(&r, 3, step, &count, s.data(), e.data()), 0);
    s.resize(static_cast<size_t>(count));
    e.resize(static_cast<size_t>(count));
    s.insert(s.end(), e.begin(), e.end());
    return s;
  };
  EXPECT_EQ(lines(0), lines(180));
  EXPECT_EQ(lines(0.0009), lines(180));
  EXPECT_NE(lines(0.001).size(), lines(180).size());
}

// The guide range is taken as it is: not reordered, not clipped to any picture.
TEST(GetScanLinesTest, RangeIsUsedUnchanged) {
  int32_t count = 10;
  OvoBcdPoint s[10], e[10];
  const OvoBcdRange inverted{559, 419, 79, 59};
  ASSERT_EQ(OvoBcdGetScanLines(&inverted, 2, 90, &count, s, e), 0);
  EXPECT_EQ(count, 0);
  const OvoBcdRange wide{-100, -50, 740, 530};
  count = 10;
  ASSERT_EQ(OvoBcdGetScanLines(&wide, 1, 90, &count, s, e), 0);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(s[0], (OvoBcdPoint{-100, 240}));
  EXPECT_EQ(e[0], (OvoBcdPoint{739, 240}));
  EXPECT_EQ(s[1], (OvoBcdPoint{320, -50}));
  EXPECT_EQ(e[1], (OvoBcdPoint{320, 529}));
}

// Lines of ranges as large as the coordinates allow are computed without
// overflow and without walking their pixels.
TEST(GetScanLinesTest, ExtremeRanges) {
  const OvoBcdRange ranges[] = {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},
                                {INT32_MAX - 3, INT32_MIN, INT32_MAX, INT32_MIN + 2},
                                {-5, INT32_MIN, 5, INT32_MAX}};
  for (const OvoBcdRange& r : ranges) {
    int32_t count = INT32_MAX;
    ASSERT_EQ(OvoBcdGetScanLines(&r, 8, 7, &count, nullptr, nullptr), 0);
    EXPECT_GT(count, 0);
    std::vector<OvoBcdPoint> s(2000), e(2000);
    int32_t laid = 2000;
    ASSERT_EQ(OvoBcdGetScanLines(&r, 8, 7, &laid, s.data(), e.data()), 0);
    EXPECT_EQ(laid, std::min(count, 2000));
    for (int32_t i = 0; i < laid; ++i) {
      EXPECT_TRUE(s[i].x >= r.x0 && s[i].x <= r.x1 && s[i].y >= r.y0 && s[i].y <= r.y1);
    }
  }
}

// ---------------------------------------------------------------------------

struct Measured {
  int32_t k;
  std::vector<float> S, B;
};

Measured Measure(const std::vector<uint8_t>& g, bool binarized) {
  const int32_t n = static_cast<int32_t>(g.size());
  int32_t lo = 255, hi = 0;
  for (uint8_t v : g) {
    lo = std::min<int32_t>(lo, v);
    hi = std::max<int32_t>(hi, v);
  }
  const int32_t t = (lo + hi) / 2;
  Measured m;
  m.S.assign(static_cast<size_t>(SpaceListSize(n)), -1.0f);
  m.B.assign(static_cast<size_t>(BarListSize(n)), -1.0f);
  std::vector<uint8_t> work = g;
  m.k = binarized ? MeasureRunsBinarized(work.data(), n, t, m.S.data(), m.B.data())
                  : MeasureRunsSubpixel(work.data(), n, t, m.S.data(), m.B.data());
  return m;
}

TEST(RunWidthsTest, BinarizedAndSubpixelRuns) {
  struct Case {
    std::vector<uint8_t> samples;
    bool binarized;
    int32_t k;
    std::vector<float> S, B;  // the leading entries; the rest must be 0
  };
  const std::vector<uint8_t> edge = {200, 200, 100, 0, 0, 100, 200, 200};  // T = 100
  const Case cases[] = {
      {edge, true, 1, {2, 2}, {4}},
      {edge, false, 1, {2, 3 - 1, 2}, {}},  // replaced below
      {{50, 50, 50, 50}, true, 0, {0}, {4}},  // all equal: T is that value, all dark
      {{50, 50, 50, 50}, false, 0, {0}, {3}},
      {{0, 0, 200, 200, 0}, true, 1, {0, 2}, {2, 1}},  // starts dark
      {{0, 0, 200, 200, 0}, false, 1, {0, 2}, {1.5f, 0.5f}},
      {{0, 0, 255, 255, 0}, false, 1, {0, 2.0039215f}, {1.4980392f, 0.49803925f}},  // T = 127
      {{9}, true, 0, {0}, {1}},
      {{9}, false, 0, {0}, {0}},
      {{}, true, 0, {0}, {0}},
      {{}, false, 0, {0}, {0}},
      {{200, 0, 200, 0, 200}, false, 2, {0.5f, 1, 0.5f}, {1, 1}},
  };
  for (size_t ci = 0; ci < std::size(cases); ++ci) {
    Case c = cases[ci];
    if (ci == 1) {  // sub-pixel: S[0] = 2.0, B[0] = 3.0, S[1] = 2.0
      c.S = {2, 2};
      c.B = {3};
    }
    const Measured m = Measure(c.samples, c.binarized);
    SCOPED_TRACE(ci);
    EXPECT_EQ(m.k, c.k);
    for (size_t i = 0; i < m.S.size(); ++i) EXPECT_FLOAT_EQ(m.S[i], i < c.S.size() ? c.S[i] : 0.0f) << "S" << i;
    for (size_t i = 0; i < m.B.size(); ++i) EXPECT_FLOAT_EQ(m.B[i], i < c.B.size() ? c.B[i] : 0.0f) << "B" << i;
  }
}

// Binarized widths add up to n, sub-pixel widths to n - 1 (where a sample
// exactly at the threshold can make a run of width 0); the run lists are zeroed
// again for every line, whatever the previous line left.
TEST(RunWidthsTest, WidthsCoverTheLineAndListsAreClearedPerLine) {
  std::mt19937 rng(3);
  std::vector<float> S(400), B(400);
  for (int trial = 0; trial < 200; ++trial) {
    const int32_t n = static_cast<int32_t>(rng() % 300);
    std::vector<uint8_t> g(static_cast<size_t>(n));
    for (auto& v : g) v = static_cast<uint8_t>(rng() % 3 == 0 ? rng() : (rng() % 2) * 200 + 20);
    int32_t lo = 255, hi = 0;
    for (uint8_t v : g) lo = std::min<int32_t>(lo, v), hi = std::max<int32_t>(hi, v);
    const int32_t t = (lo + hi) / 2;
    for (bool binarized : {true, false}) {
      std::vector<uint8_t> work = g;
      const int32_t k = binarized ? MeasureRunsBinarized(work.data(), n, t, S.data(), B.data())
                                  : MeasureRunsSubpixel(work.data(), n, t, S.data(), B.data());
      ASSERT_LE(k, n / 2);
      double sum = 0;
      for (int32_t i = 0; i <= k; ++i) sum += S[i] + B[i];
      EXPECT_NEAR(sum, binarized ? n : std::max(n - 1, 0), 1e-3) << n;
      for (int32_t i = k + 1; i < SpaceListSize(n); ++i) ASSERT_EQ(S[i], 0.0f);
      for (int32_t i = k + 1; i < BarListSize(n); ++i) ASSERT_EQ(B[i], 0.0f);
      if (binarized) {
        for (int32_t i = 0; i < k; ++i) ASSERT_GE(B[i], 1.0f);
        for (int32_t i = 0; i < n; ++i) ASSERT_EQ(work[i], g[i] <= t ? 1 : 0);
      }
    }
  }
}

TEST(SampleLineTest, GreyValuesAndThreshold) {
  struct Case {
    int32_t bytesPerPixel;
    std::vector<uint8_t> pixel;  // bytes of the one pixel
    int32_t sample;
  };
  const Case cases[] = {
      {3, {10, 20, 30}, 22},                // b, g, r: 21.85 rounds to 22
      {4, {10, 20, 30, 0}, 22},             // the fourth byte is not read
      {4, {10, 20, 30, 255}, 22},
      {3, {255, 255, 255}, 255},
      {3, {0, 0, 1}, 0},                     // 0.299 rounds to 0
      {3, {0, 0, 2}, 1},                     // 0.598 rounds to 1
      {1, {77}, 77},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> row(16, 0);
    std::copy(c.pixel.begin(), c.pixel.end(), row.begin() + c.bytesPerPixel);  // pixel 1
    const PixelRows rows{row.data(), 16, c.bytesPerPixel};
    const OvoBcdPoint pts[2] = {{1, 0}, {0, 0}};
    uint8_t samples[2];
    const int32_t t = SampleLine(rows, pts, 2, samples);
    EXPECT_EQ(samples[0], c.sample);
    EXPECT_EQ(samples[1], 0);
    EXPECT_EQ(t, c.sample / 2);
  }
  uint8_t none[1];
  EXPECT_EQ(SampleLine(PixelRows{nullptr, 0, 3}, nullptr, 0, none), (255 + 0) / 2);
}

// The grey planes of a dense search give exactly the samples read straight from
// the picture, for shallow and steep lines alike (45 degrees and just short of
// it included), and so does the darkest and lightest sample; with the wide
// loops (where the processor has them) and with the portable ones.
TEST(SampleLineTest, GreyPlanesGiveTheSameSamples) {
  std::mt19937 rng(11);
  auto check = [&](double step, int32_t bytes) {
    const int32_t w = 97, h = 61, stride = (w * bytes + 3) / 4 * 4;
    std::vector<uint8_t> pic(static_cast<size_t>(stride) * h);
    for (auto& b : pic) b = static_cast<uint8_t>(rng());
    const PixelRows rows{pic.data(), stride, bytes};
    for (const OvoBcdRange r : {OvoBcdRange{0, 0, w, h}, OvoBcdRange{13, 7, 80, 59}, OvoBcdRange{5, 5, 6, 40}}) {
      LineSampler direct(rows), planes(rows);
      planes.UseGreyPlanes(r);
      ScanLineGenerator g;
      g.Reset(r, 2, step);
      std::vector<OvoBcdPoint> pts(static_cast<size_t>(std::max(w, h)));
      std::vector<uint8_t> a(pts.size()), b(pts.size()), c(pts.size());
      LineSpan line;
      while (g.Next(&line)) {
        for (int32_t i = 0; i < line.n; ++i) pts[i] = line.At(i);
        const int32_t ta = SampleLine(rows, pts.data(), line.n, a.data());
        ASSERT_EQ(direct.Sample(line, b.data()), ta);
        int32_t lo, hi;
        ASSERT_EQ(planes.Sample(line, c.data(), &lo, &hi), ta);
        ASSERT_EQ((lo + hi) / 2, ta);
        if (line.n > 0) {
          ASSERT_EQ(lo, *std::min_element(a.begin(), a.begin() + line.n));
          ASSERT_EQ(hi, *std::max_element(a.begin(), a.begin() + line.n));
        }
        for (int32_t i = 0; i < line.n; ++i) {
          ASSERT_EQ(b[i], a[i]);
          ASSERT_EQ(c[i], a[i]);
        }
      }
    }
  };
  for (const bool wide : {true, false}) {
    SetWideKernels(wide);
    for (const double step : {7.0, 45.0, 44.9})
      for (const int32_t bytes : {1, 3, 4}) {
        SCOPED_TRACE(testing::Message() << "wide " << wide << ", step " << step << ", bytes " << bytes);
        check(step, bytes);
      }
  }
  SetWideKernels(true);
}

// Lines parallel to a scan line, for confirming its reads: the same pixels moved
// across, kept inside the range.
TEST(ParallelLineTest, MovedAcrossAndClippedToTheRange) {
  const OvoBcdRange r{10, 20, 110, 90};
  ScanLineGenerator g;
  g.Reset(r, 1, 30);
  LineSpan line;
  int32_t checked = 0;
  while (g.Next(&line)) {
    for (double shift : {2.0, -2.0, 4.0, -4.0}) {
      const LineSpan p = ParallelLine(line, shift, r);
      for (int32_t i = 0; i < p.n; ++i) {
        const OvoBcdPoint q = p.At(i);
        ASSERT_TRUE(q.x >= r.x0 && q.x < r.x1 && q.y >= r.y0 && q.y < r.y1);
      }
      // Where both have the step value, the other coordinate differs by the
      // shift (or a pixel more where the sum rounds the other way).
      for (int32_t i = 0; i < line.n; ++i) {
        const int64_t v = line.first + i;
        if (v < p.first || v >= p.first + p.n) continue;
        const OvoBcdPoint a = line.At(i), b = p.At(v - p.first);
        EXPECT_NEAR(line.alongX ? b.y - a.y : b.x - a.x, shift, 1.0);
        EXPECT_EQ(line.alongX ? b.x - a.x : b.y - a.y, 0);
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 1000);
  // A line along the range's last row has no parallel line below it.
  const LineSpan bottom{true, 0.0, 89.0, 10, 100};
  EXPECT_EQ(ParallelLine(bottom, 2, r).n, 0);
  EXPECT_EQ(ParallelLine(bottom, -2, r).n, 100);
}

}  // namespace
}  // namespace vantrel::bcd

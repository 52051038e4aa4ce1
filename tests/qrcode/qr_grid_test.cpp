// The sampling grid: head-on symbols, true perspective, the alignment search
// and the bottom-right corner.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "qr_test_support.h"
#include "qrcode/src/qr_candidates.h"
#include "qrcode/src/qr_codewords.h"
#include "qrcode/src/qr_decoder.h"
#include "qrcode/src/qr_finder.h"
#include "qrcode/src/qr_grid.h"

namespace vantrel::qr {
namespace {

using qrtest::BinaryCanvas;

// Module-edge coordinates (X, Y) of the symbol to picture pixels:
// x = (s X + ox + gx X ...) through a projective map with the perspective
// terms g and h (0 for a head-on view).
struct Warp {
  double s = 4, ox = 20, oy = 20, g = 0, h = 0;
  void Map(double X, double Y, double* x, double* y) const {
    const double w = 1 + g * X + h * Y;
    *x = (s * X + ox) / w;
    *y = (s * Y + oy) / w;
  }
  // The inverse: x w = s X + ox with w = 1 + g X + h Y, likewise for y.
  void Unmap(double x, double y, double* X, double* Y) const {
    // (s - g x) X - h x Y = ox - x ; -g y X + (s - h y) Y = oy - y
    const double a = s - g * x, b = -h * x, c = -g * y, d = s - h * y;
    const double e = x - ox, f = y - oy;
    const double det = a * d - b * c;
    *X = (e * d - b * f) / det;
    *Y = (a * f - c * e) / det;
  }
};

BinaryCanvas PaintWarped(const test::ModuleMatrix& m, const Warp& w, int32_t width, int32_t height) {
  BinaryCanvas c(width, height);
  for (int32_t py = 0; py < height; ++py)
    for (int32_t px = 0; px < width; ++px) {
      double X = 0, Y = 0;
      w.Unmap(px + 0.5, py + 0.5, &X, &Y);
      const int32_t col = static_cast<int32_t>(std::floor(X)), row = static_cast<int32_t>(std::floor(Y));
      if (col >= 0 && row >= 0 && col < m.width && row < m.height && m.At(col, row)) c.Set(px, py);
    }
  return c;
}

struct Built {
  std::vector<QrFinder> finders;
  std::vector<QrCandidate> candidates;
  std::unique_ptr<QrGrid> grid = std::make_unique<QrGrid>();
  std::unique_ptr<QrModuleMatrix> matrix = std::make_unique<QrModuleMatrix>();
};

// Finders, the one candidate, its grid and the sampled matrix.
void Build(const BinaryCanvas& c, Built* b) {
  ASSERT_TRUE(FindFinders(c.Image(), &b->finders));
  ASSERT_TRUE(BuildCandidates(c.Image(), b->finders, &b->candidates));
  ASSERT_EQ(b->candidates.size(), 1u);
  BuildGrid(c.Image(), b->candidates[0], b->grid.get());
  LayFunctionMap(b->candidates[0].version, b->matrix.get());
  SampleGrid(c.Image(), *b->grid, b->matrix.get());
}

// Non-function modules sampled differently from the encoder's pattern.
int32_t WrongModules(const QrModuleMatrix& sampled, const test::ModuleMatrix& m) {
  int32_t wrong = 0;
  for (int32_t r = 0; r < m.height; ++r)
    for (int32_t c = 0; c < m.width; ++c)
      if (!(sampled.At(c, r) & kFunctionModule) && (sampled.At(c, r) & 1) != (m.At(c, r) ? 1 : 0)) ++wrong;
  return wrong;
}

TEST(QrGrid, HeadOnEveryLineRunsThroughTheModuleCentres) {
  for (int32_t v : {1, 2, 4, 6, 7, 10, 14, 22, 40}) {
    SCOPED_TRACE(::testing::Message() << "version " << v);
    const test::ModuleMatrix m = qrtest::ZintQr({"--vers=" + std::to_string(v)}, "GRID");
    const int32_t N = m.width, s = 3, ox = 15, oy = 12;
    BinaryCanvas c(N * s + 30, N * s + 30);
    c.Paint(m, s, ox, oy);
    Built b;
    Build(c, &b);
    const QrGrid& g = *b.grid;
    EXPECT_EQ(g.du.x, 0.0f);
    EXPECT_EQ(g.du.y, 0.0f);
    EXPECT_EQ(g.dv.x, 0.0f);
    EXPECT_EQ(g.dv.y, 0.0f);
    // Lines and the module coordinate each stands for.
    std::vector<int32_t> coord = {0, N - 1};
    if (v >= 7) {
      coord = {0};
      for (int32_t k = 0; k <= g.n; ++k) coord.push_back(g.coords[k]);
      coord.push_back(N - 1);
    }
    for (size_t i = 0; i < coord.size(); ++i)
      for (int32_t k = 0; k < N; ++k) {
        const float along = ox + (k + 0.5f) * s, at = static_cast<float>(ox + (coord[i] + 0.5) * s);
        ASSERT_NEAR(g.rowLine[i][k].x, along, 0.75) << "row line " << i << " column " << k;
        ASSERT_NEAR(g.rowLine[i][k].y, at - ox + oy, 0.75) << "row line " << i << " column " << k;
        ASSERT_NEAR(g.columnLine[i][k].x, at, 0.75) << "column line " << i << " row " << k;
        ASSERT_NEAR(g.columnLine[i][k].y, along - ox + oy, 0.75) << "column line " << i << " row " << k;
      }
    EXPECT_EQ(WrongModules(*b.matrix, m), 0);
    // The bottom-right corner lies half a module beyond the last module's centre.
    EXPECT_NEAR(g.corner[0], ox + N * s, 1);
    EXPECT_NEAR(g.corner[1], oy + N * s, 1);
  }
}

TEST(QrGrid, PerspectiveIsFollowedByTheQuadraticSteps) {
  // Projective views in which the far side is up to a tenth smaller.
  const struct {
    int32_t version;
    double g, h;
  } cases[] = {{1, 0.004, 0.003}, {1, -0.003, 0.004}, {3, 0.003, -0.002}, {7, 0.002, 0.0015}, {12, -0.0012, 0.001}};
  for (const auto& k : cases) {
    SCOPED_TRACE(::testing::Message() << "version " << k.version << " g " << k.g << " h " << k.h);
    const test::ModuleMatrix m = qrtest::ZintQr({"--vers=" + std::to_string(k.version)}, "PERSPECTIVE");
    Warp w;
    w.s = 6;
    w.ox = 40;
    w.oy = 40;
    w.g = k.g;
    w.h = k.h;
    const int32_t side = m.width * 6 + 100;
    const BinaryCanvas c = PaintWarped(m, w, side, side);
    Built b;
    Build(c, &b);
    EXPECT_TRUE(b.grid->du.x != 0 || b.grid->du.y != 0 || b.grid->dv.x != 0 || b.grid->dv.y != 0);
    // Versions 2 to 6 sample between the edge lines only; the few modules
    // that miss are left to the error correction.
    EXPECT_LE(WrongModules(*b.matrix, m), k.version >= 2 && k.version <= 6 ? 8 : 0);
    auto ctx = std::make_unique<QrDecodeContext>();
    ASSERT_EQ(RunPipeline(ctx.get(), c.Image()), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(ctx->results[0].data), ctx->results[0].length),
              "PERSPECTIVE");
  }
}

TEST(QrGrid, UnreadableAlignmentPatternStillGivesAGrid) {
  test::ModuleMatrix m = qrtest::ZintQr({"--vers=3"}, "ALIGN");
  for (int32_t r = 20; r <= 24; ++r)
    for (int32_t c = 20; c <= 24; ++c) m.dark[static_cast<size_t>(r) * m.width + c] = 1;
  BinaryCanvas c(29 * 4 + 40, 29 * 4 + 40);
  c.Paint(m, 4, 20, 20);
  Built b;
  Build(c, &b);
  EXPECT_EQ(WrongModules(*b.matrix, m), 0);  // the square itself is a function area
}

TEST(QrAlignmentSearch, FindsThePatternWithinAModule) {
  const test::ModuleMatrix m = qrtest::ZintQr({"--vers=2"}, "SEARCH");
  BinaryCanvas c(25 * 5 + 40, 25 * 5 + 40);
  c.Paint(m, 5, 20, 20);
  QrGrid g;
  g.u = {5, 0};
  g.v = {0, 5};
  const QrPoint centre{20 + 18.5f * 5, 20 + 18.5f * 5};  // module (18, 18)
  for (int32_t a = -1; a <= 1; ++a)
    for (int32_t b = -1; b <= 1; ++b) {
      QrPoint p{centre.x + 5.0f * a, centre.y + 5.0f * b};
      AlignmentSearch(c.Image(), g, &p);
      EXPECT_NEAR(p.x, centre.x, 0.5) << a << "," << b;
      EXPECT_NEAR(p.y, centre.y, 0.5) << a << "," << b;
    }
  // Nothing pattern-like within reach: the point stays where it is.
  BinaryCanvas empty(100, 100);
  QrPoint p{50.25f, 40.75f};
  AlignmentSearch(empty.Image(), g, &p);
  EXPECT_EQ(p.x, 50.25f);
  EXPECT_EQ(p.y, 40.75f);
}

TEST(QrGrid, BottomRightAdjustmentMovesOnlyTheLastRowAndColumn) {
  const test::ModuleMatrix m = qrtest::ZintQr({"--vers=1"}, "ADJUST");
  BinaryCanvas c(21 * 4 + 40, 21 * 4 + 40);
  c.Paint(m, 4, 20, 20);
  Built b;
  Build(c, &b);
  QrGrid& g = *b.grid;
  const QrPoint first = g.bottomRight, rowStart = g.rowLine[1][0], colStart = g.columnLine[1][0];
  const int32_t corner[2] = {g.corner[0], g.corner[1]};
  AdjustBottomRight(&g, 1.5f, -0.5f);
  EXPECT_FLOAT_EQ(g.rowLine[1][20].x, first.x + 1.5f * g.u.x - 0.5f * g.v.x);
  EXPECT_FLOAT_EQ(g.rowLine[1][20].y, first.y + 1.5f * g.u.y - 0.5f * g.v.y);
  EXPECT_FLOAT_EQ(g.columnLine[1][20].x, g.rowLine[1][20].x);
  EXPECT_FLOAT_EQ(g.rowLine[1][0].x, rowStart.x);
  EXPECT_FLOAT_EQ(g.columnLine[1][0].y, colStart.y);
  AdjustBottomRight(&g, -2, 2);  // from the first place, not from the last attempt
  EXPECT_FLOAT_EQ(g.rowLine[1][20].x, first.x - 2 * g.u.x + 2 * g.v.x);
  EXPECT_EQ(g.corner[0], corner[0]);  // the reported corner stays the first prediction
  EXPECT_EQ(g.corner[1], corner[1]);
}

}  // namespace
}  // namespace vantrel::qr

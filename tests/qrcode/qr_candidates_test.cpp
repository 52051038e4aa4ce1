// Geometric primitives and symbol candidates.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "qr_test_support.h"
#include "qrcode/src/qr_candidates.h"
#include "qrcode/src/qr_decoder.h"
#include "qrcode/src/qr_finder.h"
#include "qrcode/src/qr_geometry.h"

namespace vantrel::qr {
namespace {

using qrtest::BinaryCanvas;
constexpr double kPi = 3.141592653589793;

TEST(QrAngle, CounterClockwiseFromTheXAxisInAnUprightPicture) {
  const struct {
    QrPoint q;
    double radians;
  } cases[] = {{{10, 0}, 0},          {{10, -10}, kPi / 4}, {{0, -10}, kPi / 2},
               {{-10, -10}, 3 * kPi / 4}, {{-10, 0}, kPi},  {{-10, 10}, 5 * kPi / 4},
               {{0, 10}, 3 * kPi / 2}, {{10, 10}, 7 * kPi / 4}, {{10, -5}, std::atan2(5.0, 10.0)}};
  for (const auto& c : cases) EXPECT_NEAR(Angle({0, 0}, c.q), c.radians, 1e-6) << c.q.x << "," << c.q.y;
  EXPECT_NEAR(Angle({3, 4}, {3, 4}), kPi, 1e-9);  // dy = 0 and dx not positive
  EXPECT_FLOAT_EQ(Distance({1, 2}, {4, 6}), 5.0f);
}

TEST(QrIntersect, LinesAndTheirFailures) {
  QrPoint p;
  ASSERT_TRUE(Intersect({0, 0}, {1, 2}, {0, 3}, {3, 0}, &p));  // y = 2x and y = 3 - x
  EXPECT_FLOAT_EQ(p.x, 1);
  EXPECT_FLOAT_EQ(p.y, 2);
  ASSERT_TRUE(Intersect({5, -1}, {5, 9}, {0, 1}, {10, 3}, &p));  // first line vertical
  EXPECT_FLOAT_EQ(p.x, 5);
  EXPECT_FLOAT_EQ(p.y, 2);
  ASSERT_TRUE(Intersect({0, 1}, {10, 3}, {5, -1}, {5, 9}, &p));  // second line vertical
  EXPECT_FLOAT_EQ(p.x, 5);
  EXPECT_FLOAT_EQ(p.y, 2);
  EXPECT_FALSE(Intersect({1, 0}, {1, 5}, {2, 0}, {2, 5}, &p));  // both vertical
  EXPECT_FALSE(Intersect({0, 0}, {1, 1}, {0, 2}, {3, 5}, &p));  // parallel
  // Nearly parallel lines meet far away; the point is returned as it is and
  // counts as outside the picture when rounded.
  ASSERT_TRUE(Intersect({0, 0}, {1000, 0}, {0, 1}, {1000, std::nextafter(1.0f, 2.0f)}, &p));
  EXPECT_EQ(QrRound(p.x), kOutsidePixel);
}

TEST(QrRound, AddsJustUnderAHalfInDoublePrecision) {
  EXPECT_EQ(QrRound(2.5f), 2);
  EXPECT_EQ(QrRound(2.5000002f), 2);
  EXPECT_EQ(QrRound(2.5001f), 3);
  EXPECT_EQ(QrRound(40.5f), 40);  // in float, 40.5f + 0.499999f would be 41
  EXPECT_EQ(QrRound(1000.5f), 1000);
  EXPECT_EQ(QrRound(2.6f), 3);
  EXPECT_EQ(QrRound(-0.6f), 0);  // truncated toward zero
  EXPECT_EQ(QrRound(-1.6f), -1);
  EXPECT_EQ(QrRound(std::nan("")), kOutsidePixel);
  EXPECT_EQ(QrRound(INFINITY), kOutsidePixel);
  EXPECT_EQ(QrRound(-2e9), kOutsidePixel);
  EXPECT_EQ(QrRound(1073741823.0), 1073741823);
}

// A crisp finder of three-pixel modules covering pixels 20..40 x 30..50,
// centre (30.5, 40.5).
BinaryCanvas Finder() {
  BinaryCanvas c(80, 80);
  c.PaintFinder(3, 20, 30);
  return c;
}

TEST(QrRayToEdge, EndsOfTheOuterRing) {
  const BinaryCanvas c = Finder();
  const QrPoint centre{30.5f, 40.5f};
  const struct {
    double angle;
    QrPixel edge;
    const char* why;
  } cases[] = {
      {0, {41, 40}, "right: the first clear pixel"},
      {kPi, {20, 40}, "left: the last set pixel"},
      {kPi / 2, {30, 30}, "up (vertical): the last set pixel"},
      {3 * kPi / 2, {30, 51}, "down (vertical): the first clear pixel"},
      {-80 * kPi / 180, {32, 50}, "steep, downwards: the last set pixel"},
      {80 * kPi / 180, {32, 30}, "steep, upwards: the last set pixel"},
      {-20 * kPi / 180, {41, 44}, "flat, to the right"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.why);
    QrPixel e;
    ASSERT_TRUE(RayToEdge(c.Image(), centre, k.angle, &e));
    EXPECT_EQ(e.x, k.edge.x);
    EXPECT_EQ(e.y, k.edge.y);
  }
}

TEST(QrRayToEdge, FailsWhereTheRingsMeetTheImageEdge) {
  // The outer ring lies above the picture: the light ring runs into row 0.
  BinaryCanvas c(80, 80);
  c.PaintFinder(3, 20, -3);
  QrPixel e;
  EXPECT_FALSE(RayToEdge(c.Image(), {30.5f, 7.5f}, kPi / 2, &e));
  // Only the outer ring reaches the edge: the walk ends there.
  BinaryCanvas d(80, 80);
  d.PaintFinder(3, 20, -1);
  ASSERT_TRUE(RayToEdge(d.Image(), {30.5f, 9.5f}, kPi / 2, &e));
  EXPECT_EQ(e.y, 0);
}

TEST(QrTraceEdge, FollowsEachSideToItsEnds) {
  BinaryCanvas c = Finder();
  const QrPoint centre{30.5f, 40.5f};
  const struct {
    QrPixel start;
    QrPixel smaller, larger;
    const char* side;
  } cases[] = {
      {{41, 40}, {41, 30}, {41, 50}, "right side: one past the set pixels"},
      {{20, 40}, {20, 30}, {20, 50}, "left side"},
      {{30, 30}, {20, 30}, {40, 30}, "top side"},
      {{30, 51}, {20, 51}, {40, 51}, "bottom side"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.side);
    const QrPixel a = TraceEdge(c.Image(), centre, k.start, -1);
    const QrPixel b = TraceEdge(c.Image(), centre, k.start, 1);
    EXPECT_EQ(a.x, k.smaller.x);
    EXPECT_EQ(a.y, k.smaller.y);
    EXPECT_EQ(b.x, k.larger.x);
    EXPECT_EQ(b.y, k.larger.y);
  }
  // A rounded corner: the tracer steps inwards onto it before it stops.
  c.Set(40, 30, false);
  const QrPixel top = TraceEdge(c.Image(), centre, {41, 40}, -1);
  EXPECT_EQ(top.x, 40);
  EXPECT_EQ(top.y, 30);
}

// Candidates of a crisp picture.
std::vector<QrCandidate> CandidatesOf(const BinaryCanvas& c, std::vector<QrFinder>* finders) {
  std::vector<QrCandidate> cands;
  EXPECT_TRUE(FindFinders(c.Image(), finders));
  EXPECT_TRUE(BuildCandidates(c.Image(), *finders, &cands));
  return cands;
}

// The module pattern with `extra` copies of its middle row inserted, which
// moves the bottom-left finder away from the other two.
test::ModuleMatrix Stretched(const test::ModuleMatrix& m, int32_t extra) {
  test::ModuleMatrix s;
  s.width = m.width;
  s.height = m.height + extra;
  const int32_t mid = m.height / 2;
  for (int32_t r = 0; r < s.height; ++r) {
    const int32_t from = r <= mid ? r : (r <= mid + extra ? mid : r - extra);
    for (int32_t c = 0; c < m.width; ++c) s.dark.push_back(m.At(c, from));
  }
  return s;
}

TEST(QrCandidates, AnUprightSymbolGivesOneCandidate) {
  const test::ModuleMatrix m = qrtest::ZintQr({"--vers=2", "--secure=2", "--mask=4"}, "CANDIDATE");
  BinaryCanvas c(200, 200);
  c.Paint(m, 4, 30, 40);
  std::vector<QrFinder> finders;
  const std::vector<QrCandidate> cands = CandidatesOf(c, &finders);
  ASSERT_EQ(cands.size(), 1u);
  const QrCandidate& k = cands[0];
  EXPECT_EQ(k.version, 2);
  EXPECT_EQ(k.level, 1);
  EXPECT_EQ(k.mask, 4);
  EXPECT_FLOAT_EQ(finders[k.finderA].x, 30 + 14);
  EXPECT_FLOAT_EQ(finders[k.finderA].y, 40 + 14);
  EXPECT_FLOAT_EQ(finders[k.finderB].x, 30 + 4 * 25 - 14);
  EXPECT_FLOAT_EQ(finders[k.finderC].y, 40 + 4 * 25 - 14);
  QrPoint P[12];
  qrtest::CrispCorners(25, 4, 30, 40, P);
  for (int32_t i = 0; i < 12; ++i) {
    EXPECT_NEAR(k.P[i].x, P[i].x, 1.01) << "P" << i;
    EXPECT_NEAR(k.P[i].y, P[i].y, 1.01) << "P" << i;
  }
}

// Flipped left to right, the three finders look like a symbol turned by 90
// degrees, and only the format information can tell. Read that way the first
// copy comes out bit-reversed, which is never a format word; the second copy
// picks up the dark module, and for five of the 32 formats it lands within
// two bits of another word. Those give a candidate whose data cannot be read.
TEST(QrCandidates, AMirrorImageIsNeverRead) {
  for (int32_t secure = 1; secure <= 4; ++secure)
    for (int32_t mask = 0; mask < 8; ++mask) {
      SCOPED_TRACE(::testing::Message() << "level " << secure - 1 << " mask " << mask);
      const test::ModuleMatrix m = qrtest::ZintQr(
          {"--vers=2", "--secure=" + std::to_string(secure), "--mask=" + std::to_string(mask)}, "MIRROR");
      test::ModuleMatrix mirrored = m;
      for (int32_t r = 0; r < m.height; ++r)
        for (int32_t col = 0; col < m.width; ++col)
          mirrored.dark[static_cast<size_t>(r) * m.width + col] = m.At(m.width - 1 - col, r);
      BinaryCanvas c(200, 200);
      c.Paint(mirrored, 4, 30, 40);
      std::vector<QrFinder> finders;
      const std::vector<QrCandidate> cands = CandidatesOf(c, &finders);
      EXPECT_GE(finders.size(), 3u);  // the data may form a fourth
      const int32_t level = secure - 1;
      const bool lands = (level == 1 && (mask == 0 || mask == 3)) || (level == 0 && (mask == 4 || mask == 5)) ||
                         (level == 3 && mask == 6);
      EXPECT_EQ(cands.empty(), !lands);
      auto ctx = std::make_unique<QrDecodeContext>();
      EXPECT_EQ(RunPipeline(ctx.get(), c.Image()), 0);
    }
}

TEST(QrCandidates, RotatedBy45DegreesAStillStartsAtTheTopLeftFinder) {
  const test::ModuleMatrix m = qrtest::ZintQr({"--vers=3"}, "ROTATED");
  test::RenderOptions o;
  o.moduleSize = 5;
  o.angleDeg = 45;
  o.centreX = 200.3;
  o.centreY = 200.2;
  test::DibPtr pic = test::RenderSymbol(m, o, 400, 400, 1);
  QrSourceArea src{DibGetBits(pic.get()), DibGetStride(pic.get()), 1, 0, 0, 0, 400, 400};
  std::vector<uint8_t> bin;
  ASSERT_TRUE(Binarize(src, 128, 1, &bin));
  const QrBinaryImage img{bin.data(), 400, 400};
  std::vector<QrFinder> finders;
  std::vector<QrCandidate> cands;
  ASSERT_TRUE(FindFinders(img, &finders));
  ASSERT_TRUE(BuildCandidates(img, finders, &cands));
  ASSERT_EQ(cands.size(), 1u);
  // The top-left finder's centre, module (3.5, 3.5), turned 45 degrees
  // counter-clockwise about the symbol's centre.
  const double u = (3.5 - m.width / 2.0) * 5, a = 45 * kPi / 180;
  const double ax = 200.3 + u * std::cos(a) + u * std::sin(a);
  const double ay = 200.2 - u * std::sin(a) + u * std::cos(a);
  EXPECT_NEAR(finders[cands[0].finderA].x, ax, 1.5);
  EXPECT_NEAR(finders[cands[0].finderA].y, ay, 1.5);
  EXPECT_EQ(cands[0].version, 3);
}

TEST(QrCandidates, VersionFromTheEstimatesOrTheVersionInformation) {
  struct Case {
    int32_t version, extraRows;
    bool spoilVersionInfo;
    int32_t expected;  // 0: no candidate
    const char* why;
  };
  const Case cases[] = {
      {2, 0, false, 2, "estimates 2 and 2"},
      {2, 2, false, 2, "an estimate of exactly 2.5 rounds to 2"},
      {2, 4, false, 0, "estimates 2 and 3: both small and different"},
      {8, 0, true, 8, "version information unreadable, both estimates 8"},
      {9, 12, false, 9, "estimates 9 and 12: the version information decides"},
      {9, 12, true, 0, "estimates 9 and 12 and no version information"},
      {9, 20, false, 0, "estimates 9 and 14: too far apart"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.why);
    test::ModuleMatrix m = qrtest::ZintQr({"--vers=" + std::to_string(k.version)}, "ESTIMATE");
    const int32_t N = m.width;
    if (k.spoilVersionInfo)
      for (int32_t bit : {0, 7, 13})  // three wrong bits in each copy
        for (int32_t copy = 0; copy < 2; ++copy) {
          const int32_t c = copy == 0 ? N - 11 + bit % 3 : bit / 3;
          const int32_t r = copy == 0 ? bit / 3 : N - 11 + bit % 3;
          m.dark[static_cast<size_t>(r) * N + c] ^= 1;
        }
    m = Stretched(m, k.extraRows);
    BinaryCanvas c(4 * N + 40, 4 * m.height + 40);
    c.Paint(m, 4, 20, 20);
    std::vector<QrFinder> finders;
    const std::vector<QrCandidate> cands = CandidatesOf(c, &finders);
    if (k.expected == 0) {
      EXPECT_TRUE(cands.empty());
    } else {
      ASSERT_EQ(cands.size(), 1u);
      EXPECT_EQ(cands[0].version, k.expected);
    }
  }
}

}  // namespace
}  // namespace vantrel::qr

// The decoding loop: finder consumption, duplicates, the mode test and the
// order of the results.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "qr_test_support.h"
#include "qrcode/src/qr_candidates.h"
#include "qrcode/src/qr_decoder.h"
#include "qrcode/src/qr_finder.h"

namespace vantrel::qr {
namespace {

using qrtest::BinaryCanvas;

QrResult WithCorners(std::vector<int32_t> c) {
  QrResult r;
  for (int32_t i = 0; i < 8; ++i) r.corners[i] = c[i];
  r.length = 1;
  return r;
}

// A symbol of w x h pixels whose top-left corner is at (x, y), upright.
QrResult Upright(int32_t x, int32_t y, int32_t w, int32_t h, uint8_t tag) {
  QrResult r = WithCorners({x, y, x + w, y, x + w, y + h, x, y + h});
  r.data[0] = tag;
  return r;
}

std::string Tags(const std::vector<QrResult>& results) {
  std::string s;
  for (const QrResult& r : results) s += static_cast<char>(r.data[0]);
  return s;
}

TEST(QrResultOrder, RowsTopToBottomThenLeftToRight) {
  struct Case {
    std::vector<QrResult> results;
    std::string order;
    const char* why;
  };
  const Case cases[] = {
      {{Upright(300, 40, 100, 100, 'b'), Upright(200, 300, 100, 100, 'c'), Upright(20, 50, 100, 100, 'a')},
       "abc", "two in a top row and one below"},
      {{Upright(400, 100, 80, 80, 'b'), Upright(100, 100, 80, 80, 'a')}, "ab", "side by side"},
      {{Upright(400, 118, 80, 80, 'b'), Upright(100, 100, 80, 80, 'a')}, "ab",
       "tops 18 pixels apart are one row (a quarter of the height is 20)"},
      {{Upright(100, 130, 80, 80, 'b'), Upright(400, 100, 80, 80, 'a')}, "ab",
       "30 pixels apart are two rows: the higher first"},
      {{Upright(10, 400, 50, 50, 'd'), Upright(300, 10, 50, 50, 'b'), Upright(320, 200, 50, 50, 'c'),
        Upright(5, 12, 50, 50, 'a')},
       "abcd", "three rows"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    std::vector<QrResult> r = c.results;
    OrderResults(&r);
    EXPECT_EQ(Tags(r), c.order);
  }
}

TEST(QrResultOrder, NearDuplicatesAreWithin20Pixels) {
  std::vector<QrResult> list{WithCorners({100, 100, 200, 100, 200, 200, 100, 200})};
  EXPECT_TRUE(IsDuplicateResult(list, WithCorners({120, 80, 220, 120, 999, 999, 80, 220})));
  EXPECT_FALSE(IsDuplicateResult(list, WithCorners({121, 100, 200, 100, 200, 200, 100, 200})));
  EXPECT_FALSE(IsDuplicateResult(list, WithCorners({100, 100, 200, 100, 200, 200, 100, 179})));
  EXPECT_FALSE(IsDuplicateResult({}, list[0]));
}

// A crisp symbol run through finders and candidates; the loop is left to the test.
struct Prepared {
  BinaryCanvas canvas{1, 1};
  std::unique_ptr<QrDecodeContext> ctx = std::make_unique<QrDecodeContext>();
};
void Prepare(const test::ModuleMatrix& m, int32_t module, Prepared* p) {
  p->canvas = BinaryCanvas(m.width * module + 40, m.height * module + 40);
  p->canvas.Paint(m, module, 20, 20);
  p->ctx->image = p->canvas.Image();
  ASSERT_TRUE(FindFinders(p->ctx->image, &p->ctx->finders));
  ASSERT_TRUE(BuildCandidates(p->ctx->image, p->ctx->finders, &p->ctx->candidates));
  ASSERT_EQ(p->ctx->candidates.size(), 1u);
}

TEST(QrDecodeLoop, ASymbolIsDecodedOnce) {
  Prepared p;
  Prepare(qrtest::ZintQr({"--vers=2"}, "ONCE"), 4, &p);
  QrDecodeContext& ctx = *p.ctx;
  // The same triple twice: the second finds its finders used.
  ctx.candidates.push_back(ctx.candidates[0]);
  // Another triple of copies of the finders, too far away to be consumed,
  // with the same corners: decoded again, its finders consumed, and dropped
  // as a duplicate.
  QrCandidate copy = ctx.candidates[0];
  for (int32_t* f : {&copy.finderA, &copy.finderB, &copy.finderC}) {
    QrFinder moved = ctx.finders[*f];
    moved.x += 12;
    ctx.finders.push_back(moved);
    *f = static_cast<int32_t>(ctx.finders.size()) - 1;
  }
  ctx.candidates.push_back(copy);
  // A spurious finder near A's centre is consumed with the symbol.
  QrFinder near = ctx.finders[ctx.candidates[0].finderA];
  near.x += 3;
  ctx.finders.push_back(near);

  ASSERT_EQ(DecodeCandidates(&ctx), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ctx.results[0].data), ctx.results[0].length), "ONCE");
  EXPECT_EQ(ctx.results[0].data[ctx.results[0].length], 0);
  EXPECT_EQ(ctx.finders.back().used, 1);
  for (int32_t f : {copy.finderA, copy.finderB, copy.finderC}) EXPECT_EQ(ctx.finders[f].used, 1);
}

TEST(QrDecodeLoop, CornersOfTheResult) {
  Prepared p;
  Prepare(qrtest::ZintQr({"--vers=1"}, "CORNERS"), 4, &p);
  ASSERT_EQ(DecodeCandidates(p.ctx.get()), 1);
  const int32_t* c = p.ctx->results[0].corners;
  const int32_t want[8] = {20, 20, 20 + 84, 20, 20 + 84, 20 + 84, 20, 20 + 84};
  for (int32_t i = 0; i < 8; ++i) EXPECT_NEAR(c[i], want[i], 1) << i;
}

TEST(QrDecodeLoop, VersionZeroIsSkippedWithoutAttempts) {
  Prepared p;
  Prepare(qrtest::ZintQr({"--vers=1"}, "ZERO"), 4, &p);
  p.ctx->candidates[0].version = 0;
  EXPECT_EQ(DecodeCandidates(p.ctx.get()), 0);
  for (const QrFinder& f : p.ctx->finders) EXPECT_EQ(f.used, 0);
}

TEST(QrDecodeLoop, StructuredAppendHeaderIsSkipped) {
  Prepared p;
  Prepare(qrtest::ZintQr({"--vers=2", "--structapp=2,3"}, "PART TWO"), 4, &p);
  ASSERT_EQ(DecodeCandidates(p.ctx.get()), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.ctx->results[0].data), p.ctx->results[0].length),
            "PART TWO");
}

TEST(QrDecodeLoop, AnEciSymbolIsDroppedButConsumesItsFinders) {
  Prepared p;
  Prepare(qrtest::ZintQr({"--vers=2", "--eci=26"}, "ECI"), 4, &p);
  EXPECT_EQ(p.ctx->codewords[0], 0);
  EXPECT_EQ(DecodeCandidates(p.ctx.get()), 0);
  EXPECT_EQ(p.ctx->codewords[0] >> 4, 7);  // it was read: the first mode is ECI
  const QrCandidate& k = p.ctx->candidates[0];
  EXPECT_EQ(p.ctx->finders[k.finderA].used, 1);
  EXPECT_EQ(p.ctx->finders[k.finderB].used, 1);
  EXPECT_EQ(p.ctx->finders[k.finderC].used, 1);
}

TEST(QrPipeline, ATextureOfFindersStaysWithinTheBudget) {
  // 12 x 12 finder patterns: 128 finders, two million triples and thousands
  // of candidates, each of which fails. The candidate stage stops at its
  // budget of triples, the attempts at theirs.
  BinaryCanvas c(12 * 10 + 4, 12 * 10 + 4);
  for (int32_t j = 0; j < 12; ++j)
    for (int32_t i = 0; i < 12; ++i) c.PaintFinder(1, 3 + 10 * i, 3 + 10 * j);
  auto ctx = std::make_unique<QrDecodeContext>();
  EXPECT_EQ(RunPipeline(ctx.get(), c.Image()), 0);
  EXPECT_EQ(ctx->finders.size(), 128u);
  EXPECT_EQ(ctx->triplesExamined, kCandidateTripleBudget);
  EXPECT_GT(ctx->candidates.size(), 50u);
  EXPECT_LE(ctx->sampledModules, kSampledModuleBudget);
  EXPECT_GT(ctx->sampledModules, kSampledModuleBudget / 2);

  // A real symbol decodes as the first candidate, long before the budget.
  const test::ModuleMatrix m = qrtest::ZintQr({"--vers=2"}, "BUDGET");
  BinaryCanvas one(200, 200);
  one.Paint(m, 4, 40, 40);
  auto ctx2 = std::make_unique<QrDecodeContext>();
  ASSERT_EQ(RunPipeline(ctx2.get(), one.Image()), 1);
  EXPECT_EQ(ctx2->sampledModules, 25 * 25);
}

TEST(QrPipeline, SmallOrEmptyImagesFindNothing) {
  BinaryCanvas tiny(20, 200);
  auto ctx = std::make_unique<QrDecodeContext>();
  EXPECT_EQ(RunPipeline(ctx.get(), tiny.Image()), 0);
  BinaryCanvas two(200, 200);
  two.PaintFinder(4, 10, 10);
  two.PaintFinder(4, 100, 10);
  EXPECT_EQ(RunPipeline(ctx.get(), two.Image()), 0);
  EXPECT_EQ(ctx->finders.size(), 2u);
  EXPECT_TRUE(ctx->candidates.empty());
}

}  // namespace
}  // namespace vantrel::qr

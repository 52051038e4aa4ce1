// The robust reading: pictures the strict decoder cannot read (cut quiet
// zones, strong perspective, uneven light, colour, the other polarity, the
// mirror image, ECI and GS1 data), the same decodes with robust reading off,
// and the work a hostile picture may cost.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "qr_test_support.h"
#include "qrcode/src/qr_candidates.h"
#include "qrcode/src/qr_decoder.h"
#include "qrcode/src/qr_robust.h"
#include "qrcode/src/qr_transform.h"
#include "vantrel/OvoQrc.h"

namespace vantrel::qrtest {
namespace {

using qr::QrPoint;
using qr::QrTransform;

class QrRobust : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(OvoQrcInitialize(), 0);
    OvoQrcSetParameterFile(nullptr);
  }
  static void TearDownTestSuite() { OvoQrcTerminate(); }
};

// B, G, R of a pixel at (x, y), dark or light.
using Colour = std::function<void(double x, double y, bool dark, uint8_t bgr[3])>;

void Grey(uint8_t level, uint8_t bgr[3]) { bgr[0] = bgr[1] = bgr[2] = level; }

Colour BlackOnWhite() {
  return [](double, double, bool dark, uint8_t bgr[3]) { Grey(dark ? 0 : 255, bgr); };
}

// Paints the symbol and `quiet` light modules around it so that its corners
// (0, 0), (N, 0), (0, N) and (N, N) in module edges land on the four points,
// four by four samples a pixel.
void PaintProjective(DibImage pic, const test::ModuleMatrix& m, const QrPoint corners[4], int32_t quiet,
                     const Colour& colour) {
  const float n = static_cast<float>(m.width);
  const QrPoint modules[4] = {{0, 0}, {n, 0}, {0, n}, {n, n}};
  QrTransform toPicture, toModules;
  ASSERT_TRUE(toPicture.Fit(modules, corners));
  ASSERT_TRUE(toModules.Fit(corners, modules));
  double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
  for (double u : {-1.0 * quiet, n + 1.0 * quiet})
    for (double v : {-1.0 * quiet, n + 1.0 * quiet}) {
      const QrPoint p = toPicture.Map(u, v);
      x0 = std::min<double>(x0, p.x);
      y0 = std::min<double>(y0, p.y);
      x1 = std::max<double>(x1, p.x);
      y1 = std::max<double>(y1, p.y);
    }
  const int32_t w = DibGetWidth(pic), h = DibGetHeight(pic), stride = DibGetStride(pic);
  const int32_t bpp = DibGetBitCount(pic) / 8;
  uint8_t* bits = DibGetBits(pic);
  for (int32_t py = std::max(0, static_cast<int32_t>(y0) - 1); py <= std::min(h - 1, static_cast<int32_t>(y1) + 1); ++py)
    for (int32_t px = std::max(0, static_cast<int32_t>(x0) - 1); px <= std::min(w - 1, static_cast<int32_t>(x1) + 1); ++px) {
      int32_t sum[3] = {}, inside = 0;
      for (int32_t k = 0; k < 16; ++k) {
        const double sx = px + (k % 4 + 0.5) / 4, sy = py + (k / 4 + 0.5) / 4;
        const QrPoint q = toModules.Map(sx, sy);
        if (q.x < -quiet || q.y < -quiet || q.x >= n + quiet || q.y >= n + quiet) continue;
        const int32_t c = static_cast<int32_t>(std::floor(q.x)), r = static_cast<int32_t>(std::floor(q.y));
        const bool dark = c >= 0 && r >= 0 && c < m.width && r < m.height && m.At(c, r);
        uint8_t bgr[3];
        colour(sx, sy, dark, bgr);
        for (int32_t i = 0; i < 3; ++i) sum[i] += bgr[i];
        ++inside;
      }
      if (inside == 0) continue;
      uint8_t* p = bits + static_cast<ptrdiff_t>(py) * stride + static_cast<ptrdiff_t>(px) * bpp;
      for (int32_t i = 0; i < bpp; ++i) {
        const int32_t channel = bpp == 1 ? 1 : i;
        p[i] = static_cast<uint8_t>((sum[channel] + p[i] * (16 - inside) + 8) / 16);
      }
    }
}

// An upright symbol of `module` pixels with its top-left corner at (x, y).
void PaintUpright(DibImage pic, const test::ModuleMatrix& m, double x, double y, double module, int32_t quiet,
                  const Colour& colour) {
  const float n = static_cast<float>(m.width * module);
  const QrPoint corners[4] = {{static_cast<float>(x), static_cast<float>(y)},
                              {static_cast<float>(x) + n, static_cast<float>(y)},
                              {static_cast<float>(x), static_cast<float>(y) + n},
                              {static_cast<float>(x) + n, static_cast<float>(y) + n}};
  PaintProjective(pic, m, corners, quiet, colour);
}

test::DibPtr Canvas(uint8_t level, int32_t bpp = 3, int32_t w = 640, int32_t h = 480) {
  test::DibPtr pic(DibCreate(w, h, bpp, 4));
  test::FillGrey(pic.get(), level);
  return pic;
}

test::ModuleMatrix Transposed(const test::ModuleMatrix& m) {
  test::ModuleMatrix t = m;
  for (int32_t r = 0; r < m.height; ++r)
    for (int32_t c = 0; c < m.width; ++c) t.dark[static_cast<size_t>(r) * m.width + c] = m.At(r, c);
  return t;
}

struct Case {
  const char* what;
  test::DibPtr picture;
  std::string expected;
  int32_t area[4] = {0, 0, 0, 0};  // all zero: the whole picture
  int32_t darkModules = 1, channel = 0;
  int32_t mirrored = 0;
  bool strictReads = false;  // the strict decoder reads it too
};

TEST_F(QrRobust, PicturesTheStrictDecoderCannotRead) {
  const std::string text = "ROBUST READING 0123456789";
  const test::ModuleMatrix v3 = ZintQr({"--vers=3", "--secure=2"}, text);
  std::vector<Case> cases;

  // The quiet zone cut to nothing on each side by the processing area. The
  // strict finder test lets an outer run start at the area's first column
  // or row but not end at its last.
  const double x = 250.3, y = 150.2, module = 5;
  const int32_t side = static_cast<int32_t>(v3.width * module);
  const int32_t cuts[4][4] = {{250, 0, 639, 479}, {0, 150, 639, 479}, {0, 0, 250 + side, 479}, {0, 0, 639, 150 + side}};
  const char* const names[4] = {"quiet zone cut on the left", "quiet zone cut at the top",
                                "quiet zone cut on the right", "quiet zone cut at the bottom"};
  for (int32_t i = 0; i < 4; ++i) {
    Case c{names[i], Canvas(255), text};
    PaintUpright(c.picture.get(), v3, x, y, module, 4, BlackOnWhite());
    std::copy(cuts[i], cuts[i] + 4, c.area);
    c.strictReads = i < 2;
    cases.push_back(std::move(c));
  }

  // A small, slightly blurred version-6 symbol under strong perspective: its
  // alignment pattern lies more than 2.5 modules from where the three
  // finders put it.
  const test::ModuleMatrix v6 = ZintQr({"--vers=6", "--secure=2"}, text);
  {
    const float n = static_cast<float>(v6.width);
    const QrPoint corners[4] = {{64, 40}, {184, 36}, {60, 160}, {200, 176}};
    const QrPoint modules[4] = {{0, 0}, {n, 0}, {0, n}, {n, n}};
    QrTransform t;
    ASSERT_TRUE(t.Fit(modules, corners));
    const QrPoint A = t.Map(3.5, 3.5), B = t.Map(n - 3.5, 3.5), C = t.Map(3.5, n - 3.5);
    const QrPoint pattern = t.Map(n - 6.5, n - 6.5), next = t.Map(n - 5.5, n - 6.5);
    const float f = (n - 10) / (n - 7);
    const QrPoint predicted = A + (B - A) * f + (C - A) * f;
    const double moduleThere = std::hypot(next.x - pattern.x, next.y - pattern.y);
    EXPECT_GT(std::hypot(pattern.x - predicted.x, pattern.y - predicted.y) / moduleThere, 2.5);
    Case c{"version 6, alignment pattern far off", Canvas(255), text};
    PaintProjective(c.picture.get(), v6, corners, 4, BlackOnWhite());
    test::GaussianBlur(c.picture.get(), 0.8);
    cases.push_back(std::move(c));
  }

  // Light falling off to the left: at threshold 128 the left finders are all dark.
  {
    Case c{"a light gradient hides the finders", Canvas(255), text};
    const Colour dim = [](double px, double, bool dark, uint8_t bgr[3]) {
      const double light = 255 * std::clamp(0.25 + (px - 200) / 300, 0.25, 1.0);
      Grey(static_cast<uint8_t>(dark ? light * 0.2 : light), bgr);
    };
    for (int32_t yy = 0; yy < 480; ++yy)  // the ground under the same light
      for (int32_t xx = 0; xx < 640; ++xx) {
        uint8_t bgr[3];
        dim(xx + 0.5, yy + 0.5, false, bgr);
        uint8_t* p = DibGetBits(c.picture.get()) + yy * DibGetStride(c.picture.get()) + xx * 3;
        p[0] = bgr[0];
        p[1] = bgr[1];
        p[2] = bgr[2];
      }
    PaintUpright(c.picture.get(), v3, 200.3, 150.2, 6, 4, dim);
    cases.push_back(std::move(c));
  }

  // Red modules on white, read in the red channel, where they vanish.
  {
    Case c{"red on white in the red channel", Canvas(255), text};
    PaintUpright(c.picture.get(), v3, x, y, module, 4, [](double, double, bool dark, uint8_t bgr[3]) {
      bgr[0] = bgr[1] = dark ? 0 : 255;
      bgr[2] = 255;
    });
    cases.push_back(std::move(c));
  }

  // Light modules on a dark ground, with the polarity for dark modules.
  {
    Case c{"light on dark", Canvas(20), text};
    PaintUpright(c.picture.get(), v3, x, y, module, 4,
                 [](double, double, bool dark, uint8_t bgr[3]) { Grey(dark ? 230 : 20, bgr); });
    cases.push_back(std::move(c));
  }

  // Seen in a mirror (or printed on the back of a transparent label).
  {
    Case c{"mirrored", Canvas(255), text};
    PaintUpright(c.picture.get(), Transposed(v3), x, y, module, 4, BlackOnWhite());
    c.mirrored = 1;
    cases.push_back(std::move(c));
  }

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const bool whole = c.area[0] == 0 && c.area[1] == 0 && c.area[2] == 0 && c.area[3] == 0;
    const int32_t* area = whole ? nullptr : c.area;
    EXPECT_EQ(DecodeWithLibrary(c.picture.get(), area, 128, c.darkModules, c.channel, 0).count,
              c.strictReads ? 1 : 0);
    const DecodeOutcome out = DecodeWithLibrary(c.picture.get(), area, 128, c.darkModules, c.channel, 1);
    ASSERT_EQ(out.count, 1);
    EXPECT_EQ(out.symbols[0].data, c.expected);
    EXPECT_EQ(out.symbols[0].version, c.what == std::string("version 6, alignment pattern far off") ? 6 : 3);
    EXPECT_EQ(out.symbols[0].mirrored, c.mirrored);
  }
}

TEST_F(QrRobust, GS1AndEciData) {
  struct Data {
    const char* what;
    std::vector<std::string> options;
    std::string input, expected;
    int32_t modifier, encoding;
  };
  const Data data[] = {
      {"GS1: FNC1 between fields, none in front", {"--gs1"}, "[10]ABC123[21]XYZ", "10ABC123\x1D" "21XYZ", 3, 0},
      {"ECI 7: Cyrillic as UTF-8", {"--eci=7"}, "Привет", "Привет", 2, 1},
      {"ECI 26: UTF-8", {"--eci=26"}, "漢字 and ü", "漢字 and ü", 2, 1},
      {"ECI 20: Shift JIS as UTF-8", {"--eci=20"}, "読取品質", "読取品質", 2, 1},
  };
  for (const Data& d : data) {
    SCOPED_TRACE(d.what);
    std::vector<std::string> options = {"--vers=4", "--secure=2"};
    options.insert(options.end(), d.options.begin(), d.options.end());
    const test::ModuleMatrix m = ZintQr(options, d.input);
    test::DibPtr pic = Canvas(255);
    PaintUpright(pic.get(), m, 200.3, 120.2, 5, 4, BlackOnWhite());
    EXPECT_EQ(DecodeWithLibrary(pic.get(), nullptr, 128, 1, 0, 0).status, -4);  // the strict decoder refuses
    const DecodeOutcome out = DecodeWithLibrary(pic.get(), nullptr, 128, 1, 0, 1);
    ASSERT_EQ(out.count, 1);
    EXPECT_EQ(out.symbols[0].data, d.expected);
    EXPECT_EQ(out.symbols[0].modifier, d.modifier);
    EXPECT_EQ(out.symbols[0].encoding, d.encoding);
  }
}

// The fuzz target's even-first-byte pictures: raw pixels from the input.
test::DibPtr FuzzPicture(const std::vector<uint8_t>& input) {
  const int32_t span = (input[4] & 2) ? 90 : 160;
  const int32_t w = 21 + input[2] % span, h = 21 + input[3] % span;
  const int32_t bpp = (input[4] & 1) ? 3 : 1;
  test::DibPtr pic(DibCreate(w, h, bpp, 4));
  uint8_t* bits = DibGetBits(pic.get());
  const size_t n = input.size() - 8;
  size_t k = 0;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w * bpp; ++x) bits[y * DibGetStride(pic.get()) + x] = input[8 + k++ % n];
  return pic;
}

void ExpectWithinTheBudgets(const qr::QrDecodeWork& work) {
  EXPECT_LE(work.triplesExamined, qr::kCandidateTripleBudget);
  EXPECT_LE(work.sampledModules, qr::kSampledModuleBudget);
  // A correction is refused once the budget is spent; the last one may pass it by one block.
  EXPECT_LE(work.correction, qr::kCorrectionBudget + 255 * 255);
  // The robust passes stop at their budget, the step under way included.
  EXPECT_LE(work.robust, qr::kRobustBudget + 200'000);
}

TEST_F(QrRobust, HostilePicturesEndWithinTheWorkBudget) {
  // A picture from the fuzz target that once kept the decoder correcting
  // noise for seconds: 128 finders, two million triples, thousands of
  // candidates.
  std::ifstream in(std::string(VANTREL_SOURCE_DIR) + "/tests/fuzz-seeds/fuzz_qr/many-candidates", std::ios::binary);
  const std::vector<uint8_t> input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(input.size(), 180u);
  test::DibPtr pic = FuzzPicture(input);
  const DecodeOutcome out = DecodeWithLibrary(pic.get(), nullptr, 128, 1, input[7] % 4, 1);
  EXPECT_EQ(out.status, -4);
  const qr::QrDecodeWork work = qr::LastDecodeWork();
  EXPECT_EQ(work.triplesExamined, qr::kCandidateTripleBudget);
  EXPECT_TRUE(work.robustRan);
  ExpectWithinTheBudgets(work);

  // A frame full of text-like strokes: many finder-like rows, no symbol.
  test::DibPtr text = Canvas(235);
  std::mt19937 rng(77);
  uint8_t* bits = DibGetBits(text.get());
  for (int32_t line = 0; line < 40; ++line)
    for (int32_t x = 4; x < 636;) {
      const int32_t run = 1 + static_cast<int32_t>(rng() % 5);
      if (rng() % 2)
        for (int32_t yy = line * 12 + 2; yy < line * 12 + 11; ++yy)
          for (int32_t xx = x; xx < std::min(636, x + run); ++xx)
            for (int32_t i = 0; i < 3; ++i) bits[yy * DibGetStride(text.get()) + xx * 3 + i] = 40;
      x += run;
    }
  EXPECT_EQ(DecodeWithLibrary(text.get(), nullptr, 128, 1, 0, 1).status, -4);
  ExpectWithinTheBudgets(qr::LastDecodeWork());
}

}  // namespace
}  // namespace vantrel::qrtest

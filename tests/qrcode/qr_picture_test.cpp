// Whole symbols from the encoder zint, rendered like camera pictures and read
// through the library's interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "qr_test_support.h"
#include "qrcode/src/qr_version_table.h"
#include "vantrel/OvoQrc.h"

namespace vantrel::qrtest {
namespace {

class QrPictures : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(OvoQrcInitialize(), 0);
    OvoQrcSetParameterFile(nullptr);
  }
  static void TearDownTestSuite() { OvoQrcTerminate(); }
};

// Content of each mode, about `chars` characters long.
std::string Numeric(int32_t chars, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s;
  for (int32_t i = 0; i < chars; ++i) s += static_cast<char>('0' + rng() % 10);
  return s;
}
std::string Alphanumeric(int32_t chars, uint32_t seed) {
  static const char kSet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
  std::mt19937 rng(seed);
  std::string s;
  for (int32_t i = 0; i < chars; ++i) s += kSet[rng() % 45];
  return s;
}
std::string Bytes(int32_t chars, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s;
  for (int32_t i = 0; i < chars; ++i) s += static_cast<char>(rng() % 256);
  return s;
}
// Kanji of the Shift JIS range as UTF-8 text.
std::string Kanji(int32_t chars, uint32_t seed) {
  static const char* const kWords[] = {"漢", "字", "読", "取", "品", "質", "検", "査", "東", "京", "日", "本"};
  std::mt19937 rng(seed);
  std::string s;
  for (int32_t i = 0; i < chars; ++i) s += kWords[rng() % 12];
  return s;
}

enum class Mode { kNumeric, kAlphanumeric, kByte, kKanji };

struct Symbol {
  test::ModuleMatrix matrix;
  std::string expected;  // the bytes the decoder must give
};

// A symbol of the version and level (0..3) with content of the mode filling
// about half of it.
Symbol MakeSymbol(int32_t version, int32_t level, int32_t mask, Mode mode, uint32_t seed,
                  std::vector<std::string> extra = {}) {
  const int32_t D = vantrel::qr::QrVersionTable[version - 1].dataCodewords[level];
  std::vector<std::string> options = {"--vers=" + std::to_string(version),
                                      "--secure=" + std::to_string(level + 1)};
  if (mask >= 0) options.push_back("--mask=" + std::to_string(mask));
  options.insert(options.end(), extra.begin(), extra.end());
  Symbol s;
  std::string input;
  switch (mode) {
    case Mode::kNumeric: input = Numeric(std::max(1, D * 8 * 3 / 10 / 2), seed); break;
    case Mode::kAlphanumeric: input = Alphanumeric(std::max(1, D * 8 * 2 / 11 / 2), seed); break;
    case Mode::kByte:
      input = Bytes(std::max(1, std::min(D / 2, 250 + (version >= 10 ? 1000 : 0))), seed);
      options.push_back("--binary");
      break;
    case Mode::kKanji:
      // Shift JIS bytes, more than byte mode could hold: zint must use Kanji mode.
      input = ToShiftJis(Kanji(std::max(1, (D * 8 - 24) / 13 * 9 / 10), seed));
      options.push_back("--binary");
      options.push_back("--fullmultibyte");
      break;
  }
  s.expected = input;
  s.matrix = ZintQr(options, input);
  EXPECT_EQ(s.matrix.width, 4 * version + 17);
  return s;
}

struct View {
  double module = 4;
  double angle = 0;
  double perspective = 0;
  double blur = 0;
  double noise = 0;
  uint8_t dark = 0, light = 255;
  bool invert = false;
  double dx = 0.3, dy = 0.2;  // where the symbol's centre lies off the picture's centre
};

test::DibPtr Picture(const test::ModuleMatrix& m, const View& v, int32_t bytesPerPixel = 3) {
  const int32_t need = static_cast<int32_t>((m.width + 20) * v.module * 1.45) + 8;
  const int32_t w = std::max(640, need), h = std::max(480, need);
  test::RenderOptions o;
  o.moduleSize = v.module;
  o.angleDeg = v.angle;
  o.perspective = v.perspective;
  o.dark = v.dark;
  o.light = v.light;
  o.background = v.light;
  o.invert = v.invert;
  o.centreX = w / 2.0 + v.dx;
  o.centreY = h / 2.0 + v.dy;
  test::DibPtr pic = test::RenderSymbol(m, o, w, h, bytesPerPixel);
  if (v.blur > 0) test::GaussianBlur(pic.get(), v.blur);
  if (v.noise > 0) test::AddNoise(pic.get(), v.noise, 17);
  return pic;
}

// Read by the strict decoder; the robust reading, whose first pass it is,
// reads the same with the same corners.
void ExpectRead(const Symbol& s, const View& v, int32_t version, int32_t level, int32_t darkModules = 1) {
  test::DibPtr pic = Picture(s.matrix, v);
  const DecodeOutcome out = DecodeWithLibrary(pic.get(), nullptr, 128, darkModules);
  ASSERT_EQ(out.status, 0);
  ASSERT_EQ(out.count, 1);
  EXPECT_EQ(out.symbols[0].version, version);
  EXPECT_EQ(out.symbols[0].level, level);
  EXPECT_EQ(out.symbols[0].data, s.expected);
  const DecodeOutcome robust = DecodeWithLibrary(pic.get(), nullptr, 128, darkModules, 0, 1);
  ASSERT_EQ(robust.count, 1);
  EXPECT_EQ(robust.symbols[0].data, s.expected);
  EXPECT_EQ(std::vector<int32_t>(robust.symbols[0].corners, robust.symbols[0].corners + 8),
            std::vector<int32_t>(out.symbols[0].corners, out.symbols[0].corners + 8));
}

TEST_F(QrPictures, EveryVersionOfTheFirstTenThenASweep) {
  // Levels, masks and modes turn with the version, so that each of them
  // appears in every version group.
  const Mode modes[] = {Mode::kNumeric, Mode::kAlphanumeric, Mode::kByte, Mode::kKanji};
  for (int32_t v : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 13, 17, 22, 26, 27, 31, 35, 40}) {
    const int32_t level = v % 4, mask = v % 8;
    const Mode mode = modes[(v / 2) % 4];
    SCOPED_TRACE(::testing::Message() << "version " << v << " level " << level << " mask " << mask
                                      << " mode " << static_cast<int>(mode));
    const Symbol s = MakeSymbol(v, level, mask, mode, static_cast<uint32_t>(v));
    View view;
    view.module = v <= 10 ? 4 : 3;
    ExpectRead(s, view, v, level);
  }
}

TEST_F(QrPictures, EveryLevelAndMask) {
  for (int32_t level = 0; level < 4; ++level)
    for (int32_t mask = 0; mask < 8; ++mask) {
      SCOPED_TRACE(::testing::Message() << "level " << level << " mask " << mask);
      const int32_t v = mask % 2 == 0 ? 2 : 8;
      const Symbol s = MakeSymbol(v, level, mask, Mode::kAlphanumeric, static_cast<uint32_t>(level * 8 + mask));
      ExpectRead(s, View{}, v, level);
    }
}

TEST_F(QrPictures, EveryModeInEachCountWidthGroup) {
  const Mode modes[] = {Mode::kNumeric, Mode::kAlphanumeric, Mode::kByte, Mode::kKanji};
  for (int32_t v : {5, 12, 28})
    for (Mode mode : modes) {
      SCOPED_TRACE(::testing::Message() << "version " << v << " mode " << static_cast<int>(mode));
      const Symbol s = MakeSymbol(v, 1, -1, mode, static_cast<uint32_t>(v * 5 + static_cast<int>(mode)));
      View view;
      view.module = 3;
      ExpectRead(s, view, v, 1);
    }
}

TEST_F(QrPictures, MixedSegmentsAndStructuredAppend) {
  // zint splits mixed content into segments of several modes.
  {
    const std::string input = ToShiftJis("0123456789012345 HELLO WORLD lower case and 漢字 again 98765");
    const test::ModuleMatrix m = ZintQr({"--vers=6", "--secure=1", "--binary", "--fullmultibyte"}, input);
    Symbol s{m, input};
    ExpectRead(s, View{}, 6, 0);
  }
  for (int32_t index = 1; index <= 3; ++index) {
    SCOPED_TRACE(index);
    const std::string input = "PART " + std::to_string(index) + " OF THREE";
    Symbol s{ZintQr({"--vers=3", "--secure=2", "--structapp=" + std::to_string(index) + ",3"}, input), input};
    ExpectRead(s, View{}, 3, 1);
  }
}

TEST_F(QrPictures, TurnedByRightAnglesAnd45Degrees) {
  const struct {
    int32_t version;
    double module;
  } symbols[] = {{1, 4}, {4, 4}, {7, 4}, {15, 3}};
  for (const auto& sym : symbols)
    for (double angle : {90.0, 180.0, 270.0, 45.0}) {
      SCOPED_TRACE(::testing::Message() << "version " << sym.version << " angle " << angle);
      const Symbol s = MakeSymbol(sym.version, 2, -1, Mode::kAlphanumeric, static_cast<uint32_t>(sym.version));
      View view;
      view.module = sym.module;
      view.angle = angle;
      ExpectRead(s, view, sym.version, 2);
    }
}

TEST_F(QrPictures, ModulesOfOneToSixPixels) {
  for (int32_t v : {1, 3, 6, 9})
    for (double module : {2.0, 3.0, 4.0, 5.0, 6.0}) {
      SCOPED_TRACE(::testing::Message() << "version " << v << " module " << module);
      const Symbol s = MakeSymbol(v, 1, -1, Mode::kByte, static_cast<uint32_t>(v));
      View view;
      view.module = module;
      ExpectRead(s, view, v, 1);
    }
  // One pixel per module, upright and on the pixel grid only.
  for (int32_t v : {1, 2, 4}) {
    SCOPED_TRACE(::testing::Message() << "version " << v << " one pixel");
    const Symbol s = MakeSymbol(v, 1, -1, Mode::kAlphanumeric, static_cast<uint32_t>(v));
    View view;
    view.module = 1;
    view.dx = view.dy = 0.5;
    ExpectRead(s, view, v, 1);
  }
}

TEST_F(QrPictures, CameraLikePictures) {
  struct Case {
    const char* what;
    View view;
  };
  View perspective;
  perspective.perspective = 0.1;
  View blurred;
  blurred.blur = 0.7;
  View dim;
  dim.dark = 60;
  dim.light = 170;
  View noisy;
  noisy.noise = 14;
  // All at once asks for larger modules: A's width comes from rays and B's
  // from the edge follower, which cuts rounded corners, and their difference
  // bends the sampled rows.
  View all;
  all.module = 6;
  all.blur = 0.7;
  all.dark = 60;
  all.light = 170;
  all.noise = 10;
  all.angle = 12;
  const Case cases[] = {{"mild perspective", perspective}, {"blurred", blurred},
                        {"dim: the threshold lies between 60 and 170", dim}, {"noisy", noisy},
                        {"blurred, dim, noisy and turned", all}};
  for (int32_t v : {3, 10})
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << "version " << v << ": " << c.what);
      const Symbol s = MakeSymbol(v, 1, -1, Mode::kAlphanumeric, static_cast<uint32_t>(v + 100));
      ExpectRead(s, c.view, v, 1);
    }
}

TEST_F(QrPictures, LightOnDarkNeedsTheOtherPolarity) {
  const Symbol s = MakeSymbol(4, 1, -1, Mode::kAlphanumeric, 4);
  View view;
  view.invert = true;
  ExpectRead(s, view, 4, 1, 0);
  test::DibPtr pic = Picture(s.matrix, view);
  const DecodeOutcome out = DecodeWithLibrary(pic.get(), nullptr, 128, 1);
  EXPECT_EQ(out.status, -4);
  EXPECT_EQ(out.count, 0);
  // And a dark-on-light symbol is not read as light-on-dark.
  test::DibPtr normal = Picture(s.matrix, View{});
  EXPECT_EQ(DecodeWithLibrary(normal.get(), nullptr, 128, 0).status, -4);
  // The robust reading tries the other polarity where the threshold set most of the area.
  EXPECT_EQ(DecodeWithLibrary(pic.get(), nullptr, 128, 1, 0, 1).count, 1);
  EXPECT_EQ(DecodeWithLibrary(normal.get(), nullptr, 128, 0, 0, 1).count, 1);
}

TEST_F(QrPictures, SeveralSymbolsInReadingOrder) {
  // Two in a top row, one below; painted in another order.
  const Symbol a = MakeSymbol(2, 0, -1, Mode::kAlphanumeric, 1);
  const Symbol b = MakeSymbol(3, 1, -1, Mode::kNumeric, 2);
  const Symbol c = MakeSymbol(7, 2, -1, Mode::kByte, 3);
  test::DibPtr pic(DibCreate(640, 480, 3, 4));
  test::FillGrey(pic.get(), 255);
  auto paint = [&](const Symbol& s, double x, double y, double angle) {
    test::RenderOptions o;
    o.moduleSize = 3;
    o.quietZone = 4;
    o.centreX = x;
    o.centreY = y;
    o.angleDeg = angle;
    test::PaintSymbol(pic.get(), s.matrix, o);
  };
  paint(c, 320.3, 360.2, 0);
  paint(b, 480.1, 110.4, 8);
  paint(a, 150.2, 120.3, 0);
  for (int32_t robust : {0, 1}) {
    SCOPED_TRACE(robust);
    const DecodeOutcome out = DecodeWithLibrary(pic.get(), nullptr, 128, 1, 0, robust);
    ASSERT_EQ(out.status, 0);
    ASSERT_EQ(out.count, 3);
    EXPECT_EQ(out.symbols[0].data, a.expected);
    EXPECT_EQ(out.symbols[1].data, b.expected);
    EXPECT_EQ(out.symbols[2].data, c.expected);
    EXPECT_LT(out.symbols[0].corners[0], out.symbols[1].corners[0]);
  }
}

TEST_F(QrPictures, TheCornersOutlineTheSymbol) {
  // Upright: clockwise from the top-left; turned by 90 degrees
  // counter-clockwise the top-left finder comes to the bottom left. The
  // bottom-right corner is placed half a module beyond the last module centre
  // with the x step of the last row and the y step of the last column, which
  // is exact for an upright symbol only: turned by 90 degrees it stays on the
  // last module's centre.
  const Symbol s = MakeSymbol(2, 1, -1, Mode::kAlphanumeric, 9);
  View view;
  view.module = 4;
  view.dx = view.dy = 0.25;
  const double half = 25 * 4 / 2.0, cx = 320.25, cy = 240.25;
  struct Case {
    double angle;
    double corners[8];
  };
  const double in = half - 2;  // half a module inside
  const Case cases[] = {
      {0, {cx - half, cy - half, cx + half, cy - half, cx + half, cy + half, cx - half, cy + half}},
      {90, {cx - half, cy + half, cx - half, cy - half, cx + in, cy - in, cx + half, cy + half}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.angle);
    view.angle = c.angle;
    test::DibPtr pic = Picture(s.matrix, view);
    const DecodeOutcome out = DecodeWithLibrary(pic.get());
    ASSERT_EQ(out.count, 1);
    for (int32_t i = 0; i < 8; ++i) EXPECT_NEAR(out.symbols[0].corners[i], c.corners[i], 2.0) << i;
  }
}

}  // namespace
}  // namespace vantrel::qrtest

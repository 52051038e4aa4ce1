// zint-made symbols in 640 x 480 frames, read with the station's default
// settings through the decode call, and the reader's entry points on pictures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "pictures.h"
#include "symbol_render.h"
#include "vantrel/OvoBcd.h"
#include "vantrel/decode_calls.h"

namespace vantrel::bcdtest {
namespace {

struct Result {
  int32_t status = 0;
  std::string name;
  std::string data;
  int32_t length = -1;
  int32_t position[4] = {-9, -9, -9, -9};
};

Result Decode(DibImage picture, const SettingsRecord& settings) {
  Result r;
  char name[20] = "untouched";
  std::vector<char> data(kDecodeDataBytes, 'x');
  data[0] = '\0';
  r.status = DecodeBarcode(picture, settings, OverlayOrigin{}, name, &r.length, r.position, data.data());
  r.name = name;
  r.data.assign(data.data(), static_cast<size_t>(std::max(r.length, 0)));
  return r;
}

struct PictureCase {
  std::string label;
  size_t symbol;
  double module;
  double angle;
  Effects fx;
  int32_t autoBin;
};

std::vector<PictureCase> PictureCases() {
  std::vector<PictureCase> cases;
  const auto& symbols = StationSymbols();
  for (size_t s = 0; s < symbols.size(); ++s) {
    const std::string n = symbols[s].name;
    for (int32_t bin : {0, 1}) {
      const std::string b = bin ? "_Binarized" : "";
      cases.push_back({n + "_1px_Upright" + b, s, 1, 0, {}, bin});
      cases.push_back({n + "_1px_UpsideDown" + b, s, 1, 180, {}, bin});
      cases.push_back({n + "_1px_Turned90" + b, s, 1, 90, {}, bin});
      cases.push_back({n + "_1px_Turned270" + b, s, 1, 270, {}, bin});
    }
    for (int px : {2, 3, 4}) {
      const std::string m = "_" + std::to_string(px) + "px";
      cases.push_back({n + m + "_Sharp", s, double(px), 0, {}, 0});
      cases.push_back({n + m + "_Blurred", s, double(px), 0, {0.7, false, 0}, 0});
      cases.push_back({n + m + "_Dim", s, double(px), 0, {0, true, 0}, 0});
      cases.push_back({n + m + "_Noisy", s, double(px), 0, {0, false, 14}, 0});
      cases.push_back({n + m + "_NoisyUpsideDown", s, double(px), 180, {0, false, 14}, 0});
      cases.push_back({n + m + "_BlurredBinarized", s, double(px), 0, {0.7, false, 0}, 1});
      cases.push_back({n + m + "_DimBinarized", s, double(px), 0, {0, true, 0}, 1});
      cases.push_back({n + m + "_NoisyBinarized", s, double(px), 0, {0, false, 14}, 1});
    }
    cases.push_back({n + "_2px_Turned90Blurred", s, 2, 90, {0.7, false, 0}, 0});
  }
  return cases;
}

class StationPictureTest : public ::testing::TestWithParam<PictureCase> {};

TEST_P(StationPictureTest, ReadsWithTheDefaultSettings) {
  const PictureCase& c = GetParam();
  const SymbolSpec& s = StationSymbols()[c.symbol];
  const Frame f = StationFrame(s, c.module, c.angle, c.fx);
  ASSERT_TRUE(f.picture);
  SettingsRecord settings;
  settings.AutoBin = c.autoBin;
  settings.BcdRobust = 0;  // the strict reading alone, as the station read before the robust one
  const Result r = Decode(f.picture.get(), settings);
  ASSERT_EQ(r.status, 0);
  // The robust reading changes nothing that the strict one reads: the same
  // text from the same line.
  settings.BcdRobust = 1;
  const Result robust = Decode(f.picture.get(), settings);
  EXPECT_EQ(robust.status, 0);
  EXPECT_EQ(robust.name, r.name);
  EXPECT_EQ(robust.data, r.data);
  EXPECT_EQ(std::vector<int32_t>(robust.position, robust.position + 4), std::vector<int32_t>(r.position, r.position + 4));
  EXPECT_EQ(r.name, BarcodeTypeName(s.type));
  EXPECT_EQ(r.data, s.text);
  EXPECT_EQ(r.length, static_cast<int32_t>(s.text.size()));

  // The reading line runs from the symbol's first bar (in reading order) to just
  // past its last one.
  const bool vertical = std::fmod(c.angle, 180.0) != 0;
  const bool reversed = c.angle == 180 || c.angle == 90;  // the start at the larger coordinate
  const int32_t start = vertical ? r.position[1] : r.position[0];
  const int32_t end = vertical ? r.position[3] : r.position[2];
  const double tol = c.module + 1.5;
  if (reversed) {
    EXPECT_NEAR(start, f.last - 1, tol);
    EXPECT_NEAR(end, f.first - 1, tol);
  } else {
    EXPECT_NEAR(start, f.first, tol);
    EXPECT_NEAR(end, f.last, tol);
  }
  // Across: the line through the range's centre (319, 239).
  EXPECT_EQ(vertical ? r.position[0] : r.position[1], vertical ? 319 : 239);
  EXPECT_EQ(vertical ? r.position[2] : r.position[3], vertical ? 319 : 239);
}

INSTANTIATE_TEST_SUITE_P(Frames, StationPictureTest, ::testing::ValuesIn(PictureCases()),
                         [](const auto& info) { return info.param.label; });

// Ink spread and blur at 3-pixel modules, from bars 0.4 modules thinner to 0.6
// modules fatter than printed and from a sharp to a soft focus: the station's
// settings read every symbology, and nothing reads wrong anywhere, with or
// without the robust reading. Where a blur of 1.5 pixels meets bars fattened
// by 0.4 modules or more, spaces of 1.8 pixels and less no longer reach the
// light level and their edges' extremes lie too far apart: those spaces are
// read from how faint they are.
TEST(GainAndBlurSweepTest, EverySymbologyReadsAndNothingReadsWrong) {
  constexpr double kModule = 3.0;
  const double gains[] = {-0.4, -0.2, 0.0, 0.2, 0.4, 0.6};
  const double blurs[] = {0.0, 0.5, 1.0, 1.5};
  for (const SymbolSpec& s : StationSymbols()) {
    for (double gain : gains) {
      for (double blur : blurs) {
        SCOPED_TRACE(std::string(s.name) + " gain " + std::to_string(gain) + " blur " + std::to_string(blur));
        const test::DibPtr pic = GainFrame(s, kModule, gain * kModule, blur);
        SettingsRecord settings;
        const Result r = Decode(pic.get(), settings);
        EXPECT_EQ(r.status, 0);
        if (r.status == 0) {
          EXPECT_EQ(r.name, BarcodeTypeName(s.type));
          EXPECT_EQ(r.data, s.text);
        }
        settings.BcdRobust = 0;
        const Result plain = Decode(pic.get(), settings);
        if (plain.status == 0) {
          EXPECT_EQ(plain.name, BarcodeTypeName(s.type));
          EXPECT_EQ(plain.data, s.text);
        }
      }
    }
  }
}

// Frames without a barcode read nothing with the default settings, and frames
// with structure but no barcode nothing even with a dense search. (Over sensor
// noise a dense search can meet NW-7 patterns by chance: NW-7 has no check
// character here and its start and stop letters are its only frame.)
TEST(NothingWrongTest, FramesWithoutABarcode) {
  std::vector<std::pair<std::string, test::DibPtr>> frames;
  auto blank = [](uint8_t grey) {
    test::DibPtr p(DibCreate(640, 480, 3, 4));
    test::FillGrey(p.get(), grey);
    return p;
  };
  frames.emplace_back("white", blank(255));
  frames.emplace_back("black", blank(0));
  {
    auto p = blank(128);
    test::AddNoise(p.get(), 14, 5);
    frames.emplace_back("grey noise", std::move(p));
  }
  {
    auto p = blank(128);
    test::AddNoise(p.get(), 90, 6);
    frames.emplace_back("strong noise", std::move(p));
  }
  {
    // Stripes of random widths, like text or a fence.
    auto p = blank(230);
    std::mt19937 rng(9);
    uint8_t* bits = DibGetBits(p.get());
    for (int32_t x = 0; x < 640;) {
      const int32_t w = 1 + static_cast<int32_t>(rng() % 9);
      const bool dark = rng() % 2;
      for (int32_t y = 0; y < 480; ++y)
        for (int32_t i = x; i < std::min(640, x + w); ++i)
          for (int c = 0; c < 3; ++c) bits[y * DibGetStride(p.get()) + i * 3 + c] = dark ? 30 : 230;
      x += w;
    }
    frames.emplace_back("random stripes", std::move(p));
  }
  for (const auto& [what, opts, data] :
       {std::tuple{"QR code", std::vector<std::string>{"-b", "QRCODE"}, std::string("Vantrel 1D/2D")},
        std::tuple{"Data Matrix", std::vector<std::string>{"-b", "DATAMATRIX"}, std::string("Vantrel")}}) {
    test::ModuleMatrix m;
    ASSERT_TRUE(test::ZintModules(opts, data, &m));
    test::RenderOptions o;
    o.moduleSize = 6;
    frames.emplace_back(what, test::RenderSymbol(m, o));
  }
  for (const auto& [what, picture] : frames) {
    const bool noise = what.find("noise") != std::string::npos;
    for (auto [level, degree, bin] : {std::tuple{1, 90.0, 0}, std::tuple{1, 90.0, 1}, std::tuple{4, 10.0, 0},
                                      std::tuple{4, 10.0, 1}}) {
      if (noise && level > 1) continue;
      SettingsRecord settings;
      settings.ScanLevel = level;
      settings.ScanDegree = degree;
      settings.AutoBin = bin;
      const Result r = Decode(picture.get(), settings);
      EXPECT_EQ(r.status, -4) << what << " level " << level << ": read " << r.name << " " << r.data;
      EXPECT_EQ(r.name, "untouched");
      EXPECT_EQ(r.length, -1);
      EXPECT_EQ(r.position[0], -9);
    }
  }
}

// ---------------------------------------------------------------------------
// OvoBcdDecode on pictures.

const OvoBcdParams kAll = {1, 1, 1, 1, 48, 0, 1, 1, 48, 0, 1, 1, 48, 0, 1, 1, 48, 0};

struct Direct {
  int32_t status = 0;
  int32_t position[4] = {-9, -9, -9, -9};
  int32_t type = -9;
  int32_t length = -9;
  char text[OVOBCD_TEXT_BYTES + 4];
  Direct() { std::memset(text, '#', sizeof text); }
};

Direct Read(DibImage picture, const OvoBcdRange* range = nullptr, bool binarize = false,
            int32_t levels = 1, double degree = 90, const OvoBcdParams* params = &kAll) {
  Direct d;
  d.status = OvoBcdDecode(picture, params, range, binarize, levels, degree, d.position, &d.type,
                          &d.length, d.text);
  return d;
}

const SymbolSpec& Symbol(int32_t type) {
  for (const auto& s : StationSymbols())
    if (s.type == type) return s;
  return StationSymbols()[0];
}

TEST(OvoBcdDecodeTest, ArgumentsAreCheckedInOrderAndNothingIsWrittenOnFailure) {
  const Frame f = StationFrame(Symbol(OVOBCD_JAN13), 2, 0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    bool image, params;
    int32_t levels;
    double degree;
    int32_t status;
  };
  const Case cases[] = {
      {false, false, 1, 90, -1}, {false, true, 0, 90, -1}, {true, false, 0, -1, -2},
      {true, true, 0, 90, -3},   {true, true, 9, 90, -3},  {true, true, 1, -1, -3},
      {true, true, 1, 180.5, -3}, {true, true, 1, nan, -3}, {true, true, 8, 180, 0},
      {true, true, 1, 0, 0},     {true, true, 1, 180, 0},
  };
  for (const Case& c : cases) {
    const Direct d = Read(c.image ? f.picture.get() : nullptr, nullptr, false, c.levels, c.degree,
                          c.params ? &kAll : nullptr);
    EXPECT_EQ(d.status, c.status) << c.levels << " " << c.degree;
    if (d.status != 0) {
      EXPECT_EQ(d.type, -9);
      EXPECT_EQ(d.length, -9);
      EXPECT_EQ(d.position[0], -9);
      EXPECT_EQ(d.text[0], '#');
    } else {
      EXPECT_STREQ(d.text, "4901234567894");
      EXPECT_EQ(d.text[14], '#');  // the text and its NUL, nothing more
    }
  }
  // Null outputs are fine.
  EXPECT_EQ(OvoBcdDecode(f.picture.get(), &kAll, nullptr, false, 1, 90, nullptr, nullptr, nullptr, nullptr), 0);
}

TEST(OvoBcdDecodeTest, PixelDepths) {
  for (const auto& s : StationSymbols()) {
    SCOPED_TRACE(s.name);
    for (int32_t bytes : {1, 3, 4}) {
      const Frame f = StationFrame(s, 2, 0, {}, 640, 480, 1);
      test::DibPtr pic(DibCreate(640, 480, bytes, 4));
      DibCopyPixels(pic.get(), f.picture.get());
      if (bytes == 4) {  // the fourth byte must not matter
        uint8_t* bits = DibGetBits(pic.get());
        for (int32_t i = 3; i < 640 * 480 * 4; i += 4) bits[i] = static_cast<uint8_t>(i * 7);
      }
      const Direct d = Read(pic.get());
      ASSERT_EQ(d.status, 0) << bytes;
      EXPECT_EQ(std::string(d.text), s.text);
    }
  }
  // 16 bits per pixel: refused, whatever the bytes hold.
  const Frame f = StationFrame(Symbol(OVOBCD_CODE128), 2, 0, {}, 640, 480, 1);
  test::DibPtr pic16(DibCreate(640, 480, 2, 4));
  ASSERT_EQ(DibGetBitCount(pic16.get()), 16);
  DibCopyPixels(pic16.get(), f.picture.get());
  EXPECT_EQ(Read(pic16.get()).status, -4);
}

// A picture wrapping someone else's pixel rows, cut off right after the last row:
// reading stays inside them (checked under AddressSanitizer). Random pixels may
// well read as some symbol; what matters is that the search stays in bounds.
TEST(OvoBcdDecodeTest, ReadsOnlyThePixelRows) {
  for (int32_t bytes : {1, 3, 4}) {
    for (auto [w, h] : {std::pair{97, 3}, std::pair{1, 1}, std::pair{3, 200}, std::pair{640, 480}}) {
      const int32_t stride = (w * bytes + 3) / 4 * 4;
      std::vector<uint8_t> rows(static_cast<size_t>(stride) * h);
      std::mt19937 rng(w * 31 + h);
      for (auto& b : rows) b = static_cast<uint8_t>(rng() % 2 ? 250 : 5);
      test::DibPtr pic(DibCreateOverBits(rows.data(), w, h, bytes, 4));
      ASSERT_TRUE(pic);
      const OvoBcdRange all{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
      for (bool binarize : {false, true}) {
        const int32_t status = Read(pic.get(), &all, binarize, 3, 10).status;
        EXPECT_TRUE(status == 0 || status == -4) << status;
      }
    }
  }
}

TEST(OvoBcdDecodeTest, ProcessingRange) {
  const Frame f = StationFrame(Symbol(OVOBCD_CODE128), 2, 0);
  const Direct whole = Read(f.picture.get());
  ASSERT_EQ(whole.status, 0);
  struct Case {
    OvoBcdRange range;
    bool reads;
    bool sameAsWhole;
  };
  const Case cases[] = {
      {{0, 0, 640, 480}, true, true},
      {{640, 480, 0, 0}, true, true},             // corners swapped
      {{-100, -100, 5000, 5000}, true, true},     // clipped to the picture
      {{640, 0, 0, 480}, true, true},
      {{0, 0, 300, 480}, false, false},           // the symbol's right half is outside
      {{400, 0, 640, 480}, false, false},
      {{0, 0, 0, 480}, false, false},             // empty
      {{700, 0, 800, 480}, false, false},         // beyond the picture
      {{319, 0, 320, 480}, false, false},         // one column
      {{0, 239, 640, 240}, false, false},         // one row: its centre rounds onto the next
      {{0, 239, 640, 241}, true, false},          // two rows: the centre row 240 is inside
  };
  for (const Case& c : cases) {
    const Direct d = Read(f.picture.get(), &c.range);
    EXPECT_EQ(d.status == 0, c.reads) << c.range.x0 << "," << c.range.y0 << "," << c.range.x1 << "," << c.range.y1;
    if (c.sameAsWhole) {
      EXPECT_EQ(std::vector<int32_t>(d.position, d.position + 4),
                std::vector<int32_t>(whole.position, whole.position + 4));
    }
  }
}

// Off the range's centre a symbol is found by the second level's centres; turned
// by 30 degrees, by a line at 30 degrees.
TEST(OvoBcdDecodeTest, LevelsAndAngles) {
  const SymbolSpec& s = Symbol(OVOBCD_JAN13);
  const Frame offCentre = StationFrame(s, 1, 0, {}, 640, 480, 3, 160, 360);
  EXPECT_EQ(Read(offCentre.picture.get(), nullptr, false, 1, 90).status, -4);
  const Direct d = Read(offCentre.picture.get(), nullptr, false, 2, 90);
  ASSERT_EQ(d.status, 0);
  EXPECT_EQ(d.position[1], 360);

  test::RenderOptions o;
  o.moduleSize = 2;
  o.barHeight = 20;  // short bars: a horizontal line leaves them before the symbol ends
  o.angleDeg = -30;  // clockwise on the screen, as the scan angles turn
  const test::DibPtr turned = test::RenderSymbol(Modules(s), o);
  EXPECT_EQ(Read(turned.get(), nullptr, false, 1, 90).status, -4);
  const Direct t = Read(turned.get(), nullptr, false, 1, 30);
  ASSERT_EQ(t.status, 0);
  EXPECT_STREQ(t.text, "4901234567894");
  EXPECT_LT(t.position[0], t.position[2]);
  EXPECT_LT(t.position[1], t.position[3]);  // down to the right
}

// Dense levels read colour pictures through grey planes of the range: a symbol
// found only there reads exactly as in the grey picture, which is sampled as it is.
TEST(OvoBcdDecodeTest, DenseSearchReadsAsTheGreyPicture) {
  for (const auto& s : StationSymbols()) {
    // Of the JAN-13, only the lines through the centre (520, 210) of level 3
    // cross every bar; the grey planes start with that level.
    test::RenderOptions o;
    o.moduleSize = 3;
    o.angleDeg = -40;
    o.centreX = 500;
    o.centreY = 200;
    o.barHeight = 20;
    const test::DibPtr colour = test::RenderSymbol(Modules(s), o);
    test::GaussianBlur(colour.get(), 0.5);
    test::DibPtr grey(DibCreate(640, 480, 1, 4));
    const uint8_t* c = DibGetBits(colour.get());
    uint8_t* g = DibGetBits(grey.get());
    for (int32_t y = 0; y < 480; ++y)
      for (int32_t x = 0; x < 640; ++x) {
        const uint8_t* p = c + y * DibGetStride(colour.get()) + x * 3;
        g[y * DibGetStride(grey.get()) + x] = static_cast<uint8_t>((299 * p[2] + 587 * p[1] + 114 * p[0] + 500) / 1000);
      }
    for (bool binarize : {false, true}) {
      const Direct a = Read(colour.get(), nullptr, binarize, 4, 10);
      const Direct b = Read(grey.get(), nullptr, binarize, 4, 10);
      ASSERT_EQ(a.status, 0) << s.name;
      EXPECT_EQ(std::string(a.text), s.text) << s.name;
      EXPECT_EQ(b.status, 0);
      EXPECT_EQ(std::string(a.text), std::string(b.text));
      EXPECT_EQ(std::vector<int32_t>(a.position, a.position + 4), std::vector<int32_t>(b.position, b.position + 4));
      if (s.type == OVOBCD_JAN13) {  // the longest symbol: only that centre's line crosses it whole
        EXPECT_EQ(Read(colour.get(), nullptr, binarize, 3, 10).status, -4);
      }
    }
  }
}

TEST(OvoBcdDecodeTest, UpsideDownStartsAtTheLineEnd) {
  for (const auto& s : StationSymbols()) {
    const Frame f = StationFrame(s, 2, 180);
    const Direct d = Read(f.picture.get());
    ASSERT_EQ(d.status, 0) << s.name;
    EXPECT_GT(d.position[0], d.position[2]) << s.name;
  }
}

TEST(OvoBcdDecodeTest, DisabledSymbologiesAreNotRead) {
  OvoBcdParams none = kAll;
  none.JAN8 = none.JAN13 = none.ITF = none.CODE39 = none.CODE128 = none.NW7 = 0;
  for (const auto& s : StationSymbols()) {
    const Frame f = StationFrame(s, 2, 0);
    EXPECT_EQ(Read(f.picture.get(), nullptr, false, 4, 10, &none).status, -4) << s.name;
  }
}

// A text holding NUL: the length counts every character, the text buffer holds
// them all and the NUL that ends them.
TEST(OvoBcdDecodeTest, TextWithNulCharacters) {
  const SymbolSpec nul{"Code128Nul", {"-b", "CODE128", "--esc"}, "\\0AB\\0", OVOBCD_CODE128,
                       std::string("\0AB\0", 4)};
  const Frame f = StationFrame(nul, 2, 0);
  const Direct d = Read(f.picture.get());
  ASSERT_EQ(d.status, 0);
  EXPECT_EQ(d.length, 4);
  EXPECT_EQ(std::string(d.text, 5), std::string("\0AB\0\0", 5));
  EXPECT_EQ(d.text[5], '#');
}

// In binarized mode a CODE 128 stop pattern ending on the line's last sample
// gives a position one past the line: it names the line's last pixel. Upside
// down at the other edge, the first.
TEST(OvoBcdDecodeTest, PositionsJustOutsideTheLineComeOntoIt) {
  const test::ModuleMatrix m = Modules(Symbol(OVOBCD_CODE128));
  for (bool upsideDown : {false, true}) {
    test::RenderOptions o;
    o.moduleSize = 2;
    o.quietZone = 0;
    o.angleDeg = upsideDown ? 180 : 0;
    o.centreX = upsideDown ? m.width : 640 - m.width;  // flush with an edge
    o.centreY = 240;
    const test::DibPtr pic = test::RenderSymbol(m, o);
    const Direct d = Read(pic.get(), nullptr, true);
    ASSERT_EQ(d.status, 0) << upsideDown;
    EXPECT_STREQ(d.text, "Ab12");
    EXPECT_EQ(d.position[2], upsideDown ? 0 : 639);
    EXPECT_EQ(d.position[0], upsideDown ? 2 * m.width - 1 : 640 - 2 * m.width);
  }
}

// ---------------------------------------------------------------------------
// The robust reading on pictures.

// Rows of print: stripes of random widths, every row its own.
void PaintText(DibImage picture, int32_t top, int32_t bottom, uint32_t seed) {
  std::mt19937 rng(seed);
  uint8_t* bits = DibGetBits(picture);
  const int32_t stride = DibGetStride(picture), width = DibGetWidth(picture);
  for (int32_t y = top; y < bottom; ++y)
    for (int32_t x = 0; x < width;) {
      const int32_t w = 1 + static_cast<int32_t>(rng() % 6);
      const uint8_t v = rng() % 2 ? 40 : 225;
      for (int32_t i = x; i < std::min(width, x + w); ++i)
        for (int32_t c = 0; c < 3; ++c) bits[y * stride + i * 3 + c] = v;
      x += w;
    }
}

// One row of a symbol's modules (2 pixels each, 10 light modules either side)
// across the middle of the picture.
void PaintRow(DibImage picture, const test::ModuleMatrix& m, int32_t y) {
  uint8_t* bits = DibGetBits(picture);
  const int32_t stride = DibGetStride(picture);
  const int32_t left = DibGetWidth(picture) / 2 - m.width - 20;
  for (int32_t x = 0; x < 2 * (m.width + 20); ++x) {
    const int32_t module = x / 2 - 10;
    const bool dark = module >= 0 && module < m.width && m.At(module, 0);
    for (int32_t c = 0; c < 3; ++c) bits[y * stride + (left + x) * 3 + c] = dark ? 40 : 225;
  }
}

// An ITF, CODE 39 or NW-7 read has no check character to verify: with the
// robust reading it stands only when a line 2 or 4 pixels aside reads the
// same. A pattern on one row of print, which any single line would take for a
// symbol, is refused; the same pattern on three rows 2 pixels apart is read.
TEST(RobustPictureTest, ReadsWithoutCheckCharactersNeedAParallelLine) {
  for (const SymbolSpec& s : StationSymbols()) {
    if (s.type != OVOBCD_ITF && s.type != OVOBCD_CODE39 && s.type != OVOBCD_NW7) continue;
    SCOPED_TRACE(s.name);
    const test::ModuleMatrix m = Modules(s);
    for (const bool threeRows : {false, true}) {
      test::DibPtr pic(DibCreate(640, 480, 3, 4));
      test::FillGrey(pic.get(), 225);
      PaintText(pic.get(), 228, 253, 21);
      for (int32_t y : threeRows ? std::vector<int32_t>{238, 240, 242} : std::vector<int32_t>{240})
        PaintRow(pic.get(), m, y);
      OvoBcdParams params = kAll;
      const Direct plain = Read(pic.get(), nullptr, false, 1, 180, &params);  // one line, through row 240
      ASSERT_EQ(plain.status, 0);
      EXPECT_EQ(std::string(plain.text), s.text);
      params.Robust = 1;
      const Direct robust = Read(pic.get(), nullptr, false, 1, 180, &params);
      EXPECT_EQ(robust.status, threeRows ? 0 : -4) << threeRows;
      if (robust.status == 0) {
        EXPECT_EQ(std::string(robust.text), s.text);
      }
    }
  }
}

// A label with two symbols: the strict search ends on the first line that
// reads, here an ITF; with the robust reading a read without a check character
// waits for the end of the search, and the JAN-13 found later, its check digit
// verified, is the answer.
TEST(RobustPictureTest, ASymbolWithACheckCharacterIsPreferred) {
  test::DibPtr pic(DibCreate(640, 480, 3, 4));
  test::FillGrey(pic.get(), 255);
  test::RenderOptions o;
  o.moduleSize = 2;
  o.barHeight = 30;
  o.centreX = 320;
  o.centreY = 240;  // crossed by the first line of the search
  test::PaintSymbol(pic.get(), Modules(Symbol(OVOBCD_ITF)), o);
  o.centreY = 120;  // crossed by a line of the second level
  test::PaintSymbol(pic.get(), Modules(Symbol(OVOBCD_JAN13)), o);
  OvoBcdParams params = kAll;
  const Direct plain = Read(pic.get(), nullptr, false, 2, 180, &params);
  ASSERT_EQ(plain.status, 0);
  EXPECT_EQ(plain.type, OVOBCD_ITF);
  params.Robust = 1;
  const Direct robust = Read(pic.get(), nullptr, false, 2, 180, &params);
  ASSERT_EQ(robust.status, 0);
  EXPECT_EQ(robust.type, OVOBCD_JAN13);
  EXPECT_STREQ(robust.text, "4901234567894");
  EXPECT_EQ(robust.position[1], 120);
  // Without the JAN-13 the ITF is read, from its first line, as before.
  params.JAN13 = 0;
  const Direct alone = Read(pic.get(), nullptr, false, 2, 180, &params);
  ASSERT_EQ(alone.status, 0);
  EXPECT_EQ(alone.type, OVOBCD_ITF);
  EXPECT_EQ(std::vector<int32_t>(alone.position, alone.position + 4),
            std::vector<int32_t>(plain.position, plain.position + 4));
}

}  // namespace
}  // namespace vantrel::bcdtest

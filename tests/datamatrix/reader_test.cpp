#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "datamatrix/dmx_test_support.h"

namespace vantrel::test {
namespace {

class ReaderTest : public DmxReaderTest {
 protected:
  static void SetWholeArea(DibImage pic) {
    const DibRect a{0, 0, DibGetWidth(pic) - 1, DibGetHeight(pic) - 1};
    ASSERT_EQ(OvoDmxSetArea(&a), 0);
  }
};

// ---------------------------------------------------------------------------
// The reader object and its parameters

TEST_F(ReaderTest, DefaultsAndRangeChecksKeepThePreviousValue) {
  int32_t ms = 0, theta = -1;
  double radius = 0, amount = 0;
  EXPECT_EQ(OvoDmxGetMaxTime(&ms), 0);
  EXPECT_EQ(ms, 1000);
  EXPECT_EQ(OvoDmxGetThreshold(&theta), 0);
  EXPECT_EQ(theta, 0);
  EXPECT_EQ(OvoDmxGetRadius(&radius), 0);
  EXPECT_EQ(radius, 7.0);
  EXPECT_EQ(OvoDmxGetAmount(&amount), 0);
  EXPECT_EQ(amount, 2.0);
  const DibRect area = reader_->Area();
  EXPECT_EQ(area.left, 10);
  EXPECT_EQ(area.top, 10);
  EXPECT_EQ(area.right, 50);
  EXPECT_EQ(area.bottom, 50);

  struct IntCase {
    int32_t (*set)(int32_t);
    int32_t (*get)(int32_t*);
    int32_t value;
    int32_t status;
    int32_t after;
  };
  const IntCase ints[] = {
      {OvoDmxSetMaxTime, OvoDmxGetMaxTime, 250, 0, 250},
      {OvoDmxSetMaxTime, OvoDmxGetMaxTime, 0, -1, 250},
      {OvoDmxSetMaxTime, OvoDmxGetMaxTime, -5, -1, 250},
      {OvoDmxSetMaxTime, OvoDmxGetMaxTime, INT32_MAX, 0, INT32_MAX},
      {OvoDmxSetThreshold, OvoDmxGetThreshold, 255, 0, 255},
      {OvoDmxSetThreshold, OvoDmxGetThreshold, 256, -1, 255},
      {OvoDmxSetThreshold, OvoDmxGetThreshold, -1, -1, 255},  // compared as unsigned
      {OvoDmxSetThreshold, OvoDmxGetThreshold, 0, 0, 0},
  };
  for (const IntCase& c : ints) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(c.set(c.value), c.status);
    int32_t v = 12345;
    EXPECT_EQ(c.get(&v), 0);
    EXPECT_EQ(v, c.after);
    EXPECT_EQ(c.get(nullptr), 0);
  }

  struct DoubleCase {
    int32_t (*set)(double);
    int32_t (*get)(double*);
    double value;
    int32_t status;
    double after;
  };
  const DoubleCase doubles[] = {
      {OvoDmxSetRadius, OvoDmxGetRadius, 0.1, 0, 0.1},
      {OvoDmxSetRadius, OvoDmxGetRadius, 0.05, -1, 0.1},
      {OvoDmxSetRadius, OvoDmxGetRadius, 120.0, 0, 120.0},
      {OvoDmxSetRadius, OvoDmxGetRadius, 120.5, -1, 120.0},
      {OvoDmxSetRadius, OvoDmxGetRadius, std::nan(""), -1, 120.0},
      {OvoDmxSetAmount, OvoDmxGetAmount, 0.0, 0, 0.0},
      {OvoDmxSetAmount, OvoDmxGetAmount, 10.0, 0, 10.0},
      {OvoDmxSetAmount, OvoDmxGetAmount, 10.01, -1, 10.0},
      {OvoDmxSetAmount, OvoDmxGetAmount, -0.01, -1, 10.0},
      {OvoDmxSetAmount, OvoDmxGetAmount, std::nan(""), -1, 10.0},
  };
  for (const DoubleCase& c : doubles) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(c.set(c.value), c.status);
    double v = -99;
    EXPECT_EQ(c.get(&v), 0);
    EXPECT_EQ(v, c.after);
    EXPECT_EQ(c.get(nullptr), 0);
  }

  // Stored values outside the range (possible only from inside) are not handed out.
  reader_->radius = 200.0;
  reader_->amount = -1.0;
  reader_->threshold = 300;
  radius = amount = 5;
  theta = 5;
  EXPECT_EQ(OvoDmxGetRadius(&radius), -1);
  EXPECT_EQ(OvoDmxGetAmount(&amount), -1);
  EXPECT_EQ(OvoDmxGetThreshold(&theta), -1);
  EXPECT_EQ(radius, 5);
  EXPECT_EQ(amount, 5);
  EXPECT_EQ(theta, 5);
}

TEST_F(ReaderTest, AreaIsStoredOnlyWhenItIsAProperRectangle) {
  struct Case {
    DibRect rect;
    int32_t status;
  };
  const Case cases[] = {
      {{0, 0, 639, 479}, 0},  {{0, 0, 1, 1}, 0},      {{5, 5, 5, 9}, -1},  {{5, 9, 9, 9}, -1},
      {{9, 5, 5, 9}, -1},     {{-1, 0, 10, 10}, -1},  {{0, -1, 10, 10}, -1}, {{0, 0, 0, 0}, -1},
      {{3, 4, 5000, 6000}, 0},
  };
  DibRect last{10, 10, 50, 50};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.rect.left) + "," + std::to_string(c.rect.top) + "," +
                 std::to_string(c.rect.right) + "," + std::to_string(c.rect.bottom));
    EXPECT_EQ(OvoDmxSetArea(&c.rect), c.status);
    if (c.status == 0) last = c.rect;
    const DibRect now = reader_->Area();
    EXPECT_EQ(now.left, last.left);
    EXPECT_EQ(now.top, last.top);
    EXPECT_EQ(now.right, last.right);
    EXPECT_EQ(now.bottom, last.bottom);
  }
  EXPECT_EQ(OvoDmxSetArea(nullptr), -1);
}

TEST(ReaderLifecycle, EveryOperationWithoutAReaderGives8) {
  OvoDmxTerminate();
  ASSERT_EQ(OvoDmxGetReader(), nullptr);
  int32_t i = 0;
  double d = 0;
  const DibRect a{0, 0, 10, 10};
  OvoDmxPoint p{};
  EXPECT_EQ(OvoDmxSetMaxTime(10), -8);
  EXPECT_EQ(OvoDmxGetMaxTime(&i), -8);
  EXPECT_EQ(OvoDmxSetThreshold(1), -8);
  EXPECT_EQ(OvoDmxGetThreshold(&i), -8);
  EXPECT_EQ(OvoDmxSetRadius(1), -8);
  EXPECT_EQ(OvoDmxGetRadius(&d), -8);
  EXPECT_EQ(OvoDmxSetAmount(1), -8);
  EXPECT_EQ(OvoDmxGetAmount(&d), -8);
  EXPECT_EQ(OvoDmxSetArea(&a), -8);
  EXPECT_EQ(OvoDmxGetCorners(&p, &p, &p, &p), -8);
  DibPtr pic(DibCreate(16, 16, 1, 4));
  char text[16];
  EXPECT_EQ(OvoDmxDecode(nullptr, pic.get(), text, sizeof text), -8);
  EXPECT_EQ(OvoDmxUnsharp(nullptr, pic.get(), pic.get()), -8);

  // A second initialization keeps the reader and what was set on it.
  ASSERT_EQ(OvoDmxInitialize(), 0);
  CDataMatCtrl* first = OvoDmxGetReader();
  ASSERT_EQ(OvoDmxSetMaxTime(77), 0);
  ASSERT_EQ(OvoDmxInitialize(), 0);
  EXPECT_EQ(OvoDmxGetReader(), first);
  EXPECT_EQ(OvoDmxGetMaxTime(&i), 0);
  EXPECT_EQ(i, 77);
  OvoDmxTerminate();
  OvoDmxTerminate();  // harmless
  EXPECT_EQ(OvoDmxGetReader(), nullptr);
}

// ---------------------------------------------------------------------------
// Working area

TEST(WorkArea, ClippedToThePictureWithoutLosingAColumn) {
  // The width stays as it is: the last module column of a symbol at the
  // area's right edge must not be cut off.
  struct Case {
    DibRect stored;
    int32_t width, height;
    int32_t status;
    DibRect rect;
  };
  const Case cases[] = {
      {{10, 10, 50, 50}, 640, 480, 0, {10, 10, 50, 50}},        // 41 wide stays 41
      {{0, 0, 639, 479}, 640, 480, 0, {0, 0, 639, 479}},
      {{0, 0, 641, 479}, 638, 480, 0, {0, 0, 637, 479}},        // clipped, not lowered
      {{0, 0, 5000, 5000}, 640, 480, 0, {0, 0, 639, 479}},
      {{636, 0, 700, 100}, 638, 480, 0, {636, 0, 637, 100}},    // two columns are still an area
      {{4, 0, 7, 1}, 8, 2, 0, {4, 0, 7, 1}},
      {{5, 5, 5, 20}, 640, 480, -3, {}},   // left = right
      {{5, 20, 30, 20}, 640, 480, -3, {}}, // top = bottom
      {{30, 5, 5, 20}, 640, 480, -3, {}},
      {{-2, 5, 50, 20}, 640, 480, -3, {}},
      {{640, 0, 700, 100}, 640, 480, -3, {}},  // starts right of the picture
      {{0, 480, 100, 500}, 640, 480, -3, {}},  // starts below it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.stored.left) + "," + std::to_string(c.stored.top) + "," +
                 std::to_string(c.stored.right) + "," + std::to_string(c.stored.bottom) + " on " +
                 std::to_string(c.width) + "x" + std::to_string(c.height));
    DibRect r{};
    ASSERT_EQ(dmx::PlanWorkArea(c.stored, c.width, c.height, &r), c.status);
    if (c.status != 0) continue;
    EXPECT_EQ(r.left, c.rect.left);
    EXPECT_EQ(r.top, c.rect.top);
    EXPECT_EQ(r.right, c.rect.right);
    EXPECT_EQ(r.bottom, c.rect.bottom);
  }
}

TEST_F(ReaderTest, AreaChecksComeFirstThenTheDepth) {
  DibPtr rgba(DibCreate(64, 64, 4, 4));
  char text[32] = "unchanged";
  // Only code inside the library can store such an area: the setter refuses it.
  reader_->areaLeft = 20;
  reader_->areaRight = 20;
  EXPECT_EQ(OvoDmxDecode(reader_, rgba.get(), text, sizeof text), -3);
  EXPECT_EQ(OvoDmxDecode(reader_, nullptr, text, sizeof text), -1);  // the null image before the area
  reader_->areaRight = 50;
  EXPECT_EQ(OvoDmxDecode(reader_, rgba.get(), text, sizeof text), -1);  // 32-bit pictures are not searched
  DibPtr rgb565(DibCreate(64, 64, 2, 4));
  EXPECT_EQ(OvoDmxDecode(reader_, rgb565.get(), text, sizeof text), -1);
  EXPECT_STREQ(text, "unchanged");
}

// ---------------------------------------------------------------------------
// Reading symbols

struct SizeCase {
  int32_t version;  // zint's symbol size number
  int32_t cols, rows;
  int32_t dataWords;
};

// Every ECC 200 size: squares 10 x 10 ... 144 x 144, then the rectangles.
const SizeCase kSizes[] = {
    {1, 10, 10, 3},       {2, 12, 12, 5},       {3, 14, 14, 8},       {4, 16, 16, 12},
    {5, 18, 18, 18},      {6, 20, 20, 22},      {7, 22, 22, 30},      {8, 24, 24, 36},
    {9, 26, 26, 44},      {10, 32, 32, 62},     {11, 36, 36, 86},     {12, 40, 40, 114},
    {13, 44, 44, 144},    {14, 48, 48, 174},    {15, 52, 52, 204},    {16, 64, 64, 280},
    {17, 72, 72, 368},    {18, 80, 80, 456},    {19, 88, 88, 576},    {20, 96, 96, 696},
    {21, 104, 104, 816},  {22, 120, 120, 1050}, {23, 132, 132, 1304}, {24, 144, 144, 1558},
    {25, 18, 8, 5},       {26, 32, 8, 10},      {27, 26, 12, 16},     {28, 36, 12, 22},
    {29, 36, 16, 32},     {30, 48, 16, 49},
};

TEST_F(ReaderTest, ReadsEverySymbolSizeUprightAndRotated) {
  // Every size holds as many digits as it can (two a codeword): the text is
  // longer than the symbol's codeword count from 18 x 18 up, so a reader that
  // stopped at that count would cut it.
  const double angles[] = {0, 33, 90, 161, 247, 312};
  int index = 0;
  for (const SizeCase& s : kSizes) {
    const std::string data = Digits(static_cast<size_t>(s.dataWords) * 2);
    const ModuleMatrix m = DmxSymbol({"--vers=" + std::to_string(s.version)}, data);
    ASSERT_EQ(m.width, s.cols);
    ASSERT_EQ(m.height, s.rows);
    // The region search needs about 4 pixels a module on small rotated symbols.
    const double module = s.cols <= 48 ? 4.0 : s.cols <= 88 ? 3.0 : 2.5;
    const int32_t side = static_cast<int32_t>((s.cols + 4) * module * 1.45) + 24;
    for (int pass = 0; pass < 2; ++pass) {
      const double angle = pass == 0 ? 0 : angles[index++ % 6];
      const int32_t bpp = (s.version + pass) % 2 ? 1 : 3;
      SCOPED_TRACE(std::to_string(s.cols) + "x" + std::to_string(s.rows) + " at " +
                   std::to_string(angle) + " degrees, " + std::to_string(bpp * 8) + " bits");
      RenderOptions o;
      o.moduleSize = module;
      o.angleDeg = angle;
      o.quietZone = 2;
      DibPtr pic = RenderSymbol(m, o, side, side, bpp);
      SetWholeArea(pic.get());
      std::vector<char> text(kTextBytes, '\x7f');
      // 144 x 144 too: its ten blocks are read by the standard's rule.
      const int32_t status = OvoDmxDecode(reader_, pic.get(), text.data(), kTextBytes);
      ASSERT_EQ(status, 0);
      EXPECT_EQ(std::string(text.data()), data);
    }
  }
}

TEST_F(ReaderTest, ReadsBlurredNoisyAndFaintSymbols) {
  struct Case {
    const char* what;
    int32_t version;
    double module, angle, blur, noise;
    uint8_t dark, light;
    int32_t bpp;
  };
  const Case cases[] = {
      {"blurred 16x16", 4, 5, 0, 1.2, 0, 0, 255, 1},
      {"noisy 24x24 rotated", 8, 5, 21, 0.5, 12, 0, 255, 3},
      {"faint 32x32", 10, 4, 0, 0.6, 3, 90, 160, 1},
      {"faint rotated 18x8", 25, 6, 200, 0.8, 4, 60, 190, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string data = c.version == 25 ? "ABCD" : "VANTREL";
    const ModuleMatrix m = DmxSymbol({"--vers=" + std::to_string(c.version)}, data);
    RenderOptions o;
    o.moduleSize = c.module;
    o.angleDeg = c.angle;
    o.dark = c.dark;
    o.light = c.light;
    o.background = c.light;
    DibPtr pic = RenderSymbol(m, o, 640, 480, c.bpp);
    GaussianBlur(pic.get(), c.blur);
    if (c.noise > 0) AddNoise(pic.get(), c.noise, 7);
    SetWholeArea(pic.get());
    char text[64];
    ASSERT_EQ(OvoDmxDecode(reader_, pic.get(), text, sizeof text), 0);
    EXPECT_EQ(text, data);
  }
}

TEST_F(ReaderTest, DamagedSymbolsAreReadRightOrNotAtAll) {
  // Flipped modules inside a 10 x 10 symbol (8 codewords, 2 correctable).
  // libdmtx hands out the bytes of symbols it cannot correct as if they were
  // read; the reader checks the corrected codewords and refuses those (-2).
  const ModuleMatrix clean = DmxSymbol({"--vers=1"}, "37096");
  struct Case {
    int flips;
    bool allRead;  // few enough errors for every symbol to be corrected
  };
  int refused = 0;
  for (const Case& c : {Case{1, true}, Case{3, false}, Case{7, false}, Case{15, false}}) {
    for (uint32_t seed = 1; seed <= 25; ++seed) {
      SCOPED_TRACE(std::to_string(c.flips) + " flips, seed " + std::to_string(seed));
      ModuleMatrix m = clean;
      std::mt19937 rng(seed);
      for (int f = 0; f < c.flips; ++f) {
        const int32_t x = 1 + static_cast<int32_t>(rng() % (m.width - 2));
        const int32_t y = 1 + static_cast<int32_t>(rng() % (m.height - 2));
        m.dark[static_cast<size_t>(y) * m.width + x] ^= 1;
      }
      RenderOptions o;
      o.moduleSize = 5;
      DibPtr pic = RenderSymbol(m, o, 160, 160, 1);
      SetWholeArea(pic.get());
      char text[64] = "";
      const int32_t status = OvoDmxDecode(reader_, pic.get(), text, sizeof text);
      if (status == 0) {
        EXPECT_STREQ(text, "37096");
      }
      if (c.allRead) {
        EXPECT_EQ(status, 0);
      }
      refused += status == -2;
    }
  }
  EXPECT_GT(refused, 25);
}

TEST(CodewordCheck, ReedSolomonCodeWordsOfTheSymbolsSize) {
  // The 10 x 10 example of the symbology's standard: "123456".
  const std::vector<uint8_t> valid = {142, 164, 186, 114, 25, 5, 88, 102};
  struct Case {
    const char* what;
    int32_t rows, cols;
    std::vector<uint8_t> code;
    bool consistent;
  };
  std::vector<uint8_t> dataFlip = valid, checkFlip = valid, swapped = valid;
  dataFlip[1] ^= 0x40;
  checkFlip[7] ^= 0x01;
  std::swap(swapped[3], swapped[4]);
  const Case cases[] = {
      {"as encoded", 10, 10, valid, true},
      {"a data word changed", 10, 10, dataFlip, false},
      {"a check word changed", 10, 10, checkFlip, false},
      {"two check words swapped", 10, 10, swapped, false},
      {"one word short", 10, 10, std::vector<uint8_t>(valid.begin(), valid.end() - 1), false},
      {"size of another symbol", 12, 12, valid, false},
      {"no such size", 11, 11, valid, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(dmx::CodewordsAreConsistent(c.rows, c.cols, c.code.data(), c.code.size()), c.consistent);
  }
  EXPECT_FALSE(dmx::CodewordsAreConsistent(10, 10, nullptr, 8));
}

// ---------------------------------------------------------------------------
// The text

TEST(TextFilter, DropsLineBreaksAndSeparatorsKeepsANulOnlyAtTheEnd) {
  struct Case {
    std::string bytes;
    int32_t capacity;
    int32_t status;
    std::string text;  // as written, without the terminating NUL
  };
  using namespace std::string_literals;
  const Case cases[] = {
      {"AB\r\nCD", 16, 0, "ABCD"},
      {"\r\n", 16, -2, ""},
      {"\r\n\r\n\x1d\x1f\xff", 16, -2, ""},
      {"A\x1d" "B\x1f" "C\xff" "D", 16, 0, "ABCD"},
      {"A\0B\0"s, 16, 0, "AB\0"s},        // inner NUL dropped, last one kept
      {"\0"s, 16, -2, ""},                // a NUL alone is no text
      {"\r\n\0"s, 16, -2, ""},
      {"\0\0A"s, 16, 0, "A"},
      {"", 16, -2, ""},
      {"\x80\xfe\x01", 16, 0, "\x80\xfe\x01"},  // other bytes stay
      {"HELLO", 6, 0, "HELLO"},            // exactly fits with its NUL
      {"HELLO", 5, -2, ""},                // one short: refused, not cut
      {"HE\r\nLLO", 6, 0, "HELLO"},        // dropped bytes need no room
      {"AB\0"s, 3, -2, ""},                // the kept NUL needs its byte
      {"AB\0"s, 4, 0, "AB\0"s},
      {"A", 0, -2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes) + " into " + std::to_string(c.capacity));
    std::vector<char> text(20, '\x7e');
    int32_t kept = -1;
    const auto* bytes = reinterpret_cast<const uint8_t*>(c.bytes.data());
    ASSERT_EQ(dmx::FilterText(bytes, c.bytes.size(), text.data(), c.capacity, &kept), c.status);
    if (c.status != 0) {
      EXPECT_EQ(text[0], '\x7e');  // nothing written
      EXPECT_EQ(kept, -1);
      continue;
    }
    EXPECT_EQ(kept, static_cast<int32_t>(c.text.size()));
    EXPECT_EQ(std::string(text.data(), c.text.size()), c.text);
    EXPECT_EQ(text[c.text.size()], '\0');
    EXPECT_EQ(text[c.text.size() + 1], '\x7e');
  }
  EXPECT_EQ(dmx::FilterText(reinterpret_cast<const uint8_t*>("A"), 1, nullptr, 16, nullptr), -2);
}

TEST_F(ReaderTest, DecodedTextsAreFilteredAndLongTextsAreNotCut) {
  using namespace std::string_literals;
  struct Case {
    const char* what;
    std::vector<std::string> options;
    std::string data;
    int32_t status;
    std::string text;  // bytes written before the terminating NUL
  };
  const Case cases[] = {
      {"CR LF dropped", {}, "AB\r\nCD", 0, "ABCD"},
      {"only line breaks", {}, "\r\n\r\n", -2, ""},
      {"separators and 0xFF", {"--binary"}, "X\x1dY\x1fZ\xffW", 0, "XYZW"},
      {"NUL kept only last", {"--binary"}, "A\0B\0"s, 0, "AB\0"s},
      {"GS1 fields joined", {"--gs1"}, "[01]09501101530003[17]140704[10]AB-123", 0,
       "01095011015300031714070410AB-123"},
      {"36 digits in 18x18 (32 codewords)", {"--vers=5"}, Digits(36), 0, Digits(36)},
      {"Latin-1 bytes", {"--binary"}, "caf\xe9 \xc5", 0, "caf\xe9 \xc5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ModuleMatrix m = DmxSymbol(c.options, c.data);
    RenderOptions o;
    o.moduleSize = 5;
    DibPtr pic = RenderSymbol(m, o, 640, 480, 1);
    SetWholeArea(pic.get());
    std::vector<char> text(kTextBytes, '\x7e');
    ASSERT_EQ(OvoDmxDecode(reader_, pic.get(), text.data(), kTextBytes), c.status);
    if (c.status != 0) {
      EXPECT_EQ(text[0], '\x7e');
      continue;
    }
    EXPECT_EQ(std::string(text.data(), c.text.size()), c.text);
    EXPECT_EQ(text[c.text.size()], '\0');
    EXPECT_EQ(text[c.text.size() + 1], '\x7e');
  }
}

TEST_F(ReaderTest, ATextThatDoesNotFitIsRefusedAndThePreviousResultStays) {
  const ModuleMatrix first = DmxSymbol({}, "FIRST");
  RenderOptions o;
  o.moduleSize = 5;
  o.centreX = 200;
  o.centreY = 150;
  DibPtr a = RenderSymbol(first, o, 640, 480, 1);
  SetWholeArea(a.get());
  char text[16];
  ASSERT_EQ(OvoDmxDecode(reader_, a.get(), text, sizeof text), 0);
  OvoDmxPoint t0, r0, p0, q0;
  ASSERT_EQ(OvoDmxGetCorners(&t0, &r0, &p0, &q0), 0);

  const ModuleMatrix second = DmxSymbol({}, "SECOND");
  o.centreX = 420;
  o.centreY = 300;
  DibPtr b = RenderSymbol(second, o, 640, 480, 1);
  struct Case {
    char* buffer;
    int32_t capacity;
    int32_t status;
  };
  char small[16];
  std::memset(small, '\x7e', sizeof small);
  const Case cases[] = {{small, 6, -2}, {small, 0, -2}, {nullptr, 100, -2}, {small, 7, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.capacity);
    ASSERT_EQ(OvoDmxDecode(reader_, b.get(), c.buffer, c.capacity), c.status);
    OvoDmxPoint t, r, p, q;
    ASSERT_EQ(OvoDmxGetCorners(&t, &r, &p, &q), 0);
    if (c.status != 0) {
      EXPECT_EQ(small[0], '\x7e');
      EXPECT_EQ(t.x, t0.x);
      EXPECT_EQ(t.y, t0.y);
      EXPECT_EQ(r.x, r0.x);
      EXPECT_EQ(r.y, r0.y);
    } else {
      EXPECT_STREQ(small, "SECOND");
      EXPECT_GT(t.x, t0.x + 100);
    }
  }
  // Nothing found: the last outline stays too.
  DibPtr empty(DibCreate(640, 480, 1, 4));
  FillGrey(empty.get(), 230);
  ASSERT_EQ(OvoDmxSetMaxTime(50), 0);
  EXPECT_EQ(OvoDmxDecode(reader_, empty.get(), text, sizeof text), -1);
  OvoDmxPoint t;
  ASSERT_EQ(OvoDmxGetCorners(&t, nullptr, nullptr, nullptr), 0);
  EXPECT_GT(t.x, t0.x + 100);
}

// ---------------------------------------------------------------------------
// Where the symbol is

// A crisp upright symbol on whole pixels: the search puts the top-edge point on
// the symbol's top-left pixel and the right-edge point on its bottom-right one.
struct Crisp {
  DibPtr pic;
  int32_t x0, y0, x1, y1;  // inclusive pixel bounds of the symbol
};
Crisp CrispSymbol(int32_t version, int32_t module, int32_t left, int32_t top, int32_t bpp) {
  const ModuleMatrix m = DmxSymbol({"--vers=" + std::to_string(version)}, "12");
  RenderOptions o;
  o.moduleSize = module;
  o.centreX = left + m.width * module / 2.0;
  o.centreY = top + m.height * module / 2.0;
  Crisp c;
  c.pic = RenderSymbol(m, o, 640, 480, bpp);
  c.x0 = left;
  c.y0 = top;
  c.x1 = left + m.width * module - 1;
  c.y1 = top + m.height * module - 1;
  return c;
}

TEST_F(ReaderTest, UprightOutlineLiesOnTheSymbolsPixelsWithOrWithoutACrop) {
  struct Case {
    int32_t version, module, left, top, bpp;
    DibRect area;
  };
  const Case cases[] = {
      {10, 4, 256, 176, 1, {0, 0, 639, 479}},   // the picture itself
      {10, 4, 256, 176, 3, {0, 0, 639, 479}},
      {10, 4, 256, 176, 1, {33, 21, 620, 470}}, // a crop: offsets added back
      {10, 4, 256, 176, 3, {33, 21, 620, 470}},
      {4, 5, 101, 57, 1, {60, 30, 300, 200}},
      {6, 4, 300, 200, 3, {0, 0, 5000, 5000}},
      {1, 3, 15, 15, 1, {10, 10, 50, 50}},      // the default area's corner
  };
  int axisAligned = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE("version " + std::to_string(c.version) + " at " + std::to_string(c.left) + "," +
                 std::to_string(c.top) + ", " + std::to_string(c.bpp * 8) + " bits, area from " +
                 std::to_string(c.area.left) + "," + std::to_string(c.area.top));
    Crisp s = CrispSymbol(c.version, c.module, c.left, c.top, c.bpp);
    ASSERT_EQ(OvoDmxSetArea(&c.area), 0);
    char text[16];
    ASSERT_EQ(OvoDmxDecode(reader_, s.pic.get(), text, sizeof text), 0);
    EXPECT_STREQ(text, "12");
    OvoDmxPoint t, r, p, q;
    ASSERT_EQ(OvoDmxGetCorners(&t, &r, &p, &q), 0);
    // Exact: an outline one pixel low would miss these by one row.
    EXPECT_EQ(t.x, s.x0);
    EXPECT_EQ(t.y, s.y0);
    EXPECT_EQ(r.x, s.x1);
    EXPECT_EQ(r.y, s.y1);
    // Axis-aligned edges (angles 90 and 0): P = (Rx, Ty), Q = (Tx, Ry).
    if (reader_->right.angle == 90 && reader_->top.angle == 0) {
      ++axisAligned;
      EXPECT_EQ(p.x, r.x);
      EXPECT_EQ(p.y, t.y);
    }
    if (reader_->left.angle == 90 && reader_->bottom.angle == 0) {
      EXPECT_EQ(q.x, t.x);
      EXPECT_EQ(q.y, r.y);
    }
  }
  EXPECT_GE(axisAligned, 3);
}

TEST_F(ReaderTest, RotatedOutlineFollowsTheSymbolsCornersInOrder) {
  // T, P, R, Q are the symbol's top-left, top-right, bottom-right and
  // bottom-left corners as printed (the finder's corner is bottom-left).
  const ModuleMatrix m = DmxSymbol({"--vers=4"}, "ROTATED");
  // 89 and 268 degrees: steep top edges, where an outline computed from a
  // whole-pixel x would be tens of pixels off.
  for (double angle : {30.0, 89.0, 100.0, 160.0, 245.0, 268.0, 333.0}) {
    SCOPED_TRACE(angle);
    RenderOptions o;
    o.moduleSize = 5;
    o.angleDeg = angle;
    o.centreX = 300;
    o.centreY = 260;
    DibPtr pic = RenderSymbol(m, o, 640, 480, 3);
    SetWholeArea(pic.get());
    char text[16];
    ASSERT_EQ(OvoDmxDecode(reader_, pic.get(), text, sizeof text), 0);
    OvoDmxPoint got[4];
    ASSERT_EQ(OvoDmxGetCorners(&got[0], &got[2], &got[1], &got[3]), 0);
    const double th = angle * M_PI / 180, ct = std::cos(th), st = std::sin(th);
    const double half = m.width * o.moduleSize / 2;
    const double corners[4][2] = {{-half, -half}, {half, -half}, {half, half}, {-half, half}};
    for (int i = 0; i < 4; ++i) {
      const double u = corners[i][0], v = corners[i][1];
      const double x = o.centreX + u * ct + v * st, y = o.centreY - u * st + v * ct;
      EXPECT_NEAR(got[i].x, x, o.moduleSize + 1) << "corner " << i;
      EXPECT_NEAR(got[i].y, y, o.moduleSize + 1) << "corner " << i;
    }
  }
}

TEST_F(ReaderTest, SymbolOutsideTheAreaIsNotFound) {
  Crisp s = CrispSymbol(10, 4, 300, 200, 1);
  const DibRect left{0, 0, 250, 479};
  ASSERT_EQ(OvoDmxSetArea(&left), 0);
  ASSERT_EQ(OvoDmxSetMaxTime(200), 0);
  char text[16];
  EXPECT_EQ(OvoDmxDecode(reader_, s.pic.get(), text, sizeof text), -1);
}

TEST(OutlineCorners, LineIntersectionsAndTheirFallBacks) {
  struct Edge {
    int32_t x, y, angle;
  };
  struct Case {
    const char* what;
    Edge left, top, right, bottom;
    int32_t status;
    bool pGiven, qGiven;
    OvoDmxPoint p, q;
  };
  const Case cases[] = {
      {"axis-aligned", {40, 100, 90}, {50, 20, 0}, {100, 200, 90}, {60, 200, 0}, 0, true, true,
       {100, 20}, {50, 200}},
      {"right and top both horizontal", {40, 100, 90}, {50, 20, 0}, {100, 200, 0}, {60, 200, 0}, -1,
       false, false, {}, {}},
      {"right and top both vertical", {40, 100, 90}, {50, 20, 90}, {100, 200, 90}, {60, 200, 0}, -1,
       false, false, {}, {}},
      {"only Q undefined", {40, 100, 0}, {50, 20, 0}, {100, 200, 90}, {60, 200, 0}, -1, true, false,
       {100, 20}, {}},
      // y = x - 11 meets y = 10 - x at (10.5, -0.5): x truncated first, y from B.
      {"two slanted lines", {0, 0, 90}, {0, 10, 45}, {11, 0, 135}, {0, 0, 0}, 0, true, true,
       {10, 0}, {0, 0}},
      // y = 7 meets y = tan(60) x at x = 4.04.
      {"horizontal and slanted", {0, 0, 90}, {0, 0, 120}, {40, 7, 0}, {0, 0, 0}, 0, true, true,
       {4, 7}, {0, 7}},
      // y = x meets the steep y = 57.29 (x - 3) at x = y = 3.05.
      {"steep line: y from the exact x", {0, 0, 90}, {3, 0, 91}, {0, 0, 135}, {0, 0, 0}, 0, true,
       true, {3, 3}, {3, 0}},
      // x = 10 meets y = 3 + tan(60) x at y = 20.32.
      {"vertical and slanted", {0, 0, 90}, {0, 3, 120}, {10, 50, 90}, {0, 50, 0}, 0, true, true,
       {10, 20}, {0, 50}},
      // Slope 0 (angle 180): the division has no divisor.
      {"horizontal and slope 0: x from T", {0, 0, 90}, {5, 9, 180}, {40, 7, 0}, {0, 0, 0}, 0, true,
       true, {5, 7}, {5, 7}},
      {"slope 0 and horizontal: x from R", {0, 0, 90}, {5, 9, 0}, {40, 7, 180}, {0, 0, 0}, 0, true,
       true, {40, 9}, {5, 7}},
      {"equal slopes: x from R, y from B", {0, 0, 90}, {5, 9, 180}, {40, 7, 180}, {0, 0, 0}, 0, true,
       true, {40, 9}, {5, 7}},
      {"Q with equal slopes: x from T", {0, 0, 180}, {5, 9, 0}, {40, 7, 90}, {0, 30, 180}, 0, true,
       true, {40, 9}, {5, 7}},
  };
  OvoDmxTerminate();
  ASSERT_EQ(OvoDmxInitialize(), 0);
  CDataMatCtrl* reader = OvoDmxGetReader();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    reader->left = DmxEdgeLine{c.left.x, c.left.y, c.left.angle};
    reader->top = DmxEdgeLine{c.top.x, c.top.y, c.top.angle};
    reader->right = DmxEdgeLine{c.right.x, c.right.y, c.right.angle};
    reader->bottom = DmxEdgeLine{c.bottom.x, c.bottom.y, c.bottom.angle};
    OvoDmxPoint t{-1, -1}, r{-1, -1}, p{-1, -1}, q{-1, -1};
    EXPECT_EQ(OvoDmxGetCorners(&t, &r, &p, &q), c.status);
    EXPECT_EQ(t.x, c.top.x);
    EXPECT_EQ(t.y, c.top.y);
    EXPECT_EQ(r.x, c.right.x);
    EXPECT_EQ(r.y, c.right.y);
    if (c.pGiven) {
      EXPECT_EQ(p.x, c.p.x);
      EXPECT_EQ(p.y, c.p.y);
    } else {
      EXPECT_EQ(p.x, -1);
    }
    if (c.qGiven) {
      EXPECT_EQ(q.x, c.q.x);
      EXPECT_EQ(q.y, c.q.y);
    } else {
      EXPECT_EQ(q.x, -1);
    }
    EXPECT_EQ(OvoDmxGetCorners(nullptr, nullptr, nullptr, nullptr), c.status);
  }
  // A line of angle 270 is all but vertical: far from its point it leaves
  // every picture, and the value saturates instead of wrapping.
  reader->top = DmxEdgeLine{10, 0, 90};
  reader->right = DmxEdgeLine{0, 1, 270};
  OvoDmxPoint p;
  ASSERT_EQ(OvoDmxGetCorners(nullptr, nullptr, &p, nullptr), 0);
  EXPECT_EQ(p.x, 10);
  EXPECT_EQ(p.y, INT32_MIN);
  OvoDmxTerminate();
}

// ---------------------------------------------------------------------------
// Time limit

TEST_F(ReaderTest, AOneMillisecondLimitEndsTheSearchOnALargeTexturedPicture) {
  // The whole search over this picture takes seconds; the limit is checked
  // between scan positions, so the call comes back at once with nothing.
  DibPtr pic(DibCreate(1600, 1200, 1, 4));
  FillGrey(pic.get(), 128);
  AddNoise(pic.get(), 60, 11);
  GaussianBlur(pic.get(), 1.5);
  SetWholeArea(pic.get());
  ASSERT_EQ(OvoDmxSetMaxTime(1), 0);
  char text[16];
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(OvoDmxDecode(reader_, pic.get(), text, sizeof text), -1);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(ms, 500) << "the limit was not honoured";
}

TEST_F(ReaderTest, LimitsBeyondTheSearchsClockStillFindTheSymbol) {
  // libdmtx adds the limit as int microseconds: from 2,147,484 ms on the
  // deadline would wrap into the past and nothing would ever be found.
  Crisp s = CrispSymbol(10, 4, 256, 176, 1);
  SetWholeArea(s.pic.get());
  for (int32_t limit : {dmx::kMaxTimeLimit, dmx::kMaxTimeLimit + 1, INT32_MAX}) {
    SCOPED_TRACE(limit);
    ASSERT_EQ(OvoDmxSetMaxTime(limit), 0);
    char text[16];
    EXPECT_EQ(OvoDmxDecode(reader_, s.pic.get(), text, sizeof text), 0);
    int32_t stored = 0;
    EXPECT_EQ(OvoDmxGetMaxTime(&stored), 0);
    EXPECT_EQ(stored, limit);
  }
}

}  // namespace
}  // namespace vantrel::test

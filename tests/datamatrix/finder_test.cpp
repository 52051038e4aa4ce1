// Finding and reading symbols in pictures: every kind of symbol at several
// module sizes, angles and places, the large-frame search, what a decode
// reports besides its text, and the bounded work on a picture without any.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "datamatrix/dmx_test_support.h"

namespace vantrel::test {
namespace {

class FinderTest : public DmxReaderTest {
 protected:
  int32_t Decode(DibImage pic, std::string* text) {
    const DibRect a{0, 0, DibGetWidth(pic) - 1, DibGetHeight(pic) - 1};
    EXPECT_EQ(OvoDmxSetArea(&a), 0);
    std::vector<char> buf(kTextBytes, '\x7e');
    const int32_t status = OvoDmxDecode(reader_, pic, buf.data(), kTextBytes);
    if (status == 0 && text) *text = buf.data();
    return status;
  }
};

ModuleMatrix MirrorImage(const ModuleMatrix& m) {
  ModuleMatrix out = m;
  for (int32_t y = 0; y < m.height; ++y)
    for (int32_t x = 0; x < m.width; ++x)
      out.dark[static_cast<size_t>(y) * m.width + x] = m.dark[static_cast<size_t>(y) * m.width + m.width - 1 - x];
  return out;
}

TEST_F(FinderTest, ReadsEveryKindOfSymbolAtModuleSizesAnglesAndEdges) {
  struct Kind {
    const char* what;
    std::vector<std::string> options;
    std::string data;
    int32_t rows, cols;
  };
  const Kind kinds[] = {
      {"square 22x22", {"--vers=7"}, "VANTREL 0042", 22, 22},
      {"rectangle 12x36", {"--vers=28"}, "RECT 12X36", 12, 36},
      {"extension 8x64", {"--vers=32", "--dmre"}, "EXT 8X64", 8, 64},
      {"extension 24x48", {"--vers=44", "--dmre"}, "EXTENSION 24X48", 24, 48},
      {"144x144", {"--vers=24"}, Digits(600), 144, 144},
  };
  int32_t variant = 0;
  for (const Kind& k : kinds) {
    const ModuleMatrix plain = DmxSymbol(k.options, k.data);
    ASSERT_EQ(plain.height, k.rows);
    ASSERT_EQ(plain.width, k.cols);
    for (double module : {2.0, 3.0, 5.0}) {
      for (double angle : {0.0, 37.0}) {
        // Mirror image, light on dark, the picture's width modulo 4 and its
        // depth go round so that every kind meets each of them.
        const bool mirrored = variant % 2 == 1;
        const bool inverted = variant / 2 % 2 == 1;
        const int32_t widthMod = (variant + variant / 4) % 4;
        const int32_t bpp = variant / 3 % 2 == 0 ? 1 : 3;
        ++variant;
        SCOPED_TRACE(std::string(k.what) + ", module " + std::to_string(module) + ", " + std::to_string(angle) +
                     " degrees" + (mirrored ? ", mirrored" : "") + (inverted ? ", light on dark" : "") +
                     ", width mod 4 = " + std::to_string(widthMod) + ", " + std::to_string(bpp * 8) + " bits");
        const ModuleMatrix m = mirrored ? MirrorImage(plain) : plain;
        const double symW = m.width * module, symH = m.height * module;
        RenderOptions o;
        o.moduleSize = module;
        o.angleDeg = angle;
        o.invert = inverted;
        o.quietZone = 1;
        int32_t W, H;
        if (angle == 0) {
          // One module from the right and bottom border: the last column and
          // row of modules end where the picture nearly does.
          W = static_cast<int32_t>(symW) + 24;
          H = static_cast<int32_t>(symH) + 24;
          W += (widthMod - W % 4 + 4) % 4;
          o.centreX = W - module - symW / 2;
          o.centreY = H - module - symH / 2;
        } else {
          const double diag = std::hypot(symW, symH) + 4 * module;
          W = static_cast<int32_t>(diag) + 16;
          H = W;
          W += (widthMod - W % 4 + 4) % 4;
        }
        DibPtr pic = RenderSymbol(m, o, W, H, bpp);
        std::string text;
        const int32_t status = Decode(pic.get(), &text);
        EXPECT_EQ(status, 0);
        if (status != 0) continue;
        EXPECT_EQ(text, k.data);
        OvoDmxSymbolInfo info{};
        ASSERT_EQ(OvoDmxGetSymbolInfo(&info), 0);
        EXPECT_EQ(info.rows, k.rows);
        EXPECT_EQ(info.cols, k.cols);
        EXPECT_EQ(info.inverted, inverted ? 1 : 0);
        // A square reads the same transposed; only a rectangle tells.
        if (k.rows != k.cols) {
          EXPECT_EQ(info.mirrored, mirrored ? 1 : 0);
        }
      }
    }
  }
}

TEST_F(FinderTest, TheLibraryReadsFromTheFindersCornersMirroredAndInvertedToo) {
  // Our own sampling off: every read below goes through the library's
  // sampling and correction from the finder's corners (a mirrored symbol
  // through the picture turned upside down for it).
  struct Case {
    const char* what;
    std::vector<std::string> options;
    double module, angle;
    bool mirrored, inverted;
  };
  const Case cases[] = {
      {"upright", {"--vers=8"}, 4, 0, false, false},
      {"rotated", {"--vers=8"}, 4, 200, false, false},
      {"mirrored rectangle", {"--vers=28"}, 4, 0, true, false},
      {"mirrored rectangle, rotated", {"--vers=28"}, 4, 67, true, false},
      {"mirrored square", {"--vers=4"}, 5, 15, true, false},
      {"light on dark", {"--vers=8"}, 4, 33, false, true},
  };
  vantrel::dmx::g_libraryOnly = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ModuleMatrix m = DmxSymbol(c.options, "LIBRARY 42");
    if (c.mirrored) m = MirrorImage(m);
    RenderOptions o;
    o.moduleSize = c.module;
    o.angleDeg = c.angle;
    o.invert = c.inverted;
    DibPtr pic = RenderSymbol(m, o, 400, 400, 1);
    GaussianBlur(pic.get(), 0.6);
    const int64_t before = vantrel::dmx::g_libraryAttempts.load();
    std::string text;
    EXPECT_EQ(Decode(pic.get(), &text), 0);
    EXPECT_EQ(text, "LIBRARY 42");
    EXPECT_GT(vantrel::dmx::g_libraryAttempts.load(), before);
    OvoDmxSymbolInfo info{};
    ASSERT_EQ(OvoDmxGetSymbolInfo(&info), 0);
    if (m.width != m.height) {
      EXPECT_EQ(info.mirrored, c.mirrored ? 1 : 0);
    }
    EXPECT_EQ(info.inverted, c.inverted ? 1 : 0);
  }
  vantrel::dmx::g_libraryOnly = false;
}

TEST_F(FinderTest, LargeFramesAreSearchedAtHalfSizeAndThenAtFullSize) {
  struct Case {
    int32_t width, height;
    double module;  // 2 pixels a module are too small for the half-size search
    double angle;
  };
  const Case cases[] = {{1280, 720, 6, 0}, {1920, 1080, 8, 23}, {1920, 1080, 2, 0}, {1280, 960, 3, 111}};
  const ModuleMatrix m = DmxSymbol({"--vers=7"}, "LARGE FRAME");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + ", module " + std::to_string(c.module));
    RenderOptions o;
    o.moduleSize = c.module;
    o.angleDeg = c.angle;
    o.centreX = c.width * 0.3;
    o.centreY = c.height * 0.6;
    DibPtr pic = RenderSymbol(m, o, c.width, c.height, 3);
    GaussianBlur(pic.get(), 0.7);
    std::string text;
    ASSERT_EQ(Decode(pic.get(), &text), 0);
    EXPECT_EQ(text, "LARGE FRAME");
    // The outline comes from the full-size picture.
    OvoDmxPoint t, r, p, q;
    ASSERT_EQ(OvoDmxGetCorners(&t, &r, &p, &q), 0);
    const double half = m.width * c.module / 2, th = c.angle * M_PI / 180;
    const double ct = std::cos(th), st = std::sin(th);
    // T is the top-left corner as printed, R the bottom-right one.
    const double tx = o.centreX - half * ct - half * st, ty = o.centreY + half * st - half * ct;
    const double rx = o.centreX + half * ct + half * st, ry = o.centreY - half * st + half * ct;
    EXPECT_NEAR(t.x, tx, c.module + 1);
    EXPECT_NEAR(t.y, ty, c.module + 1);
    EXPECT_NEAR(r.x, rx, c.module + 1);
    EXPECT_NEAR(r.y, ry, c.module + 1);
  }
}

TEST_F(FinderTest, TheDecodedBytesAndWhatTheSymbolWasAreKeptApartFromTheText) {
  using namespace std::string_literals;
  uint8_t bytes[64];
  int32_t length = -1;
  OvoDmxSymbolInfo info{};
  EXPECT_EQ(OvoDmxGetBytes(bytes, sizeof bytes, &length), -1);  // nothing decoded yet
  EXPECT_EQ(OvoDmxGetSymbolInfo(&info), -1);

  struct Case {
    const char* what;
    std::vector<std::string> options;
    std::string data;
    std::string text;   // the station's text (filtered)
    std::string raw;    // the decoded bytes exactly
    const char* identifier;
    int32_t gs1, eci, readerInit, macro, appendIndex, appendCount;
  };
  const Case cases[] = {
      {"GS1 fields", {"--gs1"}, "[10]AB-123[17]140704", "10AB-12317140704", "10AB-123\x1d" "17140704", "]d2", 1, 0, 0,
       0, 0, 0},
      {"binary with NULs", {"--binary"}, "A\0B\0"s, "AB\0"s, "A\0B\0"s, "]d1", 0, 0, 0, 0, 0, 0},
      {"line breaks", {}, "A\r\nB", "AB", "A\r\nB", "]d1", 0, 0, 0, 0, 0, 0},
      // The encoder takes UTF-8 and writes the ECI's own bytes; the reader gives UTF-8 back.
      {"ECI 7 (Cyrillic)", {"--eci=7"}, "\xd0\x96", "\xd0\x96", "\xd0\x96", "]d4", 0, 1, 0, 0, 0, 0},
      {"ECI 20 (Shift JIS)", {"--eci=20"}, "\xe7\x82\xb9", "\xe7\x82\xb9", "\xe7\x82\xb9", "]d4", 0, 1, 0, 0, 0, 0},
      {"reader programming", {"--init"}, "PROG", "PROG", "PROG", "]d1", 0, 0, 1, 0, 0, 0},
      {"structured append", {"--structapp=2,3,1001"}, "PART", "PART", "PART", "]d1", 0, 0, 0, 0, 2, 3},
      {"05 macro", {}, "[)>\x1e" "05\x1d" "DATA\x1e\x04", "[)>\x1e" "05DATA\x1e\x04", "[)>\x1e" "05\x1d" "DATA\x1e\x04",
       "]d1", 0, 0, 0, 5, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ModuleMatrix m = DmxSymbol(c.options, c.data);
    RenderOptions o;
    o.moduleSize = 5;
    DibPtr pic = RenderSymbol(m, o, 320, 240, 1);
    const DibRect a{0, 0, 319, 239};
    ASSERT_EQ(OvoDmxSetArea(&a), 0);
    std::vector<char> text(kTextBytes, '\x7e');
    ASSERT_EQ(OvoDmxDecode(reader_, pic.get(), text.data(), kTextBytes), 0);
    EXPECT_EQ(std::string(text.data(), c.text.size()), c.text);
    EXPECT_EQ(text[c.text.size()], '\0');
    length = -1;
    ASSERT_EQ(OvoDmxGetBytes(nullptr, 0, &length), 0);  // the count alone
    ASSERT_EQ(length, static_cast<int32_t>(c.raw.size()));
    ASSERT_EQ(OvoDmxGetBytes(bytes, sizeof bytes, &length), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), static_cast<size_t>(length)), c.raw);
    ASSERT_EQ(OvoDmxGetSymbolInfo(&info), 0);
    EXPECT_STREQ(info.identifier, c.identifier);
    EXPECT_EQ(info.gs1, c.gs1);
    EXPECT_EQ(info.eci, c.eci);
    EXPECT_EQ(info.readerInit, c.readerInit);
    EXPECT_EQ(info.macro, c.macro);
    EXPECT_EQ(info.appendIndex, c.appendIndex);
    EXPECT_EQ(info.appendCount, c.appendCount);
    if (c.appendIndex) {
      EXPECT_NE(info.appendFileId, 0);
    } else {
      EXPECT_EQ(info.appendFileId, 0);
    }
    // Too small a buffer: refused with the count, nothing copied.
    if (!c.raw.empty()) {
      std::memset(bytes, 0x55, sizeof bytes);
      EXPECT_EQ(OvoDmxGetBytes(bytes, length - 1, &length), -2);
      EXPECT_EQ(length, static_cast<int32_t>(c.raw.size()));
      EXPECT_EQ(bytes[0], 0x55);
    }
  }
  OvoDmxTerminate();
  EXPECT_EQ(OvoDmxGetBytes(bytes, sizeof bytes, &length), -8);
  EXPECT_EQ(OvoDmxGetSymbolInfo(&info), -8);
  EXPECT_EQ(OvoDmxSetFullSearch(1), -8);
}

TEST_F(FinderTest, AnEmptyBusyPictureIsGivenUpWithoutCombingItThroughTheLibrary) {
  // Texture, text-like strokes, boxes and a label: outlines everywhere, no symbol.
  DibPtr pic(DibCreate(640, 480, 3, 4));
  FillGrey(pic.get(), 150);
  AddNoise(pic.get(), 50, 3);
  GaussianBlur(pic.get(), 1.5);
  uint8_t* bits = DibGetBits(pic.get());
  const int32_t stride = DibGetStride(pic.get());
  auto box = [&](int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t v) {
    for (int32_t y = y0; y < y1; ++y)
      for (int32_t x = x0; x < x1; ++x) std::memset(bits + static_cast<ptrdiff_t>(y) * stride + 3 * x, v, 3);
  };
  for (int32_t i = 0; i < 40; ++i) box(20 + 15 * i, 30, 20 + 15 * i + 2 + i % 5, 42 + i % 3, 20);  // strokes
  box(200, 150, 440, 330, 250);   // a light label ...
  box(260, 200, 380, 280, 10);    // ... with a solid dark square on it
  box(280, 220, 360, 260, 250);   // ... that has a hole
  int32_t fullSearch = -1;
  ASSERT_EQ(OvoDmxGetFullSearch(&fullSearch), 0);
  EXPECT_EQ(fullSearch, 0);  // off unless asked for
  ASSERT_EQ(OvoDmxSetMaxTime(1000), 0);
  const int64_t before = vantrel::dmx::g_libraryAttempts.load();
  EXPECT_EQ(Decode(pic.get(), nullptr), -1);
  // A handful of calls at most (tries from a candidate's corners and a capped
  // search around it), never a search through the whole picture.
  EXPECT_LE(vantrel::dmx::g_libraryAttempts.load() - before, 20);

  // Asked for, the library's own search goes over the whole picture.
  ASSERT_EQ(OvoDmxSetFullSearch(1), 0);
  ASSERT_EQ(OvoDmxSetMaxTime(500), 0);
  const int64_t combed = vantrel::dmx::g_libraryAttempts.load();
  EXPECT_EQ(Decode(pic.get(), nullptr), -1);
  EXPECT_GT(vantrel::dmx::g_libraryAttempts.load() - combed, 0);
  EXPECT_EQ(OvoDmxSetFullSearch(2), -1);
  ASSERT_EQ(OvoDmxGetFullSearch(&fullSearch), 0);
  EXPECT_EQ(fullSearch, 1);
}

TEST_F(FinderTest, ADamagedBorderOrAStrayLShapeIsNoSymbol) {
  // An L and a box of solid lines look like the finder at first glance; the
  // timing edges decide. A symbol with its timing edge blotted out is not read
  // (the codewords would be read from the wrong grid).
  DibPtr pic(DibCreate(400, 300, 1, 4));
  FillGrey(pic.get(), 240);
  uint8_t* bits = DibGetBits(pic.get());
  const int32_t stride = DibGetStride(pic.get());
  auto box = [&](int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t v) {
    for (int32_t y = y0; y < y1; ++y) std::memset(bits + static_cast<ptrdiff_t>(y) * stride + x0, v, x1 - x0);
  };
  box(30, 30, 36, 130, 10);    // an L
  box(30, 124, 130, 130, 10);
  box(200, 40, 300, 46, 10);   // a box
  box(200, 134, 300, 140, 10);
  box(200, 40, 206, 140, 10);
  box(294, 40, 300, 140, 10);
  EXPECT_EQ(Decode(pic.get(), nullptr), -1);

  ModuleMatrix m = DmxSymbol({"--vers=4"}, "BLOT");
  for (int32_t x = 0; x < m.width; ++x) m.dark[static_cast<size_t>(x)] = 1;  // top edge solid
  for (int32_t y = 0; y < m.height; ++y) m.dark[static_cast<size_t>(y) * m.width + m.width - 1] = 1;
  RenderOptions o;
  o.moduleSize = 5;
  DibPtr blotted = RenderSymbol(m, o, 200, 200, 1);
  EXPECT_NE(Decode(blotted.get(), nullptr), 0);
}

}  // namespace
}  // namespace vantrel::test

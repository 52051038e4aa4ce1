#include "vantrel/dib_file.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "imaging/bmp_builder.h"
#include "imaging/test_files.h"

namespace {

using vantrel::test::BmpLayout;
using vantrel::test::BuildBmp;
using vantrel::test::ReadText;
using vantrel::test::TempFolder;
using Bytes = std::vector<uint8_t>;

struct DibDeleter {
  void operator()(GmBlock* h) const { DibFree(h); }
};
using DibPtr = std::unique_ptr<GmBlock, DibDeleter>;

void WriteBytes(const std::string& path, const Bytes& b) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

Bytes ReadBytes(const std::string& path) {
  std::string s = ReadText(path);
  return Bytes(s.begin(), s.end());
}

uint8_t* Px(DibImage img, int32_t x, int32_t y) {
  return DibGetBits(img) + static_cast<ptrdiff_t>(y) * DibGetStride(img) + x * (DibGetBitCount(img) / 8);
}

Bytes PixelBytes(DibImage img, int32_t x, int32_t y) {
  const uint8_t* p = Px(img, x, y);
  return Bytes(p, p + DibGetBitCount(img) / 8);
}

DibPtr Filled(int32_t w, int32_t h, int32_t bytes, uint8_t value) {
  DibPtr img(DibCreate(w, h, bytes, 4));
  std::memset(DibGetBits(img.get()), value, static_cast<size_t>(DibGetStride(img.get())) * h);
  return img;
}

// A 24-bit file whose pixel (x, y) is B = x, G = y, R = x + y (mod 256).
BmpLayout Gradient(int32_t w, int32_t h) {
  BmpLayout s;
  s.width = w;
  s.height = h;
  s.row = [w, h](int32_t r, size_t n) {
    Bytes b(n, 0);
    const int32_t y = h - 1 - r;  // bottom row first
    for (int32_t x = 0; x < w && size_t(3 * x + 2) < n; ++x) {
      b[3 * x] = uint8_t(x);
      b[3 * x + 1] = uint8_t(y);
      b[3 * x + 2] = uint8_t(x + y);
    }
    return b;
  };
  return s;
}

Bytes Bgr(int32_t x, int32_t y) { return Bytes{uint8_t(x), uint8_t(y), uint8_t(x + y)}; }

class PictureFiles : public ::testing::Test {
 protected:
  std::string Put(const std::string& name, const Bytes& bytes) {
    std::string p = dir_.File(name);
    WriteBytes(p, bytes);
    return p;
  }
  TempFolder dir_;
};

// ---- loading ----------------------------------------------------------------

TEST_F(PictureFiles, TheExtensionDecides) {
  const Bytes bmp = BuildBmp(Gradient(4, 3));
  DibPtr img = Filled(4, 3, 3, 0x55);
  EXPECT_EQ(DibLoadFile(Put("upper.BMP", bmp).c_str(), img.get()), 0);
  EXPECT_EQ(PixelBytes(img.get(), 3, 2), Bgr(3, 2));

  for (const char* name : {"picture.jpg", "no_extension", "bmp", "dir.bmp.d/x.png"}) {
    SCOPED_TRACE(name);
    std::filesystem::create_directories(dir_.File("dir.bmp.d"));
    DibPtr untouched = Filled(4, 3, 3, 0x55);
    EXPECT_EQ(DibLoadFile(Put(name, bmp).c_str(), untouched.get()), 0);
    EXPECT_EQ(PixelBytes(untouched.get(), 3, 2), (Bytes{0x55, 0x55, 0x55}));
  }
  EXPECT_EQ(DibLoadFile(nullptr, img.get()), 1);
  EXPECT_EQ(DibLoadFile("", img.get()), 1);
  EXPECT_EQ(DibLoadFile(dir_.File("x.bmp").c_str(), nullptr), 2);
  EXPECT_EQ(DibLoadFile(dir_.File("missing.bmp").c_str(), img.get()), 1);
  std::filesystem::create_directories(dir_.File("folder.bmp"));
  EXPECT_EQ(DibLoadFile(dir_.File("folder.bmp").c_str(), img.get()), 1);
}

TEST_F(PictureFiles, PictureLandsTopLeft) {
  // Larger than the picture: its top-left 640 x 480 pixels.
  DibPtr frame = Filled(640, 480, 3, 0x77);
  ASSERT_EQ(DibReadBmp(Put("big.bmp", BuildBmp(Gradient(800, 600))).c_str(), frame.get()), 0);
  for (auto [x, y] : {std::pair{0, 0}, {639, 479}, {100, 200}, {639, 0}, {0, 479}})
    EXPECT_EQ(PixelBytes(frame.get(), x, y), Bgr(x, y)) << x << "," << y;

  // Smaller: only the top-left quarter changes.
  DibPtr quarter = Filled(640, 480, 3, 0x77);
  ASSERT_EQ(DibReadBmp(Put("small.bmp", BuildBmp(Gradient(320, 240))).c_str(), quarter.get()), 0);
  EXPECT_EQ(PixelBytes(quarter.get(), 319, 239), Bgr(319, 239));
  EXPECT_EQ(PixelBytes(quarter.get(), 0, 0), Bgr(0, 0));
  EXPECT_EQ(PixelBytes(quarter.get(), 320, 0), (Bytes{0x77, 0x77, 0x77}));
  EXPECT_EQ(PixelBytes(quarter.get(), 0, 240), (Bytes{0x77, 0x77, 0x77}));
  // Neither the row padding of a narrow file nor anything else spills past its width.
  DibPtr narrow = Filled(8, 2, 3, 0x77);
  ASSERT_EQ(DibReadBmp(Put("narrow.bmp", BuildBmp(Gradient(1, 2))).c_str(), narrow.get()), 0);
  EXPECT_EQ(PixelBytes(narrow.get(), 1, 0), (Bytes{0x77, 0x77, 0x77}));

  // A top-down file (negative height) is read the right way up.
  BmpLayout topDown = Gradient(5, 4);
  topDown.height = -4;
  topDown.row = [](int32_t r, size_t n) {
    Bytes b(n, 0);
    for (int32_t x = 0; x < 5; ++x) {
      b[3 * x] = uint8_t(x);
      b[3 * x + 1] = uint8_t(r);
      b[3 * x + 2] = uint8_t(x + r);
    }
    return b;
  };
  DibPtr td = Filled(5, 3, 3, 0);
  ASSERT_EQ(DibReadBmp(Put("topdown.bmp", BuildBmp(topDown)).c_str(), td.get()), 0);
  EXPECT_EQ(PixelBytes(td.get(), 0, 0), Bgr(0, 0));
  EXPECT_EQ(PixelBytes(td.get(), 4, 2), Bgr(4, 2));
}

struct DepthCase {
  const char* name;
  uint16_t fileBits;
  int32_t imageBytes;
  std::vector<uint32_t> palette;
  Bytes row;       // the file's one row
  Bytes expected;  // the image row's first bytes afterwards (image filled with 0xAA)
};

TEST_F(PictureFiles, DepthConversions) {
  const std::vector<uint32_t> colours = {0x000080, 0xFFFF00, 0x102030, 0xFFFFFF};  // 0xRRGGBB
  const DepthCase cases[] = {
      {"24 into 8: weighted grey, truncated", 24, 1, {}, {10, 20, 30, 255, 255, 255}, {21, 255}},
      {"32 into 8", 32, 1, {}, {10, 20, 30, 99, 0, 0, 255, 7}, {21, 76}},
      {"8 into 8: indices are grey levels", 8, 1, colours, {0, 1, 2, 3}, {0, 1, 2, 3}},
      {"8 into 24", 8, 3, colours, {7, 200}, {7, 7, 7, 200, 200, 200}},
      {"8 into 32: fourth byte kept", 8, 4, colours, {7}, {7, 7, 7, 0xAA}},
      {"24 into 32: fourth byte kept", 24, 4, {}, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 0xAA, 4, 5, 6, 0xAA}},
      {"32 into 24: fourth byte dropped", 32, 3, {}, {1, 2, 3, 4, 5, 6, 7, 8}, {1, 2, 3, 5, 6, 7}},
      {"24 into 24", 24, 3, {}, {1, 2, 3}, {1, 2, 3}},
      {"16 into 16", 16, 2, {}, {0x34, 0x12, 0x78, 0x56}, {0x34, 0x12, 0x78, 0x56}},
      {"1 into 24 through the colours", 1, 3, colours, {0b10100000}, {0x00, 0xFF, 0xFF, 0x80, 0, 0, 0x00, 0xFF, 0xFF}},
      {"1 into 8 by the grey weights", 1, 1, {0x000000, 0xFFFFFF}, {0b01000000}, {0, 255, 0}},
      {"4 into 24", 4, 3, colours, {0x21, 0x30}, {0x30, 0x20, 0x10, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"4 into 8", 4, 1, colours, {0x20}, {29, 14}},
      {"4 with an index past the table: black", 4, 3, {0xFFFFFF}, {0x0F}, {0xFF, 0xFF, 0xFF, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BmpLayout s;
    s.bitCount = c.fileBits;
    s.width = static_cast<int32_t>(c.row.size() * 8 / c.fileBits);
    s.height = 1;
    s.palette = c.palette;
    s.clrUsed = static_cast<uint32_t>(c.palette.size());
    s.row = [&c](int32_t, size_t n) {
      Bytes b = c.row;
      b.resize(n, 0);
      return b;
    };
    DibPtr img = Filled(s.width, 1, c.imageBytes, 0xAA);
    ASSERT_EQ(DibReadBmp(Put("d.bmp", BuildBmp(s)).c_str(), img.get()), 0);
    const uint8_t* p = DibGetBits(img.get());
    EXPECT_EQ(Bytes(p, p + c.expected.size()), c.expected);
  }
}

TEST_F(PictureFiles, MonochromeRowsRoundUpToWholeWords) {
  // 33 pixels of 1 bit take 5 bytes, stored in 8: each row must start at its own word.
  BmpLayout s;
  s.bitCount = 1;
  s.width = 33;
  s.height = 3;
  s.palette = {0x000000, 0xFFFFFF};
  s.row = [](int32_t r, size_t n) {
    Bytes b(n, 0);
    b[0] = r == 0 ? 0x80 : 0x00;  // pixel 0 white in the bottom row only
    b[4] = r == 2 ? 0x80 : 0x00;  // pixel 32 white in the top row only
    return b;
  };
  DibPtr img = Filled(33, 3, 1, 0x11);
  ASSERT_EQ(DibReadBmp(Put("mono.bmp", BuildBmp(s)).c_str(), img.get()), 0);
  EXPECT_EQ(*Px(img.get(), 32, 0), 255);
  EXPECT_EQ(*Px(img.get(), 0, 0), 0);
  EXPECT_EQ(*Px(img.get(), 0, 2), 255);
  EXPECT_EQ(*Px(img.get(), 32, 2), 0);
  EXPECT_EQ(*Px(img.get(), 32, 1), 0);
}

TEST_F(PictureFiles, HeaderVariants) {
  auto grad = Gradient(3, 2);
  const struct {
    const char* name;
    std::function<void(BmpLayout&)> change;
  } cases[] = {
      {"no file header", [](BmpLayout& s) { s.fileHeader = false; }},
      {"no file header with a colour table", [](BmpLayout& s) {
         s.fileHeader = false;
         s.clrUsed = 2;
         s.palette = {0x123456, 0x654321};
       }},
      {"108-byte header, pixels at the offset", [](BmpLayout& s) {
         s.headerSize = 108;
         s.gap = 30;
       }},
      {"124-byte header", [](BmpLayout& s) { s.headerSize = 124; }},
      {"124-byte header without file header", [](BmpLayout& s) {
         s.headerSize = 124;
         s.fileHeader = false;
       }},
      {"zero offset: pixels after the table", [](BmpLayout& s) { s.offBits = 0; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BmpLayout s = grad;
    c.change(s);
    DibPtr img = Filled(3, 2, 3, 0);
    ASSERT_EQ(DibReadBmp(Put("h.bmp", BuildBmp(s)).c_str(), img.get()), 0);
    EXPECT_EQ(PixelBytes(img.get(), 2, 1), Bgr(2, 1));
    EXPECT_EQ(PixelBytes(img.get(), 0, 0), Bgr(0, 0));
  }

  // 32-bit files with the usual masks, as image editors write them.
  for (uint32_t headerSize : {40u, 124u}) {
    BmpLayout s;
    s.headerSize = headerSize;
    s.bitCount = 32;
    s.compression = 3;
    s.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    if (headerSize == 40) s.masks.resize(3);
    s.width = 2;
    s.height = 1;
    s.row = [](int32_t, size_t) { return Bytes{1, 2, 3, 255, 4, 5, 6, 255}; };
    DibPtr img = Filled(2, 1, 3, 0);
    ASSERT_EQ(DibReadBmp(Put("bf.bmp", BuildBmp(s)).c_str(), img.get()), 0) << headerSize;
    EXPECT_EQ(PixelBytes(img.get(), 1, 0), (Bytes{4, 5, 6}));
  }

  // A core header with its three-byte colour entries.
  BmpLayout core;
  core.headerSize = 12;
  core.bitCount = 1;
  core.width = 2;
  core.height = 1;
  core.palette = {0x0000FF, 0xFF0000};
  core.row = [](int32_t, size_t n) {
    Bytes b(n, 0);
    b[0] = 0x40;
    return b;
  };
  DibPtr img = Filled(2, 1, 3, 0);
  ASSERT_EQ(DibReadBmp(Put("core.bmp", BuildBmp(core)).c_str(), img.get()), 0);
  EXPECT_EQ(PixelBytes(img.get(), 0, 0), (Bytes{0xFF, 0, 0}));
  EXPECT_EQ(PixelBytes(img.get(), 1, 0), (Bytes{0, 0, 0xFF}));

  // The header block: 40 bytes and the colour table, sizes filled in.
  FILE* f = std::fopen(Put("core.bmp", BuildBmp(core)).c_str(), "rb");
  GmHandle block = DibReadBmpHeader(f);
  std::fclose(f);
  ASSERT_TRUE(block);
  EXPECT_EQ(GmSize(block), 40u + 2 * 4);
  auto* info = static_cast<const BitmapInfoHeader*>(GmLock(block));
  EXPECT_EQ(info->biSize, 40u);
  EXPECT_EQ(info->biClrUsed, 2u);
  EXPECT_EQ(info->biClrImportant, 2u);
  EXPECT_EQ(info->biSizeImage, 4u);
  const auto* table = reinterpret_cast<const RgbQuad*>(info + 1);
  EXPECT_EQ(table[1].rgbRed, 0xFF);
  EXPECT_EQ(table[1].rgbReserved, 0);
  GmFree(block);
  EXPECT_EQ(DibReadBmpHeader(nullptr), nullptr);
}

TEST_F(PictureFiles, RefusesWhatItCannotRead) {
  const BmpLayout plain = Gradient(4, 4);
  auto with = [&](std::function<void(BmpLayout&)> f) {
    BmpLayout s = plain;
    f(s);
    return BuildBmp(s);
  };
  const struct {
    const char* name;
    Bytes file;
    int32_t imageBytes;
  } cases[] = {
      {"run-length 8", with([](BmpLayout& s) { s.bitCount = 8; s.compression = 1; }), 3},
      {"run-length 4", with([](BmpLayout& s) { s.bitCount = 4; s.compression = 2; }), 3},
      {"embedded JPEG", with([](BmpLayout& s) { s.compression = 4; }), 3},
      {"embedded PNG", with([](BmpLayout& s) { s.compression = 5; }), 3},
      {"16-bit bit fields", with([](BmpLayout& s) { s.bitCount = 16; s.compression = 3; s.masks = {0xF800, 0x7E0, 0x1F}; }), 2},
      {"32-bit odd masks", with([](BmpLayout& s) { s.bitCount = 32; s.compression = 3; s.masks = {0xFF, 0xFF00, 0xFF0000}; }), 3},
      {"24-bit bit fields", with([](BmpLayout& s) { s.compression = 3; s.masks = {0xFF0000, 0xFF00, 0xFF}; }), 3},
      {"width 0", with([](BmpLayout& s) { s.width = 0; }), 3},
      {"negative width", with([](BmpLayout& s) { s.width = -4; }), 3},
      {"height 0", with([](BmpLayout& s) { s.height = 0; }), 3},
      {"height of -2^31", with([](BmpLayout& s) { s.height = INT32_MIN; s.row = nullptr; s.truncateTo = 54; }), 3},
      {"bit count 0", with([](BmpLayout& s) { s.bitCount = 0; }), 3},
      {"bit count 2", with([](BmpLayout& s) { s.bitCount = 2; }), 3},
      {"bit count 48", with([](BmpLayout& s) { s.bitCount = 48; }), 3},
      {"257 colours", with([](BmpLayout& s) { s.bitCount = 8; s.clrUsed = 257; }), 3},
      {"4 billion colours", with([](BmpLayout& s) { s.bitCount = 8; s.clrUsed = 0xFFFFFFFF; }), 3},
      {"rows overflowing 32 bits", with([](BmpLayout& s) { s.width = 1 << 30; s.height = 64; s.row = nullptr; s.truncateTo = 54; }), 3},
      {"more than 1 GiB of rows", with([](BmpLayout& s) { s.width = 20000; s.height = 20000; s.row = nullptr; s.truncateTo = 200; }), 3},
      {"header of 64 bytes", with([](BmpLayout& s) { s.headerSize = 64; }), 3},
      {"header of 0 bytes", with([](BmpLayout& s) { s.headerSize = 0; }), 3},
      {"16-bit file into a 24-bit picture", with([](BmpLayout& s) { s.bitCount = 16; }), 3},
      {"8-bit file into a 16-bit picture", with([](BmpLayout& s) { s.bitCount = 8; s.clrUsed = 1; s.palette = {0}; }), 2},
      {"1-bit file into a 16-bit picture", with([](BmpLayout& s) { s.bitCount = 1; s.palette = {0, 0xFFFFFF}; }), 2},
      {"cut inside the header", with([](BmpLayout& s) { s.truncateTo = 30; }), 3},
      {"cut inside the colour table", with([](BmpLayout& s) { s.bitCount = 8; s.truncateTo = 54 + 100; }), 3},
      {"empty", Bytes{}, 3},
      {"only BM", Bytes{'B', 'M'}, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DibPtr img = Filled(4, 4, c.imageBytes, 0x5A);
    EXPECT_EQ(DibLoadFile(Put("bad.bmp", c.file).c_str(), img.get()), 1);
    EXPECT_EQ(*Px(img.get(), 3, 3), 0x5A);
    EXPECT_EQ(*Px(img.get(), 0, 0), 0x5A);
  }
}

TEST_F(PictureFiles, ShortFileLeavesTheRowsItLacks) {
  // Bottom-up: the file holds the bottom rows; the picture's top rows stay.
  BmpLayout s = Gradient(4, 4);
  s.truncateTo = 54 + 2 * 12 + 5;
  DibPtr img = Filled(4, 4, 3, 0x5A);
  EXPECT_EQ(DibReadBmp(Put("short.bmp", BuildBmp(s)).c_str(), img.get()), 0);
  EXPECT_EQ(PixelBytes(img.get(), 3, 3), Bgr(3, 3));
  EXPECT_EQ(PixelBytes(img.get(), 3, 2), Bgr(3, 2));
  EXPECT_EQ(PixelBytes(img.get(), 0, 1), (Bytes{0x5A, 0x5A, 0x5A}));  // the partial row too
  EXPECT_EQ(PixelBytes(img.get(), 0, 0), (Bytes{0x5A, 0x5A, 0x5A}));
  // No pixels at all, or an offset past the end: nothing changes, still 0.
  s.truncateTo = 54;
  EXPECT_EQ(DibReadBmp(Put("short.bmp", BuildBmp(s)).c_str(), img.get()), 0);
  s.truncateTo = -1;
  s.offBits = 1 << 30;
  DibPtr untouched = Filled(4, 4, 3, 0x5A);
  EXPECT_EQ(DibReadBmp(Put("far.bmp", BuildBmp(s)).c_str(), untouched.get()), 0);
  EXPECT_EQ(PixelBytes(untouched.get(), 3, 3), (Bytes{0x5A, 0x5A, 0x5A}));
}

// ---- writing ----------------------------------------------------------------

uint32_t Le32At(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

TEST_F(PictureFiles, BmpWriterLayout) {
  DibPtr frame(DibCreate(640, 480, 3, 4));
  for (int32_t y = 0; y < 480; ++y)
    for (int32_t x = 0; x < 640; ++x) std::memcpy(Px(frame.get(), x, y), Bgr(x, y).data(), 3);
  const std::string path = dir_.File("frame.bmp");
  ASSERT_EQ(DibSaveFile(path.c_str(), frame.get()), 1);
  Bytes f = ReadBytes(path);
  ASSERT_EQ(f.size(), 54u + 480u * 1920u);
  EXPECT_EQ(f[0], 'B');
  EXPECT_EQ(Le32At(f, 2), f.size());  // bfSize
  EXPECT_EQ(Le32At(f, 10), 54u);      // bfOffBits
  EXPECT_EQ(Le32At(f, 14), 40u);
  EXPECT_EQ(static_cast<int32_t>(Le32At(f, 22)), 480);  // positive: bottom-up
  EXPECT_EQ(Bytes(f.begin() + 54, f.begin() + 57), Bgr(0, 479));  // the bottom row comes first
  EXPECT_EQ(DibGetInfo(frame.get())->biHeight, -480);  // the picture's header is as it was

  DibPtr back = Filled(640, 480, 3, 0);
  ASSERT_EQ(DibLoadFile(path.c_str(), back.get()), 0);
  EXPECT_EQ(std::memcmp(DibGetBits(back.get()), DibGetBits(frame.get()), 1920u * 480u), 0);

  DibPtr grey(DibCreate(640, 480, 1, 4));
  ASSERT_EQ(DibWriteBmp(dir_.File("grey.bmp").c_str(), grey.get()), 1);
  Bytes g = ReadBytes(dir_.File("grey.bmp"));
  EXPECT_EQ(Le32At(g, 10), 1078u);
  EXPECT_EQ(g.size(), 1078u + 640u * 480u);
  EXPECT_EQ(Le32At(g, 2), g.size());
  EXPECT_EQ(Bytes(g.begin() + 54 + 4 * 200, g.begin() + 54 + 4 * 201), (Bytes{200, 200, 200, 0}));

  // A wrapped frame writes its own memory.
  Bytes memory(8 * 2, 9);
  DibImage w = DibCreateOverBits(memory.data(), 2, 2, 4, 4);
  ASSERT_EQ(DibWriteBmp(dir_.File("wrapped.bmp").c_str(), w), 1);
  DibFree(w);
  Bytes wf = ReadBytes(dir_.File("wrapped.bmp"));
  ASSERT_EQ(wf.size(), 54u + 16u);
  EXPECT_EQ(wf.back(), 9);
}

TEST_F(PictureFiles, WriteFailuresAreReported) {
  DibPtr img(DibCreate(64, 64, 3, 4));
  EXPECT_EQ(DibWriteBmp(dir_.File("no/folder/x.bmp").c_str(), img.get()), 0);
  EXPECT_EQ(DibSaveFile(dir_.File("no/folder/x.png").c_str(), img.get()), 0);
  EXPECT_EQ(DibSaveFile(nullptr, img.get()), 0);
  EXPECT_EQ(DibSaveFile("", img.get()), 0);
  EXPECT_EQ(DibSaveFile(dir_.File("x.bmp").c_str(), nullptr), 0);
  if (std::filesystem::exists("/dev/full")) {
    // A full disk: the writes fail, and the failure is not reported as a save.
    EXPECT_EQ(DibWriteBmp("/dev/full", img.get()), 0);
    for (const char* name : {"full.png", "full.jpg", "full.gif", "full.tiff"}) {
      std::filesystem::create_symlink("/dev/full", dir_.File(name));
      EXPECT_EQ(DibSaveFile(dir_.File(name).c_str(), img.get()), 0) << name;
    }
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
  }
}

TEST_F(PictureFiles, SavedFilesGetTheUsualPermissions) {
  // Every format alike: readable by others as the umask allows, not just by the owner.
  DibPtr img(DibCreate(8, 8, 3, 4));
  const mode_t old = umask(022);
  for (const char* name : {"p.bmp", "p.png", "p.jpg", "p.gif", "p.tiff"}) {
    ASSERT_EQ(DibSaveFile(dir_.File(name).c_str(), img.get()), 1) << name;
    const auto perms = std::filesystem::status(dir_.File(name)).permissions();
    EXPECT_EQ(perms & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read | std::filesystem::perms::others_read)
        << name;
  }
  umask(old);
}

TEST(DibFindEncoder, ExtensionTable) {
  const struct {
    const char* path;
    int32_t index;
    const char* mime;
  } cases[] = {
      {"a.bmp", 0, "image/bmp"},   {"a.JPG", 1, "image/jpeg"},    {"x/y.Jpeg", 1, "image/jpeg"},
      {"a.gif", 2, "image/gif"},   {"a.tiff", 3, "image/tiff"},   {"a.PNG", 4, "image/png"},
      {"a.tif", -1, nullptr},      {"a.webp", -1, nullptr},       {"png", -1, nullptr},
      {"dir.png/file", -1, nullptr}, {"a.png.txt", -1, nullptr}, {".png", 4, "image/png"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    DibEncoderId id{-1, nullptr};
    EXPECT_EQ(DibFindEncoder(c.path, &id), c.index);
    if (c.mime) {
      EXPECT_STREQ(id.mimeType, c.mime);
      EXPECT_EQ(id.format, c.index);
    }
  }
  EXPECT_EQ(DibFindEncoder(nullptr, nullptr), -1);
  EXPECT_EQ(DibFindEncoder("a.png", nullptr), 4);
  ASSERT_EQ(kCodecExtensionCount, 6);
  EXPECT_STREQ(CodecExtensionTable[2].extension, ".jpeg");
  EXPECT_STREQ(CodecExtensionTable[2].mimeType, "image/jpeg");
}

// A picture with soft gradients (so that JPEG keeps it well) and a fourth byte of 255.
DibPtr Sample(int32_t bytes, int32_t w = 48, int32_t h = 32) {
  DibPtr img(DibCreate(w, h, bytes, 4));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* p = Px(img.get(), x, y);
      if (bytes == 1) {
        p[0] = uint8_t(x * 4 + y);
      } else {
        p[0] = uint8_t(x * 5);
        p[1] = uint8_t(y * 7);
        p[2] = uint8_t(200 - x * 2);
        if (bytes == 4) p[3] = 255;
      }
    }
  return img;
}

double MeanDifference(DibImage a, DibImage b) {
  double sum = 0;
  const int32_t n = DibGetBitCount(b) / 8;
  for (int32_t y = 0; y < DibGetHeight(a); ++y)
    for (int32_t x = 0; x < DibGetWidth(a); ++x)
      for (int32_t c = 0; c < n; ++c) sum += std::abs(Px(a, x, y)[c] - Px(b, x, y)[c]);
  return sum / (double(DibGetWidth(a)) * DibGetHeight(a) * n);
}

int MaxDifference(DibImage a, DibImage b) {
  int worst = 0;
  const int32_t n = DibGetBitCount(b) / 8;
  for (int32_t y = 0; y < DibGetHeight(a); ++y)
    for (int32_t x = 0; x < DibGetWidth(a); ++x)
      for (int32_t c = 0; c < n; ++c) worst = std::max(worst, std::abs(Px(a, x, y)[c] - Px(b, x, y)[c]));
  return worst;
}

TEST_F(PictureFiles, CodecRoundTrips) {
  const struct {
    const char* ext;
    int tolerance;  // per channel, for colour pictures
    int greyTolerance;
    double meanTolerance;
  } formats[] = {{".png", 0, 0, 0}, {".tiff", 0, 0, 0}, {".gif", 64, 0, 8}, {".jpg", 12, 6, 3},
                 {".jpeg", 12, 6, 3}};
  for (const auto& f : formats) {
    for (int32_t bytes : {1, 3, 4}) {
      SCOPED_TRACE(std::string(f.ext) + " " + std::to_string(bytes * 8) + " bits");
      DibPtr img = Sample(bytes);
      const std::string path = dir_.File(std::string("rt") + std::to_string(bytes) + f.ext);
      ASSERT_EQ(DibSaveFile(path.c_str(), img.get()), 1);
      int32_t status = -1;
      DibPtr back(DibReadPictureFile(path.c_str(), &status));
      ASSERT_TRUE(back) << DibReadStatusText(status);
      EXPECT_EQ(status, kDibReadOk);
      EXPECT_EQ(DibGetWidth(back.get()), 48);
      EXPECT_EQ(DibGetHeight(back.get()), 32);
      EXPECT_EQ(DibGetBitCount(back.get()), bytes == 1 ? 8 : 24);
      EXPECT_LE(MaxDifference(img.get(), back.get()), bytes == 1 ? f.greyTolerance : f.tolerance);
      EXPECT_LE(MeanDifference(img.get(), back.get()), f.meanTolerance);
    }
  }
}

TEST_F(PictureFiles, FewColoursSurviveGifExactly) {
  DibPtr img(DibCreate(40, 20, 3, 4));
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 40; ++x) {
      uint8_t* p = Px(img.get(), x, y);
      const int k = (x / 3 + y) % 200;  // 200 colours, none of them grey
      p[0] = uint8_t(k);
      p[1] = uint8_t(255 - k);
      p[2] = uint8_t(k * 7);
    }
  ASSERT_EQ(DibSaveFile(dir_.File("few.gif").c_str(), img.get()), 1);
  int32_t status = -1;
  DibPtr back(DibReadPictureFile(dir_.File("few.gif").c_str(), &status));
  ASSERT_TRUE(back);
  EXPECT_EQ(MaxDifference(img.get(), back.get()), 0);
}

// Reads a PNG as 8-bit RGBA with libpng itself, to see the alpha as stored.
std::vector<uint8_t> PngRgba(const std::string& path, png_uint_32* w, png_uint_32* h) {
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  std::vector<uint8_t> out;
  if (!png_image_begin_read_from_file(&img, path.c_str())) return out;
  img.format = PNG_FORMAT_RGBA;
  out.resize(PNG_IMAGE_SIZE(img));
  *w = img.width;
  *h = img.height;
  if (!png_image_finish_read(&img, nullptr, out.data(), 0, nullptr)) out.clear();
  return out;
}

TEST_F(PictureFiles, AlphaAndWideSamples) {
  // The fourth byte of a 32-bit picture is the PNG's alpha.
  DibPtr bgra(DibCreate(3, 1, 4, 4));
  const uint8_t pixels[12] = {10, 20, 30, 0, 40, 50, 60, 128, 70, 80, 90, 255};
  std::memcpy(DibGetBits(bgra.get()), pixels, sizeof pixels);
  ASSERT_EQ(DibSaveFile(dir_.File("alpha.png").c_str(), bgra.get()), 1);
  png_uint_32 w = 0, h = 0;
  auto rgba = PngRgba(dir_.File("alpha.png"), &w, &h);
  ASSERT_EQ(rgba.size(), 12u);
  EXPECT_EQ(rgba[3], 0);
  EXPECT_EQ(rgba[7], 128);
  EXPECT_EQ(rgba[11], 255);
  EXPECT_EQ(rgba[8], 90);   // red
  EXPECT_EQ(rgba[10], 70);  // blue

  // 16-bit samples are little-endian in the picture: the high byte is what counts.
  const struct {
    int32_t bytes;
    Bytes pixel;     // one pixel as the picture holds it
    Bytes expected;  // the 8-bit reading of it (grey, or blue, green, red)
  } wide[] = {
      {2, {0x0F, 0xF0}, {0xF0}},
      {6, {0x08, 0x80, 0xF0, 0x0F, 0x0F, 0xF0}, {0x80, 0x0F, 0xF0}},
      {8, {0x08, 0x80, 0xF0, 0x0F, 0x0F, 0xF0, 0xFF, 0xFF}, {0x80, 0x0F, 0xF0}},
  };
  for (const auto& c : wide) {
    DibPtr img(DibCreate(2, 2, c.bytes, 4));
    for (int32_t y = 0; y < 2; ++y)
      for (int32_t x = 0; x < 2; ++x) std::memcpy(Px(img.get(), x, y), c.pixel.data(), c.pixel.size());
    for (const char* ext : {".png", ".tiff", ".jpg", ".gif"}) {
      SCOPED_TRACE(std::to_string(c.bytes * 8) + " bits " + ext);
      const std::string path = dir_.File("wide" + std::to_string(c.bytes) + ext);
      ASSERT_EQ(DibSaveFile(path.c_str(), img.get()), 1);
      int32_t status = -1;
      DibPtr back(DibReadPictureFile(path.c_str(), &status));
      ASSERT_TRUE(back) << DibReadStatusText(status);
      ASSERT_EQ(DibGetBitCount(back.get()), c.expected.size() == 1 ? 8 : 24);
      for (size_t i = 0; i < c.expected.size(); ++i)
        EXPECT_NEAR(Px(back.get(), 1, 1)[i], c.expected[i], 8) << i;
      if (std::string(ext) == ".png") {
        Bytes file = ReadBytes(path);
        EXPECT_EQ(file[24], 16);  // IHDR bit depth
      }
    }
  }
}

TEST_F(PictureFiles, CodecRefusals) {
  DibPtr img = Sample(3);
  EXPECT_EQ(DibSaveFile(dir_.File("x.tif").c_str(), img.get()), 0);
  EXPECT_EQ(DibSaveFile(dir_.File("x.webp").c_str(), img.get()), 0);
  EXPECT_EQ(DibSaveWithCodec(dir_.File("x").c_str(), img.get()), 0);
  DibPtr odd(DibCreate(4, 4, 5, 4));  // 40 bits: no format takes it
  EXPECT_EQ(DibSaveFile(dir_.File("odd.png").c_str(), odd.get()), 0);
  EXPECT_EQ(DibSaveFile(dir_.File("odd.jpg").c_str(), odd.get()), 0);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.Path()));
  // The codec path also writes BMP when asked directly.
  EXPECT_EQ(DibSaveWithCodec(dir_.File("direct.bmp").c_str(), img.get()), 1);
  EXPECT_EQ(ReadBytes(dir_.File("direct.bmp")).size(), 54u + 48u * 3 * 32);
}

// ---- reading any picture into a new one ----------------------------------------

TEST_F(PictureFiles, ReaderDepthsForBmp) {
  const struct {
    const char* name;
    BmpLayout layout;
    int32_t bits;
    Bytes pixel10;  // pixel (1, 0)
  } cases[] = {
      {"monochrome scan: grey", [] {
         BmpLayout s;
         s.bitCount = 1; s.width = 9; s.height = 1; s.palette = {0, 0xFFFFFF};
         s.row = [](int32_t, size_t n) { Bytes b(n, 0); b[0] = 0x40; return b; };
         return s;
       }(), 8, {255}},
      {"8-bit with a colour table: its colours", [] {
         BmpLayout s;
         s.bitCount = 8; s.width = 2; s.height = 1; s.palette = {0x112233, 0xFF8000}; s.clrUsed = 2;
         s.row = [](int32_t, size_t n) { Bytes b(n, 0); b[1] = 1; return b; };
         return s;
       }(), 24, {0x00, 0x80, 0xFF}},
      {"8-bit with an inverted grey table", [] {
         BmpLayout s;
         s.bitCount = 8; s.width = 2; s.height = 1;
         for (int i = 0; i < 256; ++i) s.palette.push_back(uint32_t(255 - i) * 0x010101);
         s.row = [](int32_t, size_t n) { Bytes b(n, 0); b[1] = 10; return b; };
         return s;
       }(), 8, {245}},
      {"32-bit: colour", [] {
         BmpLayout s;
         s.bitCount = 32; s.width = 2; s.height = 1;
         s.row = [](int32_t, size_t) { return Bytes{0, 0, 0, 0, 7, 8, 9, 0}; };
         return s;
       }(), 24, {7, 8, 9}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int32_t status = -1;
    DibPtr img(DibReadPictureFile(Put("r.bmp", BuildBmp(c.layout)).c_str(), &status));
    ASSERT_TRUE(img) << DibReadStatusText(status);
    EXPECT_EQ(DibGetBitCount(img.get()), c.bits);
    EXPECT_EQ(PixelBytes(img.get(), 1, 0), c.pixel10);
  }
}

uint32_t Crc32(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return ~c;
}

void PutBe32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (24 - 8 * i));
}

TEST_F(PictureFiles, ReaderRefusesHostileFiles) {
  DibPtr sample = Sample(3, 16, 16);
  auto saved = [&](const char* ext) {
    std::string p = dir_.File(std::string("s") + ext);
    EXPECT_EQ(DibSaveFile(p.c_str(), sample.get()), 1);
    return ReadBytes(p);
  };
  Bytes png = saved(".png"), jpg = saved(".jpg"), gif = saved(".gif"), tiff = saved(".tiff");

  Bytes hugePng = png;  // IHDR claims 100000 x 100000, with a correct checksum
  PutBe32(hugePng, 16, 100000);
  PutBe32(hugePng, 20, 100000);
  PutBe32(hugePng, 29, Crc32(hugePng.data() + 12, 17));
  Bytes hugeJpg = jpg;  // the frame header claims 65000 x 65000
  for (size_t i = 2; i + 8 < hugeJpg.size(); ++i)
    if (hugeJpg[i] == 0xFF && hugeJpg[i + 1] == 0xC0) {
      hugeJpg[i + 5] = 0xFD; hugeJpg[i + 6] = 0xE8; hugeJpg[i + 7] = 0xFD; hugeJpg[i + 8] = 0xE8;
      break;
    }
  Bytes hugeGif = gif;  // logical screen of 65535 x 65535
  hugeGif[6] = hugeGif[7] = hugeGif[8] = hugeGif[9] = 0xFF;
  BmpLayout claims = Gradient(10000, 10000);
  claims.row = nullptr;
  claims.truncateTo = 300;
  BmpLayout rle = Gradient(4, 4);
  rle.bitCount = 8;
  rle.compression = 1;
  BmpLayout sixteen = Gradient(4, 4);
  sixteen.bitCount = 16;
  Bytes halfBmp = BuildBmp(Gradient(64, 64));
  halfBmp.resize(halfBmp.size() / 2);

  std::filesystem::create_directories(dir_.File("folder.png"));
  const struct {
    const char* name;
    std::string path;
    int32_t status;
  } cases[] = {
      {"missing", dir_.File("missing.png"), kDibReadCannotOpen},
      {"a folder", dir_.File("folder.png"), kDibReadCannotOpen},
      {"empty", Put("empty.png", {}), kDibReadUnknownFormat},
      {"text", Put("text.png", {'h', 'e', 'l', 'l', 'o'}), kDibReadUnknownFormat},
      {"cut PNG", Put("cut.png", Bytes(png.begin(), png.begin() + png.size() / 2)), kDibReadBroken},
      {"PNG signature only", Put("sig.png", Bytes(png.begin(), png.begin() + 8)), kDibReadBroken},
      {"huge PNG", Put("huge.png", hugePng), kDibReadTooLarge},
      {"huge JPEG", Put("huge.jpg", hugeJpg), kDibReadTooLarge},
      {"JPEG start only", Put("start.jpg", Bytes(jpg.begin(), jpg.begin() + 3)), kDibReadBroken},
      {"huge GIF", Put("huge.gif", hugeGif), kDibReadTooLarge},
      {"cut GIF", Put("cut.gif", Bytes(gif.begin(), gif.begin() + 20)), kDibReadBroken},
      {"cut TIFF", Put("cut.tiff", Bytes(tiff.begin(), tiff.begin() + 8)), kDibReadBroken},
      {"BMP claiming 10000 x 10000 in 300 bytes", Put("claims.bmp", BuildBmp(claims)), kDibReadBroken},
      {"half a BMP", Put("half.bmp", halfBmp), kDibReadBroken},
      {"run-length BMP", Put("rle.bmp", BuildBmp(rle)), kDibReadUnsupported},
      {"16-bit BMP", Put("sixteen.bmp", BuildBmp(sixteen)), kDibReadUnsupported},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int32_t status = -1;
    DibImage img = DibReadPictureFile(c.path.c_str(), &status);
    EXPECT_EQ(img, nullptr);
    DibFree(img);
    EXPECT_EQ(status, c.status) << DibReadStatusText(status);
    EXPECT_STRNE(DibReadStatusText(status), "unknown failure");
  }
  // The format is told by content, whatever the name says.
  int32_t status = -1;
  DibPtr named(DibReadPictureFile(Put("actually-a-png.bmp", png).c_str(), &status));
  EXPECT_TRUE(named);
  DibPtr tif(DibReadPictureFile(Put("scan.tif", tiff).c_str(), &status));
  EXPECT_TRUE(tif);
  EXPECT_EQ(DibReadPictureFile(nullptr, &status), nullptr);
  EXPECT_EQ(status, kDibReadCannotOpen);
}

}  // namespace

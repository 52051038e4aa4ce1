// The library's interface: the single instance, its parameter file, the
// decode entry's checks and the result getters.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "qr_test_support.h"
#include "vantrel/OvoQrc.h"
#include "vantrel/ovoutil.h"

namespace vantrel::qrtest {
namespace {

// Every test starts and ends without an instance and without a parameter
// file in the (temporary) current directory.
class QrInterface : public ::testing::Test {
 protected:
  void SetUp() override {
    OvoQrcTerminate();
    std::filesystem::remove("OvoQrc.ini");
  }
  void TearDown() override {
    OvoQrcTerminate();
    std::filesystem::remove("OvoQrc.ini");
  }

  struct Parameters {
    int32_t area[4] = {-1, -1, -1, -1};
    int32_t threshold = -1, reverse = -1, channel = -1;
  };
  // What the last termination wrote.
  static Parameters Written() {
    OvoUtilIni ini;
    ini.SetFile((std::filesystem::current_path() / "OvoQrc.ini").string());
    ini.SetSection("QR_CODE_PARAMETER");
    Parameters p;
    const int32_t none[4] = {-1, -1, -1, -1};
    ini.ReadRect("Area", p.area, none);
    ini.ReadInt("ThreshLevel", &p.threshold, -1);
    ini.ReadInt("Reverse", &p.reverse, -1);
    ini.ReadInt("RGBSelect", &p.channel, -1);
    return p;
  }
  static void WriteFile(const std::string& text) { std::ofstream("OvoQrc.ini") << text; }

  // A 25-byte symbol in an 8-bit picture.
  static test::DibPtr Symbol25(int32_t bytesPerPixel = 1) {
    const test::ModuleMatrix m = ZintQr({"--vers=2", "--secure=2"}, "ABCDEFGHIJKLMNOPQRSTUVWXY");
    test::RenderOptions o;
    o.moduleSize = 4;
    o.centreX = 320.3;
    o.centreY = 240.2;
    return test::RenderSymbol(m, o, 640, 480, bytesPerPixel);
  }
};

TEST_F(QrInterface, EverythingWaitsForInitialization) {
  test::DibPtr pic = Symbol25();
  int32_t count = 5, v = 0;
  int32_t len = 10;
  uint8_t buf[10];
  EXPECT_EQ(OvoQrcSetImage(pic.get()), -8);
  EXPECT_EQ(OvoQrcDecode(&count), -8);
  EXPECT_EQ(count, 5);
  EXPECT_EQ(OvoQrcGetData(0, &len, buf), -8);
  EXPECT_EQ(OvoQrcGetVersion(0, &v), -8);
  EXPECT_EQ(OvoQrcGetLevel(0, &v), -8);
  EXPECT_EQ(OvoQrcGetPosition(0, &v, &v, &v, &v, &v, &v, &v, &v), -8);
  const int32_t area[4] = {1, 2, 3, 4};
  OvoQrcSetArea(area);
  OvoQrcSetThreshold(5, 0);
  OvoQrcSetColor(1);
  OvoQrcSetRobust(0);
  OvoQrcSetParameterFile("elsewhere.ini");
  EXPECT_EQ(OvoQrcGetSymbolInfo(0, &v, &v, &v), -8);
  OvoQrcTerminate();
  EXPECT_FALSE(std::filesystem::exists("OvoQrc.ini"));
  EXPECT_FALSE(std::filesystem::exists("elsewhere.ini"));
}

TEST_F(QrInterface, TheParameterFileCanBeNamedOrNone) {
  // None: the station's command-line tools, tests and benchmarks leave nothing behind.
  ASSERT_EQ(OvoQrcInitialize(), 0);
  OvoQrcSetParameterFile(nullptr);
  OvoQrcTerminate();
  EXPECT_FALSE(std::filesystem::exists("OvoQrc.ini"));
  ASSERT_EQ(OvoQrcInitialize(), 0);
  OvoQrcSetParameterFile("");
  OvoQrcTerminate();
  EXPECT_FALSE(std::filesystem::exists("OvoQrc.ini"));

  // Named: written there instead, with the same keys.
  const std::string named = (std::filesystem::current_path() / "named.ini").string();
  ASSERT_EQ(OvoQrcInitialize(), 0);
  OvoQrcSetThreshold(77, 1);
  OvoQrcSetParameterFile(named.c_str());
  OvoQrcTerminate();
  EXPECT_FALSE(std::filesystem::exists("OvoQrc.ini"));
  ASSERT_TRUE(std::filesystem::exists(named));
  OvoUtilIni ini;
  ini.SetFile(named);
  ini.SetSection("QR_CODE_PARAMETER");
  int32_t threshold = -1;
  ini.ReadInt("ThreshLevel", &threshold, -1);
  EXPECT_EQ(threshold, 77);
  std::filesystem::remove(named);
}

TEST_F(QrInterface, DefaultsWhenThereIsNoParameterFile) {
  ASSERT_EQ(OvoQrcInitialize(), 0);
  OvoQrcTerminate();
  ASSERT_TRUE(std::filesystem::exists("OvoQrc.ini"));  // written at every termination
  const Parameters p = Written();
  EXPECT_EQ(std::vector<int32_t>(p.area, p.area + 4), (std::vector<int32_t>{0, 0, 100, 100}));
  EXPECT_EQ(p.threshold, 128);
  EXPECT_EQ(p.reverse, 1);
  EXPECT_EQ(p.channel, 0);
}

TEST_F(QrInterface, ValuesOfTheParameterFileAreTakenAsTheyStand) {
  struct Case {
    std::string file;
    Parameters want;
  };
  const Case cases[] = {
      {"[QR_CODE_PARAMETER]\nArea=5 6 300 200\nThreshLevel=90\nReverse=0\nRGBSelect=2\n", {{5, 6, 300, 200}, 90, 0, 2}},
      {"[QR_CODE_PARAMETER]\nArea=1 2 3\nThreshLevel=300\nReverse=7\nRGBSelect=9\n", {{0, 0, 100, 100}, 300, 7, 9}},
      {"[QR_CODE_PARAMETER]\nArea=a b c d\nThreshLevel=x\n", {{0, 0, 100, 100}, 128, 1, 0}},
      {"[OTHER]\nThreshLevel=3\n", {{0, 0, 100, 100}, 128, 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    WriteFile(c.file);
    ASSERT_EQ(OvoQrcInitialize(), 0);
    OvoQrcTerminate();
    const Parameters p = Written();
    EXPECT_EQ(std::vector<int32_t>(p.area, p.area + 4), std::vector<int32_t>(c.want.area, c.want.area + 4));
    EXPECT_EQ(p.threshold, c.want.threshold);
    EXPECT_EQ(p.reverse, c.want.reverse);
    EXPECT_EQ(p.channel, c.want.channel);
    std::filesystem::remove("OvoQrc.ini");
  }
}

TEST_F(QrInterface, FileValuesServeUntilTheSettersAreCalled) {
  // The file's polarity and channel read a light-on-dark symbol in the green channel.
  WriteFile("[QR_CODE_PARAMETER]\nArea=0 0 639 479\nThreshLevel=128\nReverse=0\nRGBSelect=1\n");
  ASSERT_EQ(OvoQrcInitialize(), 0);
  OvoQrcSetRobust(0);
  const test::ModuleMatrix m = ZintQr({"--vers=3"}, "FROM THE FILE");
  test::RenderOptions o;
  o.moduleSize = 4;
  o.invert = true;
  o.centreX = 320.2;
  o.centreY = 240.3;
  test::DibPtr pic = test::RenderSymbol(m, o, 640, 480, 3);
  uint8_t* bits = DibGetBits(pic.get());
  for (int32_t y = 0; y < 480; ++y)
    for (int32_t x = 0; x < 640; ++x) {
      bits[y * DibGetStride(pic.get()) + 3 * x] = 128;      // blue
      bits[y * DibGetStride(pic.get()) + 3 * x + 2] = 128;  // red
    }
  ASSERT_EQ(OvoQrcSetImage(pic.get()), 0);
  int32_t count = 0;
  EXPECT_EQ(OvoQrcDecode(&count), 0);
  EXPECT_EQ(count, 1);
  OvoQrcSetColor(0);
  EXPECT_EQ(OvoQrcDecode(&count), -4);
  EXPECT_EQ(count, 0);
  // The robust reading looks at the darkest channel too, and the other polarity.
  OvoQrcSetRobust(1);
  EXPECT_EQ(OvoQrcDecode(&count), 0);
  EXPECT_EQ(count, 1);
}

TEST_F(QrInterface, SettersClampAndTheAreaIsClampedAtTheDecode) {
  ASSERT_EQ(OvoQrcInitialize(), 0);
  test::DibPtr pic = Symbol25();
  const struct {
    int32_t threshold, channel, wantThreshold, wantChannel;
  } cases[] = {{-5, 7, 0, 2}, {300, -1, 255, 0}, {77, 1, 77, 1}};
  for (const auto& c : cases) {
    OvoQrcSetThreshold(c.threshold, 5);
    OvoQrcSetColor(c.channel);
    const int32_t area[4] = {-10, -20, 5000, 6000};
    OvoQrcSetArea(area);
    OvoQrcSetArea(nullptr);  // changes nothing
    ASSERT_EQ(OvoQrcSetImage(pic.get()), 0);
    int32_t count = 0;
    OvoQrcDecode(&count);
    OvoQrcTerminate();
    const Parameters p = Written();
    EXPECT_EQ(std::vector<int32_t>(p.area, p.area + 4), (std::vector<int32_t>{0, 0, 639, 479}));
    EXPECT_EQ(p.threshold, c.wantThreshold);
    EXPECT_EQ(p.reverse, 5);  // the flag is stored as given
    EXPECT_EQ(p.channel, c.wantChannel);
    ASSERT_EQ(OvoQrcInitialize(), 0);
  }
}

TEST_F(QrInterface, DecodeChecksInTheirOrder) {
  ASSERT_EQ(OvoQrcInitialize(), 0);
  int32_t count = 9;
  EXPECT_EQ(OvoQrcSetImage(nullptr), -1);
  EXPECT_EQ(OvoQrcDecode(&count), -1);  // no image set yet
  EXPECT_EQ(count, 0);

  struct Case {
    int32_t bytesPerPixel;
    int32_t area[4];
    int32_t status;
    const char* why;
  };
  const Case cases[] = {
      {4, {0, 0, 639, 479}, -2, "32-bit pixels"},
      {2, {0, 0, 639, 479}, -2, "16-bit pixels"},
      {4, {0, 0, 5, 5}, -2, "the depth is checked before the area"},
      {1, {0, 0, 29, 199}, -3, "30 x 200"},
      {1, {10, 10, 40, 40}, -4, "31 x 31 is accepted"},
      {1, {620, 0, 700, 479}, -3, "clamped to 20 x 480"},
      {1, {300, 0, 100, 479}, -3, "start after end"},
      {3, {0, 0, 639, 479}, -4, "nothing in the picture"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    test::DibPtr pic(DibCreate(640, 480, c.bytesPerPixel, 4));
    test::FillGrey(pic.get(), 255);
    ASSERT_EQ(OvoQrcSetImage(pic.get()), 0);
    OvoQrcSetArea(c.area);
    count = 9;
    EXPECT_EQ(OvoQrcDecode(&count), c.status);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(OvoQrcDecode(nullptr), c.status);
  }
}

TEST_F(QrInterface, GettersAndTheDataCopy) {
  ASSERT_EQ(OvoQrcInitialize(), 0);
  test::DibPtr pic = Symbol25();
  const DecodeOutcome out = DecodeWithLibrary(pic.get());
  ASSERT_EQ(out.count, 1);
  EXPECT_EQ(out.symbols[0].data, "ABCDEFGHIJKLMNOPQRSTUVWXY");
  EXPECT_EQ(out.symbols[0].version, 2);
  EXPECT_EQ(out.symbols[0].level, 1);
  EXPECT_EQ(out.symbols[0].modifier, 1);  // ]Q1
  EXPECT_EQ(out.symbols[0].encoding, 0);  // the symbol's own bytes
  EXPECT_EQ(out.symbols[0].mirrored, 0);

  struct Case {
    int32_t capacity;
    int32_t status, copied;
  };
  const Case cases[] = {{10, 0, 9}, {25, 0, 24}, {26, 0, 25}, {100, 0, 25}, {1, 0, 0}, {0, -1, 0}, {-3, -1, -3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.capacity);
    std::vector<uint8_t> buf(120, 0xEE);
    int32_t len = c.capacity;
    ASSERT_EQ(OvoQrcGetData(0, &len, buf.data()), c.status);
    if (c.status != 0) {
      EXPECT_EQ(len, c.capacity);
      EXPECT_EQ(buf[0], 0xEE);
      continue;
    }
    EXPECT_EQ(len, c.copied);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf.data()), static_cast<size_t>(len)),
              std::string("ABCDEFGHIJKLMNOPQRSTUVWXY").substr(0, static_cast<size_t>(len)));
    EXPECT_EQ(buf[static_cast<size_t>(len)], 0);
    EXPECT_EQ(buf[static_cast<size_t>(len) + 1], 0xEE);
  }
  int32_t len = 10, v = -1;
  EXPECT_EQ(OvoQrcGetData(0, nullptr, nullptr), -1);
  EXPECT_EQ(OvoQrcGetData(0, &len, nullptr), 0);  // a null buffer is skipped
  EXPECT_EQ(OvoQrcGetVersion(0, nullptr), 0);
  EXPECT_EQ(OvoQrcGetLevel(0, nullptr), 0);
  EXPECT_EQ(OvoQrcGetPosition(0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(OvoQrcGetSymbolInfo(0, nullptr, nullptr, nullptr), 0);
  for (int32_t index : {1, -1, 1 << 30}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(OvoQrcGetData(index, &len, nullptr), -1);
    EXPECT_EQ(OvoQrcGetVersion(index, &v), -1);
    EXPECT_EQ(OvoQrcGetLevel(index, &v), -1);
    EXPECT_EQ(OvoQrcGetPosition(index, &v, &v, &v, &v, &v, &v, &v, &v), -1);
    EXPECT_EQ(OvoQrcGetSymbolInfo(index, &v, &v, &v), -1);
  }
  EXPECT_EQ(v, -1);
}

TEST_F(QrInterface, AFailedDecodeLeavesNoResults) {
  ASSERT_EQ(OvoQrcInitialize(), 0);
  test::DibPtr pic = Symbol25();
  ASSERT_EQ(DecodeWithLibrary(pic.get()).count, 1);
  const int32_t narrow[4] = {0, 0, 20, 479};
  OvoQrcSetArea(narrow);
  int32_t count = 7, v = -1;
  EXPECT_EQ(OvoQrcDecode(&count), -3);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(OvoQrcGetVersion(0, &v), -1);
  EXPECT_EQ(v, -1);
}

TEST_F(QrInterface, CornersArePixelsOfTheArea) {
  ASSERT_EQ(OvoQrcInitialize(), 0);
  test::DibPtr pic = Symbol25(3);
  const DecodeOutcome whole = DecodeWithLibrary(pic.get());
  const int32_t area[4] = {100, 50, 639, 479};
  const DecodeOutcome part = DecodeWithLibrary(pic.get(), area);
  ASSERT_EQ(whole.count, 1);
  ASSERT_EQ(part.count, 1);
  for (int32_t i = 0; i < 8; i += 2) {
    EXPECT_EQ(part.symbols[0].corners[i] + 100, whole.symbols[0].corners[i]);
    EXPECT_EQ(part.symbols[0].corners[i + 1] + 50, whole.symbols[0].corners[i + 1]);
  }
}

TEST_F(QrInterface, ASecondInitializationReplacesTheInstance) {
  ASSERT_EQ(OvoQrcInitialize(), 0);
  OvoQrcSetThreshold(10, 0);
  ASSERT_EQ(OvoQrcInitialize(), 0);  // the first instance goes without writing
  EXPECT_FALSE(std::filesystem::exists("OvoQrc.ini"));
  OvoQrcTerminate();
  EXPECT_EQ(Written().threshold, 128);
}

}  // namespace
}  // namespace vantrel::qrtest

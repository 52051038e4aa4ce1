// The station's QR decode call: settings to the library, texts and outline back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "qr_test_support.h"
#include "vantrel/OvoQrc.h"
#include "vantrel/decode_calls.h"
#include "vantrel/draw_context.h"
#include "overlay_lines.h"
#include "vantrel/overlay.h"
#include "vantrel/ovoutil.h"

namespace vantrel {
namespace {

using vantrel::test::OverlayLines;

class DecodeQrCodeCall : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(OvoUtilInitialize(), 0);
    OverlaySetScale(1, 1, nullptr, nullptr);
    ASSERT_EQ(StartQrLibrary(), 0);
    OvoQrcSetParameterFile(nullptr);
  }
  void TearDown() override {
    StopQrLibrary();
    OvoUtilTerminate();
  }

  // A version-7, level-M symbol whose centre lies at (x, y).
  static test::DibPtr Picture(double x, double y, bool invert = false) {
    const test::ModuleMatrix m = qrtest::ZintQr({"--vers=7", "--secure=2"}, "STATION 0123456789 READING");
    test::RenderOptions o;
    o.moduleSize = 3;
    o.centreX = x;
    o.centreY = y;
    o.invert = invert;
    return test::RenderSymbol(m, o, 640, 480, 3);
  }

  struct Out {
    char version[50];
    char level[50];
    int32_t position[8];
    char data[kDecodeDataBytes];
    int32_t length;
  };
  static void Fill(Out* o) {
    std::memset(o, 0x5A, sizeof *o);
    o->length = -7;
  }
  static int32_t Decode(DibImage pic, const SettingsRecord& s, OverlayOrigin origin, int32_t capacity, Out* o) {
    return DecodeQrCode(pic, s, origin, capacity, o->version, o->level, o->position, o->data, &o->length);
  }
};

TEST_F(DecodeQrCodeCall, TextsPositionAndOutline) {
  test::DibPtr pic = Picture(400.3, 260.2);
  SettingsRecord s;
  s.Area[0] = 100;
  s.Area[1] = 50;
  s.Area[2] = 639;
  s.Area[3] = 479;
  Out o;
  Fill(&o);
  ASSERT_EQ(Decode(pic.get(), s, OverlayOrigin{7, 3}, kDecodeDataBytes, &o), 0);
  EXPECT_STREQ(o.version, "7");
  EXPECT_STREQ(o.level, "M(15％)");
  EXPECT_EQ(o.length, 26);
  EXPECT_STREQ(o.data, "STATION 0123456789 READING");
  // The symbol is 45 modules of 3 pixels; its outline in picture coordinates.
  const double half = 45 * 3 / 2.0;
  const double want[8] = {400.3 - half, 260.2 - half, 400.3 + half, 260.2 - half,
                          400.3 + half, 260.2 + half, 400.3 - half, 260.2 + half};
  for (int32_t i = 0; i < 8; ++i) EXPECT_NEAR(o.position[i], want[i], 2.0) << i;
  // Four red lines through the corners, shifted by the overlay origin.
  std::vector<std::string> expected;
  for (int32_t i = 0; i < 4; ++i) {
    const int32_t j = (i + 1) % 4;
    char buf[80];
    std::snprintf(buf, sizeof buf, "%d,%d-%d,%d 0000ff", o.position[2 * i] + 7, o.position[2 * i + 1] + 3,
                  o.position[2 * j] + 7, o.position[2 * j + 1] + 3);
    expected.push_back(buf);
  }
  EXPECT_EQ(OverlayLines(), expected);
}

TEST_F(DecodeQrCodeCall, CapacityCutsTheData) {
  test::DibPtr pic = Picture(320.2, 240.3);
  Out o;
  Fill(&o);
  ASSERT_EQ(Decode(pic.get(), SettingsRecord{}, OverlayOrigin{}, 10, &o), 0);
  EXPECT_EQ(o.length, 9);
  EXPECT_STREQ(o.data, "STATION 0");
  Fill(&o);
  EXPECT_EQ(Decode(pic.get(), SettingsRecord{}, OverlayOrigin{}, 0, &o), -1);
}

TEST_F(DecodeQrCodeCall, TheWholePictureForAnAreaBeyondIt) {
  test::DibPtr pic = Picture(70.2, 70.3);  // in the corner the default area leaves out
  SettingsRecord s;
  Out o;
  Fill(&o);
  EXPECT_EQ(Decode(pic.get(), s, OverlayOrigin{}, kDecodeDataBytes, &o), -4);
  s.Area[0] = -10;
  s.Area[1] = -10;
  s.Area[2] = 5000;
  s.Area[3] = 5000;
  ASSERT_EQ(Decode(pic.get(), s, OverlayOrigin{}, kDecodeDataBytes, &o), 0);
  EXPECT_NEAR(o.position[0], 70.2 - 67.5, 2.0);
}

TEST_F(DecodeQrCodeCall, FailureLeavesOutputsAndOutline) {
  test::DibPtr pic = Picture(320.2, 240.3);
  Out o;
  Fill(&o);
  ASSERT_EQ(Decode(pic.get(), SettingsRecord{}, OverlayOrigin{}, kDecodeDataBytes, &o), 0);
  const std::vector<std::string> outline = OverlayLines();
  ASSERT_EQ(outline.size(), 4u);

  test::DibPtr blank(DibCreate(640, 480, 3, 4));
  test::FillGrey(blank.get(), 255);
  Out after;
  Fill(&after);
  Out untouched = after;
  EXPECT_EQ(Decode(blank.get(), SettingsRecord{}, OverlayOrigin{}, kDecodeDataBytes, &after), -4);
  EXPECT_EQ(std::memcmp(&after, &untouched, sizeof after), 0);
  EXPECT_EQ(OverlayLines(), outline);

  // A missing picture is refused; the picture decoded before is not read again.
  EXPECT_EQ(Decode(nullptr, SettingsRecord{}, OverlayOrigin{}, kDecodeDataBytes, &after), -1);
  EXPECT_EQ(std::memcmp(&after, &untouched, sizeof after), 0);
}

TEST_F(DecodeQrCodeCall, PolarityAndChannelFromTheSettings) {
  test::DibPtr pic = Picture(320.2, 240.3, true);
  SettingsRecord s;
  s.Area[0] = 0;
  s.Area[1] = 0;
  s.Area[2] = 639;
  s.Area[3] = 479;
  s.QrRobust = 0;
  Out o;
  EXPECT_EQ(Decode(pic.get(), s, OverlayOrigin{}, kDecodeDataBytes, &o), -4);
  s.QRBlack = 0;
  EXPECT_EQ(Decode(pic.get(), s, OverlayOrigin{}, kDecodeDataBytes, &o), 0);
  // Only the blue bytes carry the symbol.
  uint8_t* bits = DibGetBits(pic.get());
  for (int32_t y = 0; y < 480; ++y)
    for (int32_t x = 0; x < 640; ++x) bits[y * DibGetStride(pic.get()) + 3 * x + 1] = 0;
  for (int32_t y = 0; y < 480; ++y)
    for (int32_t x = 0; x < 640; ++x) bits[y * DibGetStride(pic.get()) + 3 * x + 2] = 0;
  s.TargetColor = 0;
  EXPECT_EQ(Decode(pic.get(), s, OverlayOrigin{}, kDecodeDataBytes, &o), -4);
  s.TargetColor = 2;
  EXPECT_EQ(Decode(pic.get(), s, OverlayOrigin{}, kDecodeDataBytes, &o), 0);
  // The threshold moves with the settings: at 255 every pixel is dark.
  s.QrThreshold = 255;
  EXPECT_EQ(Decode(pic.get(), s, OverlayOrigin{}, kDecodeDataBytes, &o), -4);
  // The robust reading (the station's default) finds the light-on-dark
  // symbol in the blue bytes with the red channel and the dark polarity.
  s = SettingsRecord{};
  s.Area[0] = 0;
  s.Area[1] = 0;
  s.Area[2] = 639;
  s.Area[3] = 479;
  EXPECT_EQ(s.QrRobust, 1);
  EXPECT_EQ(Decode(pic.get(), s, OverlayOrigin{}, kDecodeDataBytes, &o), 0);
  EXPECT_EQ(std::string(o.data, static_cast<size_t>(o.length)), "STATION 0123456789 READING");
}

}  // namespace
}  // namespace vantrel

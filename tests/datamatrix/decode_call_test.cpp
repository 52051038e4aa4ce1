#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "datamatrix/src/dmx_internal.h"
#include "symbol_render.h"
#include "vantrel/OvoDmx.h"
#include "vantrel/decode_calls.h"
#include "vantrel/draw_context.h"
#include "overlay_lines.h"
#include "vantrel/overlay.h"
#include "vantrel/ovoutil.h"

namespace vantrel::test {
namespace {


class DecodeDataMatrixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(OvoUtilInitialize(), 0);
    StopDataMatrixReader();
    ASSERT_EQ(StartDataMatrixReader(), 0);
    OverlayClear();
    settings_.Area[0] = 0;
    settings_.Area[1] = 0;
    settings_.Area[2] = 639;
    settings_.Area[3] = 479;
  }
  void TearDown() override {
    StopDataMatrixReader();
    OvoUtilTerminate();
  }

  static DibPtr SymbolPicture(const std::string& data, double x, double y, int32_t bpp = 3) {
    ModuleMatrix m;
    std::string error;
    // 16 x 16 where the text fits, larger otherwise.
    const bool fits = data.size() <= 12;
    EXPECT_TRUE(ZintModules({"-b", "DATAMATRIX", fits ? "--vers=4" : "--square"}, data, &m, &error))
        << error;
    RenderOptions o;
    o.moduleSize = 5;
    o.centreX = x;
    o.centreY = y;
    return RenderSymbol(m, o, 640, 480, bpp);
  }

  SettingsRecord settings_;
  char data_[kDecodeDataBytes] = {};
  int32_t position_[8] = {};
  int32_t length_ = -1;
};

TEST_F(DecodeDataMatrixTest, ReadsTheTextAndOutlinesTheSymbolShiftedByTheOrigin) {
  DibPtr pic = SymbolPicture("STATION 42", 330, 250);
  const OverlayOrigin origin{7, -3};
  ASSERT_EQ(DecodeDataMatrix(pic.get(), settings_, origin, data_, kDecodeDataBytes, position_,
                             &length_),
            0);
  EXPECT_STREQ(data_, "STATION 42");
  EXPECT_EQ(length_, 10);

  // Position: top-edge point, P, right-edge point, Q, as the reader gives them.
  OvoDmxPoint t, r, p, q;
  ASSERT_EQ(OvoDmxGetCorners(&t, &r, &p, &q), 0);
  const int32_t expected[8] = {t.x, t.y, p.x, p.y, r.x, r.y, q.x, q.y};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(position_[i], expected[i]) << i;
  // The symbol is 16 x 16 modules of 5 pixels centred at (330, 250).
  EXPECT_NEAR(position_[0], 330 - 40, 3);
  EXPECT_NEAR(position_[1], 250 - 40, 3);
  EXPECT_NEAR(position_[4], 330 + 39, 3);
  EXPECT_NEAR(position_[5], 250 + 39, 3);

  std::vector<std::string> want;
  for (int i = 0; i < 4; ++i) {
    const int j = (i + 1) % 4;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%d,%d-%d,%d %06x", expected[2 * i] + 7, expected[2 * i + 1] - 3,
                  expected[2 * j] + 7, expected[2 * j + 1] - 3, MakeColour(255, 0, 0));
    want.emplace_back(buf);
  }
  EXPECT_EQ(OverlayLines(), want);
}

TEST_F(DecodeDataMatrixTest, SettingsOutsideTheirRangesLeaveTheReadersValues) {
  DibPtr pic = SymbolPicture("X", 320, 240, 1);
  CDataMatCtrl* reader = OvoDmxGetReader();
  struct Case {
    const char* what;
    int32_t maxTime;
    double rad, amount;
    int32_t threshold;
    int32_t wantTime;
    double wantRad, wantAmount;
    int32_t wantThreshold;
  };
  const Case cases[] = {
      {"all in range", 300, 1.5, 3.0, 40, 300, 1.5, 3.0, 40},
      {"MaxTime 0", 0, 1.5, 3.0, 40, 300, 1.5, 3.0, 40},
      {"Rad 0.05", 400, 0.05, 3.0, 40, 400, 1.5, 3.0, 40},
      {"Rad 121", 400, 121, 3.0, 40, 400, 1.5, 3.0, 40},
      {"Amount 11", 400, 2.0, 11, 40, 400, 2.0, 3.0, 40},
      {"Amount -1", 400, 2.0, -1, 40, 400, 2.0, 3.0, 40},
      {"Threshold 256", 400, 2.0, 1.0, 256, 400, 2.0, 1.0, 40},
      {"Threshold -1", -5, 2.0, 1.0, -1, 400, 2.0, 1.0, 40},
      {"edges of the ranges", 1, 0.1, 0.0, 255, 1, 0.1, 0.0, 255},
      {"upper edges", 2000, 120, 10, 0, 2000, 120, 10, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    settings_.MaxTime = c.maxTime;
    settings_.Rad = c.rad;
    settings_.Amount = c.amount;
    settings_.DmxThreshold = c.threshold;
    ASSERT_EQ(DecodeDataMatrix(pic.get(), settings_, {}, data_, kDecodeDataBytes, position_, &length_), 0);
    EXPECT_EQ(reader->maxTime.load(), c.wantTime);
    EXPECT_EQ(reader->radius.load(), c.wantRad);
    EXPECT_EQ(reader->amount.load(), c.wantAmount);
    EXPECT_EQ(reader->threshold.load(), c.wantThreshold);
  }
}

TEST_F(DecodeDataMatrixTest, TheRangeIsClampedToThePictureAndARefusedRangeReadsNothing) {
  DibPtr pic = SymbolPicture("RANGE", 320, 240, 1);
  CDataMatCtrl* reader = OvoDmxGetReader();
  struct Case {
    int32_t area[4];
    int32_t status;
    DibRect stored;  // the reader's area afterwards
  };
  const Case cases[] = {
      {{-10, -10, 5000, 5000}, 0, {0, 0, 639, 479}},
      {{200, 150, 450, 330}, 0, {200, 150, 450, 330}},
      {{450, 330, 200, 150}, -3, {200, 150, 450, 330}},  // reversed: the old area must not be read
      {{700, 0, 800, 100}, -3, {200, 150, 450, 330}},    // right of the picture
      {{100, 100, 100, 300}, -3, {200, 150, 450, 330}},  // no width
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.area[0]) + "," + std::to_string(c.area[1]) + "," +
                 std::to_string(c.area[2]) + "," + std::to_string(c.area[3]));
    std::memcpy(settings_.Area, c.area, sizeof c.area);
    std::strcpy(data_, "before");
    EXPECT_EQ(DecodeDataMatrix(pic.get(), settings_, {}, data_, kDecodeDataBytes, position_, &length_),
              c.status);
    if (c.status != 0) {
      EXPECT_STREQ(data_, "before");
    }
    const DibRect a = reader->Area();
    EXPECT_EQ(a.left, c.stored.left);
    EXPECT_EQ(a.top, c.stored.top);
    EXPECT_EQ(a.right, c.stored.right);
    EXPECT_EQ(a.bottom, c.stored.bottom);
  }
}

TEST_F(DecodeDataMatrixTest, SharpeningWorksOnACopyAndReadsWhatThePlainPictureCannot) {
  // Faint and blurred: 4-pixel modules, levels 100 and 150, blur sigma 2.
  ModuleMatrix m;
  ASSERT_TRUE(ZintModules({"-b", "DATAMATRIX", "--vers=8"}, "SHARPEN ME", &m));
  RenderOptions o;
  o.moduleSize = 4;
  o.dark = 100;
  o.light = 150;
  o.background = 150;
  DibPtr pic = RenderSymbol(m, o, 640, 480, 1);
  GaussianBlur(pic.get(), 2.0);
  DibPtr before(DibDuplicate(pic.get()));
  const int32_t area[4] = {100, 60, 539, 419};
  std::memcpy(settings_.Area, area, sizeof area);
  settings_.Rad = 2.0;
  settings_.Amount = 5.0;
  settings_.DmxThreshold = 0;

  settings_.UnsharpMask = 0;
  EXPECT_EQ(DecodeDataMatrix(pic.get(), settings_, {}, data_, kDecodeDataBytes, position_, &length_), -1);
  settings_.UnsharpMask = 1;
  ASSERT_EQ(DecodeDataMatrix(pic.get(), settings_, {}, data_, kDecodeDataBytes, position_, &length_), 0);
  EXPECT_STREQ(data_, "SHARPEN ME");
  EXPECT_EQ(std::memcmp(DibGetBits(before.get()), DibGetBits(pic.get()),
                        static_cast<size_t>(DibGetStride(pic.get())) * 480),
            0)
      << "the shown picture was changed";
}

TEST_F(DecodeDataMatrixTest, FailuresLeaveTheOutputsAndTheOutlineAsTheyWere) {
  DibPtr pic = SymbolPicture("FIRST", 200, 200);
  ASSERT_EQ(DecodeDataMatrix(pic.get(), settings_, {}, data_, kDecodeDataBytes, position_, &length_), 0);
  const std::vector<std::string> outline = OverlayLines();
  ASSERT_EQ(outline.size(), 4u);
  int32_t savedPosition[8];
  std::memcpy(savedPosition, position_, sizeof savedPosition);

  DibPtr empty(DibCreate(640, 480, 3, 4));
  FillGrey(empty.get(), 210);
  DibPtr rgba(DibCreate(640, 480, 4, 4));
  DibPtr longText = SymbolPicture(std::string(40, 'L'), 400, 300);
  struct Case {
    const char* what;
    DibImage picture;
    int32_t capacity;
    int32_t unsharp;
    int32_t status;
  };
  const Case cases[] = {
      {"nothing found", empty.get(), kDecodeDataBytes, 0, -1},
      {"32-bit picture", rgba.get(), kDecodeDataBytes, 0, -1},
      {"32-bit picture, sharpened", rgba.get(), kDecodeDataBytes, 1, -1},
      {"null picture", nullptr, kDecodeDataBytes, 0, -1},
      {"null picture, sharpened", nullptr, kDecodeDataBytes, 1, -4},
      {"text longer than the buffer", longText.get(), 40, 0, -2},
  };
  settings_.MaxTime = 100;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    settings_.UnsharpMask = c.unsharp;
    std::strcpy(data_, "kept");
    length_ = 99;
    EXPECT_EQ(DecodeDataMatrix(c.picture, settings_, {}, data_, c.capacity, position_, &length_),
              c.status);
    EXPECT_STREQ(data_, "kept");
    EXPECT_EQ(length_, 99);
    EXPECT_EQ(std::memcmp(position_, savedPosition, sizeof savedPosition), 0);
    EXPECT_EQ(OverlayLines(), outline);
  }
  // With room for its 40 bytes and the NUL it reads.
  settings_.UnsharpMask = 0;
  ASSERT_EQ(DecodeDataMatrix(longText.get(), settings_, {}, data_, 41, position_, &length_), 0);
  EXPECT_EQ(length_, 40);
}

TEST(DecodeDataMatrixWithoutReader, Gives8AndWritesNothing) {
  ASSERT_EQ(OvoUtilInitialize(), 0);
  StopDataMatrixReader();
  ModuleMatrix m;
  ASSERT_TRUE(ZintModules({"-b", "DATAMATRIX"}, "NONE", &m));
  DibPtr pic = RenderSymbol(m, RenderOptions{}, 640, 480, 3);
  SettingsRecord s;
  for (int32_t unsharp : {0, 1}) {
    SCOPED_TRACE(unsharp);
    s.UnsharpMask = unsharp;
    char data[16] = "kept";
    int32_t position[8] = {1, 2, 3, 4, 5, 6, 7, 8}, length = 99;
    EXPECT_EQ(DecodeDataMatrix(pic.get(), s, {}, data, sizeof data, position, &length), -8);
    EXPECT_STREQ(data, "kept");
    EXPECT_EQ(length, 99);
    EXPECT_EQ(position[0], 1);
    EXPECT_TRUE(OverlayLines().empty());
  }
  // Start and stop can be repeated; the reader is there between them.
  EXPECT_EQ(StartDataMatrixReader(), 0);
  EXPECT_NE(OvoDmxGetReader(), nullptr);
  EXPECT_EQ(StartDataMatrixReader(), 0);
  StopDataMatrixReader();
  EXPECT_EQ(OvoDmxGetReader(), nullptr);
  StopDataMatrixReader();
  OvoUtilTerminate();
}

TEST_F(DecodeDataMatrixTest, OptionalOutputsMayBeNull) {
  DibPtr pic = SymbolPicture("NULLS", 320, 240);
  EXPECT_EQ(DecodeDataMatrix(pic.get(), settings_, {}, data_, kDecodeDataBytes, nullptr, nullptr), 0);
  EXPECT_STREQ(data_, "NULLS");
  EXPECT_EQ(DecodeDataMatrix(pic.get(), settings_, {}, nullptr, kDecodeDataBytes, position_, &length_),
            -2);
}

}  // namespace
}  // namespace vantrel::test

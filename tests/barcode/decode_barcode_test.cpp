// The barcode decode call (settings -> reader -> texts and overlay) and the
// preview's guide lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "pictures.h"
#include "vantrel/OvoBcd.h"
#include "vantrel/decode_calls.h"
#include "vantrel/guide_lines.h"
#include "overlay_lines.h"
#include "vantrel/overlay.h"
#include "vantrel/ovoutil.h"

namespace vantrel {
inline void PrintTo(const GuidePoint& p, std::ostream* os) { *os << "(" << p.x << ", " << p.y << ")"; }
}  // namespace vantrel

namespace vantrel::bcdtest {
namespace {

using vantrel::test::OverlayLines;

std::string L(int x1, int y1, int x2, int y2, uint32_t colour = 0x0000ff) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%d,%d-%d,%d %06x", x1, y1, x2, y2, colour);
  return buf;
}

class DecodeBarcodeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(OvoUtilInitialize(), 0); }
  static void TearDownTestSuite() { OvoUtilTerminate(); }
  void SetUp() override { OverlayClear(); }
};

struct Call {
  int32_t status;
  std::string name;
  std::string data;
  int32_t length = -1;
  int32_t position[4] = {-9, -9, -9, -9};
};

Call Decode(DibImage picture, const SettingsRecord& s, OverlayOrigin origin = {}) {
  Call c;
  char name[20];
  std::memset(name, '#', sizeof name);
  std::vector<char> data(kDecodeDataBytes, '#');
  c.status = DecodeBarcode(picture, s, origin, name, &c.length, c.position, data.data());
  c.name.assign(name, strnlen(name, sizeof name));
  c.data.assign(data.data(), c.status == 0 ? static_cast<size_t>(c.length) : 1);
  if (c.status == 0) {
    EXPECT_EQ(data[c.length], '\0');
    EXPECT_EQ(data[c.length + 1], '#');
  }
  return c;
}

TEST_F(DecodeBarcodeTest, NamesTextsAndTheReadingLineInTheOverlay) {
  for (const SymbolSpec& s : StationSymbols()) {
    SCOPED_TRACE(s.name);
    OverlayClear();
    OverlayAddLine(1, 2, 3, 4, 0x00ff00);  // an older outline, replaced on success
    const Frame f = StationFrame(s, 2, 0);
    const Call c = Decode(f.picture.get(), SettingsRecord{}, OverlayOrigin{12, -7});
    ASSERT_EQ(c.status, 0);
    EXPECT_EQ(c.name, BarcodeTypeName(s.type));
    EXPECT_EQ(c.data, s.text);
    EXPECT_EQ(c.length, static_cast<int32_t>(s.text.size()));
    const int x1 = c.position[0] + 12, y1 = c.position[1] - 7, x2 = c.position[2] + 12, y2 = c.position[3] - 7;
    EXPECT_EQ(OverlayLines(), (std::vector<std::string>{L(x1, y1 - 1, x2, y2 - 1), L(x1, y1, x2, y2),
                                                          L(x1, y1 + 1, x2, y2 + 1), L(x1 - 1, y1, x2 - 1, y2),
                                                          L(x1 + 1, y1, x2 + 1, y2)}));
  }
  const char* names[] = {"JAN-8", "JAN-13", "ITF", "CODE 39", "CODE 128", "NW-7"};
  for (int32_t t = 0; t <= 5; ++t) EXPECT_STREQ(BarcodeTypeName(t), names[t]);
  EXPECT_STREQ(BarcodeTypeName(6), "Unknown Code");
  EXPECT_STREQ(BarcodeTypeName(-1), "Unknown Code");
}

TEST_F(DecodeBarcodeTest, FailureLeavesOutputsAndOverlayAlone) {
  OverlayAddLine(1, 2, 3, 4, 0x00ff00);
  test::DibPtr blank(DibCreate(640, 480, 3, 4));
  test::FillGrey(blank.get(), 255);
  SettingsRecord angle200;
  angle200.ScanDegree = 200;  // typed into the page unchecked; the reader refuses it
  const Frame f = StationFrame(StationSymbols()[0], 2, 0);
  struct Case {
    DibImage picture;
    SettingsRecord settings;
    int32_t status;
  };
  const Case cases[] = {{blank.get(), SettingsRecord{}, -4}, {nullptr, SettingsRecord{}, -1},
                        {f.picture.get(), angle200, -3}};
  for (const Case& c : cases) {
    const Call r = Decode(c.picture, c.settings);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.name, std::string(20, '#'));
    EXPECT_EQ(r.data, "#");
    EXPECT_EQ(r.length, -1);
    EXPECT_EQ(r.position[0], -9);
    EXPECT_EQ(OverlayLines(), (std::vector<std::string>{L(1, 2, 3, 4, 0x00ff00)}));
  }
}

// What the call hands the reader: the settings' fields (Robust last), the check
// fields 0, the clamped range, AutoBin, ScanLevel and ScanDegree. Each variant must give what
// the reader itself gives with those arguments.
TEST_F(DecodeBarcodeTest, HandsTheSettingsToTheReader) {
  const Frame centred = StationFrame(StationSymbols()[4], 2, 0);  // CODE 128
  const Frame corner = StationFrame(StationSymbols()[0], 1, 0, {}, 640, 480, 3, 120, 40);  // JAN-13
  struct Case {
    const char* what;
    const Frame* frame;
    void (*change)(SettingsRecord*);
    int32_t status;
  };
  const Case cases[] = {
      {"defaults", &centred, [](SettingsRecord*) {}, 0},
      {"binarized", &centred, [](SettingsRecord* s) { s->AutoBin = 1; }, 0},
      {"robust reading off", &centred, [](SettingsRecord* s) { s->BcdRobust = 0; }, 0},
      {"level 2", &corner, [](SettingsRecord* s) { s->ScanLevel = 2; }, -4},  // outside the default range
      {"whole picture, level 3", &corner,
       [](SettingsRecord* s) {
         s->ScanLevel = 3;
         s->Area[0] = s->Area[1] = -10;
         s->Area[2] = s->Area[3] = 5000;
       },
       0},
      {"angle 45", &centred, [](SettingsRecord* s) { s->ScanDegree = 45; }, 0},
      {"CODE 128 off", &centred, [](SettingsRecord* s) { s->CODE128 = 0; }, -4},
      {"CODE 128 at most 3", &centred, [](SettingsRecord* s) { s->CODE128_Max = 3; }, -4},
      {"CODE 128 at least 5", &centred, [](SettingsRecord* s) { s->CODE128_Min = 5; }, -4},
      {"CODE 128 exactly 4", &centred,
       [](SettingsRecord* s) {
         s->CODE128_Min = 4;
         s->CODE128_Max = 4;
       },
       0},
      {"range order swapped", &centred,
       [](SettingsRecord* s) {
         std::swap(s->Area[0], s->Area[2]);
         std::swap(s->Area[1], s->Area[3]);
       },
       0},
  };
  for (const Case& c : cases) {
    SettingsRecord s;
    c.change(&s);
    const Call r = Decode(c.frame->picture.get(), s);
    EXPECT_EQ(r.status, c.status) << c.what;
    const OvoBcdParams p{s.JAN8,   s.JAN13,      s.ITF,        s.ITF_Min,     s.ITF_Max,     0,
                         s.CODE39, s.CODE39_Min, s.CODE39_Max, 0,             s.NW7,         s.NW7_Min,
                         s.NW7_Max, 0,           s.CODE128,    s.CODE128_Min, s.CODE128_Max, s.BcdRobust};
    const DibRect cr = ClampedRange(s, 640, 480);
    const OvoBcdRange range{cr.left, cr.top, cr.right, cr.bottom};
    int32_t pos[4] = {0}, len = 0, type = -1;
    char text[OVOBCD_TEXT_BYTES];
    const int32_t st = OvoBcdDecode(c.frame->picture.get(), &p, &range, s.AutoBin != 0, s.ScanLevel,
                                    s.ScanDegree, pos, &type, &len, text);
    EXPECT_EQ(st, r.status) << c.what;
    if (st == 0) {
      EXPECT_EQ(std::vector<int32_t>(pos, pos + 4), std::vector<int32_t>(r.position, r.position + 4)) << c.what;
      EXPECT_EQ(std::string(text), r.data);
      EXPECT_EQ(BarcodeTypeName(type), r.name);
    }
  }
}

// The optional check characters of ITF, CODE 39 and NW-7 are never verified.
TEST_F(DecodeBarcodeTest, OptionalChecksAreOff) {
  const SymbolSpec unchecked[] = {{"Itf", {"-b", "3"}, "12345675", OVOBCD_ITF, "12345675"},
                                  {"Code39", {"-b", "CODE39"}, "ABCY", OVOBCD_CODE39, "ABCY"},
                                  {"Nw7", {"-b", "CODABAR"}, "A12-B", OVOBCD_NW7, "A12-B"}};
  for (const SymbolSpec& s : unchecked) {
    const Frame f = StationFrame(s, 2, 0);
    const Call c = Decode(f.picture.get(), SettingsRecord{});
    ASSERT_EQ(c.status, 0) << s.name;
    EXPECT_EQ(c.data, s.text);
  }
}

// The reader reads the range half-open, so the clamped range's last column stays
// out: a CODE 128 flush with the right edge ends on column 638.
TEST_F(DecodeBarcodeTest, ClampedRangeReachesTheReaderAsItIs) {
  const test::ModuleMatrix m = Modules(StationSymbols()[4]);
  test::RenderOptions o;
  o.moduleSize = 2;
  o.quietZone = 0;
  o.centreX = 640 - m.width;
  o.centreY = 240;
  const test::DibPtr pic = test::RenderSymbol(m, o);
  SettingsRecord s;
  s.Area[0] = s.Area[1] = -10;
  s.Area[2] = s.Area[3] = 5000;
  s.AutoBin = 1;
  const Call c = Decode(pic.get(), s);
  ASSERT_EQ(c.status, 0);
  EXPECT_EQ(c.position[2], 638);
  EXPECT_EQ(c.position[3], 240);  // rows 0 to 478: the centre 239.5 rounds up
}

// Values a settings file may hold beyond what the page allows are brought
// into its bounds before they reach the reader.
TEST_F(DecodeBarcodeTest, OutOfBoundsSettingsAreClamped) {
  const Frame centred = StationFrame(StationSymbols()[1], 2, 0);  // JAN-8
  const Frame corner = StationFrame(StationSymbols()[1], 1, 0, {}, 640, 480, 3, 100, 80);
  struct Case {
    const char* what;
    const Frame* frame;
    void (*change)(SettingsRecord*);
    int32_t status;
  };
  const Case cases[] = {
      {"level 0 as 1", &centred, [](SettingsRecord* s) { s->ScanLevel = 0; }, 0},
      {"level -3 as 1", &centred, [](SettingsRecord* s) { s->ScanLevel = -3; }, 0},
      {"level 9 as 4", &corner,
       [](SettingsRecord* s) {
         s->ScanLevel = 9;
         s->Area[0] = s->Area[1] = 0;
       },
       0},
      {"level 1 misses the corner", &corner,
       [](SettingsRecord* s) {
         s->ScanLevel = 1;
         s->Area[0] = s->Area[1] = 0;
       },
       -4},
      {"range beyond the picture", &centred,
       [](SettingsRecord* s) {
         s->Area[0] = 700;
         s->Area[1] = 500;
         s->Area[2] = 800;
         s->Area[3] = 600;
       },
       -4},
      {"range before the picture", &centred,
       [](SettingsRecord* s) {
         s->Area[0] = s->Area[1] = -800;
         s->Area[2] = s->Area[3] = -600;
       },
       -4},
  };
  for (const Case& c : cases) {
    SettingsRecord s;
    c.change(&s);
    EXPECT_EQ(Decode(c.frame->picture.get(), s).status, c.status) << c.what;
  }
}

// A lower bound of 0 from a settings file would let a CODE 128 symbol without
// data characters read as an empty text.
TEST_F(DecodeBarcodeTest, LengthBoundsBelowOneAreRaised) {
  // Start B, check symbol (value 1), stop; then a few narrow bars so that the
  // line holds enough runs for a candidate.
  std::string row = "11010010000" "11001101100" "1100011101011" "00000000000000000000";
  for (int i = 0; i < 12; ++i) row += "10";
  test::ModuleMatrix m;
  m.width = static_cast<int32_t>(row.size());
  m.height = 1;
  for (char ch : row) m.dark.push_back(ch == '1');
  test::RenderOptions o;
  o.moduleSize = 2;
  const test::DibPtr pic = test::RenderSymbol(m, o);
  OvoBcdParams p = {1, 1, 1, 0, 48, 0, 1, 0, 48, 0, 1, 0, 48, 0, 1, 0, 48, 0};
  char text[OVOBCD_TEXT_BYTES];
  int32_t length = -1;
  ASSERT_EQ(OvoBcdDecode(pic.get(), &p, nullptr, false, 1, 90, nullptr, nullptr, &length, text), 0);
  EXPECT_EQ(length, 0);
  SettingsRecord s;
  s.CODE128_Min = 0;
  s.ITF_Min = s.CODE39_Min = s.NW7_Min = -5;
  EXPECT_EQ(Decode(pic.get(), s).status, -4);
}

// ---------------------------------------------------------------------------
// Guide lines.

std::vector<GuidePoint> G(std::initializer_list<std::pair<int32_t, int32_t>> l) {
  std::vector<GuidePoint> v;
  for (auto [x, y] : l) v.push_back(GuidePoint{x, y});
  return v;
}

class GuideLinesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    repaints = 0;
    SetGuideRepaint([this] { ++repaints; });
  }
  void TearDown() override { SetGuideRepaint(nullptr); }
  int repaints = 0;
};

TEST_F(GuideLinesTest, DefaultSettings) {
  RebuildGuideLines(SettingsRecord{});
  EXPECT_EQ(guideStarts, G({{79, 239}, {319, 59}}));
  EXPECT_EQ(guideEnds, G({{558, 239}, {319, 418}}));
  EXPECT_EQ(repaints, 1);
}

TEST_F(GuideLinesTest, LevelsAnglesAndClamping) {
  struct Case {
    const char* what;
    void (*change)(SettingsRecord*);
    size_t lines;
    std::vector<GuidePoint> firstStartEnd;  // first line's start and end
  };
  const Case cases[] = {
      {"level 2", [](SettingsRecord* s) { s->ScanLevel = 2; }, 10, G({{79, 239}, {558, 239}})},
      {"level 4, 10 degrees", [](SettingsRecord* s) {
         s->ScanLevel = 4;
         s->ScanDegree = 10;
       }, 1615, G({{79, 239}, {558, 239}})},
      {"level 0 as 1", [](SettingsRecord* s) { s->ScanLevel = 0; }, 2, G({{79, 239}, {558, 239}})},
      {"level 7 as 4", [](SettingsRecord* s) { s->ScanLevel = 7; }, 170, G({{79, 239}, {558, 239}})},
      {"angle 0", [](SettingsRecord* s) { s->ScanDegree = 0; }, 1, G({{79, 239}, {558, 239}})},
      {"angle 200 refused", [](SettingsRecord* s) { s->ScanDegree = 200; }, 0, {}},
      {"angle -1 refused", [](SettingsRecord* s) { s->ScanDegree = -1; }, 0, {}},
      {"range beyond the capture size", [](SettingsRecord* s) {
         s->Area[0] = s->Area[1] = -10;
         s->Area[2] = s->Area[3] = 5000;
       }, 2, G({{0, 240}, {638, 240}})},
      {"larger capture size", [](SettingsRecord* s) {
         s->Xsize = 1280;
         s->Ysize = 960;
         s->Area[0] = s->Area[1] = 0;
         s->Area[2] = s->Area[3] = 5000;
       }, 2, G({{0, 480}, {1278, 480}})},
      {"range corners swapped: no lines", [](SettingsRecord* s) {
         std::swap(s->Area[0], s->Area[2]);
         std::swap(s->Area[1], s->Area[3]);
       }, 0, {}},
      {"no capture size", [](SettingsRecord* s) {
         s->Xsize = 0;
         s->Ysize = -5;
       }, 0, {}},
      {"most negative capture size", [](SettingsRecord* s) {
         s->Xsize = INT32_MIN;
         s->Ysize = INT32_MIN;
       }, 0, {}},
  };
  for (const Case& c : cases) {
    guideStarts = G({{1, 1}, {2, 2}, {3, 3}});  // whatever was there goes
    guideEnds = guideStarts;
    SettingsRecord s;
    c.change(&s);
    repaints = 0;
    RebuildGuideLines(s);
    EXPECT_EQ(repaints, 1) << c.what;
    ASSERT_EQ(guideStarts.size(), c.lines) << c.what;
    ASSERT_EQ(guideEnds.size(), c.lines) << c.what;
    if (c.lines) {
      EXPECT_EQ(guideStarts[0], c.firstStartEnd[0]) << c.what;
      EXPECT_EQ(guideEnds[0], c.firstStartEnd[1]) << c.what;
    }
  }
}

// The settings load rebuilds the guides with the scan keys it has just read.
TEST_F(GuideLinesTest, SettingsLoadRebuildsTheGuides) {
  char dir[] = "/tmp/vantrel-guides-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/Vantrel.ini";
  {
    std::ofstream f(path);
    f << "[SYSTEM]\nArea=0 0 639 479\n[BARCODE]\nScanLevel=2\nScanDegree=45.000000\nAutoBin=1\n";
  }
  SettingsRecord s;
  LoadSettings(path, &s, RebuildGuideLines);
  EXPECT_EQ(s.ScanLevel, 2);
  EXPECT_EQ(guideStarts.size(), 5u * 4u);
  EXPECT_EQ(repaints, 1);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vantrel::bcdtest

// vantrel-read as its users run it: a program, its arguments, its output lines
// and its exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/bmp_builder.h"
#include "imaging/test_files.h"
#include "symbol_render.h"
#include "tools/tool_run.h"
#include "vantrel/dib_file.h"

namespace {

using vantrel::test::BmpLayout;
using vantrel::test::BuildBmp;
using vantrel::test::RunTool;
using vantrel::test::DibPtr;
using vantrel::test::ReadText;
using vantrel::test::TempFolder;
using vantrel::test::ToolOptions;
using vantrel::test::ToolRun;
using vantrel::test::WriteText;

class VantrelRead : public ::testing::Test {
 protected:
  // Runs the program; in `folder` when one is given.
  ToolRun Tool(const std::vector<std::string>& args, const std::string& folder = {}) {
    ToolOptions options;
    options.folder = folder;
    return RunTool(VANTREL_READ_PROGRAM, args, dir_.File("stdout.txt"), dir_.File("stderr.txt"), options);
  }

  std::string Save(const std::string& name, DibImage picture) {
    const std::string path = dir_.File(name);
    EXPECT_EQ(DibSaveFile(path.c_str(), picture), 1) << name;
    return path;
  }

  std::string Bytes(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir_.File(name);
    WriteText(path, std::string(bytes.begin(), bytes.end()));
    return path;
  }

  // A picture of one symbol made by the real encoder.
  std::string Symbol(const std::string& name, const std::vector<std::string>& zint, const std::string& data,
                     vantrel::test::RenderOptions o = {}, int32_t w = 640, int32_t h = 480, int32_t bytes = 3) {
    vantrel::test::ModuleMatrix m;
    std::string error;
    EXPECT_TRUE(vantrel::test::ZintModules(zint, data, &m, &error)) << error;
    DibPtr pic = vantrel::test::RenderSymbol(m, o, w, h, bytes);
    return Save(name, pic.get());
  }

  std::string Blank(const std::string& name, int32_t bytes = 3) {
    DibPtr pic(DibCreate(320, 240, bytes, 4));
    vantrel::test::FillGrey(pic.get(), 230);
    vantrel::test::AddNoise(pic.get(), 6.0, 3);
    return Save(name, pic.get());
  }

  TempFolder dir_;
};

vantrel::test::RenderOptions Modules(double size) {
  vantrel::test::RenderOptions o;
  o.moduleSize = size;
  return o;
}

TEST_F(VantrelRead, HelpAndVersion) {
  ToolRun help = Tool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: vantrel-read", 0), 0u);
  EXPECT_NE(help.out.find("--rotate"), std::string::npos);
  ToolRun version = Tool({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("vantrel-read ", 0), 0u);
}

TEST_F(VantrelRead, UsageErrorsExit2) {
  const std::string pic = Blank("blank.bmp");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--kind", "ean13", pic},
      {"--area", "1,2,3", pic},
      {"--rotate", "45", pic},
      {"--what", pic},
      {"--settings", dir_.File("missing.ini"), pic},
      {"--settings", dir_.Path().string(), pic},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(testing::PrintToString(args));
    ToolRun r = Tool(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_EQ(r.err.rfind("vantrel-read: ", 0), 0u) << r.err;
  }
}

TEST_F(VantrelRead, PicturesWithoutCodesExit1) {
  const std::vector<std::string> pics = {Blank("blank.bmp"), Blank("grey.png", 1), Blank("colour.png"),
                                         Blank("photo.jpg"), Blank("scan.tiff", 1), Blank("anim.gif")};
  ToolRun r = Tool(pics);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;
  auto lines = r.Lines();
  ASSERT_EQ(lines.size(), pics.size());
  for (size_t i = 0; i < pics.size(); ++i)
    EXPECT_EQ(lines[i].rfind(pics[i] + "\t-\tDECODE ERROR = ", 0), 0u) << lines[i];

  ToolRun json = Tool({"--json", "--kind", "barcode", pics[0], pics[1]});
  EXPECT_EQ(json.status, 1);
  ASSERT_EQ(json.Lines().size(), 2u);
  for (const auto& line : json.Lines()) {
    EXPECT_EQ(line.front(), '{');
    EXPECT_EQ(line.back(), '}');
    EXPECT_NE(line.find("\"ok\": false, \"status\": -"), std::string::npos) << line;
    for (const char* key : {"\"file\": ", "\"kind\": null", "\"symbology\": null", "\"qr_version\": null",
                            "\"qr_level\": null", "\"text\": null", "\"bytes_hex\": null", "\"corners\": null",
                            "\"ms\": "})
      EXPECT_NE(line.find(key), std::string::npos) << key << " in " << line;
  }
}

TEST_F(VantrelRead, HostileBmpsExit2) {
  BmpLayout rle;
  rle.bitCount = 8;
  rle.compression = 1;
  BmpLayout huge;
  huge.width = 30000;
  huge.height = 30000;
  huge.truncateTo = 300;
  BmpLayout absurd;
  absurd.width = 1 << 30;
  absurd.height = 1 << 30;
  absurd.truncateTo = 54;
  BmpLayout zero;
  zero.width = 0;
  BmpLayout sixteen;
  sixteen.bitCount = 16;
  BmpLayout colours;
  colours.bitCount = 8;
  colours.clrUsed = 1u << 31;
  std::vector<uint8_t> garbage = {'B', 'M'};
  for (int i = 0; i < 200; ++i) garbage.push_back(static_cast<uint8_t>(i * 37 + 11));
  std::filesystem::create_directories(dir_.File("folder.bmp"));
  const std::vector<std::string> bad = {
      Bytes("rle.bmp", BuildBmp(rle)),       Bytes("huge.bmp", BuildBmp(huge)),
      Bytes("absurd.bmp", BuildBmp(absurd)), Bytes("zero.bmp", BuildBmp(zero)),
      Bytes("sixteen.bmp", BuildBmp(sixteen)), Bytes("colours.bmp", BuildBmp(colours)),
      Bytes("garbage.bmp", garbage),         Bytes("empty.bmp", {}),
      dir_.File("folder.bmp"),               dir_.File("missing.bmp"),
  };
  for (const auto& path : bad) {
    SCOPED_TRACE(path);
    ToolRun r = Tool({path});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_NE(r.err.find(path + ": "), std::string::npos) << r.err;
  }
  // A good picture among bad ones still gets its line; the status tells of the bad one.
  const std::string good = Blank("good.bmp");
  ToolRun mixed = Tool({bad[0], good, bad[1]});
  EXPECT_EQ(mixed.status, 2);
  const auto lines = mixed.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind(good + "\t-\t", 0), 0u);
  ToolRun json = Tool({"--json", bad[0]});
  EXPECT_EQ(json.status, 2);
  EXPECT_NE(json.out.find("\"status\": null"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"error\": "), std::string::npos) << json.out;
}

TEST_F(VantrelRead, ReadsEveryKind) {
  const std::string code128 = Symbol("code128.bmp", {"-b", "CODE128"}, "ABC-12345", Modules(2));
  const std::string jan13 = Symbol("jan13.png", {"-b", "EANX"}, "490123456789", Modules(2));
  // Shift JIS bytes, as the station's QR codes hold them.
  const std::string kanji = Symbol("kanji.png", {"-b", "QRCODE", "--secure=2", "--binary"},
                                   "\x93\xFA\x96\x7B\x8C\xEA\x83\x65\x83\x4C\x83\x58\x83\x67", Modules(4));
  const std::string dm = Symbol("dm.bmp", {"-b", "DATAMATRIX", "--square"}, "Lot 42/2024", Modules(5), 400, 300, 1);

  ToolRun r = Tool({code128, jan13, kanji, dm});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.Lines(), (std::vector<std::string>{code128 + "\tCODE 128\tABC-12345",
                                                  jan13 + "\tJAN-13\t4901234567894",
                                                  kanji + "\tQR\t日本語テキスト",
                                                  dm + "\tDataMatrix\tLot 42/2024"}));

  ToolRun json = Tool({"--json", code128, kanji, dm});
  const auto lines = json.Lines();
  ASSERT_EQ(lines.size(), 3u);
  const std::string& bar = lines[0];
  EXPECT_NE(bar.find("\"ok\": true, \"status\": 0, \"kind\": \"barcode\", \"symbology\": \"CODE 128\", "
                     "\"qr_version\": null, \"qr_level\": null, \"text\": \"ABC-12345\", "
                     "\"bytes_hex\": \"4142432d3132333435\", \"corners\": [["),
            std::string::npos)
      << bar;
  EXPECT_EQ(std::count(bar.begin(), bar.end(), '['), 3);  // two points
  const std::string& qr = lines[1];
  EXPECT_NE(qr.find("\"kind\": \"qr\", \"symbology\": \"QR\", \"qr_version\": "), std::string::npos) << qr;
  EXPECT_NE(qr.find("\"qr_level\": \"M\""), std::string::npos) << qr;
  // The bytes exactly as decoded: Shift JIS, 日 = 93 fa.
  EXPECT_NE(qr.find("\"bytes_hex\": \"93fa967b8cea"), std::string::npos) << qr;
  EXPECT_EQ(std::count(qr.begin(), qr.end(), '['), 5);  // four points
  const std::string& d = lines[2];
  EXPECT_NE(d.find("\"kind\": \"datamatrix\", \"symbology\": \"DataMatrix\""), std::string::npos) << d;
  EXPECT_EQ(std::count(d.begin(), d.end(), '['), 5);
}

TEST_F(VantrelRead, KindsAndSettingsApply) {
  const std::string bar = Symbol("bar.bmp", {"-b", "CODE128"}, "KIND-1", Modules(2));
  const std::string qr = Symbol("qr.png", {"-b", "QRCODE"}, "KIND-2", Modules(4));
  EXPECT_EQ(Tool({"--kind", "qr", bar}).status, 1);
  EXPECT_EQ(Tool({"--kind", "datamatrix", qr}).status, 1);
  EXPECT_EQ(Tool({"--kind", "barcode", bar}).status, 0);
  EXPECT_EQ(Tool({"--kind", "qr", qr}).status, 0);

  // The code-kind switches do not matter, the per-symbology ones do.
  WriteText(dir_.File("off.ini"), "[SYSTEM]\nBarCodeEnable=0\nQRCodeEnable=0\nDmxCodeEnable=0\n");
  EXPECT_EQ(Tool({"--settings", dir_.File("off.ini"), bar, qr}).status, 0);
  WriteText(dir_.File("no128.ini"), "[BARCODE]\nCODE128=0\n");
  EXPECT_EQ(Tool({"--settings", dir_.File("no128.ini"), "--kind", "barcode", bar}).status, 1);

  // The longest barcode text, 48 characters, is given whole: the reading
  // cycle's copy would keep 47 of them.
  const std::string text = "LONG-BARCODE-ABCDEFGHIJKLMNOPQRSTUVWXYZ-01234567";
  ASSERT_EQ(text.size(), 48u);
  const std::string longBar = Symbol("long.png", {"-b", "CODE128"}, text, Modules(2), 1400, 300);
  WriteText(dir_.File("long.ini"), "[BARCODE]\nCODE128_Max=80\n");
  ToolRun r = Tool({"--settings", dir_.File("long.ini"), "--kind", "barcode", longBar});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, longBar + "\tCODE 128\t" + text + "\n");
}

TEST_F(VantrelRead, AreaAndRotation) {
  vantrel::test::RenderOptions o = Modules(4);
  o.centreX = 180;
  o.centreY = 140;
  const std::string qr = Symbol("corner.png", {"-b", "QRCODE"}, "AREA", o);
  // The settings' range never limits the tool; --area does.
  WriteText(dir_.File("area.ini"), "[SYSTEM]\nArea=600 400 639 479\n");
  EXPECT_EQ(Tool({"--settings", dir_.File("area.ini"), qr}).status, 0);
  EXPECT_EQ(Tool({"--area", "330,0,639,479", qr}).status, 1);
  EXPECT_EQ(Tool({"--area", "0,0,330,300", qr}).status, 0);
  EXPECT_EQ(Tool({"--area", "-100,-100,5000,5000", qr}).status, 0);

  // Turned clockwise: a point (x, y) moves to (479 - y, x).
  auto centre = [](const std::string& line) {
    size_t at = line.find("\"corners\": ");
    double sx = 0, sy = 0;
    int n = 0;
    for (size_t p = line.find("[[", at) + 1; n < 4; ++n) {
      int x = 0, y = 0;
      std::sscanf(line.c_str() + p, "[%d, %d]", &x, &y);
      sx += x;
      sy += y;
      p = line.find('[', p + 1);
    }
    return std::pair{sx / 4, sy / 4};
  };
  ToolRun straight = Tool({"--json", qr});
  ToolRun turned = Tool({"--json", "--rotate", "90", qr});
  ASSERT_EQ(turned.status, 0) << turned.out;
  auto [x0, y0] = centre(straight.out);
  auto [x1, y1] = centre(turned.out);
  EXPECT_NEAR(x0, 180, 3);
  EXPECT_NEAR(y0, 140, 3);
  EXPECT_NEAR(x1, 479 - y0, 3);
  EXPECT_NEAR(y1, x0, 3);
  for (const char* deg : {"180", "270"}) EXPECT_EQ(Tool({"--rotate", deg, qr}).status, 0) << deg;
}

TEST_F(VantrelRead, ALineForEveryCodeInThePicture) {
  // Two QR codes, on rows of their own: the decoder gives the upper one first.
  DibPtr pic(DibCreate(640, 480, 3, 4));
  vantrel::test::FillGrey(pic.get(), 255);
  const struct {
    const char* data;
    double x, y;
  } symbols[] = {{"LOWER RIGHT", 470, 340}, {"UPPER LEFT", 170, 130}};
  for (const auto& symbol : symbols) {
    vantrel::test::ModuleMatrix m;
    std::string error;
    ASSERT_TRUE(vantrel::test::ZintModules({"-b", "QRCODE"}, symbol.data, &m, &error)) << error;
    vantrel::test::RenderOptions o = Modules(4);
    o.centreX = symbol.x;
    o.centreY = symbol.y;
    o.quietZone = 4;
    vantrel::test::PaintSymbol(pic.get(), m, o);
  }
  const std::string two = Save("two.png", pic.get());
  const std::string blank = Blank("blank.bmp");

  ToolRun r = Tool({two, blank});
  EXPECT_EQ(r.status, 1);  // per picture: the blank one gave none
  const auto lines = r.Lines();
  ASSERT_EQ(lines.size(), 3u) << r.out;
  EXPECT_EQ(lines[0], two + "\tQR\tUPPER LEFT");
  EXPECT_EQ(lines[1], two + "\tQR\tLOWER RIGHT");
  EXPECT_EQ(lines[2].rfind(blank + "\t-\tDECODE ERROR = ", 0), 0u) << lines[2];

  ToolRun json = Tool({"--json", two});
  EXPECT_EQ(json.status, 0);
  const auto objects = json.Lines();
  ASSERT_EQ(objects.size(), 2u) << json.out;
  EXPECT_NE(objects[0].find("\"text\": \"UPPER LEFT\""), std::string::npos) << objects[0];
  EXPECT_NE(objects[1].find("\"text\": \"LOWER RIGHT\""), std::string::npos) << objects[1];
}

TEST_F(VantrelRead, DataMatrixBytesExactly) {
  // A NUL and a CR in the data: the text leaves them out as the station
  // does, bytes_hex has every byte.
  const std::string dm = Symbol("dm.png", {"-b", "DATAMATRIX", "--square", "--binary"}, std::string("Lot\0" "42\r7", 8),
                                Modules(5), 400, 300, 1);
  ToolRun json = Tool({"--json", dm});
  ASSERT_EQ(json.status, 0) << json.out << json.err;
  EXPECT_NE(json.out.find("\"bytes_hex\": \"4c6f740034320d37\""), std::string::npos) << json.out;
  ToolRun text = Tool({dm});
  EXPECT_EQ(text.out.find('\r'), std::string::npos);
  EXPECT_EQ(text.out, dm + "\tDataMatrix\tLot427\n");
}

TEST_F(VantrelRead, LeavesNothingInTheFolderItRunsIn) {
  const std::string qr = Symbol("qr.png", {"-b", "QRCODE"}, "NO LITTER", Modules(4));
  const std::string folder = dir_.File("run-here");
  std::filesystem::create_directories(folder);
  for (const char* kind : {"all", "qr", "datamatrix"}) {
    ToolRun r = Tool({"--kind", kind, qr}, folder);
    EXPECT_NE(r.status, 2) << kind << r.err;
    EXPECT_TRUE(std::filesystem::is_empty(folder)) << kind << ": " << std::filesystem::directory_iterator(folder)->path();
  }
}

TEST_F(VantrelRead, WholeSymbolCapacity) {
  // The largest QR symbol holds 7089 digits, more than the station's data buffer.
  std::string digits;
  for (int i = 0; i < 7089; ++i) digits.push_back(static_cast<char>('0' + (i * 7 + i / 10) % 10));
  const std::string qr = Symbol("v40.png", {"-b", "QRCODE", "--vers=40", "--secure=1"}, digits, Modules(4), 800, 800, 1);
  ToolRun r = Tool({"--kind", "qr", qr});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, qr + "\tQR\t" + digits + "\n");

  // Text in a character set named by an ECI comes as UTF-8, longer than the
  // symbol's bytes: 2950 Thai letters (ISO 8859-11) take 8850 bytes.
  std::string thai;
  for (int i = 0; i < 2950; ++i) {
    const int c = 0x0E01 + i % 40;
    thai += static_cast<char>(0xE0 | (c >> 12));
    thai += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    thai += static_cast<char>(0x80 | (c & 0x3F));
  }
  const std::string eci = Symbol("eci.png", {"-b", "QRCODE", "--vers=40", "--secure=1", "--eci=13"}, thai, Modules(4),
                                 800, 800, 1);
  ToolRun converted = Tool({"--kind", "qr", eci});
  EXPECT_EQ(converted.status, 0) << converted.err;
  EXPECT_EQ(converted.out, eci + "\tQR\t" + thai + "\n");
}

}  // namespace

#include "read_cli.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vantrel/text_convert.h"

namespace {

using vantrel::cli::FormatJson;
using vantrel::cli::FormatText;
using vantrel::cli::Kind;
using vantrel::cli::ParseReadOptions;
using vantrel::cli::ReadOptions;
using vantrel::cli::ReadResult;

bool Parse(std::vector<const char*> args, ReadOptions* o, std::string* error) {
  args.insert(args.begin(), "vantrel-read");
  return ParseReadOptions(static_cast<int>(args.size()), args.data(), o, error);
}

TEST(ReadOptions, Accepted) {
  ReadOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"a.png"}, &o, &error)) << error;
  EXPECT_EQ(o.kind, Kind::kAll);
  EXPECT_FALSE(o.json);
  EXPECT_FALSE(o.hasArea);
  EXPECT_EQ(o.rotate, 0);

  ASSERT_TRUE(Parse({"--kind", "qr", "--json", "a.png", "--area", "-5,10,700,20", "b.bmp", "--rotate=270",
                     "--settings=x.ini", "--", "--odd-name.png"},
                    &o, &error))
      << error;
  EXPECT_EQ(o.kind, Kind::kQr);
  EXPECT_TRUE(o.json);
  EXPECT_TRUE(o.hasArea);
  EXPECT_EQ(o.area[0], -5);
  EXPECT_EQ(o.area[3], 20);
  EXPECT_EQ(o.rotate, 270);
  EXPECT_EQ(o.settingsFile, "x.ini");
  EXPECT_EQ(o.pictures, (std::vector<std::string>{"a.png", "b.bmp", "--odd-name.png"}));

  for (auto [arg, kind] : {std::pair{"barcode", Kind::kBarcode}, {"datamatrix", Kind::kDataMatrix}, {"all", Kind::kAll}}) {
    ASSERT_TRUE(Parse({"--kind", arg, "p"}, &o, &error));
    EXPECT_EQ(o.kind, kind);
  }
  ASSERT_TRUE(Parse({"--help"}, &o, &error));
  EXPECT_TRUE(o.help);
  ASSERT_TRUE(Parse({"--version"}, &o, &error));
  EXPECT_TRUE(o.version);
}

TEST(ReadOptions, UsageErrors) {
  const std::vector<std::vector<const char*>> bad = {
      {},
      {"--json"},
      {"--kind", "ean", "a.png"},
      {"--kind"},
      {"--area", "1,2,3", "a.png"},
      {"--area", "1,2,3,4,5", "a.png"},
      {"--area", "1,,3,4", "a.png"},
      {"--area", "a,b,c,d", "a.png"},
      {"--area", "1,2,3,99999999999", "a.png"},
      {"--area", " 1,2,3,4", "a.png"},
      {"--rotate", "45", "a.png"},
      {"--rotate", "-90", "a.png"},
      {"--rotate", "90x", "a.png"},
      {"--settings", "", "a.png"},
      {"--frobnicate", "a.png"},
      {"-x", "a.png"},
      {"--json=yes", "a.png"},
  };
  for (const auto& args : bad) {
    std::string joined;
    for (const char* a : args) joined += std::string(a) + " ";
    SCOPED_TRACE(joined);
    ReadOptions o;
    std::string error;
    EXPECT_FALSE(Parse(args, &o, &error));
    EXPECT_FALSE(error.empty());
  }
}

ReadResult Read(const char* kind, const char* symbology, std::string bytes) {
  ReadResult r;
  r.file = "pic.png";
  r.ok = true;
  r.kind = kind;
  r.symbology = symbology;
  r.bytes = std::move(bytes);
  r.text = vantrel::DecodedBytesToUtf8(r.bytes);
  r.ms = 1.5;
  return r;
}

TEST(ReadOutput, TextLines) {
  EXPECT_EQ(FormatText(Read("barcode", "CODE 128", "ABC-123")), "pic.png\tCODE 128\tABC-123");
  // One line per picture, whatever the code holds.
  EXPECT_EQ(FormatText(Read("qr", "QR", "a\tb\nc\\d\x01")), "pic.png\tQR\ta\\tb\\nc\\\\d\\x01");
  EXPECT_EQ(FormatText(Read("qr", "QR", "\x93\xFA\x96\x7B")), "pic.png\tQR\t日本");
  ReadResult failed;
  failed.file = "x\ty.bmp";
  failed.status = -4;
  EXPECT_EQ(FormatText(failed), "x\\ty.bmp\t-\tDECODE ERROR = -4");
  ReadResult unreadable;
  unreadable.readable = false;
  EXPECT_EQ(FormatText(unreadable), "");  // the message goes to stderr
}

TEST(ReadOutput, JsonObjects) {
  ReadResult qr = Read("qr", "QR", "Hi \"there\"\n\x93\xFA");
  qr.qrVersion = 3;
  qr.qrLevel = "M";
  qr.corners = {{1, 2}, {3, 4}, {5, 6}, {7, 8}};
  const std::string j = FormatJson(qr);
  EXPECT_NE(j.find("\"qr_version\": 3, \"qr_level\": \"M\""), std::string::npos) << j;
  EXPECT_NE(j.find("\"bytes_hex\": \"48692022746865726522" "0a93fa\""), std::string::npos) << j;
  EXPECT_NE(j.find("\"text\": \"Hi \\\"there\\\"\\n日\""), std::string::npos) << j;  // Shift JIS
  EXPECT_NE(j.find("\"corners\": [[1, 2], [3, 4], [5, 6], [7, 8]]"), std::string::npos) << j;
  EXPECT_NE(j.find("\"ms\": 1.500}"), std::string::npos) << j;

  ReadResult bar = Read("barcode", "JAN-13", "4901234567894");
  bar.corners = {{10, 20}, {300, 20}};
  EXPECT_EQ(FormatJson(bar),
            "{\"file\": \"pic.png\", \"ok\": true, \"status\": 0, \"kind\": \"barcode\", \"symbology\": \"JAN-13\", "
            "\"qr_version\": null, \"qr_level\": null, \"text\": \"4901234567894\", "
            "\"bytes_hex\": \"34393031323334353637383934\", \"corners\": [[10, 20], [300, 20]], \"ms\": 1.500}");

  ReadResult failed;
  failed.file = "caf\xE9.png";  // not UTF-8: the JSON stays valid
  failed.status = -4;
  EXPECT_EQ(FormatJson(failed),
            "{\"file\": \"caf\xC3\xA9.png\", \"ok\": false, \"status\": -4, \"kind\": null, \"symbology\": null, "
            "\"qr_version\": null, \"qr_level\": null, \"text\": null, \"bytes_hex\": null, \"corners\": null, "
            "\"ms\": 0.000}");

  ReadResult unreadable;
  unreadable.file = "gone.png";
  unreadable.readable = false;
  unreadable.error = "cannot open the file";
  EXPECT_EQ(FormatJson(unreadable),
            "{\"file\": \"gone.png\", \"ok\": false, \"status\": null, \"kind\": null, \"symbology\": null, "
            "\"qr_version\": null, \"qr_level\": null, \"text\": null, \"bytes_hex\": null, \"corners\": null, "
            "\"ms\": 0.000, \"error\": \"cannot open the file\"}");
  EXPECT_EQ(vantrel::cli::JsonString(std::string("\x01\x7F\b\f\r\t/", 7)), "\"\\u0001\\u007f\\b\\f\\r\\t/\"");
}

TEST(ReadOutput, TextIsWhatTheStationShowsBytesAreExact) {
  // A Data Matrix reading: the station's text leaves the control bytes out.
  ReadResult dm = Read("datamatrix", "DataMatrix", std::string("A\0B\rC", 5));
  dm.text = "ABC";
  EXPECT_EQ(FormatText(dm), "pic.png\tDataMatrix\tABC");
  const std::string j = FormatJson(dm);
  EXPECT_NE(j.find("\"text\": \"ABC\", \"bytes_hex\": \"4100420d43\""), std::string::npos) << j;
}

}  // namespace

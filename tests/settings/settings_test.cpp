#include "vantrel/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "imaging/test_files.h"

namespace {

using vantrel::LoadSettings;
using vantrel::SaveSettings;
using vantrel::SettingsRecord;
using vantrel::test::ReadText;
using vantrel::test::TempFolder;
using vantrel::test::WriteText;

// What the station writes for its defaults, in table order.
const char kDefaultFile[] =
    "[SYSTEM]\n"
    "DeviceNo=1\n"
    "Xsize=640\n"
    "Ysize=480\n"
    "Area=79 59 559 419\n"
    "BarCodeEnable=1\n"
    "QRCodeEnable=0\n"
    "DmxCodeEnable=0\n"
    "OneDecode=1\n"
    "RepeatSeconds=2.000000\n"
    "Beep=0\n"
    "[BARCODE]\n"
    "JAN8=1\n"
    "JAN13=1\n"
    "ITF=1\n"
    "ITF_Min=4\n"
    "ITF_Max=32\n"
    "CODE39=1\n"
    "CODE39_Min=4\n"
    "CODE39_Max=32\n"
    "CODE128=1\n"
    "CODE128_Min=4\n"
    "CODE128_Max=32\n"
    "NW7=1\n"
    "NW7_Min=4\n"
    "NW7_Max=32\n"
    "ScanLevel=1\n"
    "ScanDegree=90.000000\n"
    "AutoBin=0\n"
    "GuideLine=1\n"
    "Robust=1\n"
    "[QRCODE]\n"
    "Threshold=128\n"
    "QRBlack=1\n"
    "TargetColor=0\n"
    "Robust=1\n"
    "[DMXCODE]\n"
    "MaxTime=1000\n"
    "Rad=0.100000\n"
    "Amount=0.000000\n"
    "Threshold=0\n"
    "UnsharpMask=0\n"
    "FullSearch=0\n";

// Every value away from its default.
SettingsRecord Unusual() {
  SettingsRecord s;
  s.DeviceNo = 3; s.Xsize = 1280; s.Ysize = 720;
  s.Area[0] = 5; s.Area[1] = -6; s.Area[2] = 1200; s.Area[3] = 700;
  s.BarCodeEnable = 0; s.QRCodeEnable = 1; s.DmxCodeEnable = 1; s.OneDecode = 0;
  s.RepeatSeconds = 0.5; s.Beep = 1;
  s.JAN8 = 0; s.JAN13 = 0; s.ITF = 0; s.ITF_Min = 6; s.ITF_Max = 40;
  s.CODE39 = 0; s.CODE39_Min = 2; s.CODE39_Max = 9999;
  s.CODE128 = 0; s.CODE128_Min = 1; s.CODE128_Max = 77;
  s.NW7 = 0; s.NW7_Min = 3; s.NW7_Max = 55;
  s.ScanLevel = 4; s.ScanDegree = 37.25; s.AutoBin = 1; s.GuideLine = 0; s.BcdRobust = 0;
  s.QrThreshold = 90; s.QRBlack = 0; s.TargetColor = 2; s.QrRobust = 0;
  s.MaxTime = 250; s.Rad = 2.5; s.Amount = 1.75; s.DmxThreshold = 12; s.UnsharpMask = 1;
  s.DmxFullSearch = 1;
  return s;
}

TEST(SettingsFile, NoFileGivesTheDefaults) {
  TempFolder dir;
  SettingsRecord s = Unusual();
  LoadSettings(dir.File("Vantrel.ini"), &s);
  EXPECT_EQ(s, SettingsRecord{});
  EXPECT_EQ(s.Area[2], 559);
  // ...and a close writes a complete file.
  ASSERT_TRUE(SaveSettings(dir.File("Vantrel.ini"), s));
  EXPECT_EQ(ReadText(dir.File("Vantrel.ini")), kDefaultFile);
}

TEST(SettingsFile, LoadSaveLoadKeepsEveryValue) {
  TempFolder dir;
  const SettingsRecord original = Unusual();
  ASSERT_TRUE(SaveSettings(dir.File("a.ini"), original));
  SettingsRecord back;
  LoadSettings(dir.File("a.ini"), &back);
  EXPECT_EQ(back, original);
  ASSERT_TRUE(SaveSettings(dir.File("b.ini"), back));
  EXPECT_EQ(ReadText(dir.File("a.ini")), ReadText(dir.File("b.ini")));
}

TEST(SettingsFile, AreaDefaultFollowsTheCaptureSize) {
  const struct {
    const char* file;
    int32_t area[4];
  } cases[] = {
      {"[SYSTEM]\nXsize=1280\nYsize=960\n", {159, 119, 1119, 839}},
      {"[SYSTEM]\nXsize=1280\nYsize=960\nArea=1 2 3\n", {159, 119, 1119, 839}},
      {"[SYSTEM]\nArea=1 2 3 4\n", {1, 2, 3, 4}},
      {"[SYSTEM]\nArea=000\n", {79, 59, 559, 419}},
      {"[SYSTEM]\nXsize=4\nYsize=4\n", {0, 0, -1, -1}},  // as the rule gives it for tiny sizes
  };
  TempFolder dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    WriteText(dir.File("Vantrel.ini"), c.file);
    SettingsRecord s;
    LoadSettings(dir.File("Vantrel.ini"), &s);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(s.Area[i], c.area[i]) << i;
  }
}

TEST(SettingsFile, DefaultAreaRule) {
  const struct {
    int32_t w, h;
    int32_t area[4];
  } cases[] = {
      {640, 480, {79, 59, 559, 419}}, {1280, 960, {159, 119, 1119, 839}}, {8, 8, {0, 0, 6, 6}},
      {1, 1, {0, 0, -1, -1}},         {-9, -1, {0, 0, -15, -8}},   {-640, 15, {0, 0, -641, 6}},
      {8, INT32_MAX, {0, 268435454, 6, 1879048184}},
  };
  for (const auto& c : cases) {
    int32_t a[4];
    vantrel::DefaultArea(c.w, c.h, a);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(a[i], c.area[i]) << c.w << "x" << c.h << " " << i;
  }
}

TEST(SettingsFile, ValuesAsTheyStandAndThe000Rule) {
  TempFolder dir;
  WriteText(dir.File("Vantrel.ini"),
            "[QRCODE]\nThreshold=000\nRobust=0\n[DMXCODE]\nThreshold=77\nRad=abc\n"
            "[BARCODE]\nScanLevel=99\nScanDegree=-400.5\nITF_Min=0\n"
            "[SYSTEM]\nRepeatSeconds=-3\nBeep=7\n");
  SettingsRecord s;
  LoadSettings(dir.File("Vantrel.ini"), &s);
  EXPECT_EQ(s.RepeatSeconds, -3.0);  // the history treats it as 0: every reading
  EXPECT_EQ(s.Beep, 7);
  EXPECT_EQ(s.QrThreshold, 128);  // "000" reads as the default
  EXPECT_EQ(s.QrRobust, 0);
  EXPECT_EQ(s.DmxThreshold, 77);
  EXPECT_EQ(s.Rad, 0.1);
  EXPECT_EQ(s.ScanLevel, 99);  // no range checks on load
  EXPECT_EQ(s.ScanDegree, -400.5);
  EXPECT_EQ(s.ITF_Min, 0);

  // The two thresholds are separate keys.
  s.QrThreshold = 200;
  ASSERT_TRUE(SaveSettings(dir.File("Vantrel.ini"), s));
  SettingsRecord back;
  LoadSettings(dir.File("Vantrel.ini"), &back);
  EXPECT_EQ(back.QrThreshold, 200);
  EXPECT_EQ(back.DmxThreshold, 77);
  EXPECT_NE(ReadText(dir.File("Vantrel.ini")).find("ScanDegree=-400.500000\n"), std::string::npos);
}

TEST(SettingsFile, WindowsFileReadsAndKeepsItsShape) {
  TempFolder dir;
  const std::string windows =
      "; written on the old station\r\n"
      "[system]\r\n"
      "deviceno=2\r\n"
      "XSIZE = 800\r\n"
      "ysize=600\r\n"
      "AREA=10 20 700 500\r\n"
      "qrcodeenable=1\r\n"
      "\r\n"
      "[Barcode]\r\n"
      "jan8=0\r\n"
      "scandegree=45.000000\r\n"
      "[QrCode]\r\n"
      "threshold=100\r\n"
      "[DmxCode]\r\n"
      "THRESHOLD=5\r\n"
      "rad=1.500000\r\n"
      "[Extra]\r\n"
      "Kept=yes\r\n";
  WriteText(dir.File("Vantrel.ini"), windows);
  SettingsRecord s;
  LoadSettings(dir.File("Vantrel.ini"), &s);
  SettingsRecord expected;
  expected.DeviceNo = 2; expected.Xsize = 800; expected.Ysize = 600;
  expected.Area[0] = 10; expected.Area[1] = 20; expected.Area[2] = 700; expected.Area[3] = 500;
  expected.QRCodeEnable = 1; expected.JAN8 = 0; expected.ScanDegree = 45.0;
  expected.QrThreshold = 100; expected.DmxThreshold = 5; expected.Rad = 1.5;
  EXPECT_EQ(s, expected);
  EXPECT_EQ(s.BcdRobust, 1);  // a file from before the key reads robustly

  ASSERT_TRUE(SaveSettings(dir.File("Vantrel.ini"), s));
  const std::string after = ReadText(dir.File("Vantrel.ini"));
  EXPECT_EQ(after.rfind("; written on the old station\r\n[system]\r\ndeviceno=2\r\nXSIZE = 800\r\n", 0), 0u)
      << after;
  EXPECT_NE(after.find("[Extra]\r\nKept=yes\r\n"), std::string::npos);
  EXPECT_NE(after.find("OneDecode=1\r\n"), std::string::npos);  // added keys get CRLF too
  EXPECT_EQ(after.find("\n\n"), std::string::npos);
  for (size_t i = after.find('\n'); i != std::string::npos; i = after.find('\n', i + 1))
    EXPECT_EQ(after[i - 1], '\r') << i;
  SettingsRecord back;
  LoadSettings(dir.File("Vantrel.ini"), &back);
  EXPECT_EQ(back, s);
}

TEST(SettingsFile, GuideLinesAreRebuiltBetweenScanKeysAndAutoBin) {
  TempFolder dir;
  WriteText(dir.File("Vantrel.ini"),
            "[SYSTEM]\nArea=1 2 3 4\n[BARCODE]\nScanLevel=3\nScanDegree=30\nAutoBin=1\nGuideLine=0\n"
            "[QRCODE]\nThreshold=50\n");
  SettingsRecord s;
  int calls = 0;
  LoadSettings(dir.File("Vantrel.ini"), &s, [&](const SettingsRecord& seen) {
    ++calls;
    EXPECT_EQ(seen.Area[3], 4);
    EXPECT_EQ(seen.ScanLevel, 3);
    EXPECT_EQ(seen.ScanDegree, 30.0);
    EXPECT_EQ(seen.AutoBin, 0);  // not read yet
    EXPECT_EQ(seen.GuideLine, 1);
    EXPECT_EQ(seen.QrThreshold, 128);
  });
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(s.AutoBin, 1);
  LoadSettings(dir.File("Vantrel.ini"), &s);  // no callback given: fine
  LoadSettings(dir.File("Vantrel.ini"), nullptr);
}

TEST(SettingsFile, SaveReportsFailure) {
  TempFolder dir;
  EXPECT_FALSE(SaveSettings(dir.File("missing/folder/Vantrel.ini"), SettingsRecord{}));
  EXPECT_FALSE(SaveSettings(dir.Path().string(), SettingsRecord{}));
}

class SettingsPath : public ::testing::Test {
 protected:
  void SetUp() override {
    Save("XDG_CONFIG_HOME", &xdg_);
    Save("HOME", &home_);
    Save("VANTREL_SETTINGS", &named_);
  }
  void TearDown() override {
    Restore("XDG_CONFIG_HOME", xdg_);
    Restore("HOME", home_);
    Restore("VANTREL_SETTINGS", named_);
  }
  static void Save(const char* name, std::pair<bool, std::string>* v) {
    const char* e = std::getenv(name);
    *v = {e != nullptr, e ? e : ""};
  }
  static void Restore(const char* name, const std::pair<bool, std::string>& v) {
    if (v.first) ::setenv(name, v.second.c_str(), 1);
    else ::unsetenv(name);
  }
  std::pair<bool, std::string> xdg_, home_, named_;
  TempFolder dir_;
};

TEST_F(SettingsPath, BesideTheProgramWhenWritable) {
  EXPECT_EQ(vantrel::SettingsPathFor("/opt/vantrel/bin", true), "/opt/vantrel/bin/Vantrel.ini");
  EXPECT_EQ(vantrel::SettingsPathFor("/", true), "/Vantrel.ini");
  ::unsetenv("VANTREL_SETTINGS");
  // The test program's own folder is writable.
  std::string self = std::filesystem::canonical("/proc/self/exe").parent_path().string();
  EXPECT_EQ(vantrel::DefaultSettingsPath(), self + "/Vantrel.ini");
  ::setenv("VANTREL_SETTINGS", "/some/other.ini", 1);
  EXPECT_EQ(vantrel::DefaultSettingsPath(), "/some/other.ini");
}

TEST_F(SettingsPath, UserConfigurationWhenTheProgramFolderIsNotWritable) {
  ::setenv("XDG_CONFIG_HOME", dir_.File("cfg").c_str(), 1);
  std::string p = vantrel::SettingsPathFor("/usr/bin", false);
  EXPECT_EQ(p, dir_.File("cfg") + "/vantrel/Vantrel.ini");
  EXPECT_TRUE(std::filesystem::is_directory(dir_.File("cfg") + "/vantrel"));
  EXPECT_TRUE(SaveSettings(p, SettingsRecord{}));

  // A relative or empty XDG_CONFIG_HOME is ignored in favour of ~/.config.
  ::setenv("HOME", dir_.File("home").c_str(), 1);
  for (const char* xdg : {"relative/cfg", ""}) {
    ::setenv("XDG_CONFIG_HOME", xdg, 1);
    EXPECT_EQ(vantrel::SettingsPathFor("/usr/bin", false), dir_.File("home") + "/.config/vantrel/Vantrel.ini");
  }
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(vantrel::SettingsPathFor("/usr/bin", false), dir_.File("home") + "/.config/vantrel/Vantrel.ini");
  EXPECT_TRUE(std::filesystem::is_directory(dir_.File("home") + "/.config/vantrel"));
}

}  // namespace

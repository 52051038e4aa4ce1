#include "vantrel/ovoutil.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "imaging/test_files.h"
#include "vantrel/overlay.h"

namespace {

using vantrel::test::ReadText;
using vantrel::test::TempFolder;
using vantrel::test::WriteText;

TEST(RoundToInt, HalvesAndLimits) {
  const struct {
    double x;
    int32_t expected;
  } cases[] = {
      {2.4, 2},   {2.5, 3},          {-2.5, -2},        {-2.6, -3},       {-0.5, 0},
      {0.5, 1},   {-0.4999, 0},      {-1.5, -1},        {1e12, INT32_MAX}, {-1e12, INT32_MIN},
      {0.0, 0},   {2147483646.5, INT32_MAX},
      {std::numeric_limits<double>::quiet_NaN(), INT32_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(RoundToInt(c.x), c.expected) << c.x;
}

TEST(OvoUtilInitialize, CreatesAndReleasesTheStore) {
  OvoUtilTerminate();  // without a store: nothing happens
  EXPECT_EQ(OverlayAddLine(0, 0, 1, 1, 0), 0);
  ASSERT_EQ(OvoUtilInitialize(), 0);
  EXPECT_EQ(OverlayAddLine(0, 0, 1, 1, 0), 1);
  OvoUtilTerminate();
  EXPECT_EQ(OverlayAddLine(0, 0, 1, 1, 0), 0);
  OvoUtilTerminate();
  // A new store starts empty, with its scales back at 1.
  ASSERT_EQ(OvoUtilInitialize(), 0);
  double px = 0, py = 0;
  OverlaySetScale(2.0, 3.0, &px, &py);
  EXPECT_EQ(px, 1.0);
  EXPECT_EQ(py, 1.0);
  OvoUtilTerminate();
  ASSERT_EQ(OvoUtilInitialize(), 0);
  OverlaySetScale(1.0, 1.0, &px, &py);
  EXPECT_EQ(px, 1.0);
  OvoUtilTerminate();
}

class IniFile : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = dir_.File("test.ini");
    ini_.SetFile(file_);
    ini_.SetSection("SECTION");
  }
  void Store(const std::string& value) { WriteText(file_, "[SECTION]\nkey=" + value + "\n"); }

  TempFolder dir_;
  std::string file_;
  OvoUtilIni ini_;
};

TEST_F(IniFile, ReadInt) {
  const struct {
    const char* text;  // nullptr: no key
    int32_t expected;
  } cases[] = {
      {nullptr, -5},       {"", -5},           {"000", -5},        {"abc", -5},
      {"12abc", 12},       {" 42 ", 42},       {"-7", -7},         {"+8", 8},
      {"0", 0},            {"00", 0},          {"0000", 0},        {"0x10", 0},
      {"2147483647", INT32_MAX},               {"-2147483648", INT32_MIN},
      {"2147483648", -5},  {"99999999999999999999", -5},           {"- 3", -5},
      {"\"17\"", 17},      {"1.9", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(missing)");
    if (c.text) Store(c.text);
    else WriteText(file_, "[SECTION]\nother=1\n");
    int32_t v = 99;
    ini_.ReadInt("key", &v, -5);
    EXPECT_EQ(v, c.expected);
  }
  std::remove(file_.c_str());
  int32_t v = 99;
  ini_.ReadInt("key", &v, 3);  // no file at all
  EXPECT_EQ(v, 3);
  ini_.ReadInt("key", nullptr, 3);
}

TEST_F(IniFile, ReadDouble) {
  const struct {
    const char* text;
    double expected;
  } cases[] = {
      {"90.000000", 90.0}, {"0.1", 0.1}, {"1e2", 100.0}, {" -2.5x", -2.5}, {"000", 0.5},
      {"abc", 0.5},        {"", 0.5},    {"0.000", 0.0}, {"nan", 0.5},     {"inf", 0.5},
      {"1e999", 0.5},      {"7", 7.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Store(c.text);
    double v = -1;
    ini_.ReadDouble("key", &v, 0.5);
    EXPECT_EQ(v, c.expected);
  }
}

TEST_F(IniFile, ReadRect) {
  const int32_t dflt[4] = {79, 59, 559, 419};
  const struct {
    const char* text;
    int32_t expected[4];
  } cases[] = {
      {"1 2 3 4", {1, 2, 3, 4}},       {"1 2 3", {79, 59, 559, 419}},
      {"1 2 3 4 5", {1, 2, 3, 4}},     {"  -1\t2  3 4x", {-1, 2, 3, 4}},
      {"1,2,3,4", {79, 59, 559, 419}}, {"000", {79, 59, 559, 419}},
      {"", {79, 59, 559, 419}},        {"1 2 x 4", {79, 59, 559, 419}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Store(c.text);
    int32_t v[4] = {-9, -9, -9, -9};
    ini_.ReadRect("key", v, dflt);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(v[i], c.expected[i]) << i;
  }
}

TEST_F(IniFile, WritesInTheStationsFormats) {
  EXPECT_EQ(ini_.WriteInt("Int", -42), 1);
  EXPECT_EQ(ini_.WriteDouble("Double", 7.0), 1);
  EXPECT_EQ(ini_.WriteDouble("Small", 0.1), 1);
  const int32_t r[4] = {79, 59, 559, 419};
  EXPECT_EQ(ini_.WriteRect("Rect", r), 1);
  EXPECT_EQ(ReadText(file_),
            "[SECTION]\nInt=-42\nDouble=7.000000\nSmall=0.100000\nRect=79 59 559 419\n");
  // Every value reads back.
  int32_t i = 0;
  double d = 0;
  int32_t back[4] = {};
  ini_.ReadInt("int", &i, 0);
  ini_.ReadDouble("DOUBLE", &d, 0);
  ini_.ReadRect("rect", back, r);
  EXPECT_EQ(i, -42);
  EXPECT_EQ(d, 7.0);
  EXPECT_EQ(back[3], 419);

  OvoUtilIni nowhere;
  nowhere.SetFile(dir_.File("missing/folder/x.ini"));
  nowhere.SetSection("S");
  EXPECT_EQ(nowhere.WriteInt("k", 1), 0);
  EXPECT_EQ(nowhere.WriteRect("k", nullptr), 0);
}

TEST_F(IniFile, LongNamesAreNeverCut) {
  const std::string longSection(400, 'S');
  const std::string longKey(300, 'k');
  std::string longFolder = dir_.File(std::string(200, 'd'));
  std::filesystem::create_directories(longFolder + "/" + std::string(200, 'e'));
  OvoUtilIni ini;
  ini.SetFile(longFolder + "/" + std::string(200, 'e') + "/long.ini");
  ini.SetSection(longSection);
  ASSERT_EQ(ini.WriteInt(longKey, 5), 1);
  int32_t v = 0;
  ini.ReadInt(longKey, &v, 0);
  EXPECT_EQ(v, 5);
  ini.ReadInt(longKey.substr(0, 260), &v, -1);
  EXPECT_EQ(v, -1);
}

// Numbers keep the decimal point whatever locale the window has chosen. A
// German locale (decimal comma) is compiled for the test when the machine can.
TEST_F(IniFile, NumbersIgnoreTheUsersLocale) {
  TempFolder locales;
  std::string cmd = "localedef -i de_DE -f UTF-8 " + locales.File("de_DE.UTF-8") + " >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "no localedef or locale sources";
  const char* oldPath = std::getenv("LOCPATH");
  std::string saved = oldPath ? oldPath : "";
  ::setenv("LOCPATH", locales.Path().c_str(), 1);
  std::string previous = ::setlocale(LC_ALL, nullptr);
  if (!::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale did not load";
  char probe[32];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  EXPECT_STREQ(probe, "1,5");  // the locale is really in force

  EXPECT_EQ(ini_.WriteDouble("ScanDegree", 90.0), 1);
  Store("45.25");
  double d = 0;
  ini_.ReadDouble("key", &d, 0);
  ini_.WriteDouble("Rad", 0.1);
  ::setlocale(LC_ALL, previous.c_str());
  if (oldPath) ::setenv("LOCPATH", saved.c_str(), 1);
  else ::unsetenv("LOCPATH");

  EXPECT_EQ(d, 45.25);
  EXPECT_NE(ReadText(file_).find("Rad=0.100000"), std::string::npos) << ReadText(file_);
}

}  // namespace

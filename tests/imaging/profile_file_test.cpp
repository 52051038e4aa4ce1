#include "vantrel/profile_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "imaging/test_files.h"

namespace {

using vantrel::ProfileApply;
using vantrel::ProfileLookup;
using vantrel::ProfileReadString;
using vantrel::ProfileWriteString;
using vantrel::test::ReadText;
using vantrel::test::TempFolder;
using vantrel::test::WriteText;

// A file as a Windows editor leaves it: CRLF, mixed case, blanks, comments,
// a section given twice and a key given twice.
const std::string kWindowsFile =
    "\xEF\xBB\xBF; station settings\r\n"
    "[System]\r\n"
    "  deviceno = 2  \r\n"
    "XSIZE=1280\r\n"
    "xsize=999\r\n"
    "Name=\"quoted value\"\r\n"
    "Single='x'\r\n"
    "Half=\"open\r\n"
    "Empty=\r\n"
    "NoEquals\r\n"
    ";Commented=5\r\n"
    "\r\n"
    "[ barcode ]\r\n"
    "ScanDegree=45.5\r\n"
    "[SYSTEM]\r\n"
    "Later=1\r\n";

struct LookupCase {
  const char* section;
  const char* key;
  const char* expected;  // nullptr: missing
};

TEST(ProfileLookup, WindowsRules) {
  const LookupCase cases[] = {
      {"SYSTEM", "DeviceNo", "2"},          // case-insensitive, blanks trimmed
      {"system", "Xsize", "1280"},          // first of two keys wins
      {"SYSTEM", "Name", "quoted value"},   // one pair of quotes is removed
      {"SYSTEM", "Single", "x"},
      {"SYSTEM", "Half", "\"open"},         // an unmatched quote stays
      {"SYSTEM", "Empty", ""},              // present but empty is not missing
      {"SYSTEM", "NoEquals", nullptr},
      {"SYSTEM", "Commented", nullptr},
      {"SYSTEM", ";Commented", nullptr},
      {"BARCODE", "scandegree", "45.5"},    // blanks inside the brackets
      {" BarCode ", " ScanDegree ", "45.5"},
      {"SYSTEM", "Later", nullptr},         // only the first section of a name is read
      {"QRCODE", "Threshold", nullptr},
      {"SYSTEM", "ScanDegree", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    auto v = ProfileLookup(kWindowsFile, c.section, c.key);
    if (!c.expected) {
      EXPECT_FALSE(v.has_value()) << *v;
    } else {
      ASSERT_TRUE(v.has_value());
      EXPECT_EQ(*v, c.expected);
    }
  }
}

TEST(ProfileLookup, OddTexts) {
  EXPECT_FALSE(ProfileLookup("", "A", "k"));
  EXPECT_FALSE(ProfileLookup("k=1\n[A]\n", "A", "k"));  // keys before any section belong to none
  EXPECT_EQ(*ProfileLookup("[A]\nk=1", "A", "k"), "1");  // no line break at the end
  EXPECT_EQ(*ProfileLookup("[A\nk=2\n", "A", "k"), "2");  // unclosed bracket
  EXPECT_EQ(*ProfileLookup("[A] trailing\nk=3\n", "A", "k"), "3");
  EXPECT_EQ(*ProfileLookup("[A]\nk = a = b\n", "A", "k"), "a = b");  // split at the first '='
  EXPECT_EQ(*ProfileLookup("[A]\n\tk\t=\t7\t\n", "A", "k"), "7");
  EXPECT_EQ(*ProfileLookup("[A]\r\nk=1\r", "A", "k"), "1");  // a CR without LF at the very end
  EXPECT_EQ(*ProfileLookup("[A]\r\nk=1\r\r\n", "A", "k"), "1");
}

struct ApplyCase {
  const char* name;
  std::string before;
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};

TEST(ProfileApply, ChangesOneLineAndKeepsTheRest) {
  const ApplyCase cases[] = {
      {"new file", "", "SYSTEM", "Xsize", "640", "[SYSTEM]\nXsize=640\n"},
      {"new section after text without a final break", "[A]\nk=1", "B", "j", "2",
       "[A]\nk=1\n[B]\nj=2\n"},
      {"new key goes after the section's last key", "[A]\nk=1\n\n; note\n[B]\nm=3\n", "A", "j", "2",
       "[A]\nk=1\nj=2\n\n; note\n[B]\nm=3\n"},
      {"new key in an empty section", "[A]\n[B]\n", "a", "j", "2", "[A]\nj=2\n[B]\n"},
      {"value replaced, spelling and spacing of the key kept", "[a]\n  Key = 5  \n", "A", "KEY", "7",
       "[a]\n  Key = 7\n"},
      {"CRLF kept on the changed line", "[A]\r\nk=1\r\nz=9\r\n", "A", "k", "22", "[A]\r\nk=22\r\nz=9\r\n"},
      {"CRLF used for added lines", "[A]\r\nk=1\r\n", "B", "j", "2", "[A]\r\nk=1\r\n[B]\r\nj=2\r\n"},
      {"CRLF key added", "[A]\r\nk=1\r\n", "A", "j", "2", "[A]\r\nk=1\r\nj=2\r\n"},
      {"first of two keys changed", "[A]\nk=1\nk=2\n", "A", "k", "3", "[A]\nk=3\nk=2\n"},
      {"byte-order mark kept", "\xEF\xBB\xBF[A]\nk=1\n", "A", "k", "2", "\xEF\xBB\xBF[A]\nk=2\n"},
      {"empty value", "[A]\nk=1\n", "A", "k", "", "[A]\nk=\n"},
      {"last line without a break", "[A]\nk=1", "A", "j", "2", "[A]\nk=1\nj=2\n"},
      {"a lone CR at the end completes its CRLF", "[A]\r\nk=1\r", "A", "j", "2", "[A]\r\nk=1\r\nj=2\r\n"},
      {"and so for a new section", "[A]\r\nk=\r", "B", "j", "2", "[A]\r\nk=\r\n[B]\r\nj=2\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto out = ProfileApply(c.before, c.section, c.key, c.value);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(*out, c.after);
    EXPECT_EQ(*ProfileLookup(*out, c.section, c.key), c.value);
  }
}

TEST(ProfileApply, RefusesWhatCannotBeOneLine) {
  const char* const bad[][3] = {
      {"A", "k", "two\nlines"}, {"A", "k", "cr\r"},   {"A", "k=v", "1"}, {"A]", "k", "1"},
      {"", "k", "1"},           {"A", "", "1"},       {"A", " ", "1"},   {"A", "[k", "1"},
      {"A", ";k", "1"},         {"A\nB", "k", "1"},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(std::string(b[0]) + "|" + b[1] + "|" + b[2]);
    EXPECT_FALSE(ProfileApply("[A]\nk=1\n", b[0], b[1], b[2]).has_value());
  }
}

TEST(ProfileReadString, DefaultsAndBufferSize) {
  TempFolder dir;
  std::string file = dir.File("p.ini");
  EXPECT_EQ(ProfileReadString(file, "A", "k", "dflt", 100), "dflt");  // no file
  WriteText(file, "[A]\nk=0123456789\n");
  EXPECT_EQ(ProfileReadString(file, "A", "k", "dflt", 100), "0123456789");
  EXPECT_EQ(ProfileReadString(file, "A", "k", "dflt", 5), "0123");  // size - 1 characters
  EXPECT_EQ(ProfileReadString(file, "A", "k", "dflt", 1), "");
  EXPECT_EQ(ProfileReadString(file, "A", "k", "dflt", 0), "");
  EXPECT_EQ(ProfileReadString(file, "A", "x", "dflt", 3), "df");
  EXPECT_EQ(ProfileReadString(file, "B", "k", "dflt", 100), "dflt");
  EXPECT_EQ(ProfileReadString(dir.Path().string(), "A", "k", "dflt", 100), "dflt");  // a folder
}

TEST(ProfileWriteString, CreatesAndKeepsEverythingElse) {
  TempFolder dir;
  std::string file = dir.File("Vantrel.ini");
  ASSERT_TRUE(ProfileWriteString(file, "SYSTEM", "Xsize", "640"));
  ASSERT_TRUE(ProfileWriteString(file, "SYSTEM", "Ysize", "480"));
  ASSERT_TRUE(ProfileWriteString(file, "QRCODE", "Threshold", "128"));
  ASSERT_TRUE(ProfileWriteString(file, "system", "XSIZE", "1280"));
  EXPECT_EQ(ReadText(file), "[SYSTEM]\nXsize=1280\nYsize=480\n[QRCODE]\nThreshold=128\n");

  WriteText(file, kWindowsFile);
  ASSERT_TRUE(ProfileWriteString(file, "SYSTEM", "DeviceNo", "3"));
  std::string expected = kWindowsFile;
  expected.replace(expected.find("2  \r\n"), 3, "3");
  EXPECT_EQ(ReadText(file), expected);
}

TEST(ProfileWriteString, ReplacesTheFileAsAWhole) {
  TempFolder dir;
  std::string file = dir.File("Vantrel.ini");
  WriteText(file, "[A]\nk=1\n");
  ::chmod(file.c_str(), 0640);
  ASSERT_TRUE(ProfileWriteString(file, "A", "k", "2"));
  // Nothing is left beside it, and the file keeps its permissions.
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) names.push_back(e.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"Vantrel.ini"});
  struct stat st;
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  // A symbolic link stays a link; its target receives the change.
  std::string target = dir.File("real.ini");
  WriteText(target, "[A]\nk=1\n");
  std::string link = dir.File("link.ini");
  std::filesystem::create_symlink(target, link);
  ASSERT_TRUE(ProfileWriteString(link, "A", "k", "5"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadText(target), "[A]\nk=5\n");
}

TEST(ProfileWriteString, FailuresLeaveTheFileAlone) {
  TempFolder dir;
  EXPECT_FALSE(ProfileWriteString(dir.File("no/such/folder/x.ini"), "A", "k", "1"));
  EXPECT_FALSE(ProfileWriteString("", "A", "k", "1"));
  EXPECT_FALSE(ProfileWriteString(dir.Path().string(), "A", "k", "1"));  // a folder
  std::string file = dir.File("x.ini");
  WriteText(file, "[A]\nk=1\n");
  EXPECT_FALSE(ProfileWriteString(file, "A", "k", "two\nlines"));
  EXPECT_EQ(ReadText(file), "[A]\nk=1\n");
}

}  // namespace

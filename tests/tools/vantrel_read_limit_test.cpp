// vantrel-read and pictures too large to take: refused from the header, with
// their size named, exit 2, and no more memory than any small picture needs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/declared_size_files.h"
#include "imaging/test_files.h"
#include "tools/tool_run.h"
#include "vantrel/dib_file.h"

namespace {

using vantrel::test::ReadText;
using vantrel::test::RunTool;
using vantrel::test::TempFolder;
using vantrel::test::ToolOptions;
using vantrel::test::ToolRun;
using vantrel::test::WriteText;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

class VantrelReadLimit : public ::testing::Test {
 protected:
  // maxPixelsEnv: the program's VANTREL_MAX_PIXELS; null leaves it out.
  ToolRun Tool(const std::vector<std::string>& args, const char* maxPixelsEnv = nullptr) {
    ToolOptions options;
    options.unset = {"VANTREL_MAX_PIXELS"};
    if (maxPixelsEnv) options.set = {std::string("VANTREL_MAX_PIXELS=") + maxPixelsEnv};
    return RunTool(VANTREL_READ_PROGRAM, args, dir_.File("stdout.txt"), dir_.File("stderr.txt"), options);
  }

  std::string Put(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir_.File(name);
    WriteText(path, std::string(bytes.begin(), bytes.end()));
    return path;
  }

  TempFolder dir_;
};

TEST_F(VantrelReadLimit, ABombIsRefusedWithItsSizeAndLittleMemory) {
  const std::string bomb = Put("bomb.png", vantrel::test::PngDeclaring(30000, 30000));
  ToolRun r = Tool({"--kind", "all", bomb});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "vantrel-read: " + bomb + ": picture too large (30000 \u00d7 30000)\n");
  // Reading the picture would take 900 MB; the program itself needs a few.
  if (!kSanitized) {
    EXPECT_LT(r.peakKilobytes, 50 * 1024);
  }

  ToolRun json = Tool({"--json", bomb});
  EXPECT_EQ(json.status, 2);
  EXPECT_NE(json.out.find("\"ok\": false, \"status\": null"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"error\": \"picture too large (30000 \u00d7 30000)\""), std::string::npos)
      << json.out;
}

TEST_F(VantrelReadLimit, TheOptionAndTheEnvironmentSetTheLimit) {
  const std::string small = Put("small.tiff", vantrel::test::TiffDeclaring(40, 25));  // 1000 pixels
  const std::string tooLarge = "vantrel-read: " + small + ": picture too large (40 \u00d7 25)\n";
  const struct {
    std::vector<std::string> args;
    const char* env;
    int status;
  } cases[] = {
      {{"--max-pixels", "1000", small}, nullptr, 1},  // read; no code in it
      {{"--max-pixels=999", small}, nullptr, 2},
      {{small}, "999", 2},
      {{"--max-pixels", "1000", small}, "999", 1},     // the option wins
      {{small}, "not a number", 1},                    // the default
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args) + " VANTREL_MAX_PIXELS=" + (c.env ? c.env : "(unset)"));
    ToolRun r = Tool(c.args, c.env);
    EXPECT_EQ(r.status, c.status);
    if (c.status == 2) EXPECT_EQ(r.err, tooLarge);
    else EXPECT_EQ(r.out.rfind(small + "\t-\tDECODE ERROR = ", 0), 0u) << r.out << r.err;
  }

  for (const char* value : {"0", "-5", "abc", "12x", "+7", ""}) {
    SCOPED_TRACE(value);
    ToolRun r = Tool({"--max-pixels", value, small});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("--max-pixels must be a whole number above 0"), std::string::npos) << r.err;
  }
  ToolRun help = Tool({"--help"});
  EXPECT_NE(help.out.find("--max-pixels N"), std::string::npos);
}

}  // namespace

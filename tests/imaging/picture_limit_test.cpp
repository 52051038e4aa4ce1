// The readers' pixel limit: small files that declare huge pictures are refused
// from their headers, before any memory of the picture's size is asked for.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imaging/allocation_probe.h"
#include "imaging/bmp_builder.h"
#include "imaging/declared_size_files.h"
#include "imaging/test_files.h"
#include "vantrel/dib_file.h"

namespace {

using vantrel::test::BmpLayout;
using vantrel::test::BuildBmp;
using vantrel::test::GifWithFrame;
using vantrel::test::PngDeclaring;
using vantrel::test::PutBigEndian;
using vantrel::test::TiffDeclaring;
using vantrel::test::LargestAllocation;
using vantrel::test::ReadText;
using vantrel::test::TempFolder;
using vantrel::test::WriteText;
using Bytes = std::vector<uint8_t>;

struct DibDeleter {
  void operator()(GmBlock* h) const { DibFree(h); }
};
using DibPtr = std::unique_ptr<GmBlock, DibDeleter>;

// Sets an environment variable for the life of the object, then puts back what was there.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class PictureLimits : public ::testing::Test {
 protected:
  std::string Put(const std::string& name, const Bytes& bytes) {
    const std::string path = dir_.File(name);
    WriteText(path, std::string(bytes.begin(), bytes.end()));
    return path;
  }

  Bytes Saved(const std::string& name, int32_t w, int32_t h, int32_t bytesPerPixel) {
    DibPtr picture(DibCreate(w, h, bytesPerPixel, 4));
    uint8_t* bits = DibGetBits(picture.get());
    for (int32_t i = 0; i < DibGetStride(picture.get()) * h; ++i) bits[i] = uint8_t(i * 7);
    const std::string path = dir_.File(name);
    EXPECT_EQ(DibSaveFile(path.c_str(), picture.get()), 1) << name;
    const std::string text = ReadText(path);
    return Bytes(text.begin(), text.end());
  }

  TempFolder dir_;
};

TEST_F(PictureLimits, BombsAreRefusedFromTheHeaderWithoutTheirMemory) {
  Bytes jpeg = Saved("small.jpg", 16, 16, 3);
  for (size_t i = 2; i + 8 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      PutBigEndian(jpeg, i + 5, 30000, 2);  // height
      PutBigEndian(jpeg, i + 7, 30000, 2);  // width
      break;
    }
  Bytes gif = Saved("small.gif", 16, 16, 3);
  gif[6] = gif[8] = 30000 & 0xFF;
  gif[7] = gif[9] = 30000 >> 8;
  BmpLayout bmp;
  bmp.width = bmp.height = 30000;
  bmp.truncateTo = 300;

  const struct {
    const char* name;
    Bytes file;
  } bombs[] = {
      {"PNG", PngDeclaring(30000, 30000)},
      {"JPEG", jpeg},
      {"TIFF", TiffDeclaring(30000, 30000)},
      {"GIF", gif},
      {"GIF frame far beyond its 16 x 16 canvas", GifWithFrame(16, 16, 30000, 30000)},
      {"BMP", BuildBmp(bmp)},
  };
  // The probe sees a picture's memory when there is one to see.
  const Bytes real = Saved("real.png", 1500, 1000, 1);
  {
    LargestAllocation probe;
    DibPtr picture(DibReadPictureMemoryLimited(real.data(), real.size(), 0, nullptr));
    ASSERT_TRUE(picture);
    EXPECT_GE(probe.Bytes(), 1500u * 1000u);
  }

  for (const auto& b : bombs) {
    SCOPED_TRACE(b.name);
    ASSERT_LT(b.file.size(), 64u * 1024);
    const std::string path = Put("bomb", b.file);
    for (bool fromFile : {true, false}) {
      DibReadReport report{-1, 0, 0};
      DibImage picture = nullptr;
      size_t largest = 0;
      {
        LargestAllocation probe;
        picture = fromFile ? DibReadPictureFileLimited(path.c_str(), 0, &report)
                           : DibReadPictureMemoryLimited(b.file.data(), b.file.size(), 0, &report);
        largest = probe.Bytes();
      }
      EXPECT_EQ(picture, nullptr);
      DibFree(picture);
      EXPECT_EQ(report.status, kDibReadTooLarge) << DibReadStatusText(report.status);
      EXPECT_EQ(report.width, 30000u);
      EXPECT_EQ(report.height, 30000u);
      // The picture would take 900 MB at least; the libraries' own work areas
      // for a header come to some tens of kilobytes.
      EXPECT_LT(largest, size_t{1} << 20) << (fromFile ? "file" : "memory");
    }
  }

  // The station's loader refuses the BMP too, and leaves its frame alone.
  DibPtr frame(DibCreate(64, 48, 3, 4));
  std::memset(DibGetBits(frame.get()), 0x5A, size_t(DibGetStride(frame.get())) * 48);
  EXPECT_EQ(DibLoadFile(Put("bomb.bmp", BuildBmp(bmp)).c_str(), frame.get()), 1);
  EXPECT_EQ(DibGetBits(frame.get())[0], 0x5A);
}

TEST_F(PictureLimits, TheLimitCountsPixelsWhateverTheFormat) {
  // 40 x 25 = 1000 pixels: read under a limit of 1000, refused under 999.
  BmpLayout bmp;
  bmp.width = 40;
  bmp.height = -25;
  const struct {
    const char* name;
    Bytes file;
  } files[] = {
      {"PNG", Saved("p.png", 40, 25, 1)},   {"JPEG", Saved("p.jpg", 40, 25, 3)},
      {"TIFF", TiffDeclaring(40, 25)},      {"GIF", Saved("p.gif", 40, 25, 3)},
      {"BMP", BuildBmp(bmp)},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    DibReadReport report{-1, 0, 0};
    DibPtr atLimit(DibReadPictureMemoryLimited(f.file.data(), f.file.size(), 1000, &report));
    ASSERT_TRUE(atLimit) << DibReadStatusText(report.status);
    EXPECT_EQ(report.status, kDibReadOk);
    EXPECT_EQ(report.width, 40u);
    EXPECT_EQ(report.height, 25u);
    DibPtr over(DibReadPictureMemoryLimited(f.file.data(), f.file.size(), 999, &report));
    EXPECT_FALSE(over);
    EXPECT_EQ(report.status, kDibReadTooLarge);
    EXPECT_EQ(report.width, 40u);
    EXPECT_EQ(report.height, 25u);
    // A null report is allowed.
    EXPECT_EQ(DibReadPictureMemoryLimited(f.file.data(), f.file.size(), 999, nullptr), nullptr);
  }
}

TEST_F(PictureLimits, TheEnvironmentSetsTheLimitNobodyGives) {
  const struct {
    const char* value;  // null: not set
    uint64_t limit;
  } cases[] = {
      {nullptr, 100000000},  {"", 100000000},     {"999", 999},
      {"250000000", 250000000},
      {"0", 100000000},      {"-5", 100000000},   {"abc", 100000000},
      {"1e9", 100000000},    {" 999", 100000000}, {"99999999999999999999999", 100000000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value ? std::string("\"") + c.value + "\"" : "unset");
    ScopedEnv env("VANTREL_MAX_PIXELS", c.value);
    EXPECT_EQ(DibMaxPixels(), c.limit);
  }

  BmpLayout layout;
  layout.width = 40;
  layout.height = 25;
  const std::string bmp = Put("p.bmp", BuildBmp(layout));
  ScopedEnv env("VANTREL_MAX_PIXELS", "999");
  // Every reader that takes no limit of its caller follows the variable...
  int32_t status = -1;
  EXPECT_EQ(DibReadPictureFile(bmp.c_str(), &status), nullptr);
  EXPECT_EQ(status, kDibReadTooLarge);
  DibPtr frame(DibCreate(64, 48, 3, 4));
  EXPECT_EQ(DibLoadFile(bmp.c_str(), frame.get()), 1);
  EXPECT_EQ(DibReadBmp(bmp.c_str(), frame.get()), 1);
  // ...and a caller's own limit overrides it.
  DibReadReport report{};
  DibPtr read(DibReadPictureFileLimited(bmp.c_str(), 1000, &report));
  EXPECT_TRUE(read) << DibReadStatusText(report.status);

  ScopedEnv wider("VANTREL_MAX_PIXELS", "1000");
  EXPECT_EQ(DibLoadFile(bmp.c_str(), frame.get()), 0);
}

}  // namespace

#include "qr_test_support.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "vantrel/OvoQrc.h"

namespace vantrel::qrtest {

namespace {

// Every QR test process works in a folder of its own: initialization reads
// and termination writes OvoQrc.ini in the current directory, which must never
// be the source or build tree.
class TemporaryFolder : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/vantrel-qr-XXXXXX";
    const char* dir = mkdtemp(pattern);
    ASSERT_NE(dir, nullptr);
    folder_ = dir;
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(folder_);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
    std::filesystem::remove_all(folder_, ec);
  }

 private:
  std::filesystem::path folder_, previous_;
};

[[maybe_unused]] ::testing::Environment* const kFolder =
    ::testing::AddGlobalTestEnvironment(new TemporaryFolder);

}  // namespace

BinaryCanvas BinaryCanvas::FromRows(const std::vector<std::string>& rows) {
  BinaryCanvas c(rows.empty() ? 0 : static_cast<int32_t>(rows[0].size()),
                 static_cast<int32_t>(rows.size()));
  for (int32_t y = 0; y < c.h_; ++y)
    for (int32_t x = 0; x < c.w_ && x < static_cast<int32_t>(rows[y].size()); ++x)
      c.Set(x, y, rows[y][x] == '#');
  return c;
}

void BinaryCanvas::Fill(int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool set) {
  for (int32_t y = y0; y <= y1; ++y)
    for (int32_t x = x0; x <= x1; ++x) Set(x, y, set);
}

void BinaryCanvas::Paint(const test::ModuleMatrix& m, int32_t module, int32_t ox, int32_t oy) {
  for (int32_t r = 0; r < m.height; ++r)
    for (int32_t c = 0; c < m.width; ++c)
      Fill(ox + c * module, oy + r * module, ox + (c + 1) * module - 1, oy + (r + 1) * module - 1,
           m.At(c, r));
}

void BinaryCanvas::PaintFinder(int32_t module, int32_t ox, int32_t oy) {
  for (int32_t r = 0; r < 7; ++r)
    for (int32_t c = 0; c < 7; ++c) {
      const bool ring = r == 0 || r == 6 || c == 0 || c == 6;
      const bool core = r >= 2 && r <= 4 && c >= 2 && c <= 4;
      Fill(ox + c * module, oy + r * module, ox + (c + 1) * module - 1, oy + (r + 1) * module - 1,
           ring || core);
    }
}

test::ModuleMatrix ZintQr(const std::vector<std::string>& options, const std::string& data) {
  test::ModuleMatrix m;
  std::vector<std::string> all = {"-b", "QRCODE"};
  all.insert(all.end(), options.begin(), options.end());
  std::string error;
  EXPECT_TRUE(test::ZintModules(all, data, &m, &error)) << error;
  return m;
}

void CrispCorners(int32_t N, int32_t module, int32_t ox, int32_t oy, qr::QrPoint P[12]) {
  static constexpr int32_t kEdges[12][2] = {{0, 0}, {7, 0}, {7, 7}, {0, 7},  // filled with N below
                                            {-7, 0}, {0, 0}, {0, 7}, {-7, 7},
                                            {0, -7}, {7, -7}, {7, 0}, {0, 0}};
  for (int32_t i = 0; i < 12; ++i) {
    int32_t c = kEdges[i][0], r = kEdges[i][1];
    if (i >= 4 && i <= 7) c += N;
    if (i >= 8) r += N;
    P[i] = {static_cast<float>(ox + c * module), static_cast<float>(oy + r * module)};
  }
}

DecodeOutcome DecodeWithLibrary(DibImage picture, const int32_t* area, int32_t threshold,
                                int32_t darkModules, int32_t channel, int32_t robust) {
  DecodeOutcome out;
  EXPECT_EQ(OvoQrcSetImage(picture), 0);
  const int32_t whole[4] = {0, 0, DibGetWidth(picture) - 1, DibGetHeight(picture) - 1};
  OvoQrcSetArea(area ? area : whole);
  OvoQrcSetColor(channel);
  OvoQrcSetThreshold(threshold, darkModules);
  OvoQrcSetRobust(robust);
  out.status = OvoQrcDecode(&out.count);
  for (int32_t i = 0; i < out.count; ++i) {
    DecodedSymbol s;
    std::vector<uint8_t> buf(9000);
    int32_t len = static_cast<int32_t>(buf.size());
    EXPECT_EQ(OvoQrcGetData(i, &len, buf.data()), 0);
    s.data.assign(reinterpret_cast<const char*>(buf.data()), static_cast<size_t>(len));
    EXPECT_EQ(OvoQrcGetVersion(i, &s.version), 0);
    EXPECT_EQ(OvoQrcGetLevel(i, &s.level), 0);
    int32_t* c = s.corners;
    EXPECT_EQ(OvoQrcGetPosition(i, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]), 0);
    EXPECT_EQ(OvoQrcGetSymbolInfo(i, &s.modifier, &s.encoding, &s.mirrored), 0);
    out.symbols.push_back(s);
  }
  return out;
}

std::string ToShiftJis(const std::string& utf8) {
  iconv_t cd = iconv_open("SHIFT_JIS", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string in = utf8, out(utf8.size() * 2 + 8, '\0');
  char* ip = in.data();
  char* op = out.data();
  size_t il = in.size(), ol = out.size();
  const size_t rc = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) return {};
  out.resize(out.size() - ol);
  return out;
}

}  // namespace vantrel::qrtest

#include "symbol_render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <unistd.h>

namespace vantrel::test {

namespace {

std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') q += "'\\''";
    else q += c;
  }
  return q + "'";
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool ZintModules(const std::vector<std::string>& options, const std::string& data, ModuleMatrix* out,
                 std::string* error) {
  char path[] = "/tmp/vantrel-zint-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) {
    if (error) *error = "cannot create a temporary file";
    return false;
  }
  if (!data.empty() && write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())) {
    close(fd);
    unlink(path);
    if (error) *error = "cannot write the temporary file";
    return false;
  }
  close(fd);
  std::string cmd = "zint --dump";
  for (const auto& o : options) cmd += " " + ShellQuote(o);
  // Warnings go to stderr with a zero status; only a failure's message matters.
  std::string errPath = std::string(path) + ".err";
  cmd += " -i " + ShellQuote(path) + " 2>" + ShellQuote(errPath);
  std::string text;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    int rc = pclose(p);
    unlink(path);
    std::ifstream errIn(errPath);
    std::string errText((std::istreambuf_iterator<char>(errIn)), std::istreambuf_iterator<char>());
    unlink(errPath.c_str());
    if (rc != 0) {
      if (error) *error = "zint: " + errText + text;
      return false;
    }
  } else {
    unlink(path);
    if (error) *error = "cannot run zint";
    return false;
  }

  // Each line is one row: groups of two hex digits (8 modules), the last group
  // possibly one digit; bits past the symbol's width are zero.
  std::vector<std::vector<uint8_t>> rows;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<uint8_t> row;
    for (char c : line) {
      int v = HexValue(c);
      if (v < 0) {
        if (c == ' ' || c == '\r') continue;
        if (error) *error = "unexpected zint output: " + text;
        return false;
      }
      for (int b = 3; b >= 0; --b) row.push_back(static_cast<uint8_t>((v >> b) & 1));
    }
    if (!row.empty()) rows.push_back(std::move(row));
  }
  if (rows.empty()) {
    if (error) *error = "zint gave no modules";
    return false;
  }
  int32_t width = 0;
  for (const auto& r : rows)
    for (int32_t i = static_cast<int32_t>(r.size()) - 1; i >= 0; --i)
      if (r[i]) {
        width = std::max(width, i + 1);
        break;
      }
  out->width = width;
  out->height = static_cast<int32_t>(rows.size());
  out->dark.assign(static_cast<size_t>(width) * out->height, 0);
  for (int32_t y = 0; y < out->height; ++y)
    for (int32_t x = 0; x < width && x < static_cast<int32_t>(rows[y].size()); ++x)
      out->dark[static_cast<size_t>(y) * width + x] = rows[y][x];
  return true;
}

void FillGrey(DibImage picture, uint8_t level) {
  uint8_t* bits = DibGetBits(picture);
  if (!bits) return;
  std::fill(bits, bits + static_cast<size_t>(DibGetStride(picture)) * DibGetHeight(picture), level);
}

void PaintSymbol(DibImage picture, const ModuleMatrix& m, const RenderOptions& o) {
  const int32_t pw = DibGetWidth(picture), ph = DibGetHeight(picture);
  const int32_t bpp = DibGetBitCount(picture) / 8;
  const int32_t stride = DibGetStride(picture);
  uint8_t* bits = DibGetBits(picture);
  if (!bits || (bpp != 1 && bpp != 3 && bpp != 4) || m.width <= 0) return;

  const bool oneD = m.height == 1;
  const double symW = m.width, symH = oneD ? o.barHeight : m.height;
  const double W = symW + 2.0 * o.quietZone, H = symH + 2.0 * o.quietZone;
  const double cx = o.centreX < 0 ? pw / 2.0 : o.centreX;
  const double cy = o.centreY < 0 ? ph / 2.0 : o.centreY;
  const double s = o.moduleSize;
  const double th = o.angleDeg * M_PI / 180.0;
  const double ct = std::cos(th), st = std::sin(th);
  const uint8_t darkLevel = o.invert ? o.light : o.dark;
  const uint8_t lightLevel = o.invert ? o.dark : o.light;

  // Picture-space bounding box of the quiet-zone rectangle.
  double minX = 1e18, maxX = -1e18, minY = 1e18, maxY = -1e18;
  for (double u : {-W / 2, W / 2})
    for (double v : {-H / 2, H / 2}) {
      double x = cx + s * (u * ct + v * st);
      double y = cy + s * (-u * st + v * ct);
      minX = std::min(minX, x); maxX = std::max(maxX, x);
      minY = std::min(minY, y); maxY = std::max(maxY, y);
    }
  const int32_t x0 = std::max(0, static_cast<int32_t>(std::floor(minX)) - 1);
  const int32_t x1 = std::min(pw - 1, static_cast<int32_t>(std::ceil(maxX)) + 1);
  const int32_t y0 = std::max(0, static_cast<int32_t>(std::floor(minY)) - 1);
  const int32_t y1 = std::min(ph - 1, static_cast<int32_t>(std::ceil(maxY)) + 1);

  constexpr int kSub = 4;
  for (int32_t py = y0; py <= y1; ++py) {
    uint8_t* row = bits + static_cast<ptrdiff_t>(py) * stride;
    for (int32_t px = x0; px <= x1; ++px) {
      int inside = 0;
      double sum = 0;
      for (int sy = 0; sy < kSub; ++sy)
        for (int sx = 0; sx < kSub; ++sx) {
          double dx = px + (sx + 0.5) / kSub - cx, dy = py + (sy + 0.5) / kSub - cy;
          double a = (dx * ct - dy * st) / s, b = (dx * st + dy * ct) / s;
          double k = 1.0 - o.perspective * (0.5 - b / H);
          double u = a / k + W / 2, v = b + H / 2;
          if (u < 0 || v < 0 || u >= W || v >= H) continue;
          ++inside;
          int32_t col = static_cast<int32_t>(std::floor(u)) - o.quietZone;
          int32_t rw = static_cast<int32_t>(std::floor(v)) - o.quietZone;
          bool isDark = false;
          if (col >= 0 && col < m.width && rw >= 0 && rw < symH)
            isDark = m.At(col, oneD ? 0 : rw);
          sum += isDark ? darkLevel : lightLevel;
        }
      if (inside == 0) continue;
      uint8_t* p = row + static_cast<ptrdiff_t>(px) * bpp;
      double old = p[0];
      double value = (sum + old * (kSub * kSub - inside)) / (kSub * kSub);
      uint8_t v8 = static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
      for (int32_t c = 0; c < std::min(bpp, 3); ++c) p[c] = v8;
    }
  }
}

DibPtr RenderSymbol(const ModuleMatrix& m, const RenderOptions& o, int32_t width, int32_t height,
                    int32_t bytesPerPixel) {
  DibPtr pic(DibCreate(width, height, bytesPerPixel, 4));
  if (!pic) return pic;
  FillGrey(pic.get(), o.invert ? o.dark : o.background);
  PaintSymbol(pic.get(), m, o);
  return pic;
}

void GaussianBlur(DibImage picture, double sigma) {
  if (sigma <= 0) return;
  const int32_t w = DibGetWidth(picture), h = DibGetHeight(picture);
  const int32_t bpp = (DibGetBitCount(picture) + 7) / 8, stride = DibGetStride(picture);
  uint8_t* bits = DibGetBits(picture);
  if (!bits) return;
  const int r = std::max(1, static_cast<int>(std::ceil(3 * sigma)));
  std::vector<double> k(2 * r + 1);
  double total = 0;
  for (int i = -r; i <= r; ++i) total += k[i + r] = std::exp(-(i * i) / (2 * sigma * sigma));
  for (auto& v : k) v /= total;
  std::vector<double> tmp(static_cast<size_t>(w) * h);
  for (int32_t c = 0; c < bpp; ++c) {
    auto at = [&](int32_t x, int32_t y) -> uint8_t& { return bits[static_cast<ptrdiff_t>(y) * stride + x * bpp + c]; };
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        double acc = 0;
        for (int i = -r; i <= r; ++i) acc += k[i + r] * at(std::clamp(x + i, 0, w - 1), y);
        tmp[static_cast<size_t>(y) * w + x] = acc;
      }
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        double acc = 0;
        for (int i = -r; i <= r; ++i) acc += k[i + r] * tmp[static_cast<size_t>(std::clamp(y + i, 0, h - 1)) * w + x];
        at(x, y) = static_cast<uint8_t>(std::clamp(std::lround(acc), 0L, 255L));
      }
  }
}

void AddNoise(DibImage picture, double sigma, uint32_t seed) {
  const int32_t w = DibGetWidth(picture), h = DibGetHeight(picture);
  const int32_t bpp = (DibGetBitCount(picture) + 7) / 8, stride = DibGetStride(picture);
  uint8_t* bits = DibGetBits(picture);
  if (!bits) return;
  std::mt19937 rng(seed);
  std::normal_distribution<double> n(0.0, sigma);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w * bpp; ++x) {
      uint8_t& p = bits[static_cast<ptrdiff_t>(y) * stride + x];
      p = static_cast<uint8_t>(std::clamp(std::lround(p + n(rng)), 0L, 255L));
    }
}

}  // namespace vantrel::test

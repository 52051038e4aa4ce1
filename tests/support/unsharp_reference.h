// The unsharp mask written the plain way, one line and one byte at a time,
// straight from its definition. The library's fast filter must give exactly
// these bytes; tests, the fuzz target and the benchmark compare against it.
// Header-only so that the benchmark can use it without a library of its own.
#ifndef VANTREL_TESTS_SUPPORT_UNSHARP_REFERENCE_H
#define VANTREL_TESTS_SUPPORT_UNSHARP_REFERENCE_H

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "vantrel/dib.h"

namespace vantrel::test {

inline std::vector<double> ReferenceKernel(double radius) {
  const double sigma = std::fabs(radius) + 1.0;
  const double R = 2.0 * sigma;
  int n = 2 * static_cast<int>(std::ceil(R - 0.5)) + 1;
  if (n < 1) n = 1;
  const int h = n / 2;
  std::vector<double> k(n, 0.0);
  for (int i = h + 1; i <= n - 1; ++i) {
    const double b = (i - h) - 0.5;
    double sum = 0.0;
    for (int j = 1; j <= 50; ++j) {
      const double r = b + 0.02 * j;
      if (r <= R) sum += std::exp(-(r * r) / (2.0 * sigma * sigma));
    }
    k[i] = sum / 50.0;
  }
  for (int i = 0; i <= h; ++i) k[i] = k[n - 1 - i];
  double c = 0.0;
  for (int j = 0; j <= 50; ++j) {
    const double r = 0.5 + 0.02 * j;
    c += std::exp(-(r * r) / (2.0 * sigma * sigma));
  }
  k[h] = c / 51.0;
  double total = 0.0;
  for (int i = 0; i < n; ++i) total += k[i];
  for (int i = 0; i < n; ++i) k[i] = k[i] / total;
  return k;
}

// The weighted mean of an edge position. The outermost kernel entries can be
// 0 (at some radii none of their samples lies within reach), and a line of one
// pixel sees only k[0]: a sum of zero weights is taken as it stands, as the
// library does, never divided by (0 / 0 has no byte).
inline double ReferenceRescale(double sum, double scale) { return scale != 0.0 ? sum / scale : sum; }

// One channel of a line of N values, stride `step` bytes apart.
inline void ReferenceBlurLine(const std::vector<double>& k, const uint8_t* line, uint8_t* out, int N,
                              int step) {
  const int n = static_cast<int>(k.size()), h = n / 2;
  auto at = [&](int i) { return static_cast<double>(line[i * step]); };
  // Capped at 255 as the library's bytes are.
  auto put = [&](int p, double v) { out[p * step] = static_cast<uint8_t>(std::floor(v < 255.0 ? v : 255.0)); };
  if (n > N) {
    for (int p = 0; p < N; ++p) {
      double scale = 0.0, sum = 0.0;
      for (int j = 0; j < N; ++j) {
        if (0 <= j + h - p && j + h - p < n) {
          scale += k[j];
          sum += at(j) * k[j];
        }
      }
      put(p, ReferenceRescale(sum, scale));
    }
    return;
  }
  for (int p = 0; p < h; ++p) {
    double scale = 0.0, sum = 0.0;
    for (int j = h - p; j <= n - 1; ++j) {
      scale += k[j];
      sum += at(p + j - h) * k[j];
    }
    put(p, ReferenceRescale(sum, scale));
  }
  for (int p = h; p <= N - h - 1; ++p) {
    double sum = 0.0;
    for (int j = 0; j <= n - 1; ++j) sum += at(p - h + j) * k[j];
    put(p, sum);
  }
  for (int p = N - h; p <= N - 1; ++p) {
    double scale = 0.0, sum = 0.0;
    for (int j = 0; j <= N - p + h - 1; ++j) {
      scale += k[j];
      sum += at(p - h + j) * k[j];
    }
    put(p, ReferenceRescale(sum, scale));
  }
}

// Same status codes as the library for the checks it shares with it.
inline int32_t ReferenceUnsharp(DibImage src, DibImage dst, double radius, double amount,
                                int32_t theta, DibRect rect) {
  if (radius < 0.1 || radius > 120) return -1;
  if (amount < 0 || amount > 10) return -2;
  if (theta < 0 || theta > 255) return -3;
  if (!src || !dst) return -4;
  if (rect.left < 0 || rect.top < 0 || rect.right < 0 || rect.bottom < 0 || rect.left >= rect.right ||
      rect.top >= rect.bottom)
    return -5;
  const int width = DibGetWidth(src), height = DibGetHeight(src);
  if (DibGetWidth(dst) != width || DibGetHeight(dst) != height ||
      DibGetBitCount(dst) != DibGetBitCount(src))
    return -7;
  const int right = rect.right < width - 1 ? rect.right : width - 1;
  const int bottom = rect.bottom < height - 1 ? rect.bottom : height - 1;
  if (rect.left > right || rect.top > bottom) return -5;
  const int w = right - rect.left + 1, hgt = bottom - rect.top + 1;
  const int B = DibGetBitCount(src) / 8;

  DibImage target = dst == src ? DibDuplicate(src) : dst;
  const std::vector<double> k = ReferenceKernel(radius);
  const int len = (w > hgt ? w : hgt) * B;
  std::vector<uint8_t> in(len, 0), out(len, 0);

  const uint8_t* sb = DibGetBits(src);
  uint8_t* tb = DibGetBits(target);
  const int ss = DibGetStride(src), ts = DibGetStride(target);

  for (int y = rect.top; y <= bottom; ++y) {
    for (int i = 0; i < w * B; ++i) in[i] = sb[y * ss + rect.left * B + i];
    for (int c = 0; c < B; ++c) ReferenceBlurLine(k, in.data() + c, out.data() + c, w, B);
    for (int i = 0; i < w * B; ++i) tb[y * ts + rect.left * B + i] = out[i];
  }
  for (int x = rect.left; x <= right; ++x) {
    for (int y = 0; y < hgt; ++y)
      for (int c = 0; c < B; ++c) in[y * B + c] = tb[(rect.top + y) * ts + x * B + c];
    for (int c = 0; c < B; ++c) ReferenceBlurLine(k, in.data() + c, out.data() + c, hgt, B);
    for (int y = 0; y < hgt; ++y)
      for (int c = 0; c < B; ++c) tb[(rect.top + y) * ts + x * B + c] = out[y * B + c];
  }
  for (int y = rect.top; y <= bottom; ++y) {
    for (int i = 0; i < w * B; ++i) {
      const int s = sb[y * ss + rect.left * B + i];
      const int f = tb[y * ts + rect.left * B + i];
      int d = s - f;
      if (std::abs(2 * d) < theta) d = 0;
      const double v = s + amount * d;
      int iv = static_cast<int>(v);
      if (iv < 0) iv = 0;
      if (iv > 255) iv = 255;
      tb[y * ts + rect.left * B + i] = static_cast<uint8_t>(iv);
    }
  }
  if (dst == src) {
    DibCopyPixels(src, target);
    DibFree(target);
  }
  return 0;
}

}  // namespace vantrel::test

#endif

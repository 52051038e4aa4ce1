#include "edges.h"

#include <algorithm>
#include <cstring>

#include "bcd_decoder.h"

namespace vantrel::bcd {

namespace {

// The contrast around a sample: darkest to lightest over its block of
// kBlock samples and kReach blocks on either side.
constexpr int32_t kBlock = 16;
constexpr int32_t kReach = 2;
// An edge must change the grey value by at least kFloor between two samples,
// and by at least kShare of the contrast around it: weaker wiggles are noise
// or print texture.
constexpr int32_t kFloor = 5;
constexpr float kShare = 0.1f;

}  // namespace

void EdgeRuns::Reserve(int32_t n) {
  const size_t m = static_cast<size_t>(std::max(n, 0)) + 2;
  if (diff_.size() < m) {
    diff_.resize(m);
    candidate_.resize(m + 8);
    blockLo_.resize(m / kBlock + 2);
    blockHi_.resize(m / kBlock + 2);
    floor_.resize(m / kBlock + 2);
  }
}

int32_t EdgeRuns::Measure(const uint8_t* g, int32_t n, float* spaces, float* bars) {
  spaces[0] = 0.0f;
  int32_t k = 0;
  // diff_[1 + i] = g[i + 1] - g[i] for i = 0 .. n - 2, with a 0 on either side.
  const int32_t m = n - 1;
  if (m < 2) {
    spaces[0] = n > 1 ? static_cast<float>(n - 1) : 0.0f;
    bars[0] = 0.0f;
    spaces[1] = spaces[2] = bars[1] = 0.0f;
    return 0;
  }
  int16_t* d = diff_.data();
  d[0] = 0;
  d[m + 1] = 0;
  for (int32_t i = 0; i < m; ++i) d[i + 1] = static_cast<int16_t>(g[i + 1] - g[i]);

  // The contrast around each block.
  const int32_t blocks = (n + kBlock - 1) / kBlock;
  uint8_t* lo = blockLo_.data();
  uint8_t* hi = blockHi_.data();
  for (int32_t b = 0; b < blocks; ++b) {
    const int32_t from = b * kBlock, to = std::min(n, from + kBlock);
    uint8_t a = 255, z = 0;
    for (int32_t i = from; i < to; ++i) {
      a = std::min(a, g[i]);
      z = std::max(z, g[i]);
    }
    lo[b] = a;
    hi[b] = z;
  }
  int32_t* floors = floor_.data();
  for (int32_t b = 0; b < blocks; ++b) {
    uint8_t a = 255, z = 0;
    for (int32_t j = std::max(0, b - kReach); j <= std::min(blocks - 1, b + kReach); ++j) {
      a = std::min(a, lo[j]);
      z = std::max(z, hi[j]);
    }
    floors[b] = std::max(kFloor, static_cast<int32_t>(kShare * static_cast<float>(z - a) + 0.5f));
  }

  // Local extremes of the differences, at least kFloor strong: a vectorisable
  // pass that leaves few places for the exact tests.
  uint8_t* cand = candidate_.data();
  for (int32_t i = 1; i <= m; ++i) {
    const int32_t a = d[i - 1], b = d[i], c = d[i + 1];
    const bool fall = b <= -kFloor && b <= a && b < c;
    const bool rise = b >= kFloor && b >= a && b > c;
    cand[i] = (fall || rise) ? 1 : 0;
  }
  std::memset(cand + m + 1, 0, 8);

  // Edges in order, alternating; positions in samples from the first one.
  float prevPos = 0.0f;
  float lastPos = 0.0f;
  int32_t lastSign = 0;  // 0: no edge yet
  int32_t lastStrength = 0;
  bool startsDark = false;
  auto emit = [&](float pos, int32_t sign) {
    // The run that the edge ends: light before a falling edge, dark before a rising one.
    const float width = pos - prevPos;
    if (sign < 0) spaces[k] = width;
    else bars[k++] = width;
    prevPos = pos;
  };
  auto visit = [&](int32_t i) {
    const int32_t b = d[i];
    const int32_t strength = b < 0 ? -b : b;
    if (strength < floors[(i - 1) / kBlock]) return;
    const int32_t sign = b < 0 ? -1 : 1;
    const float a = d[i - 1], c = d[i + 1], bf = static_cast<float>(b);
    const float denom = a - 2.0f * bf + c;
    float off = denom != 0.0f ? 0.5f * (a - c) / denom : 0.0f;
    off = std::clamp(off, -0.5f, 0.5f);
    const float pos = static_cast<float>(i - 1) + 0.5f + off;
    if (sign == lastSign) {
      if (strength > lastStrength) {
        lastPos = pos;
        lastStrength = strength;
      }
      return;
    }
    if (lastSign != 0) emit(lastPos, lastSign);
    else startsDark = sign > 0;
    lastSign = sign;
    lastPos = pos;
    lastStrength = strength;
  };
  int32_t i = 1;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  for (; i + 8 <= m + 1; i += 8) {
    uint64_t x;
    std::memcpy(&x, cand + i, 8);
    while (x != 0) {
      visit(i + (__builtin_ctzll(x) >> 3));
      x &= x - 1;
    }
  }
#endif
  for (; i <= m; ++i)
    if (cand[i]) visit(i);
  if (lastSign != 0) emit(lastPos, lastSign);
  if (startsDark) spaces[0] = 0.0f;

  const float last = static_cast<float>(n - 1) - prevPos;
  if (lastSign > 0 || lastSign == 0) {  // ends light
    spaces[k] = last;
    bars[k] = 0.0f;
  } else {
    bars[k] = last;
  }
  spaces[k + 1] = 0.0f;
  spaces[k + 2] = 0.0f;
  bars[k + 1] = 0.0f;
  return k;
}

}  // namespace vantrel::bcd

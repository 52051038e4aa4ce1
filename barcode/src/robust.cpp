#include "robust.h"

#include <algorithm>

namespace vantrel::bcd {

namespace {
constexpr float kEvenSide = 1.45f;
}  // namespace

bool SplitNarrowWide(const float* w, int32_t n, uint32_t allowed, float minStep, NarrowWide* out) {
  // Sort the element numbers by width (n <= 5).
  int32_t order[5];
  for (int32_t e = 0; e < n; ++e) {
    if (!(w[e] > 0.0f)) return false;
    int32_t j = e;
    while (j > 0 && w[order[j - 1]] > w[e]) {
      order[j] = order[j - 1];
      --j;
    }
    order[j] = e;
  }
  const float smallest = w[order[0]], largest = w[order[n - 1]];
  int32_t best = -1;
  float bestStep = 0.0f;
  for (int32_t c = 1; c < n; ++c) {
    if (!(allowed & (1u << c))) continue;
    const float narrowTop = w[order[n - c - 1]], wideBottom = w[order[n - c]];
    const float step = wideBottom / narrowTop;
    if (step > bestStep) {
      bestStep = step;
      best = c;
    }
  }
  NarrowWide r;
  if (best > 0 && bestStep >= minStep) {
    const float narrowTop = w[order[n - best - 1]], wideBottom = w[order[n - best]];
    // Each side more even than the step between them, or at least even: blur
    // drags the edges of an element that borders a narrow one.
    const float even = std::max(bestStep, kEvenSide);
    if (!(narrowTop / smallest < even && largest / wideBottom < even)) return false;
    r.count = best;
    float sn = 0.0f, sw = 0.0f;
    for (int32_t j = 0; j < n; ++j) {
      const int32_t e = order[j];
      if (j >= n - best) {
        r.wide |= 1u << e;
        sw += w[e];
      } else {
        sn += w[e];
      }
    }
    r.narrow = sn / static_cast<float>(n - best);
    r.wide_ = sw / static_cast<float>(best);
  } else if (allowed == 1u && largest / smallest < kEvenSide) {
    float sn = 0.0f;
    for (int32_t e = 0; e < n; ++e) sn += w[e];
    r.narrow = sn / static_cast<float>(n);
  } else {
    return false;
  }
  *out = r;
  return true;
}

}  // namespace vantrel::bcd

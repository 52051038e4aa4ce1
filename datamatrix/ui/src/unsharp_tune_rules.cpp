#include "vantrel/unsharp_tune_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vantrel::dmxtune {

int32_t ScrollMaximum(int32_t pictureSide, int32_t previewSide) {
  return pictureSide > previewSide ? pictureSide - previewSide : 0;
}

int32_t NextScrollPosition(int32_t code, int32_t p, int32_t m, int32_t sent) {
  if (m < 0) m = 0;
  p = std::clamp(p, 0, m);
  int64_t next = p;
  switch (code) {
    case kLineUp: next = int64_t{p} - 1; break;
    case kLineDown: next = int64_t{p} + 1; break;
    case kPageUp: next = int64_t{p} - kScrollPage; break;
    case kPageDown: next = int64_t{p} + kScrollPage; break;
    case kThumbPosition:
    case kThumbTrack: next = sent; break;
    case kTop: next = 0; break;
    case kBottom: next = m; break;
    default: break;
  }
  return static_cast<int32_t>(std::clamp<int64_t>(next, 0, m));
}

bool TrackbarRunsFilter(int32_t code) {
  return code == kPageUp || code == kPageDown || code == kThumbPosition;
}

int32_t SliderPosition(const SliderScale& s, double value) {
  const double scaled = value * s.perUnit;
  if (!(scaled == scaled)) return s.minimum;
  if (scaled <= s.minimum) return s.minimum;
  if (scaled >= s.maximum) return s.maximum;
  return static_cast<int32_t>(std::lround(scaled));
}

double SliderValue(const SliderScale& s, int32_t position) { return position / s.perUnit; }

bool SliderValueValid(const SliderScale& s, double value) {
  return value >= s.lowest && value <= s.highest;
}

namespace {
std::string Printed(const char* format, double v) {
  char text[64];
  std::snprintf(text, sizeof text, format, v);
  return text;
}
}  // namespace

std::string RadiusText(double radius) { return Printed("%.1f", radius); }
std::string AmountText(double amount) { return Printed("%.2f", amount); }
std::string ThresholdText(int32_t threshold) { return std::to_string(threshold); }

}  // namespace vantrel::dmxtune

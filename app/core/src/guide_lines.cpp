#include "vantrel/guide_lines.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>

#include "vantrel/OvoBcd.h"

namespace vantrel {

std::vector<GuidePoint> guideStarts;
std::vector<GuidePoint> guideEnds;

namespace {

std::function<void()>& RepaintHook() {
  static std::function<void()> hook;
  return hook;
}

// size - 1 would overflow for the most negative size a settings file can hold.
int32_t ClampToSize(int32_t v, int32_t size) { return std::clamp(v, 0, std::max(size, 1) - 1); }

}  // namespace

int32_t ClampedScanLevel(const SettingsRecord& settings) { return std::clamp(settings.ScanLevel, 1, 4); }

void SetGuideRepaint(std::function<void()> repaint) { RepaintHook() = std::move(repaint); }

void RebuildGuideLines(const SettingsRecord& settings) {
  guideStarts.clear();
  guideEnds.clear();
  // The page keeps every range value inside the capture size; a settings file
  // need not, and the reader takes the guide range exactly as given.
  const OvoBcdRange range{ClampToSize(settings.Area[0], settings.Xsize),
                          ClampToSize(settings.Area[1], settings.Ysize),
                          ClampToSize(settings.Area[2], settings.Xsize),
                          ClampToSize(settings.Area[3], settings.Ysize)};
  const int32_t level = ClampedScanLevel(settings);
  int32_t n = INT32_MAX;
  if (OvoBcdGetScanLines(&range, level, settings.ScanDegree, &n, nullptr, nullptr) == OVOBCD_OK &&
      n > 0) {
    try {
      std::vector<OvoBcdPoint> starts(static_cast<size_t>(n));
      std::vector<OvoBcdPoint> ends(static_cast<size_t>(n));
      if (OvoBcdGetScanLines(&range, level, settings.ScanDegree, &n, starts.data(), ends.data()) ==
          OVOBCD_OK) {
        guideStarts.reserve(static_cast<size_t>(n));
        guideEnds.reserve(static_cast<size_t>(n));
        for (int32_t i = 0; i < n; ++i) {
          guideStarts.push_back(GuidePoint{starts[i].x, starts[i].y});
          guideEnds.push_back(GuidePoint{ends[i].x, ends[i].y});
        }
      }
    } catch (const std::bad_alloc&) {
      // Too many lines to hold: the preview shows none rather than some.
      guideStarts.clear();
      guideEnds.clear();
    }
  }
  if (RepaintHook()) RepaintHook()();
}

}  // namespace vantrel

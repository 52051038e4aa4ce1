// The barcode guide lines of the preview: the first and last pixel of every scan
// line the barcode reader lays over the processing range, in picture pixels.
//
// Rebuilt on the window thread (settings load, range edits, the barcode page's
// scan controls) and drawn there too.
#ifndef VANTREL_GUIDE_LINES_H
#define VANTREL_GUIDE_LINES_H

#include <cstdint>
#include <functional>
#include <vector>

#include "vantrel/settings.h"

namespace vantrel {

struct GuidePoint {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const GuidePoint&) const = default;
};

extern std::vector<GuidePoint> guideStarts;
extern std::vector<GuidePoint> guideEnds;

// The scan level the barcode reader gets: ScanLevel brought into 1..4.
int32_t ClampedScanLevel(const SettingsRecord& settings);

// Empties both lists and fills them with the lines of Area (each value brought
// into 0 .. Xsize-1 or 0 .. Ysize-1), the clamped scan level and ScanDegree. An
// angle the reader refuses (outside 0..180) leaves the lists empty. Then calls
// the repaint hook, if one is set. Matches the settings loader's GuideRebuild.
void RebuildGuideLines(const SettingsRecord& settings);

// What RebuildGuideLines calls last: the window repaints its preview (no erase).
void SetGuideRepaint(std::function<void()> repaint);

}  // namespace vantrel

#endif

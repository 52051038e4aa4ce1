#include "vantrel/decode_calls.h"
#include "vantrel/ovoutil.h"

namespace vantrel {

OverlayOrigin OverlayOriginFor(int32_t previewLeft, int32_t previewTop, double scaleX, double scaleY) {
  OverlayOrigin o;
  if (scaleX != 0) o.x = RoundToInt(previewLeft / scaleX);
  if (scaleY != 0) o.y = RoundToInt(previewTop / scaleY);
  return o;
}

DibRect ClampedRange(const SettingsRecord& s, int32_t width, int32_t height) {
  DibRect r{s.Area[0], s.Area[1], s.Area[2], s.Area[3]};
  if (r.left < 0) r.left = 0;
  if (r.top < 0) r.top = 0;
  if (r.right >= width) r.right = width - 1;
  if (r.bottom >= height) r.bottom = height - 1;
  return r;
}

const char* BarcodeTypeName(int32_t type) {
  static const char* const kNames[] = {"JAN-8", "JAN-13", "ITF", "CODE 39", "CODE 128", "NW-7"};
  if (type < 0 || type > 5) return "Unknown Code";
  return kNames[type];
}

const char* QrLevelText(int32_t level) {
  static const char* const kLevels[] = {"L(7％)", "M(15％)", "Q(25％)", "H(30％)"};
  if (level < 0 || level > 3) return "";
  return kLevels[level];
}

}  // namespace vantrel

#include <algorithm>
#include <cstring>

#include "read_steps.h"
#include "vantrel/OvoBcd.h"
#include "vantrel/decode_calls.h"
#include "vantrel/guide_lines.h"

namespace vantrel {

namespace {

// The barcode page accepts lengths of 1 to 9999; a settings file may hold
// anything, and a lower bound of 0 would let empty symbols read.
int32_t LengthBound(int32_t v) { return std::clamp(v, 1, 9999); }

OvoBcdParams BarcodeParams(const SettingsRecord& s) {
  // The optional check characters of ITF, CODE 39 and NW-7 are not verified:
  // most such symbols carry none, and a check would refuse them. With the
  // robust reading (the last field) their reads stand only when a parallel
  // line reads the same.
  return OvoBcdParams{s.JAN8,
                      s.JAN13,
                      s.ITF,
                      LengthBound(s.ITF_Min),
                      LengthBound(s.ITF_Max),
                      0,
                      s.CODE39,
                      LengthBound(s.CODE39_Min),
                      LengthBound(s.CODE39_Max),
                      0,
                      s.NW7,
                      LengthBound(s.NW7_Min),
                      LengthBound(s.NW7_Max),
                      0,
                      s.CODE128,
                      LengthBound(s.CODE128_Min),
                      LengthBound(s.CODE128_Max),
                      s.BcdRobust != 0 ? 1 : 0};
}

constexpr int32_t kTypeNameBytes = 20;

}  // namespace

int32_t ReadBarcode(DibImage picture, const SettingsRecord& settings, Reading* reading) {
  const OvoBcdParams params = BarcodeParams(settings);  // private copy for this call
  const bool binarize = settings.AutoBin != 0;
  const int32_t width = DibGetWidth(picture);
  const int32_t height = DibGetHeight(picture);
  DibRect r = ClampedRange(settings, width, height);
  // Starts beyond the far edge and ends before the near one are brought in too.
  r.left = std::min(r.left, width - 1);
  r.top = std::min(r.top, height - 1);
  r.right = std::max(r.right, 0);
  r.bottom = std::max(r.bottom, 0);
  const OvoBcdRange range{r.left, r.top, r.right, r.bottom};

  int32_t pos[4] = {0, 0, 0, 0};
  int32_t type = -1;
  int32_t len = 0;
  char text[OVOBCD_TEXT_BYTES] = {};
  const int32_t status = OvoBcdDecode(picture, &params, &range, binarize, ClampedScanLevel(settings),
                                      settings.ScanDegree, pos, &type, &len, text);
  if (status != OVOBCD_OK) return status;

  reading->status = 0;
  reading->kind = CodeKind::kBarcode;
  reading->barcodeType = type;
  reading->symbology = BarcodeTypeName(type);
  reading->bytes.assign(text, static_cast<size_t>(std::clamp(len, 0, int32_t{OVOBCD_MAX_TEXT})));
  SetReadingText(reading);
  reading->outline[0] = OutlinePoint{pos[0], pos[1]};
  reading->outline[1] = OutlinePoint{pos[2], pos[3]};
  reading->outlinePoints = 2;
  return 0;
}

int32_t DecodeBarcode(DibImage picture, const SettingsRecord& settings, OverlayOrigin origin,
                      char* typeName, int32_t* length, int32_t position[4], char* data) {
  Reading r;
  const int32_t status = ReadBarcode(picture, settings, &r);
  if (status != 0) return status;
  if (typeName) {
    std::strncpy(typeName, r.symbology.c_str(), kTypeNameBytes - 1);
    typeName[kTypeNameBytes - 1] = '\0';
  }
  const auto len = static_cast<int32_t>(r.bytes.size());
  if (length) *length = len;
  if (position) {
    position[0] = r.outline[0].x;
    position[1] = r.outline[0].y;
    position[2] = r.outline[1].x;
    position[3] = r.outline[1].y;
  }
  if (data) std::memcpy(data, r.bytes.c_str(), static_cast<size_t>(len) + 1);
  DrawReadingOutline(r, origin);
  return 0;
}

}  // namespace vantrel

// DecodeQrCode: hands one picture with the QR settings and the clamped
// processing range to the QR library and turns the first symbol into the
// station's texts and outline.
#include <cstdio>
#include <cstring>

#include "vantrel/OvoQrc.h"
#include "vantrel/decode_calls.h"
#include "vantrel/draw_context.h"
#include "vantrel/overlay.h"

namespace vantrel {

namespace {
constexpr size_t kTextBytes = 50;  // version and level texts
}

int32_t DecodeQrCode(DibImage picture, const SettingsRecord& settings, OverlayOrigin origin,
                     int32_t capacity, char* version, char* level, int32_t position[8], char* data,
                     int32_t* length) {
  const DibRect r = ClampedRange(settings, DibGetWidth(picture), DibGetHeight(picture));

  // A picture the library refuses must not leave the previous one in place for
  // the decode.
  int32_t status = OvoQrcSetImage(picture);
  if (status != 0) return status;
  const int32_t area[4] = {r.left, r.top, r.right, r.bottom};
  OvoQrcSetArea(area);
  OvoQrcSetColor(settings.TargetColor);
  OvoQrcSetThreshold(settings.QrThreshold, settings.QRBlack);
  OvoQrcSetRobust(settings.QrRobust);

  int32_t count = 0;
  status = OvoQrcDecode(&count);
  if (status != 0) return status;

  int32_t v = 0;
  status = OvoQrcGetVersion(0, &v);
  if (status != 0) return status;
  if (version) std::snprintf(version, kTextBytes, "%d", static_cast<int>(v));

  int32_t lv = 0;
  status = OvoQrcGetLevel(0, &lv);
  if (status != 0) return status;
  if (level) std::snprintf(level, kTextBytes, "%s", QrLevelText(lv));

  int32_t c[8] = {};
  status = OvoQrcGetPosition(0, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]);
  if (status != 0) return status;
  for (int32_t i = 0; i < 8; i += 2) {
    c[i] += r.left;
    c[i + 1] += r.top;
  }
  if (position) std::memcpy(position, c, sizeof c);

  int32_t len = capacity;
  status = OvoQrcGetData(0, &len, reinterpret_cast<uint8_t*>(data));
  if (status != 0) return status;
  if (!data) len = 0;
  if (length) *length = len;

  OverlayClear();
  const uint32_t red = MakeColour(255, 0, 0);
  for (int32_t i = 0; i < 4; ++i) {
    const int32_t j = (i + 1) % 4;
    OverlayAddLine(origin.x + c[2 * i], origin.y + c[2 * i + 1], origin.x + c[2 * j],
                   origin.y + c[2 * j + 1], red);
  }
  return 0;
}

int32_t StartQrLibrary() { return OvoQrcInitialize(); }

void StopQrLibrary() { OvoQrcTerminate(); }

}  // namespace vantrel

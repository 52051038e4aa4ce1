// The QR code's turn: hands one picture with the QR settings and the clamped
// processing range to the QR library and turns its symbols into Readings;
// DecodeQrCode gives the first as the station's texts and outline.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "read_steps.h"
#include "vantrel/OvoQrc.h"
#include "vantrel/decode_calls.h"

namespace vantrel {

namespace {

constexpr size_t kTextBytes = 50;  // version and level texts

// One symbol's results, its corners moved from the processing area's pixels
// to the picture's.
int32_t ReadSymbol(int32_t symbol, const DibRect& area, int32_t capacity, uint8_t* data, Reading* reading) {
  int32_t version = 0;
  int32_t status = OvoQrcGetVersion(symbol, &version);
  if (status != 0) return status;
  int32_t level = 0;
  status = OvoQrcGetLevel(symbol, &level);
  if (status != 0) return status;
  int32_t c[8] = {};
  status = OvoQrcGetPosition(symbol, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]);
  if (status != 0) return status;
  int32_t length = capacity;
  status = OvoQrcGetData(symbol, &length, data);
  if (status != 0) return status;

  reading->status = 0;
  reading->kind = CodeKind::kQrCode;
  reading->symbology = "QR";
  reading->qrVersion = version;
  reading->qrLevel = level;
  reading->bytes.assign(reinterpret_cast<const char*>(data), static_cast<size_t>(std::max(length, 0)));
  SetReadingText(reading);
  for (size_t i = 0; i < 4; ++i) reading->outline[i] = OutlinePoint{c[2 * i] + area.left, c[2 * i + 1] + area.top};
  reading->outlinePoints = 4;
  return 0;
}

}  // namespace

int32_t ReadQrCodes(DibImage picture, const SettingsRecord& settings, int32_t capacity,
                    std::vector<Reading>* readings) {
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

  // The library writes what it copies; the rest is never read.
  const auto data = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(std::max(capacity, 1)));
  for (int32_t symbol = 0; symbol < count; ++symbol) {
    Reading reading;
    status = ReadSymbol(symbol, r, capacity, data.get(), &reading);
    // The first symbol's failure is the reading's; a later one is only left out.
    if (status != 0 && symbol == 0) return status;
    if (status == 0) readings->push_back(std::move(reading));
  }
  return 0;
}

int32_t DecodeQrCode(DibImage picture, const SettingsRecord& settings, OverlayOrigin origin,
                     int32_t capacity, char* version, char* level, int32_t position[8], char* data,
                     int32_t* length) {
  std::vector<Reading> readings;
  const int32_t status = ReadQrCodes(picture, settings, capacity, &readings);
  if (status != 0) return status;
  const Reading& first = readings.front();
  if (version) std::snprintf(version, kTextBytes, "%d", static_cast<int>(first.qrVersion));
  if (level) std::snprintf(level, kTextBytes, "%s", QrLevelText(first.qrLevel));
  if (position) {
    for (int32_t i = 0; i < 4; ++i) {
      position[2 * i] = first.outline[static_cast<size_t>(i)].x;
      position[2 * i + 1] = first.outline[static_cast<size_t>(i)].y;
    }
  }
  // A null buffer gets nothing, as the library gives it.
  const auto len = data ? static_cast<int32_t>(first.bytes.size()) : 0;
  if (data) std::memcpy(data, first.bytes.c_str(), first.bytes.size() + 1);
  if (length) *length = len;
  DrawReadingOutline(first, origin);
  return 0;
}

int32_t StartQrLibrary() {
  const int32_t status = OvoQrcInitialize();
  if (status == 0) OvoQrcSetParameterFile(nullptr);  // tests leave no parameter file behind
  return status;
}

void StopQrLibrary() { OvoQrcTerminate(); }

}  // namespace vantrel

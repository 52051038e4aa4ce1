// The Data Matrix code's turn: hands one picture with the DMXCODE settings and
// the clamped processing range to the one Data Matrix reader, optionally
// through the unsharp mask, and turns the symbol into a Reading;
// DecodeDataMatrix gives it as the station's text and outline.
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "read_steps.h"
#include "vantrel/OvoDmx.h"
#include "vantrel/decode_calls.h"
#include "vantrel/text_convert.h"

namespace vantrel {

int32_t ReadDataMatrix(DibImage picture, const SettingsRecord& settings, char* data, int32_t capacity,
                       Reading* reading) {
  const int32_t width = DibGetWidth(picture), height = DibGetHeight(picture);
  const DibRect range = ClampedRange(settings, width, height);
  const int32_t bitCount = DibGetBitCount(picture);

  CDataMatCtrl* reader = OvoDmxGetReader();
  if (reader) {
    // A range the reader refuses (start not before end, or off the picture)
    // would leave the previous frame's area in force: refuse the decode instead.
    if (OvoDmxSetArea(&range) != 0 && picture) return -3;
    if (settings.MaxTime > 0) OvoDmxSetMaxTime(settings.MaxTime);
    if (settings.Rad >= 0.1 && settings.Rad <= 120) OvoDmxSetRadius(settings.Rad);
    if (settings.Amount >= 0 && settings.Amount <= 10) OvoDmxSetAmount(settings.Amount);
    if (settings.DmxThreshold >= 0 && settings.DmxThreshold <= 255) {
      OvoDmxSetThreshold(settings.DmxThreshold);
    }
    OvoDmxSetFullSearch(settings.DmxFullSearch == 1 ? 1 : 0);
  }

  // The sharpened copy is for the reader only; the picture the preview shows
  // stays as it was.
  DibPtr work;
  if (settings.UnsharpMask != 0) {
    work.reset(DibCreate(width, height, bitCount / 8, 4));
    if (!reader) return -8;
    const int32_t status = OvoDmxUnsharp(reader, picture, work.get());
    if (status != 0) return status;
  }

  int32_t status = reader ? OvoDmxDecode(reader, work ? work.get() : picture, data, capacity) : -8;
  if (status != 0) return status;

  // The symbol's bytes exactly, control bytes and NULs included; the text is
  // the reader's filtered one, as the station shows it.
  int32_t length = 0;
  status = OvoDmxGetBytes(nullptr, 0, &length);
  if (status != 0) return status;
  std::string bytes(static_cast<size_t>(length), '\0');
  status = OvoDmxGetBytes(reinterpret_cast<uint8_t*>(bytes.data()), length, &length);
  if (status != 0) return status;

  OvoDmxPoint t{}, r{}, p{}, q{};
  if (OvoDmxGetCorners(&t, &r, &p, &q) != 0) {
    // Edges that do not meet: outline the box the two edge points span.
    p = OvoDmxPoint{r.x, t.y};
    q = OvoDmxPoint{t.x, r.y};
  }
  reading->status = 0;
  reading->kind = CodeKind::kDataMatrix;
  reading->symbology = "DataMatrix";
  reading->bytes = std::move(bytes);
  reading->text = DecodedBytesToUtf8(data);
  reading->outline = {OutlinePoint{t.x, t.y}, OutlinePoint{p.x, p.y}, OutlinePoint{r.x, r.y}, OutlinePoint{q.x, q.y}};
  reading->outlinePoints = 4;
  return 0;
}

int32_t DecodeDataMatrix(DibImage picture, const SettingsRecord& settings, OverlayOrigin origin,
                         char* data, int32_t capacity, int32_t position[8], int32_t* length) {
  Reading r;
  const int32_t status = ReadDataMatrix(picture, settings, data, capacity, &r);
  if (status != 0) return status;
  if (position) {
    for (size_t i = 0; i < 4; ++i) {
      position[2 * i] = r.outline[i].x;
      position[2 * i + 1] = r.outline[i].y;
    }
  }
  if (length) *length = static_cast<int32_t>(std::strlen(data));
  DrawReadingOutline(r, origin);
  return 0;
}

int32_t StartDataMatrixReader() { return OvoDmxInitialize(); }

void StopDataMatrixReader() { OvoDmxTerminate(); }

}  // namespace vantrel

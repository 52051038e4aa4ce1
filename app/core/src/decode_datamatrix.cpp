// DecodeDataMatrix: hands one picture with the DMXCODE settings and the clamped
// processing range to the one Data Matrix reader, optionally through the
// unsharp mask, and turns the symbol into the station's text and outline.
#include <cstdint>
#include <cstring>

#include "vantrel/OvoDmx.h"
#include "vantrel/decode_calls.h"
#include "vantrel/draw_context.h"
#include "vantrel/overlay.h"

namespace vantrel {

namespace {

// Outline points are picture pixels plus the origin; corners of edges that
// barely meet may lie far outside, so the sum saturates.
int32_t Shifted(int32_t v, int32_t by) {
  const int64_t s = int64_t{v} + by;
  return s > INT32_MAX ? INT32_MAX : s < INT32_MIN ? INT32_MIN : static_cast<int32_t>(s);
}

struct WorkPicture {
  DibImage image = nullptr;
  ~WorkPicture() { DibFree(image); }
};

}  // namespace

int32_t DecodeDataMatrix(DibImage picture, const SettingsRecord& settings, OverlayOrigin origin,
                         char* data, int32_t capacity, int32_t position[8], int32_t* length) {
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
  WorkPicture work;
  if (settings.UnsharpMask != 0) {
    work.image = DibCreate(width, height, bitCount / 8, 4);
    if (!reader) return -8;
    const int32_t status = OvoDmxUnsharp(reader, picture, work.image);
    if (status != 0) return status;
  }

  const int32_t status =
      reader ? OvoDmxDecode(reader, work.image ? work.image : picture, data, capacity) : -8;
  if (status != 0) return status;

  OvoDmxPoint t{}, r{}, p{}, q{};
  if (OvoDmxGetCorners(&t, &r, &p, &q) != 0) {
    // Edges that do not meet: outline the box the two edge points span.
    p = OvoDmxPoint{r.x, t.y};
    q = OvoDmxPoint{t.x, r.y};
  }
  const int32_t c[8] = {t.x, t.y, p.x, p.y, r.x, r.y, q.x, q.y};
  if (position) std::memcpy(position, c, sizeof c);
  if (length) *length = static_cast<int32_t>(std::strlen(data));

  OverlayClear();
  const uint32_t red = MakeColour(255, 0, 0);
  for (int32_t i = 0; i < 4; ++i) {
    const int32_t j = (i + 1) % 4;
    OverlayAddLine(Shifted(c[2 * i], origin.x), Shifted(c[2 * i + 1], origin.y),
                   Shifted(c[2 * j], origin.x), Shifted(c[2 * j + 1], origin.y), red);
  }
  return 0;
}

int32_t StartDataMatrixReader() { return OvoDmxInitialize(); }

void StopDataMatrixReader() { OvoDmxTerminate(); }

}  // namespace vantrel

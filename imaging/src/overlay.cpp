#include "vantrel/overlay.h"

#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "overlay_state.h"
#include "vantrel/ovoutil.h"

namespace vantrel::detail {
namespace {

struct OverlayLine {
  int32_t x1, y1, x2, y2;
  int32_t penStyle;
  int32_t penWidth;
  uint32_t colour;
};

struct OverlayStore {
  double scaleX = 1.0;
  double scaleY = 1.0;
  int32_t penStyle = kPenSolid;
  int32_t penWidth = 1;
  int32_t capacity = kOverlayCapacity;
  std::unique_ptr<OverlayLine[]> lines;
  int32_t count = 0;
};

// The capture thread clears and fills the store while the window thread draws
// it. Every access to the store goes through this lock, so an entry is complete
// before the count shows it and a clear cannot meet a half-written entry; the
// painter copies the entries out and draws without holding it.
std::mutex storeLock;
std::unique_ptr<OverlayStore> store;

// Direct drawing happens on the window thread only.
struct DirectState {
  double scaleX = 1.0;
  double scaleY = 1.0;
  bool identity = true;
  int32_t penMode = 0;
} direct;

Pen PenForMode(int32_t mode, uint32_t colour) {
  switch (mode) {
    case 1: return Pen{kPenSolid, 2, colour};
    case 2: return Pen{kPenDot, 1, colour};
    case 3: return Pen{kPenDot, 2, colour};
    default: return Pen{kPenSolid, 1, colour};
  }
}

void ScaleDirect(int32_t* x, int32_t* y) {
  if (direct.identity) return;
  *x = RoundToInt(*x * direct.scaleX);
  *y = RoundToInt(*y * direct.scaleY);
}

}  // namespace

void ResetDirectDrawing() {
  direct.scaleX = 1.0;
  direct.scaleY = 1.0;
  direct.identity = true;
}

int32_t CreateOverlayStore() {
  std::lock_guard<std::mutex> hold(storeLock);
  if (store) return 0;
  std::unique_ptr<OverlayStore> s(new (std::nothrow) OverlayStore);
  if (!s) return -7;
  s->lines.reset(new (std::nothrow) OverlayLine[kOverlayCapacity]());
  if (!s->lines) return 1;
  store = std::move(s);
  return 0;
}

void DestroyOverlayStore() {
  std::lock_guard<std::mutex> hold(storeLock);
  store.reset();
}

}  // namespace vantrel::detail

using namespace vantrel;
using namespace vantrel::detail;

void DrawSetScale(double scaleX, double scaleY, double* previousX, double* previousY) {
  if (previousX) *previousX = direct.scaleX;
  if (previousY) *previousY = direct.scaleY;
  direct.scaleX = scaleX;
  direct.scaleY = scaleY;
  direct.identity = (scaleX == 1.0 && scaleY == 1.0);
}

int32_t DrawSetLineStyle(int32_t mode) {
  int32_t previous = direct.penMode;
  direct.penMode = (mode >= 0 && mode <= 3) ? mode : 0;
  return previous;
}

void DrawLine(DrawContext* dc, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  if (!dc) return;
  int32_t oldMode = dc->SetBackgroundMode(kBackgroundTransparent);
  Pen oldPen = dc->SelectPen(PenForMode(direct.penMode, colour));
  ScaleDirect(&x1, &y1);
  ScaleDirect(&x2, &y2);
  dc->MoveTo(x1, y1);
  dc->LineTo(x2, y2);
  dc->SelectPen(oldPen);
  dc->SetBackgroundMode(oldMode);
}

void DrawRect(DrawContext* dc, int32_t kind, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
              uint32_t colour) {
  if (!dc || kind < 0 || kind > 2) return;
  int32_t oldMode = dc->SetBackgroundMode(kBackgroundTransparent);
  ScaleDirect(&x1, &y1);
  ScaleDirect(&x2, &y2);
  if (kind == 2) {
    dc->FillRect(x1, y1, x2, y2, colour);
  } else {
    Pen oldPen = dc->SelectPen(PenForMode(direct.penMode, colour));
    int32_t oldOp = kind == 1 ? dc->SetRasterOp(kRasterXorPen) : 0;
    dc->MoveTo(x1, y1);
    dc->LineTo(x1, y2);
    dc->MoveTo(x1, y2);
    dc->LineTo(x2, y2);
    dc->MoveTo(x2, y2);
    dc->LineTo(x2, y1);
    dc->MoveTo(x2, y1);
    dc->LineTo(x1, y1);
    if (kind == 1) dc->SetRasterOp(oldOp);
    dc->SelectPen(oldPen);
  }
  dc->SetBackgroundMode(oldMode);
}

void OverlaySetScale(double scaleX, double scaleY, double* previousX, double* previousY) {
  std::lock_guard<std::mutex> hold(storeLock);
  if (!store) return;
  if (previousX) *previousX = store->scaleX;
  if (previousY) *previousY = store->scaleY;
  store->scaleX = scaleX;
  store->scaleY = scaleY;
}

int32_t OverlayAddLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  std::lock_guard<std::mutex> hold(storeLock);
  if (!store || store->count >= store->capacity) return 0;
  store->lines[store->count] = OverlayLine{x1, y1, x2, y2, store->penStyle, store->penWidth, colour};
  ++store->count;
  return 1;
}

void OverlayClear() {
  std::lock_guard<std::mutex> hold(storeLock);
  if (store) store->count = 0;
}

void OverlayDrawAll(DrawContext* dc) {
  if (!dc) return;
  // Drawing may take a while; the decoders must not wait for it.
  thread_local std::vector<OverlayLine> lines;
  double sx, sy;
  {
    std::lock_guard<std::mutex> hold(storeLock);
    if (!store) return;
    sx = store->scaleX;
    sy = store->scaleY;
    lines.assign(store->lines.get(), store->lines.get() + store->count);
  }
  int32_t oldMode = dc->SetBackgroundMode(kBackgroundTransparent);
  for (const OverlayLine& l : lines) {
    Pen oldPen = dc->SelectPen(Pen{l.penStyle, l.penWidth, l.colour});
    dc->MoveTo(RoundToInt(l.x1 * sx), RoundToInt(l.y1 * sy));
    dc->LineTo(RoundToInt(l.x2 * sx), RoundToInt(l.y2 * sy));
    dc->SelectPen(oldPen);
  }
  dc->SetBackgroundMode(oldMode);
}

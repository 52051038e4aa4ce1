// Marks over the preview: direct drawing (lines and rectangles drawn at once,
// scaled by the direct-drawing scale) and the overlay store (lines of the last
// code outline, filled by the decode calls and drawn on every repaint).
//
// All coordinates are picture pixels. The overlay operations do nothing while
// the utility library is not initialized. The store may be filled on the capture
// thread while the window thread draws it.
#ifndef VANTREL_OVERLAY_H
#define VANTREL_OVERLAY_H

#include <cstdint>

#include "vantrel/draw_context.h"

void DrawSetScale(double scaleX, double scaleY, double* previousX, double* previousY);
int32_t DrawSetLineStyle(int32_t mode);  // 0 solid 1, 1 solid 2, 2 dotted 1, 3 dotted 2
void DrawLine(vantrel::DrawContext* dc, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
              uint32_t colour);
// kind: 0 outline, 1 XOR outline, 2 filled; any other kind draws nothing.
void DrawRect(vantrel::DrawContext* dc, int32_t kind, int32_t x1, int32_t y1, int32_t x2,
              int32_t y2, uint32_t colour);

void OverlaySetScale(double scaleX, double scaleY, double* previousX, double* previousY);
int32_t OverlayAddLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour);  // 1 stored, 0 full
void OverlayClear();
void OverlayDrawAll(vantrel::DrawContext* dc);

#endif

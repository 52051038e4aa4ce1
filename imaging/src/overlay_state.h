// The overlay store and direct-drawing state behind overlay.h, created and
// released with the utility library (ovoutil.cpp).
#ifndef VANTREL_IMAGING_OVERLAY_STATE_H
#define VANTREL_IMAGING_OVERLAY_STATE_H

#include <cstdint>

namespace vantrel::detail {

constexpr int32_t kOverlayCapacity = 5000;

// Direct-drawing scales back to 1.0, 1.0 (the pen mode is left as it is).
void ResetDirectDrawing();
// 0; -7 no memory for the store; 1 no memory for its line array.
int32_t CreateOverlayStore();
void DestroyOverlayStore();

}  // namespace vantrel::detail

#endif

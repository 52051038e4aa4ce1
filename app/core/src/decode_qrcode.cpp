#include "vantrel/decode_calls.h"

namespace vantrel {

// Placeholder until the QR library lands: nothing is ever found.
int32_t DecodeQrCode(DibImage, const SettingsRecord&, OverlayOrigin, int32_t, char*, char*, int32_t*,
                     char*, int32_t*) {
  return -4;
}

}  // namespace vantrel

namespace vantrel {
int32_t StartQrLibrary() { return 0; }
void StopQrLibrary() {}
}  // namespace vantrel

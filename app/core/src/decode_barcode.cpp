#include "vantrel/decode_calls.h"

namespace vantrel {

// Placeholder until the barcode library lands: nothing is ever found.
int32_t DecodeBarcode(DibImage, const SettingsRecord&, OverlayOrigin, char*, int32_t*, int32_t*, char*) {
  return -4;
}

}  // namespace vantrel

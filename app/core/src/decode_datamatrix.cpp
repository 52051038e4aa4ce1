#include "vantrel/decode_calls.h"

namespace vantrel {

// Placeholder until the Data Matrix library lands: nothing is ever found.
int32_t DecodeDataMatrix(DibImage, const SettingsRecord&, OverlayOrigin, char*, int32_t, int32_t*,
                         int32_t*) {
  return -1;
}

}  // namespace vantrel

namespace vantrel {
int32_t StartDataMatrixReader() { return 0; }
void StopDataMatrixReader() {}
}  // namespace vantrel

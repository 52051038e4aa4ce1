// Any bytes as a picture file of any format, as the command-line reader loads
// it: our code around the format libraries (their error exits, the size checks
// made before anything large is allocated, the conversions into a picture)
// must survive damaged and hostile files.
#include <cstdint>

#include "vantrel/dib.h"
#include "vantrel/dib_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int32_t status = 0;
  DibImage picture = DibReadPictureMemory(data, size, &status);
  if ((picture != nullptr) != (status == kDibReadOk)) __builtin_trap();
  if (picture) {
    // Every row of the picture is there to be read.
    const uint8_t* bits = DibGetBits(picture);
    const int64_t bytes = int64_t{DibGetStride(picture)} * DibGetHeight(picture);
    volatile uint8_t sink = bits[0] ^ bits[bytes - 1];
    (void)sink;
  }
  DibFree(picture);
  return 0;
}

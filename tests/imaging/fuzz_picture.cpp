// Any bytes as a picture file of any format, as the command-line reader loads
// it: our code around the format libraries (their error exits, the size checks
// made before anything large is allocated, the conversions into a picture)
// must survive damaged and hostile files.
//
// The pixel limit is kept at 4 megapixels here, so that files declaring large
// pictures meet the limit's check rather than make every run slow; what the
// reading reports must agree with it and with the picture.
#include <cstdint>

#include "vantrel/dib.h"
#include "vantrel/dib_file.h"

namespace {
constexpr uint64_t kLimit = uint64_t{1} << 22;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DibReadReport report{-1, 0, 0};
  DibImage picture = DibReadPictureMemoryLimited(data, size, kLimit, &report);
  if ((picture != nullptr) != (report.status == kDibReadOk)) __builtin_trap();
  if (report.status == kDibReadTooLarge && uint64_t{report.width} * report.height <= kLimit) __builtin_trap();
  if (picture) {
    if (uint64_t(DibGetWidth(picture)) != report.width || uint64_t(DibGetHeight(picture)) != report.height)
      __builtin_trap();
    // Every row of the picture is there to be read.
    const uint8_t* bits = DibGetBits(picture);
    const int64_t bytes = int64_t{DibGetStride(picture)} * DibGetHeight(picture);
    volatile uint8_t sink = bits[0] ^ bits[bytes - 1];
    (void)sink;
  }
  DibFree(picture);
  return 0;
}

// Any bytes as a BMP file: into the station's frames of every depth, as a header
// block, and into a new picture as the command-line reader loads it.
#include <cstdint>
#include <cstdio>

#include "vantrel/dib.h"
#include "vantrel/dib_file.h"

namespace {

DibImage* Frames() {
  static DibImage frames[] = {DibCreate(64, 48, 3, 4), DibCreate(64, 48, 1, 4), DibCreate(17, 5, 4, 4),
                              DibCreate(8, 8, 2, 4)};
  return frames;
}

bool LooksLikeBmp(const uint8_t* d, size_t n) {
  if (n >= 2 && d[0] == 'B' && d[1] == 'M') return true;
  if (n < 4) return false;
  const uint32_t size = d[0] | (d[1] << 8) | (d[2] << 16) | (uint32_t{d[3]} << 24);
  return size == 12 || size == 40 || size == 108 || size == 124;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  for (int i = 0; i < 4; ++i) {
    FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f) return 0;
    DibReadBmpStream(f, Frames()[i]);
    std::fclose(f);
  }
  FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (f) {
    GmFree(DibReadBmpHeader(f));
    std::fclose(f);
  }
  // Only BMP data: the other formats' readers are their libraries' to fuzz.
  if (LooksLikeBmp(data, size)) {
    int32_t status = 0;
    DibImage picture = DibReadPictureMemory(data, size, &status);
    if ((picture != nullptr) != (status == kDibReadOk)) __builtin_trap();
    DibFree(picture);
  }
  return 0;
}

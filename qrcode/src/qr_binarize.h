// From the picture's pixels to binary images.
//
// The global binarization of the strict decoder compares the selected
// channel with one threshold. Beside it the same pass can gather statistics of
// 8 x 8-pixel blocks for the robust reading: minimum, maximum and sum of a
// colour-blind grey ((B + 2 G + R) / 4 of a 24-bit pixel, the pixel itself in
// an 8-bit picture: whichever channel carries the symbol, a good part of its
// contrast shows) and how many pixels of the block the
// global threshold set. From these the robust reading tells, without looking
// at the pixels again, where the global threshold flattened a block that has
// contrast (a dim or unevenly lit symbol, modules that vanish in the selected
// channel) and builds a block-threshold image when it did.
//
// The loops use SSSE3 where the processor has it; the plain loops give the
// same bytes.
#ifndef VANTREL_QRCODE_QR_BINARIZE_H
#define VANTREL_QRCODE_QR_BINARIZE_H

#include <cstdint>
#include <vector>

namespace vantrel::qr {

// Source pixels of the processing area. byteOffset picks the byte of a pixel
// that is compared (0 for grey images; 2 red, 1 green, 0 blue for B,G,R).
struct QrSourceArea {
  const uint8_t* bits = nullptr;  // the picture's first row
  int32_t stride = 0;
  int32_t bytesPerPixel = 1;
  int32_t byteOffset = 0;
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
};

constexpr int32_t kBlockSide = 8;

// Statistics of the 8 x 8 blocks of the area (the last column and row of
// blocks may be narrower), row-major, gathered on the even rows.
struct QrBlockStats {
  int32_t blocksAcross = 0, blocksDown = 0;
  std::vector<uint8_t> min, max;  // of the colour-blind grey
  std::vector<uint16_t> sum;      // of the colour-blind grey
  std::vector<uint8_t> set;       // pixels the global threshold set
  int64_t setPixels = 0;          // in the whole area
  int64_t sampledPixels = 0;      // pixels the statistics looked at

  // Pixels a block's statistics looked at.
  int32_t Pixels(int32_t bx, int32_t by, int32_t w, int32_t h) const;
};

// darkModules 1: pixels at or below the threshold are set (dark symbol on a
// light ground); 0: pixels above it are set (light symbol on a dark ground).
// out receives width x height bytes, 0xFF set and 0 clear; stats, when given,
// the block statistics. False when a buffer cannot be had.
bool Binarize(const QrSourceArea& source, int32_t threshold, int32_t darkModules,
              std::vector<uint8_t>* out, QrBlockStats* stats = nullptr);

// Blocks whose grey spans at least `contrast` levels and whose pixels the
// global threshold left all set or all clear; withContrast (may be null)
// receives the number of blocks that span that many levels.
int32_t FlattenedBlocks(const QrBlockStats& stats, int32_t width, int32_t height, int32_t contrast,
                        int32_t* withContrast = nullptr);

// The block-threshold image: each pixel's colour-blind grey compared with a
// threshold from the means of the 5 x 5 blocks around its block (a block of
// little contrast counts as light ground). Set means dark when darkModules is
// nonzero, light otherwise. False when a buffer cannot be had.
bool BinarizeLocal(const QrSourceArea& source, const QrBlockStats& stats, int32_t darkModules,
                   std::vector<uint8_t>* out);

// Flips every byte between set and clear.
void InvertBinary(const std::vector<uint8_t>& in, std::vector<uint8_t>* out);

// Test seam: the plain loops even where SSSE3 is there.
void ForcePlainBinarizeLoops(bool plain);

}  // namespace vantrel::qr

#endif

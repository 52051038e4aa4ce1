// Binarization and the finder-pattern search: one global threshold turns the
// processing area into a binary image, which is then scanned for the centres of
// the 7 x 7 finder patterns by their 1:1:3:1:1 run signature along a row and a
// column.
#ifndef VANTREL_QRCODE_QR_FINDER_H
#define VANTREL_QRCODE_QR_FINDER_H

#include <cstdint>
#include <vector>

#include "qr_types.h"

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

// darkModules 1: pixels at or below the threshold are set (dark symbol on a
// light ground); 0: pixels above it are set (light symbol on a dark ground).
// out receives width x height bytes, 0xFF set and 0 clear. False when the
// buffer cannot be had.
bool Binarize(const QrSourceArea& source, int32_t threshold, int32_t darkModules,
              std::vector<uint8_t>* out);

// Where the runs of one 1:1:3:1:1 test lie along the tested row or column: the
// start of the outer dark run (s1), of the inner light run (s2), of the core
// (s3), the end of the core (e4), the start (e5) and end (e6) of the far dark
// run. Ends are the first light pixel after the run.
struct QrRunRecord {
  int32_t s1 = 0, s2 = 0, s3 = 0, e4 = 0, e5 = 0, e6 = 0;
};

// Run tests through (x, y) along row y or column x. On a pass, centre receives
// the centre column (row) (e6 - s1) * 0.5 + s1.
bool HorizontalRunTest(const QrBinaryImage& img, int32_t x, int32_t y, QrRunRecord* runs,
                       float* centre);
bool VerticalRunTest(const QrBinaryImage& img, int32_t x, int32_t y, QrRunRecord* runs,
                     float* centre);

// Scans the image for finder centres, in scan order (row, then column), at most
// kMaxFinders of them. False when the list could not grow (it is then empty).
bool FindFinders(const QrBinaryImage& img, std::vector<QrFinder>* finders);

}  // namespace vantrel::qr

#endif

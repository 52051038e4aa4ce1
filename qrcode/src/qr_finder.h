// The finder-pattern search: the binary image (qr_binarize.h) is scanned for
// the centres of the 7 x 7 finder patterns by their 1:1:3:1:1 run signature
// along a row and a column.
#ifndef VANTREL_QRCODE_QR_FINDER_H
#define VANTREL_QRCODE_QR_FINDER_H

#include <cstdint>
#include <vector>

#include "qr_binarize.h"
#include "qr_types.h"

namespace vantrel::qr {

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

// A row where five runs look like a finder pattern by the relaxed test: the
// centre column (from the midpoints of the core and of the light ring, in
// pixel-edge coordinates: pixel x covers [x, x + 1)) and the five runs' width.
struct QrRowHit {
  float x = 0;
  int32_t y = 0;
  float width = 0;
};
constexpr int32_t kMaxRowHits = 4096;

// Scans the image for finder centres, in scan order (row, then column), at most
// kMaxFinders of them. False when the list could not grow (it is then empty).
// hits, when given, receives on the same rows the relaxed hits of the robust
// reading (at most kMaxRowHits), which reads the surroundings as light.
bool FindFinders(const QrBinaryImage& img, std::vector<QrFinder>* finders,
                 std::vector<QrRowHit>* hits = nullptr);
// The relaxed hits alone, on the rows FindFinders scans. False when the list
// cannot be had.
bool CollectRowHits(const QrBinaryImage& img, std::vector<QrRowHit>* hits);

}  // namespace vantrel::qr

#endif

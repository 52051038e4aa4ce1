// The robust passes: run only when the strict decoding (pass 0) read
// nothing, all of them within one work budget per decode.
//
// 1. Geometry. Symbol candidates of pass 0 first, then triples of finder
//    patterns found by a relaxed run test (cross-checked along the column and
//    a diagonal, centres from the midpoints of core and ring) with a corner
//    angle of 30 to 150 degrees and sizes within a factor of 2. Each triple is
//    gated by its format information (and, for larger symbols, the version
//    information) read beside the finders with at most 3 wrong bits, then
//    placed by a projective transform through the three finder centres and
//    the bottom-right alignment pattern, searched within 6 modules of where
//    the finders put it (the parallelogram of the finders, moved around, where
//    there is none), gated by the timing patterns, sampled at module centres
//    and, when that fails, by a vote of 3 x 3 points per module.
// 2. A virtual quiet zone: everything outside the processing area reads as
//    light, for the runs of the finder search, the walks over the finders and
//    the reads of the format and version information.
// 3. A block-threshold image (qr_binarize.h) and step 1 on it, when the
//    global threshold flattened blocks that have contrast.
// 4. The opposite polarity when the threshold set most of the area, and the
//    mirror image of every triple (the symbol printed or seen from behind).
//
// Nothing here allocates per candidate: the finder lists, the images and the
// module matrix belong to the decode.
#ifndef VANTREL_QRCODE_QR_ROBUST_H
#define VANTREL_QRCODE_QR_ROBUST_H

#include <cstdint>
#include <vector>

#include "qr_binarize.h"
#include "qr_decoder.h"
#include "qr_finder.h"

namespace vantrel::qr {

// Work units of the robust passes: one per pixel read, module sampled or
// finder tested, and one per four field operations of the correction. The
// budget keeps the passes of one decode within a few milliseconds.
constexpr int64_t kRobustBudget = 1'250'000;

struct QrRobustInput {
  QrSourceArea source;
  const QrBlockStats* stats = nullptr;
  const std::vector<uint8_t>* binary = nullptr;  // pass 0's
  const std::vector<QrRowHit>* hits = nullptr;   // pass 0's relaxed hits
  int32_t darkModules = 1;
};

// A finder pattern of the robust passes: its centre, its widths along the row
// and the column through it, and how many row hits it gathered.
struct QrRobustFinder {
  float x = 0, y = 0;
  float w = 0, h = 0;
  int32_t hits = 0;
  bool used = false;
};

// Buffers of the robust passes, kept from decode to decode so that a frame
// costs no allocation once the buffers have grown to its size.
struct QrRobustWorkspace {
  std::vector<uint8_t> local, inverted, invertedLocal;
  std::vector<QrRowHit> hits;
  std::vector<QrRobustFinder> finders[4];  // per image looked at
};

// Which pass read what, and the work spent.
enum class QrRobustStep : int32_t { kNone, kCandidates, kGeometry, kLocal, kInverted, kMirrored };
struct QrRobustReport {
  int64_t work = 0;
  QrRobustStep step = QrRobustStep::kNone;
  bool localTried = false, invertedTried = false;
};

// Appends what the passes read to ctx->results (ordered as pass 0 orders
// them) and returns their number.
int32_t RunRobustPasses(QrDecodeContext* ctx, const QrRobustInput& in, QrRobustWorkspace* work,
                        QrRobustReport* report);

}  // namespace vantrel::qr

#endif

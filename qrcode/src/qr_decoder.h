// The per-decode working state and the stages that run on it: the finder
// search, the candidates, and the loop that tries each candidate, consumes the
// finders of every decoded symbol, drops near-duplicates and orders the results
// by rows and columns of the picture.
#ifndef VANTREL_QRCODE_QR_DECODER_H
#define VANTREL_QRCODE_QR_DECODER_H

#include <cstdint>
#include <vector>

#include "qr_finder.h"
#include "qr_grid.h"
#include "qr_reed_solomon.h"
#include "qr_types.h"
#include "qr_version_table.h"

namespace vantrel::qr {

struct QrDecodeContext {
  QrBinaryImage image;
  std::vector<QrFinder> finders;
  std::vector<QrCandidate> candidates;
  std::vector<QrResult> results;
  QrModuleMatrix matrix;
  QrGrid grid;
  uint8_t codewords[kMaxCodewords] = {};
  uint8_t scratch[kMaxCodewords] = {};
  QrRsWork rs;
  bool outOfMemory = false;
  int64_t sampledModules = 0;  // work done by the attempts of this decode
  int64_t triplesExamined = 0;  // by the candidate stage
  // Data beyond the basic modes: ECI, FNC1 and Hanzi (see qr_segments.h).
  bool extendedData = false;
};

// Modules all attempts of one decode may sample together, and the
// Reed-Solomon work (qr_reed_solomon.h) they may spend on correction. A
// picture does not come near either (a symbol needs one to 81 attempts, a
// picture of the sample corpus at most a third of each); a texture that breeds
// thousands of candidates would otherwise take a second.
constexpr int64_t kSampledModuleBudget = int64_t{1} << 20;
constexpr int64_t kCorrectionBudget = int64_t{1} << 22;

// The whole pipeline on a binary image: finders, candidates, the decoding loop
// and the ordering. Returns the number of results (0 when the image is smaller
// than 21 pixels either way, fewer than 3 finders or no candidate were found,
// or a list could not grow).
// hits, when given, receives the finder search's relaxed hits for the robust
// passes (qr_robust.h).
int32_t RunPipeline(QrDecodeContext* ctx, const QrBinaryImage& img,
                    std::vector<QrRowHit>* hits = nullptr);

// Lays the function map, samples, unmasks and reads the codewords of the
// candidate through the current grid; on success ctx->codewords starts with
// *dataCount data codewords.
bool Attempt(QrDecodeContext* ctx, const QrCandidate& cand, int32_t* dataCount);

// Tries every candidate in list order and appends the decoded symbols.
int32_t DecodeCandidates(QrDecodeContext* ctx);

// True when a result already in the list has corners 0, 1 and 3 within 20
// pixels of the new one's in both x and y.
bool IsDuplicateResult(const std::vector<QrResult>& results, const QrResult& r);

// Top row of symbols first, then left to right within a row.
void OrderResults(std::vector<QrResult>* results);

// The work of the last OvoQrcDecode, for tests of the budgets.
struct QrDecodeWork {
  int64_t triplesExamined = 0;
  int64_t sampledModules = 0;
  int64_t correction = 0;   // Reed-Solomon work of pass 0
  int64_t robust = 0;       // work units of the robust passes
  int32_t robustStep = 0;   // QrRobustStep that read, 0 none
  bool robustRan = false, localTried = false, invertedTried = false;
};
QrDecodeWork LastDecodeWork();

}  // namespace vantrel::qr

#endif

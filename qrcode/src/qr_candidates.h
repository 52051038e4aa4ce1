// Symbol candidates: ordered triples (A, B, C) of finder patterns that can be
// one symbol's top-left, top-right and bottom-left patterns, with the corners
// of the three patterns, the version and the format information.
//
// Corner points in module edges of a version-V symbol (N = 4V + 17 modules):
//
//   P0 (0, 0)      P1 (7, 0)      P4 (N-7, 0)    P5 (N, 0)
//   P3 (0, 7)      P2 (7, 7)      P7 (N-7, 7)    P6 (N, 7)
//   P8 (0, N-7)    P9 (7, N-7)
//   P11 (0, N)     P10 (7, N)
#ifndef VANTREL_QRCODE_QR_CANDIDATES_H
#define VANTREL_QRCODE_QR_CANDIDATES_H

#include <cstdint>
#include <vector>

#include "qr_types.h"

namespace vantrel::qr {

// Ordered triples one decode examines at most. A picture does not come near
// it (a symbol brings three finders, a busy picture a dozen: some thousand
// triples); a texture that breeds the full 128 finders has two million, which
// would take longer than a frame lasts.
constexpr int64_t kCandidateTripleBudget = int64_t{1} << 18;

// Examines every ordered triple of finders (up to the budget) and appends each
// that passes the checks to candidates. False when the list could not grow (it
// is then empty).
// examined (may be null) receives the number of triples examined.
bool BuildCandidates(const QrBinaryImage& img, const std::vector<QrFinder>& finders,
                     std::vector<QrCandidate>* candidates, int64_t* examined = nullptr);

}  // namespace vantrel::qr

#endif

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

#include <vector>

#include "qr_types.h"

namespace vantrel::qr {

// Examines every ordered triple of finders and appends each that passes the
// checks to candidates. False when the list could not grow (it is then empty).
bool BuildCandidates(const QrBinaryImage& img, const std::vector<QrFinder>& finders,
                     std::vector<QrCandidate>* candidates);

}  // namespace vantrel::qr

#endif

// Building symbol candidates.
//
// For a pair A, B the rays along the line A-B measure both finders' widths,
// and the centre distance in module widths estimates the version (centres of a
// version-V symbol are 4V + 10 modules apart). A third finder C must lie 60 to
// 120 degrees clockwise of B seen from A, which also rejects mirror images.
// Rays across the line A-C and from B and C give the four straight sides of the
// symbol's finder band; the edge follower gives the far and near sides of B
// and C. Each triple is cut short by the cheap tests first.
#include "qr_candidates.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "qr_geometry.h"
#include "qr_info.h"

namespace vantrel::qr {

namespace {

constexpr double kPi = 3.141592653589793;

// Version estimate from a centre distance and two finder widths (7 modules each).
int32_t EstimateVersion(float distance, float width1, float width2) {
  return QrRound((distance / ((width1 + width2) / 14) - 10) * 0.25);
}

// The line of one side of a finder: traced both ways from where a ray met it.
struct Segment {
  QrPoint a, b;
};
Segment TracedSide(const QrBinaryImage& img, QrPoint centre, QrPixel start) {
  return {ToPoint(TraceEdge(img, centre, start, -1)), ToPoint(TraceEdge(img, centre, start, 1))};
}

}  // namespace

namespace {

// What depends on A and C alone, worked out once per pair and only when a
// triple first needs it.
struct PairWithC {
  bool angleKnown = false;
  double phi = 0;
  bool raysKnown = false, raysFound = false;
  QrPixel E5, E6, E7, E8;
  float dAC = 0;
  int32_t vac = -1;
  bool tracesKnown = false;
  Segment cNear, cFar;  // C's side facing A and its far side
};

}  // namespace

bool BuildCandidates(const QrBinaryImage& img, const std::vector<QrFinder>& finders,
                     std::vector<QrCandidate>* candidates, int64_t* examinedOut) {
  candidates->clear();
  const int32_t n = static_cast<int32_t>(finders.size());
  std::vector<PairWithC> withC;
  try {
    withC.resize(static_cast<size_t>(n));
  } catch (const std::bad_alloc&) {
    return false;
  }
  int64_t examined = 0;
  if (examinedOut) *examinedOut = 0;
  for (int32_t ia = 0; ia < n; ++ia) {
    const QrPoint A{finders[ia].x, finders[ia].y};
    std::fill(withC.begin(), withC.end(), PairWithC{});
    for (int32_t ib = 0; ib < n; ++ib) {
      if (ib == ia) continue;
      const QrPoint B{finders[ib].x, finders[ib].y};
      const double theta = Angle(A, B), thetaBack = theta + kPi;
      QrPixel E1, E2, E3, E4;
      if (!RayToEdge(img, A, thetaBack, &E1) || !RayToEdge(img, A, theta, &E2) ||
          !RayToEdge(img, B, thetaBack, &E3) || !RayToEdge(img, B, theta, &E4))
        continue;
      const float wA = Distance(ToPoint(E1), ToPoint(E2));
      const float wB = Distance(ToPoint(E3), ToPoint(E4));
      const float dAB = Distance(A, B);
      const int32_t vab = EstimateVersion(dAB, wA, wB);
      if (vab < 0 || vab > 44) continue;
      bool bTraced = false;  // B's sides, once per pair
      Segment bNear, bFar;

      for (int32_t ic = 0; ic < n; ++ic) {
        if (ic == ia || ic == ib) continue;
        if (examined == kCandidateTripleBudget) return true;
        ++examined;
        if (examinedOut) *examinedOut = examined;
        const QrPoint C{finders[ic].x, finders[ic].y};
        PairWithC& ac = withC[static_cast<size_t>(ic)];
        if (!ac.angleKnown) {
          ac.phi = Angle(A, C);
          ac.angleKnown = true;
        }
        const double phi = ac.phi, phiBack = phi + kPi;
        if (!(std::sin(theta - phi) >= 0.8660254)) continue;

        if (!ac.raysKnown) {
          ac.raysKnown = true;
          ac.raysFound = RayToEdge(img, A, phiBack, &ac.E5) && RayToEdge(img, A, phi, &ac.E6) &&
                         RayToEdge(img, C, phiBack, &ac.E7) && RayToEdge(img, C, phi, &ac.E8);
          if (ac.raysFound) {
            const float wA2 = Distance(ToPoint(ac.E5), ToPoint(ac.E6));
            const float wC = Distance(ToPoint(ac.E7), ToPoint(ac.E8));
            ac.dAC = Distance(A, C);
            ac.vac = EstimateVersion(ac.dAC, wA2, wC);
          }
        }
        if (!ac.raysFound) continue;
        const QrPixel E5 = ac.E5, E6 = ac.E6, E7 = ac.E7, E8 = ac.E8;
        const float dAC = ac.dAC;
        if (!(std::max(dAB, dAC) / std::min(dAB, dAC) <= 2)) continue;
        const int32_t vac = ac.vac;
        if (vac < 0 || vac > 44) continue;

        int32_t version = -1;  // -1: left to the version information
        if (vab <= 6 && vac <= 6) {
          if (vab != vac) continue;
          version = vab;
        } else if (std::abs(vab - vac) > 4) {
          continue;
        }

        QrPixel E9, E10, E11, E12;
        if (!RayToEdge(img, B, phiBack, &E9) || !RayToEdge(img, B, phi, &E10) ||
            !RayToEdge(img, C, thetaBack, &E11) || !RayToEdge(img, C, theta, &E12))
          continue;

        // The symbol's outer and inner edges along A-B (L1, L2) and A-C (L3, L4).
        const QrPoint L1a = ToPoint(E5), L1b = ToPoint(E9);
        const QrPoint L2a = ToPoint(E6), L2b = ToPoint(E10);
        const QrPoint L3a = ToPoint(E1), L3b = ToPoint(E11);
        const QrPoint L4a = ToPoint(E2), L4b = ToPoint(E12);
        QrCandidate cand;
        QrPoint* P = cand.P;
        if (!Intersect(L1a, L1b, L3a, L3b, &P[0]) || !Intersect(L1a, L1b, L4a, L4b, &P[1]) ||
            !Intersect(L2a, L2b, L4a, L4b, &P[2]) || !Intersect(L2a, L2b, L3a, L3b, &P[3]))
          continue;
        // B's and C's sides facing A and their far sides, cut by the edge lines.
        if (!bTraced) {
          bNear = TracedSide(img, B, E3);
          bFar = TracedSide(img, B, E4);
          bTraced = true;
        }
        if (!ac.tracesKnown) {
          ac.cNear = TracedSide(img, C, E7);
          ac.cFar = TracedSide(img, C, E8);
          ac.tracesKnown = true;
        }
        const Segment& cNear = ac.cNear;
        const Segment& cFar = ac.cFar;
        if (!Intersect(L1a, L1b, bNear.a, bNear.b, &P[4]) ||
            !Intersect(L2a, L2b, bNear.a, bNear.b, &P[7]) ||
            !Intersect(L1a, L1b, bFar.a, bFar.b, &P[5]) ||
            !Intersect(L2a, L2b, bFar.a, bFar.b, &P[6]) ||
            !Intersect(L3a, L3b, cNear.a, cNear.b, &P[8]) ||
            !Intersect(L4a, L4b, cNear.a, cNear.b, &P[9]) ||
            !Intersect(L3a, L3b, cFar.a, cFar.b, &P[11]) ||
            !Intersect(L4a, L4b, cFar.a, cFar.b, &P[10]))
          continue;

        if (version < 0) {
          int32_t read = 0;
          if (ReadVersion(img, P, B, C, &read)) version = read;
          else if (vab == vac && vab <= 40) version = vab;
          else continue;
        }
        QrFormat format;
        if (!ReadFormat(img, P, A, B, C, &format)) continue;

        cand.finderA = ia;
        cand.finderB = ib;
        cand.finderC = ic;
        cand.version = version;
        cand.level = format.level;
        cand.mask = format.mask;
        try {
          candidates->push_back(cand);
        } catch (const std::bad_alloc&) {
          candidates->clear();
          candidates->shrink_to_fit();
          return false;
        }
      }
    }
  }
  return true;
}

}  // namespace vantrel::qr

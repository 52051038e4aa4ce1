// Measures shared by the robust decoders: the second reading of a line that the
// strict decoders did not accept, on runs from the edges of its profile.
//
// The robust decoders read the same run lists with the same contract as the
// strict ones (bcd_decoder.h), but measure what survives a real print and
// camera: ink spread or blur adds the same width to every bar and takes it
// from every space, so they compare distances between like edges (a bar and the
// following space, or a space and the following bar), which keep their width,
// or they decide narrow and wide within one colour of one character; they
// follow the module width along the symbol instead of holding one for all of
// it; and they take a light run that reaches the end of the line as a quiet
// zone, for symbols cut by the picture's edge. What they give up in tolerance
// they take back in structure: quiet zones on both sides, and widths that agree
// from character to character.
#ifndef VANTREL_BARCODE_ROBUST_H
#define VANTREL_BARCODE_ROBUST_H

#include <cmath>
#include <cstdint>

#include "bcd_decoder.h"

namespace vantrel::bcd {

int32_t RobustJan8(BcdDecoder& d, int32_t k);
int32_t RobustJan13(BcdDecoder& d, int32_t k);
int32_t RobustItf(BcdDecoder& d, int32_t k);
int32_t RobustCode39(BcdDecoder& d, int32_t k);
int32_t RobustCode128(BcdDecoder& d, int32_t k);
int32_t RobustNw7(BcdDecoder& d, int32_t k);

// Nothing but light, or nothing at all, lies between the start of the line and
// bar B[i] (in the reversed lists the first light run is S[1], after an empty
// S[0] and B[0]).
inline bool OpensLine(const float* S, const float* B, int32_t i) {
  return i == 0 || (i == 1 && S[0] == 0.0f && B[0] == 0.0f);
}

// Likewise between bar B[l] and the end of the line.
inline bool ClosesLine(const float* B, int32_t l, int32_t k) { return l == k || (l + 1 == k && B[k] == 0.0f); }

// Quiet zone before bar B[i]: at least `need` wide, or, reaching the start of
// the line, at least `atEdge` wide.
inline bool QuietBefore(const float* S, const float* B, int32_t i, float need, float atEdge) {
  return S[i] >= need || (S[i] >= atEdge && OpensLine(S, B, i));
}

// Quiet zone after bar B[l], likewise.
inline bool QuietAfter(const float* S, const float* B, int32_t l, int32_t k, float need, float atEdge) {
  return S[l + 1] >= need || (S[l + 1] >= atEdge && ClosesLine(B, l, k));
}

// a and b within a factor f of each other (both positive).
inline bool Within(float a, float b, float f) { return a > 0.0f && b > 0.0f && a <= f * b && b <= f * a; }

// Narrow and wide elements of one colour of one character.
struct NarrowWide {
  uint32_t wide = 0;  // bit e set: element e is wide
  int32_t count = 0;  // wide elements
  float narrow = 0;   // mean width of the narrow elements
  float wide_ = 0;    // mean width of the wide elements (0 when none)
};

// Splits n (at most 5) widths into narrow and wide, with a number of wide
// elements whose bit is set in `allowed` (bit c: c wide elements). The widest
// elements are wide; the split must be the clearest step between sorted
// widths, at least minStep, with each side more even than the step (or within
// a factor 1.45). "None wide" is asked alone (allowed 1): all widths within a
// factor 1.45 of each other. False when no allowed split is
// clear or a width is not positive.
bool SplitNarrowWide(const float* w, int32_t n, uint32_t allowed, float minStep, NarrowWide* out);

// A distance between like edges, in modules of `module`, rounded to a whole
// number in [lo, hi]; -1 when it lies more than `slack` from it.
inline int32_t RoundModules(float distance, float module, int32_t lo, int32_t hi, float slack) {
  const float v = distance / module;
  if (!(v > static_cast<float>(lo) - slack && v < static_cast<float>(hi) + slack)) return -1;  // also NaN
  const float r = std::nearbyint(v);
  const int32_t n = static_cast<int32_t>(r < static_cast<float>(lo) ? lo : (r > static_cast<float>(hi) ? hi : r));
  return std::fabs(v - static_cast<float>(n)) <= slack ? n : -1;
}

// CODE 128 symbol values expanded into text (code128.cpp): values[0] is the
// start value, then count data values. False when the text would pass 48 characters.
bool ExpandCode128(const int32_t* values, int32_t count, char* text, int32_t* length);

}  // namespace vantrel::bcd

#endif

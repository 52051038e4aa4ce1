// Run widths from the edges of a grey profile, for the robust reading of a line
// that the threshold runs did not read.
//
// An edge is a local extreme of the difference between neighbouring samples
// that stands out against the contrast around it; its position is refined
// between samples by a parabola through the three differences at the extreme.
// Edges alternate between falling (light to dark) and rising; of two edges of
// the same direction in a row only the stronger is kept, so that a narrow
// element too faint to show both its edges merges into its neighbours instead
// of breaking the alternation. Unlike one threshold per line, this finds narrow
// spaces that blur has kept darker than the line's middle grey, and bars that
// ink spread has made wide, at their true edges.
//
// The widths go into the run lists of bcd_decoder.h, positions counted from the
// centre of the first sample as for the sub-pixel threshold runs.
#ifndef VANTREL_BARCODE_EDGES_H
#define VANTREL_BARCODE_EDGES_H

#include <cstdint>
#include <vector>

namespace vantrel::bcd {

// Working storage for lines of up to n samples, allocated once; one object per
// search, used by one thread.
class EdgeRuns {
 public:
  void Reserve(int32_t n);

  // Fills the lists (SpaceListSize(n) and BarListSize(n) entries; valid are
  // k + 3 spaces and k + 2 bars, later entries keep what they held) and
  // returns k. The samples must be no longer than the reserved size, with
  // kPadding bytes before and after them that this overwrites.
  int32_t Measure(uint8_t* samples, int32_t n, float* spaces, float* bars);
  static constexpr int32_t kPadding = 48;

  // Below this difference between the darkest and lightest sample of a line
  // (or around a place on it) no symbol is looked for.
  static constexpr int32_t kMinContrast = 24;

 private:
  std::vector<uint8_t> blockLo_;  // darkest and lightest sample of each block
  std::vector<uint8_t> blockHi_;
  std::vector<uint8_t> contrast_; // lightest less darkest around each block
};

}  // namespace vantrel::bcd

#endif

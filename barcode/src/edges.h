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
// An element narrower than about three times the blur is not where its edges'
// extremes say: the two edges' responses run into each other and their extremes
// stay about two blur widths apart however narrow the element is (a 1.2-pixel
// space blurred with sigma 1.5 measures 3 pixels). Its faintness tells its
// width instead: blur keeps the ink, so an element that no longer reaches the
// light (or dark) level is as much narrower as it falls short. The blur is
// read off the steepest edges nearby (an edge between wide elements rises by
// contrast / (sigma * sqrt(2 pi)) per sample), and such an element is narrowed
// about its extreme to the width whose blurred profile reaches as far.
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

  // The runs of the line last measured, with its elements that are narrower
  // than the blur narrowed (see above); the samples must be as Measure left
  // them. Returns k, or -1 (and leaves the lists) when the line is too sharp
  // to have such elements or has too few of them to be a symbol's. Once per
  // Measure: later calls return -1.
  int32_t Narrow(float* spaces, float* bars);

  // Below this difference between the darkest and lightest sample of a line
  // (or around a place on it) no symbol is looked for.
  static constexpr int32_t kMinContrast = 24;

 private:
  int32_t Runs(float* spaces, float* bars) const;
  bool Narrowed(const uint8_t* p, int32_t n, float a, float b, bool light, float* left, float* right) const;

  std::vector<uint8_t> blockLo_;  // darkest and lightest sample of each block
  std::vector<uint8_t> blockHi_;
  std::vector<uint8_t> contrast_;  // lightest less darkest around each block
  std::vector<uint8_t> aroundLo_;  // darkest and lightest sample around each block
  std::vector<uint8_t> aroundHi_;
  std::vector<float> edgePos_;     // the edges of the line, in order
  std::vector<int32_t> extremeAt_;   // scratch of the wide loops: the extremes of the line,
  std::vector<int32_t> extremeStep_;  // their differences
  std::vector<float> extremePos_;     // and their positions
  std::vector<uint8_t> blockStep_;  // the greatest step of each block that has an edge, else 0
  std::vector<float> steepest_;      // ... over the block's range of grey
  std::vector<float> sigma_;       // the blur around each block, in samples
  const uint8_t* samples_ = nullptr;  // the line last measured
  int32_t n_ = 0;
  int32_t blocks_ = 0;     // its blocks of differences; the last sample lies in block blocks_ at most
  int32_t count_ = 0;      // its edges
  int32_t firstSign_ = 0;  // the first edge's direction: -1 falling, 1 rising
};

}  // namespace vantrel::bcd

#endif

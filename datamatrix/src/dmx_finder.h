// The symbol finder: where in the working picture an ECC 200 symbol may lie,
// how large it is and which way it is turned, found from its solid "L" and
// its dashed timing edges.
//
// A local block threshold splits the picture into dark and light. Scan lines
// through the picture (the middle row first, then rows and columns further
// out) start a trace of the outline of every region they enter that no
// earlier trace went round; outlines too small, too thin or wound the wrong
// way (holes) are dropped at once. The convex hull of an outline, reduced to
// its few long sides, must show two adjacent sides that the outline follows
// all along (the legs of the L), meeting at about a right angle, and two more
// sides across from them. The module count of each edge comes from the size
// whose finder and timing pattern agree best with the picture, for both
// readings of the L (a mirrored symbol is its transpose). Corners are then
// fitted to the sub-pixel edges at the border modules.
//
// Both polarities are searched in the same scan: dark symbols on light
// ground and light symbols on dark ground.
//
// One Finder per picture and thread; nothing is shared.
#ifndef VANTREL_DATAMATRIX_DMX_FINDER_H
#define VANTREL_DATAMATRIX_DMX_FINDER_H

#include <chrono>
#include <cstdint>
#include <vector>

#include "datamatrix/src/dmx_image.h"
#include "datamatrix/src/dmx_symbol.h"

namespace vantrel::dmx {

// Dark and light by a threshold per block of 8 x 8 pixels: the mean of the
// block means around it (5 x 5 blocks) where the picture has contrast; blocks
// in flat surroundings are all light.
struct Binarized {
  static constexpr int32_t kBlock = 8;
  int32_t width = 0;
  int32_t height = 0;
  int32_t blocksAcross = 0;
  int32_t blocksDown = 0;
  std::vector<uint8_t> dark;       // 1 where the pixel is dark
  std::vector<uint8_t> threshold;  // per block
  uint8_t ThresholdAt(int32_t x, int32_t y) const;
  bool Dark(int32_t x, int32_t y) const { return dark[static_cast<size_t>(y) * width + x] != 0; }
};
bool Binarize(const GreyImage& grey, Binarized* out);

struct Candidate {
  Quad quad;                       // as printed; for a mirrored reading the legs are swapped
  const SymbolSize* size = nullptr;
  bool inverted = false;           // light modules on a dark ground
  bool mirrored = false;           // the reading with the legs swapped
  bool ambiguous = false;          // square: the other reading fits as well
  double score = 0;                // share of the border modules that fit
  double onLevel = 0, offLevel = 0;  // grey of the finder and of the light timing modules
  DibRect box{};                   // pixels the quad covers
};

// Share of the finder and timing modules of a size that the picture shows as
// they should be (the picture's own block thresholds), per side.
struct BorderFit {
  double total = 0, left = 0, bottom = 0, top = 0, right = 0;
  double onLevel = 0, offLevel = 0;
};
BorderFit FitBorder(const GreyImage& grey, const Binarized& bin, const Quad& quad, const SymbolSize& size,
                    bool inverted);

// Corners refitted to the edges of the border modules: the legs' outer edges
// at every module, the timing edges at their dark modules, each side's
// points along its outward normal where the grey crosses the middle of its
// local levels, and a least-squares line through them. False when a side has
// too few edge points or the lines do not make a quad.
bool RefineQuad(const GreyImage& grey, const SymbolSize& size, bool inverted, Quad* quad);

// The modules of the symbol: each module centre's grey against a threshold
// that follows the finder and timing levels across the symbol.
bool SampleModules(const GreyImage& grey, const Quad& quad, const SymbolSize& size, bool inverted,
                   ModuleGrid* out);

// The moment a decode must give up.
struct Deadline {
  std::chrono::steady_clock::time_point at = std::chrono::steady_clock::time_point::max();
  bool Passed() const { return std::chrono::steady_clock::now() >= at; }
};

struct FinderStats {
  int32_t traced = 0;      // outlines followed
  int32_t legs = 0;        // outlines with an L
  int32_t candidates = 0;  // L's whose border fits a size
};

class Finder {
 public:
  // The picture, its binarization and the visited map's storage (any
  // vector; it is resized and cleared) must outlive the finder.
  Finder(const GreyImage& grey, const Binarized& bin, std::vector<uint8_t>* visited);
  // The next candidate in scan order; false when the scan is through or the
  // deadline has passed (checked between scan lines, after the first).
  bool Next(Candidate* out, const Deadline& deadline);
  // Work done so far.
  const FinderStats& Stats() const { return stats_; }
  // Scan lines still to do, for deadline checks by the caller between Next calls.
  bool Done() const { return line_ >= static_cast<int32_t>(lines_.size()); }
  // Outlines inside this quad are not followed any more (a symbol was read there).
  void Cover(const Quad& q);

 private:
  struct Line {
    bool vertical;
    int32_t index;  // row or column
  };
  bool Fg(int32_t x, int32_t y, bool inverted) const;
  bool Trace(int32_t sx, int32_t sy, int32_t backDir, bool inverted);
  bool Evaluate(bool inverted, Candidate* out);
  bool Covered(int32_t x, int32_t y) const;

  const GreyImage& grey_;
  const Binarized& bin_;
  std::vector<uint8_t>& visited_;  // bit 0: dark outlines, bit 1: light outlines
  std::vector<Line> lines_;
  int32_t line_ = 0;
  int32_t pos_ = 1;
  std::vector<int32_t> contour_;  // x, y pairs
  std::vector<int32_t> colTop_, colBottom_;  // an outline's extremes per column
  std::vector<Quad> covered_;
  FinderStats stats_;
};

}  // namespace vantrel::dmx

#endif

// Scan lines over a processing range: a grid of centres per level, and through
// every centre the lines at 0, step, 2 step, ... below 180 degrees. Angles turn
// clockwise on the screen (y points down); 0 is horizontal.
#ifndef VANTREL_BARCODE_SCAN_LINES_H
#define VANTREL_BARCODE_SCAN_LINES_H

#include <cstdint>
#include <vector>

#include "vantrel/OvoBcd.h"

namespace vantrel::bcd {

// One scan line's pixels: they form one unbroken stretch of step values
// (x for shallow lines, y for steep ones), pixel i at step value first + i,
// its other coordinate trunc(v * slope + offset).
struct LineSpan {
  bool alongX = true;
  double slope = 0;
  double offset = 0;
  int64_t first = 0;
  int32_t n = 0;

  // The other coordinate of step value v, for v on the line (it then fits in
  // 32 bits, so the conversion truncates exactly as trunc does).
  int32_t Across(int64_t v) const {
    return static_cast<int32_t>(static_cast<int64_t>(static_cast<double>(v) * slope + offset));
  }
  OvoBcdPoint At(int64_t i) const {
    const int64_t v = first + i;
    return alongX ? OvoBcdPoint{static_cast<int32_t>(v), Across(v)}
                  : OvoBcdPoint{Across(v), static_cast<int32_t>(v)};
  }
};

// The line parallel to `line`, its other coordinate moved by `shift` pixels
// (down for shallow lines, right for steep ones), with its pixels inside the
// half-open range; n = 0 when none are.
LineSpan ParallelLine(const LineSpan& line, double shift, const OvoBcdRange& range);

class ScanLineGenerator {
 public:
  // Sets up the centres of one level over the half-open range (taken as it is;
  // an empty or inverted range has no centres). The angle step is in degrees,
  // already checked by the caller. Throws std::bad_alloc when the centres do
  // not fit in memory.
  void Reset(const OvoBcdRange& range, int32_t level, double angleStepDeg);

  // The next line, in order along it (left to right for shallow lines, top to
  // bottom for steep ones). False when the level has no more lines; a line may
  // have no pixel (n = 0).
  bool Next(LineSpan* line);

  // The same, with its pixels listed; `points` must have room for
  // max(width, height) of the range.
  bool Next(OvoBcdPoint* points, int32_t* n);

  // The next line's first and last pixel, without visiting the pixels between;
  // a line without pixels gives its centre as both. False at the level's end.
  bool NextEnds(OvoBcdPoint* first, OvoBcdPoint* last);

  // Lines this level lays: centres times the angles of one centre.
  int64_t LineCount() const { return static_cast<int64_t>(centres_.size()) * anglesPerCentre_; }

  const std::vector<OvoBcdPoint>& Centres() const { return centres_; }

  // How many lines one centre gets for an angle step (in degrees).
  static int64_t AnglesPerCentre(double angleStepDeg);
  // How many centres a level lays over a range, without listing them.
  static int64_t CentreCount(const OvoBcdRange& range, int32_t level);

 private:
  // One line: coordinate = trunc(v * slope + offset), v stepping over
  // [vBegin, vEnd) along x (alongX) or along y.
  struct Line {
    bool alongX;
    double slope;
    double offset;
  };
  // Current line, or false at the level's end; advances the angle and centre.
  bool Advance(Line* line, OvoBcdPoint* centre);
  // First and last step value of the line's pixels; false when it has none.
  bool Extent(const Line& line, int64_t* first, int64_t* last) const;

  int64_t x0_ = 0, y0_ = 0, x1_ = 0, y1_ = 0;
  std::vector<OvoBcdPoint> centres_;
  size_t centreIndex_ = 0;
  double step_ = 0;
  double theta_ = 0;
  int64_t anglesPerCentre_ = 0;
};

}  // namespace vantrel::bcd

#endif

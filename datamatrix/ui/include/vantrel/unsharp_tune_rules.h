// The arithmetic of the unsharp-mask tuning dialog, apart from any toolkit:
// where the preview scrolls to, which slider notifications run the filter, and
// how slider positions and values convert.
#ifndef VANTREL_UNSHARP_TUNE_RULES_H
#define VANTREL_UNSHARP_TUNE_RULES_H

#include <cstdint>
#include <string>

namespace vantrel::dmxtune {

// The preview: client pixels (13, 13) up to, not including, (423, 263).
constexpr int32_t kPreviewLeft = 13;
constexpr int32_t kPreviewTop = 13;
constexpr int32_t kPreviewWidth = 410;
constexpr int32_t kPreviewHeight = 250;

// Scroll and trackbar notification codes, as both kinds of control report them.
enum NotifyCode : int32_t {
  kLineUp = 0,         // line left / up
  kLineDown = 1,       // line right / down
  kPageUp = 2,         // page left / up
  kPageDown = 3,       // page right / down
  kThumbPosition = 4,  // the thumb was let go
  kThumbTrack = 5,     // the thumb is being dragged
  kTop = 6,            // left end / top
  kBottom = 7,         // right end / bottom
  kEndScroll = 8,      // end of a scroll or track
};

// The preview moves one pixel a line step and eleven a page step.
constexpr int32_t kScrollPage = 11;

// Largest scroll position for a picture side shown through a preview side:
// the part that does not fit, 0 when it all does.
int32_t ScrollMaximum(int32_t pictureSide, int32_t previewSide);

// The scroll position after a notification: p the current position, m the
// maximum, sent the position a thumb notification carries. The result always
// lies in 0..m (m below 0 counts as 0).
int32_t NextScrollPosition(int32_t code, int32_t p, int32_t m, int32_t sent);

// Whether a trackbar notification changes the dialog's value and runs the
// filter: page steps and the thumb's release do; line steps, the ends and
// dragging only update the value's text.
bool TrackbarRunsFilter(int32_t code);

// One of the three sliders: position range, positions per unit and the range
// the reader accepts.
struct SliderScale {
  int32_t minimum;
  int32_t maximum;
  double perUnit;
  double lowest;
  double highest;
};
constexpr SliderScale kRadiusSlider{1, 1200, 10.0, 0.1, 120.0};
constexpr SliderScale kAmountSlider{0, 1000, 100.0, 0.0, 10.0};
constexpr SliderScale kThresholdSlider{0, 255, 1.0, 0.0, 255.0};

// The position that shows a value: rounded to the nearest position (0.29 sits
// at 29, not 28), brought into the slider's range; a value that is not a
// number sits at the minimum.
int32_t SliderPosition(const SliderScale& s, double value);
// The value a position stands for.
double SliderValue(const SliderScale& s, int32_t position);
// True when the reader accepts the value.
bool SliderValueValid(const SliderScale& s, double value);

// The texts beside the sliders: "%.1f", "%.2f" and "%d".
std::string RadiusText(double radius);
std::string AmountText(double amount);
std::string ThresholdText(int32_t threshold);

// The longest search time the dialog's edit accepts, in milliseconds: the
// settings page's own range, so that a tuned value is never one the page
// refuses afterwards.
constexpr int32_t kMaxTimeLowest = 1;
constexpr int32_t kMaxTimeHighest = 9999;

}  // namespace vantrel::dmxtune

#endif

// How fast the station reads: frames per second and the median decode time of
// the last second of reading, for the status line under the preview.
//
// Threads: the reading cycle adds one sample per frame on the capture thread;
// the window thread asks for the figures. Samples live in a fixed ring under a
// lock that is held only to copy a few numbers: the cycle takes no memory per
// frame and never waits for the window.
#ifndef VANTREL_READING_FIGURES_H
#define VANTREL_READING_FIGURES_H

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace vantrel {

struct ReadingFigureValues {
  int32_t frames = 0;            // frames that ended within the span
  double framesPerSecond = 0.0;  // frames / the span (shorter while reading has just started)
  int32_t decoded = 0;           // of those, frames offered to a decoder
  double medianMilliseconds = 0.0;  // the median decoders' time of those
};

class ReadingFigures {
 public:
  using Clock = std::chrono::steady_clock;
  // More frames in one second than this are counted as this many.
  static constexpr size_t kSamples = 4096;

  // Reading starts: the samples of an earlier reading are forgotten.
  void Reset(Clock::time_point start);
  // A frame ended at `end`; decoders spent `milliseconds` on it (decoded:
  // false when no decoder was offered the frame).
  void Add(Clock::time_point end, double milliseconds, bool decoded);
  // The figures of the frames that ended within `span` before `now`.
  ReadingFigureValues Last(Clock::time_point now, Clock::duration span = std::chrono::seconds(1)) const;

 private:
  struct Sample {
    Clock::time_point end;
    float milliseconds;
    bool decoded;
  };
  mutable std::mutex mutex_;
  Clock::time_point start_{};
  std::array<Sample, kSamples> samples_{};
  size_t next_ = 0;   // where the next sample goes
  size_t count_ = 0;  // samples held, up to kSamples
};

// The status line: "30.0 fps ・ 読取 0.4 ms" (below 0.1 ms two decimals,
// "0.02 ms"); without a decoded frame only "30.0 fps".
std::string FiguresText(const ReadingFigureValues& figures);

}  // namespace vantrel

#endif

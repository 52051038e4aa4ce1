#include "vantrel/reading_figures.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace vantrel {

namespace {

std::string Decimals(double v, int decimals) {
  if (!std::isfinite(v) || v < 0) v = 0;
  char text[64];
  const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, decimals);
  return r.ec == std::errc() ? std::string(text, r.ptr) : std::string("0.0");
}

}  // namespace

void ReadingFigures::Reset(Clock::time_point start) {
  std::lock_guard<std::mutex> lock(mutex_);
  start_ = start;
  next_ = 0;
  count_ = 0;
}

void ReadingFigures::Add(Clock::time_point end, double milliseconds, bool decoded) {
  std::lock_guard<std::mutex> lock(mutex_);
  samples_[next_] = Sample{end, static_cast<float>(milliseconds), decoded};
  next_ = (next_ + 1) % kSamples;
  if (count_ < kSamples) ++count_;
}

ReadingFigureValues ReadingFigures::Last(Clock::time_point now, Clock::duration span) const {
  std::vector<float> times;
  ReadingFigureValues v;
  Clock::duration covered = span;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // Newest first, until a sample is older than the span.
    for (size_t k = 0; k < count_; ++k) {
      const Sample& s = samples_[(next_ + kSamples - 1 - k) % kSamples];
      if (s.end > now) continue;
      if (now - s.end >= span) break;
      ++v.frames;
      if (s.decoded) times.push_back(s.milliseconds);
    }
    if (start_ != Clock::time_point{} && now - start_ < span) covered = now - start_;
  }
  const double seconds = std::chrono::duration<double>(covered).count();
  v.framesPerSecond = seconds > 0 ? v.frames / seconds : 0.0;
  v.decoded = static_cast<int32_t>(times.size());
  if (!times.empty()) {
    const size_t mid = times.size() / 2;
    std::nth_element(times.begin(), times.begin() + static_cast<ptrdiff_t>(mid), times.end());
    double median = times[mid];
    if (times.size() % 2 == 0) {
      const float below = *std::max_element(times.begin(), times.begin() + static_cast<ptrdiff_t>(mid));
      median = (median + below) / 2.0;
    }
    v.medianMilliseconds = median;
  }
  return v;
}

std::string FiguresText(const ReadingFigureValues& figures) {
  std::string text = Decimals(figures.framesPerSecond, 1) + " fps";
  // A barcode search that finds nothing takes hundredths of a millisecond:
  // those show, rather than a bare 0.0.
  const double ms = figures.medianMilliseconds;
  if (figures.decoded > 0) text += " ・ 読取 " + Decimals(ms, ms < 0.095 ? 2 : 1) + " ms";
  return text;
}

}  // namespace vantrel

// The two entry points: the search over scan lines, and the guide geometry.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "bcd_decoder.h"
#include "edges.h"
#include "run_widths.h"
#include "scan_lines.h"
#include "vantrel/OvoBcd.h"

namespace vantrel::bcd {
namespace {

// The scan arguments shared by both calls; NaN angles are refused with the rest.
bool ScanArgumentsValid(int32_t scanLevels, double angleStep) {
  return scanLevels >= 1 && scanLevels <= OVOBCD_MAX_SCAN_LEVELS && angleStep >= 0.0 &&
         angleStep <= 180.0;
}

double EffectiveAngleStep(double angleStep) { return angleStep < 0.001 ? 180.0 : angleStep; }

// Pixel number along a line of n pixels (n >= 1) for a position in samples. A
// position just outside the line (n, or -1 from the reversed pass) names the
// line's last or first pixel.
int32_t PixelIndex(float pos, int32_t n) {
  if (!(pos >= 1.0f)) return 0;  // trunc of anything below 1, and NaN
  if (pos >= static_cast<float>(n - 1)) return n - 1;
  return static_cast<int32_t>(pos);
}

// Buffers for reading lines of up to maxLine pixels, allocated once per call.
struct LineBuffers {
  explicit LineBuffers(int32_t maxLine)
      : sampleStore(static_cast<size_t>(maxLine) + 2 * EdgeRuns::kPadding),
        samples(sampleStore.data() + EdgeRuns::kPadding),
        spaces(static_cast<size_t>(SpaceListSize(maxLine))),
        bars(static_cast<size_t>(BarListSize(maxLine))) {
    edges.Reserve(maxLine);
    crossings.Reserve(maxLine);
  }
  LineBuffers(const LineBuffers&) = delete;
  LineBuffers& operator=(const LineBuffers&) = delete;
  std::vector<uint8_t> sampleStore;
  uint8_t* samples;  // in sampleStore, with room on either side for the edges' padding
  std::vector<float> spaces;
  std::vector<float> bars;
  EdgeRuns edges;
  Crossings crossings;
};

// Reads scan lines: the threshold runs through the strict decoders and,
// with the robust reading on, the runs from edges through the robust decoders
// when those found nothing, then the same runs with the elements narrower than
// the blur narrowed; reads without a verified check character, and every read
// from narrowed runs, confirmed on parallel lines.
class LineReader {
 public:
  LineReader(const LineSampler& sampler, const OvoBcdRange& range, bool binarize, bool robust, int32_t maxLine)
      : sampler_(sampler), range_(range), binarize_(binarize), robust_(robust), main_(maxLine) {
    if (robust_) side_.emplace(maxLine);
  }

  // 1 when a symbol on the line was accepted; its result in d.
  int32_t Read(const LineSpan& line, BcdDecoder& d) {
    line_ = line;
    const ReadCheck check{&LineReader::Confirm, this};
    return ReadWith(line, d, main_, robust_ ? &check : nullptr);
  }

 private:
  int32_t ReadWith(const LineSpan& line, BcdDecoder& d, LineBuffers& buf, const ReadCheck* check) {
    const int32_t n = line.n;
    int32_t lo, hi;
    const int32_t threshold = sampler_.Sample(line, buf.samples, &lo, &hi);
    d.spaces = buf.spaces.data();
    d.bars = buf.bars.data();
    int32_t k = MeasureRuns(buf.samples, n, threshold, binarize_, d.spaces, d.bars, &buf.crossings);
    if (DecodeRuns(d, n, k, check)) return 1;
    if (!robust_ || hi - lo < EdgeRuns::kMinContrast) return 0;
    k = buf.edges.Measure(buf.samples, n, d.spaces, d.bars);
    if (DecodeRunsRobust(d, n, k, check)) return 1;
    return ReadNarrowed(d, n, buf, check);
  }

  // Elements narrower than the blur, narrowed by how faint they are. That
  // rests on a model of the blur, which a photograph follows only roughly: a
  // read from these runs, check character or not, needs a parallel line that
  // reads the same. Out of line: few lines come this far.
  [[gnu::noinline]] static int32_t ReadNarrowed(BcdDecoder& d, int32_t n, LineBuffers& buf, const ReadCheck* check) {
    const int32_t k = buf.edges.Narrow(d.spaces, d.bars);
    if (k < 0) return 0;
    if (!check) return DecodeRunsRobust(d, n, k, nullptr);
    ReadCheck every = *check;
    every.every = true;
    return DecodeRunsRobust(d, n, k, &every);
  }

  // The same text of the same symbology, read on a line 2 or 4 pixels aside.
  // Fewer lines would let a chance pattern in print or texture through; lines
  // further out would miss symbols only a few pixels high.
  static bool Confirm(void* context, const BcdDecoder& d) {
    LineReader& self = *static_cast<LineReader*>(context);
    OvoBcdParams only = d.params;
    only.JAN8 = d.type == OVOBCD_JAN8;
    only.JAN13 = d.type == OVOBCD_JAN13;
    only.CODE128 = d.type == OVOBCD_CODE128;
    only.ITF = d.type == OVOBCD_ITF;
    only.CODE39 = d.type == OVOBCD_CODE39;
    only.NW7 = d.type == OVOBCD_NW7;
    BcdDecoder other(only);
    for (const double shift : {2.0, -2.0, 4.0, -4.0}) {
      const LineSpan p = ParallelLine(self.line_, shift, self.range_);
      if (p.n == 0 || !self.ReadWith(p, other, *self.side_, nullptr)) continue;
      if (other.type == d.type && other.length == d.length &&
          std::memcmp(other.text, d.text, static_cast<size_t>(std::clamp(d.length, 0, int32_t{OVOBCD_MAX_TEXT}))) == 0)
        return true;
    }
    return false;
  }

  const LineSampler& sampler_;
  const OvoBcdRange range_;
  const bool binarize_;
  const bool robust_;
  LineBuffers main_;
  std::optional<LineBuffers> side_;  // for the parallel lines; only with the robust reading
  LineSpan line_;
};

// A line whose pixels all lie in one row (or one column).
struct StraightLine {
  bool alongX = true;
  int32_t across = 0;
  int64_t first = 0;
  int32_t n = 0;
  bool operator==(const StraightLine&) const = default;

  static bool Of(const LineSpan& l, StraightLine* out) {
    if (l.n <= 0) return false;
    // The other coordinate is monotone along the line: equal at both ends, equal throughout.
    const int32_t a = l.Across(l.first), b = l.Across(l.first + l.n - 1);
    if (a != b) return false;
    *out = StraightLine{l.alongX, a, l.first, l.n};
    return true;
  }
};

// A read and where on its line it lies.
struct Found {
  Found() = default;
  Found(const BcdDecoder& d, const LineSpan& line)
      : type(d.type),
        length(d.length),
        start(line.At(PixelIndex(d.startPos, line.n))),
        end(line.At(PixelIndex(d.endPos, line.n))) {
    std::memcpy(text, d.text, sizeof text);
  }

  void CopyOut(int32_t position[4], int32_t* typeOut, int32_t* lengthOut, char* textOut) const {
    if (position) {
      position[0] = start.x;
      position[1] = start.y;
      position[2] = end.x;
      position[3] = end.y;
    }
    if (typeOut) *typeOut = type;
    if (lengthOut) *lengthOut = length;
    if (textOut) {
      const int32_t bytes = std::clamp(length, 0, int32_t{OVOBCD_MAX_TEXT}) + 1;
      std::memcpy(textOut, text, static_cast<size_t>(bytes));
      textOut[bytes - 1] = '\0';
    }
  }

  int32_t type = -1;
  int32_t length = 0;
  char text[OVOBCD_TEXT_BYTES] = {};
  OvoBcdPoint start{0, 0};
  OvoBcdPoint end{0, 0};
};

int32_t Decode(DibImage image, const OvoBcdParams& params, const OvoBcdRange* range, bool binarize,
               int32_t scanLevels, double angleStep, int32_t position[4], int32_t* type,
               int32_t* length, char* text) {
  const DibView v = DibGetView(image);
  int32_t bytesPerPixel = 0;
  switch (v.bitCount) {
    case 8: bytesPerPixel = 1; break;
    case 24: bytesPerPixel = 3; break;
    case 32: bytesPerPixel = 4; break;
    default: return OVOBCD_NOT_FOUND;
  }
  if (!v.bits || v.width <= 0 || v.height <= 0 || int64_t{v.stride} < int64_t{v.width} * bytesPerPixel)
    return OVOBCD_NOT_FOUND;

  OvoBcdRange r{0, 0, v.width, v.height};
  if (range) {
    r = *range;
    if (r.x1 < r.x0) std::swap(r.x0, r.x1);
    if (r.y1 < r.y0) std::swap(r.y0, r.y1);
    r.x0 = std::max(r.x0, 0);
    r.y0 = std::max(r.y0, 0);
    r.x1 = std::min(r.x1, v.width);
    r.y1 = std::min(r.y1, v.height);
  }
  const int32_t maxLine = std::max(r.x1 - r.x0, r.y1 - r.y0);
  if (r.x1 <= r.x0 || r.y1 <= r.y0 || maxLine <= 0) return OVOBCD_NOT_FOUND;

  // Dense levels sample each pixel of the range several times: from the first
  // level whose lines alone would sample as many pixels as the range holds (or
  // from the start, when all levels together would), the range is copied grey
  // into tiles that lines at every angle read from few cache lines.
  LineSampler sampler(PixelRows{v.bits, v.stride, bytesPerPixel});
  sampler.Reserve(maxLine);
  const int64_t area = (int64_t{r.x1} - r.x0) * (int64_t{r.y1} - r.y0);
  {
    int64_t lines = 0;
    const int64_t perCentre = ScanLineGenerator::AnglesPerCentre(angleStep);
    for (int32_t level = 0; level < scanLevels && lines * maxLine < area; ++level)
      lines += ScanLineGenerator::CentreCount(r, level) * perCentre;
    if (lines * maxLine >= area) sampler.UseGreyPlanes(r);
  }

  // Buffers sized once for the longest line of the range and reused by every line.
  const bool robust = params.Robust != 0;
  LineReader reader(sampler, r, binarize, robust, maxLine);
  BcdDecoder dec(params);
  // With the robust reading, a read without a verified check character waits
  // for the end of the search: a symbol with one found on the other lines (a
  // label with two symbols) is the safer answer. Meanwhile only the decoders
  // that can give such a read are asked.
  OvoBcdParams checkedOnly = params;
  {
    BcdDecoder probe(params);
    probe.type = OVOBCD_ITF;
    if (NeedsConfirmation(probe)) checkedOnly.ITF = 0;
    probe.type = OVOBCD_CODE39;
    if (NeedsConfirmation(probe)) checkedOnly.CODE39 = 0;
    probe.type = OVOBCD_NW7;
    if (NeedsConfirmation(probe)) checkedOnly.NW7 = 0;
  }
  BcdDecoder checkedDec(checkedOnly);
  Found held;
  // The centres of one row share their horizontal line, those of one column
  // their vertical line: a line that read nothing reads nothing again.
  std::vector<StraightLine> unread;
  ScanLineGenerator gen;
  for (int32_t level = 0; level < scanLevels; ++level) {
    gen.Reset(r, level, angleStep);
    if (!sampler.UsesGreyPlanes() && gen.LineCount() * maxLine >= area)
      sampler.UseGreyPlanes(r);
    unread.clear();
    unread.reserve(static_cast<size_t>(2) << level);
    LineSpan line;
    while (gen.Next(&line)) {
      BcdDecoder& d = held.type < 0 ? dec : checkedDec;
      StraightLine straight;
      const bool isStraight = StraightLine::Of(line, &straight);
      if (isStraight && std::find(unread.begin(), unread.end(), straight) != unread.end()) continue;
      if (!reader.Read(line, d)) {
        if (isStraight) unread.push_back(straight);
        continue;
      }
      const Found found(d, line);
      if (robust && NeedsConfirmation(d)) {
        held = found;
        continue;
      }
      found.CopyOut(position, type, length, text);
      return OVOBCD_OK;
    }
  }
  if (held.type < 0) return OVOBCD_NOT_FOUND;
  held.CopyOut(position, type, length, text);
  return OVOBCD_OK;
}

int32_t ScanLines(const OvoBcdRange& range, int32_t scanLevels, double angleStep, int32_t* count,
                  OvoBcdPoint* starts, OvoBcdPoint* ends) {
  const int64_t capacity = *count;
  int64_t j = 0;
  if (!starts && !ends) {
    // Only the number is wanted: count the lines without laying them.
    const int64_t perCentre = ScanLineGenerator::AnglesPerCentre(angleStep);
    for (int32_t level = 0; level < scanLevels && j < capacity; ++level)
      j = std::min(capacity, j + ScanLineGenerator::CentreCount(range, level) * perCentre);
  } else {
    ScanLineGenerator gen;
    for (int32_t level = 0; level < scanLevels && j < capacity; ++level) {
      gen.Reset(range, level, angleStep);
      OvoBcdPoint first, last;
      while (j < capacity && gen.NextEnds(&first, &last)) {
        if (starts) starts[j] = first;
        if (ends) ends[j] = last;
        ++j;
      }
    }
  }
  *count = static_cast<int32_t>(j);
  return OVOBCD_OK;
}

}  // namespace
}  // namespace vantrel::bcd

extern "C" int32_t OvoBcdDecode(DibImage image, const OvoBcdParams* params, const OvoBcdRange* range,
                                bool binarize, int32_t scanLevels, double angleStep,
                                int32_t position[4], int32_t* type, int32_t* length, char* text) {
  using namespace vantrel::bcd;
  if (!image) return OVOBCD_ERR_ARGUMENT;
  if (!params) return OVOBCD_ERR_PARAMS;
  if (!ScanArgumentsValid(scanLevels, angleStep)) return OVOBCD_ERR_SCAN;
  try {
    return Decode(image, *params, range, binarize, scanLevels, EffectiveAngleStep(angleStep),
                  position, type, length, text);
  } catch (...) {
    return OVOBCD_NOT_FOUND;
  }
}

extern "C" int32_t OvoBcdGetScanLines(const OvoBcdRange* range, int32_t scanLevels, double angleStep,
                                      int32_t* count, OvoBcdPoint* starts, OvoBcdPoint* ends) {
  using namespace vantrel::bcd;
  if (!range || !count) return OVOBCD_ERR_ARGUMENT;
  if (!ScanArgumentsValid(scanLevels, angleStep) || *count < 1) return OVOBCD_ERR_SCAN;
  try {
    return ScanLines(*range, scanLevels, EffectiveAngleStep(angleStep), count, starts, ends);
  } catch (...) {
    // Only the centres of a level take memory; without them no line is reported.
    return OVOBCD_NOT_FOUND;
  }
}

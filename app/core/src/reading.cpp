#include "vantrel/reading.h"

#include <algorithm>
#include <chrono>

#include "read_steps.h"
#include "vantrel/OvoQrc.h"
#include "vantrel/draw_context.h"
#include "vantrel/overlay.h"
#include "vantrel/text_convert.h"

namespace vantrel {

namespace {

// The longest data a QR symbol gives (text converted to UTF-8 included) and
// the library's zero byte, so that a reading carries the whole data.
constexpr int32_t kQrDataBytes = OVOQRC_MAX_DATA + 1;

// Outline points are picture pixels plus the origin; the corners of a Data
// Matrix whose edges barely meet may lie far outside, so the sum saturates.
int32_t Shifted(int32_t v, int32_t by) {
  const int64_t s = int64_t{v} + by;
  return s > INT32_MAX ? INT32_MAX : s < INT32_MIN ? INT32_MIN : static_cast<int32_t>(s);
}

// The reading line drawn three pixels thick: once in place and shifted by one
// pixel up, down, left and right.
constexpr int32_t kLineShifts[5][2] = {{0, -1}, {0, 0}, {0, 1}, {-1, 0}, {1, 0}};

std::vector<Reading> Only(Reading&& reading) {
  std::vector<Reading> readings;
  readings.push_back(std::move(reading));
  return readings;
}

// The decoders' own time in a reading: each turn is timed once its lock is held.
class DecoderTime {
 public:
  void Start() { start_ = std::chrono::steady_clock::now(); }
  void Stop() { total_ += std::chrono::steady_clock::now() - start_; }
  std::vector<Reading> Stamped(std::vector<Reading>&& readings) const {
    const double ms = std::chrono::duration<double, std::milli>(total_).count();
    for (Reading& r : readings) r.milliseconds = ms;
    return readings;
  }

 private:
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::duration total_{0};
};

bool Stopped(const ReadControl& control) { return control.stop != nullptr && control.stop->load(); }

// Holds the decoder lock for one decoder's turn, when there is one.
class Turn {
 public:
  explicit Turn(std::mutex* lock) : lock_(lock) {
    if (lock_) lock_->lock();
  }
  ~Turn() {
    if (lock_) lock_->unlock();
  }
  Turn(const Turn&) = delete;
  Turn& operator=(const Turn&) = delete;

 private:
  std::mutex* lock_;
};

}  // namespace

std::mutex& DecoderMutex() {
  static std::mutex mutex;
  return mutex;
}

CodeKinds EnabledKinds(const SettingsRecord& s) {
  return (s.BarCodeEnable != 0 ? kReadBarcode : 0u) | (s.QRCodeEnable != 0 ? kReadQrCode : 0u) |
         (s.DmxCodeEnable != 0 ? kReadDataMatrix : 0u);
}

void SetReadingText(Reading* reading) { reading->text = DecodedBytesToUtf8(reading->bytes); }

std::vector<Reading> ReadPicture(DibImage picture, const SettingsRecord& settings, CodeKinds kinds,
                                 const ReadControl& control) {
  std::vector<Reading> readings;
  Reading last;  // the status of the last decoder tried
  DecoderTime time;
  if ((kinds & kReadBarcode) != 0 && !Stopped(control)) {
    const Turn turn(control.decoderLock);
    time.Start();
    last.kind = CodeKind::kBarcode;
    last.status = ReadBarcode(picture, settings, &last);
    time.Stop();
    if (last.ok()) return time.Stamped(Only(std::move(last)));
  }
  if ((kinds & kReadQrCode) != 0 && !Stopped(control)) {
    const Turn turn(control.decoderLock);
    time.Start();
    last = Reading{};
    last.kind = CodeKind::kQrCode;
    last.status = ReadQrCodes(picture, settings, kQrDataBytes, &readings);
    time.Stop();
    if (last.ok()) return time.Stamped(std::move(readings));
  }
  if ((kinds & kReadDataMatrix) != 0 && !Stopped(control)) {
    const Turn turn(control.decoderLock);
    time.Start();
    char text[kDecodeDataBytes];
    last = Reading{};
    last.kind = CodeKind::kDataMatrix;
    last.status = ReadDataMatrix(picture, settings, text, kDecodeDataBytes, &last);
    time.Stop();
    if (last.ok()) return time.Stamped(Only(std::move(last)));
  }
  return time.Stamped(Only(std::move(last)));
}

void DrawReadingOutline(const Reading& reading, OverlayOrigin origin) {
  if (!reading.ok() || reading.outlinePoints < 2) return;
  OverlayClear();
  const uint32_t red = MakeColour(255, 0, 0);
  const auto& p = reading.outline;
  if (reading.outlinePoints == 2) {
    for (const auto& s : kLineShifts) {
      OverlayAddLine(Shifted(p[0].x, origin.x + s[0]), Shifted(p[0].y, origin.y + s[1]),
                     Shifted(p[1].x, origin.x + s[0]), Shifted(p[1].y, origin.y + s[1]), red);
    }
    return;
  }
  const auto n = static_cast<size_t>(std::min(reading.outlinePoints, 4));
  for (size_t i = 0; i < n; ++i) {
    const OutlinePoint& a = p[i];
    const OutlinePoint& b = p[(i + 1) % n];
    OverlayAddLine(Shifted(a.x, origin.x), Shifted(a.y, origin.y), Shifted(b.x, origin.x), Shifted(b.y, origin.y),
                   red);
  }
}

}  // namespace vantrel

// The decoder libraries a program needs, up and down in one place: the QR
// library, the Data Matrix reader and the utility library (overlay store and
// drawing state), started in the station's order and stopped in reverse when
// the guard goes, each only if it started.
//
// The station, vantrel-read and the benchmarks each keep one guard for their
// whole run. Window thread (or the program's main thread) only.
//
// The QR library keeps its parameters in OvoQrc.ini in the current folder,
// written when it stops. That file is the station's: every other program
// (vantrel-read, the benchmarks, the tests) asks for none, and leaves nothing
// in the folder it was run from.
#ifndef VANTREL_DECODER_LIBRARIES_H
#define VANTREL_DECODER_LIBRARIES_H

#include <cstdint>

namespace vantrel {

class DecoderLibraries {
 public:
  using Libraries = uint32_t;
  static constexpr Libraries kQr = 1u << 0;
  static constexpr Libraries kDataMatrix = 1u << 1;
  static constexpr Libraries kUtil = 1u << 2;
  static constexpr Libraries kAll = kQr | kDataMatrix | kUtil;

  enum class QrParameterFile {
    kStation,  // OvoQrc.ini in the current folder, written at the stop
    kNone,     // nothing written
  };

  explicit DecoderLibraries(QrParameterFile qrParameters = QrParameterFile::kStation)
      : qrParameters_(qrParameters) {}
  ~DecoderLibraries() { Stop(); }
  DecoderLibraries(const DecoderLibraries&) = delete;
  DecoderLibraries& operator=(const DecoderLibraries&) = delete;

  // Starts those of `which` that are not running, in the order QR, Data
  // Matrix, utility, up to the first that fails: 0, or that library's
  // non-zero status with *failed (if given) naming it. What started stays up.
  int32_t Start(Libraries which = kAll, Libraries* failed = nullptr);
  // Stops what runs, in reverse order.
  void Stop();

  // Whether each library runs; the references stay valid for the guard's life.
  const bool& qrReady() const { return qr_; }
  const bool& dmxReady() const { return dmx_; }
  const bool& utilReady() const { return util_; }

 private:
  QrParameterFile qrParameters_;
  bool qr_ = false;
  bool dmx_ = false;
  bool util_ = false;
};

}  // namespace vantrel

#endif

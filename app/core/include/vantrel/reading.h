// The one way to read a picture: the station's cycle, the settings pages'
// trial reads, vantrel-read and the benchmarks all come through ReadPicture.
//
// A picture is offered to the decoders of the given kinds in the station's
// order (barcode, QR code, Data Matrix); the first kind that finds a code
// ends the search. Each decoder gets the settings of its section and the
// processing range (Area) clamped to the picture. The result says what was
// read and where, in picture pixels; nothing is drawn. DrawReadingOutline puts
// a reading's outline into the overlay store for the station's preview.
//
// Threads: the QR and Data Matrix libraries keep one state each, so callers on
// different threads hold DecoderMutex() around every reading (ReadControl does
// it per decoder's turn).
#ifndef VANTREL_READING_H
#define VANTREL_READING_H

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "vantrel/decode_calls.h"
#include "vantrel/dib.h"
#include "vantrel/settings.h"

namespace vantrel {

// What a code is; the values are those of ReadResult's kind.
enum class CodeKind : int32_t { kNone = 0, kBarcode = 1, kQrCode = 2, kDataMatrix = 3 };

// Which decoders a picture is offered to.
using CodeKinds = uint32_t;
constexpr CodeKinds kReadBarcode = 1u << 0;
constexpr CodeKinds kReadQrCode = 1u << 1;
constexpr CodeKinds kReadDataMatrix = 1u << 2;
constexpr CodeKinds kReadAllKinds = kReadBarcode | kReadQrCode | kReadDataMatrix;
// The kinds the settings enable (BarCodeEnable, QRCodeEnable, DmxCodeEnable).
CodeKinds EnabledKinds(const SettingsRecord& settings);

// The status of a reading that no decoder was offered: nothing found.
constexpr int32_t kNothingOffered = -4;

struct OutlinePoint {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const OutlinePoint&) const = default;
};

// One code read from a picture, or why none was.
struct Reading {
  // 0: a code was read. Otherwise the status of the last decoder offered the
  // picture, as its library gave it (StatusName names it), and every field
  // but `kind` is empty.
  int32_t status = kNothingOffered;
  // What was read; after a failure, whose decoder gave the status (kNone when
  // no decoder was offered the picture).
  CodeKind kind = CodeKind::kNone;
  std::string symbology;    // "JAN-8" ... "NW-7", "Unknown Code", "QR", "DataMatrix"
  int32_t barcodeType = -1;  // the barcode library's type code (0 JAN-8 ... 5 NW-7)
  int32_t qrVersion = 0;     // 1 ... 40 for a QR code
  int32_t qrLevel = -1;      // 0 L, 1 M, 2 Q, 3 H for a QR code
  // The symbol's bytes exactly as the decoder gave them (NULs and control
  // bytes included).
  std::string bytes;
  // The text the station shows, UTF-8 (valid UTF-8 as it is, else Shift JIS,
  // else Latin-1): the bytes' text, for Data Matrix without the control bytes
  // the reader leaves out of its text (line breaks, 0x1D, 0x1F, 0xFF, NUL).
  std::string text;
  // In picture pixels: a barcode's reading line (2 points) or a 2D code's
  // corners (4 points, in order around the symbol).
  std::array<OutlinePoint, 4> outline{};
  int32_t outlinePoints = 0;
  // Milliseconds the decoders offered the picture spent on it, together (the
  // waits for the decoder lock left out); set whether or not a code was read.
  double milliseconds = 0.0;

  bool ok() const { return status == 0; }
};

// Held around every use of the QR and Data Matrix libraries by threads that
// may meet: the capture thread's cycle and the window's trial reads and
// tuning dialog. Never held across a dialog or while stopping the reading.
std::mutex& DecoderMutex();

// How a caller shares the decoders while it reads.
struct ReadControl {
  // Held around each decoder's turn; null when nothing else decodes.
  std::mutex* decoderLock = nullptr;
  // Looked at before each decoder's turn: true ends the reading there, with
  // the status of the decoders tried so far.
  const std::atomic<bool>* stop = nullptr;
};

// Reads the picture: every code the first successful kind found, in the
// decoder's order (one today; a QR picture may give several); when none was
// found, a single Reading with the status of the last decoder offered the
// picture (kNothingOffered when none was). Never empty.
std::vector<Reading> ReadPicture(DibImage picture, const SettingsRecord& settings, CodeKinds kinds,
                                 const ReadControl& control = {});

// Replaces the overlay store's lines by the reading's outline in red, each
// point shifted by the origin: a barcode's reading line three pixels thick, a
// 2D code's four sides. Nothing for a reading without a code.
void DrawReadingOutline(const Reading& reading, OverlayOrigin origin);

}  // namespace vantrel

#endif

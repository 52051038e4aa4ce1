// Fixed camera-like frames for timing the decoders side by side: a symbol of
// each kind at several sizes, angles and frame sizes, and frames without any.
// Each set says how the station's decoder is set up for it and what it should
// read, so that every reader is timed on the same pixels and checked alike.
#ifndef VANTREL_BENCH_FRAMES_H
#define VANTREL_BENCH_FRAMES_H

#include <cstdint>
#include <string>
#include <vector>

#include "symbol_render.h"
#include "vantrel/settings.h"

namespace vantrel::bench {

enum class Symbology { kCode128, kJan13, kQr, kDataMatrix };

struct FrameSet {
  std::string name;        // e.g. "qr-640x480-v2-m4"
  Symbology symbology;
  int32_t width = 640;
  int32_t height = 480;
  bool present = true;     // a symbol is in the frame
  std::string expected;    // what it reads to (empty when absent)
  std::string what;        // a few words for the tables
  // How the station's decoder searches this frame (barcode only).
  int32_t scanLevel = 1;
  double scanDegree = 90.0;

  std::vector<std::string> zint;  // encoder options
  std::string data;               // encoder input
  double moduleSize = 2;
  double angleDeg = 0;
  double perspective = 0;
  // A 1D symbol as ink spread and focus leave it: every bar this many pixels
  // wider than its modules, and a blur of this sigma in place of the usual 0.7.
  double barGain = 0;
  double blur = 0.7;
};

// Every set, in the order the tables list them.
const std::vector<FrameSet>& FrameSets();

// The set's frame, 24-bit, made on first use and kept for the program's life.
DibImage FramePicture(const FrameSet& set);

// Station settings for the set: only its symbology on, the whole frame as the
// processing range, the set's scan for barcodes; everything else the defaults.
SettingsRecord SettingsFor(const FrameSet& set);

const char* SymbologyName(Symbology s);

// Brings up the utility, QR and Data Matrix libraries once.
bool StartLibraries();

// Reads the frame the station's way, with the set's kind only; true when
// something was read, its bytes in *text.
bool VantrelRead(const FrameSet& set, DibImage frame, const SettingsRecord& settings, std::string* text);

}  // namespace vantrel::bench

#endif

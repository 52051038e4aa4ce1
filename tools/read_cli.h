// The command-line reader: options, one picture's reading and its output lines.
// Kept apart from main() so that the tests can drive every part of it.
#ifndef VANTREL_TOOLS_READ_CLI_H
#define VANTREL_TOOLS_READ_CLI_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantrel::cli {

enum class Kind { kAll, kBarcode, kQr, kDataMatrix };

struct ReadOptions {
  Kind kind = Kind::kAll;
  std::string settingsFile;  // empty: the station's defaults
  bool hasArea = false;
  int32_t area[4] = {0, 0, 0, 0};  // inclusive, in picture pixels (after turning)
  int32_t rotate = 0;              // clockwise degrees: 0, 90, 180, 270
  uint64_t maxPixels = 0;          // larger pictures are refused; 0: the imaging library's limit
  bool json = false;
  bool help = false;
  bool version = false;
  std::vector<std::string> pictures;
};

// False with a message for anything that is not a valid command line.
bool ParseReadOptions(int argc, const char* const* argv, ReadOptions* options, std::string* error);

struct ReadResult {
  std::string file;
  bool readable = true;  // false: the picture could not be read (see error)
  std::string error;
  bool ok = false;
  int32_t status = 0;
  std::string kind;       // "barcode", "qr", "datamatrix"; empty when nothing was read
  std::string symbology;  // "CODE 128", "QR", "DataMatrix"
  int32_t qrVersion = 0;  // 0: not a QR code
  std::string qrLevel;    // "L", "M", "Q", "H", or empty
  std::string bytes;      // the decoded bytes exactly
  std::string text;       // the text the station shows for them, UTF-8
  std::vector<std::pair<int32_t, int32_t>> corners;
  double ms = 0;
};

// One output line each, without the line break: a line per code found in a
// picture, or one saying why none was.
std::string FormatText(const ReadResult& result);
std::string FormatJson(const ReadResult& result);

// Text for one line: tabs, line breaks, backslashes and other control
// characters written as \t, \n, \\, \xHH.
std::string EscapeForLine(std::string_view text);
// A JSON string literal (quotes included) of UTF-8 text.
std::string JsonString(std::string_view utf8);

// Runs the whole command: settings, libraries, every picture, with a line for
// every code a picture gave, in the decoder's order. The exit status: 0 every
// picture gave a code, 1 some gave none, 2 a picture could not be read or the
// libraries could not be started.
int RunRead(const ReadOptions& options, std::FILE* out, std::FILE* err);

extern const char kReadUsage[];

}  // namespace vantrel::cli

#endif

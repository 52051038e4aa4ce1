#include "read_cli.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "vantrel/decoder_libraries.h"
#include "vantrel/decoder_status.h"
#include "vantrel/dib.h"
#include "vantrel/dib_file.h"
#include "vantrel/reading.h"
#include "vantrel/settings.h"
#include "vantrel/text_convert.h"

namespace vantrel::cli {

const char kReadUsage[] =
    "Usage: vantrel-read [OPTION]... PICTURE...\n"
    "Reads the barcodes, QR codes and Data Matrix codes in picture files (BMP, PNG,\n"
    "JPEG, TIFF, GIF) with the station's decoders and settings.\n"
    "\n"
    "  --kind barcode|qr|datamatrix|all\n"
    "                      which decoders to offer each picture to; all (the default)\n"
    "                      tries barcode, QR code and Data Matrix in this order and\n"
    "                      takes the first code found, whatever the settings enable\n"
    "  --settings FILE     settings file (as Vantrel.ini); default: the station's defaults\n"
    "  --area X0,Y0,X1,Y1  processing range in picture pixels, inclusive; default: the\n"
    "                      whole picture (the settings' Area is never used)\n"
    "  --rotate 90|180|270 turn the picture clockwise before reading; the range and the\n"
    "                      corners are then in the turned picture's pixels\n"
    "  --max-pixels N      refuse pictures of more than N pixels (width x height) before\n"
    "                      reading them; default: $VANTREL_MAX_PIXELS, else 100000000\n"
    "  --json              one JSON object per picture instead of text\n"
    "  --help              this text\n"
    "  --version           the program's version\n"
    "\n"
    "Text output, one line per code found (a picture with several QR codes gives a\n"
    "line for each, in the decoder's order), or one line for a picture without:\n"
    "  FILE<TAB>KIND<TAB>TEXT          KIND: JAN-8, JAN-13, ITF, CODE 39, CODE 128, NW-7,\n"
    "                                  QR or DataMatrix\n"
    "  FILE<TAB>-<TAB>DECODE ERROR = N N: the decoder's status (with all: the last one tried)\n"
    "TEXT is the text the station shows: the decoded bytes as UTF-8 (UTF-8 as it is,\n"
    "else Shift JIS, else Latin-1), for Data Matrix without line breaks, 0x1D, 0x1F,\n"
    "0xFF and NUL; tabs, line breaks, backslashes and control characters appear as\n"
    "\\t, \\n, \\\\, \\xHH.\n"
    "JSON: the same lines as objects with file, ok, status, kind (barcode, qr,\n"
    "datamatrix or null), symbology, qr_version, qr_level, text, bytes_hex (the decoded\n"
    "bytes exactly), corners, ms (the whole picture's reading); a picture that cannot\n"
    "be read gives ok false, status null and an error field.\n"
    "\n"
    "Exit status: 0 every picture gave a code, 1 some gave none, 2 a usage error or a\n"
    "picture that could not be read.\n";

namespace {

bool ParseInt(std::string_view s, int32_t* out) {
  if (s.empty() || s.size() > 12) return false;
  std::string t(s);
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(t.c_str(), &end, 10);
  if (errno != 0 || end != t.c_str() + t.size() || v < INT32_MIN || v > INT32_MAX) return false;
  if (t[0] == ' ' || t[0] == '\t') return false;
  *out = static_cast<int32_t>(v);
  return true;
}

bool ParseArea(std::string_view s, int32_t area[4]) {
  for (int i = 0; i < 4; ++i) {
    size_t comma = s.find(',');
    if ((i < 3) != (comma != std::string_view::npos)) return false;
    if (!ParseInt(s.substr(0, comma), &area[i])) return false;
    s = i < 3 ? s.substr(comma + 1) : std::string_view{};
  }
  return true;
}

std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 15]);
  }
  return out;
}

using Clock = std::chrono::steady_clock;

double Millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

CodeKinds KindsOf(Kind kind) {
  switch (kind) {
    case Kind::kBarcode: return kReadBarcode;
    case Kind::kQr: return kReadQrCode;
    case Kind::kDataMatrix: return kReadDataMatrix;
    case Kind::kAll: break;
  }
  return kReadAllKinds;
}

const char* KindName(CodeKind kind) {
  switch (kind) {
    case CodeKind::kBarcode: return "barcode";
    case CodeKind::kQrCode: return "qr";
    case CodeKind::kDataMatrix: return "datamatrix";
    case CodeKind::kNone: break;
  }
  return "";
}

// One line's fields from what the picture gave.
void TakeReading(const Reading& reading, ReadResult* r) {
  r->status = reading.status;
  r->ok = reading.ok();
  if (!r->ok) return;
  r->kind = KindName(reading.kind);
  r->symbology = reading.symbology;
  if (reading.kind == CodeKind::kQrCode) {
    r->qrVersion = reading.qrVersion;
    if (reading.qrLevel >= 0 && reading.qrLevel <= 3) r->qrLevel = std::string(1, "LMQH"[reading.qrLevel]);
  }
  r->bytes = reading.bytes;
  r->text = reading.text;
  for (int32_t i = 0; i < reading.outlinePoints; ++i) {
    r->corners.emplace_back(reading.outline[static_cast<size_t>(i)].x, reading.outline[static_cast<size_t>(i)].y);
  }
}

void Emit(const ReadOptions& o, const ReadResult& r, std::FILE* out) {
  const std::string line = o.json ? FormatJson(r) : FormatText(r);
  if (!line.empty()) {
    std::fputs(line.c_str(), out);
    std::fputc('\n', out);
    std::fflush(out);
  }
}

}  // namespace

bool ParseReadOptions(int argc, const char* const* argv, ReadOptions* o, std::string* error) {
  *o = ReadOptions{};
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    if (!options || a.empty() || a[0] != '-' || a == "-") {
      o->pictures.emplace_back(a);
      continue;
    }
    if (a == "--") {
      options = false;
      continue;
    }
    std::string_view name = a, value;
    bool hasValue = false;
    if (size_t eq = a.find('='); a.substr(0, 2) == "--" && eq != std::string_view::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
      hasValue = true;
    }
    auto takeValue = [&]() -> bool {
      if (hasValue) return true;
      if (i + 1 >= argc) {
        *error = std::string(name) + " needs a value";
        return false;
      }
      value = argv[++i];
      return true;
    };
    if (name == "--help" || name == "-h") {
      o->help = true;
    } else if (name == "--version") {
      o->version = true;
    } else if (name == "--json") {
      o->json = true;
    } else if (name == "--kind") {
      if (!takeValue()) return false;
      if (value == "all") o->kind = Kind::kAll;
      else if (value == "barcode") o->kind = Kind::kBarcode;
      else if (value == "qr") o->kind = Kind::kQr;
      else if (value == "datamatrix") o->kind = Kind::kDataMatrix;
      else {
        *error = "--kind must be barcode, qr, datamatrix or all, not \"" + std::string(value) + "\"";
        return false;
      }
    } else if (name == "--settings") {
      if (!takeValue()) return false;
      if (value.empty()) {
        *error = "--settings needs a file name";
        return false;
      }
      o->settingsFile = std::string(value);
    } else if (name == "--area") {
      if (!takeValue()) return false;
      if (!ParseArea(value, o->area)) {
        *error = "--area must be X0,Y0,X1,Y1 (four integers), not \"" + std::string(value) + "\"";
        return false;
      }
      o->hasArea = true;
    } else if (name == "--max-pixels") {
      if (!takeValue()) return false;
      const std::string digits(value);
      char* end = nullptr;
      errno = 0;
      const unsigned long long n = digits.empty() || digits[0] < '0' || digits[0] > '9'
                                       ? 0
                                       : std::strtoull(digits.c_str(), &end, 10);
      if (n == 0 || errno != 0 || end != digits.c_str() + digits.size()) {
        *error = "--max-pixels must be a whole number above 0, not \"" + digits + "\"";
        return false;
      }
      o->maxPixels = n;
    } else if (name == "--rotate") {
      if (!takeValue()) return false;
      int32_t deg = -1;
      if (!ParseInt(value, &deg) || (deg != 0 && deg != 90 && deg != 180 && deg != 270)) {
        *error = "--rotate must be 90, 180 or 270, not \"" + std::string(value) + "\"";
        return false;
      }
      o->rotate = deg;
    } else {
      *error = "unknown option " + std::string(a);
      return false;
    }
    if (hasValue && (name == "--help" || name == "-h" || name == "--version" || name == "--json")) {
      *error = std::string(name) + " takes no value";
      return false;
    }
  }
  if (!o->help && !o->version && o->pictures.empty()) {
    *error = "no picture given";
    return false;
  }
  return true;
}

std::string EscapeForLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[5];
          std::snprintf(buf, sizeof buf, "\\x%02x", c);
          out += buf;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  return out;
}

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[7];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out += "\"";
  return out;
}

std::string FormatText(const ReadResult& r) {
  if (!r.readable) return {};
  std::string line = EscapeForLine(r.file) + "\t";
  if (!r.ok) return line + "-\t" + DecodeErrorText(r.status);
  return line + EscapeForLine(r.symbology) + "\t" + EscapeForLine(r.text);
}

std::string FormatJson(const ReadResult& r) {
  auto orNull = [](bool present, const std::string& v) { return present ? v : std::string("null"); };
  std::string j = "{\"file\": " + JsonString(DecodedBytesToUtf8(r.file));
  j += ", \"ok\": ";
  j += r.ok ? "true" : "false";
  j += ", \"status\": " + orNull(r.readable, std::to_string(r.status));
  const bool got = r.readable && r.ok;
  j += ", \"kind\": " + orNull(got, JsonString(r.kind));
  j += ", \"symbology\": " + orNull(got, JsonString(r.symbology));
  const bool qr = got && r.kind == "qr";
  j += ", \"qr_version\": " + orNull(qr && r.qrVersion > 0, std::to_string(r.qrVersion));
  j += ", \"qr_level\": " + orNull(qr && !r.qrLevel.empty(), JsonString(r.qrLevel));
  j += ", \"text\": " + orNull(got, JsonString(r.text));
  j += ", \"bytes_hex\": " + orNull(got, JsonString(Hex(r.bytes)));
  std::string corners = "[";
  for (size_t i = 0; i < r.corners.size(); ++i) {
    if (i) corners += ", ";
    corners += "[" + std::to_string(r.corners[i].first) + ", " + std::to_string(r.corners[i].second) + "]";
  }
  corners += "]";
  j += ", \"corners\": " + orNull(got, corners);
  char ms[32];
  std::snprintf(ms, sizeof ms, "%.3f", r.ms);
  j += ", \"ms\": " + std::string(ms);
  if (!r.readable) j += ", \"error\": " + JsonString(r.error);
  j += "}";
  return j;
}

int RunRead(const ReadOptions& o, std::FILE* out, std::FILE* err) {
  SettingsRecord base;
  if (!o.settingsFile.empty()) {
    struct stat st;
    std::FILE* f = std::fopen(o.settingsFile.c_str(), "rb");
    const bool readable = f && ::fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
    if (f) std::fclose(f);
    if (!readable) {
      std::fprintf(err, "vantrel-read: %s: cannot read the settings file\n", o.settingsFile.c_str());
      return 2;
    }
    LoadSettings(o.settingsFile, &base);
  }

  // The QR library and the Data Matrix reader for the kinds offered; a reading
  // draws nothing, so the utility library's overlay store is not needed.
  DecoderLibraries libraries(DecoderLibraries::QrParameterFile::kNone);
  const CodeKinds kinds = KindsOf(o.kind);
  DecoderLibraries::Libraries wanted = 0;
  if ((kinds & kReadQrCode) != 0) wanted |= DecoderLibraries::kQr;
  if ((kinds & kReadDataMatrix) != 0) wanted |= DecoderLibraries::kDataMatrix;
  DecoderLibraries::Libraries failed = 0;
  if (const int32_t status = libraries.Start(wanted, &failed); status != 0) {
    std::fprintf(err, "vantrel-read: the %s did not start (%d)\n",
                 failed == DecoderLibraries::kQr ? "QR library" : "Data Matrix reader", status);
    return 2;
  }

  int exitStatus = 0;
  for (const std::string& file : o.pictures) {
    ReadResult r;
    r.file = file;
    DibReadReport report{};
    DibPtr picture(DibReadPictureFileLimited(file.c_str(), o.maxPixels, &report));
    if (picture && o.rotate != 0) {
      picture.reset(DibRotate(picture.get(), o.rotate));
      if (!picture) report.status = kDibReadNoMemory;
    }
    if (!picture) {
      r.readable = false;
      r.error = DibReadStatusText(report.status);
      if (report.status == kDibReadTooLarge && report.width != 0 && report.height != 0)
        r.error += " (" + std::to_string(report.width) + " \u00d7 " + std::to_string(report.height) + ")";
      std::fprintf(err, "vantrel-read: %s: %s\n", file.c_str(), r.error.c_str());
      Emit(o, r, out);
      exitStatus = 2;
      continue;
    }
    SettingsRecord s = base;
    const int32_t w = DibGetWidth(picture.get()), h = DibGetHeight(picture.get());
    const int32_t whole[4] = {0, 0, w - 1, h - 1};
    std::memcpy(s.Area, o.hasArea ? o.area : whole, sizeof s.Area);

    const auto t0 = Clock::now();
    const std::vector<Reading> readings = ReadPicture(picture.get(), s, kinds);
    r.ms = Millis(Clock::now() - t0);
    for (const Reading& reading : readings) {
      ReadResult line = r;
      TakeReading(reading, &line);
      Emit(o, line, out);
    }
    if (!readings.front().ok() && exitStatus == 0) exitStatus = 1;
  }
  return exitStatus;
}

}  // namespace vantrel::cli

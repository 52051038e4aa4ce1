#include "frames.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "vantrel/decoder_libraries.h"
#include "vantrel/reading.h"

namespace vantrel::bench {

namespace {

using vantrel::test::DibPtr;

// Plain literals: the sets are made while other files' static objects are still
// being constructed.
constexpr const char* kCode128Data = "VT-0042";
constexpr const char* kJanData = "490123456789";  // the encoder adds the check digit 4
constexpr const char* kQrData = "https://vantrel.jp/0042";
constexpr const char* kQrLongData =
    "VANTREL READING STATION 0123456789 QR VERSION TEN WITH SOME DATA IN IT, AND A LITTLE MORE";
constexpr const char* kDmxData = "VANTREL-0042-DM";
constexpr const char* kDmxLongData =
    "VANTREL-0042-DM LOT 2026-12 LINE 7 STATION 3 OPERATOR 15 CHECK 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ 0042";

std::string Size(int32_t w, int32_t h) { return std::to_string(w) + "x" + std::to_string(h); }

// Sets whose name ends so are printed dim and seen out of focus.
constexpr const char* kDimSuffix = "-dim-blurred";
bool DimAndBlurred(const FrameSet& s) {
  const std::string suffix = kDimSuffix;
  return s.name.size() > suffix.size() && s.name.compare(s.name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string Module(double m) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "m%g", m);
  return buf;
}

std::vector<FrameSet> MakeSets() {
  std::vector<FrameSet> sets;
  auto barcode = [&](Symbology sym, int32_t w, int32_t h, double module, double angle, int32_t level,
                     double degree, bool present) {
    FrameSet s;
    s.symbology = sym;
    s.width = w;
    s.height = h;
    s.present = present;
    s.scanLevel = level;
    s.scanDegree = degree;
    s.moduleSize = module;
    s.angleDeg = angle;
    const bool jan = sym == Symbology::kJan13;
    s.zint = jan ? std::vector<std::string>{"-b", "EANX"} : std::vector<std::string>{"-b", "CODE128"};
    s.data = jan ? kJanData : kCode128Data;
    s.expected = present ? (jan ? std::string(kJanData) + "4" : std::string(kCode128Data)) : "";
    const std::string scan = "scan " + std::to_string(level) + "/" + std::to_string(static_cast<int>(degree));
    s.name = std::string(jan ? "jan13-" : "code128-") + Size(w, h) + "-" +
             (present ? Module(module) + (angle != 0 ? "-a" + std::to_string(static_cast<int>(angle)) : "")
                      : std::string("none")) +
             (level != 1 || degree != 90.0 ? "-scan" + std::to_string(level) : "");
    s.what = present ? std::string(SymbologyName(sym)) + ", " + std::to_string(static_cast<int>(angle)) +
                           " deg, " + scan
                     : "no symbol, " + scan;
    sets.push_back(s);
  };
  auto matrix = [&](Symbology sym, int32_t w, int32_t h, int version, const char* data, double module,
                    double angle, double perspective, bool present) {
    FrameSet s;
    s.symbology = sym;
    s.width = w;
    s.height = h;
    s.present = present;
    s.moduleSize = module;
    s.angleDeg = angle;
    s.perspective = perspective;
    s.data = data;
    s.expected = present ? data : "";
    const bool qr = sym == Symbology::kQr;
    if (qr) {
      s.zint = {"-b", "QRCODE", "--vers=" + std::to_string(version), "--secure=2"};
    } else {
      s.zint = {"-b", "DATAMATRIX", "--vers=" + std::to_string(version)};
    }
    const std::string symbol = qr ? "v" + std::to_string(version) : version == 7 ? "s22" : "s44";
    s.name = std::string(qr ? "qr-" : "dm-") + Size(w, h) + "-" +
             (present ? symbol + "-" + Module(module) +
                            (angle != 0 ? "-a" + std::to_string(static_cast<int>(angle)) : "") +
                            (perspective != 0 ? "-keystone" : "")
                      : std::string("none"));
    s.what = present ? std::string(SymbologyName(sym)) + " " + symbol + ", " +
                           std::to_string(static_cast<int>(angle)) + " deg" + (perspective != 0 ? ", keystone" : "")
                     : "no symbol";
    sets.push_back(s);
  };

  // 1D: the station's default scan (level 1, a line every 90 degrees) where it
  // can find the symbol; the dense scan (level 4, 10 degrees) for a steep angle
  // and for the whole search of a frame without a symbol.
  const Symbology c = Symbology::kCode128;
  barcode(c, 640, 480, 1.5, 0, 1, 90, true);
  barcode(c, 640, 480, 2, 0, 1, 90, true);
  barcode(c, 640, 480, 3, 0, 1, 90, true);
  barcode(c, 640, 480, 2, 10, 1, 90, true);
  barcode(c, 640, 480, 2, 90, 1, 90, true);
  barcode(c, 640, 480, 2, 45, 4, 10, true);
  barcode(Symbology::kJan13, 640, 480, 2, 0, 1, 90, true);
  barcode(c, 640, 480, 2, 0, 1, 90, false);
  barcode(c, 640, 480, 2, 0, 4, 10, false);
  barcode(c, 1280, 720, 3, 0, 1, 90, true);
  barcode(c, 1280, 720, 3, 0, 4, 10, false);
  barcode(c, 1920, 1080, 4, 0, 1, 90, true);
  barcode(c, 1920, 1080, 4, 0, 4, 10, false);
  // A JAN-13 printed with ink spread (bars a third of a module fat) and seen
  // out of focus, at the station's default scan.
  barcode(Symbology::kJan13, 640, 480, 3, 0, 1, 90, true);
  sets.back().barGain = 1.0;
  sets.back().blur = 1.2;
  sets.back().name += "-gain1-blur1.2";
  sets.back().what += ", fat bars, blurred";

  const Symbology q = Symbology::kQr;
  matrix(q, 640, 480, 2, kQrData, 2, 0, 0, true);
  matrix(q, 640, 480, 2, kQrData, 4, 0, 0, true);
  matrix(q, 640, 480, 2, kQrData, 8, 0, 0, true);
  matrix(q, 640, 480, 10, kQrLongData, 3, 0, 0, true);
  matrix(q, 640, 480, 2, kQrData, 4, 30, 0, true);
  matrix(q, 640, 480, 4, kQrData, 4, 0, 0.2, true);
  // A dim grey print filling the frame, tilted away and out of focus: no
  // pixel of it is dark at the station's threshold.
  matrix(q, 640, 480, 4, kQrData, 11, 0, 0.25, true);
  sets.back().name += kDimSuffix;
  sets.back().what += ", dim, blurred";
  matrix(q, 640, 480, 2, kQrData, 4, 0, 0, false);
  matrix(q, 1280, 720, 4, kQrData, 6, 0, 0, true);
  matrix(q, 1280, 720, 4, kQrData, 6, 0, 0, false);
  matrix(q, 1920, 1080, 4, kQrData, 8, 0, 0, true);
  matrix(q, 1920, 1080, 4, kQrData, 8, 0, 0, false);

  const Symbology d = Symbology::kDataMatrix;
  matrix(d, 640, 480, 7, kDmxData, 3, 0, 0, true);
  matrix(d, 640, 480, 7, kDmxData, 5, 0, 0, true);
  matrix(d, 640, 480, 7, kDmxData, 8, 0, 0, true);
  matrix(d, 640, 480, 13, kDmxLongData, 4, 0, 0, true);
  matrix(d, 640, 480, 7, kDmxData, 5, 37, 0, true);
  matrix(d, 640, 480, 7, kDmxData, 5, 0, 0, false);
  matrix(d, 1280, 720, 7, kDmxData, 8, 0, 0, true);
  matrix(d, 1280, 720, 7, kDmxData, 8, 0, 0, false);
  matrix(d, 1920, 1080, 7, kDmxData, 10, 0, 0, true);
  matrix(d, 1920, 1080, 7, kDmxData, 10, 0, 0, false);
  return sets;
}

// What a camera sees around a label: light falling off across the scene and
// bands of printed text above and below the middle, where the symbols go.
DibPtr Background(int32_t w, int32_t h) {
  DibPtr pic(DibCreate(w, h, 3, 4));
  uint8_t* bits = DibGetBits(pic.get());
  const int32_t stride = DibGetStride(pic.get());
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const auto v = static_cast<uint8_t>(200 + 40 * x / w - 50 * y / h);
      uint8_t* p = bits + static_cast<ptrdiff_t>(y) * stride + x * 3;
      p[0] = static_cast<uint8_t>(v - 6);
      p[1] = v;
      p[2] = static_cast<uint8_t>(v + 4);
    }
  std::mt19937 rng(1234);
  const int32_t lineHeight = std::max(8, h / 48), gap = lineHeight / 2;
  auto textBand = [&](int32_t top, int32_t bottom) {
    for (int32_t y = top; y + lineHeight <= bottom; y += lineHeight + gap) {
      int32_t x = w / 20;
      while (x < w - w / 20) {
        const int32_t word = lineHeight * (2 + static_cast<int32_t>(rng() % 6));
        for (int32_t i = x; i < std::min(x + word, w - w / 20);) {
          const int32_t run = 1 + static_cast<int32_t>(rng() % std::max(2, lineHeight / 4));
          const bool ink = rng() % 2;
          const int32_t rise = static_cast<int32_t>(rng() % 3);
          for (int32_t xx = i; xx < std::min(i + run, w); ++xx)
            for (int32_t yy = y + rise; ink && yy < y + lineHeight; ++yy) {
              uint8_t* p = bits + static_cast<ptrdiff_t>(yy) * stride + xx * 3;
              p[0] = p[1] = p[2] = 55;
            }
          i += run;
        }
        x += word + lineHeight;
      }
    }
  };
  textBand(h / 24, h / 5);
  textBand(h - h / 6, h - h / 24);
  return pic;
}

// The symbol as a camera sees it tilted away at the top: the quiet-zone
// rectangle mapped onto a trapezoid by a true projective transform, so that
// rows crowd together towards the far edge as they do through a lens.
void PaintKeystone(DibImage picture, const vantrel::test::ModuleMatrix& m, int32_t quietZone, double module,
                   double perspective, uint8_t darkLevel = 0, uint8_t lightLevel = 255) {
  const int32_t pw = DibGetWidth(picture), ph = DibGetHeight(picture), stride = DibGetStride(picture);
  uint8_t* bits = DibGetBits(picture);
  const double W = m.width + 2.0 * quietZone, H = m.height + 2.0 * quietZone;
  const double cx = pw / 2.0, cy = ph / 2.0, half = W * module / 2, top = half * (1 - perspective);
  // Corners of the unit square (0,0) (1,0) (1,1) (0,1) in the picture.
  const double x0 = cx - top, y0 = cy - H * module / 2, x1 = cx + top, y1 = y0;
  const double x2 = cx + half, y2 = cy + H * module / 2, x3 = cx - half, y3 = y2;
  // Square to quadrilateral (the classic closed form), then its inverse.
  const double sx = x0 - x1 + x2 - x3, sy = y0 - y1 + y2 - y3;
  const double dx1 = x1 - x2, dx2 = x3 - x2, dy1 = y1 - y2, dy2 = y3 - y2;
  const double den = dx1 * dy2 - dx2 * dy1;
  const double g = (sx * dy2 - dx2 * sy) / den, h = (dx1 * sy - sx * dy1) / den;
  const double a = x1 - x0 + g * x1, b = x3 - x0 + h * x3, c = x0;
  const double d = y1 - y0 + g * y1, e = y3 - y0 + h * y3, f = y0;
  // Adjugate of [[a b c] [d e f] [g h 1]]: picture to square, up to scale.
  const double A = e - f * h, B = c * h - b, C = b * f - c * e;
  const double D = f * g - d, E = a - c * g, F = c * d - a * f;
  const double G = d * h - e * g, Hh = b * g - a * h, I = a * e - b * d;
  constexpr int kSub = 4;
  for (int32_t py = std::max(0, static_cast<int32_t>(y0) - 1); py <= std::min(ph - 1, static_cast<int32_t>(y2) + 1); ++py)
    for (int32_t px = std::max(0, static_cast<int32_t>(x3) - 1); px <= std::min(pw - 1, static_cast<int32_t>(x2) + 1); ++px) {
      int inside = 0;
      double sum = 0;
      for (int ky = 0; ky < kSub; ++ky)
        for (int kx = 0; kx < kSub; ++kx) {
          const double X = px + (kx + 0.5) / kSub, Y = py + (ky + 0.5) / kSub;
          const double w = G * X + Hh * Y + I;
          const double u = (A * X + B * Y + C) / w * W, v = (D * X + E * Y + F) / w * H;
          if (u < 0 || v < 0 || u >= W || v >= H) continue;
          ++inside;
          const int32_t col = static_cast<int32_t>(u) - quietZone, row = static_cast<int32_t>(v) - quietZone;
          const bool dark = col >= 0 && col < m.width && row >= 0 && row < m.height && m.At(col, row);
          sum += dark ? darkLevel : lightLevel;
        }
      if (inside == 0) continue;
      uint8_t* p = bits + static_cast<ptrdiff_t>(py) * stride + px * 3;
      const auto v8 = static_cast<uint8_t>(std::lround((sum + p[1] * (kSub * kSub - inside)) / (kSub * kSub)));
      p[0] = p[1] = p[2] = v8;
    }
}

// A horizontal 1D symbol centred in the picture, each bar `gain` pixels wider
// than its modules (half on either side), its pixels shaded by how much of them
// the bars cover; the quiet zones as PaintSymbol lays them.
void PaintFatBars(DibImage picture, const vantrel::test::ModuleMatrix& m, const vantrel::test::RenderOptions& o,
                  double gain) {
  const int32_t pw = DibGetWidth(picture), ph = DibGetHeight(picture), stride = DibGetStride(picture);
  uint8_t* bits = DibGetBits(picture);
  const double left = std::round(pw / 2.0 - m.width * o.moduleSize / 2);
  const double quiet = o.quietZone * o.moduleSize, half = o.barHeight * o.moduleSize / 2;
  std::vector<double> ink(static_cast<size_t>(pw), 0.0);
  for (int32_t a = 0; a < m.width;) {
    int32_t b = a;
    while (b < m.width && m.At(b, 0) == m.At(a, 0)) ++b;
    if (m.At(a, 0)) {
      const double x0 = left + a * o.moduleSize - gain / 2, x1 = left + b * o.moduleSize + gain / 2;
      for (int32_t x = std::max(0, static_cast<int32_t>(x0)); x < std::min<double>(pw, std::ceil(x1)); ++x)
        ink[static_cast<size_t>(x)] += std::max(0.0, std::min<double>(x + 1, x1) - std::max<double>(x, x0));
    }
    a = b;
  }
  for (int32_t y = std::max(0, static_cast<int32_t>(ph / 2.0 - half - quiet));
       y < std::min<double>(ph, ph / 2.0 + half + quiet); ++y)
    for (int32_t x = std::max(0, static_cast<int32_t>(left - quiet));
         x < std::min<double>(pw, left + m.width * o.moduleSize + quiet); ++x) {
      const bool inBars = std::fabs(y - ph / 2.0) < half;
      const double dark = inBars ? std::min(1.0, ink[static_cast<size_t>(x)]) : 0.0;
      uint8_t* p = bits + static_cast<ptrdiff_t>(y) * stride + x * 3;
      p[0] = p[1] = p[2] = static_cast<uint8_t>(std::lround(o.light - dark * (o.light - o.dark)));
    }
}

}  // namespace

const char* SymbologyName(Symbology s) {
  switch (s) {
    case Symbology::kCode128: return "CODE 128";
    case Symbology::kJan13: return "JAN-13";
    case Symbology::kQr: return "QR";
    case Symbology::kDataMatrix: return "Data Matrix";
  }
  return "?";
}

const std::vector<FrameSet>& FrameSets() {
  static const std::vector<FrameSet> sets = MakeSets();
  return sets;
}

DibImage FramePicture(const FrameSet& set) {
  static std::map<std::string, DibPtr> frames;
  auto it = frames.find(set.name);
  if (it != frames.end()) return it->second.get();
  DibPtr pic = Background(set.width, set.height);
  if (set.present) {
    vantrel::test::ModuleMatrix m;
    std::string error;
    if (!vantrel::test::ZintModules(set.zint, set.data, &m, &error)) {
      std::fprintf(stderr, "vantrel-bench: zint refused the symbol of %s: %s\n", set.name.c_str(), error.c_str());
      std::exit(2);
    }
    vantrel::test::RenderOptions o;
    o.moduleSize = set.moduleSize;
    o.angleDeg = set.angleDeg;
    o.quietZone = m.height == 1 ? 10 : 4;
    o.barHeight = 40;
    if (set.perspective != 0 && m.height > 1) {
      if (DimAndBlurred(set)) PaintKeystone(pic.get(), m, o.quietZone, o.moduleSize, set.perspective, 150, 230);
      else PaintKeystone(pic.get(), m, o.quietZone, o.moduleSize, set.perspective);
    } else if (set.barGain != 0 && m.height == 1) {
      PaintFatBars(pic.get(), m, o, set.barGain);
    } else {
      vantrel::test::PaintSymbol(pic.get(), m, o);
    }
  }
  vantrel::test::GaussianBlur(pic.get(), DimAndBlurred(set) ? 2.2 : set.blur);
  vantrel::test::AddNoise(pic.get(), 3.0, 7);
  return frames.emplace(set.name, std::move(pic)).first->second.get();
}

SettingsRecord SettingsFor(const FrameSet& set) {
  SettingsRecord s;
  s.Area[0] = 0;
  s.Area[1] = 0;
  s.Area[2] = set.width - 1;
  s.Area[3] = set.height - 1;
  const bool bcd = set.symbology == Symbology::kCode128 || set.symbology == Symbology::kJan13;
  s.BarCodeEnable = bcd;
  s.QRCodeEnable = set.symbology == Symbology::kQr;
  s.DmxCodeEnable = set.symbology == Symbology::kDataMatrix;
  s.JAN8 = 0;
  s.JAN13 = set.symbology == Symbology::kJan13;
  s.ITF = s.CODE39 = s.NW7 = 0;
  s.CODE128 = set.symbology == Symbology::kCode128;
  s.ScanLevel = set.scanLevel;
  s.ScanDegree = set.scanDegree;
  return s;
}

bool StartLibraries() {
  // Up for the program's life: the guard takes them down at its end.
  static DecoderLibraries libraries(DecoderLibraries::QrParameterFile::kNone);
  static const bool started = libraries.Start() == 0;
  return started;
}

bool VantrelRead(const FrameSet& set, DibImage frame, const SettingsRecord& s, std::string* text) {
  const CodeKinds kinds = set.symbology == Symbology::kQr           ? kReadQrCode
                          : set.symbology == Symbology::kDataMatrix ? kReadDataMatrix
                                                                    : kReadBarcode;
  const std::vector<Reading> readings = ReadPicture(frame, s, kinds);
  if (!readings.front().ok()) return false;
  *text = readings.front().bytes;
  return true;
}

}  // namespace vantrel::bench

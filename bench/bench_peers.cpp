// The fixed frame sets of frames.h timed through the station's decode calls
// (Google Benchmark, BM_Frame/<set>), and with --peers the same frames through
// zxing-cpp and ZBar in this process, read in turn, each with only the set's
// symbology enabled:
//
//   vantrel-bench                        every benchmark, as any Google Benchmark program
//   vantrel-bench --peers [--peer-filter=TEXT] [--peer-rounds=N] [--peer-min-time=S] [--peer-save=DIR]
//   vantrel-bench --peer-read=barcode|qr|datamatrix|all [--peer-rotate=DEG] PICTURE...
//
// Each set is read in rounds, every reader once a round: at least 5 rounds,
// then until every reader has spent 0.5 s on it, at most 201 rounds or 8 s.
// The peers' part prints a table of median times per frame and whether each
// reader read the frame, then for every set "ratio vantrel/zxing-cpp <set>: X"
// and "ratio vantrel/zbar <set>: Y" (our median over the peer's; ZBar has no
// Data Matrix reader). The peers are found when the program is built; without
// them --peers says so and ends with status 2.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "frames.h"
#include "vantrel/dib_file.h"

// ZBar's C++ classes must come before zxing-cpp's error macros.
#ifdef VANTREL_PEER_ZBAR
#include <zbar.h>
#endif
#ifdef VANTREL_PEER_ZXING
#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>
#endif

namespace {

using vantrel::bench::FrameSet;
using vantrel::bench::Symbology;
using Clock = std::chrono::steady_clock;

void BM_Frame(benchmark::State& state, const FrameSet* set) {
  if (!vantrel::bench::StartLibraries()) {
    state.SkipWithError("the decoder libraries did not start");
    return;
  }
  DibImage frame = vantrel::bench::FramePicture(*set);
  const vantrel::SettingsRecord settings = vantrel::bench::SettingsFor(*set);
  std::string text;
  bool read = false;
  for (auto _ : state) {
    read = vantrel::bench::VantrelRead(*set, frame, settings, &text);
    benchmark::DoNotOptimize(read);
  }
  const bool right = set->present ? read && text == set->expected : !read;
  state.SetLabel(set->what + (right ? (read ? ", read" : ", nothing read") : (read ? ", MISREAD" : ", NOT READ")));
}

const bool kRegistered = [] {
  for (const FrameSet& set : vantrel::bench::FrameSets()) {
    auto* b = benchmark::RegisterBenchmark(("BM_Frame/" + set.name).c_str(), BM_Frame, &set);
    b->Unit(benchmark::kMillisecond);
    if (set.symbology == Symbology::kDataMatrix && !set.present) b->Iterations(2);  // each runs to the time limit
  }
  return true;
}();

// What a peer is asked to look for: one bit per symbology.
enum Format : unsigned {
  kFCode128 = 1, kFJan13 = 2, kFJan8 = 4, kFItf = 8, kFCode39 = 16, kFCodabar = 32, kFQr = 64, kFDmx = 128,
  kFOneD = kFCode128 | kFJan13 | kFJan8 | kFItf | kFCode39 | kFCodabar,
};

unsigned FormatOf(Symbology s) {
  switch (s) {
    case Symbology::kCode128: return kFCode128;
    case Symbology::kJan13: return kFJan13;
    case Symbology::kQr: return kFQr;
    case Symbology::kDataMatrix: return kFDmx;
  }
  return 0;
}

// One reader of the comparison: reads a frame, true when it found something.
struct Reader {
  const char* name;
  unsigned formats;  // what it can read at all
  bool (*read)(const FrameSet&, DibImage, std::string*);
};

bool ReadVantrel(const FrameSet& set, DibImage frame, std::string* text) {
  static std::string last;
  static vantrel::SettingsRecord settings;
  if (last != set.name) {
    settings = vantrel::bench::SettingsFor(set);
    last = set.name;
  }
  return vantrel::bench::VantrelRead(set, frame, settings, text);
}

#ifdef VANTREL_PEER_ZXING
// Debian's 1.4 can abort on an assertion inside ReadBarcodes: one symbol each.
bool ZXingRead(unsigned formats, DibImage frame, std::string* bytes, std::string* text,
               std::string* format = nullptr) {
  using F = ZXing::BarcodeFormat;
  const std::pair<unsigned, F> kFormats[] = {{kFCode128, F::Code128}, {kFJan13, F::EAN13}, {kFJan8, F::EAN8},
                                             {kFItf, F::ITF},         {kFCode39, F::Code39}, {kFCodabar, F::Codabar},
                                             {kFQr, F::QRCode},       {kFDmx, F::DataMatrix}};
  ZXing::BarcodeFormats wanted;
  for (const auto& [bit, f] : kFormats)
    if (formats & bit) wanted |= f;
  ZXing::DecodeHints hints;
  hints.setFormats(wanted);
  hints.setReturnCodabarStartEnd(true);  // as the station and the corpus give NW-7
  const ZXing::ImageView view(DibGetBits(frame), DibGetWidth(frame), DibGetHeight(frame),
                              DibGetBitCount(frame) == 8 ? ZXing::ImageFormat::Lum : ZXing::ImageFormat::BGR,
                              DibGetStride(frame));
  const ZXing::Result r = ZXing::ReadBarcode(view, hints);
  if (!r.isValid()) return false;
  const auto& b = r.bytes();
  bytes->assign(b.begin(), b.end());
  if (text) *text = r.text();
  if (format) *format = ZXing::ToString(r.format());
  return true;
}

bool ReadZXing(const FrameSet& set, DibImage frame, std::string* text) {
  return ZXingRead(FormatOf(set.symbology), frame, text, nullptr);
}
#endif

#ifdef VANTREL_PEER_ZBAR
using namespace zbar;  // its C interface lives in this namespace under C++

// ZBar takes grey pictures: turning the frame grey is part of its read, as our
// decoders' own conversions are part of theirs.
bool ZBarRead(unsigned formats, DibImage frame, std::string* text, std::string* format = nullptr) {
  static zbar_image_scanner_t* scanner = zbar_image_scanner_create();
  static unsigned configured = ~0u;
  if (configured != formats) {
    zbar_image_scanner_set_config(scanner, ZBAR_NONE, ZBAR_CFG_ENABLE, 0);
    const std::pair<unsigned, zbar_symbol_type_t> kTypes[] = {
        {kFCode128, ZBAR_CODE128}, {kFJan13, ZBAR_EAN13},     {kFJan8, ZBAR_EAN8},
        {kFItf, ZBAR_I25},         {kFCode39, ZBAR_CODE39},   {kFCodabar, ZBAR_CODABAR},
        {kFQr, ZBAR_QRCODE}};
    for (const auto& [bit, type] : kTypes)
      if (formats & bit) zbar_image_scanner_set_config(scanner, type, ZBAR_CFG_ENABLE, 1);
    configured = formats;
  }
  const int32_t w = DibGetWidth(frame), h = DibGetHeight(frame), stride = DibGetStride(frame);
  const int32_t bpp = DibGetBitCount(frame) / 8;
  const uint8_t* bits = DibGetBits(frame);
  static std::vector<uint8_t> grey;
  grey.resize(static_cast<size_t>(w) * h);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* p = bits + static_cast<ptrdiff_t>(y) * stride;
    uint8_t* g = grey.data() + static_cast<size_t>(y) * w;
    if (bpp == 1) {
      std::memcpy(g, p, static_cast<size_t>(w));
      continue;
    }
    for (int32_t x = 0; x < w; ++x, p += bpp) g[x] = static_cast<uint8_t>((29 * p[0] + 150 * p[1] + 77 * p[2] + 128) >> 8);
  }
  zbar_image_t* image = zbar_image_create();
  zbar_image_set_format(image, zbar_fourcc('Y', '8', '0', '0'));
  zbar_image_set_size(image, w, h);
  zbar_image_set_data(image, grey.data(), grey.size(), nullptr);
  const int n = zbar_scan_image(scanner, image);
  bool found = false;
  if (n > 0) {
    if (const zbar_symbol_t* sym = zbar_image_first_symbol(image)) {
      text->assign(zbar_symbol_get_data(sym), zbar_symbol_get_data_length(sym));
      if (format) *format = zbar_get_symbol_name(zbar_symbol_get_type(sym));
      found = true;
    }
  }
  zbar_image_destroy(image);
  return found;
}

bool ReadZBar(const FrameSet& set, DibImage frame, std::string* text) {
  return ZBarRead(FormatOf(set.symbology), frame, text);
}
#endif

std::vector<Reader> Readers() {
  std::vector<Reader> r{{"vantrel", ~0u, ReadVantrel}};
#ifdef VANTREL_PEER_ZXING
  r.push_back({"zxing-cpp", ~0u, ReadZXing});
#endif
#ifdef VANTREL_PEER_ZBAR
  r.push_back({"zbar", ~0u & ~unsigned{kFDmx}, ReadZBar});
#endif
  return r;
}

struct PeerOptions {
  std::string filter;     // sets whose name contains this text; empty: all
  int rounds = 0;         // fixed number of timed rounds; 0: by time
  double minTime = 0.5;   // seconds of reading per reader and set, at least ...
  double maxTime = 8;     // ... unless the set has taken this long (a slow reader alone)
  int minRounds = 5;
  int maxRounds = 201;
  std::string saveDir;    // write each set's frame here as PNG
};

bool ParsePeerOptions(int argc, char** argv, PeerOptions* o) {
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    auto value = [&](std::string_view name, std::string* out) {
      if (a.substr(0, name.size()) == name && a.size() > name.size() && a[name.size()] == '=') {
        *out = std::string(a.substr(name.size() + 1));
        return true;
      }
      return false;
    };
    std::string v;
    if (a == "--peers") continue;
    if (value("--peer-save", &v)) {
      o->saveDir = v;
    } else if (value("--peer-filter", &v)) {
      o->filter = v;
    } else if (value("--peer-rounds", &v)) {
      o->rounds = std::atoi(v.c_str());
      if (o->rounds < 1) {
        std::fprintf(stderr, "vantrel-bench: --peer-rounds must be at least 1\n");
        return false;
      }
    } else if (value("--peer-min-time", &v)) {
      o->minTime = std::atof(v.c_str());
      if (!(o->minTime > 0)) {
        std::fprintf(stderr, "vantrel-bench: --peer-min-time must be positive\n");
        return false;
      }
    } else {
      std::fprintf(stderr,
                   "vantrel-bench: with --peers only --peer-filter=TEXT, --peer-rounds=N, --peer-min-time=S and "
                   "--peer-save=DIR, not %s\n",
                   argv[i]);
      return false;
    }
  }
  return true;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// "read", "nothing" (right for a frame without a symbol), "MISSED", "WRONG" or "FALSE+".
const char* Verdict(const FrameSet& set, bool found, const std::string& text) {
  if (set.present) return !found ? "MISSED" : text == set.expected ? "read" : "WRONG";
  return found ? "FALSE+" : "nothing";
}

int RunPeers(int argc, char** argv) {
  PeerOptions opt;
  if (!ParsePeerOptions(argc, argv, &opt)) return 2;
  const std::vector<Reader> readers = Readers();
  if (readers.size() < 2) {
    std::fprintf(stderr, "vantrel-bench: built without zxing-cpp and ZBar (libzxing-dev, libzbar-dev): no peers\n");
    return 2;
  }
  const auto& all = vantrel::bench::FrameSets();
  if (std::none_of(all.begin(), all.end(), [&](const FrameSet& s) { return s.name.find(opt.filter) != std::string::npos; })) {
    std::fprintf(stderr, "vantrel-bench: no set's name contains \"%s\"\n", opt.filter.c_str());
    return 2;
  }
  if (!vantrel::bench::StartLibraries()) {
    std::fprintf(stderr, "vantrel-bench: the decoder libraries did not start\n");
    return 2;
  }
  std::printf("peers: zxing-cpp %s, ZBar %s; readers in turn, each set's symbology alone; median ms per frame\n",
#ifdef VANTREL_PEER_ZXING
              VANTREL_PEER_ZXING_VERSION,
#else
              "absent",
#endif
#ifdef VANTREL_PEER_ZBAR
              VANTREL_PEER_ZBAR_VERSION
#else
              "absent"
#endif
  );
  std::printf("%-38s %5s", "set", "rounds");
  for (const Reader& r : readers) std::printf(" %20s", r.name);
  std::printf("\n");
  std::fflush(stdout);

  std::vector<std::string> ratios;
  for (const FrameSet& set : all) {
    if (set.name.find(opt.filter) == std::string::npos) continue;
    DibImage frame = vantrel::bench::FramePicture(set);
    if (!opt.saveDir.empty()) {
      const std::string path = opt.saveDir + "/" + set.name + ".png";
      if (DibSaveWithCodec(path.c_str(), frame) != 1) {
        std::fprintf(stderr, "vantrel-bench: cannot write %s\n", path.c_str());
        return 2;
      }
    }
    std::vector<const Reader*> active;
    for (const Reader& r : readers)
      if (r.formats & FormatOf(set.symbology)) active.push_back(&r);
    std::vector<std::vector<double>> times(active.size());
    std::vector<std::string> verdicts(active.size());
    std::vector<double> spent(active.size(), 0);
    std::string text;
    // One untimed read each: first-use allocations and the verdicts.
    for (size_t i = 0; i < active.size(); ++i) {
      text.clear();
      const bool found = active[i]->read(set, frame, &text);
      verdicts[i] = Verdict(set, found, text);
    }
    int round = 0;
    auto more = [&] {
      if (opt.rounds > 0) return round < opt.rounds;
      if (round < opt.minRounds) return true;
      if (round >= opt.maxRounds) return false;
      double total = 0;
      for (double s : spent) total += s;
      if (total >= opt.maxTime) return false;
      return std::any_of(spent.begin(), spent.end(), [&](double s) { return s < opt.minTime; });
    };
    for (; more(); ++round) {
      // A different reader goes first each round, so that none always finds the caches warm.
      for (size_t k = 0; k < active.size(); ++k) {
        const size_t i = (k + static_cast<size_t>(round)) % active.size();
        text.clear();
        const auto t0 = Clock::now();
        const bool found = active[i]->read(set, frame, &text);
        const double s = std::chrono::duration<double>(Clock::now() - t0).count();
        benchmark::DoNotOptimize(found);
        times[i].push_back(s * 1e3);
        spent[i] += s;
      }
    }
    std::printf("%-38s %5d", set.name.c_str(), round);
    std::vector<double> medians(active.size());
    size_t k = 0;
    for (const Reader& r : readers) {
      if (k < active.size() && active[k] == &r) {
        medians[k] = Median(times[k]);
        std::printf(" %10.3f %-9s", medians[k], verdicts[k].c_str());
        ++k;
      } else {
        std::printf(" %20s", "-");
      }
    }
    std::printf("\n");
    std::fflush(stdout);
    for (size_t i = 1; i < active.size(); ++i) {
      char line[200];
      std::snprintf(line, sizeof line, "ratio vantrel/%s %s: %.3g", active[i]->name, set.name.c_str(),
                    medians[i] > 0 ? medians[0] / medians[i] : 0.0);
      ratios.push_back(line);
    }
  }
  std::printf("\n");
  for (const std::string& r : ratios) std::printf("%s\n", r.c_str());
  return 0;
}


std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 15]);
  }
  return out;
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else if (c < 0x20 || c == 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out + "\"";
}

// vantrel-bench --peer-read=KIND [--peer-rotate=DEG] PICTURE...: each picture
// through each peer (ZBar first, so that its line is out should zxing-cpp
// abort), one JSON line per peer and picture with file, reader, ok, bytes_hex,
// text and ms. For comparing read rates on picture collections.
int RunPeerRead(int argc, char** argv) {
  unsigned formats = 0;
  int rotate = 0;
  std::vector<const char*> files;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    if (a.substr(0, 12) == "--peer-read=") {
      const std::string_view kind = a.substr(12);
      formats = kind == "barcode" ? kFOneD : kind == "qr" ? kFQr : kind == "datamatrix" ? kFDmx
              : kind == "all" ? kFOneD | kFQr | kFDmx : 0;
      if (!formats) {
        std::fprintf(stderr, "vantrel-bench: --peer-read= takes barcode, qr, datamatrix or all\n");
        return 2;
      }
    } else if (a.substr(0, 14) == "--peer-rotate=") {
      rotate = std::atoi(argv[i] + 14);
      if (rotate != 0 && rotate != 90 && rotate != 180 && rotate != 270) {
        std::fprintf(stderr, "vantrel-bench: --peer-rotate= takes 90, 180 or 270\n");
        return 2;
      }
    } else if (a.substr(0, 2) == "--") {
      std::fprintf(stderr, "vantrel-bench: with --peer-read only --peer-rotate=DEG and pictures, not %s\n", argv[i]);
      return 2;
    } else {
      files.push_back(argv[i]);
    }
  }
  int status = 0;
  for (const char* file : files) {
    int32_t readStatus = 0;
    vantrel::test::DibPtr picture(DibReadPictureFile(file, &readStatus));
    if (picture && rotate) picture.reset(DibRotate(picture.get(), rotate));
    if (!picture) {
      std::printf("{\"file\": %s, \"error\": %s}\n", JsonString(file).c_str(),
                  JsonString(DibReadStatusText(readStatus)).c_str());
      status = 2;
      continue;
    }
    auto emit = [&](const char* reader, bool ok, const std::string& bytes, const std::string& text,
                    const std::string& format, double ms) {
      const std::string hex = ok ? JsonString(Hex(bytes)) : std::string("null");
      const std::string shown = ok ? JsonString(text) : std::string("null");
      const std::string symbology = ok ? JsonString(format) : std::string("null");
      std::printf("{\"file\": %s, \"reader\": \"%s\", \"ok\": %s, \"symbology\": %s, \"bytes_hex\": %s, "
                  "\"text\": %s, \"ms\": %.3f}\n",
                  JsonString(file).c_str(), reader, ok ? "true" : "false", symbology.c_str(), hex.c_str(),
                  shown.c_str(), ms);
      std::fflush(stdout);
    };
    std::string bytes, text, format;
#ifdef VANTREL_PEER_ZBAR
    if (formats & ~unsigned{kFDmx}) {
      bytes.clear();
      const auto t0 = Clock::now();
      const bool ok = ZBarRead(formats & ~unsigned{kFDmx}, picture.get(), &bytes, &format);
      emit("zbar", ok, bytes, bytes, format, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
#endif
#ifdef VANTREL_PEER_ZXING
    bytes.clear();
    text.clear();
    const auto t0 = Clock::now();
    const bool ok = ZXingRead(formats, picture.get(), &bytes, &text, &format);
    emit("zxing-cpp", ok, bytes, text, format, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
#endif
  }
  return status;
}

}  // namespace

// The program's own main: --peers runs the comparison; everything else is the
// plain Google Benchmark program.
int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--peers") == 0) return RunPeers(argc, argv);
    if (std::strncmp(argv[i], "--peer-read=", 12) == 0) return RunPeerRead(argc, argv);
    if (std::strcmp(argv[i], "--help") == 0)
      std::printf(
          "vantrel-bench --peers [--peer-filter=TEXT] [--peer-rounds=N] [--peer-min-time=S] [--peer-save=DIR]\n"
          "    the frame sets through vantrel, zxing-cpp and ZBar in turn; prints the ratios\n"
          "vantrel-bench --peer-read=barcode|qr|datamatrix|all [--peer-rotate=DEG] PICTURE...\n"
          "    picture files through the peers, one JSON line per peer and picture\n"
          "Otherwise a Google Benchmark program:\n");
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return kRegistered ? 0 : 1;
}

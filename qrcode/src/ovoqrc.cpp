// The decoder instance, its parameter file and the entry points.
#include "vantrel/OvoQrc.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "qr_binarize.h"
#include "qr_decoder.h"
#include "qr_finder.h"
#include "qr_robust.h"
#include "vantrel/ovoutil.h"

namespace {

using vantrel::qr::QrBinaryImage;
using vantrel::qr::QrDecodeContext;
using vantrel::qr::QrResult;

constexpr char kParameterSection[] = "QR_CODE_PARAMETER";
constexpr int32_t kDefaultArea[4] = {0, 0, 100, 100};

struct QrDecoder {
  std::unique_ptr<QrDecodeContext> context;
  DibImage image = nullptr;
  int32_t area[4] = {0, 0, 100, 100};
  int32_t threshold = 128;
  int32_t darkModules = 0;
  int32_t colorChannel = 0;
  int32_t symbolCount = 0;
  int32_t robust = 1;
  std::string parameterFile;  // empty: none is written
  // Buffers kept from decode to decode: a frame of the size seen before
  // costs no allocation.
  std::vector<uint8_t> binary;
  vantrel::qr::QrBlockStats stats;
  std::vector<vantrel::qr::QrRowHit> hits;
  vantrel::qr::QrRobustWorkspace robustWork;
};

QrDecoder* g_decoder = nullptr;
vantrel::qr::QrDecodeWork g_lastWork;

int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

OvoUtilIni ParameterIni(const QrDecoder& d) {
  OvoUtilIni ini;
  ini.SetFile(d.parameterFile);
  ini.SetSection(kParameterSection);
  return ini;
}

std::string ParameterFilePath() {
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::current_path(ec);
  if (ec) return "OvoQrc.ini";
  return (dir / "OvoQrc.ini").string();
}

// The result at index, or null when there is none.
const QrResult* ResultAt(int32_t index) {
  if (!g_decoder || !g_decoder->context || index < 0 || index >= g_decoder->symbolCount ||
      index >= static_cast<int32_t>(g_decoder->context->results.size()))
    return nullptr;
  return &g_decoder->context->results[static_cast<size_t>(index)];
}

// Forgets the previous decode's results, so that the getters never serve them
// after a decode that failed.
void ForgetResults(int32_t* count) {
  g_decoder->symbolCount = 0;
  if (g_decoder->context) g_decoder->context->results.clear();
  if (count) *count = 0;
}

}  // namespace

extern "C" {

int32_t OvoQrcInitialize(void) {
  if (g_decoder) {
    delete g_decoder;
    g_decoder = nullptr;
  }
  auto* d = new (std::nothrow) QrDecoder;
  if (!d) return -7;
  d->context.reset(new (std::nothrow) QrDecodeContext);
  if (!d->context) {
    delete d;
    return 1;
  }
  try {
    d->parameterFile = ParameterFilePath();
    const OvoUtilIni ini = ParameterIni(*d);
    ini.ReadRect("Area", d->area, kDefaultArea);
    ini.ReadInt("ThreshLevel", &d->threshold, 128);
    ini.ReadInt("Reverse", &d->darkModules, 1);
    ini.ReadInt("RGBSelect", &d->colorChannel, 0);
  } catch (...) {
    // A parameter file that cannot be read leaves the defaults.
    std::copy(kDefaultArea, kDefaultArea + 4, d->area);
    d->threshold = 128;
    d->darkModules = 1;
    d->colorChannel = 0;
  }
  g_decoder = d;
  return 0;
}

void OvoQrcTerminate(void) {
  if (!g_decoder) return;
  QrDecoder* d = g_decoder;
  g_decoder = nullptr;
  if (d->parameterFile.empty()) {
    delete d;
    return;
  }
  try {
    const OvoUtilIni ini = ParameterIni(*d);
    ini.WriteRect("Area", d->area);
    ini.WriteInt("ThreshLevel", d->threshold);
    ini.WriteInt("Reverse", d->darkModules);
    ini.WriteInt("RGBSelect", d->colorChannel);
  } catch (...) {
    // A file that cannot be written is not an error.
  }
  delete d;
}

int32_t OvoQrcSetImage(DibImage image) {
  if (!g_decoder) return -8;
  if (!image) return -1;
  g_decoder->image = image;
  return 0;
}

void OvoQrcSetArea(const int32_t* area) {
  if (!g_decoder || !area) return;
  for (int32_t i = 0; i < 4; ++i) g_decoder->area[i] = area[i];
}

void OvoQrcSetThreshold(int32_t threshold, int32_t darkModules) {
  if (!g_decoder) return;
  g_decoder->threshold = Clamp(threshold, 0, 255);
  g_decoder->darkModules = darkModules;
}

void OvoQrcSetColor(int32_t channel) {
  if (!g_decoder) return;
  g_decoder->colorChannel = Clamp(channel, 0, 2);
}

void OvoQrcSetRobust(int32_t robust) {
  if (!g_decoder) return;
  g_decoder->robust = robust != 0 ? 1 : 0;
}

void OvoQrcSetParameterFile(const char* path) {
  if (!g_decoder) return;
  try {
    g_decoder->parameterFile = path ? path : "";
  } catch (...) {
    g_decoder->parameterFile.clear();
  }
}

int32_t OvoQrcDecode(int32_t* count) {
  if (!g_decoder) return -8;
  QrDecoder& d = *g_decoder;
  ForgetResults(count);
  if (!d.image) return -1;

  const DibView v = DibGetView(d.image);
  const int32_t bytesPerPixel = v.bitCount / 8;
  if (bytesPerPixel != 1 && bytesPerPixel != 3) return -2;
  if (!v.bits) return -1;

  if (d.area[0] < 0) d.area[0] = 0;
  if (d.area[1] < 0) d.area[1] = 0;
  if (d.area[2] > v.width - 1) d.area[2] = v.width - 1;
  if (d.area[3] > v.height - 1) d.area[3] = v.height - 1;
  const int64_t w = int64_t{d.area[2]} - d.area[0] + 1;
  const int64_t h = int64_t{d.area[3]} - d.area[1] + 1;
  if (w <= 30 || h <= 30) return -3;

  // A channel read from the parameter file is not clamped; reading it must
  // still stay within the pixel.
  const int32_t channel = Clamp(d.colorChannel, 0, 2);
  vantrel::qr::QrSourceArea source;
  source.bits = v.bits;
  source.stride = v.stride;
  source.bytesPerPixel = bytesPerPixel;
  source.byteOffset = bytesPerPixel == 3 ? 2 - channel : 0;
  source.left = d.area[0];
  source.top = d.area[1];
  source.width = static_cast<int32_t>(w);
  source.height = static_cast<int32_t>(h);
  const bool robust = d.robust != 0;
  std::vector<uint8_t>& binary = d.binary;
  g_lastWork = vantrel::qr::QrDecodeWork{};
  if (!vantrel::qr::Binarize(source, d.threshold, d.darkModules, &binary, robust ? &d.stats : nullptr)) return -4;

  d.context.reset();
  d.context.reset(new (std::nothrow) QrDecodeContext);
  if (!d.context) return -4;
  QrDecodeContext* ctx = d.context.get();
  ctx->extendedData = robust;

  const QrBinaryImage img{binary.data(), source.width, source.height};
  int32_t found = 0;
  try {
    found = vantrel::qr::RunPipeline(ctx, img, robust ? &d.hits : nullptr);
    g_lastWork.triplesExamined = ctx->triplesExamined;
    g_lastWork.sampledModules = ctx->sampledModules;
    g_lastWork.correction = ctx->rs.spent;
    // The robust passes only where the strict decoding read nothing.
    if (robust && found == 0 && !ctx->outOfMemory) {
      ctx->results.clear();
      vantrel::qr::QrRobustInput in;
      in.source = source;
      in.stats = &d.stats;
      in.binary = &binary;
      in.hits = &d.hits;
      in.darkModules = d.darkModules;
      vantrel::qr::QrRobustReport report;
      found = vantrel::qr::RunRobustPasses(ctx, in, &d.robustWork, &report);
      g_lastWork.robustRan = true;
      g_lastWork.robust = report.work;
      g_lastWork.robustStep = static_cast<int32_t>(report.step);
      g_lastWork.localTried = report.localTried;
      g_lastWork.invertedTried = report.invertedTried;
    }
  } catch (...) {
    ctx->results.clear();
    found = 0;
  }
  ctx->image = QrBinaryImage{};  // the binary image ends with this call
  d.symbolCount = found;
  if (count) *count = found;
  return found >= 1 ? 0 : -4;
}

int32_t OvoQrcGetData(int32_t index, int32_t* length, uint8_t* buffer) {
  if (!g_decoder) return -8;
  const QrResult* r = ResultAt(index);
  if (!r || !length || *length < 1) return -1;
  if (!buffer) return 0;
  if (r->length <= 0) {
    *length = 0;
    return 0;
  }
  const int32_t n = r->length < *length ? r->length : *length - 1;
  std::copy(r->data, r->data + n, buffer);
  buffer[n] = 0;
  *length = n;
  return 0;
}

int32_t OvoQrcGetVersion(int32_t index, int32_t* version) {
  if (!g_decoder) return -8;
  const QrResult* r = ResultAt(index);
  if (!r) return -1;
  if (version) *version = r->version;
  return 0;
}

int32_t OvoQrcGetLevel(int32_t index, int32_t* level) {
  if (!g_decoder) return -8;
  const QrResult* r = ResultAt(index);
  if (!r) return -1;
  if (level) *level = r->level;
  return 0;
}

int32_t OvoQrcGetSymbolInfo(int32_t index, int32_t* modifier, int32_t* encoding, int32_t* mirrored) {
  if (!g_decoder) return -8;
  const QrResult* r = ResultAt(index);
  if (!r) return -1;
  if (modifier) *modifier = r->modifier;
  if (encoding) *encoding = r->encoding;
  if (mirrored) *mirrored = r->mirrored;
  return 0;
}

int32_t OvoQrcGetPosition(int32_t index, int32_t* x0, int32_t* y0, int32_t* x1, int32_t* y1,
                          int32_t* x2, int32_t* y2, int32_t* x3, int32_t* y3) {
  if (!g_decoder) return -8;
  const QrResult* r = ResultAt(index);
  if (!r) return -1;
  int32_t* out[8] = {x0, y0, x1, y1, x2, y2, x3, y3};
  for (int32_t i = 0; i < 8; ++i)
    if (out[i]) *out[i] = r->corners[i];
  return 0;
}

}  // extern "C"

namespace vantrel::qr {
QrDecodeWork LastDecodeWork() { return g_lastWork; }
}  // namespace vantrel::qr

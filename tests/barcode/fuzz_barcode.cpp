// Random run lists straight into every symbology decoder (strict and
// robust), the same bytes as a line's samples through the run measures, and
// random small pictures, ranges and scan arguments through both entry points:
// nothing may crash, read outside its buffers or hang, and the search's runs
// must be those of the plain threshold measure.
//
// Input: byte 0 chooses the target (even: run lists, odd: a picture).
//   Run lists: bytes 1-3 the parameters (bit 7 of byte 1: the robust reading;
//   of byte 1 also the run mode), then one width per byte (v / 8, or for
//   v >= 240 a special value: 0, NaN, infinity, -1, 1e30, 1e-30, ...); the
//   same bytes are a line's samples.
//   Picture: bytes 1-12 size, depth, scan arguments and range; the rest the
//   pixel bytes, repeated.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "barcode/src/bcd_decoder.h"
#include "barcode/src/edges.h"
#include "barcode/src/robust.h"
#include "barcode/src/run_widths.h"
#include "barcode/src/wide_kernels.h"
#include "vantrel/OvoBcd.h"
#include "vantrel/dib.h"

namespace {

using vantrel::bcd::BcdDecoder;

uint8_t At(const uint8_t* data, size_t size, size_t i) { return i < size ? data[i] : 0; }

float Width(uint8_t v) {
  if (v < 240) return static_cast<float>(v) / 8.0f;
  switch (v) {
    case 240: return 0.0f;
    case 241: return std::numeric_limits<float>::quiet_NaN();
    case 242: return std::numeric_limits<float>::infinity();
    case 243: return -1.0f;
    case 244: return 1e30f;
    case 245: return 1e-30f;
    case 246: return -std::numeric_limits<float>::infinity();
    default: return static_cast<float>(v - 240) * 100.0f;
  }
}

OvoBcdParams ParamsFrom(uint8_t a, uint8_t b, uint8_t c) {
  const int32_t lo = static_cast<int32_t>(b % 64) - 4;
  const int32_t hi = static_cast<int32_t>(c % 64) - 4;
  const int32_t check = (a >> 6) & 1;
  return OvoBcdParams{a & 1,  (a >> 1) & 1, (a >> 2) & 1, lo,    hi, check, (a >> 3) & 1, lo, hi,
                      check, (a >> 4) & 1, lo,           hi,    check,     (a >> 5) & 1, lo, hi, (a >> 7) & 1};
}

void FuzzRuns(const uint8_t* data, size_t size) {
  const OvoBcdParams params = ParamsFrom(At(data, size, 1), At(data, size, 2), At(data, size, 3));
  std::vector<float> widths;
  for (size_t i = 4; i < size && widths.size() < 600; ++i) widths.push_back(Width(data[i]));
  // Light first; an even count ends dark. Lists of exactly the promised size.
  const int32_t darks = static_cast<int32_t>(widths.size() / 2);
  const int32_t k = (!widths.empty() && widths.size() % 2 == 0) ? darks - 1 : darks;
  std::vector<float> S(static_cast<size_t>(k) + 3, 0.0f), B(static_cast<size_t>(k) + 2, 0.0f);
  for (size_t i = 0; i < widths.size(); ++i) (i % 2 == 0 ? S : B)[i / 2] = widths[i];
  using Fn = int32_t (*)(BcdDecoder&, int32_t);
  const Fn decoders[] = {vantrel::bcd::DecodeJan8,    vantrel::bcd::DecodeJan13,  vantrel::bcd::DecodeItf,
                         vantrel::bcd::DecodeCode39,  vantrel::bcd::DecodeCode128, vantrel::bcd::DecodeNw7,
                         vantrel::bcd::RobustJan8,    vantrel::bcd::RobustJan13,  vantrel::bcd::RobustItf,
                         vantrel::bcd::RobustCode39,  vantrel::bcd::RobustCode128, vantrel::bcd::RobustNw7};
  for (Fn fn : decoders) {
    std::vector<float> s = S, b = B;
    BcdDecoder d(params);
    d.spaces = s.data();
    d.bars = b.data();
    if (fn(d, k)) {
      if (d.length < 0 || d.length > OVOBCD_MAX_TEXT || d.text[OVOBCD_MAX_TEXT] != '\0') __builtin_trap();
    }
  }
  {
    std::vector<float> s = S, b = B;
    BcdDecoder d(params);
    d.spaces = s.data();
    d.bars = b.data();
    vantrel::bcd::DecodeRunsRobust(d, static_cast<int32_t>(widths.size()), k);
  }
  BcdDecoder d(params);
  d.spaces = S.data();
  d.bars = B.data();
  vantrel::bcd::DecodeRuns(d, static_cast<int32_t>(widths.size()), k);

  // The same bytes as the grey samples of a line: the runs from its edges stay
  // inside their lists, and the search's fast run measure gives the plain
  // threshold measure's runs.
  const int32_t n = static_cast<int32_t>(size > 4 ? std::min<size_t>(size - 4, 600) : 0);
  std::vector<uint8_t> store(static_cast<size_t>(n) + 2 * vantrel::bcd::EdgeRuns::kPadding);
  uint8_t* g = store.data() + vantrel::bcd::EdgeRuns::kPadding;
  if (n > 0) std::memcpy(g, data + 4, static_cast<size_t>(n));
  std::vector<float> es(static_cast<size_t>(vantrel::bcd::SpaceListSize(n)));
  std::vector<float> eb(static_cast<size_t>(vantrel::bcd::BarListSize(n)));
  vantrel::bcd::EdgeRuns edges;
  edges.Reserve(n);
  const int32_t ke = edges.Measure(g, n, es.data(), eb.data());
  if (ke < 0 || ke > n / 2) __builtin_trap();
  // The portable loops find the same edges as the wide ones.
  {
    std::vector<float> ps(es.size()), pb(eb.size());
    vantrel::bcd::SetWideKernels(false);
    const int32_t kp = edges.Measure(g, n, ps.data(), pb.data());
    vantrel::bcd::SetWideKernels(true);
    if (kp != ke || std::memcmp(ps.data(), es.data(), sizeof(float) * static_cast<size_t>(ke + 3)) != 0 ||
        std::memcmp(pb.data(), eb.data(), sizeof(float) * static_cast<size_t>(ke + 2)) != 0)
      __builtin_trap();
  }
  int32_t lo = 255, hi = 0;
  for (int32_t i = 0; i < n; ++i) lo = std::min<int32_t>(lo, g[i]), hi = std::max<int32_t>(hi, g[i]);
  const int32_t t = (lo + hi) / 2;
  std::vector<float> qs(es.size()), qb(eb.size()), rs(es.size()), rb(eb.size());
  const bool binarize = At(data, size, 1) & 0x80;
  vantrel::bcd::Crossings room;
  room.Reserve(n);
  const int32_t kq = vantrel::bcd::MeasureRuns(g, n, t, binarize, qs.data(), qb.data(), (At(data, size, 1) & 0x40) ? &room : nullptr);
  std::vector<uint8_t> work(g, g + n);
  const int32_t kr = binarize ? vantrel::bcd::MeasureRunsBinarized(work.data(), n, t, rs.data(), rb.data())
                              : vantrel::bcd::MeasureRunsSubpixel(work.data(), n, t, rs.data(), rb.data());
  if (kq != kr) __builtin_trap();
  for (int32_t i = 0; i < kq + 3; ++i)
    if (std::memcmp(&qs[i], &rs[i], sizeof(float)) != 0) __builtin_trap();
  for (int32_t i = 0; i < kq + 2; ++i)
    if (std::memcmp(&qb[i], &rb[i], sizeof(float)) != 0) __builtin_trap();
}

int32_t Coordinate(uint8_t v) {
  switch (v) {
    case 0: return INT32_MIN;
    case 255: return INT32_MAX;
    default: return static_cast<int32_t>(v) - 64;
  }
}

void FuzzPicture(const uint8_t* data, size_t size) {
  const int32_t w = 1 + At(data, size, 1) % 80;
  const int32_t h = 1 + At(data, size, 2) % 80;
  const int32_t bytes = 1 + At(data, size, 3) % 4;  // 8, 16, 24 and 32 bits
  const int32_t levels = static_cast<int32_t>(At(data, size, 4) % 11) - 1;  // -1 .. 9
  static const double kAngles[] = {0,  180, 90, 45, 30, 10, 7.5, -1, 181,
                                   std::numeric_limits<double>::quiet_NaN(), 0.0005, 60, 17};
  const double angle = kAngles[At(data, size, 5) % (sizeof kAngles / sizeof kAngles[0])];
  const bool binarize = At(data, size, 6) & 1;
  const bool wholePicture = At(data, size, 6) & 2;
  const OvoBcdRange range{Coordinate(At(data, size, 7)), Coordinate(At(data, size, 8)),
                          Coordinate(At(data, size, 9)), Coordinate(At(data, size, 10))};
  const int32_t params = At(data, size, 11);

  DibImage pic = DibCreate(w, h, bytes, 4);
  if (!pic) return;
  uint8_t* bits = DibGetBits(pic);
  const size_t total = static_cast<size_t>(DibGetStride(pic)) * static_cast<size_t>(h);
  const size_t pixels = size > 12 ? size - 12 : 0;
  for (size_t i = 0; i < total; ++i) bits[i] = pixels ? data[12 + i % pixels] : 0;

  const OvoBcdParams p = ParamsFrom(static_cast<uint8_t>(params | 0x3f), 1, 48);
  // Dense searches over larger pictures are left to the guide call, which does
  // not sample: they would only make the batch slow.
  const int32_t decodeLevels = levels > 4 ? 4 : levels;
  int32_t pos[4], type, length;
  char text[OVOBCD_TEXT_BYTES];
  const int32_t st = OvoBcdDecode(pic, &p, wholePicture ? nullptr : &range, binarize, decodeLevels,
                                  angle, pos, &type, &length, text);
  if (st == 0 && (length < 0 || length > OVOBCD_MAX_TEXT || text[length] != '\0')) __builtin_trap();
  if (st == 0 && (pos[0] < 0 || pos[0] >= w || pos[1] < 0 || pos[1] >= h || pos[2] < 0 || pos[2] >= w ||
                  pos[3] < 0 || pos[3] >= h))
    __builtin_trap();
  DibFree(pic);

  int32_t count = 1 + At(data, size, 12) % 64;
  OvoBcdPoint starts[64], ends[64];
  const int32_t capacity = count;
  if (OvoBcdGetScanLines(&range, levels, angle, &count, starts, ends) == 0 && (count < 0 || count > capacity))
    __builtin_trap();
  int32_t all = INT32_MAX;
  OvoBcdGetScanLines(&range, levels, angle, &all, nullptr, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1) FuzzPicture(data, size);
  else FuzzRuns(data, size);
  return 0;
}

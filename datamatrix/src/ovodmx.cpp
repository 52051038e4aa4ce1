#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "datamatrix/src/dmx_internal.h"
#include "datamatrix/src/dmx_symbol.h"
#include "vantrel/OvoDmx.h"

namespace {

CDataMatCtrl* g_reader = nullptr;

constexpr auto kRelaxed = std::memory_order_relaxed;

// Doubles become pixel coordinates by truncation toward zero; lines that are
// almost parallel meet far outside any picture, so the values saturate.
int32_t TruncateToInt(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

enum class LineKind { kHorizontal, kVertical, kSlanted };

struct Line {
  LineKind kind;
  double x, y;  // the point the line goes through
  double m, c;  // slope and intercept of a slanted line
};

Line MakeLine(int32_t x, int32_t y, int32_t angle) {
  Line l{LineKind::kSlanted, static_cast<double>(x), static_cast<double>(y), 0.0, 0.0};
  if (angle == 0) {
    l.kind = LineKind::kHorizontal;
  } else if (angle == 90) {
    l.kind = LineKind::kVertical;
  } else {
    // Angles are counted counter-clockwise with y upward; in picture
    // coordinates (y downward) the slope changes its sign.
    l.m = std::tan((180.0 - angle) * M_PI / 180.0);
    l.c = l.y - l.m * l.x;
  }
  return l;
}

}  // namespace

namespace vantrel::dmx {

std::atomic<int64_t> g_libraryAttempts{0};
std::atomic<bool> g_libraryOnly{false};

bool CodewordsAreConsistent(int32_t rows, int32_t cols, const uint8_t* code, size_t codeSize) {
  const SymbolSize* size = FindSymbolSize(rows, cols);
  return size && CodewordsConsistent(*size, code, codeSize);
}

int32_t PlanWorkArea(const DibRect& stored, int32_t width, int32_t height, DibRect* out) {
  DibRect r = stored;
  if (r.left < 0 || r.top < 0 || r.right < 0 || r.bottom < 0 || r.left >= r.right ||
      r.top >= r.bottom) {
    return -3;
  }
  r.right = std::min(r.right, width - 1);
  r.bottom = std::min(r.bottom, height - 1);
  // An area that starts beyond the picture's last column or row covers nothing of it.
  if (r.left > r.right || r.top > r.bottom) return -3;
  *out = r;
  return 0;
}

int32_t FilterText(const uint8_t* bytes, size_t count, char* text, int32_t capacity,
                   int32_t* kept) {
  size_t n = 0;
  bool other = false;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t b = bytes[i];
    if (b == 0x0A || b == 0x0D || b == 0x1D || b == 0x1F || b == 0xFF) continue;
    if (b == 0x00 && i + 1 != count) continue;
    if (b != 0x00) other = true;
    ++n;
  }
  if (!other) return -2;
  if (!text || capacity < 1 || n > static_cast<size_t>(capacity) - 1) return -2;
  size_t o = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t b = bytes[i];
    if (b == 0x0A || b == 0x0D || b == 0x1D || b == 0x1F || b == 0xFF) continue;
    if (b == 0x00 && i + 1 != count) continue;
    text[o++] = static_cast<char>(b);
  }
  text[o] = '\0';
  if (kept) *kept = static_cast<int32_t>(n);
  return 0;
}

bool IntersectEdges(int32_t ax, int32_t ay, int32_t aAngle, int32_t bx, int32_t by, int32_t bAngle,
                    bool isP, int32_t tx, int32_t rx, OvoDmxPoint* out) {
  const Line a = MakeLine(ax, ay, aAngle);
  const Line b = MakeLine(bx, by, bAngle);
  // x when the division has no divisor.
  const double fallbackX = isP ? (a.kind == LineKind::kHorizontal ? tx : rx) : tx;
  double x = 0, y = 0;
  if (a.kind == b.kind && a.kind != LineKind::kSlanted) return false;
  if (a.kind == LineKind::kHorizontal && b.kind == LineKind::kVertical) {
    x = b.x;
    y = a.y;
  } else if (a.kind == LineKind::kVertical && b.kind == LineKind::kHorizontal) {
    x = a.x;
    y = b.y;
  } else if (a.kind == LineKind::kHorizontal || b.kind == LineKind::kHorizontal) {
    const Line& hz = a.kind == LineKind::kHorizontal ? a : b;
    const Line& sl = a.kind == LineKind::kHorizontal ? b : a;
    y = hz.y;
    x = sl.m != 0.0 ? (hz.y - sl.c) / sl.m : fallbackX;
  } else if (a.kind == LineKind::kVertical || b.kind == LineKind::kVertical) {
    const Line& vt = a.kind == LineKind::kVertical ? a : b;
    const Line& sl = a.kind == LineKind::kVertical ? b : a;
    x = vt.x;
    y = sl.c + sl.m * x;
  } else {
    // y comes from the exact x: on a steep line B a whole-pixel x would move
    // y by up to the slope (57 pixels at 89 degrees).
    const double dm = b.m - a.m;
    x = dm != 0.0 ? (a.c - b.c) / dm : fallbackX;
    y = b.c + b.m * x;
  }
  if (std::isnan(x) || std::isnan(y)) return false;
  out->x = TruncateToInt(x);
  out->y = TruncateToInt(y);
  return true;
}

}  // namespace vantrel::dmx

extern "C" {

int32_t OvoDmxInitialize(void) {
  if (g_reader) return 0;
  g_reader = new (std::nothrow) CDataMatCtrl();
  return g_reader ? 0 : -7;
}

void OvoDmxTerminate(void) {
  delete g_reader;
  g_reader = nullptr;
}

CDataMatCtrl* OvoDmxGetReader(void) { return g_reader; }

int32_t OvoDmxSetMaxTime(int32_t milliseconds) {
  if (!g_reader) return -8;
  if (milliseconds <= 0) return -1;
  g_reader->maxTime.store(milliseconds, kRelaxed);
  return 0;
}

int32_t OvoDmxGetMaxTime(int32_t* milliseconds) {
  if (!g_reader) return -8;
  if (milliseconds) *milliseconds = g_reader->maxTime.load(kRelaxed);
  return 0;
}

int32_t OvoDmxSetThreshold(int32_t threshold) {
  if (!g_reader) return -8;
  if (static_cast<uint32_t>(threshold) > 255u) return -1;
  g_reader->threshold.store(threshold, kRelaxed);
  return 0;
}

int32_t OvoDmxGetThreshold(int32_t* threshold) {
  if (!g_reader) return -8;
  const int32_t v = g_reader->threshold.load(kRelaxed);
  if (static_cast<uint32_t>(v) > 255u) return -1;
  if (threshold) *threshold = v;
  return 0;
}

int32_t OvoDmxSetRadius(double radius) {
  if (!g_reader) return -8;
  if (!(radius >= 0.1 && radius <= 120.0)) return -1;
  g_reader->radius.store(radius, kRelaxed);
  return 0;
}

int32_t OvoDmxGetRadius(double* radius) {
  if (!g_reader) return -8;
  const double v = g_reader->radius.load(kRelaxed);
  if (!(v >= 0.1 && v <= 120.0)) return -1;
  if (radius) *radius = v;
  return 0;
}

int32_t OvoDmxSetAmount(double amount) {
  if (!g_reader) return -8;
  if (!(amount >= 0.0 && amount <= 10.0)) return -1;
  g_reader->amount.store(amount, kRelaxed);
  return 0;
}

int32_t OvoDmxGetAmount(double* amount) {
  if (!g_reader) return -8;
  const double v = g_reader->amount.load(kRelaxed);
  if (!(v >= 0.0 && v <= 10.0)) return -1;
  if (amount) *amount = v;
  return 0;
}

int32_t OvoDmxSetArea(const DibRect* area) {
  if (!g_reader) return -8;
  if (!area) return -1;
  const DibRect r = *area;
  if (r.left < 0 || r.top < 0 || r.right < 0 || r.bottom < 0 || r.left >= r.right ||
      r.top >= r.bottom) {
    return -1;
  }
  g_reader->areaLeft.store(r.left, kRelaxed);
  g_reader->areaTop.store(r.top, kRelaxed);
  g_reader->areaRight.store(r.right, kRelaxed);
  g_reader->areaBottom.store(r.bottom, kRelaxed);
  return 0;
}

int32_t OvoDmxGetArea(DibRect* area) {
  if (!g_reader) return -8;
  if (!area) return -1;
  *area = g_reader->Area();
  return 0;
}

int64_t OvoDmxLibraryAttempts(void) { return vantrel::dmx::g_libraryAttempts.load(); }

int32_t OvoDmxDecode(CDataMatCtrl* reader, DibImage image, char* text, int32_t capacity) {
  if (!reader) return -8;
  COvoDmtx* session = new (std::nothrow) COvoDmtx();
  if (!session) return -1;
  const int32_t status = session->Decode(reader, image, text, capacity);
  delete session;
  return status;
}

int32_t OvoDmxSetFullSearch(int32_t on) {
  if (!g_reader) return -8;
  if (on != 0 && on != 1) return -1;
  g_reader->fullSearch.store(on, kRelaxed);
  return 0;
}

int32_t OvoDmxGetFullSearch(int32_t* on) {
  if (!g_reader) return -8;
  if (on) *on = g_reader->fullSearch.load(kRelaxed);
  return 0;
}

int32_t OvoDmxGetBytes(uint8_t* bytes, int32_t capacity, int32_t* length) {
  if (!g_reader) return -8;
  if (!g_reader->decoded) return -1;
  const size_t n = g_reader->bytes.size();
  if (length) *length = static_cast<int32_t>(n);
  if (!bytes) return 0;
  if (capacity < 0 || n > static_cast<size_t>(capacity)) return -2;
  if (n > 0) std::memcpy(bytes, g_reader->bytes.data(), n);
  return 0;
}

int32_t OvoDmxGetSymbolInfo(OvoDmxSymbolInfo* info) {
  if (!g_reader) return -8;
  if (!g_reader->decoded) return -1;
  if (info) *info = g_reader->info;
  return 0;
}

int32_t OvoDmxGetCorners(OvoDmxPoint* top, OvoDmxPoint* right, OvoDmxPoint* p, OvoDmxPoint* q) {
  using vantrel::dmx::IntersectEdges;
  if (!g_reader) return -8;
  const DmxEdgeLine t = g_reader->top, r = g_reader->right;
  const DmxEdgeLine l = g_reader->left, b = g_reader->bottom;
  if (top) *top = OvoDmxPoint{t.x, t.y};
  if (right) *right = OvoDmxPoint{r.x, r.y};
  OvoDmxPoint cp{}, cq{};
  if (!IntersectEdges(r.x, r.y, r.angle, t.x, t.y, t.angle, true, t.x, r.x, &cp)) return -1;
  if (p) *p = cp;
  if (!IntersectEdges(t.x, t.y, l.angle, r.x, r.y, b.angle, false, t.x, r.x, &cq)) return -1;
  if (q) *q = cq;
  return 0;
}

}  // extern "C"

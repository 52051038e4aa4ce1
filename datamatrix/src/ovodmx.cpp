#include <dmtx.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "datamatrix/src/dmx_internal.h"
#include "vantrel/OvoDmx.h"

namespace {

CDataMatCtrl* g_reader = nullptr;

constexpr auto kRelaxed = std::memory_order_relaxed;

// Owners of the libdmtx objects of one decode, so that every way out releases them.
struct ImageGuard {
  DmtxImage* p = nullptr;
  ~ImageGuard() {
    if (p) dmtxImageDestroy(&p);
  }
};
struct DecodeGuard {
  DmtxDecode* p = nullptr;
  ~DecodeGuard() {
    if (p) dmtxDecodeDestroy(&p);
  }
};
struct RegionGuard {
  DmtxRegion* p = nullptr;
  ~RegionGuard() {
    if (p) dmtxRegionDestroy(&p);
  }
};
struct MessageGuard {
  DmtxMessage* p = nullptr;
  ~MessageGuard() {
    if (p) dmtxMessageDestroy(&p);
  }
};
struct DibGuard {
  DibImage p = nullptr;
  ~DibGuard() { DibFree(p); }
};

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

// Reed-Solomon check of the corrected codewords. The region search can take
// a badly sampled symbol for a valid one and hand out its uncorrected bytes;
// a symbol whose codewords are not a code word of its size is not a read.
struct SymbolSize {
  int32_t rows, cols, dataWords, ecWords, blocks;
};
constexpr SymbolSize kSizes[] = {
    {10, 10, 3, 5, 1},       {12, 12, 5, 7, 1},       {14, 14, 8, 10, 1},
    {16, 16, 12, 12, 1},     {18, 18, 18, 14, 1},     {20, 20, 22, 18, 1},
    {22, 22, 30, 20, 1},     {24, 24, 36, 24, 1},     {26, 26, 44, 28, 1},
    {32, 32, 62, 36, 1},     {36, 36, 86, 42, 1},     {40, 40, 114, 48, 1},
    {44, 44, 144, 56, 1},    {48, 48, 174, 68, 1},    {52, 52, 204, 84, 2},
    {64, 64, 280, 112, 2},   {72, 72, 368, 144, 4},   {80, 80, 456, 192, 4},
    {88, 88, 576, 224, 4},   {96, 96, 696, 272, 4},   {104, 104, 816, 336, 6},
    {120, 120, 1050, 408, 6}, {132, 132, 1304, 496, 8}, {144, 144, 1558, 620, 10},
    {8, 18, 5, 7, 1},        {8, 32, 10, 11, 1},      {12, 26, 16, 14, 1},
    {12, 36, 22, 18, 1},     {16, 36, 32, 24, 1},     {16, 48, 49, 28, 1},
};

struct Gf256 {
  uint8_t exp[512];
  uint8_t log[256];
  Gf256() {
    int x = 1;
    for (int i = 0; i < 255; ++i) {
      exp[i] = static_cast<uint8_t>(x);
      log[x] = static_cast<uint8_t>(i);
      x <<= 1;
      if (x & 0x100) x ^= 0x12D;
    }
    for (int i = 255; i < 512; ++i) exp[i] = exp[i - 255];
    log[0] = 0;
  }
  uint8_t Mul(uint8_t a, uint8_t b) const {
    return (a == 0 || b == 0) ? 0 : exp[log[a] + log[b]];
  }
};

bool CheckCodewords(int32_t rows, int32_t cols, const uint8_t* code, size_t codeSize) {
  static const Gf256 gf;
  const SymbolSize* size = nullptr;
  for (const SymbolSize& s : kSizes)
    if (s.rows == rows && s.cols == cols) size = &s;
  if (!size || !code) return false;
  const size_t total = static_cast<size_t>(size->dataWords + size->ecWords);
  if (codeSize != total) return false;
  const int32_t blocks = size->blocks, ecPerBlock = size->ecWords / blocks;
  // Codeword i of the data (and of the check words) belongs to block i mod blocks.
  for (int32_t b = 0; b < blocks; ++b) {
    for (int32_t r = 1; r <= ecPerBlock; ++r) {
      const uint8_t root = gf.exp[r];
      uint8_t syndrome = 0;
      for (int32_t i = b; i < size->dataWords; i += blocks) syndrome = gf.Mul(syndrome, root) ^ code[i];
      for (int32_t i = b; i < size->ecWords; i += blocks)
        syndrome = gf.Mul(syndrome, root) ^ code[size->dataWords + i];
      if (syndrome != 0) return false;
    }
  }
  return true;
}

}  // namespace

namespace vantrel::dmx {

bool CodewordsAreConsistent(int32_t rows, int32_t cols, const uint8_t* code, size_t codeSize) {
  return CheckCodewords(rows, cols, code, codeSize);
}

int32_t PlanWorkArea(const DibRect& stored, int32_t width, int32_t height, WorkArea* out) {
  DibRect r = stored;
  if (r.left < 0 || r.top < 0 || r.right < 0 || r.bottom < 0 || r.left >= r.right ||
      r.top >= r.bottom) {
    return -3;
  }
  r.right = std::min(r.right, width - 1);
  r.bottom = std::min(r.bottom, height - 1);
  // An area that starts beyond the picture's last column or row covers nothing of it.
  if (r.left > r.right || r.top > r.bottom) return -3;
  r.right -= (r.right - r.left + 1) % 4;
  if (r.right < r.left) return -1;
  out->rect = r;
  out->crop = !(r.left == 0 && r.top == 0 && r.right == width - 1 && r.bottom == height - 1);
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

int32_t COvoDmtx::Decode(CDataMatCtrl* reader, DibImage image, char* text, int32_t capacity) {
  using namespace vantrel::dmx;
  if (!image) return -1;
  const int32_t width = DibGetWidth(image), height = DibGetHeight(image);
  WorkArea work;
  const int32_t planned = PlanWorkArea(reader->Area(), width, height, &work);
  if (planned != 0) return planned;

  DibGuard cropped;
  DibImage picture = image;
  int32_t dx = 0, dy = 0;
  if (work.crop) {
    cropped.p = DibCrop(image, &work.rect);
    if (!cropped.p) return -1;
    picture = cropped.p;
    dx = work.rect.left;
    dy = work.rect.top;
  }

  const int32_t limit = std::min(reader->maxTime.load(kRelaxed), kMaxTimeLimit);
  DmtxTime timeout = dmtxTimeAdd(dmtxTimeNow(), limit);

  int pack = 0;
  switch (DibGetBitCount(picture)) {
    case 8: pack = DmtxPack8bppK; break;
    case 24: pack = DmtxPack24bppRGB; break;
    default: return -1;
  }
  const int32_t w = DibGetWidth(picture), h = DibGetHeight(picture);
  if (w < 1 || h < 1) return -1;
  ImageGuard img;
  img.p = dmtxImageCreate(DibGetBits(picture), w, h, pack);
  if (!img.p) return -1;
  // The rows are stored top line first with no padding: the width is a multiple of 4.
  dmtxImageSetProp(img.p, DmtxPropImageFlip, DmtxFlipNone);
  dmtxImageSetProp(img.p, DmtxPropRowPadBytes, 0);

  DecodeGuard dec;
  dec.p = dmtxDecodeCreate(img.p, 1);
  if (!dec.p) return -1;

  RegionGuard reg;
  reg.p = dmtxRegionFindNext(dec.p, &timeout);
  if (!reg.p) return -1;

  int32_t status = 0;
  {
    MessageGuard msg;
    msg.p = dmtxDecodeMatrixRegion(dec.p, reg.p, DmtxUndefined);
    if (!msg.p) return -2;
    if (!CodewordsAreConsistent(reg.p->symbolRows, reg.p->symbolCols, msg.p->code, msg.p->codeSize))
      return -2;
    // The decoded bytes, not the codewords: a text of digits is longer than
    // the symbol's codeword count.
    size_t count = msg.p->outputIdx > 0 ? static_cast<size_t>(msg.p->outputIdx) : 0;
    count = std::min(count, msg.p->outputSize);
    status = FilterText(msg.p->output, count, text, capacity, nullptr);
  }
  if (status != 0) return status;

  // The search counts y upward from the bottom row; row H - 1 - y is its line.
  auto store = [&](DmxEdgeLine* e, const DmtxPixelLoc& loc, int angle) {
    e->x = loc.X + dx;
    e->y = h - 1 - loc.Y + dy;
    e->angle = angle;
  };
  store(&reader->left, reg.p->leftLoc, reg.p->leftAngle);
  store(&reader->top, reg.p->topLoc, reg.p->topAngle);
  store(&reader->right, reg.p->rightLoc, reg.p->rightAngle);
  store(&reader->bottom, reg.p->bottomLoc, reg.p->bottomAngle);
  return 0;
}

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

int32_t OvoDmxDecode(CDataMatCtrl* reader, DibImage image, char* text, int32_t capacity) {
  if (!reader) return -8;
  COvoDmtx* session = new (std::nothrow) COvoDmtx();
  if (!session) return -1;
  const int32_t status = session->Decode(reader, image, text, capacity);
  delete session;
  return status;
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

// One decode: the working picture, the finder's candidates in scan order, and
// for each our own sampling, placement and correction from the finder's
// corners (a fraction of the library's cost), then the Data Matrix library's
// sampling and correction from the same corners with a few sub-pixel corner
// offsets, and the mirror reading of a square. Sizes the library has no table
// for, or reads wrongly (the rectangular extensions, 144 x 144), are read by
// our own alone, at the same corner offsets. The library's exhaustive region
// search is the last resort, around the candidates that did not decode and,
// when asked, over the whole area for the rest of the time limit.
#include <dmtx.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

#include "datamatrix/src/dmx_codewords.h"
#include "datamatrix/src/dmx_finder.h"
#include "datamatrix/src/dmx_image.h"
#include "datamatrix/src/dmx_internal.h"
#include "datamatrix/src/dmx_symbol.h"
#include "vantrel/OvoDmx.h"

namespace vantrel::dmx {

namespace {

// Areas this wide or wider are searched at half size first.
constexpr int32_t kHalfSizeFrom = 1280;
// Candidates tried per pass: a busy picture cannot hold up the frame.
constexpr int32_t kMaxCandidates = 24;
// Failed candidates around which the library's region search looks, and
// regions it may offer there.
constexpr size_t kMaxSearchBoxes = 3;
constexpr int32_t kMaxRegionsPerBox = 3;
// The search of one box stops after this long: the library tests every
// pixel, about 2 ms per 1000 pixels.
constexpr auto kMaxBoxSearch = std::chrono::milliseconds(30);

// Corner offsets tried from the finder's corners: the corners themselves,
// the quad half a pixel larger and smaller, and shifted by half a pixel.
struct CornerOffset {
  double dx, dy, grow;
};
constexpr CornerOffset kCornerOffsets[] = {{0, 0, 0},    {0, 0, 0.5},  {0, 0, -0.5}, {0.5, 0, 0},
                                           {-0.5, 0, 0}, {0, 0.5, 0},  {0, -0.5, 0}};

// The library's objects, owned: each goes through its own destroy call,
// which takes the pointer's address.
template <typename T, DmtxPassFail (*Destroy)(T**)>
struct DmtxDeleter {
  void operator()(T* p) const { Destroy(&p); }
};
template <typename T, DmtxPassFail (*Destroy)(T**)>
using DmtxPtr = std::unique_ptr<T, DmtxDeleter<T, Destroy>>;
using ImagePtr = DmtxPtr<DmtxImage, dmtxImageDestroy>;
using DecodePtr = DmtxPtr<DmtxDecode, dmtxDecodeDestroy>;
using RegionPtr = DmtxPtr<DmtxRegion, dmtxRegionDestroy>;
using MessagePtr = DmtxPtr<DmtxMessage, dmtxMessageDestroy>;

double CrossOf(const Quad& q) {
  return (q.p10.x - q.p00.x) * (q.p01.y - q.p00.y) - (q.p10.y - q.p00.y) * (q.p01.x - q.p00.x);
}

Quad MirrorQuad(const Quad& q) { return Quad{q.p00, q.p01, q.p11, q.p10}; }

Quad Offset(const Quad& q, const CornerOffset& o) {
  const double cx = (q.p00.x + q.p10.x + q.p11.x + q.p01.x) / 4;
  const double cy = (q.p00.y + q.p10.y + q.p11.y + q.p01.y) / 4;
  auto move = [&](PointF p) {
    const double ux = p.x - cx, uy = p.y - cy, l = std::sqrt(ux * ux + uy * uy);
    const double g = l > 0 ? o.grow * std::sqrt(2.0) / l : 0;
    return PointF{p.x + o.dx + ux * g, p.y + o.dy + uy * g};
  };
  return Quad{move(q.p00), move(q.p10), move(q.p11), move(q.p01)};
}

struct Read {
  Message message;
  Quad quad;  // working-picture pixels
  const SymbolSize* size = nullptr;
  bool inverted = false;
};

class Session {
 public:
  Session(GreyImage* grey, const Deadline& deadline) : grey_(grey), deadline_(deadline) {}

  // 0 read; -2 the symbol's codewords hold no valid message; -1 nothing read.
  int32_t TryCandidate(const Candidate& c, Read* out) {
    const int32_t readings = c.ambiguous ? 2 : 1;
    for (int32_t reading = 0; reading < readings; ++reading) {
      const Quad base = reading == 0 ? c.quad : MirrorQuad(c.quad);
      const SymbolSize& size = *c.size;
      const bool library = size.libraryIndex >= 0 && size.rows != 144;
      // Our own sampling costs a fraction of the library's: it goes first.
      if (library && !g_libraryOnly.load(std::memory_order_relaxed)) {
        const int32_t st = OwnDecode(base, size, c.inverted, &out->message);
        if (st == 0) {
          out->quad = base;
          out->size = &size;
          out->inverted = c.inverted;
        }
        if (st != -1) return st;
      }
      for (const CornerOffset& o : kCornerOffsets) {
        if (deadline_.Passed()) return -1;
        const Quad q = Offset(base, o);
        const int32_t st = library ? LibraryDecode(q, size, c.inverted, c.onLevel, c.offLevel, &out->message)
                                   : OwnDecode(q, size, c.inverted, &out->message);
        if (st == -1) continue;
        if (st == 0) {
          out->quad = q;
          out->size = &size;
          out->inverted = c.inverted;
        }
        return st;
      }
    }
    return -1;
  }

  // The library's region search over a box of the working picture (null: all
  // of it) until a region reads, maxRegions regions were offered or the
  // deadline (the decode's or an earlier one) passes. 0 read; -2 a region
  // whose codewords hold no valid message; -1 nothing.
  int32_t SearchRegions(const DibRect* box, int32_t maxRegions, const Deadline& until, Read* out) {
    DmtxDecode* dec = Decoder(false);
    if (!dec) return -1;
    const int32_t W = grey_->width, H = grey_->height;
    DibRect r = box ? *box : DibRect{0, 0, W - 1, H - 1};
    r.left = std::clamp(r.left, 0, W - 1);
    r.right = std::clamp(r.right, 0, W - 1);
    r.top = std::clamp(r.top, 0, H - 1);
    r.bottom = std::clamp(r.bottom, 0, H - 1);
    // Any size; the library counts y upward from the bottom row.
    dmtxDecodeSetProp(dec, DmtxPropSymbolSize, DmtxSymbolShapeAuto);
    dmtxDecodeSetProp(dec, DmtxPropXmin, r.left);
    dmtxDecodeSetProp(dec, DmtxPropXmax, r.right);
    dmtxDecodeSetProp(dec, DmtxPropYmin, H - 1 - r.bottom);
    dmtxDecodeSetProp(dec, DmtxPropYmax, H - 1 - r.top);
    int32_t status = -1;
    for (int32_t i = 0; i < maxRegions; ++i) {
      const auto left = std::min(deadline_.at, until.at) - std::chrono::steady_clock::now();
      const long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(left).count());
      if (ms <= 0) break;
      DmtxTime timeout = dmtxTimeAdd(dmtxTimeNow(), ms);
      ++g_libraryAttempts;
      const RegionPtr reg(dmtxRegionFindNext(dec, &timeout));
      if (!reg) break;
      const SymbolSize* size = FindSymbolSize(reg->symbolRows, reg->symbolCols);
      if (!size || size->rows == 144) continue;
      ++g_libraryAttempts;
      const MessagePtr msg(dmtxDecodeMatrixRegion(dec, reg.get(), DmtxUndefined));
      if (!msg || !CodewordsConsistent(*size, msg->code, msg->codeSize)) {
        status = -2;
        continue;
      }
      if (InterpretCodewords(msg->code, static_cast<size_t>(size->dataWords), &out->message) != 0) return -2;
      // The region's corners through its fitted grid.
      auto corner = [&](double u, double v) {
        DmtxVector2 p{u, v};
        dmtxMatrix3VMultiplyBy(&p, reg->fit2raw);
        return PointF{p.X, static_cast<double>(H - 1) - p.Y};
      };
      out->quad = Quad{corner(0, 0), corner(1, 0), corner(1, 1), corner(0, 1)};
      out->size = size;
      out->inverted = reg->offColor < reg->onColor;
      return 0;
    }
    return status;
  }

 private:
  // The library's view of the working picture: as is (y upward from the
  // bottom row) or turned upside down for mirrored readings, whose corners
  // go round the other way.
  DmtxDecode* Decoder(bool flipped) {
    const int32_t k = flipped ? 1 : 0;
    if (dec_[k]) return dec_[k].get();
    img_[k].reset(dmtxImageCreate(grey_->pixels.data(), grey_->width, grey_->height, DmtxPack8bppK));
    if (!img_[k]) return nullptr;
    // The working copy has no bytes beyond its pixels in a row; say so all the same.
    dmtxImageSetProp(img_[k].get(), DmtxPropRowPadBytes, 0);
    dmtxImageSetProp(img_[k].get(), DmtxPropImageFlip, flipped ? DmtxFlipY : DmtxFlipNone);
    dec_[k].reset(dmtxDecodeCreate(img_[k].get(), 1));
    return dec_[k].get();
  }

  int32_t LibraryDecode(const Quad& q, const SymbolSize& size, bool inverted, double on, double off,
                        Message* message) {
    const bool flipped = CrossOf(q) > 0;
    DmtxDecode* dec = Decoder(flipped);
    if (!dec) return -1;
    const double H = grey_->height;
    auto lib = [&](PointF p) {
      DmtxVector2 v;
      v.X = p.x;
      v.Y = flipped ? p.y : H - 1 - p.y;
      return v;
    };
    dmtxDecodeSetProp(dec, DmtxPropSymbolSize, size.libraryIndex);
    DmtxRegion reg;
    std::memset(&reg, 0, sizeof reg);
    if (dmtxRegionUpdateCorners(dec, &reg, lib(q.p00), lib(q.p10), lib(q.p11), lib(q.p01)) != DmtxPass) return -1;
    const int32_t idx = size.libraryIndex;
    reg.sizeIdx = idx;
    reg.symbolRows = dmtxGetSymbolAttribute(DmtxSymAttribSymbolRows, idx);
    reg.symbolCols = dmtxGetSymbolAttribute(DmtxSymAttribSymbolCols, idx);
    reg.mappingRows = dmtxGetSymbolAttribute(DmtxSymAttribMappingMatrixRows, idx);
    reg.mappingCols = dmtxGetSymbolAttribute(DmtxSymAttribMappingMatrixCols, idx);
    if (reg.symbolRows != size.rows || reg.symbolCols != size.cols) return -1;
    reg.onColor = static_cast<int>(std::lround(on));
    reg.offColor = static_cast<int>(std::lround(off));
    reg.flowBegin.plane = 0;
    reg.polarity = inverted ? -1 : 1;
    ++g_libraryAttempts;
    const MessagePtr msg(dmtxDecodeMatrixRegion(dec, &reg, DmtxUndefined));
    // The library hands out symbols it could not correct: only code words count.
    if (!msg || !CodewordsConsistent(size, msg->code, msg->codeSize)) return -1;
    return InterpretCodewords(msg->code, static_cast<size_t>(size.dataWords), message) == 0 ? 0 : -2;
  }

  int32_t OwnDecode(const Quad& q, const SymbolSize& size, bool inverted, Message* message) {
    ModuleGrid grid;
    if (!SampleModules(*grey_, q, size, inverted, &grid)) return -1;
    std::vector<uint8_t> words = ReadCodewords(grid, size);
    int32_t corrected = 0;
    if (!CorrectCodewords(size, words.data(), words.size(), &corrected)) return -1;
    return InterpretCodewords(words.data(), static_cast<size_t>(size.dataWords), message) == 0 ? 0 : -2;
  }

  GreyImage* grey_;
  const Deadline& deadline_;
  ImagePtr img_[2];
  DecodePtr dec_[2];
};

// Degrees counter-clockwise from the x axis with y upward, as the outline's
// edge lines take them.
int32_t AngleOf(PointF a, PointF b) {
  const double deg = std::atan2(-(b.y - a.y), b.x - a.x) * 180.0 / M_PI;
  int32_t v = static_cast<int32_t>(std::lround(deg));
  v %= 360;
  return v < 0 ? v + 360 : v;
}

// A corner moved half a pixel into the symbol and rounded: the outer edge of
// a crisp upright symbol lies half a pixel outside its outermost pixels.
DmxEdgeLine EdgePoint(PointF corner, PointF centre, int32_t angle) {
  const double x = corner.x + (centre.x > corner.x ? 0.5 : -0.5);
  const double y = corner.y + (centre.y > corner.y ? 0.5 : -0.5);
  auto clampInt = [](double v) {
    if (!(v > INT32_MIN)) return INT32_MIN;
    if (!(v < INT32_MAX)) return INT32_MAX;
    return static_cast<int32_t>(std::floor(v + 0.5));
  };
  return DmxEdgeLine{clampInt(x), clampInt(y), angle};
}

// The big buffers of a decode, kept from one frame to the next on each
// thread: fresh ones would cost page faults and clearing every frame.
struct Workspace {
  GreyImage grey, half;
  Binarized bin, halfBin;
  std::vector<uint8_t> visited;
};

Workspace& ThreadWorkspace() {
  thread_local Workspace workspace;
  return workspace;
}

}  // namespace

}  // namespace vantrel::dmx

int32_t COvoDmtx::Decode(CDataMatCtrl* reader, DibImage image, char* text, int32_t capacity) {
  using namespace vantrel::dmx;
  const auto start = std::chrono::steady_clock::now();
  if (!image) return -1;
  const DibView v = DibGetView(image);
  DibRect rect;
  const int32_t planned = PlanWorkArea(reader->Area(), v.width, v.height, &rect);
  if (planned != 0) return planned;
  if (v.bitCount != 8 && v.bitCount != 24) return -1;
  const int32_t limit = std::min(reader->maxTime.load(std::memory_order_relaxed), kMaxTimeLimit);
  Deadline deadline;
  deadline.at = start + std::chrono::milliseconds(limit);

  Workspace& ws = ThreadWorkspace();
  GreyImage& grey = ws.grey;
  if (!MakeWorkingGrey(v, rect, &grey)) return -1;
  Session session(&grey, deadline);
  Read read;
  int32_t status = -1;
  bool done = false;
  std::vector<Candidate> failed;
  auto attempt = [&](const Candidate& c) {
    const int32_t st = session.TryCandidate(c, &read);
    if (st == 0) {
      done = true;
    } else {
      status = -2;
      failed.push_back(c);
    }
  };

  // Large frames: symbols big enough to be seen at half size are found at a
  // quarter of the work; their corners are fitted again at full size.
  const bool halved = rect.right - rect.left + 1 >= kHalfSizeFrom;
  if (halved) {
    GreyImage& half = ws.half;
    Binarized& bin = ws.halfBin;
    if (HalveGrey(grey, &half) && Binarize(half, &bin)) {
      Finder finder(half, bin, &ws.visited);
      Candidate c;
      for (int32_t tried = 0; !done && tried < kMaxCandidates && finder.Next(&c, deadline); ++tried) {
        auto up = [](PointF p) { return PointF{2 * p.x + 0.5, 2 * p.y + 0.5}; };
        c.quad = Quad{up(c.quad.p00), up(c.quad.p10), up(c.quad.p11), up(c.quad.p01)};
        c.box = DibRect{2 * c.box.left, 2 * c.box.top, 2 * c.box.right + 1, 2 * c.box.bottom + 1};
        Quad q = c.quad;
        for (int32_t pass = 0; pass < 2 && RefineQuad(grey, *c.size, c.inverted, &q); ++pass) c.quad = q;
        attempt(c);
      }
    }
  }
  if (!done && (!halved || !deadline.Passed())) {
    Binarized& bin = ws.bin;
    if (Binarize(grey, &bin)) {
      Finder finder(grey, bin, &ws.visited);
      Candidate c;
      for (int32_t tried = 0; !done && tried < kMaxCandidates && finder.Next(&c, deadline); ++tried) attempt(c);
    }
  }
  if (!done) {
    std::stable_sort(failed.begin(), failed.end(),
                     [](const Candidate& a, const Candidate& b) { return a.score > b.score; });
    for (size_t i = 0; !done && i < failed.size() && i < kMaxSearchBoxes && !deadline.Passed(); ++i) {
      DibRect box = failed[i].box;
      const int32_t mx = (box.right - box.left) / 4 + 2, my = (box.bottom - box.top) / 4 + 2;
      box = DibRect{box.left - mx, box.top - my, box.right + mx, box.bottom + my};
      Deadline boxLimit;
      boxLimit.at = std::chrono::steady_clock::now() + kMaxBoxSearch;
      const int32_t st = session.SearchRegions(&box, kMaxRegionsPerBox, boxLimit, &read);
      if (st == 0) done = true;
    }
  }
  if (!done && reader->fullSearch.load(std::memory_order_relaxed) != 0 && !deadline.Passed()) {
    const int32_t st = session.SearchRegions(nullptr, INT_MAX, deadline, &read);
    if (st == 0) done = true;
    else if (st == -2) status = -2;
  }
  if (!done) return status;

  const std::string& bytes = read.message.bytes;
  const int32_t filtered =
      FilterText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), text, capacity, nullptr);
  if (filtered != 0) return filtered;

  // Picture coordinates: the working copy starts kMargin pixels before the area.
  const double dx = rect.left - kMargin, dy = rect.top - kMargin;
  auto pic = [&](PointF p) { return PointF{p.x + dx, p.y + dy}; };
  const Quad q{pic(read.quad.p00), pic(read.quad.p10), pic(read.quad.p11), pic(read.quad.p01)};
  const PointF centre{(q.p00.x + q.p10.x + q.p11.x + q.p01.x) / 4, (q.p00.y + q.p10.y + q.p11.y + q.p01.y) / 4};
  // T, P, R, Q of the outline are p01, p11, p10 and p00.
  reader->top = EdgePoint(q.p01, centre, AngleOf(q.p01, q.p11));
  reader->right = EdgePoint(q.p10, centre, AngleOf(q.p10, q.p11));
  reader->left = EdgePoint(q.p00, centre, AngleOf(q.p00, q.p01));
  reader->bottom = EdgePoint(q.p00, centre, AngleOf(q.p00, q.p10));

  reader->decoded = true;
  reader->bytes = bytes;
  OvoDmxSymbolInfo info{};
  info.rows = read.size->rows;
  info.cols = read.size->cols;
  std::memcpy(info.identifier, read.message.identifier, sizeof info.identifier);
  info.gs1 = read.message.gs1;
  info.eci = read.message.eci;
  info.readerInit = read.message.readerInit;
  info.macro = read.message.macro;
  info.appendIndex = read.message.saIndex;
  info.appendCount = read.message.saCount;
  info.appendFileId = read.message.saFileId;
  info.mirrored = CrossOf(read.quad) > 0;
  info.inverted = read.inverted;
  reader->info = info;
  return 0;
}

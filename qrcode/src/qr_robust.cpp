// The robust passes.
//
// Coordinates here are pixel edges: pixel (x, y) covers [x, x + 1) x
// [y, y + 1), and a point reads the pixel it lies in. Pass 0's finder centres,
// (e6 - s1) / 2 + s1, are the middle of the pattern's pixels in these
// coordinates too.
#include "qr_robust.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "qr_codewords.h"
#include "qr_info.h"
#include "qr_segments.h"
#include "qr_transform.h"
#include "qr_version_table.h"

namespace vantrel::qr {

namespace {

constexpr int32_t kMaxRobustFinders = 96;
constexpr int32_t kTripleFinders = 20;  // the most-seen finders that form triples
constexpr int32_t kMaxTried = 64;
constexpr int32_t kContrast = 40;  // grey levels that make a block one with contrast

// Where the fourth corner of the finders' parallelogram may really lie, in
// modules: perspective moves it most.
constexpr int32_t kJitterReach = 4;
constexpr int32_t kJitters = (2 * kJitterReach + 1) * (2 * kJitterReach + 1);
struct JitterTable {
  int8_t d[kJitters][2];
};
constexpr JitterTable kJitterTable = [] {
  JitterTable t{};
  int32_t k = 0;
  for (int32_t r2 = 0; r2 <= 2 * kJitterReach * kJitterReach; ++r2)
    for (int32_t a = -kJitterReach; a <= kJitterReach; ++a)
      for (int32_t b = -kJitterReach; b <= kJitterReach; ++b)
        if (a * a + b * b == r2) {
          t.d[k][0] = static_cast<int8_t>(a);
          t.d[k][1] = static_cast<int8_t>(b);
          ++k;
        }
  return t;
}();

using Finder = QrRobustFinder;

// Five runs through a point along a direction: outer, ring, core, ring,
// outer, and where the middle of core and ring lies from the start pixel's
// centre, in steps.
struct Cross {
  int32_t d[5] = {};
  float offset = 0;
  int32_t Total() const { return d[0] + d[1] + d[2] + d[3] + d[4]; }
};

bool Relaxed(const int32_t d[5], float outerLow, float outerHigh) {
  const int32_t total = d[0] + d[1] + d[2] + d[3] + d[4];
  if (total < 7) return false;
  const float u = static_cast<float>(total) / 7;
  for (int32_t k : {0, 4})
    if (d[k] < outerLow * u || d[k] > outerHigh * u) return false;
  for (int32_t k : {1, 3})
    if (d[k] < 0.25f * u || d[k] > 1.8f * u) return false;
  if (d[2] < 2.0f * u || d[2] > 4.8f * u) return false;
  return d[2] > d[1] && d[2] > d[3];
}

// Bits set in v without a library call (no popcount instruction is assumed).
inline int32_t Ones(uint32_t v) {
  v = v - ((v >> 1) & 0x55555555u);
  v = (v & 0x33333333u) + ((v >> 2) & 0x33333333u);
  return static_cast<int32_t>((((v + (v >> 4)) & 0x0F0F0F0Fu) * 0x01010101u) >> 24);
}

struct Codewords {
  uint32_t format[32];
  uint32_t version[41];  // 7 .. 40
};
constexpr Codewords kCodewords = [] {
  Codewords c{};
  for (uint32_t m = 0; m < 32; ++m) c.format[m] = FormatCodeword(m);
  for (uint32_t b = 7; b <= 40; ++b) c.version[b] = VersionCodeword(b);
  return c;
}();

bool NearestVersion(uint32_t word, int32_t limit, int32_t* version, int32_t* distance) {
  int32_t best = 19, bestVersion = 0;
  for (uint32_t b = 7; b <= 40; ++b) {
    const int32_t d = Ones((kCodewords.version[b] ^ word) & 0x3FFFFu);
    if (d < best) {
      best = d;
      bestVersion = static_cast<int32_t>(b);
    }
  }
  if (best > limit) return false;
  *version = bestVersion;
  *distance = best;
  return true;
}

float Length(QrPoint p) { return std::sqrt(p.x * p.x + p.y * p.y); }

// floor() for picture coordinates without a library call; anything beyond
// a million pixels (or not a number) lands outside every picture.
inline int32_t Floor(double v) {
  if (!(v > -1e6 && v < 1e6)) return -1000000;
  return static_cast<int32_t>(v + 1048576.0) - 1048576;
}

class RobustReader {
 public:
  RobustReader(QrDecodeContext* ctx, int64_t budget) : ctx_(ctx), budget_(budget) { tried_.reserve(kMaxTried); }

  int64_t Work() const { return work_; }
  bool Spent() const { return work_ >= budget_; }

  // The image to look at and the list that holds its finders.
  void SetImage(const QrBinaryImage& img, std::vector<Finder>* finders) {
    img_ = img;
    finders_ = finders;
    tried_.clear();
  }

  // Pass 0's candidates on pass 0's image, with pass 0's finders.
  int32_t TryStrictCandidates() {
    int32_t read = 0;
    for (const QrCandidate& c : ctx_->candidates) {
      if (Spent()) break;
      const QrFinder& a = ctx_->finders[c.finderA];
      const QrFinder& b = ctx_->finders[c.finderB];
      const QrFinder& k = ctx_->finders[c.finderC];
      if (a.used || b.used || k.used) continue;
      const QrPoint pa{a.x, a.y}, pb{b.x, b.y}, pc{k.x, k.y};
      if (AlreadyTried(pa, pb, pc, false)) continue;
      if (TryTriple(pa, pb, pc, c.version, false)) {
        ctx_->finders[c.finderA].used = ctx_->finders[c.finderB].used = ctx_->finders[c.finderC].used = 1;
        ++read;
      }
    }
    return read;
  }

  // Builds the finder list of the current image from relaxed row hits.
  void BuildFinders(const std::vector<QrRowHit>& hits) {
    std::vector<Finder>& finders = *finders_;
    finders.clear();
    for (const QrRowHit& hit : hits) {
      if (Spent()) break;
      ++work_;
      bool absorbed = false;
      for (Finder& f : finders)
        if (std::fabs(hit.x - f.x) < 0.3f * f.w && std::fabs(static_cast<float>(hit.y) + 0.5f - f.y) < 0.3f * f.h) {
          ++f.hits;
          absorbed = true;
          break;
        }
      if (absorbed) continue;
      Finder f;
      if (!Confirm(hit, &f)) continue;
      bool merged = false;
      for (Finder& g : finders)
        if (std::fabs(f.x - g.x) < 0.25f * g.w && std::fabs(f.y - g.y) < 0.25f * g.h) {
          const float n = static_cast<float>(g.hits);
          g.x = (g.x * n + f.x) / (n + 1);
          g.y = (g.y * n + f.y) / (n + 1);
          g.w = (g.w * n + f.w) / (n + 1);
          g.h = (g.h * n + f.h) / (n + 1);
          ++g.hits;
          merged = true;
          break;
        }
      if (merged) continue;
      if (static_cast<int32_t>(finders.size()) >= kMaxRobustFinders) continue;
      f.hits = 1;
      finders.push_back(f);
    }
    // The most-seen first; the triples take the first kTripleFinders.
    std::stable_sort(finders.begin(), finders.end(),
                     [](const Finder& a, const Finder& b) { return a.hits > b.hits; });
  }

  // Every triple of the finder list, the likeliest first. mirrored: the
  // other chirality, for symbols seen in a mirror.
  int32_t TryTriples(bool mirrored) {
    std::vector<Finder>& finders = *finders_;
    const int32_t n = std::min<int32_t>(static_cast<int32_t>(finders.size()), kTripleFinders);
    if (n < 3) return 0;
    struct Triple {
      float score;
      int8_t a, b, c;
    };
    Triple list[kTripleFinders * (kTripleFinders - 1) * (kTripleFinders - 2) / 6];
    int32_t count = 0;
    for (int32_t i = 0; i < n; ++i)
      for (int32_t j = i + 1; j < n; ++j)
        for (int32_t k = j + 1; k < n; ++k) {
          ++work_;
          const int32_t idx[3] = {i, j, k};
          const QrPoint p[3] = {Centre(i), Centre(j), Centre(k)};
          const float side[3] = {Length(p[1] - p[2]), Length(p[0] - p[2]), Length(p[0] - p[1])};
          // The corner finder lies opposite the longest side.
          const int32_t corner = side[0] >= side[1] && side[0] >= side[2] ? 0 : side[1] >= side[2] ? 1 : 2;
          const int32_t o1 = (corner + 1) % 3, o2 = (corner + 2) % 3;
          const QrPoint ab = p[o1] - p[corner], ac = p[o2] - p[corner];
          const float lab = Length(ab), lac = Length(ac);
          if (lab < 1 || lac < 1) continue;
          if (std::max(lab, lac) > 2 * std::min(lab, lac)) continue;
          const float cosine = (ab.x * ac.x + ab.y * ac.y) / (lab * lac);
          if (std::fabs(cosine) > 0.866f) continue;
          const Finder& fa = finders[idx[corner]];
          const Finder& f1 = finders[idx[o1]];
          const Finder& f2 = finders[idx[o2]];
          if (fa.used || f1.used || f2.used) continue;
          const float sizes[3] = {fa.w + fa.h, f1.w + f1.h, f2.w + f2.h};
          const float smax = std::max({sizes[0], sizes[1], sizes[2]}), smin = std::min({sizes[0], sizes[1], sizes[2]});
          if (smax > 2 * smin) continue;
          // Centres of a version-1 symbol lie 14 modules apart.
          const float module = sizes[0] / 14;
          if (std::min(lab, lac) < 10 * module || std::max(lab, lac) > 200 * module) continue;
          const float cross = ab.x * ac.y - ab.y * ac.x;
          const bool normal = cross > 0;
          Triple t;
          t.a = static_cast<int8_t>(idx[corner]);
          t.b = static_cast<int8_t>(normal != mirrored ? idx[o1] : idx[o2]);
          t.c = static_cast<int8_t>(normal != mirrored ? idx[o2] : idx[o1]);
          t.score = std::fabs(cosine) + std::fabs(std::log(lab / lac)) + 0.5f * std::log(smax / smin);
          list[count++] = t;
        }
    std::sort(list, list + count, [](const Triple& x, const Triple& y) { return x.score < y.score; });
    int32_t read = 0;
    for (int32_t t = 0; t < count && !Spent(); ++t) {
      Finder& a = finders[list[t].a];
      Finder& b = finders[list[t].b];
      Finder& c = finders[list[t].c];
      if (a.used || b.used || c.used) continue;
      const QrPoint pa = Centre(list[t].a), pb = Centre(list[t].b), pc = Centre(list[t].c);
      if (AlreadyTried(pa, pb, pc, mirrored)) continue;
      if (TryTriple(pa, pb, pc, 0, mirrored)) {
        a.used = b.used = c.used = true;
        ++read;
      }
    }
    return read;
  }

 private:
  QrPoint Centre(int32_t i) const { return {(*finders_)[i].x, (*finders_)[i].y}; }

  bool Dark(float x, float y) {
    ++work_;
    return img_.Set(Floor(x), Floor(y));
  }
  bool DarkPixel(int32_t x, int32_t y) {
    ++work_;
    return img_.Set(x, y);
  }

  // The five runs through pixel (x, y), which must be dark, along (dx, dy);
  // each run at most `limit` steps. The surroundings read as light.
  bool Runs(int32_t x, int32_t y, int32_t dx, int32_t dy, int32_t limit, Cross* c) {
    if (!DarkPixel(x, y)) return false;
    int32_t fwd[3] = {}, back[3] = {};
    for (int32_t side = 0; side < 2; ++side) {
      const int32_t sx = side == 0 ? dx : -dx, sy = side == 0 ? dy : -dy;
      int32_t* runs = side == 0 ? fwd : back;
      int32_t px = x + sx, py = y + sy;
      for (int32_t phase = 0; phase < 3; ++phase) {
        const bool want = phase != 1;
        int32_t n = 0;
        while (DarkPixel(px, py) == want) {
          ++n;
          px += sx;
          py += sy;
          if (n > limit) return false;
        }
        if (phase != 0 && n == 0) return false;
        runs[phase] = n;
      }
    }
    c->d[0] = back[2];
    c->d[1] = back[1];
    c->d[2] = back[0] + 1 + fwd[0];
    c->d[3] = fwd[1];
    c->d[4] = fwd[2];
    const float core = 0.5f * static_cast<float>(fwd[0] - back[0]);
    const float ring = 0.5f * static_cast<float>(fwd[0] + fwd[1] - back[0] - back[1]);
    c->offset = 0.5f * (core + ring);
    return true;
  }

  // Row hit to finder: the column through it, the row through the column's
  // centre, the column again and a diagonal.
  bool Confirm(const QrRowHit& hit, Finder* f) {
    const int32_t limit = static_cast<int32_t>(hit.width) + 2;
    int32_t x = Floor(hit.x);
    const int32_t y = hit.y;
    Cross v, h, d;
    if (!Runs(x, y, 0, 1, limit, &v) || !Relaxed(v.d, 0.4f, 2.0f)) return false;
    const float vt = static_cast<float>(v.Total());
    if (vt < 0.4f * hit.width || vt > 2.5f * hit.width) return false;
    float cy = static_cast<float>(y) + 0.5f + v.offset;
    if (!Runs(x, Floor(cy), 1, 0, limit, &h) || !Relaxed(h.d, 0.4f, 2.0f)) return false;
    const float cx = static_cast<float>(x) + 0.5f + h.offset;
    x = Floor(cx);
    if (!Runs(x, Floor(cy), 0, 1, limit, &v) || !Relaxed(v.d, 0.4f, 2.0f)) return false;
    cy = std::floor(cy) + 0.5f + v.offset;
    const float ht = static_cast<float>(h.Total()), vt2 = static_cast<float>(v.Total());
    if (std::max(ht, vt2) > 2.5f * std::min(ht, vt2)) return false;
    // Through a square ring pattern's centre every line shows the same
    // proportions: the diagonal turns text strokes away.
    if (!Runs(x, Floor(cy), 1, 1, 2 * limit, &d) || !Relaxed(d.d, 0.3f, 2.5f)) return false;
    const float dt = static_cast<float>(d.Total()) * 1.41421356f;
    const float mean = 0.5f * (ht + vt2);
    if (dt < 0.5f * mean || dt > 2.5f * mean) return false;
    f->x = cx;
    f->y = cy;
    f->w = ht;
    f->h = vt2;
    return true;
  }

  bool AlreadyTried(QrPoint a, QrPoint b, QrPoint c, bool mirrored) {
    for (const auto& t : tried_) {
      if (t.mirrored != mirrored) continue;
      if (Length(t.a - a) < 2 && Length(t.b - b) < 2 && Length(t.c - c) < 2) return true;
    }
    if (static_cast<int32_t>(tried_.size()) < kMaxTried) tried_.push_back(Tried{a, b, c, mirrored});
    return false;
  }

  // Width of the finder at `centre` along the unit direction `dir`: from the
  // outer edge behind to the outer edge ahead (7 modules). 0 when the walk
  // does not find the three runs on both sides.
  float WidthAlong(QrPoint centre, QrPoint dir, float limit) {
    float total = 0;
    for (int32_t side = 0; side < 2; ++side) {
      const QrPoint s = side == 0 ? dir : QrPoint{-dir.x, -dir.y};
      float t = 0;
      for (int32_t phase = 0; phase < 3; ++phase) {
        const bool want = phase != 1;
        float start = t;
        while (Dark(centre.x + s.x * t, centre.y + s.y * t) == want) {
          t += 1;
          if (t > limit) return 0;
        }
        if (phase != 0 && t == start) return 0;
      }
      total += t;
    }
    return total;
  }

  // Module vectors at a finder: along AB and along AC.
  struct Frame {
    QrPoint u, v;
  };

  // Reads both copies of the format information beside the finders, each
  // module a step of the finder's own module size from its centre.
  bool ReadFormatAround(QrPoint A, QrPoint B, QrPoint C, const Frame& fa, const Frame& fb, const Frame& fc,
                        QrFormat* format) {
    auto at = [&](QrPoint centre, const Frame& f, float c, float r) {
      const QrPoint p = centre + f.u * c + f.v * r;
      return Dark(p.x, p.y) ? 1u : 0u;
    };
    static constexpr int32_t kFirstCopy[15][2] = {{8, 0}, {8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 7}, {8, 8},
                                                  {7, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}, {0, 8}};
    uint32_t first = 0, second = 0;
    for (int32_t i = 0; i < 15; ++i)
      first |= at(A, fa, static_cast<float>(kFirstCopy[i][0] - 3), static_cast<float>(kFirstCopy[i][1] - 3)) << i;
    for (int32_t i = 0; i < 8; ++i) second |= at(B, fb, static_cast<float>(3 - i), 5) << i;
    for (int32_t i = 0; i < 7; ++i) second |= at(C, fc, 5, static_cast<float>(i - 3)) << (8 + i);
    return DecideFormat(first, second, format);
  }

  // Both copies of the format word, read independently: the codeword nearest
  // to both together within 6 of their 30 bits, or a copy that is all but
  // clean on its own (the other may lie beyond the picture's edge). A random
  // pair of words passes about once in twenty.
  static bool DecideFormat(uint32_t first, uint32_t second, QrFormat* format) {
    first ^= kFormatMask;
    second ^= kFormatMask;
    int32_t best = 99, bestAlone = 99;
    uint32_t code = 0, codeAlone = 0;
    for (uint32_t m = 0; m < 32; ++m) {
      const uint32_t f = kCodewords.format[m];
      const int32_t d1 = Ones((f ^ first) & 0x7FFFu), d2 = Ones((f ^ second) & 0x7FFFu);
      if (d1 + d2 < best) {
        best = d1 + d2;
        code = f;
      }
      if (std::min(d1, d2) < bestAlone) {
        bestAlone = std::min(d1, d2);
        codeAlone = f;
      }
    }
    if (best > 6) {
      if (bestAlone > 1) return false;
      code = codeAlone;
    }
    static constexpr int32_t kLevelOfIndicator[4] = {1, 0, 3, 2};
    format->level = kLevelOfIndicator[(code >> 13) & 3];
    format->mask = static_cast<int32_t>((code >> 10) & 7);
    return true;
  }

  // The format information at the module centres of a transform.
  bool ReadFormatThrough(const QrTransform& t, int32_t N, QrFormat* format) {
    static constexpr int32_t kFirstCopy[15][2] = {{8, 0}, {8, 1}, {8, 2}, {8, 3}, {8, 4}, {8, 5}, {8, 7}, {8, 8},
                                                  {7, 8}, {5, 8}, {4, 8}, {3, 8}, {2, 8}, {1, 8}, {0, 8}};
    // Nine points a module, the majority wins: moire and blur leave single
    // pixels of the wrong colour.
    auto at = [&](int32_t c, int32_t r) {
      int32_t dark = 0;
      for (double dv : {0.25, 0.5, 0.75})
        for (double du : {0.25, 0.5, 0.75}) {
          const QrPoint p = t.Map(c + du, r + dv);
          dark += Dark(p.x, p.y);
        }
      return dark >= 5 ? 1u : 0u;
    };
    uint32_t first = 0, second = 0;
    for (int32_t i = 0; i < 15; ++i) first |= at(kFirstCopy[i][0], kFirstCopy[i][1]) << i;
    for (int32_t i = 0; i < 8; ++i) second |= at(N - 1 - i, 8) << i;
    for (int32_t i = 0; i < 7; ++i) second |= at(8, N - 7 + i) << (8 + i);
    return DecideFormat(first, second, format);
  }

  // Both copies of the version information beside B and C; the nearer word
  // within 3 bits wins.
  bool ReadVersionAround(QrPoint B, QrPoint C, const Frame& fb, const Frame& fc, int32_t* version, int32_t* distance) {
    // Nine points a module, the majority wins.
    auto at = [&](QrPoint centre, const Frame& f, float c, float r) {
      int32_t dark = 0;
      for (float dv : {-0.25f, 0.0f, 0.25f})
        for (float du : {-0.25f, 0.0f, 0.25f}) {
          const QrPoint p = centre + f.u * (c + du) + f.v * (r + dv);
          dark += Dark(p.x, p.y);
        }
      return dark >= 5 ? 1u : 0u;
    };
    uint32_t first = 0, second = 0;
    for (int32_t r = 0; r < 6; ++r)
      for (int32_t s = 0; s < 3; ++s) {
        first |= at(B, fb, static_cast<float>(s - 7), static_cast<float>(r - 3)) << (3 * r + s);
        second |= at(C, fc, static_cast<float>(r - 3), static_cast<float>(s - 7)) << (3 * r + s);
      }
    int32_t v1 = 0, v2 = 0, d1 = 99, d2 = 99;
    const bool ok1 = NearestVersion(first, 3, &v1, &d1);
    const bool ok2 = NearestVersion(second, 3, &v2, &d2);
    if (!ok1 && !ok2) return false;
    *version = (ok1 && d1 <= d2) ? v1 : v2;
    *distance = std::min(d1, d2);
    return true;
  }

  // The module vectors of transform t at module point (u, v).
  static Frame LocalFrame(const QrTransform& t, double u, double v) {
    const QrPoint p = t.Map(u, v);
    return {t.Map(u + 1, v) - p, t.Map(u, v + 1) - p};
  }

  // Looks for the alignment pattern centred at module point (n, n) of t
  // within 6 modules of where t puts it; true with its centre in *found.
  bool FindAlignment(const QrTransform& t, double n, QrPoint* found) {
    const Frame f = LocalFrame(t, n, n);
    const QrPoint p0 = t.Map(n, n);
    // Offsets in half modules, nearest first.
    constexpr int32_t kReach = 12;
    struct Off {
      int8_t a, b;
      int16_t r2;
    };
    static const auto kOffsets = [] {
      std::vector<Off> o;
      for (int32_t a = -kReach; a <= kReach; ++a)
        for (int32_t b = -kReach; b <= kReach; ++b) o.push_back(Off{static_cast<int8_t>(a), static_cast<int8_t>(b), static_cast<int16_t>(a * a + b * b)});
      std::stable_sort(o.begin(), o.end(), [](const Off& x, const Off& y) { return x.r2 < y.r2; });
      return o;
    }();
    int32_t best = -1, bestScore = 0;
    for (int32_t k = 0; k < static_cast<int32_t>(kOffsets.size()); ++k) {
      if (Spent()) return false;
      const Off& o = kOffsets[k];
      const QrPoint q = p0 + f.u * (0.5f * o.a) + f.v * (0.5f * o.b);
      // A dark centre with light on at least three sides, before the whole template.
      if (!Dark(q.x, q.y)) continue;
      int32_t sides = 0;
      for (const QrPoint& e : {f.u, f.v, QrPoint{-f.u.x, -f.u.y}, QrPoint{-f.v.x, -f.v.y}}) sides += !Dark(q.x + e.x, q.y + e.y);
      if (sides < 3) continue;
      const int32_t score = AlignmentScore(q, f);
      if (score > bestScore) {
        bestScore = score;
        best = k;
        if (score == 25) break;
      }
    }
    if (bestScore < 21) return false;
    {
      const Off& o = kOffsets[best];
      const QrPoint q = p0 + f.u * (0.5f * o.a) + f.v * (0.5f * o.b);
      // Centre on the dark core by its runs along the row and the column.
      const int32_t qx = Floor(q.x), qy = Floor(q.y);
      const float reach = 1.5f * std::max(Length(f.u), Length(f.v)) + 2;
      int32_t l = qx, r = qx, u = qy, d = qy;
      while (DarkPixel(l - 1, qy) && qx - l < reach) --l;
      while (DarkPixel(r + 1, qy) && r - qx < reach) ++r;
      while (DarkPixel(qx, u - 1) && qy - u < reach) --u;
      while (DarkPixel(qx, d + 1) && d - qy < reach) ++d;
      *found = {0.5f * static_cast<float>(l + r + 1), 0.5f * static_cast<float>(u + d + 1)};
      return true;
    }
  }

  // How well the 5 x 5 modules around q look like an alignment pattern: a
  // dark centre, a light ring and a dark ring (25 when all do).
  int32_t AlignmentScore(QrPoint q, const Frame& f) {
    int32_t score = 0;
    for (int32_t i = -2; i <= 2; ++i)
      for (int32_t j = -2; j <= 2; ++j) {
        const bool ring = std::max(std::abs(i), std::abs(j)) == 1;
        const QrPoint r = q + f.u * static_cast<float>(i) + f.v * static_cast<float>(j);
        score += Dark(r.x, r.y) != ring;
      }
    return score;
  }

  // Timing row and column against the transform: the share of modules that
  // alternate as they should.
  float TimingScore(const QrTransform& t, int32_t N) {
    int32_t good = 0, total = 0;
    for (int32_t i = 8; i <= N - 9; ++i) {
      const bool dark = i % 2 == 0;
      const QrPoint a = t.Map(i + 0.5, 6.5), b = t.Map(6.5, i + 0.5);
      good += (Dark(a.x, a.y) == dark) + (Dark(b.x, b.y) == dark);
      total += 2;
    }
    return static_cast<float>(good) / static_cast<float>(total);
  }

  // Samples the symbol through t into the module matrix and reads its
  // codewords; vote: 3 x 3 points per module, the majority wins.
  bool SampleAndRead(const QrTransform& t, int32_t version, const QrFormat& format, bool vote, int32_t* dataCount) {
    const int32_t N = 4 * version + 17;
    // Laying the map, sampling, unmasking and placement: a few units a module.
    const int64_t cost = int64_t{N} * N * (vote ? 12 : 4);
    if (work_ + cost > budget_) {
      work_ = budget_;
      return false;
    }
    work_ += cost;
    QrModuleMatrix& m = ctx_->matrix;
    LayFunctionMap(version, &m);
    const double* M = t.Matrix();
    static constexpr float kVote[3] = {-0.3f, 0.0f, 0.3f};
    for (int32_t r = 0; r < N; ++r) {
      for (int32_t c = 0; c < N; ++c) {
        uint8_t& cell = m.At(c, r);
        if (cell & kFunctionModule) continue;
        if (!vote) {
          const double u = c + 0.5, v = r + 0.5;
          const double w = 1 / (M[6] * u + M[7] * v + M[8]);
          cell = img_.Set(Floor((M[0] * u + M[1] * v + M[2]) * w), Floor((M[3] * u + M[4] * v + M[5]) * w)) ? 1 : 0;
          continue;
        }
        int32_t darkCount = 0;
        for (float dv : kVote)
          for (float du : kVote) {
            const double u = c + 0.5 + du, v = r + 0.5 + dv;
            const double w = 1 / (M[6] * u + M[7] * v + M[8]);
            darkCount += img_.Set(Floor((M[0] * u + M[1] * v + M[2]) * w), Floor((M[3] * u + M[4] * v + M[5]) * w));
          }
        cell = darkCount >= 5 ? 1 : 0;
      }
    }
    Unmask(N, format.mask, &m);
    const int64_t before = ctx_->rs.spent;
    ctx_->rs.budget = ctx_->rs.spent + std::max<int64_t>(0, (budget_ - work_) * 2);
    const bool ok = ReadCodewords(m, version, format.level, ctx_->codewords, ctx_->scratch, &ctx_->rs, dataCount);
    work_ += (ctx_->rs.spent - before) / 2;
    return ok;
  }

  // Decodes the data and appends the result; false when the data cannot be
  // decoded or duplicate an earlier result.
  bool Report(const QrTransform& t, int32_t version, const QrFormat& format, int32_t dataCount, bool mirrored) {
    const int32_t N = 4 * version + 17;
    QrResult& result = scratchResult_;
    result = QrResult{};
    result.version = version;
    result.level = format.level;
    result.mirrored = mirrored ? 1 : 0;
    const QrPoint corners[4] = {t.Map(0, 0), t.Map(N, 0), t.Map(N, N), t.Map(0, N)};
    for (int32_t i = 0; i < 4; ++i) {
      result.corners[2 * i] = QrRound(corners[i].x);
      result.corners[2 * i + 1] = QrRound(corners[i].y);
    }
    const int32_t mode = ctx_->codewords[0] >> 4;
    if (!IsKnownFirstMode(mode, true)) return false;
    QrContent content;
    if (!DecodeSegmentsExtended(ctx_->codewords, dataCount, version, mode == 3, result.data, kMaxConvertedBytes,
                                &result.length, &content))
      return false;
    result.modifier = content.modifier;
    result.encoding = content.encoding;
    if (IsDuplicateResult(ctx_->results, result)) return true;  // read, but already reported
    try {
      ctx_->results.push_back(result);
    } catch (const std::bad_alloc&) {
      ctx_->outOfMemory = true;
      return false;
    }
    return true;
  }

  // One triple: A the corner, B along the first row, C down the first column.
  bool TryTriple(QrPoint A, QrPoint B, QrPoint C, int32_t versionHint, bool mirrored) {
    work_ += 100;
    const QrPoint ab = B - A, ac = C - A;
    const float lab = Length(ab), lac = Length(ac);
    if (lab < 7 || lac < 7) return false;
    const QrPoint eu = ab / lab, ev = ac / lac;
    const float limit = 0.5f * std::max(lab, lac);
    const float wAu = WidthAlong(A, eu, limit), wAv = WidthAlong(A, ev, limit);
    const float wBu = WidthAlong(B, eu, limit), wBv = WidthAlong(B, ev, limit);
    const float wCu = WidthAlong(C, eu, limit), wCv = WidthAlong(C, ev, limit);
    if (wAu <= 0 || wAv <= 0 || wBu <= 0 || wBv <= 0 || wCu <= 0 || wCv <= 0) return false;
    const Frame fa{eu * (wAu / 7), ev * (wAv / 7)};
    const Frame fb{eu * (wBu / 7), ev * (wBv / 7)};
    const Frame fc{eu * (wCu / 7), ev * (wCv / 7)};

    QrFormat localFormat;
    const bool formatBeside = ReadFormatAround(A, B, C, fa, fb, fc, &localFormat);

    // The version: from the hint, the version information or the distances.
    const float nu = lab / ((wAu + wBu) / 14), nv = lac / ((wAv + wCv) / 14);
    const float estimate = 0.5f * (nu + nv) + 7;
    int32_t versions[4] = {0, 0, 0, 0};
    int32_t nv2 = 0;
    auto add = [&](int32_t v) {
      v = std::clamp(v, 1, kMaxVersion);
      for (int32_t i = 0; i < nv2; ++i)
        if (versions[i] == v) return;
      if (nv2 < 4) versions[nv2++] = v;
    };
    if (versionHint >= 1 && versionHint <= kMaxVersion) add(versionHint);
    int32_t read = 0, readDistance = 99;
    if (estimate >= 40) {
      // Beside the finders with their own module sizes, and with the module
      // the finders' distance gives; the cleaner word wins.
      int32_t v2 = 0, d2 = 99;
      bool versionRead = ReadVersionAround(B, C, fb, fc, &read, &readDistance);
      const float n = std::round((estimate - 17) / 4) * 4 + 17;
      const QrPoint s3[4] = {{3.5f, 3.5f}, {n - 3.5f, 3.5f}, {3.5f, n - 3.5f}, {n - 3.5f, n - 3.5f}};
      const QrPoint d3[4] = {A, B, C, B + C - A};
      QrTransform t;
      if (t.Fit(s3, d3) &&
          ReadVersionAround(B, C, LocalFrame(t, n - 3.5, 3.5), LocalFrame(t, 3.5, n - 3.5), &v2, &d2) &&
          (!versionRead || d2 < readDistance)) {
        read = v2;
        readDistance = d2;
        versionRead = true;
      }
      if (versionRead && std::fabs(static_cast<float>(4 * read + 17) - estimate) <= std::max(8.0f, 0.2f * estimate))
        add(read);
      else
        readDistance = 99;
    }
    // Without a clean version word, the distances: blur and the threshold
    // move the finders' edges, so the neighbour on the estimate's side is the
    // next guess.
    if (readDistance >= 2) {
      const float v = (estimate - 17) / 4;
      const int32_t near = std::clamp(static_cast<int32_t>(std::lround(v)), 1, kMaxVersion);
      add(near);
      add(v > static_cast<float>(near) ? near + 1 : near - 1);
    }

    for (int32_t vi = 0; vi < nv2 && !Spent(); ++vi) {
      const int32_t version = versions[vi];
      const int32_t N = 4 * version + 17;
      const double n = N;
      const QrPoint src[4] = {{3.5f, 3.5f}, {static_cast<float>(n - 3.5), 3.5f}, {3.5f, static_cast<float>(n - 3.5)},
                              {static_cast<float>(n - 3.5), static_cast<float>(n - 3.5)}};
      const QrPoint D = B + C - A;
      QrTransform base;
      const QrPoint dst[4] = {A, B, C, D};
      if (!base.Fit(src, dst)) continue;
      // Where the finders' own module sizes mislead (blur, a threshold off
      // the middle), the modules the finders' distance gives may not.
      QrFormat format = localFormat;
      if (!formatBeside && !ReadFormatThrough(base, N, &format)) continue;
      // Transforms to try: through the alignment pattern when there is one
      // and it is found, then the parallelogram of the finders with its
      // fourth corner moved around, ranked by how much an alignment pattern
      // lies where each puts it (by the timing patterns for version 1).
      struct Placed {
        QrTransform t;
        float rank;
      };
      Placed placed[1 + kJitters];
      int32_t count = 0;
      if (version >= 2) {
        QrPoint ap;
        if (FindAlignment(base, n - 6.5, &ap)) {
          const QrPoint srcA[4] = {src[0], src[1], src[2], {static_cast<float>(n - 6.5), static_cast<float>(n - 6.5)}};
          const QrPoint dstA[4] = {A, B, C, ap};
          if (placed[count].t.Fit(srcA, dstA)) {
            placed[count].rank = 100;
            ++count;
          }
        }
      }
      const Frame fd = LocalFrame(base, n - 3.5, n - 3.5);
      // Four modules either way for small symbols, two for large ones.
      const int32_t reach = N <= 45 ? kJitterReach : 2;
      for (const auto& j : kJitterTable.d) {
        if (std::abs(j[0]) > reach || std::abs(j[1]) > reach) continue;
        const QrPoint dj = D + fd.u * static_cast<float>(j[0]) + fd.v * static_cast<float>(j[1]);
        const QrPoint dstJ[4] = {A, B, C, dj};
        Placed& p = placed[count];
        if (!p.t.Fit(src, dstJ)) continue;
        if (version >= 2)
          p.rank = static_cast<float>(AlignmentScore(p.t.Map(n - 6.5, n - 6.5), LocalFrame(p.t, n - 6.5, n - 6.5)));
        else
          p.rank = TimingScore(p.t, N);
        ++count;
      }
      std::stable_sort(placed, placed + count, [](const Placed& x, const Placed& y) { return x.rank > y.rank; });
      // Small symbols can afford every placement, large ones a few; the
      // timing patterns must agree before any is sampled.
      const int32_t tries = std::clamp(24000 / (N * N), 3, kJitters + 1);
      int32_t dataCount = 0, sampled = 0;
      for (int32_t i = 0; i < count && sampled < tries && !Spent(); ++i) {
        if (TimingScore(placed[i].t, N) < 0.7f) continue;
        ++sampled;
        if (SampleAndRead(placed[i].t, version, format, false, &dataCount) ||
            (sampled == 1 && SampleAndRead(placed[i].t, version, format, true, &dataCount)))
          return Report(placed[i].t, version, format, dataCount, mirrored);
      }
    }
    return false;
  }

  struct Tried {
    QrPoint a, b, c;
    bool mirrored;
  };

  QrDecodeContext* ctx_;
  int64_t budget_;
  int64_t work_ = 0;
  QrBinaryImage img_;
  std::vector<Finder>* finders_ = nullptr;
  std::vector<Tried> tried_;
  QrResult scratchResult_;
};

}  // namespace

int32_t RunRobustPasses(QrDecodeContext* ctx, const QrRobustInput& in, QrRobustWorkspace* ws,
                        QrRobustReport* report) {
  QrRobustReport local;
  QrRobustReport& rep = report ? *report : local;
  rep = QrRobustReport{};
  const size_t before = ctx->results.size();
  auto reader = std::make_unique<RobustReader>(ctx, kRobustBudget);
  const int32_t w = in.source.width, h = in.source.height;
  auto done = [&](QrRobustStep step) {
    if (ctx->results.size() > before && rep.step == QrRobustStep::kNone) rep.step = step;
    return ctx->results.size() > before || reader->Spent();
  };
  auto finish = [&]() {
    rep.work = reader->Work();
    if (ctx->results.size() >= 2) OrderResults(&ctx->results);
    return static_cast<int32_t>(ctx->results.size() - before);
  };
  for (auto& f : ws->finders) f.clear();

  // The images looked at, in order; the mirror images come last, on the
  // finders already found in each.
  struct Look {
    QrBinaryImage img;
    std::vector<QrRobustFinder>* finders;
  };
  Look looks[4];
  int32_t lookCount = 0;
  auto look = [&](const QrBinaryImage& img, const std::vector<QrRowHit>& hits, QrRobustStep step) {
    Look& l = looks[lookCount];
    l.img = img;
    l.finders = &ws->finders[lookCount];
    ++lookCount;
    reader->SetImage(img, l.finders);
    reader->BuildFinders(hits);
    reader->TryTriples(false);
    return done(step);
  };

  // 1 and 2: pass 0's image, its candidates first.
  const QrBinaryImage b0{in.binary->data(), w, h};
  reader->SetImage(b0, &ws->finders[0]);
  reader->TryStrictCandidates();
  if (done(QrRobustStep::kCandidates)) return finish();
  bool finished = look(b0, *in.hits, QrRobustStep::kGeometry);

  // 3: the block-threshold image, where the global threshold flattened a
  // good share of the blocks with contrast (a dim, unevenly lit or coloured
  // symbol) or where finders were found but read nothing (blur that the
  // global threshold thickens or thins).
  int32_t withContrast = 0;
  const int32_t flat = FlattenedBlocks(*in.stats, w, h, kContrast, &withContrast);
  int32_t seen = 0;
  for (const QrRobustFinder& f : ws->finders[0]) seen += f.hits >= 1;
  const bool flattened = flat >= 4 && flat * 20 >= withContrast;
  const bool blurred = seen >= 3 || !ctx->candidates.empty();
  if (!finished && (flattened || blurred)) {
    rep.localTried = true;
    if (BinarizeLocal(in.source, *in.stats, in.darkModules, &ws->local) && CollectRowHits({ws->local.data(), w, h}, &ws->hits))
      finished = look({ws->local.data(), w, h}, ws->hits, QrRobustStep::kLocal);
  }

  // 4: the opposite polarity where the threshold set most of the area, on
  // pass 0's image and, where the block threshold was worth a look, on it.
  const bool mostlySet = in.stats->setPixels * 2 > in.stats->sampledPixels;
  if (!finished && mostlySet) {
    rep.invertedTried = true;
    InvertBinary(*in.binary, &ws->inverted);
    if (CollectRowHits({ws->inverted.data(), w, h}, &ws->hits))
      finished = look({ws->inverted.data(), w, h}, ws->hits, QrRobustStep::kInverted);
    if (!finished && (flattened || blurred) && BinarizeLocal(in.source, *in.stats, !in.darkModules, &ws->invertedLocal) &&
        CollectRowHits({ws->invertedLocal.data(), w, h}, &ws->hits))
      finished = look({ws->invertedLocal.data(), w, h}, ws->hits, QrRobustStep::kInverted);
  }

  // And the mirror image of every triple.
  for (int32_t i = 0; i < lookCount && !finished; ++i) {
    reader->SetImage(looks[i].img, looks[i].finders);
    for (QrRobustFinder& f : *looks[i].finders) f.used = false;
    reader->TryTriples(true);
    finished = done(QrRobustStep::kMirrored);
  }
  return finish();
}

}  // namespace vantrel::qr

// Unsharp mask of the search rectangle: separable blur, then each byte moves
// away from its blurred value by the amount, unless the difference is below
// the threshold.
//
// Every output byte must be the one the plain per-line loops give, bit for
// bit. The speed therefore comes only from doing many independent sums at
// once: lines are laid side by side ("lanes") and each lane's sum is taken in
// the same order with the same double operations as a single line would be.
// Nothing is reassociated (this file is built with -ffp-contract=off).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "datamatrix/src/dmx_internal.h"
#include "vantrel/OvoDmx.h"

namespace vantrel::dmx {

std::atomic<int32_t> g_failWorkAllocation{-1};
std::atomic<int32_t> g_unsharpLanes{0};

void* AllocateWork(size_t bytes) {
  if (g_failWorkAllocation.load(std::memory_order_relaxed) >= 0 &&
      g_failWorkAllocation.fetch_sub(1, std::memory_order_relaxed) == 0) {
    throw std::bad_alloc();
  }
  void* p = std::malloc(bytes ? bytes : 1);
  if (!p) throw std::bad_alloc();
  return p;
}

void ReleaseWork(void* p) noexcept { std::free(p); }

std::vector<double> UnsharpKernel(double radius) {
  const double sigma = std::fabs(radius) + 1.0;
  const double reach = 2.0 * sigma;
  int32_t n = 2 * static_cast<int32_t>(std::ceil(reach - 0.5)) + 1;
  if (n < 1) n = 1;
  const int32_t h = n / 2;
  const double twoSigma2 = 2.0 * sigma * sigma;
  std::vector<double> k(static_cast<size_t>(n));
  for (int32_t i = h + 1; i < n; ++i) {
    const double b = (i - h) - 0.5;
    double s = 0.0;
    for (int j = 1; j <= 50; ++j) {
      const double r = b + 0.02 * j;
      if (r <= reach) s += std::exp(-(r * r) / twoSigma2);
    }
    k[i] = s / 50.0;
  }
  for (int32_t i = 0; i < h; ++i) k[i] = k[n - 1 - i];
  // The centre weight samples 0.5 .. 1.5 like its neighbours: a flatter peak
  // than a true Gaussian, which keeps the sharpening gentle.
  double s = 0.0;
  for (int j = 0; j <= 50; ++j) {
    const double r = 0.5 + 0.02 * j;
    s += std::exp(-(r * r) / twoSigma2);
  }
  k[h] = s / 51.0;
  double total = 0.0;
  for (int32_t i = 0; i < n; ++i) total += k[i];
  for (int32_t i = 0; i < n; ++i) k[i] /= total;
  return k;
}

}  // namespace vantrel::dmx

namespace {

// Which kernel entries feed each output position of a line of length N, and
// what the edge outputs are divided by.
struct LinePlan {
  int32_t N = 0, n = 0, h = 0;
  bool shortRule = false;            // kernel longer than the line
  vantrel::dmx::WorkVector<int32_t> lo, hi;  // kernel index range (or sample range, short rule)
  vantrel::dmx::WorkVector<double> scale;     // divisor, 0 where the sum is taken as it is
};

void MakePlan(const vantrel::dmx::WorkVector<double>& k, int32_t N, LinePlan* plan) {
  const int32_t n = static_cast<int32_t>(k.size()), h = n / 2;
  plan->N = N;
  plan->n = n;
  plan->h = h;
  plan->shortRule = n > N;
  plan->lo.resize(static_cast<size_t>(N));
  plan->hi.resize(static_cast<size_t>(N));
  plan->scale.assign(static_cast<size_t>(N), 0.0);
  for (int32_t p = 0; p < N; ++p) {
    int32_t lo, hi;
    bool rescale;
    if (plan->shortRule) {
      // Sample j takes part when 0 <= j + h - p < n, weighted by k[j].
      lo = std::max(0, p - h);
      hi = std::min(N - 1, p - h + n - 1);
      rescale = true;
    } else {
      lo = std::max(0, h - p);
      hi = std::min(n - 1, N - 1 - p + h);
      rescale = p < h || p >= N - h;
    }
    plan->lo[p] = lo;
    plan->hi[p] = hi;
    if (rescale) {
      double s = 0.0;
      for (int32_t j = lo; j <= hi; ++j) s += k[j];
      plan->scale[p] = s;
    }
  }
}

typedef double V2 __attribute__((vector_size(16)));
typedef double V4 __attribute__((vector_size(32)));
typedef int32_t I2 __attribute__((vector_size(8)));
typedef int32_t I4 __attribute__((vector_size(16)));
typedef uint8_t B2 __attribute__((vector_size(2)));
typedef uint8_t B4 __attribute__((vector_size(4)));

// Blurs L = 8 * W lanes at once (eight accumulators of W doubles, enough to
// hide the adder's latency). D holds the lanes' samples position by position
// (N rows of L doubles); out receives N rows of L bytes.
template <typename V, typename VI, typename VB, int W>
inline __attribute__((always_inline)) void BlurLanesImpl(const LinePlan& plan, const double* k,
                                                         const double* D, uint8_t* out) {
  constexpr int L = 8 * W;
  const int32_t N = plan.N, h = plan.h;
  V a0{}, a1{}, a2{}, a3{}, a4{}, a5{}, a6{}, a7{};
  int32_t prevLo = -1, prevHi = -1;
  for (int32_t p = 0; p < N; ++p) {
    const int32_t lo = plan.lo[p], hi = plan.hi[p];
    int32_t j = lo;
    // With the short rule, positions whose range only grows at the end share
    // the running sums (the same additions in the same order).
    if (plan.shortRule && p > 0 && lo == prevLo && hi >= prevHi) {
      j = prevHi + 1;
    } else {
      a0 = a1 = a2 = a3 = a4 = a5 = a6 = a7 = V{};
    }
    const ptrdiff_t offset = plan.shortRule ? 0 : static_cast<ptrdiff_t>(p) - h;
    const double* row = D + (offset + j) * L;
    for (; j <= hi; ++j, row += L) {
      const V kv = V{} + k[j];
      V x0, x1, x2, x3, x4, x5, x6, x7;
      std::memcpy(&x0, row + 0 * W, sizeof x0);
      std::memcpy(&x1, row + 1 * W, sizeof x1);
      std::memcpy(&x2, row + 2 * W, sizeof x2);
      std::memcpy(&x3, row + 3 * W, sizeof x3);
      std::memcpy(&x4, row + 4 * W, sizeof x4);
      std::memcpy(&x5, row + 5 * W, sizeof x5);
      std::memcpy(&x6, row + 6 * W, sizeof x6);
      std::memcpy(&x7, row + 7 * W, sizeof x7);
      a0 += x0 * kv;
      a1 += x1 * kv;
      a2 += x2 * kv;
      a3 += x3 * kv;
      a4 += x4 * kv;
      a5 += x5 * kv;
      a6 += x6 * kv;
      a7 += x7 * kv;
    }
    prevLo = lo;
    prevHi = hi;
    const double sc = plan.scale[p];
    uint8_t* o = out + static_cast<ptrdiff_t>(p) * L;
    const V sv = V{} + (sc != 0.0 ? sc : 1.0);
    const V top = V{} + 255.0;
    // Sums are never negative, so truncation is the floor; they stay below
    // 256, the clamp only guards the byte.
#define VANTREL_DMX_PUT(acc, at)                                                 \
  do {                                                                           \
    V v = sc != 0.0 ? acc / sv : acc;                                            \
    v = v > top ? top : v;                                                       \
    const VB b = __builtin_convertvector(__builtin_convertvector(v, VI), VB);   \
    std::memcpy(o + (at) * W, &b, sizeof b);                                     \
  } while (0)
    VANTREL_DMX_PUT(a0, 0);
    VANTREL_DMX_PUT(a1, 1);
    VANTREL_DMX_PUT(a2, 2);
    VANTREL_DMX_PUT(a3, 3);
    VANTREL_DMX_PUT(a4, 4);
    VANTREL_DMX_PUT(a5, 5);
    VANTREL_DMX_PUT(a6, 6);
    VANTREL_DMX_PUT(a7, 7);
#undef VANTREL_DMX_PUT
  }
}

void BlurLanes16(const LinePlan& plan, const double* k, const double* D, uint8_t* out) {
  BlurLanesImpl<V2, I2, B2, 2>(plan, k, D, out);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void BlurLanes32(const LinePlan& plan, const double* k,
                                                 const double* D, uint8_t* out) {
  BlurLanesImpl<V4, I4, B4, 4>(plan, k, D, out);
}
bool HaveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}
#else
void BlurLanes32(const LinePlan& plan, const double* k, const double* D, uint8_t* out) {
  BlurLanesImpl<V4, I4, B4, 4>(plan, k, D, out);
}
bool HaveAvx2() { return false; }
#endif

using BlurFn = void (*)(const LinePlan&, const double*, const double*, uint8_t*);

struct MergeRule {
  double alpha;
  int32_t theta;
  uint8_t operator()(int32_t s, int32_t f) const {
    int32_t d = s - f;
    if (std::abs(2 * d) < theta) d = 0;
    const double v = s + alpha * d;
    const int32_t iv = static_cast<int32_t>(v);
    return static_cast<uint8_t>(iv < 0 ? 0 : (iv > 255 ? 255 : iv));
  }
};

struct Job {
  const uint8_t* src = nullptr;
  uint8_t* dst = nullptr;
  ptrdiff_t srcStride = 0, dstStride = 0;
  int32_t B = 0;                 // bytes per pixel
  int32_t left = 0, top = 0;
  int32_t w = 0, hgt = 0;        // rectangle size in pixels
  size_t rowBytes = 0;           // w * B
};

// Rows of the rectangle, blurred along x, into T (hgt rows of rowBytes).
template <int L>
void HorizontalPass(const Job& job, const LinePlan& plan, const double* k, BlurFn blur, double* D,
                    uint8_t* out, uint8_t* T, const uint8_t** lanes) {
  const int32_t N = job.w, B = job.B;
  const size_t total = static_cast<size_t>(job.hgt) * B;
  for (size_t g0 = 0; g0 < total; g0 += L) {
    const int valid = static_cast<int>(std::min<size_t>(L, total - g0));
    for (int l = 0; l < valid; ++l) {
      const size_t g = g0 + l;
      lanes[l] = job.src + (job.top + static_cast<ptrdiff_t>(g / B)) * job.srcStride +
                 static_cast<ptrdiff_t>(job.left) * B + static_cast<ptrdiff_t>(g % B);
    }
    if (valid == L) {
      for (int32_t x = 0; x < N; ++x) {
        double* d = D + static_cast<ptrdiff_t>(x) * L;
        const ptrdiff_t at = static_cast<ptrdiff_t>(x) * B;
        for (int l = 0; l < L; ++l) d[l] = lanes[l][at];
      }
    } else {
      for (int32_t x = 0; x < N; ++x) {
        double* d = D + static_cast<ptrdiff_t>(x) * L;
        const ptrdiff_t at = static_cast<ptrdiff_t>(x) * B;
        int l = 0;
        for (; l < valid; ++l) d[l] = lanes[l][at];
        for (; l < L; ++l) d[l] = 0.0;
      }
    }
    blur(plan, k, D, out);
    for (int l = 0; l < valid; ++l) {
      const size_t g = g0 + l;
      uint8_t* t = T + (g / B) * job.rowBytes + g % B;
      for (int32_t x = 0; x < N; ++x) t[static_cast<ptrdiff_t>(x) * B] = out[static_cast<ptrdiff_t>(x) * L + l];
    }
  }
}

// Columns of T blurred along y, merged with the source into the destination.
template <int L>
void VerticalPassAndMerge(const Job& job, const LinePlan& plan, const double* k, BlurFn blur,
                          double* D, uint8_t* out, const uint8_t* T, const MergeRule& merge,
                          const uint8_t* table) {
  const int32_t N = job.hgt;
  for (size_t c0 = 0; c0 < job.rowBytes; c0 += L) {
    const int valid = static_cast<int>(std::min<size_t>(L, job.rowBytes - c0));
    if (valid == L) {
      for (int32_t y = 0; y < N; ++y) {
        double* d = D + static_cast<ptrdiff_t>(y) * L;
        const uint8_t* t = T + static_cast<size_t>(y) * job.rowBytes + c0;
        for (int l = 0; l < L; ++l) d[l] = t[l];
      }
    } else {
      for (int32_t y = 0; y < N; ++y) {
        double* d = D + static_cast<ptrdiff_t>(y) * L;
        const uint8_t* t = T + static_cast<size_t>(y) * job.rowBytes + c0;
        int l = 0;
        for (; l < valid; ++l) d[l] = t[l];
        for (; l < L; ++l) d[l] = 0.0;
      }
    }
    blur(plan, k, D, out);
    const ptrdiff_t x0 = static_cast<ptrdiff_t>(job.left) * job.B + static_cast<ptrdiff_t>(c0);
    for (int32_t y = 0; y < N; ++y) {
      const uint8_t* s = job.src + (job.top + static_cast<ptrdiff_t>(y)) * job.srcStride + x0;
      uint8_t* o = job.dst + (job.top + static_cast<ptrdiff_t>(y)) * job.dstStride + x0;
      const uint8_t* f = out + static_cast<ptrdiff_t>(y) * L;
      // Reading s[l] before writing o[l] keeps in-place work correct.
      if (table) {
        for (int l = 0; l < valid; ++l) o[l] = table[(static_cast<size_t>(s[l]) << 8) | f[l]];
      } else {
        for (int l = 0; l < valid; ++l) o[l] = merge(s[l], f[l]);
      }
    }
  }
}

bool ValidPicture(const DibView& v) {
  return v.width > 0 && v.height > 0 && v.bitCount >= 8 && v.bitCount % 8 == 0 && v.bits != nullptr;
}

}  // namespace

extern "C" int32_t OvoDmxUnsharp(CDataMatCtrl* reader, DibImage source, DibImage destination) {
  if (!reader) return -8;
  const double radius = reader->radius.load(std::memory_order_relaxed);
  const double amount = reader->amount.load(std::memory_order_relaxed);
  const int32_t theta = reader->threshold.load(std::memory_order_relaxed);
  const DibRect area = reader->Area();
  if (!(radius >= 0.1 && radius <= 120.0)) return -1;
  if (!(amount >= 0.0 && amount <= 10.0)) return -2;
  if (theta < 0 || theta > 255) return -3;
  if (!source || !destination) return -4;
  if (area.left < 0 || area.top < 0 || area.right < 0 || area.bottom < 0 ||
      area.left >= area.right || area.top >= area.bottom) {
    return -5;
  }
  // A destination of another size would be written out of its bounds.
  const DibView v = DibGetView(source);
  const DibView out = DibGetView(destination);
  if (!ValidPicture(v) || !ValidPicture(out)) return -7;
  const int32_t width = v.width, height = v.height;
  if (out.width != width || out.height != height || out.bitCount != v.bitCount) return -7;
  const int32_t right = std::min(area.right, width - 1);
  const int32_t bottom = std::min(area.bottom, height - 1);
  if (area.left > right || area.top > bottom) return -5;

  Job job;
  job.B = v.bitCount / 8;
  job.left = area.left;
  job.top = area.top;
  job.w = right - area.left + 1;
  job.hgt = bottom - area.top + 1;
  job.rowBytes = static_cast<size_t>(job.w) * static_cast<size_t>(job.B);
  job.src = v.bits;
  job.dst = DibGetBits(destination);  // the view only reads
  job.srcStride = v.stride;
  job.dstStride = out.stride;

  const bool wide = HaveAvx2() && vantrel::dmx::g_unsharpLanes.load(std::memory_order_relaxed) != 16;
  const int L = wide ? 32 : 16;
  const BlurFn blur = wide ? BlurLanes32 : BlurLanes16;
  const MergeRule merge{amount, theta};
  const size_t bytes = job.rowBytes * static_cast<size_t>(job.hgt);
  const bool useTable = bytes >= (size_t{1} << 17);

  // Everything is allocated before the first byte of the destination is written.
  try {
    using vantrel::dmx::WorkVector;
    const std::vector<double> plain = vantrel::dmx::UnsharpKernel(radius);
    const WorkVector<double> k(plain.begin(), plain.end());
    LinePlan rows, cols;
    MakePlan(k, job.w, &rows);
    MakePlan(k, job.hgt, &cols);
    const size_t longest = static_cast<size_t>(std::max(job.w, job.hgt));
    WorkVector<double> D(longest * L);
    WorkVector<uint8_t> out(longest * L);
    WorkVector<uint8_t> T(bytes);
    WorkVector<const uint8_t*> lanes(static_cast<size_t>(L));
    WorkVector<uint8_t> table;
    if (useTable) {
      table.resize(size_t{256} * 256);
      for (int32_t s = 0; s < 256; ++s)
        for (int32_t f = 0; f < 256; ++f) table[(static_cast<size_t>(s) << 8) | f] = merge(s, f);
    }
    const uint8_t* mergeTable = useTable ? table.data() : nullptr;
    if (wide) {
      HorizontalPass<32>(job, rows, k.data(), blur, D.data(), out.data(), T.data(), lanes.data());
      VerticalPassAndMerge<32>(job, cols, k.data(), blur, D.data(), out.data(), T.data(), merge,
                               mergeTable);
    } else {
      HorizontalPass<16>(job, rows, k.data(), blur, D.data(), out.data(), T.data(), lanes.data());
      VerticalPassAndMerge<16>(job, cols, k.data(), blur, D.data(), out.data(), T.data(), merge,
                               mergeTable);
    }
  } catch (const std::bad_alloc&) {
    return -6;
  } catch (const std::length_error&) {
    return -6;
  }
  return 0;
}

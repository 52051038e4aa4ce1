// Reed-Solomon over GF(256).
//
// Berlekamp-Massey finds the shortest error locator for the 2t syndromes; with
// at most t errors it is the true one, so every block within the capacity is
// corrected, whatever the arrangement of its errors. The work counter lets the
// decode bound the correction work as it bounds the sampling: a picture that
// breeds thousands of candidates cannot spend seconds on blocks that are noise.
#include "qr_reed_solomon.h"

#include <cstring>
#include <initializer_list>

namespace vantrel::qr {

namespace {

struct Field {
  uint8_t exp[256] = {};
  uint8_t log[256] = {};
};

constexpr Field kField = [] {
  Field f{};
  uint32_t x = 1;
  for (int32_t i = 0; i < 255; ++i) {
    f.exp[i] = static_cast<uint8_t>(x);
    f.log[x] = static_cast<uint8_t>(i);
    x <<= 1;
    if (x & 0x100) x ^= 0x11D;
  }
  f.exp[255] = 1;
  return f;
}();

// Generator polynomials g_e(x) = (x - a^0) ... (x - a^(e-1)) for the counts in
// use, as logs of the coefficients of x^(e-1) down to x^0 (the leading 1 implied).
constexpr int32_t kMaxCheckBytes = 68;
struct Generators {
  bool present[kMaxCheckBytes + 1] = {};
  uint8_t logs[kMaxCheckBytes + 1][kMaxCheckBytes] = {};
};

constexpr uint8_t ConstMul(uint8_t a, uint8_t b) {
  if (a == 0 || b == 0) return 0;
  return kField.exp[(kField.log[a] + kField.log[b]) % 255];
}

constexpr Generators kGenerators = [] {
  Generators g{};
  auto make = [&g](int32_t e) {
    uint8_t poly[kMaxCheckBytes + 1] = {};  // poly[i]: coefficient of x^i
    poly[0] = 1;
    for (int32_t r = 0; r < e; ++r) {
      const uint8_t root = kField.exp[r];
      for (int32_t i = r + 1; i >= 1; --i) poly[i] = static_cast<uint8_t>(poly[i - 1] ^ ConstMul(poly[i], root));
      poly[0] = ConstMul(poly[0], root);
    }
    g.present[e] = true;
    for (int32_t j = 0; j < e; ++j) g.logs[e][j] = kField.log[poly[e - 1 - j]];
  };
  for (int32_t e : {7, 10, 13, 15, 16, 17, 18, 20, 22, 24, 26, 28, 30}) make(e);
  for (int32_t e = 32; e <= kMaxCheckBytes; e += 2) make(e);
  return g;
}();

// Every product, so that the solver's and the root search's inner loops are
// one lookup per product.
struct Products {
  uint8_t p[256][256];
};
const Products& ProductTable() {
  static const Products* table = [] {
    auto* t = new Products;
    for (int32_t a = 0; a < 256; ++a)
      for (int32_t b = 0; b < 256; ++b)
        t->p[a][b] = (a == 0 || b == 0) ? 0 : kField.exp[(kField.log[a] + kField.log[b]) % 255];
    return t;
  }();
  return *table;
}

}  // namespace

uint8_t GfMul(uint8_t a, uint8_t b) { return ProductTable().p[a][b]; }

uint8_t GfDiv(uint8_t a, uint8_t b) {
  if (a == 0 || b == 0) return 0;
  return kField.exp[(kField.log[a] - kField.log[b] + 255) % 255];
}

uint8_t GfPow(int32_t power) { return kField.exp[power % 255]; }

bool RsCheck(const uint8_t* block, int32_t c, int32_t k, QrRsWork* work) {
  const int32_t e = c - k;
  if (c > kMaxBlockBytes || k < 0 || e <= 0 || e > kMaxCheckBytes || !kGenerators.present[e])
    return false;
  uint8_t* r = work->copy;
  std::memcpy(r, block, static_cast<size_t>(c));
  // Long division: each step cancels the leading byte and drops it.
  for (int32_t step = 0; step < k; ++step) {
    const uint8_t b = r[step];
    if (b == 0) continue;
    const int32_t lb = kField.log[b];
    for (int32_t j = 0; j < e; ++j)
      r[step + 1 + j] ^= kField.exp[(kGenerators.logs[e][j] + lb) % 255];
  }
  for (int32_t j = 0; j < e; ++j)
    if (r[k + j] != 0) return false;
  return true;
}

bool RsCorrect(uint8_t* block, int32_t c, int32_t k, int32_t t, QrRsWork* w) {
  w->spent += int64_t{c} * (c - k);
  if (RsCheck(block, c, k, w)) return true;
  if (w->Exhausted()) return false;
  const auto& mul = ProductTable().p;
  if (c > kMaxBlockBytes || t < 1) return false;
  if (t > kMaxCorrectable) t = kMaxCorrectable;
  if (2 * t > c - k) return false;
  const int32_t n2t = 2 * t;

  // Syndromes S_j = sum of r_i alpha^(j (c - 1 - i)), in logs: the terms are
  // independent lookups rather than one chain of products.
  uint8_t* S = w->syndromes;
  int32_t powers[kMaxBlockBytes], steps[kMaxBlockBytes];
  int32_t terms = 0;
  for (int32_t i = 0; i < c; ++i)
    if (block[i] != 0) {
      steps[terms] = (c - 1 - i) % 255;
      powers[terms] = kField.log[block[i]];
      ++terms;
    }
  w->spent += int64_t{terms} * n2t;
  for (int32_t j = 0; j < n2t; ++j) {
    uint8_t sum = 0;
    for (int32_t n = 0; n < terms; ++n) {
      sum ^= kField.exp[powers[n]];
      powers[n] += steps[n];
      if (powers[n] >= 255) powers[n] -= 255;
    }
    S[j] = sum;
  }

  // Berlekamp-Massey: the shortest recurrence Lambda(x) = 1 + L1 x + ... that
  // generates the syndromes.
  uint8_t lambda[2 * kMaxCorrectable + 1] = {1};
  uint8_t prior[2 * kMaxCorrectable + 1] = {1};
  int32_t L = 0, shift = 1;
  uint8_t priorDiscrepancy = 1;
  for (int32_t r = 0; r < n2t; ++r) {
    uint8_t d = S[r];
    for (int32_t i = 1; i <= L; ++i) d ^= mul[lambda[i]][S[r - i]];
    if (d == 0) {
      ++shift;
      continue;
    }
    const uint8_t scale = GfDiv(d, priorDiscrepancy);
    const uint8_t* byScale = mul[scale];
    if (2 * L <= r) {
      uint8_t saved[2 * kMaxCorrectable + 1];
      std::memcpy(saved, lambda, sizeof saved);
      for (int32_t i = 0; i + shift <= n2t; ++i) lambda[i + shift] ^= byScale[prior[i]];
      std::memcpy(prior, saved, sizeof prior);
      L = r + 1 - L;
      priorDiscrepancy = d;
      shift = 1;
    } else {
      for (int32_t i = 0; i + shift <= n2t; ++i) lambda[i + shift] ^= byScale[prior[i]];
      ++shift;
    }
  }
  w->spent += int64_t{n2t} * n2t;
  // More errors than the block may correct: refused before any is located.
  if (L > t) return false;
  for (int32_t i = L + 1; i <= n2t; ++i)
    if (lambda[i] != 0) return false;

  // Roots: power p is an error position where Lambda(alpha^-p) = 0; term m
  // advances by alpha^-m from one p to the next.
  uint8_t term[kMaxCorrectable + 1], step[kMaxCorrectable + 1];
  for (int32_t m = 0; m <= L; ++m) {
    term[m] = lambda[m];
    step[m] = GfPow((255 - m) % 255);
  }
  int32_t found = 0;
  w->spent += int64_t{c} * (L + 1);
  for (int32_t p = 0; p < c; ++p) {
    uint8_t sum = 0;
    for (int32_t m = 0; m <= L; ++m) {
      sum ^= term[m];
      term[m] = mul[term[m]][step[m]];
    }
    if (sum == 0) {
      if (found == L) return false;
      w->positions[found++] = p;
    }
  }
  if (found != L) return false;

  // Values by Forney: with Omega = S Lambda mod x^2t, the error at X = alpha^p
  // is X Omega(X^-1) / Lambda'(X^-1) (the generator's roots start at alpha^0).
  uint8_t omega[2 * kMaxCorrectable] = {};
  for (int32_t i = 0; i < n2t; ++i) {
    uint8_t v = 0;
    for (int32_t j = 0; j <= i && j <= L; ++j) v ^= mul[lambda[j]][S[i - j]];
    omega[i] = v;
  }
  uint8_t values[kMaxCorrectable];
  for (int32_t m = 0; m < L; ++m) {
    const int32_t p = w->positions[m];
    const uint8_t inverse = GfPow((255 - p % 255) % 255);  // X^-1
    uint8_t num = 0, power = 1;
    for (int32_t i = 0; i < n2t; ++i) {
      num ^= mul[omega[i]][power];
      power = mul[power][inverse];
    }
    // Lambda'(X^-1) = sum over odd i of Lambda_i X^-(i-1).
    uint8_t deriv = 0, pw = 1;
    const uint8_t inverse2 = mul[inverse][inverse];
    for (int32_t i = 1; i <= L; i += 2) {
      deriv ^= mul[lambda[i]][pw];
      pw = mul[pw][inverse2];
    }
    if (deriv == 0) return false;
    values[m] = mul[GfPow(p % 255)][GfDiv(num, deriv)];
  }
  w->spent += int64_t{L} * n2t;

  for (int32_t m = 0; m < L; ++m) block[c - 1 - w->positions[m]] ^= values[m];
  if (RsCheck(block, c, k, w)) return true;
  for (int32_t m = 0; m < L; ++m) block[c - 1 - w->positions[m]] ^= values[m];
  return false;
}

}  // namespace vantrel::qr

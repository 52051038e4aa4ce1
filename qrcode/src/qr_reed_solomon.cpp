// Reed-Solomon over GF(256).
//
// The solver needs no division until the end and no row exchanges: each pass
// eliminates the first unknown by cross-multiplying every row with the pivot
// row. A zero final pivot fails the solve, and the caller tries the next
// rotation of the rows.
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

bool RsSolve(QrRsWork* w, int32_t s) {
  const auto& mul = ProductTable().p;
  auto& A = w->system;
  auto& W = w->working;
  for (int32_t q = s; q >= 1; --q) {
    for (int32_t r = 0; r < q; ++r)
      for (int32_t col = 0; col <= q; ++col) W[r][col] = A[r][col];
    for (int32_t z = q; z >= 2; --z) {
      const uint8_t* pivotRow = W[z - 1];
      const uint8_t* byPivot = mul[pivotRow[0]];
      for (int32_t r = 0; r <= z - 2; ++r) {
        const uint8_t* byFirst = mul[W[r][0]];
        uint8_t* row = W[r];
        for (int32_t col = 0; col <= z - 1; ++col) row[col] = byPivot[row[col + 1]] ^ byFirst[pivotRow[col + 1]];
      }
    }
    if (W[0][0] == 0) return false;
    const uint8_t x = GfDiv(W[0][1], W[0][0]);
    w->solution[q - 1] = x;
    for (int32_t r = 0; r <= q - 2; ++r) A[r][q - 1] = A[r][q] ^ mul[A[r][q - 1]][x];
  }
  return true;
}

namespace {

// Solves the nu x nu system whose equation i is given by fill(i, row), trying
// each rotation of the row order until one succeeds.
template <typename Fill>
bool SolveRotated(QrRsWork* w, int32_t nu, Fill fill) {
  for (int32_t rho = 0; rho < nu; ++rho) {
    for (int32_t i = 0; i < nu; ++i) fill(i, w->system[(rho + i) % nu]);
    if (RsSolve(w, nu)) return true;
  }
  return false;
}

}  // namespace

bool RsCorrect(uint8_t* block, int32_t c, int32_t k, int32_t t, QrRsWork* w) {
  if (RsCheck(block, c, k, w)) return true;
  const auto& mul = ProductTable().p;
  if (c > kMaxBlockBytes || t < 1) return false;
  if (t > kMaxCorrectable) t = kMaxCorrectable;
  if (2 * t > c - k) return false;

  // Syndromes S_j = sum of r_i alpha^(j (c - 1 - i)), in logs: the terms are
  // independent lookups rather than one chain of products.
  uint8_t* S = w->syndromes;
  int32_t logs[kMaxBlockBytes], powers[kMaxBlockBytes], steps[kMaxBlockBytes];
  int32_t terms = 0;
  for (int32_t i = 0; i < c; ++i)
    if (block[i] != 0) {
      logs[terms] = kField.log[block[i]];
      steps[terms] = (c - 1 - i) % 255;
      powers[terms] = logs[terms];
      ++terms;
    }
  for (int32_t j = 0; j < 2 * t; ++j) {
    uint8_t sum = 0;
    for (int32_t n = 0; n < terms; ++n) {
      sum ^= kField.exp[powers[n]];
      powers[n] += steps[n];
      if (powers[n] >= 255) powers[n] -= 255;
    }
    S[j] = sum;
  }

  for (int32_t nu = 1; nu <= t; ++nu) {
    // Error locator: sum_m lambda_m S_(i+m) = S_(i+nu).
    const bool located = SolveRotated(w, nu, [&](int32_t i, uint8_t* row) {
      for (int32_t m = 0; m < nu; ++m) row[m] = S[i + m];
      row[nu] = S[i + nu];
    });
    if (!located) continue;
    uint8_t lambda[kMaxCorrectable];
    std::memcpy(lambda, w->solution, static_cast<size_t>(nu));

    // Roots: p is an error position where alpha^(p nu) equals the sum of
    // lambda_m alpha^(p m); the terms advance by alpha^m from one p to the next.
    uint8_t term[kMaxCorrectable], step[kMaxCorrectable];
    for (int32_t m = 0; m < nu; ++m) {
      term[m] = lambda[m];
      step[m] = GfPow(m);
    }
    const uint8_t stepNu = GfPow(nu);
    uint8_t power = 1;  // alpha^(p nu)
    int32_t found = 0;
    for (int32_t p = 0; p < c; ++p) {
      uint8_t sum = 0;
      for (int32_t m = 0; m < nu; ++m) {
        sum ^= term[m];
        term[m] = mul[term[m]][step[m]];
      }
      if (power == sum) {
        if (found == nu) {
          found = nu + 1;
          break;
        }
        w->positions[found++] = p;
      }
      power = mul[power][stepNu];
    }
    if (found != nu) continue;

    // Error values: sum_m Y_m alpha^(p_m i) = S_i.
    const bool valued = SolveRotated(w, nu, [&](int32_t i, uint8_t* row) {
      for (int32_t m = 0; m < nu; ++m) row[m] = GfPow(w->positions[m] * i);
      row[nu] = S[i];
    });
    if (!valued) continue;

    for (int32_t m = 0; m < nu; ++m) block[c - 1 - w->positions[m]] ^= w->solution[m];
    if (RsCheck(block, c, k, w)) return true;
    for (int32_t m = 0; m < nu; ++m) block[c - 1 - w->positions[m]] ^= w->solution[m];
  }
  return false;
}

}  // namespace vantrel::qr

#include "datamatrix/src/dmx_symbol.h"

#include <algorithm>
#include <array>

namespace vantrel::dmx {

namespace {

// ---------------------------------------------------------------------------
// Module placement. Codewords are laid in diagonal strokes of eight modules
// ("utah" shape) across the mapping area, with four special corner shapes;
// each cell of the mapping area receives codeword * 8 + bit (bit 0 the most
// significant), or -1 where nothing is placed (the fixed corner pattern).

class Placement {
 public:
  Placement(int32_t nrow, int32_t ncol)
      : nrow_(nrow), ncol_(ncol), cell_(static_cast<size_t>(nrow) * ncol, -1) {
    int32_t chr = 0, row = 4, col = 0;
    do {
      if (row == nrow_ && col == 0) Corner1(chr++);
      if (row == nrow_ - 2 && col == 0 && ncol_ % 4 != 0) Corner2(chr++);
      if (row == nrow_ - 2 && col == 0 && ncol_ % 8 == 4) Corner3(chr++);
      if (row == nrow_ + 4 && col == 2 && ncol_ % 8 == 0) Corner4(chr++);
      // Up and to the right...
      do {
        if (row < nrow_ && col >= 0 && Free(row, col)) Utah(row, col, chr++);
        row -= 2;
        col += 2;
      } while (row >= 0 && col < ncol_);
      row += 1;
      col += 3;
      // ...then down and to the left.
      do {
        if (row >= 0 && col < ncol_ && Free(row, col)) Utah(row, col, chr++);
        row += 2;
        col -= 2;
      } while (row < nrow_ && col >= 0);
      row += 3;
      col += 1;
    } while (row < nrow_ || col < ncol_);
  }
  // codeword * 8 + bit, or -1.
  int32_t At(int32_t row, int32_t col) const { return cell_[static_cast<size_t>(row) * ncol_ + col]; }

 private:
  bool Free(int32_t row, int32_t col) const { return At(row, col) < 0; }
  void Module(int32_t row, int32_t col, int32_t chr, int32_t bit) {
    if (row < 0) {
      row += nrow_;
      col += 4 - ((nrow_ + 4) % 8);
    }
    if (col < 0) {
      col += ncol_;
      row += 4 - ((ncol_ + 4) % 8);
    }
    // Some rectangular extensions (24 mapping rows, 36 or 44 columns) wrap
    // past the last row here.
    if (row >= nrow_) row -= nrow_;
    if (row < 0 || row >= nrow_ || col < 0 || col >= ncol_) return;  // never for valid sizes
    cell_[static_cast<size_t>(row) * ncol_ + col] = chr * 8 + bit;
  }
  void Utah(int32_t row, int32_t col, int32_t chr) {
    Module(row - 2, col - 2, chr, 0);
    Module(row - 2, col - 1, chr, 1);
    Module(row - 1, col - 2, chr, 2);
    Module(row - 1, col - 1, chr, 3);
    Module(row - 1, col, chr, 4);
    Module(row, col - 2, chr, 5);
    Module(row, col - 1, chr, 6);
    Module(row, col, chr, 7);
  }
  void Corner1(int32_t chr) {
    Module(nrow_ - 1, 0, chr, 0);
    Module(nrow_ - 1, 1, chr, 1);
    Module(nrow_ - 1, 2, chr, 2);
    Module(0, ncol_ - 2, chr, 3);
    Module(0, ncol_ - 1, chr, 4);
    Module(1, ncol_ - 1, chr, 5);
    Module(2, ncol_ - 1, chr, 6);
    Module(3, ncol_ - 1, chr, 7);
  }
  void Corner2(int32_t chr) {
    Module(nrow_ - 3, 0, chr, 0);
    Module(nrow_ - 2, 0, chr, 1);
    Module(nrow_ - 1, 0, chr, 2);
    Module(0, ncol_ - 4, chr, 3);
    Module(0, ncol_ - 3, chr, 4);
    Module(0, ncol_ - 2, chr, 5);
    Module(0, ncol_ - 1, chr, 6);
    Module(1, ncol_ - 1, chr, 7);
  }
  void Corner3(int32_t chr) {
    Module(nrow_ - 3, 0, chr, 0);
    Module(nrow_ - 2, 0, chr, 1);
    Module(nrow_ - 1, 0, chr, 2);
    Module(0, ncol_ - 2, chr, 3);
    Module(0, ncol_ - 1, chr, 4);
    Module(1, ncol_ - 1, chr, 5);
    Module(2, ncol_ - 1, chr, 6);
    Module(3, ncol_ - 1, chr, 7);
  }
  void Corner4(int32_t chr) {
    Module(nrow_ - 1, 0, chr, 0);
    Module(nrow_ - 1, ncol_ - 1, chr, 1);
    Module(0, ncol_ - 3, chr, 2);
    Module(0, ncol_ - 2, chr, 3);
    Module(0, ncol_ - 1, chr, 4);
    Module(1, ncol_ - 3, chr, 5);
    Module(1, ncol_ - 2, chr, 6);
    Module(1, ncol_ - 1, chr, 7);
  }

  int32_t nrow_, ncol_;
  std::vector<int32_t> cell_;
};

// Symbol row (column) of a mapping row (column): regions are framed by one
// finder and one timing module on each side.
int32_t SymbolIndex(int32_t mapping, int32_t regionSize) {
  return mapping / regionSize * (regionSize + 2) + 1 + mapping % regionSize;
}

// ---------------------------------------------------------------------------
// GF(256) with the polynomial x^8 + x^5 + x^3 + x^2 + 1 (0x12D); the check
// words of a block make its polynomial vanish at alpha^1 ... alpha^n.

struct Field {
  std::array<uint8_t, 512> exp{};
  std::array<int32_t, 256> log{};
  constexpr Field() {
    int32_t x = 1;
    for (int32_t i = 0; i < 255; ++i) {
      exp[i] = static_cast<uint8_t>(x);
      log[x] = i;
      x <<= 1;
      if (x & 0x100) x ^= 0x12D;
    }
    for (int32_t i = 255; i < 512; ++i) exp[i] = exp[i - 255];
    log[0] = 0;
  }
  constexpr uint8_t Mul(uint8_t a, uint8_t b) const {
    return (a == 0 || b == 0) ? 0 : exp[log[a] + log[b]];
  }
  constexpr uint8_t Div(uint8_t a, uint8_t b) const {  // b != 0
    return a == 0 ? 0 : exp[log[a] + 255 - log[b]];
  }
  constexpr uint8_t Inv(uint8_t a) const { return exp[255 - log[a]]; }
};
constexpr Field kField;
static_assert(kField.exp[8] == 0x2D && kField.exp[255] == 1, "GF(256) over 0x12D");

// Words of block b: the interleaving takes every blocks-th word of the data,
// then every blocks-th check word. The check words of the 144 x 144 symbol
// start with block 8 (its two last blocks hold one data word less); some
// encoders lay them from block 0 like every other size, and those symbols are
// read too.
int32_t FirstCheckWord(const SymbolSize& size, int32_t b, int32_t rotate) {
  return (b + size.blocks - rotate) % size.blocks;
}

void GatherBlock(const SymbolSize& size, const uint8_t* words, int32_t b, int32_t rotate,
                 std::vector<uint8_t>* out) {
  out->clear();
  for (int32_t i = b; i < size.dataWords; i += size.blocks) out->push_back(words[i]);
  for (int32_t i = FirstCheckWord(size, b, rotate); i < size.ecWords; i += size.blocks)
    out->push_back(words[size.dataWords + i]);
}

void ScatterBlock(const SymbolSize& size, const std::vector<uint8_t>& block, int32_t b, int32_t rotate,
                  uint8_t* words) {
  size_t k = 0;
  for (int32_t i = b; i < size.dataWords; i += size.blocks) words[i] = block[k++];
  for (int32_t i = FirstCheckWord(size, b, rotate); i < size.ecWords; i += size.blocks)
    words[size.dataWords + i] = block[k++];
}

// The check-word layouts to try: the standard one first.
std::vector<int32_t> Rotations(const SymbolSize& size) {
  if (size.rows == 144) return {8, 0};
  return {0};
}

// Syndromes S_1 ... S_n of a block (first word the highest power). True when all are 0.
bool Syndromes(const std::vector<uint8_t>& block, int32_t n, std::vector<uint8_t>* s) {
  s->assign(static_cast<size_t>(n), 0);
  bool zero = true;
  for (int32_t j = 0; j < n; ++j) {
    const uint8_t root = kField.exp[j + 1];
    uint8_t v = 0;
    for (uint8_t w : block) v = kField.Mul(v, root) ^ w;
    (*s)[j] = v;
    if (v != 0) zero = false;
  }
  return zero;
}

// Corrects one block of length N with n check words: Berlekamp-Massey for the
// error locator, a search over the block's positions for its roots, Forney
// for the values. False when the errors are more than the locator explains.
bool CorrectBlock(std::vector<uint8_t>* block, int32_t n, int32_t* changed) {
  std::vector<uint8_t> s;
  if (Syndromes(*block, n, &s)) return true;
  const int32_t N = static_cast<int32_t>(block->size());

  std::vector<uint8_t> lambda(static_cast<size_t>(n) + 1, 0), prev(static_cast<size_t>(n) + 1, 0);
  lambda[0] = prev[0] = 1;
  int32_t L = 0, m = 1;
  uint8_t b = 1;
  for (int32_t k = 0; k < n; ++k) {
    uint8_t d = s[k];
    for (int32_t i = 1; i <= L; ++i) d ^= kField.Mul(lambda[i], s[k - i]);
    if (d == 0) {
      ++m;
      continue;
    }
    const uint8_t coef = kField.Div(d, b);
    if (2 * L <= k) {
      const std::vector<uint8_t> t = lambda;
      for (int32_t i = 0; i + m <= n; ++i) lambda[i + m] ^= kField.Mul(coef, prev[i]);
      L = k + 1 - L;
      prev = t;
      b = d;
      m = 1;
    } else {
      for (int32_t i = 0; i + m <= n; ++i) lambda[i + m] ^= kField.Mul(coef, prev[i]);
      ++m;
    }
  }
  if (L == 0 || 2 * L > n) return false;

  // Omega = S(x) Lambda(x) mod x^n, with S(x) = S_1 + S_2 x + ...
  std::vector<uint8_t> omega(static_cast<size_t>(n), 0);
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = 0; j <= L && j <= i; ++j) omega[i] ^= kField.Mul(s[i - j], lambda[j]);

  // Word at index i stands for x^(N-1-i): its locator is alpha^(N-1-i).
  std::vector<std::pair<int32_t, uint8_t>> fixes;
  for (int32_t i = 0; i < N; ++i) {
    const int32_t power = N - 1 - i;
    const uint8_t xinv = kField.exp[(255 - power) % 255];
    uint8_t v = 0;  // Lambda(X^-1)
    for (int32_t j = L; j >= 0; --j) v = kField.Mul(v, xinv) ^ lambda[j];
    if (v != 0) continue;
    uint8_t num = 0;  // Omega(X^-1)
    for (int32_t j = n - 1; j >= 0; --j) num = kField.Mul(num, xinv) ^ omega[j];
    uint8_t den = 0;  // Lambda'(X^-1): the odd terms
    for (int32_t j = 1; j <= L; j += 2) {
      uint8_t term = lambda[j];
      for (int32_t e = 0; e < j - 1; ++e) term = kField.Mul(term, xinv);
      den ^= term;
    }
    if (den == 0) return false;
    fixes.emplace_back(i, kField.Div(num, den));
  }
  if (static_cast<int32_t>(fixes.size()) != L) return false;
  for (const auto& [i, e] : fixes) (*block)[i] ^= e;
  if (!Syndromes(*block, n, &s)) return false;
  *changed += L;
  return true;
}

}  // namespace

const SymbolSize* FindSymbolSize(int32_t rows, int32_t cols) {
  for (const SymbolSize& s : kSymbolSizes)
    if (s.rows == rows && s.cols == cols) return &s;
  return nullptr;
}

std::vector<uint8_t> ReadCodewords(const ModuleGrid& grid, const SymbolSize& size) {
  std::vector<uint8_t> words(static_cast<size_t>(size.TotalWords()), 0);
  if (grid.rows != size.rows || grid.cols != size.cols) return words;
  const int32_t nrow = size.MappingRows(), ncol = size.MappingCols();
  const Placement place(nrow, ncol);
  for (int32_t r = 0; r < nrow; ++r) {
    const int32_t sr = SymbolIndex(r, size.regionRows);
    for (int32_t c = 0; c < ncol; ++c) {
      const int32_t p = place.At(r, c);
      if (p < 0 || p / 8 >= size.TotalWords()) continue;
      if (grid.At(sr, SymbolIndex(c, size.regionCols))) words[p / 8] |= static_cast<uint8_t>(0x80 >> (p % 8));
    }
  }
  return words;
}

ModuleGrid PlaceCodewords(const std::vector<uint8_t>& codewords, const SymbolSize& size) {
  ModuleGrid g;
  g.rows = size.rows;
  g.cols = size.cols;
  g.on.assign(static_cast<size_t>(g.rows) * g.cols, 0);
  auto set = [&](int32_t r, int32_t c, bool v) { g.on[static_cast<size_t>(r) * g.cols + c] = v ? 1 : 0; };
  const int32_t rh = size.regionRows + 2, cw = size.regionCols + 2;
  for (int32_t r = 0; r < g.rows; ++r)
    for (int32_t c = 0; c < g.cols; ++c) {
      const int32_t lr = r % rh, lc = c % cw;
      if (lc == 0 || lr == rh - 1) set(r, c, true);                        // finder
      else if (lr == 0) set(r, c, c % 2 == 0);                             // top timing
      else if (lc == cw - 1) set(r, c, (rh - 1 - lr) % 2 == 0);            // right timing
    }
  const int32_t nrow = size.MappingRows(), ncol = size.MappingCols();
  const Placement place(nrow, ncol);
  for (int32_t r = 0; r < nrow; ++r)
    for (int32_t c = 0; c < ncol; ++c) {
      const int32_t p = place.At(r, c);
      bool v;
      if (p < 0) {
        // The fixed pattern of an unfilled bottom-right corner: dark on its diagonal.
        v = (r == nrow - 1 && c == ncol - 1) || (r == nrow - 2 && c == ncol - 2);
      } else {
        const size_t w = static_cast<size_t>(p / 8);
        v = w < codewords.size() && (codewords[w] & (0x80 >> (p % 8)));
      }
      set(SymbolIndex(r, size.regionRows), SymbolIndex(c, size.regionCols), v);
    }
  return g;
}

bool CorrectCodewords(const SymbolSize& size, uint8_t* codewords, size_t count, int32_t* corrected) {
  if (!codewords || count != static_cast<size_t>(size.TotalWords())) return false;
  const int32_t n = size.ecWords / size.blocks;
  std::vector<std::vector<uint8_t>> blocks(static_cast<size_t>(size.blocks));
  for (int32_t rotate : Rotations(size)) {
    int32_t changed = 0;
    bool ok = true;
    for (int32_t b = 0; ok && b < size.blocks; ++b) {
      GatherBlock(size, codewords, b, rotate, &blocks[b]);
      ok = CorrectBlock(&blocks[b], n, &changed);
    }
    if (!ok) continue;
    for (int32_t b = 0; b < size.blocks; ++b) ScatterBlock(size, blocks[b], b, rotate, codewords);
    if (corrected) *corrected = changed;
    return true;
  }
  return false;
}

bool CodewordsConsistent(const SymbolSize& size, const uint8_t* codewords, size_t count) {
  if (!codewords || count != static_cast<size_t>(size.TotalWords())) return false;
  std::vector<uint8_t> block, s;
  for (int32_t rotate : Rotations(size)) {
    bool ok = true;
    for (int32_t b = 0; ok && b < size.blocks; ++b) {
      GatherBlock(size, codewords, b, rotate, &block);
      ok = Syndromes(block, size.ecWords / size.blocks, &s);
    }
    if (ok) return true;
  }
  return false;
}

std::vector<uint8_t> EncodeCheckWords(const SymbolSize& size, const std::vector<uint8_t>& data) {
  const int32_t n = size.ecWords / size.blocks;
  // Generator (x - alpha^1) ... (x - alpha^n), highest power first.
  std::vector<uint8_t> gen{1};
  for (int32_t i = 1; i <= n; ++i) {
    std::vector<uint8_t> next(gen.size() + 1, 0);
    for (size_t j = 0; j < gen.size(); ++j) {
      next[j] ^= gen[j];
      next[j + 1] ^= kField.Mul(gen[j], kField.exp[i]);
    }
    gen = next;
  }
  std::vector<uint8_t> ec(static_cast<size_t>(size.ecWords), 0);
  for (int32_t b = 0; b < size.blocks; ++b) {
    std::vector<uint8_t> rem(static_cast<size_t>(n), 0);
    for (int32_t i = b; i < size.dataWords && i < static_cast<int32_t>(data.size()); i += size.blocks) {
      const uint8_t f = data[i] ^ rem[0];
      std::rotate(rem.begin(), rem.begin() + 1, rem.end());
      rem.back() = 0;
      for (int32_t j = 0; j < n; ++j) rem[j] ^= kField.Mul(f, gen[j + 1]);
    }
    const int32_t first = FirstCheckWord(size, b, Rotations(size).front());
    for (int32_t j = 0; j < n; ++j) ec[static_cast<size_t>(first + j * size.blocks)] = rem[j];
  }
  return ec;
}

}  // namespace vantrel::dmx

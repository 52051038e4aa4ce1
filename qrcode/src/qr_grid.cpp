// Sampling grid.
//
// The grid is not one projective transform but a set of lines of module
// centres. The base grid places row 0, the timing row 6, column 0 and the
// timing column 6 on the three finder patterns. Version 1 finds its last module
// where its last row and column meet; versions 2 to 6 steer that corner through
// their one alignment pattern; versions 7 to 40 predict every alignment pattern
// from lines through points already placed, refine it with a local search and
// re-fill the lines between placed points.
#include "qr_grid.h"

#include <cmath>
#include <limits>

#include "qr_geometry.h"

namespace vantrel::qr {

namespace {

// Fills line[j0 + 1 .. j1 - 1] from the two end points, the step between
// neighbours growing by d per module.
void Interp(QrPoint* line, int32_t j0, int32_t j1, QrPoint d) {
  const int32_t m = j1 - j0;
  if (m < 2) return;
  const QrPoint c = (line[j1] - line[j0] - d * static_cast<float>(m * (m - 1) / 2)) /
                    static_cast<float>(m);
  for (int32_t i = 1; i < m; ++i)
    line[j0 + i] = line[j0] + c * static_cast<float>(i) + d * static_cast<float>(i * (i - 1) / 2);
}

// line[j2] from the known points at j0 and j1.
void Extrap(QrPoint* line, int32_t j0, int32_t j1, int32_t j2, QrPoint d) {
  const int32_t k = j2 - j1;
  line[j2] = line[j1] + (line[j1] - line[j0]) / static_cast<float>(j1 - j0) * static_cast<float>(k) +
             d * static_cast<float>((k + 1) * k / 2);
}

// Where two segments, extended as lines, meet. Parallel lines give a point
// that is not finite, which every later stage treats as outside the picture.
QrPoint Meet(QrPoint p1, QrPoint p2, QrPoint q1, QrPoint q2) {
  QrPoint r;
  if (Intersect(p1, p2, q1, q2, &r)) return r;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  return {nan, nan};
}

// Alignment search offsets in half modules: the centre, then the square rings
// at distance 1, 2 and 3, each from (-r, -r) along increasing a, increasing b,
// decreasing a and decreasing b.
struct Offset {
  int8_t a, b;
};
constexpr int32_t kSearchOffsets = 49;
constexpr auto kSearchTable = [] {
  struct Table {
    Offset o[kSearchOffsets];
  } t{};
  int32_t k = 0;
  t.o[k++] = {0, 0};
  for (int8_t r = 1; r <= 3; ++r) {
    for (int8_t a = -r; a <= r; ++a) t.o[k++] = {a, static_cast<int8_t>(-r)};
    for (int8_t b = static_cast<int8_t>(-r + 1); b <= r; ++b) t.o[k++] = {r, b};
    for (int8_t a = static_cast<int8_t>(r - 1); a >= -r; --a) t.o[k++] = {a, r};
    for (int8_t b = static_cast<int8_t>(r - 1); b >= -r + 1; --b) t.o[k++] = {static_cast<int8_t>(-r), b};
  }
  return t;
}();

// One direction of the grid: its lines (module rows or module columns) and
// how their step grows per module. The grid is built by the same moves in
// both directions; each move below is written once for a direction `a` and
// the crossing direction `b`, and made for the rows and then for the columns.
class Direction {
 public:
  Direction(QrPoint (*lines)[kMatrixSide], const QrPoint& d) : lines_(lines), d_(d) {}

  QrPoint* operator[](int32_t i) const { return lines_[i]; }
  // Line i between its points j0 and j1.
  void Fill(int32_t i, int32_t j0, int32_t j1) const { Interp(lines_[i], j0, j1, d_); }
  // Line i's point j2 from its points j0 and j1.
  void Extend(int32_t i, int32_t j0, int32_t j1, int32_t j2) const { Extrap(lines_[i], j0, j1, j2, d_); }

 private:
  QrPoint (*lines_)[kMatrixSide];
  QrPoint d_;
};

class GridBuilder {
 public:
  GridBuilder(const QrBinaryImage& img, QrGrid* g)
      : img_(img), g_(*g), rows_(g->rowLine, g->du), columns_(g->columnLine, g->dv) {}

  void Base(const QrPoint* P) {
    const int32_t N = g_.N;
    const QrPoint du = g_.du, dv = g_.dv;
    const Direction& R = rows_;
    const Direction& C = columns_;
    // Half steps at the finders: over its 7 modules the first step is
    // (side - 21 d) / 7 and the last one 6 d larger.
    const QrPoint hAu = (P[1] - P[0] - du * 21.0f) / 7.0f * 0.5f;
    const QrPoint hAv = (P[3] - P[0] - dv * 21.0f) / 7.0f * 0.5f;
    const QrPoint hBu = (P[5] - P[4] - du * 21.0f) / 7.0f * 0.5f;
    const QrPoint hBv = (P[7] - P[4] - dv * 21.0f) / 7.0f * 0.5f;
    const QrPoint hCu = (P[9] - P[8] - du * 21.0f) / 7.0f * 0.5f;
    const QrPoint hCv = (P[11] - P[8] - dv * 21.0f) / 7.0f * 0.5f;

    R[0][0] = C[0][0] = P[0] + hAu + hAv;
    R[1][0] = P[3] + hAu - hAv - dv * 3.0f;
    C[1][0] = P[1] - hAu + hAv - du * 3.0f;
    R[0][N - 1] = P[5] - hBu + hBv - du * 3.0f;
    R[1][N - 1] = P[6] - hBu - hBv - du * 3.0f - dv * 3.0f;
    C[0][N - 1] = P[11] + hCu - hCv - dv * 3.0f;
    C[1][N - 1] = P[10] - hCu - hCv - du * 3.0f - dv * 3.0f;
    for (int32_t i = 0; i < 2; ++i) {
      R.Fill(i, 0, N - 1);
      C.Fill(i, 0, N - 1);
    }
    if (g_.version < 7) return;

    // The alignment patterns on the timing row and column.
    int32_t prev = 0;
    for (int32_t k = 1; k <= g_.n - 1; ++k) {
      Mirrored([&](const Direction& a, const Direction& b) { TimingAlignment(a, b, k, prev); });
      prev = c(k);
    }
    for (int32_t i = 0; i < 2; ++i) {
      R.Fill(i, prev, N - 1);
      C.Fill(i, prev, N - 1);
    }
  }

  void Version1() {
    const int32_t N = g_.N;
    g_.bottomRight = Meet(rows_[0][N - 1], rows_[1][N - 1], columns_[0][N - 1], columns_[1][N - 1]);
    Mirrored([&](const Direction& a, const Direction& b) { LastLineThroughCorner(a, b); });
  }

  // Versions 2 to 6: the one alignment pattern at (a, a) steers the corner.
  // Line 2 of each direction runs from the finder edge through the pattern
  // and on to the last module; where the two meet is the corner.
  void Version2To6() {
    const int32_t N = g_.N, a = c(1);
    QrPoint Q = Meet(rows_[0][a], rows_[1][a], columns_[0][a], columns_[1][a]);
    Search(&Q);
    Mirrored([&](const Direction& along, const Direction& across) {
      along[2][0] = across[0][a];
      along[2][a] = Q;
    });
    rows_.Extend(2, 0, a, N - 1);
    columns_.Extend(2, 0, a, N - 1);
    g_.bottomRight = Meet(rows_[0][N - 1], rows_[2][N - 1], columns_[0][N - 1], columns_[2][N - 1]);
    Mirrored([&](const Direction& along, const Direction& across) { LastLineThroughCorner(along, across); });
  }

  // Versions 7 to 40: every alignment pattern, placed from the lines through
  // the points already placed; line k + 1 of a direction is its line c_k.
  void Version7To40() {
    const int32_t N = g_.N, n = g_.n, cn = c(n);
    // Row c1 walked left to right through its patterns; each also starts the
    // column through it and carries that column up to row 0. The pattern at
    // (c1, c1) is the first of row c1 and of column c1 alike, so column c1
    // is walked down from its second pattern, after row c1 has been carried
    // left to column 0.
    for (int32_t k = 1; k <= n - 1; ++k) AlignmentOnLineC1(rows_, columns_, k);
    rows_.Fill(0, c(n - 1), cn);
    ToFinderEdge(rows_, columns_, 2, c(1), 6);
    for (int32_t k = 2; k <= n - 1; ++k) AlignmentOnLineC1(columns_, rows_, k);
    columns_.Fill(0, c(n - 1), cn);

    // The inner patterns, row by row, each from the two before it on its row
    // and on its column.
    for (int32_t i = 2; i <= n - 1; ++i)
      for (int32_t j = 2; j <= n - 1; ++j) PlaceAlignment(rows_, columns_, i, j);

    // The last alignment column c_n and row c_n (whose patterns sit beside
    // the top-right and bottom-left finders), then their crossings.
    Mirrored([&](const Direction& a, const Direction& b) { OuterLine(a, b, c(n - 2), c(n - 1), cn, n + 1, true); });
    for (int32_t k = 2; k <= n - 1; ++k)
      Mirrored([&](const Direction& a, const Direction& b) { PlaceAlignment(a, b, k, n); });
    PlaceAlignment(rows_, columns_, n, n);

    // The last row and column hold no pattern: extrapolated from c_(n-1)
    // and c_n, and where they meet is the corner.
    const int32_t last = n + 2;
    Mirrored([&](const Direction& a, const Direction& b) { OuterLine(a, b, c(n - 1), cn, N - 1, last, false); });
    for (int32_t k = 2; k <= n; ++k)
      Mirrored([&](const Direction& a, const Direction& b) { ToLastLine(a, b, k); });
    const QrPoint BR = Meet(rows_[last][c(n - 1)], rows_[last][cn], columns_[last][c(n - 1)], columns_[last][cn]);
    rows_[last][N - 1] = columns_[last][N - 1] = BR;
    rows_.Fill(last, cn, N - 1);
    columns_.Fill(last, cn, N - 1);
  }

  // Half a module beyond the last module centre.
  void Corner() {
    const int32_t N = g_.N, L = g_.version < 7 ? 1 : g_.n + 2;
    const QrPoint Rl = rows_[L][N - 1];
    g_.corner[0] = QrRound(Rl.x + (Rl.x - rows_[L][N - 2].x) * 0.5);
    g_.corner[1] = QrRound(Rl.y + (columns_[L][N - 1].y - columns_[L][N - 2].y) * 0.5);
  }

 private:
  int32_t c(int32_t k) const { return g_.coords[k]; }
  void Search(QrPoint* p) { AlignmentSearch(img_, g_, p); }

  // The move for the rows, then the same for the columns.
  template <typename Move>
  void Mirrored(Move move) {
    move(rows_, columns_);
    move(columns_, rows_);
  }

  // The pattern where timing line a1 crosses line c_k of b sits on the
  // timing pattern, which the finders predict well: found by search, it
  // shifts a's finder-side line 0 by as much, both are refilled from the
  // previous pattern, and b's line through it starts between them.
  void TimingAlignment(const Direction& a, const Direction& b, int32_t k, int32_t prev) {
    const int32_t X = c(k);
    const QrPoint before = a[1][X];
    Search(&a[1][X]);
    a[0][X] = a[0][X] + (a[1][X] - before);
    a.Fill(0, prev, X);
    a.Fill(1, prev, X);
    b[k + 1][0] = a[0][X];
    b[k + 1][6] = a[1][X];
    b.Fill(k + 1, 0, 6);
  }

  // Versions 1 to 6: line 1 becomes the last line, from the far end of b's
  // line 0 to the last module.
  void LastLineThroughCorner(const Direction& a, const Direction& b) {
    const int32_t N = g_.N;
    a[1][0] = b[0][N - 1];
    a[1][N - 1] = g_.bottomRight;
    a.Fill(1, 0, N - 1);
  }

  // Line `line` of a, placed from row (column) 6 on, carried back to the
  // finder-side edge 0; its end there is b's line 0 at `at`, refilled from `from`.
  void ToFinderEdge(const Direction& a, const Direction& b, int32_t line, int32_t at, int32_t from) {
    a.Extend(line, c(1), 6, 0);
    a.Fill(line, 0, 6);
    b[0][at] = a[line][0];
    b.Fill(0, from, at);
  }

  // The pattern where a's line c1 crosses b's line c_k, predicted where a's
  // finder-side lines and b's two lines before it meet. It continues a's line
  // c1 and starts b's line c_k between the timing line and c1, which is then
  // carried up to the finder-side edge.
  void AlignmentOnLineC1(const Direction& a, const Direction& b, int32_t k) {
    const int32_t X = c(k);
    QrPoint P = Meet(a[0][X], a[1][X], b[k - 1][c(1)], b[k][c(1)]);
    Search(&P);
    a[2][X] = P;
    a.Fill(2, c(k - 1), X);
    b[k + 1][c(1)] = P;
    b.Fill(k + 1, 6, c(1));
    ToFinderEdge(b, a, k + 1, X, c(k - 1));
  }

  // The pattern at a's line c_i and b's line c_j, predicted where the lines
  // through the two patterns before it on each meet; both lines are filled
  // up to it.
  void PlaceAlignment(const Direction& a, const Direction& b, int32_t i, int32_t j) {
    QrPoint P = Meet(a[i + 1][c(j - 2)], a[i + 1][c(j - 1)], b[j + 1][c(i - 2)], b[j + 1][c(i - 1)]);
    Search(&P);
    a[i + 1][c(j)] = P;
    a.Fill(i + 1, c(j - 1), c(j));
    b[j + 1][c(i)] = P;
    b.Fill(j + 1, c(i - 1), c(i));
  }

  // a's line c1 carried on to `to` (from its points at j0 and j1), with a
  // search where a pattern stands there; the timing line a1, whose far end
  // lies in a finder, re-fitted to end where the line through a0 and a's
  // line c1 crosses it; and b's line `line` (the one for `to`) started
  // through a's lines 0, 6 and c1.
  void OuterLine(const Direction& a, const Direction& b, int32_t j0, int32_t j1, int32_t to, int32_t line,
                 bool pattern) {
    const int32_t N = g_.N, n = g_.n;
    a.Extend(2, j0, j1, to);
    if (pattern) Search(&a[2][to]);
    a.Fill(2, j1, to);
    a[1][to] = Meet(a[1][j1], a[1][N - 1], a[0][to], a[2][to]);
    a.Fill(1, c(n - 1), c(n));
    a.Fill(1, c(n), N - 1);
    b[line][0] = a[0][to];
    b[line][6] = a[1][to];
    b[line][c(1)] = a[2][to];
    b.Fill(line, 0, 6);
    b.Fill(line, 6, c(1));
  }

  // a's line c_k carried on from its last pattern to the last line, whose
  // point there is b's last line's at c_k.
  void ToLastLine(const Direction& a, const Direction& b, int32_t k) {
    const int32_t N = g_.N, n = g_.n, last = n + 2;
    a.Extend(k + 1, c(n - 1), c(n), N - 1);
    a.Fill(k + 1, c(n), N - 1);
    b[last][c(k)] = a[k + 1][N - 1];
    b.Fill(last, c(k - 1), c(k));
  }

  const QrBinaryImage& img_;
  QrGrid& g_;
  Direction rows_;
  Direction columns_;
};

}  // namespace

void BuildGrid(const QrBinaryImage& img, const QrCandidate& cand, QrGrid* grid) {
  const QrVersionInfo& info = QrVersionTable[cand.version - 1];
  grid->version = cand.version;
  grid->N = 4 * cand.version + 17;
  grid->n = info.alignmentCount;
  grid->coords[0] = 6;
  for (int32_t k = 0; k < info.alignmentCount; ++k) grid->coords[k + 1] = info.alignment[k];

  const QrPoint* P = cand.P;
  const float span = static_cast<float>(grid->N - 7);
  grid->u = (P[1] - P[0]) / 7.0f;
  grid->v = (P[3] - P[0]) / 7.0f;
  grid->du = ((P[5] - P[4]) - (P[1] - P[0])) / 7.0f / span;
  grid->dv = ((P[11] - P[8]) - (P[3] - P[0])) / 7.0f / span;

  GridBuilder b(img, grid);
  b.Base(P);
  if (cand.version == 1) b.Version1();
  else if (cand.version <= 6) b.Version2To6();
  else b.Version7To40();
  b.Corner();
}

void AdjustBottomRight(QrGrid* grid, float s, float t) {
  const int32_t N = grid->N;
  const QrPoint p = grid->bottomRight + grid->u * s + grid->v * t;
  grid->rowLine[1][N - 1] = grid->columnLine[1][N - 1] = p;
  Interp(grid->rowLine[1], 0, N - 1, grid->du);
  Interp(grid->columnLine[1], 0, N - 1, grid->dv);
}

void AlignmentSearch(const QrBinaryImage& img, const QrGrid& grid, QrPoint* p) {
  const QrPoint u = grid.u, v = grid.v;
  auto setAt = [&](QrPoint q) { return img.Set(QrRound(q.x), QrRound(q.y)); };
  // A centre is set and the ring one module around it is light: along no
  // direction are the points at 0.6, 1 and 1.4 modules all set.
  auto passes = [&](QrPoint q) {
    if (!setAt(q)) return false;
    for (int32_t i = -1; i <= 1; ++i)
      for (int32_t j = -1; j <= 1; ++j) {
        if (i == 0 && j == 0) continue;
        const QrPoint o = u * static_cast<float>(i) + v * static_cast<float>(j);
        if (setAt(q + o) && setAt(q + o * 1.4f) && setAt(q + o * 0.6f)) return false;
      }
    return true;
  };
  bool found = false;
  for (const Offset& off : kSearchTable.o) {
    const QrPoint q = *p + (u * static_cast<float>(off.a) + v * static_cast<float>(off.b)) * 0.5f;
    if (passes(q)) {
      *p = q;
      found = true;
      break;
    }
  }
  if (!found) return;

  // Re-centre on the core's middle column and row, twice.
  for (int32_t pass = 0; pass < 2; ++pass) {
    {
      const int32_t a = QrRound(p->x), y = QrRound(p->y);
      int32_t left = a, right = a;
      for (int32_t i = a - 1; i >= 1; --i)
        if (!img.Set(i, y)) {
          left = i + 1;
          break;
        }
      for (int32_t i = a + 1; i < img.w - 1; ++i)
        if (!img.Set(i, y)) {
          right = i;
          break;
        }
      p->x = static_cast<float>((right - left) * 0.5 + left);
    }
    {
      const int32_t x = QrRound(p->x), a = QrRound(p->y);
      int32_t top = a, bottom = a;
      for (int32_t i = a - 1; i >= 1; --i)
        if (!img.Set(x, i)) {
          top = i + 1;
          break;
        }
      for (int32_t i = a + 1; i < img.h - 1; ++i)
        if (!img.Set(x, i)) {
          bottom = i;
          break;
        }
      p->y = static_cast<float>((bottom - top) * 0.5 + top);
    }
  }
}

void SampleGrid(const QrBinaryImage& img, const QrGrid& grid, QrModuleMatrix* matrix) {
  // Band boundaries: [0, N] for versions 1 to 6, [0, 6, c1 .. cn, N] above.
  int32_t bounds[kMaxGridLines + 1];
  int32_t bands = 0;
  bounds[0] = 0;
  if (grid.version < 7) {
    bounds[1] = grid.N;
    bands = 1;
  } else {
    for (int32_t k = 0; k <= grid.n; ++k) bounds[k + 1] = grid.coords[k];
    bounds[grid.n + 2] = grid.N;
    bands = grid.n + 2;
  }
  bool havePrevious = false;
  QrPoint previous;
  QrLine across[kMatrixSide];  // the column segments of one row band, per row
  for (int32_t p = 0; p < bands; ++p)
    for (int32_t q = 0; q < bands; ++q) {
      for (int32_t l = bounds[q]; l < bounds[q + 1]; ++l)
        across[l] = LineThrough(grid.columnLine[p][l], grid.columnLine[p + 1][l]);
      for (int32_t k = bounds[p]; k < bounds[p + 1]; ++k) {
        const QrLine down = LineThrough(grid.rowLine[q][k], grid.rowLine[q + 1][k]);
        for (int32_t l = bounds[q]; l < bounds[q + 1]; ++l) {
          uint8_t& cell = matrix->At(k, l);
          if (cell & kFunctionModule) continue;
          QrPoint s;
          if (Meet(down, across[l], &s)) {
            previous = s;
            havePrevious = true;
          } else if (havePrevious) {
            s = previous;  // parallel segments: the neighbour's point stands in
          } else {
            cell = 0;
            continue;
          }
          cell = img.Set(QrRound(s.x), QrRound(s.y)) ? 1 : 0;
        }
      }
    }
}

}  // namespace vantrel::qr

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

class GridBuilder {
 public:
  GridBuilder(const QrBinaryImage& img, QrGrid* g) : img_(img), g_(*g) {}

  QrPoint* R(int32_t i) { return g_.rowLine[i]; }
  QrPoint* C(int32_t i) { return g_.columnLine[i]; }
  int32_t c(int32_t k) const { return g_.coords[k]; }
  void InterpR(int32_t i, int32_t j0, int32_t j1) { Interp(R(i), j0, j1, g_.du); }
  void InterpC(int32_t i, int32_t j0, int32_t j1) { Interp(C(i), j0, j1, g_.dv); }
  void ExtrapR(int32_t i, int32_t j0, int32_t j1, int32_t j2) { Extrap(R(i), j0, j1, j2, g_.du); }
  void ExtrapC(int32_t i, int32_t j0, int32_t j1, int32_t j2) { Extrap(C(i), j0, j1, j2, g_.dv); }
  void Search(QrPoint* p) { AlignmentSearch(img_, g_, p); }

  void Base(const QrPoint* P) {
    const int32_t N = g_.N;
    const QrPoint du = g_.du, dv = g_.dv;
    // Half steps at the finders: over its 7 modules the first step is
    // (side - 21 d) / 7 and the last one 6 d larger.
    const QrPoint hAu = (P[1] - P[0] - du * 21.0f) / 7.0f * 0.5f;
    const QrPoint hAv = (P[3] - P[0] - dv * 21.0f) / 7.0f * 0.5f;
    const QrPoint hBu = (P[5] - P[4] - du * 21.0f) / 7.0f * 0.5f;
    const QrPoint hBv = (P[7] - P[4] - dv * 21.0f) / 7.0f * 0.5f;
    const QrPoint hCu = (P[9] - P[8] - du * 21.0f) / 7.0f * 0.5f;
    const QrPoint hCv = (P[11] - P[8] - dv * 21.0f) / 7.0f * 0.5f;

    R(0)[0] = C(0)[0] = P[0] + hAu + hAv;
    R(1)[0] = P[3] + hAu - hAv - dv * 3.0f;
    C(1)[0] = P[1] - hAu + hAv - du * 3.0f;
    R(0)[N - 1] = P[5] - hBu + hBv - du * 3.0f;
    R(1)[N - 1] = P[6] - hBu - hBv - du * 3.0f - dv * 3.0f;
    C(0)[N - 1] = P[11] + hCu - hCv - dv * 3.0f;
    C(1)[N - 1] = P[10] - hCu - hCv - du * 3.0f - dv * 3.0f;
    for (int32_t i = 0; i < 2; ++i) {
      InterpR(i, 0, N - 1);
      InterpC(i, 0, N - 1);
    }
    if (g_.version < 7) return;

    // The alignment patterns on the timing row and column.
    int32_t prev = 0;
    for (int32_t k = 1; k <= g_.n - 1; ++k) {
      const int32_t X = c(k);
      QrPoint before = R(1)[X];
      Search(&R(1)[X]);
      R(0)[X] = R(0)[X] + (R(1)[X] - before);
      InterpR(0, prev, X);
      InterpR(1, prev, X);
      C(k + 1)[0] = R(0)[X];
      C(k + 1)[6] = R(1)[X];
      InterpC(k + 1, 0, 6);

      before = C(1)[X];
      Search(&C(1)[X]);
      C(0)[X] = C(0)[X] + (C(1)[X] - before);
      InterpC(0, prev, X);
      InterpC(1, prev, X);
      R(k + 1)[0] = C(0)[X];
      R(k + 1)[6] = C(1)[X];
      InterpR(k + 1, 0, 6);
      prev = X;
    }
    for (int32_t i = 0; i < 2; ++i) {
      InterpR(i, prev, N - 1);
      InterpC(i, prev, N - 1);
    }
  }

  // Line 1 becomes the last row and column, through the last module bottomRight.
  void LastRowAndColumn() {
    const int32_t N = g_.N;
    R(1)[0] = C(0)[N - 1];
    C(1)[0] = R(0)[N - 1];
    R(1)[N - 1] = C(1)[N - 1] = g_.bottomRight;
    InterpR(1, 0, N - 1);
    InterpC(1, 0, N - 1);
  }

  void Version1() {
    const int32_t N = g_.N;
    g_.bottomRight = Meet(R(0)[N - 1], R(1)[N - 1], C(0)[N - 1], C(1)[N - 1]);
    LastRowAndColumn();
  }

  // Versions 2 to 6: the one alignment pattern at (a, a) steers the corner.
  void Version2To6() {
    const int32_t N = g_.N, a = c(1);
    QrPoint Q = Meet(R(0)[a], R(1)[a], C(0)[a], C(1)[a]);
    Search(&Q);
    R(2)[0] = C(0)[a];
    R(2)[a] = Q;
    C(2)[0] = R(0)[a];
    C(2)[a] = Q;
    ExtrapR(2, 0, a, N - 1);
    ExtrapC(2, 0, a, N - 1);
    g_.bottomRight = Meet(R(0)[N - 1], R(2)[N - 1], C(0)[N - 1], C(2)[N - 1]);
    LastRowAndColumn();
  }

  void Version7To40() {
    const int32_t N = g_.N, n = g_.n;
    // 1. Row c1, left to right.
    for (int32_t k = 1; k <= n - 1; ++k) {
      const int32_t X = c(k);
      QrPoint P = Meet(R(0)[X], R(1)[X], C(k - 1)[c(1)], C(k)[c(1)]);
      Search(&P);
      R(2)[X] = P;
      InterpR(2, c(k - 1), X);
      C(k + 1)[c(1)] = P;
      InterpC(k + 1, 6, c(1));
      ExtrapC(k + 1, c(1), 6, 0);
      InterpC(k + 1, 0, 6);
      R(0)[X] = C(k + 1)[0];
      InterpR(0, c(k - 1), X);
    }
    // 2.
    InterpR(0, c(n - 1), c(n));
    ExtrapR(2, c(1), 6, 0);
    InterpR(2, 0, 6);
    C(0)[c(1)] = R(2)[0];
    InterpC(0, 6, c(1));
    // 3. Column c1, top to bottom.
    for (int32_t k = 2; k <= n - 1; ++k) {
      const int32_t Y = c(k);
      QrPoint P = Meet(C(0)[Y], C(1)[Y], R(k - 1)[c(1)], R(k)[c(1)]);
      Search(&P);
      C(2)[Y] = P;
      InterpC(2, c(k - 1), Y);
      R(k + 1)[c(1)] = P;
      InterpR(k + 1, 6, c(1));
      ExtrapR(k + 1, c(1), 6, 0);
      InterpR(k + 1, 0, 6);
      C(0)[Y] = R(k + 1)[0];
      InterpC(0, c(k - 1), Y);
    }
    // 4.
    InterpC(0, c(n - 1), c(n));
    // 5. Inner patterns, row by row.
    for (int32_t i = 2; i <= n - 1; ++i)
      for (int32_t j = 2; j <= n - 1; ++j) {
        QrPoint P = Meet(R(i + 1)[c(j - 2)], R(i + 1)[c(j - 1)], C(j + 1)[c(i - 2)],
                         C(j + 1)[c(i - 1)]);
        Search(&P);
        R(i + 1)[c(j)] = P;
        InterpR(i + 1, c(j - 1), c(j));
        C(j + 1)[c(i)] = P;
        InterpC(j + 1, c(i - 1), c(i));
      }
    // 6. The last alignment column cn and row cn.
    const int32_t cn = c(n);
    ExtrapR(2, c(n - 2), c(n - 1), cn);
    Search(&R(2)[cn]);
    InterpR(2, c(n - 1), cn);
    R(1)[cn] = Meet(R(1)[c(n - 1)], R(1)[N - 1], R(0)[cn], R(2)[cn]);  // inside the top-right finder
    InterpR(1, c(n - 1), cn);
    InterpR(1, cn, N - 1);
    C(n + 1)[0] = R(0)[cn];
    C(n + 1)[6] = R(1)[cn];
    C(n + 1)[c(1)] = R(2)[cn];
    InterpC(n + 1, 0, 6);
    InterpC(n + 1, 6, c(1));

    ExtrapC(2, c(n - 2), c(n - 1), cn);
    Search(&C(2)[cn]);
    InterpC(2, c(n - 1), cn);
    C(1)[cn] = Meet(C(1)[c(n - 1)], C(1)[N - 1], C(0)[cn], C(2)[cn]);
    InterpC(1, c(n - 1), cn);
    InterpC(1, cn, N - 1);
    R(n + 1)[0] = C(0)[cn];
    R(n + 1)[6] = C(1)[cn];
    R(n + 1)[c(1)] = C(2)[cn];
    InterpR(n + 1, 0, 6);
    InterpR(n + 1, 6, c(1));

    for (int32_t k = 2; k <= n - 1; ++k) {
      QrPoint P = Meet(R(k + 1)[c(n - 2)], R(k + 1)[c(n - 1)], C(n + 1)[c(k - 2)],
                       C(n + 1)[c(k - 1)]);
      Search(&P);
      R(k + 1)[cn] = P;
      InterpR(k + 1, c(n - 1), cn);
      C(n + 1)[c(k)] = P;
      InterpC(n + 1, c(k - 1), c(k));

      QrPoint Q = Meet(C(k + 1)[c(n - 2)], C(k + 1)[c(n - 1)], R(n + 1)[c(k - 2)],
                       R(n + 1)[c(k - 1)]);
      Search(&Q);
      C(k + 1)[cn] = Q;
      InterpC(k + 1, c(n - 1), cn);
      R(n + 1)[c(k)] = Q;
      InterpR(n + 1, c(k - 1), c(k));
    }
    {
      QrPoint P = Meet(R(n + 1)[c(n - 2)], R(n + 1)[c(n - 1)], C(n + 1)[c(n - 2)],
                       C(n + 1)[c(n - 1)]);
      Search(&P);
      R(n + 1)[cn] = C(n + 1)[cn] = P;
      InterpR(n + 1, c(n - 1), cn);
      InterpC(n + 1, c(n - 1), cn);
    }
    // 7. The last row and column, by extrapolation.
    const int32_t last = n + 2;
    ExtrapR(2, c(n - 1), cn, N - 1);
    InterpR(2, cn, N - 1);
    R(1)[N - 1] = Meet(R(1)[cn], R(1)[N - 1], R(0)[N - 1], R(2)[N - 1]);
    InterpR(1, c(n - 1), cn);
    InterpR(1, cn, N - 1);
    C(last)[0] = R(0)[N - 1];
    C(last)[6] = R(1)[N - 1];
    C(last)[c(1)] = R(2)[N - 1];
    InterpC(last, 0, 6);
    InterpC(last, 6, c(1));

    ExtrapC(2, c(n - 1), cn, N - 1);
    InterpC(2, cn, N - 1);
    C(1)[N - 1] = Meet(C(1)[cn], C(1)[N - 1], C(0)[N - 1], C(2)[N - 1]);
    InterpC(1, c(n - 1), cn);
    InterpC(1, cn, N - 1);
    R(last)[0] = C(0)[N - 1];
    R(last)[6] = C(1)[N - 1];
    R(last)[c(1)] = C(2)[N - 1];
    InterpR(last, 0, 6);
    InterpR(last, 6, c(1));

    for (int32_t k = 2; k <= n; ++k) {
      ExtrapR(k + 1, c(n - 1), cn, N - 1);
      InterpR(k + 1, cn, N - 1);
      C(last)[c(k)] = R(k + 1)[N - 1];
      InterpC(last, c(k - 1), c(k));
      ExtrapC(k + 1, c(n - 1), cn, N - 1);
      InterpC(k + 1, cn, N - 1);
      R(last)[c(k)] = C(k + 1)[N - 1];
      InterpR(last, c(k - 1), c(k));
    }
    const QrPoint BR = Meet(R(last)[c(n - 1)], R(last)[cn], C(last)[c(n - 1)], C(last)[cn]);
    R(last)[N - 1] = C(last)[N - 1] = BR;
    InterpR(last, cn, N - 1);
    InterpC(last, cn, N - 1);
  }

  // Half a module beyond the last module centre.
  void Corner() {
    const int32_t N = g_.N, L = g_.version < 7 ? 1 : g_.n + 2;
    const QrPoint Rl = R(L)[N - 1];
    g_.corner[0] = QrRound(Rl.x + (Rl.x - R(L)[N - 2].x) * 0.5);
    g_.corner[1] = QrRound(Rl.y + (C(L)[N - 1].y - C(L)[N - 2].y) * 0.5);
  }

 private:
  const QrBinaryImage& img_;
  QrGrid& g_;
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

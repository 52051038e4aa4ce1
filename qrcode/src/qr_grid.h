// The sampling grid of one candidate: lines of module centres placed on the
// finder patterns, the timing row and column and the alignment patterns, and
// filled in between with a quadratic model of perspective (the distance between
// neighbouring centres changes by a constant amount per module).
//
// RowLine i holds the centres of one module row, one point per column;
// ColumnLine i those of one module column, one point per row. Line 0 is row
// (column) 0. For versions 7 to 40 line k + 1 is row (column) c_k of the
// coordinate list c0 = 6, c1 ... cn (the alignment coordinates) and line n + 2
// is row (column) N - 1. For versions 1 to 6 line 1 ends up as row (column)
// N - 1; line 2 serves only while the bottom-right corner is placed.
#ifndef VANTREL_QRCODE_QR_GRID_H
#define VANTREL_QRCODE_QR_GRID_H

#include <cstdint>

#include "qr_types.h"
#include "qr_version_table.h"

namespace vantrel::qr {

constexpr int32_t kMaxGridLines = 9;

struct QrGrid {
  int32_t version = 0;
  int32_t N = 0;
  int32_t n = 0;               // alignment coordinates other than 6
  int32_t coords[7] = {};      // c0 = 6, c1 ... cn
  QrPoint u, v, du, dv;        // module steps measured on finder A and their change per module
  QrPoint rowLine[kMaxGridLines][kMatrixSide];
  QrPoint columnLine[kMaxGridLines][kMatrixSide];
  QrPoint bottomRight;         // centre of module (N-1, N-1) as first placed (versions 1-6)
  int32_t corner[2] = {};      // bottom-right corner of the symbol, half a module outside
};

// Builds the whole grid of the candidate's version (1 to 40) and its
// bottom-right corner.
void BuildGrid(const QrBinaryImage& img, const QrCandidate& cand, QrGrid* grid);

// Versions 1 to 6: moves the last module centre to the first-placed one plus
// s modules along u and t along v, and re-fills the last row and column.
void AdjustBottomRight(QrGrid* grid, float s, float t);

// Looks for an alignment pattern's centre within 1.5 modules of p and moves p
// onto it; p stays where it is when none is found.
void AlignmentSearch(const QrBinaryImage& img, const QrGrid& grid, QrPoint* p);

// Samples every non-function module of the N x N matrix (bit 0 set when dark).
void SampleGrid(const QrBinaryImage& img, const QrGrid& grid, QrModuleMatrix* matrix);

}  // namespace vantrel::qr

#endif

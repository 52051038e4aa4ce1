// What an ECC 200 symbol is made of once its modules are known: the sizes
// (square, rectangular and the rectangular extensions), where each codeword's
// bits lie, and the Reed-Solomon correction of the codewords.
//
// Everything here is a pure function of its arguments; any thread may call it.
#ifndef VANTREL_DATAMATRIX_DMX_SYMBOL_H
#define VANTREL_DATAMATRIX_DMX_SYMBOL_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrel::dmx {

struct SymbolSize {
  int16_t rows, cols;              // modules, finder and timing pattern included
  int16_t regionRows, regionCols;  // one data region without its border
  int16_t dataWords, ecWords, blocks;
  int8_t libraryIndex;             // the region search's size number; -1: it has none
  constexpr int32_t RegionsDown() const { return rows / (regionRows + 2); }
  constexpr int32_t RegionsAcross() const { return cols / (regionCols + 2); }
  constexpr int32_t MappingRows() const { return RegionsDown() * regionRows; }
  constexpr int32_t MappingCols() const { return RegionsAcross() * regionCols; }
  constexpr int32_t TotalWords() const { return dataWords + ecWords; }
};

// 24 squares, 6 rectangles, then the 18 rectangular extensions.
inline constexpr SymbolSize kSymbolSizes[] = {
    {10, 10, 8, 8, 3, 5, 1, 0},          {12, 12, 10, 10, 5, 7, 1, 1},
    {14, 14, 12, 12, 8, 10, 1, 2},       {16, 16, 14, 14, 12, 12, 1, 3},
    {18, 18, 16, 16, 18, 14, 1, 4},      {20, 20, 18, 18, 22, 18, 1, 5},
    {22, 22, 20, 20, 30, 20, 1, 6},      {24, 24, 22, 22, 36, 24, 1, 7},
    {26, 26, 24, 24, 44, 28, 1, 8},      {32, 32, 14, 14, 62, 36, 1, 9},
    {36, 36, 16, 16, 86, 42, 1, 10},     {40, 40, 18, 18, 114, 48, 1, 11},
    {44, 44, 20, 20, 144, 56, 1, 12},    {48, 48, 22, 22, 174, 68, 1, 13},
    {52, 52, 24, 24, 204, 84, 2, 14},    {64, 64, 14, 14, 280, 112, 2, 15},
    {72, 72, 16, 16, 368, 144, 4, 16},   {80, 80, 18, 18, 456, 192, 4, 17},
    {88, 88, 20, 20, 576, 224, 4, 18},   {96, 96, 22, 22, 696, 272, 4, 19},
    {104, 104, 24, 24, 816, 336, 6, 20}, {120, 120, 18, 18, 1050, 408, 6, 21},
    {132, 132, 20, 20, 1304, 496, 8, 22}, {144, 144, 22, 22, 1558, 620, 10, 23},
    {8, 18, 6, 16, 5, 7, 1, 24},         {8, 32, 6, 14, 10, 11, 1, 25},
    {12, 26, 10, 24, 16, 14, 1, 26},     {12, 36, 10, 16, 22, 18, 1, 27},
    {16, 36, 14, 16, 32, 24, 1, 28},     {16, 48, 14, 22, 49, 28, 1, 29},
    {8, 48, 6, 22, 18, 15, 1, -1},       {8, 64, 6, 14, 24, 18, 1, -1},
    {8, 80, 6, 18, 32, 22, 1, -1},       {8, 96, 6, 22, 38, 28, 1, -1},
    {8, 120, 6, 18, 49, 32, 1, -1},      {8, 144, 6, 22, 63, 36, 1, -1},
    {12, 64, 10, 14, 43, 27, 1, -1},     {12, 88, 10, 20, 64, 36, 1, -1},
    {16, 64, 14, 14, 62, 36, 1, -1},     {20, 36, 18, 16, 44, 28, 1, -1},
    {20, 44, 18, 20, 56, 34, 1, -1},     {20, 64, 18, 14, 84, 42, 1, -1},
    {22, 48, 20, 22, 72, 38, 1, -1},     {24, 48, 22, 22, 80, 41, 1, -1},
    {24, 64, 22, 14, 108, 46, 1, -1},    {26, 40, 24, 18, 70, 38, 1, -1},
    {26, 48, 24, 22, 90, 42, 1, -1},     {26, 64, 24, 14, 118, 50, 1, -1},
};
inline constexpr size_t kSymbolSizeCount = sizeof kSymbolSizes / sizeof kSymbolSizes[0];

constexpr bool SizeTableIsConsistent() {
  for (const SymbolSize& s : kSymbolSizes) {
    // Whole regions, each framed by one module of finder and one of timing.
    if (s.rows % (s.regionRows + 2) != 0 || s.cols % (s.regionCols + 2) != 0) return false;
    if (s.rows % 2 != 0 || s.cols % 2 != 0 || s.rows > s.cols) return false;
    // The mapping area holds exactly the codewords (a remainder of four
    // modules at most is the fixed corner pattern).
    if (s.MappingRows() * s.MappingCols() / 8 != s.TotalWords()) return false;
    if (s.MappingRows() * s.MappingCols() % 8 != 0 && s.MappingRows() * s.MappingCols() % 8 != 4)
      return false;
    if (s.ecWords % s.blocks != 0 || s.blocks < 1) return false;
    // Each block is a shortened Reed-Solomon code of GF(256).
    if ((s.dataWords + s.blocks - 1) / s.blocks + s.ecWords / s.blocks > 255) return false;
  }
  return true;
}
static_assert(SizeTableIsConsistent(), "symbol size table");

// The size of rows x cols modules, or null.
const SymbolSize* FindSymbolSize(int32_t rows, int32_t cols);

// Modules of one symbol in print order: row 0 is the top (timing) row, column
// 0 the left (finder) column; 1 = the finder's colour.
struct ModuleGrid {
  int32_t rows = 0;
  int32_t cols = 0;
  std::vector<uint8_t> on;
  bool At(int32_t r, int32_t c) const { return on[static_cast<size_t>(r) * cols + c] != 0; }
};

// The codewords (data then check words, interleaved as placed) read from the
// grid's data regions. The grid must have the size's rows and columns.
std::vector<uint8_t> ReadCodewords(const ModuleGrid& grid, const SymbolSize& size);

// Places codewords into a grid of the size (finder, timing and the fixed
// corner pattern included): the inverse of ReadCodewords, for tests.
ModuleGrid PlaceCodewords(const std::vector<uint8_t>& codewords, const SymbolSize& size);

// Corrects the codewords of a symbol in place, block by block. True when every
// block is a code word afterwards; corrected receives the number of words
// changed. False when some block has more errors than it can correct (the
// codewords are then unchanged).
bool CorrectCodewords(const SymbolSize& size, uint8_t* codewords, size_t count, int32_t* corrected);

// True when every block of the codewords is a Reed-Solomon code word.
bool CodewordsConsistent(const SymbolSize& size, const uint8_t* codewords, size_t count);

// The check words of the data words, interleaved as placed (for tests).
std::vector<uint8_t> EncodeCheckWords(const SymbolSize& size, const std::vector<uint8_t>& data);

}  // namespace vantrel::dmx

#endif

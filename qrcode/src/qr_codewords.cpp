// Function map, masks, placement and blocks.
#include "qr_codewords.h"

#include <cstring>

namespace vantrel::qr {

namespace {

void MarkRect(QrModuleMatrix* m, int32_t c0, int32_t c1, int32_t r0, int32_t r1) {
  for (int32_t r = r0; r <= r1; ++r)
    for (int32_t c = c0; c <= c1; ++c) m->At(c, r) |= kFunctionModule;
}

// A 5 x 5 alignment square, unless its centre is already taken (it would
// overlap a finder pattern).
void MarkAlignment(QrModuleMatrix* m, int32_t cx, int32_t cy) {
  if (m->At(cx, cy) & kFunctionModule) return;
  MarkRect(m, cx - 2, cx + 2, cy - 2, cy + 2);
}

}  // namespace

void LayFunctionMap(int32_t version, QrModuleMatrix* m) {
  const int32_t N = 4 * version + 17;
  for (int32_t r = 0; r < N; ++r) std::memset(&m->At(0, r), 0, static_cast<size_t>(N));
  // Finder patterns with their separators.
  MarkRect(m, 0, 7, 0, 7);
  MarkRect(m, N - 8, N - 1, 0, 7);
  MarkRect(m, 0, 7, N - 8, N - 1);
  if (version >= 7) {
    MarkRect(m, N - 11, N - 9, 0, 5);
    MarkRect(m, 0, 5, N - 11, N - 9);
  }
  // Format areas, the dark module included.
  MarkRect(m, 8, 8, 0, 8);
  MarkRect(m, 0, 8, 8, 8);
  MarkRect(m, N - 8, N - 1, 8, 8);
  MarkRect(m, 8, 8, N - 8, N - 1);
  // Alignment patterns before the timing patterns, so that the squares centred
  // on the timing row and column are laid.
  const QrVersionInfo& info = QrVersionTable[version - 1];
  for (int32_t i = 0; i < info.alignmentCount; ++i) {
    const int32_t a = info.alignment[i];
    MarkAlignment(m, a, 6);
    MarkAlignment(m, 6, a);
    for (int32_t j = 0; j < info.alignmentCount; ++j) MarkAlignment(m, a, info.alignment[j]);
  }
  MarkRect(m, 6, 6, 8, N - 9);
  MarkRect(m, 8, N - 9, 6, 6);
}

namespace {

template <typename Condition>
void FlipWhere(int32_t N, QrModuleMatrix* m, Condition condition) {
  for (int32_t i = 0; i < N; ++i)
    for (int32_t j = 0; j < N; ++j) {
      uint8_t& cell = m->At(j, i);
      if (!(cell & kFunctionModule) && condition(i, j)) cell ^= 1;
    }
}

}  // namespace

void Unmask(int32_t N, int32_t mask, QrModuleMatrix* m) {
  // One loop per mask, so that the condition is not chosen anew for every module.
  switch (mask) {
    case 0: FlipWhere(N, m, [](int32_t i, int32_t j) { return MaskCondition(0, i, j); }); break;
    case 1: FlipWhere(N, m, [](int32_t i, int32_t j) { return MaskCondition(1, i, j); }); break;
    case 2: FlipWhere(N, m, [](int32_t i, int32_t j) { return MaskCondition(2, i, j); }); break;
    case 3: FlipWhere(N, m, [](int32_t i, int32_t j) { return MaskCondition(3, i, j); }); break;
    case 4: FlipWhere(N, m, [](int32_t i, int32_t j) { return MaskCondition(4, i, j); }); break;
    case 5: FlipWhere(N, m, [](int32_t i, int32_t j) { return MaskCondition(5, i, j); }); break;
    case 6: FlipWhere(N, m, [](int32_t i, int32_t j) { return MaskCondition(6, i, j); }); break;
    case 7: FlipWhere(N, m, [](int32_t i, int32_t j) { return MaskCondition(7, i, j); }); break;
    default: break;
  }
}

void ReadPlacement(const QrModuleMatrix& m, int32_t version, uint8_t* stream) {
  const int32_t N = 4 * version + 17;
  const int32_t total = QrVersionTable[version - 1].totalCodewords;
  int32_t count = 0, bits = 0;
  uint32_t value = 0;
  bool upwards = true;
  for (int32_t right = N - 1; right >= 1 && count < total; right -= 2) {
    if (right == 6) right = 5;  // the vertical timing pattern
    for (int32_t step = 0; step < N && count < total; ++step) {
      const int32_t row = upwards ? N - 1 - step : step;
      for (int32_t dx = 0; dx < 2 && count < total; ++dx) {
        const uint8_t cell = m.At(right - dx, row);
        if (cell & kFunctionModule) continue;
        value = (value << 1) | (cell & 1u);
        if (++bits == 8) {
          stream[count++] = static_cast<uint8_t>(value);
          bits = 0;
          value = 0;
        }
      }
    }
    upwards = !upwards;
  }
  // A function map that left too few modules cannot occur for the table's
  // versions; fill what is missing rather than leave it unset.
  for (; count < total; ++count) stream[count] = 0;
}

bool ReadCodewords(const QrModuleMatrix& m, int32_t version, int32_t level, uint8_t* stream,
                   uint8_t* scratch, QrRsWork* rs, int32_t* dataCount) {
  if (version < 1 || version > kMaxVersion || level < 0 || level > 3) return false;
  const QrVersionInfo& info = QrVersionTable[version - 1];
  const QrBlockGroup g1 = info.group1[level], g2 = info.group2[level];
  const int32_t total = info.totalCodewords, D = info.dataCodewords[level];
  const int32_t n1 = g1.blocks, n2 = g2.blocks, n = n1 + n2;
  const int32_t e = g1.codewords - g1.dataCodewords;

  ReadPlacement(m, version, scratch);

  // Lay the blocks out one after another, each data then check bytes.
  int32_t out = 0;
  auto take = [&](int32_t index) {
    if (index < 0 || index >= total || out >= total) return false;
    stream[out++] = scratch[index];
    return true;
  };
  for (int32_t b = 0; b < n1; ++b) {
    for (int32_t j = 0; j < g1.dataCodewords; ++j)
      if (!take(j * n + b)) return false;
    for (int32_t j = 0; j < e; ++j)
      if (!take(D + j * n + b)) return false;
  }
  for (int32_t b = 0; b < n2; ++b) {
    for (int32_t j = 0; j < g1.dataCodewords; ++j)
      if (!take(j * n + n1 + b)) return false;
    for (int32_t j = g1.dataCodewords; j < g2.dataCodewords; ++j)
      if (!take(g1.dataCodewords * n + (j - g1.dataCodewords) * n2 + b)) return false;
    for (int32_t j = 0; j < e; ++j)
      if (!take(D + j * n + n1 + b)) return false;
  }

  // Correct every block, then move the data parts to the front.
  int32_t start = 0, data = 0;
  for (int32_t b = 0; b < n; ++b) {
    const QrBlockGroup& g = b < n1 ? g1 : g2;
    if (!RsCorrect(stream + start, g.codewords, g.dataCodewords, g.correctable, rs)) return false;
    std::memmove(stream + data, stream + start, static_cast<size_t>(g.dataCodewords));
    data += g.dataCodewords;
    start += g.codewords;
  }
  *dataCount = data;
  return true;
}

}  // namespace vantrel::qr

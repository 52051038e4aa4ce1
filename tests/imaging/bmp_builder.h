// BMP files built byte by byte for the tests: any header size, depth, colour
// table, row order and damage, as other programs (or attackers) write them.
#ifndef VANTREL_TESTS_IMAGING_BMP_BUILDER_H
#define VANTREL_TESTS_IMAGING_BMP_BUILDER_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vantrel::test {

struct BmpLayout {
  uint32_t headerSize = 40;  // 12, 40, 108, 124 or anything
  int32_t width = 4;
  int32_t height = 3;  // negative: rows stored top line first
  uint16_t bitCount = 24;
  uint32_t compression = 0;
  uint32_t clrUsed = 0;               // written as it is
  std::vector<uint32_t> palette;      // 0x00RRGGBB; entries written (3 bytes for a core header)
  std::vector<uint32_t> masks;        // written after a 40-byte header, or inside a larger one
  bool fileHeader = true;
  int64_t offBits = -1;               // -1: where the pixels really start
  uint32_t gap = 0;                   // bytes between the colour table and the pixels
  // Raw bytes of the file row r (0 = first row in the file); filled with the
  // row size's zeros when null.
  std::function<std::vector<uint8_t>(int32_t r, size_t rowBytes)> row;
  int64_t truncateTo = -1;            // cut the file to this many bytes
};

inline void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}
inline void Put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

inline size_t BmpRowBytes(int32_t width, int32_t bits) {
  if (width <= 0) return 0;
  return (static_cast<size_t>(bits) * static_cast<size_t>(width) + 31) / 32 * 4;
}

inline std::vector<uint8_t> BuildBmp(const BmpLayout& s) {
  std::vector<uint8_t> h;
  if (s.headerSize == 12) {
    Put32(h, 12);
    Put16(h, uint32_t(s.width));
    Put16(h, uint32_t(s.height));
    Put16(h, 1);
    Put16(h, s.bitCount);
  } else {
    Put32(h, s.headerSize);
    Put32(h, uint32_t(s.width));
    Put32(h, uint32_t(s.height));
    Put16(h, 1);
    Put16(h, s.bitCount);
    Put32(h, s.compression);
    Put32(h, 0);  // image size: let the reader work it out
    Put32(h, 2835);
    Put32(h, 2835);
    Put32(h, s.clrUsed);
    Put32(h, 0);
    if (s.headerSize > 40) {
      for (uint32_t m : s.masks) Put32(h, m);
      while (h.size() < s.headerSize) h.push_back(0);
      h.resize(s.headerSize);
    } else {
      for (uint32_t m : s.masks) Put32(h, m);
    }
  }
  for (uint32_t c : s.palette) {
    h.push_back(uint8_t(c));
    h.push_back(uint8_t(c >> 8));
    h.push_back(uint8_t(c >> 16));
    if (s.headerSize != 12) h.push_back(0);
  }
  for (uint32_t i = 0; i < s.gap; ++i) h.push_back(0xEE);

  std::vector<uint8_t> out;
  const uint32_t pixelStart = uint32_t(h.size()) + (s.fileHeader ? 14 : 0);
  const size_t rowBytes = BmpRowBytes(s.width, s.bitCount);
  const int64_t rows = s.height < 0 ? -int64_t{s.height} : s.height;
  if (s.fileHeader) {
    out.push_back('B');
    out.push_back('M');
    Put32(out, uint32_t(pixelStart + rowBytes * uint64_t(rows)));
    Put32(out, 0);
    Put32(out, s.offBits < 0 ? pixelStart : uint32_t(s.offBits));
  }
  out.insert(out.end(), h.begin(), h.end());
  for (int64_t r = 0; r < rows; ++r) {
    if (s.truncateTo >= 0 && out.size() >= size_t(s.truncateTo)) break;
    std::vector<uint8_t> bytes = s.row ? s.row(int32_t(r), rowBytes) : std::vector<uint8_t>(rowBytes, 0);
    bytes.resize(rowBytes, 0);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  if (s.truncateTo >= 0 && size_t(s.truncateTo) < out.size()) out.resize(size_t(s.truncateTo));
  return out;
}

}  // namespace vantrel::test

#endif

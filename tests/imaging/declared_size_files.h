// Small picture files that declare a size of their choosing, built byte by
// byte: decompression bombs and the like. What follows a header is only as
// much as a reader that trusted the header would start on.
#ifndef VANTREL_TESTS_IMAGING_DECLARED_SIZE_FILES_H
#define VANTREL_TESTS_IMAGING_DECLARED_SIZE_FILES_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrel::test {

inline void PutBigEndian(std::vector<uint8_t>& b, size_t at, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b[at + i] = uint8_t(v >> (8 * (bytes - 1 - i)));
}

inline void AddLittleEndian(std::vector<uint8_t>& b, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

inline uint32_t PngCrc(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return ~c;
}

inline void AddPngChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> chunk(type, type + 4);
  chunk.insert(chunk.end(), data.begin(), data.end());
  std::vector<uint8_t> word(4);
  PutBigEndian(word, 0, uint32_t(data.size()), 4);
  png.insert(png.end(), word.begin(), word.end());
  png.insert(png.end(), chunk.begin(), chunk.end());
  PutBigEndian(word, 0, PngCrc(chunk.data(), chunk.size()), 4);
  png.insert(png.end(), word.begin(), word.end());
}

// An 8-bit grey PNG declaring w x h. Its data is one stored (uncompressed)
// deflate block with the first row, or with as much of it as a block holds.
inline std::vector<uint8_t> PngDeclaring(uint32_t w, uint32_t h) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> ihdr(13, 0);
  PutBigEndian(ihdr, 0, w, 4);
  PutBigEndian(ihdr, 4, h, 4);
  ihdr[8] = 8;  // bit depth; colour type 0 (grey), no interlace
  AddPngChunk(png, "IHDR", ihdr);
  const uint32_t n = w + 1 < 65535 ? w + 1 : 65535;  // filter byte and the row's zeros
  std::vector<uint8_t> idat = {0x78, 0x01, 0x01};     // zlib header; final stored block
  AddLittleEndian(idat, n, 2);
  AddLittleEndian(idat, ~n & 0xFFFF, 2);
  idat.resize(idat.size() + n, 0);
  const uint32_t adler = (n % 65521) << 16 | 1;  // Adler-32 of n zero bytes
  idat.resize(idat.size() + 4);
  PutBigEndian(idat, idat.size() - 4, adler, 4);
  AddPngChunk(png, "IDAT", idat);
  AddPngChunk(png, "IEND", {});
  return png;
}

// One uncompressed strip of 8-bit grey declared w x h; its pixels are there for
// small pictures, a mere 16 bytes of them for large ones.
inline std::vector<uint8_t> TiffDeclaring(uint32_t w, uint32_t h) {
  std::vector<uint8_t> t = {'I', 'I', 42, 0};
  AddLittleEndian(t, 8, 4);
  const struct {
    uint16_t tag, type;  // type 3 SHORT, 4 LONG
    uint32_t value;
  } entries[] = {{256, 4, w}, {257, 4, h}, {258, 3, 8}, {259, 3, 1},    {262, 3, 1},
                 {273, 4, 0}, {277, 3, 1}, {278, 4, h}, {279, 4, w * h}};
  const uint32_t count = sizeof entries / sizeof entries[0];
  const uint32_t dataAt = 8 + 2 + 12 * count + 4;
  AddLittleEndian(t, count, 2);
  for (const auto& e : entries) {
    AddLittleEndian(t, e.tag, 2);
    AddLittleEndian(t, e.type, 2);
    AddLittleEndian(t, 1, 4);
    AddLittleEndian(t, e.tag == 273 ? dataAt : e.value, e.type == 3 ? 2 : 4);
    if (e.type == 3) AddLittleEndian(t, 0, 2);
  }
  AddLittleEndian(t, 0, 4);  // no further directory
  t.resize(t.size() + (uint64_t{w} * h <= 65536 ? w * h : 16), 0x80);
  return t;
}

// A GIF with a cw x ch canvas and one fw x fh frame holding a few bytes of data.
inline std::vector<uint8_t> GifWithFrame(uint16_t cw, uint16_t ch, uint16_t fw, uint16_t fh) {
  std::vector<uint8_t> g = {'G', 'I', 'F', '8', '9', 'a'};
  AddLittleEndian(g, cw, 2);
  AddLittleEndian(g, ch, 2);
  g.insert(g.end(), {0x80, 0, 0, 0, 0, 0, 255, 255, 255});  // two colours: black, white
  g.push_back(0x2C);
  AddLittleEndian(g, 0, 2);
  AddLittleEndian(g, 0, 2);
  AddLittleEndian(g, fw, 2);
  AddLittleEndian(g, fh, 2);
  g.insert(g.end(), {0, 2, 2, 0x4C, 0x01, 0, 0x3B});
  return g;
}

}  // namespace vantrel::test

#endif

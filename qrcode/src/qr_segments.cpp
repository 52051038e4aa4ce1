// Data segments.
//
// A segment whose count asks for more bits than remain ends the data quietly:
// what was decoded before it stands. Fewer than five bits left end the data
// without a mode indicator.
#include "qr_segments.h"

namespace vantrel::qr {

namespace {

constexpr char kAlphanumeric[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";

// Values outside the 45-character table have no character; they show as '?'.
uint8_t AlphanumericChar(uint32_t v) {
  return v < 45 ? static_cast<uint8_t>(kAlphanumeric[v]) : static_cast<uint8_t>('?');
}

}  // namespace

uint32_t ReadBits(const uint8_t* data, int32_t dataBytes, int32_t pos, int32_t n) {
  uint32_t v = 0;
  const int64_t totalBits = int64_t{dataBytes} * 8;
  for (int32_t i = 0; i < n; ++i) {
    const int64_t bit = int64_t{pos} + i;
    uint32_t b = 0;
    if (bit >= 0 && bit < totalBits) b = (data[bit >> 3] >> (7 - (bit & 7))) & 1u;
    v = (v << 1) | b;
  }
  return v;
}

int32_t CountBits(int32_t mode, int32_t version) {
  static constexpr int32_t kWidths[4][3] = {{10, 12, 14}, {9, 11, 13}, {8, 16, 16}, {8, 10, 12}};
  const int32_t group = version <= 9 ? 0 : version <= 26 ? 1 : 2;
  switch (mode) {
    case 1: return kWidths[0][group];
    case 2: return kWidths[1][group];
    case 4: return kWidths[2][group];
    case 8: return kWidths[3][group];
    default: return 0;
  }
}

bool DecodeSegments(const uint8_t* data, int32_t D, int32_t version, bool header, uint8_t* out,
                    int32_t capacity, int32_t* length) {
  const int64_t T = int64_t{D} * 8;
  int64_t p = header ? 20 : 0;
  int32_t produced = 0;
  bool overflow = false;
  auto bits = [&](int32_t n) {
    const uint32_t v = ReadBits(data, D, static_cast<int32_t>(p), n);
    p += n;
    return v;
  };
  auto put = [&](uint8_t c) {
    if (produced < capacity) out[produced++] = c;
    else overflow = true;
  };

  while (T - p >= 5) {
    const int32_t mode = static_cast<int32_t>(bits(4));
    if (mode == 0) break;  // terminator
    const int32_t width = CountBits(mode, version);
    if (width == 0) return false;  // ECI, FNC1, Structured Append or unassigned
    const int64_t count = bits(width);
    const int64_t left = T - p;
    if (mode == 1) {
      const int64_t need = 10 * (count / 3) + (count % 3 == 2 ? 7 : count % 3 == 1 ? 4 : 0);
      if (need > left) break;
      for (int64_t g = 0; g < count / 3; ++g) {
        const uint32_t v = bits(10);
        put(static_cast<uint8_t>('0' + v / 100));
        put(static_cast<uint8_t>('0' + (v % 100) / 10));
        put(static_cast<uint8_t>('0' + v % 10));
      }
      if (count % 3 == 2) {
        const uint32_t v = bits(7);
        put(static_cast<uint8_t>('0' + v / 10));
        put(static_cast<uint8_t>('0' + v % 10));
      } else if (count % 3 == 1) {
        put(static_cast<uint8_t>('0' + bits(4)));
      }
    } else if (mode == 2) {
      const int64_t need = 11 * (count / 2) + 6 * (count % 2);
      if (need > left) break;
      for (int64_t g = 0; g < count / 2; ++g) {
        const uint32_t v = bits(11);
        put(AlphanumericChar(v / 45));
        put(AlphanumericChar(v % 45));
      }
      if (count % 2) put(AlphanumericChar(bits(6)));
    } else if (mode == 4) {
      if (8 * count > left) break;
      for (int64_t g = 0; g < count; ++g) put(static_cast<uint8_t>(bits(8)));
    } else {  // Kanji
      if (13 * count > left) break;
      for (int64_t g = 0; g < count; ++g) {
        const uint32_t f = bits(13);
        uint32_t a = (f / 192) * 256 + f % 192;
        a += a < 0x1F00 ? 0x8140 : 0xC140;
        put(static_cast<uint8_t>(a >> 8));
        put(static_cast<uint8_t>(a & 0xFF));
      }
    }
    if (overflow) return false;
  }
  if (produced == 0) return false;
  *length = produced;
  return true;
}

}  // namespace vantrel::qr

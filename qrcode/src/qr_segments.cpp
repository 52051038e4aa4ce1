// Data segments.
//
// A segment whose count asks for more bits than remain ends the data quietly:
// what was decoded before it stands. Fewer than five bits left end the data
// without a mode indicator.
//
// The extended decoding reads the stream once into the bytes of the strict
// decoding and a list of spans saying where each run of bytes came from (its
// mode and the ECI in force); only a symbol that needs it is then converted,
// span by span, into UTF-8.
#include "qr_segments.h"

#include "vantrel/text_convert.h"

#include <cstring>
#include <string>
#include <vector>

namespace vantrel::qr {

namespace {

constexpr char kAlphanumeric[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
constexpr uint8_t kGroupSeparator = 0x1D;
constexpr int32_t kBinaryEci = 899;
constexpr int32_t kNoEci = -1;

// Values outside the 45-character table have no character; they show as '?'.
uint8_t AlphanumericChar(uint32_t v) {
  return v < 45 ? static_cast<uint8_t>(kAlphanumeric[v]) : static_cast<uint8_t>('?');
}

// Where a run of the decoded bytes came from.
enum class Kind : uint8_t { kAscii, kBytes, kKanji, kHanzi };
struct Span {
  int32_t start, length;
  Kind kind;
  int32_t eci;
};

struct Parsed {
  std::vector<uint8_t> bytes;
  std::vector<Span> spans;
  bool anyEci = false, binary = false, hanzi = false;
  int32_t fnc1 = 0;  // 1 first position, 2 second position
};

// Reads the whole stream. extended: ECI, FNC1 and Hanzi are accepted.
bool Parse(const uint8_t* data, int32_t D, int32_t version, bool header, bool extended,
           int32_t capacity, Parsed* r) {
  const int64_t T = int64_t{D} * 8;
  int64_t p = header ? 20 : 0;
  int32_t eci = kNoEci;
  bool overflow = false;
  auto bits = [&](int32_t n) {
    const uint32_t v = ReadBits(data, D, static_cast<int32_t>(p), n);
    p += n;
    return v;
  };
  auto put = [&](uint8_t c) {
    if (static_cast<int32_t>(r->bytes.size()) < capacity) r->bytes.push_back(c);
    else overflow = true;
  };
  // Opens or extends the span the next bytes belong to.
  auto span = [&](Kind kind) {
    const int32_t at = static_cast<int32_t>(r->bytes.size());
    if (!r->spans.empty()) {
      Span& last = r->spans.back();
      if (last.kind == kind && last.eci == eci && last.start + last.length == at) return;
    }
    r->spans.push_back(Span{at, 0, kind, eci});
  };
  auto close = [&]() {
    if (!r->spans.empty()) {
      Span& last = r->spans.back();
      last.length = static_cast<int32_t>(r->bytes.size()) - last.start;
    }
  };
  bool first = true;

  while (T - p >= 5) {
    const int32_t mode = static_cast<int32_t>(bits(4));
    if (mode == 0) break;  // terminator
    if (extended && mode == 7) {
      const uint32_t b = bits(8);
      int32_t value = 0;
      if ((b & 0x80) == 0) value = static_cast<int32_t>(b);
      else if ((b & 0xC0) == 0x80) value = static_cast<int32_t>(((b & 0x3F) << 8) | bits(8));
      else if ((b & 0xE0) == 0xC0) value = static_cast<int32_t>(((b & 0x1F) << 16) | bits(16));
      else return false;
      if (p > T) return false;
      eci = value;
      r->anyEci = true;
      if (value == kBinaryEci) r->binary = true;
      continue;
    }
    if (extended && mode == 5) {  // FNC1 in first position, before any data
      if (!first || r->fnc1) return false;
      r->fnc1 = 1;
      continue;
    }
    if (extended && mode == 9) {  // FNC1 in second position and its application indicator
      if (!first || r->fnc1) return false;
      const uint32_t indicator = bits(8);
      if (p > T) return false;
      r->fnc1 = 2;
      span(Kind::kAscii);
      if (indicator < 100) {
        put(static_cast<uint8_t>('0' + indicator / 10));
        put(static_cast<uint8_t>('0' + indicator % 10));
      } else {
        const uint32_t letter = indicator - 100;
        const bool isLetter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
        if (!isLetter) return false;
        put(static_cast<uint8_t>(letter));
      }
      close();
      continue;
    }
    if (extended && mode == 13) {  // Hanzi: a subset indicator, then 13-bit values
      if (bits(4) != 1) return false;  // only GB 2312
      const int32_t width = CountBits(8, version);
      const int64_t count = bits(width);
      if (13 * count > T - p) break;
      r->hanzi = true;
      span(Kind::kHanzi);
      for (int64_t g = 0; g < count; ++g) {
        const uint32_t f = bits(13);
        uint32_t a = (f / 0x60) * 256 + f % 0x60;
        a += a < 0x0A00 ? 0xA1A1 : 0xA6A1;
        put(static_cast<uint8_t>(a >> 8));
        put(static_cast<uint8_t>(a & 0xFF));
      }
      close();
      first = false;
      if (overflow) return false;
      continue;
    }
    const int32_t width = CountBits(mode, version);
    if (width == 0) return false;  // Structured Append inside the stream, or unassigned
    first = false;
    const int64_t count = bits(width);
    const int64_t left = T - p;
    if (mode == 1) {
      const int64_t need = 10 * (count / 3) + (count % 3 == 2 ? 7 : count % 3 == 1 ? 4 : 0);
      if (need > left) break;
      span(Kind::kAscii);
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
      span(Kind::kAscii);
      // Under FNC1 '%' separates fields and "%%" is a '%' (possibly split
      // between a pair and the next one).
      bool percent = false;
      auto emit = [&](uint8_t c) {
        if (!r->fnc1) {
          put(c);
          return;
        }
        if (percent) {
          put(c == '%' ? static_cast<uint8_t>('%') : kGroupSeparator);
          if (c != '%') put(c);
          percent = false;
        } else if (c == '%') {
          percent = true;
        } else {
          put(c);
        }
      };
      for (int64_t g = 0; g < count / 2; ++g) {
        const uint32_t v = bits(11);
        emit(AlphanumericChar(v / 45));
        emit(AlphanumericChar(v % 45));
      }
      if (count % 2) emit(AlphanumericChar(bits(6)));
      if (percent) put(kGroupSeparator);
    } else if (mode == 4) {
      if (8 * count > left) break;
      span(Kind::kBytes);
      for (int64_t g = 0; g < count; ++g) put(static_cast<uint8_t>(bits(8)));
    } else {  // Kanji
      if (13 * count > left) break;
      span(Kind::kKanji);
      for (int64_t g = 0; g < count; ++g) {
        const uint32_t f = bits(13);
        uint32_t a = (f / 192) * 256 + f % 192;
        a += a < 0x1F00 ? 0x8140 : 0xC140;
        put(static_cast<uint8_t>(a >> 8));
        put(static_cast<uint8_t>(a & 0xFF));
      }
    }
    close();
    if (overflow) return false;
  }
  return !r->bytes.empty();
}

// The parsed bytes as UTF-8, span by span.
bool ToUtf8(const Parsed& r, int32_t capacity, std::string* out) {
  for (const Span& s : r.spans) {
    const uint8_t* b = r.bytes.data() + s.start;
    const size_t n = static_cast<size_t>(s.length);
    const char* charset = nullptr;
    switch (s.kind) {
      case Kind::kAscii: charset = "ASCII"; break;
      case Kind::kKanji: charset = "CP932"; break;
      case Kind::kHanzi: charset = "GB2312"; break;
      case Kind::kBytes:
        if (s.eci == kNoEci) {
          // No character set is named for these bytes: only ASCII is certain.
          for (size_t i = 0; i < n; ++i)
            if (b[i] >= 0x80) return false;
          charset = "ASCII";
        } else {
          charset = EciCharset(s.eci);
          if (!charset) return false;
        }
        break;
    }
    if (s.kind == Kind::kAscii) {  // digits, alphanumerics, separators: already UTF-8
      if (out->size() + n > static_cast<size_t>(capacity)) return false;
      out->append(reinterpret_cast<const char*>(b), n);
      continue;
    }
    if (!AppendAsUtf8(charset, std::string_view(reinterpret_cast<const char*>(b), n), out,
                      static_cast<size_t>(capacity)))
      return false;
  }
  return true;
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

bool IsKnownFirstMode(int32_t mode, bool extended) {
  if (mode == 1 || mode == 2 || mode == 3 || mode == 4 || mode == 8) return true;
  return extended && (mode == 5 || mode == 7 || mode == 9 || mode == 13);
}

bool DecodeSegments(const uint8_t* data, int32_t D, int32_t version, bool header, uint8_t* out,
                    int32_t capacity, int32_t* length) {
  Parsed r;
  try {
    r.bytes.reserve(static_cast<size_t>(capacity));
    if (!Parse(data, D, version, header, false, capacity, &r)) return false;
  } catch (...) {
    return false;
  }
  std::memcpy(out, r.bytes.data(), r.bytes.size());
  *length = static_cast<int32_t>(r.bytes.size());
  return true;
}

bool DecodeSegmentsExtended(const uint8_t* data, int32_t D, int32_t version, bool header,
                            uint8_t* out, int32_t capacity, int32_t* length, QrContent* content) {
  try {
    Parsed r;
    r.bytes.reserve(static_cast<size_t>(capacity));
    if (!Parse(data, D, version, header, true, capacity, &r)) return false;
    QrContent c;
    c.modifier = r.fnc1 == 1 ? 3 : r.fnc1 == 2 ? 5 : 1;
    if (r.anyEci) ++c.modifier;
    if (r.binary) {
      c.encoding = kBinary;
    } else if (r.anyEci || r.hanzi) {
      std::string text;
      if (!ToUtf8(r, capacity, &text) || text.empty()) return false;
      r.bytes.assign(text.begin(), text.end());
      c.encoding = kUtf8;
    }
    std::memcpy(out, r.bytes.data(), r.bytes.size());
    *length = static_cast<int32_t>(r.bytes.size());
    if (content) *content = c;
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace vantrel::qr

#include "vantrel/text_convert.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace vantrel {

namespace {

bool ShiftJisToUtf8(std::string_view bytes, std::string* out) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  // A two-byte character becomes at most three bytes, a one-byte one at most three.
  std::string buf(bytes.size() * 3 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* o = buf.data();
  size_t outLeft = buf.size();
  const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
  bool ok = r != static_cast<size_t>(-1) && inLeft == 0;
  // Flush any shift state (none for CP932, but the call is cheap).
  if (ok) ok = iconv(cd, nullptr, nullptr, &o, &outLeft) != static_cast<size_t>(-1);
  iconv_close(cd);
  if (!ok) return false;
  buf.resize(buf.size() - outLeft);
  // CP932's user-defined area (lead bytes F0..F9) maps onto private-use
  // characters that nothing can show; bytes that land there are far more
  // likely Latin-1 text (e.g. "óó" from a CODE 128 FNC4 symbol).
  for (size_t i = 0; i + 2 < buf.size(); ++i) {
    const auto b0 = static_cast<uint8_t>(buf[i]), b1 = static_cast<uint8_t>(buf[i + 1]);
    if (b0 == 0xEE || (b0 == 0xEF && b1 >= 0x80 && b1 <= 0xA3)) return false;
  }
  *out = std::move(buf);
  return true;
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    const uint8_t c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;  // a continuation byte, an overlong lead (C0, C1) or F5..FF
    }
    if (n - i < len) return false;
    for (size_t k = 1; k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += len;
  }
  return true;
}

std::string DecodedBytesToUtf8(std::string_view bytes, TextEncoding* used) {
  if (IsValidUtf8(bytes)) {
    if (used) *used = TextEncoding::kUtf8;
    return std::string(bytes);
  }
  std::string out;
  if (ShiftJisToUtf8(bytes, &out)) {
    if (used) *used = TextEncoding::kShiftJis;
    return out;
  }
  if (used) *used = TextEncoding::kLatin1;
  return Latin1ToUtf8(bytes);
}

}  // namespace vantrel

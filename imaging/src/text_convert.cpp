#include "vantrel/text_convert.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace vantrel {

namespace {

bool ShiftJisToUtf8(std::string_view bytes, std::string* out) {
  std::string buf;
  if (!AppendAsUtf8("CP932", bytes, &buf)) return false;
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

const char* EciCharset(int32_t eci) {
  switch (eci) {
    case 0:
    case 2: return "CP437";
    case 1:
    case 3: return "ISO-8859-1";
    case 4: return "ISO-8859-2";
    case 5: return "ISO-8859-3";
    case 6: return "ISO-8859-4";
    case 7: return "ISO-8859-5";
    case 8: return "ISO-8859-6";
    case 9: return "ISO-8859-7";
    case 10: return "ISO-8859-8";
    case 11: return "ISO-8859-9";
    case 12: return "ISO-8859-10";
    case 13: return "ISO-8859-11";
    case 15: return "ISO-8859-13";
    case 16: return "ISO-8859-14";
    case 17: return "ISO-8859-15";
    case 18: return "ISO-8859-16";
    // Shift JIS as it is written in practice: single bytes are ASCII (the
    // strict table would turn a backslash into a yen sign).
    case 20: return "CP932";
    case 21: return "CP1250";
    case 22: return "CP1251";
    case 23: return "CP1252";
    case 24: return "CP1256";
    case 25: return "UTF-16BE";
    case 26: return "UTF-8";
    case 27:
    case 170: return "ASCII";
    case 28: return "BIG5";
    case 29: return "GB18030";  // GB 2312 text reads the same through its superset
    case 30: return "EUC-KR";
    case 31: return "GBK";
    case 32: return "GB18030";
    case 33: return "UTF-16LE";
    case 34: return "UTF-32BE";
    case 35: return "UTF-32LE";
    default: return nullptr;
  }
}

bool AppendAsUtf8(const char* charset, std::string_view bytes, std::string* out, size_t capacity) {
  if (bytes.empty()) return true;
  if (charset == nullptr) return false;
  iconv_t cd = iconv_open("UTF-8", charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  // No input unit of any set here becomes more than four bytes a byte.
  std::string buf(bytes.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* o = buf.data();
  size_t outLeft = buf.size();
  bool ok = iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
  // A shift state left open at the end is an incomplete text too.
  if (ok) ok = iconv(cd, nullptr, nullptr, &o, &outLeft) != static_cast<size_t>(-1);
  iconv_close(cd);
  if (!ok) return false;
  buf.resize(buf.size() - outLeft);
  if (out->size() > capacity || buf.size() > capacity - out->size()) return false;
  out->append(buf);
  return true;
}

}  // namespace vantrel

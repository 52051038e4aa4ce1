#include "reading_text.h"

#include <iconv.h>

#include <cstdint>
#include <cstring>

#include "vantrel/reading_cycle.h"

namespace vantrel {

namespace {

// Bytes needed by the UTF-8 sequence that `lead` starts; 0 for a byte that
// cannot start one.
int SequenceLength(uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

bool IsShiftJisLead(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

bool ShiftJisToUtf8(const char* text, size_t length, std::string* out) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string result(length * 3 + 4, '\0');
  char* in = const_cast<char*>(text);
  size_t inLeft = length;
  char* o = result.data();
  size_t outLeft = result.size();
  const size_t done = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  if (done == static_cast<size_t>(-1) || inLeft != 0) return false;
  result.resize(result.size() - outLeft);
  *out = std::move(result);
  return true;
}

}  // namespace

bool IsWellFormedUtf8(const char* text, size_t length) {
  const auto* p = reinterpret_cast<const uint8_t*>(text);
  size_t i = 0;
  while (i < length) {
    const int n = SequenceLength(p[i]);
    if (n == 0 || i + n > length) return false;
    for (int k = 1; k < n; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
    }
    if (n == 3) {
      if (p[i] == 0xE0 && p[i + 1] < 0xA0) return false;  // overlong
      if (p[i] == 0xED && p[i + 1] >= 0xA0) return false;  // surrogate
    } else if (n == 4) {
      if (p[i] == 0xF0 && p[i + 1] < 0x90) return false;  // overlong
      if (p[i] == 0xF4 && p[i + 1] >= 0x90) return false;  // beyond U+10FFFF
    }
    i += n;
  }
  return true;
}

std::string ResultDataToUtf8(const char* text, size_t length) {
  if (IsWellFormedUtf8(text, length)) return std::string(text, length);
  std::string converted;
  if (ShiftJisToUtf8(text, length, &converted)) return converted;
  converted.clear();
  for (size_t i = 0; i < length; ++i) {
    const auto b = static_cast<uint8_t>(text[i]);
    if (b < 0x80) {
      converted += static_cast<char>(b);
    } else {
      converted += static_cast<char>(0xC0 | (b >> 6));
      converted += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return converted;
}

int32_t DropCutCharacter(char* text, int32_t length) {
  if (text == nullptr || length <= 0) return length < 0 ? 0 : length;
  const auto* p = reinterpret_cast<const uint8_t*>(text);
  const size_t n = static_cast<size_t>(length);
  if (IsWellFormedUtf8(text, n)) return length;

  // UTF-8 whose last sequence lost its tail.
  size_t start = n;
  for (size_t back = 1; back <= 3 && back <= n; ++back) {
    if ((p[n - back] & 0xC0) != 0x80) {
      start = n - back;
      break;
    }
  }
  if (start < n) {
    const int need = SequenceLength(p[start]);
    if (need > 1 && start + static_cast<size_t>(need) > n && IsWellFormedUtf8(text, start)) {
      bool prefix = true;
      for (size_t k = start + 1; k < n; ++k) prefix = prefix && (p[k] & 0xC0) == 0x80;
      if (prefix) {
        text[start] = '\0';
        return static_cast<int32_t>(start);
      }
    }
  }

  // Shift JIS whose last character lost its second byte.
  size_t i = 0;
  while (i < n) {
    if (IsShiftJisLead(p[i])) {
      if (i + 1 == n) {
        text[i] = '\0';
        return static_cast<int32_t>(i);
      }
      i += 2;
    } else {
      ++i;
    }
  }
  return length;
}

}  // namespace vantrel

#include <cstdint>
#include <cstring>
#include <string_view>

#include "vantrel/reading_cycle.h"
#include "vantrel/text_convert.h"

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

}  // namespace

int32_t DropCutCharacter(char* text, int32_t length) {
  if (text == nullptr || length <= 0) return length < 0 ? 0 : length;
  const auto* p = reinterpret_cast<const uint8_t*>(text);
  const size_t n = static_cast<size_t>(length);
  if (IsValidUtf8(std::string_view(text, n))) return length;

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
    if (need > 1 && start + static_cast<size_t>(need) > n && IsValidUtf8(std::string_view(text, start))) {
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

std::string ShownText(const Reading& reading) {
  if (reading.kind != CodeKind::kQrCode || reading.bytes.size() < static_cast<size_t>(kStationQrCapacity - 1)) {
    return reading.text;
  }
  char cut[kStationQrCapacity];
  std::memcpy(cut, reading.bytes.data(), kStationQrCapacity - 1);
  const int32_t length = DropCutCharacter(cut, kStationQrCapacity - 1);
  return DecodedBytesToUtf8(std::string_view(cut, static_cast<size_t>(length)));
}

}  // namespace vantrel

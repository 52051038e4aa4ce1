// Decoded bytes as text. Codes carry bytes, not characters: QR codes printed in
// Japan hold Shift JIS, newer ones UTF-8, old barcodes Latin-1. The station's
// result box and the command-line reader show them through the same rule.
#ifndef VANTREL_TEXT_CONVERT_H
#define VANTREL_TEXT_CONVERT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

enum class TextEncoding { kUtf8, kShiftJis, kLatin1 };

// Well-formed UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

// The bytes as UTF-8: valid UTF-8 as it is; otherwise Shift JIS (CP932, what the
// station's Japanese desktop showed) when every byte converts; otherwise Latin-1,
// which always does. `used` tells which rule applied.
std::string DecodedBytesToUtf8(std::string_view bytes, TextEncoding* used = nullptr);

// The iconv name of the character set an Extended Channel Interpretation
// designator names (the QR and Data Matrix decoders share one table), or null
// where we know none; 899 (binary) has none either: its bytes are no text.
const char* EciCharset(int32_t eci);

// Appends `bytes`, text in `charset` (an iconv name), to *out as UTF-8. False,
// with *out unchanged, when they are not whole text in that character set
// (an invalid or cut sequence, an open shift state at the end), the set is
// unknown, or *out would grow past `capacity` bytes. Safe from any thread.
bool AppendAsUtf8(const char* charset, std::string_view bytes, std::string* out,
                  size_t capacity = SIZE_MAX);

}  // namespace vantrel

#endif

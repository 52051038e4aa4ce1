// Decoded bytes as text. Codes carry bytes, not characters: QR codes printed in
// Japan hold Shift JIS, newer ones UTF-8, old barcodes Latin-1. The station's
// result box and the command-line reader show them through the same rule.
#ifndef VANTREL_TEXT_CONVERT_H
#define VANTREL_TEXT_CONVERT_H

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

}  // namespace vantrel

#endif

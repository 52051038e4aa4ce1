// Result texts of the reading cycle: decoded bytes to the UTF-8 the window shows.
#ifndef VANTREL_APPCORE_READING_TEXT_H
#define VANTREL_APPCORE_READING_TEXT_H

#include <cstddef>
#include <string>

namespace vantrel {

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsWellFormedUtf8(const char* text, size_t length);
// The decoded bytes as UTF-8: well-formed UTF-8 as it is, else Shift JIS, else Latin-1.
std::string ResultDataToUtf8(const char* text, size_t length);

}  // namespace vantrel

#endif

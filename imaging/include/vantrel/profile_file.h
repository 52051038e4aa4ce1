// Profile (INI) files the way the station's files have always been read and
// written: "[section]" lines opening sections, "key=value" lines inside them.
//
// Section and key names match without regard to ASCII case, the first match
// wins, blanks around names and values are ignored, and a value enclosed in one
// pair of matching quotes loses them. A write changes or adds one line and keeps
// every other byte of the file: other sections and keys, comments, blank lines
// and the file's line ends (CRLF for a file written on Windows).
#ifndef VANTREL_PROFILE_FILE_H
#define VANTREL_PROFILE_FILE_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// The value of key in section, or nullopt when the section or key is missing.
std::optional<std::string> ProfileLookup(std::string_view text, std::string_view section,
                                         std::string_view key);

// The text with key in section set to value: the first matching key line is
// changed in place; a missing key is added at the end of its section, a missing
// section at the end of the text. Nullopt when the names or the value cannot be
// stored as one line (a line break anywhere, '=' in a key, ']' in a section, an
// empty key or section).
std::optional<std::string> ProfileApply(std::string_view text, std::string_view section,
                                        std::string_view key, std::string_view value);

// What the reader gives: the value, or defaultText when the file, section or key
// is missing; at most size - 1 characters of it (nothing when size is 0).
std::string ProfileReadString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& defaultText, size_t size);

// Creates the file, the section or the key as needed. The file is replaced as a
// whole (a new file beside it, then renamed over it), so a crash or a full disk
// leaves the old file or the new one, never a part. A symbolic link is followed
// and its target replaced. False when the file could not be written.
bool ProfileWriteString(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value);

}  // namespace vantrel

#endif

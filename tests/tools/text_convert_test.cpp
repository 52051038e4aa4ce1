#include "vantrel/text_convert.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vantrel::DecodedBytesToUtf8;
using vantrel::IsValidUtf8;
using vantrel::TextEncoding;

TEST(TextConvert, Utf8Validity) {
  const struct {
    std::string bytes;
    bool valid;
  } cases[] = {
      {"", true},
      {"plain ASCII 123", true},
      {std::string("with\0NUL", 8), true},
      {"\xE6\x97\xA5\xE6\x9C\xAC", true},          // 日本
      {"\xF0\x9F\x98\x80", true},                  // U+1F600
      {"\xF4\x8F\xBF\xBF", true},                  // U+10FFFF
      {"\xC0\xAF", false},                         // overlong '/'
      {"\xE0\x80\xAF", false},                     // overlong, three bytes
      {"\xF0\x80\x80\xAF", false},                 // overlong, four bytes
      {"\xED\xA0\x80", false},                     // a surrogate
      {"\xF4\x90\x80\x80", false},                 // past U+10FFFF
      {"\xF5\x80\x80\x80", false},
      {"\x80", false},                             // a lone continuation byte
      {"\xE6\x97", false},                         // cut short
      {"\xE6\x41\xA5", false},                     // continuation missing
      {"\xFF", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << testing::PrintToString(c.bytes);
}

TEST(TextConvert, RuleOrder) {
  const struct {
    const char* name;
    std::string bytes;
    std::string text;
    TextEncoding used;
  } cases[] = {
      {"ASCII", "ABC-123", "ABC-123", TextEncoding::kUtf8},
      {"UTF-8 as it is", "\xE6\x97\xA5\xE6\x9C\xAC", "\xE6\x97\xA5\xE6\x9C\xAC", TextEncoding::kUtf8},
      {"Shift JIS kanji", "\x93\xFA\x96\x7B\x8C\xEA", "日本語", TextEncoding::kShiftJis},
      {"Shift JIS half-width katakana", "\xB1\xB2\xB3", "ｱｲｳ", TextEncoding::kShiftJis},
      {"Shift JIS with ASCII", "No.\x82\x50", "No.１", TextEncoding::kShiftJis},
      {"a vendor extension of CP932", "\x87\x40", "①", TextEncoding::kShiftJis},
      {"IBM extension row of CP932", "\xFA\x40", "ⅰ", TextEncoding::kShiftJis},
      {"Latin-1 when Shift JIS breaks", "caf\xE9", "café", TextEncoding::kLatin1},
      {"Latin-1: a lead byte without its partner", "\x93", "\xC2\x93", TextEncoding::kLatin1},
      {"Latin-1 for bytes no table has", "\xFF\xFE", "ÿþ", TextEncoding::kLatin1},
      {"Latin-1 over the user-defined area", "\xF3\xF3" "ab\xF3zz", "óóabózz", TextEncoding::kLatin1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TextEncoding used = TextEncoding::kUtf8;
    std::string out = DecodedBytesToUtf8(c.bytes, &used);
    EXPECT_EQ(out, c.text);
    EXPECT_EQ(used, c.used);
    EXPECT_TRUE(IsValidUtf8(out));
  }
  EXPECT_EQ(DecodedBytesToUtf8("x"), "x");
}

TEST(TextConvert, EveryByteStringGivesValidText) {
  // All pairs of bytes: whatever rule applies, the result is valid UTF-8.
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; b += 7) {
      std::string bytes{static_cast<char>(a), static_cast<char>(b)};
      ASSERT_TRUE(IsValidUtf8(DecodedBytesToUtf8(bytes))) << a << " " << b;
    }
  }
}

}  // namespace

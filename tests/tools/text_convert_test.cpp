#include "vantrel/text_convert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using vantrel::AppendAsUtf8;
using vantrel::EciCharset;
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

// The conversion both 2D decoders use for text in an ECI's character set: the
// whole text or nothing, and never past the caller's room.
TEST(TextConvert, EciTextConvertsWholeOrNotAtAll) {
  const struct {
    const char* name;
    int32_t eci;
    std::string bytes;
    size_t capacity;
    bool ok;
    std::string text;  // appended to "> "
  } cases[] = {
      {"Latin-1", 3, "caf\xE9", SIZE_MAX, true, "> café"},
      {"Shift JIS keeps the backslash", 20, "\\\x82\xA0", SIZE_MAX, true, "> \\あ"},
      {"UTF-16BE", 25, std::string("\x30\x42\x00\x41", 4), SIZE_MAX, true, "> あA"},
      {"GB 2312 text through its superset", 29, "\xC4\xE3", SIZE_MAX, true, "> 你"},
      {"a Shift JIS lead byte cut off", 20, "a\x82", SIZE_MAX, false, "> "},
      {"half a UTF-16 unit", 25, "\x30", SIZE_MAX, false, "> "},
      {"exactly the room left", 26, "\xE3\x81\x82", 5, true, "> あ"},
      {"one byte past the room", 26, "\xE3\x81\x82", 4, false, "> "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = "> ";
    EXPECT_EQ(AppendAsUtf8(EciCharset(c.eci), c.bytes, &out, c.capacity), c.ok);
    EXPECT_EQ(out, c.text);
  }
  // Binary data and designators nobody assigned name no character set.
  for (int32_t eci : {14, 19, 36, 899, 810900}) EXPECT_EQ(EciCharset(eci), nullptr) << eci;
  std::string out = "x";
  EXPECT_FALSE(AppendAsUtf8(nullptr, "a", &out));
  EXPECT_FALSE(AppendAsUtf8("NO-SUCH-SET", "a", &out));
  EXPECT_EQ(out, "x");
}

}  // namespace

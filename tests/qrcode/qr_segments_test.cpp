// Data segments on bit streams written by the test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qrcode/src/qr_segments.h"

namespace vantrel::qr {
namespace {

class BitWriter {
 public:
  BitWriter& Put(uint32_t value, int32_t n) {
    for (int32_t i = n - 1; i >= 0; --i) bits_.push_back((value >> i) & 1);
    return *this;
  }
  // The stream padded with zero bits to whole bytes, then to `bytes` bytes
  // with the pad codewords 0xEC, 0x11.
  std::vector<uint8_t> Bytes(size_t bytes = 0) const {
    std::vector<uint8_t> out((bits_.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits_.size(); ++i)
      if (bits_[i]) out[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
    for (bool ec = true; out.size() < bytes; ec = !ec) out.push_back(ec ? 0xEC : 0x11);
    return out;
  }

 private:
  std::vector<uint8_t> bits_;
};

std::string Decode(const std::vector<uint8_t>& data, int32_t version, bool header = false,
                   bool* ok = nullptr) {
  std::vector<uint8_t> out(8000);
  int32_t len = -1;
  const bool decoded = DecodeSegments(data.data(), static_cast<int32_t>(data.size()), version, header,
                                      out.data(), 7089, &len);
  if (ok) *ok = decoded;
  if (!decoded) return "<rejected>";
  return std::string(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(len));
}

TEST(QrSegments, EachMode) {
  struct Case {
    const char* what;
    std::vector<uint8_t> stream;
    int32_t version;
    std::string want;
  };
  const Case cases[] = {
      {"eight digits: two groups of three and one of two",
       BitWriter().Put(1, 4).Put(8, 10).Put(12, 10).Put(345, 10).Put(67, 7).Put(0, 4).Bytes(19), 1,
       "01234567"},
      {"one digit in a final 4-bit group", BitWriter().Put(1, 4).Put(1, 10).Put(9, 4).Put(0, 4).Bytes(19), 1, "9"},
      {"AC-42 as the pairs AC and -4 and the single 2",
       BitWriter().Put(2, 4).Put(5, 9).Put(10 * 45 + 12, 11).Put(41 * 45 + 4, 11).Put(2, 6).Put(0, 4).Bytes(19),
       1, "AC-42"},
      {"bytes unchanged, the padding never read",
       BitWriter().Put(4, 4).Put(3, 8).Put(0x00, 8).Put(0xFF, 8).Put(0x81, 8).Put(0, 4).Bytes(19), 1,
       std::string("\x00\xFF\x81", 3)},
      {"Kanji 0x0000 gives 0x81 0x40, 0x1F00 and above move to 0xE040",
       BitWriter().Put(8, 4).Put(3, 8).Put(0, 13).Put(0x0AAA / 256 * 192 + 0xAA, 13).Put(0x1F00 / 256 * 192, 13).Put(0, 4).Bytes(19),
       1, "\x81\x40\x8B\xEA\xE0\x40"},
      {"segments one after another",
       BitWriter().Put(1, 4).Put(3, 10).Put(123, 10).Put(2, 4).Put(1, 9).Put(36, 6).Put(4, 4).Put(1, 8).Put('z', 8).Put(0, 4).Bytes(19),
       1, "123 z"},
      {"a count of 0 produces nothing and the loop goes on",
       BitWriter().Put(4, 4).Put(0, 8).Put(1, 4).Put(2, 10).Put(42, 7).Put(0, 4).Bytes(19), 1, "42"},
      {"values beyond the tables are not checked",
       BitWriter().Put(1, 4).Put(3, 10).Put(1023, 10).Put(2, 4).Put(1, 9).Put(63, 6).Put(0, 4).Bytes(19), 1,
       std::string("\x3A\x32\x33?", 4)},
      {"an alphanumeric pair beyond 2024 shows as '?'",
       BitWriter().Put(2, 4).Put(2, 9).Put(2047, 11).Put(0, 4).Bytes(19), 1, "?M"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Decode(c.stream, c.version), c.want);
  }
}

TEST(QrSegments, CountWidthsByVersionGroup) {
  struct Width {
    int32_t mode, v9, v10, v26, v27, v40;
  };
  const Width widths[] = {{1, 10, 12, 12, 14, 14}, {2, 9, 11, 11, 13, 13}, {4, 8, 16, 16, 16, 16},
                          {8, 8, 10, 10, 12, 12}, {7, 0, 0, 0, 0, 0}, {3, 0, 0, 0, 0, 0}};
  for (const Width& w : widths) {
    EXPECT_EQ(CountBits(w.mode, 1), w.v9) << w.mode;
    EXPECT_EQ(CountBits(w.mode, 9), w.v9) << w.mode;
    EXPECT_EQ(CountBits(w.mode, 10), w.v10) << w.mode;
    EXPECT_EQ(CountBits(w.mode, 26), w.v26) << w.mode;
    EXPECT_EQ(CountBits(w.mode, 27), w.v27) << w.mode;
    EXPECT_EQ(CountBits(w.mode, 40), w.v40) << w.mode;
  }
  // The same three digits: a 10-bit count in version 9, a 12-bit one in 10.
  EXPECT_EQ(Decode(BitWriter().Put(1, 4).Put(3, 10).Put(789, 10).Put(0, 4).Bytes(30), 9), "789");
  EXPECT_EQ(Decode(BitWriter().Put(1, 4).Put(3, 12).Put(789, 10).Put(0, 4).Bytes(30), 10), "789");
  EXPECT_EQ(Decode(BitWriter().Put(4, 4).Put(1, 16).Put('Q', 8).Put(0, 4).Bytes(30), 27), "Q");
}

TEST(QrSegments, UnsupportedModesRejectTheSymbol) {
  const struct {
    uint32_t mode;
    const char* name;
  } modes[] = {{7, "ECI"}, {5, "FNC1 first"}, {9, "FNC1 second"}, {3, "Structured Append inside"},
               {6, "unassigned"}, {15, "unassigned"}};
  for (const auto& m : modes) {
    SCOPED_TRACE(m.name);
    bool ok = true;
    Decode(BitWriter().Put(m.mode, 4).Put(26, 8).Put(4, 4).Put(1, 8).Put('A', 8).Bytes(19), 1, false, &ok);
    EXPECT_FALSE(ok);
    // Even after a segment that decoded well.
    Decode(BitWriter().Put(4, 4).Put(1, 8).Put('A', 8).Put(m.mode, 4).Put(0, 12).Bytes(19), 1, false, &ok);
    EXPECT_FALSE(ok);
  }
}

TEST(QrSegments, EndsOfTheStream) {
  bool ok = false;
  // A count asking for more bits than remain ends the data; what came before stands.
  EXPECT_EQ(Decode(BitWriter().Put(4, 4).Put(2, 8).Put('O', 8).Put('K', 8).Put(4, 4).Put(200, 8).Bytes(), 1), "OK");
  // Nothing decoded at all is a failure.
  Decode(BitWriter().Put(4, 4).Put(200, 8).Bytes(), 1, false, &ok);
  EXPECT_FALSE(ok);
  Decode(BitWriter().Put(0, 4).Bytes(19), 1, false, &ok);
  EXPECT_FALSE(ok);
  // Exactly four bits left: no mode indicator is read (0100 there would be a
  // byte segment whose count lies past the end).
  EXPECT_EQ(Decode(BitWriter().Put(4, 4).Put(1, 8).Put('x', 8).Put(4, 4).Bytes(), 1), "x");
  // A Structured Append header (0011, position, total, parity) is skipped.
  EXPECT_EQ(Decode(BitWriter().Put(3, 4).Put(0x12, 8).Put(0xA5, 8).Put(4, 4).Put(2, 8).Put('S', 8).Put('A', 8).Put(0, 4).Bytes(19), 1, true),
            "SA");
}

TEST(QrSegments, BitsPastTheDataReadAsZero) {
  const uint8_t data[2] = {0xA5, 0xFF};
  EXPECT_EQ(ReadBits(data, 2, 0, 8), 0xA5u);
  EXPECT_EQ(ReadBits(data, 2, 4, 8), 0x5Fu);
  EXPECT_EQ(ReadBits(data, 2, 12, 8), 0xF0u);
  EXPECT_EQ(ReadBits(data, 1, 4, 8), 0x50u);  // the second byte is not part of the data
  EXPECT_EQ(ReadBits(data, 2, 40, 16), 0u);
}


// The extended decoding: ECI, FNC1 and Hanzi beside the basic modes.
struct Extended {
  bool ok = false;
  std::string data;
  QrContent content;
};
Extended DecodeExtended(const std::vector<uint8_t>& stream, int32_t version = 1) {
  Extended e;
  std::vector<uint8_t> out(9000);
  int32_t len = -1;
  e.ok = DecodeSegmentsExtended(stream.data(), static_cast<int32_t>(stream.size()), version, false, out.data(),
                                8880, &len, &e.content);
  if (e.ok) e.data.assign(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(len));
  return e;
}

// Alphanumeric pairs of the 45-character table.
BitWriter& Alnum(BitWriter& w, const std::string& text) {
  static const std::string kTable = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
  w.Put(2, 4).Put(static_cast<uint32_t>(text.size()), 9);
  for (size_t i = 0; i + 1 < text.size(); i += 2)
    w.Put(static_cast<uint32_t>(kTable.find(text[i]) * 45 + kTable.find(text[i + 1])), 11);
  if (text.size() % 2) w.Put(static_cast<uint32_t>(kTable.find(text.back())), 6);
  return w;
}
BitWriter& Bytes(BitWriter& w, const std::string& bytes) {
  w.Put(4, 4).Put(static_cast<uint32_t>(bytes.size()), 8);
  for (unsigned char c : bytes) w.Put(c, 8);
  return w;
}

TEST(QrSegmentsExtended, TextTheStrictDecodingRefuses) {
  struct Case {
    const char* what;
    std::vector<uint8_t> stream;
    std::string want;
    int32_t modifier, encoding;
  };
  BitWriter gs1, gs1Percent, second, letter, latin1, sjis, utf8, binary, hanzi, longEci, plain;
  Alnum(gs1.Put(5, 4), "01%10AB").Put(0, 4);
  Alnum(gs1Percent.Put(5, 4), "10A%%B%").Put(0, 4);
  Bytes(second.Put(9, 4).Put(37, 8), "xyz").Put(0, 4);
  Bytes(letter.Put(9, 4).Put('a' + 100, 8), "1").Put(0, 4);
  Bytes(latin1.Put(7, 4).Put(3, 8), "caf\xE9").Put(0, 4);
  Bytes(sjis.Put(7, 4).Put(20, 8), "\x8A\xBF\x8E\x9A").Put(0, 4);                 // 漢字
  Bytes(utf8.Put(7, 4).Put(26, 8), "\xE6\xBC\xA2").Put(0, 4);                      // 漢
  Bytes(binary.Put(7, 4).Put(0x80 | (899 >> 8), 8).Put(899 & 0xFF, 8), std::string("\x00\xFE", 2)).Put(0, 4);
  // 阿 is B0A2 in GB 2312: (0xB0A2 - 0xA6A1) = 0x0A01 -> 0x0A * 0x60 + 0x01.
  Alnum(hanzi.Put(13, 4).Put(1, 4).Put(1, 8).Put(0x0A * 0x60 + 0x01, 13), "AD").Put(0, 4);
  Bytes(longEci.Put(7, 4).Put(0xC0, 8).Put(26, 16), "ok").Put(0, 4);               // the three-byte form
  Bytes(plain, "\x8A\xBF").Put(0, 4);
  const Case cases[] = {
      {"GS1: the leading FNC1 gives nothing, % separates fields", gs1.Bytes(19), "01\x1D" "10AB", 3, 0},
      {"GS1: %% is a percent sign, a % at the end a separator", gs1Percent.Bytes(19), "10A%B\x1D", 3, 0},
      {"FNC1 in second position: the indicator's two digits first", second.Bytes(19), "37xyz", 5, 0},
      {"FNC1 in second position: a letter indicator", letter.Bytes(19), "a1", 5, 0},
      {"ECI 3: Latin-1 to UTF-8", latin1.Bytes(19), "caf\xC3\xA9", 2, 1},
      {"ECI 20: Shift JIS to UTF-8", sjis.Bytes(19), "\xE6\xBC\xA2\xE5\xAD\x97", 2, 1},
      {"ECI 26: UTF-8 as it is", utf8.Bytes(19), "\xE6\xBC\xA2", 2, 1},
      {"ECI 899: binary bytes kept", binary.Bytes(19), std::string("\x00\xFE", 2), 2, 2},
      {"Hanzi: GB 2312 to UTF-8, in a symbol without ECI", hanzi.Bytes(19), "\xE9\x98\xBF" "AD", 1, 1},
      {"an ECI designator of three bytes", longEci.Bytes(19), "ok", 2, 1},
      {"no ECI, no Hanzi: the symbol's own bytes", plain.Bytes(19), "\x8A\xBF", 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Extended e = DecodeExtended(c.stream);
    ASSERT_TRUE(e.ok);
    EXPECT_EQ(e.data, c.want);
    EXPECT_EQ(e.content.modifier, c.modifier);
    EXPECT_EQ(e.content.encoding, c.encoding);
  }
}

TEST(QrSegmentsExtended, NoTextRatherThanAWrongOne) {
  BitWriter unknown, notText, beforeEci, badUtf8, hanziSubset, fnc1Late, badIndicator;
  Bytes(unknown.Put(7, 4).Put(14, 8), "A\xE9").Put(0, 4);                       // ECI 14 names no character set
  Bytes(notText.Put(7, 4).Put(27, 8), "\xC0").Put(0, 4);                        // ASCII has no 0xC0
  Bytes(Bytes(beforeEci, "\xE9").Put(7, 4).Put(26, 8), "x").Put(0, 4);          // 0xE9 under no ECI
  Bytes(badUtf8.Put(7, 4).Put(26, 8), "\xE6\xBC").Put(0, 4);                    // a cut UTF-8 sequence
  hanziSubset.Put(13, 4).Put(2, 4).Put(1, 8).Put(1, 13).Put(0, 4);             // not the GB 2312 subset
  Alnum(Bytes(fnc1Late, "A").Put(5, 4), "B").Put(0, 4);                       // FNC1 after data
  Bytes(badIndicator.Put(9, 4).Put(150, 8), "x").Put(0, 4);                    // neither digits nor a letter
  const struct {
    const char* what;
    std::vector<uint8_t> stream;
  } cases[] = {{"an unknown ECI", unknown.Bytes(19)},          {"bytes that are no text in their ECI", notText.Bytes(19)},
               {"bytes above 0x7F before any ECI", beforeEci.Bytes(19)}, {"invalid UTF-8", badUtf8.Bytes(19)},
               {"a Hanzi subset other than GB 2312", hanziSubset.Bytes(19)}, {"FNC1 after data", fnc1Late.Bytes(19)},
               {"an application indicator out of range", badIndicator.Bytes(19)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(DecodeExtended(c.stream).ok);
    // The strict decoding refuses every one of them too.
    EXPECT_EQ(Decode(c.stream, 1), "<rejected>");
  }
}

TEST(QrSegmentsExtended, FirstModes) {
  for (int32_t mode = 0; mode < 16; ++mode) {
    const bool strict = mode == 1 || mode == 2 || mode == 3 || mode == 4 || mode == 8;
    EXPECT_EQ(IsKnownFirstMode(mode, false), strict) << mode;
    EXPECT_EQ(IsKnownFirstMode(mode, true), strict || mode == 5 || mode == 7 || mode == 9 || mode == 13) << mode;
  }
}

}  // namespace
}  // namespace vantrel::qr

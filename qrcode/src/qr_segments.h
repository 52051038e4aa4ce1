// Data segments: the corrected data codewords read as a bit stream of mode
// segments and turned into the symbol's bytes.
//
// The strict decoding knows numeric, alphanumeric, 8-bit byte and Kanji
// segments: Kanji come out as two-byte Shift JIS codes and bytes are not
// converted to any other character set. The extended decoding adds ECI
// designators, FNC1 in first or second position (GS1 and other application
// data) and the GB 2312 (Hanzi) mode:
// - A symbol without ECI designator and without Hanzi keeps the bytes of the
//   strict decoding (encoding kSymbolBytes).
// - A symbol with an ECI designator or a Hanzi segment becomes UTF-8 text
//   (kUtf8): digits and alphanumerics as they are, byte segments converted
//   from the character set their ECI names, Kanji from Shift JIS, Hanzi from
//   GB 2312. A segment that cannot be converted (an ECI naming no character
//   set known here, bytes that are not text in theirs, bytes other than ASCII
//   before any ECI) rejects the symbol: no text rather than a wrong one.
// - ECI 899 names 8-bit binary data: then no segment is converted and the
//   bytes are kept as they stand (kBinary).
// - With FNC1, '%' in an alphanumeric segment is the field separator 0x1D
//   ("%%" a literal '%'); the leading FNC1 itself gives nothing. FNC1 in
//   second position puts its application indicator (two digits or a letter)
//   in front of the data.
#ifndef VANTREL_QRCODE_QR_SEGMENTS_H
#define VANTREL_QRCODE_QR_SEGMENTS_H

#include <cstdint>

namespace vantrel::qr {

// Reads n (at most 24) bits from bit position pos, most significant first;
// bits past the last data byte read as 0.
uint32_t ReadBits(const uint8_t* data, int32_t dataBytes, int32_t pos, int32_t n);

// Width of the character count indicator: mode 1 numeric, 2 alphanumeric,
// 4 byte, 8 Kanji; 0 for any other mode.
int32_t CountBits(int32_t mode, int32_t version);

// Decodes D data codewords. header: the stream starts with a Structured Append
// header, which is skipped. out receives at most capacity bytes. Fails when an
// unsupported mode (ECI, FNC1, Structured Append inside the stream, unassigned)
// appears anywhere, or when nothing was decoded.
bool DecodeSegments(const uint8_t* data, int32_t D, int32_t version, bool header, uint8_t* out,
                    int32_t capacity, int32_t* length);

enum QrEncoding : int32_t { kSymbolBytes = 0, kUtf8 = 1, kBinary = 2 };

// What the extended decoding found besides the bytes: the modifier m of the
// symbology identifier "]Qm" (1 plain, 2 with ECI, 3 GS1, 4 GS1 with ECI,
// 5 FNC1 in second position, 6 the same with ECI) and the encoding of the bytes.
struct QrContent {
  int32_t modifier = 1;
  int32_t encoding = kSymbolBytes;
};

// The first modes a symbol's data may start with: numeric, alphanumeric, byte and Kanji, and
// with `extended` also ECI, FNC1 and Hanzi.
bool IsKnownFirstMode(int32_t mode, bool extended);

// The extended decoding (see the top of this file). capacity should allow for
// text that grows in conversion (kMaxConvertedBytes).
bool DecodeSegmentsExtended(const uint8_t* data, int32_t D, int32_t version, bool header,
                            uint8_t* out, int32_t capacity, int32_t* length, QrContent* content);

}  // namespace vantrel::qr

#endif

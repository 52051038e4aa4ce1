// Data segments: the corrected data codewords read as a bit stream of mode
// segments (numeric, alphanumeric, 8-bit byte, Kanji) and turned into the
// symbol's bytes. Kanji come out as two-byte Shift JIS codes; bytes are not
// converted to any other character set.
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

}  // namespace vantrel::qr

#endif

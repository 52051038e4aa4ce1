// The data codewords of a corrected symbol turned into its message: ASCII,
// C40, Text, X12, EDIFACT and Base 256 encodation, FNC1, the 05/06 macros,
// structured append, reader programming and Extended Channel Interpretations.
//
// Pure functions; any thread may call them (character set conversion goes
// through iconv with a descriptor of the call's own).
#ifndef VANTREL_DATAMATRIX_DMX_CODEWORDS_H
#define VANTREL_DATAMATRIX_DMX_CODEWORDS_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel::dmx {

struct Message {
  // The message exactly: bytes as encoded, except that a symbol with any ECI
  // has all of its text converted to UTF-8. FNC1 between fields is 0x1D; the
  // macros' header and trailer are included; a leading FNC1 is not.
  std::string bytes;
  char identifier[4] = {']', 'd', '1', '\0'};  // symbology identifier, ]d1 ... ]d6
  bool gs1 = false;          // FNC1 in the first position
  bool aim = false;          // FNC1 in the second position (after an application indicator)
  bool eci = false;          // the symbol holds an ECI
  bool readerInit = false;   // reader programming
  int32_t macro = 0;         // 5 or 6 for the 05/06 macros, else 0
  int32_t saIndex = 0;       // structured append: this symbol's position, 1-based; 0 without
  int32_t saCount = 0;       // structured append: symbols in the set; 0 unknown or without
  int32_t saFileId = 0;      // structured append: the two file identification codewords
};

// 0 with the message; -2 when the codewords are no valid message (a codeword
// that no encodation knows, a stream that ends inside a value) or hold text in
// an ECI character set that cannot be converted.
int32_t InterpretCodewords(const uint8_t* data, size_t count, Message* out);

}  // namespace vantrel::dmx

#endif

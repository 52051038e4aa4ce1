// From the sampled module matrix to the data codewords: the map of function
// modules (laid before sampling), the data masks, the codeword placement and
// the split into error-correction blocks.
#ifndef VANTREL_QRCODE_QR_CODEWORDS_H
#define VANTREL_QRCODE_QR_CODEWORDS_H

#include <cstdint>

#include "qr_reed_solomon.h"
#include "qr_types.h"
#include "qr_version_table.h"

namespace vantrel::qr {

// Clears the N x N corner and marks the function modules of the version.
void LayFunctionMap(int32_t version, QrModuleMatrix* matrix);

// Flips the colour of every non-function module where the mask condition
// holds (i the row, j the column).
inline bool MaskCondition(int32_t mask, int32_t i, int32_t j) {
  switch (mask) {
    case 0: return (i + j) % 2 == 0;
    case 1: return i % 2 == 0;
    case 2: return j % 3 == 0;
    case 3: return (i + j) % 3 == 0;
    case 4: return (i / 2 + j / 3) % 2 == 0;
    case 5: return (i * j) % 2 + (i * j) % 3 == 0;
    case 6: return ((i * j) % 2 + (i * j) % 3) % 2 == 0;
    case 7: return ((i + j) % 2 + (i * j) % 3) % 2 == 0;
    default: return false;
  }
}
void Unmask(int32_t N, int32_t mask, QrModuleMatrix* matrix);

// Reads the version's codewords in placement order into stream (at least
// kMaxCodewords bytes): two-column strips from the right edge, upwards first,
// passing over function modules and the timing column.
void ReadPlacement(const QrModuleMatrix& matrix, int32_t version, uint8_t* stream);

// Placement, de-interleaving and correction of every block; on success the
// first *dataCount bytes of stream are the data codewords. scratch holds at
// least kMaxCodewords bytes.
bool ReadCodewords(const QrModuleMatrix& matrix, int32_t version, int32_t level, uint8_t* stream,
                   uint8_t* scratch, QrRsWork* rs, int32_t* dataCount);

}  // namespace vantrel::qr

#endif

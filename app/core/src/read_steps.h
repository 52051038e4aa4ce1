// Each decoder's turn in a reading: the settings of its section into its
// library, the library's result into Readings. ReadPicture runs them in the
// station's order; the decode calls of decode_calls.h wrap them one by one.
#ifndef VANTREL_APPCORE_READ_STEPS_H
#define VANTREL_APPCORE_READ_STEPS_H

#include <cstdint>
#include <vector>

#include "vantrel/reading.h"

namespace vantrel {

// The barcode library's status; *reading filled only on success.
int32_t ReadBarcode(DibImage picture, const SettingsRecord& settings, Reading* reading);

// The QR library's status for the first symbol; on success one Reading per
// symbol is appended (a later symbol whose results cannot be had is left
// out). The data of each is cut to capacity - 1 bytes, as the library cuts it.
int32_t ReadQrCodes(DibImage picture, const SettingsRecord& settings, int32_t capacity,
                    std::vector<Reading>* readings);

// The reader's status; the text goes into text (capacity bytes, refused with
// -2 when it does not fit) and *reading is filled only on success.
int32_t ReadDataMatrix(DibImage picture, const SettingsRecord& settings, char* text, int32_t capacity,
                       Reading* reading);

// The texts of a reading from its bytes.
void SetReadingText(Reading* reading);

}  // namespace vantrel

#endif

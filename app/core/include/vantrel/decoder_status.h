// The decoder libraries' status codes by name, and the texts that show them.
//
// The barcode library names its codes itself (OVOBCD_* in OvoBcd.h); the QR
// library and the Data Matrix reader document theirs in their headers, and
// the names below carry exactly those values.
#ifndef VANTREL_DECODER_STATUS_H
#define VANTREL_DECODER_STATUS_H

#include <cstdint>
#include <string>

#include "vantrel/reading.h"

namespace vantrel {

// OvoQrc.h
enum OvoQrcStatus : int32_t {
  OVOQRC_OK = 0,
  OVOQRC_ERR_ARGUMENT = -1,         // no image, or an index, length or capacity refused
  OVOQRC_ERR_DEPTH = -2,            // not 8 or 24 bits a pixel
  OVOQRC_ERR_AREA = -3,             // processing area narrower or lower than 31 pixels
  OVOQRC_NOT_FOUND = -4,            // no symbol decoded
  OVOQRC_ERR_MEMORY = -7,           // the decoder could not be allocated
  OVOQRC_ERR_NOT_INITIALIZED = -8,
  OVOQRC_ERR_CONTEXT_MEMORY = 1,    // initialization: no first decode context
};

// OvoDmx.h, as OvoDmxDecode and the unsharp mask before it give them.
enum OvoDmxStatus : int32_t {
  OVODMX_OK = 0,
  OVODMX_NOT_FOUND = -1,            // nothing found in time (the mask: radius refused)
  OVODMX_NOT_DECODED = -2,          // found but not decoded, or the text does not fit (the mask: amount)
  OVODMX_ERR_AREA = -3,             // invalid area (the mask: threshold)
  OVODMX_ERR_NO_PICTURE = -4,       // the mask: source or destination null
  OVODMX_ERR_RECTANGLE = -5,        // the mask: rectangle outside the picture
  OVODMX_ERR_MEMORY = -6,           // the mask: no memory
  OVODMX_ERR_PICTURE = -7,          // the mask: destination unlike the source; no memory for the reader
  OVODMX_ERR_NO_READER = -8,
};

// The status's name for a decoder of that kind ("OVOBCD_NOT_FOUND",
// "OVOQRC_ERR_AREA", ...); "UNKNOWN" for a code the library does not give.
const char* StatusName(CodeKind kind, int32_t status);

// How the station and vantrel-read report a status: "DECODE ERROR = %d".
std::string DecodeErrorText(int32_t status);

}  // namespace vantrel

#endif

// The decoder libraries' status codes by name, and the texts that show them.
//
// Each decoder library names its codes in its header: OVOBCD_* in OvoBcd.h,
// OVOQRC_* in OvoQrc.h, OVODMX_* in OvoDmx.h.
#ifndef VANTREL_DECODER_STATUS_H
#define VANTREL_DECODER_STATUS_H

#include <cstdint>
#include <string>

#include "vantrel/reading.h"

namespace vantrel {

// The status's name for a decoder of that kind ("OVOBCD_NOT_FOUND",
// "OVOQRC_ERR_AREA", ...); "UNKNOWN" for a code the library does not give.
const char* StatusName(CodeKind kind, int32_t status);

// How the station and vantrel-read report a status: "DECODE ERROR = %d".
std::string DecodeErrorText(int32_t status);

}  // namespace vantrel

#endif

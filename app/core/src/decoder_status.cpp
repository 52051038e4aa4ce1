#include "vantrel/decoder_status.h"

#include "vantrel/OvoBcd.h"
#include "vantrel/OvoDmx.h"
#include "vantrel/OvoQrc.h"

namespace vantrel {

namespace {

struct StatusNameEntry {
  int32_t status;
  const char* name;
};

constexpr StatusNameEntry kBarcodeNames[] = {
    {OVOBCD_OK, "OVOBCD_OK"},
    {OVOBCD_ERR_ARGUMENT, "OVOBCD_ERR_ARGUMENT"},
    {OVOBCD_ERR_PARAMS, "OVOBCD_ERR_PARAMS"},
    {OVOBCD_ERR_SCAN, "OVOBCD_ERR_SCAN"},
    {OVOBCD_NOT_FOUND, "OVOBCD_NOT_FOUND"},
};
constexpr StatusNameEntry kQrNames[] = {
    {OVOQRC_OK, "OVOQRC_OK"},
    {OVOQRC_ERR_ARGUMENT, "OVOQRC_ERR_ARGUMENT"},
    {OVOQRC_ERR_DEPTH, "OVOQRC_ERR_DEPTH"},
    {OVOQRC_ERR_AREA, "OVOQRC_ERR_AREA"},
    {OVOQRC_NOT_FOUND, "OVOQRC_NOT_FOUND"},
    {OVOQRC_ERR_MEMORY, "OVOQRC_ERR_MEMORY"},
    {OVOQRC_ERR_NOT_INITIALIZED, "OVOQRC_ERR_NOT_INITIALIZED"},
    {OVOQRC_ERR_CONTEXT_MEMORY, "OVOQRC_ERR_CONTEXT_MEMORY"},
};
constexpr StatusNameEntry kDataMatrixNames[] = {
    {OVODMX_OK, "OVODMX_OK"},
    {OVODMX_NOT_FOUND, "OVODMX_NOT_FOUND"},
    {OVODMX_NOT_DECODED, "OVODMX_NOT_DECODED"},
    {OVODMX_ERR_AREA, "OVODMX_ERR_AREA"},
    {OVODMX_ERR_NO_PICTURE, "OVODMX_ERR_NO_PICTURE"},
    {OVODMX_ERR_RECTANGLE, "OVODMX_ERR_RECTANGLE"},
    {OVODMX_ERR_MEMORY, "OVODMX_ERR_MEMORY"},
    {OVODMX_ERR_PICTURE, "OVODMX_ERR_PICTURE"},
    {OVODMX_ERR_NO_READER, "OVODMX_ERR_NO_READER"},
};

// Every code once: a name must never stand for two codes.
template <size_t N>
constexpr bool Distinct(const StatusNameEntry (&table)[N]) {
  for (size_t i = 0; i < N; ++i)
    for (size_t j = i + 1; j < N; ++j)
      if (table[i].status == table[j].status) return false;
  return true;
}
static_assert(Distinct(kBarcodeNames) && Distinct(kQrNames) && Distinct(kDataMatrixNames));

template <size_t N>
const char* Find(const StatusNameEntry (&table)[N], int32_t status) {
  for (const StatusNameEntry& e : table) {
    if (e.status == status) return e.name;
  }
  return "UNKNOWN";
}

}  // namespace

const char* StatusName(CodeKind kind, int32_t status) {
  switch (kind) {
    case CodeKind::kBarcode: return Find(kBarcodeNames, status);
    case CodeKind::kQrCode: return Find(kQrNames, status);
    case CodeKind::kDataMatrix: return Find(kDataMatrixNames, status);
    case CodeKind::kNone: break;
  }
  return "UNKNOWN";
}

std::string DecodeErrorText(int32_t status) { return "DECODE ERROR = " + std::to_string(status); }

}  // namespace vantrel

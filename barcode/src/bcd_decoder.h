// The run lists of one scan line and the symbology decoders that read them.
//
// Runs alternate light, dark: S[0] B[0] S[1] B[1] ... B[k-1] S[k], then B[k]
// (the final dark run, or 0 when the line ends light). k counts the dark runs
// that are followed by light. Widths are in samples. The lists always hold at
// least k + 3 spaces and k + 2 bars, zero past the line's runs, so that a
// decoder may read B[k] and S[k + 1], and the reversed runs (k + 1) still
// have their B[k'] and S[k' + 1].
//
// A decoder returns 1 when it accepts a symbol (type, length, text, startPos,
// endPos set) and 0 otherwise; on 0 the text may hold leftovers.
#ifndef VANTREL_BARCODE_BCD_DECODER_H
#define VANTREL_BARCODE_BCD_DECODER_H

#include <cstdint>
#include <cstring>

#include "vantrel/OvoBcd.h"

namespace vantrel::bcd {

struct BcdDecoder {
  explicit BcdDecoder(const OvoBcdParams& p) : params(p) {}

  const OvoBcdParams& params;  // read in place
  float* spaces = nullptr;
  float* bars = nullptr;
  int32_t type = -1;
  int32_t length = 0;
  char text[OVOBCD_TEXT_BYTES] = {};
  float startPos = 0;
  float endPos = 0;
  int32_t startPoint[2] = {0, 0};
  int32_t endPoint[2] = {0, 0};

  void ClearText() { std::memset(text, 0, sizeof text); }
};

// Entries the run lists need for a line of n samples: room for the k <= n / 2
// runs of the line, the padding and the reversed pass.
inline int32_t SpaceListSize(int32_t n) { return n / 2 + 3; }
inline int32_t BarListSize(int32_t n) { return n / 2 + 2; }

// Elements wider than this many modules cannot belong to any table pattern;
// counting stops there so that no width, however wild, overflows a pattern.
constexpr int32_t kModuleCountCap = 32;
constexpr float kRoundUp = 0.499999f;

// trunc(ratio + 0.499999), at least 1 and at most kModuleCountCap.
inline int32_t ModuleCount(float ratio) {
  const float v = ratio + kRoundUp;
  if (!(v < static_cast<float>(kModuleCountCap))) return kModuleCountCap;  // also NaN
  if (v < 1.0f) return 1;
  return static_cast<int32_t>(v);
}

// Appends n bits (1 for a bar, 0 for a space) to a pattern of `bits` bits;
// false once the pattern would grow past maxBits (it then matches nothing).
inline bool AppendModules(uint32_t* pattern, int32_t* bits, int32_t n, bool bar, int32_t maxBits) {
  if (*bits + n > maxBits) return false;
  *bits += n;
  *pattern = (*pattern << n) | (bar ? ((1u << n) - 1u) : 0u);
  return true;
}

// startPos = S[0] + B[0] + ... + B[f-1] + S[f]; endPos = ... + S[l] + B[l];
// single precision, one term at a time.
void SetSymbolPosition(BcdDecoder& d, int32_t f, int32_t l);

int32_t DecodeJan8(BcdDecoder& d, int32_t k);
int32_t DecodeJan13(BcdDecoder& d, int32_t k);
int32_t DecodeItf(BcdDecoder& d, int32_t k);
int32_t DecodeCode39(BcdDecoder& d, int32_t k);
int32_t DecodeCode128(BcdDecoder& d, int32_t k);
int32_t DecodeNw7(BcdDecoder& d, int32_t k);

// A second opinion on a read that carries no verified check character (ITF,
// CODE 39, NW-7), or with `every` on any read: true accepts it. Without one
// every read is accepted.
struct ReadCheck {
  bool (*confirm)(void* context, const BcdDecoder& d) = nullptr;
  void* context = nullptr;
  bool every = false;
};

// True when the read in d (type, params) has no check character verified.
bool NeedsConfirmation(const BcdDecoder& d);

// Offers the runs of a line of n samples to the enabled decoders, forward and
// then reversed (the lists are reversed in place); positions of a reversed read
// are mapped back onto the forward line. 1 when a symbol was accepted. With a
// check, a read it turns down counts as that decoder's refusal: the next
// decoder in the order is offered the runs.
int32_t DecodeRuns(BcdDecoder& d, int32_t n, int32_t k, const ReadCheck* check = nullptr);

// The same with the robust decoders (robust.h), for the runs from edges.
int32_t DecodeRunsRobust(BcdDecoder& d, int32_t n, int32_t k, const ReadCheck* check = nullptr);

}  // namespace vantrel::bcd

#endif

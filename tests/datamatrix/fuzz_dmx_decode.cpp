// Any picture, area and sharpening parameters: the reader must never crash,
// never hand out a text it should have filtered or that overruns its buffer,
// and the fast unsharp mask must give the plain filter's bytes exactly. The
// pixel bytes are also taken as codewords: the interpreter and the
// Reed-Solomon correction must hold up to any stream.
//
// Input: width, height, depth, area (4 bytes), radius, amount, threshold,
// flags, capacity, then pixel bytes (repeated to fill the picture).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "datamatrix/src/dmx_codewords.h"
#include "datamatrix/src/dmx_internal.h"
#include "datamatrix/src/dmx_symbol.h"
#include "unsharp_reference.h"
#include "vantrel/OvoDmx.h"

namespace {

struct Picture {
  DibImage image = nullptr;
  explicit Picture(DibImage i) : image(i) {}
  ~Picture() { DibFree(image); }
};

void Check(bool ok) {
  if (!ok) std::abort();
}

void Fill(DibImage pic, const uint8_t* data, size_t size) {
  uint8_t* bits = DibGetBits(pic);
  const size_t n = static_cast<size_t>(DibGetStride(pic)) * DibGetHeight(pic);
  for (size_t i = 0; i < n; ++i) bits[i] = size ? data[i % size] : 0;
}

bool SamePixels(DibImage a, DibImage b) {
  const size_t n = static_cast<size_t>(DibGetStride(a)) * DibGetHeight(a);
  return std::memcmp(DibGetBits(a), DibGetBits(b), n) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kHeader = 12;
  if (size < kHeader) return 0;
  const int32_t width = 1 + data[0] % 56, height = 1 + data[1] % 56;
  static const int32_t kDepths[] = {1, 3, 4, 2};
  const int32_t bpp = kDepths[data[2] % 4];
  const DibRect area{data[3] % 96 - 8, data[4] % 96 - 8, data[5] % 96 - 8, data[6] % 96 - 8};
  const double radius = 0.05 + data[7] * (121.0 / 255.0);
  const double amount = data[8] * (11.0 / 255.0) - 0.5;
  const int32_t theta = data[9] * 300 / 255 - 20;
  const uint8_t flags = data[10];
  const int32_t capacity = (flags & 4) ? data[11] : 4196;
  const uint8_t* pixels = data + kHeader;
  const size_t pixelBytes = size - kHeader;

  if (OvoDmxGetReader() == nullptr && OvoDmxInitialize() != 0) std::abort();
  CDataMatCtrl* reader = OvoDmxGetReader();
  reader->radius = radius;
  reader->amount = amount;
  reader->threshold = theta;
  reader->areaLeft = area.left;
  reader->areaTop = area.top;
  reader->areaRight = area.right;
  reader->areaBottom = area.bottom;
  reader->maxTime = 10;

  Picture src(DibCreate(width, height, bpp, 4));
  Check(src.image != nullptr);
  Fill(src.image, pixels, pixelBytes);

  // Sharpening against the plain filter.
  const bool inPlace = flags & 1;
  Picture fast(inPlace ? DibDuplicate(src.image) : DibCreate(width, height, bpp, 4));
  Picture plain(inPlace ? DibDuplicate(src.image) : DibCreate(width, height, bpp, 4));
  const int32_t fastStatus = OvoDmxUnsharp(reader, inPlace ? fast.image : src.image, fast.image);
  const int32_t plainStatus = vantrel::test::ReferenceUnsharp(
      inPlace ? plain.image : src.image, plain.image, radius, amount, theta, area);
  Check(fastStatus == plainStatus);
  Check(SamePixels(fast.image, plain.image));

  // Reading, on the sharpened picture when asked and possible.
  DibImage target = (flags & 2) && fastStatus == 0 ? fast.image : src.image;
  std::vector<char> text(static_cast<size_t>(capacity > 0 ? capacity : 1), '\x7e');
  const int32_t status = OvoDmxDecode(reader, target, capacity > 0 ? text.data() : nullptr, capacity);
  Check(status == 0 || status == -1 || status == -2 || status == -3);
  if (status == 0) {
    const size_t len = strnlen(text.data(), text.size());
    Check(len < text.size());
    for (size_t i = 0; i < len; ++i) {
      const uint8_t b = static_cast<uint8_t>(text[i]);
      Check(b != 0x0A && b != 0x0D && b != 0x1D && b != 0x1F && b != 0xFF);
    }
    OvoDmxPoint t, r, p, q;
    const int32_t corners = OvoDmxGetCorners(&t, &r, &p, &q);
    Check(corners == 0 || corners == -1);
    // The text is the decoded bytes filtered: never longer than they are.
    int32_t length = -1;
    Check(OvoDmxGetBytes(nullptr, 0, &length) == 0 && length >= static_cast<int32_t>(len));
  }

  // The pixel bytes as data codewords, and as a whole symbol's codewords.
  vantrel::dmx::Message message;
  const int32_t interpreted = vantrel::dmx::InterpretCodewords(pixels, pixelBytes, &message);
  Check(interpreted == 0 || (interpreted == -2 && message.bytes.empty()));
  const vantrel::dmx::SymbolSize& symbol = vantrel::dmx::kSymbolSizes[data[0] % vantrel::dmx::kSymbolSizeCount];
  std::vector<uint8_t> words(static_cast<size_t>(symbol.TotalWords()));
  for (size_t i = 0; i < words.size(); ++i) words[i] = pixelBytes ? pixels[i % pixelBytes] : 0;
  int32_t corrected = 0;
  if (vantrel::dmx::CorrectCodewords(symbol, words.data(), words.size(), &corrected))
    Check(vantrel::dmx::CodewordsConsistent(symbol, words.data(), words.size()));

  // The text filter on raw bytes, into a buffer of exactly the given size.
  std::vector<char> exact(static_cast<size_t>(data[11]));
  int32_t kept = -1;
  const int32_t filtered = vantrel::dmx::FilterText(pixels, pixelBytes, exact.empty() ? nullptr : exact.data(),
                                                    data[11], &kept);
  Check(filtered == 0 || filtered == -2);
  if (filtered == 0) Check(kept >= 1 && kept < data[11] && exact[kept] == '\0');
  return 0;
}

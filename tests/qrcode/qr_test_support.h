// Helpers for the QR decoder tests: crisp binary images drawn module by
// module, zint symbols, and decoding through the library's interface.
#ifndef VANTREL_TESTS_QRCODE_QR_TEST_SUPPORT_H
#define VANTREL_TESTS_QRCODE_QR_TEST_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "qrcode/src/qr_types.h"
#include "symbol_render.h"
#include "vantrel/dib.h"

namespace vantrel::qrtest {

// A binary image owned by the test: 0xFF set, 0 clear.
class BinaryCanvas {
 public:
  BinaryCanvas(int32_t w, int32_t h) : w_(w), h_(h), bits_(static_cast<size_t>(w) * h, 0) {}
  // Rows of '#' (set) and anything else (clear); all rows as long as the first.
  static BinaryCanvas FromRows(const std::vector<std::string>& rows);

  void Set(int32_t x, int32_t y, bool set = true) {
    if (x >= 0 && y >= 0 && x < w_ && y < h_) bits_[static_cast<size_t>(y) * w_ + x] = set ? 0xFF : 0;
  }
  bool Get(int32_t x, int32_t y) const {
    return x >= 0 && y >= 0 && x < w_ && y < h_ && bits_[static_cast<size_t>(y) * w_ + x] != 0;
  }
  // Inclusive rectangle.
  void Fill(int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool set = true);
  // The module pattern with square modules of `module` pixels, module (0, 0) at (ox, oy).
  void Paint(const test::ModuleMatrix& m, int32_t module, int32_t ox, int32_t oy);
  // A 7 x 7 finder pattern with its top-left corner at (ox, oy).
  void PaintFinder(int32_t module, int32_t ox, int32_t oy);
  qr::QrBinaryImage Image() const { return {bits_.data(), w_, h_}; }
  int32_t Width() const { return w_; }
  int32_t Height() const { return h_; }

 private:
  int32_t w_, h_;
  std::vector<uint8_t> bits_;
};

// zint's module pattern for a QR symbol; fails the calling test when zint refuses.
test::ModuleMatrix ZintQr(const std::vector<std::string>& options, const std::string& data);

// The corner points of a crisp symbol of N x N modules painted at (ox, oy)
// with square modules of `module` pixels, in module edges.
void CrispCorners(int32_t N, int32_t module, int32_t ox, int32_t oy, qr::QrPoint P[12]);

struct DecodedSymbol {
  int32_t version = 0;
  int32_t level = 0;
  std::string data;
  int32_t corners[8] = {};
  int32_t modifier = 0, encoding = -1, mirrored = -1;
};
struct DecodeOutcome {
  int32_t status = 0;
  int32_t count = 0;
  std::vector<DecodedSymbol> symbols;
};

// Decodes the picture through the interface with the area (null: the whole
// picture), threshold 128 unless told, and reads back every symbol. robust 0
// is the strict decoder alone. The library must be initialized.
DecodeOutcome DecodeWithLibrary(DibImage picture, const int32_t* area = nullptr,
                                int32_t threshold = 128, int32_t darkModules = 1,
                                int32_t channel = 0, int32_t robust = 0);

// Shift JIS bytes of a text of Kanji given as UTF-8, through iconv.
std::string ToShiftJis(const std::string& utf8);

}  // namespace vantrel::qrtest

#endif

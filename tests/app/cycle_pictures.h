// Pictures of real symbols for the reading-cycle tests, made by zint and the
// test renderer: 24-bit frames of the capture size.
#ifndef VANTREL_TESTS_CYCLE_PICTURES_H
#define VANTREL_TESTS_CYCLE_PICTURES_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "symbol_render.h"

namespace vantrel::test {

inline ModuleMatrix Modules(const std::vector<std::string>& options, const std::string& data) {
  ModuleMatrix m;
  std::string error;
  EXPECT_TRUE(ZintModules(options, data, &m, &error)) << error;
  return m;
}

inline DibPtr BarcodePicture(const std::string& data, int32_t width = 640, int32_t height = 480, double module = 2.0) {
  RenderOptions o;
  o.moduleSize = module;
  o.barHeight = 40;
  return RenderSymbol(Modules({"-b", "CODE128"}, data), o, width, height, 3);
}

inline DibPtr QrPicture(const std::string& data, const std::vector<std::string>& extra = {}, int32_t width = 640,
                 int32_t height = 480, double module = 4.0) {
  std::vector<std::string> options = {"-b", "QRCODE"};
  options.insert(options.end(), extra.begin(), extra.end());
  RenderOptions o;
  o.moduleSize = module;
  o.quietZone = 4;
  return RenderSymbol(Modules(options, data), o, width, height, 3);
}

inline DibPtr DataMatrixPicture(const std::string& data) {
  RenderOptions o;
  o.moduleSize = 6;
  o.quietZone = 4;
  return RenderSymbol(Modules({"-b", "DATAMATRIX", "--square"}, data), o, 640, 480, 3);
}

// One picture with a barcode on the left and a QR code on the right.
inline DibPtr BarcodeAndQrPicture(const std::string& barcode, const std::string& qr) {
  DibPtr picture = RenderSymbol(Modules({"-b", "CODE128"}, barcode),
                                RenderOptions{2.0, 0, 220, 240, 10, 40}, 640, 480, 3);
  RenderOptions q;
  q.moduleSize = 4;
  q.quietZone = 4;
  q.centreX = 460;
  q.centreY = 240;
  PaintSymbol(picture.get(), Modules({"-b", "QRCODE"}, qr), q);
  return picture;
}

inline DibPtr BlankPicture(int32_t width = 640, int32_t height = 480) {
  DibPtr picture(DibCreate(width, height, 3, 4));
  FillGrey(picture.get(), 200);
  return picture;
}

}  // namespace vantrel::test

#endif

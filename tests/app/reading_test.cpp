// The one reading entry: the kinds in the station's order, the first success
// winning, what a reading carries (bytes apart from the shown text, the
// outline in picture pixels), why none was read, and the outline drawn for
// the preview. The decoders themselves are tested in their own folders.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "app/cycle_pictures.h"
#include "overlay_lines.h"
#include "vantrel/decoder_status.h"
#include "vantrel/overlay.h"
#include "vantrel/reading.h"

namespace vantrel::test {
namespace {

SettingsRecord WholePicture() {
  SettingsRecord s;
  s.Area[0] = s.Area[1] = 0;
  s.Area[2] = 639;
  s.Area[3] = 479;
  return s;
}

bool Inside(const Reading& r) {
  for (int32_t i = 0; i < r.outlinePoints; ++i) {
    const OutlinePoint& p = r.outline[static_cast<size_t>(i)];
    if (p.x < 0 || p.x > 639 || p.y < 0 || p.y > 479) return false;
  }
  return true;
}

TEST(ReadPicture, OffersTheKindsInTheStationsOrderAndTheFirstSuccessWins) {
  const DibPtr both = BarcodeAndQrPicture("BOTH1", "QR-ON-THE-RIGHT");
  const DibPtr dmx = DataMatrixPicture("DMX-ALONE");
  const struct {
    const char* what;
    DibImage picture;
    CodeKinds kinds;
    CodeKind kind;
    std::string symbology;
    std::string bytes;
    int32_t outlinePoints;
  } cases[] = {
      {"barcode before QR", both.get(), kReadAllKinds, CodeKind::kBarcode, "CODE 128", "BOTH1", 2},
      {"QR when the barcode is not offered", both.get(), kReadQrCode | kReadDataMatrix, CodeKind::kQrCode, "QR",
       "QR-ON-THE-RIGHT", 4},
      {"Data Matrix after the others found nothing", dmx.get(), kReadAllKinds, CodeKind::kDataMatrix, "DataMatrix",
       "DMX-ALONE", 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<Reading> readings = ReadPicture(c.picture, WholePicture(), c.kinds);
    ASSERT_EQ(readings.size(), 1u);
    const Reading& r = readings.front();
    ASSERT_TRUE(r.ok()) << r.status;
    EXPECT_EQ(r.kind, c.kind);
    EXPECT_EQ(r.symbology, c.symbology);
    EXPECT_EQ(r.bytes, c.bytes);
    EXPECT_EQ(r.text, c.bytes);
    EXPECT_EQ(r.outlinePoints, c.outlinePoints);
    EXPECT_TRUE(Inside(r));
  }
  // The QR code's outline lies on the right half, where it was painted.
  const Reading qr = ReadPicture(both.get(), WholePicture(), kReadQrCode).front();
  for (int32_t i = 0; i < 4; ++i) EXPECT_GT(qr.outline[static_cast<size_t>(i)].x, 320);
  EXPECT_GE(qr.qrVersion, 1);
  EXPECT_GE(qr.qrLevel, 0);
  EXPECT_LE(qr.qrLevel, 3);
}

TEST(ReadPicture, WithoutACodeTheStatusIsTheLastDecoderTried) {
  const DibPtr blank = BlankPicture();
  const SettingsRecord s = WholePicture();
  const struct {
    const char* what;
    CodeKinds kinds;
    CodeKind kind;
    int32_t status;
  } cases[] = {
      {"barcode only", kReadBarcode, CodeKind::kBarcode, -4},
      {"barcode and QR", kReadBarcode | kReadQrCode, CodeKind::kQrCode, -4},
      {"all three", kReadAllKinds, CodeKind::kDataMatrix, -1},
      {"none offered", 0, CodeKind::kNone, kNothingOffered},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<Reading> readings = ReadPicture(blank.get(), s, c.kinds);
    ASSERT_EQ(readings.size(), 1u);
    const Reading& r = readings.front();
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.kind, c.kind);
    EXPECT_TRUE(r.bytes.empty());
    EXPECT_EQ(r.outlinePoints, 0);
  }
  // A stop asked for before the first turn: no decoder is offered the picture.
  const DibPtr bar = BarcodePicture("STOPPED");
  const std::atomic<bool> stop{true};
  const Reading r = ReadPicture(bar.get(), s, kReadAllKinds, ReadControl{nullptr, &stop}).front();
  EXPECT_EQ(r.status, kNothingOffered);
  EXPECT_EQ(r.kind, CodeKind::kNone);
}

TEST(ReadPicture, CarriesTheBytesApartFromTheTextShown) {
  std::string kanji;
  for (int i = 0; i < 3; ++i) kanji += "\x8a\xbf";  // 漢 in Shift JIS
  const DibPtr qr = QrPicture(kanji, {"--binary"});
  const Reading r = ReadPicture(qr.get(), WholePicture(), kReadQrCode).front();
  ASSERT_TRUE(r.ok()) << r.status;
  EXPECT_EQ(r.bytes, kanji);
  EXPECT_EQ(r.text, "漢漢漢");
}

TEST(DrawReadingOutline, ABarcodeLineThreePixelsThickA2dCodesFourSidesNothingForAFailure) {
  OverlaySetScale(1, 1, nullptr, nullptr);
  Reading bar;
  bar.status = 0;
  bar.kind = CodeKind::kBarcode;
  bar.outline[0] = {10, 20};
  bar.outline[1] = {30, 20};
  bar.outlinePoints = 2;
  DrawReadingOutline(bar, OverlayOrigin{5, 7});
  EXPECT_EQ(OverlayLines(), (std::vector<std::string>{
                                "15,26-35,26 0000ff", "15,27-35,27 0000ff", "15,28-35,28 0000ff",
                                "14,27-34,27 0000ff", "16,27-36,27 0000ff"}));

  Reading square = bar;
  square.kind = CodeKind::kQrCode;
  square.outline = {OutlinePoint{0, 0}, OutlinePoint{9, 0}, OutlinePoint{9, 9}, OutlinePoint{0, 9}};
  square.outlinePoints = 4;
  DrawReadingOutline(square, OverlayOrigin{1, 2});
  EXPECT_EQ(OverlayLines(), (std::vector<std::string>{"1,2-10,2 0000ff", "10,2-10,11 0000ff",
                                                      "10,11-1,11 0000ff", "1,11-1,2 0000ff"}));

  // A failed reading leaves the last outline where it is.
  DrawReadingOutline(Reading{}, OverlayOrigin{});
  EXPECT_EQ(OverlayLines().size(), 4u);
  OverlayClear();
}

TEST(StatusName, EachLibrarysOwnNames) {
  const struct {
    CodeKind kind;
    int32_t status;
    const char* name;
  } cases[] = {
      {CodeKind::kBarcode, 0, "OVOBCD_OK"},
      {CodeKind::kBarcode, -4, "OVOBCD_NOT_FOUND"},
      {CodeKind::kQrCode, -3, "OVOQRC_ERR_AREA"},
      {CodeKind::kQrCode, -4, "OVOQRC_NOT_FOUND"},
      {CodeKind::kQrCode, 1, "OVOQRC_ERR_CONTEXT_MEMORY"},
      {CodeKind::kDataMatrix, -1, "OVODMX_NOT_FOUND"},
      {CodeKind::kDataMatrix, -8, "OVODMX_ERR_NO_READER"},
      {CodeKind::kQrCode, -5, "UNKNOWN"},
      {CodeKind::kNone, -4, "UNKNOWN"},
  };
  for (const auto& c : cases) EXPECT_STREQ(StatusName(c.kind, c.status), c.name) << c.status;
  EXPECT_EQ(DecodeErrorText(-4), "DECODE ERROR = -4");
}

}  // namespace
}  // namespace vantrel::test

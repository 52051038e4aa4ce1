// The window's toolkit-free helpers: the history store with its cap, the
// texts of its columns, the clipboard and CSV texts, the repeat filter, the
// reading figures of the status line and the fitting of an opened picture
// into the displayed slot.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "app/csv_reader.h"
#include "imaging/test_files.h"
#include "symbol_render.h"
#include "vantrel/dib_file.h"
#include "vantrel/picture_open.h"
#include "vantrel/reading_figures.h"
#include "vantrel/reading_history.h"

namespace vantrel::test {
namespace {

using namespace std::chrono_literals;

// Local time is Japan's for these tests (no summer time, +09:00).
class JapanTime {
 public:
  JapanTime() {
    const char* old = std::getenv("TZ");
    if (old) old_ = old;
    had_ = old != nullptr;
    setenv("TZ", "JST-9", 1);
    tzset();
  }
  ~JapanTime() {
    if (had_) setenv("TZ", old_.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }

 private:
  std::string old_;
  bool had_ = false;
};

// 2025-03-04 12:34:56.789 in Japan.
constexpr int64_t kNoonMs = 1741059296789;

HistoryEntry Entry(CodeKind kind, const std::string& symbology, const std::string& bytes, int64_t timeMs = kNoonMs) {
  HistoryEntry e;
  e.timeMs = timeMs;
  e.kind = kind;
  e.symbology = symbology;
  e.bytes = bytes;
  e.text = bytes;
  return e;
}

// ---------------------------------------------------------------- texts of one entry

TEST(HistoryTexts, TimesKindsBytesAndNumbers) {
  JapanTime japan;
  EXPECT_EQ(LocalTimeText(kNoonMs), "2025-03-04 12:34:56.789");
  EXPECT_EQ(IsoTimeText(kNoonMs), "2025-03-04T12:34:56.789+09:00");
  EXPECT_EQ(IsoTimeText(kNoonMs - 789), "2025-03-04T12:34:56.000+09:00");
  // Before 1970 the milliseconds still count forwards within their second.
  EXPECT_EQ(LocalTimeText(-1), "1970-01-01 08:59:59.999");
  setenv("TZ", "XXX+03:30", 1);  // west of Greenwich, half hours
  tzset();
  EXPECT_EQ(IsoTimeText(kNoonMs), "2025-03-04T00:04:56.789-03:30");

  HistoryEntry qr = Entry(CodeKind::kQrCode, "QR", "x");
  qr.qrVersion = 2;
  qr.qrLevel = 2;
  EXPECT_EQ(KindText(qr), "QR 2-Q");
  qr.qrLevel = 9;
  EXPECT_EQ(KindText(qr), "QR 2");
  EXPECT_EQ(KindText(Entry(CodeKind::kBarcode, "JAN-13", "4901234567894")), "JAN-13");
  EXPECT_EQ(KindText(Entry(CodeKind::kDataMatrix, "DataMatrix", "d")), "DataMatrix");

  EXPECT_EQ(HexBytes(""), "");
  EXPECT_EQ(HexBytes(std::string("A\0\xff\x8a\xbf", 5)), "41 00 FF 8A BF");
  EXPECT_EQ(MillisecondsText(0.4249), "0.42");
  EXPECT_EQ(MillisecondsText(1234.5), "1234.50");
  EXPECT_EQ(MillisecondsText(-0.0 / 0.0), "0.00");

  HistoryEntry file = Entry(CodeKind::kBarcode, "JAN-8", "49123456");
  EXPECT_EQ(SourceText(file), "カメラ");
  file.source = "棚 1.png";
  EXPECT_EQ(SourceText(file), "棚 1.png");
  EXPECT_EQ(OriginText(ReadingOrigin::kCycle), "読取");
  EXPECT_EQ(OriginText(ReadingOrigin::kTrial), "実行");
}

TEST(HistoryTexts, OneLineTextForTheTable) {
  EXPECT_EQ(OneLineText("a\r\nb\nc\td\x01", 100), "a↵b↵c d ");
  EXPECT_EQ(OneLineText("漢字かな", 2), "漢字…");
  EXPECT_EQ(OneLineText("漢字", 2), "漢字");
  EXPECT_EQ(OneLineText("", 0), "");
}

TEST(HistoryTexts, AnEntryKeepsTheWholeReading) {
  Reading r;
  r.status = 0;
  r.kind = CodeKind::kQrCode;
  r.symbology = "QR";
  r.qrVersion = 10;
  r.qrLevel = 1;
  r.bytes = std::string(300, '\x8a');
  r.text = "whole";
  r.milliseconds = 3.25;
  const HistoryEntry e = MakeHistoryEntry(r, 42, "a.png", ReadingOrigin::kTrial);
  EXPECT_EQ(e.bytes.size(), 300u);
  EXPECT_EQ(e.text, "whole");
  EXPECT_EQ(e.timeMs, 42);
  EXPECT_EQ(e.source, "a.png");
  EXPECT_EQ(e.origin, ReadingOrigin::kTrial);
  EXPECT_EQ(CellText(e, kHistoryKind), "QR 10-M");
  EXPECT_EQ(CellText(e, kHistoryDecodeTime), "3.25");
  EXPECT_EQ(EpochMilliseconds(std::chrono::system_clock::time_point(1234567ms)), 1234567);
}

// ---------------------------------------------------------------- the store

TEST(ReadingHistory, NewestFirstAndTheOldestDroppedAtTheCap) {
  ReadingHistory history(3);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(history.Append(Entry(CodeKind::kBarcode, "CODE 128", std::to_string(i))));
  EXPECT_EQ(history.Newest(0).bytes, "2");
  EXPECT_EQ(history.Newest(2).bytes, "0");
  EXPECT_TRUE(history.Append(Entry(CodeKind::kBarcode, "CODE 128", "3")));
  ASSERT_EQ(history.size(), 3u);
  EXPECT_EQ(history.Newest(0).bytes, "3");
  EXPECT_EQ(history.Newest(2).bytes, "1");
  history.Clear();
  EXPECT_TRUE(history.empty());
  EXPECT_EQ(ReadingHistory().capacity(), 10000u);

  ReadingHistory full;
  for (int i = 0; i < 10005; ++i) full.Append(Entry(CodeKind::kBarcode, "ITF", std::to_string(i)));
  EXPECT_EQ(full.size(), 10000u);
  EXPECT_EQ(full.Newest(0).bytes, "10004");
  EXPECT_EQ(full.Newest(9999).bytes, "5");
}

// ---------------------------------------------------------------- clipboard and CSV

TEST(HistoryExport, FieldsAreQuotedOnlyWhenTheyNeedIt) {
  const struct {
    const char* field;
    char separator;
    const char* quoted;
  } cases[] = {
      {"plain", ',', "plain"},
      {"a,b", ',', "\"a,b\""},
      {"a,b", '\t', "a,b"},
      {"a\tb", '\t', "\"a\tb\""},
      {"say \"hi\"", ',', "\"say \"\"hi\"\"\""},
      {"two\r\nlines", '\t', "\"two\r\nlines\""},
      {"", ',', ""},
  };
  for (const auto& c : cases) EXPECT_EQ(QuoteField(c.field, c.separator), c.quoted) << c.field;
}

TEST(HistoryExport, CopyGivesTheChosenRowsTabSeparated) {
  JapanTime japan;
  ReadingHistory history;
  history.Append(Entry(CodeKind::kBarcode, "JAN-13", "4901234567894"));
  HistoryEntry qr = Entry(CodeKind::kQrCode, "QR", "ロット\t1", kNoonMs + 1000);
  qr.qrVersion = 1;
  qr.qrLevel = 0;
  qr.text = "ロット\t1";
  qr.milliseconds = 0.5;
  qr.source = "label.png";
  qr.origin = ReadingOrigin::kTrial;
  history.Append(qr);
  const std::string newest =
      "2025-03-04 12:34:57.789\tQR 1-L\t\"ロット\t1\"\tE3 83 AD E3 83 83 E3 83 88 09 31\t0.50\tlabel.png\t実行\n";
  const std::string oldest =
      "2025-03-04 12:34:56.789\tJAN-13\t4901234567894\t34 39 30 31 32 33 34 35 36 37 38 39 34\t0.00\tカメラ\t読取\n";
  EXPECT_EQ(TabSeparatedText(history, {0}), newest);
  EXPECT_EQ(TabSeparatedText(history, {0, 1}), newest + oldest);
  EXPECT_EQ(TabSeparatedText(history, {1, 7}), oldest);  // ages past the end are left out
  EXPECT_EQ(TabSeparatedText(history, {}), "");
}

TEST(HistoryExport, CsvRoundTripsKanjiQuotesCommasAndLineBreaks) {
  JapanTime japan;
  const std::vector<std::string> texts = {"漢字とカナ", "a \"quote\", a comma\r\nand a break", "=HYPERLINK(\"x\")",
                                          "-12", "plain"};
  ReadingHistory history;
  int64_t t = kNoonMs;
  for (const std::string& text : texts) {
    HistoryEntry e = Entry(CodeKind::kDataMatrix, "DataMatrix", text, t);
    t += 1;
    history.Append(e);
  }
  const std::string csv = CsvText(history);
  ASSERT_EQ(csv.rfind("\xEF\xBB\xBF", 0), 0u);
  const std::vector<std::vector<std::string>> rows = ParseCsv(csv.substr(3));
  ASSERT_EQ(rows.size(), texts.size() + 1);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"時刻", "種類", "データ", "バイト(16進)", "読取時間(ms)", "入力", "方法"}));
  for (size_t i = 0; i < texts.size(); ++i) {
    const std::vector<std::string>& row = rows[texts.size() - i];  // newest first
    ASSERT_EQ(row.size(), 7u);
    const std::string& text = texts[i];
    const bool formula = text[0] == '=' || text[0] == '-';
    EXPECT_EQ(row[kHistoryText], formula ? "'" + text : text);
    EXPECT_EQ(row[kHistoryBytes], HexBytes(text));
    EXPECT_EQ(row[kHistoryTime], IsoTimeText(kNoonMs + static_cast<int64_t>(i)));
  }
  EXPECT_EQ(rows[1][kHistoryTime], "2025-03-04T12:34:56.793+09:00");
  // Every line ends in CRLF; a bare LF occurs only inside the quoted text.
  EXPECT_EQ(csv.substr(csv.size() - 2), "\r\n");
  EXPECT_EQ(CsvText(ReadingHistory()),
            "\xEF\xBB\xBF時刻,種類,データ,バイト(16進),読取時間(ms),入力,方法\r\n");
}

// ---------------------------------------------------------------- repeats

TEST(RepeatFilter, SameKindAndBytesWithinTheWindowAreNotRecordedAgain) {
  const auto t0 = RepeatFilter::Clock::time_point(100s);
  const HistoryEntry a = Entry(CodeKind::kBarcode, "CODE 128", "A");
  const HistoryEntry b = Entry(CodeKind::kBarcode, "CODE 128", "B");
  const HistoryEntry a39 = Entry(CodeKind::kBarcode, "CODE 39", "A");
  const HistoryEntry aQr = Entry(CodeKind::kQrCode, "QR", "A");

  RepeatFilter filter;
  EXPECT_TRUE(filter.Admit(a, t0, 2.0));
  EXPECT_FALSE(filter.Admit(a, t0 + 10ms, 2.0));
  // Other bytes, another symbology or another kind are other codes; two codes
  // that take turns in view are each recorded once.
  EXPECT_TRUE(filter.Admit(b, t0 + 20ms, 2.0));
  EXPECT_TRUE(filter.Admit(a39, t0 + 30ms, 2.0));
  EXPECT_TRUE(filter.Admit(aQr, t0 + 40ms, 2.0));
  EXPECT_FALSE(filter.Admit(a, t0 + 50ms, 2.0));
  EXPECT_FALSE(filter.Admit(b, t0 + 60ms, 2.0));

  // Held in view, A stays one entry: each sighting renews it...
  for (int i = 1; i <= 10; ++i) EXPECT_FALSE(filter.Admit(a, t0 + i * 1s, 2.0)) << i;
  // ...until it has been away for longer than the window.
  EXPECT_TRUE(filter.Admit(a, t0 + 12s + 1ms, 2.0));
  EXPECT_LE(filter.remembered(), 4u);

  // 0 (and anything not above it) records every reading.
  for (double off : {0.0, -1.0, -0.0 / 0.0}) {
    RepeatFilter every;
    EXPECT_TRUE(every.Admit(a, t0, off));
    EXPECT_TRUE(every.Admit(a, t0, off));
  }
  filter.Clear();
  EXPECT_TRUE(filter.Admit(a, t0 + 12s + 2ms, 2.0));
}

TEST(RepeatFilter, RemembersABoundedNumberOfCodes) {
  RepeatFilter filter;
  const auto t0 = RepeatFilter::Clock::time_point(1s);
  for (int i = 0; i < 5000; ++i)
    EXPECT_TRUE(filter.Admit(Entry(CodeKind::kBarcode, "ITF", std::to_string(i)), t0 + i * 1us, 60.0));
  EXPECT_EQ(filter.remembered(), 1024u);
  // The newest are still known, the oldest forgotten.
  EXPECT_FALSE(filter.Admit(Entry(CodeKind::kBarcode, "ITF", "4999"), t0 + 5000us, 60.0));
  EXPECT_TRUE(filter.Admit(Entry(CodeKind::kBarcode, "ITF", "0"), t0 + 5001us, 60.0));
}

// ---------------------------------------------------------------- figures

TEST(ReadingFigures, FramesPerSecondAndMedianOfTheLastSecond) {
  ReadingFigures figures;
  const auto t0 = ReadingFigures::Clock::time_point(50s);
  figures.Reset(t0);
  EXPECT_EQ(FiguresText(figures.Last(t0 + 500ms)), "0.0 fps");
  // Two seconds at 30 frames a second; decode times 0.1 ... 3.0 ms in turn.
  for (int i = 1; i <= 60; ++i) figures.Add(t0 + i * 33333us, (i % 30 + 1) * 0.1, true);
  const ReadingFigureValues v = figures.Last(t0 + 2s);
  EXPECT_EQ(v.frames, 30);
  EXPECT_DOUBLE_EQ(v.framesPerSecond, 30.0);
  EXPECT_EQ(v.decoded, 30);
  EXPECT_NEAR(v.medianMilliseconds, 1.55, 1e-6);
  EXPECT_EQ(FiguresText(v), "30.0 fps ・ 読取 1.6 ms");
  EXPECT_EQ(FiguresText({30, 30.0, 1, 0.44}), "30.0 fps ・ 読取 0.4 ms");
  EXPECT_EQ(FiguresText({30, 29.96, 1, 0.024}), "30.0 fps ・ 読取 0.02 ms");

  // Just after a start the rate is over the time read so far.
  figures.Reset(t0 + 10s);
  for (int i = 1; i <= 5; ++i) figures.Add(t0 + 10s + i * 50ms, 1.0, i != 3);
  const ReadingFigureValues early = figures.Last(t0 + 10s + 250ms);
  EXPECT_EQ(early.frames, 5);
  EXPECT_DOUBLE_EQ(early.framesPerSecond, 20.0);
  EXPECT_EQ(early.decoded, 4);
  // Frames with every decoder off give the rate alone.
  figures.Reset(t0 + 20s);
  figures.Add(t0 + 20s + 100ms, 0.0, false);
  EXPECT_EQ(FiguresText(figures.Last(t0 + 21s)), "1.0 fps");
}

TEST(ReadingFigures, MoreFramesThanTheRingHoldsAreCountedAsItsSize) {
  ReadingFigures figures;
  const auto t0 = ReadingFigures::Clock::time_point(1s);
  figures.Reset(t0 - 10s);
  for (size_t i = 0; i < ReadingFigures::kSamples + 100; ++i) figures.Add(t0 + i * 100us, 0.25, true);
  const ReadingFigureValues v = figures.Last(t0 + 900ms);
  EXPECT_EQ(v.frames, static_cast<int32_t>(ReadingFigures::kSamples));
  EXPECT_FLOAT_EQ(static_cast<float>(v.medianMilliseconds), 0.25f);
}

// ---------------------------------------------------------------- opened pictures

uint32_t Bgr(DibImage p, int32_t x, int32_t y) {
  const uint8_t* q = DibGetBits(p) + y * DibGetStride(p) + x * 3;
  return q[0] | (q[1] << 8) | (q[2] << 16);
}

TEST(PictureOpen, APictureThatFitsLandsTopLeftAndTheRestIsWhite) {
  DibPtr slot(DibCreate(64, 48, 3, 4));
  FillGrey(slot.get(), 7);  // what the previous frame left
  DibPtr grey(DibCreate(10, 6, 1, 4));
  FillGrey(grey.get(), 40);
  DibGetBits(grey.get())[1] = 200;  // (1, 0)
  ASSERT_TRUE(FitPictureIntoSlot(grey.get(), slot.get()));
  EXPECT_EQ(Bgr(slot.get(), 0, 0), 0x282828u);
  EXPECT_EQ(Bgr(slot.get(), 1, 0), 0xC8C8C8u);
  EXPECT_EQ(Bgr(slot.get(), 9, 5), 0x282828u);
  EXPECT_EQ(Bgr(slot.get(), 10, 5), 0xFFFFFFu);
  EXPECT_EQ(Bgr(slot.get(), 9, 6), 0xFFFFFFu);
  EXPECT_EQ(Bgr(slot.get(), 63, 47), 0xFFFFFFu);

  DibPtr colour(DibCreate(64, 48, 3, 4));
  FillGrey(colour.get(), 0);
  uint8_t* p = DibGetBits(colour.get()) + 47 * DibGetStride(colour.get()) + 63 * 3;
  p[0] = 1, p[1] = 2, p[2] = 3;
  ASSERT_TRUE(FitPictureIntoSlot(colour.get(), slot.get()));
  EXPECT_EQ(Bgr(slot.get(), 63, 47), 0x030201u);

  // What cannot be fitted leaves the slot as it was.
  DibPtr four(DibCreate(4, 4, 2, 4));
  EXPECT_FALSE(FitPictureIntoSlot(four.get(), slot.get()));
  EXPECT_FALSE(FitPictureIntoSlot(nullptr, slot.get()));
  EXPECT_FALSE(FitPictureIntoSlot(colour.get(), nullptr));
  DibPtr greySlot(DibCreate(64, 48, 1, 4));
  EXPECT_FALSE(FitPictureIntoSlot(colour.get(), greySlot.get()));
  EXPECT_EQ(Bgr(slot.get(), 63, 47), 0x030201u);
}

TEST(PictureOpen, ALargerPictureIsShrunkWholeKeepingItsProportions) {
  DibPtr slot(DibCreate(64, 48, 3, 4));
  // 256 x 96: four times the slot's width, so a quarter of its size: 64 x 24.
  DibPtr wide(DibCreate(256, 96, 3, 4));
  FillGrey(wide.get(), 255);
  // A black square in the picture's right half, bottom half: 4 x 4 blocks.
  for (int32_t y = 48; y < 96; ++y)
    for (int32_t x = 128; x < 256; ++x) std::fill_n(DibGetBits(wide.get()) + y * DibGetStride(wide.get()) + x * 3, 3, 0);
  // A 2 x 2 block of one slot pixel half dark: the mean.
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 4; ++x) std::fill_n(DibGetBits(wide.get()) + y * DibGetStride(wide.get()) + x * 3, 3, 0);
  ASSERT_TRUE(FitPictureIntoSlot(wide.get(), slot.get()));
  EXPECT_EQ(Bgr(slot.get(), 0, 0), 0x808080u);  // (8 x 0 + 8 x 255) / 16, rounded
  EXPECT_EQ(Bgr(slot.get(), 31, 11), 0xFFFFFFu);
  EXPECT_EQ(Bgr(slot.get(), 32, 12), 0x000000u);
  EXPECT_EQ(Bgr(slot.get(), 63, 23), 0x000000u);
  EXPECT_EQ(Bgr(slot.get(), 63, 24), 0xFFFFFFu);  // below the picture

  // Taller than the slot's proportions: the height decides.
  DibPtr tall(DibCreate(30, 480, 1, 4));
  FillGrey(tall.get(), 0);
  ASSERT_TRUE(FitPictureIntoSlot(tall.get(), slot.get()));
  EXPECT_EQ(Bgr(slot.get(), 2, 47), 0x000000u);  // 3 x 48
  EXPECT_EQ(Bgr(slot.get(), 3, 0), 0xFFFFFFu);
  // A sliver keeps at least one pixel.
  DibPtr sliver(DibCreate(6400, 1, 1, 4));
  FillGrey(sliver.get(), 0);
  ASSERT_TRUE(FitPictureIntoSlot(sliver.get(), slot.get()));
  EXPECT_EQ(Bgr(slot.get(), 63, 0), 0x000000u);
  EXPECT_EQ(Bgr(slot.get(), 0, 1), 0xFFFFFFu);
}

TEST(PictureOpen, EachCauseHasItsStatus) {
  TempFolder dir;
  DibPtr small(DibCreate(8, 8, 3, 4));
  FillGrey(small.get(), 9);
  ASSERT_EQ(DibSaveFile(dir.File("ok.png").c_str(), small.get()), 1);
  WriteText(dir.File("text.png"), "not a picture at all");
  std::string png = ReadText(dir.File("ok.png"));
  WriteText(dir.File("cut.png"), png.substr(0, png.size() / 2));
  const struct {
    std::string path;
    int32_t status;
  } cases[] = {
      {dir.File("ok.png"), kPictureOpened},
      {dir.File("missing.png"), kPictureCannotOpen},
      {dir.Path().string(), kPictureCannotOpen},
      {dir.File("text.png"), kPictureUnknownFormat},
      {dir.File("cut.png"), kPictureBroken},
  };
  for (const auto& c : cases) {
    int32_t status = -1;
    DibPtr picture(ReadPictureForSlot(c.path.c_str(), &status));
    EXPECT_EQ(status, c.status) << c.path;
    EXPECT_EQ(picture != nullptr, c.status == 0) << c.path;
  }
  setenv("VANTREL_MAX_PIXELS", "63", 1);
  int32_t status = -1;
  EXPECT_EQ(ReadPictureForSlot(dir.File("ok.png").c_str(), &status), nullptr);
  EXPECT_EQ(status, kPictureTooLarge);
  unsetenv("VANTREL_MAX_PIXELS");
}

}  // namespace
}  // namespace vantrel::test

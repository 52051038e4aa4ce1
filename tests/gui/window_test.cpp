// The station window through the real capture pipeline fed by the replay
// source: the range boxes and their clamping, Enter, the code kind, the
// settings pane, what the preview paints, open and save, the result texts,
// the capture size change and the about box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>

#include <cstdio>
#include <fstream>

#include "gui/qt_test_app.h"
#include "gui/station_environment.h"
#include "gui/station_fixture.h"
#include "symbol_render.h"
#include "vantrel/control_ids.h"
#include "vantrel/decode_calls.h"
#include "vantrel/dib_file.h"
#include "vantrel/guide_lines.h"
#include "vantrel/overlay.h"
#include "vantrel/ui_kit.h"

namespace vantrel::test {
namespace {

[[maybe_unused]] const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new StationEnvironment);

const QRgb kGreen = qRgb(0, 255, 0);

// A picture of one grey level, as the ring's slots have it.
DibPtr Plain(int32_t w, int32_t h, uint8_t level) {
  DibPtr p(DibCreate(w, h, 3, 4));
  FillGrey(p.get(), level);
  return p;
}

class WindowTest : public ::testing::Test {
 protected:
  // An idle station on a plain white picture.
  void SetUpStation(const std::string& replay = "", int32_t width = 640, int32_t height = 480,
                    const std::function<void(SettingsRecord&)>& settings = {}) {
    if (settings) station.core().EditSettings(settings);
    std::string path = replay;
    if (path.empty()) {
      path = folder.File("white.bmp");
      DibPtr white = Plain(640, 480, 255);
      ASSERT_EQ(DibWriteBmp(path.c_str(), white.get()), 1);
    }
    ASSERT_EQ(station.Build(path, width, height), 0);
    window = &station.OpenWindow();
  }
  template <typename T>
  T* Control(int32_t id) {
    T* w = ui::FindControl<T>(window, id);
    EXPECT_NE(w, nullptr) << "control " << id;
    return w;
  }
  QLineEdit* Range(int32_t index) {
    const int32_t ids[4] = {ids::kRangeStartX, ids::kRangeStartY, ids::kRangeEndX, ids::kRangeEndY};
    return Control<QLineEdit>(ids[index]);
  }
  void SetRange(int32_t sx, int32_t sy, int32_t ex, int32_t ey) {
    const int32_t v[4] = {sx, sy, ex, ey};
    for (int i = 0; i < 4; ++i) Range(i)->setText(QString::number(v[i]));
  }
  QPoint Preview(int32_t x, int32_t y) const {
    return window->previewRect().topLeft() + QPoint(x, y);
  }

  ScratchFolder folder;
  StationUnderTest station;
  CVantrelDlg* window = nullptr;
};

// ---------------------------------------------------------------- the controls

TEST_F(WindowTest, EveryControlHasItsNumberAndText) {
  SetUpStation();
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Vantrel"));
  EXPECT_EQ(ui::ControlIdOf(window), ids::kMainDialog);
  const std::pair<int32_t, const char*> buttons[] = {
      {ids::kReadStart, "読取開始"},  {ids::kStopAfterRead, "読取後に停止する"},
      {ids::kOpen, "開く"},           {ids::kSave, "保存"},
      {ids::kCaptureSize, "取込サイズ変更"}, {ids::kImageQuality, "画質調整"},
      {ids::kSettingsToggle, "設定"}, {ids::kExit, "終了"},
      {ids::kKindBarcode, "バーコード"}, {ids::kKindQRCode, "ＱＲコード"},
      {ids::kKindDataMatrix, "データマトリックス"}, {ids::kResultCommand, "INVALID_DATA"},
      {ids::kShowRange, "処理範囲を表示する"},
  };
  for (const auto& [id, text] : buttons) {
    auto* b = Control<QAbstractButton>(id);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->text(), QString::fromUtf8(text)) << id;
    // Enter is the window's, never a push button's by default.
    if (auto* push = qobject_cast<QPushButton*>(b)) {
      EXPECT_FALSE(push->autoDefault()) << id;
      EXPECT_FALSE(push->isDefault()) << id;
    }
  }
  EXPECT_FALSE(Control<QWidget>(ids::kResultCommand)->isVisible());
  EXPECT_FALSE(Control<QWidget>(ids::kShowRange)->isVisible());
  EXPECT_TRUE(Control<QCheckBox>(ids::kShowRange)->isChecked());
  EXPECT_EQ(Control<QLabel>(ids::kStartLabel)->text(), QString::fromUtf8("開始[X-Y]："));
  EXPECT_EQ(Control<QLabel>(ids::kEndLabel)->text(), QString::fromUtf8("終了[X-Y]："));
  auto* combo = Control<QComboBox>(ids::kPageChoice);
  ASSERT_EQ(combo->count(), 3);
  EXPECT_EQ(combo->itemText(1), QString::fromUtf8("ＱＲコード"));
  for (int32_t id : {ids::kPreviewFrame, ids::kResultBox, ids::kPageFrame, ids::kSpinStartX, ids::kSpinStartY,
                     ids::kSpinEndX, ids::kSpinEndY, ids::kCodeKindGroup, ids::kRangeGroup, ids::kResultGroup,
                     ids::kBarCodePage, ids::kQRCodePage, ids::kDmxCodePage}) {
    EXPECT_NE(ui::FindControlWidget(window, id), nullptr) << id;
  }
  // The preview: 640 x 480 inside the black frame, in the window's coordinates.
  EXPECT_EQ(window->previewRect().size(), QSize(640, 480));
  EXPECT_EQ(window->previewRect(), Control<QWidget>(ids::kPreviewFrame)->geometry().adjusted(1, 1, -1, -1));
  EXPECT_FALSE(window->windowIcon().isNull());
}

TEST_F(WindowTest, TheMembersStartFromTheSettings) {
  SetUpStation("", 640, 480, [](SettingsRecord& s) {
    s.BarCodeEnable = 0;
    s.QRCodeEnable = 0;
    s.DmxCodeEnable = 1;
    s.OneDecode = 0;
    s.Area[0] = 11;
    s.Area[1] = 22;
    s.Area[2] = 333;
    s.Area[3] = 444;
  });
  EXPECT_TRUE(Control<QRadioButton>(ids::kKindDataMatrix)->isChecked());
  EXPECT_FALSE(Control<QCheckBox>(ids::kStopAfterRead)->isChecked());
  EXPECT_EQ(Range(0)->text(), "11");
  EXPECT_EQ(Range(3)->text(), "444");
  EXPECT_TRUE(window->lastFolder().empty());
  EXPECT_TRUE(window->initialized());
  // The result pane is up.
  EXPECT_TRUE(Control<QWidget>(ids::kResultBox)->isVisible());
  EXPECT_FALSE(Control<QWidget>(ids::kPageFrame)->isVisible());
  // Filling the boxes changed nothing.
  EXPECT_EQ(station.core().Settings().Area[2], 333);
}

// ---------------------------------------------------------------- range boxes

TEST_F(WindowTest, RangeValuesAreBroughtIntoThePictureWhileTheBoxKeepsTheText) {
  SetUpStation();
  struct Case {
    int index;
    const char* text;
    int32_t stored;
  };
  const Case cases[] = {
      {0, "700", 639}, {0, "-5", 0},   {0, "639", 639}, {0, "640", 639}, {1, "480", 479}, {1, "479", 479},
      {2, "abc", 0},   {3, "", 0},     {2, " 320 ", 320}, {3, "+12", 12}, {0, "12x", 0},  {1, "99999999999", 0},
      {2, "-2147483648", 0},
  };
  for (const Case& c : cases) {
    Range(c.index)->setText(QString::fromUtf8(c.text));
    EXPECT_EQ(station.core().Settings().Area[c.index], c.stored) << c.text;
    EXPECT_EQ(Range(c.index)->text(), QString::fromUtf8(c.text));
  }
}

TEST_F(WindowTest, RangeEditsRebuildTheGuideLinesAndRepaintWithErase) {
  SetUpStation();
  SetRange(100, 200, 300, 400);
  const SettingsRecord s = station.core().Settings();
  const std::vector<GuidePoint> starts = guideStarts, ends = guideEnds;
  RebuildGuideLines(s);
  EXPECT_EQ(starts, guideStarts);
  EXPECT_EQ(ends, guideEnds);
  ASSERT_FALSE(guideStarts.empty());
  for (size_t i = 0; i < guideStarts.size(); ++i) {
    EXPECT_GE(guideStarts[i].x, 100);
    EXPECT_LE(guideEnds[i].x, 300);
  }
  const int32_t erased = window->erasedInvalidations();
  Range(0)->setText("120");
  EXPECT_EQ(window->erasedInvalidations(), erased + 1);
}

TEST_F(WindowTest, AReversedRangeReachesTheDecodersInItsOrderAndIsFramedCornerToCorner) {
  SetUpStation();
  SetRange(100, 100, 50, 50);
  const SettingsRecord s = station.core().Settings();
  EXPECT_EQ((std::vector<int32_t>(s.Area, s.Area + 4)), (std::vector<int32_t>{100, 100, 50, 50}));
  const DibRect r = ClampedRange(s, 640, 480);
  EXPECT_EQ((std::vector<int32_t>{r.left, r.top, r.right, r.bottom}), (std::vector<int32_t>{100, 100, 50, 50}));

  // Three outlines between the corners, whichever comes first.
  const QImage img = station.PaintPreview();
  for (int32_t edge : {49, 50, 51, 99, 100, 101}) {
    EXPECT_EQ(img.pixel(Preview(75, edge)), kGreen) << "row " << edge;
    EXPECT_EQ(img.pixel(Preview(edge, 75)), kGreen) << "column " << edge;
  }
  EXPECT_NE(img.pixel(Preview(75, 48)), kGreen);
  EXPECT_NE(img.pixel(Preview(75, 102)), kGreen);
  EXPECT_NE(img.pixel(Preview(75, 75)), kGreen);
}

TEST_F(WindowTest, TheUpDownControlsStepWithinThePicture) {
  SetUpStation();
  struct Case {
    int index;
    const char* before;
    bool up;
    const char* after;
  };
  const Case cases[] = {
      {0, "700", true, "639"}, {0, "-5", false, "0"}, {0, "10", true, "11"}, {1, "10", false, "9"},
      {1, "479", true, "479"}, {2, "abc", true, "1"}, {3, "0", false, "0"},
  };
  const int32_t spinIds[4] = {ids::kSpinStartX, ids::kSpinStartY, ids::kSpinEndX, ids::kSpinEndY};
  for (const Case& c : cases) {
    Range(c.index)->setText(QString::fromUtf8(c.before));
    auto* spin = Control<UpDownControl>(spinIds[c.index]);
    (c.up ? spin->upButton() : spin->downButton())->click();
    EXPECT_EQ(Range(c.index)->text(), QString::fromUtf8(c.after)) << c.before;
    EXPECT_EQ(station.core().Settings().Area[c.index], std::atoi(c.after)) << c.before;
  }
  // The arrow keys in the box do the same.
  Range(0)->setText("20");
  QTest::keyClick(Range(0), Qt::Key_Up);
  EXPECT_EQ(Range(0)->text(), "21");
  QTest::keyClick(Range(0), Qt::Key_Down);
  QTest::keyClick(Range(0), Qt::Key_Down);
  EXPECT_EQ(Range(0)->text(), "19");
}

TEST_F(WindowTest, EnterChecksTheRangeBoxesForWholeNumbersThenClosesTheWindow) {
  struct Case {
    int index;
    const char* text;
    const char* message;  // nullptr: the window closes
  };
  const Case cases[] = {
      {1, "abc", "整数を入力してください。"},
      {2, "10000", "0 から 9999 までの整数を入力してください。"},
      {3, "-1", "0 から 9999 までの整数を入力してください。"},
      {0, "700", nullptr},
      {0, "9999", nullptr},
  };
  for (const Case& c : cases) {
    StationUnderTest fresh;
    ScratchFolder scratch;
    const std::string white = scratch.File("white.bmp");
    DibPtr picture = Plain(640, 480, 255);
    ASSERT_EQ(DibWriteBmp(white.c_str(), picture.get()), 1);
    ASSERT_EQ(fresh.Build(white), 0);
    CVantrelDlg& w = fresh.OpenWindow();
    const int32_t editIds[4] = {ids::kRangeStartX, ids::kRangeStartY, ids::kRangeEndX, ids::kRangeEndY};
    auto* edit = ui::FindControl<QLineEdit>(&w, editIds[c.index]);
    edit->setText(QString::fromUtf8(c.text));
    ui::FindControl<QWidget>(&w, ids::kRangeStartX)->setFocus();
    edit->setFocus();
    ui::ScopedMessageAnswers answers;
    QTest::keyClick(edit, Qt::Key_Return);
    if (c.message) {
      ASSERT_EQ(answers.texts(), std::vector<std::string>{c.message}) << c.text;
      EXPECT_EQ(answers.requests()[0].caption, "Vantrel");
      EXPECT_TRUE(w.isVisible()) << c.text;
      EXPECT_EQ(w.focusWidget(), edit) << c.text;
    } else {
      EXPECT_TRUE(answers.requests().empty()) << c.text;
      EXPECT_FALSE(w.isVisible()) << c.text;
      EXPECT_EQ(w.result(), QDialog::Accepted);
    }
  }
}

TEST_F(WindowTest, EnterOnAFocusedButtonPressesItAndEscapeCloses) {
  SetUpStation();
  auto* toggle = Control<QPushButton>(ids::kSettingsToggle);
  toggle->setFocus();
  QTest::keyClick(toggle, Qt::Key_Return);
  EXPECT_TRUE(toggle->isChecked());
  EXPECT_TRUE(window->isVisible());
  QTest::keyClick(window, Qt::Key_Escape);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->result(), QDialog::Rejected);
}

// ---------------------------------------------------------------- code kind, settings pane

TEST_F(WindowTest, TheCodeKindSetsTheThreeEnables) {
  SetUpStation();
  struct Case {
    int32_t id;
    int32_t bar, qr, dmx;
  };
  const Case cases[] = {{ids::kKindQRCode, 0, 1, 0}, {ids::kKindDataMatrix, 0, 0, 1}, {ids::kKindBarcode, 1, 0, 0}};
  for (const Case& c : cases) {
    const int32_t erased = window->erasedInvalidations();
    station.Click(c.id);
    const SettingsRecord s = station.core().Settings();
    EXPECT_EQ(s.BarCodeEnable, c.bar) << c.id;
    EXPECT_EQ(s.QRCodeEnable, c.qr) << c.id;
    EXPECT_EQ(s.DmxCodeEnable, c.dmx) << c.id;
    EXPECT_EQ(window->erasedInvalidations(), erased + 1);
  }
}

TEST_F(WindowTest, SettingsOpensThePageOfTheEnabledDecoderAndClosesBackToTheResults) {
  struct Case {
    int32_t bar, qr, dmx;
    int page;
  };
  const Case cases[] = {{1, 0, 0, 0}, {0, 1, 0, 1}, {0, 0, 1, 2}, {0, 0, 0, 2}, {1, 1, 0, 0}};
  SetUpStation();
  const int32_t resultPane[] = {ids::kCodeKindGroup, ids::kKindBarcode, ids::kKindQRCode, ids::kKindDataMatrix,
                                ids::kRangeGroup, ids::kStartLabel, ids::kRangeStartX, ids::kSpinStartX,
                                ids::kRangeStartY, ids::kSpinStartY, ids::kEndLabel, ids::kRangeEndX,
                                ids::kSpinEndX, ids::kRangeEndY, ids::kSpinEndY, ids::kResultGroup,
                                ids::kResultBox};
  for (const Case& c : cases) {
    station.core().EditSettings([&](SettingsRecord& s) {
      s.BarCodeEnable = c.bar;
      s.QRCodeEnable = c.qr;
      s.DmxCodeEnable = c.dmx;
    });
    station.Click(ids::kSettingsToggle);
    EXPECT_TRUE(Control<QWidget>(ids::kPageFrame)->isVisible());
    EXPECT_TRUE(Control<QWidget>(ids::kPageChoice)->isVisible());
    EXPECT_EQ(Control<QComboBox>(ids::kPageChoice)->currentIndex(), c.page);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(window->page(i)->isVisible(), i == c.page) << "page " << i;
    for (int32_t id : resultPane) EXPECT_FALSE(Control<QWidget>(id)->isVisible()) << id;

    station.Click(ids::kSettingsToggle);
    EXPECT_FALSE(Control<QWidget>(ids::kPageFrame)->isVisible());
    EXPECT_FALSE(Control<QWidget>(ids::kPageChoice)->isVisible());
    for (int32_t id : resultPane) EXPECT_TRUE(Control<QWidget>(id)->isVisible()) << id;
  }
}

TEST_F(WindowTest, ThePageChoiceShowsOnePageInTheFrame) {
  SetUpStation();
  station.Click(ids::kSettingsToggle);
  auto* combo = Control<QComboBox>(ids::kPageChoice);
  for (int index : {1, 2, 0}) {
    combo->setCurrentIndex(index);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(window->page(i)->isVisible(), i == index);
    EXPECT_EQ(window->pageIndex(), index);
  }
  // The pages sit at (3, 31) in the frame, which holds them whole.
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(window->page(i)->pos(), QPoint(3, 31));
    EXPECT_EQ(window->page(i)->parentWidget(), Control<QWidget>(ids::kPageFrame));
    EXPECT_TRUE(Control<QWidget>(ids::kPageFrame)->rect().contains(window->page(i)->geometry()));
  }
}

// ---------------------------------------------------------------- painting

struct Marks {
  int frame = 0;   // green pixels on the three-pixel range frame
  int inside = 0;  // green pixels inside it (guide lines)
};

Marks CountMarks(const QImage& img, const QRect& preview, const SettingsRecord& s) {
  Marks m;
  const QRect outer(QPoint(preview.left() + s.Area[0] - 1, preview.top() + s.Area[1] - 1),
                    QPoint(preview.left() + s.Area[2] + 1, preview.top() + s.Area[3] + 1));
  const QRect inner = outer.adjusted(3, 3, -3, -3);
  for (int y = outer.top(); y <= outer.bottom(); ++y) {
    for (int x = outer.left(); x <= outer.right(); ++x) {
      if (img.pixel(x, y) != kGreen) continue;
      (inner.contains(x, y) ? m.inside : m.frame)++;
    }
  }
  return m;
}

TEST_F(WindowTest, GuideLinesShowOnlyForBarcodesWithTheGuideOnAndTheRangeFrameStays) {
  SetUpStation();
  struct Case {
    int32_t kindId;
    int32_t guide;
    bool showRange;
    bool guides;
    bool frame;
  };
  const Case cases[] = {
      {ids::kKindBarcode, 1, true, true, true},  {ids::kKindBarcode, 0, true, false, true},
      {ids::kKindQRCode, 1, true, false, true},  {ids::kKindDataMatrix, 1, true, false, true},
      {ids::kKindBarcode, 1, false, false, false},
  };
  for (const Case& c : cases) {
    station.Click(c.kindId);
    station.core().EditSettings([&](SettingsRecord& s) { s.GuideLine = c.guide; });
    auto* show = Control<QCheckBox>(ids::kShowRange);
    if (show->isChecked() != c.showRange) show->click();
    ASSERT_EQ(window->showRange(), c.showRange ? 1 : 0);
    const Marks m = CountMarks(station.PaintPreview(), window->previewRect(), station.core().Settings());
    EXPECT_EQ(m.inside > 0, c.guides) << c.kindId << " guide " << c.guide << " show " << c.showRange;
    // The whole band three pixels thick around the default range (79,59)-(559,419):
    // 483 x 363 outside less 477 x 357 inside.
    EXPECT_EQ(m.frame, c.frame ? 483 * 363 - 477 * 357 : 0)
        << c.kindId << " guide " << c.guide << " show " << c.showRange;
  }
}

TEST_F(WindowTest, TheGuideLinesAreDotted) {
  SetUpStation();
  ASSERT_FALSE(guideStarts.empty());
  const QImage img = station.PaintPreview();
  // A horizontal guide: every other pixel along it.
  for (size_t i = 0; i < guideStarts.size(); ++i) {
    if (guideStarts[i].y != guideEnds[i].y) continue;
    const int y = guideStarts[i].y;
    int on = 0, off = 0;
    for (int x = guideStarts[i].x + 10; x < guideStarts[i].x + 30; ++x)
      (img.pixel(Preview(x, y)) == kGreen ? on : off)++;
    EXPECT_EQ(on, 10);
    EXPECT_EQ(off, 10);
    return;
  }
  ADD_FAILURE() << "no horizontal guide line";
}

TEST_F(WindowTest, ThePictureIsScaledIntoThePreview) {
  struct Case {
    int32_t width, height;
    QSize shown;
  };
  const Case cases[] = {{1280, 960, QSize(640, 480)}, {320, 240, QSize(320, 240)}, {800, 480, QSize(640, 384)}};
  for (const Case& c : cases) {
    StationUnderTest fresh;
    ScratchFolder scratch;
    const std::string file = scratch.File("grey.bmp");
    DibPtr grey = Plain(c.width, c.height, 100);
    ASSERT_EQ(DibWriteBmp(file.c_str(), grey.get()), 1);
    ASSERT_EQ(fresh.Build(file, c.width, c.height), 0) << c.width;
    CVantrelDlg& w = fresh.OpenWindow();
    // A picture with a dark block at its top-left quarter-by-quarter corner.
    DibPtr picture = Plain(c.width, c.height, 200);
    for (int32_t y = 0; y < c.height / 4; ++y)
      std::fill_n(DibGetBits(picture.get()) + y * DibGetStride(picture.get()), 3 * (c.width / 4), 0);
    fresh.ShowPicture(picture.get());
    auto* show = ui::FindControl<QCheckBox>(&w, ids::kShowRange);
    show->click();  // no marks over the picture
    const QImage img = fresh.PaintPreview();
    const QPoint tl = w.previewRect().topLeft();
    const QRgb dark = qRgb(0, 0, 0), light = qRgb(200, 200, 200);
    EXPECT_EQ(img.pixel(tl), dark) << c.width;
    EXPECT_EQ(img.pixel(tl + QPoint(c.shown.width() / 4 - 1, c.shown.height() / 4 - 1)), dark) << c.width;
    EXPECT_EQ(img.pixel(tl + QPoint(c.shown.width() / 4 + 1, c.shown.height() / 4 + 1)), light) << c.width;
    EXPECT_EQ(img.pixel(tl + QPoint(c.shown.width() - 1, c.shown.height() - 1)), light) << c.width;
    // Nothing is drawn past the shown size.
    if (c.shown.width() < 640) {
      EXPECT_EQ(img.pixel(tl + QPoint(c.shown.width(), 10)), qRgb(255, 0, 255));
    }
    if (c.shown.height() < 480) {
      EXPECT_EQ(img.pixel(tl + QPoint(10, c.shown.height())), qRgb(255, 0, 255));
    }
  }
}

TEST_F(WindowTest, TheRangeFrameFollowsThePreviewScale) {
  StationUnderTest fresh;
  ScratchFolder scratch;
  const std::string file = scratch.File("grey.bmp");
  DibPtr grey = Plain(1280, 960, 100);
  ASSERT_EQ(DibWriteBmp(file.c_str(), grey.get()), 1);
  ASSERT_EQ(fresh.Build(file, 1280, 960), 0);
  fresh.core().EditSettings([](SettingsRecord& s) {
    s.Area[0] = 200;
    s.Area[1] = 100;
    s.Area[2] = 1000;
    s.Area[3] = 900;
    s.GuideLine = 0;
  });
  CVantrelDlg& w = fresh.OpenWindow();
  const QImage img = fresh.PaintPreview();
  const QPoint tl = w.previewRect().topLeft();
  // Half the picture's pixels: the middle outline at x = 100 and 500, y = 50 and 450.
  for (QPoint p : {QPoint(100, 200), QPoint(500, 200), QPoint(300, 50), QPoint(300, 450)})
    EXPECT_EQ(img.pixel(tl + p), kGreen) << p.x() << "," << p.y();
  EXPECT_NE(img.pixel(tl + QPoint(300, 200)), kGreen);
}

// ---------------------------------------------------------------- open and save

TEST_F(WindowTest, AnOpenedPictureStaysInThePreviewUntilReadingStarts) {
  SetUpStation(DemoFrame("demo-1-jan13.png"), 640, 480, [](SettingsRecord& s) { s.OneDecode = 1; });
  const std::string file = folder.File("dark.bmp");
  DibPtr dark = Plain(640, 480, 30);
  ASSERT_EQ(DibWriteBmp(file.c_str(), dark.get()), 1);
  {
    ui::ScopedFileAnswers files;
    files.Queue(file);
    ui::ScopedMessageAnswers answers;
    station.Click(ids::kOpen);
    EXPECT_TRUE(answers.requests().empty());
    ASSERT_EQ(files.requests().size(), 1u);
    const ui::FileDialogRequest& r = files.requests()[0];
    EXPECT_FALSE(r.save);
    // Every picture the station reads first; the bitmap filter stays among them.
    ASSERT_EQ(r.filters.size(), 3u);
    EXPECT_EQ(r.filters[0].rfind("画像ファイル (*.bmp *.png *.jpg *.jpeg", 0), 0u) << r.filters[0];
    EXPECT_NE(r.filters[0].find("*.tif *.tiff *.gif"), std::string::npos) << r.filters[0];
    EXPECT_EQ(r.filters[1], "ビットマップ ファイル (*.bmp *.BMP)");
    EXPECT_EQ(r.defaultSuffix, "bmp");
    EXPECT_EQ(r.fileName, "Untitled.bmp");
    EXPECT_EQ(r.startFolder, "");
  }
  EXPECT_EQ(window->lastFolder(), folder.path());
  for (int i = 0; i < 3; ++i) {
    QCoreApplication::processEvents();
    EXPECT_EQ(station.PaintPreview().pixel(Preview(320, 240)), qRgb(30, 30, 30));
  }
  // The next dialog starts where the last file was.
  {
    ui::ScopedFileAnswers files;
    station.Click(ids::kOpen);
    ASSERT_EQ(files.requests().size(), 1u);
    EXPECT_EQ(files.requests()[0].startFolder, folder.path());
  }
  // Reading replaces it with the camera's frames.
  station.Click(ids::kReadStart);
  EXPECT_TRUE(ProcessEventsUntil([&] { return station.PaintPreview().pixel(Preview(320, 240)) != qRgb(30, 30, 30); }));
  station.core().cycle().StopReading();
}

TEST_F(WindowTest, AnOpenThatLoadsNothingIsToldAndTheFrameStays) {
  SetUpStation();
  std::ofstream(folder.File("broken.bmp")) << "BM not a picture";
  DibPtr small = Plain(8, 8, 0);
  ASSERT_EQ(DibSaveFile(folder.File("picture.png").c_str(), small.get()), 1);
  ASSERT_EQ(DibWriteBmp(folder.File("UPPER.BMP").c_str(), small.get()), 1);
  struct Case {
    const char* name;
    const char* message;  // nullptr: loaded, no message
  };
  const Case cases[] = {
      {"missing.bmp", "File open error (1)"},  // cannot be opened
      {"broken.bmp", "File open error (3)"},   // damaged
      {"picture.png", nullptr},                // any picture the station reads opens
      {"UPPER.BMP", nullptr},
  };
  for (const Case& c : cases) {
    DibPtr white = Plain(640, 480, 255);
    station.ShowPicture(white.get());
    ui::ScopedFileAnswers files;
    files.Queue(folder.File(c.name));
    ui::ScopedMessageAnswers answers;
    const int32_t erased = window->erasedInvalidations();
    station.Click(ids::kOpen);
    EXPECT_EQ(window->erasedInvalidations(), erased + 1);
    const QRgb corner = station.PaintPreview().pixel(Preview(2, 2));
    if (c.message) {
      ASSERT_EQ(answers.texts(), std::vector<std::string>{c.message}) << c.name;
      EXPECT_EQ(answers.requests()[0].icon, ui::MessageIcon::kStop);
      EXPECT_EQ(answers.requests()[0].caption, "Vantrel");
      EXPECT_EQ(corner, qRgb(255, 255, 255)) << c.name;
    } else {
      EXPECT_TRUE(answers.requests().empty()) << c.name;
      EXPECT_EQ(corner, qRgb(0, 0, 0)) << c.name;
    }
  }
  // Cancel: no message, the folder stays, the preview is repainted anyway.
  const std::string before = window->lastFolder();
  ui::ScopedFileAnswers files;
  ui::ScopedMessageAnswers answers;
  const int32_t erased = window->erasedInvalidations();
  station.Click(ids::kOpen);
  EXPECT_TRUE(answers.requests().empty());
  EXPECT_EQ(window->lastFolder(), before);
  EXPECT_EQ(window->erasedInvalidations(), erased + 1);
}

TEST_F(WindowTest, SaveWritesTheShownPictureAndAFailedSaveIsTold) {
  SetUpStation();
  DibPtr picture = Plain(640, 480, 77);
  DibGetBits(picture.get())[0] = 5;  // top-left pixel's blue
  station.ShowPicture(picture.get());
  {
    ui::ScopedFileAnswers files;
    files.Queue(folder.File("shot"));
    ui::ScopedMessageAnswers answers;
    station.Click(ids::kSave);
    EXPECT_TRUE(answers.requests().empty());
    ASSERT_EQ(files.requests().size(), 1u);
    EXPECT_TRUE(files.requests()[0].save);
    EXPECT_TRUE(files.requests()[0].confirmOverwrite);
    EXPECT_EQ(files.requests()[0].fileName, "Untitled");
    EXPECT_EQ(files.requests()[0].defaultSuffix, "bmp");
  }
  EXPECT_EQ(window->lastFolder(), folder.path());
  int32_t status = -1;
  DibImage saved = DibReadPictureFile(folder.File("shot.bmp").c_str(), &status);
  ASSERT_NE(saved, nullptr) << status;
  EXPECT_EQ(DibGetWidth(saved), 640);
  EXPECT_EQ(DibGetBits(saved)[0], 5);
  EXPECT_EQ(DibGetBits(saved)[4], 77);
  DibFree(saved);

  // Saving over it is asked first; No then Cancel writes nothing.
  {
    ui::ScopedFileAnswers files;
    files.Queue(folder.File("shot.bmp"));
    ui::ScopedMessageAnswers answers(ui::MessageResult::kNo);
    station.Click(ids::kSave);
    EXPECT_EQ(answers.texts(), std::vector<std::string>{"shot.bmp は既に存在します。\n上書きしますか?"});
  }
  // A folder that is not there.
  {
    ui::ScopedFileAnswers files;
    files.Queue(folder.File("none/shot.bmp"));
    ui::ScopedMessageAnswers answers;
    station.Click(ids::kSave);
    EXPECT_EQ(answers.texts(), std::vector<std::string>{"File save error (0)"});
    EXPECT_EQ(answers.requests()[0].icon, ui::MessageIcon::kStop);
  }
}

// ---------------------------------------------------------------- reading and results

TEST_F(WindowTest, EachKindOfCodeShowsItsTextAndStopAfterReadingReleasesTheButton) {
  struct Case {
    const char* frame;
    int32_t kindId;
    const char* text;
  };
  const Case cases[] = {
      {"demo-1-jan13.png", ids::kKindBarcode, "種類：JAN-13\n\n4901234567894"},
      {"demo-2-code128.png", ids::kKindBarcode, "種類：CODE 128\n\nVANTREL-2024"},
      {"demo-3-qrcode.png", ids::kKindQRCode, "バージョン：2\nレベル：Q(25％)\n\nようこそ Vantrel へ"},
      {"demo-4-datamatrix.png", ids::kKindDataMatrix, "Vantrel Data Matrix 0123456789"},
  };
  for (const Case& c : cases) {
    StationUnderTest fresh;
    fresh.core().EditSettings([](SettingsRecord& s) { s.OneDecode = 1; });
    ASSERT_EQ(fresh.Build(DemoFrame(c.frame)), 0);
    CVantrelDlg& w = fresh.OpenWindow();
    fresh.Click(c.kindId);
    fresh.Click(ids::kReadStart);
    auto* button = ui::FindControl<QPushButton>(&w, ids::kReadStart);
    EXPECT_EQ(button->text(), QString::fromUtf8("停止"));
    ASSERT_TRUE(fresh.WaitForResult()) << c.frame;
    EXPECT_EQ(fresh.ResultText(), c.text);
    EXPECT_FALSE(fresh.core().cycle().running());
    EXPECT_FALSE(button->isChecked());
    EXPECT_EQ(button->text(), QString::fromUtf8("読取開始"));
  }
}

TEST_F(WindowTest, WithoutStopAfterReadingEveryResultRewritesTheBox) {
  SetUpStation(DemoFrame("demo-1-jan13.png"), 640, 480, [](SettingsRecord& s) { s.OneDecode = 1; });
  auto* once = Control<QCheckBox>(ids::kStopAfterRead);
  ASSERT_TRUE(once->isChecked());
  once->click();
  EXPECT_EQ(station.core().Settings().OneDecode, 0);
  station.Click(ids::kReadStart);
  ASSERT_TRUE(station.WaitForResult());
  EXPECT_TRUE(station.core().cycle().running());
  for (int i = 0; i < 2; ++i) {
    Control<QPlainTextEdit>(ids::kResultBox)->clear();
    ASSERT_TRUE(station.WaitForResult());
    EXPECT_EQ(station.ResultText(), "種類：JAN-13\n\n4901234567894");
  }
  // The read-start toggle stops, and a new start empties the box first.
  station.Click(ids::kReadStart);
  EXPECT_FALSE(station.core().cycle().running());
  EXPECT_EQ(Control<QPushButton>(ids::kReadStart)->text(), QString::fromUtf8("読取開始"));
  QCoreApplication::processEvents();
  EXPECT_FALSE(station.ResultText().empty());
}

TEST_F(WindowTest, StartingReadingEmptiesTheResultBoxAndTheOutline) {
  SetUpStation();  // a white picture: nothing to read
  Control<QPlainTextEdit>(ids::kResultBox)->setPlainText("old");
  ASSERT_EQ(OverlayAddLine(1, 1, 100, 100, 0xff), 1);
  station.Click(ids::kReadStart);
  EXPECT_TRUE(ProcessEventsUntil([&] { return station.ResultText().empty(); }));
  const QImage img = station.PaintPreview();
  EXPECT_NE(img.pixel(Preview(50, 50)), qRgb(255, 0, 0));
  station.Click(ids::kReadStart);
}

TEST_F(WindowTest, ChoosingQrCodeWhileReadingSendsTheNextFramesToTheQrDecoderOnly) {
  // One picture with a barcode and a QR code: the barcode wins while it is enabled.
  ModuleMatrix jan, qr;
  ASSERT_TRUE(ZintModules({"-b", "EANX"}, "490123456789", &jan));
  ASSERT_TRUE(ZintModules({"-b", "QRCODE"}, "QR ONLY", &qr));
  DibPtr both = Plain(640, 480, 255);
  RenderOptions left;
  left.moduleSize = 2;
  left.centreX = 200;
  left.centreY = 240;
  left.barHeight = 50;
  PaintSymbol(both.get(), jan, left);
  RenderOptions right;
  right.moduleSize = 5;
  right.centreX = 450;
  right.centreY = 240;
  right.quietZone = 4;
  PaintSymbol(both.get(), qr, right);
  const std::string file = folder.File("both.bmp");
  ASSERT_EQ(DibWriteBmp(file.c_str(), both.get()), 1);

  SetUpStation(file, 640, 480, [](SettingsRecord& s) {
    s.OneDecode = 0;
    s.BarCodeEnable = 1;
    s.QRCodeEnable = 1;
  });
  station.Click(ids::kReadStart);
  ASSERT_TRUE(ProcessEventsUntil([&] { return station.ResultText().rfind("種類：JAN-13", 0) == 0; }));
  station.Click(ids::kKindQRCode);
  ASSERT_TRUE(ProcessEventsUntil([&] { return station.ResultText().rfind("バージョン：", 0) == 0; }))
      << station.ResultText();
  EXPECT_NE(station.ResultText().find("QR ONLY"), std::string::npos);
  station.Click(ids::kReadStart);
}

TEST_F(WindowTest, ClosingTheWindowStopsReading) {
  SetUpStation();
  station.Click(ids::kReadStart);
  ASSERT_TRUE(station.core().cycle().running());
  station.Click(ids::kExit);
  EXPECT_FALSE(station.core().cycle().running());
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->result(), QDialog::Rejected);
}

// ---------------------------------------------------------------- camera

TEST_F(WindowTest, ACaptureSizeChangeResetsTheRangeAndTheSpinsForTheNewSize) {
  SetUpStation();
  SetRange(1, 2, 3, 4);
  station.dialogs.answer = FrameSize{320, 240};
  station.Click(ids::kCaptureSize);
  EXPECT_EQ(station.dialogs.sizeDialogs, 1);
  const SettingsRecord s = station.core().Settings();
  EXPECT_EQ(s.Xsize, 320);
  EXPECT_EQ(s.Ysize, 240);
  int32_t expected[4];
  DefaultArea(320, 240, expected);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(s.Area[i], expected[i]);
    EXPECT_EQ(Range(i)->text(), QString::number(expected[i]));
  }
  EXPECT_EQ(Control<UpDownControl>(ids::kSpinStartX)->maximum(), 319);
  EXPECT_EQ(Control<UpDownControl>(ids::kSpinEndY)->maximum(), 239);
  Range(0)->setText("700");
  EXPECT_EQ(station.core().Settings().Area[0], 319);
  EXPECT_FALSE(Control<QPushButton>(ids::kReadStart)->isChecked());
}

TEST_F(WindowTest, ACaptureSizeChangeWhileReadingKeepsReading) {
  SetUpStation("", 640, 480, [](SettingsRecord& s) { s.OneDecode = 0; });
  station.Click(ids::kReadStart);
  station.dialogs.answer = FrameSize{320, 240};
  station.Click(ids::kCaptureSize);
  EXPECT_TRUE(station.core().cycle().running());
  EXPECT_TRUE(Control<QPushButton>(ids::kReadStart)->isChecked());
  EXPECT_EQ(Control<QPushButton>(ids::kReadStart)->text(), QString::fromUtf8("停止"));
  station.Click(ids::kReadStart);
}

// ---------------------------------------------------------------- about

TEST_F(WindowTest, TheContextMenuOpensTheAboutBox) {
  SetUpStation();
  QString item, title, version;
  int32_t templateId = 0;
  // Closes the about box as soon as it is up.
  QTimer watcher;
  watcher.setInterval(10);
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    QWidget* about = QApplication::activeModalWidget();
    if (about == nullptr) return;
    watcher.stop();
    title = about->windowTitle();
    templateId = ui::ControlIdOf(about);
    if (auto* label = ui::FindControl<QLabel>(about, ids::kAboutVersion)) version = label->text();
    if (auto* ok = ui::FindControl<QPushButton>(about, ids::kOk)) ok->click();
  });
  watcher.start();
  // Chooses the item as soon as the menu is up.
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(ProcessEventsUntil([] { return QApplication::activePopupWidget() != nullptr; }));
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 1);
    item = menu->actions()[0]->text();
    menu->actions()[0]->trigger();
    menu->close();
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(900, 560), window->mapToGlobal(QPoint(900, 560)));
  QApplication::sendEvent(window, &event);
  EXPECT_TRUE(ProcessEventsUntil([&] { return templateId != 0; }, 5000));
  EXPECT_EQ(item, QString::fromUtf8("バージョン情報(&A)..."));
  EXPECT_EQ(templateId, ids::kAboutDialog);
  EXPECT_EQ(title, QString::fromUtf8("バージョン情報"));
  EXPECT_EQ(version, QStringLiteral("Vantrel, Version 1.0"));
}

}  // namespace
}  // namespace vantrel::test

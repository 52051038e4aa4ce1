// The station as operators use it all day, through the real capture pipeline
// fed by the replay source: the history of what was read (continuous reading
// and trial reads), repeat suppression, copy and CSV export, opening and
// dropping pictures of every format, the read sound and the status line.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTableView>
#include <QUrl>

#include <fstream>
#include <iterator>

#include "app/csv_reader.h"
#include "gui/qt_test_app.h"
#include "gui/station_environment.h"
#include "gui/station_fixture.h"
#include "symbol_render.h"
#include "vantrel/control_ids.h"
#include "vantrel/dib_file.h"
#include "vantrel/history_dlg.h"
#include "vantrel/ui_kit.h"

namespace vantrel::test {
namespace {

[[maybe_unused]] const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new StationEnvironment);

constexpr int32_t kTryButton = 1011;  // a settings page's "実行"

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A QR code of the given bytes (byte mode) centred in a picture of that size.
DibPtr QrOf(const std::string& bytes, int32_t width, int32_t height, double module) {
  ModuleMatrix m;
  EXPECT_TRUE(ZintModules({"-b", "QRCODE", "--binary"}, bytes, &m));
  RenderOptions o;
  o.moduleSize = module;
  o.quietZone = 4;
  return RenderSymbol(m, o, width, height, 3);
}

class HistoryTest : public ::testing::Test {
 protected:
  void SetUpStation(const std::string& replay, const std::function<void(SettingsRecord&)>& settings = {}) {
    if (settings) station.core().EditSettings(settings);
    ASSERT_EQ(station.Build(replay), 0);
    window = &station.OpenWindow();
  }
  // An idle station on a plain white picture.
  void SetUpIdleStation(const std::function<void(SettingsRecord&)>& settings = {}) {
    const std::string white = folder.File("white.bmp");
    DibPtr picture(DibCreate(640, 480, 3, 4));
    FillGrey(picture.get(), 255);
    ASSERT_EQ(DibWriteBmp(white.c_str(), picture.get()), 1);
    SetUpStation(white, settings);
  }
  template <typename T>
  T* Control(int32_t id) {
    T* w = ui::FindControl<T>(window, id);
    EXPECT_NE(w, nullptr) << "control " << id;
    return w;
  }
  const ReadingHistory& History() { return window->history().history(); }
  CHistoryDlg& OpenHistory() {
    station.Click(ids::kHistoryButton);
    EXPECT_NE(window->historyWindow(), nullptr);
    return *window->historyWindow();
  }
  // The result box is emptied and refilled `times` times by continuous reading.
  void WaitForResults(int times) {
    for (int i = 0; i < times; ++i) {
      Control<QPlainTextEdit>(ids::kResultBox)->clear();
      ASSERT_TRUE(station.WaitForResult()) << i;
    }
  }
  // "開く" with the file dialog answered by the path.
  void Open(const std::string& path) {
    ui::ScopedFileAnswers files;
    files.Queue(path);
    station.Click(ids::kOpen);
  }
  // The file dropped on the preview.
  void Drop(const std::string& path) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    QWidget* preview = Control<QWidget>(ids::kPreviewFrame);
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(preview, &enter);
    EXPECT_TRUE(enter.isAccepted()) << path;
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(preview, &drop);
    // The picture opens once the drop has ended.
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  }
  // A settings page's "実行" on the picture shown (page 0 barcode, 1 QR, 2 Data Matrix).
  void TrialRead(int32_t page) {
    station.Click(ids::kSettingsToggle);
    Control<QComboBox>(ids::kPageChoice)->setCurrentIndex(page);
    auto* run = ui::FindControl<QAbstractButton>(window->page(page), kTryButton);
    ASSERT_NE(run, nullptr);
    run->click();
    station.Click(ids::kSettingsToggle);
  }
  QRgb PreviewCentre() { return station.PaintPreview().pixel(window->previewRect().topLeft() + QPoint(320, 240)); }

  ScratchFolder folder;
  StationUnderTest station;
  CVantrelDlg* window = nullptr;
};

// ---------------------------------------------------------------- the history

TEST_F(HistoryTest, AReadGoesIntoTheHistoryWithItsFields) {
  SetUpStation(DemoFrame("demo-3-qrcode.png"), [](SettingsRecord& s) { s.OneDecode = 1; });
  station.Click(ids::kKindQRCode);
  const int64_t before = EpochMilliseconds(std::chrono::system_clock::now());
  station.Click(ids::kReadStart);
  ASSERT_TRUE(station.WaitForResult());
  const int64_t after = EpochMilliseconds(std::chrono::system_clock::now());
  ASSERT_EQ(History().size(), 1u);
  const HistoryEntry& e = History().Newest(0);
  EXPECT_EQ(e.kind, CodeKind::kQrCode);
  EXPECT_EQ(KindText(e), "QR 2-Q");
  EXPECT_EQ(e.text, "ようこそ Vantrel へ");
  // The bytes as the symbol holds them (Shift JIS), the text converted.
  EXPECT_EQ(HexBytes(e.bytes), "82 E6 82 A4 82 B1 82 BB 20 56 61 6E 74 72 65 6C 20 82 D6");
  EXPECT_GT(e.milliseconds, 0.0);
  EXPECT_GE(e.timeMs, before);
  EXPECT_LE(e.timeMs, after);
  EXPECT_EQ(SourceText(e), "カメラ");
  EXPECT_EQ(e.origin, ReadingOrigin::kCycle);

  // The history window shows it, newest first, with the column headers.
  CHistoryDlg& dlg = OpenHistory();
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_FALSE(dlg.isModal());
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("履歴"));
  QAbstractItemModel* model = dlg.table()->model();
  ASSERT_EQ(model->rowCount(), 1);
  ASSERT_EQ(model->columnCount(), kHistoryColumns);
  EXPECT_EQ(model->headerData(kHistoryText, Qt::Horizontal).toString(), QStringLiteral("データ"));
  EXPECT_EQ(model->index(0, kHistoryKind).data().toString(), QStringLiteral("QR 2-Q"));
  EXPECT_EQ(model->index(0, kHistoryText).data().toString(), QStringLiteral("ようこそ Vantrel へ"));
  EXPECT_EQ(model->index(0, kHistorySource).data().toString(), QStringLiteral("カメラ"));
  EXPECT_EQ(model->index(0, kHistoryOrigin).data().toString(), QStringLiteral("読取"));
  EXPECT_EQ(model->index(0, kHistoryTime).data().toString().toStdString(), LocalTimeText(e.timeMs));
  EXPECT_EQ(ui::FindControl<QLabel>(&dlg, ids::kHistoryCount)->text(), QStringLiteral("1 件"));
  // The window stays usable: the main window still reads while it is open.
  station.Click(ids::kReadStart);
  ASSERT_TRUE(station.WaitForResult());
  EXPECT_TRUE(ProcessEventsUntil([&] { return model->rowCount() == 2; }));
  EXPECT_EQ(ui::FindControl<QLabel>(&dlg, ids::kHistoryCount)->text(), QStringLiteral("2 件"));
}

TEST_F(HistoryTest, RepeatSuppressionOnAndOff) {
  struct Case {
    double repeatSeconds;
    bool suppressed;
  } cases[] = {{60.0, true}, {0.0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.repeatSeconds);
    StationUnderTest fresh;
    fresh.core().EditSettings([&](SettingsRecord& s) {
      s.OneDecode = 0;
      s.RepeatSeconds = c.repeatSeconds;
    });
    ASSERT_EQ(fresh.Build(DemoFrame("demo-1-jan13.png")), 0);
    CVantrelDlg& w = fresh.OpenWindow();
    fresh.Click(ids::kReadStart);
    // Several results shown, one after the other.
    for (int i = 0; i < 4; ++i) {
      ui::FindControl<QPlainTextEdit>(&w, ids::kResultBox)->clear();
      ASSERT_TRUE(fresh.WaitForResult());
      EXPECT_EQ(fresh.ResultText(), "種類：JAN-13\n\n4901234567894");
    }
    const size_t entries = w.history().history().size();
    if (c.suppressed) {
      EXPECT_EQ(entries, 1u);
    } else {
      EXPECT_GE(entries, 4u);
    }
    // A new start records the code again.
    fresh.Click(ids::kReadStart);
    const size_t stopped = w.history().history().size();
    fresh.Click(ids::kReadStart);
    ui::FindControl<QPlainTextEdit>(&w, ids::kResultBox)->clear();
    ASSERT_TRUE(fresh.WaitForResult());
    EXPECT_GT(w.history().history().size(), stopped);
    fresh.Click(ids::kReadStart);
  }

  // With "読取後に停止する" every start's one result is recorded, repeats or not.
  SetUpStation(DemoFrame("demo-1-jan13.png"), [](SettingsRecord& s) {
    s.OneDecode = 1;
    s.RepeatSeconds = 60.0;
  });
  for (int i = 0; i < 3; ++i) {
    Control<QPlainTextEdit>(ids::kResultBox)->clear();
    station.Click(ids::kReadStart);
    ASSERT_TRUE(station.WaitForResult());
    ASSERT_TRUE(ProcessEventsUntil([&] { return !station.core().cycle().running(); }));
  }
  EXPECT_EQ(History().size(), 3u);
}

TEST_F(HistoryTest, CopyPutsTheTabSeparatedRowsOnTheClipboard) {
  SetUpStation(DemoFrame("demo-1-jan13.png"), [](SettingsRecord& s) { s.OneDecode = 1; });
  for (int i = 0; i < 3; ++i) {
    Control<QPlainTextEdit>(ids::kResultBox)->clear();
    station.Click(ids::kReadStart);
    ASSERT_TRUE(station.WaitForResult());
  }
  ASSERT_EQ(History().size(), 3u);
  CHistoryDlg& dlg = OpenHistory();
  QClipboard* clipboard = QApplication::clipboard();

  // Nothing selected: every row, newest first.
  clipboard->clear();
  ui::FindControl<QAbstractButton>(&dlg, ids::kHistoryCopy)->click();
  const std::string all = clipboard->text().toStdString();
  EXPECT_EQ(all, TabSeparatedText(History(), {0, 1, 2}));
  const std::vector<std::vector<std::string>> rows = ParseCsv(all, '\t');
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][kHistoryKind], "JAN-13");
  EXPECT_EQ(rows[0][kHistoryText], "4901234567894");
  EXPECT_EQ(rows[0][kHistoryTime], LocalTimeText(History().Newest(0).timeMs));
  EXPECT_EQ(rows[2][kHistoryTime], LocalTimeText(History().Newest(2).timeMs));

  // The selected rows, in the table's order whatever the order of selecting.
  QTableView* table = dlg.table();
  table->selectionModel()->select(table->model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  table->selectionModel()->select(table->model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  ui::FindControl<QAbstractButton>(&dlg, ids::kHistoryCopy)->click();
  EXPECT_EQ(clipboard->text().toStdString(), TabSeparatedText(History(), {0, 2}));
  // Ctrl+C in the table does the same.
  clipboard->clear();
  QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
  QApplication::sendEvent(table, &copy);
  EXPECT_EQ(clipboard->text().toStdString(), TabSeparatedText(History(), {0, 2}));

  // "クリア" asks first; No keeps the rows.
  {
    ui::ScopedMessageAnswers answers(ui::MessageResult::kNo);
    ui::FindControl<QAbstractButton>(&dlg, ids::kHistoryClear)->click();
    EXPECT_EQ(answers.texts(), std::vector<std::string>{"履歴をすべて消去しますか?"});
    EXPECT_EQ(table->model()->rowCount(), 3);
  }
  {
    ui::ScopedMessageAnswers answers(ui::MessageResult::kYes);
    ui::FindControl<QAbstractButton>(&dlg, ids::kHistoryClear)->click();
    EXPECT_EQ(table->model()->rowCount(), 0);
    EXPECT_TRUE(History().empty());
    EXPECT_EQ(ui::FindControl<QLabel>(&dlg, ids::kHistoryCount)->text(), QStringLiteral("0 件"));
  }
}

TEST_F(HistoryTest, AnOpenedPhotoTrialReadAndCsvExportRoundTripsKanjiQuotesCommasAndBreaks) {
  SetUpIdleStation();
  // A phone-sized picture, twice the preview: it is shrunk to fit and still reads.
  const std::string data = "漢字 \"引用\", カンマ\r\n改行";
  DibPtr photo = QrOf(data, 1280, 960, 8.0);
  const std::string file = folder.File("ラベル.png");
  ASSERT_EQ(DibSaveFile(file.c_str(), photo.get()), 1);
  {
    ui::ScopedMessageAnswers answers;
    Open(file);
    EXPECT_TRUE(answers.requests().empty());
  }
  EXPECT_EQ(window->shownSource(), "ラベル.png");
  {
    ui::ScopedMessageAnswers answers;
    TrialRead(1);
    EXPECT_TRUE(answers.requests().empty()) << (answers.texts().empty() ? "" : answers.texts()[0]);
  }
  ASSERT_EQ(History().size(), 1u);
  const HistoryEntry& e = History().Newest(0);
  EXPECT_EQ(e.text, data);
  EXPECT_EQ(e.origin, ReadingOrigin::kTrial);
  EXPECT_EQ(SourceText(e), "ラベル.png");

  CHistoryDlg& dlg = OpenHistory();
  EXPECT_EQ(dlg.table()->model()->index(0, kHistoryOrigin).data().toString(), QStringLiteral("実行"));
  EXPECT_EQ(dlg.table()->model()->index(0, kHistoryText).data().toString().toStdString(),
            "漢字 \"引用\", カンマ↵改行");
  const std::string csvPath = folder.File("history");
  {
    ui::ScopedFileAnswers files;
    files.Queue(csvPath);
    ui::ScopedMessageAnswers answers;
    ui::FindControl<QAbstractButton>(&dlg, ids::kHistoryCsv)->click();
    EXPECT_TRUE(answers.requests().empty());
    ASSERT_EQ(files.requests().size(), 1u);
    EXPECT_TRUE(files.requests()[0].save);
    EXPECT_EQ(files.requests()[0].defaultSuffix, "csv");
  }
  const std::string csv = ReadFile(csvPath + ".csv");
  ASSERT_EQ(csv.rfind("\xEF\xBB\xBF", 0), 0u) << "a byte order mark for spreadsheet programs";
  const auto rows = ParseCsv(csv.substr(3));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1][kHistoryText], data);
  EXPECT_EQ(rows[1][kHistoryBytes], HexBytes(data));
  EXPECT_EQ(rows[1][kHistoryTime], IsoTimeText(e.timeMs));
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d$"))
                  .match(QString::fromStdString(rows[1][kHistoryTime]))
                  .hasMatch())
      << rows[1][kHistoryTime];
  EXPECT_EQ(rows[1][kHistorySource], "ラベル.png");
  EXPECT_EQ(rows[1][kHistoryOrigin], "実行");
  EXPECT_EQ(dlg.lastFolder(), folder.path());

  // A file that cannot be written is told, and an earlier file of that name stays.
  {
    ui::ScopedFileAnswers files;
    files.Queue(folder.File("none/history.csv"));
    ui::ScopedMessageAnswers answers;
    ui::FindControl<QAbstractButton>(&dlg, ids::kHistoryCsv)->click();
    ASSERT_EQ(answers.texts().size(), 1u);
    EXPECT_EQ(answers.texts()[0].rfind("CSV ファイルを書き込めませんでした。", 0), 0u);
    EXPECT_EQ(answers.requests()[0].icon, ui::MessageIcon::kStop);
  }
}

// ---------------------------------------------------------------- any picture

TEST_F(HistoryTest, OpenAndDropTakeEveryPictureFormat) {
  SetUpIdleStation();
  const char* const extensions[] = {"bmp", "png", "jpg", "tiff", "gif"};
  uint8_t level = 20;
  for (const char* ext : extensions) {
    for (bool drop : {false, true}) {
      SCOPED_TRACE(std::string(ext) + (drop ? " dropped" : " opened"));
      level = static_cast<uint8_t>(level + 30);
      DibPtr picture(DibCreate(640, 480, 3, 4));
      FillGrey(picture.get(), level);
      const std::string name = std::string(drop ? "dropped." : "opened.") + ext;
      ASSERT_EQ(DibSaveFile(folder.File(name).c_str(), picture.get()), 1);
      ui::ScopedMessageAnswers answers;
      if (drop) {
        Drop(folder.File(name));
      } else {
        Open(folder.File(name));
      }
      EXPECT_TRUE(answers.requests().empty());
      EXPECT_EQ(window->shownSource(), name);
      const QRgb centre = PreviewCentre();
      EXPECT_NEAR(qRed(centre), level, 2);  // JPEG within its rounding
      EXPECT_NEAR(qBlue(centre), level, 2);
    }
  }
  // A drag without a file is not taken.
  QMimeData text;
  text.setText(QStringLiteral("4901234567894"));
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Control<QWidget>(ids::kPreviewFrame), &enter);
  EXPECT_FALSE(enter.isAccepted());
}

TEST_F(HistoryTest, APictureThatCannotBeReadIsToldByCauseAndThePreviewStays) {
  SetUpIdleStation();
  DibPtr shown(DibCreate(640, 480, 3, 4));
  FillGrey(shown.get(), 123);
  station.ShowPicture(shown.get());
  DibPtr grey(DibCreate(64, 48, 3, 4));
  FillGrey(grey.get(), 90);
  ASSERT_EQ(DibSaveFile(folder.File("good.png").c_str(), grey.get()), 1);
  const std::string png = ReadFile(folder.File("good.png"));
  std::ofstream(folder.File("damaged.png"), std::ios::binary) << png.substr(0, png.size() - 30);
  std::ofstream(folder.File("notes.png"), std::ios::binary) << "shopping list";
  DibPtr huge(DibCreate(4000, 3000, 1, 4));
  FillGrey(huge.get(), 0);
  ASSERT_EQ(DibSaveFile(folder.File("huge.png").c_str(), huge.get()), 1);
  huge.reset();
  struct PixelLimit {
    PixelLimit() { setenv("VANTREL_MAX_PIXELS", "1000000", 1); }
    ~PixelLimit() { unsetenv("VANTREL_MAX_PIXELS"); }
  } limit;
  const struct {
    const char* name;
    const char* message;
  } cases[] = {
      {"damaged.png", "File open error (3)"},
      {"notes.png", "File open error (2)"},
      {"huge.png", "File open error (5)"},
      {"missing.png", "File open error (1)"},
  };
  for (const auto& c : cases) {
    for (bool drop : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (drop ? " dropped" : " opened"));
      ui::ScopedMessageAnswers answers;
      if (drop) {
        if (std::string(c.name) == "missing.png") continue;
        Drop(folder.File(c.name));
      } else {
        Open(folder.File(c.name));
      }
      ASSERT_EQ(answers.texts(), std::vector<std::string>{c.message});
      EXPECT_EQ(answers.requests()[0].icon, ui::MessageIcon::kStop);
      EXPECT_EQ(answers.requests()[0].caption, "Vantrel");
      EXPECT_EQ(PreviewCentre(), qRgb(123, 123, 123));  // the picture shown, as it was
      EXPECT_EQ(window->shownSource(), "");
    }
  }
}

// ---------------------------------------------------------------- sound and status line

TEST_F(HistoryTest, TheReadSoundPlaysForEachNewEntryWhenSwitchedOn) {
  SetUpStation(DemoFrame("demo-1-jan13.png"), [](SettingsRecord& s) {
    s.OneDecode = 0;
    s.RepeatSeconds = 60.0;
  });
  auto* beep = Control<QCheckBox>(ids::kBeep);
  EXPECT_EQ(beep->text(), QStringLiteral("読取音"));
  EXPECT_FALSE(beep->isChecked());  // off by default
  // Beside "読取後に停止する", below the preview.
  EXPECT_EQ(beep->x(), Control<QWidget>(ids::kStopAfterRead)->x());
  EXPECT_GT(beep->y(), Control<QWidget>(ids::kStopAfterRead)->y());

  station.Click(ids::kReadStart);
  WaitForResults(2);
  EXPECT_EQ(window->soundsPlayed(), 0);
  station.Click(ids::kReadStart);

  beep->click();
  EXPECT_EQ(station.core().Settings().Beep, 1);
  station.Click(ids::kReadStart);
  WaitForResults(4);  // one code in view: one entry, one sound
  station.Click(ids::kReadStart);
  EXPECT_EQ(History().size(), 2u);
  EXPECT_EQ(window->soundsPlayed(), 1);
  // Without a sound device nothing is heard and nothing is said.
  QCoreApplication::processEvents();

  beep->click();
  EXPECT_EQ(station.core().Settings().Beep, 0);
  station.Click(ids::kReadStart);
  WaitForResults(1);
  station.Click(ids::kReadStart);
  EXPECT_EQ(History().size(), 3u);
  EXPECT_EQ(window->soundsPlayed(), 1);
}

TEST_F(HistoryTest, TheStatusLineShowsWhileReadingAndGoesAtStop) {
  SetUpStation(DemoFrame("demo-1-jan13.png"), [](SettingsRecord& s) { s.OneDecode = 0; });
  auto* line = Control<QLabel>(ids::kReadingFigures);
  EXPECT_FALSE(line->isVisible());
  // Under the preview, above the buttons.
  EXPECT_GT(line->y(), Control<QWidget>(ids::kPreviewFrame)->geometry().bottom());
  EXPECT_LT(line->geometry().bottom(), Control<QWidget>(ids::kReadStart)->y());

  station.Click(ids::kReadStart);
  EXPECT_TRUE(line->isVisible());
  const QRegularExpression figures(QStringLiteral("^(\\d+\\.\\d) fps ・ 読取 \\d+\\.\\d\\d? ms$"));
  ASSERT_TRUE(ProcessEventsUntil([&] {
    const QRegularExpressionMatch m = figures.match(line->text());
    return m.hasMatch() && m.captured(1).toDouble() > 0.0;
  })) << line->text().toStdString();
  station.Click(ids::kReadStart);
  EXPECT_FALSE(line->isVisible());

  // A result that stops the reading takes the line away too.
  station.core().EditSettings([](SettingsRecord& s) { s.OneDecode = 1; });
  Control<QCheckBox>(ids::kStopAfterRead)->setChecked(true);
  station.Click(ids::kReadStart);
  EXPECT_TRUE(line->isVisible());
  ASSERT_TRUE(station.WaitForResult());
  ASSERT_TRUE(ProcessEventsUntil([&] { return !station.core().cycle().running(); }));
  EXPECT_FALSE(line->isVisible());
}

TEST_F(HistoryTest, TheTableKeepsItsNewestRowsAtTheCap) {
  HistoryModel model(3);
  CHistoryDlg dlg(model, nullptr);
  dlg.show();
  for (int i = 0; i < 5; ++i) {
    HistoryEntry e;
    e.kind = CodeKind::kBarcode;
    e.symbology = "ITF";
    e.text = e.bytes = std::to_string(i);
    model.Append(e);
    QCoreApplication::processEvents();
  }
  QAbstractItemModel* m = dlg.table()->model();
  ASSERT_EQ(m->rowCount(), 3);
  EXPECT_EQ(m->index(0, kHistoryText).data().toString(), QStringLiteral("4"));
  EXPECT_EQ(m->index(2, kHistoryText).data().toString(), QStringLiteral("2"));
  EXPECT_EQ(ui::FindControl<QLabel>(&dlg, ids::kHistoryCount)->text(), QStringLiteral("3 件"));
  // Long data shows on one line, cut short; the bytes likewise.
  HistoryEntry big;
  big.kind = CodeKind::kDataMatrix;
  big.symbology = "DataMatrix";
  big.bytes = std::string(1000, 'x');
  big.text = big.bytes;
  model.Append(big);
  const QString cell = m->index(0, kHistoryText).data().toString();
  EXPECT_EQ(cell.size(), 201);
  EXPECT_TRUE(cell.endsWith(QStringLiteral("…")));
  EXPECT_TRUE(m->index(0, kHistoryBytes).data().toString().endsWith(QStringLiteral(" …")));
}

}  // namespace
}  // namespace vantrel::test

// Pictures of the station for looking at it: runs the station's start-up on
// the demo pictures and saves the window while reading, with the settings
// pane up, and with the history open after reading every demo picture (that
// one is taken from the screen, so run it under a display, e.g. Xvfb:
// xvfb-run -s "-screen 0 1600x1100x24" vantrel-gui-shots docs).
//
//   vantrel-gui-shots <output folder>
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <string>

#include "gui/qt_test_app.h"
#include "gui/station_fixture.h"
#include "vantrel/control_ids.h"
#include "vantrel/history_dlg.h"
#include "vantrel/ui_kit.h"
#include "vantrel/vantrel_app.h"

using namespace vantrel;

namespace {

bool Save(QWidget& w, const std::string& path) {
  QCoreApplication::processEvents();
  const bool ok = w.grab().save(QString::fromStdString(path));
  std::printf("%s %s\n", ok ? "wrote" : "could not write", path.c_str());
  return ok;
}

// Reads one code of the kind chosen (stop after reading is on) and saves the window.
bool ReadAndSave(CVantrelDlg& w, int32_t kindId, const std::string& path) {
  ui::FindControl<QAbstractButton>(&w, kindId)->click();
  auto* box = ui::FindControl<QPlainTextEdit>(&w, ids::kResultBox);
  box->clear();
  ui::FindControl<QAbstractButton>(&w, ids::kReadStart)->click();
  if (!test::ProcessEventsUntil([&] { return !box->toPlainText().isEmpty(); }, 20000)) return false;
  return Save(w, path);
}

// Opens a demo picture and reads it with a settings page's "実行", so that the
// history shows a trial read of a file too.
bool OpenAndTry(CVantrelDlg& w, const std::string& picture, int32_t page) {
  if (!w.OpenPicture(picture)) return false;
  ui::FindControl<QAbstractButton>(&w, ids::kSettingsToggle)->click();
  ui::FindControl<QComboBox>(&w, ids::kPageChoice)->setCurrentIndex(page);
  auto* run = ui::FindControl<QAbstractButton>(w.page(page), 1011);  // "実行"
  if (run == nullptr) return false;
  run->click();
  ui::FindControl<QAbstractButton>(&w, ids::kSettingsToggle)->click();
  return true;
}

// The main window reading continuously (the status line under the preview)
// with the history window open just below it, as the screen shows them.
bool SaveWithHistory(CVantrelDlg& w, const std::string& path) {
  w.move(0, 0);
  ui::FindControl<QAbstractButton>(&w, ids::kStopAfterRead)->click();
  ui::FindControl<QAbstractButton>(&w, ids::kReadStart)->click();
  test::ProcessEventsUntil([] { return false; }, 1500);
  ui::FindControl<QAbstractButton>(&w, ids::kHistoryButton)->click();
  CHistoryDlg* history = w.historyWindow();
  if (history == nullptr) return false;
  history->resize(w.frameGeometry().width(), 280);
  history->move(w.frameGeometry().left(), w.frameGeometry().bottom() + 1);
  QCoreApplication::processEvents();
  test::ProcessEventsUntil([] { return false; }, 500);  // let the window system draw both
  const QRect both = w.frameGeometry().united(history->frameGeometry());
  QScreen* screen = QGuiApplication::primaryScreen();
  const bool ok = screen && screen->grabWindow(0, both.x(), both.y(), both.width(), both.height())
                                .save(QString::fromStdString(path));
  std::printf("%s %s\n", ok ? "wrote" : "could not write", path.c_str());
  ui::FindControl<QAbstractButton>(&w, ids::kReadStart)->click();
  history->hide();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: vantrel-gui-shots <output folder>\n");
    return 2;
  }
  const std::string out = argv[1];
  test::ScratchFolder scratch;
  StationOptions options;
  options.cameraReplay = std::string(VANTREL_SOURCE_DIR) + "/app/demo";
  options.settingsPath = scratch.File("Vantrel.ini");
  options.lockPath = scratch.File("vantrel.lock");
  bool ok = true;
  options.windowShown = [&](CVantrelDlg& w) {
    ok = Save(w, out + "/station-idle.png") && ok;
    ok = ReadAndSave(w, ids::kKindBarcode, out + "/station-reading-barcode.png") && ok;
    ok = ReadAndSave(w, ids::kKindQRCode, out + "/station-reading-qrcode.png") && ok;
    ok = ReadAndSave(w, ids::kKindDataMatrix, out + "/station-reading-datamatrix.png") && ok;
    ui::FindControl<QAbstractButton>(&w, ids::kSettingsToggle)->click();
    ok = Save(w, out + "/station-settings-datamatrix.png") && ok;
    ui::FindControl<QComboBox>(&w, ids::kPageChoice)->setCurrentIndex(0);
    ok = Save(w, out + "/station-settings-barcode.png") && ok;
    ui::FindControl<QAbstractButton>(&w, ids::kSettingsToggle)->click();
    ok = OpenAndTry(w, std::string(VANTREL_SOURCE_DIR) + "/app/demo/demo-3-qrcode.png", 1) && ok;
    ok = ReadAndSave(w, ids::kKindBarcode, out + "/station-reading-barcode.png") && ok;
    ok = SaveWithHistory(w, out + "/station-history.png") && ok;
    w.reject();
  };
  CVantrelApp station(options);
  const int status = station.Run();
  return status == 0 && ok ? 0 : 1;
}

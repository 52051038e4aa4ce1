// Pictures of the station for looking at it: runs the station's start-up on
// the demo pictures and saves the window while reading and with the settings
// pane up.
//
//   vantrel-gui-shots <output folder>
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTimer>

#include <cstdio>
#include <string>

#include "gui/qt_test_app.h"
#include "gui/station_fixture.h"
#include "vantrel/control_ids.h"
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
    w.reject();
  };
  CVantrelApp station(options);
  const int status = station.Run();
  return status == 0 && ok ? 0 : 1;
}

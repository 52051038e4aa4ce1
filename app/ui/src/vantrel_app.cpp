#include "vantrel/vantrel_app.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

#include "vantrel/guide_lines.h"
#include "vantrel/settings.h"
#include "vantrel/station_core.h"
#include "vantrel/ui_kit.h"
#include "vantrel/vantrel_dlg.h"

namespace vantrel {

namespace {
const char* const kCaption = "Vantrel";

std::string Formatted(const char* format, int32_t status) {
  char text[100];
  std::snprintf(text, sizeof text, format, status);
  return text;
}
}  // namespace

CVantrelApp::CVantrelApp(StationOptions options)
    : options_(std::move(options)),
      settingsPath_(options_.settingsPath.empty() ? DefaultSettingsPath() : options_.settingsPath) {}

CVantrelApp::~CVantrelApp() = default;

void CVantrelApp::Fail(const std::string& text) {
  failed_ = true;
  ui::ShowMessage(nullptr, text, kCaption, ui::MessageIcon::kStop);
}

int CVantrelApp::Run() {
  InitInstance();
  ExitInstance();
  return failed_ ? kStartFailed : kNormalEnd;
}

void CVantrelApp::RequestClose() {
  closeRequested_ = true;
  // Boxes and dialogs open over the window (or the device choice before it)
  // are closed as with Escape, innermost first, so that nothing waits for a
  // person who has gone; then the window closes as with "終了".
  for (int guard = 0; guard < 16; ++guard) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == window_) break;
    modal->close();
    if (QApplication::activeModalWidget() == modal) break;  // it refused
  }
  if (window_) window_->reject();
}

bool CVantrelApp::InitInstance() {
  // One station at a time, before anything else is touched.
  const std::string lockPath = options_.lockPath.empty() ? DefaultInstanceLockPath() : options_.lockPath;
  const InstanceLock::Result lock = instanceMutex.Acquire(lockPath);
  if (lock == InstanceLock::kHeldElsewhere) {
    Fail("Vantrel already started.");
    return false;
  }
  if (lock == InstanceLock::kUnavailable) {
    // Without a place for the lock the station still runs, unguarded.
    std::fprintf(stderr, "vantrel: no single-instance lock: %s\n", instanceMutex.error().c_str());
  }

  station_ = std::make_unique<StationCore>();
  if (!options_.cameraReplay.empty()) SetCameraReplay(options_.cameraReplay);
  if (!options_.cameraFaults.empty()) SetCameraFaults(options_.cameraFaults);

  // The settings (the guide lines follow the loaded range and scan keys).
  {
    SettingsRecord loaded;
    LoadSettings(settingsPath_, &loaded, [](const SettingsRecord& s) { RebuildGuideLines(s); });
    station_->SetSettings(loaded);
  }

  // The camera: the operator chooses when there is more than one.
  CImgAcqCtrl& capture = station_->capture();
  const int32_t found = options_.enumerateDevices ? options_.enumerateDevices(capture) : capture.EnumerateDevices();
  if (found >= 2 && DeviceList.size() >= 2) {
    std::vector<DeviceChoice> choices;
    for (const DeviceEntry& e : DeviceList) choices.push_back({e.index, e.name});
    int32_t deviceNo = station_->Settings().DeviceNo;
    bool chosen = false;
    if (options_.chooseDevice) {
      chosen = options_.chooseDevice(choices, &deviceNo);
    } else {
      CDeviceSelectDlg dialog(choices, deviceNo);
      chosen = dialog.exec() == QDialog::Accepted;
      deviceNo = dialog.DeviceNo();
    }
    if (!chosen || closeRequested_) return false;
    station_->EditSettings([deviceNo](SettingsRecord& s) { s.DeviceNo = deviceNo; });
  } else {
    station_->EditSettings([](SettingsRecord& s) { s.DeviceNo = 1; });
  }

  // The decoder libraries; the one that fails names itself in the message.
  DecoderLibraries::Libraries failed = 0;
  if (const int32_t status = libraries.Start(DecoderLibraries::kAll, &failed); status != 0) {
    const char* format = failed == DecoderLibraries::kQr           ? "OvoQrc Initialize error.(%d)"
                         : failed == DecoderLibraries::kDataMatrix ? "OvoDmx Initialize error.(%d)"
                                                                   : "OvoUtil Initialize error.(%d)";
    Fail(Formatted(format, status));
    return false;
  }

  // The capture pipeline; the ring follows the size it connected at.
  const SettingsRecord s = station_->Settings();
  capture.DeviceNo = s.DeviceNo;
  capture.Xsize = s.Xsize;
  capture.Ysize = s.Ysize;
  if (const int32_t status = capture.BuildGraph(); status != 0) {
    Fail(Formatted("Device Initialize error.(%d)", status));
    capture.TeardownGraph();
    if (!capture.LastError().empty()) std::fprintf(stderr, "vantrel: %s\n", capture.LastError().c_str());
    return false;
  }
  deviceReady = true;
  station_->EditSettings([&capture](SettingsRecord& r) {
    r.Xsize = capture.Xsize;
    r.Ysize = capture.Ysize;
  });
  RebuildGuideLines(station_->Settings());

  // The window, until it closes.
  if (closeRequested_) return false;
  CVantrelDlg window(*station_);
  window_ = &window;
  if (options_.windowShown) {
    QTimer::singleShot(0, &window, [this, &window] { options_.windowShown(window); });
  }
  window.exec();
  window_ = nullptr;
  return false;
}

void CVantrelApp::ExitInstance() {
  // The settings are written only after a complete start-up.
  if (deviceReady) {
    if (!SaveSettings(settingsPath_, station_->Settings())) {
      ui::ShowMessage(nullptr, "設定ファイルを書き込めませんでした。\n" + settingsPath_, kCaption,
                      ui::MessageIcon::kStop);
    }
  }
  if (station_) station_->Shutdown();
  deviceReady = false;
  // The libraries, in reverse order of their start.
  libraries.Stop();
  instanceMutex.Release();
  station_.reset();
}

}  // namespace vantrel

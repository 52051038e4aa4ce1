// CVantrelApp: brings the station up in its fixed order, runs the window and
// takes everything down again in reverse, undoing only the steps that
// succeeded.
#ifndef VANTREL_VANTREL_APP_H
#define VANTREL_VANTREL_APP_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device_select_dlg.h"
#include "vantrel/decoder_libraries.h"
#include "vantrel/instance_lock.h"

namespace vantrel {

class CImgAcqCtrl;
class CVantrelDlg;
class StationCore;

struct StationOptions {
  std::string settingsPath;  // empty: DefaultSettingsPath()
  std::string cameraReplay;  // empty: none (VANTREL_CAMERA_REPLAY still counts)
  std::string cameraFaults;  // empty: none (VANTREL_CAMERA_FAULTS still counts)
  std::string lockPath;      // empty: DefaultInstanceLockPath()

  // Seams for tests; each empty one does the real thing.
  // Lists the cameras into DeviceList; the number found.
  std::function<int32_t(CImgAcqCtrl&)> enumerateDevices;
  // The device choice with two or more cameras: true after OK with *deviceNo set.
  std::function<bool(const std::vector<DeviceChoice>&, int32_t* deviceNo)> chooseDevice;
  // Called on the window thread once the window runs.
  std::function<void(CVantrelDlg&)> windowShown;
};

class CVantrelApp {
 public:
  enum ExitStatus : int { kNormalEnd = 0, kStartFailed = 1 };

  explicit CVantrelApp(StationOptions options);
  ~CVantrelApp();
  CVantrelApp(const CVantrelApp&) = delete;
  CVantrelApp& operator=(const CVantrelApp&) = delete;

  // Start-up, the window, shutdown: kNormalEnd after the window closed or a
  // cancelled device choice, kStartFailed after a start-up message.
  int Run();
  // Closes the window as "終了" does; before the window runs, it makes the
  // start-up end normally instead of showing it. Window thread only.
  void RequestClose();

  const std::string& settingsPath() const { return settingsPath_; }
  StationCore* station() { return station_.get(); }
  CVantrelDlg* window() { return window_; }

  // The decoder libraries, up from their step of the start-up to the shutdown.
  DecoderLibraries libraries;
  // The capture pipeline was built; the settings are written only then.
  bool deviceReady = false;
  const bool& qrReady = libraries.qrReady();
  const bool& dmxReady = libraries.dmxReady();
  const bool& utilReady = libraries.utilReady();
  InstanceLock instanceMutex;

 private:
  bool InitInstance();
  void ExitInstance();
  void Fail(const std::string& text);

  StationOptions options_;
  std::string settingsPath_;
  std::unique_ptr<StationCore> station_;
  CVantrelDlg* window_ = nullptr;
  bool closeRequested_ = false;
  bool failed_ = false;
};

}  // namespace vantrel

#endif

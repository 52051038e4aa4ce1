// What the station window works on: the settings record under its lock, the
// capture controller and the reading cycle, with the cycle's callbacks
// delivered to the window on the window thread.
#ifndef VANTREL_STATION_CORE_H
#define VANTREL_STATION_CORE_H

#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "vantrel/img_acq_ctrl.h"
#include "vantrel/reading_cycle.h"
#include "vantrel/settings.h"

namespace vantrel {

class CVantrelDlg;

class StationCore {
 public:
  // Must be made on the window thread (the thread of the Qt application).
  StationCore();
  ~StationCore();
  StationCore(const StationCore&) = delete;
  StationCore& operator=(const StationCore&) = delete;

  // The settings in force. Copies and edits take the lock that the capture
  // thread's per-frame copy takes too; `edit` must not call back in here.
  SettingsRecord Settings() const;
  void EditSettings(const std::function<void(SettingsRecord&)>& edit);
  void SetSettings(const SettingsRecord& settings);

  CImgAcqCtrl& capture() { return capture_; }
  ReadingCycle& cycle() { return *cycle_; }

  // The window the cycle's queued notifications go to; null for none.
  void SetWindow(CVantrelDlg* window);
  CVantrelDlg* window() const { return window_; }

  // Stops reading, detaches the cycle from the capture controller and takes
  // the capture pipeline down. Safe to call twice.
  void Shutdown();

 private:
  void PostToWindow(std::function<void(CVantrelDlg&)> call);

  mutable std::mutex settingsMutex_;
  SettingsRecord settings_;
  CImgAcqCtrl capture_;
  std::unique_ptr<ReadingCycle> cycle_;
  // Lives on the window thread; queued calls run there and die with it.
  std::unique_ptr<QObject> relay_;
  QPointer<CVantrelDlg> window_;
  std::atomic<bool> previewRepaintQueued_{false};
  bool shutDown_ = false;
};

}  // namespace vantrel

#endif

#include "vantrel/station_core.h"

#include <QMetaObject>

#include "vantrel/vantrel_dlg.h"

namespace vantrel {

StationCore::StationCore() : relay_(std::make_unique<QObject>()) {
  ShareHeapBetweenThreads();
  CycleCallbacks callbacks;
  callbacks.settings = [this] { return Settings(); };
  callbacks.postResultCommand = [this] {
    PostToWindow([](CVantrelDlg& w) { w.OnResultCommand(); });
  };
  callbacks.repaintPreview = [this] {
    // One queued repaint at a time: frames come faster than paints at times,
    // and a paint always shows the newest frame anyway.
    if (previewRepaintQueued_.exchange(true)) return;
    QObject* relay = relay_.get();
    QMetaObject::invokeMethod(
        relay,
        [this] {
          previewRepaintQueued_.store(false);
          if (window_) window_->InvalidatePreview(false);
        },
        Qt::QueuedConnection);
  };
  callbacks.repaintWindow = [this] { PostToWindow([](CVantrelDlg& w) { w.RepaintWhole(); }); };
  callbacks.postStreamFailure = [this] { PostToWindow([](CVantrelDlg& w) { w.OnStreamFailure(); }); };
  cycle_ = std::make_unique<ReadingCycle>(capture_.Ring(), std::move(callbacks));
  capture_.AttachSink(cycle_.get());
}

StationCore::~StationCore() { Shutdown(); }

void StationCore::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  cycle_->StopReading();
  capture_.TeardownGraph();
  capture_.AttachSink(nullptr);
}

SettingsRecord StationCore::Settings() const {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  return settings_;
}

void StationCore::EditSettings(const std::function<void(SettingsRecord&)>& edit) {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  edit(settings_);
}

void StationCore::SetSettings(const SettingsRecord& settings) {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  settings_ = settings;
}

void StationCore::SetWindow(CVantrelDlg* window) { window_ = window; }

void StationCore::PostToWindow(std::function<void(CVantrelDlg&)> call) {
  QMetaObject::invokeMethod(
      relay_.get(),
      [this, call = std::move(call)] {
        if (window_) call(*window_);
      },
      Qt::QueuedConnection);
}

}  // namespace vantrel

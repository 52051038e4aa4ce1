// What a settings page gets from the main window (or from a test's stand-in).
//
// The three pages live in the window's settings pane, inside the page frame
// 5009. The window constructs each with its host and the page frame:
//
//   CBarCodePage(vantrel::PageHost& host, QWidget* parent);   // "barcode_page.h", template 1000
//   CQRCodePage(vantrel::PageHost& host, QWidget* parent);    // "qrcode_page.h",  template 1001
//   CDmxCodePage(vantrel::PageHost& host, QWidget* parent);   // "dmxcode_page.h", template 1002
//
// (classes in namespace vantrel, each a QWidget). The constructor builds the
// controls, names itself with ui::SetTemplateId and every control with
// ui::SetControlId, and does its page's initialization from host.Settings();
// the window then moves the page to (3, 31) in the frame, keeping the page's
// own size (sizeHint, or the size the page sets itself), and shows or hides it.
// The host outlives the pages. Everything here runs on the window thread.
#ifndef VANTREL_SETTINGS_UI_PAGE_HOST_H
#define VANTREL_SETTINGS_UI_PAGE_HOST_H

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include <QWidget>

#include "vantrel/frame_ring.h"
#include "vantrel/guide_lines.h"
#include "vantrel/reading.h"
#include "vantrel/reading_cycle.h"
#include "vantrel/settings.h"
#include "vantrel/ui_kit.h"

namespace vantrel {

class PageHost {
 public:
  virtual ~PageHost() = default;

  // ---- the settings record
  // A copy of the settings in force.
  virtual SettingsRecord Settings() const = 0;
  // Runs `edit` on the settings in force under the window's settings lock (the
  // capture thread copies the settings under the same lock on every frame).
  // `edit` must only change the record: no dialogs, no calls back into the host.
  virtual void EditSettings(const std::function<void(SettingsRecord&)>& edit) = 0;

  // ---- the reading cycle
  // The ring: take the displayed slot with ring().ReadDisplayed() for a trial
  // read, and let the lease go before showing any message box.
  virtual FrameRing& Ring() = 0;
  virtual ReadingCycle& Cycle() = 0;
  // Where a trial read's outline goes (DrawReadingOutline).
  virtual OverlayOrigin CurrentOverlayOrigin() const = 0;
  // Held around every reading (and other calls into the QR and Data Matrix
  // libraries); never across a dialog.
  virtual std::mutex& DecoderLock() { return DecoderMutex(); }

  // ---- the preview
  // Rebuilds the barcode guide lines from the settings in force; the preview
  // is repainted (without erase).
  virtual void RebuildGuideLines() = 0;
  // Repaints the preview, with or without erasing its background first.
  virtual void InvalidatePreview(bool erase) = 0;

  // ---- UI services (message boxes, wait cursor, clock)
  // A modal message box over the window, e.g. "DECODE ERROR = %d" with
  // caption "Vantrel", no icon, OK. Tests answer it with ui::ScopedMessageAnswers.
  virtual ui::MessageResult Message(const std::string& text,
                                    ui::MessageIcon icon = ui::MessageIcon::kNone,
                                    ui::MessageButtons buttons = ui::MessageButtons::kOk) {
    return ui::ShowMessage(PageFrame(), text, "Vantrel", icon, buttons);
  }
  // The time for the trial's "処理時間"; tests drive it with ui::ScopedManualClock.
  virtual ui::Clock::time_point Now() { return ui::ClockNow(); }
  // The busy cursor while a trial runs: `ui::WaitCursor busy;` (RAII).
  using WaitCursor = ui::WaitCursor;

  // ---- the page frame 5009, the pages' parent
  virtual QWidget* PageFrame() = 0;

  // ---- a code a trial read found, once the page has shown it (the window
  // keeps it in its history); called with no lease and no lock held.
  virtual void TrialReadShown(const Reading& /*reading*/) {}
};

// A host without a window: its own settings, lock and page frame, over a ring
// and cycle the caller owns. For tests of the pages and for tools.
class BasicPageHost : public PageHost {
 public:
  BasicPageHost(FrameRing& ring, ReadingCycle& cycle, QWidget* pageFrame)
      : ring_(ring), cycle_(cycle), pageFrame_(pageFrame) {}

  SettingsRecord Settings() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return settings_;
  }
  void EditSettings(const std::function<void(SettingsRecord&)>& edit) override {
    std::lock_guard<std::mutex> lock(mutex_);
    edit(settings_);
  }
  void SetSettings(const SettingsRecord& settings) {
    std::lock_guard<std::mutex> lock(mutex_);
    settings_ = settings;
  }
  FrameRing& Ring() override { return ring_; }
  ReadingCycle& Cycle() override { return cycle_; }
  OverlayOrigin CurrentOverlayOrigin() const override { return cycle_.CurrentOverlayOrigin(); }
  void RebuildGuideLines() override {
    ++guideRebuilds;
    vantrel::RebuildGuideLines(Settings());
  }
  void InvalidatePreview(bool erase) override { ++(erase ? erasedRepaints : plainRepaints); }
  QWidget* PageFrame() override { return pageFrame_; }

  // What the pages asked of the preview, for checks.
  int32_t guideRebuilds = 0;
  int32_t plainRepaints = 0;
  int32_t erasedRepaints = 0;

 private:
  FrameRing& ring_;
  ReadingCycle& cycle_;
  QWidget* pageFrame_;
  mutable std::mutex mutex_;
  SettingsRecord settings_;
};

}  // namespace vantrel

#endif

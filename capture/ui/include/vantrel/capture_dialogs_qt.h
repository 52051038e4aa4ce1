// The two camera dialogs of the station, on Qt: the frame sizes a device
// offers, and its picture controls as live sliders.
#ifndef VANTREL_CAPTURE_DIALOGS_QT_H
#define VANTREL_CAPTURE_DIALOGS_QT_H

#include <QDialog>

#include <vector>

#include "vantrel/img_acq_ctrl.h"

class QListWidget;

namespace vantrel {

// "取込サイズ変更": one line per size ("640 × 480"), the current one selected.
class FrameSizeDialog : public QDialog {
 public:
  FrameSizeDialog(const std::vector<FrameSize>& sizes, int32_t current, QWidget* parent = nullptr);
  // The selected size; {0, 0} when none is selected.
  FrameSize Chosen() const;

 private:
  std::vector<FrameSize> sizes_;
  QListWidget* list_ = nullptr;
};

// "画質調整": a slider per number (a check box per switch, a list per menu),
// each change set on the device at once; "標準に戻す" sets every control back
// to the device's default.
class PictureControlsDialog : public QDialog {
 public:
  PictureControlsDialog(PictureControls* controls, const std::vector<PictureControl>& list,
                        QWidget* parent = nullptr);
};

// CaptureDialogs for the station: both dialogs modal over the owner window.
class QtCaptureDialogs : public CaptureDialogs {
 public:
  explicit QtCaptureDialogs(QWidget* owner) : owner_(owner) {}
  bool ChooseFrameSize(const std::vector<FrameSize>& sizes, int32_t current, FrameSize* chosen) override;
  void ShowPictureControls(PictureControls* controls, const std::vector<PictureControl>& list) override;

 private:
  QWidget* owner_;
};

}  // namespace vantrel

#endif

// CVantrelDlg: the station's window (template 102, caption "Vantrel").
//
// Left: the camera preview with the processing range, the scan-line guides and
// the outline of the last code read; below it reading, file and camera
// buttons. Right: the result pane (code kind, processing range, result box) or
// the settings pane (combo 1036 and the page frame 5009 with the three pages),
// switched by "設定". Every control is named by its number (control_ids.h).
#ifndef VANTREL_VANTREL_DLG_H
#define VANTREL_VANTREL_DLG_H

#include <QDialog>
#include <QFrame>
#include <QRect>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "page_host.h"
#include "vantrel/img_acq_ctrl.h"
#include "vantrel/reading_history.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QToolButton;

namespace vantrel {

class StationCore;
class CVantrelDlg;
class CHistoryDlg;
class HistoryModel;
class ReadSound;

// The up-down control beside a range box: its arrows (and the Up and Down
// keys in the box) step the box's number within the control's range. The box
// stays a line edit so that any text can be typed and the range handler's
// clamping rule decides what counts.
class UpDownControl : public QWidget {
  Q_OBJECT

 public:
  UpDownControl(QLineEdit* buddy, QWidget* parent);
  void SetRange(int32_t minimum, int32_t maximum);
  int32_t minimum() const { return minimum_; }
  int32_t maximum() const { return maximum_; }
  // One step up (+1) or down (-1) from the buddy's value brought into range.
  void Step(int32_t delta);
  QToolButton* upButton() const { return up_; }
  QToolButton* downButton() const { return down_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QLineEdit* buddy_;
  QToolButton* up_;
  QToolButton* down_;
  int32_t minimum_ = 0;
  int32_t maximum_ = 100;
};

// The black frame 1006; paints the preview through the dialog's drawing. A
// picture file dropped on it opens as with "開く".
class PreviewFrame : public QFrame {
 public:
  PreviewFrame(CVantrelDlg* dialog, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  CVantrelDlg* dialog_;
};

class CVantrelDlg : public QDialog, public PageHost {
  Q_OBJECT

 public:
  CVantrelDlg(StationCore& station, QWidget* parent = nullptr);
  ~CVantrelDlg() override;

  // ---- what the handlers do; each is the handler of its control
  void OnInitDialog();
  void ShowSettingsPane(bool show);
  void OnReadStart();              // 1025
  void OnResultCommand();          // 1028
  void OnOpen();                   // 1007
  void OnSave();                   // 1008
  void OnCaptureSize();            // 1009
  void OnImageQuality();           // 1011
  // The camera failed (the cycle's stream failure): the read-start button
  // follows the reading and a message names the device and the error.
  void OnStreamFailure();
  void OnSettingsToggle();         // 1004
  void OnCodeKind(int32_t kind);   // 1039 / 1040 / 1041: 0, 1, 2
  void OnRangeChanged(int32_t id); // 1010 / 1012 / 1013 / 1014
  void OnShowRange();              // 1015
  void OnStopAfterRead();          // 1037
  void OnPageChoice(int32_t index);  // 1036
  void OnAbout();                  // "バージョン情報(&A)..."
  // Enter: the range boxes must hold whole numbers 0 ... 9999, then the
  // window closes as with "終了".
  void OnOK();

  // ---- painting
  // Paints the preview into a painter whose coordinates are the dialog's.
  void PaintPreview(QPainter& painter);
  // The whole window again (a reading started, the frame size changed).
  void RepaintWhole();

  // ---- PageHost
  SettingsRecord Settings() const override;
  void EditSettings(const std::function<void(SettingsRecord&)>& edit) override;
  FrameRing& Ring() override;
  ReadingCycle& Cycle() override;
  OverlayOrigin CurrentOverlayOrigin() const override;
  void RebuildGuideLines() override;
  void InvalidatePreview(bool erase) override;
  QWidget* PageFrame() override;

  // ---- state, for the program and its tests
  QRect previewRect() const { return previewRect_; }
  QRect pageRect() const { return pageRect_; }
  int32_t showRange() const { return showRange_; }
  int32_t codeKind() const { return codeKind_; }
  int32_t pageIndex() const { return pageIndex_; }
  const std::string& lastFolder() const { return lastFolder_; }
  bool initialized() const { return initialized_; }
  StationCore& station() { return station_; }
  QWidget* page(int32_t index) const;
  // Paints of the preview so far, and those asked for with erase.
  int32_t previewPaints() const { return previewPaints_; }
  int32_t erasedInvalidations() const { return erasedInvalidations_; }
  // The camera dialogs (tests answer them).
  void SetCaptureDialogs(CaptureDialogs* dialogs) { captureDialogs_ = dialogs; }

  // ---- the history, the read sound and the reading figures
  void OnHistory();  // "履歴": shows the history window
  void OnBeep();     // "読取音": the setting Beep
  // A picture file into the displayed slot ("開く" and a drop on the preview);
  // "File open error (%d)" when it cannot be read, the preview then as it was.
  bool OpenPicture(const std::string& path);
  // PageHost: a trial read's code goes into the history, marked "実行".
  void TrialReadShown(const Reading& reading) override;
  HistoryModel& history() { return *historyModel_; }
  CHistoryDlg* historyWindow() const { return historyDlg_; }
  // Read sounds asked for so far.
  int32_t soundsPlayed() const;
  // The name of the picture file the preview shows; empty for the camera's.
  const std::string& shownSource() const { return shownSource_; }
  // Refreshes the status line under the preview now (its timer does so while
  // reading).
  void UpdateReadingFigures();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void done(int result) override;

 private:
  friend class PreviewFrame;
  void BuildControls();
  void CreatePages();
  void StopOnDestroy();
  QLineEdit* RangeEdit(int32_t index) const { return rangeEdits_[static_cast<size_t>(index)]; }
  void SetReadButton(bool on);
  void ResetRangeForSize(int32_t width, int32_t height);
  // The history's controls and the status line (the window's own controls
  // keep their places; these go around them).
  void BuildStationExtras(int belowY);
  // A reading the window showed into the history (continuous reading: unless
  // the repeat filter holds it back), with the read sound.
  void RecordReading(const Reading& reading, std::chrono::system_clock::time_point readAt, ReadingOrigin origin,
                     const std::string& source);
  // The status line and its timer follow the read-start button; a new start
  // forgets the repeats and the opened picture.
  void ShowReadingState(bool reading);

  StationCore& station_;
  // Members in the order of the window's data.
  int32_t codeKind_ = 0;
  std::array<int32_t, 4> range_{};
  int32_t showRange_ = 1;
  int32_t pageIndex_ = 0;
  int32_t stopAfterRead_ = 0;
  std::string lastFolder_;
  bool initialized_ = false;
  bool destroyed_ = false;

  QRect previewRect_;
  QRect pageRect_;
  int32_t previewPaints_ = 0;
  int32_t erasedInvalidations_ = 0;

  PreviewFrame* preview_ = nullptr;
  std::array<QRadioButton*, 3> kindRadios_{};
  std::array<QLineEdit*, 4> rangeEdits_{};
  std::array<UpDownControl*, 4> spins_{};
  QPlainTextEdit* resultBox_ = nullptr;
  QPushButton* readStart_ = nullptr;
  QCheckBox* stopAfterReadBox_ = nullptr;
  QPushButton* settingsToggle_ = nullptr;
  QPushButton* resultCommand_ = nullptr;
  QCheckBox* showRangeBox_ = nullptr;
  QFrame* pageFrame_ = nullptr;
  QComboBox* pageChoice_ = nullptr;
  std::array<QWidget*, 3> pages_{};

  std::unique_ptr<CaptureDialogs> ownDialogs_;
  CaptureDialogs* captureDialogs_ = nullptr;

  // The history and what goes with it.
  std::unique_ptr<HistoryModel> historyModel_;
  CHistoryDlg* historyDlg_ = nullptr;
  RepeatFilter repeatFilter_;
  ReadSound* sound_ = nullptr;
  QCheckBox* beepBox_ = nullptr;
  QLabel* figuresLine_ = nullptr;
  QTimer* figuresTimer_ = nullptr;
  std::string shownSource_;
};

}  // namespace vantrel

#endif

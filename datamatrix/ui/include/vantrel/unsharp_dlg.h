// CUnsharpDlg: tunes the Data Matrix reader's unsharp mask on one picture.
//
// Three sliders set radius, amount and threshold; page steps and letting go of
// a thumb run the filter, the scrollable preview shows the filtered picture (or
// the unfiltered one), a button tries a decode and an edit sets the search time.
//
// The reader is shared with the reading cycle, which sets its values from the
// settings before every frame it decodes. So the dialog keeps its own working
// values and its own copy of the picture, and every step that uses the reader
// (taking its values at opening, each filter run, each trial decode, OK and
// Cancel) sets what it needs and runs under the reader lock in one go. The
// lock is never held across a message box or while the dialog waits.
#ifndef VANTREL_UNSHARP_DLG_H
#define VANTREL_UNSHARP_DLG_H

#include <cstdint>
#include <functional>
#include <mutex>

#include <QDialog>
#include <QRect>

#include "vantrel/OvoDmx.h"
#include "vantrel/dib.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QSlider;

namespace vantrel {

// The four values the dialog tunes, as the reader holds them.
struct DmxTuneValues {
  int32_t maxTime = 0;  // milliseconds
  double radius = 0.0;
  double amount = 0.0;
  int32_t threshold = 0;
  bool operator==(const DmxTuneValues&) const = default;
};

struct DmxTuneOptions {
  QWidget* parent = nullptr;
  // Held around every use of the reader; may be null (nothing else decodes).
  std::mutex* readerLock = nullptr;
  // Runs under the reader lock at opening, right before the dialog takes the
  // reader's values: the caller sets what the dialog should start from, and no
  // frame decoded in between can change it. Must not take the lock itself.
  std::function<void()> prepareReader;
};

// OvoDmxTune with a lock and an opening step. 0 OK, 1 Cancel, -1 no picture
// or no application. After OK, the fields of *accepted (if given) that the
// reader can give hold its values as OK left them, read in the same step as
// OK's writes; the others keep what the caller put there.
int32_t OvoDmxTuneWith(DibImage image, const DmxTuneOptions& options, DmxTuneValues* accepted);

class CUnsharpDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int32_t kTemplateId = 131;
  enum ControlId : int32_t {
    kIdOk = 1,
    kIdCancel = 2,
    kIdShowFiltered = 1006,
    kIdRadiusSlider = 1007,
    kIdAmountSlider = 1008,
    kIdThresholdSlider = 1009,
    kIdRadiusText = 1010,
    kIdAmountText = 1011,
    kIdThresholdText = 1012,
    kIdDecodedText = 1013,
    kIdHorizontalScroll = 1014,
    kIdVerticalScroll = 1015,
    kIdTrialDecode = 1016,
    kIdMaxTime = 1017,
  };

  explicit CUnsharpDlg(QWidget* parent = nullptr);
  ~CUnsharpDlg() override;

  // Set before OnInitDialog (OvoDmxTuneWith does).
  void SetReader(CDataMatCtrl* reader) { reader_ = reader; }
  void SetImage(DibImage image) { image_ = image; }
  void SetReaderLock(std::mutex* lock) { lock_ = lock; }
  void SetPrepareReader(std::function<void()> prepare) { prepare_ = std::move(prepare); }
  // Where OK reads the reader's values back, in the same step as its writes;
  // a value the reader cannot give leaves its field as it was. May be null.
  void SetReadBack(DmxTuneValues* values) { readBack_ = values; }
  // How the dialog copies the picture at opening (DibDuplicate); tests make it fail.
  void SetCopyForTests(std::function<DibImage(DibImage)> copy) { copy_ = std::move(copy); }

  // Opening: takes the reader's values, fills the controls, copies the picture
  // and runs the filter once. Call once, before the dialog is shown.
  void OnInitDialog();

  // OK: a refused time keeps the dialog open; otherwise the values the
  // sliders and the edit show go to the reader. Cancel: the values found at
  // opening go back.
  void accept() override;
  void reject() override;

  // What the dialog holds, for tests and the screenshots.
  double radius() const { return radius_; }
  double amount() const { return amount_; }
  int32_t threshold() const { return threshold_; }
  DmxTuneValues saved() const { return {savedMaxTime_, savedRadius_, savedAmount_, savedThreshold_}; }
  int32_t scrollX() const { return hPos_; }
  int32_t scrollY() const { return vPos_; }
  int32_t scrollMaxX() const { return hMax_; }
  int32_t scrollMaxY() const { return vMax_; }
  bool showFiltered() const { return showFiltered_ != 0; }
  DibImage displayCopy() const { return displayCopy_; }
  DibImage filteredPicture() const { return filtered_; }
  QRect previewRect() const { return preview_; }
  int32_t filterRuns() const { return filterRuns_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void BuildControls();
  void OnTrackbar(int32_t id, int32_t code);
  void OnScroll(int32_t id, int32_t code, int32_t sent);
  void OnShowFiltered();
  void OnTrialDecode();
  // Moves the edit's time into the member; false (message shown, focus on the
  // edit) when it is not a whole number 1..9999.
  bool ExchangeFromControls();
  // The working values follow every slider the operator moved, whatever moved it.
  void TakeSliderValues();
  // Runs under the reader lock: the working values into the reader, then the
  // filter over the whole copy. The filter's status.
  int32_t ApplyFilterLocked();
  int32_t ApplyFilter();
  void ReleasePictures();
  void InvalidatePreview();

  // Fields in the order the dialog has always kept them.
  CDataMatCtrl* reader_ = nullptr;
  DibImage image_ = nullptr;
  QRect preview_;
  int32_t hMax_ = 0, vMax_ = 0;
  int32_t hPos_ = 0, vPos_ = 0;
  double radius_ = 0.0, amount_ = 0.0;
  int32_t threshold_ = 0;
  int32_t maxTime_ = 0;
  double savedRadius_ = 0.0, savedAmount_ = 0.0;
  int32_t savedThreshold_ = 0;
  int32_t savedMaxTime_ = 0;
  int32_t showFiltered_ = 1;
  DibImage displayCopy_ = nullptr;
  DibImage filtered_ = nullptr;

  std::mutex* lock_ = nullptr;
  std::function<void()> prepare_;
  DmxTuneValues* readBack_ = nullptr;
  std::function<DibImage(DibImage)> copy_;
  // Slider positions at opening; a slider moved from there gives its value.
  int32_t openedPosition_[3] = {0, 0, 0};
  bool moved_[3] = {false, false, false};
  int32_t filterRuns_ = 0;

  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QCheckBox* showFilteredBox_ = nullptr;
  QSlider* sliders_[3] = {nullptr, nullptr, nullptr};
  QLabel* valueTexts_[3] = {nullptr, nullptr, nullptr};
  QLabel* decodedText_ = nullptr;
  QScrollBar* hScroll_ = nullptr;
  QScrollBar* vScroll_ = nullptr;
  QPushButton* trialButton_ = nullptr;
  QLineEdit* maxTimeEdit_ = nullptr;
};

}  // namespace vantrel

#endif

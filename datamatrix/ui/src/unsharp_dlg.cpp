#include "vantrel/unsharp_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>

#include <algorithm>
#include <string>

#include "vantrel/OvoDmxTune.h"
#include "vantrel/data_exchange.h"
#include "vantrel/qt_draw_context.h"
#include "vantrel/text_convert.h"
#include "vantrel/ui_kit.h"
#include "vantrel/unsharp_tune_rules.h"

namespace vantrel {

namespace {

using namespace dmxtune;

// The text buffer of a trial decode: the largest symbol's codewords and more.
constexpr int32_t kTrialTextBytes = 4192;

// Holds the reader lock for one step, when there is a lock.
class ReaderGuard {
 public:
  explicit ReaderGuard(std::mutex* lock) : lock_(lock) {
    if (lock_) lock_->lock();
  }
  ~ReaderGuard() {
    if (lock_) lock_->unlock();
  }
  ReaderGuard(const ReaderGuard&) = delete;
  ReaderGuard& operator=(const ReaderGuard&) = delete;

 private:
  std::mutex* lock_;
};

bool AreaValid(const DibRect& r) {
  return r.left >= 0 && r.top >= 0 && r.right >= 0 && r.bottom >= 0 && r.left < r.right &&
         r.top < r.bottom;
}

// While alive, the reader searches the whole picture; afterwards its earlier
// rectangle is back (when it was a valid one).
class WholePictureArea {
 public:
  WholePictureArea(CDataMatCtrl* reader, DibImage picture) : reader_(reader) {
    if (reader_ && OvoDmxGetArea(&remembered_) != 0) remembered_ = DibRect{-1, -1, -1, -1};
    const int32_t w = DibGetWidth(picture), h = DibGetHeight(picture);
    if (w - 1 > 0 && h - 1 > 0) {
      const DibRect whole{0, 0, w - 1, h - 1};
      OvoDmxSetArea(&whole);
    }
  }
  ~WholePictureArea() {
    if (reader_ && AreaValid(remembered_)) OvoDmxSetArea(&remembered_);
  }
  WholePictureArea(const WholePictureArea&) = delete;
  WholePictureArea& operator=(const WholePictureArea&) = delete;

 private:
  CDataMatCtrl* reader_;
  DibRect remembered_{-1, -1, -1, -1};
};

const SliderScale& ScaleOf(int32_t i) {
  static const SliderScale* const scales[3] = {&kRadiusSlider, &kAmountSlider, &kThresholdSlider};
  return *scales[i];
}

QString SliderText(int32_t i, double value) {
  switch (i) {
    case 0: return QString::fromStdString(RadiusText(value));
    case 1: return QString::fromStdString(AmountText(value));
    default: return QString::fromStdString(ThresholdText(static_cast<int32_t>(value)));
  }
}

// The notification a slider action stands for. Turning the wheel moves the
// slider without the thumb being held: it counts as a line step.
int32_t CodeOf(int action, bool thumbDown) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: return kLineDown;
    case QAbstractSlider::SliderSingleStepSub: return kLineUp;
    case QAbstractSlider::SliderPageStepAdd: return kPageDown;
    case QAbstractSlider::SliderPageStepSub: return kPageUp;
    case QAbstractSlider::SliderToMinimum: return kTop;
    case QAbstractSlider::SliderToMaximum: return kBottom;
    case QAbstractSlider::SliderMove: return thumbDown ? kThumbTrack : kLineDown;
    default: return -1;
  }
}

template <typename W>
W* Numbered(W* widget, int32_t id) {
  ui::SetControlId(widget, id);
  return widget;
}

}  // namespace

CUnsharpDlg::CUnsharpDlg(QWidget* parent) : QDialog(parent) {
  ui::SetTemplateId(this, kTemplateId);
  setWindowTitle(QStringLiteral("アンシャープマスク調整"));
  BuildControls();
}

CUnsharpDlg::~CUnsharpDlg() { ReleasePictures(); }

void CUnsharpDlg::BuildControls() {
  setFixedSize(640, 400);
  const int32_t right = kPreviewLeft + kPreviewWidth, bottom = kPreviewTop + kPreviewHeight;

  // The preview itself is painted on the dialog; the scroll bars sit outside it.
  vScroll_ = Numbered(new QScrollBar(Qt::Vertical, this), kIdVerticalScroll);
  vScroll_->setGeometry(right + 1, kPreviewTop, 17, kPreviewHeight);
  hScroll_ = Numbered(new QScrollBar(Qt::Horizontal, this), kIdHorizontalScroll);
  hScroll_->setGeometry(kPreviewLeft, bottom + 1, kPreviewWidth, 17);
  for (QScrollBar* bar : {hScroll_, vScroll_}) {
    bar->setRange(0, 0);
    bar->setSingleStep(1);
    bar->setPageStep(kScrollPage);
    const int32_t id = bar == hScroll_ ? kIdHorizontalScroll : kIdVerticalScroll;
    connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar, id](int action) {
      const int32_t code = CodeOf(action, bar->isSliderDown());
      // A wheel turn moves by what the bar computed; treat it as a thumb move.
      const bool wheel = action == QAbstractSlider::SliderMove && !bar->isSliderDown();
      if (code >= 0) OnScroll(id, wheel ? kThumbTrack : code, bar->sliderPosition());
    });
    connect(bar, &QAbstractSlider::sliderReleased, this,
            [this, bar, id] { OnScroll(id, kThumbPosition, bar->sliderPosition()); });
  }

  static const char* const names[3] = {"半径：", "量：", "しきい値："};
  static const int32_t sliderIds[3] = {kIdRadiusSlider, kIdAmountSlider, kIdThresholdSlider};
  static const int32_t textIds[3] = {kIdRadiusText, kIdAmountText, kIdThresholdText};
  for (int32_t i = 0; i < 3; ++i) {
    const int32_t y = bottom + 32 + i * 34;
    auto* label = new QLabel(QString::fromUtf8(names[i]), this);
    label->setGeometry(kPreviewLeft, y, 72, 24);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QSlider* slider = Numbered(new QSlider(Qt::Horizontal, this), sliderIds[i]);
    slider->setGeometry(kPreviewLeft + 78, y, 280, 24);
    const SliderScale& s = ScaleOf(i);
    slider->setRange(s.minimum, s.maximum);
    slider->setSingleStep(1);
    // A page is a fifth of the range, as trackbars have always had it.
    slider->setPageStep(std::max(1, (s.maximum - s.minimum) / 5));
    sliders_[i] = slider;
    valueTexts_[i] = Numbered(new QLabel(this), textIds[i]);
    valueTexts_[i]->setGeometry(kPreviewLeft + 366, y, 60, 24);
    valueTexts_[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const int32_t id = sliderIds[i];
    connect(slider, &QAbstractSlider::actionTriggered, this, [this, slider, id](int action) {
      const int32_t code = CodeOf(action, slider->isSliderDown());
      if (code >= 0) OnTrackbar(id, code);
    });
    connect(slider, &QAbstractSlider::sliderReleased, this, [this, id] {
      OnTrackbar(id, kThumbPosition);
      OnTrackbar(id, kEndScroll);
    });
  }

  const int32_t x = right + 32, w = 640 - x - 13;
  showFilteredBox_ = Numbered(new QCheckBox(QStringLiteral("フィルタ後の画像を表示"), this), kIdShowFiltered);
  showFilteredBox_->setGeometry(x, kPreviewTop, w, 24);
  connect(showFilteredBox_, &QCheckBox::clicked, this, [this] { OnShowFiltered(); });

  auto* timeLabel = new QLabel(QStringLiteral("最大処理時間："), this);
  timeLabel->setGeometry(x, kPreviewTop + 38, w, 22);
  maxTimeEdit_ = Numbered(new QLineEdit(this), kIdMaxTime);
  maxTimeEdit_->setGeometry(x, kPreviewTop + 62, 80, 24);
  maxTimeEdit_->setMaxLength(9);
  auto* unit = new QLabel(QStringLiteral("msec"), this);
  unit->setGeometry(x + 86, kPreviewTop + 62, 50, 24);

  trialButton_ = Numbered(new QPushButton(QStringLiteral("テスト読取"), this), kIdTrialDecode);
  trialButton_->setGeometry(x, kPreviewTop + 100, 110, 28);
  trialButton_->setAutoDefault(false);
  connect(trialButton_, &QPushButton::clicked, this, [this] { OnTrialDecode(); });

  auto* resultLabel = new QLabel(QStringLiteral("読取結果："), this);
  resultLabel->setGeometry(x, kPreviewTop + 140, w, 22);
  decodedText_ = Numbered(new QLabel(this), kIdDecodedText);
  decodedText_->setGeometry(x, kPreviewTop + 164, w, 98);
  decodedText_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  decodedText_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  decodedText_->setWordWrap(true);
  decodedText_->setTextFormat(Qt::PlainText);
  decodedText_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  ok_ = Numbered(new QPushButton(QStringLiteral("OK"), this), kIdOk);
  ok_->setGeometry(x, 400 - 13 - 28, 80, 28);
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &CUnsharpDlg::accept);
  cancel_ = Numbered(new QPushButton(QStringLiteral("キャンセル"), this), kIdCancel);
  cancel_->setGeometry(x + 88, 400 - 13 - 28, 90, 28);
  cancel_->setAutoDefault(false);
  connect(cancel_, &QPushButton::clicked, this, &CUnsharpDlg::reject);
}

void CUnsharpDlg::OnInitDialog() {
  preview_ = QRect(kPreviewLeft, kPreviewTop, kPreviewWidth, kPreviewHeight);
  hMax_ = vMax_ = hPos_ = vPos_ = 0;

  {
    ReaderGuard guard(lock_);
    if (prepare_) prepare_();
    double r = 0.0, a = 0.0;
    int32_t t = 0;
    if (OvoDmxGetRadius(&r) == 0 && r >= 0.1 && r <= 120.0) radius_ = r;
    if (OvoDmxGetAmount(&a) == 0 && a >= 0.0 && a <= 10.0) amount_ = a;
    if (OvoDmxGetThreshold(&t) == 0 && t >= 0 && t <= 255) threshold_ = t;
    OvoDmxGetMaxTime(&maxTime_);
  }
  savedRadius_ = radius_;
  savedAmount_ = amount_;
  savedThreshold_ = threshold_;
  savedMaxTime_ = maxTime_;

  showFilteredBox_->setChecked(showFiltered_ != 0);
  ui::ShowWholeNumber(maxTimeEdit_, maxTime_);

  const double values[3] = {radius_, amount_, static_cast<double>(threshold_)};
  for (int32_t i = 0; i < 3; ++i) {
    const int32_t position = SliderPosition(ScaleOf(i), values[i]);
    sliders_[i]->setValue(position);
    openedPosition_[i] = position;
    moved_[i] = false;
    valueTexts_[i]->setText(SliderText(i, values[i]));
  }

  if (!image_) return;
  ReleasePictures();
  displayCopy_ = copy_ ? copy_(image_) : DibDuplicate(image_);
  if (!displayCopy_) {
    ui::ShowMessage(this, "画像コピーできませんでした", std::string());
    return;
  }
  const int32_t h = DibGetHeight(displayCopy_), w = DibGetWidth(displayCopy_);
  vMax_ = ScrollMaximum(h, kPreviewHeight);
  hMax_ = ScrollMaximum(w, kPreviewWidth);
  vScroll_->setRange(0, vMax_);
  hScroll_->setRange(0, hMax_);
  filtered_ = DibCreate(w, h, DibGetBitCount(displayCopy_) / 8, 4);
  ApplyFilter();
}

int32_t CUnsharpDlg::ApplyFilterLocked() {
  ++filterRuns_;
  WholePictureArea whole(reader_, displayCopy_);
  if (SliderValueValid(kRadiusSlider, radius_)) OvoDmxSetRadius(radius_);
  if (SliderValueValid(kAmountSlider, amount_)) OvoDmxSetAmount(amount_);
  if (threshold_ >= 0 && threshold_ <= 255) OvoDmxSetThreshold(threshold_);
  // The copy is the source: the caller's picture may change under a live ring.
  return OvoDmxUnsharp(reader_, displayCopy_, filtered_);
}

int32_t CUnsharpDlg::ApplyFilter() {
  ReaderGuard guard(lock_);
  return ApplyFilterLocked();
}

void CUnsharpDlg::OnTrackbar(int32_t id, int32_t code) {
  const int32_t i = id - kIdRadiusSlider;
  if (i < 0 || i > 2) return;
  const SliderScale& s = ScaleOf(i);
  const int32_t p = sliders_[i]->sliderPosition();
  const double v = SliderValue(s, p);
  valueTexts_[i]->setText(SliderText(i, v));
  if (p != openedPosition_[i]) moved_[i] = true;
  if (!TrackbarRunsFilter(code)) return;

  moved_[i] = true;
  switch (i) {
    case 0: radius_ = v; break;
    case 1: amount_ = v; break;
    default: threshold_ = p; break;
  }
  if (!SliderValueValid(s, v)) return;
  if (ApplyFilter() == 0) InvalidatePreview();
}

void CUnsharpDlg::OnScroll(int32_t id, int32_t code, int32_t sent) {
  QScrollBar* bar = id == kIdHorizontalScroll ? hScroll_ : id == kIdVerticalScroll ? vScroll_ : nullptr;
  if (!bar) return;
  int32_t& position = id == kIdHorizontalScroll ? hPos_ : vPos_;
  const int32_t maximum = id == kIdHorizontalScroll ? hMax_ : vMax_;
  position = NextScrollPosition(code, position, maximum, sent);
  bar->setValue(position);
  InvalidatePreview();
}

void CUnsharpDlg::OnShowFiltered() {
  showFiltered_ = showFiltered_ ? 0 : 1;
  InvalidatePreview();
}

bool CUnsharpDlg::ExchangeFromControls() {
  showFiltered_ = showFilteredBox_->isChecked() ? 1 : 0;
  return ui::ExchangeWholeNumber(maxTimeEdit_, kMaxTimeLowest, kMaxTimeHighest, &maxTime_);
}

void CUnsharpDlg::TakeSliderValues() {
  for (int32_t i = 0; i < 3; ++i) {
    if (!moved_[i]) continue;
    const int32_t p = sliders_[i]->sliderPosition();
    switch (i) {
      case 0: radius_ = SliderValue(kRadiusSlider, p); break;
      case 1: amount_ = SliderValue(kAmountSlider, p); break;
      default: threshold_ = p; break;
    }
  }
}

void CUnsharpDlg::OnTrialDecode() {
  if (!ExchangeFromControls()) return;
  int32_t status;
  char text[kTrialTextBytes];
  text[0] = '\0';
  {
    ui::WaitCursor wait;
    decodedText_->clear();
    DibImage source = showFiltered_ ? filtered_ : displayCopy_;
    ReaderGuard guard(lock_);
    if (maxTime_ > 0) OvoDmxSetMaxTime(maxTime_);
    WholePictureArea whole(reader_, source);
    status = OvoDmxDecode(reader_, source, text, kTrialTextBytes);
  }
  if (status == 0) {
    decodedText_->setText(QString::fromStdString(DecodedBytesToUtf8(text)));
  } else {
    ui::ShowMessage(this, "Decode error.(" + std::to_string(status) + ")", std::string());
  }
}

void CUnsharpDlg::accept() {
  if (!ExchangeFromControls()) return;
  TakeSliderValues();
  {
    ReaderGuard guard(lock_);
    if (SliderValueValid(kRadiusSlider, radius_)) OvoDmxSetRadius(radius_);
    if (SliderValueValid(kAmountSlider, amount_)) OvoDmxSetAmount(amount_);
    if (threshold_ >= 0 && threshold_ <= 255) OvoDmxSetThreshold(threshold_);
    if (maxTime_ > 0) OvoDmxSetMaxTime(maxTime_);
    // Read back in the same step: a frame decoded after it sets the reader
    // from the settings again.
    if (readBack_) {
      OvoDmxGetMaxTime(&readBack_->maxTime);
      OvoDmxGetRadius(&readBack_->radius);
      OvoDmxGetAmount(&readBack_->amount);
      OvoDmxGetThreshold(&readBack_->threshold);
    }
  }
  QDialog::accept();
}

void CUnsharpDlg::reject() {
  {
    ReaderGuard guard(lock_);
    if (SliderValueValid(kRadiusSlider, savedRadius_)) OvoDmxSetRadius(savedRadius_);
    if (SliderValueValid(kAmountSlider, savedAmount_)) OvoDmxSetAmount(savedAmount_);
    if (savedThreshold_ >= 0 && savedThreshold_ <= 255) OvoDmxSetThreshold(savedThreshold_);
    if (savedMaxTime_ > 0) OvoDmxSetMaxTime(savedMaxTime_);
  }
  QDialog::reject();
}

void CUnsharpDlg::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  if (!displayCopy_) return;
  DibImage picture = showFiltered_ ? filtered_ : displayCopy_;
  if (!picture) return;
  const int32_t w = std::min(DibGetWidth(picture), kPreviewWidth);
  const int32_t h = std::min(DibGetHeight(picture), kPreviewHeight);
  if (w <= 0 || h <= 0) return;
  QPainter painter(this);
  painter.setClipRect(preview_);
  ui::QtDrawContext dc(painter);
  const DibRect source{hPos_, vPos_, hPos_ + w - 1, vPos_ + h - 1};
  const DibRect destination{kPreviewLeft, kPreviewTop, kPreviewLeft + w - 1, kPreviewTop + h - 1};
  DibDraw(&dc, picture, &destination, &source);
}

void CUnsharpDlg::InvalidatePreview() { update(preview_); }

void CUnsharpDlg::ReleasePictures() {
  DibFree(displayCopy_);
  displayCopy_ = nullptr;
  DibFree(filtered_);
  filtered_ = nullptr;
}

int32_t OvoDmxTuneWith(DibImage image, const DmxTuneOptions& options, DmxTuneValues* accepted) {
  if (!image || !QApplication::instance()) return -1;
  CUnsharpDlg dialog(options.parent);
  dialog.SetReader(OvoDmxGetReader());
  dialog.SetImage(image);
  dialog.SetReaderLock(options.readerLock);
  dialog.SetPrepareReader(options.prepareReader);
  dialog.SetReadBack(accepted);
  dialog.OnInitDialog();
  return dialog.exec() == QDialog::Accepted ? 0 : 1;
}

}  // namespace vantrel

extern "C" int32_t OvoDmxTune(DibImage image) {
  return vantrel::OvoDmxTuneWith(image, vantrel::DmxTuneOptions{}, nullptr);
}

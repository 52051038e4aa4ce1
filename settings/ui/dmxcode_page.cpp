#include "dmxcode_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

#include "page_common.h"
#include "vantrel/OvoDmx.h"
#include "vantrel/data_exchange.h"
#include "vantrel/overlay.h"
#include "vantrel/unsharp_dlg.h"

namespace vantrel {

namespace {

constexpr int32_t kMaxTimeLowest = 1;
constexpr int32_t kMaxTimeHighest = 9999;
constexpr double kRadiusLowest = 0.0;
constexpr double kRadiusHighest = 120.0;
constexpr double kAmountLowest = 0.0;
constexpr double kAmountHighest = 10.0;
constexpr int32_t kThresholdLowest = 0;
constexpr int32_t kThresholdHighest = 255;

// The three boxes the operator cannot type into show values inside their
// ranges: a value from the settings file outside them would be refused on
// every apply, try and tune, with no way to correct it on the page.
double IntoRange(double v, double lowest, double highest) {
  if (!(v >= lowest)) return lowest;
  return v > highest ? highest : v;
}

struct DibOwner {
  DibImage image = nullptr;
  ~DibOwner() { DibFree(image); }
};

}  // namespace

CDmxCodePage::CDmxCodePage(PageHost& host, QWidget* parent) : QWidget(parent), host_(host) {
  ui::SetTemplateId(this, kTemplateId);
  BuildControls();
  OnInitDialog();
}

void CDmxCodePage::BuildControls() {
  using namespace pages;
  setFixedSize(kPageWidth, kPageHeight);

  auto* settings = new QGroupBox(QString::fromUtf8("設定"), this);
  maxTime_ = NumberedEdit(settings, kIdMaxTime);
  maxTime_->setFixedWidth(70);
  auto* timeRow = new QHBoxLayout;
  timeRow->addWidget(Label(settings, "最大処理時間："));
  timeRow->addWidget(maxTime_);
  timeRow->addWidget(Label(settings, "msec"));
  timeRow->addStretch();

  auto* mask = new QGroupBox(QString::fromUtf8("アンシャープマスク"), settings);
  unsharp_ = NumberedCheckBox(mask, kIdUnsharp, "有効");
  radius_ = ReadOnlyBox(mask, kIdRadius);
  amount_ = ReadOnlyBox(mask, kIdAmount);
  threshold_ = ReadOnlyBox(mask, kIdThreshold);
  for (QLineEdit* box : {radius_, amount_, threshold_}) box->setFixedWidth(70);
  tune_ = NumberedButton(mask, kIdTune, "設定");
  auto* maskLayout = new QGridLayout(mask);
  maskLayout->addWidget(unsharp_, 0, 0, 1, 2);
  maskLayout->addWidget(Label(mask, "半径："), 1, 0);
  maskLayout->addWidget(radius_, 1, 1, Qt::AlignLeft);
  maskLayout->addWidget(Label(mask, "量："), 2, 0);
  maskLayout->addWidget(amount_, 2, 1, Qt::AlignLeft);
  maskLayout->addWidget(Label(mask, "しきい値："), 3, 0);
  maskLayout->addWidget(threshold_, 3, 1, Qt::AlignLeft);
  maskLayout->addWidget(tune_, 3, 2, Qt::AlignRight);
  maskLayout->setColumnStretch(2, 1);

  auto* settingsLayout = new QVBoxLayout(settings);
  settingsLayout->addLayout(timeRow);
  settingsLayout->addWidget(mask);

  auto* result = new QGroupBox(QString::fromUtf8("結果"), this);
  data_ = ReadOnlyBox(result, kIdData);
  time_ = ReadOnlyBox(result, kIdTime);
  time_->setFixedWidth(90);
  auto* resultLayout = new QGridLayout(result);
  resultLayout->addWidget(Label(result, "データ："), 0, 0);
  resultLayout->addWidget(data_, 0, 1);
  resultLayout->addWidget(Label(result, "処理時間："), 1, 0);
  auto* elapsedRow = new QHBoxLayout;
  elapsedRow->addWidget(time_);
  elapsedRow->addWidget(Label(result, "msec"));
  elapsedRow->addStretch();
  resultLayout->addLayout(elapsedRow, 1, 1);
  resultLayout->setColumnStretch(1, 1);

  try_ = NumberedButton(this, kIdTry, "実行");
  apply_ = NumberedButton(this, kIdApply, "適用");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(try_);
  buttons->addWidget(apply_);

  auto* page = new QVBoxLayout(this);
  page->addWidget(settings);
  page->addWidget(result);
  page->addStretch();
  page->addLayout(buttons);

  connect(apply_, &QPushButton::clicked, this, [this] { OnApply(); });
  connect(try_, &QPushButton::clicked, this, [this] { OnTry(); });
  connect(tune_, &QPushButton::clicked, this, [this] { OnTune(); });
  connect(unsharp_, &QCheckBox::clicked, this, [this] { OnUnsharpSwitch(); });
}

void CDmxCodePage::OnInitDialog() {
  const SettingsRecord s = host_.Settings();
  m_.maxTime = s.MaxTime;
  m_.radius = IntoRange(s.Rad, kRadiusLowest, kRadiusHighest);
  m_.amount = IntoRange(s.Amount, kAmountLowest, kAmountHighest);
  m_.threshold = std::clamp(s.DmxThreshold, kThresholdLowest, kThresholdHighest);
  m_.unsharp = s.UnsharpMask;
  ShowMembers();
  // The tuning controls start enabled whatever the switch says; they follow
  // the switch from its first click.
}

void CDmxCodePage::ShowMembers() {
  ui::ShowWholeNumber(maxTime_, m_.maxTime);
  ui::ShowDecimalNumber(radius_, m_.radius);
  ui::ShowDecimalNumber(amount_, m_.amount);
  ui::ShowWholeNumber(threshold_, m_.threshold);
  unsharp_->setChecked(m_.unsharp != 0);
}

bool CDmxCodePage::ExchangeFromControls() {
  Members m = m_;
  if (!ui::ExchangeWholeNumber(maxTime_, kMaxTimeLowest, kMaxTimeHighest, &m.maxTime)) return false;
  if (!ui::ExchangeDecimalNumber(radius_, kRadiusLowest, kRadiusHighest, &m.radius)) return false;
  if (!ui::ExchangeDecimalNumber(amount_, kAmountLowest, kAmountHighest, &m.amount)) return false;
  if (!ui::ExchangeWholeNumber(threshold_, kThresholdLowest, kThresholdHighest, &m.threshold)) return false;
  m.unsharp = unsharp_->isChecked() ? 1 : 0;
  m_ = m;
  return true;
}

void CDmxCodePage::CopyMembersToSettings() {
  const Members m = m_;
  host_.EditSettings([&m](SettingsRecord& s) {
    s.MaxTime = m.maxTime;
    s.Rad = m.radius;
    s.Amount = m.amount;
    s.DmxThreshold = m.threshold;
    s.UnsharpMask = m.unsharp;
  });
}

bool CDmxCodePage::OnApply() {
  if (!ExchangeFromControls()) return false;
  CopyMembersToSettings();
  return true;
}

void CDmxCodePage::OnUnsharpSwitch() {
  m_.unsharp = unsharp_->isChecked() ? 1 : 0;
  const bool on = m_.unsharp != 0;
  for (QWidget* w : std::initializer_list<QWidget*>{tune_, radius_, amount_, threshold_}) w->setEnabled(on);
}

void CDmxCodePage::OnTune() {
  if (!ExchangeFromControls()) return;

  // The dialog works on a picture of its own: the ring's slot is copied under
  // its lease, and the lease is let go before the dialog opens.
  DibOwner picture;
  {
    FrameRing::Lease slot = host_.Ring().ReadDisplayed();
    if (slot) picture.image = DibDuplicate(slot.image());
  }
  const int32_t w = DibGetWidth(picture.image), h = DibGetHeight(picture.image);

  const Members m = m_;
  DmxTuneOptions options;
  options.parent = this;
  options.readerLock = &host_.DecoderLock();
  // Under the lock, right before the dialog takes the reader's values: a frame
  // decoded in between would put the settings' values back.
  options.prepareReader = [m, w, h] {
    if (OvoDmxGetReader()) {
      const DibRect whole{0, 0, w - 1, h - 1};
      OvoDmxSetArea(&whole);
      if (m.maxTime > 0) OvoDmxSetMaxTime(m.maxTime);
    }
    OvoDmxSetRadius(m.radius);
    OvoDmxSetAmount(m.amount);
    if (OvoDmxGetReader() && m.threshold >= 0 && m.threshold <= 255) OvoDmxSetThreshold(m.threshold);
  };
  DmxTuneValues values{m.maxTime, m.radius, m.amount, m.threshold};
  if (OvoDmxTuneWith(picture.image, options, &values) != 0) return;

  m_.maxTime = values.maxTime;
  m_.radius = values.radius;
  m_.amount = values.amount;
  if (values.threshold >= 0 && values.threshold <= 255) m_.threshold = values.threshold;
  ShowMembers();
}

void CDmxCodePage::OnTry() {
  if (!ExchangeFromControls()) return;
  pages::TrialRead trial(host_);
  CopyMembersToSettings();
  OverlayClear();
  data_->clear();

  const SettingsRecord s = host_.Settings();
  char data[kDecodeDataBytes] = {};
  int32_t position[8] = {};
  int32_t length = 0;
  const OverlayOrigin origin = host_.CurrentOverlayOrigin();
  const int32_t status = trial.DecodeDisplayed([&](DibImage picture) {
    return DecodeDataMatrix(picture, s, origin, data, kDecodeDataBytes, position, &length);
  });
  if (status != 0) {
    trial.ShowDecodeError(status);
  } else {
    data[kDecodeDataBytes - 1] = '\0';
    pages::ShowResult(data_, pages::DecodedText(std::string_view(data, strnlen(data, kDecodeDataBytes))));
  }
  time_->setText(trial.Finish());
}

}  // namespace vantrel

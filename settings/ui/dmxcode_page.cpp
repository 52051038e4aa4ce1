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

#include "vantrel/OvoDmx.h"
#include "vantrel/reading_cycle.h"
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

}  // namespace

CDmxCodePage::CDmxCodePage(PageHost& host, QWidget* parent) : SettingsPage(host, kTemplateId, parent) {
  BuildControls();
  OnInitDialog();
}

void CDmxCodePage::BuildControls() {
  using namespace pages;

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
  SetResultBoxes({data_});
  auto* resultLayout = new QGridLayout(result);
  resultLayout->addWidget(Label(result, "データ："), 0, 0);
  resultLayout->addWidget(data_, 0, 1);
  resultLayout->addWidget(Label(result, "処理時間："), 1, 0);
  resultLayout->addLayout(TimeRow(result), 1, 1);
  resultLayout->setColumnStretch(1, 1);

  auto* page = new QVBoxLayout(this);
  page->addWidget(settings);
  page->addWidget(result);
  page->addStretch();
  page->addLayout(ButtonRow());

  exchange_.WholeNumber(maxTime_, kMaxTimeLowest, kMaxTimeHighest, &m_.maxTime);
  exchange_.DecimalNumber(radius_, kRadiusLowest, kRadiusHighest, &m_.radius);
  exchange_.DecimalNumber(amount_, kAmountLowest, kAmountHighest, &m_.amount);
  exchange_.WholeNumber(threshold_, kThresholdLowest, kThresholdHighest, &m_.threshold);
  exchange_.Check(unsharp_, &m_.unsharp);

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
  exchange_.ToControls();
  // The tuning controls start enabled whatever the switch says; they follow
  // the switch from its first click.
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

void CDmxCodePage::OnUnsharpSwitch() {
  m_.unsharp = unsharp_->isChecked() ? 1 : 0;
  const bool on = m_.unsharp != 0;
  for (QWidget* w : std::initializer_list<QWidget*>{tune_, radius_, amount_, threshold_}) w->setEnabled(on);
}

void CDmxCodePage::OnTune() {
  if (!exchange_.FromControls()) return;

  // The dialog works on a picture of its own: the ring's slot is copied under
  // its lease, and the lease is let go before the dialog opens.
  DibPtr picture;
  {
    FrameRing::Lease slot = host_.Ring().ReadDisplayed();
    if (slot) picture.reset(DibDuplicate(slot.image()));
  }
  const int32_t w = DibGetWidth(picture.get()), h = DibGetHeight(picture.get());

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
  if (OvoDmxTuneWith(picture.get(), options, &values) != 0) return;

  m_.maxTime = values.maxTime;
  m_.radius = values.radius;
  m_.amount = values.amount;
  if (values.threshold >= 0 && values.threshold <= 255) m_.threshold = values.threshold;
  exchange_.ToControls();
}

void CDmxCodePage::ShowReading(const Reading& reading) {
  pages::ShowResult(data_, QString::fromStdString(ShownText(reading)));
}

}  // namespace vantrel

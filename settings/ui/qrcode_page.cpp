#include "qrcode_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cstring>

#include "page_common.h"
#include "vantrel/data_exchange.h"
#include "vantrel/overlay.h"

namespace vantrel {

namespace {
constexpr int32_t kThresholdLowest = 0;
constexpr int32_t kThresholdHighest = 255;
}  // namespace

CQRCodePage::CQRCodePage(PageHost& host, QWidget* parent) : QWidget(parent), host_(host) {
  ui::SetTemplateId(this, kTemplateId);
  BuildControls();
  OnInitDialog();
}

void CQRCodePage::BuildControls() {
  using namespace pages;
  setFixedSize(kPageWidth, kPageHeight);

  auto* binary = new QGroupBox(QString::fromUtf8("2値設定"), this);
  threshold_ = NumberedEdit(binary, kIdThreshold);
  threshold_->setFixedWidth(70);
  dark_ = NumberedCheckBox(binary, kIdDark, "QRコードが黒で印字");
  static const char* const names[3] = {"R", "G", "B"};
  static const int32_t ids[3] = {kIdRed, kIdGreen, kIdBlue};
  auto* group = new QButtonGroup(this);
  auto* colourRow = new QHBoxLayout;
  colourRow->addWidget(Label(binary, "対象成分："));
  for (int32_t i = 0; i < 3; ++i) {
    colours_[i] = new QRadioButton(QString::fromLatin1(names[i]), binary);
    ui::SetControlId(colours_[i], ids[i]);
    group->addButton(colours_[i], i);
    colourRow->addWidget(colours_[i]);
  }
  colourRow->addStretch();
  auto* thresholdRow = new QHBoxLayout;
  thresholdRow->addWidget(Label(binary, "しきい値："));
  thresholdRow->addWidget(threshold_);
  thresholdRow->addStretch();
  auto* binaryLayout = new QVBoxLayout(binary);
  binaryLayout->addLayout(thresholdRow);
  binaryLayout->addWidget(dark_);
  binaryLayout->addLayout(colourRow);

  auto* result = new QGroupBox(QString::fromUtf8("結果"), this);
  data_ = ReadOnlyBox(result, kIdData);
  version_ = ReadOnlyBox(result, kIdVersion);
  version_->setFixedWidth(90);
  level_ = ReadOnlyBox(result, kIdLevel);
  level_->setFixedWidth(90);
  time_ = ReadOnlyBox(result, kIdTime);
  time_->setFixedWidth(90);
  auto* resultLayout = new QGridLayout(result);
  resultLayout->addWidget(Label(result, "データ："), 0, 0);
  resultLayout->addWidget(data_, 0, 1);
  resultLayout->addWidget(Label(result, "バージョン："), 1, 0);
  resultLayout->addWidget(version_, 1, 1, Qt::AlignLeft);
  resultLayout->addWidget(Label(result, "レベル："), 2, 0);
  resultLayout->addWidget(level_, 2, 1, Qt::AlignLeft);
  resultLayout->addWidget(Label(result, "処理時間："), 3, 0);
  auto* timeRow = new QHBoxLayout;
  timeRow->addWidget(time_);
  timeRow->addWidget(Label(result, "msec"));
  timeRow->addStretch();
  resultLayout->addLayout(timeRow, 3, 1);
  resultLayout->setColumnStretch(1, 1);

  try_ = NumberedButton(this, kIdTry, "実行");
  apply_ = NumberedButton(this, kIdApply, "適用");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(try_);
  buttons->addWidget(apply_);

  auto* page = new QVBoxLayout(this);
  page->addWidget(binary);
  page->addWidget(result);
  page->addStretch();
  page->addLayout(buttons);

  connect(apply_, &QPushButton::clicked, this, [this] { OnApply(); });
  connect(try_, &QPushButton::clicked, this, [this] { OnTry(); });
}

void CQRCodePage::OnInitDialog() {
  const SettingsRecord s = host_.Settings();
  m_.threshold = s.QrThreshold;
  m_.dark = s.QRBlack;
  m_.colour = s.TargetColor;
  ShowMembers();
}

void CQRCodePage::ShowMembers() {
  ui::ShowWholeNumber(threshold_, m_.threshold);
  dark_->setChecked(m_.dark != 0);
  for (int32_t i = 0; i < 3; ++i) colours_[i]->setChecked(m_.colour == i);
}

bool CQRCodePage::ExchangeFromControls() {
  Members m = m_;
  if (!ui::ExchangeWholeNumber(threshold_, kThresholdLowest, kThresholdHighest, &m.threshold)) return false;
  m.dark = dark_->isChecked() ? 1 : 0;
  // A colour from the settings file that none of the buttons stands for stays
  // until one is chosen.
  for (int32_t i = 0; i < 3; ++i) {
    if (colours_[i]->isChecked()) m.colour = i;
  }
  m_ = m;
  return true;
}

void CQRCodePage::CopyMembersToSettings() {
  const Members m = m_;
  host_.EditSettings([&m](SettingsRecord& s) {
    s.QrThreshold = m.threshold;
    s.QRBlack = m.dark;
    s.TargetColor = m.colour;
  });
}

bool CQRCodePage::OnApply() {
  if (!ExchangeFromControls()) return false;
  CopyMembersToSettings();
  return true;
}

void CQRCodePage::OnTry() {
  if (!ExchangeFromControls()) return;
  pages::TrialRead trial(host_);
  CopyMembersToSettings();
  OverlayClear();
  data_->clear();
  version_->clear();
  level_->clear();

  const SettingsRecord s = host_.Settings();
  char version[50] = {};
  char level[50] = {};
  char data[kDecodeDataBytes] = {};
  int32_t position[8] = {};
  int32_t length = 0;
  const OverlayOrigin origin = host_.CurrentOverlayOrigin();
  const int32_t status = trial.DecodeDisplayed([&](DibImage picture) {
    return DecodeQrCode(picture, s, origin, kDataCapacity, version, level, position, data, &length);
  });
  if (status != 0) {
    trial.ShowDecodeError(status);
  } else {
    data[kDataCapacity - 1] = '\0';
    version[sizeof version - 1] = '\0';
    level[sizeof level - 1] = '\0';
    // A text as long as the capacity allows may end in half a character.
    int32_t n = static_cast<int32_t>(strnlen(data, kDataCapacity));
    if (n == kDataCapacity - 1) n = DropCutCharacter(data, n);
    pages::ShowResult(data_, pages::DecodedText(std::string_view(data, static_cast<size_t>(n))));
    pages::ShowResult(version_, QString::fromUtf8(version));
    pages::ShowResult(level_, QString::fromUtf8(level));
  }
  time_->setText(trial.Finish());
}

}  // namespace vantrel

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

#include "vantrel/reading_cycle.h"

namespace vantrel {

namespace {
constexpr int32_t kThresholdLowest = 0;
constexpr int32_t kThresholdHighest = 255;
}  // namespace

CQRCodePage::CQRCodePage(PageHost& host, QWidget* parent) : SettingsPage(host, kTemplateId, parent) {
  BuildControls();
  OnInitDialog();
}

void CQRCodePage::BuildControls() {
  using namespace pages;

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
  SetResultBoxes({data_, version_, level_});
  auto* resultLayout = new QGridLayout(result);
  resultLayout->addWidget(Label(result, "データ："), 0, 0);
  resultLayout->addWidget(data_, 0, 1);
  resultLayout->addWidget(Label(result, "バージョン："), 1, 0);
  resultLayout->addWidget(version_, 1, 1, Qt::AlignLeft);
  resultLayout->addWidget(Label(result, "レベル："), 2, 0);
  resultLayout->addWidget(level_, 2, 1, Qt::AlignLeft);
  resultLayout->addWidget(Label(result, "処理時間："), 3, 0);
  resultLayout->addLayout(TimeRow(result), 3, 1);
  resultLayout->setColumnStretch(1, 1);

  // Below the results, beside the buttons that apply it: the groups above
  // keep their places.
  robust_ = RobustBox(this);

  auto* page = new QVBoxLayout(this);
  page->addWidget(binary);
  page->addWidget(result);
  page->addStretch();
  page->addLayout(ButtonRow(robust_));

  exchange_.WholeNumber(threshold_, kThresholdLowest, kThresholdHighest, &m_.threshold);
  exchange_.Check(dark_, &m_.dark);
  // A colour from the settings file that none of the buttons stands for stays
  // until one is chosen.
  exchange_.Choice({colours_[0], colours_[1], colours_[2]}, &m_.colour);
  exchange_.Check(robust_, &m_.robust);
}

void CQRCodePage::OnInitDialog() {
  const SettingsRecord s = host_.Settings();
  m_.threshold = s.QrThreshold;
  m_.dark = s.QRBlack;
  m_.colour = s.TargetColor;
  m_.robust = s.QrRobust;
  exchange_.ToControls();
}

void CQRCodePage::CopyMembersToSettings() {
  const Members m = m_;
  host_.EditSettings([&m](SettingsRecord& s) {
    s.QrThreshold = m.threshold;
    s.QRBlack = m.dark;
    s.TargetColor = m.colour;
    s.QrRobust = m.robust;
  });
}

void CQRCodePage::ShowReading(const Reading& reading) {
  pages::ShowResult(data_, QString::fromStdString(ShownText(reading)));
  pages::ShowResult(version_, QString::number(reading.qrVersion));
  pages::ShowResult(level_, QString::fromUtf8(QrLevelText(reading.qrLevel)));
}

}  // namespace vantrel

#include "barcode_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstring>

#include "page_common.h"
#include "vantrel/data_exchange.h"
#include "vantrel/overlay.h"

namespace vantrel {

namespace {

constexpr int32_t kBoundLowest = 1;
constexpr int32_t kBoundHighest = 9999;
constexpr double kAngleLowest = 0.0;
constexpr double kAngleHighest = 180.0;
// The scan change reads at most this many characters of the angle box.
constexpr size_t kAngleChars = 9;

QFrame* Separator(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

int32_t Checked(const QCheckBox* box) { return box->isChecked() ? 1 : 0; }

}  // namespace

CBarCodePage::CBarCodePage(PageHost& host, QWidget* parent) : QWidget(parent), host_(host) {
  ui::SetTemplateId(this, kTemplateId);
  BuildControls();
  OnInitDialog();
}

void CBarCodePage::BuildControls() {
  using namespace pages;
  setFixedSize(kPageWidth, kPageHeight);

  jan8_ = NumberedCheckBox(this, kIdJan8, "JAN-8");
  jan13_ = NumberedCheckBox(this, kIdJan13, "JAN-13");
  itf_ = NumberedCheckBox(this, kIdItf, "ITF");
  code39_ = NumberedCheckBox(this, kIdCode39, "CODE-39");
  code128_ = NumberedCheckBox(this, kIdCode128, "CODE-128");
  nw7_ = NumberedCheckBox(this, kIdNw7, "NW-7");
  itfMin_ = NumberedEdit(this, kIdItfMin);
  itfMax_ = NumberedEdit(this, kIdItfMax);
  code39Min_ = NumberedEdit(this, kIdCode39Min);
  code39Max_ = NumberedEdit(this, kIdCode39Max);
  code128Min_ = NumberedEdit(this, kIdCode128Min);
  code128Max_ = NumberedEdit(this, kIdCode128Max);
  nw7Min_ = NumberedEdit(this, kIdNw7Min);
  nw7Max_ = NumberedEdit(this, kIdNw7Max);

  auto* codes = new QGridLayout;
  codes->addWidget(Label(this, "最小"), 0, 1, Qt::AlignHCenter);
  codes->addWidget(Label(this, "最大"), 0, 2, Qt::AlignHCenter);
  codes->addWidget(jan8_, 1, 0);
  codes->addWidget(jan13_, 2, 0);
  QCheckBox* const boxes[4] = {itf_, code39_, code128_, nw7_};
  QLineEdit* const lows[4] = {itfMin_, code39Min_, code128Min_, nw7Min_};
  QLineEdit* const highs[4] = {itfMax_, code39Max_, code128Max_, nw7Max_};
  for (int32_t i = 0; i < 4; ++i) {
    codes->addWidget(boxes[i], 3 + i, 0);
    codes->addWidget(lows[i], 3 + i, 1);
    codes->addWidget(highs[i], 3 + i, 2);
    lows[i]->setFixedWidth(70);
    highs[i]->setFixedWidth(70);
  }
  codes->setColumnStretch(0, 1);

  scanLevel_ = new QComboBox(this);
  ui::SetControlId(scanLevel_, kIdScanLevel);
  scanDegree_ = NumberedEdit(this, kIdScanDegree);
  scanDegree_->setFixedWidth(70);
  binarize_ = NumberedCheckBox(this, kIdBinarize, "2値化");
  guide_ = NumberedCheckBox(this, kIdGuide, "ガイド表示");

  auto* scan = new QGridLayout;
  scan->addWidget(Label(this, "スキャンレベル："), 0, 0);
  scan->addWidget(scanLevel_, 0, 1, Qt::AlignLeft);
  scan->addWidget(Label(this, "スキャン角度："), 1, 0);
  auto* angleRow = new QHBoxLayout;
  angleRow->addWidget(scanDegree_);
  angleRow->addWidget(Label(this, "度  [0 - 180]"));
  angleRow->addStretch();
  scan->addLayout(angleRow, 1, 1);
  auto* switches = new QHBoxLayout;
  switches->addWidget(binarize_);
  switches->addWidget(guide_);
  switches->addStretch();
  scan->addLayout(switches, 2, 0, 1, 2);
  scan->setColumnStretch(1, 1);

  data_ = ReadOnlyBox(this, kIdData);
  typeName_ = ReadOnlyBox(this, kIdTypeName);
  time_ = ReadOnlyBox(this, kIdTime);
  time_->setFixedWidth(90);
  auto* results = new QGridLayout;
  results->addWidget(Label(this, "データ："), 0, 0);
  results->addWidget(data_, 0, 1);
  results->addWidget(Label(this, "種類："), 1, 0);
  results->addWidget(typeName_, 1, 1);
  results->addWidget(Label(this, "処理時間："), 2, 0);
  auto* timeRow = new QHBoxLayout;
  timeRow->addWidget(time_);
  timeRow->addWidget(Label(this, "msec"));
  timeRow->addStretch();
  results->addLayout(timeRow, 2, 1);

  try_ = NumberedButton(this, kIdTry, "実行");
  apply_ = NumberedButton(this, kIdApply, "適用");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(try_);
  buttons->addWidget(apply_);

  auto* page = new QVBoxLayout(this);
  page->addLayout(codes);
  page->addWidget(Separator(this));
  page->addLayout(scan);
  page->addWidget(Separator(this));
  page->addLayout(results);
  page->addStretch();
  page->addLayout(buttons);

  connect(apply_, &QPushButton::clicked, this, [this] { OnApply(); });
  connect(try_, &QPushButton::clicked, this, [this] { OnTry(); });
  connect(scanLevel_, &QComboBox::currentIndexChanged, this, [this] { OnScanChange(); });
  connect(scanDegree_, &QLineEdit::textChanged, this, [this] { OnScanChange(); });
  connect(guide_, &QCheckBox::clicked, this, [this] { OnGuideChange(); });
}

void CBarCodePage::OnInitDialog() {
  filling_ = true;
  for (const char* item : {"1", "2", "3", "4"}) scanLevel_->addItem(QString::fromLatin1(item));
  const SettingsRecord s = host_.Settings();
  m_.jan8 = s.JAN8;
  m_.jan13 = s.JAN13;
  m_.itf = s.ITF;
  m_.itfMin = s.ITF_Min;
  m_.itfMax = s.ITF_Max;
  m_.code39 = s.CODE39;
  m_.code39Min = s.CODE39_Min;
  m_.code39Max = s.CODE39_Max;
  m_.code128 = s.CODE128;
  m_.code128Min = s.CODE128_Min;
  m_.code128Max = s.CODE128_Max;
  m_.nw7 = s.NW7;
  m_.nw7Min = s.NW7_Min;
  m_.nw7Max = s.NW7_Max;
  m_.scanLevelIndex = s.ScanLevel - 1;
  m_.scanDegree = s.ScanDegree;
  m_.autoBin = s.AutoBin;
  m_.guide = s.GuideLine;
  ShowMembers();
  filling_ = false;
}

void CBarCodePage::ShowMembers() {
  jan8_->setChecked(m_.jan8 != 0);
  jan13_->setChecked(m_.jan13 != 0);
  itf_->setChecked(m_.itf != 0);
  ui::ShowWholeNumber(itfMin_, m_.itfMin);
  ui::ShowWholeNumber(itfMax_, m_.itfMax);
  code39_->setChecked(m_.code39 != 0);
  ui::ShowWholeNumber(code39Min_, m_.code39Min);
  ui::ShowWholeNumber(code39Max_, m_.code39Max);
  code128_->setChecked(m_.code128 != 0);
  ui::ShowWholeNumber(code128Min_, m_.code128Min);
  ui::ShowWholeNumber(code128Max_, m_.code128Max);
  nw7_->setChecked(m_.nw7 != 0);
  ui::ShowWholeNumber(nw7Min_, m_.nw7Min);
  ui::ShowWholeNumber(nw7Max_, m_.nw7Max);
  // An index the list does not have leaves it without a selection, which
  // apply then refuses until a level is chosen.
  const bool listed = m_.scanLevelIndex >= 0 && m_.scanLevelIndex < scanLevel_->count();
  scanLevel_->setCurrentIndex(listed ? m_.scanLevelIndex : -1);
  ui::ShowDecimalNumber(scanDegree_, m_.scanDegree);
  binarize_->setChecked(m_.autoBin != 0);
  guide_->setChecked(m_.guide != 0);
}

bool CBarCodePage::ExchangeFromControls() {
  // In the order of the controls: the first refused value stops the exchange.
  Members m = m_;
  m.jan8 = Checked(jan8_);
  m.jan13 = Checked(jan13_);
  m.itf = Checked(itf_);
  if (!ui::ExchangeWholeNumber(itfMin_, kBoundLowest, kBoundHighest, &m.itfMin)) return false;
  if (!ui::ExchangeWholeNumber(itfMax_, kBoundLowest, kBoundHighest, &m.itfMax)) return false;
  m.code39 = Checked(code39_);
  if (!ui::ExchangeWholeNumber(code39Min_, kBoundLowest, kBoundHighest, &m.code39Min)) return false;
  if (!ui::ExchangeWholeNumber(code39Max_, kBoundLowest, kBoundHighest, &m.code39Max)) return false;
  m.code128 = Checked(code128_);
  if (!ui::ExchangeWholeNumber(code128Min_, kBoundLowest, kBoundHighest, &m.code128Min)) return false;
  if (!ui::ExchangeWholeNumber(code128Max_, kBoundLowest, kBoundHighest, &m.code128Max)) return false;
  m.nw7 = Checked(nw7_);
  if (!ui::ExchangeWholeNumber(nw7Min_, kBoundLowest, kBoundHighest, &m.nw7Min)) return false;
  if (!ui::ExchangeWholeNumber(nw7Max_, kBoundLowest, kBoundHighest, &m.nw7Max)) return false;
  if (!ui::ExchangeIndex(scanLevel_, 0, 3, &m.scanLevelIndex)) return false;
  if (!ui::ExchangeDecimalNumber(scanDegree_, kAngleLowest, kAngleHighest, &m.scanDegree)) return false;
  m.autoBin = Checked(binarize_);
  m.guide = Checked(guide_);
  m_ = m;
  return true;
}

void CBarCodePage::CopyMembersToSettings() {
  const Members m = m_;
  host_.EditSettings([&m](SettingsRecord& s) {
    s.JAN8 = m.jan8;
    s.JAN13 = m.jan13;
    s.ITF = m.itf;
    s.ITF_Min = m.itfMin;
    s.ITF_Max = m.itfMax;
    s.CODE39 = m.code39;
    s.CODE39_Min = m.code39Min;
    s.CODE39_Max = m.code39Max;
    s.CODE128 = m.code128;
    s.CODE128_Min = m.code128Min;
    s.CODE128_Max = m.code128Max;
    s.NW7 = m.nw7;
    s.NW7_Min = m.nw7Min;
    s.NW7_Max = m.nw7Max;
    s.ScanLevel = m.scanLevelIndex + 1;
    s.ScanDegree = m.scanDegree;
    s.AutoBin = m.autoBin;
    s.GuideLine = m.guide;
  });
}

bool CBarCodePage::OnApply() {
  if (!ExchangeFromControls()) return false;
  CopyMembersToSettings();
  return true;
}

void CBarCodePage::OnTry() {
  if (!ExchangeFromControls()) return;
  pages::TrialRead trial(host_);
  CopyMembersToSettings();
  OverlayClear();
  data_->clear();
  typeName_->clear();

  const SettingsRecord s = host_.Settings();
  if (s.JAN8 || s.JAN13 || s.ITF || s.CODE39 || s.CODE128 || s.NW7) {
    char typeName[20] = {};
    char data[kDecodeDataBytes] = {};
    int32_t position[4] = {};
    int32_t length = 0;
    const OverlayOrigin origin = host_.CurrentOverlayOrigin();
    const int32_t status = trial.DecodeDisplayed([&](DibImage picture) {
      return DecodeBarcode(picture, s, origin, typeName, &length, position, data);
    });
    if (status != 0) {
      trial.ShowDecodeError(status);
    } else {
      data[kDecodeDataBytes - 1] = '\0';
      typeName[sizeof typeName - 1] = '\0';
      pages::ShowResult(data_, pages::DecodedText(std::string_view(data, strnlen(data, kDecodeDataBytes))));
      pages::ShowResult(typeName_, QString::fromUtf8(typeName));
    }
  }
  time_->setText(trial.Finish());
}

void CBarCodePage::OnScanChange() {
  if (filling_) return;
  const int32_t index = scanLevel_->currentIndex();
  const double degree = ui::LeadingDecimal(scanDegree_->text().toStdString(), kAngleChars);
  host_.EditSettings([index, degree](SettingsRecord& s) {
    // A list without a selection keeps the level in force rather than store 0.
    if (index >= 0) s.ScanLevel = index + 1;
    s.ScanDegree = degree;
  });
  host_.RebuildGuideLines();
  host_.InvalidatePreview(false);
}

void CBarCodePage::OnGuideChange() {
  const int32_t on = Checked(guide_);
  host_.EditSettings([on](SettingsRecord& s) { s.GuideLine = on; });
  host_.InvalidatePreview(false);
}

}  // namespace vantrel

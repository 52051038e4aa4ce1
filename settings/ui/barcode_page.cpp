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

#include "vantrel/reading_cycle.h"

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

CBarCodePage::CBarCodePage(PageHost& host, QWidget* parent) : SettingsPage(host, kTemplateId, parent) {
  BuildControls();
  OnInitDialog();
}

void CBarCodePage::BuildControls() {
  using namespace pages;

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
  robust_ = RobustBox(this);

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
  switches->addWidget(robust_);
  switches->addStretch();
  scan->addLayout(switches, 2, 0, 1, 2);
  scan->setColumnStretch(1, 1);

  data_ = ReadOnlyBox(this, kIdData);
  typeName_ = ReadOnlyBox(this, kIdTypeName);
  SetResultBoxes({data_, typeName_});
  auto* results = new QGridLayout;
  results->addWidget(Label(this, "データ："), 0, 0);
  results->addWidget(data_, 0, 1);
  results->addWidget(Label(this, "種類："), 1, 0);
  results->addWidget(typeName_, 1, 1);
  results->addWidget(Label(this, "処理時間："), 2, 0);
  results->addLayout(TimeRow(this), 2, 1);

  auto* page = new QVBoxLayout(this);
  page->addLayout(codes);
  page->addWidget(Separator(this));
  page->addLayout(scan);
  page->addWidget(Separator(this));
  page->addLayout(results);
  page->addStretch();
  page->addLayout(ButtonRow());

  // In the order of the controls: the first refused value stops the exchange.
  exchange_.Check(jan8_, &m_.jan8);
  exchange_.Check(jan13_, &m_.jan13);
  exchange_.Check(itf_, &m_.itf);
  exchange_.WholeNumber(itfMin_, kBoundLowest, kBoundHighest, &m_.itfMin);
  exchange_.WholeNumber(itfMax_, kBoundLowest, kBoundHighest, &m_.itfMax);
  exchange_.Check(code39_, &m_.code39);
  exchange_.WholeNumber(code39Min_, kBoundLowest, kBoundHighest, &m_.code39Min);
  exchange_.WholeNumber(code39Max_, kBoundLowest, kBoundHighest, &m_.code39Max);
  exchange_.Check(code128_, &m_.code128);
  exchange_.WholeNumber(code128Min_, kBoundLowest, kBoundHighest, &m_.code128Min);
  exchange_.WholeNumber(code128Max_, kBoundLowest, kBoundHighest, &m_.code128Max);
  exchange_.Check(nw7_, &m_.nw7);
  exchange_.WholeNumber(nw7Min_, kBoundLowest, kBoundHighest, &m_.nw7Min);
  exchange_.WholeNumber(nw7Max_, kBoundLowest, kBoundHighest, &m_.nw7Max);
  // An index the list does not have leaves it without a selection, which
  // apply then refuses until a level is chosen.
  exchange_.Index(scanLevel_, 0, 3, &m_.scanLevelIndex);
  exchange_.DecimalNumber(scanDegree_, kAngleLowest, kAngleHighest, &m_.scanDegree);
  exchange_.Check(binarize_, &m_.autoBin);
  exchange_.Check(guide_, &m_.guide);
  exchange_.Check(robust_, &m_.robust);

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
  m_.robust = s.BcdRobust;
  exchange_.ToControls();
  filling_ = false;
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
    s.BcdRobust = m.robust;
  });
}

CodeKinds CBarCodePage::TrialKinds(const SettingsRecord& s) const {
  return (s.JAN8 || s.JAN13 || s.ITF || s.CODE39 || s.CODE128 || s.NW7) ? kReadBarcode : 0;
}

void CBarCodePage::ShowReading(const Reading& reading) {
  pages::ShowResult(data_, QString::fromStdString(ShownText(reading)));
  pages::ShowResult(typeName_, QString::fromStdString(reading.symbology));
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

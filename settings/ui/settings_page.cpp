#include "settings_page.h"

#include <cstdio>

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

#include "vantrel/decoder_status.h"
#include "vantrel/overlay.h"

namespace vantrel {

namespace pages {

namespace {
constexpr int32_t kIdTry = 1011;
constexpr int32_t kIdApply = 1029;
constexpr int32_t kIdTime = 1050;
}  // namespace

QLineEdit* NumberedEdit(QWidget* parent, int32_t id, int32_t maxLength) {
  auto* edit = new QLineEdit(parent);
  ui::SetControlId(edit, id);
  if (maxLength > 0) edit->setMaxLength(maxLength);
  return edit;
}

QLineEdit* ReadOnlyBox(QWidget* parent, int32_t id) {
  QLineEdit* edit = NumberedEdit(parent, id);
  edit->setReadOnly(true);
  edit->setFocusPolicy(Qt::ClickFocus);
  // Read-only boxes look it: the window's colour behind the text.
  QPalette palette = edit->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Window));
  edit->setPalette(palette);
  return edit;
}

void ShowResult(QLineEdit* box, const QString& text) {
  box->setText(text);
  box->setCursorPosition(0);  // a long text shows from its start
}

QCheckBox* NumberedCheckBox(QWidget* parent, int32_t id, const char* text) {
  auto* box = new QCheckBox(QString::fromUtf8(text), parent);
  ui::SetControlId(box, id);
  return box;
}

QPushButton* NumberedButton(QWidget* parent, int32_t id, const char* text) {
  auto* button = new QPushButton(QString::fromUtf8(text), parent);
  ui::SetControlId(button, id);
  button->setAutoDefault(false);
  return button;
}

QLabel* Label(QWidget* parent, const char* text) { return new QLabel(QString::fromUtf8(text), parent); }

std::string MillisecondsText(double milliseconds) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2lf", milliseconds);
  return text;
}

TrialRead::TrialRead(PageHost& host) : host_(host) {
  wait_.emplace();
  start_ = host_.Now();
}

TrialRead::~TrialRead() {
  if (!finished_) Finish();
}

Reading TrialRead::ReadDisplayed(CodeKinds kinds) {
  const SettingsRecord settings = host_.Settings();
  const OverlayOrigin origin = host_.CurrentOverlayOrigin();
  FrameRing::Lease slot = host_.Ring().ReadDisplayed();
  std::lock_guard<std::mutex> lock(host_.DecoderLock());
  Reading reading = ReadPicture(slot ? slot.image() : nullptr, settings, kinds).front();
  DrawReadingOutline(reading, origin);
  return reading;
}

void TrialRead::ShowDecodeError(int32_t status) {
  wait_.reset();
  host_.Message(DecodeErrorText(status), ui::MessageIcon::kNone, ui::MessageButtons::kOk);
}

QString TrialRead::Finish() {
  if (finished_) return QString();
  finished_ = true;
  const ui::Clock::time_point end = host_.Now();
  const QString text = QString::fromStdString(MillisecondsText(ui::ElapsedMilliseconds(start_, end)));
  host_.InvalidatePreview(false);
  wait_.reset();
  return text;
}

}  // namespace pages

SettingsPage::SettingsPage(PageHost& host, int32_t templateId, QWidget* parent) : QWidget(parent), host_(host) {
  ui::SetTemplateId(this, templateId);
  setFixedSize(pages::kPageWidth, pages::kPageHeight);
}

QCheckBox* SettingsPage::RobustBox(QWidget* parent) {
  return pages::NumberedCheckBox(parent, pages::kIdRobust, "強化読取");
}

QHBoxLayout* SettingsPage::TimeRow(QWidget* parent) {
  time_ = pages::ReadOnlyBox(parent, pages::kIdTime);
  time_->setFixedWidth(90);
  auto* row = new QHBoxLayout;
  row->addWidget(time_);
  row->addWidget(pages::Label(parent, "msec"));
  row->addStretch();
  return row;
}

QHBoxLayout* SettingsPage::ButtonRow(QWidget* left) {
  try_ = pages::NumberedButton(this, pages::kIdTry, "実行");
  apply_ = pages::NumberedButton(this, pages::kIdApply, "適用");
  auto* row = new QHBoxLayout;
  if (left != nullptr) row->addWidget(left);
  row->addStretch();
  row->addWidget(try_);
  row->addWidget(apply_);
  connect(apply_, &QPushButton::clicked, this, [this] { OnApply(); });
  connect(try_, &QPushButton::clicked, this, [this] { OnTry(); });
  return row;
}

bool SettingsPage::OnApply() {
  if (!exchange_.FromControls()) return false;
  CopyMembersToSettings();
  return true;
}

void SettingsPage::OnTry() {
  if (!exchange_.FromControls()) return;
  pages::TrialRead trial(host_);
  CopyMembersToSettings();
  OverlayClear();
  for (QLineEdit* box : resultBoxes_) box->clear();
  if (const CodeKinds kinds = TrialKinds(host_.Settings()); kinds != 0) {
    const Reading reading = trial.ReadDisplayed(kinds);
    if (reading.ok()) {
      ShowReading(reading);
      host_.TrialReadShown(reading);
    } else {
      trial.ShowDecodeError(reading.status);
    }
  }
  time_->setText(trial.Finish());
}

}  // namespace vantrel

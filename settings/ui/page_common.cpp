#include "page_common.h"

#include <cstdio>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

#include "vantrel/text_convert.h"

namespace vantrel::pages {

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

std::string DecodeErrorText(int32_t status) { return "DECODE ERROR = " + std::to_string(status); }

std::string MillisecondsText(double milliseconds) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2lf", milliseconds);
  return text;
}

QString DecodedText(std::string_view bytes) {
  return QString::fromStdString(DecodedBytesToUtf8(bytes));
}

TrialRead::TrialRead(PageHost& host) : host_(host) {
  wait_.emplace();
  start_ = host_.Now();
}

TrialRead::~TrialRead() {
  if (!finished_) Finish();
}

int32_t TrialRead::DecodeDisplayed(const std::function<int32_t(DibImage)>& decode) {
  FrameRing::Lease slot = host_.Ring().ReadDisplayed();
  std::lock_guard<std::mutex> lock(host_.DecoderLock());
  return decode(slot ? slot.image() : nullptr);
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

}  // namespace vantrel::pages

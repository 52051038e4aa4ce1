#include "vantrel/ui_kit.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QVariant>

namespace vantrel::ui {

namespace {
ScopedMessageAnswers* messageAnswers = nullptr;
ScopedFileAnswers* fileAnswers = nullptr;
ScopedManualClock* manualClock = nullptr;
int32_t waitDepth = 0;

const char* const kControlIdProperty = "controlId";
const char* const kTemplateIdProperty = "templateId";

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kInformation: return QMessageBox::Information;
    case MessageIcon::kWarning: return QMessageBox::Warning;
    case MessageIcon::kStop: return QMessageBox::Critical;
    case MessageIcon::kQuestion: return QMessageBox::Question;
    case MessageIcon::kNone: break;
  }
  return QMessageBox::NoIcon;
}

// The answer the box gives when it is closed without a button.
MessageResult EscapeAnswer(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::kOk: return MessageResult::kOk;
    case MessageButtons::kYesNo: return MessageResult::kNo;
    default: return MessageResult::kCancel;
  }
}
}  // namespace

// ---------------------------------------------------------------- message boxes

ScopedMessageAnswers::ScopedMessageAnswers(MessageResult fallback)
    : previous_(messageAnswers), fallback_(fallback) {
  messageAnswers = this;
}

ScopedMessageAnswers::~ScopedMessageAnswers() { messageAnswers = previous_; }

std::vector<std::string> ScopedMessageAnswers::texts() const {
  std::vector<std::string> out;
  for (const auto& r : requests_) out.push_back(r.text);
  return out;
}

MessageResult ScopedMessageAnswers::Answer(const MessageRequest& request) {
  requests_.push_back(request);
  if (handler_) return handler_(request);
  if (answers_.empty()) return fallback_;
  MessageResult a = answers_.front();
  answers_.pop_front();
  return a;
}

MessageResult ShowMessage(const MessageRequest& request) {
  if (messageAnswers) return messageAnswers->Answer(request);
  if (!QApplication::instance()) return EscapeAnswer(request.buttons);

  QMessageBox box(request.parent);
  box.setWindowTitle(Q(request.caption.empty() ? std::string("Vantrel") : request.caption));
  box.setText(Q(request.text));
  box.setIcon(ToQtIcon(request.icon));
  struct Choice {
    MessageResult result;
    const char* text;
    QMessageBox::ButtonRole role;
  };
  std::vector<Choice> choices;
  switch (request.buttons) {
    case MessageButtons::kOk:
      choices = {{MessageResult::kOk, "OK", QMessageBox::AcceptRole}};
      break;
    case MessageButtons::kOkCancel:
      choices = {{MessageResult::kOk, "OK", QMessageBox::AcceptRole},
                 {MessageResult::kCancel, "キャンセル", QMessageBox::RejectRole}};
      break;
    case MessageButtons::kYesNo:
      choices = {{MessageResult::kYes, "はい(&Y)", QMessageBox::YesRole},
                 {MessageResult::kNo, "いいえ(&N)", QMessageBox::NoRole}};
      break;
    case MessageButtons::kYesNoCancel:
      choices = {{MessageResult::kYes, "はい(&Y)", QMessageBox::YesRole},
                 {MessageResult::kNo, "いいえ(&N)", QMessageBox::NoRole},
                 {MessageResult::kCancel, "キャンセル", QMessageBox::RejectRole}};
      break;
    case MessageButtons::kRetryCancel:
      choices = {{MessageResult::kRetry, "再試行(&R)", QMessageBox::AcceptRole},
                 {MessageResult::kCancel, "キャンセル", QMessageBox::RejectRole}};
      break;
  }
  std::vector<QPushButton*> buttons;
  for (const auto& c : choices) buttons.push_back(box.addButton(QString::fromUtf8(c.text), c.role));
  box.setDefaultButton(buttons.front());
  // Escape (and the title bar) must give the box's cancel answer.
  for (size_t i = 0; i < choices.size(); ++i) {
    if (choices[i].result == EscapeAnswer(request.buttons)) box.setEscapeButton(buttons[i]);
  }
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (size_t i = 0; i < buttons.size(); ++i) {
    if (clicked == buttons[i]) return choices[i].result;
  }
  return EscapeAnswer(request.buttons);
}

MessageResult ShowMessage(QWidget* parent, const std::string& text, const std::string& caption,
                          MessageIcon icon, MessageButtons buttons) {
  MessageRequest r;
  r.parent = parent;
  r.text = text;
  r.caption = caption;
  r.icon = icon;
  r.buttons = buttons;
  return ShowMessage(r);
}

// ---------------------------------------------------------------- file dialogs

ScopedFileAnswers::ScopedFileAnswers() : previous_(fileAnswers) { fileAnswers = this; }
ScopedFileAnswers::~ScopedFileAnswers() { fileAnswers = previous_; }

std::optional<std::string> ScopedFileAnswers::Answer(const FileDialogRequest& request) {
  requests_.push_back(request);
  if (answers_.empty()) return std::nullopt;
  auto a = answers_.front();
  answers_.pop_front();
  return a;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool HasExtension(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const auto dot = name.find_last_of('.');
  // A leading dot names a hidden file, not an extension.
  return dot != std::string::npos && dot > 0 && dot + 1 < name.size();
}

namespace {
std::optional<std::string> RunFileDialog(const FileDialogRequest& request,
                                         const std::string& proposal) {
  if (fileAnswers) return fileAnswers->Answer(request);
  if (!QApplication::instance()) return std::nullopt;
  QFileDialog dialog(request.parent, Q(request.caption));
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // The overwrite question is ours, so that it speaks the station's language
  // and tests can answer it.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  QStringList filters;
  for (const auto& f : request.filters) filters << Q(f);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  if (!request.defaultSuffix.empty()) dialog.setDefaultSuffix(Q(request.defaultSuffix));
  if (!request.startFolder.empty()) dialog.setDirectory(Q(request.startFolder));
  if (!proposal.empty()) dialog.selectFile(Q(proposal));
  dialog.setLabelText(QFileDialog::LookIn, QString::fromUtf8("ファイルの場所:"));
  dialog.setLabelText(QFileDialog::FileName, QString::fromUtf8("ファイル名:"));
  dialog.setLabelText(QFileDialog::FileType, QString::fromUtf8("ファイルの種類:"));
  dialog.setLabelText(QFileDialog::Accept,
                      QString::fromUtf8(request.save ? "保存(&S)" : "開く(&O)"));
  dialog.setLabelText(QFileDialog::Reject, QString::fromUtf8("キャンセル"));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return S(chosen.front());
}
}  // namespace

std::optional<std::string> ChooseFile(const FileDialogRequest& request) {
  std::string proposal = request.fileName;
  for (;;) {
    FileDialogRequest shown = request;
    shown.fileName = proposal;
    std::optional<std::string> path = RunFileDialog(shown, proposal);
    if (!path || path->empty()) return std::nullopt;
    if (!request.defaultSuffix.empty() && !HasExtension(*path) && path->back() != '/')
      *path += "." + request.defaultSuffix;
    if (request.save && request.confirmOverwrite && QFileInfo::exists(Q(*path))) {
      const std::string name = S(QFileInfo(Q(*path)).fileName());
      const MessageResult answer =
          ShowMessage(request.parent, name + " は既に存在します。\n上書きしますか?",
                      request.caption.empty() ? std::string("名前を付けて保存") : request.caption,
                      MessageIcon::kWarning, MessageButtons::kYesNo);
      if (answer != MessageResult::kYes) {
        proposal = *path;
        continue;
      }
    }
    return path;
  }
}

// ---------------------------------------------------------------- wait cursor

WaitCursor::WaitCursor() {
  ++waitDepth;
  if (qobject_cast<QApplication*>(QCoreApplication::instance()))
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor() {
  --waitDepth;
  if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::restoreOverrideCursor();
}

int32_t WaitCursor::Depth() { return waitDepth; }

// ---------------------------------------------------------------- clock

Clock::time_point ClockNow() {
  if (manualClock) {
    const Clock::time_point t = manualClock->now_;
    manualClock->now_ += manualClock->step_;
    ++manualClock->readings_;
    return t;
  }
  return Clock::now();
}

double ElapsedMilliseconds(Clock::time_point start, Clock::time_point end) {
  return std::chrono::duration<double, std::milli>(end - start).count();
}

ScopedManualClock::ScopedManualClock(Clock::duration step, Clock::time_point start)
    : previous_(manualClock), now_(start), step_(step) {
  manualClock = this;
}

ScopedManualClock::~ScopedManualClock() { manualClock = previous_; }

// ---------------------------------------------------------------- control ids

void SetControlId(QWidget* widget, int32_t id) {
  if (!widget) return;
  widget->setObjectName(QString::number(id));
  widget->setProperty(kControlIdProperty, QVariant(static_cast<int>(id)));
}

void SetTemplateId(QWidget* widget, int32_t id) {
  if (!widget) return;
  SetControlId(widget, id);
  widget->setProperty(kTemplateIdProperty, QVariant(static_cast<int>(id)));
}

int32_t ControlIdOf(const QWidget* widget) {
  if (!widget) return -1;
  const QVariant v = widget->property(kControlIdProperty);
  bool ok = false;
  const int id = v.toInt(&ok);
  return v.isValid() && ok ? id : -1;
}

namespace {
QWidget* FindBelow(QWidget* parent, int32_t id) {
  for (QObject* child : parent->children()) {
    auto* w = qobject_cast<QWidget*>(child);
    if (!w) continue;
    if (ControlIdOf(w) == id) return w;
  }
  for (QObject* child : parent->children()) {
    auto* w = qobject_cast<QWidget*>(child);
    // A nested template keeps its numbers to itself; top-level windows owned
    // by this one (dialogs) are templates of their own as well.
    if (!w || w->property(kTemplateIdProperty).isValid() || w->isWindow()) continue;
    if (QWidget* found = FindBelow(w, id)) return found;
  }
  return nullptr;
}
}  // namespace

QWidget* FindControlWidget(QWidget* root, int32_t id) {
  if (!root) return nullptr;
  if (ControlIdOf(root) == id) return root;
  return FindBelow(root, id);
}

}  // namespace vantrel::ui

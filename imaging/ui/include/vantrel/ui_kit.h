// Small Qt services of the station that tests can answer: message boxes, file
// dialogs, the wait cursor, the clock and finding controls by their numbers.
//
// Every service has a real implementation on Qt and a hook a test installs
// (the Scoped* classes below) so that no test ever blocks in a modal dialog.
#ifndef VANTREL_UI_KIT_H
#define VANTREL_UI_KIT_H

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QString>
#include <QWidget>

namespace vantrel::ui {

// ---------------------------------------------------------------- message boxes

enum class MessageIcon : int32_t { kNone = 0, kInformation, kWarning, kStop, kQuestion };
enum class MessageButtons : int32_t { kOk = 0, kOkCancel, kYesNo, kYesNoCancel, kRetryCancel };
// The answers keep the values dialog results have always had on this station.
enum class MessageResult : int32_t { kNone = 0, kOk = 1, kCancel = 2, kRetry = 4, kYes = 6, kNo = 7 };

struct MessageRequest {
  QWidget* parent = nullptr;
  std::string text;     // UTF-8
  std::string caption;  // UTF-8; empty gives "Vantrel"
  MessageIcon icon = MessageIcon::kNone;
  MessageButtons buttons = MessageButtons::kOk;
};

// Shows a modal message box and returns the button pressed. Closing the box
// with Escape or the title bar gives kCancel when there is such a button
// (kNo for a bare Yes/No box, kOk for a bare OK box).
MessageResult ShowMessage(const MessageRequest& request);
MessageResult ShowMessage(QWidget* parent, const std::string& text, const std::string& caption,
                          MessageIcon icon = MessageIcon::kNone,
                          MessageButtons buttons = MessageButtons::kOk);

using MessageHandler = std::function<MessageResult(const MessageRequest&)>;

// While alive, message boxes are not shown: each request is recorded and
// answered with the next queued answer (or `fallback` when the queue is empty).
// Nests: the innermost scope answers.
class ScopedMessageAnswers {
 public:
  explicit ScopedMessageAnswers(MessageResult fallback = MessageResult::kOk);
  ~ScopedMessageAnswers();
  ScopedMessageAnswers(const ScopedMessageAnswers&) = delete;
  ScopedMessageAnswers& operator=(const ScopedMessageAnswers&) = delete;

  void Queue(MessageResult answer) { answers_.push_back(answer); }
  // Runs instead of answering, e.g. to look at the window while a box is up.
  void SetHandler(MessageHandler handler) { handler_ = std::move(handler); }
  const std::vector<MessageRequest>& requests() const { return requests_; }
  std::vector<std::string> texts() const;
  void clear() { requests_.clear(); }
  // Records the request and gives the next answer (what the box would).
  MessageResult Answer(const MessageRequest& request);

 private:
  ScopedMessageAnswers* previous_ = nullptr;
  MessageResult fallback_;
  std::deque<MessageResult> answers_;
  MessageHandler handler_;
  std::vector<MessageRequest> requests_;
};

// ---------------------------------------------------------------- file dialogs

struct FileDialogRequest {
  QWidget* parent = nullptr;
  bool save = false;            // false: open an existing file
  std::string caption;          // UTF-8; empty gives the toolkit's own
  // Name filters in the toolkit's form, one per entry, e.g.
  // "ビットマップ ファイル (*.bmp *.BMP)".
  std::vector<std::string> filters;
  std::string defaultSuffix;    // added to a chosen name that has no extension
  std::string startFolder;      // empty: the toolkit's choice
  std::string fileName;         // proposed name
  bool confirmOverwrite = false;  // save: ask before replacing an existing file
};

// The chosen path, or nothing after Cancel. The default suffix is added to a
// name without extension; with confirmOverwrite, choosing an existing file asks
// "…は既に存在します。\n上書きしますか?" (a message box, Yes/No, warning icon)
// and No goes back to the dialog.
std::optional<std::string> ChooseFile(const FileDialogRequest& request);

// What a dialog gave back: a path, or nothing for Cancel.
using FileDialogHandler = std::function<std::optional<std::string>(const FileDialogRequest&)>;

// While alive, file dialogs are not shown: each request is recorded and
// answered with the next queued answer (nothing when the queue is empty).
class ScopedFileAnswers {
 public:
  ScopedFileAnswers();
  ~ScopedFileAnswers();
  ScopedFileAnswers(const ScopedFileAnswers&) = delete;
  ScopedFileAnswers& operator=(const ScopedFileAnswers&) = delete;

  void Queue(std::optional<std::string> answer) { answers_.push_back(std::move(answer)); }
  const std::vector<FileDialogRequest>& requests() const { return requests_; }
  // Records the request and gives the next answer (what the dialog would).
  std::optional<std::string> Answer(const FileDialogRequest& request);

 private:
  ScopedFileAnswers* previous_ = nullptr;
  std::deque<std::optional<std::string>> answers_;
  std::vector<FileDialogRequest> requests_;
};

// The folder part of a path ("" for a bare name), and whether a name carries an
// extension after its last slash.
std::string FolderOf(const std::string& path);
bool HasExtension(const std::string& path);

// ---------------------------------------------------------------- wait cursor

// Shows the busy cursor over the application while alive. Nests.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
  // Wait cursors alive now (for tests).
  static int32_t Depth();
};

// ---------------------------------------------------------------- clock

using Clock = std::chrono::steady_clock;

// The time for measuring how long something took.
Clock::time_point ClockNow();
// (end - start) in milliseconds, with the fraction.
double ElapsedMilliseconds(Clock::time_point start, Clock::time_point end);

// While alive, ClockNow gives a time the test sets: it starts at `start`, moves
// on by `step` after every reading, and by Advance.
class ScopedManualClock {
 public:
  explicit ScopedManualClock(Clock::duration step = Clock::duration::zero(),
                             Clock::time_point start = Clock::time_point{});
  ~ScopedManualClock();
  ScopedManualClock(const ScopedManualClock&) = delete;
  ScopedManualClock& operator=(const ScopedManualClock&) = delete;

  void Advance(Clock::duration by) { now_ += by; }
  void SetStep(Clock::duration step) { step_ = step; }
  Clock::time_point now() const { return now_; }
  int32_t readings() const { return readings_; }

 private:
  friend Clock::time_point ClockNow();
  ScopedManualClock* previous_ = nullptr;
  Clock::time_point now_;
  Clock::duration step_;
  int32_t readings_ = 0;
};

// ---------------------------------------------------------------- control ids

// Control and dialog template numbers are the widgets' names: the object name
// is the number in decimal ("1030"), and the property "controlId" holds it.
// A template (a dialog or page) also gets the property "templateId".
void SetControlId(QWidget* widget, int32_t id);
void SetTemplateId(QWidget* widget, int32_t id);
// The widget's number, or -1.
int32_t ControlIdOf(const QWidget* widget);

// The widget with number `id` inside `root` (root itself included). The search
// does not go into templates nested inside root (a page inside the window keeps
// its own numbers), but finds such a template by its own number.
QWidget* FindControlWidget(QWidget* root, int32_t id);
template <typename T>
T* FindControl(QWidget* root, int32_t id) {
  return qobject_cast<T*>(FindControlWidget(root, id));
}

// Text conversions at the toolkit's edge.
inline QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }
inline std::string S(const QString& text) { return text.toStdString(); }

}  // namespace vantrel::ui

#endif

// What the three settings pages share: the page itself (its members bound to
// its controls, "適用" and "実行" with the trial's timing), the trial read on
// the displayed picture, and the make-up of their controls.
#ifndef VANTREL_SETTINGS_UI_SETTINGS_PAGE_H
#define VANTREL_SETTINGS_UI_SETTINGS_PAGE_H

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include <QString>
#include <QWidget>

#include "page_host.h"
#include "vantrel/data_exchange.h"
#include "vantrel/reading.h"

class QCheckBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantrel {

namespace pages {

// The robust reading's check box, the same on the barcode and QR pages.
constexpr int32_t kIdRobust = 1052;

// Size of each page inside the page frame.
constexpr int32_t kPageWidth = 330;
constexpr int32_t kPageHeight = 440;

// Controls named by their numbers.
QLineEdit* NumberedEdit(QWidget* parent, int32_t id, int32_t maxLength = 0);
// A read-only box for a result or a value set elsewhere.
QLineEdit* ReadOnlyBox(QWidget* parent, int32_t id);
// Puts a result into its box, showing the text from its start.
void ShowResult(QLineEdit* box, const QString& text);
QCheckBox* NumberedCheckBox(QWidget* parent, int32_t id, const char* text);
QPushButton* NumberedButton(QWidget* parent, int32_t id, const char* text);
QLabel* Label(QWidget* parent, const char* text);

// Milliseconds as the time box shows them: "%.2lf".
std::string MillisecondsText(double milliseconds);

// One trial read, from the click to the time shown. Construction shows the
// wait cursor and reads the clock; the reading runs on the displayed slot
// under its lease and the decoder lock, both let go before any message box;
// the end reads the clock again, repaints the preview (without erase, so the
// new outline shows) and restores the cursor.
class TrialRead {
 public:
  explicit TrialRead(PageHost& host);
  ~TrialRead();
  TrialRead(const TrialRead&) = delete;
  TrialRead& operator=(const TrialRead&) = delete;

  // Reads the displayed picture (none when the ring holds no picture) with
  // the settings in force and the given kinds; a code's outline goes into the
  // overlay store.
  Reading ReadDisplayed(CodeKinds kinds);
  // "DECODE ERROR = %d" with OK and no icon; returns when it is closed. The
  // cursor is the ordinary one while the box is up.
  void ShowDecodeError(int32_t status);
  // The milliseconds since construction, as the time box shows them; then the
  // preview repaint and the cursor. Call once.
  QString Finish();

 private:
  PageHost& host_;
  ui::Clock::time_point start_;
  std::optional<ui::WaitCursor> wait_;
  bool finished_ = false;
};

}  // namespace pages

// A settings page: built, named with its template number and filled from the
// settings by the page's own constructor; "適用" moves the controls into the
// members (the first refused value stops it) and the members into the
// settings; "実行" does the same and reads the displayed picture, showing the
// result or "DECODE ERROR = %d" and the time it all took.
class SettingsPage : public QWidget {
 public:
  bool OnApply();
  void OnTry();

 protected:
  SettingsPage(PageHost& host, int32_t templateId, QWidget* parent);

  // The members into the settings record (under the host's settings lock).
  virtual void CopyMembersToSettings() = 0;
  // The kinds a trial reads with the settings just applied; none: no reading,
  // only the time.
  virtual CodeKinds TrialKinds(const SettingsRecord& settings) const = 0;
  // A code the trial read, into the page's result boxes.
  virtual void ShowReading(const Reading& reading) = 0;

  // "強化読取" (control 1052), the switch of the decoder's robust reading.
  // Bound as a check (1 ticked, 0 not), it shows any value but 0 from the
  // settings file ticked, as the decoders take it.
  static QCheckBox* RobustBox(QWidget* parent);

  // The result boxes a trial empties first.
  void SetResultBoxes(std::initializer_list<QLineEdit*> boxes) { resultBoxes_ = boxes; }
  // "処理時間：" box (1050) and "msec", and the row of "実行" (1011) and
  // "適用" (1029), both wired to the page, at its right end (a control of
  // the page's may stand at its left).
  QHBoxLayout* TimeRow(QWidget* parent);
  QHBoxLayout* ButtonRow(QWidget* left = nullptr);

  PageHost& host_;
  ui::DataExchange exchange_;
  QLineEdit* time_ = nullptr;
  QPushButton* try_ = nullptr;
  QPushButton* apply_ = nullptr;

 private:
  std::vector<QLineEdit*> resultBoxes_;
};

}  // namespace vantrel

#endif

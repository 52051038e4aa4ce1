// What the three settings pages share: their controls' make-up and the frame
// of a trial read ("実行") on the displayed picture.
#ifndef VANTREL_SETTINGS_UI_PAGE_COMMON_H
#define VANTREL_SETTINGS_UI_PAGE_COMMON_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <QString>

#include "page_host.h"
#include "vantrel/dib.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace vantrel::pages {

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

// "DECODE ERROR = %d"
std::string DecodeErrorText(int32_t status);
// Milliseconds as the time box shows them: "%.2lf".
std::string MillisecondsText(double milliseconds);
// Decoded bytes as a box shows them (UTF-8, else Shift JIS, else Latin-1).
QString DecodedText(std::string_view bytes);

// One trial read, from the click to the time shown. Construction shows the
// wait cursor and reads the clock; the decode runs on the displayed slot under
// its lease and the decoder lock, both let go before any message box; the
// end reads the clock again, repaints the preview (without erase, so the new
// outline shows) and restores the cursor.
class TrialRead {
 public:
  explicit TrialRead(PageHost& host);
  ~TrialRead();
  TrialRead(const TrialRead&) = delete;
  TrialRead& operator=(const TrialRead&) = delete;

  // Runs `decode` on the image of the displayed slot (null when the ring holds
  // no picture) and returns its status.
  int32_t DecodeDisplayed(const std::function<int32_t(DibImage)>& decode);
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

}  // namespace vantrel::pages

#endif

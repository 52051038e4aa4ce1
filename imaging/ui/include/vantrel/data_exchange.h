// Moving values between dialog controls and their members, with the range
// checks and messages the station's dialogs have always used:
// "%1 から %2 までの整数を入力してください。" for whole numbers and
// "%1 から %2 までの数字を入力してください。" for decimals, in a message box
// with the exclamation icon, after which the offending control has the focus.
// A text that is not a number at all gets the same message: it says what the
// box takes.
#ifndef VANTREL_DATA_EXCHANGE_H
#define VANTREL_DATA_EXCHANGE_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QAbstractButton;
class QComboBox;
class QLineEdit;
class QWidget;

namespace vantrel::ui {

// A whole number as the boxes take it: blanks around it, an optional sign,
// decimal digits, nothing else, within 32 bits.
std::optional<int32_t> ParseWholeNumber(std::string_view text);
// A decimal number: blanks around it, an optional sign, digits with an optional
// point and exponent (a point, never a comma, whatever the locale). Infinities
// and NaN are not numbers here.
std::optional<double> ParseDecimalNumber(std::string_view text);
// How a decimal member shows in its box: up to 15 significant digits, no
// trailing zeros ("90", "0.1", "7.25").
std::string FormatDecimalNumber(double value);
// How a decimal bound shows in the range message (as in the box).
std::string WholeRangeMessage(int32_t lowest, int32_t highest);
std::string DecimalRangeMessage(double lowest, double highest);

// The number at the start of a text, as a C runtime's atof reads it: leading
// blanks, sign, digits, point, exponent; 0 when there is none. Only the first
// `maxChars` characters count. Too large a number gives the largest finite
// value of its sign; infinities and NaN count as none.
double LeadingDecimal(std::string_view text, size_t maxChars);

// Control to member. False, with the range message shown and the focus (and
// the selection) on the control, when the value is refused; the member then
// keeps its value.
bool ExchangeWholeNumber(QLineEdit* edit, int32_t lowest, int32_t highest, int32_t* member);
bool ExchangeDecimalNumber(QLineEdit* edit, double lowest, double highest, double* member);
// A list's selected index; no selection is refused like a number out of range.
bool ExchangeIndex(QComboBox* list, int32_t lowest, int32_t highest, int32_t* member);

// Member to control.
void ShowWholeNumber(QLineEdit* edit, int32_t value);
void ShowDecimalNumber(QLineEdit* edit, double value);

// A dialog's members bound to its controls, in the order of the controls, for
// the exchange both ways. FromControls reads every control in that order; the
// first value refused shows its range message, puts the focus on its control
// and leaves every member as it was; otherwise all members take their values
// at once. ToControls shows the members. The controls and members must
// outlive the bindings.
class DataExchange {
 public:
  // A check box: 1 ticked, 0 not.
  void Check(QAbstractButton* box, int32_t* member);
  void WholeNumber(QLineEdit* edit, int32_t lowest, int32_t highest, int32_t* member);
  void DecimalNumber(QLineEdit* edit, double lowest, double highest, double* member);
  // A list's selection. A member the list has no item for shows as no
  // selection, which FromControls then refuses until one is chosen.
  void Index(QComboBox* list, int32_t lowest, int32_t highest, int32_t* member);
  // Radio buttons: the index of the one ticked. With none ticked (a value
  // none of them stands for) the member keeps its value.
  void Choice(std::vector<QAbstractButton*> buttons, int32_t* member);

  bool FromControls();
  void ToControls();

 private:
  struct Binding {
    // The member's new value as a step to take, or an empty step when refused.
    std::function<std::function<void()>()> read;
    std::function<void()> show;
  };
  std::vector<Binding> bindings_;
};

}  // namespace vantrel::ui

#endif

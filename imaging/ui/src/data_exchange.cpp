#include "vantrel/data_exchange.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>

#include "vantrel/ui_kit.h"

namespace vantrel::ui {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The longest prefix of `text` that reads as a decimal number (sign, digits,
// point, exponent), and its length; 0 when none does.
size_t DecimalPrefix(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && IsDigit(text[j])) {
      while (j < text.size() && IsDigit(text[j])) ++j;
      i = j;
    }
  }
  return i;
}

// The value of a prefix DecimalPrefix accepted. Overflow gives the largest
// finite value of the sign, underflow 0.
double ValueOf(std::string_view number) {
  bool negative = false;
  if (!number.empty() && (number.front() == '+' || number.front() == '-')) {
    negative = number.front() == '-';
    number.remove_prefix(1);
  }
  double v = 0.0;
  const auto r = std::from_chars(number.data(), number.data() + number.size(), v,
                                 std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    // from_chars leaves v alone: tell a huge number from a tiny one by its exponent.
    const size_t e = number.find_first_of("eE");
    const bool tiny = e != std::string_view::npos && e + 1 < number.size() && number[e + 1] == '-';
    v = tiny ? 0.0 : DBL_MAX;
  } else if (r.ec != std::errc()) {
    v = 0.0;
  }
  return negative ? -v : v;
}

std::string Narrow(const QString& text) { return text.toStdString(); }

void Refuse(QWidget* control, const std::string& message) {
  ShowMessage(control ? control->window() : nullptr, message, std::string(), MessageIcon::kWarning,
              MessageButtons::kOk);
  if (control) {
    control->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->selectAll();
  }
}

}  // namespace

std::optional<int32_t> ParseWholeNumber(std::string_view text) {
  text = Trimmed(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  int64_t v = 0;
  for (char c : text) {
    if (!IsDigit(c)) return std::nullopt;
    v = v * 10 + (c - '0');
    if (v > int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return std::nullopt;
  return static_cast<int32_t>(v);
}

std::optional<double> ParseDecimalNumber(std::string_view text) {
  text = Trimmed(text);
  const size_t n = DecimalPrefix(text);
  if (n == 0 || n != text.size()) return std::nullopt;
  // A number too large for a double comes back as the largest one, which
  // every range refuses.
  return ValueOf(text);
}

std::string FormatDecimalNumber(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

std::string WholeRangeMessage(int32_t lowest, int32_t highest) {
  return std::to_string(lowest) + " から " + std::to_string(highest) + " までの整数を入力してください。";
}

std::string DecimalRangeMessage(double lowest, double highest) {
  return FormatDecimalNumber(lowest) + " から " + FormatDecimalNumber(highest) +
         " までの数字を入力してください。";
}

double LeadingDecimal(std::string_view text, size_t maxChars) {
  if (text.size() > maxChars) text = text.substr(0, maxChars);
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  const size_t n = DecimalPrefix(text);
  return n == 0 ? 0.0 : ValueOf(text.substr(0, n));
}

bool ExchangeWholeNumber(QLineEdit* edit, int32_t lowest, int32_t highest, int32_t* member) {
  const std::optional<int32_t> v = edit ? ParseWholeNumber(Narrow(edit->text())) : std::nullopt;
  if (!v || *v < lowest || *v > highest) {
    Refuse(edit, WholeRangeMessage(lowest, highest));
    return false;
  }
  *member = *v;
  return true;
}

bool ExchangeDecimalNumber(QLineEdit* edit, double lowest, double highest, double* member) {
  const std::optional<double> v = edit ? ParseDecimalNumber(Narrow(edit->text())) : std::nullopt;
  if (!v || !(*v >= lowest && *v <= highest)) {
    Refuse(edit, DecimalRangeMessage(lowest, highest));
    return false;
  }
  *member = *v;
  return true;
}

bool ExchangeIndex(QComboBox* list, int32_t lowest, int32_t highest, int32_t* member) {
  const int32_t v = list ? list->currentIndex() : -1;
  if (v < lowest || v > highest) {
    Refuse(list, WholeRangeMessage(lowest, highest));
    return false;
  }
  *member = v;
  return true;
}

void ShowWholeNumber(QLineEdit* edit, int32_t value) {
  if (edit) edit->setText(QString::number(value));
}

void ShowDecimalNumber(QLineEdit* edit, double value) {
  if (edit) edit->setText(QString::fromStdString(FormatDecimalNumber(value)));
}

void DataExchange::Check(QAbstractButton* box, int32_t* member) {
  bindings_.push_back(Binding{[box, member]() -> std::function<void()> {
                                const int32_t v = box->isChecked() ? 1 : 0;
                                return [member, v] { *member = v; };
                              },
                              [box, member] { box->setChecked(*member != 0); }});
}

void DataExchange::WholeNumber(QLineEdit* edit, int32_t lowest, int32_t highest, int32_t* member) {
  bindings_.push_back(Binding{[=]() -> std::function<void()> {
                                int32_t v = 0;
                                if (!ExchangeWholeNumber(edit, lowest, highest, &v)) return {};
                                return [member, v] { *member = v; };
                              },
                              [edit, member] { ShowWholeNumber(edit, *member); }});
}

void DataExchange::DecimalNumber(QLineEdit* edit, double lowest, double highest, double* member) {
  bindings_.push_back(Binding{[=]() -> std::function<void()> {
                                double v = 0;
                                if (!ExchangeDecimalNumber(edit, lowest, highest, &v)) return {};
                                return [member, v] { *member = v; };
                              },
                              [edit, member] { ShowDecimalNumber(edit, *member); }});
}

void DataExchange::Index(QComboBox* list, int32_t lowest, int32_t highest, int32_t* member) {
  bindings_.push_back(Binding{[=]() -> std::function<void()> {
                                int32_t v = 0;
                                if (!ExchangeIndex(list, lowest, highest, &v)) return {};
                                return [member, v] { *member = v; };
                              },
                              [list, member] {
                                const bool listed = *member >= 0 && *member < list->count();
                                list->setCurrentIndex(listed ? *member : -1);
                              }});
}

void DataExchange::Choice(std::vector<QAbstractButton*> buttons, int32_t* member) {
  bindings_.push_back(Binding{[buttons, member]() -> std::function<void()> {
                                for (size_t i = 0; i < buttons.size(); ++i) {
                                  if (buttons[i]->isChecked()) {
                                    const auto v = static_cast<int32_t>(i);
                                    return [member, v] { *member = v; };
                                  }
                                }
                                return [] {};
                              },
                              [buttons, member] {
                                for (size_t i = 0; i < buttons.size(); ++i) {
                                  buttons[i]->setChecked(*member == static_cast<int32_t>(i));
                                }
                              }});
}

bool DataExchange::FromControls() {
  std::vector<std::function<void()>> steps;
  steps.reserve(bindings_.size());
  for (const Binding& b : bindings_) {
    std::function<void()> step = b.read();
    if (!step) return false;
    steps.push_back(std::move(step));
  }
  for (const auto& step : steps) step();
  return true;
}

void DataExchange::ToControls() {
  for (const Binding& b : bindings_) b.show();
}

}  // namespace vantrel::ui

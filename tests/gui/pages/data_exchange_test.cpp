// The number rules of the dialogs' boxes and the tuning dialog's arithmetic.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <optional>
#include <string>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include <vector>

#include "vantrel/data_exchange.h"
#include "vantrel/ui_kit.h"
#include "vantrel/unsharp_tune_rules.h"

namespace vantrel::test {
namespace {

using ui::ParseDecimalNumber;
using ui::ParseWholeNumber;

TEST(DataExchangeTest, WholeNumbersAsTheBoxesTakeThem) {
  const struct {
    const char* text;
    std::optional<int32_t> value;
  } cases[] = {
      {"1", 1},           {" 42 ", 42},          {"\t9999\n", 9999},   {"+7", 7},
      {"-3", -3},         {"007", 7},            {"", std::nullopt},   {"   ", std::nullopt},
      {"+", std::nullopt}, {"1.5", std::nullopt}, {"12a", std::nullopt}, {"1 2", std::nullopt},
      {"0x10", std::nullopt}, {"2147483647", 2147483647}, {"2147483648", std::nullopt},
      {"-2147483648", INT32_MIN}, {"-2147483649", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"\xEF\xBC\x91", std::nullopt},  // a full-width digit one
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseWholeNumber(c.text), c.value) << '"' << c.text << '"';
  }
}

TEST(DataExchangeTest, DecimalNumbersWithAPointInAnyLocale) {
  const struct {
    const char* text;
    std::optional<double> value;
  } cases[] = {
      {"90", 90.0},         {" 180 ", 180.0},      {"0.5", 0.5},          {".5", 0.5},
      {"5.", 5.0},          {"-0.25", -0.25},      {"+12.5", 12.5},       {"1e2", 100.0},
      {"2.5E-1", 0.25},     {"1,5", std::nullopt}, {"", std::nullopt},    {".", std::nullopt},
      {"e5", std::nullopt}, {"inf", std::nullopt}, {"nan", std::nullopt}, {"1e", std::nullopt},
      {"12abc", std::nullopt}, {"1e999", DBL_MAX}, {"-1e999", -DBL_MAX}, {"1e-999", 0.0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseDecimalNumber(c.text), c.value) << '"' << c.text << '"';
  }
}

TEST(DataExchangeTest, LeadingNumberOfTheScanAngleBox) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"200", 200.0},   {"45.5", 45.5},    {"12abc", 12.0},  {"abc", 0.0},      {"", 0.0},
      {"  30", 30.0},   {"-5", -5.0},      {"1.5e", 1.5},    {"1e2x", 100.0},   {"inf", 0.0},
      {"nan", 0.0},     {".", 0.0},        {"+.5", 0.5},
      {"1234567890", 123456789.0},  // only nine characters count
      {"12345678.9", 12345678.0},
      {"1e999", DBL_MAX},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ui::LeadingDecimal(c.text, 9), c.value) << '"' << c.text << '"';
  }
}

TEST(DataExchangeTest, RangeMessagesAndDecimalTexts) {
  EXPECT_EQ(ui::WholeRangeMessage(1, 9999), "1 から 9999 までの整数を入力してください。");
  EXPECT_EQ(ui::WholeRangeMessage(0, 255), "0 から 255 までの整数を入力してください。");
  EXPECT_EQ(ui::DecimalRangeMessage(0.0, 180.0), "0 から 180 までの数字を入力してください。");
  EXPECT_EQ(ui::DecimalRangeMessage(0.0, 120.0), "0 から 120 までの数字を入力してください。");
  for (const auto& [v, text] : {std::pair{90.0, "90"}, {0.1, "0.1"}, {7.25, "7.25"}, {0.0, "0"},
                                {45.5, "45.5"}, {-3.0, "-3"}}) {
    EXPECT_EQ(ui::FormatDecimalNumber(v), text);
    EXPECT_EQ(ParseDecimalNumber(text), v);
  }
}

using namespace dmxtune;

TEST(UnsharpTuneRulesTest, ScrollMaximaForPictureSizes) {
  EXPECT_EQ(ScrollMaximum(640, kPreviewWidth), 230);
  EXPECT_EQ(ScrollMaximum(480, kPreviewHeight), 230);
  EXPECT_EQ(ScrollMaximum(320, kPreviewWidth), 0);
  EXPECT_EQ(ScrollMaximum(240, kPreviewHeight), 0);
  EXPECT_EQ(ScrollMaximum(410, kPreviewWidth), 0);
  EXPECT_EQ(ScrollMaximum(411, kPreviewWidth), 1);
  EXPECT_EQ(ScrollMaximum(0, kPreviewWidth), 0);
}

TEST(UnsharpTuneRulesTest, ScrollPositionTable) {
  const struct {
    int32_t code, p, m, sent, expected;
  } cases[] = {
      {kLineUp, 5, 230, 0, 4},          {kLineUp, 0, 230, 0, 0},
      {kLineDown, 229, 230, 0, 230},    {kLineDown, 230, 230, 0, 230},
      {kPageUp, 5, 230, 0, 0},          {kPageUp, 20, 230, 0, 9},
      {kPageDown, 225, 230, 0, 230},    {kPageDown, 100, 230, 0, 111},
      {kThumbPosition, 3, 230, 120, 120}, {kThumbTrack, 3, 230, 77, 77},
      {kThumbTrack, 3, 230, 900, 230},  {kThumbTrack, 3, 230, -4, 0},
      {kTop, 150, 230, 0, 0},           {kBottom, 10, 230, 0, 230},
      {kEndScroll, 42, 230, 0, 42},     {99, 42, 230, 7, 42},
      {kPageDown, 0, 0, 0, 0},          {kBottom, 0, 0, 0, 0},
      {kLineDown, 2147483647, 2147483647, 0, 2147483647},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NextScrollPosition(c.code, c.p, c.m, c.sent), c.expected)
        << "code " << c.code << " from " << c.p << " of " << c.m;
  }
}

TEST(UnsharpTuneRulesTest, OnlyPageStepsAndTheReleaseRunTheFilter) {
  for (int32_t code = -1; code <= 9; ++code) {
    EXPECT_EQ(TrackbarRunsFilter(code), code == kPageUp || code == kPageDown || code == kThumbPosition)
        << code;
  }
}

TEST(UnsharpTuneRulesTest, SlidersShowTheirValuesAtTheNearestPosition) {
  EXPECT_EQ(SliderPosition(kAmountSlider, 0.29), 29);  // 0.29 * 100 is just below 29
  EXPECT_EQ(SliderPosition(kRadiusSlider, 7.0), 70);
  EXPECT_EQ(SliderPosition(kRadiusSlider, 0.0), 1);
  EXPECT_EQ(SliderPosition(kRadiusSlider, 500.0), 1200);
  EXPECT_EQ(SliderPosition(kAmountSlider, -1.0), 0);
  EXPECT_EQ(SliderPosition(kAmountSlider, std::nan("")), 0);
  EXPECT_EQ(SliderPosition(kThresholdSlider, 255.0), 255);
  // Every position's value comes back to the same position.
  for (const SliderScale* s : {&kRadiusSlider, &kAmountSlider, &kThresholdSlider}) {
    for (int32_t p = s->minimum; p <= s->maximum; ++p) {
      ASSERT_EQ(SliderPosition(*s, SliderValue(*s, p)), p);
      ASSERT_TRUE(SliderValueValid(*s, SliderValue(*s, p))) << p;
    }
  }
  EXPECT_FALSE(SliderValueValid(kRadiusSlider, 0.05));
  EXPECT_FALSE(SliderValueValid(kAmountSlider, 10.01));
  EXPECT_FALSE(SliderValueValid(kRadiusSlider, std::nan("")));
  EXPECT_EQ(RadiusText(7.0), "7.0");
  EXPECT_EQ(AmountText(0.29), "0.29");
  EXPECT_EQ(ThresholdText(12), "12");
}

}  // namespace
}  // namespace vantrel::test

namespace vantrel::test {
namespace {

TEST(DataExchangeBindings, AllMembersTakeTheirValuesOrNone) {
  QWidget dialog;
  auto* box = new QCheckBox(&dialog);
  auto* whole = new QLineEdit(&dialog);
  auto* decimal = new QLineEdit(&dialog);
  auto* list = new QComboBox(&dialog);
  list->addItems({"1", "2", "3"});
  QRadioButton* radios[2] = {new QRadioButton(&dialog), new QRadioButton(&dialog)};
  struct {
    int32_t check = 1, number = 5, index = 2, choice = 1;
    double value = 0.5;
  } m;
  ui::DataExchange exchange;
  exchange.Check(box, &m.check);
  exchange.WholeNumber(whole, 1, 9, &m.number);
  exchange.DecimalNumber(decimal, 0.0, 1.0, &m.value);
  exchange.Index(list, 0, 2, &m.index);
  exchange.Choice({radios[0], radios[1]}, &m.choice);
  dialog.show();

  exchange.ToControls();
  EXPECT_TRUE(box->isChecked());
  EXPECT_EQ(whole->text(), "5");
  EXPECT_EQ(decimal->text(), "0.5");
  EXPECT_EQ(list->currentIndex(), 2);
  EXPECT_TRUE(radios[1]->isChecked());

  // A refused value after accepted ones: the message, the focus on its box,
  // and not one member changed.
  ui::ScopedMessageAnswers answers;
  box->setChecked(false);
  whole->setText("7");
  decimal->setText("1.5");
  EXPECT_FALSE(exchange.FromControls());
  EXPECT_EQ(answers.texts(), std::vector<std::string>{"0 から 1 までの数字を入力してください。"});
  EXPECT_EQ(dialog.focusWidget(), decimal);
  EXPECT_EQ(m.check, 1);
  EXPECT_EQ(m.number, 5);

  decimal->setText("0.25");
  list->setCurrentIndex(0);
  radios[0]->setChecked(true);
  EXPECT_TRUE(exchange.FromControls());
  EXPECT_EQ(m.check, 0);
  EXPECT_EQ(m.number, 7);
  EXPECT_EQ(m.value, 0.25);
  EXPECT_EQ(m.index, 0);
  EXPECT_EQ(m.choice, 0);

  // A member the list has no item for shows as no selection, which is refused.
  m.index = 5;
  exchange.ToControls();
  EXPECT_EQ(list->currentIndex(), -1);
  answers.clear();
  EXPECT_FALSE(exchange.FromControls());
  EXPECT_EQ(answers.texts(), std::vector<std::string>{"0 から 2 までの整数を入力してください。"});
  EXPECT_EQ(m.index, 5);
}

}  // namespace
}  // namespace vantrel::test

// The barcode settings page with a stand-in host: its checks, apply, the
// trial read and the controls that act on the preview at once.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <chrono>
#include <string>
#include <vector>

#include "barcode/pictures.h"
#include "page_fixture.h"
#include "settings/ui/barcode_page.h"
#include "vantrel/guide_lines.h"
#include "vantrel/overlay.h"

namespace vantrel::test {
namespace {

using Page = CBarCodePage;
using namespace std::chrono_literals;

int32_t OverlayLines() { return OverlayLineCount(); }

class BarCodePageTest : public PageTest<Page> {
 protected:
  void SetUp() override {
    jan13_ = SymbolFrame({"-b", "EANX"}, "490123456789", 3.0);
    MakeBench(jan13_.get());
    SetGuideRepaint({});
  }
  void TearDown() override {
    PageTest<Page>::TearDown();
    guideStarts.clear();
    guideEnds.clear();
  }

  QCheckBox* Box(int32_t id) { return Control<QCheckBox>(page_.get(), id); }
  QComboBox* Levels() { return Control<QComboBox>(page_.get(), Page::kIdScanLevel); }

  DibPtr jan13_;
};

TEST_F(BarCodePageTest, ShowsTheSettingsAndLeavesTheLoadedScanAsItIs) {
  SettingsRecord s;
  s.JAN8 = 0;
  s.ITF_Min = 6;
  s.NW7_Max = 77;
  s.ScanLevel = 3;
  s.ScanDegree = 45.5;
  s.AutoBin = 1;
  s.GuideLine = 0;
  Make(s);
  EXPECT_EQ(page_->property("templateId").toInt(), 1000);
  EXPECT_FALSE(Box(Page::kIdJan8)->isChecked());
  EXPECT_TRUE(Box(Page::kIdJan13)->isChecked());
  EXPECT_EQ(Edit(Page::kIdItfMin)->text(), "6");
  EXPECT_EQ(Edit(Page::kIdNw7Max)->text(), "77");
  EXPECT_EQ(Edit(Page::kIdScanDegree)->text(), "45.5");
  EXPECT_EQ(Levels()->count(), 4);
  EXPECT_EQ(Levels()->itemText(3), "4");
  EXPECT_EQ(Levels()->currentIndex(), 2);
  EXPECT_TRUE(Box(Page::kIdBinarize)->isChecked());
  EXPECT_FALSE(Box(Page::kIdGuide)->isChecked());
  // Filling the boxes is not the operator's change.
  EXPECT_EQ(Settings(), s);
  EXPECT_EQ(bench_->host->guideRebuilds, 0);
  EXPECT_EQ(bench_->host->plainRepaints, 0);
}

TEST_F(BarCodePageTest, BoundsOutsideOneTo9999StopApplyAndTry) {
  const int32_t bounds[] = {Page::kIdItfMin,     Page::kIdItfMax,     Page::kIdCode39Min,
                            Page::kIdCode39Max,  Page::kIdCode128Min, Page::kIdCode128Max,
                            Page::kIdNw7Min,     Page::kIdNw7Max};
  for (int32_t id : bounds) {
    for (const char* text : {"0", "10000", "", "4.5"}) {
      Make();
      const SettingsRecord before = Settings();
      Edit(id)->setText(text);
      answers_.clear();
      Click(Page::kIdApply);
      Click(Page::kIdTry);
      ASSERT_EQ(answers_.texts(),
                std::vector<std::string>(2, "1 から 9999 までの整数を入力してください。"))
          << id << " " << text;
      EXPECT_EQ(answers_.requests()[0].icon, ui::MessageIcon::kWarning);
      EXPECT_EQ(page_->window()->focusWidget(), Edit(id)) << id;
      EXPECT_EQ(Settings(), before) << id << " " << text;
      EXPECT_TRUE(Edit(Page::kIdTime)->text().isEmpty());  // no trial ran
    }
  }
  // The edges themselves are taken; no order between the bounds is enforced.
  Make();
  Edit(Page::kIdCode39Min)->setText("9999");
  Edit(Page::kIdCode39Max)->setText(" 1 ");
  answers_.clear();
  Click(Page::kIdApply);
  EXPECT_TRUE(answers_.requests().empty());
  EXPECT_EQ(Settings().CODE39_Min, 9999);
  EXPECT_EQ(Settings().CODE39_Max, 1);
}

TEST_F(BarCodePageTest, ApplyCopiesEveryControlIntoTheSettings) {
  Make();
  const struct {
    int32_t id;
    const char* text;
  } edits[] = {{Page::kIdItfMin, "2"},      {Page::kIdItfMax, "20"},    {Page::kIdCode39Min, "3"},
               {Page::kIdCode39Max, "30"},  {Page::kIdCode128Min, "5"}, {Page::kIdCode128Max, "50"},
               {Page::kIdNw7Min, "7"},      {Page::kIdNw7Max, "70"},    {Page::kIdScanDegree, "12.5"}};
  for (const auto& e : edits) Edit(e.id)->setText(e.text);
  for (int32_t id : {Page::kIdJan8, Page::kIdItf, Page::kIdCode128, Page::kIdBinarize}) Box(id)->click();
  Levels()->setCurrentIndex(3);
  Click(Page::kIdApply);
  ASSERT_TRUE(answers_.requests().empty());

  SettingsRecord expected;
  expected.JAN8 = 0;
  expected.ITF = 0;
  expected.CODE128 = 0;
  expected.AutoBin = 1;
  expected.ITF_Min = 2;
  expected.ITF_Max = 20;
  expected.CODE39_Min = 3;
  expected.CODE39_Max = 30;
  expected.CODE128_Min = 5;
  expected.CODE128_Max = 50;
  expected.NW7_Min = 7;
  expected.NW7_Max = 70;
  expected.ScanLevel = 4;
  expected.ScanDegree = 12.5;
  EXPECT_EQ(Settings(), expected);
}

TEST_F(BarCodePageTest, ScanAngleActsAtOnceAndApplyThenRefusesIt) {
  Make();
  Edit(Page::kIdScanDegree)->setText("45");
  EXPECT_EQ(Settings().ScanDegree, 45.0);
  EXPECT_FALSE(guideStarts.empty());

  Edit(Page::kIdScanDegree)->setText("200");
  EXPECT_EQ(Settings().ScanDegree, 200.0);
  EXPECT_TRUE(guideStarts.empty());  // the reader refuses angles above 180
  EXPECT_EQ(bench_->host->guideRebuilds, 2);
  EXPECT_EQ(bench_->host->plainRepaints, 2);
  EXPECT_EQ(bench_->host->erasedRepaints, 0);

  Click(Page::kIdApply);
  EXPECT_EQ(answers_.texts(), std::vector<std::string>{"0 から 180 までの数字を入力してください。"});
  EXPECT_EQ(page_->window()->focusWidget(), Edit(Page::kIdScanDegree));
  EXPECT_EQ(Settings().ScanDegree, 200.0);

  // What is not a number counts as 0 at once; only the first nine characters count.
  Edit(Page::kIdScanDegree)->setText("abc");
  EXPECT_EQ(Settings().ScanDegree, 0.0);
  Edit(Page::kIdScanDegree)->setText("1234567890");
  EXPECT_EQ(Settings().ScanDegree, 123456789.0);
}

TEST_F(BarCodePageTest, ScanLevelRedrawsTheGuidesAtOnce) {
  Make();
  Levels()->setCurrentIndex(3);
  SettingsRecord expected;
  expected.ScanLevel = 4;
  EXPECT_EQ(Settings(), expected);
  const std::vector<GuidePoint> starts = guideStarts, ends = guideEnds;
  RebuildGuideLines(expected);
  EXPECT_EQ(starts, guideStarts);
  EXPECT_EQ(ends, guideEnds);
  RebuildGuideLines(SettingsRecord{});
  EXPECT_LT(guideStarts.size(), starts.size());  // level 4 lays more lines than level 1
}

TEST_F(BarCodePageTest, ALevelTheListDoesNotHaveIsKeptUntilOneIsChosen) {
  SettingsRecord s;
  s.ScanLevel = 7;
  Make(s);
  EXPECT_EQ(Levels()->currentIndex(), -1);
  Edit(Page::kIdScanDegree)->setText("30");
  EXPECT_EQ(Settings().ScanLevel, 7);
  EXPECT_EQ(Settings().ScanDegree, 30.0);
  Click(Page::kIdApply);
  EXPECT_EQ(answers_.texts(), std::vector<std::string>{"0 から 3 までの整数を入力してください。"});
  EXPECT_EQ(page_->window()->focusWidget(), Levels());
  Levels()->setCurrentIndex(1);
  EXPECT_EQ(Settings().ScanLevel, 2);
}

TEST_F(BarCodePageTest, GuideSwitchActsAtOnce) {
  Make();
  Box(Page::kIdGuide)->click();
  EXPECT_EQ(Settings().GuideLine, 0);
  EXPECT_EQ(bench_->host->plainRepaints, 1);
  Box(Page::kIdGuide)->click();
  EXPECT_EQ(Settings().GuideLine, 1);
  EXPECT_EQ(bench_->host->plainRepaints, 2);
  EXPECT_EQ(bench_->host->guideRebuilds, 0);
}

TEST_F(BarCodePageTest, RobustReadingIsShownAppliedAndTried) {
  // A JAN-13 printed with bars half a module fat: only the robust reading
  // takes it.
  const DibPtr fat = bcdtest::GainFrame(bcdtest::StationSymbols()[0], 3.0, 1.5, 0.0);
  bench_->Show(fat.get());
  SettingsRecord s;
  s.BcdRobust = 0;
  Make(s);
  ASSERT_NE(Box(Page::kIdRobust), nullptr);
  EXPECT_EQ(Box(Page::kIdRobust)->text(), QString::fromUtf8("強化読取"));
  EXPECT_FALSE(Box(Page::kIdRobust)->isChecked());
  Click(Page::kIdTry);
  EXPECT_EQ(answers_.texts(), std::vector<std::string>{"DECODE ERROR = -4"});

  Box(Page::kIdRobust)->click();
  EXPECT_EQ(Settings().BcdRobust, 0);  // the box acts with apply or try, not at once
  answers_.clear();
  Click(Page::kIdTry);
  EXPECT_TRUE(answers_.requests().empty());
  EXPECT_EQ(Edit(Page::kIdData)->text(), "4901234567894");
  EXPECT_EQ(Settings().BcdRobust, 1);

  Box(Page::kIdRobust)->click();
  Click(Page::kIdApply);
  EXPECT_EQ(Settings().BcdRobust, 0);

  // The station's default is on; any value but 0 from a settings file is on.
  Make();
  EXPECT_TRUE(Box(Page::kIdRobust)->isChecked());
  s.BcdRobust = -1;
  Make(s);
  EXPECT_TRUE(Box(Page::kIdRobust)->isChecked());
  Click(Page::kIdApply);
  EXPECT_EQ(Settings().BcdRobust, 1);
}

TEST_F(BarCodePageTest, TryAppliesReadsTheDisplayedPictureAndTimesIt) {
  Make();
  Edit(Page::kIdNw7Max)->setText("40");
  ui::ScopedManualClock clock(2500us);
  Click(Page::kIdTry);
  EXPECT_TRUE(answers_.requests().empty());
  EXPECT_EQ(Edit(Page::kIdData)->text(), "4901234567894");
  EXPECT_EQ(Edit(Page::kIdTypeName)->text(), "JAN-13");
  EXPECT_EQ(Edit(Page::kIdTime)->text(), "2.50");
  EXPECT_EQ(clock.readings(), 2);
  EXPECT_EQ(Settings().NW7_Max, 40);
  EXPECT_EQ(OverlayLines(), 5);  // the reading line, three pixels thick
  EXPECT_EQ(bench_->host->plainRepaints, 1);
  EXPECT_EQ(ui::WaitCursor::Depth(), 0);
  EXPECT_EQ(bench_->ring.LeasesHeld(), 0);
}

TEST_F(BarCodePageTest, WithNoSymbologyTickedOnlyATimeIsShown) {
  Make();
  Click(Page::kIdTry);
  ASSERT_EQ(OverlayLines(), 5);
  for (int32_t id : {Page::kIdJan8, Page::kIdJan13, Page::kIdItf, Page::kIdCode39, Page::kIdCode128,
                     Page::kIdNw7}) {
    Box(id)->click();
  }
  ui::ScopedManualClock clock(1ms);
  Click(Page::kIdTry);
  EXPECT_TRUE(answers_.requests().empty());
  EXPECT_TRUE(Edit(Page::kIdData)->text().isEmpty());
  EXPECT_TRUE(Edit(Page::kIdTypeName)->text().isEmpty());
  EXPECT_EQ(Edit(Page::kIdTime)->text(), "1.00");
  EXPECT_EQ(OverlayLines(), 0);  // the last outline is gone
  EXPECT_EQ(Settings().JAN13, 0);
}

TEST_F(BarCodePageTest, AFailedTrialShowsTheStatusWithNothingHeld) {
  Make();
  Click(Page::kIdTry);
  DibPtr paper = SymbolFrame({}, "", 1);
  bench_->Show(paper.get());
  ui::ScopedManualClock clock;
  ui::ScopedMessageAnswers box;
  box.SetHandler([&](const ui::MessageRequest&) {
    // The operator takes a while: the capture thread could decode meanwhile.
    std::unique_lock<std::mutex> free(bench_->host->DecoderLock(), std::try_to_lock);
    EXPECT_TRUE(free.owns_lock());
    EXPECT_EQ(bench_->ring.LeasesHeld(), 0);
    EXPECT_EQ(ui::WaitCursor::Depth(), 0);
    clock.Advance(1500ms);
    return ui::MessageResult::kOk;
  });
  Click(Page::kIdTry);
  ASSERT_EQ(box.texts(), std::vector<std::string>{"DECODE ERROR = -4"});
  EXPECT_EQ(box.requests()[0].icon, ui::MessageIcon::kNone);
  EXPECT_EQ(box.requests()[0].buttons, ui::MessageButtons::kOk);
  EXPECT_EQ(box.requests()[0].caption, "Vantrel");
  EXPECT_TRUE(Edit(Page::kIdData)->text().isEmpty());
  EXPECT_TRUE(Edit(Page::kIdTypeName)->text().isEmpty());
  // The time takes in the box.
  EXPECT_EQ(Edit(Page::kIdTime)->text(), "1500.00");
  EXPECT_EQ(OverlayLines(), 0);
}

}  // namespace
}  // namespace vantrel::test

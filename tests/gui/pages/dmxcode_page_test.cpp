// The Data Matrix settings page with a stand-in host, and its way into the
// tuning dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "page_fixture.h"
#include "settings/ui/dmxcode_page.h"
#include "vantrel/OvoDmx.h"
#include "vantrel/unsharp_dlg.h"

namespace vantrel::test {
namespace {

using Page = CDmxCodePage;

const char kText[] = "VANTREL-DMX-0001";

DibPtr DmxFrame(double moduleSize = 5.0) {
  return SymbolFrame({"-b", "DATAMATRIX"}, kText, moduleSize);
}

// A dim label far out of focus: faint modules (levels 100 and 150) blurred
// with sigma 2.3, which the reader cannot read until the picture is sharpened
// (radius 2, amount 5).
DibPtr BlurredFrame() {
  ModuleMatrix m;
  std::string error;
  EXPECT_TRUE(ZintModules({"-b", "DATAMATRIX", "--vers=8"}, kText, &m, &error)) << error;
  RenderOptions o;
  o.moduleSize = 4;
  o.dark = 100;
  o.light = 150;
  o.background = 150;
  DibPtr p = RenderSymbol(m, o, 640, 480, 3);
  GaussianBlur(p.get(), 2.3);
  return p;
}

// Runs `act` on the tuning dialog once it is up.
void InTuningDialog(std::function<void(CUnsharpDlg&)> act) {
  QTimer::singleShot(0, [act = std::move(act)] {
    auto* dlg = qobject_cast<CUnsharpDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(dlg, nullptr);
    act(*dlg);
  });
}

void Press(CUnsharpDlg& dlg, int32_t id) { Control<QPushButton>(&dlg, id)->click(); }

class DmxCodePageTest : public PageTest<Page> {
 protected:
  void SetUp() override {
    OvoDmxTerminate();
    ASSERT_EQ(OvoDmxInitialize(), 0);
    frame_ = DmxFrame();
    MakeBench(frame_.get());
    base_.Area[0] = 0;
    base_.Area[1] = 0;
    base_.Area[2] = 639;
    base_.Area[3] = 479;
  }
  void TearDown() override {
    PageTest<Page>::TearDown();
    OvoDmxTerminate();
  }

  QWidget* Widget(int32_t id) { return Control<QWidget>(page_.get(), id); }
  QCheckBox* Switch() { return Control<QCheckBox>(page_.get(), Page::kIdUnsharp); }
  std::vector<QString> Boxes() {
    return {Edit(Page::kIdRadius)->text(), Edit(Page::kIdAmount)->text(), Edit(Page::kIdThreshold)->text()};
  }

  DibPtr frame_;
  SettingsRecord base_;
};

TEST_F(DmxCodePageTest, ShowsTheSettingsInItsBoxes) {
  SettingsRecord s = base_;
  s.MaxTime = 1500;
  s.Rad = 3.5;
  s.Amount = 0.29;
  s.DmxThreshold = 12;
  Make(s);
  EXPECT_EQ(page_->property("templateId").toInt(), 1002);
  EXPECT_EQ(Edit(Page::kIdMaxTime)->text(), "1500");
  EXPECT_EQ(Boxes(), (std::vector<QString>{"3.5", "0.29", "12"}));
  for (int32_t id : {Page::kIdRadius, Page::kIdAmount, Page::kIdThreshold}) {
    EXPECT_TRUE(Edit(id)->isReadOnly()) << id;
  }
  Click(Page::kIdApply);
  EXPECT_TRUE(answers_.requests().empty());
  EXPECT_EQ(Settings(), s);
}

TEST_F(DmxCodePageTest, LongestTimeOutside1To9999StopsApplyTryAndTune) {
  for (const char* text : {"0", "10000", "", "-5"}) {
    Make(base_);
    Edit(Page::kIdMaxTime)->setText(text);
    answers_.clear();
    Click(Page::kIdApply);
    Click(Page::kIdTry);
    Click(Page::kIdTune);  // would block in the dialog if the check let it through
    ASSERT_EQ(answers_.texts(), std::vector<std::string>(3, "1 から 9999 までの整数を入力してください。"))
        << text;
    EXPECT_EQ(page_->window()->focusWidget(), Edit(Page::kIdMaxTime));
    EXPECT_EQ(Settings(), base_);
    EXPECT_TRUE(Edit(Page::kIdTime)->text().isEmpty());
  }
}

TEST_F(DmxCodePageTest, ValuesTheBoxesCannotHoldAreBroughtIntoRange) {
  // Typed into the settings file by hand; the page cannot take them, and the
  // operator could not correct them in a read-only box.
  SettingsRecord s = base_;
  s.Rad = 150.0;
  s.Amount = -1.0;
  s.DmxThreshold = 300;
  Make(s);
  EXPECT_EQ(Boxes(), (std::vector<QString>{"120", "0", "255"}));
  EXPECT_EQ(Settings(), s);  // nothing changes before apply
  Click(Page::kIdApply);
  EXPECT_TRUE(answers_.requests().empty());
  EXPECT_EQ(Settings().Rad, 120.0);
  EXPECT_EQ(Settings().Amount, 0.0);
  EXPECT_EQ(Settings().DmxThreshold, 255);
}

TEST_F(DmxCodePageTest, TuningControlsStartEnabledAndFollowTheSwitchFromItsFirstClick) {
  const int32_t tuning[] = {Page::kIdTune, Page::kIdRadius, Page::kIdAmount, Page::kIdThreshold};
  for (int32_t on : {0, 1}) {
    SettingsRecord s = base_;
    s.UnsharpMask = on;
    Make(s);
    EXPECT_EQ(Switch()->isChecked(), on != 0);
    for (int32_t id : tuning) EXPECT_TRUE(Widget(id)->isEnabled()) << id << " at opening";
    for (int32_t click = 0; click < 3; ++click) {
      Switch()->click();
      for (int32_t id : tuning) EXPECT_EQ(Widget(id)->isEnabled(), Switch()->isChecked()) << id;
    }
    EXPECT_EQ(Settings().UnsharpMask, on);  // the switch acts with apply
    Click(Page::kIdApply);
    EXPECT_EQ(Settings().UnsharpMask, on ? 0 : 1);
  }
}

TEST_F(DmxCodePageTest, TrialDecodesASharpenedCopyAndThePictureStaysAsItWas) {
  DibPtr blurred = BlurredFrame();
  bench_->Show(blurred.get());
  SettingsRecord s = base_;
  s.Rad = 2.0;
  s.Amount = 5.0;
  Make(s);

  Click(Page::kIdTry);
  ASSERT_EQ(answers_.texts(), std::vector<std::string>{"DECODE ERROR = -1"});
  EXPECT_TRUE(Edit(Page::kIdData)->text().isEmpty());

  Switch()->click();
  answers_.clear();
  Click(Page::kIdTry);
  EXPECT_TRUE(answers_.requests().empty());
  EXPECT_EQ(Edit(Page::kIdData)->text(), kText);
  EXPECT_FALSE(Edit(Page::kIdTime)->text().isEmpty());
  EXPECT_EQ(Settings().UnsharpMask, 1);
  DibPtr shown = bench_->Displayed();
  EXPECT_TRUE(SamePixels(shown.get(), blurred.get()));
}

TEST_F(DmxCodePageTest, APictureWithoutASymbolShowsTheReadersStatus) {
  DibPtr paper = SymbolFrame({}, "", 1);
  bench_->Show(paper.get());
  Make(base_);
  Click(Page::kIdTry);
  ASSERT_EQ(answers_.texts(), std::vector<std::string>{"DECODE ERROR = -1"});
  EXPECT_EQ(answers_.requests()[0].icon, ui::MessageIcon::kNone);
}

TEST_F(DmxCodePageTest, CancellingTheTuningLeavesTheBoxesAndTheReader) {
  SettingsRecord s = base_;
  s.Rad = 2.5;
  s.Amount = 1.25;
  s.DmxThreshold = 9;
  s.MaxTime = 800;
  Make(s);
  DmxTuneValues opened;
  InTuningDialog([&](CUnsharpDlg& dlg) {
    opened = dlg.saved();
    auto* radius = Control<QSlider>(&dlg, CUnsharpDlg::kIdRadiusSlider);
    radius->setSliderDown(true);
    radius->setSliderPosition(600);
    radius->setSliderDown(false);
    Control<QSlider>(&dlg, CUnsharpDlg::kIdThresholdSlider)
        ->triggerAction(QAbstractSlider::SliderPageStepAdd);
    Press(dlg, CUnsharpDlg::kIdCancel);
  });
  Click(Page::kIdTune);
  // The dialog opened with the page's values, on the whole picture.
  EXPECT_EQ(opened, (DmxTuneValues{800, 2.5, 1.25, 9}));
  EXPECT_EQ(Boxes(), (std::vector<QString>{"2.5", "1.25", "9"}));
  EXPECT_EQ(Edit(Page::kIdMaxTime)->text(), "800");
  double radius = 0;
  OvoDmxGetRadius(&radius);
  EXPECT_EQ(radius, 2.5);
  EXPECT_EQ(Settings(), s);
  EXPECT_EQ(bench_->ring.LeasesHeld(), 0);
}

TEST_F(DmxCodePageTest, TunedValuesShowInTheBoxesAndReachTheSettingsWithApply) {
  Make(base_);
  InTuningDialog([](CUnsharpDlg& dlg) {
    auto* radius = Control<QSlider>(&dlg, CUnsharpDlg::kIdRadiusSlider);
    radius->setSliderDown(true);
    radius->setSliderPosition(45);
    radius->setSliderDown(false);
    Control<QSlider>(&dlg, CUnsharpDlg::kIdAmountSlider)
        ->triggerAction(QAbstractSlider::SliderSingleStepAdd);  // the text only, but OK takes it
    Control<QLineEdit>(&dlg, CUnsharpDlg::kIdMaxTime)->setText("640");
    Press(dlg, CUnsharpDlg::kIdOk);
  });
  Click(Page::kIdTune);
  EXPECT_EQ(Boxes(), (std::vector<QString>{"4.5", "0.01", "0"}));
  EXPECT_EQ(Edit(Page::kIdMaxTime)->text(), "640");
  EXPECT_EQ(Settings(), base_);
  Click(Page::kIdApply);
  EXPECT_EQ(Settings().Rad, 4.5);
  EXPECT_EQ(Settings().Amount, 0.01);
  EXPECT_EQ(Settings().MaxTime, 640);
}

TEST_F(DmxCodePageTest, TuningOpensWithThePagesValuesWhileFramesResetTheReader) {
  // As the reading cycle does before every frame: the reader from the settings.
  std::atomic<bool> stop{false};
  std::atomic<int32_t> frames{0};
  std::thread capture([&] {
    while (!stop) {
      {
        std::lock_guard<std::mutex> hold(bench_->host->DecoderLock());
        OvoDmxSetRadius(0.1);
        OvoDmxSetAmount(0.0);
        OvoDmxSetThreshold(0);
        OvoDmxSetMaxTime(1000);
        ++frames;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
  });
  SettingsRecord s = base_;
  s.Rad = 3.5;
  s.Amount = 1.5;
  s.DmxThreshold = 7;
  Make(s);
  Edit(Page::kIdMaxTime)->setText("321");  // typed, not applied
  while (frames < 3) std::this_thread::yield();
  DmxTuneValues opened;
  InTuningDialog([&](CUnsharpDlg& dlg) {
    opened = dlg.saved();
    Control<QSlider>(&dlg, CUnsharpDlg::kIdThresholdSlider)
        ->triggerAction(QAbstractSlider::SliderPageStepAdd);
    Press(dlg, CUnsharpDlg::kIdOk);
  });
  Click(Page::kIdTune);
  stop = true;
  capture.join();
  EXPECT_EQ(opened, (DmxTuneValues{321, 3.5, 1.5, 7}));
  EXPECT_EQ(Boxes(), (std::vector<QString>{"3.5", "1.5", "58"}));
  EXPECT_EQ(Edit(Page::kIdMaxTime)->text(), "321");
}

}  // namespace
}  // namespace vantrel::test

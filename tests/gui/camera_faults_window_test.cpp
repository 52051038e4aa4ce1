// The station window when the camera fails, through the fault-injecting
// replay source: a bus error while reading, a camera that stops delivering.
// (The libraries and the Qt application come from window_test.cpp's
// environment: the two files make one program.)
#include <gtest/gtest.h>

#include <QPushButton>

#include <chrono>
#include <string>

#include "app/watchdog.h"
#include "gui/qt_test_app.h"
#include "gui/station_fixture.h"
#include "vantrel/control_ids.h"
#include "vantrel/ui_kit.h"

namespace vantrel::test {
namespace {

constexpr auto kMustReturn = std::chrono::seconds(8);

class CameraFaultWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    station.core().EditSettings([](SettingsRecord& s) {
      s.BarCodeEnable = 1;
      s.QRCodeEnable = s.DmxCodeEnable = 0;
      s.OneDecode = 0;
    });
  }
  void TearDown() override { SetCameraFaults(""); }

  void Open(const std::string& faults) {
    ASSERT_TRUE(SetCameraFaults(faults));
    ASSERT_EQ(station.Build(DemoFrame("demo-1-jan13.png"), 640, 480, 30), 0);
    window = &station.OpenWindow();
    readStart = ui::FindControl<QPushButton>(window, ids::kReadStart);
    ASSERT_NE(readStart, nullptr);
  }
  // Whether frames still come: two arrive within the wait (at 30 a second,
  // half a second would bring fifteen).
  bool FramesCome(int waitMs = 5000) {
    const uint64_t before = station.core().capture().FramesDelivered();
    return ProcessEventsUntil([&] { return station.core().capture().FramesDelivered() > before + 1; }, waitMs);
  }

  StationUnderTest station;
  CVantrelDlg* window = nullptr;
  QPushButton* readStart = nullptr;
};

TEST_F(CameraFaultWindowTest, ABusErrorWhileReadingStopsReadingAndTheMessageNamesTheDeviceAndTheError) {
  Open("bus-error@8");
  ui::ScopedMessageAnswers answers;
  station.Click(ids::kReadStart);
  ASSERT_TRUE(ProcessEventsUntil([&] { return !answers.requests().empty(); })) << "no message";
  ASSERT_EQ(answers.requests().size(), 1u);
  const ui::MessageRequest& box = answers.requests()[0];
  EXPECT_EQ(box.text, "カメラでエラーが起きたため、読取を停止しました。\nデバイス：" + DemoFrame("demo-1-jan13.png") +
                          "\nエラー：Could not read from resource.");
  EXPECT_EQ(box.caption, "Vantrel");
  EXPECT_EQ(box.icon, ui::MessageIcon::kStop);
  EXPECT_FALSE(station.core().cycle().running());
  EXPECT_FALSE(readStart->isChecked());
  EXPECT_EQ(readStart->text(), QString::fromUtf8("読取開始"));

  // Still usable: reading starts again and reads, and another size connects
  // while it reads.
  station.Click(ids::kReadStart);
  EXPECT_TRUE(station.core().cycle().running());
  EXPECT_EQ(readStart->text(), QString::fromUtf8("停止"));
  EXPECT_TRUE(station.WaitForResult());
  station.dialogs.answer = FrameSize{320, 240};
  station.Click(ids::kCaptureSize);
  EXPECT_EQ(station.core().Settings().Xsize, 320);
  EXPECT_TRUE(station.core().cycle().running());
  EXPECT_TRUE(FramesCome());
  EXPECT_EQ(answers.requests().size(), 1u);
  station.Click(ids::kReadStart);
  EXPECT_FALSE(station.core().cycle().running());
}

TEST_F(CameraFaultWindowTest, StopReturnsWhenTheCameraStopsDelivering) {
  Open("stall@5");
  ui::ScopedMessageAnswers answers;
  station.Click(ids::kReadStart);
  ASSERT_TRUE(ProcessEventsUntil([&] { return station.core().capture().FramesDelivered() >= 4; }));
  EXPECT_FALSE(FramesCome(500));
  {
    const Watchdog bound("停止 with a silent camera", kMustReturn);
    station.Click(ids::kReadStart);
  }
  EXPECT_FALSE(station.core().cycle().running());
  EXPECT_EQ(readStart->text(), QString::fromUtf8("読取開始"));
  EXPECT_TRUE(answers.requests().empty());
  // The next start gets frames again.
  station.Click(ids::kReadStart);
  EXPECT_TRUE(FramesCome());
  station.Click(ids::kReadStart);
}

TEST_F(CameraFaultWindowTest, ExitReturnsWhenTheCameraNeverDelivered) {
  Open("stall@1");
  {
    const Watchdog bound("読取開始 with a camera that sends nothing", kMustReturn);
    station.Click(ids::kReadStart);
  }
  EXPECT_TRUE(station.core().cycle().running());
  EXPECT_FALSE(FramesCome(500));
  {
    const Watchdog bound("終了 with a silent camera", kMustReturn);
    station.Click(ids::kExit);
    station.core().Shutdown();  // what the start-up's shutdown does after the window
  }
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(station.core().cycle().running());
}

}  // namespace
}  // namespace vantrel::test

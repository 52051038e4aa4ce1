// Camera faults through the real GStreamer pipeline, played by the
// fault-injecting replay source: an error on the bus while reading, a source
// that stops delivering, frames whose size or stride differ from the
// connected format. Each time the station must stop or refuse cleanly, never
// hang, never read past a frame, and stay usable.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/cycle_harness.h"
#include "app/cycle_pictures.h"
#include "app/watchdog.h"
#include "replay_pictures.h"
#include "vantrel/camera_faults.h"
#include "vantrel/img_acq_ctrl.h"

namespace vantrel::test {
namespace {

[[maybe_unused]] const auto* const kLibraries = ::testing::AddGlobalTestEnvironment(new DecoderLibraries);

using namespace std::chrono_literals;

// A call that must return: far longer than the second it may take, so that
// only a hang trips it.
constexpr auto kMustReturn = std::chrono::seconds(8);

TEST(CameraFaultList, ReadsKindsFramesAndOnwardAndRefusesTheRest) {
  using F = CameraFault;
  struct Case {
    const char* text;
    bool ok;
    std::vector<CameraFault> faults;
  } cases[] = {
      {"", true, {}},
      {"bus-error", true, {{F::kBusError, 30, false}}},
      {"stall@1", true, {{F::kStall, 1, false}}},
      {"wide-stride@3+,bus-error@40", true, {{F::kWideStride, 3, true}, {F::kBusError, 40, false}}},
      {"short-frame@2,narrow-stride@4,large-frame@6,small-frame@8+", true,
       {{F::kShortFrame, 2, false}, {F::kNarrowStride, 4, false}, {F::kLargeFrame, 6, false}, {F::kSmallFrame, 8, true}}},
      {"unplug", false, {}},
      {"stall@0", false, {}},
      {"stall@", false, {}},
      {"stall@x", false, {}},
      {"stall@-3", false, {}},
      {"stall@5+", false, {}},
      {"bus-error@5,", false, {}},
      {",stall", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<CameraFault> faults = {{F::kStall, 99, false}};
    std::string error;
    EXPECT_EQ(ParseCameraFaults(c.text, &faults, &error), c.ok) << error;
    if (c.ok) {
      EXPECT_EQ(faults, c.faults);
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
  // A list that does not parse leaves the one in force.
  ASSERT_TRUE(SetCameraFaults("stall@3"));
  std::string error;
  EXPECT_FALSE(SetCameraFaults("stall@3+", &error));
  EXPECT_NE(error.find("frames only"), std::string::npos) << error;
  EXPECT_EQ(CameraFaultList(), "stall@3");
  ASSERT_TRUE(SetCameraFaults(""));
  EXPECT_EQ(CameraFaultList(), "");
}

class CameraFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctrl = std::make_unique<CImgAcqCtrl>();
    cycle = std::make_unique<ReadingCycle>(ctrl->Ring(), station.Callbacks());
    ctrl->AttachSink(cycle.get());
    station.Bind(cycle.get());
    station.EditSettings([](SettingsRecord& s) {
      s.BarCodeEnable = 1;
      s.QRCodeEnable = s.DmxCodeEnable = 0;
      s.OneDecode = 0;
    });
    picture = BarcodePicture("FAULT1");
    ASSERT_TRUE(WritePicture(picture.get(), folder.File("frame.bmp")));
  }
  void TearDown() override {
    {
      const Watchdog bound("the stop after the test", kMustReturn);
      station.window.Run([this] { cycle->StopReading(); });
      station.window.Drain();
    }
    ctrl->TeardownGraph();
    ctrl->AttachSink(nullptr);
    SetCameraReplay("");
    SetCameraFaults("");
  }

  // The pipeline on the barcode picture with the faults, frames as fast as
  // the cycle takes them.
  void Build(const std::string& faults, int32_t width = 640, int32_t height = 480) {
    ASSERT_TRUE(SetCameraFaults(faults));
    SetCameraReplay(folder.path(), 0);
    ctrl->Xsize = width;
    ctrl->Ysize = height;
    ctrl->DeviceNo = 1;
    ASSERT_EQ(ctrl->EnumerateDevices(), 1);
    ASSERT_EQ(ctrl->BuildGraph(), 0) << ctrl->LastError();
  }
  // The read-start button; a start that hangs trips the watchdog.
  void PressReadStart() {
    const Watchdog bound("the read-start button", kMustReturn);
    station.PressReadStart();
  }
  void PressStop() {
    const Watchdog bound("the stop button", kMustReturn);
    station.PressReadStart();
    ASSERT_FALSE(cycle->running());
  }
  bool WaitForFrames(uint64_t n) {
    return WaitUntil([&] { return cycle->FramesHandled() >= n; });
  }
  // No frame arrives for a while (long enough for dozens at this rate).
  bool NoMoreFrames() {
    const uint64_t before = ctrl->FramesDelivered() + ctrl->FramesRefused();
    std::this_thread::sleep_for(300ms);
    return ctrl->FramesDelivered() + ctrl->FramesRefused() == before;
  }
  size_t ShownFault1() {
    const auto shown = station.Shown();
    return static_cast<size_t>(std::count(shown.begin(), shown.end(), "種類：CODE 128\r\n\r\nFAULT1"));
  }

  TempFolder folder;
  DibPtr picture;
  FakeStation station;
  std::unique_ptr<CImgAcqCtrl> ctrl;
  std::unique_ptr<ReadingCycle> cycle;
};

TEST_F(CameraFaultTest, ABusErrorWhileReadingStopsReadingNamesDeviceAndErrorAndTheStationStaysUsable) {
  Build("bus-error@5");
  PressReadStart();
  ASSERT_TRUE(WaitUntil([&] { return !station.Failures().empty(); })) << "no failure told";
  station.window.Drain();
  const std::vector<StreamFailureOutcome> failures = station.Failures();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].device, folder.path());
  EXPECT_EQ(failures[0].device, ctrl->DeviceName());
  EXPECT_EQ(failures[0].error, "Could not read from resource.");
  EXPECT_TRUE(failures[0].stoppedReading);
  EXPECT_FALSE(cycle->running());
  EXPECT_FALSE(station.ButtonPressed());
  EXPECT_EQ(station.Caption(), "読取開始");
  EXPECT_EQ(station.FailuresPosted(), 1);
  EXPECT_LE(cycle->FramesHandled(), 4u) << "frames after the error were taken";
  EXPECT_TRUE(NoMoreFrames());
  EXPECT_EQ(ctrl->Ring().LeasesHeld(), 0);
  EXPECT_EQ(ctrl->LastError(), "Could not read from resource.");

  // Start again: frames come and read.
  const size_t read = ShownFault1();
  PressReadStart();
  EXPECT_TRUE(cycle->running());
  ASSERT_TRUE(WaitUntil([&] { return ShownFault1() >= read + 2; }));
  PressStop();

  // Choose another size: the stream connects at it and reads there.
  class Answer : public CaptureDialogs {
   public:
    bool ChooseFrameSize(const std::vector<FrameSize>&, int32_t, FrameSize* chosen) override {
      *chosen = FrameSize{320, 240};
      return true;
    }
    void ShowPictureControls(PictureControls*, const std::vector<PictureControl>&) override {}
  } dialogs;
  int32_t status = 1;
  station.window.Run([&] { status = ctrl->ChangeCaptureSize(&dialogs); });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ctrl->Ring().Width(), 320);
  const uint64_t frames = cycle->FramesHandled();
  PressReadStart();
  EXPECT_TRUE(WaitForFrames(frames + 3));
  EXPECT_EQ(station.Failures().size(), 1u);
  EXPECT_EQ(ctrl->FramesRefused(), 0u);
}

TEST_F(CameraFaultTest, ASourceThatStopsDeliveringLetsStopAndTeardownReturn) {
  struct Case {
    const char* faults;
    uint64_t framesFirst;  // frames that come before the stall
    bool teardownWhileStalled;
  } cases[] = {
      {"stall@4", 3, false},
      {"stall@1", 0, true},  // nothing ever comes: the start must not wait for a first frame
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.faults);
    Build(c.faults);
    const uint64_t before = cycle->FramesHandled();
    PressReadStart();
    ASSERT_TRUE(cycle->running());
    ASSERT_TRUE(WaitForFrames(before + c.framesFirst));
    EXPECT_TRUE(NoMoreFrames());
    EXPECT_EQ(cycle->FramesHandled(), before + c.framesFirst);
    EXPECT_TRUE(cycle->running()) << "a silent camera is no failure by itself";
    EXPECT_TRUE(station.Failures().empty());
    if (c.teardownWhileStalled) {
      // "終了": the window stops reading, then the pipeline is taken down.
      const Watchdog bound("the teardown of a stalled stream", kMustReturn);
      station.window.Run([&] {
        cycle->StopReading();
        ctrl->TeardownGraph();
      });
      EXPECT_FALSE(ctrl->Ring().Allocated());
      continue;
    }
    PressStop();
    // A restart ends the stall: frames come again.
    const uint64_t stopped = cycle->FramesHandled();
    PressReadStart();
    EXPECT_TRUE(WaitForFrames(stopped + 3));
    PressStop();
    ctrl->TeardownGraph();
  }
}

TEST_F(CameraFaultTest, AFrameThatDoesNotFitTheConnectedFormatIsRefusedAndReadingGoesOn) {
  for (const char* fault : {"short-frame@3", "wide-stride@3", "narrow-stride@3", "large-frame@3", "small-frame@3"}) {
    SCOPED_TRACE(fault);
    Build(fault);
    const size_t read = ShownFault1();
    const uint64_t frames = cycle->FramesHandled();
    const uint64_t refused = ctrl->FramesRefused();
    PressReadStart();
    ASSERT_TRUE(WaitUntil([&] { return ctrl->FramesRefused() > refused && cycle->FramesHandled() >= frames + 4; }));
    EXPECT_TRUE(cycle->running());
    ASSERT_TRUE(WaitUntil([&] { return ShownFault1() >= read + 3; }));
    PressStop();
    EXPECT_EQ(ctrl->FramesRefused(), refused + 1);
    EXPECT_TRUE(station.Failures().empty());
    // The ring holds whole frames of the picture, not the refused one's grey.
    FrameRing::Lease slot = ctrl->Ring().ReadDisplayed();
    ASSERT_TRUE(slot);
    EXPECT_EQ(std::memcmp(DibGetBits(slot.image()), DibGetBits(picture.get()),
                          static_cast<size_t>(DibGetStride(picture.get())) * 480),
              0);
    slot.Release();
    ctrl->TeardownGraph();
  }
}

TEST_F(CameraFaultTest, ACameraThatOnlySendsFramesOfAnotherGeometryStopsReadingWithTheReason) {
  struct Case {
    const char* faults;
    const char* reason;
  } cases[] = {
      {"large-frame@3+", "frames of 672 x 504 where 640 x 480 was connected"},
      {"wide-stride@3+", "frames of 921600 bytes where 640 x 480 with rows 3840 bytes apart needs 1841280"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.faults);
    const size_t told = station.Failures().size();
    Build(c.faults);
    const uint64_t frames = cycle->FramesHandled();
    const uint64_t refused = ctrl->FramesRefused();
    PressReadStart();
    ASSERT_TRUE(WaitUntil([&] { return station.Failures().size() > told; }));
    station.window.Drain();
    const StreamFailureOutcome failure = station.Failures().back();
    EXPECT_EQ(failure.device, folder.path());
    EXPECT_EQ(failure.error, std::string("The camera sends frames that do not fit the connected format: ") + c.reason);
    EXPECT_TRUE(failure.stoppedReading);
    EXPECT_FALSE(cycle->running());
    EXPECT_EQ(cycle->FramesHandled(), frames + 2);
    EXPECT_EQ(ctrl->FramesRefused(), refused + CImgAcqCtrl::kRefusedRun);
    ctrl->TeardownGraph();
  }
}

}  // namespace
}  // namespace vantrel::test

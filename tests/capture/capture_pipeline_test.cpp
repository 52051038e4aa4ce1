// The capture controller through the real GStreamer pipeline, fed by the
// replay source with pictures written into a temporary folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/cycle_harness.h"
#include "app/cycle_pictures.h"
#include "replay_pictures.h"
#include "vantrel/img_acq_ctrl.h"

namespace vantrel::test {
namespace {

[[maybe_unused]] const auto* const kLibraries = ::testing::AddGlobalTestEnvironment(new DecoderLibraries);

using namespace std::chrono_literals;

// Answers the camera dialogs as a test tells it to.
class AnsweringDialogs : public CaptureDialogs {
 public:
  bool ChooseFrameSize(const std::vector<FrameSize>& sizes, int32_t current, FrameSize* chosen) override {
    ++sizeDialogs;
    offered = sizes;
    selected = current;
    if (ok) *chosen = answer;
    return ok;
  }
  void ShowPictureControls(PictureControls*, const std::vector<PictureControl>&) override { ++qualityDialogs; }

  bool ok = true;
  FrameSize answer;
  std::vector<FrameSize> offered;
  int32_t selected = -2;
  int32_t sizeDialogs = 0;
  int32_t qualityDialogs = 0;
};

// A picture of one grey level with a dark block at the top left and a
// mid-grey block at the bottom right, to tell the rows' order.
DibPtr MarkedPicture(int32_t width, int32_t height, uint8_t level) {
  DibPtr picture(DibCreate(width, height, 3, 4));
  FillGrey(picture.get(), level);
  uint8_t* bits = DibGetBits(picture.get());
  const int32_t stride = DibGetStride(picture.get());
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint8_t v = level;
      if (x < width / 8 && y < height / 8) v = 0;
      if (x >= width - width / 8 && y >= height - height / 8) v = 128;
      for (int c = 0; c < 3; ++c) bits[y * stride + x * 3 + c] = v;
    }
  }
  return picture;
}

uint8_t PixelAt(DibImage picture, int32_t x, int32_t y) { return DibGetBits(picture)[y * DibGetStride(picture) + x * 3 + 1]; }

class CaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctrl = std::make_unique<CImgAcqCtrl>();
    cycle = std::make_unique<ReadingCycle>(ctrl->Ring(), station.Callbacks());
    ctrl->AttachSink(cycle.get());
    station.Bind(cycle.get());
    station.EditSettings([](SettingsRecord& s) {
      s.BarCodeEnable = s.QRCodeEnable = s.DmxCodeEnable = 0;
      s.OneDecode = 0;
    });
  }
  void TearDown() override {
    station.window.Run([this] { cycle->StopReading(); });
    station.window.Drain();
    ctrl->TeardownGraph();
    ctrl->AttachSink(nullptr);
    SetCameraReplay("");
  }

  // Writes the pictures into the folder (by name) and builds the pipeline on it.
  int32_t Build(const std::vector<std::pair<std::string, DibImage>>& pictures, int32_t width = 640,
                int32_t height = 480, double rate = 0) {
    for (const auto& [name, picture] : pictures) {
      EXPECT_TRUE(WritePicture(picture, folder.File(name))) << name;
    }
    return BuildOn(folder.path(), width, height, rate);
  }
  int32_t BuildOn(const std::string& path, int32_t width = 640, int32_t height = 480, double rate = 0) {
    SetCameraReplay(path, rate);
    ctrl->Xsize = width;
    ctrl->Ysize = height;
    ctrl->DeviceNo = 1;
    EXPECT_EQ(ctrl->EnumerateDevices(), 1);
    const int32_t status = ctrl->BuildGraph();
    if (status != 0) ADD_FAILURE() << "BuildGraph " << status << ": " << ctrl->LastError();
    return status;
  }
  void StartReading() {
    station.PressReadStart();
    station.window.Drain();
    ASSERT_TRUE(cycle->running()) << ctrl->LastError();
  }
  void StopReading() {
    station.window.Run([this] { cycle->StopReading(); });
    station.window.Drain();
  }
  bool WaitForFrames(uint64_t n) {
    return WaitUntil([&] { return cycle->FramesHandled() >= n; });
  }
  bool WaitForShown(size_t n) {
    return WaitUntil([&] { return station.Shown().size() >= n; });
  }

  TempFolder folder;
  FakeStation station;
  std::unique_ptr<CImgAcqCtrl> ctrl;
  std::unique_ptr<ReadingCycle> cycle;
};

// ---------------------------------------------------------------------------
// Devices and the build

TEST_F(CaptureTest, TheReplaySourceIsTheOnlyDeviceNamedAfterItsPath) {
  const std::string path = folder.path();
  SetCameraReplay(path);
  EXPECT_EQ(CameraReplayPath(), path);
  ASSERT_EQ(ctrl->EnumerateDevices(), 1);
  ASSERT_EQ(DeviceList.size(), 1u);
  EXPECT_EQ(DeviceList[0].index, 0);
  EXPECT_EQ(std::string(DeviceList[0].name), path);

  // The option wins over the environment; without it the environment counts.
  setenv("VANTREL_CAMERA_REPLAY", "/from/the/environment", 1);
  EXPECT_EQ(CameraReplayPath(), path);
  SetCameraReplay("");
  EXPECT_EQ(CameraReplayPath(), "/from/the/environment");
  ASSERT_EQ(ctrl->EnumerateDevices(), 1);
  EXPECT_EQ(std::string(DeviceList[0].name), "/from/the/environment");
  unsetenv("VANTREL_CAMERA_REPLAY");

  // A long path is cut to 99 bytes, never inside a character.
  const std::string longPath = "/" + std::string(97, 'a') + "é/x";
  SetCameraReplay(longPath);
  ASSERT_EQ(ctrl->EnumerateDevices(), 1);
  EXPECT_EQ(std::string(DeviceList[0].name), "/" + std::string(97, 'a'));
}

TEST_F(CaptureTest, BuildGraphFailsWithTheCodeOfTheStepThatFailed) {
  DibPtr picture = BlankPicture();
  ASSERT_TRUE(WritePicture(picture.get(), folder.File("frame.bmp")));
  TempFolder empty;
  TempFolder notPictures;
  {
    std::FILE* f = std::fopen(notPictures.File("notes.png").c_str(), "w");
    std::fputs("not a picture", f);
    std::fclose(f);
  }
  struct Case {
    const char* what;
    std::string path;
    int32_t deviceNo;
    int32_t status;
  } cases[] = {
      {"device 0", folder.path(), 0, CImgAcqCtrl::kBadDevice},
      {"device beyond the list", folder.path(), 2, CImgAcqCtrl::kBadDevice},
      {"folder without pictures", empty.path(), 1, CImgAcqCtrl::kBadDevice},
      {"path that does not exist", folder.File("missing"), 1, CImgAcqCtrl::kBadDevice},
      {"file that is no picture", notPictures.File("notes.png"), 1, CImgAcqCtrl::kBadDevice},
      {"the picture", folder.path(), 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetCameraReplay(c.path);
    ctrl->DeviceNo = c.deviceNo;
    ctrl->Xsize = 640;
    ctrl->Ysize = 480;
    EXPECT_EQ(ctrl->BuildGraph(), c.status);
    EXPECT_EQ(ctrl->Ring().Allocated(), c.status == 0);
    ctrl->TeardownGraph();
    EXPECT_FALSE(ctrl->Ring().Allocated());
  }
}

TEST_F(CaptureTest, WithoutCamerasOrReplayTheBuildReportsNoDevice) {
  SetCameraReplay("");
  unsetenv("VANTREL_CAMERA_REPLAY");
  if (ctrl->EnumerateDevices() != 0) GTEST_SKIP() << "this machine has a camera";
  EXPECT_TRUE(DeviceList.empty());
  EXPECT_EQ(ctrl->BuildGraph(), CImgAcqCtrl::kNoDevice);
}

// ---------------------------------------------------------------------------
// Frames

TEST_F(CaptureTest, FramesArriveTopLineFirstFromEveryPictureFormat) {
  DibPtr picture = MarkedPicture(640, 480, 230);
  for (const char* name : {"frame.bmp", "frame.png", "frame.jpg"}) {
    SCOPED_TRACE(name);
    TempFolder one;
    ASSERT_TRUE(WritePicture(picture.get(), one.File(name)));
    ASSERT_EQ(BuildOn(one.File(name)), 0);
    std::atomic<int32_t> firstSlot{-1};
    station.previewHook = [&] {
      int32_t none = -1;
      firstSlot.compare_exchange_strong(none, ctrl->Ring().displayIndex());
    };
    const uint64_t before = cycle->FramesHandled();
    StartReading();
    ASSERT_TRUE(WaitForFrames(before + 2));
    StopReading();
    station.previewHook = nullptr;
    EXPECT_EQ(firstSlot.load(), 1) << "the first frame goes into slot 1";
    FrameRing::Lease slot = ctrl->Ring().ReadDisplayed();
    ASSERT_TRUE(slot);
    EXPECT_EQ(DibGetWidth(slot.image()), 640);
    EXPECT_LT(PixelAt(slot.image(), 10, 10), 40);
    EXPECT_NEAR(PixelAt(slot.image(), 630, 470), 128, 24);
    EXPECT_GT(PixelAt(slot.image(), 320, 240), 200);
    EXPECT_EQ(ctrl->FramesRefused(), 0u);
    slot.Release();
    ctrl->TeardownGraph();
  }
}

TEST_F(CaptureTest, AFolderPlaysItsPicturesInNameOrderAndLoops) {
  DibPtr a = MarkedPicture(640, 480, 50);
  DibPtr b = MarkedPicture(640, 480, 100);
  DibPtr c = MarkedPicture(320, 240, 150);  // another size: scaled to the asked one
  {
    std::FILE* f = std::fopen(folder.File("readme.txt").c_str(), "w");
    std::fputs("not played", f);
    std::fclose(f);
  }
  ASSERT_EQ(Build({{"10.bmp", c.get()}, {"2.png", b.get()}, {"1.bmp", a.get()}}), 0);
  std::mutex mutex;
  std::vector<int32_t> levels;
  station.previewHook = [&] {
    FrameRing::Lease slot = ctrl->Ring().ReadDisplayed();
    std::lock_guard<std::mutex> lock(mutex);
    if (slot && levels.size() < 7) levels.push_back(PixelAt(slot.image(), 320, 240));
  };
  StartReading();
  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard<std::mutex> lock(mutex);
    return levels.size() >= 7;
  }));
  StopReading();
  station.previewHook = nullptr;
  EXPECT_EQ(levels, (std::vector<int32_t>{50, 100, 150, 50, 100, 150, 50}));
  EXPECT_EQ(ctrl->Ring().Width(), 640);
  EXPECT_EQ(ctrl->FramesRefused(), 0u);
}

TEST_F(CaptureTest, TheRingAndThePreviewScaleFollowTheConnectedSize) {
  DibPtr picture = BlankPicture();
  ASSERT_TRUE(WritePicture(picture.get(), folder.File("frame.bmp")));
  struct Case {
    int32_t width, height;
    double scale;
    int32_t displayWidth, displayHeight;
  } cases[] = {
      {1280, 960, 0.5, 640, 480},
      {320, 240, 1.0, 320, 240},
      {640, 480, 1.0, 640, 480},
      {800, 480, 0.8, 640, 384},
  };
  cycle->SetPreviewTopLeft(10, 20);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    ASSERT_EQ(BuildOn(folder.path(), c.width, c.height), 0);
    EXPECT_EQ(ctrl->Xsize, c.width);
    EXPECT_EQ(ctrl->Ysize, c.height);
    EXPECT_DOUBLE_EQ(ctrl->scaleX, c.scale);
    EXPECT_DOUBLE_EQ(ctrl->scaleY, c.scale);
    EXPECT_EQ(ctrl->displayWidth, c.displayWidth);
    EXPECT_EQ(ctrl->displayHeight, c.displayHeight);
    EXPECT_EQ(ctrl->Ring().Width(), c.width);
    EXPECT_EQ(ctrl->Ring().Height(), c.height);
    EXPECT_EQ(ctrl->Ring().frameBytes(), ((c.width * 3 + 3) & ~3) * c.height);
    const OverlayOrigin origin = cycle->CurrentOverlayOrigin();
    EXPECT_EQ(origin.x, RoundToInt(10 / c.scale));
    EXPECT_EQ(origin.y, RoundToInt(20 / c.scale));
    double sx = 0;
    double sy = 0;
    OverlaySetScale(c.scale, c.scale, &sx, &sy);
    EXPECT_DOUBLE_EQ(sx, c.scale);
    EXPECT_DOUBLE_EQ(sy, c.scale);
    // Frames of the connected size get through.
    StartReading();
    ASSERT_TRUE(WaitForFrames(cycle->FramesHandled() + 1));
    StopReading();
    EXPECT_EQ(ctrl->FramesRefused(), 0u);
    ctrl->TeardownGraph();
  }
}

TEST_F(CaptureTest, ASizeChangeReconnectsReallocatesTheRingAndRestartsReading) {
  DibPtr picture = MarkedPicture(640, 480, 200);
  ASSERT_TRUE(WritePicture(picture.get(), folder.File("frame.bmp")));
  struct Case {
    const char* what;
    bool reading;
    bool ok;
    FrameSize answer;
    FrameSize connected;
  } cases[] = {
      {"OK while reading", true, true, {320, 240}, {320, 240}},
      {"Cancel while reading", true, false, {1280, 960}, {640, 480}},
      {"a size that cannot connect falls back", true, true, {123, 45}, {640, 480}},
      {"OK while idle", false, true, {800, 600}, {800, 600}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(BuildOn(folder.path(), 640, 480), 0);
    if (c.reading) {
      StartReading();
      ASSERT_TRUE(WaitForFrames(cycle->FramesHandled() + 2));
    }
    AnsweringDialogs dialogs;
    dialogs.ok = c.ok;
    dialogs.answer = c.answer;
    FrameSize reported;
    std::atomic<int32_t> firstSlot{-1};
    const int32_t repaints = station.WindowRepaints();
    int32_t status = 1;
    station.window.Run([&] {
      status = ctrl->ChangeCaptureSize(&dialogs, [&](int32_t w, int32_t h) {
        reported = {w, h};
        station.previewHook = [&] {
          int32_t none = -1;
          firstSlot.compare_exchange_strong(none, ctrl->Ring().displayIndex());
        };
      });
    });
    EXPECT_EQ(status, 0);
    ASSERT_EQ(dialogs.sizeDialogs, 1);
    ASSERT_GE(dialogs.selected, 0);
    EXPECT_EQ(dialogs.offered[static_cast<size_t>(dialogs.selected)], (FrameSize{640, 480}));
    EXPECT_EQ(reported, c.connected);
    EXPECT_EQ(ctrl->Xsize, c.connected.width);
    EXPECT_EQ(ctrl->Ysize, c.connected.height);
    EXPECT_EQ(ctrl->Ring().Width(), c.connected.width);
    EXPECT_EQ(ctrl->Ring().Height(), c.connected.height);
    EXPECT_EQ(station.WindowRepaints(), repaints + 1);
    EXPECT_EQ(OverlayLines(), 0);
    EXPECT_EQ(cycle->running(), c.reading);
    if (c.reading) {
      ASSERT_TRUE(WaitUntil([&] { return firstSlot.load() >= 0; }));
      EXPECT_EQ(firstSlot.load(), 1) << "the first frame after the change goes into slot 1";
      StopReading();
      EXPECT_EQ(ctrl->FramesRefused(), 0u);
    } else {
      EXPECT_EQ(ctrl->Ring().displayIndex(), 0);
    }
    station.previewHook = nullptr;
    ctrl->TeardownGraph();
  }
}

TEST_F(CaptureTest, TheReplaySourceOffersSizesButHasNoPictureControls) {
  DibPtr picture = BlankPicture();
  ASSERT_EQ(Build({{"frame.bmp", picture.get()}}, 1000, 700), 0);
  const std::vector<FrameSize> sizes = ctrl->OfferedSizes();
  EXPECT_NE(std::find(sizes.begin(), sizes.end(), FrameSize{1000, 700}), sizes.end());
  EXPECT_NE(std::find(sizes.begin(), sizes.end(), FrameSize{640, 480}), sizes.end());
  EXPECT_EQ(ctrl->DeviceControls(), nullptr);
  AnsweringDialogs dialogs;
  StartReading();
  station.window.Run([&] { ctrl->ShowImageQualityPage(&dialogs); });
  EXPECT_EQ(dialogs.qualityDialogs, 0);
  EXPECT_TRUE(cycle->running()) << "the stream keeps running";
}

// ---------------------------------------------------------------------------
// The reading cycle on replayed frames

TEST_F(CaptureTest, AFrameWithABarcodeAndAQrCodeYieldsTheBarcode) {
  DibPtr both = BarcodeAndQrPicture("BOTH1", "QR-NOT-READ");
  station.EditSettings([](SettingsRecord& s) {
    s.BarCodeEnable = 1;
    s.QRCodeEnable = 1;
  });
  ASSERT_EQ(Build({{"both.png", both.get()}}), 0);
  StartReading();
  ASSERT_TRUE(WaitForShown(3));
  StopReading();
  for (const std::string& text : station.Shown()) EXPECT_EQ(text, "種類：CODE 128\r\n\r\nBOTH1");
}

TEST_F(CaptureTest, StopAfterReadingStopsAtTheFirstShownResultAndReleasesTheButton) {
  DibPtr picture = BarcodePicture("ONCE1");
  station.EditSettings([](SettingsRecord& s) {
    s.BarCodeEnable = 1;
    s.OneDecode = 1;
  });
  ASSERT_EQ(Build({{"frame.bmp", picture.get()}}, 640, 480, 30), 0);
  station.PressReadStart();  // the first frame may stop it again at once
  ASSERT_TRUE(WaitUntil([&] { return !cycle->running() && !station.Shown().empty(); }));
  const uint64_t frames = ctrl->FramesDelivered();
  // Long enough for several more frames at the replay's rate, had it run on.
  std::this_thread::sleep_for(300ms);
  station.window.Drain();
  EXPECT_EQ(ctrl->FramesDelivered(), frames);
  EXPECT_EQ(station.Shown(), (std::vector<std::string>{"種類：CODE 128\r\n\r\nONCE1"}));
  EXPECT_EQ(station.Box(), "種類：CODE 128\r\n\r\nONCE1") << "the result stays in the box";
  EXPECT_FALSE(station.ButtonPressed());
  EXPECT_EQ(station.Caption(), "読取開始");
  EXPECT_FALSE(cycle->ResultCommandPending());
  EXPECT_GT(OverlayLines(), 0) << "the outline of the code read stays";

  // Starting again empties the result box and the outline.
  station.EditSettings([](SettingsRecord& s) { s.BarCodeEnable = 0; });
  StartReading();
  EXPECT_EQ(station.Box(), "");
  EXPECT_EQ(OverlayLines(), 0);
  ASSERT_TRUE(WaitForFrames(cycle->FramesHandled() + 2));
  EXPECT_EQ(station.Box(), "");
}

TEST_F(CaptureTest, WithoutStopAfterReadingTheBoxFollowsTheDecodingFrames) {
  DibPtr a = BarcodePicture("ALPHA");
  DibPtr b = BarcodePicture("BRAVO");
  DibPtr blank = BlankPicture();
  station.EditSettings([](SettingsRecord& s) { s.BarCodeEnable = 1; });
  ASSERT_EQ(Build({{"1.bmp", a.get()}, {"2.bmp", blank.get()}, {"3.bmp", b.get()}}), 0);
  // The window paints and runs trial reads meanwhile.
  std::atomic<bool> painting{true};
  std::thread painter([&] {
    while (painting.load()) {
      station.window.Run([&] {
        FrameRing::Lease slot = ctrl->Ring().ReadDisplayed();
        if (!slot) return;
        char typeName[20];
        char data[kDecodeDataBytes];
        int32_t length = 0;
        int32_t position[4];
        std::lock_guard<std::mutex> lock(DecoderMutex());
        DecodeBarcode(slot.image(), station.Settings(), cycle->CurrentOverlayOrigin(), typeName, &length, position,
                      data);
      });
    }
  });
  StartReading();
  const bool both = WaitUntil([&] {
    const auto shown = station.Shown();
    return std::count(shown.begin(), shown.end(), "種類：CODE 128\r\n\r\nALPHA") >= 2 &&
           std::count(shown.begin(), shown.end(), "種類：CODE 128\r\n\r\nBRAVO") >= 2;
  });
  painting = false;
  painter.join();
  EXPECT_TRUE(cycle->running());
  StopReading();
  ASSERT_TRUE(both);
  for (const std::string& text : station.Shown()) {
    EXPECT_TRUE(text == "種類：CODE 128\r\n\r\nALPHA" || text == "種類：CODE 128\r\n\r\nBRAVO") << text;
  }
  EXPECT_EQ(ctrl->Ring().LeasesHeld(), 0);
}

TEST_F(CaptureTest, ResultTextsKeepTheirLabelsAndEveryPercentSign) {
  DibPtr barcode = BarcodePicture("AB%12%s");
  DibPtr qr = QrPicture("50%OFF %d", {"--vers=1", "--secure=2"});
  DibPtr kanji = QrPicture("\x8a\xbf\x8e\x9a%", {"--binary", "--vers=2", "--secure=4"});
  DibPtr dmx = DataMatrixPicture("10%+5%");
  struct Case {
    const char* what;
    DibImage picture;
    int32_t barcode, qr, dmx;
    std::string text;
  } cases[] = {
      {"barcode", barcode.get(), 1, 0, 0, "種類：CODE 128\r\n\r\nAB%12%s"},
      {"QR code", qr.get(), 0, 1, 0, "バージョン：1\r\nレベル：M(15％)\r\n\r\n50%OFF %d"},
      {"QR code with Kanji", kanji.get(), 0, 1, 0, "バージョン：2\r\nレベル：H(30％)\r\n\r\n漢字%"},
      {"Data Matrix", dmx.get(), 0, 0, 1, "10%+5%"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder one;
    ASSERT_TRUE(WritePicture(c.picture, one.File("code.png")));
    station.EditSettings([&](SettingsRecord& s) {
      s.BarCodeEnable = c.barcode;
      s.QRCodeEnable = c.qr;
      s.DmxCodeEnable = c.dmx;
      s.OneDecode = 1;
    });
    ASSERT_EQ(BuildOn(one.File("code.png")), 0);
    const size_t before = station.Shown().size();
    station.PressReadStart();  // the first frame may already stop the reading again
    ASSERT_TRUE(WaitUntil([&] { return station.Shown().size() > before && !cycle->running(); }));
    station.window.Drain();
    EXPECT_EQ(station.Box(), c.text);
    ctrl->TeardownGraph();
  }
}

TEST_F(CaptureTest, StopWaitsForTheFrameBeingDecoded) {
  DibPtr picture = BarcodePicture("SLOW1");
  station.EditSettings([](SettingsRecord& s) { s.BarCodeEnable = 1; });
  ASSERT_EQ(Build({{"frame.bmp", picture.get()}}), 0);
  std::atomic<int32_t> handled{0};
  station.previewHook = [&] { handled.fetch_add(1); };

  std::unique_lock<std::mutex> trial(DecoderMutex());  // a trial read holds the decoders
  StartReading();
  // A frame waits for the decoders: a stop that came before its reading asked
  // for them would rightly skip the decode and not wait.
  ASSERT_TRUE(WaitUntil([&] { return ctrl->Ring().displayIndex() == 1 && ThreadSleeps(station.ReaderThread()); }));
  const int32_t posted = station.CommandsPosted();
  std::future<void> stopped = station.window.Start([&] { cycle->StopReading(); });
  EXPECT_EQ(stopped.wait_for(150ms), std::future_status::timeout) << "stop returned during a decode";
  EXPECT_EQ(handled.load(), 0);
  trial.unlock();
  stopped.wait();
  EXPECT_EQ(handled.load(), 1) << "the frame in flight was finished before stop returned";
  station.window.Drain();
  EXPECT_EQ(station.CommandsPosted(), posted) << "a decode finished after the stop shows nothing";
  EXPECT_EQ(cycle->PendingResult().kind, 0);
  EXPECT_EQ(ctrl->Ring().LeasesHeld(), 0);
  station.previewHook = nullptr;

  // The ring can be reallocated at once.
  EXPECT_EQ(ctrl->ConnectStream(320, 240), 0);
  EXPECT_EQ(ctrl->Ring().Width(), 320);
}

}  // namespace
}  // namespace vantrel::test

// The capture back end's rules that need no device: mode choice, offered
// sizes, preview scale, which video devices are listed and in which order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vantrel/capture_modes.h"

namespace vantrel {
namespace {

DeviceMode Fixed(int32_t w, int32_t h, ModeFormat f = ModeFormat::kRaw) {
  DeviceMode m;
  m.format = f;
  m.minWidth = m.maxWidth = w;
  m.minHeight = m.maxHeight = h;
  return m;
}

DeviceMode Range(int32_t w0, int32_t w1, int32_t h0, int32_t h1, int32_t step = 1) {
  DeviceMode m;
  m.minWidth = w0;
  m.maxWidth = w1;
  m.minHeight = h0;
  m.maxHeight = h1;
  m.widthStep = m.heightStep = step;
  return m;
}

TEST(DeviceModes, TheNearestModeIsChosenAndRawPixelsWinATie) {
  const std::vector<DeviceMode> webcam = {Fixed(640, 480), Fixed(320, 240), Fixed(1280, 720),
                                          Fixed(1280, 720, ModeFormat::kJpeg), Fixed(1920, 1080, ModeFormat::kJpeg)};
  struct Case {
    const char* what;
    std::vector<DeviceMode> modes;
    FrameSize asked;
    bool found;
    ModeFormat format;
    FrameSize size;
  } cases[] = {
      {"offered as asked", webcam, {640, 480}, true, ModeFormat::kRaw, {640, 480}},
      {"raw and JPEG: raw", webcam, {1280, 720}, true, ModeFormat::kRaw, {1280, 720}},
      {"only as JPEG", webcam, {1920, 1080}, true, ModeFormat::kJpeg, {1920, 1080}},
      {"not offered: nearest", webcam, {800, 600}, true, ModeFormat::kRaw, {640, 480}},
      {"smaller than all", webcam, {100, 80}, true, ModeFormat::kRaw, {320, 240}},
      {"inside a range", {Range(160, 1920, 120, 1080)}, {1000, 700}, true, ModeFormat::kRaw, {1000, 700}},
      {"range in steps", {Range(160, 1920, 120, 1080, 16)}, {1000, 700}, true, ModeFormat::kRaw, {992, 696}},
      {"beyond a range", {Range(160, 1280, 120, 720)}, {4000, 3000}, true, ModeFormat::kRaw, {1280, 720}},
      {"earlier of two equally near", {Fixed(600, 480), Fixed(680, 480)}, {640, 480}, true, ModeFormat::kRaw, {600, 480}},
      {"nothing offered", {}, {640, 480}, false, ModeFormat::kRaw, {0, 0}},
      {"broken mode skipped", {Range(0, 0, 0, 0), Fixed(320, 240)}, {640, 480}, true, ModeFormat::kRaw, {320, 240}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ChosenMode m = ChooseDeviceMode(c.modes, c.asked);
    EXPECT_EQ(m.found, c.found);
    if (!c.found) continue;
    EXPECT_EQ(m.format, c.format);
    EXPECT_EQ(m.size, c.size);
  }
}

TEST(DeviceModes, OfferedSizesListEachSizeOnceSmallestFirst) {
  EXPECT_EQ(OfferedFrameSizes({Fixed(1280, 720), Fixed(640, 480), Fixed(640, 480, ModeFormat::kJpeg)}),
            (std::vector<FrameSize>{{640, 480}, {1280, 720}}));
  EXPECT_EQ(OfferedFrameSizes({Range(320, 800, 240, 600)}),
            (std::vector<FrameSize>{{320, 240}, {352, 288}, {424, 240}, {640, 360}, {640, 480}, {800, 600}}));
  // A range without a common size offers its largest.
  EXPECT_EQ(OfferedFrameSizes({Range(100, 150, 100, 110)}), (std::vector<FrameSize>{{150, 110}}));
  const std::vector<FrameSize> replay = ReplayFrameSizes({1000, 700});
  EXPECT_NE(std::find(replay.begin(), replay.end(), FrameSize{1000, 700}), replay.end());
  EXPECT_TRUE(std::is_sorted(replay.begin(), replay.end(), [](const FrameSize& a, const FrameSize& b) {
    return int64_t{a.width} * a.height < int64_t{b.width} * b.height;
  }));
}

TEST(PreviewGeometry, FitsSixFortyByFourEightyAndNeverEnlarges) {
  struct Case {
    int32_t w, h;
    double scale;
    int32_t dw, dh;
  } cases[] = {
      {1280, 960, 0.5, 640, 480}, {320, 240, 1.0, 320, 240}, {640, 480, 1.0, 640, 480},
      {800, 480, 0.8, 640, 384},  {1920, 1080, 1.0 / 3.0, 640, 360}, {639, 479, 1.0, 639, 479},
      {320, 480, 1.0, 320, 480},  {0, 480, 1.0, 0, 0},
  };
  for (const Case& c : cases) {
    const PreviewGeometry g = PreviewGeometryFor(c.w, c.h);
    EXPECT_DOUBLE_EQ(g.scale, c.scale) << c.w << " x " << c.h;
    EXPECT_EQ(g.displayWidth, c.dw) << c.w << " x " << c.h;
    EXPECT_EQ(g.displayHeight, c.dh) << c.w << " x " << c.h;
  }
}

TEST(CameraList, EachV4l2CameraOnceInDeviceNodeOrder) {
  const std::vector<CameraCandidate> seen = {
      {"pipewire", "/dev/video0", "Camera (PipeWire)"},
      {"v4l2", "/dev/video10", "Second camera"},
      {"v4l2", "/dev/video2", "First camera"},
      {"libcamera", "/dev/video2", "First camera (libcamera)"},
      {"v4l2", "/dev/video2", "First camera again"},
      {"v4l2", "", "No node"},
      {"v4l2", "/dev/video0", "Built-in"},
  };
  std::vector<std::string> names;
  for (size_t i : SelectCameras(seen)) names.push_back(seen[i].name);
  EXPECT_EQ(names, (std::vector<std::string>{"Built-in", "First camera", "Second camera"}));
}

TEST(CameraList, PathsOrderByTheirNumbers) {
  struct Case {
    std::string a, b;
    bool before;
  } cases[] = {
      {"/dev/video2", "/dev/video10", true}, {"/dev/video10", "/dev/video2", false},
      {"/dev/video1", "/dev/video1", false}, {"/dev/video", "/dev/video0", true},
      {"/dev/video02", "/dev/video2", false}, {"/dev/video2", "/dev/video02", true},
      {"a9b", "a10a", true},
  };
  for (const Case& c : cases) EXPECT_EQ(PathBefore(c.a, c.b), c.before) << c.a << " / " << c.b;
}

TEST(CameraList, NamesAreCutToNinetyNineBytesAtACharacterBoundary) {
  struct Case {
    std::string name;
    std::string kept;
  } cases[] = {
      {"USB Camera", "USB Camera"},
      {std::string(120, 'x'), std::string(99, 'x')},
      {std::string(98, 'x') + "é", std::string(98, 'x')},
      {std::string(97, 'x') + "é", std::string(97, 'x') + "é"},
      {std::string(96, 'x') + "漢字", std::string(96, 'x') + "漢"},
  };
  for (const Case& c : cases) {
    char out[100];
    CopyDeviceName(c.name, out);
    EXPECT_EQ(std::string(out), c.kept) << c.name.size();
  }
}

}  // namespace
}  // namespace vantrel

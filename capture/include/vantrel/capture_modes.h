// The toolkit-free rules of the capture back end: which device mode a frame
// size connects at, which sizes a device offers, the preview scale, and which
// of the system's video devices are listed as cameras, in which order.
#ifndef VANTREL_CAPTURE_MODES_H
#define VANTREL_CAPTURE_MODES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

struct FrameSize {
  int32_t width = 0;
  int32_t height = 0;
  bool operator==(const FrameSize&) const = default;
};

// How a device delivers a mode: raw pixels, or JPEG pictures that have to be
// decoded first.
enum class ModeFormat { kRaw, kJpeg };

// One mode a device offers: a fixed size (min == max) or a range of sizes in
// steps.
struct DeviceMode {
  ModeFormat format = ModeFormat::kRaw;
  int32_t minWidth = 0;
  int32_t maxWidth = 0;
  int32_t minHeight = 0;
  int32_t maxHeight = 0;
  int32_t widthStep = 1;
  int32_t heightStep = 1;
};

struct ChosenMode {
  bool found = false;
  ModeFormat format = ModeFormat::kRaw;
  FrameSize size;
};

// The mode nearest to the asked size (smallest |dw| + |dh|); at equal distance
// raw pixels win over JPEG, then the earlier mode. A device that does not offer
// the size thus connects at its nearest mode.
ChosenMode ChooseDeviceMode(const std::vector<DeviceMode>& modes, FrameSize asked);

// The sizes a device offers, for the size dialog: each fixed size, and the
// common camera sizes that fall inside a range; smallest first, each once.
std::vector<FrameSize> OfferedFrameSizes(const std::vector<DeviceMode>& modes);

// The replay source scales to any size: the common camera sizes plus the
// current one, smallest first.
std::vector<FrameSize> ReplayFrameSizes(FrameSize current);

// The preview fits 640 x 480 and is never enlarged.
struct PreviewGeometry {
  double scale = 1.0;
  int32_t displayWidth = 0;
  int32_t displayHeight = 0;
};
PreviewGeometry PreviewGeometryFor(int32_t width, int32_t height);

// A video source as the device monitor reports it.
struct CameraCandidate {
  std::string provider;  // "v4l2", "pipewire", "libcamera", ...
  std::string path;      // device node, e.g. /dev/video0
  std::string name;      // display name
};

// The candidates listed as cameras, as indexes into the input: v4l2 devices
// only (the same camera seen through PipeWire or libcamera is not listed
// again), each device node once, ordered by device node (/dev/video2 before
// /dev/video10), so that a position names the same camera from one start to
// the next.
std::vector<size_t> SelectCameras(const std::vector<CameraCandidate>& candidates);

// Orders paths by their text, with digit runs compared as numbers.
bool PathBefore(const std::string& a, const std::string& b);

// A name as DeviceEntry keeps it: at most 99 bytes, cut at a character
// boundary of the UTF-8 text, NUL-terminated.
void CopyDeviceName(const std::string& name, char (&out)[100]);

}  // namespace vantrel

#endif

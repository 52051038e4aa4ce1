// Camera faults that the fault-injecting replay source plays on purpose, so
// that the station's reaction to a failing camera can be tried without one:
// an error on the pipeline's bus, a source that stops delivering, and frames
// whose size or stride differ from the connected format.
//
// Written as a list, e.g. "bus-error@30" or "stall@10,wide-stride@3+":
//   KIND[@N][+]   N is the frame the fault comes at (1-based, default 30);
//                 "+" makes a frame fault hit every frame from N on.
// Kinds:
//   bus-error     the source reports a read error, as an unplugged camera
//                 does, and sends nothing more until the stream is restarted
//   stall         the source stops sending frames until the stream is restarted
//   short-frame   a frame buffer that holds half of what the format needs
//   wide-stride   a frame whose rows claim twice the connected row pitch
//   narrow-stride a frame whose rows claim a pitch shorter than a row
//   large-frame   a frame larger than the connected size
//   small-frame   a frame smaller than the connected size
// Source faults (bus-error, stall) count the frames the source sent; frame
// faults count the frames that reached the frame grabber. Every fault counts
// from the moment the source was built, across restarts, and comes once
// (frame faults with "+" once per frame from N on).
#ifndef VANTREL_CAMERA_FAULTS_H
#define VANTREL_CAMERA_FAULTS_H

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

struct CameraFault {
  enum Kind : int32_t {
    kBusError,
    kStall,
    kShortFrame,
    kWideStride,
    kNarrowStride,
    kLargeFrame,
    kSmallFrame,
  };
  static constexpr uint64_t kDefaultFrame = 30;

  Kind kind = kBusError;
  uint64_t frame = kDefaultFrame;  // 1-based
  bool onward = false;             // frame faults: every frame from `frame` on

  // Faults at the source, as opposed to faults in the frames themselves.
  bool atSource() const { return kind == kBusError || kind == kStall; }
  bool operator==(const CameraFault&) const = default;
};

// The kinds' names as written in a list.
const char* CameraFaultName(CameraFault::Kind kind);

// Reads a fault list. False, with *error saying what is wrong, for an unknown
// kind, a frame number that is not a whole number from 1 on, "+" on a source
// fault, or an empty list item.
bool ParseCameraFaults(const std::string& text, std::vector<CameraFault>* faults, std::string* error);

}  // namespace vantrel

#endif

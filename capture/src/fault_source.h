// The fault-injecting source: the replay source that, on top of playing its
// pictures, plays camera faults (vantrel/camera_faults.h) at the frames the
// fault list names. Source faults happen in the source's own streaming
// thread, as a camera's would; frame faults replace frames on their way into
// the frame grabber, after the conversion, as a driver that fills buffers of
// another geometry than it announced would deliver them.
#ifndef VANTREL_CAPTURE_FAULT_SOURCE_H
#define VANTREL_CAPTURE_FAULT_SOURCE_H

#include <gst/gst.h>

#include <cstdint>
#include <mutex>
#include <vector>

#include "replay_source.h"
#include "vantrel/camera_faults.h"

namespace vantrel {

class FaultSource : public ReplaySource {
 public:
  explicit FaultSource(std::vector<CameraFault> faults);
  ~FaultSource() override;

  // A restart ends a stall or the silence after a bus error; faults that came
  // do not come again.
  void Rewind() override;
  void WatchGrabberPad(GstPad* pad) override;

 protected:
  void FrameWanted(GstAppSrc* src) override;

 private:
  static GstPadProbeReturn OnGrabberBuffer(GstPad* pad, GstPadProbeInfo* info, gpointer self);
  // The frame fault due for the frame now at the grabber, or -1.
  int32_t FrameFaultDue();

  std::mutex mutex_;
  const std::vector<CameraFault> faults_;
  std::vector<bool> fired_;
  uint64_t sent_ = 0;     // frames the source sent since it was built
  uint64_t arrived_ = 0;  // frames that reached the grabber since then
  bool silent_ = false;   // stalled or failed: nothing until the next start
};

}  // namespace vantrel

#endif

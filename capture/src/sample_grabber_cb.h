// The frame callback between the pipeline's appsink and the frame sink.
#ifndef VANTREL_CAPTURE_SAMPLE_GRABBER_CB_H
#define VANTREL_CAPTURE_SAMPLE_GRABBER_CB_H

#include <gst/app/gstappsink.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "vantrel/frame_sink.h"
#include "vantrel/img_acq_ctrl.h"

namespace vantrel {

// Reference-counted because the appsink holds it from its own threads: the
// controller keeps the first reference, the appsink one more until its
// callbacks are replaced or it is disposed.
class CSampleGrabberCB {
 public:

  // Frames of another size than the ring's are refused before they are mapped.
  explicit CSampleGrabberCB(const FrameRing& ring) : ring_(ring) {}
  virtual ~CSampleGrabberCB() = default;

  int32_t AddRef() { return refCount_.fetch_add(1) + 1; }
  int32_t Release() {
    const int32_t left = refCount_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
  }

  // The sink that frames go to (may be null: frames are then dropped).
  void SetSink(FrameSink* sink) { sink_.store(sink); }

  // appsink callbacks, on the streaming thread. The preroll sample carries no
  // frame for the cycle; every new sample is one frame.
  static GstFlowReturn SampleCB(GstAppSink* sink, gpointer self);
  static GstFlowReturn BufferCB(GstAppSink* sink, gpointer self);
  // For the appsink's destroy notification: drops its reference.
  static void ReleaseNotify(gpointer self);

  uint64_t delivered() const { return delivered_.load(); }
  uint64_t refused() const { return refused_.load(); }
  // A new stream starts: the run of refused frames counts from nothing.
  void ResetRefusedRun() { refusedInARow_.store(0); }

 private:
  void Deliver(GstAppSink* appsink, GstSample* sample);
  // Counts a refused frame; after a run of them, posts the stream error on
  // the grabber's bus with `why` (the last refusal's reason).
  void Refuse(GstAppSink* appsink, const std::string& why);

  const FrameRing& ring_;
  std::atomic<int32_t> refCount_{1};
  std::atomic<FrameSink*> sink_{nullptr};
  std::atomic<uint64_t> delivered_{0};
  std::atomic<uint64_t> refused_{0};
  std::atomic<uint32_t> refusedInARow_{0};
};

}  // namespace vantrel

#endif

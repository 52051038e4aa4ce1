// The stream contract between the capture back end and whoever reads its
// frames (the station's reading cycle, a benchmark, a test).
//
// The capture controller owns the stream and the FrameRing; it hands every
// frame to one FrameSink and lets the sink drive the stream, because only the
// sink knows when a frame is still being handled. Nothing here knows about
// decoders or windows.
#ifndef VANTREL_FRAME_SINK_H
#define VANTREL_FRAME_SINK_H

#include <cstdint>
#include <string>

#include "vantrel/frame_ring.h"

namespace vantrel {

// The capture back end as a sink drives it.
class CaptureStream {
 public:
  virtual ~CaptureStream() = default;
  // Starts delivering frames to the sink: 0, or a negative code.
  virtual int32_t RunStream() = 0;
  // Stops the frames. May return while a HandleFrame is still in flight; the
  // sink waits for it.
  virtual void StopStream() = 0;
};

class FrameSink {
 public:
  virtual ~FrameSink() = default;

  // ---- the streaming thread
  // False while frames are not wanted: a frame that comes then is not even mapped.
  virtual bool AcceptingFrames() const = 0;
  // One frame of the ring's geometry, top line first. Must not wait for the
  // window thread.
  virtual void HandleFrame(const FrameView& frame) = 0;

  // ---- any thread (a streaming thread, or the window thread inside RunStream)
  // The stream failed: the device reported an error, went away, or keeps
  // sending frames the ring cannot take. `device` names the device, `error`
  // says what happened. Must not wait for the window thread nor stop the
  // stream itself (a streaming thread cannot stop its own pipeline): the
  // window thread does that.
  virtual void StreamFailed(const std::string& device, const std::string& error) = 0;

  // ---- the window thread
  // The stream that StartReading and StopReading drive; null for none.
  virtual void SetStream(CaptureStream* stream) = 0;
  virtual bool running() const = 0;
  // 0, or the stream's code (reading then stays off).
  virtual int32_t StartReading() = 0;
  // Returns only when no HandleFrame runs, so that the ring may be reallocated.
  virtual void StopReading() = 0;
  // The stream was connected at width x height; the preview shows it at
  // `scale` screen pixels per picture pixel.
  virtual void StreamConnected(int32_t width, int32_t height, double scale) = 0;
  // A change of the frame size has ended, whether or not a size connected:
  // what was drawn over the old frames no longer fits.
  virtual void SizeChangeEnded() = 0;
};

}  // namespace vantrel

#endif

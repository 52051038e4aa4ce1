#include "sample_grabber_cb.h"

#include "gst_ptr.h"
#include "streaming_fence.h"

#include <gst/video/video.h>

namespace vantrel {

GstFlowReturn CSampleGrabberCB::SampleCB(GstAppSink* sink, gpointer) {
  const StreamingFenceScope fence;
  // Pull the preroll sample so that the appsink does not keep it; it is shown
  // again as the first new sample once the pipeline plays.
  const SamplePtr sample(gst_app_sink_try_pull_preroll(sink, 0));
  return GST_FLOW_OK;
}

GstFlowReturn CSampleGrabberCB::BufferCB(GstAppSink* sink, gpointer self) {
  const StreamingFenceScope fence;
  const SamplePtr sample(gst_app_sink_try_pull_sample(sink, 0));
  if (sample) static_cast<CSampleGrabberCB*>(self)->Deliver(sample.get());
  return GST_FLOW_OK;
}

void CSampleGrabberCB::ReleaseNotify(gpointer self) { static_cast<CSampleGrabberCB*>(self)->Release(); }

void CSampleGrabberCB::Deliver(GstSample* sample) {
  FrameSink* sink = sink_.load();
  // A frame that arrives while reading stops is not even mapped.
  if (sink == nullptr || !sink->AcceptingFrames()) return;
  GstCaps* caps = gst_sample_get_caps(sample);
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  GstVideoInfo info;
  if (caps == nullptr || buffer == nullptr || !gst_video_info_from_caps(&info, caps) ||
      GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGR) {
    refused_.fetch_add(1);
    return;
  }
  if (GST_VIDEO_INFO_WIDTH(&info) != ring_.Width() || GST_VIDEO_INFO_HEIGHT(&info) != ring_.Height()) {
    refused_.fetch_add(1);
    return;
  }
  // Mapping as a video frame honours the buffer's own row pitch (video meta),
  // which need not be the 4-byte padding the info implies.
  struct MappedFrame {
    GstVideoFrame frame;
    bool mapped = false;
    ~MappedFrame() {
      if (mapped) gst_video_frame_unmap(&frame);
    }
  } mapped;
  mapped.mapped = gst_video_frame_map(&mapped.frame, &info, buffer, GST_MAP_READ) != FALSE;
  if (!mapped.mapped) {
    refused_.fetch_add(1);
    return;
  }
  FrameView view;
  view.bits = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped.frame, 0));
  view.width = GST_VIDEO_FRAME_WIDTH(&mapped.frame);
  view.height = GST_VIDEO_FRAME_HEIGHT(&mapped.frame);
  view.stride = GST_VIDEO_FRAME_PLANE_STRIDE(&mapped.frame, 0);
  delivered_.fetch_add(1);
  sink->HandleFrame(view);
}

}  // namespace vantrel

#include "sample_grabber_cb.h"

#include "gst_ptr.h"
#include "streaming_fence.h"

#include <gst/video/video.h>

#include <string>

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
  if (sample) static_cast<CSampleGrabberCB*>(self)->Deliver(sink, sample.get());
  return GST_FLOW_OK;
}

void CSampleGrabberCB::ReleaseNotify(gpointer self) { static_cast<CSampleGrabberCB*>(self)->Release(); }

namespace {

std::string Size(int32_t width, int32_t height) { return std::to_string(width) + " x " + std::to_string(height); }

// Why a frame cannot go into a ring of width x height, judged from what its
// buffer says of itself before anything is mapped ("" when it can). A video
// meta states the buffer's own geometry, which mapping would trust: it must
// agree with the connected format and fit inside the buffer.
std::string FrameProblem(const GstVideoInfo& info, GstBuffer* buffer, int32_t width, int32_t height) {
  if (GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGR) {
    return std::string("frames in the format ") + gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(&info)) +
           " instead of BGR";
  }
  if (GST_VIDEO_INFO_WIDTH(&info) != width || GST_VIDEO_INFO_HEIGHT(&info) != height) {
    return "frames announced as " + Size(GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info)) + " where " +
           Size(width, height) + " was connected";
  }
  const size_t size = gst_buffer_get_size(buffer);
  size_t offset = GST_VIDEO_INFO_PLANE_OFFSET(&info, 0);
  int32_t stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
  if (const GstVideoMeta* meta = gst_buffer_get_video_meta(buffer)) {
    if (meta->format != GST_VIDEO_FORMAT_BGR || meta->n_planes != 1) {
      return std::string("frame buffers in the format ") + gst_video_format_to_string(meta->format) +
             " instead of BGR";
    }
    if (static_cast<int64_t>(meta->width) != width || static_cast<int64_t>(meta->height) != height) {
      return "frames of " + Size(static_cast<int32_t>(meta->width), static_cast<int32_t>(meta->height)) +
             " where " + Size(width, height) + " was connected";
    }
    offset = meta->offset[0];
    stride = meta->stride[0];
  }
  if (stride < width * 3) {
    return "frames whose rows are " + std::to_string(stride) + " bytes apart, less than a row of " +
           std::to_string(width) + " pixels";
  }
  const size_t extent = FrameExtent(width, height, stride);
  if (offset > size || size - offset < extent) {
    return "frames of " + std::to_string(size) + " bytes where " + Size(width, height) + " with rows " +
           std::to_string(stride) + " bytes apart needs " + std::to_string(offset + extent);
  }
  return std::string();
}

}  // namespace

void CSampleGrabberCB::Refuse(GstAppSink* appsink, const std::string& why) {
  refused_.fetch_add(1);
  if (refusedInARow_.fetch_add(1) + 1 != CImgAcqCtrl::kRefusedRun) return;
  // Once per run: a camera that only sends what the ring cannot take would
  // otherwise leave the preview frozen without a word.
  GError* error = g_error_new(GST_STREAM_ERROR, GST_STREAM_ERROR_FORMAT,
                              "The camera sends frames that do not fit the connected format: %s", why.c_str());
  const std::string debug = std::to_string(CImgAcqCtrl::kRefusedRun) + " frames in a row refused";
  gst_element_post_message(GST_ELEMENT(appsink), gst_message_new_error(GST_OBJECT(appsink), error, debug.c_str()));
  g_error_free(error);
}

void CSampleGrabberCB::Deliver(GstAppSink* appsink, GstSample* sample) {
  FrameSink* sink = sink_.load();
  // A frame that arrives while reading stops is not even mapped.
  if (sink == nullptr || !sink->AcceptingFrames()) return;
  GstCaps* caps = gst_sample_get_caps(sample);
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  GstVideoInfo info;
  if (caps == nullptr || buffer == nullptr || !gst_video_info_from_caps(&info, caps)) {
    Refuse(appsink, "frames without a readable format");
    return;
  }
  const int32_t width = ring_.Width();
  const int32_t height = ring_.Height();
  if (const std::string problem = FrameProblem(info, buffer, width, height); !problem.empty()) {
    Refuse(appsink, problem);
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
    Refuse(appsink, "frame buffers that cannot be read");
    return;
  }
  FrameView view;
  view.bits = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped.frame, 0));
  view.width = GST_VIDEO_FRAME_WIDTH(&mapped.frame);
  view.height = GST_VIDEO_FRAME_HEIGHT(&mapped.frame);
  view.stride = GST_VIDEO_FRAME_PLANE_STRIDE(&mapped.frame, 0);
  // What the mapping really holds from the first row on; the ring reads no
  // further than that.
  const auto* begin = static_cast<const uint8_t*>(mapped.frame.map[0].data);
  const uint8_t* end = begin + mapped.frame.map[0].size;
  view.bytes = view.bits >= begin && view.bits <= end ? static_cast<size_t>(end - view.bits) : 0;
  if (view.width != width || view.height != height || view.bytes < FrameExtent(width, height, view.stride)) {
    Refuse(appsink, "frame buffers that hold less than their rows");
    return;
  }
  refusedInARow_.store(0);
  delivered_.fetch_add(1);
  sink->HandleFrame(view);
}

}  // namespace vantrel

#include "fault_source.h"

#include <gst/video/video.h>

#include <algorithm>
#include <utility>

#include "gst_ptr.h"
#include "streaming_fence.h"

namespace vantrel {

namespace {

// A frame buffer of `bytes` bytes, mid-grey, with a video meta that states
// the given geometry (no meta when width is 0).
GstBuffer* SpoiltBuffer(size_t bytes, int32_t width, int32_t height, int32_t stride) {
  GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
  if (buffer == nullptr) return nullptr;
  gst_buffer_memset(buffer, 0, 0x80, bytes);
  if (width > 0) {
    gsize offset[GST_VIDEO_MAX_PLANES] = {0};
    gint strides[GST_VIDEO_MAX_PLANES] = {stride};
    gst_buffer_add_video_meta_full(buffer, GST_VIDEO_FRAME_FLAG_NONE, GST_VIDEO_FORMAT_BGR, static_cast<guint>(width),
                                   static_cast<guint>(height), 1, offset, strides);
  }
  return buffer;
}

// The frame that a fault puts in place of one of the connected format.
GstBuffer* SpoilFrame(CameraFault::Kind kind, const GstVideoInfo& info) {
  const int32_t w = GST_VIDEO_INFO_WIDTH(&info);
  const int32_t h = GST_VIDEO_INFO_HEIGHT(&info);
  const int32_t stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
  const size_t size = GST_VIDEO_INFO_SIZE(&info);
  switch (kind) {
    case CameraFault::kShortFrame:
      // No meta: the format's own pitch, half the bytes it needs.
      return SpoiltBuffer(size / 2, 0, 0, 0);
    case CameraFault::kWideStride:
      // The bytes of the connected frame, rows said to be twice as far apart.
      return SpoiltBuffer(size, w, h, stride * 2);
    case CameraFault::kNarrowStride:
      return SpoiltBuffer(size, w, h, std::max(1, w * 3 - 3));
    case CameraFault::kLargeFrame: {
      const int32_t lw = w + 32, lh = h + 24, ls = (lw * 3 + 3) & ~3;
      return SpoiltBuffer(static_cast<size_t>(ls) * lh, lw, lh, ls);
    }
    case CameraFault::kSmallFrame: {
      const int32_t sw = std::max(1, w / 2), sh = std::max(1, h / 2), ss = (sw * 3 + 3) & ~3;
      return SpoiltBuffer(static_cast<size_t>(ss) * sh, sw, sh, ss);
    }
    default:
      return nullptr;
  }
}

}  // namespace

FaultSource::FaultSource(std::vector<CameraFault> faults)
    : faults_(std::move(faults)), fired_(faults_.size(), false) {}

FaultSource::~FaultSource() = default;

void FaultSource::Rewind() {
  ReplaySource::Rewind();
  std::lock_guard<std::mutex> lock(mutex_);
  silent_ = false;
}

void FaultSource::FrameWanted(GstAppSrc* src) {
  bool fail = false;
  bool send = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (silent_) return;
    const uint64_t n = sent_ + 1;
    for (size_t i = 0; i < faults_.size(); ++i) {
      const CameraFault& f = faults_[i];
      if (!f.atSource() || fired_[i] || f.frame != n) continue;
      fired_[i] = true;
      silent_ = true;
      fail = fail || f.kind == CameraFault::kBusError;
    }
    if (!silent_) {
      ++sent_;
      send = true;
    }
  }
  if (fail) {
    // What a camera's source reports when its device is pulled out while it
    // streams; it sends nothing after.
    GST_ELEMENT_ERROR(src, RESOURCE, READ, ("Could not read from resource."),
                      ("the device went away (injected camera fault)"));
  }
  // A stall sends nothing and returns: the source waits for a frame that
  // never comes, until the stream is stopped.
  if (send) SendNext(src);
}

int32_t FaultSource::FrameFaultDue() {
  std::lock_guard<std::mutex> lock(mutex_);
  const uint64_t n = ++arrived_;
  for (size_t i = 0; i < faults_.size(); ++i) {
    const CameraFault& f = faults_[i];
    if (f.atSource()) continue;
    if (f.onward ? n >= f.frame : (!fired_[i] && n == f.frame)) {
      fired_[i] = true;
      return static_cast<int32_t>(i);
    }
  }
  return -1;
}

void FaultSource::WatchGrabberPad(GstPad* pad) {
  const bool framesSpoilt =
      std::any_of(faults_.begin(), faults_.end(), [](const CameraFault& f) { return !f.atSource(); });
  if (pad == nullptr || !framesSpoilt) return;
  // The probe goes with the pad, which the pipeline drops before this source.
  gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, &FaultSource::OnGrabberBuffer, this, nullptr);
}

GstPadProbeReturn FaultSource::OnGrabberBuffer(GstPad* pad, GstPadProbeInfo* info, gpointer self) {
  const StreamingFenceScope fence;
  auto* source = static_cast<FaultSource*>(self);
  const int32_t due = source->FrameFaultDue();
  if (due < 0) return GST_PAD_PROBE_OK;
  const CapsPtr caps(gst_pad_get_current_caps(pad));
  GstVideoInfo videoInfo;
  if (!caps || !gst_video_info_from_caps(&videoInfo, caps.get())) return GST_PAD_PROBE_OK;
  GstBuffer* spoilt = SpoilFrame(source->faults_[static_cast<size_t>(due)].kind, videoInfo);
  if (spoilt == nullptr) return GST_PAD_PROBE_OK;
  GstBuffer* good = GST_PAD_PROBE_INFO_BUFFER(info);
  GST_BUFFER_PTS(spoilt) = GST_BUFFER_PTS(good);
  GST_BUFFER_DURATION(spoilt) = GST_BUFFER_DURATION(good);
  gst_buffer_unref(good);
  GST_PAD_PROBE_INFO_DATA(info) = spoilt;
  return GST_PAD_PROBE_OK;
}

}  // namespace vantrel

#include "vantrel/img_acq_ctrl.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "capture_internal.h"
#include "replay_source.h"
#include "sample_grabber_cb.h"
#include "streaming_fence.h"
#include "vantrel/overlay.h"

namespace vantrel {

std::vector<DeviceEntry> DeviceList;

namespace {

std::mutex& ReplayMutex() {
  static std::mutex mutex;
  return mutex;
}
std::string& ReplayOption() {
  static std::string path;
  return path;
}
double& ReplayRateOption() {
  static double rate = kReplayFramesPerSecond;
  return rate;
}

// How long a state change may take before it counts as failed.
constexpr GstClockTime kStateTimeout = 10 * GST_SECOND;

// Releases an element that never made it into the pipeline.
void DropElement(GstElement* element) {
  if (element == nullptr) return;
  gst_object_ref_sink(element);
  gst_object_unref(element);
}

bool InitGstreamer() {
  GError* error = nullptr;
  const bool ok = gst_init_check(nullptr, nullptr, &error) != FALSE;
  if (error != nullptr) g_error_free(error);
  return ok;
}

GstCaps* GrabberCaps(int32_t width, int32_t height, bool squarePixels) {
  GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", nullptr);
  if (width > 0 && height > 0) {
    gst_caps_set_simple(caps, "width", G_TYPE_INT, width, "height", G_TYPE_INT, height, nullptr);
  }
  if (squarePixels) gst_caps_set_simple(caps, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
  return caps;
}

}  // namespace

void SetCameraReplay(const std::string& path, double framesPerSecond) {
  std::lock_guard<std::mutex> lock(ReplayMutex());
  ReplayOption() = path;
  ReplayRateOption() = framesPerSecond;
}

std::string CameraReplayPath() {
  std::lock_guard<std::mutex> lock(ReplayMutex());
  if (!ReplayOption().empty()) return ReplayOption();
  const char* env = std::getenv("VANTREL_CAMERA_REPLAY");
  return env != nullptr ? std::string(env) : std::string();
}

double CameraReplayRate() {
  std::lock_guard<std::mutex> lock(ReplayMutex());
  return ReplayRateOption();
}

// The pipeline and what was learnt about its source.
//
//   camera: source ! mode filter ! [jpegdec] ! queue ! videoconvert ! BGR filter ! appsink
//   replay: appsrc ! [clocksync] ! queue ! videoconvert ! videoscale ! BGR filter ! appsink
//
// The queue keeps only the newest frame while the cycle is busy with one, so
// a slow decode never works through a backlog of old frames.
struct CapturePipeline {
  GstElement* pipeline = nullptr;
  GstElement* source = nullptr;
  GstElement* modeFilter = nullptr;
  GstElement* jpegDecoder = nullptr;
  GstElement* clockSync = nullptr;
  GstElement* queue = nullptr;
  GstElement* convert = nullptr;
  GstElement* scale = nullptr;
  GstElement* grabberFilter = nullptr;
  GstElement* grabber = nullptr;
  std::vector<std::pair<GstElement*, GstElement*>> links;
  bool replay = false;
  std::unique_ptr<ReplaySource> replaySource;
  std::string devicePath;
  std::vector<DeviceMode> modes;
  bool connected = false;

  std::mutex errorMutex;
  std::string lastError;

  // Messages are not watched by any main loop; keep the last error and drop
  // the rest so that the bus does not grow while the stream runs.
  static GstBusSyncReply OnMessage(GstBus*, GstMessage* message, gpointer self) {
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
      GError* error = nullptr;
      gst_message_parse_error(message, &error, nullptr);
      auto* p = static_cast<CapturePipeline*>(self);
      std::lock_guard<std::mutex> lock(p->errorMutex);
      p->lastError = error != nullptr ? error->message : "error";
      if (error != nullptr) g_error_free(error);
    }
    gst_message_unref(message);
    return GST_BUS_DROP;
  }

  bool Link(GstElement* a, GstElement* b) {
    if (!gst_element_link(a, b)) return false;
    links.emplace_back(a, b);
    return true;
  }
  void UnlinkAll() {
    for (auto& [a, b] : links) gst_element_unlink(a, b);
    links.clear();
  }
  bool Add(GstElement* e) { return gst_bin_add(GST_BIN(pipeline), e) != FALSE; }
  bool ToState(GstState state) {
    if (gst_element_set_state(pipeline, state) == GST_STATE_CHANGE_FAILURE) return false;
    return gst_element_get_state(pipeline, nullptr, nullptr, kStateTimeout) != GST_STATE_CHANGE_FAILURE;
  }
};

CImgAcqCtrl::CImgAcqCtrl() : frameCallback_(new CSampleGrabberCB()) {}

CImgAcqCtrl::~CImgAcqCtrl() {
  TeardownGraph();
  frameCallback_->Release();
}

void CImgAcqCtrl::AttachCycle(ReadingCycle* cycle) {
  ReadingCycle* old = cycle_.exchange(cycle);
  if (old != nullptr && old != cycle) old->SetStream(nullptr);
  frameCallback_->SetCycle(cycle);
  if (cycle != nullptr) cycle->SetStream(this);
}

bool CImgAcqCtrl::running() const {
  ReadingCycle* cycle = cycle_.load();
  return cycle != nullptr && cycle->running();
}

uint64_t CImgAcqCtrl::FramesDelivered() const { return frameCallback_->delivered(); }
uint64_t CImgAcqCtrl::FramesRefused() const { return frameCallback_->refused(); }

std::string CImgAcqCtrl::DevicePath() const { return pipeline_ ? pipeline_->devicePath : std::string(); }

std::string CImgAcqCtrl::LastError() const {
  if (!pipeline_) return std::string();
  std::lock_guard<std::mutex> lock(pipeline_->errorMutex);
  return pipeline_->lastError;
}

int32_t CImgAcqCtrl::EnumerateDevices() {
  DeviceList.clear();
  if (!InitGstreamer()) return 0;
  const std::string replay = CameraReplayPath();
  if (!replay.empty()) {
    DeviceEntry entry;
    entry.index = 0;
    CopyDeviceName(replay, entry.name);
    DeviceList.push_back(entry);
    return 1;
  }
  bool monitorOk = false;
  std::vector<CameraDevice> cameras = ListCameraDevices(&monitorOk);
  for (size_t i = 0; i < cameras.size(); ++i) {
    DeviceEntry entry;
    entry.index = static_cast<int32_t>(i);
    CopyDeviceName(cameras[i].name.empty() ? cameras[i].path : cameras[i].name, entry.name);
    DeviceList.push_back(entry);
  }
  const auto count = static_cast<int32_t>(cameras.size());
  ReleaseCameras(&cameras);
  return count;
}

int32_t CImgAcqCtrl::BuildGraph() {
  TeardownGraph();

  // Initialization (1).
  if (!InitGstreamer()) return kInitFailed;
  gstInitialized = true;
  pipeline_ = std::make_unique<CapturePipeline>();
  CapturePipeline& p = *pipeline_;

  // The device list (2, 3) and the chosen device (4): the replay source, when
  // one is set, is the only device.
  const std::string replayPath = CameraReplayPath();
  std::vector<CameraDevice> cameras;
  CameraDevice camera;
  if (!replayPath.empty()) {
    if (DeviceNo != 1) return kBadDevice;
    p.replay = true;
    p.replaySource = std::make_unique<ReplaySource>();
    std::string error;
    if (!p.replaySource->Load(replayPath, &error)) {
      p.lastError = error;
      return kBadDevice;
    }
  } else {
    bool monitorOk = false;
    cameras = ListCameraDevices(&monitorOk);
    if (!monitorOk) return kNoEnumerator;
    if (cameras.empty()) return kNoDevice;
    if (DeviceNo < 1 || DeviceNo > static_cast<int32_t>(cameras.size())) {
      ReleaseCameras(&cameras);
      return kBadDevice;
    }
    camera = cameras[static_cast<size_t>(DeviceNo - 1)];
  }

  // The pipeline (5) and its bus (6).
  p.pipeline = gst_pipeline_new("capture");
  if (p.pipeline == nullptr) {
    ReleaseCameras(&cameras);
    return kNoPipeline;
  }
  GstBus* bus = gst_element_get_bus(p.pipeline);
  if (bus == nullptr) {
    ReleaseCameras(&cameras);
    return kNoBus;
  }
  gst_bus_set_sync_handler(bus, &CapturePipeline::OnMessage, &p, nullptr);
  gst_object_unref(bus);

  // The source element of the chosen device (4), added as "Video Capture" (7).
  if (p.replay) {
    p.source = p.replaySource->MakeElement("Video Capture", CameraReplayRate());
  } else {
    p.source = gst_device_create_element(camera.device, "Video Capture");
    p.devicePath = camera.path;
  }
  ReleaseCameras(&cameras);
  if (p.source == nullptr) return kBadDevice;
  if (!p.Add(p.source)) {
    DropElement(p.source);
    p.source = nullptr;
    return kSourceNotAdded;
  }

  // The frame grabber (8-12): an appsink named "SamGra" that takes blue,
  // green, red frames, keeps only the newest and hands each to the callback.
  GstElement* grabber = gst_element_factory_make("appsink", "SamGra");
  if (grabber == nullptr) return kNoGrabber;
  if (!GST_IS_APP_SINK(grabber)) {
    DropElement(grabber);
    return kNotAGrabber;
  }
  GstCaps* caps = GrabberCaps(0, 0, false);
  if (caps == nullptr) {
    DropElement(grabber);
    return kBadGrabberFormat;
  }
  gst_app_sink_set_caps(GST_APP_SINK(grabber), caps);
  gst_caps_unref(caps);
  g_object_set(grabber, "max-buffers", 1u, "drop", TRUE, "sync", FALSE, "emit-signals", FALSE,
               "enable-last-sample", FALSE, nullptr);
  GstAppSinkCallbacks callbacks = {};
  callbacks.new_preroll = &CSampleGrabberCB::SampleCB;
  callbacks.new_sample = &CSampleGrabberCB::BufferCB;
  frameCallback_->AddRef();
  gst_app_sink_set_callbacks(GST_APP_SINK(grabber), &callbacks, frameCallback_,
                             &CSampleGrabberCB::ReleaseNotify);
  if (!p.Add(grabber)) {
    DropElement(grabber);
    return kGrabberNotAdded;
  }
  p.grabber = grabber;

  // The conversion to the grabber's format (13, 14).
  p.queue = gst_element_factory_make("queue", "newest");
  p.convert = gst_element_factory_make("videoconvert", "convert");
  p.grabberFilter = gst_element_factory_make("capsfilter", "grabber format");
  if (p.queue == nullptr || p.convert == nullptr || p.grabberFilter == nullptr) {
    for (GstElement** e : {&p.queue, &p.convert, &p.grabberFilter}) {
      DropElement(*e);
      *e = nullptr;
    }
    return kNoConverter;
  }
  for (GstElement** e : {&p.queue, &p.convert, &p.grabberFilter}) {
    if (!p.Add(*e)) {
      DropElement(*e);
      *e = nullptr;
      return kConverterNotAdded;
    }
  }

  // The source-side format elements (15): the mode filter of a camera; the
  // scaler and the pacing of the replay source.
  const double rate = CameraReplayRate();
  if (p.replay) {
    p.scale = gst_element_factory_make("videoscale", "scale");
    if (rate > 0) p.clockSync = gst_element_factory_make("clocksync", "pace");
    const bool made = p.scale != nullptr && (rate <= 0 || p.clockSync != nullptr);
    const bool added = made && p.Add(p.scale);
    if (!added || (p.clockSync != nullptr && !p.Add(p.clockSync))) {
      if (!added) DropElement(p.scale);
      DropElement(p.clockSync);
      p.scale = p.clockSync = nullptr;
      return kNoFormatFilter;
    }
  } else {
    p.modeFilter = gst_element_factory_make("capsfilter", "mode");
    if (p.modeFilter == nullptr || !p.Add(p.modeFilter)) {
      DropElement(p.modeFilter);
      p.modeFilter = nullptr;
      return kNoFormatFilter;
    }
  }
  if (p.replay ? rate > 0 : true) {
    // Newest frame only: while the cycle decodes, older frames are dropped.
    g_object_set(p.queue, "max-size-buffers", 1u, "max-size-bytes", 0u, "max-size-time", G_GUINT64_CONSTANT(0),
                 "leaky", 2 /* downstream */, nullptr);
  } else {
    // Played as fast as frames are taken: the source waits for the cycle.
    g_object_set(p.queue, "max-size-buffers", 1u, "max-size-bytes", 0u, "max-size-time", G_GUINT64_CONSTANT(0),
                 nullptr);
  }

  // The formats the source offers (16, 17).
  if (p.replay) {
    DeviceMode any;
    any.minWidth = any.minHeight = 1;
    any.maxWidth = any.maxHeight = FrameRing::kMaxSide;
    p.modes.push_back(any);
  } else {
    if (!p.ToState(GST_STATE_READY)) return kNoStreamFormats;
    GstPad* pad = gst_element_get_static_pad(p.source, "src");
    if (pad == nullptr) return kNoStreamFormats;
    GstCaps* offered = gst_pad_query_caps(pad, nullptr);
    gst_object_unref(pad);
    if (offered == nullptr) return kNoStreamFormats;
    p.modes = ModesFromCaps(offered);
    gst_caps_unref(offered);
  }
  if (p.modes.empty()) return kNoCapabilities;

  // The frame size (18) and the connection (19).
  return ConnectStream(Xsize, Ysize) == 0 ? 0 : kNotConnected;
}

int32_t CImgAcqCtrl::ConnectStream(int32_t width, int32_t height) {
  if (!pipeline_ || pipeline_->pipeline == nullptr || pipeline_->grabber == nullptr) return kNotConnected;
  return ConnectLocked(width, height);
}

int32_t CImgAcqCtrl::ConnectLocked(int32_t width, int32_t height) {
  CapturePipeline& p = *pipeline_;
  if (width <= 0 || height <= 0) {
    width = 640;
    height = 480;
  }
  // The stream is rebuilt from a stopped pipeline, so that the source may
  // take another format.
  if (!p.ToState(GST_STATE_READY)) return kNotConnected;
  PassStreamingFence();
  p.connected = false;
  p.UnlinkAll();

  const ChosenMode mode = ChooseDeviceMode(p.modes, FrameSize{width, height});
  if (!mode.found) return kNotConnected;
  const FrameSize size = mode.size;

  bool linked = true;
  if (p.replay) {
    GstCaps* caps = GrabberCaps(size.width, size.height, true);
    g_object_set(p.grabberFilter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    GstElement* upstream = p.source;
    if (p.clockSync != nullptr) {
      linked = p.Link(p.source, p.clockSync);
      upstream = p.clockSync;
    }
    linked = linked && p.Link(upstream, p.queue) && p.Link(p.queue, p.convert) && p.Link(p.convert, p.scale) &&
             p.Link(p.scale, p.grabberFilter) && p.Link(p.grabberFilter, p.grabber);
  } else {
    GstCaps* modeCaps = gst_caps_new_simple(mode.format == ModeFormat::kJpeg ? "image/jpeg" : "video/x-raw",
                                            "width", G_TYPE_INT, size.width, "height", G_TYPE_INT,
                                            size.height, nullptr);
    // The device must really offer this format: read it back from the source.
    GstPad* pad = gst_element_get_static_pad(p.source, "src");
    GstCaps* offered = pad != nullptr ? gst_pad_query_caps(pad, nullptr) : nullptr;
    if (pad != nullptr) gst_object_unref(pad);
    const bool offeredHere = offered != nullptr && gst_caps_can_intersect(offered, modeCaps);
    if (offered != nullptr) gst_caps_unref(offered);
    if (!offeredHere) {
      gst_caps_unref(modeCaps);
      return kNotConnected;
    }
    g_object_set(p.modeFilter, "caps", modeCaps, nullptr);
    gst_caps_unref(modeCaps);
    GstCaps* caps = GrabberCaps(size.width, size.height, false);
    g_object_set(p.grabberFilter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    GstElement* upstream = p.modeFilter;
    linked = p.Link(p.source, p.modeFilter);
    if (mode.format == ModeFormat::kJpeg) {
      if (p.jpegDecoder == nullptr) {
        p.jpegDecoder = gst_element_factory_make("jpegdec", "jpeg");
        if (p.jpegDecoder == nullptr || !p.Add(p.jpegDecoder)) {
          DropElement(p.jpegDecoder);
          p.jpegDecoder = nullptr;
          return kNotConnected;
        }
        gst_element_sync_state_with_parent(p.jpegDecoder);
      }
      linked = linked && p.Link(p.modeFilter, p.jpegDecoder);
      upstream = p.jpegDecoder;
    }
    linked = linked && p.Link(upstream, p.queue) && p.Link(p.queue, p.convert) &&
             p.Link(p.convert, p.grabberFilter) && p.Link(p.grabberFilter, p.grabber);
  }
  if (!linked) {
    p.UnlinkAll();
    return kNotConnected;
  }

  // The ring follows the connected format.
  if (ring_.Allocate(size.width, size.height) != FrameRing::kOk) {
    p.UnlinkAll();
    return kNotConnected;
  }
  p.connected = true;
  Xsize = size.width;
  Ysize = size.height;

  const PreviewGeometry g = PreviewGeometryFor(Xsize, Ysize);
  scaleX = scaleY = g.scale;
  displayWidth = g.displayWidth;
  displayHeight = g.displayHeight;
  DrawSetScale(scaleX, scaleY, nullptr, nullptr);
  OverlaySetScale(scaleX, scaleY, nullptr, nullptr);
  if (ReadingCycle* cycle = cycle_.load()) cycle->SetPreviewScale(scaleX, scaleY);
  return 0;
}

void CImgAcqCtrl::FreeFrameRing() { ring_.Free(); }

std::vector<FrameSize> CImgAcqCtrl::OfferedSizes() const {
  if (!pipeline_) return {};
  if (pipeline_->replay) return ReplayFrameSizes(FrameSize{Xsize, Ysize});
  return OfferedFrameSizes(pipeline_->modes);
}

std::unique_ptr<PictureControls> CImgAcqCtrl::DeviceControls() const {
  if (!pipeline_ || pipeline_->replay) return nullptr;
  return OpenV4l2Controls(pipeline_->devicePath);
}

int32_t CImgAcqCtrl::ChangeCaptureSize(CaptureDialogs* dialogs,
                                       const std::function<void(int32_t, int32_t)>& connected) {
  ReadingCycle* cycle = cycle_.load();
  const bool wasRunning = cycle != nullptr && cycle->running();
  if (wasRunning) cycle->StopReading();
  if (!pipeline_) return kNotConnected;

  const FrameSize previous{Xsize, Ysize};
  const std::vector<FrameSize> sizes = OfferedSizes();
  int32_t current = -1;
  for (size_t i = 0; i < sizes.size(); ++i) {
    if (sizes[i] == previous) current = static_cast<int32_t>(i);
  }
  FrameSize target = previous;
  FrameSize chosen;
  bool refused = false;
  if (dialogs != nullptr && !sizes.empty() && dialogs->ChooseFrameSize(sizes, current, &chosen)) {
    target = chosen;
    // Only a size the device offers can be connected.
    refused = std::find(sizes.begin(), sizes.end(), chosen) == sizes.end();
  }

  // After OK at the chosen size, after Cancel at the current one; a size that
  // does not connect falls back to the one before.
  int32_t status = refused ? static_cast<int32_t>(kNotConnected) : ConnectStream(target.width, target.height);
  if (status != 0 && (refused || !(target == previous))) status = ConnectStream(previous.width, previous.height);
  if (status == 0 && connected) connected(Xsize, Ysize);

  OverlayClear();
  if (cycle != nullptr) cycle->RepaintWindow();
  if (wasRunning && status == 0) cycle->StartReading();
  return status;
}

void CImgAcqCtrl::ShowImageQualityPage(CaptureDialogs* dialogs) {
  if (dialogs == nullptr) return;
  std::unique_ptr<PictureControls> controls = DeviceControls();
  if (!controls) return;
  const std::vector<PictureControl> list = controls->List();
  if (list.empty()) return;
  dialogs->ShowPictureControls(controls.get(), list);
}

int32_t CImgAcqCtrl::RunStream() {
  if (!pipeline_ || !pipeline_->connected) return kNotConnected;
  if (pipeline_->replay) pipeline_->replaySource->Rewind();
  PassStreamingFence();
  if (!pipeline_->ToState(GST_STATE_PLAYING)) {
    pipeline_->ToState(GST_STATE_READY);
    return kNotConnected;
  }
  return 0;
}

void CImgAcqCtrl::StopStream() {
  if (!pipeline_ || pipeline_->pipeline == nullptr) return;
  pipeline_->ToState(GST_STATE_READY);
  PassStreamingFence();
}

void CImgAcqCtrl::TeardownGraph() {
  ReadingCycle* cycle = cycle_.load();
  if (cycle != nullptr && cycle->running()) cycle->StopReading();
  if (pipeline_) {
    CapturePipeline& p = *pipeline_;
    if (p.pipeline != nullptr) {
      gst_element_set_state(p.pipeline, GST_STATE_NULL);
      PassStreamingFence();
      if (p.grabber != nullptr) {
        // No more frames to the callback; the appsink drops its reference.
        GstAppSinkCallbacks none = {};
        gst_app_sink_set_callbacks(GST_APP_SINK(p.grabber), &none, nullptr, nullptr);
      }
      GstBus* bus = gst_element_get_bus(p.pipeline);
      if (bus != nullptr) {
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
      }
      gst_object_unref(p.pipeline);
    }
    pipeline_.reset();
  }
  FreeFrameRing();
}

}  // namespace vantrel

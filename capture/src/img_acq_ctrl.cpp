#include "vantrel/img_acq_ctrl.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "capture_internal.h"
#include "fault_source.h"
#include "gst_ptr.h"
#include "replay_source.h"
#include "sample_grabber_cb.h"
#include "streaming_fence.h"

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
std::string& FaultOption() {
  static std::string list;
  return list;
}

// How long a state change may take before it counts as failed.
constexpr GstClockTime kStateTimeout = 10 * GST_SECOND;

bool InitGstreamer() {
  GError* raw = nullptr;
  const bool ok = gst_init_check(nullptr, nullptr, &raw) != FALSE;
  const ErrorPtr error(raw);
  return ok;
}

CapsPtr GrabberCaps(int32_t width, int32_t height, bool squarePixels) {
  CapsPtr caps(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", nullptr));
  if (width > 0 && height > 0) {
    gst_caps_set_simple(caps.get(), "width", G_TYPE_INT, width, "height", G_TYPE_INT, height, nullptr);
  }
  if (squarePixels) gst_caps_set_simple(caps.get(), "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
  return caps;
}

// What the source pad offers now; null when it cannot say.
CapsPtr OfferedCaps(GstElement* source) {
  const PadPtr pad(gst_element_get_static_pad(source, "src"));
  return CapsPtr(pad ? gst_pad_query_caps(pad.get(), nullptr) : nullptr);
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

bool SetCameraFaults(const std::string& list, std::string* error) {
  if (!ParseCameraFaults(list, nullptr, error)) return false;
  std::lock_guard<std::mutex> lock(ReplayMutex());
  FaultOption() = list;
  return true;
}

std::string CameraFaultList() {
  std::lock_guard<std::mutex> lock(ReplayMutex());
  if (!FaultOption().empty()) return FaultOption();
  const char* env = std::getenv("VANTREL_CAMERA_FAULTS");
  return env != nullptr ? std::string(env) : std::string();
}

// The pipeline and what was learnt about its source.
//
//   camera: source ! mode filter ! [jpegdec] ! queue ! videoconvert ! BGR filter ! appsink
//   replay: appsrc ! [clocksync] ! queue ! videoconvert ! videoscale ! BGR filter ! appsink
//
// The queue keeps only the newest frame while the sink is busy with one, so
// a slow decode never works through a backlog of old frames.
//
// The pipeline bin owns every element added to it; the element pointers here
// are borrowed from it. The destructor stops the stream and lets the bin go,
// so a build that fails half-way leaves nothing behind.
struct CapturePipeline {
  // Declared before the pipeline, so that it goes after it: the replay
  // element calls into it for as long as it exists.
  std::unique_ptr<ReplaySource> replaySource;
  ElementPtr pipeline;
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
  std::string devicePath;
  // Set before the pipeline exists and never changed after, so the bus
  // handler may read them on any thread.
  std::string deviceName;
  std::function<void(const std::string& device, const std::string& error)> onError;
  std::vector<DeviceMode> modes;
  bool connected = false;

  std::mutex errorMutex;
  std::string lastError;
  uint64_t errorsPosted = 0;

  CapturePipeline() = default;
  CapturePipeline(const CapturePipeline&) = delete;
  CapturePipeline& operator=(const CapturePipeline&) = delete;
  ~CapturePipeline() {
    if (!pipeline) return;
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    PassStreamingFence();
    if (grabber != nullptr) {
      // No more frames to the callback; the appsink drops its reference.
      GstAppSinkCallbacks none = {};
      gst_app_sink_set_callbacks(GST_APP_SINK(grabber), &none, nullptr, nullptr);
    }
    if (const BusPtr bus{gst_element_get_bus(pipeline.get())}) gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
  }

  // Messages are not watched by any main loop; an error is kept and passed
  // on at once, on the thread that posted it, and everything is dropped so
  // that the bus does not grow while the stream runs.
  static GstBusSyncReply OnMessage(GstBus*, GstMessage* message, gpointer self) {
    const MessagePtr owned(message);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
      GError* raw = nullptr;
      gst_message_parse_error(message, &raw, nullptr);
      const ErrorPtr error(raw);
      auto* p = static_cast<CapturePipeline*>(self);
      const std::string text = error && error->message != nullptr ? error->message : "error";
      {
        std::lock_guard<std::mutex> lock(p->errorMutex);
        p->lastError = text;
        ++p->errorsPosted;
      }
      if (p->onError) p->onError(p->deviceName, text);
    }
    return GST_BUS_DROP;
  }
  uint64_t ErrorsPosted() {
    std::lock_guard<std::mutex> lock(errorMutex);
    return errorsPosted;
  }

  // A new element put into the bin, which then owns it; null when it could
  // not be made or added (nothing is left over either way).
  // The bin takes a reference of its own; ours goes when `element` does.
  GstElement* Add(ElementPtr element) {
    GstElement* const added = element.get();
    if (added == nullptr || !gst_bin_add(GST_BIN(pipeline.get()), added)) return nullptr;
    return added;
  }
  GstElement* AddNew(const char* factory, const char* name) { return Add(MakeElement(factory, name)); }

  bool Link(GstElement* a, GstElement* b) {
    if (!gst_element_link(a, b)) return false;
    links.emplace_back(a, b);
    return true;
  }
  void UnlinkAll() {
    for (auto& [a, b] : links) gst_element_unlink(a, b);
    links.clear();
  }
  bool ToState(GstState state) {
    if (gst_element_set_state(pipeline.get(), state) == GST_STATE_CHANGE_FAILURE) return false;
    return gst_element_get_state(pipeline.get(), nullptr, nullptr, kStateTimeout) != GST_STATE_CHANGE_FAILURE;
  }
  // A live source completes its way to PLAYING only with its first frame: a
  // camera that sends none must not hold the window thread for the state
  // timeout. Only a refusal counts here; what fails later is said on the bus.
  bool Play() {
    if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) return false;
    return gst_element_get_state(pipeline.get(), nullptr, nullptr, 0) != GST_STATE_CHANGE_FAILURE;
  }

  // ---- the steps of a build, in order; each gives 0 or its BuildGraph code

  // The device: the replay source when one is set (it is then the only
  // device), otherwise camera number deviceNo of the list.
  int32_t ChooseDevice(int32_t deviceNo, CameraDevice* camera) {
    const std::string replayPath = CameraReplayPath();
    if (!replayPath.empty()) {
      if (deviceNo != 1) return CImgAcqCtrl::kBadDevice;
      replay = true;
      deviceName = replayPath;
      std::vector<CameraFault> faults;
      if (std::string error; !ParseCameraFaults(CameraFaultList(), &faults, &error)) {
        lastError = error;
        return CImgAcqCtrl::kBadDevice;
      }
      replaySource = faults.empty() ? std::make_unique<ReplaySource>()
                                    : std::make_unique<FaultSource>(std::move(faults));
      std::string error;
      if (!replaySource->Load(replayPath, &error)) {
        lastError = error;
        return CImgAcqCtrl::kBadDevice;
      }
      return 0;
    }
    bool monitorOk = false;
    std::vector<CameraDevice> cameras = ListCameraDevices(&monitorOk);
    if (!monitorOk) return CImgAcqCtrl::kNoEnumerator;
    if (cameras.empty()) return CImgAcqCtrl::kNoDevice;
    if (deviceNo < 1 || deviceNo > static_cast<int32_t>(cameras.size())) return CImgAcqCtrl::kBadDevice;
    *camera = std::move(cameras[static_cast<size_t>(deviceNo - 1)]);
    deviceName = camera->name.empty() ? camera->path : camera->name;
    return 0;
  }

  // The pipeline, with its messages kept as they come (no main loop reads the bus).
  int32_t MakePipeline() {
    pipeline = AdoptElement(gst_pipeline_new("capture"));
    if (!pipeline) return CImgAcqCtrl::kNoPipeline;
    const BusPtr bus(gst_element_get_bus(pipeline.get()));
    if (!bus) return CImgAcqCtrl::kNoBus;
    gst_bus_set_sync_handler(bus.get(), &CapturePipeline::OnMessage, this, nullptr);
    return 0;
  }

  // The chosen device's source, under the name the device pages look for.
  int32_t AddSource(const CameraDevice& camera) {
    ElementPtr element = replay ? AdoptElement(replaySource->MakeElement("Video Capture", CameraReplayRate()))
                                : AdoptElement(gst_device_create_element(camera.device.get(), "Video Capture"));
    if (!replay) devicePath = camera.path;
    if (!element) return CImgAcqCtrl::kBadDevice;
    source = Add(std::move(element));
    return source != nullptr ? 0 : CImgAcqCtrl::kSourceNotAdded;
  }

  // The frame grabber: an appsink named "SamGra" that takes blue, green, red
  // frames, keeps only the newest and hands each to the callback, which it
  // holds a reference on until its callbacks are replaced.
  int32_t AddGrabber(CSampleGrabberCB* callback) {
    ElementPtr element = MakeElement("appsink", "SamGra");
    if (!element) return CImgAcqCtrl::kNoGrabber;
    if (!GST_IS_APP_SINK(element.get())) return CImgAcqCtrl::kNotAGrabber;
    const CapsPtr caps = GrabberCaps(0, 0, false);
    if (!caps) return CImgAcqCtrl::kBadGrabberFormat;
    gst_app_sink_set_caps(GST_APP_SINK(element.get()), caps.get());
    g_object_set(element.get(), "max-buffers", 1u, "drop", TRUE, "sync", FALSE, "emit-signals", FALSE,
                 "enable-last-sample", FALSE, nullptr);
    GstAppSinkCallbacks callbacks = {};
    callbacks.new_preroll = &CSampleGrabberCB::SampleCB;
    callbacks.new_sample = &CSampleGrabberCB::BufferCB;
    callback->AddRef();
    gst_app_sink_set_callbacks(GST_APP_SINK(element.get()), &callbacks, callback, &CSampleGrabberCB::ReleaseNotify);
    grabber = Add(std::move(element));
    if (grabber == nullptr) return CImgAcqCtrl::kGrabberNotAdded;
    if (replay) {
      const PadPtr pad(gst_element_get_static_pad(grabber, "sink"));
      replaySource->WatchGrabberPad(pad.get());
    }
    return 0;
  }

  // The conversion from whatever the source gives to the grabber's format.
  int32_t AddConverter() {
    ElementPtr q = MakeElement("queue", "newest");
    ElementPtr c = MakeElement("videoconvert", "convert");
    ElementPtr f = MakeElement("capsfilter", "grabber format");
    if (!q || !c || !f) return CImgAcqCtrl::kNoConverter;
    queue = Add(std::move(q));
    convert = queue != nullptr ? Add(std::move(c)) : nullptr;
    grabberFilter = convert != nullptr ? Add(std::move(f)) : nullptr;
    return grabberFilter != nullptr ? 0 : CImgAcqCtrl::kConverterNotAdded;
  }

  // The source-side format elements: the mode filter of a camera; the scaler
  // and the pacing of the replay source. Then how the queue treats a busy sink.
  int32_t AddFormatElements() {
    const double rate = CameraReplayRate();
    if (replay) {
      ElementPtr s = MakeElement("videoscale", "scale");
      ElementPtr pace = rate > 0 ? MakeElement("clocksync", "pace") : nullptr;
      if (!s || (rate > 0 && !pace)) return CImgAcqCtrl::kNoFormatFilter;
      scale = Add(std::move(s));
      if (scale == nullptr) return CImgAcqCtrl::kNoFormatFilter;
      if (pace) {
        clockSync = Add(std::move(pace));
        if (clockSync == nullptr) return CImgAcqCtrl::kNoFormatFilter;
      }
    } else {
      modeFilter = AddNew("capsfilter", "mode");
      if (modeFilter == nullptr) return CImgAcqCtrl::kNoFormatFilter;
    }
    if (replay && rate <= 0) {
      // Played as fast as frames are taken: the source waits for the sink.
      g_object_set(queue, "max-size-buffers", 1u, "max-size-bytes", 0u, "max-size-time", G_GUINT64_CONSTANT(0),
                   nullptr);
    } else {
      // Newest frame only: while the sink decodes, older frames are dropped.
      g_object_set(queue, "max-size-buffers", 1u, "max-size-bytes", 0u, "max-size-time", G_GUINT64_CONSTANT(0),
                   "leaky", 2 /* downstream */, nullptr);
    }
    return 0;
  }

  // The sizes the source can deliver: any for the replay source, which
  // scales; for a camera what its pad offers once it is open.
  int32_t ReadModes() {
    if (replay) {
      DeviceMode any;
      any.minWidth = any.minHeight = 1;
      any.maxWidth = any.maxHeight = FrameRing::kMaxSide;
      modes.push_back(any);
    } else {
      if (!ToState(GST_STATE_READY)) return CImgAcqCtrl::kNoStreamFormats;
      const CapsPtr offered = OfferedCaps(source);
      if (!offered) return CImgAcqCtrl::kNoStreamFormats;
      modes = ModesFromCaps(offered.get());
    }
    return modes.empty() ? CImgAcqCtrl::kNoCapabilities : 0;
  }

  // ---- connecting at one size (the pipeline stopped, the old links gone)

  bool LinkReplay(FrameSize size) {
    const CapsPtr caps = GrabberCaps(size.width, size.height, true);
    g_object_set(grabberFilter, "caps", caps.get(), nullptr);
    GstElement* upstream = source;
    bool linked = true;
    if (clockSync != nullptr) {
      linked = Link(source, clockSync);
      upstream = clockSync;
    }
    return linked && Link(upstream, queue) && Link(queue, convert) && Link(convert, scale) &&
           Link(scale, grabberFilter) && Link(grabberFilter, grabber);
  }

  bool LinkCamera(const ChosenMode& mode) {
    const FrameSize size = mode.size;
    const CapsPtr modeCaps(gst_caps_new_simple(mode.format == ModeFormat::kJpeg ? "image/jpeg" : "video/x-raw",
                                               "width", G_TYPE_INT, size.width, "height", G_TYPE_INT,
                                               size.height, nullptr));
    // The device must really offer this format: read it back from the source.
    const CapsPtr offered = OfferedCaps(source);
    if (!offered || !gst_caps_can_intersect(offered.get(), modeCaps.get())) return false;
    g_object_set(modeFilter, "caps", modeCaps.get(), nullptr);
    const CapsPtr caps = GrabberCaps(size.width, size.height, false);
    g_object_set(grabberFilter, "caps", caps.get(), nullptr);
    GstElement* upstream = modeFilter;
    bool linked = Link(source, modeFilter);
    if (mode.format == ModeFormat::kJpeg) {
      if (jpegDecoder == nullptr) {
        // Made when a JPEG mode is first connected; the bin keeps it after.
        jpegDecoder = AddNew("jpegdec", "jpeg");
        if (jpegDecoder == nullptr) return false;
        gst_element_sync_state_with_parent(jpegDecoder);
      }
      linked = linked && Link(modeFilter, jpegDecoder);
      upstream = jpegDecoder;
    }
    return linked && Link(upstream, queue) && Link(queue, convert) && Link(convert, grabberFilter) &&
           Link(grabberFilter, grabber);
  }
};

void GrabberCallbackRelease::operator()(CSampleGrabberCB* callback) const {
  if (callback != nullptr) callback->Release();
}

CImgAcqCtrl::CImgAcqCtrl() : frameCallback_(new CSampleGrabberCB(ring_)) {}

CImgAcqCtrl::~CImgAcqCtrl() { TeardownGraph(); }

void CImgAcqCtrl::AttachSink(FrameSink* sink) {
  FrameSink* old = sink_.exchange(sink);
  if (old != nullptr && old != sink) old->SetStream(nullptr);
  frameCallback_->SetSink(sink);
  if (sink != nullptr) sink->SetStream(this);
}

bool CImgAcqCtrl::running() const {
  FrameSink* sink = sink_.load();
  return sink != nullptr && sink->running();
}

uint64_t CImgAcqCtrl::FramesDelivered() const { return frameCallback_->delivered(); }
uint64_t CImgAcqCtrl::FramesRefused() const { return frameCallback_->refused(); }

std::string CImgAcqCtrl::DevicePath() const { return pipeline_ ? pipeline_->devicePath : std::string(); }

std::string CImgAcqCtrl::DeviceName() const { return pipeline_ ? pipeline_->deviceName : std::string(); }

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
  const std::vector<CameraDevice> cameras = ListCameraDevices(&monitorOk);
  for (size_t i = 0; i < cameras.size(); ++i) {
    DeviceEntry entry;
    entry.index = static_cast<int32_t>(i);
    CopyDeviceName(cameras[i].name.empty() ? cameras[i].path : cameras[i].name, entry.name);
    DeviceList.push_back(entry);
  }
  return static_cast<int32_t>(cameras.size());
}

int32_t CImgAcqCtrl::BuildGraph() {
  TeardownGraph();
  if (!InitGstreamer()) return kInitFailed;
  pipeline_ = std::make_unique<CapturePipeline>();
  CapturePipeline& p = *pipeline_;
  p.onError = [this](const std::string& device, const std::string& error) {
    if (FrameSink* sink = sink_.load()) sink->StreamFailed(device, error);
  };
  CameraDevice camera;
  for (const auto& step : std::initializer_list<std::function<int32_t()>>{
           [&] { return p.ChooseDevice(DeviceNo, &camera); },
           [&] { return p.MakePipeline(); },
           [&] { return p.AddSource(camera); },
           [&] { return p.AddGrabber(frameCallback_.get()); },
           [&] { return p.AddConverter(); },
           [&] { return p.AddFormatElements(); },
           [&] { return p.ReadModes(); },
       }) {
    if (const int32_t status = step(); status != 0) return status;
  }
  return ConnectStream(Xsize, Ysize) == 0 ? 0 : kNotConnected;
}

int32_t CImgAcqCtrl::ConnectStream(int32_t width, int32_t height) {
  if (!pipeline_ || !pipeline_->pipeline || pipeline_->grabber == nullptr) return kNotConnected;
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
  const bool linked = p.replay ? p.LinkReplay(size) : p.LinkCamera(mode);
  // The ring follows the connected format.
  if (!linked || ring_.Allocate(size.width, size.height) != FrameRing::kOk) {
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
  if (FrameSink* sink = sink_.load()) sink->StreamConnected(Xsize, Ysize, g.scale);
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
  FrameSink* sink = sink_.load();
  const bool wasRunning = sink != nullptr && sink->running();
  if (wasRunning) sink->StopReading();
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

  if (sink != nullptr) sink->SizeChangeEnded();
  if (wasRunning && status == 0) sink->StartReading();
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
  FrameSink* sink = sink_.load();
  if (!pipeline_ || !pipeline_->connected) {
    // After a size change that connected nothing: say so rather than start
    // a stream that cannot deliver.
    if (sink != nullptr) sink->StreamFailed(DeviceName(), "no stream is connected");
    return kNotConnected;
  }
  CapturePipeline& p = *pipeline_;
  if (p.replay) p.replaySource->Rewind();
  frameCallback_->ResetRefusedRun();
  const uint64_t errorsBefore = p.ErrorsPosted();
  PassStreamingFence();
  if (!p.Play()) {
    p.ToState(GST_STATE_READY);
    PassStreamingFence();
    // An element that failed has said why on the bus; otherwise say it here.
    if (p.ErrorsPosted() == errorsBefore && sink != nullptr) sink->StreamFailed(p.deviceName, "the stream could not be started");
    return kNotConnected;
  }
  return 0;
}

void CImgAcqCtrl::StopStream() {
  if (!pipeline_ || !pipeline_->pipeline) return;
  pipeline_->ToState(GST_STATE_READY);
  PassStreamingFence();
}

void CImgAcqCtrl::TeardownGraph() {
  FrameSink* sink = sink_.load();
  if (sink != nullptr && sink->running()) sink->StopReading();
  pipeline_.reset();
  FreeFrameRing();
}

}  // namespace vantrel

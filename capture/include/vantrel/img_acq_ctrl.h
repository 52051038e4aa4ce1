// The capture controller: lists the cameras, builds the capture pipeline from
// the chosen device to the frame callback, sizes FrameRing from the connected
// format, runs and stops the stream for the reading cycle, changes the frame
// size and shows the device's picture controls.
//
// Every operation runs on the window thread; frames arrive on the pipeline's
// streaming thread and go straight to the attached FrameSink.
#ifndef VANTREL_IMG_ACQ_CTRL_H
#define VANTREL_IMG_ACQ_CTRL_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "vantrel/capture_modes.h"
#include "vantrel/frame_ring.h"
#include "vantrel/frame_sink.h"

namespace vantrel {

// One listed camera: its 0-based position in the list and its display name.
struct DeviceEntry {
  int32_t index = 0;
  char name[100] = {};
};

// The cameras EnumerateDevices found, in their stable order.
extern std::vector<DeviceEntry> DeviceList;

// The replay source: a virtual camera that plays picture files (one file, or
// the PNG, BMP and JPEG files of a folder in name order) as frames at a steady
// rate, looping. While a replay path is set it is the only device, named after
// the path. The path given here (the station's --camera-replay PATH) wins over
// the environment variable VANTREL_CAMERA_REPLAY; an empty path clears it.
// framesPerSecond <= 0 plays as fast as the frames are taken.
constexpr double kReplayFramesPerSecond = 15.0;
void SetCameraReplay(const std::string& path, double framesPerSecond = kReplayFramesPerSecond);
// The replay path in force ("" for none) and its rate.
std::string CameraReplayPath();
double CameraReplayRate();

// Camera faults for the replay source to play (the list of
// vantrel/camera_faults.h): the station's --camera-fault LIST, which wins
// over the environment variable VANTREL_CAMERA_FAULTS; "" clears it. With a
// list in force the replay source is the fault-injecting one; a real camera
// is never touched. False, with *error, for a list that does not parse (the
// list in force then stays as it was).
bool SetCameraFaults(const std::string& list, std::string* error = nullptr);
// The fault list in force ("" for none).
std::string CameraFaultList();

// A picture control of a device (brightness, contrast, gain, exposure, ...).
struct PictureControl {
  enum Type : int32_t { kInteger = 0, kBoolean = 1, kMenu = 2 };
  uint32_t id = 0;
  std::string name;
  int32_t type = kInteger;
  int32_t minimum = 0;
  int32_t maximum = 0;
  int32_t step = 1;
  int32_t defaultValue = 0;
  int32_t value = 0;
  std::vector<std::pair<int32_t, std::string>> menu;  // kMenu: value and item name
};

// The controls of one device, set on the device while it streams.
class PictureControls {
 public:
  virtual ~PictureControls() = default;
  virtual std::vector<PictureControl> List() = 0;
  // False when the device refused the value.
  virtual bool Set(uint32_t id, int32_t value) = 0;
  virtual bool Get(uint32_t id, int32_t* value) = 0;
};

// The two camera dialogs. The station implements them with Qt (capture/ui);
// tests answer them directly.
class CaptureDialogs {
 public:
  virtual ~CaptureDialogs() = default;
  // Lists the sizes with sizes[current] selected (current may be -1). True with
  // *chosen after OK, false after Cancel.
  virtual bool ChooseFrameSize(const std::vector<FrameSize>& sizes, int32_t current,
                               FrameSize* chosen) = 0;
  // Shows the controls as live sliders until the operator closes the dialog;
  // every change goes to the device at once.
  virtual void ShowPictureControls(PictureControls* controls,
                                   const std::vector<PictureControl>& list) = 0;
};

class CSampleGrabberCB;
struct CapturePipeline;

// The callback object is shared with the appsink's threads: the controller
// drops its own reference, never deletes it.
struct GrabberCallbackRelease {
  void operator()(CSampleGrabberCB* callback) const;
};

class CImgAcqCtrl : public CaptureStream {
 public:
  // BuildGraph's codes, by the step that failed.
  enum BuildStatus : int32_t {
    kInitFailed = -1,        // GStreamer could not be initialized
    kNoEnumerator = -2,      // no device monitor
    kNoDevice = -3,          // no camera (and no replay source)
    kBadDevice = -5,         // DeviceNo outside the list, or its source cannot be made
    kNoPipeline = -6,
    kNoBus = -7,
    kSourceNotAdded = -8,
    kNoGrabber = -9,
    kNotAGrabber = -10,
    kBadGrabberFormat = -11,
    kGrabberNotAdded = -12,
    kNoConverter = -13,
    kConverterNotAdded = -14,
    kNoFormatFilter = -15,
    kNoStreamFormats = -16,  // the source's formats cannot be read
    kNoCapabilities = -17,   // the source offers no format the station can take
    kNotConnected = -18,     // the stream could not be connected (or its ring allocated)
  };

  CImgAcqCtrl();
  ~CImgAcqCtrl() override;
  CImgAcqCtrl(const CImgAcqCtrl&) = delete;
  CImgAcqCtrl& operator=(const CImgAcqCtrl&) = delete;

  int32_t DeviceNo = 1;  // 1-based position in DeviceList
  int32_t Xsize = 0;     // capture size; follows the connected format
  int32_t Ysize = 0;
  int32_t displayWidth = 0;  // preview size in screen pixels
  int32_t displayHeight = 0;
  double scaleX = 1.0;  // screen pixels per picture pixel
  double scaleY = 1.0;

  FrameRing& Ring() { return ring_; }
  // The sink that frames go to; it drives this controller's stream and hears
  // of every connection. Attach before BuildGraph; detach (nullptr) only while
  // stopped.
  void AttachSink(FrameSink* sink);
  bool running() const;

  // Fills DeviceList; returns the number of devices (0 on any failure).
  int32_t EnumerateDevices();
  // Builds the pipeline for DeviceNo at Xsize x Ysize and connects it: 0, or a
  // BuildStatus. On failure call TeardownGraph.
  int32_t BuildGraph();
  // Connects the stream at the device mode nearest to width x height (the
  // replay source scales to exactly that size), reallocates FrameRing to the
  // connected size and tells the sink the size and the preview scale: 0 or
  // kNotConnected. Only while stopped.
  int32_t ConnectStream(int32_t width, int32_t height);
  void FreeFrameRing();
  // The size dialog: stops reading if it was on, offers the device's sizes,
  // reconnects at the chosen size after OK and at the current one after Cancel
  // (falling back to the previous size when that fails), calls `connected`
  // with the connected size (the window resets its range there), tells the
  // sink that the change has ended and starts reading again if it was on.
  // 0, or kNotConnected when no size could be connected.
  int32_t ChangeCaptureSize(CaptureDialogs* dialogs,
                            const std::function<void(int32_t width, int32_t height)>& connected = {});
  // The picture controls dialog; nothing when the device has no controls. The
  // stream keeps running.
  void ShowImageQualityPage(CaptureDialogs* dialogs);
  // The sizes the connected device offers (empty before BuildGraph).
  std::vector<FrameSize> OfferedSizes() const;
  // The picture controls of the connected device; null when it has none.
  std::unique_ptr<PictureControls> DeviceControls() const;
  // The device node of the connected camera ("" for the replay source).
  std::string DevicePath() const;
  // The name of the device the pipeline was built for, as listed (the
  // replay path for the replay source); "" before BuildGraph.
  std::string DeviceName() const;
  void TeardownGraph();

  // CaptureStream, used by the reading cycle's start and stop sequences. An
  // error on the pipeline's bus while the stream runs, or a start that fails,
  // reaches the sink as StreamFailed with the device's name and the error.
  int32_t RunStream() override;
  void StopStream() override;

  // Refused frames in a row, none taken between, after which the frame
  // callback reports on the bus that the camera delivers what the station
  // cannot take (half a second to a few seconds of frames, by the camera's
  // rate), so that the preview does not freeze without a word.
  static constexpr uint32_t kRefusedRun = 15;
  // Frames the callback received, and those it refused (wrong format, size
  // or row pitch, or a buffer shorter than its rows).
  uint64_t FramesDelivered() const;
  uint64_t FramesRefused() const;
  // The last error the pipeline reported, or why the replay pictures could not
  // be read ("" when none); for diagnostics only.
  std::string LastError() const;

 private:
  int32_t ConnectLocked(int32_t width, int32_t height);

  FrameRing ring_;
  std::atomic<FrameSink*> sink_{nullptr};
  std::unique_ptr<CSampleGrabberCB, GrabberCallbackRelease> frameCallback_;
  std::unique_ptr<CapturePipeline> pipeline_;
};

}  // namespace vantrel

#endif

// The replay source: picture files played as a live camera.
#ifndef VANTREL_CAPTURE_REPLAY_SOURCE_H
#define VANTREL_CAPTURE_REPLAY_SOURCE_H

#include <gst/app/gstappsrc.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "gst_ptr.h"

namespace vantrel {

// The picture files a replay path names: the file itself, or the PNG, BMP and
// JPEG files of a folder, in name order (digit runs as numbers). Empty when
// there are none.
std::vector<std::string> ReplayFiles(const std::string& path);

class ReplaySource {
 public:
  ReplaySource() = default;
  virtual ~ReplaySource();
  ReplaySource(const ReplaySource&) = delete;
  ReplaySource& operator=(const ReplaySource&) = delete;

  // Decodes every picture of the path into memory (blue, green, red at its own
  // size). False when the path names no picture or one cannot be decoded.
  bool Load(const std::string& path, std::string* error = nullptr);
  size_t PictureCount() const { return pictures_.size(); }

  // A live appsrc that plays the pictures in turn, looping, stamped at the
  // given rate (<= 0: as fast as the stream takes them, nominally 30 a second).
  // The source keeps a pointer to this object: it must outlive the element.
  GstElement* MakeElement(const char* name, double framesPerSecond);
  // The next start begins again with the first picture.
  virtual void Rewind();
  // The pad by which frames enter the frame grabber, once the pipeline is
  // built: a source that alters frames on their way in watches it there. The
  // plain replay source leaves it alone.
  virtual void WatchGrabberPad(GstPad* pad);

 protected:
  // On the source's streaming thread, whenever the stream wants a frame.
  // The plain replay source sends the next picture.
  virtual void FrameWanted(GstAppSrc* src);
  // Sends the next picture, stamped for its place in the stream.
  void SendNext(GstAppSrc* src);

 private:
  static void NeedData(GstAppSrc* src, guint length, gpointer self);

  std::vector<SamplePtr> pictures_;
  std::mutex mutex_;
  uint64_t next_ = 0;
  GstClockTime frameDuration_ = GST_SECOND / 30;
};

}  // namespace vantrel

#endif

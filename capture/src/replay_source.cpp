#include "replay_source.h"

#include <gst/video/video.h>
#include <gst/app/gstappsink.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "streaming_fence.h"
#include "vantrel/capture_modes.h"

namespace vantrel {

namespace {

bool HasPictureExtension(const std::string& name) {
  const auto dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = name.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == "png" || ext == "bmp" || ext == "jpg" || ext == "jpeg";
}

// The decoder for a file, told by its first bytes rather than by its name.
const char* DecoderFor(const std::string& path) {
  unsigned char head[8] = {};
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return nullptr;
  const size_t n = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  if (n >= 8 && head[0] == 0x89 && head[1] == 'P' && head[2] == 'N' && head[3] == 'G') return "pngdec";
  if (n >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return "jpegdec";
  // No BMP decoder is plugged in automatically; the pixbuf decoder reads them.
  if (n >= 2 && head[0] == 'B' && head[1] == 'M') return "gdkpixbufdec";
  return "decodebin";
}

void LinkDecodedPad(GstElement*, GstPad* pad, gpointer convert) {
  const PadPtr sink(gst_element_get_static_pad(GST_ELEMENT(convert), "sink"));
  if (sink && !gst_pad_is_linked(sink.get())) gst_pad_link(pad, sink.get());
}

// One picture file as blue, green, red rows at its own size; null on failure.
SamplePtr DecodePicture(const std::string& path, std::string* error) {
  if (error != nullptr) error->clear();
  const char* decoderName = DecoderFor(path);
  if (decoderName == nullptr) {
    if (error != nullptr) *error = "cannot open " + path;
    return nullptr;
  }
  const ElementPtr pipeline = AdoptElement(gst_pipeline_new(nullptr));
  ElementPtr source = MakeElement("filesrc", nullptr);
  ElementPtr decoder = MakeElement(decoderName, nullptr);
  ElementPtr convert = MakeElement("videoconvert", nullptr);
  ElementPtr filter = MakeElement("capsfilter", nullptr);
  ElementPtr sink = MakeElement("appsink", nullptr);
  if (!pipeline || !source || !decoder || !convert || !filter || !sink) {
    if (error != nullptr) *error = std::string("missing GStreamer element for ") + path;
    return nullptr;
  }
  g_object_set(source.get(), "location", path.c_str(), nullptr);
  const CapsPtr bgr(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", nullptr));
  g_object_set(filter.get(), "caps", bgr.get(), nullptr);
  g_object_set(sink.get(), "sync", FALSE, nullptr);
  // The bin takes its own references; ours go at the end of this call.
  gst_bin_add_many(GST_BIN(pipeline.get()), source.get(), decoder.get(), convert.get(), filter.get(), sink.get(),
                   nullptr);
  bool linked = gst_element_link(source.get(), decoder.get()) &&
                gst_element_link_many(convert.get(), filter.get(), sink.get(), nullptr);
  if (std::string(decoderName) == "decodebin") {
    g_signal_connect(decoder.get(), "pad-added", G_CALLBACK(LinkDecodedPad), convert.get());
  } else {
    linked = linked && gst_element_link(decoder.get(), convert.get());
  }
  SamplePtr sample;
  if (linked && gst_element_set_state(pipeline.get(), GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE) {
    // Prerolled, or an error: whichever comes first (a file that is no
    // picture fails at once instead of at the timeout).
    const BusPtr bus(gst_element_get_bus(pipeline.get()));
    const MessagePtr m(gst_bus_timed_pop_filtered(
        bus.get(), 20 * GST_SECOND,
        static_cast<GstMessageType>(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR | GST_MESSAGE_EOS)));
    const bool prerolled = m && GST_MESSAGE_TYPE(m.get()) == GST_MESSAGE_ASYNC_DONE;
    if (m && GST_MESSAGE_TYPE(m.get()) == GST_MESSAGE_ERROR) {
      GError* raw = nullptr;
      gst_message_parse_error(m.get(), &raw, nullptr);
      const ErrorPtr e(raw);
      if (e && error != nullptr) *error = "cannot decode " + path + ": " + e->message;
    }
    if (prerolled) sample.reset(gst_app_sink_try_pull_preroll(GST_APP_SINK(sink.get()), 0));
  }
  if (!sample && error != nullptr && error->empty()) *error = "cannot decode " + path;
  gst_element_set_state(pipeline.get(), GST_STATE_NULL);
  return sample;
}

}  // namespace

std::vector<std::string> ReplayFiles(const std::string& path) {
  std::vector<std::string> files;
  std::error_code ec;
  const std::filesystem::path p(path);
  if (std::filesystem::is_directory(p, ec)) {
    for (const auto& entry : std::filesystem::directory_iterator(p, ec)) {
      std::error_code fileEc;
      if (entry.is_regular_file(fileEc) && HasPictureExtension(entry.path().filename().string())) {
        files.push_back(entry.path().string());
      }
    }
    std::sort(files.begin(), files.end(), PathBefore);
  } else if (std::filesystem::is_regular_file(p, ec)) {
    files.push_back(path);
  }
  return files;
}

ReplaySource::~ReplaySource() = default;

bool ReplaySource::Load(const std::string& path, std::string* error) {
  pictures_.clear();
  const std::vector<std::string> files = ReplayFiles(path);
  if (files.empty()) {
    if (error != nullptr) *error = "no PNG, BMP or JPEG picture at " + path;
    return false;
  }
  for (const std::string& file : files) {
    SamplePtr sample = DecodePicture(file, error);
    if (!sample) {
      pictures_.clear();
      return false;
    }
    pictures_.push_back(std::move(sample));
  }
  return true;
}

void ReplaySource::Rewind() {
  std::lock_guard<std::mutex> lock(mutex_);
  next_ = 0;
}

GstElement* ReplaySource::MakeElement(const char* name, double framesPerSecond) {
  if (pictures_.empty()) return nullptr;
  GstElement* element = gst_element_factory_make("appsrc", name);
  if (element == nullptr) return nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    frameDuration_ = framesPerSecond > 0 ? static_cast<GstClockTime>(GST_SECOND / framesPerSecond)
                                         : GST_SECOND / 30;
    next_ = 0;
  }
  g_object_set(element, "format", GST_FORMAT_TIME, "is-live", TRUE, "max-buffers", G_GUINT64_CONSTANT(2),
               "block", FALSE, nullptr);
  GstAppSrcCallbacks callbacks = {};
  callbacks.need_data = &ReplaySource::NeedData;
  gst_app_src_set_callbacks(GST_APP_SRC(element), &callbacks, this, nullptr);
  return element;
}

void ReplaySource::WatchGrabberPad(GstPad*) {}

void ReplaySource::NeedData(GstAppSrc* src, guint, gpointer self) {
  const StreamingFenceScope fence;
  static_cast<ReplaySource*>(self)->FrameWanted(src);
}

void ReplaySource::FrameWanted(GstAppSrc* src) { SendNext(src); }

void ReplaySource::SendNext(GstAppSrc* src) {
  GstSample* picture = nullptr;
  uint64_t n = 0;
  GstClockTime duration = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    n = next_++;
    picture = pictures_[n % pictures_.size()].get();
    duration = frameDuration_;
  }
  // A new buffer header over the same pixels, stamped for its place in the
  // stream; the pictures themselves stay untouched.
  const BufferPtr buffer(gst_buffer_copy(gst_sample_get_buffer(picture)));
  GST_BUFFER_PTS(buffer.get()) = n * duration;
  GST_BUFFER_DTS(buffer.get()) = GST_CLOCK_TIME_NONE;
  GST_BUFFER_DURATION(buffer.get()) = duration;
  const SamplePtr frame(gst_sample_new(buffer.get(), gst_sample_get_caps(picture), nullptr, nullptr));
  gst_app_src_push_sample(src, frame.get());
}

}  // namespace vantrel

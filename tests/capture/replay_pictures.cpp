#include "replay_pictures.h"

#include <gst/gst.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "vantrel/bitmap_headers.h"

namespace vantrel::test {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-capture-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
}

TempFolder::~TempFolder() {
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

namespace {

bool WriteBmp(DibImage picture, const std::string& path) {
  const int32_t w = DibGetWidth(picture);
  const int32_t h = DibGetHeight(picture);
  if (w <= 0 || h <= 0 || DibGetBitCount(picture) != 24) return false;
  const int32_t stride = DibGetStride(picture);
  const uint32_t rowBytes = static_cast<uint32_t>((w * 3 + 3) & ~3);
  BitmapFileHeader file{};
  BitmapInfoHeader info{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + rowBytes * static_cast<uint32_t>(h);
  info.biSize = sizeof info;
  info.biWidth = w;
  info.biHeight = h;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biSizeImage = rowBytes * static_cast<uint32_t>(h);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  const uint8_t* bits = DibGetBits(picture);
  for (int32_t r = h - 1; r >= 0; --r) {
    out.write(reinterpret_cast<const char*>(bits + static_cast<size_t>(r) * stride), rowBytes);
  }
  return static_cast<bool>(out);
}

bool Transcode(const std::string& bmp, const std::string& path, const char* encoder) {
  if (!gst_init_check(nullptr, nullptr, nullptr)) return false;
  const std::string description = "filesrc name=in ! gdkpixbufdec ! videoconvert ! " + std::string(encoder) +
                                  " ! filesink name=out";
  GError* error = nullptr;
  GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
  if (error != nullptr) {
    std::fprintf(stderr, "%s\n", error->message);
    g_error_free(error);
    if (pipeline != nullptr) gst_object_unref(pipeline);
    return false;
  }
  GstElement* in = gst_bin_get_by_name(GST_BIN(pipeline), "in");
  GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
  g_object_set(in, "location", bmp.c_str(), nullptr);
  g_object_set(out, "location", path.c_str(), nullptr);
  gst_object_unref(in);
  gst_object_unref(out);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* m = gst_bus_timed_pop_filtered(bus, 20 * GST_SECOND,
                                             static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  const bool ok = m != nullptr && GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS;
  if (m != nullptr) gst_message_unref(m);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  return ok;
}

}  // namespace

bool WritePicture(DibImage picture, const std::string& path) {
  const std::string ext = std::filesystem::path(path).extension().string();
  if (ext == ".bmp" || ext == ".BMP") return WriteBmp(picture, path);
  const char* encoder = ext == ".png" ? "pngenc" : (ext == ".jpg" || ext == ".jpeg") ? "jpegenc quality=95" : nullptr;
  if (encoder == nullptr) return false;
  const std::string bmp = path + ".source.bmp";
  const bool ok = WriteBmp(picture, bmp) && Transcode(bmp, path, encoder);
  std::remove(bmp.c_str());
  return ok;
}

}  // namespace vantrel::test

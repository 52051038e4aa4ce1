#include <algorithm>
#include <cstring>

#include "capture_internal.h"

namespace vantrel {

namespace {

std::string ProviderOf(GstDevice* device) {
  const char* type = G_OBJECT_TYPE_NAME(device);
  if (std::strcmp(type, "GstV4l2Device") == 0) return "v4l2";
  if (std::strstr(type, "PipeWire") != nullptr || std::strstr(type, "Pipewire") != nullptr) return "pipewire";
  if (std::strstr(type, "ibcamera") != nullptr) return "libcamera";
  return type;
}

std::string PathOf(GstDevice* device) {
  std::string path;
  const StructurePtr props(gst_device_get_properties(device));
  if (!props) return path;
  for (const char* key : {"device.path", "api.v4l2.path"}) {
    if (const char* value = gst_structure_get_string(props.get(), key)) {
      path = value;
      break;
    }
  }
  if (path.empty()) {
    if (const char* value = gst_structure_get_string(props.get(), "object.path")) {
      path = value;
      const auto colon = path.find(':');
      if (colon != std::string::npos) path = path.substr(colon + 1);
    }
  }
  return path;
}

// Stops the monitor when the listing ends, however it ends.
struct MonitorRun {
  GstDeviceMonitor* monitor;
  ~MonitorRun() { gst_device_monitor_stop(monitor); }
};

}  // namespace

std::vector<CameraDevice> ListCameraDevices(bool* monitorOk) {
  std::vector<CameraDevice> cameras;
  *monitorOk = false;
  const DeviceMonitorPtr monitor(gst_device_monitor_new());
  if (!monitor) return cameras;
  *monitorOk = true;
  gst_device_monitor_add_filter(monitor.get(), "Video/Source", nullptr);
  // Every provider's view, so that the v4l2 one is there even where another
  // provider would hide it; the duplicates are sorted out below.
  gst_device_monitor_set_show_all_devices(monitor.get(), TRUE);
  if (!gst_device_monitor_start(monitor.get())) return cameras;
  const MonitorRun run{monitor.get()};
  // The list holds a reference on every device; each is taken over here.
  GList* devices = gst_device_monitor_get_devices(monitor.get());
  std::vector<DevicePtr> all;
  std::vector<CameraCandidate> candidates;
  for (GList* l = devices; l != nullptr; l = l->next) {
    DevicePtr device(GST_DEVICE(l->data));
    CameraCandidate c;
    c.provider = ProviderOf(device.get());
    c.path = PathOf(device.get());
    const TextPtr name(gst_device_get_display_name(device.get()));
    c.name = name ? name.get() : "";
    all.push_back(std::move(device));
    candidates.push_back(std::move(c));
  }
  g_list_free(devices);
  for (size_t i : SelectCameras(candidates)) {
    CameraDevice camera;
    camera.device = std::move(all[i]);
    camera.path = candidates[i].path;
    camera.name = candidates[i].name;
    cameras.push_back(std::move(camera));
  }
  return cameras;
}

std::vector<DeviceMode> ModesFromCaps(const GstCaps* caps) {
  std::vector<DeviceMode> modes;
  if (caps == nullptr) return modes;
  const guint n = gst_caps_get_size(caps);
  for (guint i = 0; i < n; ++i) {
    const GstStructure* s = gst_caps_get_structure(caps, i);
    DeviceMode mode;
    if (gst_structure_has_name(s, "video/x-raw")) {
      mode.format = ModeFormat::kRaw;
    } else if (gst_structure_has_name(s, "image/jpeg")) {
      mode.format = ModeFormat::kJpeg;
    } else {
      continue;
    }
    auto readSide = [](const GValue* v, int32_t* lo, int32_t* hi, int32_t* step) {
      if (v == nullptr) return false;
      if (G_VALUE_HOLDS_INT(v)) {
        *lo = *hi = g_value_get_int(v);
        *step = 1;
        return true;
      }
      if (GST_VALUE_HOLDS_INT_RANGE(v)) {
        *lo = gst_value_get_int_range_min(v);
        *hi = gst_value_get_int_range_max(v);
        *step = std::max(1, gst_value_get_int_range_step(v));
        return true;
      }
      return false;
    };
    const GValue* w = gst_structure_get_value(s, "width");
    const GValue* h = gst_structure_get_value(s, "height");
    // A list of sizes gives one mode per entry.
    if (w != nullptr && h != nullptr && GST_VALUE_HOLDS_LIST(w) && GST_VALUE_HOLDS_LIST(h) &&
        gst_value_list_get_size(w) == gst_value_list_get_size(h)) {
      for (guint k = 0; k < gst_value_list_get_size(w); ++k) {
        DeviceMode m = mode;
        if (readSide(gst_value_list_get_value(w, k), &m.minWidth, &m.maxWidth, &m.widthStep) &&
            readSide(gst_value_list_get_value(h, k), &m.minHeight, &m.maxHeight, &m.heightStep)) {
          modes.push_back(m);
        }
      }
      continue;
    }
    if (readSide(w, &mode.minWidth, &mode.maxWidth, &mode.widthStep) &&
        readSide(h, &mode.minHeight, &mode.maxHeight, &mode.heightStep)) {
      modes.push_back(mode);
    }
  }
  return modes;
}

}  // namespace vantrel

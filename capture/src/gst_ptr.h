// GStreamer and GLib objects held by unique_ptr, each with the call that
// releases it, so that no path out of the capture code can leak one.
#ifndef VANTREL_CAPTURE_GST_PTR_H
#define VANTREL_CAPTURE_GST_PTR_H

#include <gst/gst.h>

#include <memory>

namespace vantrel {

template <typename T, void (*Release)(T*)>
struct GstReleaser {
  void operator()(T* p) const {
    if (p != nullptr) Release(p);
  }
};

inline void UnrefObject(GstObject* o) { gst_object_unref(o); }
template <typename T>
inline void UnrefAsObject(T* o) { gst_object_unref(GST_OBJECT_CAST(o)); }

// Any GstObject (elements, pads, buses, devices, monitors). Take ownership of a
// freshly made element with AdoptElement, which sinks its floating reference.
template <typename T>
using GstObjectPtr = std::unique_ptr<T, GstReleaser<T, &UnrefAsObject<T>>>;
using ElementPtr = GstObjectPtr<GstElement>;
using PadPtr = GstObjectPtr<GstPad>;
using BusPtr = GstObjectPtr<GstBus>;
using DevicePtr = GstObjectPtr<GstDevice>;
using DeviceMonitorPtr = GstObjectPtr<GstDeviceMonitor>;

inline void UnrefCaps(GstCaps* c) { gst_caps_unref(c); }
inline void UnrefSample(GstSample* s) { gst_sample_unref(s); }
inline void UnrefMessage(GstMessage* m) { gst_message_unref(m); }
inline void UnrefBuffer(GstBuffer* b) { gst_buffer_unref(b); }
inline void FreeError(GError* e) { g_error_free(e); }
inline void FreeStructure(GstStructure* s) { gst_structure_free(s); }
inline void FreeText(gchar* t) { g_free(t); }

using CapsPtr = std::unique_ptr<GstCaps, GstReleaser<GstCaps, &UnrefCaps>>;
using SamplePtr = std::unique_ptr<GstSample, GstReleaser<GstSample, &UnrefSample>>;
using MessagePtr = std::unique_ptr<GstMessage, GstReleaser<GstMessage, &UnrefMessage>>;
using BufferPtr = std::unique_ptr<GstBuffer, GstReleaser<GstBuffer, &UnrefBuffer>>;
using ErrorPtr = std::unique_ptr<GError, GstReleaser<GError, &FreeError>>;
using StructurePtr = std::unique_ptr<GstStructure, GstReleaser<GstStructure, &FreeStructure>>;
using TextPtr = std::unique_ptr<gchar, GstReleaser<gchar, &FreeText>>;

// A new element owned by the caller (its floating reference sunk), or null.
inline ElementPtr AdoptElement(GstElement* element) {
  if (element != nullptr) gst_object_ref_sink(element);
  return ElementPtr(element);
}
inline ElementPtr MakeElement(const char* factory, const char* name) {
  return AdoptElement(gst_element_factory_make(factory, name));
}

}  // namespace vantrel

#endif

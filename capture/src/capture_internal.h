// Pieces of the capture back end shared by its units.
#ifndef VANTREL_CAPTURE_INTERNAL_H
#define VANTREL_CAPTURE_INTERNAL_H

#include <gst/gst.h>

#include <memory>
#include <string>
#include <vector>

#include "gst_ptr.h"
#include "vantrel/capture_modes.h"
#include "vantrel/img_acq_ctrl.h"

namespace vantrel {

// A camera the device monitor reports, with a reference on its device.
struct CameraDevice {
  DevicePtr device;
  std::string path;
  std::string name;
};

// The listed cameras in their stable order; *monitorOk false when no device
// monitor could be had.
std::vector<CameraDevice> ListCameraDevices(bool* monitorOk);

// The modes a source's caps offer (raw formats and JPEG; others are left out).
std::vector<DeviceMode> ModesFromCaps(const GstCaps* caps);

// The V4L2 controls of a device node; null when the node cannot be opened.
std::unique_ptr<PictureControls> OpenV4l2Controls(const std::string& devicePath);

}  // namespace vantrel

#endif

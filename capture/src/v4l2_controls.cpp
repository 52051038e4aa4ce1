#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "capture_internal.h"

namespace vantrel {

namespace {

int Ioctl(int fd, unsigned long request, void* arg) {
  int r;
  do {
    r = ioctl(fd, request, arg);
  } while (r == -1 && errno == EINTR);
  return r;
}

// The picture controls of a V4L2 device node, set through a descriptor of our
// own so that they act while the pipeline streams from the same node.
class V4l2Controls : public PictureControls {
 public:
  explicit V4l2Controls(int fd) : fd_(fd) {}
  ~V4l2Controls() override { close(fd_); }

  std::vector<PictureControl> List() override {
    std::vector<PictureControl> list;
    v4l2_queryctrl q{};
    q.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    while (Ioctl(fd_, VIDIOC_QUERYCTRL, &q) == 0) {
      const uint32_t id = q.id;
      const uint32_t ctrlClass = V4L2_CTRL_ID2CLASS(id);
      const bool usable = (q.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY)) == 0 &&
                          (ctrlClass == V4L2_CTRL_CLASS_USER || ctrlClass == V4L2_CTRL_CLASS_CAMERA) &&
                          (q.type == V4L2_CTRL_TYPE_INTEGER || q.type == V4L2_CTRL_TYPE_BOOLEAN ||
                           q.type == V4L2_CTRL_TYPE_MENU);
      if (usable) {
        PictureControl c;
        c.id = id;
        c.name.assign(reinterpret_cast<const char*>(q.name), strnlen(reinterpret_cast<const char*>(q.name), sizeof q.name));
        c.type = q.type == V4L2_CTRL_TYPE_BOOLEAN ? PictureControl::kBoolean
                 : q.type == V4L2_CTRL_TYPE_MENU  ? PictureControl::kMenu
                                                  : PictureControl::kInteger;
        c.minimum = q.minimum;
        c.maximum = q.maximum;
        c.step = q.step > 0 ? q.step : 1;
        c.defaultValue = q.default_value;
        Get(id, &c.value);
        if (c.type == PictureControl::kMenu) {
          for (int32_t k = q.minimum; k <= q.maximum; ++k) {
            v4l2_querymenu m{};
            m.id = id;
            m.index = static_cast<uint32_t>(k);
            if (Ioctl(fd_, VIDIOC_QUERYMENU, &m) == 0) {
              c.menu.emplace_back(k, std::string(reinterpret_cast<const char*>(m.name),
                                                 strnlen(reinterpret_cast<const char*>(m.name), sizeof m.name)));
            }
          }
        }
        list.push_back(std::move(c));
      }
      q = v4l2_queryctrl{};
      q.id = id | V4L2_CTRL_FLAG_NEXT_CTRL;
    }
    return list;
  }

  bool Set(uint32_t id, int32_t value) override {
    v4l2_control c{};
    c.id = id;
    c.value = value;
    return Ioctl(fd_, VIDIOC_S_CTRL, &c) == 0;
  }

  bool Get(uint32_t id, int32_t* value) override {
    v4l2_control c{};
    c.id = id;
    if (Ioctl(fd_, VIDIOC_G_CTRL, &c) != 0) return false;
    *value = c.value;
    return true;
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<PictureControls> OpenV4l2Controls(const std::string& devicePath) {
  if (devicePath.empty()) return nullptr;
  const int fd = open(devicePath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<V4l2Controls>(fd);
}

}  // namespace vantrel

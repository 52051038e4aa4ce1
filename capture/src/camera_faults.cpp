#include "vantrel/camera_faults.h"

#include <array>
#include <charconv>
#include <utility>

namespace vantrel {

namespace {

constexpr std::array<std::pair<CameraFault::Kind, const char*>, 7> kNames{{
    {CameraFault::kBusError, "bus-error"},
    {CameraFault::kStall, "stall"},
    {CameraFault::kShortFrame, "short-frame"},
    {CameraFault::kWideStride, "wide-stride"},
    {CameraFault::kNarrowStride, "narrow-stride"},
    {CameraFault::kLargeFrame, "large-frame"},
    {CameraFault::kSmallFrame, "small-frame"},
}};

bool ParseOne(const std::string& item, CameraFault* fault, std::string* error) {
  std::string name = item;
  std::string at;
  if (const auto sign = item.find('@'); sign != std::string::npos) {
    name = item.substr(0, sign);
    at = item.substr(sign + 1);
  }
  bool known = false;
  for (const auto& [kind, text] : kNames) {
    if (name == text) {
      fault->kind = kind;
      known = true;
    }
  }
  if (!known) {
    *error = "unknown camera fault \"" + name + "\"";
    return false;
  }
  fault->frame = CameraFault::kDefaultFrame;
  fault->onward = false;
  if (item.find('@') == std::string::npos) return true;
  if (!at.empty() && at.back() == '+') {
    fault->onward = true;
    at.pop_back();
  }
  uint64_t frame = 0;
  const auto [end, ec] = std::from_chars(at.data(), at.data() + at.size(), frame);
  if (at.empty() || ec != std::errc() || end != at.data() + at.size() || frame < 1) {
    *error = "camera fault \"" + item + "\": the frame must be a whole number from 1 on";
    return false;
  }
  if (fault->onward && fault->atSource()) {
    *error = "camera fault \"" + item + "\": \"+\" is for faults in frames only";
    return false;
  }
  fault->frame = frame;
  return true;
}

}  // namespace

const char* CameraFaultName(CameraFault::Kind kind) {
  for (const auto& [k, text] : kNames) {
    if (k == kind) return text;
  }
  return "?";
}

bool ParseCameraFaults(const std::string& text, std::vector<CameraFault>* faults, std::string* error) {
  std::vector<CameraFault> parsed;
  std::string problem;
  size_t start = 0;
  while (start <= text.size() && !text.empty()) {
    const size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    CameraFault fault;
    if (item.empty()) {
      problem = "empty item in the camera fault list \"" + text + "\"";
    } else if (!ParseOne(item, &fault, &problem)) {
      // problem says why
    } else {
      parsed.push_back(fault);
    }
    if (!problem.empty()) {
      if (error != nullptr) *error = problem;
      return false;
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (faults != nullptr) *faults = std::move(parsed);
  return true;
}

}  // namespace vantrel

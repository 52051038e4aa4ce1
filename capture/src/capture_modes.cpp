#include "vantrel/capture_modes.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "vantrel/ovoutil.h"

namespace vantrel {

namespace {

// Sizes that cameras commonly offer; the size dialog lists those inside a
// device's ranges.
constexpr FrameSize kCommonSizes[] = {
    {160, 120},  {176, 144},  {320, 240},  {352, 288},   {424, 240},   {640, 360},
    {640, 480},  {800, 600},  {960, 540},  {1024, 768},  {1280, 720},  {1280, 960},
    {1280, 1024}, {1600, 1200}, {1920, 1080},
};

constexpr FrameSize kReplaySizes[] = {
    {320, 240}, {640, 480}, {800, 600}, {1024, 768}, {1280, 720}, {1280, 960}, {1920, 1080},
};

int32_t Nearest(int32_t asked, int32_t lo, int32_t hi, int32_t step) {
  if (asked <= lo) return lo;
  if (asked >= hi) return hi;
  if (step <= 1) return asked;
  const int32_t below = lo + (asked - lo) / step * step;
  const int32_t above = std::min(hi, below + step);
  return (asked - below <= above - asked) ? below : above;
}

bool Fits(int32_t v, int32_t lo, int32_t hi, int32_t step) {
  if (v < lo || v > hi) return false;
  return step <= 1 || (v - lo) % step == 0;
}

bool SmallerFirst(const FrameSize& a, const FrameSize& b) {
  const int64_t areaA = int64_t{a.width} * a.height;
  const int64_t areaB = int64_t{b.width} * b.height;
  if (areaA != areaB) return areaA < areaB;
  return a.width < b.width;
}

void SortUnique(std::vector<FrameSize>* sizes) {
  std::sort(sizes->begin(), sizes->end(), SmallerFirst);
  sizes->erase(std::unique(sizes->begin(), sizes->end()), sizes->end());
}

}  // namespace

ChosenMode ChooseDeviceMode(const std::vector<DeviceMode>& modes, FrameSize asked) {
  ChosenMode best;
  int64_t bestDistance = 0;
  for (const DeviceMode& m : modes) {
    if (m.maxWidth < 1 || m.maxHeight < 1 || m.minWidth > m.maxWidth || m.minHeight > m.maxHeight) continue;
    FrameSize size{Nearest(asked.width, std::max(1, m.minWidth), m.maxWidth, m.widthStep),
                   Nearest(asked.height, std::max(1, m.minHeight), m.maxHeight, m.heightStep)};
    const int64_t distance =
        std::llabs(int64_t{size.width} - asked.width) + std::llabs(int64_t{size.height} - asked.height);
    const bool better = !best.found || distance < bestDistance ||
                        (distance == bestDistance && best.format == ModeFormat::kJpeg &&
                         m.format == ModeFormat::kRaw);
    if (better) {
      best.found = true;
      best.format = m.format;
      best.size = size;
      bestDistance = distance;
    }
  }
  return best;
}

std::vector<FrameSize> OfferedFrameSizes(const std::vector<DeviceMode>& modes) {
  std::vector<FrameSize> sizes;
  for (const DeviceMode& m : modes) {
    if (m.maxWidth < 1 || m.maxHeight < 1) continue;
    if (m.minWidth == m.maxWidth && m.minHeight == m.maxHeight) {
      sizes.push_back({m.maxWidth, m.maxHeight});
      continue;
    }
    for (const FrameSize& s : kCommonSizes) {
      if (Fits(s.width, m.minWidth, m.maxWidth, m.widthStep) &&
          Fits(s.height, m.minHeight, m.maxHeight, m.heightStep)) {
        sizes.push_back(s);
      }
    }
    // A range without any common size still offers its largest.
    sizes.push_back({m.maxWidth, m.maxHeight});
  }
  SortUnique(&sizes);
  return sizes;
}

std::vector<FrameSize> ReplayFrameSizes(FrameSize current) {
  std::vector<FrameSize> sizes(std::begin(kReplaySizes), std::end(kReplaySizes));
  if (current.width > 0 && current.height > 0) sizes.push_back(current);
  SortUnique(&sizes);
  return sizes;
}

PreviewGeometry PreviewGeometryFor(int32_t width, int32_t height) {
  PreviewGeometry g;
  if (width <= 0 || height <= 0) return g;
  if (width < 640 && height < 480) {
    g.scale = 1.0;
  } else {
    g.scale = std::min(640.0 / width, 480.0 / height);
  }
  g.displayWidth = RoundToInt(g.scale * width);
  g.displayHeight = RoundToInt(g.scale * height);
  return g;
}

bool PathBefore(const std::string& a, const std::string& b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    if (da && db) {
      size_t ei = i;
      size_t ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      // Compare the numbers without leading zeros, by length and then digits.
      size_t si = i;
      size_t sj = j;
      while (si + 1 < ei && a[si] == '0') ++si;
      while (sj + 1 < ej && b[sj] == '0') ++sj;
      if (ei - si != ej - sj) return ei - si < ej - sj;
      const int c = a.compare(si, ei - si, b, sj, ej - sj);
      if (c != 0) return c < 0;
      if (ei - i != ej - j) return ei - i < ej - j;
      i = ei;
      j = ej;
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

std::vector<size_t> SelectCameras(const std::vector<CameraCandidate>& candidates) {
  std::vector<size_t> chosen;
  for (size_t i = 0; i < candidates.size(); ++i) {
    const CameraCandidate& c = candidates[i];
    if (c.provider != "v4l2" || c.path.empty()) continue;
    const bool seen = std::any_of(chosen.begin(), chosen.end(),
                                  [&](size_t k) { return candidates[k].path == c.path; });
    if (!seen) chosen.push_back(i);
  }
  std::stable_sort(chosen.begin(), chosen.end(),
                   [&](size_t x, size_t y) { return PathBefore(candidates[x].path, candidates[y].path); });
  return chosen;
}

void CopyDeviceName(const std::string& name, char (&out)[100]) {
  size_t n = std::min<size_t>(name.size(), sizeof out - 1);
  // Back off over continuation bytes so that no character is cut in two.
  if (n < name.size()) {
    while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(out, name.data(), n);
  out[n] = '\0';
}

}  // namespace vantrel

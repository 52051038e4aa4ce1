#include "vantrel/settings.h"

namespace vantrel {

void DefaultArea(int32_t width, int32_t height, int32_t area[4]) {
  // Division by 8 rounds towards minus infinity.
  auto div8 = [](int32_t v) { return v >= 0 ? v / 8 : -((-v + 7) / 8); };
  int32_t sx = div8(width) - 1, sy = div8(height) - 1;
  int32_t ex = 7 * div8(width) - 1, ey = 7 * div8(height) - 1;
  area[0] = sx < 0 ? 0 : sx;
  area[1] = sy < 0 ? 0 : sy;
  area[2] = ex >= width ? width - 1 : ex;
  area[3] = ey >= height ? height - 1 : ey;
}

// Load, save and the settings path come with the settings file work.
void LoadSettings(const std::string&, SettingsRecord*, const GuideRebuild&) {}
bool SaveSettings(const std::string&, const SettingsRecord&) { return false; }
std::string DefaultSettingsPath() { return "Vantrel.ini"; }

}  // namespace vantrel

// Any bytes as the station's settings file, loaded as the station loads it at
// start-up: every key read with its default, the guide-line hook called once at
// its place in the load. (The hook's work, the guide lines themselves, belongs
// to the application core and is not taken in here.)
//
// Whatever the file holds: no crash and no hang, and the record it gives saves
// and loads back to the same values (doubles to the six decimals they are
// written with, and exactly from the second round on). The files live in a private folder on a memory file system
// when there is one.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "vantrel/settings.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

struct Folder {
  std::string path;
  ~Folder() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
};

const std::string& PrivateFolder() {
  static Folder folder = [] {
    std::string base = "/dev/shm";
    if (::access(base.c_str(), W_OK) != 0) {
      std::error_code ec;
      base = std::filesystem::temp_directory_path(ec).string();
      if (ec) base = "/tmp";
    }
    std::string pattern = base + "/vantrel-settings-XXXXXX";
    Check(::mkdtemp(pattern.data()) != nullptr);
    return Folder{pattern};
  }();
  return folder.path;
}

// A double written with "%lf" and read back: the same to within the six
// decimals, unless it is so large that its text passes the 99 characters a
// value is read with.
bool SameWritten(double before, double after) {
  if (std::fabs(before) >= 1e90) return true;
  return std::fabs(after - before) <= 5e-7 + std::fabs(before) * 1e-15;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = PrivateFolder() + "/Vantrel.ini";
  const std::string again = PrivateFolder() + "/again.ini";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    Check(out.good());
  }
  std::filesystem::remove(again);

  vantrel::SettingsRecord loaded;
  int rebuilt = 0;
  vantrel::LoadSettings(file, &loaded, [&rebuilt](const vantrel::SettingsRecord&) { ++rebuilt; });
  Check(rebuilt == 1);

  // Saved and loaded back: the doubles move by their rounding at most, and
  // from then on nothing moves at all.
  vantrel::SettingsRecord back, twice;
  Check(vantrel::SaveSettings(again, loaded));
  vantrel::LoadSettings(again, &back);
  Check(SameWritten(loaded.ScanDegree, back.ScanDegree));
  Check(SameWritten(loaded.Rad, back.Rad));
  Check(SameWritten(loaded.Amount, back.Amount));
  Check(vantrel::SaveSettings(again, back));
  vantrel::LoadSettings(again, &twice);
  Check(twice == back);
  return 0;
}

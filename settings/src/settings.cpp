#include "vantrel/settings.h"

#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "vantrel/ovoutil.h"

namespace vantrel {

namespace {

const char kFileName[] = "Vantrel.ini";

// Every key in file order, read or written through the one accessor.
template <typename Ini>
void Each(Ini& ini, SettingsRecord* s, bool reading, const GuideRebuild* rebuild, bool* ok) {
  auto i32 = [&](const char* key, int32_t* v, int32_t dflt) {
    if (reading) ini.ReadInt(key, v, dflt);
    else if (!ini.WriteInt(key, *v)) *ok = false;
  };
  auto f64 = [&](const char* key, double* v, double dflt) {
    if (reading) ini.ReadDouble(key, v, dflt);
    else if (!ini.WriteDouble(key, *v)) *ok = false;
  };
  const SettingsRecord d;  // the defaults

  ini.SetSection("SYSTEM");
  i32("DeviceNo", &s->DeviceNo, d.DeviceNo);
  i32("Xsize", &s->Xsize, d.Xsize);
  i32("Ysize", &s->Ysize, d.Ysize);
  if (reading) {
    int32_t area[4];
    DefaultArea(s->Xsize, s->Ysize, area);
    ini.ReadRect("Area", s->Area, area);
  } else if (!ini.WriteRect("Area", s->Area)) {
    *ok = false;
  }
  i32("BarCodeEnable", &s->BarCodeEnable, d.BarCodeEnable);
  i32("QRCodeEnable", &s->QRCodeEnable, d.QRCodeEnable);
  i32("DmxCodeEnable", &s->DmxCodeEnable, d.DmxCodeEnable);
  i32("OneDecode", &s->OneDecode, d.OneDecode);
  f64("RepeatSeconds", &s->RepeatSeconds, d.RepeatSeconds);
  i32("Beep", &s->Beep, d.Beep);

  ini.SetSection("BARCODE");
  i32("JAN8", &s->JAN8, d.JAN8);
  i32("JAN13", &s->JAN13, d.JAN13);
  i32("ITF", &s->ITF, d.ITF);
  i32("ITF_Min", &s->ITF_Min, d.ITF_Min);
  i32("ITF_Max", &s->ITF_Max, d.ITF_Max);
  i32("CODE39", &s->CODE39, d.CODE39);
  i32("CODE39_Min", &s->CODE39_Min, d.CODE39_Min);
  i32("CODE39_Max", &s->CODE39_Max, d.CODE39_Max);
  i32("CODE128", &s->CODE128, d.CODE128);
  i32("CODE128_Min", &s->CODE128_Min, d.CODE128_Min);
  i32("CODE128_Max", &s->CODE128_Max, d.CODE128_Max);
  i32("NW7", &s->NW7, d.NW7);
  i32("NW7_Min", &s->NW7_Min, d.NW7_Min);
  i32("NW7_Max", &s->NW7_Max, d.NW7_Max);
  i32("ScanLevel", &s->ScanLevel, d.ScanLevel);
  f64("ScanDegree", &s->ScanDegree, d.ScanDegree);
  // The guide lines follow the range, level and angle just read.
  if (reading && rebuild && *rebuild) (*rebuild)(*s);
  i32("AutoBin", &s->AutoBin, d.AutoBin);
  i32("GuideLine", &s->GuideLine, d.GuideLine);
  i32("Robust", &s->BcdRobust, d.BcdRobust);

  ini.SetSection("QRCODE");
  i32("Threshold", &s->QrThreshold, d.QrThreshold);
  i32("QRBlack", &s->QRBlack, d.QRBlack);
  i32("TargetColor", &s->TargetColor, d.TargetColor);
  i32("Robust", &s->QrRobust, d.QrRobust);

  ini.SetSection("DMXCODE");
  i32("MaxTime", &s->MaxTime, d.MaxTime);
  f64("Rad", &s->Rad, d.Rad);
  f64("Amount", &s->Amount, d.Amount);
  i32("Threshold", &s->DmxThreshold, d.DmxThreshold);
  i32("UnsharpMask", &s->UnsharpMask, d.UnsharpMask);
  i32("FullSearch", &s->DmxFullSearch, d.DmxFullSearch);
}

std::string ProgramFolder() {
  std::string buf(4096, '\0');
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) break;
    if (static_cast<size_t>(n) < buf.size()) {
      buf.resize(static_cast<size_t>(n));
      size_t slash = buf.rfind('/');
      if (slash == std::string::npos) break;
      return slash == 0 ? std::string("/") : buf.substr(0, slash);
    }
    buf.resize(buf.size() * 2);
  }
  std::string cwd(4096, '\0');
  while (!::getcwd(cwd.data(), cwd.size())) {
    if (errno != ERANGE) return ".";
    cwd.resize(cwd.size() * 2);
  }
  cwd.resize(std::char_traits<char>::length(cwd.c_str()));
  return cwd;
}

std::string Join(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  if (const passwd* pw = ::getpwuid(::getuid())) {
    if (pw->pw_dir && *pw->pw_dir) return pw->pw_dir;
  }
  return {};
}

bool MakeFolders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

void DefaultArea(int32_t width, int32_t height, int32_t area[4]) {
  // Division by 8 rounds towards minus infinity.
  auto div8 = [](int32_t v) { return v >= 0 ? v / 8 : -((-(v + 1)) / 8) - 1; };
  int64_t sx = int64_t{div8(width)} - 1, sy = int64_t{div8(height)} - 1;
  int64_t ex = 7 * int64_t{div8(width)} - 1, ey = 7 * int64_t{div8(height)} - 1;
  area[0] = static_cast<int32_t>(sx < 0 ? 0 : sx);
  area[1] = static_cast<int32_t>(sy < 0 ? 0 : sy);
  area[2] = static_cast<int32_t>(ex >= width ? int64_t{width} - 1 : ex);
  area[3] = static_cast<int32_t>(ey >= height ? int64_t{height} - 1 : ey);
}

void LoadSettings(const std::string& path, SettingsRecord* settings, const GuideRebuild& rebuildGuides) {
  if (!settings) return;
  OvoUtilIni& ini = OvoUtilSettingsIni();
  ini.SetFile(path);
  bool ok = true;
  Each(ini, settings, true, &rebuildGuides, &ok);
}

bool SaveSettings(const std::string& path, const SettingsRecord& settings) {
  OvoUtilIni& ini = OvoUtilSettingsIni();
  ini.SetFile(path);
  SettingsRecord copy = settings;
  bool ok = true;
  Each(ini, &copy, false, nullptr, &ok);
  return ok;
}

std::string SettingsPathFor(const std::string& programFolder, bool folderWritable) {
  if (folderWritable) return Join(programFolder, kFileName);
  // An installed program's folder belongs to root: keep the settings where the
  // user's own configuration lives, or every change would be lost at close.
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    std::string home = HomeFolder();
    if (home.empty()) return Join(programFolder, kFileName);
    base = Join(home, ".config");
  }
  std::string folder = Join(base, "vantrel");
  MakeFolders(folder);
  return Join(folder, kFileName);
}

std::string DefaultSettingsPath() {
  if (const char* named = std::getenv("VANTREL_SETTINGS"); named && *named) return named;
  std::string folder = ProgramFolder();
  return SettingsPathFor(folder, ::access(folder.c_str(), W_OK) == 0);
}

}  // namespace vantrel

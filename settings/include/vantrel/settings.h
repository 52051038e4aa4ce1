// The station's settings record and its file.
//
// One value per key of the sections SYSTEM, BARCODE, QRCODE and DMXCODE; the
// members carry the keys' names as they stand in the file. Values read from the
// file are kept as they stand: consumers clamp what they need to.
#ifndef VANTREL_SETTINGS_H
#define VANTREL_SETTINGS_H

#include <cstdint>
#include <functional>
#include <string>

namespace vantrel {

struct SettingsRecord {
  // SYSTEM
  int32_t DeviceNo = 1;
  int32_t Xsize = 640;
  int32_t Ysize = 480;
  int32_t Area[4] = {79, 59, 559, 419};  // start X, start Y, end X, end Y (inclusive)
  int32_t BarCodeEnable = 1;
  int32_t QRCodeEnable = 0;
  int32_t DmxCodeEnable = 0;
  int32_t OneDecode = 1;
  // Continuous reading records a code of the same kind and bytes only once
  // within this many seconds in the history (0: every reading).
  double RepeatSeconds = 2.0;
  int32_t Beep = 0;  // a short sound for each new history entry ("読取音")

  // BARCODE
  int32_t JAN8 = 1;
  int32_t JAN13 = 1;
  int32_t ITF = 1;
  int32_t ITF_Min = 4;
  int32_t ITF_Max = 32;
  int32_t CODE39 = 1;
  int32_t CODE39_Min = 4;
  int32_t CODE39_Max = 32;
  int32_t CODE128 = 1;
  int32_t CODE128_Min = 4;
  int32_t CODE128_Max = 32;
  int32_t NW7 = 1;
  int32_t NW7_Min = 4;
  int32_t NW7_Max = 32;
  int32_t ScanLevel = 1;
  double ScanDegree = 90.0;
  int32_t AutoBin = 0;
  int32_t GuideLine = 1;
  int32_t BcdRobust = 1;  // key "Robust" of BARCODE

  // QRCODE
  int32_t QrThreshold = 128;  // key "Threshold" of QRCODE
  int32_t QRBlack = 1;
  int32_t TargetColor = 0;
  int32_t QrRobust = 1;  // key "Robust" of QRCODE: the QR decoder's robust reading

  // DMXCODE
  int32_t MaxTime = 1000;
  double Rad = 0.1;
  double Amount = 0.0;
  int32_t DmxThreshold = 0;  // key "Threshold" of DMXCODE
  int32_t UnsharpMask = 0;
  // key "FullSearch" of DMXCODE: 1 lets the Data Matrix library comb the whole
  // processing range when the reader's own finder found nothing
  int32_t DmxFullSearch = 0;

  bool operator==(const SettingsRecord&) const = default;
};

// The default processing range for a capture size: the middle three quarters.
void DefaultArea(int32_t width, int32_t height, int32_t area[4]);

// Called at its place in the load (after the scan keys, before AutoBin), so that
// the preview's guide lines follow the range, level and angle just read.
using GuideRebuild = std::function<void(const SettingsRecord&)>;

// Reads every key in file order; missing or unreadable keys take their defaults.
void LoadSettings(const std::string& path, SettingsRecord* settings,
                  const GuideRebuild& rebuildGuides = {});
// Writes every key in file order. False when a write failed.
bool SaveSettings(const std::string& path, const SettingsRecord& settings);

// Where the station keeps Vantrel.ini: beside the executable, or under
// $XDG_CONFIG_HOME/vantrel (~/.config/vantrel) when that folder is not writable.
// $VANTREL_SETTINGS, when set, names another file.
std::string DefaultSettingsPath();

// The choice behind DefaultSettingsPath for a given program folder: the folder
// itself when it is writable, else the user's configuration folder (created).
std::string SettingsPathFor(const std::string& programFolder, bool folderWritable);

}  // namespace vantrel

#endif

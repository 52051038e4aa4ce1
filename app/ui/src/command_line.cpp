#include "vantrel/command_line.h"

#include "vantrel/camera_faults.h"

namespace vantrel {

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "--help" || a == "-h") {
      line.action = CommandLine::kHelp;
      return line;
    }
    if (a == "--version") {
      line.action = CommandLine::kVersion;
      return line;
    }
    std::string* target = nullptr;
    std::string name = a, value;
    bool inlineValue = false;
    if (const auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
      inlineValue = true;
    }
    if (name == "--camera-replay") target = &line.cameraReplay;
    if (name == "--settings") target = &line.settingsPath;
    if (name == "--camera-fault") target = &line.cameraFaults;
    if (!target) {
      line.action = CommandLine::kError;
      line.error = "unknown option: " + a;
      return line;
    }
    if (!inlineValue) {
      if (i + 1 >= arguments.size()) {
        line.action = CommandLine::kError;
        line.error = name + " needs a value";
        return line;
      }
      value = arguments[++i];
    }
    if (value.empty()) {
      line.action = CommandLine::kError;
      line.error = name + " needs a value";
      return line;
    }
    *target = value;
  }
  if (!line.cameraFaults.empty()) {
    std::string error;
    if (line.cameraReplay.empty()) {
      line.action = CommandLine::kError;
      line.error = "--camera-fault plays faults on the replay source: it needs --camera-replay";
    } else if (!ParseCameraFaults(line.cameraFaults, nullptr, &error)) {
      line.action = CommandLine::kError;
      line.error = "--camera-fault: " + error;
    }
  }
  return line;
}

std::string UsageText() {
  return "Usage: vantrel [options]\n"
         "Reads barcodes, QR codes and Data Matrix codes from a camera.\n"
         "\n"
         "  --camera-replay PATH  play a picture file, or the PNG, BMP and JPEG\n"
         "                        files of a folder, as the camera\n"
         "  --camera-fault LIST   let the replayed camera fail on purpose, e.g.\n"
         "                        bus-error@30, stall@10 or wide-stride@5+ (kinds:\n"
         "                        bus-error, stall, short-frame, wide-stride,\n"
         "                        narrow-stride, large-frame, small-frame; the\n"
         "                        number is the frame it comes at, + for every\n"
         "                        frame from there on)\n"
         "  --settings FILE       the settings file to read at start and write at\n"
         "                        close (default: Vantrel.ini beside the program,\n"
         "                        or ~/.config/vantrel/Vantrel.ini)\n"
         "  --help                this text\n"
         "  --version             the version\n";
}

std::string VersionText() { return "Vantrel, Version 1.0\n"; }

}  // namespace vantrel

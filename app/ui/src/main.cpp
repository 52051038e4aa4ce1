// The station: vantrel [--camera-replay PATH [--camera-fault LIST]] [--settings FILE]
#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <string>
#include <vector>

#include "vantrel/command_line.h"
#include "vantrel/signal_close.h"
#include "vantrel/vantrel_app.h"

namespace {

// The station's own options ("--..." and the values they take) out of the raw
// command line; the toolkit's options (single dash) stay for the toolkit.
std::vector<std::string> OwnOptions(int argc, char** argv) {
  std::vector<std::string> own;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--", 0) != 0 && a != "-h") continue;
    own.push_back(a);
    if ((a == "--camera-replay" || a == "--settings" || a == "--camera-fault") && i + 1 < argc)
      own.push_back(argv[++i]);
  }
  return own;
}

int Refuse(const std::string& error) {
  std::fprintf(stderr, "vantrel: %s\n\n%s", error.c_str(), vantrel::UsageText().c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Help, version and mistakes in the station's options need no display.
  const vantrel::CommandLine early = vantrel::ParseCommandLine(OwnOptions(argc, argv));
  switch (early.action) {
    case vantrel::CommandLine::kHelp:
      std::fputs(vantrel::UsageText().c_str(), stdout);
      return 0;
    case vantrel::CommandLine::kVersion:
      std::fputs(vantrel::VersionText().c_str(), stdout);
      return 0;
    case vantrel::CommandLine::kError:
      return Refuse(early.error);
    case vantrel::CommandLine::kRun:
      break;
  }
  if (!early.cameraReplay.empty() && !QFileInfo::exists(QString::fromStdString(early.cameraReplay)))
    return Refuse("--camera-replay: no such file or folder: " + early.cameraReplay);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vantrel"));
  QApplication::setApplicationVersion(QStringLiteral("1.0"));
  QApplication::setDesktopFileName(QStringLiteral("vantrel"));

  // What the toolkit left: anything not taken by it or by us is a mistake.
  std::vector<std::string> arguments;
  const QStringList list = QApplication::arguments();
  for (qsizetype i = 1; i < list.size(); ++i) arguments.push_back(list[i].toStdString());
  const vantrel::CommandLine line = vantrel::ParseCommandLine(arguments);
  if (line.action != vantrel::CommandLine::kRun) return Refuse(line.error);

  vantrel::StationOptions options;
  options.cameraReplay = line.cameraReplay;
  options.cameraFaults = line.cameraFaults;
  options.settingsPath = line.settingsPath;
  vantrel::CVantrelApp station(std::move(options));
  vantrel::SignalClose closeOnSignal([&station] { station.RequestClose(); });
  return station.Run();
}

// The station: vantrel [--camera-replay PATH] [--settings FILE]
#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <string>
#include <vector>

#include "vantrel/command_line.h"
#include "vantrel/signal_close.h"
#include "vantrel/vantrel_app.h"

int main(int argc, char** argv) {
  // --help and --version need no display.
  {
    std::vector<std::string> raw(argv + 1, argv + argc);
    const vantrel::CommandLine early = vantrel::ParseCommandLine(raw);
    if (early.action == vantrel::CommandLine::kHelp) {
      std::fputs(vantrel::UsageText().c_str(), stdout);
      return 0;
    }
    if (early.action == vantrel::CommandLine::kVersion) {
      std::fputs(vantrel::VersionText().c_str(), stdout);
      return 0;
    }
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vantrel"));
  QApplication::setApplicationVersion(QStringLiteral("1.0"));
  QApplication::setDesktopFileName(QStringLiteral("vantrel"));

  std::vector<std::string> arguments;
  const QStringList list = QApplication::arguments();
  for (qsizetype i = 1; i < list.size(); ++i) arguments.push_back(list[i].toStdString());
  const vantrel::CommandLine line = vantrel::ParseCommandLine(arguments);
  if (line.action == vantrel::CommandLine::kError) {
    std::fprintf(stderr, "vantrel: %s\n\n%s", line.error.c_str(), vantrel::UsageText().c_str());
    return 2;
  }

  if (!line.cameraReplay.empty() && !QFileInfo::exists(QString::fromStdString(line.cameraReplay))) {
    std::fprintf(stderr, "vantrel: --camera-replay: no such file or folder: %s\n", line.cameraReplay.c_str());
    return 2;
  }

  vantrel::StationOptions options;
  options.cameraReplay = line.cameraReplay;
  options.settingsPath = line.settingsPath;
  vantrel::CVantrelApp station(std::move(options));
  vantrel::SignalClose closeOnSignal([&station] { station.RequestClose(); });
  return station.Run();
}

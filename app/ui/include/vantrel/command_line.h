// The station's command line.
#ifndef VANTREL_COMMAND_LINE_H
#define VANTREL_COMMAND_LINE_H

#include <string>
#include <vector>

namespace vantrel {

struct CommandLine {
  enum Action { kRun, kHelp, kVersion, kError };
  Action action = kRun;
  std::string cameraReplay;  // --camera-replay PATH
  std::string cameraFaults;  // --camera-fault LIST (with --camera-replay only)
  std::string settingsPath;  // --settings FILE
  std::string error;         // kError: what was wrong
};

// Reads the options after the program name (toolkit options already taken
// out). "--name VALUE" and "--name=VALUE" both work.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

std::string UsageText();
std::string VersionText();

}  // namespace vantrel

#endif

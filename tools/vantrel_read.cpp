// vantrel-read: reads the codes in picture files with the station's decoders.
#include <cstdio>
#include <string>

#include "read_cli.h"

int main(int argc, char** argv) {
  vantrel::cli::ReadOptions options;
  std::string error;
  if (!vantrel::cli::ParseReadOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "vantrel-read: %s\nTry 'vantrel-read --help'.\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(vantrel::cli::kReadUsage, stdout);
    return 0;
  }
  if (options.version) {
    std::printf("vantrel-read %s\n", VANTREL_VERSION);
    return 0;
  }
  return vantrel::cli::RunRead(options, stdout, stderr);
}

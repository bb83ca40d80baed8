// PenwickUpload: moves the receiver's settings between a transfer file and the receiver.
#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const app::CommandLine line = app::ParseCommandLine(args);
  if (line.port.size() > 99) {
    std::fprintf(stderr, "The port text holds at most 99 characters.\n");
    return 2;
  }
  const app::RunSelection run = app::SelectRun(line.port);
  switch (run.mode) {
    case app::RunMode::UsbDownload:
      std::printf("USB download of \"%s\"\n", line.file.c_str());
      break;
    case app::RunMode::UsbUpload:
      std::printf("USB upload into \"%s\"\n", line.file.c_str());
      break;
    case app::RunMode::SerialDownload:
      std::printf("Serial download of \"%s\" on %s (port index %d)\n", line.file.c_str(),
                  line.port.c_str(), run.portIndex);
      break;
  }
  return 0;
}

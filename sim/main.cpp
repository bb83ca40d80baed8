// penwick-sim: plays the receiver. `penwick-sim serial ...` on a pseudo-terminal,
// `penwick-sim usb ...` as a USB/IP server. Each side prints its own usage with --help.
#include <cstdio>
#include <cstring>

#include "sim_sides.h"

namespace {

const char kUsage[] = "Usage: penwick-sim serial|usb [options]   (--help for each side)\n";

const char kHelp[] =
    "Plays the satellite receiver for tests and demonstrations, without hardware.\n"
    "  serial    the receiver on a serial line: a pseudo-terminal, or a command run on one\n"
    "  usb       the receiver on USB, as a USB/IP server (sessions and the file store)\n"
    "\n"
    "Exit status:\n"
    "   0  the run went as expected (the host made no fault)\n"
    "   1  the host made a fault, or the receiver could not start\n"
    "   2  bad command line\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "serial") == 0)
    return sim::RunSerialSide(argc - 1, argv + 1);
  if (argc >= 2 && std::strcmp(argv[1], "usb") == 0) return sim::RunUsbSide(argc - 1, argv + 1);
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf("%s%s", kUsage, kHelp);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("penwick-sim %s\n", PENWICK_VERSION);
    return 0;
  }
  std::fputs(kUsage, stderr);
  return 2;
}

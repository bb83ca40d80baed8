// penwick-sim: plays the receiver. `penwick-sim serial ...` on a pseudo-terminal,
// `penwick-sim usb ...` as a USB/IP server. Each side prints its own usage with --help.
#include <cstdio>
#include <cstring>

#include "sim_sides.h"

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "serial") == 0)
    return sim::RunSerialSide(argc - 1, argv + 1);
  if (argc >= 2 && std::strcmp(argv[1], "usb") == 0) return sim::RunUsbSide(argc - 1, argv + 1);
  std::fprintf(stderr, "usage: penwick-sim serial|usb [options]   (--help for each side)\n");
  return 2;
}

#include <cstdio>

#include "sim_sides.h"

namespace sim {

int RunUsbSide(int, char**) {
  std::fprintf(stderr, "penwick-sim: the usbip side is not available yet\n");
  return 2;
}

}  // namespace sim

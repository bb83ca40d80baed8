#include <cstdio>

#include "sim_sides.h"

namespace sim {

int RunSerialSide(int, char**) {
  std::fprintf(stderr, "penwick-sim: the serial side is not available yet\n");
  return 2;
}

}  // namespace sim

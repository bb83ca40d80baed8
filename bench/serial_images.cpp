// penwick-bench-images PAK EEPROM: writes a realistic packed image (a sample settings region
// packed through the public API) and an EEPROM image, the payload of the serial benchmarks.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

#include "NorraLink.h"
#include "sample_region.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: penwick-bench-images PAK EEPROM\n");
    return 2;
  }
  // The identity store takes the identity block of a container being unpacked; the packed
  // image then carries it.
  std::vector<uint8_t> packed(131072, 0);
  const std::vector<uint8_t> identity = testsupport::MakeIdentity(0x1234);
  std::copy(identity.begin(), identity.end(), packed.begin());
  std::vector<uint8_t> region(393216);
  Dll_UnPackFlashData(packed.data(), region.data());
  region = testsupport::MakeSampleRegion(1);
  // Records fill the first third of the region and the rest is erased flash, as in a receiver
  // with a few hundred channels (a region full of records does not fit a 128 KB container).
  std::fill(region.begin() + 131072, region.end(), 0xFF);
  if (Dll_PackFlashData(region.data(), packed.data()) != 1) return 1;
  const std::vector<uint8_t> eeprom = testsupport::RandomBytes(256, 2);
  std::ofstream(argv[1], std::ios::binary)
      .write(reinterpret_cast<const char*>(packed.data()),
             static_cast<std::streamsize>(packed.size()));
  std::ofstream(argv[2], std::ios::binary)
      .write(reinterpret_cast<const char*>(eeprom.data()),
             static_cast<std::streamsize>(eeprom.size()));
  return 0;
}

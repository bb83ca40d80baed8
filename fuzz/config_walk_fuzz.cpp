// The configuration walk over arbitrary descriptor bytes: it must neither read outside the
// bytes received nor stall, and whatever it accepts must be consistent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "config_walk.h"
#include "fuzz_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy so that AddressSanitizer sees any read past the received bytes.
  const std::vector<uint8_t> set(data, data + size);
  const auto layout = hvusb::WalkConfiguration(std::span<const uint8_t>(set.data(), set.size()));
  if (layout) {
    if (layout->numEndpoints > hvusb::kMaxEndpoints) std::abort();
    if (layout->interfaceOffset + 9 > size || set[layout->interfaceOffset + 1] != 4) std::abort();
  }
  return 0;
}

bool FuzzInputRefused(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> set(data, data + size);
  return !hvusb::WalkConfiguration(std::span<const uint8_t>(set.data(), set.size()));
}

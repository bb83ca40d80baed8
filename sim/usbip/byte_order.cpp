// Pair swapping of the receiver's USB byte order.
#include "byte_order.h"

#include <utility>

namespace sim::usbip {

bool HardwareSwapsPairs(uint16_t bcdDevice) {
  return bcdDevice < 0x0100 || bcdDevice > 0x01FF;
}

std::vector<uint8_t> SwapPairs(std::span<const uint8_t> bytes) {
  std::vector<uint8_t> out(bytes.begin(), bytes.end());
  for (size_t k = 0; k + 1 < out.size(); k += 2) std::swap(out[k], out[k + 1]);
  return out;
}

}  // namespace sim::usbip

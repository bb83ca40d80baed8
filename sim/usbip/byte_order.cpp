// Pair swapping of the receiver's USB byte order.
#include "byte_order.h"

#include <utility>

namespace sim::usbip {

bool HardwareSwapsPairs(std::uint16_t bcd_device) {
  return bcd_device < 0x0100 || bcd_device > 0x01FF;
}

std::vector<std::uint8_t> SwapPairs(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> out(bytes.begin(), bytes.end());
  for (std::size_t k = 0; k + 1 < out.size(); k += 2) std::swap(out[k], out[k + 1]);
  return out;
}

}  // namespace sim::usbip

// Recognises the receiver's reboot command in an OUT transfer, in the receiver's USB byte order.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace sim::usbip {

// True when the receiver's hardware exchanges the bytes of every 16-bit word, so frames travel
// pair-swapped on the wire: every device version outside 0x0100..0x01FF.
bool HardwareSwapsPairs(std::uint16_t bcd_device);

// Exchanges bytes 2k and 2k+1; an odd final byte stays where it is.
std::vector<std::uint8_t> SwapPairs(std::span<const std::uint8_t> bytes);

// True when the transfer starts with the reboot frame: "HaVo", PSN, CMD 11, LEN 0 (two bytes)
// and a matching sum. `swapped`: the transfer is in pair-swapped wire order.
bool IsRebootFrame(std::span<const std::uint8_t> wire, bool swapped);

}  // namespace sim::usbip

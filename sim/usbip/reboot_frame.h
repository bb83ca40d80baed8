// Recognises the receiver's reboot command in an OUT transfer, in the receiver's USB byte order.
#pragma once

#include <cstdint>
#include <span>

namespace sim::usbip {

// True when the transfer starts with the reboot frame: "HaVo", PSN, CMD 11, LEN 0 (two bytes)
// and a matching sum. `swapped`: the transfer is in pair-swapped wire order.
bool IsRebootFrame(std::span<const uint8_t> wire, bool swapped);

}  // namespace sim::usbip

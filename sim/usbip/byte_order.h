// The receiver's USB byte order. With a device version from 0x0100 to 0x01FF the host swaps in
// software and frames travel in natural order; with any other version the receiver's hardware
// exchanges the bytes of every 16-bit word, so the wire carries pair-swapped frames. Such a
// receiver reads an odd-length frame's final byte from the first padding byte of the transfer
// and never sends an odd-length transfer (its frames of odd length get one more payload byte).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace sim::usbip {

// True when frames travel pair-swapped on the wire for this device version.
bool HardwareSwapsPairs(uint16_t bcdDevice);

// Exchanges bytes 2k and 2k+1; an odd final byte stays where it is. Turns wire bytes into
// frame bytes and back.
std::vector<uint8_t> SwapPairs(std::span<const uint8_t> bytes);

}  // namespace sim::usbip

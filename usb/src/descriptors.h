// Descriptor reads through the driver's control-request pair (setup stage, then data stage).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "penwick/usb_driver.hpp"

namespace hvusb {

// GET_DESCRIPTOR of `type` and `index` for `length` bytes (wIndex 0x0809 for strings).
// Returns the bytes actually received (at most `length`), nullopt when a stage failed.
std::optional<std::vector<uint8_t>> GetDescriptor(pw::usb::Handle device, uint8_t type,
                                                  uint8_t index, uint16_t length);

// The whole configuration set of configuration 0: its first 9 bytes for wTotalLength, then
// wTotalLength bytes. Returns the bytes received; nullopt when a read failed or the first one
// came back shorter than 4 bytes.
std::optional<std::vector<uint8_t>> GetConfiguration(pw::usb::Handle device);

}  // namespace hvusb

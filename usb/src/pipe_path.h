// Device and pipe path limits. A pipe path is the device path followed by
// \INTERFACE_0x00\PIPE_0xNN and must fit a 260-character buffer with its terminator.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace hvusb {

inline constexpr size_t kPipePathBuffer = 260;
// The remembered path of a failed open: 511 characters and a terminator.
inline constexpr size_t kRememberedPathBuffer = 512;
// The longest device path whose pipe paths fit: 260 - 1 - strlen("\INTERFACE_0x00\PIPE_0x00").
inline constexpr size_t kMaxDevicePath = 234;

// The path of pipe `index` (0..31) of interface 0; nullopt when it would not fit.
std::optional<std::string> PipePath(std::string_view devicePath, unsigned index);

}  // namespace hvusb

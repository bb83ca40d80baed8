// One client connection of the USB/IP server: one operation (device list or import), and after
// a successful import the URB channel until either side closes it.
#pragma once

#include <cstdint>

#include "emulated_device.h"
#include "stream.h"

namespace sim::usbip {

// Largest OUT data stage accepted in one CMD_SUBMIT; a larger one closes the connection.
inline constexpr int32_t kMaxTransferLength = 1 << 20;

// Serves the connection until it ends. A malformed request (unknown operation or command, a
// wrong devid, a negative or oversized length, a short read) closes it, as the reference
// server does.
void ServeConnection(Stream& stream, EmulatedDevice& device);

}  // namespace sim::usbip

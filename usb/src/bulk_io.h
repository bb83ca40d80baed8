// Whole frames to and from the receiver's bulk pipes, each request waited for up to its own
// time-out (in ms, scaled like every USB time-out). UsbWrite and UsbRead are these with the
// time-outs in force when they are called; the file tasks pass their own where they differ.
#pragma once

#include <cstdint>

namespace hvusb {

// As UsbWrite: 1 when the whole frame went, else 0.
uint32_t WriteFrame(const uint8_t* data, uint32_t length, uint32_t timeoutMs);
// As UsbRead: the bytes received and copied, 0 on time-out or failure.
uint32_t ReadFrame(uint8_t* data, uint32_t expected, uint32_t timeoutMs);

}  // namespace hvusb

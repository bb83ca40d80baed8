// The request engines under UsbWrite and UsbRead (and the file tasks): one bulk request on a
// pipe, waited for by the wait rule, cancelled and drained on time-out or abort. Also the
// driver requests of the pipe I/O: the last USBD status and the driver information.
#pragma once

#include <cstddef>
#include <cstdint>

#include "penwick/usb_driver.hpp"

namespace hvusb {

// Writes `length` bytes from `buffer` on `pipe`. True only when the device accepted all of
// them within `timeoutMs` and no removal intervened.
bool Out(pw::usb::Handle pipe, const uint8_t* buffer, uint32_t length, uint32_t timeoutMs);

// Reads up to `length` bytes into `buffer` (zeroed first) on `pipe`; `count` gets the bytes
// received, which may be 0. False on time-out (`timeoutMs`), removal or a failed request.
bool In(pw::usb::Handle pipe, uint8_t* buffer, uint32_t length, uint32_t* count,
        uint32_t timeoutMs);

// Asks the driver for its last USBD status on the open device; true when it answered.
bool GetLastUsbdStatus();

// Asks the driver for its version and, if that succeeds, whether it is a checked build. True
// when both answered.
bool GetDriverInfo();

}  // namespace hvusb

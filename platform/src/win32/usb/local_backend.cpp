// Receivers attached to this machine. On Windows they are reached through the receiver's own
// bulk driver, which this build does not talk to yet: PENWICK_USB_IDS selects nothing here, and
// USB/IP (PENWICK_USBIP) is the way to a receiver.
#include <cstdio>

#include "backends.hpp"

namespace pw::usb {

std::unique_ptr<Backend> MakeLibusbBackend(std::vector<UsbId> /*ids*/) {
  std::fprintf(stderr,
               "PENWICK_USB_IDS: local USB receivers are not supported on Windows yet; use "
               "PENWICK_USBIP\n");
  return nullptr;
}

}  // namespace pw::usb

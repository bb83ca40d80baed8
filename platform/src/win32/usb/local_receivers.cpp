// Receivers attached to this machine, on Windows: the receiver's own bulk driver, which exposes
// only receivers (every interface of its class is one), so no list of ids is needed. A receiver
// reached over USB/IP takes its place: PENWICK_USBIP selects USB/IP alone.
#include <cstdio>

#include "backends.hpp"
#include "bulk_driver_backend.hpp"

namespace pw::usb {

bool LocalReceiversSelected(const UsbSettings& settings) {
  return settings.servers.empty();
}

std::unique_ptr<Backend> MakeLocalBackend(const UsbSettings& settings) {
  if (!settings.ids.empty()) {
    std::fprintf(stderr,
                 "PENWICK_USB_IDS is not used on Windows: the receiver's driver finds it\n");
  }
  return bulk::MakeBulkDriverBackend();
}

std::string LocalReceiverHelp() {
  return "install the receiver's USB driver for a receiver on this machine";
}

}  // namespace pw::usb

// Receivers attached to this machine, on Linux: libusb, for the ids PENWICK_USB_IDS lists. No
// other local device is a receiver, so frames never reach an unrelated device.
#include "backends.hpp"

namespace pw::usb {

bool LocalReceiversSelected(const UsbSettings& settings) {
  return !settings.ids.empty();
}

std::unique_ptr<Backend> MakeLocalBackend(const UsbSettings& settings) {
  return MakeLibusbBackend(settings.ids);
}

std::string LocalReceiverHelp() {
  return "set PENWICK_USB_IDS=vvvv:pppp (hexadecimal) for a receiver on this machine "
         "(PenwickUpload --list shows the devices it sees, with the line to use)";
}

}  // namespace pw::usb

// The libusb backend: receivers attached to this machine, limited to the vid:pid pairs of
// PENWICK_USB_IDS. Never detaches a kernel driver and never claims an interface another driver
// or program holds. Hot-plug callbacks where libusb has them (they only queue events for the
// backend's event thread), else polling.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "backends.hpp"

struct libusb_device;

namespace pw::usb {

// "usb:<bus>-<port>[.<port>...]", the kernel's own naming of a port path. Empty for a device
// without a port path (a root hub).
PW_PLATFORM_API std::string LibusbDevicePath(uint8_t bus, std::span<const uint8_t> ports);
// The path of a device libusb lists (empty for a root hub).
std::string LibusbDevicePath(libusb_device* device);
PW_PLATFORM_API bool MatchesIds(const std::vector<UsbId>& ids, uint16_t vendor, uint16_t product);
// The driver's status for a libusb error code (LIBUSB_ERROR_*) and for a transfer's status
// (LIBUSB_TRANSFER_*).
PW_PLATFORM_API Status StatusFromLibusbError(int error);
PW_PLATFORM_API Status StatusFromTransferStatus(int status);
// What the operator reads when the system refuses access to a receiver.
PW_PLATFORM_API std::string AccessDeniedMessage(const std::string& path,
                                                const std::vector<UsbId>& ids);

}  // namespace pw::usb

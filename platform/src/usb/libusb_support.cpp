// The libusb backend's pure helpers: paths, id matching, error translation in one place.
#include <libusb.h>

#include "libusb_backend.hpp"
#include "penwick/usb_survey.hpp"

namespace pw::usb {

std::string LibusbDevicePath(uint8_t bus, std::span<const uint8_t> ports) {
  if (ports.empty()) return {};
  std::string path = "usb:" + std::to_string(bus) + "-";
  for (size_t i = 0; i < ports.size(); ++i) {
    if (i) path += '.';
    path += std::to_string(ports[i]);
  }
  return path;
}

std::string LibusbDevicePath(libusb_device* device) {
  uint8_t ports[8];
  const int count = libusb_get_port_numbers(device, ports, sizeof ports);
  if (count <= 0) return {};
  return LibusbDevicePath(libusb_get_bus_number(device),
                          std::span<const uint8_t>(ports, static_cast<size_t>(count)));
}

bool MatchesIds(const std::vector<UsbId>& ids, uint16_t vendor, uint16_t product) {
  for (const auto& id : ids) {
    if (id.vendor == vendor && id.product == product) return true;
  }
  return false;
}

Status StatusFromLibusbError(int error) {
  switch (error) {
    case LIBUSB_SUCCESS:
      return Status::Success;
    case LIBUSB_ERROR_ACCESS:
      return Status::AccessDenied;
    case LIBUSB_ERROR_NO_DEVICE:
      return Status::NoDevice;
    case LIBUSB_ERROR_NOT_FOUND:
      return Status::NotFound;
    case LIBUSB_ERROR_BUSY:
      return Status::Busy;
    case LIBUSB_ERROR_TIMEOUT:
      return Status::Timeout;
    case LIBUSB_ERROR_OVERFLOW:
      return Status::Overflow;
    case LIBUSB_ERROR_PIPE:
      return Status::Stall;
    case LIBUSB_ERROR_INVALID_PARAM:
      return Status::InvalidParameter;
    case LIBUSB_ERROR_NOT_SUPPORTED:
      return Status::NotSupported;
    default:
      return Status::IoError;
  }
}

Status StatusFromTransferStatus(int status) {
  switch (status) {
    case LIBUSB_TRANSFER_COMPLETED:
      return Status::Success;
    case LIBUSB_TRANSFER_CANCELLED:
      return Status::Cancelled;
    case LIBUSB_TRANSFER_STALL:
      return Status::Stall;
    case LIBUSB_TRANSFER_NO_DEVICE:
      return Status::NoDevice;
    case LIBUSB_TRANSFER_OVERFLOW:
      return Status::Overflow;
    case LIBUSB_TRANSFER_TIMED_OUT:
      return Status::Timeout;
    default:
      return Status::IoError;
  }
}

std::string AccessDeniedMessage(const std::string& path, const std::vector<UsbId>& ids) {
  return "Permission denied on the receiver at " + path +
         ". Install the udev rule for the receiver ids once, as root: " + UdevRuleCommand(ids) +
         " (then unplug and plug the receiver in again).";
}

}  // namespace pw::usb

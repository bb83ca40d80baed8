// The device list's local devices: what libusb holds of every attached device's descriptors
// (on Linux read from sysfs, so no device is opened to list it) and what sysfs says of its
// names and of the drivers bound to its interfaces.
#include <libusb.h>

#include <filesystem>
#include <fstream>

#include "backends.hpp"
#include "libusb_backend.hpp"
#include "penwick/usb_survey.hpp"

namespace pw::usb {

namespace {

const std::string kSysfsDevices = "/sys/bus/usb/devices/";

std::string ReadLine(const std::string& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

std::optional<DeviceShape> ShapeOf(libusb_device* device, uint8_t* configValue,
                                   uint8_t* interfaceNumber) {
  libusb_config_descriptor* config = nullptr;
  if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS &&
      libusb_get_config_descriptor(device, 0, &config) != LIBUSB_SUCCESS) {
    return std::nullopt;
  }
  DeviceShape shape;
  shape.interfaceCount = config->bNumInterfaces;
  *configValue = config->bConfigurationValue;
  if (config->bNumInterfaces > 0 && config->interface[0].num_altsetting > 0) {
    const libusb_interface_descriptor& first = config->interface[0].altsetting[0];
    *interfaceNumber = first.bInterfaceNumber;
    shape.interfaceClass = first.bInterfaceClass;
    for (uint8_t i = 0; i < first.bNumEndpoints && i < kMaxEndpoints; ++i) {
      const libusb_endpoint_descriptor& endpoint = first.endpoint[i];
      shape.endpoints[i] = {endpoint.bEndpointAddress, endpoint.wMaxPacketSize,
                            endpoint.bmAttributes};
      shape.endpointCount = static_cast<uint8_t>(i + 1);
    }
  }
  libusb_free_config_descriptor(config);
  return shape;
}

class LibusbDeviceSource final : public LocalDeviceSource {
 public:
  explicit LibusbDeviceSource(libusb_context* context) : context_(context) {}
  ~LibusbDeviceSource() override { libusb_exit(context_); }

  std::vector<LocalDeviceFacts> List() override {
    std::vector<LocalDeviceFacts> devices;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_, &list);
    for (ssize_t i = 0; i < count; ++i) {
      LocalDeviceFacts facts;
      facts.path = LibusbDevicePath(list[i]);
      libusb_device_descriptor descriptor{};
      if (facts.path.empty() ||
          libusb_get_device_descriptor(list[i], &descriptor) != LIBUSB_SUCCESS) {
        continue;  // a root hub, or a device gone in the meantime
      }
      facts.vendor = descriptor.idVendor;
      facts.product = descriptor.idProduct;
      facts.bcdDevice = descriptor.bcdDevice;
      // sysfs names the device as the path does, without "usb:"; its interfaces
      // "<device>:<configuration>.<interface>".
      const std::string sysfs = kSysfsDevices + facts.path.substr(4);
      const std::string maker = ReadLine(sysfs + "/manufacturer");
      const std::string product = ReadLine(sysfs + "/product");
      facts.name = maker + (maker.empty() || product.empty() ? "" : " ") + product;
      uint8_t configValue = 1, interfaceNumber = 0;
      facts.shape = ShapeOf(list[i], &configValue, &interfaceNumber);
      std::error_code error;
      const auto driver =
          std::filesystem::read_symlink(sysfs + ":" + std::to_string(configValue) + "." +
                                            std::to_string(interfaceNumber) + "/driver",
                                        error);
      if (!error) facts.driver = driver.filename().string();
      devices.push_back(std::move(facts));
    }
    if (count >= 0) libusb_free_device_list(list, 1);
    return devices;
  }

  Status TryOpen(const std::string& path, std::string* message) override {
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_, &list);
    Status status = Status::NotFound;
    *message = "it has gone";
    for (ssize_t i = 0; i < count; ++i) {
      if (LibusbDevicePath(list[i]) != path) continue;
      libusb_device_handle* handle = nullptr;
      const int result = libusb_open(list[i], &handle);
      status = StatusFromLibusbError(result);
      *message = result == LIBUSB_SUCCESS ? "" : libusb_error_name(result);
      if (handle) libusb_close(handle);
      break;
    }
    if (count >= 0) libusb_free_device_list(list, 1);
    return status;
  }

 private:
  libusb_context* context_;
};

}  // namespace

std::unique_ptr<LocalDeviceSource> MakeLibusbDeviceSource(std::string* why) {
  libusb_context* context = nullptr;
  const int result = libusb_init(&context);
  if (result != LIBUSB_SUCCESS) {
    *why = std::string("libusb cannot start (") + libusb_error_name(result) + ")";
    return nullptr;
  }
  return std::make_unique<LibusbDeviceSource>(context);
}

}  // namespace pw::usb

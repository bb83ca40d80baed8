// Standard requests of endpoint 0. Anything else (vendor and class requests, unknown
// descriptor types) stalls, as a device does with a request it does not know.
#include "device_model.h"

#include <algorithm>

namespace sim::usbip {
namespace {

constexpr uint8_t kGetStatus = 0;
constexpr uint8_t kClearFeature = 1;
constexpr uint8_t kSetFeature = 3;
constexpr uint8_t kSetAddress = 5;
constexpr uint8_t kGetDescriptor = 6;
constexpr uint8_t kGetConfiguration = 8;
constexpr uint8_t kSetConfiguration = 9;
constexpr uint8_t kGetInterface = 10;
constexpr uint8_t kSetInterface = 11;

ControlResult Stall() {
  return ControlResult{-32, {}};
}

ControlResult Data(std::vector<uint8_t> bytes, uint16_t length) {
  if (bytes.size() > length) bytes.resize(length);
  return ControlResult{0, std::move(bytes)};
}

bool KnownEndpoint(uint16_t address) {
  return address == 0 || address == 0x80 || address == kBulkOutAddress || address == kBulkInAddress;
}

}  // namespace

ControlResult DeviceModel::GetDescriptor(uint8_t type, uint8_t index, uint16_t length) const {
  switch (type) {
    case 1:
      return Data(DeviceDescriptor(options_), length);
    case 2:
      if (index != 0) return Stall();
      return Data(ConfigurationDescriptorSet(options_), length);
    case 6:  // device qualifier: how the device would run at the other speed
      return Data({10, 6, 0x00, 0x02, 0, 0, 0, 64, 1, 0}, length);
    case 3: {
      auto text = StringDescriptor(options_, index);
      if (!text) return Stall();
      return Data(std::move(*text), length);
    }
    default:
      return Stall();
  }
}

ControlResult DeviceModel::Control(std::span<const uint8_t, 8> setup,
                                   std::span<const uint8_t> /*outData*/) {
  const uint8_t requestType = setup[0];
  const uint8_t request = setup[1];
  const auto value = static_cast<uint16_t>(setup[2] | setup[3] << 8);
  const auto index = static_cast<uint16_t>(setup[4] | setup[5] << 8);
  const auto length = static_cast<uint16_t>(setup[6] | setup[7] << 8);
  const uint8_t recipient = requestType & 0x1F;

  if ((requestType & 0x60) != 0) return Stall();  // class and vendor requests
  const bool in = (requestType & 0x80) != 0;

  if (in) {
    switch (request) {
      case kGetDescriptor:
        if (recipient != 0) return Stall();
        return GetDescriptor(static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value), length);
      case kGetConfiguration:
        return Data({configuration_}, length);
      case kGetInterface:
        if (index != 0) return Stall();
        return Data({0}, length);
      case kGetStatus:
        if (recipient == 2 && !KnownEndpoint(index)) return Stall();
        return Data({0, 0}, length);
      default:
        return Stall();
    }
  }
  switch (request) {
    case kSetConfiguration:
      if (value > 1) return Stall();
      configuration_ = static_cast<uint8_t>(value);
      return {};
    case kSetInterface:
      if (index != 0 || value != 0) return Stall();
      return {};
    case kClearFeature:
    case kSetFeature:
      if (recipient == 2 && !KnownEndpoint(index)) return Stall();
      return {};
    case kSetAddress:
      return {};
    default:
      return Stall();
  }
}

}  // namespace sim::usbip

// GetDescriptor and GetConfiguration.
#include "descriptors.h"

#include <array>

#include "config_walk.h"
#include "library_state.h"

namespace hvusb {

std::optional<std::vector<uint8_t>> GetDescriptor(pw::usb::Handle device, uint8_t type,
                                                  uint8_t index, uint16_t length) {
  const uint16_t wIndex = type == 3 ? 0x0809 : 0;
  std::array<uint8_t, 8> setup{0x80,
                               6,
                               index,
                               type,
                               static_cast<uint8_t>(wIndex),
                               static_cast<uint8_t>(wIndex >> 8),
                               static_cast<uint8_t>(length),
                               static_cast<uint8_t>(length >> 8)};
  if (Driver().IoControl(device, pw::usb::kIoctlControlSetup, setup.data(), setup.size(),
                         setup.data(), setup.size(), nullptr) != pw::usb::Status::Success) {
    return std::nullopt;
  }
  std::vector<uint8_t> data(length);
  size_t received = 0;
  if (Driver().IoControl(device, pw::usb::kIoctlControlData, data.data(), data.size(), data.data(),
                         data.size(), &received) != pw::usb::Status::Success) {
    return std::nullopt;
  }
  data.resize(received < data.size() ? received : data.size());
  return data;
}

std::optional<std::vector<uint8_t>> GetConfiguration(pw::usb::Handle device) {
  const auto header = GetDescriptor(device, 2, 0, 9);
  if (!header || header->size() < 4) return std::nullopt;
  return GetDescriptor(device, 2, 0, ConfigTotalLength(*header));
}

}  // namespace hvusb

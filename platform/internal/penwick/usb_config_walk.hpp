// The configuration walk: finds the first interface descriptor of a configuration descriptor
// set and its endpoint descriptors. The set comes from the device, so every byte is checked:
// the walk ends at the bytes actually received and every descriptor must fit inside them.
// The USB driver numbers its pipes by it and the USB library assigns them by it, so pipe i is
// endpoint i for both.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "penwick/platform_api.h"

namespace pw::usb {

inline constexpr size_t kMaxEndpoints = 32;

struct EndpointInfo {
  uint8_t address = 0;         // bEndpointAddress; bit 7 set for IN
  uint16_t maxPacketSize = 0;  // wMaxPacketSize as the descriptor gives it
  uint8_t attributes = 0;      // bmAttributes; the low two bits are the transfer type
};

struct ConfigLayout {
  size_t interfaceOffset = 0;  // offset of the interface descriptor in the set
  uint8_t numEndpoints = 0;    // bNumEndpoints, at most 32
  std::array<EndpointInfo, kMaxEndpoints> endpoints{};
};

// Walks `config` (the bytes received for the set). The end is wTotalLength or the received
// count, whichever is smaller. Fails when the first descriptor is not a configuration of at
// least 9 bytes, wTotalLength is below 18, no interface follows, the interface is shorter
// than 9 bytes or names more than 32 endpoints, the endpoints are not found, are shorter than
// 7 bytes or do not follow each other directly, or any descriptor is shorter than 2 bytes or
// runs past the end. An interface without endpoints is a success.
PW_PLATFORM_API std::optional<ConfigLayout> WalkConfiguration(std::span<const uint8_t> config);

// What a device offers in its configuration, as far as telling a receiver apart goes.
struct DeviceShape {
  uint8_t interfaceCount = 0;  // bNumInterfaces of the configuration
  uint8_t interfaceClass = 0;  // bInterfaceClass of the first interface
  uint8_t endpointCount = 0;   // the first interface's endpoints
  std::array<EndpointInfo, kMaxEndpoints> endpoints{};
};

// The shape of the configuration set that WalkConfiguration accepts; nullopt when it fails.
PW_PLATFORM_API std::optional<DeviceShape> ShapeOfConfiguration(std::span<const uint8_t> config);

// Empty when the device has the receiver's shape: one interface, vendor-specific (class
// 0xFF), with a bulk OUT and a bulk IN endpoint, where the driver finds its pipes. Otherwise
// what is different, for the operator ("its interface is of class 0x03, not vendor-specific").
PW_PLATFORM_API std::string ReceiverShapeMismatch(const DeviceShape& shape);

// wTotalLength of a configuration descriptor's first 9 bytes (0 if fewer were received).
PW_PLATFORM_API uint16_t ConfigTotalLength(std::span<const uint8_t> header);

}  // namespace pw::usb

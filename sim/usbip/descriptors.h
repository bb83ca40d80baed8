// The emulated receiver's USB descriptors: device, configuration (a normal one and the odd
// shapes that exercise the host's configuration walk) and strings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim::usbip {

// Shapes of the configuration descriptor set. kStandard is the receiver: interface 0 of class
// 0xFF with bulk endpoints 0x01 OUT and 0x82 IN. The others are test shapes.
enum class ConfigShape {
  kStandard,
  kNoEndpoints,       // interface with bNumEndpoints 0
  kEndpoints32,       // 32 endpoints, the most a host takes
  kEndpoints33,       // 33 endpoints, one too many
  kExtraDescriptors,  // interface association before the interface, class-specific after it
  kBetweenEndpoints,  // a class-specific descriptor between the two endpoints
  kTwoIn,             // 0x01 OUT, 0x82 IN, 0x84 IN
  kShort,             // wTotalLength 16 larger than the bytes the device sends
  kZeroLength,        // a descriptor with length byte 0 before the first endpoint
  kTotalBelow18,      // wTotalLength 9: a configuration without an interface
  kFirstShort,        // configuration descriptor whose bLength is 7
};

std::optional<ConfigShape> ParseConfigShape(std::string_view name);
// The names ParseConfigShape accepts, separated by '|'.
std::string ConfigShapeNames();

struct DescriptorOptions {
  uint16_t idVendor = 0x1209;  // a vendor id shared for tests
  uint16_t idProduct = 0x0001;
  uint16_t bcdDevice = 0x0100;
  uint16_t maxPacket = 512;  // bulk wMaxPacketSize: 64 (full speed) or 512 (high speed)
  ConfigShape shape = ConfigShape::kStandard;
  bool strings = true;  // false: iManufacturer, iProduct and iSerialNumber are 0
  std::string manufacturer = "Penwick";
  std::string product = "Emulated receiver";
  std::string serial = "SIM0001";
};

inline constexpr uint8_t kBulkOutAddress = 0x01;
inline constexpr uint8_t kBulkInAddress = 0x82;
inline constexpr uint8_t kInterfaceClassVendor = 0xFF;

// Linux speed code of the USB/IP records: 3 high speed for 512-byte packets, else 2 full speed.
uint32_t SpeedCode(const DescriptorOptions& options);

std::vector<uint8_t> DeviceDescriptor(const DescriptorOptions& options);

// The bytes the device sends for its configuration (the whole set). In kShort, wTotalLength
// inside them is larger than their count.
std::vector<uint8_t> ConfigurationDescriptorSet(const DescriptorOptions& options);

// String descriptor `index` (0: the language list); nothing for an index the device lacks.
std::optional<std::vector<uint8_t>> StringDescriptor(const DescriptorOptions& options,
                                                     uint8_t index);

}  // namespace sim::usbip

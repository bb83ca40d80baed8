// Configuration walk over a byte buffer received from the device.
#include "penwick/usb_config_walk.hpp"

#include <cstdio>

namespace pw::usb {
namespace {

constexpr uint8_t kTypeConfiguration = 2;
constexpr uint8_t kTypeInterface = 4;
constexpr uint8_t kTypeEndpoint = 5;

// A descriptor at `pos` whose length byte is at least 2 and which ends inside the buffer.
bool Fits(std::span<const uint8_t> set, size_t pos) {
  if (pos >= set.size()) return false;
  const size_t length = set[pos];
  return length >= 2 && length <= set.size() - pos;
}

// From `pos`, skips whole descriptors until one of `type`; nullopt at the end or at a
// descriptor that does not fit.
std::optional<size_t> Find(std::span<const uint8_t> set, size_t pos, uint8_t type) {
  while (true) {
    if (!Fits(set, pos)) return std::nullopt;
    if (set[pos + 1] == type) return pos;
    pos += set[pos];
  }
}

}  // namespace

uint16_t ConfigTotalLength(std::span<const uint8_t> header) {
  if (header.size() < 4) return 0;
  return static_cast<uint16_t>(header[2] | (header[3] << 8));
}

std::optional<ConfigLayout> WalkConfiguration(std::span<const uint8_t> config) {
  const uint16_t total = ConfigTotalLength(config);
  if (total < 18) return std::nullopt;
  const auto set = config.first(total < config.size() ? total : config.size());
  if (!Fits(set, 0) || set[1] != kTypeConfiguration || set[0] < 9) return std::nullopt;

  const auto interface = Find(set, set[0], kTypeInterface);
  if (!interface || set[*interface] < 9) return std::nullopt;
  ConfigLayout layout;
  layout.interfaceOffset = *interface;
  const uint8_t count = set[*interface + 4];
  if (count > kMaxEndpoints) return std::nullopt;
  layout.numEndpoints = count;
  if (count == 0) return layout;

  auto endpoint = Find(set, *interface + set[*interface], kTypeEndpoint);
  if (!endpoint) return std::nullopt;
  size_t pos = *endpoint;
  for (uint8_t i = 0; i < count; ++i) {
    if (!Fits(set, pos) || set[pos + 1] != kTypeEndpoint || set[pos] < 7) return std::nullopt;
    layout.endpoints[i].address = set[pos + 2];
    layout.endpoints[i].maxPacketSize = static_cast<uint16_t>(set[pos + 4] | (set[pos + 5] << 8));
    layout.endpoints[i].attributes = set[pos + 3];
    pos += set[pos];
  }
  return layout;
}

std::optional<DeviceShape> ShapeOfConfiguration(std::span<const uint8_t> config) {
  const auto layout = WalkConfiguration(config);
  if (!layout) return std::nullopt;
  DeviceShape shape;
  shape.interfaceCount = config[4];  // the walk has checked a configuration of 9 bytes or more
  shape.interfaceClass = config[layout->interfaceOffset + 5];
  shape.endpointCount = layout->numEndpoints;
  shape.endpoints = layout->endpoints;
  return shape;
}

std::string ReceiverShapeMismatch(const DeviceShape& shape) {
  constexpr uint8_t kVendorSpecific = 0xFF;
  constexpr uint8_t kBulk = 2;
  char text[96];
  if (shape.interfaceCount != 1) {
    std::snprintf(text, sizeof text, "it has %u interfaces, not one", shape.interfaceCount);
    return text;
  }
  if (shape.interfaceClass != kVendorSpecific) {
    std::snprintf(text, sizeof text, "its interface is of class 0x%02x, not vendor-specific",
                  shape.interfaceClass);
    return text;
  }
  bool bulkIn = false, bulkOut = false;
  for (uint8_t i = 0; i < shape.endpointCount && i < kMaxEndpoints; ++i) {
    const EndpointInfo& endpoint = shape.endpoints[i];
    if ((endpoint.attributes & 3) != kBulk) continue;
    ((endpoint.address & 0x80) ? bulkIn : bulkOut) = true;
  }
  if (!bulkOut && !bulkIn) return "its interface has no bulk endpoint";
  if (!bulkOut) return "its interface has no bulk OUT endpoint";
  if (!bulkIn) return "its interface has no bulk IN endpoint";
  return {};
}

}  // namespace pw::usb

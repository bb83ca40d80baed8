// The emulated receiver's endpoint 0: answers standard control requests from its descriptors.
// Not thread-safe; the device that owns it serialises calls.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "descriptors.h"

namespace sim::usbip {

struct ControlResult {
  int32_t status = 0;         // 0, or a negated errno (stall: -32)
  std::vector<uint8_t> data;  // IN data stage, at most wLength bytes
};

class DeviceModel {
 public:
  explicit DeviceModel(DescriptorOptions options) : options_(std::move(options)) {}

  const DescriptorOptions& options() const { return options_; }
  uint8_t configuration() const { return configuration_; }

  // One control transfer: the raw 8-byte setup packet and, for OUT, its data stage.
  ControlResult Control(std::span<const uint8_t, 8> setup, std::span<const uint8_t> outData);

  // Back to the unconfigured state, as after a bus reset.
  void Reset() { configuration_ = 0; }

 private:
  ControlResult GetDescriptor(uint8_t type, uint8_t index, uint16_t length) const;

  DescriptorOptions options_;
  uint8_t configuration_ = 0;
};

}  // namespace sim::usbip

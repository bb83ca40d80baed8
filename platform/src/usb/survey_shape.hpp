// The device list's verdict on a device's configuration, shared by the local and the USB/IP
// surveys.
#pragma once

#include <optional>
#include <string>

#include "penwick/usb_config_walk.hpp"
#include "penwick/usb_survey.hpp"

namespace pw::usb {

// Problems for a configuration that cannot be read or has another shape than the receiver's.
inline void JudgeShape(const std::optional<DeviceShape>& shape, ListedDevice* device) {
  device->shapeKnown = shape.has_value();
  if (!shape) {
    device->problems.push_back("its configuration cannot be read");
    return;
  }
  const std::string mismatch = ReceiverShapeMismatch(*shape);
  device->receiverShape = mismatch.empty();
  if (!device->receiverShape) device->problems.push_back("not the receiver's shape: " + mismatch);
}

}  // namespace pw::usb

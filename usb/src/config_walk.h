// The configuration walk the library shares with the USB driver (penwick/usb_config_walk.hpp),
// so that the driver's pipe i and the library's endpoint i are the same endpoint.
#pragma once

#include "penwick/usb_config_walk.hpp"

namespace hvusb {

using pw::usb::ConfigLayout;
using pw::usb::ConfigTotalLength;
using pw::usb::EndpointInfo;
using pw::usb::kMaxEndpoints;
using pw::usb::WalkConfiguration;

}  // namespace hvusb

// The backend of receivers attached to a Windows machine through the receiver's bulk driver.
#pragma once

#include <memory>

#include "penwick/usb_backend.hpp"

namespace pw::usb::bulk {

// Finds the present interfaces of the receiver's class, hears of arrivals and removals through
// device-change notices, and opens sessions on the driver's device and pipe files. Device paths
// are the system's interface paths ("\\?\usb#vid_...#{fd8f99a2-...}"), in lower case.
PW_PLATFORM_API std::unique_ptr<Backend> MakeBulkDriverBackend();

}  // namespace pw::usb::bulk

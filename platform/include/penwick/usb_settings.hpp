// What the USB driver tells a program about finding receivers: whether its settings name any
// (PENWICK_USB_IDS, PENWICK_USBIP), how to configure one, and what the operator should know
// while waiting for one.
#pragma once

#include <string>

#include "penwick/platform_api.h"

namespace pw::usb {

// True when the settings name at least one receiver (a usable vid:pid or USB/IP server).
// Without one no receiver can ever be found.
PW_PLATFORM_API bool ReceiverConfigured();
// How to name a receiver in the settings, one sentence without a final full stop.
PW_PLATFORM_API std::string ReceiverSettingsHelp();
// What the operator should know now: settings that name no receiver or hold unusable items,
// and why the last receiver could not be opened. Empty when there is nothing to say.
PW_PLATFORM_API std::string DriverNote();

}  // namespace pw::usb

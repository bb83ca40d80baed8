// The options of the receiver's USB sessions (`penwick-sim usb --mode ...`): the receiver's
// shared options with the limits of the USB link, and the faults of the USB line.
#pragma once

#include <string>

#include "receiver/receiver_options.h"
#include "usb_link.h"

namespace sim {

struct UsbSessionOptions : ReceiverOptions {
  bool modeGiven = false;    // --mode turns the sessions on
  bool optionGiven = false;  // any session option was given
  UsbLineFaults line;
};

// Parses the session option at the cursor, if it is one.
OptionParse ParseUsbSessionOption(OptionCursor& at, UsbSessionOptions* o);
// Checks the session options once all are parsed (nothing to check without any).
bool FinishUsbSessionOptions(UsbSessionOptions* o, std::string* error);
// The usage text of the session options.
std::string UsbSessionUsage();

}  // namespace sim

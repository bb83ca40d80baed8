// PenwickUpload --list: what the program can see, without a transfer file and without arming
// anything. The serial ports with the COMn that names each, the USB devices attached to this
// machine and those the USB/IP servers of PENWICK_USBIP export, each with whether it has the
// receiver's shape, whether the settings name it and why it cannot be used, with the settings
// line to use. With --json one object a line on stdout (the text for people goes to stderr),
// the `result` object last.
#pragma once

#include <cstdio>
#include <vector>

#include "penwick/usb_survey.hpp"
#include "serial_ports.h"

namespace app {

// Lists and returns the exit status (0: the list was made).
int RunDeviceList(bool json);

// Writes the list: text to `human`, JSON lines to `json` (may be null), and the result.
void PrintDeviceList(const std::vector<NamedSerialPort>& ports, const pw::usb::UsbSurvey& usb,
                     std::FILE* human, std::FILE* json);

}  // namespace app

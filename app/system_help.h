// The parts of the program's help that differ between systems: how a port text reaches a serial
// device, what to try when it cannot be opened, how a USB receiver is found, and the environment
// the program reads (system_help.cpp, win32/system_help.cpp).
#pragma once

#include <string>

namespace app {

// How ports are named, for a refused port text: "ports are named COMn: ...".
std::string PortNamingHelp();
// What to try when a serial port cannot be opened.
std::string SerialPortAdvice();
// How a USB receiver is found, for the advice after a run that timed out waiting for one.
std::string UsbFindingAdvice();
// The lines of the help's "Environment:" section.
std::string EnvironmentHelp();

}  // namespace app

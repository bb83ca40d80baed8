// The parts of the program's help that differ between systems: how a port text reaches a serial
// device, and the environment the program reads (system_help.cpp, win32/system_help.cpp).
#pragma once

#include <string>

namespace app {

// How ports are named, for a refused port text: "ports are named COMn: ...".
std::string PortNamingHelp();
// The lines of the help's "Environment:" section.
std::string EnvironmentHelp();

}  // namespace app

// The serial ports of the device list, each with the port text (COMn) that names it for the
// program. On Linux the tty devices that may be serial lines, with the PENWICK_COMn setting
// that makes a COMn name one where the default naming (COMn is /dev/ttyS<n-1>) does not reach
// it; on Windows the system's own COM ports (serial_ports.cpp, win32/serial_ports.cpp).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace app {

struct SerialDevice {
  std::string path;     // /dev/ttyS0, /dev/ttyUSB0, /dev/ttyACM0
  bool noUart = false;  // a ttyS without a UART behind it (sysfs type 0)
};

struct NamedSerialPort {
  std::string device;    // /dev/ttyUSB0; on Windows the system's device behind COMn
  std::string portText;  // "COMn" for -p
  std::string setting;   // "PENWICK_COMn=<device>" to set first, empty when none is needed
  bool named = false;    // a PENWICK_COMn of the environment already names it
  bool noUart = false;
};

// The serial ports of this machine, named.
std::vector<NamedSerialPort> ListSerialPorts();

// Linux: /dev/ttyS*, /dev/ttyUSB* and /dev/ttyACM* under `devDir`, in number order within each
// kind.
std::vector<SerialDevice> FindSerialDevices(const std::string& devDir = "/dev",
                                            const std::string& sysClassTty = "/sys/class/tty");

// The PENWICK_COMn settings of the environment: n and the device each names (symbolic links
// resolved).
std::map<int, std::string> ComSettingsFromEnvironment();

// Names every device. A port text never selects a USB run (its number is at least 1 and not
// 256), and a suggested COMn never takes the number of a present /dev/ttyS or of a
// PENWICK_COMn already set.
std::vector<NamedSerialPort> NameSerialPorts(const std::vector<SerialDevice>& devices,
                                             const std::map<int, std::string>& comSettings);

}  // namespace app

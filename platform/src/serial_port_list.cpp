// The system's serial port names on Linux: none (COMn is this program's naming of ttys).
#include "penwick/serial_port.hpp"

namespace pw {

std::vector<SystemSerialPort> SystemSerialPorts() {
  return {};
}

}  // namespace pw

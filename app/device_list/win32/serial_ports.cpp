// The COM ports of a Windows machine: the system's "COMn" names, in number order. COMn is the
// name the program opens, so every port is named already.
#include "serial_ports.h"
#include "penwick/serial_port.hpp"

namespace app {
namespace {

constexpr unsigned long kUsbUploadNumber = 256;

}  // namespace

std::vector<NamedSerialPort> ListSerialPorts() {
  std::vector<NamedSerialPort> ports;
  for (const pw::SystemSerialPort& system : pw::SystemSerialPorts()) {
    // COM256 selects the USB upload, so the program cannot open a port of that number.
    if (system.number == kUsbUploadNumber) continue;
    NamedSerialPort port;
    port.device = system.device;
    port.portText = "COM" + std::to_string(system.number);
    ports.push_back(std::move(port));
  }
  return ports;
}

}  // namespace app

// The system's serial port names on Windows: its "COMn" device names and the devices behind
// them.
#include <windows.h>

#include <cstring>
#include <map>

#include "penwick/serial_port.hpp"
#include "serial_port_name.hpp"

namespace pw {
namespace {

// Every device name the system knows, NUL-separated.
std::vector<char> DeviceNames() {
  std::vector<char> names(16384);
  while (::QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size())) == 0) {
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || names.size() >= (1u << 24)) return {};
    names.resize(names.size() * 2);
  }
  return names;
}

}  // namespace

std::vector<SystemSerialPort> SystemSerialPorts() {
  std::map<unsigned long, std::string> names;  // in number order
  const std::vector<char> all = DeviceNames();
  for (const char* name = all.data(); name < all.data() + all.size() && *name != '\0';
       name += std::strlen(name) + 1) {
    if (const auto n = ComPortNumber(name); n && *n > 0) names.emplace(*n, name);
  }
  std::vector<SystemSerialPort> ports;
  for (const auto& [n, name] : names) {
    char target[1024] = {};
    SystemSerialPort port;
    port.number = n;
    if (::QueryDosDeviceA(name.c_str(), target, sizeof target) != 0) port.device = target;
    ports.push_back(std::move(port));
  }
  return ports;
}

}  // namespace pw

// The COM ports of a Windows machine: the system's "COMn" device names and the devices behind
// them, in number order. COMn is the name the program opens, so every port is named already.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "serial_ports.h"

namespace app {
namespace {

constexpr int kUsbUploadNumber = 256;

// n of "COMn" (any case), or -1.
int ComNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 9) return -1;
  for (size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return -1;
  }
  int n = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return -1;
    n = n * 10 + (name[i] - '0');
  }
  return n;
}

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

std::vector<NamedSerialPort> ListSerialPorts() {
  std::vector<std::pair<int, NamedSerialPort>> found;
  const std::vector<char> names = DeviceNames();
  for (const char* name = names.data(); name < names.data() + names.size() && *name != '\0';
       name += std::strlen(name) + 1) {
    const int n = ComNumber(name);
    // COM256 and COM0 select the USB runs, so the program cannot open such a port.
    if (n < 1 || n == kUsbUploadNumber) continue;
    char target[1024] = {};
    NamedSerialPort port;
    port.portText = "COM" + std::to_string(n);
    if (::QueryDosDeviceA(name, target, sizeof target) != 0) port.device = target;
    found.emplace_back(n, std::move(port));
  }
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<NamedSerialPort> ports;
  for (auto& item : found) ports.push_back(std::move(item.second));
  return ports;
}

}  // namespace app

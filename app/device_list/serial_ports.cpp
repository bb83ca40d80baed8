#include "serial_ports.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <tuple>

extern char** environ;

namespace app {
namespace {

constexpr int kUsbUploadNumber = 256;
constexpr const char* kKinds[] = {"ttyS", "ttyUSB", "ttyACM"};

bool SelectsSerial(int n) {
  return n >= 1 && n != kUsbUploadNumber;
}

// The number after `prefix` in `name` when the rest is all digits, else -1.
int NumberAfter(const std::string& name, const std::string& prefix) {
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      name.size() - prefix.size() > 6) {
    return -1;
  }
  int n = 0;
  for (size_t i = prefix.size(); i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return -1;
    n = n * 10 + (name[i] - '0');
  }
  return n;
}

std::string Canonical(const std::string& path) {
  std::error_code error;
  const auto resolved = std::filesystem::weakly_canonical(path, error);
  return error ? path : resolved.string();
}

}  // namespace

std::vector<SerialDevice> FindSerialDevices(const std::string& devDir,
                                            const std::string& sysClassTty) {
  std::vector<std::tuple<int, int, SerialDevice>> found;  // kind, number, device
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(devDir, error)) {
    const std::string name = entry.path().filename().string();
    for (int kind = 0; kind < 3; ++kind) {
      const int n = NumberAfter(name, kKinds[kind]);
      if (n < 0) continue;
      SerialDevice device{devDir + "/" + name, false};
      if (kind == 0) {
        std::ifstream type(sysClassTty + "/" + name + "/type");
        int value = -1;
        device.noUart = static_cast<bool>(type >> value) && value == 0;
      }
      found.emplace_back(kind, n, device);
    }
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    return std::tie(std::get<0>(a), std::get<1>(a)) < std::tie(std::get<0>(b), std::get<1>(b));
  });
  std::vector<SerialDevice> devices;
  for (auto& item : found) devices.push_back(std::get<2>(item));
  return devices;
}

std::map<int, std::string> ComSettingsFromEnvironment() {
  std::map<int, std::string> settings;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string item = *e;
    const size_t equals = item.find('=');
    if (equals == std::string::npos || equals + 1 == item.size()) continue;
    const int n = NumberAfter(item.substr(0, equals), "PENWICK_COM");
    if (n >= 0) settings[n] = Canonical(item.substr(equals + 1));
  }
  return settings;
}

std::vector<NamedSerialPort> ListSerialPorts() {
  return NameSerialPorts(FindSerialDevices(), ComSettingsFromEnvironment());
}

std::vector<NamedSerialPort> NameSerialPorts(const std::vector<SerialDevice>& devices,
                                             const std::map<int, std::string>& comSettings) {
  std::set<int> taken;  // numbers a suggestion must not use
  for (const auto& [n, device] : comSettings) taken.insert(n);
  for (const auto& device : devices) {
    const int k = NumberAfter(std::filesystem::path(device.path).filename().string(), "ttyS");
    if (k >= 0) taken.insert(k + 1);
  }
  std::vector<NamedSerialPort> named;
  int next = 1;
  for (const SerialDevice& device : devices) {
    NamedSerialPort port{device.path, "", "", false, device.noUart};
    const std::string canonical = Canonical(device.path);
    for (const auto& [n, target] : comSettings) {
      if (SelectsSerial(n) && (target == device.path || target == canonical)) {
        port.portText = "COM" + std::to_string(n);
        port.named = true;
        break;
      }
    }
    const int k = NumberAfter(std::filesystem::path(device.path).filename().string(), "ttyS");
    if (port.portText.empty() && k >= 0 && SelectsSerial(k + 1) && !comSettings.contains(k + 1)) {
      port.portText = "COM" + std::to_string(k + 1);
    }
    if (port.portText.empty()) {
      while (!SelectsSerial(next) || taken.contains(next)) ++next;
      taken.insert(next);
      port.portText = "COM" + std::to_string(next);
      port.setting = "PENWICK_" + port.portText + "=" + device.path;
    }
    named.push_back(std::move(port));
  }
  return named;
}

}  // namespace app

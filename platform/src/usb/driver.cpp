// pw::usb::Driver: the process-wide instance, the backends its environment selects, and the
// conveniences over the core's requests.
#include <cstdio>

#include "backends.hpp"
#include "penwick/usb_driver.hpp"
#include "penwick/usb_settings.hpp"

namespace pw::usb {

Driver& Driver::Process() {
  // Never destroyed: handles may be closed by exit handlers that run after static destructors.
  static Driver* driver = new Driver(BackendsFromEnvironment());
  return *driver;
}

std::vector<std::unique_ptr<Backend>> Driver::BackendsFromEnvironment() {
  UsbSettings settings = SettingsFromEnvironment();
  std::vector<std::unique_ptr<Backend>> backends;
  for (auto& item : settings.badIds)
    std::fprintf(stderr, "PENWICK_USB_IDS: ignoring \"%s\"\n", item.c_str());
  if (LocalReceiversSelected(settings)) {
    if (auto backend = MakeLocalBackend(settings)) backends.push_back(std::move(backend));
  }
  for (auto& item : settings.badServers)
    std::fprintf(stderr, "PENWICK_USBIP: ignoring \"%s\"\n", item.c_str());
  if (!settings.servers.empty()) {
    if (auto backend = MakeUsbipBackend(std::move(settings.servers)))
      backends.push_back(std::move(backend));
  }
  return backends;
}

std::string Driver::EnvironmentNote() {
  const UsbSettings settings = SettingsFromEnvironment();
  std::string note;
  if (!LocalReceiversSelected(settings) && settings.servers.empty()) {
    note = "No USB receiver is configured: " + ReceiverSettingsHelp() + ".";
  }
  for (const auto& item : settings.badIds) {
    note += (note.empty() ? "" : " ") + std::string("PENWICK_USB_IDS: \"") + item +
            "\" is not vvvv:pppp.";
  }
  for (const auto& item : settings.badServers) {
    note += (note.empty() ? "" : " ") + std::string("PENWICK_USBIP: \"") + item +
            "\" is not host:port.";
  }
  return note;
}

bool ReceiverConfigured() {
  const UsbSettings settings = SettingsFromEnvironment();
  return LocalReceiversSelected(settings) || !settings.servers.empty();
}

std::string ReceiverSettingsHelp() {
  return LocalReceiverHelp() + ", or set PENWICK_USBIP=host:port for one reached over USB/IP";
}

std::string DriverNote() {
  // The settings are the process's environment: read once.
  static const std::string settings = Driver::EnvironmentNote();
  std::string note = settings;
  for (const std::string& more :
       {Driver::Process().BackendNote(), Driver::Process().LastOpenMessage()}) {
    if (!more.empty()) note += (note.empty() ? "" : "\n") + more;
  }
  return note;
}

Status Driver::ControlTransfer(Handle device, const std::array<uint8_t, 8>& setup, uint8_t* data,
                               size_t* transferred) {
  if (transferred) *transferred = 0;
  Status status =
      IoControl(device, kIoctlControlSetup, setup.data(), setup.size(), nullptr, 0, nullptr);
  if (status != Status::Success) return status;
  const size_t wLength = static_cast<size_t>(setup[6] | (setup[7] << 8));
  return IoControl(device, kIoctlControlData, data, wLength, data, wLength, transferred);
}

RequestPtr Driver::Write(Handle pipe, const uint8_t* data, size_t length) {
  return Submit(pipe, Direction::Out, data, length);
}

RequestPtr Driver::Read(Handle pipe, size_t length) {
  return Submit(pipe, Direction::In, nullptr, length);
}

}  // namespace pw::usb

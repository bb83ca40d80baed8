// pw::usb::Driver: the public face of the driver core, and the process-wide instance.
#include <cstdio>
#include <cstdlib>

#include "backends.hpp"
#include "driver_core.hpp"
#include "penwick/usb_settings.hpp"

namespace pw::usb {

Driver::Driver(std::vector<std::unique_ptr<Backend>> backends)
    : core_(std::make_unique<DriverCore>(std::move(backends))) {}

Driver::Driver() : Driver(std::vector<std::unique_ptr<Backend>>{}) {}

Driver::~Driver() = default;

Driver& Driver::Process() {
  // Never destroyed: handles may be closed by exit handlers that run after static destructors.
  static Driver* driver = new Driver(BackendsFromEnvironment());
  return *driver;
}

std::vector<std::unique_ptr<Backend>> Driver::BackendsFromEnvironment() {
  std::vector<std::unique_ptr<Backend>> backends;
  if (const char* ids = std::getenv("PENWICK_USB_IDS"); ids && *ids) {
    std::vector<std::string> bad;
    auto parsed = ParseUsbIds(ids, &bad);
    for (auto& item : bad) std::fprintf(stderr, "PENWICK_USB_IDS: ignoring \"%s\"\n", item.c_str());
    if (!parsed.empty()) {
      if (auto backend = MakeLibusbBackend(std::move(parsed)))
        backends.push_back(std::move(backend));
    }
  }
  if (const char* servers = std::getenv("PENWICK_USBIP"); servers && *servers) {
    std::vector<std::string> bad;
    auto parsed = ParseUsbipServers(servers, &bad);
    for (auto& item : bad) std::fprintf(stderr, "PENWICK_USBIP: ignoring \"%s\"\n", item.c_str());
    if (!parsed.empty()) {
      if (auto backend = MakeUsbipBackend(std::move(parsed)))
        backends.push_back(std::move(backend));
    }
  }
  return backends;
}

std::string Driver::EnvironmentNote() {
  const char* ids = std::getenv("PENWICK_USB_IDS");
  const char* servers = std::getenv("PENWICK_USBIP");
  std::vector<std::string> badIds, badServers;
  const size_t idCount = ids ? ParseUsbIds(ids, &badIds).size() : 0;
  const size_t serverCount = servers ? ParseUsbipServers(servers, &badServers).size() : 0;
  std::string note;
  if (idCount == 0 && serverCount == 0) {
    note = "No USB receiver is configured: " + ReceiverSettingsHelp() + ".";
  }
  for (const auto& item : badIds) {
    note += (note.empty() ? "" : " ") + std::string("PENWICK_USB_IDS: \"") + item +
            "\" is not vvvv:pppp.";
  }
  for (const auto& item : badServers) {
    note += (note.empty() ? "" : " ") + std::string("PENWICK_USBIP: \"") + item +
            "\" is not host:port.";
  }
  return note;
}

bool ReceiverConfigured() {
  const char* ids = std::getenv("PENWICK_USB_IDS");
  const char* servers = std::getenv("PENWICK_USBIP");
  std::vector<std::string> bad;
  return (ids && !ParseUsbIds(ids, &bad).empty()) ||
         (servers && !ParseUsbipServers(servers, &bad).empty());
}

std::string ReceiverSettingsHelp() {
  return "set PENWICK_USB_IDS=vvvv:pppp (hexadecimal) for a receiver on this machine "
         "(PenwickUpload --list shows the devices it sees, with the line to use), or "
         "PENWICK_USBIP=host:port for one reached over USB/IP";
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

void Driver::Reset(std::vector<std::unique_ptr<Backend>> backends) {
  core_->Reset(std::move(backends));
}

std::vector<std::string> Driver::Enumerate() {
  return core_->Enumerate();
}

uint32_t Driver::RegisterNotices(PwHwnd window) {
  return core_->RegisterNotices(window);
}

void Driver::UnregisterNotices(uint32_t registration) {
  core_->UnregisterNotices(registration);
}

OpenResult Driver::Open(std::string_view path) {
  return core_->Open(path);
}

Status Driver::Close(Handle handle) {
  return core_->Close(handle);
}

Status Driver::IoControl(Handle device, uint32_t code, const void* in, size_t inSize, void* out,
                         size_t outSize, size_t* returned) {
  return core_->IoControl(device, code, in, inSize, out, outSize, returned);
}

Status Driver::ControlTransfer(Handle device, const std::array<uint8_t, 8>& setup, uint8_t* data,
                               size_t* transferred) {
  if (transferred) *transferred = 0;
  Status status =
      core_->IoControl(device, kIoctlControlSetup, setup.data(), setup.size(), nullptr, 0, nullptr);
  if (status != Status::Success) return status;
  const size_t wLength = static_cast<size_t>(setup[6] | (setup[7] << 8));
  return core_->IoControl(device, kIoctlControlData, data, wLength, data, wLength, transferred);
}

RequestPtr Driver::Write(Handle pipe, const uint8_t* data, size_t length) {
  return core_->Submit(pipe, Direction::Out, data, length);
}

RequestPtr Driver::Read(Handle pipe, size_t length) {
  return core_->Submit(pipe, Direction::In, nullptr, length);
}

Status Driver::CancelIo(Handle pipe) {
  return core_->CancelIo(pipe);
}

std::string Driver::LastOpenMessage() const {
  return core_->LastOpenMessage();
}

std::string Driver::BackendNote() {
  return core_->BackendNotes();
}

}  // namespace pw::usb

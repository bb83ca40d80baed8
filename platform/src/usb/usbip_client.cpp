// The USB/IP backend: device paths, polling of the servers' device lists, and imports.
#include "usbip_client.hpp"

#include <charconv>
#include <set>

#include "tcp.hpp"

namespace pw::usb {

using namespace std::chrono_literals;

namespace {

constexpr std::string_view kPrefix = "usbip:";
constexpr auto kConnectTimeout = 1000ms;
constexpr auto kReplyTimeout = 1500ms;

Status ImportStatus(int32_t status) {
  switch (status) {
    case 1:  // not available (the daemon's answer to every failed import)
    case 2:
      return Status::Busy;
    case 4:
      return Status::NotFound;
    default:
      return Status::IoError;
  }
}

}  // namespace

std::optional<std::vector<usbip::ExportedDevice>> QueryUsbipDevices(const UsbipServer& server,
                                                                    std::string* why) {
  std::string reason;
  if (!why) why = &reason;
  const int fd = TcpConnect(server.host, server.port, kConnectTimeout, why);
  if (fd < 0) return std::nullopt;
  std::optional<std::vector<usbip::ExportedDevice>> devices;
  if (TcpWriteAll(fd, usbip::EncodeDevlistRequest(), kReplyTimeout)) {
    SocketReader in(fd, kReplyTimeout);
    devices = usbip::ReadDevlistReply(in);
  }
  TcpClose(fd);
  if (!devices) *why = "no USB/IP device list came back (is it a USB/IP server?)";
  return devices;
}

std::string UsbipServerText(const UsbipServer& server) {
  const bool v6 = server.host.find(':') != std::string::npos;
  return (v6 ? "[" + server.host + "]" : server.host) + ":" + std::to_string(server.port);
}

std::string UsbipDevicePath(const UsbipServer& server, const std::string& busId) {
  return std::string(kPrefix) + UsbipServerText(server) + "/" + busId;
}

std::optional<UsbipPathParts> ParseUsbipDevicePath(std::string_view path) {
  if (!path.starts_with(kPrefix)) return std::nullopt;
  path.remove_prefix(kPrefix.size());
  UsbipPathParts parts;
  if (path.starts_with("[")) {
    const size_t close = path.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    parts.host = std::string(path.substr(1, close - 1));
    path.remove_prefix(close + 1);
    if (!path.starts_with(":")) return std::nullopt;
    path.remove_prefix(1);
  } else {
    const size_t colon = path.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    parts.host = std::string(path.substr(0, colon));
    path.remove_prefix(colon + 1);
  }
  const size_t slash = path.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  unsigned port = 0;
  const auto portText = path.substr(0, slash);
  auto result = std::from_chars(portText.data(), portText.data() + portText.size(), port);
  if (portText.empty() || result.ec != std::errc() ||
      result.ptr != portText.data() + portText.size() || port == 0 || port > 65535) {
    return std::nullopt;
  }
  parts.port = static_cast<uint16_t>(port);
  parts.busId = std::string(path.substr(slash + 1));
  if (parts.host.empty() || parts.busId.empty() || parts.busId.size() >= usbip::kBusIdSize) {
    return std::nullopt;
  }
  return parts;
}

UsbipBackend::UsbipBackend(std::vector<UsbipServer> servers, std::chrono::milliseconds interval)
    : servers_(std::move(servers)), interval_(interval) {
  shared_->holdAfterClose = 2 * interval_ + 1000ms;
}

UsbipBackend::~UsbipBackend() {
  Stop();
}

bool UsbipBackend::Owns(std::string_view devicePath) const {
  return devicePath.starts_with(kPrefix);
}

std::vector<std::string> UsbipBackend::Poll(bool announceArrivals) {
  std::lock_guard pollLock(pollMutex_);
  std::set<std::string> listed;
  std::string note;
  for (const auto& server : servers_) {
    std::string problem;
    auto devices = QueryUsbipDevices(server, &problem);
    if (!devices) {  // unreachable: its devices are gone (unless imported)
      note += (note.empty() ? "" : " ") + std::string("The USB/IP server ") +
              UsbipServerText(server) + " cannot be reached: " + problem + "; still trying.";
      continue;
    }
    for (const auto& device : *devices) {
      auto path = UsbipDevicePath(server, device.busId);
      if (!device.busId.empty() && path.size() <= kMaxDevicePathLength) listed.insert(path);
    }
  }
  {
    std::lock_guard lock(noteMutex_);
    note_ = note;
  }
  std::vector<std::string> arrivals, removals;
  BackendSink* sink = nullptr;
  {
    std::lock_guard lock(shared_->mutex);
    const auto now = std::chrono::steady_clock::now();
    std::erase_if(shared_->heldUntil, [&](const auto& item) { return item.second <= now; });
    for (const auto& path : listed) {
      if (shared_->present.emplace(path, true).second) arrivals.push_back(path);
    }
    for (auto it = shared_->present.begin(); it != shared_->present.end();) {
      // An imported device lives as long as its connection; one just released may be
      // missing from the list for a moment.
      if (!listed.contains(it->first) && !shared_->imported.contains(it->first) &&
          !shared_->heldUntil.contains(it->first)) {
        removals.push_back(it->first);
        it = shared_->present.erase(it);
      } else {
        ++it;
      }
    }
    sink = shared_->sink;
  }
  if (sink) {
    for (const auto& path : removals) sink->DeviceRemoved(path);
    if (announceArrivals) {
      for (const auto& path : arrivals) sink->DeviceArrived(path);
    }
  }
  return {listed.begin(), listed.end()};
}

void UsbipBackend::PollLoop() {
  std::unique_lock lock(threadMutex_);
  while (!stopping_) {
    wake_.wait_for(lock, interval_, [&] { return stopping_; });
    if (stopping_) break;
    lock.unlock();
    Poll(true);
    lock.lock();
  }
}

void UsbipBackend::Start(BackendSink* sink) {
  Poll(false);  // the devices present now are found by Enumerate, not announced
  {
    std::lock_guard lock(shared_->mutex);
    shared_->sink = sink;
  }
  std::lock_guard lock(threadMutex_);
  stopping_ = false;
  if (!poller_.joinable()) poller_ = std::thread([this] { PollLoop(); });
}

void UsbipBackend::Stop() {
  {
    std::lock_guard lock(threadMutex_);
    stopping_ = true;
    wake_.notify_all();
  }
  if (poller_.joinable()) poller_.join();
  std::lock_guard lock(shared_->mutex);
  shared_->sink = nullptr;
}

std::string UsbipBackend::Note() const {
  std::lock_guard lock(noteMutex_);
  return note_;
}

std::vector<std::string> UsbipBackend::Enumerate() {
  auto listed = Poll(false);
  // Imported devices count as present even when a server hides them from its list.
  std::lock_guard lock(shared_->mutex);
  for (const auto& [path, count] : shared_->imported) {
    if (std::find(listed.begin(), listed.end(), path) == listed.end()) listed.push_back(path);
  }
  return listed;
}

std::unique_ptr<DeviceSession> UsbipBackend::Open(const std::string& devicePath, Status* status,
                                                  std::string* message) {
  const auto parts = ParseUsbipDevicePath(devicePath);
  const UsbipServer* server = nullptr;
  if (parts) {
    for (const auto& candidate : servers_) {
      if (candidate.host == parts->host && candidate.port == parts->port) server = &candidate;
    }
  }
  if (!server) {
    *status = Status::NotFound;
    *message = devicePath + ": not a device of a server in PENWICK_USBIP";
    return nullptr;
  }
  const int fd = TcpConnect(server->host, server->port, kConnectTimeout);
  if (fd < 0) {
    *status = Status::NotFound;
    *message = devicePath + ": cannot connect to the USB/IP server";
    return nullptr;
  }
  int32_t importStatus = -1;
  std::optional<usbip::ExportedDevice> device;
  if (TcpWriteAll(fd, usbip::EncodeImportRequest(parts->busId), kReplyTimeout)) {
    SocketReader in(fd, kReplyTimeout);
    device = usbip::ReadImportReply(in, parts->busId, &importStatus);
  }
  if (!device) {
    TcpClose(fd);
    *status = importStatus < 0 ? Status::IoError : ImportStatus(importStatus);
    *message = devicePath + ": import refused (status " + std::to_string(importStatus) + ")";
    return nullptr;
  }
  {
    std::lock_guard lock(shared_->mutex);
    ++shared_->imported[devicePath];
    shared_->present.emplace(devicePath, true);
  }
  return std::make_unique<UsbipSession>(shared_, devicePath, fd, device->DevId());
}

std::unique_ptr<Backend> MakeUsbipBackend(std::vector<UsbipServer> servers,
                                          std::chrono::milliseconds pollInterval) {
  return std::make_unique<UsbipBackend>(std::move(servers), pollInterval);
}

}  // namespace pw::usb

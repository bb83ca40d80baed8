// The USB/IP client backend: devices exported by the listed servers, found by polling their
// device lists; an opened device is imported and driven over its own connection, whose
// reader thread completes the requests.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "backends.hpp"
#include "usbip_protocol.hpp"

namespace pw::usb {

// "<host>:<port>", an IPv6 host in brackets.
PW_PLATFORM_API std::string UsbipServerText(const UsbipServer& server);
// "usbip:<host>:<port>/<busid>" and back. The host keeps the brackets of an IPv6 address.
PW_PLATFORM_API std::string UsbipDevicePath(const UsbipServer& server, const std::string& busId);
struct UsbipPathParts {
  std::string host;  // without brackets
  uint16_t port = 0;
  std::string busId;
};
PW_PLATFORM_API std::optional<UsbipPathParts> ParseUsbipDevicePath(std::string_view path);

// One server's device list, read on a fresh connection (bounded: about a second to connect,
// a second and a half for the reply). Nullopt when the server cannot be reached or answers
// with something else; `why` (may be null) then says which.
PW_PLATFORM_API std::optional<std::vector<usbip::ExportedDevice>> QueryUsbipDevices(
    const UsbipServer& server, std::string* why = nullptr);

// What the backend and its sessions share: the sink, the present devices and the imports.
struct UsbipShared {
  std::mutex mutex;
  BackendSink* sink = nullptr;
  std::map<std::string, bool> present;  // device paths the servers listed
  std::map<std::string, int> imported;  // device paths with a live connection
  // Paths whose connection ended a moment ago: a server may list them again only after a
  // while, which is no removal.
  std::map<std::string, std::chrono::steady_clock::time_point> heldUntil;
  std::chrono::milliseconds holdAfterClose{1500};

  // A session's connection broke: the device counts as removed.
  void ConnectionLost(const std::string& path);
  // A session ended on purpose.
  void Released(const std::string& path);
};

// One imported device. PDUs go out through a writer thread, so a submit or a cancel never
// waits for a server that does not read; the reader thread completes the requests.
class UsbipSession final : public DeviceSession {
 public:
  UsbipSession(std::shared_ptr<UsbipShared> shared, std::string path, int fd, uint32_t devid);
  ~UsbipSession() override;

  Status Control(const std::array<uint8_t, 8>& setup, std::span<uint8_t> data, size_t* transferred,
                 std::chrono::milliseconds timeout) override;
  void Submit(const RequestPtr& request) override;
  void Cancel(const RequestPtr& request) override;

 private:
  struct Pending {
    RequestPtr request;
    Direction direction;
    uint32_t length;
  };
  void Send(const RequestPtr& request, uint8_t endpointNumber, const std::array<uint8_t, 8>& setup);
  // Queues one PDU for the writer thread.
  void WritePdu(std::span<const uint8_t> header, std::span<const uint8_t> data);
  void WriterLoop();
  void ReaderLoop();

  std::shared_ptr<UsbipShared> shared_;
  const std::string path_;
  const int fd_;
  const uint32_t devid_;
  std::mutex mutex_;
  std::map<uint32_t, Pending> pending_;
  std::map<uint32_t, uint32_t> unlinks_;  // unlink seqnum -> victim seqnum
  uint32_t nextSeq_ = 1;
  bool dead_ = false;
  bool closing_ = false;
  std::mutex outboxMutex_;
  std::condition_variable outboxReady_;
  std::deque<std::vector<uint8_t>> outbox_;
  bool writerStopping_ = false;
  std::thread writer_;
  std::thread reader_;
};

class UsbipBackend final : public Backend {
 public:
  UsbipBackend(std::vector<UsbipServer> servers, std::chrono::milliseconds pollInterval);
  ~UsbipBackend() override;

  std::string_view Name() const override { return "usbip"; }
  bool Owns(std::string_view devicePath) const override;
  void Start(BackendSink* sink) override;
  void Stop() override;
  std::vector<std::string> Enumerate() override;
  std::unique_ptr<DeviceSession> Open(const std::string& devicePath, Status* status,
                                      std::string* message) override;
  // The servers that could not be reached at the last poll, and why.
  std::string Note() const override;

 private:
  // Reads every server's list; announces changes when `announceArrivals` (removals are always
  // announced). Returns the present paths.
  std::vector<std::string> Poll(bool announceArrivals);
  void PollLoop();

  const std::vector<UsbipServer> servers_;
  const std::chrono::milliseconds interval_;
  std::shared_ptr<UsbipShared> shared_ = std::make_shared<UsbipShared>();
  std::mutex pollMutex_;  // one poll at a time
  mutable std::mutex noteMutex_;
  std::string note_;  // guarded by noteMutex_
  std::mutex threadMutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread poller_;
};

}  // namespace pw::usb

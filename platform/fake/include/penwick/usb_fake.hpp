// A scripted USB backend for unit tests: devices with given descriptors that arrive and leave
// on command, opens that are refused, IN pipes that answer with scripted bytes (at once, a
// little later from the fake's own thread, or never), OUT pipes that record what was written.
// Device paths start with "fake:". Build target penwick_usb_fake (a static library for tests,
// not installed).
//
//   auto backend = std::make_unique<pw::usb::FakeBackend>();
//   auto* fake = backend.get();                      // stays valid while the driver lives
//   fake->AddDevice("fake:1", pw::usb::FakeBackend::ReceiverDescriptors(64));
//   pw::usb::Driver driver(pw::usb::MakeBackends(std::move(backend)));
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <optional>

#include "penwick/usb_backend.hpp"

namespace pw::usb {

// Helper for a one-backend driver.
std::vector<std::unique_ptr<Backend>> MakeBackends(std::unique_ptr<Backend> backend);

class FakeBackend final : public Backend {
 public:
  struct Descriptors {
    std::vector<uint8_t> device;                      // 18-byte device descriptor
    std::vector<uint8_t> configuration;               // the whole configuration set
    std::map<uint8_t, std::vector<uint8_t>> strings;  // string descriptors by index
  };

  // How a scripted answer is delivered.
  enum class Timing {
    Immediate,  // inside Submit: the request is done when Read/Write returns
    Later,      // from the fake's thread after `delay`
    Never,      // stays pending until cancelled or the device is removed
  };
  struct Reply {
    std::vector<uint8_t> data;  // IN: the bytes the device sends
    Status status = Status::Success;
    Timing timing = Timing::Later;
    std::chrono::milliseconds delay{1};
  };

  FakeBackend();
  ~FakeBackend() override;

  // Descriptors of a receiver: vid 0x1234, pid 0x5678, version `bcdDevice`, interface 0 with
  // endpoints 0x01 OUT then 0x82 IN of `packetSize`, strings 1-3.
  static Descriptors ReceiverDescriptors(uint16_t packetSize, uint16_t bcdDevice = 0x0200);

  // Scripting. Every call may come from any thread.
  void AddDevice(const std::string& path, Descriptors descriptors, bool announce = true);
  void RemoveDevice(const std::string& path, bool announce = true);
  // The next `count` opens of `path` fail with `status`.
  void RefuseOpens(const std::string& path, Status status, int count,
                   std::string message = "refused");
  // Answers for the next IN requests of an endpoint (address with bit 7), in order. Without a
  // scripted answer an IN request stays pending.
  void ScriptRead(const std::string& path, uint8_t endpoint, Reply reply);
  // How the next OUT requests of an endpoint end (default: accepted in full, Later).
  void ScriptWrite(const std::string& path, uint8_t endpoint, Reply reply);
  // Cancel completes the request from the fake's thread after `delay` (default 1 ms).
  void SetCancelDelay(std::chrono::milliseconds delay);
  // Cancel completes the request inside the Cancel call instead (fuzzing: a read given up
  // ends without waiting for the fake's thread).
  void SetCancelInstant(bool instant);
  // Requests without a scripted answer, for every device: OUT requests are accepted in full
  // with `writes` (default Later, after `writeDelay`), and IN requests end at once with `reads`
  // and no bytes, or, without it (the default), stay pending. Fuzzing accepts writes inside
  // Submit or from the fake's thread without delay, so no input waits on a clock.
  void SetUnscripted(Timing writes, std::optional<Status> reads,
                     std::chrono::milliseconds writeDelay = std::chrono::milliseconds(1));
  // The next open of pipe `pipe` of `path` fails with `status`.
  void RefusePipe(const std::string& path, unsigned pipe, Status status);
  // Completes the oldest pending IN request of an endpoint with `data`; false when none.
  bool DeliverPending(const std::string& path, uint8_t endpoint, std::vector<uint8_t> data);

  // Observations.
  std::vector<std::vector<uint8_t>> Written(const std::string& path, uint8_t endpoint) const;
  std::vector<size_t> ReadLengths(const std::string& path, uint8_t endpoint) const;
  size_t PendingCount(const std::string& path) const;
  int CancelCount(const std::string& path) const;
  int OpenSessions(const std::string& path) const;
  std::vector<std::array<uint8_t, 8>> ControlLog(const std::string& path) const;
  // The pipes' opens and closes as the session saw them, in order: "open 1", "refuse 1",
  // "close 1 with 0 in flight" (requests of the pipe not yet done at its close).
  std::vector<std::string> PipeLog(const std::string& path) const;

  // Backend.
  std::string_view Name() const override { return "fake"; }
  bool Owns(std::string_view devicePath) const override;
  void Start(BackendSink* sink) override;
  void Stop() override;
  std::vector<std::string> Enumerate() override;
  std::unique_ptr<DeviceSession> Open(const std::string& devicePath, Status* status,
                                      std::string* message) override;

  struct Device;  // internal, public for the session class

 private:
  class Session;
  friend class Session;
  struct Job {
    std::chrono::steady_clock::time_point due;
    RequestPtr request;
    Status status;
    size_t transferred;
    std::vector<uint8_t> data;
  };
  void Schedule(Job job);
  void Worker();
  std::shared_ptr<Device> Find(const std::string& path) const;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::map<std::string, std::shared_ptr<Device>> devices_;
  std::deque<Job> jobs_;
  std::chrono::milliseconds cancelDelay_{1};
  bool cancelInstant_ = false;
  Timing unscriptedWrites_ = Timing::Later;
  std::chrono::milliseconds unscriptedWriteDelay_{1};
  std::optional<Status> unscriptedReads_;
  BackendSink* sink_ = nullptr;
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace pw::usb

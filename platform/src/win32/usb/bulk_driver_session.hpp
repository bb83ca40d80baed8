// A session with one receiver through its bulk driver: the device file (control requests as
// pairs of device I/O controls, and the driver's own requests), one file per pipe, and bulk
// requests as overlapped reads and writes on the pipe files, whose completions a thread of the
// session collects from a completion port.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "penwick/usb_backend.hpp"

namespace pw::usb::bulk {

// The system's text of a Win32 error code, with the code.
std::string ErrorText(DWORD error);

class Session final : public DeviceSession {
 public:
  // Opens the device file (read and write, no sharing, overlapped). Null on failure, with the
  // status and a message naming the path and the system's reason.
  static std::unique_ptr<Session> Open(const std::string& path, Status* status,
                                       std::string* message);
  // Cancels what is in flight, waits for it (bounded), closes the pipes, then the device.
  ~Session() override;

  Status Control(const std::array<uint8_t, 8>& setup, std::span<uint8_t> data, size_t* transferred,
                 std::chrono::milliseconds timeout) override;
  void Submit(const RequestPtr& request) override;
  void Cancel(const RequestPtr& request) override;
  Status OpenPipe(unsigned pipe, const EndpointInfo& endpoint) override;
  void ClosePipe(unsigned pipe, const EndpointInfo& endpoint) override;
  bool DriverRequest(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out,
                     size_t* returned, Status* status) override;

 private:
  struct Operation;

  Session(std::string path, HANDLE device, HANDLE port);
  Status DeviceControl(uint32_t code, const void* in, size_t inSize, void* out, size_t outSize,
                       size_t* returned, std::chrono::milliseconds timeout);
  void Completions();
  void Finish(Operation* operation, bool succeeded, DWORD error, DWORD bytes);
  // Waits until none of the operations on `pipe` (any pipe when null) is in flight. Bounded.
  bool Drain(HANDLE pipe, std::chrono::milliseconds bound);

  const std::string path_;
  const HANDLE device_;
  const HANDLE port_;
  std::mutex controlMutex_;  // keeps the two stages of a control request together
  std::mutex mutex_;
  std::condition_variable finished_;
  std::map<uint8_t, HANDLE> pipes_;  // open pipe files by endpoint address
  std::set<Operation*> inFlight_;
  std::thread completions_;
};

}  // namespace pw::usb::bulk

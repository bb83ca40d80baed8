// The driver's core behind pw::usb::Driver: handles, exclusivity, pipe numbering, driver
// control codes (control_codes.cpp), failing requests of a device that went away, and the
// notices to windows.
#pragma once

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "penwick/usb_backend.hpp"
#include "penwick/usb_config_walk.hpp"
#include "penwick/usb_driver.hpp"

namespace pw::usb {

// One endpoint of the device's interface, in descriptor order (pipe i is endpoint i of the
// configuration walk).
using PipeEndpoint = EndpointInfo;

class DriverCore final : public BackendSink {
 public:
  explicit DriverCore(std::vector<std::unique_ptr<Backend>> backends);
  ~DriverCore() override;

  void Reset(std::vector<std::unique_ptr<Backend>> backends);
  std::vector<std::string> Enumerate();
  uint32_t RegisterNotices(PwHwnd window);
  void UnregisterNotices(uint32_t registration);
  OpenResult Open(std::string_view path);
  Status Close(Handle handle);
  Status IoControl(Handle device, uint32_t code, const void* in, size_t inSize, void* out,
                   size_t outSize, size_t* returned);
  RequestPtr Submit(Handle pipe, Direction direction, const uint8_t* data, size_t length);
  Status CancelIo(Handle pipe);
  std::string LastOpenMessage() const;
  // The backends' notes, one after the other.
  std::string BackendNotes();

  // BackendSink.
  void DeviceArrived(const std::string& path) override;
  void DeviceRemoved(const std::string& path) override;

 private:
  struct Device;
  struct HandleEntry;

  Backend* BackendFor(std::string_view devicePath) const;
  OpenResult OpenSession(const std::string& devicePath, std::shared_ptr<Device>* device);
  Status LoadPipes(const std::shared_ptr<Device>& device);
  void Post(uint32_t event, const std::string& path);
  void StopBackends(std::vector<std::unique_ptr<Backend>>& backends);
  void FailEverything();
  Status ControlDataStage(HandleEntry& entry, const std::shared_ptr<DeviceSession>& session,
                          const void* in, size_t inSize, void* out, size_t outSize,
                          size_t* returned);

  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Backend>> backends_;
  std::map<std::string, std::shared_ptr<Device>> devices_;  // live sessions by device path
  std::map<Handle, std::shared_ptr<HandleEntry>> handles_;
  std::map<uint32_t, PwHwnd> windows_;
  std::map<std::string, std::chrono::steady_clock::time_point> arrivals_;
  std::string lastOpenMessage_;
  Handle nextHandle_ = 1;
  uint32_t nextRegistration_ = 1;
  // Serialises Open and Reset so a device's session is established once.
  std::mutex openMutex_;
};

struct DriverCore::Device {
  std::string path;
  Backend* backend = nullptr;
  std::shared_ptr<DeviceSession> session;
  bool gone = false;
  int handles = 0;
  bool pipesLoaded = false;
  std::vector<PipeEndpoint> pipes;
  uint32_t value = 0;
  std::atomic<int32_t> lastStatus{0};  // last failed control request
  RequestPtr lastRequest;              // the last bulk request submitted
};

struct DriverCore::HandleEntry {
  std::string path;
  std::shared_ptr<Device> device;
  bool isPipe = false;
  PipeEndpoint endpoint;
  std::optional<std::array<uint8_t, 8>> setup;
  std::vector<std::weak_ptr<Request>> outstanding;
};

}  // namespace pw::usb

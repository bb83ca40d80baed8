// The private types of pw::usb::Driver's core: handles, exclusivity, pipe numbering, driver
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

// Passes the backends' notices on to the driver.
class Driver::Notices final : public BackendSink {
 public:
  explicit Notices(Driver& driver) : driver_(driver) {}
  void DeviceArrived(const std::string& path) override { driver_.DeviceArrived(path); }
  void DeviceRemoved(const std::string& path) override { driver_.DeviceRemoved(path); }

 private:
  Driver& driver_;
};

struct Driver::Device {
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

struct Driver::HandleEntry {
  std::string path;
  std::shared_ptr<Device> device;
  bool isPipe = false;
  unsigned pipe = 0;  // pipe number of a pipe handle
  PipeEndpoint endpoint;
  std::optional<std::array<uint8_t, 8>> setup;
  std::vector<std::weak_ptr<Request>> outstanding;
};

}  // namespace pw::usb

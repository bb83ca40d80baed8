// Arrival and removal notices of the receiver's interfaces: a hidden message-only window on a
// thread of its own, registered for device-change notices of the receiver's interface class,
// passes each one on to the backend's sink. The driver core then fails a removed device's
// requests and posts the notice to the windows registered with it.
#pragma once

#include <string>
#include <thread>

#include "penwick/usb_backend.hpp"

namespace pw::usb::bulk {

class DeviceNotices {
 public:
  // Starts the window's thread and returns once the window is registered (or failed to be).
  explicit DeviceNotices(BackendSink* sink);
  // Ends the thread; no sink call happens after it returns.
  ~DeviceNotices();
  DeviceNotices(const DeviceNotices&) = delete;
  DeviceNotices& operator=(const DeviceNotices&) = delete;

  // Why notices cannot be heard (the window or its registration failed); empty when they can.
  const std::string& failure() const { return failure_; }

 private:
  void Run(struct NoticeStart* start);

  BackendSink* const sink_;
  unsigned long threadId_ = 0;
  std::string failure_;
  std::thread thread_;
};

}  // namespace pw::usb::bulk

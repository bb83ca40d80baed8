// An opened, claimed local device. Bulk requests become libusb transfers whose callbacks (on
// the backend's event thread) complete them. The state the callbacks touch is shared with
// them, so a late callback never reaches a destroyed session.
#pragma once

#include <libusb.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "penwick/usb_backend.hpp"

namespace pw::usb {

class LibusbSession final : public DeviceSession {
 public:
  LibusbSession(libusb_device_handle* handle, int interfaceNumber);
  ~LibusbSession() override;

  Status Control(const std::array<uint8_t, 8>& setup, std::span<uint8_t> data, size_t* transferred,
                 std::chrono::milliseconds timeout) override;
  void Submit(const RequestPtr& request) override;
  void Cancel(const RequestPtr& request) override;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace pw::usb

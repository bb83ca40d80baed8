// A window pumped on the test thread that records every notification (and device-change
// notice) it receives, for the session tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "penwick/window.hpp"

namespace testpeer {

using Note = std::pair<uint32_t, intptr_t>;

class Notes {
 public:
  Notes()
      : window_([this](const pw::Message& m) {
          if (m.kind == pw::MessageKind::DeviceChange) {
            devices_.push_back(m.event);
            if (onDevice) onDevice(m.event, m.devicePath);
            return intptr_t{0};
          }
          seen_.emplace_back(m.code, m.value);
          if (onNote) onNote(m.code, m.value);
          return intptr_t{0};
        }) {}
  PwHwnd handle() { return window_.handle(); }
  const std::vector<Note>& seen() const { return seen_; }
  bool Has(uint32_t code) const {
    for (const Note& n : seen_)
      if (n.first == code) return true;
    return false;
  }
  std::vector<intptr_t> Values(uint32_t code) const {
    std::vector<intptr_t> out;
    for (const Note& n : seen_)
      if (n.first == code) out.push_back(n.second);
    return out;
  }
  // The device-change events received, in order (pw::kDeviceArrival, kDeviceRemoveComplete).
  const std::vector<uint32_t>& devices() const { return devices_; }
  // Pumps until `code` has arrived.
  bool WaitFor(uint32_t code, std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    return window_.Pump([&] { return Has(code); }, timeout);
  }
  bool PumpUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    return window_.Pump(done, timeout);
  }
  std::function<void(uint32_t, intptr_t)> onNote;
  std::function<void(uint32_t, const std::string&)> onDevice;

 private:
  std::vector<Note> seen_;
  std::vector<uint32_t> devices_;
  PwWindow window_;
};

}  // namespace testpeer

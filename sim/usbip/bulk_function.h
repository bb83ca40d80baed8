// The seam between the emulated device's bulk pipes and what the receiver does with them.
// A function sees every OUT transfer as it came off the wire and answers by queueing IN
// transfers; the receiver's session protocol plugs in here as one more function.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace sim::usbip {

// What a function may do to the device it runs on. Safe to call from any thread, also from
// inside OnOut.
class BulkPort {
 public:
  // Queues one IN transfer (empty: a zero-length packet); it answers the oldest read request.
  virtual void SendIn(std::vector<uint8_t> transfer) = 0;
  // Leaves the bus, drops the host's connection and comes back after the reboot delay.
  virtual void Reboot() = 0;

 protected:
  ~BulkPort() = default;
};

class BulkFunction {
 public:
  virtual ~BulkFunction() = default;
  // One OUT transfer, as many bytes as the host wrote (padding included). Called with the
  // device's lock released, one call at a time.
  virtual void OnOut(std::span<const uint8_t> wire, BulkPort& port) = 0;
  // The device was reset (a new import, or a reboot or unplug that took it off the bus):
  // forget any exchange in progress. May come from any thread, also while OnOut runs.
  virtual void OnReset() {}
};

}  // namespace sim::usbip

// Runs the emulated receiver's USB/IP server (`penwick-sim usb --port 0 ...`) as a child
// process for end-to-end tests, and points the process-wide USB driver at it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "child_process.h"

namespace hvusb_test {

class SimProcess {
 public:
  // Starts the server with `options` and waits (bounded) for the address it prints. Check
  // ok() afterwards.
  explicit SimProcess(const std::vector<std::string>& options);
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool ok() const { return port_ != 0; }
  uint16_t port() const { return port_; }
  // "usbip:127.0.0.1:<port>/1-1", the device path the driver gives the receiver.
  std::string DevicePath() const;
  // Takes the device off the bus and brings it back after the sim's reboot delay.
  void Reboot() const;
  // Stops the server (SIGTERM) and returns its last output line.
  std::string Finish();

  // Points the driver at this server only (PENWICK_USBIP) and shortens its time-outs.
  void UseAsOnlyReceiver() const;

 private:
  pwtest::ChildProcess child_;
  uint16_t port_ = 0;
};

}  // namespace hvusb_test

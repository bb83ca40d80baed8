// Child-process handling of the emulated receiver for the end-to-end tests.
#include "sim_process.h"

#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>

#include "penwick/usb_backend.hpp"

namespace hvusb_test {

SimProcess::SimProcess(const std::vector<std::string>& options) {
  std::vector<std::string> args{PENWICK_SIM_PATH, "usb", "--port", "0"};
  args.insert(args.end(), options.begin(), options.end());
  if (!child_.Start(args)) return;
  // First line: "USBIP 127.0.0.1:<port> busid 1-1".
  const std::string line = child_.ReadLine(std::chrono::seconds(20));
  unsigned port = 0;
  if (std::sscanf(line.c_str(), "USBIP 127.0.0.1:%u", &port) == 1) {
    port_ = static_cast<uint16_t>(port);
  }
}

SimProcess::~SimProcess() {
  child_.Stop(std::chrono::seconds(2));
}

std::string SimProcess::DevicePath() const {
  return "usbip:127.0.0.1:" + std::to_string(port_) + "/1-1";
}

void SimProcess::Reboot() const {
  child_.Signal(SIGUSR1);
}

std::string SimProcess::Finish() {
  child_.Signal(SIGTERM);
  return child_.Finish(std::chrono::seconds(10)).lastLine;
}

void SimProcess::UseAsOnlyReceiver() const {
  unsetenv("PENWICK_USB_IDS");
  setenv("PENWICK_USBIP", ("127.0.0.1:" + std::to_string(port_)).c_str(), 1);
  pw::usb::Driver::Process().Reset(pw::usb::Driver::BackendsFromEnvironment());
}

}  // namespace hvusb_test

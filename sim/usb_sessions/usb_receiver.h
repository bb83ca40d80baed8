// The receiver's USB sessions as the emulated device's bulk function: one session at a time on
// a thread of its own, until one ends (a session whose line a reboot took is followed by the
// next). The run's closing line is printed when it ends.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "bulk_function.h"
#include "emulated_device.h"
#include "receiver/images.h"
#include "usb_link.h"
#include "usb_session_options.h"

namespace sim {

class UsbReceiver {
 public:
  // `swapped`: the device's version makes the receiver's hardware swap pairs.
  UsbReceiver(UsbSessionOptions options, Images images, bool swapped);
  ~UsbReceiver();
  UsbReceiver(const UsbReceiver&) = delete;
  UsbReceiver& operator=(const UsbReceiver&) = delete;

  // The bulk function to give the device; it feeds the receiver's link.
  std::unique_ptr<usbip::BulkFunction> MakeFunction();
  // Starts the sessions on `device` (which must outlive the receiver's Stop).
  void Start(usbip::EmulatedDevice& device);
  // True once the run is over and its lingering time (if any) has passed.
  bool Finished(std::chrono::steady_clock::time_point now) const;
  // Ends the sessions; a run stopped before a session ended reports that and fails.
  void Stop();
  // 0 for OK, 1 for FAIL.
  int ExitStatus() const { return status_.load(); }

 private:
  void Run();

  UsbSessionOptions options_;
  const Images images_;
  UsbLink link_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> ended_{false};
  std::atomic<int> status_{1};
  // When the run may end: its end plus the lingering time.
  std::atomic<std::chrono::steady_clock::rep> leaveAt_{0};
};

}  // namespace sim

// The receiver's USB link: frames over the emulated device's bulk pipes. The PC's OUT
// transfers arrive through Deliver (from the device's connection thread) and wait for the
// session's Receive; Send queues the receiver's frames on the IN pipe. A restart of the device
// (reboot, unplug) during a session loses the line.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <span>

#include "emulated_device.h"
#include "receiver/link.h"
#include "usb_frames.h"

namespace sim {

// Faults of the line itself, counted in frames the receiver sends.
struct UsbLineFaults {
  int silentAfter = -1;  // send nothing after this many frames (-1: never)
  int hangupAfter = 0;   // unplug the device after this many frames (0: never)
  int rebootAfter = 0;   // reboot the device after this many frames (0: never)
};

// A download may ask for up to 65535 bytes (the PC serves at most 65527); an upload asks for
// 65280. The PC opens the session and takes loose block answers.
inline constexpr LinkShape kUsbShape{
    .maxBlock = 0xFFFF, .uploadBlock = 0xFF00, .pcOpens = true, .pcTakesLooseBlockAnswers = true};

class UsbLink final : public Link {
 public:
  UsbLink(bool swapped, UsbLineFaults faults)
      : Link(kUsbShape), swapped_(swapped), faults_(faults) {}
  // The device the link sends on; set before the server starts.
  void Attach(usbip::EmulatedDevice* device) { device_ = device; }

  bool Send(const Frame& frame, uint8_t sumDelta) override;
  Rx Receive(Frame* out, std::chrono::milliseconds timeout) override;
  std::vector<uint8_t> BlockRequestPayload(size_t length, uint32_t offset) const override;
  bool ParseBlockRequest(const std::vector<uint8_t>& payload, size_t* length,
                         uint32_t* offset) const override;

  // One OUT transfer from the PC.
  void Deliver(std::span<const uint8_t> wire);
  // The device restarted (an import, a reboot, an unplug): frames waiting are gone, and a
  // session under way has lost its line.
  void Reset();
  // A new session starts: it waits for the PC's opening.
  void BeginSession();
  // The run is over: every wait ends, now and later, as if the line had gone.
  void Close();

  bool Silent() const;
  bool HungUp() const;

 private:
  const bool swapped_;
  const UsbLineFaults faults_;
  usbip::EmulatedDevice* device_ = nullptr;

  mutable std::mutex mu_;  // never held while calling the device
  std::condition_variable arrived_;
  std::deque<UsbRx> received_;
  int sent_ = 0;
  bool inSession_ = false;  // a frame of this session has come
  bool lost_ = false;       // the line went during this session
  bool silent_ = false;
  bool hungUp_ = false;
  bool closed_ = false;
};

}  // namespace sim
